"""The Python package against the programs: the same bytes as zephor, the same errors, the same
JSON as zephor-export, in a process whose numpy was loaded first with another kernel and threads.

CTest runs this with PYTHONPATH at the build tree's package, OPENBLAS_CORETYPE=Haswell and
OPENBLAS_NUM_THREADS=2 (numpy's choice, which zephor's pinned copy must not take), and ZEPHOR,
ZEPHOR_EXPORT, ZEPHOR_IMPORT and ZEPHOR_TEST_DATA naming the programs and the test data.
"""
import concurrent.futures
import ctypes
import glob
import json
import os
import subprocess
import sys
import textwrap

# numpy first, and used: its library is loaded and running its own kernel before zephor exists.
import numpy as np

_rng = np.random.default_rng(7)
_a = _rng.standard_normal((200, 200))
NUMPY_MATRIX = _a + _a.T
NUMPY_EIGH_BEFORE = np.linalg.eigh(NUMPY_MATRIX)[1].tobytes()


def numpy_corename():
    """The kernel of the library numpy runs (the process's own copy, found by its mapped file)."""
    for line in open("/proc/self/maps"):
        if "libopenblas" in line:
            lib = ctypes.CDLL(line.split()[-1])
            lib.openblas_get_corename.restype = ctypes.c_char_p
            return lib.openblas_get_corename().decode()
    return None


NUMPY_CORE_BEFORE = numpy_corename()

import pytest  # noqa: E402

import zephor  # noqa: E402

ZEPHOR = os.environ.get("ZEPHOR", "zephor")
EXPORT = os.environ.get("ZEPHOR_EXPORT", "zephor-export")
IMPORT = os.environ.get("ZEPHOR_IMPORT", "zephor-import")
DATA = os.environ.get("ZEPHOR_TEST_DATA", os.path.join(os.path.dirname(__file__), "..", "data"))
GOLDEN = sorted(os.path.basename(os.path.dirname(p)) for p in glob.glob(os.path.join(DATA, "golden", "*", "FOR005")))
CAFFEINE = "Cn1cnc2c1c(=O)n(C)c(=O)n2C"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def zephor_binary(for005, tmp_path):
    """zephor run on `for005` in a fresh folder: (status, stderr, FOR006, FOR007), None for a
    file not written."""
    d = tmp_path / ("run%d" % len(list(tmp_path.iterdir())))
    d.mkdir()
    (d / "FOR005").write_bytes(for005)
    p = subprocess.run([ZEPHOR], cwd=d, capture_output=True)
    out = [read(d / f) if (d / f).exists() else None for f in ("FOR006", "FOR007")]
    return p.returncode, p.stderr.decode("utf-8", "surrogateescape"), out[0], out[1]


def same_bytes(res, report, checkpoint):
    return (res.report_text().encode("utf-8", "surrogateescape") == report and
            res.checkpoint_text().encode("utf-8", "surrogateescape") == checkpoint)


@pytest.mark.parametrize("name", GOLDEN)
def test_every_golden_molecule_gives_the_golden_bytes(name):
    d = os.path.join(DATA, "golden", name)
    res = zephor.run(zephor.Molecule.from_for005(os.path.join(d, "FOR005")))
    assert same_bytes(res, read(os.path.join(d, "FOR006")), read(os.path.join(d, "FOR007")))


def test_numpy_keeps_its_own_library_and_zephor_runs_the_pinned_copy():
    zephor.run(zephor.Molecule.from_for005(os.path.join(DATA, "golden", GOLDEN[0], "FOR005")))
    state = zephor.solver_state()
    assert state["corename"] == "Prescott"
    asked = os.environ.get("OPENBLAS_CORETYPE")
    assert NUMPY_CORE_BEFORE is not None and numpy_corename() == NUMPY_CORE_BEFORE
    if asked:
        assert NUMPY_CORE_BEFORE.lower() == asked.lower()  # the negative control: numpy's is not zephor's
    # The process's environment untouched (the C library's, which children inherit), after the
    # analyses too, which use the namespace's library.
    zephor.run(zephor.Molecule.from_for005(os.path.join(DATA, "golden", GOLDEN[0], "FOR005"))).qcschema()
    getenv = ctypes.CDLL(None).getenv
    getenv.restype = ctypes.c_char_p
    for name in ("OPENBLAS_CORETYPE", "OPENBLAS_NUM_THREADS"):
        value = getenv(name.encode())
        assert (value.decode() if value is not None else None) == os.environ.get(name)
    assert np.linalg.eigh(NUMPY_MATRIX)[1].tobytes() == NUMPY_EIGH_BEFORE
    # A run that only writes its texts (a batch's) imports no numpy, which still loads and works
    # when imported afterwards.
    after = textwrap.dedent("""
        import sys, zephor
        r = zephor.run(open(sys.argv[1], "rb").read(), keep_matrices=False)
        r.report_text(), r.checkpoint_text(), r.qcschema_text()
        assert "numpy" not in sys.modules
        import numpy
        print(numpy.linalg.eigh(numpy.eye(2))[0][0])""")
    done = subprocess.run([sys.executable, "-c", after, os.path.join(DATA, "golden", GOLDEN[0], "FOR005")],
                          capture_output=True, text=True)
    assert done.returncode == 0 and done.stdout == "1.0\n", done.stderr


def alkane(carbons):
    """A zig-zag alkane CnH2n+2 (Angstrom): 6 n + 2 basis functions."""
    symbols, positions = [], []
    for i in range(carbons):
        x, y = 1.27 * i, 0.44 if i % 2 else -0.44
        symbols.append("C")
        positions.append((x, y, 0.0))
        side = 1 if i % 2 else -1
        for z in (0.89, -0.89):
            symbols.append("H")
            positions.append((x, y + 0.51 * side, z))
    symbols += ["H", "H"]
    positions += [(-0.9, -0.9, 0.0), (1.27 * (carbons - 1) + 0.9, 0.9 if (carbons - 1) % 2 else -0.9, 0.0)]
    return symbols, positions


def test_a_molecule_large_enough_for_the_fast_solve_gives_zephors_bytes_through_its_routines(tmp_path):
    mol = zephor.Molecule(*alkane(66), title="hexahexacontane")  # 398 basis functions
    before = zephor.solver_state()
    res = zephor.run(mol)
    after = zephor.solver_state()
    status, err, report, checkpoint = zephor_binary(mol.for005, tmp_path)
    assert status == 0 and err == ""
    assert same_bytes(res, report, checkpoint)
    # The library's dsteqr, dlasr and level-3 calls reached zephor's routines in the namespace,
    # and large products were split: the fast solve, not the library's own.
    assert after["dsteqr_calls"] > before["dsteqr_calls"]
    assert after["deferred_sweeps"] > before["deferred_sweeps"]
    assert after["level3_split_calls"] > before["level3_split_calls"]


def small_molecules(count):
    """Distorted small molecules with a few charges: each a distinct FOR005."""
    rng = np.random.default_rng(22)
    bases = [(["O", "H", "H"], [[0, 0, 0], [0, 0.757, 0.587], [0, -0.757, 0.587]], [0, 1]),
             (["N", "H", "H", "H"], [[0, 0, 0.1], [0.94, 0, -0.27], [-0.47, 0.81, -0.27], [-0.47, -0.81, -0.27]],
              [0, 1]),
             (["C", "O", "H", "H"], [[0, 0, 0], [0, 0, 1.21], [0, 0.94, -0.59], [0, -0.94, -0.59]], [0, -1]),
             (["B", "F", "F", "F"], [[0, 0, 0], [1.31, 0, 0], [-0.65, 1.13, 0], [-0.65, -1.13, 0]], [0]),
             (["H", "F"], [[0, 0, 0], [0, 0, 0.92]], [0, 1])]
    out = []
    for k in range(count):
        symbols, pos, charges = bases[k % len(bases)]
        p = np.array(pos, float) + rng.normal(0, 0.05, (len(pos), 3))
        out.append(zephor.Molecule(symbols, p, charges[k % len(charges)], "m%d" % k))
    return out


def test_four_threads_give_the_bytes_of_one_at_a_time():
    mols = small_molecules(1000)

    def texts(m):
        # The QCSchema text too: its provenance asks the library for its configuration, which the
        # library builds in one buffer shared by every caller.
        r = zephor.run(m, keep_matrices=False)
        return r.report_text(), r.checkpoint_text(), r.qcschema_text()

    serial = [texts(m) for m in mols]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        threaded = list(pool.map(texts, mols))
    assert threaded == serial
    assert len(set(serial)) == len(serial)


ERRORS = {
    # name: (FOR005 bytes, exception type)
    "unknown element": (b"'x'\n0\nCl 0 0 0\nH 0 0 1.3\n", zephor.ReportError),
    "charge beyond an integer": (b"'x'\n99999999999\nH 0 0 0\nH 0 0 0.74\n", zephor.ReportError),
    "coordinate beyond a double": (b"'x'\n0\nH 0 0 0\nH 0 0 1e400\n", zephor.ReportError),
    "title not closed": (b"'x\n0\nH 0 0 0\n", zephor.ReportError),
    "charge leaves too many electrons": (b"'x'\n-9\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n",
                                         zephor.ReportError),
    "charge that is not a number": (b"'x'\nminus\nH 0 0 0\nH 0 0 0.74\n", zephor.ReportError),
    "coordinate that is not a number": (b"'x'\n0\nH 0 0 0\nH 0 0 zero\n", zephor.ReportError),
    "missing coordinate": (b"'x'\n0\nH 0 0 0\nH 0 0\n", zephor.ReportError),
    "empty file": (b"", zephor.ReportError),
    "no atom": (b"'x'\n0\n", zephor.SolveFailed),
    "two atoms at one place": (b"'x'\n0\nH 0 0 0\nH 0 0 0\n", zephor.SolveFailed),
    "more functions than can be counted": (b"'x'\n0\n" + b"C 0 0 0\n" * 11586, zephor.MemoryRefused),
}


@pytest.mark.parametrize("name", sorted(ERRORS))
def test_each_early_end_is_an_exception_with_zephors_message(name, tmp_path):
    for005, kind = ERRORS[name]
    status, err, report, _ = zephor_binary(for005, tmp_path)
    with pytest.raises(kind) as caught:
        zephor.run(for005)
    e = caught.value
    if kind is zephor.ReportError:
        assert status == 2 and err == str(e) + "\n" and err == e.where + "\n" + e.message + "\n"
    elif kind is zephor.MemoryRefused:
        assert status == 1 and err == str(e) + "\n" and isinstance(e, MemoryError)
    else:
        assert status == 0 and report is None and err == (e.note + "\n" if e.note else "")


def test_the_interpreter_survives_a_refused_allocation():
    # In a child under an address-space limit of 600 MB more than it holds: 2500 carbons need
    # two 10000 x 10000 matrices (1.6 GB), which the limit refuses; the same interpreter then
    # runs water to the end.
    code = textwrap.dedent("""
        import resource, numpy, zephor
        size = [int(l.split()[1]) for l in open("/proc/self/status") if l.startswith("VmSize:")][0] * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size + (600 << 20), size + (600 << 20)))
        big = zephor.Molecule(["C"] * 2500, [[1.5 * (i % 15), 1.5 * (i // 15 % 15), 1.5 * (i // 225)]
                                             for i in range(2500)])
        try:
            zephor.run(big)
        except zephor.MemoryRefused as e:
            assert isinstance(e, MemoryError) and "Allocation would exceed memory limit" in str(e), e
        else:
            raise SystemExit("no refusal")
        res = zephor.run(zephor.Molecule(["O", "H", "H"], [[0, 0, 0], [0, 0.757, 0.587], [0, -0.757, 0.587]]))
        print(res.occupied_count)
    """)
    p = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert p.returncode == 0, p.stderr
    assert p.stdout == "4\n"


def test_molecule_constructors_write_what_zephor_and_zephor_import_read(tmp_path):
    water = zephor.Molecule(["O", "H", "H"], [[0, 0, 0], [0, 0.757, 0.587], [0, -0.757, 0.587]], title="it's water")
    assert water.for005 == b"'it''s water'\n0\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n"
    for bad in (["O H", "H", "H"], ["O", "H", "1"], ["O", "H", "H,"]):
        with pytest.raises(ValueError):
            zephor.Molecule(bad, [[0, 0, 0], [0, 0.757, 0.587], [0, -0.757, 0.587]])
    with pytest.raises(ValueError):
        zephor.Molecule(["H", "H"], [[0, 0, 0], [0, 0, float("nan")]])
    # SMILES and files come through zephor-import itself, errors with its message.
    out = tmp_path / "FOR005"
    subprocess.run([IMPORT, "--smiles", "CCO", "-o", str(out)], check=True, capture_output=True)
    assert zephor.Molecule.from_smiles("CCO").for005 == out.read_bytes()
    xyz = tmp_path / "w.xyz"
    xyz.write_text("3\nwater\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n")
    assert zephor.Molecule.from_file(xyz, charge=1).for005.split(b"\n")[1] == b"1"
    xyz.write_text("1\nchlorine\nCl 0 0 0\n")
    with pytest.raises(zephor.ImportFailed) as caught:
        zephor.Molecule.from_file(xyz)
    assert caught.value.status == 2 and "Cl is not one of" in str(caught.value)
    # ASE atoms: the charge from info unless given.
    from ase import Atoms
    atoms = Atoms("OH", positions=[[0, 0, 0], [0, 0, 0.97]], info={"charge": -1})
    assert zephor.Molecule.from_ase(atoms).for005.split(b"\n")[1] == b"-1"
    assert zephor.Molecule.from_ase(atoms, charge=1).for005.split(b"\n")[1] == b"1"


def caffeine():
    from rdkit import Chem
    from rdkit.Chem import AllChem
    mol = Chem.AddHs(Chem.MolFromSmiles(CAFFEINE))
    assert AllChem.EmbedMolecule(mol, randomSeed=7) == 0
    return mol


def test_rdkit_caffeine_runs_as_zephor_runs_it_and_stores_charges_on_the_atoms(tmp_path):
    import zephor.rdkit
    from rdkit import Chem
    mol = caffeine()
    ok, res = zephor.rdkit.run_mol(mol)
    assert ok and len(res.symbols) == 24 and res.charge == 0
    status, _, report, checkpoint = zephor_binary(zephor.Molecule.from_rdkit(mol).for005, tmp_path)
    assert status == 0 and same_bytes(res, report, checkpoint)
    charges = [a.GetDoubleProp("_ZephorCharge") for a in mol.GetAtoms()]
    assert charges == list(res.report_charges)
    assert [a.GetDoubleProp("_ZephorMullikenCharge") for a in mol.GetAtoms()] == list(
        res.analysis["mulliken_charges"])
    # FOR006 prints the same charges to four decimals.
    printed = [float(l.split(":")[1]) for l in res.report_text().split("Mulliken population analysis:\n")[1]
               .split("*")[0].strip().split("\n")]
    assert np.allclose(printed, charges, atol=5.01e-5, rtol=0)
    with pytest.raises(ValueError):
        zephor.Molecule.from_rdkit(Chem.MolFromSmiles(CAFFEINE))  # implicit hydrogens, no conformer


def test_ase_calculator_on_caffeine():
    from ase import Atoms
    from ase.calculators.calculator import PropertyNotImplementedError
    from zephor.ase import Zephor
    mol = caffeine()
    atoms = Atoms([a.GetSymbol() for a in mol.GetAtoms()], positions=mol.GetConformer().GetPositions())
    atoms.calc = Zephor()
    res = zephor.run(zephor.Molecule.from_ase(atoms))
    assert atoms.get_potential_energy() == res.total_energy
    assert atoms.get_potential_energy(force_consistent=True) == res.total_energy
    assert list(atoms.get_charges()) == list(res.analysis["mulliken_charges"])
    with pytest.raises(PropertyNotImplementedError):
        atoms.get_forces()
    atoms.calc = Zephor(charge=1)  # an odd electron count still runs, as zephor does
    assert atoms.get_potential_energy() == zephor.run(zephor.Molecule.from_ase(atoms, charge=1)).total_energy


def test_results_are_the_run_and_zephor_exports_json_and_cube(tmp_path):
    src = os.path.join(DATA, "golden", "ammonia")
    res = zephor.run(zephor.Molecule.from_for005(os.path.join(src, "FOR005")))
    n = len(res.orbital_energies)
    assert res.coefficients.shape == (n, n) and np.allclose((res.coefficients ** 2).sum(axis=0), 1.0)
    # ham c = e s c for every orbital, and the occupied energies as FOR006 prints them.
    c, e = res.coefficients, res.orbital_energies
    assert np.allclose(res.hamiltonian @ c, res.overlap @ c * e, atol=1e-9)
    assert res.total_energy == 2 * sum(e[:res.occupied_count])
    assert res.basis["function_label"][:4] == ["s", "px", "py", "pz"] and list(res.basis["function_atom"][:5]) == [
        0, 0, 0, 0, 1]
    bo = res.report_bond_orders
    assert bo.shape == (4, 4) and np.array_equal(bo, bo.T) and abs(bo[0, 1] - 0.8146) < 5.01e-5
    # The JSON is zephor-export's, byte for byte, from the programs' files.
    for f in ("FOR005", "FOR006", "FOR007"):
        (tmp_path / f).write_bytes(read(os.path.join(src, f)))
    subprocess.run([EXPORT, "FOR007", "--json", "out.json"], cwd=tmp_path, check=True, capture_output=True)
    assert res.qcschema_text() == (tmp_path / "out.json").read_text()
    assert res.qcschema() == json.loads((tmp_path / "out.json").read_text())
    # The batch's JSON Lines form of it: each line break dropped with the blanks after it.
    for text in (res.qcschema_text().encode(), b" \t\n\r x\x0b\n\x0c\n\ny z \n"):
        assert zephor._zephor.one_line(text) == b"".join(map(bytes.lstrip, text.split(b"\n")))
    # The cube's grid as numpy: each value the orbital at its point, unrounded (not the file's
    # five digits), on the grid the file states.
    cube = res.cube("homo", spacing=0.5)
    pts = cube.points()
    largest = np.abs(cube.values).max()
    for idx in [(0, 0, 0), (10, 12, 9), tuple(s - 1 for s in cube.values.shape), (13, 8, 11)]:
        exact = res.orbital_value(res.occupied_count, pts[idx])
        assert abs(cube.values[idx] - exact) <= 1e-13 * largest
    head = cube.text.split("\n")
    assert np.allclose([float(x) for x in head[2].split()[1:4]], cube.origin, rtol=0, atol=1e-6)
    assert [int(line.split()[0]) for line in head[3:6]] == list(cube.values.shape)
    with pytest.raises(ValueError):
        res.cube(orbital=n + 1)
