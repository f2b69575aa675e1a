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

fail() { echo "first_pixel: $*" >&2; exit 1; }

# A usage error, refused before the models are written: a median needs a run.
[[ $repetitions =~ ^[0-9]+$ ]] && repetitions=$((10#$repetitions)) && ((repetitions > 0)) ||
    { echo "first_pixel: REPETITIONS '$repetitions': must be a positive integer" >&2; exit 2; }

# The models are kept beside the build: writing them takes longer than the runs.
models="$bin/../bench-models"
mkdir -p "$models"
cases=("big.glb 1000 5000000" "big.obj 1 1500000")
for c in "${cases[@]}"; do
    read -r file parts triangles <<<"$c"
    # Written aside and moved in when whole, the model itself last (an OBJ's
    # materials file is beside it): an interrupted run must not leave half a
    # model that the next one takes for the real thing.
    if [ ! -s "$models/$file" ]; then
        partial="$models/partial"
        rm -rf "$partial" && mkdir "$partial"
        "$bin/model_generator" --big "$partial/$file" "$parts" "$triangles" ||
            fail "model_generator could not write $models/$file"
        find "$partial" -type f ! -name "$file" -exec mv -t "$models" {} +
        mv "$partial/$file" "$models/$file"
        rmdir "$partial"
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

render() {
    "$1" --shader "$bin/qorv_xraytexture.so" --model "$2" -v --spp "$3" --width 320 --height 200 \
        -o "$work/frame.png"
}

# The figure sed's EXPRESSION picks from a render's REPORT; a render that says
# nothing of it stops the benchmark rather than leave a gap in a median.
field() {
    local what=$1 expression=$2 report=$3 value
    value=$(sed -n "$expression" <<<"$report")
    [ -n "$value" ] || fail "no $what in the report of $program on $model:"$'\n'"$report"
    echo "$value"
}

# One run: "milliseconds load_seconds bytes_a_triangle mrays_a_second triangles".
run() {
    local program=$1 model=$2 start end report load triangles bytes rays
    start=$(date +%s%N)
    report=$(render "$program" "$model" 1) || fail "$program failed ($?) on $model at 1 sample"
    end=$(date +%s%N)
    load=$(field "load time" 's/^load: \([0-9.]*\) s.*/\1/p' "$report")
    triangles=$(field "triangle count" 's/^load: .*, \([0-9]*\) triangles$/\1/p' "$report")
    bytes=$(field "peak memory" 's/^peak memory: .*, \([0-9]*\) bytes per triangle$/\1/p' "$report")
    report=$(render "$program" "$model" 16) || fail "$program failed ($?) on $model at 16 samples"
    rays=$(field "ray rate" 's/.* \([0-9.]*\) Mrays\/s$/\1/p' "$report")
    echo "$(((end - start) / 1000000)) $load $bytes $rays $triangles"
}

# The median of the numbers read, one a line; nothing read is an error, not 0.
median() {
    sort -g | awk '{ v[NR] = $1 }
        END {
            if (NR == 0) { print "first_pixel: the median of no runs" > "/dev/stderr"; exit 1 }
            print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        }'
}

# "first pixel  load  peak  rays a second" medians of a side's runs, and the
# triangles it loaded, which the peak is divided by.
summary() {
    local f=$1
    printf '%6.2f s  %5.2f s  %4.0f B a triangle of %d  %6.2f M rays/s' \
        "$(cut -d' ' -f1 "$f" | median | awk '{ print $1 / 1000 }')" \
        "$(cut -d' ' -f2 "$f" | median)" "$(cut -d' ' -f3 "$f" | median)" \
        "$(tail -n 1 "$f" | cut -d' ' -f5)" "$(cut -d' ' -f4 "$f" | median)"
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
    echo "$file, written as $parts parts of $triangles triangles in all"
    echo "  this build   $(summary "$work/new")"
    [ -z "$baseline" ] || echo "  baseline     $(summary "$work/old")"
done
echo "targets: GLB first pixel <= 2.0 s, <= 120 B a triangle and rays a second within 5 % of" \
    "the baseline's; OBJ load <= 1.5 s and <= 150 B a triangle"
