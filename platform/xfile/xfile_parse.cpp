// Parser of the text X file format: the header, template declarations, data
// objects with their packed member data, nested objects and references.
// Iterative over object nesting; recursion only through template-typed
// members, whose depth is capped when a template is declared.
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "platform/xfile/xfile_internal.h"

namespace xfile {
namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kMaxDims = 8;
constexpr std::uint64_t kSaturated = std::uint64_t{1} << 48;  // "more than any input holds"

bool IsSpace(std::uint8_t c) {
    // NUL counts as space: resources are often padded with it.
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == '\0';
}
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
bool IsAlpha(std::uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameChar(std::uint8_t c) {
    return IsAlpha(c) || IsDigit(c) || c == '_' || c == '-' || c == '.' || c >= 0x80;
}
bool IsDelimiter(std::uint8_t c) {
    return IsSpace(c) || c == ',' || c == ';' || c == '{' || c == '}' || c == ']' || c == '/' || c == '#';
}
int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Template names are matched without regard to case: exporters write
// "TextureFileName" for the standard "TextureFilename", and the DirectX
// parser accepts it. The key is the name in upper case.
std::string TemplateKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

// "3D82AB43-62DA-11cf-AB39-0020AF71E433" (no braces).
bool ParseGuidText(std::string_view s, GUID* out) {
    if (s.size() != 36) return false;
    std::uint8_t bytes[16];
    std::size_t n = 0;
    int high = -1;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (s[i] != '-') return false;
            continue;
        }
        const int v = HexValue(static_cast<std::uint8_t>(s[i]));
        if (v < 0) return false;
        if (high < 0) {
            high = v;
        } else {
            bytes[n++] = static_cast<std::uint8_t>(high * 16 + v);
            high = -1;
        }
    }
    out->Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
                 bytes[3];
    out->Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    out->Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return true;
}

std::string GuidKey(const GUID& g) {
    std::string key(16, '\0');
    std::memcpy(key.data(), &g.Data1, 4);
    std::memcpy(key.data() + 4, &g.Data2, 2);
    std::memcpy(key.data() + 6, &g.Data3, 2);
    std::memcpy(key.data() + 8, g.Data4, 8);
    return key;
}

struct PrimKeyword {
    const char* keyword;
    Prim prim;
};
constexpr PrimKeyword kPrimKeywords[] = {
    {"WORD", Prim::Word},     {"DWORD", Prim::Dword},   {"FLOAT", Prim::Float},     {"DOUBLE", Prim::Double},
    {"CHAR", Prim::Char},     {"UCHAR", Prim::Uchar},   {"BYTE", Prim::Byte},       {"SWORD", Prim::Sword},
    {"SDWORD", Prim::Sdword}, {"STRING", Prim::String}, {"CSTRING", Prim::String}, {"LPSTR", Prim::String},
};

Prim PrimFromKeyword(std::string_view word) {
    for (const PrimKeyword& k : kPrimKeywords) {
        if (EqualNoCase(word, k.keyword)) return k.prim;
    }
    return Prim::None;
}

bool IsIntegerPrim(Prim p) {
    return p == Prim::Word || p == Prim::Dword || p == Prim::Char || p == Prim::Uchar || p == Prim::Byte ||
           p == Prim::Sword || p == Prim::Sdword;
}

std::uint64_t SaturatingMul(std::uint64_t a, std::uint64_t b) {
    if (a == 0 || b == 0) return 0;
    return a > kSaturated / b ? kSaturated : a * b;
}

// A number as written: the text after any sign.
struct Number {
    const std::uint8_t* begin = nullptr;
    const std::uint8_t* end = nullptr;
    bool negative = false;
    bool integer = true;
};

// floor(log10(|value|)) + 1 of a written number, from its digits and
// exponent; only its sign matters, to tell overflow from underflow.
long DecimalMagnitude(const Number& n) {
    long exponent = 0;
    const std::uint8_t* s = n.begin;
    const std::uint8_t* mantissaEnd = n.end;
    for (const std::uint8_t* e = n.begin; e < n.end; ++e) {
        if (*e == 'e' || *e == 'E') {
            mantissaEnd = e;
            const std::uint8_t* d = e + 1;
            bool negative = false;
            if (d < n.end && (*d == '+' || *d == '-')) negative = *d++ == '-';
            for (; d < n.end; ++d) {
                if (exponent < 1000000) exponent = exponent * 10 + (*d - '0');
            }
            if (negative) exponent = -exponent;
            break;
        }
    }
    long intDigits = 0;
    for (const std::uint8_t* d = s; d < mantissaEnd && IsDigit(*d); ++d) ++intDigits;
    long position = intDigits;  // magnitude contributed by the first non-zero digit
    for (const std::uint8_t* d = s; d < mantissaEnd; ++d) {
        if (*d == '.') continue;
        if (*d != '0') return position + exponent;
        --position;
    }
    return 0;
}

class Parser {
public:
    Parser(const std::uint8_t* data, std::size_t size, TemplateSet* templates, Document* doc)
        : m_begin(data), m_p(data), m_end(data + size), m_templates(templates), m_doc(doc) {}

    ParseResult Run() {
        HRESULT hr;
        try {
            hr = Remaining() > kMaxFileSize ? Fail(DXFILEERR_BADFILE, "file larger than 256 MiB") : ReadHeader();
            if (SUCCEEDED(hr)) hr = ParseBody();
            if (SUCCEEDED(hr) && m_doc) hr = ResolveReferences();
            if (SUCCEEDED(hr) && m_doc) FixStringPointers();
        } catch (const std::bad_alloc&) {
            hr = Fail(DXFILEERR_BADALLOC, "out of memory");
        }
        ParseResult result;
        result.hr = hr;
        if (FAILED(hr)) {
            result.reason = m_reason;
            result.line = 1;
            for (const std::uint8_t* c = m_begin; c < m_failAt && c < m_end; ++c) {
                if (*c == '\n') ++result.line;
            }
        }
        return result;
    }

private:
    HRESULT Fail(HRESULT hr, const char* reason) {
        if (!m_failed) {
            m_failed = true;
            m_reason = reason;
            m_failAt = m_p;
        }
        return hr;
    }

    std::size_t Remaining() const { return static_cast<std::size_t>(m_end - m_p); }

    // --- lexing -----------------------------------------------------------

    void SkipSpace() {
        while (m_p < m_end) {
            const std::uint8_t c = *m_p;
            if (IsSpace(c)) {
                ++m_p;
            } else if (c == '#' || (c == '/' && m_p + 1 < m_end && m_p[1] == '/')) {
                while (m_p < m_end && *m_p != '\n') ++m_p;
            } else {
                break;
            }
        }
    }

    // Exporters end values with ';' and ',' in every combination; their count
    // carries no meaning here because the template drives the reading.
    void SkipSeparators() {
        for (;;) {
            SkipSpace();
            if (m_p < m_end && (*m_p == ',' || *m_p == ';')) {
                ++m_p;
            } else {
                return;
            }
        }
    }

    bool At(std::uint8_t c) const { return m_p < m_end && *m_p == c; }
    bool AtNameChar() const { return m_p < m_end && IsNameChar(*m_p); }

    HRESULT Expect(std::uint8_t c, const char* reason) {
        SkipSpace();
        if (!At(c)) return Fail(DXFILEERR_PARSEERROR, reason);
        ++m_p;
        return DXFILE_OK;
    }

    HRESULT ReadName(std::string* out, const char* reason) {
        SkipSpace();
        const std::uint8_t* start = m_p;
        while (m_p < m_end && IsNameChar(*m_p)) ++m_p;
        if (m_p == start) return Fail(DXFILEERR_PARSEERROR, reason);
        if (static_cast<std::size_t>(m_p - start) > kMaxNameLength) {
            m_p = start;
            return Fail(DXFILEERR_BADFILE, "name longer than 255 bytes");
        }
        out->assign(reinterpret_cast<const char*>(start), static_cast<std::size_t>(m_p - start));
        return DXFILE_OK;
    }

    // "<3D82AB43-62DA-11cf-AB39-0020AF71E433>", blanks allowed inside the brackets.
    HRESULT ReadBracketedGuid(GUID* out) {
        ++m_p;  // '<'
        SkipSpace();
        const std::uint8_t* start = m_p;
        while (m_p < m_end && (HexValue(*m_p) >= 0 || *m_p == '-')) ++m_p;
        const std::string_view text(reinterpret_cast<const char*>(start), static_cast<std::size_t>(m_p - start));
        if (!ParseGuidText(text, out)) {
            m_p = start;
            return Fail(DXFILEERR_PARSEERROR, "malformed GUID");
        }
        return Expect('>', "expected '>' after a GUID");
    }

    HRESULT LexNumber(Number* n) {
        SkipSpace();
        const std::uint8_t* s = m_p;
        n->negative = false;
        if (s < m_end && (*s == '+' || *s == '-')) n->negative = *s++ == '-';
        n->begin = s;
        std::size_t digits = 0;
        while (s < m_end && IsDigit(*s)) ++s, ++digits;
        bool dot = false;
        if (s < m_end && *s == '.') {
            dot = true;
            ++s;
            while (s < m_end && IsDigit(*s)) ++s, ++digits;
        }
        if (digits == 0) return Fail(DXFILEERR_PARSEERROR, "expected a number");
        if (dot && s < m_end && *s == '#') {
            // How one C runtime prints non-finite values: 1.#QNAN0, -1.#IND00, 1.#INF00.
            return Fail(DXFILEERR_BADVALUE, "non-finite number");
        }
        n->integer = !dot;
        if (s < m_end && (*s == 'e' || *s == 'E')) {
            const std::uint8_t* e = s + 1;
            if (e < m_end && (*e == '+' || *e == '-')) ++e;
            if (e >= m_end || !IsDigit(*e)) {
                m_p = s;
                return Fail(DXFILEERR_PARSEERROR, "malformed exponent");
            }
            while (e < m_end && IsDigit(*e)) ++e;
            s = e;
            n->integer = false;
        }
        if (s < m_end && !IsDelimiter(*s)) {
            m_p = s;
            return Fail(DXFILEERR_PARSEERROR, "unexpected character after a number");
        }
        n->end = s;
        m_p = s;
        return DXFILE_OK;
    }

    HRESULT ToDouble(const Number& n, double* out) {
        double v = 0.0;
        const char* first = reinterpret_cast<const char*>(n.begin);
        const char* last = reinterpret_cast<const char*>(n.end);
        const std::from_chars_result r = std::from_chars(first, last, v);
        if (r.ec == std::errc::result_out_of_range) {
            if (DecimalMagnitude(n) > 0) return Fail(DXFILEERR_BADVALUE, "number too large");
            v = 0.0;  // smaller than the smallest double
        } else if (r.ec != std::errc() || r.ptr != last) {
            return Fail(DXFILEERR_PARSEERROR, "malformed number");
        }
        if (!std::isfinite(v)) return Fail(DXFILEERR_BADVALUE, "non-finite number");
        *out = n.negative ? -v : v;
        return DXFILE_OK;
    }

    HRESULT ToInteger(const Number& n, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
        if (!n.integer) return Fail(DXFILEERR_BADVALUE, "expected an integer");
        std::uint64_t v = 0;
        for (const std::uint8_t* d = n.begin; d < n.end; ++d) {
            v = v * 10 + static_cast<std::uint64_t>(*d - '0');
            if (v > kSaturated) return Fail(DXFILEERR_BADVALUE, "integer out of range");
        }
        const std::int64_t value = n.negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
        if (value < lo || value > hi) return Fail(DXFILEERR_BADVALUE, "integer out of range for its type");
        *out = value;
        return DXFILE_OK;
    }

    // A quoted string into the string pool; \" and \\ are the only escapes.
    HRESULT ReadString(std::size_t* poolOffset) {
        SkipSpace();
        if (!At('"')) return Fail(DXFILEERR_PARSEERROR, "expected a string");
        ++m_p;
        std::vector<char>& pool = m_doc->strings;
        const std::size_t start = pool.size();
        for (;;) {
            if (m_p >= m_end) return Fail(DXFILEERR_PARSEERROR, "file ends inside a string");
            std::uint8_t c = *m_p++;
            if (c == '"') break;
            if (c == '\\' && m_p < m_end && (*m_p == '"' || *m_p == '\\')) c = *m_p++;
            if (pool.size() - start >= kMaxStringLength) return Fail(DXFILEERR_BADFILE, "string longer than 4095 bytes");
            pool.push_back(static_cast<char>(c));
        }
        pool.push_back('\0');
        *poolOffset = start;
        return DXFILE_OK;
    }

    // --- header -----------------------------------------------------------

    HRESULT ReadHeader() {
        const auto is = [this](std::size_t at, const char* text) {
            return std::memcmp(m_begin + at, text, std::strlen(text)) == 0;
        };
        if (Remaining() < kHeaderSize || !is(0, "xof ")) return Fail(DXFILEERR_BADFILETYPE, "not an X file");
        if (!is(4, "0302") && !is(4, "0303")) return Fail(DXFILEERR_BADFILEVERSION, "unsupported X file version");
        if (is(8, "bin ")) return Fail(DXFILEERR_BADFILETYPE, "binary X files are not supported");
        if (is(8, "tzip") || is(8, "bzip")) {
            return Fail(DXFILEERR_BADFILECOMPRESSIONTYPE, "compressed X files are not supported");
        }
        if (!is(8, "txt ")) return Fail(DXFILEERR_BADFILETYPE, "unknown X file format");
        // The float size only says how the writer printed values; text is
        // read as double either way and FLOAT members stay 32-bit.
        if (!is(12, "0032") && !is(12, "0064")) return Fail(DXFILEERR_BADFILEFLOATSIZE, "unsupported float size");
        m_p += kHeaderSize;
        return DXFILE_OK;
    }

    // --- templates ----------------------------------------------------------

    HRESULT ParseRestrictions() {
        ++m_p;  // '['
        for (;;) {
            SkipSpace();
            if (m_p >= m_end) return Fail(DXFILEERR_PARSEERROR, "file ends inside a template's child list");
            if (*m_p == ']') {
                ++m_p;
                return DXFILE_OK;
            }
            if (*m_p == ',') {
                ++m_p;
            } else if (*m_p == '<') {
                GUID ignored;
                if (HRESULT hr = ReadBracketedGuid(&ignored); FAILED(hr)) return hr;
            } else {
                std::string ignored;  // a template name or "..."
                if (HRESULT hr = ReadName(&ignored, "unexpected character in a template's child list"); FAILED(hr)) {
                    return hr;
                }
            }
        }
    }

    HRESULT ParseArrayDims(const std::vector<Member>& earlier, Member* m) {
        for (;;) {
            SkipSpace();
            if (!At('[')) break;
            ++m_p;
            SkipSpace();
            Dim dim;
            if (m_p < m_end && IsDigit(*m_p)) {
                Number n;
                std::int64_t value = 0;
                if (HRESULT hr = LexNumber(&n); FAILED(hr)) return hr;
                if (HRESULT hr = ToInteger(n, 0, 0xFFFFFFFF, &value); FAILED(hr)) return hr;
                dim.value = static_cast<std::uint32_t>(value);
            } else {
                std::string name;
                if (HRESULT hr = ReadName(&name, "expected an array size"); FAILED(hr)) return hr;
                dim.fromMember = true;
                dim.value = kNone;
                for (std::size_t j = earlier.size(); j-- > 0;) {
                    if (earlier[j].name == name) {
                        if (!earlier[j].isArray && IsIntegerPrim(earlier[j].prim)) dim.value = static_cast<std::uint32_t>(j);
                        break;
                    }
                }
                if (dim.value == kNone) return Fail(DXFILEERR_PARSEERROR, "array size names no earlier integer member");
            }
            if (HRESULT hr = Expect(']', "expected ']' after an array size"); FAILED(hr)) return hr;
            if (m->dims.size() >= kMaxDims) return Fail(DXFILEERR_BADFILE, "array of more than 8 dimensions");
            m->dims.push_back(dim);
        }
        if (m->dims.empty()) return Fail(DXFILEERR_PARSEERROR, "array without a size");
        return DXFILE_OK;
    }

    HRESULT ParseMember(const std::vector<Member>& earlier, Member* m) {
        std::string word;
        if (HRESULT hr = ReadName(&word, "expected a member, a child list or '}'"); FAILED(hr)) return hr;
        if (EqualNoCase(word, "array")) {
            m->isArray = true;
            if (HRESULT hr = ReadName(&word, "expected an array element type"); FAILED(hr)) return hr;
        }
        m->prim = PrimFromKeyword(word);
        if (m->prim == Prim::None) {
            const auto it = m_templates->byName.find(TemplateKey(word));
            if (it == m_templates->byName.end()) return Fail(DXFILEERR_NOTEMPLATE, "member of an unknown template");
            if (m_templates->list[it->second].minValues == 0) {
                return Fail(DXFILEERR_PARSEERROR, "member of a template that holds no data");
            }
            m->templ = it->second;
        }
        SkipSpace();
        if (AtNameChar()) {
            if (HRESULT hr = ReadName(&m->name, "expected a member name"); FAILED(hr)) return hr;
        }
        if (m->isArray) return ParseArrayDims(earlier, m);
        return DXFILE_OK;
    }

    // "template Name { <guid> members [restrictions] }", after the keyword.
    HRESULT ParseTemplate() {
        Template t;
        bool hasGuid = false;
        if (HRESULT hr = ReadName(&t.name, "expected a template name"); FAILED(hr)) return hr;
        if (HRESULT hr = Expect('{', "expected '{' after a template name"); FAILED(hr)) return hr;
        SkipSpace();
        if (At('<')) {
            if (HRESULT hr = ReadBracketedGuid(&t.id); FAILED(hr)) return hr;
            hasGuid = true;
        }
        for (;;) {
            SkipSeparators();
            if (m_p >= m_end) return Fail(DXFILEERR_PARSEERROR, "file ends inside a template");
            if (*m_p == '}') {
                ++m_p;
                break;
            }
            if (*m_p == '[') {
                if (HRESULT hr = ParseRestrictions(); FAILED(hr)) return hr;
                continue;
            }
            if (t.members.size() >= kMaxMembers) return Fail(DXFILEERR_BADFILE, "template of more than 256 members");
            Member m;
            if (HRESULT hr = ParseMember(t.members, &m); FAILED(hr)) return hr;
            t.members.push_back(std::move(m));
        }

        std::uint32_t depth = 1;
        for (const Member& m : t.members) {
            std::uint64_t values = 1;
            if (m.prim == Prim::None) {
                const Template& mt = m_templates->list[m.templ];
                values = mt.minValues;
                if (mt.depth + 1 > depth) depth = mt.depth + 1;
            }
            for (const Dim& d : m.dims) values = SaturatingMul(values, d.fromMember ? 0 : d.value);
            t.minValues = std::min(t.minValues + values, kSaturated);
        }
        if (depth > kMaxTemplateDepth) return Fail(DXFILEERR_BADFILE, "templates nested deeper than 16");
        t.depth = depth;

        const auto known = m_templates->byName.find(TemplateKey(t.name));
        if (known != m_templates->byName.end()) {
            const Template& old = m_templates->list[known->second];
            if (!hasGuid) t.id = old.id;
            if (old.id == t.id && old.members == t.members) return DXFILE_OK;  // the same declaration again
        }
        if (m_templates->list.size() >= kMaxTemplates) return Fail(DXFILEERR_BADFILE, "more than 1024 templates");
        m_templates->list.push_back(std::move(t));
        const auto index = static_cast<std::uint32_t>(m_templates->list.size() - 1);
        m_templates->byName[TemplateKey(m_templates->list.back().name)] = index;
        return DXFILE_OK;
    }

    // --- data -----------------------------------------------------------------

    void Put(const void* bytes, std::size_t n) {
        std::vector<std::uint8_t>& data = m_doc->data;
        const std::size_t at = data.size();
        data.resize(at + n);
        std::memcpy(data.data() + at, bytes, n);
    }

    template <typename T>
    void PutValue(T value) {
        Put(&value, sizeof value);
    }

    // One primitive value, packed; integers are also returned for array sizes.
    HRESULT ReadValue(Prim prim, std::int64_t* integer) {
        *integer = 0;
        if (prim == Prim::String) {
            std::size_t offset = 0;
            if (HRESULT hr = ReadString(&offset); FAILED(hr)) return hr;
            m_stringFixups.emplace_back(m_doc->data.size(), offset);
            PutValue<const char*>(nullptr);  // pointed at the pool once it stops growing
            SkipSeparators();
            return DXFILE_OK;
        }
        Number n;
        if (HRESULT hr = LexNumber(&n); FAILED(hr)) return hr;
        HRESULT hr = DXFILE_OK;
        double real = 0.0;
        std::int64_t v = 0;
        switch (prim) {
        case Prim::Float:
            hr = ToDouble(n, &real);
            if (SUCCEEDED(hr) && std::fabs(real) > FLT_MAX) hr = Fail(DXFILEERR_BADVALUE, "number too large for a FLOAT");
            if (SUCCEEDED(hr)) PutValue(static_cast<float>(real));
            break;
        case Prim::Double:
            hr = ToDouble(n, &real);
            if (SUCCEEDED(hr)) PutValue(real);
            break;
        case Prim::Word:
            hr = ToInteger(n, 0, 0xFFFF, &v);
            if (SUCCEEDED(hr)) PutValue(static_cast<std::uint16_t>(v));
            break;
        case Prim::Sword:
            hr = ToInteger(n, -0x8000, 0x7FFF, &v);
            if (SUCCEEDED(hr)) PutValue(static_cast<std::int16_t>(v));
            break;
        case Prim::Dword:
            hr = ToInteger(n, 0, 0xFFFFFFFF, &v);
            if (SUCCEEDED(hr)) PutValue(static_cast<std::uint32_t>(v));
            break;
        case Prim::Sdword:
            hr = ToInteger(n, -0x80000000LL, 0x7FFFFFFF, &v);
            if (SUCCEEDED(hr)) PutValue(static_cast<std::int32_t>(v));
            break;
        case Prim::Char:
            hr = ToInteger(n, -0x80, 0x7F, &v);
            if (SUCCEEDED(hr)) PutValue(static_cast<std::int8_t>(v));
            break;
        case Prim::Uchar:
        case Prim::Byte:
            hr = ToInteger(n, 0, 0xFF, &v);
            if (SUCCEEDED(hr)) PutValue(static_cast<std::uint8_t>(v));
            break;
        case Prim::None:
        case Prim::String:
            hr = Fail(DXFILEERR_INTERNALERROR, "bad member type");
            break;
        }
        if (FAILED(hr)) return hr;
        *integer = v;
        SkipSeparators();
        return DXFILE_OK;
    }

    // The members of one instance of template `t`. `offsets` receives where
    // each member starts (top-level objects only). Recurses through
    // template-typed members, at most kMaxTemplateDepth deep.
    HRESULT ParseInstance(std::uint32_t t, std::vector<std::size_t>* offsets) {
        const Template& templ = m_templates->list[t];  // the list does not change while data is read
        const std::size_t base = m_counts.size();
        m_counts.resize(base + templ.members.size(), 0);
        for (std::size_t i = 0; i < templ.members.size(); ++i) {
            const Member& m = templ.members[i];
            if (offsets) offsets->push_back(m_doc->data.size());
            std::uint64_t count = 1;
            if (m.isArray) {
                for (const Dim& d : m.dims) {
                    std::uint64_t n = d.value;
                    if (d.fromMember) {
                        const std::int64_t written = m_counts[base + d.value];
                        if (written < 0) return Fail(DXFILEERR_BADARRAYSIZE, "negative array size");
                        n = static_cast<std::uint64_t>(written);
                    }
                    count = SaturatingMul(count, n);
                }
                // Every value takes at least one byte of text: refuse a count
                // the rest of the file cannot hold before storing anything.
                const std::uint64_t perElement = m.prim == Prim::None ? m_templates->list[m.templ].minValues : 1;
                if (count > Remaining() / perElement) {
                    return Fail(DXFILEERR_BADARRAYSIZE, "array longer than the rest of the file");
                }
            }
            for (std::uint64_t k = 0; k < count; ++k) {
                if (m.prim == Prim::None) {
                    if (HRESULT hr = ParseInstance(m.templ, nullptr); FAILED(hr)) return hr;
                } else {
                    std::int64_t value = 0;
                    if (HRESULT hr = ReadValue(m.prim, &value); FAILED(hr)) return hr;
                    if (!m.isArray) m_counts[base + i] = value;
                }
            }
        }
        m_counts.resize(base);
        return DXFILE_OK;
    }

    HRESULT AddNode(Node&& node, std::uint32_t* index) {
        if (m_doc->nodes.size() >= kMaxObjects) return Fail(DXFILEERR_BADFILE, "more than 65536 objects");
        m_doc->nodes.push_back(std::move(node));
        *index = static_cast<std::uint32_t>(m_doc->nodes.size() - 1);
        return DXFILE_OK;
    }

    // "Type [name] { [<guid>] members", after the type name; the children
    // and the closing brace are read by ParseObjectBody.
    HRESULT ParseObjectHeader(const std::string& type, const std::uint8_t* start, std::uint32_t* index) {
        const auto it = m_templates->byName.find(TemplateKey(type));
        if (it == m_templates->byName.end()) {
            m_p = start;
            return Fail(DXFILEERR_NOTEMPLATE, "data object of an unknown template");
        }
        Node node;
        node.templ = it->second;
        node.textOffset = static_cast<std::size_t>(start - m_begin);
        SkipSpace();
        if (m_p < m_end && *m_p != '{') {
            if (HRESULT hr = ReadName(&node.name, "expected an object name or '{'"); FAILED(hr)) return hr;
        }
        if (HRESULT hr = Expect('{', "expected '{'"); FAILED(hr)) return hr;
        SkipSpace();
        if (At('<')) {
            if (HRESULT hr = ReadBracketedGuid(&node.id); FAILED(hr)) return hr;
            node.hasId = true;
        }
        std::vector<std::uint8_t>& data = m_doc->data;
        data.resize((data.size() + 7) & ~std::size_t{7});  // every object's data starts 8-byte aligned
        node.dataOffset = data.size();
        node.memberOffsets = m_doc->memberOffsets.size();
        if (HRESULT hr = AddNode(std::move(node), index); FAILED(hr)) return hr;
        if (HRESULT hr = ParseInstance(m_doc->nodes[*index].templ, &m_doc->memberOffsets); FAILED(hr)) return hr;
        m_doc->memberOffsets.push_back(data.size());
        m_doc->nodes[*index].dataSize = data.size() - m_doc->nodes[*index].dataOffset;
        return DXFILE_OK;
    }

    bool KnownTemplate(const std::string& type) const {
        return m_templates->byName.find(TemplateKey(type)) != m_templates->byName.end();
    }

    // "[name] { ... }" of a data object whose template is unknown, after its
    // type name: exporters add objects of their own (DeclData, FVFData inside
    // meshes) without declaring them. Skipped whole when its braces balance,
    // strings and comments taken into account; otherwise the file is malformed.
    HRESULT SkipUnknownObject(const std::uint8_t* start) {
        SkipSpace();
        if (AtNameChar()) {
            std::string name;
            if (HRESULT hr = ReadName(&name, "expected an object name or '{'"); FAILED(hr)) return hr;
            SkipSpace();
        }
        if (!At('{')) {
            m_p = start;
            return Fail(DXFILEERR_NOTEMPLATE, "data object of an unknown template");
        }
        int depth = 0;
        while (m_p < m_end) {
            const std::uint8_t c = *m_p++;
            if (c == '{') {
                ++depth;
            } else if (c == '}') {
                if (--depth == 0) return DXFILE_OK;
            } else if (c == '"') {
                while (m_p < m_end && *m_p != '"') ++m_p;
                if (m_p < m_end) ++m_p;
            } else if (c == '#' || (c == '/' && At('/'))) {
                while (m_p < m_end && *m_p != '\n') ++m_p;
            }
        }
        m_p = start;
        return Fail(DXFILEERR_PARSEERROR, "file ends inside a data object of an unknown template");
    }

    // "{ name }", "{ name <guid> }", "{ name guid }", "{ <guid> }", at '{'.
    HRESULT ParseReference(std::uint32_t* index) {
        Node node;
        node.isReference = true;
        node.textOffset = static_cast<std::size_t>(m_p - m_begin);
        ++m_p;
        SkipSpace();
        if (At('<')) {
            if (HRESULT hr = ReadBracketedGuid(&node.id); FAILED(hr)) return hr;
            node.hasId = true;
        } else if (AtNameChar()) {
            if (HRESULT hr = ReadName(&node.name, "expected a name"); FAILED(hr)) return hr;
            SkipSpace();
            if (At('<')) {
                if (HRESULT hr = ReadBracketedGuid(&node.id); FAILED(hr)) return hr;
                node.hasId = true;
            } else if (AtNameChar()) {
                std::string text;
                if (HRESULT hr = ReadName(&text, "expected a GUID"); FAILED(hr)) return hr;
                if (!ParseGuidText(text, &node.id)) return Fail(DXFILEERR_PARSEERROR, "malformed GUID in a reference");
                node.hasId = true;
            } else {
                // A lone GUID without brackets reads as a name; it is also
                // tried as a GUID when no object has that name.
                node.hasId = ParseGuidText(node.name, &node.id);
            }
        } else {
            return Fail(DXFILEERR_PARSEERROR, "expected a name or a GUID in a reference");
        }
        if (HRESULT hr = Expect('}', "expected '}' to end a reference"); FAILED(hr)) return hr;
        return AddNode(std::move(node), index);
    }

    // Children of an open data object up to its closing brace, and theirs,
    // with an explicit stack.
    HRESULT ParseObjectBody(std::uint32_t root) {
        struct Open {
            std::uint32_t node;
            std::uint32_t lastChild;
        };
        std::vector<Open> stack;
        stack.push_back({root, kNone});
        std::string type;
        while (!stack.empty()) {
            SkipSeparators();
            if (m_p >= m_end) return Fail(DXFILEERR_PARSEERROR, "file ends inside a data object");
            if (*m_p == '}') {
                ++m_p;
                stack.pop_back();
                continue;
            }
            std::uint32_t child = kNone;
            if (*m_p == '{') {
                if (HRESULT hr = ParseReference(&child); FAILED(hr)) return hr;
            } else {
                const std::uint8_t* start = m_p;
                if (HRESULT hr = ReadName(&type, "expected a child object, a reference or '}'"); FAILED(hr)) return hr;
                if (stack.size() >= kMaxObjectDepth) {
                    m_p = start;
                    return Fail(DXFILEERR_BADFILE, "data objects nested deeper than 64");
                }
                if (!KnownTemplate(type)) {
                    if (HRESULT hr = SkipUnknownObject(start); FAILED(hr)) return hr;
                    continue;
                }
                if (HRESULT hr = ParseObjectHeader(type, start, &child); FAILED(hr)) return hr;
            }
            Open& parent = stack.back();
            if (parent.lastChild == kNone) {
                m_doc->nodes[parent.node].firstChild = child;
            } else {
                m_doc->nodes[parent.lastChild].nextSibling = child;
            }
            parent.lastChild = child;
            if (!m_doc->nodes[child].isReference) stack.push_back({child, kNone});
        }
        return DXFILE_OK;
    }

    HRESULT ParseBody() {
        std::uint32_t lastTop = kNone;
        std::string word;
        for (;;) {
            SkipSeparators();
            if (m_p >= m_end) return DXFILE_OK;
            const std::uint8_t* start = m_p;
            if (HRESULT hr = ReadName(&word, "expected a template or a data object"); FAILED(hr)) return hr;
            if (EqualNoCase(word, "template")) {
                if (HRESULT hr = ParseTemplate(); FAILED(hr)) return hr;
                continue;
            }
            if (!m_doc) {
                m_p = start;
                return Fail(DXFILEERR_PARSEERROR, "a template file holds templates only");
            }
            if (!KnownTemplate(word)) {
                if (HRESULT hr = SkipUnknownObject(start); FAILED(hr)) return hr;
                continue;
            }
            std::uint32_t top = kNone;
            if (HRESULT hr = ParseObjectHeader(word, start, &top); FAILED(hr)) return hr;
            if (lastTop == kNone) {
                m_doc->firstTop = top;
            } else {
                m_doc->nodes[lastTop].nextSibling = top;
            }
            lastTop = top;
            if (HRESULT hr = ParseObjectBody(top); FAILED(hr)) return hr;
        }
    }

    // References may point forward or backward, at any depth: resolve them
    // once the whole file is read. A name finds the first data object of
    // that name in file order; a GUID the first with that id.
    HRESULT ResolveReferences() {
        std::unordered_map<std::string, std::uint32_t> byName;
        std::unordered_map<std::string, std::uint32_t> byId;
        std::vector<Node>& nodes = m_doc->nodes;
        bool anyReference = false;
        for (std::uint32_t i = 0; i < nodes.size(); ++i) {
            if (nodes[i].isReference) {
                anyReference = true;
                continue;
            }
            if (!nodes[i].name.empty()) byName.emplace(nodes[i].name, i);
            if (nodes[i].hasId) byId.emplace(GuidKey(nodes[i].id), i);
        }
        if (!anyReference) return DXFILE_OK;
        for (Node& node : nodes) {
            if (!node.isReference) continue;
            if (!node.name.empty()) {
                const auto it = byName.find(node.name);
                if (it != byName.end()) node.target = it->second;
            }
            if (node.target == kNone && node.hasId) {
                const auto it = byId.find(GuidKey(node.id));
                if (it != byId.end()) node.target = it->second;
            }
            if (node.target == kNone) {
                m_p = m_begin + node.textOffset;
                return Fail(DXFILEERR_BADDATAREFERENCE, "reference to no data object of the file");
            }
        }
        return DXFILE_OK;
    }

    void FixStringPointers() {
        for (const auto& [dataAt, poolAt] : m_stringFixups) {
            const char* text = m_doc->strings.data() + poolAt;
            std::memcpy(m_doc->data.data() + dataAt, &text, sizeof text);
        }
    }

    const std::uint8_t* const m_begin;
    const std::uint8_t* m_p;
    const std::uint8_t* const m_end;
    TemplateSet* const m_templates;
    Document* const m_doc;  // null: a templates-only file
    std::vector<std::int64_t> m_counts;  // integer member values of the instances being read, for array sizes
    std::vector<std::pair<std::size_t, std::size_t>> m_stringFixups;  // (data offset, pool offset)
    bool m_failed = false;
    const char* m_reason = "";
    const std::uint8_t* m_failAt = nullptr;
};

}  // namespace

ParseResult ParseTemplateFile(const std::uint8_t* data, std::size_t size, TemplateSet* set) {
    return Parser(data, size, set, nullptr).Run();
}

ParseResult ParseDataFile(const std::uint8_t* data, std::size_t size, Document* doc) {
    return Parser(data, size, &doc->templates, doc).Run();
}

}  // namespace xfile
