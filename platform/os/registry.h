// The current user's registry as text files: each key is one file in the
// registry-export form, under the configuration home. Key
// "Software\Ostrelin\NerevalSaver\1.4" lives in
// ${XDG_CONFIG_HOME:-~/.config}/Ostrelin/NerevalSaver/1.4.reg:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Ostrelin\NerevalSaver\1.4]
//   "intChkFPS"=dword:00000001
//   "strBGMUsr"="tune_main.mid"
//
// A key is read whole when opened and written when closed, if a value was set:
// to a temporary file in the same folder, flushed to disk, then renamed over
// the old file and the folder flushed, so a crash never leaves half a file.
// Only the lines of the values set are rewritten (new values are appended):
// lines that cannot be read, comments and values the program does not know
// stay as they were.
//
// A key whose file exists but cannot be read whole (no permission, not a
// regular file, larger than kRegMaxFileBytes, a read error) is not opened at
// all, so it can never be written: the user's file is never replaced by
// values that were not read from it. A symlinked file stays a symlink: its
// target is replaced, keeping its mode. A save holds a lock on the folder
// while it writes, and removes the temporary files of saves that were killed.
#pragma once

#include <string>
#include <vector>

#include "platform/base/wintypes.h"

using LONG = std::int32_t;
struct RegKey;
using HKEY = RegKey*;

HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u));

constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_READ_FAULT = 30;
constexpr LONG ERROR_BAD_FILE_TYPE = 222;
constexpr LONG ERROR_FILE_TOO_LARGE = 223;

// The largest key file read (the real one is under 2 KiB): a larger one
// counts as unreadable.
constexpr long kRegMaxFileBytes = 1L << 20;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens the key, or makes a new empty one (written on close once it has a
// value). Returns 0 (ERROR_SUCCESS) and the disposition. When the key's file
// exists but cannot be read whole, returns ERROR_ACCESS_DENIED (no
// permission), ERROR_BAD_FILE_TYPE (not a regular file: a FIFO, a folder),
// ERROR_FILE_TOO_LARGE or ERROR_READ_FAULT, and no key; ERROR_PATH_NOT_FOUND
// when the user has no configuration folder.
LONG RegCreateKeyExA(HKEY root, const char* subKey, HKEY* result, DWORD* disposition);
// Copies a value. *size in: the buffer size; out: the bytes the value takes
// (a string with its NUL). ERROR_FILE_NOT_FOUND when missing; ERROR_MORE_DATA
// (nothing copied) when the buffer is too small; ERROR_INVALID_DATA when the
// file names the value on a line whose value cannot be read. data may be null
// to ask the size.
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
// REG_DWORD takes 4 bytes; REG_SZ takes text up to its first NUL.
LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
// Writes the key's file if a value was set, then frees the key. Non-zero when
// that write failed (the old file is then left as it was).
LONG RegCloseKey(HKEY key);
// The first lines of the key's file that could not be read when it was opened,
// at most kRegMaxReportedLines, as "line N: TEXT" with TEXT cut to
// kRegReportedChars bytes and control characters shown as '?' (not a call of
// the original platform: the settings name them).
constexpr int kRegMaxReportedLines = 10;
constexpr int kRegReportedChars = 80;
const std::vector<std::string>& RegUnreadableLines(HKEY key);
// How many lines could not be read, reported or not.
int RegUnreadableLineCount(HKEY key);

// The file behind a sub-key of HKEY_CURRENT_USER, for messages and tests.
// Without a configuration folder (no absolute HOME or XDG_CONFIG_HOME) it
// names the folder as the user would set it: "${XDG_CONFIG_HOME:-~/.config}/…".
std::string RegistryFilePath(const char* subKey);
