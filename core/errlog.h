// The start-up log: every loading step appends a line before it starts and a
// "Failed" line when it fails (one tab per nesting level). Kept in memory and
// written to NerevalErrLog.txt in the state directory only when start-up fails.
//
// The lines are fixed texts: people compare logs line by line, and some lines
// carry odd spellings (a missing newline, two dots, a singular) on purpose.
// Lines marked "fixed log text, sic" must not be corrected.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <type_traits>

#include "platform/base/wintypes.h"

class ErrLog {
public:
    static constexpr std::size_t kCapacity = 10000;  // bytes, including the NUL

    ErrLog();

    // Appends text; when it would not fit, nothing is appended and the current
    // length is returned (0 when appended).
    int Append(const char* text);
    // Writes the whole log to ${XDG_STATE_HOME:-~/.local/state}/NerevalErrLog.txt,
    // replacing an older file; does nothing when the file cannot be written,
    // or is a symlink or not the user's (WriteOwnFile).
    // True when the whole log reached the file.
    bool Write() const;

    const char* Text() const { return m_szText; }
    std::size_t Length() const { return m_nLength; }

private:
    char m_szText[kCapacity];
    std::size_t m_nLength = 0;
};

// The file name Write uses inside the state directory.
const char* ErrLogFileName();
// The whole path Write uses, resolved now (for messages to the user).
std::string ErrLogPath();

// Appends a line to a loader's log, which may be null (tools and tests load
// without one).
inline void LogLine(ErrLog* log, const char* text) {
    if (log) log->Append(text);
}

// One logged loading step: appends `line`, runs `step` and, when it fails,
// appends `failLine` (the caller's fixed text, with its own nesting tabs).
// The step returns an HRESULT, or a bool or pointer where false or null
// means it failed. Returns the step's HRESULT (S_OK or E_FAIL for the others).
template <typename Step>
HRESULT ObjectStep(ErrLog* log, const char* line, const char* failLine, Step&& step);

// The same for a step whose failure line carries its error code: `failFormat`
// is the caller's fixed text with one %x for the HRESULT ("\tFailed hr=%x\n").
template <typename Step>
HRESULT ObjectStepWithCode(ErrLog* log, const char* line, const char* failFormat, Step&& step) {
    LogLine(log, line);
    const HRESULT hr = static_cast<HRESULT>(step());
    if (FAILED(hr) && log) {
        char text[128];
        std::snprintf(text, sizeof text, failFormat, static_cast<unsigned>(hr));
        log->Append(text);
    }
    return hr;
}

template <typename Step>
HRESULT ObjectStep(ErrLog* log, const char* line, const char* failLine, Step&& step) {
    LogLine(log, line);
    using Result = std::invoke_result_t<Step&>;
    HRESULT hr;
    if constexpr (std::is_same_v<Result, bool> || std::is_pointer_v<Result>) {
        hr = step() ? S_OK : E_FAIL;
    } else {
        hr = static_cast<HRESULT>(step());
    }
    if (FAILED(hr)) LogLine(log, failLine);
    return hr;
}
