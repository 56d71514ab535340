// Registry keys as registry-export text files, written atomically.
#include "platform/os/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <sstream>
#include <string_view>
#include <unordered_map>

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
    std::unordered_map<std::string, size_t> index;  // value name → its place in values
    std::vector<std::string> unreadable;  // "line N: TEXT" of the first lines that could not be read
    int unreadableCount = 0;              // all of them
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
    const auto it = key->index.find(name);
    return it == key->index.end() ? nullptr : &key->values[it->second];
}

// Replaces the value of the same name, or appends it.
void Put(RegKey* key, RegValue&& v) {
    const auto [it, added] = key->index.try_emplace(v.name, key->values.size());
    if (added) {
        key->values.push_back(std::move(v));
    } else {
        key->values[it->second] = std::move(v);
    }
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

// "line N: TEXT" for stderr: TEXT cut to kRegReportedChars bytes (not inside
// a UTF-8 sequence), control characters shown as '?', so a hostile or broken
// file cannot flood the terminal or drive it with escape sequences.
std::string Report(int lineNumber, const std::string& line) {
    size_t cut = line.size();
    if (cut > 0 && line[cut - 1] == '\r') --cut;  // a CR LF file's line end
    const size_t whole = cut;
    if (cut > static_cast<size_t>(kRegReportedChars)) {
        cut = kRegReportedChars;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    }
    std::string text = "line " + std::to_string(lineNumber) + ": ";
    for (size_t i = 0; i < cut; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        text.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    }
    if (cut < whole) text += "...";
    return text;
}

// The whole file at `path`, following symlinks. 0, or ERROR_FILE_NOT_FOUND
// when there is no file, or why an existing one cannot be read whole. The
// open does not block (a FIFO at the path is refused, not waited on).
LONG ReadWhole(const std::string& path, std::string* text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ERROR_FILE_NOT_FOUND;
        return errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT;
    }
    struct stat st {};
    LONG result = 0;
    if (fstat(fd, &st) != 0) {
        result = ERROR_READ_FAULT;
    } else if (!S_ISREG(st.st_mode)) {
        result = ERROR_BAD_FILE_TYPE;
    } else if (st.st_size > kRegMaxFileBytes) {
        result = ERROR_FILE_TOO_LARGE;
    } else {
        // Read to the end, one byte past the cap: the file may grow after fstat.
        text->resize(static_cast<size_t>(st.st_size) + 1);
        size_t have = 0;
        for (;;) {
            if (have == text->size()) {
                if (have > static_cast<size_t>(kRegMaxFileBytes)) break;
                text->resize(std::min(2 * have, static_cast<size_t>(kRegMaxFileBytes) + 1));
            }
            const ssize_t n = read(fd, text->data() + have, text->size() - have);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result = ERROR_READ_FAULT;
                break;
            }
            if (n == 0) break;
            have += static_cast<size_t>(n);
        }
        text->resize(have);
        if (result == 0 && have > static_cast<size_t>(kRegMaxFileBytes)) result = ERROR_FILE_TOO_LARGE;
    }
    close(fd);
    if (result != 0) text->clear();
    return result;
}

void Parse(RegKey* key, const std::string& text) {
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        RegValue v;
        v.line = static_cast<int>(key->lines.size());
        const std::string& line = key->lines.emplace_back(text, start, end - start);
        start = end + 1;
        if (!ParseLine(line, &v)) {
            if (!IsFrame(line) && key->unreadableCount++ < kRegMaxReportedLines) {
                key->unreadable.push_back(Report(v.line + 1, line));
            }
            if (v.name.empty()) continue;  // kept in the file, but names no value
        }
        Put(key, std::move(v));  // the last of duplicate lines wins
    }
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

// The file a save replaces: `path` with its symlinks followed, so that a
// settings file linked from a dotfiles folder stays a link and its target
// gets the new text. A dangling link gives its target (created by the save).
// False for a loop of links.
bool FollowLinks(const std::string& path, std::string* target) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = p;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t n = readlink(p.c_str(), link, sizeof link);
        if (n <= 0 || n == static_cast<ssize_t>(sizeof link)) return false;
        const std::string to(link, static_cast<size_t>(n));
        p = to.front() == '/' ? to : p.substr(0, p.rfind('/') + 1) + to;
    }
    return false;
}

// A name ReplaceFile's mkstemp makes for `base`: base + kTemporarySuffix
// with each X a letter or digit.
bool IsTemporaryName(const char* name, const std::string& base) {
    const std::string_view n = name;
    if (n.size() != base.size() + kTemporarySuffix.size() || !n.starts_with(base)) return false;
    for (size_t i = 0; i < kTemporarySuffix.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(n[base.size() + i]);
        if (kTemporarySuffix[i] == 'X' ? !std::isalnum(c) : c != kTemporarySuffix[i]) return false;
    }
    return true;
}

// Removes the folder's temporary files for BASE (IsTemporaryName): the temporary files of saves that
// were killed before their rename. Called with the folder's lock held, so no
// save is running (every save holds that lock from its temporary file's
// creation to the rename).
void RemoveLeftovers(int dirFd, const std::string& base) {
    const int listFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return;
    DIR* dir = fdopendir(listFd);
    if (!dir) {
        close(listFd);
        return;
    }
    while (const dirent* e = readdir(dir)) {
        struct stat st {};
        if (IsTemporaryName(e->d_name, base) && fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode)) {
            unlinkat(dirFd, e->d_name, 0);
        }
    }
    closedir(dir);
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

    // The key's path is absolute (RegistryFilePath), and so is every link
    // target FollowLinks gives: each has a folder part.
    if (!MakeDirectories(ParentFolder(key->path))) return ERROR_WRITE_FAULT;
    std::string target;
    if (!FollowLinks(key->path, &target)) return ERROR_WRITE_FAULT;
    const std::string dir = ParentFolder(target);
    const std::string base = target.substr(target.rfind('/') + 1);
    // The mode of the file replaced, kept; a new file gets mkstemp's 0600.
    // Something else than a regular file put there since the key was read is
    // left alone.
    struct stat old {};
    const bool replacing = stat(target.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) return ERROR_WRITE_FAULT;

    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return ERROR_WRITE_FAULT;
    // The folder's lock orders the saves of the saver and the dialog; a
    // folder that cannot be locked (some network file systems) is saved to
    // without removing leftovers, which may belong to a running save.
    int locked;
    while ((locked = flock(dirFd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked == 0) RemoveLeftovers(dirFd, base);

    ReplaceOptions options;
    if (replacing) options.mode = old.st_mode & 07777;
    options.sync = true;
    const bool ok = ReplaceFile(target, text.data(), text.size(), options);
    // The rename itself reaches the disk only with its folder.
    if (ok) fsync(dirFd);
    close(dirFd);  // releases the lock
    return ok ? 0 : ERROR_WRITE_FAULT;
}

}  // namespace

std::string RegistryFilePath(const char* subKey) {
    const std::string home = ConfigHome();
    return (home.empty() ? std::string("${XDG_CONFIG_HOME:-~/.config}") : home) + "/" + RelativePath(subKey) + ".reg";
}

LONG RegCreateKeyExA(HKEY root, const char* subKey, HKEY* result, DWORD* disposition) {
    if (!result || root != HKEY_CURRENT_USER || !subKey || !SafeSubKey(RelativePath(subKey))) {
        return ERROR_INVALID_PARAMETER;
    }
    if (ConfigHome().empty()) return ERROR_PATH_NOT_FOUND;
    // Up to 1 MiB of text and what it parses into: a failed allocation is a
    // failed read, never half a key.
    try {
        const std::string path = RegistryFilePath(subKey);
        std::string text;
        const LONG read = ReadWhole(path, &text);
        if (read != 0 && read != ERROR_FILE_NOT_FOUND) return read;
        auto key = std::make_unique<RegKey>();
        key->subKey = subKey;
        key->path = path;
        Parse(key.get(), text);
        if (disposition) *disposition = read == 0 ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
        *result = key.release();
        return 0;
    } catch (const std::bad_alloc&) {
        return ERROR_READ_FAULT;
    }
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
    if (const RegValue* old = Find(key, v.name)) v.line = old->line;
    Put(key, std::move(v));
    key->dirty = true;
    return 0;
}

const std::vector<std::string>& RegUnreadableLines(HKEY key) {
    static const std::vector<std::string> kNone;
    return key ? key->unreadable : kNone;
}

int RegUnreadableLineCount(HKEY key) { return key ? key->unreadableCount : 0; }

LONG RegCloseKey(HKEY key) {
    if (!key) return ERROR_INVALID_PARAMETER;
    LONG result = key->dirty ? Store(key) : 0;
    delete key;
    return result;
}
