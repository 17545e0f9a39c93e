#!/usr/bin/env bash
# Drives dadimero-dataset run on this machine over generated sequences: a
# broken one, reruns by the completeness rule, a dataset with an inverted
# range, a damaged mask and a linked sequence, scores on a full disk, and runs
# stopped by INT and TERM then resumed.
# Usage: dataset_run_test.sh DADIMERO_DATASET MAKE_SAMPLE_SEQUENCE DADI_MERO EVALUATE_MASKS
set -uo pipefail
dataset=$1 generator=$2 program=$(realpath "$3") evaluator=$4

work=$(mktemp -d)
full=$work/full  # a small tmpfs, where mounting one is allowed
trap 'mountpoint -q "$full" && umount "$full"; rm -rf "$work"' EXIT
source "$(dirname "$0")/test_helpers.sh"

# The program, recording each command line: the options it really got.
recording=$work/DADI-MERO
cat >"$recording" <<SCRIPT
#!/usr/bin/env bash
printf '%s\n' "\$*" >>"$work/arguments.txt"
exec "$program" "\$@"
SCRIPT
chmod +x "$recording"

run() {  # run LABEL [options...]: output in $work/LABEL.txt, exit code in $status
    local label=$1
    shift
    : >"$work/arguments.txt"
    "$dataset" run --bin "$recording" "$@" >"$work/$label.txt" 2>&1
    status=$?
    echo "--- run $label exited $status"
    cat "$work/$label.txt"
}
mtime_of() { stat -c '%Y.%y %s' "$1"; }

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
check "the good sequence is scored, into OUTPUT_ROOT too" \
    contains "$out/scores.json" '{"category": "set1", "video": "good", '
check "the printed tables are scores.txt" contains "$work/first.txt" "$(head -n 3 "$out/scores.txt")"
check "the broken sequence is not scored" lacks "$out/scores.json" '"broken"'
# Two runs at once share the cores.
shared=$(($(nproc) / 2))
check "concurrent runs share the cores" contains "$work/arguments.txt" "-threads $((shared > 0 ? shared : 1))"
check "the options are recorded, without the added -threads" [ ! -s "$out/set1/good/DADI-MERO.options" ]
cp -r "$out/set1/good" "$work/good-first"

good_log_before=$(mtime_of "$out/set1/good/DADI-MERO.log")
sleep 1
run second -j 2 "$data" "$out"
check "still failing: nonzero exit" [ "$status" -ne 0 ]
check "the finished sequence is skipped" contains "$work/second.txt" "skipped (complete): set1/good"
check "the finished sequence is not run again" \
    [ "$good_log_before" = "$(mtime_of "$out/set1/good/DADI-MERO.log")" ]
check "the broken sequence is retried and named" contains "$work/second.txt" "FAILED broken"
check "skipped sequences are still scored" contains "$out/scores.json" '"video": "good"'

cp "$data/broken/input/in000009.png" "$data/broken/input/in000010.png"
run third -j 1 "$data" "$out"
check "all sequences done: exit 0" [ "$status" -eq 0 ]
check "the summary counts one run and one skip" \
    contains "$work/third.txt" "Summary: 1 ran, 1 skipped (complete), 0 failed"
check "a single job gets no -threads" lacks "$work/arguments.txt" "-threads"
check "both categories are scored with the overall mean" \
    contains "$out/scores.json" '"overall": {"categories": 2, '

# A mask cut short under a status of 0, and a failed status over whole masks:
# both sequences are run again from scratch, with the same masks as before.
mask=$out/set1/good/bin000007.png
head -c "$(($(stat -c %s "$mask") - 20))" "$mask" >"$work/cut" && mv "$work/cut" "$mask"
echo 1 >"$out/broken/DADI-MERO.status"
run fourth -j 2 "$data" "$out"
check "a cut mask and a failed status are run again" \
    contains "$work/fourth.txt" "Summary: 2 ran, 0 skipped (complete), 0 failed"
check "the rerun gives the first run's masks" same_masks "$work/good-first" "$out/set1/good"

touch "$out/set1/good/bin000099.png"
run fifth -j 2 "$data" "$out" -- -DADI 0
check "other options run every sequence again" \
    contains "$work/fifth.txt" "Summary: 2 ran, 0 skipped (complete), 0 failed"
check "options after -- reach the program" contains "$out/broken/DADI-MERO.log" "NOT using depth"
check "the new options are recorded" [ "$(cat "$out/broken/DADI-MERO.options")" = "$(printf -- '-DADI\n0')" ]
check "a rerun starts from an empty folder" [ ! -e "$out/set1/good/bin000099.png" ]

run bad -j x "$data" "$out"
check "a bad option exits 2" [ "$status" -eq 2 ]

# Beside two good sequences: an inverted range, whose sequence has no frame to
# run or score; a sequence reached through a link; and one whose mask is then
# damaged between its intact header and end.
mixed=$work/mixed
mixed_out=$work/mixed-out
for s in catA/good1:11 catA/damaged:12 catB/good2:13 catB/inverted:14 elsewhere/linked:15; do
    "$generator" --out "$mixed/${s%:*}" --width 48 --height 40 --frames 12 --seed "${s#*:}" \
        >/dev/null || exit 1
done
echo "10 8" >"$mixed/catB/inverted/temporalROI.txt"
mv "$mixed/elsewhere" "$work/elsewhere"
ln -s "$work/elsewhere/linked" "$mixed/catB/linked"
# The JSON counts and measures of VIDEO in FILE.
scores_of() { grep -F "\"video\": \"$2\", \"TP\"" "$1" | grep -o '"TP": [^}]*'; }
# Scored alone, as evaluate-masks scores a single sequence, then as in FILE.
scored_as_alone() {  # scored_as_alone FILE RELATIVE_PATH
    local alone=$work/alone/$2
    "$evaluator" --dataset "$mixed/$2" "$mixed_out/$2" --out "$alone" >/dev/null || return 1
    [ -n "$(scores_of "$alone/scores.json" "$(basename "$2")")" ] &&
        [ "$(scores_of "$alone/scores.json" "$(basename "$2")")" = "$(scores_of "$1" "$(basename "$2")")" ]
}

run mixed -j 2 "$mixed" "$mixed_out"
check "an inverted range is no failure: exit 0" [ "$status" -eq 0 ]
check "the summary counts the sequence without frames apart" \
    contains "$work/mixed.txt" "Summary: 4 ran, 0 skipped (complete), 0 failed, 1 with no frames"
check "the summary names the range" contains "$work/mixed.txt" "no frames in range 10..8: catB/inverted"
check "a sequence without frames is not run" [ ! -e "$mixed_out/catB/inverted/DADI-MERO.log" ]
check "the linked sequence is run" [ -f "$mixed_out/catB/linked/bin000012.png" ]
check "the scores name the range without frames" contains "$mixed_out/scores.json" \
    '{"category": "catB", "video": "inverted", "LeftOut": "no frames in range 10..8"}'
for seq in catA/good1 catA/damaged catB/good2 catB/linked; do
    check "$seq is scored as it is alone" scored_as_alone "$mixed_out/scores.json" "$seq"
done
cp "$mixed_out/scores.json" "$work/mixed-scores.json"
cp -r "$mixed_out/catA/damaged" "$work/damaged-first"

mask=$mixed_out/catA/damaged/bin000008.png
size=$(stat -c %s "$mask")
{ head -c 40 "$mask"; head -c $((size - 60)) /dev/urandom; tail -c 20 "$mask"; } >"$work/damaged"
mv "$work/damaged" "$mask"
run mixed-rerun -j 2 "$mixed" "$mixed_out"
check "rerun: exit 0" [ "$status" -eq 0 ]
check "rerun: only the damaged mask's sequence runs" \
    contains "$work/mixed-rerun.txt" "Summary: 1 ran, 3 skipped (complete), 0 failed, 1 with no frames"
check "rerun: the damaged sequence is redone" same_masks "$work/damaged-first" "$mixed_out/catA/damaged"
check "rerun: the same scores" cmp -s "$work/mixed-scores.json" "$mixed_out/scores.json"

run mixed-threads -j 2 "$mixed" "$mixed_out" -- -threads 2
check "-threads does not run a complete sequence again" \
    contains "$work/mixed-threads.txt" "Summary: 0 ran, 4 skipped (complete), 0 failed, 1 with no frames"
run mixed-end -j 2 "$mixed" "$mixed_out" -- -end 9
check "-end 9: every sequence runs, complete with masks up to frame 9" \
    contains "$work/mixed-end.txt" "Summary: 4 ran, 0 skipped (complete), 0 failed, 1 with no frames"
check "-end 9: the range without frames follows the options" \
    contains "$work/mixed-end.txt" "no frames in range 10..9: catB/inverted"
check "-end 9: scored over frames 4 to 9" contains "$mixed_out/scores.txt" "catA      good1         6 "
run mixed-end-again -j 2 "$mixed" "$mixed_out" -- -end 9 -threads 1
check "-end 9 again: nothing runs" contains "$work/mixed-end-again.txt" "Summary: 0 ran, 4 skipped"

# Scores on a full disk: the previous ones stay, whole.
mkdir -p "$full"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: scores on a full disk (mounting a tmpfs needs root)"
elif ! mount -t tmpfs -o size=1m tmpfs "$full" 2>"$work/mount.txt"; then
    echo "skipped: scores on a full disk (mount refused: $(cat "$work/mount.txt"))"
else
    run full-first -j 2 "$mixed" "$full"
    check "full disk: the first run scores" [ "$status" -eq 0 -a -s "$full/scores.json" ]
    cp "$full/scores.txt" "$full/scores.json" "$work/"
    head -c 2M /dev/zero >"$full/filler" 2>/dev/null
    run full-again -j 2 "$mixed" "$full"
    check "full disk: the scores cannot be written, exit 1" [ "$status" -eq 1 ]
    check "full disk: the message names the file" contains "$work/full-again.txt" "cannot write $full/scores."
    check "full disk: the previous scores.txt stays whole" cmp -s "$work/scores.txt" "$full/scores.txt"
    check "full disk: the previous scores.json stays whole" cmp -s "$work/scores.json" "$full/scores.json"
    check "full disk: no unfinished file is left" [ -z "$(find "$full" -name '*.tmp')" ]
    umount "$full"
fi

# Stopped runs. Three sequences slow enough (-n 9) to be caught mid-way, two
# at a time, so that one has not started; a reference run goes through
# uninterrupted.
long=$work/long
for s in 1 2 3; do
    "$generator" --out "$long/seq$s" --width 128 --height 96 --frames 60 --seed "$s" >/dev/null ||
        exit 1
done
run reference -j 2 "$long" "$work/reference" -- -n 9
check "the reference run completes" [ "$status" -eq 0 ]

# Starts the program in a process group of its own, as a shell with job
# control does, and once the first mask is written sends INT to that group, as
# Ctrl-C on a terminal does, or TERM to the program alone.
interrupt() {  # interrupt INT|TERM OUTPUT_ROOT
    local signal=$1 target=$2
    set -m
    "$dataset" run --bin "$recording" -j 2 "$long" "$target" -- -n 9 >"$work/$signal.txt" 2>&1 &
    local pid=$!
    set +m
    wait_for "$target/seq*/bin*.png"
    if [ "$signal" = INT ]; then
        kill -INT -- "-$pid"
    else
        kill -TERM "$pid"
    fi
    wait "$pid"
    status=$?
    echo "--- run $signal exited $status"
    cat "$work/$signal.txt"
}
for signal in INT TERM; do
    target=$work/stopped-$signal
    interrupt "$signal" "$target"
    expected=$([ $signal = INT ] && echo 130 || echo 143)
    check "$signal: exit $expected" [ "$status" -eq "$expected" ]
    check "$signal: the summary names the interrupted sequences" \
        contains "$work/$signal.txt" "interrupted: seq"
    check "$signal: no DADI-MERO or task is left" none_left
    run "resumed-$signal" -j 2 "$long" "$target" -- -n 9
    check "$signal: the resumed run completes" [ "$status" -eq 0 ]
    check "$signal: the masks are those of an uninterrupted run" \
        same_masks "$work/reference" "$target"
done

finish
