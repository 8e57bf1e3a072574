// erosion.cpp -- wheels that dig: events recorded under the wheels, dirt moved behind the bike.
#include "sim/bike_internal.h"

namespace sim {

void erosion_record(Bike* bike) {
  if (!(g_sim.erosion_scale > 0)) return;
  for (const WheelContact& w : bike->wheel) {
    if (!(w.depth > 0) || !w.has_feedback) continue;
    const int k =
        terrain_surface_at(static_cast<float>(w.point[0]), static_cast<float>(w.point[2]));
    const SurfaceType& s = g_terrain.surfaces[k];
    const double speed = length(velocity(w.body));
    const double span = s.erode_on_speed - s.erode_off_speed;
    const double a = span > 0 ? clampd((speed - s.erode_off_speed) / span, 0, 1)
                              : (speed >= s.erode_on_speed ? 1.0 : 0.0);
    const double gx = a * w.feedback.f1[0], gz = a * w.feedback.f1[2];
    const double g2 = gx * gx + gz * gz;
    if (!(std::sqrt(g2) > s.erode_lower) || !(g2 > 1.0 / 1024)) continue;
    const int next = (bike->erosion_write + 1) % kErosionRing;
    if (next == bike->erosion_read) continue;  // full: the event is dropped
    bike->erosion[bike->erosion_write] = {static_cast<float>(w.point[0]),
                                          static_cast<float>(w.point[2]), static_cast<float>(gx),
                                          static_cast<float>(gz)};
    bike->erosion_write = next;
    ++bike->erosion_events;
  }
}

void erosion_apply(Bike* bike) {
  if (!(g_sim.erosion_scale > 0)) return;
  const dReal* frame = dBodyGetPosition(bike->body[kFrame]);
  for (int n = 0; n < 4 && bike->erosion_read != bike->erosion_write; ++n) {
    const ErosionEvent& e = bike->erosion[bike->erosion_read];
    const double dx = e.x - frame[0], dz = e.z - frame[2];
    // Ruts appear behind the bike only: this event and the ones after it wait.
    if (dx * dx + dz * dz < 100) return;
    bike->erosion_read = (bike->erosion_read + 1) % kErosionRing;
    const int k = terrain_surface_at(e.x, e.z);
    const SurfaceType& s = g_terrain.surfaces[k];
    const double g = std::sqrt(double(e.gx) * e.gx + double(e.gz) * e.gz);
    if (!(g > 0)) continue;
    const double span = s.erode_upper - s.erode_lower;
    const double w = span > 0 ? clampd((g - s.erode_lower) / span, 0, 1) : 1;
    const double d = w * s.erode_displacement;
    // The dirt is thrown against the direction of the force.
    const float x2 = static_cast<float>(e.x - e.gx / g * d);
    const float z2 = static_cast<float>(e.z - e.gz / g * d);
    if (terrain_height(x2, z2) - terrain_height(e.x, e.z) > d * s.erode_max_slope) continue;
    const float amount = static_cast<float>(g_sim.erosion_scale * (1.0 / 2048) * s.erode_depth);
    terrain_deform(e.x, e.z, s.erode_radius, -amount);
    terrain_deform(x2, z2, s.erode_radius, amount);
  }
}

}  // namespace sim
