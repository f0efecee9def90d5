#!/usr/bin/env python3
"""Runs the examples of the documents against one build of vshell.

    doc_test.py --target NAME --shell CMD...     (CMD: the rest of the line)

Every code block of README.md, host/README.md, docs/*.md and the user's guide
(packaging/README.txt.in; there a block is a run of lines indented by two blanks) has a
mark on the nearest line before it, an HTML comment (removed from the guide when it is
configured):

    <!-- not run: WHY -->    not runnable here (Windows paths, the real shell, a build)
    <!-- vshell: CHECKS -->  its lines run as one batch file of the shell under test
    <!-- bash: CHECKS -->    its lines run in bash at the top of the repository, with
                             $BUILD the build and $SCRATCH an empty folder (native only)

A block without a mark fails, so no new example escapes. A vshell or bash mark that no
block follows runs the lines of its own "run" words: an example given inline in the text
above it. CHECKS are words split as a shell splits them (a backslash is ordinary):

    run LINE        a line run before the block's lines
    prints TEXT     standard output holds TEXT
    says TEXT       standard error holds TEXT; without a "says", it must stay empty
    omits TEXT      neither holds TEXT
    result N        the exit status (default 0)
    env NAME=VALUE  set for the run (TZ is UTC unless set so)
    every reading   run once under each combination of the shell's readings
    output          the block is not run: it is what the run prints, blanks aside

vshell examples run in a fresh sample tree (SAMPLE below) whose folders C and D stand for
the drives C:\\ and D:\\ that the examples name; texts are compared with "\\" read as "/"
and the tree's folders read back as their drives. @VESK_VERSION_TEXT@ is the version of
CMakeLists.txt, @VESK_PACKAGE_VERSION@ the one the build names its packages with. Ends with "N passed, N failed". Standard library only.
"""
import calendar
import glob
import itertools
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from run import WINE_VOLUME_NOTE, remove_tree, run_to_files  # noqa: E402
from wine_faults import run_once_more  # noqa: E402

DOCUMENTS = ["README.md", "host/README.md", "docs/*.md", "packaging/README.txt.in"]
WINDOWS_TARGETS = ("win32", "win64")
TIMEOUT = 300
MARK = re.compile(r"^\s*<!--\s*(not run|vshell|bash)\s*(?::(.*?))?\s*-->\s*$")

# path, size in bytes (None: a folder), last write in UTC. Folders not listed are dated
# 2020-01-01, so that what is newest never depends on the day the test runs.
SAMPLE = [
    ("C/data/big.iso", 5000, "2024-05-01 12:00:00"),
    ("C/data/notes.txt", 1200, "2024-05-02 09:00:00"),
    ("C/data/sub/deep.bin", 3000, "2024-04-01 08:00:00"),
    ("C/data/50%@upper[x]%done a&echo RAN^b`c`.txt", 10, "2024-03-01 10:00:00"),
    ("C/data/sub", None, "2024-06-01 00:00:00"),
    ("C/logs/old.log", 300, "2024-01-01 00:00:00"),
    ("C/logs/today.log", 200, "2024-06-01 00:00:00"),
    ("C/projects/keep.c", 2 << 20, "2024-05-03 00:00:00"),
    ("C/projects/small.c", 10, "2024-05-04 00:00:00"),
    ("C/projects/old.bak", 2 << 20, "2024-05-05 00:00:00"),
    ("C/projects/run.tmp", 2 << 20, "2024-05-06 00:00:00"),
    ("C/projects/.hidden.c", 2 << 20, "2024-05-07 00:00:00"),
    ("C/projects/src/main.c", 3 << 20, "2024-05-02 00:00:00"),
    ("C/sydney/late.txt", 1, "2024-07-15 13:30:00"),
    ("C/times/t0030", 1, "2024-05-01 00:30:00"),
    ("C/times/t0100", 1, "2024-05-01 01:00:30"),
    ("C/times/t0300", 1, "2024-05-01 03:00:00"),
    ("C/times/t0800a", 1, "2024-05-01 08:00:30"),
    ("C/times/t0800b", 1, "2024-05-01 08:00:31"),
    ("C/times/t1200", 1, "2024-05-01 12:00:00"),
    ("C/times/t2300", 1, "2024-05-01 23:00:30"),
    ("D/archive/a.doc", 100, "2019-06-01 00:00:00"),
    ("D/archive/b.doc", 100, "2020-06-01 00:00:00"),
    ("D/archive/c.doc", 100, "2021-03-02 00:00:00"),
    ("D/archive/d.txt", 100, "2020-07-01 00:00:00"),
    ("D/data/x/f.txt", 100, "2024-01-01 00:00:00"),
    ("D/old/g.txt", 100, "2024-01-01 00:00:00"),
    ("media/film.mkv", 2 << 20, "2024-01-01 00:00:00"),
    ("café.txt", 1, "2024-01-01 00:00:00"),
]
FOLDER_TIME = "2020-01-01 00:00:00"


def seconds(utc):
    return calendar.timegm(tuple(map(int, re.split("[- :]", utc))) + (0, 0, 0))


def make_sample(top):
    folders = {}
    for path, size, utc in SAMPLE:
        full = os.path.join(top, path)
        if size is None:
            folders[full] = utc
            continue
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.truncate(size)
        os.utime(full, (seconds(utc), seconds(utc)))
    for folder, _, _ in os.walk(top):
        folders.setdefault(folder, FOLDER_TIME)
    for folder in sorted(folders, key=len, reverse=True):
        os.utime(folder, (seconds(folders[folder]),) * 2)


class Example:
    def __init__(self, where, kind, words, block):
        self.where, self.kind, self.block = where, kind, block
        self.run, self.prints, self.says, self.omits = [], [], [], []
        self.result, self.env, self.readings, self.output = 0, {}, False, False
        words = iter(words)
        for word in words:
            if word == "output":
                self.output = True
                continue
            arg = next(words, None)
            if word == "every" and arg == "reading":
                self.readings = True
            elif word in ("run", "prints", "says", "omits") and arg is not None:
                getattr(self, word).append(arg)
            elif word == "result" and arg is not None and arg.lstrip("-").isdigit():
                self.result = int(arg)
            elif word == "env" and arg is not None and "=" in arg:
                self.env.update([arg.split("=", 1)])
            else:
                raise ValueError("unknown words in the mark: %s %s" % (word, arg or ""))
        if self.output and block is None:
            raise ValueError('"output" needs a block after the mark')
        if block is None and not self.run:
            raise ValueError("a mark with no block after it needs a run line")

    def lines(self):
        return self.run + ([] if self.output or self.block is None else self.block)


def blocks(text, indent):
    """(line number, block lines or None, mark text or None) for each code block (fenced,
    or lines indented by indent after a blank line or a mark) and each mark that no block
    follows, in order."""
    lines = text.split("\n")
    found, mark, i = [], None, 0
    while i < len(lines):
        line = lines[i]
        fenced = line.startswith("```")
        if fenced or (line.startswith(indent) and line.strip() and
                      (i == 0 or not lines[i - 1].strip() or
                       lines[i - 1].lstrip().startswith("<!--"))):
            j = i + 1
            if fenced:
                while j < len(lines) and not lines[j].startswith("```"):
                    j += 1
                body, j = lines[i + 1:j], j + 1
            else:
                while j < len(lines) and (lines[j].startswith(indent) or not lines[j].strip()):
                    j += 1
                body = [l[len(indent):] for l in lines[i:j]]
                while body and not body[-1].strip():
                    body.pop()
            found.append((i + 1, body, mark[1] if mark else None))
            mark, i = None, j
            continue
        if mark and line.strip():
            found.append((mark[0], None, mark[1]))
            mark = None
        if line.lstrip().startswith("<!--"):
            mark = (i + 1, line)
        i += 1
    if mark:
        found.append((mark[0], None, mark[1]))
    return found


def split(words):
    """words split as a shell splits them, but a backslash is an ordinary character: the
    examples are full of Windows paths."""
    lexer = shlex.shlex(words, posix=True, punctuation_chars=False)
    lexer.whitespace_split, lexer.escape = True, ""
    return list(lexer)


# How the documents are read, on texts small enough to see at a glance: (text, indent,
# [(line, block, mark kind)]). A block that escaped this reading would never be asked for
# its mark.
READING_CASES = [
    ("a\n\n    x\n    y\n\nb", "    ", [(3, ["x", "y"], None)]),
    ("a\n\n<!-- not run: why -->\n\n    x\n", "    ", [(5, ["x"], "not run")]),
    ("a\n```\nx\n```\n", "    ", [(2, ["x"], None)]),
    ("- item\n  <!-- vshell: run x -->\n- next\n", "    ", [(2, None, "vshell")]),
    ("- item\n  <!-- vshell: run\n x -->\n- next\n", "    ", [(2, None, None)]),
    ("text\n  not a block\n\n<!-- bash: run x -->\n  x\n", "  ", [(5, ["x"], "bash")]),
    ("a\n\n  x\n\n  y\nb", "  ", [(3, ["x", "", "y"], None)]),
]


def check_reading():
    """The READING_CASES that blocks() reads otherwise."""
    wrong = []
    for text, indent, expected in READING_CASES:
        found = [(line, block, mark and MARK.match(mark) and MARK.match(mark).group(1))
                 for line, block, mark in blocks(text, indent)]
        if found != expected:
            wrong.append("%r read as %r" % (text, found))
    return wrong


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return ".".join(re.search(r"project\(vesk VERSION (\d+)\.(\d+)\.(\d+)", f.read()).groups())


def package_version(build):
    """major.minor.build and what tells the build apart from the release ("-dev+COMMIT"),
    as the build wrote it."""
    try:
        with open(os.path.join(build, "generated", "vesk_version.txt"), encoding="utf-8") as f:
            shown = f.read().strip()
    except OSError:
        return version()
    full = re.match(r"\d+\.\d+\.\d+\.\d+", shown)
    return version() + (shown[full.end():] if full else "")


def readings(shell):
    """The reading options vshell --help names."""
    done = run_once_more(
        lambda: run_to_files(shell + ["--help"], stdin=subprocess.DEVNULL, timeout=TIMEOUT),
        shell, lambda d: (d.stdout, d.stderr), lambda why: print("note: %s; run again" % why))
    text = done.stdout.decode("utf-8", "replace")
    return re.findall(r"^\s+(--[a-z-]+)\s*$", text.split("READING", 2)[-1], re.M)


def run_example(example, target, shell, build):
    """What went wrong, one text per fault; empty when the example does what it says."""
    scratch = tempfile.mkdtemp(prefix="vesk-doc-", dir="/tmp")
    try:
        env = dict(os.environ, TZ="UTC")
        env.update(example.env)
        lines = [l.replace("@VESK_VERSION_TEXT@", version())
                 .replace("@VESK_PACKAGE_VERSION@", package_version(build))
                 for l in example.lines()]
        if example.kind == "bash":
            env.update(BUILD=build, SCRATCH=scratch)
            command, cwd = ["bash", "-e", "-c", "\n".join(lines)], ROOT
        else:
            make_sample(scratch)
            drive = scratch.replace("/", "\\")
            lines = [re.sub(r"\b([A-Z]):\\", lambda m: "%s\\%s\\" % (drive, m.group(1)), l)
                     for l in lines]
            with open(os.path.join(scratch, "example.btm"), "w", encoding="utf-8") as f:
                f.write("".join(l + "\r\n" for l in lines))
            command, cwd = shell + ["example.btm"], scratch
        done = run_once_more(
            lambda: run_to_files(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                 timeout=TIMEOUT),
            shell if example.kind != "bash" else [], lambda d: (d.stdout, d.stderr),
            lambda why: print("note %s: %s; run again" % (example.where, why)))
        err = done.stderr.decode("utf-8", "surrogateescape")
        if target in WINDOWS_TARGETS:
            err = WINE_VOLUME_NOTE.sub("", err)
        out = done.stdout.decode("utf-8", "surrogateescape")
        return judge(example, done.returncode, plain(out, scratch), plain(err, scratch))
    except subprocess.TimeoutExpired:
        return ["timed out after %d s" % TIMEOUT]
    finally:
        remove_tree(scratch)


def plain(text, scratch=None):
    """text with line ends and separators of one kind and the sample's drives as such."""
    text = text.replace("\r\n", "\n").replace("\\", "/")
    if scratch:
        text = re.sub(r"(?:[A-Za-z]:)?%s/([A-Z])/" % re.escape(scratch), r"\1:/", text)
    return text


def judge(example, status, out, err):
    faults = []
    if status != example.result:
        faults.append("exit status %d, not %d" % (status, example.result))
    for text in example.prints:
        if plain(text) not in out:
            faults.append("standard output lacks %r" % text)
    for text in example.says:
        if plain(text) not in err:
            faults.append("standard error lacks %r" % text)
    if err.strip() and not example.says:
        faults.append("standard error not empty")
    for text in example.omits:
        if plain(text) in out + err:
            faults.append("the output holds %r" % text)
    if example.output and " ".join(" ".join(example.block).split()) not in " ".join(out.split()):
        faults.append("the block is not in the output")
    if faults:
        faults.append("output:\n%s\nerrors:\n%s" % (out, err))
    return faults


def main(argv):
    if "--target" not in argv or "--shell" not in argv or argv.index("--shell") < 2:
        sys.exit(__doc__)
    target = argv[argv.index("--target") + 1]
    # The examples run in folders of their own.
    shell = [os.path.abspath(w) if os.path.exists(w) else w
             for w in argv[argv.index("--shell") + 1:]]
    build = os.path.dirname(os.path.abspath(shell[-1]))
    all_readings = readings(shell)
    counts = {"ok": 0, "FAIL": 0}

    def report(verdict, where, faults=()):
        counts[verdict] += 1
        print("%s %s" % (verdict, where) + "".join("\n  " + f for f in faults))

    report("FAIL" if check_reading() else "ok", "reading of the documents", check_reading())
    for pattern in DOCUMENTS:
        for path in sorted(glob.glob(os.path.join(ROOT, pattern))):
            name = os.path.relpath(path, ROOT)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            for line, block, mark in blocks(text, "  " if path.endswith(".txt.in") else "    "):
                where = "%s:%d" % (name, line)
                if mark is None:
                    report("FAIL", where, ["a code block without a mark (<!-- not run: WHY -->,"
                                           " <!-- vshell: ... --> or <!-- bash: ... -->)"])
                    continue
                if not MARK.match(mark):
                    report("FAIL", where, ["a mark this test cannot read (one line, "
                                           "not run, vshell or bash): %s" % mark.strip()])
                    continue
                kind, words = MARK.match(mark).groups()
                if kind == "not run":
                    if block is None or not (words or "").strip():
                        report("FAIL", where, ["a not-run mark needs a block and a reason"])
                    else:
                        print("not run %s: %s" % (where, words.strip()))
                    continue
                try:
                    example = Example(where, kind, split(words or ""), block)
                except ValueError as error:
                    report("FAIL", where, [str(error)])
                    continue
                if kind == "bash" and target != "native":
                    continue
                if example.readings and not all_readings:
                    report("FAIL", where, ["the shell's --help names no readings"])
                    continue
                combos = [[]]
                if example.readings:
                    combos = [[r for r, on in zip(all_readings, chosen) if on] for chosen in
                              itertools.product((False, True), repeat=len(all_readings))]
                faults = []
                for extra in combos:
                    found = run_example(example, target, shell + extra, build)
                    faults += ["under %s: %s" % (" ".join(extra), f) if extra else f
                               for f in found]
                    if found:
                        break
                report("FAIL" if faults else "ok", where, faults)
    print("%d passed, %d failed" % (counts["ok"], counts["FAIL"]))
    return 1 if counts["FAIL"] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
