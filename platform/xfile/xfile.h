// Reader of the text X file format, shaped like the DirectX 8 retained-mode
// file interfaces (IDirectXFile, IDirectXFileEnumObject, IDirectXFileData,
// IDirectXFileDataReference) that the model loaders walk.
//
// Lifecycle, as with COM: every interface comes with one reference that its
// receiver must Release(); AddRef adds one. Objects handed out by an
// enumerator keep the parsed file alive, so they stay valid after the
// enumerator and the IDirectXFile are released.
//
// Parsing: CreateEnumObject reads the whole file at once and fails with a
// clear status (below) if any part of it is malformed, so a walk over a
// successfully opened file meets no parse errors. Only the text form is read:
// headers "xof 0302txt 0032", "xof 0303txt 0032" and the same with 0064 (the
// float size only changes how values are written; FLOAT members are always
// stored as 32-bit floats). Binary and compressed files are refused.
//
// Templates: DirectXFileCreate knows none; RegisterTemplates adds those of a
// text X file that declares templates only (D3DRM_XTEMPLATES holds the
// standard ones). A file may declare its own templates before using them;
// those stay local to that file. A declaration that repeats a known name
// replaces it for what follows; without a GUID it keeps the known one.
// Template names match without regard to case (exporters write
// "TextureFileName" for "TextureFilename"); object names are exact.
// Child restrictions ("[...]", "[Material]") are read but not enforced:
// exporters write restricted Frame templates and still nest frames in them.
//
// Data layout (GetData), as the DirectX file interfaces return it: the
// members in template order, packed with no padding:
//   DWORD, SDWORD, FLOAT       4 bytes   (FLOAT: 32-bit, also in 0064 files)
//   WORD, SWORD                2 bytes
//   CHAR, UCHAR, BYTE          1 byte
//   DOUBLE                     8 bytes
//   STRING / CSTRING / LPSTR   a `const char*` (8 bytes here) to a NUL-terminated
//                              copy that lives as long as the data object;
//                              read it with memcpy, it may be unaligned
//   template-typed member      that template's members, inline
//   array                      its elements, inline; the count is an earlier
//                              member and is stored where that member is
// So an AnimationKey is the 32-bit words: keyType, nKeys, then per key: time,
// nValues, nValues floats. The whole data of an object starts 8-byte aligned.
//
// Text accepted: comments "//" and "#" to the end of the line; "," and ";"
// after values in any number and mix (real exporters write "1;2;3;;",
// "0,1,2;,", "1.0;;;"), or only white space between values; numbers such as
// 1, -2, 1.5, .5, 1., -2e-3, +4; strings in double quotes where \" and \\ are
// escapes and any other backslash is kept as written ("C:\tex\a.jpg" stays as
// written); names of letters, digits, '_', '-', '.' and bytes >= 0x80; data
// objects "Type [name] { [<guid>] members children }"; references
// "{ name }", "{ name <guid> }", "{ <guid> }" (the GUID also without <>),
// which may point forward or backward in the file to any named data object
// at any depth (the first one in file order with that name).
// Non-finite numbers ("1.#QNAN0", "1.#INF00", values beyond the float range)
// are refused with DXFILEERR_BADVALUE rather than read as something else.
//
// Limits (exceeding one fails with DXFILEERR_BADFILE): files of 256 MiB,
// data objects nested 64 deep, 65536 data objects and references in a file, names of 255 bytes,
// strings of 4095 bytes, 1024 templates, 256 members per template, templates
// nested 16 deep as member types. Array counts are checked against the input
// still unread before anything is stored (DXFILEERR_BADARRAYSIZE). Nothing is
// read outside the given buffer, which need not end with a NUL.
//
// Status codes are the DirectX ones:
//   DXFILEERR_BADFILETYPE             not "xof ", shorter than a header, binary ("bin ")
//   DXFILEERR_BADFILECOMPRESSIONTYPE  compressed ("tzip", "bzip")
//   DXFILEERR_BADFILEVERSION          a version other than 0302 or 0303
//   DXFILEERR_BADFILEFLOATSIZE        a float size other than 0032 or 0064
//   DXFILEERR_PARSEERROR              syntax, a truncated file, data objects in a template block
//   DXFILEERR_NOTEMPLATE              a data object or member of an unknown template
//   DXFILEERR_BADVALUE                a number out of its type's range, a fraction
//                                     or sign where an unsigned integer belongs,
//                                     a non-finite number; bad arguments; a name
//                                     buffer that is too small
//   DXFILEERR_BADARRAYSIZE            an array longer than the rest of the file could hold
//   DXFILEERR_BADDATAREFERENCE        a reference to no data object of the file
//   DXFILEERR_BADFILE                 a limit above exceeded
//   DXFILEERR_NOTFOUND                GetData of a member the template does not have
//   DXFILEERR_NOMOREOBJECTS           end of the objects or of an object's children
//   DXFILEERR_BADALLOC                out of memory
// IDirectXFile::GetLastErrorText gives the line and reason of the last failure.
#pragma once

#include <cstdint>
#include <span>

#include "platform/base/ref_counted.h"
#include "platform/base/wintypes.h"

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) return false;
    }
    return true;
}
using REFIID = const GUID&;
using REFGUID = const GUID&;

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Interface ids.
inline constexpr GUID IID_IDirectXFileObject = {0x3D82AB43, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID IID_IDirectXFileData = {0x3D82AB44, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID IID_IDirectXFileDataReference = {0x3D82AB45, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};

// Template ids of the standard templates (the published values).
inline constexpr GUID TID_DXFILEHeader = {0x3D82AB43, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMMesh = {0x3D82AB44, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMFrame = {0x3D82AB46, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMMaterial = {0x3D82AB4D, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMAnimation = {0x3D82AB4F, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMAnimationSet = {0x3D82AB50, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMVector = {0x3D82AB5E, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMMeshFace = {0x3D82AB5F, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMColorRGBA = {0x35FF44E0, 0x6C7C, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMColorRGB = {0xD3E16E81, 0x7835, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMIndexedColor = {0x1630B820, 0x7842, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshVertexColors = {0x1630B821, 0x7842, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMTextureFilename = {0xA42790E1, 0x7810, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshTextureCoords = {0xF6F23F40, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMFrameTransformMatrix = {0xF6F23F41, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshMaterialList = {0xF6F23F42, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshNormals = {0xF6F23F43, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMCoords2d = {0xF6F23F44, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMatrix4x4 = {0xF6F23F45, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMAnimationKey = {0x10DD46A8, 0x775B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMFloatKeys = {0x10DD46A9, 0x775B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMTimedFloatKeys = {0xF406B180, 0x7B3B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMAnimationOptions = {0xE2BF56C0, 0x840F, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
// Skinning templates (D3DX's skin exporter templates).
inline constexpr GUID DXFILEOBJ_XSkinMeshHeader = {0x3CF169CE, 0xFF7C, 0x44AB, {0x93, 0xC0, 0xF7, 0x8F, 0x62, 0xD1, 0x72, 0xE2}};
inline constexpr GUID DXFILEOBJ_VertexDuplicationIndices = {0xB8D65549, 0xD7C9, 0x4995, {0x89, 0xCF, 0x53, 0xA9, 0xA8, 0xB0, 0x31, 0xE3}};
inline constexpr GUID DXFILEOBJ_SkinWeights = {0x6F0D123B, 0xBAD2, 0x4167, {0xA0, 0xD0, 0x80, 0x22, 0x4F, 0x25, 0xFA, 0xBB}};

// Status codes (the DirectX values, MAKE_DDHRESULT(850 + n)).
constexpr HRESULT DXFILE_OK = 0;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT DXFILEERR_BADOBJECT = static_cast<HRESULT>(0x88760352u);
constexpr HRESULT DXFILEERR_BADVALUE = static_cast<HRESULT>(0x88760353u);
constexpr HRESULT DXFILEERR_BADTYPE = static_cast<HRESULT>(0x88760354u);
constexpr HRESULT DXFILEERR_BADALLOC = static_cast<HRESULT>(0x88760356u);
constexpr HRESULT DXFILEERR_NOTFOUND = static_cast<HRESULT>(0x88760357u);
constexpr HRESULT DXFILEERR_BADFILETYPE = static_cast<HRESULT>(0x8876035Du);
constexpr HRESULT DXFILEERR_BADFILEVERSION = static_cast<HRESULT>(0x8876035Eu);
constexpr HRESULT DXFILEERR_BADFILEFLOATSIZE = static_cast<HRESULT>(0x8876035Fu);
constexpr HRESULT DXFILEERR_BADFILECOMPRESSIONTYPE = static_cast<HRESULT>(0x88760360u);
constexpr HRESULT DXFILEERR_BADFILE = static_cast<HRESULT>(0x88760361u);
constexpr HRESULT DXFILEERR_PARSEERROR = static_cast<HRESULT>(0x88760362u);
constexpr HRESULT DXFILEERR_NOTEMPLATE = static_cast<HRESULT>(0x88760363u);
constexpr HRESULT DXFILEERR_BADARRAYSIZE = static_cast<HRESULT>(0x88760364u);
constexpr HRESULT DXFILEERR_BADDATAREFERENCE = static_cast<HRESULT>(0x88760365u);
constexpr HRESULT DXFILEERR_INTERNALERROR = static_cast<HRESULT>(0x88760366u);
constexpr HRESULT DXFILEERR_NOMOREOBJECTS = static_cast<HRESULT>(0x88760367u);

// The standard templates as a text X file, for RegisterTemplates:
// Header, Vector, Coords2d, Matrix4x4, ColorRGBA, ColorRGB, IndexedColor,
// Material, TextureFilename, MeshFace, MeshTextureCoords, MeshNormals,
// MeshVertexColors, MeshMaterialList, Mesh, FrameTransformMatrix, Frame,
// FloatKeys, TimedFloatKeys, AnimationKey, AnimationOptions, Animation,
// AnimationSet, XSkinMeshHeader, VertexDuplicationIndices, SkinWeights, and
// AnimTicksPerSecond and FVFData, which later exporters write without
// declaring them.
// Pass D3DRM_XTEMPLATE_BYTES as the size (the text, not the binary block of
// the original platform, so its size differs from that block's).
extern const char D3DRM_XTEMPLATES[];
extern const DWORD D3DRM_XTEMPLATE_BYTES;

// Parsing ahead of the loaders, on a thread of its own: each file is parsed
// against one template file (D3DRM_XTEMPLATES for the loaders here). The
// first CreateEnumObject of the same bytes (address, size and content), from
// a file object that registered those templates and no others, takes the
// parsed document instead of parsing, waiting for it if the thread has not
// reached it yet. The bytes must stay as they are until then (embedded
// resources do). A file that fails to parse ahead is parsed again by its
// loader, which then has the error. ReleasePrefetchedXFiles waits for the
// thread, frees what no loader took and returns how many documents that was;
// a second PrefetchXFiles releases the first. Without a thread to be had,
// nothing is parsed ahead.
struct XFileBytes {
    const void* data;
    DWORD size;
};
void PrefetchXFiles(const void* templates, DWORD templatesSize, std::span<const XFileBytes> files);
int ReleasePrefetchedXFiles();

class IDirectXFileData;

// Any object of a file: a data object or a data reference.
class IDirectXFileObject : public RefCountedInterface {
public:
    // IID_IDirectXFileObject always; IID_IDirectXFileData only for a data
    // object, IID_IDirectXFileDataReference only for a reference; else
    // E_NOINTERFACE and *object = null. Success adds a reference.
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    // The object's name (a reference: the name written in it, which may be
    // empty). With name null, *size receives the bytes needed including the
    // NUL. An object without a name gives *size = 0 and, when name is not null
    // and *size was at least 1, an empty string. A buffer smaller than needed
    // fails with DXFILEERR_BADVALUE and *size = the bytes needed.
    virtual HRESULT GetName(char* name, DWORD* size) = 0;
    // The object's own GUID as written in the file; GUID_NULL when none.
    virtual HRESULT GetId(GUID* id) = 0;

protected:
    ~IDirectXFileObject() override = default;
};

class IDirectXFileData : public IDirectXFileObject {
public:
    // The whole data (member null) or one top-level member's data, laid out
    // as described at the top of this file. The pointer lives as long as this
    // object; a member of size 0 gives a valid pointer to nothing.
    // DXFILEERR_NOTFOUND for a member the template does not have.
    virtual HRESULT GetData(const char* member, DWORD* size, void** data) = 0;
    // The template id; the pointer lives as long as this object.
    virtual HRESULT GetType(const GUID** type) = 0;
    // The next child in file order: a data object (IDirectXFileData) or a
    // reference (IDirectXFileDataReference). DXFILEERR_NOMOREOBJECTS after the last.
    virtual HRESULT GetNextObject(IDirectXFileObject** child) = 0;
};

class IDirectXFileDataReference : public IDirectXFileObject {
public:
    // The data object the reference names, as a new IDirectXFileData whose
    // child walk starts at its first child.
    virtual HRESULT Resolve(IDirectXFileData** data) = 0;
};

class IDirectXFileEnumObject : public RefCountedInterface {
public:
    // The next top-level data object in file order; DXFILEERR_NOMOREOBJECTS
    // after the last.
    virtual HRESULT GetNextDataObject(IDirectXFileData** data) = 0;

protected:
    ~IDirectXFileEnumObject() override = default;
};

class IDirectXFile : public RefCountedInterface {
public:
    // Parses a whole X file held in memory (size bytes, no NUL needed) with
    // the registered templates and the file's own. The memory may be freed
    // once this returns.
    virtual HRESULT CreateEnumObject(const void* data, DWORD size, IDirectXFileEnumObject** enumObject) = 0;
    // Registers the templates of a text X file that holds template
    // declarations only. On failure nothing is registered.
    virtual HRESULT RegisterTemplates(const void* data, DWORD size) = 0;
    // Line and reason of the last failed CreateEnumObject or
    // RegisterTemplates ("" before any failure); valid until the next call.
    virtual const char* GetLastErrorText() = 0;

protected:
    ~IDirectXFile() override = default;
};

HRESULT DirectXFileCreate(IDirectXFile** file);
