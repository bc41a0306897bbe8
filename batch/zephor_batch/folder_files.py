"""The files the batch keeps in a molecule folder, and how they are written and trusted.

A folder made from a molecule file holds molecule.json (where the molecule came from and its
record's text), then FOR005 from zephor-import, FOR006 and FOR007 from zephor. Every run leaves
three files of the batch's own, each written whole under a temporary name and then renamed:
results.json, zephor.err (every message of the run) and, last, zephor.status, the record of the
run: one 'key value' a line, the exit statuses and the SHA-256 of the files it vouches for.
"""
import errno
import fcntl
import hashlib
import os
import re
import threading

MOLECULE = "molecule.json"
INPUT = "FOR005"
REPORT = "FOR006"
CHECKPOINT = "FOR007"
RESULTS = "results.json"
MESSAGES = "zephor.err"
RECORD = "zephor.status"
TEMP_RESULTS = ".zephor-batch.json"
TEMP_MESSAGES = ".zephor-batch.err"
TEMP_RECORD = ".zephor-batch.status"
BATCH_FILES = (RECORD, RESULTS, MESSAGES, TEMP_RECORD, TEMP_RESULTS, TEMP_MESSAGES)


def is_regular(path):
    return os.path.isfile(path) and not os.path.islink(path)


def sha256_of(path):
    h = hashlib.sha256()
    try:
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                h.update(block)
    except OSError:
        return None
    return h.hexdigest()


def read_bytes(path):
    """The file's bytes, or None when it cannot be read."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def sha256_of_bytes(data):
    return hashlib.sha256(data).hexdigest()


class RunFacts:
    """What the run that has just ended in a folder knew of its files: the SHA-256 of every file it
    read or wrote whole (by name), results.json's bytes and molecule.json's contents. The row of that
    run is made from them, where reading and hashing the same files again moments later would only
    repeat the run's own work; a folder not run by this process is always read from its files."""

    def __init__(self):
        self.digests = {}
        self.results = None
        self.molecule = None

    def digest(self, folder, name):
        known = self.digests.get(name)
        return known if known is not None else sha256_of(os.path.join(folder, name))


def read_text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return None


def temporary_name(path):
    """Beside the final name; it holds the process and thread, so that workers never share one."""
    folder = os.path.dirname(os.path.abspath(path))
    return os.path.join(folder, ".%s.%d.%d.tmp" % (os.path.basename(path), os.getpid(), threading.get_ident()))


_TEMPORARY = re.compile(r"\..+\.[0-9]+\.[0-9]+\.tmp")


def is_temporary_name(name):
    """Whether a file name is one temporary_name gives (left behind by a run that was stopped)."""
    return _TEMPORARY.fullmatch(name) is not None


def write_whole_bytes(path, data, sync=False):
    """Writes beside the final name, then renames; never leaves a half-written file under it."""
    tmp = temporary_name(path)
    fd = os.open(tmp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            if sync:
                os.fsync(f.fileno())
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def write_whole(path, text):
    """A table or list, written whole and synced before it is named."""
    write_whole_bytes(path, text.encode("utf-8"), sync=True)


def sync_filesystem_of(path):
    """Everything written to path's file system made durable at once (syncfs), where a file at a
    time would wait for the disk (or a cluster's file server) once per file; sync() where the C
    library has no syncfs."""
    try:
        import ctypes
        syncfs = ctypes.CDLL(None, use_errno=True).syncfs
    except (OSError, AttributeError):
        os.sync()
        return
    fd = os.open(path, os.O_RDONLY)
    try:
        if syncfs(fd) != 0:
            e = ctypes.get_errno()
            raise OSError(e, os.strerror(e), path)
    finally:
        os.close(fd)


class DurableFiles:
    """Files written whole under temporary names as they come, then made durable together and
    named (commit), so that a folder per molecule of a large library costs one wait for the disk,
    not one each; only the temporary names are held meanwhile. Whatever is not named by the end
    of the with block is removed."""

    def __init__(self, root):
        self._root = root
        self._unnamed = []

    def __enter__(self):
        return self

    def add(self, path, text):
        tmp = temporary_name(path)
        with open(tmp, "xb") as f:
            self._unnamed.append((tmp, path))
            f.write(text.encode("utf-8"))

    def commit(self):
        if not self._unnamed:
            return
        sync_filesystem_of(self._root)
        for done, (tmp, path) in enumerate(self._unnamed):
            try:
                os.replace(tmp, path)
            except BaseException:
                del self._unnamed[:done]
                raise
        self._unnamed = []

    def __exit__(self, *exc):
        for tmp, _ in self._unnamed:
            try:
                os.unlink(tmp)
            except OSError:
                pass
        return False


def lock_target(folder):
    """The file a worker locks while it runs the folder: molecule.json where there is one, so that
    the import is covered too, else FOR005."""
    mol = os.path.join(folder, MOLECULE)
    return mol if is_regular(mol) else os.path.join(folder, INPUT)


class FolderLock:
    """A worker's non-blocking flock on the folder; 'taken' is False when another worker has it.
    Where the file system cannot lock, the tree's lock is all there is and the run goes on."""

    def __init__(self, folder):
        self.fd = None
        self.taken = True
        try:
            self.fd = os.open(lock_target(folder), os.O_RDONLY)
            fcntl.flock(self.fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            self.taken = False
        except OSError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.fd is not None:
            os.close(self.fd)


def busy(folder):
    """True when a worker holds the folder's lock (a run in progress)."""
    try:
        fd = os.open(lock_target(folder), os.O_RDONLY)
    except OSError:
        return False
    try:
        fcntl.flock(fd, fcntl.LOCK_SH | fcntl.LOCK_NB)
        return False
    except OSError as e:
        return e.errno in (errno.EWOULDBLOCK, errno.EAGAIN)
    finally:
        os.close(fd)


def format_record(entries):
    return "".join("%s %s\n" % (k, v) for k, v in entries)


def parse_record(text):
    rec = {}
    for line in text.splitlines():
        key, _, value = line.partition(" ")
        rec[key] = value
    return rec
