#!/usr/bin/env bash
# Builds DADI-MERO and its tests with ThreadSanitizer (build-tsan/) and runs
# the tests that use several threads: the output hashes at several -threads
# (the worker pool and the frame read-ahead), the library at 1, 2 and 3
# threads, and whole runs. Any report fails the test that made it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDADI_TSAN=ON >/dev/null
cmake --build build-tsan -j"$(nproc)" --target DADI-MERO dadimero_tests peak_memory
export TSAN_OPTIONS="halt_on_error=1:suppressions=$PWD/tests/thread_sanitizer.supp"
ctest --test-dir build-tsan --output-on-failure -j"$(nproc)" \
  -R "OutputHashesTest|SubtractorTest|ProgramFixture|DepthRunFixture"
