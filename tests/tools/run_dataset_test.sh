#!/usr/bin/env bash
# Drives scripts/run_dataset.sh over generated sequences: a broken one, reruns
# by the completeness rule, and runs stopped by INT and TERM then resumed.
# Usage: run_dataset_test.sh RUN_DATASET_SCRIPT MAKE_SAMPLE_SEQUENCE DADI_MERO EVALUATE_MASKS
set -uo pipefail
script=$1 generator=$2 program=$(realpath "$3") evaluator=$4

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
lacks() { ! grep -qF -- "$2" "$1"; }

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
    bash "$script" --bin "$recording" --evaluator "$evaluator" "$@" >"$work/$label.txt" 2>&1
    status=$?
    echo "--- run $label exited $status"
    cat "$work/$label.txt"
}
mtime_of() { stat -c '%Y.%y %s' "$1"; }
same_masks() {  # same_masks DIR_A DIR_B: the same bin*.png files, byte for byte
    local a=$1 b=$2 f
    [ "$(cd "$a" && find . -name 'bin*.png' | sort)" = "$(cd "$b" && find . -name 'bin*.png' | sort)" ] ||
        return 1
    for f in $(cd "$a" && find . -name 'bin*.png'); do
        cmp -s "$a/$f" "$b/$f" || return 1
    done
}
# None of the processes this test started, found by the temporary folder on
# their command line, is left (pgrep leaves itself out).
none_left() {
    ! pgrep -a -f -- "$work/"
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
check "the good sequence is scored, into OUTPUT_ROOT too" \
    contains "$out/scores.json" '{"category": "set1", "video": "good", '
check "the printed tables are scores.txt" contains "$work/first.txt" "$(head -n 3 "$out/scores.txt")"
check "the broken sequence is not scored" lacks "$out/scores.json" '"broken"'
check "concurrent runs get -threads 1" contains "$work/arguments.txt" "-threads 1"
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

# Starts the script in a process group of its own, as a shell with job control
# does, and once the first mask is written sends INT to that group, as Ctrl-C
# on a terminal does, or TERM to the script alone.
interrupt() {  # interrupt INT|TERM OUTPUT_ROOT
    local signal=$1 target=$2 tries=0
    set -m
    bash "$script" --bin "$recording" --evaluator "$evaluator" -j 2 "$long" "$target" -- -n 9 \
        >"$work/$signal.txt" 2>&1 &
    local pid=$!
    set +m
    until compgen -G "$target/seq*/bin*.png" >/dev/null || [ $tries -ge 600 ]; do
        sleep 0.05
        tries=$((tries + 1))
    done
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
    check "$signal: no DADI-MERO, job or parallel is left" none_left
    run "resumed-$signal" -j 2 "$long" "$target" -- -n 9
    check "$signal: the resumed run completes" [ "$status" -eq 0 ]
    check "$signal: the masks are those of an uninterrupted run" \
        same_masks "$work/reference" "$target"
done

echo "$failures failed checks"
[ "$failures" -eq 0 ]
