#!/usr/bin/env python3
"""Builds the page-capture extension for each browser family from its one source.

    make_packages.py --out DIR

writes
    DIR/chromium/         the unpacked extension for Chrome and Edge ("Load unpacked"),
                          its manifest carrying the fixed public key, so the extension id
                          is the same wherever it is loaded
    DIR/firefox/          the unpacked add-on for Firefox (a temporary add-on)
    DIR/quillon-capture-chromium.zip, DIR/quillon-capture-firefox.zip
                          the store packages (the Chromium one without the key, which the
                          store assigns itself)
    DIR/host/com.kestrova.quillon.chromium.json, .firefox.json
                          the native host's manifests, UTF-8 without a byte-order mark,
                          naming the host program relative to themselves
    DIR/capture_extension_ids.h
                          the ids the host accepts callers from

Only the standard library; the icons come from the product icon's pixel grid.
"""
import argparse
import base64
import hashlib
import json
import os
import shutil
import struct
import sys
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ICON_GRID = os.path.join(HERE, "..", "..", "resources", "icons", "product-32.txt")

HOST_NAME = "com.kestrova.quillon"
HOST_PROGRAM = "cliphost.exe"
HOST_DESCRIPTION = "Quillon page capture"
FIREFOX_ADDON_ID = "capture@quillon.kestrova"
FIREFOX_MIN_VERSION = "128.0"

PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def chromium_extension_id(public_key_b64):
    """Chromium's id of an extension: the first 128 bits of the SHA-256 of its public
    key (DER), each hexadecimal digit written as a letter a-p."""
    digest = hashlib.sha256(base64.b64decode(public_key_b64)).hexdigest()[:32]
    return "".join(chr(ord("a") + int(c, 16)) for c in digest)


def png(size, grid):
    """An RGBA PNG of the grid scaled to size x size (nearest pixel)."""
    n = len(grid)
    rows = []
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            c = grid[y * n // size][x * n // size]
            if c == ".":
                row += b"\0\0\0\0"
            else:
                row += bytes(PALETTE[int(c, 16)]) + b"\xff"
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
            + chunk(b"IEND", b""))


def write_json(path, data):
    # UTF-8 without a byte-order mark: browsers refuse a host manifest that has one.
    with open(path, "wb") as f:
        f.write((json.dumps(data, indent=2, ensure_ascii=False) + "\n").encode("utf-8"))


def build_tree(folder, manifest, grid):
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    os.makedirs(os.path.join(folder, "icons"))
    shutil.copy(os.path.join(HERE, "src", "background.js"), os.path.join(folder, "background.js"))
    for size in (16, 32, 48, 128):
        with open(os.path.join(folder, "icons", "quillon%d.png" % size), "wb") as f:
            f.write(png(size, grid))
    write_json(os.path.join(folder, "manifest.json"), manifest)


def zip_tree(folder, manifest, target):
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
        for root, _, files in os.walk(folder):
            for name in sorted(files):
                path = os.path.join(root, name)
                arcname = os.path.relpath(path, folder).replace(os.sep, "/")
                if arcname == "manifest.json":
                    z.writestr(arcname, json.dumps(manifest, indent=2, ensure_ascii=False) + "\n")
                else:
                    z.write(path, arcname)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    out = parser.parse_args().out
    os.makedirs(out, exist_ok=True)

    with open(os.path.join(HERE, "manifest.base.json"), encoding="utf-8") as f:
        base = json.load(f)
    with open(os.path.join(HERE, "chromium_public_key.txt")) as f:
        key = f.read().strip()
    with open(ICON_GRID) as f:
        grid = [line.rstrip("\n") for line in f if line.strip()]
    extension_id = chromium_extension_id(key)

    chromium = dict(base)
    chromium["background"] = {"service_worker": "background.js"}
    chromium["minimum_chrome_version"] = "116"
    chromium_store = dict(chromium)
    chromium["key"] = key

    firefox = dict(base)
    firefox["background"] = {"scripts": ["background.js"]}
    firefox["browser_specific_settings"] = {"gecko": {"id": FIREFOX_ADDON_ID, "strict_min_version": FIREFOX_MIN_VERSION}}

    build_tree(os.path.join(out, "chromium"), chromium, grid)
    build_tree(os.path.join(out, "firefox"), firefox, grid)
    zip_tree(os.path.join(out, "chromium"), chromium_store, os.path.join(out, "quillon-capture-chromium.zip"))
    zip_tree(os.path.join(out, "firefox"), firefox, os.path.join(out, "quillon-capture-firefox.zip"))

    host = os.path.join(out, "host")
    os.makedirs(host, exist_ok=True)
    common = {"name": HOST_NAME, "description": HOST_DESCRIPTION, "path": HOST_PROGRAM, "type": "stdio"}
    write_json(os.path.join(host, HOST_NAME + ".chromium.json"),
               dict(common, allowed_origins=["chrome-extension://%s/" % extension_id]))
    write_json(os.path.join(host, HOST_NAME + ".firefox.json"), dict(common, allowed_extensions=[FIREFOX_ADDON_ID]))

    header = os.path.join(out, "capture_extension_ids.h")
    text = ("// Generated by capture/extension/make_packages.py: the callers the native host accepts.\n"
            "#pragma once\n"
            "namespace quillon::capture {\n"
            "constexpr char kNativeHostName[] = \"%s\";\n"
            "constexpr char kChromiumExtensionOrigin[] = \"chrome-extension://%s/\";\n"
            "constexpr char kFirefoxAddonId[] = \"%s\";\n"
            "} // namespace quillon::capture\n") % (HOST_NAME, extension_id, FIREFOX_ADDON_ID)
    old = open(header).read() if os.path.exists(header) else None
    if old != text:
        with open(header, "w") as f:
            f.write(text)
    print(extension_id)
    return 0


if __name__ == "__main__":
    sys.exit(main())
