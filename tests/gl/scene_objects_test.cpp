// Background sets and the clocks' placement handling on the real device:
// loading, log lines, rejected placement files, shared textures, queueing.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "render/zsort_render.h"
#include "scene/background_obj.h"
#include "scene/texture_cache.h"
#include "core/errlog.h"
#include "tests/gl/device_harness.h"

namespace gltest {
namespace {

class BackGroundObjTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(renderer.InitDeviceObjects(dev(), nullptr), S_OK);
        ASSERT_EQ(renderer.RestoreDeviceObjects(dev(), nullptr), S_OK);
    }
    void TearDown() override {
        sets[0].DeleteDeviceObjects();
        sets[1].DeleteDeviceObjects();
        renderer.InvalidateDeviceObjects(dev());
        renderer.DeleteDeviceObjects();
        DeviceTest::TearDown();
    }
    std::string Tail(std::size_t from) const { return std::string(log.Text() + from); }
    static bool EndsWith(const std::string& text, const std::string& suffix) {
        return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    }

    // Looks along +z from the origin.
    static Camera Front() {
        Camera camera;
        camera.SetProjection(nullptr, 1.0f, 1.0f, 10000.0f);
        camera.UpdateFrustum();
        return camera;
    }

    ErrLog log;
    ZSortRender renderer;
    BackGroundObj sets[2];
};

TEST_F(BackGroundObjTest, PlacesOneInstancePerMatrixAndQueuesThoseInView) {
    ASSERT_EQ(sets[0].InitDeviceObjects(dev(), "TEST_PAIR.X", "TEST_TWO.BPS", &log), S_OK) << log.Text();
    ASSERT_EQ(sets[0].GetObjectNum(), 2);
    const D3DXMATRIX& second = sets[0].GetObjects()[1].GetWorldMatrix();
    EXPECT_EQ(second._41, 50.0f);
    EXPECT_EQ(second._43, 200.0f);
    EXPECT_EQ(second._11, 3.0f);
    EXPECT_EQ(sets[0].GetObjects()[1].GetModel(), sets[0].GetModel());

    Camera camera = Front();
    sets[0].Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer);
    EXPECT_EQ(renderer.GetCount(), 2u);
    renderer.Clear();

    camera.Translate(0.0f, 0.0f, 1000.0f, 1);  // now both are behind the camera
    camera.UpdateFrustum();
    sets[0].Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer);
    EXPECT_EQ(renderer.GetCount(), 0u);
}

TEST_F(BackGroundObjTest, AnEmptyPlacementFileLoadsAndDrawsNothing) {
    ASSERT_EQ(sets[0].InitDeviceObjects(dev(), "TEST_PAIR.X", "TEST_EMPTY.BPS", &log), S_OK) << log.Text();
    EXPECT_EQ(sets[0].GetObjectNum(), 0);
    Camera camera = Front();
    sets[0].Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer);
    EXPECT_EQ(renderer.GetCount(), 0u);
}

TEST_F(BackGroundObjTest, MissingShortOrNegativePlacementFilesFailAfterTheModelLoaded) {
    std::size_t start = log.Length();
    EXPECT_LT(sets[0].InitDeviceObjects(dev(), "TEST_PAIR.X", "NO_SUCH.BPS", &log), 0);
    std::string text = Tail(start);
    EXPECT_EQ(text.rfind("\t\tm_pBackGroundMdl->LoadXFile...\n", 0), 0u);
    EXPECT_TRUE(EndsWith(text, "\t\tFineResource...\n\t\tFailed\n")) << text;
    EXPECT_EQ(sets[0].GetModel()->m_dwMeshDisplayNum, 1u);  // the model was loaded first

    for (const char* bad : {"TEST_SHORT.BPS", "TEST_NEGATIVE.BPS"}) {
        BackGroundObj set;
        start = log.Length();
        EXPECT_LT(set.InitDeviceObjects(dev(), "TEST_PAIR.X", bad, &log), 0) << bad;
        text = Tail(start);
        EXPECT_TRUE(EndsWith(text, "\t\tFineResource...\n\t\tLoadResource...\n\t\tFailed\n")) << bad;
        EXPECT_EQ(set.GetObjectNum(), 0);
    }

    start = log.Length();
    EXPECT_LT(sets[1].InitDeviceObjects(dev(), "NO_SUCH.X", "TEST_TWO.BPS", &log), 0);
    text = Tail(start);
    EXPECT_TRUE(EndsWith(text, "\t\t\tFailed\n\t\tFailed\n")) << text;
    EXPECT_EQ(text.find("FineResource"), std::string::npos);  // stops at the model
}

TEST_F(BackGroundObjTest, TwoSetsOfOneModelEachLoadItButShareItsTexture) {
    ASSERT_EQ(sets[0].InitDeviceObjects(dev(), "TEST_PAIR.X", "TEST_TWO.BPS", &log), S_OK) << log.Text();
    ASSERT_EQ(sets[1].InitDeviceObjects(dev(), "TEST_PAIR.X", "TEST_EMPTY.BPS", &log), S_OK) << log.Text();
    EXPECT_NE(sets[0].GetModel(), sets[1].GetModel());
    IDirect3DTexture8* a = sets[0].GetModel()->m_pMeshDisplay[0].m_ppTextures[0];
    IDirect3DTexture8* b = sets[1].GetModel()->m_pMeshDisplay[0].m_ppTextures[0];
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace gltest
