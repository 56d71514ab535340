// The shared, reference-counted texture list of the rigid models.
#include "scene/texture_cache.h"

#include <cassert>
#include <cstdio>
#include <utility>

#include "platform/d3dx/d3dx_resource.h"
#include "core/errlog.h"

TextureCache g_TextureCache;

IDirect3DTexture8* TextureCache::AcquireTexture(IDirect3DDevice8* device, const char* name, ErrLog* log) {
    if (!name) return nullptr;
    for (Entry& e : m_Entries) {
        if (e.name == name) {
            ++e.nRef;
            return e.texture;
        }
    }

    char line[600];
    std::snprintf(line, sizeof line, "\t\t\tD3DXCreateTextureFromResource...%s\n", name);
    ComPtr<IDirect3DTexture8> texture;
    if (FAILED(ObjectStep(log, line, "\t\t\tFailed\n", [&] {
            return device && SUCCEEDED(D3DXCreateTextureFromResourceA(device, name, texture.Out())) && texture;
        }))) {
        return nullptr;
    }
    IDirect3DTexture8* shared = texture;
    m_Entries.push_back(Entry{name, std::move(texture), 1});
    return shared;
}

void TextureCache::ReleaseTexture(IDirect3DTexture8* texture) {
    if (!texture) return;
    for (auto e = m_Entries.begin(); e != m_Entries.end(); ++e) {
        if (e->texture != texture) continue;
        if (--e->nRef == 0) m_Entries.erase(e);  // the entry's holder releases the texture
        return;
    }
    assert(!"ReleaseTexture: a texture this cache did not hand out (released twice?)");
}

int TextureCache::GetEntryCount() const { return static_cast<int>(m_Entries.size()); }

int TextureCache::GetRefCount(const char* name) const {
    if (!name) return 0;
    for (const Entry& e : m_Entries) {
        if (e.name == name) return e.nRef;
    }
    return 0;
}
