#!/usr/bin/env python3
"""Checks the Windows 11 menu package as Windows would read it, with independent readers
(zipfile, ElementTree, hashlib) rather than the code that wrote it.

usage: msix_test.py PACKAGE.msix CA_CERT.pem STAGE_FOLDER

STAGE_FOLDER holds the x64 programs the package is registered for (carvex.exe, verbhook.dll).
Then tools/make_msix.py packs files of sizes around its 64 KiB blocks, for the same checks.
"""
import base64
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid
import zipfile
import zlib
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NS = {
    "m": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
    "uap": "http://schemas.microsoft.com/appx/manifest/uap/windows10",
    "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
    "d4": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/4",
    "d5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
    "b": "http://schemas.microsoft.com/appx/2010/blockmap",
    "ct": "http://schemas.openxmlformats.org/package/2006/content-types",
}
NOT_IN_BLOCK_MAP = {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}


def entry_data(raw, info):
    """An entry's data from its own local header, without zipfile's CRC check, so that a
    damaged block is reported by its hash."""
    name_length, extra_length = struct.unpack("<HH", raw[info.header_offset + 26 : info.header_offset + 30])
    lfh_size = 30 + name_length + extra_length
    data = raw[info.header_offset + lfh_size : info.header_offset + lfh_size + info.compress_size]
    return (zlib.decompress(data, -15) if info.compress_type == zipfile.ZIP_DEFLATED else data), lfh_size


def structure_problems(path):
    """Block map against the zip, [Content_Types].xml against every part."""
    problems = []
    raw = open(path, "rb").read()
    archive = zipfile.ZipFile(path)
    infos = {i.filename: i for i in archive.infolist()}
    if len(infos) != len(archive.infolist()):
        problems.append("a name occurs twice in the zip")
    block_map = ET.fromstring(archive.read("AppxBlockMap.xml"))
    if block_map.tag != "{%s}BlockMap" % NS["b"] or block_map.get("HashMethod") != "http://www.w3.org/2001/04/xmlenc#sha256":
        problems.append("block map: wrong root or hash method")
    listed = set()
    for file in block_map.findall("b:File", NS):
        name = file.get("Name").replace("\\", "/")
        listed.add(name)
        if name not in infos:
            problems.append(f"{name}: in the block map, not in the zip")
            continue
        data, lfh_size = entry_data(raw, infos[name])
        if int(file.get("Size")) != len(data) or int(file.get("LfhSize")) != lfh_size:
            problems.append(f"{name}: Size or LfhSize differs from the zip")
        blocks = file.findall("b:Block", NS)
        expected = [data[at : at + 65536] for at in range(0, len(data), 65536)]
        if len(blocks) != len(expected):
            problems.append(f"{name}: {len(blocks)} blocks listed, {len(expected)} in the data")
        for number, (block, chunk) in enumerate(zip(blocks, expected)):
            if base64.b64decode(block.get("Hash")) != hashlib.sha256(chunk).digest():
                problems.append(f"{name}: block {number} does not match its hash")
            # A stored block has no compressed size of its own.
            if (block.get("Size") is None) != (infos[name].compress_type == zipfile.ZIP_STORED):
                problems.append(f"{name}: block {number} Size does not fit the compression")
    for name in sorted(set(infos) - NOT_IN_BLOCK_MAP - listed):
        problems.append(f"{name}: in the zip, not in the block map")
    types = ET.fromstring(archive.read("[Content_Types].xml"))
    defaults = {d.get("Extension").lower() for d in types.findall("ct:Default", NS)}
    overrides = {o.get("PartName") for o in types.findall("ct:Override", NS)}
    for name in infos:
        if name != "[Content_Types].xml" and "/" + name not in overrides and name.rpartition(".")[2].lower() not in defaults:
            problems.append(f"{name}: no content type")
    return problems


def manifest_problems(path, stage):
    """The manifest names what the setup installs: the class verbhook.dll serves, the program
    whose own manifest claims this identity, and logos that are in the package."""
    problems = []
    archive = zipfile.ZipFile(path)
    manifest = ET.fromstring(archive.read("AppxManifest.xml"))
    identity = manifest.find("m:Identity", NS).attrib
    if identity.get("Version") != "1.3.0.0" or identity.get("ProcessorArchitecture") != "x64":
        problems.append(f"identity: {identity}")
    application = manifest.find("m:Applications/m:Application", NS)
    exe = open(os.path.join(stage, application.get("Executable")), "rb").read()
    # The application manifest is a resource of plain UTF-8 text inside the program.
    claim = re.search(rb"<msix\s[^>]*/>", exe)
    claim = ET.fromstring(claim.group(0)).attrib if claim else {}
    if (claim.get("publisher"), claim.get("packageName"), claim.get("applicationId")) != (
            identity.get("Publisher"), identity.get("Name"), application.get("Id")):
        problems.append(f"{application.get('Executable')} claims {claim}, the package is {identity}")
    # The package has one application: any other program claiming it could be refused a start.
    for other in ("carvex-cli.exe", "verbhook.exe", "verbhookw.exe", "verbhook.dll"):
        if re.search(rb"<msix\s", open(os.path.join(stage, other), "rb").read()):
            problems.append(f"{other} claims the package identity too")
    server = manifest.find(".//com:Extension[@Category='windows.comServer']//com:Class", NS)
    dll = open(os.path.join(stage, server.get("Path")), "rb").read()
    if uuid.UUID(server.get("Id")).bytes_le not in dll or server.get("ThreadingModel") != "STA":
        problems.append(f"{server.get('Path')} serves no class {server.get('Id')} (STA)")
    menus = manifest.findall(".//d4:Extension[@Category='windows.fileExplorerContextMenus']/d4:FileExplorerContextMenus/d5:ItemType", NS)
    verbs = {(m.get("Type"), v.get("Clsid")) for m in menus for v in m.findall("d5:Verb", NS)}
    if verbs != {("*", server.get("Id")), ("Directory", server.get("Id"))}:
        problems.append(f"menu item types: {sorted(verbs)}")
    logos = [manifest.findtext("m:Properties/m:Logo", namespaces=NS)]
    visual = application.find("uap:VisualElements", NS)
    logos += [visual.get("Square150x150Logo"), visual.get("Square44x44Logo")]
    for logo in logos:
        if logo.replace("\\", "/") not in archive.namelist():
            problems.append(f"{logo}: named by the manifest, not in the package")
    return problems


def main():
    package, cert, stage = sys.argv[1:4]
    failures = [f"package: {p}" for p in structure_problems(package) + manifest_problems(package, stage)]
    if subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", package], capture_output=True).returncode:
        failures.append("package: osslsigncode verify fails")
    with tempfile.TemporaryDirectory() as work:
        # None, one byte, one block less, exact, one more, several.
        os.mkdir(os.path.join(work, "in"))
        shutil.copyfile(os.path.join(ROOT, "packaging/msix/AppxManifest.xml"), os.path.join(work, "in/AppxManifest.xml"))
        for size in (0, 1, 65535, 65536, 65537, 3 * 65536 + 7):
            with open(os.path.join(work, "in", f"{size}.png"), "wb") as file:
                file.write(os.urandom(size))
        built = os.path.join(work, "sizes.msix")
        subprocess.run([sys.executable, os.path.join(ROOT, "tools/make_msix.py"), os.path.join(work, "in"), built], check=True)
        failures += [f"made from the boundary sizes: {p}" for p in structure_problems(built)]
    print("\n".join(failures) or "msix: every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
