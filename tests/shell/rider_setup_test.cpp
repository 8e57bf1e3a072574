// rider_setup_test.cpp -- setup keys, the Stability preset, setup files and the mechanic.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "platform/platform.h"
#include "shell/catalogue.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "support/test_support.h"

using shell::BikeAdjustments;
using shell::RiderSetup;
using test_support::read_file;

namespace {

RiderSetup parsed(const std::string& lines) {
  RiderSetup setup = shell::default_rider_setup();
  std::size_t start = 0;
  while (start < lines.size()) {
    std::size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    const std::string line = lines.substr(start, end - start);
    const std::size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    shell::rider_setup_parse(setup, key.c_str(), line.substr(equals + 1).c_str());
    start = end + 1;
  }
  return setup;
}

TEST(StabilityPreset, InterpolatesBetweenTheAnchorRows) {
  struct Case {
    double stability;
    double roll_damping;
    double roll_limit_factor;
    double restricted_lock;
    double direct_steering;
  };
  const Case cases[] = {
      {40, 60, 10, 10, 1}, {50, 65, 21, 7.5, 1},   {0, 40, 0, 45, 1},
      {100, 80, 32, 5, 0}, {90, 77.5, 32, 5, 0.5}, {-5, 40, 0, 45, 1},
  };
  for (const Case& c : cases) {
    RiderSetup setup = shell::default_rider_setup();
    setup.stability.value = c.stability;
    shell::apply_stability_preset(setup);
    EXPECT_DOUBLE_EQ(setup.roll_damping.value, c.roll_damping) << c.stability;
    EXPECT_DOUBLE_EQ(setup.roll_limit_factor.value, c.roll_limit_factor) << c.stability;
    EXPECT_DOUBLE_EQ(setup.restricted_lock.value, c.restricted_lock) << c.stability;
    EXPECT_DOUBLE_EQ(setup.direct_steering.value, c.direct_steering) << c.stability;
  }
}

TEST(RiderSetupParse, KeysKindsAndRanges) {
  struct Case {
    std::string lines;
    bool (*check)(const RiderSetup&);
  };
  const Case cases[] = {
      {"roll_damping=150", [](const RiderSetup& s) { return s.roll_damping.value == 100; }},
      {"roll_damping=abc", [](const RiderSetup& s) { return s.roll_damping.value == 60; }},
      {"roll_damping=nan", [](const RiderSetup& s) { return s.roll_damping.value == 60; }},
      {"max_dab_speed=-inf", [](const RiderSetup& s) { return s.max_dab_speed.value == 20; }},
      {"rider_mass_distribution=0.45kg",
       [](const RiderSetup& s) { return s.rider_mass_distribution.value == 0.45; }},
      {"arcade=no", [](const RiderSetup& s) { return s.arcade.name() == "Yes"; }},
      {"stop_wheelies=Front Only",
       [](const RiderSetup& s) { return s.stop_wheelies.name() == "Front Only"; }},
      {"name=" + std::string(70, 'n'),
       [](const RiderSetup& s) { return s.name == std::string(63, 'n'); }},
      {"number=12345", [](const RiderSetup& s) { return s.number == "123"; }},
      {"bike=kx250f", [](const RiderSetup& s) { return s.bike.name() == "kx250f(2008)"; }},
      {"bike=cr500", [](const RiderSetup& s) { return s.bike.name() == "450sxf(2013)"; }},
      // The preset overwrites the aids; aid lines after it win again.
      {"roll_damping=11\nstability=40",
       [](const RiderSetup& s) { return s.roll_damping.value == 60; }},
      {"stability=40\nroll_damping=11",
       [](const RiderSetup& s) {
         return s.roll_damping.value == 11 && s.restricted_lock.value == 10;
       }},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(c.check(parsed(c.lines))) << c.lines;
  }
  RiderSetup setup = shell::default_rider_setup();
  EXPECT_FALSE(shell::rider_setup_parse(setup, "laps", "3"));
  EXPECT_FALSE(shell::rider_setup_parse(setup, "bike ", "cr125"));
  EXPECT_TRUE(shell::rider_setup_parse(setup, "bike", "nonsense"));
}

class RiderSetupFiles : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    for (const char* file : {"rider_body-red.png", "rider_head-blue.png", "wheels-gold.png",
                             "yz125-camo.png", "yz125-stripe.png.scram", "cr125-white.png"}) {
      home.write(file, "x");
    }
    shell::rider_setup_startup();
  }
  void TearDown() override {
    shell::g_rider_setup = shell::default_rider_setup();
    DataFoldersTest::TearDown();
  }
  // Every setup value moved away from its start-up value.
  static void change_everything(RiderSetup& s) {
    shell::rider_setup_parse(s, "bike", "yz125");
    s.name = "Ricky = Fast";
    s.number = "7a";
    s.rider_texture.index = 1;
    s.head_texture.index = 1;
    s.bike_texture.index = 2;
    s.wheel_texture.index = 1;
    s.stability.value = 37;
    shell::apply_stability_preset(s);
    s.roll_damping.value = 33;
    s.max_steering_force.value = 905;
    s.land_damping_falloff.value = 0.0625;
    for (ChoiceSetting* c :
         {&s.arcade, &s.front_brake, &s.rear_brake, &s.auto_shift, &s.auto_dab, &s.auto_align,
          &s.sticky_dab, &s.reverse_steering, &s.lean_indicator}) {
      c->index = 1 - c->index;
    }
    s.stop_wheelies.index = 2;
    s.auto_clutch_rpms.value = 3100;
    s.max_dab_speed.value = 44;
    s.front_sprocket_adjustment.value = -1;
    s.rear_sprocket_adjustment.value = 2;
    for (NumberSetting* n :
         {&s.fork_compression_adjustment, &s.fork_rebound_adjustment,
          &s.fork_spring_rate_adjustment, &s.fork_preload_adjustment, &s.fork_oil_level_adjustment,
          &s.shock_compression_adjustment, &s.shock_rebound_adjustment,
          &s.shock_spring_rate_adjustment, &s.shock_preload_adjustment, &s.rider_yspring,
          &s.rider_ydamping, &s.rider_zspring, &s.rider_zdamping}) {
      n->value = 17;
    }
    s.rider_mass_distribution.value = 0.47;
  }
  std::string config_text() { return read_file(xdg.file(user_file("config"))); }
  using ChoiceSetting = shell::ChoiceSetting;
  using NumberSetting = shell::NumberSetting;
};

TEST_F(RiderSetupFiles, StartupListsVariantsAndRunsThePreset) {
  const RiderSetup& s = shell::g_rider_setup;
  EXPECT_EQ(s.bike.name(), "450sxf(2013)");
  EXPECT_EQ(s.rider_texture.names, (std::vector<std::string>{"default", "@rider_body-red.png"}));
  EXPECT_EQ(s.bike_texture.names, std::vector<std::string>{"default"});
  EXPECT_DOUBLE_EQ(s.roll_damping.value, 80);  // stability 100
  RiderSetup setup = s;
  ASSERT_TRUE(shell::rider_setup_parse(setup, "bike", "yz125"));
  EXPECT_EQ(setup.bike_texture.names,
            (std::vector<std::string>{"default", "@yz125-camo.png", "@yz125-stripe.png"}));
  setup.bike_texture.index = 1;
  // Another bike: its own graphics, back at "default".
  ASSERT_TRUE(shell::rider_setup_parse(setup, "bike", "rs50cr"));
  EXPECT_EQ(setup.bike_texture.names, (std::vector<std::string>{"default", "@cr125-white.png"}));
  EXPECT_EQ(setup.bike_texture.index, 0);
}

TEST_F(RiderSetupFiles, ConfigurationRoundTripKeepsEverySetupValue) {
  change_everything(shell::g_rider_setup);
  ASSERT_TRUE(shell::write_config(shell::default_settings()));
  const std::string first = config_text();
  EXPECT_NE(first.find("\nbike=yz125\nname=Ricky = Fast\n"), std::string::npos);
  EXPECT_NE(first.find("bike_texture=@yz125-stripe.png\nwheel_texture=@wheels-gold.png\n"
                       "stability=37.000000\n"),
            std::string::npos);
  EXPECT_LT(first.find("time_trial_abort="), first.find("bike="));
  EXPECT_LT(first.find("rider_mass_distribution=0.470000\n"), first.find("video_mode="));

  shell::rider_setup_startup();
  shell::Settings settings = shell::default_settings();
  shell::read_config(settings);
  EXPECT_EQ(shell::g_rider_setup.bike_texture.name(), "@yz125-stripe.png");
  EXPECT_DOUBLE_EQ(shell::g_rider_setup.roll_damping.value, 33);
  ASSERT_TRUE(shell::write_config(settings));
  EXPECT_EQ(config_text(), first);
}

TEST_F(RiderSetupFiles, SetupFileRoundTripAndSafeNames) {
  change_everything(shell::g_rider_setup);
  ASSERT_TRUE(shell::write_setup_file(shell::g_rider_setup, "fast one"));
  const std::string written = read_file(xdg.file(user_file("setups/fast one")));
  EXPECT_FALSE(test_support::file_exists(xdg.file(user_file("setups/fast one.tmp"))));

  shell::rider_setup_startup();
  RiderSetup back = shell::g_rider_setup;
  ASSERT_TRUE(shell::read_setup_file(back, "fast one \t\n"));  // trailing white space goes
  EXPECT_EQ(back.number, "7a");
  EXPECT_DOUBLE_EQ(back.rider_mass_distribution.value, 0.47);
  ASSERT_TRUE(shell::write_setup_file(back, "again"));
  EXPECT_EQ(read_file(xdg.file(user_file("setups/again"))), written);

  EXPECT_FALSE(shell::read_setup_file(back, "missing"));
  for (const char* name : {"", "  ", "../config", ".hidden", "a/b", "a\\b"}) {
    EXPECT_FALSE(shell::write_setup_file(back, name)) << name;
    EXPECT_FALSE(shell::read_setup_file(back, name)) << name;
  }
  EXPECT_FALSE(test_support::file_exists(xdg.file(user_file("config"))));
}

TEST_F(RiderSetupFiles, LineBreaksInTextsCannotAddKeys) {
  RiderSetup setup = shell::g_rider_setup;
  setup.name = "Joe\nroll_damping=1";
  ASSERT_TRUE(shell::write_setup_file(setup, "evil"));
  RiderSetup back = shell::g_rider_setup;
  ASSERT_TRUE(shell::read_setup_file(back, "evil"));
  EXPECT_EQ(back.name, "Joe roll_damping=1");
  EXPECT_DOUBLE_EQ(back.roll_damping.value, setup.roll_damping.value);
}

TEST(Mechanic, SprocketsWithAdjustmentAndTheThreeToothFloor) {
  const shell::BikeInfo& crf = *shell::find_bike_info("crf450(2013)");
  ASSERT_EQ(crf.constants.countershaft_teeth, 13);
  ASSERT_EQ(crf.constants.rear_sprocket_teeth, 48);
  RiderSetup setup = shell::default_rider_setup();
  setup.rear_sprocket_adjustment.value = 2;
  EXPECT_DOUBLE_EQ(shell::setup_adjustments(setup, crf, false).final_ratio, 50.0 / 13);
  setup.front_sprocket_adjustment.value = -1.5;  // floor(11.5) = 11
  EXPECT_DOUBLE_EQ(shell::setup_adjustments(setup, crf, false).final_ratio, 50.0 / 11);
  EXPECT_EQ(shell::setup_display_value(setup, crf, shell::kShowRearSprocket), "50.00 teeth");
  EXPECT_EQ(shell::setup_display_value(setup, crf, shell::kShowCountershaft), "11.50 teeth");

  shell::BikeInfo tiny = crf;
  tiny.constants.countershaft_teeth = 4;
  setup.front_sprocket_adjustment.value = -2;
  setup.rear_sprocket_adjustment.value = 9;  // a setting is clamped to -2..2 when handed over
  EXPECT_DOUBLE_EQ(shell::setup_adjustments(setup, tiny, false).final_ratio, 50.0 / 3);
}

TEST(Mechanic, ConversionsToTheBikesUnits) {
  const shell::BikeInfo& bike = *shell::find_bike_info("yz250(2012)");
  const shell::BikeConstants& k = bike.constants;
  RiderSetup setup = shell::default_rider_setup();
  BikeAdjustments mid = shell::setup_adjustments(setup, bike, false);
  EXPECT_DOUBLE_EQ(mid.fork_compression, k.fork_compression);
  EXPECT_DOUBLE_EQ(mid.shock_rebound, k.shock_rebound);
  EXPECT_NEAR(mid.fork_spring_rate, (k.fork_spring_rate[0] + k.fork_spring_rate[1]) / 2, 1e-3);
  EXPECT_NEAR(mid.roll_limit_angle, std::numbers::pi / 4, 1e-12);
  EXPECT_NEAR(mid.max_dab_speed, 20 * 1.4666667, 1e-9);
  EXPECT_TRUE(mid.arcade);
  EXPECT_FALSE(shell::setup_adjustments(setup, bike, true).arcade);  // the server forbids it
  EXPECT_EQ(mid.stop_wheelies, 0);
  EXPECT_NEAR(mid.rider_upper_mass + mid.rider_lower_mass, k.rider_mass, 1e-6);
  EXPECT_NEAR(mid.rider_upper_mass, 0.33 * k.rider_mass, 1e-6);
  EXPECT_FALSE(mid.out_of_range);

  setup.fork_compression_adjustment.value = 0;
  setup.shock_compression_adjustment.value = 100;
  setup.fork_oil_level_adjustment.value = 100;
  setup.shock_spring_rate_adjustment.value = 0;
  setup.rider_zspring.value = 100;
  setup.stop_wheelies.index = 1;
  const BikeAdjustments ends = shell::setup_adjustments(setup, bike, false);
  EXPECT_DOUBLE_EQ(ends.fork_compression, 0.5 * k.fork_compression);
  EXPECT_DOUBLE_EQ(ends.shock_compression, 2.0 * k.shock_compression);
  EXPECT_FLOAT_EQ(static_cast<float>(ends.fork_oil_level), k.fork_oil_level[1]);
  EXPECT_FLOAT_EQ(static_cast<float>(ends.shock_spring_rate), k.shock_spring_rate[0]);
  EXPECT_DOUBLE_EQ(ends.rider_zspring, 1);
  EXPECT_EQ(ends.stop_wheelies, 3);

  const shell::BikeInfo& crf = *shell::find_bike_info("crf450(2013)");
  RiderSetup zero = shell::default_rider_setup();
  zero.shock_spring_rate_adjustment.value = 0;
  zero.fork_oil_level_adjustment.value = 0;
  EXPECT_EQ(shell::setup_display_value(zero, crf, shell::kShowForkSpringRate), "0.480 kg/mm");
  EXPECT_EQ(shell::setup_display_value(zero, crf, shell::kShowShockSpringRate), "3.70 kg/mm");
  EXPECT_EQ(shell::setup_display_value(zero, crf, shell::kShowForkOilLevel), "127.00 mm");
}

TEST(Mechanic, BikeClampsAndFlagsValuesFarOutOfRange) {
  struct Case {
    double BikeAdjustments::*field;
    double value;
    double accepted;
    bool flagged;
  };
  const Case cases[] = {
      {&BikeAdjustments::roll_damping, 100, 100, false},
      {&BikeAdjustments::roll_damping, 112, 100, false},
      {&BikeAdjustments::roll_damping, 113, 100, true},
      {&BikeAdjustments::roll_damping, -13, 0, true},
      {&BikeAdjustments::max_dab_speed, 5 * 1.4666667, 7.3333335, false},
      {&BikeAdjustments::max_dab_speed, 0, 7, false},
      {&BikeAdjustments::max_dab_speed, -5, 7, true},
      {&BikeAdjustments::restricted_lock, std::numbers::pi / 4 + 0.09, std::numbers::pi / 4, false},
      {&BikeAdjustments::restricted_lock, std::numbers::pi / 4 + 0.1, std::numbers::pi / 4, true},
      {&BikeAdjustments::land_damping_factor, 3.2, 3, false},
      {&BikeAdjustments::land_damping_factor, 0.7, 1, true},
      {&BikeAdjustments::auto_clutch_rpms, std::nan(""), 0, true},
  };
  for (const Case& c : cases) {
    BikeAdjustments handed = shell::setup_adjustments(shell::default_rider_setup(),
                                                      *shell::find_bike_info("cr125"), false);
    ASSERT_FALSE(handed.out_of_range);
    handed.*c.field = c.value;
    const BikeAdjustments accepted = shell::bike_accept(handed);
    EXPECT_NEAR(accepted.*c.field, c.accepted, 1e-6) << c.value;
    EXPECT_EQ(accepted.out_of_range, c.flagged) << c.value;
  }
}

TEST(Mechanic, RefusesWhileRollingWithAMessageAtMostEveryTenSeconds) {
  platform::messages_clear();
  platform::set_message_lines(20);
  const shell::BikeInfo& bike = *shell::find_bike_info("kx125");
  const RiderSetup setup = shell::default_rider_setup();
  shell::Mechanic mechanic;
  BikeAdjustments out;
  out.leveling = -1;
  struct Step {
    double speed;
    double now;
    bool applied;
    int messages;  // shown so far
  };
  const Step steps[] = {
      {0.2, 100, false, 1},
      {3, 105, false, 1},
      {3, 114, false, 1},
      {3, 124, false, 2},
      {0.125, 125, true, 2},
      {-0.0, 126, true, 2},
      {std::nan(""), 127, false, 2},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(shell::mechanic_apply(mechanic, setup, bike, s.speed, s.now, false, &out), s.applied)
        << s.now;
    EXPECT_EQ(platform::visible_message_count(), s.messages) << s.now;
  }
  EXPECT_STREQ(platform::visible_message(0),
               "Settings not applied.  Mechanic can't keep up error.");
  EXPECT_DOUBLE_EQ(out.leveling, 20);
  platform::messages_clear();
  platform::set_message_lines(5);
}

}  // namespace
