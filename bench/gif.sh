#!/usr/bin/env bash
# Benchmarks the GIF codec against giflib:
#
#   bench/gif.sh [--runs K] [--frames N]
#
# Installs libgif-dev when it is missing (only this benchmark uses giflib), builds the codec in
# release mode in build-bench-gif/, makes one animated GIF of N frames of 640 x 480 (default 200;
# noise and flat areas, tools/gen/gen_gif.cpp; kept for later runs, made again when the generator
# changes) and runs, K times each (default 5), each as a process of its own: decoding the whole
# file with our loader and with giflib's DGifSlurp, and writing its frames again with our LZW
# encoder and with giflib's EGifPutLine. Prints per run kind the median time, MB/s of the GIF
# file, megapixels/s, peak resident memory and the bytes written, with our time as a multiple of
# giflib's (the targets: at most 1.5) and our output size against giflib's (target: within 2 %).
# The table also goes to build-bench-gif/results.md.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-bench-gif
runs=5
frames=200
while (($#)); do
  case $1 in
    --runs | --frames)
      [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "gif.sh: $1 takes a positive number" >&2; exit 2; }
      if [[ $1 == --runs ]]; then runs=$2; else frames=$2; fi
      shift
      ;;
    *) echo "usage: bench/gif.sh [--runs K] [--frames N]" >&2; exit 2 ;;
  esac
  shift
done

bash "$here/tools/setup-deps.sh"
bash "$here/tools/install-missing.sh" libgif-dev

say() { echo "bench: $*" >&2; }

say "building (Release) in $build"
mkdir -p "$build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRELCON_TESTS=OFF > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target gif gen_gif > "$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
# The benchmark program alone links giflib, so it is built here rather than by CMake. Our library
# is named by its path: -lgif is giflib.
g++ -std=c++20 -O3 -DNDEBUG -I"$here" "$here/bench/gif_bench.cpp" "$build/gif/libgif.a" \
  "$build/platform/libplatform_core.a" $(pkg-config --libs icu-uc) -lgif -lpthread -o "$build/gif_bench" \
  || { echo "gif.sh: cannot build the benchmark program" >&2; exit 1; }

input=$build/anim-$frames.gif
stamp=$build/.gen_gif.stamp
sum=$(md5sum < "$build/tools/gen_gif")
if [[ ! -f $stamp || $(cat "$stamp") != "$sum" ]]; then
  rm -f "$build"/anim-*.gif
  echo "$sum" > "$stamp"
fi
if [[ ! -s $input ]]; then
  say "generating $(basename "$input")"
  "$build/tools/gen_gif" "$input.part" "$frames"
  mv "$input.part" "$input"
fi
file_bytes=$(stat -c %s "$input")

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A time_of bytes_of
rows=()
for kind in decode-ours decode-giflib encode-ours encode-giflib; do
  say "$kind, $runs runs"
  times=()
  peak=0
  for ((r = 1; r <= runs; r++)); do
    out=$(/usr/bin/time -f 'rss %M' -o "$build/rss" "$build/gif_bench" "$kind" "$input")
    read -r _ seconds _ pixels _ bytes <<< "$out"
    times+=("$seconds")
    rss=$(awk '/^rss/ { print $2 }' "$build/rss")
    ((rss > peak)) && peak=$rss
  done
  med=$(median "${times[@]}")
  time_of[$kind]=$med
  bytes_of[$kind]=$bytes
  rows+=("$(awk -v k="$kind" -v t="$med" -v fb="$file_bytes" -v px="$pixels" -v kb="$peak" -v b="$bytes" \
    'BEGIN { printf "| %s | %.3f | %.1f | %.1f | %.1f | %d |", k, t, fb / 1e6 / t, px / 1e6 / t, kb / 1024, b }')")
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
{
  echo "GIF codec against giflib: $(basename "$input"), $(awk -v b="$file_bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB, median of $runs runs"
  echo
  echo "| run | seconds | MB/s (GIF) | Mpixels/s | peak MB | GIF bytes read or written |"
  echo "|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "- decoding: ours takes $(ratio "${time_of[decode-ours]}" "${time_of[decode-giflib]}") x giflib's time (target: at most 1.5)"
  echo "- encoding: ours takes $(ratio "${time_of[encode-ours]}" "${time_of[encode-giflib]}") x giflib's time (target: at most 1.5);" \
    "our file is $(awk -v a="${bytes_of[encode-ours]}" -v b="${bytes_of[encode-giflib]}" 'BEGIN { printf "%+.2f", 100 * (a - b) / b }') % of giflib's size (target: within 2 %)"
} | tee "$build/results.md"
