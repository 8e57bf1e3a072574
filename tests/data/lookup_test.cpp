// lookup_test.cpp -- search directories, the file table with packs, and reading DataStreams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "support/test_support.h"

using test_support::make_pack;

using test_support::TempDir;

namespace {

// Everything a data name reads, or "<missing>".
std::string read_all(const char* name) {
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return "<missing>";
  std::string text;
  for (int c = data::ds_getc(stream); c >= 0; c = data::ds_getc(stream))
    text.push_back(static_cast<char>(c));
  data::close_data(stream);
  return text;
}

std::vector<std::string> names() {
  std::vector<std::string> out;
  for (const char* const* name = data::data_names(); *name; ++name) out.emplace_back(*name);
  return out;
}

using LookupTest = test_support::DataFoldersTest;

}  // namespace

TEST_F(LookupTest, SearchDirectoriesInOrder) {
  EXPECT_EQ(data::search_directory_count(), 2);
  EXPECT_EQ(std::string(data::search_directory(0)), xdg.path() + "/Korvex/");
  EXPECT_EQ(std::string(data::search_directory(1)), home.path() + "/");
  EXPECT_EQ(data::search_directory(2), nullptr);

  // Without KV_HOME the executable's folder is searched instead.
  unsetenv("KV_HOME");
  data::data_reset_for_test();
  const std::string exe_dir = data::search_directory(1);
  EXPECT_EQ(exe_dir.back(), '/');
  EXPECT_TRUE(test_support::file_exists(exe_dir + "data_tests")) << exe_dir;
}

TEST_F(LookupTest, PathsAreJoinedWithSingleSlashes) {
  setenv("KV_HOME", (home.path() + "//sub\\dir//").c_str(), 1);
  data::data_reset_for_test();
  EXPECT_EQ(std::string(data::search_directory(1)), home.path() + "/sub/dir/");
  home.write("sub/dir/a/b.txt", "joined");
  EXPECT_EQ(read_all("@/a//b.txt"), "joined");
  EXPECT_EQ(read_all("@a\\b.txt"), "joined");
}

TEST_F(LookupTest, WhichCopyWins) {
  xdg.write(user_file("config"), "per-user");
  home.write("config", "shipped");
  home.write("b.saf", make_pack({{"shared.txt", "from b"}, {"Mixed/Case.TXT", "packed"}}));
  home.write("a.saf", make_pack({{"shared.txt", "from a"}, {"loose.txt", "packed"}}));
  home.write("loose.txt", "loose");

  struct Case {
    const char* name;
    const char* contents;
  } cases[] = {
      {"@config", "per-user"},        // the per-user folder comes first
      {"@shared.txt", "from a"},      // the pack whose own name sorts first
      {"@loose.txt", "loose"},        // plain files beat packs
      {"@mixed/case.txt", "packed"},  // pack lookups ignore case
      {"@nothing.txt", "<missing>"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_all(c.name), c.contents) << c.name;
  EXPECT_EQ(read_all((home.path() + "/config").c_str()), "shipped");  // a plain path
}

TEST_F(LookupTest, MalformedPacksAddNothing) {
  home.write("good.saf", make_pack({{"good.txt", "ok"}}));
  home.write("no_end.saf", "2 a.txt\n3 b.txt\nabcde");
  home.write("bad_line.saf", "2 c.txt\nxx d.txt\n-\nccxx");
  home.write("long_line.saf", "1 " + std::string(1100, 'e') + "\n-\ne");
  home.write("cut.saf", "2 f.txt\n-");
  home.write("negative.saf", "-5 g.txt\n-\n");

  const std::vector<std::string> listed = names();
  for (const char* gone : {"a.txt", "b.txt", "c.txt", "d.txt", "g.txt"}) {
    EXPECT_EQ(std::count(listed.begin(), listed.end(), gone), 0) << gone;
  }
  EXPECT_EQ(read_all("@good.txt"), "ok");
  EXPECT_EQ(read_all("@f.txt"), "<missing>");
}

TEST_F(LookupTest, IndexNamesKeepASpaceAndLoseDoubleSlashes) {
  home.write("p.saf", "3  spaced.txt\n3 dir//inner///x.txt\n-\nabcxyz");
  EXPECT_EQ(read_all("@ spaced.txt"), "abc");
  EXPECT_EQ(read_all("@dir/inner/x.txt"), "xyz");
  const std::vector<std::string> listed = names();
  EXPECT_NE(std::find(listed.begin(), listed.end(), " spaced.txt"), listed.end());
}

TEST_F(LookupTest, PackEntriesEndAtTheirSize) {
  home.write("p.saf", make_pack({{"one.bin", "0123456789"}, {"two.bin", "ABCDEF"}}));
  data::DataStream* s = data::open_data("@one.bin", "rb");
  ASSERT_NE(s, nullptr);
  char buffer[64] = {};
  EXPECT_EQ(data::ds_peek(s), '0');
  EXPECT_EQ(data::ds_read(s, buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(data::ds_read(s, buffer, sizeof buffer), 6u);  // only what is left
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(data::ds_getc(s), -1);
  EXPECT_EQ(data::ds_peek(s), -1);

  EXPECT_EQ(data::ds_seek(s, 8), 1);
  EXPECT_EQ(data::ds_getc(s), '8');
  EXPECT_EQ(s->position, 9);
  EXPECT_EQ(data::ds_seek(s, 10), 0);  // not below the length
  EXPECT_EQ(data::ds_seek(s, -1), 0);
  data::close_data(s);

  s = data::open_data("@two.bin", "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(data::ds_read_line(s, buffer, sizeof buffer), buffer);
  EXPECT_STREQ(buffer, "ABCDEF");
  EXPECT_EQ(data::ds_read_line(s, buffer, sizeof buffer), nullptr);
  data::close_data(s);
}

TEST_F(LookupTest, ReadLineStopsAtLineFeedOrSize) {
  home.write("lines.txt", "first\nsecond line\n\nlast");
  data::DataStream* s = data::open_data("@lines.txt", "rb");
  ASSERT_NE(s, nullptr);
  char buffer[8];
  std::vector<std::string> got;
  while (data::ds_read_line(s, buffer, sizeof buffer)) got.emplace_back(buffer);
  EXPECT_EQ(got, (std::vector<std::string>{"first\n", "second ", "line\n", "\n", "last"}));
  EXPECT_EQ(data::ds_read_line(s, buffer, 1), nullptr);  // no room for a byte
  data::close_data(s);
}

TEST_F(LookupTest, PeekedByteCountsOnce) {
  home.write("p.txt", "xy");
  data::DataStream* s = data::open_data("@p.txt", "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(data::ds_peek(s), 'x');
  EXPECT_EQ(data::ds_peek(s), 'x');
  EXPECT_EQ(s->position, 1);
  EXPECT_EQ(data::ds_getc(s), 'x');
  EXPECT_EQ(s->position, 1);
  EXPECT_EQ(data::ds_getc(s), 'y');
  EXPECT_EQ(s->position, 2);
  data::close_data(s);
}

TEST_F(LookupTest, WritingGoesToThePerUserFolder) {
  data::DataStream* out = data::open_data("@demos/rabbithill/lastlap.kvdemo", "wb");
  ASSERT_NE(out, nullptr);
  data::ds_printf(out, "%s %d\n", "lap", 3);
  data::ds_puts(out, "end");
  data::ds_putc(out, '!');
  data::close_data(out);
  EXPECT_EQ(test_support::read_file(xdg.file(user_file("demos/rabbithill/lastlap.kvdemo"))),
            "lap 3\nend!");

  // Reading streams refuse writes.
  data::DataStream* in = data::open_data("@demos/rabbithill/lastlap.kvdemo", "rb");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(data::ds_write(in, "x", 1), 0u);
  data::close_data(in);

  // Files written after the table was built are still found directly.
  EXPECT_EQ(read_all("@demos/rabbithill/lastlap.kvdemo"), "lap 3\nend!");
}

TEST_F(LookupTest, ReplaceRenamesOverTheTarget) {
  xdg.write(user_file("config.tmp"), "new");
  xdg.write(user_file("config"), "old");
  EXPECT_EQ(data::replace_data("@config.tmp", "@config"), 1);
  EXPECT_EQ(read_all("@config"), "new");
  EXPECT_FALSE(test_support::file_exists(xdg.file(user_file("config.tmp"))));
  // A failed replace leaves the target alone.
  EXPECT_EQ(data::replace_data("@missing.tmp", "@config"), 0);
  EXPECT_EQ(read_all("@config"), "new");
}

TEST_F(LookupTest, DescribeEntry) {
  home.write("p.saf", make_pack({{"x.txt", "x"}}));
  char text[512];
  std::vector<std::string> described;
  for (int i = 0; data::describe_entry(i, text, sizeof text); ++i) described.emplace_back(text);
  EXPECT_EQ(described.size(), 2u);  // the pack itself and its entry
  EXPECT_NE(std::find(described.begin(), described.end(), "x.txt -> " + home.path() + "/p.saf"),
            described.end());
  EXPECT_EQ(data::describe_entry(-1, text, sizeof text), 0);
  char tiny[4];
  EXPECT_EQ(data::describe_entry(0, tiny, sizeof tiny), 1);
  EXPECT_EQ(std::strlen(tiny), 3u);  // cut to the buffer
}

TEST(PackWriter, WritesWhatTheReaderReads) {
  TempDir source;
  source.write("b/desc", "Beta");
  source.write("a.txt", "alpha");
  source.write("empty", "");
  TempDir out;
  ASSERT_TRUE(data::write_pack(source.path().c_str(), out.file("zzzz.saf").c_str()));
  EXPECT_EQ(test_support::read_file(out.file("zzzz.saf")),
            "5 a.txt\n4 b/desc\n0 empty\n-\nalphaBeta");

  setenv("KV_HOME", out.path().c_str(), 1);
  setenv("XDG_DATA_HOME", out.file("nobody").c_str(), 1);
  data::data_reset_for_test();
  EXPECT_EQ(read_all("@b/desc"), "Beta");
  EXPECT_EQ(read_all("@empty"), "");
  unsetenv("KV_HOME");
  unsetenv("XDG_DATA_HOME");
  data::data_reset_for_test();
}

// Links to folders are followed, but a loop of links (a folder linked into itself, two
// folders linked to each other, a link up to "/") scans no folder twice: every file is
// listed once, by the first path met, and start-up does not wander over the whole disk.
TEST_F(LookupTest, LinkedFoldersAreScannedOnce) {
  home.write("a/one.txt", "1");
  home.write("b/two.txt", "2");
  home.write("elsewhere/three.txt", "3");
  const std::string root = home.path();
  ASSERT_EQ(symlink(".", (root + "/a/self").c_str()), 0);
  ASSERT_EQ(symlink("../b", (root + "/a/to_b").c_str()), 0);
  ASSERT_EQ(symlink("../a", (root + "/b/to_a").c_str()), 0);
  ASSERT_EQ(symlink("/", (root + "/a/everything").c_str()), 0);
  ASSERT_EQ(symlink("..", (root + "/b/up").c_str()), 0);
  const TempDir outside;
  outside.write("linked/four.txt", "4");
  ASSERT_EQ(symlink((outside.path() + "/linked").c_str(), (root + "/linked").c_str()), 0);
  data::data_reset_for_test();

  std::vector<std::string> found;
  for (const std::string& name : names()) {
    if (name.find(".txt") != std::string::npos) found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  // b is met first through a's link (a sorts before b) or directly; either way once.
  ASSERT_EQ(found.size(), 4u) << ::testing::PrintToString(found);
  EXPECT_EQ(std::count_if(found.begin(), found.end(),
                          [](const std::string& n) { return n.ends_with("one.txt"); }),
            1);
  EXPECT_EQ(std::count_if(found.begin(), found.end(),
                          [](const std::string& n) { return n.ends_with("two.txt"); }),
            1);
  EXPECT_NE(std::find(found.begin(), found.end(), "elsewhere/three.txt"), found.end());
  EXPECT_NE(std::find(found.begin(), found.end(), "linked/four.txt"), found.end());
}

// An empty KV_HOME is no data folder: it would name "/", the whole disk.
TEST_F(LookupTest, EmptyKvHomeCountsAsUnset) {
  setenv("KV_HOME", "", 1);
  data::data_reset_for_test();
  const std::string exe_dir = data::search_directory(1);
  EXPECT_NE(exe_dir, "/");
  EXPECT_TRUE(test_support::file_exists(exe_dir + "data_tests")) << exe_dir;
}
