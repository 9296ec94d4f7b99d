#!/usr/bin/env bash
# Builds the message handler benchmark and prints its figures: a 256 MiB
# document sent to the system module's "digest" as 1 MiB chunks of base64
# text, stored, joined and digested through MessageHandler. MB/s are 10^6
# bytes of base64 text per second of wall-clock time, from the first chunk to
# the reply; peak RSS is measured above the baseline before the first chunk.
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_bench message_handler_bench
"$bench" 2>/dev/null | sed 's/^/  /'
