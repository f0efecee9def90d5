#!/usr/bin/env python3
"""Times the publishing of a full result (VESK 4096 rows, /V table) by two builds side by
side and prints the ratio, so the cost of checking and escaping every row is seen against
a reference build rather than against a clock.

    publish_bench.py --reference OLD/vshell --candidate NEW/vshell [--files N] [--runs N]

Names are plain or hold the shell's special characters (half each). Standard library only.
"""

import argparse
import os
import statistics
import subprocess
import tempfile
import time

SPECIAL = "&^%()[],;=!'`~$ "


def make_tree(root, count):
    for i in range(count):
        if i % 2:
            name = "f%05d %s%s.txt" % (i, SPECIAL[i % len(SPECIAL)], SPECIAL[(i * 7) % len(SPECIAL)])
        else:
            name = "plain%05d.txt" % i
        with open(os.path.join(root, name), "wb") as f:
            f.truncate(1 + i)


def run_once(shell, root):
    start = time.perf_counter()
    subprocess.run([shell, "-c", "vesk /V:200 4096 list *"], cwd=root, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reference", required=True)
    parser.add_argument("--candidate", required=True)
    parser.add_argument("--files", type=int, default=6000)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as root:
        make_tree(root, args.files)
        times = {"reference": [], "candidate": []}
        for _ in range(args.runs):
            # Alternate, so that a busy moment of the machine hits both alike.
            times["reference"].append(run_once(os.path.abspath(args.reference), root))
            times["candidate"].append(run_once(os.path.abspath(args.candidate), root))
    ref = statistics.median(times["reference"])
    cand = statistics.median(times["candidate"])
    print("files %d, runs %d" % (args.files, args.runs))
    print("reference median %.3f s" % ref)
    print("candidate median %.3f s" % cand)
    print("candidate / reference %.2f" % (cand / ref))


if __name__ == "__main__":
    main()
