#!/usr/bin/env bash
# The library's float arithmetic stays scalar. Packed arithmetic on floats or
# doubles, SSE's or AVX's (v-prefixed), FMA's included, means the vectorizer is
# back, and with it partial vectors whose stale spare lanes stall the light loop
# on denormals; no instruction count shows that. Packed moves and bitwise
# operations (a sign flipped with xorps, a magnitude with andps) do no
# arithmetic on those lanes and are let be.
set -euo pipefail
# Not in the pipeline below, so that a file objdump cannot read fails the check.
listing=$(objdump -d --no-show-raw-insn "$1")
arithmetic='(add|sub|mul|div|sqrt|min|max|addsub|hadd|hsub|dp|(rcp|rsqrt)(14|28)?|f(n?m(add|sub)|maddsub|msubadd)(132|213|231))'
packed=$(grep -E "[[:space:]]v?${arithmetic}p[sd][[:space:]]" <<<"$listing" || true)
if [ -n "$packed" ]; then
    echo "packed float arithmetic in $1:"
    echo "$packed"
    exit 1
fi
