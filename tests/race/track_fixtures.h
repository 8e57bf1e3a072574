// track_fixtures.h -- track folders for the track tests: a flat terrain plus description files.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "data/data.h"
#include "race/race.h"
#include "sim/sim.h"
#include "sim/terrain_fixtures.h"

namespace track_fixtures {

// The fixture's ground: 9 x 9 points 8 ft apart (a 64 ft square), flat at this height.
constexpr float kGround = 10;
constexpr float kSide = 64;

class TrackTest : public terrain_fixtures::TerrainFilesTest {
 protected:
  void SetUp() override {
    TerrainFilesTest::SetUp();
    // Images the loads cache (the map) belong to a generation the sweep below drops.
    data::texture_new_generation();
  }
  void TearDown() override {
    data::texture_new_generation();
    data::texture_sweep();
    for (data::DataStream* stream : streams_) data::close_data(stream);
    streams_.clear();
    race::track_free();
    sim::shape_cache_clear();
    TerrainFilesTest::TearDown();
  }
  // Writes the flat terrain and the given (file, contents) pairs as home/<name>/.
  std::string write_folder(const std::map<std::string, std::string>& files,
                           const std::string& name = "track") {
    const std::string dir =
        write_track(terrain_fixtures::track_with(2, 8.0f, kGround, kGround + 10,
                                                 std::vector<std::uint16_t>(81, 0)),
                    name);
    for (const auto& [file, contents] : files) home.write(name + "/" + file, contents);
    return dir;
  }
  // Loads the terrain only, so readers can be run on their own over it.
  void load_ground() { ASSERT_TRUE(sim::terrain_load(write_folder({}, "ground").c_str(), 0)); }
  // Opens a text as a data stream (closed with the test).
  data::DataStream* text(const std::string& contents) {
    const std::string path = home.write("texts/" + std::to_string(streams_.size()), contents);
    data::DataStream* stream = data::open_data(path.c_str(), "rb");
    EXPECT_NE(stream, nullptr);
    streams_.push_back(stream);
    return stream;
  }

 private:
  std::vector<data::DataStream*> streams_;
};

}  // namespace track_fixtures
