"""A private X display for end-to-end tests: Xvfb, the atoms JUCE expects a window manager to
have created, screenshots, and xdotool."""

import ctypes
import fcntl
import os
import subprocess
import tempfile
import time

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD_DIR = os.environ.get("VORLEN_BUILD_DIR", os.path.join(SOURCE_DIR, "build"))
APPLICATION = os.path.join(BUILD_DIR, "VorlenSoftwareUpdate")
EMULATOR = os.path.join(SOURCE_DIR, "tools", "instrument_emulator", "vorlen_emulator.py")
SHOTS = os.path.join(BUILD_DIR, "e2e-screenshots")

# Without a window manager these do not exist and JUCE reports every use as BadAtom.
EWMH_ATOMS = """_NET_ACTIVE_WINDOW _NET_FRAME_EXTENTS _NET_WM_ACTION_CLOSE _NET_WM_ACTION_FULLSCREEN
_NET_WM_ACTION_MINIMIZE _NET_WM_ACTION_RESIZE _NET_WM_ALLOWED_ACTIONS _NET_WM_ICON _NET_WM_PID
_NET_WM_PING _NET_WM_STATE _NET_WM_STATE_ABOVE _NET_WM_STATE_FULLSCREEN _NET_WM_STATE_HIDDEN
_NET_WM_STATE_MAXIMIZED_HORZ _NET_WM_STATE_MAXIMIZED_VERT _NET_WM_STATE_SKIP_TASKBAR
_NET_WM_USER_TIME _NET_WM_WINDOW_TYPE _NET_WM_WINDOW_TYPE_COMBO _NET_WM_WINDOW_TYPE_NORMAL
_NET_WORKAREA _NET_WM_NAME _NET_SUPPORTED _MOTIF_WM_HINTS _KDE_NET_WM_WINDOW_TYPE_OVERRIDE
_XEMBED _XEMBED_INFO WM_CHANGE_STATE WM_DELETE_WINDOW WM_PROTOCOLS WM_STATE WM_TAKE_FOCUS
UTF8_STRING CLIPBOARD TARGETS""".split()


def create_atoms(display):
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    handle = x11.XOpenDisplay(display.encode())
    if not handle:
        raise RuntimeError("cannot open display " + display)
    for name in EWMH_ATOMS:
        x11.XInternAtom(handle, name.encode(), 0)
    x11.XCloseDisplay(handle)


class Desktop:
    def __init__(self, width=1280, height=1024):
        self.display = None
        self.server = None
        self.size = (width, height)

    def start(self):
        for number in range(90, 140):
            if os.path.exists("/tmp/.X11-unix/X%d" % number) or os.path.exists("/tmp/.X%d-lock" % number):
                continue
            display = ":%d" % number
            # -noreset keeps the atoms after the client that made them disconnects.
            self.server = subprocess.Popen(
                ["Xvfb", display, "-screen", "0", "%dx%dx24" % self.size, "-nolisten", "tcp", "-noreset"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists("/tmp/.X11-unix/X%d" % number):
                    break
                time.sleep(0.05)
            try:
                create_atoms(display)
            except RuntimeError:
                self.server.kill()
                self.server.wait()
                continue
            self.display = display
            os.makedirs(SHOTS, exist_ok=True)
            return self
        raise RuntimeError("no free X display")

    def stop(self):
        if self.server:
            self.server.terminate()
            self.server.wait(timeout=10)

    def env(self, **extra):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        # The application's log and settings follow HOME only when no XDG folder overrides it.
        env.pop("XDG_CONFIG_HOME", None)
        env.update(extra)
        return env

    def xdotool(self, *args):
        result = subprocess.run(["xdotool"] + list(args), env=self.env(),
                                capture_output=True, text=True)
        return result.stdout.strip()

    def windows_named(self, pattern):
        found = self.xdotool("search", "--onlyvisible", "--name", pattern)
        return [w for w in found.split() if w]

    def wait_for_window(self, pattern, timeout=15.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            windows = self.windows_named(pattern)
            if windows:
                return windows[0]
            time.sleep(0.1)
        return None

    def close_box(self, box, process, attempts=40):
        """Presses a message box's OK button until the box is gone or `process` has ended.

        Without a window manager the box does not always get the keyboard focus, so a key can
        be lost: the button (centred, 37 pixels above the box's bottom edge) is clicked instead.
        Nothing is clicked once the box has gone: a stray click would wake an application
        whose message loop is stuck and hide the fault.
        """
        for _ in range(attempts):
            if process.poll() is not None:
                return
            where = self.geometry(box)
            if not where or box not in self.windows_named("."):
                return
            self.xdotool("mousemove", str(where["X"] + where["WIDTH"] // 2),
                         str(where["Y"] + where["HEIGHT"] - 37), "click", "1")
            time.sleep(0.5)

    def geometry(self, window):
        text = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
        return {k: int(v) for k, v in values.items() if k in ("X", "Y", "WIDTH", "HEIGHT")}

    def screenshot(self, name):
        path = os.path.join(SHOTS, name + ".png")
        subprocess.run(["import", "-window", "root", path], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        return path


# JUCE's single-instance lock is one file for the whole machine: an application started by
# someone else's test would make ours quit at once as a second instance.
INSTANCE_LOCK = "/var/tmp/juceAppLock_Vorlen Software Update"


def wait_for_instance_lock(timeout=180.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        try:
            fd = os.open(INSTANCE_LOCK, os.O_RDWR | os.O_CREAT, 0o644)
        except OSError:
            return
        try:
            fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            fcntl.lockf(fd, fcntl.LOCK_UN)
            return
        except OSError:
            time.sleep(0.5)
        finally:
            os.close(fd)


def start_emulator(workroot, *arguments):
    link = os.path.join(workroot, "port")
    process = subprocess.Popen(
        ["python3", EMULATOR, "--port", link, "--workdir", os.path.join(workroot, "work"), "--baud", "0",
         "--exit-with-parent"]
        + list(arguments), stdout=subprocess.PIPE, text=True)
    ready = process.stdout.readline()
    if not ready.startswith("READY"):
        process.kill()
        raise RuntimeError("emulator did not start: %r" % ready)
    return process, link


def stop_process(process, timeout=10):
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def new_home():
    return tempfile.mkdtemp(prefix="vorlen-e2e-home-")
