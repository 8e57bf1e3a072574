// scene_test.cpp -- the scene's sky.
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "gl_fixture.h"
#include "race/race.h"
#include "sim/sim.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

// A camera at (x, y, z) turned by yaw and pitch (rad), as the trackside cameras are.
render::Camera camera_at(float x, float y, float z, float yaw, float pitch, float fov) {
  render::Camera c;
  c.position[0] = x;
  c.position[1] = y;
  c.position[2] = z;
  render::yaw_pitch_matrix(yaw, pitch, c.axes);
  c.fov = fov;
  return c;
}

bool is_clear(const unsigned char* p) { return p[0] > 240 && p[1] < 15 && p[2] > 240; }

// The generated sky faces, drawn round the camera: no seam where two faces meet, and no
// corner of the box cut away by the track's far plane.
class SkyTest : public gl_fixture::GamePackGlTest {
 protected:
  void SetUp() override {
    GamePackGlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    race::g_track = race::Track{};
    render::g_scene = render::SceneState{};
    race::LightingSettings& l = race::g_track.lighting;
    const char* faces[5] = {"@sky-n.png", "@sky-e.png", "@sky-s.png", "@sky-w.png", "@sky-u.png"};
    for (int i = 0; i < 5; ++i) l.sky[i] = faces[i];
    l.near_plane = 0.5f;
    l.far_plane = 4000;  // nearer than the box's corners, as on Rabbit Hill
    render::g_render_settings.lens_flares = false;
    glViewport(0, 0, gl_fixture::kSize, gl_fixture::kSize);
  }
  void TearDown() override {
    race::g_track = race::Track{};
    GamePackGlTest::TearDown();
  }
  static std::vector<unsigned char> sky(float yaw, float pitch, float fov = 90) {
    // Whatever the sky leaves undrawn stays this colour.
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    render::draw_scene(camera_at(300, 50, 300, yaw, pitch, fov));
    return gl_fixture::read_frame();
  }
};

TEST_F(SkyTest, FacesMeetWithoutASeam) {
  const int n = gl_fixture::kSize;
  auto at = [&](const std::vector<unsigned char>& rgb, int x, int y) {
    return &rgb[(static_cast<std::size_t>(y) * n + x) * 3];
  };
  // The largest colour step between two neighbouring pixels (summed over the channels),
  // across the edge and, for comparison, beside it.
  auto step = [](const unsigned char* a, const unsigned char* b) {
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
  };
  // Looking at a vertical edge (north-east): it is the middle column.
  const std::vector<unsigned char> corner = sky(3 * kPi / 4, 0.2f);
  gl_fixture::keep_picture("sky-edge.png", corner);
  int across = 0, beside = 0;
  for (int y = n / 2; y < n; ++y) {  // the upper half, clear of the hills on the horizon
    across = std::max(across, step(at(corner, n / 2 - 1, y), at(corner, n / 2, y)));
    beside = std::max(beside, step(at(corner, n / 4 - 1, y), at(corner, n / 4, y)));
  }
  EXPECT_LE(across, beside + 3);
  // Looking up at the top edge of the north face: it is the middle row.
  const std::vector<unsigned char> top = sky(kPi, kPi / 4);
  across = beside = 0;
  for (int x = 0; x < n; ++x) {
    across = std::max(across, step(at(top, x, n / 2 - 1), at(top, x, n / 2)));
    beside = std::max(beside, step(at(top, x, n / 4 - 1), at(top, x, n / 4)));
  }
  EXPECT_LE(across, beside + 3);
}

// Looking at the upper corners, the box's farthest points, with the view above the horizon
// (the box has no floor: the ground covers what is below).
TEST_F(SkyTest, TheFarPlaneCutsNoCornerAway) {
  for (float yaw : {kPi / 4, 3 * kPi / 4}) {
    for (float pitch : {0.6f, 0.9f}) {
      const std::vector<unsigned char> rgb = sky(yaw, pitch, 60);
      int holes = 0;
      for (std::size_t i = 0; i < rgb.size(); i += 3) holes += is_clear(&rgb[i]);
      EXPECT_EQ(holes, 0) << "yaw " << yaw << " pitch " << pitch;
      if (holes) gl_fixture::keep_picture("sky-hole.png", rgb);
    }
  }
}

}  // namespace
