#!/usr/bin/env python3
"""Installs each package the way a user would and runs it from there, away from the
build tree:

    install_check.py --linux BUILD_DIR
    install_check.py --windows BUILD_DIR...      (Wine; one fresh prefix for all)

For every package: its name carries the version of CMakeLists.txt (with "-dev+COMMIT",
the commit of the sources, or "-dev" where git does not know it, unless the build is the
release), it holds exactly the
expected files under one folder, and once unpacked into a fresh temporary folder the
plug-in loads into the stand-in shell of the build (given with --plugin, as the real
shell's "plugin /l" takes a path), shows the right load message and /?? line, and runs
VESK and @VESK on a real directory. For a zip also: the DLL is built for the zip's
architecture, and its version resource reads back through GetFileVersionInfoW (verinfo.exe
of the build). Ends with "N passed, N failed"."""
import argparse
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests"))
from wine_faults import run_once_more  # noqa: E402
TIMEOUT = 180
RESULTS = {"passed": 0, "failed": 0}


def check(name, ok, detail=""):
    if ok:
        RESULTS["passed"] += 1
        print(f"ok {name}")
    else:
        RESULTS["failed"] += 1
        print(f"FAIL {name}: {detail}")


def project_version():
    """(four-part version, major.minor.build) from project() in CMakeLists.txt."""
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        m = re.search(r"project\(vesk VERSION (\d+)\.(\d+)\.(\d+)\.(\d+)", f.read())
    if not m:
        sys.exit("install_check: no four-part version in CMakeLists.txt")
    return ".".join(m.groups()), ".".join(m.groups()[:3])


def build_version(build):
    """(four-part version, major.minor.build) as the build shows them: with the label of
    a build that is not the release, which must name the commit of the sources (or only
    "-dev" where git does not know it)."""
    full, short = project_version()
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        release = re.search(r"^VESK_RELEASE:BOOL=(ON|TRUE|1|YES)$", f.read(), re.M | re.I)
    label = ""
    if not release:
        try:
            commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short=10", "HEAD"],
                                    capture_output=True, text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            commit = ""
        label = "-dev+" + commit if commit else "-dev"
    return full + label, short + label


# Sizes that rank unambiguously; "sub" proves the walk below the top folder.
TREE = {"small.txt": 10, "mid.txt": 500, "big.txt": 3000, "sub/deeper.txt": 1500}


def make_tree(folder):
    for name, size in TREE.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(b"v" * size)


def run(argv, stdin=None, env=None):
    """(exit status, standard output, standard error) as text; status None on a hang. A
    run Wine itself failed is run once more."""
    try:
        p = run_once_more(
            lambda: subprocess.run(argv, input=stdin, capture_output=True, timeout=TIMEOUT,
                                   env=env),
            argv, lambda p: (p.stdout, p.stderr),
            lambda why: print(f"note: {why}; run again: {' '.join(argv)}"))
    except subprocess.TimeoutExpired:
        return None, "", "timed out"
    decode = lambda b: b.decode("utf-8", "replace").replace("\r\n", "\n")
    return p.returncode, decode(p.stdout), decode(p.stderr)


def check_members(label, names, root, expected):
    prefix = root + "/"
    inside = sorted(n[len(prefix):] for n in names if n.startswith(prefix) and n != prefix)
    strays = [n for n in names if not n.startswith(prefix) and n != root]
    check(f"{label}: holds {', '.join(expected)} in {root}/",
          inside == sorted(expected) and not strays, f"found {names}")


def check_readme(label, text, version):
    full, short = version
    check(f"{label}: README names version {short} and its packages, without the test's marks",
          f"Version {short} ({full})" in text and f"vesk-{short}-windows-x64.zip" in text and
          "@VESK_" not in text and "<!--" not in text,
          "version line or package names missing, or left unconfigured")


def check_runs(label, shell, plugin, data, sep, version, word, env=None):
    """The plug-in, loaded from its unpacked folder, answers as it should."""
    full, short = version
    status, out, err = run(shell + ["--plugin", plugin], stdin=b"echo loaded\n", env=env)
    check(f"{label}: load message",
          status == 0 and out.startswith(f"Vesk v{project_version()[1]} loaded.\n"),
          f"status {status}, output {out!r}, errors {err!r}")
    status, out, err = run(shell + ["--plugin", plugin, "-c", "vesk /??"], env=env)
    check(f"{label}: /?? line", out.rstrip("\n").endswith(f"Vesk  {full} ({word})"),
          f"status {status}, output ends {out[-80:]!r}, errors {err!r}")

    line = (f"vesk 3 largest L /R {data} & echo 0=%L[0,0] & echo 1=%L[1,0] & echo 2=%L[2,0]"
            f" & echo size=%L[0,1] & echo count=%_vesk & echo fn=%@vesk[{data}{sep}*.txt,S]")
    status, out, err = run(shell + ["--plugin", plugin, "-c", line], env=env)
    shown = data.replace("\\", sep) if sep == "/" else data
    want = [f"0={shown}{sep}big.txt", f"1={shown}{sep}sub{sep}deeper.txt",
            f"2={shown}{sep}mid.txt", "size=3,000", "count=3", f"fn={shown}{sep}small.txt"]
    lines = out.splitlines()
    check(f"{label}: VESK and @VESK on a real folder",
          status == 0 and all(w in lines for w in want) and
          "3 largest files vesked into L[3,3]." in lines,
          f"status {status}, output {out!r}, errors {err!r}, wanted {want}")


def linux(build, version):
    full, short = version
    packages = glob.glob(os.path.join(build, "vesk-*-linux-*.tar.gz"))
    root = f"vesk-{short}-linux-x86_64"
    check(f"linux: {root}.tar.gz built", [os.path.basename(p) for p in packages] ==
          [f"{root}.tar.gz"], f"found {packages}")
    if len(packages) != 1:
        return
    label = "linux"
    with tempfile.TemporaryDirectory(prefix="vesk-install-") as home:
        with tarfile.open(packages[0]) as archive:
            names = archive.getnames()
            check_members(label, names, root,
                          ["LICENSE.txt", "README.txt", "TakeCmd.so", "vesk.so", "vshell"])
            if f"{root}/README.txt" in names:
                check_readme(label, archive.extractfile(f"{root}/README.txt").read().decode(),
                             version)
            archive.extractall(home, filter="data")
        folder = os.path.join(home, root)
        data = os.path.join(home, "data")
        make_tree(data)
        # The unpacked vshell, not the build's: the tarball is the whole installation.
        # A path beginning with "/" would be a switch of VESK, so it goes with "\".
        check_runs(label, [os.path.join(folder, "vshell")], os.path.join(folder, "vesk.so"),
                   data.replace("/", "\\"), "/", version, "x64")


PE_MACHINES = {0x14C: "x86", 0x8664: "x64"}


def pe_machine(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ" or len(head) < 0x40:
        return None
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    if offset + 6 > len(head) or head[offset:offset + 4] != b"PE\0\0":
        return None
    return PE_MACHINES.get(struct.unpack_from("<H", head, offset + 4)[0])


def windows(builds, version):
    full, short = version
    with tempfile.TemporaryDirectory(prefix="vesk-install-") as home:
        env = dict(os.environ, WINEPREFIX=os.path.join(home, "prefix"), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        env.pop("DISPLAY", None)
        status, _, err = run(["wineboot", "-i"], env=env)
        drive_c = os.path.join(home, "prefix", "drive_c")
        check("windows: a fresh Wine prefix", status == 0 and os.path.isdir(drive_c),
              f"status {status}, errors {err[-300:]!r}")
        if not os.path.isdir(drive_c):
            return
        try:
            data = "C:\\VeskData"
            make_tree(os.path.join(drive_c, "VeskData"))
            for build in builds:
                windows_package(build, version, env, drive_c, data)
        finally:
            subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
            subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60)


def windows_package(build, version, env, drive_c, data):
    full, short = version
    packages = glob.glob(os.path.join(build, "vesk-*-windows-*.zip"))
    names = [os.path.basename(p) for p in packages]
    m = re.fullmatch(r"vesk-(.+)-windows-(x86|x64)\.zip", names[0]) if len(names) == 1 else None
    label = f"windows {m.group(2) if m else build}"
    check(f"{label}: one zip named for version {short}", m is not None and m.group(1) == short,
          f"found {names}")
    if m is None:
        return
    word = m.group(2)
    root = f"vesk-{short}-windows-{word}"
    install = os.path.join(drive_c, "Vesk-" + word)
    with zipfile.ZipFile(packages[0]) as archive:
        check_members(label, archive.namelist(), root, ["LICENSE.txt", "README.txt", "vesk.dll"])
        if f"{root}/README.txt" in archive.namelist():
            check_readme(label, archive.read(f"{root}/README.txt").decode(), version)
        archive.extractall(install)
    dll = os.path.join(install, root, "vesk.dll")
    if not os.path.isfile(dll):
        return
    check(f"{label}: vesk.dll is built for {word}", pe_machine(dll) == word,
          f"machine {pe_machine(dll)}")
    plugin = f"C:\\Vesk-{word}\\{root}\\vesk.dll"
    # The build's stand-in shell; the DLL finds TakeCmd.dll already loaded in the process.
    shell = ["wine", os.path.join(build, "vshell.exe")]
    check_runs(label, shell, plugin, data, "\\", version, word, env)

    status, out, err = run(["wine", os.path.join(build, "verinfo.exe"), plugin], env=env)
    fields = dict(l.split("=", 1) for l in out.splitlines() if "=" in l)
    numbers = project_version()[0]
    want = {"Fixed.FileVersion": numbers, "Fixed.ProductVersion": numbers, "FileVersion": full,
            "ProductVersion": full, "OriginalFilename": "vesk.dll", "ProductName": "Vesk",
            "InternalName": "vesk", "CompanyName": "The Vesk developers"}
    wrong = {k: fields.get(k) for k, v in want.items() if fields.get(k) != v}
    check(f"{label}: version resource", status == 0 and not wrong,
          f"status {status}, wrong {wrong}, output {out!r}, errors {err[-300:]!r}")
    check(f"{label}: description and copyright",
          f"({word})" in fields.get("FileDescription", "") and
          "Copyright (c) 2026 The Vesk developers" in fields.get("LegalCopyright", ""),
          f"{fields.get('FileDescription')!r}, {fields.get('LegalCopyright')!r}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--linux", metavar="BUILD")
    parser.add_argument("--windows", nargs="+", metavar="BUILD", default=[])
    args = parser.parse_args()
    if args.linux:
        build = os.path.abspath(args.linux)
        linux(build, build_version(build))
    if args.windows:
        builds = [os.path.abspath(b) for b in args.windows]
        versions = {build_version(b) for b in builds}
        check("windows: the builds call themselves alike", len(versions) == 1, f"{versions}")
        windows(builds, versions.pop())
    print(f"{RESULTS['passed']} passed, {RESULTS['failed']} failed")
    return 1 if RESULTS["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
