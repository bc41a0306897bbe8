#!/usr/bin/env bash
# Installs what is needed, builds zephor and runs it on the bundled water molecule in a scratch
# copy (the example folder stays clean); prints the report and where the checkpoint went.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
work=$(mktemp -d /tmp/zephor-water.XXXXXX)
cp examples/water/FOR005 "$work/"
(cd "$work" && "$OLDPWD/build/zephor")
cat "$work/FOR006"
echo
echo "Checkpoint (formatted, for molecular viewers): $work/FOR007"
