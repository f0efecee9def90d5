"""Tells a failure of Wine itself from one of ours, and runs a Windows build once more
after Wine's own failure.

On a busy machine Wine's service processes fault now and then, a wineserver does not
answer, or start.exe gives up before the shell starts ("ShellExecuteEx failed: Internal
error."). A run that saw a fault outside our modules, never started the shell, or timed
out gets one more try, told through a note; the runners all call run_once_more(). A fault
inside vshell.exe, TakeCmd.dll or vesk.dll is never excused, and a shell that started and
printed anything is never run again for Wine's start-up.
"""
import os
import re
import subprocess

# Wine's report of a crash, with the faulting address.
WINE_FAULT = re.compile(r"^wine: Unhandled .* at address ([0-9A-Fa-f]+)", re.M)
OUR_MODULES = ("vshell.exe", "TakeCmd.dll", "vesk.dll")
# Wine's notes beside a program that runs.
WINE_NOTE = re.compile(r"^(?:wine: (?:Read access denied for device |created the configuration "
                       r"directory |configuration in .* has been updated)|[0-9a-f]{4}:fixme:)")
# What Wine 8 writes when the program never ran: start.exe's "ShellExecuteEx failed: WHY"
# (after "Application could not be started, ..."), the loader's and ntdll's "wine: ..."
# ("could not exec wineserver", "a wine server seems to be running, but I cannot connect
# to it.", "for some mysterious reason, the wine server never started.", "failed to
# start ..."), a broken link to the server ("wine client error:...") and the server's
# own complaints. A crash report is the crash rule's to judge.
WINE_FAILURE = re.compile(r"^(?:.*ShellExecuteEx failed|Application could not be started"
                          r"|wine: (?!Unhandled )|wine client error|wineserver|[0-9a-f]{4}:err:)")


def image_range(path):
    """(first, past the end) address of a PE image at its preferred base, or None."""
    try:
        with open(path, "rb") as f:
            data = f.read(4096)
    except OSError:
        return None
    if data[:2] != b"MZ":
        return None
    pe = int.from_bytes(data[0x3C:0x40], "little")
    optional = pe + 24
    magic = int.from_bytes(data[optional:optional + 2], "little")
    if magic == 0x20B:  # PE32+
        base = int.from_bytes(data[optional + 24:optional + 32], "little")
    else:
        base = int.from_bytes(data[optional + 28:optional + 32], "little")
    size = int.from_bytes(data[optional + 56:optional + 60], "little")
    return base, base + size


def fault_outside_ours(stderr_text, shell):
    """The address (hex text) of a crash that Wine reports in code that is none of ours,
    else None. shell is the command line that ran, the .exe among its words."""
    match = WINE_FAULT.search(stderr_text)
    exe = next((arg for arg in shell if str(arg).lower().endswith(".exe")), None)
    if not match or exe is None:
        return None
    address = int(match.group(1), 16)
    for module in OUR_MODULES:
        bounds = image_range(os.path.join(os.path.dirname(exe), module))
        if bounds is None or bounds[0] <= address < bounds[1]:
            return None
    return match.group(1)


def windows_build(shell):
    """Whether the shell command runs a Windows build: an .exe among its words."""
    return any(str(word).lower().endswith(".exe") for word in shell)


def why_again(stdout, stderr, shell):
    """Why a run of the Windows build in shell deserves one more try, as a note's text, or
    None: Wine crashed outside our modules, or the shell never started (nothing on
    standard output, and standard error only Wine's lines, one of them a failure).
    stdout and stderr are texts or bytes."""
    out, err = (t.decode("utf-8", "replace") if isinstance(t, bytes) else t
                for t in (stdout, stderr))
    if WINE_FAULT.search(err):
        fault = fault_outside_ours(err, shell)
        return fault and "Wine faulted at %s, outside our modules" % fault
    # Wine indents the lines that carry a message on ("   You probably need to kill...").
    lines = [line.rstrip() for line in err.splitlines()
             if line.strip() and not line[0].isspace()]
    lines = [line for line in lines if not WINE_NOTE.match(line)]
    failures = [line for line in lines if WINE_FAILURE.match(line)]
    if out.strip() or not failures or len(failures) < len(lines):
        return None
    return "Wine did not start the shell (%s)" % failures[-1]


def run_once_more(run, shell, outputs, note):
    """run()'s result. For a Windows build, run() again once when why_again() finds Wine at
    fault or the first run timed out, after note(why); a second time-out is raised.
    outputs(result) gives its (stdout, stderr)."""
    if not windows_build(shell):
        return run()
    try:
        result = run()
    except subprocess.TimeoutExpired as expired:
        note("timed out once after %d s" % expired.timeout)
        return run()
    why = why_again(*outputs(result), shell)
    if why is None:
        return result
    note(why)
    return run()
