"""A firmware update ended by force after every command it types, each followed by a new start.

For command index N the instrument emulator freezes the line once its shell has received its Nth
command (the application's later bytes never arrive), vorlen-cli is killed there, the line is
given back, and then:
  - at the moment of the kill every file below /usr/ap holds its old bytes or its complete new
    ones, and the version documents are new only when every other file already is;
  - a new `vorlen-cli status` finds the instrument;
  - a new `vorlen-cli --yes update-firmware` ends well, after which every file holds its new
    bytes, /usr/ap/main is executable, nothing of the update is left behind, and the instrument
    was powered off only after the last version document was in place (or the first run had
    already put everything in place, and nothing more is offered). A kill after the power-off
    reached the instrument leaves it off, with every file new.
"""

import os
import signal
import time

from cli_session import CliSession

CONTENT = ("--main-size", "3K", "--lib-size", "2K", "--dream-size", "2K", "--wavetable-size", "1K")
INSTRUMENT = ("--firmware-version", "1.5", "--dream-version", "1.5")
VERSION_DOCUMENTS = ("/usr/ap/config.xml", "/usr/ap/dream_version.xml")
STAGING = ".vorlen-update."


def read_tree(session):
    """{path on the instrument: (mode, md5)} of the files below /usr, taken now."""
    session.control("tree")
    files = {}
    with open(os.path.join(session.work, "tree.txt")) as f:
        for line in f:
            kind, mode, _, digest, path = line.rstrip("\n").split(" ", 4)
            if kind == "f" and path.startswith("/usr/"):
                files[path] = (int(mode, 8), digest)
    return files


def new_files(session):
    """{path on the instrument: md5} of every file the update brings."""
    return {entry["device_path"]: entry["md5"] for archive in ("last/firmware/test/main.zip", "last/dreamfw/test/dream.zip")
            for entry in session.manifest["archives"][archive] if not entry["dir"]}


def check_old_or_new(before, now, wanted):
    """Faults at the moment of the kill, as text; empty when there are none."""
    faults = []
    for path, digest in wanted.items():
        old = before.get(path, (None, None))[1]
        current = now.get(path, (None, None))[1]
        if current not in (old, digest):
            faults.append("%s is neither old nor new" % path)
    done = all(now.get(path, (0, None))[1] == digest for path, digest in wanted.items() if path not in VERSION_DOCUMENTS)
    for path in VERSION_DOCUMENTS:
        if now.get(path, (0, None))[1] == wanted[path] != before[path][1] and not done:
            faults.append("%s claims the new version before every other file is in place" % path)
    return faults


def check_finished(session, now, wanted):
    faults = ["%s does not hold its new bytes" % p for p, d in wanted.items() if now.get(p, (0, None))[1] != d]
    faults += ["%s was left behind" % p for p in now if os.path.basename(p).startswith(STAGING)]
    if not now.get("/usr/ap/main", (0, None))[0] & 0o100:
        faults.append("/usr/ap/main is not executable")
    commands = session.commands()
    if "poweroff" in commands:
        last_version_move = max((i for i, c in enumerate(commands) if c.startswith("mv " + STAGING) and
                                 c.endswith(("config.xml", "dream_version.xml"))), default=-1)
        if commands.index("poweroff") < last_version_move:
            faults.append("powered off before the version documents were in place")
    return faults


def wait_for(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return False


def reference_commands():
    """The command lines of the whole update, uninterrupted."""
    session = CliSession(CONTENT, INSTRUMENT)
    try:
        session.run("--yes", "update-firmware")
        return session.commands()
    finally:
        session.stop()


def walk_one(index):
    """(reached, faults): whether the update got as far as command `index`, and what went wrong."""
    session = CliSession(CONTENT, INSTRUMENT + ("--freeze", str(index)))
    try:
        wanted = new_files(session)
        before = read_tree(session)
        first = session.start("--yes", "update-firmware")
        reached = wait_for(lambda: "frozen after command" in session.events() or first.poll() is not None, 240)
        if first.poll() is not None or not reached:
            first.kill()
            first.wait()
            return False, []
        first.send_signal(signal.SIGKILL)
        first.wait()
        faults = ["at the kill: " + f for f in check_old_or_new(before, read_tree(session), wanted)]
        if "poweroff" in session.commands():
            # The update had ended: the instrument is off, and must hold every new file.
            return True, faults + check_finished(session, read_tree(session), wanted)
        session.control("thaw")

        status, _, err = session.run("status")
        if status != 0:
            faults.append("status after the kill exited %d: %s" % (status, err.strip()[-300:]))
        status, _, err = session.run("--yes", "update-firmware")
        if status != 0:
            faults.append("the update after the kill exited %d: %s" % (status, err.strip()[-300:]))
        faults += check_finished(session, read_tree(session), wanted)
        return True, faults
    finally:
        session.stop()
