"""Molecules per second: the Python package in one process against the programs' road.

The same 100 small molecules (3 to 29 atoms, RDKit conformers made beforehand and not timed)
go once through the programs, one folder each (zephor-import from XYZ, zephor, zephor-export
--json), and once through `import zephor` in this process (Molecule from the symbols and
coordinates, run, qcschema(): the same report, checkpoint and JSON). Each road is timed
`--repeats` times, in alternation; the table gives the medians and their ratio, and checks that
both roads wrote the same FOR006 for every molecule.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py --build build
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy  # noqa: F401  (loaded first, as in a notebook)
from rdkit import Chem
from rdkit.Chem import AllChem

import zephor

CHAINS = ["C", "CC", "CCC", "CC(C)C", "CCCC", "CCCCC", "C1CC1", "C1CCCC1"]
GROUPS = ["", "O", "N", "F", "C=O", "C(=O)O", "C(=O)N", "C#N", "OC", "NC(=O)C", "C(F)(F)F", "B(O)O"]
RINGS = ["c1ccccc1", "c1ccncc1", "c1ccoc1", "c1cc[nH]c1", "C1CCCCC1"]


def molecules(count):
    smiles = []
    for c in CHAINS:
        for g in GROUPS:
            smiles.append(c + g)
    for r in RINGS:
        for g in GROUPS:
            smiles.append(r + g)
    out, seen = [], set()
    for s in smiles:
        mol = Chem.MolFromSmiles(s)
        if mol is None:
            continue
        key = Chem.MolToSmiles(mol)
        mol = Chem.AddHs(mol)
        if key in seen or mol.GetNumAtoms() >= 30 or AllChem.EmbedMolecule(mol, randomSeed=11) != 0:
            continue
        seen.add(key)
        out.append((key, [a.GetSymbol() for a in mol.GetAtoms()], mol.GetConformer().GetPositions()))
        if len(out) == count:
            break
    return out


def xyz_text(name, symbols, positions):
    lines = [str(len(symbols)), name]
    lines += ["%s %r %r %r" % (s, float(p[0]), float(p[1]), float(p[2])) for s, p in zip(symbols, positions)]
    return "\n".join(lines) + "\n"


def programs_road(mols, build, work):
    imp = os.path.join(build, "import", "zephor-import")
    zep = os.path.join(build, "zephor")
    exp = os.path.join(build, "export", "zephor-export")
    reports = []
    for k, (name, symbols, positions) in enumerate(mols):
        d = os.path.join(work, "m%03d" % k)
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        with open(os.path.join(d, "in.xyz"), "w") as f:
            f.write(xyz_text(name, symbols, positions))
        subprocess.run([imp, "in.xyz", "--title", name], cwd=d, check=True, stdout=subprocess.DEVNULL)
        subprocess.run([zep], cwd=d, check=True)
        subprocess.run([exp, "FOR007", "--json", "out.json"], cwd=d, check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(d, "FOR006"), "rb") as f:
            reports.append(f.read())
    return reports


def package_road(mols):
    reports = []
    for name, symbols, positions in mols:
        res = zephor.run(zephor.Molecule(symbols, positions, title=name))
        res.qcschema()
        reports.append(res.report_text().encode("utf-8", "surrogateescape"))
    return reports


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--count", type=int, default=100)
    ap.add_argument("--repeats", type=int, default=3)
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    mols = molecules(args.count)
    atoms = [len(m[1]) for m in mols]
    work = tempfile.mkdtemp(prefix="zephor-bench-")
    try:
        package_road(mols[:3])  # the library's namespace loaded once, as in any session
        times = {"programs": [], "package": []}
        same = True
        for _ in range(args.repeats):
            t = time.perf_counter()
            a = programs_road(mols, args.build, work)
            times["programs"].append(time.perf_counter() - t)
            t = time.perf_counter()
            b = package_road(mols)
            times["package"].append(time.perf_counter() - t)
            same = same and a == b
    finally:
        shutil.rmtree(work, ignore_errors=True)
    med = {k: statistics.median(v) for k, v in times.items()}
    print("Python package against the programs' road: %d molecules of %d to %d atoms (median %d), %d runs each, "
          "medians; 'same': every FOR006 identical on both roads." % (len(mols), min(atoms), max(atoms),
                                                                       statistics.median(atoms), args.repeats))
    print()
    print("| road | seconds | molecules/s | ms/molecule |")
    print("|---|--:|--:|--:|")
    for k, label in (("programs", "zephor-import, zephor, zephor-export --json (3 processes)"),
                     ("package", "import zephor: Molecule, run, qcschema() (one process)")):
        print("| %s | %.3f | %.1f | %.2f |" % (label, med[k], len(mols) / med[k], 1000 * med[k] / len(mols)))
    print()
    print("Ratio: %.1fx molecules per second in one process; same: %s" % (med["programs"] / med["package"],
                                                                      "yes" if same else "NO"))
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
