// The device allocates nothing per frame: a counting global operator new
// watches frames that use every draw path after a warm-up frame.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tests/gl/device_harness.h"

namespace {
std::atomic<long> g_NewCalls{0};
}

// Counting replacements for the whole test binary (they only count). Under
// AddressSanitizer, whose own operator new must stay in charge, there are
// none and the test is skipped.
#if defined(__SANITIZE_ADDRESS__)
#define NEREVAL_COUNT_NEW 0
#else
#define NEREVAL_COUNT_NEW 1
void* operator new(std::size_t size) {
    g_NewCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace gltest {
namespace {

const char* const kShader = R"(
uniform vec4 c[96];
in vec4 v0;
in vec4 v5;
out vec4 oD0;
void main() { gl_Position = v0 * c[0].x; oD0 = v5; }
)";

struct ClipVertex {
    float x, y, z;
    D3DCOLOR color;
};

TEST_F(DeviceTest, FramesAllocateNothingAfterWarmUp) {
    if (!NEREVAL_COUNT_NEW) GTEST_SKIP() << "allocation counting is off under AddressSanitizer";
    const DWORD decl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
                          D3DVSD_END()};
    DWORD shader = 0;
    ASSERT_EQ(dev()->CreateVertexShader(decl, kShader, &shader, 0), S_OK);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(dev()->CreateVertexBuffer(4 * sizeof(ClipVertex), 0, 0, D3DPOOL_MANAGED, &vb), S_OK);
    ASSERT_EQ(dev()->CreateIndexBuffer(6 * sizeof(WORD), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), S_OK);
    const BYTE texel[4] = {200, 100, 50, 255};
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(dev()->CreateTextureFromPixels(1, 1, texel, &tex), S_OK);
    h.SetRendererStages();

    auto frame = [&](int n) {
        dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030, 1.0f, 0);
        dev()->BeginScene();
        // Rewrite the managed buffers, as the bubbles do every frame.
        ClipVertex* v = nullptr;
        vb->Lock(0, 0, reinterpret_cast<BYTE**>(&v), 0);
        const ClipVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFF}, {1, 1, 0.5f, 0xFFFFFFFF},
                                    {-1, -1, 0.5f, 0xFFFFFFFF}, {1, -1, 0.5f, 0xFFFFFFFF}};
        std::memcpy(v, quad, sizeof quad);
        vb->Unlock();
        WORD* idx = nullptr;
        ib->Lock(0, 0, reinterpret_cast<BYTE**>(&idx), 0);
        const WORD indices[6] = {0, 1, 2, 2, 1, 3};
        std::memcpy(idx, indices, sizeof indices);
        ib->Unlock();

        const float scale[4] = {1.0f + 0.001f * n, 0, 0, 0};
        dev()->SetVertexShaderConstant(0, scale, 1);
        D3DMATERIAL8 material{};
        material.Diffuse.a = (n % 2) ? 0.5f : 1.0f;
        dev()->SetMaterial(&material);
        dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        dev()->SetVertexShader(shader);
        dev()->SetTexture(0, tex);
        dev()->SetStreamSource(0, vb, sizeof(ClipVertex));
        dev()->SetIndices(ib, 0);
        dev()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2);
        dev()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        dev()->SetTexture(0, nullptr);
        dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        dev()->SetRenderState(D3DRS_FOGENABLE, FALSE);
        h.DrawScreenRect(0, 0, 16, 16, 0x400000FF);
        dev()->SetRenderState(D3DRS_FOGENABLE, TRUE);
        dev()->EndScene();
        dev()->Present(nullptr, nullptr, nullptr, nullptr);
    };

    // Warm-up: first use of each format and state. Mesa's llvmpipe also
    // compiles some variants lazily after a few draws (with operator new,
    // inside LLVM), so the warm-up runs several frames.
    for (int n = 0; n < 10; ++n) frame(n);
    const long before = g_NewCalls.load();
    for (int n = 10; n < 70; ++n) frame(n);
    EXPECT_EQ(g_NewCalls.load() - before, 0) << "operator new called during frames";
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 3u);

    dev()->SetStreamSource(0, nullptr, 0);
    dev()->SetIndices(nullptr, 0);
    tex->Release();
    vb->Release();
    ib->Release();
    dev()->DeleteVertexShader(shader);
}

}  // namespace
}  // namespace gltest

// Read by the other allocation tests of this binary; -1 when not counted.
long CountedNewCalls() { return NEREVAL_COUNT_NEW ? g_NewCalls.load() : -1; }
