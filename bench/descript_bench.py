#!/usr/bin/env python3
"""Time of a description filter (/I) over one directory whose files are all described.

Makes two directories, of 16,000 and of 64,000 empty files, each with a DESCRIPT.ION that
describes every file, runs `vesk /NI 10 largest L DIR\\* /I*match*` over each (warm, the
median of several runs), and prints the times and their ratio. Four times the files
should take about four times as long (linear); a shell that reads the description
file again for every file would take about sixteen times as long.

  python3 bench/descript_bench.py [--runs 3] [--vshell build/native/vshell]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def make_dir(path, files):
    stamp = os.path.join(path, ".complete")
    if os.path.exists(stamp):
        return
    os.makedirs(path, exist_ok=True)
    lines = []
    for i in range(files):
        name = f"f{i:06d}.txt"
        open(os.path.join(path, name), "w").close()
        lines.append(f"{name} {'match' if i % 7 == 0 else 'other'} description {i}\r\n")
    with open(os.path.join(path, "DESCRIPT.ION"), "w") as f:
        f.writelines(lines)
    open(stamp, "w").close()


def backslashed(path):
    # An argument that begins with "/" is a switch of the command.
    return path.replace("/", "\\")


def median_time(command, runs):
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--vshell", default=os.path.join(ROOT, "build/native/vshell"))
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "vesk-descript-bench"))
    a = ap.parse_args()
    results = {}
    for files in (16_000, 64_000):
        d = os.path.join(a.work, f"d{files}")
        make_dir(d, files)
        command = [a.vshell, "-c", f"vesk /NI 10 largest L {backslashed(d)}\\* /I*match*"]
        results[files] = median_time(command, a.runs)
        print(f"{files:>6} described files: {results[files]:.3f} s", flush=True)
    ratio = results[64_000] / results[16_000]
    print(f"ratio 64,000 / 16,000: {ratio:.2f} (linear: about 4; quadratic: about 16)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
