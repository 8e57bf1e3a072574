// startup_test.cpp -- the korvex executable as a player starts it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "support/test_support.h"

using test_support::read_file;
using test_support::run_korvex;
using test_support::TempDir;

// With the build's own game data (beside the executable) start-up gets as
// far as parsing the command line and listing the tracks.
TEST(Startup, CommandLineOutcomes) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> stderr_lines;
  } cases[] = {
      {{"--bogus"}, 1, {"bad option '--bogus'"}},
      {{"a.kvdemo", "b.kvdemo"}, 1, {"Too many files!"}},
      {{"--texture-detail", "x"}, 1, {"Bad arg for --texture-detail"}},
      {{"--fake-lag"}, 1, {"Bad arg for --fake-lag"}},
  };
  for (const auto& c : cases) {
    TempDir user;
    const auto result = run_korvex(c.args, test_support::korvex_env(user));
    EXPECT_EQ(result.status, c.status) << c.args.front() << "\n" << result.err;
    std::string expected;
    for (const std::string& line : c.stderr_lines) expected += line + "\n";
    EXPECT_EQ(result.err, expected) << c.args.front();
  }
}

// "--bikes" is only a notice: start-up goes on past the command line and the
// track list to the window, which a video driver that does not exist refuses.
TEST(Startup, BikesOptionIsOnlyANotice) {
  TempDir user;
  auto env = test_support::korvex_env(user);
  env["SDL_VIDEODRIVER"] = "no-such-driver";
  const auto result = run_korvex({"--bikes", "3"}, env);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.err.rfind("--bikes doesn't do anything anymore\n", 0), 0u) << result.err;
  const std::string log = read_file(user.file("xdg/Korvex/lastlog.txt"));
  EXPECT_NE(log.find("Can't create window!\n"), std::string::npos) << log;
}

TEST(Startup, WithoutGameDataShowsTheProblemAndExitsZero) {
  TempDir user;
  TempDir empty_data;
  const auto result = run_korvex({"--bogus"}, test_support::korvex_env(user, empty_data.path()));
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.err.find("Problem starting Korvex"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Can't find game data"), std::string::npos) << result.err;

  const std::string log = read_file(user.file("xdg/Korvex/lastlog.txt"));
  EXPECT_TRUE(std::regex_search(log, std::regex(R"(^\[\d+:\d\d:\d\d\.\d\d\] Logfile ")"))) << log;
  EXPECT_NE(log.find("] TAVO 0.31\n"), std::string::npos);
}

TEST(Startup, LogFileVariablesAppendOrTruncate) {
  struct Case {
    const char* prefix;
    const char* flags;
    bool appends;
  } cases[] = {{">>", nullptr, true}, {">", nullptr, false}, {">", "a", true}};
  for (const auto& c : cases) {
    TempDir user;
    const std::string path = user.write("my.log", "previous run\n");
    auto env = test_support::korvex_env(user);
    env["TAVO_LOGFILE"] = c.prefix + path;
    if (c.flags) env["TAVO_LOGFILE_FLAGS"] = c.flags;
    run_korvex({"--bogus"}, env);
    const std::string log = read_file(path);
    EXPECT_EQ(log.rfind("previous run\n", 0) == 0, c.appends) << c.prefix << log;
    EXPECT_NE(log.find("] TAVO 0.31\n"), std::string::npos);
    // The variable wins: no lastlog.txt in the per-user folder.
    EXPECT_FALSE(test_support::file_exists(user.file("xdg/Korvex/lastlog.txt")));
  }
}

TEST(Startup, OpenHomeOpensThePerUserFolderAndReturnsZero) {
  TempDir user;
  // A stand-in for the desktop's opener that records what it was asked.
  const std::string opener =
      user.write("bin/xdg-open", "#!/bin/sh\necho \"$1\" > \"" + user.file("opened") + "\"\n");
  chmod(opener.c_str(), 0755);
  auto env = test_support::korvex_env(user);
  env["PATH"] = user.file("bin");
  const auto result = run_korvex({"--open-home", "--bogus"}, env);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(read_file(user.file("opened")), user.file("xdg/Korvex") + "\n");

  // Without an opener the player is told, and the status is still 0.
  env["PATH"] = user.file("nowhere");
  const auto missing = run_korvex({"--open-home"}, env);
  EXPECT_EQ(missing.status, 0);
  EXPECT_NE(missing.err.find("xdg-open"), std::string::npos) << missing.err;
}

// With a track installed, start-up opens the window and waits in the main
// loop; a signal or the close button ends it through the normal shutdown.
TEST(Startup, SignalsEndTheGameThroughItsShutdown) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    TempDir user;
    TempDir data;
    // The game data check finds the build's own pack in the per-user folder.
    user.write("xdg/Korvex/zzzz.saf", read_file(KORVEX_PACK));
    user.write("xdg/Korvex/config", "video_mode=Windowed\nxres=320\nyres=240\n");
    data.write("practice/terrain.hf", "stand-in");
    data.write("practice/desc", "Practice\n");

    TempDir outputs;
    const auto game = test_support::spawn_program(
        KORVEX_EXE, {}, test_support::korvex_env(user, data.path()), outputs);
    ASSERT_GT(game.pid, 0);
    const std::string log_path = user.file("xdg/Korvex/lastlog.txt");
    bool in_loop = false;
    for (int wait = 0; wait < 300 && !in_loop; ++wait) {
      in_loop = read_file(log_path).find("Foregrounded and locked") != std::string::npos;
      if (!in_loop) usleep(50000);
    }
    kill(game.pid, signal_number);
    const auto result = test_support::wait_program(game);
    ASSERT_TRUE(in_loop) << read_file(log_path) << result.err;
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string log = read_file(log_path);
    EXPECT_NE(log.find("Destroying window\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Shutdown complete\n"), std::string::npos) << log;
    const std::string config = read_file(user.file("xdg/Korvex/config"));
    EXPECT_NE(config.find("video_mode=Windowed\nserver_name="), std::string::npos) << config;
    EXPECT_NE(config.find("xres=320\n"), std::string::npos);
  }
}

// A start track on the command line is set up once the window is open, with its timing
// gates; a track that is not installed falls back to the configured one.
TEST(Startup, StartTrackLoadsWithItsTimingGates) {
  const struct {
    const char* option;  // --track
    const char* loaded;  // the configured track is the practice arena
  } cases[] = {{"rabbithill", "@rabbithill"}, {"nosuch", "@practice"}};
  for (const auto& c : cases) {
    TempDir user;
    user.write("xdg/Korvex/config", "video_mode=Windowed\nxres=320\nyres=240\ntrack=practice\n");
    TempDir outputs;
    const auto game =
        test_support::spawn_program(KORVEX_EXE, {"--debug", "--nosound", "--track", c.option},
                                    test_support::korvex_env(user), outputs);
    ASSERT_GT(game.pid, 0);
    const std::string log_path = user.file("xdg/Korvex/lastlog.txt");
    const std::regex gates(
        R"(Found (\d+) timing gates, first lap has (\d+) gates, normal lap has (\d+)\n)");
    std::smatch found;
    std::string log;
    for (int wait = 0; wait < 600 && !std::regex_search(log, found, gates); ++wait) {
      usleep(50000);
      log = read_file(log_path);
    }
    kill(game.pid, SIGTERM);
    const auto result = test_support::wait_program(game);
    ASSERT_FALSE(found.empty()) << c.option << "\n" << log << result.err;
    EXPECT_NE(log.find(std::string("Loading '") + c.loaded + "'\n"), std::string::npos)
        << c.option << "\n"
        << log;
    const int checkpoints = std::stoi(found[1]);
    EXPECT_GE(checkpoints, 10) << c.option;
    EXPECT_EQ(std::stoi(found[2]), checkpoints + 1) << c.option;
    EXPECT_EQ(std::stoi(found[3]), checkpoints) << c.option;
    EXPECT_EQ(result.status, 0) << c.option << result.err;
  }
}

// Frames recorded with --record-video are whole binary PPM images, one after
// another, on standard output.
TEST(Startup, RecordVideoWritesWholeFrames) {
  TempDir user;
  TempDir data;
  user.write("xdg/Korvex/zzzz.saf", read_file(KORVEX_PACK));
  user.write("xdg/Korvex/config", "video_mode=Windowed\nxres=64\nyres=48\n");
  data.write("practice/terrain.hf", "stand-in");
  TempDir outputs;
  const auto game =
      test_support::spawn_program(KORVEX_EXE, {"--record-video", "--lock-fps", "30"},
                                  test_support::korvex_env(user, data.path()), outputs);
  ASSERT_GT(game.pid, 0);
  for (int wait = 0; wait < 300 && read_file(outputs.file("out")).size() < 5 * 9229; ++wait) {
    usleep(50000);
  }
  kill(game.pid, SIGTERM);
  const auto result = test_support::wait_program(game);
  EXPECT_EQ(result.status, 0) << result.err;

  const std::string header = "P6\n64 48\n255\n";
  const std::size_t frame = header.size() + 64 * 48 * 3;
  ASSERT_GE(result.out.size(), 5 * frame);
  ASSERT_EQ(result.out.size() % frame, 0u);
  for (std::size_t at = 0; at < result.out.size(); at += frame) {
    ASSERT_EQ(result.out.compare(at, header.size(), header), 0) << at;
  }
  // The frame is the sky's clear colour (0.196, 0.6, 0.8).
  EXPECT_EQ(static_cast<unsigned char>(result.out[header.size()]), 50);
  EXPECT_EQ(static_cast<unsigned char>(result.out[header.size() + 1]), 153);
  EXPECT_EQ(static_cast<unsigned char>(result.out[header.size() + 2]), 204);
}

// The build's own pack passes the game-data check; the same pack with one byte changed
// does not.
TEST(Startup, TheBuiltPackPassesTheDataCheckAndAChangedOneFails) {
  const std::string pack = read_file(KORVEX_PACK);
  ASSERT_GT(pack.size(), 4096u);
  std::string changed = pack;
  changed[4000] ^= 0x20;  // inside the first MiB, which the check covers
  struct Case {
    const std::string* contents;
    bool passes;
  } cases[] = {{&pack, true}, {&changed, false}};
  for (const Case& c : cases) {
    TempDir user;
    TempDir data;
    data.write("zzzz.saf", *c.contents);
    const auto result = run_korvex({"--bogus"}, test_support::korvex_env(user, data.path()));
    const bool data_missing = result.err.find("Can't find game data") != std::string::npos;
    EXPECT_EQ(data_missing, !c.passes) << result.err;
    if (c.passes) {
      EXPECT_NE(result.err.find("bad option '--bogus'"), std::string::npos) << result.err;
    }
  }
}
