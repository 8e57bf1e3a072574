// startup.cpp -- the program's entry: the start-up steps in their fixed order.
#include <time.h>  // nanosleep

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/frame_loop.h"
#include "shell/race_driver.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"
#include "shell/track_list.h"
#include "sim/sim.h"

namespace shell {

StartupState g_startup;

namespace {

// Polls of the window, 1/16 s apart, before start-up gives up on it (~10 s).
constexpr int kWindowReadyPolls = 162;

// The stock collision shapes, in the order their contents are digested.
constexpr const char* kStockShapes[] = {
    "@generic_frame.shp",    "@generic_fork_upper.shp", "@generic_fork_lower.shp",
    "@generic_swingarm.shp", "@front_wheel.shp",        "@rear_wheel.shp",
    "@generic_rider.shp",
};

struct VideoModeChoice {
  std::string name;
  int width = 0;
  int height = 0;
};

std::vector<VideoModeChoice> g_video_modes;

void build_video_modes() {
  g_video_modes.clear();
  g_video_modes.push_back({"Default Fullscreen", 0, 0});
  g_video_modes.push_back({"Windowed", 0, 0});
  const std::vector<platform::DisplayMode> modes = platform::display_modes();
  for (const platform::DisplayMode& mode : modes) {
    if (mode.bits_per_pixel != modes.front().bits_per_pixel) continue;
    g_video_modes.push_back(
        {std::to_string(mode.width) + "x" + std::to_string(mode.height), mode.width, mode.height});
  }
}

// The renderer's working values from the settings just read.
void derive_render_values(const Settings& settings, StartupState& state) {
  auto level = [](double setting) {
    const int value = 10 - static_cast<int>(setting);
    return value < 0 ? 0 : value > 10 ? 10 : value;
  };
  state.terrain_texture_detail = level(settings.ground_texture_detail.value);
  state.model_texture_detail = level(settings.model_texture_detail.value);
  state.ground_texture_size = 32 << settings.ground_texture_dim.index;
  state.roost_frequency = static_cast<int>(std::lround(settings.roost_density.value));
}

void sleep_sixteenth() {
  timespec wait{0, 62500000};
  nanosleep(&wait, nullptr);
}

}  // namespace

std::string stock_shapes_digest() {
  platform::Sha1 sha;
  platform::sha1_begin(sha);
  unsigned char block[1024];
  for (const char* name : kStockShapes) {
    data::DataStream* shape = data::open_data(name, "rb");
    if (!shape) continue;  // a missing shape contributes nothing
    while (std::size_t got = data::ds_read(shape, block, sizeof block))
      platform::sha1_add(sha, block, got);
    data::close_data(shape);
  }
  char hex[41];
  platform::sha1_finish_hex(sha, hex);
  return hex;
}

namespace {

// Fresh start-up state, default settings and no messages. From here on a failed
// allocation anywhere ends the program through the out-of-memory sequence.
void reset_startup_state() {
  platform::install_out_of_memory_handler();
  g_startup = StartupState{};
  g_settings = default_settings();
  platform::messages_clear();
}

// Opens the log in the per-user folder and looks for the game data pack; false (after the
// error box) when it is missing.
bool open_log_and_find_game_data(const platform::BuildDigests& digests) {
  if (data::open_startup_log_and_check_data(digests.game_data_sha1)) return true;
  platform::fatal_box("Problem starting Korvex", "Can't find game data\n");
  return false;
}

// The video-mode setting offers the display's modes after "Default Fullscreen" and
// "Windowed".
void offer_video_modes() {
  build_video_modes();
  for (std::size_t i = 2; i < g_video_modes.size(); ++i) {
    g_settings.video_mode.names.push_back(g_video_modes[i].name);
  }
}

void check_cpu() {
  g_startup.mmx = platform::cpu_has_mmx();
  if (!g_startup.mmx) platform::log("This CPU does not have MMX!\n");
}

// Parses the command line over the settings (a server address drops the start track
// there). Returns -1 to go on, else the status the program ends with.
int apply_command_line(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  const ParseResult parsed = parse_command_line(args, g_startup, g_settings);
  if (!parsed.error_text.empty()) {
    std::fputs(parsed.error_text.c_str(), stderr);
    std::fflush(stderr);
  }
  if (parsed.open_home) {
    if (!data::open_home_folder()) {
      std::fprintf(stderr, "Can't open %s in a file browser (is xdg-open installed?)\n",
                   data::user_folder());
    }
    return 0;
  }
  return parsed.stop ? parsed.status : -1;
}

// What the texture cache and the renderer need of the settings and the command line.
void hand_settings_to_renderer() {
  data::g_texture_settings.model_detail = g_startup.model_texture_detail;
  data::g_texture_settings.compression = g_settings.texture_compress.index;
  data::g_texture_settings.debug_level = g_startup.debug_level;
  render::g_render_settings.use_shaders = g_settings.use_shader.index == 1;
  render::g_render_settings.vertex_arrays = !g_startup.no_vertex_arrays;
  render::g_render_settings.lod_scale = g_startup.lod_scale;
  render::g_render_settings.lod_bias = g_startup.lod_bias;
  render::g_render_settings.debug_level = g_startup.debug_level;
  apply_render_settings();
}

// The track and demo lists, the series, and the chosen track: the command line's when it
// is installed, else the configuration's. False when no track is installed.
bool list_tracks_and_demos() {
  g_tracks = build_track_list(g_startup.debug_level);
  if (g_tracks.directories.empty()) {
    std::fputs("No tracks found\n", stderr);
    return false;
  }
  g_demos = build_demo_list(g_startup.debug_level);
  race::read_series_list();
  const std::string& wanted =
      g_startup.start_track.empty() ? g_settings.track : g_startup.start_track;
  if (find_track(g_tracks, wanted) >= 0) {
    g_settings.track = wanted;
    g_settings.track_index = find_track(g_tracks, wanted);
  }
  return true;
}

// The window's size and kind from "Video Mode": 0 x 0 full screen is the desktop's size.
void chosen_window_mode(int* width, int* height, bool* fullscreen) {
  const bool windowed = g_settings.video_mode.index == 1;
  *fullscreen = !windowed;
  *width = g_settings.xres;
  *height = g_settings.yres;
  if (!windowed) {
    const int mode = g_settings.video_mode.index;
    const bool known = mode >= 0 && mode < static_cast<int>(g_video_modes.size());
    *width = known ? g_video_modes[mode].width : 0;
    *height = known ? g_video_modes[mode].height : 0;
  }
}

// A window of the configured size, or full screen in the chosen display mode.
bool open_window() {
  int width = 0, height = 0;
  bool fullscreen = false;
  chosen_window_mode(&width, &height, &fullscreen);
  return platform::create_window("Korvex", width, height, g_startup.colour_depth,
                                 g_startup.depth_buffer_depth, fullscreen);
}

// Sound to the recording file ("--record-audio"), else to the sound card unless
// "--nosound".
void open_audio() {
  if (!g_startup.record_audio_file.empty()) {
    g_startup.record_audio_out = std::fopen(g_startup.record_audio_file.c_str(), "wb");
    if (!g_startup.record_audio_out) {
      platform::messagef("Can't create '%.150s'", g_startup.record_audio_file.c_str());
    } else {
      platform::open_recording_audio(kRecordAudioRate, kRecordAudioValuesPerTick);
    }
  } else if (!g_startup.sound_disabled) {
    platform::open_audio_output();
  }
}

// Waits (about 10 s at most) until the window can be drawn in.
bool wait_for_window() {
  for (int poll = 0; poll < kWindowReadyPolls; ++poll) {
    if (platform::window_ready()) return true;
    sleep_sixteenth();
  }
  return false;
}

void load_hud_textures_and_fonts() {
  for (const char* hud : {"!@tach.png", "!@shifter.png", "!@pitboard.png", "!@title.png"}) {
    data::texture_load(hud);
  }
  render::fonts_load();
}

// The first race: the demo's when "--playback" names one that reads, else a computer
// rider on the command line's track (none: the main loop starts without a race).
void start_first_race() {
  std::string start_track = g_startup.start_track;
  bool playback = false;
  if (!g_startup.playback_file.empty()) {
    std::string demo_track;
    if (race::read_demo(g_startup.playback_file.c_str(), demo_track)) {
      playback = true;
      start_track = demo_track;
      g_race.playback_track = demo_track;
      g_race.playback_file = g_startup.playback_file;
    }
  }
  reset_rider_slots();
  if (!playback) g_race.lineup[0] = 2;
  if (!start_track.empty()) {
    setup_race(g_race.lineup, playback, false, 0, 1000, g_settings.skill.index);
  }
}

}  // namespace

// Standard output may carry raw video frames ("--record-video"); on Linux it is binary
// already, so start-up leaves it as it is.
bool switch_video_mode() {
  int width = 0, height = 0;
  bool fullscreen = false;
  chosen_window_mode(&width, &height, &fullscreen);
  if (platform::set_window_mode(width, height, fullscreen)) return true;
  platform::messagef("Can't switch video mode: %.100s", platform::last_platform_error());
  return false;
}

int korvex_main(int argc, char** argv, const platform::BuildDigests& digests) {
  reset_startup_state();
  if (!open_log_and_find_game_data(digests)) return 0;
  // Online races need the released stock collision shapes.
  g_startup.stock_shapes = stock_shapes_digest() == digests.stock_shapes_sha1;
  offer_video_modes();
  check_cpu();
  settings_startup();
  derive_render_values(g_settings, g_startup);
  if (const int status = apply_command_line(argc, argv); status >= 0) return status;
  hand_settings_to_renderer();
  if (!list_tracks_and_demos()) return 1;
  if (!open_window()) return 1;
  open_audio();
  if (!wait_for_window()) {
    shutdown();
    return 0;
  }
  render::gl_startup(g_startup.fugly);
  load_hud_textures_and_fonts();
  sim::create_world();
  start_first_race();
  return main_loop();
}

}  // namespace shell
