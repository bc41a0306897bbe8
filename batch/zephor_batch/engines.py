"""The engines that run the folders: a pool of workers in this process (one machine), GNU
parallel over the machines of an --sshloginfile, and a Slurm job array of chunks. Each reports
every finished molecule to the progress line; all of them run a folder by molecule_run."""
import collections
import concurrent.futures
import itertools
import math
import multiprocessing
import multiprocessing.util
import os
import signal
import subprocess
import sys
import threading
import time

from . import folder_files as ff
from . import molecule_run
from .import_service import ImportServers

MAX_TASKS = 200  # array tasks or parallel jobs by default: well below Slurm's MaxArraySize of 1001


def default_chunk(count):
    return max(1, math.ceil(count / MAX_TASKS))


def chunks(items, size):
    return [items[i:i + size] for i in range(0, len(items), size)]


def child_environment(threads):
    """zephor's thread count: the caller's OMP_NUM_THREADS when set, else 'threads', so that a
    batch using every core runs each zephor on one thread and the runs do not compete."""
    env = dict(os.environ)
    env.setdefault("OMP_NUM_THREADS", str(threads))
    return env


# glibc's mallopt parameters (malloc.h).
_M_TRIM_THRESHOLD = -1
_M_MMAP_THRESHOLD = -3


def keep_freed_memory():
    """The batch's processes free and ask again for the same few megabytes for every molecule (a
    worker's run and export, the table's copy of each JSON line). By default the C library hands
    the top of its heap back to the system and maps every block above 128 KiB afresh, and on a
    virtual machine every page touched again costs a fault of tens of microseconds: about as much
    as the molecule's calculation. This process (and the workers forked from it) therefore keeps up
    to 64 MiB of freed memory and takes blocks below 32 MiB from its heap. Nothing changes where
    the library is not glibc's."""
    try:
        import ctypes
        libc = ctypes.CDLL(None)
        libc.mallopt(ctypes.c_int(_M_TRIM_THRESHOLD), ctypes.c_int(64 << 20))
        libc.mallopt(ctypes.c_int(_M_MMAP_THRESHOLD), ctypes.c_int(32 << 20))
    except (OSError, AttributeError):
        pass


def _importers(programs, env):
    return ImportServers(programs.importer, env) if programs.serve_imports else None


# This worker process's own (programs, environment, import servers, row maker), set once when
# the process starts: its import server outlives each task, as a worker thread's did.
_worker = None


def _start_worker(programs, env, row_of):
    global _worker
    # A Ctrl-C reaches the whole process group: the batch stops the pool; each worker finishes the
    # folder it is in, whose lock keeps it whole, and takes no more.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    importers = _importers(programs, env)
    if importers is not None:
        multiprocessing.util.Finalize(importers, importers.close, exitpriority=10)
    _worker = (programs, env, importers, row_of)


def _run_in_worker(folders):
    """Runs the folders one after another: [(ok, row)] and the seconds they took."""
    programs, env, importers, row_of = _worker
    start = time.monotonic()
    done = []
    for folder in folders:
        facts = ff.RunFacts()
        ok = molecule_run.run_folder(folder, programs, env, importers, facts)
        done.append((ok, row_of(folder, facts)))
    return done, time.monotonic() - start


# A task to a worker costs the pool a fraction of a millisecond on each side (the call and its
# answer pickled, piped and woken up for), as much as a tenth of a small molecule's run: once
# molecules are seen to take less than SMALL_MOLECULE_S each, a task carries several of them.
# Larger molecules go one a task, so that no worker is left holding several at the end.
SMALL_MOLECULE_S = 0.05
SMALL_TASK = 4


def run_local(folders, jobs, programs, env, progress, row_of):
    """Runs the folders in 'jobs' worker processes and yields (folder, row_of(folder)) in the
    folders' order as they finish, so that the caller writes its table while the runs go on; the
    worker that ran a folder makes its row. Processes, not threads: the Python part of a folder
    (its files, its row) would otherwise hold the interpreter's lock for one worker at a time,
    which caps a batch at a few cores however many it has. At most a few tasks a worker are
    ahead of the caller, so that rows waiting to be written stay few however long the list."""
    window = 4 * jobs
    # Forked before any of them runs: the package and the programs' paths as this process has
    # them, and no thread of this process in the middle of anything.
    context = multiprocessing.get_context("fork")
    with concurrent.futures.ProcessPoolExecutor(max_workers=jobs, mp_context=context, initializer=_start_worker,
                                                initargs=(programs, env, row_of)) as pool:
        pending = collections.deque()
        waiting = iter(folders)
        per_task = 1

        def submit():
            task = list(itertools.islice(waiting, per_task))
            if task:
                pending.append((task, pool.submit(_run_in_worker, task)))

        for _ in range(window):
            submit()
        while pending:
            task, future = pending.popleft()
            done, seconds = future.result()
            per_task = SMALL_TASK if seconds < SMALL_MOLECULE_S * len(task) else 1
            submit()
            for folder, (ok, row) in zip(task, done):
                progress.finished(ok is not False)
                yield folder, row


def run_worker(folders, programs, env, jobs, report=sys.stdout):
    """What one parallel job or one Slurm task does: its folders, each reported by a line
    'ok|failed|skipped FOLDER' as it finishes. Returns 1 when a folder is missing."""
    status = 0
    present = []
    for f in folders:
        if os.path.isdir(f):
            present.append(f)
        else:
            print("zephor-batch: no folder %s" % f, file=sys.stderr)
            status = 1

    importers = _importers(programs, env)

    def one(folder):
        ok = molecule_run.run_folder(folder, programs, env, importers)
        return folder, "skipped" if ok is None else "ok" if ok else "failed"

    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
            for folder, outcome in pool.map(one, present):
                report.write("%s %s\n" % (outcome, folder))
                report.flush()
    finally:
        if importers is not None:
            importers.close()
    return status


def run_parallel(folders, jobs, chunk, sshloginfile, launcher, progress):
    """GNU parallel, 'chunk' folders per job; each job's report lines drive the progress line."""
    command = ["parallel", "-0", "--will-cite", "--line-buffer", "-n", str(chunk)]
    if jobs:
        command += ["-j", str(jobs)]
    if sshloginfile:
        command += ["--sshloginfile", sshloginfile]
    command += [launcher, "--one"]
    with subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True) as p:
        p.stdin.write("".join(f + "\0" for f in folders))
        p.stdin.close()
        for line in p.stdout:
            outcome = line.split(" ", 1)[0]
            if outcome in ("ok", "failed", "skipped"):
                progress.finished(outcome != "failed")
    return p.returncode


def _recorded_since(folder, since):
    try:
        return os.stat(os.path.join(folder, ff.RECORD)).st_mtime >= since
    except OSError:
        return False


def _recorded_ok(folder):
    """Whether the folder's record says its export succeeded (the run's last step)."""
    text = ff.read_text(os.path.join(folder, ff.RECORD))
    return text is not None and ff.parse_record(text).get("export") == "0"


def _poll(folders, progress, stop, period=2.0):
    """Progress of an array from the folders themselves: a folder is done once its record is
    newer than the submission or it is no longer runnable (a failed import leaves it runnable),
    and failed unless its record says the export succeeded."""
    since = time.time() - 1
    waiting = list(folders)
    while waiting and not stop():
        time.sleep(period)
        still = []
        for f in waiting:
            if _recorded_since(f, since) or not molecule_run.runnable(f):
                progress.finished(_recorded_ok(f))
            else:
                still.append(f)
        waiting = still


def run_slurm(folders, chunk, list_file, array_script, launcher, progress, log_dir):
    """sbatch --wait of one array over 'list_file' (a folder a line), 'chunk' lines per task."""
    tasks = math.ceil(len(folders) / chunk)
    command = ["sbatch", "--wait", "--export=ALL", "--array=1-%d" % tasks,
               "--output=" + os.path.join(log_dir, "zephor-%A_%a.log"), array_script, list_file, str(chunk)]
    env = dict(os.environ, ZEPHOR_BATCH=launcher)
    ended = threading.Event()
    with subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL) as p:
        t = threading.Thread(target=_poll, args=(folders, progress, ended.is_set), daemon=True)
        t.start()
        p.wait()
    ended.set()
    t.join()
    return p.returncode
