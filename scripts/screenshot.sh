#!/usr/bin/env bash
# Takes the README's picture of the main window, docs/mainwindow.png, on a
# virtual X display. QT_SCALE_FACTOR=2 in the environment shows it as a
# high-DPI screen does (twice the pixels); the display is large enough.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target vi801_screenshot
out="$PWD/docs/mainwindow.png"
mkdir -p docs
cd data
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 2560x1600x24" ../build/tools/vi801_screenshot "$out"
echo "wrote $out"
