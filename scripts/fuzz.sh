#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ (clang, ASan + UBSan) and runs
# them one after the other, each from a scratch copy of its seed corpus.
#   scripts/fuzz.sh                    each target for 60 s (the CI smoke run)
#   scripts/fuzz.sh --runs N [TARGET]  N executions each (a long local run); the
#                                      grown corpus is kept in build-fuzz/long/
# Installs clang and its libFuzzer runtime first if missing. In CI (CI set and
# not "false") a compiler that still cannot link libFuzzer fails the run;
# elsewhere the run is skipped with a note. A crash, leak, timeout or
# sanitizer report fails the run and prints the reproducer in hex.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
limit=(-max_total_time=60)
max_len=8192
targets=(fuzz_linedata fuzz_sf fuzz_modca)
keep=""
if [ "${1:-}" = --runs ]; then
  limit=(-runs="$2")
  max_len=4608
  keep=$root/build-fuzz/long
  [ -n "${3:-}" ] && targets=("$3")
fi

in_ci=false
[ -n "${CI:-}" ] && [ "${CI}" != false ] && in_ci=true
unavailable() {  # WHY: fail in CI, skip elsewhere
  if $in_ci; then
    echo "error: $1; the fuzz run cannot go ahead" >&2
    exit 1
  fi
  echo "note: $1; fuzz run skipped"
  exit 0
}
if $in_ci; then
  bash scripts/deps.sh --fuzz
else
  bash scripts/deps.sh --fuzz || true
fi
command -v clang++ >/dev/null 2>&1 || unavailable "clang++ not found"
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' \
  >"$probe/probe.cpp"
clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1 ||
  unavailable "clang++ cannot link libFuzzer"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVOKDSP_FUZZ=ON -DVOKDSP_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"

failed=0
passed=0
for target in "${targets[@]}"; do
  work=$(mktemp -d)
  corpus=$work/corpus
  if [ -n "$keep" ]; then
    corpus=$keep/$target
    mkdir -p "$corpus"
  fi
  cp -r "build-fuzz/fuzz/corpus/$target/." "$corpus/"
  echo "== $target: ${limit[*]} -max_len=$max_len =="
  if (cd "$work" && "$root/build-fuzz/fuzz/$target" "${limit[@]}" -max_len="$max_len" \
        -timeout=10 -dict="$root/fuzz/$target.dict" -artifact_prefix="$work/" \
        -print_final_stats=1 "$corpus" >"$work/log" 2>&1); then
    grep -E '^#[0-9]+.*DONE|^stat::number_of_executed_units|^stat::peak_rss' "$work/log" || true
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "$target FAILED; the end of its log:"
    tail -n 80 "$work/log"
    for f in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -e "$f" ] || continue
      echo "reproducer $(basename "$f"), $(wc -c <"$f") bytes:"
      if command -v xxd >/dev/null 2>&1; then xxd "$f"; else od -A x -t x1z -v "$f"; fi | head -n 512
    done
  fi
  rm -rf "$work"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
