#!/usr/bin/env bash
# Benchmarks making an animated GIF from true-colour pictures against ImageMagick:
#
#   bench/gifencode.sh [--runs K] [--frames N] [--build DIR]
#
# Installs imagemagick when it is missing (it is only the peer here), builds gifcodec in release
# mode in DIR (default build-bench-gifencode/), makes N true-colour PNG frames of 320 x 240
# (default 100; bench/gen_frames.py; kept for later runs, made again when the generator changes)
# and runs, K times each (default 5), alternating, each as a process of its own:
#
#   gifcodec encode --delay 100 --loops 0 OUT.gif IN*.png          (the 216-colour cube, nearest colour)
#   convert -delay 10 IN*.png +dither -remap netscape: OUT.gif     (the same cube, no dithering)
#
# Prints the median wall time and the bytes written of each, with our time as a multiple of
# ImageMagick's (target: at most 1.5) and our size against its size (target: no larger). The
# machine's load is printed too: times on a busy machine are only rough.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-bench-gifencode
runs=5
frames=100
while (($#)); do
  case $1 in
    --runs | --frames)
      [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "gifencode.sh: $1 takes a positive number" >&2; exit 2; }
      if [[ $1 == --runs ]]; then runs=$2; else frames=$2; fi
      shift
      ;;
    --build)
      [[ -n ${2:-} ]] || { echo "gifencode.sh: --build takes a folder" >&2; exit 2; }
      build=$(realpath -m "$2")
      shift
      ;;
    *) echo "usage: bench/gifencode.sh [--runs K] [--frames N] [--build DIR]" >&2; exit 2 ;;
  esac
  shift
done

say() { echo "bench: $*" >&2; }

# A stand-in named convert may come first on the path: the real one is ImageMagick's own.
convert=/usr/bin/convert
if ! "$convert" -version 2> /dev/null | grep -q ImageMagick; then
  say "installing imagemagick"
  bash "$here/tools/install-missing.sh" imagemagick > /dev/null
  "$convert" -version | grep -q ImageMagick || { echo "gifencode.sh: no ImageMagick convert" >&2; exit 1; }
fi
command -v python3 > /dev/null || { echo "gifencode.sh: python3 is needed for the frames" >&2; exit 1; }

say "building gifcodec (Release) in $build"
mkdir -p "$build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRELCON_TESTS=OFF > "$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target gifcodec -- -j3 > "$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
gifcodec=$build/tools/gifcodec

input=$build/gifencode-frames-$frames
stamp=$input/.generator
sum=$(md5sum < "$here/bench/gen_frames.py")
if [[ ! -f $stamp || $(cat "$stamp") != "$sum" ]]; then
  say "making $frames frames of 320 x 240 in $input"
  rm -rf "$input"
  python3 "$here/bench/gen_frames.py" "$input" --frames "$frames"
  echo "$sum" > "$stamp"
fi
pngs=("$input"/frame-*.png)

out=$build/gifencode-out
mkdir -p "$out"
ours=()
theirs=()
now() { date +%s%N; }
for ((run = 1; run <= runs; run++)); do
  start=$(now)
  "$gifcodec" encode --delay 100 --loops 0 "$out/ours.gif" "${pngs[@]}" > /dev/null
  ours+=($(($(now) - start)))
  start=$(now)
  "$convert" -delay 10 "${pngs[@]}" +dither -remap netscape: "$out/imagemagick.gif"
  theirs+=($(($(now) - start)))
  say "run $run: ours $((ours[-1] / 1000000)) ms, ImageMagick $((theirs[-1] / 1000000)) ms"
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
oursTime=$(median "${ours[@]}")
theirTime=$(median "${theirs[@]}")
oursBytes=$(stat -c %s "$out/ours.gif")
theirBytes=$(stat -c %s "$out/imagemagick.gif")
ms() { awk -v n="$1" 'BEGIN { printf "%.1f", n / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
timeRatio=$(ratio "$oursTime" "$theirTime")
sizeRatio=$(ratio "$oursBytes" "$theirBytes")

echo "GIF encoding: $frames true-colour PNG frames of 320 x 240, median wall time of $runs runs"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-12s %12s %12s\n' "" "ms" "bytes"
printf '%-12s %12s %12s\n' "gifcodec" "$(ms "$oursTime")" "$oursBytes"
printf '%-12s %12s %12s\n' "ImageMagick" "$(ms "$theirTime")" "$theirBytes"
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t) ? "met" : "missed" }'; }
echo "time: ${timeRatio} x ImageMagick's (target at most 1.5: $(verdict "$timeRatio" 1.5))"
echo "size: ${sizeRatio} x ImageMagick's (target at most 1: $(verdict "$sizeRatio" 1))"
