#!/usr/bin/env bash
# Runs the Windows suite under Wine, in a prefix inside the build directory so
# that runs depend neither on the user's home nor on an earlier run. One
# persistent wineserver serves every test: a server that quits between two
# tests would cut the next one off.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

# The first program started brings up Wine's services, which outlive it: start
# them here, away from ctest's pipes, which they would otherwise hold open.
mkdir -p "$WINEPREFIX"
"$server" -p </dev/null >/dev/null 2>&1
trap '"$server" -k 2>/dev/null || true' EXIT
[ -d "$WINEPREFIX/drive_c" ] || echo "test-windows: creating the Wine prefix $WINEPREFIX" >&2
"$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
[ -d "$WINEPREFIX/drive_c" ] || { echo "test-windows: could not create the Wine prefix" >&2; exit 1; }
ctest --preset windows "$@"
