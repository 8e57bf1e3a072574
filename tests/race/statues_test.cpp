// statues_test.cpp -- the statues file, statue maps and shapes, its writer and the statue grid.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "race/race.h"
#include "race/track_fixtures.h"
#include "support/test_support.h"

namespace {

using race::Track;
using track_fixtures::kGround;
using track_fixtures::kSide;

class StatuesTest : public track_fixtures::TrackTest {
 protected:
  void read(const std::string& contents, Track& track, bool normal_maps = false) {
    race::TrackLoadOptions options;
    options.normal_maps = normal_maps;
    race::read_statues(text(contents), track, options);
  }
};

TEST_F(StatuesTest, RecordsArePlacedTurnedAndGivenTheirShapes) {
  load_ground();
  home.write("hay.shp", "2\n0 1 0 0.5 1 0 0\n3 0 4 1 1 0 0\n");
  Track track;
  read(
      "[ 8 2 16 ] 1.5707963 @hay.jm @hay.png @hay.shp\n"
      "[1 0 1] 4 null null null\n"
      "[2 0 2] 0 @a.jm @a.png @nowhere.shp\n"
      "[3 0 3] 0 @b.jm\n",
      track);
  ASSERT_EQ(track.statues.size(), 3u);
  const race::Statue& hay = track.statues[0];
  EXPECT_FLOAT_EQ(hay.y, kGround + 2);
  EXPECT_EQ(hay.y_offset, 2);
  EXPECT_TRUE(hay.has_shape);
  EXPECT_FLOAT_EQ(hay.shape.bounding_radius, 6);
  EXPECT_EQ(hay.yaw_exp2, 0);
  // A quarter turn takes the body's +z to world +x.
  const float* m = hay.orientation;
  EXPECT_NEAR(m[0] * 0 + m[1] * 0 + m[2] * 1, 1, 1e-6f);
  EXPECT_NEAR(m[6] * 0 + m[7] * 0 + m[8] * 1, 0, 1e-6f);

  const race::Statue& bare = track.statues[1];
  EXPECT_TRUE(bare.model.empty() && bare.texture.empty() && bare.shape_name.empty());
  EXPECT_FALSE(bare.has_shape);
  EXPECT_FLOAT_EQ(bare.yaw_exp2, 16);

  EXPECT_FALSE(track.statues[2].has_shape);
  EXPECT_EQ(track.statues[2].shape_name, "@nowhere.shp");
  EXPECT_NE(logged().find("Warning: missing shape file @nowhere.shp"), std::string::npos);
}

TEST_F(StatuesTest, MapCandidatesFollowTheTextureAndTheModel) {
  using V = std::vector<std::string>;
  struct Case {
    const char* model;
    const char* texture;
    const char* suffix;
    V names;
  } cases[] = {
      {"@hay.jm", "@straw-repeat.png", "_norm",
       V{"@straw_norm-repeat.seq", "@straw_norm-repeat.png", "@straw_norm-repeat.ppm"}},
      {"@hay.jm", "@a-b-repeat.seq", "_spec",
       V{"@a-b_spec-repeat.seq", "@a-b_spec-repeat.png", "@a-b_spec-repeat.ppm"}},
      {"@hay.jm", "@straw.png", "_norm",
       V{"@straw_norm.seq", "@straw_norm.png", "@straw_norm.ppm", "@hay_norm.seq", "@hay_norm.png",
         "@hay_norm.ppm"}},
      {"@hay", "@straw", "_spec",
       V{"@straw_spec.seq", "@straw_spec.png", "@straw_spec.ppm", "@hay_spec.seq", "@hay_spec.png",
         "@hay_spec.ppm"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texture);
    EXPECT_EQ(race::statue_map_candidates(c.model, c.texture, c.suffix), c.names);
  }
}

TEST_F(StatuesTest, NormalAndSpecularMapsAreFoundOnlyWhenAsked) {
  home.write("straw_norm.ppm", "P6\n1 1\n255\nabc");
  home.write("straw_norm.png", "not read, only found");
  home.write("hay_spec.png", "x");
  const char* file = "[1 0 1] 0 @hay.jm @straw.png null\n[1 0 1] 0 null @straw.png null\n";
  Track with_maps;
  read(file, with_maps, true);
  EXPECT_EQ(with_maps.statues[0].normal_map, "@straw_norm.png");
  EXPECT_EQ(with_maps.statues[0].specular_map, "@hay_spec.png");
  EXPECT_EQ(with_maps.statues[1].normal_map, "");  // no model: no maps
  Track without;
  read(file, without, false);
  EXPECT_EQ(without.statues[0].normal_map, "");
}

TEST_F(StatuesTest, WrittenFileReadsBackTheSame) {
  Track track;
  race::add_statue(track, {5, 0, 5, 0, "@startgate.jm", "@startgate.ppm", ""}, false);
  read("[1.5 2 3] 0.25 @hay.jm @hay.png @hay.shp\n[4 5 6] -2 null @x.png null\n", track);
  EXPECT_EQ(track.first_file_statue, 1);
  ASSERT_TRUE(race::write_statues(track, "@saved"));
  const std::string written = test_support::read_file(xdg.file(user_file("saved/statues")));
  EXPECT_EQ(written,
            "[1.500000 2.000000 3.000000] 0.250000 @hay.jm @hay.png @hay.shp\n"
            "[4.000000 5.000000 6.000000] -2.000000 null @x.png null\n");
  Track again;
  read(written, again);
  ASSERT_EQ(again.statues.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const race::Statue& a = track.statues[i + 1];
    const race::Statue& b = again.statues[i];
    EXPECT_EQ(std::vector<float>({a.x, a.y_offset, a.z, a.yaw}),
              std::vector<float>({b.x, b.y_offset, b.z, b.yaw}));
    EXPECT_EQ(a.model + "|" + a.texture + "|" + a.shape_name,
              b.model + "|" + b.texture + "|" + b.shape_name);
  }
}

TEST_F(StatuesTest, GridCellsCoverTheMiddleAndClampOutside) {
  struct Case {
    float u;
    int cell;
  } cases[] = {
      {-1000, 0}, {0, 0},  {8, 0},     {13.9f, 0}, {14.1f, 1},     {32, 4},
      {55.9f, 7}, {56, 7}, {1e30f, 7}, {NAN, 0},   {-INFINITY, 0}, {INFINITY, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.u);
    EXPECT_EQ(race::statue_grid_cell(c.u, kSide), c.cell);
  }
  EXPECT_EQ(race::statue_grid_cell(10, 0), 0);  // no terrain
}

TEST_F(StatuesTest, GridHoldsEachShapedStatueInEveryCellItReaches) {
  load_ground();
  home.write("r1.shp", "1 0 0 0 1 1 0 0\n");
  home.write("r5.shp", "1 0 0 0 5 1 0 0\n");
  Track track;
  // Cells are 6 ft wide from x = 8: the first statue reaches cells 2..3 in x and 4 in z.
  read(
      "[26 0 33] 0 null null @r1.shp\n"
      "[32 0 32] 0 null null null\n"
      "[-50 0 100] 0 null null @r5.shp\n",
      track);
  race::statue_grid_rebuild(track, kSide);
  int entries = 0;
  for (int row = 0; row < race::kStatueGridSide; ++row) {
    for (int column = 0; column < race::kStatueGridSide; ++column) {
      const auto& cell = track.grid.cells[row][column];
      entries += static_cast<int>(cell.size());
      const bool first = (row == 4 && (column == 2 || column == 3));
      const bool far = (row == 7 && column == 0);
      std::vector<std::uint32_t> expected;
      if (first) expected.push_back(0);
      if (far) expected.push_back(2);
      EXPECT_EQ(cell, expected) << row << "," << column;
    }
  }
  EXPECT_EQ(entries, 3);
  // Rebuilding starts from empty cells.
  race::statue_grid_rebuild(track, kSide);
  EXPECT_EQ(track.grid.cells[4][2].size(), 1u);
}

}  // namespace
