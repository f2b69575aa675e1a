#!/usr/bin/env bash
# Makes the Windows zip, unpacks it, and runs under Wine the example host it
# holds; then cross-builds the example out of tree against the unpacked
# package and runs that too, against the DLL from the zip. Both must print the
# expected table. The README's and the guides' links must lead to files in
# the zip. Runs in the Windows suite, with its Wine prefix.
# Usage: check_windows_package.sh BUILD_DIR SOURCE_DIR WINE
set -euo pipefail
build="$1"
source="$2"
wine="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "check_windows_package: $*" >&2
    exit 1
}
expected="$source/tests/packaging/minimal_host_output.txt"

(cd "$build" && cpack -G ZIP -B "$work/package" >"$work/cpack.log") ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
zip=$(echo "$work"/package/*.zip)
[ -f "$zip" ] || fail "cpack wrote no zip"
(cd "$work" && cmake -E tar xf "$zip")
unpacked="$work/$(basename "$zip" .zip)"
for file in bin/qorv_xraytexture.dll bin/minimal_host.exe include/qorv_xraytexture.h \
    share/qorv_xraytexture/qorv_xraytexture.json share/qorv_xraytexture/qorv_xraytexture.mtlx \
    lib/cmake/qorv_xraytexture/qorv_xraytexture-config.cmake LICENSE README.md docs/xray-render.md; do
    [ -f "$unpacked/$file" ] || fail "the zip lacks $file"
done
for doc in "$unpacked"/*.md "$unpacked"/docs/*.md; do
    for link in $(grep -o '](\([^)#]\+\)' "$doc" | cut -c3- | grep -v '://'); do
        [ -e "$(dirname "$doc")/$link" ] || fail "${doc#"$unpacked"/} links $link, which the zip lacks"
    done
done

# Wine writes the programs' line ends as Windows does.
"$wine" "$unpacked/bin/minimal_host.exe" | tr -d '\r' >"$work/packaged.txt" ||
    fail "the packaged example host failed"
diff -u "$expected" "$work/packaged.txt" || fail "the packaged example host's table differs"

cmake -S "$source/examples/minimal_host" -B "$work/example" \
    -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
    -Dqorv_xraytexture_DIR="$unpacked/lib/cmake/qorv_xraytexture" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -pedantic -Werror" >"$work/configure.log" ||
    { cat "$work/configure.log"; fail "the example does not configure"; }
cmake --build "$work/example" >"$work/build.log" || { cat "$work/build.log"; fail "the example does not build"; }
"$wine" "$work/example/minimal_host.exe" | tr -d '\r' >"$work/built.txt" ||
    fail "the example host built against the zip failed"
diff -u "$expected" "$work/built.txt" || fail "the table of the example host built against the zip differs"
echo "check_windows_package: the zip's example host, and one built against the zip, print the expected table"
