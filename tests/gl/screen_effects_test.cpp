// The 2D effects drawn over the finished picture, on the real device: the
// cellophane tint, the glyph-atlas font (pixel-exact, clipped, states kept)
// and the frame-rate text's counting and drawing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/errlog.h"
#include "platform/base/com_ptr.h"
#include "platform/font/d3dx_font.h"
#include "platform/font/gdi_font.h"
#include "settings/settings.h"
#include "tests/gl/device_harness.h"
#include "view/cellophane.h"
#include "view/fps_text.h"

namespace gltest {
namespace {

// ---- Cellophane ----

class CellophaneTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        h.SetRendererStages();  // as the saver's renderer set-up leaves them
    }
    // Clears to mid grey, draws the tint over it, returns the pixel at (x, y).
    void DrawOverGrey() {
        dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
        dev()->BeginScene();
        c.Render(dev());
        dev()->EndScene();
        h.Read();
    }
    void Configure(int tint, int deepSea) {
        Settings s;
        s.intChkCelphn = tint;
        s.intChkCol = deepSea;
        c.Configure(&s);
    }
    Cellophane c;
    ErrLog log;
};

TEST_F(CellophaneTest, OffCreatesNoBufferLogsNothingAndDrawsNothing) {
    Configure(0, 1);
    ASSERT_EQ(c.InitDeviceObjects(dev(), kWidth, kHeight, &log), S_OK);
    EXPECT_EQ(c.GetVertexBuffer(), nullptr);
    EXPECT_STREQ(log.Text(), "");
    DrawOverGrey();
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 0u);
    EXPECT_TRUE(ColorNear(h.Pixel(kWidth / 2, kHeight / 2), {128, 128, 128, 255}, 1));
}

TEST_F(CellophaneTest, NormalSeaAddsAQuarterOfBlueToEveryPixel) {
    Configure(1, 0);
    ASSERT_EQ(c.InitDeviceObjects(dev(), kWidth, kHeight, &log), S_OK);
    EXPECT_STREQ(log.Text(), "\t\t\tCreateVertexBuffer...\n");
    ASSERT_NE(c.GetVertexBuffer(), nullptr);
    EXPECT_EQ(c.GetVertexBuffer()->GetSize(), 112u);
    DrawOverGrey();
    const Rgba tinted{128, 128, 128 + 64, 255};  // + 0x40/255 x 255 blue
    for (auto [x, y] : {std::pair{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}, {31, 23}}) {
        EXPECT_TRUE(ColorNear(h.Pixel(x, y), tinted, 2)) << "pixel " << x << ", " << y;
    }
    DWORD v = 0;
    dev()->GetRenderState(D3DRS_ALPHABLENDENABLE, &v);
    EXPECT_EQ(v, 0u);
    dev()->GetRenderState(D3DRS_FOGENABLE, &v);
    EXPECT_EQ(v, 1u);
    dev()->GetRenderState(D3DRS_LIGHTING, &v);
    EXPECT_EQ(v, 1u);
}

TEST_F(CellophaneTest, DeepSeaMultipliesRedAndGreenByTwoHundredOver255) {
    Configure(1, 1);
    ASSERT_EQ(c.InitDeviceObjects(dev(), kWidth, kHeight, &log), S_OK);
    DrawOverGrey();
    const int rg = 128 * 200 / 255;
    for (auto [x, y] : {std::pair{0, 0}, {kWidth - 1, kHeight - 1}, {10, 40}}) {
        EXPECT_TRUE(ColorNear(h.Pixel(x, y), {rg, rg, 128, 255}, 2)) << "pixel " << x << ", " << y;
    }
    EXPECT_EQ(c.DeleteDeviceObjects(), 0);
    EXPECT_EQ(c.GetVertexBuffer(), nullptr);
}

// ---- The font ----

class FontTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        hfont = CreateFontA(0, 0, 0, 0, FW_SEMIBOLD, FALSE, TRUE, FALSE, ANSI_CHARSET, OUT_TT_ONLY_PRECIS,
                            CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Lucida Console");
        ASSERT_NE(hfont, nullptr) << "no font found through fontconfig";
        ASSERT_EQ(D3DXCreateFont(dev(), hfont, font.Out()), S_OK);
    }
    void TearDown() override {
        font.Reset();
        DeleteObject(hfont);
        DeviceTest::TearDown();
    }
    void Clear() {
        dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    }
    HFONT hfont = nullptr;
    ComPtr<ID3DXFont> font;
};

TEST(GdiFont, FindsTheFamilyOrAMonospaceFallbackAndRasterisesAMonospacedAtlas) {
    HFONT f = CreateFontA(0, 0, 0, 0, FW_SEMIBOLD, FALSE, TRUE, FALSE, ANSI_CHARSET, OUT_TT_ONLY_PRECIS,
                          CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Lucida Console");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(FontIsUnderlined(f));
    EXPECT_STRNE(GetFontFamily(f), "");
    if (FontIsFallback(f)) {
        EXPECT_STRCASENE(GetFontFamily(f), "Lucida Console");
    }
    GlyphAtlas atlas;
    ASSERT_TRUE(RasterizeGlyphAtlas(f, &atlas));
    EXPECT_GE(atlas.CellHeight(), kDefaultCellHeight - 1);  // height 0: the default cell
    EXPECT_LE(atlas.CellHeight(), kDefaultCellHeight + 1);
    EXPECT_GE(atlas.underlineThickness, 1);
    EXPECT_LE(atlas.underlineTop + atlas.underlineThickness, atlas.descent + 1);
    const int advance = atlas.Glyph('0').advance;
    EXPECT_GT(advance, 4);
    for (unsigned char c : std::string(" 0123456789.Wi")) EXPECT_EQ(atlas.Glyph(c).advance, advance) << c;
    EXPECT_EQ(&atlas.Glyph(200), &atlas.Glyph('?'));
    // Glyph boxes inside the atlas, padded, never overlapping the solid block.
    for (int c = GlyphAtlas::kFirstChar; c <= GlyphAtlas::kLastChar; ++c) {
        const AtlasGlyph& g = atlas.Glyph(static_cast<unsigned char>(c));
        if (g.width == 0) continue;
        EXPECT_GE(g.x, 1);
        EXPECT_LE(g.x + g.width, atlas.width - 1);
        EXPECT_LE(g.y + g.height, atlas.height - 1);
        EXPECT_TRUE(g.y >= atlas.solidY + 3 || g.x >= atlas.solidX + 3) << c;
        EXPECT_LE(g.top, atlas.ascent + 1);
    }
    EXPECT_EQ(atlas.coverage[atlas.solidY * atlas.width + atlas.solidX + 1], 255);
    EXPECT_TRUE(DeleteObject(f));
    EXPECT_FALSE(DeleteObject(nullptr));

    // A family that does not exist falls back to monospace.
    HFONT none = CreateFontA(-20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, "No Such Family Xq");
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(FontIsFallback(none));
    EXPECT_FALSE(FontIsUnderlined(none));
    ASSERT_TRUE(RasterizeGlyphAtlas(none, &atlas));
    EXPECT_GT(atlas.CellHeight(), kDefaultCellHeight);  // em of 20 pixels
    DeleteObject(none);
}

// One texel per pixel at whole-pixel positions: white text over black shows
// the atlas coverage exactly, wherever the rectangle is.
TEST_F(FontTest, GlyphsLandOnWholePixelsExactlyAsRasterised) {
    const GlyphAtlas& atlas = font->Atlas();
    for (auto [left, top] : {std::pair{0, 0}, {7, 5}}) {
        Clear();
        dev()->BeginScene();
        RECT r{left, top, kWidth, kHeight};
        EXPECT_EQ(font->DrawTextA("8", -1, &r, DT_SINGLELINE | DT_NOCLIP, 0xFFFFFFFF), atlas.CellHeight());
        dev()->EndScene();
        h.Read();
        const AtlasGlyph& g = atlas.Glyph('8');
        const int x0 = left + g.left, y0 = top + atlas.ascent - g.top;
        int mismatches = 0, lit = 0;
        for (int y = 0; y < g.height; ++y) {
            for (int x = 0; x < g.width; ++x) {
                const int want = atlas.coverage[(g.y + y) * atlas.width + g.x + x];
                const int got = h.Pixel(x0 + x, y0 + y).g;
                if (std::abs(got - want) > 2) ++mismatches;
                if (want > 0) ++lit;
            }
        }
        EXPECT_EQ(mismatches, 0) << "at " << left << ", " << top;
        EXPECT_GT(lit, 10);
        // Nothing bleeds outside the glyph box but the underline below.
        if (x0 > 0) {
            EXPECT_EQ(h.Pixel(x0 - 1, y0 + g.height / 2).g, 0);
        }
        EXPECT_EQ(h.Pixel(x0 + g.width, y0 + g.height / 2).g, 0);
        if (y0 > 0) {
            EXPECT_EQ(h.Pixel(x0 + g.width / 2, y0 - 1).g, 0);
        }
    }
}

TEST_F(FontTest, UnderlineBlendsTheColourAndStatesComeBackAsTheyWere) {
    dev()->SetRenderState(D3DRS_ZENABLE, TRUE);
    dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    dev()->SetRenderState(D3DRS_FOGENABLE, TRUE);
    dev()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    dev()->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    dev()->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev()->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    Clear();
    dev()->BeginScene();
    RECT r{0, 0, kWidth, kHeight};
    font->DrawTextA(" 50.00 ", -1, &r, DT_SINGLELINE | DT_NOCLIP, FrameRateText::kColor);
    dev()->EndScene();
    h.Read();
    const GlyphAtlas& atlas = font->Atlas();
    // The underline runs under the whole string, blanks included, in
    // 0x88BBBBFF over black: each channel x 0x88 / 255.
    const int y = atlas.ascent + atlas.underlineTop;
    const Rgba expected{0xBB * 0x88 / 255, 0xBB * 0x88 / 255, 0xFF * 0x88 / 255, 255};
    EXPECT_TRUE(ColorNear(h.Pixel(0, y), expected, 2));
    EXPECT_TRUE(ColorNear(h.Pixel(7 * atlas.Glyph('0').advance - 1, y), expected, 2));
    EXPECT_TRUE(ColorNear(h.Pixel(7 * atlas.Glyph('0').advance, y), {0, 0, 0, 255}, 0));

    DWORD v = 0;
    dev()->GetRenderState(D3DRS_ZENABLE, &v);
    EXPECT_EQ(v, 1u);
    dev()->GetRenderState(D3DRS_ALPHABLENDENABLE, &v);
    EXPECT_EQ(v, 0u);
    dev()->GetRenderState(D3DRS_FOGENABLE, &v);
    EXPECT_EQ(v, 1u);
    dev()->GetRenderState(D3DRS_DESTBLEND, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DBLEND_ONE));
    dev()->GetTextureStageState(0, D3DTSS_MINFILTER, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
    dev()->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
}

TEST_F(FontTest, ClipsToTheRectangleUnlessToldNotToAndMeasuresWithoutDrawing) {
    const GlyphAtlas& atlas = font->Atlas();
    const int adv = atlas.Glyph('M').advance;
    RECT measure{3, 4, 0, 0};
    EXPECT_EQ(font->DrawTextA("MMMM\nMM", -1, &measure, DT_CALCRECT, 0xFFFFFFFF), 2 * atlas.CellHeight());
    EXPECT_EQ(measure.right, 3 + 4 * adv);
    EXPECT_EQ(measure.bottom, 4 + 2 * atlas.CellHeight());
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 0u);

    for (DWORD format : {DWORD{DT_SINGLELINE}, DWORD{DT_SINGLELINE | DT_NOCLIP}}) {
        Clear();
        dev()->BeginScene();
        RECT r{0, 0, adv + adv / 2, kHeight};  // one and a half characters wide
        font->DrawTextA("MMMM", -1, &r, format, 0xFFFFFFFF);
        dev()->EndScene();
        h.Read();
        int litOutside = 0;
        for (int y = 0; y < atlas.CellHeight(); ++y) {
            for (int x = r.right; x < kWidth; ++x) litOutside += h.Pixel(x, y).g > 0;
        }
        if (format & DT_NOCLIP) {
            EXPECT_GT(litOutside, 20);
        } else {
            EXPECT_EQ(litOutside, 0);
        }
    }
    // Far more text than one call draws: bounded, no crash.
    std::string longText(2000, 'x');
    dev()->BeginScene();
    RECT r{0, 0, kWidth, kHeight};
    font->DrawTextA(longText.c_str(), -1, &r, DT_NOCLIP, 0xFFFFFFFF);
    dev()->EndScene();
    EXPECT_LE(dev()->GetFrameStats().triangles, static_cast<DWORD>(2 * ID3DXFont::kMaxQuads));
    EXPECT_EQ(font->DrawTextA("", -1, &r, 0, 0xFFFFFFFF), 0);
    EXPECT_EQ(font->DrawTextA(nullptr, -1, &r, 0, 0xFFFFFFFF), 0);
}

// ---- The frame-rate text ----

class FrameRateTest : public FontTest {
protected:
    void Configure(int on, bool stats = false) {
        Settings s;
        s.intChkFPS = on;
        fps.Configure(&s, stats);
    }
    FrameRateText fps;
    const FrameRateView* Whole() {
        whole = FrameRateView{font, RECT{0, 0, kWidth, kHeight}};
        return &whole;
    }
    FrameRateView whole{};
};

// The 60th frame after a refresh is the first more than a second after it,
// arriving 1.2 s after it: 60 / 1.2 = 50.
TEST_F(FrameRateTest, SixtyFramesOverOnePointTwoSecondsRead50) {
    Configure(1);
    for (double start : {3.0, 1.0e6}) {  // also after eleven days of uptime
        fps.Count(start);                  // a refresh (more than 1 s since the last)
        const float before = fps.GetRate();
        for (int i = 1; i < 60; ++i) fps.Count(start + i * 0.016);
        EXPECT_EQ(fps.GetRate(), before);
        EXPECT_EQ(fps.GetFrameCount(), 59);
        fps.Count(start + 1.2);
        EXPECT_STREQ(fps.GetText(), " 50.00 ") << "from " << start;
        EXPECT_EQ(fps.GetFrameCount(), 0);
        fps.Count(start + 1.25);  // no refresh: the text stays
        EXPECT_STREQ(fps.GetText(), " 50.00 ");
    }
}

TEST_F(FrameRateTest, TheFirstFrameAlreadyRefreshesNearZero) {
    Configure(1);
    fps.Count(250.0);
    EXPECT_STREQ(fps.GetText(), " 0.00 ");  // 1 frame / 250 s
    EXPECT_EQ(fps.GetFrameCount(), 0);
}

TEST_F(FrameRateTest, OffFreezesTheCounterDrawsNothingButTurnsFogBackOn) {
    Configure(0);
    dev()->SetRenderState(D3DRS_FOGENABLE, FALSE);
    dev()->BeginScene();
    for (int i = 0; i < 5; ++i) fps.Draw(dev(), Whole(), 1, 10.0 + i);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 0u);
    dev()->EndScene();
    EXPECT_EQ(fps.GetFrameCount(), 0);
    EXPECT_STREQ(fps.GetText(), "");
    DWORD v = 0;
    dev()->GetRenderState(D3DRS_FOGENABLE, &v);
    EXPECT_EQ(v, 1u);
}

TEST_F(FrameRateTest, DrawsTheRateTopLeftAndTheDeviceCountsOnASecondLine) {
    Configure(1, /*stats=*/true);
    Clear();
    dev()->BeginScene();
    h.DrawScreenRect(40, 40, 50, 50, 0xFF000000);  // one draw, two triangles before the text
    fps.Draw(dev(), Whole(), 1, 5.0);
    dev()->EndScene();
    EXPECT_STREQ(fps.GetStatsText(), " draws 1  triangles 2 ");
    h.Read();
    const int cell = font->Atlas().CellHeight();
    auto litRows = [&](int y0, int y1) {
        int lit = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = 0; x < kWidth; ++x) lit += h.Pixel(x, y).b > 0;
        }
        return lit;
    };
    EXPECT_GT(litRows(0, cell), 20);
    EXPECT_GT(litRows(cell, 2 * cell), 20);
    EXPECT_EQ(litRows(2 * cell + 1, kHeight), 0);

    Configure(1, false);
    Clear();
    dev()->BeginScene();
    fps.Draw(dev(), Whole(), 1, 5.0);
    dev()->EndScene();
    h.Read();
    EXPECT_GT(litRows(0, cell), 20);
    EXPECT_EQ(litRows(cell + 1, kHeight), 0);

    // Two views, one above the other: the text in each one's corner, the
    // frame counted once.
    const FrameRateView views[2] = {{font, {0, 0, kWidth, kHeight / 2}}, {font, {0, kHeight / 2, kWidth, kHeight}}};
    ASSERT_LE(cell, kHeight / 2);
    const int before = fps.GetFrameCount();
    Clear();
    dev()->BeginScene();
    fps.Draw(dev(), views, 2, 5.5);
    dev()->EndScene();
    h.Read();
    EXPECT_EQ(fps.GetFrameCount(), before + 1);
    EXPECT_GT(litRows(0, cell), 20);
    EXPECT_EQ(litRows(0, cell), litRows(kHeight / 2, kHeight / 2 + cell)) << "the same text in both corners";
}

}  // namespace
}  // namespace gltest
