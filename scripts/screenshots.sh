#!/bin/sh
# screenshots.sh -- builds Korvex and writes the rider, chase and trackside views of a race
# on Rabbit Hill (eight bikes, 20 seconds in) as PNG files into a folder (default
# docs/screenshots), without a screen. Extra arguments go to every korvex-shot call, e.g.
# --shaders off or --width 1920 --height 1080.
set -eu
cd "$(dirname "$0")/.."
out=${SCREENSHOTS:-docs/screenshots}
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF
# The shots ride a race on the generated tracks: the data pack is built too.
cmake --build build-release --target korvex-shot gamedata
mkdir -p "$out"
for camera in rider chase trackside; do
  build-release/game/korvex-shot --track rabbithill --bikes 8 --ticks 2560 --camera "$camera" \
    --width 960 --height 540 "$@" --out "$out/$camera.png"
done
echo "Wrote $out/rider.png, $out/chase.png and $out/trackside.png"
