#!/usr/bin/env bash
# Builds DADI-MERO and dadi-bench (Release), makes the two benchmark sequences
# in out/bench/ when they are missing, and prints the benchmark table.
#   scripts/bench.sh [--generator PATH] [--repeat N] [--json]
# The sequence generator is build/make-sample-sequence unless --generator says
# otherwise. Other options go to dadi-bench.
set -euo pipefail
cd "$(dirname "$0")/.."

generator=build/make-sample-sequence
bench_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --generator) generator="$2"; shift 2 ;;
    *) bench_args+=("$1"); shift ;;
  esac
done

bash scripts/install-deps.sh
# Tests are not needed to measure; only the program and the benchmark are built.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DDADI_BUILD_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)" --target DADI-MERO dadi-bench
if [ -f tools/CMakeLists.txt ] && [ "$generator" = build/make-sample-sequence ]; then
  cmake --build build -j"$(nproc)" --target make-sample-sequence
fi

sequences=()
for size in 640x480 320x240; do
  dir="out/bench/seq${size}"
  if [ ! -f "$dir/temporalROI.txt" ]; then
    if [ ! -x "$generator" ]; then
      echo "bench.sh: no sequence generator at $generator (use --generator PATH)" >&2
      exit 2
    fi
    rm -rf "$dir"
    "$generator" --out "$dir" --width "${size%x*}" --height "${size#*x}" \
      --frames 200 --depth-bits 16 --seed 1 >/dev/null
  fi
  sequences+=("$dir")
done

./build/bench/dadi-bench "${bench_args[@]}" "${sequences[@]}"
