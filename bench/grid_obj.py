#!/usr/bin/env python3
"""Writes dirt-bench's scale grid (--grid CELLS) as a Wavefront OBJ file: CELLS x CELLS
quads, 8 units wide, level at height 0, each quad's corners in the order the grid
primitive gives them. 707 cells make the 1 M-triangle grid (999,698 triangles).

    python3 bench/grid_obj.py 707 /tmp/grid707.obj
"""
import struct
import sys


def as_float(x):
    # The grid primitive's coordinates are doubles stored as single-precision floats.
    return struct.unpack("f", struct.pack("f", x))[0]


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: grid_obj.py CELLS OUT.obj")
    cells, out = int(sys.argv[1]), sys.argv[2]
    half = 4.0
    step = 2.0 * half / cells
    row = cells + 1
    lines = ["# dirt-bench grid of %d x %d quads\n" % (cells, cells), "usemtl Grid\n"]
    for j in range(row):
        z = "%.9g" % as_float(-half + j * step)
        for i in range(row):
            lines.append("v %.9g 0 %s\n" % (as_float(-half + i * step), z))
    for j in range(cells):
        for i in range(cells):
            a = j * row + i + 1  # OBJ numbers vertices from 1
            b, c, d = a + 1, a + row + 1, a + row
            lines.append("f %d %d %d %d\n" % (a, d, c, b))
    with open(out, "w") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main()
