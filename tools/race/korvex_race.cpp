// korvex_race.cpp -- runs a whole race of computer riders without a window, as fast as the
// machine allows, and prints the classification as key=value lines.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ai/lines.h"
#include "race/race.h"
#include "shell/shell.h"

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: korvex-race --track DIR [--riders N] [--laps L] [--minutes M] "
               "[--skill novice|amateur|expert] [--seed S] [--erode E] [--realistic] "
               "[--record FILE] [--learn] [--practice] [--scripted [--pace P[,P...]]] "
               "[--progress]\n"
               "       korvex-race --playback FILE [--progress]\n"
               "       korvex-race --track DIR --time-trial --laps L [--pace P[,P...]] "
               "[--progress]\n");
}

// A whole number in [low, high] from the whole text; false otherwise.
bool whole(const char* text, long low, long high, long& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end || v < low || v > high) return false;
  out = v;
  return true;
}

bool number(const char* text, double low, double high, double& out) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end || !(v >= low && v <= high)) return false;
  out = v;
  return true;
}

struct Options {
  shell::RaceToolOptions race;
  bool progress = false;
};

// Parses the arguments; on a bad one prints what is wrong and returns false.
bool parse(int argc, char** argv, Options& o) {
  bool have_track = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--progress") {
      o.progress = true;
      continue;
    }
    if (a == "--realistic") continue;  // computer riders never ride with arcade physics
    if (a == "--scripted" || a == "--learn" || a == "--practice") {
      (a == "--scripted" ? o.race.scripted
       : a == "--learn"  ? o.race.learn
                         : o.race.practice) = true;
      continue;
    }
    if (a == "--time-trial") {
      o.race.time_trial = true;
      continue;
    }
    if (a != "--track" && a != "--riders" && a != "--laps" && a != "--minutes" && a != "--skill" &&
        a != "--seed" && a != "--erode" && a != "--record" && a != "--playback" && a != "--pace") {
      std::fprintf(stderr, "korvex-race: unknown option '%s'\n", a.c_str());
      return false;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "korvex-race: %s needs a value\n", a.c_str());
      return false;
    }
    const char* v = argv[++i];
    long n = 0;
    double d = 0;
    bool ok = true;
    if (a == "--pace") {
      // One pace per lap, the last for the laps after.
      std::string list = v;
      o.race.paces.clear();
      for (std::size_t at = 0; ok && at <= list.size();) {
        std::size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        ok = number(list.substr(at, comma - at).c_str(), 0.2, 1.5, d);
        o.race.paces.push_back(d);
        at = comma + 1;
      }
    } else if (a == "--record" || a == "--playback") {
      ok = *v != 0;
      (a == "--record" ? o.race.record : o.race.playback) = v;
    } else if (a == "--track") {
      o.race.track = v[0] == '@' ? v + 1 : v;
      have_track = !o.race.track.empty();
    } else if (a == "--riders") {
      ok = whole(v, 1, 40, n);
      o.race.riders = static_cast<int>(n);
    } else if (a == "--laps") {
      ok = whole(v, 0, 50, n);
      o.race.laps = static_cast<int>(n);
    } else if (a == "--minutes") {
      ok = number(v, 0, 60, d);
      o.race.minutes = d;
    } else if (a == "--seed") {
      ok = whole(v, 0, 0x7fffffffL, n);
      o.race.seed = static_cast<unsigned>(n);
    } else if (a == "--erode") {
      ok = number(v, 0, 100, d);
      o.race.erode = d;
    } else if (a == "--skill") {
      const char* names[] = {"novice", "amateur", "expert"};
      ok = false;
      for (int k = 0; k < 3; ++k) {
        if (std::strcmp(v, names[k]) == 0) o.race.skill = k, ok = true;
      }
    }
    if (!ok) {
      std::fprintf(stderr, "korvex-race: bad value '%s' for %s\n", v, a.c_str());
      return false;
    }
  }
  if (!o.race.playback.empty()) {
    if (have_track || o.race.time_trial || !o.race.record.empty()) {
      std::fprintf(stderr, "korvex-race: --playback takes its track and race from the demo\n");
      return false;
    }
    return true;
  }
  if (!have_track) {
    std::fprintf(stderr, "korvex-race: --track is required\n");
    return false;
  }
  if (!o.race.paces.empty() && !o.race.time_trial && !o.race.scripted) {
    std::fprintf(stderr, "korvex-race: --pace is for --time-trial and --scripted\n");
    return false;
  }
  if (o.race.time_trial && (o.race.laps == 0 || !o.race.record.empty())) {
    std::fprintf(stderr, "korvex-race: --time-trial needs --laps and writes its own lap demos\n");
    return false;
  }
  if (o.race.laps == 0 && o.race.minutes <= 0) {
    std::fprintf(stderr, "korvex-race: a race needs --laps or --minutes\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    usage();
    return 2;
  }
  std::string error;
  if (!shell::race_tool_begin(o.race, &error)) {
    std::fprintf(stderr, "korvex-race: %s\n", error.c_str());
    return 2;
  }
  // The racing lines the race loaded: rows with lines, and rows the plan of each type fills.
  const ai::LineLibrary& lines = ai::g_lines;
  int rows_with_lines = 0;
  int planned[ai::kPlanTypes] = {};
  for (std::size_t r = 0; r < lines.rows.size(); ++r) {
    bool any = false;
    for (const ai::LineSlot& slot : lines.rows[r]) any = any || !slot.empty();
    rows_with_lines += any ? 1 : 0;
    for (int type = 0; type < ai::kPlanTypes; ++type) planned[type] += lines.plans[type][r] ? 1 : 0;
  }
  // A race that has not ended after two hours of its own time (riders stuck off the track)
  // is stopped there and reported as unfinished.
  const long limit = 2L * 3600 * 128 + static_cast<long>(o.race.minutes * 60 * 128);
  const auto began = std::chrono::steady_clock::now();
  bool classified = false;
  long ticks = 0;
  // Changes of the running order, counted once a second after the first split: every rider
  // who moved up counts one for each place gained.
  int position_changes = 0;
  std::array<int, race::kTimingSlots> place{};
  bool placed = false;
  for (; ticks < limit && !classified; ++ticks) {
    classified = shell::race_tool_tick();
    const race::Timing& t = race::g_timing;
    if (ticks % 128 == 0 && t.order_length > 1 && t.order[0].passed > 1 && !t.classified) {
      for (int i = 0; i < t.order_length; ++i) {
        const int slot = t.order[static_cast<std::size_t>(i)].slot;
        if (placed && i < place[static_cast<std::size_t>(slot)]) {
          position_changes += place[static_cast<std::size_t>(slot)] - i;
        }
        place[static_cast<std::size_t>(slot)] = i;
      }
      placed = true;
    }
    if (o.progress && ticks % (128 * 60) == 0) {
      const shell::RaceToolProgress p = shell::race_tool_progress();
      const double real =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      std::fprintf(stderr, "lap %d of %d, gate %d, %.0f s raced, %.1fx real time\n", p.leader_lap,
                   p.race_laps, p.leader_gate, p.seconds, real > 0 ? (ticks / 128.0) / real : 0.0);
    }
  }
  const shell::RaceToolProgress p = shell::race_tool_progress();
  if (o.race.time_trial) {
    std::printf("track=%s\ntime_trial=1\nlaps=%d\nfinished=%d\n", p.track.c_str(), o.race.laps,
                classified ? 1 : 0);
    // A lap of 0 s missed a gate: it counts for nothing.
    for (const shell::RaceToolLap& lap : shell::race_tool_laps()) {
      std::printf("lap=%d lap_s=%.3f best_s=%.3f valid=%d fast_lap=%d\n", lap.lap,
                  lap.ticks / 128.0, lap.best_ticks / 128.0, lap.ticks > 0 ? 1 : 0,
                  lap.fast_lap_written ? 1 : 0);
    }
    shell::race_tool_end();
    return classified ? 0 : 1;
  }
  std::printf("track=%s\nriders=%d\nlaps=%d\nminutes=%g\nseed=%u\nfinished=%d\n", p.track.c_str(),
              p.riders, p.race_laps, p.minutes, o.race.seed, classified ? 1 : 0);
  if (!o.race.playback.empty()) std::printf("playback=%s\n", o.race.playback.c_str());
  if (!o.race.record.empty()) std::printf("record=%s\n", o.race.record.c_str());
  std::printf("race_time_s=%.3f\n", p.seconds);
  std::printf("line_rows=%d rows_with_lines=%d plan0_rows=%d plan1_rows=%d plan2_rows=%d\n",
              static_cast<int>(lines.rows.size()), rows_with_lines, planned[0], planned[1],
              planned[2]);
  std::printf("position_changes=%d\n", position_changes);
  for (const shell::RaceToolRider& r : shell::race_tool_classification()) {
    std::printf(
        "rider=%d number=%s bike=%s laps=%d total_s=%.3f best_lap=%d best_lap_s=%.3f "
        "penalty_s=%.2f penalty_laps=%d finished=%d crashes=%d personality=%s missed=%s\n",
        r.position, r.number.c_str(), r.bike.c_str(), r.laps, r.total_s, r.best_lap, r.best_lap_s,
        r.penalty_s, r.penalty_laps, r.finished ? 1 : 0, r.crashes,
        r.personality.empty() ? "-" : r.personality.c_str(), r.missed.c_str());
  }
  shell::race_tool_end();
  return classified ? 0 : 1;
}
