#!/usr/bin/env bash
# A check that must be able to fail: passes when COMMAND exits non-zero (not
# by a signal, nor as a command not found) and its output, standard error
# included, matches PATTERN, an extended regular expression that may span lines.
# Usage: bench/fails_with.sh PATTERN COMMAND [ARGUMENT...]
set -uo pipefail
export LC_ALL=C # messages matched as written
pattern=$1
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ "$status" -eq 0 ] || [ "$status" -ge 126 ]; then
    echo "fails_with: $1 exited $status, where a failure was due" >&2
    exit 1
fi
grep -Ezq -- "$pattern" <<<"$output" || { echo "fails_with: $1 did not say /$pattern/" >&2; exit 1; }
