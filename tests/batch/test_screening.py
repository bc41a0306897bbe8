"""zephor-batch end to end on molecule files: fifty SMILES (eight with S or Cl, one malformed), a
multi-molecule SDF and XYZ. Rows, statuses, the files of each folder against single runs of
zephor-import, zephor and zephor-export (byte for byte: the batch's one-thread zephor must give
the very bytes of a default run), the JSON Lines validated with QCElemental, exit statuses, the
rerun, an edited input, and the progress line on a pseudo-terminal."""
import csv
import json
import os
import pty
import shutil
import subprocess

import pytest
import qcelemental

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "molecules")
BATCH = os.environ["ZEPHOR_BATCH"]
ZEPHOR, IMPORT, EXPORT = os.environ["ZEPHOR"], os.environ["ZEPHOR_IMPORT"], os.environ["ZEPHOR_EXPORT"]
OUTPUTS = ("FOR005", "FOR006", "FOR007", "results.json")


def batch(*args, cwd):
    return subprocess.run([BATCH, *args], cwd=cwd, capture_output=True, text=True)


def rows_of(folder):
    with open(os.path.join(folder, "results.csv"), newline="") as f:
        return list(csv.DictReader(f))


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def single_run(work, import_args):
    """zephor-import, zephor (its own thread count) and zephor-export --json in a new folder."""
    os.makedirs(work)
    subprocess.run([IMPORT, *import_args, "-o", "FOR005"], cwd=work, check=True, capture_output=True)
    env = {k: v for k, v in os.environ.items() if k != "OMP_NUM_THREADS"}
    subprocess.run([ZEPHOR], cwd=work, check=True, env=env)
    subprocess.run([EXPORT, "--json", "results.json", "FOR007"], cwd=work, check=True, capture_output=True)
    return work


def assert_same_files(folder, single):
    for name in OUTPUTS:
        assert read(os.path.join(folder, name)) == read(os.path.join(single, name)), (folder, name)


def validated_lines(out):
    """Every line a QCSchema AtomicResult or FailedOperation, in the table's order."""
    lines = [json.loads(line) for line in read(os.path.join(out, "results.jsonl"), "r").splitlines()]
    for line in lines:
        model = qcelemental.models.AtomicResult if line["success"] else qcelemental.models.FailedOperation
        model(**line)
    return lines


def check_tables(out, rows):
    lines = validated_lines(out)
    assert [line["id"] for line in lines] == [r["folder"] for r in rows]
    for line, r in zip(lines, rows):
        assert line["success"] == (r["status"] == "ok")
        if line["success"]:
            assert line["extras"]["batch"]["index"] == int(r["index"])
            assert "%.4f" % line["extras"]["total_energy_ev"] == r["total_energy_ev"]
        else:
            assert line["error"]["error_message"] == r["status"]


@pytest.fixture(scope="module")
def smiles_run(tmp_path_factory):
    work = str(tmp_path_factory.mktemp("smiles"))
    shutil.copy(os.path.join(DATA, "screening.smi"), work)
    done = batch("-j", "2", "screening.smi", cwd=work)
    return work, done


def test_fifty_smiles(smiles_run):
    work, done = smiles_run
    out = os.path.join(work, "screening")
    assert done.returncode == 2 and done.stderr == ""
    assert done.stdout == "zephor-batch: 50 run, 50 in %s/results.csv\n" % out
    rows = rows_of(out)
    assert [r["index"] for r in rows] == [str(i) for i in range(1, 51)]
    assert rows[11]["folder"] == "0012-formic_acid" and rows[11]["name"] == "formic acid"
    statuses = [r["status"] for r in rows]
    assert statuses[:42] == ["ok"] * 42
    for r in rows[42:49]:
        element = "S" if int(r["index"]) <= 46 else "Cl"
        assert r["status"].startswith("import failed (exit 2): zephor-import: atom ")
        assert r["status"].endswith(": %s is not one of H, B, C, N, O, F" % element)
    assert statuses[49] == "import failed (exit 2): zephor-import: SMILES 'C1CC(': Open Babel found no molecule in it"
    water, ammonium_free = rows[0], rows[39]
    assert (water["formula"], water["charge"], water["atoms"], water["basis_functions"]) == ("H2O", "0", "3", "6")
    assert ammonium_free["formula"] == "CH3NO2" and float(ammonium_free["mulliken_min"]) < 0 < float(
        ammonium_free["mulliken_max"])
    check_tables(out, rows)


@pytest.mark.parametrize("index, smiles, name", [(23, "c1ccccc1", "benzene"), (38, "OB(O)O", "boric acid"),
                                                 (40, "C[N+](=O)[O-]", "nitromethane")])
def test_smiles_rows_are_single_runs(smiles_run, index, smiles, name):
    work, _ = smiles_run
    folder = os.path.join(work, "screening", "%04d-%s" % (index, name.replace(" ", "_")))
    single = single_run(os.path.join(work, "single-%d" % index), ["--smiles", smiles, "--title", name])
    assert_same_files(folder, single)


def test_rerun_retries_only_what_failed(smiles_run):
    work, _ = smiles_run
    out = os.path.join(work, "screening")
    before = {f: os.stat(os.path.join(out, f, "FOR006")).st_mtime_ns for f in os.listdir(out)
              if os.path.exists(os.path.join(out, f, "FOR006"))}
    table_before = read(os.path.join(out, "results.csv"))
    done = batch("-j", "2", "screening.smi", cwd=work)
    assert done.returncode == 2 and done.stdout == "zephor-batch: 8 run, 50 in %s/results.csv\n" % out
    after = {f: os.stat(os.path.join(out, f, "FOR006")).st_mtime_ns for f in before}
    assert after == before and len(before) == 42
    assert read(os.path.join(out, "results.csv")) == table_before
    # The collecting run over the folders alone (after a Slurm array) gives the same table.
    done = batch("--no-run", "screening", cwd=work)
    assert done.returncode == 2 and read(os.path.join(out, "results.csv")) == table_before


def test_sdf_records(tmp_path):
    work = str(tmp_path)
    shutil.copy(os.path.join(DATA, "five.sdf"), work)
    done = batch("five.sdf", "-o", "sdf", cwd=work)
    assert done.returncode == 2 and done.stderr == ""
    rows = rows_of(os.path.join(work, "sdf"))
    assert [(r["folder"], r["status"][:13], r["charge"]) for r in rows] == [
        ("0001-benzene", "ok", "0"), ("0002-ammonium", "ok", "1"), ("0003-formaldehyde", "ok", "0"),
        ("0004-garbage", "import failed", ""), ("0005-chloromethane", "import failed", "")]
    check_tables(os.path.join(work, "sdf"), rows)
    records = read(os.path.join(DATA, "five.sdf"), "r").split("$$$$\n")
    for i, r in enumerate(rows[:3]):
        with open(os.path.join(work, "record%d.sdf" % i), "w") as f:
            f.write(records[i] + "$$$$\n")
        single = single_run(os.path.join(work, "single%d" % i), [os.path.join(work, "record%d.sdf" % i)])
        assert_same_files(os.path.join(work, "sdf", r["folder"]), single)


def test_xyz_blocks_all_ok_then_an_edited_input(tmp_path):
    work = str(tmp_path)
    shutil.copy(os.path.join(DATA, "five.xyz"), work)
    done = batch("five.xyz", cwd=work)
    out = os.path.join(work, "five")
    assert done.returncode == 0 and done.stderr == ""
    rows = rows_of(out)
    assert [r["folder"] for r in rows] == ["0001-water", "0002-h2", "0003-bf3", "0004-formamide", "0005-naphthalene"]
    assert {r["status"] for r in rows} == {"ok"}
    check_tables(out, rows)
    for i, r in enumerate(rows, 1):
        single = single_run(os.path.join(work, "single%d" % i), [os.path.join(work, "five.xyz"), "--index", str(i)])
        assert_same_files(os.path.join(out, r["folder"]), single)
    # Another molecule in the place of the second: its folder is left alone, its row says why.
    with open(os.path.join(work, "notes.txt"), "w") as f:
        f.write("the user's\n")
    shutil.copy(os.path.join(work, "notes.txt"), out)
    text = read(os.path.join(work, "five.xyz"), "r").replace("H 0.0 0.0 0.74", "H 0.0 0.0 0.75")
    with open(os.path.join(work, "five.xyz"), "w") as f:
        f.write(text)
    h2 = os.path.join(out, "0002-h2")
    files = {name: read(os.path.join(h2, name)) for name in os.listdir(h2)}
    done = batch("five.xyz", cwd=work)
    assert done.returncode == 2 and done.stdout.startswith("zephor-batch: 0 run, 5 in ")
    assert rows_of(out)[1]["status"] == ("another molecule: molecule.json is not molecule 2 of this input "
                                         "(remove the folder to rerun)")
    assert {name: read(os.path.join(h2, name)) for name in os.listdir(h2)} == files
    assert read(os.path.join(out, "notes.txt"), "r") == "the user's\n"
    # A preparation stopped between writing and naming left a folder with only a temporary file:
    # the rerun prepares and runs it; a folder holding anything else stays the user's.
    shutil.rmtree(os.path.join(out, "0004-formamide"))
    os.mkdir(os.path.join(out, "0004-formamide"))
    with open(os.path.join(out, "0004-formamide", ".molecule.json.4242.1717.tmp"), "w") as f:
        f.write('{"ind')
    shutil.rmtree(os.path.join(out, "0005-naphthalene"))
    os.makedirs(os.path.join(out, "0005-naphthalene", "mine"))
    done = batch("five.xyz", cwd=work)
    assert done.returncode == 2 and done.stdout.startswith("zephor-batch: 1 run, 5 in ")
    assert rows_of(out)[3]["status"] == "ok"
    assert os.listdir(os.path.join(out, "0004-formamide")).count(".molecule.json.4242.1717.tmp") == 0
    assert rows_of(out)[4]["status"] == "not a folder of this input: it holds no molecule.json (remove it to rerun)"


def on_terminal(args, cwd):
    """The batch's whole output on a pseudo-terminal (standard output and error both), and its
    exit status."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execv(BATCH, [BATCH, *args])
    chunks = []
    while True:
        try:
            data = os.read(fd, 4096)
        except OSError:
            break
        if not data:
            break
        chunks.append(data)
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return b"".join(chunks).decode(), os.waitstatus_to_exitcode(status)


def test_progress_on_a_terminal_only(tmp_path):
    work = str(tmp_path)
    shutil.copy(os.path.join(DATA, "five.xyz"), work)
    text, status = on_terminal(["-j", "1", "five.xyz", "-o", "a"], work)
    assert status == 0
    lines = text.replace("\r\n", "\n").split("\r")
    assert lines[0] == "" and lines[1].startswith("1/5 done, 0 failed")
    last, summary = lines[-1].split("\n", 1)
    assert last.startswith("5/5 done, 0 failed, ") and last.rstrip().endswith(" 0:00 left")
    assert summary == "zephor-batch: 5 run, 5 in %s/a/results.csv\n" % work
    text, status = on_terminal(["--quiet", "five.xyz", "-o", "b"], work)
    assert status == 0 and text == "zephor-batch: 5 run, 5 in %s/b/results.csv\r\n" % work
    done = batch("five.xyz", "-o", "c", cwd=work)  # not a terminal: nothing on standard error
    assert done.returncode == 0 and done.stderr == ""


@pytest.mark.parametrize("args, message", [
    (["missing.smi"], "zephor-batch: no file or directory missing.smi"),
    (["five.mol2"], "zephor-batch: cannot tell the format of 'five.mol2' from its name (.smi, .smiles, .sdf, .sd or .xyz)"),
    (["-o", "x", "."], "zephor-batch: -o is for a molecule file; a directory's table is DIR/results.csv or --table")])
def test_bad_inputs(tmp_path, args, message):
    open(os.path.join(str(tmp_path), "five.mol2"), "w").close()
    done = batch(*args, cwd=str(tmp_path))
    assert done.returncode == 1 and done.stdout == "" and done.stderr.splitlines()[0] == message
    assert sorted(os.listdir(str(tmp_path))) == ["five.mol2"]


def test_gnu_parallel_gives_the_local_tables(tmp_path):
    """--sshloginfile naming this machine alone (':'): chunks through GNU parallel, then the very
    tables of the worker pool."""
    work = str(tmp_path)
    shutil.copy(os.path.join(DATA, "five.sdf"), work)
    with open(os.path.join(work, "hosts"), "w") as f:
        f.write(":\n")
    by_parallel = batch("five.sdf", "-o", "p", "--sshloginfile", "hosts", "--chunk", "2", cwd=work)
    local = batch("five.sdf", "-o", "l", cwd=work)
    assert by_parallel.returncode == local.returncode == 2 and by_parallel.stderr == ""
    for name in ("results.csv", "results.jsonl"):
        assert read(os.path.join(work, "p", name)) == read(os.path.join(work, "l", name))


def started_programs(trace):
    """The file names of the programs an strace -f -e trace=execve log saw started."""
    names = []
    for line in read(trace, "r").splitlines():
        if "execve(\"" in line and "= 0" in line:
            names.append(os.path.basename(line.split("execve(\"", 1)[1].split("\"", 1)[0]))
    return names


def assert_same_trees(a, b):
    names = sorted(os.listdir(a))
    assert names == sorted(os.listdir(b))
    for name in names:
        pa, pb = os.path.join(a, name), os.path.join(b, name)
        if os.path.isdir(pa):
            assert_same_trees(pa, pb)
        else:
            assert read(pa) == read(pb), pa


def test_in_process_runs_give_the_programs_folders(tmp_path):
    """Where the package is built with the programs, zephor and the export run inside the workers
    and (package or not) the imports go through one zephor-import server a worker: no zephor or
    zephor-export process for a clean run, zephor itself for a FOR005 it rejects (its own message and status), and every
    file of every folder, the tables too, as the programs started one by one write them."""
    work = str(tmp_path)
    golden = os.path.join(DATA, "..", "golden")
    for road in ("in", "programs"):
        for name in ("ammonia", "benzene", "bf3"):
            os.makedirs(os.path.join(work, road, name))
            shutil.copy(os.path.join(golden, name, "FOR005"), os.path.join(work, road, name))
        os.makedirs(os.path.join(work, road, "unknown"))
        with open(os.path.join(work, road, "unknown", "FOR005"), "w") as f:
            f.write("unknown\n0\nXe 0.0 0.0 0.0\n")
    shutil.copy(os.path.join(DATA, "five.sdf"), work)
    # LeakSanitizer cannot run under ptrace: a sanitizer build's programs would fail under strace.
    traced = dict(os.environ, ASAN_OPTIONS=":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"])))
    env = dict(traced, ZEPHOR_BATCH_IN_PROCESS="0")
    for args, status in ((["in"], 2), (["five.sdf", "-o", "in-sdf"], 2)):
        done = subprocess.run(["strace", "-f", "-qq", "-e", "trace=execve", "-o", "trace", BATCH, "-j", "2", *args],
                              cwd=work, capture_output=True, text=True, env=traced)
        assert done.returncode == status
        started = started_programs(os.path.join(work, "trace"))
        if os.environ.get("ZEPHOR_BATCH_HAS_PACKAGE") == "1":
            assert started.count(os.path.basename(ZEPHOR)) == (1 if args == ["in"] else 0)
            assert os.path.basename(EXPORT) not in started
        assert started.count(os.path.basename(IMPORT)) <= (0 if args == ["in"] else 2)
    for args in (["programs"], ["five.sdf", "-o", "programs-sdf"]):
        assert subprocess.run([BATCH, "-j", "2", *args], cwd=work, capture_output=True, env=env).returncode == 2
    assert_same_trees(os.path.join(work, "in"), os.path.join(work, "programs"))
    assert_same_trees(os.path.join(work, "in-sdf"), os.path.join(work, "programs-sdf"))
    assert read(os.path.join(work, "in", "ammonia", "FOR006")) == read(os.path.join(golden, "ammonia", "FOR006"))


def test_an_import_server_that_dies_leaves_the_import_to_the_program(tmp_path):
    """A server that ends without answering (here one that is no server at all): the program then
    imports the molecule itself, and the folder is as a run without servers leaves it."""
    from zephor_batch import import_service, molecule_folders, molecule_file, molecule_run
    from zephor_batch.programs import Programs
    work = str(tmp_path)
    shutil.copy(os.path.join(DATA, "five.xyz"), work)
    molecules = molecule_file.read_molecules(os.path.join(work, "five.xyz"), "xyz")[:1]
    programs = Programs(ZEPHOR, IMPORT, EXPORT)
    for out, servers in (("dead", import_service.ImportServers("/bin/true", dict(os.environ))), ("none", None)):
        os.makedirs(os.path.join(work, out))
        (folder, conflict), = molecule_folders.prepare(os.path.join(work, out), molecules)
        assert molecule_run.run_folder(folder, programs, dict(os.environ), servers) is True
        if servers is not None:
            servers.close()
    assert_same_trees(os.path.join(work, "dead"), os.path.join(work, "none"))


def test_an_import_server_whose_reading_child_was_killed_reads_on(tmp_path):
    """Open Babel reads in one long-lived child of the server; killed between two molecules, the
    next import starts another and answers as the first did, and the server lives on."""
    from zephor_batch import import_service
    work = str(tmp_path)
    shutil.copy(os.path.join(DATA, "five.sdf"), work)
    servers = import_service.ImportServers(IMPORT, dict(os.environ))
    args = ["five.sdf", "-o", "FOR005", "--force"]
    first = servers.run(args, None, work)
    assert first == (0, b"")
    written = read(os.path.join(work, "FOR005"))
    server = servers._local.server
    children = subprocess.run(["pgrep", "-P", str(server.pid)], capture_output=True, text=True).stdout.split()
    assert len(children) == 1
    os.kill(int(children[0]), 9)
    subprocess.run(["sleep", "0.2"])
    assert servers.run(args, None, work) == first and server.poll() is None
    assert read(os.path.join(work, "FOR005")) == written
    servers.close()
