#!/bin/sh
# race-shots.sh -- pictures of a race's standings on Rabbit Hill, without a screen: the pit
# board on the rider view in the middle of a two-lap race, and the finish of a one-lap race
# of six from a trackside camera (the chequered lap box, the running-order ticker and the
# final results). Writes into a folder (default docs/screenshots/race); extra arguments go
# to every korvex-shot call, e.g. --width 1920 --height 1080.
set -eu
cd "$(dirname "$0")/.."
out=${SCREENSHOTS:-docs/screenshots/race}
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF
cmake --build build-release --target korvex-shot gamedata
mkdir -p "$out"
shot=build-release/game/korvex-shot
"$shot" --track rabbithill --bikes 6 --laps 2 --ticks 12000 --camera rider \
  --width 1280 --height 720 "$@" --out "$out/pit-board.png"
"$shot" --track rabbithill --bikes 6 --laps 1 --ticks 30000 --camera trackside \
  --width 1280 --height 720 "$@" --out "$out/finish.png"
echo "Wrote $out/pit-board.png and $out/finish.png"
