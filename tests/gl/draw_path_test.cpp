// The device's fast paths draw what its general ones draw: fragment programs
// specialised for a state against the general program, drawing straight into
// a window-sized back buffer against the off-screen buffer, and the saver's
// whole frame with both against neither.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/base/com_ptr.h"
#include "tests/gl/device_harness.h"
#include "tests/gl/saver_fixture.h"

namespace gltest {
namespace {

// Sets (value "1") or clears one of the device's switches for the devices
// created while it lives.
class EnvSwitch {
public:
    EnvSwitch(const char* name, bool on) : m_name(name) {
        if (on) {
            setenv(name, "1", 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvSwitch() { unsetenv(m_name); }

private:
    const char* m_name;
};

struct Difference {
    int maxChannel = 0;
    std::size_t pixels = 0;  // pixels with any colour channel apart
};

Difference Compare(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
    Difference d;
    for (std::size_t i = 0; i + 3 < std::min(a.size(), b.size()); i += 4) {
        int m = 0;
        for (int c = 0; c < 3; ++c) m = std::max(m, std::abs(a[i + c] - b[i + c]));
        d.maxChannel = std::max(d.maxChannel, m);
        if (m > 0) ++d.pixels;
    }
    return d;
}

struct StageCombo {
    DWORD colorOp[2], colorArg1[2], colorArg2[2];
    DWORD alphaOp[2], alphaArg1[2], alphaArg2[2];
    bool texture[2];
    bool alphaTest, fog;
};

// Every stage operation and argument kind the device knows, mixed so that
// each appears in colour and alpha, on stage 0 and 1, with and without a
// texture, alpha test and fog.
std::vector<StageCombo> Combos() {
    const DWORD ops[] = {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE,
                         D3DTOP_MODULATE2X, D3DTOP_MODULATE4X, D3DTOP_ADD};
    const DWORD args[] = {D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTA_TFACTOR,
                          D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE};
    std::vector<StageCombo> combos;
    for (int i = 0; i < 24; ++i) {
        StageCombo c{};
        for (int s = 0; s < 2; ++s) {
            c.colorOp[s] = ops[(i + 3 * s) % 6];
            c.colorArg1[s] = args[(i + s) % 6];
            c.colorArg2[s] = args[(i / 6 + 2 + s) % 6];
            c.alphaOp[s] = ops[(i + 2 + s) % 6];
            c.alphaArg1[s] = args[(i + 4 + s) % 6];
            c.alphaArg2[s] = args[(i / 4 + 1) % 6];
            c.texture[s] = (i + s) % 5 != 0;
        }
        if (i % 4 == 0) c.colorOp[1] = D3DTOP_DISABLE;
        if (i % 7 == 3) c.alphaOp[1] = D3DTOP_DISABLE;
        if (i == 5) c.colorOp[0] = D3DTOP_DISABLE;
        c.alphaTest = i % 3 == 0;
        c.fog = i % 2 == 1;
        combos.push_back(c);
    }
    return combos;
}

// Draws every combination over a fogged, textured, vertex-coloured quad and
// returns the back buffers one after another.
std::vector<BYTE> DrawCombos(DeviceHarness& h) {
    IDirect3DDevice8* d = h.Device();
    const BYTE texels[16] = {0x20, 0x80, 0xF0, 0xFF, 0xF0, 0x40, 0x10, 0x60,
                             0x90, 0xF0, 0x30, 0xC0, 0x00, 0x10, 0x70, 0x20};  // BGRA, 2 x 2
    ComPtr<IDirect3DTexture8> tex;
    EXPECT_EQ(d->CreateTextureFromPixels(2, 2, texels, tex.Out()), S_OK);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_ARGB(0x90, 0x30, 0xA0, 0x60));
    d->SetRenderState(D3DRS_FOGCOLOR, D3DCOLOR_ARGB(0xFF, 0x10, 0x20, 0xE0));
    d->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    d->SetRenderState(D3DRS_FOGSTART, FloatToDword(0.0f));
    d->SetRenderState(D3DRS_FOGEND, FloatToDword(1.0f));
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    d->SetRenderState(D3DRS_ALPHAREF, 0x50);
    for (DWORD s = 0; s < 2; ++s) {
        d->SetTextureStageState(s, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(s, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, 0);
    }
    // Clip-space quad at depth 0.6 (fog factor 0.4), colours at the corners.
    const WorldVertex quad[4] = {{-1, -1, 0.6f, D3DCOLOR_ARGB(0xFF, 0xFF, 0x00, 0x00), 0, 1},
                                 {-1, 1, 0.6f, D3DCOLOR_ARGB(0x40, 0x00, 0xFF, 0x00), 0, 0},
                                 {1, -1, 0.6f, D3DCOLOR_ARGB(0xC0, 0x00, 0x00, 0xFF), 1, 1},
                                 {1, 1, 0.6f, D3DCOLOR_ARGB(0x80, 0xFF, 0xFF, 0xFF), 1, 0}};
    std::vector<BYTE> all;
    std::vector<BYTE> frame(h.Device()->GetBackBufferWidth() * h.Device()->GetBackBufferHeight() * 4);
    for (const StageCombo& c : Combos()) {
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF404040, 1.0f, 0);
        for (DWORD s = 0; s < 2; ++s) {
            d->SetTextureStageState(s, D3DTSS_COLOROP, c.colorOp[s]);
            d->SetTextureStageState(s, D3DTSS_COLORARG1, c.colorArg1[s]);
            d->SetTextureStageState(s, D3DTSS_COLORARG2, c.colorArg2[s]);
            d->SetTextureStageState(s, D3DTSS_ALPHAOP, c.alphaOp[s]);
            d->SetTextureStageState(s, D3DTSS_ALPHAARG1, c.alphaArg1[s]);
            d->SetTextureStageState(s, D3DTSS_ALPHAARG2, c.alphaArg2[s]);
            d->SetTexture(s, c.texture[s] ? tex.Get() : nullptr);
        }
        d->SetRenderState(D3DRS_ALPHATESTENABLE, c.alphaTest);
        d->SetRenderState(D3DRS_FOGENABLE, c.fog);
        d->SetVertexShader(kWorldFvf);
        EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(WorldVertex)), S_OK);
        EXPECT_EQ(d->ReadBackBuffer(frame.data()), S_OK);
        all.insert(all.end(), frame.begin(), frame.end());
    }
    d->SetTexture(0, nullptr);
    d->SetTexture(1, nullptr);
    EXPECT_EQ(d->GetFrameStats().glErrors, 0u);
    return all;
}

TEST(DrawPath, SpecialisedFragmentProgramsDrawAsTheGeneralOne) {
    std::vector<BYTE> general;
    {
        EnvSwitch onlyGeneral("NEREVAL_GENERAL_FRAGMENT", true);
        DeviceHarness h;
        ASSERT_EQ(h.Create(48, 32), S_OK);
        general = DrawCombos(h);
        EXPECT_EQ(GetDeviceDrawPath(h.Device()).fragmentVariants, 0u);
    }
    DeviceHarness h;
    ASSERT_EQ(h.Create(48, 32), S_OK);
    const std::vector<BYTE> specialised = DrawCombos(h);
    // Combinations that draw alike share a program; most are distinct.
    EXPECT_GE(GetDeviceDrawPath(h.Device()).fragmentVariants, 20u);
    ASSERT_EQ(general.size(), specialised.size());
    const Difference d = Compare(general, specialised);
    EXPECT_EQ(d.pixels, 0u) << "up to " << d.maxChannel << " levels apart";
}

// A ramp (rows alike, a few steps) is computed, not sampled, and gives what
// linear filtering of the texture gives: its twin, whose last row differs so
// that it is sampled, read on its first row. Apart by at most a level (the
// rasteriser's filter weighs in 8 bits), and only where the value changes.
TEST(DrawPath, RampsAreComputedAsTheirTexturesFilter) {
    DeviceHarness h;
    ASSERT_EQ(h.Create(160, 8), S_OK);
    IDirect3DDevice8* d = h.Device();
    const BYTE bands[6][4] = {{0, 0, 0, 255},   {35, 35, 35, 255},  {18, 30, 6, 200},
                              {131, 131, 131, 255}, {250, 10, 90, 40}, {253, 253, 253, 255}};  // BGRA
    const int widths[6] = {5, 7, 1, 6, 9, 4};  // 32 texels
    std::vector<BYTE> texels;
    for (int b = 0; b < 6; ++b) {
        for (int i = 0; i < widths[b]; ++i) texels.insert(texels.end(), bands[b], bands[b] + 4);
    }
    std::vector<BYTE> rows;
    for (int y = 0; y < 4; ++y) rows.insert(rows.end(), texels.begin(), texels.end());
    ComPtr<IDirect3DTexture8> ramp, sampled;
    ASSERT_EQ(d->CreateTextureFromPixels(32, 4, rows.data(), ramp.Out()), S_OK);
    EXPECT_EQ(GetDeviceDrawPath(d).computedRamps, 1u);
    rows.back() ^= 1;
    ASSERT_EQ(d->CreateTextureFromPixels(32, 4, rows.data(), sampled.Out()), S_OK);
    EXPECT_EQ(GetDeviceDrawPath(d).computedRamps, 1u) << "rows that differ: sampled";

    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    d->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    // u from -0.1 to 1.1 across the picture (both clamped ends), v = 0.
    const WorldVertex quad[4] = {{-1, -1, 0.5f, 0xFFFFFFFF, -0.1f, 0}, {-1, 1, 0.5f, 0xFFFFFFFF, -0.1f, 0},
                                 {1, -1, 0.5f, 0xFFFFFFFF, 1.1f, 0}, {1, 1, 0.5f, 0xFFFFFFFF, 1.1f, 0}};
    auto draw = [&](IDirect3DTexture8* t) {
        std::vector<BYTE> frame(160 * 8 * 4);
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
        d->SetTexture(0, t);
        d->SetVertexShader(kWorldFvf);
        EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(WorldVertex)), S_OK);
        EXPECT_EQ(d->ReadBackBuffer(frame.data()), S_OK);
        return frame;
    };
    const std::vector<BYTE> computed = draw(ramp.Get()), reference = draw(sampled.Get());
    d->SetTexture(0, nullptr);
    const Difference diff = Compare(computed, reference);
    EXPECT_LE(diff.maxChannel, 1);
    EXPECT_LE(diff.pixels, 160u * 8 / 4) << "only where the ramp changes";
    // The bands show in full: the first, a middle and the last texel's colours.
    for (int x : {2, 37, 157}) {
        const BYTE* p = &computed[(4 * 160 + x) * 4];
        const BYTE* want = x == 2 ? bands[0] : x == 37 ? bands[1] : bands[5];
        EXPECT_EQ(p[0], want[0]) << x;
        EXPECT_EQ(p[2], want[2]) << x;
    }
    EXPECT_EQ(d->GetFrameStats().glErrors, 0u);
}

TEST(DrawPath, OnlyAWindowSizedBackBufferIsTheWindow) {
    {
        DeviceHarness h;
        ASSERT_EQ(h.Create(64, 48), S_OK);
        EXPECT_TRUE(GetDeviceDrawPath(h.Device()).intoWindow);
        // A Reset to another size goes off-screen, and back again.
        D3DPRESENT_PARAMETERS p = h.Params();
        p.BackBufferWidth = 32;
        p.BackBufferHeight = 24;
        ASSERT_EQ(h.Device()->Reset(&p), S_OK);
        EXPECT_FALSE(GetDeviceDrawPath(h.Device()).intoWindow);
        ASSERT_EQ(h.Device()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), S_OK);
        EXPECT_TRUE(ColorNear(h.ReadPixel(31, 23), {0, 255, 0, 255}));
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 48;
        ASSERT_EQ(h.Device()->Reset(&p), S_OK);
        EXPECT_TRUE(GetDeviceDrawPath(h.Device()).intoWindow);
        ASSERT_EQ(h.Device()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), S_OK);
        EXPECT_TRUE(ColorNear(h.ReadPixel(63, 47), {255, 0, 0, 255}));
        EXPECT_EQ(h.Device()->GetFrameStats().glErrors, 0u);
    }
    {
        DeviceHarness h;
        ASSERT_EQ(h.Create(64, 48, 40, 20), S_OK);
        EXPECT_FALSE(GetDeviceDrawPath(h.Device()).intoWindow);
    }
    {
        EnvSwitch offscreen("NEREVAL_OFFSCREEN_BACKBUFFER", true);
        DeviceHarness h;
        ASSERT_EQ(h.Create(64, 48), S_OK);
        EXPECT_FALSE(GetDeviceDrawPath(h.Device()).intoWindow);
    }
}

class SaverDrawPath : public SaverTest {
protected:
    // One frame of the saver at a fixed clock with the fast paths as chosen.
    std::vector<BYTE> FrameAt(bool specialised, bool intoWindow, const Settings& settings, bool fullScreen = false) {
        EnvSwitch general("NEREVAL_GENERAL_FRAGMENT", !specialised);
        EnvSwitch offscreen("NEREVAL_OFFSCREEN_BACKBUFFER", !intoWindow);
        settings.Save();
        UseManualClock(5'000'000);
        EarthAndPillar::s_fRingAngle = 0.0f;  // the ring's swing outlives a start
        EXPECT_EQ(fullScreen ? StartFullScreen() : Start(), 1);
        g_WorldClock.SetTimeSource([] { return std::time_t{1'700'000'000}; });
        FrameTimer(TimerCommand::Start);
        for (int i = 0; i < 3; ++i) {
            AdvanceClock(16'000);
            Frame(m_hwnd);
        }
        const DeviceDrawPath path = GetDeviceDrawPath(g_pDevice);
        EXPECT_EQ(path.intoWindow, intoWindow && !fullScreen);
        EXPECT_EQ(path.fragmentVariants > 0, specialised);
        // Render the last frame again and read it before it is presented.
        Render();
        std::vector<BYTE> px = Pixels();
        ReleaseAll();
        DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
        return px;
    }
};

// Specialised programs compute exactly what the general one does. Drawing
// into the window instead of the off-screen buffer leaves the picture as it
// was but for the rounding of blended pixels, which llvmpipe does a little
// differently for the window's pixel format: a few faint pixels one level apart.
TEST_F(SaverDrawPath, TheSaverDrawsTheSamePictureOnTheFastPaths) {
    Settings normal;
    Settings deep;
    deep.intChkCol = 1;
    deep.intChkCelphn = 1;
    for (const Settings* s : {&normal, &deep}) {
        const std::vector<BYTE> before = FrameAt(false, false, *s);
        const std::vector<BYTE> specialised = FrameAt(true, false, *s);
        const std::vector<BYTE> after = FrameAt(true, true, *s);
        ASSERT_EQ(before.size(), after.size());
        ASSERT_EQ(before.size(), specialised.size());
        const Difference exact = Compare(before, specialised);
        EXPECT_EQ(exact.pixels, 0u) << "up to " << exact.maxChannel << " levels apart (deep sea " << s->intChkCol
                                    << ")";
        const Difference d = Compare(before, after);
        EXPECT_LE(d.pixels, before.size() / 4 / 100) << "deep sea " << s->intChkCol;
        EXPECT_LE(d.maxChannel, 8) << "deep sea " << s->intChkCol;
        // The frame is really drawn: more than the clear colour.
        EXPECT_NE(std::count(before.begin(), before.end(), before[0]), static_cast<long>(before.size()));
    }
}

// Full screen keeps its 640 x 480 off-screen buffer scaled at Present, so
// there the picture is the same to the bit.
TEST_F(SaverDrawPath, FullScreenDrawsTheSamePictureToTheBit) {
    Settings deep;
    deep.intChkCol = 1;
    // The first deep-sea start in a process draws a slightly different frame
    // than later ones (whatever the device does): compare later starts only.
    FrameAt(false, false, deep, true);
    const std::vector<BYTE> before = FrameAt(false, false, deep, true);
    const std::vector<BYTE> after = FrameAt(true, true, deep, true);
    ASSERT_EQ(before.size(), 640u * 480u * 4u);
    ASSERT_EQ(before.size(), after.size());
    EXPECT_EQ(Compare(before, after).pixels, 0u);
}

}  // namespace
}  // namespace gltest
