"""The folders of a molecule file's molecules, OUT/0001-name/molecule.json, created on the first
run and found again on a rerun. A folder that is there already is used only when its
molecule.json is the one this input would write; anything else there is left as it is and its
row says why."""
import json
import os

from . import folder_files as ff
from .folder_names import folder_name


def molecule_text(m):
    """molecule.json of one molecule: its place and name in the file, the title its FOR005 gets,
    and the record zephor-import is given (or the reason it cannot be imported)."""
    title = m.name or (m.text if m.format == "smi" else "molecule %d" % m.index)
    data = {"index": m.index, "name": m.name, "title": title, "format": m.format, "record": m.text}
    if m.problem:
        data["problem"] = m.problem
    return json.dumps(data, indent=1, sort_keys=True, ensure_ascii=False) + "\n"


def prepare(out_dir, molecules):
    """[(folder, None or the status of a folder that is not this molecule's)] in file order. The
    new molecule.json files are made durable together before any is named."""
    out = []
    with ff.DurableFiles(out_dir) as new:
        for m in molecules:
            folder = os.path.join(out_dir, folder_name(m.index, m.name, len(molecules)))
            path = os.path.join(folder, ff.MOLECULE)
            conflict = None
            if not os.path.lexists(folder):
                os.mkdir(folder)
                new.add(path, molecule_text(m))
            elif os.path.islink(folder) or not os.path.isdir(folder):
                conflict = "not a folder of this input: %s is not a directory (remove it to rerun)" % os.path.basename(folder)
            elif not os.path.lexists(path):
                # A preparation stopped before the names were given leaves only temporary files.
                present = os.listdir(folder)
                if not all(ff.is_temporary_name(name) for name in present):
                    conflict = "not a folder of this input: it holds no molecule.json (remove it to rerun)"
                else:
                    for name in present:
                        os.unlink(os.path.join(folder, name))
                    new.add(path, molecule_text(m))
            elif ff.read_text(path) != molecule_text(m) or not ff.is_regular(path):
                conflict = "another molecule: molecule.json is not molecule %d of this input (remove the folder to rerun)" % m.index
            out.append((folder, conflict))
        new.commit()
    return out
