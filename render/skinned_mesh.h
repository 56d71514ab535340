// SkinnedMesh: one skinned, animated model (an X-file resource of type
// "Model") as a frame hierarchy with meshes, bones and key tracks; its
// animation clock; and its drawing by palette skinning in the vertex shaders
// "skinmesh1.vsh" .. "skinmesh4.vsh" (one per influence count) with banded
// toon lighting. Every whale of one model variant shares one instance: one
// mesh, one clock, one set of shaders; only Render runs per whale.
//
// Units and frames: times are animation ticks, 4800 per second; matrices are
// row-major and used with row vectors (p x M), left-handed, y up. A frame's
// combined matrix is its local matrix x its parent's combined matrix x its
// translation matrix (only the root's translation matrix is ever set: by
// Render, to the instance's position, while the root's local matrix takes the
// instance's rotation). So the file's top frames must not be animated bones.
//
// All whales of one build share one clock and so one pose: the first Render
// after FrameMove (or SetCurrentTime) skins the build's vertices once into
// model space on the CPU, and every Render then draws that posed mesh as
// rigid geometry with its own world matrix ("skinposed.vsh"), the same
// picture as skinning per whale. NEREVAL_SKIN_PER_WHALE=1 (read at
// construction) skins every whale in the palette shaders instead, for
// comparison; so does a mesh whose layout the CPU skinning does not know.
//
// Lifecycle: InitDeviceObjects (load the hierarchy, toon ramp) ->
// RestoreDeviceObjects (four shaders) -> per frame FrameMove once, Render per
// instance -> InvalidateDeviceObjects (shaders; drawable meshes are released
// and rebuilt by the next Render) -> DeleteDeviceObjects (hierarchy, ramp).
// A model that failed to load leaves the object empty: FrameMove and Render
// do nothing and return 0. Drawable meshes are built on first draw (start-up
// cost), never per frame afterwards; nothing is allocated per frame.
//
// Bones: bone i of a skinned mesh points at the combined matrix of the frame
// of that name. A bone that names no frame, and the loader's extra bone for
// vertices without weights (named ""), are bound to the frame that holds the
// mesh with an identity offset: those vertices keep their bind position
// relative to the mesh instead of pointing at a matrix that does not exist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/d3dx/d3dx_skin.h"
#include "platform/xfile/xfile.h"

class ErrLog;

struct PositionKey {
    DWORD dwTime;
    D3DXVECTOR3 vPos;
};
struct ScaleKey {
    DWORD dwTime;
    D3DXVECTOR3 vScale;
};
struct RotateKey {
    DWORD dwTime;
    D3DXQUATERNION quatRotate;  // x, y, z, w (the file writes w first)
};
struct MatrixKey {
    DWORD dwTime;
    D3DXMATRIX mat;
};

// One mesh of a frame. Owns its COM objects, arrays and the containers
// after it in the chain.
struct MeshContainer {
    MeshContainer() = default;
    MeshContainer(const MeshContainer&) = delete;
    MeshContainer& operator=(const MeshContainer&) = delete;
    ~MeshContainer() = default;

    ComPtr<ID3DXMesh> m_pMesh;  // drawable: the blended mesh when skinned
    std::unique_ptr<D3DMATERIAL8[]> m_pMaterials;
    std::unique_ptr<ComPtr<IDirect3DTexture8>[]> m_ppTextures;  // one per material, entries may be null
    DWORD m_dwAttribGroups = 0;                  // subsets, or bone combinations when skinned
    DWORD m_dwMaterials = 0;
    std::unique_ptr<MeshContainer> m_pNext;
    std::string m_szName;

    ComPtr<ID3DXSkinMesh> m_pSkinMesh;           // null for unskinned meshes
    std::unique_ptr<const D3DXMATRIX*[]> m_ppBoneMatrix;  // per bone: the combined matrix of its frame
    ComPtr<ID3DXBuffer> m_pBoneNamesBuf;
    ComPtr<ID3DXBuffer> m_pBoneOffsetBuf;
    D3DXMATRIX* m_pBoneOffsetMat = nullptr;  // inside m_pBoneOffsetBuf, one per bone
    std::unique_ptr<DWORD[]> m_pAdjacency;  // three per face
    std::unique_ptr<D3DXATTRIBUTERANGE[]> m_pAttribTable;  // unskinned meshes: their subsets
    DWORD m_dwAttribTableSize = 0;

    DWORD m_dwMaxInfluences = 0;                 // 1..4, from the blended mesh's format
    ComPtr<ID3DXBuffer> m_pBoneCombinationBuf;  // D3DXBONECOMBINATION records
    DWORD m_dwBuiltMethod = 2;                   // the method m_pMesh was built for; 2: none
    DWORD m_dwPaletteSize = 0;
    BOOL m_bSoftwareVP = FALSE;

    // The shared pose: the blended mesh's vertices skinned once per frame into
    // model space (SkinnedMesh::SkinPosed), drawn for every whale of the build.
    ComPtr<IDirect3DVertexBuffer8> m_pPosedVB;
    DWORD m_dwPosedSerial = 0;  // the pose m_pPosedVB holds (0: none yet)
    // The lower levels of detail for whales far away: fewer triangles over the
    // same posed vertices (render/mesh_lod.h), level 1 then level 2; null
    // when the mesh has none.
    static constexpr int kLodLevels = 2;
    ComPtr<IDirect3DIndexBuffer8> m_pLodIB[kLodLevels];
    DWORD m_dwLodFaces[kLodLevels] = {};
    void DropLods() {
        for (int i = 0; i < kLodLevels; ++i) {
            m_pLodIB[i].Reset();
            m_dwLodFaces[i] = 0;
        }
    }
    float m_fRadius = 0.0f;  // largest distance of a bind-pose vertex from the mesh's origin
    // The levels' triangles, simplified on a worker thread from the moment the
    // blended mesh is made (GenerateMesh) until the first posed draw takes
    // them (BuildLod), so that the simplification overlaps the rest of the
    // loading. Not valid when no job was started; a container destroyed
    // before the job ends waits for it.
    std::future<std::vector<std::vector<std::uint32_t>>> m_lodJob;
};

// One node of the hierarchy. Owns its containers, keys, name, first child
// and the sibling chain after it.
struct MeshFrame {
    MeshFrame();
    MeshFrame(const MeshFrame&) = delete;
    MeshFrame& operator=(const MeshFrame&) = delete;
    ~MeshFrame();

    std::unique_ptr<MeshContainer> m_pMeshContainer;
    D3DXMATRIX m_matRot;          // local matrix (relative to the parent)
    D3DXMATRIX m_matTrans;        // applied after the parent's combined matrix
    D3DXMATRIX m_matRotOrig;      // the local matrix as loaded
    D3DXMATRIX m_matCombined;     // frame to model space, from UpdateFrames

    std::unique_ptr<PositionKey[]> m_pPositionKeys;
    DWORD m_dwNumPositionKeys = 0;
    std::unique_ptr<RotateKey[]> m_pRotateKeys;
    DWORD m_dwNumRotateKeys = 0;
    std::unique_ptr<ScaleKey[]> m_pScaleKeys;
    DWORD m_dwNumScaleKeys = 0;
    std::unique_ptr<MatrixKey[]> m_pMatrixKeys;
    DWORD m_dwNumMatrixKeys = 0;

    MeshFrame* m_pNextAnimation = nullptr;  // next frame with tracks (not owned)
    MeshFrame* m_pAnimationFrame = nullptr;  // the frame these tracks drive (not owned)
    std::unique_ptr<MeshFrame> m_pSibling;
    std::unique_ptr<MeshFrame> m_pChild;
    BYTE m_bAnimationFrame = 0;  // 1: made for an AnimationSet or Animation object
    std::string m_szName;  // empty when the object has no name

    // Adds a child: the first stays first, later ones follow it in reverse
    // load order.
    void AddFrame(std::unique_ptr<MeshFrame> child);
    // Writes the local matrix of the animated frame from the tracks at time
    // `ticks` (each track folded into its own length).
    void SetTime(float ticks);
};

// One loaded hierarchy. Owns its root frame, name and the elements after it.
struct DrawElement {
    DrawElement();
    DrawElement(const DrawElement&) = delete;
    DrawElement& operator=(const DrawElement&) = delete;
    ~DrawElement();

    std::unique_ptr<MeshFrame> m_pRootFrame;  // unnamed frame above the file's frames
    MeshFrame* m_pAnimationFrames = nullptr;  // first frame with tracks (not owned)
    std::string m_szName;
    std::unique_ptr<DrawElement> m_pNext;
    float m_fCurTime = 0.0f;  // ticks
};

// What Render needs from the caller, by value.
struct SkinRenderParams {
    D3DXMATRIX matWorld;
    D3DXMATRIX matView;
    D3DXMATRIX matProj;
    D3DXVECTOR4 vLight;  // direction, w = 0
    float fFogDistance;  // camera depth that is all fog colour
};

class SkinnedMesh {
public:
    static constexpr float kTicksPerSecond = 4800.0f;
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
    // Advances the clock of every element by elapsedSeconds x 4800 ticks
    // within segment `segment` (1-based) of `segmentCount` equal parts of
    // the animation, and poses every animated frame. Segment or count 0:
    // nothing moves. Returns 0.
    HRESULT FrameMove(DWORD segment, DWORD segmentCount, float elapsedSeconds);
    // Draws every element with the instance's world matrix. Stops at the
    // first failing device call and returns its status; 0 otherwise.
    HRESULT Render(SkinRenderParams params);
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

    // Loads the model named in m_szName (or the bytes given to
    // SetSourceData). Logs "SkinnedMesh Loading Failed...%d\n" on failure.
    HRESULT LoadMeshHierarchy();
    // Recomputes the combined matrices of a subtree.
    HRESULT UpdateFrames(MeshFrame* frame, const D3DXMATRIX& parent);
    // Depth first, child before sibling; exact names. Null when not found.
    static MeshFrame* FindFrame(MeshFrame* frame, const char* name);

    // Tools and tests: the next LoadMeshHierarchy reads these bytes (an X
    // file that lives as long as the call) instead of the resource.
    void SetSourceData(const void* data, std::size_t size);

    // Inspection (tests, tools).
    DrawElement* GetDrawElements() const { return m_pDrawElements.get(); }
    float GetAnimLength() const { return m_fAnimLength; }
    float GetCurrentTime() const { return m_pDrawElements ? m_pDrawElements->m_fCurTime : 0.0f; }
    DWORD GetPoseSerial() const { return m_dwPoseSerial; }  // advances with every new pose
    // Whether Render can draw anything: the model loaded and every skinning
    // shader was made (InitDeviceObjects and RestoreDeviceObjects succeeded).
    bool IsDrawable() const;
    DWORD GetShader(DWORD influences) const { return influences >= 1 && influences <= 4 ? m_dwShader[influences - 1] : kNoShader; }
    const char* GetName() const { return m_szName; }
    // Sets the clock of every element to `ticks` (clamped to 0 and above)
    // and poses the frames, as FrameMove does, without advancing it.
    void SetCurrentTime(float ticks);
    // The largest bone count of the skinned meshes (0: none skinned).
    DWORD CountBones() const;
    // The model-space box that holds every skinned vertex in every pose of
    // the loop (the raised flukes included), found at load by posing the
    // model at kLoopBoundSamples even steps of the loop. False when nothing
    // skinned loaded.
    bool GetLoopBounds(D3DXVECTOR3* lo, D3DXVECTOR3* hi) const;
    static constexpr int kLoopBoundSamples = 100;

private:
    HRESULT LoadFrames(IDirectXFileData* object, DrawElement* element, DWORD options, MeshFrame* parent);
    HRESULT LoadMesh(IDirectXFileData* object, DWORD options, MeshFrame* frame);
    HRESULT LoadAnimationSet(IDirectXFileData* object, DrawElement* element, DWORD options, MeshFrame* parent);
    HRESULT LoadAnimation(IDirectXFileData* object, DrawElement* element, DWORD options, MeshFrame* parent);
    HRESULT LoadAnimationKey(IDirectXFileData* object, MeshFrame* frame);
    void FindBones(MeshFrame* frame, DrawElement* element);
    HRESULT GenerateMesh(MeshContainer* container);
    HRESULT DrawFrames(MeshFrame* frame);
    HRESULT DrawMeshContainer(MeshContainer* container);
    void ComputeLoopBounds();
    bool PreparePose();
    bool PrepareFrames(MeshFrame* frame);
    HRESULT RenderPosed(const SkinRenderParams& params);
    HRESULT DrawPosedFrames(MeshFrame* frame, const D3DXMATRIX& world);
    HRESULT DrawPosedContainer(MeshContainer* container);
    bool SkinPosed(MeshContainer* container);
    void StartLod(MeshContainer* container);
    void BuildLod(MeshContainer* container);
    void PoseElement(DrawElement* element);
    void ReleaseDrawableMeshes(MeshFrame* frame);

    // Part one: the model and its clock.
    IDirect3DDevice8* m_pDevice;
    D3DCAPS8 m_Caps;
    char m_szName[260];
    std::unique_ptr<DrawElement> m_pDrawElements;
    DWORD m_dwMethod;
    float m_fAnimLength;  // ticks: the largest last-key time of any track
    D3DXVECTOR3 m_vLoopMin{0.0f, 0.0f, 0.0f}, m_vLoopMax{0.0f, 0.0f, 0.0f};  // see GetLoopBounds
    bool m_bLoopBounds = false;
    int m_bSegmentDirty;
    float m_fSegmentLength, m_fSegmentStart, m_fSegmentEnd;

    // Part two: device objects.
    DWORD m_dwShader[4];
    DWORD m_dwPosedShader;  // skinposed.vsh
    bool m_bSharedPose;
    bool m_bLod;
    DWORD m_dwPoseSerial;   // advanced by every new pose (FrameMove, SetCurrentTime)
    DWORD m_dwFramesPosed;  // the pose the frames' combined matrices hold in model space (0: none)
    bool m_bPoseReady;      // every skinned mesh of that pose is in its posed buffer
    ComPtr<IDirect3DTexture8> m_pToonTexture;
    D3DXMATRIX m_matView;
    float m_fFogDistance;
    int m_nLevel;  // this instance's level of detail: 0 all triangles, 1.. kLodLevels fewer

    ErrLog* m_pLog;
    const void* m_pSourceData;
    std::size_t m_SourceSize;
};
