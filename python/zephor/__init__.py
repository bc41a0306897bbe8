"""ZEPHOR in Python: extended-Hückel molecular orbitals of H, B, C, N, O and F molecules.

The calculation is the one the ``zephor`` program runs (the same reading of FOR005, the same
assembly, solve and analysis, the same writers), in this process and without the interpreter's
lock: ``report_text()`` and ``checkpoint_text()`` are byte for byte what zephor writes to FOR006
and FOR007 for the same molecule.

    >>> import zephor
    >>> mol = zephor.Molecule(["O", "H", "H"], [[0, 0, 0], [0, 0.757, 0.587], [0, -0.757, 0.587]])
    >>> res = zephor.run(mol)
    >>> res.total_energy, res.homo_energy        # eV
"""

import json as _json
import os as _os
import subprocess as _subprocess
import tempfile as _tempfile

from . import _zephor


def _numpy():
    """numpy, imported where the package first makes an array rather than with the package: a
    batch that only writes each run's texts never needs it, and its import takes a tenth of a
    second. Before or after, its linear-algebra library is the process's own, loaded with the
    process's settings; the copy zephor pins lives in a link-map namespace of its own."""
    import numpy
    return numpy


__all__ = ["Molecule", "Result", "Cube", "run", "ZephorError", "ReportError", "MemoryRefused", "SolveFailed",
           "ImportFailed", "BOHR_IN_ANGSTROM"]

__version__ = _zephor.version

# Angstrom per bohr, the value zephor divides input coordinates by.
BOHR_IN_ANGSTROM = _zephor.bohr_in_angstrom


class ZephorError(Exception):
    """Any early end of a run, with zephor's own message."""


class ReportError(ZephorError):
    """What zephor reports on standard error with exit status 2: a FOR005 it cannot read (an
    unknown element, a bad charge, a malformed line) or a linear-algebra library it cannot load.
    ``where`` is the report's first line, ``message`` its second; str() gives both."""

    def __init__(self, where, message):
        super().__init__(where + "\n" + message)
        self.where = where
        self.message = message


class MemoryRefused(ZephorError, MemoryError):
    """Memory the system refused (exit status 1 of zephor): ``message`` is the system's text."""

    def __init__(self, message):
        super().__init__("Operating system error: " + message + "\nAllocation would exceed memory limit")
        self.message = message


class SolveFailed(ZephorError):
    """The solve failed: zephor would stop quietly and write no file. ``note`` is the
    floating-point note it would print ("" when none)."""

    def __init__(self, note):
        super().__init__(note or "the generalized eigenproblem could not be solved")
        self.note = note


class ImportFailed(ZephorError):
    """zephor-import could not make a FOR005 of the file or SMILES (its message; ``status`` is its
    exit status)."""

    def __init__(self, message, status):
        super().__init__(message)
        self.status = status


def _text(b):
    # FOR005's title may hold any bytes: they come back unchanged through encode("utf-8",
    # "surrogateescape").
    return b.decode("utf-8", "surrogateescape")


def _bytes(s):
    return s if isinstance(s, bytes) else s.encode("utf-8", "surrogateescape")


class Molecule:
    """A molecule as zephor reads it: the bytes of a FOR005 (``for005``). Every constructor makes
    that text; nothing is checked until the run, which reports as zephor does."""

    def __init__(self, symbols, positions, charge=0, title=""):
        """`symbols` ("C", "H" ...), `positions` (n x 3, Angstrom), the total charge and a title."""
        pos = _numpy().asarray(positions, dtype=float).reshape(-1, 3) if len(symbols) else _numpy().zeros((0, 3))
        self.for005 = _zephor.for005_text([str(s) for s in symbols], pos.tolist(), int(charge), str(title))

    @classmethod
    def from_for005(cls, path_or_text):
        """A FOR005 file (a path), or its bytes, read exactly as zephor reads it."""
        m = cls.__new__(cls)
        if isinstance(path_or_text, bytes):
            m.for005 = path_or_text
        else:
            with open(path_or_text, "rb") as f:
                m.for005 = f.read()
        return m

    @classmethod
    def from_file(cls, path, format=None, charge=None, title=None, index=None, timeout=None):
        """Any file zephor-import reads (XYZ, Z-matrix, SDF/MOL, MOL2, PDB, CML, SMILES), with its
        options; zephor-import's message becomes ImportFailed."""
        args = [_os.fspath(path)]
        return cls._imported(args, format, charge, title, index, timeout)

    @classmethod
    def from_smiles(cls, smiles, charge=None, title=None, timeout=None):
        """As zephor-import --smiles (Open Babel's 3D coordinates, hydrogens added)."""
        return cls._imported(["--smiles", smiles], None, charge, title, None, timeout)

    @classmethod
    def _imported(cls, args, format, charge, title, index, timeout):
        for flag, value in (("--format", format), ("--charge", charge), ("--title", title), ("--index", index),
                            ("--timeout", timeout)):
            if value is not None:
                args += [flag, str(value)]
        with _tempfile.TemporaryDirectory(prefix="zephor-") as d:
            out = _os.path.join(d, "FOR005")
            p = _subprocess.run([_import_program(), *args, "-o", out], capture_output=True)
            if p.returncode != 0:
                raise ImportFailed(_text(p.stderr).strip(), p.returncode)
            return cls.from_for005(out)

    @classmethod
    def from_rdkit(cls, mol, conf_id=-1, charge=None, title=None):
        """An RDKit molecule with explicit hydrogens and a 3D conformer (Chem.AddHs, then
        AllChem.EmbedMolecule). The charge is the sum of the formal charges unless given."""
        from .rdkit import molecule_from_rdkit
        return molecule_from_rdkit(cls, mol, conf_id, charge, title)

    @classmethod
    def from_ase(cls, atoms, charge=None, title=None):
        """ASE Atoms; the charge from `charge`, else atoms.info["charge"], else 0."""
        if charge is None:
            charge = atoms.info.get("charge", 0)
        if title is None:
            title = atoms.info.get("name", atoms.get_chemical_formula())
        return cls(atoms.get_chemical_symbols(), atoms.get_positions(), int(charge), str(title))

    def __repr__(self):
        return "zephor.Molecule.from_for005(%r)" % (self.for005,)


def _import_program():
    env = _os.environ.get("ZEPHOR_IMPORT")
    if env:
        return env
    from . import _programs
    if _programs.relative:
        return _os.path.normpath(_os.path.join(_os.path.dirname(__file__), _programs.import_program))
    return _programs.import_program


def _raise(outcome):
    if outcome.kind == "report":
        raise ReportError(outcome.where, outcome.message)
    if outcome.kind == "memory":
        raise MemoryRefused(outcome.message)
    raise SolveFailed(outcome.message)


def run(mol, keep_matrices=True):
    """Runs zephor on `mol` (a Molecule, or FOR005's bytes) in this process and returns a Result.
    Raises ReportError, MemoryRefused or SolveFailed where zephor would end early. With
    keep_matrices=False the overlap and Hamiltonian are not kept (two n x n arrays less)."""
    text = mol if isinstance(mol, bytes) else mol.for005
    outcome = _zephor.run(text, keep_matrices)
    if outcome.kind != "ok":
        _raise(outcome)
    return Result(outcome.run)


class Cube:
    """An orbital on a regular grid, the one zephor-export --cube writes: ``origin`` (3, bohr),
    ``axes`` (3 x 3, one step per row, bohr), ``values`` (nx x ny x nz, bohr^-3/2, unrounded:
    the orbital at each point to within rounding) and ``text`` (the cube file itself, written
    when first asked for)."""

    def __init__(self, origin, spacing, values, text_source):
        np = _numpy()
        self.origin = np.array(origin, dtype=float)
        self.axes = np.eye(3) * spacing
        self.values = values
        self._text_source = text_source
        self._text = None

    @property
    def text(self):
        if self._text is None:
            self._text = self._text_source()
        return self._text

    def points(self):
        """The grid's points (nx x ny x nz x 3, bohr)."""
        idx = _numpy().indices(self.values.shape).reshape(3, -1).T
        return (self.origin + idx @ self.axes).reshape(*self.values.shape, 3)


class Result:
    """One run's results. Energies in eV, coefficients for the basis functions in ``basis``."""

    def __init__(self, run):
        self._run = run
        self._analysis = None

    # What FOR006 and FOR007 hold, and the arrays of the run.
    def report_text(self):
        """Exactly the bytes zephor writes to FOR006 (as str; encode("utf-8", "surrogateescape")
        gives the bytes back)."""
        return _text(self._run.report)

    def checkpoint_text(self):
        """Exactly the bytes zephor writes to FOR007."""
        return _text(self._run.checkpoint)

    @property
    def title(self):
        return _text(self._run.title)

    @property
    def charge(self):
        return self._run.charge

    @property
    def symbols(self):
        return self._run.symbols

    @property
    def positions(self):
        """Atom positions (n x 3), Angstrom, from zephor's bohr values."""
        return self._run.positions_bohr * BOHR_IN_ANGSTROM

    @property
    def positions_bohr(self):
        return self._run.positions_bohr

    @property
    def atomic_numbers(self):
        return _numpy().array(self._run.atomic_numbers)

    @property
    def orbital_energies(self):
        """All orbital energies, eV, ascending."""
        return self._run.orbital_energies

    @property
    def total_energy(self):
        """Twice the sum of the occupied orbital energies, eV (FOR006's total energy)."""
        return self._run.total_energy

    @property
    def coefficients(self):
        """n x n; column k is orbital k (unit Euclidean length), exactly FOR007's values."""
        return self._run.coefficients

    @property
    def overlap(self):
        """The overlap matrix as assembled (None when run with keep_matrices=False)."""
        return self._run.overlap

    @property
    def hamiltonian(self):
        """The Hamiltonian as assembled, eV (None when run with keep_matrices=False)."""
        return self._run.hamiltonian

    @property
    def occupied_count(self):
        """Doubly occupied orbitals."""
        return self._run.occupied_count

    @property
    def electron_count(self):
        return self._run.electron_count

    @property
    def homo(self):
        """The index (from 0) of the highest occupied orbital, or None."""
        k = self.occupied_count
        return k - 1 if k > 0 else None

    @property
    def lumo(self):
        k = self.occupied_count
        return k if k < len(self.orbital_energies) else None

    @property
    def homo_energy(self):
        return None if self.homo is None else float(self.orbital_energies[self.homo])

    @property
    def lumo_energy(self):
        return None if self.lumo is None else float(self.orbital_energies[self.lumo])

    @property
    def basis(self):
        """The basis functions in the order of the coefficients' rows: ``function_atom`` (from 0),
        ``function_label`` ("s", "px", "py", "pz"), and the shells (``shell_type``: 0 s, 1 p;
        ``shell_atom`` from 0)."""
        r = self._run
        np = _numpy()
        return {"function_atom": np.array(r.function_atom), "function_label": r.function_label,
                "shell_type": np.array(r.shell_type), "shell_atom": np.array(r.shell_atom)}

    @property
    def report_charges(self):
        """FOR006's charges (valence less the population of unit-length orbitals, no overlap), in
        full precision; FOR006 prints them to four decimals."""
        return self._run.report_charges

    @property
    def report_bond_orders(self):
        """FOR006's bond orders (atoms x atoms, symmetric, zero diagonal), in full precision."""
        return self._run.report_bond_orders

    # zephor-export's analyses and files of the same run.
    @property
    def analysis(self):
        """The overlap-aware analyses zephor-export writes (Mulliken and Löwdin charges, Mayer bond
        orders and valences, Wiberg indices in the Löwdin basis, overlap populations, orbital
        composition in percent): a dict of numpy arrays, computed on first use. They agree
        with an independent evaluation to 1e-8; their last bits are not the contract."""
        if self._analysis is None:
            self._analysis = self._run.analysis()
        return self._analysis

    def qcschema(self):
        """The QCSchema AtomicResult that zephor-export --json writes, as a dict."""
        return _json.loads(self._run.qcschema_text(__version__))

    def qcschema_text(self):
        return self._run.qcschema_text(__version__)

    def cube(self, orbital="homo", spacing=0.25, margin=6.0):
        """One orbital on a grid (a Cube), as zephor-export --cube writes it: `orbital` is "homo",
        "lumo" or a number from 1; spacing and margin in bohr."""
        if orbital == "homo":
            if self.homo is None:
                raise ValueError("the molecule has no occupied orbital")
            number = self.homo + 1
        elif orbital == "lumo":
            if self.lumo is None:
                raise ValueError("the molecule has no unoccupied orbital")
            number = self.lumo + 1
        else:
            number = int(orbital)
        spacing, margin = float(spacing), float(margin)
        origin, _, step, values = self._run.grid_values(number, spacing, margin)
        return Cube(origin, step, values, lambda: self._run.cube_text(number, spacing, margin))

    def orbital_value(self, orbital, point_bohr):
        """Orbital `orbital` (from 1, normalised against the overlap) at one point (bohr)."""
        return self._run.orbital_value(int(orbital), [float(x) for x in point_bohr])

    def __repr__(self):
        return "<zephor.Result %s: %d atoms, %d orbitals, total energy %.4f eV>" % (
            self.title or "untitled", len(self.symbols), len(self.orbital_energies), self.total_energy)


def solver_state():
    """The private copy of the linear-algebra library: its kernel (``corename``), its
    configuration, and how often it called zephor's own rotation and level-3 routines."""
    return _zephor.solver_state()
