#!/usr/bin/env bash
# The library's binary contract. Usage: check_binary.sh CHECK... LIBRARY
#   contract:  exactly three exports, nothing needed at load time beyond the C runtime
#   hardening: no text relocations, relocations read-only after loading, all bound at load
# NM and READELF name the target's tools when they are not the build machine's.
set -euo pipefail
nm="${NM:-nm}"
readelf="${READELF:-readelf}"
library="${*: -1}"
set -- "${@:1:$#-1}"
status=0
fail() {
    echo "$library: $*"
    status=1
}

contract() {
    local exports expected needed lib
    exports=$("$nm" -D --defined-only "$library" | awk '$2 ~ /^[TtWiVv]$/ {print $3}' | sort | tr '\n' ' ')
    expected="miSetModuleHandle qorv_xraytexture qorv_xraytexture_version "
    [ "$exports" = "$expected" ] || fail "exports are '$exports', expected '$expected'"

    needed=$("$readelf" -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    for lib in $needed; do
        case "$lib" in
            libc.so.*|libm.so.*) ;;
            *) fail "unexpected load-time dependency: $lib" ;;
        esac
    done
}

hardening() {
    local dynamic
    dynamic=$("$readelf" -dW "$library")
    if grep -q TEXTREL <<<"$dynamic"; then
        fail "has text relocations"
    fi
    "$readelf" -lW "$library" | grep -q GNU_RELRO || fail "has no GNU_RELRO segment (-z relro)"
    grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" ||
        fail "is not bound at load time (-z now)"
}

for check in "$@"; do
    "$check"
done
exit $status
