#!/usr/bin/env python3
"""The maker's services as the tests see them, on loopback only.

Runs one HTTPS server per --tls CERT KEY pair, each answering the
statistics ("/api/0.1/stats") and form ("/api/0.1/assign") services, and
optionally a CONNECT relay that is the only place where --relay-name
resolves: a proxy in front of it reaches the HTTPS server by that name,
while the client itself cannot, so any success proves the proxy was used.

Prints "HTTPS <index> <port>" and "RELAY <port>" once listening, then one
JSON line per request received ("REQUEST {...}").
"""

import argparse
import json
import socket
import ssl
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from socketserver import StreamRequestHandler, ThreadingTCPServer

args = None
out_lock = threading.Lock()


def emit(line):
    with out_lock:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()


class Service(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *a):
        pass

    def answer(self, code, body):
        data = body.encode()
        self.send_response(code)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8", "replace")
        emit("REQUEST " + json.dumps({
            "server": self.server.index,
            "path": self.path,
            "authorization": self.headers.get("Authorization", ""),
            "contentType": self.headers.get("Content-Type", ""),
            "body": body,
        }))
        if self.headers.get("Authorization", "") != "Basic " + args.credential:
            return self.answer(401, "")
        if self.path == "/api/0.1/stats":
            try:
                doc = json.loads(body)
            except ValueError:
                return self.answer(400, "")
            if doc.get("data") == []:
                return self.answer(200, json.dumps({"datetime": args.last_datetime}))
            return self.answer(200, json.dumps({"stored": len(doc.get("data", []))}))
        if self.path == "/api/0.1/assign":
            return self.answer(200, json.dumps({"status": args.form_status}))
        self.answer(404, "")


class Relay(StreamRequestHandler):
    def handle(self):
        line = self.rfile.readline().decode("latin-1").split()
        while self.rfile.readline() not in (b"\r\n", b"\n", b""):
            pass
        if len(line) < 2 or line[0] != "CONNECT" or line[1].rsplit(":", 1)[0] != args.relay_name:
            self.wfile.write(b"HTTP/1.0 502 Bad Gateway\r\n\r\n")
            return
        upstream = socket.create_connection(("127.0.0.1", https_ports[0]))
        self.wfile.write(b"HTTP/1.0 200 Connection established\r\n\r\n")
        self.wfile.flush()

        def pump(src, dst):
            try:
                while True:
                    data = src.recv(65536)
                    if not data:
                        break
                    dst.sendall(data)
            except OSError:
                pass
            finally:
                try:
                    dst.shutdown(socket.SHUT_WR)
                except OSError:
                    pass

        t = threading.Thread(target=pump, args=(upstream, self.connection), daemon=True)
        t.start()
        pump(self.connection, upstream)
        t.join()
        upstream.close()


https_ports = []


def main():
    global args
    p = argparse.ArgumentParser()
    p.add_argument("--tls", nargs=2, action="append", required=True, metavar=("CERT", "KEY"))
    p.add_argument("--credential", required=True)
    p.add_argument("--last-datetime", default="")
    p.add_argument("--form-status", type=int, default=1)
    p.add_argument("--relay-name", default="")
    args = p.parse_args()

    for index, (cert, key) in enumerate(args.tls):
        server = ThreadingHTTPServer(("127.0.0.1", 0), Service)
        server.daemon_threads = True
        server.index = index
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(cert, key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
        https_ports.append(server.server_address[1])
        threading.Thread(target=server.serve_forever, daemon=True).start()
        emit("HTTPS %d %d" % (index, server.server_address[1]))
    if args.relay_name:
        ThreadingTCPServer.daemon_threads = True
        ThreadingTCPServer.allow_reuse_address = True
        relay = ThreadingTCPServer(("127.0.0.1", 0), Relay)
        threading.Thread(target=relay.serve_forever, daemon=True).start()
        emit("RELAY %d" % relay.server_address[1])
    emit("READY")
    # Ends with the test: its stdin closes.
    sys.stdin.read()


if __name__ == "__main__":
    main()
