"""Runs a Windows test program under Wine with a pseudo-terminal as its COM port.

    run_under_wine.py WINE64 PREFIX PROGRAM.exe

The prefix is created on first use. The program gets the port's device name as its argument;
its exit status is this script's. The wine server is started here with its output away from
the test run's pipes, and waited for at the end, so nothing of Wine outlives the test.
"""
import os
import pty
import subprocess
import sys

PORT = 'COM7'


def main():
    wine, prefix, program = sys.argv[1:4]
    server = os.path.join(os.path.dirname(wine), 'wineserver64')
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG='-all')
    os.makedirs(prefix, exist_ok=True)
    subprocess.run([server, '-p2'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    # A first run makes the prefix and its dosdevices directory.
    subprocess.run([wine, 'cmd', '/c', 'exit'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    master, slave = pty.openpty()
    link = os.path.join(prefix, 'dosdevices', PORT.lower())
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.ttyname(slave), link)
    try:
        result = subprocess.run([wine, program, '\\\\.\\' + PORT], env=env, timeout=120)
    finally:
        os.remove(link)
        os.close(master)
        os.close(slave)
        subprocess.run([server, '-w'], env=env, timeout=30)
    return result.returncode


if __name__ == '__main__':
    sys.exit(main())
