"""A document uploaded to the host over native messaging, as the browser
extension sends it: 1 MiB pieces of base64 text, each a frame on the host's
standard input, then "digest". Prints, per round, the wall time, the host's
processor seconds per GiB of document, and its peak and final RSS. Run by
bench/run_nmh.sh."""

import base64
import os
import sys
import time
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "modules", "nmh", "e2e"))
from nmhhost import NmhHost, request  # noqa: E402

PIECE = 768 * 1024
TICKS = os.sysconf("SC_CLK_TCK")


def processor_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def memory(pid):
    """VmHWM and VmRSS in MiB."""
    with open("/proc/%d/status" % pid) as status:
        lines = dict(line.split(":", 1) for line in status if line.startswith(("VmHWM", "VmRSS")))
    return [int(lines[key].split()[0]) / 1024 for key in ("VmHWM", "VmRSS")]


def upload(host, mib):
    """The pieces of one request: the payload's opening, the file's
    description cut inside "content", its content, the closings."""
    pieces = mib * 1024 * 1024 // PIECE
    total = pieces + 4
    request_id, file_id = uuid.uuid4().hex, uuid.uuid4().hex
    content = base64.b64encode(os.urandom(PIECE)).decode()

    def send(data, chunk, meta_id=""):
        host.send(request("digest", data, id=request_id, meta={
            "format": {"type": "bench"}, "id": meta_id, "chunk": str(chunk),
            "chunks": str(total)}))

    send('{"files":[', 1)
    send('{"id":"%s","name":"bench.bin","contentEncoding":"base64","content":"' % file_id,
         2, file_id)
    for index in range(pieces):
        send(content, 3 + index, file_id)
    send('"}', 3 + pieces, file_id)
    send("]}", 4 + pieces)
    reply = host.reply()
    if reply.get("code") != "0":
        raise SystemExit("the host failed: %s %s" % (reply.get("code"), reply.get("error")))


def main(stage, mib, rounds):
    for round_number in range(1, rounds + 1):
        host = NmhHost(stage)
        try:
            host.wait_log("nmh: serving")
            # Counted once the host has answered and its start-up work is over.
            host.ask(request("version"))
            time.sleep(1)
            pid = host.process.pid
            used, started = processor_seconds(pid), time.monotonic()
            upload(host, mib)
            wall = time.monotonic() - started
            used = processor_seconds(pid) - used
            time.sleep(1)
            peak, now = memory(pid)
            print("round %d, %d MiB: %.2f s (%.0f MB/s of document), host %.2f processor s per"
                  " GiB, peak RSS %.1f MiB, RSS 1 s after the reply %.1f MiB"
                  % (round_number, mib, wall, mib * 1048576 / wall / 1e6, used * 1024 / mib,
                     peak, now), flush=True)
        finally:
            host.close()


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]))
