#!/usr/bin/env python3
"""The maker's services for the tests, on loopback only.

One HTTPS server per --tls CERT KEY answers the statistics and form services;
a CONNECT relay is the only place where --relay-name resolves (to the first
server). Prints "HTTPS <index> <port>", "RELAY <port>", "READY", then
"REQUEST <json>" per request received. Ends when its stdin closes.

Below a first path part of one of the forms below, the services misbehave:
/huge/sized, /huge/stream, /huge/gzip answer 1 GiB (with its length, without,
gzip-encoded zeros without), /big answers 200 kB of JSON with "status" 1,
/silent never answers, /slow answers 1 byte a second, /endless/KIND never
ends its reply (endless.py).
"""
import argparse, json, socket, ssl, sys, threading, time, zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from socketserver import StreamRequestHandler, ThreadingTCPServer

import endless

lock = threading.Lock()
ports = []


def emit(line):
    with lock:
        print(line, flush=True)


class Service(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *a):
        pass

    def answer(self, code, doc=None):
        data = json.dumps(doc).encode() if doc is not None else b""
        self.send_response(code)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def misbehave(self):
        parts = self.path.split("/")
        if parts[1] == "silent":
            self.rfile.read(1)  # returns when the client gives up
            return True
        if parts[1] == "slow":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            for _ in range(1000):
                self.wfile.write(b" ")
                self.wfile.flush()
                time.sleep(1)
            return True
        if parts[1] == "endless":
            self.close_connection = True
            return endless.send(self.wfile, parts[2])
        if parts[1] == "big":
            self.answer(200, {"status": 1, "pad": " " * 200000})
            return True
        if parts[1] != "huge":
            return False
        self.send_response(200)
        size = 1 << 30
        if parts[2] == "sized":
            self.send_header("Content-Length", str(size))
        if parts[2] == "gzip":
            self.send_header("Content-Encoding", "gzip")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        packer = zlib.compressobj(9, zlib.DEFLATED, 31) if parts[2] == "gzip" else None
        block = b'{"status":1,"datetime":"x","pad":"' + b" " * ((1 << 20) - 34)
        for _ in range(size // len(block)):
            self.wfile.write(packer.compress(block) if packer else block)
        if packer:
            self.wfile.write(packer.flush())
        return True

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode()
        auth = self.headers.get("Authorization", "")
        emit("REQUEST " + json.dumps({"path": self.path, "authorization": auth, "body": body,
                                      "contentType": self.headers.get("Content-Type", "")}))
        try:
            if self.misbehave():
                return
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True
            return
        if auth != "Basic " + args.credential:
            return self.answer(401)
        if self.path == "/api/0.1/assign":
            return self.answer(200, {"status": 1})
        if self.path != "/api/0.1/stats":
            return self.answer(404)
        data = json.loads(body).get("data")
        self.answer(200, {"datetime": args.last_datetime} if data == [] else {"stored": len(data)})


def pump(src, dst):
    try:
        while data := src.recv(65536):
            dst.sendall(data)
    except OSError:
        pass
    try:
        dst.shutdown(socket.SHUT_WR)
    except OSError:
        pass


class Relay(StreamRequestHandler):
    def handle(self):
        request = self.rfile.readline().decode("latin-1").split()
        while self.rfile.readline() not in (b"\r\n", b"\n", b""):
            pass
        if len(request) < 2 or request[0] != "CONNECT" or request[1].rsplit(":", 1)[0] != args.relay_name:
            self.wfile.write(b"HTTP/1.0 502 Bad Gateway\r\n\r\n")
            return
        upstream = socket.create_connection(("127.0.0.1", ports[0]))
        self.wfile.write(b"HTTP/1.0 200 Connection established\r\n\r\n")
        self.wfile.flush()
        back = threading.Thread(target=pump, args=(upstream, self.connection), daemon=True)
        back.start()
        pump(self.connection, upstream)
        back.join()
        upstream.close()


def serve(server):
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


p = argparse.ArgumentParser()
p.add_argument("--tls", nargs=2, action="append", required=True)
p.add_argument("--credential", required=True)
p.add_argument("--last-datetime", default="")
p.add_argument("--relay-name", required=True)
args = p.parse_args()
for index, (cert, key) in enumerate(args.tls):
    server = ThreadingHTTPServer(("127.0.0.1", 0), Service)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    ports.append(serve(server))
    emit("HTTPS %d %d" % (index, ports[-1]))
emit("RELAY %d" % serve(ThreadingTCPServer(("127.0.0.1", 0), Relay)))
emit("READY")
sys.stdin.read()
