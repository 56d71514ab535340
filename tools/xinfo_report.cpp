// Builds the `xinfo` report: walks an X file's data objects the way the
// model loaders do (frames, meshes through D3DXLoadMeshFromXof, skin weights,
// animation sets and keys) and prints one fact per line.
#include "tools/xinfo_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_mesh.h"
#include "platform/xfile/xfile.h"
#include "platform/xfile/xfile_walk.h"

namespace {

struct FrameInfo {
    std::string name;
    std::string parent;  // "" at top level
    bool topLevel = true;
    float translation[3] = {0.0f, 0.0f, 0.0f};
};

struct BoneInfo {
    std::string name;
    DWORD weights = 0;
};

struct MaterialInfo {
    D3DMATERIAL8 material{};
    std::string texture;
    bool hasTexture = false;
};

struct MeshInfo {
    std::string name;
    std::string frame;  // enclosing frame, "" at top level
    bool topLevel = true;
    bool rawOk = false;
    DWORD fileVertices = 0, fileFaces = 0;
    HRESULT loadStatus = E_FAIL;
    DWORD vertices = 0, faces = 0, fvf = 0;
    D3DXVECTOR3 min{0.0f, 0.0f, 0.0f}, max{0.0f, 0.0f, 0.0f};
    std::vector<MaterialInfo> materials;
    std::vector<BoneInfo> bones;
    std::vector<DWORD> influences;  // bones per file vertex
    DWORD maxInfluences = 0;
};

struct AnimationInfo {
    std::string name;
    std::string frame;
    bool hasFrame = false;
    DWORD keys[5] = {0, 0, 0, 0, 0};  // rotation, scale, position, (3: unused), matrix
    DWORD otherKeys = 0;
};

struct AnimationSetInfo {
    std::string name;
    std::vector<AnimationInfo> animations;
};

struct Report {
    std::vector<FrameInfo> frames;
    std::vector<MeshInfo> meshes;
    std::vector<AnimationSetInfo> sets;
    std::vector<AnimationInfo> looseAnimations;
    DWORD animationLength = 0;
};

std::string NameOf(IDirectXFileObject* object) {
    char name[256] = {};
    DWORD size = sizeof name;
    if (FAILED(object->GetName(name, &size))) return {};
    return name;
}

const GUID* TypeOf(IDirectXFileData* object) {
    const GUID* type = nullptr;
    if (FAILED(object->GetType(&type))) return nullptr;
    return type;
}

// Reads packed members; every read is bounded by the data's size.
class Cursor {
public:
    explicit Cursor(IDirectXFileData* object) {
        DWORD size = 0;
        void* data = nullptr;
        if (SUCCEEDED(object->GetData(nullptr, &size, &data)) && data) {
            m_p = static_cast<const BYTE*>(data);
            m_left = size;
        }
    }
    bool Dword(DWORD* v) { return Take(v, 4); }
    bool Skip(std::size_t bytes) {
        if (bytes > m_left) return false;
        m_p += bytes;
        m_left -= bytes;
        return true;
    }
    bool Take(void* out, std::size_t bytes) {
        if (bytes > m_left) return false;
        if (bytes) std::memcpy(out, m_p, bytes);
        m_p += bytes;
        m_left -= bytes;
        return true;
    }
    std::size_t Left() const { return m_left; }

private:
    const BYTE* m_p = nullptr;
    std::size_t m_left = 0;
};

// Calls fn for every child data object (references are skipped).
template <class Fn>
void ForEachDataChild(IDirectXFileData* parent, Fn fn) {
    ForEachXFileChild(parent, [&](const XFileChild& child) {
        if (child.data) fn(child.data);
    });
}

// SkinWeights: transformNodeName (string), nWeights, vertexIndices[], weights[], matrixOffset.
void ReadSkinWeights(IDirectXFileData* object, MeshInfo* mesh) {
    Cursor in(object);
    const char* name = nullptr;
    DWORD count = 0;
    BoneInfo bone;
    if (in.Take(&name, sizeof name) && name) bone.name = name;
    if (in.Dword(&count) && count <= in.Left() / 4) {
        bone.weights = count;
        for (DWORD i = 0; i < count; ++i) {
            DWORD v = 0;
            in.Dword(&v);
            if (v < mesh->influences.size()) {
                mesh->maxInfluences = std::max(mesh->maxInfluences, ++mesh->influences[v]);
            }
        }
    }
    mesh->bones.push_back(std::move(bone));
}

void OnMeshChild(IDirectXFileData* child, void* context) {
    auto* mesh = static_cast<MeshInfo*>(context);
    const GUID* type = TypeOf(child);
    if (type && *type == DXFILEOBJ_SkinWeights) ReadSkinWeights(child, mesh);
}

void VisitMesh(IDirectXFileData* object, const FrameInfo* frame, Report* report) {
    MeshInfo mesh;
    mesh.name = NameOf(object);
    if (frame) {
        mesh.frame = frame->name;
        mesh.topLevel = false;
    }
    // Raw counts: nVertices, vertices, nFaces.
    Cursor in(object);
    if (in.Dword(&mesh.fileVertices) && mesh.fileVertices <= in.Left() / 12 && in.Skip(mesh.fileVertices * 12u) &&
        in.Dword(&mesh.fileFaces)) {
        mesh.rawOk = true;
        mesh.influences.assign(mesh.fileVertices, 0);
    }

    ComPtr<ID3DXMesh> loaded;
    ComPtr<ID3DXBuffer> materials;
    DWORD numMaterials = 0;
    mesh.loadStatus = D3DXLoadMeshFromXofEx(object, D3DXMESH_SYSTEMMEM, nullptr, nullptr, materials.Out(),
                                            &numMaterials, loaded.Out(), nullptr, OnMeshChild, &mesh);
    if (SUCCEEDED(mesh.loadStatus)) {
        mesh.vertices = loaded->GetNumVertices();
        mesh.faces = loaded->GetNumFaces();
        mesh.fvf = loaded->GetFVF();
        BYTE* vertices = nullptr;
        if (SUCCEEDED(loaded->LockVertexBuffer(D3DLOCK_READONLY, &vertices))) {
            D3DXComputeBoundingBox(reinterpret_cast<const D3DXVECTOR3*>(vertices), mesh.vertices, mesh.fvf, &mesh.min,
                                   &mesh.max);
            loaded->UnlockVertexBuffer();
        }
        const auto* entries = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
        for (DWORD i = 0; i < numMaterials; ++i) {
            MaterialInfo m;
            m.material = entries[i].MatD3D;
            if (entries[i].pTextureFilename) {
                m.texture = entries[i].pTextureFilename;
                m.hasTexture = true;
            }
            mesh.materials.push_back(std::move(m));
        }
    }
    report->meshes.push_back(std::move(mesh));
}

void ReadAnimationKey(IDirectXFileData* object, AnimationInfo* animation, Report* report) {
    Cursor in(object);
    DWORD type = 0, count = 0;
    if (!in.Dword(&type) || !in.Dword(&count)) return;
    if (type == 0 || type == 1 || type == 2 || type == 4) {
        animation->keys[type] += count;
    } else {
        animation->otherKeys += count;
    }
    // Each key: time, nValues, nValues floats.
    for (DWORD k = 0; k < count; ++k) {
        DWORD time = 0, values = 0;
        if (!in.Dword(&time) || !in.Dword(&values) || values > in.Left() / 4) return;
        in.Skip(std::size_t{values} * 4);
        report->animationLength = std::max(report->animationLength, time);
    }
}

void VisitFrame(IDirectXFileData* object, const FrameInfo* parent, Report* report);

AnimationInfo ReadAnimation(IDirectXFileData* object, Report* report) {
    AnimationInfo animation;
    animation.name = NameOf(object);
    ForEachXFileChild(object, [&](const XFileChild& child) {
        if (child.reference) {
            if (!animation.hasFrame) {
                animation.frame = NameOf(child.reference);
                animation.hasFrame = true;
            }
            return;
        }
        const GUID* type = TypeOf(child.data);
        if (type && *type == TID_D3DRMAnimationKey) {
            ReadAnimationKey(child.data, &animation, report);
        } else if (type && *type == TID_D3DRMFrame && !animation.hasFrame) {
            animation.frame = NameOf(child.data);
            animation.hasFrame = true;
            VisitFrame(child.data, nullptr, report);
        }
    });
    return animation;
}

void VisitAnimationSet(IDirectXFileData* object, Report* report) {
    AnimationSetInfo set;
    set.name = NameOf(object);
    ForEachDataChild(object, [&](IDirectXFileData* child) {
        const GUID* type = TypeOf(child);
        if (type && *type == TID_D3DRMAnimation) set.animations.push_back(ReadAnimation(child, report));
    });
    report->sets.push_back(std::move(set));
}

void VisitObject(IDirectXFileData* object, const FrameInfo* frame, Report* report) {
    const GUID* type = TypeOf(object);
    if (!type) return;
    if (*type == TID_D3DRMFrame) {
        VisitFrame(object, frame, report);
    } else if (*type == TID_D3DRMMesh) {
        VisitMesh(object, frame, report);
    } else if (*type == TID_D3DRMAnimationSet) {
        VisitAnimationSet(object, report);
    } else if (*type == TID_D3DRMAnimation) {
        report->looseAnimations.push_back(ReadAnimation(object, report));
    }
}

void VisitFrame(IDirectXFileData* object, const FrameInfo* parent, Report* report) {
    FrameInfo frame;
    frame.name = NameOf(object);
    if (parent) {
        frame.parent = parent->name;
        frame.topLevel = false;
    }
    const std::size_t slot = report->frames.size();
    report->frames.push_back(frame);
    ForEachDataChild(object, [&](IDirectXFileData* child) {
        const GUID* type = TypeOf(child);
        if (type && *type == TID_D3DRMFrameTransformMatrix) {
            float m[16];
            Cursor in(child);
            if (in.Take(m, sizeof m)) {
                for (int i = 0; i < 3; ++i) report->frames[slot].translation[i] = m[12 + i];
            }
        } else {
            VisitObject(child, &frame, report);
        }
    });
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

void Line(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Line(std::string* out, const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    *out += buffer;
    *out += '\n';
}

std::string FvfText(DWORD fvf) {
    std::string text;
    auto add = [&text](const char* part) {
        if (!text.empty()) text += '|';
        text += part;
    };
    if ((fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZ) add("xyz");
    if (fvf & D3DFVF_NORMAL) add("normal");
    if (fvf & D3DFVF_DIFFUSE) add("diffuse");
    const DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets) add(("tex" + std::to_string(sets)).c_str());
    return text;
}

void AnimationLine(std::string* out, const AnimationInfo& a) {
    const std::string frame = a.hasFrame ? Quoted(a.frame) : "-";
    std::string line = "animation " + Quoted(a.name) + ": frame " + frame + ", keys rotation " +
                       std::to_string(a.keys[0]) + ", scale " + std::to_string(a.keys[1]) + ", position " +
                       std::to_string(a.keys[2]) + ", matrix " + std::to_string(a.keys[4]);
    if (a.otherKeys) line += ", other " + std::to_string(a.otherKeys);
    *out += line + '\n';
}

std::string Format(const std::string& path, std::string_view header, const Report& r, std::string* error) {
    std::string out;
    out += "file: " + path + '\n';
    out += "format: " + std::string(header) + '\n';
    for (const FrameInfo& f : r.frames) {
        Line(&out, "frame %s: parent %s, translation (%.3f, %.3f, %.3f)", Quoted(f.name).c_str(),
             f.topLevel ? "-" : Quoted(f.parent).c_str(), f.translation[0], f.translation[1], f.translation[2]);
    }
    DWORD display = 0, dammy = 0;
    for (const MeshInfo& m : r.meshes) {
        const std::string name = "mesh " + Quoted(m.name);
        if (m.name.find("display") != std::string::npos) {
            ++display;
        } else if (m.name.find("dammy") != std::string::npos) {
            ++dammy;
        }
        Line(&out, "%s: frame %s, file vertices %u, file faces %u", name.c_str(),
             m.topLevel ? "-" : Quoted(m.frame).c_str(), m.fileVertices, m.fileFaces);
        if (FAILED(m.loadStatus)) {
            Line(&out, "%s: load failed 0x%08X", name.c_str(), static_cast<unsigned>(m.loadStatus));
            if (error->empty()) {
                char text[64];
                std::snprintf(text, sizeof text, "D3DXLoadMeshFromXof failed 0x%08X",
                              static_cast<unsigned>(m.loadStatus));
                *error = name + ": " + text;
            }
            continue;
        }
        Line(&out, "%s: vertices %u, faces %u, fvf %s", name.c_str(), m.vertices, m.faces, FvfText(m.fvf).c_str());
        Line(&out, "%s: extent x %.2f..%.2f, y %.2f..%.2f, z %.2f..%.2f", name.c_str(), m.min.x, m.max.x, m.min.y,
             m.max.y, m.min.z, m.max.z);
        Line(&out, "%s: materials %zu", name.c_str(), m.materials.size());
        for (std::size_t i = 0; i < m.materials.size(); ++i) {
            const D3DCOLORVALUE& d = m.materials[i].material.Diffuse;
            Line(&out, "%s: material %zu diffuse (%.3f, %.3f, %.3f, %.3f) power %.1f texture %s", name.c_str(), i, d.r,
                 d.g, d.b, d.a, m.materials[i].material.Power,
                 m.materials[i].hasTexture ? Quoted(m.materials[i].texture).c_str() : "-");
        }
        if (!m.bones.empty()) {
            Line(&out, "%s: bones %zu (max influences %u)", name.c_str(), m.bones.size(), m.maxInfluences);
            for (const BoneInfo& b : m.bones) Line(&out, "bone %s: weights %u", Quoted(b.name).c_str(), b.weights);
        }
    }
    Line(&out, "animation sets: %zu", r.sets.size());
    for (const AnimationSetInfo& s : r.sets) {
        Line(&out, "animation set %s: animations %zu", Quoted(s.name).c_str(), s.animations.size());
        for (const AnimationInfo& a : s.animations) AnimationLine(&out, a);
    }
    for (const AnimationInfo& a : r.looseAnimations) AnimationLine(&out, a);
    Line(&out, "animation length: %u ticks", r.animationLength);
    Line(&out, "meshes: %zu (display %u, dammy %u)", r.meshes.size(), display, dammy);
    return out;
}

}  // namespace

XInfoResult XInfoReport(const std::string& path, const void* data, std::size_t size) {
    XInfoResult result;
    if (size > 0xFFFFFFFFu) {
        result.error = "file too large";
        return result;
    }
    Report report;
    {
        // The reader and its enumerator live only while the file is walked.
        ComPtr<IDirectXFile> file;
        HRESULT hr = DirectXFileCreate(file.Out());
        if (FAILED(hr)) {
            result.error = "cannot create the X-file reader";
            return result;
        }
        ComPtr<IDirectXFileEnumObject> enumerator;
        hr = file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
        if (SUCCEEDED(hr)) hr = file->CreateEnumObject(data, static_cast<DWORD>(size), enumerator.Out());
        if (FAILED(hr)) {
            char code[32];
            std::snprintf(code, sizeof code, " (0x%08X)", static_cast<unsigned>(hr));
            result.error = std::string(file->GetLastErrorText()) + code;
            return result;
        }
        for (;;) {
            ComPtr<IDirectXFileData> object;
            if (FAILED(enumerator->GetNextDataObject(object.Out())) || !object) break;
            VisitObject(object, nullptr, &report);
        }
    }

    // The reader accepted the file, so it starts with a 16-byte header.
    const std::string_view header(static_cast<const char*>(data), std::min<std::size_t>(size, 16));
    result.report = Format(path, header, report, &result.error);
    result.ok = result.error.empty();
    return result;
}
