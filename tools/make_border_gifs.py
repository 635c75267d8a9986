#!/usr/bin/env python3
"""Writes export/border_gifs.cpp: the four small GIF pictures that frame every
image of an exported HTML page (top.gif, left.gif, right.gif, bottom.gif).

The pictures are program data, not something made at run time: this script
encodes them and its output is committed. Running it again must reproduce
the committed file byte for byte (`python3 tools/make_border_gifs.py --check`).

How each file is made:

1. A GIF89a header and a logical screen of the picture's size with a global
   table of four colours (flags 0x81), background 0, no aspect ratio.
2. The palette, the same in all four: white, light grey d8, mid grey a0 and
   dark grey 60 (indices 0 to 3; the frames use 1 to 3).
3. One comment extension saying what the picture draws, padded with spaces
   so that the file has the size the pages have always carried (125, 155,
   154 and 224 bytes). The padding is what is left of that size once
   everything else is written; it must fit the comment's one sub-block.
4. An image descriptor covering the whole screen, no local palette, not
   interlaced.
5. The pixels, row by row from the top, LZW-compressed with minimum code
   size 2: a clear code first, codes widened by one bit as soon as the next
   code to be assigned needs it (at most 12 bits; these pictures never fill
   the table), the end code last, packed least significant bit first and
   cut into sub-blocks of at most 255 bytes.
6. The trailer 0x3b.

The script checks what it encodes: it decodes its own LZW data again and
compares the pixels, and every file has its size.
"""

import sys

from cpp_namespace import in_namespace
from generated_source import write_or_check

PALETTE = [(0xFF, 0xFF, 0xFF), (0xD8, 0xD8, 0xD8), (0xA0, 0xA0, 0xA0), (0x60, 0x60, 0x60)]
PALETTE_TEXT = "white, light grey d8, mid grey a0, dark grey 60"
LIGHT, MID, DARK = 1, 2, 3
MIN_CODE_SIZE = 2
PER_LINE = 12


def rows_of(width, rows):
    """A picture whose every row is one colour, `rows` from the top."""
    return [c for c in rows for _ in range(width)]


def columns_of(height, columns):
    """A picture whose every column is one colour, `columns` from the left."""
    return list(columns) * height


# (variable, file name, width, height, pixels, what it draws in the code,
# the GIF's comment, the file's size)
GIFS = [
    ("kTopGif", "top.gif", 94, 2, rows_of(94, [LIGHT, MID]),
     ["top.gif: 94 x 2, the frame's top edge: a light grey row over a mid grey one."],
     "frame top edge", 125),
    ("kLeftGif", "left.gif", 3, 88, columns_of(88, [LIGHT, MID, DARK]),
     ["left.gif: 3 x 88, the frame's left edge: light, mid and dark grey columns,",
      "the darkest next to the picture."],
     "frame left edge", 155),
    ("kRightGif", "right.gif", 3, 88, columns_of(88, [DARK, MID, LIGHT]),
     ["right.gif: 3 x 88, the frame's right edge and shadow: dark, mid and light",
      "grey columns, fading away from the picture."],
     "frame right edge and shadow", 154),
    ("kBottomGif", "bottom.gif", 94, 5, rows_of(94, [DARK, MID, MID, LIGHT, LIGHT]),
     ["bottom.gif: 94 x 5, the frame's bottom edge and shadow: a dark grey row,",
      "two mid grey rows and two light grey rows."],
     "frame bottom edge and shadow", 224),
]


def lzw_codes(pixels, min_code_size):
    """The (code, width in bits) sequence of the pixels."""
    clear = 1 << min_code_size
    end = clear + 1
    table = {(i,): i for i in range(clear)}
    next_code = end + 1
    size = min_code_size + 1
    codes = [(clear, size)]
    run = (pixels[0],)
    for p in pixels[1:]:
        if run + (p,) in table:
            run += (p,)
            continue
        codes.append((table[run], size))
        if next_code >= 4096:
            raise ValueError("the LZW table is full; these pictures never fill it")
        table[run + (p,)] = next_code
        next_code += 1
        if next_code - 1 == (1 << size) and size < 12:
            size += 1
        run = (p,)
    codes.append((table[run], size))
    codes.append((end, size))
    return codes


def pack(codes):
    """Codes into bytes, least significant bit first."""
    out = bytearray()
    acc = 0
    bits = 0
    for code, size in codes:
        acc |= code << bits
        bits += size
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def lzw_decode(data, min_code_size):
    """The decoder's view of `data`, to check the encoder against."""
    clear = 1 << min_code_size
    end = clear + 1
    table = [[i] for i in range(clear)] + [None, None]
    size = min_code_size + 1
    acc = bits = pos = 0
    pixels = []
    previous = None
    while True:
        while bits < size:
            acc |= data[pos] << bits
            pos += 1
            bits += 8
        code = acc & ((1 << size) - 1)
        acc >>= size
        bits -= size
        if code == clear:
            table = table[:clear + 2]
            size = min_code_size + 1
            previous = None
            continue
        if code == end:
            return pixels
        if previous is None:
            entry = table[code]
        elif code < len(table):
            entry = table[code]
            table.append(previous + [entry[0]])
        else:
            entry = previous + [previous[0]]
            table.append(entry)
        pixels += entry
        previous = entry
        if len(table) == (1 << size) and size < 12:
            size += 1


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out += bytes([len(chunk)]) + chunk
    return bytes(out + b"\0")


def le16(v):
    return bytes([v & 0xFF, v >> 8])


def sections(width, height, pixels, comment, size):
    """The file as (comment, bytes, on one line) sections, in order. The
    padding goes on one line: a column of identical rows says nothing."""
    lzw = pack(lzw_codes(pixels, MIN_CODE_SIZE))
    if lzw_decode(lzw, MIN_CODE_SIZE) != pixels:
        raise ValueError(f"{comment}: the LZW data does not decode to the pixels")
    screen = b"GIF89a" + le16(width) + le16(height) + bytes([0x81, 0, 0])
    palette = bytes(v for colour in PALETTE for v in colour)
    descriptor = b"\x2c" + le16(0) + le16(0) + le16(width) + le16(height) + b"\0"
    image = bytes([MIN_CODE_SIZE]) + sub_blocks(lzw)
    trailer = b"\x3b"
    fixed = len(screen) + len(palette) + 3 + 1 + len(descriptor) + len(image) + len(trailer)
    text = comment.encode("ascii")
    padding = size - fixed - len(text)
    if padding < 0 or len(text) + padding > 255:
        raise ValueError(f"{comment}: {size} bytes leave no room for the comment")
    note = text + b" " * padding
    return [
        (f"\"GIF89a\"; a {width} x {height} screen with a global table of four colours", screen, False),
        (f"palette: {PALETTE_TEXT}", palette, False),
        (f"comment \"{comment}\"", b"\x21\xfe" + bytes([len(note)]) + text, False),
        (f"{padding} spaces of padding and the end of the comment",
         b" " * padding + b"\0", True),
        ("image descriptor: the whole screen, no local palette", descriptor, False),
        (f"LZW data, minimum code size {MIN_CODE_SIZE}", image, False),
        ("trailer", trailer, False),
    ]


def emit_gif(variable, width, height, pixels, about, comment, size):
    parts = sections(width, height, pixels, comment, size)
    total = sum(len(data) for _, data, _ in parts)
    if total != size:
        raise ValueError(f"{variable} has {total} bytes instead of {size}")
    lines = [f"// {line}" for line in about]
    lines.append(f"const uint8_t {variable}[] = {{")
    for text, data, one_line in parts:
        lines.append(f"    // {text}")
        per_line = len(data) if one_line else PER_LINE
        for i in range(0, len(data), per_line):
            lines.append("    " + " ".join(f"0x{b:02x}," for b in data[i:i + per_line]))
    lines.append("};")
    return lines


def render():
    lines = [
        "// Generated by tools/make_border_gifs.py; do not edit by hand. The script",
        "// documents how the pictures are encoded and reproduces this file.",
        '#include "export/border_gifs.h"',
        "",
        "namespace {",
        "",
        "// Each picture is a GIF89a file of one image with the same four-colour",
        "// palette, and a comment that says what it draws; the comment is padded",
        "// with spaces so that the files have the sizes the pages have always",
        "// carried (" + ", ".join(str(g[7]) for g in GIFS[:-1]) + f" and {GIFS[-1][7]} bytes).",
        "",
        "// clang-format off",
    ]
    for i, (variable, _, width, height, pixels, about, comment, size) in enumerate(GIFS):
        if i:
            lines.append("")
        lines += emit_gif(variable, width, height, pixels, about, comment, size)
    lines += ["// clang-format on", "", "const BorderGif kBorderGifs[kBorderGifCount] = {"]
    for variable, name, width, height, *_ in GIFS:
        lines.append(f"    {{\"{name}\", {variable}, sizeof {variable}, {width}, {height}}},")
    lines.append("};")
    lines.append("")
    # The size conditions, wrapped at 100 columns as the code's format does.
    terms = [f"sizeof {g[0]} == {g[7]}" for g in GIFS]
    assertion = ["static_assert(" + terms[0]]
    for term in terms[1:]:
        if len(assertion[-1]) + len(" && " + term) > 98:
            assertion[-1] += " &&"
            assertion.append(" " * 18 + term)
        else:
            assertion[-1] += " && " + term
    assertion[-1] += ","
    lines += assertion + [
        "              \"the border pictures keep their sizes\");",
        "",
        "} // namespace",
        "",
        "const BorderGif& borderGif(int index) {",
        "    return kBorderGifs[index < 0 ? 0 : index >= kBorderGifCount ? kBorderGifCount - 1 : index];",
        "}",
    ]
    return "\n".join(lines)


def main():
    return write_or_check(__doc__.splitlines()[0], "export/border_gifs.cpp",
                          in_namespace(render()))


if __name__ == "__main__":
    sys.exit(main())
