#!/bin/sh
# format.sh -- formats every C++ source of Korvex with the committed .clang-format;
# with --check it changes nothing and fails, listing the files, when one is not formatted
# (the test suite runs it that way).
set -eu
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null 2>&1; then
  echo "format.sh: clang-format is missing (scripts/deps.sh installs it)" >&2
  exit 1
fi

files=$(find src tools tests bench fuzz -path fuzz/corpus -prune -o \
  \( -name '*.cpp' -o -name '*.h' \) -type f -print | sort)

if [ "${1:-}" = "--check" ]; then
  bad=""
  for file in $files; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
      bad="$bad $file"
    fi
  done
  if [ -n "$bad" ]; then
    echo "Not formatted (run scripts/format.sh):" >&2
    for file in $bad; do echo "  $file" >&2; done
    exit 1
  fi
  echo "format: every source is formatted"
  exit 0
fi

# shellcheck disable=SC2086
clang-format -i $files
