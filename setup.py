"""Builds the Python package dadimero (see pyproject.toml): its compiled part,
dadimero._dadimero, comes from the project's CMake build, configured for the
Python that runs this."""
import os
import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The version of CMakeLists.txt's project(), the one DADI-MERO --version prints."""
    text = (ROOT / "CMakeLists.txt").read_text()
    found = re.search(r"project\(\s*DADI_MERO\s+VERSION\s+([0-9.]+)", text)
    if not found:
        raise RuntimeError("CMakeLists.txt's project() names no version")
    return found.group(1)


class CMakeBuild(build_ext):
    """Configures the project in the build directory (kept between builds, so a
    second build only relinks) and builds the module's target alone."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DDADI_BUILD_TESTS=OFF", "-DDADI_BUILD_PYTHON=ON",
                     f"-DPython3_EXECUTABLE={sys.executable}"]
        try:
            import pybind11  # the build environment's, when it has one
            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass  # the system's (Debian: pybind11-dev)
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build), "--target", "dadimero_python",
                        "-j", jobs], check=True)
        built = build / "python" / "dadimero" / ("_dadimero" + sysconfig.get_config_var("EXT_SUFFIX"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=project_version(),
    ext_modules=[Extension("dadimero._dadimero", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
