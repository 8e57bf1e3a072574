// kvdemo.cpp -- looks inside a recorded race.
//
//   kvdemo info FILE   the header, the riders, how long the demo runs and its blocks
//   kvdemo csv FILE    every recorded state as CSV, for plotting:
//                      rider,tick,x,y,z,speed,gear,rpm (feet, feet per second; gear -1
//                      while crashed)
//
// FILE is a path, or a data name such as "@demos/default.kvdemo". The demo is read the way
// the game plays it back, so what this prints is what a playback sees.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data/data.h"
#include "race/race.h"
#include "sim/sim.h"

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: kvdemo info FILE\n"
               "       kvdemo csv FILE\n");
}

struct Entry {
  int rider = 0;
  int tick = 0;
  sim::StateRecord record{};
};

// Plays the whole demo into rings and hands every record read to `take`, in reading order.
template <typename Take>
void read_all(race::DemoReader& reader, Take take) {
  const int riders = static_cast<int>(reader.header.riders.size());
  std::vector<int> slots;
  for (int i = 0; i < riders && i < race::kHistorySlots; ++i) slots.push_back(i);
  race::playback_bind(reader, slots);
  auto history = std::make_unique<race::History>();
  race::history_clear(*history);
  int now = 0;
  while (true) {
    race::playback_step(reader, *history, &now);
    for (int i = 0; i < static_cast<int>(slots.size()); ++i) {
      race::HistoryRing& ring = history->rings[static_cast<std::size_t>(i)];
      // The entries added since the last look are the newest ones, oldest first.
      for (int k = ring.unflushed - 1; k >= 0; --k) {
        const int at = (ring.head - k + race::kHistoryLength) % race::kHistoryLength;
        const race::HistoryEntry& e = ring.entries[static_cast<std::size_t>(at)];
        take(Entry{i, e.tick, e.record});
      }
      ring.unflushed = 0;
    }
    if (reader.ended) break;
    // Nothing due yet: on to the tick the next block wants, not one tick at a time.
    int next = now + 1;
    if (reader.pending) next = std::max(next, reader.pending_tick + reader.offset - 64);
    if (next < now) break;  // the clock would wrap: a lying block tick
    now = next;
  }
}

int info(const char* file) {
  race::DemoReader reader;
  if (!race::playback_open(reader, file, false)) {
    std::fprintf(stderr, "kvdemo: can't read demo %s\n", file);
    return 1;
  }
  const race::DemoHeader& h = reader.header;
  std::printf("file=%s\nversion=%d\ntrack=%s\nriders=%zu\n", file, h.version, h.track.c_str(),
              h.riders.size());
  std::printf("race_ticks=%d\nrace_s=%.3f\nextra_laps=%d\nstart_tick=%d\nstart_s=%.3f\n",
              h.duration, h.duration / 128.0, h.extra_laps, h.start_tick, h.start_tick / 128.0);
  for (std::size_t i = 0; i < h.riders.size(); ++i) {
    const race::DemoRider& r = h.riders[i];
    std::printf(
        "rider=%zu bike=%s number=%s name=%s rider_texture=%s bike_texture=%s "
        "wheel_texture=%s head_texture=%s\n",
        i, r.model.c_str(), r.number.c_str(), r.name.c_str(), r.rider_texture.c_str(),
        r.bike_texture.c_str(), r.wheel_texture.c_str(), r.head_texture.c_str());
  }
  long records = 0;
  int first = -1, last = -1;
  std::vector<long> per_rider(h.riders.size(), 0);
  read_all(reader, [&](const Entry& e) {
    ++records;
    ++per_rider[static_cast<std::size_t>(e.rider)];
    if (first < 0 || e.tick < first) first = e.tick;
    if (e.tick > last) last = e.tick;
  });
  std::printf("records=%ld\n", records);
  for (std::size_t i = 0; i < per_rider.size(); ++i) {
    std::printf("rider_records=%zu:%ld\n", i, per_rider[i]);
  }
  std::printf("first_tick=%d\nlast_tick=%d\nlength_s=%.3f\n", first, last,
              records ? (last - first) / 128.0 : 0.0);
  std::printf("state_blocks=%d\nmessage_blocks=%d\nother_blocks=%d\n", reader.state_blocks,
              reader.message_blocks, reader.other_blocks);
  const bool damaged = reader.damaged;
  race::playback_close(reader);
  if (damaged) {
    std::fprintf(stderr, "kvdemo: %s is cut short or damaged after tick %d\n", file, last);
    return 1;
  }
  return 0;
}

int csv(const char* file) {
  race::DemoReader reader;
  if (!race::playback_open(reader, file, false)) {
    std::fprintf(stderr, "kvdemo: can't read demo %s\n", file);
    return 1;
  }
  // Positions are packed over the ground's extent and heights: the track must be loaded.
  race::TrackLoadOptions options;
  const std::string track = "@" + reader.header.track;
  if (!race::track_load(track.c_str(), options)) {
    std::fprintf(stderr, "kvdemo: can't load track %s, whose ground the positions are on\n",
                 reader.header.track.c_str());
    race::playback_close(reader);
    return 1;
  }
  std::printf("rider,tick,x,y,z,speed,gear,rpm\n");
  struct Last {
    int tick = -1;
    double at[3] = {};
  };
  std::vector<Last> last(reader.header.riders.size());
  read_all(reader, [&](const Entry& e) {
    const sim::StateValues v = sim::state_values(e.record);
    Last& l = last[static_cast<std::size_t>(e.rider)];
    double speed = 0;
    if (l.tick >= 0 && e.tick > l.tick) {
      const double dx = v.frame[0] - l.at[0], dy = v.frame[1] - l.at[1], dz = v.frame[2] - l.at[2];
      speed = std::sqrt(dx * dx + dy * dy + dz * dz) * 128.0 / (e.tick - l.tick);
    }
    l.tick = e.tick;
    std::memcpy(l.at, v.frame, sizeof l.at);
    std::printf("%d,%d,%.3f,%.3f,%.3f,%.3f,%d,%.0f\n", e.rider, e.tick, v.frame[0], v.frame[1],
                v.frame[2], speed, v.crashed ? -1 : v.gear, v.rpm);
  });
  const bool damaged = reader.damaged;
  race::playback_close(reader);
  race::track_free();
  if (damaged) {
    std::fprintf(stderr, "kvdemo: %s is cut short or damaged\n", file);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    usage();
    return 2;
  }
  const std::string command = argv[1];
  if (command == "info") return info(argv[2]);
  if (command == "csv") return csv(argv[2]);
  std::fprintf(stderr, "kvdemo: unknown command '%s'\n", argv[1]);
  usage();
  return 2;
}
