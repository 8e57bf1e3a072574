// race.h -- the race: track files, timing, state history and demos, results, series.
#pragma once

#include <string>

namespace race {

// Reads the list of points series from the data names.
void read_series_list();

// Reads a demo file for playback; on success stores the demo's track
// directory in `track` and returns true.
bool read_demo(const char* file, std::string& track);

}  // namespace race
