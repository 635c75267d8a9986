#!/usr/bin/env python3
"""Writes export/jpeg_tables.cpp: the JPEG writer's quantization tables and
luminance sampling factors, one set per quality decile 0..10.

The tables are program data, not something computed at run time: this script
ran once and its output is committed. Running it again must reproduce the
committed file byte for byte (`python3 tools/make_jpeg_tables.py --check`).

How the tables are made (all tables in natural, row-major order; entry
(row v, column u) is the step of vertical frequency v and horizontal
frequency u):

1. A base table per kind, a smooth ramp that grows with frequency:
     luminance    base(u, v) = 16 + 4.5 (u + v) + 1.2 u v   (16 .. 138.8)
     chrominance  base(u, v) = 18 + 8.0 (u + v) + 1.0 u v   (18 .. 179)
   Chrominance is coarser because the eye resolves colour detail less well
   than brightness detail.
2. A scale per decile, falling from 1 at decile 0 to 0.01 at decile 10:
     1.0, 0.86, 0.74, 0.62, 0.52, 0.42, 0.32, 0.22, 0.13, 0.06, 0.01
   entry = floor(base * scale + 0.5), limited to 1..255. At decile 10 this
   leaves 1 everywhere except a few of the highest frequencies (2).
3. Fixed rows, which files written by earlier releases carry and which are
   kept exactly (PINNED below): the first luminance row of deciles 0, 5 and
   8, the first two luminance rows of decile 10 (all 1), and the first
   chrominance row of deciles 0 and 9.
4. Every table must be at least as fine as the one before it, entry by
   entry. The free entries are therefore limited from below by the fixed
   entries of the later deciles at the same position and from above by the
   fixed entries of the earlier deciles. The fixed rows themselves never
   get coarser with the decile, so the limits never cross, and limiting a
   sequence that falls with the decile between two bounds that fall with the
   decile keeps it falling.

The script checks the result: entries 1..255, no entry coarser than at the
decile before, every table's sum smaller than the one before, and at
decile 10 at least 56 of the 64 entries of each table equal to 1.

The luminance sampling factor (horizontal and vertical alike) is 2 for
deciles 0 to 4 (quality below 50) and 1 for deciles 5 to 10; the
chrominance components are always sampled 1 x 1.
"""

import math
import sys

from cpp_namespace import in_namespace
from generated_source import write_or_check

DECILES = 11
SCALES = [1.0, 0.86, 0.74, 0.62, 0.52, 0.42, 0.32, 0.22, 0.13, 0.06, 0.01]
SAMPLING = [2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1]

# (decile, row) -> eight entries, per kind.
PINNED = {
    "luminance": {
        (0, 0): [20, 17, 26, 41, 51, 39, 34, 17],
        (5, 0): [13, 7, 7, 13, 15, 18, 20, 17],
        (8, 0): [2, 2, 2, 2, 3, 4, 5, 6],
        (10, 0): [1] * 8,
        (10, 1): [1] * 8,
    },
    "chrominance": {
        (0, 0): [21, 26, 33, 34, 20, 20, 17, 17],
        (9, 0): [1, 1, 2, 4, 7, 8, 8, 8],
    },
}


def base(kind, u, v):
    if kind == "luminance":
        return 16 + 4.5 * (u + v) + 1.2 * u * v
    return 18 + 8.0 * (u + v) + 1.0 * u * v


def make(kind):
    pins = {}
    for (decile, row), values in PINNED[kind].items():
        for u, value in enumerate(values):
            pins[(decile, row * 8 + u)] = value
    tables = []
    for decile in range(DECILES):
        table = []
        for i in range(64):
            v, u = divmod(i, 8)
            if (decile, i) in pins:
                table.append(pins[(decile, i)])
                continue
            value = int(math.floor(base(kind, u, v) * SCALES[decile] + 0.5))
            later = [p for (d, j), p in pins.items() if j == i and d > decile]
            earlier = [p for (d, j), p in pins.items() if j == i and d < decile]
            if later:
                value = max(value, max(later))
            if earlier:
                value = min(value, min(earlier))
            table.append(min(255, max(1, value)))
        tables.append(table)
    return tables


def check(kind, tables):
    for decile, table in enumerate(tables):
        assert all(1 <= q <= 255 for q in table), (kind, decile)
        if decile:
            before = tables[decile - 1]
            assert all(q <= b for q, b in zip(table, before)), (kind, decile)
            assert sum(table) < sum(before), (kind, decile)
    assert sum(1 for q in tables[10] if q == 1) >= 56, kind
    for (decile, row), values in PINNED[kind].items():
        assert tables[decile][row * 8:row * 8 + 8] == values, (kind, decile, row)


def emit_table(name, tables):
    lines = [f"const uint8_t {name}[kJpegDecileCount][64] = {{"]
    for decile, table in enumerate(tables):
        lines.append(f"    // decile {decile}")
        lines.append("    {")
        for row in range(8):
            entries = ", ".join(f"{q:3d}" for q in table[row * 8:row * 8 + 8])
            lines.append(f"        {entries},")
        lines.append("    },")
    lines.append("};")
    return "\n".join(lines)


def render():
    luminance = make("luminance")
    chrominance = make("chrominance")
    check("luminance", luminance)
    check("chrominance", chrominance)
    sampling = ", ".join(str(s) for s in SAMPLING)
    return "\n".join([
        "// Generated by tools/make_jpeg_tables.py; do not edit. The script",
        "// documents how the tables were made and reproduces this file.",
        '#include "export/jpeg_tables.h"',
        "",
        "// Quantization steps in natural (row-major) order, one table per decile.",
        emit_table("kLuminanceQuantTables", luminance),
        "",
        emit_table("kChrominanceQuantTables", chrominance),
        "",
        "// Horizontal and vertical sampling factor of the luminance component.",
        f"const uint8_t kLuminanceSampling[kJpegDecileCount] = {{{sampling}}};",
        "",
    ])


def main():
    return write_or_check(__doc__.splitlines()[0], "export/jpeg_tables.cpp", in_namespace(render()))


if __name__ == "__main__":
    sys.exit(main())
