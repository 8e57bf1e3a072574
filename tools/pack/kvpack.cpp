// kvpack.cpp -- packs a folder into a .saf pack: kvpack FOLDER PACK.
#include <cstdio>

#include "data/data.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kvpack FOLDER PACK\n");
    return 2;
  }
  return data::write_pack(argv[1], argv[2]) ? 0 : 1;
}
