// standings_input.h -- the results table, pit board and ticker of the race screen, filled
// from the race before each frame, and the results file at the race's end (private to the
// shell).
#pragma once

namespace shell {

// Fills render::g_standings from the race's timing, the rider slots, the view and the
// display options. Call before render::draw_standings, after update_hud_input.
void update_standings_input(int view);

// Writes "@results.txt" for the race's final classification; call once when
// race::g_timing.classified becomes true.
void write_race_results();

}  // namespace shell
