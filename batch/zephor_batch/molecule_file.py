"""Splitting a molecule file into its molecules: SMILES lines, SDF records, XYZ blocks, in order.

Each molecule keeps the text it had in the file (one SMILES line, one SDF record up to its
terminator line, one XYZ block), which is what zephor-import is given. A record that cannot be
cut out of the file (an XYZ block whose atom count is not a number) carries its problem instead,
and splitting goes on at the next block that can be read.
"""
import dataclasses
import os

FORMATS = {".smi": "smi", ".smiles": "smi", ".sdf": "sdf", ".sd": "sdf", ".xyz": "xyz"}
SDF_END = "$$$$"


@dataclasses.dataclass
class Molecule:
    index: int    # from 1, in file order
    line: int     # the record's first line in the file, from 1
    name: str     # the name the file gives it ("" when none)
    format: str   # "smi", "sdf" or "xyz"
    text: str     # the record as in the file
    problem: str = ""  # why the record cannot be imported, when it cannot be cut out whole


def format_of(path):
    """The format a file name's extension names, or None."""
    return FORMATS.get(os.path.splitext(path)[1].lower())


def split_smiles(text):
    """One molecule a line: SMILES, then an optional name (the rest of the line). Blank lines and
    lines starting with # are no molecules."""
    out = []
    for number, line in enumerate(text.splitlines(), 1):
        stripped = line.strip()
        if not stripped or stripped.startswith("#"):
            continue
        fields = stripped.split(None, 1)
        name = fields[1].strip() if len(fields) > 1 else ""
        out.append(Molecule(len(out) + 1, number, name, "smi", fields[0]))
    return out


def split_sdf(text):
    """Records ended by a line holding only the terminator; a last record without it is kept when
    it holds anything, an empty one is skipped. The name is the record's first line."""
    out = []
    lines = text.splitlines()
    start = 0
    for number, line in enumerate(lines):
        if line.rstrip() == SDF_END:
            # Nothing but blank lines before a terminator is no molecule (a doubled terminator).
            if any(text.strip() for text in lines[start:number]):
                out.append(_sdf_record(lines[start:number + 1], start + 1, len(out) + 1))
            start = number + 1
    rest = lines[start:]
    if any(line.strip() for line in rest):
        out.append(_sdf_record(rest + [SDF_END], start + 1, len(out) + 1))
    return out


def _sdf_record(lines, first_line, index):
    return Molecule(index, first_line, lines[0].strip() if lines else "", "sdf", "\n".join(lines) + "\n")


def _atom_count(line):
    text = line.strip()
    return int(text) if text.isdigit() else None


def split_xyz(text):
    """XYZ blocks one after another: an atom count, a comment line (the name), that many atom
    lines. Blank lines between blocks are skipped. A line where a count should stand makes one
    bad record of everything up to the next line holding only a count."""
    out = []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        if not lines[i].strip():
            i += 1
            continue
        count = _atom_count(lines[i])
        if count is None:
            j = i + 1
            while j < len(lines) and _atom_count(lines[j]) is None:
                j += 1
            out.append(Molecule(len(out) + 1, i + 1, "", "xyz", "\n".join(lines[i:j]) + "\n",
                                "line %d: an atom count was expected, not '%s'" % (i + 1, lines[i].strip()[:40])))
            i = j
            continue
        block = lines[i:i + count + 2]
        name = block[1].strip() if len(block) > 1 else ""
        out.append(Molecule(len(out) + 1, i + 1, name, "xyz", "\n".join(block) + "\n"))
        i += count + 2
    return out


SPLITTERS = {"smi": split_smiles, "sdf": split_sdf, "xyz": split_xyz}


def read_molecules(path, fmt):
    """Every molecule of the file; undecodable bytes become replacement characters (a record
    holding them then fails its import alone)."""
    with open(path, encoding="utf-8", errors="replace") as f:
        return SPLITTERS[fmt](f.read())
