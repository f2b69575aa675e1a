#!/bin/bash
# Joins a turntable's frames into a video once the job array that renders them
# has succeeded, through a Slurm dependency:
#
#   job=$(FRAMES=120 CHUNK=10 sbatch --parsable --array=0-11 turntable.sbatch --scene model.json)
#   sbatch --dependency=afterok:$job --kill-on-invalid-dep=yes encode.sbatch
#
# xray-render encode refuses a sequence with a frame missing or of another
# size, naming it, and writes nothing then. Arguments after the script go to
# xray-render encode (--quality Q, --frames A-B). See docs/farm.md.
#
# Environment: OUT (the frames, as turntable.sbatch names them:
# turntable_####.png), VIDEO (turntable.mp4; .webm for VP9, .mkv), FPS (30),
# XRAY_RENDER (the program, xray-render on the PATH).
#SBATCH --job-name=xray-encode
#SBATCH --cpus-per-task=4
#SBATCH --time=01:00:00
#SBATCH --output=xray-encode_%j.log
set -euo pipefail

out=${OUT:-turntable_####.png}
video=${VIDEO:-turntable.mp4}
fps=${FPS:-30}
renderer=${XRAY_RENDER:-xray-render}

echo "encode: $out into $video at $fps fps on ${SLURMD_NODENAME:-$(uname -n)}"
exec "$renderer" encode "$out" "$video" --fps "$fps" "$@"
