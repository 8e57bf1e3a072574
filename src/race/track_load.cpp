// track_load.cpp -- track_load and track_free: a whole track folder into g_track.
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/track_internal.h"

namespace race {

Track g_track;

namespace {

// Runs a reader over a track file; a missing file is read as none.
template <class Reader>
void read_track_file(const char* track_dir, const char* name, Reader reader) {
  data::DataStream* stream = data::open_data(track_file(track_dir, name).c_str(), "rb");
  reader(stream);
  if (stream) data::close_data(stream);
}

void log_texture_memory(int debug_level, const char* after) {
  if (debug_level >= 1) {
    platform::log("%lu bytes texture memory used after %s creation\n",
                  static_cast<unsigned long>(data::texture_memory()), after);
  }
}

// The track map is drawn from map.png; the size tells the HUD whether there is one.
void find_map(Track& track, const char* track_dir) {
  const std::string name = track_file(track_dir, "map.png");
  int width = 0, height = 0;
  const unsigned char* pixels = nullptr;
  if (data::image_load(name.c_str(), &width, &height, &pixels)) {
    track.map_texture = name;
    track.map_width = width;
    track.map_height = height;
  }
}

}  // namespace

bool track_load(const char* track_dir, const TrackLoadOptions& options) {
  Track& track = g_track;
  track = Track{};
  if (options.show_status) options.show_status("Loading track...");
  if (options.debug_level >= 1) platform::log("Loading '%s'\n", track_dir);

  read_track_file(track_dir, "lighting",
                  [&](data::DataStream* s) { read_lighting(s, track.lighting); });
  if (!sim::terrain_load(track_dir, options.render_mode, options.debug_level)) {
    track.name.clear();
    return false;
  }
  track.name = track_dir;
  if (track.lighting.sun_vector_given) {
    sim::g_terrain.light.sun_direction = track.lighting.sun_vector;
  }
  log_texture_memory(options.debug_level, "hf");

  read_track_file(track_dir, "timing_gates", [&](data::DataStream* s) {
    if (s) read_timing_gates(s, track, options);
  });
  // The ground effects' particle pool: at the origin, size 1, no texture until one is thrown.
  track.billboards.resize(kPoolBillboards);
  track.billboard_render.resize(kPoolBillboards);
  read_track_file(track_dir, "flaggers", [&](data::DataStream* s) { read_flaggers(s, track); });
  log_texture_memory(options.debug_level, "flagger");
  read_track_file(track_dir, "billboards", [&](data::DataStream* s) { read_billboards(s, track); });
  log_texture_memory(options.debug_level, "billboard");
  read_track_file(track_dir, "statues",
                  [&](data::DataStream* s) { read_statues(s, track, options); });
  log_texture_memory(options.debug_level, "statue");
  find_map(track, track_dir);
  statue_grid_rebuild(track, sim::g_terrain.extent);
  track.digest = compute_track_digest(track_dir, track.statues);
  read_track_file(track_dir, "cameras",
                  [&](data::DataStream* s) { read_cameras(s, track, options); });
  return true;
}

void track_free() {
  platform::log("Deallocating track\n");
  g_track = Track{};
  sim::terrain_free();
  platform::log("Finished deallocating track\n");
}

}  // namespace race
