#!/usr/bin/env bash
# Builds the chunk store benchmark and prints its figures for both ways a
# file travels in chunks: base64 content in plain chunks ("content") and raw
# content in base64 chunks ("transfer"). Each run joins a 256 MiB file sent
# as 1 MiB chunks of base64 text; MB/s are 10^6 bytes of base64 text per
# second of wall-clock time, from the first chunk to the joined message.
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
cmake -S . -B "$BUILD_DIR" -DZORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target chunk_store_bench -j"${JOBS:-2}" >/dev/null
bench="$BUILD_DIR/bench/chunk_store_bench"

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)," \
    "temporary directory on $(df --output=source "${TMPDIR:-/tmp}" | tail -1)"
for mode in content transfer; do
    echo "command: $bench $mode"
    "$bench" "$mode" 2>/dev/null | sed 's/^/  /'
done
