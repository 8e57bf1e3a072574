// track_load_test.cpp -- loading a whole track folder and the track digest.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "race/race.h"
#include "race/track_fixtures.h"
#include "support/test_support.h"

namespace {

using race::g_track;
using track_fixtures::kGround;

// A track with something in every file the loader reads.
std::map<std::string, std::string> full_track() {
  return {
      {"lighting", "sun_vector [0 2 0]\nfar_plane 800\n"},
      {"timing_gates",
       "startinggate:\n[20 0 20] 0\n[24 0 20] 0 @g.jm @g.png @hay.shp\n"
       "checkpoints:\n5 [1 2 3] [0 0 1]\n5 [9 2 9] [1 0 0]\n"
       "firstlap: 0 1\nnormallap: 0 1\n"},
      {"flaggers", "[1 2 3] [4 0 6] 5 0.5 2.5 s1 s2 s3 s4 s5\n[7 1 9] 3 1 f1 f2 f3 f4\n"},
      {"billboards", "[30 1 30] 2 1 banner.png\n"},
      {"statues",
       "[32 0 32] 0 @hay.jm @hay.png @hay.shp\n[40 0 40] 0 null null @tyre.shp\n"
       "[41 0 41] 0 null null @hay.shp\n"},
      {"cameras", "gate 1\naddcamera 10 20 10\n"},
      {"map.png", ""},
  };
}

class TrackLoadTest : public track_fixtures::TrackTest {
 protected:
  void SetUp() override {
    TrackTest::SetUp();
    home.write("hay.shp", "1 0 0 0 1 1 0 0\n");
    home.write("tyre.shp", "1 0 0 0 2 1 0 0\n");
    home.write("startgate.shp", "1 0 0 0 3 1 0 0\n");
  }
  std::string digest_hex() const {
    std::string hex;
    char two[3];
    for (unsigned char byte : g_track.digest.bytes) {
      std::snprintf(two, sizeof two, "%02x", byte);
      hex += two;
    }
    return hex;
  }
  // Loads the folder and returns its digest.
  std::string load(const std::string& dir) {
    sim::shape_cache_clear();
    race::TrackLoadOptions options;
    options.debug_level = 1;
    EXPECT_TRUE(race::track_load(dir.c_str(), options));
    return digest_hex();
  }
};

TEST_F(TrackLoadTest, LoadsEveryFileInOrder) {
  std::map<std::string, std::string> files = full_track();
  files.erase("map.png");
  const std::string dir = write_folder(files);
  const unsigned char pixels[3 * 3 * 2] = {};
  ASSERT_TRUE(data::write_png(home.file("track/map.png").c_str(), pixels, 3, 2, 3, false));
  load(dir);
  EXPECT_EQ(g_track.name, dir);
  EXPECT_EQ(g_track.lighting.far_plane, 800);
  EXPECT_FLOAT_EQ(sim::g_terrain.light.sun_direction.y, 1);

  // Starting-gate objects come before the file's statues.
  ASSERT_EQ(g_track.starting_gates.size(), 2u);
  ASSERT_EQ(g_track.statues.size(), 5u);
  EXPECT_EQ(g_track.first_file_statue, 2);
  EXPECT_EQ(g_track.statues[2].model, "@hay.jm");
  EXPECT_EQ(g_track.checkpoints.size(), 2u);

  // The particle pool, the two flaggers, then the file's billboard.
  ASSERT_EQ(g_track.billboards.size(), race::kPoolBillboards + 3u);
  EXPECT_EQ(g_track.billboard_render.size(), g_track.billboards.size());
  const race::Billboard& pool = g_track.billboards[0];
  EXPECT_EQ(pool.y, 0);
  EXPECT_EQ(pool.size, 1);
  EXPECT_EQ(pool.width_factor, 1);
  EXPECT_TRUE(pool.texture.empty());
  EXPECT_EQ(g_track.flaggers.start.billboard, race::kPoolBillboards);
  EXPECT_EQ(g_track.first_file_billboard, race::kPoolBillboards + 2);
  EXPECT_EQ(g_track.billboards.back().texture, "banner.png");
  EXPECT_FLOAT_EQ(g_track.billboards.back().y, kGround + 1);

  ASSERT_EQ(g_track.cameras.size(), 1u);
  EXPECT_EQ(g_track.checkpoint_camera[1], 0);
  EXPECT_EQ(g_track.map_texture, dir + "/map.png");
  EXPECT_EQ(g_track.map_width, 3);
  EXPECT_EQ(g_track.map_height, 2);
  // Every shaped statue is in the grid: the two gates, two hay bales and the tyre.
  int entries = 0;
  for (auto& row : g_track.grid.cells) {
    for (auto& cell : row) entries += static_cast<int>(cell.size());
  }
  EXPECT_GE(entries, 5);

  const std::string log = logged();
  EXPECT_NE(log.find("Loading '" + dir + "'\n"), std::string::npos);
  EXPECT_NE(log.find("bytes texture memory used after statue creation\n"), std::string::npos);
  EXPECT_NE(log.find("1 cameras found\n"), std::string::npos);

  race::track_free();
  EXPECT_TRUE(g_track.name.empty());
  EXPECT_TRUE(g_track.statues.empty());
  EXPECT_EQ(sim::g_terrain.heights, nullptr);
  const std::string freed = logged();
  EXPECT_LT(freed.find("Deallocating track\n"), freed.find("Finished deallocating track\n"));
}

TEST_F(TrackLoadTest, OnlyTheTerrainCanFailALoad) {
  // Description files that are all missing or all garbage still load.
  for (const char* junk : {"", "\x01\x02[[[ ]]] 1e999 nul\xff"}) {
    std::map<std::string, std::string> files;
    if (junk[0]) {
      for (const char* f :
           {"lighting", "timing_gates", "flaggers", "billboards", "statues", "cameras"}) {
        files[f] = junk;
      }
    }
    const std::string dir = write_folder(files, junk[0] ? "junk" : "empty");
    load(dir);
    EXPECT_EQ(g_track.billboards.size(), static_cast<std::size_t>(race::kPoolBillboards));
    EXPECT_TRUE(g_track.statues.empty());
    EXPECT_TRUE(g_track.checkpoints.empty());
    EXPECT_TRUE(g_track.map_texture.empty());
  }
  home.write("broken/statues", "[1 0 1] 0 null null null\n");
  EXPECT_FALSE(race::track_load("@broken", {}));
  EXPECT_TRUE(g_track.name.empty());
}

TEST_F(TrackLoadTest, DigestFollowsTheHashedFilesAndStatueShapesOnly) {
  const std::string dir = write_folder(full_track());
  const std::string base = load(dir);
  struct Case {
    const char* what;
    std::string file;  // relative to home
    std::string contents;
    bool changes;
  } cases[] = {
      {"timing_gates", "track/timing_gates", full_track()["timing_gates"] + " ", true},
      {"statues", "track/statues", full_track()["statues"] + " ", true},
      {"tileinfo", "track/tileinfo", "texture @dirt.png\naddtile\n\n", true},
      {"texturelist", "track/texturelist", "@dirt.png\n", true},
      {"a statue's shape", "tyre.shp", "1 0 0 0 2 1 0 0 \n", true},
      {"a starting gate's shape", "startgate.shp", "1 0 0 0 3 1 0 0 \n", true},
      {"lighting", "track/lighting", "far_plane 100\n", false},
      {"cameras", "track/cameras", "addcamera 1 1 1\n", false},
      {"flaggers", "track/flaggers", "", false},
      {"billboards", "track/billboards", "[1 1 1] 1 1 x.png\n", false},
      {"map.png", "track/map.png", "x", false},
      {"a shape no statue uses", "unused.shp", "1 0 0 0 1 1 0 0\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = home.file(c.file);
    const bool existed = test_support::file_exists(path);
    const std::string before = existed ? test_support::read_file(path) : "";
    home.write(c.file, c.contents);
    EXPECT_EQ(load(dir) != base, c.changes);
    if (existed) {
      home.write(c.file, before);
    } else {
      std::remove(path.c_str());
    }
    EXPECT_EQ(load(dir), base);
  }
}

TEST_F(TrackLoadTest, DigestIsTheFilesInOrderThenEachShapeOnce) {
  const std::string dir = write_folder(full_track());
  load(dir);
  std::string bytes;
  for (const char* f : {"tilemap", "terrain.hf", "terrain.png", "texturelist", "tileinfo",
                        "timing_gates", "statues"}) {
    const std::string path = home.file(std::string("track/") + f);
    if (test_support::file_exists(path)) bytes += test_support::read_file(path);
  }
  // Gates first ("@startgate.shp", then "@hay.shp"), then the statues' new "@tyre.shp".
  for (const char* shape : {"startgate.shp", "hay.shp", "tyre.shp"}) {
    bytes += test_support::read_file(home.file(shape));
  }
  platform::Sha1 sha;
  platform::sha1_begin(sha);
  platform::sha1_add(sha, bytes.data(), bytes.size());
  unsigned char expected[20];
  platform::sha1_finish(sha, expected);
  EXPECT_EQ(std::memcmp(expected, g_track.digest.bytes, 20), 0);
}

}  // namespace
