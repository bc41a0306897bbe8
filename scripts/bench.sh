#!/usr/bin/env bash
# Builds zephor and its benchmark, runs the scaling benchmark (about 100 to 4000 basis functions,
# three molecule families; 15 to 25 minutes on 2 cores) and draws bench/scaling.png from it, then
# the Python package against the programs' road (about a minute) and the screening benchmark
# (zephor-batch on 500 drug-like molecules against xtb; 10 to 20 minutes).
# Other arguments go to the scaling benchmark (e.g. --max-basis 1600 for a quick look, --threads 1).
# Results: bench/results.md (the tables) and bench/results.tsv (the plot's data).
#
# bash scripts/bench.sh --screening: the screening benchmark alone.
# bash scripts/bench.sh --grids [--repeat R] [--threads T]: the orbital-grid benchmark alone
# (about a minute): Leu-enkephalin (77 atoms) imported from SMILES and run, then its HOMO cube at
# the default grid by the plain and the factorised evaluation; prints a table to paste into
# bench/results.md.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ "${1:-}" = "--grids" ]; then
  shift
  bash scripts/build.sh
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$work" &&
   "$OLDPWD/build/import/zephor-import" --title Leu-enkephalin \
     --smiles 'CC(C)CC(C(=O)O)NC(=O)C(CC1=CC=CC=C1)NC(=O)CNC(=O)CNC(=O)C(CC2=CC=C(C=C2)O)N' >/dev/null &&
   "$OLDPWD/build/zephor" >/dev/null)
  build/bench/zephor_grid_bench "$work/FOR007" "$@"
  exit 0
fi
screening_only=no
if [ "${1:-}" = --screening ]; then screening_only=yes; shift; fi
# matplotlib draws the plot and xtb is the screening's yardstick; neither the build nor the tests
# need them.
missing=()
for p in python3-matplotlib xtb; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
bash scripts/build.sh
if [ "$screening_only" = no ]; then
  build/bench/zephor_bench --tsv bench/results.tsv "$@" | tee bench/results.md
  /usr/bin/python3 bench/plot.py bench/results.tsv bench/scaling.png
  echo "Plot: bench/scaling.png"
  # The Python package against the programs' road on 100 small molecules (about a minute).
  if [ -d build/python/zephor ]; then
    echo | tee -a bench/results.md
    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py --build build | tee -a bench/results.md
  fi
fi
/usr/bin/python3 bench/screening.py build bench/results.md
