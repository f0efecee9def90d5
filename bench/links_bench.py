#!/usr/bin/env python3
"""What a directory link costs a VESK scan as links grow in number, side by side with
find -L (which follows every link and remembers nothing).

Two trees for each count N (cached, each with a completion stamp):
  - out: N links to N distinct folders outside the tree, one file each (a tree of links
    into a package store): every link is followed and enters a tree of its own;
  - in:  N folders of one file each and N links to them from a sibling folder: every
    link leads into the walked tree and is not followed.
For each it prints the medians of vshell -c "vesk 3 largest L /R TREE" and of
find -L TREE -type f, paired and interleaved, their ratio, the microseconds per link, and
at the end how the scan's time grows from the smallest N to the largest, against how N
grows: a walk whose cost per link does not grow with the links shows the two close.
With --wine PATH it also times that Windows build of vshell.exe under Wine (the
environment's WINEPREFIX), without a reference: there the growth is what tells.

  python3 bench/links_bench.py [--links 5000,20000,80000] [--runs 5] [--vshell PATH]
                               [--wine build/win32/vshell.exe]
"""
import argparse
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from walk_bench import ROOT, backslashed, paired, timed, wine_path  # noqa: E402


def make_trees(work, n):
    base = os.path.join(work, f"links-{n}")
    stamp = os.path.join(base, ".complete")
    if not os.path.exists(stamp):
        subprocess.run(["rm", "-rf", base], check=True)
        for d in ("store", "out", "in/store", "in/links"):
            os.makedirs(os.path.join(base, d))
        for i in range(n):
            for store in ("store", "in/store"):
                pkg = os.path.join(base, store, f"pkg{i:06d}")
                os.mkdir(pkg)
                with open(os.path.join(pkg, "f.txt"), "wb") as f:
                    f.write(b"x" * (i % 977))
            os.symlink(os.path.join(base, "store", f"pkg{i:06d}"),
                       os.path.join(base, "out", f"l{i:06d}"))
            os.symlink(os.path.join("..", "store", f"pkg{i:06d}"),
                       os.path.join(base, "in", "links", f"l{i:06d}"))
        open(stamp, "w").close()
    return {"out": os.path.join(base, "out"), "in": os.path.join(base, "in")}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--links", default="5000,20000,80000")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--vshell", default=os.path.join(ROOT, "build/native/vshell"))
    ap.add_argument("--wine", help="a Windows build's vshell.exe, timed under Wine too")
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "vesk-bench"))
    a = ap.parse_args()
    counts = sorted(int(x) for x in a.links.split(","))
    if a.runs < 1 or not counts or counts[0] < 1:
        sys.exit("links_bench: --runs and every count of --links must be at least 1")
    os.makedirs(a.work, exist_ok=True)
    print(f"{'tree':<5} {'links':>7} {'vesk s':>8} {'find -L s':>10} {'ratio':>6} "
          f"{'us/link':>8}")
    times = {}
    for n in counts:
        trees = make_trees(a.work, n)
        for shape in ("out", "in"):
            tree = trees[shape]
            check = subprocess.run([a.vshell, "-c", f"vesk 3 largest L /R {backslashed(tree)}"],
                                   capture_output=True, text=True)
            if check.returncode != 0 or "vesked into" not in check.stdout:
                sys.exit(f"links_bench: the scan of {tree} failed:\n{check.stdout}{check.stderr}")
            vesk, ref, ratio, _, _ = paired(
                [a.vshell, "-c", f"vesk 3 largest L /R {backslashed(tree)}"],
                ["find", "-L", tree, "-type", "f"], a.runs)
            times[(shape, n)] = vesk
            print(f"{shape:<5} {n:>7} {vesk:>8.3f} {ref:>10.3f} {ratio:>6.2f} "
                  f"{vesk / n * 1e6:>8.1f}")
            if a.wine:
                wine = timed(["wine", a.wine, "-c", f"vesk 3 largest L /R {wine_path(tree)}"],
                             a.runs)
                times[("wine " + shape, n)] = wine
                print(f"{'':<5} {'':>7} {wine:>8.3f} under Wine, {wine / n * 1e6:.1f} us/link")
    if len(counts) > 1:
        lo, hi = counts[0], counts[-1]
        for shape in ("out", "in") + (("wine out", "wine in") if a.wine else ()):
            print(f"{shape}: links x{hi / lo:.0f}, scan time "
                  f"x{times[(shape, hi)] / times[(shape, lo)]:.1f}")


if __name__ == "__main__":
    main()
