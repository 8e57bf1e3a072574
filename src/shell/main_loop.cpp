// main_loop.cpp -- the frame loop and the tick step: drawing, input, ticks, recording.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "render/render.h"
#include "shell/frame_loop.h"
#include "shell/menus.h"
#include "shell/race_driver.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/standings_input.h"
#include "shell/startup.h"

namespace shell {

namespace {

// Tab cycles the views (set-1 scan code 15).
constexpr unsigned kTabKey = platform::kKeyBase + 15;

struct Loop {
  FrameClock clock;
  ClockSource source{};
  HeldKeys held;
  ResolvedBinding bindings[kBindings];
  float inputs[kControlInputs] = {};
  bool paused = false;
  bool closing = false;
  int capturing = -1;  // the binding the controls menu waits for, or -1
  // The controllers' axes and where they rested when the wait began.
  struct CaptureAxis {
    std::string name;
    platform::Axis axis;
    int rest = 0;
  };
  std::vector<CaptureAxis> capture_axes;
  bool console_open = false;  // keys go to the chat and command line while it is open
  int view = render::kViewNoRace;
  int track_camera = 0;      // the digit keys' choice: 1..9 a track camera, 0 the free camera
  int next_screenshot = -1;  // found on the first shot
  std::vector<unsigned char> frame;
  // The mouse cursor's axes, read each frame; a move while a page is open goes to the menu.
  platform::Axis cursor_x, cursor_y;
  bool cursor_open = false;
  int last_cursor_x = -1, last_cursor_y = -1;
};

Loop g_loop;

// The game's wall clock is the event clock, so that a tick's wall moment
// compares directly with the stamps of the events it takes.
double event_clock_now() { return static_cast<double>(platform::event_clock_ms()) / 1000.0; }

void sleep_seconds(double seconds) { system_clock().sleep(seconds); }

// The highest n of "screenshotNNN..." among the data names, or 0.
int highest_screenshot() {
  int highest = 0;
  for (const char* const* name = data::data_names(); *name; ++name) {
    if (std::strncmp(*name, "screenshot", 10) != 0) continue;
    const char* digits = *name + 10;
    if (*digits < '0' || *digits > '9') continue;
    const long n = std::strtol(digits, nullptr, 10);
    if (n > highest && n < 1000000) highest = static_cast<int>(n);
  }
  return highest;
}

void take_screenshot() {
  if (g_loop.view == render::kViewEditor) return;
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  if (width <= 0 || height <= 0) return;
  if (g_loop.next_screenshot < 0) g_loop.next_screenshot = highest_screenshot() + 1;
  render::read_frame_rgb(width, height, g_loop.frame);
  char name[64];
  std::snprintf(name, sizeof name, "@screenshot%03d.png", g_loop.next_screenshot);
  if (data::write_png(name, g_loop.frame.data(), width, height, 3, true)) {
    platform::messagef("Saved \"%s\"", name + 1);
  } else {
    platform::messagef("Can't save \"%s\"", name + 1);
  }
  ++g_loop.next_screenshot;
}

// Writes the drawn frame to standard output as a binary PPM, bottom row first.
void record_video_frame() {
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  if (width <= 0 || height <= 0) return;
  render::read_frame_rgb(width, height, g_loop.frame);
  std::fprintf(stdout, "P6\n%d %d\n255\n", width, height);
  std::fwrite(g_loop.frame.data(), 1, g_loop.frame.size(), stdout);
  std::fflush(stdout);
}

// Appends one tick of the recording device's samples to the audio file.
void record_audio_tick() {
  if (!g_startup.record_audio_out) return;
  platform::AudioDevice* device = platform::audio_device();
  if (!device || !device->ops || !device->ops->mix) return;
  const std::int16_t* samples = device->ops->mix(device);
  if (!samples) return;
  std::fwrite(samples, sizeof(std::int16_t), kRecordAudioValuesPerTick, g_startup.record_audio_out);
}

// Set-1 scan codes of Esc and Enter.
constexpr unsigned kEscKey = platform::kKeyBase + 1;
constexpr unsigned kEnterKey = platform::kKeyBase + 28;
// Set-1 scan codes of the digit keys 1..9 and 0 (2..11).
constexpr unsigned kDigitOne = platform::kKeyBase + 2;
constexpr unsigned kDigitZero = platform::kKeyBase + 11;

bool is_binding(int index, unsigned code) {
  return code != 0 && g_loop.bindings[index].code == code;
}

// One pressed key or button, as the tick step acts on it.
void end_binding_capture() {
  for (Loop::CaptureAxis& c : g_loop.capture_axes) platform::close_axis(&c.axis);
  g_loop.capture_axes.clear();
  g_loop.capturing = -1;
}

// While the controls menu waits: an axis moved more than half way from where it rested
// becomes the binding, its range the side it moved to.
void capture_moved_axis() {
  for (Loop::CaptureAxis& c : g_loop.capture_axes) {
    const int moved = platform::read_axis(c.axis) - c.rest;
    if (std::abs(moved) <= 16384) continue;
    Binding& binding = g_settings.bindings[g_loop.capturing];
    binding.key.clear();
    binding.axis = c.name;
    binding.a = moved > 0 ? 0.0625 : -0.0625;
    binding.b = moved > 0 ? 0.9375 : -0.9375;
    end_binding_capture();
    resolve_bindings(g_settings, g_loop.bindings);
    return;
  }
}

void act_on_press(unsigned code) {
  // The controls menu waiting for a binding takes the next key; Esc gives up waiting.
  if (g_loop.capturing >= 0) {
    if (code != kEscKey) {
      if (const char* name = platform::name_for_code(code)) {
        Binding& binding = g_settings.bindings[g_loop.capturing];
        binding.key = name;
        binding.axis.clear();
        resolve_bindings(g_settings, g_loop.bindings);
      }
    }
    end_binding_capture();
    return;
  }
  // Esc closes what is open, else opens the main menu; an open menu or the chat line takes
  // every other key (the menus and the command line act on them as they land).
  if (code == kEscKey) {
    if (g_loop.console_open) {
      g_loop.console_open = false;
    } else {
      menu_show(g_menu.page == kPageNone ? kPageMain : kPageNone);
    }
    return;
  }
  if (g_menu.page != kPageNone) {
    // The screenshot key works over the menus too, unless it is typing into a text item.
    if (is_binding(kScreenshotKey, code) && !menu_typing()) {
      take_screenshot();
    } else {
      menu_press(code);
      if (g_menu.exit_confirmed) g_loop.closing = true;
    }
    return;
  }
  if (g_loop.console_open) {
    if (code == kEnterKey) g_loop.console_open = false;
    return;
  }
  if (is_binding(kConsoleKey, code) && g_loop.view != render::kViewEditor) {
    g_loop.console_open = true;
  } else if (is_binding(kPauseKey, code)) {
    g_loop.paused = !g_loop.paused;
  } else if (is_binding(kStepKey, code)) {
    if (g_loop.paused && g_race.race_loaded) race_tick();
  } else if (is_binding(kRewindKey, code)) {
    skip_rewind(-1);
  } else if (is_binding(kSkipKey, code)) {
    skip_rewind(1);
  } else if (is_binding(kScreenshotKey, code)) {
    take_screenshot();
  } else if (is_binding(kPrevKey, code)) {
    g_race.watched = neighbour_in_order(-1);
  } else if (is_binding(kNextKey, code)) {
    g_race.watched = neighbour_in_order(1);
  } else if (code >= kDigitOne && code <= kDigitZero) {
    // 1..9 pick a track camera (the cameras clamp a number past their count), 0 the free one.
    g_loop.track_camera = code == kDigitZero ? 0 : static_cast<int>(code - kDigitOne) + 1;
    render::select_track_camera(g_loop.track_camera);
  } else if (code == kTabKey && g_loop.view != render::kViewNoRace) {
    switch (g_loop.view) {
      case render::kViewRider:
        g_loop.view = g_startup.editor_allowed ? render::kViewEditor : render::kViewChase;
        break;
      case render::kViewChase:
        g_loop.view = render::kViewTrackCamera;
        break;
      case render::kViewTrackCamera:
        g_loop.view = render::kViewRider;
        break;
      case render::kViewEditor:
        g_loop.view = render::kViewChase;
        break;
      default:
        break;
    }
  }
}

}  // namespace

void tick_step(double wall_moment) {
  const double whole = std::floor(wall_moment);
  const unsigned seconds = wall_moment > 0 ? static_cast<unsigned>(whole) : 0;
  const unsigned microseconds =
      wall_moment > 0 ? static_cast<unsigned>((wall_moment - whole) * 1e6) : 0;
  platform::Event event;
  while (platform::next_event_until(&event, seconds, microseconds)) {
    if (event.code == platform::kCloseRequest) {
      g_loop.closing = true;
      continue;
    }
    if (event.pressed) {
      g_loop.held.press(event.code);
      act_on_press(event.code);
    } else {
      g_loop.held.release(event.code);
    }
  }
  if (g_loop.capturing >= 0) capture_moved_axis();
  menu_tick(g_loop.clock.total);
  gather_control_inputs(g_loop.bindings, g_loop.held, platform::read_axis, g_loop.inputs);
  if (g_race.time_trial && g_race.race_loaded && g_loop.inputs[kInputBackUp] > 0.5f &&
      g_settings.time_trial_abort.name() == "Yes") {
    abort_attempt();
  }
  hand_over_controls(g_loop.inputs);
  // A network race never pauses.
  if (!g_startup.server_address.empty()) g_loop.paused = false;
  network_exchange();
  if (!g_loop.paused && g_race.race_loaded) {
    race_tick();
    record_audio_tick();
  }
}

namespace {

void choose_view() {
  if (!g_race.race_loaded) {
    g_loop.view = render::kViewNoRace;
    return;
  }
  if (g_loop.view == render::kViewNoRace) g_loop.view = render::kViewRider;
  const RiderSlot& watched = g_race.slots[g_race.watched];
  if (!watched.bike) {
    g_loop.view = render::kViewTrackCamera;
  } else if (watched.driver == kDriverLocal && g_loop.view != render::kViewRider &&
             g_loop.view != render::kViewChase && g_loop.view != render::kViewEditor) {
    g_loop.view = render::kViewRider;
  }
}

}  // namespace

void network_exchange() {
  // Nothing to exchange without a connection; the multiplayer client fills this in.
}

void draw_frame_texts() {
  if (g_loop.paused && g_startup.show_pause_text) render::draw_screen_line("Paused", 0.5f, 0.08f);
}

namespace {

// The page over the frame, when one is open.
void draw_menus() {
  if (g_menu.page == kPageNone) {
    // Until the player has found the menus, say where they are when nobody of theirs rides.
    if (!g_menu.ever_shown && g_race.local_slot < 0) {
      render::draw_screen_line("Press Esc for the menu", 0.12f, 0.05f);
    }
    return;
  }
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  if (width <= 0 || height <= 0) return;
  render::draw_menu(menu_view(g_loop.clock.total), width, height);
}

// The cursor's position each frame; a move while a page is open shows the pointer there.
void read_cursor() {
  if (!g_loop.cursor_open) {
    g_loop.cursor_open = platform::open_axis("cursor-x", &g_loop.cursor_x) &&
                         platform::open_axis("cursor-y", &g_loop.cursor_y);
    if (!g_loop.cursor_open) return;
  }
  const int x = platform::read_axis(g_loop.cursor_x), y = platform::read_axis(g_loop.cursor_y);
  const bool moved =
      g_loop.last_cursor_x >= 0 && (x != g_loop.last_cursor_x || y != g_loop.last_cursor_y);
  g_loop.last_cursor_x = x;
  g_loop.last_cursor_y = y;
  if (!moved || g_menu.page == kPageNone) return;
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  menu_pointer(static_cast<float>(x), static_cast<float>(y), width, height);
}

}  // namespace

const float* control_inputs() { return g_loop.inputs; }

int current_view() { return g_loop.view; }

bool menu_open() { return g_menu.page != kPageNone; }

void begin_binding_capture(int binding) {
  end_binding_capture();
  if (binding < 0 || binding >= kBindings) return;
  g_loop.capturing = binding;
  for (const std::string& name : platform::controller_axis_names()) {
    Loop::CaptureAxis c;
    c.name = name;
    if (!platform::open_axis(name.c_str(), &c.axis)) continue;
    c.rest = platform::read_axis(c.axis);
    g_loop.capture_axes.push_back(c);
  }
}

bool capturing_binding() { return g_loop.capturing >= 0; }

bool console_open() { return g_loop.console_open; }

double engine_sound_master(bool paused, bool editor, bool menu, bool watched_is_local) {
  if (!paused && !editor && !menu) return 1;
  if (menu && !watched_is_local) return 0.25;
  return 0;
}

double engine_voice_volume(double master, double volume, double competitor_volume, bool watched,
                           bool stale_history) {
  if (stale_history) return 0;
  double v = master * volume * 0.1;
  if (!watched) v *= competitor_volume * 0.1;
  return v;
}

void rotate_lineup(int lineup[kRiderSlots]) {
  const int last = lineup[kRiderSlots - 1];
  for (int i = kRiderSlots - 1; i > 0; --i) lineup[i] = lineup[i - 1];
  lineup[0] = last;
}

int chosen_track_camera() { return g_loop.track_camera; }

void choose_track_camera(int camera) {
  g_loop.track_camera = camera;
  render::select_track_camera(camera);
}

void draw_race_standings(int view) {
  update_standings_input(view);
  render::draw_standings();
}

bool game_paused() { return g_loop.paused; }

void main_loop_begin() {
  g_loop.source = ClockSource{event_clock_now, sleep_seconds};
  resolve_bindings(g_settings, g_loop.bindings);
}

int main_loop() {
  main_loop_begin();
  for (;;) {
    choose_view();
    if (g_loop.view == render::kViewRider || g_loop.view == render::kViewChase ||
        g_loop.view == render::kViewTrackCamera) {
      // "--fugly" clears colour as well; the scene clears depth itself.
      if (g_startup.fugly) render::draw_frame(g_loop.view, true);
      camera_draw_view(g_loop.view);
    } else {
      render::draw_frame(g_loop.view, g_startup.fugly);
    }
    // The riding HUD gives way to an open menu, which shows the message lines itself.
    if (g_startup.show_hud && g_menu.page == kPageNone) {
      update_hud_input();
      render::draw_hud();
      draw_race_standings(g_loop.view);
    }
    draw_frame_texts();
    draw_menus();
    if (g_startup.record_video && !g_loop.paused) record_video_frame();
    if (g_startup.gl_finish) render::finish();
    platform::swap_window();
    if (g_loop.closing) break;
    render_engine_voices(g_loop.paused, g_loop.view == render::kViewEditor);

    frame_advance(g_loop.clock, g_loop.source, g_startup.warp, g_startup.lock_fps, CatchUp{});
    platform::set_game_time(g_loop.clock.total);
    read_cursor();
    run_ticks(g_loop.clock, [](double moment) { tick_step(moment); });
    if (g_loop.view != render::kViewNoRace) render::terrain_refresh_slice();
    // Warp mode races one race after another, the lineup rotated by a slot each time.
    if (g_startup.warp && g_race.race_loaded && g_race.laps > 0 &&
        leader_completed_laps() >= g_race.laps) {
      rotate_lineup(g_race.lineup);
      setup_race(g_race.lineup, false, g_race.record_demo, g_race.time_limit, g_race.laps,
                 g_race.robot_skill);
    }
    platform::messages_update();
    // With nothing in the queue to stamp a tick, a close still ends the loop.
    if (g_loop.closing) break;
  }
  shutdown();
  return 0;
}

}  // namespace shell
