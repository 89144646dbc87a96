"""The real application in a real window under Xvfb, driven from outside with xdotool."""

import fcntl
import os
import pty
import shutil
import subprocess
import time
import unittest

from desktop import APPLICATION, Desktop, new_home, stop_process
from editor_session import EditorSession


def read_log(home):
    with open(os.path.join(home, ".config", "VorlenLog.txt"), encoding="latin-1") as f:
        return f.read()


def port_is_held(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return False
    except BlockingIOError:
        return True
    finally:
        os.close(fd)


class ApplicationWindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desktop = Desktop().start()

    @classmethod
    def tearDownClass(cls):
        cls.desktop.stop()

    def start_application(self, home, ports):
        return subprocess.Popen([APPLICATION], env=self.desktop.env(HOME=home, VORLEN_SERIAL_PORTS=ports),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def test_without_instrument_warns_and_quits(self):
        home = new_home()
        # Two lines with nothing on them: they open but never answer.
        masters, names = [], []
        for _ in range(2):
            master, slave = pty.openpty()
            masters.append((master, slave))
            names.append(os.ttyname(slave))
        app = self.start_application(home, ":".join(names))
        try:
            box = self.desktop.wait_for_window("^Vorlen$")
            self.assertIsNotNone(box, "the warning box appears")
            time.sleep(0.5)
            self.desktop.screenshot("no-instrument-warning")
            main = self.desktop.windows_named("^Vorlen Software Update$")
            self.assertEqual(len(main), 1)
            geometry = self.desktop.geometry(main[0])
            self.assertEqual((geometry["WIDTH"], geometry["HEIGHT"]), (400, 200))
            self.desktop.close_box(box, app)
            self.assertEqual(app.wait(timeout=15), 0)
            output = app.stdout.read().decode(errors="replace")
            self.assertNotIn("BadAtom", output)
        finally:
            stop_process(app)
            for master, slave in masters:
                os.close(master)
                os.close(slave)

        log = read_log(home)
        self.assertTrue(log.startswith("****   Start Zmodem logging   ****\n****   Version :Test   ****\n"), log)
        # Once quickly, once more after the shell was asked back (an interrupted transfer).
        for name in names:
            self.assertEqual(log.count("Serial Port : %s\n" % name), 2, log)
        self.assertEqual(log.count("Serial Port : "), 4, log)
        self.assertTrue(log.endswith("\n****   End Zmodem logging   ****\n"), log)
        self.assertFalse(os.path.exists(os.path.join(home, "Trel", "Vorlen.settings")),
                         "nothing changed the settings, so nothing is written")
        shutil.rmtree(home, ignore_errors=True)

    def test_without_a_display_says_which_and_exits_with_its_log_closed(self):
        home = new_home()
        # A display number nobody serves: a closed virtual display, a stale SSH session.
        unused = next(":%d" % n for n in range(400, 500) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
        env = dict(self.desktop.env(HOME=home, VORLEN_SERIAL_PORTS="/nonexistent/port"), DISPLAY=unused)
        done = subprocess.run([APPLICATION], env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn('cannot open the display "%s"' % unused, done.stderr)
        self.assertNotIn("JUCE Assertion", done.stderr)
        self.assertTrue(read_log(home).endswith("\n****   End Zmodem logging   ****\n"))
        shutil.rmtree(home, ignore_errors=True)

    def test_with_instrument_shows_editor_holds_port_and_refuses_second_instance(self):
        session = EditorSession(self.desktop).start()
        try:
            self.desktop.screenshot("instrument-window")
            geometry = session.geometry
            self.assertEqual((geometry["X"], geometry["Y"]), ((1280 - 400) // 2, (1024 - 200) // 2),
                             "the window keeps the corner that the 400 x 200 centring gave it")
            border = (geometry["WIDTH"] - 540) // 2
            self.assertEqual((geometry["WIDTH"], geometry["HEIGHT"]), (540 + 2 * border, 487 + 21 + 2 * border))
            self.assertLessEqual(border, 4)
            link = os.path.join(session.workroot, "port")
            self.assertTrue(port_is_held(link))
            self.assertEqual(session.commands()[:2], ["cd /usr/ap", "read_mac_sn"])

            second = self.start_application(new_home(), link)
            self.assertEqual(second.wait(timeout=15), 0)
            second.stdout.close()
            self.assertEqual(len(self.desktop.windows_named("^Vorlen Software Update$")), 1)
            self.assertIsNone(session.app.poll(), "the first instance runs on")

            # The close button sits at the left of the 21-pixel title bar.
            self.desktop.xdotool("mousemove", str(geometry["X"] + 10), str(geometry["Y"] + 10), "click", "1")
            self.assertEqual(session.app.wait(timeout=15), 0)
        finally:
            session.stop()
        log = read_log(session.home)
        self.assertIn("Good format :\n   Line 0 :", log)
        self.assertTrue(log.endswith("\n****   End Zmodem logging   ****\n"), log)
        for path in (session.home, session.content, session.workroot):
            shutil.rmtree(path, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
