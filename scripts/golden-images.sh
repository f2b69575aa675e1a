#!/usr/bin/env bash
# The golden images: each shipped scene, scenes/NAME.json, rendered small into
# tests/golden/NAME.png. Compares fresh renders with them (as make test does),
# or writes them anew when the look has changed on purpose (make golden).
# With --exact, a render must be its golden image byte for byte: what a change
# meant to leave every image as it was (one for speed, say) is held to.
# Usage: scripts/golden-images.sh XRAY_RENDER OUT_DIR [--update | --exact] [NAME...]
# With no NAME, every scene in scenes/. The renders, and heat maps of their
# differences, stay in OUT_DIR.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
renderer=$1 out=$2
shift 2
update=0 exact=0
if [ "${1:-}" = --update ]; then
    update=1
    shift
elif [ "${1:-}" = --exact ]; then
    exact=1
    shift
fi
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for scene in "$root"/scenes/*.json; do
        names+=("$(basename "$scene" .json)")
    done
fi

# Small and quick; the seed is the scenes' own, so the noise is the same each time.
render_args=(--width 160 --height 100 --spp 4)
# Embree's instruction sets each trace a few hits differently in the last bit:
# the golden images are made, and matched byte for byte, with this one. A CPU
# without it skips the byte-for-byte check (exit 77) and compares as usual.
golden_isa=avx512
# A pixel differs when a channel is off by more than five 8-bit steps; the
# image fails when more than 0.2% of its pixels (32) differ. Renders are
# deterministic, so what passes is rounding and changes too small to see at
# this size: a part unflagged or moved, a colour, a highlight or the shell's
# power from 2 to 2.5 fails, while 2 to 2.1 does not. A new sampling pattern
# changes the noise of one pixel in ten and needs new golden images.
compare_args=(--fail 0.02 --fail-percent 0.2)

mkdir -p "$out"
if [ "$update" = 1 ] || [ "$exact" = 1 ]; then
    # Named for this run: the tests of each scene share the folder.
    probe=$out/probe.$$ probed=0
    "$renderer" --isa "$golden_isa" --width 1 --height 1 --spp 1 --out "$probe.png" \
        >/dev/null 2>"$probe.err" || probed=$?
    unable=0
    grep -q "cannot trace with" "$probe.err" && unable=1
    cat "$probe.err" >&2
    rm -f "$probe.png" "$probe.err"
    if [ "$probed" != 0 ]; then
        [ "$exact" = 1 ] && [ "$unable" = 1 ] && exit 77
        exit 1
    fi
    render_args+=(--isa "$golden_isa")
fi
status=0
for name in "${names[@]}"; do
    golden=$root/tests/golden/$name.png
    if [ "$update" = 1 ]; then
        "$renderer" --scene "$root/scenes/$name.json" "${render_args[@]}" --out "$golden"
        continue
    fi
    "$renderer" --scene "$root/scenes/$name.json" "${render_args[@]}" --out "$out/$name.png" >/dev/null
    if [ "$exact" = 1 ]; then
        if ! cmp -s "$golden" "$out/$name.png"; then
            echo "golden-images: $name is not tests/golden/$name.png byte for byte (render in $out)" >&2
            status=1
        fi
        continue
    fi
    if ! "$renderer" compare "$golden" "$out/$name.png" "${compare_args[@]}" \
        --diff "$out/$name.diff.png"; then
        echo "golden-images: $name differs from tests/golden/$name.png (render and heat map in $out)" >&2
        status=1
    fi
done
exit $status
