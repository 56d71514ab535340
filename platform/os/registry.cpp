// Registry keys as registry-export text files, written atomically.
#include "platform/os/registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/os/paths.h"

struct RegValue {
    std::string name;
    DWORD type = REG_DWORD;  // REG_NONE: a line with this name whose value cannot be read
    DWORD dword = 0;
    std::string text;
    int line = -1;         // index in RegKey::lines of the line that holds it; -1 for a new value
    bool changed = false;  // set since the file was read: its line is written anew
};

struct RegKey {
    std::string subKey;
    std::string path;
    std::vector<std::string> lines;  // the file as read, line by line, without the newline
    std::vector<RegValue> values;    // file order; new values are appended
    std::vector<std::string> unreadable;  // "line N: TEXT" of each line that could not be read
    bool dirty = false;
};

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

// "a\b" → "a/b"; a leading "Software\" is dropped: the configuration home
// already is the user's software settings.
std::string RelativePath(const char* subKey) {
    std::string s = subKey ? subKey : "";
    const std::string software = "Software\\";
    if (s.compare(0, software.size(), software) == 0) s.erase(0, software.size());
    for (char& c : s) {
        if (c == '\\') c = '/';
    }
    return s;
}

bool SafeSubKey(const std::string& rel) {
    if (rel.empty() || rel.front() == '/' || rel.back() == '/') return false;
    std::stringstream parts(rel);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty() || part == "." || part == "..") return false;
    }
    return true;
}

// Reads a quoted, escaped string starting at s[i] == '"'. Advances i past
// the closing quote. False when the string is not closed.
bool ReadQuoted(const std::string& s, size_t& i, std::string* out) {
    if (i >= s.size() || s[i] != '"') return false;
    out->clear();
    for (++i; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c == '\\') {
            if (++i >= s.size()) return false;
            char e = s[i];
            out->push_back(e == 'n' ? '\n' : e == 'r' ? '\r' : e);
        } else {
            out->push_back(c);
        }
    }
    return false;
}

void WriteQuoted(std::string& out, const std::string& s) {
    out.push_back('"');
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

RegValue* Find(RegKey* key, const std::string& name) {
    for (RegValue& v : key->values) {
        if (v.name == name) return &v;
    }
    return nullptr;
}

// One value line, or false for anything else (header, section, garbage).
// A line that names a value but whose value cannot be read gives that name
// with type REG_NONE and false.
bool ParseLine(const std::string& line, RegValue* out) {
    size_t i = 0;
    out->type = REG_NONE;
    std::string name;
    if (!ReadQuoted(line, i, &name) || name.empty()) return false;
    if (i >= line.size() || line[i] != '=') return false;
    out->name = name;
    ++i;
    if (line.compare(i, 6, "dword:") == 0) {
        std::string hex = line.substr(i + 6);
        while (!hex.empty() && (hex.back() == '\r' || hex.back() == ' ')) hex.pop_back();
        if (hex.size() != 8) return false;
        for (char c : hex) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        }
        out->type = REG_DWORD;
        out->dword = static_cast<DWORD>(std::strtoul(hex.c_str(), nullptr, 16));
        return true;
    }
    if (i < line.size() && line[i] == '"') {
        if (!ReadQuoted(line, i, &out->text)) return false;
        out->type = REG_SZ;
        return true;
    }
    return false;
}

// Lines that hold no value and are no error: blank lines, the header, the
// key's section line and comments.
bool IsFrame(const std::string& line) {
    std::string t = line;
    while (!t.empty() && (t.back() == '\r' || t.back() == ' ' || t.back() == '\t')) t.pop_back();
    return t.empty() || t == kHeader || t.front() == '[' || t.front() == ';';
}

void Load(RegKey* key) {
    std::ifstream in(key->path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        RegValue v;
        v.line = static_cast<int>(key->lines.size());
        key->lines.push_back(line);
        if (!ParseLine(line, &v)) {
            if (!IsFrame(line)) key->unreadable.push_back("line " + std::to_string(v.line + 1) + ": " + line);
            if (v.name.empty()) continue;  // kept in the file, but names no value
        }
        if (RegValue* old = Find(key, v.name)) {
            *old = v;  // the last of duplicate lines wins
        } else {
            key->values.push_back(v);
        }
    }
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FormatValue(const RegValue& v) {
    std::string text;
    WriteQuoted(text, v.name);
    if (v.type == REG_DWORD) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "=dword:%08x", v.dword);
        text += hex;
    } else {
        text.push_back('=');
        WriteQuoted(text, v.text);
    }
    return text;
}

// The file as read, with the lines of changed values replaced and new values
// appended: every other line (comments, values of other programs, lines that
// could not be read) stays byte for byte as the user wrote it.
LONG Store(const RegKey* key) {
    std::vector<std::string> lines = key->lines;
    if (lines.empty()) lines = {kHeader, "", "[HKEY_CURRENT_USER\\" + key->subKey + "]"};
    // Lines written anew end as the file's own lines do (CR LF in a file
    // edited on Windows).
    const std::string cr = !key->lines.empty() && !key->lines.front().empty() && key->lines.front().back() == '\r' ? "\r" : "";
    for (const RegValue& v : key->values) {
        if (!v.changed) continue;
        if (v.line >= 0) {
            lines[static_cast<size_t>(v.line)] = FormatValue(v) + cr;
        } else {
            lines.push_back(FormatValue(v) + cr);
        }
    }
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    std::string dir = key->path.substr(0, key->path.rfind('/'));
    if (!MakeDirectories(dir)) return ERROR_WRITE_FAULT;
    std::string tmp = key->path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) return ERROR_WRITE_FAULT;
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), key->path.c_str()) != 0) {
        unlink(tmp.c_str());
        return ERROR_WRITE_FAULT;
    }
    return 0;
}

}  // namespace

std::string RegistryFilePath(const char* subKey) { return ConfigHome() + "/" + RelativePath(subKey) + ".reg"; }

LONG RegCreateKeyExA(HKEY root, const char* subKey, HKEY* result, DWORD* disposition) {
    if (!result || root != HKEY_CURRENT_USER || !subKey || !SafeSubKey(RelativePath(subKey))) {
        return ERROR_INVALID_PARAMETER;
    }
    auto* key = new RegKey;
    key->subKey = subKey;
    key->path = RegistryFilePath(subKey);
    bool exists = access(key->path.c_str(), F_OK) == 0;
    if (exists) Load(key);
    if (disposition) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = key;
    return 0;
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    if (!key || !name) return ERROR_INVALID_PARAMETER;
    const RegValue* v = Find(key, name);
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (v->type == REG_NONE) return ERROR_INVALID_DATA;
    if (type) *type = v->type;
    DWORD need = v->type == REG_DWORD ? 4 : static_cast<DWORD>(v->text.size() + 1);
    if (!size) return data ? ERROR_INVALID_PARAMETER : 0;
    DWORD have = *size;
    *size = need;
    if (!data) return 0;
    if (have < need) return ERROR_MORE_DATA;
    if (v->type == REG_DWORD) {
        std::memcpy(data, &v->dword, 4);
    } else {
        std::memcpy(data, v->text.c_str(), need);
    }
    return 0;
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    if (!key || !name || !*name || (!data && size)) return ERROR_INVALID_PARAMETER;
    RegValue v;
    v.name = name;
    v.type = type;
    if (type == REG_DWORD) {
        if (size != 4) return ERROR_INVALID_PARAMETER;
        std::memcpy(&v.dword, data, 4);
    } else if (type == REG_SZ) {
        const char* text = reinterpret_cast<const char*>(data);
        v.text.assign(text, strnlen(text, size));
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    v.changed = true;
    if (RegValue* old = Find(key, v.name)) {
        v.line = old->line;
        *old = v;
    } else {
        key->values.push_back(v);
    }
    key->dirty = true;
    return 0;
}

const std::vector<std::string>& RegUnreadableLines(HKEY key) {
    static const std::vector<std::string> kNone;
    return key ? key->unreadable : kNone;
}

LONG RegCloseKey(HKEY key) {
    if (!key) return ERROR_INVALID_PARAMETER;
    LONG result = key->dirty ? Store(key) : 0;
    delete key;
    return result;
}
