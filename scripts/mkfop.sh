#!/usr/bin/env bash
# Regenerates the AFP files in tests/modca/fop from their XSL-FO sources with
# Apache FOP (apt-get install fop; needs Java). The outputs are committed, so
# the build and the tests never need FOP; run this only after changing a .fo.
#   scripts/mkfop.sh              every .fo
#   scripts/mkfop.sh text.fo ...  only these (FOP's output is the same run to
#                                 run, but a newer FOP may write other bytes)
set -euo pipefail
cd "$(dirname "$0")/../tests/modca/fop"
command -v fop >/dev/null 2>&1 || { echo "mkfop: fop not found (apt-get install fop)" >&2; exit 1; }
fos=("$@")
[ $# -eq 0 ] && fos=(*.fo)
for fo in "${fos[@]}"; do
  base=${fo%.fo}
  config=()
  [ -f "$base.xconf" ] && config=(-c "$base.xconf")
  fop -q "${config[@]}" -fo "$fo" -afp "$base.afp"
  echo "mkfop: $base.afp ($(wc -c < "$base.afp") bytes)"
done
