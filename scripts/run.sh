#!/usr/bin/env bash
# Installs what is needed, builds VI 801 (Release) and starts it as the
# installed program starts: in the folder this is called from, so that it
# runs in the user's own folder (~/.local/share/vi801), made on the first run
# from the starter library of data/ that the build lays out beside it, and
# the presets saved stay the user's. Extra arguments go to the program. Once
# built, the terminal shows only the program's own output: the install and
# build output goes to build/build.log and is shown only when something fails.
set -euo pipefail
caller="$PWD"
cd "$(dirname "$0")/.."
build="${VI801_BUILD_DIR:-build}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
log="$build/build.log"
if [ ! -f "$build/build.ninja" ]; then
  echo "Building VI 801... (the first build takes a minute or two)"
fi
if ! {
  bash scripts/install-deps.sh &&
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVI801_TESTS=OFF -DVI801_BENCH=OFF &&
    cmake --build "$build" --target vi801
} >"$log" 2>&1; then
  cat "$log" >&2
  echo "The build of VI 801 failed; its output is above and in $log." >&2
  exit 1
fi
cd "$caller"
exec "$build/src/vi801" "$@"
