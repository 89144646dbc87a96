"""Ending the application while a firmware update runs: a session's SIGTERM or the close
button during a download, and SIGTERM during a file transfer. The application must be gone
within a bound, with exit status 0 and its log footer written; a transfer is never broken
off, and nothing is powered off."""

import shutil
import signal
import subprocess
import time
import unittest

from desktop import Desktop
from editor_session import EditorSession, VIEW_ORIGIN

UPDATE_FIRMWARE_BUTTON = (VIEW_ORIGIN[0] + 7 + 208, VIEW_ORIGIN[1] + 152 + 19)
FOOTER = "End Zmodem logging"


def wait_until(condition, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


class EndingTest(unittest.TestCase):
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

    def start_update_and_wait_for(self, condition, what):
        s = self.session
        s.click(*UPDATE_FIRMWARE_BUTTON)
        self.assertTrue(wait_until(condition, 60), what + " never started")

    def assert_ends_cleanly(self, within, name):
        s = self.session
        started = time.time()
        try:
            status = s.app.wait(timeout=within)
        except subprocess.TimeoutExpired:
            s.shot(name + "-stuck")
            self.fail("the application is still there %d s later; windows %r; log ends with:\n%s"
                      % (within, self.desktop.windows_named("."), s.log()[-2000:]))
        self.assertEqual(status, 0)
        self.assertIn(FOOTER, s.log(), "the log footer is written")
        self.assertNotIn("poweroff", s.commands())
        return time.time() - started

    def download_session(self):
        # A slow server: the main archive (about 330 kB) takes some 20 s to arrive, and the task
        # downloads it before it makes /usr writable. The server logs a request only once it is
        # answered, so a few seconds after the click the download is under way.
        self.session = EditorSession(self.desktop, ["--main-size", "256k"], firmware_fault="@slow:16384/").start()
        self.session.click(*UPDATE_FIRMWARE_BUTTON)
        time.sleep(4.0)
        self.assertNotIn("mount -o remount,rw /usr", self.session.commands(), "still downloading")

    def test_sigterm_during_a_download_quits_at_once(self):
        self.download_session()
        self.session.app.send_signal(signal.SIGTERM)
        self.assert_ends_cleanly(10, "sigterm-download")
        self.assertNotIn("rz", self.session.commands(), "nothing was sent after the quit")

    def test_close_button_during_a_download_cancels_and_closes(self):
        self.download_session()
        self.session.click_close()
        self.assert_ends_cleanly(10, "close-download")
        self.assertNotIn("rz", self.session.commands())

    def test_sigterm_during_a_transfer_lets_it_end_then_quits(self):
        # A paced line: one file takes seconds to go over.
        self.session = EditorSession(self.desktop, ["--main-size", "96k"], ["--baud", "115200"]).start()
        self.start_update_and_wait_for(lambda: "rz" in self.session.commands(), "the transfer")
        self.session.app.send_signal(signal.SIGTERM)
        self.assert_ends_cleanly(40, "sigterm-transfer")
        self.assertNotIn("fuser -k /usr/ap/main", self.session.commands(), "nothing is moved into place")

    def test_sigterm_while_the_power_off_box_is_up_closes_it_and_quits(self):
        self.session = EditorSession(self.desktop, ["--main-size", "8k", "--lib-size", "2k", "--dream-size", "2k"]).start()
        s = self.session
        s.click(*UPDATE_FIRMWARE_BUTTON)
        self.assertTrue(wait_until(lambda: self.desktop.windows_named("^Vorlen$"), 120), "the power-off box appears")
        self.assertIn("poweroff", s.commands())
        s.app.send_signal(signal.SIGTERM)
        try:
            status = s.app.wait(timeout=10)
        except subprocess.TimeoutExpired:
            s.shot("sigterm-box-stuck")
            self.fail("the application is still there with its box")
        self.assertEqual(status, 0)
        self.assertIn(FOOTER, s.log())


if __name__ == "__main__":
    unittest.main()
