#!/usr/bin/env python3
"""The update feed's and the downloads' HTTPS server for the updater tests.

GET /feed/NAME          the file NAME from --root, with its length
GET /redirect/N/PATH    a redirect to /PATH after N more hops (relative)
GET /loop               a redirect to itself
GET /to-http/PATH       a redirect to plain HTTP on the same port
GET /stream/BYTES/NAME  BYTES of the test pattern, without a length
GET /sized/BYTES/NAME   BYTES of the test pattern, with its length
GET /gzip/BYTES/NAME    BYTES of zeros gzip-encoded on the fly, without a
                        length, whatever the request accepts
GET /slow/RATE/BYTES/NAME  BYTES of the test pattern, with its length, at
                        RATE bytes per second
GET /late-redirect/N/PATH   /redirect/N/PATH, each hop half a second late
GET /endless/KIND       a reply without end (endless.py)
Every request line, its User-Agent and its Accept-Encoding go to --log; the
port goes to stdout.
"""
import argparse
import http.server
import os
import ssl
import time
import zlib

import endless

BLOCK = bytes(i % 251 for i in range(65536))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def pattern(self, size, with_length):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if with_length:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        left = size
        while left > 0:
            chunk = BLOCK[: min(left, len(BLOCK))]
            self.wfile.write(chunk)
            left -= len(chunk)

    def gzipped(self, size):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Encoding", "gzip")
        self.end_headers()
        packer = zlib.compressobj(9, zlib.DEFLATED, 31)
        zeros = bytes(1 << 20)
        left = size
        while left > 0:
            self.wfile.write(packer.compress(zeros[: min(left, len(zeros))]))
            left -= len(zeros)
        self.wfile.write(packer.flush())

    def slow(self, rate, size):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        step = max(1, rate // 10)
        sent = 0
        while sent < size:
            chunk = min(step, size - sent)
            self.wfile.write(bytes((sent + i) % 65536 % 251 for i in range(chunk)))
            self.wfile.flush()
            sent += chunk
            time.sleep(chunk / rate)

    def do_GET(self):
        with open(self.server.log, "a") as log:
            log.write("%s %s|accept-encoding=%s\n" % (self.path, self.headers.get("User-Agent", ""),
                                                     self.headers.get("Accept-Encoding", "")))
        parts = self.path.split("?")[0].split("/")
        try:
            if parts[1] == "feed":
                data = open(os.path.join(self.server.root, parts[2]), "rb").read()
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)
            elif parts[1] in ("redirect", "late-redirect"):
                if parts[1] == "late-redirect":
                    time.sleep(0.5)
                n = int(parts[2])
                rest = "/".join(parts[3:])
                self.redirect("/%s/%d/%s" % (parts[1], n - 1, rest) if n > 1 else "/" + rest)
            elif parts[1] == "endless":
                self.close_connection = True
                if not endless.send(self.wfile, parts[2]):
                    self.send_error(404)
            elif parts[1] == "loop":
                self.redirect("/loop")
            elif parts[1] == "to-http":
                self.redirect("http://127.0.0.1:%d/%s" % (self.server.server_port, "/".join(parts[2:])))
            elif parts[1] in ("stream", "sized"):
                self.pattern(int(parts[2]), parts[1] == "sized")
            elif parts[1] == "gzip":
                self.gzipped(int(parts[2]))
            elif parts[1] == "slow":
                self.slow(int(parts[2]), int(parts[3]))
            else:
                self.send_error(404)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass  # the client stopped reading
        except (IndexError, ValueError, OSError):
            self.send_error(404)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--root", required=True)
    ap.add_argument("--log", required=True)
    a = ap.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.root, server.log = a.root, a.log
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(a.cert, a.key)
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    print(server.server_port, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
