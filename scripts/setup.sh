#!/usr/bin/env bash
# Installs everything needed to build, test and run Rizuzez on Debian 12 (idempotent).
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsimpleini-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool openbox trayer x11-utils
  fonts-dejavu-core python3 python3-numpy
  linux-perf valgrind
  dump1090-mutability # a real base station for the window's test: replays recorded radio samples
  dpkg-dev file desktop-file-utils systemd
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
