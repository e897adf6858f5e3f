#!/usr/bin/env bash
# Throughput and CPU of the headless service: "rizuzez-cli run" fed over loopback by
# "rizuzez-cli serve --speed max" (generated traffic, then a recording in a loop) for SECONDS
# each, and its CPU share at a real station's pace (generated traffic at real speed).
# Usage: scripts/bench_run.sh [SECONDS]   (CLI=path/to/rizuzez-cli to use a given build)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
if [ -z "${CLI:-}" ]; then
  cmake -S . -B build/bench-run -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DRIZUZEZ_BUILD_TESTS=OFF -DRIZUZEZ_BUILD_GUI=OFF >/dev/null
  cmake --build build/bench-run --target rizuzez-cli >/dev/null
  CLI=build/bench-run/bin/rizuzez-cli
fi
tmp=$(mktemp -d)
spid=
rpid=
cleanup() {
  for p in $rpid $spid; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# measure LABEL SERVE-ARGS...: serve on a free port, run against it, report.
measure() {
  local label=$1; shift
  "$CLI" serve --port 0 "$@" >"$tmp/serve.out" 2>&1 &
  spid=$!
  local port=
  for _ in $(seq 100); do
    port=$(grep -o '127.0.0.1:[0-9]*' "$tmp/serve.out" | head -1 | cut -d: -f2) || true
    [ -n "$port" ] && break
    sleep 0.05
  done
  rm -rf "$tmp/data"
  local ts
  ts=$(date +%s.%N)
  "$CLI" run --data-dir "$tmp/data" --port "$port" --lat 34.55 --lon 135.79 --no-load \
    2>"$tmp/run.err" &
  rpid=$!
  sleep 1 # connect and settle
  local c0 t0 c1 t1
  c0=$(cpu_ticks $rpid); t0=$(date +%s.%N)
  sleep "$seconds"
  c1=$(cpu_ticks $rpid); t1=$(date +%s.%N)
  kill -TERM $rpid; wait $rpid || true; rpid=
  kill -TERM $spid; wait $spid 2>/dev/null || true; spid=
  local stop lines bytes
  stop=$(grep 'stopping (SIGTERM)' "$tmp/run.err")
  lines=$(sed -E 's/.* bytes in ([0-9]+) lines.*/\1/' <<<"$stop")
  bytes=$(sed -E 's/.*received ([0-9]+) bytes.*/\1/' <<<"$stop")
  # The counts cover the whole run, from its start to SIGTERM.
  python3 - "$label" "$lines" "$bytes" "$c0" "$c1" "$t0" "$t1" "$ticks" "$ts" <<'PY'
import sys
label, lines, nbytes, c0, c1, t0, t1, hz, ts = sys.argv[1:]
span = float(t1) - float(t0)
cpu = (int(c1) - int(c0)) / int(hz) / span * 100
total = float(t1) - float(ts)
print(f"{label:<28} {int(lines) / total:12,.0f} lines/s {int(nbytes) / total / 1e6:7.1f} MB/s"
      f"   CPU {cpu:5.1f} %   ({int(lines):,} lines)")
PY
}

echo "run fed by serve over 127.0.0.1, $seconds s each ($(nproc) cores)"
measure "generated, --speed max" --lat 34.55 --lon 135.79 --speed max
measure "japan_2h.sbs, --speed max" samples/japan_2h.sbs --speed max --loop
measure "generated, real time" --lat 34.55 --lon 135.79 --speed 1
