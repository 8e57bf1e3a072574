// race_tool_test.cpp -- korvex-race as a maintainer runs it: a whole race of computer riders
// on Rabbit Hill finishes, is classified, written to results.txt and printed alike; the same
// seed races the same race; bad command lines are refused.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using test_support::TempDir;

std::vector<std::string> lines_of(const std::string& text, const char* end) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  const std::size_t n = std::char_traits<char>::length(end);
  while (at < text.size()) {
    const std::size_t next = text.find(end, at);
    if (next == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, next - at));
    at = next + n;
  }
  return lines;
}

}  // namespace

TEST(RaceTool, BadCommandLinesAreRefused) {
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{}, "--track is required"},
      {{"--track", "rabbithill", "--riders", "0"}, "bad value '0' for --riders"},
      {{"--track", "rabbithill", "--riders", "41"}, "bad value '41' for --riders"},
      {{"--track", "rabbithill", "--laps", "two"}, "bad value 'two' for --laps"},
      {{"--track", "rabbithill", "--skill", "pro"}, "bad value 'pro' for --skill"},
      {{"--track", "rabbithill", "--minutes", "nan"}, "bad value 'nan' for --minutes"},
      {{"--track", "rabbithill", "--laps", "0"}, "needs --laps or --minutes"},
      {{"--track", "rabbithill", "--fast"}, "unknown option '--fast'"},
      {{"--track"}, "--track needs a value"},
      {{"--track", "nowhere"}, "no track \"nowhere\" is installed"},
  };
  for (const auto& c : cases) {
    TempDir user;
    const test_support::ProcessResult r =
        test_support::run_program(KORVEX_RACE_EXE, c.args, test_support::korvex_env(user));
    EXPECT_EQ(r.status, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << c.says;
  }
}

TEST(RaceTool, SixRidersRaceTwoLapsToTheFlag) {
  if (test_support::kSanitized) GTEST_SKIP() << "two whole races: the normal build runs them";
  TempDir user;
  const std::vector<std::string> args = {"--track", "rabbithill", "--riders", "6",
                                         "--laps",  "2",          "--seed",   "11"};
  const test_support::ProcessResult first =
      test_support::run_program(KORVEX_RACE_EXE, args, test_support::korvex_env(user));
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("finished=1\n"), std::string::npos);

  // Six classified riders, each with two laps and a best lap (lap 1 never counts).
  const std::regex rider(
      R"(rider=(\d+) number=(\S+) bike=(\S+) laps=2 total_s=(\d+\.\d{3}) best_lap=2 )"
      R"(best_lap_s=\d+\.\d{3} penalty_s=\d+\.\d\d penalty_laps=\d+ finished=1 crashes=\d+ )"
      R"(personality=(kestrel|harrier|merlin) missed=(-|\d+(,\d+)*))");
  std::vector<std::string> numbers, bikes;
  for (const std::string& line : lines_of(first.out, "\n")) {
    std::smatch m;
    if (line.rfind("rider=", 0) != 0) continue;
    ASSERT_TRUE(std::regex_match(line, m, rider)) << line;
    EXPECT_EQ(std::stoi(m[1]), static_cast<int>(numbers.size()) + 1);
    numbers.push_back(m[2]);
    bikes.push_back(m[3]);
  }
  ASSERT_EQ(numbers.size(), 6u) << first.out;

  // results.txt: the header, the table in the same order, then every rider's passes.
  const std::string results = test_support::read_file(user.file("xdg/Korvex/results.txt"));
  const std::vector<std::string> lines = lines_of(results, "\r\n");
  ASSERT_GE(lines.size(), 8u) << results;
  EXPECT_TRUE(
      std::regex_match(lines[0], std::regex(R"(Time=0\.00\|Laps=2\|Track=rabbithill\|Date=\d+)")))
      << lines[0];
  EXPECT_EQ(lines[1], " No. |         Bike | Laps | Total Time | BLap |  Best Time");
  const std::regex row(
      R"(( {0,3}\S{1,4}) \| +(\S+) \|    2 \| +\d+:\d\d\.\d{3} \|    2 \| +\d+:\d\d\.\d{3})");
  for (std::size_t i = 0; i < 6; ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[2 + i], m, row)) << lines[2 + i];
    EXPECT_EQ(m[1].str().substr(m[1].str().find_first_not_of(' ')), numbers[i]);
    EXPECT_EQ(m[2], bikes[i]);
  }
  // Each rider's block: a blank line, its count of positions, then one line a lap of pass
  // times ("%8.3f", or "%8d" -1 for a missed gate) separated by single spaces.
  const std::regex passes(R"(( *-1| *\d+\.\d{3})( ( *-1| *\d+\.\d{3}))*)");
  int blocks = 0;
  for (std::size_t i = 8; i < lines.size(); ++i) {
    if (lines[i].empty()) {
      ++blocks;
      ASSERT_LT(i + 1, lines.size());
      EXPECT_TRUE(std::regex_match(lines[i + 1], std::regex(R"(\d+)"))) << lines[i + 1];
      ++i;
      continue;
    }
    EXPECT_TRUE(std::regex_match(lines[i], passes)) << lines[i].substr(0, 80);
  }
  EXPECT_EQ(blocks, 6);

  // The same seed races the same race.
  const test_support::ProcessResult second =
      test_support::run_program(KORVEX_RACE_EXE, args, test_support::korvex_env(user));
  EXPECT_EQ(second.out, first.out);
}
