#!/usr/bin/env python3
"""Peak resident size of a VESK scan as the tree grows.

Builds, once, trees of empty files (sizes set by ftruncate, so they take no disk blocks but
give the ranking work) under a cache folder, each with a stamp beside it written when it is
complete, so that a tree left half made by an interrupted run is made again:

  empty        the folder alone
  20k/1k       20,000 files in 1,000 folders
  50k/1k       50,000 files in 1,000 folders
  50k/50k      50,000 files in 50,000 folders, one file each
  1M/50k       1,000,000 files in 50,000 folders
  100k/1       100,000 files in one folder
  200k/10      200,000 files in a chain of ten nested folders

The folders of a tree (but the chain) hang below one another in a fixed-seed random shape
at most five levels deep. Then, for each tree, it runs

  vshell -c "vesk 10 largest L /R TREE"

under /usr/bin/time -f %M, natively and with the Windows x86 build under Wine, a few runs
each, checks that each run succeeded (exit status 0 and the summary on standard output),
and prints the median peak resident size in kB, each tree's peak against the empty
folder's, and the differences the walk promises with their limits and PASS or FAIL. It
exits 0 even when a limit fails: it measures, it does not test (1 when a scan failed, as
then nothing was measured).

  python3 bench/memory_bench.py [--runs 3] [--native-only | --wine-only]
                                [--cache /tmp/vesk-memory-trees] [--build-dir build]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from walk_bench import ROOT, backslashed, wine_path

# Changing a shape changes its stamp, so a cache made by an older version is made again.
SHAPE_VERSION = 1
MAX_DEPTH = 5

# name, files, folders below the top; "nested" puts the folders in one chain, and a tree
# with no folders keeps its files in the top folder itself.
TREES = (
    ("empty", 0, 0, False),
    ("20k/1k", 20_000, 1_000, False),
    ("50k/1k", 50_000, 1_000, False),
    ("50k/50k", 50_000, 50_000, False),
    ("1M/50k", 1_000_000, 50_000, False),
    ("100k/1", 100_000, 0, False),
    ("200k/10", 200_000, 10, True),
)

# first, second, limit in kB, two-sided (first within the limit of second) or one-sided
# (first at most the limit above second), the builds it is promised for.
PROMISES = (
    ("50k/50k", "50k/1k", 1024, True, ("native", "win32")),
    ("1M/50k", "20k/1k", 1024, True, ("native", "win32")),
    ("100k/1", "empty", 4096, False, ("native",)),
)


def folder_paths(top, folders, nested, rnd):
    """The folders of a tree, parents before children, top first."""
    paths = [top]
    if nested:
        for i in range(folders):
            paths.append(os.path.join(paths[-1], f"n{i:02d}"))
        return paths
    # Only folders above the deepest level may take children: a tree a few levels deep,
    # neither one flat list nor one chain.
    parents = [(top, 0)]
    for i in range(folders):
        parent, depth = rnd.choice(parents)
        path = os.path.join(parent, f"d{i:05d}")
        paths.append(path)
        if depth + 1 < MAX_DEPTH:
            parents.append((path, depth + 1))
    return paths


def make_tree(cache, name, files, folders, nested, seed=1):
    """Makes the tree once; returns its path and its depth in folders below the top. A
    tree without its stamp, or with the stamp of another shape, is made again."""
    slug = name.replace("/", "-in-")
    top = os.path.join(cache, slug)
    stamp = os.path.join(cache, slug + ".complete")
    wanted = f"{SHAPE_VERSION} {files} {folders} {nested} {seed}\n"
    rnd = random.Random(seed)
    paths = folder_paths(top, folders, nested, rnd)
    depth = max(p.count(os.sep) for p in paths) - top.count(os.sep)
    try:
        with open(stamp) as f:
            if f.read() == wanted:
                return top, depth
    except FileNotFoundError:
        pass
    print(f"making {name} in {top} ...", end="", flush=True)
    started = time.perf_counter()
    if os.path.exists(stamp):
        os.remove(stamp)
    shutil.rmtree(top, ignore_errors=True)
    os.mkdir(top)
    for path in paths[1:]:
        os.mkdir(path)
    holders = paths[1:] or paths
    counts = [0] * len(holders)
    if files and files == folders:
        counts = [1] * len(holders)
    elif nested:
        for i in range(files):
            counts[i % len(holders)] += 1
    else:
        for _ in range(files):
            counts[rnd.randrange(len(holders))] += 1
    number = 0
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0)
    for path, count in zip(holders, counts):
        # Names relative to the folder's descriptor spare the kernel the whole path's
        # look-up for each of a million files.
        folder = os.open(path, os.O_RDONLY | os.O_DIRECTORY)
        try:
            for _ in range(count):
                fd = os.open(f"f{number:07d}.dat", flags, 0o644, dir_fd=folder)
                os.ftruncate(fd, rnd.randrange(0, 10_000_000))
                os.close(fd)
                number += 1
        finally:
            os.close(folder)
    with open(stamp, "w") as f:
        f.write(wanted)
    print(f" {time.perf_counter() - started:.1f} s", flush=True)
    return top, depth


def summary_of(files):
    n = min(files, 10)
    return (f"{n} largest file{'s' if n > 1 else ''} vesked into L[{n},3]." if n
            else "No matching files found.")


def peak_kb(cmd, env, summary):
    """Peak resident size of cmd in kB, or an error text when it failed."""
    with tempfile.NamedTemporaryFile("r", prefix="vesk-peak-") as out:
        r = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out.name] + cmd,
                           capture_output=True, text=True, errors="replace", env=env)
        measured = out.read().strip().splitlines()
    if r.returncode != 0:
        return f"exit status {r.returncode}: {(r.stderr or r.stdout).strip()[:200]}"
    if summary not in r.stdout.splitlines():
        return f"no summary {summary!r} in: {r.stdout.strip()[-200:]}"
    try:
        return int(measured[-1])
    except (IndexError, ValueError):
        return f"/usr/bin/time gave no figure: {measured}"


def measure(builds, trees, runs):
    """Median peak kB per (build, tree), and the runs' spread (max - min) beside it; None
    where a run failed. The trees' runs interleave, so that a change in the machine's load
    falls on all of them alike."""
    peaks = {(b, name): [] for b in builds for name in trees}
    for b, (prefix, path_of, env) in builds.items():
        scan = lambda top: prefix + ["-c", f"vesk 10 largest L /R {path_of(top)}"]
        # A first run warms the page cache and, under Wine, starts its server.
        subprocess.run(scan(trees["empty"][0]), env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        for r in range(runs):
            for name, (top, files, _, _) in trees.items():
                got = peak_kb(scan(top), env, summary_of(files))
                if isinstance(got, str):
                    print(f"{b} {name}: FAILED, {got}", file=sys.stderr)
                    got = None
                peaks[(b, name)].append(got)
            print(f"{b}: run {r + 1} of {runs} done", flush=True)
    return {k: ((statistics.median(v), max(v) - min(v)) if v and None not in v else None)
            for k, v in peaks.items()}


def report(builds, trees, peaks, runs):
    print(f"\npeak resident size of vshell -c \"vesk 10 largest L /R TREE\", "
          f"median of {runs} runs, kB; spread: the runs' max - min; x: against the empty "
          "folder")
    head = f"{'tree':9} {'files':>9} {'subfolders':>10} {'depth':>5}"
    for b in builds:
        head += f" {b + ' kB':>10} {'spread':>6} {'x':>5}"
    print(head)
    for name, (_, files, folders, depth) in trees.items():
        line = f"{name:9} {files:9,d} {folders:10,d} {depth:5d}"
        for b in builds:
            got, base = peaks[(b, name)], peaks[(b, "empty")]
            if got is None:
                line += f" {'failed':>10} {'':>6} {'':>5}"
                continue
            line += f" {got[0]:10.0f} {got[1]:6.0f}"
            line += f" {got[0] / base[0]:5.2f}" if base else f" {'':>5}"
        print(line)
    print("\npromise                          build       first      second   "
          "difference   limit  ratio  verdict")
    for first, second, limit, within, held in PROMISES:
        for b in held:
            what = (f"{first} vs {second}" if within else f"{first} over {second}")
            if b not in builds:
                print(f"{what:32} {b:7} {'':>10} {'':>10} {'':>12} {limit:7d}  {'':>5}  "
                      "not run")
                continue
            if peaks[(b, first)] is None or peaks[(b, second)] is None:
                print(f"{what:32} {b:7} {'failed run':>10}")
                continue
            x, y = peaks[(b, first)][0], peaks[(b, second)][0]
            diff = x - y
            ok = abs(diff) <= limit if within else diff <= limit
            bound = f"±{limit}" if within else f"≤{limit}"
            print(f"{what:32} {b:7} {x:10.0f} {y:10.0f} {diff:+12.0f} {bound:>7}  "
                  f"{x / y:5.2f}  {'PASS' if ok else 'FAIL'}")
    load = os.getloadavg()
    print(f"\nload average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} at the end")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--native-only", action="store_true")
    ap.add_argument("--wine-only", action="store_true")
    ap.add_argument("--cache", default=os.path.join(tempfile.gettempdir(),
                                                    "vesk-memory-trees"))
    ap.add_argument("--build-dir", default=os.path.join(ROOT, "build"),
                    help="the folder holding native/vshell and win32/vshell.exe")
    a = ap.parse_args()
    if a.native_only and a.wine_only:
        ap.error("--native-only and --wine-only leave nothing to run")
    if a.runs < 1:
        ap.error("--runs must be at least 1")
    build = os.path.abspath(a.build_dir)

    # build: the command before "-c", how it writes a Linux path, its environment.
    builds = {}
    if not a.wine_only:
        builds["native"] = ([os.path.join(build, "native", "vshell")], backslashed, None)
    if not a.native_only:
        builds["win32"] = (["wine", os.path.join(build, "win32", "vshell.exe")], wine_path,
                           dict(os.environ, WINEDEBUG="-all"))
    for b, (prefix, _, _) in builds.items():
        program = prefix[-1]
        if not os.path.exists(program):
            print(f"no {program}: build the {b} preset first", file=sys.stderr)
            return 1

    os.makedirs(a.cache, exist_ok=True)
    trees = {}
    for name, files, folders, nested in TREES:
        top, depth = make_tree(a.cache, name, files, folders, nested)
        trees[name] = (top, files, folders, depth)
    peaks = measure(builds, trees, a.runs)
    report(builds, trees, peaks, a.runs)
    # A limit missed is a finding; a scan that failed leaves nothing measured.
    return 1 if None in peaks.values() else 0


if __name__ == "__main__":
    sys.exit(main())
