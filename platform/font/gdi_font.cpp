// Font faces through fontconfig and FreeType, and their rasterisation into a
// glyph atlas (the only code that includes either library).
#include "platform/font/gdi_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <strings.h>
#include <system_error>
#include <thread>

struct GdiFont {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string family;
    std::string file;
    int height = 0;  // as asked: >0 cell, <0 em, 0 default
    bool fallback = false;
    bool embolden = false;
    bool underline = false;

    ~GdiFont() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

namespace {

// A face fontconfig matched for a pattern: file, index, family names, weight.
struct FaceMatch {
    std::string file;
    int index = 0;
    std::string family;
    bool hasRequestedFamily = false;
    int openTypeWeight = FW_NORMAL;
};

bool Match(const char* family, int weight, const char* wanted, FaceMatch* out) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;

    bool ok = false;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        ok = true;
        out->file = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match, FC_INDEX, 0, &out->index);
        int fcWeight = FC_WEIGHT_REGULAR;
        if (FcPatternGetInteger(match, FC_WEIGHT, 0, &fcWeight) == FcResultMatch) {
            out->openTypeWeight = FcWeightToOpenType(fcWeight);
        }
        // A file may carry several family names (e.g. a Latin and a native one).
        FcChar8* name = nullptr;
        for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
            if (i == 0) out->family = reinterpret_cast<const char*>(name);
            if (wanted && strcasecmp(reinterpret_cast<const char*>(name), wanted) == 0) {
                out->hasRequestedFamily = true;
                out->family = reinterpret_cast<const char*>(name);
            }
        }
    }
    FcPatternDestroy(match);
    return ok;
}

// FreeType's 26.6 fixed point to whole pixels.
int Ceil26(FT_Pos v) { return static_cast<int>((v + 63) >> 6); }
int Round26(FT_Pos v) { return static_cast<int>((v + 32) >> 6); }

// Sets the pixel size from the GDI height convention.
bool SetSize(GdiFont* f) {
    FT_Face face = f->face;
    int em = 0;
    if (f->height < 0) {
        em = -f->height;
    } else {
        const int cell = f->height > 0 ? f->height : kDefaultCellHeight;
        const int units = face->ascender - face->descender;  // descender is negative
        em = units > 0 ? cell * face->units_per_EM / units : cell;
    }
    if (em < 4) em = 4;
    return FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) == 0;
}

// The thread PrefetchFontConfig starts; joined by the first CreateFontA, or
// at exit.
struct ConfigPrefetch {
    std::mutex lock;
    std::thread worker;
    ~ConfigPrefetch() { Join(); }
    void Join() {
        std::lock_guard<std::mutex> hold(lock);
        if (worker.joinable()) worker.join();
    }
};
ConfigPrefetch& Prefetch() {
    static ConfigPrefetch prefetch;
    return prefetch;
}

}  // namespace

void PrefetchFontConfig() {
    static std::once_flag once;
    std::call_once(once, [] {
        ConfigPrefetch& p = Prefetch();
        std::lock_guard<std::mutex> hold(p.lock);
        try {
            p.worker = std::thread([] { FcInit(); });
        } catch (const std::system_error&) {  // CreateFontA reads them
        }
    });
}

HFONT CreateFontA(int height, int, int, int, int weight, DWORD, DWORD underline, DWORD, DWORD, DWORD, DWORD, DWORD,
                  DWORD, const char* faceName) {
    Prefetch().Join();
    if (!FcInit()) return nullptr;
    if (weight <= 0) weight = FW_NORMAL;  // FW_DONTCARE

    FaceMatch m;
    bool found = faceName && *faceName && Match(faceName, weight, faceName, &m) && m.hasRequestedFamily;
    bool fallback = false;
    if (!found) {
        m = FaceMatch{};
        found = Match("monospace", weight, nullptr, &m);
        fallback = true;
    }
    if (!found) return nullptr;

    GdiFont* f = new (std::nothrow) GdiFont;
    if (!f) return nullptr;
    if (FT_Init_FreeType(&f->library) != 0 ||
        FT_New_Face(f->library, m.file.c_str(), m.index, &f->face) != 0 || !FT_IS_SCALABLE(f->face)) {
        delete f;
        return nullptr;
    }
    f->family = m.family;
    f->file = m.file;
    f->height = height;
    f->fallback = fallback;
    f->embolden = weight - m.openTypeWeight >= 200;
    f->underline = underline != 0;
    if (!SetSize(f)) {
        delete f;
        return nullptr;
    }
    return f;
}

BOOL DeleteObject(HFONT font) {
    if (!font) return FALSE;
    delete font;
    return TRUE;
}

const char* GetFontFamily(HFONT font) { return font ? font->family.c_str() : ""; }
const char* GetFontFile(HFONT font) { return font ? font->file.c_str() : ""; }
bool FontIsFallback(HFONT font) { return font && font->fallback; }
bool FontIsEmboldened(HFONT font) { return font && font->embolden; }
bool FontIsUnderlined(HFONT font) { return font && font->underline; }

bool RasterizeGlyphAtlas(HFONT font, GlyphAtlas* atlas) {
    *atlas = GlyphAtlas{};
    if (!font || !font->face) return false;
    FT_Face face = font->face;
    const FT_Size_Metrics& metrics = face->size->metrics;
    atlas->ascent = Ceil26(metrics.ascender);
    atlas->descent = Ceil26(-metrics.descender);

    // The post table's underline (font units, position of its centre, negative
    // below the baseline), scaled to pixels.
    const int thickness = std::max(1, Round26(FT_MulFix(face->underline_thickness, metrics.y_scale)));
    const int centre = Round26(-FT_MulFix(face->underline_position, metrics.y_scale));
    atlas->underlineThickness = thickness;
    atlas->underlineTop = std::clamp(centre - thickness / 2, 1, std::max(1, atlas->descent - thickness));

    // Pass 1: render every glyph into its own bitmap to learn the sizes.
    constexpr int kCount = GlyphAtlas::kLastChar - GlyphAtlas::kFirstChar + 1;
    struct Bitmap {
        int width = 0, rows = 0;
        std::vector<BYTE> pixels;
    };
    std::vector<Bitmap> bitmaps(kCount);
    const FT_Pos bold = font->embolden ? 64 : 0;  // one pixel in 26.6
    for (int i = 0; i < kCount; ++i) {
        const FT_ULong c = static_cast<FT_ULong>(GlyphAtlas::kFirstChar + i);
        if (FT_Load_Char(face, c, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) != 0) return false;
        FT_GlyphSlot slot = face->glyph;
        if (bold && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_Outline_EmboldenXY(&slot->outline, bold, 0);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;
        const FT_Bitmap& b = slot->bitmap;
        AtlasGlyph& g = atlas->glyphs[i];
        g.left = static_cast<std::int16_t>(slot->bitmap_left);
        g.top = static_cast<std::int16_t>(slot->bitmap_top);
        g.advance = static_cast<std::int16_t>(Round26(slot->advance.x + bold));
        g.width = static_cast<std::int16_t>(b.width);
        g.height = static_cast<std::int16_t>(b.rows);
        Bitmap& out = bitmaps[i];
        out.width = static_cast<int>(b.width);
        out.rows = static_cast<int>(b.rows);
        out.pixels.resize(static_cast<std::size_t>(out.width) * out.rows);
        for (int y = 0; y < out.rows; ++y) {
            const unsigned char* row = b.buffer + static_cast<std::ptrdiff_t>(y) * b.pitch;
            if (b.pixel_mode == FT_PIXEL_MODE_GRAY) {
                std::memcpy(&out.pixels[static_cast<std::size_t>(y) * out.width], row, out.width);
            } else if (b.pixel_mode == FT_PIXEL_MODE_MONO) {
                for (int x = 0; x < out.width; ++x) {
                    out.pixels[static_cast<std::size_t>(y) * out.width + x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
                }
            }
        }
    }

    // Pass 2: shelf packing into rows of a fixed width, one texel of padding
    // around every glyph so nearest sampling never picks up a neighbour.
    constexpr int kAtlasWidth = 256;
    int x = 1, y = 1, shelf = 0;
    // The solid block first, at (1, 1).
    atlas->solidX = 1;
    atlas->solidY = 1;
    x += 2 + 1;
    shelf = 2;
    for (int i = 0; i < kCount; ++i) {
        AtlasGlyph& g = atlas->glyphs[i];
        if (g.width == 0 || g.height == 0) continue;
        if (g.width + 1 > kAtlasWidth - 1) return false;  // absurdly large size
        if (x + g.width + 1 > kAtlasWidth) {
            x = 1;
            y += shelf + 1;
            shelf = 0;
        }
        g.x = static_cast<std::int16_t>(x);
        g.y = static_cast<std::int16_t>(y);
        x += g.width + 1;
        shelf = std::max<int>(shelf, g.height);
    }
    int height = 1;
    while (height < y + shelf + 1) height *= 2;
    atlas->width = kAtlasWidth;
    atlas->height = height;
    atlas->coverage.assign(static_cast<std::size_t>(kAtlasWidth) * height, 0);
    for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) atlas->coverage[(atlas->solidY + dy) * kAtlasWidth + atlas->solidX + dx] = 255;
    }
    for (int i = 0; i < kCount; ++i) {
        const AtlasGlyph& g = atlas->glyphs[i];
        const Bitmap& b = bitmaps[i];
        for (int row = 0; row < b.rows; ++row) {
            std::memcpy(&atlas->coverage[static_cast<std::size_t>(g.y + row) * kAtlasWidth + g.x],
                        &b.pixels[static_cast<std::size_t>(row) * b.width], b.width);
        }
    }
    return true;
}
