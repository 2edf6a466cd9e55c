#!/usr/bin/env bash
# Runs every test program of the plain build (build/, made by scripts/test.sh)
# under valgrind's memcheck: any invalid access, use of uninitialised memory
# or leak fails the run. The allocation suite replaces malloc and calloc
# itself, so valgrind is told to leave those two to it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
[ -x build/tests/linedata_tests ] || bash scripts/test.sh
memcheck=(valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect,possible
          --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=1)
for program in linedata_tests ibmsf_tests platform_tests modca/modca_tests header_c99; do
  echo "== valgrind $program =="
  "${memcheck[@]}" "build/tests/$program" --gtest_brief=1
done
echo "== valgrind allocation_tests =="
"${memcheck[@]}" --soname-synonyms=somalloc=nouserintercepts \
  build/tests/allocation_tests --gtest_brief=1
for target in fuzz_linedata fuzz_sf fuzz_modca; do
  echo "== valgrind ${target}_replay =="
  "${memcheck[@]}" "build/fuzz/${target}_replay" "build/fuzz/corpus/$target"
done
