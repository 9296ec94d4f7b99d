#!/usr/bin/env bash
# Builds the log queue benchmark and prints, for 1, 4 and 16 threads writing
# records into one log file, the records per second until every line is in
# the file and what a record costs its writing thread: the host's queue and
# line writer, Boost.Log's bounded FIFO queue (blocking on overflow) feeding
# the host's line writer, and that queue feeding Boost.Log's file backend
# with a formatter of the same line.
#
# RECORDS (default 200000) and RUNS (default 5) set the records per run and
# the runs per figure; BUILD_DIR (default build-release) and JOBS (default 2)
# override the defaults.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_bench log_queue_bench
"$bench" "${RECORDS:-200000}" "${RUNS:-5}"
