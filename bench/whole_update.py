#!/usr/bin/env python3
"""Whole firmware update, measured against what the line allows.

Runs the real application (an optimised build) on a virtual display against the instrument
emulator's paced 115200-baud line and a local update server, clicks Update Firmware and waits for
the power-off box. Prints the time, the floor (bytes on the wire at 11 520 B/s plus the waits the
application's shell procedures always make, counted from the run's own command log), the ratio,
and where the time went per kind of command. Also the peak resident memory for a small and a large
archive (unpaced line) and the CPU time per second during the paced update.

    python3 bench/whole_update.py [--build-dir build-release] [--runs demo,reference,memory]
"""

import argparse
import collections
import os
import shutil
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE, "tools", "update_server"))
from desktop import Desktop, stop_process, wait_for_instance_lock  # noqa: E402
from harness import start_server, stop_server  # noqa: E402

EMULATOR = os.path.join(SOURCE, "tools", "instrument_emulator", "vorlen_emulator.py")
MAKE_CONTENT = os.path.join(SOURCE, "tools", "update_server", "make_update_content.py")
LINE_BYTES_PER_SECOND = 11520.0
# The Update Firmware button's centre in the editor; the editor sits below the 21-pixel title bar.
BUTTON = (55 + 7 + 208, 35 + 152 + 19)
TITLE_BAR = 21

CONTENT = {
    "demo": [],
    "reference": ["--main-size", "1M", "--extra-files", "30", "--extra-size", "32K"],
    "memory-1M": ["--main-size", "1M"],
    "memory-64M": ["--main-size", "64M"],
}

# Fixed pauses of the shell procedures, in seconds, by what the command line starts with.
SEND_PAUSE, READ_PAUSE, SLOW_PAUSE = 0.100, 0.150, 0.200
AFTER_SEND_PAUSE, DIGEST_PAUSE = 0.200, 0.150


def fixed_wait(command, compares_before_transfer):
    """The least time the application spends on one command line apart from the line itself."""
    wait = SEND_PAUSE
    if command.startswith("md5sum "):
        wait += SLOW_PAUSE + READ_PAUSE
        if compares_before_transfer:
            wait += DIGEST_PAUSE  # a copy that differs is looked at once more
    elif command.startswith("ls "):
        wait += READ_PAUSE
    # mount, mv and chmod are read until their prompts: no fixed wait beyond the send's.
    return wait


def kind_of(command):
    return command.split(" ", 1)[0]


def read_commands(workdir, since):
    commands = []
    with open(os.path.join(workdir, "commands.log")) as f:
        for line in f:
            stamp, _, text = line.rstrip("\n").partition(" ")
            if float(stamp) >= since:
                commands.append((float(stamp), text))
    return commands


def floor_of(commands, wire_bytes):
    """The line time, and the fixed waits of the interval that each command line starts."""
    waits = [0.0] * len(commands)
    for i, (_, command) in enumerate(commands):
        after = i > 0 and kind_of(commands[i - 1][1]) == "rz"
        compares = not after and any(kind_of(c) == "rz" for _, c in commands[i + 1:i + 4])
        waits[i] += fixed_wait(command, command.startswith("md5sum ") and compares)
        if after and command.startswith("md5sum "):
            waits[i - 1] += AFTER_SEND_PAUSE  # the pause after a transfer, before its check
    return wire_bytes / LINE_BYTES_PER_SECOND, waits


def process_figures(pid):
    """(cpu seconds, peak resident KiB) of a running process."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    peak = 0
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                peak = int(line.split()[1])
    return cpu, peak


def run_update(application, content_args, baud, keep):
    work = tempfile.mkdtemp(prefix="vorlen-bench-")
    home, content, emu = (os.path.join(work, d) for d in ("home", "content", "emulator"))
    os.makedirs(home)
    subprocess.run([sys.executable, MAKE_CONTENT, "--out", content] + content_args, check=True,
                   stdout=subprocess.DEVNULL)
    server, base = start_server(content)
    emulator = subprocess.Popen([sys.executable, EMULATOR, "--port", os.path.join(work, "port"), "--workdir", emu,
                                 "--baud", str(baud), "--dump", "--exit-with-parent"], stdout=subprocess.PIPE, text=True)
    desktop = Desktop().start()
    app = None
    try:
        if not emulator.stdout.readline().startswith("READY"):
            raise RuntimeError("the emulator did not start")
        env = desktop.env(HOME=home, VORLEN_SERIAL_PORTS=os.path.join(work, "port"),
                          VORLEN_FIRMWARE_BASE_URL=base + "last/", VORLEN_APPLICATION_BASE_URL=base + "vorlensoftware/")
        wait_for_instance_lock()
        app = subprocess.Popen([application], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = desktop.wait_for_window("^Vorlen Software Update$", timeout=60)
        where = wait_for_editor(desktop, window)
        time.sleep(1.0)
        sizes = {name: os.path.getsize(os.path.join(emu, name)) for name in ("to-device.bin", "to-host.bin")}
        cpu0, _ = process_figures(app.pid)
        desktop.xdotool("mousemove", str(where[0] + BUTTON[0]), str(where[1] + BUTTON[1]), "click", "1")
        clicked = time.time()
        box = None
        while box is None and time.time() - clicked < 3600:
            found = desktop.windows_named("^Vorlen$")
            box = found[0] if found else None
            if box is None:
                time.sleep(0.05)
        ended = time.time()
        cpu1, peak = process_figures(app.pid)
        if box is None:
            raise RuntimeError("no power-off box within an hour")
        wire = sum(os.path.getsize(os.path.join(emu, n)) - s for n, s in sizes.items())
        commands = read_commands(emu, clicked)
        return {"time": ended - clicked, "wire": wire, "commands": commands, "end": ended,
                "cpu": cpu1 - cpu0, "peak_kib": peak, "work": work}
    finally:
        stop_process(app)
        stop_process(emulator)
        stop_server(server)
        desktop.stop()
        if not keep:
            shutil.rmtree(work, ignore_errors=True)


def wait_for_editor(desktop, window, timeout=60.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        g = desktop.geometry(window)
        if g.get("WIDTH", 0) > 400:
            border = (g["WIDTH"] - 540) // 2
            return g["X"] + border, g["Y"] + border + TITLE_BAR
        time.sleep(0.1)
    raise RuntimeError("the editor never appeared")


def report(name, result):
    commands = result["commands"]
    wire_time, waits = floor_of(commands, result["wire"])
    floor = wire_time + sum(waits)
    print("== %s: %d command lines, %d bytes on the wire" % (name, len(commands), result["wire"]))
    if not any(c == "poweroff" for _, c in commands):
        print("   FAILED: the box came without a poweroff; the update did not succeed")
    print("   time %.1f s   floor %.1f s (line %.1f s + fixed waits %.1f s)   ratio %.2f"
          % (result["time"], floor, wire_time, sum(waits), result["time"] / floor))
    print("   CPU %.1f s = %.1f %% of one core" % (result["cpu"], 100.0 * result["cpu"] / result["time"]))
    # Each command's share: the time until the next command (the last one: until the box).
    per_kind = collections.defaultdict(lambda: [0, 0.0, 0.0])
    stamps = [t for t, _ in commands] + [result["end"]]
    for i, (_, command) in enumerate(commands):
        k = per_kind[kind_of(command)]
        k[0] += 1
        k[1] += stamps[i + 1] - stamps[i]
        k[2] += waits[i]
    print("   %-10s %5s %9s %11s" % ("command", "count", "time s", "fixed s"))
    for kind, (count, spent, fixed) in sorted(per_kind.items(), key=lambda item: -item[1][1]):
        print("   %-10s %5d %9.1f %11.1f" % (kind, count, spent, fixed))
    first = commands[0][0] - (result["end"] - result["time"]) if commands else 0.0
    print("   before the first command line: %.1f s (the downloads)" % first)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(SOURCE, "build-release"))
    parser.add_argument("--runs", default="demo,reference,memory")
    parser.add_argument("--keep", action="store_true", help="keep each run's directory")
    args = parser.parse_args()
    application = os.path.join(args.build_dir, "VorlenSoftwareUpdate")
    runs = args.runs.split(",")
    for name in ("demo", "reference"):
        if name in runs:
            report(name, run_update(application, CONTENT[name], 115200, args.keep))
    if "memory" in runs:
        peaks = {}
        for name in ("memory-1M", "memory-64M"):
            result = run_update(application, CONTENT[name], 0, args.keep)
            peaks[name] = result["peak_kib"]
            ended = "poweroff" if any(c == "poweroff" for _, c in result["commands"]) else "FAILED: no poweroff"
            print("== %s (unpaced): %.1f s, %s, peak resident %.1f MiB"
                  % (name, result["time"], ended, result["peak_kib"] / 1024.0))
        print("   peak difference 64 MiB - 1 MiB archive: %.1f MiB" % ((peaks["memory-64M"] - peaks["memory-1M"]) / 1024.0))


if __name__ == "__main__":
    main()
