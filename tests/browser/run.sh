#!/usr/bin/env bash
# The browser test of xray-render serve: installs the pinned playwright-core
# into WORK from the lock file (once per change of the lock file), then drives
# Debian's Chromium headless. Screenshots stay in WORK.
# Usage: tests/browser/run.sh XRAY_RENDER WORK [--measure N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
xray_render=$1
work=$2
shift 2
mkdir -p "$work"
if ! cmp -s "$here/package-lock.json" "$work/package-lock.json" || [ ! -d "$work/node_modules" ]; then
    cp "$here/package.json" "$here/package-lock.json" "$work/"
    (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi
exec node "$here/preview_test.mjs" "$xray_render" "$work" "$@"
