#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds examples/cpp against the
# installed package alone, and checks that its masks are DADI-MERO's, byte for
# byte, with depth and with colour alone.
# Usage: example_consumer_test.sh BUILD_DIR EXAMPLE_DIR MAKE_SAMPLE_SEQUENCE DADI-MERO
set -euo pipefail
build=$1 example=$2 generator=$3 program=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# Only the installed package is visible to the example: no source or build tree.
cmake -S "$example" -B "$work/example" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/example" -j2 >/dev/null

"$generator" --out "$work/seq" --width 80 --height 60 --frames 60 --depth-bits 16 --seed 7 \
    --roi partial >/dev/null
compare() {
    local name=$1
    shift
    mkdir -p "$work/$name/program" "$work/$name/example"
    (cd "$work/$name/program" && "$program" "$work/seq" "$@" >/dev/null)
    "$work/example/subtract-sequence" "$work/seq" "$work/$name/example" \
        $([ "$*" = "-DADI 0" ] && echo --colour-only)
    local masks
    masks=$(ls "$work/$name/program" | wc -l)
    [ "$masks" -eq 45 ] || { echo "$name: DADI-MERO wrote $masks masks, expected 45"; exit 1; }
    diff -r "$work/$name/program" "$work/$name/example" ||
        { echo "$name: the example's masks differ from DADI-MERO's"; exit 1; }
}
compare rgbd
compare colour -DADI 0
# The installed dataset program finds the installed DADI-MERO beside itself.
mkdir -p "$work/dataset/cat"
ln -s "$work/seq" "$work/dataset/cat/seq"
"$work/prefix/bin/dadimero-dataset" run -j 1 "$work/dataset" "$work/results" >/dev/null
for mask in "$work/rgbd/program"/bin*.png; do
    cmp -s "$mask" "$work/results/cat/seq/$(basename "$mask")" ||
        { echo "the installed dadimero-dataset's masks differ from DADI-MERO's"; exit 1; }
done
echo "the installed package builds the example, and its masks are DADI-MERO's; so are the"
echo "installed dadimero-dataset's"
