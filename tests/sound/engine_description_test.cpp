// engine_description_test.cpp -- the built-in engines, the pipe model, .braap files and the
// search for a bike's .braap.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "sound/sound.h"
#include "support/test_support.h"

namespace {

using sound::EngineDescription;
using sound::kVoiceSamples;

int delay_of(const sound::PipeTap& tap) { return kVoiceSamples - tap.offset; }

// Delay in samples of a pipe length: there and back at the speed of sound.
int echo_samples(double feet) { return static_cast<int>(std::lround(2 * feet * 44100 / 1140.63)); }

std::string last_message() {
  const int n = platform::visible_message_count();
  return n > 0 ? platform::visible_message(n - 1) : "";
}

class BraapTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    platform::messages_clear();
    platform::set_message_lines(20);
  }
  // The description a voice of `bike_class` gets from a .braap holding `text`.
  EngineDescription voice_from(const std::string& text, const char* bike_class = "250f") {
    home.write("engine.braap", text);
    sound::EngineVoice* voice =
        sound::engine_voice_create(nullptr, bike_class, "@engine.png", nullptr);
    EngineDescription d = voice->description;
    sound::engine_voice_free(voice);
    return d;
  }
  // A one-cell table of a 4-value sample.
  void write_table(const std::string& name) {
    home.write(name + ".raw", std::string("\x00\x40\x00\x20\x00\x00\x00\xe0", 8));
    home.write(name, "SOUNDTABLE 1 1\n3000\n0\n-1 1 @" + name + ".raw\n");
  }
};

TEST(BuiltInEngines, EachClassGetsItsDefault) {
  struct Case {
    const char* bike_class;
    float pulses, low, high, closed;
    int first_tap_delay;
    const char* table;
  } cases[] = {
      {"450f", 0.5f, -2.5f, 2.5f, 0.5f, echo_samples(5.0), "default_four_stroke"},
      {"250f", 0.5f, -2.5f, 2.5f, 0.5f, echo_samples(5.0), "default_four_stroke"},
      {nullptr, 0.5f, -2.5f, 2.5f, 0.5f, echo_samples(5.0), "default_four_stroke"},
      {"250", 1.0f, -3.5f, 3.5f, 0.75f, echo_samples(1.75), "default_two_stroke"},
      {"125", 1.0f, -3.5f, 3.5f, 0.75f, echo_samples(1.75), "default_two_stroke"},
      {"50", 1.0f, -3.5f, 1.5f, 0.75f, echo_samples(1.75), "default_two_stroke"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bike_class ? c.bike_class : "no bike");
    const EngineDescription& d = sound::class_default_engine(c.bike_class);
    EXPECT_EQ(d.pulses_per_rev, c.pulses);
    EXPECT_EQ(d.low_torque, c.low);
    EXPECT_EQ(d.high_torque, c.high);
    EXPECT_EQ(d.closed_level, c.closed);
    EXPECT_EQ(d.full_level, 1.0f);
    EXPECT_EQ(d.min_rpm, 1000);
    EXPECT_EQ(delay_of(d.taps[0]), c.first_tap_delay);
    ASSERT_NE(d.table, nullptr);
    EXPECT_EQ(d.table->name, c.table);
    EXPECT_EQ(d.bias_count, 1);
    EXPECT_EQ(d.bias[0], 0);
    EXPECT_EQ(d.scale_count, 1);
    EXPECT_EQ(d.scale[0], 1);
  }
}

// One row, two columns: load 0 plays the waveform at a quarter, load 1 as it is; the
// two-stroke's firing is silent after its first quarter, the four-stroke's never is.
TEST(BuiltInEngines, TablesHoldTheWaveforms) {
  const sound::SoundTable& four = *sound::default_engine(sound::kDefaultFourStroke).table;
  const sound::SoundTable& two = *sound::default_engine(sound::kDefaultTwoStroke).table;
  for (const sound::SoundTable* t : {&four, &two}) {
    ASSERT_EQ(t->rows, 1);
    ASSERT_EQ(t->columns, 2);
    EXPECT_EQ(t->cell(0, 0).load, 0);
    EXPECT_EQ(t->cell(0, 1).load, 1);
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(t->cell(0, c).length, 1024);
      EXPECT_EQ(t->cell(0, c).cycles, 1);
    }
    for (int i = 0; i < 1024; i += 97) {
      EXPECT_FLOAT_EQ(t->cell(0, 0).sample[i], 0.25f * t->cell(0, 1).sample[i]);
    }
  }
  // x = 100 / 1023 lies in the first quarter: sin(8 pi x)(1 - 4x) for the two-stroke.
  const double x = 100 / 1023.0;
  EXPECT_NEAR(two.cell(0, 1).sample[100], std::sin(8 * M_PI * x) * (1 - 4 * x), 1e-6);
  EXPECT_EQ(two.cell(0, 1).sample[600], 0);
  const double y = 600 / 1023.0;
  EXPECT_NEAR(four.cell(0, 1).sample[600], (std::fabs(std::sin(3 * M_PI * y + 0.5246)) - 0.5) * 0.5,
              1e-6);
}

// Taps first..last share the gain; their lengths fall from L1 by (x + (x/D)^2) min(L1, L2)/n.
TEST(PipeModel, SpreadsTheTapsAlongThePipe) {
  EngineDescription d;
  sound::pipe_model(d, 1, 1, 0, 0, 15);
  sound::pipe_model(d, 4.0f, 2.0f, -0.8f, 4, 7);  // n = 4, D = 3, m = 2
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE(i);
    if (i < 4 || i > 7) {
      EXPECT_EQ(d.taps[i].gain, 0);
      continue;
    }
    const double x = i - 4;
    EXPECT_FLOAT_EQ(d.taps[i].gain, -0.2f);
    EXPECT_EQ(delay_of(d.taps[i]), echo_samples(4.0 - (x + (x / 3) * (x / 3)) * 2 / 4));
  }
  // The range is clamped, and a last below the first is the first.
  EngineDescription e;
  sound::pipe_model(e, 1, 1, 0, 0, 15);
  sound::pipe_model(e, 3.0f, 3.0f, -1.0f, 20, 2);
  EXPECT_EQ(e.taps[15].gain, -1.0f);
  EXPECT_EQ(delay_of(e.taps[15]), echo_samples(3.0));
  EXPECT_EQ(e.taps[14].gain, 0);
  // A pipe longer than the ring still points inside it.
  sound::pipe_model(e, 1e6f, 1e6f, -1.0f, 0, 0);
  EXPECT_GT(e.taps[0].offset, 0);
  EXPECT_LE(e.taps[0].offset, kVoiceSamples);
}

TEST_F(BraapTest, PipeLines) {
  struct Case {
    const char* text;
    std::vector<std::tuple<int, int, float>> taps;  // tap, delay, gain
    int sounding;                                   // taps with a gain
  } cases[] = {
      // Only tap 3 sounds; the reset silenced the rest.
      {"pipe 2 1 -0.5 3 3\n", {{3, 155, -0.5f}}, 1},
      // Values not given are 5.0 0.918 -0.85 0 15 for that line: all 16 taps, -0.85 / 16.
      {"pipe 2 1\n",
       {{0, echo_samples(2), -0.85f / 16}, {15, echo_samples(2 - 16.0 / 16), -0.85f / 16}},
       16},
      // Several lines for different ranges; comments and unknown lines are ignored.
      {"# an engine\nwheelie 3\npipe 2 1 -0.5 3 3 # the header\npipe 3 3 -0.25 9 9\n",
       {{3, 155, -0.5f}, {9, echo_samples(3), -0.25f}},
       2},
      // A pipe line is matched at the start of its line only, and needs a number.
      {"  pipe 2 1 -0.5 3 3\npipe\npipes 1 2\n# pipe 2 1\n", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const EngineDescription d = voice_from(c.text);
    int sounding = 0;
    for (const sound::PipeTap& tap : d.taps) sounding += tap.gain != 0;
    EXPECT_EQ(sounding, c.sounding);
    for (const auto& [tap, delay, gain] : c.taps) {
      EXPECT_EQ(delay_of(d.taps[tap]), delay) << "tap " << tap;
      EXPECT_FLOAT_EQ(d.taps[tap].gain, gain) << "tap " << tap;
    }
  }
}

TEST_F(BraapTest, NumberAndListLines) {
  std::string hundred_and_one = "bias";
  for (int i = 0; i < 101; ++i) hundred_and_one += " " + std::to_string(i);
  struct Case {
    std::string text;
    float min_rpm, low, high;
    std::vector<float> bias, scale;
  } cases[] = {
      {"minrpm 800\nlowtorque -4\nhightorque 20\n", 800, -4, 20, {0}, {1}},
      // Indented lists count; a list runs until a value does not parse.
      {"  bias 10 -10 5\n\tscale 1.02 0.98 x 3\n", 1000, -2.5f, 2.5f, {10, -10, 5}, {1.02f, 0.98f}},
      // The keyword must stand alone; an empty list becomes the neutral one.
      {"biased 1 2\nscale\nminrpm x\n lowtorque 3\n", 1000, -2.5f, 2.5f, {0}, {1}},
      {hundred_and_one + "\n", 1000, -2.5f, 2.5f, {}, {1}},
  };
  for (int n = 0; n < 100; ++n) cases[3].bias.push_back(static_cast<float>(n));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const EngineDescription d = voice_from(c.text);
    EXPECT_EQ(d.min_rpm, c.min_rpm);
    EXPECT_EQ(d.low_torque, c.low);
    EXPECT_EQ(d.high_torque, c.high);
    EXPECT_EQ(std::vector<float>(d.bias, d.bias + d.bias_count), c.bias);
    EXPECT_EQ(std::vector<float>(d.scale, d.scale + d.scale_count), c.scale);
  }
}

TEST_F(BraapTest, SoundTableLines) {
  write_table("t1.tab");
  // The name is trimmed; the table is read once and shared.
  const EngineDescription a = voice_from("soundtable   @t1.tab  \r\n");
  ASSERT_NE(a.table, nullptr);
  EXPECT_EQ(a.table->name, "@t1.tab");
  EXPECT_EQ(sound::sound_table("@t1.tab"), a.table);
  const EngineDescription b = voice_from("\tsoundtable @t1.tab\n");
  EXPECT_EQ(b.table, a.table);

  // A table that does not read says so and leaves the table before it.
  platform::messages_clear();
  const EngineDescription c = voice_from("soundtable @missing.tab\n");
  EXPECT_EQ(last_message(), "Error reading '@missing.tab'");
  EXPECT_EQ(c.table, sound::default_engine(sound::kDefaultFourStroke).table);
  const EngineDescription e = voice_from("soundtable @t1.tab\nsoundtable @missing.tab\n");
  EXPECT_EQ(e.table, a.table);
}

TEST(BraapSearch, CandidatesFromATextureName) {
  struct Case {
    const char* base;
    std::vector<std::string> names;
  } cases[] = {
      {"@crf250-alt1.png", {"@crf250-alt1.braap", "@crf250.braap"}},
      {"@kx-250-blue.png.scram", {"@kx-250-blue.png.braap", "@kx-250.braap", "@kx.braap"}},
      // Only the file name's dots and dashes count.
      {"bikes/moto-x.v2/crf250.png", {"bikes/moto-x.v2/crf250.braap"}},
      {"@plain", {}},
      {"@no-dot", {"@no.braap"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sound::braap_candidates(c.base), c.names) << c.base;
  }
}

// A bike's variant texture finds the variant's .braap first, then the model's, then the
// class's; a class with no file at all sounds as the built-in default with its pipe.
TEST_F(BraapTest, SearchOrder) {
  home.write("default250f.braap", "minrpm 1\n");
  home.write("crf250.braap", "minrpm 2\n");
  home.write("crf250-alt1.braap", "minrpm 3\n");
  struct Case {
    const char* base;
    const char* class_default;
    float min_rpm;
  } cases[] = {
      {"@crf250-alt1.png", "@default250f.braap", 3},
      {"@crf250-alt2.png", "@default250f.braap", 2},
      {"@yz250f.png", "@default250f.braap", 1},
      {nullptr, "@default250f.braap", 1},
      {"@yz250f.png", nullptr, 1000},
      {"@yz250f.png", "@default_nowhere.braap", 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base ? c.base : "no base");
    sound::EngineVoice* v = sound::engine_voice_create(nullptr, "250f", c.base, c.class_default);
    EXPECT_EQ(v->description.min_rpm, c.min_rpm);
    sound::engine_voice_free(v);
  }
  // No file: the four-stroke default unchanged, pipe (5.0, 0.918, -0.85, 0, 15) included.
  sound::EngineVoice* v = sound::engine_voice_create(nullptr, "250f", "@yz250f.png", nullptr);
  const EngineDescription& four = sound::default_engine(sound::kDefaultFourStroke);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(v->description.taps[i].offset, four.taps[i].offset);
    EXPECT_FLOAT_EQ(v->description.taps[i].gain, -0.85f / 16);
  }
  EXPECT_EQ(delay_of(four.taps[0]), echo_samples(5.0));
  EXPECT_EQ(v->handle, nullptr);
  EXPECT_EQ(v->write, 11025);
  EXPECT_EQ(v->firing_hz, 10);
  EXPECT_EQ(v->last_rpm, 1000);
  sound::engine_voice_free(v);
}

}  // namespace
