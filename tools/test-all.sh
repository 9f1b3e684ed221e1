#!/usr/bin/env bash
# The README's test command: set up, then build and run every test in the plain and the sanitizer build,
# then run every fuzz target for a bounded time. A build in which no test ran fails, and the last lines
# say how many tests ran, passed, failed and were skipped in each build.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$here/tools/setup-deps.sh"
# The option is set on every configure: a tree configured without tests before (the run command
# builds in build/ without them) must not leave ctest with nothing to run.
bash "$here/tools/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELCON_TESTS=ON
bash "$here/tools/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug -DMIRELCON_SANITIZE=ON -DMIRELCON_TESTS=ON
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
summary=()

# run_tests NAME DIR TIMEOUT: runs the suite of one build and keeps its counts for the summary.
run_tests() {
  local name=$1 dir=$2 timeout=$3 log rc=0 total passed failed skipped
  log=$(mktemp)
  echo "== $name"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --no-tests=error --timeout "$timeout" 2>&1 | tee "$log" \
    || rc=1
  total=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log" | tail -n 1)
  failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n 1)
  skipped=$(grep -c '^[[:space:]]*[0-9]* - .* (Skipped)$' "$log" || true)
  rm -f "$log"
  if [ -z "$total" ] || [ "$total" -eq 0 ]; then
    summary+=("$name: no test ran")
    status=1
    return
  fi
  passed=$((total - failed - skipped))
  summary+=("$name: $total tests ran, $passed passed, $failed failed, $skipped skipped")
  [ "$rc" -eq 0 ] && [ "$failed" -eq 0 ] || status=1
}

run_tests "plain build" "$here/build" 300
run_tests "sanitizer build" "$here/build-asan" 600
echo "== fuzzing, 30 s per target"
fuzz=ok
bash "$here/tools/fuzz.sh" 30 || { fuzz=failed; status=1; }
echo "== summary"
for line in "${summary[@]}"; do echo "$line"; done
echo "fuzz targets: $fuzz"
exit $status
