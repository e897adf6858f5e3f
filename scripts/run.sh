#!/usr/bin/env bash
# Installs what is needed, builds the release tree and replays the shipped sample capture.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
data="${RIZUZEZ_DATA_DIR:-build/release/bin/rizuzez1}"
./build/release/bin/rizuzez-cli replay --lat 34.55 --lon 135.79 --data-dir "$data" samples/japan_2h.sbs
