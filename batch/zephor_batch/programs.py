"""Where the programs the batch calls are: ZEPHOR, ZEPHOR_IMPORT and ZEPHOR_EXPORT when set, else
the ones beside zephor-batch (an installed or moved prefix), else where the build made them (a
copy in a build folder only), else on PATH."""
import dataclasses
import os
import shutil


@dataclasses.dataclass
class Programs:
    zephor: str
    importer: str
    exporter: str


def _find(name, env_name, here, built):
    if os.environ.get(env_name):
        return os.environ[env_name]
    beside = os.path.join(here, name)
    if os.access(beside, os.X_OK):
        return beside
    if built and os.access(built, os.X_OK):
        return built
    return shutil.which(name) or name


def find_programs(here, built):
    """built: the build tree's paths by program name (empty for an installed copy)."""
    return Programs(_find("zephor", "ZEPHOR", here, built.get("zephor")),
                    _find("zephor-import", "ZEPHOR_IMPORT", here, built.get("zephor-import")),
                    _find("zephor-export", "ZEPHOR_EXPORT", here, built.get("zephor-export")))
