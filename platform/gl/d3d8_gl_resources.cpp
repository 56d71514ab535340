// Managed vertex and index buffers and textures of the GL device: each keeps
// a CPU copy (buffers) or only its GL object (textures) and is freed by its
// last Release.
#include <algorithm>
#include <cstring>

#include "platform/gl/d3d8_gl_internal.h"

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

}  // namespace d3d8gl
