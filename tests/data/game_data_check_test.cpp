// game_data_check_test.cpp -- the start-up log in the per-user folder and the game-data check.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "data/data.h"
#include "platform/log_internal.h"
#include "platform/platform.h"
#include "support/test_support.h"

using test_support::TempDir;

namespace {

std::string sha1_of(const std::string& bytes) {
  platform::Sha1 sha;
  platform::sha1_begin(sha);
  platform::sha1_add(sha, bytes.data(), bytes.size());
  char hex[41];
  platform::sha1_finish_hex(sha, hex);
  return hex;
}

// The per-user folder and KV_HOME point into temporary folders, and the log
// has never been opened.
class GameDataCheckTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    unsetenv("TAVO_LOGFILE");
    unsetenv("TAVO_LOGFILE_FLAGS");
    platform::log_reset_for_test();
  }
  void TearDown() override {
    platform::log_reset_for_test();
    DataFoldersTest::TearDown();
  }
};

}  // namespace

TEST_F(GameDataCheckTest, LogGoesToLastlogInTheCreatedPerUserFolder) {
  EXPECT_EQ(data::open_startup_log_and_check_data(sha1_of("no such pack").c_str()), 0);
  platform::log("after the check\n");
  platform::log_close();
  const std::string text = test_support::read_file(xdg.file("Korvex/lastlog.txt"));
  EXPECT_NE(text.find("TAVO 0.31\n"), std::string::npos);
  EXPECT_NE(text.find("after the check\n"), std::string::npos);
}

TEST_F(GameDataCheckTest, PackDigestDecidesWhetherDataIsThere) {
  const std::string pack = "9 hello.txt\n-\nhello pak";
  home.write("zzzz.saf", pack);
  struct Case {
    std::string reference;
    int present;
  } cases[] = {
      {sha1_of(pack), 1},
      {sha1_of(pack + "x"), 0},  // a stale or foreign pack
      {"not a digest", 0},
  };
  for (const Case& c : cases) {
    platform::log_reset_for_test();
    EXPECT_EQ(data::open_startup_log_and_check_data(c.reference.c_str()), c.present) << c.reference;
  }
}

TEST_F(GameDataCheckTest, OnlyTheFirstMebibyteCounts) {
  const std::string first(1048576, 'k');
  home.write("zzzz.saf", first + "anything after the first MiB");
  EXPECT_EQ(data::open_startup_log_and_check_data(sha1_of(first).c_str()), 1);
}

TEST_F(GameDataCheckTest, PerUserPackIsCheckedToo) {
  const std::string pack = "1 a\n-\na";
  xdg.write("Korvex/zzzz.saf", pack);
  home.write("zzzz.saf", "something else");
  EXPECT_EQ(data::open_startup_log_and_check_data(sha1_of(pack).c_str()), 1);
}
