// shell.h -- the program shell's public face: the entry, the rider slots' count, a bike
// with the default rider setup, and the race without a screen that the tools ride.
//
// The rest of the folder is the shell's own: start-up and the command line (startup.h),
// settings and the configuration file (settings.h), tracks and demos (track_list.h), the
// catalogue (catalogue.h, public too: the content generator reads it), rider setup and the
// mechanic (rider_setup.h), the race driver (race_driver.h) and the frame loop with its
// control inputs (frame_loop.h).
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "render/render.h"
#include "sim/sim.h"

namespace shell {

constexpr int kRiderSlots = 160;

// "--record-audio" mixes 88320 sample values a second (mono, 16 bits), one tick's at a time.
constexpr int kRecordAudioRate = 88320;
constexpr int kRecordAudioValuesPerTick = static_cast<int>(sim::kTickSeconds * kRecordAudioRate);

// The program's entry: start-up, the main loop, shutdown. Returns the exit status.
int korvex_main(int argc, char** argv, const platform::BuildDigests& digests);

// Sets up a bike with the default rider setup and its Stability preset, as a new player
// has it; `arcade` -1 keeps the setup's arcade physics, 0 or 1 turns them off or on.
void apply_default_rider_setup(sim::Bike* bike, const sim::BikeInfo& info, int arcade = -1);

// A race without a screen (tool_race.cpp), for korvex-shot and the benchmarks: an
// offscreen window of the given size, the default configuration with the given drawing
// choices, the local rider and bikes - 1 computer riders on the grid, the gate already down
// unless a drop tick is given.
struct ToolRace {
  const char* tool = "korvex";  // for messages
  std::string track = "rabbithill";
  int bikes = 1;
  int width = 1280, height = 720;
  bool shaders = true;
  int method = -1;  // "Terrain Rendering Method" index; -1 the configuration's
  bool fugly = false;
  double erode = 0;
  int drop_tick = 0;        // the tick the start gate drops; 0: it is down from the start
  int laps = 1000;          // the race's laps
  std::string playback;     // a demo to replay instead (its track and riders); empty: none
  bool time_trial = false;  // the local rider alone, with the track's fast lap as its ghost
  float pace = 1;           // a factor on the test pilot's speeds
};
bool tool_race_begin(const ToolRace& race);
// Skips forward (seconds > 0) or rewinds, only while every bike is replayed from history;
// false (nothing done) otherwise. With "--accurate-skip" a skip rides the time with roost off.
bool skip_rewind(int seconds);
// One tick: the watched (local) bike rides with the test pilot, then the race tick.
void tool_race_tick();
// Turns the cameras onto the rider at `place` (1 = the leader) of the running order; false
// (nothing changes) when no rider holds that place.
bool tool_watch_place(int place);
// Frees the race; `close` also closes the window (the next race then opens a new one).
void tool_race_end(bool close);

// A whole race without a window or GL (race_tool.cpp), for korvex-race: computer riders in
// consecutive gates round Gate 20, through the game's race set-up and race tick.
struct RaceToolOptions {
  std::string track = "rabbithill";
  int riders = 6;
  int laps = 5;
  double minutes = 0;
  int skill = 0;  // 0 novice, 1 amateur, 2 expert
  unsigned seed = 0;
  double erode = 0;         // erosion rate, 0..100
  std::string record;       // a demo file to write the race into; empty: none
  std::string playback;     // a demo file to replay instead of racing; empty: none
  bool time_trial = false;  // the stand-in pilot rides `laps` laps of a time trial alone
  // The time trial's pace for each lap (a factor on the stand-in pilot's speeds), the last
  // for every lap after; empty: full pace.
  std::vector<double> paces;
  // Scripted riders: the stand-in pilot rides every bike of the field as a rider who is not a
  // computer rider, so its laps teach racing lines (the lines pipeline); `paces` as above.
  bool scripted = false;
  bool learn = false;     // save what the race taught to the track's lines file of the skill
  bool practice = false;  // every computer rider tests lines (the `tester` personality)
};
// A time trial's laps as they were timed (ticks; 0 an invalid lap).
struct RaceToolLap {
  int lap = 0;
  int ticks = 0;
  int best_ticks = 0;
  bool fast_lap_written = false;  // the lap became the track's fast lap
};
struct RaceToolRider {
  int position = 0, slot = 0;
  std::string number, bike;
  int laps = 0;
  bool finished = false;
  double total_s = 0;  // from the gate drop, with the time penalty
  int best_lap = 0;    // 0: none
  double best_lap_s = 0;
  double penalty_s = 0;
  int penalty_laps = 0;
  int crashes = 0;
  std::string personality;  // computer riders
  std::string missed;       // gate positions passed without a recorded pass ("3,17"), "-" none
};
struct RaceToolProgress {
  int leader_lap = 0, race_laps = 0;
  int leader_gate = 0;  // the leader's gate within the lap
  double seconds = 0;   // race time since the gate dropped
  std::string track;    // the track raced
  int riders = 0;       // bikes on it
  double minutes = 0;   // the race's time limit
};
// False with a message for the player when the race cannot be run.
bool race_tool_begin(const RaceToolOptions& options, std::string* error);
// One race tick; true once the final classification is made (a time trial: once its laps
// are ridden).
bool race_tool_tick();
// The time trial's laps so far.
const std::vector<RaceToolLap>& race_tool_laps();
RaceToolProgress race_tool_progress();
// The final classification, winner first.
std::vector<RaceToolRider> race_tool_classification();
void race_tool_end();

// What the cameras read of the race and the settings, as of now.
render::CameraInput camera_input();
// Computes the camera of a view (render::kView...) and draws the scene from it.
void camera_draw_view(int view);
// Copies what the HUD shows from the race before a frame is drawn.
void update_hud_input();
// The race screen's standings over the frame of a view (render::kView...), as the game draws
// them after the HUD: the results table once someone has finished, the pit board, the ticker
// over a track camera.
void draw_race_standings(int view);
// Picks a track camera as the digit keys do (1..9; 0 the free camera).
void choose_track_camera(int camera);

}  // namespace shell
