// startup_check_test.cpp -- the start-up checks of the machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/log_internal.h"
#include "platform/platform.h"
#include "support/test_support.h"

using test_support::TempDir;

namespace {

// Every test starts with a log that has never been opened and no log
// variables in the environment.
class StartupCheckTest : public ::testing::Test {
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

}  // namespace

TEST_F(StartupCheckTest, WorkingSetIsLoggedHonestly) {
  setenv("TAVO_LOGFILE", dir.file("ws.log").c_str(), 1);
  platform::set_working_set();
  platform::log_close();
  const std::string text = test_support::read_file(dir.file("ws.log"));
  EXPECT_NE(text.find("Setting working set range to "), std::string::npos);
  // Linux cannot pin a resident set: never reported as a success.
  EXPECT_EQ(text.find("Working set successfully updated"), std::string::npos);
  EXPECT_NE(text.find("Working set update failed\n"), std::string::npos);
  unsetenv("TAVO_LOGFILE");
}
