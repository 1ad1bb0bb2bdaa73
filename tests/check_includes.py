#!/usr/bin/env python3
"""Fails when a product folder includes a header of another program's folder.

Every program folder (schedule/, scheduler/, sender/, each mail library under mail/,
capture/, reminder/) includes only common/, its own files, generated headers (the
IDL compiler's *_h.h) and the contract folders: webflat/, queue/, mail/mail_contract.h,
mail/mail_export.h, mail/loader/ and resources/. The contract folders webflat/ and
queue/ include only common/ and themselves; common/ includes only itself and the
resource ids (the shared dialogs of the doors take their templates by id). A header
that two programs need belongs in common/ or in a contract folder, not in one of the
programs that happen to use it.

Usage: check_includes.py <source-root>. Prints every offending (file, include) pair
and exits 1 when there is one.
"""
import os
import re
import sys

SOURCE_SUFFIXES = ('.h', '.hpp', '.c', '.cpp', '.inc', '.rc')

# The folder that owns a file (or an included header): the first path component,
# except under mail/, where each library is a folder of its own and the two contract
# headers stand alone.
def owner_of(path):
    parts = path.split('/')
    if parts[0] == 'mail':
        if len(parts) == 2:
            return path  # mail/mail_contract.h, mail/mail_export.h, ...
        return 'mail/' + parts[1]
    return parts[0]

PROGRAM_FOLDERS = {'schedule', 'scheduler', 'sender', 'capture', 'reminder',
                   'mail/wire', 'mail/simple', 'mail/rich', 'mail/push'}
CONTRACTS = {'webflat', 'queue', 'mail/mail_contract.h', 'mail/mail_export.h',
             'mail/loader', 'resources'}
# What each kind of folder may include besides itself.
ALLOWED = {folder: {'common'} | CONTRACTS for folder in PROGRAM_FOLDERS}
ALLOWED.update({
    # The doors' shared dialogs take their templates and texts by the resource ids.
    'common': {'resources'},
    'webflat': {'common'},
    'queue': {'common'},
    'mail/loader': {'common', 'mail/mail_contract.h', 'mail/mail_export.h'},
    'resources': {'common'},
})
PRODUCT_FOLDERS = sorted(ALLOWED)

# Pairs (file, include) that break the rule and are being moved right now. Keep this
# empty: an entry is a debt with an owner, not a permission.
KNOWN_PENDING = set()

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def product_files(root):
    for folder in PRODUCT_FOLDERS:
        top = os.path.join(root, folder)
        if not os.path.isdir(top):
            continue
        for directory, _, names in os.walk(top):
            for name in names:
                if name.endswith(SOURCE_SUFFIXES):
                    full = os.path.join(directory, name)
                    yield os.path.relpath(full, root).replace(os.sep, '/')


def violations(root):
    found = []
    for relative in sorted(product_files(root)):
        owner = owner_of(relative)
        if owner not in ALLOWED:
            continue  # a stand-alone file directly under mail/
        with open(os.path.join(root, relative), encoding='utf-8', errors='replace') as source:
            for line in source:
                match = INCLUDE.match(line)
                if not match:
                    continue
                included = match.group(1)
                beside = os.path.normpath(os.path.join(os.path.dirname(relative), included))
                if '/' not in included:
                    # Beside the file, or a generated header (tasqui_h.h, clipnet_h.h).
                    continue
                if os.path.exists(os.path.join(root, beside)) and not included.startswith('..'):
                    target = beside.replace(os.sep, '/')
                else:
                    target = os.path.normpath(included).replace(os.sep, '/')
                target_owner = owner_of(target)
                if target_owner == owner or target_owner in ALLOWED[owner]:
                    continue
                if (relative, included) in KNOWN_PENDING:
                    continue
                found.append((relative, included))
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
    found = violations(os.path.abspath(root))
    for relative, included in found:
        print(f'{relative}: includes "{included}", outside what its folder may include')
    if found:
        print(f'{len(found)} cross-folder include(s) break the layout rule')
        return 1
    print('every product folder includes only what the layout allows')
    return 0


if __name__ == '__main__':
    sys.exit(main())
