// terrain_internal.h -- what the terrain's files share among themselves.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "sim/sim.h"

namespace sim {

// A read-only DataStream over a piece of text, so that arguments already cut
// out of a line are scanned by the same ds_scanf rules as the files.
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
  std::size_t length() const { return length_; }

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

// Heights of terrain.png as 16-bit grey samples: grid point (ix, iz) takes
// the pixel at column min(ix, width - 1), row min(iz, height - 1). False when
// the image cannot be read (samples untouched).
bool read_height_image(const char* name, int points_per_side, unsigned short* samples);
// Writes S x S 16-bit grey samples as a PNG. False when it cannot be written.
bool write_height_image(const char* name, int points_per_side, const unsigned short* samples);

// Unit normal at a grid point of `field` (clamped to the grid).
Vec3 vertex_normal(const HeightField& field, int ix, int iz);

// Bakes the shading of grid points [x0, x1] x [z0, z1] (inside the grid) from
// their vertex normals and `field.light`.
void bake_shading(HeightField& field, int x0, int z0, int x1, int z1);

}  // namespace sim
