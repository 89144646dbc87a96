"""Helpers for Python tests that need a running update server.

    from harness import start_server, stop_server, refused_base_url, request_log
    proc, base = start_server(root, faults={"last/soundbank/version.xml": "notxml"},
                              log="/tmp/requests.log")
    firmware_base = base + "last/"               # normal
    broken_base = base + "@short/last/"          # every file short
    ...
    lines = request_log("/tmp/requests.log", wait_for="/last/soundbank/version.xml")
    stop_server(proc)
"""

import os
import select
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "update_server.py")

sys.path.insert(0, HERE)
from update_server import free_port  # noqa: E402  (re-exported)


def start_server(root, faults=None, log=None, port=0, timeout=10.0, tls=None):
    """Starts update_server.py; returns (process, "http://127.0.0.1:PORT/").

    faults: dict RELPATH -> KIND (e.g. {"last/firmware/test/main.zip": "stall:3"}).
    tls: a PEM file with certificate and key: the server speaks https.
    """
    cmd = [sys.executable, SERVER, "--root", root, "--port", str(port), "--exit-with-parent"]
    if tls:
        cmd += ["--tls", tls]
    for rel, kind in (faults or {}).items():
        cmd += ["--fault", "%s=%s" % (rel, kind)]
    if log:
        cmd += ["--log", log]
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            stdin=subprocess.DEVNULL, text=True)
    deadline = time.monotonic() + timeout
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            proc.kill()
            proc.wait()
            raise RuntimeError("update server did not report READY in %.1f s" % timeout)
        ready, _, _ = select.select([proc.stdout], [], [], left)
        if ready:
            line = proc.stdout.readline()
            if line.startswith("READY "):
                return proc, line.split(" ", 1)[1].strip()
            if line == "":
                err = proc.stderr.read()
                proc.wait()
                raise RuntimeError("update server exited (%s): %s"
                                   % (proc.returncode, err.strip()))


def stop_server(proc, timeout=5.0):
    """SIGTERM and wait; returns the exit status."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    for stream in (proc.stdout, proc.stderr):
        if stream:
            stream.close()
    return proc.returncode


def request_log(path, wait_for=None, timeout=3.0):
    """The request log as lists of its six tab-separated fields.

    A request's line is written when the server has finished the response,
    which can be a moment after the client has read the last byte of it; with
    wait_for (a request path such as "/last/soundbank/version.xml") this waits
    up to `timeout` seconds for a line of that path to appear.
    """
    deadline = time.monotonic() + timeout
    while True:
        try:
            with open(path, encoding="utf-8") as f:
                lines = [line.rstrip("\n").split("\t") for line in f]
        except FileNotFoundError:
            lines = []
        if wait_for is None or any(len(l) > 2 and l[2] == wait_for for l in lines) \
                or time.monotonic() > deadline:
            return lines
        time.sleep(0.01)


def refused_base_url():
    """A base URL on which every connection is refused (nothing listens)."""
    return "http://127.0.0.1:%d/" % free_port()


def self_signed_pem(directory):
    """A certificate for 127.0.0.1 that no system trusts, with its key, in one PEM file."""
    key, cert = os.path.join(directory, "key.pem"), os.path.join(directory, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    pem = os.path.join(directory, "server.pem")
    with open(pem, "w") as out:
        out.write(open(cert).read() + open(key).read())
    return pem
