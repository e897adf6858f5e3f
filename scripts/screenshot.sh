#!/usr/bin/env bash
# Takes docs/window.png: the window under Xvfb with a window manager, fed live with the
# shipped capture (station 34.55 N 135.79 E, range 120 NM, all bands), taken while the lamp
# is lit.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target window_shot >/dev/null
mkdir -p docs
xvfb-run -a -s "-screen 0 640x560x24" bash -c '
  openbox >/dev/null 2>&1 &
  sleep 1
  QT_QPA_PLATFORM=xcb build/release/bin/window_shot docs/window.png samples/japan_2h.sbs \
    34.55 135.79 120 2500
'
