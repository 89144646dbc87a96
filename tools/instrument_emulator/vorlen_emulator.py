#!/usr/bin/env python3
"""Vorlen instrument emulator.

The application opens LINK, a symlink to the slave of pseudo-terminal 1.  A
relay copies bytes between the master of pty 1 and the master of pty 2, on
which `dash -i` runs inside a private mount and PID namespace whose /usr is an
overlay with the instrument's tree as upper layer.  Pacing, fault injection
and the command log live in the relay.  See README.md for the user's view.
"""

import argparse
import collections
import errno
import fcntl
import hashlib
import math
import os
import random
import select
import shutil
import signal
import socket
import stat
import struct
import subprocess
import sys
import termios
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# The prompt is wrapped in these markers inside the namespace so that the
# relay can find it (to swallow the boot prompt and to suppress prompts on
# request) without guessing from the text.  They never reach the application.
PROMPT_START = b"\x1b\x1d\x1f<"
PROMPT_END = b">\x1f\x1d\x1b"

SHIM_DIR = "emubin"          # /usr/emubin inside the namespace
STATE_IN_NS = "/usr/emubin/.state"
# "mount" is a shim of its own (see shims/mount); the rest are busybox applets.
BUSYBOX_APPLETS = ["ls", "rm", "mv", "chmod", "umount", "cp", "cat",
                   "mkdir", "rmdir", "touch", "ln", "sync", "df", "head",
                   "tail", "wc", "ps", "sleep"]

TO_DEVICE = "to-device"
TO_HOST = "to-host"

RELAY_CAPACITY = 4096        # bytes the relay holds per direction
BURST = 256                  # token-bucket depth: a typed line goes out whole


def now_stamp():
    return "%.3f" % time.time()


def printable(data):
    out = []
    for b in data:
        if 0x20 <= b < 0x7F and b != 0x5C:
            out.append(chr(b))
        else:
            out.append("\\x%02x" % b)
    return "".join(out)


# --------------------------------------------------------------------------
# Sandbox preparation


def version_document(root, child, version):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<%s>\n  <%s version="%s"/>\n</%s>\n' % (root, child, version, root))


# Folders of the installed firmware that the update fixture's archives fill; the application
# installs into existing folders only.
FIRMWARE_FOLDERS = ("lib", "d1/d2", "share", "dream")


def build_instrument_tree(ap, args):
    os.makedirs(os.path.join(ap, "presets"))
    for folder in FIRMWARE_FOLDERS:
        os.makedirs(os.path.join(ap, folder))
    rng = random.Random("vorlen:" + args.serial)
    main = os.path.join(ap, "main")
    with open(main, "w") as f:
        f.write("#!/bin/sh\n# instrument application stand-in\n"
                "while :; do sleep 1; done\n")
    os.chmod(main, 0o755)
    docs = {
        "config.xml": version_document("config", "firmware", args.firmware_version),
        "dream_version.xml": version_document("dream", "engine", args.dream_version),
        "sound_version.xml": version_document("sound", "bank", args.sound_version),
    }
    for name, text in docs.items():
        with open(os.path.join(ap, name), "w") as f:
            f.write(text)
    with open(os.path.join(ap, "wavetable.bin"), "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(4096)))
    with open(os.path.join(ap, "wavetable.txt"), "w") as f:
        f.write("wavetable %s\n" % args.sound_version)
    for i in range(args.presets):
        size = rng.randint(200, 1500)
        with open(os.path.join(ap, "presets", "Preset%02d.mz" % (i + 1)), "wb") as f:
            f.write(bytes(rng.getrandbits(8) for _ in range(size)))


def preload_library():
    """Builds noflush.so once per source version into a cache directory."""
    src = os.path.join(HERE, "noflush.c")
    with open(src, "rb") as f:
        digest = hashlib.sha1(f.read()).hexdigest()[:12]
    cache = os.environ.get("VORLEN_EMULATOR_CACHE") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"),
        "vorlen-emulator")
    os.makedirs(cache, exist_ok=True)
    lib = os.path.join(cache, "noflush-%s.so" % digest)
    if not os.path.exists(lib):
        tmp = "%s.%d.tmp" % (lib, os.getpid())
        subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", tmp, src, "-ldl"],
                       check=True)
        os.rename(tmp, lib)
    return lib


# --------------------------------------------------------------------------
# /usr's upper layer on a size-limited tmpfs ("full flash")
#
# The overlay's upper and work directories live on a tmpfs mounted (on the
# host, before the namespace is made) at WORKDIR/.emu/usrfs; WORKDIR/usr is a
# link to its upper directory, so the host sees the instrument's files where it
# always did.  Its size can be set to what is used plus SIZE at any time
# (tmpfs refuses to limit a mount that started unlimited, hence the large
# finite default).  At stop the upper layer is copied out to a plain
# WORKDIR/usr and the tmpfs is unmounted.

USRFS = os.path.join(".emu", "usrfs")
USRFS_UNLIMITED = 1 << 40
MS_REMOUNT = 32
MNT_DETACH = 2


def _libc():
    import ctypes
    return ctypes.CDLL(None, use_errno=True)


def _check(rc, what):
    if rc != 0:
        import ctypes
        e = ctypes.get_errno()
        raise OSError(e, "%s: %s" % (what, os.strerror(e)))


def mount_usrfs(path, size):
    _check(_libc().mount(b"vorlen-usr", os.fsencode(path), b"tmpfs", 0,
                         b"mode=0755,size=%d" % size), "mount tmpfs on " + path)


def resize_usrfs(path, size):
    _check(_libc().mount(b"vorlen-usr", os.fsencode(path), b"tmpfs", MS_REMOUNT,
                         b"size=%d" % size), "remount " + path)


def unmount_usrfs(path):
    """Unmounts every mount stacked on path (a stale one included)."""
    while os.path.ismount(path):
        _check(_libc().umount2(os.fsencode(path), MNT_DETACH), "unmount " + path)


def usrfs_used(path):
    st = os.statvfs(path)
    return (st.f_blocks - st.f_bfree) * st.f_frsize


def parse_size(text):
    t = text.strip().lower()
    units = {"k": 1 << 10, "m": 1 << 20, "g": 1 << 30}
    scale = units.get(t[-1:], 1)
    try:
        value = int(t[:-1] if t[-1:] in units else t)
    except ValueError:
        raise FaultError("bad size %r (bytes, or with k, m, g)" % text)
    if value < 0:
        raise FaultError("bad size %r" % text)
    return value * scale


def copy_upper_layer(src, dst):
    """Copies the overlay's upper layer (whiteouts included) to dst."""
    os.mkdir(dst)
    shutil.copystat(src, dst)
    for name in os.listdir(src):
        s, d = os.path.join(src, name), os.path.join(dst, name)
        st = os.lstat(s)
        if stat.S_ISDIR(st.st_mode):
            copy_upper_layer(s, d)
        elif stat.S_ISLNK(st.st_mode):
            os.symlink(os.readlink(s), d)
        elif stat.S_ISREG(st.st_mode):
            shutil.copy2(s, d)
        elif stat.S_ISCHR(st.st_mode):
            os.mknod(d, st.st_mode, st.st_rdev)
            os.chmod(d, stat.S_IMODE(st.st_mode))


def prepare_workdir(args):
    wd = args.workdir
    os.makedirs(wd, exist_ok=True)
    unmount_usrfs(os.path.join(wd, USRFS))      # left by an emulator that was killed
    for sub in ("usr", "tmp", "root", ".emu"):
        p = os.path.join(wd, sub)
        if os.path.islink(p):
            os.unlink(p)
        elif os.path.lexists(p):
            shutil.rmtree(p)
    for name in ("commands.log", "events.log", "to-device.bin", "to-host.bin",
                 "control.sock", "tree.txt"):
        p = os.path.join(wd, name)
        if os.path.lexists(p):
            os.unlink(p)
    upper = os.path.join(wd, "usr")
    if args.face == "dead":
        os.makedirs(upper)
    else:
        usrfs = os.path.join(wd, USRFS)
        os.makedirs(usrfs)
        mount_usrfs(usrfs, USRFS_UNLIMITED)
        os.makedirs(os.path.join(usrfs, "upper"))
        os.makedirs(os.path.join(usrfs, "work"))
        os.symlink(os.path.join(USRFS, "upper"), upper)
    os.makedirs(os.path.join(wd, "tmp"))
    os.chmod(os.path.join(wd, "tmp"), 0o1777)
    os.makedirs(os.path.join(wd, "root"))
    os.chmod(os.path.join(wd, "root"), 0o700)
    state = os.path.join(wd, ".emu", "state")
    os.makedirs(state)

    if args.face == "instrument":
        ap = os.path.join(upper, "ap")
        if args.template:
            shutil.copytree(args.template, ap, symlinks=True)
        else:
            build_instrument_tree(ap, args)

    shims = os.path.join(upper, SHIM_DIR)
    os.makedirs(os.path.join(shims, ".state"))
    os.makedirs(os.path.join(shims, ".lrzsz"))
    wanted = ["poweroff", "fuser", "md5sum", "mount", "xfer"]
    if args.face == "instrument":
        wanted.append("read_mac_sn")
    for name in wanted:
        shutil.copy2(os.path.join(HERE, "shims", name), os.path.join(shims, name))
    for name in ("rz", "sz", "lsz"):
        os.symlink("xfer", os.path.join(shims, name))
    os.symlink("/usr/bin/sz", os.path.join(shims, ".lrzsz", "lsz"))
    busybox = shutil.which("busybox") or "/bin/busybox"
    for applet in BUSYBOX_APPLETS:
        os.symlink(busybox, os.path.join(shims, applet))

    with open(os.path.join(state, "serial"), "w") as f:
        f.write(args.serial + "\n")
    mac_bytes = hashlib.md5(args.serial.encode()).digest()[:5]
    with open(os.path.join(state, "mac"), "w") as f:
        f.write("02:" + ":".join("%02x" % b for b in mac_bytes) + "\n")
    open(os.path.join(state, "bad-md5"), "w").close()
    os.mkfifo(os.path.join(state, "hook"), 0o600)
    shutil.copy2(preload_library(), os.path.join(state, "noflush.so"))
    return state


def boot_script(wd, face):
    """Runs as PID 1 of the instrument's namespace and becomes its shell.

    /usr is an overlay (upper layer in the sandbox), /tmp and /root are
    sandbox directories, and the host's root file system is bind-remounted
    read-only for this namespace alone (the root of many embedded systems is
    read-only too); the host's other mounts (/dev, /sys, ...) are left as they
    are.  The shell starts in /root, root's home, as a console shell logged in
    as root does, so nothing it writes before its first "cd" reaches the host.
    """
    prompt = "root@box:~$ " if face == "other" else "$PWD # "
    q = lambda s: "'" + s.replace("'", "'\\''") + "'"
    return "\n".join([
        "set -e",
        "W=" + q(wd),
        'mount -t overlay overlay -o "lowerdir=/usr,upperdir=$W/%s/upper,workdir=$W/%s/work" /usr'
        % (USRFS, USRFS),
        'mount --bind "$W/.emu/state" %s' % STATE_IN_NS,
        'mount --bind "$W/root" /root',
        # Last: the work directory itself may be under /tmp.
        'mount --bind "$W/tmp" /tmp',
        "cd /usr/ap 2>/dev/null && /usr/ap/main </dev/null >/dev/null 2>&1 &",
        # "bind": this mount only, in this namespace only; a plain remount
        # would change the host's root file system itself.
        "mount -o remount,bind,ro /",
        "cd /root",
        "set +e",
        "export PATH=/usr/%s:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root USER=root" % SHIM_DIR,
        "unset ENV",
        "S=$(printf '%s')" % "".join("\\%03o" % b for b in PROMPT_START),
        "E=$(printf '%s')" % "".join("\\%03o" % b for b in PROMPT_END),
        "export PS1=\"$S\"%s\"$E\"" % q(prompt),
        "exec dash -i -I",
    ]) + "\n"


# --------------------------------------------------------------------------
# Pseudo-terminals


TIOCSPTLCK = 0x40045431      # Linux; termios does not export these
TIOCGPTN = 0x80045430


def open_pty():
    """Returns (master_fd, slave_fd, slave_path); neither end becomes our ctty."""
    master = os.open("/dev/ptmx", os.O_RDWR | os.O_NOCTTY)
    fcntl.ioctl(master, TIOCSPTLCK, struct.pack("i", 0))
    num = struct.unpack("I", fcntl.ioctl(master, TIOCGPTN, b"\0" * 4))[0]
    path = "/dev/pts/%d" % num
    slave = os.open(path, os.O_RDWR | os.O_NOCTTY)
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    os.set_blocking(master, False)
    return master, slave, path


# --------------------------------------------------------------------------
# Faults


class FaultError(Exception):
    pass


def parse_duration(text):
    t = text.strip().lower()
    try:
        if t.endswith("ms"):
            return float(t[:-2]) / 1000.0
        if t.endswith("s"):
            return float(t[:-1])
        return float(t) / 1000.0
    except ValueError:
        raise FaultError("bad duration %r" % text)


def parse_int(text):
    try:
        return int(text, 0)
    except ValueError:
        raise FaultError("bad number %r" % text)


class Flip:
    """XORs bytes: one at an offset, or each byte with a probability."""

    def __init__(self, armed_at, offset=None, rate=None, seed=None, mask=0x01):
        self.mask = mask
        self.offset = None if offset is None else armed_at + offset
        self.rate = rate
        self.rng = random.Random(seed)
        if rate is not None:
            self.offset = armed_at + self._gap()

    def _gap(self):
        if self.rate >= 1.0:
            return 0
        u = 1.0 - self.rng.random()
        return int(math.log(u) / math.log1p(-self.rate))

    def apply(self, start, data):
        """Returns data (maybe changed) and whether the fault is used up."""
        end = start + len(data)
        while self.offset is not None and start <= self.offset < end:
            i = self.offset - start
            mask = self.mask if self.rate is None else (1 << self.rng.randrange(8))
            data[i] ^= mask
            if self.rate is None:
                self.offset = None
            else:
                self.offset += 1 + self._gap()
        return data, self.offset is None


class Drop:
    def __init__(self, armed_at, count, offset):
        self.first = armed_at + offset
        self.last = self.first + count

    def apply(self, start, data):
        end = start + len(data)
        a = max(self.first, start)
        b = min(self.last, end)
        if a < b:
            del data[a - start:b - start]
        return data, end >= self.last


class Marker:
    """An event placed in the byte stream at an offset: stall or unplug."""

    def __init__(self, armed_at, offset, kind, value=None):
        self.at = armed_at + offset
        self.kind = kind
        self.value = value


class Direction:
    def __init__(self, name, rate):
        self.name = name
        self.src = None
        self.dst = None
        self.flow_slave = None     # slave whose output we stop when full
        self.queue = collections.deque()   # bytearray or Marker
        self.queued = 0
        self.total_in = 0
        self.total_out = 0
        self.faults = []
        self.markers = []
        self.rate = rate
        self.tokens = BURST
        self.last_refill = time.monotonic()
        self.hold_until = 0.0
        self.stopped = False
        self.want_write = False
        self.dump = None

    def set_rate(self, rate):
        self.rate = rate
        self.tokens = BURST
        self.last_refill = time.monotonic()

    def take_in(self, data):
        """Runs incoming bytes through faults and queues them."""
        start = self.total_in
        self.total_in += len(data)
        buf = bytearray(data)
        # Byte-changing faults see the original positions; a drop earlier in
        # the list shifts nothing for later ones because all use `start`.
        keep = []
        for fault in self.faults:
            if isinstance(fault, Flip):
                buf, done = fault.apply(start, buf)
                if not done:
                    keep.append(fault)
        drops = [f for f in self.faults if isinstance(f, Drop)]
        for fault in sorted(drops, key=lambda f: -f.first):
            buf, done = fault.apply(start, buf)
            if not done:
                keep.append(fault)
        self.faults = keep
        # Stall/unplug markers split the chunk at their offsets.  Offsets are
        # input positions; dropped bytes before them are ignored for the split.
        due = sorted([m for m in self.markers if m.at < self.total_in],
                     key=lambda m: m.at)
        self.markers = [m for m in self.markers if m.at >= self.total_in]
        pos = start
        for m in due:
            cut = max(0, min(len(buf), m.at - pos))
            if cut:
                self._push(buf[:cut])
                buf = buf[cut:]
                pos += cut
            self.queue.append(m)
        if buf:
            self._push(buf)

    def _push(self, buf):
        self.queue.append(bytearray(buf))
        self.queued += len(buf)

    def refill(self, now):
        if self.rate:
            self.tokens = min(BURST, self.tokens + (now - self.last_refill) * self.rate)
        self.last_refill = now


# --------------------------------------------------------------------------
# The emulator


class Emulator:
    def __init__(self, args):
        self.args = args
        self.wd = os.path.abspath(args.workdir)
        self.link = args.port
        self.rate = args.baud / 10.0 if args.baud else 0.0
        self.down = Direction(TO_DEVICE, self.rate)
        self.up = Direction(TO_HOST, self.rate)
        self.mode = "command"          # or "transfer"
        self.cooked_tail = bytearray()
        self.cmd_line = bytearray()
        self.booted = args.face == "dead"
        self.ready_printed = False
        self.unplugged = False
        self.stopping = False
        self.no_prompt = False
        self.prompts_to_drop = 0       # "no-prompt N": only the next N prompts
        self.slow_shell = 0.0
        self.shell_pid = None          # the namespace's PID 1, seen from here
        self.commands_seen = 0         # command lines logged since boot
        self.freeze_at = None          # (commands_seen that freezes, N as armed)
        self.frozen = False            # bytes from the application are dropped
        self.frozen_dropped = 0
        self.kill_transfer_after = None    # bytes of a transfer before its program is killed
        self.transfer_bytes = 0        # bytes through the relay since the transfer began
        self.shell_resume_at = None    # set while the shell is held (slow-shell)
        self.boot_output = bytearray()
        self.prompt_pending = bytearray()
        self.ns_proc = None
        self.ns_pid1 = None
        self.kill_ns_at = None
        self.clients = {}
        self.commands_log = None
        self.events_log = None
        self.m1 = self.s1 = self.m2 = self.s2 = None
        self.hook = None
        self.pidfd = None
        self.parent = os.getppid() if args.exit_with_parent else None
        self.parent_fd = None
        if self.parent is not None:
            try:
                self.parent_fd = os.pidfd_open(self.parent)
            except (AttributeError, OSError):
                self.parent_fd = None      # polled below instead

    # ---- records

    def event(self, text):
        self.events_log.write("%s %s\n" % (now_stamp(), text))
        self.events_log.flush()

    def command(self, line):
        if line:
            self.commands_log.write("%s %s\n" % (now_stamp(), printable(line)))
            self.commands_log.flush()
            self.commands_seen += 1
            if self.freeze_at is not None and self.commands_seen >= self.freeze_at[0]:
                self.frozen = True
                self.event("frozen after command %d: %s" % (self.freeze_at[1], printable(line)))
                self.freeze_at = None

    # ---- fault vocabulary (shared by the command line and control.sock)

    def apply_command(self, text):
        words = text.split()
        if not words:
            raise FaultError("empty command")
        verb = words[0]

        def direction(word):
            if word == TO_DEVICE:
                return self.down
            if word == TO_HOST:
                return self.up
            raise FaultError("direction must be to-device or to-host, not %r" % word)

        if verb == "flip" and len(words) >= 4:
            d = direction(words[1])
            opts = dict(zip(words[2::2], words[3::2]))
            mask = parse_int(opts.get("xor", "1")) & 0xFF or 1
            if "offset" in opts:
                d.faults.append(Flip(d.total_in, offset=parse_int(opts["offset"]), mask=mask))
            elif "rate" in opts:
                try:
                    rate = float(opts["rate"])
                except ValueError:
                    raise FaultError("bad rate")
                if not 0 < rate <= 1:
                    raise FaultError("rate must be in (0, 1]")
                d.faults.append(Flip(d.total_in, rate=rate, seed=parse_int(opts.get("seed", "1"))))
            else:
                raise FaultError("flip needs offset N or rate R")
        elif verb == "drop" and (len(words) == 3 or (len(words) == 5 and words[3] == "at")):
            d = direction(words[1])
            at = parse_int(words[4]) if len(words) == 5 else 0
            d.faults.append(Drop(d.total_in, parse_int(words[2]), at))
        elif verb == "stall" and (len(words) == 3 or (len(words) == 5 and words[3] == "at")):
            d = direction(words[1])
            at = parse_int(words[4]) if len(words) == 5 else 0
            d.markers.append(Marker(d.total_in, at, "stall", parse_duration(words[2])))
        elif verb == "unplug" and words[1:] == ["now"]:
            if not self.ready_printed:
                raise FaultError("'unplug now' is for run time; before start use "
                                 "'unplug to-host after N' or 'unplug to-device after N'")
            if self.unplugged:
                raise FaultError("already unplugged")
            self.unplug("requested")
        elif verb == "unplug" and len(words) == 4 and words[2] == "after":
            d = direction(words[1])
            d.markers.append(Marker(d.total_in, parse_int(words[3]), "unplug"))
        elif verb == "pace" and len(words) == 2:
            baud = parse_int(words[1])
            self.rate = baud / 10.0 if baud > 0 else 0.0
            self.down.set_rate(self.rate)
            self.up.set_rate(self.rate)
        elif verb == "slow-shell" and len(words) == 2:
            self.slow_shell = parse_duration(words[1])
            if not self.slow_shell:
                self.resume_shell()
        elif verb == "no-prompt" and len(words) <= 2:
            if words[1:] and words[1] not in ("on", "off"):
                self.prompts_to_drop = parse_int(words[1])
            else:
                self.no_prompt = words[1:] != ["off"]
                self.prompts_to_drop = 0
        elif verb == "bad-md5" and len(words) >= 2:
            path = os.path.join(self.wd, ".emu", "state", "bad-md5")
            names = [] if words[1:] == ["clear"] else words[1:]
            if names:
                with open(path, "a") as f:
                    f.write("".join(n + "\n" for n in names))
            else:
                with open(path, "w"):
                    pass
        elif verb == "usr-free" and len(words) == 2:
            usrfs = os.path.join(self.wd, USRFS)
            if not os.path.ismount(usrfs):
                raise FaultError("no size-limited /usr with this face")
            if words[1] == "off":
                size = USRFS_UNLIMITED
            else:
                size = usrfs_used(usrfs) + parse_size(words[1])
            try:
                resize_usrfs(usrfs, size)
            except OSError as e:
                raise FaultError(str(e))
        elif verb == "freeze" and len(words) == 3 and words[1] == "after-command":
            n = parse_int(words[2])
            if n < 1:
                raise FaultError("the command count starts at 1")
            self.freeze_at = (self.commands_seen + n, n)
        elif verb == "thaw" and len(words) == 1:
            self.thaw()
        elif verb == "kill-transfer" and len(words) == 3 and words[1] == "after":
            self.kill_transfer_after = parse_int(words[2])
        elif verb == "clear" and len(words) == 1:
            for d in (self.down, self.up):
                d.faults = []
                d.markers = []
                d.hold_until = 0.0
            self.thaw()
            self.kill_transfer_after = None
            if os.path.ismount(os.path.join(self.wd, USRFS)):
                resize_usrfs(os.path.join(self.wd, USRFS), USRFS_UNLIMITED)
            self.no_prompt = False
            self.prompts_to_drop = 0
            self.slow_shell = 0.0
            self.resume_shell()
            with open(os.path.join(self.wd, ".emu", "state", "bad-md5"), "w"):
                pass
        elif verb == "tree" and len(words) == 1:
            self.write_tree()
        elif verb == "status" and len(words) == 1:
            return "OK unplugged=%d mode=%s to-device=%d to-host=%d frozen=%d commands=%d\n" % (
                self.unplugged, self.mode, self.down.total_in, self.up.total_in,
                self.frozen, self.commands_seen)
        else:
            raise FaultError("unknown command %r" % text)
        return "OK\n"

    # ---- start-up

    def start(self):
        args = self.args
        prepare_workdir(args)
        self.commands_log = open(os.path.join(self.wd, "commands.log"), "a")
        self.events_log = open(os.path.join(self.wd, "events.log"), "a")
        if args.dump:
            self.down.dump = open(os.path.join(self.wd, "to-device.bin"), "wb")
            self.up.dump = open(os.path.join(self.wd, "to-host.bin"), "wb")

        self.m1, self.s1, self.pts1 = open_pty()
        self.down.src = self.m1
        self.down.flow_slave = self.s1
        self.up.dst = self.m1
        if args.face != "dead":
            self.m2, self.s2, _ = open_pty()
            self.down.dst = self.m2
            self.up.src = self.m2
            self.up.flow_slave = self.s2
            hook_path = os.path.join(self.wd, ".emu", "state", "hook")
            self.hook = os.open(hook_path, os.O_RDWR | os.O_NONBLOCK)
            self.hook_buf = b""
            self.spawn_namespace()

        self.control = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.control.bind(short_socket_path(self.wd))
        self.control.listen(8)
        self.control.setblocking(False)

        for text in args.faults:
            self.apply_command(text)
        self.event("boot face=%s" % args.face)

    def spawn_namespace(self):
        slave = self.s2

        def child_setup():
            os.setsid()
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)
            libc_prctl_pdeathsig()

        env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "HOME": "/root",
               "TERM": "vt100", "LANG": "C"}
        self.ns_proc = subprocess.Popen(
            ["unshare", "-m", "-p", "-f", "--mount-proc", "--kill-child",
             "/bin/sh", "-c", boot_script(self.wd, self.args.face)],
            stdin=slave, stdout=slave, stderr=slave, env=env,
            preexec_fn=child_setup, close_fds=True)
        try:
            self.pidfd = os.pidfd_open(self.ns_proc.pid)
        except (AttributeError, OSError):
            self.pidfd = None

    def publish_link(self):
        tmp = "%s.%d.tmp" % (self.link, os.getpid())
        if os.path.lexists(tmp):
            os.unlink(tmp)
        os.symlink(self.pts1, tmp)
        if os.path.lexists(self.link) and not os.path.islink(self.link):
            os.unlink(tmp)
            raise SystemExit("vorlen_emulator: %s exists and is not a link" % self.link)
        os.rename(tmp, self.link)
        sys.stdout.write("READY %s\n" % self.link)
        sys.stdout.flush()
        self.ready_printed = True
        self.event("ready link=%s pts=%s" % (self.link, self.pts1))

    # ---- unplug and stop

    def remove_link(self):
        try:
            if os.path.islink(self.link) and os.readlink(self.link) == self.pts1:
                os.unlink(self.link)
        except OSError:
            pass

    def unplug(self, reason):
        if self.unplugged:
            return
        self.unplugged = True
        self.event("unplug %s" % reason)
        self.remove_link()
        for fd in (self.m1, self.s1):
            if fd is not None:
                os.close(fd)
        self.m1 = self.s1 = None
        self.down.src = self.up.dst = self.down.flow_slave = None
        self.up.queue.clear()
        self.up.queued = 0
        if self.ns_proc is not None:
            # The instrument loses power shortly after the link goes.
            self.kill_ns_at = time.monotonic() + 0.3

    def namespace_init(self):
        """Host PID of the namespace's PID 1 (the shell), or None."""
        if self.ns_proc is None or self.ns_proc.poll() is not None:
            return None
        try:
            with open("/proc/%d/task/%d/children" % ((self.ns_proc.pid,) * 2)) as f:
                kids = f.read().split()
                return int(kids[0]) if kids else None
        except OSError:
            return None

    # ---- slow shell: the shell is stopped when a command line reaches its
    # terminal and continued N ms later.  The terminal's echo is the kernel's
    # and comes back at once, as on the instrument; the answer comes late.

    def hold_shell(self, now):
        if self.shell_pid is None:
            self.shell_pid = self.namespace_init()
        if self.shell_pid is None:
            return
        if self.shell_resume_at is None:
            try:
                os.kill(self.shell_pid, signal.SIGSTOP)
            except OSError:
                return
        self.shell_resume_at = max(self.shell_resume_at or 0.0, now + self.slow_shell)

    def resume_shell(self):
        if self.shell_resume_at is None:
            return
        self.shell_resume_at = None
        try:
            os.kill(self.shell_pid, signal.SIGCONT)
        except (OSError, TypeError):
            pass

    def kill_namespace(self):
        self.kill_ns_at = None
        if self.ns_proc is None or self.ns_proc.poll() is not None:
            return
        pid1 = self.namespace_init()
        # Killing PID 1 ends the whole namespace; unshare then reaps it and exits.
        if pid1:
            try:
                os.kill(pid1, signal.SIGKILL)
            except OSError:
                pid1 = None
        try:
            self.ns_proc.wait(timeout=2.0 if pid1 else 0)
        except subprocess.TimeoutExpired:
            pass
        if self.ns_proc.poll() is None:
            self.ns_proc.kill()     # --kill-child takes PID 1 with it
            self.ns_proc.wait()

    # ---- freeze: the application stops talking (killed) after a command

    def freeze_cut(self, data, n):
        """How many of the first n bytes to deliver so that nothing after the
        command line that freezes the line reaches the shell (its line end
        included, CR LF as well).  Counts lines as delivered_to_shell does."""
        seen = self.commands_seen
        line = bytearray(self.cmd_line)
        for i in range(n):
            if data[i] not in (0x0D, 0x0A):
                line.append(data[i])
                continue
            if line:
                seen += 1
                if seen >= self.freeze_at[0]:
                    return i + 2 if data[i] == 0x0D and data[i + 1:i + 2] == b"\n" else i + 1
                if line.split()[:1] in ([b"rz"], [b"sz"], [b"lsz"]):
                    break           # the rest is a transfer's
            line = bytearray()
        return n

    def thaw(self):
        """Delivers the application's bytes again.  What waited unread in the
        port is discarded, as the last close of a serial port discards it, so
        an application that opens the port next starts on a quiet line."""
        self.freeze_at = None
        if not self.frozen:
            return
        self.frozen = False
        if self.s1 is not None:
            termios.tcflush(self.s1, termios.TCIFLUSH)
        self.event("thawed (%d bytes dropped)" % self.frozen_dropped)
        self.frozen_dropped = 0

    # ---- kill-transfer: the instrument's lrzsz dies mid-transfer

    def transfer_programs(self):
        """Host PIDs of the lrzsz programs running in the namespace (not the
        xfer shim, which carries the same name but runs as a shell)."""
        pid1 = self.namespace_init()
        if pid1 is None:
            return []
        try:
            ns = os.readlink("/proc/%d/ns/pid" % pid1)
        except OSError:
            return []
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/comm" % entry) as f:
                    if f.read().strip() not in ("rz", "sz", "lsz"):
                        continue
                if (os.path.basename(os.readlink("/proc/%s/exe" % entry)) in ("rz", "sz")
                        and os.readlink("/proc/%s/ns/pid" % entry) == ns):
                    found.append(int(entry))
            except OSError:
                continue
        return found

    def kill_transfer_due(self):
        """Kills the transfer program once its byte count is reached; True
        while the count is reached but the program has not started yet."""
        if (self.kill_transfer_after is None or self.mode != "transfer"
                or self.transfer_bytes < self.kill_transfer_after):
            return False
        pids = self.transfer_programs()
        if not pids:
            return True
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        self.event("transfer killed after %d bytes (pid %s)" % (
            self.transfer_bytes, " ".join(map(str, pids))))
        self.kill_transfer_after = None
        return False

    def write_tree(self):
        """tree.txt: the instrument's writable tree as it is now, one line per
        entry: type (d, f, l, or w for an overlay whiteout), octal mode, size,
        MD5 of a file (- otherwise), path on the instrument."""
        lines = []
        roots = [("usr", "/usr"), ("tmp", "/tmp"), ("root", "/root")]
        for sub, shown in roots:
            base = os.path.join(self.wd, sub)
            for top, dirs, files in os.walk(base):
                dirs.sort()
                if top == base and sub == "usr" and SHIM_DIR in dirs:
                    dirs.remove(SHIM_DIR)
                for name in sorted(dirs) + sorted(files):
                    path = os.path.join(top, name)
                    inside = shown + path[len(base):]
                    try:
                        st = os.lstat(path)
                    except OSError:
                        continue
                    digest = "-"
                    if stat.S_ISDIR(st.st_mode):
                        kind = "d"
                    elif stat.S_ISLNK(st.st_mode):
                        kind = "l"
                    elif stat.S_ISCHR(st.st_mode) and st.st_rdev == 0:
                        kind = "w"
                    elif stat.S_ISREG(st.st_mode):
                        kind = "f"
                        h = hashlib.md5()
                        try:
                            with open(path, "rb") as f:
                                for block in iter(lambda: f.read(1 << 20), b""):
                                    h.update(block)
                            digest = h.hexdigest()
                        except OSError:
                            pass
                    else:
                        kind = "?"
                    size = st.st_size if kind == "f" else 0
                    lines.append("%s %04o %d %s %s\n" % (kind, stat.S_IMODE(st.st_mode),
                                                       size, digest,
                                                       printable(os.fsencode(inside))))
        tmp = os.path.join(self.wd, "tree.txt.tmp")
        with open(tmp, "w") as f:
            f.writelines(lines)
        os.rename(tmp, os.path.join(self.wd, "tree.txt"))

    def shutdown(self):
        self.kill_namespace()
        self.remove_link()
        try:
            if self.args.face != "dead":
                self.write_tree()
        except OSError as e:
            sys.stderr.write("vorlen_emulator: tree.txt: %s\n" % e)
        try:
            self.release_usrfs()
        except OSError as e:
            sys.stderr.write("vorlen_emulator: /usr's tmpfs: %s\n" % e)
        try:
            os.unlink(os.path.join(self.wd, "control.sock"))
        except OSError:
            pass
        if self.events_log:
            self.event("stop")

    def release_usrfs(self):
        """Copies the upper layer out to a plain WORKDIR/usr (the records stay
        readable after stop) and unmounts the tmpfs."""
        usrfs = os.path.join(self.wd, USRFS)
        if not os.path.ismount(usrfs):
            return
        link = os.path.join(self.wd, "usr")
        if os.path.islink(link):
            copy = link + ".copy"
            if os.path.lexists(copy):
                shutil.rmtree(copy)
            copy_upper_layer(os.path.join(usrfs, "upper"), copy)
            os.unlink(link)
            os.rename(copy, link)
        unmount_usrfs(usrfs)

    # ---- relay

    def handle_hook(self):
        try:
            data = os.read(self.hook, 4096)
        except BlockingIOError:
            return
        self.hook_buf += data
        *lines, self.hook_buf = self.hook_buf.split(b"\n")
        for raw in lines:
            line = raw.decode("utf-8", "replace")
            kind, _, rest = line.partition(" ")
            if kind == "begin":
                self.enter_transfer()
                self.event("%s started %s" % tuple(rest.split(" ", 1)) if " " in rest else rest)
            elif kind == "end":
                self.event(rest.rstrip())
                self.leave_transfer()
            elif kind == "event":
                self.event(rest)
            elif kind == "unplug":
                self.unplug(rest or "instrument")

    def enter_transfer(self):
        if self.mode != "transfer":
            self.mode = "transfer"
            self.cooked_tail = bytearray()
            self.transfer_bytes = 0

    def leave_transfer(self):
        """The transfer program has exited.  Bytes that reached the cooked
        terminal during the transfer were either eaten by the program (its
        handshake, "OO", the exit-time input flush) or are the next command,
        typed before the relay heard of the exit: keep only text that follows
        the last protocol byte, minus a leading over-and-out."""
        if self.mode != "transfer":
            return
        self.mode = "command"
        tail = self.cooked_tail
        self.cooked_tail = bytearray()
        last = -1
        for i, b in enumerate(tail):
            if not (0x20 <= b < 0x7F or b in (0x0D, 0x0A)):
                last = i
        tail = tail[last + 1:]
        if tail.startswith(b"OO"):
            tail = tail[2:]
        self.cmd_line.clear()
        if tail:
            self.delivered_to_shell(bytes(tail))

    def delivered_to_shell(self, data):
        """Bytes just written into the shell's terminal: log command lines."""
        if self.mode == "transfer":
            try:
                cooked = termios.tcgetattr(self.s2)[3] & termios.ICANON
            except termios.error:
                cooked = 0
            if cooked:
                self.cooked_tail += data
                del self.cooked_tail[:-4096]
            return
        for i, b in enumerate(data):
            if b in (0x0D, 0x0A):
                line = bytes(self.cmd_line)
                self.cmd_line.clear()
                self.command(line)
                first = line.split()[:1]
                if first and first[0] in (b"rz", b"sz", b"lsz"):
                    self.enter_transfer()
                    self.delivered_to_shell(data[i + 1:])
                    return
            else:
                self.cmd_line.append(b)
                if len(self.cmd_line) > 8192:
                    del self.cmd_line[:4096]

    def filter_from_shell(self, data):
        """Strips the prompt markers; swallows the boot prompt; no-prompt."""
        if self.mode == "transfer" and not self.prompt_pending:
            return data if self.booted else b""
        buf = self.prompt_pending + data
        self.prompt_pending = bytearray()
        if not self.booted:
            # Kept for the error message when the namespace fails to boot.
            self.boot_output += data
            del self.boot_output[:-4096]
        out = bytearray()
        while buf:
            i = buf.find(PROMPT_START)
            if i < 0:
                # keep a possible partial marker for the next read
                keep = 0
                for k in range(len(PROMPT_START) - 1, 0, -1):
                    if buf.endswith(PROMPT_START[:k]):
                        keep = k
                        break
                if self.booted:
                    out += buf[:len(buf) - keep]
                self.prompt_pending = bytearray(buf[len(buf) - keep:])
                break
            j = buf.find(PROMPT_END, i + len(PROMPT_START))
            if j < 0:
                if self.booted:
                    out += buf[:i]
                self.prompt_pending = bytearray(buf[i:])
                break
            prompt = buf[i + len(PROMPT_START):j]
            if self.booted:
                out += buf[:i]
                if self.prompts_to_drop > 0:
                    self.prompts_to_drop -= 1
                elif not self.no_prompt:
                    out += prompt
            else:
                self.booted = True      # the boot prompt: the line starts quiet
            buf = buf[j + len(PROMPT_END):]
        return bytes(out)

    def read_side(self, d):
        room = RELAY_CAPACITY - d.queued
        if room <= 0:
            return
        try:
            data = os.read(d.src, room)
        except BlockingIOError:
            return
        except OSError as e:
            if e.errno == errno.EIO:
                data = b""
            else:
                raise
        if not data:
            if d is self.up:
                self.namespace_gone("shell terminal closed")
            return
        if d is self.up:
            data = self.filter_from_shell(data)
            if not data or self.unplugged:
                return
        elif self.args.face == "dead":
            return
        elif self.frozen:
            self.frozen_dropped += len(data)
            return
        d.take_in(data)

    def write_side(self, d, now):
        """Sends queued bytes as fast as pacing allows; returns next wake time."""
        d.want_write = False
        while d.queue:
            if d.dst is None:
                d.queue.clear()
                d.queued = 0
                return None
            if now < d.hold_until:
                return d.hold_until
            item = d.queue[0]
            if d is self.down and self.frozen and not isinstance(item, Marker):
                d.queue.popleft()
                d.queued -= len(item)
                self.frozen_dropped += len(item)
                continue
            if isinstance(item, Marker):
                d.queue.popleft()
                if item.kind == "stall":
                    d.hold_until = now + item.value
                    self.event("stall %s %.0fms at %d" % (d.name, item.value * 1000, d.total_out))
                else:
                    self.unplug("%s after %d bytes" % (d.name, d.total_out))
                continue
            n = len(item)
            if d.rate:
                d.refill(now)
                allow = int(d.tokens)
                if allow < min(n, 32):
                    return now + (min(n, 32) - d.tokens) / d.rate
                n = min(n, allow)
            transfer = self.mode == "transfer"
            if d is self.down and self.freeze_at is not None and not transfer:
                n = self.freeze_cut(item, n)
            if transfer and self.kill_transfer_after is not None:
                left = self.kill_transfer_after - self.transfer_bytes
                if left > 0:
                    n = min(n, left)
            if (d is self.down and self.slow_shell and self.mode == "command"
                    and (b"\r" in item[:n] or b"\n" in item[:n])):
                self.hold_shell(now)
            try:
                w = os.write(d.dst, item[:n])
            except BlockingIOError:
                d.want_write = True
                return None
            except OSError as e:
                if e.errno in (errno.EIO, errno.EBADF):
                    d.queue.clear()
                    d.queued = 0
                    return None
                raise
            if d.rate:
                d.tokens -= w
            if d.dump:
                d.dump.write(item[:w])
                d.dump.flush()
            sent = item[:w]
            del item[:w]
            d.queued -= w
            d.total_out += w
            if not item:
                d.queue.popleft()
            if transfer:
                self.transfer_bytes += w
            if d is self.down:
                self.delivered_to_shell(sent)
            if transfer:
                self.kill_transfer_due()
            if w < n:
                d.want_write = True
                return None
        return None

    def update_flow(self, d):
        """Stops the sender's terminal output while the relay is full, so the
        sender feels the line instead of filling the kernel's pty buffers."""
        if d.flow_slave is None:
            return
        full = d.queued >= RELAY_CAPACITY
        if full or full != d.stopped:
            try:
                termios.tcflow(d.flow_slave, termios.TCOOFF if full else termios.TCOON)
            except termios.error:
                pass
            d.stopped = full

    def namespace_gone(self, why):
        if self.up.src is not None:
            self.up.src = None
            self.event("shell ended (%s)" % why)
            if not self.unplugged:
                self.unplug("instrument shell ended")

    def handle_control_client(self, sock):
        buf = self.clients[sock]
        try:
            data = sock.recv(4096)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            del self.clients[sock]
            sock.close()
            return
        buf += data
        *lines, rest = buf.split(b"\n")
        self.clients[sock] = rest
        for raw in lines:
            text = raw.decode("utf-8", "replace").strip()
            if not text:
                continue
            try:
                reply = self.apply_command(text)
                self.event("control %s" % text)
            except FaultError as e:
                reply = "ERR %s\n" % e
            try:
                sock.sendall(reply.encode())
            except OSError:
                pass

    def run(self):
        rsig, wsig = os.pipe()
        os.set_blocking(rsig, False)
        os.set_blocking(wsig, False)
        signal.set_wakeup_fd(wsig)
        for s in (signal.SIGTERM, signal.SIGINT):
            signal.signal(s, lambda *_: setattr(self, "stopping", True))
        signal.signal(signal.SIGHUP, signal.SIG_IGN)
        signal.signal(signal.SIGPIPE, signal.SIG_IGN)

        boot_deadline = time.monotonic() + 10.0
        if self.booted:
            self.publish_link()
        while not self.stopping:
            now = time.monotonic()
            if not self.ready_printed and self.booted:
                self.publish_link()
            if not self.booted and (now > boot_deadline or self.ns_proc.poll() is not None):
                if self.up.src is not None:
                    try:
                        self.boot_output += os.read(self.up.src, 4096)
                    except OSError:
                        pass
                text = self.boot_output.replace(PROMPT_START, b"").replace(PROMPT_END, b"")
                sys.stderr.write("vorlen_emulator: the instrument shell did not start%s\n%s\n" % (
                    " (namespace exited)" if self.ns_proc.poll() is not None else "",
                    text.decode("utf-8", "replace").strip()))
                self.shutdown()
                return 1
            wake = []
            for d in (self.down, self.up):
                t = self.write_side(d, now)
                if t is not None:
                    wake.append(t)
                self.update_flow(d)
            if self.shell_resume_at is not None:
                if now >= self.shell_resume_at:
                    self.resume_shell()
                else:
                    wake.append(self.shell_resume_at)
            if self.kill_transfer_due():
                wake.append(now + 0.01)
            if self.kill_ns_at is not None:
                if now >= self.kill_ns_at:
                    self.kill_namespace()
                else:
                    wake.append(self.kill_ns_at)

            poller = select.poll()
            poller.register(rsig, select.POLLIN)
            poller.register(self.control, select.POLLIN)
            for c in self.clients:
                poller.register(c, select.POLLIN)
            if self.hook is not None:
                poller.register(self.hook, select.POLLIN)
            if self.pidfd is not None and self.ns_proc.returncode is None:
                poller.register(self.pidfd, select.POLLIN)
            if self.parent_fd is not None:
                poller.register(self.parent_fd, select.POLLIN)
            elif self.parent is not None:
                wake.append(now + 0.5)
            masks = collections.defaultdict(int)
            for d in (self.down, self.up):
                if d.src is not None and d.queued < RELAY_CAPACITY:
                    masks[d.src] |= select.POLLIN
                if d.dst is not None and d.want_write:
                    masks[d.dst] |= select.POLLOUT
            for fd, m in masks.items():
                poller.register(fd, m)
            timeout = None
            if wake:
                timeout = max(0, min(wake) - time.monotonic()) * 1000
                timeout = math.ceil(timeout)
            events = dict(poller.poll(timeout))

            if rsig in events:
                try:
                    os.read(rsig, 256)
                except BlockingIOError:
                    pass
            # Hook messages first: a transfer's end is announced before the
            # shell prints its next prompt.
            if self.hook is not None and self.hook in events:
                self.handle_hook()
            if self.control.fileno() in events:
                try:
                    conn, _ = self.control.accept()
                    conn.setblocking(False)
                    self.clients[conn] = b""
                except BlockingIOError:
                    pass
            for c in list(self.clients):
                if c.fileno() in events:
                    self.handle_control_client(c)
            if self.parent is not None and (self.parent_fd in events
                                            or os.getppid() != self.parent):
                self.event("parent %d gone" % self.parent)
                self.stopping = True
            if self.pidfd is not None and self.pidfd in events:
                self.ns_proc.poll()
                self.namespace_gone("namespace exited")
                os.close(self.pidfd)
                self.pidfd = None
            for d in (self.up, self.down):
                if d.src is not None and events.get(d.src, 0) & (select.POLLIN | select.POLLHUP | select.POLLERR):
                    self.read_side(d)
        self.shutdown()
        return 0


def libc_prctl_pdeathsig():
    import ctypes
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


def short_socket_path(workdir):
    path = os.path.join(workdir, "control.sock")
    if len(path) < 100:
        return path
    # sun_path is short; reach long work directories through our cwd.
    rel = os.path.relpath(path)
    if len(rel) < 100:
        return rel
    raise SystemExit("vorlen_emulator: work directory path too long for its control socket")


# --------------------------------------------------------------------------
# Command line


FAULT_FLAGS = ["flip", "drop", "stall", "unplug", "slow-shell", "bad-md5", "usr-free"]


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="vorlen_emulator.py",
        description="Emulates a Vorlen instrument's USB serial shell on a pseudo-terminal.")
    p.add_argument("--port", required=True, help="symlink the application opens")
    p.add_argument("--workdir", required=True, help="sandbox and records")
    p.add_argument("--face", choices=["instrument", "dead", "other"], default="instrument")
    p.add_argument("--serial", default="VRL24000042")
    p.add_argument("--firmware-version", default="1.5")
    p.add_argument("--dream-version", default="1.5")
    p.add_argument("--sound-version", default="1.0")
    p.add_argument("--presets", type=int, default=3)
    p.add_argument("--template", help="copy this tree as /usr/ap instead of generating one")
    p.add_argument("--baud", type=int, default=115200, help="line pacing; 0 = unpaced")
    p.add_argument("--exit-with-parent", action="store_true",
                   help="stop when the process that started the emulator ends "
                        "(tests: no emulator outlives a killed test)")
    p.add_argument("--dump", action="store_true",
                   help="write the bytes of each direction to to-device.bin / to-host.bin")
    for flag in FAULT_FLAGS:
        p.add_argument("--" + flag, nargs="+", action="append", default=[],
                       dest=flag.replace("-", "_"), metavar="ARG")
    p.add_argument("--no-prompt", action="store_true")
    p.add_argument("--freeze", type=int, metavar="N",
                   help="freeze after-command N, counted from boot")
    p.add_argument("--kill-transfer", type=int, metavar="N",
                   help="kill-transfer after N")
    p.add_argument("--fault", action="append", default=[],
                   help="any control command, e.g. 'flip to-host offset 10'")
    args = p.parse_args(argv)
    faults = []
    for flag in FAULT_FLAGS:
        for words in getattr(args, flag.replace("-", "_")):
            faults.append(" ".join([flag] + words))
    if args.no_prompt:
        faults.append("no-prompt")
    if args.freeze is not None:
        faults.append("freeze after-command %d" % args.freeze)
    if args.kill_transfer is not None:
        faults.append("kill-transfer after %d" % args.kill_transfer)
    faults.extend(args.fault)
    args.faults = faults
    if args.face == "dead":
        args.faults = [f for f in faults if f.split()[0] in ("pace", "unplug")]
    return args


def control_client(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: vorlen_emulator.py control WORKDIR 'COMMAND' ...\n")
        return 2
    wd = os.path.abspath(argv[0])
    path = short_socket_path(wd)
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.settimeout(5)
    s.connect(path)
    rc = 0
    f = s.makefile("rwb")
    for command in argv[1:]:
        f.write(command.encode() + b"\n")
        f.flush()
        reply = f.readline().decode()
        sys.stdout.write(reply)
        if not reply.startswith("OK"):
            rc = 1
    s.close()
    return rc


def main(argv):
    if argv and argv[0] == "control":
        return control_client(argv[1:])
    if argv and argv[0] == "preload-path":
        # Host-side lrzsz driving the emulated port needs the same fix.
        print(preload_library())
        return 0
    args = parse_args(argv)
    if os.geteuid() != 0:
        sys.stderr.write("vorlen_emulator: needs root (mount namespace with an overlay)\n")
        return 1
    emu = Emulator(args)
    try:
        emu.start()
    except FaultError as e:
        sys.stderr.write("vorlen_emulator: %s\n" % e)
        emu.shutdown()
        return 2
    return emu.run()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
