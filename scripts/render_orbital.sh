#!/usr/bin/env bash
# Draws the HOMO of water for the README (docs/water-homo.png, or the path given): runs zephor on
# examples/water in a scratch folder, turns FOR007 into a Molden file with zephor-export, and
# renders that with Jmol's headless JmolData (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$(realpath -m "${1:-docs/water-homo.png}")
bash scripts/setup.sh
bash scripts/build.sh
work=$(mktemp -d /tmp/zephor-render.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp examples/water/FOR005 "$work/"
cd "$work"
"$root/build/zephor"
"$root/build/export/zephor-export" --molden
cat > render.spt <<'JMOL'
load "FOR007.molden"
background white
set antialiasDisplay true
rotate y 50
rotate x 20
zoom 80
mo titleformat "water HOMO (orbital %I of %N)|E = %E hartree|occupation %O"
mo cutoff 0.05
mo 4
write image 640 480 PNG "homo.png"
JMOL
timeout 120 java -Xmx512m -jar /usr/share/java/JmolData.jar -n -o -x -s render.spt >render.log 2>&1 ||
  { cat render.log; exit 1; }
cp homo.png "$out"
echo "wrote $out"
