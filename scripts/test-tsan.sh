#!/usr/bin/env bash
# Builds the host, the modules and the WebSocket module's tests with
# ThreadSanitizer into ./build-tsan (override with BUILD_DIR) and runs the
# concurrent-connection tests. Reports of every process, the hosts the
# end-to-end tests start included, land in $BUILD_DIR/tsan; any report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-tsan}
reports="$PWD/$BUILD_DIR/tsan"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Sanitize -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g" \
  -DZORVA_TSAN=ON -DZORVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"${JOBS:-2}" --target plugin wsmodule systemmodule ws_test \
  timed_socket_test
rm -rf "$reports" && mkdir -p "$reports"
export TSAN_OPTIONS="log_path=$reports/report second_deadlock_stack=1 suppressions=$PWD/cmake/tsan.supp"
(cd "$BUILD_DIR" && ctest --output-on-failure -j"${JOBS:-2}" --timeout 900 \
  -R "^(WsModule|WsModuleConfigFile|AllowlistFirstOrLast|Timed)|WsEndToEnd\.(connections|messages|uploads)")
count=$(find "$reports" -type f | wc -l)
echo "ThreadSanitizer reports: $count"
find "$reports" -type f -exec head -40 {} \;
[ "$count" -eq 0 ]
