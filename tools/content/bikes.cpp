// bikes.cpp -- every catalogue model's part models and bike texture, in its maker's colours.
//
// The file stems come from the catalogue itself, so every name it lists is
// made. A stem's maker, engine and displacement come from its model names:
// cr/crf Honda red, kx Kawasaki green, rm/rmz Suzuki yellow, yz Yamaha blue,
// sx KTM orange; the two-strokes carry an expansion chamber, the four-strokes
// a header and a silencer. Each bike texture carries its number-plate colours
// in its text ("[numberbackground:r,g,b" and "[numberforeground:r,g,b", 0..1),
// and each bike-graphics prefix gets two alternative liveries, "-alt1" (black)
// and "-alt2" (white).
//
// The parts are built in the bike's rest frame and shifted into their bodies'
// coordinates: frame (tank, seat, shrouds, side panels, fenders, engine,
// exhaust, shock, pegs), upper fork (clamps, outer tubes, bars, front
// fender), lower fork (inner tubes, guards, axle lugs, caliper), swingarm
// (arms, chain, linkage) and the side and front number plates, which show
// the plate picture the game paints (the whole picture on each plate face).

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "content/bike_models.h"
#include "content/content.h"
#include "content/mesh_build.h"
#include "content/paint.h"
#include "shell/catalogue.h"

namespace content {

BikeRest bike_rest() {
  const sim::BikeConstants& k = shell::bike_catalogue()[0]->constants;
  auto at = [](const float p[3]) { return V3{p[0], p[1], p[2]}; };
  BikeRest r;
  r.frame = at(k.frame_position);
  r.front_axle = at(k.front_wheel_position);
  r.rear_axle = at(k.rear_wheel_position);
  r.steering = at(k.steering_head_position);
  r.swingarm = at(k.swingarm_position);
  r.fork_lower = at(k.fork_lower_position);
  r.rider = at(k.rider_position);
  r.pivot = at(k.swingarm_pivot);
  r.fork_axis = normalised(r.steering - r.fork_lower);
  r.fork_forward = {0, r.fork_axis.z, -r.fork_axis.y};
  r.fork_half_width = k.fork_width / 2;
  r.front_ring = k.front_wheel.ring_radius;
  r.front_tube = k.front_wheel.tube_radius;
  r.rear_ring = k.rear_wheel.ring_radius;
  r.rear_tube = k.rear_wheel.tube_radius;
  return r;
}

namespace {

// ---------------------------------------------------------------------------
// What a stem is.

enum class Maker { kHonda, kKawasaki, kSuzuki, kYamaha, kKtm };

struct BikeStyle {
  std::string stem;  // the part models' stem, "crf450v2013"
  Maker maker = Maker::kHonda;
  bool two_stroke = false;
  std::string size;    // "450": what the shrouds say
  bool later = false;  // the 2010 and 2013 bodywork ("...v2010", "...v2013")
};

BikeStyle style_of(const std::string& stem, const char* bike_class) {
  BikeStyle s;
  s.stem = stem;
  auto starts = [&](const char* p) { return stem.compare(0, std::strlen(p), p) == 0; };
  if (starts("cr")) {
    s.maker = Maker::kHonda;
  } else if (starts("kx")) {
    s.maker = Maker::kKawasaki;
  } else if (starts("rm")) {
    s.maker = Maker::kSuzuki;
  } else if (starts("yz")) {
    s.maker = Maker::kYamaha;
  } else {
    s.maker = Maker::kKtm;  // "450sxf", "250sx", "125sx"
  }
  // The catalogue's classes "250", "125" and "50" are two-strokes.
  s.two_stroke = std::strchr(bike_class, 'f') == nullptr;
  const std::size_t digits = stem.find_first_of("0123456789");
  s.size = digits == std::string::npos ? "" : stem.substr(digits, 3);
  if (!s.two_stroke) s.size += "F";
  s.later = stem.find("v20") != std::string::npos;
  return s;
}

// ---------------------------------------------------------------------------
// Colours.

constexpr Rgba kWhite{238, 238, 236};
constexpr Rgba kBlack{26, 26, 28};
constexpr Rgba kSilver{186, 188, 194};
constexpr Rgba kGold{206, 164, 70};
constexpr Rgba kChromeTone{214, 216, 222};

struct MakerColours {
  Rgba colour;   // the maker's plastic
  Rgba partner;  // the colour it is paired with
  Rgba frame;
  Rgba seat;
  Rgba fork_outer;
  Rgba fork_inner;
  Rgba spring;
  Rgba second;  // side panels and rear fender
  bool light;   // the maker's colour is light: dark numbers on it
};

MakerColours maker_colours(Maker m) {
  switch (m) {
    case Maker::kHonda:
      return {{204, 18, 26}, kWhite,        kSilver,       {190, 20, 26}, {160, 130, 70},
              kGold,         {200, 30, 30}, {204, 18, 26}, false};
    case Maker::kKawasaki:
      return {{104, 190, 28}, kBlack,         kSilver,        kBlack, {200, 168, 80},
              kGold,          {104, 190, 28}, {104, 190, 28}, true};
    case Maker::kSuzuki:
      return {{250, 208, 10}, {22, 52, 168},  kSilver,        {22, 52, 168}, {58, 58, 64},
              kGold,          {250, 208, 10}, {250, 208, 10}, true};
    case Maker::kYamaha:
      return {{22, 62, 178}, kWhite,        {150, 156, 170}, {22, 62, 178}, {176, 178, 186},
              kGold,         {22, 62, 178}, kWhite,          false};
    case Maker::kKtm:
      return {{246, 112, 8}, kBlack,        {240, 104, 8}, kBlack, {240, 104, 8},
              kChromeTone,   {246, 112, 8}, kWhite,        true};
  }
  return {};
}

struct Livery {
  Rgba main;     // tank, shrouds, front fender, bar pad
  Rgba second;   // side panels, rear fender
  Rgba graphic;  // the big shapes on shrouds and panels
  Rgba line;     // thin lines and the size on the shrouds
  Rgba frame, seat, fork_outer, fork_inner, spring, guard;
  float plate_back[3], plate_number[3];  // 0..1
};

void set_plate(Livery& l, Rgba back, Rgba number) {
  const float b[3] = {back.r, back.g, back.b}, n[3] = {number.r, number.g, number.b};
  for (int i = 0; i < 3; ++i) {
    l.plate_back[i] = b[i] / 255.0f;
    l.plate_number[i] = n[i] / 255.0f;
  }
}

// variant 0: the stock look; 1: black; 2: white; 3: the special edition.
Livery livery(const BikeStyle& s, int variant) {
  const MakerColours m = maker_colours(s.maker);
  Livery l;
  l.frame = m.frame;
  l.seat = m.seat;
  l.fork_outer = m.fork_outer;
  l.fork_inner = m.fork_inner;
  l.spring = m.spring;
  l.guard = kBlack;
  const Rgba on_colour = m.light ? kBlack : kWhite;
  switch (variant) {
    case 1:
      l.main = l.second = Rgba{30, 30, 33};
      l.graphic = m.colour;
      l.line = kWhite;
      l.seat = kBlack;
      set_plate(l, kBlack, kWhite);
      break;
    case 2:
      l.main = l.second = kWhite;
      l.graphic = m.colour;
      l.line = m.light ? kBlack : m.colour;
      l.guard = kWhite;
      set_plate(l, m.colour, on_colour);
      break;
    case 3:
      l.main = kWhite;
      l.second = kBlack;
      l.graphic = m.colour;
      l.line = Rgba{250, 208, 10};
      l.seat = kBlack;
      l.frame = Rgba{40, 40, 44};
      set_plate(l, kBlack, Rgba{250, 208, 10});
      break;
    default:
      l.main = m.colour;
      l.second = m.second;
      l.graphic = m.partner;
      l.line = s.maker == Maker::kSuzuki ? kBlack : kWhite;
      if (s.maker == Maker::kKtm) l.second = kWhite;
      set_plate(l, s.maker == Maker::kKtm ? kWhite : m.colour,
                s.maker == Maker::kKtm ? kBlack : on_colour);
      break;
  }
  return l;
}

std::string plate_hints(const Livery& l) {
  return format("[numberbackground:%.3f,%.3f,%.3f][numberforeground:%.3f,%.3f,%.3f]",
                l.plate_back[0], l.plate_back[1], l.plate_back[2], l.plate_number[0],
                l.plate_number[1], l.plate_number[2]);
}

// ---------------------------------------------------------------------------
// The bike texture: 256 x 256, one rectangle per kind of surface.

constexpr int kSide = 256;

struct Region {
  int x0, y0, x1, y1;
};
constexpr Region kShroud{0, 0, 128, 96};
constexpr Region kPanel{128, 0, 256, 64};
constexpr Region kTank{128, 64, 192, 96};
constexpr Region kRearFender{192, 64, 256, 96};
constexpr Region kSeat{0, 96, 128, 128};
constexpr Region kFrame{128, 96, 192, 128};
constexpr Region kGuard{192, 96, 224, 128};
constexpr Region kBlackPart{224, 96, 240, 112};
constexpr Region kRubber{240, 96, 256, 112};
constexpr Region kChrome{224, 112, 240, 128};
constexpr Region kCoat{240, 112, 256, 128};
constexpr Region kEngine{0, 128, 64, 192};
constexpr Region kCover{64, 128, 128, 192};
constexpr Region kForkOuter{128, 128, 160, 160};
constexpr Region kRadiator{160, 128, 192, 160};
constexpr Region kPipe{192, 128, 224, 160};
constexpr Region kSilencer{224, 128, 256, 160};
constexpr Region kSpring{128, 160, 192, 192};
constexpr Region kSwingarm{192, 160, 256, 192};
constexpr Region kChain{0, 192, 64, 208};
constexpr Region kGrip{64, 192, 128, 208};
constexpr Region kBarPad{0, 208, 128, 224};
constexpr Region kSkid{128, 192, 192, 224};
constexpr Region kAirbox{192, 192, 256, 224};
constexpr Region kFrontFender{0, 224, 128, 256};
constexpr Region kClamp{128, 224, 192, 256};

UvRect uv(const Region& r) { return uv_pixels(r.x0, r.y0, r.x1, r.y1, kSide, kSide); }

void paint(Picture& p, const Region& r, const std::function<Rgba(float s, float t)>& f) {
  paint_rect(p, r.x0, r.y0, r.x1, r.y1, f);
}

// Plastic catches the light along its top.
Rgba plastic(Rgba c, float t) { return shade(c, 1.08f - 0.16f * t); }

void paint_shroud(Picture& p, const BikeStyle& s, const Livery& l) {
  const Region& r = kShroud;
  paint(p, r, [&](float, float t) { return plastic(l.main, t); });
  const float w = static_cast<float>(r.x1 - r.x0), h = static_cast<float>(r.y1 - r.y0);
  auto px = [&](float fx) { return r.x0 + fx * w; };
  auto py = [&](float fy) { return r.y0 + fy * h; };
  if (s.later) {
    // Two slashes rising towards the front.
    fill_polygon(
        p, {px(0.0f), py(1.0f), px(0.38f), py(1.0f), px(0.95f), py(0.05f), px(0.7f), py(0.05f)},
        l.graphic, r.x0, r.y0, r.x1, r.y1);
    fill_band(p, px(0.42f), py(1.0f), px(1.0f), py(0.1f), 3, l.line, r.x0, r.y0, r.x1, r.y1);
  } else {
    // A wedge along the bottom and a pinstripe over it.
    fill_polygon(p,
                 {px(0.0f), py(0.62f), px(1.0f), py(0.45f), px(1.0f), py(1.0f), px(0.0f), py(1.0f)},
                 l.graphic, r.x0, r.y0, r.x1, r.y1);
    fill_band(p, px(0.0f), py(0.56f), px(1.0f), py(0.38f), 3, l.line, r.x0, r.y0, r.x1, r.y1);
  }
  // The size, leaning forwards, over the graphic.
  const float cell = 3.4f;
  const Rgba text = s.later ? l.line : l.main;
  stencil_text(p, s.size.c_str(), px(0.3f), py(0.36f), cell, 0.5f, kBlack);
  stencil_text(p, s.size.c_str(), px(0.3f) - 1, py(0.36f) - 1, cell, 0.5f, text);
}

void paint_panel(Picture& p, const BikeStyle& s, const Livery& l) {
  const Region& r = kPanel;
  paint(p, r, [&](float, float t) { return plastic(l.second, t); });
  const float w = static_cast<float>(r.x1 - r.x0), h = static_cast<float>(r.y1 - r.y0);
  auto px = [&](float fx) { return r.x0 + fx * w; };
  auto py = [&](float fy) { return r.y0 + fy * h; };
  const Rgba graphic = l.second.r == l.graphic.r && l.second.g == l.graphic.g ? l.line : l.graphic;
  if (s.later) {
    fill_polygon(p,
                 {px(0.0f), py(0.8f), px(1.0f), py(0.55f), px(1.0f), py(1.0f), px(0.0f), py(1.0f)},
                 graphic, r.x0, r.y0, r.x1, r.y1);
  } else {
    fill_polygon(p,
                 {px(0.0f), py(0.0f), px(0.3f), py(0.0f), px(0.12f), py(1.0f), px(0.0f), py(1.0f)},
                 graphic, r.x0, r.y0, r.x1, r.y1);
  }
  fill_band(p, px(0.0f), py(0.12f), px(1.0f), py(0.12f), 2, l.line, r.x0, r.y0, r.x1, r.y1);
}

// Round sections map u round them from the side (u = 0, +x), over the top
// (u = 0.25) and under (u = 0.75).
float top_of_section(float s) { return std::sin(s * kTurn); }

void paint_seat(Picture& p, const Livery& l) {
  paint(p, kSeat, [&](float s, float t) {
    const float up = top_of_section(s);
    Rgba c = up > 0.45f ? l.seat : kBlack;
    if (up > 0.45f && std::fmod(t * 40, 1.0f) < 0.3f) c = shade(c, 0.8f);  // gripper ribs
    if (up < -0.2f) c = Rgba{45, 45, 48};                                  // the seat base
    return shade(c, 0.85f + 0.2f * std::max(up, 0.0f));
  });
}

// A cylinder's shine: bright where it faces the light, u round it.
Rgba shiny(Rgba c, float s) {
  return shade(c, 0.72f + 0.38f * std::max(0.0f, std::cos((s - 0.18f) * kTurn)));
}

void paint_bike(Picture& p, const BikeStyle& s, const Livery& l) {
  fill(p, kBlack);
  paint_shroud(p, s, l);
  paint_panel(p, s, l);
  paint(p, kTank, [&](float, float t) { return plastic(l.main, t); });
  paint(p, kRearFender, [&](float, float t) { return plastic(l.second, t); });
  paint_seat(p, l);
  paint(p, kFrame, [&](float sx, float t) {
    const float streak = 0.04f * std::sin(t * 91 + sx * 3);
    return shade(l.frame, 0.95f + streak);
  });
  paint(p, kGuard, [&](float sx, float) { return shiny(l.guard, sx); });
  paint(p, kBlackPart, [&](float, float t) { return shade(kBlack, 1.1f - 0.2f * t); });
  paint(p, kRubber, [&](float, float) { return Rgba{20, 20, 20}; });
  paint(p, kChrome, [&](float sx, float) { return shiny(kChromeTone, sx); });
  paint(p, kCoat, [&](float sx, float) { return shiny(l.fork_inner, sx); });
  // Cylinder and head: castings with cooling lines across.
  const Rgba casting = s.two_stroke ? Rgba{150, 152, 158} : Rgba{96, 98, 104};
  paint(p, kEngine, [&](float, float t) {
    const bool line = std::fmod(t * 9, 1.0f) < 0.18f;
    return shade(casting, line ? 0.6f : 1.0f);
  });
  // Side covers and crankcase: a lighter cover with a ring of bolts.
  paint(p, kCover, [&](float sx, float t) {
    const float d = std::hypot(sx - 0.55f, t - 0.45f);
    Rgba c = shade(casting, 0.8f);
    if (d < 0.36f) c = shade(casting, 1.15f - d * 0.6f);
    const float a = std::atan2(t - 0.45f, sx - 0.55f);
    if (std::fabs(d - 0.3f) < 0.025f && std::fmod(a / kTurn * 8 + 8.25f, 1.0f) < 0.18f)
      c = kChromeTone;
    return c;
  });
  paint(p, kForkOuter, [&](float sx, float) { return shiny(l.fork_outer, sx); });
  paint(p, kRadiator, [&](float sx, float t) {
    const bool fin = std::fmod(sx * 12, 1.0f) < 0.35f || std::fmod(t * 20, 1.0f) < 0.2f;
    return fin ? Rgba{70, 72, 76} : Rgba{22, 22, 24};
  });
  paint(p, kPipe, [&](float sx, float t) {
    if (s.two_stroke) return shiny(Rgba{110, 112, 118}, sx);
    // Heat colours a four-stroke header: gold near the port, blue after it.
    const Rgba heat = t > 0.75f
                          ? mix(Rgba{196, 150, 90}, Rgba{110, 100, 160}, (1 - t) * 4)
                          : mix(Rgba{110, 100, 160}, kSilver, std::min(1.0f, (0.75f - t) * 3));
    return shiny(heat, sx);
  });
  paint(p, kSilencer, [&](float sx, float t) {
    if (t < 0.08f || t > 0.9f) return shiny(Rgba{60, 60, 64}, sx);
    Rgba c = shiny(kSilver, sx);
    if (std::fabs(t - 0.5f) < 0.12f && std::fabs(sx - 0.0f) < 0.2f) c = l.main;
    return c;
  });
  paint(p, kSpring, [&](float sx, float t) {
    const float coil = std::fmod(t * 11, 1.0f);
    return coil < 0.55f ? shiny(l.spring, sx) : Rgba{30, 30, 32};
  });
  paint(p, kSwingarm,
        [&](float sx, float t) { return shade(kSilver, 0.92f + 0.06f * std::sin(t * 70 + sx)); });
  paint(p, kChain, [&](float, float t) {
    const float link = std::fmod(t * 60, 1.0f);
    return link < 0.5f ? Rgba{70, 66, 60} : Rgba{140, 136, 128};
  });
  paint(p, kGrip, [&](float, float t) {
    return std::fmod(t * 14, 1.0f) < 0.5f ? Rgba{30, 30, 30} : Rgba{55, 55, 55};
  });
  paint(p, kBarPad, [&](float sx, float t) {
    if (t < 0.15f || t > 0.85f) return kBlack;
    return top_of_section(sx) > 0.3f ? shade(l.main, 1.05f) : shade(l.main, 0.8f);
  });
  paint(p, kSkid, [&](float sx, float t) {
    const bool rivet =
        std::hypot(std::fmod(sx * 6, 1.0f) - 0.5f, std::fmod(t * 3, 1.0f) - 0.5f) < 0.12f;
    return rivet ? kChromeTone : shade(kSilver, 0.8f);
  });
  paint(p, kAirbox, [&](float, float) { return Rgba{38, 38, 40}; });
  paint(p, kFrontFender, [&](float sx, float t) {
    Rgba c = plastic(l.main, 0.3f);
    const float up = top_of_section(sx);
    if (up > 0.97f && l.line.r != l.main.r) c = l.line;  // a stripe down the middle
    if (up < 0) c = shade(c, 0.7f);
    if (t > 0.9f) c = shade(c, 0.85f);
    return c;
  });
  paint(p, kClamp, [&](float sx, float) {
    return s.maker == Maker::kKtm ? shiny(l.frame, sx) : shiny(Rgba{150, 152, 158}, sx);
  });
}

// ---------------------------------------------------------------------------
// Shaping help.

struct Materials {
  Mesh plastic = material(40, 0.35f);
  Mesh metal = material(24, 0.5f);
  Mesh dull = material(6, 0.08f);
};

std::vector<Mesh> meshes_of(Materials& m, V3 origin) {
  std::vector<Mesh> meshes;
  for (Mesh* mesh : {&m.plastic, &m.metal, &m.dull}) {
    if (mesh->vertices.empty()) continue;
    shift(*mesh, origin);
    meshes.push_back(*mesh);
  }
  return meshes;
}

// An outline on one side of the bike, facing out of it (`sign` +1 right,
// -1 left): (y, z) points of the rest frame.
Outline side_outline(float sign, const std::vector<float>& yz) {
  Outline o;
  if (sign > 0) {
    o.u = {0, 1, 0};
    o.v = {0, 0, 1};
    o.points = yz;
  } else {
    o.u = {0, 0, 1};
    o.v = {0, 1, 0};
    for (std::size_t i = 0; i + 1 < yz.size(); i += 2) {
      o.points.push_back(yz[i + 1]);
      o.points.push_back(yz[i]);
    }
  }
  return o;
}

// A decal over [z_front, z_back] x [y_low, y_high] on one side, read from the
// rear to the front on the right and from the front to the rear on the left,
// so that lettering reads the right way round on both.
UvProjection side_decal(const UvRect& r, float sign, float z_front, float z_back, float y_low,
                        float y_high) {
  if (sign > 0)
    return planar(r, {0, y_low, z_back}, {0, 0, -1}, {0, 1, 0}, z_back - z_front, y_high - y_low);
  return planar(r, {0, y_low, z_front}, {0, 0, 1}, {0, 1, 0}, z_back - z_front, y_high - y_low);
}

// A rounded rectangle of half sizes (a, b) and corner radius c as (u, v) pairs.
std::vector<float> rounded_rect(float a, float b, float c, int corner_steps) {
  std::vector<float> points;
  const float cu[4] = {a - c, -(a - c), -(a - c), a - c};
  const float cv[4] = {b - c, b - c, -(b - c), -(b - c)};
  for (int corner = 0; corner < 4; ++corner) {
    for (int i = 0; i <= corner_steps; ++i) {
      const float ang =
          kTurn / 4 * (static_cast<float>(corner) + static_cast<float>(i) / corner_steps);
      points.push_back(cu[corner] + c * std::cos(ang));
      points.push_back(cv[corner] + c * std::sin(ang));
    }
  }
  return points;
}

V3 at(float x, float y, float z) { return {x, y, z}; }

// ---------------------------------------------------------------------------
// The frame.

void engine(Materials& m, const BikeStyle& s) {
  const float half = s.two_stroke ? 0.18f : 0.21f;
  const std::vector<float> cases =
      s.two_stroke ? std::vector<float>{1.15f, 3.05f, 1.5f,  2.95f, 1.85f, 3.0f,  1.97f,
                                        3.35f, 1.9f,  3.75f, 1.5f,  3.92f, 1.15f, 3.8f}
                   : std::vector<float>{1.12f, 3.0f,  1.55f, 2.85f, 2.0f,  2.95f, 2.1f,
                                        3.4f,  1.95f, 3.88f, 1.45f, 3.98f, 1.12f, 3.85f};
  Outline o = side_outline(1, cases);
  slab(m.dull, o, -half, half, 0.03f,
       planar(uv(kCover), {0, 1.1f, 2.85f}, {0, 0, 1}, {0, 1, 0}, 1.15f, 1.0f), uv(kEngine));
  // Covers: the clutch on the right, the ignition on the left.
  auto cover = [&](V3 c, float r, float out) {
    SweepStyle st;
    st.sides = 12;
    st.side = {0, 1, 0};
    st.project = planar(uv(kCover), c - V3{0, r, -r} * 1.0f, {0, 0, -1}, {0, 1, 0}, 2 * r, 2 * r);
    sweep(m.metal, {{c, r, r}, {c + V3{out, 0, 0}, r * 0.9f, r * 0.9f}}, st, uv(kCover));
  };
  cover(at(half - 0.01f, 1.55f, 3.45f), s.two_stroke ? 0.27f : 0.32f, 0.08f);
  cover(at(-half + 0.01f, 1.52f, 3.2f), 0.22f, -0.07f);
  SweepStyle block_style;
  block_style.sides = 8;
  block_style.squareness = 4;
  if (s.two_stroke) {
    sweep(m.dull, {{at(0, 1.88f, 3.36f), 0.17f, 0.19f}, {at(0, 2.38f, 3.21f), 0.17f, 0.19f}},
          block_style, uv(kEngine));
    sweep(m.dull, {{at(0, 2.37f, 3.21f), 0.19f, 0.2f}, {at(0, 2.5f, 3.18f), 0.15f, 0.16f}},
          block_style, uv(kEngine));
  } else {
    sweep(m.dull, {{at(0, 1.95f, 3.25f), 0.2f, 0.22f}, {at(0, 2.42f, 3.07f), 0.2f, 0.22f}},
          block_style, uv(kEngine));
    sweep(m.dull,
          {{at(0, 2.41f, 3.07f), 0.24f, 0.27f},
           {at(0, 2.7f, 2.96f), 0.23f, 0.26f},
           {at(0, 2.78f, 2.93f), 0.17f, 0.2f}},
          block_style, uv(kEngine));
  }
  block(m.metal, at(0, 1.07f, 3.42f), {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.2f, 0.03f, 0.5f},
        uv(kSkid));
}

// Header (or expansion chamber) and silencer on the right; `both` mirrors them.
void exhaust(Materials& m, const BikeStyle& s, bool both) {
  const std::size_t first_vertex = m.metal.vertices.size(), first_index = m.metal.triangles.size();
  SweepStyle pipe;
  pipe.sides = 8;
  std::vector<Ring> rings;
  float can_start_y, can_start_z, can_end_y, can_end_z, can_r;
  if (s.two_stroke) {
    // The chamber swells under the radiators and tapers back into the stinger.
    const float p[][5] = {{0.03f, 2.15f, 3.05f, 0.08f, 0}, {0.06f, 1.98f, 2.78f, 0.1f, 0},
                          {0.15f, 1.76f, 2.56f, 0.15f, 0}, {0.26f, 1.48f, 2.62f, 0.19f, 0},
                          {0.33f, 1.36f, 2.95f, 0.19f, 0}, {0.38f, 1.5f, 3.4f, 0.16f, 0},
                          {0.4f, 1.85f, 3.85f, 0.11f, 0},  {0.42f, 2.22f, 4.22f, 0.06f, 0},
                          {0.43f, 2.42f, 4.45f, 0.05f, 0}};
    for (const auto& q : p) rings.push_back({at(q[0], q[1], q[2]), q[3], q[3]});
    can_start_y = 2.36f, can_start_z = 4.4f, can_end_y = 2.72f, can_end_z = 5.6f, can_r = 0.13f;
  } else {
    const float p[][3] = {{0.04f, 2.6f, 2.7f},   {0.12f, 2.42f, 2.52f}, {0.22f, 2.15f, 2.48f},
                          {0.3f, 1.95f, 2.72f},  {0.35f, 1.9f, 3.2f},   {0.39f, 2.05f, 3.75f},
                          {0.42f, 2.25f, 4.22f}, {0.44f, 2.4f, 4.56f}};
    for (const auto& q : p) rings.push_back({at(q[0], q[1], q[2]), 0.07f, 0.07f});
    can_start_y = 2.36f, can_start_z = 4.5f, can_end_y = 2.74f, can_end_z = 5.95f, can_r = 0.15f;
  }
  sweep(m.metal, rings, pipe, uv(kPipe));
  SweepStyle can;
  can.sides = 10;
  can.squareness = 2.4f;
  const V3 a = at(0.45f, can_start_y, can_start_z), b = at(0.46f, can_end_y, can_end_z);
  sweep(m.metal,
        {{a, can_r * 0.7f, can_r * 0.8f},
         {lerp(a, b, 0.12f), can_r, can_r * 1.1f},
         {b, can_r, can_r * 1.1f},
         {b + normalised(b - a) * 0.08f, can_r * 0.5f, can_r * 0.55f}},
        can, uv(kSilencer));
  if (both) mirror_tail(m.metal, first_vertex, first_index);
}

std::vector<float> shroud_outline(Maker maker) {
  // (y, z) round the shroud, from its front bottom.
  switch (maker) {
    case Maker::kKtm:  // sharper and lower
      return {2.1f, 2.4f,  2.7f,  2.28f, 3.08f, 2.42f, 3.22f, 2.8f,  3.22f,
              3.2f, 3.02f, 3.48f, 2.62f, 3.3f,  2.3f,  2.95f, 2.06f, 2.72f};
    case Maker::kYamaha:  // taller at the front
      return {2.05f, 2.36f, 2.86f, 2.24f, 3.2f,  2.45f, 3.3f,  2.78f, 3.26f,
              3.2f,  3.05f, 3.5f,  2.7f,  3.36f, 2.34f, 2.96f, 2.06f, 2.7f};
    default:
      return {2.08f, 2.36f, 2.78f, 2.27f, 3.15f, 2.45f, 3.28f, 2.76f, 3.25f,
              3.2f,  3.05f, 3.5f,  2.68f, 3.35f, 2.34f, 2.95f, 2.07f, 2.7f};
  }
}

std::vector<Mesh> frame_model(const BikeStyle& s, const BikeRest& r) {
  Materials m;
  const V3 d = r.fork_axis;
  // Head tube, spars, cradle and subframe.
  taper(m.metal, r.steering + d * -0.32f, r.steering + d * 0.26f, 0.1f, 0.1f, 8, uv(kFrame));
  SweepStyle spar;
  spar.sides = 8;
  spar.squareness = 4;
  spar.caps = true;
  for (float sign : {1.0f, -1.0f}) {
    auto sx = [&](float x, float y, float z) { return at(sign * x, y, z); };
    sweep(m.metal,
          {{sx(0.08f, 2.92f, 2.26f), 0.05f, 0.12f},
           {sx(0.3f, 2.8f, 2.65f), 0.05f, 0.14f},
           {sx(0.4f, 2.62f, 3.25f), 0.05f, 0.14f},
           {sx(0.4f, 2.42f, 3.68f), 0.05f, 0.13f},
           {sx(0.38f, 2.05f, 3.92f), 0.05f, 0.13f},
           {sx(0.37f, 1.55f, 3.96f), 0.05f, 0.15f}},
          spar, uv(kFrame));
    tube(m.metal,
         {sx(0.0f, 1.78f, 2.55f), sx(0.13f, 1.35f, 2.76f), sx(0.16f, 1.13f, 3.02f),
          sx(0.16f, 1.1f, 3.7f), sx(0.22f, 1.35f, 3.95f), sx(0.33f, 1.6f, 3.98f)},
         0.05f, 6, uv(kFrame));
    tube(m.metal, {sx(0.33f, 2.68f, 3.6f), sx(0.3f, 2.84f, 4.6f), sx(0.22f, 2.92f, 5.45f)}, 0.04f,
         6, uv(kFrame));
    tube(m.metal, {sx(0.36f, 1.95f, 3.95f), sx(0.3f, 2.84f, 5.3f)}, 0.035f, 6, uv(kFrame));
  }
  tube(m.metal, {r.steering + d * -0.28f, at(0, 2.2f, 2.3f), at(0, 1.78f, 2.55f)}, 0.065f, 8,
       uv(kFrame));

  engine(m, s);
  exhaust(m, s, s.maker == Maker::kHonda && s.later);

  // Radiators either side of the down tube, leaning with the fork.
  const V3 lean = normalised(at(0, 0.94f, 0.34f));
  const V3 back = cross(V3{1, 0, 0}, lean);
  for (float sign : {1.0f, -1.0f}) {
    block(m.dull, at(sign * 0.27f, 2.42f, 2.46f), {1, 0, 0}, lean, back, {0.13f, 0.42f, 0.08f},
          uv(kRadiator));
  }

  // Tank, seat, airbox and rear fender.
  SweepStyle body;
  body.sides = 12;
  body.squareness = 2.8f;
  sweep(m.plastic,
        {{at(0, 2.92f, 2.42f), 0.16f, 0.16f},
         {at(0, 3.02f, 2.6f), 0.3f, 0.26f},
         {at(0, 3.05f, 2.95f), 0.36f, 0.28f},
         {at(0, 3.02f, 3.3f), 0.33f, 0.25f},
         {at(0, 2.98f, 3.55f), 0.24f, 0.16f}},
        body, uv(kTank));
  SweepStyle seat = body;
  seat.squareness = 3.2f;
  sweep(m.dull,
        {{at(0, 3.16f, 2.95f), 0.12f, 0.05f},
         {at(0, 3.21f, 3.2f), 0.2f, 0.08f},
         {at(0, 3.18f, 3.7f), 0.25f, 0.1f},
         {at(0, 3.14f, 4.4f), 0.26f, 0.11f},
         {at(0, 3.12f, 5.0f), 0.22f, 0.1f},
         {at(0, 3.1f, 5.4f), 0.14f, 0.07f}},
        seat, uv(kSeat));
  SweepStyle box = body;
  box.squareness = 5;
  box.sides = 8;
  sweep(m.dull, {{at(0, 2.72f, 3.75f), 0.33f, 0.3f}, {at(0, 2.74f, 5.2f), 0.28f, 0.28f}}, box,
        uv(kAirbox));
  SweepStyle fender = body;
  fender.squareness = 2.2f;
  sweep(m.plastic,
        {{at(0, 3.02f, 5.1f), 0.26f, 0.07f},
         {at(0, 2.98f, 5.8f), 0.24f, 0.05f},
         {at(0, 2.9f, 6.4f), 0.2f, 0.04f},
         {at(0, 2.76f, 6.88f), 0.15f, 0.03f}},
        fender, uv(kRearFender));

  // Shrouds over the radiators and side panels under the seat.
  for (float sign : {1.0f, -1.0f}) {
    slab(m.plastic, side_outline(sign, shroud_outline(s.maker)), 0.37f, 0.43f, 0.06f,
         side_decal(uv(kShroud), sign, 2.22f, 3.52f, 2.04f, 3.32f), uv(kTank));
    slab(m.plastic,
         side_outline(
             sign, {2.35f, 3.95f, 2.95f, 3.8f, 3.09f, 4.4f, 3.07f, 5.3f, 2.8f, 5.45f, 2.4f, 4.7f}),
         0.34f, 0.4f, 0.03f, side_decal(uv(kPanel), sign, 3.8f, 5.45f, 2.34f, 3.1f),
         uv(kRearFender));
  }

  // Shock and spring, pegs and levers.
  taper(m.metal, at(0, 2.72f, 4.12f), at(0, 1.45f, 4.38f), 0.13f, 0.13f, 12, uv(kSpring));
  taper(m.metal, at(0.15f, 2.66f, 4.08f), at(0.15f, 2.22f, 4.14f), 0.07f, 0.07f, 8, uv(kCoat));
  for (float sign : {1.0f, -1.0f}) {
    const V3 peg = at(sign * kRightPeg.x, kRightPeg.y - 0.03f, kRightPeg.z);
    block(m.metal, peg, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.12f, 0.03f, 0.07f}, uv(kChrome));
  }
  tube(m.metal, {at(0.3f, 1.36f, 3.88f), at(0.36f, 1.3f, 3.5f), at(0.38f, 1.33f, 3.3f)}, 0.03f, 6,
       uv(kChrome));
  tube(m.metal, {at(-0.3f, 1.56f, 3.45f), at(-0.38f, 1.42f, 3.3f), at(-0.4f, 1.44f, 3.18f)}, 0.025f,
       6, uv(kChrome));
  if (s.two_stroke) {
    tube(m.metal, {at(0.28f, 1.72f, 3.72f), at(0.36f, 1.95f, 4.02f), at(0.37f, 1.97f, 4.12f)},
         0.03f, 6, uv(kChrome));
  }
  return meshes_of(m, r.frame);
}

// ---------------------------------------------------------------------------
// Forks, swingarm, plates.

std::vector<Mesh> fork_upper_model(const BikeRest& r) {
  Materials m;
  const V3 d = r.fork_axis, f = r.fork_forward, x{1, 0, 0};
  const V3 S = r.steering;
  block(m.metal, S + d * 0.32f, x, d, -f, {0.46f, 0.05f, 0.15f}, uv(kClamp));
  block(m.metal, S + d * -0.38f, x, d, -f, {0.46f, 0.06f, 0.17f}, uv(kClamp));
  for (float sign : {1.0f, -1.0f}) {
    const V3 leg = S + x * (sign * r.fork_half_width);
    taper(m.metal, leg + d * -0.95f, leg + d * 0.4f, 0.095f, 0.088f, 12, uv(kForkOuter));
    taper(m.metal, leg + d * 0.4f, leg + d * 0.44f, 0.07f, 0.05f, 8, uv(kChrome));
  }
  // Bar mounts, the bar with its pad, grips and levers.
  const V3 clamp_top = S + d * 0.37f;
  for (float sign : {1.0f, -1.0f}) {
    taper(m.metal, clamp_top + x * (sign * 0.18f), at(sign * 0.18f, 3.42f, 2.24f), 0.05f, 0.05f, 8,
          uv(kClamp));
  }
  tube(m.metal,
       {at(-1.02f, 3.55f, 2.3f), at(-0.64f, 3.52f, 2.27f), at(-0.38f, 3.45f, 2.24f),
        at(-0.2f, 3.43f, 2.23f), at(0.2f, 3.43f, 2.23f), at(0.38f, 3.45f, 2.24f),
        at(0.64f, 3.52f, 2.27f), at(1.02f, 3.55f, 2.3f)},
       0.045f, 8, uv(kChrome), {0, 1, 0});
  taper(m.plastic, at(-0.32f, 3.5f, 2.24f), at(0.32f, 3.5f, 2.24f), 0.065f, 0.065f, 10, uv(kBarPad),
        {0, 1, 0});
  for (float sign : {1.0f, -1.0f}) {
    const V3 grip = at(sign * kRightGrip.x, kRightGrip.y, kRightGrip.z);
    const V3 half = at(sign * 0.16f, 0.0125f, 0.01f);
    taper(m.dull, grip - half, grip + half, 0.06f, 0.06f, 8, uv(kGrip), {0, 1, 0});
    tube(m.metal,
         {at(sign * 0.66f, 3.55f, 2.2f), at(sign * 0.8f, 3.54f, 2.05f),
          at(sign * 0.98f, 3.5f, 2.03f)},
         0.018f, 5, uv(kChrome), {0, 1, 0});
  }
  block(m.dull, at(0.58f, 3.58f, 2.22f), x, {0, 1, 0}, {0, 0, 1}, {0.06f, 0.04f, 0.05f},
        uv(kBlackPart));
  // The front fender under the bottom clamp, over the tyre.
  SweepStyle fender;
  fender.sides = 12;
  fender.squareness = 2.2f;
  sweep(m.plastic,
        {{at(0, 2.2f, 0.2f), 0.2f, 0.02f},
         {at(0, 2.4f, 0.55f), 0.23f, 0.03f},
         {at(0, 2.47f, 1.0f), 0.24f, 0.04f},
         {at(0, 2.46f, 1.5f), 0.24f, 0.04f},
         {at(0, 2.42f, 1.95f), 0.2f, 0.04f}},
        fender, uv(kFrontFender));
  return meshes_of(m, r.steering);
}

std::vector<Mesh> fork_lower_model(const BikeRest& r) {
  Materials m;
  const V3 d = r.fork_axis, f = r.fork_forward, x{1, 0, 0};
  const V3 L = r.fork_lower;
  for (float sign : {1.0f, -1.0f}) {
    const V3 leg = L + x * (sign * r.fork_half_width);
    taper(m.metal, leg + d * -0.72f, leg + d * 0.75f, 0.074f, 0.074f, 10, uv(kCoat));
    // The axle lug, reaching forward to the axle.
    const V3 axle = r.front_axle + x * (sign * r.fork_half_width);
    block(m.metal, lerp(leg + d * -0.76f, axle, 0.5f), x, d, -f, {0.08f, 0.16f, 0.11f}, uv(kClamp));
    // The guard wraps the front of the tube.
    SweepStyle guard;
    guard.sides = 10;
    guard.squareness = 3;
    sweep(m.plastic,
          {{leg + d * -0.62f + f * 0.03f, 0.1f, 0.1f}, {leg + d * 0.05f + f * 0.03f, 0.1f, 0.11f}},
          guard, uv(kGuard));
  }
  // The front caliper behind the left leg, over the disc.
  block(m.dull, r.front_axle + at(-0.24f, 0.28f, 0.3f), x, normalised(at(0, 0.7f, 0.7f)),
        normalised(at(0, -0.7f, 0.7f)), {0.06f, 0.13f, 0.07f}, uv(kBlackPart));
  return meshes_of(m, r.fork_lower);
}

std::vector<Mesh> swingarm_model(const BikeRest& r) {
  Materials m;
  const V3 x{1, 0, 0};
  SweepStyle arm;
  arm.sides = 12;
  arm.squareness = 4;
  const V3 run = normalised(r.rear_axle - r.pivot);
  for (float sign : {1.0f, -1.0f}) {
    auto on = [&](float t, float across, float drop) {
      V3 p = lerp(r.pivot, r.rear_axle, t);
      p.x = sign * across;
      p.y -= drop;
      return p;
    };
    sweep(m.metal,
          {{on(0.0f, 0.27f, 0), 0.05f, 0.13f},
           {on(0.35f, 0.29f, 0.03f), 0.05f, 0.12f},
           {on(0.85f, 0.32f, 0.01f), 0.045f, 0.09f},
           {on(1.07f, 0.32f, 0), 0.045f, 0.08f}},
          arm, uv(kSwingarm));
    block(m.metal, r.rear_axle + x * (sign * 0.35f), x, {0, 1, 0}, run, {0.03f, 0.06f, 0.12f},
          uv(kChrome));
  }
  taper(m.metal, r.pivot - x * 0.33f, r.pivot + x * 0.33f, 0.09f, 0.09f, 10, uv(kSwingarm),
        {0, 1, 0});
  block(m.metal, lerp(r.pivot, r.rear_axle, 0.17f), x, {0, 1, 0}, run, {0.28f, 0.08f, 0.13f},
        uv(kSwingarm));
  // The linkage under the pivot, where the shock ends.
  block(m.metal, at(0, 1.27f, 4.43f), x, {0, 1, 0}, {0, 0, 1}, {0.12f, 0.12f, 0.18f},
        uv(kSwingarm));
  // The chain on the left, round the countershaft and the rear sprocket.
  SweepStyle chain;
  chain.sides = 4;
  chain.squareness = 6;
  const V3 shaft = at(-0.36f, 1.72f, 3.78f), sprocket = r.rear_axle + at(-0.36f, 0, 0);
  for (float side : {1.0f, -1.0f}) {
    sweep(m.dull,
          {{shaft + at(0, side * 0.15f, 0), 0.025f, 0.035f},
           {sprocket + at(0, side * 0.37f, 0), 0.025f, 0.035f}},
          chain, uv(kChain));
  }
  block(m.dull, at(-0.34f, 0.88f, 5.4f), x, {0, 1, 0}, run, {0.03f, 0.12f, 0.3f}, uv(kBlackPart));
  block(m.dull, r.rear_axle + at(0.27f, -0.27f, -0.12f), x, {0, 1, 0}, {0, 0, 1},
        {0.05f, 0.11f, 0.1f}, uv(kBlackPart));
  return meshes_of(m, r.swingarm);
}

// Plates take the whole plate picture the game paints on their face; their
// backs and edges take its corner, the background colour.
const UvRect kWholePlate{0.01f, 0.01f, 0.99f, 0.99f};
const UvRect kPlateCorner{0.01f, 0.01f, 0.03f, 0.03f};

std::vector<Mesh> side_plates_model(const BikeRest& r) {
  Mesh plates = material(20, 0.2f);
  const float zc = 4.68f, yc = 2.78f, hz = 0.36f, hy = 0.26f;
  for (float sign : {1.0f, -1.0f}) {
    std::vector<float> yz;
    const std::vector<float> box = rounded_rect(hy, hz, 0.07f, 3);
    for (std::size_t i = 0; i < box.size(); i += 2) {
      yz.push_back(yc + box[i]);
      yz.push_back(zc + box[i + 1]);
    }
    slab(plates, side_outline(sign, yz), 0.428f, 0.442f, 0.0f,
         side_decal(kWholePlate, sign, zc - hz, zc + hz, yc - hy, yc + hy), kPlateCorner);
  }
  shift(plates, r.frame);
  return {plates};
}

std::vector<Mesh> front_plate_model(const BikeRest& r) {
  Mesh plate = material(20, 0.2f);
  const V3 d = r.fork_axis, f = r.fork_forward;
  const V3 centre = r.steering + d * 0.02f + f * 0.24f;
  // A shield, wider at the top: (along the fork, across) pairs.
  Outline o;
  o.origin = centre;
  o.u = d;
  o.v = {1, 0, 0};
  const float shield[][2] = {{0.4f, -0.44f},   {0.4f, 0.44f},   {0.1f, 0.46f},
                             {-0.22f, 0.4f},   {-0.38f, 0.26f}, {-0.44f, 0.0f},
                             {-0.38f, -0.26f}, {-0.22f, -0.4f}, {0.1f, -0.46f}};
  for (const auto& p : shield) {
    o.points.push_back(p[0]);
    o.points.push_back(p[1]);
  }
  // Seen from the front, the picture's right is the bike's left (-x).
  slab(plate, o, -0.015f, 0.015f, 0.04f,
       planar(kWholePlate, centre + V3{0.46f, 0, 0} + d * -0.44f, {-1, 0, 0}, d, 0.92f, 0.84f),
       kPlateCorner);
  shift(plate, r.steering);
  return {plate};
}

// The models' file name from a catalogue data name: "@crf250_frame.jm" -> "crf250".
std::string stem_of(const char* name, const char* suffix) {
  std::string s = name[0] == '@' ? name + 1 : name;
  const std::size_t at = s.rfind(suffix);
  return at == std::string::npos ? s : s.substr(0, at);
}

void write_bike_texture(Output& out, const std::string& file, const BikeStyle& s, int variant) {
  const Livery l = livery(s, variant);
  Picture p(kSide, kSide, 3);
  paint_bike(p, s, l);
  write_picture(out, file, p, plate_hints(l).c_str());
}

}  // namespace

void write_bikes(Output& out) {
  const BikeRest rest = bike_rest();
  // Each model stem once, and each texture with the style of the stem it paints.
  std::map<std::string, BikeStyle> models;
  std::map<std::string, std::pair<BikeStyle, int>> textures;  // file stem -> style, variant
  for (const sim::BikeInfo* const* bike = shell::bike_catalogue(); *bike; ++bike) {
    const sim::BikeInfo& info = **bike;
    const std::string stem = stem_of(info.files[sim::kFrameModel], "_frame.jm");
    const BikeStyle style = style_of(stem, info.bike_class);
    models.emplace(stem, style);
    const std::string texture = stem_of(info.files[sim::kBikeTexture], ".png");
    textures.emplace(texture, std::make_pair(style, texture == stem ? 0 : 3));
  }
  for (const auto& model : models) {
    // Named copies: lambdas may not capture structured bindings with clang 14.
    const std::string& stem = model.first;
    const BikeStyle& style = model.second;
    // Each part with a coarser level of detail for the distance where that saves something.
    write_model_levels(out, stem + "_frame", [&] { return frame_model(style, rest); });
    write_model_levels(out, stem + "_fork_upper", [&] { return fork_upper_model(rest); });
    write_model_levels(out, stem + "_fork_lower", [&] { return fork_lower_model(rest); });
    write_model_levels(out, stem + "_swingarm", [&] { return swingarm_model(rest); });
    write_model_levels(out, stem + "_side_plates", [&] { return side_plates_model(rest); });
    write_model_levels(out, stem + "_front_plate", [&] { return front_plate_model(rest); });
  }
  for (const auto& [file, look] : textures)
    write_bike_texture(out, file + ".png", look.first, look.second);
  // The alternative liveries the Bike Graphics menu lists for each prefix.
  std::set<std::string> prefixes;
  for (int i = 0; i < shell::kCatalogueSize; ++i) prefixes.insert(shell::bike_graphics_prefix(i));
  for (const std::string& prefix : prefixes) {
    const auto look = textures.find(prefix.substr(0, prefix.size() - 1));
    if (look == textures.end()) continue;
    for (int variant = 1; variant <= 2; ++variant) {
      write_bike_texture(out, prefix + format("alt%d.png", variant), look->second.first, variant);
    }
  }
}

}  // namespace content
