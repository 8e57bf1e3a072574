// tracks_test.cpp -- the generated tracks load with the game's own loader, everything they
// name exists, and their laps can be ridden gate to gate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "ai/lines.h"
#include "content/generated_data.h"
#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "sim/sim.h"

namespace {

using generated_data::parses;
using race::g_track;

struct TrackCase {
  const char* dir;
  const char* display_name;
  float shortest_lap, longest_lap;  // ft, gate to gate
};

const TrackCase kTracks[] = {
    {"@rabbithill", "Rabbit Hill", 3000, 4500},
    {"@practice", "Practice Arena", 600, 1200},
};

class GeneratedTrackTest : public generated_data::GeneratedDataTest {
 protected:
  void TearDown() override {
    race::track_free();
    // The map cached while loading belongs to a generation the sweep drops.
    data::texture_new_generation();
    data::texture_sweep();
    GeneratedDataTest::TearDown();
  }
  // Loads a track, which must read without a single warning; with `normal_maps` the
  // statues' maps are looked for, as when the shader programs draw them.
  void load(const TrackCase& c, bool normal_maps = false) {
    race::TrackLoadOptions options;
    options.debug_level = 1;
    options.normal_maps = normal_maps;
    platform::messages_clear();
    ASSERT_TRUE(race::track_load(c.dir, options)) << c.dir;
    std::string warnings;
    for (int i = 0; i < platform::visible_message_count(); ++i) {
      warnings += std::string(platform::visible_message(i)) + "\n";
    }
    EXPECT_EQ(warnings, "") << c.dir;
  }
  // The index of the surface whose texture is `texture_name`, or -1.
  static int surface(const char* texture_name) {
    for (int i = 0; i < sim::g_terrain.surface_count; ++i) {
      if (sim::g_terrain.surfaces[i].texture_name == texture_name) return i;
    }
    return -1;
  }
  // The checkpoints in the order a normal lap takes them (it ends at the finish line).
  static std::vector<race::TimingGate> lap_gates() {
    std::vector<race::TimingGate> gates;
    for (int i = 0; i < g_track.normal_lap_length; ++i) {
      const int entry = g_track.lap_sequences[g_track.first_lap_length + i] % race::kSilentGateBase;
      gates.push_back(g_track.checkpoints[entry]);
    }
    return gates;
  }
};

TEST_F(GeneratedTrackTest, EveryTrackLoadsWithItsTimingAndSurfaces) {
  for (const TrackCase& c : kTracks) {
    SCOPED_TRACE(c.dir);
    load(c);
    EXPECT_EQ(g_track.starting_gates.size(), 40u);
    ASSERT_GE(g_track.checkpoints.size(), 8u);
    // The first lap starts behind the finish line, so it crosses it at the start and again
    // at its end; every later lap ends there.
    EXPECT_EQ(g_track.first_lap_length, g_track.normal_lap_length + 1);
    EXPECT_EQ(g_track.normal_lap_length, static_cast<int>(g_track.checkpoints.size()));
    EXPECT_EQ(g_track.lap_sequences.front(), 0);
    EXPECT_EQ(g_track.lap_sequences.back(), 0);
    EXPECT_GE(g_track.normal_lap_splits, 3);
    EXPECT_LT(g_track.normal_lap_splits, g_track.normal_lap_length);

    data::DataStream* desc = data::open_data((std::string(c.dir) + "/desc").c_str(), "rb");
    ASSERT_NE(desc, nullptr);
    char line[256] = {};
    data::ds_read_line(desc, line, sizeof line);
    data::close_data(desc);
    EXPECT_EQ(std::string(line), std::string(c.display_name) + "\n");

    // Five surfaces that each feel different.
    const sim::HeightField& field = sim::g_terrain;
    ASSERT_EQ(field.surface_count, 5);
    std::set<float> peaks, rolling, erosion;
    for (int i = 0; i < field.surface_count; ++i) {
      float peak = 0;
      for (float slip = 0; slip <= 40; slip += 0.5f)
        peak = std::max(peak, sim::surface_friction(i, slip));
      peaks.insert(peak);
      rolling.insert(sim::surface_roll_resist(i, 20, 1));
      erosion.insert(field.surfaces[i].erode_depth);
    }
    EXPECT_EQ(peaks.size(), 5u);
    EXPECT_EQ(rolling.size(), 5u);
    EXPECT_EQ(erosion.size(), 5u);
    const int sand = surface("sand.png");
    ASSERT_GE(sand, 0);
    bool splash = false;
    for (const sim::RoostType& r : field.surfaces[sand].roost) splash = splash || r.mode == 2;
    EXPECT_TRUE(splash);
    // Out of bounds lies far out: the corners of the field.
    const int rough = surface("rough.png");
    EXPECT_EQ(sim::terrain_surface_at(1, 1), rough);
    EXPECT_EQ(sim::terrain_surface_at(field.extent - 1, field.extent - 1), rough);
    race::track_free();
  }
}

TEST_F(GeneratedTrackTest, EveryNameATrackUsesOpensAndParses) {
  for (const TrackCase& c : kTracks) {
    SCOPED_TRACE(c.dir);
    load(c, true);
    std::set<std::string> names;
    const sim::HeightField& field = sim::g_terrain;
    for (int i = 0; i < field.surface_count; ++i) {
      names.insert(field.surfaces[i].texture);
      for (const sim::RoostType& r : field.surfaces[i].roost) {
        if (r.mode != 0) names.insert(r.texture);
      }
    }
    const race::LightingSettings& light = g_track.lighting;
    for (const std::string& sky : light.sky) names.insert(sky);
    names.insert(light.sky_env);
    EXPECT_FALSE(light.flares.empty());
    for (const race::LensFlare& flare : light.flares) {
      for (const race::FlareElement& e : flare.elements) names.insert(e.texture);
    }
    const race::Flaggers& flaggers = g_track.flaggers;
    ASSERT_GE(flaggers.start.billboard, 0);
    ASSERT_GE(flaggers.finish.billboard, 0);
    for (const std::string& t : flaggers.start.textures) names.insert(t);
    for (const std::string& t : flaggers.finish.textures) names.insert(t);
    for (const race::CourseFlagger& f : flaggers.course) {
      for (const std::string& t : f.textures) names.insert(t);
    }
    EXPECT_GT(g_track.billboards.size(), static_cast<std::size_t>(g_track.first_file_billboard));
    for (std::size_t i = race::kPoolBillboards; i < g_track.billboards.size(); ++i) {
      names.insert(g_track.billboards[i].texture);
    }
    EXPECT_GT(g_track.statues.size(), static_cast<std::size_t>(g_track.first_file_statue));
    for (const race::Statue& s : g_track.statues) {
      if (!s.model.empty()) names.insert(s.model);
      if (!s.texture.empty()) names.insert(s.texture);
      if (!s.normal_map.empty()) names.insert(s.normal_map);
      if (!s.specular_map.empty()) names.insert(s.specular_map);
      if (!s.shape_name.empty()) {
        names.insert(s.shape_name);
        EXPECT_TRUE(s.has_shape) << s.shape_name;
      }
    }
    for (const std::string& name : names) EXPECT_TRUE(parses(name));
    EXPECT_GT(g_track.map_width, 0);

    // Every checkpoint has a trackside camera.
    ASSERT_FALSE(g_track.cameras.empty());
    for (std::size_t g = 0; g < g_track.checkpoints.size(); ++g) {
      EXPECT_GE(g_track.checkpoint_camera[g], 0) << g;
    }
    race::track_free();
  }
}

// Riding from gate to gate goes round the whole lap in order: each gate lies
// ahead of the one before, not far, on the track, and the last leads back to
// the first.
TEST_F(GeneratedTrackTest, LapIsAClosedLoopOfGatesInOrder) {
  for (const TrackCase& c : kTracks) {
    SCOPED_TRACE(c.dir);
    load(c);
    const std::vector<race::TimingGate> gates = lap_gates();
    const std::set<int> track_surfaces = {surface("hardpack.png"), surface("loam.png"),
                                          surface("sand.png")};
    float length = 0;
    for (std::size_t i = 0; i < gates.size(); ++i) {
      const race::TimingGate& a = gates[i];
      const race::TimingGate& b = gates[(i + 1) % gates.size()];
      const float dx = b.centre.x - a.centre.x, dz = b.centre.z - a.centre.z;
      const float gap = std::hypot(dx, dz);
      length += gap;
      EXPECT_GE(gap, 15) << "gate " << i;
      EXPECT_LE(gap, 110) << "gate " << i;
      const float forward = std::hypot(a.forward.x, a.forward.z);
      EXPECT_GT((dx * a.forward.x + dz * a.forward.z) / (gap * forward),
                std::cos(40 * std::numbers::pi_v<float> / 180))
          << "gate " << i << " does not face the next";
      EXPECT_TRUE(track_surfaces.count(sim::terrain_surface_at(a.centre.x, a.centre.z)))
          << "gate " << i;
      // Its half-disc spans the track but does not reach the next gate.
      EXPECT_GE(a.radius, 20);
      EXPECT_LT(a.radius, gap + 40);
    }
    EXPECT_GE(length, c.shortest_lap);
    EXPECT_LE(length, c.longest_lap);
    race::track_free();
  }
}

// The grid stands behind the finish line facing it, on the track, every bike
// with room of its own.
TEST_F(GeneratedTrackTest, TheGridLinesUpBehindTheFinishLine) {
  for (const TrackCase& c : kTracks) {
    SCOPED_TRACE(c.dir);
    load(c);
    const race::TimingGate& line = g_track.checkpoints[0];
    const std::set<int> track_surfaces = {surface("hardpack.png"), surface("loam.png")};
    for (std::size_t i = 0; i < g_track.starting_gates.size(); ++i) {
      const race::StartingGate& g = g_track.starting_gates[i];
      const float dx = g.x - line.centre.x, dz = g.z - line.centre.z;
      const float along = dx * line.forward.x + dz * line.forward.z;
      EXPECT_LT(along, -20) << i;  // behind the line: its pass does not count before the start
      EXPECT_GT(along, -120) << i;
      // The line spans the whole grid.
      EXPECT_LT(std::fabs(dx * line.forward.z - dz * line.forward.x), line.radius) << i;
      // A bike's forward is its body's -z turned by the yaw.
      EXPECT_GT(-std::sin(g.yaw) * line.forward.x - std::cos(g.yaw) * line.forward.z, 0.95f) << i;
      EXPECT_TRUE(track_surfaces.count(sim::terrain_surface_at(g.x, g.z))) << i;
      for (std::size_t j = 0; j < i; ++j) {
        const race::StartingGate& o = g_track.starting_gates[j];
        EXPECT_GE(std::hypot(g.x - o.x, g.z - o.z), 4) << i << " and " << j;
      }
    }
    race::track_free();
  }
}

// Along the line from gate to gate Rabbit Hill has jumps to take off from (faces
// of 15 degrees and more), and nowhere a wall or a step a bike cannot ride.
TEST_F(GeneratedTrackTest, RabbitHillRidesOverItsJumps) {
  load(kTracks[0]);
  const std::vector<race::TimingGate> gates = lap_gates();
  int faces = 0;
  bool climbing = false;
  float steepest = 0;
  for (std::size_t i = 0; i < gates.size(); ++i) {
    const sim::Vec3& a = gates[i].centre;
    const sim::Vec3& b = gates[(i + 1) % gates.size()].centre;
    const float gap = std::hypot(b.x - a.x, b.z - a.z);
    const int steps = static_cast<int>(gap);
    float before = sim::terrain_height(a.x, a.z);
    for (int k = 1; k <= steps; ++k) {
      const float t = static_cast<float>(k) / steps;
      const float height = sim::terrain_height(a.x + (b.x - a.x) * t, a.z + (b.z - a.z) * t);
      const float slope =
          std::atan2(height - before, gap / steps) * 180 / std::numbers::pi_v<float>;
      steepest = std::max(steepest, std::fabs(slope));
      if (slope > 15 && !climbing) ++faces;
      climbing = slope > 15 ? true : slope < 5 ? false : climbing;
      before = height;
    }
  }
  // Tabletop, double (take-off and landing), five rollers, the uphill kicker.
  EXPECT_GE(faces, 8);
  EXPECT_LT(steepest, 40);
  race::track_free();
}

// The shader programs have something of Rabbit Hill's to show: a statue with a normal map and
// a specular map stands beside the start straight, clear of the track and in sight of the
// grid, and the track's surfaces have detail normals and specular maps beside their textures.
TEST_F(GeneratedTrackTest, RabbitHillHasMapsForTheShaderPrograms) {
  load(kTracks[0], true);
  const race::Statue* mapped = nullptr;
  for (const race::Statue& s : g_track.statues) {
    if (!s.normal_map.empty() && !s.specular_map.empty()) mapped = &s;
  }
  ASSERT_NE(mapped, nullptr);
  const race::StartingGate& front_middle = g_track.starting_gates[5];
  EXPECT_LT(std::hypot(mapped->x - front_middle.x, mapped->z - front_middle.z), 200);
  // Off the track: on the grass, and so are points 12 ft to either end of it.
  const int grass = surface("grass.png");
  for (float along : {-12.0f, 0.0f, 12.0f}) {
    EXPECT_EQ(sim::terrain_surface_at(mapped->x + along * mapped->orientation[0],
                                      mapped->z + along * mapped->orientation[6]),
              grass)
        << along;
  }
  int surfaces_with_maps = 0;
  for (int i = 0; i < sim::g_terrain.surface_count; ++i) {
    const std::string& texture = sim::g_terrain.surfaces[i].texture;
    const std::string stem = texture.substr(0, texture.rfind('.'));
    if (parses(stem + "_norm.png") && parses(stem + "_spec.png")) ++surfaces_with_maps;
  }
  EXPECT_GE(surfaces_with_maps, 2);
  race::track_free();
}

}  // namespace

namespace {

// Every shipped track carries racing lines for every robot skill, made for it (the right row
// count) with lines in every row, so computer riders follow learned lines all the way round.
// Where the pipeline's testing races got through every stretch cleanly often enough, the plans
// of the cost types 0 and 1 cover every row with lines tested five times.
TEST_F(GeneratedTrackTest, ShippedRacingLinesLoadAndPlan) {
  struct LinesCase {
    const char* dir;
    bool planned;  // Rabbit Hill: the testers fall in the rhythm section too often as yet
  };
  for (const LinesCase& c : {LinesCase{"@rabbithill", false}, LinesCase{"@practice", true}}) {
    load(TrackCase{c.dir, "", 0, 0});
    for (int skill = 0; skill < 3; ++skill) {
      const std::string name = ai::lines_file(c.dir + 1, skill);
      SCOPED_TRACE(name);
      ai::LineLibrary lib;
      ai::lines_reset(lib, g_track.first_lap_splits, g_track.normal_lap_splits);
      ASSERT_TRUE(ai::read_lines(lib, name.c_str()));
      for (std::size_t row = 0; row < lib.rows.size(); ++row) {
        int lines = 0;
        for (const ai::LineSlot& slot : lib.rows[row]) lines += slot.empty() ? 0 : 1;
        EXPECT_GT(lines, 0) << "row " << row;
      }
      if (!c.planned) continue;
      ai::prune_lines(lib);
      ai::plan_lines(lib);
      for (int type = 0; type < 2; ++type) {
        for (std::size_t row = 0; row < lib.rows.size(); ++row) {
          const int slot = ai::find_line(lib, static_cast<int>(row), lib.plans[type][row]);
          ASSERT_GE(slot, 0) << "type " << type << " row " << row;
          EXPECT_GE(lib.rows[row][slot].tested, 5);
        }
      }
    }
  }
}

}  // namespace
