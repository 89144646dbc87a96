"""vorlen-cli, the built binary, against the instrument emulator and the update-server fixture."""

import fcntl
import json
import os
import pty
import re
import signal
import ssl
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.request

from cli_session import CLI, CliSession, md5, tree_digests
from harness import self_signed_pem
from desktop import start_emulator, stop_process

# Small archives: the tests are about the program around the transfer, not the transfer.
SMALL_FIRMWARE = ["--main-size", "16K", "--lib-size", "8K", "--dream-size", "8K"]
RESTORE_QUESTION = "question: Do you want to restore your system with the lastest firmware available on the server ?"


class UsageTest(unittest.TestCase):
    def run_cli(self, *arguments):
        home = tempfile.mkdtemp(prefix="vorlen-cli-home-")
        env = dict(os.environ, HOME=home, VORLEN_SERIAL_PORTS="/nonexistent/port")
        env.pop("XDG_CONFIG_HOME", None)
        done = subprocess.run([CLI] + list(arguments), env=env, capture_output=True, text=True, timeout=60)
        return done.returncode, done.stdout, done.stderr, home

    def test_usage_errors_exit_2_without_touching_a_port(self):
        for arguments, said in [((), "no command given"), (("frobnicate",), "unknown command frobnicate"),
                                (("status", "--colour"), "unknown option --colour"), (("backup",), "backup needs a directory"),
                                (("update-firmware", "--json"), "--json goes with status only"),
                                (("status", "--port"), "--port needs a device"), (("status", "extra"), "unexpected argument extra")]:
            with self.subTest(arguments=arguments):
                status, out, err, home = self.run_cli(*arguments)
                self.assertEqual(status, 2)
                self.assertIn(said, err)
                self.assertFalse(os.path.exists(os.path.join(home, ".config", "VorlenLog.txt")))

    def test_help_names_the_log_and_version_prints(self):
        status, out, _, home = self.run_cli("--help")
        self.assertEqual(status, 0)
        self.assertIn(os.path.join(home, ".config", "VorlenLog.txt"), out)
        for command in ("status", "update-firmware", "restore-firmware", "update-sounds", "backup DIR", "restore DIR"):
            self.assertIn(command, out)
        status, out, _, _ = self.run_cli("--version")
        self.assertEqual(status, 0)
        self.assertRegex(out, r"^vorlen-cli \d+\.\d+\.\d+\n$")

    def test_no_instrument_exits_3(self):
        status, _, err, home = self.run_cli("status")
        self.assertEqual(status, 3)
        self.assertIn("warning: No Vorlen. Please connect your Vorlen to the computer (USB)", err)
        with open(os.path.join(home, ".config", "VorlenLog.txt")) as f:
            log = f.read()
        self.assertIn("****   Start Zmodem logging   ****", log)
        self.assertIn("****   End Zmodem logging   ****", log)


class SessionTest(unittest.TestCase):
    def session(self, **arguments):
        session = CliSession(**arguments)
        self.addCleanup(session.stop)
        return session

    def assert_installed(self, session, sources):
        for device_path, entry in session.manifest["device"].items():
            if entry["from"] in sources:
                self.assertEqual(md5(session.instrument_path(device_path)), entry["md5"], device_path)


class StatusTest(SessionTest):
    def test_status_json_and_text(self):
        s = self.session(content_arguments=["--sound-version", "1.2"],
                         emulator_arguments=["--serial", "VRL99000007", "--sound-version", "1.0"])
        status, out, _ = s.run("status", "--json")
        self.assertEqual(status, 0)
        report = json.loads(out)
        self.assertEqual(report["port"], s.link)
        self.assertEqual(report["serialNumber"], "VRL99000007")
        self.assertEqual((report["firmware"], report["dream"], report["soundBank"]), ("1.5", "1.5", "1.0"))
        self.assertEqual(report["server"], {"firmware": "2.0", "dream": "2.0", "soundBank": "1.2"})
        self.assertTrue(report["firmwareUpdateOffered"])
        self.assertTrue(report["soundBankUpdateOffered"])

        status, out, _ = s.run("status", "--port", s.link, VORLEN_SERIAL_PORTS="/nonexistent/port")
        self.assertEqual(status, 0)
        self.assertIn("Serial number:      VRL99000007", out)
        self.assertIn("Sound bank update:  offered", out)
        log = s.log_text()
        self.assertIn("Serial Port : " + s.link, log)
        self.assertIn("****   End Zmodem logging   ****", log)

    def test_a_server_whose_certificate_is_not_trusted_is_not_read(self):
        pem = self_signed_pem(tempfile.mkdtemp(prefix="vorlen-cli-tls-"))
        s = self.session(content_arguments=["--sound-version", "1.2"], tls=pem)
        # The server itself answers whoever trusts its certificate.
        trusting = ssl.create_default_context(cafile=pem)
        with urllib.request.urlopen(s.base + "last/soundbank/version.xml", context=trusting) as answer:
            self.assertIn(b"1.2", answer.read())
        report = json.loads(s.run("status", "--json")[1])
        self.assertIsNone(report["server"]["soundBank"])
        self.assertFalse(report["soundBankUpdateOffered"])
        self.assertIn("Download of %slast/soundbank/version.xml: no connection" % s.base, s.log_text())

    def test_nothing_offered_when_up_to_date_and_the_server_down_is_not_an_update(self):
        s = self.session(content_arguments=["--sound-version", "1.0"],
                         emulator_arguments=["--firmware-version", "2.0", "--dream-version", "2.0", "--sound-version", "1.0"])
        report = json.loads(s.run("status", "--json")[1])
        self.assertFalse(report["firmwareUpdateOffered"])
        self.assertFalse(report["soundBankUpdateOffered"])

        status, out, _ = s.run("update-firmware")
        self.assertEqual(status, 0)
        self.assertIn("Nothing to update", out)
        self.assertNotIn("rz", s.commands())

        status, _, err = s.run("update-sounds", VORLEN_FIRMWARE_BASE_URL="http://127.0.0.1:9/last/")
        self.assertEqual(status, 1)
        self.assertIn("warning: The connection to the server fails.", err)


class UpdateTest(SessionTest):
    def test_update_firmware_installs_powers_off_and_prints_plain_progress(self):
        s = self.session(content_arguments=SMALL_FIRMWARE)
        status, _, err = s.run("update-firmware")
        self.assertEqual(status, 0, err)
        self.assert_installed(s, ("last/firmware/test/main.zip", "last/dreamfw/test/dream.zip"))
        self.assertIn("poweroff", s.events())
        self.assertIn("warning: The vorlen has been powered-off. Unplug the USB cable and restart it to enjoy the new firmware.", err)
        lines = err.splitlines()
        self.assertNotIn("\r", err)
        self.assertIn("Download...", lines)
        self.assertIn("Send file to Vorlen (lib/libbar.so.1)", lines)
        tenths = [l for l in lines if re.fullmatch(r"Send file to Vorlen \(lib/libbar\.so\.1\) \d+0%", l)]
        self.assertGreaterEqual(len(tenths), 2)
        self.assertEqual(tenths, sorted(tenths, key=lambda l: int(l.rsplit(" ", 1)[1][:-1])))

    def test_update_sounds_on_a_terminal_redraws_one_line(self):
        s = self.session(content_arguments=["--sound-version", "1.5", "--wavetable-size", "256K"],
                         faults={"last/soundbank/wavetable.bin": "slow:131072"})
        master, slave = pty.openpty()
        process = subprocess.Popen([CLI, "update-sounds"], env=s.env(), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        screen = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            screen += chunk
        self.assertEqual(process.wait(timeout=120), 0, screen)
        os.close(master)
        for name in ("wavetable.bin", "wavetable.txt"):
            self.assertEqual(md5(s.instrument_path("/usr/ap/" + name)),
                             md5(os.path.join(s.content, "last", "soundbank", name)))
        self.assertEqual(md5(s.instrument_path("/usr/ap/sound_version.xml")),
                         md5(os.path.join(s.content, "last", "soundbank", "version.xml")))
        text = screen.decode(errors="replace")
        self.assertIn("\r\x1b[KDownload...", text)
        self.assertRegex(text, r"\r\x1b\[KDownload\.\.\. \d+% [\d.]+ [KM]?B/s \d+:\d\d left")

    def test_restore_firmware_asks_and_is_refused_without_a_terminal(self):
        s = self.session(content_arguments=SMALL_FIRMWARE, emulator_arguments=["--firmware-version", "2.0", "--dream-version", "2.0"])
        status, _, err = s.run("restore-firmware")
        self.assertEqual(status, 4)
        self.assertIn(RESTORE_QUESTION, err)
        self.assertIn("standard input is not a terminal", err)
        self.assertNotIn("rz", s.commands())

        status, _, err = s.run("restore-firmware", "--yes")
        self.assertEqual(status, 0, err)
        self.assert_installed(s, ("last/firmware/test/main.zip", "last/dreamfw/test/dream.zip"))


    def test_a_question_on_the_terminal_is_asked_again_until_answered(self):
        s = self.session(content_arguments=SMALL_FIRMWARE, emulator_arguments=["--firmware-version", "2.0", "--dream-version", "2.0"])
        for answers, expected in ((b"no\n", 4), (b"maybe\ny\n", 0)):
            master, slave = pty.openpty()
            os.write(master, answers)
            process = subprocess.Popen([CLI, "restore-firmware"], env=s.env(), stdin=slave,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            os.close(slave)
            _, err = process.communicate(timeout=240)
            os.close(master)
            self.assertEqual(process.returncode, expected, err)
            self.assertIn(RESTORE_QUESTION, err)
            self.assertEqual(err.count("question: Yes or No? [y/N]"), answers.count(b"\n"))
            if expected == 4:
                self.assertNotIn("rz", s.commands())
        self.assert_installed(s, ("last/firmware/test/main.zip",))


class PresetsTest(SessionTest):
    def test_backup_copies_every_preset_into_a_new_directory(self):
        s = self.session(emulator_arguments=["--presets", "4"])
        target = os.path.join(tempfile.mkdtemp(prefix="vorlen-cli-backup-"), "new")
        status, _, err = s.run("backup", target)
        self.assertEqual(status, 0, err)
        self.assertEqual(tree_digests(target), tree_digests(s.instrument_path("/usr/ap/presets")))
        self.assertEqual(len(os.listdir(target)), 4)
        self.assertIn("info: Your presets have been stored into " + target, err)

    def test_restore_asks_then_sends_every_preset(self):
        s = self.session()
        source = tempfile.mkdtemp(prefix="vorlen-cli-restore-")
        for name, size in (("Mine01.mz", 700), ("Mine02.mz", 1300)):
            with open(os.path.join(source, name), "wb") as f:
                f.write(os.urandom(size))
        status, _, err = s.run("restore", source)
        self.assertEqual(status, 4)
        self.assertIn("question: The presets curently into the Vorlen will be overwritten.", err)

        status, _, err = s.run("restore", source, "--yes")
        self.assertEqual(status, 0, err)
        self.assertIn("info: The presets have been restored.", err)
        for name in ("Mine01.mz", "Mine02.mz"):
            self.assertEqual(md5(s.instrument_path("/usr/ap/presets/" + name)), md5(os.path.join(source, name)))

        empty = tempfile.mkdtemp(prefix="vorlen-cli-empty-")
        status, _, err = s.run("restore", empty, "--yes")
        self.assertEqual(status, 4)
        self.assertIn("warning: There is no presets in this directory !", err)


class InstrumentsTest(SessionTest):
    """Several instruments on one computer: runs side by side each keep their own log."""

    def extra_emulator(self, *arguments):
        workroot = tempfile.mkdtemp(prefix="vorlen-cli-emu-")
        process, link = start_emulator(workroot, *arguments)
        self.addCleanup(stop_process, process)
        return link, os.path.join(workroot, "work")

    def port_logs(self, home):
        folder = os.path.join(home, ".config")
        logs = {}
        for name in os.listdir(folder):
            if name.startswith("VorlenLog-") and "_ChecksumError" not in name:
                with open(os.path.join(folder, name), errors="replace") as f:
                    logs[name] = f.read()
        return logs

    def assert_whole_log_of(self, log, port, other_ports):
        self.assertTrue(log.startswith("****   Start Zmodem logging   ****\n"), log[:200])
        self.assertTrue(log.endswith("****   End Zmodem logging   ****\n"), log[-200:])
        self.assertIn("Serial Port : %s\n" % port, log)
        for other in other_ports:
            self.assertNotIn(other, log)

    # The sound bank update: the firmware's would add nothing here but the time it takes.
    def test_two_runs_side_by_side_each_write_their_own_whole_log(self):
        s = self.session()
        second, _ = self.extra_emulator("--serial", "VRL24000077")
        runs = [s.start("--port", port, "update-sounds") for port in (s.link, second)]
        for run in runs:
            _, err = run.communicate(timeout=240)
            self.assertEqual(run.returncode, 0, err)
        logs = self.port_logs(s.home)
        self.assertEqual(len(logs), 2, sorted(logs))
        for port, other in ((s.link, second), (second, s.link)):
            log = next(text for text in logs.values() if "Serial Port : %s\n" % port in text)
            self.assertIn("wavetable.bin is copied!", log)
            self.assert_whole_log_of(log, port, [other])
        self.assertFalse(os.path.exists(os.path.join(s.home, ".config", "VorlenLog.txt")))

    def test_all_instruments_update_side_by_side_with_a_table_and_the_worst_status(self):
        s = self.session(emulator_arguments=["--serial", "VRL24000001"])
        good, _ = self.extra_emulator("--serial", "VRL24000002")
        bad, _ = self.extra_emulator("--serial", "VRL24000003", "--bad-md5", "wavetable.bin")
        ports = [s.link, good, bad]
        status, out, err = s.run("--all-instruments", "update-sounds", VORLEN_SERIAL_PORTS=":".join(ports))
        self.assertEqual(status, 1, err)
        rows = {line.split()[0]: line for line in out.splitlines() if line.split() and line.split()[0] in ports}
        self.assertEqual(sorted(rows), sorted(ports), out)
        for port, serial in ((s.link, "VRL24000001"), (good, "VRL24000002")):
            self.assertRegex(rows[port], r"%s\s+%s\s+1\.5/1\.5/1\.0\s+1\.5/1\.5/2\.0\s+done\s+\d+\.\d s$"
                             % (re.escape(port), serial))
        self.assertRegex(rows[bad], r"VRL24000003\s+1\.5/1\.5/1\.0\s+1\.5/1\.5/1\.0\s+failed: ")
        for port in ports:
            self.assertIn("%s: Download..." % port, err)
        logs = self.port_logs(s.home)
        self.assertEqual(len(logs), 3, sorted(logs))
        for port in ports:
            log = next(text for text in logs.values() if "Serial Port : %s\n" % port in text)
            self.assert_whole_log_of(log, port, [p for p in ports if p != port])


class FaultTest(SessionTest):
    def assert_unchanged(self, s, before):
        after = tree_digests(s.instrument_path("/usr/ap"))
        for path, digest in before.items():
            self.assertEqual(after.get(path), digest, path)
        self.assertNotIn("poweroff", s.events())

    def test_a_server_fault_fails_with_the_instrument_unchanged(self):
        s = self.session(faults={"last/firmware/test/main.zip": "500"})
        before = tree_digests(s.instrument_path("/usr/ap"))
        status, _, err = s.run("update-firmware")
        self.assertEqual(status, 1)
        self.assertIn("warning: The connection to the server fails.", err)
        self.assertIn("warning: The process has been aborted.", err)
        self.assertEqual(tree_digests(s.instrument_path("/usr/ap")), before)
        self.assertNotIn("rz", s.commands())

    def test_a_line_fault_fails_with_no_file_replaced(self):
        s = self.session(emulator_arguments=["--bad-md5", ".vorlen-update.libfoo.so"])
        before = tree_digests(s.instrument_path("/usr/ap"))
        status, _, err = s.run("update-firmware")
        self.assertEqual(status, 1)
        self.assertIn("warning: Bad checksum. The file (", err)
        self.assertIn("warning: The process has been aborted.", err)
        self.assert_unchanged(s, before)
        self.assertEqual(s.commands()[-1], "mount -o remount,ro /usr")

    def test_another_instrument_face_is_no_instrument(self):
        s = self.session(emulator_arguments=["--face", "other"])
        status, _, err = s.run("status")
        self.assertEqual(status, 3)
        self.assertIn("No Vorlen", err)

    def test_a_port_held_by_another_program_is_refused(self):
        s = self.session()
        holder = os.open(s.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.addCleanup(os.close, holder)
        fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
        status, _, err = s.run("status")
        self.assertEqual(status, 4)
        self.assertIn("held by another program", err)

    def test_ctrl_c_during_a_download_cancels_with_nothing_installed(self):
        s = self.session(faults={"last/firmware/test/main.zip": "slow:20000"})
        before = tree_digests(s.instrument_path("/usr/ap"))
        process = s.start("update-firmware")
        seen = []
        reader = threading.Thread(target=lambda: seen.extend(process.stderr))
        reader.start()
        deadline = time.time() + 60
        while "Download...\n" not in seen and time.time() < deadline and process.poll() is None:
            time.sleep(0.05)
        self.assertIn("Download...\n", seen)
        process.send_signal(signal.SIGINT)
        self.assertEqual(process.wait(timeout=60), 130)
        reader.join(timeout=10)
        self.assertIn("info: Cancel\n", seen)
        self.assertIn("warning: The process has been aborted.\n", seen)
        self.assert_unchanged(s, before)
        self.assertNotIn("mount -o remount,rw /usr", s.commands())

    def test_a_second_ctrl_c_during_a_send_says_why_it_waits(self):
        s = self.session(content_arguments=["--main-size", "32K"], emulator_arguments=["--baud", "38400"])
        before = tree_digests(s.instrument_path("/usr/ap"))
        process = s.start("update-firmware")
        seen = []
        reader = threading.Thread(target=lambda: seen.extend(process.stderr))
        reader.start()
        sending = "Send file to Vorlen (main)\n"
        deadline = time.time() + 120
        while sending not in seen and time.time() < deadline and process.poll() is None:
            time.sleep(0.05)
        self.assertIn(sending, seen)
        process.send_signal(signal.SIGINT)
        time.sleep(0.5)
        process.send_signal(signal.SIGINT)
        self.assertEqual(process.wait(timeout=120), 130)
        reader.join(timeout=10)
        self.assertIn("info: waiting: a file being moved over the serial line is finished first (Send file to Vorlen (main))\n", seen)
        self.assertNotIn("Send file to Vorlen (config.xml)\n", seen)
        self.assert_unchanged(s, before)
        self.assertEqual(s.commands()[-1], "mount -o remount,ro /usr")


if __name__ == "__main__":
    unittest.main()
