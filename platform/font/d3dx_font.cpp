// The D3DX-shaped font: glyph atlas texture and text as pre-transformed quads.
#include "platform/font/d3dx_font.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/base/com_ptr.h"

namespace {

struct FontVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kFontFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// The states DrawTextA changes, saved before and restored after each call.
constexpr D3DRENDERSTATETYPE kRenderStates[] = {
    D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZENABLE, D3DRS_ZWRITEENABLE,
    D3DRS_ALPHATESTENABLE,  D3DRS_FOGENABLE, D3DRS_CULLMODE, D3DRS_FILLMODE,
};
struct StageState {
    DWORD stage;
    D3DTEXTURESTAGESTATETYPE type;
    DWORD value;  // what the text needs
};
constexpr StageState kStageStates[] = {
    {0, D3DTSS_COLOROP, D3DTOP_MODULATE},   {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},   {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
    {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},   {0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_TEXCOORDINDEX, 0},           {0, D3DTSS_MINFILTER, D3DTEXF_POINT},
    {0, D3DTSS_MAGFILTER, D3DTEXF_POINT},   {0, D3DTSS_MIPFILTER, D3DTEXF_NONE},
    {0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP}, {0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP},
    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
};
constexpr int kRenderStateCount = sizeof kRenderStates / sizeof kRenderStates[0];
constexpr int kStageStateCount = sizeof kStageStates / sizeof kStageStates[0];

class Font final : public ID3DXFont {
public:
    HRESULT Create(IDirect3DDevice8* device, HFONT font) {
        if (!RasterizeGlyphAtlas(font, &m_atlas)) return E_FAIL;
        // White texels whose alpha is the coverage, in BGRA byte order.
        std::vector<BYTE> bgra(m_atlas.coverage.size() * 4);
        for (std::size_t i = 0; i < m_atlas.coverage.size(); ++i) {
            bgra[i * 4 + 0] = bgra[i * 4 + 1] = bgra[i * 4 + 2] = 255;
            bgra[i * 4 + 3] = m_atlas.coverage[i];
        }
        HRESULT hr = device->CreateTextureFromPixels(static_cast<UINT>(m_atlas.width),
                                                     static_cast<UINT>(m_atlas.height), bgra.data(), m_pTexture.Out());
        if (FAILED(hr)) return hr;
        m_pDevice = device;
        m_fTexelU = 1.0f / static_cast<float>(m_atlas.width);
        m_fTexelV = 1.0f / static_cast<float>(m_atlas.height);
        m_bUnderline = FontIsUnderlined(font);
        return S_OK;
    }

    int DrawTextA(const char* text, int count, RECT* rect, DWORD format, D3DCOLOR color) override {
        if (!text || !rect) return 0;
        const int length = count < 0 ? static_cast<int>(std::strlen(text)) : count;
        if (length == 0) return 0;
        m_nQuads = 0;
        m_bClip = (format & DT_NOCLIP) == 0;
        m_Clip = *rect;
        m_Color = color;

        const int cell = m_atlas.CellHeight();
        int lineTop = rect->top;
        int lineStart = rect->left;
        int pen = rect->left;
        int widest = 0;
        int lines = 1;
        for (int i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (c == '\r' && !(format & DT_SINGLELINE)) continue;
            if (c == '\n' && !(format & DT_SINGLELINE)) {
                EndLine(lineStart, pen, lineTop);
                widest = std::max(widest, pen - lineStart);
                lineTop += cell;
                pen = lineStart;
                ++lines;
                continue;
            }
            const AtlasGlyph& g = m_atlas.Glyph(c);
            if (g.width > 0 && g.height > 0) {
                AddQuad(pen + g.left, lineTop + m_atlas.ascent - g.top, g.width, g.height, g.x, g.y, g.width,
                        g.height);
            }
            pen += g.advance;
        }
        EndLine(lineStart, pen, lineTop);
        widest = std::max(widest, pen - lineStart);
        const int height = lines * cell;

        if (format & DT_CALCRECT) {
            rect->right = rect->left + widest;
            rect->bottom = rect->top + height;
            return height;
        }
        if (m_nQuads > 0) Submit();
        return height;
    }

    const GlyphAtlas& Atlas() const override { return m_atlas; }

private:
    // The underline under one line of text, across its whole advance.
    void EndLine(int start, int end, int lineTop) {
        if (!m_bUnderline || end <= start) return;
        const int y = lineTop + m_atlas.ascent + m_atlas.underlineTop;
        // Stretched over the 2 x 2 solid block: every sample lands inside it.
        AddQuad(start, y, end - start, m_atlas.underlineThickness, m_atlas.solidX, m_atlas.solidY, 2, 2);
    }

    // A quad of w x h pixels at (x, y) showing the texel rectangle (tx, ty,
    // tw, th); glyph quads map one texel to one pixel, so clipping trims both
    // by the same whole numbers.
    void AddQuad(int x, int y, int w, int h, int tx, int ty, int tw, int th) {
        if (m_nQuads >= kMaxQuads) return;
        if (m_bClip) {
            const bool oneToOne = (tw == w && th == h);
            const int left = std::max(x, m_Clip.left), top = std::max(y, m_Clip.top);
            const int right = std::min(x + w, m_Clip.right), bottom = std::min(y + h, m_Clip.bottom);
            if (right <= left || bottom <= top) return;
            if (oneToOne) {
                tx += left - x;
                ty += top - y;
                tw = right - left;
                th = bottom - top;
            }
            x = left;
            y = top;
            w = right - left;
            h = bottom - top;
        }
        // Pixel i covers [i - 0.5, i + 0.5] in pre-transformed coordinates,
        // so a quad over whole pixels starts half a pixel before its first.
        const float x0 = static_cast<float>(x) - 0.5f, y0 = static_cast<float>(y) - 0.5f;
        const float x1 = x0 + static_cast<float>(w), y1 = y0 + static_cast<float>(h);
        const float u0 = static_cast<float>(tx) * m_fTexelU, v0 = static_cast<float>(ty) * m_fTexelV;
        const float u1 = static_cast<float>(tx + tw) * m_fTexelU, v1 = static_cast<float>(ty + th) * m_fTexelV;
        FontVertex* q = &m_Vertices[m_nQuads * 6];
        q[0] = {x0, y0, 0.0f, 1.0f, m_Color, u0, v0};
        q[1] = {x1, y0, 0.0f, 1.0f, m_Color, u1, v0};
        q[2] = {x0, y1, 0.0f, 1.0f, m_Color, u0, v1};
        q[3] = q[2];
        q[4] = q[1];
        q[5] = {x1, y1, 0.0f, 1.0f, m_Color, u1, v1};
        ++m_nQuads;
    }

    void Submit() {
        IDirect3DDevice8* d = m_pDevice;
        DWORD savedRender[kRenderStateCount];
        DWORD savedStage[kStageStateCount];
        for (int i = 0; i < kRenderStateCount; ++i) d->GetRenderState(kRenderStates[i], &savedRender[i]);
        for (int i = 0; i < kStageStateCount; ++i) {
            d->GetTextureStageState(kStageStates[i].stage, kStageStates[i].type, &savedStage[i]);
        }

        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
        d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        d->SetRenderState(D3DRS_FOGENABLE, FALSE);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        d->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
        for (const StageState& s : kStageStates) d->SetTextureStageState(s.stage, s.type, s.value);
        d->SetTexture(0, m_pTexture);
        d->SetVertexShader(kFontFvf);
        d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(m_nQuads * 2), m_Vertices, sizeof(FontVertex));
        d->SetTexture(0, nullptr);

        for (int i = 0; i < kRenderStateCount; ++i) d->SetRenderState(kRenderStates[i], savedRender[i]);
        for (int i = 0; i < kStageStateCount; ++i) {
            d->SetTextureStageState(kStageStates[i].stage, kStageStates[i].type, savedStage[i]);
        }
    }

    IDirect3DDevice8* m_pDevice = nullptr;  // lent by the creator, which outlives the font
    ComPtr<IDirect3DTexture8> m_pTexture;
    GlyphAtlas m_atlas;
    float m_fTexelU = 0.0f, m_fTexelV = 0.0f;
    bool m_bUnderline = false;

    // Per-call scratch, sized once: no allocation while drawing.
    FontVertex m_Vertices[kMaxQuads * 6];
    int m_nQuads = 0;
    bool m_bClip = false;
    RECT m_Clip{};
    D3DCOLOR m_Color = 0;
};

}  // namespace

HRESULT D3DXCreateFont(IDirect3DDevice8* device, HFONT font, ID3DXFont** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!device || !font) return E_INVALIDARG;
    ComPtr<Font> f(new (std::nothrow) Font);
    if (!f) return E_OUTOFMEMORY;
    if (HRESULT hr = f->Create(device, font); FAILED(hr)) return hr;
    *out = f.Detach();
    return S_OK;
}
