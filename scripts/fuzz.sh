#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# SECONDS_PER_TARGET seconds (default 30), all at once. New
# inputs go to build-fuzz/corpus/<target>, kept between local runs; the seeds
# in fuzz/corpus/ (and those fuzz/make-photointake-seeds.sh makes in
# build-fuzz/seeds/) are read but never changed. Fails on any crash, leak, UB,
# timeout or memory blow-up; the input is left in build-fuzz/artifacts/.
# Targets named after the seconds are the only ones built and run.
#     bash scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build_dir=${FUZZ_BUILD_DIR:-$root/build-fuzz}
targets=(fuzz_xls fuzz_rownames fuzz_fastread fuzz_jpegdecoder fuzz_package fuzz_csv fuzz_photointake fuzz_jobfile)
if [ $# -gt 1 ]; then
  targets=("${@:2}")
fi

"$root/scripts/install-deps.sh"

CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFOTOLISTA_FUZZ=ON -DFOTOLISTA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}

run_target() { # target, seed folders...
  local target=$1
  shift
  local corpus="$build_dir/corpus/$target" artifacts="$build_dir/artifacts/$target/"
  mkdir -p "$corpus" "$artifacts"
  "$build_dir/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" "$@" \
    >"$build_dir/$target.log" 2>&1
}

# The photo seeds are made here by the tools the photo tests use, rather
# than kept as binaries.
photo_seeds="$build_dir/seeds/photointake"
if [ -z "$(ls -A "$photo_seeds" 2>/dev/null)" ]; then
  mkdir -p "$photo_seeds"
  bash "$root/fuzz/make-photointake-seeds.sh" "$photo_seeds"
fi

pids=()
for target in "${targets[@]}"; do
  seeds=("$root/fuzz/corpus/${target#fuzz_}")
  # The photo intake's made seeds, beside the inputs that once made it fail.
  [ "$target" = fuzz_photointake ] && seeds+=("$photo_seeds")
  run_target "$target" "${seeds[@]}" &
  pids+=($!)
done

failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  log="$build_dir/$target.log"
  if wait "${pids[$i]}"; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    files=$(find "$build_dir/corpus/$target" -type f | wc -l)
    echo "$target: ok, ${runs:-?} inputs in ${seconds} s, ${cov:-?} edges covered, ${files} inputs found so far"
  else
    failed=1
    echo "$target: FAILED (log: $log, input: $(ls -t "$build_dir/artifacts/$target/" | head -1))"
    grep -E -A30 'ERROR: |runtime error:|fuzz_[a-z]+: ' "$log" | head -60 || tail -40 "$log"
  fi
done
exit "$failed"
