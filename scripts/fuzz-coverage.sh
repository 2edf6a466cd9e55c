#!/usr/bin/env bash
# Line and branch coverage of the library reached by the fuzz targets' corpora:
# builds the replay drivers with clang's source-based coverage in build-cov/,
# replays the seeds and, when a long run has kept one, its grown corpus
# (build-fuzz/long/), and reports on src/.
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-fprofile-instr-generate -fcoverage-mapping"
CC=clang CXX=clang++ cmake -S . -B build-cov -DVOKDSP_TESTS=ON \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build build-cov -j"$(nproc)" --target fuzz_linedata_replay fuzz_sf_replay fuzz_corpus \
  >/dev/null
rm -f build-cov/*.profraw
for target in fuzz_linedata fuzz_sf; do
  inputs=("build-cov/fuzz/corpus/$target")
  [ -d "build-fuzz/long/$target" ] && inputs+=("build-fuzz/long/$target")
  LLVM_PROFILE_FILE="build-cov/$target.profraw" "build-cov/fuzz/${target}_replay" "${inputs[@]}"
done
llvm-profdata merge -o build-cov/fuzz.profdata build-cov/*.profraw
llvm-cov report build-cov/fuzz/fuzz_linedata_replay -object build-cov/fuzz/fuzz_sf_replay \
  -instr-profile=build-cov/fuzz.profdata "$PWD/src"
