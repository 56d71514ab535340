// The process-wide cache of rigid-model textures: a texture file named by
// several materials or models is created once and shared by reference count.
//
// Ownership: the cache owns every texture it hands out. Each successful
// AcquireTexture must be matched by one ReleaseTexture; the last release
// frees the texture and its entry. Entries are allocated while models load
// (start-up), never per frame.
#pragma once

#include <string>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"

class ErrLog;

class TextureCache {
public:
    TextureCache() = default;
    TextureCache(const TextureCache&) = delete;
    TextureCache& operator=(const TextureCache&) = delete;
    // Whatever is still held is released with the cache (normally nothing:
    // every model releases its textures before the device goes).
    ~TextureCache() = default;

    // The texture of that name: the shared one when the exact same name
    // (case-sensitive) was acquired before, else a new one created from the
    // image resource of that name (resource look-up ignores case). Null when
    // it cannot be created; the failure is logged to `log` (may be null).
    IDirect3DTexture8* AcquireTexture(IDirect3DDevice8* device, const char* name, ErrLog* log);
    // Drops one reference; the last one releases the texture. Null is
    // ignored; a texture the cache did not hand out is a caller's error
    // (asserted in debug builds, ignored otherwise).
    void ReleaseTexture(IDirect3DTexture8* texture);

    // Inspection: entries held, and the reference count of a name (0 when absent).
    int GetEntryCount() const;
    int GetRefCount(const char* name) const;

private:
    struct Entry {
        std::string name;
        ComPtr<IDirect3DTexture8> texture;
        int nRef;
    };
    std::vector<Entry> m_Entries;  // grows while models load, never per frame
};

// The one cache of the process, shared by every XModel.
extern TextureCache g_TextureCache;
