#!/usr/bin/env bash
# The library's binary contract: exactly three exports, and nothing needed at
# load time beyond the C runtime.
set -euo pipefail
library="$1"
status=0

exports=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TtWiVv]$/ {print $3}' | sort | tr '\n' ' ')
expected="miSetModuleHandle qorv_xraytexture qorv_xraytexture_version "
if [ "$exports" != "$expected" ]; then
    echo "exports are '$exports', expected '$expected'"
    status=1
fi

needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in $needed; do
    case "$lib" in
        libc.so.*|libm.so.*) ;;
        *) echo "unexpected load-time dependency: $lib"; status=1 ;;
    esac
done
exit $status
