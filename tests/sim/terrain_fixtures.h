// terrain_fixtures.h -- small track folders for the terrain tests: inline height fields,
// shading, tile maps and tile tables built as bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/log_internal.h"
#include "platform/platform.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace terrain_fixtures {

// terrain.hf with its samples inline.
inline std::string inline_height_field(int n, float spacing, float lowest, float highest,
                                       const std::vector<std::uint16_t>& samples) {
  std::string out = std::to_string(n) + " " + std::to_string(spacing) + " " +
                    std::to_string(lowest) + " " + std::to_string(highest) + "\n:";
  for (std::uint16_t v : samples) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
  }
  return out;
}

inline std::string ppm(int width, int height, unsigned char value) {
  return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
         std::string(static_cast<std::size_t>(width) * height * 3, static_cast<char>(value));
}

inline std::string pgm(int width, int height, unsigned char value) {
  return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
         std::string(static_cast<std::size_t>(width) * height, static_cast<char>(value));
}

// One track folder's files; each is written unless it is empty.
struct Track {
  std::string terrain_hf;
  std::string shadingx2;
  std::string shading;
  std::string shadows;
  std::string tileinfo = "texture @dirt.png\naddtile\n";
  std::string texturelist;
  std::string tilemap;
  std::string decals;
};

// A loadable track of 2^(n+1)+1 points a side with the given samples (row by row, z outer).
inline Track track_with(int n, float spacing, float lowest, float highest,
                        const std::vector<std::uint16_t>& samples) {
  Track t;
  const int points = (1 << (n + 1)) + 1;
  t.terrain_hf = inline_height_field(n, spacing, lowest, highest, samples);
  t.shadingx2 = ppm(points, points, 100);
  t.tilemap = std::string(static_cast<std::size_t>(1) << (2 * n), '\0');
  return t;
}

// A test whose data folder (KV_HOME) holds track folders and whose log goes to a file.
class TerrainFilesTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    log_capture.start();
  }
  void TearDown() override {
    sim::terrain_free();
    log_capture.stop();
    DataFoldersTest::TearDown();
  }
  // Writes the track as home/<name>/ and returns its data name "@<name>".
  std::string write_track(const Track& t, const std::string& name = "track") {
    auto put = [&](const char* file, const std::string& contents) {
      if (!contents.empty()) home.write(name + "/" + file, contents);
    };
    put("terrain.hf", t.terrain_hf);
    put("shadingx2.ppm", t.shadingx2);
    put("shading.ppm", t.shading);
    put("shadows.pgm", t.shadows);
    put("tileinfo", t.tileinfo);
    put("texturelist", t.texturelist);
    put("tilemap", t.tilemap);
    put("decals", t.decals);
    return "@" + name;
  }
  // Everything logged since the last call (the log starts a fresh file after it).
  std::string logged() {
    const std::string text = log_capture.text();
    platform::log_reset_for_test();
    return text;
  }
  test_support::LogCapture log_capture{"terrain.log"};
};

}  // namespace terrain_fixtures
