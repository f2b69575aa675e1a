#!/bin/bash
# A large still rendered by a Slurm job array, one band of the frame a task,
# then joined by a merge job that Slurm starts once every task has succeeded:
#
#   job=$(TILES=8 sbatch --parsable --array=1-8 still.sbatch --scene model.json --width 8000 --height 5000)
#   TILES=8 sbatch --dependency=afterok:$job --kill-on-invalid-dep=yes \
#       --output=xray-still-merge_%j.log still.sbatch merge
#
# The merge job's log takes a name of its own: it is no array task, and the
# --output below would name it xray-still_<job>_4294967294.log.
#
# Task I of the array renders band I of TILES (xray-render --tile I/TILES)
# into a tile of its own; a tile that is already complete is skipped, so a
# failed task is re-run by submitting it again. Called with `merge`, the
# script joins the tiles into OUT, which is then the frame rendered at once,
# byte for byte. Arguments after the script go to xray-render. See
# docs/farm.md.
#
# Environment: TILES (the bands, as many as the array's tasks; 8), OUT (the
# frame: PNG, or OpenEXR for NAME.exr; still.png; tile I is NAME_tile_I_of_N
# beside it), XRAY_RENDER (the program, xray-render on the PATH), THREADS
# (--cpus-per-task, or every core), TASK (the band, SLURM_ARRAY_TASK_ID by
# default; set it to run the script under another scheduler, or none).
#SBATCH --job-name=xray-still
#SBATCH --cpus-per-task=4
#SBATCH --time=01:00:00
#SBATCH --output=xray-still_%A_%a.log
set -euo pipefail

tiles=${TILES:-8}
out=${OUT:-still.png}
renderer=${XRAY_RENDER:-xray-render}
threads=${THREADS:-${SLURM_CPUS_PER_TASK:-0}}
task=${TASK:-${SLURM_ARRAY_TASK_ID:-}}

# xray-render takes the last of an option given twice: one of the script's
# own, given again after it, would render another band than it says.
for arg in "$@"; do
    case $arg in
    --tile | --tile=* | --region | --region=* | --skip-existing | --out | --out=* | -o*)
        echo "still: $arg: the script sets it (TILES, OUT); leave it out" >&2
        exit 2
        ;;
    esac
done
# sbatch passes the submitting shell's environment on, a TASK left in it too.
if [ -n "${TASK:-}" ] && [ -n "${SLURM_ARRAY_TASK_ID:-}" ] && [ "$TASK" != "$SLURM_ARRAY_TASK_ID" ]; then
    echo "still: TASK=$TASK is not this array task's index, $SLURM_ARRAY_TASK_ID: unset TASK" >&2
    exit 2
fi
if ! [[ $tiles =~ ^[1-9][0-9]*$ ]]; then
    echo "still: TILES must be a positive whole number" >&2
    exit 2
fi
# The extension is the file name's, never a dot in a folder's name.
if [[ ${out##*/} == *.* ]]; then
    stem=${out%.*} extension=${out##*.}
else
    stem=$out extension=png
fi
tile() { echo "${stem}_tile_${1}_of_${tiles}.${extension}"; }

if [ "${1:-}" = merge ]; then
    names=()
    for ((i = 1; i <= tiles; i++)); do
        names+=("$(tile "$i")")
    done
    echo "merge: ${tiles} tiles into $out on ${SLURMD_NODENAME:-$(uname -n)}"
    exec "$renderer" merge -- "${names[@]}" "$out"
fi

if ! [[ $task =~ ^[0-9]+$ ]] || ((10#$task < 1 || 10#$task > tiles)); then
    echo "still: no task index from 1 to $tiles: submit with sbatch --array=1-$tiles, or set TASK" >&2
    exit 2
fi
task=$((10#$task)) # in decimal: TASK=09 is band 9, not a bad octal number
echo "task $task: band $task of $tiles on ${SLURMD_NODENAME:-$(uname -n)}"
exec "$renderer" --tile "$task/$tiles" --skip-existing --threads "$threads" --out "$(tile "$task")" "$@"
