// track_internal.h -- the lap built from a track plan, shared by the track builder's files.
//
// A lap is the plan's corners joined by straight legs and circular arcs,
// sampled at an even step along its length, with one profile value per
// sample: the graded bed, the jumps, the width, the berms. The ground, the
// surfaces and every placed object are worked out from it.
#pragma once

#include <string>
#include <vector>

#include "content/content.h"

namespace content {

// Surfaces of the tile table, in the order tileinfo lists them.
enum Surface { kHardPack, kLoam, kSand, kGrass, kRough, kSurfaceCount };

constexpr float kShoulder = 18;  // ft over which the cut track blends into the land
constexpr float kBermLip = 4;    // ft of flat berm top beyond the outside edge

// One point of the centreline.
struct Sample {
  float x, z;    // ft, world
  float tx, tz;  // unit direction of riding
  float s;       // ft along the lap from the start of leg 0
  int leg;       // the leg it lies on, or -1 in a corner
  int corner;    // the corner it turns in, or -1 on a leg
};

// The arc of corner i: from A (end of leg i - 1) to B (start of leg i).
struct CornerArc {
  float ax, az, bx, bz;  // ft
  float ox, oz;          // the arc's centre
  float s0, s1;          // ft along the lap at A and at B
  int inside;  // +1: the centre lies on the side of positive lateral offset (a right-hander)
};

struct FeatureSpan {
  Feature kind;
  float s0, s1;  // ft along the lap
};

struct Lap {
  const TrackPlan* plan = nullptr;
  float length = 0;  // ft
  float step = 1;    // ft between samples
  std::vector<Sample> samples;
  std::vector<float> leg_start;  // ft along the lap where leg i starts (after corner i)
  std::vector<float> leg_end;    // and where it ends (before corner i + 1)
  std::vector<CornerArc> arcs;   // by corner
  std::vector<FeatureSpan> spans;

  // Profiles, one value per sample.
  std::vector<float> bed;            // ft, the graded track bed
  std::vector<float> jump;           // ft above the bed: jumps, whoops, the dip of the sand
  std::vector<float> half_width;     // ft
  std::vector<float> berm;           // ft, height of the berm on the outside
  std::vector<float> camber;         // slope falling away to the outside (off-camber)
  std::vector<float> turn;           // 0..1, how much of a corner this is (berm and camber ramps)
  std::vector<signed char> outside;  // +1 or -1: the lateral side that is the corner's outside
  std::vector<float> sand;           // 0..1, the sand section
};

// Builds the lap of a plan. False (and the reason on standard error) when the
// plan cannot be built: corners too tight for their legs, a feature that does
// not fit its leg, or two parts of the lap too close to keep apart.
bool build_lap(const TrackPlan& plan, Lap& lap);

// A profile's value at a distance along the lap, between its samples.
float profile_at(const Lap& lap, const std::vector<float>& profile, float s);
int sample_at(const Lap& lap, float s);

// Where a world point lies against the lap's nearest sample.
struct LapPoint {
  int sample = -1;
  float s = 0;  // ft along the lap of the nearest point of the centreline
  float u = 0;  // ft across: positive to the rider's right (y up, so +z is right of +x)
  float d = 0;  // ft from the centreline
};
// Exact projection onto the centreline near sample `near` (its two segments).
LapPoint project(const Lap& lap, int near, float x, float z);
// Brute force over every sample (for placing a few objects).
LapPoint nearest_point(const Lap& lap, float x, float z);
// The least clearance from (x, z) to the track's edge anywhere on the lap
// (distance to the centreline minus the half width there).
float clearance(const Lap& lap, float x, float z);

// The ground height of a point of the lap's corridor (the bed with its jumps,
// berms and camber, blended into the land over the shoulder).
float corridor_height(const Lap& lap, const LapPoint& p, float land);

// Writes terrain.hf, terrain.png, shading, shadows and tilemap (through the
// terrain's own writer) and tileinfo into the track folder. Leaves the field
// in sim::g_terrain for the dressing, which places objects on it.
void build_ground(Output& out, const Lap& lap);
// Writes lighting, timing_gates, flaggers, billboards, statues, cameras,
// map.png and desc.
void dress_track(Output& out, const Lap& lap);

}  // namespace content
