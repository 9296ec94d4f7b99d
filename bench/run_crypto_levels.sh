#!/usr/bin/env bash
# Builds the signature-level benchmark and prints what CAdES-T and CAdES-LT
# add to a CAdES-BES `sign` on this machine, with a local TSA, OCSP responder
# and CRL server (the test authorities), next to the TSA round trip alone.
#
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_bench crypto_levels_bench
"$bench" 2>/dev/null | sed 's/^/  /'
