// main.cpp -- the korvex executable: start-up with the digests of its own game data.
#include "shell/shell.h"

// Generated at build time from the game data this build made.
platform::BuildDigests korvex_build_digests();

int main(int argc, char** argv) { return shell::korvex_main(argc, argv, korvex_build_digests()); }
