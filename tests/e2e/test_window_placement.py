"""The main window on screens of several sizes: it stays whole on a small screen and keeps the
centring's corner where there is room."""

import shutil
import unittest

from desktop import Desktop
from editor_session import EditorSession, TITLE_BAR_HEIGHT


class WindowPlacementTest(unittest.TestCase):
    def place_on(self, width, height):
        desktop = Desktop(width, height).start()
        session = EditorSession(desktop).start()
        try:
            desktop.screenshot("window-on-%dx%d" % (width, height))
            return session.geometry
        finally:
            session.stop()
            desktop.stop()
            for path in (session.home, session.content, session.workroot):
                shutil.rmtree(path, ignore_errors=True)

    def assert_whole_on_screen(self, geometry, width, height):
        self.assertGreaterEqual(geometry["X"], 0)
        self.assertGreaterEqual(geometry["Y"], 0)
        self.assertLessEqual(geometry["X"] + geometry["WIDTH"], width, geometry)
        self.assertLessEqual(geometry["Y"] + geometry["HEIGHT"], height, geometry)

    def test_small_screens_show_the_whole_window_moved_up_as_little_as_needed(self):
        for width, height in ((1366, 768), (1280, 720)):
            with self.subTest(screen="%dx%d" % (width, height)):
                geometry = self.place_on(width, height)
                self.assert_whole_on_screen(geometry, width, height)
                # Only the bottom crossed the edge: the window now touches it and keeps its x.
                self.assertEqual(geometry["Y"] + geometry["HEIGHT"], height, geometry)
                self.assertEqual(geometry["X"], (width - 400) // 2)
                self.assertGreater(geometry["HEIGHT"], 487 + TITLE_BAR_HEIGHT - 1)

    def test_large_screen_keeps_the_corner_of_the_first_centring(self):
        width, height = 1920, 1200
        geometry = self.place_on(width, height)
        self.assertEqual((geometry["X"], geometry["Y"]), ((width - 400) // 2, (height - 200) // 2))
        self.assert_whole_on_screen(geometry, width, height)


if __name__ == "__main__":
    unittest.main()
