#!/bin/sh
# dspdump --text over one page holding 64 MiB of text, in an address space
# far smaller: the text kept of a page is bounded, and none of it is lost.
# Usage: text-memory.sh DSPDUMP WORKDIR
set -eu
dspdump=$1
field=$2/ptx-field.bin
# One PTX field: the escape, then 128 chained runs of 253 x 0xC1 ('A').
{
  printf '\132\177\212\323\356\233\000\000\000\053\323'
  i=0
  while [ $i -lt 128 ]; do
    printf '\377\333'
    head -c 253 /dev/zero | tr '\000' '\301'
    i=$((i + 1))
  done
} > "$field"
begin_end() { printf '\132\000\020\323%b\000\000\000\327\301\307\305\360\360\360\361' "$1"; }
# A document of one page around what the command given writes.
one_page() {
  begin_end '\250\250'
  begin_end '\250\257'
  "$@"
  begin_end '\251\257'
  begin_end '\251\250'
}
fields() { i=0; while [ $i -lt 2000 ]; do cat "$field"; i=$((i + 1)); done; }
chars=$(
  one_page fields | (ulimit -v 65536 && "$dspdump" --text -) | tr -d '\n' | wc -c
)
[ "$chars" -eq $((2000 * 128 * 253)) ] || { echo "text-memory: $chars characters" >&2; exit 1; }

# A page whose Repeat String sequences ask for far more text than is kept:
# 6000 of them at 65535 bytes each, in one field of 30 KB. The repeats are
# cut at the bound, said once, and the run fails rather than grow.
repeats() {
  printf '\132\165\072\323\356\233\000\000\000\053\323'
  i=1
  while [ $i -lt 6000 ]; do printf '\005\357\377\377\301'; i=$((i + 1)); done
  printf '\005\356\377\377\301'
}
one_page repeats > "$2/repeats.afp"
rc=0
(ulimit -v 65536 && "$dspdump" --text "$2/repeats.afp") > /dev/null 2> "$2/repeats.err" || rc=$?
[ "$rc" -eq 1 ] && [ "$(grep -c 'repeated text cut' "$2/repeats.err")" -eq 1 ] ||
  { echo "text-memory: repeats: exit $rc, $(cat "$2/repeats.err")" >&2; exit 1; }
