// statues.cpp -- statues: creating one (maps, shape, placement), the statues file and its writer.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/track_internal.h"

namespace race {

namespace {

bool ends_with(const std::string& text, const char* tail) {
  const std::size_t n = std::char_traits<char>::length(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The name up to its last `mark`, or all of it without one.
std::string cut_at_last(const std::string& name, char mark) {
  const std::size_t at = name.rfind(mark);
  return at == std::string::npos ? name : name.substr(0, at);
}

// Whether a data name opens. The renderer loads the texture itself later; asking here keeps GL
// out of loading.
bool data_exists(const std::string& name) {
  data::DataStream* stream = data::open_data(name.c_str(), "rb");
  if (!stream) return false;
  data::close_data(stream);
  return true;
}

std::string find_map(const std::string& model, const std::string& texture, const char* suffix) {
  for (const std::string& candidate : statue_map_candidates(model, texture, suffix)) {
    if (data_exists(candidate)) return candidate;
  }
  return std::string();
}

}  // namespace

std::vector<std::string> statue_map_candidates(const std::string& model, const std::string& texture,
                                               const char* suffix) {
  static const char* const kImageKinds[3] = {".seq", ".png", ".ppm"};
  std::vector<std::string> names;
  if (ends_with(texture, "-repeat.png") || ends_with(texture, "-repeat.ppm") ||
      ends_with(texture, "-repeat.seq")) {
    const std::string stem = cut_at_last(texture, '-');
    for (const char* kind : kImageKinds) names.push_back(stem + suffix + "-repeat" + kind);
    return names;
  }
  for (const std::string& stem : {cut_at_last(texture, '.'), cut_at_last(model, '.')}) {
    for (const char* kind : kImageKinds) names.push_back(stem + suffix + kind);
  }
  return names;
}

int add_statue(Track& track, const StatueSpec& spec, bool normal_maps) {
  Statue statue;
  statue.model = spec.model;
  statue.texture = spec.texture;
  if (normal_maps && !statue.model.empty() && !statue.texture.empty()) {
    statue.normal_map = find_map(statue.model, statue.texture, "_norm");
    statue.specular_map = find_map(statue.model, statue.texture, "_spec");
  }
  statue.shape_name = spec.shape;
  if (!spec.shape.empty()) {
    statue.has_shape = sim::shape_load(spec.shape.c_str(), statue.shape);
    if (!statue.has_shape)
      platform::log("Warning: missing shape file %.900s\n", spec.shape.c_str());
  }
  statue.x = spec.x;
  statue.y = sim::terrain_height(spec.x, spec.z) + spec.y_offset;
  statue.z = spec.z;
  statue.y_offset = spec.y_offset;
  statue.yaw = spec.yaw;
  statue.yaw_exp2 = spec.yaw >= 3.25f ? std::exp2(spec.yaw) : 0.0f;
  const float c = std::cos(spec.yaw);
  const float s = std::sin(spec.yaw);
  const float rotation[9] = {c, 0, s, 0, 1, 0, -s, 0, c};
  std::copy(rotation, rotation + 9, statue.orientation);
  track.statues.push_back(std::move(statue));
  return static_cast<int>(track.statues.size()) - 1;
}

void read_statues(data::DataStream* stream, Track& track, const TrackLoadOptions& options) {
  track.first_file_statue = static_cast<int>(track.statues.size());
  if (!stream) return;
  for (;;) {
    StatueSpec spec;
    char names[3][1024];
    if (data::ds_scanf(stream, " [ %f %f %f ] %f %1023s %1023s %1023s ", &spec.x, &spec.y_offset,
                       &spec.z, &spec.yaw, names[0], names[1], names[2]) != 7 ||
        !all_finite({spec.x, spec.y_offset, spec.z, spec.yaw})) {
      break;
    }
    spec.model = name_or_none(names[0]);
    spec.texture = name_or_none(names[1]);
    spec.shape = name_or_none(names[2]);
    add_statue(track, spec, options.normal_maps);
  }
}

bool write_statues(const Track& track, const char* track_dir) {
  data::DataStream* out = open_track_writer(track_dir, "statues");
  if (!out) return false;
  auto named = [](const std::string& name) { return name.empty() ? "null" : name.c_str(); };
  const std::size_t first = static_cast<std::size_t>(std::max(track.first_file_statue, 0));
  for (std::size_t i = first; i < track.statues.size(); ++i) {
    const Statue& s = track.statues[i];
    data::ds_printf(out, "[%f %f %f] %f %s %s %s\n", s.x, s.y_offset, s.z, s.yaw, named(s.model),
                    named(s.texture), named(s.shape_name));
  }
  return finish_track_writer(out, track_dir, "statues");
}

}  // namespace race
