"""Soak of the real host: 4 connections send mixed requests (echo, chunked
uploads with an embedded file, digests, errors with distinct long method
names, transfers abandoned half way, malformed text) for the given time,
while a second host process answers a request file beside the first again
and again, and the host's RSS, open descriptors and chunk store use are
sampled every second. Fails when RSS or descriptors keep growing, when an
upload of the first host fails, or when a file is left in the chunk store
once the transfers have ended.

    ZORVA_STAGE=build/stage /usr/bin/python3 bench/soak.py [seconds]
"""

import asyncio
import json
import os
import subprocess
import sys
import time
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "modules", "ws", "e2e"))
from wshost import (Host, ask, chunked, connect, embedded_file_pieces, receive_reply,  # noqa: E402
                    request, stage_dir)

CONNECTIONS = 4
WARM_UP = 0.2           # share of the samples before the baseline is taken
RSS_SLACK = 1.10        # growth of the late maximum over the early one that fails
RSS_SLACK_KB = 16 * 1024
FD_SLACK = 8
DRAIN_TIMEOUT = 30
SECOND_HOST_PAUSE = 1.0


def host_sample(host):
    with open("/proc/%d/status" % host.process.pid) as status:
        rss = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
    fds = len(os.listdir("/proc/%d/fd" % host.process.pid))
    return rss, fds


def store_use(host):
    """Bytes and files under the chunk store's roots (every "data" directory)."""
    size = files = 0
    for directory, _, names in os.walk(host.root):
        if os.sep + "data" not in directory + os.sep:
            continue
        for name in names:
            # A live process marks its directory with a lock file.
            if name.endswith(".lock"):
                continue
            try:
                size += os.path.getsize(os.path.join(directory, name))
                files += 1
            except OSError:
                pass
    return size, files


async def upload(ws, size):
    _, pieces = embedded_file_pieces("soak.bin", os.urandom(size), piece_size=64 * 1024)
    for message in chunked(uuid.uuid4().hex, "digest", pieces):
        await ws.send(json.dumps(message))
    return await receive_reply(ws)


async def abandon(ws, size):
    """An upload that stops half way: its chunks stay with the connection."""
    _, pieces = embedded_file_pieces("gone.bin", os.urandom(size), piece_size=64 * 1024)
    for message in chunked(uuid.uuid4().hex, "digest", pieces)[:len(pieces) // 2]:
        await ws.send(json.dumps(message))


async def one_round(ws, round_number):
    """One of each kind, each reply checked; malformed text ends the
    connection, so it goes last. Returns the unexpected replies."""
    text = "x" * (round_number % 4096)
    digest = json.dumps({"files": [{"name": "a", "content": "aGVsbG8=",
                                    "contentEncoding": "base64"}]})
    distinct = "nosuchmethod-%s-" % uuid.uuid4().hex + "m" * 4096
    await abandon(ws, 300_000)
    replies = [(await ask(ws, request("echo", text)))["method"]["result"] == text,
               (await upload(ws, 100_000 + round_number % 300_000))["code"] == "0",
               (await ask(ws, request("digest", digest)))["code"] == "0",
               distinct in (await ask(ws, request(distinct)))["errorMessage"],
               (await ask(ws, request("echo", module="nosuchmodule")))["code"] != "0"]
    await ws.send("this is not json")
    return replies.count(False)


async def client(host, deadline, counts):
    while time.monotonic() < deadline:
        ws = await connect(host.url)
        try:
            counts["unexpected"] += await one_round(ws, counts["rounds"])
            await ws.wait_closed()
        finally:
            await ws.close()
        counts["rounds"] += 1


async def second_host(host, deadline, counts):
    """Another process of the same user and data directory, as a request run
    or a browser tab starts one, comes and goes beside the serving host."""
    request_file = os.path.join(host.root, "soak-request.json")
    with open(request_file, "w") as out:
        json.dump(request("echo", "from the second host"), out)
    command = [os.path.join(host.program_dir, "plugin"), "-r", request_file]
    while time.monotonic() < deadline:
        run = await asyncio.create_subprocess_exec(
            *command, cwd=host.program_dir, env=host.env, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        counts["second host runs"] += 1
        if await run.wait() != 0:
            counts["unexpected"] += 1
        await asyncio.sleep(SECOND_HOST_PAUSE)


async def sampler(host, deadline, samples):
    while time.monotonic() < deadline:
        samples.append(host_sample(host) + store_use(host))
        await asyncio.sleep(1)


def grows(values, slack_factor, slack):
    """True when the late maximum exceeds the early one beyond the slack."""
    start = max(1, int(len(values) * WARM_UP))
    middle = start + (len(values) - start) // 2
    early, late = max(values[start:middle]), max(values[middle:])
    return late > early * slack_factor + slack


def curve(name, values, unit):
    warm = values[max(1, int(len(values) * WARM_UP))]
    return "%s: start %d%s, after warm-up %d%s, max %d%s, end %d%s" % (
        name, values[0], unit, warm, unit, max(values), unit, values[-1], unit)


def store_drains(host):
    deadline = time.monotonic() + DRAIN_TIMEOUT
    while store_use(host)[1] and time.monotonic() < deadline:
        time.sleep(0.1)
    return store_use(host)[1] == 0


async def soak(host, seconds):
    deadline = time.monotonic() + seconds
    samples, counts = [], {"rounds": 0, "unexpected": 0, "second host runs": 0}
    await asyncio.gather(sampler(host, deadline, samples), second_host(host, deadline, counts),
                         *(client(host, deadline, counts) for _ in range(CONNECTIONS)))
    return samples, counts


def main():
    seconds = int(sys.argv[1]) if len(sys.argv) > 1 else 600
    host = Host(stage_dir())
    try:
        samples, counts = asyncio.run(soak(host, seconds))
        rss, fds, store = [s[0] for s in samples], [s[1] for s in samples], [s[2] for s in samples]
        drained = store_drains(host)
        print("%d rounds of 7 requests over %d connections in %ds, %d runs of a second host, "
              "%d unexpected replies" % (counts["rounds"], CONNECTIONS, seconds,
                                         counts["second host runs"], counts["unexpected"]))
        print(curve("RSS", rss, " kB"))
        print(curve("descriptors", fds, ""))
        print(curve("chunk store", store, " B"))
        failures = [text for failed, text in (
            (grows(rss, RSS_SLACK, RSS_SLACK_KB), "RSS keeps growing"),
            (grows(fds, 1, FD_SLACK), "descriptors keep growing"),
            (not drained, "files left in the chunk store"),
            (counts["unexpected"], "unexpected replies"),
            (host.process.poll() is not None, "host exited")) if failed]
        for text in failures:
            print("FAIL: " + text)
        return 1 if failures else 0
    finally:
        host.close()


if __name__ == "__main__":
    sys.exit(main())
