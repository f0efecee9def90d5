#!/usr/bin/env python3
"""Speed and memory of a VESK scan, side by side with reference walks.

Builds a synthetic tree (fixed seed: sparse files with random sizes up to 10 MB and random
times over five years, in about one directory per twenty files, up to 8 levels), then runs,
warm, several times each, and prints the medians and the ratios:
  - vshell -c "vesk 10 largest L /R TREE" (and newest, where the command's default
    attributes leave directories out too), paired and interleaved with
  - the fastest plain one-thread C walk (cwalk.c: directories told by their entry type,
    only the other entries stat'ed, top 10 in an array);
  - vshell -c "vesk /A: 10 newest L /R TREE", where directories are candidates, paired
    with the C walk that stats and ranks directories too (cwalk TREE newest dirs), and
  - find TREE -type f -printf '%s %p\\n' | sort -rn | head -n 10.
With --strace it prints the system calls of Vesk and of the C walk side by side
(strace -c), for both kinds of scan. With --wine it runs the Windows x64 build under Wine: the opens per
directory of Vesk and of a bare FindFirstFileExW walk (find_bench.c) as Wine's own trace
counts them (WINEDEBUG=+file, on a tree of 1,000 directories), and Vesk's scan time
against that bare walk, paired, with the shell's start-up taken out (a batch of five
scans less a batch of one, over four). --wine-only skips the Linux figures. With --memory
it also measures the peak resident size of the whole vshell process (/usr/bin/time -v) for
n = 10 on two tree sizes and n = 4096 (bench/memory_bench.py measures it across tree
shapes).

With --against OTHER/vshell it also pairs each Vesk scan with the same scan by another
build, and prints their ratios (this build / the other).

  python3 bench/walk_bench.py [--files 200000] [--runs 5] [--strace] [--wine] [--memory]
                              [--against OTHER/vshell]
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


def peak_kb(cmd, env=None):
    r = subprocess.run(["/usr/bin/time", "-v"] + cmd, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True, env=env)
    for line in r.stderr.splitlines():
        if "Maximum resident set size" in line:
            return int(line.split(":")[1])
    return -1


def wall(cmd, env=None, cpu=None):
    """Wall time of cmd; with cpu (a list), its processor time (user + system) is
    appended to it."""
    c0 = children_cpu()
    t0 = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False,
                   env=env)
    spent = time.perf_counter() - t0
    if cpu is not None:
        cpu.append(children_cpu() - c0)
    return spent


def paired(first, second, runs):
    """Medians of first and second and of their per-pair ratio, run alternately, each
    pair in turn starting with the other, so that a change in the machine's load falls
    on both; and the median of the pairs' ratio of processor time, which waiting for a
    busy processor does not inflate."""
    a, b, ratios, cpu_ratios = [], [], [], []
    for r in range(runs):
        cx, cy = [], []
        if r % 2 == 0:
            x = wall(first, cpu=cx)
            y = wall(second, cpu=cy)
        else:
            y = wall(second, cpu=cy)
            x = wall(first, cpu=cx)
        a.append(x)
        b.append(y)
        ratios.append(x / y)
        cpu_ratios.append(cx[0] / cy[0])
    spread = (max(ratios) - min(ratios)) / statistics.median(ratios)
    return (statistics.median(a), statistics.median(b), statistics.median(ratios), spread,
            statistics.median(cpu_ratios))


SYSCALLS = ("openat", "getdents64", "statx", "newfstatat", "fstat", "close")


def syscall_counts(cmd, work, name):
    """Calls per system call of cmd (all its processes), from strace -c."""
    out = os.path.join(work, f"strace-{name}.txt")
    subprocess.run(["strace", "-f", "-c", "-o", out] + cmd, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    counts = {}
    with open(out) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 5 and parts[-1] != "total" and parts[3].isdigit():
                counts[parts[-1]] = int(parts[3])
            elif len(parts) >= 4 and parts[-1] == "total":
                counts["total"] = int(parts[3])
    return counts


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def count_directories(tree):
    return sum(1 for _ in os.walk(tree))


def wine_trace_counts(cmd, tree, work, name):
    """Opens of paths inside tree, and every NtQueryInformationFile and device or file
    system control call, in Wine's own trace of cmd."""
    log = os.path.join(work, f"wine-{name}.log")
    env = dict(os.environ, WINEDEBUG="+file")
    with open(log, "w") as f:
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=f, env=env, check=False)
    inside = wine_path(tree).replace("\\", "\\\\")
    opens = queries = controls = 0
    with open(log, errors="replace") as f:
        for line in f:
            if "trace:file:NtCreateFile" in line and inside in line:
                opens += 1
            elif "NtQueryInformationFile" in line and "=>" not in line:
                queries += 1
            elif "NtDeviceIoControlFile" in line or "NtFsControlFile" in line:
                controls += 1
    os.remove(log)
    return opens, queries, controls


def wine_section(a, work):
    vshell = a.wine_vshell
    if not os.path.exists(vshell):
        print(f"\n--wine: no {vshell}; build the win64 preset first")
        return
    bare = os.path.join(work, "find_bench.exe")
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-municode", "-o", bare,
                    os.path.join(ROOT, "bench/find_bench.c")], check=True)
    quiet = dict(os.environ, WINEDEBUG="-all")

    small = os.path.join(work, "tree-20000")
    make_tree(small, 20_000)
    dirs = count_directories(small)
    scan = f"vesk 10 largest L /R {wine_path(small)}"
    base = wine_trace_counts(["wine", vshell, "-c", "rem"], small, work, "base")
    v = wine_trace_counts(["wine", vshell, "-c", scan], small, work, "vesk")
    # find_bench walks once to warm up and once timed: two walks.
    f = wine_trace_counts(["wine", bare, wine_path(small), "1", "bare"], small, work, "bare")
    print(f"\nWine ({dirs} directories, WINEDEBUG=+file): opens inside the tree per "
          f"directory, and the file information queries and device or file system controls "
          f"of the whole run against the shell's alone (vshell -c rem)")
    print(f"{'':24} {'opens':>6} {'queries':>8} {'controls':>9}")
    print(f"{'vesk win64':24} {v[0] / dirs:6.2f} {v[1]:8d} {v[2]:9d}")
    print(f"{'shell alone':24} {'':6} {base[1]:8d} {base[2]:9d}")
    print(f"{'bare FindFirstFileExW':24} {f[0] / 2 / dirs:6.2f}")
    print("goal: vesk opens per directory 1.00")

    tree = os.path.join(work, f"tree-{a.files}")
    one = os.path.join(work, "one.btm")
    more = os.path.join(work, "five.btm")
    line = f"vesk 10 largest L /R {wine_path(tree)}\n"
    extra = 4
    with open(one, "w") as h:
        h.write(line)
    with open(more, "w") as h:
        h.write(line * (1 + extra))
    wall(["wine", vshell, one], quiet)  # warm
    scans, walks, ratios = [], [], []
    for r in range(a.runs):
        t1 = wall(["wine", vshell, one], quiet)
        t5 = wall(["wine", vshell, more], quiet)
        out = subprocess.run(["wine", bare, wine_path(tree), str(extra), "bare"], env=quiet,
                             capture_output=True, text=True).stdout
        w = statistics.median(float(part.split()[0]) for part in out.split("run ")[1:]
                              for part in [part.split(":", 1)[1]])
        scan = (t5 - t1) / extra
        scans.append(scan)
        walks.append(w)
        ratios.append(scan / w)
    print(f"\nWine, {a.files} files, median of {a.runs} paired runs, start-up taken out:")
    print(f"vesk win64 scan {statistics.median(scans):.3f} s, bare FindFirstFileExW walk "
          f"{statistics.median(walks):.3f} s, vesk/bare {statistics.median(ratios):.2f} "
          f"(pairs from {min(ratios):.2f} to {max(ratios):.2f}); goal <= 1.15")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--files", type=int, default=200_000)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--memory", action="store_true")
    ap.add_argument("--strace", action="store_true")
    ap.add_argument("--wine", action="store_true")
    ap.add_argument("--wine-only", action="store_true")
    ap.add_argument("--vshell", default=os.path.join(ROOT, "build/native/vshell"))
    ap.add_argument("--against", help="another build's vshell, paired scan by scan")
    ap.add_argument("--wine-vshell", default=os.path.join(ROOT, "build/win64/vshell.exe"))
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "vesk-bench"))
    a = ap.parse_args()

    os.makedirs(a.work, exist_ok=True)
    if a.wine_only:
        make_tree(os.path.join(a.work, f"tree-{a.files}"), a.files)
        wine_section(a, a.work)
        return 0
    cwalk = os.path.join(a.work, "cwalk")
    subprocess.run(["cc", "-O2", "-o", cwalk, os.path.join(ROOT, "bench/cwalk.c")], check=True)
    tree = os.path.join(a.work, f"tree-{a.files}")
    print(f"tree: {tree} ({a.files} files)", flush=True)
    make_tree(tree, a.files)

    vesk = lambda crit, n=10: [a.vshell, "-c", f"vesk {n} {crit} L /R {backslashed(tree)}"]
    # Directories are candidates only where the attributes say so; then both walks stat
    # them.
    scans = (("largest", "largest", [cwalk, tree]),
             ("newest", "newest", [cwalk, tree, "newest"]),
             ("newest /A:", "/A: newest", [cwalk, tree, "newest", "dirs"]))
    # Warm the cache once.
    subprocess.run(vesk("largest"), stdout=subprocess.DEVNULL)
    subprocess.run([cwalk, tree], stdout=subprocess.DEVNULL)
    rows = []
    for name, crit, ref in scans:
        rows.append((name,) + paired(vesk(crit), ref, a.runs))
    find_cpu = []
    f = timed(f"find {tree} -type f -printf '%s %p\\n' | sort -rn | head -n 10", a.runs, True,
              cpu=find_cpu)
    vesk_cpu = []
    timed(vesk("largest"), a.runs, cpu=vesk_cpu)

    print(f"\nmedian of {a.runs} paired runs, warm cache")
    print(f"{'criterion':10} {'vesk s':>8} {'C walk s':>9} {'vesk/C':>7} {'spread':>7} "
          f"{'CPU vesk/C':>11}")
    for crit, v, c, ratio, spread, cpu_ratio in rows:
        print(f"{crit:10} {v:8.3f} {c:9.3f} {ratio:7.2f} {spread:7.2f} {cpu_ratio:11.2f}")
    load = os.getloadavg()
    print(f"load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} at the end")
    v = rows[0][1]
    print(f"find|sort|head {f:.3f} s; find/vesk (largest) {f / v:.2f}")
    print(f"CPU time, user + system: vesk (largest) {vesk_cpu[0]:.3f} s, "
          f"find|sort|head {find_cpu[0]:.3f} s, ratio {find_cpu[0] / vesk_cpu[0]:.2f}")
    print("goals: vesk/C <= 1.10, find/vesk >= 1.70 (spread: the pairs' ratios, max - min "
          "over the median, says how noisy the machine was; CPU vesk/C: the pairs' ratio of "
          "processor time, user and system)")

    if a.against:
        other = lambda crit: [a.against, "-c", f"vesk 10 {crit} L /R {backslashed(tree)}"]
        print(f"\nthis build against {a.against}, median of {a.runs} paired runs:")
        print(f"{'criterion':10} {'this s':>8} {'other s':>8} {'ratio':>7} {'spread':>7} "
              f"{'CPU ratio':>10}")
        for name, crit, _ in scans:
            t, o, ratio, spread, cpu_ratio = paired(vesk(crit), other(crit), a.runs)
            print(f"{name:10} {t:8.3f} {o:8.3f} {ratio:7.2f} {spread:7.2f} {cpu_ratio:10.2f}")

    if a.strace:
        shell = syscall_counts([a.vshell, "-c", "rem"], a.work, "shell")
        counted = []
        for name, crit, ref in (scans[0], scans[2]):
            counted.append(syscall_counts(vesk(crit), a.work, "vesk"))
            counted.append(syscall_counts(ref, a.work, "cwalk"))
        dirs = count_directories(tree)
        print(f"\nsystem calls (strace -c), {a.files} files in {dirs} directories; vesk less "
              "the shell's own start-up:")
        print(f"{'':12} {'largest':>19} {'newest /A:':>19}")
        print(f"{'call':12} {'vesk':>9} {'C walk':>9} {'vesk':>9} {'C walk':>9}")
        for name in SYSCALLS + ("total",):
            cells = [c.get(name, 0) - (shell.get(name, 0) if i % 2 == 0 else 0)
                     for i, c in enumerate(counted)]
            print(f"{name:12} " + " ".join(f"{n:9d}" for n in cells))

    if a.wine:
        wine_section(a, a.work)

    if a.memory:
        small = os.path.join(a.work, "tree-20000")
        big = os.path.join(a.work, "tree-1000000")
        make_tree(small, 20_000)
        make_tree(big, 1_000_000)
        scan = lambda n, top: [a.vshell, "-c", f"vesk {n} largest L /R {backslashed(top)}"]
        # Interleaved, so that the machine's load falls on all three alike.
        runs = {"small": [], "big": [], "wide": []}
        for _ in range(3):
            runs["small"].append(peak_kb(scan(10, small)))
            runs["big"].append(peak_kb(scan(10, big)))
            runs["wide"].append(peak_kb(scan(4096, big)))
        s, b, w = (statistics.median(runs[k]) for k in ("small", "big", "wide"))
        print(f"\npeak RSS (median of 3) n=10: 20,000 files {s:.0f} kB, 1,000,000 files "
              f"{b:.0f} kB, difference {b - s:.0f} kB (target under 1024)")
        print(f"peak RSS n=4096, 1,000,000 files: {w:.0f} kB, {w - b:.0f} kB over n=10 "
              f"(target under 16384)")


if __name__ == "__main__":
    sys.exit(main())
