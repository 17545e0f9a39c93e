"""Background subtraction for RGB-D video (DADI-MERO); help(dadimero) has the details.

The compiled part, dadimero._dadimero, is built for one Python: where it is
missing or was built for another, importing dadimero says so and how to build it
for this one.
"""
import glob
import os
import platform
import sys
import sysconfig


def _not_built_here(error):
    """The ImportError to raise when the compiled part cannot be imported."""
    here = os.path.dirname(os.path.abspath(__file__))
    this = (f"this Python ({platform.python_implementation()} {platform.python_version()}, "
            f"{sys.executable})")
    wanted = "_dadimero" + (sysconfig.get_config_var("EXT_SUFFIX") or ".so")
    built = sorted(os.path.basename(path) for path in glob.glob(os.path.join(here, "_dadimero.*"))
                   if not path.endswith(".pyi"))
    if wanted in built:
        return ImportError(f"dadimero's compiled part {os.path.join(here, wanted)} does not load "
                           f"in {this}: {error}")
    if built:
        found = ", ".join(f"{_interpreter_of(name)} ({name})" for name in built)
        problem = f"dadimero's compiled part in {here} was built for {found}, not for {this}"
    else:
        problem = f"dadimero's compiled part ({wanted}) is not in {here}"
    return ImportError(
        f"{problem}. To build it for this Python, from the DADI-MERO source directory run "
        f"`{sys.executable} -m pip install .`, or configure CMake with "
        f"-DPython3_EXECUTABLE={sys.executable} and put BUILD/python on PYTHONPATH.")


def _interpreter_of(file_name):
    """'CPython 3.11' for _dadimero.cpython-311-x86_64-linux-gnu.so, and so on."""
    parts = file_name.split(".")
    tag = parts[1].split("-") if len(parts) >= 3 else []
    if len(tag) >= 2 and tag[0] == "cpython" and tag[1].isdigit():
        return f"CPython {tag[1][0]}.{tag[1][1:]}"
    return "another Python"


try:
    from . import _dadimero
except ImportError as error:
    raise _not_built_here(error) from None

from ._dadimero import *  # noqa: E402,F401,F403 (the public names)

__doc__ = _dadimero.__doc__
# The public names are the package's, as help(dadimero) and their reprs show.
for _name in dir(_dadimero):
    if not _name.startswith("_"):
        try:
            getattr(_dadimero, _name).__module__ = __name__
        except (AttributeError, TypeError):
            pass
__version__ = _dadimero.__version__
