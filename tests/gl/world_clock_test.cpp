// The twelve clocks on the real device with the real content and a fixed
// time: what the switch loads, the hands, labels and names posed from the
// dials, world versus normal mode, and placement files of more than twelve.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "render/zsort_render.h"
#include "scene/world_clock.h"
#include "settings/settings.h"
#include "core/errlog.h"
#include "tests/gl/device_harness.h"
#include "tests/gl/scene_test_util.h"

namespace gltest {
namespace {

constexpr std::time_t kMidnight = 1767225600;  // 2026-01-01 00:00:00 UTC
constexpr float kHour = 0.5235988f;             // radians per hour on the dial

std::time_t g_Now = kMidnight;
std::time_t FixedNow() { return g_Now; }

// A hand turned by `angle` about the dial's own z axis: R × dial.
D3DXMATRIX HandPose(float angle, const D3DXMATRIX& dial) {
    D3DXMATRIX r, out;
    D3DXMatrixRotationZ(&r, angle);
    return *D3DXMatrixMultiply(&out, &r, &dial);
}

// Sets TZ for the life of the object and restores it afterwards.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old) m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone() {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

class WorldClockTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        g_Now = kMidnight;
    }
    void TearDown() override {
        clocks.DeleteDeviceObjects();  // before the device goes
        other.DeleteDeviceObjects();
        DeviceTest::TearDown();
    }

    // Loads `clock` with the real placements in the given mode and the fixed time.
    void Load(WorldClock& clock, int enabled, int mode, const char* placements = "WORLDCLOCK.TPS") {
        Settings s;
        s.intChkClock = enabled;
        s.intClkMod = mode;
        clock.SetTimeSource(FixedNow);
        ASSERT_EQ(clock.InitDeviceObjects(dev(), placements, &s, &log), S_OK) << log.Text();
    }

    // High above the scene looking down: all four walls are in view.
    static Camera Above() {
        Camera camera;
        camera.SetProjection(nullptr, 1.0f, 1.0f, 100000.0f);
        camera.SetPosition(0.0f, 30000.0f, 0.0f);
        camera.LookAt(nullptr, D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(0.0f, 0.0f, 1.0f));
        camera.UpdateFrustum();
        return camera;
    }

    ErrLog log;
    ZSortRender renderer;
    WorldClock clocks;
    WorldClock other;
};

TEST_F(WorldClockTest, SwitchedOffLoadsNothingAndDrawsNothingInEitherMode) {
    Camera camera = Above();
    for (int mode : {0, 1}) {
        WorldClock& clock = mode ? other : clocks;
        Load(clock, 0, mode);
        EXPECT_EQ(clock.GetClockCount(), 0) << mode;
        EXPECT_EQ(clock.AmModel(), nullptr) << mode;
        EXPECT_EQ(clock.Update(), 0);
        EXPECT_EQ(clock.Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer), 0);
    }
    EXPECT_EQ(log.Length(), 0u) << log.Text();
    EXPECT_EQ(renderer.GetCount(), 0u);
}

TEST_F(WorldClockTest, MidnightUtcInWorldModePosesHandsFromTheDials) {
    Load(clocks, 1, 0);
    ASSERT_EQ(clocks.GetClockCount(), 12);
    const std::string text = log.Text();
    EXPECT_EQ(text.rfind("\t\tm_pWorldClockBaseMdl.LoadXFile..\n", 0), 0u) << text;
    EXPECT_NE(text.find("\t\tFinedResource...\n\t\tLoadResource...\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Failed"), std::string::npos) << text;

    ASSERT_EQ(clocks.Update(), 0);
    // Clock 0 (UTC): 12 AM, every hand at angle 0, so each hand lies on its dial.
    const D3DXMATRIX& dial0 = clocks.Dial(0)->GetWorldMatrix();
    EXPECT_TRUE(MatrixNear(clocks.HourHand(0)->GetWorldMatrix(), dial0, 1e-3f));
    EXPECT_TRUE(MatrixNear(clocks.MinuteHand(0)->GetWorldMatrix(), dial0, 1e-3f));
    EXPECT_TRUE(MatrixNear(clocks.SecondHand(0)->GetWorldMatrix(), dial0, 1e-3f));
    EXPECT_EQ(clocks.Label(0)->GetModel(), clocks.AmModel());

    // Clock 2 (+4.5 h): 4:30 AM, hands turned about the dial's own z axis.
    const D3DXMATRIX& dial2 = clocks.Dial(2)->GetWorldMatrix();
    EXPECT_TRUE(MatrixNear(clocks.HourHand(2)->GetWorldMatrix(), HandPose(4 * kHour + 30 * (kHour / 60), dial2),
                           1e-2f));
    EXPECT_TRUE(MatrixNear(clocks.MinuteHand(2)->GetWorldMatrix(), HandPose(30 * 0.10471976f, dial2), 1e-2f));
    EXPECT_TRUE(MatrixNear(clocks.SecondHand(2)->GetWorldMatrix(), dial2, 1e-3f));
    EXPECT_EQ(clocks.Label(2)->GetModel(), clocks.AmModel());
    // Clock 7 (−10 h): 2 PM of the day before.
    EXPECT_EQ(clocks.Label(7)->GetModel(), clocks.PmModel());
    EXPECT_TRUE(MatrixNear(clocks.HourHand(7)->GetWorldMatrix(),
                           HandPose(2 * kHour, clocks.Dial(7)->GetWorldMatrix()), 1e-2f));

    // The dials keep their placements: the first is the file's first matrix.
    EXPECT_NEAR(dial0._11, -193.730f, 1e-3f);
    EXPECT_NEAR(dial0._42, 1778.615f, 1e-3f);
    EXPECT_NEAR(dial0._43, 5198.923f, 1e-3f);
}

TEST_F(WorldClockTest, AfternoonShowsPmAndTheHourHandFollowsTheTime) {
    Load(clocks, 1, 0);
    g_Now = kMidnight + 13 * 3600 + 45 * 60 + 7;
    clocks.Update();
    EXPECT_EQ(clocks.Label(0)->GetModel(), clocks.PmModel());
    const D3DXMATRIX& dial0 = clocks.Dial(0)->GetWorldMatrix();
    EXPECT_TRUE(MatrixNear(clocks.HourHand(0)->GetWorldMatrix(), HandPose(kHour + 45 * (kHour / 60), dial0), 1e-2f));
    EXPECT_TRUE(MatrixNear(clocks.SecondHand(0)->GetWorldMatrix(), HandPose(7 * 0.10471976f, dial0), 1e-2f));
    // Clock 7 (−10 h) reads 03:45: AM again.
    EXPECT_EQ(clocks.Label(7)->GetModel(), clocks.AmModel());

    // Poses come from the dials each frame: going back in time undoes it.
    g_Now = kMidnight;
    clocks.Update();
    EXPECT_EQ(clocks.Label(0)->GetModel(), clocks.AmModel());
    EXPECT_TRUE(MatrixNear(clocks.HourHand(0)->GetWorldMatrix(), dial0, 1e-3f));
}

// Summer time on the dials: NEW YORK (clock 10) and LONDON (clock 0) at
// 12:00 UTC in July and in January.
TEST_F(WorldClockTest, CityClocksFollowSummerTime) {
    Load(clocks, 1, 0);
    const D3DXMATRIX& london = clocks.Dial(0)->GetWorldMatrix();
    const D3DXMATRIX& newYork = clocks.Dial(10)->GetWorldMatrix();
    g_Now = 1782907200;  // 2026-07-01 12:00:00 UTC
    clocks.Update();
    EXPECT_TRUE(MatrixNear(clocks.HourHand(10)->GetWorldMatrix(), HandPose(8 * kHour, newYork), 1e-2f));
    EXPECT_EQ(clocks.Label(10)->GetModel(), clocks.AmModel());
    EXPECT_TRUE(MatrixNear(clocks.HourHand(0)->GetWorldMatrix(), HandPose(1 * kHour, london), 1e-2f));
    EXPECT_EQ(clocks.Label(0)->GetModel(), clocks.PmModel());

    g_Now = 1767268800;  // 2026-01-01 12:00:00 UTC
    clocks.Update();
    EXPECT_TRUE(MatrixNear(clocks.HourHand(10)->GetWorldMatrix(), HandPose(7 * kHour, newYork), 1e-2f));
    EXPECT_EQ(clocks.Label(10)->GetModel(), clocks.AmModel());
    EXPECT_TRUE(MatrixNear(clocks.HourHand(0)->GetWorldMatrix(), HandPose(12 * kHour, london), 1e-2f));
    EXPECT_EQ(clocks.Label(0)->GetModel(), clocks.PmModel());
}

TEST_F(WorldClockTest, LabelSitsAboveAndTheZoneNameBelowEachDial) {
    Load(clocks, 1, 0);
    clocks.Update();
    for (int i = 0; i < clocks.GetClockCount(); ++i) {
        const D3DXMATRIX& dial = clocks.Dial(i)->GetWorldMatrix();
        const D3DXMATRIX& label = clocks.Label(i)->GetWorldMatrix();
        const D3DXMATRIX& name = clocks.ZoneName(i)->GetWorldMatrix();
        // 620 units straight up along world y, same orientation as the dial.
        D3DXMATRIX up = dial;
        up._42 += 620.0f;
        EXPECT_TRUE(MatrixNear(label, up, 1e-3f)) << "clock " << i;
        // Half as large again in its own axes, then 700 units straight down.
        D3DXMATRIX down = dial;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) down.m[r][c] *= 1.5f;
        }
        down._42 -= 700.0f;
        EXPECT_TRUE(MatrixNear(name, down, 1e-2f)) << "clock " << i;
    }
}

TEST_F(WorldClockTest, NormalModeShowsLocalTimeEverywhereAndNoZoneNames) {
    ScopedZone zone("JST-9");  // +9 h, no daylight saving
    Load(clocks, 1, 0);
    Load(other, 1, 1);
    clocks.Update();
    other.Update();
    for (int i = 0; i < other.GetClockCount(); ++i) {
        EXPECT_TRUE(MatrixNear(other.HourHand(i)->GetWorldMatrix(), HandPose(9 * kHour, other.Dial(i)->GetWorldMatrix()),
                               1e-2f))
            << "clock " << i;
        EXPECT_EQ(other.Label(i)->GetModel(), other.AmModel()) << "clock " << i;
    }

    Camera camera = Above();
    clocks.Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer);
    const DWORD worldCount = renderer.GetCount();
    int worldNames = 0;
    for (int i = 0; i < 12; ++i) worldNames += QueuedFrom(renderer, clocks.ZoneName(i)->GetModel());
    int namesPerClock = 0;
    for (int i = 0; i < 12; ++i) namesPerClock += static_cast<int>(clocks.ZoneName(i)->GetModel()->m_dwMeshDisplayNum);
    EXPECT_EQ(worldNames, namesPerClock);  // every zone name, once
    EXPECT_GT(worldNames, 0);
    renderer.Clear();

    other.Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer);
    int normalNames = 0;
    for (int i = 0; i < 12; ++i) normalNames += QueuedFrom(renderer, other.ZoneName(i)->GetModel());
    EXPECT_EQ(normalNames, 0);
    EXPECT_EQ(renderer.GetCount(), worldCount - static_cast<DWORD>(worldNames));
    EXPECT_EQ(QueuedFrom(renderer, other.Dial(0)->GetModel()),
              12 * static_cast<int>(other.Dial(0)->GetModel()->m_dwMeshDisplayNum));
}

TEST_F(WorldClockTest, MoreThanTwelvePlacementsAreClampedToTwelve) {
    Load(clocks, 1, 0, "TEST_THIRTEEN.TPS");
    ASSERT_EQ(clocks.GetClockCount(), 12);
    clocks.Update();
    EXPECT_EQ(clocks.Dial(11)->GetWorldMatrix()._41, 1100.0f);  // the twelfth placement
    EXPECT_NE(clocks.ZoneName(11)->GetModel(), clocks.ZoneName(0)->GetModel());  // its own name

    // Looking along +z from the origin at the row of dials at z = 500.
    Camera camera;
    camera.SetProjection(nullptr, 1.0f, 1.0f, 10000.0f);
    camera.SetPosition(600.0f, 0.0f, -1500.0f);
    camera.UpdateFrustum();
    clocks.Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer);
    const XModel* dial = clocks.Dial(0)->GetModel();
    EXPECT_EQ(QueuedFrom(renderer, dial), 12 * static_cast<int>(dial->m_dwMeshDisplayNum));
}

}  // namespace
}  // namespace gltest
