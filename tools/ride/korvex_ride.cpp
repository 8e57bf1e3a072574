// korvex_ride.cpp -- rides bikes without a window and reports what they did: the tool for
// tuning the physics and for checking it.
//
//   korvex-ride --scenario NAME [--bike MODEL] [--track DIR] [--bikes N] [--ticks N]
//               [--csv FILE] [--arcade | --realistic] [--bike-aids] [--steer S] [--erode E]
//               [--wav FILE [--listener X,Y,Z]] [--rpm R] [--speed MPH]
//
// Bikes get the default rider setup (arcade physics on, as a new player has it) unless
// --realistic turns arcade off or --bike-aids leaves the bike's own built-in aids. The turn
// scenario rides realistic, arcade-turn arcade.
//
// Scenarios: accel, brake, turn, arcade-turn, jump, rest, crash, erode, lap, bench, rev (the
// engine held at --rpm on a stand, clutch in, throttle open), cruise (a straight line at
// --speed mph). Each prints "key=value" lines on standard output and exits 0 when it ran.
//
// --wav FILE records the first bike's engine voice, mixed as the game mixes it for
// --record-audio (88,320 values a second, mono), heard from the bike itself or from a
// listener standing still at --listener X,Y,Z (ft, facing -z: +x is to its right).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "platform/platform.h"
#include "race/race.h"
#include "shell/catalogue.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "sound/sound.h"

namespace {

constexpr double kMph = 1.4666666666666666;  // ft/s per mph
using sim::kTicksPerSecond;

struct Options {
  std::string scenario;
  std::string bike = "crf450(2013)";
  std::string track;  // the track's directory, as korvex --track takes it
  int bikes = 1;
  int ticks = 0;
  std::string csv;
  int arcade = -1;  // -1: as the rider setup has it (on), 0 off, 1 on
  double erode = 100;
  bool bike_aids = false;
  double steer = 0;  // the turn scenarios' steering step; 0: the scenario's own
  std::string wav;   // the engine recording; empty: none
  bool listener_standing = false;
  double listener[3] = {};  // ft, where a standing listener stands
  double rpm = 7000;        // the rev scenario's engine speed
  double speed_mph = 60;    // the cruise scenario's speed
};

void usage() {
  std::fprintf(
      stderr,
      "usage: korvex-ride --scenario NAME [--bike MODEL] [--track DIR] [--bikes N] "
      "[--ticks N] [--csv FILE] [--arcade | --realistic] [--bike-aids] [--steer S] [--erode E] "
      "[--wav FILE [--listener X,Y,Z]] [--rpm R] [--speed MPH]\n"
      "scenarios: accel brake turn arcade-turn jump rest crash erode lap bench rev cruise\n");
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--arcade" || a == "--realistic") {
      o.arcade = a == "--arcade" ? 1 : 0;
      continue;
    }
    if (a == "--bike-aids") {
      o.bike_aids = true;
      continue;
    }
    if (!(v = value())) return false;
    if (a == "--scenario") {
      o.scenario = v;
    } else if (a == "--bike") {
      o.bike = v;
    } else if (a == "--track") {
      o.track = v[0] == '@' ? v + 1 : v;
    } else if (a == "--bikes") {
      o.bikes = std::atoi(v);
    } else if (a == "--ticks") {
      o.ticks = std::atoi(v);
    } else if (a == "--csv") {
      o.csv = v;
    } else if (a == "--steer") {
      o.steer = std::atof(v);
    } else if (a == "--erode") {
      o.erode = std::atof(v);
    } else if (a == "--wav") {
      o.wav = v;
    } else if (a == "--listener") {
      char rest = 0;
      if (std::sscanf(v, "%lf,%lf,%lf%c", &o.listener[0], &o.listener[1], &o.listener[2], &rest) !=
              3 ||
          !std::isfinite(o.listener[0] + o.listener[1] + o.listener[2])) {
        std::fprintf(stderr, "korvex-ride: --listener takes X,Y,Z in feet, not '%s'\n", v);
        return false;
      }
      o.listener_standing = true;
    } else if (a == "--rpm") {
      o.rpm = std::atof(v);
      if (!(o.rpm > 0 && o.rpm <= 30000)) {
        std::fprintf(stderr, "korvex-ride: --rpm takes 1 to 30000, not '%s'\n", v);
        return false;
      }
    } else if (a == "--speed") {
      o.speed_mph = std::atof(v);
      if (!(o.speed_mph > 0 && o.speed_mph <= 150)) {
        std::fprintf(stderr, "korvex-ride: --speed takes 1 to 150 mph, not '%s'\n", v);
        return false;
      }
    } else {
      return false;
    }
  }
  if (o.listener_standing && o.wav.empty()) {
    std::fprintf(stderr, "korvex-ride: --listener needs --wav\n");
    return false;
  }
  return !o.scenario.empty() && o.bikes >= 1 && o.bikes <= shell::kRiderSlots && o.ticks >= 0;
}

// --- Ground ------------------------------------------------------------------------------------

// Hard-pack everywhere: grippy at low slip, sliding at speed. Its rolling resistance rises
// with speed, standing in for the air and the dirt that hold a bike back at speed.
void hard_pack(sim::SurfaceType& s) {
  const float coef[] = {1.2f, 1.1f, 1.0f, 0.9f};
  const float slip[] = {1, 8, 20, 40};
  const float speed[] = {1, 30, 60, 90, 120, 150};
  const float low[] = {4, 8, 20, 48, 95, 170};
  for (int i = 0; i < 4; ++i) {
    s.friction_coef[i] = coef[i];
    s.friction_slip[i] = slip[i];
  }
  for (int i = 0; i < 6; ++i) {
    s.roll_resist_speed[i] = speed[i];
    s.roll_resist_low[i] = low[i];
    s.roll_resist_high[i] = low[i] + 8;
  }
  s.roost[0].mode = 1;
}

// The built-in test ground: a flat field 4096 ft a side, or with a jump (take-off, gap,
// landing) across the line x = 1024 at z = 2900 ... 2800.
constexpr double kFieldCentre = 2048;
constexpr double kLip = 2900;          // z of the take-off lip
constexpr double kLipHeight = 5;       // ft
constexpr double kTakeOffLength = 12;  // ft, about 23 degrees
constexpr double kGap = 30;            // ft of flat between lip and landing
constexpr double kLandingLength = 30;  // ft, about 9.5 degrees
constexpr double kWallZ = 2600;        // the crash scenario's wall

enum class Ground { kFlat, kJump, kWall };

void make_ground(Ground kind) {
  sim::terrain_create(9, 4);
  sim::HeightField& f = sim::g_terrain;
  hard_pack(f.surfaces[0]);
  if (kind != Ground::kFlat) {
    for (int iz = 0; iz < f.points_per_side; ++iz) {
      const double z = iz * f.spacing;
      double h = 0;
      if (kind == Ground::kJump) {
        if (z <= kLip + kTakeOffLength && z >= kLip)
          h = kLipHeight * (kLip + kTakeOffLength - z) / kTakeOffLength;
        const double land_top = kLip - kGap;
        if (z <= land_top && z >= land_top - kLandingLength) {
          h = kLipHeight * (z - (land_top - kLandingLength)) / kLandingLength;
        }
      } else if (z <= kWallZ) {
        h = 12;
      }
      for (int ix = 0; ix < f.points_per_side; ++ix) {
        f.heights[static_cast<std::size_t>(iz) * f.points_per_side + ix] = static_cast<float>(h);
      }
    }
  }
  sim::terrain_refresh();
}

// --- Bikes -------------------------------------------------------------------------------------

struct Rider {
  sim::Bike* bike = nullptr;
  ai::TestPilot pilot;  // the lap scenario's gate to gate riding
  int crashes_seen = 0;
};

void hold_speed(sim::Bike* bike, double target) { ai::pilot_hold_speed(bike, target); }
void steer_towards(sim::Bike* bike, double x, double z) { ai::pilot_steer_towards(bike, x, z); }
std::vector<int> lap_gates() { return ai::lap_checkpoints(); }
void ride_lap(Rider& r, const std::vector<int>& gates) { ai::pilot_ride(r.bike, r.pilot, gates); }
void note_gates(Rider& r, const std::vector<int>& gates) {
  ai::pilot_note_gates(r.bike, r.pilot, gates, sim::g_sim.tick);
}

// A bike of the chosen model with the default rider setup (or the bike's own aids).
// `arcade`: -1 as the setup has it, else off or on.
sim::Bike* make_bike(const Options& o, int slot, int arcade) {
  const sim::BikeInfo* info = shell::find_bike_info(o.bike.c_str());
  sim::Bike* bike = sim::bike_create(info, slot, "1");
  if (o.bike_aids) {
    sim::bike_set_flag(bike, sim::kFlagArcade, arcade == 1);
    sim::bike_set_flag(bike, sim::kFlagAutoShift, true);
    sim::bike_set_flag(bike, sim::kFlagAutoDab, true);
    return bike;
  }
  shell::apply_default_rider_setup(bike, *info, arcade);
  return bike;
}

// Puts a bike with its front wheel at (x, z) facing `yaw` (0 = -z, positive turns left).
void put(sim::Bike* bike, double x, double z, double yaw) {
  sim::bike_reset(bike);
  const dReal* p = sim::body_position(bike, sim::kFrame);
  sim::bike_translate(bike, x - p[0], sim::terrain_height(float(x), float(z)), z - p[2]);
  sim::bike_rotate_yaw(bike, yaw);
  sim::bike_place(bike);
}

double heading(const sim::Bike* bike) {
  const dReal* r = dBodyGetRotation(bike->body[sim::kFrame]);
  // The forward axis (0, 0, -1) in the world is minus the third column.
  return std::atan2(r[2], r[10]);
}

double wrap(double a) { return std::remainder(a, 2 * std::numbers::pi); }

double heading(const sim::Bike* bike);

// --- Telemetry ---------------------------------------------------------------------------------

struct Telemetry {
  FILE* csv = nullptr;
  int crashes = 0;
  double max_speed = 0;

  void open(const std::string& path) {
    if (path.empty()) return;
    csv = std::fopen(path.c_str(), "w");
    if (!csv) {
      std::fprintf(stderr, "korvex-ride: can't write %s\n", path.c_str());
      return;
    }
    std::fprintf(
        csv,
        "tick,bike,x,y,z,speed_mph,lean_deg,pitch_deg,rpm,gear,throttle,steer,front_brake,"
        "rear_brake,fork_ft,swingarm_rad,front_slip_fts,rear_slip_fts,front_depth,rear_depth,"
        "steer_torque,crash_timer,heading_deg,steering_deg,front_slip_angle_deg\n");
  }
  void row(int tick, int index, const sim::Bike* b) {
    const double v = sim::frame_speed(b);
    max_speed = std::max(max_speed, v);
    if (!csv) return;
    const dReal* p = sim::body_position(b, sim::kFrame);
    const dReal* r = dBodyGetRotation(b->body[sim::kFrame]);
    const double pitch = std::asin(std::clamp(double(-r[6]), -1.0, 1.0));
    auto slip = [&](int w) {
      const dReal* u = b->wheel[w].velocity;
      return b->wheel[w].depth > 0 ? std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]) : 0.0;
    };
    std::fprintf(csv,
                 "%d,%d,%.3f,%.3f,%.3f,%.2f,%.2f,%.2f,%.0f,%d,%.3f,%.3f,%.2f,%.2f,%.4f,%.4f,%.2f,%."
                 "2f,%.4f,%.4f,%.1f,%d,%.1f,%.2f,%.2f\n",
                 tick, index, p[0], p[1], p[2], v / kMph,
                 sim::bike_lean(b) * 180 / std::numbers::pi, pitch * 180 / std::numbers::pi,
                 sim::engine_rpm(b), b->controls.gear + 1, b->controls.throttle, b->controls.steer,
                 b->controls.front_brake, b->controls.rear_brake, sim::fork_position(b),
                 sim::swingarm_angle(b), slip(0), slip(1), b->wheel[0].depth, b->wheel[1].depth,
                 b->last_steer_torque, b->crash_timer, heading(b) * 180 / std::numbers::pi,
                 sim::steering_angle(b) * 180 / std::numbers::pi,
                 sim::front_slip_angle(b) * 180 / std::numbers::pi);
  }
  void close() {
    if (csv) std::fclose(csv);
    csv = nullptr;
  }
};

Telemetry g_telemetry;

// --- Engine recording --------------------------------------------------------------------------

// The first bike's engine voice, rendered and mixed once a tick as the game does for
// --record-audio: the readback mixer at 88,320 values a second, 690 a tick.
struct EngineRecording {
  platform::AudioDevice* device = nullptr;
  platform::WavFile* wav = nullptr;
  sound::EngineVoice* voice = nullptr;
  const sim::Bike* bike = nullptr;
  long values = 0;

  bool open(const Options& o) {
    if (o.wav.empty()) return true;
    wav = platform::wav_create(o.wav.c_str(), shell::kRecordAudioRate);
    if (!wav) {
      std::fprintf(stderr, "korvex-ride: can't write %s\n", o.wav.c_str());
      return false;
    }
    device =
        platform::audio_open_readback(shell::kRecordAudioRate, shell::kRecordAudioValuesPerTick);
    if (!device) {
      std::fprintf(stderr, "korvex-ride: can't open the recording mixer\n");
      return false;
    }
    return true;
  }
  // After each tick: the voice of the first bike (made when it first rides), then one
  // tick's mix.
  void tick(const Options& o, const sim::Bike* b) {
    if (!device) return;
    if (b != bike) {
      sound::engine_voice_free(voice);
      bike = b;
      voice =
          sound::engine_voice_create(device, b->info->bike_class, b->info->files[sim::kBikeTexture],
                                     shell::default_engine_sound(b->info->bike_class));
    }
    render::Listener listener;
    if (o.listener_standing) {
      for (int i = 0; i < 3; ++i) listener.position[i] = static_cast<float>(o.listener[i]);
    } else {
      // Riding along: the frame's own position, motion and right-hand axis.
      const dReal* p = sim::body_position(b, sim::kFrame);
      const dReal* v = dBodyGetLinearVel(b->body[sim::kFrame]);
      const dReal* r = dBodyGetRotation(b->body[sim::kFrame]);
      for (int i = 0; i < 3; ++i) {
        listener.position[i] = static_cast<float>(p[i]);
        listener.velocity[i] = static_cast<float>(v[i]);
        listener.right[i] = static_cast<float>(r[4 * i]);
      }
    }
    sound::engine_voice_render(*voice, sound::engine_inputs(b), listener, 1.0);
    const std::int16_t* mixed = device->ops->mix(device);
    if (mixed && platform::wav_write(wav, mixed, shell::kRecordAudioValuesPerTick))
      values += shell::kRecordAudioValuesPerTick;
  }
  // Closes the file; false when it could not be written whole.
  bool close(const Options& o) {
    if (!wav) return true;
    sound::engine_voice_free(voice);
    voice = nullptr;
    platform::audio_close(device);
    device = nullptr;
    const bool ok = platform::wav_close(wav);
    wav = nullptr;
    std::printf("wav=%s\n", o.wav.c_str());
    std::printf("wav_rate=%d\n", shell::kRecordAudioRate);
    std::printf("wav_seconds=%.3f\n", static_cast<double>(values) / shell::kRecordAudioRate);
    if (!ok) std::fprintf(stderr, "korvex-ride: can't finish %s\n", o.wav.c_str());
    return ok;
  }
};

EngineRecording g_recording;
Options g_options;

// One tick for every bike with a driver callback before each bike's step.
template <class Drive>
void tick(std::vector<Rider>& riders, Drive drive) {
  static std::vector<sim::Bike*> bikes;  // kept: no allocation per tick once it has grown
  bikes.clear();
  for (Rider& r : riders) bikes.push_back(r.bike);
  struct Context {
    Drive* drive;
    std::vector<Rider>* riders;
  } context{&drive, &riders};
  sim::simulate_tick(
      bikes.data(), static_cast<int>(bikes.size()),
      [](sim::Bike* bike, void* c) {
        auto* ctx = static_cast<Context*>(c);
        for (Rider& r : *ctx->riders) {
          if (r.bike == bike) (*ctx->drive)(r);
        }
      },
      &context);
  for (std::size_t i = 0; i < riders.size(); ++i) {
    sim::Bike* b = riders[i].bike;
    if (b->crash_count > riders[i].crashes_seen) {
      g_telemetry.crashes += b->crash_count - riders[i].crashes_seen;
      riders[i].crashes_seen = b->crash_count;
    }
    g_telemetry.row(sim::g_sim.tick, static_cast<int>(i), b);
  }
  if (!riders.empty()) g_recording.tick(g_options, riders[0].bike);
}

void kv(const char* key, double value) { std::printf("%s=%.3f\n", key, value); }
void kvi(const char* key, long value) { std::printf("%s=%ld\n", key, value); }

std::vector<Rider> riders_on_ground(const Options& o, int arcade, double x, double z, double yaw) {
  std::vector<Rider> riders(static_cast<std::size_t>(o.bikes));
  for (int i = 0; i < o.bikes; ++i) {
    riders[i].bike = make_bike(o, i, arcade);
    put(riders[i].bike, x + 8 * i, z, yaw);
  }
  return riders;
}

// --- Scenarios ---------------------------------------------------------------------------------

int accel(const Options& o) {
  make_ground(Ground::kFlat);
  std::vector<Rider> riders = riders_on_ground(o, o.arcade, kFieldCentre, 3900, 0);
  const int ticks = o.ticks ? o.ticks : 20 * kTicksPerSecond;
  const int go = kTicksPerSecond / 2;
  double to_60 = -1;
  std::string gears = "1";
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider& r) {
      // Full throttle, rolled off a little while the rear tyre spins far faster than the bike.
      const dReal* u = r.bike->wheel[1].velocity;
      const double spin =
          r.bike->wheel[1].depth > 0 ? std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]) : 0;
      const double throttle = std::clamp(1 - (spin - 10) * 0.05, 0.4, 1.0);
      sim::set_throttle(r.bike, sim::g_sim.tick >= go ? throttle : 0);
      sim::set_steer(r.bike, 0);
    });
    const sim::Bike* b = riders[0].bike;
    if (to_60 < 0 && sim::frame_speed(b) >= 60 * kMph) to_60 = double(t - go) / kTicksPerSecond;
    const std::string g = std::to_string(b->controls.gear + 1);
    if (gears.substr(gears.rfind(',') == std::string::npos ? 0 : gears.rfind(',') + 1) != g)
      gears += "," + g;
  }
  kvi("crashes", g_telemetry.crashes);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  kv("time_to_60_mph_s", to_60);
  std::printf("gears=%s\n", gears.c_str());
  return 0;
}

int brake(const Options& o) {
  make_ground(Ground::kFlat);
  std::vector<Rider> riders = riders_on_ground(o, o.arcade, kFieldCentre, 3900, 0);
  const int ticks = o.ticks ? o.ticks : 30 * kTicksPerSecond;
  bool braking = false;
  double start_z = 0, stop_distance = -1, stop_time = -1;
  int brake_tick = 0;
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider& r) {
      sim::set_steer(r.bike, 0);
      if (!braking) {
        sim::set_throttle(r.bike, 1);
      } else {
        sim::set_throttle(r.bike, 0);
        sim::set_front_brake(r.bike, 1);
        sim::set_rear_brake(r.bike, 1);
      }
    });
    const sim::Bike* b = riders[0].bike;
    const double v = sim::frame_speed(b);
    if (!braking && v >= 40 * kMph) {
      braking = true;
      start_z = sim::body_position(b, sim::kFrame)[2];
      brake_tick = t;
    } else if (braking && stop_distance < 0 && v < 0.5) {
      stop_distance = start_z - sim::body_position(b, sim::kFrame)[2];
      stop_time = double(t - brake_tick) / kTicksPerSecond;
      if (!o.ticks) break;
    }
  }
  kvi("crashes", g_telemetry.crashes);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  kv("stop_distance_ft", stop_distance);
  kv("stop_time_s", stop_time);
  return 0;
}

int turn(const Options& o, int arcade) {
  make_ground(Ground::kFlat);
  std::vector<Rider> riders = riders_on_ground(o, arcade, kFieldCentre, 2400, 0);
  const int ticks = o.ticks ? o.ticks : 36 * kTicksPerSecond;
  const int step_at = 6 * kTicksPerSecond;
  // The realistic aids take the steering as a lean to hold (a tenth is about 36 degrees at
  // this speed); arcade steering leans the bike by a quarter turn times the input.
  const double step = o.steer != 0 ? o.steer : (arcade == 1 ? 0.5 : 0.1);
  double last_heading = 0, turned = 0, lean_sum = 0, speed_sum = 0;
  int samples = 0;
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider& r) {
      hold_speed(r.bike, 30);
      sim::set_steer(r.bike, sim::g_sim.tick >= step_at ? step : 0);
    });
    const sim::Bike* b = riders[0].bike;
    const double h = heading(b);
    if (t >= step_at) {
      turned += wrap(h - last_heading);
      if (t >= ticks - 3 * kTicksPerSecond) {
        lean_sum += sim::bike_lean(b);
        speed_sum += sim::frame_speed(b);
        ++samples;
      }
    }
    last_heading = h;
  }
  const double lean = samples ? lean_sum / samples : 0;
  const double speed = samples ? speed_sum / samples : 0;
  const double seconds = double(ticks - step_at) / kTicksPerSecond;
  const double yaw_rate = std::fabs(turned) / seconds;
  kvi("crashes", g_telemetry.crashes);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  kv("speed_fts", speed);
  kv("lean_deg", lean * 180 / std::numbers::pi);
  kv("turned_deg", turned * 180 / std::numbers::pi);
  kv("circles", std::fabs(turned) / (2 * std::numbers::pi));
  kv("radius_ft", yaw_rate > 0 ? speed / yaw_rate : -1);
  return 0;
}

// Rides the jump at an approach speed; returns crashes, fills the flight's figures.
// How close this tick came to throwing the rider off: the larger of the rider's speed
// against the frame and the rider's acceleration, each over its crash threshold.
// How close this tick came to throwing the rider off: the larger of the rider's speed
// against the frame and the rider's acceleration over four ticks, each over its threshold.
double crash_closeness(const sim::Bike* b, dVector3 history[4], int t) {
  const dReal* at = dBodyGetPosition(b->body[sim::kRider]);
  const dReal* v = dBodyGetLinearVel(b->body[sim::kRider]);
  dVector3 carried;
  dBodyGetPointVel(b->body[sim::kFrame], at[0], at[1], at[2], carried);
  double diff = 0, accel = 0;
  dReal* before = history[t & 3];
  for (int i = 0; i < 3; ++i) {
    diff += (v[i] - carried[i]) * (v[i] - carried[i]);
    const double a = (v[i] - before[i]) * 0.25 * kTicksPerSecond + (i == 1 ? 32 : 0);
    accel += a * a;
    before[i] = v[i];
  }
  return t < 4 ? 0 : std::max(std::sqrt(diff) / 31, std::sqrt(accel) / 1376);
}

int jump_once(const Options& o, double approach, double* airtime, double* distance,
              double* lip_speed, double* closeness) {
  std::vector<Rider> riders = riders_on_ground(o, o.arcade, 1024, kLip + 400, 0);
  dVector3 history[4] = {};
  *closeness = 0;
  const int before = g_telemetry.crashes;
  int air_ticks = 0, longest = 0;
  double takeoff_z = 0, landing_z = 0;
  *lip_speed = 0;
  const int ticks = o.ticks ? o.ticks : 16 * kTicksPerSecond;
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider& r) {
      const double z = sim::body_position(r.bike, sim::kFrame)[2];
      if (z > kLip + kTakeOffLength + 5) {
        hold_speed(r.bike, approach);
      } else if (z > kLip - kGap - kLandingLength) {
        sim::set_throttle(r.bike, 0.35);
        sim::set_front_brake(r.bike, 0);
        sim::set_rear_brake(r.bike, 0);
      } else {
        hold_speed(r.bike, 20);
      }
      sim::set_steer(r.bike, 0);
    });
    const sim::Bike* b = riders[0].bike;
    const double z = sim::body_position(b, sim::kFrame)[2];
    *closeness = std::max(*closeness, crash_closeness(b, history, t));
    if (*lip_speed == 0 && z < kLip) *lip_speed = sim::frame_speed(b);
    const bool flying = b->wheel[0].depth == 0 && b->wheel[1].depth == 0;
    if (flying) {
      if (air_ticks == 0) takeoff_z = z;
      ++air_ticks;
    } else {
      if (air_ticks > longest) {
        longest = air_ticks;
        landing_z = z;
        *distance = takeoff_z - landing_z;
      }
      air_ticks = 0;
    }
  }
  *airtime = double(longest) / kTicksPerSecond;
  for (Rider& r : riders) sim::bike_destroy(r.bike);
  return g_telemetry.crashes - before;
}

int jump(const Options& o) {
  make_ground(Ground::kJump);
  double air = 0, distance = 0, lip = 0, close = 0;
  const int clear = jump_once(o, 46, &air, &distance, &lip, &close);
  kvi("crashes", clear);
  kv("crash_closeness", close);
  kv("lip_speed_fts", lip);
  kv("airtime_s", air);
  kv("jump_distance_ft", distance);
  kv("gap_to_landing_ft", kGap);
  double air2 = 0, distance2 = 0, lip2 = 0, close2 = 0;
  const int over = jump_once(o, 75, &air2, &distance2, &lip2, &close2);
  kvi("overshoot_crashes", over);
  kv("overshoot_crash_closeness", close2);
  kv("overshoot_lip_speed_fts", lip2);
  kv("overshoot_airtime_s", air2);
  kv("overshoot_distance_ft", distance2);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  return 0;
}

int rest(const Options& o) {
  make_ground(Ground::kFlat);
  std::vector<Rider> riders = riders_on_ground(o, o.arcade, kFieldCentre, kFieldCentre, 0);
  const int ticks = o.ticks ? o.ticks : 4 * kTicksPerSecond;
  double speed_at_2s = -1;
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider&) {});
    if (t == 2 * kTicksPerSecond) speed_at_2s = sim::frame_speed(riders[0].bike);
  }
  kvi("crashes", g_telemetry.crashes);
  kv("frame_speed_after_2s_fts", speed_at_2s);
  kv("final_speed_fts", sim::frame_speed(riders[0].bike));
  kv("lean_deg", sim::bike_lean(riders[0].bike) * 180 / std::numbers::pi);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  return 0;
}

int crash(const Options& o) {
  make_ground(Ground::kWall);
  std::vector<Rider> riders = riders_on_ground(o, o.arcade, 1024, kWallZ + 300, 0);
  const int ticks = o.ticks ? o.ticks : 30 * kTicksPerSecond;
  int crash_tick = -1, countdown_tick = -1, back_tick = -1;
  double rider_speed_at_countdown = -1;
  bool detached = false;
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider& r) {
      if (crash_tick < 0) {
        hold_speed(r.bike, 45);
      } else {
        sim::set_throttle(r.bike, 0);
      }
      sim::set_steer(r.bike, 0);
    });
    const sim::Bike* b = riders[0].bike;
    if (crash_tick < 0 && b->crash_timer > 0) {
      crash_tick = t;
      detached = dJointGetBody(b->joint[sim::kRiderJoint], 0) == nullptr;
    }
    if (crash_tick >= 0 && countdown_tick < 0 && b->crash_timer > 0 &&
        b->crash_timer < 512 + sim::g_sim.extra_crash_ticks[0]) {
      countdown_tick = t;
      const dReal* v = dBodyGetLinearVel(b->body[sim::kRider]);
      rider_speed_at_countdown = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    }
    if (countdown_tick >= 0 && back_tick < 0 && b->crash_timer == 0) {
      back_tick = t;
      if (!o.ticks) break;
    }
  }
  const sim::Bike* b = riders[0].bike;
  kvi("crashes", g_telemetry.crashes);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  kv("crash_s", crash_tick / double(kTicksPerSecond));
  kvi("rider_detached", detached);
  kv("countdown_start_s", countdown_tick / double(kTicksPerSecond));
  kv("rider_speed_at_countdown_fts", rider_speed_at_countdown);
  kv("back_on_bike_s", back_tick / double(kTicksPerSecond));
  kvi("rider_attached_at_end", dJointGetBody(b->joint[sim::kRiderJoint], 0) != nullptr);
  return 0;
}

int erode(const Options& o) {
  make_ground(Ground::kFlat);
  sim::SurfaceType& s = sim::g_terrain.surfaces[0];
  s.erode_lower = 30;
  s.erode_upper = 120;
  const sim::HeightField& f = sim::g_terrain;
  const std::size_t count = std::size_t(f.points_per_side) * f.points_per_side;
  const std::vector<float> original(f.heights, f.heights + count);
  const double x = kFieldCentre, z0 = 3000, z1 = 2600;
  auto height_change = [&](const std::vector<float>& before, double px, double pz) {
    const int ix = int(std::lround(px / f.spacing)), iz = int(std::lround(pz / f.spacing));
    const std::size_t i = std::size_t(iz) * f.points_per_side + ix;
    return double(f.heights[i]) - before[i];
  };
  double nearest_applied = 1e9;
  long events_with = 0, events_without = 0;
  for (int pass = 0; pass < 4; ++pass) {
    // The last pass runs without erosion: nothing may be recorded then.
    sim::g_sim.erosion_scale = pass < 3 ? float(o.erode) : 0;
    std::vector<Rider> riders = riders_on_ground(o, o.arcade, x, z0, 0);
    for (int t = 0; t < 30 * kTicksPerSecond; ++t) {
      const int read_before = riders[0].bike->erosion_read;
      tick(riders, [&](Rider& r) {
        hold_speed(r.bike, 35);
        steer_towards(r.bike, x, z1 - 200);
      });
      const sim::Bike* b = riders[0].bike;
      const dReal* p = sim::body_position(b, sim::kFrame);
      for (int e = read_before; e != b->erosion_read; e = (e + 1) % sim::kErosionRing) {
        const double ex = b->erosion[e].x - p[0], ez = b->erosion[e].z - p[2];
        nearest_applied = std::min(nearest_applied, std::sqrt(ex * ex + ez * ez));
      }
      if (p[2] < z1) break;
    }
    (pass < 3 ? events_with : events_without) += riders[0].bike->erosion_events;
    for (Rider& r : riders) sim::bike_destroy(r.bike);
  }
  double rut = 0, pile = 0;
  for (double z = z1 + 20; z <= z0 - 20; z += f.spacing) {
    for (double dx = -6; dx <= 6; dx += f.spacing) {
      const double c = height_change(original, x + dx, z);
      rut = std::min(rut, c);
      pile = std::max(pile, c);
    }
  }
  kvi("crashes", g_telemetry.crashes);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  kvi("erosion_events", events_with);
  kvi("events_without_erode", events_without);
  kv("rut_depth_ft", -rut);
  kv("pile_height_ft", pile);
  kv("nearest_applied_event_ft", nearest_applied);
  return 0;
}

// The track is named as korvex names it, by its directory among the data folders.
bool load_track(const Options& o) {
  race::TrackLoadOptions options;
  const std::string name = "@" + o.track;
  if (!race::track_load(name.c_str(), options)) {
    std::fprintf(stderr, "korvex-ride: can't load track %s\n", o.track.c_str());
    return false;
  }
  if (race::g_track.checkpoints.empty() || race::g_track.starting_gates.empty() ||
      race::g_track.normal_lap_length == 0) {
    std::fprintf(stderr, "korvex-ride: track %s has no timing gates\n", o.track.c_str());
    return false;
  }
  return true;
}

std::vector<Rider> riders_on_grid(const Options& o, int count) {
  std::vector<Rider> riders(static_cast<std::size_t>(count));
  const std::vector<race::StartingGate>& grid = race::g_track.starting_gates;
  for (int i = 0; i < count; ++i) {
    riders[i].bike = make_bike(o, i, o.arcade);
    const race::StartingGate& s = grid[std::size_t(i) % grid.size()];
    put(riders[i].bike, s.x, s.z, s.yaw);
    if (i >= int(grid.size()))
      sim::bike_translate(riders[i].bike, 0, 0, 10.0 * (i / int(grid.size())));
  }
  return riders;
}

// Bikes spread round the lap, each on a gate facing the next one: a race some way in,
// not the first corner's pile-up.
std::vector<Rider> riders_round_the_lap(const Options& o, int count,
                                        const std::vector<int>& gates) {
  std::vector<Rider> riders(static_cast<std::size_t>(count));
  const std::vector<race::TimingGate>& cps = race::g_track.checkpoints;
  const int n = static_cast<int>(gates.size());
  for (int i = 0; i < count; ++i) {
    const int k = static_cast<int>((static_cast<long>(i) * n) / count);
    const race::TimingGate& g = cps[gates[k]];
    const race::TimingGate& next = cps[gates[(k + 1) % n]];
    riders[i].bike = make_bike(o, i, o.arcade);
    riders[i].pilot.gate = k + 1;
    // Two bikes sharing a gate stand side by side.
    const double side = (i % 2 == 0 ? -4.0 : 4.0) * ((static_cast<long>(i) * n) % count != 0);
    const double yaw = std::atan2(-(next.centre.x - g.centre.x), -(next.centre.z - g.centre.z));
    put(riders[i].bike, g.centre.x + side * std::cos(yaw), g.centre.z - side * std::sin(yaw), yaw);
  }
  return riders;
}

int lap(const Options& o) {
  if (o.track.empty()) {
    std::fprintf(stderr, "korvex-ride: the lap scenario needs --track\n");
    return 1;
  }
  if (!load_track(o)) return 1;
  const std::vector<int> gates = lap_gates();
  std::vector<Rider> riders = riders_on_grid(o, o.bikes);
  sim::g_sim.race_running = true;
  const int ticks = o.ticks ? o.ticks : 240 * kTicksPerSecond;
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider& r) { ride_lap(r, gates); });
    for (Rider& r : riders) note_gates(r, gates);
    if (!o.ticks && riders[0].pilot.laps >= 1) break;
  }
  kvi("crashes", g_telemetry.crashes);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  kvi("laps", riders[0].pilot.laps);
  kvi("gates_passed", riders[0].pilot.gates_passed);
  kvi("gates_per_lap", long(gates.size()));
  kv("lap_time_s", riders[0].pilot.best_lap_s);
  return 0;
}

int bench(const Options& o) {
  const bool on_track = !o.track.empty();
  if (on_track && !load_track(o)) return 1;
  if (!on_track) make_ground(Ground::kFlat);
  const std::vector<int> gates = on_track ? lap_gates() : std::vector<int>{};
  const int ticks = o.ticks ? o.ticks : 10 * kTicksPerSecond;
  for (int n : {1, 10, 40}) {
    std::vector<Rider> riders;
    if (on_track) {
      riders = riders_round_the_lap(o, n, gates);
    } else {
      for (int i = 0; i < n; ++i) {
        Rider r;
        r.bike = make_bike(o, i, o.arcade);
        put(r.bike, 200 + 60 * (i % 8), 3800 - 60 * (i / 8), 0);
        riders.push_back(r);
      }
    }
    // Get going first; the timing covers riding, not the start.
    auto drive = [&](Rider& r) {
      if (on_track) {
        ride_lap(r, gates);
      } else {
        hold_speed(r.bike, 40);
        sim::set_steer(r.bike, 0.3);
      }
    };
    for (int t = 0; t < 2 * kTicksPerSecond; ++t) {
      tick(riders, drive);
      if (on_track)
        for (Rider& r : riders) note_gates(r, gates);
    }
    const auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < ticks; ++t) {
      tick(riders, drive);
      if (on_track)
        for (Rider& r : riders) note_gates(r, gates);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = ticks / seconds;
    char key[64];
    std::snprintf(key, sizeof key, "ticks_per_second_%d", n);
    kv(key, rate);
    std::snprintf(key, sizeof key, "real_time_multiple_%d", n);
    kv(key, rate / kTicksPerSecond);
    std::fflush(stdout);
    for (Rider& r : riders) sim::bike_destroy(r.bike);
  }
  kvi("crashes", g_telemetry.crashes);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  return 0;
}

// The engine on a stand: clutch in, throttle open, the crankshaft held at --rpm as a dyno
// brake would hold it. The engine sound at one speed and full load.
int rev(const Options& o) {
  make_ground(Ground::kFlat);
  std::vector<Rider> riders = riders_on_ground(o, o.arcade, kFieldCentre, kFieldCentre, 0);
  const int ticks = o.ticks ? o.ticks : 3 * kTicksPerSecond;
  const double held = o.rpm * 2 * std::numbers::pi / 60;  // rad/s
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider& r) {
      sim::set_clutch(r.bike, 0);
      sim::set_throttle(r.bike, 1);
      sim::set_front_brake(r.bike, 1);
      sim::set_rear_brake(r.bike, 1);
      r.bike->engine_speed = held;
    });
  }
  kvi("crashes", g_telemetry.crashes);
  kv("rpm", sim::engine_rpm(riders[0].bike));
  kv("torque_ftlbf", sim::engine_torque(riders[0].bike));
  return 0;
}

// Along a straight line (-z from z = 3900) at --speed: a pass-by for a standing listener.
int cruise(const Options& o) {
  make_ground(Ground::kFlat);
  std::vector<Rider> riders = riders_on_ground(o, o.arcade, kFieldCentre, 3900, 0);
  const int ticks = o.ticks ? o.ticks : 20 * kTicksPerSecond;
  const double target = o.speed_mph * kMph;
  double reached = -1;
  for (int t = 0; t < ticks; ++t) {
    tick(riders, [&](Rider& r) {
      hold_speed(r.bike, target);
      steer_towards(r.bike, kFieldCentre, 0);
    });
    if (reached < 0 && sim::frame_speed(riders[0].bike) >= 0.98 * target) {
      reached = double(t) / kTicksPerSecond;
    }
  }
  kvi("crashes", g_telemetry.crashes);
  kv("max_speed_mph", g_telemetry.max_speed / kMph);
  kv("speed_reached_s", reached);
  kv("final_speed_mph", sim::frame_speed(riders[0].bike) / kMph);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options& o = g_options;
  if (!parse(argc, argv, o)) {
    usage();
    return 2;
  }
  sim::create_world();
  g_telemetry.open(o.csv);
  if (!g_recording.open(o)) return 1;
  int rc = 0;
  const std::string& s = o.scenario;
  if (s == "accel") {
    rc = accel(o);
  } else if (s == "brake") {
    rc = brake(o);
  } else if (s == "turn") {
    rc = turn(o, o.arcade == 1 ? 1 : 0);
  } else if (s == "arcade-turn") {
    rc = turn(o, 1);
  } else if (s == "jump") {
    rc = jump(o);
  } else if (s == "rest") {
    rc = rest(o);
  } else if (s == "crash") {
    rc = crash(o);
  } else if (s == "erode") {
    rc = erode(o);
  } else if (s == "lap") {
    rc = lap(o);
  } else if (s == "bench") {
    rc = bench(o);
  } else if (s == "rev") {
    rc = rev(o);
  } else if (s == "cruise") {
    rc = cruise(o);
  } else {
    usage();
    rc = 2;
  }
  g_telemetry.close();
  if (!g_recording.close(o) && rc == 0) rc = 1;
  std::fflush(stdout);
  return rc;
}
