// korvex_shot.cpp -- sets up a race, rides it for a while and writes one picture of it from
// a chosen camera, without a screen: for tests, for the content work, and for anyone
// judging the picture.
//
//   korvex-shot --track DIR [--bikes N] [--ticks N] [--camera rider|chase|trackside|free]
//               [--statue MODEL] [--width W --height H] [--shaders on|off] [--method NAME]
//               [--fugly] [--erode E] [--drop-tick N] [--eye X,Y,Z --target X,Y,Z] [--fov DEG]
//               [--hide-rider] [--laps N] [--no-hud] [--out FILE.png]
//   korvex-shot --playback FILE.kvdemo [--ticks N] [--rewind-at S --rewind-by B] [camera, size
//               and drawing options] [--out FILE.png]
//
// --time-trial rides a time trial: the rider alone, and from the first lap line on the ghost
// of the track's fast lap (from the per-user folder); --ticks counts from the trial's start.
// --pace slows (below 1) or hurries the test pilot.
// With --playback the demo's race is replayed on its own track and the picture is taken when
// the race clock reads --ticks; --rewind-at rewinds --rewind-by seconds (10 by default) once,
// when the clock passes S seconds, and plays on from there, as the rewind key does.
//
// The bikes start at once (the gate is down) unless --drop-tick names the tick the gate
// drops, and every one rides with the test pilot. The first is the local rider, so the chase
// camera sits behind its heading. The free camera sits behind the bike too, unless --eye and
// --target place it (world feet, each y above the ground there) or `--statue` turns it onto
// the first statue drawn with that model, from its sunny side; --fov sets its field of view.
// --hide-rider leaves the rider's own body out of the rider view. --laps sets the race's
// laps (1000 by default): ride past the leader's last lap to see the flag fall and the
// results on the screen. The HUD draws the race screen's standings with it. --watch PLACE
// turns the cameras onto the rider in that place of the running order (1: the leader) when
// the picture is taken.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/shell.h"
#include "sim/sim.h"

namespace {

struct Options {
  std::string track = "rabbithill";
  int bikes = 1;
  int ticks = 256;
  std::string camera = "chase";
  std::string statue;  // a model's data name: the free camera looks at that statue
  int width = 1280;
  int height = 720;
  bool shaders = true;
  int method = -1;  // -1: the configuration's
  bool fugly = false;
  bool hud = true;
  bool hide_rider = false;
  int watch_place = 0;  // the cameras turn to the rider at this place of the running order
  double erode = 0;
  int drop_tick = 0;
  int laps = 1000;
  bool eye_given = false, target_given = false;
  float eye[3] = {}, target[3] = {};
  double fov = 0;  // 0: the configuration's
  std::string out = "korvex-shot.png";
  std::string playback;  // a demo to replay
  bool time_trial = false;
  double pace = 1;     // the test pilot's
  int rewind_at = -1;  // seconds; -1: never
  int rewind_by = 10;
};

void usage() {
  std::fputs(
      "usage: korvex-shot --track DIR [--bikes N] [--ticks N] [--camera "
      "rider|chase|trackside|free]\n"
      "                   [--statue MODEL] [--width W --height H] [--shaders on|off] [--method "
      "Software|Hardware/Copy|\n"
      "                   Hardware/Direct|Shaders/Copy|Shaders/Direct] [--fugly] [--erode E] "
      "[--drop-tick N]\n"
      "                   [--eye X,Y,Z --target X,Y,Z] [--fov DEG] [--hide-rider]\n"
      "                   [--laps N] [--watch PLACE] [--no-hud] [--out FILE.png]\n"
      "       korvex-shot --time-trial [--track DIR] [--ticks N] [--pace P] [...]\n"
      "       korvex-shot --playback FILE.kvdemo [--ticks N] [--rewind-at S [--rewind-by B]] "
      "[...]\n",
      stderr);
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    auto number = [&](int& out, int lo, int hi) {
      const char* v = value();
      if (!v) return false;
      char* end = nullptr;
      const long n = std::strtol(v, &end, 10);
      if (*end || n < lo || n > hi) return false;
      out = static_cast<int>(n);
      return true;
    };
    if (a == "--track") {
      const char* v = value();
      if (!v) return false;
      o.track = v[0] == '@' ? v + 1 : v;
    } else if (a == "--bikes") {
      if (!number(o.bikes, 1, 40)) return false;
    } else if (a == "--playback") {
      const char* v = value();
      if (!v || !*v) return false;
      o.playback = v;
    } else if (a == "--time-trial") {
      o.time_trial = true;
    } else if (a == "--pace") {
      const char* v = value();
      char* end = nullptr;
      o.pace = v ? std::strtod(v, &end) : 0;
      if (!v || *end || !(o.pace >= 0.2 && o.pace <= 1.5)) return false;
    } else if (a == "--rewind-at") {
      if (!number(o.rewind_at, 0, 1 << 16)) return false;
    } else if (a == "--rewind-by") {
      if (!number(o.rewind_by, 1, 1 << 16)) return false;
    } else if (a == "--ticks") {
      if (!number(o.ticks, 0, 1 << 20)) return false;
    } else if (a == "--camera") {
      const char* v = value();
      if (!v) return false;
      o.camera = v;
      if (o.camera != "rider" && o.camera != "chase" && o.camera != "trackside" &&
          o.camera != "free") {
        return false;
      }
    } else if (a == "--statue") {
      const char* v = value();
      if (!v || !*v) return false;
      o.statue = v[0] == '@' ? v : std::string("@") + v;
      o.camera = "free";
    } else if (a == "--width") {
      if (!number(o.width, 16, 8192)) return false;
    } else if (a == "--height") {
      if (!number(o.height, 16, 8192)) return false;
    } else if (a == "--shaders") {
      const char* v = value();
      if (!v || (std::strcmp(v, "on") != 0 && std::strcmp(v, "off") != 0)) return false;
      o.shaders = std::strcmp(v, "on") == 0;
    } else if (a == "--method") {
      const char* v = value();
      if (!v) return false;
      const char* const names[] = {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy",
                                   "Shaders/Direct"};
      for (int k = 0; k < 5; ++k) {
        if (std::strcmp(v, names[k]) == 0) o.method = k;
      }
      if (o.method < 0) return false;
    } else if (a == "--eye" || a == "--target") {
      const char* v = value();
      float* p = a == "--eye" ? o.eye : o.target;
      char end = 0;
      if (!v || std::sscanf(v, "%f,%f,%f%c", &p[0], &p[1], &p[2], &end) != 3) return false;
      (a == "--eye" ? o.eye_given : o.target_given) = true;
    } else if (a == "--fov") {
      const char* v = value();
      char* end = nullptr;
      o.fov = v ? std::strtod(v, &end) : 0;
      if (!v || *end || !(o.fov >= 1 && o.fov <= 170)) return false;
    } else if (a == "--drop-tick") {
      if (!number(o.drop_tick, 0, 1 << 20)) return false;
    } else if (a == "--laps") {
      if (!number(o.laps, 1, 1000)) return false;
    } else if (a == "--fugly") {
      o.fugly = true;
    } else if (a == "--hide-rider") {
      o.hide_rider = true;
    } else if (a == "--watch") {
      if (!number(o.watch_place, 1, 160)) return false;
    } else if (a == "--no-hud") {
      o.hud = false;
    } else if (a == "--erode") {
      const char* v = value();
      if (!v) return false;
      o.erode = std::atof(v);
    } else if (a == "--out") {
      const char* v = value();
      if (!v) return false;
      o.out = v;
    } else {
      return false;
    }
  }
  return true;
}

// The trackside camera nearest the watched bike, turned to look at it.
void aim_nearest_track_camera(const sim::Bike* bike) {
  std::vector<race::TrackCamera>& cameras = race::g_track.cameras;
  const dReal* p = sim::body_position(bike, sim::kFrame);
  if (cameras.empty()) {
    render::select_track_camera(0);
    return;
  }
  int best = 0;
  double best_d = 1e300;
  for (int i = 0; i < static_cast<int>(cameras.size()); ++i) {
    const double d = std::hypot(cameras[static_cast<std::size_t>(i)].x - p[0],
                                cameras[static_cast<std::size_t>(i)].z - p[2]);
    if (d < best_d) {
      best_d = d;
      best = i;
    }
  }
  race::TrackCamera& c = cameras[static_cast<std::size_t>(best)];
  c.yaw = static_cast<float>(std::atan2(p[0] - c.x, p[2] - c.z));
  c.pitch = static_cast<float>(std::atan2(p[1] - c.y, best_d));
  shell::choose_track_camera(best + 1);
}

// The free camera 30 ft behind and 12 ft above the bike, looking at it.
void place_free_camera(const sim::Bike* bike) {
  const dReal* p = sim::body_position(bike, sim::kFrame);
  const dReal* r = dBodyGetRotation(bike->body[sim::kFrame]);
  // Forward is minus the frame's third column.
  double fx = -r[2], fz = -r[10];
  const double len = std::hypot(fx, fz);
  if (len > 1e-6) {
    fx /= len;
    fz /= len;
  } else {
    fx = 0;
    fz = -1;
  }
  race::TrackCamera& c = render::g_cameras.free_camera;
  c.x = static_cast<float>(p[0] - fx * 30);
  c.z = static_cast<float>(p[2] - fz * 30);
  c.y = std::max(static_cast<float>(p[1] + 12), render::terrain_height_around(c.x, c.z, 10) + 2);
  c.yaw = static_cast<float>(std::atan2(p[0] - c.x, p[2] - c.z));
  c.pitch = static_cast<float>(std::atan2(p[1] - c.y, 30.0));
  c.fov = static_cast<float>(shell::camera_input().fov);
  render::select_track_camera(0);
}

// The free camera on the sunny side of the first statue drawn with `model`, twice its reach
// away and a little above its middle, looking at it. False when no statue has it.
bool place_camera_at_statue(const std::string& model) {
  for (const race::Statue& statue : race::g_track.statues) {
    if (statue.model != model) continue;
    const render::Model* shape = render::model_request(statue.model.c_str());
    if (!shape) return false;
    float reach = 1, top = 0;
    for (const render::Mesh* mesh = shape->meshes; mesh; mesh = mesh->next) {
      for (int v = 0; v < mesh->vertex_count; ++v) {
        const float* p = mesh->positions + 3 * v;
        reach = std::max(reach, std::hypot(p[0], p[1], p[2]));
        top = std::max(top, p[1]);
      }
    }
    const sim::Vec3& sun = race::g_track.lighting.sun_vector;
    double dx = sun.x, dz = sun.z;
    const double len = std::hypot(dx, dz);
    if (len < 1e-6) {
      dx = 0;
      dz = 1;
    } else {
      dx /= len;
      dz /= len;
    }
    const double distance = 2 * reach;
    const float middle = statue.y + top / 2;
    race::TrackCamera& c = render::g_cameras.free_camera;
    c.x = static_cast<float>(statue.x + dx * distance);
    c.z = static_cast<float>(statue.z + dz * distance);
    c.y = std::max(middle + 0.4f * reach, render::terrain_height_around(c.x, c.z, 4) + 3);
    c.yaw = static_cast<float>(std::atan2(statue.x - c.x, statue.z - c.z));
    c.pitch = static_cast<float>(std::atan2(middle - c.y, distance));
    c.fov = 50;
    render::select_track_camera(0);
    return true;
  }
  return false;
}

// The free camera at `eye` looking at `target` (world feet, y above the ground there).
void aim_free_camera(const float eye[3], const float target[3]) {
  race::TrackCamera& c = render::g_cameras.free_camera;
  c.x = eye[0];
  c.z = eye[2];
  c.y = sim::terrain_height(eye[0], eye[2]) + eye[1];
  const float ty = sim::terrain_height(target[0], target[2]) + target[1];
  c.yaw = std::atan2(target[0] - c.x, target[2] - c.z);
  c.pitch = std::atan2(ty - c.y, std::hypot(target[0] - c.x, target[2] - c.z));
  c.fov = static_cast<float>(shell::camera_input().fov);
  render::select_track_camera(0);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    usage();
    return 2;
  }
  using namespace shell;
  ToolRace race;
  race.tool = "korvex-shot";
  race.track = o.track;
  race.bikes = o.bikes;
  race.width = o.width;
  race.height = o.height;
  race.shaders = o.shaders;
  race.method = o.method;
  race.fugly = o.fugly;
  race.erode = o.erode;
  race.drop_tick = o.drop_tick;
  race.laps = o.laps;
  race.playback = o.playback;
  race.time_trial = o.time_trial;
  race.pace = static_cast<float>(o.pace);
  if (!tool_race_begin(race)) return 1;
  render::g_render_settings.hide_first_person_rider = o.hide_rider;
  const sim::Bike* watched = camera_input().watched;  // may turn to another rider below
  const int points = sim::g_terrain.points_per_side;
  const std::vector<float> ground_before(
      sim::g_terrain.heights, sim::g_terrain.heights + static_cast<long>(points) * points);
  if (o.playback.empty()) {
    for (int t = 0; t < o.ticks; ++t) {
      tool_race_tick();
      // The ground's caches follow the ruts as they would frame by frame.
      if (t % 8 == 0) render::terrain_refresh_slice();
    }
  } else {
    // A replay runs by its own clock, which its first states set.
    bool rewound = o.rewind_at < 0;
    for (int guard = 0; sim::g_sim.tick < o.ticks && guard < (1 << 22); ++guard) {
      tool_race_tick();
      if (!rewound && sim::g_sim.tick >= o.rewind_at * sim::kTicksPerSecond) {
        rewound = true;
        if (!skip_rewind(-o.rewind_by)) {
          std::fprintf(stderr, "korvex-shot: the replay can't be rewound\n");
        }
      }
    }
    std::printf("tick=%d\n", sim::g_sim.tick);
  }

  if (o.watch_place > 0) {
    if (!tool_watch_place(o.watch_place)) {
      std::fprintf(stderr, "korvex-shot: no rider in place %d\n", o.watch_place);
      return 1;
    }
    watched = camera_input().watched;
  }
  int view = render::kViewChase;
  if (o.camera == "rider") view = render::kViewRider;
  if (o.camera == "trackside" || o.camera == "free") view = render::kViewTrackCamera;
  if (watched && o.camera == "trackside") aim_nearest_track_camera(watched);
  if (!o.statue.empty()) {
    if (!place_camera_at_statue(o.statue)) {
      std::fprintf(stderr, "korvex-shot: no statue of %s on %s\n", o.statue.c_str(),
                   o.track.c_str());
      tool_race_end(true);
      return 1;
    }
  } else if (o.camera == "free" && o.eye_given && o.target_given) {
    aim_free_camera(o.eye, o.target);
  } else if (watched && o.camera == "free") {
    place_free_camera(watched);
  }
  if (o.fov > 0) render::g_cameras.free_camera.fov = static_cast<float>(o.fov);

  int width = o.width, height = o.height;
  platform::window_size(&width, &height);
  glViewport(0, 0, width, height);
  // Two frames: the first fills the ground texture windows for this camera.
  for (int frame = 0; frame < 2; ++frame) {
    if (o.fugly) render::draw_frame(view, true);
    camera_draw_view(view);
    render::terrain_refresh_slice();
  }
  if (o.hud) {
    update_hud_input();
    render::draw_hud();
    draw_race_standings(view);
  }
  std::vector<unsigned char> rgb;
  render::read_frame_rgb(width, height, rgb);
  const bool written = data::write_png(o.out.c_str(), rgb.data(), width, height, 3, true);
  if (!written) std::fprintf(stderr, "korvex-shot: can't write %s\n", o.out.c_str());
  const render::Camera camera = render::camera_for_view(view, camera_input());
  std::printf("camera=%.2f,%.2f,%.2f\n", camera.position[0], camera.position[1],
              camera.position[2]);
  if (watched) {
    const dReal* p = sim::body_position(watched, sim::kFrame);
    std::printf("bike=%.2f,%.2f,%.2f\nspeed_mph=%.1f\n", p[0], p[1], p[2],
                sim::frame_speed(watched) / 1.4666667);
  }
  // How deep the ruts got: the largest change of any ground height.
  float rut = 0;
  for (std::size_t i = 0; i < ground_before.size(); ++i) {
    rut = std::max(rut, std::fabs(sim::g_terrain.heights[i] - ground_before[i]));
  }
  std::printf("ground_edits=%d\nground_change_ft=%.3f\n", sim::g_terrain.edit_count, rut);
  std::printf("ground_polygons=%d\nbillboards=%d\nmodel_polygons=%d\n",
              render::g_frame_counters.ground_polygons, render::g_frame_counters.billboards,
              render::g_frame_counters.model_polygons);
  tool_race_end(true);
  return written ? 0 : 1;
}
