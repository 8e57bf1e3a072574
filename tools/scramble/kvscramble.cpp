// kvscramble.cpp -- writes the scrambled variant of a file: kvscramble FILE [OUT=FILE.scram].
#include <cstdio>
#include <string>

#include "data/data.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: kvscramble FILE [OUT]\n");
    return 2;
  }
  const std::string out = argc == 3 ? argv[2] : std::string(argv[1]) + ".scram";
  return data::write_scrambled(argv[1], out.c_str()) ? 0 : 1;
}
