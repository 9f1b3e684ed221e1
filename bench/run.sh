#!/usr/bin/env bash
# Benchmarks every conversion of the program as a whole process:
#
#   bench/run.sh [--quick] [--runs K]
#
# Builds in release mode in build-bench/, generates inputs of 50,000 and 500,000 units into
# build-bench/data/ (kept for later runs, made again when a generator changes; the TMX also in
# UTF-16, made from the UTF-8 one with iconv), runs each
# conversion K times (default 3) and prints, per conversion and size: the median wall time, MB/s of
# input, units/s, peak resident memory, and the median time of a peer doing the bare work on the
# same data (`xmllint --stream --noout` on the TMX side, `sqlite3` reading the SDLTM columns used,
# `mdb-export` of every termbase table, `iconv` copying the CSV) with the ratio of the two. The
# table also goes to build-bench/results.md. --quick: 50,000 units only. A conversion that fails,
# writes nothing or writes another number of units is reported as such and the run goes on.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-bench
data=$build/data
out=$build/out
logs=$build/logs
results=$build/results.md
seed=20260105
runs=3
sizes=(50000 500000)

while (($#)); do
  case $1 in
    --quick) sizes=(50000) ;;
    --runs)
      [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: --runs takes a positive number" >&2; exit 2; }
      runs=$2
      shift
      ;;
    *) echo "usage: bench/run.sh [--quick] [--runs K]" >&2; exit 2 ;;
  esac
  shift
done

bash "$here/tools/setup-deps.sh"
# The sqlite3 shell is a peer only, not a dependency of the program.
command -v sqlite3 > /dev/null || bash "$here/tools/install-missing.sh" sqlite3 > /dev/null
for tool in /usr/bin/time xmllint sqlite3 mdb-export iconv; do
  command -v "$tool" > /dev/null \
    || { echo "run.sh: $tool is missing (Debian packages time, libxml2-utils, sqlite3, mdbtools)" >&2; exit 1; }
done

say() { echo "bench: $*" >&2; }

dtd=$here/../shared/data/tmx14.dtd
if [[ -f $dtd ]]; then
  validation="Generated TMX inputs are validated against the TMX 1.4 DTD when they are made."
else
  validation="TMX inputs made in this run went unvalidated: the TMX 1.4 DTD ($dtd) is not reachable from this checkout."
  say "$dtd is not reachable: the generated TMX goes unvalidated"
fi

say "building (Release) in $build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRELCON_TESTS=OFF > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target mirelcon gen_inputs make_termbase > "$build/build.log" 2>&1 \
  || { cat "$build/build.log"; exit 1; }
mirelcon=$build/app/mirelcon
gen_inputs=$build/tools/gen_inputs
make_termbase=$build/tools/make_termbase
mkdir -p "$data" "$out" "$logs"

# Inputs are kept between runs; a generator that changed makes its files again.
stamp_check() {  # stamp_check NAME BINARY PREFIX...
  local stamp=$data/.$1.stamp sum prefix
  sum=$(md5sum < "$2")
  shift 2
  if [[ ! -f $stamp || $(cat "$stamp") != "$sum" ]]; then
    for prefix in "$@"; do rm -f "$data/$prefix"-*; done
    echo "$sum" > "$stamp"
  fi
}
stamp_check gen_inputs "$gen_inputs" tm tmx csv sdltm
stamp_check make_termbase "$make_termbase" tb

generate() {  # generate PATH COMMAND... (the command writes PATH)
  local path=$1
  shift
  [[ -s $path ]] && return 0
  say "generating $(basename "$path")"
  "$@"
}

for n in "${sizes[@]}"; do
  generate "$data/tm-$n.txt" "$gen_inputs" tm "$n" "$seed" "$data/tm-$n.txt"
  if [[ ! -s $data/tmx-$n.tmx ]]; then
    generate "$data/tmx-$n.tmx" "$gen_inputs" tmx "$n" "$seed" "$data/tmx-$n.tmx"
    # Validation loads the whole document; the smaller file stands for the generator. The DTD is
    # not part of the repository: without it the inputs go unvalidated and the results say so.
    if ((n <= 50000)) && [[ -f $dtd ]]; then
      xmllint --noout --dtdvalid "$dtd" "$data/tmx-$n.tmx" \
        || { rm -f "$data/tmx-$n.tmx"; echo "run.sh: the generated TMX is not valid" >&2; exit 1; }
    fi
  fi
  # The same TMX in UTF-16 (little-endian with its mark), its declaration saying so.
  if [[ ! -s $data/tmx16-$n.tmx || $data/tmx16-$n.tmx -ot $data/tmx-$n.tmx ]]; then
    say "generating tmx16-$n.tmx"
    sed '1s/encoding="UTF-8"/encoding="UTF-16"/' "$data/tmx-$n.tmx" | iconv -f UTF-8 -t UTF-16 > "$data/tmx16-$n.tmx.part"
    mv "$data/tmx16-$n.tmx.part" "$data/tmx16-$n.tmx"
  fi
  generate "$data/csv-$n.csv" "$gen_inputs" csv "$n" "$seed" "$data/csv-$n.csv"
  generate "$data/sdltm-$n.sdltm" "$gen_inputs" sdltm "$n" "$seed" "$data/sdltm-$n.sdltm"
  if [[ ! -s $data/tb-$n.sdltb ]]; then
    generate "$data/tb-$n.sdltb" "$make_termbase" --entries "$n" "$data/tb-$n.sdltb.part"
    mv "$data/tb-$n.sdltb.part" "$data/tb-$n.sdltb"
  fi
done

# The median of the numbers given as arguments.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs a command under /usr/bin/time: sets elapsed (seconds, from the shell's clock), rss (KiB), rc.
timed() {  # timed STDOUT STDERR COMMAND...
  local o=$1 e=$2 t0 t1
  shift 2
  t0=$EPOCHREALTIME
  rc=0
  /usr/bin/time -f %M -o "$logs/rss" "$@" > "$o" 2> "$e" || rc=$?
  t1=$EPOCHREALTIME
  elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
  rss=$(tail -n 1 "$logs/rss")
  [[ $rss =~ ^[0-9]+$ ]] || rss=0
}

# Units written, from the program's result line ("...: 500.000 TUs"), else counted in the output.
units_written() {  # units_written STDOUT OUTPUT
  local n
  n=$(sed -n 's/.*: \([0-9][0-9.,]*\) \(TUs\|entries\)\r\?$/\1/p' "$1" | tail -n 1 | tr -d '.,')
  if [[ -z $n ]]; then
    case $2 in
      *.tmx) n=$(grep -c '<tu[ >]' "$2" || true) ;;
      *) n=$(($(wc -l < "$2") - 1)) ;;
    esac
  fi
  echo "$n"
}

rows=()
declare -A median_of rss_of ratio_of
# Conversions: name, input prefix and extension, output extension, the peer that does the bare
# work on the same data: xmllint reading the TMX side (input or output), sqlite3 reading the
# columns the conversion uses, mdb-export of every table, iconv copying the text.
conversions=(
  ".tmx to .txt|tmx|tmx|txt|xmllint-input"
  ".tmx UTF-16 to .txt|tmx16|tmx|txt|xmllint-input"
  ".txt to .tmx|tm|txt|tmx|xmllint-output"
  ".csv to .txt|csv|csv|txt|iconv"
  ".sdltm to .tmx|sdltm|sdltm|tmx|sqlite3"
  ".sdltb to .csv|tb|sdltb|csv|mdb-export"
)

# peer_command KIND INPUT OUTPUT: sets peer (its name) and peer_cmd (the command, as an array).
peer_command() {
  peer_cmd=()
  case $1 in
    xmllint-input) peer=xmllint; peer_cmd=(xmllint --stream --noout "$2") ;;
    xmllint-output) peer=xmllint; peer_cmd=(xmllint --stream --noout "$3") ;;
    sqlite3)
      peer=sqlite3
      peer_cmd=(sqlite3 "$2" "SELECT source_segment, target_segment, creation_user, creation_date, usage_counter FROM translation_units")
      ;;
    mdb-export)
      peer=mdb-export
      peer_cmd=(sh -c 'for t in $(mdb-tables -1 "$1"); do mdb-export "$1" "$t"; done' sh "$2")
      ;;
    iconv) peer=iconv; peer_cmd=(iconv -f UTF-8 -t UTF-8 "$2") ;;
    *) peer=- ;;
  esac
}

for n in "${sizes[@]}"; do
  for c in "${conversions[@]}"; do
    IFS='|' read -r name prefix inext outext peerkind <<< "$c"
    input=$data/$prefix-$n.$inext
    output=$out/$prefix-$n.$outext
    tag=$prefix-$n-$inext
    bytes=$(stat -c %s "$input")
    times=()
    peak=0
    status=ok
    say "$name, $n units"
    for ((r = 1; r <= runs; r++)); do
      rm -f "$output"
      timed "$logs/$tag.out" "$logs/$tag.err" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$mirelcon" "$input" "$out/"
      if ((rc != 0)); then
        status="failed (exit $rc): $(head -n 1 "$logs/$tag.err" | cut -c 1-80 | tr '|' '/')"
        break
      fi
      if [[ ! -s $output ]]; then
        status="no output"
        break
      fi
      times+=("$elapsed")
      if ((rss > peak)); then peak=$rss; fi
    done
    if [[ $status == ok ]]; then
      written=$(units_written "$logs/$tag.out" "$output")
      [[ $written == "$n" ]] || status="$written units"
    fi
    if ((${#times[@]} == 0)); then
      rows+=("| $name | $n | $(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1e6 }') | - | - | - | - | - | - | - | $status |")
      continue
    fi
    med=$(median "${times[@]}")
    xml="-"
    ratio="-"
    peer_command "$peerkind" "$input" "$output"
    if ((${#peer_cmd[@]})) && command -v "${peer_cmd[0]}" > /dev/null; then
      xtimes=()
      for ((r = 1; r <= runs; r++)); do
        timed /dev/null "$logs/$tag.peer.err" "${peer_cmd[@]}"
        if ((rc != 0)); then
          status="$status; $peer exit $rc"
          break
        fi
        xtimes+=("$elapsed")
      done
      if ((${#xtimes[@]} > 0)); then
        xml=$(median "${xtimes[@]}")
        ratio=$(awk -v a="$med" -v b="$xml" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
        xml=$(awk -v v="$xml" 'BEGIN { printf "%.3f", v }')
      fi
    fi
    median_of["$name|$n"]=$med
    rss_of["$name|$n"]=$peak
    ratio_of["$name|$n"]=$ratio
    rows+=("$(awk -v name="$name" -v n="$n" -v b="$bytes" -v t="$med" -v kb="$peak" -v p="$peer" -v x="$xml" -v q="$ratio" -v s="$status" \
      'BEGIN { printf "| %s | %d | %.1f | %.3f | %.1f | %.0f | %.1f | %s | %s | %s | %s |", name, n, b / 1e6, t, b / 1e6 / t, n / t, kb / 1024, p, x, q, s }')")
  done
done

# Both sizes: the targets of the benchmark beside the figures.
targets=()
if ((${#sizes[@]} == 2)); then
  small=${sizes[0]}
  large=${sizes[1]}
  for c in "${conversions[@]}"; do
    IFS='|' read -r name _ <<< "$c"
    a=${median_of["$name|$small"]:-}
    b=${median_of["$name|$large"]:-}
    [[ -n $a && -n $b ]] || { targets+=("| $name | - | - | - |"); continue; }
    growth=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f (%s)", b / a, (b / a <= 11 ? "met" : "missed") }')
    # The ratio to the peer that each conversion must keep: a TMX read at least as fast as
    # xmllint parses it, an SDLTM within three times sqlite3's reading of its columns.
    limit=-
    case $name in
      ".tmx to .txt" | ".tmx UTF-16 to .txt") limit=1.0 ;;
      ".txt to .tmx") limit=2.0 ;;
      ".sdltm to .tmx") limit=3.0 ;;
    esac
    xml="-"
    if [[ $limit != - ]]; then
      xml=$(awk -v p="${ratio_of["$name|$small"]}" -v q="${ratio_of["$name|$large"]}" -v l="$limit" \
        'BEGIN { printf "%s / %s (at most %s: %s)", p, q, l, (p != "-" && q != "-" && p <= l && q <= l) ? "met" : "missed" }')
    fi
    mem="-"
    case $name in
      ".tmx to .txt" | ".tmx UTF-16 to .txt" | ".txt to .tmx" | ".csv to .txt")
        mem=$(awk -v s="${rss_of["$name|$small"]}" -v l="${rss_of["$name|$large"]}" \
          'BEGIN { printf "%.1f -> %.1f (%s)", s / 1024, l / 1024, (l <= 32 * 1024 && l <= 1.1 * s) ? "met" : "missed" }')
        ;;
    esac
    targets+=("| $name | $growth | $xml | $mem |")
  done
fi

{
  echo "# Benchmark"
  echo
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$here" describe --always --dirty 2>/dev/null || echo unknown)," \
    "$(nproc) CPUs ($(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)), $runs runs each, seed $seed."
  echo "Input MB and MB/s count 10^6 bytes; peak RSS is the largest of the runs, in MiB; the peer does the"
  echo "bare work on the same data: \`xmllint --stream --noout\` on the TMX side, \`sqlite3\` reading the columns"
  echo "used, \`mdb-export\` of every table, \`iconv\` UTF-8 to UTF-8; ratio = median time / peer time."
  echo "$validation"
  echo
  echo "| conversion | N | input MB | median s | MB/s | units/s | peak RSS MiB | peer | peer s | ratio | status |"
  echo "|---|---:|---:|---:|---:|---:|---:|---|---:|---:|---|"
  printf '%s\n' "${rows[@]}"
  if ((${#targets[@]})); then
    echo
    echo "| conversion | time ${sizes[1]} / ${sizes[0]} (at most 11) | ratio to the peer ${sizes[0]} / ${sizes[1]} | peak RSS MiB ${sizes[0]} -> ${sizes[1]} (at most 32, +10%) |"
    echo "|---|---|---|---|"
    printf '%s\n' "${targets[@]}"
  fi
} > "$results"
cat "$results"
