// lighting_cameras_test.cpp -- the lighting file and the cameras file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "race/race.h"
#include "race/track_fixtures.h"

namespace {

using race::LightingSettings;
using race::Track;
using track_fixtures::kGround;

using LightingTest = track_fixtures::TrackTest;
using CamerasTest = track_fixtures::TrackTest;

TEST_F(LightingTest, AbsentFileGivesTheDefaults) {
  LightingSettings l;
  l.near_plane = 3;
  race::read_lighting(nullptr, l);
  EXPECT_NEAR(l.sun_vector.x, 0.57735f, 1e-5f);
  EXPECT_FALSE(l.sun_vector_given);
  EXPECT_EQ(l.ambient[1], 0.5f);
  EXPECT_EQ(l.global_ambient[2], 0.2f);
  EXPECT_EQ(l.near_plane, 0.25f);
  EXPECT_EQ(l.far_plane, 5000);
  EXPECT_FALSE(l.dynamic_lighting);
  EXPECT_EQ(l.fog_density, 0);
  EXPECT_EQ(l.sky[0], "@sky-n.ppm");
  EXPECT_EQ(l.sky[4], "@sky-u.ppm");
  EXPECT_EQ(l.sky_env, "@sky-env.ppm");
  EXPECT_TRUE(l.flares.empty());
}

TEST_F(LightingTest, ReadsEveryKey) {
  LightingSettings l;
  race::read_lighting(text("sun_vector [ 0 3 4 ]\n"
                           "  \tsun_color [0.9 0.8 0.7]\n"
                           "\n"
                           "ambient [0.1 0.2 0.3]\n"
                           "global_ambient [0.4 0.5 0.6]\n"
                           "sky_w @west sky.png   \n"
                           "sky_env @env.png\n"
                           "flare_element [1 2] [0.5 0.6 0.7] 3 @flare.png\n"
                           "flare_point [10 20 30]\n"
                           "flare_element [1 1] [1 1 1] 1 @a.png\n"
                           "flare_vector [0 1 0]\n"
                           "fog [0.5 0.6 0.7] 0.01\n"
                           "fog [1 1 1]\n"
                           "dynamic_lighting 2\n"
                           "near_plane 0.5\n"
                           "far_plane 900\n"),
                      l);
  EXPECT_FLOAT_EQ(l.sun_vector.y, 0.6f);
  EXPECT_FLOAT_EQ(l.sun_vector.z, 0.8f);
  EXPECT_TRUE(l.sun_vector_given);
  EXPECT_EQ(l.sun_color[2], 0.7f);
  EXPECT_EQ(l.ambient[0], 0.1f);
  EXPECT_EQ(l.global_ambient[1], 0.5f);
  EXPECT_EQ(l.sky[3], "@west sky.png");
  EXPECT_EQ(l.sky[0], "@sky-n.ppm");
  EXPECT_EQ(l.sky_env, "@env.png");
  ASSERT_EQ(l.flares.size(), 2u);
  EXPECT_EQ(l.flares[0].kind, 0);
  EXPECT_EQ(l.flares[0].where.z, 30);
  ASSERT_EQ(l.flares[0].elements.size(), 1u);
  EXPECT_EQ(l.flares[0].elements[0].params[1], 2);
  EXPECT_EQ(l.flares[0].elements[0].color[2], 0.7f);
  EXPECT_EQ(l.flares[0].elements[0].value, 3);
  EXPECT_EQ(l.flares[0].elements[0].texture, "@flare.png");
  EXPECT_EQ(l.flares[1].kind, 1);
  EXPECT_EQ(l.flares[1].elements[0].texture, "@a.png");
  // The second fog line lacks its density and changes nothing.
  EXPECT_EQ(l.fog_color[0], 0.5f);
  EXPECT_EQ(l.fog_density, 0.01f);
  EXPECT_TRUE(l.dynamic_lighting);
  EXPECT_EQ(l.near_plane, 0.5f);
  EXPECT_EQ(l.far_plane, 900);
}

TEST_F(LightingTest, PlanesAreClampedAndTheSunKeepsADirection) {
  struct Case {
    const char* file;
    float near_plane, far_plane;
  } cases[] = {
      {"near_plane 5\n", 0.875f, 5000},
      {"near_plane 5\nfar_plane 0.5\n", 0.875f, 0.875f},
      {"near_plane 0\n", 1.0f / 1024, 5000},
      {"far_plane 1e9\n", 0.25f, 1048576},
      {"near_plane 1e50\nfar_plane -1e50\n", 0.875f, 0.875f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    LightingSettings l;
    race::read_lighting(text(c.file), l);
    EXPECT_EQ(l.near_plane, c.near_plane);
    EXPECT_EQ(l.far_plane, c.far_plane);
  }
  LightingSettings l;
  race::read_lighting(text("sun_vector [0 0 0]\n"), l);
  EXPECT_NEAR(l.sun_vector.x * l.sun_vector.x + l.sun_vector.y * l.sun_vector.y +
                  l.sun_vector.z * l.sun_vector.z,
              1, 1e-5f);
}

TEST_F(LightingTest, FlareElementsStopAtEightAndUnknownKeysStopReading) {
  std::string file;
  for (int i = 0; i < 10; ++i) file += "flare_element [1 1] [1 1 1] " + std::to_string(i) + " t\n";
  file += "flare_point [0 0 0]\nambient [0.9 0.9 0.9]\nsunvector [1 0 0]\nnear_plane 0.5\n";
  LightingSettings l;
  race::read_lighting(text(file), l);
  ASSERT_EQ(l.flares.size(), 1u);
  ASSERT_EQ(l.flares[0].elements.size(), 8u);
  EXPECT_EQ(l.flares[0].elements[7].value, 7);
  EXPECT_EQ(l.ambient[0], 0.9f);
  EXPECT_EQ(l.near_plane, 0.25f);
  EXPECT_NE(logged().find("Error reading lighting: Unknown identifier 'sunvector'\n"),
            std::string::npos);
}

TEST_F(CamerasTest, CamerasTakeThePendingViewAndGatesMapToTheNextCamera) {
  load_ground();
  Track track;
  race::read_cameras(text("gate 0\n"
                          "fov -60\n"
                          "autofovsize -12\n"
                          "addcamera 8 5 16\n"
                          "gate 3 7 300 9\n"
                          "this line is ignored\n"
                          "gates 4\n"
                          "addcamera 1 2 3\n"
                          "gate 255 -1 5\n"
                          "addcamera 1 2\n"),
                     track, {});
  ASSERT_EQ(track.cameras.size(), 2u);
  const race::TrackCamera& a = track.cameras[0];
  EXPECT_EQ(a.x, 8);
  EXPECT_FLOAT_EQ(a.y, kGround + 5);
  EXPECT_EQ(a.fov, 60);
  EXPECT_EQ(a.auto_fov_size, 12);
  EXPECT_EQ(track.cameras[1].fov, 90);
  EXPECT_EQ(track.cameras[1].auto_fov_size, 0);
  EXPECT_EQ(track.checkpoint_camera[0], 0);
  EXPECT_EQ(track.checkpoint_camera[3], 1);
  EXPECT_EQ(track.checkpoint_camera[7], 1);
  EXPECT_EQ(track.checkpoint_camera[9], -1);
  EXPECT_EQ(track.checkpoint_camera[4], -1);
  EXPECT_EQ(track.checkpoint_camera[5], -1);
  // No camera follows the last "gate" line: its checkpoints name none rather than one past the
  // list.
  EXPECT_EQ(track.checkpoint_camera[255], -1);
}

}  // namespace
