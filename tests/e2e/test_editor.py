"""The tabbed editor in the real window: tabs switch the views, and a firmware update started
from its button runs against the instrument emulator and the local update server."""

import hashlib
import shutil
import os
import subprocess
import time
import unittest

from desktop import Desktop
from editor_session import (EDITOR_SIZE, TITLE_BAR_HEIGHT, EditorSession, TAB_BAR_X, TAB_WIDTH, TAB_Y, VIEW_ORIGIN,
                            bluish)

VIEW_AREA = (VIEW_ORIGIN[0], VIEW_ORIGIN[1], 440, 400)
TASK_STRIP = (62, 437, 430, 29)
# Inside the About view's instrument picture, left of the instrument: the dark blue tile.
PICTURE_TILE = (VIEW_ORIGIN[0] + 158, VIEW_ORIGIN[1] + 100)
UPDATE_FIRMWARE_BUTTON = (VIEW_ORIGIN[0] + 7 + 208, VIEW_ORIGIN[1] + 152 + 19)
CANCEL_BUTTON = (487, 442)


def crop(session, path, area):
    """A digest of the pixels of an editor area (equal digests: equal pixels)."""
    x, y = session.screen(area[0], area[1])
    data = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (area[2], area[3], x, y), "+repage", "-depth", "8", "rgb:-"],
                          capture_output=True, check=True).stdout
    assert len(data) == area[2] * area[3] * 3, "area inside the screenshot"
    return hashlib.sha1(data).hexdigest()


def tab_face(session, path, index):
    # Near the top-left of the tab, clear of its caption.
    return session.editor_pixel(path, TAB_BAR_X + TAB_WIDTH * index + 8, TAB_Y + 4)


class EditorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desktop = Desktop().start()

    @classmethod
    def tearDownClass(cls):
        cls.desktop.stop()

    def setUp(self):
        self.session = None

    def tearDown(self):
        if self.session:
            self.session.stop()
            for path in (self.session.home, self.session.content, self.session.workroot):
                shutil.rmtree(path, ignore_errors=True)

    def test_tabs_switch_the_views(self):
        s = self.session = EditorSession(self.desktop).start()

        firmware = s.shot("editor-firmware-tab")
        self.assertTrue(bluish(tab_face(s, firmware, 0)), "the Firmware tab is the current one at start")
        self.assertFalse(bluish(tab_face(s, firmware, 1)))
        self.assertFalse(bluish(tab_face(s, firmware, 2)))
        self.assertFalse(bluish(s.editor_pixel(firmware, *PICTURE_TILE)))

        s.click_tab(1)
        time.sleep(0.5)
        presets = s.shot("editor-presets-tab")
        self.assertTrue(bluish(tab_face(s, presets, 1)))
        self.assertFalse(bluish(tab_face(s, presets, 0)))
        self.assertNotEqual(crop(s, presets, VIEW_AREA), crop(s, firmware, VIEW_AREA))

        s.click_tab(2)
        time.sleep(0.5)
        about = s.shot("editor-about-tab")
        self.assertTrue(bluish(tab_face(s, about, 2)))
        self.assertTrue(bluish(s.editor_pixel(about, *PICTURE_TILE)), "the instrument picture is shown")

        s.click_tab(0)
        time.sleep(0.5)
        again = s.shot("editor-firmware-tab-again")
        self.assertTrue(bluish(tab_face(s, again, 0)))
        self.assertEqual(crop(s, again, VIEW_AREA), crop(s, firmware, VIEW_AREA),
                         "back on the Firmware tab the same view is shown")
        self.assertIsNone(s.app.poll())

    def wait_for_box(self, timeout):
        deadline = time.time() + timeout
        while time.time() < deadline:
            windows = self.desktop.windows_named("^Vorlen$")
            if windows:
                return windows[0]
            time.sleep(0.1)
        return None

    def test_after_cancel_and_its_box_the_window_is_drawn_again_without_the_pointer(self):
        s = self.session = EditorSession(self.desktop, firmware_fault="@stall:60/").start()
        # The title bar without its last pixels at either end (the frame's first paint may
        # leave them out), and the whole editor: the box stood over both.
        areas = [(1, -TITLE_BAR_HEIGHT, EDITOR_SIZE[0] - 2, TITLE_BAR_HEIGHT), (0, 0) + EDITOR_SIZE]
        shot = s.shot("editor-before-cancel")
        before = [crop(s, shot, area) for area in areas]
        s.click(*UPDATE_FIRMWARE_BUTTON)
        time.sleep(1.5)
        s.click(*CANCEL_BUTTON)
        box = self.wait_for_box(15)
        self.assertIsNotNone(box, "The process has been aborted.")
        time.sleep(0.5)
        # The pointer stays parked off the window: its motion would make the window repaint.
        self.desktop.xdotool("windowfocus", box)
        self.desktop.xdotool("key", "Return")
        deadline = time.time() + 10
        while box in self.desktop.windows_named(".") and time.time() < deadline:
            time.sleep(0.1)
        self.assertNotIn(box, self.desktop.windows_named("."))
        time.sleep(1.5)
        shot = s.shot("editor-after-cancel-box")
        after = [crop(s, shot, area) for area in areas]
        self.assertEqual(after, before, "the window is drawn as before the task, box gone")

    def test_firmware_update_from_its_button_powers_off_and_quits(self):
        s = self.session = EditorSession(self.desktop, ["--main-size", "8k", "--lib-size", "2k",
                                                        "--dream-size", "2k"]).start()
        before = s.shot("editor-before-update")
        self.assertEqual(s.desktop.windows_named("^Vorlen$"), [])

        hidden_strip = crop(s, before, TASK_STRIP)

        s.click(*UPDATE_FIRMWARE_BUTTON)
        # The task strip shows up while the update runs (watched until the end message).
        strip_seen = False
        box = None
        deadline = time.time() + 120
        while time.time() < deadline and box is None:
            if not strip_seen:
                during = s.shot("editor-during-update")
                strip_seen = crop(s, during, TASK_STRIP) != hidden_strip
            windows = self.desktop.windows_named("^Vorlen$")
            box = windows[0] if windows else None
        self.assertTrue(strip_seen, "the task strip appeared during the update")
        self.assertIsNotNone(box, "the end-of-update message appears")
        time.sleep(0.7)
        s.shot("editor-update-finished")
        self.assertIn("poweroff", s.commands())
        self.assertIsNone(s.app.poll(), "the task waits for the box to be closed")

        s.desktop.close_box(box, s.app)
        try:
            status = s.app.wait(timeout=5)
        except subprocess.TimeoutExpired:
            s.shot("editor-quit-stuck")
            if shutil.which("gdb"):
                stacks = subprocess.run(["gdb", "-p", str(s.app.pid), "-batch", "-ex", "thread apply all bt"],
                                        capture_output=True, text=True).stdout
                with open(os.path.join(os.environ.get("VORLEN_BUILD_DIR", "."), "e2e-stuck-stacks.txt"), "w") as f:
                    f.write(stacks)
            log = os.path.join(s.home, ".config", "VorlenLog.txt")
            tail = open(log, errors="replace").read()[-3000:] if os.path.exists(log) else "(no log)"
            self.fail("the application did not quit; windows %r; log ends with:\n%s"
                      % (self.desktop.windows_named("."), tail))
        self.assertEqual(status, 0)
        self.assertIn("fuser -k /usr/ap/main", s.commands())
        self.assertIn("End Zmodem logging", s.log(), "the log footer is written")


if __name__ == "__main__":
    unittest.main()
