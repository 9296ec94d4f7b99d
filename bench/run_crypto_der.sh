#!/usr/bin/env bash
# Builds the crypto DER benchmark and prints, for the signed attributes' DER
# and for the document's BIO of a detached verify (64 MiB), the module's way
# next to the other: processor time per encoding, MB/s of document (10^6
# bytes per second of wall-clock time).
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_bench crypto_der_bench
"$bench" --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /^"BM_SignedAttributes/ {
        name = $1; gsub(/"/, "", name)
        printf "  %-30s %7.0f ns of processor time per encoding\n", name, $4
    }
    $1 ~ /^"BM_Verify/ {
        name = $1; gsub(/"/, "", name)
        printf "  %-30s %7.0f MB/s\n", name, $6 / 1e6
    }'
