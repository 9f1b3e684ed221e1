#!/usr/bin/env bash
# Benchmarks every conversion of the program as a whole process:
#
#   bench/run.sh [--quick] [--runs K]
#
# Builds in release mode in build-bench/, generates inputs of 50,000 and 500,000 units into
# build-bench/data/ (kept for later runs, made again when a generator changes), runs each
# conversion K times (default 3) and prints, per conversion and size: the median wall time, MB/s of
# input, units/s, peak resident memory, and the median time of `xmllint --stream --noout` on the
# TMX side of the conversion (the input of .tmx to .txt, the output of .txt and .sdltm to .tmx) with
# the ratio of the two. The table also goes to build-bench/results.md. --quick: 50,000 units only.
# A conversion that fails, writes nothing or writes another number of units is reported as such
# and the run goes on.
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
for tool in /usr/bin/time xmllint; do
  command -v "$tool" > /dev/null || { echo "run.sh: $tool is missing (Debian packages time, libxml2-utils)" >&2; exit 1; }
done

say() { echo "bench: $*" >&2; }

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
    # Validation loads the whole document; the smaller file stands for the generator.
    if ((n <= 50000)); then
      xmllint --noout --dtdvalid "$here/../shared/data/tmx14.dtd" "$data/tmx-$n.tmx" \
        || { rm -f "$data/tmx-$n.tmx"; echo "run.sh: the generated TMX is not valid" >&2; exit 1; }
    fi
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
# Conversions: name, input prefix and extension, output extension, which side xmllint reads.
conversions=(
  ".tmx to .txt|tmx|tmx|txt|input"
  ".txt to .tmx|tm|txt|tmx|output"
  ".csv to .txt|csv|csv|txt|-"
  ".sdltm to .tmx|sdltm|sdltm|tmx|output"
  ".sdltb to .csv|tb|sdltb|csv|-"
)

for n in "${sizes[@]}"; do
  for c in "${conversions[@]}"; do
    IFS='|' read -r name prefix inext outext side <<< "$c"
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
      rows+=("| $name | $n | $(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1e6 }') | - | - | - | - | - | - | $status |")
      continue
    fi
    med=$(median "${times[@]}")
    xml="-"
    ratio="-"
    tmxside=""
    [[ $side == input ]] && tmxside=$input
    [[ $side == output ]] && tmxside=$output
    if [[ -n $tmxside ]]; then
      xtimes=()
      for ((r = 1; r <= runs; r++)); do
        timed /dev/null "$logs/$tag.xmllint.err" xmllint --stream --noout "$tmxside"
        if ((rc != 0)); then
          status="$status; xmllint exit $rc"
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
    rows+=("$(awk -v name="$name" -v n="$n" -v b="$bytes" -v t="$med" -v kb="$peak" -v x="$xml" -v q="$ratio" -v s="$status" \
      'BEGIN { printf "| %s | %d | %.1f | %.3f | %.1f | %.0f | %.1f | %s | %s | %s |", name, n, b / 1e6, t, b / 1e6 / t, n / t, kb / 1024, x, q, s }')")
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
    xml="-"
    case $name in
      ".tmx to .txt" | ".txt to .tmx")
        xml=$(awk -v p="${ratio_of["$name|$small"]}" -v q="${ratio_of["$name|$large"]}" \
          'BEGIN { printf "%s / %s (%s)", p, q, (p != "-" && q != "-" && p <= 2.0 && q <= 2.0) ? "met" : "missed" }')
        ;;
    esac
    mem="-"
    case $name in
      ".tmx to .txt" | ".txt to .tmx" | ".csv to .txt")
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
  echo "Input MB and MB/s count 10^6 bytes; peak RSS is the largest of the runs, in MiB; xmllint is"
  echo "\`xmllint --stream --noout\` on the TMX side; ratio = median time / xmllint time."
  echo
  echo "| conversion | N | input MB | median s | MB/s | units/s | peak RSS MiB | xmllint s | ratio | status |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|"
  printf '%s\n' "${rows[@]}"
  if ((${#targets[@]})); then
    echo
    echo "| conversion | time ${sizes[1]} / ${sizes[0]} (at most 11) | ratio to xmllint (at most 2.0) | peak RSS MiB ${sizes[0]} -> ${sizes[1]} (at most 32, +10%) |"
    echo "|---|---|---|---|"
    printf '%s\n' "${targets[@]}"
  fi
} > "$results"
cat "$results"
