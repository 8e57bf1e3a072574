// engine_voice_test.cpp -- the engine voice: which cells play at which speed and load, the
// firing frequency, the remap order, the pipe's echo, the 0.1 s it keeps ahead, and what a
// listener hears (Doppler, distance, pan).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sound/sound.h"
#include "support/test_support.h"

namespace {

using sound::EngineInputs;
using sound::EngineVoice;

std::string raw(int count, int value) {
  std::string bytes;
  for (int i = 0; i < count; ++i) {
    bytes += static_cast<char>(value & 0xff);
    bytes += static_cast<char>((value >> 8) & 0xff);
  }
  return bytes;
}

class EngineVoiceTest : public test_support::DataFoldersTest {
 protected:
  void TearDown() override {
    sound::engine_voice_free(voice);
    DataFoldersTest::TearDown();
  }
  // A voice reading `braap` (its .braap text), with no audio device.
  EngineVoice& make(const std::string& braap, const char* bike_class = "250") {
    home.write("test.braap", braap);
    voice = sound::engine_voice_create(nullptr, bike_class, "@test.png", nullptr);
    return *voice;
  }
  // Engine inputs at an engine speed and load (0..1) of the voice's torque range.
  EngineInputs at(double rpm, double load) const {
    EngineInputs in;
    in.rpm = rpm;
    const sound::EngineDescription& d = voice->description;
    in.torque = d.low_torque + load * (d.high_torque - d.low_torque);
    in.throttle = load;
    return in;
  }
  // Runs whole blocks until the voice has started `cycles` new cycles.
  void run_cycles(const EngineInputs& in, int cycles) {
    const std::uint32_t until = voice->cycle + static_cast<std::uint32_t>(cycles);
    while (voice->cycle < until) sound::engine_voice_synthesise(*voice, in, 1);
  }
  EngineVoice* voice = nullptr;
};

// Rows 2000, 4000, 6000 rpm by loads 0 and 1: the grains cross-fade the four nearest cells,
// and speeds or loads outside the table play its edge.
TEST_F(EngineVoiceTest, CellsAndGainsFollowSpeedAndLoad) {
  // Each cell's sample holds one value: its row x 10 + column, so a grain says its cell.
  std::string table = "SOUNDTABLE 3 2\n2000 4000 6000\n0 1\n";
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 2; ++c) {
      const std::string name = "c" + std::to_string(r) + std::to_string(c) + ".raw";
      home.write(name, raw(100, (r * 10 + c) * 1000));
      table += "-1 1 @" + name + "\n";
    }
  }
  home.write("grid.tab", table);
  make("soundtable @grid.tab\nminrpm 0\n");
  struct Case {
    double rpm, load;
    float row_gain[3];     // summed over columns
    float column_gain[2];  // summed over rows
  } cases[] = {
      {3000, 0.25, {0.5f, 0.5f, 0}, {0.75f, 0.25f}},
      {2000, 0, {1, 0, 0}, {1, 0}},
      {1000, 0.5, {1, 0, 0}, {0.5f, 0.5f}},    // below the first row: row 0 only
      {9000, 1.0, {0, 0, 1}, {0, 1}},          // above the last row: the last only
      {5500, 1.5, {0, 0.25f, 0.75f}, {0, 1}},  // a load past 1 is 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rpm << " rpm, load " << c.load);
    voice->last_rpm = c.rpm;  // no glide from the last block's speed
    run_cycles(at(c.rpm, c.load), 1);
    float rows[3] = {}, columns[2] = {}, total = 0;
    for (const sound::Grain& g : voice->grains) {
      const int code = static_cast<int>(std::lround(g.sample[0] * 32.768f));
      rows[code / 10] += g.gain;
      columns[code % 10] += g.gain;
      total += g.gain;
    }
    EXPECT_FLOAT_EQ(total, 1);
    for (int r = 0; r < 3; ++r) EXPECT_NEAR(rows[r], c.row_gain[r], 1e-6) << "row " << r;
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(columns[k], c.column_gain[k], 1e-6) << "column " << k;
  }
}

// A table of one cell plays that cell with gain 1 at every speed and load.
TEST_F(EngineVoiceTest, OneCellTablePlaysEverywhere) {
  home.write("one.raw", raw(64, 8000));
  home.write("one.tab", "SOUNDTABLE 1 1\n5000\n0\n-1 1 @one.raw\n");
  make("soundtable @one.tab\n");
  for (double rpm : {500.0, 5000.0, 14000.0}) {
    for (double load : {0.0, 0.3, 1.0}) {
      run_cycles(at(rpm, load), 1);
      float gain = 0;
      for (const sound::Grain& g : voice->grains) {
        EXPECT_EQ(g.length, 64);
        gain += g.gain;
      }
      EXPECT_FLOAT_EQ(gain, 1) << rpm << " rpm, load " << load;
      EXPECT_FLOAT_EQ(voice->grains[3].gain, 1) << rpm << " rpm, load " << load;
    }
  }
}

// Firing frequency: rpm x pulses per turn / 60, never below 5 Hz even with "minrpm 0";
// without it the minimum rpm (1000) holds the engine up.
TEST_F(EngineVoiceTest, FiringFrequency) {
  struct Case {
    const char* bike_class;
    const char* braap;
    double rpm;
    double hz;
  } cases[] = {
      {"250", "minrpm 0\n", 60, 5},
      {"450f", "minrpm 0\n", 60, 5},
      {"250", "minrpm 0\n", 6000, 100},
      {"450f", "minrpm 0\n", 6000, 50},
      {"250", "", 60, 1000.0 / 60},
      {"250", "minrpm 0\nscale 1.5\nbias 1000\n", 3000, (3000 + 1000) * 1.5 / 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bike_class << " " << c.braap << c.rpm);
    make(c.braap, c.bike_class);
    voice->last_rpm = c.rpm;
    run_cycles(at(c.rpm, 1), 2);
    EXPECT_NEAR(voice->firing_hz, c.hz, 1e-6);
    EXPECT_EQ(voice->phase_step, std::llround(c.hz / 44100 * (1 << 24)));
    sound::engine_voice_free(voice);
    voice = nullptr;
  }
}

// A remap list 2, 0, 1 plays the sample's three recorded cycles in that order.
TEST_F(EngineVoiceTest, RemapListOrdersTheCycles) {
  home.write("three.raw", raw(300, 1000));
  home.write("three.tab", "SOUNDTABLE 1 1\n4000\n0\n2 0 1 -1 3 @three.raw\n");
  make("soundtable @three.tab\n");
  std::vector<int> played;
  for (int i = 0; i < 7; ++i) {
    const std::uint32_t c = voice->cycle;
    run_cycles(at(4000, 1), 1);
    ASSERT_EQ(voice->cycle, c + 1);
    // 100 values a recorded cycle; the grain starts at its first.
    played.push_back(static_cast<int>(voice->grains[0].position / 1024 / 100));
  }
  // The cycle counter starts at 0: cycles 0, 1, 2, ... map to 2, 0, 1, 2, ...
  EXPECT_EQ(played, (std::vector<int>{2, 0, 1, 2, 0, 1, 2}));
  // One recorded cycle lasts one firing: 100 values over 44100 / (4000 / 60) samples.
  EXPECT_EQ(voice->grains[0].step,
            static_cast<std::int64_t>(std::floor(4000.0 / 60 / 44100 * 100 * 1024)));
}

// The pipe feeds the output back: with no grain sounding, a value 155 samples back comes out
// again times the tap's gain; the sum is held to -16..16.
TEST_F(EngineVoiceTest, PipeEchoAndClamp) {
  make("pipe 2 1 -0.5 3 3\n");
  for (sound::Grain& g : voice->grains) g.gain = 0;
  voice->phase_step = 0;  // no new cycle
  const int w = voice->write;
  voice->history[(w - 155 + 32768) % 32768] = 0.8f;
  voice->history[(w + 1 - 155 + 32768) % 32768] = -100;
  sound::engine_voice_synthesise(*voice, at(3000, 1), 2);
  EXPECT_FLOAT_EQ(voice->history[w], -0.4f);
  EXPECT_FLOAT_EQ(voice->history[(w + 1) % 32768], 16);
  EXPECT_EQ(voice->converted[0], std::lround(-0.4 * 127 + 127));
  EXPECT_EQ(voice->converted[1], 255);
  EXPECT_EQ(voice->write, (w + 2) % 32768);
}

// On an audio device the voice stays 4,410 samples ahead of the play position, at most 8,820
// samples a call.
TEST_F(EngineVoiceTest, KeepsATenthOfASecondAhead) {
  platform::AudioDevice* device = platform::audio_open_null(44100);
  ASSERT_NE(device, nullptr);
  voice = sound::engine_voice_create(device, "250f", nullptr, nullptr);
  ASSERT_NE(voice->handle, nullptr);
  const render::Listener listener;
  std::vector<int> writes;
  for (int call = 0; call < 5; ++call) {
    sound::engine_voice_render(*voice, at(3000, 1), listener, 1);
    writes.push_back(voice->write);
  }
  // The null device never plays, so the play position stays at 0: 11,025 + 8,820 + 8,820,
  // then what is left up to 4,410 past the ring's end, then nothing.
  EXPECT_EQ(writes, (std::vector<int>{19845, 28665, 4410, 4410, 4410}));
  sound::engine_voice_free(voice);
  voice = nullptr;
  platform::audio_close(device);
}

render::Listener listener_at(float x, float y, float z, float vx = 0, float vz = 0) {
  render::Listener l;
  l.position[0] = x;
  l.position[1] = y;
  l.position[2] = z;
  l.velocity[0] = vx;
  l.velocity[2] = vz;
  return l;  // right vector +x
}

TEST(VoiceSpatial, DopplerDistanceAndPan) {
  constexpr double c = 1140.63;
  const double mph60 = 60 * 1.4666667;
  struct Case {
    const char* what;
    render::Listener listener;
    double bike[3], velocity[3];
    int rate, volume, pan;
  } cases[] = {
      {"a listener on the bike",
       listener_at(5, 2, 7, 30, 0),
       {5, 2, 7.02},
       {30, 0, 0},
       44100,
       32767,
       0},
      {"approaching at 60 mph",
       listener_at(0, 0, 0),
       {0, 0, 1},
       {0, 0, -mph60},
       static_cast<int>(std::lround(44100 / (1 - mph60 / c))),
       32767,
       0},
      {"going away at 60 mph",
       listener_at(0, 0, 0),
       {0, 0, -1},
       {0, 0, -mph60},
       static_cast<int>(std::lround(44100 / (1 + mph60 / c))),
       32767,
       0},
      {"listener running towards it",
       listener_at(0, 0, 0, 0, 20),
       {0, 0, 1},
       {0, 0, 0},
       static_cast<int>(std::lround(44100 * (1 + 20 / c))),
       32767,
       0},
      {"faster than sound towards it",
       listener_at(0, 0, 0),
       {0, 0, 1},
       {0, 0, -1100},
       5513,
       32767,
       0},  // 44,100 / 8, rounded
      {"49 ft away to the right", listener_at(0, 0, 0), {49, 0, 0}, {0, 0, 0}, 44100, 16384, 32767},
      {"97 ft away to the left",
       listener_at(0, 0, 0),
       {-97, 0, 0},
       {0, 0, 0},
       44100,
       10922,
       -32767},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const sound::VoiceSpatial s = sound::engine_voice_spatial(k.listener, k.bike, k.velocity, 1, 1);
    EXPECT_EQ(s.rate, k.rate);
    EXPECT_NEAR(s.volume, k.volume, 1);
    EXPECT_EQ(s.pan, k.pan);
  }
  // The level scales the volume; it never passes full.
  const double near[3] = {0, 0, 1}, still[3] = {};
  EXPECT_EQ(sound::engine_voice_spatial(listener_at(0, 0, 0), near, still, 0.8, 1).volume,
            std::lround(0.8 * 32767));
  EXPECT_EQ(sound::engine_voice_spatial(listener_at(0, 0, 0), near, still, 3, 1).volume, 32767);
  EXPECT_EQ(sound::engine_voice_spatial(listener_at(0, 0, 0), near, still, 0, 1).volume, 0);
}

// A bike passing a standing listener at 60 mph: higher than 44,100 while it comes, lower
// once it has gone by, and the pitch swings from one side to the other.
TEST(VoiceSpatial, PassByAtSixtyMph) {
  const double v = 60 * 1.4666667;
  const render::Listener l = listener_at(20, 3, 0);
  std::vector<int> rates, pans;
  for (double t = -2; t <= 2.001; t += 0.5) {
    const double bike[3] = {0, 3, -v * t}, velocity[3] = {0, 0, -v};
    const sound::VoiceSpatial s = sound::engine_voice_spatial(l, bike, velocity, 1, 1);
    rates.push_back(s.rate);
    pans.push_back(s.pan);
  }
  for (std::size_t i = 0; i < rates.size(); ++i) {
    SCOPED_TRACE(i);
    if (i < 4) {
      EXPECT_GT(rates[i], 44100);
    } else if (i == 4) {
      EXPECT_EQ(rates[i], 44100);  // abreast: no motion along the line of sight
    } else {
      EXPECT_LT(rates[i], 44100);
    }
    if (i > 0) {
      EXPECT_LE(rates[i], rates[i - 1]);
    }
    EXPECT_LT(pans[i], 0);  // the road is on the listener's left (-x)
  }
}

}  // namespace
