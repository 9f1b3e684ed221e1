#!/usr/bin/env bash
# The GIF decoder comparison over a longer seed range than the test's own:
#
#   tools/gif-shapes.sh [--build DIR] [--keep DIR] [FIRST-LAST]
#
# Builds test_gif and gifcodec in DIR (default build/, configured as the README says), generates
# the files of seeds FIRST to LAST (default 1-20000) in every shape the generator knows
# (tests/gif/GifShapes.h), optimises each with gifcodec and shows it before and after in the
# codec, the viewer's own decoder, Pillow and ImageMagick. Prints per decoder the files it reads
# and, of those, the files that optimising changes there, that the optimiser refuses and that it
# makes larger; then per shape the files that fail. --keep copies the failing inputs to DIR as
# seed-N.gif. The exit status is the test's: 0 when no file fails.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
keep=
range=1-20000
while (($#)); do
  case $1 in
    --build) build=$(realpath -m "$2"); shift ;;
    --keep) keep=$(realpath -m "$2"); mkdir -p "$keep"; shift ;;
    [0-9]*-[0-9]*) range=$1 ;;
    *) echo "usage: tools/gif-shapes.sh [--build DIR] [--keep DIR] [FIRST-LAST]" >&2; exit 2 ;;
  esac
  shift
done

if [[ ! -f $build/build.ninja ]]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELCON_TESTS=ON > /dev/null || exit 1
fi
cmake --build "$build" -j3 --target test_gif gifcodec > /dev/null || exit 1

MIRELCON_GIF_SHAPES=$range MIRELCON_GIF_SHAPES_KEEP=$keep QT_QPA_PLATFORM=offscreen \
  "$build/tests/test_gif" --gtest_filter=GifDecoders.GeneratedShapesShowTheSameOptimised > "$build/gif-shapes.log" 2>&1
status=$?
grep -E '^(seeds |codec: |viewer: |Pillow: |ImageMagick: |shape )' "$build/gif-shapes.log"
echo "(whole output: $build/gif-shapes.log)"
exit $status
