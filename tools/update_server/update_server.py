#!/usr/bin/env python3
"""Local HTTP update server for developing and testing the updater.

Serves a content tree (see make_update_content.py) whose top level holds
both bases the application is configured with:

    http://127.0.0.1:PORT/last/             firmware and sound bank files
    http://127.0.0.1:PORT/vorlensoftware/   application version and installer

Faults can be attached to single files (--fault RELPATH=KIND) or to a whole
base by putting "@KIND/" in front of it in the URL, e.g.
http://127.0.0.1:PORT/@short/last/ . See README.md for the fault kinds.
"""

import argparse
import datetime
import hashlib
import http.server
import os
import posixpath
import random
import signal
import ssl
import socket
import sys
import threading
import time
import urllib.parse

SLOW_DEFAULT_BPS = 8192 * 20          # 8 KiB every 50 ms
STALL_DEFAULT_SECONDS = 30.0

# kind -> does it take an argument after ':'
FAULT_KINDS = {
    "404": False,
    "500": False,
    "short": True,      # optional: number of body bytes actually sent
    "chunked": False,
    "chunkedcut": False,  # chunked, closed half way without the last chunk
    "slow": True,       # optional: bytes per second
    "stall": True,      # optional: seconds to hold the connection open
    "notxml": False,
    "notzip": False,
    "empty": False,     # 200 with Content-Length: 0
    "nolength": False,  # 200 without any length, body ends at close
    "drop": False,      # connection closed before any response
    "hang": True,       # optional: seconds to keep the connection without answering
}

CONTENT_TYPES = {
    ".xml": "application/xml",
    ".zip": "application/zip",
    ".txt": "text/plain; charset=utf-8",
    ".exe": "application/octet-stream",
}


class Fault:
    def __init__(self, kind, arg=None):
        self.kind = kind
        self.arg = arg

    def __str__(self):
        return self.kind if self.arg is None else "%s:%s" % (self.kind, self.arg)


def parse_fault(text):
    """'stall:5' -> Fault('stall', 5.0). Raises ValueError for unknown kinds."""
    kind, _, arg = text.partition(":")
    if kind not in FAULT_KINDS:
        raise ValueError("unknown fault kind %r (known: %s)"
                         % (kind, ", ".join(sorted(FAULT_KINDS))))
    if arg and not FAULT_KINDS[kind]:
        raise ValueError("fault kind %r takes no argument" % kind)
    value = None
    if arg:
        value = float(arg) if kind in ("stall", "hang") else int(arg)
        if value < 0 or (kind == "slow" and value == 0):
            raise ValueError("bad argument for fault %r: %r" % (kind, arg))
    return Fault(kind, value)


def free_port():
    """A loopback port with nothing listening on it right now.

    A client pointed at it gets "connection refused", which is how tests
    simulate an unreachable update server.
    """
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class RequestLog:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8") if path else None

    def write(self, method, path, status, sent, fault):
        if self.file is None:
            return
        stamp = datetime.datetime.now(datetime.timezone.utc).strftime(
            "%Y-%m-%dT%H:%M:%S.%fZ")
        line = "%s\t%s\t%s\t%s\t%d\t%s\n" % (
            stamp, method, path, status, sent, fault or "-")
        with self.lock:
            self.file.write(line)
            self.file.flush()

    def close(self):
        if self.file is not None:
            self.file.close()


class UpdateServer(http.server.ThreadingHTTPServer):
    # Idle keep-alive connections must not hold up exit on SIGTERM.
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, root, faults, log):
        self.root = os.path.realpath(root)
        self.faults = faults
        self.log = log
        self.stopping = threading.Event()
        super().__init__(address, Handler)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VorlenUpdateServer/1.0"

    def log_message(self, fmt, *args):
        pass  # the request log replaces stderr chatter

    def do_GET(self):
        self._serve(send_body=True)

    def do_HEAD(self):
        self._serve(send_body=False)

    # -- request handling ---------------------------------------------------

    def _serve(self, send_body):
        self._sent = 0
        self._status = "-"
        fault = None
        try:
            rel, fault, error = self._resolve()
            if error is not None:
                self._simple(error[0], error[1], send_body)
            else:
                self._serve_file(rel, fault, send_body)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
        finally:
            self.server.log.write(self.command, self.path, self._status,
                                  self._sent, fault)

    def _resolve(self):
        """-> (relative path, fault or None, (status, message) or None)."""
        raw = urllib.parse.urlsplit(self.path).path
        parts = urllib.parse.unquote(raw).split("/")
        fault = None
        if len(parts) > 1 and parts[1].startswith("@"):
            try:
                fault = parse_fault(parts[1][1:])
            except ValueError as e:
                return None, None, (400, str(e))
            parts = [""] + parts[2:]
        rel = "/".join(parts).lstrip("/")
        # Never serve outside the root, whatever the client sends.
        if rel == "" or ".." in posixpath.normpath(rel).split("/") \
                or posixpath.normpath(rel).startswith("/"):
            return rel, fault, (404, "not found")
        if fault is None:
            fault = self.server.faults.get(posixpath.normpath(rel))
        return posixpath.normpath(rel), fault, None

    def _serve_file(self, rel, fault, send_body):
        kind = fault.kind if fault else None
        if kind == "drop":
            self._status = "drop"
            self.close_connection = True
            return
        if kind == "hang":
            self._status = "hang"
            self.server.stopping.wait(fault.arg if fault.arg is not None else STALL_DEFAULT_SECONDS)
            self.close_connection = True
            return
        if kind in ("404", "500"):
            self._simple(int(kind), "fault injected", send_body)
            return

        path = os.path.join(self.server.root, *rel.split("/"))
        real = os.path.realpath(path)
        if not real.startswith(self.server.root + os.sep) or not os.path.isfile(real):
            self._simple(404, "not found", send_body)
            return
        with open(real, "rb") as f:
            body = f.read()
        ctype = CONTENT_TYPES.get(os.path.splitext(rel)[1].lower(),
                                  "application/octet-stream")

        if kind == "notxml":
            body = b"<html><body>Service temporarily unavailable<br></body>"
            body += b" & this is not a well-formed document <<<\n"
            ctype = "text/html"
        elif kind == "notzip":
            # Same length as the real archive, so only the content is wrong.
            seed = int(hashlib.md5(rel.encode()).hexdigest()[:8], 16)
            body = random.Random(seed).randbytes(max(len(body), 1024))
            if body[:2] == b"PK":
                body = b"XX" + body[2:]
        elif kind == "empty":
            body = b""

        if kind in ("chunked", "chunkedcut"):
            self._start(200, ctype, None, chunked=True)
            if send_body:
                self._send_chunked(body, cut=kind == "chunkedcut")
            return
        if kind == "nolength":
            self._start(200, ctype, None)
            self.close_connection = True
            if send_body:
                self._write(body)
            return

        self._start(200, ctype, len(body))
        if not send_body:
            return
        if kind == "short":
            n = fault.arg if fault.arg is not None else len(body) // 2
            self._write(body[:min(n, max(len(body) - 1, 0))])
            self.close_connection = True
        elif kind == "slow":
            self._trickle(body, fault.arg or SLOW_DEFAULT_BPS)
        elif kind == "stall":
            self._write(body[:len(body) // 2])
            seconds = fault.arg if fault.arg is not None else STALL_DEFAULT_SECONDS
            self.server.stopping.wait(seconds)
            self.close_connection = True
        else:
            self._write(body)

    # -- output helpers ------------------------------------------------------

    def _start(self, status, ctype, length, chunked=False):
        self._status = status
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif length is not None:
            self.send_header("Content-Length", str(length))
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.flush()

    def _simple(self, status, message, send_body):
        body = ("%d %s\n" % (status, message)).encode()
        self._start(status, "text/plain; charset=utf-8", len(body))
        if send_body:
            self._write(body)

    def _write(self, data):
        self.wfile.write(data)
        self.wfile.flush()
        self._sent += len(data)

    def _send_chunked(self, body, cut=False):
        step = 8192
        end = len(body) // 2 if cut else len(body)
        for i in range(0, end, step):
            piece = body[i:min(i + step, end)]
            self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            self._sent += len(piece)
        if cut:
            self.wfile.flush()
            self.close_connection = True
            return
        self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()

    def _trickle(self, body, bps):
        # Pieces of at most 1/20 s worth keep the rate smooth for small rates.
        step = max(1, min(8192, bps // 20))
        for i in range(0, len(body), step):
            if self.server.stopping.is_set():
                self.close_connection = True
                return
            piece = body[i:i + step]
            self._write(piece)
            self.server.stopping.wait(len(piece) / bps)


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--root", help="content tree to serve (holds last/ and vorlensoftware/)")
    p.add_argument("--port", type=int, default=0,
                   help="port on 127.0.0.1; 0 (default) picks a free one")
    p.add_argument("--fault", action="append", default=[], metavar="RELPATH=KIND",
                   help="fault for one file, e.g. last/firmware/test/main.zip=short "
                        "(repeatable)")
    p.add_argument("--log", help="append one line per request to this file")
    p.add_argument("--exit-with-parent", action="store_true",
                   help="stop when the process that started the server ends (tests)")
    p.add_argument("--tls", metavar="PEM",
                   help="serve https with this certificate and key (one PEM file)")
    p.add_argument("--print-free-port", action="store_true",
                   help="print a port with nothing listening on it and exit")
    args = p.parse_args(argv)
    if not args.print_free_port and not args.root:
        p.error("--root is required")
    faults = {}
    for fault in args.fault:
        rel, sep, kind = fault.rpartition("=")
        if not sep or not rel:
            p.error("--fault wants RELPATH=KIND, got %r" % fault)
        try:
            faults[posixpath.normpath(rel.lstrip("/"))] = parse_fault(kind)
        except ValueError as e:
            p.error(str(e))
    args.faults = faults
    return args


def watch_parent():
    """A test killed by its time-out must not leave its server behind."""
    parent = os.getppid()

    def watch():
        while os.getppid() == parent:
            time.sleep(0.2)
        os.kill(os.getpid(), signal.SIGTERM)

    threading.Thread(target=watch, daemon=True).start()


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    if args.print_free_port:
        print(free_port(), flush=True)
        return 0
    if not os.path.isdir(args.root):
        print("no such directory: %s" % args.root, file=sys.stderr)
        return 2

    log = RequestLog(args.log)
    server = UpdateServer(("127.0.0.1", args.port), args.root, args.faults, log)
    scheme = "http"
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
        scheme = "https"
    # Blocked before any thread starts, so every thread inherits the mask and
    # the signal is taken only by sigwait below, with no window to miss it.
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})

    # serve_forever runs on its own thread: shutdown() must not be called from
    # the thread that serves, and the main thread waits for the signal.
    worker = threading.Thread(target=server.serve_forever,
                              kwargs={"poll_interval": 0.05}, daemon=True)
    worker.start()
    if args.exit_with_parent:
        watch_parent()
    print("READY %s://127.0.0.1:%d/" % (scheme, server.server_address[1]), flush=True)

    signal.sigwait({signal.SIGTERM, signal.SIGINT})
    server.stopping.set()          # wakes stalled and trickling responses
    server.shutdown()
    server.server_close()
    log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
