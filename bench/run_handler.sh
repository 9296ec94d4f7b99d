#!/usr/bin/env bash
# Builds the message handler benchmark and prints its figures: a 256 MiB
# document sent to the system module's "digest" as 1 MiB chunks of base64
# text, stored, joined and digested through MessageHandler. MB/s are 10^6
# bytes of base64 text per second of wall-clock time, from the first chunk to
# the reply; peak RSS is measured above the baseline before the first chunk.
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DZORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target message_handler_bench -j"${JOBS:-2}" >/dev/null
bench="$BUILD_DIR/bench/message_handler_bench"

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)," \
    "temporary directory on $(df --output=source "${TMPDIR:-/tmp}" | tail -1)"
echo "command: $bench"
"$bench" 2>/dev/null | sed 's/^/  /'
