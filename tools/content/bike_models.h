// bike_models.h -- what bikes.cpp and riders.cpp share: the rest frame of the bodies and the PNG
// writer that embeds hint text.
#pragma once

#include <string>

#include "content/content.h"
#include "content/mesh_build.h"

namespace content {

// Where the catalogue's bodies rest (ft, the bike's rest frame, y = 0 on the
// ground): every model is built there and shifted into its body's coordinates.
struct BikeRest {
  V3 frame, front_axle, rear_axle, steering, swingarm, fork_lower, rider, pivot;
  V3 fork_axis;           // unit, up the fork legs (up and back)
  V3 fork_forward;        // unit, square to the fork in the centre plane, forwards
  float fork_half_width;  // ft, centre plane to each leg
  float front_ring, front_tube, rear_ring, rear_tube;  // tyres (ft)
};

// Taken from the catalogue's first entry: every model shares these.
BikeRest bike_rest();

// Where the rider holds on and stands, in the rest frame (the right-hand
// side; the left mirrors it): the middle of the right grip, the top of the
// right footpeg, and the seat's top where the rider sits (x = 0).
constexpr V3 kRightGrip{0.84f, 3.54f, 2.29f};
constexpr V3 kRightPeg{0.5f, 1.3f, 4.05f};
constexpr V3 kSeatTop{0, 3.27f, 4.05f};

}  // namespace content
