// track_internal.h -- what the track files' readers and writers share among themselves.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "data/data.h"
#include "race/race.h"

namespace race {

using data::scan_text;
using data::TextStream;

using data::track_file;

// A number too large for a float reads as infinity. The writers print it as "inf", which no
// reader takes back, so a record holding one is treated as malformed.
inline bool all_finite(std::initializer_list<float> values) {
  for (float v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// A name from a file: "null" is none.
inline std::string name_or_none(const char* name) {
  return std::strcmp(name, "null") == 0 ? std::string() : std::string(name);
}

// Opens "<dir>/<file>.tmp" for writing; on failure shows "Can't open '<file>'".
data::DataStream* open_track_writer(const char* track_dir, const char* file);
// Closes the temporary file and renames it over "<dir>/<file>"; false (and a message) when a
// write failed or the rename did.
bool finish_track_writer(data::DataStream* out, const char* track_dir, const char* file);

}  // namespace race
