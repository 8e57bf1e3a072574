// timing_gates.cpp -- the timing_gates file: starting gates, checkpoints and lap sequences.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/track_internal.h"

namespace race {

const char* const kStartGateModel = "@startgate.jm";
const char* const kStartGateTexture = "@startgate.ppm";
const char* const kStartGateShape = "@startgate.shp";

namespace {

// The gate object stands this far behind the rider's start point (ft).
constexpr float kGateObjectSetBack = 3;

bool next_word_is(data::DataStream* stream, const char* word) {
  char token[81];
  return data::ds_scanf(stream, " %80s", token) == 1 && std::strcmp(token, word) == 0;
}

float normalise_yaw(float yaw) {
  using std::numbers::pi;
  if (yaw >= -pi && yaw <= pi) return yaw;
  const double turns = (yaw + pi) / (2 * pi);
  return static_cast<float>((turns - std::floor(turns)) * 2 * pi - pi);
}

// Sets `at_checkpoints` when the section ended at its "checkpoints:" line, which is then
// consumed.
void read_starting_gates(data::DataStream* stream, Track& track, const TrackLoadOptions& options,
                         bool* at_checkpoints) {
  *at_checkpoints = false;
  // The rest of the "startinggate:" line is blank; a gate written on it still counts.
  data::ds_scanf(stream, " ");
  char line[1024];
  while (static_cast<int>(track.starting_gates.size()) < kMaxStartingGates &&
         data::ds_read_line(stream, line, sizeof line)) {
    char word[81];
    if (scan_text(line, " %80s", word) == 1 && std::strcmp(word, "checkpoints:") == 0) {
      *at_checkpoints = true;
      return;
    }
    StartingGate gate;
    char names[3][1024];
    const int got = scan_text(line, " [ %f %f %f ] %f %1023s %1023s %1023s", &gate.x, &gate.y,
                              &gate.z, &gate.yaw, names[0], names[1], names[2]);
    if (got < 4 || !all_finite({gate.x, gate.y, gate.z, gate.yaw})) break;
    gate.yaw = normalise_yaw(gate.yaw);
    StatueSpec spec;
    spec.x = gate.x - kGateObjectSetBack * std::sin(gate.yaw);
    spec.y_offset = gate.y;
    spec.z = gate.z - kGateObjectSetBack * std::cos(gate.yaw);
    spec.yaw = gate.yaw;
    spec.model = got >= 5 ? name_or_none(names[0]) : kStartGateModel;
    spec.texture = got >= 6 ? name_or_none(names[1]) : kStartGateTexture;
    spec.shape = got >= 7 ? name_or_none(names[2]) : kStartGateShape;
    gate.statue = add_statue(track, spec, options.normal_maps);
    track.starting_gates.push_back(gate);
  }
}

void read_checkpoints(data::DataStream* stream, Track& track) {
  while (static_cast<int>(track.checkpoints.size()) < kMaxTimingGates) {
    TimingGate gate;
    if (data::ds_scanf(stream, "%f [ %f %f %f ] [ %f %f %f ] ", &gate.radius, &gate.centre.x,
                       &gate.centre.y, &gate.centre.z, &gate.forward.x, &gate.forward.y,
                       &gate.forward.z) != 7 ||
        !all_finite({gate.radius, gate.centre.x, gate.centre.y, gate.centre.z, gate.forward.x,
                     gate.forward.y, gate.forward.z})) {
      break;
    }
    track.checkpoints.push_back(gate);
  }
}

std::vector<std::int32_t> read_sequence(data::DataStream* stream, const char* keyword) {
  std::vector<std::int32_t> entries;
  if (!next_word_is(stream, keyword)) return entries;
  int entry = 0;
  while (static_cast<int>(entries.size()) < kMaxLapEntries &&
         data::ds_scanf(stream, "%d", &entry) == 1) {
    entries.push_back(entry);
  }
  return entries;
}

// Holds each entry to a checkpoint that exists; returns the number of split gates.
int normalise_sequence(std::vector<std::int32_t>& entries, int count) {
  int splits = 0;
  for (std::int32_t& e : entries) {
    if (e < 0) {
      e = 0;
    } else if (e >= kSilentGateBase) {
      e = kSilentGateBase + std::min(e % kSilentGateBase, count - 1);
    } else {
      e = std::min(e, count - 1);
    }
    if (e < kSilentGateBase) ++splits;
  }
  return splits;
}

}  // namespace

void read_timing_gates(data::DataStream* stream, Track& track, const TrackLoadOptions& options) {
  char token[81];
  if (data::ds_scanf(stream, " %80s", token) != 1) return;
  bool test_token = true;
  if (std::strcmp(token, "startinggate:") == 0) {
    bool at_checkpoints = false;
    read_starting_gates(stream, track, options, &at_checkpoints);
    if (at_checkpoints) {
      test_token = false;
    } else if (data::ds_scanf(stream, " %80s", token) != 1) {
      return;
    }
  }
  if (test_token && std::strcmp(token, "checkpoints:") != 0) return;

  read_checkpoints(stream, track);
  std::vector<std::int32_t> first = read_sequence(stream, "firstlap:");
  std::vector<std::int32_t> normal = read_sequence(stream, "normallap:");
  const int count = static_cast<int>(track.checkpoints.size());
  if (options.debug_level >= 1) {
    platform::log("Found %d timing gates, first lap has %d gates, normal lap has %d\n", count,
                  static_cast<int>(first.size()), static_cast<int>(normal.size()));
  }
  const int first_splits = normalise_sequence(first, count);
  const int normal_splits = normalise_sequence(normal, count);
  if (count == 0 || first_splits == 0 || normal_splits == 0) {
    // Without a usable lap the track is untimed; the starting gates stay.
    track.checkpoints.clear();
    return;
  }
  track.first_lap_length = static_cast<int>(first.size());
  track.normal_lap_length = static_cast<int>(normal.size());
  track.first_lap_splits = first_splits;
  track.normal_lap_splits = normal_splits;
  track.lap_sequences = first;
  track.lap_sequences.insert(track.lap_sequences.end(), normal.begin(), normal.end());
}

bool write_timing_gates(const Track& track, const char* track_dir) {
  data::DataStream* out = open_track_writer(track_dir, "timing_gates");
  if (!out) return false;
  if (!track.starting_gates.empty()) {
    data::ds_puts(out, "startinggate:\n");
    for (const StartingGate& gate : track.starting_gates) {
      data::ds_printf(out, "[%f %f %f]", gate.x, gate.y, gate.z);
      data::ds_printf(out, " %f", gate.yaw);
      const bool has_statue =
          gate.statue >= 0 && gate.statue < static_cast<int>(track.statues.size());
      const Statue* statue = has_statue ? &track.statues[gate.statue] : nullptr;
      if (!statue || (statue->model == kStartGateModel && statue->texture == kStartGateTexture &&
                      statue->shape_name == kStartGateShape)) {
        data::ds_puts(out, "\n");
        continue;
      }
      auto named = [](const std::string& name) { return name.empty() ? "null" : name.c_str(); };
      data::ds_printf(out, " %s %s %s\n", named(statue->model), named(statue->texture),
                      named(statue->shape_name));
    }
  }
  if (!track.checkpoints.empty()) {
    data::ds_puts(out, "checkpoints:\n");
    for (const TimingGate& gate : track.checkpoints) {
      data::ds_printf(out, "%f ", gate.radius);
      data::ds_printf(out, "[%f %f %f]", gate.centre.x, gate.centre.y, gate.centre.z);
      data::ds_puts(out, " ");
      data::ds_printf(out, "[%f %f %f]", gate.forward.x, gate.forward.y, gate.forward.z);
      data::ds_puts(out, "\n");
    }
  }
  const std::size_t first = std::min(static_cast<std::size_t>(std::max(track.first_lap_length, 0)),
                                     track.lap_sequences.size());
  const std::size_t normal =
      std::min(static_cast<std::size_t>(std::max(track.normal_lap_length, 0)),
               track.lap_sequences.size() - first);
  const struct {
    const char* keyword;
    std::size_t from;
    std::size_t length;
  } sequences[2] = {{"firstlap:\n", 0, first}, {"normallap:\n", first, normal}};
  for (const auto& sequence : sequences) {
    if (sequence.length == 0) continue;
    data::ds_puts(out, sequence.keyword);
    for (std::size_t i = 0; i < sequence.length; ++i) {
      data::ds_printf(out, "%d ", track.lap_sequences[sequence.from + i]);
    }
    data::ds_puts(out, "\n");
  }
  return finish_track_writer(out, track_dir, "timing_gates");
}

}  // namespace race
