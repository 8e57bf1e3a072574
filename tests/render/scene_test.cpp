// scene_test.cpp -- the scene's animated scenery (start-gate bars, the starter), the models it
// looks up for statues and riders, and its sky.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "gl_fixture.h"
#include "race/race.h"
#include "shell/catalogue.h"
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

// A headerless .jm of `copies` copies of one panel facing +x at x = `x`, spanning y0..y1 and
// z0..z1 (ft): two triangles a copy, so the model polygon count tells models apart.
std::string panel_jm(float x, float y0, float y1, float z0, float z1, int copies = 1) {
  char text[512];
  std::string vertices, triangles;
  for (int c = 0; c < copies; ++c) {
    const float corners[4][2] = {{y0, z1}, {y0, z0}, {y1, z0}, {y1, z1}};  // seen from +x
    for (const auto& yz : corners) {
      std::snprintf(text, sizeof text, "%g %g %g  1 0 0  0 0\n", x, yz[0], yz[1]);
      vertices += text;
    }
    std::snprintf(text, sizeof text, "%d %d %d\n%d %d %d\n", 4 * c, 4 * c + 1, 4 * c + 2, 4 * c,
                  4 * c + 2, 4 * c + 3);
    triangles += text;
  }
  return std::to_string(4 * copies) + " " + std::to_string(2 * copies) + "\n" + vertices +
         triangles;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool is_clear(const unsigned char* p) { return p[0] > 240 && p[1] < 15 && p[2] > 240; }

class SceneTest : public gl_fixture::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    race::g_track = race::Track{};
    render::g_scene = render::SceneState{};
    glViewport(0, 0, gl_fixture::kSize, gl_fixture::kSize);
    glClearColor(1, 0, 1, 1);  // no sky: the clear colour is the sky
  }
  void TearDown() override {
    race::g_track = race::Track{};
    render::g_scene = render::SceneState{};
    GlTest::TearDown();
  }
  // One statue of `model` at (x, y, z), unturned.
  static void place_statue(const std::string& model, float x, float y, float z) {
    race::Statue s;
    s.model = model;
    s.x = x;
    s.y = y;
    s.z = z;
    race::g_track.statues = {s};
    race::g_track.first_file_statue = 0;
  }
  // The model polygons of one frame from `camera`.
  static int polygons(const render::Camera& camera) {
    render::draw_scene(camera);
    return render::g_frame_counters.model_polygons;
  }
};

// Seen from the side, a bar standing on its hinge turns down forwards as its fall value goes
// to 0: up from flat by 3 pi / 16 per unit, so standing is a fall value of 8/3.
TEST_F(SceneTest, StartGateBarsTurnUpFromFlatByTheirFallValue) {
  home.write("bar.jm", panel_jm(0.05f, 0, 4, -0.1f, 0));  // 4 ft tall, 0.1 ft deep
  place_statue("@bar.jm", 100, 20, 100);
  race::g_track.first_file_statue = 1;  // the statue is a starting-gate object
  // From +x the view's right is -z, the way the bar falls; the hinge sits 2 ft left of the
  // middle and 2 ft below it.
  const float fov = 10, distance = 60;
  const render::Camera camera = camera_at(100 + distance, 22, 98, -kPi / 2, 0, fov);
  const float pixels_per_ft = gl_fixture::kSize / 2 / (distance * std::tan(fov / 2 * kPi / 180));
  struct Case {
    float fall;
    float degrees;  // up from the ground ahead of the hinge
  } cases[] = {{render::kGateStandingFall, 90}, {4.0f / 3, 45}, {2.0f / 3, 22.5f}, {0, 0}};
  for (const Case& c : cases) {
    render::g_scene.gate_fall = c.fall;
    render::draw_scene(camera);
    const std::vector<unsigned char> rgb = gl_fixture::read_frame();
    // The bar's far end: its covered pixel farthest from the hinge.
    float best = -1, ahead = 0, up = 0;
    for (int y = 0; y < gl_fixture::kSize; ++y) {
      for (int x = 0; x < gl_fixture::kSize; ++x) {
        if (is_clear(&rgb[(static_cast<std::size_t>(y) * gl_fixture::kSize + x) * 3])) continue;
        const float a = (x + 0.5f - gl_fixture::kSize / 2) / pixels_per_ft + 2;
        const float u = (y + 0.5f - gl_fixture::kSize / 2) / pixels_per_ft + 2;
        if (a * a + u * u > best) {
          best = a * a + u * u;
          ahead = a;
          up = u;
        }
      }
    }
    ASSERT_GT(best, 0) << "fall " << c.fall;
    EXPECT_NEAR(std::sqrt(best), 4, 0.3f) << "fall " << c.fall;
    EXPECT_NEAR(std::atan2(up, ahead) * 180 / kPi, c.degrees, 3) << "fall " << c.fall;
    if (c.fall == 0) gl_fixture::keep_picture("gate-down.png", rgb);
  }
}

// The starter shows the countdown at his first point, walks to his second over his duration
// to arrive 2 s before the drop, holds the flag down there, and stands there after the drop.
TEST_F(SceneTest, StartFlaggerWalksAndShowsTheCountdown) {
  race::Track& t = race::g_track;
  race::StartFlagger& f = t.flaggers.start;
  f.billboard = race::add_billboard(t, 10, 1, 20, 6, 0.5f, "stand");
  f.first_point = {10, 1, 20};
  f.second_point = {28, 1, 20};
  f.duration = 2;
  const char* names[5] = {"stand", "board", "sideways", "flag", "walk"};
  for (int i = 0; i < 5; ++i) f.textures[i] = names[i];
  render::g_scene.start_tick = 20 * sim::kTicksPerSecond;
  struct Case {
    float before_drop;  // s
    const char* texture;
    float x;
  } cases[] = {
      {20, "board", 10},     {8, "sideways", 10}, {4.5f, "sideways", 10}, {3, "walk", 19},
      {2.5f, "walk", 23.5f}, {1, "flag", 28},     {-5, "stand", 28},
  };
  const render::Camera camera = camera_at(0, 5, 0, 0, 0, 60);
  for (const Case& c : cases) {
    render::g_scene.tick =
        render::g_scene.start_tick - static_cast<int>(c.before_drop * sim::kTicksPerSecond);
    render::draw_scene(camera);
    const race::Billboard& bb = t.billboards[static_cast<std::size_t>(f.billboard)];
    EXPECT_EQ(bb.texture, c.texture) << c.before_drop << " s before the drop";
    EXPECT_NEAR(bb.x, c.x, 1e-3f) << c.before_drop << " s before the drop";
    EXPECT_NEAR(bb.y, 1, 1e-3f) << c.before_drop << " s before the drop";
    EXPECT_NEAR(bb.z, 20, 1e-3f) << c.before_drop << " s before the drop";
  }
}

// A statue whose model is missing is warned about once and not looked for again until the
// next set-up starts a generation; then it is drawn.
TEST_F(SceneTest, AMissingModelIsWarnedAboutOnceAndTriedAgainAtTheNextSetUp) {
  place_statue("@late.jm", 0, 0, 0);
  const render::Camera camera = camera_at(10, 0, 0, -kPi / 2, 0, 60);
  for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(polygons(camera), 0);
  home.write("late.jm", panel_jm(0.5f, -1, 1, -1, 1));
  EXPECT_EQ(polygons(camera), 0);  // not read again frame after frame
  render::model_new_generation();
  EXPECT_EQ(polygons(camera), 2);
  EXPECT_EQ(count(logged(), "Warning: Can't load @late.jm"), 1);
}

// The view test's reach of a statue belongs to the model it was measured on: another model
// under the statue, even one the allocator put where a freed one was, is measured anew.
TEST_F(SceneTest, AStatuesReachFollowsItsModel) {
  home.write("dot.jm", panel_jm(0, 0, 0.1f, -0.1f, 0));
  home.write("wide.jm", panel_jm(0, -1, 1, -41, -39));  // 40 ft along -z from the origin
  place_statue("@dot.jm", 0, 0, 0);
  // Looking along -z at the wide panel's place, from beside it: the origin is out of view.
  const render::Camera camera = camera_at(10, 0, -40, -kPi / 2, 0, 30);
  EXPECT_EQ(polygons(camera), 0);
  render::model_cache_clear();
  race::g_track.statues[0].model = "@wide.jm";
  EXPECT_EQ(polygons(camera), 2);
}

// What race set-up preloads survives the sweep, and the first frame needs no file.
TEST_F(SceneTest, PreloadedModelsNeedNoFileAtTheFirstFrame) {
  home.write("cone.jm", panel_jm(0.5f, -1, 1, -1, 1));
  place_statue("@cone.jm", 0, 0, 0);
  render::model_new_generation();
  render::scene_preload();
  render::model_release_stale();
  ASSERT_EQ(std::remove(home.file("cone.jm").c_str()), 0);
  EXPECT_EQ(polygons(camera_at(10, 0, 0, -kPi / 2, 0, 60)), 2);
}

// A rider's part is drawn with the model paired with his chosen texture by file name when
// it loads, else with the entry's own; a part with neither is left out, with one warning for
// the whole field however many frames and riders miss it.
TEST_F(SceneTest, RiderPartsPairWithTheirTexturesElseTheEntrysOwn) {
  sim::create_world();
  const sim::BikeInfo* info = shell::find_bike_info("crf450(2013)");
  ASSERT_STREQ(info->files[sim::kFrameModel], "@crf450v2013_frame.jm");
  home.write("crf450v2013_frame.jm", panel_jm(0.5f, -1, 1, -1, 1));         // 2 triangles
  home.write("crf450v2013-red_frame.jm", panel_jm(0.5f, -1, 1, -1, 1, 3));  // 6 triangles
  struct Case {
    const char* bike_texture;
    int polygons;
  } cases[] = {{"@crf450v2013-red.png", 6}, {"@crf450v2013-blue.png", 2}, {"", 2}};
  std::vector<sim::Bike*> bikes;
  render::g_scene.riders.resize(std::size(cases));
  int total = 0;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    bikes.push_back(sim::bike_create(info, static_cast<int>(i), "7"));
    render::SceneRider& r = render::g_scene.riders[i];
    r.bike = bikes.back();
    r.info = info;
    r.bike_texture = cases[i].bike_texture;
    total += cases[i].polygons;
  }
  // Every bike stands at its rest pose round the origin; seen from the side.
  const render::Camera camera = camera_at(20, 2, 3.6f, -kPi / 2, 0, 40);
  for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(polygons(camera), total);
  const std::string log = logged();
  EXPECT_EQ(count(log,
                  "Warning: Can't load @crf450v2013-red_swingarm.jm or "
                  "@crf450v2013_swingarm.jm"),
            1);
  EXPECT_EQ(count(log,
                  "Warning: Can't load @crf450v2013-blue_swingarm.jm or "
                  "@crf450v2013_swingarm.jm"),
            1);
  EXPECT_EQ(count(log, "Warning: Can't load @crf450v2013_swingarm.jm\n"), 1);
  EXPECT_EQ(count(log, "Warning: Can't load @front_wheel.jm\n"), 1);  // shared: never paired
  for (sim::Bike* bike : bikes) sim::bike_destroy(bike);
}

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
