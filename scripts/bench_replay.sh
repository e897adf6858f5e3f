#!/usr/bin/env bash
# Replay throughput on a large real-traffic file: lines/s of `rizuzez-cli replay` against `wc -l`.
#
# usage: scripts/bench_replay.sh [SIZE_MB] [RUNS]   (defaults 300 MB, 5 runs; medians printed)
# The mix is every capture at hand (samples/ and ../shared/data/sbs_*) repeated up to SIZE_MB
# in /tmp; it is read once beforehand so that every run finds it in the page cache. Run it
# when the machine is otherwise quiet: the load average is printed with the results.
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-300}
runs=${2:-5}
mix=/tmp/rizuzez_bench_mix_${size_mb}mb.sbs
out=$(mktemp -d /tmp/rizuzez_bench_XXXXXX)
trap 'rm -rf "$out"' EXIT

cli=build/release/bin/rizuzez-cli
if [ ! -x "$cli" ] || [ -n "$(find src -newer "$cli" -name '*.cpp' -o -newer "$cli" -name '*.h' | head -1)" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target rizuzez-cli >/dev/null
fi

if [ ! -s "$mix" ]; then
  seed=$out/seed.sbs
  for f in samples/*.sbs ../shared/data/sbs_*; do
    [ -f "$f" ] || continue
    cat "$f" >>"$seed"
    [ -z "$(tail -c1 "$f")" ] || printf '\r\n' >>"$seed" # a capture without a last line end
  done
  seed_bytes=$(stat -c %s "$seed")
  copies=$(((size_mb * 1024 * 1024 + seed_bytes - 1) / seed_bytes))
  for ((i = 0; i < copies; i++)); do cat "$seed"; done >"$mix.tmp"
  mv "$mix.tmp" "$mix"
fi
cat "$mix" >/dev/null

now() { date +%s%N; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

lines=$(wc -l <"$mix")
bytes=$(stat -c %s "$mix")
wc_times=() replay_times=()
for ((r = 0; r < runs; r++)); do
  t0=$(now); wc -l <"$mix" >/dev/null; t1=$(now)
  wc_times+=("$(secs "$t0" "$t1")")
  t0=$(now)
  "$cli" replay --lat 34.55 --lon 135.79 --data-dir "$out/data" --json "$mix" >"$out/summary.json" 2>/dev/null
  t1=$(now)
  replay_times+=("$(secs "$t0" "$t1")")
done
wc_s=$(printf '%s\n' "${wc_times[@]}" | median)
replay_s=$(printf '%s\n' "${replay_times[@]}" | median)
positions=$(sed -n 's/.*"total_msgs": \([0-9]*\).*/\1/p' "$out/summary.json")

echo "file:        $mix ($((bytes / 1024 / 1024)) MB, $lines lines, $positions position messages)"
echo "load:        $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min), $(nproc) cores"
echo "runs:        $runs, medians below"
echo "wc -l:       all runs ${wc_times[*]} s"
echo "replay:      all runs ${replay_times[*]} s"
awk -v l="$lines" -v w="$wc_s" -v r="$replay_s" -v b="$bytes" 'BEGIN {
  printf "wc -l:       %.3f s  %6.1f M lines/s  %7.1f MB/s\n", w, l / w / 1e6, b / w / 1048576
  printf "replay:      %.3f s  %6.1f M lines/s  %7.1f MB/s\n", r, l / r / 1e6, b / r / 1048576
  printf "ratio:       replay takes %.1f times as long as wc -l\n", r / w
}'
