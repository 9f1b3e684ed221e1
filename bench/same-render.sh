#!/usr/bin/env bash
# Checks that two builds of htmlrender draw the same pages:
#
#   bench/same-render.sh OLD_HTMLRENDER NEW_HTMLRENDER PAGE...
#
# Renders each page with OLD, then with NEW, at widths 600 and 250, and compares byte for byte
# (cmp) the PNG each writes and the layout text of --dump, with their exit status. Pages: those
# given, for instance the render benchmark's (htmlbench --render --bytes N --write FILE), the fuzz
# corpus's (tests/fuzz/corpus/html_*/*) and pages of one's own. Prints each difference and a
# count, and exits 1 when any differs.
set -uo pipefail

if (($# < 3)); then
  echo "usage: bench/same-render.sh OLD_HTMLRENDER NEW_HTMLRENDER PAGE..." >&2
  exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
differ=0
count=0
for page in "$@"; do
  for width in 600 250; do
    count=$((count + 1))
    "$old" --width "$width" --dump "$page" "$work/old.png" > "$work/old.txt" 2> /dev/null
    oldStatus=$?
    "$new" --width "$width" --dump "$page" "$work/new.png" > "$work/new.txt" 2> /dev/null
    newStatus=$?
    if ((oldStatus != newStatus)); then
      echo "differ: $page at $width: exit status $oldStatus, then $newStatus"
      differ=$((differ + 1))
    elif ! cmp -s "$work/old.txt" "$work/new.txt"; then
      echo "differ: $page at $width: layout (--dump)"
      differ=$((differ + 1))
    elif [[ -f $work/old.png ]] && ! cmp -s "$work/old.png" "$work/new.png"; then
      echo "differ: $page at $width: pixels"
      differ=$((differ + 1))
    fi
    rm -f "$work/old.png" "$work/new.png"
  done
done
echo "same-render: $count renders, $differ differ"
((differ == 0))
