#!/usr/bin/env python3
"""Speed and memory of a VESK scan, side by side with reference walks.

Builds a synthetic tree (fixed seed: sparse files with random sizes up to 10 MB and random
times over five years, in about one directory per twenty files, up to 8 levels), then runs,
warm, several times each, and prints the median and the ratios:
  - vshell -c "vesk 10 largest L /R TREE" (and newest),
  - find TREE -type f -printf '%s %p\\n' | sort -rn | head -n 10,
  - a minimal single-threaded C walk (readdir + fstatat, top 10 in an array): cwalk.c.
With --memory it also measures the peak resident size of the whole vshell process
(/usr/bin/time -v) for n = 10 on two tree sizes and for n = 4096.

  python3 bench/walk_bench.py [--files 200000] [--runs 5] [--memory]
"""
import argparse
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIVE_YEARS = 5 * 365 * 86400


def make_tree(top, files, seed=1):
    """About one directory per twenty files, up to 8 levels deep."""
    stamp = os.path.join(top, ".complete")
    if os.path.exists(stamp):
        return
    os.makedirs(top, exist_ok=True)
    rnd = random.Random(seed)
    dirs = [top]
    ndirs = max(1, files // 20)
    for i in range(ndirs):
        parent = rnd.choice(dirs)
        if parent.count(os.sep) - top.count(os.sep) >= 8:
            parent = top
        d = os.path.join(parent, f"d{i:05d}")
        os.mkdir(d)
        dirs.append(d)
    now = int(time.time())
    for i in range(files):
        p = os.path.join(rnd.choice(dirs), f"f{i:07d}.dat")
        with open(p, "wb") as f:
            f.truncate(rnd.randrange(0, 10_000_000))
        t = now - rnd.randrange(0, FIVE_YEARS)
        os.utime(p, (t, t))
    open(stamp, "w").close()


def backslashed(path):
    # An argument that begins with "/" is a switch of the command: absolute Linux paths
    # are written with backslashes.
    return path.replace("/", "\\")


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(cmd, runs, shell=False, cpu=None):
    """Median wall time; with cpu (a list), the median CPU time (user + system, all
    processes of the command) is appended to it."""
    out, spent = [], []
    for _ in range(runs):
        c0 = children_cpu()
        t0 = time.perf_counter()
        subprocess.run(cmd, shell=shell, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=False)
        out.append(time.perf_counter() - t0)
        spent.append(children_cpu() - c0)
    if cpu is not None:
        cpu.append(statistics.median(spent))
    return statistics.median(out)


def peak_kb(cmd):
    r = subprocess.run(["/usr/bin/time", "-v"] + cmd, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    for line in r.stderr.splitlines():
        if "Maximum resident set size" in line:
            return int(line.split(":")[1])
    return -1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--files", type=int, default=200_000)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--memory", action="store_true")
    ap.add_argument("--vshell", default=os.path.join(ROOT, "build/native/vshell"))
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "vesk-bench"))
    a = ap.parse_args()

    os.makedirs(a.work, exist_ok=True)
    cwalk = os.path.join(a.work, "cwalk")
    subprocess.run(["cc", "-O2", "-o", cwalk, os.path.join(ROOT, "bench/cwalk.c")], check=True)
    tree = os.path.join(a.work, f"tree-{a.files}")
    print(f"tree: {tree} ({a.files} files)", flush=True)
    make_tree(tree, a.files)

    vesk = lambda crit, n=10: [a.vshell, "-c", f"vesk {n} {crit} L /R {backslashed(tree)}"]
    # Warm the cache once, and check that the answers agree.
    subprocess.run(vesk("largest"), stdout=subprocess.DEVNULL)
    rows = []
    vesk_cpu, find_cpu = [], []
    for crit in ("largest", "newest"):
        v = timed(vesk(crit), a.runs, cpu=vesk_cpu)
        c = timed([cwalk, tree] + (["newest"] if crit == "newest" else []), a.runs)
        rows.append((crit, v, c))
    # The pipeline's three processes may run on three cores at once; the CPU time
    # says what it costs in all.
    f = timed(f"find {tree} -type f -printf '%s %p\\n' | sort -rn | head -n 10", a.runs, True,
              cpu=find_cpu)

    print(f"\nmedian of {a.runs} runs, warm cache")
    print(f"{'criterion':10} {'vesk s':>8} {'C walk s':>9} {'vesk/C':>7}")
    for crit, v, c in rows:
        print(f"{crit:10} {v:8.3f} {c:9.3f} {v / c:7.2f}")
    v = rows[0][1]
    print(f"find|sort|head {f:.3f} s; find/vesk (largest) {f / v:.2f}")
    print(f"CPU time, user + system: vesk (largest) {vesk_cpu[0]:.3f} s, "
          f"find|sort|head {find_cpu[0]:.3f} s, ratio {find_cpu[0] / vesk_cpu[0]:.2f}")
    print(f"targets: vesk/C <= 1.20, find/vesk >= 1.70")

    if a.memory:
        small = os.path.join(a.work, "tree-20000")
        big = os.path.join(a.work, "tree-1000000")
        make_tree(small, 20_000)
        make_tree(big, 1_000_000)
        s = peak_kb([a.vshell, "-c", f"vesk 10 largest L /R {backslashed(small)}"])
        b = peak_kb([a.vshell, "-c", f"vesk 10 largest L /R {backslashed(big)}"])
        w = peak_kb([a.vshell, "-c", f"vesk 4096 largest L /R {backslashed(big)}"])
        print(f"\npeak RSS n=10: 20,000 files {s} kB, 1,000,000 files {b} kB, "
              f"difference {b - s} kB (target under 1024)")
        print(f"peak RSS n=4096, 1,000,000 files: {w} kB, {w - b} kB over n=10 (target under 16384)")


if __name__ == "__main__":
    sys.exit(main())
