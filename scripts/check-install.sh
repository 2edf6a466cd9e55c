#!/usr/bin/env bash
# Installs the plain build (build/) into a scratch prefix and uses it the way
# another project would: the export lists of both libraries, the examples
# built through find_package and through pkg-config, run on the samples, and
# the installed dspdump.
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install build --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libvokDSPsr.so.1' | head -n 1)")

echo "-- export lists"
sh tests/exports/CheckExports.sh "$libdir/libvokDSPsr.so.1" "$libdir/libzel-mvx-osl.so.1"

# A blocked record of 32768 bytes, above the usual maximum of 32756: the C
# example must read it rather than die of the exception a refusal throws.
printf '\200\004\000\000\200\000\000\000' >"$scratch/long.vb"

run_examples() {  # DIR: where count_records and catch_mvxerror were built
  "$1/count_records" samples/document.afp samples/lines.vb >/dev/null
  "$1/count_records" samples/document.afp "$scratch/long.vb" 0x0006 >/dev/null
  "$1/count_records" samples/document-rdw.afp samples/print-cc.txt 0x0010 133 >/dev/null
  set +e
  "$1/catch_mvxerror" samples/lines.vb 0x1116 20 >/dev/null
  local rc=$?
  set -e
  [ "$rc" -eq 3 ] || { echo "catch_mvxerror did not catch MVXError (exit $rc)"; exit 1; }
}

echo "-- examples through find_package"
cmake -S examples -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
LD_LIBRARY_PATH=$libdir run_examples "$scratch/cmake"

echo "-- examples through pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
mkdir -p "$scratch/pc"
cc -std=c99 -Wall -Wextra -Werror -pedantic examples/count_records.c \
  $(pkg-config --cflags --libs vokDSPsr) -o "$scratch/pc/count_records"
c++ -std=c++17 -Wall -Wextra -Werror examples/catch_mvxerror.cpp \
  $(pkg-config --cflags --libs vokDSPsr) -o "$scratch/pc/catch_mvxerror"
LD_LIBRARY_PATH=$libdir run_examples "$scratch/pc"

echo "-- installed dspdump and dspsplit"
"$prefix/bin/dspdump" --stats samples/document.afp >/dev/null
"$prefix/bin/dspsplit" --pages=1 samples/document.afp -o "$scratch/page1.afp" >/dev/null
echo "install check passed"
