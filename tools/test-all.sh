#!/usr/bin/env bash
# The README's test command: set up, then build and run every test in the plain and the sanitizer build,
# then run every fuzz target for a bounded time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$here/tools/setup-deps.sh"
bash "$here/tools/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo
bash "$here/tools/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug -DMIRELCON_SANITIZE=ON
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
echo "== plain build"
ctest --test-dir "$here/build" -j "$jobs" --output-on-failure --timeout 300 || status=1
echo "== sanitizer build"
ctest --test-dir "$here/build-asan" -j "$jobs" --output-on-failure --timeout 600 || status=1
echo "== fuzzing, 30 s per target"
bash "$here/tools/fuzz.sh" 30 || status=1
exit $status
