// sound_table.cpp -- sound tables and their samples, read once per run and shared by name.
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "sound/sound_internal.h"

namespace sound {

namespace {

// Never freed: voices point into them for the whole run. std::map keeps each entry where it
// was made, so those pointers stay good as the caches grow.
std::map<std::string, std::vector<float>>& sample_cache() {
  static auto* cache = new std::map<std::string, std::vector<float>>;
  return *cache;
}

std::map<std::string, std::unique_ptr<SoundTable>>& table_cache() {
  static auto* cache = new std::map<std::string, std::unique_ptr<SoundTable>>;
  return *cache;
}

// A cycle count as the table gives it ("%f"), as a whole number of at least 1.
int whole_cycles(float value) {
  if (!(value >= 1)) return 1;
  if (value > 1e9f) return 1000000000;
  return static_cast<int>(value);
}

// Reads the table body; false after the message of what failed.
bool read_table(data::DataStream* stream, SoundTable& table) {
  int rows = 0, columns = 0;
  if (data::ds_scanf(stream, "SOUNDTABLE %d %d", &rows, &columns) != 2 || rows < 1 || columns < 1) {
    return false;
  }
  // Sizes come from the file: grow as values arrive rather than trusting them up front.
  std::vector<float> rpm, load;
  for (int r = 0; r < rows; ++r) {
    float v = 0;
    if (data::ds_scanf(stream, " %f", &v) != 1) return false;
    rpm.push_back(v);
  }
  for (int c = 0; c < columns; ++c) {
    float v = 0;
    if (data::ds_scanf(stream, " %f", &v) != 1) return false;
    load.push_back(v);
  }
  table.rows = rows;
  table.columns = columns;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      SoundCell cell;
      cell.rpm = rpm[static_cast<std::size_t>(r)];
      cell.load = load[static_cast<std::size_t>(c)];
      for (;;) {
        int entry = 0;
        if (data::ds_scanf(stream, " %d", &entry) != 1) {
          platform::messagef("(%d, %d) Bad remap entry", r, c);
          return false;
        }
        if (entry == -1) break;
        cell.remap.push_back(entry);
      }
      float cycles = 0;
      char sample_name[1024] = "";
      const int got = data::ds_scanf(stream, " %f %1023s", &cycles, sample_name);
      const std::vector<float>* sample = got == 2 ? engine_sample(sample_name) : nullptr;
      if (!sample) {
        platform::messagef("(%d, %d) Error reading '%.512s'", r, c, sample_name);
        return false;
      }
      cell.cycles = whole_cycles(cycles);
      // Reduced into 0..cycles-1, negative entries included, so a grain always starts inside
      // its sample.
      for (int& entry : cell.remap) entry = ((entry % cell.cycles) + cell.cycles) % cell.cycles;
      cell.sample = sample->data();
      cell.length = static_cast<int>(sample->size());
      table.cells.push_back(std::move(cell));
    }
  }
  return true;
}

}  // namespace

const std::vector<float>* engine_sample(const char* name) {
  auto& cache = sample_cache();
  if (auto found = cache.find(name); found != cache.end()) return &found->second;
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return nullptr;
  std::vector<float> values;
  unsigned char block[8192];
  int carry = -1;  // the low byte of a value split between two reads
  while (const std::size_t got = data::ds_read(stream, block, sizeof block)) {
    std::size_t i = 0;
    if (carry >= 0) {
      values.push_back(static_cast<std::int16_t>(carry | block[0] << 8) / 32768.0f);
      carry = -1;
      i = 1;
    }
    for (; i + 1 < got; i += 2) {
      values.push_back(static_cast<std::int16_t>(block[i] | block[i + 1] << 8) / 32768.0f);
    }
    if (i < got) carry = block[i];
  }
  data::close_data(stream);
  // An odd last byte is not a value.
  if (values.empty()) return nullptr;
  if (values.size() > static_cast<std::size_t>(1) << 30) return nullptr;
  return &cache.emplace(name, std::move(values)).first->second;
}

const SoundTable* sound_table(const char* name) {
  auto& cache = table_cache();
  if (auto found = cache.find(name); found != cache.end()) return found->second.get();
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return nullptr;
  auto table = std::make_unique<SoundTable>();
  table->name = name;
  const bool read = read_table(stream, *table);
  data::close_data(stream);
  if (!read) return nullptr;
  return cache.emplace(name, std::move(table)).first->second.get();
}

// The built-in tables: one row, two columns (load 0 quieter by a quarter, load 1 the
// waveform), one cycle each.
const SoundTable* builtin_table(const char* name, const std::vector<float>& waveform) {
  auto& samples = sample_cache();
  const std::string quiet_name = std::string(name) + "#load0";
  std::vector<float> quiet(waveform);
  for (float& v : quiet) v *= 0.25f;
  const std::vector<float>& loud = samples.emplace(name, waveform).first->second;
  const std::vector<float>& soft = samples.emplace(quiet_name, std::move(quiet)).first->second;
  auto table = std::make_unique<SoundTable>();
  table->name = name;
  table->rows = 1;
  table->columns = 2;
  for (int c = 0; c < 2; ++c) {
    SoundCell cell;
    const std::vector<float>& s = c == 0 ? soft : loud;
    cell.sample = s.data();
    cell.length = static_cast<int>(s.size());
    cell.cycles = 1;
    cell.load = static_cast<float>(c);
    table->cells.push_back(std::move(cell));
  }
  return table_cache().emplace(name, std::move(table)).first->second.get();
}

}  // namespace sound
