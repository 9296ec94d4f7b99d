#!/usr/bin/env bash
# Builds the base64 benchmark in Release and prints its figures in MB/s
# (10^6 bytes of input per second of wall-clock time).
#
# BM_Encode/BM_Decode are the codec (output string reused). The *NewString
# figures are what encode()/decode() callers see when every call returns new
# memory; on this VM first touches of 4 KiB pages are slow (see
# BM_CopyToNewString, a plain copy), so they are printed a second time with
# glibc's malloc backing large blocks by transparent huge pages.
#
# The Ours/Openssl pairs are the codec against OpenSSL's functions on the
# sizes of the paths that call it (the argument is the size of the bytes),
# in MB/s of CPU time: wall-clock time on a shared machine measures the
# neighbours.
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DZORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target base64_bench base64_openssl_bench -j"${JOBS:-2}" >/dev/null
bench="$BUILD_DIR/bench/base64_bench"
against_openssl="$BUILD_DIR/bench/base64_openssl_bench"

# TIME_COLUMN 3 is wall-clock time, 4 CPU time, in the unit of the benchmark.
figures() {
    "$@" --benchmark_format=csv 2>/dev/null |
        awk -F, -v column="${TIME_COLUMN:-3}" '$1 ~ /^"BM_/ {
            name = $1; gsub(/"/, "", name); sub(/\/min_time:.*/, "", name)
            printf "  %-32s %12.1f %s %10.0f MB/s\n", name, $column, $5, $6 / 1e6
        }'
}

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "command: $bench --benchmark_format=csv"
figures "$bench"
echo "command: GLIBC_TUNABLES=glibc.malloc.hugetlb=1 $bench --benchmark_format=csv" \
    "--benchmark_filter='NewString|Filter'"
GLIBC_TUNABLES=glibc.malloc.hugetlb=1 figures "$bench" --benchmark_filter='NewString|Filter'
echo "command: $against_openssl --benchmark_format=csv"
TIME_COLUMN=4 figures "$against_openssl"
