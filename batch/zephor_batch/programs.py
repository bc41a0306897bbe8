"""Where the programs the batch calls are: ZEPHOR, ZEPHOR_IMPORT and ZEPHOR_EXPORT when set, else
the ones beside zephor-batch (an installed or moved prefix), else where the build made them (a
copy in a build folder only), else on PATH.

zephor and zephor-export also run inside the batch's workers, through the Python package zephor
(the same reading, solve and writers, so the same bytes), when that package is the one installed
or built with these programs, the programs are its own (not another zephor named by ZEPHOR), and
ZEPHOR_BATCH_IN_PROCESS is not 0. That saves two process starts a molecule; anything but a clean
run is then run again by the programs, so that failures keep their own messages and statuses.
Where zephor-import is this installation's own (and ZEPHOR_BATCH_IN_PROCESS is not 0), the
imports go through zephor-import --serve (import_service), with or without the package."""
import dataclasses
import os
import shutil
import sys


@dataclasses.dataclass
class Programs:
    zephor: str
    importer: str
    exporter: str
    package: object = None  # the module zephor when the runs go in-process, else None
    serve_imports: bool = False  # imports through zephor-import --serve (this build's own)


def _own(name, here, built):
    """The program of this installation or build tree, or None."""
    beside = os.path.join(here, name)
    if os.access(beside, os.X_OK):
        return beside
    if built and os.access(built, os.X_OK):
        return built
    return None


def _find(name, env_name, here, built):
    if os.environ.get(env_name):
        return os.environ[env_name]
    return _own(name, here, built) or shutil.which(name) or name


def _same_file(a, b):
    try:
        return b is not None and os.path.samefile(a, b)
    except OSError:
        return False


def _in_process_allowed():
    return os.environ.get("ZEPHOR_BATCH_IN_PROCESS", "1") != "0"


def in_process_package(programs, here, built, python_dir):
    """The module zephor from python_dir (this installation's or build tree's package) when the
    runs may go in-process, else None."""
    if not python_dir or not _in_process_allowed():
        return None
    if not (_same_file(programs.zephor, _own("zephor", here, built.get("zephor"))) and
            _same_file(programs.exporter, _own("zephor-export", here, built.get("zephor-export")))):
        return None
    folder = os.path.normpath(os.path.join(here, python_dir))
    if not os.path.isfile(os.path.join(folder, "zephor", "__init__.py")):
        return None
    sys.path.insert(0, folder)
    try:
        import zephor
    except Exception:  # a package that cannot load here (no numpy, a missing library): the programs
        return None
    finally:
        sys.path.remove(folder)
    # Another package named zephor, imported earlier from elsewhere, is not this build's.
    if os.path.dirname(os.path.dirname(os.path.realpath(zephor.__file__))) != os.path.realpath(folder):
        return None
    return zephor


def find_programs(here, built, python_dir=None):
    """built: the build tree's paths by program name (empty for an installed copy); python_dir:
    the folder holding the package zephor, relative to 'here' or absolute (None without one)."""
    programs = Programs(_find("zephor", "ZEPHOR", here, built.get("zephor")),
                        _find("zephor-import", "ZEPHOR_IMPORT", here, built.get("zephor-import")),
                        _find("zephor-export", "ZEPHOR_EXPORT", here, built.get("zephor-export")))
    programs.package = in_process_package(programs, here, built, python_dir)
    programs.serve_imports = _in_process_allowed() and _same_file(
        programs.importer, _own("zephor-import", here, built.get("zephor-import")))
    return programs
