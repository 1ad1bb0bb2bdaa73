#!/usr/bin/env python3
"""Builds reminder/nagnote.ico (icon 101 of Nagnote.exe) from the two pixel grids beside
this script, with the grid format and palette of resources/icons/make_icons.py:

    python3 make_icon.py            writes ../nagnote.ico
    python3 make_icon.py --png DIR  also writes an enlarged PNG preview per grid

The .ico file is committed, so the build never needs this script.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "resources", "icons"))
import make_icons  # noqa: E402

NAMES = ["nagnote-32.txt", "nagnote-16.txt"]


def main():
    grids = [read(n) for n in NAMES]
    make_icons.write_icon(os.path.join(HERE, "..", "nagnote.ico"), grids)
    if len(sys.argv) == 3 and sys.argv[1] == "--png":
        for n, g in zip(NAMES, grids):
            make_icons.write_preview(sys.argv[2], n, g)


def read(name):
    with open(os.path.join(HERE, name)) as f:
        return [line.rstrip("\n") for line in f if line.strip()]


if __name__ == "__main__":
    main()
