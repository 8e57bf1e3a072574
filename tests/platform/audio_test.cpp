// audio_test.cpp -- the audio device table: options, the SDL, readback and null back-ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_internal.h"
#include "platform/log_internal.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

using platform::AudioDevice;
using platform::AudioVoice;

// Sends the log to a fresh file and sets TAVO_OPTIONS for one test.
class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never a real sound card, whoever runs the test.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    platform::log_reset_for_test();
    setenv("TAVO_LOGFILE", dir.file("audio.log").c_str(), 1);
    use_options("");
  }
  void TearDown() override {
    platform::close_audio();
    unsetenv("TAVO_LOGFILE");
    unsetenv("TAVO_OPTIONS");
    platform::options_reload();
    platform::log_reset_for_test();
  }
  static void use_options(const char* text) {
    setenv("TAVO_OPTIONS", text, 1);
    platform::options_reload();
  }
  std::string log_text() {
    platform::log_close();
    return test_support::read_file(dir.file("audio.log"));
  }
  test_support::TempDir dir;
};

// Each text in order, each after the one before.
void expect_in_order(const std::string& text, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const std::string& line : lines) {
    const std::size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << text;
    at = found + line.size();
  }
}

TEST_F(AudioTest, OptionsGiveRateFragmentsAndMixahead) {
  struct Case {
    const char* options;
    int rate;
    int fragment_frames;
    int fragments;
    int voices;
  } cases[] = {
      {"", 22050, 344, 8, 16},
      {"[sound-mixahead:0]", 22050, 344, 1, 16},
      {"[sound-mixahead:10]", 22050, 344, 1, 16},
      {"[sound-mixahead:-50]", 22050, 344, 1, 16},
      {"[sound-mixahead:1000]", 22050, 344, 32, 16},
      {"[sound-mixahead:2000000000]", 22050, 344, 32, 16},
      {"[sound-rate:11025][sound-channels:4]", 11025, 172, 8, 4},
      {"[sound-rate:44100][sound-mixahead:250]", 44100, 689, 16, 16},
  };
  for (const Case& c : cases) {
    use_options(c.options);
    const platform::AudioPlan plan = platform::audio_plan_from_options();
    EXPECT_EQ(plan.rate, c.rate) << c.options;
    EXPECT_EQ(plan.fragment_frames, c.fragment_frames) << c.options;
    EXPECT_EQ(plan.mixahead_fragments, c.fragments) << c.options;
    EXPECT_EQ(plan.mixahead_ms, c.fragments * 1000 / 64) << c.options;
    EXPECT_EQ(plan.voice_limit, c.voices) << c.options;
  }
}

TEST_F(AudioTest, EveryBackEndFillsItsWholeTable) {
  for (const platform::AudioOps* ops :
       {&platform::g_sdl_audio_ops, &platform::g_readback_audio_ops, &platform::g_null_audio_ops}) {
    EXPECT_TRUE(platform::audio_ops_complete(*ops)) << ops->name;
  }
  platform::AudioOps missing = platform::g_null_audio_ops;
  missing.write_data = nullptr;
  EXPECT_FALSE(platform::audio_ops_complete(missing));
}

// The SDL back-end on SDL's dummy driver: its log, one device at a time, and
// the callback really mixing.
TEST_F(AudioTest, SdlOutputMixesInTheCallback) {
  use_options("[sound-rate:11025][sound-mixahead:0]");
  ASSERT_TRUE(platform::open_audio_output());
  AudioDevice* device = platform::audio_device();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(platform::sdl_fragment_frames(device), 172);
  EXPECT_EQ(platform::audio_open(), nullptr);
  EXPECT_EQ(platform::audio_open_null(22050), nullptr);

  const platform::AudioOps& ops = *device->ops;
  AudioVoice* voice = ops.create_voice(device, 32768, nullptr, 0);
  ASSERT_NE(voice, nullptr);
  ops.set_looping(device, voice, 1);
  ops.start(device, voice);
  // The dummy driver consumes in real time; give it plenty.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ops.play_position(device, voice) == 0 && std::chrono::steady_clock::now() < deadline) {
    // Voice operations keep coming from this thread while the callback mixes.
    const std::uint8_t sample[1] = {200};
    ops.write_data(device, voice, 1, sample, 0);
    ops.set_volume(device, voice, 20000);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GT(ops.play_position(device, voice), 0);
  ops.free_voice(device, voice);
  platform::close_audio();
  EXPECT_EQ(platform::audio_device(), nullptr);

  expect_in_order(
      log_text(),
      {"No DirectSound here: using SDL audio\n", "Opening waveOut audio...\n", "Found a ",
       "Waveout rate: 11025\n", "Waveout channels: 16\n", "Waveout mixahead: 15\n",
       "Audio thread begin\n", "Audio opened!\n", "Closing audio\n", "Audio thread end\n"});
}

TEST_F(AudioTest, OptionsCanTurnTheOutputOffOrBreakIt) {
  use_options("[dsnd:no][waveout:no]");
  EXPECT_FALSE(platform::open_audio_output());
  use_options("[dsnd:no][sound-rate:63]");
  EXPECT_FALSE(platform::open_audio_output());
  EXPECT_EQ(platform::audio_device(), nullptr);
  const std::string text = log_text();
  EXPECT_EQ(text.find("No DirectSound"), std::string::npos);
  expect_in_order(text,
                  {"Opening waveOut audio...\n", "Waveout rate: 63\n", "Can't open waveOut\n"});
  EXPECT_EQ(text.find("Audio opened!"), std::string::npos);
}

// What --record-audio gets: one mono block of 16-bit values per call.
TEST_F(AudioTest, ReadbackMixesABlockWhenAsked) {
  use_options("[sound-channels:1]");
  ASSERT_TRUE(platform::open_recording_audio(88320, 690));
  AudioDevice* device = platform::audio_device();
  const platform::AudioOps& ops = *device->ops;

  const std::vector<std::uint8_t> loud(1000, 255);
  AudioVoice* first = ops.create_voice(device, 1000, loud.data(), 0);
  AudioVoice* second = ops.duplicate_voice(device, first);
  ops.set_rate(device, first, 44160);  // half a sample per output value
  ops.start(device, first);
  ops.start(device, second);  // over the one-voice limit
  ops.frame(device);
  const std::int16_t* block = ops.mix(device);
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 690; ++i) ASSERT_EQ(block[i], 122 * 256) << i;
  EXPECT_EQ(ops.play_position(device, first), 345);
  EXPECT_EQ(ops.play_position(device, second), 690);
  ops.stop(device, first);
  ops.stop(device, second);
  EXPECT_EQ(ops.mix(device)[0], 0);
  platform::close_audio();

  expect_in_order(log_text(), {"Opening readback audio...\n", "Audio opened!\n"});
}

TEST_F(AudioTest, NullDeviceKeepsVoicesAndPlaysNothing) {
  AudioDevice* device = platform::audio_open_null(22050);
  ASSERT_NE(device, nullptr);
  const platform::AudioOps& ops = *device->ops;
  AudioVoice* voice = ops.create_voice(device, 64, nullptr, 0);
  ops.start(device, voice);
  EXPECT_EQ(ops.mix(device), nullptr);
  EXPECT_EQ(ops.play_position(device, voice), 0);
  EXPECT_EQ(ops.create_voice(device, 0, nullptr, 0), nullptr);
  // Operations on no voice are harmless, as for a bike without sound.
  ops.set_volume(device, nullptr, 1);
  EXPECT_EQ(ops.play_position(device, nullptr), 0);
  // Closing frees what the caller left behind (the leak check would tell).
  platform::audio_close(device);
  EXPECT_EQ(platform::audio_device(), nullptr);
}

void report_box(const char* title, const char* text) {
  std::fprintf(stderr, "[audio %s][box %s: %s]", platform::audio_device() ? "open" : "closed",
               title, text);
}

TEST_F(AudioTest, FatalSequenceClosesAnOpenDevice) {
  // The test's SDL threads are gone by now, but SDL may leave others.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        platform::set_fatal_box_handler(report_box);
        if (!platform::open_audio_output()) std::exit(3);
        platform::fatal_out_of_memory();
      },
      ::testing::ExitedWithCode(1), R"(\[audio closed\]\[box Error: Out of virtual memory\])");
}

}  // namespace
