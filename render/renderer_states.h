// The device states every frame's drawing relies on: the two texture stages
// of the toon path (ramp × vertex colour, then × the mesh's texture), depth
// test, Gouraud shading, culling of counter-clockwise triangles, and the
// default material. Set at start-up and again after a device reset; also by
// tools that draw models outside the saver.
#pragma once

#include "platform/d3d8/d3d8.h"

void SetRendererStates(IDirect3DDevice8* device);
