#!/usr/bin/env python3
"""Builds the resource module's icons from the pixel grids beside this script.

Each grid file is one image: one line per pixel row, top row first, one character per
pixel: 0-9 and A-F index the standard 16-colour palette below, '.' is transparent.
An icon joins a 32x32 and a 16x16 grid:

    python3 make_icons.py            writes ../en/product.ico and ../en/task.ico
    python3 make_icons.py --png DIR  also writes an enlarged PNG preview per grid
                                     (needs ImageMagick's convert)

The .ico files are committed, so the build never needs this script.
"""
import os
import struct
import subprocess
import sys

# The standard 16-colour palette (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

ICONS = {
    "product.ico": ["product-32.txt", "product-16.txt"],
    "task.ico": ["task-32.txt", "task-16.txt"],
}

HERE = os.path.dirname(os.path.abspath(__file__))


def read_grid(name):
    with open(os.path.join(HERE, name)) as f:
        rows = [line.rstrip("\n") for line in f if line.strip()]
    size = len(rows)
    for i, row in enumerate(rows):
        if len(row) != size:
            sys.exit(f"{name}: row {i + 1} has {len(row)} pixels, expected {size}")
        for c in row:
            if c != "." and c not in "0123456789ABCDEF":
                sys.exit(f"{name}: row {i + 1}: unknown pixel {c!r}")
    return rows


def padded(data, multiple=4):
    return data + b"\0" * (-len(data) % multiple)


def image_bytes(rows):
    """DIB of one icon image: header, palette, 4-bit colour rows, 1-bit mask rows."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour = b""
    mask = b""
    for row in reversed(rows):  # bottom-up
        indices = [0 if c == "." else int(c, 16) for c in row]
        line = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        colour += padded(line)
        bits = 0
        mask_line = b""
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c == "." else 0)
            if i % 8 == 7:
                mask_line += bytes([bits])
                bits = 0
        mask += padded(mask_line)
    return header + palette + colour + mask


def write_icon(path, grids):
    images = [(len(g), image_bytes(g)) for g in grids]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def write_preview(directory, name, rows, scale=8):
    size = len(rows)
    ppm = f"P6 {size} {size} 255\n".encode()
    for row in rows:
        for c in row:
            # Transparent pixels show as a light cyan-grey so they stand out.
            ppm += bytes((0xD0, 0xE8, 0xE8) if c == "." else PALETTE[int(c, 16)])
    target = os.path.join(directory, name.replace(".txt", ".png"))
    subprocess.run(["convert", "ppm:-", "-scale", f"{scale * 100}%", target],
                   input=ppm, check=True)


def main():
    preview_dir = None
    if len(sys.argv) == 3 and sys.argv[1] == "--png":
        preview_dir = sys.argv[2]
    for icon, names in ICONS.items():
        grids = [read_grid(n) for n in names]
        write_icon(os.path.join(HERE, "..", "en", icon), grids)
        if preview_dir:
            for n, g in zip(names, grids):
                write_preview(preview_dir, n, g)


if __name__ == "__main__":
    main()
