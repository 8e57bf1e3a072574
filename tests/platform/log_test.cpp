// log_test.cpp -- the log's stamps, how it picks and opens its file, and its controls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "platform/log_internal.h"
#include "platform/platform.h"
#include "support/test_support.h"

using test_support::read_file;
using test_support::TempDir;

namespace {

// Every test starts with a log that has never been opened and no log
// variables in the environment.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    platform::log_reset_for_test();
    unsetenv("TAVO_LOGFILE");
    unsetenv("TAVO_LOGFILE_FLAGS");
  }
  TempDir dir;
};

// Entries without their "[h:mm:ss.hh] " stamps, one per line.
std::string without_stamps(const std::string& text) {
  return std::regex_replace(text, std::regex(R"(\[\d+:\d\d:\d\d\.\d\d\] )"), "");
}

}  // namespace

TEST(LogStamp, HoursMinutesSecondsHundredths) {
  struct Case {
    std::uint64_t ms;
    const char* stamp;
  } cases[] = {
      {0, "[0:00:00.00] "},
      {3725120, "[1:02:05.12] "},
      {59999, "[0:00:59.99] "},
      {36000000, "[10:00:00.00] "},
      {1000ull * 3600 * 1000, "[1000:00:00.00] "},  // a machine up for six weeks
  };
  for (const Case& c : cases) {
    char stamp[48];
    platform::format_log_stamp(stamp, sizeof stamp, c.ms);
    EXPECT_STREQ(stamp, c.stamp) << c.ms;
  }
}

TEST_F(LogTest, FileNameFromEnvironmentPrefixesAndFlags) {
  struct Case {
    const char* prefix;  // before the file name in TAVO_LOGFILE
    const char* flags;   // TAVO_LOGFILE_FLAGS, or nullptr
    bool keeps_old;      // opened for appending
  } cases[] = {
      {"", nullptr, false},  {">", nullptr, false},
      {">>", nullptr, true}, {">", "a", true},  // the flags win over the name's prefix
      {">>", "w", false},    {"", "a", true},
  };
  for (const Case& c : cases) {
    clean();
    const std::string path = dir.write("game.log", "old line\n");
    setenv("TAVO_LOGFILE", (std::string(c.prefix) + path).c_str(), 1);
    if (c.flags) setenv("TAVO_LOGFILE_FLAGS", c.flags, 1);
    platform::log("hello %d\n", 7);
    platform::log_close();

    const std::string text = without_stamps(read_file(path));
    const std::string fresh = "Logfile \"" + path + "\" opened\nTAVO 0.31\nhello 7\n";
    EXPECT_EQ(text, c.keeps_old ? "old line\n" + fresh : fresh)
        << "prefix '" << c.prefix << "' flags " << (c.flags ? c.flags : "(unset)");
  }
}

TEST_F(LogTest, EveryEntryIsStamped) {
  const std::string path = dir.file("stamped.log");
  setenv("TAVO_LOGFILE", path.c_str(), 1);
  platform::log("first\n");
  platform::log("second\n");
  platform::log_close();
  const std::string text = read_file(path);
  EXPECT_TRUE(std::regex_match(text, std::regex(R"((\[\d+:\d\d:\d\d\.\d\d\] [^\n]*\n){4})")))
      << text;
}

TEST_F(LogTest, DirectiveNamesTheFileOnlyOnTheFirstCall) {
  const std::string first = dir.file("first.log");
  const std::string second = dir.file("second.log");
  platform::log_directive(first.c_str());
  platform::log_directive(second.c_str());  // now just an entry
  platform::log("entry\n");
  platform::log_close();

  EXPECT_FALSE(test_support::file_exists(second));
  EXPECT_EQ(without_stamps(read_file(first)),
            "Logfile \"" + first + "\" opened\nTAVO 0.31\nTAVO_LOGFILE=" + second + "entry\n");
}

TEST_F(LogTest, EnvironmentWinsOverDirective) {
  const std::string from_env = dir.file("env.log");
  const std::string from_directive = dir.file("directive.log");
  setenv("TAVO_LOGFILE", from_env.c_str(), 1);
  platform::log_directive(from_directive.c_str());
  platform::log("x\n");
  platform::log_close();
  EXPECT_TRUE(test_support::file_exists(from_env));
  EXPECT_FALSE(test_support::file_exists(from_directive));
}

TEST_F(LogTest, WithoutAFileNameEntriesAreDropped) {
  platform::log("nowhere\n");
  EXPECT_FALSE(platform::log_is_open());
  // A later directive does not open a file either: the log was initialised.
  platform::log_directive(dir.file("late.log").c_str());
  EXPECT_FALSE(test_support::file_exists(dir.file("late.log")));
}

TEST_F(LogTest, ClosedLogNeverReopens) {
  const std::string path = dir.file("closed.log");
  setenv("TAVO_LOGFILE", path.c_str(), 1);
  platform::log("before\n");
  platform::log_close();
  platform::log("after\n");
  EXPECT_FALSE(platform::log_is_open());
  EXPECT_EQ(without_stamps(read_file(path)).find("after"), std::string::npos);
}

TEST_F(LogTest, FlushControlsWriteNothing) {
  const std::string path = dir.file("flush.log");
  setenv("TAVO_LOGFILE", path.c_str(), 1);
  platform::log("a\n");
  EXPECT_TRUE(platform::log_flushing());
  platform::log_control("NOFLUSH");
  EXPECT_FALSE(platform::log_flushing());
  platform::log_control("FLUSHX");  // not a control word: ignored, not written
  EXPECT_FALSE(platform::log_flushing());
  platform::log_control("FLUSH");
  EXPECT_TRUE(platform::log_flushing());
  platform::log("b\n");
  // With flushing on, the entry is on disk before the log is closed.
  EXPECT_EQ(without_stamps(read_file(path)), "Logfile \"" + path + "\" opened\nTAVO 0.31\na\nb\n");
  platform::log_close();
}

TEST_F(LogTest, PlatformErrorIsLoggedAndKept) {
  const std::string path = dir.file("error.log");
  setenv("TAVO_LOGFILE", path.c_str(), 1);
  EXPECT_STREQ(platform::last_platform_error(), "Unknown");
  {
    std::string transient = "socket closed";
    platform::platform_error(transient.c_str());
  }
  EXPECT_STREQ(platform::last_platform_error(), "socket closed");
  platform::log_close();
  EXPECT_NE(read_file(path).find("Error: socket closed\n"), std::string::npos);
}
