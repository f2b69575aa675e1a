#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere, builds
# the example host out of tree against it with find_package alone, and checks
# the table it prints and its refusal of another version. Checks on the way
# what pkg-config says of the prefix (and of a relative one with a space) and
# that xray-render, moved with it, still finds the library.
# Usage: check_installed_example.sh BUILD_DIR SOURCE_DIR VERSION [WRONG_VERSION_LIBRARY]
# For a cross build, TOOLCHAIN names its toolchain file and EMULATOR the
# command that runs the target's programs.
set -euo pipefail
build="$1"
source="$2"
version="$3"
wrong_version="${4:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "check_installed_example: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$work/installed" >/dev/null

pc_dir=$(dirname "$(find "$work/installed" -name qorv_xraytexture.pc)")
pc() { PKG_CONFIG_PATH="$pc_dir" pkg-config "$@" qorv_xraytexture; }
[ "$(pc --modversion)" = "$version" ] || fail "pkg-config gives version $(pc --modversion)"
[ "$(echo $(pc --cflags))" = "-I$work/installed/include" ] || fail "pkg-config gives cflags $(pc --cflags)"
[ -f "$(pc --variable=plugindir)/qorv_xraytexture.so" ] || fail "no library in plugindir"
[ -f "$(pc --variable=datadir)/qorv_xraytexture.json" ] || fail "no declaration in datadir"

# A relative prefix lies below the working directory, as the files do, and a
# space in it stays inside its flag.
(cd "$work" && cmake --install "$build" --prefix "rel prefix" >/dev/null)
pc_dir=$(dirname "$(find "$work/rel prefix" -name qorv_xraytexture.pc)")
eval "flags=($(pc --cflags))"
[ ${#flags[@]} = 1 ] && [ "${flags[0]}" = "-I$work/rel prefix/include" ] ||
    fail "pkg-config gives cflags $(pc --cflags) for a relative prefix with a space"
[ -f "$(pc --variable=module)" ] || fail "no library at module $(pc --variable=module) for a prefix with a space"

# Nothing in the installed files may depend on where they were installed.
mv "$work/installed" "$work/moved"
prefix="$work/moved"
if [ -x "$prefix/bin/xray-render" ]; then
    "$prefix/bin/xray-render" --width 8 --height 5 --spp 1 --out "$work/moved.png" >/dev/null ||
        fail "the installed xray-render does not find its library"
fi

# A toolchain searches its own root for packages: point it at this one.
cross=()
if [ -n "${TOOLCHAIN:-}" ]; then
    cross=(-DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN"
        -Dqorv_xraytexture_DIR="$(dirname "$(find "$prefix" -name qorv_xraytexture-config.cmake)")")
fi
read -ra emulator <<<"${EMULATOR:-}"
cmake -S "$source/examples/minimal_host" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" "${cross[@]}" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -pedantic -Werror" >"$work/configure.log" ||
    { cat "$work/configure.log"; fail "the example does not configure"; }
cmake --build "$work/example" >"$work/build.log" || { cat "$work/build.log"; fail "the example does not build"; }
"${emulator[@]}" "$work/example/minimal_host" >"$work/table.txt" || fail "the example host failed"
diff -u "$source/tests/packaging/minimal_host_output.txt" "$work/table.txt" ||
    fail "the example host's table differs"
if [ -w /dev/full ] && "${emulator[@]}" "$work/example/minimal_host" >/dev/full 2>/dev/null; then
    fail "the example host reported a table lost to a full disk as written"
fi

if [ -n "$wrong_version" ]; then
    if "${emulator[@]}" "$work/example/minimal_host" "$wrong_version" >/dev/null 2>"$work/refusal.txt"; then
        fail "the example host accepted a library of another version"
    fi
    grep -q "is version 1 of the shader; this host needs 2" "$work/refusal.txt" ||
        fail "unexpected refusal: $(cat "$work/refusal.txt")"
fi
echo "check_installed_example: the example host built against the moved prefix prints the expected table"
