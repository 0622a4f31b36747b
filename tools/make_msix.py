#!/usr/bin/env python3
"""Writes an unsigned Windows app package (.msix) from a folder: its files (AppxManifest.xml and
what it names), then AppxBlockMap.xml and [Content_Types].xml, in one zip.

usage: make_msix.py FOLDER OUTPUT.msix

The files the block map lists are stored, not deflated: they are a manifest and a few PNG
logos, which deflate would hardly shrink, and stored data keeps the block map free of
per-block compressed sizes. osslsigncode signs the result, adding AppxSignature.p7x and its
content type.
"""
import base64
import hashlib
import io
import os
import re
import struct
import sys
import zipfile
from xml.sax.saxutils import quoteattr

BLOCK = 65536
BLOCKMAP_NS = "http://schemas.microsoft.com/appx/2010/blockmap"
SHA256 = "http://www.w3.org/2001/04/xmlenc#sha256"
CONTENT_TYPES_NS = "http://schemas.openxmlformats.org/package/2006/content-types"
# The package's own parts have content types of their own; every other file gets one by its
# extension, and a file whose extension is not here stops the build rather than ship untyped.
OVERRIDES = {
    "AppxManifest.xml": "application/vnd.ms-appx.manifest+xml",
    "AppxBlockMap.xml": "application/vnd.ms-appx.blockmap+xml",
}
BY_EXTENSION = {"png": "image/png", "jpg": "image/jpeg", "jpeg": "image/jpeg"}
# Part names are URIs; names made of these characters need no escaping and read the same in
# the zip, in the block map and in the manifest.
PLAIN_NAME = re.compile(r"[A-Za-z0-9._-]+(/[A-Za-z0-9._-]+)*")
# A fixed time stamp: the same sources give the same package, byte for byte.
STAMP = (2026, 1, 1, 0, 0, 0)


def package_files(folder):
    names = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for file in sorted(files):
            names.append(os.path.relpath(os.path.join(root, file), folder).replace(os.sep, "/"))
    if "AppxManifest.xml" not in names:
        sys.exit(f"make_msix.py: {folder} has no AppxManifest.xml")
    for name in names:
        if not PLAIN_NAME.fullmatch(name):
            sys.exit(f"make_msix.py: {name}: only letters, digits, '.', '_' and '-' are allowed in names")
        if name not in OVERRIDES and name.rpartition(".")[2].lower() not in BY_EXTENSION:
            sys.exit(f"make_msix.py: {name}: no content type for this extension")
    # The manifest first, as packaging tools write it; the rest in a stable order.
    names.remove("AppxManifest.xml")
    return ["AppxManifest.xml"] + names


def add_file(archive, name, data, compress_type=zipfile.ZIP_STORED):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = compress_type
    info.create_system = 0
    info.external_attr = 0
    archive.writestr(info, data)
    return info


def local_header_size(buffer, offset):
    """The size of the local header actually written at offset: the block map must give it."""
    name_length, extra_length = struct.unpack("<HH", buffer.getbuffer()[offset + 26 : offset + 30])
    return 30 + name_length + extra_length


def block_map_entry(name, data, lfh_size):
    blocks = "".join(
        '<Block Hash="%s"/>' % base64.b64encode(hashlib.sha256(data[at : at + BLOCK]).digest()).decode()
        for at in range(0, len(data), BLOCK)
    )
    # The block map names files as Windows paths.
    return '<File Name=%s Size="%d" LfhSize="%d">%s</File>' % (
        quoteattr(name.replace("/", "\\")), len(data), lfh_size, blocks)


def content_types(names):
    extensions = sorted({n.rpartition(".")[2].lower() for n in names if n not in OVERRIDES})
    defaults = "".join('<Default Extension="%s" ContentType="%s"/>' % (e, BY_EXTENSION[e]) for e in extensions)
    overrides = "".join('<Override PartName="/%s" ContentType="%s"/>' % item for item in OVERRIDES.items())
    # osslsigncode puts the signature's type in front of the closing tag, written as here.
    return ('<?xml version="1.0" encoding="UTF-8"?>\r\n<Types xmlns="%s">%s%s</Types>'
            % (CONTENT_TYPES_NS, defaults, overrides)).encode()


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_msix.py FOLDER OUTPUT.msix")
    folder, output = sys.argv[1], sys.argv[2]
    names = package_files(folder)
    buffer = io.BytesIO()
    entries = []
    with zipfile.ZipFile(buffer, "w") as archive:
        for name in names:
            with open(os.path.join(folder, *name.split("/")), "rb") as file:
                data = file.read()
            info = add_file(archive, name, data)
            entries.append(block_map_entry(name, data, local_header_size(buffer, info.header_offset)))
        block_map = ('<?xml version="1.0" encoding="UTF-8"?>\r\n<BlockMap xmlns="%s" HashMethod="%s">%s</BlockMap>'
                     % (BLOCKMAP_NS, SHA256, "".join(entries))).encode()
        add_file(archive, "AppxBlockMap.xml", block_map)
        # Deflated: osslsigncode rewrites this part to add the signature's type and always
        # deflates what it writes back, but keeps the method the entry had.
        add_file(archive, "[Content_Types].xml", content_types(names), zipfile.ZIP_DEFLATED)
    partial = output + ".part"
    with open(partial, "wb") as file:
        file.write(buffer.getvalue())
    os.replace(partial, output)


if __name__ == "__main__":
    main()
