// Look-up of embedded resources by name and type, ignoring ASCII case.
#include "platform/os/resource.h"

#include <strings.h>

namespace {
const char* g_HiddenName = nullptr;
}  // namespace

void HideResourceForTest(const char* name) { g_HiddenName = name; }

ResourceData FindResourceData(const char* name, const char* type) {
    if (!name || !type) return {};
    if (g_HiddenName && strcasecmp(g_HiddenName, name) == 0) return {};
    for (const ResourceEntry* e = NerevalResourceTable(); e->name; ++e) {
        if (strcasecmp(e->name, name) == 0 && strcasecmp(e->type, type) == 0) {
            return {e->begin, static_cast<std::size_t>(e->end - e->begin)};
        }
    }
    return {};
}
