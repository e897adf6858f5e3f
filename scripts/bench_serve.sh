#!/usr/bin/env bash
# Measures the lines per second that "rizuzez-cli serve --speed max" delivers to a plain reader,
# for generated traffic and for a recorded file served in a loop.
# Usage: scripts/bench_serve.sh [SECONDS]   (CLI=path/to/rizuzez-cli to use a given build)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
if [ -z "${CLI:-}" ]; then
  cmake -S . -B build/bench-serve -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DRIZUZEZ_BUILD_TESTS=OFF -DRIZUZEZ_BUILD_GUI=OFF >/dev/null
  cmake --build build/bench-serve --target rizuzez-cli >/dev/null
  CLI=build/bench-serve/bin/rizuzez-cli
fi
tmp=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# A plain reader: counts line ends until the time is up.
reader='
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
secs = float(sys.argv[2])
lines = nbytes = 0
start = time.monotonic()
while time.monotonic() - start < secs:
    d = s.recv(1 << 20)
    if not d:
        break
    lines += d.count(b"\n")
    nbytes += len(d)
t = time.monotonic() - start
print(f"{lines / t:12,.0f} lines/s  {nbytes / t / 1e6:7.1f} MB/s  ({lines:,} lines in {t:.1f} s)")
'

run() {
  local label=$1
  shift
  "$CLI" serve --port 0 --speed max "$@" 2>"$tmp/err" &
  pid=$!
  local port=
  for _ in $(seq 100); do
    port=$(grep -o '127\.0\.0\.1:[0-9]*' "$tmp/err" 2>/dev/null | head -1 | cut -d: -f2 || true)
    [ -n "$port" ] && break
    sleep 0.05
  done
  [ -n "$port" ] || { cat "$tmp/err"; exit 1; }
  printf '%-34s' "$label"
  python3 -c "$reader" "$port" "$seconds"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
}

run "generated traffic (80 aircraft):" --lat 52.3 --lon 4.76
run "samples/japan_2h.sbs in a loop:" samples/japan_2h.sbs --loop
