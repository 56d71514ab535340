// Textures and vertex shaders from the executable's resources.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_mesh.h"

// Creates a texture from the image resource of that name (JPEG, BMP or DDS,
// found as type "RCDATA", names compared without regard to case). Fails with
// D3DXERR_INVALIDDATA for a missing or malformed image, never crashes.
constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59u);
HRESULT D3DXCreateTextureFromResourceA(IDirect3DDevice8* device, const char* resourceName,
                                       IDirect3DTexture8** texture);

// Start-up: starts decoding the image resource of that name on a worker
// thread, so that the first D3DXCreateTextureFromResourceA of that name takes
// the decoded pixels instead of decoding them itself. Up to four; a name
// already asked for, or a thread that cannot start, is ignored (the texture
// is then decoded as usual). ReleasePrefetchedImages waits for the workers
// and frees what no texture took.
void PrefetchImageResource(const char* resourceName);
void ReleasePrefetchedImages();

// "Assembles" the vertex shader resource of that name (type "RCDATA"): our
// shaders are GLSL text, so the buffer holds the NUL-terminated source that
// CreateVertexShader compiles.
HRESULT D3DXAssembleShaderFromResourceA(const char* resourceName, DWORD flags, ID3DXBuffer** constants,
                                        ID3DXBuffer** code, ID3DXBuffer** errors);
