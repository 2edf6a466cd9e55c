#!/usr/bin/env bash
# Builds the library in build/ and shows what it exports.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build
cmake --build build -j"$(nproc)"
echo "Built build/src/libvokDSPsr.so, exporting:"
nm -D --defined-only build/src/libvokDSPsr.so | awk '{print "  " $3}'
