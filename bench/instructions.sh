#!/usr/bin/env bash
# Counts with callgrind the instructions a shading call executes in the library's own
# code (host operations and powf left out), beside the inline baseline's, and checks
# them against the budget. The counts are deterministic for a given build.
# Usage: bench/instructions.sh [--budget FILE] [BIN_DIR]   (default: build/default/bin)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
budget="$here/budget.txt"
if [ "${1:-}" = "--budget" ]; then
    budget="$2"
    shift 2
fi
bin="${1:-$here/../build/default/bin}"
command -v valgrind >/dev/null ||
    { echo "instructions: valgrind is missing (scripts/install-deps.sh bench)" >&2; exit 1; }

calls=1000
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints "OWN POWF": instructions per call in the shader's own code (the
# library, or the baseline in the driver) and in the C runtime's powf.
# Callgrind's uncompressed output names each function's object on an ob= line;
# the cost line after a calls= line is the inclusive cost of that call and is
# skipped, so that every instruction counts once.
count() {
    local shader="$1" lights="$2" samples="$3"
    local out="$work/$shader-$lights-$samples"
    if ! valgrind --tool=callgrind --callgrind-out-file="$out.cg" \
        --toggle-collect=xray_measure --compress-strings=no --compress-pos=no \
        "$bin/xray_instructions" "$shader" "$lights" "$samples" "$calls" 2>"$out.log"; then
        cat "$out.log" >&2
        exit 1
    fi
    awk -v calls="$calls" -v shader="$shader" '
        /^ob=/ { object = substr($0, 4) }
        /^fn=/ { function_name = substr($0, 4) }
        /^calls=/ { inclusive = 1; next }
        /^[0-9]/ {
            if (inclusive) { inclusive = 0; next }
            if (shader == "library")
                mine = object ~ /\/qorv_xraytexture\.so$/
            else
                mine = object ~ /\/xray_instructions$/ && function_name !~ /^xray_measure/
            if (mine)
                own += $2
            else if (object ~ /\/libm[.-]/)
                powf += $2
        }
        END { printf "%g %g\n", own / calls, powf / calls }' "$out.cg"
}

status=0
checked=0
echo "instructions per shading call in the shader's own code (host operations and powf left out):"
# The last row counts too when the file does not end in a newline.
while read -r name lights samples limit || [ -n "$name" ]; do
    case "$name" in "" | "#"*) continue ;; esac
    # awk would compare a budget that is not a number as a string.
    [[ $limit =~ ^[0-9]+$ ]] ||
        { echo "instructions: $budget: budget '$limit' of $name is not a number" >&2; exit 1; }
    checked=$((checked + 1))
    read -r library powf < <(count library "$lights" "$samples")
    read -r baseline _ < <(count baseline "$lights" "$samples")
    if [ "$library" = 0 ] || [ "$baseline" = 0 ]; then
        echo "instructions: counted nothing for $name; has callgrind's output changed?" >&2
        exit 1
    fi
    verdict="budget $limit"
    if awk -v n="$library" -v b="$limit" 'BEGIN { exit !(n > b) }'; then
        verdict="EXCEEDS budget $limit"
        status=1
    fi
    ratio=$(awk -v a="$library" -v b="$baseline" 'BEGIN { printf "%.2f", a / b }')
    printf "  %-10s %2d lights x %2d samples: library %5s (%s), inline baseline %5s, ratio %s; powf %s more\n" \
        "$name" "$lights" "$samples" "$library" "$verdict" "$baseline" "$ratio" "$powf"
done <"$budget"
if [ "$checked" -eq 0 ]; then
    echo "instructions: no budget row in $budget" >&2
    exit 1
fi
exit $status
