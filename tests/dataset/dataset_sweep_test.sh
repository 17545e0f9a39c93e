#!/usr/bin/env bash
# Sweeps with dadimero-dataset on this machine: a 2 x 2 grid over two
# sequences equals four plain runs and names the best setting per category
# that those runs' own scores give; a settings file names the same folders;
# resume works per (setting, sequence); a failing sequence is named and its
# category never compared; settings that cannot be a sweep are refused.
# Usage: dataset_sweep_test.sh DADIMERO_DATASET MAKE_SAMPLE_SEQUENCE
set -uo pipefail
dataset=$1 generator=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/test_helpers.sh"

sweep() {  # sweep LABEL [arguments...]: output in $work/LABEL.txt, exit code in $status
    local label=$1
    shift
    "$dataset" sweep "$@" >"$work/$label.txt" 2>&1
    status=$?
    echo "--- sweep $label exited $status"
    cat "$work/$label.txt"
}

# Two categories whose best settings differ.
data=$work/data
"$generator" --out "$data/catA/one" --width 64 --height 48 --frames 30 --seed 21 >/dev/null &&
    "$generator" --out "$data/catB/two" --width 80 --height 60 --frames 40 --seed 7 \
        --roi partial >/dev/null || exit 1
out=$work/out
settings=("DADI=0,Cw=3" "DADI=0,Cw=5" "DADI=1,Cw=3" "DADI=1,Cw=5")

sweep grid -j 2 --grid "-DADI 0,1" --grid "-Cw 3,5" "$data" "$out"
check "the sweep completes: exit 0" [ "$status" -eq 0 ]
check "four settings of two sequences ran" \
    contains "$work/grid.txt" "Summary: 8 ran, 0 skipped (complete), 0 failed"
for setting in "${settings[@]}"; do
    dadi=${setting#DADI=} dadi=${dadi%%,*} cw=${setting##*Cw=}
    "$dataset" run -j 2 "$data" "$work/plain/$setting" -- -DADI "$dadi" -Cw "$cw" >/dev/null 2>&1
    check "$setting: the sweep's masks are a plain run's" same_masks "$work/plain/$setting" "$out/$setting"
    check "$setting: the sweep's scores are a plain run's" \
        cmp -s "$work/plain/$setting/scores.json" "$out/$setting/scores.json"
done
# The best setting per category and overall, from the plain runs' own scores:
# the highest F-measure, the first setting on a tie.
expected_best() {
    python3 - "$work/plain" "${settings[@]}" <<'PYTHON'
import json, sys
root, settings = sys.argv[1], sys.argv[2:]
best = {}
for setting in settings:
    scores = json.load(open(f"{root}/{setting}/scores.json"))
    values = {c["category"]: c["FMeasure"] for c in scores["categories"]}
    values["overall"] = scores["overall"]["FMeasure"]
    for name, f in values.items():
        if name not in best or f > best[name][1]:
            best[name] = (setting, f)
print(" ".join(f"{name}={best[name][0]}" for name in sorted(best)))
PYTHON
}
sweep_best() {
    python3 - "$out/sweep.json" <<'PYTHON'
import json, sys
best = json.load(open(sys.argv[1]))["best"]
names = {name: b["setting"] for name, b in best["categories"].items()}
names["overall"] = best["overall"]["setting"]
print(" ".join(f"{name}={names[name]}" for name in sorted(names)))
PYTHON
}
echo "best from the plain runs: $(expected_best); from the sweep: $(sweep_best)"
check "the sweep names the best setting of each category and overall" \
    [ "$(expected_best)" = "$(sweep_best)" ]
check "the categories' best settings differ here (a test that can fail)" \
    [ "$(expected_best | tr ' ' '\n' | cut -d= -f2- | sort -u | wc -l)" -gt 1 ]
check "sweep.txt is what was printed" contains "$work/grid.txt" "$(sed -n 4p "$out/sweep.txt")"
check "sweep.txt gives the best setting with its options" \
    contains "$out/sweep.txt" "DADI=0,Cw=5  (-DADI 0 -Cw 5)"
check "sweep.csv: a row per setting and category, and overall" \
    [ "$(grep -c ',scored,' "$out/sweep.csv")" -eq 12 ]
check "sweep.png: heat maps over the two options" [ -s "$out/sweep.png" ]
check "the plot is named" contains "$out/sweep.txt" "heat maps of the F-measure over -DADI and -Cw"

# The same settings from a file: the same folders, all complete.
printf '%s\n' '# the grid again' '-DADI 0 -Cw 3' '-DADI 0 -Cw 5' '' '-DADI 1 -Cw 3' \
    '-DADI 1   -Cw 5' >"$work/settings.txt"
sweep file -j 2 --settings "$work/settings.txt" "$data" "$out"
check "a settings file names the grid's folders: nothing to run" \
    contains "$work/file.txt" "Summary: 0 ran, 8 skipped (complete), 0 failed"

# Resume per (setting, sequence): one damaged mask reruns one run.
cp -r "$out/DADI=1,Cw=3/catB/two" "$work/two-first"
mask=$out/DADI=1,Cw=3/catB/two/bin000020.png
head -c 30 "$mask" >"$work/cut" && mv "$work/cut" "$mask"
cp "$out/sweep.json" "$work/sweep-first.json"
sweep resume -j 2 --grid "-DADI 0,1" --grid "-Cw 3,5" "$data" "$out"
check "resume: only the damaged run runs" \
    contains "$work/resume.txt" "Summary: 1 ran, 7 skipped (complete), 0 failed"
check "resume: it gives the same masks" same_masks "$work/two-first" "$out/DADI=1,Cw=3/catB/two"
check "resume: the same summary" cmp -s "$work/sweep-first.json" "$out/sweep.json"

# One option swept: the F-measure against its value.
sweep line -j 2 --grid "-Cw 3,5" "$data" "$work/line" -- -DADI 0
check "one option: a line plot" contains "$work/line/sweep.txt" "the F-measure against -Cw per category"
check "one option: its masks are those of the grid's" \
    same_masks "$out/DADI=0,Cw=5" "$work/line/Cw=5"

# A sequence that fails in every setting: named, its category never compared.
cp -r "$data" "$work/broken-data"
rm "$work/broken-data/catA/one/input/in000025.png"
sweep broken -j 2 --grid "-DADI 0,1" --grid "-Cw 3,5" "$work/broken-data" "$work/broken"
check "a failed run: exit 1" [ "$status" -eq 1 ]
check "a failed run is named with its exit code, reason and log" contains "$work/broken.txt" \
    "FAILED DADI=0,Cw=3/catA/one: exited 1 (input unusable): Unable to read expected RGB file"
check "the failed settings are named in the summary" contains "$work/broken/sweep.txt" \
    "Settings with failed runs:"
check "the failed category shows failed, not a mean" \
    contains "$work/broken/sweep.txt" "DADI=0,Cw=3  failed"
check "no setting is best where all failed" contains "$work/broken/sweep.txt" \
    "none: no setting scored without failures"
check "the other category still has its best setting" \
    contains "$work/broken/sweep.txt" "  catB         $(python3 -c "
import json; print('%.4f' % max(json.load(open('$work/plain/' + s + '/scores.json'))['categories'][1]['FMeasure'] for s in '${settings[*]}'.split()))")"

# What cannot be a sweep is refused before anything runs.
sweep both --grid "-e2 0.004,0.008" "$data" "$work/refused" -- -e2 0.01
check "an option both swept and fixed: exit 2" [ "$status" -eq 2 ]
check "an option both swept and fixed is named" contains "$work/both.txt" "sweeps -e2"
sweep unknown --grid "-e9 1,2" "$data" "$work/refused"
check "an option DADI-MERO does not read: exit 2" [ "$status" -eq 2 ]
check "an option DADI-MERO does not read is named" contains "$work/unknown.txt" '"-e9"'
sweep bad-value --grid "-n 3,4" "$data" "$work/refused"
check "a value DADI-MERO refuses: exit 2 with its message" \
    contains "$work/bad-value.txt" 'unsupported value 4 for option "-n"'
check "nothing ran for a refused sweep" [ ! -e "$work/refused/n=3" ]

finish
