#!/usr/bin/env python3
"""Writes a zip archive whose bytes depend only on the files put into it.

  make_zip.py --epoch SECONDS --folder NAME [--version V] [--stage DIR] OUT.zip NAME=PATH...

Every entry lies under NAME/ in the order given, dated SOURCE_DATE_EPOCH
(SECONDS, taken as UTC), with the attributes of a plain Windows file, and is
deflated at level 9. Nothing of the machine that packs it goes in: no owner,
no permissions, no time of packing, no path outside the archive.

Entries ending in ".txt" are text for Windows: "@VERSION@" becomes V, line
ends become CR LF and a UTF-8 byte-order mark is put in front, so that
Notepad on any Windows opens them as UTF-8 (without the mark, older Notepads
take a file for the system's ANSI code page).

With --stage, every entry is also written to DIR/NAME as it is packed (the
text files converted), for the installers made from the same files.

Prints the archive's listing with sizes, its size and its SHA-256.
"""

import argparse
import hashlib
import os
import sys
import time
import zipfile

FILE_ATTRIBUTE_ARCHIVE = 0x20
MS_DOS = 0  # "made by" system: the archive is for Windows


def windows_text(data, version):
    text = data.decode("utf-8")
    if text.startswith("\ufeff"):
        text = text[1:]
    text = text.replace("\r\n", "\n").replace("@VERSION@", version)
    return b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--epoch", type=int, required=True)
    ap.add_argument("--folder", required=True)
    ap.add_argument("--version", default="")
    ap.add_argument("--stage")
    ap.add_argument("out")
    ap.add_argument("entries", nargs="+", metavar="NAME=PATH")
    args = ap.parse_args()

    # DOS dates start in 1980 and keep even seconds.
    stamp = time.gmtime(max(args.epoch, 315532800))[:6]
    tmp = args.out + ".tmp"
    rows = []
    with zipfile.ZipFile(tmp, "w") as zf:
        for entry in args.entries:
            name, sep, path = entry.partition("=")
            if not sep or not name or "/" in name:
                sys.exit(f"make_zip.py: bad entry {entry!r}: expected NAME=PATH")
            with open(path, "rb") as f:
                data = f.read()
            if name.endswith(".txt"):
                data = windows_text(data, args.version)
            info = zipfile.ZipInfo(f"{args.folder}/{name}", date_time=stamp)
            info.create_system = MS_DOS
            info.external_attr = FILE_ATTRIBUTE_ARCHIVE
            info.compress_type = zipfile.ZIP_DEFLATED
            zf.writestr(info, data, compresslevel=9)
            rows.append((info.filename, len(data)))
            if args.stage:
                os.makedirs(args.stage, exist_ok=True)
                with open(os.path.join(args.stage, name), "wb") as f:
                    f.write(data)
    os.replace(tmp, args.out)

    with open(args.out, "rb") as f:
        archive = f.read()
    with zipfile.ZipFile(args.out) as zf:
        packed = {i.filename: i.compress_size for i in zf.infolist()}
    print(f"{'bytes':>10}  {'packed':>10}  name")
    for name, size in rows:
        print(f"{size:>10}  {packed[name]:>10}  {name}")
    print(f"{len(archive):>10}  {'':>10}  {os.path.basename(args.out)}")
    print(f"sha256 {hashlib.sha256(archive).hexdigest()}")


if __name__ == "__main__":
    main()
