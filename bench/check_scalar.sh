#!/usr/bin/env bash
# The library's float arithmetic stays scalar. Packed instructions mean the
# vectorizer is back, and with it partial vectors whose stale spare lanes stall
# the light loop on denormals; no instruction count shows that.
set -euo pipefail
packed=$(objdump -d --no-show-raw-insn "$1" | grep -E '[[:space:]](add|sub|mul|div)ps[[:space:]]' || true)
if [ -n "$packed" ]; then
    echo "packed float arithmetic in $1:"
    echo "$packed"
    exit 1
fi
