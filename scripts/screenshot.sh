#!/usr/bin/env bash
# Takes the README's pictures of the main window, docs/mainwindow.png, and
# of the sound browser listing the starter banks, docs/browser.png, on a
# virtual X display. QT_SCALE_FACTOR=2 in the environment shows them as a
# high-DPI screen does (twice the pixels); the display is large enough.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target vi801_screenshot
out="$PWD/docs/mainwindow.png"
browser="$PWD/docs/browser.png"
mkdir -p docs
cd data
shoot() { QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 2560x1600x24" ../build/tools/vi801_screenshot "$@"; }
shoot "$out"
shoot "$browser" browser "$PWD/2op" "$PWD/4op" "$PWD/6op"
echo "wrote $out and $browser"
