#!/usr/bin/env bash
# Builds the library and every test suite, then runs them all.
#   scripts/test.sh             plain build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
dir=build
flags=(-DVOKDSP_TESTS=ON)
if [ "${1:-}" = --sanitize ]; then
  dir=build-asan
  flags+=(-DVOKDSP_SANITIZE=ON)
fi
cmake -S . -B "$dir" "${flags[@]}"
cmake --build "$dir" -j"$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
