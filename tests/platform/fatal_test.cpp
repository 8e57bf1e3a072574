// fatal_test.cpp -- the out-of-memory sequence, xmalloc, the string pool and SHA-1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

TEST(StringPool, EqualTextsShareOnePointer) {
  const char* a = platform::intern("rabbithill");
  std::string copy = "rabbithill";
  EXPECT_EQ(platform::intern(copy.c_str()), a);
  EXPECT_NE(platform::intern("Rabbithill"), a);  // case-sensitive

  // Well past the pool's first capacity, every text still has one copy.
  std::vector<const char*> first;
  for (int i = 0; i < 100; ++i)
    first.push_back(platform::intern(("texture" + std::to_string(i)).c_str()));
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(platform::intern(("texture" + std::to_string(i)).c_str()), first[i]);
    EXPECT_STREQ(first[i], ("texture" + std::to_string(i)).c_str());
  }
}

TEST(Xmalloc, ZeroBytesIsStillABlock) {
  void* block = platform::xmalloc(0);
  EXPECT_NE(block, nullptr);
  std::free(block);
}

namespace {
void report_audio() { std::fputs("[audio closed]", stderr); }
void report_window() { std::fputs("[window closed]", stderr); }
void report_box(const char* title, const char* text) {
  std::fprintf(stderr, "[box %s: %s]", title, text);
}
}  // namespace

TEST(FatalSequenceDeathTest, ClosesAudioThenWindowShowsBoxExitsOne) {
  EXPECT_EXIT(
      {
        platform::set_fatal_box_handler(report_box);
        platform::set_fatal_audio_closer(report_audio);
        platform::set_fatal_window_closer(report_window);
        platform::fatal_out_of_memory();
      },
      ::testing::ExitedWithCode(1),
      R"(\[audio closed\]\[window closed\]\[box Error: Out of virtual memory\])");
}

#if defined(__SANITIZE_ADDRESS__)
#define KORVEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVEX_ASAN 1
#endif
#endif

// A C++ allocation that cannot succeed ends the program the same way, not with an uncaught
// std::bad_alloc that leaves audio and window open.
TEST(FatalSequenceDeathTest, AFailedNewRunsTheSequence) {
#ifdef KORVEX_ASAN
  GTEST_SKIP() << "AddressSanitizer reports an impossible allocation itself";
#else
  EXPECT_EXIT(
      {
        platform::set_fatal_box_handler(report_box);
        platform::set_fatal_audio_closer(report_audio);
        platform::set_fatal_window_closer(report_window);
        platform::install_out_of_memory_handler();
        volatile std::size_t impossible = std::size_t{1} << 52;  // 4 PiB
        std::string text(impossible, 'x');
        std::fprintf(stderr, "allocated %zu\n", text.size());
      },
      ::testing::ExitedWithCode(1),
      R"(\[audio closed\]\[window closed\]\[box Error: Out of virtual memory\])");
#endif
}

TEST(FatalSequenceDeathTest, WithoutADisplayTheBoxGoesToStandardError) {
  EXPECT_EXIT(
      {
        platform::fatal_box("Problem starting Korvex", "Can't find game data\n");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "Problem starting Korvex: Can't find game data");
}

TEST(Sha1, DigestsAndHexRoundTrip) {
  struct Case {
    std::string input;
    const char* hex;
  } cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const Case& c : cases) {
    platform::Sha1 sha;
    platform::sha1_begin(sha);
    // Fed in uneven pieces, as the data checks do.
    for (std::size_t at = 0; at < c.input.size(); at += 997) {
      platform::sha1_add(sha, c.input.data() + at, std::min<std::size_t>(997, c.input.size() - at));
    }
    char hex[41];
    platform::sha1_finish_hex(sha, hex);
    EXPECT_STREQ(hex, c.hex);
    unsigned char raw[20];
    ASSERT_TRUE(platform::sha1_parse_hex(c.hex, raw));
    char again[41];
    for (int i = 0; i < 20; ++i) std::snprintf(again + 2 * i, 3, "%02x", raw[i]);
    EXPECT_STREQ(again, c.hex);
  }
  unsigned char raw[20];
  EXPECT_TRUE(platform::sha1_parse_hex("DA39A3EE5E6B4B0D3255BFEF95601890AFD80709", raw));
  EXPECT_FALSE(platform::sha1_parse_hex("da39a3ee", raw));  // too short
  EXPECT_FALSE(platform::sha1_parse_hex("za39a3ee5e6b4b0d3255bfef95601890afd80709", raw));
  EXPECT_FALSE(platform::sha1_parse_hex("da39a3ee5e6b4b0d3255bfef95601890afd807090", raw));
  EXPECT_FALSE(platform::sha1_parse_hex(nullptr, raw));
}
