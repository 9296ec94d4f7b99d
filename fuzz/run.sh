#!/usr/bin/env bash
# Builds the libFuzzer programs (clang, ASan+UBSan) and fuzzes each target for
# the given number of seconds, starting from a copy of its corpus. Prints the
# executions and the findings (crash, leak and timeout inputs) of each target.
#   fuzz/run.sh [seconds per target] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-600}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(message config base64 endpoint chunked_transfer revocation_values)
BUILD_DIR=${BUILD_DIR:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORVA_ASAN=ON -DZORVA_FUZZ=ON -DZORVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"${JOBS:-2}" --target "${TARGETS[@]/%/_fuzz}"

ubsan="halt_on_error=1:print_stacktrace=1:suppressions=$PWD/cmake/ubsan.supp"
status=0
for target in "${TARGETS[@]}"; do
  dir="$BUILD_DIR/fuzz/$target"
  work="$dir/run"
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/findings"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS="$ubsan" "./${target}_fuzz" -max_total_time="$SECONDS_PER_TARGET" \
      -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix=run/findings/ run/corpus \
      >run/fuzz.log 2>&1) || status=1
  # The final statistics are printed after a finding too, unlike "Done N runs".
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/fuzz.log" | grep -o '[0-9]*$' || echo "?")
  findings=$(find "$work/findings" -type f | wc -l)
  echo "$target: $runs executions in ${SECONDS_PER_TARGET}s, $findings findings"
  find "$work/findings" -type f -printf '  %p\n'
done
exit "$status"
