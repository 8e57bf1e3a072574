// results.cpp -- the results file, the results table, the pit board and the running-order
// ticker, all read from the timing.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "data/data.h"
#include "race/race.h"
#include "sim/sim.h"

namespace race {

namespace {

constexpr int kTicks = sim::kTicksPerSecond;
// Riders ahead in the order that come through the viewed rider's last gate this soon after
// it are named on the pit board.
constexpr int kClosingTicks = 3 * kTicks;

double seconds_of(int ticks) { return ticks * sim::kTickSeconds; }

const char* text_or_empty(const char* text) { return text ? text : ""; }

bool timed(const Timing& t) {
  return t.track && t.track->first_lap_length > 0 && t.track->normal_lap_length > 0;
}

// Taking part in the field: everybody but a spectator's own slot online.
bool racing(const Timing& t, int slot) {
  return !(t.rules.online && t.rules.spectator && slot == t.rules.local_slot);
}

// The tick of a rider's last recorded pass; -1 with none.
int last_pass(const Timing& t, int slot) {
  const int passed = t.bikes[slot].passed;
  return passed > 0 ? pass_tick(t, slot, passed - 1) : -1;
}

bool is_lap_end(const Timing& t, int k) {
  const int f = t.track->first_lap_length;
  return k >= f - 1 && (k - (f - 1)) % t.track->normal_lap_length == 0;
}

// Appends to a text buffer as far as it goes; false when the text did not fit whole.
template <typename... Args>
bool append(char* out, std::size_t size, const char* format, Args... args) {
  const std::size_t used = std::strlen(out);
  if (used >= size) return false;
  const int n = std::snprintf(out + used, size - used, format, args...);
  return n >= 0 && static_cast<std::size_t>(n) < size - used;
}

}  // namespace

ClockTime clock_time(double seconds) {
  const long ms = seconds > 0 ? static_cast<long>(seconds * 1000) : 0;
  ClockTime t;
  t.minutes = static_cast<int>(ms / 60000);
  t.seconds = static_cast<int>(ms / 1000 - t.minutes * 60L);
  t.ms = static_cast<int>(ms % 1000);
  return t;
}

void format_time(char* out, std::size_t size, double seconds) {
  const ClockTime t = clock_time(seconds);
  std::snprintf(out, size, "%d:%02d.%03d", t.minutes, t.seconds, t.ms);
}

void format_time_short(char* out, std::size_t size, double seconds) {
  const ClockTime t = clock_time(seconds);
  std::snprintf(out, size, "%d:%02d.%d", t.minutes, t.seconds, t.ms / 100);
}

void race_length_text(const RaceRules& rules, char* out, std::size_t size) {
  if (rules.duration > 0) {
    const int minutes = static_cast<int>(seconds_of(rules.duration) / 60 + 0.5);
    if (rules.extra_laps > 0) {
      std::snprintf(out, size, "%d minutes + %d laps", minutes, rules.extra_laps);
    } else {
      std::snprintf(out, size, "%d minutes", minutes);
    }
  } else {
    std::snprintf(out, size, "%d laps", rules.extra_laps);
  }
}

int laps_from_passed(const Timing& timing, int passed) {
  if (!timed(timing)) return 0;
  const int f = timing.track->first_lap_length;
  return passed < f ? 0 : (passed - f) / timing.track->normal_lap_length + 1;
}

int gap_ticks(const Timing& timing, const OrderEntry& rider, const OrderEntry& other) {
  int own = rider.last_tick, theirs = other.last_tick;
  if (rider.passed != other.passed) {
    const int common = std::min(rider.passed, other.passed) - 1;
    own = pass_tick(timing, rider.slot, common);
    theirs = pass_tick(timing, other.slot, common);
  }
  if (own < 1 || theirs < 1) return 0;
  return std::max(own - theirs, 0);
}

bool write_results(const Timing& timing, const RiderLabels& labels, const char* track_dir,
                   long calendar_seconds) {
  if (!timing.classified || timing.classification_length == 0 ||
      !timing.bikes[timing.classification[0].slot].finished) {
    return false;
  }
  data::DataStream* out = data::open_data("@results.txt", "wb");
  if (!out) return false;
  const RaceRules& rules = timing.rules;
  data::ds_printf(out, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", seconds_of(rules.duration),
                  rules.extra_laps, text_or_empty(track_dir), calendar_seconds);
  data::ds_printf(out, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps",
                  "Total Time", "BLap", "Best Time");
  const auto finished = [&](int i) { return timing.bikes[timing.classification[i].slot].finished; };
  for (int i = 0; i < timing.classification_length; ++i) {
    if (!finished(i)) continue;
    const OrderEntry& entry = timing.classification[i];
    const RiderLabel& label = labels[entry.slot];
    const ClockTime total = clock_time(seconds_of(entry.last_tick - rules.start_tick));
    data::ds_printf(out, "%4s | %12s | %4d | %3d:%02d.%03d | ", text_or_empty(label.number),
                    text_or_empty(label.model), laps_from_passed(timing, entry.passed),
                    total.minutes, total.seconds, total.ms);
    const BestLap best = best_lap(timing, entry.slot);
    const ClockTime best_time = clock_time(seconds_of(best.ticks));
    data::ds_printf(out, "%4d | %3d:%02d.%03d\r\n", best.lap, best_time.minutes, best_time.seconds,
                    best_time.ms);
  }
  // Every pass of every finisher, a lap to a line.
  for (int i = 0; i < timing.classification_length; ++i) {
    if (!finished(i)) continue;
    const int slot = timing.classification[i].slot;
    const int passed = timing.bikes[slot].passed;
    data::ds_printf(out, "\r\n%d\r\n", passed);
    for (int k = 0; k < passed; ++k) {
      const int tick = pass_tick(timing, slot, k);
      if (tick == -1) {
        data::ds_printf(out, "%8d", -1);
      } else {
        data::ds_printf(out, "%8.3f", seconds_of(tick - rules.start_tick));
      }
      const bool lap_goes_on = k + 1 < passed && !(timed(timing) && is_lap_end(timing, k));
      data::ds_puts(out, lap_goes_on ? " " : "\r\n");
    }
  }
  data::close_data(out);
  return true;
}

void results_table(const Timing& timing, const RiderLabels& labels, int viewed_slot,
                   ResultsTable& table) {
  const bool final = timing.classified;
  const OrderEntry* list = final ? timing.classification.data() : timing.order.data();
  const int length = final ? timing.classification_length : timing.order_length;
  table.classified = final;
  table.row_count = 0;
  table.penalty_count = 0;
  table.total[0] = '\0';
  table.shown = length > 0 && timing.bikes[list[0].slot].finished;
  std::snprintf(table.title, sizeof table.title, "%s",
                final ? "Final Results" : "Unofficial Results");
  if (!table.shown) return;

  for (int i = 0; i < length; ++i) {
    const OrderEntry& entry = list[i];
    if (!final && !timing.bikes[entry.slot].finished) continue;
    ResultsRow& row = table.rows[table.row_count++];
    row.viewed = entry.slot == viewed_slot;
    std::snprintf(row.position, sizeof row.position, "%d", i + 1);
    std::snprintf(row.number, sizeof row.number, "%3s", text_or_empty(labels[entry.slot].number));
    std::snprintf(row.laps, sizeof row.laps, "L%d", laps_from_passed(timing, entry.passed));
    // The first row compares with the second, which is behind it: 0.
    const int other = i == 0 ? 1 : i - 1;
    const int gap = other < length ? gap_ticks(timing, entry, list[other]) : 0;
    std::snprintf(row.gap, sizeof row.gap, "%7.3f", seconds_of(gap));
    const BestLap best = best_lap(timing, entry.slot);
    row.best_time[0] = row.best_lap[0] = '\0';
    if (best.lap > 0) {
      format_time(row.best_time, sizeof row.best_time, seconds_of(best.ticks));
      std::snprintf(row.best_lap, sizeof row.best_lap, "(%d)", best.lap);
    }
  }
  if (!final) return;

  const ClockTime total = clock_time(seconds_of(list[0].last_tick - timing.rules.start_tick));
  std::snprintf(table.total, sizeof table.total, "Total Race Time: %d:%02d.%03d", total.minutes,
                total.seconds, total.ms);
  for (int i = 0; i < length; ++i) {
    const OrderEntry& entry = list[i];
    if (entry.last_tick <= last_pass(timing, entry.slot)) continue;
    char* text = table.penalties[table.penalty_count++].data();
    text[0] = '\0';
    append(text, kResultsPenaltyText, "%3s penalized ", text_or_empty(labels[entry.slot].number));
    const int laps = timing.penalty_laps[entry.slot];
    if (laps > 0) append(text, kResultsPenaltyText, "%d %s ", laps, laps == 1 ? "lap" : "laps");
    append(text, kResultsPenaltyText, "%.2f seconds for cutting track",
           seconds_of(timing.penalty_ticks[entry.slot]));
  }
}

void pit_board(const Timing& timing, const RiderLabels& labels, int viewed_slot,
               const TimeTrialLaps& time_trial, PitBoard& board) {
  board = PitBoard{};
  int place = -1;
  for (int i = 0; i < timing.order_length; ++i) {
    if (timing.order[i].slot == viewed_slot) place = i;
  }
  if (place < 0) return;
  board.shown = true;
  const OrderEntry& own = timing.order[place];
  std::snprintf(board.number, sizeof board.number, "%s", text_or_empty(labels[viewed_slot].number));
  const int lap = laps_completed(timing, viewed_slot) + 1;
  if (time_trial.active) {
    std::snprintf(board.lap_position, sizeof board.lap_position, "L%d", lap);
  } else {
    std::snprintf(board.lap_position, sizeof board.lap_position, "L%d P%d", lap, place + 1);
  }

  if (!time_trial.active && timing.order_length >= 2) {
    // The leader's lead over the second, everybody else's deficit to the rider ahead.
    const int gap = place == 0 ? gap_ticks(timing, timing.order[1], own)
                               : -gap_ticks(timing, own, timing.order[place - 1]);
    std::snprintf(board.gap, sizeof board.gap, "%+.1f ", seconds_of(gap));
  }

  const int last = time_trial.active                          ? time_trial.last_ticks
                   : laps_completed(timing, viewed_slot) >= 2 ? lap_time(timing, viewed_slot, -1)
                                                              : 0;
  if (last > 0) {
    const ClockTime t = clock_time(seconds_of(last));
    std::snprintf(board.last, sizeof board.last, "Last - %d:%02d.%d ", t.minutes, t.seconds,
                  t.ms / 100);
  }
  const int best = time_trial.active ? time_trial.best_ticks : best_lap(timing, viewed_slot).ticks;
  if (best > 0) {
    const ClockTime t = clock_time(seconds_of(best));
    std::snprintf(board.best, sizeof board.best, "Best - %d:%02d.%d", t.minutes, t.seconds,
                  t.ms / 100);
  }

  // Riders a lap or more ahead coming up behind on the road: through the viewed rider's last
  // gate, a whole number of laps later, less than 3 s after it. The positions of the first
  // lap before its line are not those of later laps, so only from the first lap line on.
  if (time_trial.active || !timed(timing) || own.passed < timing.track->first_lap_length) return;
  const int n = timing.track->normal_lap_length;
  const int p = own.passed - 1;
  const int own_tick = pass_tick(timing, viewed_slot, p);
  if (own_tick == -1) return;
  int named = 0;
  for (int i = place - 1; i >= 0 && named < kClosingRidersShown; --i) {
    const OrderEntry& other = timing.order[i];
    const int laps_ahead = (other.passed - 1 - p) / n;
    if (laps_ahead < 1) continue;
    const int tick = pass_tick(timing, other.slot, p + laps_ahead * n);
    if (tick == -1 || tick < own_tick || tick - own_tick >= kClosingTicks) continue;
    if (!append(board.closing, sizeof board.closing, " %.5s (%.1f) ",
                text_or_empty(labels[other.slot].number), seconds_of(tick - own_tick))) {
      break;
    }
    ++named;
  }
}

void running_order_ticker(const Timing& timing, const RiderLabels& labels, Ticker& ticker) {
  ticker.count = 0;
  const OrderEntry* above = nullptr;
  for (int i = 0; i < timing.order_length; ++i) {
    const OrderEntry& entry = timing.order[i];
    if (!racing(timing, entry.slot)) continue;
    TickerEntry& e = ticker.entries[ticker.count++];
    const RiderLabel& label = labels[entry.slot];
    std::snprintf(e.position, sizeof e.position, "%d", ticker.count);
    std::snprintf(e.number, sizeof e.number, "%3s", text_or_empty(label.number));
    std::snprintf(e.name, sizeof e.name, "%s", text_or_empty(label.name));
    e.gap[0] = '\0';
    const int gap = above ? gap_ticks(timing, entry, *above) : 0;
    if (gap > 0) std::snprintf(e.gap, sizeof e.gap, "%7.3f", seconds_of(gap));
    above = &entry;
  }
  const int leader = leader_laps(timing);
  if (timing.race_laps > 0 && leader >= timing.race_laps) {
    ticker.lap_box = kLapBoxChequered;
    ticker.lap[0] = '\0';
    return;
  }
  ticker.lap_box = timing.race_laps == leader + 1 ? kLapBoxLastLap : kLapBoxRacing;
  std::snprintf(ticker.lap, sizeof ticker.lap, "Lap %d", leader + 1);
}

}  // namespace race
