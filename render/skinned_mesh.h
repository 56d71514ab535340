// SkinnedMesh: the drawing of one skinned, animated model (SkinnedModel,
// render/skinned_model.h, which it owns: the frames, bones, tracks and the
// clock) by palette skinning in the vertex shaders "skinmesh1.vsh" ..
// "skinmesh4.vsh" (one per influence count) with banded toon lighting. Every
// whale of one model variant shares one instance: one mesh, one clock, one
// set of shaders; only Render runs per whale. The model's calls are offered
// here too, so that owners hold one object.
//
// All whales of one build share one clock and so one pose: the first Render
// after FrameMove (or SetCurrentTime) skins the build's vertices once into
// model space on the CPU, and every Render then draws that posed mesh as
// rigid geometry with its own world matrix ("skinposed.vsh"), the same
// picture as skinning per whale. NEREVAL_SKIN_PER_WHALE=1 (read at
// construction) skins every whale in the palette shaders instead, for
// comparison; so does a mesh whose layout the CPU skinning does not know.
// Whales far away draw lower levels of detail (render/mesh_lod.h),
// simplified on a worker thread while the rest loads.
//
// Lifecycle: InitDeviceObjects (load the hierarchy and build its blended
// meshes, toon ramp) -> RestoreDeviceObjects (four shaders) -> per frame
// FrameMove once, Render per instance -> InvalidateDeviceObjects (shaders;
// drawable meshes are released and rebuilt by the next Render) ->
// DeleteDeviceObjects (hierarchy, ramp). A model that failed to load leaves
// the object empty: FrameMove and Render do nothing and return 0. Drawable
// meshes are built at load and after a restore on first draw (start-up
// cost), never per frame afterwards; nothing is allocated per frame.
#pragma once

#include <cstddef>

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "render/skinned_model.h"

class ErrLog;

// What Render needs from the caller for one instance.
struct SkinRenderParams {
    D3DXMATRIX matWorld;
    D3DXMATRIX matView;
    D3DXMATRIX matProj;
    D3DXVECTOR4 vLight;  // direction, w = 0
    float fFogDistance;  // camera depth that is all fog colour
};

class SkinnedMesh {
public:
    static constexpr float kTicksPerSecond = SkinnedModel::kTicksPerSecond;
    static constexpr DWORD kPaletteSize = 28;  // bones per draw: c9..c92
    static constexpr DWORD kNoShader = 0xFFFFFFFFu;
    static constexpr DWORD kMethodVertexShader = 1;
    // A whale whose bounding sphere is at most kLodPixels[i] across in its view on the
    // back buffer is drawn at level of detail i + 1, with about kLodShare[i]
    // of its triangles. Level 1 keeps the colour borders exactly; level 2, for
    // whales a few dozen pixels long, simplifies them too.
    static constexpr int kLodLevels = MeshContainer::kLodLevels;
    static constexpr float kLodPixels[kLodLevels] = {120.0f, 80.0f};
    static constexpr float kLodShare[kLodLevels] = {0.4f, 0.15f};

    SkinnedMesh();
    ~SkinnedMesh();
    SkinnedMesh(const SkinnedMesh&) = delete;
    SkinnedMesh& operator=(const SkinnedMesh&) = delete;

    // Stores the device and caps, loads the model `name` (its result is not
    // returned: a failed model leaves an empty object) and creates the toon
    // ramp from "Toon.bmp" (E_FAIL when that fails). Progress lines go to
    // `log` (the start-up log; may be null), kept for RestoreDeviceObjects.
    HRESULT InitDeviceObjects(IDirect3DDevice8* device, D3DCAPS8 caps, const char* name, ErrLog* log = nullptr);
    // Creates the four skinning shaders; the first failure is returned. Then
    // the shared-pose shader (when it fails, every whale is skinned in the
    // palette shaders).
    HRESULT RestoreDeviceObjects();
    // The model's clock (SkinnedModel::FrameMove). Returns 0.
    HRESULT FrameMove(DWORD segment, DWORD segmentCount, float elapsedSeconds) {
        return m_Model.FrameMove(segment, segmentCount, elapsedSeconds);
    }
    // Draws every element with the instance's world matrix. Stops at the
    // first failing device call and returns its status; 0 otherwise.
    HRESULT Render(const SkinRenderParams& params);
    // Tests and benchmarks: true (the default) draws from the shared pose,
    // false skins every instance in the palette shaders.
    void SetSharedPose(bool shared) { m_bSharedPose = shared; }
    bool GetSharedPose() const { return m_bSharedPose; }
    // Tests and benchmarks: false draws every instance at full detail.
    void SetLevelOfDetail(bool lod) { m_bLod = lod; }
    // Releases the drawable skinned meshes (rebuilt on the next Render) and
    // deletes the shaders. Returns 0.
    HRESULT InvalidateDeviceObjects();
    // Frees the hierarchy and the toon ramp. Returns 0.
    HRESULT DeleteDeviceObjects();

    // Loads the model named by InitDeviceObjects (or the bytes given to
    // SetSourceData) and builds the blended meshes of its skinned
    // containers; a mesh that cannot be built fails the load. Logs
    // "SkinnedMesh Loading Failed...%d\n" on failure.
    HRESULT LoadMeshHierarchy();

    // The model's calls and its clock (render/skinned_model.h).
    static HRESULT UpdateFrames(MeshFrame* frame, const D3DXMATRIX& parent) {
        return SkinnedModel::UpdateFrames(frame, parent);
    }
    static MeshFrame* FindFrame(MeshFrame* frame, const char* name) { return SkinnedModel::FindFrame(frame, name); }
    void SetSourceData(const void* data, std::size_t size) { m_Model.SetSourceData(data, size); }
    DrawElement* GetDrawElements() const { return m_Model.GetDrawElements(); }
    float GetAnimLength() const { return m_Model.GetAnimLength(); }
    float GetCurrentTime() const { return m_Model.GetCurrentTime(); }
    void SetCurrentTime(float ticks) { m_Model.SetCurrentTime(ticks); }
    DWORD GetPoseSerial() const { return m_Model.GetPoseSerial(); }
    const char* GetName() const { return m_Model.GetName(); }
    DWORD CountBones() const { return m_Model.CountBones(); }
    bool GetLoopBounds(D3DXVECTOR3* lo, D3DXVECTOR3* hi) const { return m_Model.GetLoopBounds(lo, hi); }

    // Whether Render can draw anything: the model loaded and every skinning
    // shader was made (InitDeviceObjects and RestoreDeviceObjects succeeded).
    bool IsDrawable() const;
    DWORD GetShader(DWORD influences) const { return influences >= 1 && influences <= 4 ? m_dwShader[influences - 1] : kNoShader; }

private:
    HRESULT GenerateMeshes(MeshFrame* frame);
    HRESULT GenerateMesh(MeshContainer* container);
    HRESULT DrawFrames(MeshFrame* frame);
    HRESULT DrawMeshContainer(MeshContainer* container);
    HRESULT DrawUnskinned(MeshContainer* container);
    bool PreparePose();
    bool PrepareFrames(MeshFrame* frame);
    HRESULT RenderPosed(const SkinRenderParams& params);
    int LevelOfDetail(const SkinRenderParams& params, const D3DXMATRIX& worldView);
    HRESULT DrawPosedFrames(MeshFrame* frame, const D3DXMATRIX& world);
    HRESULT DrawPosedContainer(MeshContainer* container);
    bool SkinPosed(MeshContainer* container);
    void StartLod(MeshContainer* container);
    void BuildLod(MeshContainer* container);
    void ReleaseDrawableMeshes(MeshFrame* frame);

    SkinnedModel m_Model;
    IDirect3DDevice8* m_pDevice;
    D3DCAPS8 m_Caps;
    DWORD m_dwMethod;
    DWORD m_dwShader[4];
    DWORD m_dwPosedShader;  // skinposed.vsh
    bool m_bSharedPose;
    bool m_bLod;
    DWORD m_dwFramesPosed;  // the model's pose serial the frames' combined matrices hold in model space (0: none)
    bool m_bPoseReady;      // every skinned mesh of that pose is in its posed buffer
    ComPtr<IDirect3DTexture8> m_pToonTexture;
    D3DXMATRIX m_matView;
    float m_fFogDistance;
    int m_nLevel;  // this instance's level of detail: 0 all triangles, 1.. kLodLevels fewer
    ErrLog* m_pLog;
};
