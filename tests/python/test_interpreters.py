"""The package for every CPython 3.9 or newer on the machine (Debian's, pyenv's,
python3.N on PATH): each gets its compiled part (the build's own where the ABI
matches, else one built against the installed library), imports it, refuses
another interpreter's with an ImportError naming both, and, where it has numpy
and cv2, gives DADI-MERO's masks through examples/python/run_sequence.py."""
import glob
import json
import os
import shutil
import subprocess
import sys

import pytest

from conftest import program, run_dadi_mero

SOURCE = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))
EXAMPLE = os.path.join(SOURCE, "examples", "python", "run_sequence.py")
PROBE = ("import json, platform, sys, sysconfig; print(json.dumps([platform.python_implementation(),"
         " list(sys.version_info[:3]), sysconfig.get_config_var('EXT_SUFFIX'), sys.executable]))")


class Interpreter:
    def __init__(self, version, suffix, executable):
        self.version = tuple(version)
        self.suffix = suffix
        self.executable = executable
        self.name = "CPython " + ".".join(map(str, self.version))

    def run(self, args, python_path, cwd):
        environment = dict(os.environ, PYTHONPATH=os.pathsep.join(python_path),
                           PYTHONDONTWRITEBYTECODE="1")
        return subprocess.run([self.executable, *args], env=environment, cwd=cwd,
                              capture_output=True, text=True, timeout=300)


def find_interpreters(oldest=(3, 9), newest=(99, 0)):
    """Every CPython in [oldest, newest) that runs, once each, oldest first."""
    root = os.environ.get("PYENV_ROOT") or os.path.expanduser("~/.pyenv")
    candidates = ["/usr/bin/python3", sys.executable,
                  *sorted(glob.glob(os.path.join(root, "versions", "*", "bin", "python3"))),
                  *sorted(glob.glob(os.path.join(root, "versions", "*", "bin", "python"))),
                  *(shutil.which(f"python{major}.{minor}") for major, minor in
                    [(2, 7), *((3, minor) for minor in range(5, 30))])]
    found = {}
    for path in filter(None, candidates):
        try:
            probe = subprocess.run([path, "-c", PROBE], capture_output=True, text=True, timeout=60)
        except (OSError, subprocess.TimeoutExpired):
            continue
        if probe.returncode != 0:
            continue  # e.g. a pyenv shim of a version not selected
        implementation, version, suffix, executable = json.loads(probe.stdout)
        if implementation == "CPython" and oldest <= tuple(version[:2]) < newest:
            found.setdefault(os.path.realpath(executable),
                             Interpreter(version, suffix, executable))
    return sorted(found.values(), key=lambda interpreter: interpreter.version)


INTERPRETERS = find_interpreters()
IDS = [f"cpython{'.'.join(map(str, i.version))}" for i in INTERPRETERS]
TOO_OLD = find_interpreters((2, 0), (3, 9))


def build_python_dir():
    """The build's package root (build/python), from the PYTHONPATH CTest gives."""
    for entry in os.environ.get("PYTHONPATH", "").split(os.pathsep):
        if glob.glob(os.path.join(entry, "dadimero", "_dadimero.*.so")):
            return entry
    pytest.fail("PYTHONPATH has no built dadimero package; run these tests through CTest")


@pytest.fixture(scope="session")
def packages(tmp_path_factory):
    """Package root by extension suffix; built on first need against the library
    installed from the build."""
    build = build_python_dir()
    (built,) = glob.glob(os.path.join(build, "dadimero", "_dadimero.*.so"))
    roots = {os.path.basename(built)[len("_dadimero"):]: build}
    work = tmp_path_factory.mktemp("interpreters")
    prefix = work / "prefix"

    def root_for(interpreter):
        if interpreter.suffix not in roots:
            if not prefix.exists():
                subprocess.run(["cmake", "--install", program("DADI_BUILD_DIR"), "--prefix",
                                str(prefix)], check=True, stdout=subprocess.DEVNULL)
            tree = work / ("build" + interpreter.suffix.split(".")[1])
            for step in (["cmake", "-S", os.path.join(SOURCE, "python"), "-B", str(tree),
                          "-DCMAKE_BUILD_TYPE=Release", f"-DCMAKE_PREFIX_PATH={prefix}",
                          f"-DPython3_EXECUTABLE={interpreter.executable}"],
                         ["cmake", "--build", str(tree), "-j2"]):
                done = subprocess.run(step, capture_output=True, text=True)
                assert done.returncode == 0, f"{' '.join(step)}:\n{done.stdout}{done.stderr}"
            roots[interpreter.suffix] = str(tree)
        return roots[interpreter.suffix]

    return root_for, roots


def program_version():
    out = subprocess.run([program("DADI_MERO_EXE"), "--version"], capture_output=True, text=True,
                         check=True).stdout
    return out.split()[-1]


@pytest.mark.parametrize("interpreter", INTERPRETERS, ids=IDS)
def test_builds_imports_and_refuses_another_s(interpreter, packages, tmp_path):
    root_for, roots = packages
    root = root_for(interpreter)
    shown = interpreter.run(
        ["-c", "import dadimero; print(dadimero.__version__); print(dadimero._dadimero.__file__)"],
        [root], tmp_path)
    assert shown.returncode == 0, shown.stderr
    version, compiled = shown.stdout.split()
    assert version == program_version()
    assert compiled == os.path.join(root, "dadimero", "_dadimero" + interpreter.suffix)

    others = [(suffix, other) for suffix, other in roots.items() if suffix != interpreter.suffix]
    if not others:
        return  # no other build yet to refuse
    suffix, other = others[0]
    refused = interpreter.run(["-c", "import dadimero"], [other], tmp_path)
    tag = suffix.split(".")[1].split("-")[1]
    built_for = f"built for CPython {tag[0]}.{tag[1:]}"
    assert "ImportError" in refused.stderr, refused.stderr
    for words in (built_for, f"not for this Python ({interpreter.name}, {interpreter.executable})",
                  f"{interpreter.executable} -m pip install ."):
        assert words in refused.stderr, refused.stderr


def with_numpy_and_cv2(interpreter, root, tmp_path):
    """The PYTHONPATH under which the interpreter has numpy and cv2: its own, or
    with Debian's where it is the CPython minor version Debian's are built for.
    Without them, pytest.skip with what is missing."""
    check = ["-c", "import numpy, cv2"]
    if interpreter.run(check, [root], tmp_path).returncode == 0:
        return [root]
    debian = subprocess.run(
        ["/usr/bin/python3", "-c", "import os, sys, numpy; print(sys.version_info[1],"
         " os.path.dirname(os.path.dirname(numpy.__file__)))"], capture_output=True, text=True)
    if debian.returncode == 0:
        minor, site = debian.stdout.split()
        if interpreter.version[:2] == (3, int(minor)):
            if interpreter.run(check, [root, site], tmp_path).returncode == 0:
                return [root, site]
    missing = [name for name in ("numpy", "cv2")
               if interpreter.run(["-c", f"import {name}"], [root], tmp_path).returncode != 0]
    pytest.skip(f"{interpreter.name} ({interpreter.executable}) has no {' and no '.join(missing)}"
                " and cannot get it here: no package index is reachable, and Debian's are built"
                " for another CPython")


@pytest.mark.parametrize("interpreter", INTERPRETERS, ids=IDS)
def test_masks_are_the_program_s(interpreter, packages, sequences, tmp_path):
    root = packages[0](interpreter)
    python_path = with_numpy_and_cv2(interpreter, root, tmp_path)
    expected = run_dadi_mero(sequences[16], tmp_path / "program")
    (tmp_path / "module").mkdir()
    ran = interpreter.run([EXAMPLE, str(sequences[16]), str(tmp_path / "module")], python_path,
                          tmp_path)
    assert ran.returncode == 0, ran.stderr
    names = sorted(p.name for p in expected.iterdir())
    assert len(names) == 45 and names == sorted(p.name for p in (tmp_path / "module").iterdir())
    for name in names:
        assert (expected / name).read_bytes() == (tmp_path / "module" / name).read_bytes(), \
            f"{interpreter.name}: {name} differs from DADI-MERO's"


@pytest.mark.parametrize("interpreter", TOO_OLD,
                         ids=[f"cpython{'.'.join(map(str, i.version))}" for i in TOO_OLD])
def test_an_older_python_hears_the_version_it_needs(interpreter, tmp_path):
    refused = interpreter.run(["-c", "import dadimero"], [build_python_dir()], tmp_path)
    assert f"dadimero needs Python 3.9 or newer; this is Python {interpreter.version[0]}." \
        in refused.stderr, refused.stderr
