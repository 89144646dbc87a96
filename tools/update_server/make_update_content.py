#!/usr/bin/env python3
"""Writes a content tree for update_server.py, plus manifest.json.

Layout under --out:

    last/firmware/test/main.zip          main firmware archive
    last/dreamfw/test/dream.zip          sound-engine firmware archive
    last/soundbank/wavetable.bin
    last/soundbank/wavetable.txt
    last/soundbank/version.xml
    vorlensoftware/windows/vu_version.xml
    vorlensoftware/windows/VorlenSoftware_setup.exe
    manifest.json

Archive entry paths are relative to /usr/ap/ on the instrument; a bare name
starting with ".." is installed directly under /usr/ with the two dots cut.
The same --seed always gives byte-identical output.
"""

import argparse
import hashlib
import json
import os
import random
import re
import struct
import sys
import warnings
import zipfile

MIN_SIZE = 1024
MAX_SIZE = 64 * 1024 * 1024
# Fixed timestamp so that a seed reproduces the archives byte for byte.
ZIP_DATE = (2020, 1, 1, 0, 0, 0)

# The serial transfer escapes these bytes (frame escape, XON/XOFF and their
# high-bit twins, CR after '@'); putting runs of them at the start of every
# binary guarantees that each file exercises the escaping, whatever the seed.
ESCAPE_PROBE = (bytes(range(256))
                + b"\x18" * 64 + b"\x10\x11\x13\x90\x91\x93" * 16
                + b"@\r" * 16 + b"\x18\x18\x18\x18\x18C\x18D")


def parse_size(text):
    m = re.fullmatch(r"\s*(\d+)\s*([kKmM]?)(i?[bB])?\s*", text)
    if not m:
        raise argparse.ArgumentTypeError("bad size %r" % text)
    n = int(m.group(1)) * {"": 1, "k": 1024, "m": 1024 * 1024}[m.group(2).lower()]
    if not MIN_SIZE <= n <= MAX_SIZE:
        raise argparse.ArgumentTypeError("size must be between 1 KiB and 64 MiB")
    return n


def version_document(root, child, version):
    # The application reads the first child element of the root; the second
    # child carries a different version so that reading the wrong element shows.
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<%s>\n'
            '  <%s version="%s" date="2020-01-01"/>\n'
            '  <PREVIOUS version="0.0.1"/>\n'
            '</%s>\n' % (root, child, version, root)).encode()


def binary(rng, size):
    if size <= len(ESCAPE_PROBE):
        return ESCAPE_PROBE[:size]
    return ESCAPE_PROBE + rng.randbytes(size - len(ESCAPE_PROBE))


def md5(data):
    return hashlib.md5(data).hexdigest()


def device_path(entry_name):
    """Where an archive entry ends up on the instrument."""
    if entry_name.startswith(".."):
        return "/usr/" + entry_name[2:]
    return "/usr/ap/" + entry_name


def write_zip(path, entries):
    """entries: list of (name, bytes or None for a directory, unix mode)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    listing = []
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zf:
        for name, data, mode in entries:
            info = zipfile.ZipInfo(name, ZIP_DATE)
            info.create_system = 3  # unix, so the mode bits are meaningful
            if data is None:
                info.external_attr = ((0o40000 | mode) << 16) | 0x10
                info.compress_type = zipfile.ZIP_STORED
                zf.writestr(info, b"")
                listing.append({"name": name, "dir": True,
                                "device_path": device_path(name)})
            else:
                info.external_attr = (0o100000 | mode) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                zf.writestr(info, data)
                listing.append({"name": name, "dir": False, "size": len(data),
                                "md5": md5(data),
                                "device_path": device_path(name)})
    return listing


HOSTILE_KINDS = ("symlink", "badcrc", "duplicate", "samename", "oversized")
OVERSIZED_BYTES = 256 * 1024 * 1024 + 1   # one byte over the application's bound


def add_hostile_entries(path, kind, seed):
    """Appends to the main archive what a damaged or malicious server could put in it."""
    rng = random.Random("hostile:%s:%d" % (kind, seed))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")     # zipfile warns about the duplicated name
        with zipfile.ZipFile(path, "a", zipfile.ZIP_DEFLATED) as zf:
            if kind == "symlink":
                info = zipfile.ZipInfo("lib/libpasswd.so", ZIP_DATE)
                info.create_system = 3
                info.external_attr = (0o120777 << 16)
                zf.writestr(info, b"/etc/passwd")
            elif kind == "badcrc":
                info = zipfile.ZipInfo("lib/stored.bin", ZIP_DATE)
                info.create_system = 3
                info.external_attr = (0o100644 << 16)
                info.compress_type = zipfile.ZIP_STORED
                zf.writestr(info, rng.randbytes(4096))
            elif kind == "duplicate":
                info = zipfile.ZipInfo("lib/libfoo.so", ZIP_DATE)
                info.create_system = 3
                info.external_attr = (0o100755 << 16)
                zf.writestr(info, rng.randbytes(2048))
            elif kind == "samename":
                for folder in ("lib/a/", "lib/b/"):
                    zf.writestr(zipfile.ZipInfo(folder, ZIP_DATE), b"")
                    info = zipfile.ZipInfo(folder + "x.bin", ZIP_DATE)
                    info.create_system = 3
                    info.external_attr = (0o100644 << 16)
                    zf.writestr(info, ("%s x.bin, seed %d\n" % (folder, seed)).encode()
                                + rng.randbytes(1500))
            elif kind == "oversized":
                info = zipfile.ZipInfo("lib/huge.bin", ZIP_DATE)
                info.create_system = 3
                info.external_attr = (0o100644 << 16)
                info.compress_type = zipfile.ZIP_DEFLATED
                zeros = bytes(1 << 20)
                with zf.open(info, "w", force_zip64=False) as out:
                    left = OVERSIZED_BYTES
                    while left:
                        n = min(left, len(zeros))
                        out.write(zeros[:n])
                        left -= n
    if kind == "badcrc":
        # Flip one stored byte: the directory keeps the CRC of the original bytes.
        with zipfile.ZipFile(path) as zf:
            info = zf.getinfo("lib/stored.bin")
        with open(path, "r+b") as f:
            f.seek(info.header_offset + 26)
            name_len, extra_len = struct.unpack("<HH", f.read(4))
            at = info.header_offset + 30 + name_len + extra_len + 100
            f.seek(at)
            byte = f.read(1)
            f.seek(at)
            f.write(bytes([byte[0] ^ 0x55]))


def write_file(path, data, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)


def generate(out, seed=1, main_size=256 * 1024, lib_size=48 * 1024,
             dream_size=32 * 1024, wavetable_size=128 * 1024,
             firmware_version="2.0", dream_version="2.0",
             sound_version="2.0", app_version="1.0.0", empty_file=False,
             extra_files=0, extra_size=32 * 1024, hostile=None):
    """Writes the tree under out and returns the manifest (also written)."""
    rng = random.Random(seed)
    out = os.path.abspath(out)

    main_entries = [
        ("main", binary(rng, main_size), 0o755),
        ("config.xml", version_document("VORLEN", "FIRMWARE", firmware_version), 0o644),
        ("lib/", None, 0o755),
        ("lib/libfoo.so", binary(rng, lib_size), 0o755),
        ("lib/libbar.so.1", binary(rng, lib_size // 2 + 123), 0o755),
        ("d1/", None, 0o755),
        ("d1/d2/", None, 0o755),
        ("d1/d2/x", b"nested file, seed %d\n" % seed, 0o644),
        ("share/", None, 0o755),
        ("share/presets.txt", b"".join(b"preset %03d %08x\n" % (i, rng.getrandbits(32))
                                       for i in range(40)), 0o644),
        # A bare name starting with ".." is placed in /usr/, not /usr/ap/.
        ("..vorlen.conf", b"# installed as /usr/vorlen.conf\nseed=%d\n" % seed, 0o644),
    ]
    if empty_file:
        main_entries.insert(8, ("d1/empty", b"", 0o644))
    if extra_files:
        # In a folder the instrument has: the update never creates folders.
        main_entries += [("share/part%02d.bin" % i, binary(rng, extra_size), 0o644) for i in range(extra_files)]

    dream_entries = [
        ("dream_version.xml", version_document("DREAM", "FIRMWARE", dream_version), 0o644),
        ("dream/", None, 0o755),
        ("dream/dsp.bin", binary(rng, dream_size), 0o644),
        ("dream/dsp.cfg", b"rate=48000\nvoices=%d\n" % (16 + seed % 17), 0o644),
    ]

    archives = {
        "last/firmware/test/main.zip": main_entries,
        "last/dreamfw/test/dream.zip": dream_entries,
    }
    wavetable = binary(rng, wavetable_size)
    plain = {
        "last/soundbank/wavetable.bin": (wavetable, 0o644, "/usr/ap/wavetable.bin"),
        "last/soundbank/wavetable.txt": (
            b"".join(b"wave %03d offset %d\n" % (i, i * 512) for i in range(64))
            + b"size %d\n" % len(wavetable), 0o644, "/usr/ap/wavetable.txt"),
        "last/soundbank/version.xml": (
            version_document("SOUNDBANK", "SOUNDS", sound_version), 0o644,
            "/usr/ap/sound_version.xml"),
        "vorlensoftware/windows/vu_version.xml": (
            version_document("VORLENSOFTWARE", "APPLICATION", app_version), 0o644, None),
        "vorlensoftware/windows/VorlenSoftware_setup.exe": (
            b"#!/bin/sh\n# stand-in installer\necho 'Vorlen Software installer %s'\n"
            b"exit 0\n" % app_version.encode(), 0o755, None),
    }

    manifest = {"seed": seed,
                "versions": {"firmware": firmware_version, "dream": dream_version,
                             "sound": sound_version, "application": app_version},
                "files": {}, "archives": {}, "device": {}}
    for rel, entries in archives.items():
        path = os.path.join(out, *rel.split("/"))
        listing = write_zip(path, entries)
        if hostile and rel == "last/firmware/test/main.zip":
            add_hostile_entries(path, hostile, seed)
        manifest["archives"][rel] = listing
        for e in listing:
            if not e["dir"]:
                manifest["device"][e["device_path"]] = {
                    "size": e["size"], "md5": e["md5"], "from": rel}
    for rel, (data, mode, dest) in plain.items():
        write_file(os.path.join(out, *rel.split("/")), data, mode)
        if dest:
            manifest["device"][dest] = {"size": len(data), "md5": md5(data), "from": rel}
    for rel in list(archives) + list(plain):
        with open(os.path.join(out, *rel.split("/")), "rb") as f:
            data = f.read()
        manifest["files"][rel] = {"size": len(data), "md5": md5(data)}

    with open(os.path.join(out, "manifest.json"), "w", encoding="utf-8") as f:
        json.dump(manifest, f, indent=2, sort_keys=True)
        f.write("\n")
    return manifest


def main(argv=None):
    p = argparse.ArgumentParser(description="Write a content tree for update_server.py.")
    p.add_argument("--out", required=True, help="directory to write (created)")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--main-size", type=parse_size, default=256 * 1024,
                   help="size of the 'main' binary, e.g. 4096, 512K, 16M (1K..64M)")
    p.add_argument("--lib-size", type=parse_size, default=48 * 1024)
    p.add_argument("--dream-size", type=parse_size, default=32 * 1024)
    p.add_argument("--wavetable-size", type=parse_size, default=128 * 1024)
    p.add_argument("--firmware-version", default="2.0",
                   help="version in the archive's config.xml")
    p.add_argument("--dream-version", default="2.0",
                   help="version in the archive's dream_version.xml")
    p.add_argument("--sound-version", default="2.0")
    p.add_argument("--app-version", default="1.0.0")
    p.add_argument("--empty-file", action="store_true",
                   help="add a zero-length file d1/empty to the main archive")
    p.add_argument("--extra-files", type=int, default=0,
                   help="add this many random files share/partNN.bin to the main archive")
    p.add_argument("--extra-size", type=parse_size, default=32 * 1024, help="size of each extra file")
    p.add_argument("--hostile", choices=HOSTILE_KINDS,
                   help="add to the main archive: a symlink entry, a stored entry whose bytes "
                        "fail its CRC, a duplicated entry path, lib/a/x.bin + lib/b/x.bin, or "
                        "an entry one byte over 256 MiB")
    a = p.parse_args(sys.argv[1:] if argv is None else argv)
    m = generate(a.out, a.seed, a.main_size, a.lib_size, a.dream_size,
                 a.wavetable_size, a.firmware_version, a.dream_version,
                 a.sound_version, a.app_version, a.empty_file, a.extra_files, a.extra_size,
                 a.hostile)
    for rel, info in sorted(m["files"].items()):
        print("%10d  %s  %s" % (info["size"], info["md5"], rel))
    return 0


if __name__ == "__main__":
    sys.exit(main())
