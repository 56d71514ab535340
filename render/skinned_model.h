// SkinnedModel: one skinned, animated model (an X-file resource of type
// "Model") as a frame hierarchy with meshes, bones and key tracks, and its
// animation clock: the loader, key sampling, the frame-matrix update and the
// box of the whole loop. It holds no shaders and draws nothing; SkinnedMesh
// (render/skinned_mesh.h) builds the drawable meshes over it and draws it.
//
// Units and frames: times are animation ticks, 4800 per second; matrices are
// row-major and used with row vectors (p x M), left-handed, y up. A frame's
// combined matrix is its local matrix x its parent's combined matrix x its
// translation matrix (only the root's translation matrix is ever set: by
// the drawing, to the instance's position, while the root's local matrix
// takes the instance's rotation). So the file's top frames must not be
// animated bones.
//
// Bones: bone i of a skinned mesh points at the combined matrix of the frame
// of that name. A bone that names no frame, and the loader's extra bone for
// vertices without weights (named ""), are bound to the frame that holds the
// mesh with an identity offset: those vertices keep their bind position
// relative to the mesh instead of pointing at a matrix that does not exist.
//
// A model that failed to load leaves the object empty: the clock does
// nothing. Nothing is allocated by the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <type_traits>
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
// after it in the chain. The loader fills it, except what only the drawing
// (SkinnedMesh) writes: a skinned container's drawable mesh and group count,
// and every field from m_dwMaxInfluences on.
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
    std::future<std::vector<std::vector<std::uint32_t>>> m_LodJob;
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

// Calls fn(frame, container) for every mesh container of the frames from
// `frame` on (its siblings and all their children): a frame's containers in
// list order, then its children, then its next sibling. A visitor returning
// bool stops the walk with false, which the walk returns.
template <typename Fn>
bool ForEachContainer(MeshFrame* frame, Fn&& fn) {
    for (; frame; frame = frame->m_pSibling.get()) {
        for (MeshContainer* c = frame->m_pMeshContainer.get(); c; c = c->m_pNext.get()) {
            if constexpr (std::is_void_v<std::invoke_result_t<Fn&, MeshFrame*, MeshContainer*>>) {
                fn(frame, c);
            } else if (!fn(frame, c)) {
                return false;
            }
        }
        if (!ForEachContainer(frame->m_pChild.get(), fn)) return false;
    }
    return true;
}

class SkinnedModel {
public:
    static constexpr float kTicksPerSecond = 4800.0f;
    static constexpr int kLoopBoundSamples = 100;

    SkinnedModel() = default;
    ~SkinnedModel() = default;
    SkinnedModel(const SkinnedModel&) = delete;
    SkinnedModel& operator=(const SkinnedModel&) = delete;

    // What LoadMeshHierarchy reads: the model resource `name`, its meshes and
    // textures made on `device` (null: meshes in system memory, no
    // textures), progress lines to `log` (the start-up log; may be null).
    void SetSource(const char* name, IDirect3DDevice8* device, ErrLog* log);
    // Tools and tests: the next LoadMeshHierarchy reads these bytes (an X
    // file that lives as long as the call) instead of the resource.
    void SetSourceData(const void* data, std::size_t size);
    // Loads the model and puts its element at the head of the list. Logs
    // "SkinnedMesh Loading Failed...%d\n" on failure, leaving the list and
    // the loop length as they were.
    HRESULT LoadMeshHierarchy();
    // Takes back the element the last LoadMeshHierarchy added (its tracks no
    // longer count toward the loop length) and logs the failure line with
    // `status`: for an owner whose own loading step on the new meshes failed.
    void RejectNewest(HRESULT status);
    // Frees every element; the clock starts its segment afresh.
    void Unload();
    // Poses the model through its loop and keeps the box of every skinned
    // vertex (GetLoopBounds). Once after loading.
    void ComputeLoopBounds();

    // Advances the clock of every element by elapsedSeconds x 4800 ticks
    // within segment `segment` (1-based) of `segmentCount` equal parts of
    // the animation, and poses every animated frame. Segment or count 0:
    // nothing moves. Returns 0.
    HRESULT FrameMove(DWORD segment, DWORD segmentCount, float elapsedSeconds);
    // Sets the clock of every element to `ticks` (clamped to 0 and above)
    // and poses the frames, as FrameMove does, without advancing it.
    void SetCurrentTime(float ticks);
    // Recomputes the combined matrices of a subtree.
    static HRESULT UpdateFrames(MeshFrame* frame, const D3DXMATRIX& parent);
    // Depth first, child before sibling; exact names. Null when not found.
    static MeshFrame* FindFrame(MeshFrame* frame, const char* name);

    DrawElement* GetDrawElements() const { return m_pDrawElements.get(); }
    float GetAnimLength() const { return m_fAnimLength; }
    float GetCurrentTime() const { return m_pDrawElements ? m_pDrawElements->m_fCurTime : 0.0f; }
    DWORD GetPoseSerial() const { return m_dwPoseSerial; }  // advances with every new pose, never 0
    const char* GetName() const { return m_szName; }
    // The largest bone count of the skinned meshes (0: none skinned).
    DWORD CountBones() const;
    // The model-space box that holds every skinned vertex in every pose of
    // the loop (the raised flukes included), found by posing the model at
    // kLoopBoundSamples even steps of the loop. False when nothing skinned
    // loaded.
    bool GetLoopBounds(D3DXVECTOR3* lo, D3DXVECTOR3* hi) const;

private:
    HRESULT LoadFrames(IDirectXFileData* object, DrawElement* element, DWORD options, MeshFrame* parent);
    HRESULT LoadMesh(IDirectXFileData* object, DWORD options, MeshFrame* frame);
    HRESULT SortUnskinned(MeshContainer* container, ID3DXMesh* original, DWORD numMaterials);
    HRESULT LoadMaterials(MeshContainer* container, ID3DXBuffer* materials, DWORD numMaterials);
    HRESULT LoadAnimationSet(IDirectXFileData* object, DrawElement* element, DWORD options, MeshFrame* parent);
    HRESULT LoadAnimation(IDirectXFileData* object, DrawElement* element, DWORD options, MeshFrame* parent);
    HRESULT LoadAnimationKey(IDirectXFileData* object, MeshFrame* frame);
    void FindBones(MeshFrame* frame, DrawElement* element);
    void PoseElement(DrawElement* element);
    void LogLoadFailure(HRESULT status);

    IDirect3DDevice8* m_pDevice = nullptr;  // meshes and textures are made on it (not owned)
    char m_szName[260] = {};
    std::unique_ptr<DrawElement> m_pDrawElements;
    float m_fAnimLength = 0.0f;  // ticks: the largest last-key time of any track
    float m_fLengthBeforeLoad = 0.0f;  // m_fAnimLength before the last load (RejectNewest)
    int m_bSegmentDirty = 1;
    float m_fSegmentLength = 0.0f, m_fSegmentStart = 0.0f, m_fSegmentEnd = 0.0f;
    DWORD m_dwPoseSerial = 1;  // advanced by every new pose (FrameMove, SetCurrentTime)
    D3DXVECTOR3 m_vLoopMin{0.0f, 0.0f, 0.0f}, m_vLoopMax{0.0f, 0.0f, 0.0f};  // see GetLoopBounds
    bool m_bLoopBounds = false;

    ErrLog* m_pLog = nullptr;
    const void* m_pSourceData = nullptr;
    std::size_t m_nSourceSize = 0;
};
