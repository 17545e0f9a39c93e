#!/usr/bin/env bash
# The main demo: installs what is needed, builds, makes the sample sequence,
# runs DADI-MERO with and without depth, scores both and draws a picture.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"

start=$(date +%s.%N)
demo=out/demo
rm -rf "$demo"
mkdir -p "$demo"
build/make-sample-sequence --out "$demo/sample" --width 320 --height 240 --frames 200 \
    --depth-bits 16

# DADI-MERO writes its masks into the current directory: one folder per mode.
run_mode() {
    local mode=$1
    shift
    mkdir -p "$demo/$mode"
    echo "running DADI-MERO ($mode), log in $demo/$mode/DADI-MERO.log"
    (cd "$demo/$mode" && ../../../build/DADI-MERO ../sample "$@" >DADI-MERO.log 2>&1)
}
run_mode with-depth
run_mode colour-only -DADI 0

(cd "$demo" && ../../build/evaluate-masks sample with-depth sample colour-only) >"$demo/scores.txt"
echo
awk 'NR == 1 { printf "%-12s %8s %9s %9s %8s\n", "mode", "Recall", "Precision", "F-measure", "PWC" }
     $1 == "sample" { printf "%-12s %8s %9s %9s %8s\n", $2, $8, $13, $14, $12 }' "$demo/scores.txt"
echo "(all measures: $demo/scores.txt)"
echo

build/draw-frames "$demo/sample" "$demo/with-depth" --frames 150 --out "$demo/pictures/with-depth" \
    --overlay
build/draw-frames "$demo/sample" "$demo/colour-only" --frames 150 \
    --out "$demo/pictures/colour-only" --overlay
end=$(date +%s.%N)
echo
echo "sample, runs, scores and pictures took $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s"
