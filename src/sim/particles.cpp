// particles.cpp -- the roost: dirt thrown by spinning wheels and splashed up by wheels in sand.
#include <numbers>
#include <random>

#include "sim/bike_internal.h"

namespace sim {

namespace {

Particle g_pool[kParticles];
int g_free[kParticles];
int g_free_count = -1;  // -1: the free list is not built yet
int g_live = 0;
platform::Mt19937 g_random(20061);

void build_free_list() {
  if (g_free_count >= 0) return;
  for (int i = 0; i < kParticles; ++i) {
    g_pool[i].alive = false;
    g_free[i] = kParticles - 1 - i;
  }
  g_free_count = kParticles;
  g_live = 0;
}

double uniform01() { return static_cast<double>(g_random() >> 8) * (1.0 / 16777216.0); }
double uniform(double lo, double hi) { return lo + (hi - lo) * uniform01(); }

V3 jitter(double amount) {
  return {amount * uniform(-0.5, 0.5), amount * uniform(-0.5, 0.5), amount * uniform(-0.5, 0.5)};
}

void spawn(V3 p, V3 v, const RoostType& type) {
  const float pos[3] = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
  const float vel[3] = {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
  particle_spawn(pos, vel, type);
}

// p rotated by `angle` about the axis through `centre`.
V3 rotate_about(V3 p, V3 centre, V3 axis, double angle) {
  const V3 d = p - centre;
  const double c = std::cos(angle), s = std::sin(angle);
  return centre + d * c + cross(axis, d) * s + axis * (dot(axis, d) * (1 - c));
}

}  // namespace

bool particle_spawn(const float position[3], const float velocity[3], const RoostType& type) {
  build_free_list();
  if (g_free_count == 0) return false;  // the pool is empty: dropped
  Particle& p = g_pool[g_free[--g_free_count]];
  for (int i = 0; i < 3; ++i) {
    p.position[i] = position[i];
    p.velocity[i] = velocity[i];
  }
  p.size = type.size;
  for (int i = 0; i < 4; ++i) {
    p.color[i] = type.color[i];
    p.fade[i] = type.fade[i];
  }
  p.grow = type.grow;
  p.drag = type.drag;
  p.type = &type;
  p.alive = true;
  ++g_live;
  return true;
}

void particles_update() {
  build_free_list();
  const float h = static_cast<float>(kTickSeconds);
  for (int i = 0; i < kParticles; ++i) {
    Particle& p = g_pool[i];
    if (!p.alive) continue;
    for (int a = 0; a < 3; ++a) p.position[a] += p.velocity[a] * h;
    for (int a = 0; a < 3; ++a) p.velocity[a] -= p.velocity[a] * h * p.drag;
    p.velocity[1] -= 32 * h;
    p.size += h * p.grow;
    for (int c = 0; c < 4; ++c)
      p.color[c] = static_cast<unsigned char>(std::clamp(p.color[c] + p.fade[c], 0, 255));
    if (p.velocity[1] < 0 && terrain_height(p.position[0], p.position[2]) > p.position[1]) {
      p.alive = false;
      g_free[g_free_count++] = i;
      --g_live;
    }
  }
}

void particles_clear() {
  g_free_count = -1;
  build_free_list();
}

const Particle* particles() { return g_pool; }
int live_particles() { return g_live; }

void roost_emit(Bike* bike, bool use_existing_contacts) {
  const int q = g_sim.roost_frequency;
  if (q <= 0) return;
  for (int which = 0; which < 2; ++which) {
    const WheelContact& w = bike->wheel[which];
    V3 point, normal;
    if (use_existing_contacts) {
      if (!(w.depth > 0)) continue;
      point = v3(w.point);
      normal = v3(w.normal);
    } else {
      const V3 axle = to_world_vector(w.body, V3{1, 0, 0});
      const dReal a[3] = {axle.x, axle.y, axle.z};
      const TerrainHit hit =
          torus_terrain(dBodyGetPosition(w.body), a, w.ring_radius, w.tube_radius);
      if (!hit.hit) continue;
      point = v3(hit.point);
      normal = v3(hit.normal);
    }
    const int k = terrain_surface_at(static_cast<float>(point.x), static_cast<float>(point.z));
    const SurfaceType& surface = g_terrain.surfaces[k];
    for (const RoostType& type : surface.roost) {
      if (type.mode == 0) break;
      const int allowance = q / 100 + (static_cast<int>(g_random() % 100) < q % 100 ? 1 : 0);
      const double whole = std::floor(type.count);
      int count = static_cast<int>(whole) + (uniform01() < type.count - whole ? 1 : 0);
      count = std::min(count, allowance);
      if (count <= 0) continue;
      const V3 wheel_velocity = velocity(w.body);
      if (type.mode == 2) {
        const V3 t = wheel_velocity - normal * dot(wheel_velocity, normal);
        const double speed = length(t);
        if (!(speed > 0)) continue;
        const V3 side = cross(normal, t * (1 / speed));
        const V3 jets[2] = {(normal + side) * (0.7071067811865476 * speed),
                            (normal - side) * (0.7071067811865476 * speed)};
        // The first jet alternates from tick to tick.
        for (int j = 0; j < count; ++j) {
          const V3 d = jets[(j + g_sim.tick) & 1];
          const V3 p = point + d * (kTickSeconds * j / count);
          spawn(p, (d + jitter(type.randomize)) * uniform(0, type.vscale), type);
        }
      } else if (type.mode == 1) {
        const V3 slip = point_velocity(w.body, point);
        if (length(slip) < type.slip_threshold) continue;
        const double max_spread = which == 0 ? std::numbers::pi / 8 : 2 * std::numbers::pi;
        double spread = std::numbers::pi / 64;
        if (dot(slip, wheel_velocity) < 0) {
          const double omega2 = length2(angular_velocity(w.body));
          const double lo2 = double(type.slow_speed) * type.slow_speed;
          const double hi2 = double(type.fast_speed) * type.fast_speed;
          const double e = hi2 > lo2 ? clampd((omega2 - lo2) / (hi2 - lo2), 0, 1) : 1;
          spread = std::min(max_spread, type.slow_angle + (type.fast_angle - type.slow_angle) * e);
        }
        const V3 axle = to_world_vector(w.body, V3{1, 0, 0});
        const V3 centre = position(w.body);
        for (int j = 0; j < count; ++j) {
          const V3 rim = rotate_about(point, centre, axle, spread * uniform01());
          const V3 v = point_velocity(w.body, rim);
          const V3 p = rim + v * (kTickSeconds * j / count);
          spawn(p, (v + jitter(type.randomize)) * type.vscale, type);
        }
      }
    }
  }
}

}  // namespace sim
