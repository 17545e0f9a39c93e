#!/usr/bin/env bash
# Installs clang and its libFuzzer runtime, needed only by scripts/fuzz.sh.
set -euo pipefail
exec bash "$(dirname "$0")/install-deps.sh" clang-14 libclang-rt-14-dev
