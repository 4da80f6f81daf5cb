#!/usr/bin/env bash
# Installs what is needed, builds VI 801 (Release) and starts it with data/
# as its working directory. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVI801_TESTS=OFF -DVI801_BENCH=OFF
cmake --build build --target vi801
cd data
exec ../build/src/vi801 "$@"
