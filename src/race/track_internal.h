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

// A read-only DataStream over a piece of text, so that a line already cut out of a file is
// scanned by the same ds_scanf rules as the files themselves.
class TextStream {
 public:
  explicit TextStream(const char* text) : length_(std::strlen(text)) {
    // fmemopen refuses an empty buffer; an empty text scans as the end of input.
    if (length_ > 0) stream_.file = fmemopen(const_cast<char*>(text), length_, "r");
    stream_.length = static_cast<long>(length_);
  }
  ~TextStream() {
    if (stream_.file) std::fclose(stream_.file);
  }
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  // Null for an empty text.
  data::DataStream* stream() { return stream_.file ? &stream_ : nullptr; }

 private:
  std::size_t length_;
  data::DataStream stream_;
};

// ds_scanf over a text; -1 for an empty one.
template <class... Args>
int scan_text(const char* text, const char* format, Args... args) {
  TextStream text_stream(text);
  if (!text_stream.stream()) return -1;
  return data::ds_scanf(text_stream.stream(), format, args...);
}

// "dir/name" as a data name.
inline std::string track_file(const char* track_dir, const char* name) {
  std::string path = track_dir ? track_dir : "";
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

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
