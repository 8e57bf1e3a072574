// terrain_test.cpp -- loading and saving the height field, its queries and the brush.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/image_fixtures.h"
#include "sim/sim.h"
#include "sim/terrain_fixtures.h"

namespace {

using sim::g_terrain;
using terrain_fixtures::Track;
using terrain_fixtures::track_with;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<std::uint16_t> random_samples(int points, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint16_t> samples(static_cast<std::size_t>(points) * points);
  for (auto& v : samples) v = static_cast<std::uint16_t>(random() & 0xffff);
  return samples;
}

float h(int ix, int iz) { return g_terrain.heights[iz * g_terrain.points_per_side + ix]; }

struct Point {
  float x, y, z;
};

Point grid_point(int ix, int iz) {
  return {ix * g_terrain.spacing, h(ix, iz), iz * g_terrain.spacing};
}

float dot(const sim::Vec3& n, const Point& a, const Point& b) {
  return n.x * (b.x - a.x) + n.y * (b.y - a.y) + n.z * (b.z - a.z);
}

// Height at (x, z) of the plane through three points.
float plane_height(const Point (&p)[3], float x, float z) {
  const float det = (p[1].x - p[0].x) * (p[2].z - p[0].z) - (p[2].x - p[0].x) * (p[1].z - p[0].z);
  const float a = ((x - p[0].x) * (p[2].z - p[0].z) - (p[2].x - p[0].x) * (z - p[0].z)) / det;
  const float b = ((p[1].x - p[0].x) * (z - p[0].z) - (x - p[0].x) * (p[1].z - p[0].z)) / det;
  return p[0].y + a * (p[1].y - p[0].y) + b * (p[2].y - p[0].y);
}

class TerrainTest : public terrain_fixtures::TerrainFilesTest {
 protected:
  // Loads a track of random heights (0..100 ft) with 2 ft spacing.
  void load_random(int n, unsigned seed) {
    const int points = (1 << (n + 1)) + 1;
    ASSERT_TRUE(sim::terrain_load(
        write_track(track_with(n, 2.0f, 0.0f, 100.0f, random_samples(points, seed))).c_str(), 0));
  }
  // Loads a flat track of 9 x 9 points at 10 ft (header bounds 10..20), 2 ft spacing.
  void load_flat() {
    ASSERT_TRUE(sim::terrain_load(
        write_track(track_with(2, 2.0f, 10.0f, 20.0f, std::vector<std::uint16_t>(81, 0))).c_str(),
        0));
  }
};

// ---------------------------------------------------------------------------
// Queries

TEST_F(TerrainTest, HeightAndNormalFollowTheCheckerboardTriangles) {
  load_random(1, 7);
  struct Case {
    const char* what;
    float gx, gz;      // in grid units
    int corner[3][2];  // the triangle the point lies in
  } cases[] = {
      {"even cell, below the diagonal", 0.75f, 0.25f, {{1, 0}, {0, 0}, {1, 1}}},
      {"even cell, above the diagonal", 0.25f, 0.75f, {{0, 1}, {1, 1}, {0, 0}}},
      {"odd cell, near triangle", 1.25f, 0.25f, {{1, 0}, {2, 0}, {1, 1}}},
      {"odd cell, far triangle", 1.75f, 0.75f, {{2, 1}, {1, 1}, {2, 0}}},
      {"even cell away from the origin", 1.6f, 1.3f, {{2, 1}, {1, 1}, {2, 2}}},
      {"odd cell away from the origin", 3.2f, 2.3f, {{3, 2}, {4, 2}, {3, 3}}},
      {"last cell", 3.9f, 3.8f, {{4, 3}, {3, 3}, {4, 4}}},
  };
  const float s = g_terrain.spacing;
  for (const Case& c : cases) {
    const Point p[3] = {grid_point(c.corner[0][0], c.corner[0][1]),
                        grid_point(c.corner[1][0], c.corner[1][1]),
                        grid_point(c.corner[2][0], c.corner[2][1])};
    const float x = c.gx * s, z = c.gz * s;
    EXPECT_NEAR(sim::terrain_height(x, z), plane_height(p, x, z), 1e-3) << c.what;
    const sim::Vec3 n = sim::terrain_face_normal(x, z);
    EXPECT_FLOAT_EQ(n.y, s * s) << c.what;  // not normalised: twice the triangle's area
    EXPECT_NEAR(dot(n, p[0], p[1]), 0, 1e-2) << c.what;
    EXPECT_NEAR(dot(n, p[0], p[2]), 0, 1e-2) << c.what;
  }
}

TEST_F(TerrainTest, OutsideTheFieldTheEdgeHeightsContinue) {
  load_random(1, 8);
  const float s = g_terrain.spacing, extent = g_terrain.extent;
  EXPECT_EQ(extent, 8.0f);
  struct Case {
    const char* what;
    float x, z, expected;
  } cases[] = {
      {"the far corner itself", extent, extent, h(4, 4)},
      {"beyond the far corner", extent + 50, extent + 1e6f, h(4, 4)},
      {"beyond x, before z", extent + 50, -7, h(4, 0)},
      {"negative x, between rows", -3, 2.5f * s, (h(0, 2) + h(0, 3)) / 2},
      {"far negative z, between columns", 1.5f * s, -1e30f, (h(1, 0) + h(2, 0)) / 2},
      {"infinite", kInf, kInf, h(4, 4)},
      {"negative infinite", -kInf, -kInf, h(0, 0)},
      {"not a number", kNaN, kNaN, h(0, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(sim::terrain_height(c.x, c.z), c.expected, 1e-3) << c.what;
    const sim::Vec3 n = sim::terrain_face_normal(c.x, c.z);
    EXPECT_TRUE(std::isfinite(n.x) && std::isfinite(n.z)) << c.what;
    EXPECT_GT(n.y, 0) << c.what;
  }
  // Beyond an edge the ground is level in the outward direction.
  EXPECT_EQ(sim::terrain_face_normal(-3, 2.5f * s).x, 0.0f);
}

TEST_F(TerrainTest, SmallestFieldIsOneTileOfThreeByThreePoints) {
  ASSERT_TRUE(sim::terrain_load(
      write_track(track_with(0, 4.0f, 0, 9, {0, 1, 2, 3, 4, 5, 6, 7, 65535})).c_str(), 0));
  EXPECT_EQ(g_terrain.points_per_side, 3);
  EXPECT_EQ(g_terrain.tiles_per_side, 1);
  EXPECT_EQ(g_terrain.extent, 8.0f);
  EXPECT_EQ(g_terrain.tile_size, 8.0f);
  EXPECT_FLOAT_EQ(sim::terrain_height(8, 8), 9.0f);
  EXPECT_EQ(sim::terrain_surface_at(8, 8), 0);
}

// Every point's height lies on the plane of the triangle whose normal the
// face query gives (both triangles of a cell share the diagonal's first end).
TEST_F(TerrainTest, HeightLiesOnThePlaneOfTheFaceNormalEverywhere) {
  load_random(3, 99);
  std::mt19937 random(4242);
  std::uniform_real_distribution<float> where(0.0f, g_terrain.extent);
  const float s = g_terrain.spacing;
  for (int i = 0; i < 20000; ++i) {
    const float x = where(random), z = where(random);
    const int ix = std::min(static_cast<int>(std::floor(x / s)), g_terrain.points_per_side - 2);
    const int iz = std::min(static_cast<int>(std::floor(z / s)), g_terrain.points_per_side - 2);
    const Point shared = (ix + iz) % 2 == 0 ? grid_point(ix, iz) : grid_point(ix + 1, iz);
    const Point p = {x, sim::terrain_height(x, z), z};
    const sim::Vec3 n = sim::terrain_face_normal(x, z);
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    ASSERT_GT(n.y, 0);
    ASSERT_NEAR(dot(n, shared, p) / length, 0, 2e-3) << "at " << x << ", " << z;
  }
}

TEST_F(TerrainTest, VertexNormalsOfAPlaneAreItsNormalAlsoAtEdgesAndCorners) {
  // Heights rise 16 ft per grid step along x: a plane of slope 8 with 2 ft spacing.
  std::vector<std::uint16_t> samples(25);
  for (int iz = 0; iz < 5; ++iz) {
    for (int ix = 0; ix < 5; ++ix) samples[iz * 5 + ix] = static_cast<std::uint16_t>(ix * 16000);
  }
  ASSERT_TRUE(
      sim::terrain_load(write_track(track_with(1, 2.0f, 0.0f, 65.535f, samples)).c_str(), 0));
  const float length = std::sqrt(65.0f);
  const int points[][2] = {{2, 2}, {0, 2}, {4, 1}, {0, 0}, {4, 4}, {-3, 9}};
  for (const auto& p : points) {
    const sim::Vec3 n = sim::terrain_vertex_normal(p[0], p[1]);
    EXPECT_NEAR(n.x, -8 / length, 1e-4) << p[0] << ", " << p[1];
    EXPECT_NEAR(n.y, 1 / length, 1e-4) << p[0] << ", " << p[1];
    EXPECT_NEAR(n.z, 0, 1e-4) << p[0] << ", " << p[1];
  }
}

TEST_F(TerrainTest, SurfaceAtReadsTheClampedTileAndTheMapIsClampedToTheTable) {
  Track t = track_with(1, 2.0f, 0, 1, std::vector<std::uint16_t>(25, 0));
  t.tileinfo.clear();
  for (int i = 0; i < 12; ++i) t.tileinfo += "texture t" + std::to_string(i) + ".png\naddtile\n";
  t.tilemap = std::string("\xc8\x03\x05\x0c", 4);  // 200, 3, 5, 12
  ASSERT_TRUE(sim::terrain_load(write_track(t).c_str(), 0));
  ASSERT_EQ(g_terrain.surface_count, 12);
  struct Case {
    float x, z;
    int surface;
  } cases[] = {
      {1, 1, 11},  // 200 reads as the last surface
      {4.5f, 0, 3},   {0, 4.5f, 5}, {7.9f, 7.9f, 11}, {-100, -100, 11},
      {1e30f, -5, 3}, {-5, 100, 5}, {kNaN, kNaN, 11}, {kInf, kInf, 11},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sim::terrain_surface_at(c.x, c.z), c.surface) << c.x << ", " << c.z;
  }
}

TEST_F(TerrainTest, QueriesWithoutATerrainAnswerForFlatGround) {
  sim::terrain_free();
  EXPECT_EQ(sim::terrain_height(3, 4), 0.0f);
  EXPECT_EQ(sim::terrain_face_normal(3, 4).y, 1.0f);
  EXPECT_EQ(sim::terrain_surface_at(3, 4), 0);
  EXPECT_EQ(sim::surface_friction(5, 3), 1.0f);
  sim::terrain_deform(1, 1, 4, 1);  // nothing to change, nothing to crash
}

// ---------------------------------------------------------------------------
// Loading

TEST_F(TerrainTest, InlineSamplesSpanTheHeaderRangeAndAreDigested) {
  std::vector<std::uint16_t> samples(25, 32768);
  samples[0] = 0;
  samples[24] = 65535;
  ASSERT_TRUE(
      sim::terrain_load(write_track(track_with(1, 2.0f, -10.0f, 30.0f, samples)).c_str(), 0, 2));
  EXPECT_EQ(h(0, 0), -10.0f);
  EXPECT_EQ(h(4, 4), 30.0f);
  EXPECT_NEAR(h(2, 2), -10 + 32768 * 40 / 65535.0, 1e-5);

  platform::Sha1 sha;
  platform::sha1_begin(sha);
  for (std::uint16_t v : samples) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(v & 0xff),
                                    static_cast<unsigned char>(v >> 8)};
    platform::sha1_add(sha, bytes, 2);
  }
  unsigned char expected[20];
  platform::sha1_finish(sha, expected);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(g_terrain.heights_sha1), 20),
            std::string(reinterpret_cast<char*>(expected), 20));
  char hex[41];
  for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02x", expected[i]);
  EXPECT_NE(logged().find(std::string(hex) + "\n"), std::string::npos);
}

TEST_F(TerrainTest, HeightsFromTerrainPngTakeTheNearestPixelInside) {
  image_fixtures::PngSpec png;
  png.width = 3;
  png.height = 2;
  png.colour_type = PNG_COLOR_TYPE_GRAY;
  png.bit_depth = 16;
  const std::uint16_t pixels[6] = {0, 1000, 2000, 30000, 40000, 65535};
  for (std::uint16_t v : pixels) {
    png.rows.push_back(static_cast<unsigned char>(v >> 8));
    png.rows.push_back(static_cast<unsigned char>(v & 0xff));
  }
  Track t = track_with(1, 1.0f, 0.0f, 65535.0f, {});
  t.terrain_hf = "1 1.0 0 65535\n";
  home.write("track/terrain.png", image_fixtures::make_png(png));
  ASSERT_TRUE(sim::terrain_load(write_track(t).c_str(), 0));
  EXPECT_NEAR(h(1, 0), 1000, 0.01);
  EXPECT_NEAR(h(4, 0), 2000, 0.01);   // columns past the image take its last
  EXPECT_NEAR(h(0, 3), 30000, 0.01);  // rows likewise
  EXPECT_NEAR(h(4, 4), 65535, 0.01);
}

TEST_F(TerrainTest, WithoutTerrainPngTheFieldIsFlatAtTheMinimum) {
  Track t = track_with(1, 1.0f, 0, 0, {});
  t.terrain_hf = "1 1.0 -4.5 30\n";
  ASSERT_TRUE(sim::terrain_load(write_track(t).c_str(), 0));
  EXPECT_EQ(h(0, 0), -4.5f);
  EXPECT_EQ(h(3, 4), -4.5f);
}

TEST_F(TerrainTest, ShadingIsHalvedFromShadingPpmAndShadowsAreInverted) {
  Track t = track_with(1, 1.0f, 0, 1, std::vector<std::uint16_t>(25, 0));
  t.shadingx2.clear();
  t.shading = terrain_fixtures::ppm(5, 5, 201);
  t.shadows = terrain_fixtures::pgm(5, 5, 55);
  ASSERT_TRUE(sim::terrain_load(write_track(t).c_str(), 0));
  EXPECT_EQ(g_terrain.shading[0], 100);
  EXPECT_EQ(g_terrain.shading[5 * 5 * 3 - 1], 100);
  EXPECT_EQ(g_terrain.shadows[24], 200);
}

TEST_F(TerrainTest, BrokenTracksFailWithTheirMessageAndLeaveNothingLoaded) {
  struct Case {
    const char* what;
    void (*spoil)(Track&);
    const char* message;
  } cases[] = {
      {"no terrain.hf", [](Track& t) { t.terrain_hf.clear(); }, "Can't open '@track/terrain.hf'"},
      {"three header values", [](Track& t) { t.terrain_hf = "1 2.0 0.0\n"; },
       "Bad height field parameters\n"},
      {"size beyond any image", [](Track& t) { t.terrain_hf = "40 2.0 0 10\n:"; },
       "Bad height field parameters\n"},
      {"negative size", [](Track& t) { t.terrain_hf = "-1 2.0 0 10\n:"; },
       "Error reading heights\n"},
      {"zero spacing", [](Track& t) { t.terrain_hf = "1 0 0 10\n:"; },
       "Bad height field parameters\n"},
      {"shading of the wrong size", [](Track& t) { t.shadingx2 = terrain_fixtures::ppm(3, 3, 1); },
       "Bad shading dimensions (3x3)"},
      {"unreadable shading", [](Track& t) { t.shadingx2 = "P6\nnonsense"; },
       "Error reading shading"},
      {"no shading at all", [](Track& t) { t.shadingx2.clear(); },
       "Can't open '@track/shading.ppm'"},
      {"shadows of the wrong size", [](Track& t) { t.shadows = terrain_fixtures::pgm(4, 5, 1); },
       "Bad shadow dimensions (4x5)\n"},
      {"unreadable shadows", [](Track& t) { t.shadows = "P5 x"; }, "Error reading shadows"},
      {"neither tileinfo nor texturelist", [](Track& t) { t.tileinfo.clear(); },
       "Can't open '@track/texturelist'"},
      {"no tilemap", [](Track& t) { t.tilemap.clear(); }, "Can't open '@track/tilemap'"},
  };
  for (const Case& c : cases) {
    Track t = track_with(1, 2.0f, 0, 10, random_samples(5, 3));
    c.spoil(t);
    const std::string name = std::string("broken") + std::to_string(&c - cases);
    EXPECT_FALSE(sim::terrain_load(write_track(t, name).c_str(), 0)) << c.what;
    EXPECT_EQ(g_terrain.heights, nullptr) << c.what;
    EXPECT_EQ(sim::terrain_height(1, 1), 0.0f) << c.what;
    std::string expected = c.message;
    const std::size_t at = expected.find("@track");
    if (at != std::string::npos) expected.replace(at, 6, "@" + name);
    EXPECT_NE(logged().find(expected), std::string::npos) << c.what;
  }
}

TEST_F(TerrainTest, ShortFilesKeepWhatWasReadAndWarn) {
  std::vector<std::uint16_t> samples(25, 65535);
  Track t = track_with(1, 1.0f, 0.0f, 1.0f, samples);
  t.terrain_hf.resize(t.terrain_hf.size() - 30);  // 15 samples missing
  t.tilemap = "\x01";
  t.tileinfo = "addtile\naddtile\n";
  ASSERT_TRUE(sim::terrain_load(write_track(t).c_str(), 0));
  EXPECT_EQ(h(4, 1), 1.0f);
  EXPECT_EQ(h(0, 2), 0.0f);
  EXPECT_EQ(h(4, 4), 0.0f);
  EXPECT_EQ(g_terrain.tilemap[0], 1);
  EXPECT_EQ(g_terrain.tilemap[3], 0);
  const std::string log = logged();
  EXPECT_NE(log.find("Height field cut short: 10 of 25 samples"), std::string::npos);
  EXPECT_NE(log.find("tilemap cut short: 1 of 4 bytes"), std::string::npos);
}

TEST_F(TerrainTest, AnEmptySurfaceTableGetsOneDefaultSurface) {
  Track t = track_with(1, 1.0f, 0.0f, 1.0f, std::vector<std::uint16_t>(25, 0));
  t.tileinfo = "friction 0.5 2\n";  // values after the last addtile make no surface
  t.tilemap = std::string(4, '\x07');
  ASSERT_TRUE(sim::terrain_load(write_track(t).c_str(), 0));
  EXPECT_EQ(g_terrain.surface_count, 1);
  EXPECT_EQ(sim::terrain_surface_at(1, 1), 0);
  EXPECT_EQ(sim::surface_friction(0, 3), 1.0f);
}

TEST_F(TerrainTest, DecalsAreReadUpToTheFirstBrokenLine) {
  Track t = track_with(1, 1.0f, 0.0f, 1.0f, std::vector<std::uint16_t>(25, 0));
  t.decals = "[1 2] 0.5 3 4 @skid.png\n[ 5 6 ] 0 1 1 oil.png\nbroken line\n[7 8] 0 1 1 c.png\n";
  ASSERT_TRUE(sim::terrain_load(write_track(t).c_str(), 0));
  ASSERT_EQ(g_terrain.decals.size(), 2u);
  EXPECT_EQ(g_terrain.decals[0].x, 1.0f);
  EXPECT_EQ(g_terrain.decals[0].z, 2.0f);
  EXPECT_EQ(g_terrain.decals[0].angle, 0.5f);
  EXPECT_EQ(g_terrain.decals[0].size[1], 4.0f);
  EXPECT_EQ(g_terrain.decals[0].texture, "@skid.png");
  EXPECT_EQ(g_terrain.decals[1].texture, "oil.png");
}

TEST_F(TerrainTest, PyramidHoldsTheBoundsOfEveryTileAndOfTheWholeField) {
  load_random(2, 5);
  const int tiles = g_terrain.tiles_per_side;
  ASSERT_EQ(g_terrain.pyramid_nodes, 4 * tiles * tiles / 3);
  float lo = h(0, 0), hi = h(0, 0);
  for (int i = 0; i < 81; ++i) {
    lo = std::min(lo, g_terrain.heights[i]);
    hi = std::max(hi, g_terrain.heights[i]);
  }
  EXPECT_EQ(g_terrain.pyramid_min[0], lo);
  EXPECT_EQ(g_terrain.pyramid_max[0], hi);
  const int leaves = 1 + 4;  // the root and level 1 come first
  for (int tz = 0; tz < tiles; ++tz) {
    for (int tx = 0; tx < tiles; ++tx) {
      float tile_lo = h(2 * tx, 2 * tz), tile_hi = tile_lo;
      for (int dz = 0; dz <= 2; ++dz) {
        for (int dx = 0; dx <= 2; ++dx) {
          tile_lo = std::min(tile_lo, h(2 * tx + dx, 2 * tz + dz));
          tile_hi = std::max(tile_hi, h(2 * tx + dx, 2 * tz + dz));
        }
      }
      EXPECT_EQ(g_terrain.pyramid_min[leaves + tz * tiles + tx], tile_lo);
      EXPECT_EQ(g_terrain.pyramid_max[leaves + tz * tiles + tx], tile_hi);
    }
  }
}

TEST_F(TerrainTest, DigestFeedAddsTheTerrainFilesThatExistInOrder) {
  Track t = track_with(1, 1.0f, 0.0f, 1.0f, random_samples(5, 1));
  t.tilemap = "abcd";
  const std::string name = write_track(t);
  platform::Sha1 fed, expected;
  platform::sha1_begin(fed);
  sim::terrain_feed_digest(fed, name.c_str());
  platform::sha1_begin(expected);
  // No terrain.png and no texturelist: they add nothing.
  const std::string all = t.tilemap + t.terrain_hf + t.tileinfo;
  platform::sha1_add(expected, all.data(), all.size());
  char a[41], b[41];
  platform::sha1_finish_hex(fed, a);
  platform::sha1_finish_hex(expected, b);
  EXPECT_STREQ(a, b);
}

// ---------------------------------------------------------------------------
// Saving

TEST_F(TerrainTest, SavedTerrainLoadsBackWithinTheSampleQuantisation) {
  Track t = track_with(3, 1.5f, 0.0f, 100.0f, random_samples(17, 21));
  t.tilemap.clear();
  for (int i = 0; i < 64; ++i) t.tilemap.push_back(static_cast<char>(i % 3));
  t.tileinfo = "addtile\naddtile\naddtile\n";
  t.decals = "[1.5 2.25] 0.5 3 4 @skid.png\n";
  ASSERT_TRUE(sim::terrain_load(write_track(t).c_str(), 0));
  sim::terrain_deform(10, 10, 5, -30);  // pushes the minimum below the header's
  for (int i = 0; i < 17 * 17 * 3; ++i) g_terrain.shading[i] = static_cast<unsigned char>(i);
  const std::vector<float> before(g_terrain.heights, g_terrain.heights + 17 * 17);
  const std::vector<unsigned char> shading(g_terrain.shading, g_terrain.shading + 17 * 17 * 3);
  const std::string tilemap(reinterpret_cast<char*>(g_terrain.tilemap), 64);

  ASSERT_TRUE(sim::terrain_save("@copy"));
  const std::string doubled = test_support::read_file(xdg.file("Korvex/copy/shading.ppm"));
  const std::size_t header = std::string("P6\n17 17\n255\n").size();
  EXPECT_EQ(doubled.substr(header + 100, 3), "\xc8\xca\xcc");  // bytes 100..102, doubled
  EXPECT_EQ(doubled.substr(header + 128, 1), "\xff");          // 256 is capped
  xdg.write("Korvex/copy/tileinfo", t.tileinfo);
  ASSERT_TRUE(sim::terrain_load("@copy", 0));

  const float lo = *std::min_element(before.begin(), before.end());
  const float hi = *std::max_element(before.begin(), before.end());
  EXPECT_NEAR(g_terrain.min_height, lo, 1e-5);
  for (int i = 0; i < 17 * 17; ++i) {
    ASSERT_NEAR(g_terrain.heights[i], before[i], (hi - lo) / 65535 * 0.5 + 1e-4) << i;
  }
  EXPECT_EQ(std::vector<unsigned char>(g_terrain.shading, g_terrain.shading + 17 * 17 * 3),
            shading);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(g_terrain.tilemap), 64), tilemap);
  ASSERT_EQ(g_terrain.decals.size(), 1u);
  EXPECT_EQ(g_terrain.decals[0].z, 2.25f);
  EXPECT_EQ(g_terrain.decals[0].texture, "@skid.png");
}

TEST_F(TerrainTest, FlatTerrainSavesWithoutARangeAndLoadsBackFlat) {
  load_flat();
  ASSERT_TRUE(sim::terrain_save("@copy"));
  xdg.write("Korvex/copy/tileinfo", "addtile\n");
  ASSERT_TRUE(sim::terrain_load("@copy", 0));
  for (int i = 0; i < 81; ++i) ASSERT_EQ(g_terrain.heights[i], 10.0f);
}

TEST_F(TerrainTest, SaveReportsFilesItCannotOpen) {
  load_flat();
  home.write("plain_file", "x");
  EXPECT_FALSE(sim::terrain_save(home.file("plain_file/track").c_str()));
  const std::string log = logged();
  EXPECT_NE(log.find("Can't open 'terrain.hf'"), std::string::npos);
  EXPECT_NE(log.find("Can't open 'shading.ppm'"), std::string::npos);
  EXPECT_NE(log.find("Can't open 'tilemap'"), std::string::npos);
}

// ---------------------------------------------------------------------------
// The brush

// What the brush should give at grid point (ix, iz) of the flat field.
float brushed(float x, float z, float r, float d, int ix, int iz) {
  const double rc = r / 2.0, q = std::hypot(x / 2.0 - ix, z / 2.0 - iz);
  if (!(rc > 0) || q > rc) return 10.0f;
  const double u = q / rc;
  return 10.0f + static_cast<float>(d * (2 * u * u * u - 3 * u * u + 1));
}

TEST_F(TerrainTest, BrushChangesOnlyGridPointsInsideItsRadius) {
  struct Case {
    const char* what;
    float x, z, radius, amount;
  } cases[] = {
      {"centred on a point", 8, 8, 4, 15},
      {"between points, lowering", 7.3f, 9.1f, 3.3f, -2},
      {"over the corner, partly outside", 0.5f, 0.5f, 6, 1},
      {"centred outside, reaching in", -3, 5, 4, 2},
      {"beyond the far edge", 17.5f, 4, 3, 1},
      {"radius 0", 8, 8, 0, 5},
      {"negative radius", 8, 8, -3, 5},
      {"far away", -100, -100, 4, 1},
      {"very far away", 1e30f, -1e30f, 4, 1},
      {"huge radius", 8, 8, 1e30f, 0.5f},
  };
  for (const Case& c : cases) {
    load_flat();
    sim::terrain_deform(c.x, c.z, c.radius, c.amount);
    bool changed = false;
    for (int iz = 0; iz < 9; ++iz) {
      for (int ix = 0; ix < 9; ++ix) {
        const float expected = brushed(c.x, c.z, c.radius, c.amount, ix, iz);
        ASSERT_NEAR(h(ix, iz), expected, 1e-5) << c.what << " at " << ix << ", " << iz;
        changed = changed || expected != 10.0f;
      }
    }
    EXPECT_EQ(g_terrain.modified, changed) << c.what;
    EXPECT_EQ(g_terrain.edit_count, 1) << c.what;
  }
}

TEST_F(TerrainTest, BrushWidensTheBoundsAndMarksTheShadingAroundIt) {
  load_flat();
  sim::terrain_deform(8, 8, 4, 15);  // (4, 4) rises to 25, above the header's 20
  EXPECT_EQ(g_terrain.max_height, 25.0f);
  EXPECT_EQ(g_terrain.min_height, 10.0f);
  // The brush square is points 3..6 (2 cells each side of the cell holding the centre); the
  // ring around it has new normals too.
  EXPECT_EQ(g_terrain.shading_dirty.x0, 2);
  EXPECT_EQ(g_terrain.shading_dirty.z1, 7);
  sim::terrain_deform(2, 2, 2, -15);
  EXPECT_EQ(g_terrain.min_height, -5.0f);
  EXPECT_EQ(g_terrain.shading_dirty.x0, 0);
  EXPECT_EQ(g_terrain.shading_dirty.x1, 7);
  EXPECT_EQ(g_terrain.edit_count, 2);
  // The pyramid is left as loaded.
  EXPECT_EQ(g_terrain.pyramid_max[0], 10.0f);
}

TEST_F(TerrainTest, LockedBrushChangesNoHeightButRefreshesTheShading) {
  load_flat();
  std::fill(g_terrain.shading, g_terrain.shading + 81 * 3, 0);
  g_terrain.deform_locked = true;
  sim::terrain_deform(8, 8, 4, 15);
  for (int i = 0; i < 81; ++i) ASSERT_EQ(g_terrain.heights[i], 10.0f);
  EXPECT_FALSE(g_terrain.modified);
  EXPECT_EQ(g_terrain.edit_count, 1);
  // Flat ground under the default light: ambient 0.45 + sun 0.55 * 0.8165, at half intensity.
  EXPECT_EQ(g_terrain.shading[(4 * 9 + 4) * 3], 115);
  EXPECT_EQ(g_terrain.shading[(2 * 9 + 2) * 3], 115);
  EXPECT_EQ(g_terrain.shading[(1 * 9 + 1) * 3], 0);  // outside the refreshed square
  EXPECT_EQ(g_terrain.shading_dirty.x0, 2);
}

TEST_F(TerrainTest, BrushOfNoAmountOrOfNonFiniteValuesDoesNothing) {
  load_flat();
  sim::terrain_deform(8, 8, 4, 0);
  EXPECT_EQ(g_terrain.edit_count, 0);
  sim::terrain_deform(kNaN, 8, 4, 1);
  sim::terrain_deform(8, 8, kInf, 1);
  sim::terrain_deform(8, 8, 4, kNaN);
  for (int i = 0; i < 81; ++i) ASSERT_EQ(g_terrain.heights[i], 10.0f);
  EXPECT_FALSE(g_terrain.modified);
}

}  // namespace
