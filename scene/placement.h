// Placement files (".BPS" for background sets, ".TPS" for the clocks): a
// signed 32-bit count N, then N world matrices of 16 little-endian floats in
// D3DXMATRIX member order (_11, _12, ..., _44). Exactly 4 + 64 * N bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3dx/d3dx_math.h"
#include "platform/os/resource.h"

class ErrLog;

struct PlacementFile {
    int count = 0;
    const std::uint8_t* matrices = nullptr;  // read in place, inside the resource

    // Matrix i (0 <= i < count), copied out: the resource bytes need not be aligned.
    D3DXMATRIX Matrix(int i) const;
};

constexpr std::size_t kPlacementMatrixBytes = 64;

// False for a negative count or a resource shorter than 4 + 64 * N bytes:
// such a file is rejected instead of being read past its end.
bool ReadPlacementFile(const ResourceData& resource, PlacementFile* out);

// Finds the placement resource `name` (type "MISC") and reads it, logging
// `findLine`, then "\t\tLoadResource...\n"; a missing or malformed file
// logs "\t\tFailed\n" and gives E_FAIL.
HRESULT LoadPlacementResource(const char* name, const char* findLine, ErrLog* log, PlacementFile* out);
