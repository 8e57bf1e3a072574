// contact.cpp -- wheels and body-part spheres against the height field, and bikes against
// each other: the contact joints, tyre friction and rolling resistance.
#include <cstring>

#include "sim/bike_internal.h"

namespace sim {

namespace {

// Without a loaded field the ground is the plane y = 0, seen through a virtual grid.
constexpr double kFlatSpacing = 4;

struct Grid {
  const float* heights = nullptr;
  int points = 0;
  double spacing = kFlatSpacing;

  Grid() {
    if (g_terrain.heights) {
      heights = g_terrain.heights;
      points = g_terrain.points_per_side;
      spacing = g_terrain.spacing;
    }
  }
  double height(long ix, long iz) const {
    if (!heights) return 0;
    const long last = points - 1;
    ix = std::clamp(ix, 0L, last);
    iz = std::clamp(iz, 0L, last);
    return heights[static_cast<std::size_t>(iz) * points + ix];
  }
  V3 point(long ix, long iz) const {
    return {static_cast<double>(ix) * spacing, height(ix, iz), static_cast<double>(iz) * spacing};
  }
};

// Closest point of triangle abc to p (the Voronoi-region method).
V3 closest_on_triangle(V3 p, V3 a, V3 b, V3 c) {
  const V3 ab = b - a, ac = c - a, ap = p - a;
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const V3 bp = p - b;
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + ab * (d1 / (d1 - d3));
  const V3 cp = p - c;
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
    return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  }
  const double denom = 1 / (va + vb + vc);
  return a + ab * (vb * denom) + ac * (vc * denom);
}

// Closest point of the circle (centre, unit axle, radius) to q.
V3 closest_on_circle(V3 q, V3 centre, V3 axle, double radius) {
  V3 d = q - centre;
  d = d - axle * dot(d, axle);
  double l = length(d);
  if (!(l > radius * 1e-6)) {
    // q on the axle: any direction will do; take one square to the axle.
    static const V3 kTry[3] = {{1e-3, 0, 0}, {0, 1e-3, 0}, {0, 0, 1e-3}};
    for (const V3& t : kTry) {
      d = t - axle * dot(t, axle);
      l = length(d);
      if (l > 1e-6) break;
    }
  }
  return centre + d * (radius / l);
}

// The separation of a point from a triangle: negative when the point lies under the
// triangle's face (its projection inside the triangle).
double separation(V3 p, V3 q, V3 n) {
  const V3 d = p - q;
  const double along = dot(d, n);
  const double l = length(d);
  if (along < 0 && length2(d - n * along) <= 1e-12 * (1 + l * l)) return -l;
  return l;
}

V3 outward_normal(V3 p, V3 q, V3 face, double signed_distance) {
  if (signed_distance > 1e-9) return (p - q) * (1 / signed_distance);
  return face;
}

void finish_normal(TerrainHit& hit) {
  V3 n = v3(hit.normal);
  if (n.y < 0) {
    if (n.x * n.x + n.z * n.z >= 1.0 / 1024) {
      n.y = 0;
    } else {
      n = {0, 1, 0};
    }
  }
  n = normalized(n);
  hit.normal[0] = n.x;
  hit.normal[1] = n.y;
  hit.normal[2] = n.z;
}

// Visits the candidate triangles around (x, z) within `reach`: z rows outside, x inside,
// both triangles of each cell.
template <class Visit>
void for_each_triangle(double x, double z, double reach, const Grid& grid, Visit visit) {
  const double s = grid.spacing;
  auto index = [](double v) { return static_cast<long>(clampd(v, -1e7, 1e7)); };
  const long x0 = index(std::floor((x - reach) / s)), x1 = index(std::ceil((x + reach) / s)) - 1;
  const long z0 = index(std::floor((z - reach) / s)), z1 = index(std::ceil((z + reach) / s)) - 1;
  for (long iz = z0; iz <= z1; ++iz) {
    for (long ix = x0; ix <= x1; ++ix) {
      const V3 p00 = grid.point(ix, iz), p10 = grid.point(ix + 1, iz);
      const V3 p01 = grid.point(ix, iz + 1), p11 = grid.point(ix + 1, iz + 1);
      if (((ix + iz) & 1) == 0) {
        visit(p00, p10, p11);
        visit(p00, p11, p01);
      } else {
        visit(p00, p10, p01);
        visit(p10, p11, p01);
      }
    }
  }
}

V3 face_normal(V3 a, V3 b, V3 c) {
  V3 n = normalized(cross(b - a, c - a));
  if (n.y < 0) n = -n;
  return n;
}

bool finite(const dReal* p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

void store(TerrainHit& hit, V3 point, V3 normal, double depth) {
  hit.hit = true;
  hit.depth = depth;
  hit.point[0] = point.x;
  hit.point[1] = point.y;
  hit.point[2] = point.z;
  hit.normal[0] = normal.x;
  hit.normal[1] = normal.y;
  hit.normal[2] = normal.z;
}

}  // namespace

TerrainHit sphere_terrain(const dReal* centre_in, double radius) {
  TerrainHit hit;
  if (!finite(centre_in) || !(radius > 0)) return hit;
  const V3 centre = v3(centre_in);
  const Grid grid;
  for_each_triangle(centre.x, centre.z, radius, grid, [&](V3 a, V3 b, V3 c) {
    const V3 n = face_normal(a, b, c);
    if (dot(centre - a, n) > radius) return;
    const V3 q = closest_on_triangle(centre, a, b, c);
    const double d = separation(centre, q, n);
    const double depth = radius - d;
    if (depth > 0 && (!hit.hit || depth > hit.depth)) {
      store(hit, q, outward_normal(centre, q, n, d), depth);
    }
  });
  if (hit.hit) finish_normal(hit);
  return hit;
}

TerrainHit torus_terrain(const dReal* centre_in, const dReal* axle_in, double ring_radius,
                         double tube_radius) {
  TerrainHit hit;
  if (!finite(centre_in) || !finite(axle_in)) return hit;
  const V3 centre = v3(centre_in);
  const V3 axle = normalized(v3(axle_in));
  const double reach = ring_radius + tube_radius;
  const Grid grid;
  for_each_triangle(centre.x, centre.z, reach, grid, [&](V3 a, V3 b, V3 c) {
    const V3 n = face_normal(a, b, c);
    if (dot(centre - a, n) > reach) return;
    // The circle's lowest point towards the face. When it lies under the face the ring cuts
    // the ground and that point is the deepest; otherwise project back and forth between
    // triangle and circle, which settles in a few rounds for a wheel on the ground.
    V3 down = n - axle * dot(n, axle);
    V3 p = length2(down) > 1e-12 ? centre - normalized(down) * ring_radius
                                 : closest_on_circle(a, centre, axle, ring_radius);
    V3 q = closest_on_triangle(p, a, b, c);
    const double below = dot(p - a, n);
    if (below < 0 && separation(p, q, n) < 0) {
      const double depth = tube_radius - below;
      if (!hit.hit || depth > hit.depth) store(hit, q, n, depth);
      return;
    }
    for (int round = 0; round < 4; ++round) {
      p = closest_on_circle(q, centre, axle, ring_radius);
      q = closest_on_triangle(p, a, b, c);
    }
    const double d = separation(p, q, n);
    const double depth = tube_radius - d;
    if (depth > 0 && (!hit.hit || depth > hit.depth)) {
      store(hit, q, outward_normal(p, q, n, d), depth);
    }
  });
  if (hit.hit) finish_normal(hit);
  return hit;
}

void tyre_stiffness(double sinkage, double* kp, double* kd) {
  const double c3 = sinkage * sinkage * sinkage;
  *kp = 1000 + 24000 * c3;
  *kd = 200 + 2300 * c3;
}

bool wheel_contact(Bike* bike, int which, double friction_multiplier) {
  WheelContact& w = bike->wheel[which];
  w.has_feedback = false;
  const V3 axle = to_world_vector(w.body, V3{1, 0, 0});
  const dReal axle_world[3] = {axle.x, axle.y, axle.z};
  const TerrainHit hit =
      torus_terrain(dBodyGetPosition(w.body), axle_world, w.ring_radius, w.tube_radius);
  if (!hit.hit) {
    w.depth = 0;
    return false;
  }
  const V3 point = v3(hit.point);
  const V3 n = v3(hit.normal);
  const V3 u = point_velocity(w.body, point);
  std::memcpy(w.point, hit.point, sizeof w.point);
  std::memcpy(w.normal, hit.normal, sizeof w.normal);
  w.velocity[0] = u.x;
  w.velocity[1] = u.y;
  w.velocity[2] = u.z;
  w.depth = hit.depth;
  w.surface = terrain_surface_at(static_cast<float>(point.x), static_cast<float>(point.z));

  const double mu =
      surface_friction(w.surface, static_cast<float>(length(u))) * friction_multiplier;
  const double sinkage = std::min(hit.depth / w.tube_radius, 1.0);
  double kp, kd;
  tyre_stiffness(sinkage, &kp, &kd);

  dContact contact;
  std::memset(&contact, 0, sizeof contact);
  contact.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
  V3 f = cross(n, u);
  if (length2(f) < 1.0 / 1024) f = cross(n, axle);  // barely sliding: along the axle
  if (length2(f) > 0) {
    f = normalized(f);
    contact.surface.mode |= dContactFDir1;
    contact.fdir1[0] = f.x;
    contact.fdir1[1] = f.y;
    contact.fdir1[2] = f.z;
  }
  contact.surface.mu = mu;
  contact.surface.soft_erp = soft_erp(kp, kd);
  contact.surface.soft_cfm = soft_cfm(kp, kd);
  std::memcpy(contact.geom.pos, hit.point, sizeof hit.point);
  std::memcpy(contact.geom.normal, hit.normal, sizeof hit.normal);
  contact.geom.depth = hit.depth;
  dJointID joint = dJointCreateContact(physics_world(), contact_group(), &contact);
  dJointAttach(joint, w.body, nullptr);
  std::memset(&w.feedback, 0, sizeof w.feedback);
  dJointSetFeedback(joint, &w.feedback);
  w.has_feedback = true;

  // Rolling resistance, fading linearly to nothing below 1 ft/s.
  const V3 v = velocity(w.body);
  const V3 t = v - n * dot(v, n);
  const double along = length(t);
  const double force =
      surface_roll_resist(w.surface, static_cast<float>(along), static_cast<float>(sinkage));
  const V3 drag = along > 1 ? t * (-force / along) : t * -force;
  dBodyAddForce(w.body, drag.x, drag.y, drag.z);
  return true;
}

bool shape_contacts(const Shape& shape, dBodyID body) {
  bool touched = false;
  for (const ShapeSphere& sphere : shape.spheres) {
    const V3 centre = to_world_point(body, V3{sphere.centre.x, sphere.centre.y, sphere.centre.z});
    const dReal at[3] = {centre.x, centre.y, centre.z};
    const TerrainHit hit = sphere_terrain(at, sphere.radius);
    if (!hit.hit) continue;
    touched = true;
    soft_contact(body, nullptr, v3(hit.point), v3(hit.normal), hit.depth, sphere.friction, 2500,
                 250, dContactApprox1);
  }
  return touched;
}

// --- Bike against bike -------------------------------------------------------

namespace {

constexpr BodyPart kCollidingParts[] = {kFrontWheel, kRearWheel, kFrame, kSteeringHead,
                                        kForkLower,  kSwingarm,  kRider};

bool front_end(int part) { return part == kFrontWheel || part == kForkLower; }

// Two bikes push each other apart with forces rather than a contact joint: a joint would make
// the touching bikes one island for the world step, whose exact solver costs the cube of an
// island's constraints, and a bunched field in a turn then costs seconds a tick. The forces are
// the soft contact's spring and damper (2500 lbf/ft, 250 lbf·s/ft) with friction 0.5, each
// limited to what the two bodies' reduced mass takes in one tick without overshooting.
void bike_push(dBodyID a, dBodyID b, V3 point, V3 normal, double depth) {
  constexpr double kSpring = 2500, kDamper = 250, kFriction = 0.5;
  dMass ma, mb;
  dBodyGetMass(a, &ma);
  dBodyGetMass(b, &mb);
  if (!(ma.mass > 0) || !(mb.mass > 0)) return;
  const double m = ma.mass * mb.mass / (ma.mass + mb.mass);
  const double dt = kTickSeconds;
  dVector3 va, vb;
  dBodyGetPointVel(a, point.x, point.y, point.z, va);
  dBodyGetPointVel(b, point.x, point.y, point.z, vb);
  const V3 rel = v3(va) - v3(vb);
  const double closing = -dot(rel, normal);
  const double spring = std::min(kSpring, 0.25 * m / (dt * dt));
  const double damper = std::min(kDamper, 0.5 * m / dt);
  const double push = std::max(0.0, spring * depth + damper * closing);
  V3 force = normal * push;
  const V3 slide = rel + normal * closing;
  const double slide_speed = length(slide);
  if (slide_speed > 1e-9) {
    const double drag = std::min(kFriction * push, 0.5 * m * slide_speed / dt);
    force = force - slide * (drag / slide_speed);
  }
  dBodyAddForceAtPos(a, force.x, force.y, force.z, point.x, point.y, point.z);
  dBodyAddForceAtPos(b, -force.x, -force.y, -force.z, point.x, point.y, point.z);
}

// The deepest overlap between two bodies' spheres pushes them apart; true when they touch.
bool parts_touch(const Shape& sa, dBodyID a, const Shape& sb, dBodyID b) {
  const V3 ca = position(a), cb = position(b);
  const double reach = sa.bounding_radius + sb.bounding_radius;
  if (sa.spheres.empty() || sb.spheres.empty() || length2(ca - cb) > reach * reach) return false;
  double best = 0;
  V3 best_point, best_normal;
  for (const ShapeSphere& s : sa.spheres) {
    const V3 pa = to_world_point(a, V3{s.centre.x, s.centre.y, s.centre.z});
    for (const ShapeSphere& t : sb.spheres) {
      const V3 pb = to_world_point(b, V3{t.centre.x, t.centre.y, t.centre.z});
      const V3 d = pa - pb;
      const double l = length(d);
      const double depth = s.radius + t.radius - l;
      if (depth > best && l > 1e-9) {
        best = depth;
        best_normal = d * (1 / l);
        best_point = pb + best_normal * (t.radius - depth / 2);
      }
    }
  }
  if (!(best > 0)) return false;
  bike_push(a, b, best_point, best_normal, best);
  return true;
}

void raise_timer(Bike* bike, int to) {
  bike->collision_timer = std::max(bike->collision_timer, to);
}

void protect_victim(Bike* bike) {
  if (bike->collision_timer <= 0) bike->collision_timer = std::min(bike->collision_timer, -640);
}

}  // namespace

void bike_bike_collide(Bike* a, Bike* b) {
  // Nothing of two bikes further apart than this can touch.
  constexpr double kNear = 12;
  if (length2(position(a->body[kFrame]) - position(b->body[kFrame])) > kNear * kNear) return;
  bool any = false, a_front = false, b_front = false;
  for (BodyPart pa : kCollidingParts) {
    if (pa == kRider && a->crash_timer > 0) continue;
    for (BodyPart pb : kCollidingParts) {
      if (pb == kRider && b->crash_timer > 0) continue;
      if (!parts_touch(a->shape[pa], a->body[pa], b->shape[pb], b->body[pb])) continue;
      any = true;
      a_front = a_front || front_end(pa);
      b_front = b_front || front_end(pb);
    }
  }
  if (!any) return;
  const double va = frame_speed(a), vb = frame_speed(b);
  constexpr double kSlow = 5, kFast = 10;
  if (a_front && b_front) {
    if (va >= kFast) raise_timer(a, 192);
    if (vb >= kFast) raise_timer(b, 192);
  } else if (b_front) {
    if (!bike_crashed(a) && va >= kSlow && vb >= kFast) {
      raise_timer(b, 256);
      protect_victim(a);
    }
  } else if (a_front) {
    if (!bike_crashed(b) && vb >= kSlow && va >= kFast) {
      raise_timer(a, 256);
      protect_victim(b);
    }
  }
  a->collision_tick = b->collision_tick = g_sim.tick;
}

}  // namespace sim
