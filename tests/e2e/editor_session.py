"""One running application against the instrument emulator and a local update server, with
the editor's geometry known: the helpers click and read pixels in editor coordinates."""

import os
import subprocess
import sys
import tempfile
import time

from desktop import APPLICATION, SOURCE_DIR, new_home, start_emulator, stop_process, wait_for_instance_lock

sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "update_server"))
from harness import start_server, stop_server  # noqa: E402

MAKE_CONTENT = os.path.join(SOURCE_DIR, "tools", "update_server", "make_update_content.py")

EDITOR_SIZE = (540, 487)
TITLE_BAR_HEIGHT = 21
TAB_WIDTH, TAB_Y = 83, 7
TAB_BAR_X = (EDITOR_SIZE[0] - 3 * TAB_WIDTH) // 2
VIEW_ORIGIN = (55, 35)


def pixel(path, x, y):
    """(r, g, b) of one pixel of a PNG file."""
    data = subprocess.run(["convert", path, "-crop", "1x1+%d+%d" % (x, y), "+repage", "-depth", "8", "rgb:-"],
                          capture_output=True, check=True).stdout
    return tuple(data[:3])


def bluish(colour, margin=40):
    r, g, b = colour
    return b > r + margin and b > g + 10


class EditorSession:
    def __init__(self, desktop, content_arguments=(), emulator_arguments=(), firmware_fault=""):
        self.desktop = desktop
        self.home = new_home()
        self.content = tempfile.mkdtemp(prefix="vorlen-e2e-content-")
        self.workroot = tempfile.mkdtemp(prefix="vorlen-e2e-emu-")
        self.content_arguments = list(content_arguments)
        self.emulator_arguments = list(emulator_arguments)
        # e.g. "@slow:16384/": every firmware download goes through that fault of the server.
        self.firmware_fault = firmware_fault
        self.server = self.emulator = self.app = None
        self.window = None
        self.origin = None

    def start(self):
        subprocess.run([sys.executable, MAKE_CONTENT, "--out", self.content] + self.content_arguments,
                       check=True, stdout=subprocess.DEVNULL)
        self.server, base = start_server(self.content, log=os.path.join(self.content, "requests.log"))
        self.emulator, link = start_emulator(self.workroot, *self.emulator_arguments)
        env = self.desktop.env(HOME=self.home, VORLEN_SERIAL_PORTS=link,
                               VORLEN_FIRMWARE_BASE_URL=base + self.firmware_fault + "last/",
                               VORLEN_APPLICATION_BASE_URL=base + "vorlensoftware/")
        wait_for_instance_lock()
        self.app = subprocess.Popen([APPLICATION], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.window = self.desktop.wait_for_window("^Vorlen Software Update$")
        if self.window is None:
            raise RuntimeError("the main window did not appear")
        self.wait_for_size()
        return self

    def wait_for_size(self, timeout=15.0):
        """The window gets the editor's size once the manager has read the instrument."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            geometry = self.desktop.geometry(self.window)
            border = (geometry["WIDTH"] - EDITOR_SIZE[0]) // 2
            if geometry["WIDTH"] > 400 and geometry["HEIGHT"] - EDITOR_SIZE[1] - TITLE_BAR_HEIGHT == 2 * border:
                self.geometry = geometry
                self.origin = (geometry["X"] + border, geometry["Y"] + border + TITLE_BAR_HEIGHT)
                # Let the first paint reach the screen.
                time.sleep(0.5)
                return
            time.sleep(0.1)
        raise RuntimeError("the window never took the editor's size: %r" % self.desktop.geometry(self.window))

    def screen(self, x, y):
        return self.origin[0] + x, self.origin[1] + y

    def click(self, x, y):
        sx, sy = self.screen(x, y)
        self.desktop.xdotool("mousemove", str(sx), str(sy), "click", "1")
        # Move away so that no hover face stays under the pointer in the next screenshot.
        self.desktop.xdotool("mousemove", "1", "1")

    def click_close(self):
        """The title bar's close button, the leftmost one (4 pixels in, 19 wide)."""
        self.click(4 + 9, -TITLE_BAR_HEIGHT // 2)

    def log(self):
        path = os.path.join(self.home, ".config", "VorlenLog.txt")
        if not os.path.exists(path):
            return ""
        with open(path, errors="replace") as f:
            return f.read()

    def click_tab(self, index):
        self.click(TAB_BAR_X + TAB_WIDTH * index + TAB_WIDTH // 2, TAB_Y + 10)

    def shot(self, name):
        path = self.desktop.screenshot(name)
        return path

    def editor_pixel(self, path, x, y):
        return pixel(path, *self.screen(x, y))

    def commands(self):
        with open(os.path.join(self.workroot, "work", "commands.log")) as f:
            return [line.split(" ", 1)[1].rstrip("\n") for line in f]

    def events(self):
        path = os.path.join(self.workroot, "work", "events.log")
        return open(path).read() if os.path.exists(path) else ""

    def stop(self):
        stop_process(self.app)
        stop_process(self.emulator)
        if self.server:
            stop_server(self.server)
        output = self.app.stdout.read().decode(errors="replace") if self.app and self.app.stdout else ""
        return output
