// track_lap.cpp -- a track plan's lap: the centreline of legs and arcs, its features and profiles.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

#include "content/content.h"
#include "content/track_internal.h"
#include "sim/sim.h"

namespace content {

namespace {

constexpr float kDegree = std::numbers::pi_v<float> / 180;
constexpr float kBedWindow = 40;     // ft each way over which the land is averaged into the bed
constexpr float kTurnRamp = 40;      // ft before and after an arc over which its berm builds
constexpr float kOffCamber = 0.12f;  // rise per ft: about 7 degrees falling to the outside

float smoothstep(float x) {
  x = std::clamp(x, 0.0f, 1.0f);
  return x * x * (3 - 2 * x);
}

float cross2(float ax, float az, float bx, float bz) { return ax * bz - az * bx; }

// The run of a face `height` ft high at `degrees` to the bed.
float run(float height, float degrees) { return height / std::tan(degrees * kDegree); }

struct Knot {
  float t, h;  // ft along the feature, ft above the bed
};

float knots_at(const std::vector<Knot>& knots, float t) {
  if (t <= knots.front().t) return knots.front().h;
  for (std::size_t i = 1; i < knots.size(); ++i) {
    if (t <= knots[i].t) {
      const float f = (t - knots[i - 1].t) / (knots[i].t - knots[i - 1].t);
      return knots[i - 1].h + (knots[i].h - knots[i - 1].h) * f;
    }
  }
  return knots.back().h;
}

// The jumps as faces: steep take-offs (22-26 degrees) so a bike leaves them
// climbing, longer and gentler landings (14 degrees) so it comes down with the
// slope. At 38-44 ft/s the double's landing is cleared and the tabletop's
// table is flown over.
std::vector<Knot> jump_knots(Feature kind) {
  switch (kind) {
    case Feature::kTabletop: {
      const float up = run(5, 22), table = 28, down = run(5, 14);
      return {{0, 0}, {up, 5}, {up + table, 5}, {up + table + down, 0}};
    }
    case Feature::kDouble: {
      const float up = run(4.5f, 24), back = run(4.5f, 35), gap = 14;
      const float face = run(5, 30), down = run(5, 14);
      const float lip = up + 1, gap_end = lip + back + gap;
      return {{0, 0},
              {up, 4.5f},
              {lip, 4.5f},
              {lip + back, 0},
              {gap_end, 0},
              {gap_end + face, 5},
              {gap_end + face + 2, 5},
              {gap_end + face + 2 + down, 0}};
    }
    case Feature::kRhythm: {
      // Five rollers, 3 ft high with 20 degree faces and 5 ft between them.
      std::vector<Knot> knots{{0, 0}};
      const float face = run(3, 20);
      float t = 0;
      for (int i = 0; i < 5; ++i) {
        knots.push_back({t + face, 3});
        knots.push_back({t + face + 1, 3});
        knots.push_back({t + 2 * face + 1, 0});
        t += 2 * face + 1 + 5;
      }
      return knots;
    }
    case Feature::kUphillJump: {
      const float up = run(4, 26), back = run(4, 30);
      return {{0, 0}, {up, 4}, {up + 1, 4}, {up + 1 + back, 0}};
    }
    case Feature::kDownhillJump: {
      const float up = run(3, 15), back = run(3, 14);
      return {{0, 0}, {up, 3}, {up + 1, 3}, {up + 1 + back, 0}};
    }
    case Feature::kWhoops:
    case Feature::kSand:
      break;
  }
  return {};
}

constexpr int kWhoops = 10;
constexpr float kWhoopPitch = 10;  // ft
constexpr float kWhoopHeight = 1.6f;
constexpr float kSandLength = 120;  // ft
constexpr float kSandDip = 0.6f;    // ft the sand lies below the bed

float feature_length(Feature kind) {
  if (kind == Feature::kWhoops) return kWhoops * kWhoopPitch;
  if (kind == Feature::kSand) return kSandLength;
  return jump_knots(kind).back().t;
}

// Circular moving average over `half` samples each way.
std::vector<float> smooth(const std::vector<float>& values, int half) {
  const int n = static_cast<int>(values.size());
  std::vector<float> out(values.size());
  double sum = 0;
  for (int i = -half; i <= half; ++i) sum += values[((i % n) + n) % n];
  for (int k = 0; k < n; ++k) {
    out[k] = static_cast<float>(sum / (2 * half + 1));
    sum += values[(k + half + 1) % n] - values[((k - half) % n + n) % n];
  }
  return out;
}

// Distance along the lap from a to b going either way.
float lap_distance(float a, float b, float length) {
  const float d = std::fabs(a - b);
  return std::min(d, length - d);
}

struct Piece {
  bool arc;
  int index;  // the leg or the corner
  float s0, length;
};

struct CornerGeometry {
  float ax, az, bx, bz, ox, oz;
  float angle;    // radians, signed like `inside`
  float start;    // radians: the angle of A seen from the centre
  float tangent;  // ft from the corner point to A and to B
  int inside;
};

bool corner_geometry(const TrackPlan& plan, std::vector<CornerGeometry>& geometry) {
  const int n = static_cast<int>(plan.corners.size());
  geometry.resize(n);
  for (int i = 0; i < n; ++i) {
    const Corner& prev = plan.corners[(i + n - 1) % n];
    const Corner& c = plan.corners[i];
    const Corner& next = plan.corners[(i + 1) % n];
    float ix = c.x - prev.x, iz = c.z - prev.z, ox = next.x - c.x, oz = next.z - c.z;
    const float il = std::hypot(ix, iz), ol = std::hypot(ox, oz);
    ix /= il, iz /= il, ox /= ol, oz /= ol;
    CornerGeometry& g = geometry[i];
    g.angle = std::atan2(cross2(ix, iz, ox, oz), ix * ox + iz * oz);
    if (std::fabs(g.angle) < 1e-4f || std::fabs(g.angle) > 170 * kDegree) {
      std::fprintf(stderr, "kvgen: %s: corner %d turns %.1f degrees\n", plan.folder.c_str(), i,
                   g.angle / kDegree);
      return false;
    }
    g.inside = g.angle > 0 ? 1 : -1;
    g.tangent = c.radius * std::tan(std::fabs(g.angle) / 2);
    g.ax = c.x - ix * g.tangent, g.az = c.z - iz * g.tangent;
    g.bx = c.x + ox * g.tangent, g.bz = c.z + oz * g.tangent;
    // The centre lies a radius from A across the direction of travel, towards the turn.
    g.ox = g.ax - g.inside * c.radius * iz;
    g.oz = g.az + g.inside * c.radius * ix;
    g.start = std::atan2(g.az - g.oz, g.ax - g.ox);
  }
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    const float leg =
        std::hypot(plan.corners[j].x - plan.corners[i].x, plan.corners[j].z - plan.corners[i].z);
    if (geometry[i].tangent + geometry[j].tangent > leg) {
      std::fprintf(stderr,
                   "kvgen: %s: corners %d and %d are too round for the %.0f ft between them\n",
                   plan.folder.c_str(), i, j, leg);
      return false;
    }
  }
  return true;
}

void sample_centreline(const TrackPlan& plan, const std::vector<CornerGeometry>& geometry,
                       Lap& lap) {
  const int n = static_cast<int>(plan.corners.size());
  // Leg 0 first, then corner 1's arc, leg 1, ..., leg n - 1 and corner 0's arc.
  std::vector<Piece> pieces;
  float s = 0;
  lap.leg_start.assign(n, 0);
  lap.leg_end.assign(n, 0);
  lap.arcs.assign(n, CornerArc{});
  for (int i = 0; i < n; ++i) {
    const CornerGeometry& from = geometry[i];
    const CornerGeometry& to = geometry[(i + 1) % n];
    const float leg = std::hypot(to.ax - from.bx, to.az - from.bz);
    pieces.push_back({false, i, s, leg});
    lap.leg_start[i] = s;
    s += leg;
    lap.leg_end[i] = s;
    const int c = (i + 1) % n;
    const float arc = plan.corners[c].radius * std::fabs(geometry[c].angle);
    pieces.push_back({true, c, s, arc});
    const CornerGeometry& g = geometry[c];
    lap.arcs[c] = {g.ax, g.az, g.bx, g.bz, g.ox, g.oz, s, s + arc, g.inside};
    s += arc;
  }
  lap.length = s;
  const int count = static_cast<int>(std::ceil(s));
  lap.step = s / count;
  lap.samples.resize(count);
  std::size_t piece = 0;
  for (int k = 0; k < count; ++k) {
    const float at = k * lap.step;
    while (piece + 1 < pieces.size() && at >= pieces[piece + 1].s0) ++piece;
    const Piece& p = pieces[piece];
    Sample& sample = lap.samples[k];
    sample.s = at;
    if (p.arc) {
      const CornerGeometry& g = geometry[p.index];
      const float phi = g.start + g.angle * (at - p.s0) / p.length;
      const float r = plan.corners[p.index].radius;
      sample.x = g.ox + r * std::cos(phi);
      sample.z = g.oz + r * std::sin(phi);
      sample.tx = -g.inside * std::sin(phi);
      sample.tz = g.inside * std::cos(phi);
      sample.leg = -1;
      sample.corner = p.index;
    } else {
      const CornerGeometry& from = geometry[p.index];
      const CornerGeometry& to = geometry[(p.index + 1) % n];
      const float dx = (to.ax - from.bx) / p.length, dz = (to.az - from.bz) / p.length;
      sample.x = from.bx + dx * (at - p.s0);
      sample.z = from.bz + dz * (at - p.s0);
      sample.tx = dx;
      sample.tz = dz;
      sample.leg = p.index;
      sample.corner = -1;
    }
  }
}

bool place_features(const TrackPlan& plan, Lap& lap) {
  const int count = static_cast<int>(lap.samples.size());
  lap.jump.assign(count, 0);
  lap.sand.assign(count, 0);
  std::mt19937 random(plan.seed);
  for (const LegFeature& f : plan.features) {
    const float s0 = lap.leg_start[f.leg] + f.at;
    const float s1 = s0 + feature_length(f.kind);
    if (f.at < 0 || s1 > lap.leg_end[f.leg] - 5) {
      std::fprintf(stderr, "kvgen: %s: a feature does not fit leg %d (%.0f ft long)\n",
                   plan.folder.c_str(), f.leg, lap.leg_end[f.leg] - lap.leg_start[f.leg]);
      return false;
    }
    lap.spans.push_back({f.kind, s0, s1});
    const std::vector<Knot> knots = jump_knots(f.kind);
    // Sand ripples: a few waves of fixed random length and phase.
    std::uniform_real_distribution<float> wave(6, 11), phase(0, 2 * std::numbers::pi_v<float>);
    const float w1 = wave(random), w2 = wave(random), p1 = phase(random), p2 = phase(random);
    for (int k = static_cast<int>(s0 / lap.step); k * lap.step <= s1 && k < count; ++k) {
      const float t = k * lap.step - s0;
      if (t < 0) continue;
      switch (f.kind) {
        case Feature::kWhoops:
          lap.jump[k] +=
              kWhoopHeight * 0.5f * (1 - std::cos(2 * std::numbers::pi_v<float> * t / kWhoopPitch));
          break;
        case Feature::kSand: {
          const float edge = std::clamp(std::min(t, kSandLength - t) / 12, 0.0f, 1.0f);
          const float ripples = 0.15f * std::sin(2 * std::numbers::pi_v<float> * t / w1 + p1) +
                                0.1f * std::sin(2 * std::numbers::pi_v<float> * t / w2 + p2);
          lap.jump[k] += edge * (ripples - kSandDip);
          lap.sand[k] = 1;
          break;
        }
        default:
          lap.jump[k] += knots_at(knots, t);
          break;
      }
    }
  }
  // Round the lips and the feet of the faces a little.
  lap.jump = smooth(lap.jump, std::max(1, static_cast<int>(std::lround(2 / lap.step))));
  return true;
}

void build_profiles(const TrackPlan& plan, Lap& lap) {
  const int count = static_cast<int>(lap.samples.size());
  const int n = static_cast<int>(plan.corners.size());
  std::vector<float> land(count);
  for (int k = 0; k < count; ++k) land[k] = plan.ground(lap.samples[k].x, lap.samples[k].z);
  lap.bed = smooth(land, static_cast<int>(std::lround(kBedWindow / lap.step)));

  std::vector<float> width(count);
  for (int k = 0; k < count; ++k) {
    const Sample& s = lap.samples[k];
    if (s.leg >= 0) {
      width[k] = plan.corners[s.leg].width / 2;
    } else {
      // A corner is a little wider than the legs on either side.
      const float in = plan.corners[(s.corner + n - 1) % n].width,
                  out = plan.corners[s.corner].width;
      width[k] = std::max(in, out) / 2 + 2;
    }
    // The start area: wide round the grid, narrowing towards the first turn.
    const float from_front = s.s - plan.start_at;
    float start = 0;
    if (from_front > -45 && from_front <= 10)
      start = plan.start_width / 2;
    else if (from_front > 10 && from_front < 70)
      start = plan.start_width / 2 * (70 - from_front) / 60;
    width[k] = std::max(width[k], start);
  }
  lap.half_width = smooth(width, static_cast<int>(std::lround(8 / lap.step)));

  lap.turn.assign(count, 0);
  lap.berm.assign(count, 0);
  lap.camber.assign(count, 0);
  lap.outside.assign(count, 1);
  for (int k = 0; k < count; ++k) {
    const float s = lap.samples[k].s;
    for (int c = 0; c < n; ++c) {
      const CornerArc& arc = lap.arcs[c];
      const float mid = (arc.s0 + arc.s1) / 2, half = (arc.s1 - arc.s0) / 2;
      const float off = lap_distance(s, mid, lap.length) - half;
      // Eased in and out, so that a bike high on the berm is not thrown off its end.
      const float weight = smoothstep(std::clamp(1 - off / kTurnRamp, 0.0f, 1.0f));
      if (weight <= lap.turn[k]) continue;
      lap.turn[k] = weight;
      lap.outside[k] = static_cast<signed char>(-arc.inside);
      lap.berm[k] = plan.corners[c].off_camber ? 0 : plan.corners[c].berm * weight;
      lap.camber[k] = plan.corners[c].off_camber ? kOffCamber * weight : 0;
    }
  }
}

// Parts of the lap that are far apart along it must be far apart on the
// ground too, or their cuts would run into each other.
bool check_separation(const TrackPlan& plan, const Lap& lap) {
  const int count = static_cast<int>(lap.samples.size());
  const int stride = std::max(1, static_cast<int>(4 / lap.step));
  for (int i = 0; i < count; i += stride) {
    for (int j = i + stride; j < count; j += stride) {
      const Sample& a = lap.samples[i];
      const Sample& b = lap.samples[j];
      if (lap_distance(a.s, b.s, lap.length) < 200) continue;
      const float need = lap.half_width[i] + lap.half_width[j] + 2 * kShoulder + 2;
      if (std::hypot(a.x - b.x, a.z - b.z) < need) {
        std::fprintf(
            stderr, "kvgen: %s: the lap at %.0f ft and at %.0f ft comes within %.0f ft of itself\n",
            plan.folder.c_str(), a.s, b.s, std::hypot(a.x - b.x, a.z - b.z));
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool build_lap(const TrackPlan& plan, Lap& lap) {
  lap = Lap{};
  lap.plan = &plan;
  if (plan.corners.size() < 3 || !plan.ground) return false;
  std::vector<CornerGeometry> geometry;
  if (!corner_geometry(plan, geometry)) return false;
  sample_centreline(plan, geometry, lap);
  if (!place_features(plan, lap)) return false;
  build_profiles(plan, lap);
  return check_separation(plan, lap);
}

int sample_at(const Lap& lap, float s) {
  const int count = static_cast<int>(lap.samples.size());
  const int k = static_cast<int>(std::floor(s / lap.step));
  return ((k % count) + count) % count;
}

float profile_at(const Lap& lap, const std::vector<float>& profile, float s) {
  const int count = static_cast<int>(profile.size());
  const float f = s / lap.step;
  const float base = std::floor(f);
  const int k = ((static_cast<int>(base) % count) + count) % count;
  const float t = f - base;
  return profile[k] + (profile[(k + 1) % count] - profile[k]) * t;
}

LapPoint project(const Lap& lap, int near, float x, float z) {
  const int count = static_cast<int>(lap.samples.size());
  LapPoint best;
  float best_d2 = 0;
  for (int first : {near - 1, near}) {
    const Sample& a = lap.samples[(first + count) % count];
    const Sample& b = lap.samples[(first + 1 + count) % count];
    const float ex = b.x - a.x, ez = b.z - a.z;
    const float length2 = ex * ex + ez * ez;
    const float t = std::clamp(((x - a.x) * ex + (z - a.z) * ez) / length2, 0.0f, 1.0f);
    const float qx = a.x + t * ex, qz = a.z + t * ez;
    const float d2 = (x - qx) * (x - qx) + (z - qz) * (z - qz);
    if (best.sample >= 0 && d2 >= best_d2) continue;
    best_d2 = d2;
    best.sample = (first + count) % count;
    best.s = std::fmod(a.s + t * lap.step, lap.length);
    best.d = std::sqrt(d2);
    best.u = cross2(ex, ez, x - a.x, z - a.z) >= 0 ? best.d : -best.d;
  }
  return best;
}

LapPoint nearest_point(const Lap& lap, float x, float z) {
  int near = 0;
  float best = INFINITY;
  for (std::size_t k = 0; k < lap.samples.size(); ++k) {
    const float d2 = (lap.samples[k].x - x) * (lap.samples[k].x - x) +
                     (lap.samples[k].z - z) * (lap.samples[k].z - z);
    if (d2 < best) best = d2, near = static_cast<int>(k);
  }
  return project(lap, near, x, z);
}

float clearance(const Lap& lap, float x, float z) {
  float least = INFINITY;
  for (std::size_t k = 0; k < lap.samples.size(); ++k) {
    const float d = std::hypot(lap.samples[k].x - x, lap.samples[k].z - z) - lap.half_width[k];
    least = std::min(least, d);
  }
  return least;
}

float corridor_height(const Lap& lap, const LapPoint& p, float land) {
  const float s = p.s;
  const int k = sample_at(lap, s);
  const float half = profile_at(lap, lap.half_width, s);
  const float bed = profile_at(lap, lap.bed, s) + profile_at(lap, lap.jump, s);
  const float outward = p.u * lap.outside[k];  // ft towards the corner's outside
  const float berm = profile_at(lap, lap.berm, s);
  const float camber = profile_at(lap, lap.camber, s);
  float cross = 0;
  // The berm is dished: it steepens towards the outside edge and keeps its height over the lip.
  if (outward > 0 && berm > 0) cross += berm * std::pow(std::min(outward / half, 1.0f), 1.5f);
  cross -= camber * std::clamp(outward, -half - kBermLip, half + kBermLip);
  const float lip = outward > 0 && berm > 0 ? kBermLip * profile_at(lap, lap.turn, s) : 0;
  const float flat = half + 1 + lip;
  const float weight = p.d <= flat ? 1 : smoothstep(1 - (p.d - flat) / kShoulder);
  return land + weight * (bed + cross - land);
}

float build_track(Output& out, const TrackPlan& plan) {
  Lap lap;
  if (!build_lap(plan, lap)) {
    out.ok = false;
    return 0;
  }
  build_ground(out, lap);
  dress_track(out, lap);
  sim::terrain_free();
  return lap.length;
}

}  // namespace content
