"""The table of a batch: one row per molecule folder, read from the folder's record and the files
it vouches for, as CSV (results.csv) and as JSON Lines (results.jsonl: the QCSchema result of
every molecule that is ok, a QCSchema FailedOperation with the status for every other one)."""
import csv
import dataclasses
import io
import json
import os
import signal

from . import folder_files as ff

# The first nine columns are those of earlier tables, in their places; the rest follow.
COLUMNS = ["folder", "title", "atoms", "basis_functions", "total_energy_ev", "homo_ev", "lumo_ev", "gap_ev",
           "status", "index", "name", "formula", "charge", "mulliken_min", "mulliken_max"]
VALUE_COLUMNS = ["title", "atoms", "basis_functions", "total_energy_ev", "homo_ev", "lumo_ev", "gap_ev",
                 "formula", "charge", "mulliken_min", "mulliken_max"]


@dataclasses.dataclass
class Row:
    folder: str              # relative to the batch's directory
    status: str
    kind: str = ""           # the FailedOperation's error_type when not ok
    values: dict = dataclasses.field(default_factory=dict)
    result: dict = None      # the QCSchema result, where a caller has it parsed
    molecule: dict = None    # molecule.json's contents, for a folder made from a molecule file
    data: bytes = None       # results.json's bytes when ok, until the row's line is made from them
    line: str = None         # the JSON Lines line, where the worker that read the folder made it


class TableError(Exception):
    """A table that cannot be written: its final name and the system's reason."""

    def __init__(self, path, reason):
        super().__init__("%s: %s" % (path, reason))
        self.path, self.reason = path, reason


def _fmt(v):
    return "" if v is None else "%.4f" % v


def hill_formula(symbols):
    """Carbon first, then hydrogen, then the rest alphabetically; without carbon, all
    alphabetically. A count of one is not written."""
    counts = {}
    for s in symbols:
        counts[s] = counts.get(s, 0) + 1
    if "C" in counts:
        order = [s for s in ("C", "H") if s in counts] + sorted(s for s in counts if s not in ("C", "H"))
    else:
        order = sorted(counts)
    return "".join(s + (str(counts[s]) if counts[s] > 1 else "") for s in order)


def values_of(result):
    """The table's values from a QCSchema result; raises KeyError/TypeError/ValueError on a result
    without them."""
    x = result["extras"]
    symbols = result["molecule"]["symbols"]
    charges = x.get("analysis", {}).get("mulliken_charges") or []
    return {"title": str(x.get("title", "")), "atoms": str(len(symbols)),
            "basis_functions": str(result["properties"]["calcinfo_nbasis"]),
            "total_energy_ev": _fmt(x.get("total_energy_ev")), "homo_ev": _fmt(x.get("homo_ev")),
            "lumo_ev": _fmt(x.get("lumo_ev")), "gap_ev": _fmt(x.get("gap_ev")),
            "formula": hill_formula(symbols), "charge": str(int(result["molecule"]["molecular_charge"])),
            "mulliken_min": _fmt(min(charges)) if charges else "", "mulliken_max": _fmt(max(charges)) if charges else ""}


_decoder = json.JSONDecoder()


def _members(text, indent, start, end):
    """{key: (start, end) of its value} of the object whose members are written at 'indent'
    spaces between start and end. In zephor-export's layout every line break is one of the
    layout's own (a string holds none raw), so each line of exactly 'indent' spaces and a quote
    starts one member of that object; one pass over the object finds them all."""
    tag = "\n" + " " * indent + '"'
    found = []
    at = text.find(tag, start, end)
    while at >= 0:
        key, after = _decoder.raw_decode(text, at + len(tag) - 1)
        if text[after:after + 2] != ": ":
            raise LookupError(key)
        found.append((key, after + 2))
        at = text.find(tag, after, end)
    return {key: (at, found[i + 1][1] if i + 1 < len(found) else end) for i, (key, at) in enumerate(found)}


def _value(text, span):
    return _decoder.raw_decode(text, span[0])[0]


def result_outline(data):
    """What values_of reads of results.json's bytes, without the rest (the orbital composition is
    most of a result): read member by member where the text is in zephor-export's layout (two
    spaces a level, one member a line), else the whole document parsed. Raises ValueError (also
    for bytes that are not UTF-8) where json.loads would."""
    text = data.decode("utf-8")
    if not text.startswith('{\n  "'):
        return json.loads(text)
    try:
        top = _members(text, 2, 0, len(text))
        extras = _members(text, 4, *top["extras"])
        molecule = _members(text, 4, *top["molecule"])
        properties = _members(text, 4, *top["properties"])
        x = {k: _value(text, extras[k]) for k in ("title", "total_energy_ev", "homo_ev", "lumo_ev", "gap_ev")
             if k in extras}
        if "analysis" in extras:
            analysis = _members(text, 6, *extras["analysis"])
            x["analysis"] = {k: _value(text, analysis[k]) for k in ("mulliken_charges",) if k in analysis}
        return {"extras": x,
                "molecule": {k: _value(text, molecule[k]) for k in ("symbols", "molecular_charge") if k in molecule},
                "properties": {k: _value(text, properties[k]) for k in ("calcinfo_nbasis",) if k in properties}}
    except (LookupError, ValueError):
        return json.loads(text)


def _record(folder, facts):
    """The batch's record of the folder's last run, or None when there is none for the folder's
    present FOR005 (or, before an import, its molecule.json)."""
    text = ff.read_text(os.path.join(folder, ff.RECORD))
    if text is None:
        return None
    rec = ff.parse_record(text)
    if "import" in rec and "zephor" not in rec:
        ok = rec.get("molecule") == facts.digest(folder, ff.MOLECULE)
        return rec if ok and (rec["import"] == "bad" or rec["import"].isdigit()) else None
    if not {"zephor", "export", "FOR005"} <= rec.keys() or not rec["zephor"].isdigit():
        return None
    if rec["FOR005"] != facts.digest(folder, ff.INPUT):
        return None
    return rec


def _failure(status, err, what=""):
    z = int(status)
    tail = ": " + err if err else ""
    if z > 128:
        try:
            name = signal.Signals(z - 128).name
        except ValueError:
            name = "signal %d" % (z - 128)
        return "%skilled by %s%s" % (what, name, tail)
    if z == 0:
        return "stopped without output (exit 0)" + tail
    return "%sfailed (exit %d)%s" % (what, z, tail)


def _messages(folder):
    text = ff.read_text(os.path.join(folder, ff.MESSAGES)) or ""
    return " ".join(" ".join(line.split()) for line in text.splitlines()).strip()


def _status(folder, facts):
    """(status, error_type, the table's values, results.json's bytes) of one folder; the last two
    None unless it is ok. facts: a RunFacts, empty unless the folder has just been run here."""
    p = lambda name: os.path.join(folder, name)
    from_file = ff.is_regular(p(ff.MOLECULE))
    if not from_file and not ff.is_regular(p(ff.INPUT)):
        return "FOR005 is not a regular file", "input_error", None, None
    if ff.busy(folder):
        return "running", "not_run", None, None
    rec = _record(folder, facts)
    err = _messages(folder) if rec else ""
    if from_file and not os.path.lexists(p(ff.INPUT)):
        if rec is None or "zephor" in rec:
            return "not run", "not_run", None, None
        if rec["import"] == "bad":
            return "bad record: " + err, "input_error", None, None
        return _failure(rec["import"], err, "import "), "input_error", None, None
    if not ff.is_regular(p(ff.INPUT)):
        return "FOR005 is not a regular file", "input_error", None, None
    has6, has7 = os.path.lexists(p(ff.REPORT)), os.path.lexists(p(ff.CHECKPOINT))
    if has6 != has7:
        status = "incomplete: %s without %s (remove it to rerun)" % (
            (ff.REPORT, ff.CHECKPOINT) if has6 else (ff.CHECKPOINT, ff.REPORT))
        if rec and rec.get("zephor", "0") != "0":
            status += "; last run " + _failure(rec["zephor"], err)
        return status, "output_error", None, None
    if not has6:
        # An export was tried only with both outputs there: they have been removed since.
        if rec is None or "zephor" not in rec or rec["export"] != "-":
            return "not run", "not_run", None, None
        return _failure(rec["zephor"], err), "compute_error", None, None
    if rec is None or "zephor" not in rec or rec.get("FOR006") != facts.digest(folder, ff.REPORT):
        return ("unrecorded: FOR006 and FOR007 are not from a run of zephor-batch (remove them to rerun)",
                "output_error", None, None)
    if rec["zephor"] != "0":
        return _failure(rec["zephor"], err), "compute_error", None, None
    if rec["export"] != "0":
        return ("export failed (exit %s)%s" % (rec["export"], ": " + err if err else ""), "output_error", None,
                None)
    try:
        data = facts.results
        if data is None:
            with open(p(ff.RESULTS), "rb") as f:
                data = f.read()
        digest = facts.digests.get(ff.RESULTS) if facts.results is not None else ff.sha256_of_bytes(data)
        values = values_of(result_outline(data))
    except (OSError, ValueError, KeyError, TypeError, AttributeError):
        return "results.json unreadable", "output_error", None, None
    if digest != rec.get("results.json"):
        return ("stale: results.json is not the one this run wrote (remove FOR006 and FOR007 to rerun)",
                "output_error", None, None)
    return "ok", "", values, data


def read_molecule(folder):
    """molecule.json's contents, or None (a folder of a directory batch, or an unreadable file)."""
    path = os.path.join(folder, ff.MOLECULE)
    if not ff.is_regular(path):
        return None
    try:
        with open(path, encoding="utf-8") as f:
            m = json.load(f)
        return m if isinstance(m, dict) else None
    except (OSError, ValueError):
        return None


def folder_row(root, folder, facts=None, one_line=None):
    """The folder's row, its JSON Lines line made (results.json's bytes not kept); facts: what the
    run that has just ended there knew of its files (a RunFacts), or None to read them all;
    one_line: the package's equal of one_line_text (below), where it is loaded."""
    facts = ff.RunFacts() if facts is None else facts
    status, kind, values, data = _status(folder, facts)
    molecule = facts.molecule if facts.molecule is not None else read_molecule(folder)
    row = Row(os.path.relpath(folder, root), status, kind, values=values or {}, molecule=molecule, data=data)
    row.line, row.data = json_line(row, one_line), None
    return row


def _csv_cells(r):
    m = r.molecule or {}
    cells = dict(r.values, folder=r.folder, status=r.status, index=str(m.get("index", "")),
                 name=str(m.get("name", "")))
    return [cells.get(c, "") for c in COLUMNS]


def csv_text(rows):
    out = io.StringIO()
    w = csv.writer(out, lineterminator="\n")
    w.writerow(COLUMNS)
    for r in rows:
        w.writerow(_csv_cells(r))
    return out.getvalue()


def _batch_extras(r):
    m = r.molecule or {}
    x = {"folder": r.folder, "status": r.status}
    for key in ("index", "name", "input", "line"):
        if key in m:
            x[key] = m[key]
    return x


_EXTRAS = b'\n  "extras": {\n'


def one_line_text(data):
    """The text's line breaks dropped with the blanks that begin each line."""
    return b"".join(map(bytes.lstrip, data.split(b"\n")))


def _spliced(r, one_line=one_line_text):
    """The line made from results.json's own text, as zephor-export writes it (two spaces a level,
    one key a line, no raw newline inside a string): "id" put first, extras.batch first in extras,
    the newlines and indentation dropped. None for a text of another layout."""
    data = r.data
    if not data.startswith(b'{\n  "') or b'\n  "id":' in data or data.count(_EXTRAS) != 1:
        return None
    at = data.index(_EXTRAS) + len(_EXTRAS) - 1
    batch = json.dumps(_batch_extras(r), separators=(",", ":"), ensure_ascii=False).encode("utf-8")
    line = (b'{"id":' + json.dumps(r.folder, ensure_ascii=False).encode("utf-8") + b"," + data[1:at] +
            b'"batch":' + batch + b"," + data[at:])
    # Each line's indentation dropped with its line break (no line starts inside a string).
    line = one_line(line)
    try:
        return line.decode("utf-8")
    except UnicodeDecodeError:
        return None


def json_line(r, one_line=None):
    """One QCSchema record: the result with the batch's facts under extras.batch ("id" the
    folder), or a FailedOperation whose error message is the row's status."""
    if r.line is not None:
        return r.line
    line = _spliced(r, one_line or one_line_text) if r.data is not None else None
    if line is not None:
        return line
    if r.result is not None or r.data is not None:
        result = dict(r.result if r.result is not None else json.loads(r.data), id=r.folder)
        result["extras"] = dict(result.get("extras", {}), batch=_batch_extras(r))
        return json.dumps(result, separators=(",", ":"), ensure_ascii=False)
    failed = {"id": r.folder, "success": False,
              "error": {"error_type": r.kind or "unknown_error", "error_message": r.status},
              "extras": {"batch": _batch_extras(r)}}
    if r.molecule and "record" in r.molecule:
        failed["input_data"] = {"format": r.molecule.get("format"), "record": r.molecule["record"]}
    return json.dumps(failed, separators=(",", ":"), ensure_ascii=False)


def jsonl_text(rows):
    return "".join(json_line(r) + "\n" for r in rows)


def write_tables(csv_path, jsonl_path, rows):
    """Both tables from an iterable of rows, a row at a time (a library of millions of molecules
    is never held whole), each written under a temporary name and renamed once complete.
    Returns the rows' statuses."""
    statuses = []
    temps = [ff.temporary_name(csv_path), ff.temporary_name(jsonl_path)]
    failing = csv_path  # the table an OSError is about
    try:
        with open(temps[0], "x", encoding="utf-8", newline="") as c:
            failing = jsonl_path
            with open(temps[1], "x", encoding="utf-8") as j:
                w = csv.writer(c, lineterminator="\n")
                w.writerow(COLUMNS)
                for r in rows:
                    failing = csv_path
                    w.writerow(_csv_cells(r))
                    failing = jsonl_path
                    j.write(json_line(r))  # a line of some 100 kB: not copied to add its end
                    j.write("\n")
                    statuses.append(r.status)
                for failing, f in ((csv_path, c), (jsonl_path, j)):
                    f.flush()
                    os.fsync(f.fileno())
        failing = csv_path
        os.replace(temps[0], csv_path)
        failing = jsonl_path
        os.replace(temps[1], jsonl_path)
    except OSError as e:
        raise TableError(failing, e.strerror or str(e)) from e
    finally:
        for t in temps:
            try:
                os.unlink(t)
            except OSError:  # renamed, or never made
                pass
    return statuses


def jsonl_path(table):
    """results.csv's companion: the same name with .jsonl in place of .csv (or added)."""
    stem, ext = os.path.splitext(table)
    return (stem if ext.lower() == ".csv" else table) + ".jsonl"
