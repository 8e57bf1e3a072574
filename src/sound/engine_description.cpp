// engine_description.cpp -- engine descriptions: the built-in defaults, the pipe model and the
// .braap reader.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "sound/sound_internal.h"

namespace sound {

namespace {

constexpr int kWaveformLength = 1024;

std::vector<float> four_stroke_waveform() {
  std::vector<float> y(kWaveformLength);
  for (int i = 0; i < kWaveformLength; ++i) {
    const double x = i / 1023.0;
    double v = (std::fabs(std::sin(3 * std::numbers::pi * x + 0.5246)) - 0.5) * 0.5;
    if (x < 0.25) v += std::sin(16 * std::numbers::pi * x) * (1 - 4 * x);
    y[static_cast<std::size_t>(i)] = static_cast<float>(v);
  }
  return y;
}

std::vector<float> two_stroke_waveform() {
  std::vector<float> y(kWaveformLength);
  for (int i = 0; i < kWaveformLength; ++i) {
    const double x = i / 1023.0;
    y[static_cast<std::size_t>(i)] =
        x < 0.25 ? static_cast<float>(std::sin(8 * std::numbers::pi * x) * (1 - 4 * x)) : 0.0f;
  }
  return y;
}

// A built-in engine: its table, firings per turn, the torque (ft·lbf, either way) that maps
// to full load, the closed-throttle level and its pipe.
EngineDescription builtin_engine(const SoundTable* table, float pulses_per_rev, float torque,
                                 float closed_level, float length_one, float length_two,
                                 float gain) {
  EngineDescription d;
  d.table = table;
  d.pulses_per_rev = pulses_per_rev;
  d.low_torque = -torque;
  d.high_torque = torque;
  d.closed_level = closed_level;
  d.full_level = 1.0f;
  d.min_rpm = 1000;
  pipe_model(d, length_one, length_two, gain, 0, kPipeTaps - 1);
  return d;
}

struct Defaults {
  EngineDescription engines[3];
  Defaults() {
    engines[kDefaultFourStroke] =
        builtin_engine(builtin_table("default_four_stroke", four_stroke_waveform()), 0.5f, 2.5f,
                       0.5f, 5.0f, 0.9182072f, -0.85f);
    engines[kDefaultTwoStroke] =
        builtin_engine(builtin_table("default_two_stroke", two_stroke_waveform()), 1.0f, 3.5f,
                       0.75f, 1.75f, 0.3f, -0.75f);
    engines[kDefault50cc] = engines[kDefaultTwoStroke];
    engines[kDefault50cc].high_torque = 1.5f;
  }
};

// The keyword at the start of a line, blanks before it allowed, followed by white space or the
// line's end: the rest of the line after it, else nullptr.
const char* after_keyword(const char* line, const char* keyword) {
  while (*line == ' ' || *line == '\t') ++line;
  const std::size_t n = std::strlen(keyword);
  if (std::strncmp(line, keyword, n) != 0) return nullptr;
  const char next = line[n];
  if (next != '\0' && next != ' ' && next != '\t' && next != '\n' && next != '\r' && next != '\v' &&
      next != '\f') {
    return nullptr;
  }
  return line + n;
}

// Up to kMaxListValues numbers, read until one does not parse.
int number_list(const char* text, float* values) {
  data::TextStream text_stream(text);
  data::DataStream* stream = text_stream.stream();
  int count = 0;
  while (stream && count < kMaxListValues && data::ds_scanf(stream, " %f", &values[count]) == 1) {
    ++count;
  }
  return count;
}

std::string trimmed(const char* text) {
  std::string s = text;
  const char* blanks = " \t\r\n\v\f";
  s.erase(0, s.find_first_not_of(blanks));
  const std::size_t end = s.find_last_not_of(blanks);
  s.erase(end == std::string::npos ? 0 : end + 1);
  return s;
}

void read_line(char* line, EngineDescription& d) {
  if (char* hash = std::strchr(line, '#')) *hash = '\0';
  float l1 = 5.0f, l2 = 0.918f, gain = -0.85f;
  int first = 0, last = 15;
  float value = 0;
  if (data::scan_text(line, "pipe %f %f %f %d %d", &l1, &l2, &gain, &first, &last) >= 1) {
    pipe_model(d, l1, l2, gain, first, last);
  } else if (data::scan_text(line, "minrpm %f", &value) == 1) {
    d.min_rpm = value;
  } else if (data::scan_text(line, "lowtorque %f", &value) == 1) {
    d.low_torque = value;
  } else if (data::scan_text(line, "hightorque %f", &value) == 1) {
    d.high_torque = value;
  } else if (const char* rest = after_keyword(line, "bias")) {
    d.bias_count = number_list(rest, d.bias);
  } else if (const char* rest = after_keyword(line, "scale")) {
    d.scale_count = number_list(rest, d.scale);
  } else if (const char* rest = after_keyword(line, "soundtable")) {
    const std::string name = trimmed(rest);
    if (const SoundTable* table = sound_table(name.c_str())) {
      d.table = table;
    } else {
      platform::messagef("Error reading '%.512s'", name.c_str());
    }
  }
}

}  // namespace

void pipe_model(EngineDescription& d, float length_one, float length_two, float gain, int first,
                int last) {
  first = std::clamp(first, 0, kPipeTaps - 1);
  last = std::clamp(last, first, kPipeTaps - 1);
  const float m = std::min(length_one, length_two);
  const int n = last - first + 1;
  const int span = last - first;
  for (int i = first; i <= last; ++i) {
    const float x = static_cast<float>(i - first);
    float length = length_one;
    if (span > 0) {
      const float r = x / static_cast<float>(span);
      length = length_one - (x + r * r) * m / static_cast<float>(n);
    }
    double delay = std::round(2.0 * length * kOutputRate / kSpeedOfSound);
    // A pipe longer than the ring (or nonsense from a file) still reads inside the ring.
    if (!std::isfinite(delay)) delay = 0;
    delay = std::fmod(delay, static_cast<double>(kVoiceSamples));
    if (delay < 0) delay += kVoiceSamples;
    d.taps[i].offset = kVoiceSamples - static_cast<int>(delay);
    d.taps[i].gain = gain / static_cast<float>(n);
  }
}

const EngineDescription& default_engine(DefaultEngine which) {
  static const Defaults* defaults = new Defaults;
  return defaults->engines[which];
}

const EngineDescription& class_default_engine(const char* bike_class) {
  if (!bike_class) return default_engine(kDefaultFourStroke);
  if (std::strcmp(bike_class, "50") == 0) return default_engine(kDefault50cc);
  const std::size_t n = std::strlen(bike_class);
  if (n > 0 && bike_class[n - 1] == 'f') return default_engine(kDefaultFourStroke);
  return default_engine(kDefaultTwoStroke);
}

bool read_engine_description(const char* name, EngineDescription& d) {
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return false;
  // Only the pipe lines of the file sound: every tap is silent until one sets it.
  pipe_model(d, 1.0f, 1.0f, 0, 0, kPipeTaps - 1);
  char line[1024];
  while (data::ds_read_line(stream, line, sizeof line)) read_line(line, d);
  data::close_data(stream);
  return true;
}

std::vector<std::string> braap_candidates(const char* base_name) {
  std::vector<std::string> names;
  if (!base_name || !*base_name) return names;
  std::string name = base_name;
  auto file_start = [&]() {
    const std::size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
  };
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot >= file_start()) {
    name.replace(dot, std::string::npos, ".braap");
    names.push_back(name);
  }
  for (;;) {
    const std::size_t dash = name.find_last_of('-');
    if (dash == std::string::npos || dash < file_start()) break;
    name.replace(dash, std::string::npos, ".braap");
    names.push_back(name);
  }
  return names;
}

}  // namespace sound
