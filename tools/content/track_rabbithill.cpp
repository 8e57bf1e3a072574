// track_rabbithill.cpp -- Rabbit Hill, the default track: a motocross circuit on rolling ground.
//
// Seen from above (x east, z south), riding order:
//
//   start straight east along z = 440, the grid and the finish line on it
//   1-2  the wide first turn, a bermed right-hander of 85 ft radius, back west
//        tabletop on the way west
//   3    left down the west side;  double
//   4-9  a serpentine of 42 ft hairpins:  rhythm section north, whoops south,
//        sand north
//   10   right, east along z = 700
//   11   the off-camber right-hander, down the hill's cold side
//        uphill jump climbing south to the top of Rabbit Hill
//   12   right at the top;  downhill jump off the crest, down the long leg west
//   13   right, north up the west side, and right again onto the start straight
#include <cmath>

#include "content/content.h"

namespace content {

namespace {

// A round rise of the land.
float mound(float x, float z, float cx, float cz, float height, float spread) {
  return height * std::exp(-((x - cx) * (x - cx) + (z - cz) * (z - cz)) / (2 * spread * spread));
}

// The land: long low swells; the hill in the south-east, which the lap climbs
// and comes down; a knoll inside corner 11 that the turn falls away from.
float rabbithill_ground(float x, float z) {
  return 8 + 3.0f * std::sin(x / 140 + 0.4f) * std::cos(z / 190 - 0.3f) +
         2.2f * std::sin((x + 0.6f * z) / 110 + 1.1f) + 1.2f * std::sin((0.3f * x - z) / 75) +
         mound(x, z, 1150, 1060, 26, 115) + mound(x, z, 1095, 755, 5, 50);
}

}  // namespace

TrackPlan rabbithill_plan() {
  TrackPlan plan;
  plan.folder = "rabbithill";
  plan.display_name = "Rabbit Hill";
  plan.size_log2 = 9;   // 1025 x 1025 points,
  plan.spacing = 1.5f;  // 1536 ft a side
  //                 x     z    radius berm  off-camber width
  plan.corners = {
      {420, 440, 60, 3.5f, false, 32},  // 0: onto the start straight
      {1000, 440, 85, 5, false, 34},    // 1: the first turn
      {1000, 620, 85, 5, false, 30},    // 2
      {520, 620, 45, 4, false, 30},     // 3
      {520, 940, 42, 4, false, 28},     // 4: the serpentine
      {610, 940, 42, 4, false, 28},     // 5
      {610, 700, 42, 4, false, 28},     // 6
      {700, 700, 42, 4, false, 28},     // 7
      {700, 940, 42, 4, false, 28},     // 8
      {790, 940, 42, 4, false, 28},     // 9
      {790, 700, 45, 4, false, 30},     // 10
      {1150, 700, 55, 0, true, 30},     // 11: off-camber
      {1150, 1040, 60, 4, false, 30},   // 12: the top of the hill
      {420, 1040, 60, 4, false, 30},    // 13
  };
  plan.features = {
      {2, Feature::kTabletop, 120},     {3, Feature::kDouble, 70}, {5, Feature::kRhythm, 20},
      {7, Feature::kWhoops, 25},        {9, Feature::kSand, 14},   {11, Feature::kUphillJump, 150},
      {12, Feature::kDownhillJump, 40},
  };
  plan.ground = rabbithill_ground;
  plan.start_at = 110;
  plan.finish_at = 170;
  plan.start_width = 50;
  // Afternoon sun in the south-west, a light summer haze.
  plan.sun[0] = -0.45f;
  plan.sun[1] = 0.75f;
  plan.sun[2] = 0.48f;
  plan.fog[0] = 0.72f;
  plan.fog[1] = 0.78f;
  plan.fog[2] = 0.85f;
  plan.fog[3] = 0.00035f;
  plan.seed = 0x52414242;
  return plan;
}

}  // namespace content
