#!/usr/bin/env bash
# Measures the window under a live feed: a loopback sender pushes base-station lines into the
# real window (offscreen) for 30 s per case. Reports how late the one-second ticks started,
# the lines per second the window took, and its CPU time: connected but idle, at 5,000
# lines/s, at 100,000 lines/s, and unthrottled. Targets: ticks at most 50 ms late at
# 100,000 lines/s; below 1% of a core beyond idle at 5,000 lines/s.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${SECONDS_PER_CASE:-30}"
capture="${CAPTURE:-samples/japan_2h.sbs}" # station 34.55 N 135.79 E
cmake --preset release >/dev/null
cmake --build --preset release --target bench_window >/dev/null
bench=build/release/bin/bench_window
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
for rate in idle 5000 100000 0; do
  echo "== rate $rate"
  "$bench" --capture "$capture" --lat 34.55 --lon 135.79 --rate "$rate" --seconds "$seconds" \
    2> >(grep -v XDG_RUNTIME_DIR >&2)
done
