#!/usr/bin/env bash
# The DLL's binary contract: exactly three plain exports, and imports from the
# system and the C runtime only (no host module, no C++ runtime DLL).
set -euo pipefail
dll="$1"
objdump=x86_64-w64-mingw32-objdump
status=0

exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[\s*[0-9]*\] //p' | sort | tr '\n' ' ')
expected="miSetModuleHandle qorv_xraytexture qorv_xraytexture_version "
if [ "$exports" != "$expected" ]; then
    echo "exports are '$exports', expected '$expected'"
    status=1
fi

imports=$($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p')
for dll_name in $imports; do
    case "${dll_name,,}" in
        kernel32.dll|msvcrt.dll|api-ms-win-crt-*.dll|ucrtbase.dll) ;;
        *) echo "unexpected import: $dll_name"; status=1 ;;
    esac
done
exit $status
