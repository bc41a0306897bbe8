"""Running one molecule folder: the import (for a folder made from a molecule file), zephor, the
QCSchema export, and last the record of what ran. The folder is run only when it holds neither
FOR006 nor FOR007; nothing the batch did not write is ever removed."""
import json
import os
import subprocess

from . import folder_files as ff


def signal_status(returncode):
    """A shell's exit status: a process killed by signal N is 128 + N, as in earlier records."""
    return 128 - returncode if returncode < 0 else returncode


def needs_import(folder):
    return ff.is_regular(os.path.join(folder, ff.MOLECULE)) and not os.path.lexists(os.path.join(folder, ff.INPUT))


def runnable(folder):
    """A folder is run when it can get a FOR005 (import) or holds a regular one, and has neither
    output."""
    p = lambda name: os.path.join(folder, name)
    if os.path.lexists(p(ff.REPORT)) or os.path.lexists(p(ff.CHECKPOINT)):
        return False
    return needs_import(folder) or ff.is_regular(p(ff.INPUT))


def import_command(programs, molecule):
    """zephor-import's command line and standard input for a molecule.json's contents."""
    common = ["--title", molecule["title"], "-o", ff.INPUT]
    if molecule["format"] == "smi":
        return [programs.importer, "--smiles", molecule["record"]] + common, None
    return [programs.importer, "-", "--format", molecule["format"]] + common, molecule["record"]


def _call(command, folder, messages, env, stdin_text=None):
    try:
        done = subprocess.run(command, cwd=folder, env=env, input=stdin_text,
                              stdin=None if stdin_text is not None else subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=messages, text=True)
        return signal_status(done.returncode)
    except OSError as e:
        messages.write("zephor-batch: cannot run %s: %s\n" % (command[0], e.strerror or e))
        messages.flush()
        return 127


def _import_by_server(folder, command, stdin_text, messages, importers):
    """The import through the worker's server: its status, its messages written as the program
    writes them; None when no server answered (whatever the lost run wrote is removed)."""
    answer = importers.run(command[1:], stdin_text, folder)
    if answer is None:
        try:
            os.unlink(os.path.join(folder, ff.INPUT))  # absent before this import
        except FileNotFoundError:
            pass
        return None
    status, text = answer
    messages.flush()
    os.write(messages.fileno(), text)
    return status


def _import(folder, programs, messages, env, record, importers, facts):
    """Appends the import's lines to the record; True when FOR005 was written."""
    raw = None
    try:
        with open(os.path.join(folder, ff.MOLECULE), "rb") as f:
            raw = f.read()
        molecule = json.loads(raw.decode("utf-8"))
        problem = molecule.get("problem", "")
        command, stdin_text = import_command(programs, molecule)
        facts.molecule = molecule
    except (OSError, ValueError, KeyError, TypeError, AttributeError) as e:
        problem = "molecule.json unreadable: %s" % e
    if raw is not None:
        facts.digests[ff.MOLECULE] = ff.sha256_of_bytes(raw)
    record.append(("molecule", facts.digests.get(ff.MOLECULE)))
    if problem:
        messages.write(problem + "\n")
        record.append(("import", "bad"))
        return False
    status = None if importers is None else _import_by_server(folder, command, stdin_text, messages, importers)
    if status is None:
        status = _call(command, folder, messages, env, stdin_text)
    record.append(("import", str(status)))
    return status == 0 and ff.is_regular(os.path.join(folder, ff.INPUT))


def _run_in_process(folder, package, input_data, facts):
    """zephor and its QCSchema export inside this process: FOR006, FOR007 and results.json with
    the programs' bytes, each written whole and then renamed. False when the run was anything
    but clean (zephor's report, a refused allocation, a failed solve, a file not written): what
    it wrote is then removed again, and the programs run, leaving their own messages."""
    p = lambda name: os.path.join(folder, name)
    written = []
    try:
        result = package.run(input_data, keep_matrices=False)
        texts = ((ff.REPORT, result.report_text().encode("utf-8", "surrogateescape")),
                 (ff.CHECKPOINT, result.checkpoint_text().encode("utf-8", "surrogateescape")),
                 (ff.RESULTS, result.qcschema_text().encode("utf-8")))
        for name, data in texts:
            written.append(name)
            ff.write_whole_bytes(p(name), data)
    except Exception:
        for name in written:
            try:
                os.unlink(p(name))
            except FileNotFoundError:
                pass
        return False
    # The record vouches for FOR006 and results.json (FOR007 is FOR006's companion).
    facts.digests[ff.REPORT] = ff.sha256_of_bytes(texts[0][1])
    facts.digests[ff.RESULTS] = ff.sha256_of_bytes(texts[2][1])
    facts.results = texts[2][1]
    return True


def _run_programs(folder, programs, messages, env):
    """zephor, then zephor-export --json when zephor wrote both files: their exit statuses (the
    export's '-' when it did not run)."""
    p = lambda name: os.path.join(folder, name)
    zstatus = _call([programs.zephor], folder, messages, env)
    estatus = "-"
    if zstatus == 0 and os.path.isfile(p(ff.REPORT)) and os.path.isfile(p(ff.CHECKPOINT)):
        estatus = _call([programs.exporter, "--json", ff.TEMP_RESULTS, "--force", ff.CHECKPOINT],
                        folder, messages, env)
        if estatus == 0:
            try:
                os.replace(p(ff.TEMP_RESULTS), p(ff.RESULTS))
            except OSError:
                estatus = 1
        try:
            os.unlink(p(ff.TEMP_RESULTS))
        except FileNotFoundError:
            pass
        estatus = str(estatus)
    return zstatus, estatus


def run_folder(folder, programs, env, importers=None, facts=None):
    """Runs the folder when it is runnable and no other worker has it. Returns None when it was
    not run, else True when every step succeeded. importers: the workers' ImportServers, or None
    to start zephor-import for each import; facts: a RunFacts to fill with what the run knew of
    its files, for its row."""
    facts = ff.RunFacts() if facts is None else facts
    p = lambda name: os.path.join(folder, name)
    if not runnable(folder):
        return None
    with ff.FolderLock(folder) as lock:
        # Checked again under the lock: another worker may have finished it meanwhile.
        if not lock.taken or not runnable(folder):
            return None
        for name in ff.BATCH_FILES:
            try:
                os.unlink(p(name))
            except FileNotFoundError:
                pass
        record = []
        ok = False
        with open(p(ff.TEMP_MESSAGES), "w", encoding="utf-8") as messages:
            imported = not needs_import(folder) or _import(folder, programs, messages, env, record, importers, facts)
            if imported:
                # In-process, FOR005 is read once, to hash and to run; the programs read their own.
                input_data = ff.read_bytes(p(ff.INPUT)) if programs.package is not None else None
                input_hash = ff.sha256_of(p(ff.INPUT)) if input_data is None else ff.sha256_of_bytes(input_data)
                facts.digests[ff.INPUT] = input_hash
                if input_data is not None and _run_in_process(folder, programs.package, input_data, facts):
                    zstatus, estatus = 0, "0"
                else:
                    zstatus, estatus = _run_programs(folder, programs, messages, env)
                record += [("zephor", str(zstatus)), ("export", estatus), ("FOR005", input_hash)]
                if os.path.isfile(p(ff.REPORT)):
                    record.append(("FOR006", facts.digest(folder, ff.REPORT)))
                if estatus == "0":
                    record.append(("results.json", facts.digest(folder, ff.RESULTS)))
                ok = estatus == "0"
        with open(p(ff.TEMP_RECORD), "w", encoding="utf-8") as f:
            f.write(ff.format_record(record))
        os.replace(p(ff.TEMP_MESSAGES), p(ff.MESSAGES))
        os.replace(p(ff.TEMP_RECORD), p(ff.RECORD))
        return ok
