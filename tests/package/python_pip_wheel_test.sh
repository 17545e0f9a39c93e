#!/usr/bin/env bash
# The pip routes, offline: the package's source distribution, made from the source,
# `pip install --no-build-isolation` into one venv, and the wheel `python -m build`
# makes from it installed into a second. Each venv's own package must be the one
# imported, with its metadata, stub and py.typed, and give the masks of DADI-MERO
# and of the build's package on one sequence.
# Usage: python_pip_wheel_test.sh BUILD_DIR SOURCE_DIR PYTHON MAKE_SAMPLE_SEQUENCE DADI-MERO
set -euo pipefail
build=$1 source=$2 python=$3 generator=$4 program=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset PYTHONPATH
export PYTHONDONTWRITEBYTECODE=1

# The routes need build, setuptools, wheel, pybind11, numpy and cv2 in this Python
# (Debian: scripts/install-deps.sh); without them there is nothing to run.
if ! missing=$("$python" -c 'import build, setuptools, wheel, pybind11, numpy, cv2' 2>&1); then
    echo "skipped: $python cannot build or run the package offline: ${missing##*$'\n'}"
    exit 77
fi

# A copy of the source, so that the source tree gets no build files.
mkdir "$work/source"
cp -r "$source"/{CMakeLists.txt,README.md,MANIFEST.in,pyproject.toml,setup.py,cmake,include,src,python} \
    "$work/source"
"$python" -m build --no-isolation --sdist --outdir "$work/dist" "$work/source" >"$work/sdist.log" 2>&1 ||
    { cat "$work/sdist.log"; echo "no source distribution"; exit 1; }
tar -xzf "$work"/dist/dadimero-*.tar.gz -C "$work"
unpacked=$(echo "$work"/dadimero-*/)

"$generator" --out "$work/seq" --width 80 --height 60 --frames 60 --depth-bits 16 --seed 7 \
    --roi partial >/dev/null
mkdir -p "$work/program" "$work/build-module"
(cd "$work/program" && "$program" "$work/seq" >/dev/null)
(cd "$work" && PYTHONPATH="$build/python" "$python" "$source/examples/python/run_sequence.py" \
    "$work/seq" "$work/build-module")
diff -r "$work/program" "$work/build-module" >/dev/null ||
    { echo "the build's package does not give DADI-MERO's masks"; exit 1; }
version=$("$program" --version | awk '{print $NF}')

# The venv's own package: imported from its site-packages, with its version,
# numpy as its dependency, the stub and py.typed; its masks are the others'.
check() {
    local venv=$1 route=$2
    (cd "$work" && "$venv/bin/python" - "$version" <<'PY') || { echo "$route: the installed package is wrong"; exit 1; }
import importlib.metadata, os, sys, sysconfig
import dadimero
package = os.path.dirname(dadimero.__file__)
problems = []
if os.path.dirname(package) != sysconfig.get_paths()["platlib"]:
    problems.append(f"dadimero was imported from {package}, not from the venv")
if dadimero.__version__ != sys.argv[1] or importlib.metadata.version("dadimero") != sys.argv[1]:
    problems.append(f"version {dadimero.__version__} / {importlib.metadata.version('dadimero')}, "
                    f"the program's is {sys.argv[1]}")
if importlib.metadata.requires("dadimero") != ["numpy"]:
    problems.append(f"requires {importlib.metadata.requires('dadimero')}, not numpy")
for name in ("py.typed", "_dadimero.pyi"):
    if not os.path.isfile(os.path.join(package, name)):
        problems.append(f"{name} is not installed")
sys.exit("; ".join(problems) or None)
PY
    mkdir "$work/$route"
    (cd "$work" && "$venv/bin/python" "$source/examples/python/run_sequence.py" "$work/seq" \
        "$work/$route")
    diff -r "$work/program" "$work/$route" ||
        { echo "$route: the masks differ from DADI-MERO's and the build's package's"; exit 1; }
    echo "$route: the venv's package gives DADI-MERO's masks"
}

# Debian's numpy and cv2 come from the system site; --no-index: nothing is fetched.
"$python" -m venv --system-site-packages "$work/venv-pip"
"$work/venv-pip/bin/python" -m pip install -q --no-build-isolation --no-index "$unpacked" \
    >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; echo "pip install failed"; exit 1; }
check "$work/venv-pip" pip

"$python" -m build --no-isolation --wheel --outdir "$work/wheels" "$unpacked" >"$work/wheel.log" 2>&1 ||
    { cat "$work/wheel.log"; echo "no wheel"; exit 1; }
"$python" -m venv --system-site-packages "$work/venv-wheel"
"$work/venv-wheel/bin/python" -m pip install -q --no-index "$work"/wheels/dadimero-*.whl
check "$work/venv-wheel" wheel
