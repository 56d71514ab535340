// The in-memory start-up log and its one file.
#include "core/errlog.h"

#include <cstring>
#include <string>

#include "platform/os/paths.h"

const char* ErrLogFileName() { return "NerevalErrLog.txt"; }

std::string ErrLogPath() { return StateHome() + "/" + ErrLogFileName(); }

ErrLog::ErrLog() { std::memset(m_szText, 0, sizeof m_szText); }

int ErrLog::Append(const char* text) {
    if (!text) return static_cast<int>(m_nLength);
    std::size_t n = std::strlen(text);
    if (n + m_nLength + 1 > kCapacity) return static_cast<int>(m_nLength);
    std::memcpy(m_szText + m_nLength, text, n + 1);
    m_nLength += n;
    return 0;
}

bool ErrLog::Write() const {
    // The state directory is looked up now, not at construction: the log is a
    // global built before main, and the directory may be set up after that.
    // Without a state directory there is no log: never one in a shared folder.
    std::string dir = StateHome();
    if (!MakeDirectories(dir)) return false;
    return WriteOwnFile(ErrLogPath(), m_szText, m_nLength);
}
