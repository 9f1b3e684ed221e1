#!/usr/bin/env bash
# Times the HTML viewer on pages of tables against QTextDocument:
#
#   bench/htmlbench.sh [--runs K]
#
# Builds htmlbench in release mode in build-bench-html/ (or $HTMLBENCH_BUILD) and runs it on the offscreen platform: a
# 1,000-row and a 10,000-row table (5 columns of short text, border=1) and ten nested tables of
# three cells per level, each from its bytes to a document laid out at 600 pixels on the real
# fonts. Prints the medians of K runs (default 5), our time as a multiple of QTextDocument's
# (target on the 10,000-row page: at most 1.0) and the time per row at 10,000 rows against that at
# 1,000 (target: at most 1.5). The table also goes to build-bench-html/results.md.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${HTMLBENCH_BUILD:-$here/build-bench-html}
say() { echo "bench: $*" >&2; }

say "building (Release) in $build"
mkdir -p "$build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRELCON_TESTS=OFF > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target htmlbench -j "${JOBS:-3}" > "$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
QT_QPA_PLATFORM=offscreen "$build/bench/htmlbench" "$@" | tee "$build/results.md"
