#!/usr/bin/env bash
# The Debian package: built with cpack from BUILD_DIR, its contents and Depends checked, then
# unpacked with dpkg-deb -x into a temporary root and the programs run from there on water.
#   deb_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null || { echo "SKIP: no dpkg-deb"; exit 77; }
work=$(mktemp -d /tmp/zephor-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null) || fail "cpack -G DEB"
deb=$(ls "$work"/out/zephor_*_amd64.deb)
[ "$(basename "$deb")" = "zephor_$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")_amd64.deb" ] ||
  fail "package name $(basename "$deb")"
contents=$(dpkg-deb -c "$deb")
for f in usr/bin/zephor usr/bin/zephor-import usr/bin/zephor-export usr/bin/zephor-batch \
         usr/share/zephor/zephor-array.sbatch usr/share/zephor/python/zephor_batch/main.py usr/share/man/man1/zephor.1.gz usr/share/man/man1/zephor-import.1.gz \
         usr/share/man/man1/zephor-export.1.gz usr/share/man/man1/zephor-batch.1.gz \
         usr/share/doc/zephor/README.md usr/share/doc/zephor/LICENSE usr/share/doc/zephor/LICENSE.3Dmol.js; do
  grep -q " \./$f\$" <<<"$contents" || fail "the package lacks /$f"
done
grep -q "build/\|/work/\|node_modules" <<<"$contents" && fail "the package holds build paths"
depends=$(dpkg-deb -f "$deb" Depends)
# OpenBLAS (loaded at run time), the batch script's tools, and what dpkg-shlibdeps finds.
names=" $(sed -E 's/ \([^)]*\)//g; s/,//g' <<<"$depends") "
for d in libopenblas0-pthread parallel python3 libopenbabel7 libcairo2 libc6 libstdc++6 libgomp1; do
  [[ $names == *" $d "* ]] || fail "Depends lacks $d: $depends"
done

dpkg-deb -x "$deb" "$work/root"
r=$work/root/usr/bin
mkdir "$work/water" && cd "$work/water"
"$r/zephor-import" "$source/tests/data/import/water.xyz" >/dev/null
"$r/zephor"
cmp FOR006 "$source/tests/data/golden/water/FOR006" || fail "the unpacked zephor's report"
"$r/zephor-export" --json water.json --html water.html >/dev/null || fail "the unpacked zephor-export"
"$r/zephor-export" --version | grep -q "^OpenBLAS " || fail "zephor-export --version names no library"
# The Python package, where the build has it: its files, numpy among the dependencies, and the
# unpacked package's module running water as the unpacked zephor did.
if [ -d "$build/python/zephor" ]; then
  for f in __init__.py ase.py rdkit.py _programs.py libzephor_solve.so libzephor_environment.so; do
    grep -q "/dist-packages/zephor/$f\$" <<<"$contents" || fail "the package lacks the Python package's $f"
  done
  [[ $names == *" python3-numpy "* ]] || fail "Depends lacks python3-numpy: $depends"
  PYTHONPATH=$(echo "$work"/root/usr/lib/python3*/dist-packages) /usr/bin/python3 -c "
import zephor
res = zephor.run(zephor.Molecule.from_file('$source/tests/data/import/water.xyz'))
assert res.report_text() == open('FOR006').read()
" || fail "the unpacked Python package"
fi
cp "$source/tests/data/molecules/five.xyz" "$work/"
"$r/zephor-batch" --quiet "$work/five.xyz" >/dev/null && [ "$(grep -c ',ok,' "$work/five/results.csv")" = 5 ] ||
  fail "the unpacked zephor-batch on five.xyz"
# The unpacked batch finds its own package and runs zephor inside its workers: no zephor process.
if [ -d "$build/python/zephor" ] && command -v strace >/dev/null; then
  strace -f -qq -e trace=execve -o "$work/trace" "$r/zephor-batch" --quiet "$work/five.xyz" -o "$work/five2" >/dev/null ||
    fail "the unpacked zephor-batch under strace"
  ! grep -q 'execve("[^"]*/zephor",' "$work/trace" || fail "the unpacked zephor-batch started zephor: no in-process runs"
fi
echo "package $(basename "$deb"): contents, Depends ($depends) and the unpacked programs"
