#!/usr/bin/env bash
# Mutation test of the library against the test suite (see scripts/mutate.py):
#   scripts/mutate.sh              plain build
#   scripts/mutate.sh --sanitize   AddressSanitizer + UBSan build
# Slow (a rebuild and a suite run per mutant); not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
exec python3 scripts/mutate.py "$@"
