#!/usr/bin/env python3
"""Generate the two colour tables of the colour-table glue modes.

Writes composite/colour_tables.cpp: a forward table that takes red, green and
blue to a lightness and two opponent components, and an inverse table that
takes those three components back to red, green and blue. Both are 16 x 16 x 16
nodes of 3 bytes; node (i, j, k) stands for the input (17i, 17j, 17k) on a
0..255 scale and sits at byte offset 3 * (i + 16j + 256k).

The colour model
----------------
1. Encoded channel c in 0..255 -> linear light (c / 255) ** GAMMA.
2. Linear red, green, blue -> three tristimulus values X, Y, Z through the
   matrix below. Every row sums to 1, so white gives X = Y = Z = 1 and every
   grey gives X = Y = Z: the opponent components of a grey are exactly zero.
3. Each tristimulus value is compressed by the cube-root curve with a linear
   toe (t ** (1/3) above (6/29) ** 3, t / (3 (6/29) ** 2) + 4/29 below).
4. lightness L = 2.55 * (116 f(Y) - 16)            black 0, white 255
   red-green  a = 128 + 500 * (f(X) - f(Y))        greys 128
   yellow-blue b = 128 + 200 * (f(Y) - f(Z))       greys 128
   each rounded half up and limited to 0..255.

The exponent and the matrix rows were fitted once to the reference rows the
compositor must reproduce (black, the greys at nodes 3 and 8, white and the six
primary and secondary colours); the fit leaves three opponent bytes of the
primaries one or two steps away from the reference, so the reference nodes are
written over the model's values afterwards (ANCHORS below). The tool prints
every such override.

The inverse table runs the model backwards at its nodes: the three bytes are
expanded into X, Y, Z, taken through the inverse matrix to linear light,
limited to 0..1 (colours outside what red, green and blue can show are clipped
channel by channel), encoded with 1 / GAMMA and rounded half up. Its three
reference nodes are anchored the same way.

The tool uses only the Python standard library and integer rounding of
IEEE double results, so it writes the same file on every machine. Run it
from the repository root:

    python3 tools/make_colour_tables.py            # writes the file
    python3 tools/make_colour_tables.py --check    # compares instead, and prints round-trip errors
"""

import os
import sys

from cpp_namespace import in_namespace

GAMMA = 1.789
MATRIX = (
    (0.4832, 0.3496, 0.1672),  # X
    (0.2458, 0.6358, 0.1184),  # Y
    (0.0114, 0.1018, 0.8868),  # Z
)

# Reference nodes: (i, j, k) -> three bytes.
FORWARD_ANCHORS = {
    (0, 0, 0): (0, 128, 128),
    (3, 3, 3): (72, 128, 128),
    (8, 8, 8): (163, 128, 128),
    (15, 15, 15): (255, 128, 128),
    (15, 0, 0): (144, 208, 208),
    (0, 15, 0): (214, 51, 207),
    (0, 0, 15): (104, 158, 33),
    (15, 15, 0): (243, 119, 222),
    (0, 15, 15): (228, 75, 111),
}
INVERSE_ANCHORS = {
    (15, 8, 8): (255, 249, 237),
    (8, 8, 8): (125, 104, 95),
    (0, 8, 8): (15, 0, 1),
}

DELTA = 6.0 / 29.0


def compress(t):
    return t ** (1.0 / 3.0) if t > DELTA ** 3 else t / (3.0 * DELTA * DELTA) + 4.0 / 29.0


def expand(f):
    return f ** 3 if f > DELTA else 3.0 * DELTA * DELTA * (f - 4.0 / 29.0)


def round_byte(v):
    n = int(v + 0.5) if v >= 0 else 0
    return max(0, min(255, n))


def invert3(m):
    (a, b, c), (d, e, f), (g, h, i) = m
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return (
        ((e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det),
        ((f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det),
        ((d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det),
    )


INVERSE_MATRIX = invert3(MATRIX)


def forward_model(rgb):
    lin = [(c / 255.0) ** GAMMA for c in rgb]
    x, y, z = (sum(m * v for m, v in zip(row, lin)) for row in MATRIX)
    fx, fy, fz = compress(x), compress(y), compress(z)
    return (2.55 * (116.0 * fy - 16.0), 128.0 + 500.0 * (fx - fy), 128.0 + 200.0 * (fy - fz))


def inverse_model(lab):
    fy = (lab[0] / 2.55 + 16.0) / 116.0
    fx = fy + (lab[1] - 128.0) / 500.0
    fz = fy - (lab[2] - 128.0) / 200.0
    xyz = (expand(fx), expand(fy), expand(fz))
    lin = [sum(m * v for m, v in zip(row, xyz)) for row in INVERSE_MATRIX]
    return tuple(255.0 * min(1.0, max(0.0, v)) ** (1.0 / GAMMA) for v in lin)


def build(model, anchors, label):
    table = bytearray(16 * 16 * 16 * 3)
    for k in range(16):
        for j in range(16):
            for i in range(16):
                node = tuple(round_byte(v) for v in model((17 * i, 17 * j, 17 * k)))
                if (i, j, k) in anchors:
                    want = anchors[(i, j, k)]
                    if want != node:
                        print("%s node %s: model %s, reference %s" % (label, (i, j, k), node, want))
                    node = want
                off = 3 * (i + 16 * j + 256 * k)
                table[off:off + 3] = bytes(node)
    return table


# The lookup of the compositor, for the round-trip check.
CELL = 2184.533447265625  # 32768 / 15 as a single-precision float


def f32(v):
    import struct
    return struct.unpack("f", struct.pack("f", v))[0]


def lookup(table, v):
    nodes, fracs = [], []
    for c in v:
        c = max(0, min(32768, c))
        n = min(15, int(f32(f32(float(c)) / CELL)))
        fr = int(f32(float(c) - f32(CELL * n)))
        nodes.append(n)
        fracs.append(fr)
    order = sorted(range(3), key=lambda a: -fracs[a])
    stride = (1, 16, 256)
    base = nodes[0] + 16 * nodes[1] + 256 * nodes[2]
    pts = [base]
    for a in order:
        pts.append(pts[-1] + (stride[a] if nodes[a] < 15 else 0))
    f1, f2, f3 = (fracs[a] for a in order)
    w = (2184 - f1, f1 - f2, f2 - f3, f3)
    return [sum(wt * table[3 * p + c] for wt, p in zip(w, pts)) // 17 for c in range(3)]


def check(fwd, inv):
    worst_grey = worst = 0
    total = count = 0
    for r in range(0, 256, 5):
        for g in range(0, 256, 5):
            for b in range(0, 256, 5):
                v = [c * 128 for c in (r, g, b)]
                back = [c / 128.0 for c in lookup(inv, lookup(fwd, v))]
                err = max(abs(x - y) for x, y in zip(back, (r, g, b)))
                total += err
                count += 1
                worst = max(worst, err)
                if r == g == b:
                    worst_grey = max(worst_grey, max(back) - min(back))
    print("round trip: mean error %.2f, worst %.2f (of 255); worst grey spread %.2f"
          % (total / count, worst, worst_grey))


def emit(path, fwd, inv):
    def rows(table):
        out = []
        for off in range(0, len(table), 48):
            out.append("    " + ", ".join("%d" % b for b in table[off:off + 48]) + ",")
        return "\n".join(out)

    text = (
        "// Generated by tools/make_colour_tables.py; do not edit by hand.\n"
        "// The colour model and the reference nodes are described in that tool.\n"
        "#include \"composite/colour_tables.h\"\n\n"
        "const uint8_t forwardColourTable[kColourTableBytes] = {\n%s\n};\n\n"
        "const uint8_t inverseColourTable[kColourTableBytes] = {\n%s\n};\n"
        % (rows(fwd), rows(inv))
    )
    return in_namespace(text)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    fwd = build(forward_model, FORWARD_ANCHORS, "forward")
    inv = build(inverse_model, INVERSE_ANCHORS, "inverse")
    path = os.path.join(root, "composite", "colour_tables.cpp")
    text = emit(path, fwd, inv)
    if "--check" in sys.argv:
        check(fwd, inv)
        with open(path, newline="\n") as f:
            if f.read() != text:
                sys.exit("composite/colour_tables.cpp differs from what this tool writes: run it without --check")
        print("composite/colour_tables.cpp is up to date")
        return
    with open(path, "w", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
