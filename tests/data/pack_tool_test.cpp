// pack_tool_test.cpp -- kvpack packs a folder, lists the pack and extracts it again.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

using test_support::read_file;
using test_support::run_program;
using test_support::TempDir;

TEST(PackTool, PackListExtract) {
  TempDir source;
  source.write("rabbithill/desc", "Rabbit Hill\n");
  source.write("rabbithill/tilemap", std::string("\0\1\2\3", 4));
  source.write("font.png", "png bytes");
  TempDir out;
  const std::string pack = out.file("zzzz.saf");

  EXPECT_EQ(run_program(KVPACK_EXE, {source.path(), pack}, {}).status, 0);
  const auto listed = run_program(KVPACK_EXE, {"--list", pack}, {});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, "9 font.png\n12 rabbithill/desc\n4 rabbithill/tilemap\n");

  const auto extracted = run_program(KVPACK_EXE, {"--extract", pack, out.file("x")}, {});
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(read_file(out.file("x/rabbithill/tilemap")), std::string("\0\1\2\3", 4));
  EXPECT_EQ(read_file(out.file("x/font.png")), "png bytes");

  // A pack whose names climb out of the target folder extracts nothing there.
  const std::string hostile = out.write("hostile.saf", "3 ../escape\n4 /abs\n-\nabcdefg");
  const auto refused = run_program(KVPACK_EXE, {"--extract", hostile, out.file("y")}, {});
  EXPECT_EQ(refused.status, 1);
  EXPECT_FALSE(test_support::file_exists(out.file("escape")));
  EXPECT_FALSE(test_support::file_exists("/abs"));

  EXPECT_EQ(run_program(KVPACK_EXE, {"--list", out.file("missing.saf")}, {}).status, 1);
  EXPECT_EQ(run_program(KVPACK_EXE, {}, {}).status, 2);
}
