#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  cmake g++ make pkg-config \
  libboost1.81-all-dev qtbase5-dev qttools5-dev qttools5-dev-tools rapidjson-dev libloki-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  python3 python3-websockets xvfb xauth chromium firefox-esr \
  fonts-roboto fonts-roboto-fontface fonts-lato python3-pil trayer \
  libssl-dev libcurl4-openssl-dev libp11-kit-dev p11-kit p11-kit-modules softhsm2 opensc \
  libpsl-dev publicsuffix \
  xdotool imagemagick lintian dpkg-dev fakeroot
# npm comes with the machine's Node.js where one is installed; else Debian's.
command -v npm >/dev/null || apt-get install -y --no-install-recommends nodejs npm
# Front-end tools from npm: the browser client's incremental SHA-256, and the
# drivers of headless Chromium and Firefox.
cd "$(dirname "$0")/.."
npm ci --prefix clients/js --no-audit --no-fund
npm ci --prefix tests/modules/ws/e2e/chromium --no-audit --no-fund
npm ci --prefix tests/modules/nmh/e2e/chromium --no-audit --no-fund
npm ci --prefix tests/modules/nmh/e2e/browsers --no-audit --no-fund
# The reference echo server of the WebSocket benchmark, and the driver of the
# page-path benchmark.
npm ci --prefix bench --no-audit --no-fund
