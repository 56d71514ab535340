// Managed vertex and index buffers and textures of the GL device, and the
// device's methods that create them: each keeps a CPU copy (buffers) or only
// its GL object (textures) and is freed by its last Release.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gl/d3d8_gl_device.h"

DWORD D3DResource::Release() {
    if (m_dwRef == 0) return 0;  // over-release: ignored rather than a double free
    DWORD left = --m_dwRef;
    if (left == 0) delete this;
    return left;
}

namespace d3d8gl {

// --- ManagedStore ----------------------------------------------------------

HRESULT ManagedStore::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    // Offset and size 0 lock everything; size 0 with an offset locks to the end.
    if (offset > length) return D3DERR_INVALIDCALL;
    if (size == 0) size = length - offset;
    if (size > length - offset) return D3DERR_INVALIDCALL;
    if (!(flags & D3DLOCK_READONLY)) {
        if (dirtyBegin == dirtyEnd) {
            dirtyBegin = offset;
            dirtyEnd = offset + size;
        } else {
            dirtyBegin = std::min(dirtyBegin, offset);
            dirtyEnd = std::max(dirtyEnd, offset + size);
        }
    }
    ++lockCount;
    *data = bytes.get() + offset;
    return S_OK;
}

HRESULT ManagedStore::Unlock(bool* upload, UINT* begin, UINT* end) {
    *upload = false;
    if (lockCount == 0) return D3DERR_INVALIDCALL;
    if (--lockCount > 0) return S_OK;
    if (dirtyBegin != dirtyEnd) {
        *upload = true;
        *begin = dirtyBegin;
        *end = dirtyEnd;
    }
    dirtyBegin = dirtyEnd = 0;
    return S_OK;
}

void ManagedStore::Upload(UINT begin, UINT end) const {
    if (!gl) return;  // the device is gone: the CPU copy is all that is left
    // GL_COPY_WRITE_BUFFER is no vertex-array state, so uploading never
    // disturbs the element buffer recorded in a bound vertex array object.
    glBindBuffer(GL_COPY_WRITE_BUFFER, gl);
    glBufferSubData(GL_COPY_WRITE_BUFFER, begin, end - begin, bytes.get() + begin);
}

// --- Vertex buffer ---------------------------------------------------------

HRESULT GlVertexBuffer::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    return store.Lock(offset, size, data, flags);
}

HRESULT GlVertexBuffer::Unlock() {
    bool upload;
    UINT begin = 0, end = 0;
    HRESULT hr = store.Unlock(&upload, &begin, &end);
    if (upload) store.Upload(begin, end);
    return hr;
}

void GlVertexBuffer::FreeGl() {
    glDeleteBuffers(1, &store.gl);
    store.gl = 0;
}

GlVertexBuffer::~GlVertexBuffer() { Detach(); }

// --- Index buffer ----------------------------------------------------------

HRESULT GlIndexBuffer::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    return store.Lock(offset, size, data, flags);
}

HRESULT GlIndexBuffer::Unlock() {
    bool upload;
    UINT begin = 0, end = 0;
    HRESULT hr = store.Unlock(&upload, &begin, &end);
    if (!upload) return hr;
    // Raise the known largest index by the rewritten range (whole indices only).
    const UINT size = IndexSize();
    const UINT first = begin / size;
    const UINT last = std::min((end + size - 1) / size, IndexCount());
    const BYTE* base = store.bytes.get();
    for (UINT i = first; i < last; ++i) {
        DWORD v;
        if (size == 2) {
            WORD w;
            std::memcpy(&w, base + i * 2, 2);
            v = w;
        } else {
            std::memcpy(&v, base + i * 4, 4);
        }
        maxIndex = std::max(maxIndex, v);
    }
    store.Upload(begin, end);
    return hr;
}

void GlIndexBuffer::FreeGl() {
    glDeleteBuffers(1, &store.gl);
    store.gl = 0;
}

GlIndexBuffer::~GlIndexBuffer() { Detach(); }

// --- Texture ---------------------------------------------------------------

void GlTexture::FreeGl() {
    glDeleteTextures(1, &gl);
    gl = 0;
}

GlTexture::~GlTexture() { Detach(); }

// ---------------------------------------------------------------------------
// Created by the device

namespace {

std::uint64_t g_NextSerial = kStreamSerial + 1;

// Creates the GL buffer behind a managed store; false when GL is out of memory.
bool CreateGlBuffer(ManagedStore* store) {
    glGenBuffers(1, &store->gl);
    glBindBuffer(GL_COPY_WRITE_BUFFER, store->gl);
    glBufferData(GL_COPY_WRITE_BUFFER, store->length, store->bytes.get(), GL_STATIC_DRAW);
    if (glGetError() == GL_OUT_OF_MEMORY) {
        glDeleteBuffers(1, &store->gl);
        store->gl = 0;
        return false;
    }
    store->serial = g_NextSerial++;
    return true;
}

bool AllocateStore(ManagedStore* store, UINT length) {
    store->bytes.reset(new (std::nothrow) BYTE[length]());
    store->length = length;
    return store->bytes != nullptr;
}

}  // namespace

HRESULT GlDevice::CreateVertexBuffer(UINT length, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer8** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0) return D3DERR_INVALIDCALL;
    auto* vb = new (std::nothrow) GlVertexBuffer;
    if (!vb) return E_OUTOFMEMORY;
    if (!AllocateStore(&vb->store, length) || !CreateGlBuffer(&vb->store)) {
        vb->Release();
        return E_OUTOFMEMORY;
    }
    vb->InsertAfter(&m_resources);
    *buffer = vb;
    return S_OK;
}

HRESULT GlDevice::CreateIndexBuffer(UINT length, DWORD, D3DFORMAT format, D3DPOOL, IDirect3DIndexBuffer8** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (length < (format == D3DFMT_INDEX32 ? 4u : 2u)) return D3DERR_INVALIDCALL;
    auto* ib = new (std::nothrow) GlIndexBuffer;
    if (!ib) return E_OUTOFMEMORY;
    ib->format = format;
    if (!AllocateStore(&ib->store, length) || !CreateGlBuffer(&ib->store)) {
        ib->Release();
        return E_OUTOFMEMORY;
    }
    ib->InsertAfter(&m_resources);
    *buffer = ib;
    return S_OK;
}

RampTable FindRamp(UINT width, UINT height, const BYTE* bgra) {
    RampTable ramp;
    if (!bgra || width == 0 || height == 0) return ramp;
    const std::size_t row = std::size_t{width} * 4;
    for (UINT y = 1; y < height; ++y) {
        if (std::memcmp(bgra, bgra + y * row, row) != 0) return ramp;
    }
    auto rgba = [&](UINT x, float* out) {
        const BYTE* p = bgra + std::size_t{x} * 4;
        const BYTE c[4] = {p[2], p[1], p[0], p[3]};
        for (int i = 0; i < 4; ++i) out[i] = static_cast<float>(c[i]);
    };
    int steps = 0;
    for (UINT x = 0; x + 1 < width; ++x) {
        if (std::memcmp(bgra + std::size_t{x} * 4, bgra + std::size_t{x + 1} * 4, 4) == 0) continue;
        if (steps == kMaxRampSteps) return RampTable{};
        float a[4], b[4];
        rgba(x, a);
        rgba(x + 1, b);
        ramp.position[steps] = static_cast<float>(x);
        for (int i = 0; i < 4; ++i) ramp.delta[steps][i] = b[i] - a[i];
        ++steps;
    }
    rgba(0, ramp.base);
    ramp.steps = steps;
    ramp.width = static_cast<float>(width);
    return ramp;
}

HRESULT GlDevice::CreateTextureFromPixels(UINT width, UINT height, const BYTE* bgra, IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!bgra || width == 0 || height == 0 || width > static_cast<UINT>(m_limits.maxTexture) ||
        height > static_cast<UINT>(m_limits.maxTexture)) {
        return D3DERR_INVALIDCALL;
    }
    auto* t = new (std::nothrow) GlTexture;
    if (!t) return E_OUTOFMEMORY;
    t->width = width;
    t->height = height;
    // Rows top first, as D3D stores them: texture coordinate v = 0 is the top
    // row in both APIs when the first row uploaded is the top one.
    glActiveTexture(kUploadTextureUnit);
    glGenTextures(1, &t->gl);
    glBindTexture(GL_TEXTURE_2D, t->gl);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, bgra);
    if (glGetError() == GL_OUT_OF_MEMORY) {
        t->FreeGl();  // not linked yet, so its destructor would not free the name
        t->Release();
        return E_OUTOFMEMORY;
    }
    // No mip chain yet: the first draw with a mip filter makes it (llvmpipe
    // generates mipmaps with a rendering pass whose first use compiles its
    // programs, which cost start-up a third of a second).
    glBindTexture(GL_TEXTURE_2D, 0);
    const RampTable ramp = FindRamp(width, height, bgra);
    if (ramp.steps >= 0) t->rampId = m_programs.builder.RegisterRamp(ramp);
    t->InsertAfter(&m_resources);
    *texture = t;
    return S_OK;
}

}  // namespace d3d8gl
