// billboards_test.cpp -- the billboards file with its colour prefixes, its writer, and flaggers.
#include <gtest/gtest.h>

#include <string>

#include "race/race.h"
#include "race/track_fixtures.h"
#include "support/test_support.h"

namespace {

using race::Track;
using track_fixtures::kGround;

using BillboardsTest = track_fixtures::TrackTest;

TEST_F(BillboardsTest, ColourPrefixesSetTheColourOrStayPartOfTheName) {
  struct Case {
    const char* text;
    unsigned char r, g, b;
    const char* texture;
  } cases[] = {
      {"#ff8000#cone.png", 255, 128, 0, "cone.png"},
      {"#FF80zz#cone.png", 255, 255, 255, "#FF80zz#cone.png"},
      {"#0a0B0c#", 10, 11, 12, ""},
      {"#ff8000cone.png", 255, 255, 255, "#ff8000cone.png"},
      {"#ff80#a", 255, 255, 255, "#ff80#a"},
      {"plain.png", 255, 255, 255, "plain.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Track track;
    race::read_billboards(text(std::string("[1 2 3] 4 0.5 ") + c.text + "\n"), track);
    ASSERT_EQ(track.billboards.size(), 1u);
    const race::Billboard& b = track.billboards[0];
    EXPECT_EQ(b.color[0], c.r);
    EXPECT_EQ(b.color[1], c.g);
    EXPECT_EQ(b.color[2], c.b);
    EXPECT_EQ(b.color[3], 255);
    EXPECT_EQ(b.texture, c.texture);
  }
}

TEST_F(BillboardsTest, RecordsStandOnTheGroundUntilOneIsMalformed) {
  load_ground();
  Track track;
  race::add_billboard(track, 0, 0, 0, 1, 1, "");  // one before the file's
  race::read_billboards(text("[ 8 2 16 ] 4 0.5 a.png\n[9 0 9] 1 1 b.png [1 2] 3 4 c.png\n"
                             "[5 5 5] 1 1 d.png\n"),
                        track);
  EXPECT_EQ(track.first_file_billboard, 1);
  ASSERT_EQ(track.billboards.size(), 3u);
  ASSERT_EQ(track.billboard_render.size(), 3u);
  const race::Billboard& b = track.billboards[1];
  EXPECT_EQ(b.x, 8);
  EXPECT_FLOAT_EQ(b.y, kGround + 2);
  EXPECT_EQ(b.y_offset, 2);
  EXPECT_EQ(b.z, 16);
  EXPECT_EQ(b.size, 4);
  EXPECT_EQ(b.width_factor, 0.5f);
  EXPECT_EQ(track.billboards[2].texture, "b.png");
}

TEST_F(BillboardsTest, WrittenFileReadsBackTheSame) {
  Track track;
  race::add_billboard(track, 0, 0, 0, 1, 1, "@flagger.png");  // before the file's: not written
  race::read_billboards(text("[1.5 2 3] 4 0.5 a.png\n"
                             "[4 5 6] 1 2 #ff8000#cone.png\n"
                             "[7 8 9] 1 1 #ffffff##00ff00#odd.png\n"),
                        track);
  race::add_billboard(track, 1, 1, 1, 1, 1, "");  // no texture: not written
  ASSERT_TRUE(race::write_billboards(track, "@saved"));
  const std::string written = test_support::read_file(xdg.file(user_file("saved/billboards")));
  EXPECT_EQ(written,
            "[1.500000 2.000000 3.000000] 4.000000 0.500000 a.png\n"
            "[4.000000 5.000000 6.000000] 1.000000 2.000000 #ff8000#cone.png\n"
            "[7.000000 8.000000 9.000000] 1.000000 1.000000 #ffffff##00ff00#odd.png\n");
  Track again;
  race::read_billboards(text(written), again);
  ASSERT_EQ(again.billboards.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const race::Billboard& a = track.billboards[i + 1];
    const race::Billboard& b = again.billboards[i];
    EXPECT_EQ(a.texture, b.texture);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.color), 4),
              std::string(reinterpret_cast<const char*>(b.color), 4));
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y_offset, b.y_offset);
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.width_factor, b.width_factor);
  }
}

TEST_F(BillboardsTest, FlaggersMakeBillboardsAndClampTheirCheckpoints) {
  load_ground();
  Track track;
  track.checkpoints.resize(3);
  race::read_flaggers(text("[1 2 3] [4 0 6] 5 0.5 2.5 s1 s2 s3 s4 s5\n"
                           "[7 1 9] 3 1 f1 f2 f3 f4\n"
                           "[10 0 10] 2 1 -5 0 2 9 c1 c2\n"
                           "[11 0 11] 2 1 1 1 1 1 d1\n"),
                      track);
  const race::Flaggers& f = track.flaggers;
  ASSERT_EQ(f.start.billboard, 0);
  EXPECT_EQ(track.billboards[0].texture, "s1");
  EXPECT_FLOAT_EQ(track.billboards[0].y, kGround + 2);
  EXPECT_FLOAT_EQ(f.start.second_point.y, kGround);
  // Both ends of the starter's walk: the billboard's spot, then the second point.
  EXPECT_EQ(f.start.first_point.x, 1);
  EXPECT_FLOAT_EQ(f.start.first_point.y, kGround + 2);
  EXPECT_EQ(f.start.first_point.z, 3);
  EXPECT_EQ(f.start.second_point.x, 4);
  EXPECT_EQ(f.start.second_point.z, 6);
  EXPECT_EQ(f.start.duration, 2.5f);
  EXPECT_EQ(f.start.textures[4], "s5");
  ASSERT_EQ(f.finish.billboard, 1);
  EXPECT_EQ(f.finish.textures[3], "f4");
  EXPECT_EQ(track.billboards[1].size, 3);
  // The last flagger lacks its second texture: reading stops, what was read stays.
  ASSERT_EQ(f.course.size(), 2u);
  EXPECT_EQ(f.course[0].billboard, 2);
  EXPECT_EQ(f.course[0].textures[1], "c2");
  EXPECT_EQ(std::vector<int>(f.course[0].checkpoints, f.course[0].checkpoints + 4),
            (std::vector<int>{-1, 0, 2, 2}));
  EXPECT_EQ(f.course[1].textures[0], "d1");
  EXPECT_EQ(track.billboards.size(), 4u);
}

TEST_F(BillboardsTest, FlaggersStopAtTheFirstMismatch) {
  struct Case {
    const char* file;
    int billboards;
    bool start, finish;
  } cases[] = {
      {"[1 2 3] [4 0 6] 5 0.5\n", 0, false, false},
      {"[1 2 3] [4 0 6] 5 0.5 1 s1 s2\n[7 1 9] 3 1 f1 f2 f3 f4\n", 1, true, false},
      {"[1 2 3] [4 0 6] 5 0.5 1 s1 s2 s3 s4 s5\n[7 1] 3 1 f1\n", 1, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Track track;
    race::read_flaggers(text(c.file), track);
    EXPECT_EQ(static_cast<int>(track.billboards.size()), c.billboards);
    EXPECT_EQ(track.flaggers.start.billboard >= 0, c.start);
    EXPECT_EQ(track.flaggers.finish.billboard >= 0, c.finish);
    EXPECT_TRUE(track.flaggers.course.empty());
  }
}

}  // namespace
