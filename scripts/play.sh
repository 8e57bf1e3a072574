#!/bin/sh
# play.sh -- builds Korvex (release) and starts the game; arguments go to korvex.
# Without arguments the game starts a race on Rabbit Hill, the default track (the menus
# that would offer the choice are still to come).
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF
cmake --build build-release
if [ "$#" -eq 0 ]; then
  set -- --track rabbithill
fi
exec build-release/game/korvex "$@"
