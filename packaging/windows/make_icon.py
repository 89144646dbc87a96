"""Writes a Windows icon file holding the given square PNG pictures as they are.

    make_icon.py OUT.ico PICTURE.png...

Windows reads PNG data inside an icon directly; a size of 256 is written as 0 in the entry.
"""
import struct
import sys


def png_size(data):
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise SystemExit('not a PNG file')
    return struct.unpack('>II', data[16:24])


def main():
    out, pictures = sys.argv[1], [open(p, 'rb').read() for p in sys.argv[2:]]
    header = struct.pack('<HHH', 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, bodies = b'', b''
    for data in pictures:
        width, height = png_size(data)
        entries += struct.pack('<BBBBHHII', width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        bodies += data
        offset += len(data)
    with open(out, 'wb') as f:
        f.write(header + entries + bodies)


if __name__ == '__main__':
    main()
