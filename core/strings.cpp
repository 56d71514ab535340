// Bounded string copy and text conversion. See strings.h.
#include "core/strings.h"

#include <cstring>

namespace {

// Decodes one UTF-8 sequence at s; returns its length (1 for an invalid byte,
// which becomes U+FFFD so a bad name still converts).
int DecodeUtf8(const unsigned char* s, char32_t* out) {
    unsigned c = s[0];
    int len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0) {
        *out = 0xFFFD;
        return 1;
    }
    char32_t v = len == 1 ? c : c & (0x7Fu >> len);
    for (int i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            *out = 0xFFFD;
            return 1;
        }
        v = (v << 6) | (s[i] & 0x3F);
    }
    *out = v;
    return len;
}

}  // namespace

void AnsiToWide(wchar_t* wide, const char* ansi, int count) {
    if (!wide || !ansi) return;
    if (count == -1) count = static_cast<int>(std::strlen(ansi)) + 1;
    if (count <= 0) return;
    const auto* s = reinterpret_cast<const unsigned char*>(ansi);
    int n = 0;
    while (*s && n < count - 1) {
        char32_t c;
        s += DecodeUtf8(s, &c);
        wide[n++] = static_cast<wchar_t>(c);
    }
    wide[n] = 0;
    wide[count - 1] = 0;
}

void AnsiToWideGuarded(wchar_t* wide, const char* ansi, int count) {
    if (count == 0) return;
    AnsiToWide(wide, ansi, count);
}

void CopyStringBounded(char* dst, const char* src, int count) {
    if (!dst || !src || count == 0) return;
    if (count == -1) {
        std::strcpy(dst, src);
        return;
    }
    if (count < 0) return;
    std::strncpy(dst, src, static_cast<std::size_t>(count));
    dst[count - 1] = 0;
}
