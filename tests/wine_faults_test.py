#!/usr/bin/env python3
"""What tests/wine_faults.py makes of the texts Wine and our shell print, and, given the
win32 vshell.exe, one transcript run through a Wine that fails to start the shell on
every other call, which the runner must pass with a note. Ends "N passed, N failed".

    wine_faults_test.py [--flaky build/win32/vshell.exe]
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from wine_faults import why_again  # noqa: E402

# Our modules' images, as the crash rule reads them: (preferred base, size).
IMAGES = {"vshell.exe": (0x400000, 0x40000), "TakeCmd.dll": (0x6F000000, 0x20000),
          "vesk.dll": (0x10000000, 0x40000)}
CRASH = "wine: Unhandled page fault on read access to 00000000 at address %s (thread 0024)\n"
# standard output, standard error, a part of the note, or None for no second try
CASES = [
    ("", "ShellExecuteEx failed: Internal error.\n", "(ShellExecuteEx failed: Internal error.)"),
    ("", "Application could not be started, or no application associated with the specified "
         "file.\r\nShellExecuteEx failed: File not found.\r\n", "File not found.)"),
    ("", "wine: a wine server seems to be running, but I cannot connect to it.\n"
         "   You probably need to kill that process (it might be pid 42).\n", "cannot connect"),
    ("", "wine: Read access denied for device L\"\\??\\Z:\\\", FS volume label and serial are "
         "not available.\nwine client error:1c: write: Bad file descriptor\n", "client error"),
    ("", CRASH % "7BC01234", "Wine faulted at 7BC01234"),
    ("", CRASH % "10001234", None),  # in vesk.dll: ours, never excused
    ("", CRASH % "6F000010" + "ShellExecuteEx failed: Internal error.\n", None),  # TakeCmd.dll
    ("0 largest files vesked into L[0,3].\n", "ShellExecuteEx failed: Internal error.\n", None),
    ("", "VESK: no such folder\nwine: for some mysterious reason, the wine server never "
         "started.\n", None),  # the shell started and spoke
    ("", "", None),
    ("", "wine: Read access denied for device L\"\\??\\Z:\\\"\n", None),
]
FLAKY = """#!/bin/bash
n=$(( $(cat "$0.count" 2>/dev/null || echo 0) + 1 )); echo $n >"$0.count"
[ $((n % 2)) = 1 ] && { echo "ShellExecuteEx failed: Internal error." >&2; exit 1; }
exec wine "$@"
"""


def image(path, base, size):
    """A PE header with just what the crash rule reads."""
    data = bytearray(0x200)
    data[:2], data[0x3C:0x40] = b"MZ", (0x80).to_bytes(4, "little")
    optional = 0x80 + 24
    data[optional:optional + 2] = (0x10B).to_bytes(2, "little")
    data[optional + 28:optional + 32] = base.to_bytes(4, "little")
    data[optional + 56:optional + 60] = size.to_bytes(4, "little")
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="vesk-wine-faults-") as tmp:
        for name, (base, size) in IMAGES.items():
            image(os.path.join(tmp, name), base, size)
        shell = ["wine", os.path.join(tmp, "vshell.exe")]
        for out, err, want in CASES:
            got = why_again(out, err.encode(), shell)
            if (got is None) == (want is None) and (want is None or want in got):
                passed += 1
            else:
                failed += 1
                print("FAIL %r %r: %r, not %r" % (out, err, got, want))
        if argv[:1] == ["--flaky"]:
            flaky = os.path.join(tmp, "flaky")
            with open(flaky, "w") as f:
                f.write(FLAKY)
            os.chmod(flaky, 0o755)
            done = subprocess.run([sys.executable, os.path.join(HERE, "e2e", "run.py"), "--target",
                                   "win32", "--filter", "cmd_basic", "--shell", flaky, argv[1]],
                                  capture_output=True, text=True)
            if done.stdout.endswith("1 passed, 0 failed\n") and "note: Wine did not start" in done.stdout:
                passed += 1
            else:
                failed += 1
                print("FAIL cmd_basic through a flaky Wine:\n%s%s" % (done.stdout, done.stderr))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
