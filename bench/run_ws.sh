#!/usr/bin/env bash
# End-to-end figures of the WebSocket module against the real host over
# loopback, side by side with a reference echo server (Node with npm's `ws`,
# bench/ws_echo_reference.js) driven by the same load client: echo round
# trips/s with p50/p99 latency over 1, 4 and 64 connections with 100 B and
# 16 KiB requests, host and reference alternating, ROUNDS times; then, on a
# host started anew, an embedded-file upload in 1 MiB base64 chunks followed
# by "digest" (MB/s of base64 text), the host's peak RSS, and the byte-work
# limit of that upload on one core of this machine (bench/upload_limit_bench.cpp:
# the same bytes written, hashed and decoded without the protocol) with the
# upload's share of it.
#
# The host runs from a private copy of the staged program directory (which is
# also its data directory), on a free port, with its console log in a file.
# BUILD_DIR (default build-release), BUILD_TYPE (default Release), JOBS
# (default 2), REQUESTS (default 20000 round trips per measurement, at least
# 100 per connection), ROUNDS (default 2; 0 measures only the upload) and
# UPLOAD_MIB (default 1024; 0 skips the upload) override the defaults. Needs
# `npm ci --prefix bench`.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
REQUESTS=${REQUESTS:-20000}
ROUNDS=${ROUNDS:-2}
UPLOAD_MIB=${UPLOAD_MIB:-1024}
BUILD_TYPE=${BUILD_TYPE:-Release}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" -DZORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target plugin wsmodule systemmodule ws_bench upload_limit_bench -j"${JOBS:-2}" >/dev/null
bench="$BUILD_DIR/bench/ws_bench"

work=$(mktemp -d /tmp/zorva-ws-bench-XXXXXX)
host_pid=
reference_pid=
cleanup() {
    [ -n "$host_pid" ] && kill -KILL "$host_pid" 2>/dev/null || true
    [ -n "$reference_pid" ] && kill -TERM "$reference_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/plugin" "$work/runtime" && chmod 700 "$work/runtime"
cp -a "$BUILD_DIR/stage/plugin" "$BUILD_DIR/stage/libzorvaenv.so" "$BUILD_DIR/stage/libzorvaprompt.so" "$BUILD_DIR/stage/style.css" \
    "$BUILD_DIR/stage/modules" "$work/plugin/"
sed "s|ws://localhost:9000|ws://localhost:$port|" "$BUILD_DIR/stage/config.json" >"$work/plugin/config.json"
# Starts the host anew, its console log going to host.log.
start_host() {
    (cd "$work/plugin" && HOME="$work" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
        exec ./plugin -P ws >"$work/host.log" 2>&1) &
    host_pid=$!
    # Ready once the port takes connections (the probe is served and dropped).
    for _ in $(seq 300); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return
        kill -0 "$host_pid" 2>/dev/null || { tail "$work/host.log"; exit 1; }
        sleep 0.1
    done
}

stop_host() {
    "$bench" stop "$port"
    wait "$host_pid" && echo "host exited with 0" || echo "host exited with $?"
    host_pid=
}
start_host

node bench/ws_echo_reference.js >"$work/reference.log" 2>&1 &
reference_pid=$!
for _ in $(seq 100); do
    reference_port=$(awk '/^listening/ {print $2}' "$work/reference.log")
    [ -n "$reference_port" ] && break
    kill -0 "$reference_pid" 2>/dev/null || { cat "$work/reference.log"; exit 1; }
    sleep 0.1
done

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "host: $BUILD_DIR/stage/plugin -P ws ($BUILD_TYPE), listening on 127.0.0.1:$port"
echo "reference: node $(node --version) bench/ws_echo_reference.js, listening on 127.0.0.1:$reference_port"
for round in $(seq "$ROUNDS"); do
    for connections in 1 4 64; do
        requests=$(( REQUESTS / connections > 100 ? REQUESTS / connections : 100 ))
        for bytes in 100 16384; do
            for server in host reference; do
                [ "$server" = host ] && server_port=$port || server_port=$reference_port
                echo "$server: $("$bench" rtt "$server_port" "$connections" "$requests" "$bytes")"
            done
        done
    done
done | tee "$work/rtt.txt"
echo "command per line: $bench rtt <port> <connections> <max(100, $REQUESTS / connections)> <bytes>"
# Host against reference: the median of each figure over the rounds.
awk '{ key = $3 " " $4 " " $5 " " $6
       rate[$1, key] = rate[$1, key] " " $11; p99[$1, key] = p99[$1, key] " " $18
       if (!(key in seen)) { seen[key] = 1; keys[++n] = key } }
     function median(list,  v, c, i, j, t) {
         c = split(list, v, " ")
         for (i = 1; i <= c; i++) for (j = i + 1; j <= c; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
         return c % 2 ? v[(c + 1) / 2] : (v[c / 2] + v[c / 2 + 1]) / 2 }
     END { for (i = 1; i <= n; i++) { k = keys[i]; h = median(rate["host:", k]); r = median(rate["reference:", k])
           printf "median, %s: host %.0f/s (p99 %.3f ms), reference %.0f/s (p99 %.3f ms), host/reference %.2fx\n",
                  k, h, median(p99["host:", k]), r, median(p99["reference:", k]), h / r } }' "$work/rtt.txt"
if [ "$ROUNDS" -gt 0 ]; then
    echo "host RSS after the round trips: $(awk '/VmRSS/ {printf "%.1f MiB", $2 / 1024}' /proc/$host_pid/status)"
fi
stop_host
[ "$UPLOAD_MIB" -gt 0 ] || exit 0
# The upload on a host of its own: its peak RSS is the upload's, not that
# of 64 connections before it. Each of the two measures of the disk's pace
# starts with nothing of earlier work left to write back to the disk, which
# would otherwise run beside it.
sync
start_host
echo "command: $bench upload $port $UPLOAD_MIB"
"$bench" upload "$port" "$UPLOAD_MIB" | tee "$work/upload.txt"
# Where the upload's time went, from the host's own log records.
awk '/method: digest, chunk: 1, / { first = $2 } /chunk store: got last chunk/ { last = $2 }
     /switch state to: ok/ { ok = $2 }
     function s(t,  p) { split(t, p, ":"); return p[1] * 3600 + p[2] * 60 + p[3] }
     END { printf "host: chunks received and stored in %.2f s, join and digest %.2f s\n",
                  s(last) - s(first), s(ok) - s(last) }' "$work/host.log"
echo "host peak RSS (VmHWM): $(awk '/VmHWM/ {printf "%.1f MiB", $2 / 1024}' /proc/$host_pid/status)"
stop_host
sync
echo "command: $BUILD_DIR/bench/upload_limit_bench $work $UPLOAD_MIB"
"$BUILD_DIR/bench/upload_limit_bench" "$work" "$UPLOAD_MIB" | tee "$work/limit.txt"
awk '/^upload of/ { for (i = 1; i < NF; i++) if ($(i + 1) == "MB/s") upload = $i }
     /^byte-work limit/ { for (i = 1; i < NF; i++) if ($(i + 1) == "MB/s") limit = $i }
     END { printf "upload/limit: %.1f / %.1f MB/s = %.2f\n", upload, limit, upload / limit }' \
    "$work/upload.txt" "$work/limit.txt"
