#!/usr/bin/env bash
# Makes the golden cases of the TMX reader (tests/tm/golden/tmx/): random TMX documents written
# by gen_tmx_cases from a fixed seed, each converted to a text TM by a reference build of the
# program. The test TmxGolden then checks that the reader of this tree writes the same units.
#
#   tools/make-tmx-golden.sh REFERENCE_MIRELCON GEN_TMX_CASES [SEED [COUNT]]
#
# For each case-NNN[-p].tmx it keeps case-NNN[-p].txt (the text TM written, when one was) and
# case-NNN[-p].status (the exit status). Cases named "-p" are converted with the property types
# x-Client and x-Project. Run it again only to add cases or after a deliberate change of the
# reader's output, and say so where the change is committed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
(($# >= 2)) || { echo "usage: tools/make-tmx-golden.sh REFERENCE_MIRELCON GEN_TMX_CASES [SEED [COUNT]]" >&2; exit 2; }
ref=$(realpath "$1")
gen=$(realpath "$2")
seed=${3:-15}
count=${4:-60}
golden=$here/tests/tm/golden/tmx
rm -rf "$golden"
mkdir -p "$golden"
"$gen" "$golden" "$seed" "$count"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
cp "$ref" "$work/bin/mirelcon"  # the program writes its own name into the header
for input in "$golden"/*.tmx; do
  base=$(basename "$input" .tmx)
  args=()
  [[ $base == *-p ]] && args=(/PROP_TYPE=x-Client /PROP_TYPE=x-Project)
  rm -rf "$work/out" && mkdir "$work/out"
  rc=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/bin/mirelcon" "${args[@]}" "$input" "$work/out/" \
    > /dev/null 2>&1 || rc=$?
  echo "$rc" > "$golden/$base.status"
  [[ -f $work/out/$base.txt ]] && cp "$work/out/$base.txt" "$golden/$base.txt"
done
echo "$(ls "$golden"/*.tmx | wc -l) cases in ${golden#"$here"/}"
