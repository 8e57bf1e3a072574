#!/bin/sh
# menu-shots.sh -- a picture of every menu page, taken as a player would: the game in an X
# server of its own (Xvfb), real key presses (xdotool), the game's own screenshot key.
#
#   scripts/menu-shots.sh [OUTPUT_FOLDER] [WIDTHxHEIGHT] [KORVEX]
#
# Defaults: menu-shots/, 640x480, build/game/korvex. The game starts on Rabbit Hill so the
# pages stand over a race; the pictures are named after the page they show.
set -eu
cd "$(dirname "$0")/.."
out=${1:-menu-shots}
size=${2:-640x480}
korvex=${3:-build/game/korvex}

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "menu-shots: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
[ -x "$korvex" ] || { echo "menu-shots: no game at $korvex (build it first)" >&2; exit 1; }
case $size in
  *x*) ;;
  *) echo "menu-shots: size must be WIDTHxHEIGHT, not '$size'" >&2; exit 1 ;;
esac

mkdir -p "$out"
work=$(mktemp -d)
cleanup() {
  [ -n "${game:-}" ] && kill "$game" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=:$(cat "$work/display")
export DISPLAY

# Two short recorded races for the Playback Race page to list.
race=$(dirname "$korvex")/korvex-race
if [ -x "$race" ]; then
  for name in heat-1 heat-2; do
    XDG_DATA_HOME=$work "$race" --track rabbithill --riders 2 --laps 1 \
      --record "$work/Korvex/demos/$name.kvdemo" >/dev/null
  done
fi

XDG_DATA_HOME=$work SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11 "$korvex" --track rabbithill \
  >"$work/out.log" 2>&1 &
game=$!
xdotool search --sync --name '^Korvex$' >/dev/null
# The race on Rabbit Hill is set up before the first frame.
for _ in $(seq 300); do
  grep -q "Loading bikes" "$work/Korvex/lastlog.txt" 2>/dev/null && break
  sleep 0.1
done
sleep 2

shots=0
key() {
  for k in "$@"; do xdotool key "$k"; sleep 0.25; done
}
# The next screenshot, kept as OUTPUT_FOLDER/NAME.png.
shot() {
  shots=$((shots + 1))
  file=$(printf '%s/Korvex/screenshot%03d.png' "$work" "$shots")
  key s
  for _ in $(seq 50); do [ -s "$file" ] && break; sleep 0.1; done
  sleep 0.3
  cp "$file" "$out/$1.png"
  echo "$out/$1.png"
}
down() {
  n=$1
  while [ "$n" -gt 0 ]; do key Down; n=$((n - 1)); done
}

# Main menu items the keys reach (the disabled ones are passed over): New Race, Playback
# Race, Time Trial, Bike Setup, Graphics/Sound Setup, Customize Controls, Quit.
key Escape; shot 00-main-menu
key Return; shot 01-new-race
down 46; shot 01-new-race-end
key Escape Escape; down 3; key Return; down 3; key Return; shot 02-list-picker-bike
key Escape Escape; down 1; key Return; shot 03-playback-race
key Escape Escape; down 2; key Return; shot 06-time-trial
key Escape Escape; down 3; key Return; shot 07-bike-setup
down 1; key Return; shot 08-suspension-and-gearing
key Escape Escape; down 3; key Return; down 2; key Return; shot 09-advanced-stability
key Escape Escape; down 5; key Return; shot 10-customize-controls
key Escape Escape; down 4; key Return; shot 11-graphics-sound
down 3; key Return; shot 11-graphics-sound-normal
down 3; key Return; shot 12-advanced-graphics
key Escape Escape; down 6; key Return; shot 18-exit-screen
key Escape
shot race-without-menu
key Escape; down 6; key Return; key a
for _ in $(seq 100); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
game=
