"""Self-test of the instrument emulator (tools/instrument_emulator).

Every later test of the updater talks to this emulator as if it were the
instrument, so these check it on the wire: the exact bytes of the shell, the
real lrzsz in both directions against the host's own lrzsz, read-only /usr,
one fault, the other faces and the records.  Unpaced and with small files, so
that each test takes well under a second or two.
"""

import hashlib
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import tty
import unittest

TOOLS = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                      "..", "..", "tools", "instrument_emulator"))
EMULATOR = os.path.join(TOOLS, "vorlen_emulator.py")
sys.path.insert(0, TOOLS)
import vorlen_emulator  # noqa: E402  (for the host-side noflush library)

AP_PROMPT = b"/usr/ap # "
TMP_PROMPT = b"/tmp # "


class Instrument:
    """One emulator process, its port opened raw the way the application does."""

    def __init__(self, *arguments):
        self.root = tempfile.mkdtemp(prefix="vorlen-emu-test-")
        self.link = os.path.join(self.root, "port")
        self.workdir = os.path.join(self.root, "work")
        started = time.monotonic()
        self.process = subprocess.Popen(
            [sys.executable, EMULATOR, "--port", self.link, "--workdir", self.workdir,
             "--baud", "0", "--exit-with-parent"] + list(arguments),
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        ready, _, _ = select.select([self.process.stdout], [], [], 15)
        line = self.process.stdout.readline() if ready else b""
        self.start_seconds = time.monotonic() - started
        if not line.startswith(b"READY "):
            self.stop()
            raise RuntimeError("emulator did not start: %r" % line)
        self.fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    # ---- the line

    def write(self, data):
        os.write(self.fd, data)

    def read_for(self, seconds):
        """Everything that arrives within `seconds`."""
        out = b""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return out
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                try:
                    piece = os.read(self.fd, 65536)
                except OSError:
                    return out
                if not piece:
                    return out
                out += piece

    def read_until(self, ending, seconds=5.0):
        """Reads until the bytes end with `ending` (or the time is up)."""
        out = b""
        deadline = time.monotonic() + seconds
        while not out.endswith(ending):
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                piece = os.read(self.fd, 65536)
                if not piece:
                    break
                out += piece
        return out

    def run(self, line, prompt=AP_PROMPT, seconds=5.0):
        """Types a command line and returns everything up to its second prompt."""
        self.write(line.encode() + b"\r\n")
        return self.read_until(prompt + prompt, seconds)

    def wait_for_shell(self, directory="/tmp", attempts=10):
        """True once the shell answers again after a transfer.  lrzsz flushes
        its input as it exits, so a line typed too early is lost (as on the
        instrument), and the host's rz may have read the prompt itself."""
        prompt = directory.encode() + b" # "
        for _ in range(attempts):
            if self.run("cd " + directory, prompt, 1.0).endswith(prompt * 2):
                return True
        return False

    def lrzsz(self, program, *arguments, cwd=None):
        """Runs the host's rz or sz on the port, with the same exit-flush fix
        that the instrument's copies get (see noflush.c)."""
        env = dict(os.environ, LD_PRELOAD=vorlen_emulator.preload_library())
        return subprocess.run([program] + list(arguments), stdin=self.fd, stdout=self.fd,
                              stderr=subprocess.PIPE, cwd=cwd, env=env, timeout=30)

    # ---- control and records

    def control(self, command):
        out = subprocess.run([sys.executable, EMULATOR, "control", self.workdir, command],
                             capture_output=True, text=True, timeout=10)
        return out.stdout

    def record(self, name):
        with open(os.path.join(self.workdir, name)) as f:
            return f.read()

    def commands(self):
        """(time stamp, command line) in the order the shell received them."""
        return [tuple(line.split(" ", 1)) for line in self.record("commands.log").splitlines()]

    def sandbox(self, path):
        """Host path of an instrument path under /usr, /tmp or /root."""
        top, _, rest = path.strip("/").partition("/")
        return os.path.join(self.workdir, top, rest)

    def wait_for_event(self, text, seconds=5.0):
        deadline = time.monotonic() + seconds
        while text not in self.record("events.log"):
            if time.monotonic() > deadline:
                return False
            time.sleep(0.02)
        return True

    def stop(self):
        if getattr(self, "fd", None) is not None:
            os.close(self.fd)
            self.fd = None
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        return self.process.returncode

    def remove(self):
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)


class EmulatorTest(unittest.TestCase):
    def instrument(self, *arguments):
        emulator = Instrument(*arguments)
        self.addCleanup(emulator.remove)
        return emulator

    def test_starts_quickly_and_stops_cleanly_on_a_signal(self):
        emulator = self.instrument()
        sys.stderr.write("\nemulator start-up (process start to READY): %.3f s\n"
                         % emulator.start_seconds)
        self.assertEqual(emulator.read_for(0.3), b"", "the line starts quiet")
        self.assertEqual(emulator.stop(), 0)
        self.assertFalse(os.path.lexists(emulator.link), "the port goes away with the emulator")
        tree = emulator.record("tree.txt")
        self.assertIn(" /usr/ap/main\n", tree)
        self.assertIn(" /usr/ap/presets\n", tree)

    def test_cd_usr_ap_is_echoed_then_two_prompts_and_serial_number(self):
        emulator = self.instrument("--serial", "VRL0815")
        emulator.write(b"cd /usr/ap\r\n")
        got = emulator.read_until(AP_PROMPT * 2) + emulator.read_for(0.2)
        self.assertEqual(got, b"cd /usr/ap\r\n\r\n/usr/ap # /usr/ap # ")
        answer = emulator.run("read_mac_sn")
        self.assertIn(b"\r\nSN : VRL0815\r\n", answer)

    def test_shell_starts_in_a_sandboxed_home_and_cannot_write_the_host_root(self):
        emulator = self.instrument()
        probe = "/vorlen-emulator-probe-%d" % os.getpid()
        self.addCleanup(lambda: os.path.exists(probe) and os.unlink(probe))
        self.assertEqual(emulator.run("pwd", b"/root # "), b"pwd\r\n\r\n/root\r\n/root # /root # ")
        emulator.run("touch here", b"/root # ")
        self.assertTrue(os.path.exists(emulator.sandbox("/root/here")))
        answer = emulator.run("cd /; touch %s" % probe, b"/ # ")
        self.assertIn(b"Read-only file system", answer)
        self.assertFalse(os.path.exists(probe))

    def test_file_sent_with_host_sz_reaches_the_sandbox_through_rz(self):
        emulator = self.instrument()
        emulator.run("cd /tmp", TMP_PROMPT)
        local = tempfile.mkdtemp(prefix="vorlen-emu-local-")
        self.addCleanup(shutil.rmtree, local)
        data = os.urandom(5000) + bytes(range(256)) * 4
        with open(os.path.join(local, "upload.bin"), "wb") as f:
            f.write(data)

        emulator.write(b"rz\r")
        result = emulator.lrzsz("sz", "-q", os.path.join(local, "upload.bin"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(emulator.wait_for_shell())

        with open(emulator.sandbox("/tmp/upload.bin"), "rb") as f:
            self.assertEqual(hashlib.md5(f.read()).hexdigest(), hashlib.md5(data).hexdigest())
        events = emulator.record("events.log")
        self.assertIn(" rz started dir=/tmp\n", events)
        self.assertIn(" rz exit=0 dir=/tmp files=upload.bin", events)

    def test_lsz_delivers_a_file_that_host_rz_receives_intact(self):
        emulator = self.instrument()
        emulator.run("cd /tmp", TMP_PROMPT)
        data = os.urandom(3000) + b"\x18\x11\x13\x7f\xff" * 50
        with open(emulator.sandbox("/tmp/download.bin"), "wb") as f:
            f.write(data)
        local = tempfile.mkdtemp(prefix="vorlen-emu-local-")
        self.addCleanup(shutil.rmtree, local)

        emulator.write(b"lsz download.bin\r\n")
        result = emulator.lrzsz("rz", "-q", cwd=local)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(emulator.wait_for_shell())

        with open(os.path.join(local, "download.bin"), "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertIn(" lsz exit=0 dir=/tmp files=download.bin", emulator.record("events.log"))

    def test_read_only_usr_refuses_a_write_and_rw_makes_it_writable_again(self):
        emulator = self.instrument()
        emulator.run("cd /usr/ap")
        emulator.run("mount -o remount,ro /usr")
        answer = emulator.run("echo new > new.txt")
        self.assertIn(b"Read-only file system", answer)
        self.assertFalse(os.path.exists(emulator.sandbox("/usr/ap/new.txt")))
        self.assertIn(b"Read-only file system", emulator.run("rm -f config.xml"))
        self.assertTrue(os.path.exists(emulator.sandbox("/usr/ap/config.xml")))

        emulator.run("mount -o remount,rw /usr")
        self.assertEqual(emulator.run("echo new > new.txt"),
                         b"echo new > new.txt\r\n\r\n/usr/ap # /usr/ap # ")
        with open(emulator.sandbox("/usr/ap/new.txt")) as f:
            self.assertEqual(f.read(), "new\n")

    def test_flipped_byte_is_flipped_exactly_once(self):
        def differences(got, clean):
            self.assertEqual(len(got), len(clean), got)
            return [i for i in range(len(clean)) if got[i] != clean[i]]

        # From the command line: the offset counts bytes towards the host from
        # boot (the swallowed boot prompt is not sent, so not counted).
        emulator = self.instrument("--flip", "to-host", "offset", "7")
        clean = b"cd /usr/ap\r\n\r\n" + AP_PROMPT * 2
        emulator.write(b"cd /usr/ap\r\n")
        got = emulator.read_until(AP_PROMPT * 2) + emulator.read_for(0.2)
        self.assertEqual(differences(got, clean), [7])
        self.assertEqual(got[7] ^ clean[7], 0x01)
        self.assertEqual(emulator.run("cd /usr/ap"), clean, "flipped once only")

        # At run time through the control socket: the offset counts from arming.
        emulator = self.instrument()
        emulator.run("cd /usr/ap")
        line = "echo abcdefghijklmnopqrstuvwxyz"
        clean = (line + "\r\n\r\nabcdefghijklmnopqrstuvwxyz\r\n").encode() + AP_PROMPT * 2
        self.assertEqual(emulator.control("flip to-host offset 20 xor 0x20"), "OK\n")
        got = emulator.run(line)
        self.assertEqual(differences(got, clean), [20])
        self.assertEqual(got[20] ^ clean[20], 0x20)
        self.assertEqual(differences(emulator.run(line), clean), [], "flipped once only")

    def test_dead_port_opens_and_answers_nothing(self):
        emulator = self.instrument("--face", "dead")
        emulator.write(b"cd /usr/ap\r\n")
        self.assertEqual(emulator.read_for(0.5), b"")
        emulator.write(b"read_mac_sn\r\n")
        self.assertEqual(emulator.read_for(0.3), b"")

    def test_other_device_has_another_prompt_and_no_read_mac_sn(self):
        emulator = self.instrument("--face", "other")
        prompt = b"root@box:~$ "
        answer = emulator.run("cd /usr/ap", prompt)
        self.assertTrue(answer.startswith(b"cd /usr/ap\r\n\r\n"), answer)
        self.assertTrue(answer.endswith(prompt * 2), answer)
        self.assertNotIn(AP_PROMPT, answer)
        answer = emulator.run("read_mac_sn", prompt)
        self.assertIn(b"not found", answer)
        self.assertNotIn(b"SN : ", answer)

    def test_commands_log_records_every_command_line_in_order(self):
        emulator = self.instrument()
        lines = ["cd /usr/ap", "read_mac_sn", "ls presets", "md5sum config.xml", "cd /tmp"]
        for line in lines:
            emulator.run(line, TMP_PROMPT if line == "cd /tmp" else AP_PROMPT)
        logged = emulator.commands()
        self.assertEqual([command for _, command in logged], lines)
        stamps = [float(stamp) for stamp, _ in logged]
        self.assertEqual(stamps, sorted(stamps))

    def test_poweroff_is_recorded_and_unplugs_the_port(self):
        emulator = self.instrument()
        emulator.run("cd /usr/ap")
        emulator.write(b"poweroff\r\n")
        deadline = time.monotonic() + 3
        while os.path.lexists(emulator.link) and time.monotonic() < deadline:
            time.sleep(0.02)
        self.assertFalse(os.path.lexists(emulator.link), "the port goes away")
        emulator.read_for(0.2)
        with self.assertRaises(OSError):
            os.write(emulator.fd, b"ls\r\n")      # EIO: the far side is gone
        events = emulator.record("events.log")
        self.assertIn(" poweroff\n", events)
        self.assertIn(" unplug poweroff\n", events)
        self.assertIn("poweroff", [command for _, command in emulator.commands()])
        self.assertTrue(emulator.control("status").startswith("OK unplugged=1"))
        self.assertEqual(emulator.stop(), 0)

    def test_full_usr_cuts_a_copy_from_tmp_short_while_a_rename_stays_whole(self):
        emulator = self.instrument("--usr-free", "64k")
        data = os.urandom(200000)
        with open(emulator.sandbox("/tmp/big.bin"), "wb") as f:
            f.write(data)
        emulator.run("cd /usr/ap")
        # /tmp is another file system: mv copies, and the copy runs out of room.
        self.assertIn(b"No space left on device", emulator.run("mv /tmp/big.bin new.bin"))
        self.assertLess(os.path.getsize(emulator.sandbox("/usr/ap/new.bin")), 100000)
        self.assertEqual(os.path.getsize(emulator.sandbox("/tmp/big.bin")), len(data))
        with open(emulator.sandbox("/usr/ap/config.xml"), "rb") as f:
            config = f.read()
        self.assertEqual(emulator.run("mv config.xml config.old"),
                         b"mv config.xml config.old\r\n\r\n" + AP_PROMPT * 2, "a full /usr still renames")
        with open(emulator.sandbox("/usr/ap/config.old"), "rb") as f:
            self.assertEqual(f.read(), config)

        # At run time: room for SIZE more than is used now.
        self.assertEqual(emulator.control("usr-free 1m"), "OK\n")
        self.assertEqual(emulator.run("cp /tmp/big.bin whole.bin"),
                         b"cp /tmp/big.bin whole.bin\r\n\r\n" + AP_PROMPT * 2)
        self.assertEqual(emulator.stop(), 0)
        self.assertFalse(os.path.ismount(os.path.join(emulator.workdir, ".emu", "usrfs")))
        with open(emulator.sandbox("/usr/ap/whole.bin"), "rb") as f:
            self.assertEqual(f.read(), data, "the sandbox outlives the stop")
        self.assertIn("f 0644 200000 %s /usr/ap/whole.bin\n" % hashlib.md5(data).hexdigest(),
                      emulator.record("tree.txt"))

    def test_freeze_drops_the_line_after_a_command_until_thaw_and_a_new_opener_is_answered(self):
        emulator = self.instrument("--freeze", "2")
        os.close(emulator.fd)
        emulator.fd = None
        # An application that types three commands, reads nothing and is killed.
        application = subprocess.Popen([sys.executable, "-c", (
            "import os, sys, time, tty\n"
            "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY); tty.setraw(fd)\n"
            "os.write(fd, b'cd /usr/ap\\r\\necho one\\r\\necho two\\r\\n'); time.sleep(60)\n"),
            emulator.link])
        self.addCleanup(application.wait)
        self.addCleanup(application.kill)
        self.assertTrue(emulator.wait_for_event("frozen after command 2: echo one\n"))
        self.assertIn(" frozen=1 ", emulator.control("status"))
        application.kill()
        application.wait()
        self.assertEqual(emulator.control("thaw"), "OK\n")

        emulator.fd = os.open(emulator.link, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(emulator.fd, termios.TCSANOW)    # as the application: no flush of its own
        self.assertEqual(emulator.read_for(0.3), b"", "the killed application's answers are gone")
        self.assertEqual(emulator.run("echo three"), b"echo three\r\n\r\nthree\r\n" + AP_PROMPT * 2)
        # Armed at run time, the count starts from arming.
        self.assertEqual(emulator.control("freeze after-command 1"), "OK\n")
        emulator.write(b"echo four\r\necho five\r\n")
        self.assertNotIn(b"five", emulator.read_for(0.5))
        self.assertEqual([command for _, command in emulator.commands()],
                         ["cd /usr/ap", "echo one", "echo three", "echo four"])

    def test_killed_transfer_program_ends_the_transfer_and_the_prompt_returns(self):
        emulator = self.instrument("--kill-transfer", "3000")
        emulator.run("cd /tmp", TMP_PROMPT)
        with open(emulator.sandbox("/tmp/download.bin"), "wb") as f:
            f.write(os.urandom(60000))
        local = tempfile.mkdtemp(prefix="vorlen-emu-local-")
        self.addCleanup(shutil.rmtree, local)
        emulator.write(b"lsz download.bin\r\n")
        env = dict(os.environ, LD_PRELOAD=vorlen_emulator.preload_library())
        receiver = subprocess.Popen(["rz", "-q"], stdin=emulator.fd, stdout=emulator.fd,
                                    stderr=subprocess.DEVNULL, cwd=local, env=env)
        self.addCleanup(receiver.wait)
        self.addCleanup(receiver.kill)
        self.assertTrue(emulator.wait_for_event(" lsz exit=137 "), "lsz ends by SIGKILL")
        self.assertIn(" transfer killed after 3000 bytes", emulator.record("events.log"))
        receiver.kill()
        self.assertTrue(emulator.wait_for_shell())
        # What a sender goes on sending reaches the shell as text: an end of file among it
        # does not end the instrument's shell.
        emulator.write(b"\x04")
        self.assertTrue(emulator.run("cd /tmp", TMP_PROMPT).endswith(TMP_PROMPT * 2))
        status = emulator.control("status")
        self.assertIn(" mode=command ", status)
        self.assertLess(int(status.split(" to-host=")[1].split()[0]), 30000)


if __name__ == "__main__":
    unittest.main()
