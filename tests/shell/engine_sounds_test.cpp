// engine_sounds_test.cpp -- the slots' engine voices: one per bike while an audio device is
// open, none without one, freed with their bikes, heard at the volume settings.
#include <gtest/gtest.h>

#include "../sim/terrain_fixtures.h"
#include "platform/platform.h"
#include "race/race.h"
#include "shell/race_driver.h"
#include "shell/settings.h"

namespace {

class EngineSoundsTest : public terrain_fixtures::TerrainFilesTest {
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
    shell::reset_rider_slots();
    platform::close_audio();
    race::track_free();
    TerrainFilesTest::TearDown();
  }
  int voices() const {
    int n = 0;
    for (int t = 0; t < shell::kRiderSlots; ++t) n += shell::slot_engine_voice(t) != nullptr;
    return n;
  }
};

TEST_F(EngineSoundsTest, NoDeviceNoVoices) {
  ASSERT_EQ(platform::audio_device(), nullptr);
  int lineup[shell::kRiderSlots] = {1, 2, 2};
  shell::setup_race(lineup, false, false, 0, 5, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  EXPECT_EQ(voices(), 0);
  shell::render_engine_voices(false, false);
  EXPECT_EQ(voices(), 0);
}

TEST_F(EngineSoundsTest, AVoicePerBikeAtTheVolumeSettings) {
  ASSERT_NE(platform::audio_open_null(44100), nullptr);
  // Three computer riders (the test has no rider setup for a human's bike).
  int lineup[shell::kRiderSlots] = {2, 2, 2};
  shell::setup_race(lineup, false, false, 0, 5, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  ASSERT_EQ(voices(), 3);
  for (int t = 0; t < 3; ++t) EXPECT_NE(shell::slot_engine_voice(t)->handle, nullptr) << t;
  ASSERT_EQ(shell::g_race.watched, 0);

  shell::g_settings.volume.value = 6;
  shell::g_settings.comp_volume.value = 5;
  struct Case {
    bool paused, editor;
    double watched, others;
  } cases[] = {
      {false, false, 0.6, 0.3},  // riding: Volume x 0.1, the others x Competitor Volume x 0.1
      {true, false, 0, 0},       // paused: silent
      {false, true, 0, 0},       // the editor: silent
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(shell::engine_voice_level(0, c.paused, c.editor), c.watched);
    EXPECT_DOUBLE_EQ(shell::engine_voice_level(1, c.paused, c.editor), c.others);
    EXPECT_DOUBLE_EQ(shell::engine_voice_level(2, c.paused, c.editor), c.others);
  }
  // Watching another rider makes that one the loud one.
  shell::g_race.watched = 2;
  EXPECT_DOUBLE_EQ(shell::engine_voice_level(2, false, false), 0.6);
  EXPECT_DOUBLE_EQ(shell::engine_voice_level(0, false, false), 0.3);

  // Rendering fills each voice ahead of its play position.
  shell::render_engine_voices(false, false);
  for (int t = 0; t < 3; ++t) EXPECT_NE(shell::slot_engine_voice(t)->write, 11025) << t;

  // A bike that goes takes its voice; one that arrives gets one at the next frame.
  sim::bike_destroy(shell::g_race.slots[1].bike);
  shell::g_race.slots[1].bike = nullptr;
  shell::g_race.slots[5].info = shell::g_race.slots[2].info;
  shell::g_race.slots[5].bike = sim::bike_create(shell::g_race.slots[5].info, 5, "5");
  shell::render_engine_voices(false, false);
  EXPECT_EQ(shell::slot_engine_voice(1), nullptr);
  EXPECT_NE(shell::slot_engine_voice(5), nullptr);
  EXPECT_EQ(voices(), 3);

  // A new race frees every voice with the bikes and makes its own.
  int two[shell::kRiderSlots] = {2, 2};
  shell::setup_race(two, false, false, 0, 5, 0);
  EXPECT_EQ(voices(), 2);
}

}  // namespace
