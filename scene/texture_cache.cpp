// The shared, reference-counted texture list of the rigid models.
#include "scene/texture_cache.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/d3dx/d3dx_resource.h"
#include "core/errlog.h"

TextureCache g_TextureCache;

TextureCache::~TextureCache() {
    while (m_pHead) {
        Entry* next = m_pHead->pNext;
        if (m_pHead->pTexture) m_pHead->pTexture->Release();
        delete[] m_pHead->pName;
        delete m_pHead;
        m_pHead = next;
    }
}

IDirect3DTexture8* TextureCache::AcquireTexture(IDirect3DDevice8* device, const char* name, ErrLog* log) {
    if (!name) return nullptr;
    for (Entry* e = m_pHead; e; e = e->pNext) {
        if (std::strcmp(e->pName, name) == 0) {
            ++e->nRef;
            return e->pTexture;
        }
    }

    if (log) {
        char line[600];
        std::snprintf(line, sizeof line, "\t\t\tD3DXCreateTextureFromResource...%s\n", name);
        log->Append(line);
    }
    IDirect3DTexture8* texture = nullptr;
    const std::size_t length = std::strlen(name);
    Entry* entry = new (std::nothrow) Entry{nullptr, new (std::nothrow) char[length + 1], 1, nullptr};
    if (!entry || !entry->pName || !device || FAILED(D3DXCreateTextureFromResourceA(device, name, &texture)) ||
        !texture) {
        if (entry) delete[] entry->pName;
        delete entry;
        if (log) log->Append("\t\t\tFailed\n");
        return nullptr;
    }
    std::memcpy(entry->pName, name, length + 1);
    entry->pTexture = texture;
    // The first entry becomes the head; later ones go directly after it.
    if (!m_pHead) {
        m_pHead = entry;
    } else {
        entry->pNext = m_pHead->pNext;
        m_pHead->pNext = entry;
    }
    return texture;
}

void TextureCache::ReleaseTexture(IDirect3DTexture8* texture) {
    if (!texture) return;
    Entry* prev = nullptr;
    for (Entry* e = m_pHead; e; prev = e, e = e->pNext) {
        if (e->pTexture != texture) continue;
        if (--e->nRef > 0) return;
        e->pTexture->Release();
        (prev ? prev->pNext : m_pHead) = e->pNext;
        delete[] e->pName;
        delete e;
        return;
    }
}

int TextureCache::GetEntryCount() const {
    int n = 0;
    for (const Entry* e = m_pHead; e; e = e->pNext) ++n;
    return n;
}

int TextureCache::GetRefCount(const char* name) const {
    if (!name) return 0;
    for (const Entry* e = m_pHead; e; e = e->pNext) {
        if (std::strcmp(e->pName, name) == 0) return e->nRef;
    }
    return 0;
}
