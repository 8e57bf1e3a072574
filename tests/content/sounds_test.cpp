// sounds_test.cpp -- the generated engine sounds: descriptions, sound tables and samples read
// to their formats, cover each class's engine, and sound different from class to class.
//
// The files are read by the game's own engine sound and played through its engine voice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "content/generated_data.h"
#include "data/data.h"
#include "shell/catalogue.h"
#include "sim/sim.h"
#include "sound/sound.h"
#include "support/test_support.h"

namespace {

constexpr double kRate = 44100;

// The voice a bike of the class gets from its class's file; nullptr (with a failure) when the
// file is not there.
sound::EngineVoice* class_voice(const std::string& bike_class) {
  const char* name = shell::default_engine_sound(bike_class.c_str());
  EXPECT_NE(name, nullptr) << bike_class;
  if (!name) return nullptr;
  data::DataStream* stream = data::open_data(name, "rb");
  EXPECT_NE(stream, nullptr) << name << " does not open";
  if (!stream) return nullptr;
  data::close_data(stream);
  return sound::engine_voice_create(nullptr, bike_class.c_str(), nullptr, name);
}

// The voice's steady output at an engine speed and a load of its torque range.
std::vector<float> play(sound::EngineVoice& voice, float rpm, float load, int count) {
  const sound::EngineDescription& d = voice.description;
  sound::EngineInputs in;
  in.rpm = rpm;
  in.torque = d.low_torque + load * (d.high_torque - d.low_torque);
  in.throttle = load;
  voice.last_rpm = rpm;
  std::vector<float> out;
  while (static_cast<int>(out.size()) < count) {
    const int n = std::min(sound::kMaxRenderSamples, count - static_cast<int>(out.size()));
    const int start = voice.write;
    sound::engine_voice_synthesise(voice, in, n);
    for (int k = 0; k < n; ++k) out.push_back(voice.history[(start + k) % sound::kVoiceSamples]);
  }
  return out;
}

// The power-weighted mean frequency (Hz) of a stretch, up to 11 kHz.
double spectral_centroid(const std::vector<float>& x) {
  return test_support::spectral_centroid(std::vector<double>(x.begin(), x.end()), kRate, 11025);
}

// The firing rate (Hz): the strongest repetition of the loudness envelope, 10 to 400 Hz.
double firing_rate(const std::vector<float>& x) {
  std::vector<double> envelope(x.size());
  double level = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    level += (std::fabs(x[i]) - level) * 0.02;  // about a third of a millisecond
    envelope[i] = level;
  }
  double mean = 0;
  for (double v : envelope) mean += v;
  mean /= static_cast<double>(envelope.size());
  for (double& v : envelope) v -= mean;
  const int shortest = static_cast<int>(kRate / 400), longest = static_cast<int>(kRate / 10);
  std::vector<double> correlation(longest + 2, 0.0);
  for (int lag = shortest - 1; lag <= longest + 1; ++lag) {
    double sum = 0;
    for (std::size_t i = 0; i + lag < envelope.size(); ++i) sum += envelope[i] * envelope[i + lag];
    correlation[lag] = sum / static_cast<double>(envelope.size() - lag);
  }
  const double strongest = *std::max_element(correlation.begin() + shortest, correlation.end() - 1);
  // The first peak nearly as strong as the strongest: the period rather than a multiple of it
  // (the recorded cycles and the rpm jitter repeat over several firings).
  int best_lag = 0;
  for (int lag = shortest; lag <= longest && !best_lag; ++lag) {
    if (correlation[lag] >= 0.8 * strongest && correlation[lag] >= correlation[lag - 1] &&
        correlation[lag] >= correlation[lag + 1]) {
      best_lag = lag;
    }
  }
  return best_lag ? kRate / best_lag : 0;
}

double rms(const std::vector<float>& x) {
  double sum = 0;
  for (float v : x) sum += static_cast<double>(v) * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

// One engine class as the game's catalogue has it.
struct ClassInfo {
  std::string name;
  float pulses_per_turn;  // firings per crankshaft turn
  float lowest_idle = 1e9f, highest_limit = 0, peak_torque = 0;
};

std::map<std::string, ClassInfo> catalogue_classes() {
  std::map<std::string, ClassInfo> classes;
  for (const sim::BikeInfo* const* bike = shell::bike_catalogue(); *bike; ++bike) {
    const sim::BikeInfo& info = **bike;
    ClassInfo& c = classes[info.bike_class];
    c.name = info.bike_class;
    c.pulses_per_turn = c.name.back() == 'f' ? 0.5f : 1.0f;
    c.lowest_idle = std::min(c.lowest_idle, info.constants.idle_rpm);
    c.highest_limit = std::max(c.highest_limit, info.constants.rev_limit_rpm);
    for (float t : info.constants.full_throttle_torque) c.peak_torque = std::max(c.peak_torque, t);
  }
  return classes;
}

class EngineSoundTest : public generated_data::GeneratedDataTest {};

// Every class's file names a table of its own, sets the torque range and a pipe, and keeps
// its per-cycle variation to jitter.
TEST_F(EngineSoundTest, EveryClassReadsToTheFormat) {
  long total_bytes = 0;
  for (const auto& [name, info] : catalogue_classes()) {
    SCOPED_TRACE(name);
    sound::EngineVoice* voice = class_voice(name);
    if (!voice) continue;
    const sound::EngineDescription& d = voice->description;
    const sound::EngineDescription& fallback = sound::class_default_engine(name.c_str());
    ASSERT_NE(d.table, nullptr);
    EXPECT_NE(d.table, fallback.table) << "the file's table read";
    EXPECT_NE(d.high_torque, fallback.high_torque) << "the file sets the torque range";
    EXPECT_LT(d.low_torque, d.high_torque);
    for (int i = 0; i < d.scale_count; ++i) EXPECT_NEAR(d.scale[i], 1, 0.05);  // jitter only
    int live_taps = 0;
    for (const sound::PipeTap& tap : d.taps) live_taps += tap.gain != 0;
    EXPECT_GT(live_taps, 0);

    const sound::SoundTable& table = *d.table;
    ASSERT_GE(table.rows, 2);
    for (int r = 0; r + 1 < table.rows; ++r) {
      EXPECT_LT(table.cell(r, 0).rpm, table.cell(r + 1, 0).rpm);
    }
    EXPECT_EQ(table.cell(0, 0).load, 0);
    EXPECT_EQ(table.cell(0, table.columns - 1).load, 1);
    std::set<const float*> samples;
    for (const sound::SoundCell& cell : table.cells) {
      samples.insert(cell.sample);
      total_bytes += static_cast<long>(cell.length) * 2;
      EXPECT_EQ(cell.length % cell.cycles, 0);
      // Audible and unclipped.
      float peak = 0;
      for (int i = 0; i < cell.length; ++i) peak = std::max(peak, std::fabs(cell.sample[i]));
      EXPECT_GT(peak, 0.02f);
      EXPECT_LT(peak, 0.99f);
    }
    EXPECT_EQ(samples.size(), table.cells.size()) << "every cell its own sample";
    sound::engine_voice_free(voice);
  }
  EXPECT_LT(total_bytes, 4L << 20) << "engine samples, all classes";
}

// The table spans every bike of the class from idle to the rev limiter, one
// recorded cycle is one firing at its row's speed, and the torque range puts
// wide open throttle at full load.
TEST_F(EngineSoundTest, TablesFitTheirClassesEngines) {
  for (const auto& [name, info] : catalogue_classes()) {
    SCOPED_TRACE(name);
    sound::EngineVoice* voice = class_voice(name);
    if (!voice) continue;
    const sound::EngineDescription& d = voice->description;
    const sound::SoundTable& table = *d.table;
    EXPECT_EQ(d.pulses_per_rev, info.pulses_per_turn);
    EXPECT_LE(table.cell(0, 0).rpm, info.lowest_idle);
    EXPECT_GE(table.cell(table.rows - 1, 0).rpm, info.highest_limit);
    EXPECT_LE(d.min_rpm, info.lowest_idle);
    EXPECT_LE(d.low_torque, 0);
    EXPECT_GT(d.high_torque, 0.8f * info.peak_torque);
    EXPECT_LT(d.high_torque, 1.25f * info.peak_torque);
    for (int r = 0; r < table.rows; ++r) {
      const double firing_period = kRate * 60 / (table.cell(r, 0).rpm * info.pulses_per_turn);
      for (int c = 0; c < table.columns; ++c) {
        const sound::SoundCell& cell = table.cell(r, c);
        EXPECT_NEAR(static_cast<double>(cell.length) / cell.cycles, firing_period, 1.0)
            << r << ", " << c;
      }
    }
    sound::engine_voice_free(voice);
  }
}

// Played at the same engine speed, the classes differ where a listener hears
// it: four-strokes fire half as often as two-strokes, and the brightness of
// the sound (its spectral centroid) climbs from the 450 four-stroke to the
// 250 four-stroke to the 250 two-stroke to the 125. Closing the throttle
// quietens every engine, and the firing rate follows the revs.
TEST_F(EngineSoundTest, ClassesSoundDifferent) {
  const auto classes = catalogue_classes();
  std::map<std::string, double> centroid;
  for (const char* name : {"450f", "250f", "250", "125", "50"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(classes.count(name));
    const ClassInfo& info = classes.at(name);
    sound::EngineVoice* voice = class_voice(name);
    if (!voice) continue;
    const int settle = 4410, length = 16384;
    auto steady = [&](float rpm, float load) {
      std::vector<float> out = play(*voice, rpm, load, settle + length);
      return std::vector<float>(out.begin() + settle, out.end());
    };
    const std::vector<float> open = steady(7000, 1);
    const std::vector<float> closed = steady(7000, 0);
    const std::vector<float> low = steady(3500, 1);
    sound::engine_voice_free(voice);
    centroid[name] = spectral_centroid(open);
    const double rate = firing_rate(open), low_rate = firing_rate(low);
    float peak = 0;
    for (float v : open) peak = std::max(peak, std::fabs(v));
    std::printf(
        "engine %-4s at 7000 rpm: centroid %4.0f Hz, firing %5.1f Hz, rms open %.3f "
        "closed %.3f, peak %.2f\n",
        name, centroid[name], rate, rms(open), rms(closed), peak);
    EXPECT_NEAR(rate, 7000 * info.pulses_per_turn / 60, 7000 * info.pulses_per_turn / 60 * 0.05);
    EXPECT_NEAR(low_rate, 3500 * info.pulses_per_turn / 60,
                3500 * info.pulses_per_turn / 60 * 0.05);
    EXPECT_LT(rms(closed), 0.75 * rms(open));
    EXPECT_LT(rms(open), 0.6) << "the voice would clip";
  }
  const char* const brighter[] = {"450f", "250f", "250", "125"};
  for (int i = 0; i + 1 < 4; ++i) {
    EXPECT_GT(centroid[brighter[i + 1]], 1.15 * centroid[brighter[i]])
        << brighter[i + 1] << " against " << brighter[i];
  }
  EXPECT_GT(centroid["50"], centroid["125"]);
}

}  // namespace
