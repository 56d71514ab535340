// Where the saver keeps its files on this platform (XDG base directories), and
// how it writes them: only in folders of the user's own, never through a
// symlink, never in a shared folder such as /tmp.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// ${XDG_CONFIG_HOME:-~/.config}: settings. Empty when neither the variable
// nor a home folder is known (HOME unset or relative, no passwd entry):
// callers refuse then rather than use a shared folder.
std::string ConfigHome();
// ${XDG_STATE_HOME:-~/.local/state}: the start-up error log. Empty likewise.
std::string StateHome();
// ${XDG_RUNTIME_DIR} when it is a folder owned by this user with mode 0700
// (what the base-directory rules promise), else the state folder: the
// single-instance locks. Empty when neither is known.
std::string RuntimeDir();
// Why the settings and the log have no folder, or null when both have one:
// a start refuses with this reason.
const char* UserFoldersMissing();

// mkdir -p, each folder it creates with mode 0700; true when the folder
// exists afterwards.
bool MakeDirectories(const std::string& path);
// True when `dir` is a folder owned by this user that other users cannot
// write to: a folder in which nobody else can plant a file or a symlink.
bool IsOwnFolder(const std::string& dir);
// The folder part of `path`: "/" for a file in the root, empty for a name
// without a folder (which IsOwnFolder refuses).
std::string ParentFolder(const std::string& path);
// open(2) of `path` with `flags` | O_CREAT (new files get `mode`, a mode_t,
// less the umask), only when its folder passes IsOwnFolder and the file is a
// regular file of this user's: never through a symlink, never blocking on a
// FIFO. The descriptor (O_CLOEXEC, ours to close), or -1.
int OpenOwnFile(const std::string& path, int flags, unsigned mode);
// Replaces the contents of the file `path` with `size` bytes, creating it
// (mode 0644 less the umask) when missing; refused (false) where
// OpenOwnFile refuses.
bool WriteOwnFile(const std::string& path, const void* data, std::size_t size);

// Writes all `size` bytes to `fd`, going on after short writes and EINTR.
// False on an error.
bool WriteAll(int fd, const void* data, std::size_t size);

// Appended to a file's name for the template of its temporary file: mkstemp
// turns each X into a letter or digit ("1.4.reg.XXXXXX" → "1.4.reg.a9Zq3k").
inline constexpr std::string_view kTemporarySuffix = ".XXXXXX";

struct ReplaceOptions {
    // Permission bits (07777) the new file gets, those of the file it
    // replaces say; none leaves mkstemp's 0600. A mode_t: this header stays
    // free of system headers, as callers above the platform include it.
    std::optional<unsigned> mode;
    // Flushes the new file to the disk before the rename, so that after a
    // crash the name holds the old contents or the new, never an empty file.
    bool sync = false;
};

// Writes `size` bytes to a new, exclusive temporary file beside `path`
// (path + kTemporarySuffix through mkstemp: never an existing file or
// symlink) and renames it over `path`: a reader never sees half a file, and a
// symlink at `path` is replaced, not followed. False (and no file left
// behind) on failure.
bool ReplaceFile(const std::string& path, const void* data, std::size_t size, const ReplaceOptions& options = {});

// Tests only: replaces the passwd look-up of the home folder, which returns
// the folder or null (null as the function restores getpwuid).
void SetPasswdHomeForTest(const char* (*lookup)());
