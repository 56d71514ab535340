// The single-instance guard: a named "mutex" that is an advisory lock on a
// file named after it in the runtime directory. The kernel drops the lock
// when the process ends, however it ends.
#pragma once

#include "platform/base/wintypes.h"

struct NamedMutex;
using HANDLE = NamedMutex*;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;

// Takes the lock. Null when it cannot (GetLastError: ERROR_ACCESS_DENIED when
// the lock file cannot be opened, ERROR_ALREADY_EXISTS when another process
// holds it). At most one mutex per process.
HANDLE CreateMutexA(const void* security, BOOL initialOwner, const char* name);
BOOL ReleaseMutex(HANDLE mutex);
BOOL CloseHandle(HANDLE mutex);
DWORD GetLastError();

// Tests only: in a forked child, drop the inherited handle without unlocking
// the parent's lock.
void ForgetInheritedMutexForTest();
