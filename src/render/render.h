// render.h -- rendering: GL set-up, shaders, models, terrain, scene, fonts, cameras.
#pragma once

#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "race/race.h"  // the free camera is a TrackCamera

namespace data {
struct DataStream;
}
namespace sim {
struct Bike;
struct BikeInfo;
}  // namespace sim
namespace race {
struct Billboard;
}

namespace render {

// View modes of the frame loop.
enum View {
  kViewRider = 0,
  kViewEditor = 2,
  kViewChase = 3,
  kViewTrackCamera = 4,
  kViewNoRace = 5
};

// After the window is ready: logs the driver's strings, decides the optional
// features, and sets the initial GL state (flat shading when `flat_shading`).
void gl_startup(bool flat_shading);

// Draws the scene for a view (the whole frame before the HUD and menus).
// `clear_all` clears colour and depth first ("--fugly").
void draw_frame(int view, bool clear_all);

// Reads the drawn frame back as RGB rows, bottom row first.
void read_frame_rgb(int width, int height, std::vector<unsigned char>& rgb);

// Waits until the GL has finished drawing ("--glfinish").
void finish();
// One slice of the terrain refresh after the frame's ticks: node thresholds and one changed
// ground block.
void terrain_refresh_slice();
// The riding HUD over the drawn frame (speed, gear, engine speed, lean, messages), from
// g_hud.
void draw_hud();

// ---------------------------------------------------------------------------
// Settings start-up fills from the configuration and the command line. Main thread.

struct RenderSettings {
  bool use_shaders = true;    // "Use Shader Programs"; only honoured when the driver has GLSL
  bool vertex_arrays = true;  // false with "--novertexarrays": meshes go in immediate mode
  bool reflections = true;    // "Enable Reflections"
  double lod_scale = 1.0;     // "--lod-scale", clamped to [1e-6, 1e6]
  double lod_bias = 0.0;      // "--lod-bias"
  int debug_level = 0;        // 0..2, as "--debug" / "--super-debug"
  // Ground drawing.
  int terrain_method = 0;         // "Terrain Rendering Method": kTerrainSoftware ..
  int ground_texture_size = 64;   // "Ground Texture Resolution", pixels
  int ground_texture_levels = 6;  // near levels in use, 1..6 (finest left out first)
  double ground_detail = 70;      // "Ground Geometric Detail", 0..100
  bool ground_mipmaps = false;    // "Enable Ground Mipmaps"
  bool use_fbo = true;            // "Use Framebuffer Objects"
  // Scene.
  bool lens_flares = true;               // "Enable Lens Flares"
  bool hide_first_person_rider = false;  // "Hide 1st Person Rider"
  double ghost_fade_distance = 50;       // ft
  int billboard_lookahead = 8;           // "bbopt"
  bool flat_shading = false;             // "--fugly"
};
extern RenderSettings g_render_settings;

enum TerrainMethod {
  kTerrainSoftware = 0,
  kTerrainHardwareCopy = 1,
  kTerrainHardwareDirect = 2,
  kTerrainShadersCopy = 3,
  kTerrainShadersDirect = 4,
};

// ---------------------------------------------------------------------------
// Scene (scene.cpp): what the frame is drawn from.

// The frame input: where the camera is and how it is turned. `axes` is 3x3 row by row;
// its columns are the camera's x, y and z axes in world coordinates and the view looks
// along -z.
struct Camera {
  float position[3] = {0, 0, 0};
  float axes[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  float fov = 90;       // degrees, vertical
  int view_rider = -1;  // the rider slot whose view this is, or -1
};

// The rider view's eye in the rider body's frame (ft), at "1st Person Height" 0 and 1. The
// content generator poses the first-person body round the low one.
constexpr double kRiderEyeLow[3] = {0, 0.5, -0.4};
constexpr double kRiderEyeHigh[3] = {0, 1.058383, -1.1933695};

// How the view rider is drawn.
enum RiderDrawMode { kRiderDrawNormal = 0, kRiderDrawFirstPerson = 1, kRiderDrawChase = 2 };

// One rider slot as the scene sees it. The race driver fills the list at set-up and
// refreshes the per-frame fields before each frame.
struct SceneRider {
  const sim::Bike* bike = nullptr;  // nullptr: the slot is empty
  const sim::BikeInfo* info = nullptr;
  std::string number;  // the plate's number
  // Texture data names in place of the model's own; empty: the catalogue's.
  std::string bike_texture, wheel_texture, body_texture, head_texture;
  // The number plate: kPlateSide x kPlateSide RGB rows, top first (empty: none), and a
  // stamp that changes whenever the picture does.
  std::vector<unsigned char> plate_rgb;
  int plate_stamp = 0;
  bool ghost = false;     // a replayed or learned rider sharing the track
  bool has_state = true;  // false: its history holds no state for now; not drawn
};

// Race phases the flaggers show.
enum RacePhase {
  kPhaseCountdown = 0,
  kPhaseRacing = 1,
  kPhaseLastLap = 2,   // the leader is on the last lap: the white flag
  kPhaseFinished = 3,  // the leader has finished: the chequered flag
  kPhaseHalfway = 4,   // the leader is on the halfway lap
};

// The start-gate bars turn about their hinge (the gate model's x axis) by this much (rad) per
// unit of fall value, up from their resting pose: flat on the ground ahead of the hinge.
constexpr float kGateTurnPerFall = 3 * std::numbers::pi_v<float> / 16;
// The fall value of a standing bar, a quarter turn up from resting. Falling at 8 a second, a
// bar is down a third of a second after the drop.
constexpr float kGateStandingFall = 8.0f / 3;

struct SceneState {
  std::vector<SceneRider> riders;       // by slot
  int tick = 0;                         // the race tick
  int start_tick = 0;                   // the tick the gate drops
  float gate_fall = kGateStandingFall;  // the start-gate bars: kGateStandingFall up, 0 down
  int phase = kPhaseCountdown;
  int view_mode = 0;       // the frame loop's view (render::View)
  bool connected = false;  // online: ghosts never fade
  // The checkpoints some rider heads for next (the timing-gate markers light up); by
  // checkpoint index, empty when none.
  std::vector<unsigned char> next_gate_wanted;
};
extern SceneState g_scene;

// ---------------------------------------------------------------------------
// Cameras (cameras.cpp): where each view is seen from, and the engine sound's listener.

struct Listener {
  float position[3] = {};  // ft
  float right[3] = {1, 0, 0};
  float velocity[3] = {};  // ft/s
};
extern Listener g_listener;

// A point of a camera path, recorded from the free camera by `add_camera_keyframe`.
struct CameraKeyframe {
  float position[3] = {};              // ft
  float quaternion[4] = {0, 0, 0, 1};  // x, y, z, w
  float fov = 90;                      // degrees
  int tick = 0;                        // the race tick it stands for
};

// The cameras' state. It lives for the whole run: a race set-up only moves the free camera
// above the watched bike.
struct CameraState {
  race::TrackCamera free_camera;  // flown with the controls; not part of any track
  int selected = -1;              // -1 the free camera, else an index into the track's cameras
  float free_speed = 0;           // ft/s along the free camera's view direction
  bool tracking = false;          // the selected camera follows the watched bike by itself
  bool dab_held = false;          // the sit/dab input was at 0.5 or more on the last tick
  float orbit_angle = 0;          // rad, -pi..pi: the chase view of a bike not ridden here
  float orbit_distance = 10;      // ft
  float orbit_height = 5;         // ft
  bool keyframe_mode = false;     // the trackside view follows the keyframes
  std::vector<CameraKeyframe> keyframes;  // by tick
};
extern CameraState g_cameras;

// What the cameras read of the race and the settings; the shell fills it before each use.
struct CameraInput {
  const sim::Bike* watched = nullptr;  // the watched slot's bike, or none
  int watched_slot = -1;
  bool watched_local = false;         // ridden with this machine's controls
  int watched_sequence_position = 0;  // the gate-sequence position it heads for next
  int tick = 0;                       // the race tick
  bool paused = false;
  double fov = 90;                               // degrees, "Field Of View"
  double first_person_height = 0;                // 0..1 between the low and the high eye
  double first_person_angle = 0;                 // degrees the rider view dips
  double third_person_height = 0;                // ft
  double third_person_distance = 0;              // ft
  bool rigid_camera = false;                     // the chase camera stays behind the heading
  float chase_center[3] = {0.0f, 2.52f, 0.52f};  // ft, in the bike frame's body
  bool print_orientation = false;                // the rider view writes its orientation line
};

// The control inputs that move the cameras when they do not ride a bike (each -1..1 or
// 0..1, as the bindings give them).
struct CameraControls {
  float steer = 0, throttle = 0, front_brake = 0, shift = 0, dab = 0;
};

// Orientation (3x3 row by row, columns the camera's axes) of a yaw and a pitch (rad).
void yaw_pitch_matrix(float yaw, float pitch, float m[9]);
// The ground height averaged over a disc of radius r (ft) around (x, z).
float terrain_height_around(float x, float z, float r);
// One tick of camera work when the watched slot is not driven locally: the orbit camera in
// the chase view; tracking, switching, aim and free flight in the trackside view. Nothing
// without a watched bike.
void camera_update_tick(int view, const CameraInput& in, const CameraControls& controls);
// The camera a view (rider, chase, trackside) is seen from; the listener follows it. The
// rider view writes the "--print-orientation" line. Without a watched bike every view is
// the trackside one.
Camera camera_for_view(int view, const CameraInput& in);
// Race set-up: the free camera goes 5 ft above the watched bike's frame (none: stays).
void cameras_race_setup(const sim::Bike* watched);
// A digit key: "0" the free camera, n the n-th track camera (clamped to the count).
void select_track_camera(int digit);
// The track camera that takes over when the watched bike heads for sequence position
// `position` (its checkpoint's entry in the track's table), or -1.
int sequence_camera(int position);
// The console's "addkey": the free camera's position and turn, the given field of view
// (degrees) and tick become a keyframe.
void add_camera_keyframe(double fov, int tick);

// Per-frame counters for the render statistics display.
struct FrameCounters {
  int model_polygons = 0, model_vertices = 0, ground_polygons = 0, billboards = 0,
      texture_changes = 0, shader_changes = 0;
};
extern FrameCounters g_frame_counters;

// Draws the world from `camera` into the whole viewport: sky, terrain, riders and bikes,
// statues, billboards, ghosts, racing lines (debug level 2) and lens flares.
void draw_scene(const Camera& camera);
// Race set-up, after the track is loaded and g_scene's riders are filled: loads the models and
// textures the scene draws (statues and starting gates, every rider's parts, billboards,
// flaggers, sky), so that they are stamped with the caches' current generations before the
// sweep and the first frame loads nothing. Needs a GL context.
void scene_preload();

// Billboard ordering (billboard_order.cpp). The integer depth key of a point `p` for a
// camera whose z axis is `camera_z`: floor(1024 * (c . p + extra) + 2^24).
std::uint32_t billboard_key(const float camera_z[3], const float p[3], float extra);
// Fills `order` with the indices of the billboards to draw, farthest first, and returns
// how many: keys are computed into each billboard's sort_key (pool billboards below
// `pool_count` add their width), only billboards with a texture name, enabled, and keyed
// below the camera are kept, sorted by an LSB-first radix sort, then regrouped by texture
// within `lookahead` places where no billboard in between overlaps. `order` and
// `scratch` hold at least `count` entries. No allocation.
int order_billboards(race::Billboard* billboards, const unsigned char* enabled, int count,
                     int pool_count, const Camera& camera, int lookahead, int* order, int* scratch);
// The fade factor of a ghost `distance` ft from the view rider: 0 up to half the fade
// distance, 1 from it on.
float ghost_fade(float distance, float fade_distance);

// ---------------------------------------------------------------------------
// Terrain (terrain_lod.cpp, ground_textures.cpp): a quadtree over the height grid drawn as
// crack-free fans, with detail around the camera, and six nested 4 x 4 windows of ground
// textures centred on the camera plus one far texture per 64 x 64-tile block.

constexpr int kGroundLevels = 6;

// Sizes the terrain renderer for the loaded terrain (after a track load, or after tools
// and tests built their own with sim::terrain_create): thresholds in full, every ground
// texture pending. Needs a GL context. terrain_prepare calls it when the terrain changed
// under it.
void terrain_render_setup();
// Frees the ground textures and tables.
void terrain_render_release();
// Per frame, before drawing: the camera cell, the subdivision and the texture windows.
void terrain_prepare(const Camera& camera);
// Draws the ground far to near; the caller has set the depth test to pass always.
void terrain_draw(const Camera& camera);
// After terrain_prepare: whether node (a, b) of depth d is subdivided.
bool terrain_node_subdivided(int depth, int a, int b);
// The window origin (level-l block coordinates) of a near texture level, per axis.
int ground_window_origin(int level, int axis);
// Ground polygons drawn in the last frame.
int ground_polygons();
// Ground textures rendered since set-up (near slots and far blocks).
int ground_texture_renders();
// The ground textures the ground at world (x, z) is drawn with (the finest window in use
// that holds it, else its far block): colour, and with the "Shaders" methods the normal
// map (x, baked light, z) and the specular map (intensity, exponent / 128); 0 for none.
struct GroundTextureSet {
  unsigned colour = 0, normal = 0, specular = 0;
};
GroundTextureSet ground_textures_at(float x, float z);
// The thresholds: squared distances within which each node is subdivided.
void terrain_set_thresholds_for_test(float value);

// ---------------------------------------------------------------------------
// Riding HUD (hud.cpp): what it shows, filled by the race driver before each frame.

struct HudState {
  bool active = false;  // a bike is watched: the gauges are drawn
  float speed_mph = 0;
  int gear = 0;  // 0 neutral, 1..6
  float rpm = 0;
  float rev_limit_rpm = 12000;
  bool show_lean = false;  // the rider's "Lean Indicator" setting
  float lean = 0;  // the lean indicator, 0..1: how near the bike is to falling into the turn
  bool show_clock = false;
  double race_seconds = 0;  // negative: before the gate drops
  bool show_fps = false;
  float fps = 0;
  int window_width = 640, window_height = 480;
};
extern HudState g_hud;

// Where the HUD puts its parts in a window, in pixels from the lower left corner. Every
// part scales with the window's height (its width when that is the narrower side).
struct HudBox {
  float x = 0, y = 0, w = 0, h = 0;
};
struct HudLayout {
  HudBox tach, shifter, speed, lean;
  float text_height = 0;  // pixels per line of the message, clock and frame-rate text
  float margin = 0;       // from the window's edges
};
HudLayout hud_layout(int width, int height);

// ---------------------------------------------------------------------------
// Standings (standings.cpp): the results table, the viewed rider's pit board, the
// running-order ticker with its lap box, and the ping and render-statistics lines under the
// HUD's timing lines. The race driver fills g_standings from the race's results before each
// frame; the drawing only lays out the texts it is given.

struct StandingsState {
  int window_width = 640, window_height = 480;
  race::ResultsTable table;  // drawn while table.shown
  race::PitBoard pit_board;  // drawn on the pit board picture while pit_board.shown
  bool show_ticker = false;  // a track camera is selected
  race::Ticker ticker;
  double ticker_seconds = 0;  // the clock the ticker scrolls by
  bool show_ping = false;     // online, with the ping display on
  int ping_ms = 0, ping_offset_ms = 0;
  bool show_render_stats = false;
};
extern StandingsState g_standings;

// Where the parts go, in pixels from the lower left corner, clear of the HUD laid out for the
// same window (`hud` gives which of its timing lines are shown). A part not shown has h == 0.
struct StandingsLayout {
  HudBox table;            // the results table's panel
  float table_row = 0;     // pixels per row of the table
  float table_char = 0;    // pixels per character width of its columns
  int table_lines = 0;     // rows, total and penalty lines that fit under its heads
  HudBox pit_board;        // the pit board picture (its pole runs off the bottom)
  HudBox ticker, lap_box;  // the running-order strip and the lap box at its right
  HudBox timing_lines;     // the ping and render-statistics lines
  float timing_line = 0;   // pixels per one of those lines
};
StandingsLayout standings_layout(const StandingsState& standings, const HudState& hud);

// Draws what g_standings shows over the frame (after the HUD). The GL state, matrices
// included, is as it was afterwards; fixed function is current.
void draw_standings();
// The console's "renderstats": the largest counts seen start again from the next frame.
void reset_render_stats();

// ---------------------------------------------------------------------------
// Driver capabilities (gl_caps.cpp)

struct GlCaps {
  bool probed = false;
  bool generate_mipmap = false;     // GL_SGIS_generate_mipmap
  bool framebuffer_object = false;  // GL_EXT_framebuffer_object
  bool multitexture = false;        // GL_ARB_multitexture
  bool fragment_shader = false;     // GL_ARB_fragment_shader
  bool vertex_shader = false;       // GL_ARB_vertex_shader
  int version_major = 0, version_minor = 0;
  int texture_units = 1;
  // The driver's strings for "Driver info:"; "NULL" when the driver gave none.
  std::string vendor, renderer, version, extensions;
};
extern GlCaps g_gl_caps;

// True when `name` occurs in the space-separated `extensions` as a whole word.
bool has_extension(const char* extensions, const char* name);

// After the context exists: fills g_gl_caps and the extension entry points and
// tells the texture cache what it may use. gl_startup calls it.
void probe_capabilities();

// ---------------------------------------------------------------------------
// Shader programs (shaders.cpp). Slot 0 is fixed function.

enum ProgramSlot {
  kProgramFixed = 0,
  kProgramLit = 1,
  kProgramEnv = 2,
  kProgramNormLit = 3,
  kProgramNormEnv = 4,
  kProgramNormSpecLit = 5,
  kProgramTerrainNormals = 6,
  kProgramTerrain = 7,
  kProgramSlots = 8,
};
constexpr int kMaxBones = 10;

// Compiles and links slots 1..7; false (nothing left alive) when any fails or
// the driver lacks the shader extensions. Leaves slot 0 current.
bool build_programs();
void release_programs();
// True when programs are built and g_render_settings.use_shaders is on.
bool shaders_active();
// Makes a slot current; ignored when out of range or already current.
void use_program(int slot);
int current_program();
// The program handle of slots 1..7; 0 otherwise.
unsigned program_of(int slot);
// Real program switches since the counter was last reset (once per frame).
int shader_changes();
void reset_shader_changes();
// `m` is 3x3, row by row: loaded as `envmat` into slots 2 and 4; slot 0 current after.
void set_env_matrix(const float m[9]);
// Bone pose of the current slot (1..7): `count` centres and translations (3 floats each)
// and rotations (9 floats each, row by row); at most kMaxBones are used. Count 0: unskinned.
void set_bone_pose(int count, const float* centres, const float* translations,
                   const float* rotations);
// Tests: replaces a slot's built-in sources (nullptr restores them).
void set_program_source_for_test(int slot, const char* vertex, const char* fragment);

// ---------------------------------------------------------------------------
// Models (model_jm.cpp, model_cache.cpp, mesh_draw.cpp, skinning.cpp)

struct Mesh {
  float exponent = 32.0f;  // specular exponent, or -1 (reflective), -2 (self-coloured)
  float colour[4] = {1, 1, 1, 1};
  int vertex_count = 0;
  int triangle_count = 0;
  float* positions = nullptr;  // 3 per vertex
  float* normals = nullptr;    // 3 per vertex
  float* texcoords = nullptr;  // 2 per vertex, v already flipped (1 - v)
  float* tangents = nullptr;   // 3 per vertex, unit length
  // Skinned meshes only: the bind pose, and four (weight, bone) slots per vertex.
  float* bind_positions = nullptr;
  float* bind_normals = nullptr;
  float* bind_tangents = nullptr;
  float* weights = nullptr;
  int* bone_indices = nullptr;
  float* env_texcoords = nullptr;  // reflective meshes: the reflection pass's coordinates
  int* triangles = nullptr;        // 3 vertex indices each, counter-clockwise front
  unsigned display_list = 0;
  Mesh* next = nullptr;
};

struct Model {
  char* name = nullptr;  // as requested, "@" included
  Mesh* meshes = nullptr;
  bool has_reflective = false;
  int generation = 0;  // 0: never stamped
  Model* lod_next = nullptr;
  float lod_distance = 0.0f;  // ft; 0 for the base model
  int bone_count = 0;
};

// A pose of a skinned model: per bone a centre and a translation (3 floats, ft) and a
// rotation (9 floats, row by row).
struct BonePose {
  int count = 0;
  const float* centres = nullptr;
  const float* translations = nullptr;
  const float* rotations = nullptr;
};

// Reads a .jm file; nullptr when its first mesh (or its header) cannot be read.
// `name` is used for the model and its warnings. No GL calls.
Model* read_jm(data::DataStream* stream, const char* name);
// Opens and reads a .jm by data name, and compiles its display lists when a GL
// context has been probed. Not cached.
Model* load_model(const char* name);
// Frees a model, its meshes, display lists and LOD chain.
void model_free(Model* model);

// The cached model for a data name (loading it and its LOD chain on a miss), stamped
// with the current generation; nullptr when it cannot be loaded.
Model* model_request(const char* name);
void model_new_generation();
int model_generation();
// Changes with every new generation and every clearing of the cache: a model taken from the
// cache under one epoch may have been freed under another.
int model_cache_epoch();
// Frees every model stamped with another nonzero generation than the current one.
void model_release_stale();
// Frees every cached model (shutdown, tests).
void model_cache_clear();

// The model of `base`'s LOD chain to draw at `position` seen from `eye` (ft).
const Model* select_lod(const Model* base, const float position[3], const float eye[3]);

// Frame counters of what was drawn ("Model polygons"); reset once per frame.
struct DrawCounters {
  int model_polygons = 0;
  int vertices = 0;
};
extern DrawCounters g_draw_counters;

// Normal pass: the meshes in order up to the first reflective one. With shaders the
// caller's current program is used (the pose goes to it); without, a skinned model is
// posed on the CPU when the pose's bone count matches. `pose` may be nullptr.
void draw_model(Model* model, const BonePose* pose);
// Reflection pass: only the reflective meshes, environment-mapped with the texture the
// caller bound. `env` (3x3, row by row) turns model-space directions into the
// environment map's frame, whose y axis is the map's pole.
void draw_model_reflection(Model* model, const BonePose* pose, const float env[9]);
// Poses a skinned model's vertices from its bind pose on the CPU; nothing when the
// pose's bone count differs from the model's.
void skin_on_cpu(Model* model, const BonePose& pose);

// The program a model is drawn with when it has a normal map and/or a specular map (texture
// names, 0 for none): `norm_spec_lit` with a specular map, `norm_lit` with a normal map only,
// `lit` with neither; fixed function without shaders or when flat shaded ("--fugly").
int model_program(bool normal_map, bool specular_map);
// Makes that program current and binds the normal map on unit 1 (a flat one when the model
// has only a specular map) and the specular map on unit 2; the caller binds the colour
// texture on unit 0. The reflection pass of a normal-mapped model then uses `norm_env`.
void begin_model_maps(unsigned normal_map, unsigned specular_map);
// After the models with maps: units 1 and 2 emptied, the plain model program current.
void end_model_maps();

// Clears and draws `model` (with `texture` bound, 0 for none) lit from a fixed three-quarter
// view that frames its bind pose, into a width x height viewport. With shaders active the
// `lit` program draws it. Used by the model viewer, its tests and the benchmark.
void draw_model_view(Model* model, unsigned texture, const BonePose* pose, int width, int height);

// ---------------------------------------------------------------------------
// Bitmap fonts (font.cpp)

struct Glyph {
  float u0 = 0, v0 = 0, u1 = 0, v1 = 0;  // texture rectangle, v from the image's top
  float advance = 0.6666667f;            // in units of the text height
};

struct Font {
  unsigned texture = 0;  // 0: empty font, nothing is drawn
  Glyph glyphs[256];
};

extern Font g_font_text;       // "@font.png"
extern Font g_font_digits;     // "@numbers.png"
extern Font g_font_condensed;  // "@numbers-condensed.png"

extern const float kTextPalette[16][4];
constexpr int kTextBatchQuads = 256;

// Fills `font` from an RGBA image (rows top first) whose marker cells hold
// `characters` in reading order; marker pixels are made transparent in `rgba`.
void font_from_image(Font& font, unsigned char* rgba, int width, int height,
                     const char* characters);
// Loads a font image by data name and uploads it; logs and leaves the font empty on failure.
bool font_load(Font& font, const char* image_name, const char* characters);
// The three fonts of the game.
void fonts_load();

// One quad of laid-out text: corners in text-height units, texture rectangle, colour.
struct TextQuad {
  float x0, y0, x1, y1;
  float u0, v0, u1, v1;
  float rgba[4];
};
// Receives laid-out quads in batches of at most kTextBatchQuads.
using TextFlush = void (*)(const TextQuad* quads, int count, void* context);

// Lays out `text` from pen (x, y) in colour (r, g, b, a) and hands the quads over in batches.
// `shadow`: the shadow pass (40-47 apply, 30-37 do not).
void lay_out_text(const Font& font, const char* text, float x, float y, const float rgba[4],
                  bool shadow, bool ignore_escapes, TextFlush flush, void* context);
// The width of the last line of `text`, in text-height units.
float text_width(const Font& font, const char* text);

void draw_text(const Font& font, const char* text, float r, float g, float b, float a);
void draw_text_white(const Font& font, const char* text);
// Black shadow at half alpha, offset (+0.0625, -0.0625), then the text itself.
void draw_text_shadowed(const Font& font, const char* text, float r, float g, float b, float a);
void draw_text_shadowed(const Font& font, const char* text, float a);  // main pass in 0.75 grey
// One line of text centred across the window, shadowed, its middle at `centre_y` (0 bottom,
// 1 top) and `height_fraction` of the window's height tall ("Paused" and the like).
void draw_screen_line(const char* text, float centre_y, float height_fraction);
// Centred between x positions `left` and `right` (text-height units).
void draw_text_centred(const Font& font, const char* text, float left, float right, float r,
                       float g, float b, float a);

// ---------------------------------------------------------------------------
// Menus (menu.cpp): a page of the front end drawn over the frame. The shell fills the view
// from its pages; the renderer lays it out and draws it. Layout is a pure function of the
// view and the window size, so the shell finds the item under the mouse pointer with the
// same rectangles the drawing uses.

struct MenuLine {
  std::string label;      // "Laps", "Start", "Gate 20"
  std::string value;      // drawn in a second column ("3", "Human"); empty for buttons
  bool item = true;       // false: a line of text between the items (a heading, "Driver info:")
  bool enabled = true;    // false: drawn greyed out (a feature that is not there yet)
  bool selected = false;  // the one selected item stands out
};

struct MenuView {
  std::string title;                   // at the top of the page
  std::vector<MenuLine> lines;         // in order; pages longer than the window scroll
  std::vector<std::string> footer;     // small lines under the list (the driver strings)
  float notice_alpha = 0;              // the fading notice under the main menu, 0..1
  bool exit_screen = false;            // the product name large, with `footer` under it
  bool pointer = false;                // the mouse pointer, at (pointer_x, pointer_y) window pixels
  float pointer_x = 0, pointer_y = 0;  // from the upper left corner, y down (as the cursor)
};

// Where the parts go in a window of `width` x `height` pixels. Rectangles are in pixels from
// the lower left corner; a part that is not shown (a line scrolled out of the window, a page
// without footer or notice) has h == 0. A line's box spans the whole highlighted row, so the
// pointer picks the line anywhere on it. A page that does not fit shows as many lines as it
// can round the selected one: the selection in the middle, clamped to the page's ends.
struct MenuLayout {
  float text_height = 0;      // pixels per line of text
  std::vector<HudBox> lines;  // one per view line, in order top to bottom
  int first = 0, count = 0;   // the lines shown
  HudBox title;               // the page's title (on the exit screen, the product name)
  HudBox footer;              // the footer lines
  HudBox notice;              // the notice's two lines
};
MenuLayout menu_layout(const MenuView& view, int width, int height);
// The item line under window pixel (x, y) (upper left origin, y down), or -1: headings,
// greyed items and lines scrolled out of the window are never picked.
int menu_line_at(const MenuView& view, int width, int height, float x, float y);
// Draws the page over whatever the frame holds (the scene, dimmed behind the list), and the
// pointer over it. The GL state, matrices included, is as it was afterwards; fixed function
// is current.
void draw_menu(const MenuView& view, int width, int height);
// A whole frame of progress while a race is set up: the game's clear colour, the title (the
// track's name) and a line of text ("Loading bikes...") in the middle. The caller swaps.
void draw_progress_screen(const char* title, const char* text, int width, int height);

}  // namespace render
