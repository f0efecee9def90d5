#!/usr/bin/env python3
"""What wine_faults.py makes of recorded Wine and shell output; with --flaky VSHELL_EXE
(the win32 build) also cmd_basic through a Wine that fails to start the shell on every
other call, which run.py must pass with a note. Ends "N passed, N failed"."""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from wine_faults import why_again  # noqa: E402

CRASH = "wine: Unhandled page fault on read access to 00000000 at address %s (thread 0024)\n"
NO_START = "ShellExecuteEx failed: Internal error.\n"
CASES = [  # standard output, standard error, a part of the note or None for no second try
    ("", "Application could not be started, or no application associated with the specified "
         "file.\r\n" + NO_START, "(ShellExecuteEx failed: Internal error.)"),
    ("", "wine: a wine server seems to be running, but I cannot connect to it.\n"
         "   You probably need to kill that process (it might be pid 42).\n", "cannot connect"),
    ("", "wine: Read access denied for device L\"\\??\\Z:\\\"\n"
         "wine client error:1c: write: Bad file descriptor\n", "client error"),
    ("", CRASH % "7BC01234", "Wine faulted at 7BC01234"),
    ("", CRASH % "10001234" + NO_START, None),  # inside one of ours: never excused
    ("0 largest files vesked into L[0,3].\n", NO_START, None),  # the shell started
    ("", "VESK: no such folder\n" + NO_START, None),  # and spoke
    ("", "", None),
]
FLAKY = """#!/bin/bash
n=$(( $(cat "$0.count" 2>/dev/null || echo 0) + 1 )); echo $n >"$0.count"
[ $((n % 2)) = 1 ] && { echo "ShellExecuteEx failed: Internal error." >&2; exit 1; }
exec wine "$@"
"""


def main(argv):
    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="vesk-wine-faults-") as tmp:
        # Our three modules, each a PE32 header of an image at 0x10000000, 256 KB long.
        pe = bytearray(0x200)
        pe[:2], pe[0x3C], pe[0x98:0x9A] = b"MZ", 0x80, b"\x0b\x01"
        pe[0xB4:0xB8], pe[0xD0:0xD4] = b"\0\0\0\x10", b"\0\0\x04\0"
        for name in ("vshell.exe", "TakeCmd.dll", "vesk.dll"):
            with open(os.path.join(tmp, name), "wb") as f:
                f.write(pe)
        for out, err, want in CASES:
            got = why_again(out, err.encode(), ["wine", os.path.join(tmp, "vshell.exe")])
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
            out = done.stdout
            ok = "note: Wine did not" in out and out.endswith("1 passed, 0 failed\n")
            passed, failed = passed + ok, failed + (not ok)
            if not ok:
                print("FAIL cmd_basic through a flaky Wine:\n" + out + done.stderr)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
