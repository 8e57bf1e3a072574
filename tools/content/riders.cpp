// riders.cpp -- the shared wheels, rider body and head, plates and the roster's textures.
//
// Every bike shares these. The wheels are built round their axles (x across):
// tyre, rim, spokes, hub, brake disc and, at the back, the sprocket; the
// knobs of the tyres are painted into wheels.png. The rider sits on the bike
// at rest, hands on the grips and boots on the pegs, in the rider body's
// coordinates: rider_body.jm is torso, arms and legs, rider_body_fp.jm the
// arms and legs alone (what the rider sees of himself), rider_head.jm the
// helmet with its peak, chin bar and goggles, rider_plate.jm the number on
// his back (it shows the plate picture the game paints). The alternative
// textures "-altN" give the roster and the Riding Gear, Helmet and Wheel
// Graphics menus other colours.
#include <cmath>
#include <string>
#include <vector>

#include "content/bike_models.h"
#include "content/content.h"
#include "content/mesh_build.h"
#include "content/paint.h"
#include "render/render.h"  // the rider view's eye

namespace content {

namespace {

constexpr int kSide = 256;

struct Region {
  int x0, y0, x1, y1;
};
UvRect uv(const Region& r) { return uv_pixels(r.x0, r.y0, r.x1, r.y1, kSide, kSide); }
void paint(Picture& p, const Region& r, const std::function<Rgba(float s, float t)>& f) {
  paint_rect(p, r.x0, r.y0, r.x1, r.y1, f);
}

constexpr Rgba kBlack{24, 24, 26};
constexpr Rgba kWhite{236, 236, 234};
constexpr Rgba kSilver{190, 192, 198};

V3 at(float x, float y, float z) { return {x, y, z}; }

// Sweeps built here take u round their section and v along their path; for
// a section at u the side it faces is A cos(2 pi u) + B sin(2 pi u), A the
// sweep's side direction and B = path x A.
float facing(float u, float cos_weight, float sin_weight) {
  return std::cos(u * kTurn) * cos_weight + std::sin(u * kTurn) * sin_weight;
}

// ---------------------------------------------------------------------------
// Wheels: wheels.png.

constexpr Region kTread{0, 0, 256, 64};  // u round the wheel, v round the tyre's section
constexpr Region kRim{0, 64, 128, 96};
constexpr Region kHub{128, 64, 192, 96};
constexpr Region kSpoke{192, 64, 256, 96};
constexpr Region kDisc{0, 96, 64, 160};
constexpr Region kSprocket{64, 96, 128, 160};
constexpr Region kCarrier{128, 96, 160, 128};

struct WheelLook {
  Rgba rim;
  Rgba hub;
  Rgba sprocket;
  Rgba lettering;  // on the tyre walls
};

void paint_wheels(Picture& p, const WheelLook& look) {
  fill(p, kBlack);
  // The tyre: the path runs along u (48 rows of knobs round the wheel), the
  // section along v: 0 the right wall, 0.25 the tread, 0.5 the left wall.
  paint(p, kTread, [&](float s, float t) {
    const float round = 1 - t;
    const float out = std::sin(round * kTurn), across = std::cos(round * kTurn);
    const Rgba rubber{20, 20, 21};
    if (out < -0.2f) return rubber;  // inside the rim
    const float row = s * 48;
    const int n = static_cast<int>(std::floor(row));
    const float along = row - n;
    if (out > 0.35f) {
      // Staggered knobs across the tread: three in odd rows, two in even ones.
      const float lane = (across + 1) / 2 * (n % 2 ? 3 : 2) + (n % 2 ? 0.0f : 0.5f);
      const float in_lane = lane - std::floor(lane);
      const bool knob = along > 0.2f && along < 0.75f && in_lane > 0.18f && in_lane < 0.82f;
      return knob ? Rgba{78, 76, 74} : rubber;
    }
    if (out > 0.0f) {
      // Shoulder knobs reach over the edge of the tread.
      const bool knob = along > 0.25f && along < 0.7f && n % 2 == 0;
      return knob ? Rgba{66, 65, 64} : rubber;
    }
    // The walls carry lettering twice round.
    const float arc = std::fmod(s * 2, 1.0f);
    const bool letters = out > -0.15f && out < -0.05f && arc > 0.1f && arc < 0.4f &&
                         std::fmod(arc * 40, 1.0f) < 0.6f;
    return letters ? look.lettering : Rgba{30, 30, 31};
  });
  paint(p, kRim, [&](float, float t) {
    const float round = 1 - t;
    return shade(look.rim, 0.75f + 0.35f * std::max(0.0f, std::sin(round * kTurn)));
  });
  paint(p, kHub,
        [&](float s, float) { return shade(look.hub, 0.8f + 0.25f * std::cos(s * kTurn)); });
  paint(p, kSpoke,
        [&](float s, float) { return shade(kSilver, 0.8f + 0.3f * std::cos(s * kTurn)); });
  // Disc: steel with two rings of holes, seen face on (planar).
  paint(p, kDisc, [&](float s, float t) {
    const float x = s - 0.5f, y = t - 0.5f, d = std::hypot(x, y) * 2;
    const float a = std::atan2(y, x) / kTurn;
    Rgba c = Rgba{168, 170, 176};
    if (d < 0.4f) c = Rgba{60, 60, 64};
    const float hole = std::fmod(a * 24 + 1, 1.0f);
    if ((std::fabs(d - 0.58f) < 0.04f || std::fabs(d - 0.75f) < 0.04f) && hole < 0.3f) c = kBlack;
    return c;
  });
  paint(p, kSprocket, [&](float s, float t) {
    const float x = s - 0.5f, y = t - 0.5f, d = std::hypot(x, y) * 2;
    const float a = std::atan2(y, x) / kTurn;
    Rgba c = look.sprocket;
    if (d > 0.4f && d < 0.75f && std::fmod(a * 6 + 1, 1.0f) < 0.55f)
      c = shade(c, 0.35f);  // lightening holes
    if (d > 0.9f) c = shade(c, 0.8f);
    return c;
  });
  paint(p, kCarrier, [&](float, float) { return Rgba{50, 50, 54}; });
}

struct WheelSize {
  float outer;       // ft, the tyre's outer radius
  float rim;         // ft, the rim's radius
  float half_width;  // ft, half the tyre's width
};

// The wheel round its axle: the x axis through the origin.
std::vector<Mesh> wheel_model(const WheelSize& w, bool rear) {
  Mesh rubber = material(4, 0.05f), metal = material(30, 0.55f);
  // Points round the wheel: c(a) = (0, r cos a, r sin a) puts the sweep's B outwards.
  auto circle = [](float r, float x, int count) {
    std::vector<Ring> rings;
    for (int i = 0; i < count; ++i) {
      const float a = kTurn * static_cast<float>(i) / static_cast<float>(count);
      rings.push_back({{x, r * std::cos(a), r * std::sin(a)}, 0, 0});
    }
    return rings;
  };
  const int round_steps = divisions(36, 12);
  std::vector<Ring> tyre = circle((w.outer + w.rim) / 2, 0, round_steps);
  for (Ring& r : tyre) r.half_width = w.half_width, r.half_height = (w.outer - w.rim) / 2;
  SweepStyle round;
  round.closed = true;
  round.sides = 10;
  round.squareness = 2.6f;
  round.path_along_u = true;
  sweep(rubber, tyre, round, uv(kTread));
  std::vector<Ring> rim = circle(w.rim - 0.025f, 0, round_steps);
  for (Ring& r : rim) r.half_width = 0.085f, r.half_height = 0.035f;
  SweepStyle channel = round;
  channel.sides = 8;
  channel.squareness = 4;
  sweep(metal, rim, channel, uv(kRim));
  // Hub with its two spoke flanges.
  SweepStyle hub;
  hub.sides = 12;
  hub.side = {0, 1, 0};
  sweep(metal,
        {{at(-0.24f, 0, 0), 0.06f, 0.06f},
         {at(-0.19f, 0, 0), 0.12f, 0.12f},
         {at(-0.15f, 0, 0), 0.08f, 0.08f},
         {at(0.15f, 0, 0), 0.08f, 0.08f},
         {at(0.19f, 0, 0), 0.12f, 0.12f},
         {at(0.24f, 0, 0), 0.06f, 0.06f}},
        hub, uv(kHub));
  // Spokes: 16 a side, each leaving its flange at a slant to the rim.
  constexpr int kSpokes = 32;
  for (int i = 0; i < kSpokes; ++i) {
    const float side = i % 2 ? 1.0f : -1.0f;
    const float a = kTurn * static_cast<float>(i) / kSpokes;
    const float lean = (i / 2) % 2 ? 0.3f : -0.3f;
    const V3 from = at(side * 0.19f, 0.11f * std::cos(a), 0.11f * std::sin(a));
    const V3 to = at(side * 0.03f, (w.rim - 0.05f) * std::cos(a + lean),
                     (w.rim - 0.05f) * std::sin(a + lean));
    SweepStyle spoke;
    spoke.sides = 3;
    spoke.caps = false;
    spoke.side = {1, 0, 0};
    sweep(metal, {{from, 0.014f, 0.014f}, {to, 0.014f, 0.014f}}, spoke, uv(kSpoke));
  }
  // Brake disc on the left at the front, on the right at the back, and the
  // sprocket on the left at the back.
  auto face_on = [](const Region& r, float x, float radius) {
    return planar(uv(r), at(x, -radius, -radius), {0, 0, 1}, {0, 1, 0}, 2 * radius, 2 * radius);
  };
  const float disc_x = rear ? 0.21f : -0.21f, disc_r = rear ? 0.38f : 0.45f;
  annulus(
      metal, at(disc_x, 0, 0), {1, 0, 0}, {0, 1, 0}, 0.17f,
      [&](float a) { return disc_r + 0.012f * std::cos(a * 12); }, 0.02f, 48,
      face_on(kDisc, disc_x, disc_r), uv(kSpoke));
  annulus(
      metal, at(disc_x * 0.9f, 0, 0), {1, 0, 0}, {0, 1, 0}, 0.07f, [](float) { return 0.18f; },
      0.03f, 16, face_on(kCarrier, disc_x, 0.18f), uv(kCarrier));
  if (rear) {
    constexpr int kTeeth = 50;
    annulus(
        metal, at(-0.24f, 0, 0), {1, 0, 0}, {0, 1, 0}, 0.1f,
        [](float a) {
          const float tooth = std::fabs(std::fmod(a / kTurn * kTeeth + 0.5f, 1.0f) - 0.5f) * 2;
          return 0.37f + 0.035f * (1 - tooth);
        },
        0.025f, kTeeth * 2, face_on(kSprocket, -0.24f, 0.4f), uv(kHub));
  }
  return {rubber, metal};
}

// ---------------------------------------------------------------------------
// The rider: rider_body.png and rider_head.png.

constexpr Region kJersey{0, 0, 128, 128};
constexpr Region kSleeve{128, 0, 192, 64};
constexpr Region kGlove{192, 0, 256, 32};
constexpr Region kKnee{192, 32, 256, 64};
constexpr Region kBoot{128, 64, 192, 128};
constexpr Region kSole{192, 64, 256, 96};
constexpr Region kNeck{192, 96, 256, 128};
constexpr Region kPants{0, 128, 128, 192};
constexpr Region kSeatPants{128, 128, 256, 192};

struct Gear {
  Rgba jersey, panel, stripe;  // jersey base, its side panels, the chest stripe
  Rgba pants, pants_panel;
  Rgba boots, boot_trim;
  Rgba gloves;
};

// The torso's sweep runs from the hips up to the neck; with A = x (right)
// its B faces the chest, so at u the section faces right by cos and
// forwards by sin.
void paint_body(Picture& p, const Gear& g) {
  fill(p, kBlack);
  paint(p, kJersey, [&](float s, float t) {
    const float up = 1 - t;  // 0 at the hips, 1 at the neck
    const float right = facing(s, 1, 0), front = facing(s, 0, 1);
    if (up < 0.12f) return g.pants;  // the jersey tucked into the pants
    if (up > 0.93f) return g.panel;  // collar
    Rgba c = g.jersey;
    if (std::fabs(right) > 0.8f) c = g.panel;
    // A chevron across the chest and a band round the middle.
    const float v = up - 0.55f + std::fabs(right) * 0.35f;
    if (front > 0 && std::fabs(v) < 0.07f) c = g.stripe;
    if (std::fabs(up - 0.3f) < 0.04f) c = g.stripe;
    return shade(c, 0.9f + 0.1f * front);
  });
  paint(p, kSleeve, [&](float s, float t) {
    const float along = 1 - t;  // 0 at the shoulder, 1 at the wrist
    Rgba c = g.jersey;
    if (along > 0.88f) c = g.panel;  // cuff
    if (std::fabs(facing(s, 1, 0)) < 0.35f && along < 0.6f) c = g.stripe;
    return c;
  });
  paint(p, kGlove, [&](float s, float t) {
    return std::fmod(t * 6, 1.0f) < 0.3f ? shade(g.gloves, 0.7f)
                                         : shade(g.gloves, 0.9f + 0.1f * std::cos(s * kTurn));
  });
  paint(p, kKnee, [&](float s, float t) {
    const float d = std::hypot(s - 0.5f, t - 0.5f);
    return d < 0.25f ? kWhite : Rgba{40, 40, 44};
  });
  paint(p, kPants, [&](float s, float t) {
    const float along = 1 - t;  // 0 at the hip, 1 at the knee
    Rgba c = g.pants;
    if (std::fabs(facing(s, 1, 0)) > 0.75f) c = g.pants_panel;
    if (along > 0.75f) c = shade(g.pants_panel, 0.85f);  // leather over the knee
    return c;
  });
  paint(p, kSeatPants, [&](float, float) { return shade(g.pants, 0.9f); });
  paint(p, kBoot, [&](float, float t) {
    // Three buckles round the shaft and a trim at the top.
    const float along = 1 - t;
    if (along > 0.9f) return g.boot_trim;
    const float strap = std::fmod(along * 3.5f, 1.0f);
    if (strap > 0.45f && strap < 0.6f) return shade(g.boot_trim, 0.9f);
    return g.boots;
  });
  paint(p, kSole, [&](float s, float) { return facing(s, 0, 1) < -0.4f ? kBlack : g.boots; });
  paint(p, kNeck, [&](float, float) { return g.panel; });
}

constexpr Region kShell{0, 0, 256, 128};
constexpr Region kPeak{0, 128, 128, 160};
constexpr Region kLens{128, 128, 256, 160};
constexpr Region kStrap{0, 160, 128, 176};
constexpr Region kChin{128, 160, 256, 192};
constexpr Region kFaceDark{0, 192, 32, 224};

struct Helmet {
  Rgba shell, stripe, trim;
  Rgba lens;
};

// The shell's sweep runs from the back of the helmet to its front with A = x,
// so at u it faces right by cos and down by sin.
void paint_head(Picture& p, const Helmet& h) {
  fill(p, kBlack);
  paint(p, kShell, [&](float s, float t) {
    const float along = 1 - t;  // 0 at the back, 1 at the front
    const float right = facing(s, 1, 0), down = facing(s, 0, 1);
    Rgba c = h.shell;
    if (std::fabs(right) < 0.22f && down < 0) c = h.stripe;                      // over the crown
    if (std::fabs(std::fabs(right) - 0.55f) < 0.07f && down < 0.2f) c = h.trim;  // pinstripes
    if (down > 0.55f) c = shade(h.trim, 0.6f);  // the rim round the neck
    if (along > 0.82f && down > -0.35f && std::fabs(right) < 0.75f)
      c = Rgba{18, 18, 20};  // the face opening
    return shade(c, 1.05f - 0.25f * std::max(down, 0.0f));
  });
  paint(p, kPeak, [&](float s, float) {
    Rgba c = h.shell;
    if (std::fabs(s - 0.5f) < 0.12f) c = h.stripe;
    return c;
  });
  paint(p, kLens, [&](float s, float t) {
    if (t < 0.15f || t > 0.85f) return Rgba{30, 30, 34};
    return mix(h.lens, kWhite, 0.35f * std::max(0.0f, std::sin(s * 9.0f + t * 3)));
  });
  paint(p, kStrap, [&](float s, float) { return std::fmod(s * 5, 1.0f) < 0.5f ? h.trim : kBlack; });
  paint(p, kChin, [&](float s, float t) {
    Rgba c = h.shell;
    // Vents on the front of the bar.
    if (std::fabs(s - 0.5f) < 0.15f && std::fmod(t * 5, 1.0f) < 0.4f) c = kBlack;
    if (std::fabs(s - 0.5f) > 0.35f) c = h.stripe;
    return c;
  });
  paint(p, kFaceDark, [&](float, float) { return Rgba{18, 18, 20}; });
}

// Where the rider's joints are on the bike at rest (right side; x mirrors).
struct Pose {
  V3 pelvis, waist, chest, upper_chest, neck, head;
  V3 shoulder, elbow, wrist, hip, knee, ankle;
  V3 heel, instep, toe;
};

Pose rider_pose() {
  Pose p;
  p.pelvis = at(0, kSeatTop.y + 0.25f, kSeatTop.z);
  p.waist = at(0, 3.92f, 3.7f);
  p.chest = at(0, 4.38f, 3.36f);
  p.upper_chest = at(0, 4.72f, 3.1f);
  p.neck = at(0, 4.98f, 2.9f);
  p.head = at(0, 5.34f, 2.7f);
  p.shoulder = at(0.56f, 4.78f, 3.06f);
  p.wrist = kRightGrip + at(-0.05f, 0.04f, 0.05f);
  p.elbow = middle_joint(p.shoulder, p.wrist, 1.0f, 0.95f, normalised(at(1, 0.5f, 0.7f)));
  p.hip = at(0.3f, kSeatTop.y + 0.25f, kSeatTop.z - 0.05f);
  p.ankle = kRightPeg + at(0, 0.28f, 0.22f);
  p.knee = middle_joint(p.hip, p.ankle, 1.4f, 1.45f, normalised(at(0.25f, 0, -1)));
  p.heel = kRightPeg + at(0, 0.22f, 0.42f);
  p.instep = kRightPeg + at(0.01f, 0.2f, 0.05f);
  p.toe = kRightPeg + at(0.02f, 0.11f, -0.4f);
  return p;
}

// What the rider sees of himself from the rider view's eye (at the lowest "1st Person
// Height"), which sits well behind the head of the pose above: shoulders a little below and
// behind the eye, so that the arms come in from the bottom corners of the view to the grips,
// as seen through a helmet; the legs are the pose's own.
Pose first_person_pose(V3 rider_origin) {
  Pose p = rider_pose();
  const V3 eye = rider_origin + V3{static_cast<float>(render::kRiderEyeLow[0]),
                                   static_cast<float>(render::kRiderEyeLow[1]),
                                   static_cast<float>(render::kRiderEyeLow[2])};
  p.shoulder = eye + at(0.56f, -0.55f, 0.25f);
  p.elbow = middle_joint(p.shoulder, p.wrist, 1.0f, 0.95f, normalised(at(1, 0.5f, 0.7f)));
  return p;
}

struct RiderMeshes {
  Mesh cloth = material(4, 0.05f);
  Mesh hard = material(24, 0.3f);
};

// Arms and legs, the right ones and their mirror images.
void limbs(RiderMeshes& m, const Pose& p) {
  for (Mesh* mesh : {&m.cloth, &m.hard}) {
    const std::size_t first_vertex = mesh->vertices.size(), first_index = mesh->triangles.size();
    if (mesh == &m.cloth) {
      SweepStyle limb;
      limb.sides = 8;
      limb.side = {0, 1, 0};
      sweep(*mesh,
            {{p.shoulder, 0.17f, 0.18f},
             {lerp(p.shoulder, p.elbow, 0.5f), 0.15f, 0.15f},
             {p.elbow, 0.13f, 0.14f}},
            limb, uv(kSleeve));
      sweep(*mesh,
            {{p.elbow, 0.13f, 0.14f},
             {lerp(p.elbow, p.wrist, 0.4f), 0.13f, 0.13f},
             {p.wrist, 0.09f, 0.1f}},
            limb, uv(kSleeve));
      limb.side = {1, 0, 0};
      sweep(*mesh,
            {{p.hip, 0.26f, 0.25f},
             {lerp(p.hip, p.knee, 0.5f), 0.21f, 0.21f},
             {p.knee, 0.17f, 0.17f}},
            limb, uv(kPants));
    } else {
      // Gloves round the grips, knee guards, boots up the shins and the feet.
      ellipsoid(*mesh, p.wrist + at(0.05f, -0.02f, -0.04f), {1, 0, 0}, {0, 1, 0}, 0.15f, 0.1f,
                0.11f, 6, 8, uv(kGlove));
      ellipsoid(*mesh, p.knee + normalised(at(0.3f, 0.1f, -1)) * 0.08f, p.ankle - p.knee, {1, 0, 0},
                0.3f, 0.16f, 0.16f, 6, 8, uv(kKnee));
      SweepStyle boot;
      boot.sides = 10;
      boot.side = {1, 0, 0};
      sweep(*mesh, {{lerp(p.knee, p.ankle, 0.12f), 0.2f, 0.21f}, {p.ankle, 0.18f, 0.2f}}, boot,
            uv(kBoot));
      boot.squareness = 3;
      sweep(*mesh, {{p.heel, 0.15f, 0.2f}, {p.instep, 0.16f, 0.19f}, {p.toe, 0.13f, 0.1f}}, boot,
            uv(kSole));
    }
    mirror_tail(*mesh, first_vertex, first_index);
  }
}

std::vector<Mesh> rider_body_model(const Pose& p, bool first_person, V3 origin) {
  RiderMeshes m;
  limbs(m, p);
  if (!first_person) {
    SweepStyle torso;
    torso.sides = 14;
    torso.squareness = 2.3f;
    sweep(m.cloth,
          {{p.pelvis + at(0, -0.05f, 0.08f), 0.4f, 0.3f},
           {p.pelvis, 0.44f, 0.34f},
           {p.waist, 0.4f, 0.31f},
           {p.chest, 0.5f, 0.36f},
           {p.upper_chest, 0.52f, 0.32f},
           {lerp(p.upper_chest, p.neck, 0.6f), 0.36f, 0.22f},
           {p.neck, 0.15f, 0.14f}},
          torso, uv(kJersey));
    // The neck brace and the seat of the pants over the saddle.
    taper(m.hard, p.neck + at(0, -0.06f, 0.03f), p.neck + at(0, 0.08f, -0.02f), 0.24f, 0.16f, 12,
          uv(kNeck));
    ellipsoid(m.cloth, p.pelvis + at(0, -0.12f, 0.12f), {1, 0, 0}, {0, 1, 0}, 0.45f, 0.2f, 0.28f, 6,
              10, uv(kSeatPants));
  }
  std::vector<Mesh> meshes;
  for (Mesh* mesh : {&m.cloth, &m.hard}) {
    shift(*mesh, origin);
    meshes.push_back(*mesh);
  }
  return meshes;
}

std::vector<Mesh> rider_head_model(const Pose& p, V3 origin) {
  Mesh shell = material(60, 0.6f), soft = material(8, 0.1f);
  // The helmet leans with the rider, looking ahead: its axis runs back to front.
  const V3 forward = normalised(at(0, -0.12f, -1));
  const V3 up = normalised(cross(forward, V3{1, 0, 0}) * -1.0f);
  ellipsoid(shell, p.head, forward, {1, 0, 0}, 0.55f, 0.42f, 0.45f, 10, 14, uv(kShell));
  // Chin bar: a curved bar round the front of the face.
  SweepStyle bar;
  bar.sides = 8;
  bar.squareness = 3;
  bar.side = up;
  std::vector<Ring> chin;
  for (int i = 0; i <= 6; ++i) {
    const float a =
        kTurn / 2 * static_cast<float>(i) / 6;  // from the right cheek round to the left
    chin.push_back({p.head + up * (-0.25f - 0.05f * std::sin(a)) +
                        forward * (0.12f + 0.45f * std::sin(a)) + V3{0.34f * std::cos(a), 0, 0},
                    0.1f, 0.08f});
  }
  sweep(shell, chin, bar, uv(kChin));
  // The peak over the goggles.
  Outline peak;
  peak.origin = p.head + up * 0.3f + forward * 0.4f;
  peak.u = normalised(forward + up * 0.08f);
  peak.v = {1, 0, 0};
  for (float q : {-0.05f, -0.32f, 0.24f, -0.28f, 0.34f, 0.0f, 0.24f, 0.28f, -0.05f, 0.32f})
    peak.points.push_back(q);
  slab(shell, peak, -0.015f, 0.015f, 0.02f,
       planar(uv(kPeak), peak.origin + V3{-0.34f, 0, 0}, {1, 0, 0}, peak.u, 0.68f, 0.5f),
       uv(kPeak));
  // Goggles across the face opening, and their strap round the back.
  SweepStyle band;
  band.sides = 4;
  band.squareness = 6;
  band.side = up;
  band.path_along_u = true;
  std::vector<Ring> lens;
  for (int i = 0; i <= 6; ++i) {
    const float a = kTurn / 2 * (0.15f + 0.7f * static_cast<float>(i) / 6);
    lens.push_back({p.head + up * 0.02f + forward * (0.3f + 0.24f * std::sin(a)) +
                        V3{0.38f * std::cos(a), 0, 0},
                    0.1f, 0.03f});
  }
  sweep(soft, lens, band, uv(kLens));
  std::vector<Ring> strap;
  for (int i = 0; i <= 8; ++i) {
    const float a = kTurn / 2 * (1.15f + 0.7f * static_cast<float>(i) / 8);
    strap.push_back(
        {p.head + up * 0.02f + forward * (0.56f * std::sin(a)) + V3{0.445f * std::cos(a), 0, 0},
         0.06f, 0.012f});
  }
  sweep(soft, strap, band, uv(kStrap));
  shift(shell, origin);
  shift(soft, origin);
  return {shell, soft};
}

// The number on the rider's back, between the shoulders.
std::vector<Mesh> rider_plate_model(const Pose& p, V3 origin) {
  Mesh plate = material(10, 0.1f);
  const V3 up = normalised(p.upper_chest - p.waist);
  const V3 chest = cross(up, V3{1, 0, 0});
  const V3 centre = lerp(p.chest, p.upper_chest, 0.3f) - chest * 0.36f;
  Outline o;
  o.origin = centre;
  o.u = {1, 0, 0};
  o.v = up;
  const float hw = 0.3f, hh = 0.24f;
  const std::vector<float> box = {hw, hh, -hw, hh, -hw, -hh, hw, -hh};
  o.points = box;
  slab(plate, o, 0.0f, 0.012f, 0.03f,
       planar({0.01f, 0.01f, 0.99f, 0.99f}, centre - V3{hw, 0, 0} - up * hh, {1, 0, 0}, up, 2 * hw,
              2 * hh),
       {0.01f, 0.01f, 0.03f, 0.03f});
  shift(plate, origin);
  return {plate};
}

// The default riding gear and helmet, then the alternatives.
const Gear kGear[] = {
    {{30, 34, 40},
     {200, 30, 30},
     {236, 236, 234},
     {40, 42, 48},
     {200, 30, 30},
     kWhite,
     {40, 40, 44},
     {30, 30, 32}},
    {{20, 70, 190},
     {240, 200, 20},
     kWhite,
     {20, 50, 140},
     {240, 200, 20},
     kBlack,
     {240, 200, 20},
     {20, 70, 190}},
    {{235, 235, 232},
     {230, 90, 20},
     {30, 30, 34},
     {230, 230, 228},
     {230, 90, 20},
     kWhite,
     {230, 90, 20},
     kBlack},
    {{40, 150, 60},
     kBlack,
     kWhite,
     {30, 30, 34},
     {40, 150, 60},
     kBlack,
     {40, 150, 60},
     {30, 30, 32}},
};
const Helmet kHelmets[] = {
    {kWhite, {200, 30, 30}, {30, 30, 34}, {230, 140, 40}},
    {{240, 200, 20}, {20, 60, 180}, kBlack, {80, 150, 230}},
    {{30, 30, 34}, {240, 110, 20}, kWhite, {200, 200, 210}},
    {{20, 90, 200}, kWhite, {230, 40, 40}, {240, 190, 40}},
};
const WheelLook kWheels[] = {
    {{40, 40, 44}, kSilver, {200, 200, 206}, {150, 150, 150}},
    {{214, 170, 70}, {214, 170, 70}, {214, 170, 70}, {220, 220, 220}},
    {{30, 80, 200}, {30, 80, 200}, {30, 80, 200}, kWhite},
};

std::string variant_name(const char* base, int i) {
  return i == 0 ? std::string(base) + ".png" : format("%s-alt%d.png", base, i);
}

}  // namespace

void write_riders(Output& out) {
  const BikeRest rest = bike_rest();
  // Every model with a coarser level of detail for the distance where that saves something.
  write_model_levels(out, "front_wheel", [&] {
    return wheel_model({rest.front_ring + rest.front_tube, 0.875f, rest.front_tube}, false);
  });
  write_model_levels(out, "rear_wheel", [&] {
    return wheel_model({rest.rear_ring + rest.rear_tube, 0.79f, rest.rear_tube + 0.01f}, true);
  });
  for (int i = 0; i < 3; ++i) {
    Picture p(kSide, kSide, 3);
    paint_wheels(p, kWheels[i]);
    write_picture(out, variant_name("wheels", i), p);
  }
  const Pose pose = rider_pose();
  write_model_levels(out, "rider_body", [&] { return rider_body_model(pose, false, rest.rider); });
  // The first-person body is only ever seen from inside it.
  write_model(out, "rider_body_fp.jm",
              rider_body_model(first_person_pose(rest.rider), true, rest.rider));
  write_model_levels(out, "rider_head", [&] { return rider_head_model(pose, rest.rider); });
  write_model_levels(out, "rider_plate", [&] { return rider_plate_model(pose, rest.rider); });
  for (int i = 0; i < 4; ++i) {
    Picture body(kSide, kSide, 3);
    paint_body(body, kGear[i]);
    write_picture(out, variant_name("rider_body", i), body);
    Picture head(kSide, kSide, 3);
    paint_head(head, kHelmets[i]);
    write_picture(out, variant_name("rider_head", i), head);
  }
}

}  // namespace content
