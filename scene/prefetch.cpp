// The scene's start-up prefetch. See prefetch.h.
#include "scene/prefetch.h"

#include <cstring>
#include <span>

#include "platform/os/resource.h"
#include "platform/xfile/xfile.h"
#include "scene/earth_and_pillar.h"

namespace {

// Every model's X file (resources of type "Model"): the set pieces', the
// obstacles' and the whales'.
void PrefetchModels() {
    constexpr int kMost = 64;
    XFileBytes files[kMost];
    int count = 0;
    for (const ResourceEntry* e = NerevalResourceTable(); e->name && count < kMost; ++e) {
        if (std::strcmp(e->type, "Model") != 0) continue;
        files[count++] = {e->begin, static_cast<DWORD>(e->end - e->begin)};
    }
    PrefetchXFiles(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES, std::span<const XFileBytes>(files, count));
}

}  // namespace

void PrefetchSceneResources() {
    EarthAndPillar::PrefetchImages();
    PrefetchModels();
}
