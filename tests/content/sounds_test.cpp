// sounds_test.cpp -- the generated engine sounds: descriptions, sound tables and samples read
// to their formats, cover each class's engine, and sound different from class to class.
//
// The game's engine voice reads these files; until it exists here, the test
// reads them itself by the rules of the format and plays them through a
// voice made the same way (one recorded cycle per firing, four cells
// cross-faded, the pipe's echoes fed back) to listen to them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "content/generated_data.h"
#include "data/data.h"
#include "shell/catalogue.h"
#include "sim/sim.h"

namespace {

constexpr double kRate = 44100;
constexpr double kSpeedOfSound = 1140.63;  // ft/s
constexpr int kRing = 32768;

struct Tap {
  int delay = 0;  // samples
  float gain = 0;
};

// What a .braap file says.
struct Description {
  std::string table;
  float min_rpm = 1000, low_torque = 0, high_torque = 0;
  bool has_low = false, has_high = false;
  int pipe_lines = 0;
  Tap taps[16];
  std::vector<float> bias, scale;
};

struct Cell {
  std::vector<int> remap;
  int cycles = 0;
  std::string sample_name;
  std::vector<float> sample;  // -1..1
};

struct SoundTable {
  std::vector<float> rpm, load;
  std::vector<Cell> cells;  // row-major
  const Cell& at(int row, int column) const { return cells[row * load.size() + column]; }
};

void pipe_model(Description& d, float l1, float l2, float gain, int first, int last) {
  first = std::clamp(first, 0, 15);
  last = std::clamp(last, first, 15);
  const float m = std::min(l1, l2);
  const int n = last - first + 1;
  for (int i = first; i <= last; ++i) {
    const float x = static_cast<float>(i - first), span = static_cast<float>(last - first);
    const float length = span > 0 ? l1 - (x + (x / span) * (x / span)) * m / n : l1;
    d.taps[i].delay = static_cast<int>(std::lround(2 * length * kRate / kSpeedOfSound));
    d.taps[i].gain = gain / n;
  }
}

// Numbers after a keyword, read until one does not parse.
std::vector<float> number_list(const char* text) {
  std::vector<float> values;
  const char* p = text;
  while (values.size() < 100) {
    char* end = nullptr;
    const float v = std::strtof(p, &end);
    if (end == p) break;
    values.push_back(v);
    p = end;
  }
  return values;
}

// The keyword at the start of a line (after blanks), followed by white space or the line's end.
const char* after_keyword(const char* line, const char* keyword) {
  while (*line == ' ' || *line == '\t') ++line;
  const std::size_t n = std::strlen(keyword);
  if (std::strncmp(line, keyword, n) != 0) return nullptr;
  const char next = line[n];
  if (next != '\0' && next != ' ' && next != '\t' && next != '\n' && next != '\r') return nullptr;
  return line + n;
}

::testing::AssertionResult read_description(const char* name, Description& d) {
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return ::testing::AssertionFailure() << name << " does not open";
  pipe_model(d, 1, 1, 0, 0, 15);  // every tap silent until a pipe line sets it
  char line[1024];
  while (data::ds_read_line(stream, line, sizeof line)) {
    if (char* hash = std::strchr(line, '#')) *hash = '\0';
    float l1 = 5.0f, l2 = 0.918f, gain = -0.85f;
    int first = 0, last = 15;
    float value = 0;
    if (data::scan_text(line, "pipe %f %f %f %d %d", &l1, &l2, &gain, &first, &last) >= 1) {
      pipe_model(d, l1, l2, gain, first, last);
      ++d.pipe_lines;
    } else if (data::scan_text(line, "minrpm %f", &value) == 1) {
      d.min_rpm = value;
    } else if (data::scan_text(line, "lowtorque %f", &value) == 1) {
      d.low_torque = value;
      d.has_low = true;
    } else if (data::scan_text(line, "hightorque %f", &value) == 1) {
      d.high_torque = value;
      d.has_high = true;
    } else if (const char* rest = after_keyword(line, "bias")) {
      d.bias = number_list(rest);
    } else if (const char* rest = after_keyword(line, "scale")) {
      d.scale = number_list(rest);
    } else if (const char* rest = after_keyword(line, "soundtable")) {
      std::string table = rest;
      table.erase(0, table.find_first_not_of(" \t\r\n"));
      table.erase(table.find_last_not_of(" \t\r\n") + 1);
      d.table = table;
    }
  }
  data::close_data(stream);
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult read_sample(const std::string& name, std::vector<float>& values) {
  data::DataStream* stream = data::open_data(name.c_str(), "rb");
  if (!stream) return ::testing::AssertionFailure() << name << " does not open";
  std::vector<unsigned char> bytes;
  unsigned char block[4096];
  while (const std::size_t got = data::ds_read(stream, block, sizeof block)) {
    bytes.insert(bytes.end(), block, block + got);
  }
  data::close_data(stream);
  if (bytes.size() % 2) return ::testing::AssertionFailure() << name << ": an odd byte count";
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto v = static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8);
    values.push_back(v / 32768.0f);
  }
  if (values.empty()) return ::testing::AssertionFailure() << name << " is empty";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult read_table(const std::string& name, SoundTable& table) {
  data::DataStream* stream = data::open_data(name.c_str(), "rb");
  if (!stream) return ::testing::AssertionFailure() << name << " does not open";
  int rows = 0, columns = 0;
  auto fail = [&](const std::string& why) {
    data::close_data(stream);
    return ::testing::AssertionFailure() << name << ": " << why;
  };
  if (data::ds_scanf(stream, " SOUNDTABLE %d %d", &rows, &columns) != 2 || rows < 1 ||
      columns < 1) {
    return fail("no SOUNDTABLE header");
  }
  table.rpm.resize(rows);
  table.load.resize(columns);
  for (float& v : table.rpm) {
    if (data::ds_scanf(stream, " %f", &v) != 1) return fail("short of row speeds");
  }
  for (float& v : table.load) {
    if (data::ds_scanf(stream, " %f", &v) != 1) return fail("short of column loads");
  }
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      Cell cell;
      for (;;) {
        int entry = 0;
        if (data::ds_scanf(stream, " %d", &entry) != 1) {
          return fail("(" + std::to_string(r) + ", " + std::to_string(c) + ") bad remap entry");
        }
        if (entry == -1) break;
        cell.remap.push_back(entry);
      }
      float cycles = 0;
      char sample[1024] = "";
      if (data::ds_scanf(stream, " %f %1023s", &cycles, sample) != 2) return fail("a short cell");
      cell.cycles = std::max(1, static_cast<int>(cycles));
      cell.sample_name = sample;
      table.cells.push_back(std::move(cell));
    }
  }
  data::close_data(stream);
  for (Cell& cell : table.cells) {
    const auto read = read_sample(cell.sample_name, cell.sample);
    if (!read) return read;
  }
  return ::testing::AssertionSuccess();
}

// The engine voice: a firing starts one recorded cycle of the four cells
// round the engine's speed and load, stretched over the firing period; the
// pipe's taps feed the output back.
std::vector<float> play(const Description& d, const SoundTable& table, float pulses_per_turn,
                        float rpm, float load, int count) {
  std::vector<float> history(kRing, 0.0f), out;
  struct Grain {
    const Cell* cell = nullptr;
    float gain = 0;
    long position = 0, step = 0;  // 1/1024 sample
  } grains[4];
  double frequency = 10;
  long phase = 0;
  int cycle = 0, write = 0;
  const int rows = static_cast<int>(table.rpm.size()),
            columns = static_cast<int>(table.load.size());
  for (int k = 0; k < count; ++k) {
    float sum = 0;
    for (const Tap& tap : d.taps) sum += tap.gain * history[(write - tap.delay + kRing) % kRing];
    for (Grain& g : grains) {
      if (!g.cell) continue;
      const long last = static_cast<long>(g.cell->sample.size()) - 1;
      sum += g.gain * g.cell->sample[std::min(g.position / 1024, last)];
      g.position += g.step;
    }
    sum = std::clamp(sum, -16.0f, 16.0f);
    history[write] = sum;
    out.push_back(sum);
    phase += std::lround(frequency / kRate * 16777216.0);
    if (phase > 16777215) {
      phase -= 16777216;
      const float bias = d.bias.empty() ? 0 : d.bias[cycle % d.bias.size()];
      const float scale = d.scale.empty() ? 1 : d.scale[cycle % d.scale.size()];
      const float s = std::max(scale * (bias + rpm), d.min_rpm);
      frequency = std::max(5.0, s * pulses_per_turn / 60.0);
      int above = 0;
      while (above < rows && table.rpm[above] <= s) ++above;
      const int f = std::clamp(above - 1, 0, rows - 1), g = std::clamp(above, 0, rows - 1);
      int right = 0;
      while (right < columns && table.load[right] <= load) ++right;
      const int i = std::clamp(right - 1, 0, columns - 1), j = std::clamp(right, 0, columns - 1);
      const float u =
          f == g ? 1 : std::clamp((s - table.rpm[f]) / (table.rpm[g] - table.rpm[f]), 0.0f, 1.0f);
      const float t =
          i == j ? 1
                 : std::clamp((load - table.load[i]) / (table.load[j] - table.load[i]), 0.0f, 1.0f);
      const int cells[4][2] = {{f, i}, {g, i}, {f, j}, {g, j}};
      const float gains[4] = {(1 - u) * (1 - t), u * (1 - t), t * (1 - u), u * t};
      for (int n = 0; n < 4; ++n) {
        Grain& grain = grains[n];
        grain.cell = &table.at(cells[n][0], cells[n][1]);
        grain.gain = gains[n];
        const double per_cycle =
            static_cast<double>(grain.cell->sample.size()) / grain.cell->cycles;
        int recorded = cycle;
        if (!grain.cell->remap.empty())
          recorded = grain.cell->remap[cycle % grain.cell->remap.size()];
        recorded %= grain.cell->cycles;
        grain.position = static_cast<long>(std::floor(per_cycle * recorded)) * 1024;
        grain.step = static_cast<long>(std::floor(frequency / kRate * per_cycle * 1024));
      }
      ++cycle;
    }
    write = (write + 1) % kRing;
  }
  return out;
}

// The power-weighted mean frequency (Hz) of a Hann-windowed stretch, up to 11 kHz.
double spectral_centroid(const std::vector<float>& x) {
  const int n = static_cast<int>(x.size());
  std::vector<double> windowed(n);
  for (int i = 0; i < n; ++i) {
    windowed[i] = x[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1)));
  }
  double weighted = 0, total = 0;
  for (int bin = 1; bin < n / 4; ++bin) {
    // Goertzel: the power of one frequency bin.
    const double w = 2 * std::numbers::pi * bin / n, coefficient = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (double v : windowed) {
      const double s0 = v + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    weighted += power * bin * kRate / n;
    total += power;
  }
  return total > 0 ? weighted / total : 0;
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

class EngineSoundTest : public generated_data::GeneratedDataTest {
 protected:
  // Reads a class's description and table; false (with failures recorded) when they don't read.
  bool load(const std::string& bike_class, Description& d, SoundTable& table) {
    const char* name = shell::default_engine_sound(bike_class.c_str());
    EXPECT_NE(name, nullptr) << bike_class;
    if (!name) return false;
    const auto description = read_description(name, d);
    EXPECT_TRUE(description);
    if (!description) return false;
    const auto read = read_table(d.table, table);
    EXPECT_TRUE(read) << "the table of " << name;
    return read;
  }
};

TEST_F(EngineSoundTest, EveryClassReadsToTheFormat) {
  long total_bytes = 0;
  for (const auto& [name, info] : catalogue_classes()) {
    SCOPED_TRACE(name);
    Description d;
    SoundTable table;
    if (!load(name, d, table)) continue;
    EXPECT_GE(d.pipe_lines, 1);
    EXPECT_TRUE(d.has_low && d.has_high);
    EXPECT_LT(d.low_torque, d.high_torque);
    EXPECT_GE(d.bias.size(), 1u);
    EXPECT_GE(d.scale.size(), 1u);
    for (float s : d.scale) EXPECT_NEAR(s, 1, 0.05);  // jitter, not a different engine
    int live_taps = 0;
    for (const Tap& tap : d.taps) live_taps += tap.gain != 0;
    EXPECT_GT(live_taps, 0);

    ASSERT_GE(table.rpm.size(), 2u);
    EXPECT_TRUE(std::is_sorted(table.rpm.begin(), table.rpm.end()));
    EXPECT_EQ(std::adjacent_find(table.rpm.begin(), table.rpm.end()), table.rpm.end());
    EXPECT_EQ(table.load.front(), 0);
    EXPECT_EQ(table.load.back(), 1);
    EXPECT_TRUE(std::is_sorted(table.load.begin(), table.load.end()));
    std::set<std::string> samples;
    for (const Cell& cell : table.cells) {
      samples.insert(cell.sample_name);
      total_bytes += static_cast<long>(cell.sample.size()) * 2;
      EXPECT_EQ(cell.sample.size() % cell.cycles, 0u) << cell.sample_name;
      for (int entry : cell.remap) {
        EXPECT_GE(entry, 0) << cell.sample_name;
        EXPECT_LT(entry, cell.cycles) << cell.sample_name;
      }
      // Audible and unclipped.
      float peak = 0;
      for (float v : cell.sample) peak = std::max(peak, std::fabs(v));
      EXPECT_GT(peak, 0.02f) << cell.sample_name;
      EXPECT_LT(peak, 0.99f) << cell.sample_name;
    }
    EXPECT_EQ(samples.size(), table.cells.size()) << "every cell its own sample";
  }
  EXPECT_LT(total_bytes, 4L << 20) << "engine samples, all classes";
}

// The table spans every bike of the class from idle to the rev limiter, one
// recorded cycle is one firing at its row's speed, and the torque range puts
// wide open throttle at full load.
TEST_F(EngineSoundTest, TablesFitTheirClassesEngines) {
  for (const auto& [name, info] : catalogue_classes()) {
    SCOPED_TRACE(name);
    Description d;
    SoundTable table;
    if (!load(name, d, table)) continue;
    EXPECT_LE(table.rpm.front(), info.lowest_idle);
    EXPECT_GE(table.rpm.back(), info.highest_limit);
    EXPECT_LE(d.min_rpm, info.lowest_idle);
    EXPECT_LE(d.low_torque, 0);
    EXPECT_GT(d.high_torque, 0.8f * info.peak_torque);
    EXPECT_LT(d.high_torque, 1.25f * info.peak_torque);
    for (std::size_t r = 0; r < table.rpm.size(); ++r) {
      const double firing_period = kRate * 60 / (table.rpm[r] * info.pulses_per_turn);
      for (std::size_t c = 0; c < table.load.size(); ++c) {
        const Cell& cell = table.at(static_cast<int>(r), static_cast<int>(c));
        EXPECT_NEAR(static_cast<double>(cell.sample.size()) / cell.cycles, firing_period, 1.0)
            << cell.sample_name;
      }
    }
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
    Description d;
    SoundTable table;
    if (!load(name, d, table)) continue;
    const int settle = 4410, length = 16384;
    auto steady = [&](float rpm, float load) {
      std::vector<float> out = play(d, table, info.pulses_per_turn, rpm, load, settle + length);
      return std::vector<float>(out.begin() + settle, out.end());
    };
    const std::vector<float> open = steady(7000, 1);
    const std::vector<float> closed = steady(7000, 0);
    const std::vector<float> low = steady(3500, 1);
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
