// catalogue_test.cpp -- the bike catalogue's invariants, lookup, textures and number plates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "data/image_fixtures.h"
#include "platform/platform.h"
#include "shell/catalogue.h"
#include "shell/settings.h"
#include "support/test_support.h"

using shell::BikeConstants;
using shell::BikeInfo;

namespace {

std::vector<const BikeInfo*> catalogue() {
  std::vector<const BikeInfo*> list;
  for (const BikeInfo* const* p = shell::bike_catalogue(); *p; ++p) list.push_back(*p);
  return list;
}

// The constants with the per-model ones (gearing; the 350s' crank; the rev limit of the
// high-revving Suzukis) cleared: what every model of a class must share.
BikeConstants class_part(const BikeInfo& bike) {
  BikeConstants k = bike.constants;
  k.primary_ratio = k.countershaft_teeth = k.rear_sprocket_teeth = 0;
  for (float& ratio : k.gear_ratios) ratio = 0;
  k.engine_inertia = 0;
  k.rev_limit_rpm = 0;
  return k;
}

double power_hp(float torque_ft_lbf, double rpm) { return torque_ft_lbf * rpm / 5252.113; }

TEST(Catalogue, FortyFiveUniqueNamesAlsoInTheMenu) {
  const std::vector<const BikeInfo*> list = catalogue();
  ASSERT_EQ(list.size(), 45u);
  std::set<std::string> names, menu;
  for (const BikeInfo* bike : list) names.insert(bike->name);
  for (int i = 0; i < shell::kCatalogueSize; ++i) {
    menu.insert(shell::bike_menu_name(i));
    EXPECT_NE(std::strlen(shell::bike_graphics_prefix(i)), 0u) << i;
  }
  EXPECT_EQ(names.size(), 45u);
  EXPECT_EQ(menu, names);
  EXPECT_STREQ(list.front()->name, "crf450(2013)");
  EXPECT_STREQ(shell::bike_menu_name(0), "450sxf(2013)");
}

TEST(Catalogue, ClassesShareChassisSuspensionAndEngine) {
  std::map<std::string, const BikeInfo*> first_of_class;
  const BikeInfo* first = catalogue().front();
  for (const BikeInfo* bike : catalogue()) {
    const std::string cls = bike->bike_class;
    ASSERT_TRUE(cls == "450f" || cls == "250f" || cls == "250" || cls == "125" || cls == "50")
        << bike->name;
    const auto [it, fresh] = first_of_class.emplace(cls, bike);
    const BikeConstants mine = class_part(*bike);
    const BikeConstants theirs = class_part(*it->second);
    EXPECT_EQ(std::memcmp(&mine, &theirs, sizeof mine), 0)
        << bike->name << " vs " << it->second->name;
    // Rest positions are the same for every model, whatever its class.
    EXPECT_EQ(std::memcmp(bike->constants.frame_position, first->constants.frame_position,
                          18 * sizeof(float)),
              0)
        << bike->name;
    EXPECT_EQ(std::memcmp(bike->constants.rider_position, first->constants.rider_position,
                          3 * sizeof(float)),
              0)
        << bike->name;
    EXPECT_EQ(bike->rider, first->rider);
    // A crank lighter than its class's only where the catalogue says so.
    const std::string name = bike->name;
    if (name.rfind("350sxf", 0) == 0) {
      EXPECT_FLOAT_EQ(bike->constants.engine_inertia, 0.00683594f);
    }
  }
  EXPECT_EQ(first_of_class.size(), 5u);
  EXPECT_FLOAT_EQ(shell::find_bike_info("rm125")->constants.rev_limit_rpm, 13750);
  EXPECT_FLOAT_EQ(shell::find_bike_info("rs50rm")->constants.rev_limit_rpm, 13750);
  EXPECT_FLOAT_EQ(shell::find_bike_info("rs50yz")->constants.rev_limit_rpm, 12750);
}

TEST(Catalogue, GearingFiveFallingRatiosThenTheEnd) {
  for (const BikeInfo* bike : catalogue()) {
    const BikeConstants& k = bike->constants;
    for (int g = 0; g < 5; ++g) {
      EXPECT_GT(k.gear_ratios[g], 0) << bike->name << " gear " << g;
      if (g > 0) {
        EXPECT_LT(k.gear_ratios[g], k.gear_ratios[g - 1]) << bike->name << " gear " << g;
      }
    }
    EXPECT_LE(k.gear_ratios[5], 0) << bike->name;
    EXPECT_GE(k.countershaft_teeth, 12) << bike->name;
    EXPECT_LE(k.countershaft_teeth, 14) << bike->name;
    EXPECT_GE(k.rear_sprocket_teeth, 48) << bike->name;
    EXPECT_LE(k.rear_sprocket_teeth, 55) << bike->name;
    EXPECT_GT(k.primary_ratio, 1) << bike->name;
  }
}

// Where each class's full-throttle curve peaks in power, and that power.
struct PeakCase {
  const char* bike_class;
  double rpm;
  double hp;
};

TEST(Catalogue, TorqueCurvesPositiveAndPeakingAtTheClassPower) {
  const PeakCase peaks[] = {
      {"450f", 9500, 55}, {"250f", 11500, 40}, {"250", 8000, 47},
      {"125", 11500, 36}, {"50", 11000, 8.5},
  };
  for (const BikeInfo* bike : catalogue()) {
    const BikeConstants& k = bike->constants;
    const PeakCase* peak = nullptr;
    for (const PeakCase& p : peaks)
      if (std::strcmp(p.bike_class, bike->bike_class) == 0) peak = &p;
    ASSERT_NE(peak, nullptr);
    int best = 0;
    for (int i = 0; i < shell::kTorquePoints; ++i) {
      const double rpm = i * 500.0;
      const float full = k.full_throttle_torque[i];
      const float closed = k.closed_throttle_torque[i];
      if (rpm <= k.rev_limit_rpm) {
        EXPECT_GT(full, 0) << bike->name << " at " << rpm;
        EXPECT_GT(full, closed) << bike->name << " at " << rpm;
      } else if (rpm >= k.rev_limit_rpm + 1500) {
        EXPECT_LE(full, closed) << bike->name << " at " << rpm;  // the limiter has cut in
      }
      // Closed throttle drives the engine up to idle and brakes it above.
      EXPECT_EQ(closed > 0, rpm < k.idle_rpm) << bike->name << " at " << rpm;
      if (power_hp(full, rpm) > power_hp(k.full_throttle_torque[best], best * 500.0)) best = i;
    }
    EXPECT_EQ(best * 500.0, peak->rpm) << bike->name;
    EXPECT_NEAR(power_hp(k.full_throttle_torque[best], best * 500.0), peak->hp, 0.05) << bike->name;
    EXPECT_LT(k.downshift_rpm, k.upshift_rpm) << bike->name;
    EXPECT_LE(k.upshift_rpm, k.rev_limit_rpm) << bike->name;
  }
}

TEST(Catalogue, FilesFollowTheModelStem) {
  for (const BikeInfo* bike : catalogue()) {
    const std::string frame = bike->files[shell::kFrameModel];
    ASSERT_EQ(frame.rfind("_frame.jm"), frame.size() - 9) << bike->name;
    const std::string stem = frame.substr(0, frame.size() - 9);
    EXPECT_EQ(bike->files[shell::kSwingarmModel], stem + "_swingarm.jm");
    EXPECT_EQ(bike->files[shell::kFrontPlateModel], stem + "_front_plate.jm");
    EXPECT_STREQ(bike->files[shell::kFrameShape], "@generic_frame.shp");
    EXPECT_STREQ(bike->files[shell::kRiderPlateModel], "@rider_plate.jm");
    const std::string texture = bike->files[shell::kBikeTexture];
    if (std::strcmp(bike->name, "yz250f_se(2006)") == 0) {
      EXPECT_EQ(texture, "@yz250f_se.png");
    } else {
      EXPECT_EQ(texture, stem + ".png") << bike->name;
    }
  }
  EXPECT_STREQ(shell::find_bike_info("rs50kx")->files[shell::kFrameModel], "@kx125_frame.jm");
}

class CatalogueMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::messages_clear();
    platform::set_message_lines(20);
  }
  void TearDown() override {
    platform::messages_clear();
    platform::set_message_lines(5);
  }
};

TEST_F(CatalogueMessages, LookupFallsBackTo125Or250fWithAMessage) {
  struct Case {
    const char* asked;
    const char* found;
    const char* message;  // nullptr: none
  };
  const Case cases[] = {
      {"rmz250(2009)", "rmz250(2009)", nullptr},
      {"cr500", "kx250f(2013)", "bike info for 'cr500' not found using 'kx250f(2013)' instead"},
      {"xr125", "cr125", "bike info for 'xr125' not found using 'cr125' instead"},
      {"RM125", "cr125", "bike info for 'RM125' not found using 'cr125' instead"},
      {"a-very-long-model-name-indeed", "kx250f(2013)",
       "bike info for 'a-very-long-model-na' not found using 'kx250f(2013)' instead"},
  };
  for (const Case& c : cases) {
    platform::messages_clear();
    EXPECT_STREQ(shell::find_bike_info(c.asked)->name, c.found) << c.asked;
    if (c.message) {
      ASSERT_EQ(platform::visible_message_count(), 1) << c.asked;
      EXPECT_STREQ(platform::visible_message(0), c.message);
    } else {
      EXPECT_EQ(platform::visible_message_count(), 0) << c.asked;
    }
  }
}

TEST(Catalogue, AliasesAndEngineSounds) {
  EXPECT_STREQ(shell::bike_alias("kx250f"), "kx250f(2008)");
  EXPECT_STREQ(shell::bike_alias("crf250"), "crf250(2008)");
  EXPECT_STREQ(shell::bike_alias("kx250f(2013)"), "kx250f(2013)");
  for (const BikeInfo* bike : catalogue()) {
    const char* sound = shell::default_engine_sound(bike->bike_class);
    ASSERT_NE(sound, nullptr) << bike->name;
    EXPECT_EQ(std::string(sound), std::string("@default") + bike->bike_class + ".braap");
  }
  EXPECT_EQ(shell::default_engine_sound("500"), nullptr);
}

class TextureVariants : public test_support::DataFoldersTest {};

TEST_F(TextureVariants, ColourTexturesWithThePrefixOnly) {
  for (const char* file :
       {"rider_body-red.png", "rider_body-red_norm.png", "rider_body-red_spec.png.scram",
        "gear/rider_body-blue.png.scram", "rider_body-green.png", "rider_body-green.png.scram",
        "old_rider_body-grey.png", "rider_body-grey.jpg", "rider_head-red.png"}) {
    home.write(file, "x");
  }
  const std::vector<std::string> expected = {"default", "@gear/rider_body-blue.png",
                                             "@rider_body-green.png", "@rider_body-red.png"};
  EXPECT_EQ(shell::texture_variants("rider_body-"), expected);
  EXPECT_EQ(shell::texture_variants("wheels-"), std::vector<std::string>{"default"});
}

TEST(NumberPlate, ColoursFromTheTextureText) {
  struct Case {
    const char* text;
    std::vector<int> background;
    std::vector<int> foreground;
  };
  const Case cases[] = {
      {"", {255, 255, 255}, {0, 0, 0}},
      {"[numberbackground:1,0,0.5][numberforeground:0.2,1,0]", {255, 0, 128}, {51, 255, 0}},
      {"x [numberforeground:2,-1,nan]", {255, 255, 255}, {255, 0, 0}},
      {"[numberbackground:0.5,0.5]", {255, 255, 255}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    const shell::PlateColours colours = shell::plate_colours(c.text);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(colours.background[i], c.background[i]) << c.text;
      EXPECT_EQ(colours.foreground[i], c.foreground[i]) << c.text;
    }
  }
}

TEST(NumberPlate, TextDrawnInForegroundOnBackground) {
  shell::PlateColours colours;
  colours.background[0] = 200;
  colours.foreground[2] = 90;
  const std::vector<unsigned char> plate = shell::number_plate_image("42", colours);
  ASSERT_EQ(plate.size(), 128u * 128 * 3);
  int ink = 0, paper = 0;
  for (std::size_t i = 0; i < plate.size(); i += 3) {
    const bool is_ink = plate[i] == 0 && plate[i + 1] == 0 && plate[i + 2] == 90;
    const bool is_paper = plate[i] == 200 && plate[i + 1] == 255 && plate[i + 2] == 255;
    ASSERT_TRUE(is_ink || is_paper) << i;
    ink += is_ink;
    paper += is_paper;
  }
  EXPECT_GT(ink, 1000);
  EXPECT_GT(paper, ink);
  // The corners stay clear; only seven characters fit a plate.
  EXPECT_EQ(plate[0], 200);
  EXPECT_EQ(shell::number_plate_image("1234567", colours),
            shell::number_plate_image("12345678", colours));
  EXPECT_EQ(shell::number_plate_image("", colours), shell::number_plate_image("   ", colours));
}

class BikeAssetsTest : public test_support::DataFoldersTest {};

bool only_alt_loads(const char* name) { return std::strstr(name, "alt") != nullptr; }

TEST_F(BikeAssetsTest, GivenTexturesThatLoadElseTheEntrysOwnAndPlateColours) {
  home.write("crf450v2013.png",
             image_fixtures::make_png(2, 2, 3, image_fixtures::solid(2, 2, {1, 2, 3}),
                                      {"[numberbackground:0,0,1][numberforeground:1,1,0]"}));
  const shell::BikeAssets assets =
      shell::bike_assets("crf450(2013)", "7", "@rider_body-alt1.png", "@crf450v2013-missing.png",
                         "", nullptr, only_alt_loads);
  ASSERT_STREQ(assets.info->name, "crf450(2013)");
  EXPECT_EQ(assets.rider_body_texture, "@rider_body-alt1.png");
  EXPECT_EQ(assets.bike_texture, "@crf450v2013.png");
  EXPECT_EQ(assets.wheel_texture, "@wheels.png");
  EXPECT_EQ(assets.rider_head_texture, "@rider_head.png");
  EXPECT_EQ(assets.plate.background[2], 255);
  EXPECT_EQ(assets.plate.background[0], 0);
  EXPECT_EQ(assets.plate.foreground[1], 255);
  EXPECT_EQ(assets.plate_image, shell::number_plate_image("7", assets.plate));
}

}  // namespace
