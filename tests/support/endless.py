"""Replies that never end, for the test servers: what Qt 5 collects unseen
and without bound (a status line, a header line, header lines, a chunk-size
line, at once or after a first chunk). KIND is the path part after
/endless/."""
import time

KINDS = {
    "status-line": b"HTTP/1.1 200 ",
    "header-line": b"HTTP/1.1 200 OK\r\nX-Long: ",
    "headers": b"HTTP/1.1 200 OK\r\n",
    "chunk-line": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
    "later-chunk-line": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n",
}


def send(wfile, kind, seconds=30):
    """Sends KIND's start, then its endless part until the client goes or
    SECONDS pass. False for an unknown KIND."""
    if kind not in KINDS:
        return False
    wfile.write(KINDS[kind])
    block = b"a" * 65536 if kind == "header-line" else b"O" * 65536 if kind == "status-line" else b"0" * 65536
    end, n = time.time() + seconds, 0
    while time.time() < end:
        if kind == "headers":
            block = b"".join(b"X-%d: %s\r\n" % (n + i, b"b" * 1000) for i in range(64))
            n += 64
        wfile.write(block)
    return True
