#!/usr/bin/env python3
"""Random trees with random directory links, walked by VESK and by a reference walk.

    tests/stress/link_graphs.py [--seeds N] [--first K] SHELL...

SHELL starts the stand-in shell (build/native/vshell, or wine build/win32/vshell.exe).
Each seed makes a tree and a folder beside it, files in both, and links from anywhere to
anywhere (into the tree, back up, out of it, hidden, relative and absolute, loops). The
reference follows every link and lists each folder once by its device and inode; VESK
must find each of those files exactly once: none lost, none twice. In half the seeds one
folder is refused at its open (the listing test switch, by its real name, so through a
link to it too): what lies below it is found only through links, and must be. Every seed runs with
and without /N:D, and natively also with the Linux layer's resolved paths refused
(VESK_TEST_NO_RESOLVED_PATHS), where links are told by identity alone. Prints "N passed,
N failed" at the end.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from wine_faults import run_once_more  # noqa: E402


def make_tree(top, rnd):
    dirs = [os.path.join(top, "root"), os.path.join(top, "outside")]
    for d in dirs:
        os.makedirs(d)
    for i in range(rnd.randint(3, 25)):
        d = os.path.join(rnd.choice(dirs), ("." if rnd.random() < 0.15 else "") + f"d{i}")
        os.mkdir(d)
        dirs.append(d)
    n = 0
    for d in dirs:
        for _ in range(rnd.randint(0, 3)):
            n += 1
            with open(os.path.join(d, f"f{n}.dat"), "w") as f:
                f.write("x" * n)
    for k in range(rnd.randint(1, 12)):
        source, target = rnd.choice(dirs), rnd.choice(dirs + [top])
        name = os.path.join(source, ("." if rnd.random() < 0.2 else "") + f"l{k}")
        if not os.path.lexists(name):
            os.symlink(os.path.relpath(target, source) if rnd.random() < 0.5 else target, name)
    folders = [os.path.basename(d) for d in dirs[2:]]
    return rnd.choice(folders) if folders and rnd.random() < 0.5 else None


def reference(root, skip_hidden, denied):
    """Identities of the files reachable from root, following links, each folder once;
    the folder named denied is not listed, whatever path leads to it."""
    found, seen = set(), set()

    def walk(d):
        if denied is not None and os.path.basename(os.path.realpath(d)) == denied:
            return
        st = os.stat(d)
        if (st.st_dev, st.st_ino) in seen:
            return
        seen.add((st.st_dev, st.st_ino))
        for name in os.listdir(d):
            path = os.path.join(d, name)
            try:
                st = os.stat(path)
            except OSError:
                continue
            if os.path.isdir(path):
                if not (skip_hidden and name.startswith(".")):
                    walk(path)
            elif name.endswith(".dat"):
                found.add((st.st_dev, st.st_ino))

    walk(root)
    return found


def run(command, env):
    """The command's exit status and standard output; a run Wine itself failed is run
    once more. Into files, not pipes: a Wine service the shell starts inherits its
    standard handles and outlives it."""
    def once():
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(command, stdout=out, stderr=err, env=env, timeout=600)
            out.seek(0)
            err.seek(0)
            return done.returncode, out.read().decode("utf-8", "replace"), err.read()
    return run_once_more(once, command, lambda result: result[1:],
                         lambda why: print("note: %s; run again" % why))[:2]


def vesk_finds(shell, wine, root, flags, env):
    """Identities of the files one scan stores, each read back from the array."""
    def shown(path):
        return "Z:" + path.replace("/", "\\") if wine else path.replace("/", "\\")

    def local(name):
        return name[2:].replace("\\", "/") if wine else name

    scan = f"vesk 4096 largest L /R {flags} {shown(root)}\\*.dat"
    status, first = run(shell + ["-c", scan], env)
    m = re.search(r"^(\d+) largest files? vesked", first, re.M)
    count = int(m.group(1)) if m else 0
    batch = root + ".btm"
    with open(batch, "w") as f:
        f.write("\r\n".join([scan, "setdos /x-45678"] +
                            [f"echo {i}={{%L[{i},0]}}" for i in range(count)]) + "\r\n")
    names = re.findall(r"^\d+=\{(.*?)\}\r?$", run(shell + [shown(batch)], env)[1], re.M)
    ids = []
    for name in names:
        st = os.stat(local(name))
        ids.append((st.st_dev, st.st_ino))
    return ids, status


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seeds", type=int, default=40)
    parser.add_argument("--first", type=int, default=0)
    parser.add_argument("shell", nargs="+")
    a = parser.parse_args()
    wine = os.path.basename(a.shell[0]) in ("wine", "wine64")
    modes = [{}] if wine else [{}, {"VESK_TEST_NO_RESOLVED_PATHS": "1"}]
    passed = failed = 0
    work = tempfile.mkdtemp(prefix="vesk-links-")
    try:
        for seed in range(a.first, a.first + a.seeds):
            top = os.path.join(work, f"t{seed}")
            os.mkdir(top)
            denied = make_tree(top, random.Random(seed))
            root = os.path.join(top, "root")
            faults = {"VESK_TEST_LISTING_FAULTS": f"{denied}:open=5"} if denied else {}
            for flags in ("", "/N:D"):
                want = reference(root, flags == "/N:D", denied)
                for extra in modes:
                    env = dict(os.environ, **extra, **faults)
                    got, rc = vesk_finds(a.shell, wine, root, flags, env)
                    if rc == 0 and len(got) == len(set(got)) and set(got) == want:
                        passed += 1
                    else:
                        failed += 1
                        print(f"seed {seed} {flags or '(no flags)'} {extra} {faults}: status {rc}, "
                              f"{len(want)} files reachable, {len(set(got))} found, "
                              f"{len(got) - len(set(got))} twice")
            shutil.rmtree(top)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
