#!/usr/bin/env bash
# The library's float arithmetic stays scalar. Packed instructions, SSE's or
# AVX's (v-prefixed), mean the vectorizer is back, and with it partial vectors
# whose stale spare lanes stall the light loop on denormals; no instruction
# count shows that.
set -euo pipefail
# Not in the pipeline below, so that a file objdump cannot read fails the check.
listing=$(objdump -d --no-show-raw-insn "$1")
packed=$(grep -E '[[:space:]]v?(add|sub|mul|div)ps[[:space:]]' <<<"$listing" || true)
if [ -n "$packed" ]; then
    echo "packed float arithmetic in $1:"
    echo "$packed"
    exit 1
fi
