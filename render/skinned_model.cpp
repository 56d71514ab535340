// SkinnedModel: the frame tree, the loader of frames, meshes and animation
// tracks, bone binding, the animation clock and key sampling, the
// frame-matrix update and the loop's box. Nothing here draws.
#include "render/skinned_model.h"

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "core/errlog.h"
#include "platform/base/alloc.h"
#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_resource.h"
#include "platform/os/resource.h"
#include "platform/xfile/xfile_walk.h"

namespace {

bool IsType(IDirectXFileData* object, const GUID& type) {
    const GUID* t = nullptr;
    return SUCCEEDED(object->GetType(&t)) && t && *t == type;
}

// The object's name, or an empty string when it has none (or a longer one
// than any frame name the reader allows).
void ReadName(IDirectXFileObject* object, char (&name)[256]) {
    DWORD size = sizeof name;
    name[0] = '\0';
    if (FAILED(object->GetName(name, &size))) name[0] = '\0';
}

// A new frame added under `parent` (MeshFrame::AddFrame), named as `named`
// (null: unnamed), with the animation-frame flag given; null when out of
// memory.
MeshFrame* AddChildFrame(MeshFrame* parent, IDirectXFileObject* named, BYTE animationFrame) {
    std::unique_ptr<MeshFrame> owned = NewUnique<MeshFrame>();
    if (!owned) return nullptr;
    MeshFrame* frame = owned.get();
    frame->m_bAnimationFrame = animationFrame;
    if (named) {
        char name[256];
        ReadName(named, name);
        frame->m_szName = name;
    }
    parent->AddFrame(std::move(owned));
    return frame;
}

// A frame's track of `count` keys, key k made by make(k). A frame has one
// track of each type: a second fails with E_INVALIDARG.
template <class Key, class Make>
HRESULT StoreTrack(std::unique_ptr<Key[]>* keys, DWORD* num, DWORD count, Make make) {
    if (*keys) return E_INVALIDARG;
    *keys = NewUniqueArray<Key>(count);
    if (!*keys) return E_OUTOFMEMORY;
    *num = count;
    for (DWORD k = 0; k < count; ++k) (*keys)[k] = make(k);
    return S_OK;
}

// Where T falls in a track: fold into the track's own length, then the first
// key later than that time. A track whose last key is at 0 folds to NaN and
// finds no key: key 0 with f = 0, a constant pose.
template <class Key>
void Locate(const Key* keys, DWORD count, float T, DWORD* i1, DWORD* i2, float* f) {
    const float t = std::fmod(T, static_cast<float>(keys[count - 1].dwTime));
    *i1 = 0;
    *i2 = 0;
    for (DWORD k = 0; k < count; ++k) {
        if (static_cast<float>(keys[k].dwTime) > t) {
            *i2 = k;
            *i1 = k > 0 ? k - 1 : 0;
            break;
        }
    }
    const float t1 = static_cast<float>(keys[*i1].dwTime);
    const float t2 = static_cast<float>(keys[*i2].dwTime);
    *f = t1 == t2 ? 0.0f : (t - t1) / (t2 - t1);
}

}  // namespace

// --- the tree --------------------------------------------------------------

MeshFrame::MeshFrame() {
    D3DXMatrixIdentity(&m_matRot);
    D3DXMatrixIdentity(&m_matTrans);
    D3DXMatrixIdentity(&m_matRotOrig);
    D3DXMatrixIdentity(&m_matCombined);
}

MeshFrame::~MeshFrame() {
    // Siblings iteratively: a long chain must not recurse once per sibling.
    std::unique_ptr<MeshFrame> next = std::move(m_pSibling);
    while (next) next = std::move(next->m_pSibling);
}

void MeshFrame::AddFrame(std::unique_ptr<MeshFrame> child) {
    if (!m_pChild) {
        m_pChild = std::move(child);
    } else {
        child->m_pSibling = std::move(m_pChild->m_pSibling);
        m_pChild->m_pSibling = std::move(child);
    }
}

void MeshFrame::SetTime(float T) {
    if (!m_pAnimationFrame) return;
    DWORD i1 = 0, i2 = 0;
    float f = 0.0f;
    if (m_pMatrixKeys) {
        Locate(m_pMatrixKeys.get(), m_dwNumMatrixKeys, T, &i1, &i2, &f);
        m_pAnimationFrame->m_matRot = f > 0.5f ? m_pMatrixKeys[i2].mat : m_pMatrixKeys[i1].mat;
        return;
    }
    if (!m_pScaleKeys && !m_pRotateKeys && !m_pPositionKeys) return;

    // Scale x Rotation x Translation.
    D3DXMATRIX result, step;
    D3DXMatrixIdentity(&result);
    if (m_pScaleKeys) {
        Locate(m_pScaleKeys.get(), m_dwNumScaleKeys, T, &i1, &i2, &f);
        const D3DXVECTOR3& a = m_pScaleKeys[i1].vScale;
        const D3DXVECTOR3& b = m_pScaleKeys[i2].vScale;
        D3DXMatrixScaling(&step, a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f);
        D3DXMatrixMultiply(&result, &result, &step);
    }
    if (m_pRotateKeys) {
        Locate(m_pRotateKeys.get(), m_dwNumRotateKeys, T, &i1, &i2, &f);
        // The neighbours wrap around the ends, as in a closed loop. A track
        // whose last key repeats its first is closed at that key: across the
        // seam the neighbours are the keys on either side of it (n - 2 and 1),
        // not the repeated key itself, so the turn keeps its speed there.
        const DWORD n = m_dwNumRotateKeys;
        const RotateKey* keys = m_pRotateKeys.get();
        const bool closed = n >= 3 && std::memcmp(&keys[0].quatRotate, &keys[n - 1].quatRotate, sizeof(D3DXQUATERNION)) == 0;
        const DWORD i0 = i1 > 0 ? i1 - 1 : closed ? n - 2 : n - 1;
        const DWORD i3 = i2 + 1 < n ? i2 + 1 : closed ? 1 : i2 + 1 - n;
        D3DXQUATERNION a, b, c, q;
        D3DXQuaternionSquadSetup(&a, &b, &c, &m_pRotateKeys[i0].quatRotate, &m_pRotateKeys[i1].quatRotate,
                                 &m_pRotateKeys[i2].quatRotate, &m_pRotateKeys[i3].quatRotate);
        D3DXQuaternionSquad(&q, &m_pRotateKeys[i1].quatRotate, &a, &b, &c, f);
        // Keys are stored as the file's conjugate rotations: negating w turns
        // them into the rotation that D3DXMatrixRotationQuaternion applies.
        q.w = -q.w;
        D3DXMatrixRotationQuaternion(&step, &q);
        D3DXMatrixMultiply(&result, &result, &step);
    }
    if (m_pPositionKeys) {
        Locate(m_pPositionKeys.get(), m_dwNumPositionKeys, T, &i1, &i2, &f);
        const D3DXVECTOR3& a = m_pPositionKeys[i1].vPos;
        const D3DXVECTOR3& b = m_pPositionKeys[i2].vPos;
        D3DXMatrixTranslation(&step, a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f);
    } else {
        const D3DXMATRIX& orig = m_pAnimationFrame->m_matRotOrig;
        D3DXMatrixTranslation(&step, orig._41, orig._42, orig._43);
    }
    D3DXMatrixMultiply(&result, &result, &step);
    m_pAnimationFrame->m_matRot = result;
}

DrawElement::DrawElement() : m_pRootFrame(NewUnique<MeshFrame>()) {}

DrawElement::~DrawElement() {
    // The list after this element, iteratively.
    std::unique_ptr<DrawElement> next = std::move(m_pNext);
    while (next) next = std::move(next->m_pNext);
}

// --- loading ----------------------------------------------------------------

void SkinnedModel::SetSource(const char* name, IDirect3DDevice8* device, ErrLog* log) {
    std::strncpy(m_szName, name ? name : "", sizeof m_szName - 1);
    m_szName[sizeof m_szName - 1] = '\0';
    m_pDevice = device;
    m_pLog = log;
}

void SkinnedModel::SetSourceData(const void* data, std::size_t size) {
    m_pSourceData = data;
    m_nSourceSize = size;
}

HRESULT SkinnedModel::LoadMeshHierarchy() {
    m_fLengthBeforeLoad = m_fAnimLength;
    std::unique_ptr<DrawElement> element;
    ComPtr<IDirectXFile> file;
    ComPtr<IDirectXFileEnumObject> enumObject;
    HRESULT hr = S_OK;

    if (!m_pSourceData && std::strlen(m_szName) <= 1) {
        hr = E_FAIL;
    } else if (!(element = NewUnique<DrawElement>()) || !element->m_pRootFrame) {
        hr = E_OUTOFMEMORY;
    } else if (FAILED(DirectXFileCreate(file.Out())) ||
               FAILED(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) {
        hr = E_FAIL;
    } else {
        hr = ObjectStep(m_pLog, "\t\tCreateEnumObject...\n", "\t\tFailed\n", [&] {  // fixed log texts
            const void* data = m_pSourceData;
            std::size_t size = m_nSourceSize;
            if (!data) {
                const ResourceData resource = FindResourceData(m_szName, "Model");
                data = resource.data;
                size = resource.size;
            }
            return data ? file->CreateEnumObject(data, static_cast<DWORD>(size), enumObject.Out()) : DXFILEERR_NOTFOUND;
        });
        if (FAILED(hr)) enumObject.Reset();
    }
    if (SUCCEEDED(hr)) {
        ComPtr<IDirectXFileData> object;
        while (SUCCEEDED(enumObject->GetNextDataObject(object.Out()))) {
            hr = LoadFrames(object, element.get(), 0, element->m_pRootFrame.get());
            if (FAILED(hr)) break;
        }
    }
    enumObject.Reset();
    file.Reset();
    if (SUCCEEDED(hr)) {
        FindBones(element->m_pRootFrame.get(), element.get());
        element->m_szName = m_szName;
        element->m_fCurTime = 0.0f;
        element->m_pNext = std::move(m_pDrawElements);
        m_pDrawElements = std::move(element);
        return S_OK;
    }
    element.reset();
    m_fAnimLength = m_fLengthBeforeLoad;  // tracks of a failed load do not count
    LogLoadFailure(hr);
    return hr;
}

void SkinnedModel::RejectNewest(HRESULT status) {
    if (m_pDrawElements) m_pDrawElements = std::move(m_pDrawElements->m_pNext);
    m_fAnimLength = m_fLengthBeforeLoad;
    LogLoadFailure(status);
}

void SkinnedModel::LogLoadFailure(HRESULT status) {
    char line[64];
    std::snprintf(line, sizeof line, "SkinnedMesh Loading Failed...%d\n", static_cast<int>(status));  // fixed log text
    LogLine(m_pLog, line);
}

void SkinnedModel::Unload() {
    m_pDrawElements.reset();
    m_fAnimLength = 0.0f;
    m_bSegmentDirty = 1;
}

HRESULT SkinnedModel::LoadFrames(IDirectXFileData* object, DrawElement* element, DWORD options, MeshFrame* parent) {
    const GUID* type = nullptr;
    if (FAILED(object->GetType(&type)) || !type) return S_OK;
    if (*type == TID_D3DRMMesh) return LoadMesh(object, options, parent);
    if (*type == TID_D3DRMFrameTransformMatrix) {
        DWORD size = 0;
        void* data = nullptr;
        if (SUCCEEDED(object->GetData(nullptr, &size, &data)) && data && size >= sizeof(D3DXMATRIX)) {
            std::memcpy(&parent->m_matRot, data, sizeof(D3DXMATRIX));
            parent->m_matRotOrig = parent->m_matRot;
        }
        return S_OK;
    }
    if (*type == TID_D3DRMAnimationSet) {
        LoadAnimationSet(object, element, options, parent);  // errors inside do not stop loading
        return S_OK;
    }
    if (*type == TID_D3DRMAnimation) {
        LoadAnimation(object, element, options, parent);
        return S_OK;
    }
    if (!(*type == TID_D3DRMFrame)) return S_OK;

    MeshFrame* frame = AddChildFrame(parent, object, 0);
    if (!frame) return E_OUTOFMEMORY;
    return ForEachXFileChild(object, [&](const XFileChild& child) {
        return child.data ? LoadFrames(child.data, element, options, frame) : S_OK;
    });
}

HRESULT SkinnedModel::LoadMesh(IDirectXFileData* object, DWORD options, MeshFrame* frame) {
    std::unique_ptr<MeshContainer> container = NewUnique<MeshContainer>();
    if (!container) return E_OUTOFMEMORY;
    char name[256];
    ReadName(object, name);
    container->m_szName = name;

    ComPtr<ID3DXBuffer> adjacency;
    ComPtr<ID3DXBuffer> materials;
    DWORD numMaterials = 0;
    HRESULT hr = D3DXLoadSkinMeshFromXof(object, options, m_pDevice, adjacency.Out(), materials.Out(), &numMaterials,
                                         container->m_pBoneNamesBuf.Out(), container->m_pBoneOffsetBuf.Out(),
                                         container->m_pSkinMesh.Out());
    if (hr == D3DXERR_LOADEDMESHHASNODATA) return S_OK;
    if (FAILED(hr)) return hr;

    ComPtr<ID3DXMesh> original;
    container->m_pSkinMesh->GetOriginalMesh(original.Out());
    const DWORD numFaces = original->GetNumFaces();
    container->m_pAdjacency = NewUniqueArray<DWORD>(std::size_t{numFaces} * 3);
    if (container->m_pAdjacency && adjacency) {
        std::memcpy(container->m_pAdjacency.get(), adjacency->GetBufferPointer(), std::size_t{numFaces} * 12);
    }
    adjacency.Reset();
    if (!container->m_pAdjacency) hr = E_OUTOFMEMORY;

    if (SUCCEEDED(hr) && container->m_pSkinMesh->GetNumBones() > 0) {
        // Skinned: the drawing builds the blended mesh from the skin mesh.
        const DWORD bones = container->m_pSkinMesh->GetNumBones();
        container->m_ppBoneMatrix = NewUniqueArray<const D3DXMATRIX*>(bones);
        container->m_pBoneOffsetMat = static_cast<D3DXMATRIX*>(container->m_pBoneOffsetBuf->GetBufferPointer());
        if (!container->m_ppBoneMatrix) hr = E_OUTOFMEMORY;
    } else if (SUCCEEDED(hr)) {
        hr = SortUnskinned(container.get(), original, numMaterials);
    }
    original.Reset();
    if (SUCCEEDED(hr)) hr = LoadMaterials(container.get(), materials, numMaterials);
    if (FAILED(hr)) return hr;
    container->m_pNext = std::move(frame->m_pMeshContainer);
    frame->m_pMeshContainer = std::move(container);
    return S_OK;
}

// Unskinned: drawn subset by subset from device buffers sorted by attribute
// (the fixed-function path of the device). The skin mesh is let go.
HRESULT SkinnedModel::SortUnskinned(MeshContainer* container, ID3DXMesh* original, DWORD numMaterials) {
    container->m_pSkinMesh.Reset();
    container->m_dwAttribGroups = numMaterials;
    ID3DXMesh* sorted = nullptr;
    const HRESULT hr =
        original->Optimize(D3DXMESHOPT_ATTRSORT | D3DXMESH_MANAGED, nullptr, nullptr, nullptr, nullptr, &sorted);
    if (FAILED(hr)) return hr;
    container->m_pMesh.Reset(sorted);
    sorted->GetAttributeTable(nullptr, &container->m_dwAttribTableSize);
    container->m_pAttribTable = NewUniqueArray<D3DXATTRIBUTERANGE>(container->m_dwAttribTableSize + 1);
    if (!container->m_pAttribTable) return E_OUTOFMEMORY;
    sorted->GetAttributeTable(container->m_pAttribTable.get(), &container->m_dwAttribTableSize);
    return S_OK;
}

// The file's materials with ambient = diffuse and their textures (one that
// fails to load is logged and left out); without any, one white material.
HRESULT SkinnedModel::LoadMaterials(MeshContainer* container, ID3DXBuffer* materials, DWORD numMaterials) {
    const DWORD count = materials && numMaterials > 0 ? numMaterials : 1;
    container->m_pMaterials = NewUniqueArray<D3DMATERIAL8>(count);
    container->m_ppTextures = NewUniqueArray<ComPtr<IDirect3DTexture8>>(count);
    if (!container->m_pMaterials || !container->m_ppTextures) return E_OUTOFMEMORY;
    container->m_dwMaterials = count;
    if (!materials || numMaterials == 0) {
        D3DMATERIAL8& m = container->m_pMaterials[0];
        m.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        m.Specular = m.Diffuse;
        return S_OK;
    }
    const auto* list = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    for (DWORD i = 0; i < count; ++i) {
        container->m_pMaterials[i] = list[i].MatD3D;
        container->m_pMaterials[i].Ambient = container->m_pMaterials[i].Diffuse;
        if (!list[i].pTextureFilename) continue;
        ObjectStep(m_pLog, "\t\tD3DXCreateTextureFromResource...\n", "\t\tFailed\n", [&] {  // fixed log texts
            return D3DXCreateTextureFromResourceA(m_pDevice, list[i].pTextureFilename,
                                                  container->m_ppTextures[i].Out());
        });
    }
    return S_OK;
}

HRESULT SkinnedModel::LoadAnimationSet(IDirectXFileData* object, DrawElement* element, DWORD options,
                                      MeshFrame* parent) {
    MeshFrame* frame = AddChildFrame(parent, object, 1);
    if (!frame) return E_OUTOFMEMORY;
    return ForEachXFileChild(object, [&](const XFileChild& child) {
        return child.data && IsType(child.data, TID_D3DRMAnimation) ? LoadAnimation(child.data, element, options, frame)
                                                                     : S_OK;
    });
}

HRESULT SkinnedModel::LoadAnimation(IDirectXFileData* object, DrawElement* element, DWORD options,
                                   MeshFrame* parent) {
    MeshFrame* frame = AddChildFrame(parent, nullptr, 1);
    if (!frame) return E_OUTOFMEMORY;
    frame->m_pNextAnimation = element->m_pAnimationFrames;
    element->m_pAnimationFrames = frame;

    return ForEachXFileChild(object, [&](const XFileChild& child) -> HRESULT {
        IDirectXFileData* data = child.data;
        if (child.reference) {
            // The frame these tracks drive: exactly one, named, and present.
            const ComPtr<IDirectXFileData> target = child.Target();
            if (!target || !IsType(target, TID_D3DRMFrame)) return S_OK;
            char name[256];
            ReadName(target, name);
            MeshFrame* found = name[0] ? FindFrame(element->m_pRootFrame.get(), name) : nullptr;
            if (!name[0] || frame->m_pAnimationFrame || !found) return E_INVALIDARG;
            frame->m_pAnimationFrame = found;
            return S_OK;
        }
        if (IsType(data, TID_D3DRMFrame)) return LoadFrames(data, element, options, frame);
        if (IsType(data, TID_D3DRMAnimationKey)) return LoadAnimationKey(data, frame);
        return S_OK;
    });
}

// key type, key count, then per key: time, value count, values. Keys are
// read at the fixed stride of their type; a key whose value count differs
// from it, or data too short for the count, is refused rather than read
// across into the next key.
HRESULT SkinnedModel::LoadAnimationKey(IDirectXFileData* object, MeshFrame* frame) {
    DWORD size = 0;
    void* raw = nullptr;
    if (FAILED(object->GetData(nullptr, &size, &raw)) || !raw || size < 8) return E_INVALIDARG;
    const auto* words = static_cast<const DWORD*>(raw);  // the reader's data is 8-byte aligned
    const DWORD type = words[0];
    const DWORD count = words[1];
    DWORD values = 0;
    switch (type) {
        case 0: values = 4; break;
        case 1:
        case 2: values = 3; break;
        case 4: values = 16; break;
        default: return E_INVALIDARG;
    }
    const DWORD stride = values + 2;
    if (count == 0 || count > (size / 4 - 2) / stride) return E_INVALIDARG;
    for (DWORD k = 0; k < count; ++k) {
        if (words[2 + k * stride + 1] != values) return E_INVALIDARG;
    }
    auto time = [&](DWORD k) { return words[2 + k * stride]; };
    auto value = [&](DWORD k, DWORD i) {
        float v;
        std::memcpy(&v, &words[2 + k * stride + 2 + i], 4);
        return v;
    };
    const auto vector = [&](DWORD k) { return D3DXVECTOR3(value(k, 0), value(k, 1), value(k, 2)); };
    HRESULT hr;
    switch (type) {
        case 0:
            hr = StoreTrack(&frame->m_pRotateKeys, &frame->m_dwNumRotateKeys, count, [&](DWORD k) {
                // The file writes w, x, y, z.
                return RotateKey{time(k), D3DXQUATERNION(value(k, 1), value(k, 2), value(k, 3), value(k, 0))};
            });
            break;
        case 1:
            hr = StoreTrack(&frame->m_pScaleKeys, &frame->m_dwNumScaleKeys, count,
                            [&](DWORD k) { return ScaleKey{time(k), vector(k)}; });
            break;
        case 2:
            hr = StoreTrack(&frame->m_pPositionKeys, &frame->m_dwNumPositionKeys, count,
                            [&](DWORD k) { return PositionKey{time(k), vector(k)}; });
            break;
        default:
            hr = StoreTrack(&frame->m_pMatrixKeys, &frame->m_dwNumMatrixKeys, count, [&](DWORD k) {
                MatrixKey key;
                key.dwTime = time(k);
                std::memcpy(&key.mat, &words[2 + k * stride + 2], sizeof(D3DXMATRIX));
                return key;
            });
            break;
    }
    if (FAILED(hr)) return hr;
    const float last = static_cast<float>(time(count - 1));
    if (last > m_fAnimLength) m_fAnimLength = last;
    return S_OK;
}

MeshFrame* SkinnedModel::FindFrame(MeshFrame* frame, const char* name) {
    for (; frame; frame = frame->m_pSibling.get()) {
        if (!frame->m_szName.empty() && frame->m_szName == name) return frame;
        if (MeshFrame* found = FindFrame(frame->m_pChild.get(), name)) return found;
    }
    return nullptr;
}

void SkinnedModel::FindBones(MeshFrame* frame, DrawElement* element) {
    ForEachContainer(frame, [&](MeshFrame* holder, MeshContainer* c) {
        if (!c->m_pSkinMesh) return;
        const auto* names = static_cast<const char* const*>(c->m_pBoneNamesBuf->GetBufferPointer());
        for (DWORD i = 0; i < c->m_pSkinMesh->GetNumBones(); ++i) {
            MeshFrame* bone = names[i][0] ? FindFrame(element->m_pRootFrame.get(), names[i]) : nullptr;
            if (bone) {
                c->m_ppBoneMatrix[i] = &bone->m_matCombined;
            } else {
                // No frame of that name (or the weightless vertices' bone):
                // ride on the mesh's own frame, unposed.
                c->m_ppBoneMatrix[i] = &holder->m_matCombined;
                D3DXMatrixIdentity(&c->m_pBoneOffsetMat[i]);
            }
        }
    });
}

// --- the clock ---------------------------------------------------------------

void SkinnedModel::PoseElement(DrawElement* element) {
    for (MeshFrame* f = element->m_pAnimationFrames; f; f = f->m_pNextAnimation) f->SetTime(element->m_fCurTime);
    if (++m_dwPoseSerial == 0) m_dwPoseSerial = 1;  // 0 means "no pose" to the posed buffers
}

HRESULT SkinnedModel::FrameMove(DWORD segment, DWORD segmentCount, float elapsedSeconds) {
    for (DrawElement* e = m_pDrawElements.get(); e; e = e->m_pNext.get()) {
        if (m_bSegmentDirty == 1) {
            if (segment == 0 || segmentCount == 0) return 0;
            m_fSegmentLength = m_fAnimLength / static_cast<float>(segmentCount);
            m_fSegmentStart = static_cast<float>(segment - 1) * m_fSegmentLength;
            m_fSegmentEnd = static_cast<float>(segment) * m_fSegmentLength;
            m_bSegmentDirty = 0;
        }
        e->m_fCurTime += elapsedSeconds * kTicksPerSecond;
        if (e->m_fCurTime > m_fSegmentEnd) {
            e->m_fCurTime = m_fSegmentStart;
            m_bSegmentDirty = 1;
        }
        if (e->m_fCurTime < m_fSegmentStart) e->m_fCurTime = m_fSegmentStart;
        PoseElement(e);
    }
    return 0;
}

void SkinnedModel::SetCurrentTime(float ticks) {
    for (DrawElement* e = m_pDrawElements.get(); e; e = e->m_pNext.get()) {
        e->m_fCurTime = ticks > 0.0f ? ticks : 0.0f;
        PoseElement(e);
    }
}

bool SkinnedModel::GetLoopBounds(D3DXVECTOR3* lo, D3DXVECTOR3* hi) const {
    if (!m_bLoopBounds) return false;
    *lo = m_vLoopMin;
    *hi = m_vLoopMax;
    return true;
}

namespace {

// One skinned container's bind positions and bone influences, read once for
// the loop box.
// The bind-pose box of the vertices each bone of a skinned container moves
// (weight above 0): a posed vertex is a weighted mean of its bones' moves of
// it, so it lies in the box of those bones' moved boxes.
struct BoneBoxes {
    MeshContainer* container;
    std::vector<D3DXVECTOR3> lo, hi;  // per bone; lo.x > hi.x: the bone moves no vertex
};

void GatherBoneBoxes(MeshFrame* frame, std::vector<BoneBoxes>* out) {
    ForEachContainer(frame, [&](MeshFrame*, MeshContainer* c) {
        if (!c->m_pSkinMesh || !c->m_pBoneOffsetMat || !c->m_ppBoneMatrix) return;
        ComPtr<ID3DXMesh> mesh;
        if (FAILED(c->m_pSkinMesh->GetOriginalMesh(mesh.Out())) || !mesh) return;
        const DWORD n = mesh->GetNumVertices();
        BYTE* v = nullptr;
        if (n == 0 || FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &v))) return;
        const DWORD bones = c->m_pSkinMesh->GetNumBones();
        BoneBoxes boxes{c, std::vector<D3DXVECTOR3>(bones, D3DXVECTOR3(1e30f, 1e30f, 1e30f)),
                        std::vector<D3DXVECTOR3>(bones, D3DXVECTOR3(-1e30f, -1e30f, -1e30f))};
        const UINT stride = D3DXGetFVFVertexSize(mesh->GetFVF());
        std::vector<DWORD> vertices;
        std::vector<float> weights;
        for (DWORD b = 0; b < bones; ++b) {
            const DWORD count = c->m_pSkinMesh->GetNumBoneInfluences(b);
            if (count == 0 || !c->m_ppBoneMatrix[b]) continue;
            vertices.resize(count);
            weights.resize(count);
            if (FAILED(c->m_pSkinMesh->GetBoneInfluence(b, vertices.data(), weights.data()))) continue;
            for (DWORD i = 0; i < count; ++i) {
                if (vertices[i] >= n || !(weights[i] > 0.0f)) continue;
                D3DXVECTOR3 p;
                std::memcpy(&p, v + std::size_t{vertices[i]} * stride, sizeof p);
                D3DXVECTOR3& lo = boxes.lo[b];
                D3DXVECTOR3& hi = boxes.hi[b];
                lo = D3DXVECTOR3(std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z));
                hi = D3DXVECTOR3(std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z));
            }
        }
        mesh->UnlockVertexBuffer();
        out->push_back(std::move(boxes));
    });
}

}  // namespace

void SkinnedModel::ComputeLoopBounds() {
    m_bLoopBounds = false;
    m_vLoopMin = D3DXVECTOR3(1e30f, 1e30f, 1e30f);
    m_vLoopMax = D3DXVECTOR3(-1e30f, -1e30f, -1e30f);
    std::vector<BoneBoxes> skins;
    for (DrawElement* e = m_pDrawElements.get(); e; e = e->m_pNext.get()) GatherBoneBoxes(e->m_pRootFrame.get(), &skins);
    if (skins.empty()) {
        m_vLoopMin = m_vLoopMax = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        return;
    }
    const float saved = GetCurrentTime();
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    const int samples = m_fAnimLength > 0.0f ? kLoopBoundSamples : 1;
    for (int k = 0; k < samples; ++k) {
        SetCurrentTime(m_fAnimLength * static_cast<float>(k) / static_cast<float>(samples));
        for (DrawElement* e = m_pDrawElements.get(); e; e = e->m_pNext.get()) {
            // Model space: the roots at identity (a draw puts the instance there).
            e->m_pRootFrame->m_matRot = identity;
            e->m_pRootFrame->m_matTrans = identity;
            UpdateFrames(e->m_pRootFrame.get(), identity);
        }
        // Each bone's box moved by its skinning matrix (offset x combined, an
        // affine map): the moved centre, and the half extents through the
        // matrix's absolute values.
        for (const BoneBoxes& s : skins) {
            MeshContainer* c = s.container;
            for (std::size_t b = 0; b < s.lo.size(); ++b) {
                if (s.lo[b].x > s.hi[b].x || !c->m_ppBoneMatrix[b]) continue;
                D3DXMATRIX m;
                D3DXMatrixMultiply(&m, &c->m_pBoneOffsetMat[b], c->m_ppBoneMatrix[b]);
                const D3DXVECTOR3 centre = (s.lo[b] + s.hi[b]) * 0.5f;
                const D3DXVECTOR3 half = (s.hi[b] - s.lo[b]) * 0.5f;
                D3DXVECTOR3 mid;
                D3DXVec3TransformCoord(&mid, &centre, &m);
                const auto reach = [&](int j) {
                    return half.x * std::fabs(m(0, j)) + half.y * std::fabs(m(1, j)) + half.z * std::fabs(m(2, j));
                };
                const D3DXVECTOR3 r(reach(0), reach(1), reach(2));
                m_vLoopMin = D3DXVECTOR3(std::fmin(m_vLoopMin.x, mid.x - r.x), std::fmin(m_vLoopMin.y, mid.y - r.y),
                                         std::fmin(m_vLoopMin.z, mid.z - r.z));
                m_vLoopMax = D3DXVECTOR3(std::fmax(m_vLoopMax.x, mid.x + r.x), std::fmax(m_vLoopMax.y, mid.y + r.y),
                                         std::fmax(m_vLoopMax.z, mid.z + r.z));
                m_bLoopBounds = true;
            }
        }
    }
    SetCurrentTime(saved);
    if (!m_bLoopBounds) m_vLoopMin = m_vLoopMax = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

HRESULT SkinnedModel::UpdateFrames(MeshFrame* frame, const D3DXMATRIX& parent) {
    for (; frame; frame = frame->m_pSibling.get()) {
        D3DXMATRIX m;
        D3DXMatrixMultiply(&m, &frame->m_matRot, &parent);
        D3DXMatrixMultiply(&frame->m_matCombined, &m, &frame->m_matTrans);
        UpdateFrames(frame->m_pChild.get(), frame->m_matCombined);
    }
    return S_OK;
}

DWORD SkinnedModel::CountBones() const {
    DWORD most = 0;
    for (DrawElement* e = m_pDrawElements.get(); e; e = e->m_pNext.get()) {
        ForEachContainer(e->m_pRootFrame.get(), [&](MeshFrame*, MeshContainer* c) {
            if (c->m_pSkinMesh && c->m_pSkinMesh->GetNumBones() > most) most = c->m_pSkinMesh->GetNumBones();
        });
    }
    return most;
}
