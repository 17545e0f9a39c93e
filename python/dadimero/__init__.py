"""Background subtraction for RGB-D video (DADI-MERO); help(dadimero) has the details.

The compiled part, dadimero._dadimero, is built for one Python: where it is
missing or was built for another, importing dadimero says so and how to build it
for this one. This file is plain enough for any Python to read, so that an old
one hears that it is too old.
"""
import sys as _sys

if _sys.version_info < (3, 9):
    raise ImportError("dadimero needs Python 3.9 or newer; this is Python %s (%s)"
                      % (_sys.version.split()[0], _sys.executable))


def _not_built_here(error):
    """The ImportError to raise when the compiled part cannot be imported."""
    import glob
    import os
    import platform
    import sysconfig

    here = os.path.dirname(os.path.abspath(__file__))
    this = "this Python (%s %s, %s)" % (platform.python_implementation(),
                                        platform.python_version(), _sys.executable)
    wanted = "_dadimero" + (sysconfig.get_config_var("EXT_SUFFIX") or ".so")
    built = sorted(os.path.basename(path) for path in glob.glob(os.path.join(here, "_dadimero.*"))
                   if not path.endswith(".pyi"))
    if wanted in built:
        return ImportError("dadimero's compiled part %s does not load in %s: %s"
                           % (os.path.join(here, wanted), this, error))
    if built:
        found = ", ".join("%s (%s)" % (_interpreter_of(name), name) for name in built)
        problem = "dadimero's compiled part in %s was built for %s, not for %s" % (here, found,
                                                                                   this)
    else:
        problem = "dadimero's compiled part (%s) is not in %s" % (wanted, here)
    return ImportError(
        "%s. To build it for this Python, from the DADI-MERO source directory run "
        "`%s -m pip install .`, or configure CMake with -DPython3_EXECUTABLE=%s and put "
        "BUILD/python on PYTHONPATH." % (problem, _sys.executable, _sys.executable))


def _interpreter_of(file_name):
    """'CPython 3.11' for _dadimero.cpython-311-x86_64-linux-gnu.so, and so on."""
    parts = file_name.split(".")
    tag = parts[1].split("-") if len(parts) >= 3 else []
    if len(tag) >= 2 and tag[0] == "cpython" and tag[1].isdigit():
        return "CPython %s.%s" % (tag[1][0], tag[1][1:])
    return "another Python"


try:
    from . import _dadimero
except ImportError as _error:
    _failure = _not_built_here(_error)
else:
    _failure = None
if _failure is not None:
    raise _failure

from ._dadimero import *  # noqa: E402,F401,F403 (the public names)

__doc__ = _dadimero.__doc__
__version__ = _dadimero.__version__


def _adopt_public_names():
    """The public names are the package's, as help(dadimero) and their reprs show."""
    for name in dir(_dadimero):
        if not name.startswith("_"):
            try:
                getattr(_dadimero, name).__module__ = __name__
            except (AttributeError, TypeError):
                pass


_adopt_public_names()
del _adopt_public_names, _not_built_here, _interpreter_of, _failure, _sys
