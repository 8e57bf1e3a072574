// demo_test.cpp -- demo headers, backups, recording and playing back (versions 6, 5 and 4).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

constexpr const char* kDemo = "@demos/test.kvdemo";

// A record whose every byte follows from the rider and the tick.
sim::StateRecord record_of(int rider, int tick) {
  sim::StateRecord r;
  for (int i = 0; i < sim::kStateRecordSize; ++i) {
    r.bytes[i] = static_cast<unsigned char>(rider * 31 + tick * 7 + i);
  }
  return r;
}

bool same(const sim::StateRecord& a, const sim::StateRecord& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

std::string le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xff);
  return s;
}

std::string bytes_of(const sim::StateRecord& r) {
  return std::string(reinterpret_cast<const char*>(r.bytes), sizeof r.bytes);
}

// One states entry: rider index, tick, record.
std::string entry(int rider, int tick, const sim::StateRecord& record) {
  return std::string(1, static_cast<char>(rider)) + le32(static_cast<std::uint32_t>(tick)) +
         bytes_of(record);
}
std::string entry(int rider, int tick) { return entry(rider, tick, record_of(rider, tick)); }

// A version-6 body written out by hand, block by block.
struct Body {
  std::string bytes;
  std::uint32_t previous = 0;
  // A block whose length field claims `claimed` bytes (by default the payload's).
  Body& block(int tick, int type, const std::string& payload, long claimed = -1) {
    const std::uint32_t length = claimed >= 0 ? static_cast<std::uint32_t>(claimed)
                                              : static_cast<std::uint32_t>(payload.size());
    bytes += le32(previous ^ length) + le32(static_cast<std::uint32_t>(tick)) +
             std::string(1, static_cast<char>(type)) + payload;
    previous = length;
    return *this;
  }
};

// A header of `riders` riders for any version.
std::string header_text(int version, int riders) {
  std::string text = "KV0" + std::to_string(version) + " " + std::to_string(riders) + " 0 3 1792\n";
  text += "rabbithill\n";
  for (int i = 0; i < riders; ++i) {
    text += "crf450(2013)||||\n" + std::to_string(i + 1) + "\n";
    if (version == 6) text += "\n\n";
  }
  return text;
}

std::string newest_message() {
  const int n = platform::visible_message_count();
  return n > 0 ? platform::visible_message(n - 1) : "";
}

// The ring's ticks, oldest first.
std::vector<int> ring_ticks(const race::History& history, int slot) {
  const race::HistoryRing& ring = history.rings[slot];
  std::vector<int> ticks;
  for (int i = 1; i <= race::kHistoryLength; ++i) {
    const race::HistoryEntry& e = ring.entries[(ring.head + i) % race::kHistoryLength];
    if (e.tick >= 0) ticks.push_back(e.tick);
  }
  return ticks;
}

// The ring holds record_of(rider, t - shift) at every tick t it holds.
void expect_records(const race::History& history, int slot, int rider, int shift = 0) {
  for (const race::HistoryEntry& e : history.rings[slot].entries) {
    if (e.tick < 0) continue;
    EXPECT_TRUE(same(e.record, record_of(rider, e.tick - shift))) << e.tick;
  }
}

std::vector<int> range(int from, int to, int step = 1) {
  std::vector<int> v;
  for (int t = from; t <= to; t += step) v.push_back(t);
  return v;
}

class DemoTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    platform::set_message_lines(5);
    platform::messages_clear();
    race::history_clear(*history);
  }
  void TearDown() override {
    race::playback_close(reader);
    race::record_stop(writer);
    DataFoldersTest::TearDown();
  }
  std::string write_demo(const std::string& bytes, const char* name = "demos/test.kvdemo") {
    return xdg.write(user_file(name), bytes);
  }
  std::string demo_file(const char* name) {
    return test_support::read_file(xdg.file(user_file(std::string("demos/") + name)));
  }
  // Opens the demo with riders bound to `slots` and steps from `now` to `until`.
  void play(const std::vector<int>& slots, int now, int until, bool ghost = false,
            const char* name = kDemo) {
    ASSERT_TRUE(race::playback_open(reader, name, ghost)) << newest_message();
    race::playback_bind(reader, slots);
    clock = now;
    step_to(until);
  }
  void step_to(int until) {
    for (int guard = 0; clock <= until && guard < 100000; ++guard, ++clock) {
      race::playback_step(reader, *history, &clock);
    }
  }

  std::unique_ptr<race::History> history = std::make_unique<race::History>();
  race::DemoReader reader;
  race::DemoWriter writer;
  int clock = 0;
};

// ---------------------------------------------------------------------------
// Headers

TEST_F(DemoTest, HeadersAreReadOrRefusedWithTheReason) {
  struct Case {
    const char* name;
    std::string text;   // a readable header is followed by "#", the body's first byte
    const char* error;  // part of the reason; null: read
    int version = 0, riders = 0, duration = 0, extra_laps = 0, start_tick = 0;
    const char* model = nullptr;  // the first rider's
    const char* number = nullptr;
    const char* rider_name = nullptr;
    const char* head_texture = nullptr;
  };
  const Case cases[] = {
      {"version 6", "KV06 1 7680 2 1900\nhill\nm|r.png|b.png|w.png|h.png\n7\nAnn\n\n#", nullptr, 6,
       1, 7680, 2, 1900, "m", "7", "Ann", "h.png"},
      {"version 5 without a start tick", "KV05 1 3000 2\nhill\nm||||\n7\n#", nullptr, 5, 1, 3000, 2,
       race::kDemoDefaultStart, "m", "7", "", ""},
      {"riders, duration and laps only", "KV06 0 0 5\nhill\n#", nullptr, 6, 0, 0, 5,
       race::kDemoDefaultStart, nullptr, nullptr, nullptr, nullptr},
      {"no laps either", "KV04 0 100\nhill\n#", nullptr, 4, 0, 100, 0, race::kDemoDefaultStart,
       nullptr, nullptr, nullptr, nullptr},
      {"textures left out", "KV05 1 0 0 0\nhill\nm\n7\n#", nullptr, 5, 1, 0, 0, 0, "m", "7", "",
       ""},
      {"an old bike id", "KV05 1 0 0 0\nhill\ncrf250||||h\n7\n#", nullptr, 5, 1, 0, 0, 0,
       "crf250(2008)", "7", "", "h"},
      {"a number cut to 3 characters", "KV05 1 0 0 0\nhill\nm||||\n12345\n#", nullptr, 5, 1, 0, 0,
       0, "m", "123", "", ""},
      {"version 6 skips lines up to the empty one",
       "KV06 1 0 0 0\nhill\nm||||\n7\nAnn\nsomething newer\nmore\n\n#", nullptr, 6, 1, 0, 0, 0, "m",
       "7", "Ann", ""},
      {"CR LF line ends", "KV06 1 0 0 0\r\nhill\r\nm||||\r\n7\r\nAnn\r\n\r\n#", nullptr, 6, 1, 0, 0,
       0, "m", "7", "Ann", ""},
      {"a line of 1024 bytes with its break", "KV06 0 0 0 0\n" + std::string(1023, 'h') + "\n#",
       nullptr, 6, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr},
      {"a line without a break within 1024 bytes", "KV06 0 0 0 0\n" + std::string(1024, 'h') + "\n",
       "line break"},
      {"rider lines missing", "KV05 2 0 0 0\nhill\nm||||\n7\n", "cut short"},
      {"no empty line after a version-6 rider", "KV06 1 0 0 0\nhill\nm||||\n7\nAnn\n", "cut short"},
      {"no track line", "KV06 0 0 0 0\n", "cut short"},
      {"an empty track line", "KV06 0 0 0 0\n\n", "no track"},
      {"version 3", "KV03 0 0 0 0\nhill\n", "version 3"},
      {"version 7", "KV07 0 0 0 0\nhill\n", "version 7"},
      {"no duration", "KV06 2\nhill\n", "not a demo"},
      {"not a demo", "P6 640 480\n", "not a demo"},
      {"a negative rider count", "KV06 -1 0 0 0\nhill\n", "rider count"},
      {"more riders than slots", "KV06 161 0 0 0\nhill\n", "rider count"},
      {"a negative duration", "KV06 0 -5 0 0\nhill\n", "duration"},
      {"an empty file", "", "cut short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_demo(c.text);
    data::DataStream* stream = data::open_data(kDemo, "rb");
    ASSERT_NE(stream, nullptr);
    race::DemoHeader header;
    std::string error;
    const bool ok = race::read_demo_header(stream, header, &error);
    if (c.error) {
      EXPECT_FALSE(ok);
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    } else {
      ASSERT_TRUE(ok) << error;
      EXPECT_EQ(header.version, c.version);
      EXPECT_EQ(header.duration, c.duration);
      EXPECT_EQ(header.extra_laps, c.extra_laps);
      EXPECT_EQ(header.start_tick, c.start_tick);
      const std::size_t from = c.text.find('\n') + 1;
      std::string track = c.text.substr(from, c.text.find('\n', from) - from);
      if (track.back() == '\r') track.pop_back();
      EXPECT_EQ(header.track, track);
      ASSERT_EQ(static_cast<int>(header.riders.size()), c.riders);
      if (c.riders > 0) {
        EXPECT_EQ(header.riders[0].model, c.model);
        EXPECT_EQ(header.riders[0].number, c.number);
        EXPECT_EQ(header.riders[0].name, c.rider_name);
        EXPECT_EQ(header.riders[0].head_texture, c.head_texture);
      }
      EXPECT_EQ(data::ds_getc(stream), '#') << "the stream is left at the body";
    }
    data::close_data(stream);
  }
}

TEST_F(DemoTest, AWrittenHeaderReadsBack) {
  race::DemoHeader written;
  written.duration = 15 * 60 * 128;
  written.extra_laps = 2;
  written.start_tick = 2000;
  written.track = "rabbit hill";
  written.riders.push_back({"kx250f(2008)", "rider.png", "bike.png", "", "head.png", "12", "Ann"});
  written.riders.push_back({"yz250f", "", "", "wheel.png", "", "7", ""});
  data::DataStream* out = data::open_data(kDemo, "wb");
  ASSERT_NE(out, nullptr);
  race::write_demo_header(out, written);
  data::close_data(out);
  EXPECT_EQ(demo_file("test.kvdemo"),
            "KV06 2 115200 2 2000\nrabbit hill\n"
            "kx250f(2008)|rider.png|bike.png||head.png\n12\nAnn\n\n"
            "yz250f|||wheel.png|\n7\n\n\n");

  data::DataStream* in = data::open_data(kDemo, "rb");
  race::DemoHeader read;
  std::string error;
  ASSERT_TRUE(race::read_demo_header(in, read, &error)) << error;
  EXPECT_EQ(data::ds_getc(in), -1);
  data::close_data(in);
  EXPECT_EQ(read.version, 6);
  EXPECT_EQ(read.duration, written.duration);
  EXPECT_EQ(read.extra_laps, 2);
  EXPECT_EQ(read.start_tick, 2000);
  EXPECT_EQ(read.track, "rabbit hill");
  ASSERT_EQ(read.riders.size(), 2u);
  const race::DemoRider& ann = read.riders[0];
  EXPECT_EQ(ann.model, "kx250f(2008)");
  EXPECT_EQ(ann.rider_texture, "rider.png");
  EXPECT_EQ(ann.bike_texture, "bike.png");
  EXPECT_EQ(ann.wheel_texture, "");
  EXPECT_EQ(ann.head_texture, "head.png");
  EXPECT_EQ(ann.number, "12");
  EXPECT_EQ(ann.name, "Ann");
  EXPECT_EQ(read.riders[1].model, "yz250f(2008)");
  EXPECT_EQ(read.riders[1].wheel_texture, "wheel.png");
  EXPECT_EQ(read.riders[1].name, "");
}

TEST_F(DemoTest, TheCommandLinesCheckNamesTheTrackOrTheReason) {
  const std::string path = write_demo(header_text(6, 1));
  std::string track;
  EXPECT_TRUE(race::read_demo(path.c_str(), track));
  EXPECT_EQ(track, "rabbithill");

  write_demo("KV07 0 0 0 0\nhill\n", "demos/new.kvdemo");
  track.clear();
  EXPECT_FALSE(race::read_demo("@demos/new.kvdemo", track));
  EXPECT_EQ(track, "");
  EXPECT_EQ(newest_message(),
            "Can't play back '@demos/new.kvdemo': version 7 demos cannot be played");
  EXPECT_FALSE(race::read_demo("@demos/none.kvdemo", track));
  EXPECT_EQ(newest_message(), "Can't play back '@demos/none.kvdemo': it cannot be opened");

  // Playback refuses it in the same words and keeps nothing open.
  platform::messages_clear();
  EXPECT_FALSE(race::playback_open(reader, "@demos/new.kvdemo", false));
  EXPECT_EQ(reader.stream, nullptr);
  EXPECT_EQ(newest_message(),
            "Can't play back '@demos/new.kvdemo': version 7 demos cannot be played");
}

// ---------------------------------------------------------------------------
// Backups

TEST_F(DemoTest, BackupsKeepTheLastRacesUnderNumberedNames) {
  struct Case {
    int backups;
    // After five races: each file and the race it holds.
    std::vector<std::pair<std::string, std::string>> files;
  };
  const Case cases[] = {
      {0, {{"default.kvdemo", "race 5"}}},
      {1, {{"default.kvdemo", "race 5"}, {"default00.kvdemo", "race 4"}}},
      {3,
       {{"default.kvdemo", "race 5"},
        {"default00.kvdemo", "race 4"},
        {"default01.kvdemo", "race 3"},
        {"default02.kvdemo", "race 2"}}},
  };
  const std::string folder = xdg.file(user_file("demos"));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.backups << " backups");
    std::filesystem::remove_all(folder);
    for (int race_number = 1; race_number <= 5; ++race_number) {
      race::rotate_demo_backups(c.backups);
      race::DemoHeader header;
      header.track = "race " + std::to_string(race_number);
      ASSERT_TRUE(race::record_start(writer, "@demos/default.kvdemo", header, {}));
      race::record_stop(writer);
    }
    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
      const std::string text = test_support::read_file(file.path().string());
      found.emplace_back(file.path().filename().string(), text.substr(text.find('\n') + 1, 6));
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, c.files);
  }
}

// "namedemo" names the default demo once it is complete; the name's first word, with
// ".kvdemo" added unless it is there; refused without a recording, in a time trial or when
// too long.
TEST_F(DemoTest, NamedemoRenamesTheDefaultDemoWhenItEnds) {
  const std::string long_name(race::kDemoNameLimit + 1, 'a');
  const std::string longest(race::kDemoNameLimit, 'a');
  struct Case {
    const char* what;
    bool recording, time_trial;
    std::string argument;
    const char* reply;
    std::string file;  // what default.kvdemo is called afterwards
  } cases[] = {
      {"a plain word", true, false, "final", "Demo name updated", "final.kvdemo"},
      {"the first word only", true, false, "  heat one", "Demo name updated", "heat.kvdemo"},
      {"the extension kept", true, false, "moto2.kvdemo", "Demo name updated", "moto2.kvdemo"},
      // Accepted, but no Linux file system takes a name that long: the demo keeps its own.
      {"as long as allowed", true, false, longest, "Demo name updated", "default.kvdemo"},
      {"too long", true, false, long_name, "Name too long", "default.kvdemo"},
      {"nothing recorded", false, false, "final", "Not currently recording a demo", ""},
      {"a time trial's lap", true, true, "final", "Not currently recording a demo",
       "default.kvdemo"},
  };
  const std::string folder = xdg.file(user_file("demos"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(folder);
    race::DemoHeader header;
    header.track = "rabbithill";
    if (c.recording) {
      ASSERT_TRUE(race::record_start(writer, race::kDefaultDemoName, header, {}));
    }
    EXPECT_STREQ(race::name_demo(writer, c.argument.c_str(), c.time_trial), c.reply);
    race::record_stop(writer);
    std::vector<std::string> found;
    if (std::filesystem::exists(folder)) {
      for (const auto& file : std::filesystem::directory_iterator(folder)) {
        found.push_back(file.path().filename().string());
      }
    }
    EXPECT_EQ(found,
              c.file.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.file});
  }
  // The name is forgotten with the recording: the next race is the default demo again.
  race::DemoHeader header;
  ASSERT_TRUE(race::record_start(writer, race::kDefaultDemoName, header, {}));
  race::record_stop(writer);
  EXPECT_TRUE(std::filesystem::exists(folder + "/default.kvdemo"));
}

// ---------------------------------------------------------------------------
// Recording

TEST_F(DemoTest, RecordingWritesStatesBlocksEvery16TicksAndMessagesAtOnce) {
  race::DemoHeader header;
  header.track = "hill";
  header.riders.resize(2);
  header.riders[0].model = "m";
  header.riders[1].model = "n";
  ASSERT_TRUE(race::record_start(writer, kDemo, header, {3, 7}));
  const std::string header_bytes = demo_file("test.kvdemo");
  EXPECT_EQ(header_bytes, "KV06 2 0 0 1792\nhill\nm||||\n\n\n\nn||||\n\n\n\n");

  // Slot 7 first and a late record of slot 3: the block still lists riders in header order,
  // each oldest first. Slot 9 is not recorded.
  race::add_state(*history, 7, record_of(1, 1804), 1804);
  race::add_state(*history, 3, record_of(0, 1804), 1804);
  race::add_state(*history, 3, record_of(0, 1800), 1800);
  race::add_state(*history, 9, record_of(2, 1804), 1804);
  race::record_flush(writer, *history, 1804, false);  // not a flush tick
  race::record_flush(writer, *history, 1808, false);
  race::record_message(writer, "Ann joined", 1810);
  race::record_flush(writer, *history, 1824, false);  // nothing new: no block
  race::add_state(*history, 7, record_of(1, 1808), 1808);
  race::record_flush(writer, *history, 1830, true);
  race::record_stop(writer);

  Body body;
  body.block(1808, 1, entry(0, 1800) + entry(0, 1804) + entry(1, 1804))
      .block(1810, 2, "Ann joined")
      .block(1830, 1, entry(1, 1808));
  EXPECT_EQ(demo_file("test.kvdemo"), header_bytes + body.bytes);
  EXPECT_EQ(history->rings[3].unflushed, 0);
  EXPECT_EQ(history->rings[9].unflushed, 1);
}

TEST_F(DemoTest, AFileThatCannotBeOpenedRecordsNothing) {
  // A file where the demo's folder should be.
  xdg.write("demos", "");
  race::DemoHeader header;
  header.track = "hill";
  EXPECT_FALSE(race::record_start(writer, xdg.file("demos/default.kvdemo").c_str(), header, {}));
  EXPECT_EQ(writer.stream, nullptr);
  race::record_flush(writer, *history, 16, true);
  race::record_message(writer, "nobody hears", 16);
  race::record_stop(writer);
}

// ---------------------------------------------------------------------------
// Playback, version 6

// Two riders recorded from slots 3 and 7: a record every 4 ticks from 1800 to 2600 (slot 7
// from 1802), more than a ring holds, flushed every 16 ticks, and a message at 2000.
class RecordedDemoTest : public DemoTest {
 protected:
  void SetUp() override {
    DemoTest::SetUp();
    race::DemoHeader header;
    header.track = "hill";
    header.riders.resize(2);
    ASSERT_TRUE(race::record_start(writer, kDemo, header, {3, 7}));
    for (int now = 1800; now <= 2600; ++now) {
      if (now % 4 == 0) race::add_state(*history, 3, record_of(0, now), now);
      if (now % 4 == 2) race::add_state(*history, 7, record_of(1, now), now);
      if (now == 2000) race::record_message(writer, "halfway", now);
      race::record_flush(writer, *history, now, false);
    }
    race::record_flush(writer, *history, 2600, true);
    race::record_stop(writer);
    race::history_clear(*history);
  }
};

TEST_F(RecordedDemoTest, PlaybackFillsTheBoundRingsAndTakesTheClockFromTheFirstBlock) {
  ASSERT_TRUE(race::playback_open(reader, kDemo, false));
  race::playback_bind(reader, {10, 11});
  clock = 0;
  race::playback_step(reader, *history, &clock);
  EXPECT_EQ(clock, 1808) << "the first block's tick";
  // Blocks are read up to 64 ticks ahead of the clock.
  EXPECT_EQ(race::newest_tick(*history, 10), 1808 + 64);
  EXPECT_EQ(ring_ticks(*history, 10).front(), 1800);
  EXPECT_NE(newest_message(), "halfway");

  step_to(1935);
  EXPECT_NE(newest_message(), "halfway");
  step_to(1936);
  EXPECT_EQ(newest_message(), "halfway") << "shown when its block is read";

  step_to(2700);
  EXPECT_TRUE(reader.ended);
  EXPECT_EQ(ring_ticks(*history, 10), range(2600 - 127 * 4, 2600, 4));
  EXPECT_EQ(ring_ticks(*history, 11), range(2598 - 127 * 4, 2598, 4));
  expect_records(*history, 10, 0);
  expect_records(*history, 11, 1);
  EXPECT_EQ(race::newest_tick(*history, 3), -1);
}

TEST_F(RecordedDemoTest, AGhostKeepsTheClockAndShiftsTheTicks) {
  play({-1, 20}, 100, 100, true);
  EXPECT_EQ(clock, 101) << "the clock ran on";
  EXPECT_EQ(reader.offset, 100 - 1808);
  EXPECT_EQ(ring_ticks(*history, 20).front(), 1802 + reader.offset);
  expect_records(*history, 20, 1, reader.offset);
  for (int slot = 0; slot < race::kHistorySlots; ++slot) {
    if (slot == 20) continue;
    EXPECT_EQ(race::newest_tick(*history, slot), -1) << slot;
  }
}

// A gzip file of the bytes.
std::string gzip(const std::string& plain) {
  return test_support::deflate_bytes(plain, 16 + MAX_WBITS);
}

TEST_F(RecordedDemoTest, ASeekGoesOnFromItsTickWithoutMovingTheClockAgain) {
  // A compressed demo cannot seek in its file: it is read again from the start.
  write_demo(gzip(demo_file("test.kvdemo")), "demos/zipped.kvdemo.gz");
  struct Case {
    const char* name;
    int tick;
  };
  for (const char* demo : {kDemo, "@demos/zipped.kvdemo"}) {
    for (const Case& c :
         {Case{"back", 1900}, Case{"forward", 2152}, Case{"to the first block", 1808}}) {
      SCOPED_TRACE(testing::Message() << demo << ", " << c.name);
      if (!reader.stream || reader.name != demo) play({10, 11}, 0, 2100, false, demo);
      race::history_clear(*history);
      race::playback_seek(reader, c.tick);
      clock = c.tick;
      race::playback_step(reader, *history, &clock);
      EXPECT_EQ(clock, c.tick);
      const std::vector<int> ticks = ring_ticks(*history, 10);
      ASSERT_FALSE(ticks.empty());
      // Blocks from 16 ticks before the tick (each holding its 16 ticks) to 64 ahead.
      EXPECT_GE(ticks.front(), std::max(c.tick - 32, 1800));
      EXPECT_LE(ticks.front(), std::max(c.tick - 16, 1800));
      EXPECT_GE(ticks.back(), c.tick + 48);
      EXPECT_TRUE(same(race::history_pose(*history, 10, c.tick, 6).record, record_of(0, c.tick)));
      expect_records(*history, 10, 0);
    }
  }
}

TEST_F(DemoTest, BrokenBodiesStopReadingCleanly) {
  struct Case {
    const char* name;
    Body body;
    std::vector<int> slot_0_ticks;  // rider 0's ring afterwards
    std::vector<int> slot_1_ticks;
  };
  auto states = [](std::vector<std::pair<int, int>> entries) {
    std::string payload;
    for (auto [rider, tick] : entries) payload += entry(rider, tick);
    return payload;
  };
  const std::string two = states({{0, 100}, {1, 100}});
  const Case cases[] = {
      {"sound", Body().block(100, 1, two).block(116, 1, states({{0, 116}})), {100, 116}, {100}},
      {"other block types are skipped",
       Body().block(100, 1, two).block(110, 9, "0123456789").block(116, 1, states({{0, 116}})),
       {100, 116},
       {100}},
      {"a rider index beyond the header: that entry only",
       Body()
           .block(100, 1, states({{0, 100}, {2, 100}, {255, 100}, {1, 100}}))
           .block(116, 1, states({{0, 116}})),
       {100, 116},
       {100}},
      {"a length past the end of the file",
       Body().block(100, 1, two).block(116, 1, states({{0, 116}}), 88),
       {100, 116},
       {100}},
      {"a states length that is no whole number of entries",
       Body().block(100, 1, two).block(116, 1, states({{0, 116}}) + "x").block(132, 1, two),
       {100},
       {100}},
      {"an absurd length",
       Body().block(100, 1, two).block(116, 1, two, 0x7ffffff0).block(132, 1, two),
       {100},
       {100}},
      {"a block header cut short",
       [&] {
         Body b;
         b.block(100, 1, two);
         b.bytes += "\x01\x02\x03";
         return b;
       }(),
       {100},
       {100}},
      {"a message cut short", Body().block(100, 1, two).block(116, 2, "hello", 50), {100}, {100}},
      {"no blocks at all", Body(), {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    race::history_clear(*history);
    race::playback_close(reader);
    write_demo(header_text(6, 2) + c.body.bytes);
    play({0, 1}, 0, 400);
    EXPECT_TRUE(reader.ended);
    EXPECT_EQ(ring_ticks(*history, 0), c.slot_0_ticks);
    EXPECT_EQ(ring_ticks(*history, 1), c.slot_1_ticks);
    expect_records(*history, 0, 0);
    expect_records(*history, 1, 1);
    for (int slot = 2; slot < race::kHistorySlots; ++slot) {
      EXPECT_EQ(race::newest_tick(*history, slot), -1) << slot;
    }
    // Nothing more is read once the body has ended, and nothing breaks either.
    race::playback_step(reader, *history, &clock);
    EXPECT_EQ(ring_ticks(*history, 0), c.slot_0_ticks);
  }
}

// ---------------------------------------------------------------------------
// Playback, versions 5 and 4

TEST_F(DemoTest, Version5PlaysOneRecordPerRiderPerTickFromTheFirstStep) {
  // Three whole frames, then rider 0's record and 20 bytes of rider 1's.
  std::string body;
  for (int frame = 0; frame < 3; ++frame) {
    body += bytes_of(record_of(0, frame)) + bytes_of(record_of(1, frame));
  }
  body += bytes_of(record_of(0, 3)) + bytes_of(record_of(1, 3)).substr(0, 20);
  write_demo(header_text(5, 2) + body);
  play({4, 5}, 500, 500);
  EXPECT_TRUE(reader.ended);
  EXPECT_EQ(ring_ticks(*history, 4), range(500, 503));
  EXPECT_EQ(ring_ticks(*history, 5), range(500, 502));
  expect_records(*history, 4, 0, 500);
  expect_records(*history, 5, 1, 500);
  EXPECT_EQ(reader.cut_short, (std::vector<unsigned char>{0, 1}));

  // A seek reads on from the frame of its tick.
  race::history_clear(*history);
  race::playback_seek(reader, 502);
  EXPECT_FALSE(reader.ended);
  EXPECT_EQ(reader.cut_short, (std::vector<unsigned char>{0, 0}));
  clock = 502;
  race::playback_step(reader, *history, &clock);
  EXPECT_EQ(ring_ticks(*history, 4), range(502, 503));
  EXPECT_EQ(ring_ticks(*history, 5), range(502, 502));
  expect_records(*history, 4, 0, 500);
}

TEST_F(DemoTest, Version5ReadsOnlyEightTicksAhead) {
  std::string body;
  for (int frame = 0; frame < 40; ++frame) body += bytes_of(record_of(0, frame));
  write_demo(header_text(5, 1) + body);
  play({6}, 0, 0);
  EXPECT_EQ(ring_ticks(*history, 6), range(0, 8));
  step_to(20);
  EXPECT_EQ(ring_ticks(*history, 6), range(0, 28));
  EXPECT_FALSE(reader.ended);
}

// A version-4 record: `frame` the frame's quaternion (w, x, y, z), the lean's code.
std::string v4_record(const double frame[4], int lean) {
  std::string r(race::kStateRecordV4Size, '\0');
  for (int i = 0; i < 20; ++i) r[i] = static_cast<char>(40 + i);  // overwritten below: 9 .. 16
  for (int i = 0; i < 4; ++i) {
    const unsigned code = static_cast<unsigned>(std::floor((frame[i] + 1) / 2 * 65535));
    r[9 + 2 * i] = static_cast<char>(code & 0xff);
    r[10 + 2 * i] = static_cast<char>(code >> 8);
  }
  r[20] = 11;  // front wheel
  r[21] = 22;  // rear wheel
  r[22] = 33;  // state
  r[23] = 0x34;
  r[24] = 0x12;  // engine speed
  r[25] = static_cast<char>(lean);
  return r;
}

double decode16(const unsigned char* p, double lo, double hi) {
  return lo + (p[0] | (p[1] << 8)) / 65535.0 * (hi - lo);
}

struct Vec {
  double x, y, z;
};

// A body axis of a record's quaternion at `at`, in the world.
Vec axis(const sim::StateRecord& r, int at, double x, double y, double z) {
  dQuaternion q;
  for (int i = 0; i < 4; ++i) q[i] = decode16(r.bytes + at + 2 * i, -1, 1);
  dNormalize4(q);
  dMatrix3 m;
  dRfromQ(m, q);
  return {m[0] * x + m[1] * y + m[2] * z, m[4] * x + m[5] * y + m[6] * z,
          m[8] * x + m[9] * y + m[10] * z};
}

TEST(RecordFromV4, TheRiderSitsUpTheFrameLeaningAboutItsForwardAxis) {
  const double s = std::sqrt(0.5);
  struct Case {
    const char* name;
    double frame[4];
    int lean;
    Vec offset;    // the rider's offset from the frame (ft)
    Vec rider_up;  // the rider's up axis in the world
  };
  const Case cases[] = {
      {"upright", {1, 0, 0, 0}, 128, {0, 1.5, 0}, {0, 1, 0}},
      {"leaning right", {1, 0, 0, 0}, 255, {0, 1.5, 0}, {s, s, 0}},
      {"leaning left", {1, 0, 0, 0}, 0, {0, 1.5, 0}, {-s, s, 0}},
      {"turned to face -x", {s, 0, s, 0}, 128, {0, 1.5, 0}, {0, 1, 0}},
      {"on its side", {s, 0, 0, s}, 128, {-1.5, 0, 0}, {-1, 0, 0}},
      {"up along z, leaning right", {0.5, 0.5, 0.5, 0.5}, 255, {0, 0, 1.5}, {0, s, s}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = v4_record(c.frame, c.lean);
    const sim::StateRecord r =
        race::record_from_v4(reinterpret_cast<const unsigned char*>(bytes.data()));
    EXPECT_EQ(std::memcmp(r.bytes, bytes.data(), 20), 0);
    EXPECT_EQ(r.bytes[34], 11);
    EXPECT_EQ(r.bytes[35], 22);
    EXPECT_EQ(r.bytes[36], 33);
    EXPECT_EQ(r.bytes[37], 0x34);
    EXPECT_EQ(r.bytes[38], 0x12);
    const double tolerance = 0.01;
    EXPECT_NEAR(decode16(r.bytes + 20, -16, 16), c.offset.x, 0.001);
    EXPECT_NEAR(decode16(r.bytes + 22, -16, 16), c.offset.y, 0.001);
    EXPECT_NEAR(decode16(r.bytes + 24, -16, 16), c.offset.z, 0.001);
    const Vec up = axis(r, 26, 0, 1, 0);
    EXPECT_NEAR(up.x, c.rider_up.x, tolerance);
    EXPECT_NEAR(up.y, c.rider_up.y, tolerance);
    EXPECT_NEAR(up.z, c.rider_up.z, tolerance);
    // Leaning turns about the forward axis, so the rider faces where the frame does.
    const Vec rider_forward = axis(r, 26, 0, 0, -1);
    const Vec frame_forward = axis(r, 9, 0, 0, -1);
    EXPECT_NEAR(rider_forward.x, frame_forward.x, tolerance);
    EXPECT_NEAR(rider_forward.y, frame_forward.y, tolerance);
    EXPECT_NEAR(rider_forward.z, frame_forward.z, tolerance);
  }
}

TEST_F(DemoTest, Version4RecordsArePlayedWidened) {
  const double upright[4] = {1, 0, 0, 0};
  const std::string record = v4_record(upright, 128);
  write_demo(header_text(4, 1) + record + record);
  play({2}, 10, 10);
  EXPECT_EQ(ring_ticks(*history, 2), range(10, 11));
  EXPECT_TRUE(same(history->rings[2].entries[history->rings[2].head].record,
                   race::record_from_v4(reinterpret_cast<const unsigned char*>(record.data()))));
  EXPECT_TRUE(reader.ended);
  EXPECT_EQ(reader.cut_short, std::vector<unsigned char>{0});
}

}  // namespace
