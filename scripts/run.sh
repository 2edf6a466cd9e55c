#!/usr/bin/env bash
# Builds the library and dspdump in build/, then dumps the bundled
# structured-field sample (or the file and options given).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build --target dspdump -j"$(nproc)" >/dev/null
# Without arguments, the bundled sample even when standard input is not a
# terminal (dspdump alone would read standard input then).
[ $# -gt 0 ] || set -- --sample
exec build/tools/dspdump/dspdump "$@"
