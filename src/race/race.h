// race.h -- the race: track files, timing, state history and demos, results, series.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace data {
struct DataStream;
}

namespace race {

// Reads the list of points series from the data names.
void read_series_list();

// Reads a demo file for playback; on success stores the demo's track
// directory in `track` and returns true.
bool read_demo(const char* file, std::string& track);

// ---------------------------------------------------------------------------
// Track (track_load.cpp, timing_gates.cpp, flaggers.cpp, billboards.cpp,
// statues.cpp, statue_grid.cpp, lighting.cpp, cameras.cpp, track_digest.cpp)
//
// A track is a folder of files named by a data name such as "@rabbithill".
// Positions are world feet; wherever a file gives a placed object's x, y, z,
// its y is a height above the ground, and the stored world y adds the
// terrain height at (x, z). Angles are radians about the vertical axis.
// Textures and models are kept as data names (empty: none); the renderer
// loads them, so loading a track makes no GL call.

constexpr int kMaxStartingGates = 160;
constexpr int kMaxTimingGates = 256;
constexpr int kMaxLapEntries = 256;      // per lap sequence
constexpr int kSilentGateBase = 100000;  // lap entries from here on are silent gates
constexpr int kPoolBillboards = 2000;    // the ground effects' particles come first
constexpr int kStatueGridSide = 8;
constexpr int kMaxFlareElements = 8;
constexpr int kCheckpointCameraSlots = 256;

// Default names of a starting-gate object.
extern const char* const kStartGateModel;    // "@startgate.jm"
extern const char* const kStartGateTexture;  // "@startgate.ppm"
extern const char* const kStartGateShape;    // "@startgate.shp"

// One start position of a race.
struct StartingGate {
  float x = 0;  // as the file gives them: y is above the ground (ft)
  float y = 0;
  float z = 0;
  float yaw = 0;    // radians, in [-pi, pi]
  int statue = -1;  // the statue showing the gate object, 3 ft behind the start point
};

// A checkpoint; its index in the track's list is its checkpoint number.
struct TimingGate {
  sim::Vec3 centre;           // A (ft)
  sim::Vec3 forward;          // B, the direction of a pass
  float radius = 0;           // R (ft)
  std::int32_t reserved = 0;  // run-time use
};

struct Billboard {
  float x = 0;  // world position of the foot of the quad (ft)
  float y = 0;
  float z = 0;
  float size = 1;              // the quad's height (ft)
  float y_offset = 0;          // as the file gave it (ft)
  float width_factor = 1;      // the quad is width_factor * size wide
  std::uint32_t sort_key = 0;  // the renderer's depth key
  std::string texture;         // data name; empty: none
  unsigned char color[4] = {255, 255, 255, 255};
};

// Two zeroed words per billboard, kept by the renderer.
struct BillboardRenderState {
  std::uint32_t words[2] = {};
};

struct Statue {
  std::string model;  // data names; empty: none
  std::string texture;
  std::string normal_map;  // found beside the texture or the model; empty: none
  std::string specular_map;
  std::string shape_name;  // as named, also when the file could not be read
  bool has_shape = false;
  sim::Shape shape;  // this statue's own copy of the spheres
  float x = 0;       // world position (ft)
  float y = 0;
  float z = 0;
  float y_offset = 0;  // as the file gave it (ft)
  float yaw = 0;       // radians, as given
  float yaw_exp2 = 0;  // 2^yaw when yaw >= 3.25, else 0
  // Row-major rotation about y by the yaw: body +z turns to (sin yaw, 0, cos yaw).
  float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::int32_t run_time[4] = {};  // the renderer's and the race's own use
};

struct StartFlagger {
  int billboard = -1;      // -1: none
  sim::Vec3 first_point;   // where its billboard was put, world (y includes the ground)
  sim::Vec3 second_point;  // the other end of its walk, world (y includes the ground)
  float duration = 1;      // seconds from one point to the other
  // As the renderer shows them: standing, the 30-second board, the board turned sideways,
  // the flag held down by the gate, walking.
  std::string textures[5];
};

struct FinishFlagger {
  int billboard = -1;
  std::string textures[4];
};

struct CourseFlagger {
  int billboard = -1;
  std::string textures[2];
  int checkpoints[4] = {-1, -1, -1, -1};  // -1 .. checkpoint count - 1
};

struct Flaggers {
  StartFlagger start;
  FinishFlagger finish;
  std::vector<CourseFlagger> course;
};

struct TrackCamera {
  float x = 0;  // world position (ft)
  float y = 0;
  float z = 0;
  float yaw = 0;  // the four run-time words: radians,
  float pitch = 0;
  float yaw_rate = 0;  // radians per second
  float pitch_rate = 0;
  float fov = 90;           // degrees
  float auto_fov_size = 0;  // ft; 0 = off
};

struct FlareElement {
  float params[2] = {};
  float color[3] = {};  // an RGB colour or a scale triple
  float value = 0;
  std::string texture;
};

struct LensFlare {
  sim::Vec3 where;                     // a position (point flare) or a direction (vector flare)
  int kind = 0;                        // 0 = point, 1 = vector
  std::vector<FlareElement> elements;  // at most kMaxFlareElements
};

struct LightingSettings {
  sim::Vec3 sun_vector = {1, 1, 1};  // unit length once read
  bool sun_vector_given = false;     // the file named it (the terrain's baking light follows)
  float sun_color[3] = {1, 1, 1};
  float ambient[3] = {0.5f, 0.5f, 0.5f};
  float global_ambient[3] = {0.2f, 0.2f, 0.2f};
  float near_plane = 0.25f;  // ft
  float far_plane = 5000;    // ft
  bool dynamic_lighting = false;
  std::string sky[5];  // north, east, south, west, up
  std::string sky_env;
  float fog_color[4] = {1, 1, 1, 1};
  float fog_density = 0;  // exponential fog; 0 = none
  std::vector<LensFlare> flares;
};

// Statue indices by the square of ground they may touch. Cell [row][column]
// with rows along z and columns along x cover world S/8 .. 7S/8 (S the
// terrain's side); positions beyond fall in the edge cells.
struct StatueGrid {
  std::vector<std::uint32_t> cells[kStatueGridSide][kStatueGridSide];
};

struct TrackDigest {
  unsigned char bytes[20] = {};
};

struct Track {
  std::string name;  // the folder's data name; empty while none is loaded
  LightingSettings lighting;
  std::vector<StartingGate> starting_gates;
  std::vector<TimingGate> checkpoints;  // empty: the track has no timing
  // The first-lap entries, then the normal-lap entries; entries below
  // kSilentGateBase are split gates, the others name checkpoint
  // entry - kSilentGateBase.
  std::vector<std::int32_t> lap_sequences;
  int first_lap_length = 0;
  int normal_lap_length = 0;
  int first_lap_splits = 0;
  int normal_lap_splits = 0;
  int racing_lines_created = 0;
  std::vector<Billboard> billboards;  // the particle pool, flaggers, then the file's
  std::vector<BillboardRenderState> billboard_render;  // one per billboard
  int first_file_billboard = 0;
  std::vector<Statue> statues;  // starting-gate objects, then the file's
  int first_file_statue = 0;
  Flaggers flaggers;
  std::vector<TrackCamera> cameras;
  std::array<int, kCheckpointCameraSlots> checkpoint_camera;  // camera index or -1
  std::string map_texture;  // data name of map.png; empty when the track has none
  int map_width = 0;
  int map_height = 0;
  StatueGrid grid;
  TrackDigest digest;

  Track() { checkpoint_camera.fill(-1); }
};

// The loaded track. It owns its terrain (sim::g_terrain).
extern Track g_track;

struct TrackLoadOptions {
  int render_mode = 0;       // the terrain-detail setting
  int debug_level = 0;       // 1: verbose lines, 2: more
  bool normal_maps = false;  // the renderer draws normal and specular maps
  // Shows a line on the screen while the track loads, when a window exists.
  void (*show_status)(const char* text) = nullptr;
};

// Loads a track folder into `g_track`, replacing the one loaded. Missing
// description files are empty content; malformed ones keep what came before
// the fault. Fails only when the terrain fails, and then clears the name.
bool track_load(const char* track_dir, const TrackLoadOptions& options);

// Frees `g_track` and the terrain.
void track_free();

// Readers, one per file, each adding to `track` what its file gives
// (load-time; fuzzed). Positions take their height from sim::g_terrain.
// Sets the defaults, reads the file (a null stream: none) and finishes the
// values: clamped planes, unit sun vector, default sky textures.
void read_lighting(data::DataStream* stream, LightingSettings& lighting);
// Starting gates (and their statues), checkpoints and lap sequences, with
// the lap entries normalised and the timing kept only when it is usable.
void read_timing_gates(data::DataStream* stream, Track& track, const TrackLoadOptions& options);
void read_flaggers(data::DataStream* stream, Track& track);
// From here on billboards are the file's; remembers the first index.
void read_billboards(data::DataStream* stream, Track& track);
// From here on statues are the file's; remembers the first index.
void read_statues(data::DataStream* stream, Track& track, const TrackLoadOptions& options);
void read_cameras(data::DataStream* stream, Track& track, const TrackLoadOptions& options);

// Adds a billboard at (x, ground + y_offset, z) with the renderer's state
// beside it; returns its index.
int add_billboard(Track& track, float x, float y_offset, float z, float size, float width_factor,
                  const std::string& texture);

// What the files say of a statue; a name "null" or empty is none.
struct StatueSpec {
  float x = 0;
  float y_offset = 0;
  float z = 0;
  float yaw = 0;
  std::string model;
  std::string texture;
  std::string shape;
};
// Adds a statue: finds its normal and specular maps (with `normal_maps`),
// reads its shape (a named shape that cannot be read is logged) and places
// it on the ground. Returns its index.
int add_statue(Track& track, const StatueSpec& spec, bool normal_maps);

// The names tried, in order, for a statue's normal map (`suffix` "_norm") or
// specular map ("_spec").
std::vector<std::string> statue_map_candidates(const std::string& model, const std::string& texture,
                                               const char* suffix);

// Grid cell (0..7) of a world coordinate on a terrain `side` feet wide.
int statue_grid_cell(float u, float side);
// Clears the grid and enters every statue that has a shape.
void statue_grid_rebuild(Track& track, float side);

// The track digest: the terrain's hashed files, timing_gates and statues of
// `track_dir`, then each distinct shape file the statues name, in order of
// first use. Files are read through the data layer; one that cannot be
// opened (or is no regular file) adds nothing.
TrackDigest compute_track_digest(const char* track_dir, const std::vector<Statue>& statues);

// Writers, each through "<file>.tmp" renamed over the file. A file that
// cannot be opened gives the message "Can't open '<file>'" and false; a
// write that fails leaves the old file and gives false.
bool write_timing_gates(const Track& track, const char* track_dir);
bool write_billboards(const Track& track, const char* track_dir);
bool write_statues(const Track& track, const char* track_dir);

}  // namespace race
