// generator_test.cpp -- kvgen gives the same bytes every run, and the pack holds what it made.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "content/generated_data.h"
#include "data/data.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

using generated_data::build_file;
using test_support::read_file;
using test_support::TempDir;

// name -> SHA-1 hex, from a manifest's "<hex>  <name>" lines.
std::map<std::string, std::string> read_manifest(const std::string& text) {
  std::map<std::string, std::string> entries;
  std::istringstream lines(text);
  std::string hex, name;
  while (lines >> hex >> name) entries[name] = hex;
  return entries;
}

std::string sha1_hex(const std::string& bytes) {
  platform::Sha1 sha;
  platform::sha1_begin(sha);
  platform::sha1_add(sha, bytes.data(), bytes.size());
  char hex[41];
  platform::sha1_finish_hex(sha, hex);
  return hex;
}

// Generating again gives exactly the data set this build made: the same files,
// byte for byte, as its manifest records them.
TEST(Generator, RunsAgainToTheSameBytes) {
  TempDir out;
  const auto run = test_support::run_program(KVGEN_EXE, {out.path()}, {});
  ASSERT_EQ(run.status, 0) << run.err;

  const std::string manifest = read_file(out.file("MANIFEST.sha1"));
  EXPECT_EQ(manifest, read_file(build_file("gamedata/MANIFEST.sha1")));
  const auto entries = read_manifest(manifest);
  ASSERT_GT(entries.size(), 40u);

  // The manifest tells the truth about every file, and leaves none out.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out.path())) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().lexically_relative(out.path()).generic_string();
    if (name == "MANIFEST.sha1") continue;
    ++files;
    const auto listed = entries.find(name);
    ASSERT_NE(listed, entries.end()) << name << " is not in the manifest";
    EXPECT_EQ(listed->second, sha1_hex(read_file(entry.path().string()))) << name;
  }
  EXPECT_EQ(files, entries.size());
}

// The pack korvex ships holds every generated file with its size.
TEST(Generator, PackHoldsTheGeneratedFiles) {
  std::vector<data::PackEntry> packed;
  ASSERT_TRUE(data::read_pack_index(KORVEX_PACK, packed));
  const auto entries = read_manifest(read_file(build_file("gamedata/MANIFEST.sha1")));
  std::map<std::string, long> sizes;
  for (const data::PackEntry& e : packed) sizes[e.name] = e.size;
  for (const auto& [name, hex] : entries) {
    ASSERT_TRUE(sizes.count(name)) << name;
    EXPECT_EQ(sizes[name],
              static_cast<long>(std::filesystem::file_size(build_file("gamedata/" + name))))
        << name;
  }
  // ... and the manifest itself, and the racing lines, which are learned by riding and
  // committed rather than generated.
  std::size_t lines = 0;
  for (const auto& [name, size] : sizes) lines += name.find("/lines_") != std::string::npos ? 1 : 0;
  EXPECT_EQ(lines, 6u);
  EXPECT_EQ(sizes.size(), entries.size() + 1 + lines);
}

}  // namespace
