#!/usr/bin/env bash
# Builds the signing benchmark and prints its figures: "sign" of a 1 GiB
# document already joined in the chunk store, through MessageHandler and the
# real crypto module, with a SoftHSM2 token and the consent dialog offscreen.
# MB/s are 10^6 bytes of document per second of wall-clock time, request to
# reply; peak RSS is measured above the baseline before the request.
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DZORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target crypto_sign_bench -j"${JOBS:-2}" >/dev/null
bench="$BUILD_DIR/bench/crypto_sign_bench"

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)," \
    "temporary directory on $(df --output=source "${TMPDIR:-/tmp}" | tail -1)"
echo "command: $bench"
QT_QPA_PLATFORM=offscreen "$bench" 2>/dev/null | sed 's/^/  /'
