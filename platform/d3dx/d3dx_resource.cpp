// Textures and vertex shader sources from the executable's embedded resources.
#include "platform/d3dx/d3dx_resource.h"

#include <strings.h>

#include <cstring>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/base/com_ptr.h"
#include "platform/image/image.h"
#include "platform/os/resource.h"

namespace {

// Images decoded ahead, each by its own worker. A slot is written by its
// worker until joined, then only under the table's lock.
struct Prefetch {
    char name[64] = "";
    std::thread worker;
    Image image;
    HRESULT result = E_FAIL;
    bool taken = false;
};

struct PrefetchTable {
    std::mutex lock;
    Prefetch slots[4];
    int count = 0;

    void ReleaseLocked() {
        for (int i = 0; i < count; ++i) {
            if (slots[i].worker.joinable()) slots[i].worker.join();
            slots[i] = Prefetch{};
        }
        count = 0;
    }
    ~PrefetchTable() { ReleaseLocked(); }
};

PrefetchTable& Prefetched() {
    static PrefetchTable table;
    return table;
}

HRESULT DecodeResource(const char* resourceName, Image* image) {
    const ResourceData res = FindResourceData(resourceName, "RCDATA");
    if (!res || res.size == 0) return D3DXERR_INVALIDDATA;
    return DecodeImage(res.data, res.size, image);
}

// The decode of a prefetched image of that name, once: true with *result
// (and *image on success) when there was one.
bool TakePrefetched(const char* resourceName, Image* image, HRESULT* result) {
    PrefetchTable& t = Prefetched();
    std::lock_guard<std::mutex> guard(t.lock);
    for (int i = 0; i < t.count; ++i) {
        Prefetch& p = t.slots[i];
        if (p.taken || strcasecmp(p.name, resourceName) != 0) continue;
        if (p.worker.joinable()) p.worker.join();
        p.taken = true;
        *result = p.result;
        if (SUCCEEDED(p.result)) *image = std::move(p.image);
        return true;
    }
    return false;
}

}  // namespace

void PrefetchImageResource(const char* resourceName) {
    if (!resourceName || std::strlen(resourceName) >= sizeof Prefetch::name) return;
    PrefetchTable& t = Prefetched();
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.count == static_cast<int>(std::size(t.slots))) return;
    for (int i = 0; i < t.count; ++i) {
        if (strcasecmp(t.slots[i].name, resourceName) == 0) return;
    }
    Prefetch& p = t.slots[t.count];
    std::strcpy(p.name, resourceName);
    try {
        p.worker = std::thread([&p] { p.result = DecodeResource(p.name, &p.image); });
    } catch (const std::system_error&) {
        p = Prefetch{};
        return;
    }
    ++t.count;
}

void ReleasePrefetchedImages() {
    PrefetchTable& t = Prefetched();
    std::lock_guard<std::mutex> guard(t.lock);
    t.ReleaseLocked();
}

HRESULT D3DXCreateTextureFromResourceA(IDirect3DDevice8* device, const char* resourceName,
                                       IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!device || !resourceName) return D3DERR_INVALIDCALL;

    // Decoded once at load time (or ahead, by a prefetch); the pixels are
    // freed when the device has its own copy.
    Image image;
    HRESULT decoded;
    if (!TakePrefetched(resourceName, &image, &decoded)) decoded = DecodeResource(resourceName, &image);
    if (decoded == E_OUTOFMEMORY) return E_OUTOFMEMORY;
    if (FAILED(decoded) || image.width == 0 || image.height == 0) return D3DXERR_INVALIDDATA;
    return device->CreateTextureFromPixels(image.width, image.height, image.bgra.data(), texture);
}

HRESULT D3DXAssembleShaderFromResourceA(const char* resourceName, DWORD, ID3DXBuffer** constants,
                                        ID3DXBuffer** code, ID3DXBuffer** errors) {
    // Our shaders carry no separate constant declarations, and compile errors
    // surface when the device builds the program, so both outputs stay empty.
    if (constants) *constants = nullptr;
    if (errors) *errors = nullptr;
    if (!code) return D3DERR_INVALIDCALL;
    *code = nullptr;
    if (!resourceName) return D3DERR_INVALIDCALL;

    const ResourceData res = FindResourceData(resourceName, "RCDATA");
    if (!res) return D3DXERR_INVALIDDATA;
    // The text up to its first NUL (the resource table puts one after the
    // data), so an embedded NUL cannot hide a tail CreateVertexShader skips.
    const std::size_t length = strnlen(reinterpret_cast<const char*>(res.data), res.size);
    if (length == 0 || length + 1 > 0xFFFFFFFFu) return D3DXERR_INVALIDDATA;

    ComPtr<ID3DXBuffer> buffer;
    const HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(length + 1), buffer.Out());
    if (FAILED(hr)) return hr;
    char* text = static_cast<char*>(buffer->GetBufferPointer());
    std::memcpy(text, res.data, length);
    text[length] = '\0';
    *code = buffer.Detach();
    return S_OK;
}
