#!/usr/bin/env bash
# Big models from the moment they are named: the wall time of a one-sample
# render (process start to its summary line), its load, the process's peak
# memory a triangle, and the rays a second of a 16-sample render, for a
# 5-million-triangle GLB of 1,000 parts and a 1.5-million-triangle OBJ of one
# mesh, as model_generator --big writes them.
# With BASELINE_XRAY_RENDER set to another build's xray-render, the two run in
# alternating order on the same files and the same shader library. Figures are
# medians of REPETITIONS runs (5 unless set).
# Usage: [BASELINE_XRAY_RENDER=path] bench/first_pixel.sh [BIN_DIR]   (default: build/default/bin)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$here/../build/default/bin}" && pwd)
repetitions=${REPETITIONS:-5}
baseline=${BASELINE_XRAY_RENDER:-}

# The models are kept beside the build: writing them takes longer than the runs.
models="$bin/../bench-models"
mkdir -p "$models"
cases=("big.glb 1000 5000000" "big.obj 1 1500000")
for c in "${cases[@]}"; do
    read -r file parts triangles <<<"$c"
    [ -s "$models/$file" ] || "$bin/model_generator" --big "$models/$file" "$parts" "$triangles"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

render() {
    "$1" --shader "$bin/qorv_xraytexture.so" --model "$2" -v --spp "$3" --width 320 --height 200 \
        -o "$work/frame.png"
}

# One run: "milliseconds load_seconds bytes_a_triangle mrays_a_second".
run() {
    local program=$1 model=$2 start end report
    start=$(date +%s%N)
    report=$(render "$program" "$model" 1)
    end=$(date +%s%N)
    echo "$(((end - start) / 1000000)) $(sed -n 's/^load: \([0-9.]*\) s.*/\1/p' <<<"$report")" \
        "$(sed -n 's/^peak memory: .*, \([0-9]*\) bytes per triangle/\1/p' <<<"$report")" \
        "$(render "$program" "$model" 16 | sed -n 's/.* \([0-9.]*\) Mrays\/s$/\1/p')"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# "first pixel  load  peak  rays a second" medians of a side's runs.
summary() {
    local f=$1
    printf '%6.2f s  %5.2f s  %4d B a triangle  %6.2f M rays/s' \
        "$(cut -d' ' -f1 "$f" | median | awk '{ print $1 / 1000 }')" \
        "$(cut -d' ' -f2 "$f" | median)" "$(cut -d' ' -f3 "$f" | median)" \
        "$(cut -d' ' -f4 "$f" | median)"
}

echo "time to first pixel (a 1-sample render at 320x200), load, peak memory," \
    "rays a second at 16 samples; medians of $repetitions"
for c in "${cases[@]}"; do
    read -r file parts triangles <<<"$c"
    : >"$work/new" && : >"$work/old"
    for ((i = 0; i < repetitions; ++i)); do
        # Alternating which goes first, so that neither always meets a warm cache.
        if [ -n "$baseline" ] && ((i % 2 == 0)); then run "$baseline" "$models/$file" >>"$work/old"; fi
        run "$bin/xray-render" "$models/$file" >>"$work/new"
        if [ -n "$baseline" ] && ((i % 2 == 1)); then run "$baseline" "$models/$file" >>"$work/old"; fi
    done
    echo "$file, $parts parts, $triangles triangles"
    echo "  this build   $(summary "$work/new")"
    [ -z "$baseline" ] || echo "  baseline     $(summary "$work/old")"
done
echo "targets: GLB first pixel <= 2.0 s, <= 120 B a triangle and rays a second within 5 % of" \
    "the baseline's; OBJ load <= 1.5 s and <= 150 B a triangle"
