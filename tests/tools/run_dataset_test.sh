#!/usr/bin/env bash
# Drives scripts/run_dataset.sh over two tiny generated sequences, one broken.
# Usage: run_dataset_test.sh RUN_DATASET_SCRIPT MAKE_SAMPLE_SEQUENCE DADI_MERO EVALUATE_MASKS
set -uo pipefail
script=$1 generator=$2 program=$3 evaluator=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
contains() { grep -qF -- "$2" "$1"; }
run() {  # run LABEL [options...]: output in $work/LABEL.txt, exit code in $status
    local label=$1
    shift
    bash "$script" --bin "$program" --evaluator "$evaluator" "$@" >"$work/$label.txt" 2>&1
    status=$?
    echo "--- run $label exited $status"
    cat "$work/$label.txt"
}

data=$work/data
out=$work/out
"$generator" --out "$data/set1/good" --width 48 --height 40 --frames 12 --seed 5 >/dev/null || exit 1
"$generator" --out "$data/broken" --width 48 --height 40 --frames 12 --seed 6 >/dev/null || exit 1
rm "$data/broken/input/in000010.png"

run first -j 2 "$data" "$out"
check "a failed sequence gives a nonzero exit" [ "$status" -ne 0 ]
check "the summary names the broken sequence" contains "$work/first.txt" "FAILED broken"
check "the broken sequence's log names the missing frame" \
    contains "$out/broken/DADI-MERO.log" "in000010.png"
for f in 4 5 6 7 8 9 10 11 12; do
    check "mask $f of the good sequence, in the mirrored folder" \
        [ -f "$out/set1/good/$(printf 'bin%06d.png' "$f")" ]
done
check "the good sequence is scored" contains "$work/first.txt" "set1/good"
check "the broken sequence is not scored" bash -c "! grep -q '^broken ' '$work/first.txt'"
check "concurrent runs get -threads 1" contains "$out/run_dataset.joblog" "-threads 1"

good_log_before=$(stat -c '%Y %s' "$out/set1/good/DADI-MERO.log")
good_sum_before=$(md5sum <"$out/set1/good/DADI-MERO.log")
sleep 1
run second -j 2 "$data" "$out"
check "still failing: nonzero exit" [ "$status" -ne 0 ]
check "the finished sequence is skipped" contains "$work/second.txt" "skipped (complete): set1/good"
check "the finished sequence is not run again" \
    [ "$good_log_before $good_sum_before" = "$(stat -c '%Y %s' "$out/set1/good/DADI-MERO.log") $(md5sum <"$out/set1/good/DADI-MERO.log")" ]
check "the broken sequence is retried and named" contains "$work/second.txt" "FAILED broken"
check "skipped sequences are still scored" contains "$work/second.txt" "set1/good"

cp "$data/broken/input/in000009.png" "$data/broken/input/in000010.png"
run third -j 1 "$data" "$out" -- -DADI 0
check "all sequences done: exit 0" [ "$status" -eq 0 ]
check "the summary counts one run and one skip" \
    contains "$work/third.txt" "Summary: 1 ran, 1 skipped (complete), 0 failed"
check "options after -- reach the program" contains "$out/broken/DADI-MERO.log" "NOT using depth"
check "a single job gets no -threads" bash -c "! grep -q -- '-threads' '$out/run_dataset.joblog'"
check "both sequences are scored with their average" contains "$work/third.txt" "average"

run bad -j x "$data" "$out"
check "a bad option exits 2" [ "$status" -eq 2 ]

echo "$failures failed checks"
[ "$failures" -eq 0 ]
