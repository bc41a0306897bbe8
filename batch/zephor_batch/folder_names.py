"""Folder names for the molecules of a file: the index, zero-padded so that name order is file
order, and the molecule's name reduced to characters every file system takes."""
import re

MAX_NAME = 40
_UNSAFE = re.compile(r"[^A-Za-z0-9._+-]+")


def safe_name(name):
    """Letters, digits and . _ + - only, runs of anything else one underscore; no leading dot or
    dash (no hidden file, no option); at most 40 characters; 'mol' when nothing is left."""
    text = _UNSAFE.sub("_", name).lstrip(".-_")[:MAX_NAME].rstrip("._")
    return text or "mol"


def index_width(count):
    return max(4, len(str(count)))


def folder_name(index, name, count):
    return "%0*d-%s" % (index_width(count), index, safe_name(name))
