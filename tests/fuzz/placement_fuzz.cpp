// libFuzzer target for the placement files (.BPS, .TPS: a count and world
// matrices) and the camera path file (.FPP: a count and points): whatever is
// accepted is read only inside the input, and the path it gives is finite
// wherever the camera rig evaluates it.
// Build and run: see README.md in this folder.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "flock/ferguson.h"
#include "scene/placement.h"

namespace {

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    ResourceData resource;
    resource.data = input;
    resource.size = size;
    PlacementFile placement;
    if (ReadPlacementFile(resource, &placement)) {
        if (placement.count < 0 || 4 + kPlacementMatrixBytes * static_cast<std::size_t>(placement.count) > size)
            __builtin_trap();
        volatile float sink = 0.0f;
        for (int i = 0; i < placement.count; ++i) sink = sink + placement.Matrix(i)._44;
    }

    Ferguson path;
    if (SUCCEEDED(path.Load(input, size))) {
        if (path.GetCount() < 1) __builtin_trap();
        path.SetCentre(D3DXVECTOR3(10.0f, -20.0f, 30.0f));
        const int steps = path.GetCount() * 4 < 4096 ? path.GetCount() * 4 : 4096;
        for (int i = 0; i < steps; ++i) {
            D3DXVECTOR3 point(0, 0, 0), ahead(0, 0, 0);
            path.Evaluate(static_cast<float>(path.GetCount()) * i / steps, &point, &ahead);
            if (!Finite(point) || !Finite(ahead)) __builtin_trap();
        }
    }
    return 0;
}
