#!/bin/sh
# deps.sh -- installs the Debian packages Korvex needs to build, run and test.
#
# As root the missing packages are installed with apt-get; otherwise the exact
# apt-get line is printed and the script stops with status 1.
set -eu

PACKAGES="
  build-essential cmake ninja-build pkg-config ccache
  clang-16 libclang-rt-16-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev nettle-dev zlib1g-dev libpng-dev libode-dev libfreetype-dev libsndfile1-dev
  fonts-dejavu-core libgl1-mesa-dri libegl-mesa0 libgl-dev xdg-utils
  xvfb xdotool
"

missing=""
for package in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    missing="$missing $package"
  fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Korvex needs these Debian packages. Install them with:" >&2
  echo "  sudo apt-get install -y$missing" >&2
  exit 1
fi

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing
