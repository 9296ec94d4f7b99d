"""The authorities of the long-term signature tests on 127.0.0.1, over the
files of DIR (make_authorities.sh, then issue_long_term.sh), read at each
request: an RFC 3161 query POSTed to any path but /ocsp is answered by
`openssl ts -reply`, an OCSP request POSTed to /ocsp by `openssl ocsp -index`,
and GET /tsa.crl gives the TSA CA's CRL. Prints "listening PORT" once it
accepts.

Usage: authority_server.py DIR MODE, where MODE is the TSA's, one of
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


def ocsp(request):
    files = {name: os.path.join(DIR, name)
             for name in ("index.txt", "ocsp-ca.pem", "ocsp.pem", "ocsp.key")}
    return subprocess.run(
        ["openssl", "ocsp", "-index", files["index.txt"], "-CA", files["ocsp-ca.pem"],
         "-rsigner", files["ocsp.pem"], "-rkey", files["ocsp.key"], "-nmin", "10",
         "-reqin", "/dev/stdin", "-respout", "/dev/stdout"],
        input=request, capture_output=True, check=True).stdout


class Handler(http.server.BaseHTTPRequestHandler):
    def answer(self, body, content_type):
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def do_GET(self):
        if self.path != "/tsa.crl":
            return self.send_error(404)
        with open(os.path.join(DIR, "tsa.crl"), "rb") as crl:
            self.answer(crl.read(), "application/pkix-crl")

    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        if self.path == "/ocsp":
            return self.answer(ocsp(query), "application/ocsp-response")
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
        self.answer(body, "application/timestamp-reply")

    def log_message(self, *arguments):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("listening", server.server_address[1], flush=True)
server.serve_forever()
