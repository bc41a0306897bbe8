"""The screening benchmark: molecules per second through zephor-batch on every core, from SMILES
(3D built by zephor-import) and from the same molecules' 3D structures as one SDF and one XYZ
file, against xtb GFN2 single points on those structures (one process a core, one thread each).
Medians of several rounds, taken in one session and reported as ratios; the SMILES round once
(its cost is Open Babel's 3D building).
    screening.py BUILD_DIR RESULTS_MD [--count 500] [--rounds 3] [--jobs N] [--work DIR]"""
import argparse
import concurrent.futures
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

import drug_like


def timed(command, cwd, env=None):
    start = time.monotonic()
    done = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return time.monotonic() - start, done


def ok_rows(table):
    with open(table) as f:
        return sum(1 for line in f if ",ok," in line)


def structures(out_dir):
    """(name, xyz text) of every molecule the SMILES round computed, from its FOR005."""
    found = []
    for folder in sorted(os.listdir(out_dir)):
        path = os.path.join(out_dir, folder, "FOR005")
        if not os.path.exists(os.path.join(out_dir, folder, "results.json")):
            continue
        lines = open(path).read().splitlines()
        atoms = lines[2:]
        found.append((folder, "%d\n%s\n%s\n" % (len(atoms), folder, "\n".join(atoms))))
    return found


def unlimited_stack():
    resource.setrlimit(resource.RLIMIT_STACK, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))


def xtb_round(folders, jobs):
    """xtb --gfn 2 in each folder (m.xyz there); returns the seconds and how many succeeded."""
    env = dict(os.environ, OMP_NUM_THREADS="1", MKL_NUM_THREADS="1", OPENBLAS_NUM_THREADS="1")

    def one(folder):
        done = subprocess.run(["xtb", "m.xyz", "--gfn", "2"], cwd=folder, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, preexec_fn=unlimited_stack)
        return done.returncode == 0 and "TOTAL ENERGY" in done.stdout

    start = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        good = sum(pool.map(one, folders))
    return time.monotonic() - start, good


def main():
    a = argparse.ArgumentParser()
    a.add_argument("build")
    a.add_argument("results")
    a.add_argument("--count", type=int, default=500)
    a.add_argument("--rounds", type=int, default=3)
    a.add_argument("--jobs", type=int, default=len(os.sched_getaffinity(0)))
    a.add_argument("--work", default=None)
    o = a.parse_args()
    batch = os.path.join(os.path.abspath(o.build), "zephor-batch")
    work = os.path.abspath(o.work or os.path.join(o.build, "bench-screening"))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    drug_like.main(o.count, os.path.join(work, "drugs.smi"))
    env = {k: v for k, v in os.environ.items() if k != "OMP_NUM_THREADS"}
    jobs = ["-j", str(o.jobs), "--quiet"]

    t_smiles, done = timed([batch, *jobs, "drugs.smi", "-o", "smiles"], work, env)
    smiles_ok = ok_rows(os.path.join(work, "smiles", "results.csv"))
    print("SMILES: %d molecules (%d ok) in %.1f s" % (o.count, smiles_ok, t_smiles), file=sys.stderr)

    mols = structures(os.path.join(work, "smiles"))
    with open(os.path.join(work, "drugs3d.xyz"), "w") as f:
        f.write("".join(text for _, text in mols))
    subprocess.run(["obabel", "-ixyz", "drugs3d.xyz", "-osdf", "-O", "drugs3d.sdf"], cwd=work, check=True,
                   stderr=subprocess.DEVNULL)
    xtb_dirs = []
    for name, text in mols:
        d = os.path.join(work, "xtb", name)
        os.makedirs(d)
        with open(os.path.join(d, "m.xyz"), "w") as f:
            f.write(text)
        xtb_dirs.append(d)

    times = {"sdf": [], "xyz": [], "sdf-programs": [], "xtb": []}
    good = {}
    # The programs' road: zephor-import, zephor and zephor-export started for every molecule.
    programs_env = dict(env, ZEPHOR_BATCH_IN_PROCESS="0")
    for r in range(o.rounds):
        for kind, suffix, run_env in (("sdf", "sdf", env), ("xyz", "xyz", env), ("sdf-programs", "sdf", programs_env)):
            t, done = timed([batch, *jobs, "drugs3d." + suffix, "-o", "%s%d" % (kind, r)], work, run_env)
            times[kind].append(t)
            good[kind] = ok_rows(os.path.join(work, "%s%d" % (kind, r), "results.csv"))
        for d in xtb_dirs:
            for f in os.listdir(d):
                if f != "m.xyz":
                    os.unlink(os.path.join(d, f))
        t, good["xtb"] = xtb_round(xtb_dirs, o.jobs)
        times["xtb"].append(t)
        print("round %d: %s" % (r + 1, ", ".join("%s %.1f s" % (k, v[-1]) for k, v in times.items())), file=sys.stderr)

    steps = step_costs(os.path.abspath(o.build), work, mols[:20], env)
    n = len(mols)
    atoms = [int(text.split("\n", 1)[0]) for _, text in mols]
    rate = {k: n / statistics.median(v) for k, v in times.items()}
    lines = [
        "## Screening many molecules",
        "",
        "`scripts/bench.sh --screening`: %d drug-like molecules (H, C, N, O, F; %d to %d atoms, median %d) "
        "made from SMILES fragments by `bench/drug_like.py`, `zephor-batch -j %d` on %d cores; xtb %s GFN2 "
        "single points on the same 3D structures, %d processes of one thread (`ulimit -s unlimited`). "
        "Medians of %d rounds in one session; the SMILES round once." % (
            n, min(atoms), max(atoms), statistics.median(atoms), o.jobs, len(os.sched_getaffinity(0)),
            xtb_version(), o.jobs, o.rounds),
        "",
        "| input | molecules ok | seconds | molecules/s | against xtb |",
        "|---|---|---|---|---|",
        "| SMILES (3D built) | %d of %d | %.1f | %.2f | %.2f× |" % (smiles_ok, o.count, t_smiles, o.count / t_smiles,
                                                               (o.count / t_smiles) / rate["xtb"]),
    ]
    for kind, label in (("sdf", "3D SDF"), ("xyz", "3D XYZ"),
                        ("sdf-programs", "3D SDF, a process for each program and molecule")):
        lines.append("| %s | %d of %d | %.1f | %.2f | %.2f× |" % (label, good[kind], n, statistics.median(times[kind]),
                                                               rate[kind], rate[kind] / rate["xtb"]))
    lines.append("| xtb GFN2 (3D XYZ) | %d of %d | %.1f | %.2f | 1× |" % (good["xtb"], n,
                                                                      statistics.median(times["xtb"]), rate["xtb"]))
    lines += ["", "zephor-batch runs zephor and the export inside its workers (the Python package) and the "
              "imports through one `zephor-import --serve` a worker; the last 3D SDF row is the road without "
              "them (`ZEPHOR_BATCH_IN_PROCESS=0`). Each program started on its own costs, per molecule (medians "
              "over %d molecules run one after another, ms): %s, most of it starting the process and loading "
              "its libraries (Open Babel's plugins for SDF, OpenBLAS for zephor and the export)." % (
                  min(20, n), ", ".join("%s %.0f" % (k, v * 1000) for k, v in steps.items())), ""]
    write_section(o.results, "\n".join(lines) + "\n")
    print("\n".join(lines))


def step_costs(build, work, mols, env):
    """Median seconds of each program of the build directory on its own, per molecule, one at a
    time."""
    programs = {"zephor-import (SDF)": None, "zephor-import (XYZ)": None, "zephor": None, "zephor-export --json": None}
    times = {k: [] for k in programs}
    env = dict(env, OMP_NUM_THREADS="1")
    for name, text in mols:
        d = os.path.join(work, "steps", name)
        os.makedirs(d)
        with open(os.path.join(d, "m.xyz"), "w") as f:
            f.write(text)
        subprocess.run(["obabel", "m.xyz", "-O", "m.sdf"], cwd=d, stderr=subprocess.DEVNULL, check=True)
        for key, command in (("zephor-import (SDF)", [os.path.join(build, "import", "zephor-import"), "m.sdf", "-o", "F"]),
                             ("zephor-import (XYZ)", [os.path.join(build, "import", "zephor-import"), "m.xyz"]),
                             ("zephor", [os.path.join(build, "zephor")]),
                             ("zephor-export --json", [os.path.join(build, "export", "zephor-export"), "--json", "r.json",
                                                       "FOR007"])):
            t, done = timed(command, d, env)
            assert done.returncode == 0, done.stdout
            times[key].append(t)
    return {k: statistics.median(v) for k, v in times.items()}


def xtb_version():
    done = subprocess.run(["xtb", "--version"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    for line in done.stdout.splitlines():
        if "version" in line:
            return line.split("version", 1)[1].split()[0]
    return ""


def write_section(path, section):
    """Replaces the screening section of the results file (from its heading to the end), or adds it."""
    text = open(path).read() if os.path.exists(path) else ""
    head = text.split("## Screening many molecules")[0].rstrip("\n")
    with open(path + ".tmp", "w") as f:
        f.write((head + "\n\n" if head else "") + section)
    os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main()
