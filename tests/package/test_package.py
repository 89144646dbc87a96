"""The Debian package: built by CPack from this build, then read as dpkg and a user would."""

import glob
import gzip
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

BUILD_DIR = os.environ["VORLEN_BUILD_DIR"]
NAME = "vorlen-software-update"
PROGRAMS = (NAME, "vorlen-cli")
ICON_SIZES = (16, 32, 48, 64, 128, 256)


def run(*command, **options):
    return subprocess.run(list(command), capture_output=True, text=True, check=True, **options).stdout


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path
    return struct.unpack(">II", head[16:24])


def package_of(library):
    """The installed Debian package that holds a shared library, found the way the loader finds it."""
    for line in run("ldconfig", "-p").splitlines():
        if line.strip().startswith(library + " ") and "x86-64" in line:
            path = os.path.realpath(line.rsplit("=>", 1)[1].strip())
            owner = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True).stdout
            if not owner:
                owner = run("dpkg", "-S", line.rsplit("=>", 1)[1].strip())
            return owner.split(":", 1)[0]
    raise AssertionError("no installed library " + library)


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out = tempfile.mkdtemp(prefix="vorlen-package-")
        run("cpack", "-G", "DEB", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"), "-B", cls.out)
        debs = glob.glob(os.path.join(cls.out, "*.deb"))
        assert len(debs) == 1, debs
        cls.deb = debs[0]
        cls.root = os.path.join(cls.out, "root")
        run("dpkg-deb", "-x", cls.deb, cls.root)
        fields = run("dpkg-deb", "-f", cls.deb)
        cls.fields = dict(re.findall(r"^([A-Za-z-]+): (.*)$", fields, re.M))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.root, relative.lstrip("/"))

    def dependencies(self):
        return [alternative.strip().split(" ")[0]
                for item in self.fields["Depends"].split(",") for alternative in item.split("|")]

    def test_control_fields_and_file_name(self):
        self.assertEqual(self.fields["Package"], NAME)
        self.assertEqual(self.fields["Version"], "0.5.0")
        self.assertEqual(self.fields["Architecture"], run("dpkg", "--print-architecture").strip())
        self.assertEqual(os.path.basename(self.deb), "%s_0.5.0_%s.deb" % (NAME, self.fields["Architecture"]))
        self.assertRegex(self.fields["Maintainer"], r"^[^<>]+ <[^@<>]+@[^@<>]+>$")
        self.assertIn("Description", self.fields)
        self.assertLessEqual(len(self.fields["Description"]), 80)

    def test_depends_on_runtime_libraries_that_cover_every_needed_library(self):
        depends = self.dependencies()
        self.assertFalse([d for d in depends if d.endswith("-dev")], depends)
        for package in depends:
            self.assertTrue(run("dpkg-query", "-W", "-f=${Status}", package).endswith("installed"), package)
        for program in PROGRAMS:
            binary = self.path("/usr/bin/" + program)
            needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", run("readelf", "-d", binary))
            self.assertIn("libcurl.so.4", needed, program)
            for library in needed:
                self.assertIn(package_of(library), depends, library)
        # JUCE opens the X libraries itself at run time, so nothing in the binary names them.
        for library in ("libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXinerama.so.1", "libXrandr.so.2", "libXrender.so.1"):
            self.assertIn(package_of(library), depends, library)

    def test_files_modes_and_owners(self):
        listing = run("dpkg-deb", "-c", self.deb).splitlines()
        for line in listing:
            mode, owner, _size, _date, _time, name = line.split(None, 5)
            self.assertEqual(owner, "root/root", line)
            self.assertTrue(name.startswith("./usr/") or name == "./", line)
            if mode.startswith("d"):
                self.assertEqual(mode, "drwxr-xr-x", line)
            elif name in ["./usr/bin/" + program for program in PROGRAMS]:
                self.assertEqual(mode, "-rwxr-xr-x", line)
            else:
                self.assertEqual(mode, "-rw-r--r--", line)
        for program in PROGRAMS:
            sections = run("readelf", "-S", self.path("/usr/bin/" + program))
            self.assertNotIn(".debug_info", sections, program + " is stripped")
        self.assertTrue(os.path.exists(self.path("/usr/share/doc/%s/copyright" % NAME)))
        with gzip.open(self.path("/usr/share/doc/%s/changelog.gz" % NAME), "rt") as f:
            self.assertTrue(f.readline().startswith("%s (0.5.0)" % NAME))

    def test_desktop_entry_names_the_installed_program_and_its_icon(self):
        entry_path = self.path("/usr/share/applications/%s.desktop" % NAME)
        with open(entry_path) as f:
            entry = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        self.assertEqual(entry["Type"], "Application")
        self.assertEqual(entry["Name"], "Vorlen Software Update")
        self.assertTrue(entry["Comment"])
        self.assertTrue(entry["Categories"].endswith(";"))
        self.assertTrue(os.access(self.path("/usr/bin/" + entry["Exec"].split()[0]), os.X_OK))
        for size in ICON_SIZES:
            icon = self.path("/usr/share/icons/hicolor/%dx%d/apps/%s.png" % (size, size, entry["Icon"]))
            self.assertEqual(png_size(icon), (size, size), icon)
        if shutil.which("desktop-file-validate"):
            self.assertEqual(run("desktop-file-validate", entry_path).strip(), "")

    def test_man_pages_render(self):
        for program, says in ((NAME, "dialout"), ("vorlen-cli", "--all-instruments")):
            with self.subTest(program=program):
                page = self.path("/usr/share/man/man1/%s.1.gz" % program)
                with open(page, "rb") as f:
                    self.assertEqual(f.read(10)[4:8], b"\0\0\0\0", "no time stamp in the gzip header")
                # Without a terminal man still overstrikes bold and underlined letters.
                text = re.sub(".\x08", "", run("man", "-l", page, env=dict(os.environ, MANWIDTH="80")))
                self.assertIn("NAME", text)
                self.assertIn(program + " - update a Vorlen", text)
                self.assertIn(says, text)

    def test_the_packaged_cli_runs_without_a_display(self):
        env = dict(os.environ, HOME=self.out, LD_LIBRARY_PATH="")
        env.pop("DISPLAY", None)
        usage = run(self.path("/usr/bin/vorlen-cli"), "--help", env=env)
        self.assertIn("--all-instruments", usage)

    @unittest.skipUnless(shutil.which("lintian"), "lintian is not installed")
    def test_lintian_finds_no_error(self):
        result = subprocess.run(["lintian", "--no-tag-display-limit", self.deb],
                                capture_output=True, text=True)
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [], result.stdout)


if __name__ == "__main__":
    unittest.main()
