"""A time-stamp authority on 127.0.0.1 for the tests: each POST of an RFC 3161
query is answered by `openssl ts -reply` with the configuration that
make_authorities.sh laid out. Prints "listening PORT" once it accepts.

Usage: tsa_server.py DIR MODE, where MODE is one of
  good           a stamp from the TSA whose EKU is critical
  rejecting      a rejection (the section takes SHA-1 queries only)
  garbage        bytes that are no time-stamp response
  slow           a good stamp after 3 seconds
  wrong-nonce    a stamp for the query with another nonce
  wrong-imprint  a stamp for the query with another message imprint
  huge           5 MiB of answer
  http-error     HTTP status 500
  redirect-file  a redirect to a file: URL
"""

import http.server
import os
import subprocess
import sys
import time

DIR, MODE = sys.argv[1], sys.argv[2]


def element(data, position):
    """(start of contents, end) of the DER element at position."""
    length = data[position + 1]
    start = position + 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[start:start + count], "big")
        start += count
    return start, start + length


def altered(query, what):
    """The query with the last byte of its nonce or of its imprint changed."""
    query = bytearray(query)
    start, _ = element(query, 0)
    _, version_end = element(query, start)
    imprint_start, imprint_end = element(query, version_end)
    if what == "imprint":
        end = imprint_end
    else:
        position = imprint_end
        while query[position] != 0x02:  # past a policy, to the nonce
            position = element(query, position)[1]
        end = element(query, position)[1]
    query[end - 1] ^= 0x01
    return bytes(query)


def reply(query, section):
    return subprocess.run(
        ["openssl", "ts", "-reply", "-config", os.path.join(DIR, "tsa.cnf"), "-section", section,
         "-queryfile", "/dev/stdin"], input=query, capture_output=True, check=True).stdout


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        if MODE == "http-error":
            return self.send_error(500)
        if MODE == "redirect-file":
            self.send_response(302)
            self.send_header("Location", "file:///etc/passwd")
            self.end_headers()
            return
        if MODE == "garbage":
            body = b"this is no time-stamp response"
        elif MODE == "huge":
            body = b"\0" * (5 * 1024 * 1024)
        elif MODE in ("wrong-nonce", "wrong-imprint"):
            body = reply(altered(query, MODE[len("wrong-"):]), "good")
        else:
            if MODE == "slow":
                time.sleep(3)
            body = reply(query, "rejecting" if MODE == "rejecting" else "good")
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log_message(self, *arguments):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("listening", server.server_address[1], flush=True)
server.serve_forever()
