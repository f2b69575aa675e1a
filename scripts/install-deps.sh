#!/usr/bin/env bash
# Installs from Debian's packages what the named jobs need and this machine lacks.
# Usage: scripts/install-deps.sh JOB...   (jobs: build, render, browser, bench, windows, arm64, check, fuzz, package, farm)
set -euo pipefail

packages_for() {
    case "$1" in
        build) echo "cmake make g++ binutils libgtest-dev nlohmann-json3-dev libxml2-utils pkgconf" ;;
        # help2man writes xray-render's manual page from its --help; libav* write videos;
        # OpenCASCADE reads STEP assemblies and meshes their shapes (and model_generator writes them).
        render) echo "libembree-dev libtbb-dev libassimp-dev libminizip-dev libpugixml-dev libtinyobjloader-dev nlohmann-json3-dev libstb-dev libcli11-dev libopenexr-dev libcpp-httplib-dev libavcodec-dev libavformat-dev libswscale-dev help2man libocct-data-exchange-dev libocct-ocaf-dev libocct-modeling-algorithms-dev" ;;
        # The browser test of xray-render serve; npm installs playwright-core.
        browser) echo "chromium nodejs npm" ;;
        windows) echo "cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest" ;;
        # qemu-user runs the target's programs with the cross sysroot's C runtime;
        # pkgconf reads the installed package's .pc in the example's check.
        arm64) echo "cmake make g++-aarch64-linux-gnu binutils-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user googletest pkgconf" ;;
        bench) echo "libbenchmark-dev valgrind" ;;
        # g++ brings GCC's sanitizer runtimes for the asan and tsan builds.
        check) echo "valgrind" ;;
        fuzz) echo "clang libclang-rt-14-dev" ;;
        # dpkg-shlibdeps finds the Debian package's dependencies; CPack runs file on each binary.
        package) echo "dpkg-dev file lintian" ;;
        # The farm test's one-node cluster; mungekey comes with munge. ffprobe and ffmpeg
        # check the video its encode job writes.
        farm) echo "slurm-wlm munge ffmpeg" ;;
        *) echo "install-deps: unknown job '$1'" >&2; exit 2 ;;
    esac
}

# Each job's list is taken first: an unknown job's exit inside $(...) in a for list
# would be lost, and nothing is installed unless every name is known.
lists=()
for job in "$@"; do
    list=$(packages_for "$job")
    lists+=("$list")
done

wanted=()
for list in "${lists[@]}"; do
    for package in $list; do
        # A Node.js from elsewhere brings its own npm, and conflicts with Debian's.
        [ "$package" = npm ] && command -v npm >/dev/null && continue
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            wanted+=("$package")
        fi
    done
done
[ ${#wanted[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: need root to install: ${wanted[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
echo "install-deps: installing ${wanted[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${wanted[@]}"
