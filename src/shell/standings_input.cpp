// standings_input.cpp -- the race screen's results, pit board and ticker, copied from the
// race's timing before each frame, and the results file.
#include "shell/standings_input.h"

#include <ctime>

#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"

namespace shell {

namespace {

// Pointers into the slots and the roster, refreshed at every use: a slot's strings live as
// long as the race does.
race::RiderLabels g_labels;

const race::RiderLabels& rider_labels() {
  for (int i = 0; i < kRiderSlots && i < race::kTimingSlots; ++i) {
    const RiderSlot& slot = g_race.slots[i];
    race::RiderLabel& label = g_labels[i];
    label.number = slot.number.c_str();
    label.model = slot.info ? slot.info->name : slot.model.c_str();
    label.name = slot.name.c_str();
  }
  return g_labels;
}

}  // namespace

void update_standings_input(int view) {
  render::StandingsState& s = render::g_standings;
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  if (width > 0 && height > 0) {
    s.window_width = width;
    s.window_height = height;
  }
  s.show_render_stats = g_startup.draw_render_stats != 0;
  // The network client does not measure its ping yet.
  s.show_ping = false;
  if (!g_race.race_loaded) {
    s.table.shown = false;
    s.pit_board.shown = false;
    s.show_ticker = false;
    return;
  }
  const race::RiderLabels& labels = rider_labels();
  race::results_table(race::g_timing, labels, g_race.watched, s.table);
  race::TimeTrialLaps trial;
  trial.active = g_race.time_trial;
  trial.last_ticks = g_race.trial_last_ticks;
  trial.best_ticks = g_race.trial_best_ticks;
  race::pit_board(race::g_timing, labels, g_race.watched, trial, s.pit_board);
  s.show_ticker = view == render::kViewTrackCamera && chosen_track_camera() != 0;
  if (s.show_ticker) race::running_order_ticker(race::g_timing, labels, s.ticker);
  s.ticker_seconds = static_cast<double>(platform::uptime_ms()) / 1000.0;
}

void write_race_results() {
  race::write_results(race::g_timing, rider_labels(), g_race.track.c_str(),
                      static_cast<long>(std::time(nullptr)));
}

}  // namespace shell
