#!/usr/bin/env bash
# make-lines.sh -- remakes the shipped racing lines (data/lines/TRACK/lines_SKILL).
#
# For every track and robot skill, from an empty library:
#   1. learning: scripted riders (the stand-in pilot, riding as riders who are not computer
#      riders, so their laps are learned) race at the skill's paces, each lap in another lane;
#      every race teaches the first lap once per rider and the normal lap once per lap;
#   2. testing: `tester` computer riders (--practice) race on the stored lines until the plans
#      of cost types 0 and 1 fill every row (a planned line has been tested at least 5 times).
# Novice lines come from slower laps than amateur lines, amateur from slower than expert.
#
# usage: scripts/make-lines.sh [BUILD_DIR] [TRACK...]   (default: build, every shipped track)
# The shipped Rabbit Hill lines: TEST_RACES=12 scripts/make-lines.sh build rabbithill
# Deterministic for a given build: every race has its own fixed seed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
tracks=("$@")
[ ${#tracks[@]} -gt 0 ] || tracks=(rabbithill practice)
race="$build/game/korvex-race"
[ -x "$race" ] || { echo "make-lines.sh: build korvex-race first ($race)" >&2; exit 2; }

# SKILLS="novice expert" remakes only those (two runs may share the work on two cores).
read -r -a skills <<<"${SKILLS:-novice amateur expert}"
# Paces of the scripted riders (a factor on the stand-in pilot's speeds), by skill.
declare -A paces=([novice]=0.74,0.78,0.82 [amateur]=0.86,0.9,0.94 [expert]=0.98,1.02,1.06)
# PACE=P,P,... replaces the skills' paces (to try others); OUT=DIR writes there, not data/lines.
out=${OUT:-data/lines}
learn_races=${LEARN_RACES:-6}
# At least this many learning races, so that every row has a choice of lines for testing.
min_learn_races=${MIN_LEARN_RACES:-3}
test_races=${TEST_RACES:-30}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work"

for track in "${tracks[@]}"; do
  for skill in "${skills[@]}"; do
    file="$work/Korvex/$track/lines_$skill"
    mkdir -p "$(dirname "$file")"
    # A library for no track at all: the first race starts empty and saves here.
    echo "ct03 0" >"$file"
    # Learning goes on until every row holds a line (a race prints what it loaded), for at
    # least MIN_LEARN_RACES races.
    for ((i = 1; i <= learn_races; ++i)); do
      "$race" --track "$track" --riders 4 --laps 3 --scripted --pace "${PACE:-${paces[$skill]}}" \
        --learn --skill "$skill" --seed "$((i * 7919))" >"$work/out" || true
      echo "$track $skill: learning race $i: $(grep '^line_rows=' "$work/out")"
      "$race" --track "$track" --riders 1 --laps 1 --skill "$skill" >"$work/out" || true
      ((i >= min_learn_races)) && grep -Eq '^line_rows=([0-9]+) rows_with_lines=\1 ' "$work/out" &&
        break
    done
    mkdir -p "$out/$track"
    for ((i = 1; i <= test_races; ++i)); do
      "$race" --track "$track" --riders 16 --laps 3 --practice --learn --skill "$skill" \
        --seed "$((i * 104729))" >"$work/out" || true
      rows=$(sed -n 's/^line_rows=\([0-9]*\).*/\1/p' "$work/out")
      plans=$(grep '^line_rows=' "$work/out")
      echo "$track $skill: testing race $i: $plans"
      cp "$file" "$out/$track/lines_$skill"  # what is learned so far survives a stop
      p0=$(sed -n 's/.*plan0_rows=\([0-9]*\).*/\1/p' "$work/out")
      p1=$(sed -n 's/.*plan1_rows=\([0-9]*\).*/\1/p' "$work/out")
      # The plans were made from what the earlier races stored: complete means done.
      if [ -n "$rows" ] && [ "$p0" = "$rows" ] && [ "$p1" = "$rows" ]; then break; fi
    done
    cp "$file" "$out/$track/lines_$skill"
  done
done
echo "make-lines.sh: wrote $out"
