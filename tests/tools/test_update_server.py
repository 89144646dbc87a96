"""Self-test of the local update server and its content generator.

The updater's own tests depend on these tools behaving like a real server,
including their faults, so the faults are checked on the wire here.
"""

import hashlib
import http.client
import io
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET
import zipfile

TOOLS = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                      "..", "..", "tools", "update_server"))
sys.path.insert(0, TOOLS)
import harness  # noqa: E402

GENERATOR = os.path.join(TOOLS, "make_update_content.py")
MAIN_ZIP = "last/firmware/test/main.zip"
WAVETABLE = "last/soundbank/wavetable.bin"
SOUND_VERSION = "last/soundbank/version.xml"


def md5(data):
    return hashlib.md5(data).hexdigest()


def generate(out, *args):
    subprocess.run([sys.executable, GENERATOR, "--out", out] + list(args),
                   check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(out, "manifest.json"), encoding="utf-8") as f:
        return json.load(f)


def raw_get(port, path, timeout=10.0):
    """GET over a bare socket; returns (status, headers dict, body bytes as
    received until the server closed or the announced length arrived)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % path).encode())
        data = b""
        while b"\r\n\r\n" not in data:
            piece = s.recv(65536)
            if not piece:
                break
            data += piece
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        headers = {k.strip().lower(): v.strip()
                   for k, _, v in (l.partition(":") for l in lines[1:])}
        want = int(headers.get("content-length", -1))
        while want < 0 or len(body) < want:
            piece = s.recv(65536)
            if not piece:
                break
            body += piece
        return status, headers, body


class GeneratedContentTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="vu_content_")
        cls.root = os.path.join(cls.tmp, "a")
        cls.manifest = generate(cls.root, "--seed", "7", "--main-size", "300K",
                                "--sound-version", "3.1", "--app-version", "Test2")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def test_main_archive_layout(self):
        with zipfile.ZipFile(os.path.join(self.root, *MAIN_ZIP.split("/"))) as zf:
            self.assertIsNone(zf.testzip())
            names = zf.namelist()
            self.assertEqual(zf.getinfo("main").compress_type, zipfile.ZIP_DEFLATED)
            self.assertEqual(zf.getinfo("main").file_size, 300 * 1024)
            for d in ("lib/", "d1/", "d1/d2/"):
                self.assertIn(d, names)
                self.assertTrue(zf.getinfo(d).is_dir())
                # a directory entry comes before any file inside it
                inside = [n for n in names if n.startswith(d) and n != d]
                self.assertTrue(inside)
                self.assertLess(names.index(d), min(names.index(n) for n in inside))
            self.assertIn("d1/d2/x", names)
            dotted = [n for n in names if n.startswith("..")]
            self.assertEqual(len(dotted), 1)
            self.assertNotIn("/", dotted[0])
            listed = {e["name"]: e for e in self.manifest["archives"][MAIN_ZIP]}
            self.assertEqual(set(listed), set(names))
            for e in listed.values():
                if not e["dir"]:
                    data = zf.read(e["name"])
                    self.assertEqual((len(data), md5(data)), (e["size"], e["md5"]),
                                     e["name"])
        self.assertEqual(listed[dotted[0]]["device_path"], "/usr/" + dotted[0][2:])
        self.assertEqual(listed["d1/d2/x"]["device_path"], "/usr/ap/d1/d2/x")
        self.assertEqual(self.manifest["device"]["/usr/ap/sound_version.xml"]["from"],
                         SOUND_VERSION)

    def test_manifest_matches_files_on_disk(self):
        self.assertEqual(len(self.manifest["files"]), 7)
        for rel, info in self.manifest["files"].items():
            with open(os.path.join(self.root, *rel.split("/")), "rb") as f:
                data = f.read()
            self.assertEqual((len(data), md5(data)), (info["size"], info["md5"]), rel)

    def test_binaries_contain_bytes_the_serial_line_escapes(self):
        with zipfile.ZipFile(os.path.join(self.root, *MAIN_ZIP.split("/"))) as zf:
            main = zf.read("main")
        for b in (0x18, 0x10, 0x11, 0x13, 0x90, 0x91, 0x93, 0x0D, 0xFF, 0x00):
            self.assertIn(bytes([b]), main)

    def test_version_documents_carry_version_on_first_child(self):
        for rel, want in ((SOUND_VERSION, "3.1"),
                          ("vorlensoftware/windows/vu_version.xml", "Test2")):
            root = ET.parse(os.path.join(self.root, *rel.split("/"))).getroot()
            self.assertEqual(root[0].get("version"), want, rel)
            self.assertNotEqual(root[1].get("version"), want, rel)

    def test_seed_reproduces_and_varies_output(self):
        again = generate(os.path.join(self.tmp, "b"), "--seed", "7", "--main-size", "300K",
                         "--sound-version", "3.1", "--app-version", "Test2")
        other = generate(os.path.join(self.tmp, "c"), "--seed", "8", "--main-size", "300K",
                         "--sound-version", "3.1", "--app-version", "Test2")
        self.assertEqual(again["files"], self.manifest["files"])
        self.assertNotEqual(other["files"][MAIN_ZIP]["md5"],
                            self.manifest["files"][MAIN_ZIP]["md5"])

    def test_size_outside_limits_is_refused(self):
        for size in ("1000", "65M"):
            r = subprocess.run([sys.executable, GENERATOR, "--out",
                                os.path.join(self.tmp, "bad"), "--main-size", size],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.assertNotEqual(r.returncode, 0, size)


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="vu_server_")
        cls.root = os.path.join(cls.tmp, "root")
        cls.manifest = generate(cls.root, "--main-size", "200K")
        cls.log = os.path.join(cls.tmp, "requests.log")
        started = time.monotonic()
        cls.proc, cls.base = harness.start_server(
            cls.root, log=cls.log,
            faults={"last/soundbank/wavetable.txt": "404",
                    "vorlensoftware/windows/vu_version.xml": "500",
                    WAVETABLE: "short"})
        cls.startup = time.monotonic() - started
        cls.port = int(cls.base.rstrip("/").rsplit(":", 1)[1])

    @classmethod
    def tearDownClass(cls):
        harness.stop_server(cls.proc)
        shutil.rmtree(cls.tmp)

    def conn(self):
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)

    def test_starts_quickly_with_ready_line(self):
        self.assertLess(self.startup, 1.0)
        self.assertRegex(self.base, r"^http://127\.0\.0\.1:\d+/$")

    def test_serves_exact_bytes_with_length_on_one_connection(self):
        c = self.conn()
        for rel in (MAIN_ZIP, "last/dreamfw/test/dream.zip", SOUND_VERSION,
                    "vorlensoftware/windows/VorlenSoftware_setup.exe"):
            c.request("GET", "/" + rel)
            r = c.getresponse()
            body = r.read()
            info = self.manifest["files"][rel]
            self.assertEqual(r.status, 200, rel)
            self.assertEqual(int(r.getheader("Content-Length")), info["size"], rel)
            self.assertEqual(md5(body), info["md5"], rel)
        c.request("HEAD", "/" + MAIN_ZIP)
        r = c.getresponse()
        self.assertEqual(r.read(), b"")
        self.assertEqual(int(r.getheader("Content-Length")),
                         self.manifest["files"][MAIN_ZIP]["size"])
        c.close()

    def test_error_statuses(self):
        cases = {"/last/soundbank/wavetable.txt": 404,           # --fault
                 "/vorlensoftware/windows/vu_version.xml": 500,  # --fault
                 "/last/firmware/test/missing.zip": 404,
                 "/last/firmware/": 404,                          # directory
                 "/last/../../etc/passwd": 404,                   # outside root
                 "/@500/" + MAIN_ZIP: 500,
                 "/@nosuchfault/" + MAIN_ZIP: 400}
        for path, want in cases.items():
            status, headers, body = raw_get(self.port, path)
            self.assertEqual(status, want, path)
            self.assertEqual(int(headers["content-length"]), len(body), path)

    def test_short_body_is_shorter_than_announced(self):
        for rel in (WAVETABLE, MAIN_ZIP):   # by --fault, by prefix
            path = "/" + rel if rel == WAVETABLE else "/@short/" + rel
            status, headers, body = raw_get(self.port, path)
            self.assertEqual(status, 200)
            self.assertEqual(int(headers["content-length"]), self.manifest["files"][rel]["size"])
            self.assertLess(len(body), self.manifest["files"][rel]["size"], path)
        status, headers, body = raw_get(self.port, "/@short:100/" + MAIN_ZIP)
        self.assertEqual(len(body), 100)

    def test_chunked_has_no_length_and_decodes_to_the_file(self):
        c = self.conn()
        c.request("GET", "/@chunked/" + MAIN_ZIP)
        r = c.getresponse()
        self.assertIsNone(r.getheader("Content-Length"))
        self.assertEqual(r.getheader("Transfer-Encoding"), "chunked")
        self.assertEqual(md5(r.read()), self.manifest["files"][MAIN_ZIP]["md5"])
        c.close()

    def test_content_faults_by_prefix(self):
        c = self.conn()
        c.request("GET", "/@notxml/" + SOUND_VERSION)
        r = c.getresponse()
        body = r.read()
        self.assertEqual(r.status, 200)
        self.assertEqual(int(r.getheader("Content-Length")), len(body))
        with self.assertRaises(ET.ParseError):
            ET.fromstring(body)
        c.request("GET", "/@notzip/" + MAIN_ZIP)
        r = c.getresponse()
        body = r.read()
        self.assertEqual(r.status, 200)
        self.assertFalse(zipfile.is_zipfile(io.BytesIO(body)))
        c.request("GET", "/@empty/" + MAIN_ZIP)
        r = c.getresponse()
        self.assertEqual((r.getheader("Content-Length"), r.read()), ("0", b""))
        c.close()
        status, headers, body = raw_get(self.port, "/@nolength/" + SOUND_VERSION)
        self.assertNotIn("content-length", headers)
        self.assertEqual(md5(body), self.manifest["files"][SOUND_VERSION]["md5"])

    def test_slow_and_stall_take_their_time(self):
        size = self.manifest["files"][WAVETABLE]["size"]   # 128 KiB
        started = time.monotonic()
        status, headers, body = raw_get(self.port, "/@slow:262144/" + WAVETABLE)
        elapsed = time.monotonic() - started
        self.assertEqual(md5(body), self.manifest["files"][WAVETABLE]["md5"])
        self.assertGreater(elapsed, 0.4)   # 0.5 s at 256 KiB/s
        self.assertLess(elapsed, 3.0)

        started = time.monotonic()
        status, headers, body = raw_get(self.port, "/@stall:1/" + WAVETABLE)
        elapsed = time.monotonic() - started
        self.assertEqual(int(headers["content-length"]), size)
        self.assertEqual(len(body), size // 2)
        self.assertGreater(elapsed, 0.9)

    def test_drop_and_refused(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as s:
            s.sendall(b"GET /@drop/" + SOUND_VERSION.encode() + b" HTTP/1.1\r\nHost: x\r\n\r\n")
            self.assertEqual(s.recv(100), b"")
        url = harness.refused_base_url()
        port = int(url.rstrip("/").rsplit(":", 1)[1])
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", port), timeout=5).close()

    def test_request_log_records_path_status_and_bytes(self):
        raw_get(self.port, "/@short:1000/" + WAVETABLE)
        raw_get(self.port, "/last/nothing/here")
        # The line is written as the response ends, maybe just after we read it.
        lines = harness.request_log(self.log, wait_for="/last/nothing/here")
        for line in lines:
            self.assertEqual(len(line), 6, line)
            self.assertRegex(line[0], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d+Z$")
        self.assertIn(["GET", "/@short:1000/" + WAVETABLE, "200", "1000", "short:1000"],
                      [l[1:] for l in lines])
        self.assertEqual(lines[-1][1:4], ["GET", "/last/nothing/here", "404"])


class ShutdownTest(unittest.TestCase):
    def test_sigterm_and_sigint_exit_zero_even_with_open_connections(self):
        root = tempfile.mkdtemp(prefix="vu_stop_")
        try:
            generate(root, "--main-size", "4K")
            for sig in ("terminate", "interrupt"):
                proc, base = harness.start_server(root, faults={SOUND_VERSION: "stall:30"})
                port = int(base.rstrip("/").rsplit(":", 1)[1])
                s = socket.create_connection(("127.0.0.1", port))
                s.sendall(b"GET /" + SOUND_VERSION.encode() + b" HTTP/1.1\r\nHost: x\r\n\r\n")
                idle = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
                idle.request("GET", "/" + MAIN_ZIP)
                idle.getresponse().read()       # left open, kept alive
                time.sleep(0.2)
                started = time.monotonic()
                if sig == "terminate":
                    proc.terminate()
                else:
                    proc.send_signal(signal.SIGINT)
                rc = proc.wait(5)
                self.assertEqual(rc, 0, sig)
                self.assertLess(time.monotonic() - started, 1.0, sig)
                s.close()
                idle.close()
                harness.stop_server(proc)
        finally:
            shutil.rmtree(root)


if __name__ == "__main__":
    unittest.main()
