// rider_lod_test.cpp -- bike and rider parts are drawn from their models' levels of detail,
// chosen by each part's distance from the camera as statues' are.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gl_fixture.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/catalogue.h"
#include "sim/sim.h"

namespace {

class RiderLodTest : public gl_fixture::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    race::g_track = race::Track{};
    render::g_scene = render::SceneState{};
    sim::create_world();
    ASSERT_TRUE(sim::terrain_create(7, 2.0f));
    // A catalogue bike whose frame is a fine sphere with a coarse one for 32 ft and beyond
    // (2^5); its other parts are left out.
    home.write("ball.jm", gl_fixture::sphere_jm(false, 24, 16));
    home.write("ball_lod5.jm", gl_fixture::sphere_jm(false, 8, 6));
    data::data_reset_for_test();
    info = *shell::find_bike_info("crf450(2013)");
    for (const char*& file : info.files) file = "";
    info.files[sim::kFrameModel] = "@ball.jm";
    bike = sim::bike_create(&info, 0, "1");
    ASSERT_NE(bike, nullptr);
    sim::bike_translate(bike, 128, 0, 128);
    render::g_scene.riders.resize(1);
    render::g_scene.riders[0].bike = bike;
    render::g_scene.riders[0].info = &info;
    glViewport(0, 0, gl_fixture::kSize, gl_fixture::kSize);
  }
  void TearDown() override {
    render::g_scene = render::SceneState{};
    if (bike) sim::bike_destroy(bike);
    render::terrain_render_release();
    sim::terrain_free();
    GlTest::TearDown();
  }
  // Model polygons drawn with the camera `distance` ft south of the bike's frame, looking
  // north at it.
  int polygons_from(float distance) {
    const dReal* frame = sim::body_position(bike, sim::kFrame);
    render::Camera camera;
    camera.position[0] = static_cast<float>(frame[0]);
    camera.position[1] = static_cast<float>(frame[1]);
    camera.position[2] = static_cast<float>(frame[2]) + distance;
    camera.fov = 60;
    render::draw_scene(camera);
    return render::g_frame_counters.model_polygons;
  }
  sim::BikeInfo info{};
  sim::Bike* bike = nullptr;
};

TEST_F(RiderLodTest, AFarBikeIsDrawnFromItsCoarserLevel) {
  const int fine = 24 * 16 * 2, coarse = 8 * 6 * 2;
  EXPECT_EQ(polygons_from(10), fine);
  EXPECT_EQ(polygons_from(31), fine);
  EXPECT_EQ(polygons_from(40), coarse);
  EXPECT_EQ(polygons_from(100), coarse);
  // The LOD scale stretches the distances as it does for statues.
  render::g_render_settings.lod_scale = 4;
  EXPECT_EQ(polygons_from(10), coarse);
}

}  // namespace
