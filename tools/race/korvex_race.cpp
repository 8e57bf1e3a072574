// korvex_race.cpp -- runs a whole race of computer riders without a window, as fast as the
// machine allows, and prints the classification as key=value lines.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/shell.h"

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: korvex-race --track DIR [--riders N] [--laps L] [--minutes M] "
               "[--skill novice|amateur|expert] [--seed S] [--erode E] [--realistic] "
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
    if (a != "--track" && a != "--riders" && a != "--laps" && a != "--minutes" && a != "--skill" &&
        a != "--seed" && a != "--erode") {
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
    if (a == "--track") {
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
  if (!have_track) {
    std::fprintf(stderr, "korvex-race: --track is required\n");
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
  // A race that has not ended after two hours of its own time (riders stuck off the track)
  // is stopped there and reported as unfinished.
  const long limit = 2L * 3600 * 128 + static_cast<long>(o.race.minutes * 60 * 128);
  const auto began = std::chrono::steady_clock::now();
  bool classified = false;
  long ticks = 0;
  for (; ticks < limit && !classified; ++ticks) {
    classified = shell::race_tool_tick();
    if (o.progress && ticks % (128 * 60) == 0) {
      const shell::RaceToolProgress p = shell::race_tool_progress();
      const double real =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      std::fprintf(stderr, "lap %d of %d, gate %d, %.0f s raced, %.1fx real time\n", p.leader_lap,
                   p.race_laps, p.leader_gate, p.seconds, real > 0 ? (ticks / 128.0) / real : 0.0);
    }
  }
  const shell::RaceToolProgress p = shell::race_tool_progress();
  std::printf("track=%s\nriders=%d\nlaps=%d\nminutes=%g\nseed=%u\nfinished=%d\n",
              o.race.track.c_str(), o.race.riders, p.race_laps, o.race.minutes, o.race.seed,
              classified ? 1 : 0);
  std::printf("race_time_s=%.3f\n", p.seconds);
  for (const shell::RaceToolRider& r : shell::race_tool_classification()) {
    std::printf(
        "rider=%d number=%s bike=%s laps=%d total_s=%.3f best_lap=%d best_lap_s=%.3f "
        "penalty_s=%.2f penalty_laps=%d finished=%d\n",
        r.position, r.number.c_str(), r.bike.c_str(), r.laps, r.total_s, r.best_lap, r.best_lap_s,
        r.penalty_s, r.penalty_laps, r.finished ? 1 : 0);
  }
  shell::race_tool_end();
  return classified ? 0 : 1;
}
