// A shell file that reaches SDL through a platform header: the boundary check must refuse it.
#include <cstring>

#include "platform/os/window.h"
