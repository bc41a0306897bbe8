"""zephor-export's population analyses against an independent evaluation.

For each molecule zephor runs, zephor-export writes a Molden file and its JSON analyses; this test
reads the Molden file with its own parser, builds the overlap matrix with its own Gaussian
integrals (nothing of zephor's assembly), and computes every analysis with numpy: Mulliken and
Loewdin charges, Mayer and Wiberg-Loewdin bond orders, Mayer valences, overlap populations and
orbital composition. Everything must agree to 1e-6; charges must sum to the total charge.

Run with ZEPHOR, ZEPHOR_EXPORT, ZEPHOR_IMPORT and ZEPHOR_TEST_DATA in the environment (CTest sets them).
"""
import json
import os
import subprocess

import numpy as np
import pytest

ZEPHOR = os.environ.get("ZEPHOR", "zephor")
EXPORT = os.environ.get("ZEPHOR_EXPORT", "zephor-export")
IMPORT = os.environ.get("ZEPHOR_IMPORT", "zephor-import")
DATA = os.environ.get("ZEPHOR_TEST_DATA", os.path.join(os.path.dirname(__file__), "..", "data"))
VALENCE = {"H": 1, "B": 3, "C": 4, "N": 5, "O": 6, "F": 7}
TOLERANCE = 1e-6

# Molecules written here (Angstrom); the golden folders give the others.
WRITTEN = {
    "formaldehyde": "'formaldehyde'\n0\nC 0 0 0\nO 0 0 1.208\nH 0 0.943 -0.587\nH 0 -0.943 -0.587\n",
    "co": "'co'\n0\nC 0 0 0\nO 0 0 1.128\n",
    "n2": "'n2'\n0\nN 0 0 0\nN 0 0 1.098\n",
    "pyridine": "'pyridine'\n0\n"
    "N 0.0000 1.4080 0\nC 1.1560 0.7100 0\nC 1.1970 -0.6850 0\nC 0.0000 -1.3940 0\n"
    "C -1.1970 -0.6850 0\nC -1.1560 0.7100 0\nH 2.0720 1.2890 0\nH 2.1530 -1.1980 0\n"
    "H 0.0000 -2.4780 0\nH -2.1530 -1.1980 0\nH -2.0720 1.2890 0\n",
}
GOLDEN = ["water", "benzene", "bf3", "hydroxide", "ch_anion", "methylamine_borane"]
SMILES = {"tridecane": "CCCCCCCCCCCCC"}  # 41 atoms


def run(cmd, cwd):
    r = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)
    assert r.returncode == 0, f"{cmd}: {r.stderr}"
    return r.stdout


def read_molden(path):
    """Atoms (symbol, position in bohr), shells (atom, l, [(exponent, coefficient)]) and orbitals."""
    lines = open(path).read().splitlines()
    atoms, shells, energies, occupations, coefs = [], [], [], [], []
    i = 0
    while i < len(lines):
        line = lines[i].strip()
        if line.startswith("[Atoms]"):
            assert "AU" in line
            i += 1
            while i < len(lines) and not lines[i].startswith("["):
                f = lines[i].split()
                atoms.append((f[0], np.array([float(x) for x in f[3:6]])))
                i += 1
            continue
        if line.startswith("[GTO]"):
            i += 1
            while i < len(lines) and not lines[i].startswith("["):
                f = lines[i].split()
                if len(f) == 2 and f[1] == "0":
                    atom = int(f[0]) - 1
                    i += 1
                    while i < len(lines) and lines[i].split():
                        g = lines[i].split()
                        l = {"s": 0, "p": 1}[g[0]]
                        prims = []
                        for k in range(int(g[1])):
                            e, c = lines[i + 1 + k].replace("D", "E").split()
                            prims.append((float(e), float(c)))
                        shells.append((atom, l, prims))
                        i += 1 + int(g[1])
                else:
                    i += 1
            continue
        if line.startswith("[MO]"):
            i += 1
            column = None
            while i < len(lines) and not lines[i].startswith("["):
                f = lines[i].split()
                if f and f[0].startswith("Ene="):
                    energies.append(float(f[1]))
                    column = []
                    coefs.append(column)
                elif f and f[0].startswith("Occup="):
                    occupations.append(float(f[1]))
                elif len(f) == 2 and column is not None and not f[0].endswith("="):
                    column.append(float(f[1]))
                i += 1
            continue
        i += 1
    return atoms, shells, np.array(energies), np.array(occupations), np.array(coefs).T


def overlap(atoms, shells):
    """Overlap of the contracted Cartesian s and p functions, from primitive integrals."""
    functions = []  # (atom, shell, cartesian direction or None)
    for si, (atom, l, _) in enumerate(shells):
        if l == 0:
            functions.append((atom, si, None))
        else:
            functions.extend((atom, si, d) for d in range(3))
    n = len(functions)
    s = np.zeros((n, n))
    for m, (am, sm, dm) in enumerate(functions):
        for v, (av, sv, dv) in enumerate(functions):
            a_pos, b_pos = atoms[am][1], atoms[av][1]
            total = 0.0
            for a, ca in shells[sm][2]:
                na = (2 * a / np.pi) ** 0.75 * (2 * np.sqrt(a) if dm is not None else 1.0)
                for b, cb in shells[sv][2]:
                    nb = (2 * b / np.pi) ** 0.75 * (2 * np.sqrt(b) if dv is not None else 1.0)
                    p = a + b
                    centre = (a * a_pos + b * b_pos) / p
                    e0 = (np.pi / p) ** 1.5 * np.exp(-a * b / p * np.sum((a_pos - b_pos) ** 2))
                    pa, pb = centre - a_pos, centre - b_pos
                    if dm is None and dv is None:
                        f = 1.0
                    elif dm is None:
                        f = pb[dv]
                    elif dv is None:
                        f = pa[dm]
                    else:
                        f = pa[dm] * pb[dv] + (1.0 / (2 * p) if dm == dv else 0.0)
                    total += ca * cb * na * nb * e0 * f
            s[m, v] = total
    return s, [f[0] for f in functions], [f[2] is None for f in functions]


def analyses(atoms, shells, coefs, occupations):
    s, atom_of, is_s = overlap(atoms, shells)
    n = s.shape[0]
    occupied = occupations > 1.0
    c = coefs
    p = 2.0 * c[:, occupied] @ c[:, occupied].T
    ps = p @ s
    w, u = np.linalg.eigh(s)
    half = u @ np.diag(np.sqrt(w)) @ u.T
    lowdin = half @ p @ half
    natoms = len(atoms)
    z = np.array([VALENCE[a[0]] for a in atoms], dtype=float)
    owner = np.zeros((natoms, n))
    owner[atom_of, np.arange(n)] = 1.0
    mulliken = z - owner @ np.diag(ps)
    loewdin = z - owner @ np.diag(lowdin)
    mayer = owner @ (ps * ps.T) @ owner.T
    wiberg = owner @ (lowdin ** 2) @ owner.T
    overlap_pop = owner @ (2.0 * p * s) @ owner.T
    for m in (mayer, wiberg, overlap_pop):
        np.fill_diagonal(m, 0.0)
    valences = mayer.sum(axis=1)
    composition = 100.0 * (owner @ (c * (s @ c))).T  # orbitals x atoms
    return {
        "s_diagonal": np.diag(s),
        "mulliken_charges": mulliken,
        "lowdin_charges": loewdin,
        "mayer_bond_orders": mayer,
        "wiberg_lowdin_bond_orders": wiberg,
        "overlap_populations": overlap_pop,
        "atomic_valences": valences,
        "orbital_composition": composition,
    }


def pairs(matrix, threshold=0.01):
    n = matrix.shape[0]
    return [[i + 1, j + 1, matrix[i, j]] for i in range(n) for j in range(i + 1, n) if abs(matrix[i, j]) > threshold]


def prepare(name, folder):
    if name in WRITTEN:
        open(os.path.join(folder, "FOR005"), "w").write(WRITTEN[name])
    elif name in SMILES:
        run([IMPORT, "--smiles", SMILES[name]], folder)
    else:
        with open(os.path.join(DATA, "golden", name, "FOR005")) as f:
            open(os.path.join(folder, "FOR005"), "w").write(f.read())
    run([ZEPHOR], folder)
    run([EXPORT, "--molden", "--json", "results.json"], folder)
    return json.load(open(os.path.join(folder, "results.json")))


@pytest.mark.parametrize("name", list(WRITTEN) + GOLDEN + list(SMILES))
def test_every_analysis_agrees_with_an_independent_evaluation(name, tmp_path):
    result = prepare(name, str(tmp_path))
    got = result["extras"]["analysis"]
    # Readers index the analyses by name: no other key may sit among them.
    assert set(got) == {"mulliken_charges", "lowdin_charges", "mayer_bond_orders", "wiberg_lowdin_bond_orders",
                        "overlap_populations", "orbital_composition", "atomic_valences"}
    atoms, shells, energies, occupations, coefs = read_molden(os.path.join(tmp_path, "FOR007.molden"))
    want = analyses(atoms, shells, coefs, occupations)
    # The written functions are normalised contractions; the orbitals have unit norm against S.
    assert np.allclose(want["s_diagonal"], 1.0, atol=1e-10)
    charge = result["molecule"]["molecular_charge"]
    for key in ("mulliken_charges", "lowdin_charges", "atomic_valences"):
        assert np.allclose(got[key], want[key], atol=TOLERANCE, rtol=0), key
    for key in ("mulliken_charges", "lowdin_charges"):
        assert abs(sum(got[key]) - charge) < 1e-10, key
    for key in ("mayer_bond_orders", "wiberg_lowdin_bond_orders", "overlap_populations"):
        expected = pairs(want[key])
        assert [p[:2] for p in got[key]] == [p[:2] for p in expected], key
        assert np.allclose([p[2] for p in got[key]], [p[2] for p in expected], atol=TOLERANCE, rtol=0), key
    composition = np.array(got["orbital_composition"])
    assert composition.shape == want["orbital_composition"].shape
    assert np.allclose(composition, want["orbital_composition"], atol=1e-4, rtol=0)
    assert np.allclose(composition.sum(axis=1), 100.0, atol=1e-8)
    # FOR006's own values stay, named for what they are.
    assert len(result["extras"]["report_charges"]) == len(atoms)
