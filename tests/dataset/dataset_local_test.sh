#!/usr/bin/env bash
# What a hostile test found in the former dataset runner, against
# dadimero-dataset on this machine: sequence names of every kind, inputs
# changed after a run, two starts on one output folder, and failures that must
# say what happened (a full output folder, a read-only one); and the ssh
# engine through GNU parallel on this machine, which must give the same masks.
# Usage: dataset_local_test.sh DADIMERO_DATASET MAKE_SAMPLE_SEQUENCE DADI_MERO
set -uo pipefail
dataset=$1 generator=$2 program=$(realpath "$3")

work=$(mktemp -d)
full=$work/full          # a small tmpfs, where mounting one is allowed
readonly_out=$work/ro    # a read-only bind mount, likewise
trap 'mountpoint -q "$full" && umount "$full"; mountpoint -q "$readonly_out/seq" &&
    umount "$readonly_out/seq"; rm -rf "$work"' EXIT
source "$(dirname "$0")/test_helpers.sh"

start() {  # start LABEL [run arguments...]: output in $work/LABEL.txt, exit code in $status
    local label=$1
    shift
    "$dataset" run --bin "$program" "$@" >"$work/$label.txt" 2>&1
    status=$?
    echo "--- $label exited $status"
    cat "$work/$label.txt"
}
make_sequence() {  # make_sequence DIR SEED [options...]
    local dir=$1 seed=$2
    shift 2
    "$generator" --out "$dir" --width 48 --height 40 --frames 12 --seed "$seed" "$@" >/dev/null
}

# Every name a file system allows runs and is scored.
names=$work/names
awkward=($'new\nline' $'tab\there' "quo'te\"s" "-dash" "ünï cødé" "sp ace")
seed=1
for name in "${awkward[@]}"; do
    make_sequence "$names/$name" $seed || exit 1
    seed=$((seed + 1))
done
start names -j 2 "$names" "$work/names-out"
check "awkward names: exit 0" [ "$status" -eq 0 ]
check "awkward names: every sequence ran" \
    contains "$work/names.txt" "Summary: 6 ran, 0 skipped (complete), 0 failed"
for name in "${awkward[@]}"; do
    check "awkward names: masks of '$name' in its own folder" \
        [ -f "$work/names-out/$name/bin000012.png" ]
done
check "awkward names: all six are scored" \
    [ "$(python3 -c "import json,sys; print(len(json.load(open(sys.argv[1]))['videos']))" \
        "$work/names-out/scores.json")" = 6 ]
start names-again -j 2 "$names" "$work/names-out"
check "awkward names: all complete the second time" \
    contains "$work/names-again.txt" "Summary: 0 ran, 6 skipped (complete), 0 failed"
check "a newline in a name is shown as \\n, on one line" \
    contains "$work/names-again.txt" 'skipped (complete): new\nline'
check "the scores table keeps such a name on its row" grep -qE '^new\\nline +new\\nline +9 ' \
    "$work/names-again.txt"

# Changed inputs rerun their sequence, and only it.
inputs=$work/inputs
make_sequence "$inputs/a" 11 && make_sequence "$inputs/b" 12 || exit 1
start inputs-first -j 2 "$inputs" "$work/inputs-out"
make_sequence "$work/other" 13 || exit 1
cp "$work/other/input/in000008.png" "$inputs/a/input/in000008.png"
start inputs-frame -j 2 "$inputs" "$work/inputs-out"
check "a replaced frame reruns its sequence only" \
    contains "$work/inputs-frame.txt" "Summary: 1 ran, 1 skipped (complete), 0 failed"
cp -r "$inputs/a" "$work/a-alone"
start inputs-fresh -j 2 "$work/a-alone" "$work/a-fresh"
check "the rerun's masks are those of the new frames" same_masks "$work/a-fresh" "$work/inputs-out/a"
echo "5 12" >"$inputs/b/temporalROI.txt"
start inputs-range -j 2 "$inputs" "$work/inputs-out"
check "a new temporal range reruns its sequence" \
    contains "$work/inputs-range.txt" "Summary: 1 ran, 1 skipped (complete), 0 failed"
touch -d '2001-01-01' "$inputs/a/ROI.bmp"
start inputs-roi -j 2 "$inputs" "$work/inputs-out"
check "a touched region of interest reruns its sequence" \
    contains "$work/inputs-roi.txt" "Summary: 1 ran, 1 skipped (complete), 0 failed"
start inputs-same -j 2 "$inputs" "$work/inputs-out"
check "unchanged inputs: nothing runs" \
    contains "$work/inputs-same.txt" "Summary: 0 ran, 2 skipped (complete), 0 failed"

# Two starts on one output folder: the second is refused at once, naming the
# first; a start killed outright leaves no lock behind.
slow=$work/slow
"$generator" --out "$slow/seq" --width 128 --height 96 --frames 60 --seed 3 >/dev/null || exit 1
"$dataset" run --bin "$program" "$slow" "$work/slow-out" -- -n 9 >"$work/first.txt" 2>&1 &
first=$!
wait_for "$work/slow-out/seq/bin*.png"
start second "$slow" "$work/slow-out" -- -n 9
check "a second start on the same output folder: exit 1" [ "$status" -eq 1 ]
check "the refusal names the running start" contains "$work/second.txt" "in use by another start"
check "... by its process" contains "$work/second.txt" "process $first on "
kill -KILL "$first"
wait "$first" 2>/dev/null
start third "$slow" "$work/slow-out" -- -n 9
check "after a start killed outright, a new one runs: exit 0" [ "$status" -eq 0 ]

# The ssh engine, with GNU parallel on this machine (":"): the same masks.
echo ":" >"$work/hosts"
start ssh --sshloginfile "$work/hosts" "$inputs" "$work/ssh-out"
check "over ssh: exit 0" [ "$status" -eq 0 ]
check "over ssh: the local engine's masks" same_masks "$work/inputs-out" "$work/ssh-out"
check "over ssh: the local engine's scores" cmp -s "$work/inputs-out/scores.json" "$work/ssh-out/scores.json"
start ssh-again --sshloginfile "$work/hosts" "$inputs" "$work/inputs-out"
check "over ssh, the local engine's runs are complete" \
    contains "$work/ssh-again.txt" "Summary: 0 ran, 2 skipped (complete), 0 failed"

# Ctrl-C stops the ssh engine too: GNU parallel, its jobs and their DADI-MERO.
set -m
"$dataset" run --bin "$program" --sshloginfile "$work/hosts" "$slow" "$work/ssh-stopped" -- -n 9 \
    >"$work/ssh-int.txt" 2>&1 &
pid=$!
set +m
wait_for "$work/ssh-stopped/seq/bin*.png"
kill -INT -- "-$pid"
wait "$pid"
status=$?
cat "$work/ssh-int.txt"
check "over ssh, INT: exit 130" [ "$status" -eq 130 ]
check "over ssh, INT: the run is named as interrupted" contains "$work/ssh-int.txt" "interrupted: seq"
check "over ssh, INT: nothing is left running" none_left

# Failures say what happened.
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: a full and a read-only output folder (mounting needs root)"
else
    mkdir -p "$full"
    if mount -t tmpfs -o size=64k tmpfs "$full" 2>"$work/mount.txt"; then
        "$generator" --out "$work/many/seq" --width 48 --height 40 --frames 60 --seed 4 \
            >/dev/null || exit 1
        start full -j 1 "$work/many" "$full/out"
        check "a full output folder: exit 1" [ "$status" -eq 1 ]
        check "a full output folder: the run's exit 3 and why" contains "$work/full.txt" \
            "exited 3 (mask not written)"
        umount "$full"
    else
        echo "skipped: a full output folder (mount refused: $(cat "$work/mount.txt"))"
    fi
    make_sequence "$work/one/seq" 21 || exit 1
    start ro-first "$work/one" "$readonly_out"
    if mount --bind "$readonly_out/seq" "$readonly_out/seq" &&
        mount -o remount,ro,bind "$readonly_out/seq" 2>"$work/mount.txt"; then
        start ro "$work/one" "$readonly_out" -- -DADI 0
        check "a read-only output with other options: exit 1" [ "$status" -eq 1 ]
        check "a read-only output: the message says so" contains "$work/ro.txt" \
            "Read-only file system"
        umount "$readonly_out/seq"
    else
        echo "skipped: a read-only output folder (mount refused: $(cat "$work/mount.txt"))"
    fi
fi

check "no process of the test is left" none_left
finish
