#!/bin/bash
# A turntable rendered by a Slurm job array. Frames are numbered from 1; array
# task i renders frames i*CHUNK+1 to (i+1)*CHUNK, the last task what is left,
# so the array needs tasks 0 to ceil(FRAMES/CHUNK)-1:
#
#   FRAMES=120 CHUNK=10 sbatch --array=0-11 turntable.sbatch --scene model.json
#
# The last task of an array that looks too short warns, naming the frames no
# task of it renders that are not on disk yet.
#
# Arguments after the script go to xray-render, but for the options the script
# sets (--turntable, --frames, --skip-existing, --out). Frames that are already
# complete are skipped, so a failed or lost task is re-run by submitting the
# array, or just that task, again. See docs/farm.md.
#
# Environment: FRAMES (120; give encode.sbatch the same), CHUNK (10 frames a
# task), OUT (the frames' path, hashes for the frame number:
# turntable_####.png), XRAY_RENDER (the program, xray-render on the PATH),
# THREADS (--cpus-per-task, or every core), TASK (the task index,
# SLURM_ARRAY_TASK_ID by default; set it to run the script under another
# scheduler, or none).
#SBATCH --job-name=xray-turntable
#SBATCH --array=0-11
#SBATCH --cpus-per-task=4
#SBATCH --time=01:00:00
#SBATCH --output=xray-turntable_%A_%a.log
set -euo pipefail

frames=${FRAMES:-120}
chunk=${CHUNK:-10}
out=${OUT:-turntable_####.png}
renderer=${XRAY_RENDER:-xray-render}
threads=${THREADS:-${SLURM_CPUS_PER_TASK:-0}}
task=${TASK:-${SLURM_ARRAY_TASK_ID:-}}

# xray-render takes the last of an option given twice: one of the script's
# own, given again after it, would render other frames than it says.
for arg in "$@"; do
    case $arg in
    --turntable | --turntable=* | --frames | --frames=* | --skip-existing | --out | --out=* | -o*)
        echo "turntable: $arg: the script sets it (FRAMES, CHUNK, OUT); leave it out" >&2
        exit 2
        ;;
    esac
done
# sbatch passes the submitting shell's environment on, a TASK left in it too.
if [ -n "${TASK:-}" ] && [ -n "${SLURM_ARRAY_TASK_ID:-}" ] && [ "$TASK" != "$SLURM_ARRAY_TASK_ID" ]; then
    echo "turntable: TASK=$TASK is not this array task's index, $SLURM_ARRAY_TASK_ID: unset TASK" >&2
    exit 2
fi
if ! [[ $frames =~ ^[1-9][0-9]*$ && $chunk =~ ^[1-9][0-9]*$ ]]; then
    echo "turntable: FRAMES and CHUNK must be positive whole numbers" >&2
    exit 2
fi
if ! [[ $task =~ ^[0-9]+$ ]]; then
    echo "turntable: no task index: submit with sbatch --array, or set TASK" >&2
    exit 2
fi
task=$((10#$task)) # in decimal: TASK=010 is task 10, not octal 8
# The tasks write frames with --skip-existing; a video is made from them after.
if [[ $out != *#* ]]; then
    echo "turntable: OUT=$out names no frames: give a pattern with hashes for the frame" \
        "number (turntable_####.png), then join the frames with encode.sbatch (VIDEO=$out)" >&2
    exit 2
fi
tasks=$(((frames + chunk - 1) / chunk))
# The last task of an array from task 0 that looks too short: the frames past
# its end that are missing are in no task of it. A warning, not a failure: a
# re-run of the first tasks alone (--array=0) looks the same.
if [ "${SLURM_ARRAY_TASK_MIN:-}" = 0 ] && [ "${SLURM_ARRAY_TASK_MAX:-}" = "$task" ] &&
    [ "${SLURM_ARRAY_TASK_COUNT:-}" = $((task + 1)) ] && ((task + 1 < tasks)); then
    prefix=${out%%#*}
    hashes=${out#"$prefix"}
    hashes=${hashes%%[!#]*}
    suffix=${out#"$prefix$hashes"}
    missing=0
    for ((frame = (task + 1) * chunk + 1; frame <= frames; frame++)); do
        printf -v path '%s%0*d%s' "$prefix" "${#hashes}" "$frame" "$suffix"
        [ -e "$path" ] || missing=$((missing + 1))
    done
    if ((missing > 0)); then
        echo "turntable: warning: frames $(((task + 1) * chunk + 1))-$frames ($missing not on" \
            "disk) are in no task of this array: FRAMES=$frames in chunks of $chunk need" \
            "--array=0-$((tasks - 1)); unless another job renders them, submit" \
            "--array=$((task + 1))-$((tasks - 1))" >&2
    fi
fi
first=$((task * chunk + 1))
last=$(((task + 1) * chunk))
if ((last > frames)); then
    last=$frames
fi
if ((first > last)); then
    echo "task $task: no frames to render (FRAMES=$frames, CHUNK=$chunk)"
    exit 0
fi

echo "task $task: frames $first-$last of $frames on ${SLURMD_NODENAME:-$(uname -n)}"
exec "$renderer" --turntable "$frames" --frames "$first-$last" --skip-existing \
    --threads "$threads" --out "$out" "$@"
