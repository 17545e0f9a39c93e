#!/usr/bin/env bash
# dadimero-dataset on a private one-node Slurm cluster that this test starts
# and stops itself (slurm_cluster.sh): a run equals the local engine's byte for
# byte, split into arrays below MaxArraySize; a start while jobs are queued is
# refused; a task cancelled mid-run is reported as cut short and a
# resubmission reruns only it; a failing sequence is named with its log; a
# 2 x 2 sweep equals the local engine's sweep. Exits 77 (skipped) with the
# reason when the cluster cannot start here.
# Usage: dataset_slurm_test.sh DADIMERO_DATASET MAKE_SAMPLE_SEQUENCE DADI_MERO
set -uo pipefail
dataset=$1 generator=$2 program=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
cluster=$work/cluster
trap 'bash "$here/slurm_cluster.sh" stop "$cluster"; rm -rf "$work"' EXIT
source "$here/test_helpers.sh"

if ! settings=$(SLURM_TEST_OWNER_PID=$$ SLURM_TEST_MAX_ARRAY_SIZE=3 \
    bash "$here/slurm_cluster.sh" start "$cluster"); then
    echo "skipped: the test cluster cannot start here (see the line above)"
    exit 77
fi
eval "$settings"

# The program, recording each command line: the options it really got.
recording=$work/DADI-MERO
cat >"$recording" <<SCRIPT
#!/usr/bin/env bash
printf '%s\n' "\$*" >>"$work/arguments.txt"
exec "$program" "\$@"
SCRIPT
chmod +x "$recording"

start() {  # start LABEL COMMAND [arguments...]: output in $work/LABEL.txt, exit code in $status
    local label=$1
    shift
    "$dataset" "$@" >"$work/$label.txt" 2>&1
    status=$?
    echo "--- $label exited $status"
    cat "$work/$label.txt"
}
# Waits until job JOB has left the queue (at most two minutes).
wait_for_job() {
    local tries=0
    while [ -n "$(squeue --noheader --jobs="$1" 2>/dev/null)" ] && [ $tries -lt 600 ]; do
        sleep 0.2
        tries=$((tries + 1))
    done
}
collecting_job() { sed -n 's/.*; job \([0-9]*\) collects them.*/\1/p' "$1"; }

data=$work/data
for s in catA/one:1 catA/two:2 catB/three:3 catB/four:4; do
    "$generator" --out "$data/${s%:*}" --width 48 --height 40 --frames 12 --seed "${s#*:}" \
        >/dev/null || exit 1
done

start local run -j 2 "$data" "$work/local"
start slurm run --slurm --wait --cpus-per-task 2 --bin "$recording" "$data" "$work/slurm"
check "slurm --wait: exit 0" [ "$status" -eq 0 ]
check "four runs in arrays below MaxArraySize 3: two arrays" \
    grep -qE "submitted 4 runs to Slurm as job arrays [0-9]+, [0-9]+; job [0-9]+ collects" \
        "$work/slurm.txt"
check "slurm --wait: the collecting job's summary is printed" \
    contains "$work/slurm.txt" "Summary: 4 ran, 0 skipped (complete), 0 failed"
check "the masks are the local engine's" same_masks "$work/local" "$work/slurm"
check "the scores are the local engine's" cmp -s "$work/local/scores.json" "$work/slurm/scores.json"
check "each task runs with -threads of its CPUs" contains "$work/arguments.txt" "-threads 2"
check "the task logs are under the output folder" \
    [ -n "$(find "$work/slurm/.dadimero" -name 'task-*_*.out')" ]

# Without --wait: the job ids, then the program returns; the collecting job
# scores. A start while they are queued is refused.
long=$work/long
for s in 1 2; do
    "$generator" --out "$long/seq$s" --width 128 --height 96 --frames 60 --seed "$s" >/dev/null ||
        exit 1
done
start reference run -j 2 "$long" "$work/reference" -- -n 9
start submit run --slurm "$long" "$work/cancelled" -- -n 9
check "without --wait: exit 0 at once" [ "$status" -eq 0 ]
check "without --wait: how to follow the jobs" contains "$work/submit.txt" "follow:  squeue -j "
collect=$(collecting_job "$work/submit.txt")
start again run --slurm "$long" "$work/cancelled" -- -n 9
check "a start while the jobs are queued is refused" [ "$status" -eq 1 ]
check "the refusal names the jobs" contains "$work/again.txt" "are still queued or running"

# Cancel one task once its first mask is written.
wait_for "$work/cancelled/seq1/bin*.png"
task=$(squeue --noheader --array --format='%i %j' | awk '$2 == "dadimero-dataset" { print $1 }' |
    head -n 1)
echo "cancelling task $task"
scancel "$task"
wait_for_job "$collect"
log=$(find "$work/cancelled/.dadimero" -name "collect-$collect.out")
cat "$log"
check "the collecting job exits 1" [ "$(cat "$(dirname "$log")/collect.exit")" = 1 ]
check "the cancelled task is reported as cut short" contains "$log" "CUT SHORT seq"
check "the summary counts it" contains "$log" "1 cut short"
start resubmit run --slurm --wait "$long" "$work/cancelled" -- -n 9
check "resubmitted: exit 0" [ "$status" -eq 0 ]
check "resubmitted: only the cancelled run runs" \
    contains "$work/resubmit.txt" "Summary: 1 ran, 1 skipped (complete), 0 failed"
check "resubmitted: the masks of an uninterrupted run" same_masks "$work/reference" "$work/cancelled"

# Ctrl-C while following the jobs cancels them.
set -m
"$dataset" run --slurm --wait "$long" "$work/stopped" -- -n 9 >"$work/int.txt" 2>&1 &
pid=$!
set +m
wait_for "$work/stopped/seq*/bin*.png"
kill -INT -- "-$pid"
wait "$pid"
status=$?
cat "$work/int.txt"
check "--wait, INT: exit 130" [ "$status" -eq 130 ]
check "--wait, INT: the runs are named as interrupted" contains "$work/int.txt" "interrupted: seq"
check "--wait, INT: the jobs are cancelled" [ -z "$(squeue --noheader)" ]

# A failing sequence is named with its exit code, the reason and its log.
cp -r "$data" "$work/broken-data"
rm "$work/broken-data/catB/four/input/in000009.png"
start broken run --slurm --wait "$work/broken-data" "$work/broken"
check "a failed run: exit 1" [ "$status" -eq 1 ]
check "the failed run is named with its reason and log" contains "$work/broken.txt" \
    "FAILED catB/four: exited 1 (input unusable): Unable to read expected RGB file"
check "... and its log" contains "$work/broken.txt" "(log: $work/broken/catB/four/DADI-MERO.log)"

# A 2 x 2 sweep equals the local engine's.
two=$work/two
"$generator" --out "$two/catA/one" --width 64 --height 48 --frames 30 --seed 21 >/dev/null &&
    "$generator" --out "$two/catB/two" --width 80 --height 60 --frames 40 --seed 7 \
        --roi partial >/dev/null || exit 1
start sweep-local sweep -j 2 --grid "-DADI 0,1" --grid "-Cw 3,5" "$two" "$work/sweep-local"
start sweep-slurm sweep --slurm --wait --grid "-DADI 0,1" --grid "-Cw 3,5" "$two" \
    "$work/sweep-slurm"
check "the sweep on Slurm: exit 0" [ "$status" -eq 0 ]
check "the sweep's masks are the local engine's" same_masks "$work/sweep-local" "$work/sweep-slurm"
check "the sweep's summary and best settings are the local engine's" \
    cmp -s "$work/sweep-local/sweep.json" "$work/sweep-slurm/sweep.json"
check "the sweep's table is printed" contains "$work/sweep-slurm.txt" "Best setting (highest F-measure):"

bash "$here/slurm_cluster.sh" stop "$cluster"
check "no process of the test or its cluster is left" none_left
conf=$SLURM_CONF
unset SLURM_CONF  # so that the check's own processes do not carry it
check "no process carries the cluster's configuration" \
    [ -z "$(grep -lsxzF "SLURM_CONF=$conf" /proc/[0-9]*/environ | grep -v "^/proc/$$/")" ]
finish
