#!/usr/bin/env bash
# Builds the signing benchmark and prints its figures: "sign" of a 1 GiB
# document already joined in the chunk store, through MessageHandler and the
# real crypto module, with a SoftHSM2 token and the consent dialog on a virtual
# X display (prompts are never shown where nobody could see them).
# MB/s are 10^6 bytes of document per second of wall-clock time, request to
# reply; peak RSS is measured above the baseline before the request.
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_bench crypto_sign_bench
QT_QPA_PLATFORM=xcb xvfb-run -a "$bench" 2>/dev/null | sed 's/^/  /'
