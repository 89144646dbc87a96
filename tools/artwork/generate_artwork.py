#!/usr/bin/env python3
"""Draws every picture the application embeds and writes them as PNG files into resources/.

Standard library only: a small floating-point RGBA canvas with anti-aliased shapes, a 5x7
capital-letter font scaled by area coverage, and a PNG writer (zlib + struct). The output is
deterministic, so running it again only changes files whose drawing changed.

    python3 tools/artwork/generate_artwork.py [--out resources] [--icons-out resources/icons]
"""

import argparse
import math
import os
import struct
import zlib

# ---------------------------------------------------------------------------------------------
# Canvas


class Canvas:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        # Straight (non-premultiplied) colour, 0..1.
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def blend(self, x, y, colour, alpha):
        if alpha <= 0.0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        alpha = min(alpha, 1.0)
        p = self.px[y * self.width + x]
        da = p[3] * (1.0 - alpha)
        a = alpha + da
        if a <= 0.0:
            return
        for i in range(3):
            p[i] = (colour[i] * alpha + p[i] * da) / a
        p[3] = a

    def fill(self, coverage, colour, box=None, opacity=1.0):
        """coverage(x, y) -> 0..1 at the pixel centre (x + 0.5, y + 0.5); colour is an (r, g, b)
        tuple or a function (x, y) -> (r, g, b) or (r, g, b, a)."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.width, int(math.ceil(x1))), min(self.height, int(math.ceil(y1)))
        for y in range(y0, y1):
            for x in range(x0, x1):
                c = coverage(x + 0.5, y + 0.5)
                if c <= 0.0:
                    continue
                col = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                a = col[3] if len(col) > 3 else 1.0
                self.blend(x, y, col, c * a * opacity)

    def paste(self, other, dx, dy):
        for y in range(other.height):
            for x in range(other.width):
                p = other.px[y * other.width + x]
                self.blend(x + dx, y + dy, p, p[3])

    def scaled_down(self, size):
        """A size x size copy of a square canvas, each pixel the alpha-weighted mean of the
        source pixels whose centres fall inside it."""
        out = Canvas(size, size)
        k = self.width / float(size)
        for ty in range(size):
            ys = range(int(ty * k + 0.5), max(int(ty * k + 0.5) + 1, int((ty + 1) * k + 0.5)))
            for tx in range(size):
                xs = range(int(tx * k + 0.5), max(int(tx * k + 0.5) + 1, int((tx + 1) * k + 0.5)))
                total = [0.0, 0.0, 0.0, 0.0]
                for y in ys:
                    for x in xs:
                        p = self.px[y * self.width + x]
                        for i in range(3):
                            total[i] += p[i] * p[3]
                        total[3] += p[3]
                count = len(xs) * len(ys)
                if total[3] > 0.0:
                    out.px[ty * size + tx] = [total[0] / total[3], total[1] / total[3], total[2] / total[3], total[3] / count]
        return out

    def png(self):
        raw = bytearray()
        for y in range(self.height):
            raw.append(0)
            for x in range(self.width):
                p = self.px[y * self.width + x]
                a = p[3]
                if a <= 0.0:
                    raw.extend(b"\0\0\0\0")
                    continue
                raw.extend(int(round(max(0.0, min(1.0, v)) * 255)) for v in (p[0], p[1], p[2], a))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# ---------------------------------------------------------------------------------------------
# Colours and shapes


def rgb(value):
    return ((value >> 16 & 255) / 255.0, (value >> 8 & 255) / 255.0, (value & 255) / 255.0)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def vertical(top, bottom, y0, y1):
    top, bottom = rgb(top), rgb(bottom)
    return lambda x, y: mix(top, bottom, (y - y0) / max(1e-9, y1 - y0))



def edge(distance):
    """Coverage from a signed distance (negative inside), one pixel of anti-aliasing."""
    return max(0.0, min(1.0, 0.5 - distance))


def rounded_rect_distance(x, y, rx, ry, rw, rh, radius):
    cx, cy = rx + rw / 2.0, ry + rh / 2.0
    qx = abs(x - cx) - (rw / 2.0 - radius)
    qy = abs(y - cy) - (rh / 2.0 - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def rounded_rect(rx, ry, rw, rh, radius):
    return lambda x, y: edge(rounded_rect_distance(x, y, rx, ry, rw, rh, radius))


def rounded_ring(rx, ry, rw, rh, radius, thickness=1.0):
    def coverage(x, y):
        d = rounded_rect_distance(x, y, rx, ry, rw, rh, radius)
        return edge(d) * edge(-d - thickness)
    return coverage


def circle(cx, cy, r):
    return lambda x, y: edge(math.hypot(x - cx, y - cy) - r)


def polygon_distance(x, y, points):
    """Largest signed distance to the edge lines of a convex, clockwise polygon."""
    d = -1e9
    n = len(points)
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        length = math.hypot(ex, ey)
        # Outward normal of a clockwise polygon in y-down coordinates.
        nx, ny = ey / length, -ex / length
        d = max(d, (x - ax) * nx + (y - ay) * ny)
    return d


def polygon(points):
    return lambda x, y: edge(polygon_distance(x, y, points))


def ellipse(cx, cy, rx, ry):
    def coverage(x, y):
        k = math.hypot((x - cx) / rx, (y - cy) / ry)
        return edge((k - 1.0) * min(rx, ry))
    return coverage


def bounded(coverage, x0, y0, x1, y1):
    return lambda x, y: coverage(x, y) if x0 <= x < x1 and y0 <= y < y1 else 0.0


# ---------------------------------------------------------------------------------------------
# Text: 5 x 7 capitals, each lit cell a square of `scale` pixels, covered by area

FONT = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "J": ["..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "?": [".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."],
    "!": ["..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."],
    ".": [".....", ".....", ".....", ".....", ".....", ".....", "..#.."],
    "-": [".....", ".....", ".....", ".###.", ".....", ".....", "....."],
    "/": ["....#", "....#", "...#.", "..#..", ".#...", "#....", "#...."],
    " ": ["....."] * 7,
}
GLYPH_ADVANCE = 6  # five columns and one of spacing


def text_width(text, scale):
    return (len(text) * GLYPH_ADVANCE - 1) * scale


def overlap(a0, a1, b0, b1):
    return max(0.0, min(a1, b1) - max(a0, b0))


def draw_text(canvas, text, x, y, scale, colour, opacity=1.0):
    cells = []
    for i, ch in enumerate(text.upper()):
        for row, line in enumerate(FONT[ch]):
            for col, bit in enumerate(line):
                if bit == "#":
                    cx = x + (i * GLYPH_ADVANCE + col) * scale
                    cells.append((cx, y + row * scale))
    coverage = {}
    for cx, cy in cells:
        for py in range(int(math.floor(cy)), int(math.ceil(cy + scale))):
            for px in range(int(math.floor(cx)), int(math.ceil(cx + scale))):
                area = overlap(px, px + 1, cx, cx + scale) * overlap(py, py + 1, cy, cy + scale)
                coverage[(px, py)] = coverage.get((px, py), 0.0) + area
    col = rgb(colour) if isinstance(colour, int) else colour
    for (px, py), c in sorted(coverage.items()):
        canvas.blend(px, py, col, min(1.0, c) * opacity)


def draw_caption(canvas, text, scale, colour, opacity=1.0, box=None):
    bx, by, bw, bh = box if box else (0, 0, canvas.width, canvas.height)
    x = bx + (bw - text_width(text, scale)) / 2.0
    y = by + (bh - 7 * scale) / 2.0
    # Whole pixels keep the small captions crisp.
    draw_text(canvas, text, round(x), round(y), scale, colour, opacity)


# ---------------------------------------------------------------------------------------------
# The four looks of a bar: normal, over, down (pressed / selected), disabled

BAR_LOOKS = {
    "normal": (0x3c3d40, 0x030303),
    "over": (0xb4b6b9, 0x3a3b3d),
    "down": (0x58a0ff, 0x0a2663),
    "disabled": (0x232324, 0x0e0e0e),
}


def bar(width, height, look, caption=None, caption_scale=2.0, caption_colour=0xdadada, radius=4.0):
    c = Canvas(width, height)
    top, bottom = BAR_LOOKS[look]
    c.fill(rounded_rect(0, 0, width, height, radius), vertical(top, bottom, 0, height))
    # A light rim along the top edge, a dark outline around.
    c.fill(bounded(rounded_ring(0.5, 0.5, width - 1, height - 1, radius, 1.0), 0, 0, width, height / 2.0),
           (1.0, 1.0, 1.0), opacity=0.18)
    c.fill(rounded_ring(0, 0, width, height, radius, 1.0), (0.0, 0.0, 0.0), opacity=0.85)
    if caption:
        colour = caption_colour if look != "disabled" else 0x5c5c5c
        draw_caption(c, caption, caption_scale, colour)
    return c


# ---------------------------------------------------------------------------------------------
# The pictures


def background():
    w, h = 540, 487
    c = Canvas(w, h)
    c.fill(lambda x, y: 1.0, vertical(0x2f3339, 0x050607, 0, h))
    # The glossy reflection over the upper part.
    c.fill(ellipse(w / 2.0, -60, w * 0.75, 190), (1.0, 1.0, 1.0, 0.07))
    # A recessed panel behind the tab views and a groove line above the task strip.
    c.fill(rounded_rect(49, 31, 442, 396, 8), (0.0, 0.0, 0.0, 0.22))
    c.fill(rounded_ring(49, 31, 442, 396, 8, 1.0), (1.0, 1.0, 1.0, 0.08))
    c.fill(lambda x, y: 1.0, (1.0, 1.0, 1.0, 0.06), box=(55, 431, 485, 432))
    return c


def cancel_disc(pressed):
    c = Canvas(10, 11)
    disc = rgb(0x3f7fe0) if pressed else rgb(0x8c8c8c)
    c.fill(circle(5.0, 5.5, 4.9), mix(disc, (0.0, 0.0, 0.0), 0.45))
    c.fill(circle(5.0, 5.5, 4.1), disc)
    c.fill(lambda x, y: 1.0, (1.0, 1.0, 1.0), box=(2, 5, 8, 6))
    c.fill(lambda x, y: 1.0 if 2 <= x < 8 and 4.5 <= y < 5.0 else 0.0, (1.0, 1.0, 1.0, 0.5))
    return c


def title_bar():
    w, h = 540, 21
    c = Canvas(w, h)
    shade = vertical(0x808080, 0x4e4e4e, 0, h)

    # Lighter towards the right.
    def colour(x, y):
        return mix(shade(x, y), (1.0, 1.0, 1.0), 0.12 * x / w)
    # Only the top corners are rounded: the rectangle runs on below the bar.
    c.fill(rounded_rect(0, 0, w, h + 8, 6), colour)
    c.fill(lambda x, y: 1.0, (1.0, 1.0, 1.0, 0.25), box=(6, 0, w - 6, 1))
    c.fill(lambda x, y: 1.0, (0.0, 0.0, 0.0, 0.6), box=(0, h - 1, w, h))
    return c


def title_text():
    c = Canvas(171, 11)
    draw_text(c, "VORLEN SOFTWARE UPDATE", 1, 1, 1.3, 0xffffff)
    return c


def progress_track():
    w, h = 416, 8
    c = Canvas(w, h)
    c.fill(rounded_rect(0, 0, w, 7, 3.5), rgb(0x020202))
    # Bevel inside the top edge.
    c.fill(bounded(rounded_ring(0, 0, w, 7, 3.5, 1.2), 0, 0, w, 2.0), rgb(0x5a5a5a))
    c.fill(lambda x, y: 1.0, (1.0, 1.0, 1.0, 0.14), box=(3, 7, w - 3, 8))
    return c


def dots(width, height, centres, light):
    c = Canvas(width, height)
    dark = rgb(0x2a2a2a)
    for cx, cy in centres:
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                c.blend(cx + dx, cy + dy, dark, 1.0)
    for cx, cy in centres:
        c.blend(cx, cy, light, 1.0)
    return c


MINIMISE_DOTS = [(x, 1) for x in (1, 3, 5, 7, 9)]
CLOSE_DOTS = sorted(set([(k, k) for k in (1, 3, 5, 7, 9)] + [(10 - k, k) for k in (1, 3, 5, 7, 9)]))
LIGHT_DOT = rgb(0xcfcfcf)
BLUE_DOT = rgb(0x39a0ff)


def glow(width, height, inner):
    c = Canvas(width, height)
    cx, cy = width / 2.0, height / 2.0

    def strength(x, y):
        k = math.hypot((x - cx) / (width / 2.0), (y - cy) / (height / 2.0))
        return max(0.0, 1.0 - k) ** 1.5 * 0.75
    c.fill(strength, rgb(0x2f86ff))
    c.paste(inner, (width - inner.width) // 2, (height - inner.height) // 2)
    return c


def icon(fill, mark):
    c = Canvas(46, 43)
    outer = [(23.0, 1.5), (44.5, 41.0), (1.5, 41.0)]
    inner = [(23.0, 5.5), (40.5, 38.5), (5.5, 38.5)]
    c.fill(polygon(outer), rgb(0x1a1a1a))
    c.fill(polygon(inner), vertical(fill[0], fill[1], 5, 39))
    draw_caption(c, mark, 2.5, 0x000000, box=(0, 17, 46, 18))
    return c


def alert_background():
    w, h = 391, 151
    c = Canvas(w, h)
    c.fill(rounded_rect(0, 0, w, h, 9), vertical(0x5d5f62, 0x040404, 0, h))
    c.fill(bounded(ellipse(w / 2.0, -10, w * 0.62, 52), 0, 0, w, h), (1.0, 1.0, 1.0, 0.16))
    c.fill(rounded_ring(0, 0, w, h, 9, 1.0), (0.75, 0.75, 0.75, 0.55))
    return c


def field():
    w, h = 303, 21
    c = Canvas(w, h)
    c.fill(rounded_rect(0, 0, w, 20, 3), (0.19, 0.19, 0.2, 0.6))
    c.fill(rounded_ring(0, 0, w, 20, 3, 1.0), (0.0, 0.0, 0.0))
    c.fill(lambda x, y: 1.0, (1.0, 1.0, 1.0, 0.12), box=(3, 20, w - 3, 21))
    return c


def logo():
    c = Canvas(224, 54)
    # The emblem: a ring cut by a wave.
    c.fill(circle(25, 29, 21), (1.0, 1.0, 1.0))
    c.fill(circle(25, 29, 17), rgb(0x1f5fc8))
    wave = lambda x, y: edge(abs(y - (29 + 6 * math.sin((x - 8) / 34.0 * 2 * math.pi))) - 2.2) \
        * circle(25, 29, 17)(x, y)
    c.fill(wave, (1.0, 1.0, 1.0))
    draw_text(c, "WWW.TREL.EXAMPLE", 58, 4, 1.0, 0xc8c8c8)
    draw_text(c, "TREL", 58, 17, 4.0, 0xffffff)
    return c


def instrument_picture():
    s = 512
    c = Canvas(s, s)

    def glow_strength(x, y):
        d = rounded_rect_distance(x, y, 28, 28, s - 56, s - 56, 56)
        return 0.55 * math.exp(-max(0.0, d) / 9.0) if d > -2 else 0.0
    c.fill(glow_strength, rgb(0x3c9bff))
    c.fill(rounded_rect(28, 28, s - 56, s - 56, 56), vertical(0x16306a, 0x060d24, 28, s - 28))
    c.fill(rounded_ring(28, 28, s - 56, s - 56, 56, 3.0), rgb(0x6fb8ff))

    # The instrument, seen slightly from above: a dark body, a display, knobs and keys.
    c.fill(rounded_rect(70, 150, 372, 220, 18), vertical(0x4a4d52, 0x141517, 150, 370))
    c.fill(rounded_ring(70, 150, 372, 220, 18, 2.0), rgb(0x8a8f96))
    c.fill(rounded_rect(96, 172, 120, 44, 6), rgb(0x0b1a33))
    c.fill(rounded_rect(100, 176, 112, 36, 4), vertical(0x4fb4ff, 0x1a5fb0, 176, 212))
    for i in range(5):
        cx = 250 + i * 38
        c.fill(circle(cx, 194, 14), rgb(0x0c0c0c))
        c.fill(circle(cx, 194, 11), vertical(0x9a9ea4, 0x3a3c40, 183, 205))
        angle = -2.3 + i * 0.9
        c.fill(lambda x, y, cx=cx, a=angle: edge(abs((x - cx) * math.sin(a) - (y - 194) * math.cos(a)) - 1.2)
               * (1.0 if 0 <= (x - cx) * math.cos(a) + (y - 194) * math.sin(a) <= 10 else 0.0),
               (1.0, 1.0, 1.0), box=(cx - 12, 182, cx + 12, 206))
    keys_x, keys_y, keys_w, keys_h, count = 92, 240, 328, 110, 14
    key_w = keys_w / count
    for k in range(count):
        x0 = keys_x + k * key_w
        c.fill(rounded_rect(x0 + 0.5, keys_y, key_w - 1.5, keys_h, 3), vertical(0xf4f4f4, 0xc4c6ca, keys_y, keys_y + keys_h))
    for k in range(count - 1):
        if k % 7 in (2, 6):
            continue
        x0 = keys_x + (k + 1) * key_w - key_w * 0.32
        c.fill(rounded_rect(x0, keys_y, key_w * 0.64, keys_h * 0.6, 2), vertical(0x303236, 0x050505, keys_y, keys_y + 66))
    draw_caption(c, "VORLEN", 5.0, 0xdfe9ff, box=(0, 398, s, 40))
    return c


# ---------------------------------------------------------------------------------------------


def images():
    out = {}
    out["background"] = background()
    out["cancel_normal"] = cancel_disc(False)
    out["cancel_down"] = cancel_disc(True)

    out["title_bar"] = title_bar()
    out["title_text"] = title_text()
    out["progress_track"] = progress_track()
    out["minimise_normal"] = dots(11, 3, MINIMISE_DOTS, LIGHT_DOT)
    out["minimise_down"] = dots(11, 3, MINIMISE_DOTS, BLUE_DOT)
    out["minimise_over"] = glow(17, 9, out["minimise_normal"])
    out["close_normal"] = dots(11, 11, CLOSE_DOTS, LIGHT_DOT)
    out["close_down"] = dots(11, 11, CLOSE_DOTS, BLUE_DOT)
    out["close_over"] = glow(17, 17, out["close_normal"])
    for look in ("normal", "over", "down"):
        out["text_button_" + look] = bar(130, 38, look)
    out["alert_background"] = alert_background()
    out["alert_question"] = icon((0xffe35a, 0xe8b800), "?")
    out["alert_warning"] = icon((0xffa640, 0xe06a00), "!")

    for name, caption in (("firmware", "Firmware"), ("presets", "Presets"), ("about", "About")):
        out["tab_%s_normal" % name] = bar(83, 21, "normal", caption, 1.3, 0xffffff, 3.0)
        out["tab_%s_selected" % name] = bar(83, 21, "down", caption, 1.3, 0xffffff, 3.0)

    for name, caption, looks in (("update_firmware", "Update Firmware", ("normal", "over", "down", "disabled")),
                                 ("update_sounds", "Update Sounds", ("normal", "over", "down", "disabled")),
                                 ("restore_system", "Restore System", ("normal", "over", "down")),
                                 ("backup_presets", "Backup Presets", ("normal", "over", "down")),
                                 ("restore_presets", "Restore Presets", ("normal", "over", "down"))):
        for look in looks:
            out["%s_%s" % (name, look)] = bar(416, 38, look, caption)
    for look in ("normal", "over", "down"):
        out["browse_" + look] = bar(99, 21, look, "Browse", 1.3, 0xdadada, 3.0)
    out["field"] = field()

    out["logo"] = logo()
    out["instrument_picture"] = instrument_picture()
    return out


# The desktop's application icon (hicolor theme sizes), drawn from the About tab's picture.
ICON_SIZES = (256, 128, 64, 48, 32, 16)


def application_icons(picture):
    return {"vorlen-software-update-%d" % size: picture.scaled_down(size) for size in ICON_SIZES}


def write_all(pictures, directory):
    os.makedirs(directory, exist_ok=True)
    for name, canvas in sorted(pictures.items()):
        data = canvas.png()
        path = os.path.join(directory, name + ".png")
        old = open(path, "rb").read() if os.path.exists(path) else None
        if old != data:
            with open(path, "wb") as f:
                f.write(data)
            print("wrote %s (%dx%d)" % (os.path.relpath(path), canvas.width, canvas.height))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--out", default=os.path.join(here, "..", "..", "resources"))
    parser.add_argument("--icons-out", help="where the application icons go (default: OUT/icons; not embedded)")
    args = parser.parse_args()
    pictures = images()
    write_all(pictures, args.out)
    write_all(application_icons(pictures["instrument_picture"]), args.icons_out or os.path.join(args.out, "icons"))


if __name__ == "__main__":
    main()
