// record_codes.h -- how a state record stores a number: a fixed-point code over a range,
// little-endian in 1 to 3 bytes. The bike packs records with these; the state history blends
// them and the demo files carry them.
#pragma once

#include <algorithm>
#include <cmath>

namespace sim {

// Codes of 8, 16 and 24 bits: the highest code stands for the top of the range.
constexpr unsigned kCode8 = 255;
constexpr unsigned kCode16 = 65535;
constexpr unsigned kCode24 = 16777215;

// The code of `v` over [lo, hi] in `steps` + 1 levels: floor of its place in the range;
// a value outside is clamped, a NaN is the bottom.
inline unsigned record_code(double v, double lo, double hi, unsigned steps) {
  if (!(v == v)) v = lo;
  const double f = (std::clamp(v, lo, hi) - lo) / (hi - lo);
  return static_cast<unsigned>(std::floor(f * steps));
}

// The value a code stands for.
inline double record_value(unsigned n, double lo, double hi, unsigned steps) {
  return lo + static_cast<double>(n) / steps * (hi - lo);
}

inline unsigned get16(const unsigned char* p) { return p[0] | (p[1] << 8); }
inline unsigned get24(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16); }
inline void put16(unsigned char* p, unsigned v) {
  p[0] = v & 0xff;
  p[1] = (v >> 8) & 0xff;
}
inline void put24(unsigned char* p, unsigned v) {
  p[0] = v & 0xff;
  p[1] = (v >> 8) & 0xff;
  p[2] = (v >> 16) & 0xff;
}

}  // namespace sim
