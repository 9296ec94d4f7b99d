#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  cmake g++ make pkg-config \
  libboost1.81-all-dev qtbase5-dev rapidjson-dev libloki-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  python3 python3-websockets xvfb xauth
