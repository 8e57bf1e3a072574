// track_ground.cpp -- a track's ground: the height field cut along the lap, its surfaces,
// the light and shadow baked from the sun, and the surface table.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "content/content.h"
#include "content/track_internal.h"
#include "data/data.h"
#include "platform/platform.h"
#include "sim/sim.h"

namespace content {

namespace {

constexpr float kGrassReach = 200;  // ft from the track's edge that is still mown grass
constexpr float kEdgeRough = 24;    // ft along the field's border left rough

// Every grid point near the lap with the sample nearest to it.
struct Nearest {
  std::vector<int> sample;  // -1: farther than any sample reaches
  std::vector<float> d2;
};

Nearest nearest_samples(const Lap& lap, int points, float spacing, int stride, float extra_reach) {
  Nearest near;
  near.sample.assign(std::size_t(points) * points, -1);
  near.d2.assign(std::size_t(points) * points, INFINITY);
  for (std::size_t k = 0; k < lap.samples.size(); k += stride) {
    const Sample& s = lap.samples[k];
    const float reach = lap.half_width[k] + extra_reach;
    const int x0 = std::max(0, static_cast<int>(std::floor((s.x - reach) / spacing)));
    const int x1 = std::min(points - 1, static_cast<int>(std::ceil((s.x + reach) / spacing)));
    const int z0 = std::max(0, static_cast<int>(std::floor((s.z - reach) / spacing)));
    const int z1 = std::min(points - 1, static_cast<int>(std::ceil((s.z + reach) / spacing)));
    for (int iz = z0; iz <= z1; ++iz) {
      for (int ix = x0; ix <= x1; ++ix) {
        const float dx = ix * spacing - s.x, dz = iz * spacing - s.z;
        const float d2 = dx * dx + dz * dz;
        const std::size_t g = std::size_t(iz) * points + ix;
        if (d2 < near.d2[g]) {
          near.d2[g] = d2;
          near.sample[g] = static_cast<int>(k);
        }
      }
    }
  }
  return near;
}

void cut_heights(const Lap& lap, sim::HeightField& field, const Nearest& near) {
  const TrackPlan& plan = *lap.plan;
  const int points = field.points_per_side;
  for (int iz = 0; iz < points; ++iz) {
    for (int ix = 0; ix < points; ++ix) {
      const float x = ix * field.spacing, z = iz * field.spacing;
      const std::size_t g = std::size_t(iz) * points + ix;
      const float land = plan.ground(x, z);
      field.heights[g] = near.sample[g] < 0
                             ? land
                             : corridor_height(lap, project(lap, near.sample[g], x, z), land);
    }
  }
}

// The surface of a tile on the track's corridor.
Surface corridor_surface(const Lap& lap, const LapPoint& p) {
  const float half = profile_at(lap, lap.half_width, p.s);
  const int k = sample_at(lap, p.s);
  if (profile_at(lap, lap.sand, p.s) > 0.5f && p.d <= half + 3) return kSand;
  const bool bermed = profile_at(lap, lap.berm, p.s) > 0.5f;
  const float outward = p.u * lap.outside[k];
  if (p.d <= half) {
    // The racing line is packed hard; the edges and the faces of the berms stay loose.
    const bool on_berm_face = bermed && outward > 0.3f * half;
    return std::fabs(p.u) <= 0.45f * half && !on_berm_face ? kHardPack : kLoam;
  }
  if (p.d <= half + 5 + (bermed ? kBermLip : 0)) return kLoam;
  return kGrass;
}

void lay_tiles(const Lap& lap, sim::HeightField& field, const Nearest& near) {
  const int tiles = field.tiles_per_side;
  const int points = field.points_per_side;
  const float tile = field.tile_size;
  // Distances beyond the corridor only decide grass from rough: a coarse pass will do.
  const Nearest far = nearest_samples(lap, tiles, tile, std::max(1, static_cast<int>(3 / lap.step)),
                                      kGrassReach + 4);
  for (int tz = 0; tz < tiles; ++tz) {
    for (int tx = 0; tx < tiles; ++tx) {
      const float cx = (tx + 0.5f) * tile, cz = (tz + 0.5f) * tile;
      const std::size_t centre = std::size_t(2 * tz + 1) * points + 2 * tx + 1;
      Surface surface = kRough;
      if (near.sample[centre] >= 0) {
        surface = corridor_surface(lap, project(lap, near.sample[centre], cx, cz));
      } else if (const int k = far.sample[std::size_t(tz) * tiles + tx]; k >= 0) {
        const float d = std::sqrt(far.d2[std::size_t(tz) * tiles + tx]) - lap.half_width[k];
        surface = d <= kGrassReach ? kGrass : kRough;
      }
      const float edge = std::min({cx, cz, field.extent - cx, field.extent - cz});
      if (edge < kEdgeRough) surface = kRough;
      field.tilemap[std::size_t(tz) * tiles + tx] = static_cast<unsigned char>(surface);
    }
  }
}

// How lit each grid point is (255 in full sun): a ray towards the sun that
// meets the ground on its way puts the point in shadow. Softened over the
// neighbouring points.
std::vector<unsigned char> bake_shadows(const sim::HeightField& field) {
  const int points = field.points_per_side;
  const sim::Vec3& sun = field.light.sun_direction;
  const float across = std::hypot(sun.x, sun.z);
  std::vector<unsigned char> lit(std::size_t(points) * points, 255);
  if (across < 1e-3f) return lit;  // a sun overhead casts no shadow on a height field
  const float dx = sun.x / across, dz = sun.z / across, rise = sun.y / across;
  for (int iz = 0; iz < points; ++iz) {
    for (int ix = 0; ix < points; ++ix) {
      const float x = ix * field.spacing, z = iz * field.spacing;
      const float h = field.heights[std::size_t(iz) * points + ix];
      const float reach = (field.max_height - h) / rise;
      for (float t = field.spacing; t <= reach; t += field.spacing) {
        if (sim::terrain_height(x + dx * t, z + dz * t) > h + rise * t + 0.1f) {
          lit[std::size_t(iz) * points + ix] = 110;
          break;
        }
      }
    }
  }
  std::vector<unsigned char> soft(lit.size());
  for (int iz = 0; iz < points; ++iz) {
    for (int ix = 0; ix < points; ++ix) {
      int sum = 0, count = 0;
      for (int oz = -1; oz <= 1; ++oz) {
        for (int ox = -1; ox <= 1; ++ox) {
          const int x = ix + ox, z = iz + oz;
          if (x < 0 || z < 0 || x >= points || z >= points) continue;
          sum += lit[std::size_t(z) * points + x];
          ++count;
        }
      }
      soft[std::size_t(iz) * points + ix] = static_cast<unsigned char>(sum / count);
    }
  }
  return soft;
}

void write_shadows(Output& out, const std::string& dir, int points,
                   const std::vector<unsigned char>& lit) {
  const std::string path = dir + "/shadows.pgm";
  data::DataStream* stream = data::open_data(path.c_str(), "wb");
  if (!stream) {
    std::fprintf(stderr, "kvgen: can't write %s\n", path.c_str());
    out.ok = false;
    return;
  }
  data::ds_printf(stream, "P5\n%d %d\n255\n", points, points);
  data::ds_write(stream, lit.data(), lit.size());
  if (data::ds_flush(stream) != 0 || std::ferror(stream->file)) out.ok = false;
  data::close_data(stream);
}

// The surface table, in the order of `Surface` (tileinfo has no comments, so
// they are here). Friction rises to a peak at a few ft/s of slip and falls
// away when the tyre spins or slides; rolling resistance grows with sinkage;
// the loose surfaces rut faster.
std::string tileinfo_text() {
  using names::kGround;
  using names::kRoost;
  std::string text;
  // Hard-pack: the racing line.
  text += format("texture %s\n", kGround[kHardPack]);
  text +=
      "friction 0.95 0.5\nfriction 1.15 4\nfriction 1.0 12\nfriction 0.8 40\n"
      "roll_resist 4 12 1\nroll_resist 6 16 40\n"
      "erode_depth 0.6\nerode_lower 60\nerode_upper 180\nerode_displacement 1.5\n"
      "erode_radius 3\nerode_max_slope 0.25\n";
  text += format("roost texture=%s count=6 r=150 g=115 b=80 size=0.2 grow=2 fade_a=-256\n", kRoost);
  text += "addtile\n";

  // Loam: loose dirt off the line and on the berms.
  text += format("texture %s\n", kGround[kLoam]);
  text +=
      "friction 1.0 0.5\nfriction 1.2 5\nfriction 1.05 15\nfriction 0.85 40\n"
      "roll_resist 6 22 1\nroll_resist 8 28 40\n"
      "erode_depth 1.0\nerode_lower 50\nerode_upper 150\nerode_displacement 2\n"
      "erode_radius 4\nerode_max_slope 0.3\n";
  text +=
      format("roost texture=%s count=10 r=110 g=80 b=55 size=0.25 grow=3 fade_a=-256\n", kRoost);
  text += "addtile\n";

  // Sand: deep and soft; besides the roost it splashes to both sides.
  text += format("texture %s\n", kGround[kSand]);
  text +=
      "friction 0.75 0.5\nfriction 0.95 6\nfriction 0.85 20\nfriction 0.7 40\n"
      "roll_resist 14 55 1\nroll_resist 18 70 40\n"
      "erode_depth 1.6\nerode_lower 40\nerode_upper 120\nerode_displacement 2.5\n"
      "erode_radius 4.5\nerode_max_slope 0.4\nerode_off_speed 6\nerode_on_speed 12\n";
  text +=
      format("roost texture=%s count=12 r=215 g=195 b=150 size=0.25 grow=3 fade_a=-256\n", kRoost);
  text += format(
      "roost texture=%s splash=1 count=4 r=220 g=205 b=160 size=0.3 grow=3 "
      "randomize=6 vscale=0.8 fade_a=-256\n",
      kRoost);
  text += "addtile\n";

  // Grass: beside the track, slippery once the tyre breaks loose.
  text += format("texture %s\n", kGround[kGrass]);
  text +=
      "friction 0.8 0.5\nfriction 0.9 3\nfriction 0.6 12\nfriction 0.5 40\n"
      "roll_resist 7 20 1\nroll_resist 9 26 40\n"
      "erode_depth 0.3\nerode_lower 80\nerode_upper 220\nerode_displacement 1\n"
      "erode_radius 3\n";
  text += format("roost texture=%s count=3 r=90 g=110 b=50 size=0.2 grow=2 fade_a=-256\n", kRoost);
  text += "addtile\n";

  // Rough: out of bounds, long grass over old ruts; it throws nothing.
  text += format("texture %s\n", kGround[kRough]);
  text +=
      "friction 0.6 0.5\nfriction 0.7 3\nfriction 0.45 15\n"
      "roll_resist 40 110 1\nroll_resist 60 150 30\n"
      "erode_depth 0.2\nerode_lower 100\nerode_upper 300\nerode_displacement 0.5\n"
      "addtile\n";
  return text;
}

}  // namespace

void build_ground(Output& out, const Lap& lap) {
  const TrackPlan& plan = *lap.plan;
  if (!sim::terrain_create(plan.size_log2, plan.spacing)) {
    std::fprintf(stderr, "kvgen: bad ground size for %s\n", plan.folder.c_str());
    out.ok = false;
    return;
  }
  sim::HeightField& field = sim::g_terrain;
  const int points = field.points_per_side;
  field.surface_count = kSurfaceCount;
  const float length = std::hypot(std::hypot(plan.sun[0], plan.sun[1]), plan.sun[2]);
  field.light.sun_direction = {plan.sun[0] / length, plan.sun[1] / length, plan.sun[2] / length};

  const Nearest near = nearest_samples(lap, points, plan.spacing, 1, kBermLip + kShoulder + 2);
  cut_heights(lap, field, near);
  lay_tiles(lap, field, near);
  // Height bounds, pyramid and the sun's shading, baked as the game bakes it after erosion.
  sim::terrain_refresh();

  const std::string dir = out.root + plan.folder;
  if (!sim::terrain_save(dir.c_str())) {
    std::fprintf(stderr, "kvgen: can't write the terrain of %s\n", dir.c_str());
    out.ok = false;
  }
  write_shadows(out, dir, points, bake_shadows(field));
  write_file(out, plan.folder + "/tileinfo", tileinfo_text());
}

}  // namespace content
