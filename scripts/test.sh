#!/usr/bin/env bash
# Installs what is needed, builds the debug tree (warnings as errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev -j2
