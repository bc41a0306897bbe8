#!/usr/bin/env bash
# Draws the orbital composition of benzene's HOMO for the README (docs/benzene-homo-composition.png,
# or the path given): runs zephor on the golden benzene in a scratch folder, writes the analyses
# with zephor-export --analysis-csv, and draws the HOMO's share on each atom (s and p) with
# matplotlib. Expects a build (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$(realpath -m "${1:-docs/benzene-homo-composition.png}")
work=$(mktemp -d /tmp/zephor-composition.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp tests/data/golden/benzene/FOR005 "$work/"
cd "$work"
"$root/build/zephor"
"$root/build/export/zephor-export" --analysis-csv benzene >/dev/null
/usr/bin/python3 - "$out" <<'PY'
import csv, sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
rows = list(csv.DictReader(open("benzene.composition.csv")))
homo = max(int(r["orbital"]) for r in rows if r["occupation"] == "2")
mine = [r for r in rows if int(r["orbital"]) == homo]
labels = [r["element"] + r["atom"] for r in mine]
s = [float(r["percent_s"]) for r in mine]
p = [float(r["percent_p"]) for r in mine]
fig, ax = plt.subplots(figsize=(8, 3.6), dpi=100)
ax.bar(labels, s, label="s", color="#7a9cd6")
ax.bar(labels, p, bottom=s, label="p", color="#1f3f8c")
ax.set_ylabel("share of the orbital (%)")
ax.set_title("benzene HOMO (orbital %d, %.4f eV): Mulliken partition over atoms" % (homo, float(mine[0]["energy_ev"])))
ax.legend()
ax.set_ylim(bottom=0)
fig.tight_layout()
fig.savefig(sys.argv[1])
PY
echo "wrote $out"
