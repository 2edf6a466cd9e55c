#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only those missing.
#   scripts/deps.sh          build, tests, valgrind
#   scripts/deps.sh --fuzz   clang and its libFuzzer runtime as well
set -euo pipefail
need=()
if [ "${1:-}" = --fuzz ]; then
  command -v clang++ >/dev/null 2>&1 || need+=(clang)
  dpkg-query -W -f='${Status}' libclang-rt-dev 2>/dev/null | grep -q 'ok installed' ||
    need+=(libclang-rt-dev)
fi
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
command -v python3 >/dev/null 2>&1 || need+=(python3)
command -v pkg-config >/dev/null 2>&1 || need+=(pkg-config)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
command -v valgrind >/dev/null 2>&1 || need+=(valgrind)
command -v xxd >/dev/null 2>&1 || need+=(xxd)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${need[@]}"
fi
