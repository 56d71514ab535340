// A platform header that wrongly exposes SDL to its includers.
#pragma once
#include <SDL.h>
