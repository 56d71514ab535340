// The system font the frame-rate text is drawn in, shaped like the GDI calls
// the saver makes: CreateFontA resolves a face through fontconfig and opens it
// with FreeType; DeleteObject frees it. RasterizeGlyphAtlas renders the face
// once into an alpha atlas that the D3DX font (d3dx_font.h) uploads and draws.
//
// Face choice: the requested family when fontconfig has it (compared without
// regard to case, against every family name a font file carries); otherwise
// the system's "monospace" face at the same weight. A weight 200 or more
// above the chosen face's own (600 asked, a 400 face found) is emboldened by
// one pixel, as GDI synthesises bold. Only the ASCII characters 32..126 are
// rasterised; other bytes draw as '?'.
//
// Sizes are in pixels of the back buffer: a positive height is the cell
// height (ascent + descent), a negative one the em height, 0 the default
// cell height of kDefaultCellHeight pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/base/wintypes.h"

constexpr int FW_NORMAL = 400;
constexpr int FW_SEMIBOLD = 600;
constexpr int FW_BOLD = 700;
constexpr DWORD ANSI_CHARSET = 0;
constexpr DWORD OUT_TT_ONLY_PRECIS = 7;
constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
constexpr DWORD PROOF_QUALITY = 2;
constexpr DWORD DEFAULT_PITCH = 0;
constexpr DWORD FF_DONTCARE = 0;

constexpr int kDefaultCellHeight = 16;  // pixels, the size a height of 0 asks for

struct GdiFont;
using HFONT = GdiFont*;

// Null when no face can be found or opened. Width, escapement, orientation,
// character set and the precision, quality and pitch hints are accepted and
// ignored (the text is horizontal, ANSI, anti-aliased by coverage).
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, const char* faceName);
// Frees the font; TRUE when there was one.
BOOL DeleteObject(HFONT font);

// Starts reading fontconfig's configuration and caches on a thread of its
// own (a dozen milliseconds), so that a later CreateFontA finds them read; it
// waits for the thread if that is still at it. Once per process; without a
// thread to be had, CreateFontA reads them itself.
void PrefetchFontConfig();

// What CreateFontA chose (for logs, tests and the README).
const char* GetFontFamily(HFONT font);    // family name of the face in use
const char* GetFontFile(HFONT font);      // its file
bool FontIsFallback(HFONT font);          // the requested family was not found
bool FontIsEmboldened(HFONT font);        // bold synthesised
bool FontIsUnderlined(HFONT font);

// One glyph in the atlas: its texel rectangle and where it sits relative to
// the pen on the baseline (x right, y down, whole pixels).
struct AtlasGlyph {
    std::int16_t x, y, width, height;  // texels; width or height 0 for a blank glyph
    std::int16_t left;                 // pixels from the pen to the bitmap's left edge
    std::int16_t top;                  // pixels from the baseline up to the bitmap's top edge
    std::int16_t advance;              // pixels the pen moves on
};

// The rasterised face: coverage 0..255 per texel, top row first.
struct GlyphAtlas {
    static constexpr int kFirstChar = 32;
    static constexpr int kLastChar = 126;
    int width = 0;
    int height = 0;
    std::vector<BYTE> coverage;
    AtlasGlyph glyphs[kLastChar - kFirstChar + 1] = {};
    int ascent = 0;              // pixels above the baseline
    int descent = 0;             // pixels below it
    int underlineTop = 0;        // pixels below the baseline to the underline's top row
    int underlineThickness = 0;  // pixels, at least 1
    int solidX = 0, solidY = 0;  // a 2 x 2 block of full coverage, for underlines and bars

    int CellHeight() const { return ascent + descent; }
    // The glyph of a character byte; '?' stands in for those not rasterised.
    const AtlasGlyph& Glyph(unsigned char c) const {
        if (c < kFirstChar || c > kLastChar) c = '?';
        return glyphs[c - kFirstChar];
    }
};

// Renders characters 32..126 once at the font's size; false when FreeType
// fails (the atlas is then left empty).
bool RasterizeGlyphAtlas(HFONT font, GlyphAtlas* atlas);
