#!/usr/bin/env bash
# Installs what is needed, builds the release tree and opens the window. When nothing
# listens on the configured base-station port, a generated feed is started there first, so
# pressing START shows a growing plot on a fresh machine. Without a display, it replays the
# shipped sample capture and draws its plot instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
bin=build/release/bin
data="$bin/rizuzez1"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run.sh: no display; replaying samples/japan_2h.sbs headless instead of opening the window"
  mkdir -p build/demo
  "$bin/rizuzez-cli" replay --lat 34.55 --lon 135.79 --data-dir build/demo samples/japan_2h.sbs
  "$bin/rizuzez-cli" render --data-dir build/demo --range 120 --scale 3 -o build/demo/plot.png
  echo "run.sh: radar plot drawn to build/demo/plot.png"
  exit 0
fi

# The port the window will use: "port" of section "telnet" in rizuzez.ini, else 30003.
port=30003
if [[ -f "$data/rizuzez.ini" ]]; then
  p=$(awk -F= 'BEGIN{IGNORECASE=1} /^\s*\[/{s=tolower($0)} s~/\[telnet\]/ && tolower($1)~/^\s*port\s*$/ {gsub(/[ \t\r]/,"",$2); print $2; exit}' "$data/rizuzez.ini")
  [[ "$p" =~ ^[0-9]+$ ]] && port=$p
fi

serve_pid=""
if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  # A fresh machine has no station position yet: give window and generator the same one
  # through the fallback file the window reads when its own settings hold none.
  mkdir -p "$data"
  if [[ ! -f "$data/basestation.ini" ]] && ! grep -qi '^\s*latitude\s*=\s*[-0-9.]' "$data/rizuzez.ini" 2>/dev/null; then
    printf '[homestation]\r\nlatitude=52.3\r\nlongitude=4.76\r\n' > "$data/basestation.ini"
    echo "run.sh: no station position configured; using 52.3 N 4.76 E ($data/basestation.ini)"
  fi
  "$bin/rizuzez-cli" serve --port "$port" --data-dir "$data" &
  serve_pid=$!
  trap '[[ -n "$serve_pid" ]] && kill "$serve_pid" 2>/dev/null || true' EXIT
  echo "run.sh: nothing listened on 127.0.0.1:$port; serving generated traffic there (rizuzez-cli serve)."
  echo "run.sh: press START in the window to see the coverage grow."
fi
"$bin/rizuzez"
