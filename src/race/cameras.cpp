// cameras.cpp -- the cameras file: trackside cameras and the checkpoint-to-camera table.
#include <cmath>
#include <cstring>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/track_internal.h"

namespace race {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The text after `word` when the line starts with it followed by white space (or ends there).
const char* after_word(const char* line, const char* word) {
  const std::size_t n = std::strlen(word);
  if (std::strncmp(line, word, n) != 0) return nullptr;
  if (line[n] != '\0' && !is_space(line[n])) return nullptr;
  return line + n;
}

}  // namespace

void read_cameras(data::DataStream* stream, Track& track, const TrackLoadOptions& options) {
  float fov = 90;
  float auto_fov_size = 0;
  char line[1024];
  while (stream && data::ds_read_line(stream, line, sizeof line)) {
    const char* rest = nullptr;
    float value = 0;
    if ((rest = after_word(line, "fov"))) {
      if (scan_text(rest, "%f", &value) == 1) fov = std::fabs(value);
    } else if ((rest = after_word(line, "autofovsize"))) {
      if (scan_text(rest, "%f", &value) == 1) auto_fov_size = std::fabs(value);
    } else if ((rest = after_word(line, "addcamera"))) {
      float x, y_offset, z;
      if (scan_text(rest, "%f %f %f", &x, &y_offset, &z) != 3) continue;
      TrackCamera camera;
      camera.x = x;
      camera.y = sim::terrain_height(x, z) + y_offset;
      camera.z = z;
      camera.fov = fov;
      camera.auto_fov_size = auto_fov_size;
      track.cameras.push_back(camera);
      fov = 90;
      auto_fov_size = 0;
    } else if ((rest = after_word(line, "gate"))) {
      TextStream numbers(rest);
      int n = 0;
      while (numbers.stream() && data::ds_scanf(numbers.stream(), "%d", &n) == 1 && n >= 0 &&
             n < kCheckpointCameraSlots) {
        track.checkpoint_camera[n] = static_cast<int>(track.cameras.size());
      }
    }
  }
  // A "gate" line names the camera the next "addcamera" makes; when none follows, the entry
  // would point past the list.
  for (int& camera : track.checkpoint_camera) {
    if (camera >= static_cast<int>(track.cameras.size())) camera = -1;
  }
  if (options.debug_level >= 1) {
    platform::log("%d cameras found\n", static_cast<int>(track.cameras.size()));
  }
}

}  // namespace race
