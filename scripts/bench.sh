#!/usr/bin/env bash
# Builds DADI-MERO and dadi-bench (Release), makes the three benchmark
# sequences in out/bench/ when they are missing, prints the benchmark table and
# draws out/bench/speed_vs_fmeasure_WxH.png, then times saving and loading a
# 1280x720 state against plain file I/O (dadi-state-bench).
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
cmake --build build -j"$(nproc)" --target DADI-MERO dadi-bench dadi-state-bench
if [ -f tools/CMakeLists.txt ] && [ "$generator" = build/make-sample-sequence ]; then
  cmake --build build -j"$(nproc)" --target make-sample-sequence
fi

# 1280x720, as today's depth cameras deliver it, has fewer frames: its files
# are large.
sequences=()
for sequence in 640x480:200 320x240:200 1280x720:100; do
  size=${sequence%:*}
  frames=${sequence#*:}
  dir="out/bench/seq${size}"
  if [ ! -f "$dir/temporalROI.txt" ]; then
    if [ ! -x "$generator" ]; then
      echo "bench.sh: no sequence generator at $generator (use --generator PATH)" >&2
      exit 2
    fi
    rm -rf "$dir"
    "$generator" --out "$dir" --width "${size%x*}" --height "${size#*x}" \
      --frames "$frames" --depth-bits 16 --seed 1 >/dev/null
  fi
  sequences+=("$dir")
done

./build/bench/dadi-bench --plot out/bench "${bench_args[@]}" "${sequences[@]}"
./build/bench/dadi-state-bench --dir out/bench
