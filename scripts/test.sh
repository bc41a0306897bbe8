#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite; then the same suite again in a
# build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
(cd build && ctest --output-on-failure -j "$(nproc)")
# The Debian package installed for real with apt-get, the example run from it, then removed.
bash scripts/package_check.sh
# One representative run under valgrind memcheck, then a minute of fuzzing split between the
# input and whole-run targets.
bash scripts/memcheck.sh
bash scripts/fuzz.sh 60
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DZEPHOR_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j "$(nproc)"
(cd build-sanitize && ctest --output-on-failure -j "$(nproc)")
