// Binary layout of the placement files (.BPS, .TPS) and the path file (.FPP)
// that gen_content writes: little-endian int32 counts and IEEE-754 single
// floats, nothing else. Header-only; used by the generator and by no runtime
// code (the loaders in scene/ and flock/ read these bytes themselves).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace content {

// One world matrix in D3DXMATRIX member order _11, _12, ... _44: row-vector
// convention, rows are the model's x, y and z axes in world units (scale and
// rotation baked in), then the translation row with _44 = 1.
using PlacementMatrix = std::array<float, 16>;

struct PathPoint {
    float x, y, z;
};

inline void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void PutI32(std::vector<std::uint8_t>& out, std::int32_t v) {
    PutU32(out, static_cast<std::uint32_t>(v));
}

inline void PutF32(std::vector<std::uint8_t>& out, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutU32(out, bits);
}

// Count N, then N matrices of 16 floats: exactly 4 + 64 * N bytes.
inline std::vector<std::uint8_t> EncodePlacementFile(const std::vector<PlacementMatrix>& matrices) {
    std::vector<std::uint8_t> out;
    out.reserve(4 + 64 * matrices.size());
    PutI32(out, static_cast<std::int32_t>(matrices.size()));
    for (const PlacementMatrix& m : matrices)
        for (float f : m) PutF32(out, f);
    return out;
}

// Count N, the N points (x, y, z), then each trailing array in turn (the
// loader reads only the points; the trailing arrays ride along unread).
inline std::vector<std::uint8_t> EncodePathFile(const std::vector<PathPoint>& points,
                                                const std::vector<std::vector<float>>& trailing) {
    std::vector<std::uint8_t> out;
    PutI32(out, static_cast<std::int32_t>(points.size()));
    for (const PathPoint& p : points) {
        PutF32(out, p.x);
        PutF32(out, p.y);
        PutF32(out, p.z);
    }
    for (const std::vector<float>& array : trailing)
        for (float f : array) PutF32(out, f);
    return out;
}

}  // namespace content
