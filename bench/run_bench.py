#!/usr/bin/env python3
"""Transfer-engine throughput against Debian's lrzsz, on the instrument emulator's link.

For each line mode (paced at 115200 baud 8N1, and unpaced) one emulator is started; for each
size a random file is moved four ways, each onto a fresh name:

    send     our engine (zmodem_bench send)      vs  host sz  ->  instrument rz
    receive  our engine (zmodem_bench receive)   vs  host rz  <-  instrument lsz

The instrument side is lrzsz in every case. Every transfer is checked byte for byte.

Timing: the main figure is the lifetime of the instrument's rz or lsz, from the emulator's
event log: the same clock for both peers, and neither host program's start counts. The host
figure is our entry point as zmodem_bench times it against the host sz/rz process from start
to exit (which includes lrzsz's start of about a millisecond). CPU is the host side only:
our entry point's process CPU time against the host sz/rz process's.

Printed per mode, size and direction (medians of the repeats): payload bytes per second of
both, our ratio to lrzsz, paced also both against the line's 11 520 bytes/s, the host-timed
ratio, and CPU seconds per MiB.

    python3 bench/run_bench.py [--driver build-bench/zmodem_bench] [--sizes 1M,16M]
        [--modes paced,unpaced] [--repeat 3] [--directions send,receive]
"""

import argparse
import hashlib
import os
import random
import resource
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import termios
import time
import tty

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
EMULATOR = os.path.join(ROOT, "tools", "instrument_emulator", "vorlen_emulator.py")
BAUD = 115200
LINE_BYTES_PER_SECOND = BAUD / 10.0     # 8N1: ten bit times per byte
PROMPT = b"/tmp # "


def parse_size(text):
    t = text.strip().upper()
    for suffix, factor in (("K", 1024), ("M", 1024 * 1024)):
        if t.endswith(suffix):
            return int(float(t[:-1]) * factor)
    return int(t)


def size_label(n):
    if n % (1024 * 1024) == 0:
        return "%d MiB" % (n // (1024 * 1024))
    if n % 1024 == 0:
        return "%d KiB" % (n // 1024)
    return "%d B" % n


class Emulator:
    def __init__(self, baud):
        self.top = tempfile.mkdtemp(prefix="vorlen-bench-")
        self.workdir = os.path.join(self.top, "work")
        self.port = os.path.join(self.top, "port")
        self.proc = subprocess.Popen(
            [sys.executable, EMULATOR, "--port", self.port, "--workdir", self.workdir,
             "--baud", str(baud)],
            stdout=subprocess.PIPE, stderr=open(os.path.join(self.top, "emulator.err"), "wb"))
        ready, _, _ = select.select([self.proc.stdout], [], [], 20)
        line = self.proc.stdout.readline() if ready else b""
        if not line.startswith(b"READY"):
            self.stop()
            raise SystemExit("the emulator did not start: %r" % line)

    @property
    def preload(self):
        return os.path.join(self.workdir, ".emu", "state", "noflush.so")

    @property
    def tmp(self):
        return os.path.join(self.workdir, "tmp")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        shutil.rmtree(self.top, ignore_errors=True)


def open_raw(port):
    fd = os.open(port, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[6][termios.VMIN] = 0
    attrs[6][termios.VTIME] = 0
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    return fd


def read_for(fd, seconds, until=None):
    data = b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and not (until and until(data)):
        r, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if r:
            try:
                chunk = os.read(fd, 65536)
            except BlockingIOError:
                continue
            if not chunk:
                break
            data += chunk
    return data


def type_line(port, line):
    """Types one command line into the instrument's shell and lets go of the port."""
    fd = open_raw(port)
    try:
        read_for(fd, 0.0)
        os.write(fd, line.encode() + b"\r\n")
    finally:
        os.close(fd)


def wait_for_shell(port):
    """lrzsz flushes its input as it exits: a command typed too early is lost. Retry a cd
    until the shell answers it."""
    for _ in range(40):
        fd = open_raw(port)
        try:
            read_for(fd, 0.05)
            os.write(fd, b"cd /tmp\r\n")
            answer = read_for(fd, 1.0, until=lambda d: b"cd /tmp" in d and PROMPT in d.split(b"cd /tmp", 1)[1])
        finally:
            os.close(fd)
        if b"cd /tmp" in answer and PROMPT in answer.split(b"cd /tmp", 1)[1]:
            return
    raise SystemExit("the instrument's shell did not come back")


def run_lrzsz(argv, port, cwd, log, preload):
    """Runs host sz or rz on the port to its end; returns (ok, wall seconds, CPU seconds).

    lrzsz flushes its terminal's output as it exits. On a pseudo-terminal that throws away
    its last bytes (the "OO" after ZFIN), and the instrument's program then waits seconds for
    them; on a real UART they have left already. The emulator's preload library, which gives
    the instrument's own lrzsz the UART's behaviour, does the same for the host's."""
    env = dict(os.environ, LD_PRELOAD=preload)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    fd = open_raw(port)             # lrzsz talks over its standard input and output
    os.set_blocking(fd, True)
    start = time.monotonic()
    try:
        proc = subprocess.run(argv, cwd=cwd, stdin=fd, stdout=fd, stderr=log, timeout=3600, env=env)
    finally:
        wall = time.monotonic() - start
        os.close(fd)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return proc.returncode == 0, wall, cpu


def run_ours(argv, log):
    """Runs zmodem_bench; returns (ok, wall seconds, CPU seconds) of the entry point."""
    proc = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=3600)
    words = proc.stderr.decode("utf-8", "replace").split(None, 3)
    log.write(proc.stderr)
    if len(words) < 3:
        return False, float("nan"), float("nan")
    return proc.returncode == 0 and words[0] == "ok", float(words[1]), float(words[2])


def instrument_lifetime(emu, program, since):
    """Seconds between the last start and exit of `program` in the emulator's event log,
    looking only at lines after byte offset `since`."""
    with open(os.path.join(emu.workdir, "events.log"), "rb") as f:
        f.seek(since)
        lines = f.read().decode("utf-8", "replace").splitlines()
    started = ended = None
    for line in lines:
        words = line.split()
        if len(words) >= 3 and words[1] == program:
            if words[2] == "started":
                started, ended = float(words[0]), None
            elif words[2].startswith("exit=") and started is not None:
                ended = float(words[0])
    return ended - started if started is not None and ended is not None else float("nan")


def events_size(emu):
    return os.path.getsize(os.path.join(emu.workdir, "events.log"))


def same_file(a, b):
    def digest(p):
        h = hashlib.md5()
        with open(p, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                h.update(block)
        return h.hexdigest()
    return os.path.exists(b) and os.path.getsize(a) == os.path.getsize(b) and digest(a) == digest(b)


class Bench:
    def __init__(self, driver, local):
        self.driver = driver
        self.local = local
        self.serial = 0
        self.log = open(os.path.join(local, "transfers.log"), "ab")

    def fresh(self):
        self.serial += 1
        return "b%d.bin" % self.serial

    def send(self, emu, source, peer):
        """Returns (ok, instrument seconds, host seconds, host CPU seconds)."""
        name = self.fresh()
        staged = os.path.join(self.local, name)
        os.link(source, staged)
        wait_for_shell(emu.port)
        since = events_size(emu)
        if peer == "ours":
            ok, wall, cpu = run_ours([self.driver, emu.port, "send", staged], self.log)
        else:
            ok, wall, cpu = run_lrzsz(["sz", staged], emu.port, self.local, self.log, emu.preload)
        arrived = os.path.join(emu.tmp, name)
        wait_for_shell(emu.port)
        ok = ok and same_file(source, arrived)
        lifetime = instrument_lifetime(emu, "rz", since)
        os.unlink(staged)
        if os.path.exists(arrived):
            os.unlink(arrived)
        return ok, lifetime, wall, cpu

    def receive(self, emu, source, peer):
        name = self.fresh()
        shutil.copyfile(source, os.path.join(emu.tmp, name))
        into = os.path.join(self.local, "in")
        os.makedirs(into, exist_ok=True)
        wait_for_shell(emu.port)
        since = events_size(emu)
        if peer == "ours":
            ok, wall, cpu = run_ours([self.driver, emu.port, "receive", into, name], self.log)
        else:
            type_line(emu.port, "lsz /tmp/" + name)
            ok, wall, cpu = run_lrzsz(["rz"], emu.port, into, self.log, emu.preload)
        arrived = os.path.join(into, name)
        wait_for_shell(emu.port)
        ok = ok and same_file(source, arrived)
        lifetime = instrument_lifetime(emu, "lsz", since)
        for p in (arrived, os.path.join(emu.tmp, name)):
            if os.path.exists(p):
                os.unlink(p)
        return ok, lifetime, wall, cpu


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--driver", default=os.path.join(ROOT, "build-bench", "zmodem_bench"),
                    help="the zmodem_bench program (bench/CMakeLists.txt)")
    ap.add_argument("--sizes", default="1M,16M", help="comma-separated, e.g. 64K,1M,16M")
    ap.add_argument("--modes", default="paced,unpaced", help="paced, unpaced or both, comma-separated")
    ap.add_argument("--directions", default="send,receive")
    ap.add_argument("--repeat", type=int, default=1, help="transfers per cell and peer; medians are shown")
    ap.add_argument("--keep", action="store_true", help="keep the local work folder")
    args = ap.parse_args()

    if not os.access(args.driver, os.X_OK):
        raise SystemExit("no zmodem_bench at %s (see bench/CMakeLists.txt, or pass --driver)" % args.driver)
    for program in ("sz", "rz"):
        if shutil.which(program) is None:
            raise SystemExit("%s not found: install lrzsz" % program)
    sizes = [parse_size(x) for x in args.sizes.split(",") if x.strip()]
    modes = [m.strip() for m in args.modes.split(",") if m.strip()]
    directions = [d.strip() for d in args.directions.split(",") if d.strip()]
    for m in modes:
        if m not in ("paced", "unpaced"):
            raise SystemExit("unknown mode %r" % m)

    local = tempfile.mkdtemp(prefix="vorlen-bench-local-")
    bench = Bench(os.path.abspath(args.driver), local)
    rng = random.Random(20240611)
    sources = {}
    for n in sizes:
        path = os.path.join(local, "random-%d" % n)
        with open(path, "wb") as f:
            f.write(rng.randbytes(n))
        sources[n] = path

    print("load average at start: %.2f %.2f %.2f" % os.getloadavg(), flush=True)
    rows = []
    failures = 0
    try:
        for mode in modes:
            emu = Emulator(BAUD if mode == "paced" else 0)
            try:
                for n in sizes:
                    for direction in directions:
                        run = bench.send if direction == "send" else bench.receive
                        figures = {"ours": [], "lrzsz": []}
                        for r in range(args.repeat):
                            # Alternate who goes first, so that a change of load hits both alike.
                            for peer in (("ours", "lrzsz") if r % 2 == 0 else ("lrzsz", "ours")):
                                ok, lifetime, wall, cpu = run(emu, sources[n], peer)
                                if not ok:
                                    failures += 1
                                figures[peer].append((lifetime, wall, cpu))
                                print("  %-7s %-7s %-8s %-5s instrument %8.3f s  host %8.3f s  CPU %7.3f s  %s" % (
                                    mode, size_label(n), direction, peer, lifetime, wall, cpu,
                                    "ok" if ok else "FAILED"), flush=True)
                        rows.append((mode, n, direction, figures))
            finally:
                emu.stop()
    finally:
        if not args.keep:
            shutil.rmtree(local, ignore_errors=True)
    print("load average at end: %.2f %.2f %.2f" % os.getloadavg())

    mib = 1024.0 * 1024.0
    print()
    print("%-8s %-7s %-8s %12s %12s %6s %6s %9s %10s %6s %9s %9s" % (
        "line", "size", "dir", "ours B/s", "lrzsz B/s", "ratio", "best", "ours/line", "lrzsz/line",
        "host", "ours CPU", "lrzsz CPU"))
    for mode, n, direction, figures in rows:
        def median(peer, i):
            return statistics.median(f[i] for f in figures[peer])

        ours, theirs = n / median("ours", 0), n / median("lrzsz", 0)
        best = min(f[0] for f in figures["lrzsz"]) / min(f[0] for f in figures["ours"])
        host = median("lrzsz", 1) / median("ours", 1)
        if mode == "paced":
            line = "%9.3f %10.3f" % (ours / LINE_BYTES_PER_SECOND, theirs / LINE_BYTES_PER_SECOND)
        else:
            line = "%9s %10s" % ("-", "-")
        print("%-8s %-7s %-8s %12.0f %12.0f %6.3f %6.3f %s %6.3f %9.4f %9.4f" % (
            mode, size_label(n), direction, ours, theirs, ours / theirs, best, line, host,
            median("ours", 2) / (n / mib), median("lrzsz", 2) / (n / mib)))
    print("B/s: payload bytes per second over the instrument program's lifetime; ratio: ours / lrzsz;\n"
          "best: the ratio of the fastest transfers of each (the least disturbed by other load);\n"
          "line: %d B/s (115200 baud 8N1); host: the same ratio timed on the host side;\n"
          "CPU: host-side CPU seconds per MiB. Medians of %d.%s" % (
              LINE_BYTES_PER_SECOND, args.repeat, " %d transfers FAILED." % failures if failures else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
