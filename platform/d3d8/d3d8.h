// The graphics device: a Direct3D 8 shaped interface implemented on OpenGL 3.3
// core. Only the calls, states and formats the saver uses exist here.
//
// Conventions kept by the implementation (one place converts them to GL):
//  - The scene renders into a colour + depth back buffer of the back-buffer
//    size: the window's own buffers when the window has that size (and 8-bit
//    RGBA with 24-bit depth), else an off-screen framebuffer that Present
//    scales to the window. Tests read it back (before Present: as with D3D's
//    DISCARD swap effect, what it holds after Present is not defined).
//  - The fragment stage runs a program specialised for the current stage,
//    alpha-test, fog and fade state (built at the first draw in that state,
//    up to 32 per vertex program), else the general program that reads those
//    states from a uniform block; both compute the same colours.
//  - Clip depth is 0..1 as in Direct3D; CULLMODE CCW culls triangles that are
//    counter-clockwise on screen.
//  - D3DCOLOR vertex attributes are fed as GL_BGRA normalised bytes, so a
//    shader sees (r, g, b, a).
//  - A texture stage with no texture bound samples opaque white.
//  - Vertex shaders are GLSL 330 sources following the register contract
//    below.
//
// Vertex shader contract (CreateVertexShader's `function` is the GLSL 330
// source of a vertex shader, NUL-terminated):
//  - Constants: `uniform vec4 c[96];` holds the registers written by
//    SetVertexShaderConstant (c0..c95, uploaded before a draw when changed).
//  - Inputs: `in vecN vK;` named v0..v11, fed from the declaration's register
//    K. D3DVSDT_FLOATn gives n floats (declare vec4 for .w = 1), D3DVSDT_D3DCOLOR
//    a normalised vec4 in (r, g, b, a) order, D3DVSDT_UBYTE4 four 0..255 floats.
//  - Outputs, by these exact names (each optional; an omitted one reads as
//    the value in brackets):
//      gl_Position      clip-space position in D3D convention (z 0..w)
//      out vec4 oD0;    diffuse colour, 0..1 (white)
//      out vecN oT0;    texture coordinates of set 0, N = 2, 3 or 4; .xy used (0)
//      out vecN oT1;    texture coordinates of set 1, as oT0 (0)
//      out float oFog;  fog factor: 1 = no fog, 0 = all fog colour (1)
//  - Write `void main()` as usual. The device renames it, adds a `main` that
//    calls it and then converts gl_Position.z from D3D's 0..w to GL's -w..w:
//    do not convert depth yourself. `#version 330 core` may be given or left
//    out; names starting with `nrv_` are reserved.
//  - The fragment stage is the device's: the two texture stages, alpha test,
//    fade and fog, from the current states.
//  - Material fade: while a vertex shader is bound and the current material's
//    diffuse alpha is below 1, the alpha that leaves the texture stages is
//    multiplied by that material alpha (before the alpha test and blending).
//    The toon models fade with distance this way; fixed-function draws and a
//    material alpha of 1 or more are unaffected.
//  - Handles are small odd numbers (bit 0 set), so they never equal an FVF
//    code; DeleteVertexShader frees the handle for reuse.
//
// Fixed-function draws (SetVertexShader(fvf)): a position (D3DFVF_XYZ or
// D3DFVF_XYZRHW), optional D3DFVF_NORMAL and D3DFVF_SPECULAR (skipped: there
// are no lights; LIGHTING is not emulated and vertex colours pass through),
// optional D3DFVF_DIFFUSE (white without it), 0..2 sets of 2D texture
// coordinates. XYZ is transformed by world x view x projection and fogged by
// FOGVERTEXMODE over camera-space depth; XYZRHW is in back-buffer pixels with
// pixel centres on integer coordinates, depth 0..1, and is never fogged.
// Other formats are refused with D3DERR_INVALIDCALL. SHADEMODE FLAT draws as
// GOURAUD.
//
// Ownership: the device owns every GL object. Buffers and textures are
// reference counted like COM objects (AddRef/Release); Release of the last
// reference frees the GL object. SetTexture, SetStreamSource and SetIndices
// hold a reference until the binding changes, so a bound resource cannot
// vanish under a draw. Release resources before the device; one that is
// still alive when the device goes loses its GL object then, and its later
// Release frees only its CPU memory. One device exists at a time.
//
// Draws validate their ranges (vertices inside the vertex buffer, indices
// inside the index buffer, every index value written so far plus the base
// vertex inside the vertex buffer) and refuse bad ones with
// D3DERR_INVALIDCALL; a draw allocates nothing.
#pragma once

#include "platform/d3d8/d3d8types.h"

struct Window;
using HWND = Window*;

// Vertex shader declaration tokens (stream 0 data laid out register by register).
constexpr DWORD D3DVSDT_FLOAT1 = 0x00;
constexpr DWORD D3DVSDT_FLOAT2 = 0x01;
constexpr DWORD D3DVSDT_FLOAT3 = 0x02;
constexpr DWORD D3DVSDT_FLOAT4 = 0x03;
constexpr DWORD D3DVSDT_D3DCOLOR = 0x04;
constexpr DWORD D3DVSDT_UBYTE4 = 0x05;
constexpr DWORD D3DVSD_STREAM(DWORD n) { return (1u << 29) | n; }
constexpr DWORD D3DVSD_REG(DWORD reg, DWORD type) { return (2u << 29) | (type << 16) | reg; }
constexpr DWORD D3DVSD_SKIP(DWORD dwords) { return (2u << 29) | 0x10000000u | (dwords << 16); }
constexpr DWORD D3DVSD_END() { return 0xFFFFFFFFu; }

constexpr DWORD kVertexShaderConstants = 96;  // c0..c95, vertex shader 1.1

// A GPU resource with a COM-style reference count.
class D3DResource {
public:
    D3DResource(const D3DResource&) = delete;
    D3DResource& operator=(const D3DResource&) = delete;
    DWORD AddRef() { return ++m_dwRef; }
    DWORD Release();

protected:
    D3DResource() = default;
    virtual ~D3DResource() = default;

private:
    DWORD m_dwRef = 1;
};

class IDirect3DVertexBuffer8 : public D3DResource {
public:
    // Maps the whole buffer (offset and size 0) or a part of it for writing.
    // The returned memory is the buffer's own copy and lives as long as the
    // buffer; Unlock uploads the locked range to the GPU.
    virtual HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
    virtual UINT GetSize() const = 0;
};

class IDirect3DIndexBuffer8 : public D3DResource {
public:
    virtual HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
    virtual UINT GetSize() const = 0;
    virtual D3DFORMAT GetFormat() const = 0;  // D3DFMT_INDEX16 or D3DFMT_INDEX32
};

class IDirect3DTexture8 : public D3DResource {
public:
    virtual UINT GetWidth() const = 0;
    virtual UINT GetHeight() const = 0;
};

// Debug counters: draws and triangles since the last BeginScene (two
// additions per draw); GL errors seen since creation, checked at EndScene,
// Present and ReadBackBuffer (0 in a healthy run).
struct DeviceFrameStats {
    DWORD drawCalls;
    DWORD triangles;
    DWORD glErrors;
};

class IDirect3DDevice8 {
public:
    virtual ~IDirect3DDevice8() = default;
    DWORD Release();

    virtual HRESULT TestCooperativeLevel() = 0;
    // Recreates the back buffer at the parameters' size (0 x 0: the window's
    // client size, written back) and returns every state to its default;
    // buffers, textures and vertex shaders survive.
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params) = 0;
    virtual HRESULT GetDeviceCaps(D3DCAPS8* caps) = 0;

    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;  // D3DERR_INVALIDCALL without BeginScene
    // Scales an off-screen back buffer to the window (linear filter) and swaps.
    virtual HRESULT Present(const void* src, const void* dst, HWND overrideWindow, const void* dirty) = 0;

    // Transformed draws and Clear without rectangles go into this part of
    // the back buffer; pre-transformed vertices stay in back-buffer pixels.
    // Reset and CreateDevice make it the whole back buffer. D3DERR_INVALIDCALL
    // for a rectangle outside the back buffer or a depth range outside 0..1.
    virtual HRESULT SetViewport(const D3DVIEWPORT8* viewport) = 0;
    virtual HRESULT GetViewport(D3DVIEWPORT8* viewport) = 0;

    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
    virtual HRESULT SetMaterial(const D3DMATERIAL8* material) = 0;
    virtual HRESULT GetMaterial(D3DMATERIAL8* material) = 0;
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
    virtual HRESULT SetTexture(DWORD stage, IDirect3DTexture8* texture) = 0;

    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer8** buffer) = 0;
    virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer8** buffer) = 0;
    // A 32-bit A8R8G8B8 texture from tightly packed rows of BGRA bytes
    // (the D3DCOLOR byte order in memory), top row first.
    virtual HRESULT CreateTextureFromPixels(UINT width, UINT height, const BYTE* bgra,
                                            IDirect3DTexture8** texture) = 0;

    // Fixed-function draws select their program with SetVertexShader(fvf);
    // programmable draws with a handle from CreateVertexShader.
    virtual HRESULT SetVertexShader(DWORD fvfOrHandle) = 0;
    virtual HRESULT CreateVertexShader(const DWORD* declaration, const void* function, DWORD* handle,
                                       DWORD usage) = 0;
    virtual HRESULT DeleteVertexShader(DWORD handle) = 0;
    virtual HRESULT SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) = 0;
    virtual HRESULT GetVertexShaderConstant(DWORD reg, void* data, DWORD count) = 0;

    virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) = 0;
    virtual HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertex) = 0;
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                         UINT startIndex, UINT primitiveCount) = 0;
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                                    UINT stride) = 0;

    // Off-screen back buffer: size and a read-back for tests and screenshots
    // (rows top first, 4 bytes per pixel in R, G, B, A order).
    virtual UINT GetBackBufferWidth() const = 0;
    virtual UINT GetBackBufferHeight() const = 0;
    virtual HRESULT ReadBackBuffer(BYTE* rgba) = 0;
    virtual DeviceFrameStats GetFrameStats() const = 0;
};

class IDirect3D8 {
public:
    virtual ~IDirect3D8() = default;
    DWORD Release();

    virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
    virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                                    D3DFORMAT backBufferFormat, BOOL windowed) = 0;
    // Creates the GL 3.3 core context on the window (params->hDeviceWindow, or
    // focusWindow when that is null). Back-buffer size 0 x 0 (windowed) means
    // the window's client size; the size used is written back into params.
    // D3DERR_NOTAVAILABLE when no context can be had (e.g. a video driver
    // without OpenGL) or another device still exists: one device at a time.
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviourFlags,
                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) = 0;
};

// Null when the video system cannot be started.
IDirect3D8* Direct3DCreate8(UINT sdkVersion);

// Why the last CreateDevice found no usable OpenGL 3.3 context, in the
// user's terms with the driver's own words ("no usable OpenGL 3.3 context
// could be made (...)"); "" when it did not fail that way.
const char* DeviceContextFailure();

// Test hook: from now on Present reports D3DERR_DEVICELOST (and presents
// nothing) and TestCooperativeLevel reports D3DERR_DEVICENOTRESET, until a
// Reset succeeds. Drawing stays possible meanwhile, as the frame loop expects.
void SimulateDeviceLoss(IDirect3DDevice8* device);

// Test hook: how the device draws now. intoWindow: straight into the window,
// which is the back buffer when both have the same size (Present only swaps);
// false: into an off-screen buffer that Present scales to the window.
// fragmentVariants: fragment programs specialised for a state so far.
// computedRamps: kinds of ramp texture (rows alike, a few steps) whose linear
// filtering the fragment programs compute instead of sampling.
struct DeviceDrawPath {
    bool intoWindow;
    DWORD fragmentVariants;
    DWORD computedRamps;
};
DeviceDrawPath GetDeviceDrawPath(IDirect3DDevice8* device);
