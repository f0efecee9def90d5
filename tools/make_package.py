#!/usr/bin/env python3
"""Packs the files a user downloads into one .zip or .tar.gz whose bytes depend on the
files alone: entries sorted by name, one fixed time (SOURCE_DATE_EPOCH, else the time of
the commit, else a fixed date), modes 0644 or 0755, no owner names.

    make_package.py --source DIR --root NAME --output FILE.zip|FILE.tar.gz
                    [--replaces GLOB] NAME=PATH...

Every NAME lands in the folder NAME of --root inside the archive. --replaces names, as a
pattern in the output's folder, the packages of earlier builds of the same kind (whose
names carry another commit): they are removed once the new one is written, so the folder
holds one package of each kind."""
import argparse
import glob
import gzip
import io
import os
import subprocess
import sys
import tarfile
import time
import zipfile

FALLBACK_EPOCH = 1767225600  # 2026-01-01 00:00:00 UTC, for a tree outside git


def content(name, path, crlf):
    """The bytes a member holds: the file's, with CRLF line ends for a text under --crlf."""
    with open(path, "rb") as f:
        data = f.read()
    if crlf and name.lower().endswith(".txt"):
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return data


def source_epoch(source):
    """Seconds since 1970 for every entry's time."""
    if os.environ.get("SOURCE_DATE_EPOCH", "").isdigit():
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout.strip()
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return FALLBACK_EPOCH


def members(pairs):
    """(name in archive, path, mode) sorted by name; exits on a missing file."""
    out = []
    for pair in pairs:
        name, sep, path = pair.partition("=")
        if not sep or not name or not os.path.isfile(path):
            sys.exit(f"make_package: no file for {pair!r}")
        mode = 0o755 if os.access(path, os.X_OK) and not name.lower().endswith(
            (".txt", ".md", ".dll")) else 0o644
        out.append((name, path, mode))
    names = [m[0] for m in out]
    if len(set(names)) != len(names):
        sys.exit("make_package: a name is given twice")
    return sorted(out)


def write_zip(root, entries, epoch, crlf):
    # Zip times are local-free DOS fields from 1980 on, two-second steps.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    stamp = stamp[:5] + (stamp[5] - stamp[5] % 2,)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, path, mode in entries:
            info = zipfile.ZipInfo(f"{root}/{name}", date_time=stamp)
            info.create_system = 3
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, content(name, path, crlf), compresslevel=9)
    return buffer.getvalue()


def write_tar_gz(root, entries, epoch, crlf):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        folder = tarfile.TarInfo(root)
        folder.type, folder.mode, folder.mtime = tarfile.DIRTYPE, 0o755, epoch
        archive.addfile(folder)
        for name, path, mode in entries:
            data = content(name, path, crlf)
            info = tarfile.TarInfo(f"{root}/{name}")
            info.size, info.mode, info.mtime = len(data), mode, epoch
            archive.addfile(info, io.BytesIO(data))
    packed = io.BytesIO()
    # The gzip header would otherwise carry the output's name and the time of packing.
    with gzip.GzipFile(filename="", mode="wb", fileobj=packed, mtime=epoch,
                       compresslevel=9) as z:
        z.write(raw.getvalue())
    return packed.getvalue()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--crlf", action="store_true",
                        help="write the .txt members with CRLF line ends (for Notepad)")
    parser.add_argument("--replaces", metavar="GLOB",
                        help="earlier packages of this kind, in the output's folder")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    entries = members(args.files)
    epoch = source_epoch(args.source)
    if args.output.endswith(".zip"):
        data = write_zip(args.root, entries, epoch, args.crlf)
    elif args.output.endswith(".tar.gz"):
        data = write_tar_gz(args.root, entries, epoch, args.crlf)
    else:
        sys.exit("make_package: the output ends in .zip or .tar.gz")
    # Written whole under a temporary name, so a failed run leaves no half archive.
    temporary = args.output + ".part"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, args.output)
    if args.replaces:
        folder = os.path.dirname(os.path.abspath(args.output))
        for stale in glob.glob(os.path.join(glob.escape(folder), args.replaces)):
            if os.path.abspath(stale) != os.path.abspath(args.output):
                os.remove(stale)
    return 0


if __name__ == "__main__":
    sys.exit(main())
