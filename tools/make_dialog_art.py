#!/usr/bin/env python3
"""Draws the settings dialog's art: the face, slider tracks and knob, the
memory-dot bitmaps, the dot viewer's frame, the logo, the about and info
pictures, the button icons and the two hand cursors.

Usage: make_dialog_art.py OUTDIR
Writes OUTDIR/<name>.bmp, .ico and .cur, the files resources/dialog_art.rc
names. Everything is drawn here from shapes; the build runs this script, so
the pictures are never stored.

One design for all of it: a light, neutral face with white cards, one blue
accent, a warm accent for the colour group, soft 1-pixel borders and rounded
corners. Shapes are anti-aliased by sampling each pixel 4 x 4 times; text in
pictures is a hand-set 5 x 7 pixel font drawn without smoothing so it stays
sharp. The rectangles of the controls are those of ui/control_table.cpp.
"""

import math
import os
import struct
import sys

# ----------------------------------------------------------------- palette
FACE = (243, 244, 247)
CARD = (255, 255, 255)
CARD_EDGE = (218, 222, 230)
SHADOW = (229, 231, 236)
INK = (40, 44, 52)
MUTED = (120, 128, 140)
ACCENT = (52, 108, 224)
ACCENT_DARK = (32, 76, 170)
WARM = (232, 112, 64)
WELL = (38, 42, 50)
GROOVE = (208, 213, 222)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Canvas:
    """An RGBA picture of floats 0..255 (alpha 0..1), row 0 at the top."""

    def __init__(self, w, h, colour=(255, 255, 255), alpha=1.0):
        self.w, self.h = w, h
        self.px = [[list(colour) + [alpha] for _ in range(w)] for _ in range(h)]

    def blend(self, x, y, colour, cover):
        if cover <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        p = self.px[y][x]
        a = cover + p[3] * (1 - cover)
        for i in range(3):
            p[i] = (colour[i] * cover + p[i] * p[3] * (1 - cover)) / a if a > 0 else 0
        p[3] = a

    def shape(self, inside, box, colour, opacity=1.0, solid=()):
        """Fills where inside(x, y) holds, sampling 4 x 4 per pixel within box.
        Pixels wholly inside one of the `solid` rectangles (x0, y0, x1, y1)
        are known to be covered and not sampled."""
        x0, y0, x1, y1 = (int(math.floor(v)) for v in box)
        for y in range(max(0, y0), min(self.h, y1 + 1)):
            for x in range(max(0, x0), min(self.w, x1 + 1)):
                if any(a <= x and x + 1 <= c and b <= y and y + 1 <= d for a, b, c, d in solid):
                    n = 16
                else:
                    n = sum(1 for sy in range(4) for sx in range(4)
                            if inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4))
                if n:
                    c = colour(x, y) if callable(colour) else colour
                    self.blend(x, y, c, opacity * n / 16)

    def rect(self, x, y, w, h, colour):
        for yy in range(max(0, y), min(self.h, y + h)):
            for xx in range(max(0, x), min(self.w, x + w)):
                c = colour(xx, yy) if callable(colour) else colour
                self.blend(xx, yy, c, 1.0)

    def round_rect(self, x, y, w, h, r, colour, opacity=1.0):
        def inside(px, py):
            cx = min(max(px, x + r), x + w - r)
            cy = min(max(py, y + r), y + h - r)
            return (px - cx) ** 2 + (py - cy) ** 2 <= r * r and x <= px <= x + w and y <= py <= y + h
        self.shape(inside, (x, y, x + w, y + h), colour, opacity,
                   ((x + r, y, x + w - r, y + h), (x, y + r, x + w, y + h - r)))

    def framed(self, x, y, w, h, r, fill, edge):
        """A rounded box with a 1-pixel edge."""
        self.round_rect(x, y, w, h, r, edge)
        self.round_rect(x + 1, y + 1, w - 2, h - 2, max(0, r - 1), fill)

    def circle(self, cx, cy, r, colour, opacity=1.0):
        self.shape(lambda px, py: (px - cx) ** 2 + (py - cy) ** 2 <= r * r,
                   (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1), colour, opacity)

    def ring(self, cx, cy, r, width, colour):
        r2 = r - width
        self.shape(lambda px, py: r2 * r2 <= (px - cx) ** 2 + (py - cy) ** 2 <= r * r,
                   (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1), colour)

    def polygon(self, pts, colour):
        def inside(px, py):
            c = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        self.shape(inside, (min(xs), min(ys), max(xs), max(ys)), colour)

    def line(self, x0, y0, x1, y1, width, colour):
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1
        hw = width / 2

        def inside(px, py):
            t = max(0, min(1, ((px - x0) * dx + (py - y0) * dy) / length2))
            qx, qy = x0 + t * dx - px, y0 + t * dy - py
            return qx * qx + qy * qy <= hw * hw
        self.shape(inside, (min(x0, x1) - hw, min(y0, y1) - hw, max(x0, x1) + hw,
                            max(y0, y1) + hw), colour)

    def text(self, x, y, s, colour, scale=1):
        for ch in s:
            rows = FONT.get(ch.upper(), FONT['?'])
            for ry, row in enumerate(rows):
                for rx, bit in enumerate(row):
                    if bit == '#':
                        self.rect(x + rx * scale, y + ry * scale, scale, scale, colour)
            x += (len(rows[0]) + 1) * scale

    def paste(self, other, x, y):
        for yy in range(other.h):
            for xx in range(other.w):
                p = other.px[yy][xx]
                self.blend(x + xx, y + yy, p[:3], p[3])


def text_width(s, scale=1):
    return sum((len(FONT.get(c.upper(), FONT['?'])[0]) + 1) * scale for c in s) - scale


# A 5 x 7 capital font (narrower where a letter needs less), enough for the
# captions in these pictures.
FONT = {
    'A': [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'B': ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    'C': [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    'D': ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    'E': ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    'F': ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    'G': [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    'H': ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'I': ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    'K': ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    'L': ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    'M': ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    'N': ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    'O': [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'P': ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    'R': ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    'S': [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    'T': ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    'U': ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'V': ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    'W': ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"],
    'Y': ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    'Q': [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    'J': ["..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."],
    'X': ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    'Z': ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    '0': [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    '2': [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    '4': ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    '5': ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    '6': ["..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."],
    '7': ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    '8': [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    '9': [".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."],
    '+': [".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."],
    ';': ["..", "..", ".#", "..", "..", ".#", "#."],
    '1': [".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"],
    '3': ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    '%': ["##..#", "##..#", "...#.", "..#..", ".#...", "#..##", "#..##"],
    '.': [".", ".", ".", ".", ".", ".", "#"],
    ',': ["..", "..", "..", "..", "..", ".#", "#."],
    ':': [".", "#", ".", ".", ".", "#", "."],
    '-': ["....", "....", "....", "####", "....", "....", "...."],
    '/': ["....#", "...#.", "...#.", "..#..", ".#...", ".#...", "#...."],
    ' ': ["...", "...", "...", "...", "...", "...", "..."],
    '?': [".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."],
}


# --------------------------------------------------------------- file writers
def to_bytes_bgr(c):
    out = bytearray()
    for y in range(c.h - 1, -1, -1):
        row = bytearray()
        for x in range(c.w):
            p = c.px[y][x]
            # Flatten onto white where something is transparent.
            r, g, b = (p[i] * p[3] + 255 * (1 - p[3]) for i in range(3))
            row += bytes((int(b + 0.5), int(g + 0.5), int(r + 0.5)))
        row += b"\0" * ((4 - len(row) % 4) % 4)
        out += row
    return bytes(out)


def write_bmp(path, c):
    pixels = to_bytes_bgr(c)
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 54))
        f.write(header + pixels)


def icon_image(c):
    """The 32-bit image and its AND mask, as an icon directory entry holds them."""
    xor = bytearray()
    mask = bytearray()
    mask_row = ((c.w + 31) // 32) * 4
    for y in range(c.h - 1, -1, -1):
        bits = 0
        row = bytearray()
        for x in range(c.w):
            p = c.px[y][x]
            a = int(p[3] * 255 + 0.5)
            xor += bytes((int(p[2] + 0.5), int(p[1] + 0.5), int(p[0] + 0.5), a))
            if a < 128:
                bits |= 1 << (7 - x % 8)
            if x % 8 == 7 or x == c.w - 1:
                row.append(bits)
                bits = 0
        mask += row + b"\0" * (mask_row - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_icon(path, c, hotspot=None):
    data = icon_image(c)
    kind = 2 if hotspot else 1
    planes, bits = hotspot if hotspot else (1, 32)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, kind, 1))
        f.write(struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, planes, bits, len(data), 22))
        f.write(data)


# ------------------------------------------------------------------ the face
def card(c, x, y, w, h):
    c.round_rect(x, y + 1, w, h, 6, SHADOW)
    c.framed(x, y, w, h, 6, CARD, CARD_EDGE)


def draw_face():
    c = Canvas(889, 616, FACE)
    # A faint vertical light from the top.
    c.rect(0, 0, 889, 616, lambda x, y: mix((248, 249, 251), FACE, min(1, y / 300)))
    # The settings card: the lists and sliders of the left column.
    card(c, 72, 24, 248, 428)
    for y in (218, 341):
        c.rect(84, y, 224, 1, (233, 236, 241))
    # The small accents beside the two slider groups.
    c.round_rect(78, 66, 3, 138, 1.5, ACCENT)
    c.round_rect(78, 231, 3, 103, 1.5, WARM)
    # The edit boxes are drawn without a frame of their own: their fields
    # are part of the face, a little larger than the boxes.
    for top in (71, 100, 129, 159, 189, 235, 262, 289, 318):
        c.framed(283, top - 3, 30, 17, 3, CARD, (196, 202, 212))
    # The preview well.
    c.round_rect(326, 9, 554, 455, 5, (214, 218, 226))
    c.rect(330, 13, 546, 447, WELL)
    # Left button panel with the logo beside it.
    card(c, 44, 464, 242, 144)
    # The dot arc: a soft ring behind the dots, the viewer in its middle.
    c.ring(378, 519, 78, 20, (234, 237, 243))
    # The name display's field and the zoom control's pill.
    c.framed(462, 515, 417, 25, 4, CARD, CARD_EDGE)
    c.framed(624, 467, 90, 25, 12, CARD, CARD_EDGE)
    c.text(467, 503, "SETTINGS", MUTED)
    c.text(720, 476, "PREVIEW", MUTED)
    return c


def draw_track(warm):
    c = Canvas(135, 12, FACE)
    c.framed(0, 2, 135, 8, 4, GROOVE, (196, 202, 212))
    lo, hi = ((255, 210, 170), WARM) if warm else ((176, 198, 246), ACCENT)
    c.round_rect(1.5, 3.5, 132, 5, 2.5, lambda x, y: mix(lo, hi, x / 134), 0.85)
    return c


def draw_knob():
    c = Canvas(12, 10, CARD)
    c.rect(0, 0, 12, 10, FACE)
    c.framed(0, 0, 12, 10, 3, CARD, ACCENT_DARK)
    c.rect(4, 3, 1, 4, (190, 200, 220))
    c.rect(7, 3, 1, 4, (190, 200, 220))
    return c


# Dot bitmaps by id: (fill or None, ring colour, pressed)
DOTS = {
    203: (None, (160, 168, 180), False),  # empty
    210: (None, ACCENT, True),            # empty, pressed
    213: ((140, 150, 166), (110, 120, 136), False),  # filled
    214: ((100, 110, 126), (80, 88, 100), True),
    215: ((110, 160, 120), (80, 130, 92), False),    # filled, remembered
    216: ((80, 130, 92), (60, 104, 72), True),
    202: (ACCENT, ACCENT_DARK, False),    # current
    211: (ACCENT_DARK, (20, 50, 120), True),
    208: (WARM, (190, 80, 40), False),    # current, remembered
    212: ((190, 80, 40), (150, 60, 30), True),
}


def draw_dot(fill, ring, pressed):
    c = Canvas(8, 8, (234, 237, 243))
    if fill:
        c.circle(4, 4, 3.8, ring)
        c.circle(4, 4, 2.9, fill)
        if not pressed:
            c.circle(3.3, 3.2, 1.0, (255, 255, 255), 0.45)
    else:
        c.circle(4, 4, 3.8, ring)
        c.circle(4, 4, 2.8, (255, 255, 255) if not pressed else (226, 234, 252))
    return c


def draw_viewer_frame():
    c = Canvas(96, 96, (234, 237, 243))
    c.framed(0, 0, 96, 96, 6, CARD, CARD_EDGE)
    # The empty picture area: a light checkerboard.
    c.rect(4, 4, 88, 88, lambda x, y: (244, 245, 248) if ((x - 4) // 8 + (y - 4) // 8) % 2 else (250, 250, 252))
    return c


def pattern(c, x0, y0, w, h, seed):
    """Overlapping soft rings in the product's own manner: a sample of the kind
    of picture it makes, for the logo and the about box."""
    state = seed
    c.rect(x0, y0, w, h, lambda x, y: mix((30, 34, 60), (70, 30, 80), (x - x0) / max(1, w)))
    hues = [(255, 120, 60), (250, 200, 60), (60, 190, 220), (120, 90, 240), (240, 80, 160), (90, 210, 120)]
    for i in range(max(3, w * h // 900)):
        state = (state * 214013 + 2531011) & 0xFFFFFFFF
        r = 6 + (state >> 16) % max(7, min(w, h) // 3)
        cx = x0 + (state >> 8) % w
        cy = y0 + (state >> 20) % h
        col = hues[(state >> 4) % len(hues)]
        for k in range(3):
            rr = r * (1 - k * 0.3)
            c.shape(lambda px, py, cx=cx, cy=cy, rr=rr: (px - cx) ** 2 + (py - cy) ** 2 <= rr * rr
                    and x0 <= px < x0 + w and y0 <= py < y0 + h,
                    (cx - rr - 1, cy - rr - 1, cx + rr + 1, cy + rr + 1),
                    mix(col, (255, 255, 255), k * 0.3), 0.55)


def draw_logo(side):
    c = Canvas(side, side, FACE)
    s = side / 32
    c.round_rect(0, 0, side, side, 7 * s, lambda x, y: mix(ACCENT, (150, 70, 210), (x + y) / (2 * side)))
    # A quill's feather in white over three rings.
    for k, r in enumerate((11, 8, 5)):
        c.ring(12 * s, 20 * s, r * s, 1.6 * s, mix(WARM, (255, 255, 255), k * 0.35))
    c.polygon([(p[0] * s, p[1] * s) for p in ((27, 4), (22, 6), (15, 14), (12, 22), (14, 21), (19, 15), (24, 10))],
              (255, 255, 255))
    c.line(12 * s, 22 * s, 8 * s, 28 * s, 1.4 * s, (255, 255, 255))
    return c


def draw_about(kind):
    if kind == 0:
        return draw_logo(96)
    if kind == 1:
        c = Canvas(300, 80, CARD)
        pattern(c, 0, 0, 300, 80, 9)
        return c
    c = Canvas(300, 22, CARD)
    c.text(0, 2, "QUILLFIRE", INK, 2)
    c.text(text_width("QUILLFIRE", 2) + 12, 9, "MAKES COLOR NOISE", MUTED)
    return c


def draw_info():
    """The information box's picture: what the parts of the dialog do."""
    lines = [
        ("SLIDERS", "DRAG, OR TYPE A NUMBER 0 TO 100"),
        ("PREVIEW", "DRAG TO PAN WHEN ZOOMED IN"),
        ("- 100% +", "ZOOM THE PREVIEW"),
        ("DOTS", "CLICK AN EMPTY DOT TO KEEP THE SETTINGS"),
        ("", "CLICK A FILLED DOT TO BRING THEM BACK"),
        ("", "RIGHT-CLICK A DOT TO EMPTY IT"),
        ("RANDOM", "NEW SETTINGS; DICE: SMALLER STEPS"),
        ("N", "NEXT GLUE MODE"),
        ("UNDO", "STEP BACK THROUGH YOUR CHANGES"),
    ]
    c = Canvas(360, 40 + 16 * len(lines), CARD)
    c.paste(draw_logo(24), 12, 8)
    c.text(44, 16, "QUILLFIRE", INK)
    for i, (key, what) in enumerate(lines):
        y = 42 + 16 * i
        c.text(12, y, key, ACCENT)
        c.text(84, y, what, INK)
    return c


# ------------------------------------------------------------------- icons
def icon_canvas(w, h):
    return Canvas(w, h, (0, 0, 0), 0.0)


def caption_icon(caption, glyph):
    c = icon_canvas(60, 20)
    glyph(c)
    c.text(22, 7, caption, INK)
    return c


def g_folder(c):
    c.round_rect(2, 5, 15, 11, 1.5, (236, 180, 70))
    c.round_rect(2, 3, 7, 4, 1.5, (236, 180, 70))
    c.polygon([(4, 9), (19, 9), (17, 16), (2, 16)], (250, 206, 110))


def g_disk(c):
    c.round_rect(3, 3, 14, 14, 2, ACCENT)
    c.rect(6, 3, 8, 5, (255, 255, 255))
    c.rect(6, 11, 8, 6, (220, 230, 250))


def g_seed(c):
    c.shape(lambda x, y: ((x - 10) / 5.5) ** 2 + ((y - 11) / 7) ** 2 <= 1, (3, 3, 17, 19), (150, 100, 60))
    c.line(10, 6, 10, 16, 1.2, (110, 70, 40))


def die(c, x, y, s, pips, colour):
    c.framed(x, y, s, s, 2.5, CARD, colour)
    q = s / 4
    spots = {1: [(2, 2)], 2: [(1, 1), (3, 3)], 3: [(1, 1), (2, 2), (3, 3)],
             5: [(1, 1), (3, 1), (2, 2), (1, 3), (3, 3)]}[pips]
    for px, py in spots:
        c.circle(x + px * q, y + py * q, max(0.9, s / 11), colour)


def g_dice(c):
    die(c, 2, 6, 11, 5, ACCENT)
    die(c, 8, 2, 11, 3, WARM)


def g_die3(c):
    die(c, 3, 3, 14, 3, ACCENT)


def g_die_small(c):
    die(c, 5, 5, 10, 1, ACCENT)


def g_undo(c):
    c.shape(lambda x, y: 16 <= (x - 11) ** 2 + (y - 11) ** 2 <= 36 and not (x < 11 and y < 11),
            (4, 4, 18, 18), ACCENT)
    c.polygon([(2, 11), (9, 11), (5.5, 6)], ACCENT)
    c.rect(6, 5, 5, 2, ACCENT)


def g_reset(c):
    c.shape(lambda x, y: 16 <= (x - 10) ** 2 + (y - 10) ** 2 <= 36 and not (x > 10 and y < 8),
            (3, 3, 17, 17), MUTED)
    c.polygon([(11, 2), (17, 5), (11, 9)], MUTED)


def g_layers(c):
    for k, col in enumerate(((176, 198, 246), (120, 160, 240), ACCENT)):
        y = 12 - k * 4
        c.polygon([(2, y), (10, y - 4), (18, y), (10, y + 4)], col)


def small_icon(draw, w=8, h=8):
    c = icon_canvas(w, h)
    draw(c)
    return c


ICONS = {
    240: lambda: caption_icon("LOAD", g_folder),
    241: lambda: caption_icon("SAVE", g_disk),
    186: lambda: caption_icon("SEED", g_seed),
    237: lambda: caption_icon("RANDOM", g_dice),
    168: lambda: caption_icon("DICE", g_die3),
    169: lambda: caption_icon("NUDGE", g_die_small),
    242: lambda: caption_icon("UNDO", g_undo),
    225: lambda: caption_icon("RESET", g_reset),
    232: lambda: caption_icon("PSD", g_layers),
    243: lambda: small_icon(lambda c: c.rect(1, 3, 6, 2, INK)),
    5: lambda: small_icon(lambda c: (c.rect(1, 3, 6, 2, INK), c.rect(3, 1, 2, 6, INK))),
    236: lambda: small_icon(lambda c: c.polygon([(0, 6.5), (4, 1.5), (8, 6.5)], INK)),
    231: lambda: small_icon(lambda c: c.text(1, 0, "N", INK), 8, 7),
    235: lambda: info_icon(),
}


def info_icon():
    c = icon_canvas(16, 16)
    c.circle(8, 8, 7.5, ACCENT)
    c.rect(7, 7, 2, 5, (255, 255, 255))
    c.rect(7, 4, 2, 2, (255, 255, 255))
    return c


# ----------------------------------------------------------------- cursors
def hand(closed):
    c = icon_canvas(32, 32)
    outline, fill = (0, 0, 0), (255, 255, 255)
    fingers = [(10, 6 if not closed else 12), (14, 4 if not closed else 11),
               (18, 5 if not closed else 11), (22, 8 if not closed else 12)]
    for layer, grow in ((outline, 1.0), (fill, 0.0)):
        c.round_rect(9 - grow, 13 - grow, 16 + 2 * grow, 13 + 2 * grow, 5, layer)
        for fx, fy in fingers:
            c.round_rect(fx - 1.5 - grow, fy - grow, 3 + 2 * grow, 16 - fy + 2 * grow, 1.5, layer)
        if not closed:
            c.line(9, 21, 5, 15, 3 + 2 * grow, layer)
    return c


SIZES = {"face_239": (889, 616), "track_101": (135, 12), "track_102": (135, 12),
         "knob_120": (12, 10), "viewer_217": (96, 96), "logo_183": (32, 32)}
SIZES.update({"dot_%d" % i: (8, 8) for i in DOTS})


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_dialog_art.py OUTDIR\n")
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    bitmaps = {
        "face_239": draw_face(),
        "track_101": draw_track(False),
        "track_102": draw_track(True),
        "knob_120": draw_knob(),
        "viewer_217": draw_viewer_frame(),
        "logo_183": draw_logo(32),
        "info_167": draw_info(),
        "about_300": draw_about(0),
        "about_301": draw_about(1),
        "about_302": draw_about(2),
    }
    for ident, (fill, ring, pressed) in DOTS.items():
        bitmaps["dot_%d" % ident] = draw_dot(fill, ring, pressed)
    # The dialog paints these at fixed places: their sizes are the layout's.
    for name, size in SIZES.items():
        got = (bitmaps[name].w, bitmaps[name].h)
        if got != size:
            raise SystemExit("%s is %d x %d, the dialog needs %d x %d" % ((name,) + got + size))
    for name, canvas in bitmaps.items():
        write_bmp(os.path.join(out, name + ".bmp"), canvas)
    for ident, make in ICONS.items():
        write_icon(os.path.join(out, "icon_%d.ico" % ident), make())
    write_icon(os.path.join(out, "cursor_108.cur"), hand(False), (15, 14))
    write_icon(os.path.join(out, "cursor_107.cur"), hand(True), (15, 14))
    return 0


if __name__ == "__main__":
    sys.exit(main())
