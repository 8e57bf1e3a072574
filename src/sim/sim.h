// sim.h -- the simulation: terrain, bike and rider physics, ground contact, rider aids.
//
// Nothing here reads the wall clock or anything from render/ or sound/.
#pragma once

#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include <ode/ode.h>

#include "platform/platform.h"

namespace data {
struct DataStream;
}

namespace sim {

// ---------------------------------------------------------------------------
// Catalogue types: what a bike model is made of. The 45 entries themselves
// live in the shell's catalogue.
//
// Body coordinates: x across the bike, y up, forward is -z. Lengths in feet,
// masses in slugs, forces in lbf, torques in ft·lbf, angles in radians.

constexpr int kTorquePoints = 50;  // one per 500 rpm, from 0 rpm
constexpr int kMaxGears = 6;       // a ratio of 0 or less ends the list
constexpr float kTorqueRpmStep = 500;

// One wheel's mass and contact torus.
struct WheelInfo {
  float ring_radius;  // ft, axle to the centre of the tyre's cross-section
  float tube_radius;  // ft, the tyre's cross-section
  float tyre_mass;    // slugs, tyre and rim: 16 spheres on the ring
  float hub_radius;   // ft
  float hub_mass;     // slugs, a solid sphere at the axle
};

// The 180 constants bike construction and the bike step read. Positions are
// rest positions in body coordinates.
struct BikeConstants {
  float frame_position[3];
  float front_wheel_position[3];
  float rear_wheel_position[3];
  float steering_head_position[3];  // the upper fork
  float swingarm_position[3];
  float fork_lower_position[3];
  float frame_mass;       // slugs, without the rider
  float frame_size[3];    // ft, edges of the frame's mass box (x, y, z)
  float frame_underside;  // ft below the frame centre: the lowest point when posing
  WheelInfo front_wheel;
  WheelInfo rear_wheel;
  float fork_mass;            // slugs, each of the upper fork and the sliders
  float fork_width;           // ft between the legs
  float fork_length;          // ft
  float fork_travel;          // ft
  float fork_spring_rate[2];  // lbf/ft, both legs together, at setup 0 and 100
  float fork_preload[2];      // ft, at setup 0 and 100
  float fork_oil_level[2];    // ft of air above the oil, at setup 0 and 100
  float fork_compression;     // lbf per ft/s, at setup 50
  float fork_rebound;         // lbf per ft/s, at setup 50
  float swingarm_mass;        // slugs, each of its two boxes
  float swingarm_pivot[3];
  float swingarm_travel;       // rad
  float linkage_top;           // shock leverage at the top of the travel
  float linkage_bottom;        // and at the bottom (a progressive linkage rises)
  float shock_spring_rate[2];  // lbf/ft, at setup 0 and 100
  float shock_preload[2];      // ft, at setup 0 and 100
  float shock_compression;     // damping base, at setup 50
  float shock_rebound;
  float primary_ratio;
  float countershaft_teeth;
  float rear_sprocket_teeth;
  float gear_ratios[kMaxGears];
  float driveline_stiffness;                    // ft·lbf/rad of wind-up at the rear wheel
  float driveline_damping;                      // ft·lbf per rad/s of crankshaft slip
  float engine_inertia;                         // slug·ft², crankshaft side
  float closed_throttle_torque[kTorquePoints];  // ft·lbf at the crankshaft
  float full_throttle_torque[kTorquePoints];    // ft·lbf at the crankshaft
  float downshift_rpm;
  float upshift_rpm;
  float rev_limit_rpm;      // the full-throttle curve falls to the closed one past it
  float rider_position[3];  // the rider's upper body
  float rider_mass;         // slugs, the whole rider
  float arm_reach[2];       // ft, upper arm and forearm: the crash tether's reach
  float idle_rpm;
};
static_assert(sizeof(BikeConstants) == 180 * sizeof(float));

// The rider's contact points, in the named body's coordinates. Points marked
// "pair" are the right-hand side; the left mirrors x.
struct RiderContacts {
  float hand[3];             // rider, pair
  float handlebar[3];        // steering head, pair
  float foot[3];             // rider, pair
  float footpeg[3];          // frame, pair
  float knee[3];             // rider, pair
  float seat[3];             // frame
  float head[3];             // rider
  float rider_tether[3];     // rider: held 10 ft behind `steering_tether` in a crash
  float steering_tether[3];  // steering head
  float shoulder[3];         // rider, pair
  float foot_reach;          // ft below the peg a dabbing foot reaches
};
static_assert(sizeof(RiderContacts) == 31 * sizeof(float));

// What every model shares about the rider: limb lengths for drawing, ft.
struct RiderInfo {
  float torso;
  float upper_arm;
  float forearm;
  float thigh;
  float shin;
  float neck;
};

// The data files of a model, in this order.
enum BikeFile {
  kFrameModel,
  kFrameShape,
  kBikeTexture,
  kForkUpperModel,
  kForkUpperShape,
  kForkLowerModel,
  kForkLowerShape,
  kSwingarmModel,
  kSwingarmShape,
  kFrontWheelModel,
  kFrontWheelShape,
  kRearWheelModel,
  kRearWheelShape,
  kWheelTexture,
  kRiderHeadModel,
  kRiderHeadTexture,
  kRiderBodyModel,
  kRiderBodyFirstPersonModel,
  kRiderShape,
  kRiderBodyTexture,
  kSidePlatesModel,
  kFrontPlateModel,
  kRiderPlateModel,
  kBikeFiles,
};

struct BikeInfo {
  const char* name;        // the model id of menus, setups and demos
  const char* bike_class;  // "450f", "250f", "250", "125" or "50"
  BikeConstants constants;
  const char* files[kBikeFiles];  // data names
  RiderContacts contacts;
  const RiderInfo* rider;
};

// ---------------------------------------------------------------------------
// Controls (controls.cpp): the per-tick inputs of a bike.

struct Controls {
  float throttle = 0;     // 0..1 twist grip
  float clutch = 1;       // 0..1 engagement, 1 = fully engaged
  float front_brake = 0;  // 0..1
  float rear_brake = 0;   // 0..1
  float steer = 0;        // -1..1
  float dab = 0;          // 0..1 sit / put a foot down
  float back_up = 0;      // 0..1 walk the bike backwards
  float lean = 0;         // -1..1, +1 moves the upper body 0.75 ft to the rear
  int gear = 0;           // 0..5
  int last_shift = 0;     // -1, 0, 1: the previous tick's shift request
};

// The player's nine control inputs, as the race driver sums them from the
// bindings (steer, throttle, front brake, rear brake, shift, clutch lever,
// sit/dab, back up, lean).
struct PlayerInputs {
  float steer = 0, throttle = 0, front_brake = 0, rear_brake = 0, shift = 0, clutch_lever = 0,
        dab = 0, back_up = 0, lean = 0;
};

// What the rider setup decides about the mapping.
struct InputAids {
  bool reverse_steering = false;
  bool sticky_dab = false;
  float dab_input_before = 0;  // last tick's sit/dab input, for the sticky toggle
};

// Turns one tick of player inputs into the bike's controls: steering
// (negated when reversed), brakes, throttle, dab (toggled on each rise past
// 0.5 when sticky), back up, lean, the clutch engagement from the lever
// (dropping at once, rising by at most 4 per second) and shifting (a new
// request changes gear only when it differs from the last one, never while
// crashed, onto a gear with a positive ratio).
void apply_player_inputs(const PlayerInputs& in, InputAids& aids, bool crashed,
                         const float gear_ratios[6], Controls& controls);

// ---------------------------------------------------------------------------
// Terrain (terrain_load.cpp, terrain_save.cpp, terrain_query.cpp,
// terrain_deform.cpp, surfaces.cpp, terrain_image.cpp)
//
// One height field is loaded at a time (`g_terrain`). World y is up; the grid
// point (ix, iz) lies at world (ix * spacing, height, iz * spacing), all in
// feet. Every cell is split into two triangles along a diagonal that
// alternates like a checkerboard: from (ix, iz) to (ix+1, iz+1) when ix + iz is
// even, from (ix+1, iz) to (ix, iz+1) when it is odd. Indices outside the grid
// clamp to the edge, so the ground continues outward as the edge heights.

struct Vec3 {
  float x = 0;
  float y = 0;
  float z = 0;
};

constexpr int kMaxSurfaces = 256;
constexpr int kCurvePoints = 8;  // friction and rolling-resistance points per surface
constexpr int kRoostSlots = 4;

// A dirt-spray emitter of a surface. Textures are data names; the renderer
// loads them through the texture cache.
struct RoostType {
  int mode = 0;                                       // 0 empty, 1 roost spray, 2 splash spray
  std::string texture = "@roost.png";                 // particle texture
  float count = 10;                                   // particles per tick per wheel
  float dig = 1;                                      // kept for the file's sake; nothing reads it
  float slip_threshold = 4;                           // least contact slip for roost (ft/s)
  float slow_angle = std::numbers::pi_v<float> / 2;   // spray cone at low wheel spin (radians)
  float fast_angle = std::numbers::pi_v<float> / 16;  // spray cone at high wheel spin (radians)
  float slow_speed = 0;                               // wheel spin of slow_angle (rad/s)
  float fast_speed = 64;                              // wheel spin of fast_angle (rad/s)
  float size = 0.25f;                                 // initial particle size (ft)
  float grow = 4;                                     // particle growth (ft/s)
  float drag = 0.5f;                                  // velocity damping (1/s)
  float vscale = 1;                                   // upper bound of the random velocity scale
  float randomize = 15;                               // random velocity per axis (ft/s)
  unsigned char color[4] = {255, 255, 255, 255};      // initial r, g, b, a
  signed char fade[4] = {0, 0, 0, -2};                // change of r, g, b, a per tick
};

// One entry of the surface table. Curves hold up to eight points in
// ascending key order; a key of 0 marks an empty point.
struct SurfaceType {
  float friction_coef[kCurvePoints] = {1, 1, 1, 1, 1, 1, 1, 1};    // >= 0
  float friction_slip[kCurvePoints] = {1};                         // slip speed (ft/s)
  float roll_resist_low[kCurvePoints] = {5, 5, 5, 5, 5, 5, 5, 5};  // force at no sinkage (lbf)
  float roll_resist_high[kCurvePoints] = {15, 15, 15, 15, 15, 15, 15, 15};  // at full sinkage
  float roll_resist_speed[kCurvePoints] = {1};                              // wheel speed (ft/s)
  RoostType roost[kRoostSlots];
  float erode_depth = 1;          // depth factor of one erosion event
  float erode_lower = 50;         // force below which a wheel does not erode (lbf)
  float erode_upper = 150;        // force of full displacement (lbf)
  float erode_displacement = 2;   // feet the dirt moves at full force
  float erode_radius = 4;         // radius of the erosion brushes (ft)
  float erode_max_slope = 0.25f;  // largest rise per foot of displacement
  float erode_off_speed = 10;     // wheel speed at and below which erosion is off (ft/s)
  float erode_on_speed = 15;      // wheel speed at and above which it is fully on (ft/s)
  std::string texture;            // ground texture, a data name as the file gave it
  std::string texture_name;       // its base name: after the last "/", without "@"
  std::uint32_t transition = 0;   // (i << 16) | (j << 8) | corner bits, see surfaces.cpp
};

// A ground decal (drawing only).
struct Decal {
  float x = 0;  // position (ft)
  float z = 0;
  float angle = 0;      // radians
  float size[2] = {};   // the two size values of the file (ft)
  std::string texture;  // data name
};

// The light the shading refresh after a deformation bakes with. The track's
// lighting may set it; the defaults light a flat field at full intensity.
struct TerrainLight {
  Vec3 sun_direction = {0.4082483f, 0.8164966f, 0.4082483f};  // unit, towards the sun
  float sun[3] = {0.55f, 0.55f, 0.55f};                       // colour, 1 = full
  float ambient[3] = {0.45f, 0.45f, 0.45f};
};

// Grid points whose shading changed since the drawing code last looked:
// [x0, x1] x [z0, z1], empty while x0 > x1.
struct GridRect {
  int x0 = 0;
  int z0 = 0;
  int x1 = -1;
  int z1 = -1;
};

struct HeightField {
  int size_log2 = 0;        // n of the terrain.hf header
  int points_per_side = 0;  // S = 2^(n+1) + 1; 0 while nothing is loaded
  float spacing = 0;        // feet between neighbouring grid points
  float tile_size = 0;      // 2 * spacing (ft)
  float extent = 0;         // edge of the whole field, 2^(n+1) * spacing (ft)
  float min_height = 0;     // running bounds of every height (ft)
  float max_height = 0;
  float* heights = nullptr;          // S x S, point (ix, iz) at iz * S + ix (ft)
  int tiles_per_side = 0;            // R = 2^n
  unsigned char* tilemap = nullptr;  // R x R surface indices, tile (tx, tz) at tz * R + tx
  SurfaceType surfaces[kMaxSurfaces];
  int surface_count = 0;       // 1..256 once loaded
  int edit_count = 0;          // completed deformations; the drawing code compares it
  bool modified = false;       // a height was written since load (the editor saves)
  bool deform_locked = false;  // deformations write no height (shading still refreshes)
  // Quadtree over the tiles: the root first, then each level row by row down
  // to the R x R leaves; floor(4 R^2 / 3) nodes in all.
  int pyramid_nodes = 0;
  float* pyramid_min = nullptr;
  float* pyramid_max = nullptr;
  unsigned char* pyramid_bits = nullptr;  // one bit a node, for the drawing code's own use
  unsigned char* shading = nullptr;       // S x S RGB, lighting at half intensity (drawing only)
  unsigned char* shadows = nullptr;       // S x S, 0 = fully lit (drawing only)
  std::vector<Decal> decals;
  int render_mode = 0;  // the terrain-detail setting the load was asked for
  TerrainLight light;
  GridRect shading_dirty;               // the drawing code clears it once it has refreshed
  unsigned char heights_sha1[20] = {};  // SHA-1 of the 16-bit samples as loaded
};

extern HeightField g_terrain;

// Loads the terrain of a track directory (a data name such as "@rabbithill"):
// terrain.hf with its samples inline or in terrain.png, shading, shadows, the
// surface table from tileinfo (or texturelist), tilemap and decals. On failure
// the reason goes through `platform::message`, nothing stays loaded and false
// is returned. At debug level 2 the digest of the height samples is logged.
bool terrain_load(const char* track_dir, int render_mode, int debug_level = 0);

// Writes terrain.hf, terrain.png, shading.ppm, shadingx2.ppm, tilemap and,
// when there are decals, decals into the track directory. False when a file
// could not be written.
bool terrain_save(const char* track_dir);

// Builds a flat field at height 0 in memory: 2^(n+1)+1 points a side at
// `spacing` feet, every tile surface 0 (the built-in surface), mid-grey
// shading, no shadows. For tools and tests that shape their own ground (write
// `heights`, then call `terrain_refresh`). False for n outside 1..12 or a
// spacing that is not positive.
bool terrain_create(int size_log2, float spacing);
// After heights were written directly: height bounds, pyramid and shading.
void terrain_refresh();

// Frees the loaded terrain; queries then answer for a flat field at 0.
void terrain_free();

// The terrain's files that the track digest covers, in the digest's order:
// "tilemap", "terrain.hf", "terrain.png", "texturelist", "tileinfo".
extern const char* const kTerrainDigestFiles[5];
// Adds the contents of those files of `track_dir` to `digest`, read through
// the data layer in chunks of up to 1024 bytes; a file that cannot be opened
// adds nothing.
void terrain_feed_digest(platform::Sha1& digest, const char* track_dir);

// Rebuilds the min/max pyramid from the heights (after loading; the editor).
void terrain_build_pyramid();

// Per-tick queries: constant time, no allocation, any finite or infinite
// position (outside the field the edge heights continue).
// Height of the ground at world (x, z) (ft).
float terrain_height(float x, float z);
// Normal of the triangle under (x, z): not normalised, y >= 0 (its length is
// twice the triangle's area in square feet).
Vec3 terrain_face_normal(float x, float z);
// Unit normal at grid point (ix, iz) (clamped to the grid).
Vec3 terrain_vertex_normal(int ix, int iz);
// Surface index of the tile under (x, z).
int terrain_surface_at(float x, float z);
// Friction coefficient of surface `surface` at a slip speed (ft/s),
// interpolated linearly in the square of the slip speed.
float surface_friction(int surface, float slip_speed);
// Rolling-resistance force (lbf) at a wheel speed (ft/s) and a sinkage in
// [0, 1], interpolated linearly in speed.
float surface_roll_resist(int surface, float speed, float sinkage);

// The circular brush: raises (amount > 0) or lowers the ground around world
// (x, z) by up to `amount` feet, smoothly down to nothing at `radius` feet.
// Points outside the grid are left alone. Then the shading of the touched
// square is baked again from `light`, `shading_dirty` takes it in and
// `edit_count` goes up. With `deform_locked` no height changes. The
// min/max pyramid is not rebuilt. No allocation.
void terrain_deform(float x, float z, float radius, float amount);

// Surface-table readers (load-time; fuzzed). Each replaces the table of
// `field`; warnings go through `platform::message`. Transition codes are
// computed by `compute_transitions` afterwards.
void read_tileinfo(data::DataStream* stream, HeightField& field);
void read_texturelist(data::DataStream* stream, HeightField& field);
void compute_transitions(HeightField& field);

// ---------------------------------------------------------------------------
// Shapes (shape.cpp)
//
// A collision shape is a list of spheres in a body's own coordinates, read
// from a ".shp" text file: the sphere count, then seven numbers a sphere
// (centre x, y, z; radius; friction; two values kept for the file's sake).

struct ShapeSphere {
  Vec3 centre;          // in the body's coordinates (ft)
  float radius = 0;     // ft
  float friction = 0;   // contact friction coefficient
  float extra[2] = {};  // read and kept; nothing uses them
};

struct Shape {
  std::vector<ShapeSphere> spheres;
  float bounding_radius = 0;  // largest |centre| + radius of the spheres (ft)
};

// Reads a shape from the stream. A short or malformed file (a count below 0,
// fewer numbers than it promises) gives false and leaves `shape` empty.
bool read_shape(data::DataStream* stream, Shape& shape);

// Copies the shape of a file into `shape`: each user gets its own spheres.
// Shapes are cached by file name (exact comparison); a file that cannot be
// read is not cached and gives false. Main thread.
bool shape_load(const char* name, Shape& shape);

// Forgets every cached shape (a changed file is then read again).
void shape_cache_clear();

// ---------------------------------------------------------------------------
// The physics world (world.cpp)
//
// One ODE world (double precision, gravity (0, -32, 0) ft/s^2, stepped with
// the exact stepper once a tick) and one joint group for everything that
// lives for a single step: contacts, tethers, rider springs, temporary
// angular motors.

// The simulation's fixed step: every tick advances the world by the same time.
constexpr int kTicksPerSecond = 128;
constexpr double kTickSeconds = 1.0 / kTicksPerSecond;

// Creates the world and its contact group (idempotent). Called once at start-up.
void create_world();
// Destroys every bike's bodies first (callers free their bikes), then the world.
void destroy_world();
dWorldID physics_world();
dJointGroupID contact_group();

// What the simulation needs to know about the race around it. The race
// driver keeps it up to date; tools set it themselves.
struct SimState {
  int tick = 0;                    // the race tick
  bool race_running = false;       // the gate has dropped and the race is not over
  float erosion_scale = 0;         // 0..100; 0 records no erosion at all
  int roost_frequency = 1000;      // 0..1000
  int extra_crash_ticks[16] = {};  // added to a crash's 512 ticks, by crash count
};
extern SimState g_sim;

// ---------------------------------------------------------------------------
// Bikes (bike.cpp, bike_step.cpp, bike_aids.cpp, contact.cpp)

enum BodyPart {
  kFrame,
  kFrontWheel,
  kRearWheel,
  kSteeringHead,
  kForkLower,
  kSwingarm,
  kRider,
  kBodyParts
};
enum BikeJoint {
  kFrontAxle,
  kRearAxle,
  kSteeringJoint,
  kForkJoint,
  kSwingarmPivot,
  kRiderJoint,
  kBikeJoints
};

// Flag bits of `Bike::flags`.
enum BikeFlags : unsigned {
  kFlagRiderTorqueInAir = 1u << 0,
  kFlagWheelieStopEngine = 1u << 1,  // wheelie stopper "Yes": no drive with the front up
  kFlagWheelieStopBrake = 1u << 2,   // "Yes" and "Front Only": no front brake then
  kFlagFrontAntilock = 1u << 3,
  kFlagRearAntilock = 1u << 4,
  kFlagAutoShift = 1u << 5,
  kFlagAutoDab = 1u << 6,
  kFlagRealign = 1u << 7,
  kFlagArcade = 1u << 8,  // the second flag byte's bit 0
};
constexpr unsigned kDefaultBikeFlags = 141;

// The riding aids' settings, with their defaults (see the setters for clamps).
struct AidSettings {
  double roll_damping = 60;
  double leveling = 20;
  double roll_limit_factor = 10;
  double roll_limit_angle = std::numbers::pi / 4;  // rad
  double steering_damping = 45;
  double steering_strength = 75;
  double max_steering_force = 400;
  double direct_steering = 1;
  double slow_damping_speed = 0;  // ft/s
  double slow_damping_factor = 1;
  double land_damping_falloff = 0.25;  // s
  double land_damping_factor = 2;
  double auto_clutch_rpms = 5000;
  double brake_torque = 250;                    // front, ft·lbf
  double rear_brake_torque = 250;               // ft·lbf
  double max_dab_speed = 30;                    // ft/s
  double full_lock_speed = 10;                  // ft/s
  double restricted_lock_speed = 50;            // ft/s
  double restricted_lock = 0.0872664600610733;  // rad (5 degrees)
};

constexpr double kSlowSpeed = 15;  // ft/s
constexpr double kStopSpeed = 5;   // ft/s

// One wheel's contact with the ground, refreshed every tick.
struct WheelContact {
  dBodyID body = nullptr;
  double ring_radius = 0;  // R, ft
  double tube_radius = 0;  // r, ft
  dVector3 point = {};     // world
  dVector3 velocity = {};  // of the wheel material at the point
  dVector3 normal = {0, 1, 0};
  double depth = 0;  // 0: off the ground
  int surface = 0;
  dJointFeedback feedback = {};
  bool has_feedback = false;  // a contact joint carried `feedback` in the last step
};

// Erosion events waiting to be applied, oldest at `read`.
struct ErosionEvent {
  float x, z, gx, gz;
};
constexpr int kErosionRing = 1024;

struct Bike {
  const BikeInfo* info = nullptr;
  BikeConstants k{};  // the catalogue's constants, copied
  int slot = 0;
  std::string number;
  dBodyID body[kBodyParts] = {};
  dJointID joint[kBikeJoints] = {};
  dJointFeedback joint_feedback[kBikeJoints] = {};
  Shape shape[kBodyParts];  // the wheels' shapes serve bike-against-bike contact
  WheelContact wheel[2];    // front, rear
  dVector3 fork_axis = {};  // rest-pose steering axis in body coordinates, unit
  Controls controls;

  double engine_speed = 0;  // rad/s of the crankshaft
  double engine_angle = 0;  // rad, engine side of the driveline, -pi..pi
  double final_ratio = 1;   // rear teeth / countershaft teeth
  double fork_compression = 0, fork_rebound = 0, fork_spring_rate = 0, fork_preload = 0,
         fork_oil_level = 0;
  double shock_compression = 0, shock_rebound = 0, shock_spring_rate = 0, shock_preload = 0;
  double rider_yspring = 0.5, rider_ydamping = 0.5, rider_zspring = 0.5, rider_zdamping = 0.5;
  double rider_mass_distribution = 1.0 / 3;
  AidSettings aids;
  unsigned flags = kDefaultBikeFlags;
  bool out_of_range = false;

  int crash_timer = 0;  // ticks; > 0 while crashed
  int crash_count = 0;
  int collision_timer = 0;
  int collision_tick = -1;  // the tick of the last bike-against-bike contact
  double dab_extension = 0;
  double dab_animation = 0;  // 0..1, the foot-down picture
  double landing_damping = 1;
  dVector3 rider_velocity[4] = {};  // ring by tick mod 4
  double lean_indicator = 0;
  double total_mass = 0;
  float presence = 1;  // 1 present; at 0.25 or less only bookkeeping runs
  // Posed from recorded states each tick (playback, ghosts, remote riders): the ground
  // neither holds it up nor is rutted by it, and two replayed bikes never touch.
  bool replayed = false;
  bool realign_done = false;
  int ticks_stepped = 0;
  double last_steer_torque = 0;  // for the telemetry

  ErosionEvent erosion[kErosionRing] = {};
  int erosion_write = 0;
  int erosion_read = 0;
  int erosion_events = 0;  // recorded since creation (tools and tests)
};

// Builds a bike of a catalogue model (the fall-back of `find_bike_info`
// applies), with the default settings, at its rest pose (wheels on y = 0
// around x = 0, facing -z). `info` must stay valid for the bike's life.
Bike* bike_create(const BikeInfo* info, int slot, const char* number);
void bike_destroy(Bike* bike);
void bike_reset(Bike* bike);
void bike_translate(Bike* bike, double dx, double dy, double dz);
// Turns the whole bike by `yaw` radians about the vertical through the frame.
void bike_rotate_yaw(Bike* bike, double yaw);
// Raises the bike until nothing touches, then lowers it by 1/8 ft.
void bike_place(Bike* bike);
// The contacts of both wheels and the body parts; true when anything touches.
bool bike_collide(Bike* bike);
// One tick of the bike's own forces and motors.
void bike_step(Bike* bike);
// Contacts between two bikes that are close; adjusts the collision timers.
void bike_bike_collide(Bike* a, Bike* b);

// One whole simulation tick for a set of bikes, in order: contacts,
// bike-against-bike contacts, roost, the world step, erosion, then for each
// bike `before_step` (an auto pilot or a script fills its controls) and
// `bike_step`, and the particles. Advances `g_sim.tick`.
using BikeControlHook = void (*)(Bike* bike, void* context);
void simulate_tick(Bike* const* bikes, int count, BikeControlHook before_step = nullptr,
                   void* context = nullptr);

// Readers.
const dReal* body_position(const Bike* bike, BodyPart part);
double frame_speed(const Bike* bike);  // ft/s
double bike_lean(const Bike* bike);    // rad, 0 upright, < 0 leaning right
double lean_angle(dBodyID body);
double engine_rpm(const Bike* bike);
// ft·lbf the engine makes at its present speed and throttle (the engine sound's load).
double engine_torque(const Bike* bike);
bool bike_crashed(const Bike* bike);
double fork_position(const Bike* bike);   // ft, <= 0
double swingarm_angle(const Bike* bike);  // rad, <= 0
double steering_angle(const Bike* bike);  // rad, > 0 turned left
// The lean (rad) a full steering input asks of the lean-following aids at a frame speed:
// up to the roll limit at walking pace, a whole turn (no limit) from "max dab speed" on.
double full_steer_lean(const Bike* bike, double speed);
// The front wheel's velocity direction against the fork: 0 rolling straight,
// the opposite sign of the steering angle when the fork is turned.
double front_slip_angle(const Bike* bike);
// The arcade steering controller's command (a share of the steering strength, -2/3..2/3) for
// a steering input: the bars turn to the front wheel's own direction less half the input.
double arcade_steering_command(const Bike* bike, double steer);

// Setters of the riding aids and the bike's adjustments, each clamping; a
// value further outside its range than an eighth of the range sets
// `out_of_range`.
void bike_set_aid(Bike* bike, double AidSettings::*field, double value);
void bike_set_flag(Bike* bike, unsigned flag, bool on);
void bike_set_wheelie_stopper(Bike* bike, int mode);  // 0 off, 2 front only, 3 both
void bike_set_rider_mass_distribution(Bike* bike, double share);
void bike_set_sprockets(Bike* bike, double front_adjust, double rear_adjust);
// Control setters (0..1 or -1..1). Throttle, dab, back-up and lean stay 0
// while the bike is crashed.
void set_throttle(Bike* bike, double v);
void set_front_brake(Bike* bike, double v);
void set_rear_brake(Bike* bike, double v);
void set_dab(Bike* bike, double v);
void set_back_up(Bike* bike, double v);
void set_steer(Bike* bike, double v);
void set_lean(Bike* bike, double v);
void set_clutch(Bike* bike, double v);
void shift(Bike* bike, int request);

// The direction (radians about the vertical, 0 facing -z, positive turning
// left) the racing line runs at a point; realign after a fall turns the bike
// to it. Without a racing line the bike keeps its own heading.
using RacingLineHeading = bool (*)(const Bike* bike, double* heading);
extern RacingLineHeading g_racing_line_heading;

// ---------------------------------------------------------------------------
// Ground contact (contact.cpp)

struct TerrainHit {
  bool hit = false;
  dVector3 point = {};
  dVector3 normal = {0, 1, 0};
  double depth = 0;
};

// Deepest contact of a sphere with the height field.
TerrainHit sphere_terrain(const dReal* centre, double radius);
// Deepest contact of a torus (the wheel: centre circle of radius R about the
// axle, tube radius r) with the height field.
TerrainHit torus_terrain(const dReal* centre, const dReal* axle, double ring_radius,
                         double tube_radius);
bool wheel_contact(Bike* bike, int wheel, double friction_multiplier);
bool shape_contacts(const Shape& shape, dBodyID body);

// Erosion and roost (erosion.cpp, particles.cpp).
void erosion_record(Bike* bike);
void erosion_apply(Bike* bike);
void roost_emit(Bike* bike, bool use_existing_contacts);

struct Particle {
  float position[3];
  float velocity[3];
  float size;
  unsigned char color[4];
  signed char fade[4];
  float grow;
  float drag;
  const RoostType* type;
  bool alive;
};
constexpr int kParticles = 2000;
bool particle_spawn(const float position[3], const float velocity[3], const RoostType& type);
void particles_update();
void particles_clear();
const Particle* particles();
int live_particles();

// ---------------------------------------------------------------------------
// State records (state_record.cpp): a bike's pose in 39 bytes.

constexpr int kStateRecordSize = 39;
struct StateRecord {
  unsigned char bytes[kStateRecordSize];
};
void state_pack(const Bike* bike, StateRecord* record);
// What a record says of the bike as a whole, decoded over the loaded ground's ranges (the
// tools' view of a demo).
struct StateValues {
  double frame[3] = {};    // ft
  double frame_q[4] = {};  // w, x, y, z, normalised
  int gear = 0;            // 0..6
  bool crashed = false;
  double throttle = 0;  // 0..1
  double rpm = 0;       // engine speed
};
StateValues state_values(const StateRecord& record);
// Poses the bike from `record`; with `a`, `b` and their tick distance `n`
// the bodies also get the velocities between those two records.
void bike_pose(Bike* bike, const StateRecord& record, const StateRecord* a = nullptr,
               const StateRecord* b = nullptr, int n = 1);

}  // namespace sim
