#!/usr/bin/env python3
"""Wall time of `vorlen-cli --all-instruments JOB` (update-firmware unless --job says otherwise) on
N emulated instruments against the same job on one, measured in one run: one instrument first,
then N, each on its own paced line (115200 baud unless --baud says otherwise) and the same local
update server.

    python3 bench/all_instruments.py [--instruments 4] [--job update-sounds] [--baud 115200]
                                     [--build-dir build] [--content "--wavetable-size 256K"]

A ratio near 1 means the instruments are updated side by side; N would mean one after another.
"""

import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE, "tools", "update_server"))
from desktop import stop_process  # noqa: E402
from harness import start_server, stop_server  # noqa: E402

EMULATOR = os.path.join(SOURCE, "tools", "instrument_emulator", "vorlen_emulator.py")
MAKE_CONTENT = os.path.join(SOURCE, "tools", "update_server", "make_update_content.py")


def start_emulators(root, count, baud):
    started = []
    for i in range(count):
        workroot = os.path.join(root, "emu%d" % i)
        os.makedirs(workroot)
        link = os.path.join(workroot, "port")
        process = subprocess.Popen([sys.executable, EMULATOR, "--port", link, "--workdir", os.path.join(workroot, "work"),
                                    "--baud", str(baud), "--serial", "VRL2400%04d" % i, "--exit-with-parent"],
                                   stdout=subprocess.PIPE, text=True)
        if not process.stdout.readline().startswith("READY"):
            raise RuntimeError("emulator %d did not start" % i)
        started.append((process, link))
    return started


def timed_update(cli, job, base, count, baud, root):
    emulators = start_emulators(os.path.join(root, "n%d" % count), count, baud)
    home = tempfile.mkdtemp(prefix="vorlen-bench-home-", dir=root)
    env = dict(os.environ, HOME=home, VORLEN_SERIAL_PORTS=":".join(link for _, link in emulators),
               VORLEN_FIRMWARE_BASE_URL=base + "last/", VORLEN_APPLICATION_BASE_URL=base + "vorlensoftware/")
    env.pop("DISPLAY", None)
    start = time.monotonic()
    done = subprocess.run([cli, "--all-instruments", job], env=env, capture_output=True, text=True)
    seconds = time.monotonic() - start
    for process, _ in emulators:
        stop_process(process)
    if done.returncode != 0:
        logs = os.path.join(home, ".config")
        tails = "".join("--- %s\n%s\n" % (name, open(os.path.join(logs, name), errors="replace").read()[-3000:])
                        for name in sorted(os.listdir(logs)) if name.startswith("VorlenLog-"))
        raise RuntimeError("the run on %d failed (%d):\n%s%s" % (count, done.returncode, done.stdout, tails))
    return seconds, done.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--instruments", type=int, default=4)
    parser.add_argument("--job", default="update-firmware", choices=["update-firmware", "update-sounds", "status"])
    parser.add_argument("--baud", type=int, default=115200)
    parser.add_argument("--build-dir", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--content", default="", help="arguments of make_update_content.py")
    arguments = parser.parse_args()

    root = tempfile.mkdtemp(prefix="vorlen-bench-all-")
    content = os.path.join(root, "content")
    subprocess.run([sys.executable, MAKE_CONTENT, "--out", content] + shlex.split(arguments.content),
                   check=True, stdout=subprocess.DEVNULL)
    server, base = start_server(content)
    try:
        cli = os.path.join(arguments.build_dir, "vorlen-cli")
        one, _ = timed_update(cli, arguments.job, base, 1, arguments.baud, root)
        many, table = timed_update(cli, arguments.job, base, arguments.instruments, arguments.baud, root)
    finally:
        stop_server(server)
        shutil.rmtree(root, ignore_errors=True)
    print(table, end="")
    print("%s, 1 instrument: %.1f s; %d instruments: %.1f s; ratio %.2f (%d would be one after another)"
          % (arguments.job, one, arguments.instruments, many, many / one, arguments.instruments))


if __name__ == "__main__":
    main()
