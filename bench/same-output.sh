#!/usr/bin/env bash
# Checks that two builds of the program write the same files:
#
#   bench/same-output.sh OLD NEW [INPUT...]
#
# Converts each input with the program OLD, then with NEW, and compares what they write byte
# for byte (cmp), with their exit status and messages. Inputs: those given, else the benchmark's
# (build-bench/data/: every .txt, .tmx, .csv, .sdltm and .sdltb there, made by bench/run.sh).
# Each program runs as a copy named "mirelcon" in one output folder, since the program writes its
# own name into TMX and text-TM headers. A text TM written from a TMX or a CSV file bears the time
# of the run: in those outputs (the first line a text-TM header) the header's date, wherever it
# occurs in the file, and the header's ID field are masked before comparing; every other output
# (CSV from a termbase, TMX from a text TM or an SDLTM) is compared exactly. Prints a verdict
# per input and exits 1 when any differs.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
if (($# < 2)); then
  echo "usage: bench/same-output.sh OLD NEW [INPUT...]" >&2
  exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
shift 2
inputs=("$@")
if ((${#inputs[@]} == 0)); then
  shopt -s nullglob
  inputs=("$here"/build-bench/data/*.{txt,tmx,csv,sdltm,sdltb})
  shopt -u nullglob
  ((${#inputs[@]})) || { echo "same-output.sh: no inputs in build-bench/data (run bench/run.sh first)" >&2; exit 2; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/old" "$work/new" "$work/out"
cp "$old" "$work/old/mirelcon"
cp "$new" "$work/new/mirelcon"

is_text_tm() { LC_ALL=C perl -ne 'exit(/^(?:\xEF\xBB\xBF)?%\d{8}~\d{6}\t/ ? 0 : 1)' "$1"; }

# The text-TM header's run date, wherever it occurs, and its ID field (the ninth) masked.
masked() {
  LC_ALL=C perl -ne 'if ($. == 1) {
      if (/^(?:\xEF\xBB\xBF)?%(\d{8}~\d{6})\t/) {
        $d = $1;
        my @f = split /\t/, $_, -1;
        $f[8] = "<id>" if @f > 8;
        $_ = join "\t", @f;
      }
    }
    s/\Q$d\E/<date>/g if defined $d;
    print' "$1"
}

# Runs one program on one input: its output (the only file in out/), status and messages go to DIR.
convert() {  # convert PROGRAM INPUT DIR
  local rc=0
  rm -rf "$work/out" && mkdir "$work/out"
  (cd "$work/out" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" "$2" "$work/out/" \
    > "$3/messages" 2>&1) || rc=$?
  echo "$rc" > "$3/status"
  rm -rf "$3/out" && mv "$work/out" "$3/out"
}

differences=0
for input in "${inputs[@]}"; do
  input=$(realpath "$input")
  convert "$work/old/mirelcon" "$input" "$work/old"
  convert "$work/new/mirelcon" "$input" "$work/new"
  verdict=same
  if ! cmp -s "$work/old/status" "$work/new/status" || ! cmp -s "$work/old/messages" "$work/new/messages"; then
    verdict="differs: exit status or messages"
  elif [[ $(cd "$work/old/out" && ls) != $(cd "$work/new/out" && ls) ]]; then
    verdict="differs: files written"
  else
    for file in "$work/old/out"/*; do
      [[ -e $file ]] || continue
      name=$(basename "$file")
      cmp -s "$file" "$work/new/out/$name" && continue
      if is_text_tm "$file"; then
        cmp -s <(masked "$file") <(masked "$work/new/out/$name") || verdict="differs: $name (date and ID masked)"
      else
        verdict="differs: $name"
      fi
    done
  fi
  files=$(cd "$work/old/out" && ls | tr '\n' ' ')
  printf '%s -> %s(exit %s): %s\n' "${input#"$here"/}" "$files" "$(cat "$work/old/status")" "$verdict"
  [[ $verdict == same ]] || differences=1
done
exit "$differences"
