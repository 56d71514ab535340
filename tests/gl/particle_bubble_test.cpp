// The bubbles on the real device: nothing without the deep sea, emitters and
// bursts, fading, steady-state population, the first swirl, the free list,
// and one textured draw that leaves the states as the frame expects them.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "core/errlog.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/os/clock.h"
#include "render/particle_bubble.h"
#include "tests/gl/device_harness.h"

long CountedNewCalls() __attribute__((weak));

namespace gltest {
namespace {

constexpr float kStep = 0.03f;  // the pre-roll's time step

class Bubbles : public DeviceTest {
protected:
    HRESULT Init(int enabled) { return b.InitDeviceObjects(dev(), enabled, &log); }
    void Steps(int n, float dt = kStep, float appTime = 0.0f) {
        for (int i = 0; i < n; ++i) {
            b.Emit(dt);
            b.Move(dt, appTime);
        }
    }
    ParticleBubble b;
    ErrLog log;
};

TEST_F(Bubbles, WithoutTheDeepSeaNothingIsCreatedMovedOrDrawn) {
    ASSERT_EQ(Init(0), S_OK);
    EXPECT_EQ(b.GetTexture(), nullptr);
    EXPECT_EQ(b.GetVertexBuffer(), nullptr);
    EXPECT_STREQ(log.Text(), "");
    Steps(1000);
    EXPECT_EQ(b.GetCount(), 0u);
    EXPECT_EQ(b.GetEmitter(0), D3DXVECTOR3(0.0f, 0.0f, 0.0f));  // not even placed
    dev()->BeginScene();
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(b.Render(dev(), identity), S_OK);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 0u);
    dev()->EndScene();
}

TEST_F(Bubbles, TheFirstEmitPlacesEveryEmitterOnTheBandInDrawOrder) {
    ASSERT_EQ(Init(1), S_OK);
    EXPECT_STREQ(log.Text(), "\t\t\tD3DXCreateTextureFromResource...\n\t\t\tCreateVertexBuffer...\n");
    SRand(12345);
    int draws[ParticleBubble::kEmitters][3];
    for (auto& d : draws) {
        for (int& r : d) r = Rand();
    }
    SRand(12345);
    b.Emit(kStep);
    std::set<float> xs;
    for (int i = 0; i < ParticleBubble::kEmitters; ++i) {
        const D3DXVECTOR3& e = b.GetEmitter(i);
        // x from the third draw, y from the second, z from the first.
        EXPECT_EQ(e.x, static_cast<float>(draws[i][2] % 4000 - 2000)) << "emitter " << i;
        EXPECT_EQ(e.y, static_cast<float>(draws[i][1] % 50 - 2000)) << "emitter " << i;
        EXPECT_EQ(e.z, static_cast<float>(draws[i][0] % 4000 - 2000)) << "emitter " << i;
        EXPECT_GE(e.y, -2000.0f);
        EXPECT_LT(e.y, -1950.0f);
        xs.insert(e.x);
    }
    EXPECT_GT(xs.size(), 6u);     // scattered, not stacked
    EXPECT_EQ(b.GetCount(), 0u);  // the first burst waits for its 1.3 s
}

TEST_F(Bubbles, BurstsOfTwelveEveryIntervalStartAtTheEmittersAndDriftForwardOnly) {
    ASSERT_EQ(Init(1), S_OK);
    float t = 0.0f;
    while (b.GetCount() == 0 && t < 2.0f) {
        Steps(1);
        t += kStep;
    }
    EXPECT_EQ(b.GetCount(), 12u);
    EXPECT_GE(t, ParticleBubble::kEmissionInterval);
    EXPECT_LT(t, ParticleBubble::kEmissionInterval + 2 * kStep);
    // Newest first: the head came from emitter 11, one Move ago.
    const BubbleParticle* p = b.GetLive();
    ASSERT_NE(p, nullptr);
    EXPECT_NEAR(p->m_fLife, 255.0f - kStep * 5.0f, 1e-3f);
    EXPECT_NEAR(p->m_vPosition.y, b.GetEmitter(11).y, 0.01f);
    for (; p; p = p->m_pNext) {
        EXPECT_GE(p->m_vVelocity.x, 0.0f);
        EXPECT_LE(p->m_vVelocity.x, 3.0f);
        EXPECT_GE(p->m_vVelocity.z, 0.0f);
        EXPECT_LE(p->m_vVelocity.z, 3.0f);
        EXPECT_GT(p->m_vVelocity.y, 0.0f);  // rising from the first step
    }
    // A new drift direction every 8 s, each component in [0, 1].
    Steps(static_cast<int>(9.0f / kStep));
    const D3DXVECTOR3 d = b.GetDrift();
    for (float c : {d.x, d.y, d.z}) {
        EXPECT_GE(c, 0.0f);
        EXPECT_LE(c, 1.0f);
    }
    EXPECT_GT(d.x + d.y + d.z, 0.0f);
}

TEST_F(Bubbles, AlphaRisesFromZeroAtBirthToFullAtLifeZeroAndFallsBackBeforeDeath) {
    EXPECT_EQ(ParticleBubble::ColorForLife(255.0f) >> 24, 0u);
    EXPECT_EQ(ParticleBubble::ColorForLife(0.0f) >> 24, 255u);
    EXPECT_EQ(ParticleBubble::ColorForLife(-255.0f) >> 24, 0u);
    EXPECT_EQ(ParticleBubble::ColorForLife(127.6f) >> 24, 128u);  // 255 - trunc(127.6)
    EXPECT_EQ(ParticleBubble::ColorForLife(-300.0f) >> 24, 0u);   // clamped, never wraps
    EXPECT_EQ(ParticleBubble::ColorForLife(0.0f) & 0xFFFFFFu, 0xFFFFFFu);

    // Follow the oldest bubble of the first burst through its whole life.
    ASSERT_EQ(Init(1), S_OK);
    while (b.GetCount() == 0) Steps(1);
    const BubbleParticle* first = b.GetLive();
    while (first->m_pNext) first = first->m_pNext;  // the tail is the oldest
    unsigned peak = 0;
    float peakAge = 0.0f, age = 0.0f;
    unsigned last = 255;
    const DWORD burst = b.GetCount();
    while (first->m_fLife - kStep * 5.0f >= ParticleBubble::kDeathLife) {
        Steps(1);
        age += kStep;
        const unsigned a = ParticleBubble::ColorForLife(first->m_fLife) >> 24;
        if (a > peak) {
            peak = a;
            peakAge = age;
        }
        last = a;
    }
    EXPECT_EQ(peak, 255u) << "peak at " << peakAge << " s, last " << last << ", life " << first->m_fLife;
    EXPECT_NEAR(peakAge, 50.8f, 0.1f);  // full once |life| < 1 truncates to 0: from 50.8 s
    EXPECT_LE(last, 1u);                // the last step before death is all but invisible
    EXPECT_GE(b.GetCount(), burst);
}

// About 940 bubbles live once emission and death balance (12 per burst, a
// burst every 1.3 s at least, 102 s of life); never more than 1000; the pool
// is recycled without a single allocation.
TEST_F(Bubbles, SteadyStateNearNineHundredFortyWithoutAllocating) {
    ASSERT_EQ(Init(1), S_OK);
    Steps(1800);  // the start-up pre-roll: 54 s
    EXPECT_GT(b.GetCount(), 400u);
    const long before = CountedNewCalls ? CountedNewCalls() : -1;
    DWORD most = 0, least = ParticleBubble::kMaxParticles;
    for (int i = 0; i < 8000; ++i) {  // another 240 s at 60 frames a second
        Steps(1, 1.0f / 60.0f, static_cast<float>(i) / 60.0f);
        if (i > 4000) {
            most = std::max(most, b.GetCount());
            least = std::min(least, b.GetCount());
        }
    }
    if (before >= 0) {
        EXPECT_EQ(CountedNewCalls() - before, 0) << "operator new called by Emit or Move";
    }
    EXPECT_LE(most, ParticleBubble::kMaxParticles);
    EXPECT_GT(least, 900u);
    EXPECT_LT(most, 960u);
    // The live list and the count agree.
    DWORD n = 0;
    for (const BubbleParticle* p = b.GetLive(); p; p = p->m_pNext) ++n;
    EXPECT_EQ(n, b.GetCount());
}

TEST_F(Bubbles, TheFirstSwirlStartsAfterOneHundredFiftySecondsAndEnds) {
    ASSERT_EQ(Init(1), S_OK);
    Steps(4990);  // 149.7 s
    EXPECT_FALSE(b.IsSwirling());
    Steps(20);  // past 150 s
    EXPECT_TRUE(b.IsSwirling());
    EXPECT_TRUE(b.GetSwirlInterval() == 600.0f || b.GetSwirlInterval() == 800.0f) << b.GetSwirlInterval();
    EXPECT_LT(b.GetSwirlTimer(), 1.0f);
    // The phase advances per particle: with ~900 bubbles a half turn of the
    // sine takes about a minute; the flag then turns off.
    int steps = 0;
    while (b.IsSwirling() && steps < 10000) {
        Steps(1);
        ++steps;
    }
    EXPECT_FALSE(b.IsSwirling());
    EXPECT_GT(b.GetSwirlPhase(), 3.14159f);
    EXPECT_GT(steps, 1000);
}

TEST_F(Bubbles, OneTexturedDrawOfRoundBubblesThatRestoresTheFrameStates) {
    h.SetRendererStages();
    ASSERT_EQ(Init(1), S_OK);
    Steps(1800);
    // Find a bubble at full alpha and look at it from 60 units in front.
    const BubbleParticle* target = nullptr;
    for (const BubbleParticle* p = b.GetLive(); p; p = p->m_pNext) {
        if (!target || std::fabs(p->m_fLife) < std::fabs(target->m_fLife)) target = p;
    }
    ASSERT_NE(target, nullptr);
    ASSERT_LT(std::fabs(target->m_fLife), 20.0f);
    const D3DXVECTOR3 at = target->m_vPosition;
    const D3DXVECTOR3 eye(at.x, at.y, at.z - 60.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    dev()->SetTransform(D3DTS_VIEW, &view);
    // The far plane just behind it keeps the other bubbles out of the picture.
    const D3DMATRIX proj = PerspectiveFovLH(0.8975979f, 4.0f / 3.0f, 1.0f, 70.0f);
    dev()->SetTransform(D3DTS_PROJECTION, &proj);

    dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev()->BeginScene();
    D3DXMATRIX billboard;  // the camera looks along +z without turning
    D3DXMatrixIdentity(&billboard);
    ASSERT_EQ(b.Render(dev(), billboard), S_OK);
    const DeviceFrameStats stats = dev()->GetFrameStats();
    EXPECT_EQ(stats.drawCalls, 1u);
    EXPECT_EQ(stats.triangles, b.GetCount());
    dev()->EndScene();

    // The triangle spans about ±16 pixels around the centre. Its bottom
    // corners lie outside the round bubble image: transparent there.
    h.Read();
    int brightest = 0;
    for (int y = 8; y < 41; ++y) {
        for (int x = 16; x < 48; ++x) brightest = std::max(brightest, h.Pixel(x, y).b);
    }
    EXPECT_GT(brightest, 60);
    EXPECT_TRUE(ColorNear(h.Pixel(18, 39), {0, 0, 0, 255}, 4));
    EXPECT_TRUE(ColorNear(h.Pixel(46, 39), {0, 0, 0, 255}, 4));
    EXPECT_TRUE(ColorNear(h.Pixel(2, 2), {0, 0, 0, 255}, 0));

    DWORD v = 0;
    dev()->GetRenderState(D3DRS_FOGENABLE, &v);
    EXPECT_EQ(v, 1u);
    dev()->GetRenderState(D3DRS_ZWRITEENABLE, &v);
    EXPECT_EQ(v, 1u);
    dev()->GetRenderState(D3DRS_ALPHABLENDENABLE, &v);
    EXPECT_EQ(v, 0u);
    dev()->GetRenderState(D3DRS_LIGHTING, &v);
    EXPECT_EQ(v, 1u);
    dev()->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
}

TEST_F(Bubbles, ASecondStartBeginsAfreshAndDeleteReleasesTheDeviceObjects) {
    ASSERT_EQ(Init(1), S_OK);
    Steps(3000);
    ASSERT_GT(b.GetCount(), 0u);
    EXPECT_EQ(b.DeleteDeviceObjects(), 0);
    EXPECT_EQ(b.GetTexture(), nullptr);
    EXPECT_EQ(b.GetVertexBuffer(), nullptr);
    ASSERT_EQ(Init(1), S_OK);
    EXPECT_EQ(b.GetCount(), 0u);
    EXPECT_FALSE(b.IsSwirling());
    b.Emit(kStep);
    EXPECT_NE(b.GetEmitter(0), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
}

}  // namespace
}  // namespace gltest
