// race_driver.h -- the rider slots, race set-up, the race tick, the main loop and
// shutdown (private to the shell).
#pragma once

#include <string>

#include "ai/ai.h"
#include "platform/platform.h"
#include "race/race.h"
#include "shell/catalogue.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "sound/sound.h"

namespace shell {

// Driver kinds of a rider slot.
// A scripted bike (the tools) is ridden by the stand-in pilot but counts as a rider who is not
// a computer rider: its laps teach racing lines.
enum DriverKind { kDriverLocal = 0, kDriverHistory = 1, kDriverAutoPilot = 2, kDriverScripted = 3 };

// A computer rider's identity: number, personality, bike and looks.
struct RiderIdentity {
  const char* number;        // "20" .. "99"
  const char* personality;   // "harrier", "kestrel" or "merlin"
  const char* model;         // catalogue name before the alias table
  const char* body_texture;  // nullptr: the default look
  const char* head_texture;
  const char* bike_texture;
  const char* wheel_texture;
};

constexpr int kIdentities = 80;
// The built-in roster, numbers 20 to 99 in order.
const RiderIdentity* rider_identities();

struct RiderSlot {
  sim::Bike* bike = nullptr;  // the slot's bike, or none; owned by the race driver
  int driver = kDriverHistory;
  std::string model;               // the catalogue name the slot's bike is built from; empty: none
  const BikeInfo* info = nullptr;  // its catalogue entry, looked up once at set-up
  std::string name;                // the rider's name as listed
  int identity = -1;               // index into the roster for computer riders
  // The rider's number and looks (data names; empty: the model's own), as drawn, listed
  // and written into demos.
  std::string number;
  std::string rider_texture, bike_texture, wheel_texture, head_texture;
  int demo_rider = -1;  // replayed from a demo: the rider's index in it
};

// The race driver's table. The race clock is the simulation's tick counter (`sim::g_sim.tick`,
// 0 at set-up), advanced by each race tick.
struct RaceDriver {
  int start_tick = 0;  // the tick at which the start gate drops
  int time_limit = 0;  // ticks; 0 is none
  int laps = 0;
  bool time_trial = false;
  RiderSlot slots[kRiderSlots];
  int lineup[kRiderSlots] = {};          // 0 empty, 1 local human, 2 computer rider, ...
  int identity_order[kIdentities] = {};  // the shuffled roster
  platform::Mt19937 random;
  int watched = 0;             // the slot the camera follows
  sim::InputAids aids;         // the local rider's input mapping
  std::string track;           // directory of the loaded track; empty: none
  std::string playback_track;  // the playback demo's track
  bool race_loaded = false;
  int local_slot = -1;        // the local human's slot, or -1
  double start_spot[3] = {};  // where the local human's frame stood at set-up (ft)
  int held_until = 0;         // a false start holds the local bike until this tick
  float gate_fall = render::kGateStandingFall;  // the start-gate bars: standing .. 0 down
  bool record_demo = false;                     // the set-up's choices, kept for a restart
  int robot_skill = 0;
  // Demos: the file chosen for playback (a data name or a path; empty: the default demo),
  // whether this race plays one back, and the demo version it plays (5 or 6; 4 copies
  // records instead of blending them).
  std::string playback_file;
  std::string record_file;  // the tools' demo name; empty: the default demo with its backups
  bool playing_back = false;
  int playback_version = 6;
  // The time trial: the lap counts of the rider and the ghost (slots 0 and 1) before the
  // tick, the last and best lap (ticks; 0 none).
  int trial_rider_laps = 0, trial_ghost_laps = 0;
  int trial_last_ticks = 0, trial_best_ticks = 0;
  int trial_laps_ended = 0;             // laps ended in this time trial, valid or not
  bool trial_fast_lap_written = false;  // the last lap became the track's fast lap
};

// The race is ready 5 s after its set-up (tick 0): computer riders rev for the drop from then.
constexpr int kReadyTicks = 5 * sim::kTicksPerSecond;
// A false start: before the gate drops, the frame has moved this far (ft) from its spot.
constexpr double kFalseStartDistance = 3;
// Whether this is an online race (false starts are penalised, ghosts never fade).
bool race_online();
// Whether a frame at `at` has left the starting spot by the false-start distance.
bool false_start(const double spot[3], const double at[3]);

extern RaceDriver g_race;

// Empties every slot (no bike, replayed from history, lineup 0).
void reset_rider_slots();

// Shuffles the roster order with the race's generator: for j from 79 down to
// 1, entry j swaps with entry (r / 65536) mod j, so no entry stays in place.
void shuffle_identities(platform::Mt19937& random, int order[kIdentities]);

// The start tick of a race: the whole ticks in 13 + 2u seconds, u from the
// generator's next number (so the gate drops between 13 and 15 s).
int draw_start_tick(platform::Mt19937& random);

// A slot for rider `index` of a demo: replayed from history, with the demo's bike (through
// the alias table), number, name and looks.
void seat_demo_rider(RiderSlot& slot, const race::DemoRider& rider, int index);

// Fills the slots from a lineup (the lineup values of the driver's table):
// driver kind, model, name and identity of every slot. Only the first local
// human stays one. While playing back, the demo's riders (`demo`, may be null) fill the
// empty slots in order.
void plan_slots(int lineup[kRiderSlots], const int identity_order[kIdentities], bool playback,
                const std::string& human_model, RiderSlot slots[kRiderSlots],
                const std::vector<race::DemoRider>* demo = nullptr);

// ---------------------------------------------------------------------------
// Demos and the time trial (demo_driver.cpp)

// A bike posed from recorded states: no ground contact, no ruts, and the fixed aids of a
// replayed bike.
void make_replayed(sim::Bike* bike);
// Set-up, before the slots are filled: recording stops, the rings are emptied, and with
// `playback` the chosen demo is opened (false: it could not be read; the race runs
// normally). A time trial opens the track's fast lap as its ghost when there is one.
bool demo_setup_playback(bool playback);
// Set-up, once the bikes stand: the demo's riders are bound to their slots, the header's
// race length and start tick are taken, and recording starts when asked (a time trial
// always records its lap).
void demo_setup_finish(bool record);
// Race tick step 1: reads the demo ahead and poses every bike driven from history.
void demo_tick_begin();
// Race tick step 11: samples the simulated bikes every fourth tick and flushes the demo.
void demo_tick_end();
// Packs the local and computer bikes into their rings (every fourth tick, or forced).
void sample_states(bool force);
// Race tick steps 2 and 12: the time trial's lap bookkeeping.
void time_trial_note_laps();
void time_trial_lap_step();
// Ends the race's recording and playback (the next set-up, shutdown, the tools).
void demo_race_end();
// The demo reader's position after a skip or rewind to `tick`: gates passed after it are
// taken back and the rings cleared.
void demo_reposition(int tick);
// Whether a slot driven from history has a state for `tick` (its ring reaches within one
// second of it).
bool history_fresh(int slot, int tick);

// Sets up a race: a lineup (nullptr for a time trial), playback, the demo
// choice, the time limit in ticks (0 none), laps and robot skill. The track
// is the playback demo's when playing back, else the chosen one. Returns
// with no race when the track cannot be loaded.
void setup_race(const int* lineup, bool playback, bool record_demo, int time_limit_ticks, int laps,
                int robot_skill);

// The racing lines: saved to the file they came from when learning is on (set-up, shutdown);
// loaded for the track and robot skill, pruned and planned (set-up).
void save_learned_lines();
void load_racing_lines(const std::string& track, int skill);

// The tools' scripted riders: a slot set up for a computer rider is ridden by the stand-in
// pilot instead and counts as a rider who is not a computer rider (its laps teach lines).
// Returns the pilot's state, for its pace and lane.
ai::TestPilot& make_scripted(int slot);

// Runs frames until the program ends; then shuts down. Returns the exit status.
int main_loop();

// Prepares the loop (the clock, the resolved bindings); main_loop calls it.
void main_loop_begin();

// One tick step: takes the input events stamped up to the tick's wall moment
// (event-clock seconds) and acts on them, gathers the control inputs, hands
// them over, and runs the race tick unless paused.
void tick_step(double wall_moment);

// Advances the race by one tick: collisions, roost, the physics world, erosion, each
// bike's step (held before the gate drops), particles, then the tick counter.
void race_tick();

// Frees every slot's bike.
void free_bikes();

// Puts a bike at rest on a slot's start position: on the track's start positions, rows of
// them 10 ft apart; without them in a line across the middle of the ground.
void place_on_grid(sim::Bike* bike, int slot);

// Time trial: puts the local rider back at the lap start, at rest.
void abort_attempt();

// The laps the race leader has completed.
int leader_completed_laps();
// The gate-sequence position the watched bike heads for next.
int watched_sequence_position();
// The slot after (step 1) or before (step -1) the watched one in the running order, round the
// end; by slot number on a track without timing.
int neighbour_in_order(int step);
// The final classification has just been made.
void race_classified();
// The phase the flaggers show (render::RacePhase): the countdown before the gate drops, then
// from the leader's lap: halfway, the last lap, finished.
int race_phase();

// Slot i's lineup value moves to slot i + 1, the last to slot 0 (warp mode's next race).
void rotate_lineup(int lineup[kRiderSlots]);

// The engine sounds' master factor: 1 while riding (not paused, no editor, no menu);
// 0.25 with a menu open over someone else's bike; otherwise 0.
double engine_sound_master(bool paused, bool editor, bool menu, bool watched_is_local);

// The tick's exchange with the multiplayer server; nothing while not connected.
void network_exchange();

// The frame's texts over the scene: "Paused" while paused (unless --hidden-pause).
void draw_frame_texts();

// The controls menu's wait for a binding: the next pressed key becomes binding `binding`'s
// key (its axis cleared), or a controller axis moved more than half way from where it
// rested becomes its axis, with the range (0.0625, 0.9375) or (-0.0625, -0.9375) by the
// side it moved to; the bindings are then resolved again. Esc cancels the wait.
void begin_binding_capture(int binding);
bool capturing_binding();

// One engine voice's volume: master x "Volume" x 0.1, further x "Competitor Volume" x 0.1 for
// every bike but the watched one; 0 for a replayed bike with no recent state.
double engine_voice_volume(double master, double volume, double competitor_volume, bool watched,
                           bool stale_history);

// The slots' engine voices (engine_sounds.cpp). A slot's bike has a voice while an audio
// device is open; `sync_engine_voices` makes the missing ones (race set-up, a rider joining)
// and frees those whose bike went; `render_engine_voices` does that too, then renders every
// voice for the listener with the volume settings, and lets the device take the frame.
void sync_engine_voices();
void render_engine_voices(bool paused, bool editor);
void free_engine_voice(int slot);
void free_engine_voices();
// A slot's voice (nullptr: none), and the level it is rendered at this frame.
const sound::EngineVoice* slot_engine_voice(int slot);
double engine_voice_level(int slot, bool paused, bool editor);

// Whether the main menu or the chat and command line has the keys.
bool menu_open();
bool console_open();

// Creates the slots' bikes from their models at their grid spots and hands each its
// aids: the rider setup for the local human, fixed aids for bikes replayed from history,
// the built-in Stability preset for computer riders.
void create_bikes();

// Gives the tick's nine control inputs to the watched bike when it is driven
// locally (else to the camera of the view).
void hand_over_controls(const float inputs[]);

// The view the frame loop draws (render::kView...), and the track camera the digit keys
// chose (1..9; 0 the free camera).
int current_view();
int chosen_track_camera();

// The control inputs of the last tick, and whether the game is paused.
const float* control_inputs();
bool game_paused();

// Closes the network session, frees the race, closes audio and window, writes
// the configuration.
void shutdown();

// Hands the drawing settings (ground, scene) to the renderer: at start-up and after the
// menus change them.
void apply_render_settings();

// Copies what the scene shows of the race before a frame is drawn (the HUD's input is in
// shell.h).
void update_scene_input(int view);

}  // namespace shell
