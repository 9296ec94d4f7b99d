#!/usr/bin/env bash
# End-to-end figures of the WebSocket module against the real host over
# loopback: echo round trips/s with p50/p99 latency over 1 and 4 connections,
# then a 256 MiB embedded-file upload in 1 MiB base64 chunks followed by
# "digest" (MB/s of base64 text), and the host's peak RSS.
#
# The host runs from a private copy of the staged program directory (which is
# also its data directory), on a free port, with its console log in a file.
# BUILD_DIR (default build-release), BUILD_TYPE (default Release), JOBS
# (default 2), REQUESTS (default 20000 per connection) and UPLOAD_MIB (default
# 256) override the defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
REQUESTS=${REQUESTS:-20000}
UPLOAD_MIB=${UPLOAD_MIB:-256}
BUILD_TYPE=${BUILD_TYPE:-Release}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" -DZORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target plugin wsmodule systemmodule ws_bench -j"${JOBS:-2}" >/dev/null
bench="$BUILD_DIR/bench/ws_bench"

work=$(mktemp -d /tmp/zorva-ws-bench-XXXXXX)
host_pid=
cleanup() {
    [ -n "$host_pid" ] && kill -KILL "$host_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/plugin" "$work/runtime" && chmod 700 "$work/runtime"
cp -a "$BUILD_DIR/stage/plugin" "$BUILD_DIR/stage/libzorvaenv.so" "$BUILD_DIR/stage/libzorvaprompt.so" "$BUILD_DIR/stage/style.css" \
    "$BUILD_DIR/stage/modules" "$work/plugin/"
sed "s|ws://localhost:9000|ws://localhost:$port|" "$BUILD_DIR/stage/config.json" >"$work/plugin/config.json"
(cd "$work/plugin" && HOME="$work" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    exec ./plugin -P ws >"$work/host.log" 2>&1) &
host_pid=$!
# Ready once the port takes connections (the probe is served and dropped).
for _ in $(seq 300); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    kill -0 "$host_pid" 2>/dev/null || { tail "$work/host.log"; exit 1; }
    sleep 0.1
done

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "host: $BUILD_DIR/stage/plugin -P ws ($BUILD_TYPE), listening on 127.0.0.1:$port"
for connections in 1 4; do
    echo "command: $bench rtt $port $connections $REQUESTS"
    "$bench" rtt "$port" "$connections" "$REQUESTS"
done
echo "command: $bench upload $port $UPLOAD_MIB"
"$bench" upload "$port" "$UPLOAD_MIB"
# Where the upload's time went, from the host's own log records.
awk '/method: digest, chunk: 1, / { first = $2 } /chunk store: got last chunk/ { last = $2 }
     /switch state to: ok/ { ok = $2 }
     function s(t,  p) { split(t, p, ":"); return p[1] * 3600 + p[2] * 60 + p[3] }
     END { printf "host: chunks received and stored in %.2f s, join and digest %.2f s\n",
                  s(last) - s(first), s(ok) - s(last) }' "$work/host.log"
echo "host peak RSS (VmHWM): $(awk '/VmHWM/ {printf "%.1f MiB", $2 / 1024}' /proc/$host_pid/status)"
"$bench" stop "$port"
wait "$host_pid" && echo "host exited with 0" || echo "host exited with $?"
host_pid=
