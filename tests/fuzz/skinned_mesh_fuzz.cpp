// libFuzzer target for skinned-mesh loading from X files: the hierarchy,
// the skin weights and bone offsets, the materials and the animation tracks,
// loaded without a device the way the whales are; whatever loads is posed at
// several times, including far past the tracks' end.
// Build and run: see README.md in this folder.
#include <cstddef>
#include <cstdint>

#include "core/errlog.h"
#include "render/skinned_mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size > 1 << 18) return 0;
    ErrLog log;
    SkinnedMesh mesh;
    mesh.SetSourceData(input, size);
    mesh.InitDeviceObjects(nullptr, D3DCAPS8{}, "fuzz.x", &log);  // the toon ramp alone needs a device
    if (mesh.GetDrawElements()) {
        for (float dt : {0.0f, 0.01f, 0.5f, 7.0f, 1000.0f}) mesh.FrameMove(1, 1, dt);
    }
    mesh.DeleteDeviceObjects();
    return 0;
}
