#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for a bounded time on its
# corpus: tools/fuzz.sh [SECONDS [TARGET...]]. SECONDS per target (default 30); TARGET names
# as in tests/fuzz/corpus (text_stream, tm_line, ...), all by default. The targets run side by
# side, each on one core.
#
# Each run starts from the committed corpus (tests/fuzz/corpus/<target>, regression files
# included, so every fault found once is checked again) and, when ../shared/data is there, from
# seeds made of its samples; a target with a dictionary (tests/fuzz/<target>.dict) is given it.
# The inputs it finds go to build-fuzz/fuzz-work/<target>/new, never into the committed corpus. A crash, leak, out-of-memory or timeout is kept in
# build-fuzz/fuzz-work/<target>/ and makes the script exit non-zero. MIRELCON_FUZZ_WORK names
# another folder for all this (a long run beside the short one).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
shift || true
build=$here/build-fuzz
work=${MIRELCON_FUZZ_WORK:-$build/fuzz-work}

# clang with its fuzzing runtime, and libxml2 for the TMX writer's well-formedness check.
bash "$here/tools/install-missing.sh" clang libclang-rt-14-dev libxml2-dev

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMIRELCON_FUZZ=ON -DMIRELCON_TESTS=OFF \
  > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target fuzz_targets -j "$(nproc)"

if (($#)); then
  targets=("$@")
else
  targets=()
  for d in "$here"/tests/fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi

# The longest input per target: long enough to cross the readers' blocks where that matters.
max_len() {
  case $1 in
    text_stream | tokenizer | tmx_reader | html_tokenizer | html_build) echo 65536 ;;
    *) echo 16384 ;;
  esac
}

# Seeds from the third-party samples, made here and never committed. TMX files serve the
# readers as they stand (the first byte of an input chooses options: one copy per choice), and
# the segment strings of the SDLTM databases serve the segment decoder.
shared_seeds() {
  local name=$1 dir=$2 data=$here/../shared/data f i=0
  mkdir -p "$dir"
  [ -d "$data" ] || return 0
  case $name in
    tmx_reader)
      for f in "$data"/*.tmx; do
        for flag in '\x00' '\x03'; do { printf "$flag"; cat "$f"; } > "$dir/$(basename "$f").$((i++))"; done
      done ;;
    tokenizer) for f in "$data"/*.tmx; do cp "$f" "$dir/"; done ;;
    text_stream) for f in "$data"/*.tmx; do { printf '\x11'; cat "$f"; } > "$dir/$(basename "$f")"; done ;;
    sdltm_decoder)
      command -v sqlite3 > /dev/null || return 0
      for f in "$data"/*.sdltm; do
        sqlite3 "$f" "SELECT source_segment FROM translation_units LIMIT 20" 2> /dev/null |
          while IFS= read -r s; do printf '\x01%s' "$s" > "$dir/$(basename "$f").$((i++))"; done
      done ;;
  esac
}

rm -rf "$work"
mkdir -p "$work"
export LC_ALL=C
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The viewer's targets load fonts through Qt; what fontconfig keeps for the process is not ours.
export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp
# The viewer's targets draw with Qt, which needs no display on its offscreen platform.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
pids=()
for name in "${targets[@]}"; do
  exe=$build/tests/fuzz/fuzz_$name
  [ -x "$exe" ] || { echo "no fuzz target $name" >&2; exit 1; }
  mkdir -p "$work/$name/new"
  shared_seeds "$name" "$work/$name/shared"
  dict=()
  [ -f "$here/tests/fuzz/$name.dict" ] && dict=("-dict=$here/tests/fuzz/$name.dict")
  (
    cd "$work/$name"
    MIRELCON_FUZZ_TMP=$work/$name "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len="$(max_len "$name")" -print_final_stats=1 -artifact_prefix="$work/$name/" "${dict[@]}" \
      "$work/$name/new" "$here/tests/fuzz/corpus/$name" "$work/$name/shared" > "$work/$name/log" 2>&1
  ) &
  pids+=($!)
done

status=0
for i in "${!targets[@]}"; do
  name=${targets[$i]}
  if wait "${pids[$i]}"; then result=ok; else result=FAILED; status=1; fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name/log" | tail -1)
  echo "fuzz $name: ${runs:-?} executions in ${seconds} s: $result"
  if [ "$result" = FAILED ]; then
    grep -E 'ERROR|SUMMARY|check failed|runtime error' "$work/$name/log" | head -20 || true
    ls "$work/$name"/crash-* "$work/$name"/leak-* "$work/$name"/timeout-* "$work/$name"/oom-* 2> /dev/null || true
  fi
done
exit $status
