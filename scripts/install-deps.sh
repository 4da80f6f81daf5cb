#!/usr/bin/env bash
# The one list of Debian packages VI 801 needs to build, run and test.
# Quick when everything is already installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev libgl-dev
  libadplug-dev librtaudio-dev libasound2-dev librtmidi-dev libturbojpeg0-dev
  libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  jackd2 libjack-jackd2-dev libx11-dev xvfb xauth imagemagick xdotool x11-utils
  desktop-file-utils appstream help2man
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks about realtime priority unless told
echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
