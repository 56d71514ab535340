// Device creation, back-buffer sizing, Reset, the lost-device pair, scene
// bracketing, state defaults and refusal of bad input.
#include <gtest/gtest.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/gl/device_harness.h"

extern char** environ;

namespace gltest {
namespace {

TEST(DeviceCreation, ZeroSizeTakesTheWindowSizeAndWritesItBack) {
    DeviceHarness h;
    ASSERT_EQ(h.Create(72, 40), S_OK);
    EXPECT_EQ(h.Params().BackBufferWidth, 72u);
    EXPECT_EQ(h.Params().BackBufferHeight, 40u);
    EXPECT_EQ(h.Device()->GetBackBufferWidth(), 72u);
    EXPECT_EQ(h.Device()->GetBackBufferHeight(), 40u);

    D3DCAPS8 caps{};
    ASSERT_EQ(h.Device()->GetDeviceCaps(&caps), S_OK);
    EXPECT_GE(caps.VertexShaderVersion, D3DVS_VERSION(1, 1));
    EXPECT_EQ(caps.MaxVertexShaderConst, 96u);
}

TEST(DeviceCreation, ExplicitSizeIsKeptAndPresentScalesIt) {
    DeviceHarness h;
    ASSERT_EQ(h.Create(64, 48, 40, 20), S_OK);
    h.Read();
    EXPECT_EQ(h.ReadWidth(), 40u);
    EXPECT_EQ(h.ReadHeight(), 20u);
    ASSERT_EQ(h.Device()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), S_OK);
    EXPECT_EQ(h.Device()->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(39, 19), {0, 255, 0, 255}));
    EXPECT_EQ(h.Device()->GetFrameStats().glErrors, 0u);
}

TEST(DeviceCreation, OneDeviceAtATimeAndResourcesMayOutliveIt) {
    DeviceHarness first;
    ASSERT_EQ(first.Create(32, 32), S_OK);
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(first.Device()->CreateVertexBuffer(112, D3DUSAGE_WRITEONLY, kScreenFvf, D3DPOOL_MANAGED, &vb), S_OK);

    // A second device while the first lives is refused, cleanly.
    IDirect3DDevice8* second = nullptr;
    D3DPRESENT_PARAMETERS params = first.Params();
    EXPECT_EQ(first.D3D()->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, first.Window(), 0, &params, &second),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(second, nullptr);

    first.Destroy();
    // The buffer's GL object went with the device; its CPU copy still works.
    BYTE* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), S_OK);
    std::memset(data, 0x5A, 112);
    EXPECT_EQ(vb->Unlock(), S_OK);
    EXPECT_EQ(vb->Release(), 0u);

    DeviceHarness again;
    EXPECT_EQ(again.Create(32, 32), S_OK);
}

TEST(DeviceCreation, RefusesMissingWindowAndBadArguments) {
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS params{};
    params.Windowed = TRUE;
    IDirect3DDevice8* dev = reinterpret_cast<IDirect3DDevice8*>(&params);  // must be overwritten with null
    EXPECT_LT(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, 0, &params, &dev), 0);
    EXPECT_EQ(dev, nullptr);
    EXPECT_LT(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, 0, nullptr, &dev), 0);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION + 1), nullptr);

    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), S_OK);
    EXPECT_GT(mode.Width, 0u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_LT(d3d->GetAdapterDisplayMode(1, &mode), 0);
    // The full-screen format search: 16-bit first, then 32; packed 24-bit is not offered.
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE), S_OK);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, FALSE), S_OK);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), S_OK);
    EXPECT_LT(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R8G8B8, D3DFMT_R8G8B8, FALSE), 0);
    d3d->Release();
}

// (glibc's own allocator only: the sanitizers bring their own.)
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
// A large block freed at load must not pull the driver's per-frame blocks
// (128 KiB and more) into the brk heap, where they fragment it for hours.
TEST(DeviceCreation, LargeBlocksKeepTheirOwnMappings) {
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    void* decode = std::malloc(8u << 20);
    static_cast<volatile char*>(decode)[0] = 1;
    std::free(decode);
    const size_t mappedBefore = mallinfo2().hblks;
    void* frameBlock = std::malloc(256u << 10);
    static_cast<volatile char*>(frameBlock)[0] = 1;
    EXPECT_EQ(mallinfo2().hblks, mappedBefore + 1);
    std::free(frameBlock);
    d3d->Release();
}
#endif

// Runs in a child process whose video driver has no OpenGL: creating the
// device must fail with a status, not crash. The parent spawns it.
TEST(DeviceCreation, FailsCleanlyWithoutOpenGl) {
    if (std::getenv("NEREVAL_GL_DUMMY_CHILD")) {
        IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
        if (!d3d) return;  // no video at all is a clean failure too
        ASSERT_NE(RegisterClassA("NerevalGlDummy", DefWindowProcA), 0u);
        HWND hwnd = CreateWindowExA(0, "NerevalGlDummy", "dummy", WS_CAPTION, 0, 0, 64, 48);
        D3DPRESENT_PARAMETERS params{};
        params.Windowed = TRUE;
        params.hDeviceWindow = hwnd;
        params.EnableAutoDepthStencil = TRUE;
        params.AutoDepthStencilFormat = D3DFMT_D16;
        IDirect3DDevice8* dev = nullptr;
        EXPECT_LT(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hwnd, 0, &params, &dev), 0);
        EXPECT_EQ(dev, nullptr);
        if (hwnd) DestroyWindow(hwnd);
        d3d->Release();
        return;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0) env.emplace_back(*e);
    }
    env.emplace_back("SDL_VIDEODRIVER=dummy");
    env.emplace_back("NEREVAL_GL_DUMMY_CHILD=1");
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=DeviceCreation.FailsCleanlyWithoutOpenGl";
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the child crashed (signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0)
                                   << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the device was created, or failed badly, on the dummy driver";
}

TEST_F(DeviceTest, ResetRecreatesTheBackBufferAtTheNewSizeWithDefaultStates) {
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), S_OK);
    ASSERT_EQ(dev()->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);

    D3DPRESENT_PARAMETERS params = h.Params();
    params.BackBufferWidth = 40;
    params.BackBufferHeight = 30;
    ASSERT_EQ(dev()->Reset(&params), S_OK);
    h.Read();
    EXPECT_EQ(h.ReadWidth(), 40u);
    EXPECT_EQ(h.ReadHeight(), 30u);
    EXPECT_TRUE(ColorNear(h.Pixel(39, 29), {0, 0, 0, 255})) << "a new buffer, not the old red one";
    DWORD cull = 0;
    dev()->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CCW));

    // The new size is drawn to in full: the viewport followed.
    ASSERT_EQ(h.DrawScreenRect(0, 0, 40, 30, 0xFF0000FF), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(39, 29), {0, 0, 255, 255}));

    // Zero size: back to the window's size.
    params.BackBufferWidth = params.BackBufferHeight = 0;
    ASSERT_EQ(dev()->Reset(&params), S_OK);
    EXPECT_EQ(params.BackBufferWidth, static_cast<UINT>(kWidth));
    EXPECT_EQ(dev()->GetBackBufferHeight(), static_cast<UINT>(kHeight));
}

TEST_F(DeviceTest, LostDeviceReportsUntilReset) {
    EXPECT_EQ(dev()->TestCooperativeLevel(), S_OK);
    SimulateDeviceLoss(dev());
    EXPECT_EQ(dev()->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(dev()->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(dev()->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS params = h.Params();
    ASSERT_EQ(dev()->Reset(&params), S_OK);
    EXPECT_EQ(dev()->TestCooperativeLevel(), S_OK);
    EXPECT_EQ(dev()->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(DeviceTest, SceneBracketsAndFrameStats) {
    EXPECT_EQ(dev()->EndScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev()->BeginScene(), S_OK);
    EXPECT_EQ(dev()->BeginScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 8, 8, 0xFFFFFFFF), S_OK);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 8, 8, 0xFFFFFFFF), S_OK);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 2u);
    EXPECT_EQ(dev()->GetFrameStats().triangles, 4u);
    EXPECT_EQ(dev()->EndScene(), S_OK);
    EXPECT_EQ(dev()->EndScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev()->BeginScene(), S_OK);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 0u);
    EXPECT_EQ(dev()->EndScene(), S_OK);
}

// The states the renderer relies on without setting them.
TEST_F(DeviceTest, StatesStartAtTheDirect3DDefaults) {
    struct Expect {
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    const Expect expected[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},       {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},   {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},    {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_LIGHTING, TRUE},            {D3DRS_FOGVERTEXMODE, D3DFOG_NONE},
        {D3DRS_FOGCOLOR, 0},               {D3DRS_FOGEND, FloatToDword(1.0f)},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD}, {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
    };
    for (const Expect& e : expected) {
        DWORD v = 0xDEADBEEF;
        ASSERT_EQ(dev()->GetRenderState(e.state, &v), S_OK);
        EXPECT_EQ(v, e.value) << "render state " << e.state;
    }
    DWORD v = 0;
    dev()->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
    dev()->GetTextureStageState(0, D3DTSS_ALPHAOP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_SELECTARG1));
    dev()->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_DISABLE));
    dev()->GetTextureStageState(1, D3DTSS_COLORARG2, &v);
    EXPECT_EQ(v, D3DTA_CURRENT);
    dev()->GetTextureStageState(1, D3DTSS_MINFILTER, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_POINT));
    dev()->GetTextureStageState(1, D3DTSS_ADDRESSU, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_WRAP));
}

TEST_F(DeviceTest, RefusesBadInputWithoutDrawing) {
    // Formats and declarations the device does not know.
    EXPECT_EQ(dev()->SetVertexShader(D3DFVF_XYZ | 0x20 /* point size */), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->SetVertexShader(D3DFVF_NORMAL), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->SetVertexShader(7u), D3DERR_INVALIDCALL);  // never-created shader handle
    const DWORD twoStreams[] = {D3DVSD_STREAM(1), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    const DWORD badType[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, 9), D3DVSD_END()};
    const DWORD twice[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                           D3DVSD_END()};
    const DWORD good[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    const char* source = "void main() { gl_Position = vec4(0.0); }";
    DWORD handle = 0;
    EXPECT_EQ(dev()->CreateVertexShader(twoStreams, source, &handle, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->CreateVertexShader(badType, source, &handle, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->CreateVertexShader(twice, source, &handle, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->CreateVertexShader(good, "void main() { this is not GLSL }", &handle, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->CreateVertexShader(good, nullptr, &handle, 0), D3DERR_INVALIDCALL);
    // Compiles, but cannot link with the fragment stage (oFog must be a float).
    EXPECT_EQ(dev()->CreateVertexShader(good, "out int oFog;\nvoid main() { gl_Position = vec4(0.0); oFog = 1; }",
                                        &handle, 0),
              D3DERR_INVALIDCALL);
    float reg[8] = {};
    EXPECT_EQ(dev()->SetVertexShaderConstant(95, reg, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->SetVertexShaderConstant(94, reg, 2), S_OK);
    EXPECT_EQ(dev()->SetRenderState(static_cast<D3DRENDERSTATETYPE>(D3DRS_COUNT), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_MODULATE), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->SetTextureStageState(0, D3DTSS_COLOROP, 99), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    BYTE pixel[4] = {};
    IDirect3DTexture8* tex = nullptr;
    EXPECT_EQ(dev()->CreateTextureFromPixels(0, 1, pixel, &tex), D3DERR_INVALIDCALL);
    EXPECT_EQ(tex, nullptr);

    // Buffers: locks outside the buffer, draws past its end.
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(dev()->CreateVertexBuffer(4 * sizeof(ScreenVertex), 0, kScreenFvf, D3DPOOL_MANAGED, &vb), S_OK);
    BYTE* data = nullptr;
    EXPECT_EQ(vb->Lock(0, 4 * sizeof(ScreenVertex) + 1, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(200, 0, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev()->SetVertexShader(kScreenFvf), S_OK);
    EXPECT_EQ(dev()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);  // no stream yet
    ASSERT_EQ(dev()->SetStreamSource(0, vb, sizeof(ScreenVertex)), S_OK);
    EXPECT_EQ(dev()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
    EXPECT_EQ(dev()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev()->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(42), 0, 1), D3DERR_INVALIDCALL);

    // An index that names a vertex past the end of the vertex buffer.
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(dev()->CreateIndexBuffer(6 * sizeof(WORD), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), S_OK);
    WORD* idx = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, reinterpret_cast<BYTE**>(&idx), 0), S_OK);
    const WORD indices[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(idx, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), S_OK);
    ASSERT_EQ(dev()->SetIndices(ib, 0), S_OK);
    EXPECT_EQ(dev()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), S_OK);
    EXPECT_EQ(dev()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 3, 2), D3DERR_INVALIDCALL);  // past the indices
    ASSERT_EQ(dev()->SetIndices(ib, 1), S_OK);
    EXPECT_EQ(dev()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3DERR_INVALIDCALL);  // index 3 + 1
    ASSERT_EQ(ib->Lock(10, 2, reinterpret_cast<BYTE**>(&idx), 0), S_OK);
    *idx = 400;
    ASSERT_EQ(ib->Unlock(), S_OK);
    ASSERT_EQ(dev()->SetIndices(ib, 0), S_OK);
    EXPECT_EQ(dev()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3DERR_INVALIDCALL);

    dev()->SetStreamSource(0, nullptr, 0);
    dev()->SetIndices(nullptr, 0);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(ib->Release(), 0u);
}

}  // namespace
}  // namespace gltest
