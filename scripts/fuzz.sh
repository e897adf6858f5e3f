#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs one of them for a while.
#
# usage: scripts/fuzz.sh decoder|plotfiles [SECONDS]   (default 180)
# New inputs go to a scratch corpus in /tmp, seeded from fuzz/corpus/TARGET; a finding is
# written to /tmp/rizuzez_fuzz_TARGET/ and ends the run with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh decoder|plotfiles [SECONDS]}
seconds=${2:-180}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "fuzz_$target" >/dev/null
work=/tmp/rizuzez_fuzz_$target
mkdir -p "$work/corpus"
bin=$PWD/build/fuzz/bin/fuzz_$target
seeds=$PWD/fuzz/corpus/$target
cd "$work" # libFuzzer writes its job log into the current folder
rm -f fuzz-0.log
status=0
"$bin" "$work/corpus" "$seeds" -jobs=1 -max_len=8192 -max_total_time="$seconds" \
  -artifact_prefix="$work/" -print_final_stats=1 || status=$?
exit $status
