// shape.cpp -- collision shapes: the ".shp" reader and the cache of shapes by file name.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "sim/sim.h"

namespace sim {

namespace {

struct CachedShape {
  std::string name;
  Shape shape;
};

// Starts with room for 16 and doubles, as std::vector grows.
std::vector<CachedShape>& shape_cache() {
  static std::vector<CachedShape> cache = [] {
    std::vector<CachedShape> c;
    c.reserve(16);
    return c;
  }();
  return cache;
}

}  // namespace

bool read_shape(data::DataStream* stream, Shape& shape) {
  shape = Shape{};
  if (!stream) return false;
  int count = 0;
  if (data::ds_scanf(stream, "%d", &count) != 1 || count < 0) return false;
  Shape read;
  // The count is only a promise: spheres are added as they are read, so a hostile count
  // allocates nothing until the file really holds that many.
  read.spheres.reserve(static_cast<std::size_t>(std::min(count, 64)));
  for (int i = 0; i < count; ++i) {
    ShapeSphere s;
    if (data::ds_scanf(stream, "%f %f %f", &s.centre.x, &s.centre.y, &s.centre.z) != 3 ||
        data::ds_scanf(stream, "%f %f %f %f", &s.radius, &s.friction, &s.extra[0], &s.extra[1]) !=
            4) {
      return false;
    }
    // A number too large for a float reads as infinity; no body has such a part, and the
    // contact and grid arithmetic downstream would turn it into NaN.
    const float values[7] = {s.centre.x, s.centre.y, s.centre.z, s.radius,
                             s.friction, s.extra[0], s.extra[1]};
    for (float v : values) {
      if (!std::isfinite(v)) return false;
    }
    const float reach =
        std::sqrt(s.centre.x * s.centre.x + s.centre.y * s.centre.y + s.centre.z * s.centre.z) +
        s.radius;
    read.bounding_radius = i == 0 ? reach : std::max(read.bounding_radius, reach);
    read.spheres.push_back(s);
  }
  shape = std::move(read);
  return true;
}

bool shape_load(const char* name, Shape& shape) {
  shape = Shape{};
  if (!name || !name[0]) return false;
  std::vector<CachedShape>& cache = shape_cache();
  for (const CachedShape& cached : cache) {
    if (cached.name == name) {
      shape = cached.shape;
      return true;
    }
  }
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return false;
  Shape read;
  const bool ok = read_shape(stream, read);
  data::close_data(stream);
  if (!ok) return false;
  cache.push_back({name, read});
  shape = std::move(read);
  return true;
}

void shape_cache_clear() { shape_cache().clear(); }

}  // namespace sim
