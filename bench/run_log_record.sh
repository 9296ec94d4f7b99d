#!/usr/bin/env bash
# Builds the log record benchmark and prints what one record costs the thread
# that writes it (processor time), with the log's file and console lines set
# up as the host sets them up, and what a record below the configured
# severity costs.
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_bench log_record_bench
"$bench" --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /^"BM_/ {
        name = $1; gsub(/"/, "", name)
        printf "  %-20s %7.0f ns of processor time per record\n", name, 1e9 / $7
    }'
