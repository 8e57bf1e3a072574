// track_writer.cpp -- writing a track file whole: a temporary file renamed over the old one.
#include <cstdio>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "race/track_internal.h"

namespace race {

data::DataStream* open_track_writer(const char* track_dir, const char* file) {
  const std::string temporary = track_file(track_dir, file) + ".tmp";
  data::DataStream* out = data::open_data(temporary.c_str(), "wb");
  if (!out) platform::messagef("Can't open '%s'\n", file);
  return out;
}

bool finish_track_writer(data::DataStream* out, const char* track_dir, const char* file) {
  const bool written = data::ds_flush(out) == 0 && !std::ferror(out->file);
  data::close_data(out);
  const std::string target = track_file(track_dir, file);
  // A failed write leaves the old file in place: only a complete one is renamed over it.
  if (!written || data::replace_data((target + ".tmp").c_str(), target.c_str()) != 1) {
    platform::messagef("Can't write '%s'\n", file);
    return false;
  }
  return true;
}

}  // namespace race
