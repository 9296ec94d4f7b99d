#!/usr/bin/env bash
# Builds the program, the modules and the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into ./build-asan (override with BUILD_DIR) and
# runs the unit tests and the WebSocket end-to-end tests under them.
# Optimised (-O1, line tables only) so that the build fits in CI next to the
# main build and the end-to-end tests keep their pace.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-asan}
# Test discovery runs the test programs at build time: they need these too.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1:suppressions=$PWD/cmake/ubsan.supp}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Sanitize -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" \
  -DZORVA_ASAN=ON -DZORVA_BUILD_BENCH=OFF
cmake --build "$BUILD_DIR" -j"${JOBS:-2}"
cd "$BUILD_DIR"
# The Chromium page test drives a browser, not the host. The crash dumper's
# tests fault on purpose and check what the bare signal leaves behind, which
# the sanitizers catch first. The connection and reliability suites measure
# round-trip times and RSS, which the sanitizers' own pace and allocator distort.
ctest --output-on-failure -j"${JOBS:-2}" --timeout 600 -E "${ASAN_EXCLUDE:-chromium|CrashDumperTest|WsEndToEnd.connections|WsEndToEnd.reliability}"
