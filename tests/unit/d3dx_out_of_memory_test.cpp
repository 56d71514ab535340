// The D3DX calls when memory runs out: a replacement operator new for this
// test binary fails the nth allocation of one call, for every n in turn.
// Each call then answers E_OUTOFMEMORY (or S_OK once n is past its last
// allocation), hands nothing out on failure, throws nothing and leaks
// nothing (every allocation it made is freed again).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_skin.h"
#include "tests/support/xfile_open.h"

namespace {
std::atomic<bool> g_Watching{false};  // between Watch and Unwatch
std::atomic<long> g_FailAfter{-1};    // allocations left before one fails; -1: none fails
std::atomic<long> g_Watched{0};       // allocations asked for while watching
std::atomic<long> g_Live{0};          // allocations not yet freed

// Watches the allocations that follow, failing the nth (none for n = -1).
void Watch(long n) {
    g_Watched = 0;
    g_FailAfter = n;
    g_Watching = true;
}
void Unwatch() {
    g_Watching = false;
    g_FailAfter = -1;
}
}  // namespace

// Under AddressSanitizer, whose own operator new must stay in charge, there
// is no replacement and the tests are skipped.
#if defined(__SANITIZE_ADDRESS__)
#define NEREVAL_FAIL_NEW 0
#else
#define NEREVAL_FAIL_NEW 1
void* operator new(std::size_t size) {
    if (g_Watching.load(std::memory_order_relaxed)) {
        g_Watched.fetch_add(1, std::memory_order_relaxed);
        if (g_FailAfter.fetch_sub(1, std::memory_order_relaxed) == 0) throw std::bad_alloc();
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    g_Live.fetch_add(1, std::memory_order_relaxed);
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
    if (p) g_Live.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
#endif

namespace {

// Runs `call` with its nth allocation failing, for every allocation the call
// makes when none fails; `call` returns its HRESULT and whether it handed
// nothing out, and releases what it was handed. A failure must hand out
// nothing, throw nothing and leak nothing. A strict call answers S_OK (an
// allocation it can do without, as std::stable_sort's buffer) or
// E_OUTOFMEMORY; a load may also see the X-file reader answer a failure its
// own way (a child it cannot make ends the walk of the children).
template <typename Call>
void FailEachAllocation(const char* what, bool strict, Call call) {
    bool empty = false;
    ASSERT_EQ(call(-1, &empty), S_OK) << what;
    const long count = g_Watched.load();
    for (long n = 0; n < count; ++n) {
        const long live = g_Live.load();
        HRESULT hr = E_FAIL;
        try {
            hr = call(n, &empty);
        } catch (...) {
            Unwatch();
            FAIL() << what << " threw when allocation " << n << " of " << count << " failed";
        }
        EXPECT_EQ(g_Live.load(), live) << what << " leaked when allocation " << n << " failed";
        if (strict && hr != S_OK) {
            EXPECT_EQ(hr, E_OUTOFMEMORY) << what << ", allocation " << n << " of " << count;
        }
        if (FAILED(hr)) {
            EXPECT_TRUE(empty) << what << " handed something out when allocation " << n << " failed";
        }
    }
}

// A quad fanned from one polygon, split by two normals, with a material,
// texture coordinates and two named bones plus weightless vertices.
const char kSkinned[] = R"(xof 0303txt 0032
Mesh m {
  5; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;2;0;;
  2; 4;0,3,2,1;, 3;1,2,4;;
  MeshNormals { 2; 0;0;-1;, 0;0;1;; 2; 4;0,0,0,0;, 3;1,1,1;; }
  MeshTextureCoords { 5; 0;0;, 1;0;, 1;1;, 0;1;, 2;2;; }
  MeshMaterialList { 1; 2; 0, 0;; Material { 1;1;1;1;; 5; 0;0;0;; 0;0;0;; TextureFilename { "skin.bmp"; } } }
  SkinWeights { "Lower"; 2; 0,2; 1.0,0.5; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
  SkinWeights { "Upper"; 1; 2; 0.5; 1,0,0,0,0,1,0,0,0,0,1,0,0,-1,0,1;; }
}
)";

TEST(D3DXOutOfMemory, LoadConvertAndOptimiseFailCleanlyAtEveryAllocation) {
    if (!NEREVAL_FAIL_NEW) GTEST_SKIP() << "allocation failure is not injected under AddressSanitizer";
    FailEachAllocation("D3DXLoadSkinMeshFromXof", false, [](long n, bool* empty) {
        ComPtr<IDirectXFileEnumObject> e;
        ComPtr<IDirectXFileData> data;
        EXPECT_EQ(xtest::OpenX(kSkinned, sizeof kSkinned - 1, &e), S_OK);
        EXPECT_EQ(e->GetNextDataObject(data.Out()), S_OK);
        ComPtr<ID3DXBuffer> adjacency, materials, names, offsets;
        ComPtr<ID3DXSkinMesh> skin;
        DWORD numMaterials = 7;
        Watch(n);
        const HRESULT hr = D3DXLoadSkinMeshFromXof(data, D3DXMESH_SYSTEMMEM, nullptr, adjacency.Out(), materials.Out(),
                                                   &numMaterials, names.Out(), offsets.Out(), skin.Out());
        Unwatch();
        *empty = !adjacency && !materials && !names && !offsets && !skin && numMaterials == 0;
        return hr;
    });

    ComPtr<IDirectXFileEnumObject> e;
    ComPtr<IDirectXFileData> data;
    ASSERT_EQ(xtest::OpenX(kSkinned, sizeof kSkinned - 1, &e), S_OK);
    ASSERT_EQ(e->GetNextDataObject(data.Out()), S_OK);
    ComPtr<ID3DXSkinMesh> skin;
    ASSERT_EQ(D3DXLoadSkinMeshFromXof(data, D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      skin.Out()),
              S_OK);
    FailEachAllocation("ConvertToIndexedBlendedMesh", true, [&](long n, bool* empty) {
        ComPtr<ID3DXMesh> blended;
        ComPtr<ID3DXBuffer> table;
        DWORD combinations = 7;
        Watch(n);
        const HRESULT hr = skin->ConvertToIndexedBlendedMesh(D3DXMESH_SYSTEMMEM, nullptr, 4, nullptr, &combinations,
                                                             table.Out(), blended.Out());
        Unwatch();
        *empty = !blended && !table && combinations == 0;
        return hr;
    });
    FailEachAllocation("GetMaxVertexInfluences", true, [&](long n, bool* empty) {
        DWORD most = 0;
        Watch(n);
        const HRESULT hr = skin->GetMaxVertexInfluences(&most);
        Unwatch();
        *empty = true;
        return hr;
    });

    ComPtr<ID3DXMesh> mesh;
    ASSERT_EQ(skin->GetOriginalMesh(mesh.Out()), S_OK);
    FailEachAllocation("Optimize", true, [&](long n, bool* empty) {
        ComPtr<ID3DXMesh> sorted;
        ComPtr<ID3DXBuffer> remap;
        DWORD adjacency[9];
        Watch(n);
        const HRESULT hr = mesh->Optimize(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_COMPACT, nullptr, adjacency, nullptr,
                                          remap.Out(), sorted.Out());
        Unwatch();
        *empty = !sorted && !remap;
        return hr;
    });
    FailEachAllocation("CloneMeshFVF", true, [&](long n, bool* empty) {
        ComPtr<ID3DXMesh> clone;
        Watch(n);
        const HRESULT hr = mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_NORMAL, nullptr, clone.Out());
        Unwatch();
        *empty = !clone;
        return hr;
    });
    FailEachAllocation("D3DXComputeNormals", true, [&](long n, bool* empty) {
        Watch(n);
        const HRESULT hr = D3DXComputeNormals(mesh, nullptr);
        Unwatch();
        *empty = true;
        return hr;
    });
}

}  // namespace
