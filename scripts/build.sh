#!/usr/bin/env bash
# Configures and builds ZEPHOR in build/ (Release, with the test programs).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"
