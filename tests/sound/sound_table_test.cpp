// sound_table_test.cpp -- sound tables and their samples as files give them, and what a
// broken one says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "sound/sound.h"
#include "support/test_support.h"

namespace {

std::string last_message() {
  const int n = platform::visible_message_count();
  return n > 0 ? platform::visible_message(n - 1) : "";
}

// 16-bit little-endian values.
std::string raw(const std::vector<int>& values) {
  std::string bytes;
  for (int v : values) {
    bytes += static_cast<char>(v & 0xff);
    bytes += static_cast<char>((v >> 8) & 0xff);
  }
  return bytes;
}

class SoundTableTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    platform::messages_clear();
    platform::set_message_lines(20);
  }
};

TEST_F(SoundTableTest, ReadsRowsColumnsCellsAndSamples) {
  home.write("a.raw", raw({0x4000, -0x8000, 0x7fff}) + "\x01");  // an odd last byte
  home.write("b.raw", raw({0x2000, 0x2000, 0x2000, 0x2000, 0x2000, 0x2000}));
  home.write("two.tab",
             "SOUNDTABLE 2 2\n"
             "2000 6000\n"
             "0 1\n"
             "-1 1 @a.raw\n"
             "2 0 1 -1 3 @b.raw\n"
             "5 -1 2.9 @a.raw\n"
             "-1 2 @b.raw\n");
  const sound::SoundTable* t = sound::sound_table("@two.tab");
  ASSERT_NE(t, nullptr) << last_message();
  EXPECT_EQ(t->rows, 2);
  EXPECT_EQ(t->columns, 2);
  struct Cell {
    int row, column;
    float rpm, load;
    int length, cycles;
    std::vector<int> remap;
  } cells[] = {
      {0, 0, 2000, 0, 3, 1, {}},
      {0, 1, 2000, 1, 6, 3, {2, 0, 1}},
      // Remap entries are reduced modulo the cycles; "2.9" cycles are 2.
      {1, 0, 6000, 0, 3, 2, {1}},
      {1, 1, 6000, 1, 6, 2, {}},
  };
  for (const Cell& c : cells) {
    SCOPED_TRACE(testing::Message() << c.row << ", " << c.column);
    const sound::SoundCell& cell = t->cell(c.row, c.column);
    EXPECT_EQ(cell.rpm, c.rpm);
    EXPECT_EQ(cell.load, c.load);
    EXPECT_EQ(cell.length, c.length);
    EXPECT_EQ(cell.cycles, c.cycles);
    EXPECT_EQ(cell.remap, c.remap);
  }
  const sound::SoundCell& a = t->cell(0, 0);
  EXPECT_EQ(a.sample[0], 0.5f);
  EXPECT_EQ(a.sample[1], -1.0f);
  EXPECT_EQ(a.sample[2], 32767 / 32768.0f);
  // Samples are shared by name, tables cached by name.
  EXPECT_EQ(t->cell(1, 0).sample, a.sample);
  EXPECT_EQ(sound::sound_table("@two.tab"), t);
}

TEST_F(SoundTableTest, BrokenTablesFailWithTheirMessage) {
  home.write("ok.raw", raw({1000, -1000}));
  home.write("empty.raw", "");
  home.write("one-byte.raw", "x");
  struct Case {
    const char* name;
    std::string text;
    const char* message;  // nullptr: none
  } cases[] = {
      {"@remap.tab", "SOUNDTABLE 1 2\n1000\n0 1\n-1 1 @ok.raw\n0 x -1 1 @ok.raw\n",
       "(0, 1) Bad remap entry"},
      {"@missing.tab", "SOUNDTABLE 2 1\n1000 2000\n0\n-1 1 @ok.raw\n-1 1 @nope.raw\n",
       "(1, 0) Error reading '@nope.raw'"},
      {"@empty.tab", "SOUNDTABLE 1 1\n1000\n0\n-1 1 @empty.raw\n",
       "(0, 0) Error reading '@empty.raw'"},
      {"@byte.tab", "SOUNDTABLE 1 1\n1000\n0\n-1 1 @one-byte.raw\n",
       "(0, 0) Error reading '@one-byte.raw'"},
      {"@short.tab", "SOUNDTABLE 1 2\n1000\n0 1\n-1 1 @ok.raw\n", "(0, 1) Bad remap entry"},
      {"@header.tab", "SOUNDTABLE 0 2\n", nullptr},
      {"@nothing.tab", "soundtable 1 1\n1000\n0\n-1 1 @ok.raw\n", nullptr},
      {"@speeds.tab", "SOUNDTABLE 3 1\n1000 2000\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::messages_clear();
    home.write(c.name + 1, c.text);
    EXPECT_EQ(sound::sound_table(c.name), nullptr);
    EXPECT_EQ(last_message(), c.message ? c.message : "");
  }
  EXPECT_EQ(sound::sound_table("@not-there.tab"), nullptr);
}

}  // namespace
