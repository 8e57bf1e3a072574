// track_practice.cpp -- the practice arena: a flat oval loop for getting used to the bike.
#include "content/content.h"

namespace content {

namespace {

float flat_ground(float, float) { return 0; }

}  // namespace

TrackPlan practice_plan() {
  TrackPlan plan;
  plan.folder = "practice";
  plan.display_name = "Practice Arena";
  plan.size_log2 = 7;  // 257 x 257 points,
  plan.spacing = 2;    // 512 ft a side
  // A rounded square of 250 ft legs, unbanked: nothing but the bike to learn.
  plan.corners = {
      {130, 130, 50, 0, false, 30},
      {380, 130, 50, 0, false, 30},
      {380, 380, 50, 0, false, 30},
      {130, 380, 50, 0, false, 30},
  };
  plan.ground = flat_ground;
  plan.start_at = 70;
  plan.finish_at = 130;
  plan.start_width = 50;
  plan.sun[0] = 0.3f;
  plan.sun[1] = 0.85f;
  plan.sun[2] = -0.4f;
  plan.fog[3] = 0.0002f;
  plan.seed = 0x50524143;
  return plan;
}

}  // namespace content
