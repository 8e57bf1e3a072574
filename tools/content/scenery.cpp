// scenery.cpp -- what the tracks name beyond their own folders: ground, sky, flares, roost,
// banners, flaggers, hay bales, tyre stacks, the paddock's container and the starting gate.
//
// These are plain first versions: every name a track uses exists and reads,
// in colours that say what each thing is.
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "content/content.h"
#include "content/mesh_build.h"
#include "content/paint.h"
#include "race/race.h"

namespace content {

namespace names {
const char* const kGround[5] = {"@hardpack.png", "@loam.png", "@sand.png", "@grass.png",
                                "@rough.png"};
const char* const kSky[5] = {"@sky-n.png", "@sky-e.png", "@sky-s.png", "@sky-w.png", "@sky-u.png"};
const char* const kSkyEnv = "@sky-env.png";
const char* const kRoost = "@roost.png";
const char* const kFlare[3] = {"@flare_glow.png", "@flare_ring.png", "@flare_spot.png"};
const char* const kBanners[3] = {"@banner_korvex.png", "@banner_stripes.png",
                                 "@banner_chequer.png"};
const char* const kStartFlagger[5] = {"@flagger_start_idle.png", "@flagger_start_board30.png",
                                      "@flagger_start_board_side.png", "@flagger_start_gate.png",
                                      "@flagger_start_walk.png"};
const char* const kFinishFlagger[4] = {"@flagger_finish_idle.png", "@flagger_finish_halfway.png",
                                       "@flagger_finish_white.seq",
                                       "@flagger_finish_chequered.seq"};
const char* const kCourseFlagger[2] = {"@flagger_course_idle.png", "@flagger_course_yellow.seq"};
const char* const kHayBale[3] = {"@haybale.jm", "@haybale.png", "@haybale.shp"};
const char* const kTyreStack[3] = {"@tyrestack.jm", "@tyrestack.png", "@tyrestack.shp"};
const char* const kContainer[3] = {"@container.jm", "@container.png", "@container.shp"};
}  // namespace names

namespace {

// The file name of a data name ("@sand.png" -> "sand.png").
std::string file_of(const char* name) { return name[0] == '@' ? name + 1 : name; }

// The name of a map beside a picture: ("@sand.png", "_norm") -> "sand_norm.png".
std::string map_of(const char* picture, const char* suffix) {
  const std::string file = file_of(picture);
  return file.substr(0, file.rfind('.')) + suffix + ".png";
}

// Soft lumps that wrap round the picture's edges: `count` of them, `least` to `most` pixels
// across, each `rise` times its radius high, falling smoothly to nothing at their rims.
void add_bumps(HeightMap& h, std::mt19937& random, int count, float least, float most, float rise) {
  std::uniform_real_distribution<float> unit(0, 1);
  for (int i = 0; i < count; ++i) {
    const float cx = unit(random) * h.width, cy = unit(random) * h.height;
    const float r = (least + (most - least) * unit(random)) / 2;
    for (int y = static_cast<int>(cy - r) - 1; y <= static_cast<int>(cy + r) + 1; ++y) {
      for (int x = static_cast<int>(cx - r) - 1; x <= static_cast<int>(cx + r) + 1; ++x) {
        const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy) / r;
        if (d >= 1) continue;
        h.at((x + h.width) % h.width, (y + h.height) % h.height) +=
            rise * r * (1 - d * d) * (1 - d * d);
      }
    }
  }
}

// A ground specular map: intensity in red, exponent / 128 in green.
Rgba ground_shine(float intensity, float exponent) { return {intensity, exponent * 255 / 128, 0}; }

// Detail normals and specular maps of the surfaces that have them, read beside their textures
// when the ground is drawn with the shader programs: pebbles in the hard-pack, which the tyres
// have polished, clods in the loam, wind ripples and glinting grains in the sand. Grass and the
// rough ground keep the terrain's own normals and no shine.
void ground_maps(Output& out) {
  constexpr int kSide = 128;
  std::mt19937 random(400);
  std::uniform_real_distribution<float> unit(0, 1);

  HeightMap hardpack(kSide, kSide);
  add_height_noise(hardpack, 401, 1.2f, 8);
  add_bumps(hardpack, random, 90, 2, 5, 0.45f);
  write_picture(out, map_of(names::kGround[0], "_norm"), normal_map(hardpack));
  Picture polish(kSide, kSide, 3);
  const Rgba polished = ground_shine(60, 12);
  fill(polish, polished);
  add_noise(polish, 402, 0.6f, 4);  // patches polished more than others, all as sharp
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) polish.at(x, y)[1] = static_cast<unsigned char>(polished.g);
  }
  write_picture(out, map_of(names::kGround[0], "_spec"), polish);

  HeightMap loam(kSide, kSide);
  add_height_noise(loam, 403, 3, 8);
  add_bumps(loam, random, 160, 3, 8, 0.35f);
  write_picture(out, map_of(names::kGround[1], "_norm"), normal_map(loam));

  // Ripples across the sand, three to the picture's width and wandering as they go down it,
  // whole numbers of waves either way so the picture tiles.
  HeightMap sand(kSide, kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const float u = static_cast<float>(x) / kSide, v = static_cast<float>(y) / kSide;
      const float phase = kTurn * (3 * u + v) + 0.8f * std::sin(kTurn * 2 * v);
      sand.at(x, y) = 2.2f * std::sin(phase);
    }
  }
  add_height_noise(sand, 404, 0.35f, 32);
  write_picture(out, map_of(names::kGround[2], "_norm"), normal_map(sand));
  Picture grains(kSide, kSide, 3);
  fill(grains, ground_shine(30, 16));
  for (int i = 0; i < 260; ++i) {
    const int x = static_cast<int>(unit(random) * kSide),
              y = static_cast<int>(unit(random) * kSide);
    fill_rect(grains, x, y, x + 1, y + 1, ground_shine(255, 90));
  }
  write_picture(out, map_of(names::kGround[2], "_spec"), grains);
}

void ground_textures(Output& out) {
  const Rgba colours[5] = {
      {138, 104, 72},   // hard-pack: packed brown clay
      {104, 78, 54},    // loam: dark and loose
      {206, 184, 138},  // sand
      {78, 122, 52},    // grass
      {96, 104, 62},    // rough ground beyond the course
  };
  const float grain[5] = {0.25f, 0.35f, 0.2f, 0.4f, 0.5f};
  for (int i = 0; i < 5; ++i) {
    Picture p(128, 128, 3);
    fill(p, colours[i]);
    add_noise(p, 100 + i, grain[i], 4);
    write_picture(out, file_of(names::kGround[i]), p);
  }
  ground_maps(out);
}

// Sky faces, seen from inside the box: north (-z), east (+x), south (+z), west (-x) with
// the picture's x to the right and y down, and the top face as seen facing north, with x
// along +x and up the picture along +z. Every texel takes its colour from its direction
// alone, so the faces meet without creases: a pale horizon deepening to blue at the zenith,
// and a band of low hills, continuous round the horizon, under it. No noise: each face's own
// would break at its edges, and a face would stand out from its neighbours.
void sky(Output& out) {
  constexpr int kSide = 256;
  // Forward and right of the four side faces.
  const float forward[4][3] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}};
  const float right[4][3] = {{1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 0, -1}};
  for (int face = 0; face < 5; ++face) {
    Picture p(kSide, kSide, 3);
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const float u = (static_cast<float>(x) + 0.5f) / kSide * 2 - 1;
        const float v = 1 - (static_cast<float>(y) + 0.5f) / kSide * 2;  // up the picture
        float d[3];
        if (face == 4) {
          d[0] = u;
          d[1] = 1;
          d[2] = v;
        } else {
          for (int k = 0; k < 3; ++k) d[k] = forward[face][k] + right[face][k] * u;
          d[1] = v;
        }
        const float elevation = std::atan2(d[1], std::hypot(d[0], d[2]));
        const float azimuth = std::atan2(d[0], -d[2]);
        const float hills =
            (1.6f + 0.9f * std::sin(azimuth * 5 + 0.7f) + 0.5f * std::sin(azimuth * 13)) *
            std::numbers::pi_v<float> / 180;
        // 0 at the horizon
        const float t =
            std::pow(std::clamp(elevation / (std::numbers::pi_v<float> / 2), 0.0f, 1.0f), 0.6f);
        const float air[3] = {200 - 130 * t, 222 - 90 * t, 240 - 25 * t};
        const float land[3] = {92, 112, 84};
        // The hills' edge is smoothed over about a texel's angle.
        const float a = std::clamp(
            (elevation - hills) / (std::numbers::pi_v<float> / 2 / kSide) + 0.5f, 0.0f, 1.0f);
        const Rgba c{land[0] + (air[0] - land[0]) * a, land[1] + (air[1] - land[1]) * a,
                     land[2] + (air[2] - land[2]) * a};
        fill_rect(p, x, y, x + 1, y + 1, c);
      }
    }
    write_picture(out, file_of(names::kSky[face]), p);
  }
  Picture env(128, 128, 3);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const float r = std::hypot(x - 63.5f, y - 63.5f) / 64;  // 0 up, 1 down the horizon
      fill_rect(env, x, y, x + 1, y + 1, Rgba{90 + 110 * r, 140 + 80 * r, 215 + 25 * r});
    }
  }
  write_picture(out, file_of(names::kSkyEnv), env);
}

// White, soft-edged sprites: the track files tint them.
void sprites(Output& out) {
  Picture roost(32, 32, 4);
  fill(roost, Rgba{255, 255, 255, 0});
  for (int ring = 0; ring < 8; ++ring) {
    fill_disc(roost, 16, 16, 14 - ring * 1.5f, Rgba{255, 255, 255, 40});
  }
  write_picture(out, file_of(names::kRoost), roost);

  Picture glow(64, 64, 4);
  fill(glow, Rgba{255, 255, 255, 0});
  for (int ring = 0; ring < 16; ++ring)
    fill_disc(glow, 32, 32, 31 - ring * 1.9f, Rgba{255, 255, 255, 18});
  write_picture(out, file_of(names::kFlare[0]), glow);

  Picture ring(64, 64, 4);
  fill(ring, Rgba{255, 255, 255, 0});
  fill_disc(ring, 32, 32, 30, Rgba{255, 255, 255, 90});
  fill_disc(ring, 32, 32, 26, Rgba{255, 255, 255, 0});
  for (int x = 0; x < 64; ++x) {
    for (int y = 0; y < 64; ++y) {
      // The disc above only adds; clear the inside by hand.
      if (std::hypot(x + 0.5f - 32, y + 0.5f - 32) < 25.5f) ring.at(x, y)[3] = 0;
    }
  }
  write_picture(out, file_of(names::kFlare[1]), ring);

  Picture spot(64, 64, 4);
  fill(spot, Rgba{255, 255, 255, 0});
  fill_disc(spot, 32, 32, 20, Rgba{255, 255, 255, 140});
  fill_disc(spot, 32, 32, 12, Rgba{255, 255, 255, 200});
  write_picture(out, file_of(names::kFlare[2]), spot);
}

void banners(Output& out) {
  // A wide sign: coloured ground, a light panel, bands.
  Picture korvex(256, 64, 4);
  fill(korvex, Rgba{200, 30, 30});
  fill_rect(korvex, 8, 8, 248, 56, Rgba{245, 245, 240});
  for (int i = 0; i < 6; ++i)
    fill_rect(korvex, 24 + i * 36, 18, 48 + i * 36, 46, Rgba{200, 30, 30});
  write_picture(out, file_of(names::kBanners[0]), korvex);

  Picture stripes(256, 64, 4);
  for (int x = 0; x < 256; x += 32) {
    fill_rect(stripes, x, 0, x + 16, 64, Rgba{20, 60, 170});
    fill_rect(stripes, x + 16, 0, x + 32, 64, Rgba{250, 250, 250});
  }
  write_picture(out, file_of(names::kBanners[1]), stripes);

  Picture chequer(256, 64, 4);
  for (int y = 0; y < 64; y += 16) {
    for (int x = 0; x < 256; x += 16) {
      const bool dark = ((x + y) / 16) % 2 == 0;
      fill_rect(chequer, x, y, x + 16, y + 16, dark ? Rgba{15, 15, 15} : Rgba{250, 220, 30});
    }
  }
  write_picture(out, file_of(names::kBanners[2]), chequer);
}

// What a flagger holds up.
enum class Holding { kNothing, kBoard30, kBoardSide, kFlag, kFlagDown, kWalking, kFlagAcross };

// A flagger: a standing figure in a marshal's vest, 64 x 128, on a clear ground.
void flagger(Output& out, const char* name, Holding holding, Rgba flag) {
  Picture p(64, 128, 4);
  fill(p, Rgba{0, 0, 0, 0});
  const int lean = holding == Holding::kWalking ? 4 : 0;
  fill_rect(p, 24 - lean, 84, 31 - lean, 126, Rgba{40, 40, 60});  // legs
  fill_rect(p, 33 + lean, 84, 40 + lean, 126, Rgba{40, 40, 60});
  fill_rect(p, 22, 44, 42, 86, Rgba{250, 120, 20});  // vest
  fill_disc(p, 32, 34, 9, Rgba{225, 180, 150});      // head
  fill_rect(p, 24, 22, 40, 28, Rgba{30, 30, 30});    // cap
  switch (holding) {
    case Holding::kNothing:
    case Holding::kWalking:
      fill_rect(p, 16, 46, 22, 80, Rgba{250, 120, 20});  // arms down
      fill_rect(p, 42, 46, 48, 80, Rgba{250, 120, 20});
      break;
    case Holding::kBoard30:
    case Holding::kBoardSide: {
      fill_rect(p, 42, 20, 48, 50, Rgba{250, 120, 20});  // arm up
      const bool side = holding == Holding::kBoardSide;
      const int w = side ? 26 : 14, h = side ? 14 : 26;
      fill_rect(p, 45 - w / 2, 4, 45 + w / 2, 4 + h, flag);
      fill_rect(p, 45 - w / 2 + 3, 7, 45 + w / 2 - 3, 4 + h - 3, Rgba{250, 250, 250});
      break;
    }
    case Holding::kFlag:
      fill_rect(p, 42, 16, 48, 50, Rgba{250, 120, 20});
      fill_rect(p, 46, 2, 49, 40, Rgba{90, 70, 40});  // the stick
      fill_rect(p, 49, 2, 64, 16, flag);
      break;
    case Holding::kFlagAcross:  // swung over the head to the other side
      fill_rect(p, 16, 16, 22, 50, Rgba{250, 120, 20});
      fill_rect(p, 15, 2, 18, 40, Rgba{90, 70, 40});
      fill_rect(p, 0, 2, 15, 16, flag);
      break;
    case Holding::kFlagDown:
      fill_rect(p, 42, 46, 48, 80, Rgba{250, 120, 20});
      fill_rect(p, 46, 70, 49, 110, Rgba{90, 70, 40});
      fill_rect(p, 49, 96, 64, 110, flag);
      break;
  }
  write_picture(out, file_of(name), p);
}

// A flag waved from side to side: two pictures and the ".seq" animation that swaps them every
// quarter second. `name` is the animation's data name.
void waving_flagger(Output& out, const char* name, Rgba flag) {
  const std::string base = std::string(name).substr(0, std::string(name).rfind('.'));
  const std::string right = base + "-1.png", left = base + "-2.png";
  flagger(out, right.c_str(), Holding::kFlag, flag);
  flagger(out, left.c_str(), Holding::kFlagAcross, flag);
  write_file(out, file_of(name), "ANIM1\n2 2 32 1\n0 1\nPNG " + right + "\nPNG " + left + "\n");
}

void flaggers(Output& out) {
  const Rgba green{40, 170, 60}, white{250, 250, 250}, yellow{250, 220, 30}, red{210, 30, 30};
  flagger(out, names::kStartFlagger[0], Holding::kNothing, white);
  flagger(out, names::kStartFlagger[1], Holding::kBoard30, green);
  flagger(out, names::kStartFlagger[2], Holding::kBoardSide, green);
  flagger(out, names::kStartFlagger[3], Holding::kFlagDown, green);
  flagger(out, names::kStartFlagger[4], Holding::kWalking, white);
  flagger(out, names::kFinishFlagger[0], Holding::kNothing, white);
  flagger(out, names::kFinishFlagger[1], Holding::kFlag, red);
  waving_flagger(out, names::kFinishFlagger[2], white);
  waving_flagger(out, names::kFinishFlagger[3], Rgba{20, 20, 20});
  flagger(out, names::kCourseFlagger[0], Holding::kNothing, yellow);
  waving_flagger(out, names::kCourseFlagger[1], yellow);
}

void hay_bale(Output& out) {
  Picture p(128, 128, 3);
  fill(p, Rgba{214, 186, 110});
  // Straw runs along the bale: long thin streaks, and two binding twines.
  for (int y = 0; y < 128; y += 3) {
    const float shade = 0.85f + 0.15f * std::sin(y * 1.7f);
    fill_rect(p, 0, y, 128, y + 1, Rgba{214 * shade, 186 * shade, 110 * shade});
  }
  add_noise(p, 300, 0.2f, 8);
  fill_rect(p, 30, 0, 34, 128, Rgba{150, 60, 30});
  fill_rect(p, 94, 0, 98, 128, Rgba{150, 60, 30});
  write_picture(out, file_of(names::kHayBale[1]), p);

  Mesh bale;
  bale.exponent = 4;
  bale.colour[0] = bale.colour[1] = bale.colour[2] = 0.05f;
  const float lo[3] = {-2, 0, -1}, hi[3] = {2, 2, 1};  // 4 ft long, 2 ft high and deep
  add_box(bale, lo, hi);
  write_model(out, file_of(names::kHayBale[0]), {bale});
  write_file(out, file_of(names::kHayBale[2]),
             shape_text({{-1.2f, 1, 0, 1, 0.7f}, {0, 1, 0, 1, 0.7f}, {1.2f, 1, 0, 1, 0.7f}}));
}

void tyre_stack(Output& out) {
  Picture p(128, 128, 3);
  fill(p, Rgba{34, 34, 36});
  // The side (upper three quarters): four tyres with their treads and a painted band.
  for (int tyre = 0; tyre < 4; ++tyre) {
    const int y0 = tyre * 24;
    fill_rect(p, 0, y0, 128, y0 + 2, Rgba{12, 12, 12});
    for (int x = 0; x < 128; x += 6) fill_rect(p, x, y0 + 6, x + 3, y0 + 18, Rgba{48, 48, 50});
  }
  fill_rect(p, 0, 40, 128, 48, Rgba{235, 235, 235});
  // The top (lowest quarter): the hole of the top tyre.
  for (int y = 96; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const float dx = (x + 0.5f - 64) / 64, dy = (y + 0.5f - 112) / 16;
      if (dx * dx + dy * dy < 0.35f) fill_rect(p, x, y, x + 1, y + 1, Rgba{8, 8, 8});
    }
  }
  add_noise(p, 301, 0.15f, 8);
  write_picture(out, file_of(names::kTyreStack[1]), p);

  Mesh stack;
  stack.exponent = 8;
  stack.colour[0] = stack.colour[1] = stack.colour[2] = 0.15f;
  add_cylinder(stack, 1.25f, 0, 2.8f, 16);
  write_model(out, file_of(names::kTyreStack[0]), {stack});
  write_file(out, file_of(names::kTyreStack[2]),
             shape_text({{0, 0.9f, 0, 1.25f, 0.8f}, {0, 1.9f, 0, 1.25f, 0.8f}}));
}

// A steel shipping container, the paddock's store: 20 ft long along x, 8 ft deep and 8.5 ft
// high, standing on its origin. The box is all the geometry there is; its corrugated walls,
// frame, dents and door rods are a normal map, and paint, rust and galvanised steel shine
// differently through a specular map, which the shader programs read beside the texture.
void container(Output& out) {
  constexpr int kSide = 512;
  constexpr float kLength = 20, kDepth = 8, kHeight = 8.5f;
  // The pictures' regions (pixels, rows top first): the long walls (and the roof), the door
  // end and the closed end. Between them the frame's height, so no edge shows in the normals.
  struct Area {
    int x0, y0, x1, y1;
    bool inside(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
    // Pixels to the nearest edge.
    int edge(int x, int y) const { return std::min({x - x0, x1 - 1 - x, y - y0, y1 - 1 - y}); }
  };
  const Area wall{0, 0, 512, 224}, doors{0, 256, 224, 480}, closed{256, 256, 480, 480};
  constexpr float kFrame = 7;  // px: the frame's height over the panels' deepest
  constexpr int kFrameWidth = 10;
  constexpr float kRodX[4] = {0.17f, 0.36f, 0.64f, 0.83f};  // door lock rods, across the doors
  constexpr float kRodRadius = 5;
  std::mt19937 random(500);
  std::uniform_real_distribution<float> unit(0, 1);

  // Rust: blotches, heavier along the bottom of every face and under the frame's top, and
  // streaks run down the walls from the top rail.
  HeightMap rust(kSide, kSide);
  add_height_noise(rust, 501, 1, 4);
  for (int i = 0; i < 28; ++i) {
    const int x = static_cast<int>(unit(random) * (kSide - 8)) + 4;
    const int length = 30 + static_cast<int>(unit(random) * 110);
    const int width = 2 + static_cast<int>(unit(random) * 3);
    for (int y = kFrameWidth; y < kFrameWidth + length && y < wall.y1; ++y) {
      for (int k = 0; k < width; ++k)
        rust.at(x + k, y) += 0.9f * (1 - static_cast<float>(y - kFrameWidth) / length);
    }
  }
  HeightMap height(kSide, kSide);
  Picture colour(kSide, kSide, 3), shine(kSide, kSide, 4);
  const Rgba paint{28, 92, 130}, frame_paint{22, 74, 106}, rust_colour{128, 62, 30};
  const Rgba steel{168, 170, 166}, placard{232, 230, 222};
  const Rgba paint_shine{80, 80, 80, 40}, rust_shine{6, 5, 4, 8}, steel_shine{200, 200, 200, 100};
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const Area* area = wall.inside(x, y)     ? &wall
                         : doors.inside(x, y)  ? &doors
                         : closed.inside(x, y) ? &closed
                                               : nullptr;
      float h = kFrame;
      Rgba c = frame_paint, sh = paint_shine;
      float rusty = 0;
      if (area) {
        const int e = area->edge(x, y);
        const float across = static_cast<float>(x - area->x0) / (area->x1 - area->x0);
        const float from_bottom = static_cast<float>(area->y1 - 1 - y);
        // Corrugation: trapezoid ribs, wide on the walls and the closed end, finer on the doors.
        const float ribs = area == &wall ? 22 : area == &closed ? 9 : 14;
        const float period = (area->x1 - area->x0) / ribs;
        const float t = std::fmod(static_cast<float>(x - area->x0) / period, 1.0f);
        const float rib = std::clamp((std::fabs(2 * t - 1) - 0.3f) / 0.4f, 0.0f, 1.0f);
        const float panel = (area == &doors ? 2.5f : 4) * rib * rib * (3 - 2 * rib);
        // The frame, bevelled down to the panels over three pixels.
        const float bevel = std::clamp((static_cast<float>(e) - kFrameWidth) / 3, 0.0f, 1.0f);
        h = kFrame + (panel - kFrame) * bevel;
        if (bevel > 0) c = paint;
        rusty = 1.5f * rust.at(x, y) + std::max(0.0f, 1 - from_bottom / 28) * 0.9f - 0.5f;
        if (area == &doors) {
          // The doors meet in the middle; four galvanised lock rods run up them.
          if (std::fabs(across - 0.5f) * (area->x1 - area->x0) < 1.5f) h -= 2;
          for (float rod_at : kRodX) {
            const float dx = (across - rod_at) * (area->x1 - area->x0);
            if (std::fabs(dx) < kRodRadius && e >= 6) {
              h = kFrame + kRodRadius * std::sqrt(1 - dx * dx / (kRodRadius * kRodRadius));
              c = steel;
              sh = steel_shine;
              rusty = std::min(rusty, 0.2f) - 0.3f;
            }
          }
          // The door's placard, with lines of print.
          const int px = x - (area->x0 + 46), py = y - (area->y0 + 24);
          if (px >= 0 && px < 28 && py >= 0 && py < 22) {
            c = py % 5 >= 3 && px > 3 && px < 24 ? Rgba{40, 40, 40} : placard;
            sh = Rgba{120, 120, 120, 60};
            h = panel + 1;
            rusty = -1;
          }
        } else if (area == &wall) {
          // Three shallow dents from forklifts and the odd bike.
          const float dents[3][2] = {{120, 150}, {330, 90}, {440, 170}};
          for (const auto& d : dents) {
            const float r2 = (x - d[0]) * (x - d[0]) + (y - d[1]) * (y - d[1]);
            h -= 3 * std::exp(-r2 / (2 * 22 * 22));
          }
        }
      }
      const float r = std::clamp(rusty * 1.6f, 0.0f, 1.0f);
      h += r * 0.8f * rust.at((x * 7) % kSide, (y * 7) % kSide);  // rust is rough
      height.at(x, y) = h;
      const Rgba painted = mix(c, rust_colour, r);
      unsigned char* px = colour.at(x, y);
      px[0] = static_cast<unsigned char>(std::clamp(painted.r, 0.0f, 255.0f));
      px[1] = static_cast<unsigned char>(std::clamp(painted.g, 0.0f, 255.0f));
      px[2] = static_cast<unsigned char>(std::clamp(painted.b, 0.0f, 255.0f));
      const Rgba gloss = mix(sh, rust_shine, r);
      unsigned char* sx = shine.at(x, y);
      sx[0] = sx[1] = sx[2] = static_cast<unsigned char>(std::clamp(gloss.r, 0.0f, 255.0f));
      sx[3] = static_cast<unsigned char>(std::clamp(gloss.a, 0.0f, 255.0f));
    }
  }
  add_noise(colour, 502, 0.08f, 8);
  write_picture(out, file_of(names::kContainer[1]), colour);
  write_picture(out, map_of(names::kContainer[1], "_norm"), normal_map(height));
  write_picture(out, map_of(names::kContainer[1], "_spec"), shine);

  Mesh box = material(20, 0.3f);
  const float x = kLength / 2, z = kDepth / 2, y = kHeight;
  auto face = [&](const Area& area, V3 normal, V3 a, V3 b, V3 c, V3 d) {
    // a, b, c, d: lower left, lower right, upper right, upper left seen from outside.
    const UvRect r = uv_pixels(area.x0, area.y0, area.x1, area.y1, kSide, kSide);
    const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const V3 corners[4] = {a, b, c, d};
    const int base = static_cast<int>(box.vertices.size());
    for (int i = 0; i < 4; ++i) {
      float uv[2];
      uv_at(r, st[i][0], st[i][1], uv);
      add_vertex(box, corners[i], normal, uv);
    }
    add_triangle(box, base, base + 1, base + 2, normal);
    add_triangle(box, base, base + 2, base + 3, normal);
  };
  face(wall, {0, 0, 1}, {-x, 0, z}, {x, 0, z}, {x, y, z}, {-x, y, z});
  face(wall, {0, 0, -1}, {x, 0, -z}, {-x, 0, -z}, {-x, y, -z}, {x, y, -z});
  face(closed, {1, 0, 0}, {x, 0, z}, {x, 0, -z}, {x, y, -z}, {x, y, z});
  face(doors, {-1, 0, 0}, {-x, 0, -z}, {-x, 0, z}, {-x, y, z}, {-x, y, -z});
  face(wall, {0, 1, 0}, {-x, y, z}, {x, y, z}, {x, y, -z}, {-x, y, -z});
  write_model(out, file_of(names::kContainer[0]), {box});
  write_file(
      out, file_of(names::kContainer[2]),
      shape_text({{-6.5f, 4.25f, 0, 4, 0.6f}, {0, 4.25f, 0, 4, 0.6f}, {6.5f, 4.25f, 0, 4, 0.6f}}));
}

// One rider's section of the starting gate, standing across the start in
// front of the wheel (the rider is at +z). Its hinge lies on the ground along
// the x axis through the origin, so the gate drops forwards by turning the
// model about its x axis. A section is as wide as the grid's pitch, so a row
// of them makes one gate. Its shape is the hinge beam, a low bump once the
// gate is down.
void starting_gate(Output& out) {
  constexpr int kSide = 64;
  Picture p(kSide, kSide, 3);
  // The panel (upper half): perforated steel under a yellow and black top bar.
  paint_rect(p, 0, 0, kSide, 32, [](float s, float t) {
    const bool hole = std::fmod(s * 24, 1.0f) < 0.4f && std::fmod(t * 12, 1.0f) < 0.4f;
    return hole ? Rgba{70, 74, 80} : Rgba{196, 200, 206};
  });
  paint_rect(p, 0, 32, kSide, 48, [](float s, float t) {
    return std::fmod(s * 8 + t, 1.0f) < 0.5f ? Rgba{245, 200, 20} : Rgba{25, 25, 25};
  });
  paint_rect(p, 0, 48, kSide, kSide, [](float, float t) {
    return Rgba{120 - 30 * t, 124 - 30 * t, 130 - 30 * t};
  });
  std::string ppm = format("P6\n%d %d\n255\n", kSide, kSide);
  ppm.append(p.pixels.begin(), p.pixels.end());
  write_file(out, file_of(race::kStartGateTexture), ppm);

  const UvRect panel = uv_pixels(0, 0, kSide, 32, kSide, kSide);
  const UvRect bar = uv_pixels(0, 32, kSide, 48, kSide, kSide);
  const UvRect steel = uv_pixels(0, 48, kSide, kSide, kSide, kSide);
  Mesh gate = material(30, 0.4f);
  const V3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  block(gate, {0, 0.95f, -0.04f}, x, y, z, {2.15f, 0.75f, 0.03f}, panel);
  block(gate, {0, 1.8f, -0.04f}, x, y, z, {2.18f, 0.12f, 0.06f}, bar);
  for (float side : {-1.0f, 1.0f})
    block(gate, {side * 2.12f, 0.95f, -0.04f}, x, y, z, {0.06f, 0.8f, 0.07f}, steel);
  taper(gate, {-2.2f, 0.08f, -0.04f}, {2.2f, 0.08f, -0.04f}, 0.08f, 0.08f, 8, steel, y);
  write_model(out, file_of(race::kStartGateModel), {gate});
  std::vector<Sphere> beam;
  for (int i = -2; i <= 2; ++i)
    beam.push_back({0.9f * static_cast<float>(i), -0.2f, -0.05f, 0.3f, 0.5f});
  write_file(out, file_of(race::kStartGateShape), shape_text(beam));
}

}  // namespace

void write_scenery(Output& out) {
  ground_textures(out);
  sky(out);
  sprites(out);
  banners(out);
  flaggers(out);
  hay_bale(out);
  tyre_stack(out);
  container(out);
  starting_gate(out);
}

}  // namespace content
