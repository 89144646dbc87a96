"""The Windows build under Wine on a private X display: a fresh Wine prefix whose COM ports are
links the test points at emulators, Wine's virtual desktop, the installed application started
in it, clicks in the application's window, and the files Windows would keep for the user."""

import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "update_server"))
from desktop import Desktop, start_emulator, stop_process  # noqa: E402,F401

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
DESKTOP_SIZE = (1024, 768)
PRODUCT = "Vorlen Software Update"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VorlenSoftwareUpdate"
# Two registered COM ports: the one listed first will not answer.
PORTS = ("COM3", "COM9")


class WinePrefix:
    def __init__(self, path, display):
        self.path = path
        self.display = display
        self.links = {port: os.path.join(path, "port-" + port.lower()) for port in PORTS}

    def env(self, **extra):
        env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all", DISPLAY=self.display,
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        env.update(extra)
        return env

    def run(self, *args, timeout=120, **extra):
        return subprocess.run([WINE] + list(args), env=self.env(**extra), capture_output=True,
                              text=True, errors="replace", timeout=timeout)

    def wait(self):
        """Every Wine process of this prefix has ended (the uninstaller restarts itself)."""
        subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=120)

    def create(self):
        shutil.rmtree(self.path, ignore_errors=True)
        os.makedirs(self.path)
        subprocess.run([WINE, "wineboot", "--init"], env=self.env(), capture_output=True, timeout=180)
        self.run("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f")
        for port, link in self.links.items():
            self.point(port, "/nonexistent")
            self.run("reg", "add", r"HKLM\Software\Wine\Ports", "/v", port, "/d", link, "/f")
        # Native title bars draw their glyphs with this font.
        fonts = os.path.join(self.drive_c(), "windows", "Fonts")
        shutil.copy("/usr/share/wine/fonts/marlett.ttf", fonts)
        # The ports are read when Wine starts.
        subprocess.run([WINESERVER, "-k"], env=self.env(), timeout=60)
        self.wait()

    def point(self, port, device):
        link = self.links[port]
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.realpath(device) if os.path.exists(device) else device, link)

    def drive_c(self):
        return os.path.join(self.path, "drive_c")

    def user_dir(self):
        users = os.path.join(self.drive_c(), "users")
        name = next(n for n in os.listdir(users) if n not in ("Public", "public"))
        return os.path.join(users, name)

    def app_data(self):
        return os.path.join(self.user_dir(), "AppData", "Roaming")

    def program_dir(self):
        return os.path.join(self.drive_c(), "Program Files", PRODUCT)

    def shortcut(self):
        return os.path.join(self.drive_c(), "ProgramData", "Microsoft", "Windows", "Start Menu",
                            "Programs", PRODUCT + ".lnk")

    def log(self):
        return self.read(os.path.join(self.app_data(), "VorlenLog.txt"))

    def settings_path(self):
        return os.path.join(self.app_data(), "Trel", "Vorlen.settings")

    def settings(self):
        return self.read(self.settings_path())

    @staticmethod
    def read(path):
        if not os.path.exists(path):
            return ""
        with open(path, errors="replace") as f:
            return f.read()

    def registry_value(self, key, name):
        out = self.run("reg", "query", key, "/v", name).stdout
        for line in out.splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0] == name:
                return parts[2].strip()
        return None

    def install(self, setup):
        result = self.run(setup, "/S", timeout=180)
        self.wait()
        return result.returncode

    @staticmethod
    def windows_path(path):
        return "Z:" + path.replace("/", "\\")


class WineApp:
    """The installed application in Wine's virtual desktop; clicks in editor coordinates."""

    EDITOR_SIZE = (540, 487)
    TITLE_BAR_HEIGHT = 21

    def __init__(self, desktop, prefix, **env):
        self.desktop = desktop
        self.prefix = prefix
        self.env = env
        self.process = None
        self.origin = None

    def start(self):
        program = os.path.join(self.prefix.program_dir(), "VorlenSoftwareUpdate.exe")
        desktop = "/desktop=vorlen,%dx%d" % DESKTOP_SIZE
        self.process = subprocess.Popen([WINE, "explorer", desktop, self.prefix.windows_path(program)],
                                        env=self.prefix.env(**self.env), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        return self

    def wait_for_log(self, text, timeout=30.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if text in self.prefix.log():
                return True
            time.sleep(0.25)
        return False

    def ended(self, timeout=30.0):
        """The log is complete only once the application has closed it."""
        return self.wait_for_log("End Zmodem logging", timeout)

    def running(self):
        return self.process is not None and self.process.poll() is None and "End Zmodem logging" not in self.prefix.log()

    def find_editor(self, timeout=60.0):
        """The window has its editor's size once the instrument has been read; it is placed
        after it has been resized, so the place is taken once it has stayed the same."""
        deadline = time.time() + timeout
        last = None
        while time.time() < deadline:
            window = self.desktop.wait_for_window("^%s$" % PRODUCT, timeout=1)
            where = self.geometry(window) if window else {}
            border = (where.get("WIDTH", 0) - self.EDITOR_SIZE[0]) // 2
            if where.get("WIDTH", 0) > 400 and where["HEIGHT"] - self.EDITOR_SIZE[1] - self.TITLE_BAR_HEIGHT == 2 * border:
                if where == last:
                    self.origin = (where["X"] + border, where["Y"] + border + self.TITLE_BAR_HEIGHT)
                    return self.origin
                last = where
            time.sleep(0.5)
        raise AssertionError("the editor did not appear")

    def geometry(self, window):
        """Screen position and size. (xdotool counts the position of a window inside Wine's
        desktop window twice.)"""
        out = subprocess.run(["xwininfo", "-id", window], env=self.desktop.env(), capture_output=True, text=True).stdout
        fields = {"Absolute upper-left X": "X", "Absolute upper-left Y": "Y", "Width": "WIDTH", "Height": "HEIGHT"}
        where = {}
        for line in out.splitlines():
            name, _, value = line.strip().partition(":")
            if name in fields:
                where[fields[name]] = int(value)
        return where

    def boxes(self):
        """The message boxes ("Vorlen") and the setup program's window that are open."""
        return self.desktop.windows_named("^Vorlen$") + self.desktop.windows_named("^%s Setup" % PRODUCT)

    def answer_boxes(self, until, timeout=60.0):
        """Presses Return (the default button: OK, Yes, Install) in every box that opens, until
        `until()` holds. Nothing is pressed while no box is open: Return would go to the window."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if until():
                return True
            boxes = self.boxes()
            if boxes:
                time.sleep(0.3)
                self.key(boxes[-1], "Return")
            time.sleep(0.7)
        return until()

    def key(self, window, *keys):
        """Keys for one of Wine's windows (a box, a dialog): X's focus is put on it first."""
        self.desktop.xdotool("windowfocus", window)
        self.desktop.xdotool("key", "--delay", "50", *keys)

    def type_into(self, window, x, y, text):
        """Clicks a field of `window` (x, y inside it, negative y from its bottom) and types."""
        where = self.geometry(window)
        self.click_screen(where["X"] + x, where["Y"] + (y if y >= 0 else where["HEIGHT"] + y))
        time.sleep(0.3)
        self.desktop.xdotool("type", "--delay", "20", text)

    def click_screen(self, x, y):
        self.desktop.xdotool("mousemove", str(x), str(y), "click", "1")
        self.desktop.xdotool("mousemove", "1", "1")

    def click(self, x, y):
        self.click_screen(self.origin[0] + x, self.origin[1] + y)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        subprocess.run([WINESERVER, "-k"], env=self.prefix.env(), timeout=60)
