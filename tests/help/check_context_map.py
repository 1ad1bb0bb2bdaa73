#!/usr/bin/env python3
"""Checks the context map of the built quillon.chm: every help context a dialog opens
must map, through #IVB and #STRINGS, to a topic stored in the file, and that topic must be
the one written for the dialog.

    check_context_map.py CHMLS QUILLON_CHM WORK_DIR

The map is read from the file's own #IVB (pairs of context id and #STRINGS offset after
a byte count) rather than from chmls's alias export, so a wrong offset or a path the
viewer cannot find inside the file (such as the build machine's full path) fails here."""
import os
import re
import struct
import subprocess
import sys

# Context id -> (topic, who opens it). The dialogs' own tables name these numbers.
DIALOG_CONTEXTS = {
    1001: ("config_advanced.htm", "configuration page Advanced"),
    1002: ("config_connection.htm", "configuration page Internet Connection"),
    1003: ("config_mail.htm", "configuration pages Mail System and Error Handling"),
    1004: ("extracted_text.htm", "extracted-text preview"),
    1005: ("schedule_list.htm", "schedule list"),
    1006: ("task_editor.htm", "task editor"),
    1007: ("config_outgoing.htm", "configuration page Outgoing Server"),
}


def extract(chmls, chm, name, out):
    subprocess.run([chmls, "extract", chm, name, out], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out, "rb") as f:
        return f.read()


def archive_names(chmls, chm):
    listing = subprocess.run([chmls, "-p", "-n", "list", chm], check=True,
                             capture_output=True, text=True).stdout
    return {line.strip() for line in listing.splitlines() if line.startswith("/")}


def read_map(ivb, strings):
    failures = []
    if len(ivb) < 4:
        return {}, ["#IVB is shorter than its byte count"]
    (size,) = struct.unpack_from("<I", ivb, 0)
    if size % 8 != 0 or 4 + size > len(ivb):
        return {}, ["#IVB byte count %d does not fit its %d bytes" % (size, len(ivb))]
    contexts = {}
    for at in range(4, 4 + size, 8):
        context, offset = struct.unpack_from("<II", ivb, at)
        if offset >= len(strings):
            failures.append("context %d points past #STRINGS (offset %d)" % (context, offset))
            continue
        end = strings.index(b"\0", offset)
        contexts[context] = strings[offset:end].decode("cp1252")
    return contexts, failures


def main():
    chmls, chm, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    names = archive_names(chmls, chm)
    ivb = extract(chmls, chm, "/#IVB", os.path.join(work, "ivb.bin"))
    strings = extract(chmls, chm, "/#STRINGS", os.path.join(work, "strings.bin"))
    contexts, failures = read_map(ivb, strings)

    for context, (topic, user) in sorted(DIALOG_CONTEXTS.items()):
        path = contexts.get(context)
        if path is None:
            failures.append("context %d (%s) is not in the map" % (context, user))
            continue
        # The viewer resolves an alias inside the file: "/topic" or "topic".
        inside = path if path.startswith("/") else "/" + path
        if inside not in names:
            failures.append("context %d (%s) maps to %r, which the file does not hold" % (context, user, path))
            continue
        if inside != "/" + topic:
            failures.append("context %d (%s) opens %s instead of %s" % (context, user, path, topic))
            continue
        page = extract(chmls, chm, inside, os.path.join(work, topic)).decode("cp1252")
        if not re.search(r"<title>[^<]+</title>", page):
            failures.append("topic %s of context %d has no title" % (topic, context))

    for failure in failures:
        print("FAIL: " + failure)
    print("%d contexts checked, %d in the map, %d failures" % (len(DIALOG_CONTEXTS), len(contexts), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
