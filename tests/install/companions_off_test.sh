#!/usr/bin/env bash
# zephor alone: a fresh configure with -DZEPHOR_COMPANIONS=OFF (and no tests, no benchmark) looks up
# none of the companions' libraries and builds zephor, which then runs water to the same bytes.
#   companions_off_test.sh SOURCE_DIR
set -euo pipefail
source=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/zephor-alone.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$source" -B "$work/build" -DZEPHOR_COMPANIONS=OFF -DZEPHOR_TESTS=OFF -DZEPHOR_BENCH=OFF \
  "${launcher[@]}" >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configure"; }
# A look-up leaves its trace: pkg-config's "Checking for module" lines, and the packages' entries
# (OPENBABEL_*, CAIRO_*, CLI11_DIR, nlohmann_json_DIR, GTest_DIR, pybind11_DIR) in the cache.
pattern='openbabel|cairo|pybind11|Checking for module|^(CLI11|nlohmann_json|GTest)_DIR'
if grep -qiE "$pattern" "$work/configure.log" || grep -qiE "^(OPENBABEL|CAIRO|CLI11|nlohmann|GTest|pybind11)" "$work/build/CMakeCache.txt"; then
  grep -iE "$pattern" "$work/configure.log" | head
  grep -iE "^(OPENBABEL|CAIRO|CLI11|nlohmann|GTest|pybind11)" "$work/build/CMakeCache.txt" | head
  fail "the companions' libraries were looked up"
fi
cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; fail "build"; }
[ ! -e "$work/build/export" ] && [ ! -e "$work/build/zephor-batch" ] || fail "companions were built"
mkdir "$work/water" && cp "$source/tests/data/golden/water/FOR005" "$work/water/"
(cd "$work/water" && "$work/build/zephor")
cmp "$work/water/FOR006" "$source/tests/data/golden/water/FOR006" || fail "zephor alone: report"
cmp "$work/water/FOR007" "$source/tests/data/golden/water/FOR007" || fail "zephor alone: checkpoint"
echo "zephor built alone, same bytes"
