#!/usr/bin/env python3
"""Stress run of the whole VESK command over a large hostile tree.

    tests/stress/stress.py [--small] [--keep] SHELL...

SHELL is the command that starts the stand-in shell, e.g. build/sanitize/vshell or
wine build/win32/vshell.exe. The script builds a tree (100,000 entries; a few thousand
with --small) that mixes every printable ASCII character the file system allows in
names, 255-byte names, names that are not UTF-8 (Linux), leading and trailing blanks
and dots, symbolic-link loops, unreadable directories (run as an unprivileged user when
started as root), files removed while the walk runs and a chain of directories deeper
than the kernel opens in one call. Every criterion and every range kind runs over it.
Exact checks compare the files found, in order and byte for byte as read back from the
array, with a Python walk that ranks by the same rules; every run must end without a
crash, a hang, a sanitizer report or shell memory left allocated. Prints "N passed, N
failed" at the end.
"""

import argparse
import calendar
import datetime
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from wine_faults import run_once_more  # noqa: E402

BASE_TIME = calendar.timegm((2018, 1, 1, 0, 0, 0))
TOP_N = 60
# The line printed before cells are read back; no hostile name holds a line end.
READ_BACK_MARK = "==== read back"
TIMEOUT = 600
# The deep chain's full path: past the 4,095 bytes the kernel opens at once, and short
# enough for its row to fit in a "set" line of 8192 characters.
DEEP_PATH_BYTES = 8000
# Output that means a crash, a sanitizer finding or a leak, whatever the exit status.
FATAL = re.compile(rb"AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|"
                   rb"runtime error|still allocated|Segmentation|Aborted|"
                   rb"wine: Unhandled|page fault")
WINE_NOISE = re.compile(rb"^(wine: Read access denied for device .*|[0-9a-f]{4}:fixme:.*|"
                        rb"[0-9a-f]{4}:err:.*)\r?\n?$", re.M)


class Stress:
    def __init__(self, shell, small, keep, depth=None):
        # The shell runs in the output directory; paths given relative to ours must hold.
        self.shell = [os.path.abspath(a) if os.path.exists(a) else a for a in shell]
        self.wine = os.path.basename(shell[0]) in ("wine", "wine64")
        self.small = small
        self.keep = keep
        self.depth = depth
        self.passed = 0
        self.failed = 0
        self.root = tempfile.mkdtemp(prefix="vesk-stress-")
        os.chmod(self.root, 0o755)
        self.next_key = 0
        self.files = {}  # path (bytes) -> (size, mtime) of the exactly modelled tree
        self.unprivileged = None

    # ---- paths as the shell sees them --------------------------------------------
    def shell_path(self, path):
        """The full path (bytes) as the plug-in returns it."""
        if self.wine:
            return "Z:" + os.fsdecode(path).replace("/", "\\")
        return path

    def spec(self, path):
        """path (bytes, under the tree) as a file specification relative to the tree's
        top, the shell's current directory: an argument that begins with "/" would be
        read as an option."""
        rel = os.fsdecode(os.path.relpath(path, self.root.encode()))
        return rel.replace("/", "\\") if self.wine else rel

    def out_file(self, name):
        return ("out\\" if self.wine else "out/") + name

    def line_bytes(self, text):
        return text if isinstance(text, bytes) else text.encode("utf-8", "surrogateescape")

    # ---- building the tree -------------------------------------------------------
    def new_file(self, directory, name):
        """A file with a size and a time no other file has, so every ranking is strict."""
        key = self.next_key
        self.next_key += 1
        size = 1000 + 13 * key
        mtime = BASE_TIME + 3607 * key + 17
        path = os.path.join(directory, name)
        with open(path, "wb") as f:
            f.truncate(size)
        os.utime(path, (mtime, mtime))
        return path, size, mtime

    def hostile_names(self):
        if self.wine:
            forbidden = set('<>:"/\\|?*')
        else:
            forbidden = {"/"}
        names = []
        for code in range(0x20, 0x7F):
            c = chr(code)
            if c in forbidden:
                continue
            names.append("h%sx" % c)
            names.append("%s%s%s" % (c, c, c) if c not in ". " else "q%s%sq" % (c, c))
        names += [" lead", "  two lead", ".dot", "..dots", "a.b.c", "x" * 255,
                  "\u00e9" * 127 + "x", "\u4e2d" * 85, "%a%", "%%", "^&^", "[x]", "a]b[c",
                  "-", "+", "=", ",", ";", "~1", "a b  c", "\u00a0nbsp"]
        if not self.wine:
            names += ["trail ", "trail.", "dots...", "  mid  ", " . ", "..."]
        # Echo takes these two words as switches; they cannot come back through echo.
        names = [n for n in names if n.strip().lower() not in ("on", "off", "", ".", "..")]
        encoded = [n.encode("utf-8") for n in names]
        if not self.wine:
            encoded += [b"bad\xff\xfe", b"\x80lead", b"mix\xc3(", b"\xed\xa0\x80surrogate",
                        b"\xc0\xaf", b"L" * 254 + b"\xff"]
        return encoded

    def build(self):
        t0 = time.time()
        main = os.path.join(self.root, "main").encode()
        os.mkdir(main)
        total = 3000 if self.small else 100000
        per_dir = 100
        made = 0
        d = 0
        while made < total:
            sub = os.path.join(main, b"dir_%05d_d" % d)
            os.mkdir(sub)
            if d % 10 == 3:
                sub = os.path.join(sub, b"inner dir")
                os.mkdir(sub)
            for i in range(per_dir):
                path, size, mtime = self.new_file(sub, b"f_%d.dat" % made)
                self.files[path] = (size, mtime)
                made += 1
            made += 1  # the directory is an entry too
            d += 1
        hostile = os.path.join(main, b"hostile")
        os.mkdir(hostile)
        for name in self.hostile_names():
            path, size, mtime = self.new_file(hostile, name)
            self.files[path] = (size, mtime)
        self.hostile_count = len(self.hostile_names())

        # Link loops: a directory that links to itself, to its parent and to the top.
        links = os.path.join(self.root, "links").encode()
        os.makedirs(os.path.join(links, b"a", b"b"))
        os.symlink(b".", os.path.join(links, b"self"))
        os.symlink(b"..", os.path.join(links, b"a", b"b", b"up"))
        os.symlink(b"../../..", os.path.join(links, b"a", b"b", b"top"))
        os.symlink(b"a", os.path.join(links, b"a", b"b", b"dangling-nothing-here"))
        for where in (links, os.path.join(links, b"a"), os.path.join(links, b"a", b"b")):
            self.new_file(where, b"in.txt")

        # Unreadable directories among readable ones.
        perm = os.path.join(self.root, "perm").encode()
        os.mkdir(perm)
        self.perm_files = {}
        for i in range(6):
            sub = os.path.join(perm, b"p%d" % i)
            os.mkdir(sub)
            for j in range(5):
                path, size, mtime = self.new_file(sub, b"g%d.txt" % j)
                if i % 2 == 0:
                    self.perm_files[path] = (size, mtime)
            if i % 2 == 1:
                os.chmod(sub, 0)

        # Files removed while the walk runs.
        self.vanish = os.path.join(self.root, "vanish").encode()
        os.mkdir(self.vanish)
        self.vanish_files = []
        for d in range(20 if self.small else 100):
            sub = os.path.join(self.vanish, b"v%03d" % d)
            os.mkdir(sub)
            for i in range(50):
                self.vanish_files.append(self.new_file(sub, b"gone%d" % i)[0])

        # The deepest chain whose name still fits in the shell's 8192-character "set"
        # line, twice what the kernel opens in one call (Wine: each open costs time that
        # grows with the depth, so a shallower one).
        deep = os.path.join(self.root, "deep").encode()
        os.mkdir(deep)
        if self.depth:
            depth = self.depth
        elif self.wine:
            depth = 1000
        else:
            depth = (DEEP_PATH_BYTES - len(deep) - len(b"/bottom.bin")) // 2
        fd = os.open(deep, os.O_RDONLY)
        for _ in range(depth):
            os.mkdir(b"d", dir_fd=fd)
            nfd = os.open(b"d", os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = nfd
        bottom = os.open(b"bottom.bin", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd)
        os.ftruncate(bottom, 777777)
        os.close(bottom)
        os.close(fd)
        self.deep_depth = depth
        self.deep_path = deep + b"/d" * depth + b"/bottom.bin"
        self.out = os.path.join(self.root, "out").encode()
        os.mkdir(self.out)
        os.chmod(self.out, 0o777)
        print("tree: %d entries in main, %d hostile names, depth %d, built in %.1fs"
              % (made + self.hostile_count, self.hostile_count, depth, time.time() - t0))

    # ---- running the shell -------------------------------------------------------
    def run_batch(self, lines, name, as_user=False, during=None):
        """(status or None on a hang, stdout, stderr, seconds) of the batch file's run.
        Under Wine a run that Wine itself failed (never ours) gets one more try."""
        status, out, err, seconds = run_once_more(
            lambda: self.run_batch_once(lines, name, as_user, during), self.shell,
            lambda result: result[1:3], lambda why: print("retry %s: %s" % (name, why)))
        if self.wine:
            err = WINE_NOISE.sub(b"", err).strip()
        return status, out, err, seconds

    def run_batch_once(self, lines, name, as_user, during):
        for old in os.listdir(self.out):
            if old.endswith(b".txt"):
                os.unlink(os.path.join(self.out, old))
        batch = os.path.join(self.out, name.encode() + b".btm")
        with open(batch, "wb") as f:
            f.write(b"\r\n".join(self.line_bytes(l) for l in lines) + b"\r\n")
        os.chmod(batch, 0o644)
        env = dict(os.environ, TZ="UTC", LANG="C.UTF-8", noloadmsg="1")
        env.pop("LC_ALL", None)
        cmd = list(self.shell) + [self.shell_path(batch) if self.wine else batch]
        if as_user:
            cmd = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + cmd
        t0 = time.time()
        proc = subprocess.Popen(cmd, cwd=self.root, env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        churn = None
        if during:
            churn = threading.Thread(target=during, args=(proc,), daemon=True)
            churn.start()
        try:
            out, err = proc.communicate(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
            return None, out, err + b"\nHANG: killed after %d s" % TIMEOUT, time.time() - t0
        if churn:
            churn.join()
        return proc.returncode, out, err, time.time() - t0

    def read_back(self, out):
        """The lines of standard output after the last read-back mark, without their
        brackets (the count first, then the cells)."""
        text = out.replace(b"\r\n", b"\n")
        mark = READ_BACK_MARK.encode() + b"\n"
        at = text.rfind(mark)
        if at < 0:
            return []
        lines = text[at + len(mark):].split(b"\n")
        if lines and lines[-1] == b"":
            lines.pop()
        return [l[1:-1] if l.startswith(b"[") and l.endswith(b"]") else l for l in lines]

    def readback_lines(self, cells):
        # Cells are read as the README advises a batch file to, with nested expansion,
        # separators, redirection, quoting and the escape character off: whether the
        # shell parses what an expansion gives, a name comes back as stored.
        return (["echo " + READ_BACK_MARK, "setdos /x-45678", "echo [%_vesk]"]
                + ["echo [%s]" % cell for cell in cells] + ["setdos /x0"])

    def check(self, label, ok, detail=""):
        if ok:
            self.passed += 1
            print("PASS %s" % label)
        else:
            self.failed += 1
            print("FAIL %s%s" % (label, (": " + detail) if detail else ""))

    def fatal(self, code, err):
        return code is None or FATAL.search(err) is not None

    # ---- one exactly modelled query -----------------------------------------------
    def expected(self, files, mode, keep, n):
        chosen = [(p, s, t) for p, (s, t) in files.items() if keep(p, s, t)]
        key = {"largest": lambda e: -e[1], "smallest": lambda e: e[1],
               "oldest": lambda e: e[2], "newest": lambda e: -e[2]}[mode]
        chosen.sort(key=key)
        return [self.expected_name(p) for p, _, _ in chosen[:n]]

    def expected_name(self, path):
        if self.wine:
            return self.shell_path(path).encode("utf-8")
        return path

    def exact(self, label, where, files, mode, options, keep, n=TOP_N, as_user=False):
        want = self.expected(files, mode, keep, n)
        lines = ['vesk /R %d %s arr "%s" %s' % (n, mode, self.spec(os.path.join(where, b"*")),
                                                options)]
        lines += self.readback_lines(["%%arr[%d,0]" % i for i in range(len(want))])
        code, out, err, secs = self.run_batch(lines, label.replace(" ", "_").replace("/", ""),
                                              as_user=as_user)
        if self.fatal(code, err):
            return self.check(label, False, "crash/leak/hang: %r" % err[-800:])
        back = self.read_back(out) + [None] * (len(want) + 1)
        got_count, rows = back[0], back[1:len(want) + 1]
        problems = []
        if code not in (0, 2) or (code == 2 and not as_user):
            problems.append("status %s, stderr %r" % (code, err[-300:]))
        if got_count != str(len(want)).encode():
            problems.append("count %r, want %d, stderr %r" % (got_count, len(want), err[-300:]))
        for i, (g, w) in enumerate(zip(rows, want)):
            if g != w:
                problems.append("row %d: %r, want %r" % (i, g, w))
                break
        self.check("%s (%d rows, %.1fs)" % (label, len(want), secs), not problems,
                   "; ".join(problems))

    # ---- the checks --------------------------------------------------------------
    def run(self):
        self.build()
        main = os.path.join(self.root, "main").encode()
        everything = lambda p, s, t: True
        for mode in ("largest", "smallest", "oldest", "newest"):
            self.exact("criterion %s" % mode, main, self.files, mode, "", everything)

        # Every hostile name, back from the array byte for byte.
        hostile = os.path.join(main, b"hostile")
        names = {p: v for p, v in self.files.items() if os.path.dirname(p) == hostile}
        self.exact("every hostile name", hostile, names, "newest", "", everything,
                   n=len(names))

        sizes = sorted(s for s, _ in self.files.values())
        lo, hi = sizes[len(sizes) // 3] + 6, sizes[len(sizes) // 2] + 6
        in_size = lambda p, s, t: lo <= s <= hi
        self.exact("range S", main, self.files, "largest", "/[S%d,%d]" % (lo, hi), in_size)
        self.exact("range !S", main, self.files, "smallest", "/![S%d,%d]" % (lo, hi),
                   lambda p, s, t: not in_size(p, s, t))
        self.exact("range !", main, self.files, "largest", "/[!*7]",
                   lambda p, s, t: not os.path.basename(p).lower().endswith(b"7"))

        def day(t):
            return datetime.datetime.fromtimestamp(t, datetime.timezone.utc)
        first, last = datetime.date(2018, 3, 1), datetime.date(2018, 7, 31)
        self.exact("range D", main, self.files, "newest", "/[d2018-03-01,2018-07-31]",
                   lambda p, s, t: first <= day(t).date() <= last)
        self.exact("range !D", main, self.files, "oldest", "/![d2018-03-01,2018-07-31]",
                   lambda p, s, t: not first <= day(t).date() <= last)
        tod = lambda t: day(t).hour * 3600 + day(t).minute * 60 + day(t).second
        self.exact("range T", main, self.files, "largest", "/[t08:00,11:59]",
                   lambda p, s, t: 8 * 3600 <= tod(t) <= 12 * 3600 - 1)
        self.exact("range W", main, self.files, "smallest", "/[w:Mon]",
                   lambda p, s, t: day(t).weekday() == 0)
        self.exact("ranges combined", main, self.files, "newest",
                   "/[S%d,%d] /[w:Mon] /[!*3]" % (lo, hi),
                   lambda p, s, t: in_size(p, s, t) and day(t).weekday() == 0
                   and not os.path.basename(p).lower().endswith(b"3"))
        # Descriptions and owners: no file has a description, and owner lookups go to the
        # system; these must run cleanly over the whole tree, hostile names included.
        for label, option in (("range I", "/[I*]"), ("option /I", "/Inothing*"),
                              ("option /!I", "/!Inothing*"), ("range O", "/[O*]"),
                              ("range !O", "/![Onobody-at-all]")):
            code, out, err, secs = self.run_batch(
                ['vesk /R 5 largest arr "%s" %s' % (self.spec(os.path.join(main, b"*")), option),
                 "echo [%%_vesk]>%s" % self.out_file("ocount.txt")], label.replace(" ", "_").replace("/", "").replace("!", "not"))
            count = open(os.path.join(self.out, b"ocount.txt"), "rb").read().strip().strip(b"[]")
            self.check("%s (%.1fs)" % (label, secs),
                       not self.fatal(code, err) and code in (0, 2) and count.isdigit()
                       and int(count) <= 5, "status %s count %r err %r" % (code, count, err[-300:]))

        # The other options over the hostile names: the table at its widths, stamps of
        # every kind, the trace. Nothing to compare; nothing may fail.
        spec = self.spec(os.path.join(main, b"hostile", b"*"))
        lines = ['vesk %s 40 %s arr "%s"' % (opts, mode, spec) for opts, mode in (
            ("/V", "largest"), ("/V:80 /F", "smallest"), ("/V:1024 /I /U", "newest"),
            ("/V /Z /C:--", "oldest"), ("/V /NC /T:A", "largest"), ("/V /TC /N:CDJ", "newest"),
            ("/$ /V", "largest"), ("/R /V /I", "oldest"))]
        lines += self.readback_lines(['%%@vesk["%s",L,,1,A]' % spec])
        code, out, err, secs = self.run_batch(lines, "options")
        best = self.expected(names, "largest", everything, 1)[0]
        got = (self.read_back(out) + [None, None])[1]
        self.check("options, the table and @VESK over hostile names (%.1fs)" % secs,
                   not self.fatal(code, err) and code == 0 and not err and got == best,
                   "status %s @VESK %r want %r err %r" % (code, got, best, err[-300:]))

        # The deepest path comes back whole.
        if len(self.deep_path) <= DEEP_PATH_BYTES:
            deepfiles = {self.deep_path: (777777, BASE_TIME)}
            self.exact("deep tree (%d levels)" % self.deep_depth,
                       os.path.join(self.root, "deep").encode(), deepfiles, "largest", "",
                       everything, n=1)

        # Link loops end, and every real directory is listed once.
        links = os.path.join(self.root, "links").encode()
        for mode in ("largest", "/NJ newest"):
            code, out, err, secs = self.run_batch(
                ['vesk /R 50 %s arr "%s"' % (mode, self.spec(os.path.join(links, b"*"))),
                 "echo [%%_vesk]>%s" % self.out_file("lcount.txt")], "links")
            count = open(os.path.join(self.out, b"lcount.txt"), "rb").read().strip().strip(b"[]")
            self.check("link loops %s (%.1fs)" % (mode, secs),
                       not self.fatal(code, err) and code in (0, 2) and count.isdigit()
                       and 3 <= int(count) <= 50, "status %s count %r err %r"
                       % (code, count, err[-300:]))

        # Unreadable directories: only an unprivileged user is kept out.
        perm = os.path.join(self.root, "perm").encode()
        if os.geteuid() != 0:
            self.exact("unreadable dirs", perm, self.perm_files, "largest", "", everything,
                       as_user=False)
        elif shutil.which("setpriv") and not self.wine:
            self.exact("unreadable dirs (as nobody)", perm, self.perm_files, "largest", "",
                       everything, as_user=True)
        else:
            print("SKIP unreadable dirs: running as root%s" % (" under Wine" if self.wine else ""))

        # Files removed (and made again) while the walk runs, until the shell ends.
        def churn(proc):
            while proc.poll() is None:
                for path in self.vanish_files:
                    try:
                        os.unlink(path)
                    except OSError:
                        pass
                for path in self.vanish_files:
                    open(path, "wb").close()
        for mode in ("largest", "oldest"):
            code, out, err, secs = self.run_batch(
                ['vesk /R %d %s arr "%s"' % (TOP_N, mode, self.spec(os.path.join(self.vanish, b"*"))),
                 "echo [%%_vesk]>%s" % self.out_file("vcount.txt")], "vanish", during=churn)
            count = open(os.path.join(self.out, b"vcount.txt"), "rb").read().strip().strip(b"[]")
            self.check("removed during walk %s (%.1fs)" % (mode, secs),
                       not self.fatal(code, err) and code in (0, 2) and count.isdigit()
                       and int(count) <= TOP_N, "status %s count %r err %r"
                       % (code, count, err[-300:]))

        print("%d passed, %d failed" % (self.passed, self.failed))
        return self.failed == 0

    def cleanup(self):
        if self.keep:
            print("tree kept in %s" % self.root)
            return
        subprocess.run(["chmod", "-R", "u+rwx", os.path.join(self.root, "perm")])
        subprocess.run(["rm", "-rf", self.root])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--small", action="store_true", help="a few thousand entries")
    parser.add_argument("--keep", action="store_true", help="keep the tree")
    parser.add_argument("--depth", type=int, help="levels of the deep chain (default: as "
                        "deep as the path limit allows; 1000 under Wine)")
    parser.add_argument("shell", nargs="+", help="command that starts vshell")
    args = parser.parse_args()
    stress = Stress(args.shell, args.small, args.keep, args.depth)
    try:
        ok = stress.run()
    finally:
        stress.cleanup()
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
