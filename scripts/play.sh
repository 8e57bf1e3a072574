#!/bin/sh
# play.sh -- builds Korvex (release) and starts the game; arguments go to korvex.
# Without arguments a computer rider laps Rabbit Hill behind the menus (Esc opens them).
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF
cmake --build build-release
if [ "$#" -eq 0 ]; then
  set -- --track rabbithill
fi
exec build-release/game/korvex "$@"
