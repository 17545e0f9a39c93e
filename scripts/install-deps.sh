#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and demo DADI-MERO, and
# any further packages named as arguments.
set -euo pipefail
packages=(build-essential cmake libopencv-dev libgtest-dev parallel strace
  pybind11-dev python3-dev python3-numpy python3-opencv python3-pytest
  python3-venv python3-setuptools python3-wheel python3-pybind11 python3-build zlib1g-dev
  slurm-wlm munge "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
