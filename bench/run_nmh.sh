#!/usr/bin/env bash
# The host's side of an upload through the browser extension: a document of
# MIB MiB (default 512) sent over native messaging to a staged host, the way
# the extension sends it, ROUNDS times (default 3), each to a host started
# anew (bench/nmh_upload_bench.py). The browser's side is bench/run_page.sh's.
# BUILD_DIR (default build-release), BUILD_TYPE (default Release) and JOBS
# (default 2) override the defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" \
    -DZORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target plugin nmhmodule systemmodule -j"${JOBS:-2}" >/dev/null
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "command: MIB=${MIB:-512} ROUNDS=${ROUNDS:-3} $0 (host: $BUILD_DIR/stage)"
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 bench/nmh_upload_bench.py "$PWD/$BUILD_DIR/stage" \
    "${MIB:-512}" "${ROUNDS:-3}"
