// track_dressing.cpp -- everything of a track besides its ground: lighting, the grid and
// timing gates, flaggers, banners, hay bales and tyre stacks, cameras, the map and desc.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "content/content.h"
#include "content/track_internal.h"
#include "race/race.h"
#include "sim/sim.h"

namespace content {

namespace {

constexpr int kGridRows = 4;
constexpr int kGridColumns = 10;     // 40 start positions
constexpr float kGridPitch = 4.4f;   // ft between bikes across a row
constexpr float kGridRowGap = 10;    // ft between rows
constexpr float kGateSpacing = 100;  // ft between timing gates on a straight
constexpr int kSplitsPerLap = 6;

float wrap(float s, float length) { return std::fmod(std::fmod(s, length) + length, length); }

// A point `across` ft to the rider's right of the lap at `s` (negative: to the left).
void beside(const Lap& lap, float s, float across, float& x, float& z) {
  const Sample& p = lap.samples[sample_at(lap, s)];
  x = p.x - p.tz * across;
  z = p.z + p.tx * across;
}

// The yaw that turns a body's +x axis along the direction (tx, tz).
float yaw_along(float tx, float tz) { return std::atan2(-tz, tx); }

// The yaw that points a bike (forward -z) along (tx, tz).
float bike_yaw(float tx, float tz) { return std::atan2(-tx, -tz); }

// ---------------------------------------------------------------------------
// Timing

struct Gates {
  std::vector<float> s;  // ft along the lap of each checkpoint; [0] is the finish line
};

// Closer together where the lap turns, so that riding from gate to gate
// follows the track: in a corner about 0.7 of its radius apart.
Gates place_gates(const Lap& lap) {
  const TrackPlan& plan = *lap.plan;
  const int count = static_cast<int>(lap.samples.size());
  std::vector<float> allowed(count, kGateSpacing);
  for (int k = 0; k < count; ++k) {
    const int corner = lap.samples[k].corner;
    if (corner >= 0)
      allowed[k] = std::clamp(0.7f * plan.corners[corner].radius, 25.0f, kGateSpacing);
  }
  Gates gates;
  const float finish = plan.finish_at;
  float s = finish;
  gates.s.push_back(finish);
  for (;;) {
    float step = kGateSpacing;
    for (float ahead = lap.step; ahead <= kGateSpacing; ahead += lap.step) {
      step = std::min(step, std::max(allowed[sample_at(lap, s + ahead)], ahead));
    }
    const float remaining = finish + lap.length - s;
    if (remaining <= step) break;                     // the finish line is the next gate
    if (remaining - step < 30) step = remaining / 2;  // no short gap before it
    s += step;
    gates.s.push_back(wrap(s, lap.length));
  }
  return gates;
}

void write_timing(Output& out, const Lap& lap, const Gates& gates, race::Track& track) {
  const TrackPlan& plan = *lap.plan;
  // The grid: rows behind the front row, bikes spread across the start area.
  for (int row = 0; row < kGridRows; ++row) {
    const float s = plan.start_at - row * kGridRowGap;
    const Sample& c = lap.samples[sample_at(lap, s)];
    for (int column = 0; column < kGridColumns; ++column) {
      // Later rows sit in the gaps of the row in front.
      const float across = (column - (kGridColumns - 1) / 2.0f + (row % 2 ? 0.5f : 0)) * kGridPitch;
      race::StartingGate gate;
      beside(lap, s, across, gate.x, gate.z);
      gate.yaw = bike_yaw(c.tx, c.tz);
      // The front row stands at the starting gate; the rows behind carry no gate object (an
      // empty statue says so in the file), or a gate would stand between the rows.
      gate.statue = static_cast<int>(track.statues.size());
      race::Statue& object = track.statues.emplace_back();
      if (row == 0) {
        object.model = race::kStartGateModel;
        object.texture = race::kStartGateTexture;
        object.shape_name = race::kStartGateShape;
      }
      track.starting_gates.push_back(gate);
    }
  }
  track.first_file_statue = static_cast<int>(track.statues.size());

  for (std::size_t i = 0; i < gates.s.size(); ++i) {
    const float s = gates.s[i];
    const Sample& c = lap.samples[sample_at(lap, s)];
    race::TimingGate gate;
    gate.centre = {c.x, sim::terrain_height(c.x, c.z), c.z};
    gate.forward = {c.tx, 0, c.tz};
    const float half = profile_at(lap, lap.half_width, s);
    gate.radius = i == 0 ? std::max(half, plan.start_width / 2) + 10 : half + 8;
    track.checkpoints.push_back(gate);
  }
  // A lap runs through every gate and ends at the finish line; the first lap
  // starts behind the line and so crosses it once more at the start. Most
  // gates are silent: only a few end a racing-line segment.
  const int count = static_cast<int>(gates.s.size());
  const int every = std::max(1, count / kSplitsPerLap);
  auto entry = [&](int g) { return g % every == 0 ? g : race::kSilentGateBase + g; };
  std::vector<std::int32_t> normal;
  for (int g = 1; g < count; ++g) normal.push_back(entry(g));
  normal.push_back(0);
  track.lap_sequences.push_back(0);
  track.lap_sequences.insert(track.lap_sequences.end(), normal.begin(), normal.end());
  track.lap_sequences.insert(track.lap_sequences.end(), normal.begin(), normal.end());
  track.first_lap_length = static_cast<int>(normal.size()) + 1;
  track.normal_lap_length = static_cast<int>(normal.size());

  const std::string dir = out.root + plan.folder;
  if (!race::write_timing_gates(track, dir.c_str())) out.ok = false;
}

// The checkpoint a rider at `s` has next.
int next_gate(const Lap& lap, const Gates& gates, float s) {
  int best = 0;
  float least = lap.length;
  for (std::size_t i = 0; i < gates.s.size(); ++i) {
    const float ahead = wrap(gates.s[i] - s, lap.length);
    if (ahead > 0 && ahead < least) least = ahead, best = static_cast<int>(i);
  }
  return best;
}

// ---------------------------------------------------------------------------
// Objects beside the track

// Picks the side of the lap at `s` where a thing `across` ft out stays
// `margin` ft clear of every part of the track; false when neither does.
bool clear_side(const Lap& lap, float s, float across, float margin, float& x, float& z) {
  for (float side : {1.0f, -1.0f}) {
    beside(lap, s, side * across, x, z);
    if (clearance(lap, x, z) >= margin) return true;
  }
  return false;
}

void write_flaggers(Output& out, const Lap& lap, const Gates& gates) {
  const TrackPlan& plan = *lap.plan;
  std::string text;
  float px, pz, qx, qz;
  // The starter stands beside the front row and walks back along the grid.
  const float start_out = plan.start_width / 2 + 6;
  beside(lap, plan.start_at + 3, start_out, px, pz);
  beside(lap, plan.start_at - 15, start_out, qx, qz);
  text += format("[%.2f 0 %.2f] [%.2f 0 %.2f] 6 0.5 3", px, pz, qx, qz);
  for (const char* name : names::kStartFlagger) text += format(" %s", name);
  text += "\n";
  // The finish flagger stands on a box across the track from him.
  const float finish_out = profile_at(lap, lap.half_width, plan.finish_at) + 8;
  beside(lap, plan.finish_at, -finish_out, px, pz);
  text += format("[%.2f 2 %.2f] 6 0.5", px, pz);
  for (const char* name : names::kFinishFlagger) text += format(" %s", name);
  text += "\n";
  // A marshal at every jump, waving while riders have the gates over it next.
  for (const FeatureSpan& span : lap.spans) {
    if (span.kind == Feature::kSand) continue;
    const float s = span.s0 + 5;
    const float out_by = profile_at(lap, lap.half_width, s) + 9;
    if (!clear_side(lap, s, out_by, 6, px, pz)) continue;
    const int first = next_gate(lap, gates, s);
    const int second = (first + 1) % static_cast<int>(gates.s.size());
    text += format("[%.2f 1 %.2f] 6 0.5 %d %d -1 -1 %s %s\n", px, pz, first, second,
                   names::kCourseFlagger[0], names::kCourseFlagger[1]);
  }
  write_file(out, plan.folder + "/flaggers", text);
}

void add_statue(race::Track& track, const char* const kind[3], float x, float z, float yaw) {
  race::Statue statue;
  statue.model = kind[0];
  statue.texture = kind[1];
  statue.shape_name = kind[2];
  statue.x = x;
  statue.z = z;
  statue.yaw = yaw;
  track.statues.push_back(statue);
}

// Hay bales along the outside of every corner and either side of every
// take-off; tyre stacks on the inside of the corners.
void place_statues(const Lap& lap, race::Track& track) {
  const int corners = static_cast<int>(lap.arcs.size());
  float x, z;
  for (int c = 0; c < corners; ++c) {
    const CornerArc& arc = lap.arcs[c];
    for (float f : {0.15f, 0.4f, 0.65f, 0.9f}) {
      const float s = arc.s0 + (arc.s1 - arc.s0) * f;
      const Sample& p = lap.samples[sample_at(lap, s)];
      const float half = profile_at(lap, lap.half_width, s);
      beside(lap, s, -arc.inside * (half + kBermLip + 3), x, z);
      if (clearance(lap, x, z) >= kBermLip + 2)
        add_statue(track, names::kHayBale, x, z, yaw_along(p.tx, p.tz));
    }
    for (float f : {0.3f, 0.7f}) {
      const float s = arc.s0 + (arc.s1 - arc.s0) * f;
      beside(lap, s, arc.inside * (profile_at(lap, lap.half_width, s) + 4), x, z);
      if (clearance(lap, x, z) >= 2.5f) add_statue(track, names::kTyreStack, x, z, 0);
    }
  }
  for (const FeatureSpan& span : lap.spans) {
    if (span.kind == Feature::kWhoops || span.kind == Feature::kSand) continue;
    for (float t : {0.0f, 5.0f}) {
      const float s = span.s0 + t;
      const Sample& p = lap.samples[sample_at(lap, s)];
      const float half = profile_at(lap, lap.half_width, s);
      for (float side : {1.0f, -1.0f}) {
        beside(lap, s, side * (half + 3), x, z);
        if (clearance(lap, x, z) >= 2.5f)
          add_statue(track, names::kHayBale, x, z, yaw_along(p.tx, p.tz));
      }
    }
  }
}

// The paddock's container beside the start straight, past the grid, where riders see it as
// the gate drops: its long side to the track, well clear of the banners. Nothing when
// neither side has room.
void place_container(const Lap& lap, race::Track& track) {
  const TrackPlan& plan = *lap.plan;
  const float s = plan.start_at + 90;
  const float out = profile_at(lap, lap.half_width, s) + 26;
  float x, z;
  if (!clear_side(lap, s, out, 18, x, z)) return;
  const Sample& p = lap.samples[sample_at(lap, s)];
  add_statue(track, names::kContainer, x, z, yaw_along(p.tx, p.tz));
}

// Banners along the longer legs, on alternate sides, leaving the starter and
// the finish flagger in the open.
void place_billboards(const Lap& lap, race::Track& track) {
  const TrackPlan& plan = *lap.plan;
  int next = 0;
  float x, z;
  for (std::size_t leg = 0; leg < lap.leg_start.size(); ++leg) {
    if (lap.leg_end[leg] - lap.leg_start[leg] < 120) continue;
    for (float s = lap.leg_start[leg] + 25; s <= lap.leg_end[leg] - 25; s += 45) {
      if (std::fabs(s - plan.start_at) < 30 || std::fabs(s - plan.finish_at) < 15) continue;
      const float side = next % 2 ? -1.0f : 1.0f;
      beside(lap, s, side * (profile_at(lap, lap.half_width, s) + 12), x, z);
      if (clearance(lap, x, z) < 8) continue;
      race::Billboard banner;
      banner.x = x;
      banner.z = z;
      banner.y_offset = 0.5f;
      banner.size = 3;
      banner.width_factor = 4;
      banner.texture = names::kBanners[next % 3];
      track.billboards.push_back(banner);
      ++next;
    }
  }
}

struct Camera {
  float x, z;
  std::vector<int> gates;
};

// A camera outside every corner and beside the middle of every long leg; each
// checkpoint is watched by the camera nearest to it.
void write_cameras(Output& out, const Lap& lap, const race::Track& track) {
  std::vector<Camera> cameras;
  float x, z;
  for (const CornerArc& arc : lap.arcs) {
    const float s = (arc.s0 + arc.s1) / 2;
    beside(lap, s, -arc.inside * (profile_at(lap, lap.half_width, s) + 35), x, z);
    if (clearance(lap, x, z) >= 20) cameras.push_back({x, z, {}});
  }
  for (std::size_t leg = 0; leg < lap.leg_start.size(); ++leg) {
    if (lap.leg_end[leg] - lap.leg_start[leg] < 250) continue;
    const float s = (lap.leg_start[leg] + lap.leg_end[leg]) / 2;
    if (clear_side(lap, s, profile_at(lap, lap.half_width, s) + 30, 20, x, z))
      cameras.push_back({x, z, {}});
  }
  for (std::size_t g = 0; g < track.checkpoints.size() && !cameras.empty(); ++g) {
    const sim::Vec3& at = track.checkpoints[g].centre;
    std::size_t best = 0;
    for (std::size_t c = 1; c < cameras.size(); ++c) {
      if (std::hypot(cameras[c].x - at.x, cameras[c].z - at.z) <
          std::hypot(cameras[best].x - at.x, cameras[best].z - at.z)) {
        best = c;
      }
    }
    cameras[best].gates.push_back(static_cast<int>(g));
  }
  std::string text;
  for (const Camera& camera : cameras) {
    if (!camera.gates.empty()) {
      text += "gate";
      for (int g : camera.gates) text += format(" %d", g);
      text += "\n";
    }
    text += format("fov 55\nautofovsize 20\naddcamera %.2f 12 %.2f\n", camera.x, camera.z);
  }
  write_file(out, lap.plan->folder + "/cameras", text);
}

void write_lighting(Output& out, const TrackPlan& plan) {
  const float length = std::hypot(std::hypot(plan.sun[0], plan.sun[1]), plan.sun[2]);
  const float sun[3] = {plan.sun[0] / length, plan.sun[1] / length, plan.sun[2] / length};
  std::string text;
  text += format("sun_vector [%.4f %.4f %.4f]\n", sun[0], sun[1], sun[2]);
  text += "sun_color [1.0 0.96 0.88]\nambient [0.45 0.47 0.52]\nglobal_ambient [0.25 0.25 0.28]\n";
  const char* const keys[5] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u"};
  for (int i = 0; i < 5; ++i) text += format("%s %s\n", keys[i], names::kSky[i]);
  text += format("sky_env %s\n", names::kSkyEnv);
  text += format("fog [%.3f %.3f %.3f] %.5f\n", plan.fog[0], plan.fog[1], plan.fog[2], plan.fog[3]);
  text += "near_plane 0.5\nfar_plane 4000\ndynamic_lighting 0\n";
  // The sun's flare: a glow on the sun, rings and spots strung along the line through the
  // middle of the view (position along it, size; colour; brightness).
  text += format("flare_element [0 1.6] [1 0.95 0.8] 1.0 %s\n", names::kFlare[0]);
  text += format("flare_element [0.4 0.35] [0.6 0.8 1] 0.5 %s\n", names::kFlare[1]);
  text += format("flare_element [0.9 0.15] [1 0.7 0.5] 0.6 %s\n", names::kFlare[2]);
  text += format("flare_element [1.4 0.25] [0.5 1 0.6] 0.4 %s\n", names::kFlare[1]);
  text += format("flare_element [1.8 0.1] [0.8 0.8 1] 0.5 %s\n", names::kFlare[2]);
  text += format("flare_vector [%.4f %.4f %.4f]\n", sun[0], sun[1], sun[2]);
  write_file(out, plan.folder + "/lighting", text);
}

// The HUD's map: the whole field seen from above, x to the right and z down,
// the track light on a clear ground with a dark edge and the finish line red.
void write_map(Output& out, const Lap& lap) {
  constexpr int kSide = 256;
  const float extent = sim::g_terrain.extent;
  const float pixel = extent / kSide;
  Picture map(kSide, kSide, 4);
  fill(map, Rgba{0, 0, 0, 0});
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t k = 0; k < lap.samples.size(); ++k) {
      const Sample& s = lap.samples[k];
      const float radius = (lap.half_width[k] + (pass == 0 ? 6 : 0)) / pixel + 0.5f;
      fill_disc(map, s.x / pixel, s.z / pixel, std::max(radius, 1.5f),
                pass == 0 ? Rgba{30, 30, 30} : Rgba{235, 225, 205});
    }
  }
  const Sample& finish = lap.samples[sample_at(lap, lap.plan->finish_at)];
  fill_disc(map, finish.x / pixel, finish.z / pixel, 3, Rgba{220, 30, 30});
  write_picture(out, lap.plan->folder + "/map.png", map);
}

}  // namespace

void dress_track(Output& out, const Lap& lap) {
  const TrackPlan& plan = *lap.plan;
  const std::string dir = out.root + plan.folder;
  write_lighting(out, plan);
  race::Track track;
  const Gates gates = place_gates(lap);
  write_timing(out, lap, gates, track);
  write_flaggers(out, lap, gates);
  place_billboards(lap, track);
  if (!race::write_billboards(track, dir.c_str())) out.ok = false;
  place_statues(lap, track);
  place_container(lap, track);
  if (!race::write_statues(track, dir.c_str())) out.ok = false;
  write_cameras(out, lap, track);
  write_map(out, lap);
  write_file(out, plan.folder + "/desc", plan.display_name + "\n");
  std::printf("kvgen: %s: lap %.0f ft, %d timing gates, %d statues, %d banners\n",
              plan.folder.c_str(), lap.length, static_cast<int>(track.checkpoints.size()),
              static_cast<int>(track.statues.size()) - track.first_file_statue,
              static_cast<int>(track.billboards.size()));
}

}  // namespace content
