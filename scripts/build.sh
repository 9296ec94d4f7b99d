#!/usr/bin/env bash
# Configures and builds into ./build (override with BUILD_DIR). BUILD_TYPE
# picks the CMake build type; BENCH=OFF leaves the benchmark programs out.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
  -DZORVA_BUILD_BENCH="${BENCH:-ON}"
cmake --build "$BUILD_DIR" -j"${JOBS:-2}"
