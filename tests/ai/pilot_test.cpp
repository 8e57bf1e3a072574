// pilot_test.cpp -- computer riders: personalities, the start at the gate, the plan a leader
// rides by.
#include <gtest/gtest.h>

#include <string>

#include "ai/pilot.h"
#include "race/race.h"
#include "sim/bike_fixtures.h"
#include "support/test_support.h"

namespace {

TEST(Personalities, ByNameAndUnknownNames) {
  test_support::LogCapture log("pilot.log");
  log.start();
  EXPECT_EQ(ai::find_personality("kestrel"), 1);
  EXPECT_EQ(ai::find_personality("harrier"), 2);
  EXPECT_EQ(ai::find_personality("merlin"), 3);
  EXPECT_EQ(ai::find_personality("tester"), 4);
  EXPECT_EQ(ai::find_personality("albatross"), 1);
  EXPECT_EQ(ai::find_personality(""), 1);  // the placeholder is never chosen by name
  const std::string text = log.text();
  EXPECT_NE(text.find("auto pilot personality 'albatross' not found"), std::string::npos);
}

// A computer rider standing at the gate of a race whose gate drops at 13 s.
class StartTest : public bike_fixtures::BikeTest {
 protected:
  void SetUp() override {
    BikeTest::SetUp();
    bike_ = sim::bike_create(&info_, 0, "20");
    sim::bike_place(bike_);
    bikes_[0] = bike_;
    ai::g_pilot_race.bikes = bikes_;
    ai::g_pilot_race.count = 1;
    ai::g_pilot_race.start_tick = kDrop;
    ai::g_pilot_race.ready_tick = 5 * sim::kTicksPerSecond;
    race::RaceRules rules;
    rules.start_tick = kDrop;
    race::timing_setup(race::g_timing, race::g_track, rules);
  }
  void TearDown() override {
    sim::bike_destroy(bike_);
    BikeTest::TearDown();
  }
  // Seconds after the drop at which the rider lets the clutch out, or -1 before the drop.
  double launch_after_drop(const char* personality, unsigned seed) {
    ai::pilots_setup(seed);
    ai::pilot_begin(0, true, personality);
    for (int tick = 0; tick < kDrop + 2 * sim::kTicksPerSecond; ++tick) {
      sim::g_sim.tick = tick;
      ai::g_pilot_race.now_seconds = static_cast<double>(tick) / sim::kTicksPerSecond;
      ai::auto_pilot_step(bike_);
      if (tick < kDrop && bike_->controls.clutch > 0) return -1;
      if (bike_->controls.clutch > 0) {
        // The launch: full throttle, brakes off, the foot coming up as the clutch goes out.
        EXPECT_EQ(bike_->controls.throttle, 1);
        EXPECT_EQ(bike_->controls.front_brake, 0);
        EXPECT_LT(bike_->controls.dab, 1);
        return static_cast<double>(tick - kDrop) / sim::kTicksPerSecond;
      }
    }
    return 1e9;
  }
  static constexpr int kDrop = 13 * sim::kTicksPerSecond;
  sim::BikeInfo info_ = bike_fixtures::model_without_files();
  sim::Bike* bike_ = nullptr;
  sim::Bike* bikes_[1] = {};
};

TEST_F(StartTest, ReactionsFollowThePersonality) {
  struct Case {
    const char* personality;
    double earliest, latest;  // s after the drop
  };
  const Case cases[] = {{"merlin", 0.0, 0.1}, {"kestrel", 0.2, 0.4}, {"harrier", 0.2, 0.4}};
  for (const Case& c : cases) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
      SCOPED_TRACE(std::string(c.personality) + " seed " + std::to_string(seed));
      const double at = launch_after_drop(c.personality, seed);
      // The clutch moves on the first tick from the reaction's moment on.
      EXPECT_GE(at, c.earliest);
      EXPECT_LE(at, c.latest + 1.0 / sim::kTicksPerSecond);
    }
  }
}

TEST_F(StartTest, HeldAndRevvingBeforeTheDrop) {
  ai::pilots_setup(5);
  ai::pilot_begin(0, true, "kestrel");
  bool revved_before_ready = false, revved_against_gate = false;
  for (int tick = 0; tick < kDrop; ++tick) {
    sim::g_sim.tick = tick;
    ai::g_pilot_race.now_seconds = static_cast<double>(tick) / sim::kTicksPerSecond;
    ai::auto_pilot_step(bike_);
    const sim::Controls& c = bike_->controls;
    ASSERT_EQ(c.clutch, 0) << tick;
    ASSERT_EQ(c.front_brake, 1) << tick;
    ASSERT_EQ(c.rear_brake, 1) << tick;
    ASSERT_EQ(c.dab, 1) << tick;
    if (c.throttle > 0 && tick < ai::g_pilot_race.ready_tick) revved_before_ready = true;
    if (c.throttle > 0 && tick > kDrop - sim::kTicksPerSecond) revved_against_gate = true;
  }
  EXPECT_TRUE(revved_before_ready);  // blips while the field lines up
  EXPECT_TRUE(revved_against_gate);  // full revs for the drop
}

// A rider stopped on the track long enough is stood back on his path where he got to, never
// further on (he would skip the timing gates between); when he keeps ending up in the same
// place (a hole he cannot ride out of), each rescue puts him two points further along.
TEST_F(StartTest, RescueStandsTheRiderBackWhereHeGotTo) {
  ai::pilots_setup(3);
  ai::pilot_begin(0, true, "kestrel");
  ai::Pilot& p = ai::g_pilots[0];
  const dReal* at = sim::body_position(bike_, sim::kFrame);
  const float x0 = static_cast<float>(at[0]) - 30, z0 = static_cast<float>(at[2]) + 2;
  for (int k = 0; k < 20; ++k) p.path.push_back(ai::LinePoint{x0 + 10.0f * k, 0, z0, 30, 0});
  p.progress = 12;  // the path's progress ran ahead of the bike, which is beside point 3
  auto ride_until_rescued = [&](int from) {
    const int before = p.rescues;
    for (int tick = from; tick < from + 20 * sim::kTicksPerSecond; ++tick) {
      sim::g_sim.tick = tick;
      ai::g_pilot_race.now_seconds = static_cast<double>(tick) / sim::kTicksPerSecond;
      p.last_progress_tick = tick;  // only the standstill may trigger the rescue
      ai::auto_pilot_step(bike_);
      if (p.rescues != before || p.rescues > 1) return tick + 1;
    }
    ADD_FAILURE() << "no rescue";
    return from;
  };
  const int start = kDrop + 6 * sim::kTicksPerSecond;
  const int first = ride_until_rescued(start);
  EXPECT_NEAR(at[0], x0 + 30, 0.5);
  EXPECT_NEAR(at[2], z0, 0.5);
  ride_until_rescued(first);
  EXPECT_NEAR(at[0], x0 + 50, 0.5);  // the same spot again: two points on
  EXPECT_NEAR(at[2], z0, 0.5);
  EXPECT_EQ(p.rescues, 2);
}

TEST(PlanType, ALeadingHarrierSwitchesToTypeOne) {
  race::Track track;
  track.checkpoints.resize(1);
  track.lap_sequences = {0};
  track.first_lap_length = 1;
  track.normal_lap_length = 1;
  race::RaceRules rules;
  race::timing_setup(race::g_timing, track, rules);
  ai::pilots_setup(1);
  ai::pilot_begin(4, true, "harrier");
  ai::pilot_begin(9, true, "kestrel");
  race::Timing& t = race::g_timing;
  struct Case {
    double lead_s;
    int harrier_type;
  };
  for (const Case c : {Case{12, 1}, Case{5, 2}, Case{0, 2}}) {
    SCOPED_TRACE(c.lead_s);
    t.order_length = 2;
    t.order[0].slot = 4;
    t.order[1].slot = 9;
    t.bikes[4].passed = 6;
    t.bikes[9].passed = 5;
    race::set_pass_tick(t, 4, 4, 1000);
    race::set_pass_tick(t, 9, 4, 1000 + static_cast<int>(c.lead_s * 128));
    EXPECT_EQ(ai::plan_type(4), c.harrier_type);
  }
  // A kestrel leads by more than its 1 s and still rides type 0.
  t.order[0].slot = 9;
  t.order[1].slot = 4;
  EXPECT_EQ(ai::plan_type(9), 0);
  race::timing_setup(race::g_timing, race::g_track, rules);
}

}  // namespace
