// billboard_order.cpp -- depth keys, radix sort and texture grouping of the billboards.
#include <cmath>
#include <cstring>

#include "race/race.h"
#include "render/render.h"

namespace render {

namespace {

constexpr int kRadixPasses = 4;
constexpr int kBuckets = 256;

// Nearer than this (ft) a billboard's screen extent is measured as if it stood this far:
// a kept billboard is in front of the camera by its key, but the key's 1/1024 ft steps let
// one sit a hair from the eye plane.
constexpr float kNearestDepth = 1.0f / 1024;

// Stable LSB-first radix sort of `index[0..n)` by `keys[index[i]]`. The result ends in
// `index`; `scratch` is the other buffer of the ping-pong. A pass whose byte is the same
// for every key moves nothing and is skipped (the top byte usually is: keys cluster around
// 2^24).
void radix_sort(const race::Billboard* billboards, int* index, int* scratch, int n) {
  int counts[kRadixPasses][kBuckets] = {};
  for (int i = 0; i < n; ++i) {
    const std::uint32_t key = billboards[index[i]].sort_key;
    for (int pass = 0; pass < kRadixPasses; ++pass) ++counts[pass][(key >> (8 * pass)) & 0xff];
  }
  int* from = index;
  int* to = scratch;
  for (int pass = 0; pass < kRadixPasses; ++pass) {
    int* count = counts[pass];
    const int shift = 8 * pass;
    if (count[(billboards[from[0]].sort_key >> shift) & 0xff] == n) continue;
    int start = 0;
    for (int b = 0; b < kBuckets; ++b) {  // counts become each bucket's first place
      const int c = count[b];
      count[b] = start;
      start += c;
    }
    for (int i = 0; i < n; ++i) {
      const int k = from[i];
      to[count[(billboards[k].sort_key >> shift) & 0xff]++] = k;
    }
    int* t = from;
    from = to;
    to = t;
  }
  if (from != index) std::memcpy(index, from, sizeof(int) * static_cast<std::size_t>(n));
}

// A billboard's horizontal extent on the view plane at unit distance: [lo, hi] in
// camera-x / depth. Dividing by depth makes the comparison what the camera sees: a
// small sign near the eye can cover a wide one far behind it, and two signs side by side
// at very different distances may not touch on screen although their world-space
// segments along the camera's x axis would.
struct Extent {
  float lo, hi;
};

Extent screen_extent(const race::Billboard& b, const float eye[3], const float x_axis[3],
                     const float z_axis[3]) {
  const float d[3] = {b.x - eye[0], b.y - eye[1], b.z - eye[2]};
  const float across = x_axis[0] * d[0] + x_axis[1] * d[1] + x_axis[2] * d[2];
  float depth = -(z_axis[0] * d[0] + z_axis[1] * d[1] + z_axis[2] * d[2]);
  if (!(depth > kNearestDepth)) depth = kNearestDepth;
  const float half = 0.5f * b.width_factor * b.size;
  return {(across - half) / depth, (across + half) / depth};
}

bool overlaps(const Extent& a, const Extent& b) { return a.lo < b.hi && b.lo < a.hi; }

}  // namespace

std::uint32_t billboard_key(const float camera_z[3], const float p[3], float extra) {
  const double along = static_cast<double>(camera_z[0]) * p[0] +
                       static_cast<double>(camera_z[1]) * p[1] +
                       static_cast<double>(camera_z[2]) * p[2] + extra;
  const double key = std::floor(1024.0 * along + 16777216.0);
  // Past the ±16384 ft the offset covers, keys pin to the ends instead of wrapping.
  if (!(key > 0)) return 0;
  if (key >= 4294967295.0) return 0xffffffffu;
  return static_cast<std::uint32_t>(key);
}

int order_billboards(race::Billboard* billboards, const unsigned char* enabled, int count,
                     int pool_count, const Camera& camera, int lookahead, int* order,
                     int* scratch) {
  const float x_axis[3] = {camera.axes[0], camera.axes[3], camera.axes[6]};
  const float z_axis[3] = {camera.axes[2], camera.axes[5], camera.axes[8]};
  const std::uint32_t camera_key = billboard_key(z_axis, camera.position, 0);

  int n = 0;
  for (int i = 0; i < count; ++i) {
    race::Billboard& b = billboards[i];
    const float p[3] = {b.x, b.y, b.z};
    b.sort_key = billboard_key(z_axis, p, i < pool_count ? b.width_factor * b.size : 0.0f);
    if (b.texture.empty() || (enabled && !enabled[i]) || b.sort_key >= camera_key) continue;
    order[n++] = i;
  }
  if (n == 0) return 0;
  radix_sort(billboards, order, scratch, n);

  // Texture grouping: pull the next billboard of the same texture up behind the current
  // one when nothing it would now be drawn before covers the same part of the screen.
  const int window = lookahead < n ? lookahead : n;
  for (int i = 0; i + 1 < n; ++i) {
    const std::string& texture = billboards[order[i]].texture;
    const int last = i + window - 1 < n - 1 ? i + window - 1 : n - 1;
    int j = i + 1;
    while (j <= last && billboards[order[j]].texture != texture) ++j;
    if (j > last || j == i + 1) continue;
    const int moving = order[j];
    const Extent moved = screen_extent(billboards[moving], camera.position, x_axis, z_axis);
    bool clear = true;
    for (int k = i + 1; k < j && clear; ++k) {
      clear =
          !overlaps(moved, screen_extent(billboards[order[k]], camera.position, x_axis, z_axis));
    }
    if (!clear) continue;
    std::memmove(order + i + 2, order + i + 1, sizeof(int) * static_cast<std::size_t>(j - i - 1));
    order[i + 1] = moving;
  }
  return n;
}

float ghost_fade(float distance, float fade_distance) {
  if (!(fade_distance > 0)) return 1;
  const float half = fade_distance / 2;
  const float t = (distance - half) / (fade_distance - half);
  if (t >= 1) return 1;
  return t > 0 ? t : 0;
}

}  // namespace render
