#!/usr/bin/env python3
"""Reads or sets the file version in a Windows program's version resource (VS_FIXEDFILEINFO).

  pe_version.py FILE            prints the file version, e.g. 1.3.0.0
  pe_version.py FILE A.B.C.D    writes that version into the file in place

The setup test makes "the next version" of the installed programs with it, and reads back
which version a setup left on disk.
"""
import struct
import sys

SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def locate(data):
    at = data.find(SIGNATURE)
    if at < 0:
        sys.exit(f"{sys.argv[1]}: no version resource")
    return at + 8  # after dwSignature and dwStrucVersion: dwFileVersionMS, dwFileVersionLS


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    at = locate(data)
    if len(sys.argv) == 2:
        ms, ls = struct.unpack_from("<II", data, at)
        print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
        return
    a, b, c, d = (int(x) for x in sys.argv[2].split("."))
    struct.pack_into("<II", data, at, (a << 16) | b, (c << 16) | d)
    with open(path, "wb") as f:
        f.write(data)


main()
