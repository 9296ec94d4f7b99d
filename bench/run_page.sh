#!/usr/bin/env bash
# The page path, Sign to signature, in headless Chromium on this machine: a
# document of each size in SIZES (MiB, default "64 512") signed through the
# browser client over each transport in TRANSPORTS (default "websocket
# extension") against the staged host on a virtual X display, with a
# SoftHSM2 token whose consent window xdotool answers. CLIENT_DIR measures
# another copy of clients/js (with its node_modules), such as an older one:
#   mkdir /tmp/before && git archive main clients/js | tar -x -C /tmp/before
#   (cd /tmp/before/clients/js && npm ci)
#   CLIENT_DIR=/tmp/before/clients/js TRANSPORTS=websocket ./bench/run_page.sh
# BUILD_DIR (default build-release), BUILD_TYPE (default Release) and JOBS
# (default 2) override the defaults. Needs `npm ci --prefix bench` and
# `npm ci --prefix clients/js`.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" \
    -DZORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target plugin wsmodule systemmodule cryptomodule nmhmodule \
    -j"${JOBS:-2}" >/dev/null
work=$(mktemp -d /tmp/zorva-page-token-XXXXXX)
trap 'rm -rf "$work"' EXIT
tests/modules/crypto/make_token.sh "$work"
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)," \
    "$(/usr/bin/chromium --version)"
echo "command: SIZES=\"${SIZES:-64 512}\" TRANSPORTS=\"${TRANSPORTS:-websocket extension}\"" \
    "CLIENT_DIR=${CLIENT_DIR:-clients/js} $0 (host: $BUILD_DIR/stage)"
ZORVA_STAGE="$PWD/$BUILD_DIR/stage" CRYPTO_TOKEN_DIR="$work" PYTHONDONTWRITEBYTECODE=1 \
    ZORVA_CHROME_MANIFEST="$PWD/$BUILD_DIR/packaging/chrome/org.zorva.plugin.json" \
    xvfb-run -a -s "-screen 0 1280x800x24" /usr/bin/python3 bench/page_bench.py
