#!/usr/bin/python3
"""Puts a library GUID back into a type library that widl wrote with its last two bytes
overwritten (widl does so when the library declares a dispinterface without members).
Usage: fix_typelib_guid.py TLB GUID. Fails when the GUID's first 14 bytes are not there."""
import sys
import uuid

path, guid = sys.argv[1], uuid.UUID(sys.argv[2]).bytes_le
data = bytearray(open(path, 'rb').read())
at = data.find(guid[:14])
if at < 0:
    sys.exit('fix_typelib_guid: %s not found in %s' % (sys.argv[2], path))
data[at:at + 16] = guid
open(path, 'wb').write(bytes(data))
