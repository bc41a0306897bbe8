#!/usr/bin/env bash
# Installs the Debian packages that building and testing ZEPHOR need.
# Quick when everything is present already: apt is consulted only for missing packages.
set -euo pipefail
packages=(build-essential cmake pkg-config libopenblas-dev libgtest-dev python3 libcli11-dev openbabel libopenbabel-dev jmol)
# Fault injection in the tests: a delayed opening of FOR005, limits, another user.
packages+=(strace util-linux)
# The package check: manual pages shown with man.
packages+=(man-db)
# Results: cairo drawings, JSON, the batch script, and the readers the tests check them with.
packages+=(libcairo2-dev nlohmann-json3-dev parallel python3-qcelemental python3-ase python3-pytest python3-numpy libxml2-utils slurm-wlm munge)
# The Python package: pybind11 and Python's headers to build it, RDKit for its RDKit path.
packages+=(pybind11-dev python3-dev python3-rdkit)
# The results page: Chromium for its browser test (3Dmol.js and puppeteer-core come from npm below).
packages+=(chromium)
# The fuzzers (clang with libFuzzer and the OpenMP runtime) and the memcheck run.
packages+=(clang-14 libclang-rt-14-dev libomp-14-dev valgrind)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# 3Dmol.js, which zephor-export inlines into the results page, and puppeteer-core for the page's
# browser test, pinned in export/page/package-lock.json.
cd "$(dirname "$0")/../export/page"
if [ ! -f node_modules/3dmol/build/3Dmol-min.js ] || [ ! -d node_modules/puppeteer-core ] ||
   [ package-lock.json -nt node_modules/.package-lock.json ]; then
  npm ci --no-audit --no-fund --loglevel=error
fi
