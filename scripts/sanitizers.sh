#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $ASAN_BUILD_DIR) and runs the whole test suite under them:
# any out-of-bounds access, use after free, leak or undefined behaviour fails
# the test that caused it. Leaks Qt and the system libraries keep until exit
# are suppressed in scripts/lsan.supp; our own code has no entry there.
#     bash scripts/sanitizers.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${ASAN_BUILD_DIR:-$root/build-asan}

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFOTOLISTA_SANITIZE=ON >/dev/null
cmake --build "$build_dir" -j2

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build_dir"
ctest --output-on-failure -j2
