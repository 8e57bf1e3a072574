// race_setup.cpp -- setting up a race: the roster shuffle, the start tick, the slots, the track.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "ai/pilot.h"
#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/catalogue.h"
#include "shell/frame_loop.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"
#include "shell/track_list.h"

namespace shell {

namespace {

constexpr int kTimeTrialStartTicks = 300 * sim::kTicksPerSecond;  // the gate is long down

// The personality of a roster number: 20-39 and 60-79 harrier, 40-59
// kestrel, 80-99 merlin.
const char* personality(int number) {
  if (number >= 80) return "merlin";
  if (number >= 40 && number < 60) return "kestrel";
  return "harrier";
}

// The bike model of a roster number.
const char* model(int number) {
  struct Range {
    int last;
    const char* model;
  };
  static const Range kRanges[] = {
      {24, "kx125"},  {29, "yz125"},  {34, "cr125"},  {39, "rm125"},           {44, "crf250"},
      {49, "kx250f"}, {53, "rmz250"}, {58, "yz250f"}, {59, "yz250f_se(2006)"}, {64, "crf250"},
      {69, "kx250f"}, {74, "rmz250"}, {78, "yz250f"}, {79, "yz250f_se(2006)"}, {84, "crf250"},
      {89, "kx250f"}, {94, "yz250f"}, {99, "rmz250"},
  };
  for (const Range& range : kRanges) {
    if (number <= range.last) return range.model;
  }
  return "rm125";
}

struct Roster {
  RiderIdentity identities[kIdentities];
  char numbers[kIdentities][4];
  Roster() {
    for (int i = 0; i < kIdentities; ++i) {
      const int number = 20 + i;
      std::snprintf(numbers[i], sizeof numbers[i], "%d", number);
      RiderIdentity& id = identities[i];
      id = RiderIdentity{numbers[i], personality(number), model(number), nullptr, nullptr, nullptr,
                         nullptr};
      // A few riders wear the shipped alternative looks so the field is not
      // one colour; which ones is fixed, so every race sees the same riders.
      if (number % 4 == 1) id.body_texture = "@rider_body-alt1.png";
      if (number % 5 == 2) id.head_texture = "@rider_head-alt2.png";
      if (std::strcmp(id.model, "crf250") == 0 && number % 2 == 1)
        id.bike_texture = "@crf250-alt1.png";
      if (number % 6 == 3) id.wheel_texture = "@wheels-alt1.png";
    }
  }
};

const Roster& roster() {
  static const Roster kRoster;
  return kRoster;
}

// The next identity from `*next` on, searching the rest of the order from its
// end for one whose model contains `wanted`; it is swapped into place.
int take_identity_with(int order[kIdentities], int* next, const char* wanted) {
  if (*next >= kIdentities) return -1;
  for (int i = kIdentities - 1; i >= *next; --i) {
    if (std::strstr(rider_identities()[order[i]].model, wanted)) {
      std::swap(order[i], order[*next]);
      return order[(*next)++];
    }
  }
  return order[(*next)++];
}

// The identity numbered n, swapped into place.
int take_identity_number(int order[kIdentities], int* next, int number) {
  if (*next >= kIdentities) return -1;
  for (int i = *next; i < kIdentities; ++i) {
    if (std::atoi(rider_identities()[order[i]].number) == number) {
      std::swap(order[i], order[*next]);
      return order[(*next)++];
    }
  }
  return order[(*next)++];
}

// A texture choice of the rider setup as a data name; "default" is none.
std::string chosen_texture(const ChoiceSetting& setting) {
  const std::string& name = setting.name();
  return name == "default" ? std::string() : name;
}

// The name of the track being set up, over the progress lines.
std::string g_progress_title;

// A step of the set-up: logged, and shown on a frame of its own when there is a window.
void show_progress(const char* text) {
  platform::log("%s\n", text);
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  if (width <= 0 || height <= 0 || !render::g_gl_caps.probed) return;
  render::draw_progress_screen(g_progress_title.c_str(), text, width, height);
  platform::swap_window();
}

}  // namespace

const RiderIdentity* rider_identities() { return roster().identities; }

void shuffle_identities(platform::Mt19937& random, int order[kIdentities]) {
  for (int i = 0; i < kIdentities; ++i) order[i] = i;
  for (int j = kIdentities - 1; j >= 1; --j) {
    const std::uint32_t r = random();
    std::swap(order[j], order[(r / 65536u) % static_cast<std::uint32_t>(j)]);
  }
}

int draw_start_tick(platform::Mt19937& random) {
  const double u = static_cast<double>(random() & 0x7fffffffu) / 2147483648.0;
  return static_cast<int>((13.0 + 2.0 * u) / sim::kTickSeconds);
}

void seat_demo_rider(RiderSlot& slot, const race::DemoRider& rider, int index) {
  slot = RiderSlot{};
  slot.driver = kDriverHistory;
  slot.demo_rider = index;
  slot.model = bike_alias(rider.model.c_str());
  slot.number = rider.number;
  slot.name = rider.name;
  slot.rider_texture = rider.rider_texture;
  slot.bike_texture = rider.bike_texture;
  slot.wheel_texture = rider.wheel_texture;
  slot.head_texture = rider.head_texture;
}

void plan_slots(int lineup[kRiderSlots], const int identity_order[kIdentities], bool playback,
                const std::string& human_model, RiderSlot slots[kRiderSlots],
                const std::vector<race::DemoRider>* demo) {
  int order[kIdentities];
  std::memcpy(order, identity_order, sizeof order);
  int next = 0;
  int next_demo_rider = 0;
  const int demo_riders = demo ? static_cast<int>(demo->size()) : 0;
  bool human_seen = false;
  for (int slot = 0; slot < kRiderSlots; ++slot) {
    RiderSlot& s = slots[slot];
    s = RiderSlot{};
    int value = lineup[slot];
    if (value == 1 && human_seen) value = lineup[slot] = 0;  // one local human only
    int identity = -1;
    switch (value) {
      case 0:
        // While playing back, the demo's riders fill the empty slots (driven
        // from history); otherwise the slot stays empty.
        if (playback && next_demo_rider < demo_riders) {
          seat_demo_rider(s, (*demo)[static_cast<std::size_t>(next_demo_rider)], next_demo_rider);
          ++next_demo_rider;
        } else if (playback) {
          s.driver = kDriverHistory;
        }
        continue;
      case 1:
        human_seen = true;
        s.driver = kDriverLocal;
        s.model = human_model;
        s.number = g_rider_setup.number;
        s.rider_texture = chosen_texture(g_rider_setup.rider_texture);
        s.bike_texture = chosen_texture(g_rider_setup.bike_texture);
        s.wheel_texture = chosen_texture(g_rider_setup.wheel_texture);
        s.head_texture = chosen_texture(g_rider_setup.head_texture);
        continue;
      case 2:
        identity = next < kIdentities ? order[next++] : -1;
        break;
      case 3:
        identity = take_identity_with(order, &next, "125");
        break;
      case 4:
        identity = take_identity_with(order, &next, "250");
        break;
      case 5:
        s.driver = kDriverHistory;  // announced by the server
        continue;
      default:
        if (value >= 1000) {
          identity = take_identity_number(order, &next, value - 1000);
        } else {
          s.driver = kDriverAutoPilot;
          s.model = "rm125";  // an unknown lineup value: a plain rider
          s.name = "Roborider";
          continue;
        }
        break;
    }
    if (identity < 0) continue;  // the roster is used up
    const RiderIdentity& id = rider_identities()[identity];
    s.driver = kDriverAutoPilot;
    s.identity = identity;
    s.model = bike_alias(id.model);
    s.name = "Roborider";
    s.number = id.number;
    s.rider_texture = id.body_texture ? id.body_texture : "";
    s.bike_texture = id.bike_texture ? id.bike_texture : "";
    s.wheel_texture = id.wheel_texture ? id.wheel_texture : "";
    s.head_texture = id.head_texture ? id.head_texture : "";
  }
}

namespace {

// Where slot t starts: on the track's start positions, rows of them 10 ft apart; without
// them in a line across the middle of the ground.
void grid_spot(int t, double* x, double* z, double* yaw) {
  const std::vector<race::StartingGate>& gates = race::g_track.starting_gates;
  if (gates.empty()) {
    *x = sim::g_terrain.extent / 2 + 5.0 * t;
    *z = sim::g_terrain.extent / 2;
    *yaw = 0;
    return;
  }
  const int count = static_cast<int>(gates.size());
  const race::StartingGate& g = gates[static_cast<std::size_t>(t % count)];
  const double back = (t / count + 0.0625) * 10;
  // Behind is the bike's +z turned by the heading.
  *x = g.x + std::sin(g.yaw) * back;
  *z = g.z + std::cos(g.yaw) * back;
  *yaw = g.yaw;
}

}  // namespace

void place_on_grid(sim::Bike* bike, int slot) {
  double x, z, yaw;
  grid_spot(slot, &x, &z, &yaw);
  const dReal* frame = sim::body_position(bike, sim::kFrame);
  sim::bike_translate(bike, x - frame[0], sim::terrain_height(float(x), float(z)), z - frame[2]);
  sim::bike_rotate_yaw(bike, yaw);
  sim::bike_place(bike);
}

void abort_attempt() {
  if (g_race.local_slot < 0) return;
  sim::Bike* bike = g_race.slots[g_race.local_slot].bike;
  if (!bike) return;
  // The rider starts the lap again from its start position, with no gate passed.
  sim::bike_reset(bike);
  place_on_grid(bike, g_race.local_slot);
  race::set_passed(race::g_timing, g_race.local_slot, 0);
}

void create_bikes() {
  free_bikes();
  g_race.local_slot = -1;
  g_race.held_until = 0;
  for (int t = 0; t < kRiderSlots; ++t) {
    RiderSlot& slot = g_race.slots[t];
    if (!slot.info) continue;
    sim::Bike* bike = sim::bike_create(slot.info, t, slot.number.c_str());
    slot.bike = bike;
    if (slot.driver == kDriverLocal) {
      apply_bike_adjustments(bike, setup_adjustments(g_rider_setup, *slot.info, false));
    } else if (slot.driver == kDriverHistory) {
      make_replayed(bike);
    } else {
      RiderSetup setup = default_rider_setup();
      apply_stability_preset(setup);
      setup.arcade.index = 0;
      apply_bike_adjustments(bike, setup_adjustments(setup, *slot.info, false));
    }
    place_on_grid(bike, t);
    if (slot.driver == kDriverLocal && g_race.local_slot < 0) {
      g_race.local_slot = t;
      const dReal* p = sim::body_position(bike, sim::kFrame);
      for (int i = 0; i < 3; ++i) g_race.start_spot[i] = p[i];
    }
  }
  sync_engine_voices();
}

void save_learned_lines() {
  if (!g_startup.learn_lines || ai::g_lines.file.empty()) return;
  if (!ai::write_lines(ai::g_lines, ai::g_lines.file.c_str())) {
    platform::log("Can't save racing lines to %s\n", ai::g_lines.file.c_str());
  }
}

void load_racing_lines(const std::string& track, int skill) {
  ai::LineLibrary& lib = ai::g_lines;
  ai::lines_reset(lib, race::g_track.first_lap_splits, race::g_track.normal_lap_splits);
  lib.verbose = g_startup.debug_level >= 1;
  const std::string name = ai::lines_file(track, skill);
  if (!ai::read_lines(lib, name.c_str())) {
    platform::log("No racing lines in %s\n", name.c_str());
  }
  // Learning goes back to the file of this skill even when there was none.
  lib.file = name;
  ai::prune_lines(lib);
  ai::plan_lines(lib);
}

void setup_race(const int* lineup, bool playback, bool record_demo, int time_limit_ticks, int laps,
                int robot_skill) {
  g_race.record_demo = record_demo;
  g_race.robot_skill = robot_skill;
  {
    const std::string& directory = playback ? g_race.playback_track : g_settings.track;
    const int listed = find_track(g_tracks, directory);
    g_progress_title = listed >= 0 ? g_tracks.names[static_cast<std::size_t>(listed)] : directory;
  }
  show_progress("Resetting...");
  g_race.random.seed(static_cast<std::uint32_t>(sim::g_sim.tick));
  shuffle_identities(g_race.random, g_race.identity_order);

  show_progress("Remembering lines...");
  save_learned_lines();
  // The last race's demo ends with its last ticks, while its bikes still stand.
  demo_race_end();
  show_progress("Cleaning up...");
  platform::log("Deallocating bikes\n");
  free_bikes();
  for (RiderSlot& slot : g_race.slots) slot = RiderSlot{};
  platform::log("Finished deallocating bikes\n");
  // A demo that cannot be read leaves a race without it.
  playback = demo_setup_playback(playback);

  sim::g_sim.tick = 0;
  g_race.time_limit = time_limit_ticks;
  g_race.laps = laps;
  g_race.start_tick = draw_start_tick(g_race.random);
  g_race.time_trial = lineup == nullptr;
  if (g_race.time_trial) {
    for (int& value : g_race.lineup) value = 0;
    g_race.lineup[0] = 1;
    sim::g_sim.tick = kTimeTrialStartTicks;
  } else if (lineup != g_race.lineup) {
    std::memcpy(g_race.lineup, lineup, sizeof g_race.lineup);
  }
  // The bars stand until the drop; a time trial starts long after it.
  g_race.gate_fall = sim::g_sim.tick < g_race.start_tick ? render::kGateStandingFall : 0;

  const std::string track = playback ? g_race.playback_track : g_settings.track;
  // Models in use are stamped anew below; the sweep at the end frees the others.
  render::model_new_generation();
  const bool new_track = track != g_race.track || !g_race.race_loaded;
  if (new_track) {
    // The ground's drawing tables and textures belong to the terrain that goes.
    render::terrain_render_release();
    race::track_free();
    g_race.track.clear();
    g_race.race_loaded = false;
    race::TrackLoadOptions options;
    options.debug_level = g_startup.debug_level;
    options.render_mode = g_settings.render_texture.index;
    // Only the shader programs draw statues' normal and specular maps.
    options.normal_maps = render::shaders_active();
    const std::string name = "@" + track;
    show_progress("Loading track...");
    if (!race::track_load(name.c_str(), options)) return;
    g_race.track = track;
    data::texture_new_generation();
  }

  show_progress("Analyzing lines...");
  load_racing_lines(track, robot_skill);
  show_progress("Loading bikes...");
  plan_slots(g_race.lineup, g_race.identity_order, playback, g_rider_setup.bike.name(),
             g_race.slots, playback ? &race::g_playback.header.riders : nullptr);
  for (RiderSlot& slot : g_race.slots) {
    if (!slot.model.empty()) slot.info = find_bike_info(slot.model.c_str());
  }
  create_bikes();
  // The camera follows the local rider, else the first rider on the grid.
  int first = -1, local = -1;
  for (int slot = 0; slot < kRiderSlots; ++slot) {
    if (g_race.slots[slot].model.empty()) continue;
    if (first < 0) first = slot;
    if (local < 0 && g_race.slots[slot].driver == kDriverLocal) local = slot;
  }
  g_race.watched = local >= 0 ? local : first >= 0 ? first : 0;
  if (playback) {
    // The race the demo recorded: its length and its gate drop.
    const race::DemoHeader& header = race::g_playback.header;
    g_race.time_limit = header.duration;
    g_race.laps = header.extra_laps;
    g_race.start_tick = header.start_tick;
    g_race.gate_fall = render::kGateStandingFall;
  }
  // The timing: a race by laps, or by time plus laps.
  race::RaceRules rules;
  rules.start_tick = g_race.start_tick;
  rules.duration = g_race.time_limit;
  rules.extra_laps = g_race.laps;
  rules.online = race_online();
  rules.local_slot = g_race.local_slot;
  race::timing_setup(race::g_timing, race::g_track, rules);
  for (int slot = 0; slot < kRiderSlots; ++slot) {
    const RiderSlot& s = g_race.slots[slot];
    if (!s.bike) continue;
    const dReal* p = sim::body_position(s.bike, sim::kFrame);
    const double at[3] = {p[0], p[1], p[2]};
    race::timing_add_bike(race::g_timing, slot,
                          s.driver == kDriverLocal                     ? race::kRiderLocal
                          : rules.online && s.driver == kDriverHistory ? race::kRiderRemote
                                                                       : race::kRiderComputer,
                          at);
  }
  race::g_timing.hooks.pass = [](void*, int slot, int position) {
    ai::lines_on_pass(slot, position);
  };
  race::g_timing.hooks.rollback = [](void*, int slot) { ai::lines_on_rollback(slot); };
  ai::pilots_setup(g_race.random());
  for (int slot = 0; slot < kRiderSlots; ++slot) {
    const RiderSlot& s = g_race.slots[slot];
    if (!s.bike) continue;
    if (s.driver == kDriverAutoPilot) {
      const char* who = s.identity >= 0 ? rider_identities()[s.identity].personality : "kestrel";
      ai::pilot_begin(slot, true, g_startup.practice ? "tester" : who);
    } else if (!rules.online || s.driver == kDriverLocal) {
      // Offline every other bike teaches lines (a replayed demo too); online the local rider.
      ai::pilot_begin(slot, false, nullptr);
    }
  }
  sim::g_racing_line_heading = ai::racing_line_heading;
  demo_setup_finish(record_demo);
  g_race.aids = sim::InputAids{};
  g_race.race_loaded = true;
  render::cameras_race_setup(g_race.slots[g_race.watched].bike);
  // What the race draws is loaded now, so that the sweep keeps it and the first frame loads
  // nothing; what only the last race drew goes.
  if (render::g_gl_caps.probed) {
    update_scene_input(current_view());
    render::scene_preload();
  }
  render::model_release_stale();
  if (new_track) data::texture_sweep();

  platform::log("%d MB texture memory used\n", static_cast<int>(data::texture_memory() >> 20));
  platform::set_working_set();
  platform::log_control("NOFLUSH");
}

}  // namespace shell
