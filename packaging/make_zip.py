#!/usr/bin/env python3
"""Writes a reproducible zip: the entries in the order given, each stamped with
SOURCE_DATE_EPOCH (UTC) and plain permissions, so that the same files always
give the same bytes.

    make_zip.py OUT.zip NAME=PATH [NAME=PATH ...]
"""
import os
import sys
import time
import zipfile


def main():
    out, entries = sys.argv[1], sys.argv[2:]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    # Zip times start in 1980 and have a two-second step.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for entry in entries:
            name, path = entry.split("=", 1)
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read())


if __name__ == "__main__":
    main()
