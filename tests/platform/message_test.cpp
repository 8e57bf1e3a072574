// message_test.cpp -- the on-screen message ring, its timing, and what reaches the log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/log_internal.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_capture.start();
    platform::set_game_time(100.0);
    platform::set_message_lines(5);
    platform::messages_clear();
  }
  void TearDown() override { log_capture.stop(); }
  std::string logged() { return log_capture.text(); }
  test_support::LogCapture log_capture{"messages.log"};
};

}  // namespace

TEST_F(MessageTest, NewestShowsTwoSecondsThenOneLineLeavesEveryFive) {
  for (int i = 0; i < 6; ++i) platform::messagef("message %d", i);
  EXPECT_EQ(platform::visible_message_count(), 5);
  EXPECT_STREQ(platform::visible_message(0), "message 1");  // oldest shown first
  EXPECT_STREQ(platform::visible_message(4), "message 5");

  struct Step {
    double time;
    int visible;
  } steps[] = {
      {101.0, 5},  {102.0, 5},  // not past the hide time yet
      {102.01, 4}, {106.0, 4},  {107.0, 4},  {107.02, 3},
      {112.03, 2}, {117.04, 1}, {122.05, 0}, {200.0, 0},
  };
  for (const Step& step : steps) {
    platform::set_game_time(step.time);
    platform::messages_update();
    EXPECT_EQ(platform::visible_message_count(), step.visible) << "at " << step.time;
  }
}

TEST_F(MessageTest, ScreenKeeps127CharactersLogGetsAll) {
  const std::string long_text(200, 'x');
  platform::message(long_text.c_str());
  EXPECT_EQ(std::string(platform::visible_message(0)), long_text.substr(0, 127));
  EXPECT_NE(logged().find(long_text + "\n"), std::string::npos);
}

TEST_F(MessageTest, NewlineAndColourResetInTheLog) {
  platform::message("plain");
  platform::message("ends in newline\n");
  platform::message("\x1b[31mred\x1b[0m text");
  const std::string text = logged();
  EXPECT_NE(text.find("] plain\n"), std::string::npos);
  EXPECT_NE(text.find("] ends in newline\n["), std::string::npos);  // no second newline
  EXPECT_NE(text.find("] \x1b[31mred\x1b[0m text\x1b[0m\n"), std::string::npos);
  // The ring keeps the trailing newline as given.
  EXPECT_STREQ(platform::visible_message(1), "ends in newline\n");
}

TEST_F(MessageTest, RingWrapsAfterAThousandMessages) {
  for (int i = 0; i < platform::kMessageSlots + 1; ++i) platform::messagef("m%d", i);
  // The 1001st message took the first slot; the newest five are shown.
  EXPECT_STREQ(platform::visible_message(4), "m1000");
  EXPECT_STREQ(platform::visible_message(3), "m999");
  EXPECT_STREQ(platform::visible_message(0), "m996");
}

TEST_F(MessageTest, MaximumVisibleFollowsMessageLines) {
  platform::set_message_lines(2);
  for (int i = 0; i < 4; ++i) platform::messagef("m%d", i);
  EXPECT_EQ(platform::visible_message_count(), 2);
  EXPECT_STREQ(platform::visible_message(0), "m2");
  platform::set_message_lines(100000);  // more than the ring holds
  EXPECT_EQ(platform::message_lines(), platform::kMessageSlots);
  EXPECT_STREQ(platform::visible_message(7), "");  // out of range is empty, not garbage
}
