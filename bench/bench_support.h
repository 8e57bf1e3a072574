// bench_support.h -- a temporary data folder for the benchmarks.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/data.h"

namespace bench_support {

// A folder made on construction and removed with everything in it on
// destruction (at exit, for the usual static fixture).
struct BenchFolder {
  std::string root;
  BenchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvex-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  void write(const std::string& relative, const std::string& contents) const {
    const std::string path = root + "/" + relative;
    data::make_directories(path.c_str());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(contents.data(), 1, contents.size(), file);
    std::fclose(file);
  }

  // Makes this folder the only data folder ("@" names resolve here).
  void use_as_data() const {
    setenv("KV_HOME", root.c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/nobody").c_str(), 1);
    data::data_reset_for_test();
  }
};

}  // namespace bench_support
