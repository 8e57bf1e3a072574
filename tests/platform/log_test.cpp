// log_test.cpp -- the log's stamps, naming, modes and controls.
#include <gtest/gtest.h>

#include "platform/platform.h"

TEST(LogStamp, Placeholder) {
  char stamp[48];
  platform::format_log_stamp(stamp, sizeof stamp, 3725120);
  EXPECT_STREQ(stamp, "[1:02:05.12] ");
}
