"""vorlen-cli against the instrument emulator and a local update server: one session owns a
private HOME (for the log and the settings), the server's content, the emulator and its
records."""

import hashlib
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", ".."))
BUILD_DIR = os.environ.get("VORLEN_BUILD_DIR", os.path.join(SOURCE_DIR, "build"))
CLI = os.path.join(BUILD_DIR, "vorlen-cli")
MAKE_CONTENT = os.path.join(SOURCE_DIR, "tools", "update_server", "make_update_content.py")
EMULATOR = os.path.join(SOURCE_DIR, "tools", "instrument_emulator", "vorlen_emulator.py")

sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "update_server"))
from desktop import start_emulator, stop_process  # noqa: E402
from harness import start_server, stop_server  # noqa: E402


def md5(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def tree_digests(root):
    """{relative path: md5} of every file below root."""
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path):
                found[os.path.relpath(path, root)] = md5(path)
    return found


class CliSession:
    def __init__(self, content_arguments=(), emulator_arguments=(), faults=None, with_emulator=True, tls=None):
        self.home = tempfile.mkdtemp(prefix="vorlen-cli-home-")
        self.content = tempfile.mkdtemp(prefix="vorlen-cli-content-")
        self.workroot = tempfile.mkdtemp(prefix="vorlen-cli-emu-")
        subprocess.run([sys.executable, MAKE_CONTENT, "--out", self.content] + list(content_arguments),
                       check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(self.content, "manifest.json")) as f:
            self.manifest = json.load(f)
        self.server, self.base = start_server(self.content, faults=faults, tls=tls)
        self.emulator = self.link = None
        if with_emulator:
            self.emulator, self.link = start_emulator(self.workroot, *emulator_arguments)

    @property
    def work(self):
        return os.path.join(self.workroot, "work")

    def instrument_path(self, device_path):
        """The emulator's host copy of a path on the instrument (/usr/...)."""
        return os.path.join(self.work, device_path.lstrip("/"))

    def env(self, **extra):
        env = dict(os.environ)
        env.pop("XDG_CONFIG_HOME", None)
        env.pop("DISPLAY", None)
        env.update(HOME=self.home, VORLEN_FIRMWARE_BASE_URL=self.base + "last/",
                   VORLEN_APPLICATION_BASE_URL=self.base + "vorlensoftware/")
        if self.link:
            env["VORLEN_SERIAL_PORTS"] = self.link
        env.update(extra)
        return env

    def start(self, *arguments, **extra):
        return subprocess.Popen([CLI] + list(arguments), env=self.env(**extra), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def run(self, *arguments, timeout=240, **extra):
        """(exit status, standard output, standard error)."""
        process = self.start(*arguments, **extra)
        out, err = process.communicate(timeout=timeout)
        return process.returncode, out, err

    def log_text(self):
        with open(os.path.join(self.home, ".config", "VorlenLog.txt"), errors="replace") as f:
            return f.read()

    def commands(self):
        path = os.path.join(self.work, "commands.log")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return [line.split(" ", 1)[1].rstrip("\n") for line in f]

    def events(self):
        path = os.path.join(self.work, "events.log")
        return open(path).read() if os.path.exists(path) else ""

    def control(self, command):
        """A run-time fault or record of the emulator; returns its answer."""
        return subprocess.run([sys.executable, EMULATOR, "control", self.work, command], check=True,
                              stdout=subprocess.PIPE, text=True).stdout

    def stop(self):
        stop_process(self.emulator)
        stop_server(self.server)
