// Reading placement files in place, with their size checked first.
#include "scene/placement.h"

#include <cstring>

#include "core/errlog.h"

bool ReadPlacementFile(const ResourceData& resource, PlacementFile* out) {
    if (!resource || resource.size < 4 || !out) return false;
    std::int32_t n = 0;
    std::memcpy(&n, resource.data, 4);
    if (n < 0) return false;
    if ((resource.size - 4) / kPlacementMatrixBytes < static_cast<std::size_t>(n)) return false;
    out->count = n;
    out->matrices = resource.data + 4;
    return true;
}

D3DXMATRIX PlacementFile::Matrix(int i) const {
    D3DXMATRIX m;
    std::memcpy(&m.m[0][0], matrices + static_cast<std::size_t>(i) * kPlacementMatrixBytes, kPlacementMatrixBytes);
    return m;
}

HRESULT LoadPlacementResource(const char* name, const char* findLine, ErrLog* log, PlacementFile* out) {
    ResourceData resource;
    if (FAILED(ObjectStep(log, findLine, "\t\tFailed\n",
                          [&] { return static_cast<bool>(resource = FindResourceData(name, "MISC")); })) ||
        FAILED(ObjectStep(log, "\t\tLoadResource...\n", "\t\tFailed\n",
                          [&] { return ReadPlacementFile(resource, out); }))) {
        return E_FAIL;
    }
    return S_OK;
}
