#!/usr/bin/env python3
"""Runs the end-to-end transcripts in tests/e2e/cases against one build of vshell.

    run.py --target NAME [--cases DIR] [--filter GLOB] [-j N] [--update] [--keep]
           --shell CMD...

Cases live in folders by area (command, ranges, walk, ...) below the cases directory; a
case's name is its file name without the folder, unique across the folders. --filter
matches the name ("cmd_basic", "func_*") or the folder and name ("walk/*").

A case NAME is NAME.btm (run by the shell as a batch file in a fresh scratch directory)
with its expectations beside it: NAME.out, NAME.err, NAME.status (missing: empty, empty,
0), each possibly overridden per target (NAME.out.win32, then NAME.out.win for both
Windows targets). NAME.setup (bash, run first in the scratch directory), NAME.env
(VAR=value lines), NAME.args (extra shell arguments), NAME.skip (targets to skip) and
NAME.raw (keep backslashes on Windows targets), NAME.nofile (the shell's limit of
open descriptors, on the Linux targets), NAME.preload (run the shell with the build's
libfailing_calls.so preloaded; on the Windows targets into every Linux process of Wine,
from the build's wine-shim folder, and the case is skipped where that was not built)
and NAME.readings are optional. A
setup that exits with status 77 skips the case (what it printed says why); whatever a
setup mounted below the scratch directory is unmounted after the case, however it ended.

NAME.readings lists shell options, one a line, each choosing the other reading of a
rule the real shell's documentation leaves open (vshell --help): the case then runs once
under every combination of them, each time in a fresh scratch directory and against the
same expectations, and a failure names the combination. --update takes the expectations
from the run without any of them.

The shell command is everything after --shell (up to another option of this script),
e.g. "--shell build/native/vshell" or "--shell wine build/win32/vshell.exe".
Standard library only.
"""

import concurrent.futures
import difflib
import fnmatch
import itertools
import os
import re
import resource
import shlex
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from wine_faults import run_once_more  # noqa: E402

TIMEOUT_SECONDS = 120
SETUP_SKIPS = 77
WINDOWS_TARGETS = ("win32", "win64")
# What ld.so puts for $LIB in a 64-bit and in a 32-bit process on Debian.
WINE_SHIM_FOLDERS = ("lib/x86_64-linux-gnu", "lib/i386-linux-gnu")
# Wine's own note, written by GetVolumeInformationW for a drive mapped onto a Unix tree
# whose device it may not read; Windows has no such line.
WINE_VOLUME_NOTE = re.compile(r"^wine: Read access denied for device .*"
                              r"FS volume label and serial are not available\.\r?\n", re.M)
RUNNER_OPTIONS = ("--target", "--cases", "--filter", "-j", "--jobs", "--update", "--keep",
                  "--help", "-h")


def usage(message=None):
    if message:
        sys.stderr.write("run.py: %s\n" % message)
    sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
    sys.exit(2)


def parse_arguments(argv):
    options = {"target": None, "cases": None, "filter": "*", "jobs": 2, "update": False,
               "keep": False, "shell": []}
    i = 0
    while i < len(argv):
        arg = argv[i]
        if arg in ("-h", "--help"):
            sys.stdout.write(__doc__)
            sys.exit(0)
        if arg == "--shell":
            i += 1
            while i < len(argv) and argv[i] not in RUNNER_OPTIONS:
                options["shell"].append(argv[i])
                i += 1
            continue
        if arg in ("--update", "--keep"):
            options[arg[2:]] = True
            i += 1
            continue
        if arg in ("--target", "--cases", "--filter", "-j", "--jobs"):
            if i + 1 >= len(argv):
                usage("%s needs a value" % arg)
            value = argv[i + 1]
            if arg in ("-j", "--jobs"):
                try:
                    options["jobs"] = max(1, int(value))
                except ValueError:
                    usage("-j needs a number")
            else:
                options[arg[2:]] = value
            i += 2
            continue
        usage("unknown argument %r" % arg)
    if not options["target"]:
        usage("--target is required")
    if not options["shell"]:
        usage("--shell is required")
    return options


def absolute_shell(command):
    """Program paths of the shell command, made absolute: cases run elsewhere."""
    result = []
    for word in command:
        if os.sep in word and os.path.exists(word):
            word = os.path.abspath(word)
        result.append(word)
    return result


def read_text(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "surrogateescape")


def write_text(path, text):
    with open(path, "wb") as f:
        f.write(text.encode("utf-8", "surrogateescape"))


def read_env(path):
    env = {}
    if os.path.exists(path):
        for line in read_text(path).splitlines():
            line = line.strip()
            if not line or line.startswith("#") or "=" not in line:
                continue
            name, value = line.split("=", 1)
            env[name.strip()] = value
    return env


def expectation_path(base, ext, target):
    """The expectation file that applies to target: the most specific one that exists,
    else the generic name (which may not exist)."""
    candidates = [base + ext + "." + target]
    if target in WINDOWS_TARGETS:
        candidates.append(base + ext + ".win")
    candidates.append(base + ext)
    for candidate in candidates:
        if os.path.exists(candidate):
            return candidate
    return base + ext


def build_version(shell):
    """The version the build of the shell's plug-in shows on its /?? line, as the build
    wrote it beside the shell ("0.71.2.2-dev+COMMIT"); empty when it wrote none."""
    path = os.path.join(os.path.dirname(shell[-1]), "generated", "vesk_version.txt")
    return read_text(path).strip() if os.path.exists(path) else ""


class Normaliser:
    """Replaces the scratch directory, in its Linux and Wine spellings, with @TMP@, and
    the version of the /?? line (which names the commit of a build that is not the
    release) with @VERSION@."""

    def __init__(self, scratch, target, raw, version=""):
        self.windows = target in WINDOWS_TARGETS
        self.raw = raw
        self.version = version
        forms = {scratch.rstrip("/"), os.path.realpath(scratch).rstrip("/")}
        self.linux_forms = sorted(forms, key=len, reverse=True)
        wine = []
        for form in self.linux_forms:
            parts = [re.escape(p) for p in form.strip("/").split("/")]
            wine.append(r"[A-Za-z]:[\\/]" + r"[\\/]".join(parts))
        self.wine = re.compile("(?:%s)" % "|".join(wine))

    def __call__(self, text):
        text = text.replace("\r\n", "\n")
        # With a separator after it first, so "@TMP@/" reads the same on every system.
        text = self.wine.sub("@TMP@", text)
        for form in self.linux_forms:
            text = text.replace(form, "@TMP@")
        text = text.replace("@TMP@\\", "@TMP@/")
        if self.version:
            text = text.replace("Vesk  %s (" % self.version, "Vesk  @VERSION@ (")
        if self.windows and not self.raw:
            text = text.replace("\\", "/")
        return text


def unmount_below(path):
    """Unmounts, deepest first, every file system a setup mounted below path."""
    try:
        with open("/proc/self/mountinfo", "rb") as f:
            lines = f.read().decode("utf-8", "surrogateescape").splitlines()
    except OSError:
        return
    top = os.path.realpath(path)
    mounted = []
    for line in lines:
        fields = line.split(" ")
        if len(fields) < 5:
            continue
        # The kernel writes blanks and backslashes in a mount point as octal escapes.
        point = re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), fields[4])
        if point.startswith(top + "/"):
            mounted.append(point)
    for point in sorted(mounted, key=len, reverse=True):
        subprocess.run(["umount", "-l", "--", point], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def remove_tree(path):
    """Removes a scratch tree, also one whose setup took permissions away."""
    def retry(function, name, _):
        try:
            os.chmod(os.path.dirname(name), 0o700)
            if os.path.isdir(name) and not os.path.islink(name):
                os.chmod(name, 0o700)
            function(name)
        except OSError:
            pass
    try:
        shutil.rmtree(path, onerror=retry)
    except RecursionError:
        # rmtree recurses once per level: a case's tree may be deeper than Python allows.
        subprocess.run(["chmod", "-R", "u+rwx", "--", path], check=False,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["rm", "-rf", "--", path], check=False)


def diff(expected, actual, label):
    lines = difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                 "expected " + label, "actual " + label)
    out = []
    for line in lines:
        out.append(line if line.endswith("\n") else line + "\n\\ No newline at end of file\n")
    return "".join(out)


def run_to_files(command, **arguments):
    """subprocess.run with the output captured in unnamed files rather than pipes: Wine
    writes to a pipe a great deal more slowly, one round trip per line."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run(command, stdout=out, stderr=err, **arguments)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())


def run_case(case_dir, name, options):
    """Returns (verdict, report) with verdict "ok", "FAIL" or "skip"."""
    target = options["target"]
    base = os.path.join(case_dir, name)
    skip_path = base + ".skip"
    if os.path.exists(skip_path) and target in read_text(skip_path).split():
        return "skip", ""
    readings = []
    if os.path.exists(base + ".readings"):
        readings = [line.strip() for line in read_text(base + ".readings").splitlines()
                    if line.strip() and not line.strip().startswith("#")]
    verdict, report = "ok", []
    for chosen in itertools.product((False, True), repeat=len(readings)):
        extra = [option for option, on in zip(readings, chosen) if on]
        update = options["update"] and not extra
        failed, text = run_once(base, name, options, extra, update)
        if failed == "skip":
            return "skip", text
        if text and extra:
            text = "under %s:\n%s" % (" ".join(extra), text)
        report.append(text)
        if failed:
            verdict = "FAIL"
    return verdict, "".join(report)


def run_once(base, name, options, readings, update):
    """Runs the case once with the shell options readings added; returns (failed,
    report), failed being "skip" when the setup says the case cannot run here. With update, expectations that differ are rewritten instead."""
    target = options["target"]
    case_env = read_env(base + ".env")
    scratch = tempfile.mkdtemp(prefix="vesk-e2e-", dir="/tmp")
    try:
        report = []
        if os.path.exists(base + ".setup"):
            env = dict(os.environ)
            env["TZ"] = "UTC"
            env.update(case_env)
            setup = subprocess.run(["bash", os.path.abspath(base + ".setup")], cwd=scratch,
                                   env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                   timeout=TIMEOUT_SECONDS)
            if setup.returncode == SETUP_SKIPS:
                return "skip", setup.stdout.decode("utf-8", "replace")
            if setup.returncode != 0:
                return True, "setup failed with status %d:\n%s%s" % (
                    setup.returncode, setup.stdout.decode("utf-8", "replace"),
                    setup.stderr.decode("utf-8", "replace"))
        shutil.copyfile(base + ".btm", os.path.join(scratch, "test.btm"))
        extra = shlex.split(read_text(base + ".args")) if os.path.exists(base + ".args") else []
        env = dict(os.environ)
        env.update(case_env)
        command = options["shell"] + extra + readings + ["test.btm"]
        build = os.path.dirname(os.path.abspath(options["shell"][-1]))
        if os.path.exists(base + ".preload") and target in WINDOWS_TARGETS:
            # Wine starts processes of both word sizes (its 32-bit loader, its 64-bit
            # wineserver): ld.so puts each one's own library folder for $LIB.
            shims = os.path.join(build, "wine-shim")
            for folder in WINE_SHIM_FOLDERS:
                if not os.path.exists(os.path.join(shims, folder, "libfailing_calls.so")):
                    return "skip", ("no %s/%s/libfailing_calls.so: build with VESK_TESTS=ON "
                                    "and a compiler for both word sizes (gcc-multilib)\n"
                                    % (shims, folder))
            env["LD_PRELOAD"] = os.path.join(shims, "$LIB", "libfailing_calls.so")
        elif os.path.exists(base + ".preload"):
            shim = os.path.join(build, "libfailing_calls.so")
            if not os.path.exists(shim):
                return True, "no %s: build with VESK_TESTS=ON" % shim
            env["LD_PRELOAD"] = shim
            # The sanitizers' runtime would insist on coming first.
            env["ASAN_OPTIONS"] = ":".join(
                filter(None, [env.get("ASAN_OPTIONS"), "verify_asan_link_order=0"]))
        limit_fds = None
        if os.path.exists(base + ".nofile") and target not in WINDOWS_TARGETS:
            wanted = int(read_text(base + ".nofile").strip())
            hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
            if hard != resource.RLIM_INFINITY:
                wanted = min(wanted, hard)
            limit_fds = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, hard))
        # Wine now and then hangs while two of its processes start at once, fails to start
        # the shell, or one of its own service processes crashes: one more try, told.
        try:
            done = run_once_more(
                lambda: run_to_files(command, cwd=scratch, env=env, stdin=subprocess.DEVNULL,
                                     timeout=TIMEOUT_SECONDS, preexec_fn=limit_fds),
                options["shell"], lambda d: (d.stdout, d.stderr),
                lambda why: report.append("note: %s; run again\n" % why))
        except subprocess.TimeoutExpired:
            return True, "".join(report) + "timed out after %d s\n" % TIMEOUT_SECONDS
        except OSError as error:
            return True, "cannot run %s: %s\n" % (" ".join(command), error)

        normalise = Normaliser(scratch, target, os.path.exists(base + ".raw"),
                               options["version"])
        stderr_text = done.stderr.decode("utf-8", "surrogateescape")
        if target in WINDOWS_TARGETS:
            stderr_text = WINE_VOLUME_NOTE.sub("", stderr_text)
        actual = {
            ".out": normalise(done.stdout.decode("utf-8", "surrogateescape")),
            ".err": normalise(stderr_text),
        }
        status = done.returncode
        failed = False
        for ext in (".out", ".err"):
            path = expectation_path(base, ext, target)
            expected = read_text(path).replace("\r\n", "\n") if os.path.exists(path) else ""
            if expected != actual[ext]:
                if update and (actual[ext] or os.path.exists(path)):
                    write_text(path, actual[ext])
                    report.append("updated %s\n" % os.path.basename(path))
                elif update:
                    pass
                else:
                    failed = True
                    report.append(diff(expected, actual[ext], name + ext))

        path = expectation_path(base, ".status", target)
        expected_status = 0
        if os.path.exists(path):
            try:
                expected_status = int(read_text(path).strip())
            except ValueError:
                return True, "%s does not hold a number\n" % os.path.basename(path)
        if status < 0:
            failed = True
            report.append("killed by signal %d\n" % -status)
        elif status != expected_status & 0xFF and status != expected_status:
            if update:
                if status != 0 or os.path.exists(path):
                    write_text(path, "%d\n" % status)
                    report.append("updated %s\n" % os.path.basename(path))
            else:
                failed = True
                report.append("exit status %d, expected %d\n" % (status, expected_status))
        return failed, "".join(report)
    finally:
        unmount_below(scratch)
        if options["keep"]:
            sys.stderr.write("kept %s for %s\n" % (scratch, name))
        else:
            remove_tree(scratch)


def find_cases(case_dir):
    """{case name: its folder relative to case_dir} of every NAME.btm below case_dir, or a
    message when two folders hold a case of the same name: a case is chosen by its name
    alone, so names stay unique across the folders."""
    found = {}
    for folder, dirs, files in os.walk(case_dir):
        dirs.sort()
        relative = os.path.relpath(folder, case_dir)
        relative = "" if relative == "." else relative
        for f in files:
            if not f.endswith(".btm"):
                continue
            name = f[:-4]
            if name in found:
                return "case %s is in both %s and %s" % (
                    name, case_path(found[name], ""), case_path(relative, ""))
            found[name] = relative
    return found


def case_path(folder, name):
    return folder.replace(os.sep, "/") + "/" + name if folder else name


def main(argv):
    options = parse_arguments(argv)
    options["shell"] = absolute_shell(options["shell"])
    options["version"] = build_version(options["shell"])
    case_dir = options["cases"] or os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                "cases")
    found = find_cases(case_dir)
    if isinstance(found, str):
        sys.stderr.write("run.py: %s\n" % found)
        return 2
    names = sorted(name for name, folder in found.items()
                   if fnmatch.fnmatchcase(name, options["filter"])
                   or fnmatch.fnmatchcase(case_path(folder, name), options["filter"]))
    counts = {"ok": 0, "FAIL": 0, "skip": 0}

    def one(name):
        try:
            return run_case(os.path.join(case_dir, found[name]), name, options)
        except Exception as error:  # a broken case must not hide the others
            return "FAIL", "runner error: %r\n" % (error,)

    with concurrent.futures.ThreadPoolExecutor(max_workers=options["jobs"]) as pool:
        for name, (verdict, report) in zip(names, pool.map(one, names)):
            counts[verdict] += 1
            if verdict == "skip":
                print("skip %s (%s)" % (name, options["target"]))
                report = "".join("  %s\n" % line for line in report.splitlines())
            else:
                print("%s %s" % (verdict, name))
            if report:
                sys.stdout.write(report)
            sys.stdout.flush()

    summary = "%d passed, %d failed" % (counts["ok"], counts["FAIL"])
    if counts["skip"]:
        summary += ", %d skipped" % counts["skip"]
    print(summary)
    return 1 if counts["FAIL"] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
