#!/bin/sh
# demo-shots.sh -- pictures of demos on Rabbit Hill, without a screen: a recorded race of six
# replayed 40 seconds in, the same replay rewound 10 seconds at 40 seconds and played on to
# 40 seconds again (the two pictures are the same), and a time trial with the ghost of the
# fast lap ahead of a slower rider. Writes into a folder (default docs/screenshots/demo); the
# demo and the lap files go to a scratch per-user folder, not yours. Extra arguments go to
# every korvex-shot call, e.g. --width 1920 --height 1080.
set -eu
cd "$(dirname "$0")/.."
out=${SCREENSHOTS:-docs/screenshots/demo}
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF
cmake --build build-release --target korvex-shot korvex-race gamedata
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_DATA_HOME="$scratch"
game=build-release/game
"$game/korvex-race" --track rabbithill --riders 6 --laps 1 --seed 3 \
  --record "$scratch/race.kvdemo" >/dev/null
"$game/korvex-shot" --playback "$scratch/race.kvdemo" --ticks 5120 --camera chase \
  --width 1280 --height 720 "$@" --out "$out/playback.png" >/dev/null
"$game/korvex-shot" --playback "$scratch/race.kvdemo" --ticks 5120 --camera chase \
  --rewind-at 40 --rewind-by 10 --width 1280 --height 720 "$@" \
  --out "$out/playback-rewound.png" >/dev/null
cmp "$out/playback.png" "$out/playback-rewound.png" && echo "The rewound replay shows the same picture"
# A fast lap at full pace, then a rider at three quarters of it behind its ghost.
"$game/korvex-race" --track rabbithill --time-trial --laps 1 >/dev/null
"$game/korvex-shot" --track rabbithill --time-trial --pace 0.75 --ticks 1000 --camera chase \
  --width 1280 --height 720 "$@" --out "$out/ghost.png" >/dev/null
echo "Wrote $out/playback.png, $out/playback-rewound.png and $out/ghost.png"
