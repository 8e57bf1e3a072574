// surfaces_test.cpp -- the surface table from tileinfo and texturelist, transition codes, and the
// friction and rolling-resistance curves.
#include <gtest/gtest.h>

#include <string>

#include "data/data.h"
#include "sim/sim.h"
#include "sim/terrain_fixtures.h"

namespace {

using sim::g_terrain;

class SurfacesTest : public terrain_fixtures::TerrainFilesTest {
 protected:
  // Parses a tileinfo text into the terrain's table; returns the log it left.
  std::string tileinfo(const std::string& text) {
    read_with(text, sim::read_tileinfo);
    return logged();
  }
  std::string texturelist(const std::string& text) {
    read_with(text, sim::read_texturelist);
    return logged();
  }
  void read_with(const std::string& text, void (*reader)(data::DataStream*, sim::HeightField&)) {
    const std::string path = home.write("table", text);
    data::DataStream* stream = data::open_data(path.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    reader(stream, g_terrain);
    data::close_data(stream);
    sim::compute_transitions(g_terrain);
  }
  static bool has(const std::string& log, const std::string& text) {
    return log.find(text) != std::string::npos;
  }
  const sim::SurfaceType& surface(int i) { return g_terrain.surfaces[i]; }
};

TEST_F(SurfacesTest, FrictionCurves) {
  tileinfo(
      "addtile\n"                                   // 0: no friction line
      "friction 0.8 3\naddtile\n"                   // 1: one point
      "friction 1.2 10\nfriction 0.6 2\naddtile\n"  // 2: out of order
      "friction -1 0\nfriction 2 4\naddtile\n");    // 3: raised to 0 and 2^-20; at slip 2, 4/16
  ASSERT_EQ(g_terrain.surface_count, 4);
  struct Case {
    int surface;
    float slip, friction;
  } cases[] = {
      {0, 0, 1.0f},   {0, 7, 1.0f},  {0, -50, 1.0f}, {1, 0, 0.8f}, {1, 3, 0.8f},
      {1, 100, 0.8f}, {2, 6, 0.8f},  {2, -6, 0.8f},  {2, 1, 0.6f}, {2, 2, 0.6f},
      {2, 10, 1.2f},  {2, 30, 1.2f}, {3, 0, 0.0f},   {3, 2, 0.5f}, {3, 9, 2.0f},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(sim::surface_friction(c.surface, c.slip), c.friction, 1e-5)
        << "surface " << c.surface << " at slip " << c.slip;
  }
  EXPECT_EQ(surface(3).friction_slip[0], 9.5367432e-07f);
}

TEST_F(SurfacesTest, RollingResistanceCurves) {
  tileinfo(
      "addtile\n"
      "roll_resist 20 40 8\nroll_resist 10 20 4\naddtile\n"
      "roll_resist -5 -1 -3\naddtile\n");
  struct Case {
    int surface;
    float speed, sinkage, force;
  } cases[] = {
      {0, 0, 0, 5},  {0, 50, 1, 15}, {0, 3, 0.5f, 10},    {1, 0, 0, 10},      {1, 4, 1, 20},
      {1, 6, 0, 15}, {1, 6, 1, 30},  {1, 6, 0.5f, 22.5f}, {1, 80, 0.25f, 25}, {2, 1, 1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(sim::surface_roll_resist(c.surface, c.speed, c.sinkage), c.force, 1e-4)
        << "surface " << c.surface << " at " << c.speed << " ft/s, sinkage " << c.sinkage;
  }
}

TEST_F(SurfacesTest, CurveLinesWarnWhenBadOrTooMany) {
  std::string text = "friction 0.5\nroll_resist 1 2\n";
  for (int i = 1; i <= 9; ++i) {
    text += "friction 1 " + std::to_string(i) + "\nroll_resist 1 2 " + std::to_string(i) + "\n";
  }
  const std::string log = tileinfo(text + "addtile\n");
  EXPECT_TRUE(has(log, "tileinfo warning: bad friction parameters\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: bad roll_resist parameters\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: too many friction points\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: too many roll_resist points\n"));
  EXPECT_EQ(surface(0).friction_slip[7], 8.0f);  // the ninth was refused
}

TEST_F(SurfacesTest, ErosionKeysAndUnknownKeywords) {
  const std::string log = tileinfo(
      "  erode_depth 2.5\r\n"
      "\terode_radius\t\tsix\n"
      "\n\n"
      "erode_max_slope 0.5\n erode_on_speed 20\n"
      "Friction 1 2\n"
      "erodedepth 3\n"
      "addtile\n");
  EXPECT_EQ(surface(0).erode_depth, 2.5f);
  EXPECT_EQ(surface(0).erode_radius, 4.0f);  // a bad number leaves the default
  EXPECT_EQ(surface(0).erode_max_slope, 0.5f);
  EXPECT_EQ(surface(0).erode_on_speed, 20.0f);
  EXPECT_EQ(surface(0).erode_lower, 50.0f);
  EXPECT_TRUE(has(log, "tileinfo warning: bad erode_radius\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: Unknown identifier 'Friction'\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: Unknown identifier 'erodedepth'\n"));
}

TEST_F(SurfacesTest, TexturesKeepTheNameAndItsBase) {
  tileinfo("texture @tracks/dirt.png\naddtile\ntexture @sand.png\naddtile\naddtile\n");
  EXPECT_EQ(surface(0).texture, "@tracks/dirt.png");
  EXPECT_EQ(surface(0).texture_name, "dirt.png");
  EXPECT_EQ(surface(1).texture_name, "sand.png");
  EXPECT_EQ(surface(2).texture, "");  // each addtile starts again from the defaults
}

TEST_F(SurfacesTest, TableStopsAtTwoHundredFiftySixSurfaces) {
  std::string text;
  for (int i = 0; i < 257; ++i) text += "texture t" + std::to_string(i) + ".png\naddtile\n";
  const std::string log = tileinfo(text + "nonsense\naddtile\n");
  EXPECT_EQ(g_terrain.surface_count, 256);
  EXPECT_EQ(surface(255).texture, "t255.png");
  EXPECT_FALSE(has(log, "Unknown identifier"));  // everything after is ignored
}

TEST_F(SurfacesTest, RoostParameters) {
  const std::string log = tileinfo(
      "roost splash=0 count=12 r=12.9 fade_a=-256 fade_r=1000 \"texture=my dust.png\"\n"
      "roost splash=1 size=0.5 drag=\"1\"\"5\" a=-3\n"
      "roost count=abc randomize=7x bogus=1 plain\n"
      "roost dig=2\n"
      "roost dig=3\n"
      "addtile\n");
  const sim::RoostType& first = surface(0).roost[0];
  EXPECT_EQ(first.mode, 1);
  EXPECT_EQ(first.count, 12.0f);
  EXPECT_EQ(first.color[0], 12);
  EXPECT_EQ(first.fade[3], -2);
  EXPECT_EQ(first.fade[0], 7);  // 1000 / 128, truncated
  EXPECT_EQ(first.texture, "my dust.png");
  EXPECT_EQ(first.size, 0.25f);  // untouched keys keep their defaults
  const sim::RoostType& second = surface(0).roost[1];
  EXPECT_EQ(second.mode, 2);
  EXPECT_EQ(second.size, 0.5f);
  EXPECT_EQ(second.drag, 15.0f);  // the quotes go, the pieces join
  EXPECT_EQ(second.color[3], 0);  // held to the byte's range
  const sim::RoostType& third = surface(0).roost[2];
  EXPECT_EQ(third.count, 0.0f);  // a bad number still stores what was parsed
  EXPECT_EQ(third.randomize, 7.0f);
  EXPECT_EQ(surface(0).roost[3].dig, 2.0f);
  EXPECT_TRUE(has(log, "tileinfo warning: bad count\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: bad randomize\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: unknown roost parameter 'bogus=1'\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: unknown roost parameter 'plain'\n"));
  EXPECT_TRUE(has(log, "tileinfo warning: too many roost types\n"));
  EXPECT_FALSE(has(log, "bad a\n"));
}

TEST_F(SurfacesTest, RoostWarningsNameTheirKey) {
  struct Case {
    const char* word;
    const char* warning;
  } cases[] = {
      {"dig=x", "bad dig"},
      {"slip_threshold=", "bad slip_threshold"},
      {"slow_angle=1..2", "bad slow_angle"},
      {"fast_angle=a", "bad fast_angle"},
      {"slow_speed=-", "bad slow_speed"},
      {"fast_speed=q", "bad fast_speed"},
      {"grow=z", "bad grow"},
      {"vscale=v", "bad vscale"},
      {"g=x", "bad g"},
      {"b=y", "bad b"},
      {"a=", "bad a"},
      {"fade_g=x", "bad fade_g"},
      {"fade_b=x", "bad fade_b"},
      {"fade_a=x", "bad fade_a"},
  };
  for (const Case& c : cases) {
    const std::string log = tileinfo(std::string("roost ") + c.word + "\naddtile\n");
    EXPECT_TRUE(has(log, std::string("tileinfo warning: ") + c.warning + "\n")) << c.word;
  }
}

TEST_F(SurfacesTest, TexturelistGivesFlatCurvesAndOneRoost) {
  const std::string log = texturelist(
      "0.7 4 12 dirt.png\r\n"
      "  grass.png\n"
      "\n"
      "0.9 1 two words.png\n");
  ASSERT_EQ(g_terrain.surface_count, 3);
  EXPECT_EQ(surface(0).texture, "@dirt.png");
  EXPECT_EQ(surface(0).texture_name, "dirt.png");
  EXPECT_EQ(surface(1).texture, "@grass.png");
  EXPECT_EQ(surface(2).texture, "@0.9 1 two words.png");
  for (float slip : {0.0f, 1.0f, 5.0f}) {
    EXPECT_EQ(sim::surface_friction(0, slip), 0.7f);
    EXPECT_EQ(sim::surface_friction(1, slip), 1.0f);
    EXPECT_EQ(sim::surface_roll_resist(0, slip, 0.5f), 8.0f);
    EXPECT_EQ(sim::surface_roll_resist(1, slip, 1.0f), 15.0f);
  }
  EXPECT_EQ(surface(0).roost[0].mode, 1);
  EXPECT_EQ(surface(0).roost[1].mode, 0);
  EXPECT_EQ(surface(0).erode_radius, 4.0f);
}

TEST_F(SurfacesTest, TexturelistStopsAtTwoHundredFiftySixLines) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "1 2 3 t" + std::to_string(i) + ".png\n";
  texturelist(text);
  EXPECT_EQ(g_terrain.surface_count, 256);
}

TEST_F(SurfacesTest, TransitionCodesComeFromTheTextureNames) {
  tileinfo(
      "texture @dirt.png\naddtile\n"             // 0
      "texture @grass.png\naddtile\n"            // 1
      "texture @dirt-grass-0110.png\naddtile\n"  // 2
      "texture @grass-dirt-1000.png\naddtile\n"  // 3
      "texture @grass-alt1.png\naddtile\n"       // 4
      "texture @dirt-mud-0101.png\naddtile\n"    // 5: no mud surface
      "texture @dirt-grass-01a1.png\naddtile\n"  // 6: not four binary digits
      "texture @dirt-grass-011.png\naddtile\n"   // 7: too short
      "texture @dirt-alt.png\naddtile\n"         // 8: no digit
      "texture @dirt-altx1.png\naddtile\n");     // 9
  struct Case {
    int surface;
    std::uint32_t code;
  } cases[] = {
      {0, 0x000000}, {1, 0x010100}, {2, 0x000106}, {3, 0x010008}, {4, 0x010100},
      {5, 0x050500}, {6, 0x060600}, {7, 0x070700}, {8, 0x080800}, {9, 0x090900},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(surface(c.surface).transition, c.code) << surface(c.surface).texture_name;
  }
}

}  // namespace
