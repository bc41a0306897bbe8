#!/usr/bin/env bash
# The installed programs away from the tree they were built in: installs into a temporary prefix,
# moves the prefix, and there, with the source and build folders hidden (a private mount
# namespace lays empty folders over them), takes water the whole road: zephor-import from XYZ,
# zephor, every export including the results page, and zephor-batch on three folders and on a
# five-molecule XYZ file. The moved prefix stays in OUT for the browser test of its page.
#   install_test.sh BUILD_DIR SOURCE_DIR OUT [PYTHON_DIR]
# PYTHON_DIR (relative to the prefix) holds the Python package when it is built.
set -euo pipefail
python_dir=${4:-lib/python3/dist-packages}
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
out=$3
if [ "$(id -u)" != 0 ] || ! unshare --mount true 2>/dev/null; then
  echo "SKIP: hiding the source tree needs root and mount namespaces"
  exit 77
fi
rm -rf "$out" && mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d /tmp/zephor-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
prefix=$work/moved
for f in bin/zephor bin/zephor-import bin/zephor-export bin/zephor-batch share/zephor/zephor-array.sbatch \
         share/zephor/python/zephor_batch/main.py \
         share/man/man1/zephor.1.gz share/man/man1/zephor-import.1.gz share/man/man1/zephor-export.1.gz \
         share/man/man1/zephor-batch.1.gz share/doc/zephor/README.md share/doc/zephor/LICENSE; do
  [ -f "$prefix/$f" ] || fail "the installation lacks $f"
done
mkdir -p "$work/data"
cp "$source/tests/data/import/water.xyz" "$source/tests/data/golden/water/FOR006" \
   "$source/tests/data/molecules/five.xyz" "$work/data/"
for m in water methane_hfirst ammonia; do
  mkdir -p "$work/data/batch/$m" && cp "$source/tests/data/golden/$m/FOR005" "$work/data/batch/$m/"
done

# A sanitizer build's suppressions live in the source tree, which is about to be hidden.
if [ -n "${LSAN_OPTIONS:-}" ]; then
  cp "$source/tests/lsan.supp" "$work/lsan.supp"
  export LSAN_OPTIONS="suppressions=$work/lsan.supp:print_suppressions=0"
fi
# Everything below sees neither the sources nor the build folder, and no zephor on PATH.
unshare --mount bash -euo pipefail -c '
  mount -t tmpfs none "$2" && mount -t tmpfs none "$1"
  [ ! -e "$1/CMakeLists.txt" ] && [ ! -e "$2/CMakeCache.txt" ]
  p=$3 w=$4
  export PATH=/usr/bin:/bin
  cd "$w" && mkdir water && cd water
  "$p/bin/zephor-import" ../data/water.xyz
  "$p/bin/zephor"
  cmp FOR006 ../data/FOR006
  "$p/bin/zephor-export" --molden --fchk --cube homo --levels levels.svg --dos dos.png --json water.json \
      --html water.html >/dev/null
  "$p/bin/zephor-export" --list | grep -q HOMO
  for f in FOR007.molden FOR007.fchk FOR007.mo4.cube levels.svg dos.png water.json water.html; do
    [ -s "$f" ] || { echo "no $f" >&2; exit 1; }
  done
  grep -q "\$3Dmol" water.html
  grep -q "\"version\"" water.json
  "$p/bin/zephor-batch" ../data/batch >/dev/null
  [ "$(grep -c ",ok" ../data/batch/results.csv)" = 3 ]
  # A molecule file: its package and zephor-import found from the moved prefix as well.
  "$p/bin/zephor-batch" ../data/five.xyz >/dev/null
  [ "$(grep -c ",ok," ../data/five/results.csv)" = 5 ] && [ -s ../data/five/results.jsonl ]
  [ -z "$(find "$p" -name __pycache__)" ]
  "$p/bin/zephor-batch" --version | grep -q "^zephor-batch "
  # The Python package of the moved prefix: zephor-import found beside it, the same report.
  if [ -d "$p/'"$python_dir"'/zephor" ]; then
    PYTHONPATH="$p/'"$python_dir"'" /usr/bin/python3 -c "
import zephor
res = zephor.run(zephor.Molecule.from_file(\"../data/water.xyz\"))
assert res.report_text() == open(\"FOR006\").read()
assert res.qcschema()[\"success\"]
"
  fi
' hide "$source" "$build" "$prefix" "$work" || fail "the road on water from the moved prefix"
cp -a "$prefix" "$out/moved"
echo "installed, moved and run without the source tree"
