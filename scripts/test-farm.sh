#!/usr/bin/env bash
# Runs examples/farm/turntable.sbatch on a real one-node Slurm cluster brought
# up on this machine (munged, slurmctld and slurmd on localhost, everything
# under build/farm/), checks that the frames of the job array equal those of a
# single-process render byte for byte, and that re-submitting the array after
# losing a task's frames renders those frames and nothing else. Then a still
# split into tiles by examples/farm/still.sbatch and merged by a job that
# depends on the array, against a single-process render byte for byte; and a
# turntable whose array is followed by examples/farm/encode.sbatch, its video
# checked with ffprobe and its first frame against the first PNG. The cluster
# is torn down however the script ends.
# Usage (as root): scripts/test-farm.sh [path/to/xray-render]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
renderer=${1:-$root/build/default/bin/xray-render}
farm=$root/build/farm
cluster=$farm/cluster
frames=10 # in chunks of 3: four tasks, the last with one frame
chunk=3
tasks=$(((frames + chunk - 1) / chunk))
render_args=(--width 160 --height 100 --spp 4)

say() { echo "farm: $*"; }
fail() {
    echo "farm: FAILED: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || fail "run as root: slurmd starts each job as its user"
for command in munged mungekey slurmctld slurmd sbatch scontrol sinfo ffprobe ffmpeg; do
    command -v "$command" >/dev/null || fail "$command not found (scripts/install-deps.sh farm)"
done
[ -x "$renderer" ] || fail "no renderer at $renderer (make build)"
renderer=$(realpath "$renderer") # the jobs run in another directory

# Daemons we started, by name and process id, for the teardown.
declare -A daemons=()

# Waits up to 10 s for a daemon we started to end, then ends it.
stop() {
    local pid=${daemons[$1]:-}
    [ -n "$pid" ] || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$pid" 2>/dev/null; then
        say "$1 ($pid) did not stop; terminating it"
        kill -TERM "$pid" 2>/dev/null
        sleep 1
        kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
}

teardown() {
    local status=$?
    set +e
    # Slurm first, while munge still vouches for its messages. A job still
    # running (a wait timed out, a check failed) lives in its slurmstepd,
    # which outlives the daemons: cancel it and give it time to end.
    if [ -n "${daemons[slurmctld]:-}" ]; then
        scancel --quiet --full --user "$(id -un)" >/dev/null 2>&1
        for _ in $(seq 20); do
            [ -z "$(squeue --noheader 2>/dev/null)" ] && break
            sleep 0.5
        done
        scontrol shutdown >/dev/null 2>&1 # slurmd too
    fi
    stop slurmd
    stop slurmctld
    [ -n "${daemons[munged]:-}" ] && kill -TERM "${daemons[munged]}" 2>/dev/null
    stop munged
    if [ "$status" -ne 0 ]; then
        # What a daemon printed before its log file opened, or else its log.
        for out in "$cluster"/log/*.out; do
            log=${out%.out}.log
            [ -s "$log" ] || log=$out
            [ -s "$log" ] && { echo "--- last lines of $log"; tail -n 15 "$log"; }
        done
    fi
    say "cluster stopped"
    exit "$status"
}
trap teardown EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 5))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

free_port() {
    local port
    for _ in $(seq 100); do
        port=$((20000 + RANDOM % 20000))
        if ! port_in_use "$port" && [ "$port" != "${1:-}" ]; then
            echo "$port"
            return 0
        fi
    done
    fail "no free port found"
}

# --- a fresh cluster ---------------------------------------------------------
rm -rf "$farm"
mkdir -p "$cluster"/{state,spool,log} "$farm"/{array,single,logs,still,video}
# munged refuses a socket directory that others cannot enter.
mkdir -m 755 "$cluster/run"

mungekey --create --keyfile="$cluster/munge.key"
# --force: a test cluster may live under a directory munged would call unsafe.
setsid munged --foreground --force --key-file="$cluster/munge.key" --socket="$cluster/run/munge.socket" \
    --pid-file="$cluster/run/munged.pid" --log-file="$cluster/log/munged.log" \
    --seed-file="$cluster/munge.seed" >"$cluster/log/munged.out" 2>&1 &
daemons[munged]=$!
wait_for 10 test -S "$cluster/run/munge.socket" || fail "munged did not start"

controller_port=$(free_port)
node_port=$(free_port "$controller_port")
export SLURM_CONF=$cluster/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=xrayfarm
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$controller_port
SlurmdPort=$node_port
SlurmUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$cluster/run/munge.socket
StateSaveLocation=$cluster/state
SlurmdSpoolDir=$cluster/spool
SlurmctldPidFile=$cluster/run/slurmctld.pid
SlurmdPidFile=$cluster/run/slurmd.pid
SlurmctldLogFile=$cluster/log/slurmctld.log
SlurmdLogFile=$cluster/log/slurmd.log
# No cgroups: processes are tracked through /proc, tasks are not confined.
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
PlugStackConfig=$cluster/plugstack.conf
NodeName=farmnode NodeHostname=$(uname -n) NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=render Nodes=farmnode Default=YES MaxTime=INFINITE State=UP
EOF
: >"$cluster/plugstack.conf" # none of the system's SPANK plugins

# In the foreground, so that the process ids are those of the daemons, and in
# sessions of their own, so that Ctrl-C leaves them to the teardown. What they
# print before their log files open goes to *.out.
setsid slurmctld -D -f "$SLURM_CONF" >"$cluster/log/slurmctld.out" 2>&1 &
daemons[slurmctld]=$!
wait_for 30 scontrol ping || fail "slurmctld did not answer"
setsid slurmd -D -f "$SLURM_CONF" -N farmnode >"$cluster/log/slurmd.out" 2>&1 &
daemons[slurmd]=$!
node_idle() { [ "$(sinfo --noheader --nodes=farmnode --format=%t)" = idle ]; }
wait_for 30 node_idle || fail "the node did not come up: $(sinfo --noheader 2>&1)"
say "one-node cluster up: $(sinfo --noheader --format='%P %a %D node, %c CPUs, %t')"

# --- the array job -----------------------------------------------------------
submit() {
    FRAMES=$frames CHUNK=$chunk OUT=frame_####.png XRAY_RENDER=$renderer \
        timeout --foreground 600 sbatch --wait --quiet --chdir="$farm/array" --array="0-$((tasks - 1))" \
        --cpus-per-task=1 --output="$farm/logs/$1_%a.log" \
        "$root/examples/farm/turntable.sbatch" "${render_args[@]}"
}

# Modification times to the nanosecond, with inode numbers: a frame written
# again, even with the same bytes, shows.
fingerprints() { (cd "$farm/array" && stat --format='%n %i %y' frame_*.png); }

started=$SECONDS
submit first || fail "the array job failed (logs in build/farm/logs/)"
say "array job of $tasks tasks done in $((SECONDS - started)) s"
# The tasks' ranges follow one another from the first frame to the last.
next=1
for ((task = 0; task < tasks; task++)); do
    line=$(grep -h "^task $task: frames" "$farm/logs/first_$task.log") ||
        fail "task $task named no frames"
    echo "farm:   $line"
    range=$(sed -E 's/^task [0-9]+: frames ([0-9]+-[0-9]+) .*/\1/' <<<"$line")
    [ "${range%-*}" -eq "$next" ] || fail "task $task starts at ${range%-*}, not $next"
    next=$((${range#*-} + 1))
done
[ "$next" -eq $((frames + 1)) ] || fail "the tasks rendered frames 1 to $((next - 1)) of $frames"

"$renderer" --turntable "$frames" --out "$farm/single/frame_####.png" "${render_args[@]}" >/dev/null
# shellcheck disable=SC2012 # the names are the frames' own
expected=$(ls "$farm/single") written=$(ls "$farm/array")
[ "$written" = "$expected" ] ||
    fail "the array job wrote ${written//$'\n'/ } instead of ${expected//$'\n'/ }"
[ "$(wc -l <<<"$expected")" -eq "$frames" ] || fail "$frames frames expected: ${expected//$'\n'/ }"
for name in $expected; do
    cmp --quiet "$farm/array/$name" "$farm/single/$name" ||
        fail "$name differs from the single-process render"
done
say "$frames frames equal those of a single-process render, byte for byte"

# Losing task 1's frames, then re-submitting the whole array, renders those
# frames again and leaves every other frame as it was.
mapfile -t lost < <(seq --format='frame_%04g.png' $((chunk + 1)) $((2 * chunk)))
before=$(fingerprints | grep -v -F "${lost[@]/#/-e}")
(cd "$farm/array" && rm "${lost[@]}")
submit again || fail "the re-submitted array job failed"
[ "$(fingerprints | grep -v -F "${lost[@]/#/-e}")" = "$before" ] ||
    fail "re-submitting the array wrote frames that were complete"
for name in "${lost[@]}"; do
    cmp --quiet "$farm/array/$name" "$farm/single/$name" || fail "$name was not rendered again"
done
say "re-submitted after losing ${lost[*]}: those rendered again, the others skipped"

# --- jobs that wait for an array: a merge, an encode -------------------------
# The job id of an array submitted with these arguments.
submit_array() {
    local job
    job=$(sbatch --parsable --cpus-per-task=1 "$@") || fail "sbatch $* failed"
    echo "${job%%;*}"
}
# Submits a job that starts once the array has succeeded, and waits for it.
after() {
    local array=$1
    shift
    timeout --foreground 600 sbatch --wait --quiet --dependency="afterok:$array" \
        --kill-on-invalid-dep=yes --cpus-per-task=1 "$@"
}

# A still of four bands, with every pass, merged once the bands are done.
tiles=4
still_args=(--width 160 --height 100 --spp 4 --aov "depth,normal,albedo,xray,id")
started=$SECONDS
array=$(TILES=$tiles OUT=still.exr XRAY_RENDER=$renderer submit_array --chdir="$farm/still" \
    --array="1-$tiles" --output="$farm/logs/still_%a.log" "$root/examples/farm/still.sbatch" \
    "${still_args[@]}")
TILES=$tiles OUT=still.exr XRAY_RENDER=$renderer after "$array" --chdir="$farm/still" \
    --output="$farm/logs/merge.log" "$root/examples/farm/still.sbatch" merge ||
    fail "the merge job failed (logs in build/farm/logs/)"
"$renderer" "${still_args[@]}" --out "$farm/single/still.exr" >/dev/null
cmp --quiet "$farm/still/still.exr" "$farm/single/still.exr" ||
    fail "the still merged from $tiles tiles differs from the single-process render"
say "$tiles tiles, then their merge, in $((SECONDS - started)) s: $(tail -n 1 "$farm/logs/merge.log")"
say "the merged still equals a single-process render, byte for byte"

# The turntable again, and its video once all its frames are there.
fps=30
started=$SECONDS
array=$(FRAMES=$frames CHUNK=$chunk OUT=frame_####.png XRAY_RENDER=$renderer submit_array \
    --chdir="$farm/video" --array="0-$((tasks - 1))" --output="$farm/logs/video_%a.log" \
    "$root/examples/farm/turntable.sbatch" "${render_args[@]}")
FRAMES=$frames OUT=frame_####.png VIDEO=turntable.mp4 FPS=$fps XRAY_RENDER=$renderer after "$array" \
    --chdir="$farm/video" --output="$farm/logs/encode.log" "$root/examples/farm/encode.sbatch" ||
    fail "the encode job failed (logs in build/farm/logs/)"
say "$frames frames, then their video, in $((SECONDS - started)) s: $(tail -n 1 "$farm/logs/encode.log")"
video=$farm/video/turntable.mp4
probe() { ffprobe -v error -select_streams v:0 -count_frames -show_entries "stream=$1" -of csv=p=0 "$video"; }
[ "$(probe codec_name,pix_fmt)" = h264,yuv420p ] || fail "the video is $(probe codec_name,pix_fmt)"
[ "$(probe nb_read_frames)" -eq "$frames" ] || fail "the video has $(probe nb_read_frames) frames"
lasts=$(awk -v n="$frames" -v f="$fps" 'BEGIN { printf "%.6f", n / f }')
[ "$(probe duration)" = "$lasts" ] || fail "the video lasts $(probe duration) s, not $lasts"
say "ffprobe: $(probe codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames,duration)"
# Lossy, and in 4:2:0: close on average, further only along colour edges. The
# tolerance: a mean difference under 0.02 (5 of 255 steps), and no more than
# 5% of the pixels with a channel 0.1 or more away.
ffmpeg -v error -i "$video" -frames:v 1 "$farm/video/first.png"
comparison=$("$renderer" compare "$farm/video/frame_0001.png" "$farm/video/first.png" \
    --fail 0.1 --fail-percent 5) || fail "the video's first frame is not the first PNG: $comparison"
mean=$(awk '/mean difference/ { print $3 }' <<<"$comparison")
awk -v m="$mean" 'BEGIN { exit !(m < 0.02) }' || fail "the video's first frame is $mean away on average"
say "the video's first frame against frame_0001.png: mean difference $mean, and" \
    "$(awk '/ over / { print $3, $4, $5 }' <<<"$comparison" | tr -d ',') more than 0.1 away"
say "PASS"
