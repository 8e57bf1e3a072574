// race_setup_test.cpp -- the roster shuffle, the start tick, the slots of a lineup and race set-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "../render/gl_fixture.h"
#include "../sim/terrain_fixtures.h"
#include "platform/platform.h"
#include "race/race.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"

using shell::RiderSlot;

TEST(RaceSetup, SameSeedSameShuffleAndStartTick) {
  for (std::uint32_t seed : {0u, 1u, 4567u}) {
    platform::Mt19937 a(seed), b(seed);
    int first[shell::kIdentities], second[shell::kIdentities];
    shell::shuffle_identities(a, first);
    shell::shuffle_identities(b, second);
    EXPECT_TRUE(std::equal(first, first + shell::kIdentities, second));
    EXPECT_EQ(shell::draw_start_tick(a), shell::draw_start_tick(b));
    // A single cycle: every rider moves, and every rider is still there.
    for (int i = 0; i < shell::kIdentities; ++i) EXPECT_NE(first[i], i) << seed;
    std::vector<int> sorted(first, first + shell::kIdentities);
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < shell::kIdentities; ++i) EXPECT_EQ(sorted[i], i);
  }
  platform::Mt19937 random(99);
  for (int i = 0; i < 1000; ++i) {
    const int start = shell::draw_start_tick(random);
    EXPECT_GE(start, 13 * 128);
    EXPECT_LT(start, 15 * 128);
  }
}

TEST(RaceSetup, RosterNumbersPersonalitiesAndModels) {
  const shell::RiderIdentity* roster = shell::rider_identities();
  EXPECT_STREQ(roster[0].number, "20");
  EXPECT_STREQ(roster[79].number, "99");
  struct Case {
    int number;
    const char* personality;
    const char* model;
  } cases[] = {{20, "harrier", "kx125"},  {39, "harrier", "rm125"},
               {40, "kestrel", "crf250"}, {59, "kestrel", "yz250f_se(2006)"},
               {60, "harrier", "crf250"}, {79, "harrier", "yz250f_se(2006)"},
               {80, "merlin", "crf250"},  {99, "merlin", "rmz250"}};
  for (const Case& c : cases) {
    EXPECT_STREQ(roster[c.number - 20].personality, c.personality) << c.number;
    EXPECT_STREQ(roster[c.number - 20].model, c.model) << c.number;
  }
}

TEST(RaceSetup, SlotsFollowTheLineupValues) {
  int order[shell::kIdentities];
  for (int i = 0; i < shell::kIdentities; ++i) order[i] = i;  // roster order: 20, 21, ...
  int lineup[shell::kRiderSlots] = {};
  lineup[0] = 2;     // next identity: number 20
  lineup[1] = 1;     // the local human
  lineup[2] = 1;     // a second human is cleared
  lineup[3] = 4;     // a 250 from the end of the order: number 99, an rmz250
  lineup[4] = 3;     // a 125: searching from the end finds number 39, an rm125
  lineup[5] = 1042;  // number 42
  lineup[6] = 7;     // not a lineup value: a plain rm125
  lineup[7] = 5;     // announced by the server
  lineup[9] = 1040;  // number 40 rides a crf250
  static RiderSlot slots[shell::kRiderSlots];
  shell::plan_slots(lineup, order, false, "crf450(2013)", slots);

  EXPECT_EQ(slots[0].driver, shell::kDriverAutoPilot);
  EXPECT_STREQ(shell::rider_identities()[slots[0].identity].number, "20");
  EXPECT_EQ(slots[0].model, "kx125");
  EXPECT_EQ(slots[0].name, "Roborider");
  EXPECT_EQ(slots[1].driver, shell::kDriverLocal);
  EXPECT_EQ(slots[1].model, "crf450(2013)");
  EXPECT_EQ(lineup[2], 0);
  EXPECT_TRUE(slots[2].model.empty());
  EXPECT_STREQ(shell::rider_identities()[slots[3].identity].number, "99");
  EXPECT_NE(slots[3].model.find("250"), std::string::npos);
  EXPECT_NE(slots[4].model.find("125"), std::string::npos);
  EXPECT_STREQ(shell::rider_identities()[slots[5].identity].number, "42");
  EXPECT_EQ(slots[6].model, "rm125");
  EXPECT_EQ(slots[7].driver, shell::kDriverHistory);
  EXPECT_TRUE(slots[8].model.empty());
  EXPECT_EQ(slots[9].model, "crf250(2008)");  // through the alias table
  // Every computer rider is a different identity.
  EXPECT_NE(slots[0].identity, slots[3].identity);
  EXPECT_NE(slots[3].identity, slots[4].identity);
  EXPECT_NE(slots[4].identity, slots[5].identity);
}

namespace {

class SetupRaceTest : public terrain_fixtures::TerrainFilesTest {
 protected:
  void SetUp() override {
    TerrainFilesTest::SetUp();
    shell::g_settings = shell::default_settings();
    shell::g_race = shell::RaceDriver{};
    write_track(terrain_fixtures::track_with(2, 8.0f, 0, 10, std::vector<std::uint16_t>(81, 0)),
                "practice");
    shell::g_settings.track = "practice";
  }
  void TearDown() override {
    race::track_free();
    TerrainFilesTest::TearDown();
  }
};

}  // namespace

TEST_F(SetupRaceTest, ARaceOnTheChosenTrack) {
  sim::g_sim.tick = 777;  // seeds the shuffle
  int lineup[shell::kRiderSlots] = {};
  lineup[0] = 1;
  lineup[1] = 2;
  shell::setup_race(lineup, false, false, 0, 5, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  EXPECT_EQ(shell::g_race.track, "practice");
  EXPECT_EQ(sim::g_sim.tick, 0);
  EXPECT_EQ(shell::g_race.laps, 5);
  EXPECT_EQ(shell::g_race.slots[0].driver, shell::kDriverLocal);
  EXPECT_EQ(shell::g_race.slots[1].driver, shell::kDriverAutoPilot);

  // The same tick counter at set-up gives the same race.
  const int start = shell::g_race.start_tick;
  const int first_rider = shell::g_race.slots[1].identity;
  sim::g_sim.tick = 777;
  shell::setup_race(lineup, false, false, 0, 5, 0);
  EXPECT_EQ(shell::g_race.start_tick, start);
  EXPECT_EQ(shell::g_race.slots[1].identity, first_rider);
  EXPECT_NE(logged().find("Working set"), std::string::npos);
}

TEST_F(SetupRaceTest, TimeTrialAndMissingTrack) {
  shell::setup_race(nullptr, false, false, 0, 0, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  EXPECT_TRUE(shell::g_race.time_trial);
  EXPECT_EQ(sim::g_sim.tick, 300 * 128);  // the gate is long down
  EXPECT_EQ(shell::g_race.gate_fall, 0);
  EXPECT_EQ(shell::g_race.lineup[0], 1);
  EXPECT_EQ(shell::g_race.slots[0].driver, shell::kDriverLocal);
  EXPECT_TRUE(shell::g_race.slots[1].model.empty());

  shell::g_settings.track = "nowhere";
  int lineup[shell::kRiderSlots] = {2};
  shell::setup_race(lineup, false, false, 0, 5, 0);
  EXPECT_FALSE(shell::g_race.race_loaded);
  EXPECT_EQ(shell::g_race.track, "");
}

// The bikes stand on the grid spots, wait on their brakes for the gate, and in an online race
// the local rider who rolls 3 ft before it is held 15 s past the drop; 2.9 ft is not a false
// start, and offline rolling early is not penalised.
TEST_F(SetupRaceTest, BikesWaitForTheGateAndAFalseStartIsHeld) {
  shell::g_rider_setup = shell::default_rider_setup();
  int lineup[shell::kRiderSlots] = {};
  lineup[0] = 1;
  lineup[1] = 2;
  shell::setup_race(lineup, false, false, 0, 5, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  sim::Bike* local = shell::g_race.slots[0].bike;
  sim::Bike* other = shell::g_race.slots[1].bike;
  ASSERT_NE(local, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(shell::g_race.local_slot, 0);
  // Without start positions the bikes line up across the middle of the ground, 5 ft apart.
  EXPECT_NEAR(sim::body_position(local, sim::kFrame)[0], 32, 1e-6);
  EXPECT_NEAR(sim::body_position(other, sim::kFrame)[0], 37, 1e-6);
  for (sim::Bike* bike : {local, other}) {
    EXPECT_NEAR(sim::body_position(bike, sim::kFrame)[2], 32, 1e-6);
    EXPECT_GT(sim::body_position(bike, sim::kFrame)[1], 1.5);  // on its wheels, not in the ground
    EXPECT_LT(sim::body_position(bike, sim::kFrame)[1], 2.5);
  }

  for (int i = 0; i < 64; ++i) shell::race_tick();
  EXPECT_EQ(sim::g_sim.tick, 64);
  for (sim::Bike* bike : {local, other}) {
    EXPECT_EQ(bike->controls.front_brake, 1);
    EXPECT_EQ(bike->controls.throttle, 0);
    EXPECT_EQ(bike->controls.clutch, 0);
    EXPECT_LT(sim::frame_speed(bike), 0.5);
  }

  const double spot[3] = {shell::g_race.start_spot[0], shell::g_race.start_spot[1],
                          shell::g_race.start_spot[2]};
  struct Case {
    double moved;
    bool penalised;
  } cases[] = {{2.9, false}, {3.0, true}};
  for (const Case& c : cases) {
    const double at[3] = {spot[0] + c.moved, spot[1], spot[2]};
    EXPECT_EQ(shell::false_start(spot, at), c.penalised) << c.moved;
  }

  // Offline nobody is penalised for rolling early.
  platform::messages_clear();
  const dReal* frame = sim::body_position(local, sim::kFrame);
  sim::bike_translate(local, spot[0] + 3.05 - frame[0], spot[1] - frame[1], spot[2] - frame[2]);
  shell::race_tick();
  EXPECT_EQ(shell::g_race.held_until, 0);
  EXPECT_EQ(platform::visible_message_count(), 0);

  // Online 2.9 ft is still no false start; 3 ft is.
  shell::g_startup.server_address = "127.0.0.1";
  frame = sim::body_position(local, sim::kFrame);
  sim::bike_translate(local, spot[0] + 2.9 - frame[0], spot[1] - frame[1], spot[2] - frame[2]);
  shell::race_tick();
  EXPECT_EQ(shell::g_race.held_until, 0);
  frame = sim::body_position(local, sim::kFrame);
  sim::bike_translate(local, spot[0] + 3.05 - frame[0], spot[1] - frame[1], spot[2] - frame[2]);
  shell::race_tick();
  shell::g_startup.server_address.clear();
  EXPECT_EQ(shell::g_race.held_until, shell::g_race.start_tick + 15 * 128);
  ASSERT_GE(platform::visible_message_count(), 1);
  EXPECT_STREQ(platform::visible_message(platform::visible_message_count() - 1),
               "15 second false start penalty");

  EXPECT_EQ(shell::g_race.gate_fall, render::kGateStandingFall);  // the gate still stands
  // After the drop the others ride; the penalised bike is still held.
  sim::g_sim.tick = shell::g_race.start_tick;
  sim::set_throttle(other, 1);
  shell::race_tick();
  EXPECT_EQ(other->controls.throttle, 1);
  EXPECT_EQ(local->controls.front_brake, 1);
  // Falling at 8 a second, the bars are down a third of a second (43 ticks) after the drop.
  EXPECT_LT(shell::g_race.gate_fall, render::kGateStandingFall);
  for (int i = 1; i < 42; ++i) shell::race_tick();
  EXPECT_GT(shell::g_race.gate_fall, 0);
  shell::race_tick();
  EXPECT_EQ(shell::g_race.gate_fall, 0);
  shell::free_bikes();
}

TEST(RaceDriver, EngineSoundMasterAndLineupRotation) {
  struct Case {
    bool paused, editor, menu, local;
    double master;
  } cases[] = {
      {false, false, false, true, 1},    {false, false, false, false, 1},
      {true, false, false, true, 0},     {false, true, false, false, 0},
      {false, false, true, false, 0.25}, {false, false, true, true, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shell::engine_sound_master(c.paused, c.editor, c.menu, c.local), c.master)
        << c.paused << c.editor << c.menu << c.local;
  }

  // Voices: the watched bike at "Volume", the others further at "Competitor Volume".
  EXPECT_DOUBLE_EQ(shell::engine_voice_volume(1, 10, 8, true, false), 1);
  EXPECT_DOUBLE_EQ(shell::engine_voice_volume(1, 10, 8, false, false), 0.8);
  EXPECT_DOUBLE_EQ(shell::engine_voice_volume(0.25, 6, 5, false, false), 0.075);
  EXPECT_DOUBLE_EQ(shell::engine_voice_volume(1, 10, 8, false, true), 0);

  int lineup[shell::kRiderSlots] = {};
  lineup[0] = 1;
  lineup[1] = 2;
  lineup[shell::kRiderSlots - 1] = 1003;
  shell::rotate_lineup(lineup);
  EXPECT_EQ(lineup[0], 1003);
  EXPECT_EQ(lineup[1], 1);
  EXPECT_EQ(lineup[2], 2);
  EXPECT_EQ(lineup[shell::kRiderSlots - 1], 0);
}

// Skipping and rewinding move the race clock only while every bike is replayed.
TEST_F(SetupRaceTest, SkipAndRewindOnlyWhileEveryBikeIsReplayed) {
  shell::g_rider_setup = shell::default_rider_setup();
  int lineup[shell::kRiderSlots] = {};
  lineup[0] = 1;
  shell::setup_race(lineup, false, false, 0, 5, 0);
  ASSERT_NE(shell::g_race.slots[0].bike, nullptr);
  sim::g_sim.tick = 300;
  EXPECT_FALSE(shell::skip_rewind(1));  // the local rider rides live
  EXPECT_EQ(sim::g_sim.tick, 300);

  shell::g_race.slots[0].driver = shell::kDriverHistory;
  EXPECT_TRUE(shell::skip_rewind(1));
  EXPECT_EQ(sim::g_sim.tick, 300 + 128);
  EXPECT_TRUE(shell::skip_rewind(-1));
  EXPECT_EQ(sim::g_sim.tick, 300);
  sim::g_sim.tick = 50;
  EXPECT_TRUE(shell::skip_rewind(-1));
  EXPECT_EQ(sim::g_sim.tick, 1);  // not before the start, then one tick

  shell::g_startup.accurate_skip = true;
  EXPECT_TRUE(shell::skip_rewind(2));
  EXPECT_EQ(sim::g_sim.tick, 1 + 256);
  shell::g_startup.accurate_skip = false;
  shell::free_bikes();
}

// Race set-up loads the models the race draws before its first frame, and its sweep frees
// only what the last race drew alone: a model both tracks show is not read again.
TEST_F(SetupRaceTest, SetUpLoadsTheRacesModelsAndKeepsTheSharedOnes) {
  if (!gl_fixture::context()) {
    if (test_support::require_display()) GTEST_FAIL() << "no OpenGL context";
    GTEST_SKIP() << "no OpenGL context";
  }
  render::probe_capabilities();
  render::g_render_settings.debug_level = 1;  // "deleting model ..."
  write_track(terrain_fixtures::track_with(2, 8.0f, 0, 10, std::vector<std::uint16_t>(81, 0)),
              "other");
  const std::string panel =
      "4 2\n0 0 0 1 0 0 0 0\n0 0 -1 1 0 0 0 0\n0 1 -1 1 0 0 0 0\n"
      "0 1 0 1 0 0 0 0\n0 1 2\n0 2 3\n";
  home.write("cone.jm", panel);
  home.write("post.jm", panel);
  home.write("practice/statues",
             "[10 0 10] 0 @cone.jm null null\n[20 0 20] 0 @post.jm null null\n");
  home.write("other/statues", "[10 0 10] 0 @cone.jm null null\n");
  shell::g_rider_setup = shell::default_rider_setup();
  int lineup[shell::kRiderSlots] = {1};
  shell::setup_race(lineup, false, false, 0, 5, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  // Loaded at set-up: with the files gone, both are still there.
  for (const char* file : {"cone.jm", "post.jm"}) std::remove(home.file(file).c_str());
  EXPECT_NE(render::model_request("@post.jm"), nullptr);
  EXPECT_NE(render::model_request("@cone.jm"), nullptr);

  shell::g_settings.track = "other";
  shell::setup_race(lineup, false, false, 0, 5, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  EXPECT_NE(render::model_request("@cone.jm"), nullptr);
  const std::string log = logged();
  EXPECT_NE(log.find("deleting model @post.jm"), std::string::npos);
  EXPECT_EQ(log.find("deleting model @cone.jm"), std::string::npos);
  shell::free_bikes();
  render::model_cache_clear();
  data::texture_cache_reset_for_test();
  render::g_render_settings = {};
}

// A recorded race replays: its riders come back in their slots driven from the demo, the race
// takes the demo's length and gate drop, and the bikes stand where they stood at each tick.
// Recording over the demo being played is refused; a demo that cannot be read leaves a
// normal race.
TEST_F(SetupRaceTest, ARecordedRacePlaysBack) {
  shell::g_settings.demo_backups = 0;
  int lineup[shell::kRiderSlots] = {};
  lineup[0] = 2;
  lineup[1] = 2;
  shell::setup_race(lineup, false, true, 0, 5, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  ASSERT_NE(race::g_recording.stream, nullptr);
  const int start = shell::g_race.start_tick;
  const std::string numbers[2] = {shell::g_race.slots[0].number, shell::g_race.slots[1].number};
  double at_160[3] = {};
  while (sim::g_sim.tick < 200) {
    // The second bike is pushed along, so that where it was depends on the tick.
    sim::bike_translate(shell::g_race.slots[1].bike, 0.05, 0, 0);
    shell::race_tick();
    if (sim::g_sim.tick == 160) {
      const dReal* p = sim::body_position(shell::g_race.slots[1].bike, sim::kFrame);
      for (int i = 0; i < 3; ++i) at_160[i] = p[i];
    }
  }

  platform::messages_clear();
  shell::g_race.playback_file.clear();  // the default demo, still being recorded
  int empty[shell::kRiderSlots] = {};
  shell::setup_race(empty, true, true, 0, 1000, 0);
  ASSERT_TRUE(shell::g_race.playing_back);
  EXPECT_EQ(race::g_recording.stream, nullptr);
  ASSERT_GE(platform::visible_message_count(), 1);
  EXPECT_STREQ(platform::visible_message(platform::visible_message_count() - 1),
               "Can't record and play from same file - recording disabled");
  EXPECT_EQ(shell::g_race.laps, 5);
  EXPECT_EQ(shell::g_race.time_limit, 0);
  EXPECT_EQ(shell::g_race.start_tick, start);
  for (int slot = 0; slot < 2; ++slot) {
    const RiderSlot& s = shell::g_race.slots[slot];
    EXPECT_EQ(s.driver, shell::kDriverHistory);
    ASSERT_NE(s.bike, nullptr);
    EXPECT_TRUE(s.bike->replayed);
    EXPECT_EQ(s.number, numbers[slot]);
  }
  EXPECT_EQ(shell::g_race.slots[2].bike, nullptr);

  // The first states move the clock to their block; the pushed bike is where it was.
  shell::race_tick();
  EXPECT_GT(sim::g_sim.tick, 1);
  while (sim::g_sim.tick < 160) shell::race_tick();
  const dReal* p = sim::body_position(shell::g_race.slots[1].bike, sim::kFrame);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], at_160[i], 0.01) << i;

  // Rewinding a second goes back to where it stood then.
  ASSERT_TRUE(shell::skip_rewind(-1));
  EXPECT_EQ(sim::g_sim.tick, 160 - 128);
  EXPECT_LT(sim::body_position(shell::g_race.slots[1].bike, sim::kFrame)[0], at_160[0] - 5);

  // Junk is no demo: the race runs without it.
  shell::g_race.playback_file = xdg.write("junk.kvdemo", "KV09 1 0\npractice\n");
  shell::setup_race(lineup, true, false, 0, 5, 0);
  EXPECT_TRUE(shell::g_race.race_loaded);
  EXPECT_FALSE(shell::g_race.playing_back);
  EXPECT_EQ(shell::g_race.slots[0].driver, shell::kDriverAutoPilot);
}
