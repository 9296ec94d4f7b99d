#!/usr/bin/env bash
# Installs the dependencies, builds, stages the program directory and starts
# the host from it with the default configuration, serving web pages over
# WebSocket (ws://localhost:9000). Extra arguments go to the host.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" = 0 ]; then ./scripts/install-deps.sh; else sudo ./scripts/install-deps.sh; fi
./scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
# The host keeps its user files (configuration, logs, dumps) beside itself.
RUN_DIR=${RUN_DIR:-$BUILD_DIR/run}
cmake --install "$BUILD_DIR" --prefix "$RUN_DIR"
# Without a display the host runs the same, only without its tray icon.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
exec "$RUN_DIR/plugin" -P ws "$@"
