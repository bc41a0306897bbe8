"""zephor-batch's one place that turns what happened into messages and the exit status."""
import fcntl
import functools
import os
import sys

from . import engines, molecule_file, molecule_folders, molecule_run, table
from . import folder_files as ff
from .command_line import USAGE, UsageError, parse
from .progress import Progress
from .programs import find_programs


class Refusal(Exception):
    """A batch that cannot start or cannot write its table: the message, exit 1."""


def _lock_tree(root):
    """One batch on a tree at a time: a lock on the directory itself, held until this process
    ends. Returns the descriptor (kept open)."""
    fd = os.open(root, os.O_RDONLY)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        raise Refusal("another batch is running on %s" % root)
    except OSError:
        print("zephor-batch: warning: %s cannot be locked here; make sure no other batch runs on it" % root,
              file=sys.stderr)
    return fd


def tree_folders(root):
    """Every folder below root that holds something named FOR005 or molecule.json, in name
    order (a file's molecules in file order)."""
    found = []
    for folder, dirs, files in os.walk(root):
        names = set(dirs) | set(files)
        if ff.INPUT in names or ff.MOLECULE in names:
            found.append(folder)
        dirs.sort()
    return sorted(found)


def _cpus():
    try:
        return len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        return os.cpu_count() or 1


def _file_batch(o):
    """The folders of a molecule file's molecules: [(folder, conflict)], and the directory."""
    fmt = molecule_file.format_of(o.input)
    if fmt is None:
        raise UsageError("cannot tell the format of '%s' from its name (.smi, .smiles, .sdf, .sd or .xyz)" % o.input)
    out = os.path.abspath(o.out or os.path.splitext(o.input)[0])
    try:
        molecules = molecule_file.read_molecules(o.input, fmt)
    except OSError as e:
        raise Refusal("cannot read %s: %s" % (o.input, e.strerror or e))
    try:
        os.makedirs(out, exist_ok=True)
    except OSError as e:
        raise Refusal("cannot make the folder %s: %s" % (out, e.strerror or e))
    return out, molecules


def _run_elsewhere(o, root, todo, launcher, array_script, progress):
    """The runs through Slurm or GNU parallel, until every one has ended."""
    chunk = o.chunk or engines.default_chunk(len(todo))
    if o.slurm:
        listing = os.path.join(root, "slurm-folders.txt")
        ff.write_whole(listing, "".join(f + "\n" for f in todo))
        status = engines.run_slurm(todo, chunk, listing, array_script, launcher, progress, root)
        if status != 0:
            print("zephor-batch: sbatch exited %d" % status, file=sys.stderr)
    else:
        engines.run_parallel(todo, o.jobs, chunk, o.sshloginfile, launcher, progress)


def _rows(o, root, prepared, todo, programs, progress):
    """The table's rows in the file's (or the tree's) order. On this machine each folder run is
    read by the worker that ran it, and its row is written while the other runs go on; a folder
    not run now, and every folder after a run elsewhere, is read here."""
    # The package's one_line (a single pass in C++) where the runs go in-process.
    one_line = getattr(getattr(programs.package, "_zephor", None), "one_line", None)
    row = functools.partial(table.folder_row, root, one_line=one_line)
    ran = iter(())
    if todo and not (o.slurm or o.sshloginfile):
        jobs = o.jobs or _cpus()
        env = engines.child_environment(max(1, _cpus() // jobs))
        ran = engines.run_local(todo, jobs, programs, env, progress, row)
    next_run = next(ran, None)
    for f, conflict in prepared:
        if conflict is not None:
            yield table.Row(os.path.relpath(f, root), conflict, "input_error")
        elif next_run is not None and next_run[0] == f:
            yield next_run[1]
            next_run = next(ran, None)
        else:
            yield row(f)


def batch(o, programs, launcher, array_script):
    if os.path.isdir(o.input):
        if o.out is not None:
            raise UsageError("-o is for a molecule file; a directory's table is DIR/results.csv or --table")
        root = os.path.abspath(o.input)
        lock = _lock_tree(root)
        prepared = [(f, None) for f in tree_folders(root)]
    elif os.path.isfile(o.input):
        root, molecules = _file_batch(o)
        lock = _lock_tree(root)
        prepared = molecule_folders.prepare(root, molecules)
    else:
        raise UsageError("no file or directory %s" % o.input)
    try:
        for tool, wanted in (("parallel", o.sshloginfile), ("sbatch", o.slurm)):
            if wanted and o.run and not any(os.access(os.path.join(d, tool), os.X_OK)
                                            for d in os.environ.get("PATH", "").split(os.pathsep)):
                raise Refusal({"parallel": "GNU parallel", "sbatch": "Slurm's sbatch"}[tool] + " is not installed")
        todo = [f for f, conflict in prepared if conflict is None and molecule_run.runnable(f)] if o.run else []
        csv_path = o.table or os.path.join(root, "results.csv")
        progress = Progress(len(todo), o.quiet)
        try:
            if todo and (o.slurm or o.sshloginfile):
                _run_elsewhere(o, root, todo, launcher, array_script, progress)
            rows = _rows(o, root, prepared, todo, programs, progress)
            try:
                statuses = table.write_tables(csv_path, table.jsonl_path(csv_path), rows)
            except table.TableError as e:
                raise Refusal("cannot write the table %s: %s" % (e.path, e.reason))
        finally:
            progress.close()
        print("zephor-batch: %d run, %d in %s" % (len(todo), len(statuses), csv_path))
        return 0 if all(s == "ok" for s in statuses) else 2
    finally:
        os.close(lock)


def main(argv, here, version, built, launcher, array_script, python_dir=None):
    engines.keep_freed_memory()
    try:
        o = parse(argv)
        if o.help:
            print(USAGE)
            return 0
        if o.version:
            print("zephor-batch %s" % version)
            return 0
        programs = find_programs(here, built, python_dir)
        if o.one:
            return engines.run_worker(o.one, programs, engines.child_environment(1), o.jobs or 1)
        return batch(o, programs, launcher, array_script)
    except UsageError as e:
        if str(e):
            print("zephor-batch: %s" % e, file=sys.stderr)
        print(USAGE, file=sys.stderr)
        return 1
    except Refusal as e:
        print("zephor-batch: %s" % e, file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
