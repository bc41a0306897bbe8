#!/usr/bin/env bash
# Builds zephor and its benchmark, runs the scaling benchmark (about 100 to 4000 basis functions,
# three molecule families; 15 to 25 minutes on 2 cores) and draws bench/scaling.png from it, then
# the screening benchmark (zephor-batch on 500 drug-like molecules against xtb; 10 to 20 minutes).
# `scripts/bench.sh --screening` runs the screening benchmark alone. Other arguments go to the
# scaling benchmark (e.g. --max-basis 1600 for a quick look, --threads 1).
# Results: bench/results.md (the tables) and bench/results.tsv (the plot's data).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
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
fi
/usr/bin/python3 bench/screening.py build bench/results.md
