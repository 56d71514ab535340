// The X-file reader's COM-style objects over a parsed document, and the
// standard templates. Parsing itself is in xfile_parse.cpp.
#include "platform/xfile/xfile.h"

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/xfile/xfile_internal.h"

// Declarations follow the published X file templates.
const char D3DRM_XTEMPLATES[] = R"(xof 0303txt 0032
template Header {
 <3D82AB43-62DA-11cf-AB39-0020AF71E433>
 WORD major;
 WORD minor;
 DWORD flags;
}
template Vector {
 <3D82AB5E-62DA-11cf-AB39-0020AF71E433>
 FLOAT x;
 FLOAT y;
 FLOAT z;
}
template Coords2d {
 <F6F23F44-7686-11cf-8F52-0040333594A3>
 FLOAT u;
 FLOAT v;
}
template Matrix4x4 {
 <F6F23F45-7686-11cf-8F52-0040333594A3>
 array FLOAT matrix[16];
}
template ColorRGBA {
 <35FF44E0-6C7C-11cf-8F52-0040333594A3>
 FLOAT red;
 FLOAT green;
 FLOAT blue;
 FLOAT alpha;
}
template ColorRGB {
 <D3E16E81-7835-11cf-8F52-0040333594A3>
 FLOAT red;
 FLOAT green;
 FLOAT blue;
}
template IndexedColor {
 <1630B820-7842-11cf-8F52-0040333594A3>
 DWORD index;
 ColorRGBA indexColor;
}
template Material {
 <3D82AB4D-62DA-11cf-AB39-0020AF71E433>
 ColorRGBA faceColor;
 FLOAT power;
 ColorRGB specularColor;
 ColorRGB emissiveColor;
 [...]
}
template TextureFilename {
 <A42790E1-7810-11cf-8F52-0040333594A3>
 STRING filename;
}
template MeshFace {
 <3D82AB5F-62DA-11cf-AB39-0020AF71E433>
 DWORD nFaceVertexIndices;
 array DWORD faceVertexIndices[nFaceVertexIndices];
}
template MeshTextureCoords {
 <F6F23F40-7686-11cf-8F52-0040333594A3>
 DWORD nTextureCoords;
 array Coords2d textureCoords[nTextureCoords];
}
template MeshNormals {
 <F6F23F43-7686-11cf-8F52-0040333594A3>
 DWORD nNormals;
 array Vector normals[nNormals];
 DWORD nFaceNormals;
 array MeshFace faceNormals[nFaceNormals];
}
template MeshVertexColors {
 <1630B821-7842-11cf-8F52-0040333594A3>
 DWORD nVertexColors;
 array IndexedColor vertexColors[nVertexColors];
}
template MeshMaterialList {
 <F6F23F42-7686-11cf-8F52-0040333594A3>
 DWORD nMaterials;
 DWORD nFaceIndexes;
 array DWORD faceIndexes[nFaceIndexes];
 [Material <3D82AB4D-62DA-11cf-AB39-0020AF71E433>]
}
template Mesh {
 <3D82AB44-62DA-11cf-AB39-0020AF71E433>
 DWORD nVertices;
 array Vector vertices[nVertices];
 DWORD nFaces;
 array MeshFace faces[nFaces];
 [...]
}
template FrameTransformMatrix {
 <F6F23F41-7686-11cf-8F52-0040333594A3>
 Matrix4x4 frameMatrix;
}
template Frame {
 <3D82AB46-62DA-11cf-AB39-0020AF71E433>
 [...]
}
template FloatKeys {
 <10DD46A9-775B-11cf-8F52-0040333594A3>
 DWORD nValues;
 array FLOAT values[nValues];
}
template TimedFloatKeys {
 <F406B180-7B3B-11cf-8F52-0040333594A3>
 DWORD time;
 FloatKeys tfkeys;
}
template AnimationKey {
 <10DD46A8-775B-11cf-8F52-0040333594A3>
 DWORD keyType;
 DWORD nKeys;
 array TimedFloatKeys keys[nKeys];
}
template AnimationOptions {
 <E2BF56C0-840F-11cf-8F52-0040333594A3>
 DWORD openclosed;
 DWORD positionquality;
}
template Animation {
 <3D82AB4F-62DA-11cf-AB39-0020AF71E433>
 [...]
}
template AnimationSet {
 <3D82AB50-62DA-11cf-AB39-0020AF71E433>
 [Animation <3D82AB4F-62DA-11cf-AB39-0020AF71E433>]
}
template XSkinMeshHeader {
 <3CF169CE-FF7C-44ab-93C0-F78F62D172E2>
 WORD nMaxSkinWeightsPerVertex;
 WORD nMaxSkinWeightsPerFace;
 WORD nBones;
}
template VertexDuplicationIndices {
 <B8D65549-D7C9-4995-89CF-53A9A8B031E3>
 DWORD nIndices;
 DWORD nOriginalVertices;
 array DWORD indices[nIndices];
}
template AnimTicksPerSecond {
 <9E415A43-7BA6-4a73-8743-B73D47E88476>
 DWORD AnimTicksPerSecond;
}
template FVFData {
 <B6E70A0E-8EF9-4e83-94AD-ECC8B0C04897>
 DWORD dwFVF;
 DWORD nDWords;
 array DWORD data[nDWords];
}
template SkinWeights {
 <6F0D123B-BAD2-4167-A0D0-80224F25FABB>
 STRING transformNodeName;
 DWORD nWeights;
 array DWORD vertexIndices[nWeights];
 array FLOAT weights[nWeights];
 Matrix4x4 matrixOffset;
}
)";
const DWORD D3DRM_XTEMPLATE_BYTES = sizeof D3DRM_XTEMPLATES - 1;

namespace xfile {
namespace {

// What GetData hands out for a member of size 0: a valid pointer to nothing.
const std::uint64_t kEmptyData = 0;

HRESULT CopyName(const std::string& name, char* out, DWORD* size) {
    if (!size) return DXFILEERR_BADVALUE;
    if (name.empty()) {
        if (out && *size >= 1) out[0] = '\0';
        *size = 0;
        return DXFILE_OK;
    }
    const auto needed = static_cast<DWORD>(name.size() + 1);
    if (!out) {
        *size = needed;
        return DXFILE_OK;
    }
    if (*size < needed) {
        *size = needed;
        return DXFILEERR_BADVALUE;
    }
    std::memcpy(out, name.c_str(), needed);
    *size = needed;
    return DXFILE_OK;
}

HRESULT CopyId(const Node& node, GUID* id) {
    if (!id) return DXFILEERR_BADVALUE;
    *id = node.hasId ? node.id : GUID_NULL;
    return DXFILE_OK;
}

HRESULT NewData(Document* doc, std::uint32_t node, IDirectXFileData** out);

class FileData final : public RefCounted<IDirectXFileData> {
public:
    FileData(Document* doc, std::uint32_t node)
        : m_doc(ComPtr<Document>::Share(doc)), m_node(node), m_nextChild(doc->nodes[node].firstChild) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return DXFILEERR_BADVALUE;
        if (iid == IID_IDirectXFileData || iid == IID_IDirectXFileObject) {
            *object = static_cast<IDirectXFileData*>(this);
            AddRef();
            return DXFILE_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT GetName(char* name, DWORD* size) override { return CopyName(Self().name, name, size); }
    HRESULT GetId(GUID* id) override { return CopyId(Self(), id); }

    HRESULT GetData(const char* member, DWORD* size, void** data) override {
        if (!size || !data) return DXFILEERR_BADVALUE;
        const Node& node = Self();
        std::size_t begin = node.dataOffset;
        std::size_t end = node.dataOffset + node.dataSize;
        if (member) {
            const Template& templ = m_doc->templates.list[node.templ];
            std::size_t i = 0;
            while (i < templ.members.size() && templ.members[i].name != member) ++i;
            if (i == templ.members.size()) return DXFILEERR_NOTFOUND;
            begin = m_doc->memberOffsets[node.memberOffsets + i];
            end = m_doc->memberOffsets[node.memberOffsets + i + 1];
        }
        *size = static_cast<DWORD>(end - begin);
        *data = end > begin ? static_cast<void*>(m_doc->data.data() + begin)
                            : const_cast<void*>(static_cast<const void*>(&kEmptyData));
        return DXFILE_OK;
    }

    HRESULT GetType(const GUID** type) override {
        if (!type) return DXFILEERR_BADVALUE;
        *type = &m_doc->templates.list[Self().templ].id;
        return DXFILE_OK;
    }

    HRESULT GetNextObject(IDirectXFileObject** child) override;

private:
    const Node& Self() const { return m_doc->nodes[m_node]; }

    const ComPtr<Document> m_doc;
    const std::uint32_t m_node;
    std::uint32_t m_nextChild;
};

class FileReference final : public RefCounted<IDirectXFileDataReference> {
public:
    FileReference(Document* doc, std::uint32_t node) : m_doc(ComPtr<Document>::Share(doc)), m_node(node) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return DXFILEERR_BADVALUE;
        if (iid == IID_IDirectXFileDataReference || iid == IID_IDirectXFileObject) {
            *object = static_cast<IDirectXFileDataReference*>(this);
            AddRef();
            return DXFILE_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT GetName(char* name, DWORD* size) override { return CopyName(Self().name, name, size); }
    HRESULT GetId(GUID* id) override { return CopyId(Self(), id); }
    HRESULT Resolve(IDirectXFileData** data) override {
        if (!data) return DXFILEERR_BADVALUE;
        return NewData(m_doc, Self().target, data);
    }

private:
    const Node& Self() const { return m_doc->nodes[m_node]; }

    const ComPtr<Document> m_doc;
    const std::uint32_t m_node;
};

HRESULT NewData(Document* doc, std::uint32_t node, IDirectXFileData** out) {
    *out = new (std::nothrow) FileData(doc, node);
    return *out ? DXFILE_OK : DXFILEERR_BADALLOC;
}

HRESULT FileData::GetNextObject(IDirectXFileObject** child) {
    if (!child) return DXFILEERR_BADVALUE;
    *child = nullptr;
    if (m_nextChild == kNone) return DXFILEERR_NOMOREOBJECTS;
    const Node& node = m_doc->nodes[m_nextChild];
    if (node.isReference) {
        *child = new (std::nothrow) FileReference(m_doc, m_nextChild);
    } else {
        *child = new (std::nothrow) FileData(m_doc, m_nextChild);
    }
    if (!*child) return DXFILEERR_BADALLOC;
    m_nextChild = node.nextSibling;
    return DXFILE_OK;
}

class EnumObject final : public RefCounted<IDirectXFileEnumObject> {
public:
    explicit EnumObject(ComPtr<Document>&& doc) : m_doc(std::move(doc)), m_next(m_doc->firstTop) {}

    HRESULT GetNextDataObject(IDirectXFileData** data) override {
        if (!data) return DXFILEERR_BADVALUE;
        *data = nullptr;
        if (m_next == kNone) return DXFILEERR_NOMOREOBJECTS;
        if (HRESULT hr = NewData(m_doc, m_next, data); FAILED(hr)) return hr;
        m_next = m_doc->nodes[m_next].nextSibling;
        return DXFILE_OK;
    }

private:
    const ComPtr<Document> m_doc;
    std::uint32_t m_next;
};

// A fingerprint of bytes, continuing from `hash`: eight bytes a step (every
// open of a file fingerprints it, a few megabytes at start-up). Each step is
// a bijection of the hash for given bytes, so texts that differ in one place
// always differ in fingerprint.
std::uint64_t Fingerprint(const void* data, std::size_t size, std::uint64_t hash) {
    constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ull;
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        hash = (hash ^ word) * kOdd;
        hash ^= hash >> 32;
    }
    for (; i < size; ++i) hash = (hash ^ p[i]) * kOdd;
    return hash;
}
constexpr std::uint64_t kFingerprintStart = 14695981039346656037ull;

// The last document parsed, while it lives: loaders that walk a file twice
// (once to count, once to load) parse it once. A document's reference count
// is not atomic, so only the thread that parsed it reuses it; the bytes must
// be the same (address, size and fingerprint) and so must the templates.
struct LastParse {
    std::mutex lock;
    const Document* doc = nullptr;
    const void* data = nullptr;
    std::size_t size = 0;
    std::uint64_t fingerprint = 0;
    std::thread::id owner;
};
LastParse& Last() {
    static LastParse* const last = new LastParse;  // never destroyed: documents may outlive static destruction
    return *last;
}

// Parses a whole file against `templates`: the document, or null with the
// reason in *result.
ComPtr<Document> ParseDocument(const TemplateSet& templates, const void* data, std::size_t size,
                               ParseResult* result) {
    ComPtr<Document> doc;
    try {
        doc = MakeComPtr<Document>();
        doc->templates = templates;
        *result = ParseDataFile(static_cast<const std::uint8_t*>(data), size, doc);
    } catch (const std::bad_alloc&) {
        result->hr = DXFILEERR_BADALLOC;
        result->reason = "out of memory";
    }
    if (FAILED(result->hr)) doc.Reset();
    return doc;
}

// The fingerprint of a file object's templates after it registered `size`
// bytes of template text (RegisterTemplates keeps it the same way).
std::uint64_t TemplatesFingerprint(std::uint64_t before, const void* data, std::size_t size) {
    return Fingerprint(data, size, before ^ size);
}

// Files parsed ahead (PrefetchXFiles). The worker fingerprints and parses the
// entries in order, then sets `parsed`; a loader takes a doc once, under the
// lock, which also hands the document (whose count is not atomic) over to its
// thread.
struct Prefetch {
    struct Entry {
        const void* data = nullptr;
        std::size_t size = 0;
        std::uint64_t fingerprint = 0;  // with the templates, as CreateEnumObject computes it
        ComPtr<Document> doc;           // null when the parse failed or was taken
        bool parsed = false;
        bool taken = false;
    };
    std::mutex lock;
    std::condition_variable done;
    std::vector<Entry> entries;
    std::thread worker;

    int Release() {
        if (worker.joinable()) worker.join();
        int untaken = 0;
        for (Entry& e : entries) {
            if (!e.doc) continue;
            e.doc.Reset();
            ++untaken;
        }
        entries.clear();
        return untaken;
    }
};
Prefetch& Prefetched() {
    static Prefetch* const prefetch = new Prefetch;  // never destroyed, as Last()
    return *prefetch;
}

void ParseAhead(const TemplateSet& templates, std::uint64_t templatesFingerprint) {
    Prefetch& p = Prefetched();
    for (std::size_t i = 0;; ++i) {
        const void* data;
        std::size_t size;
        {
            std::lock_guard<std::mutex> hold(p.lock);
            if (i == p.entries.size()) return;
            data = p.entries[i].data;
            size = p.entries[i].size;
        }
        const std::uint64_t fingerprint = Fingerprint(data, size, templatesFingerprint);
        ParseResult ignored;  // a failed file's loader parses it again and reports why
        ComPtr<Document> doc;
        try {
            doc = ParseDocument(templates, data, size, &ignored);
        } catch (...) {  // nothing may end this thread before `parsed` is set
        }
        {
            std::lock_guard<std::mutex> hold(p.lock);
            p.entries[i].fingerprint = fingerprint;
            p.entries[i].doc = std::move(doc);
            p.entries[i].parsed = true;
        }
        p.done.notify_all();
    }
}

// The document parsed ahead for these bytes, once; null when there is none
// (or its parse failed).
ComPtr<Document> TakePrefetched(const void* data, std::size_t size, std::uint64_t fingerprint) {
    Prefetch& p = Prefetched();
    std::unique_lock<std::mutex> hold(p.lock);
    for (Prefetch::Entry& e : p.entries) {
        if (e.taken || e.data != data || e.size != size) continue;
        p.done.wait(hold, [&e] { return e.parsed; });
        if (e.fingerprint != fingerprint) continue;  // other bytes now, or other templates
        e.taken = true;
        return std::move(e.doc);
    }
    return {};
}

class File final : public RefCounted<IDirectXFile> {
public:
    HRESULT CreateEnumObject(const void* data, DWORD size, IDirectXFileEnumObject** enumObject) override {
        if (!enumObject) return DXFILEERR_BADVALUE;
        *enumObject = nullptr;
        if (!data && size) return DXFILEERR_BADVALUE;
        const std::uint64_t fingerprint = Fingerprint(data, size, m_templatesFingerprint);
        const std::thread::id self = std::this_thread::get_id();
        ComPtr<Document> doc;
        {
            LastParse& last = Last();
            std::lock_guard<std::mutex> hold(last.lock);
            if (last.doc && last.data == data && last.size == size && last.fingerprint == fingerprint &&
                last.owner == self) {
                doc = ComPtr<Document>::Share(const_cast<Document*>(last.doc));
            }
        }
        if (!doc) doc = TakePrefetched(data, size, fingerprint);
        if (!doc) {
            ParseResult result;
            doc = ParseDocument(m_templates, data, size, &result);
            if (!doc) {
                Record(result);
                return result.hr;
            }
        }
        {
            // The next open of these bytes on this thread reuses it.
            LastParse& last = Last();
            std::lock_guard<std::mutex> hold(last.lock);
            last.doc = doc;
            last.data = data;
            last.size = size;
            last.fingerprint = fingerprint;
            last.owner = self;
        }
        *enumObject = new (std::nothrow) EnumObject(std::move(doc));  // on failure `doc` keeps its reference
        return *enumObject ? DXFILE_OK : DXFILEERR_BADALLOC;
    }

    HRESULT RegisterTemplates(const void* data, DWORD size) override {
        if (!data && size) return DXFILEERR_BADVALUE;
        ParseResult result;
        try {
            TemplateSet merged = m_templates;
            result = ParseTemplateFile(static_cast<const std::uint8_t*>(data), size, &merged);
            if (SUCCEEDED(result.hr)) {
                m_templates = std::move(merged);
                m_templatesFingerprint = TemplatesFingerprint(m_templatesFingerprint, data, size);
            }
        } catch (const std::bad_alloc&) {
            result.hr = DXFILEERR_BADALLOC;
            result.reason = "out of memory";
        }
        if (FAILED(result.hr)) Record(result);
        return result.hr;
    }

    const char* GetLastErrorText() override { return m_lastError.c_str(); }

private:
    ~File() override = default;

    void Record(const ParseResult& result) {
        char text[160];
        if (result.line > 0) {
            std::snprintf(text, sizeof text, "line %zu: %s", result.line, result.reason);
        } else {
            std::snprintf(text, sizeof text, "%s", result.reason);
        }
        try {
            m_lastError = text;
        } catch (const std::bad_alloc&) {
            m_lastError.clear();
        }
    }

    TemplateSet m_templates;
    std::uint64_t m_templatesFingerprint = kFingerprintStart;  // of every template file merged, in order
    std::string m_lastError;
};

}  // namespace

void ForgetParsedDocument(const Document* doc) {
    LastParse& last = Last();
    std::lock_guard<std::mutex> hold(last.lock);
    if (last.doc == doc) last.doc = nullptr;
}

}  // namespace xfile

void PrefetchXFiles(const void* templates, DWORD templatesSize, std::span<const XFileBytes> files) {
    using namespace xfile;
    ReleasePrefetchedXFiles();
    if (!templates && templatesSize) return;
    Prefetch& p = Prefetched();
    try {
        TemplateSet set;
        if (FAILED(ParseTemplateFile(static_cast<const std::uint8_t*>(templates), templatesSize, &set).hr)) return;
        const std::uint64_t templatesFingerprint = TemplatesFingerprint(kFingerprintStart, templates, templatesSize);
        std::lock_guard<std::mutex> hold(p.lock);
        for (const XFileBytes& f : files) {
            if (!f.data && f.size) continue;
            Prefetch::Entry e;
            e.data = f.data;
            e.size = f.size;
            p.entries.push_back(std::move(e));
        }
        p.worker = std::thread(ParseAhead, std::move(set), templatesFingerprint);
    } catch (const std::bad_alloc&) {
        p.entries.clear();
    } catch (const std::system_error&) {  // no thread: the loaders parse
        p.entries.clear();
    }
}

int ReleasePrefetchedXFiles() { return xfile::Prefetched().Release(); }

HRESULT DirectXFileCreate(IDirectXFile** file) {
    if (!file) return DXFILEERR_BADVALUE;
    *file = new (std::nothrow) xfile::File;
    return *file ? DXFILE_OK : DXFILEERR_BADALLOC;
}
