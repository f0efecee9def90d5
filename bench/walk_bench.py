#!/usr/bin/env python3
"""Speed and memory of a VESK scan, side by side with reference walks.

Two tree shapes (fixed seed: sparse files with random sizes up to 10 MB and random times
over five years; --shapes picks them, --files sizes both):
  - short: about one directory per twenty files, each a random earlier one's child up to
    8 levels, files spread at random; names of 6 to 12 characters;
  - long: exactly twenty files a folder, folders three to a parent, level by level, to
    depth 8 at 200,000 files (10,000 folders); names of 40 to 60 characters, words of a
    small vocabulary, so that neighbours share their first characters.
On each it runs, warm, several times each, and prints the medians and the ratios:
  - vshell -c "vesk 10 largest L /R TREE" (and newest, where the command's default
    attributes leave directories out too), paired and interleaved with
  - the fastest plain one-thread C walk (cwalk.c: directories opened through their
    parent's descriptor and told by their entry type, one fstatat per other entry, top 10
    in an array);
  - vshell -c "vesk /A: 10 newest L /R TREE", where directories are candidates, paired
    with the C walk that stats and ranks directories too (cwalk TREE newest dirs), and
  - find TREE -type f -printf '%s %p\\n' | sort -rn | head -n 10.
With --strace it prints the system calls of Vesk and of the C walk side by side
(strace -c), for both kinds of scan on each shape. With --wine it runs the Windows x64
build under Wine: the opens per directory of Vesk and of a bare FindFirstFileExW walk
(find_bench.c) as Wine's own trace counts them (WINEDEBUG=+file, on a tree of 1,000
directories), and Vesk's scan time against that bare walk, paired, with the shell's
start-up taken out (a batch of five scans less a batch of one, over four). --wine-only
skips the Linux figures. With --memory it also measures the peak resident size of the
whole vshell process (/usr/bin/time -v) for n = 10 on two tree sizes and n = 4096
(bench/memory_bench.py measures it across tree shapes).

With --chains it walks chains of one folder per level ("d", so two characters a level),
a file every 100 levels and the largest file at the bottom, natively at --chain-depths
(2,000 and 8,000: 8,000 levels make a path of some 16,040 characters, under the walk's
limit of 16,383) and with --chain-wine under Wine with each Windows build there is (win32,
win64) at --chain-wine-depths (250 and 1,000). It prints each scan's wall time and peak
resident size (/usr/bin/time, median of --chain-runs), the time less the shell's start-up
(an empty folder's scan), and the growth from the shallowest chain to the deepest: the
ratio of times for the ratio of depths, and the memory per level. Each scan is checked to
have found the bottom file, by its full path. `find` walks the native chains beside.
Under Wine, export WINEPREFIX=$PWD/build/wineprefix WINEDEBUG=-all first.

With --against OTHER/vshell it also pairs each Vesk scan with the same scan by another
build, and prints their ratios (this build / the other).

  python3 bench/walk_bench.py [--files 200000] [--runs 5] [--shapes short,long]
                              [--strace] [--wine] [--memory] [--against OTHER/vshell]
  python3 bench/walk_bench.py --chains-only [--chain-wine] [--chain-depths 2000,8000]
                              [--chain-wine-depths 250,1000] [--chain-runs 3]
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


WORDS = ("annual", "report", "draft", "final", "backup", "project", "invoice", "summary",
         "photo", "scan", "meeting", "notes", "budget", "export", "archive", "version")
MAX_LONG_DEPTH = 8


def long_name(rnd, suffix):
    """40 to 60 characters: words of WORDS joined by "_", then suffix."""
    want = rnd.randrange(40, 61)
    words = []
    while len("_".join(words)) + len(suffix) < want:
        words.append(rnd.choice(WORDS))
    return "_".join(words)[:want - len(suffix)] + suffix


def make_long_tree(top, files, seed=1):
    """Twenty files a folder; folders three to a parent, level by level, none below depth
    8 (past 9,841 folders a folder of depth 7 takes a fourth child)."""
    stamp = os.path.join(top, ".complete")
    if os.path.exists(stamp):
        return
    if os.path.exists(top):
        shutil.rmtree(top)
    os.makedirs(top)
    rnd = random.Random(seed)
    ndirs = max(1, files // 20)
    dirs = [(top, 0)]
    for parent, depth in dirs:  # grows while it is read: breadth first
        if len(dirs) >= ndirs:
            break
        if depth >= MAX_LONG_DEPTH:
            continue
        for _ in range(3):
            if len(dirs) >= ndirs:
                break
            d = os.path.join(parent, long_name(rnd, f"_d{len(dirs):05d}"))
            os.mkdir(d)
            dirs.append((d, depth + 1))
    fourth = (d for d, depth in list(dirs) if depth == MAX_LONG_DEPTH - 1)
    while len(dirs) < ndirs:
        d = os.path.join(next(fourth), long_name(rnd, f"_d{len(dirs):05d}"))
        os.mkdir(d)
        dirs.append((d, MAX_LONG_DEPTH))
    now = int(time.time())
    for i in range(files):
        p = os.path.join(dirs[i % ndirs][0], long_name(rnd, f"_{i:07d}.dat"))
        with open(p, "wb") as f:
            f.truncate(rnd.randrange(0, 10_000_000))
        t = now - rnd.randrange(0, FIVE_YEARS)
        os.utime(p, (t, t))
    open(stamp, "w").close()


SHAPES = {"short": (make_tree, "tree-{}"), "long": (make_long_tree, "long-{}")}


def shape_tree(work, shape, files):
    """The tree of this shape and size under work, made if it is not there yet."""
    make, name = SHAPES[shape]
    tree = os.path.join(work, name.format(files))
    make(tree, files)
    return tree


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


CHAIN_STEP = 100  # a file every this many levels of a chain
PATH_LIMIT = 16383  # the walk's longest path, in characters
# What the issue of linear walks promises, from the shallowest chain to the deepest:
# (build, the largest ratio of times, the most memory per level in kB or None).
CHAIN_LIMITS = {"native": (6.0, 3.0), "win64": (6.0, None)}


def make_chain(top, depth):
    """depth folders named d, one inside the next, made through open descriptors (the
    path passes PATH_MAX); a file f every CHAIN_STEP levels, as many bytes as its level,
    and bottom.dat at the bottom, the largest. The stamp lies beside the top."""
    stamp = top + ".complete"
    if os.path.exists(stamp):
        return
    if os.path.exists(top):
        shutil.rmtree(top)
    os.makedirs(top)
    fd = os.open(top, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for level in range(1, depth + 1):
            os.mkdir("d", dir_fd=fd)
            inner = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = inner
            if level % CHAIN_STEP == 0:
                made = os.open("f", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd)
                os.ftruncate(made, level)
                os.close(made)
        made = os.open("bottom.dat", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd)
        os.ftruncate(made, 10_000_000)
        os.close(made)
    finally:
        os.close(fd)
    open(stamp, "w").close()


def bottom_path(top, depth):
    return top + "/d" * depth + "/bottom.dat"


def found_bottom(out, top, depth):
    """True when the scan named the chain's bottom file by its full path (either separator,
    any case, with or without a drive): the echo of the array's cell prints it, or, past the
    shell's 8,191 characters of a command line, the message that the row was not stored."""
    want = bottom_path(top, depth).lower()
    for line in out.splitlines():
        line = line.strip().replace("\\", "/").lower().replace("z:/", "/")
        if line == want or f'"{want}"' in line:
            return True
    return False


def chain_scan(cmd, env=None):
    """Wall seconds, processor seconds (user and system), peak resident kB
    (/usr/bin/time) and what cmd printed on either stream."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as kept:
        t0 = time.perf_counter()
        r = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", kept.name] + cmd,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env,
                           text=True, errors="replace", check=False)
        spent = time.perf_counter() - t0
        fields = kept.read().split()[-3:]
    try:
        return spent, float(fields[1]) + float(fields[2]), int(fields[0]), r.stdout
    except (IndexError, ValueError):
        return spent, -1.0, -1, r.stdout


def chain_builds(a):
    """(label, command before -c, path as the build writes it, environment) of each
    build the chains run on."""
    builds = []
    if not a.chain_wine_only:
        builds.append(("native", [a.vshell], backslashed, None))
    if a.chain_wine or a.chain_wine_only:
        quiet = dict(os.environ, WINEDEBUG="-all")
        # A server kept up between the scans (it leaves 60 s after the last of them), so
        # that no scan pays for starting one; where one is up already this does nothing.
        subprocess.run(["wineserver", "-p60"], env=quiet, stderr=subprocess.DEVNULL,
                       check=False)
        for name in a.chain_wine_builds.split(","):
            exe = os.path.join(ROOT, "build", name, "vshell.exe")
            if os.path.exists(exe):
                builds.append((name, ["wine", exe], wine_path, quiet))
            else:
                print(f"\n--chain-wine: no {exe}; build the {name} preset first")
    return builds


def chain_section(a, work):
    empty = os.path.join(work, "chain-0")
    os.makedirs(empty, exist_ok=True)
    for label, prefix, as_path, env in chain_builds(a):
        depths = [int(d) for d in (a.chain_depths if label == "native"
                                   else a.chain_wine_depths).split(",")]
        # Once untimed: Wine starts its services with the first program of a server.
        chain_scan(prefix + ["-c", "rem"], env)
        starts = [chain_scan(prefix + ["-c", f"vesk 1 largest L /R {as_path(empty)}"], env)
                  for _ in range(a.chain_runs)]
        start = statistics.median(t for t, _, _, _ in starts)
        start_cpu = statistics.median(c for _, c, _, _ in starts)
        rows = []
        for depth in depths:
            top = os.path.join(work, f"chain-{depth}")
            longest = len(as_path(bottom_path(top, depth)))
            if longest > PATH_LIMIT:
                print(f"chain of {depth} levels: its bottom path has {longest} characters, "
                      f"over the walk's {PATH_LIMIT}; choose a shorter --work")
                continue
            make_chain(top, depth)
            scan = f"vesk 1 largest L /R {as_path(top)} & echo %L[0,0]"
            times, cpus, peaks, found = [], [], [], True
            for _ in range(a.chain_runs):
                t, cpu, kb, out = chain_scan(prefix + ["-c", scan], env)
                times.append(t)
                cpus.append(cpu)
                peaks.append(kb)
                found = found and found_bottom(out, top, depth)
            find = (statistics.median(wall(["find", top, "-type", "f"])
                                      for _ in range(a.chain_runs))
                    if label == "native" else None)
            rows.append((depth, statistics.median(times), statistics.median(cpus),
                         statistics.median(peaks), find, found, longest))
        load = os.getloadavg()
        print(f"\nchains of one folder per level, {label} build, median of {a.chain_runs} "
              f"runs; start-up (an empty folder's scan) {start:.3f} s, processor "
              f"{start_cpu:.2f} s; load average {load[0]:.2f}")
        print(f"{'depth':>6} {'path':>6} {'vesk s':>8} {'less start':>10} {'CPU s':>7} "
              f"{'peak kB':>8} {'find s':>7} {'bottom found':>13}")
        native = label == "native"
        for depth, t, cpu, kb, find, found, longest in rows:
            f = f"{find:7.3f}" if find is not None else f"{'':7}"
            # Under Wine the program runs in a process /usr/bin/time does not wait for:
            # its processor time is not told, and the peak may be the launcher's.
            c = f"{cpu:7.2f}" if native else f"{'-':>7}"
            print(f"{depth:6d} {longest:6d} {t:8.3f} {t - start:10.3f} {c} {kb:8d} {f} "
                  f"{'yes' if found else 'NO':>13}")
        if start > 1.0:
            print("the start-up takes over a second: is the Wine server restarted for each "
                  "scan (WINEPREFIX)?")
        if len(rows) < 2:
            continue
        (d0, t0, c0, m0, *_), (d1, t1, c1, m1, *_) = rows[0], rows[-1]
        ratio = t1 / t0
        # Less the start-up only where the shallowest scan is mostly walking.
        net = (f"{(t1 - start) / (t0 - start):.1f}" if t0 - start > t0 / 4 else "n/a")
        per_level = (m1 - m0) / (d1 - d0)
        limit_time, limit_memory = CHAIN_LIMITS.get(label, (None, None))
        verdict = lambda value, limit: ("" if limit is None else
                                        " PASS" if value <= limit else " FAIL")
        print(f"growth {d0} -> {d1} levels ({d1 / d0:.1f} times the depth): time "
              f"{ratio:.1f} times (less start-up {net}"
              + (f"; processor time {c1 / max(c0, 0.01):.1f} times)" if native else ")")
              + (f", limit {limit_time:g}{verdict(ratio, limit_time)}" if limit_time else "")
              + (f"; memory {per_level:.2f} kB per level" if native else "")
              + (f", limit {limit_memory:g}{verdict(per_level, limit_memory)}"
                 if limit_memory else ""))


def shape_scans(a, cwalk, tree):
    """The three paired rows of one tree, find|sort|head and its processor times."""
    vesk = lambda crit: [a.vshell, "-c", f"vesk 10 {crit} L /R {backslashed(tree)}"]
    # Directories are candidates only where the attributes say so; then both walks stat
    # them.
    scans = (("largest", "largest", [cwalk, tree]),
             ("newest", "newest", [cwalk, tree, "newest"]),
             ("newest /A:", "/A: newest", [cwalk, tree, "newest", "dirs"]))
    # Warm the cache once.
    subprocess.run(vesk("largest"), stdout=subprocess.DEVNULL)
    subprocess.run([cwalk, tree], stdout=subprocess.DEVNULL)
    rows = [(name,) + paired(vesk(crit), ref, a.runs) for name, crit, ref in scans]
    find_cpu, vesk_cpu = [], []
    f = timed(f"find {tree} -type f -printf '%s %p\\n' | sort -rn | head -n 10", a.runs, True,
              cpu=find_cpu)
    timed(vesk("largest"), a.runs, cpu=vesk_cpu)
    return scans, rows, f, find_cpu[0], vesk_cpu[0]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--files", type=int, default=200_000)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--shapes", default="short,long", help="short, long or both")
    ap.add_argument("--memory", action="store_true")
    ap.add_argument("--strace", action="store_true")
    ap.add_argument("--wine", action="store_true")
    ap.add_argument("--wine-only", action="store_true")
    ap.add_argument("--chains", action="store_true", help="the chains too, natively")
    ap.add_argument("--chains-only", action="store_true", help="only the chains, natively")
    ap.add_argument("--chain-wine", action="store_true",
                    help="the chains under Wine too, with each of --chain-wine-builds")
    ap.add_argument("--chain-wine-only", action="store_true",
                    help="only the chains, and only under Wine")
    ap.add_argument("--chain-depths", default="2000,8000")
    ap.add_argument("--chain-wine-depths", default="250,1000")
    ap.add_argument("--chain-wine-builds", default="win32,win64")
    ap.add_argument("--chain-runs", type=int, default=3)
    ap.add_argument("--vshell", default=os.path.join(ROOT, "build/native/vshell"))
    ap.add_argument("--against", help="another build's vshell, paired scan by scan")
    ap.add_argument("--wine-vshell", default=os.path.join(ROOT, "build/win64/vshell.exe"))
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "vesk-bench"))
    a = ap.parse_args()

    os.makedirs(a.work, exist_ok=True)
    if a.chains_only or a.chain_wine_only:
        chain_section(a, a.work)
        return 0
    if a.wine_only:
        make_tree(os.path.join(a.work, f"tree-{a.files}"), a.files)
        wine_section(a, a.work)
        return 0
    cwalk = os.path.join(a.work, "cwalk")
    subprocess.run(["cc", "-O2", "-o", cwalk, os.path.join(ROOT, "bench/cwalk.c")], check=True)
    shapes = [shape for shape in a.shapes.split(",") if shape]
    for shape in shapes:
        if shape not in SHAPES:
            ap.error(f"--shapes: {shape} is none of {', '.join(SHAPES)}")
    results = []
    for shape in shapes:
        tree = shape_tree(a.work, shape, a.files)
        print(f"tree: {tree} ({a.files} files, {count_directories(tree)} directories)",
              flush=True)
        results.append((shape, tree) + shape_scans(a, cwalk, tree))

    print(f"\nmedian of {a.runs} paired runs, warm cache")
    print(f"{'shape':6} {'criterion':10} {'vesk s':>8} {'C walk s':>9} {'vesk/C':>7} "
          f"{'spread':>7} {'CPU vesk/C':>11}")
    for shape, _, _, rows, _, _, _ in results:
        for crit, v, c, ratio, spread, cpu_ratio in rows:
            print(f"{shape:6} {crit:10} {v:8.3f} {c:9.3f} {ratio:7.2f} {spread:7.2f} "
                  f"{cpu_ratio:11.2f}")
    load = os.getloadavg()
    print(f"load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} at the end")
    for shape, _, _, rows, f, find_cpu, vesk_cpu in results:
        v = rows[0][1]
        print(f"{shape}: find|sort|head {f:.3f} s; find/vesk (largest) {f / v:.2f}; CPU "
              f"time, user + system: vesk (largest) {vesk_cpu:.3f} s, find|sort|head "
              f"{find_cpu:.3f} s, ratio {find_cpu / vesk_cpu:.2f}")
    print("goals: vesk/C <= 1.10, find/vesk >= 1.70 (spread: the pairs' ratios, max - min "
          "over the median, says how noisy the machine was; CPU vesk/C: the pairs' ratio of "
          "processor time, user and system)")

    if a.against:
        print(f"\nthis build against {a.against}, median of {a.runs} paired runs:")
        print(f"{'shape':6} {'criterion':10} {'this s':>8} {'other s':>8} {'ratio':>7} "
              f"{'spread':>7} {'CPU ratio':>10}")
        for shape, tree, scans, _, _, _, _ in results:
            for name, crit, _ in scans:
                scan = lambda vshell: [vshell, "-c",
                                       f"vesk 10 {crit} L /R {backslashed(tree)}"]
                t, o, ratio, spread, cpu_ratio = paired(scan(a.vshell), scan(a.against),
                                                        a.runs)
                print(f"{shape:6} {name:10} {t:8.3f} {o:8.3f} {ratio:7.2f} {spread:7.2f} "
                      f"{cpu_ratio:10.2f}")

    if a.strace:
        shell = syscall_counts([a.vshell, "-c", "rem"], a.work, "shell")
        for shape, tree, scans, _, _, _, _ in results:
            counted = []
            for name, crit, ref in (scans[0], scans[2]):
                counted.append(syscall_counts(
                    [a.vshell, "-c", f"vesk 10 {crit} L /R {backslashed(tree)}"], a.work,
                    "vesk"))
                counted.append(syscall_counts(ref, a.work, "cwalk"))
            dirs = count_directories(tree)
            print(f"\nsystem calls (strace -c), {shape} shape, {a.files} files in {dirs} "
                  "directories; vesk less the shell's own start-up:")
            print(f"{'':12} {'largest':>19} {'newest /A:':>19}")
            print(f"{'call':12} {'vesk':>9} {'C walk':>9} {'vesk':>9} {'C walk':>9}")
            for name in SYSCALLS + ("total",):
                cells = [c.get(name, 0) - (shell.get(name, 0) if i % 2 == 0 else 0)
                         for i, c in enumerate(counted)]
                print(f"{name:12} " + " ".join(f"{n:9d}" for n in cells))

    if a.wine:
        wine_section(a, a.work)

    if a.chains or a.chain_wine:
        chain_section(a, a.work)

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
