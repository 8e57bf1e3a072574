#!/usr/bin/env bash
# race-table.sh -- races the computer riders on every shipped track at every robot skill and
# prints a table: riders classified, the median best lap, crashes per rider-lap and the changes
# of the running order during the race.
#
# usage: scripts/race-table.sh [BUILD_DIR] [RIDERS] [LAPS] [TRACK...]   (SEED=5 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
riders=${2:-12}
laps=${3:-3}
shift 3 2>/dev/null || shift $#
tracks=("$@")
[ ${#tracks[@]} -gt 0 ] || tracks=(rabbithill practice)
race="$build/game/korvex-race"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work"
printf '%-12s %-8s %9s %14s %17s %16s %8s\n' track skill finishers median_best_s \
  crashes_per_lap position_changes real_x
for track in "${tracks[@]}"; do
  for skill in novice amateur expert; do
    start=$(date +%s.%N)
    "$race" --track "$track" --riders "$riders" --laps "$laps" --skill "$skill" --seed "${SEED:-5}" \
      >"$work/out" || true
    end=$(date +%s.%N)
    finishers=$(grep -c '^rider=.*finished=1' "$work/out" || true)
    median=$(grep '^rider=' "$work/out" | sed 's/.*best_lap_s=\([0-9.]*\).*/\1/' |
      awk '$1 > 0' | sort -n | awk '{a[NR]=$1} END {if (NR == 0) print 0;
        else if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2}')
    crashes=$(grep '^rider=' "$work/out" | sed 's/.*crashes=\([0-9]*\).*/\1/' |
      awk -v r="$riders" -v l="$laps" '{s += $1} END {printf "%.2f", s / (r * l)}')
    changes=$(sed -n 's/^position_changes=//p' "$work/out")
    raced=$(sed -n 's/^race_time_s=//p' "$work/out")
    speed=$(awk -v a="$start" -v b="$end" -v t="$raced" 'BEGIN {printf "%.1f", t / (b - a)}')
    printf '%-12s %-8s %6s/%-2s %14s %17s %16s %8s\n' "$track" "$skill" "$finishers" "$riders" \
      "$median" "$crashes" "$changes" "$speed"
  done
done
