#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them, side by side, for a
# bounded time (default 60 s). Fails on the first target that finds a crash, a sanitizer
# report, a leak, an input slower than 10 s or one that needs over 2 GB.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/install-deps.sh
bash scripts/install-fuzz-deps.sh
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDADI_FUZZ=ON -DDADI_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_command_line fuzz_temporal_range \
  fuzz_image_load

work=build-fuzz/work
targets=(fuzz_command_line fuzz_temporal_range fuzz_image_load)
# All targets at once: each runs for the whole time on a share of the cores.
pids=()
for target in "${targets[@]}"; do
  rm -rf "${work:?}/$target"
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  # The program silences descriptor 2 while an image decodes; sanitizer reports
  # go to files so that none is lost.
  log="$work/$target/sanitizer"
  # OpenCV reads its image size limit once, as the library loads: it must be in
  # the environment from the start to bound what a few header bytes allocate.
  OPENCV_IO_MAX_IMAGE_PIXELS=262144 \
  ASAN_OPTIONS="log_path=$log:detect_leaks=1" UBSAN_OPTIONS="log_path=$log:print_stacktrace=1" \
    "build-fuzz/fuzz/$target" "$work/$target/corpus" "fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -artifact_prefix="$work/$target/findings/" -print_final_stats=1 \
    >"$work/$target/log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
  target="${targets[$i]}"
  if wait "${pids[$i]}"; then
    echo "$target: no finding"
  else
    status=1
    echo "FINDING in $target:"
    tail -n 40 "$work/$target/log"
    cat "$work/$target/sanitizer".* 2>/dev/null | head -n 80 || true
    ls -l "$work/$target/findings"
  fi
  grep -m1 -E '^stat::number_of_executed_units' "$work/$target/log" || true
done
exit "$status"
