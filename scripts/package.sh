#!/usr/bin/env bash
# Builds the Debian package in build/pkg; with --check (as root) also installs it, lists and
# checks what it installed, runs the installed tool once and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DRIZUZEZ_BUILD_TESTS=OFF >/dev/null
cmake --build build/pkg -j2
rm -f build/pkg/rizuzez_*.deb
(cd build/pkg && cpack -G DEB)
deb=$(ls build/pkg/rizuzez_*.deb)
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends
[ "${1:-}" = "--check" ] || exit 0

if dpkg -s rizuzez >/dev/null 2>&1; then
  echo "rizuzez is installed already; not touching it" >&2
  exit 1
fi
trap 'dpkg -P rizuzez >/dev/null 2>&1 || true' EXIT
dpkg -i "$deb"
dpkg -L rizuzez
for f in /usr/bin/rizuzez-cli /usr/lib/systemd/system/rizuzez.service; do
  test -f "$f" || { echo "missing: $f" >&2; exit 1; }
done
if [ -e /usr/bin/rizuzez ]; then
  for f in /usr/share/applications/rizuzez.desktop \
           /usr/share/icons/hicolor/scalable/apps/rizuzez.svg; do
    test -f "$f" || { echo "missing: $f" >&2; exit 1; }
  done
  desktop-file-validate /usr/share/applications/rizuzez.desktop
fi
systemd-analyze verify /usr/lib/systemd/system/rizuzez.service
# The installed tool runs and refuses a missing station position with status 2.
tmp=$(mktemp -d)
set +e
/usr/bin/rizuzez-cli run --data-dir "$tmp" --port 1 2>"$tmp/err"
rc=$?
set -e
rm -rf "$tmp"
[ "$rc" = 2 ] || { echo "run without a station position gave status $rc, not 2" >&2; exit 1; }
dpkg -P rizuzez
trap - EXIT
! dpkg -s rizuzez >/dev/null 2>&1
echo "package check passed"
