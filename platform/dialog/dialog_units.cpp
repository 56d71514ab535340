// Dialog-unit arithmetic, the dialog font stand-ins and the text copy every
// DialogWindow shares.
#include "platform/dialog/dialog_units.h"

#include <cstdint>
#include <cstring>

#include "platform/dialog/dialog.h"

int AverageCharWidth(int sampleWidth) { return (sampleWidth + 26) / 52; }

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    std::int64_t p = static_cast<std::int64_t>(a) * b;
    bool negative = (p < 0) != (c < 0);
    std::int64_t q = ((p < 0 ? -p : p) + (c < 0 ? -c : c) / 2) / (c < 0 ? -c : c);
    return static_cast<int>(negative ? -q : q);
}

RECT DialogUnitsToPixels(const DialogBaseUnits& base, int x, int y, int cx, int cy) {
    RECT r;
    r.left = MulDiv(x, base.cx, 4);
    r.top = MulDiv(y, base.cy, 8);
    r.right = r.left + MulDiv(cx, base.cx, 4);
    r.bottom = r.top + MulDiv(cy, base.cy, 8);
    return r;
}

const char* DialogFontFamily(const char* face) {
    struct Substitute {
        const char* face;
        const char* family;
    };
    static constexpr Substitute kSubstitutes[] = {
        {"ＭＳ Ｐゴシック", "IPAPGothic"},  // MS P Gothic, full-width spelling
        {"MS PGothic", "IPAPGothic"},
        {"ＭＳ ゴシック", "IPAGothic"},  // the fixed-pitch sibling
        {"MS Gothic", "IPAGothic"},
    };
    if (!face) return "Sans";
    for (const Substitute& s : kSubstitutes) {
        if (std::strcmp(face, s.face) == 0) return s.family;
    }
    return face;
}

UINT CopyItemText(const char* text, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    std::size_t n = text ? std::strlen(text) : 0;
    if (n > static_cast<std::size_t>(size - 1)) {
        n = static_cast<std::size_t>(size - 1);
        // Step back over continuation bytes so no character is cut in half.
        std::size_t cut = n;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        n = cut;
    }
    if (n) std::memcpy(buffer, text, n);
    buffer[n] = 0;
    return static_cast<UINT>(n);
}
