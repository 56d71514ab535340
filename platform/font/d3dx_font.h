// A text font on the device, shaped like the D3DX font: D3DXCreateFont turns
// a GDI font (gdi_font.h) into a glyph atlas texture once; DrawTextA draws a
// string as textured, pre-transformed quads in back-buffer pixels.
//
// Crispness: every quad sits on whole pixels, one texel per pixel, sampled
// nearest, so the glyphs look exactly as FreeType rendered them whatever the
// string's position. The colour multiplies the glyph coverage, which becomes
// the alpha of an ordinary SRCALPHA / INVSRCALPHA blend.
//
// States: DrawTextA sets the render and stage-0/1 texture states it needs,
// draws, and puts every one of them back as it found it; it leaves texture
// stage 0 empty and the vertex format set to its own (the next draw sets its
// own, as every draw of the saver does).
//
// Ownership: the font holds its atlas texture (device-owned GL object,
// survives Reset) and nothing else of the GDI font, which may be deleted at
// once. Release the font before the device.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/font/gdi_font.h"
#include "platform/os/window.h"

// DrawText format flags (the subset honoured: the text is always left- and
// top-aligned).
constexpr DWORD DT_TOP = 0x0;
constexpr DWORD DT_LEFT = 0x0;
constexpr DWORD DT_SINGLELINE = 0x20;  // newlines are not line breaks
constexpr DWORD DT_NOCLIP = 0x100;     // without it, glyphs are cut at the rectangle
constexpr DWORD DT_CALCRECT = 0x400;   // measure only: the rectangle's right and bottom are set, nothing drawn

class ID3DXFont : public D3DResource {
public:
    static constexpr int kMaxQuads = 256;  // glyphs and underlines per call; more are dropped

    // Draws `count` bytes of text (-1: up to its NUL) into the rectangle with
    // the colour (0xAARRGGBB). Returns the height of the text drawn, in
    // pixels (0 when nothing was given).
    virtual int DrawTextA(const char* text, int count, RECT* rect, DWORD format, D3DCOLOR color) = 0;

    // The atlas as rasterised (tests and tools).
    virtual const GlyphAtlas& Atlas() const = 0;
};

// Rasterises the font and creates the atlas texture. E_INVALIDARG for a null
// device or font, E_FAIL when the face cannot be rendered, the device's error
// when the texture cannot be created.
HRESULT D3DXCreateFont(IDirect3DDevice8* device, HFONT font, ID3DXFont** out);
