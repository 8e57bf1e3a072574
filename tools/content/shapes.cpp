// shapes.cpp -- the stock collision shapes of the bike's parts and the rider.
//
// Spheres are in each body's own coordinates: x across the bike, y up, forward
// -z, in feet, relative to the body's rest position in the catalogue:
//
//   frame (0, 1.98, 3.6)         upper fork (0, 2.9, 2.16)   fork sliders (0, 1.77, 1.59)
//   swingarm (0, 1.34, 4.99)     rider (0, 4.5, 4.12)
//   front wheel (0, 1.09, 1.11)  ring 0.96, tube 0.13     rear wheel (0, 1.04, 6.0)  ring 0.88,
//   tube 0.16
//
// y = 0 is the ground under the wheels at rest. A bike is placed by raising it
// until nothing touches, so no sphere of the frame, forks, swingarm or rider
// comes within 0.6 ft of the ground at rest: only the tyres carry the bike.
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "content/content.h"

namespace content {

namespace {

constexpr float kPlastic = 0.6f;  // frame, panels, fenders
constexpr float kMetal = 0.5f;    // fork legs, swingarm
constexpr float kRider = 0.8f;    // riding gear scrapes and grips
constexpr float kRubber = 0.8f;

// A sphere and its mirror image across the bike's centre plane.
void pair(std::vector<Sphere>& spheres, float x, float y, float z, float radius, float friction) {
  spheres.push_back({x, y, z, radius, friction});
  spheres.push_back({-x, y, z, radius, friction});
}

// The tyre as a ring of spheres round the axle (the body's x axis).
std::vector<Sphere> tyre(float ring_radius, float tube_radius) {
  std::vector<Sphere> spheres;
  constexpr int kCount = 16;
  for (int i = 0; i < kCount; ++i) {
    const float a = 2 * std::numbers::pi_v<float> * i / kCount;
    spheres.push_back(
        {0, ring_radius * std::sin(a), ring_radius * std::cos(a), tube_radius, kRubber});
  }
  return spheres;
}

std::vector<Sphere> frame() {
  std::vector<Sphere> s;
  s.push_back({0, -0.43f, -0.15f, 0.5f, kPlastic});  // engine cases
  s.push_back({0, -0.13f, -0.85f, 0.4f, kPlastic});  // cylinder and down tubes
  s.push_back({0, 0.87f, -0.65f, 0.45f, kPlastic});  // tank
  pair(s, 0.5f, 0.57f, -0.95f, 0.32f, kPlastic);     // radiators and shrouds
  s.push_back({0, 0.97f, 0.3f, 0.38f, kPlastic});    // seat, front
  s.push_back({0, 0.92f, 1.1f, 0.35f, kPlastic});    // seat, rear
  pair(s, 0.45f, 0.42f, 1.2f, 0.3f, kPlastic);       // side panels and silencer
  s.push_back({0, 0.82f, 1.9f, 0.3f, kPlastic});     // rear fender
  s.push_back({0, 0.72f, 2.7f, 0.25f, kPlastic});    // fender tail
  pair(s, 0.6f, -0.72f, 0.45f, 0.12f, kMetal);       // footpeg tips
  return s;
}

std::vector<Sphere> fork_upper() {
  std::vector<Sphere> s;
  s.push_back({0, 0.35f, -0.1f, 0.3f, kPlastic});     // top clamp and bar mounts
  pair(s, 0.95f, 0.58f, -0.25f, 0.15f, kPlastic);     // bar ends
  s.push_back({0, 0.15f, -0.45f, 0.3f, kPlastic});    // number plate
  pair(s, 0.335f, -0.4f, -0.2f, 0.12f, kMetal);       // fork tubes
  s.push_back({0, -0.55f, -1.01f, 0.28f, kPlastic});  // front fender
  return s;
}

std::vector<Sphere> fork_lower() {
  std::vector<Sphere> s;
  pair(s, 0.335f, -0.5f, -0.35f, 0.13f, kMetal);  // fork feet at the axle
  pair(s, 0.335f, -0.05f, -0.04f, 0.13f, kMetal);
  pair(s, 0.335f, 0.4f, 0.28f, 0.13f, kMetal);  // seals
  return s;
}

std::vector<Sphere> swingarm() {
  std::vector<Sphere> s;
  pair(s, 0.3f, 0.2f, -0.67f, 0.14f, kMetal);  // near the pivot
  pair(s, 0.3f, 0.0f, 0.0f, 0.14f, kMetal);
  pair(s, 0.3f, -0.2f, 0.67f, 0.14f, kMetal);
  pair(s, 0.3f, -0.28f, 0.95f, 0.12f, kMetal);  // chain adjusters at the axle
  return s;
}

std::vector<Sphere> rider() {
  std::vector<Sphere> s;
  s.push_back({0, 1.25f, -0.3f, 0.45f, kRider});   // helmet
  s.push_back({0, 0.55f, -0.15f, 0.55f, kRider});  // chest
  pair(s, 0.6f, 0.8f, -0.05f, 0.25f, kRider);      // shoulders
  s.push_back({0, -0.05f, 0.05f, 0.55f, kRider});  // belly
  s.push_back({0, -0.75f, 0.25f, 0.55f, kRider});  // hips
  pair(s, 0.5f, -1.35f, -0.75f, 0.3f, kRider);     // knees
  return s;
}

}  // namespace

std::string shape_text(const std::vector<Sphere>& spheres) {
  std::string text = format("%d\n", static_cast<int>(spheres.size()));
  for (const Sphere& s : spheres) {
    text += format("%.4f %.4f %.4f %.4f %.2f 0 0\n", s.x, s.y, s.z, s.radius, s.friction);
  }
  return text;
}

std::vector<StockShape> stock_shapes() {
  return {
      {"generic_frame.shp", frame()},           {"generic_fork_upper.shp", fork_upper()},
      {"generic_fork_lower.shp", fork_lower()}, {"generic_swingarm.shp", swingarm()},
      {"front_wheel.shp", tyre(0.96f, 0.13f)},  {"rear_wheel.shp", tyre(0.88f, 0.16f)},
      {"generic_rider.shp", rider()},
  };
}

void write_stock_shapes(Output& out) {
  for (const StockShape& shape : stock_shapes())
    write_file(out, shape.file, shape_text(shape.spheres));
}

}  // namespace content
