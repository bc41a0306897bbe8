"""zephor-batch's command line: the options, their checks and the usage text."""
import dataclasses

USAGE = """\
usage: zephor-batch [-o DIR] [-j JOBS] [--chunk N] [--slurm] [--sshloginfile FILE] [--table FILE] [--no-run] [--quiet] INPUT
       zephor-batch [-j JOBS] --one FOLDER...
       zephor-batch --version
INPUT is a molecule file or a directory of molecule folders (each holding a FOR005). A file is
.smi or .smiles (one SMILES a line, then an optional name), .sdf or .sd (any number of records)
or .xyz (XYZ blocks one after another); each molecule gets a folder DIR/0001-name in file order.
  -o DIR              the molecules' folders and the tables (default: INPUT without its extension)
  -j JOBS             parallel jobs, a positive integer (default: all cores); each zephor then
                      runs JOBS-th of the cores' threads (one when JOBS is all cores)
  --chunk N           molecules per GNU parallel job or Slurm array task (default: at most 200 of them)
  --slurm             run the molecules as a Slurm job array of chunks and wait for it
  --sshloginfile FILE spread the runs over the machines GNU parallel's --sshloginfile lists (DIR
                      on a file system they share, zephor installed at the same path)
  --table FILE        the CSV table (default: DIR/results.csv); the JSON Lines table is beside
                      it, named .jsonl for .csv
  --no-run            only write the folders and the table (after a Slurm job array has run)
  --quiet             no progress line (there is none either when standard error is no terminal)
  --one FOLDER...     run these folders and write no table (what each parallel job and Slurm
                      array task does)
Exit status: 0 every molecule ok, 2 some molecule not ok (the tables are written), 1 a bad
command line, an unreadable input, another batch running on DIR, or a table that cannot be written."""


class UsageError(Exception):
    """A bad command line: the reason (may be empty), then the usage, on standard error, exit 1."""


@dataclasses.dataclass
class Options:
    input: str = None
    out: str = None
    jobs: int = None
    chunk: int = None
    slurm: bool = False
    sshloginfile: str = None
    table: str = None
    run: bool = True
    quiet: bool = False
    one: list = None
    help: bool = False
    version: bool = False


def _positive(option, text):
    if not text.isdigit() or int(text) == 0:
        raise UsageError("%s needs a positive integer, not '%s'" % (option, text))
    return int(text)


WITH_VALUE = {"-o", "--output", "-j", "--chunk", "--sshloginfile", "--table"}


def parse(argv):
    o = Options()
    rest = []
    i = 0
    while i < len(argv):
        a = argv[i]
        # The value attached, as other programs take it: -j2, -oDIR, --chunk=25.
        attached = None
        if a[:2] in ("-j", "-o") and len(a) > 2 and not a.startswith("--"):
            a, attached = a[:2], a[2:]
        elif a.startswith("--") and "=" in a and a.split("=", 1)[0] in WITH_VALUE:
            a, attached = a.split("=", 1)
        if a in WITH_VALUE:
            if attached is not None:
                v = attached
                i += 1
            elif i + 1 >= len(argv):
                raise UsageError("%s needs a value" % a)
            else:
                v = argv[i + 1]
                i += 2
            if a in ("-o", "--output"):
                o.out = v
            elif a == "-j":
                o.jobs = _positive(a, v)
            elif a == "--chunk":
                o.chunk = _positive(a, v)
            elif a == "--sshloginfile":
                o.sshloginfile = v
            else:
                o.table = v
            continue
        i += 1
        if a == "--slurm":
            o.slurm = True
        elif a == "--no-run":
            o.run = False
        elif a in ("-q", "--quiet"):
            o.quiet = True
        elif a in ("-h", "--help"):
            o.help = True
            return o
        elif a == "--version":
            o.version = True
            return o
        elif a == "--one":
            if not argv[i:]:
                raise UsageError("--one needs a folder")
            o.one = argv[i:]
            return o
        elif a == "--":
            rest += argv[i:]
            break
        elif a.startswith("-") and a != "-":
            raise UsageError("unknown option %s" % a)
        else:
            rest.append(a)
    if len(rest) != 1:
        raise UsageError("")
    o.input = rest[0]
    if o.slurm and o.sshloginfile:
        raise UsageError("--slurm and --sshloginfile are two ways to run: give one")
    return o
