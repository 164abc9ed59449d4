#!/usr/bin/env bash
# Builds Quillfen and runs the whole test suite. Run from anywhere; builds
# under build/ in the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

echo "== Release build and test suite"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_BUILD_TESTS=ON
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure
