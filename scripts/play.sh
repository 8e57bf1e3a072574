#!/bin/sh
# play.sh -- builds Korvex (release) and starts the game; arguments go to korvex.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF
cmake --build build-release
exec build-release/game/korvex "$@"
