// race.h -- the race: track files, timing, state history and demos, results, series.
#pragma once

#include <array>
#include <cstddef>
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

// ---------------------------------------------------------------------------
// State history and demo files (history.cpp, demo.cpp)
//
// Every bike's motion is sampled into 39-byte records (sim::StateRecord). A ring per rider
// slot keeps the newest 128 with their ticks; demo recording flushes the rings into a
// ".kvdemo" file, and playback, time-trial ghosts and (later) remote riders fill rings
// that pose their bikes each tick.
//
// Call order in a race (the shell's race driver):
//   set-up:   history_clear, then record_start (after rotate_demo_backups) or
//             playback_open + playback_bind;
//   tick:     step 1 playback_step then pose_from_history for every ring-driven slot;
//             step 11 (after the tick counter advanced) sample via add_state every
//             kSampleInterval ticks, then record_flush;
//   race end: record_stop, playback_close.

constexpr int kHistorySlots = 160;
constexpr int kHistoryLength = 128;          // records per ring
constexpr int kSampleInterval = 4;           // ticks between samples of a simulated bike
constexpr int kFlushInterval = 16;           // ticks between demo blocks
constexpr int kExtrapolationLimit = 64;      // ticks a pose may run past the newest record
constexpr int kDemoStateEntry = 44;          // rider index, tick, record
constexpr int kDemoDefaultStart = 14 * 128;  // a header without its start tick: 14 s
constexpr int kDemoLineLimit = 1024;         // a header line must end within this many bytes
constexpr int kDemoBlockStates = 1;
constexpr int kDemoBlockMessage = 2;

struct HistoryEntry {
  sim::StateRecord record{};
  std::int32_t tick = -1;  // -1: empty
};

struct HistoryRing {
  std::array<HistoryEntry, kHistoryLength> entries{};
  int head = 0;       // the newest entry
  int unflushed = 0;  // entries added since the last demo flush, at most kHistoryLength
};

struct History {
  std::array<HistoryRing, kHistorySlots> rings{};
};

extern History g_history;

// Every ring empty: ticks -1, records zero, heads and counts 0.
void history_clear(History& history);

// Adds a record at `tick` in tick order; a tick already present is ignored. A slot outside
// the rings shows "add_state_to_history: slot out of range" and drops the record.
void add_state(History& history, int slot, const sim::StateRecord& record, int tick);

// The newest tick in a slot's ring, -1 when it is empty (or the slot is out of range).
int newest_tick(const History& history, int slot);

// What a ring says of a slot at a tick: the record to pose from and the two records around
// the tick with their tick distance (for the bodies' velocities).
struct HistoryPose {
  sim::StateRecord record{};
  sim::StateRecord before{}, after{};
  int distance = 1;    // after's tick less before's, at least 1
  bool found = false;  // false: the ring is empty, nothing to pose
};

// The pose of `slot` at tick `tick` (clamped at 0): the record at the tick, or the two around
// it interpolated, or the newest extrapolated by at most kExtrapolationLimit ticks. Version 4
// (a version-4 demo) copies the earlier record instead of interpolating.
HistoryPose history_pose(const History& history, int slot, int tick, int version);

// Poses `bike` from the ring of `slot` at `tick`; nothing when the ring is empty.
void pose_from_history(const History& history, int slot, sim::Bike* bike, int tick, int version);

// Two records blended with fraction f: positions and engine speed linearly, quaternions
// normalised, the joint bytes linearly, wheel angles forward through a whole turn; byte 36
// from `a`; bit 0 of byte 18 cleared. f = 0 copies `a`.
sim::StateRecord interpolate_records(const sim::StateRecord& a, const sim::StateRecord& b,
                                     double f);

// One recorded rider of a demo.
struct DemoRider {
  std::string model;  // bike id after the old-name mapping (on reading)
  std::string rider_texture, bike_texture, wheel_texture, head_texture;  // empty: none
  std::string number;  // at most 3 characters on reading
  std::string name;    // version 6; empty when none is known
};

struct DemoHeader {
  int version = 6;
  int duration = 0;    // race time in ticks, 0: a race by laps
  int extra_laps = 0;  // the timing's extra laps (the laps of a race by laps)
  int start_tick = kDemoDefaultStart;
  std::string track;  // the track's directory name
  std::vector<DemoRider> riders;
};

// "crf250" -> "crf250(2008)" and the other bike ids older demos use; others unchanged.
std::string demo_bike_id(const std::string& id);

// Reads and checks a demo header (versions 4 to 6); false with `error` set (a reason for the
// message line) when it is short, of another version, counts riders outside 0..kHistorySlots,
// gives a negative duration or no track, or has a line without its break within
// kDemoLineLimit bytes. The stream is left at the body.
bool read_demo_header(data::DataStream* stream, DemoHeader& header, std::string* error);
// Writes a version-6 header.
void write_demo_header(data::DataStream* stream, const DemoHeader& header);

// Renames "@demos/default%02d.kvdemo" n to n + 1 for n = backups - 2 down to 0, then
// "@demos/default.kvdemo" to "@demos/default00.kvdemo" (backups clamped to 0..100).
void rotate_demo_backups(int backups);

// A demo being written.
struct DemoWriter {
  data::DataStream* stream = nullptr;  // none: not recording
  std::string name;                    // the data name written
  std::vector<int> slots;              // the recorded riders' slots, in header order
  int previous_length = 0;             // the payload length of the last block
  std::vector<unsigned char> block;    // reused block buffer, sized at the start
  std::string rename_to;               // "namedemo": the default demo's name when it ends
};

constexpr const char* kDefaultDemoName = "@demos/default.kvdemo";
constexpr std::size_t kDemoNameLimit = 1016;  // "namedemo" takes names up to this long

extern DemoWriter g_recording;

// Opens `name` for writing and writes the header (version 6, whatever header.version says);
// `slots` are the recorded riders' slots in the header's order, one per header rider. False
// (nothing recorded, no message) when the file cannot be opened.
bool record_start(DemoWriter& writer, const char* name, const DemoHeader& header,
                  const std::vector<int>& slots);
// Unless forced, only on ticks with now % kFlushInterval == 0: one states block of every
// recorded rider's unflushed records, oldest first; nothing when there are none.
void record_flush(DemoWriter& writer, History& history, int now, bool force);
// A server message, written at once as a message block.
void record_message(DemoWriter& writer, const char* text, int now);
// Closes the file; the default demo then takes the name "namedemo" gave it, if any.
void record_stop(DemoWriter& writer);
// The console's "namedemo": the first word of `argument` (".kvdemo" added unless it ends so)
// names the default demo once its recording ends. Returns the reply for the message line:
// "Demo name updated", "Not currently recording a demo" (none, or a time trial's lap) or
// "Name too long".
const char* name_demo(DemoWriter& writer, const char* argument, bool time_trial);

// A demo being played back.
struct DemoReader {
  data::DataStream* stream = nullptr;  // none: no playback
  std::string name;
  DemoHeader header;
  long body_start = 0;       // the stream offset of the body
  std::vector<int> slots;    // rider index -> bike slot (-1: none)
  bool ghost = false;        // a time-trial ghost: the clock is not moved
  bool clock_fixed = false;  // version 6: the first states block has been read
  int offset = 0;            // added to every tick read (ghosts)
  int previous_length = 0;   // version 6: the last block's payload length
  bool pending = false;      // version 6: a block header has been read, its payload not
  int pending_length = 0, pending_tick = 0, pending_type = 0;
  int first_frame_tick = -1;  // versions 4 and 5: the tick of the first frame
  int frames_read = 0;
  std::vector<unsigned char> cut_short;  // versions 4 and 5: per rider, its last record was cut
  bool ended = false;                    // the body ended or broke: nothing more is read
  bool damaged = false;  // it broke: a block cut short, a lying length or rider index
  int state_blocks = 0, message_blocks = 0, other_blocks = 0;  // read so far
  std::vector<unsigned char> buffer;
};

extern DemoReader g_playback;

// Opens a demo and reads its header; false (a message shown, nothing open) on any error.
bool playback_open(DemoReader& reader, const char* name, bool ghost);
// Maps rider index i to bike slot slots[i].
void playback_bind(DemoReader& reader, const std::vector<int>& slots);
// Reads ahead for tick `*now` and fills the bound slots' rings. Version 6: at most 128 blocks
// while *now >= the next block's tick - 64; the first states block sets *now to its tick (a
// ghost keeps *now and offsets every tick instead); message blocks go to the message line.
// Versions 4 and 5: frames until the one for *now + 8 is in.
void playback_step(DemoReader& reader, History& history, int* now);
// Positions the demo so that reading goes on at `tick` (skip and rewind; the caller clears the
// rings). Version 6 reads the body again from its start, passing over the blocks more than 16
// ticks before `tick`; the clock stays as the first block fixed it (a ghost keeps its offset).
// Versions 4 and 5 go to the frame of `tick`. A compressed demo is read again up to there.
void playback_seek(DemoReader& reader, int tick);
void playback_close(DemoReader& reader);

// The record layout of version-4 demos: 26 bytes.
constexpr int kStateRecordV4Size = 26;
// Widens a version-4 record to the 39-byte layout.
sim::StateRecord record_from_v4(const unsigned char* bytes);

// Reads a demo file's header for the command line; on success stores the demo's
// track directory in `track` and returns true.
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

// ---------------------------------------------------------------------------
// Timing (timing.cpp): gate passes, laps, the running order, the race's length,
// finishing, the cut-track and false-start penalties, slow riders and ghosts.
//
// Everything counts ticks of 1/128 s. The state of one race is a `Timing`
// table; the game's race is `g_timing`. Bikes are known by their rider slot.
//
// The race driver's calls:
//   set-up:      timing_setup, then timing_add_bike for every slot with a bike;
//   every tick,  for each bike after the world step and before its bike_step
//   (sim::simulate_tick's before_step hook), with now = sim::g_sim.tick not yet
//   advanced: false_start_step (online), then gate_step for the bikes whose
//   passes are decided here (offline all, online the local rider);
//   online:      update_order at every tick with now % 512 == 510, and after
//   set_pass_tick / set_passed from the server;
//   race end:    update_order.
// Readers: the running order and `race_laps` / `halfway_lap` (flaggers, HUD,
// results), `classification` once `classified` (results), sequence_checkpoint
// (cameras), is_ghost (bike contacts online, drawing).

constexpr int kTimingSlots = 160;      // one per rider slot
constexpr int kLapsUnknown = 1000000;  // `race_laps` / `halfway_lap` of a timed race, until known
constexpr int kPassListChunk = 512;    // pass lists grow by this many entries at a time
// A false start holds the rider until this long after the start.
constexpr int kFalseStartSeconds = 15;

// Who decides a rider's passes and how it takes part in the field.
enum RiderKind {
  kRiderLocal,     // a human at this machine
  kRiderRemote,    // a rider of a network race; its passes come from the server
  kRiderComputer,  // an auto pilot; never a ghost
};

// The race-wide settings the race driver owns; copied at set-up, and the
// driver may change them in `Timing::rules` as a race goes (the server's start tick).
struct RaceRules {
  int start_tick = 0;      // the gate drops
  int duration = 0;        // race time (ticks); 0: a race by laps
  int extra_laps = 0;      // laps after the time; in a race by laps the number of laps
  bool online = false;     // a network race
  int local_slot = -1;     // the local human's slot, -1: none
  bool spectator = false;  // the local slot only watches
  // The slow-rider test: a factor on the time of the rider ahead, and seconds allowed on
  // top (also the seconds after the start in which nobody is a ghost).
  double slow_factor = 1.5;
  int slow_allowance = 10;
};

// One rider's timing.
struct BikeTiming {
  bool in_use = false;
  RiderKind kind = kRiderComputer;
  std::int32_t passed = 0;  // sequence positions passed so far
  // The tick at which each sequence position was passed, -1 when it was
  // skipped; may run beyond `passed` after a rollback.
  std::vector<std::int32_t> passes;
  bool finished = false;
  int last_update = 0;            // remote riders: the tick of the last network update
  double start_position[3] = {};  // where the bike stood at set-up (ft)
  int false_start_hold = 0;       // ticks the rider is still held for
};

struct OrderEntry {
  int slot = 0;
  std::int32_t passed = 0;     // sequence positions passed
  std::int32_t last_tick = 0;  // the tick of the last pass, 0 when none
};

// Where other parts take part in the timing; every hook may be null.
struct TimingHooks {
  void* context = nullptr;
  // A pass of `position`, before `passed` advances (the racing-line bookkeeping).
  void (*pass)(void* context, int slot, int position) = nullptr;
  // `passed` was set back (the racing-line recording restarts).
  void (*rollback)(void* context, int slot) = nullptr;
  // The final classification has been made (the results).
  void (*classified)(void* context) = nullptr;
};

struct Timing {
  const Track* track = nullptr;  // with no checkpoints the race is untimed
  RaceRules rules;
  int race_laps = 0;
  int halfway_lap = 0;  // the finish flagger shows halfway while the leader is on this lap
  std::array<OrderEntry, kTimingSlots> order{};  // the running order, leader first
  int order_length = 0;
  // The final classification: gates passed less penalty laps, the last pass
  // plus the time penalty; made once per race.
  std::array<OrderEntry, kTimingSlots> classification{};
  int classification_length = 0;
  bool classified = false;
  std::array<int, kTimingSlots> penalty_ticks{};  // cut-track time added, by slot
  std::array<int, kTimingSlots> penalty_laps{};   // cut-track laps taken off, by slot
  std::array<BikeTiming, kTimingSlots> bikes;
  TimingHooks hooks;
};

// The race's timing.
extern Timing g_timing;

// A new race on `track` (which must outlive it): no bikes, no passes.
void timing_setup(Timing& timing, const Track& track, const RaceRules& rules);
// Enters the bike of a slot, standing at `start_position` (its frame, ft).
void timing_add_bike(Timing& timing, int slot, RiderKind kind, const double start_position[3]);

// The checkpoint of sequence position k (>= 0) of a timed track.
int sequence_checkpoint(const Track& track, int k);

// Tests whether the bike, with its front wheel at (x, z), passes a gate at tick `now`.
void gate_step(Timing& timing, int slot, double x, double z, int now);
// The same for a bike, from its front wheel body.
void gate_step(Timing& timing, const sim::Bike& bike, int now);

// Rollback (rewinds, resets, the network): `passed` = n, the pass list cut to n entries.
void set_passed(Timing& timing, int slot, int n);
// A pass from the network; positions jumped over read as skipped.
void set_pass_tick(Timing& timing, int slot, int k, int tick);
// Entry k of the pass list; -1 when skipped or beyond it.
int pass_tick(const Timing& timing, int slot, int k);

int laps_completed(const Timing& timing, int slot);
int gate_in_lap(const Timing& timing, int slot);
// Ticks of lap `lap` (1 the first; -1 the last completed); 0 when unknown.
int lap_time(const Timing& timing, int slot, int lap);
struct BestLap {
  int lap = 0;  // 0: none (fewer than two laps)
  int ticks = 0;
};
// The earliest fastest of laps 2 .. laps completed; the first lap starts at the gate and never
// counts.
BestLap best_lap(const Timing& timing, int slot);
// Laps completed by the leader of the running order.
int leader_laps(const Timing& timing);

// Whether the rider has finished; sets the flag when it has just done so.
bool is_finished(Timing& timing, int slot);

// Rebuilds the running order, the race's length and halfway lap, and makes the
// final classification once the whole field has finished.
void update_order(Timing& timing, int now);

// The field's usual time (ticks) from sequence position a to b; 60 s when
// nobody rode it cleanly.
int segment_time(const Timing& timing, int a, int b);

// Whether the rider took (or is taking) far longer to reach position k (>= 1)
// than the first rider ahead that rode it.
bool is_slow(const Timing& timing, int slot, int k, int now);

// Online: whether the bike of a slot is a ghost to the local rider (no contact,
// drawn transparent). A remote rider whose stored states do not reach to within
// a second of `now` is drawn as a ghost too; the state history decides that.
bool is_ghost(const Timing& timing, int slot, int now);

// Online, local riders: before the gate drops, a bike whose frame (at `at`)
// has moved 3 ft from its start is held until 15 s after the start; while held
// its controls are set to stop it. Call before the bike's step. True on the
// tick the penalty is given (the message is shown then).
bool false_start_step(Timing& timing, int slot, const double at[3], int now,
                      sim::Controls& controls);

// ---------------------------------------------------------------------------
// Results (results.cpp): the results file, the results table, the pit board and the
// running-order ticker, computed from a `Timing` as rows of finished text so that the
// renderer only lays them out. Times are ticks converted to seconds. Nothing here allocates.

// Minutes, seconds and milliseconds of a time, each truncated from ms = seconds x 1000
// truncated. Negative times read as 0.
struct ClockTime {
  int minutes = 0;
  int seconds = 0;
  int ms = 0;
};
ClockTime clock_time(double seconds);
// "%d:%02d.%03d" (m:ss.mmm).
void format_time(char* out, std::size_t size, double seconds);
// "%d:%02d.%d" (m:ss.t, tenths truncated).
void format_time_short(char* out, std::size_t size, double seconds);
// "%d minutes + %d laps", "%d minutes" or "%d laps".
void race_length_text(const RaceRules& rules, char* out, std::size_t size);

// What the race driver knows of a slot's rider; null texts read as empty.
struct RiderLabel {
  const char* number = nullptr;  // the racing number
  const char* model = nullptr;   // the bike model id
  const char* name = nullptr;    // the rider's name
};
using RiderLabels = std::array<RiderLabel, kTimingSlots>;

// Laps from a count of gates passed: 0 short of the first lap, then one per normal lap.
int laps_from_passed(const Timing& timing, int passed);

// The gap (ticks) from `other` to `rider`, two entries of a list: at their listed last
// passes when both passed as many gates, else at the last position both have passed. The
// rider's tick minus the other's, 0 when that is negative or a tick is missing.
int gap_ticks(const Timing& timing, const OrderEntry& rider, const OrderEntry& other);

// Writes "@results.txt" (CR LF lines) once the classification's first rider is finished;
// `track_dir` is the track's directory, `calendar_seconds` the time of day it is written.
// False when there is nothing to write or the file cannot be opened.
bool write_results(const Timing& timing, const RiderLabels& labels, const char* track_dir,
                   long calendar_seconds);

constexpr int kResultsPenaltyText = 96;

struct ResultsRow {
  char position[12] = {};
  char number[8] = {};
  char laps[16] = {};
  char gap[24] = {};
  char best_time[24] = {};  // empty with no best lap
  char best_lap[16] = {};   // "(%d)"; empty with no best lap
  bool viewed = false;      // the viewed rider's row stands out
};

// The on-screen results table; `shown` once the first rider of the list has finished.
struct ResultsTable {
  bool shown = false;
  bool classified = false;  // the final classification is made
  char title[24] = {};
  std::array<ResultsRow, kTimingSlots> rows;
  int row_count = 0;
  char total[48] = {};  // "Total Race Time: ..." once final, else empty
  std::array<std::array<char, kResultsPenaltyText>, kTimingSlots> penalties{};  // in red
  int penalty_count = 0;
};
void results_table(const Timing& timing, const RiderLabels& labels, int viewed_slot,
                   ResultsTable& table);

// The pit board of the viewed rider; an empty text is a line not shown.
constexpr int kClosingRidersShown = 3;  // the closing-riders line names at most this many
struct PitBoard {
  bool shown = false;  // the viewed rider takes part in the race
  char number[8] = {};
  char lap_position[32] = {};  // "L%d P%d"; in time trial "L%d"
  char gap[24] = {};           // "%+.1f "
  char last[32] = {};          // "Last - m:ss.t "
  char best[32] = {};          // "Best - m:ss.t"
  char closing[80] = {};       // " %.5s (%.1f) " per rider ahead in the order closing in
};
// The time trial's own last and best lap (ticks) stand in for the timing's there.
struct TimeTrialLaps {
  bool active = false;
  int last_ticks = 0;
  int best_ticks = 0;
};
void pit_board(const Timing& timing, const RiderLabels& labels, int viewed_slot,
               const TimeTrialLaps& time_trial, PitBoard& board);

// The television-style running order with its lap box.
enum LapBox { kLapBoxRacing, kLapBoxLastLap, kLapBoxChequered };
struct TickerEntry {
  char position[12] = {};
  char number[8] = {};  // "%3s"
  char name[32] = {};
  char gap[24] = {};  // "%7.3f" to the rider above when positive; empty for the leader
};
struct Ticker {
  std::array<TickerEntry, kTimingSlots> entries;
  int count = 0;
  char lap[16] = {};  // "Lap %d"
  LapBox lap_box = kLapBoxRacing;
};
void running_order_ticker(const Timing& timing, const RiderLabels& labels, Ticker& ticker);

}  // namespace race
