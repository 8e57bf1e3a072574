// kvgen.cpp -- the content generator: writes Korvex's game data into a folder.
//
// Everything is made from source here, deterministically: the same build
// gives the same bytes on every machine.
#include <cstdio>
#include <string>

#include "data/data.h"

namespace {

bool write_file(const std::string& path, const std::string& contents) {
  data::make_directories(path.c_str());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "kvgen: can't create %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kvgen FOLDER\n");
    return 2;
  }
  const std::string root = std::string(argv[1]) + "/";
  // The data set's version marker; tracks, bikes, fonts and sounds join it
  // as their generators are written.
  if (!write_file(root + "korvex_data.txt", "Korvex game data 1\n")) return 1;
  return 0;
}
