#!/bin/bash
# Joins a turntable's frames into a video once the job array that renders them
# has succeeded, through a Slurm dependency:
#
#   export FRAMES=120 CHUNK=10
#   job=$(sbatch --parsable --array=0-11 turntable.sbatch --scene model.json)
#   sbatch --dependency=afterok:$job --kill-on-invalid-dep=yes encode.sbatch
#
# The video holds frames 1 to FRAMES, and xray-render encode refuses them
# with one missing or of another size, naming it, and writes nothing then.
# Arguments after the script go to xray-render encode (--quality Q). See
# docs/farm.md.
#
# Environment: FRAMES (required: the turntable's, as given to turntable.sbatch,
# so that a video is never made short of frames the turntable was to have),
# OUT (the frames, as turntable.sbatch names them: turntable_####.png), VIDEO
# (turntable.mp4; .webm for VP9, .mkv), FPS (30), XRAY_RENDER (the program,
# xray-render on the PATH).
#SBATCH --job-name=xray-encode
#SBATCH --cpus-per-task=4
#SBATCH --time=01:00:00
#SBATCH --output=xray-encode_%j.log
set -euo pipefail

frames=${FRAMES:?give FRAMES, the turntable job\'s frame count}
# turntable.sbatch's defaults: sbatch runs a copy of each script from its
# spool folder, where a file the two could share is not to be found.
out=${OUT:-turntable_####.png}
video=${VIDEO:-turntable.mp4}
fps=${FPS:-30}
renderer=${XRAY_RENDER:-xray-render}

echo "encode: frames 1-$frames of $out into $video at $fps fps on ${SLURMD_NODENAME:-$(uname -n)}"
for arg in "$@"; do
    case $arg in
    --frames | --frames=* | --fps | --fps=*)
        echo "encode: $arg: the script sets it (FRAMES, FPS); leave it out" >&2
        exit 2
        ;;
    esac
done
# Names after "--", which may begin with '-'.
exec "$renderer" encode --frames "1-$frames" --fps "$fps" "$@" -- "$out" "$video"
