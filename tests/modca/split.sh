#!/usr/bin/env bash
# dspsplit on the FOP-made streams, checked with dspdump.
#   split.sh CASE DSPSPLIT DSPDUMP SOURCE_DIR WORK_DIR
set -euo pipefail
case_=$1 split=$2 dump=$3 src=$4 work=$5/split-$1
fop=$src/tests/modca/fop
rm -rf "$work" && mkdir -p "$work" && cd "$work"
fail() { echo "split.sh $case_: $*" >&2; exit 1; }
# page name, group and tags of each page, without offsets
pages() { for f; do "$dump" --pages "$f" | awk 'NR > 1 { $1 = $2 = $3 = ""; print }'; done; }

case $case_ in
groups)  # one well-formed file per group, holding that group's pages
  "$split" --groups "$fop/statements.afp" -o out > listing
  [ "$(ls out | wc -l)" = 3 ] || fail "expected 3 files: $(ls out)"
  for f in out/*.afp; do "$dump" --check "$f" > /dev/null || fail "$f not well-formed"; done
  pages out/PGP00001.afp out/PGP00002.afp out/PGP00003.afp > got
  pages "$fop/statements.afp" > want
  diff want got || fail "pages differ"
  for f in out/PGP00001.afp out/PGP00002.afp out/PGP00003.afp; do
    [ "$f" = out/PGP00001.afp ] || printf '\f'  # --text puts one between pages
    "$dump" --text "$f"
  done > got
  "$dump" --text "$fop/statements.afp" | cmp - got || fail "text differs"
  # selection by tag, naming by tag, collisions numbered
  "$split" --tag=ACCOUNT=1002 --name-by=CUSTOMER "$fop/statements.afp" -o sel > /dev/null
  [ "$(ls sel)" = Bob_Jones.afp ] || fail "--tag/--name-by gave $(ls sel)"
  "$split" --groups --name-by=NOSUCHTAG "$fop/statements.afp" -o out > /dev/null
  [ "$(ls out | wc -l)" = 3 ] || fail "a rerun must replace its files: $(ls out)"
  "$split" --group=PGP00001 --name-by=NOSUCHTAG --dry-run "$fop/statements.afp" \
    -o dry > listing
  grep -q "^dry/PGP00001.afp	pages 1-2	1219 bytes$" listing || fail "dry run: $(cat listing)"
  [ ! -e dry ] || fail "--dry-run wrote"
  ;;
resources)  # pages of a stream with an inline resource group keep it
  "$split" --pages=2 "$fop/resources.afp" -o p2.afp > /dev/null
  "$dump" --check p2.afp > /dev/null || fail "p2.afp not well-formed"
  "$dump" --resources p2.afp | grep -q "^object   RES00001 *yes" || fail "RES00001 not defined"
  pages p2.afp > got && pages "$fop/resources.afp" | sed -n 2p > want
  diff want got || fail "page 2 differs"
  "$dump" --text "$fop/resources.afp" | awk 'BEGIN { RS = "\f" } NR == 2 { printf "%s", $0 }' > want
  "$dump" --text p2.afp | cmp want - || fail "text of page 2 differs"
  ;;
framing)  # RDW input: plain output unless --keep-framing
  "$split" --pages=1 "$src/samples/document-rdw.afp" -o plain.afp > /dev/null
  cmp plain.afp "$src/samples/document.afp" || fail "RDW to plain differs"
  "$split" --pages=1 --keep-framing "$src/samples/document-rdw.afp" -o rdw.afp > /dev/null
  cmp rdw.afp "$src/samples/document-rdw.afp" || fail "--keep-framing differs"
  "$split" --pages=1 - -o in.afp < "$src/samples/document-prefix.afp" > /dev/null
  cmp in.afp "$src/samples/document.afp" || fail "prefix input from stdin differs"
  ;;
errors)  # damage refused with its offset; --keep-going writes what lies before it
  # the End of the last group (offset 2445) left out
  { head -c 2445 "$fop/statements.afp"; tail -c 17 "$fop/statements.afp"; } > no-eng.afp
  set +e
  "$split" --groups no-eng.afp -o out > /dev/null 2> err; rc=$?
  [ $rc = 1 ] && grep -q "^dspsplit: no-eng.afp: offset 1972: Begin Named Page Group PGP00003 is not closed" err \
    || fail "damage: exit $rc, $(cat err)"
  [ -z "$(ls -A out)" ] || fail "damaged input wrote"
  "$split" --groups --keep-going no-eng.afp -o out > /dev/null 2> err; rc=$?
  [ $rc = 1 ] && [ "$(ls -A out | tr '\n' ' ')" = "PGP00001.afp PGP00002.afp " ] \
    || fail "--keep-going: exit $rc, $(ls -A out)"
  # cut inside page 2 (group 1), inside page 4 (group 3), before the RDW stream's
  # End Document: what --keep-going writes closes every Begin it wrote
  head -c 1100 "$fop/statements.afp" > cut1.afp
  head -c 2100 "$fop/statements.afp" > cut2.afp
  head -c 6422 "$src/samples/document-rdw.afp" > cut3.afp
  head -c 756 "$fop/statements.afp" > cut4.afp  # after page 1: its group left open
  "$split" --pages=1-2 --keep-going cut1.afp -o cut1-p.afp > /dev/null 2>&1; rc=$?
  "$split" --groups --keep-going cut2.afp -o cut2 > /dev/null 2>&1; rc=$rc$?
  "$split" --pages=1 --keep-going --keep-framing cut3.afp -o cut3-p.afp > listing 2>&1; rc=$rc$?
  "$split" --pages=1 --keep-going cut4.afp -o cut4-p.afp > /dev/null 2>&1; rc=$rc$?
  [ $rc = 1111 ] && [ "$(ls cut2 | tr '\n' ' ')" = "PGP00001.afp PGP00002.afp " ] \
    || fail "damage: exit $rc, $(ls cut2)"
  for f in cut1-p.afp cut2/*.afp cut3-p.afp cut4-p.afp; do
    "$dump" --check "$f" > /dev/null || fail "$f not well-formed"
  done
  pages cut1-p.afp cut3-p.afp > got && pages "$fop/statements.afp" | head -1 > want
  pages "$src/samples/document.afp" >> want
  diff want got || fail "pages before the damage differ"
  grep -q "page 1	6435 bytes" listing || fail "RDW: $(cat listing)"
  # damage inside a page: an End of another kind, an End left out, a stream
  # ending in a page, Begins nested too deep
  f=$fop/statements.afp
  cp "$f" d1.afp && printf '\x9b' | dd of=d1.afp bs=1 seek=354 conv=notrunc 2> /dev/null
  { head -c 349 "$f"; tail -c +367 "$f"; } > d2.afp
  head -c 739 "$f" > d3.afp
  { head -c 416 "$f"; for i in $(seq 61); do head -c 433 "$f" | tail -c 17; done
    tail -c +417 "$f"; } > d4.afp
  for d in "d1 349: End Presentation Text Object AEG00001 closes nothing" \
    "d2 113: Begin Active Environment Group AEG00001 is not closed before End Page" \
    "d3 96: Begin Page PGN00001 is not closed at the end of the stream" \
    "d4 1453: nesting deeper than 64 levels"; do
    "$split" --groups --dry-run "${d%% *}.afp" -o dry > /dev/null 2> err
    grep -q "offset ${d#* }" err || fail "${d%% *}: $(cat err)"
  done
  cat "$fop/statements.afp" | "$split" --groups - -o out > /dev/null 2> err; rc=$?
  [ $rc = 1 ] && grep -q "seekable" err || fail "pipe: exit $rc, $(cat err)"
  "$split" --pages=9 "$fop/statements.afp" -o p.afp > /dev/null 2> err; rc=$?
  [ $rc = 1 ] && grep -q "no page 9 (the file has 4 pages)" err || fail "no page: $(cat err)"
  "$split" --pages=3-2 "$fop/statements.afp" -o p.afp 2> /dev/null; rc=$?
  [ $rc = 2 ] || fail "usage: exit $rc"
  [ -z "$(ls -A . out | grep -e dspsplit -e part)" ] || fail "temporary files left"
  ;;
memory)  # a stream of large groups, longer than the memory dspsplit may use
  f=$fop/statements.afp
  { head -c 96 "$f" | tail -c 79
    for p in $(seq 200); do head -c 756 "$f" | tail -c 660; done
    head -c 1202 "$f" | tail -c 17; } > group
  { head -c 17 "$f"; for g in $(seq 384); do cat group; done; tail -c 17 "$f"; } > long.afp
  (ulimit -v 32768; "$split" --groups long.afp -o out > listing) || fail "exit $?"
  [ "$(ls out | wc -l)" = 384 ] || fail "expected 384 files"
  "$dump" --check out/PGP00001-384.afp > /dev/null || fail "last group not well-formed"
  # groups of 4096 pages, more than dspsplit holds in memory, copied all the same
  head -c 756 "$f" | tail -c 660 > pages
  for i in $(seq 12); do cat pages pages > pages2 && mv pages2 pages; done
  { head -c 96 "$f" | tail -c 79; cat pages; head -c 1202 "$f" | tail -c 17; } > group
  { head -c 17 "$f"; cat group group; tail -c 17 "$f"; } > large.afp
  { head -c 17 "$f"; cat group; tail -c 17 "$f"; } > want
  (ulimit -v 32768; "$split" --groups large.afp -o large > /dev/null) || fail "exit $?"
  cmp want large/PGP00001-2.afp || fail "a large group differs"
  ;;
esac
