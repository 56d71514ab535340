// Shared by the X-file reader's parser (xfile_parse.cpp) and its COM-style
// objects (xfile.cpp): templates, the parsed document and the parse entry
// points. Nothing outside those two files includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/xfile/xfile.h"

namespace xfile {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Limits; exceeding one fails with DXFILEERR_BADFILE.
constexpr std::size_t kMaxFileSize = std::size_t{256} << 20;  // keeps every data size within a DWORD
constexpr std::size_t kMaxObjectDepth = 64;
constexpr std::size_t kMaxObjects = 65536;
constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kMaxStringLength = 4095;
constexpr std::size_t kMaxTemplates = 1024;
constexpr std::size_t kMaxMembers = 256;
constexpr std::uint32_t kMaxTemplateDepth = 16;

enum class Prim : std::uint8_t { None, Word, Dword, Float, Double, Char, Uchar, Byte, Sword, Sdword, String };

// One array dimension: a fixed count, or the index of an earlier integer
// member of the same template that holds the count.
struct Dim {
    bool fromMember = false;
    std::uint32_t value = 0;
    bool operator==(const Dim&) const = default;
};

struct Member {
    std::string name;
    Prim prim = Prim::None;            // None: a template-typed member
    std::uint32_t templ = kNone;       // index into TemplateSet::list when prim is None
    bool isArray = false;
    std::vector<Dim> dims;             // array only; the element count is their product
    bool operator==(const Member&) const = default;
};

struct Template {
    std::string name;
    GUID id = GUID_NULL;
    std::vector<Member> members;
    std::uint64_t minValues = 0;       // fewest values an instance is written with
    std::uint32_t depth = 1;           // nesting through template-typed members
};

// Templates in declaration order. A member's template is always an earlier
// entry, so the member graph has no cycles; byName points at the newest
// declaration of each name, keyed by the name in upper case (template
// names match without regard to case).
struct TemplateSet {
    std::vector<Template> list;
    std::unordered_map<std::string, std::uint32_t> byName;
};

struct Node {
    bool isReference = false;
    std::uint32_t templ = kNone;       // data objects: the template
    std::uint32_t target = kNone;      // references: the data object it resolves to
    std::uint32_t firstChild = kNone;
    std::uint32_t nextSibling = kNone;
    bool hasId = false;
    GUID id = GUID_NULL;
    std::string name;
    std::size_t dataOffset = 0;        // into Document::data
    std::size_t dataSize = 0;
    std::size_t memberOffsets = 0;     // into Document::memberOffsets: one per member, then the end
    std::size_t textOffset = 0;        // where the object starts in the file, for error lines
};

struct Document;
// A parsed document is reused by the next CreateEnumObject of the same bytes
// (with the same templates, on the same thread) while it is alive; this
// drops it from that reuse as it is freed.
void ForgetParsedDocument(const Document* doc);

// One parsed file. Reference counted by the enumerator and every object
// handed out from it (each holds a ComPtr); freed with the last. The count is
// not atomic: one thread owns a document at a time.
struct Document final : RefCounted<RefCountedInterface> {
    ~Document() override { ForgetParsedDocument(this); }

    TemplateSet templates;
    std::vector<Node> nodes;           // file order (a parent before its children)
    std::uint32_t firstTop = kNone;    // top-level objects, linked by nextSibling
    std::vector<std::uint8_t> data;    // the packed member data of every object
    std::vector<char> strings;         // NUL-terminated string values, pointed at from data
    std::vector<std::size_t> memberOffsets;
};

struct ParseResult {
    HRESULT hr = DXFILE_OK;
    std::size_t line = 0;              // 1-based line of the failure
    const char* reason = "";
};

// Adds the templates declared in a templates-only X file to `set`. On
// failure `set` may hold part of them: parse into a copy.
ParseResult ParseTemplateFile(const std::uint8_t* data, std::size_t size, TemplateSet* set);

// Parses a whole X file into `doc`, whose templates must already hold the
// registered ones; the file's own templates are added to them.
ParseResult ParseDataFile(const std::uint8_t* data, std::size_t size, Document* doc);

}  // namespace xfile
