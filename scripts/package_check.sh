#!/usr/bin/env bash
# The Debian package installed for real: builds it from build/, installs it with apt-get, runs the
# water example with the installed commands, shows that the manual pages are there, and removes
# the package again. Run after scripts/build.sh, as root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d /tmp/zephor-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
(cd build && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/zephor_*_amd64.deb)
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "$deb" >/dev/null
cleanup() { apt-get remove -y -q zephor >/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
mkdir "$work/water" && cd "$work/water"
zephor-import "$root/tests/data/import/water.xyz" >/dev/null
zephor
cmp FOR006 "$root/tests/data/golden/water/FOR006"
zephor-export --json water.json --html water.html >/dev/null
# The installed Python package, where the build has one: water as the installed zephor ran it.
if [ -d "$root/build/python/zephor" ]; then
  env -u PYTHONPATH /usr/bin/python3 -c "
import zephor
assert zephor.__file__.startswith('/usr/lib/python3/dist-packages/'), zephor.__file__
res = zephor.run(zephor.Molecule.from_file('$root/tests/data/import/water.xyz'))
assert res.report_text() == open('FOR006').read()
"
fi
MANWIDTH=200 man -P cat zephor-export 2>/dev/null | grep -q "results page from a zephor checkpoint"
echo "package: $(basename "$deb") installed, water run, man zephor-export shown, removed"
