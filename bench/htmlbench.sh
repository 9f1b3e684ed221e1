#!/usr/bin/env bash
# Times the HTML viewer against QTextDocument on generated pages, each engine's peak memory too:
#
#   bench/htmlbench.sh [--runs K]            tables: a 1,000-row and a 10,000-row table (5 columns,
#                                            border=1) and ten nested tables, bytes to a document laid
#                                            out at 600 px; targets: at most 1.0 x QTextDocument on the
#                                            10,000-row page, time per row at 10,000 within 1.5 x that
#                                            at 1,000
#   bench/htmlbench.sh --page [--seed N]     a page of about 1 MB: parse, layout at 800 px, total,
#                                            relayout at 600 px; target: layout and total at most 1.0
#   bench/htmlbench.sh --parse [--runs K]    bytes to built document on pages of 1 MB and 10 MB (one
#                                            with a 1-MB unbroken run), MB/s; target: time per MB at
#                                            10 MB within 1.5 x that at 1 MB
#   bench/htmlbench.sh --render [--runs K]   htmlrender's path, bytes to a painted image at 600 px,
#                                            on pages of about 300 KB and 1 MB; target: at most 1.0
#   bench/htmlbench.sh --sheets [--runs K]   a style element with a selector of 600,000 ">" and one
#                                            with a value of 300,000 rgb() parts, bytes to built
#                                            document, at full and half size; target: full / half <= 3
#   bench/htmlbench.sh --hostile             1,000 / 2,000 / 4,000 floats, 5,000 / 10,000 / 20,000
#                                            bordered spans, 4,000 / 8,000 / 16,000 text inputs, each
#                                            to the first paint of a shown viewer, and 25 / 50 / 100
#                                            pages of a 1000 x 1000 picture each, loaded in turn: time
#                                            per item and memory should stay flat as the count grows
#
# Builds htmlbench in release mode in build-bench-html/ (or $HTMLBENCH_BUILD), runs it on the
# offscreen platform with real fonts and writes its table to build-bench-html/results.md as well.
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
