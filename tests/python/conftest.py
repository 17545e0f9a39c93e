"""Shared pieces of the Python module's tests. CTest passes the programs in the
environment (DADI_MERO_EXE, DADI_SAMPLE_EXE) and the module's directory in
PYTHONPATH."""
import os
import subprocess

import pytest


def program(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.fail(f"{variable} is not set; run these tests through CTest")
    return path


def make_sequence(directory, depth_bits):
    """A small generated RGB-D sequence: 80x60, 60 frames, calibration on frames 1..14."""
    subprocess.run([program("DADI_SAMPLE_EXE"), "--out", str(directory), "--width", "80",
                    "--height", "60", "--frames", "60", "--depth-bits", str(depth_bits),
                    "--seed", "7", "--roi", "partial"], check=True, stdout=subprocess.DEVNULL)
    return directory


def run_dadi_mero(sequence, out, *options):
    """DADI-MERO's output files of a run, in their own directory."""
    out.mkdir(parents=True)
    subprocess.run([program("DADI_MERO_EXE"), str(sequence), *options], cwd=out, check=True,
                   stdout=subprocess.DEVNULL)
    return out


@pytest.fixture(scope="session")
def sequences(tmp_path_factory):
    root = tmp_path_factory.mktemp("sequences")
    return {bits: make_sequence(root / f"depth{bits}", bits) for bits in (8, 16)}
