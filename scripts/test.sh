#!/usr/bin/env bash
# Builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"${JOBS:-2}" --timeout 600
