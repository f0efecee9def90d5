"""Tells a crash of Wine's own code from one of ours.

Wine's service processes fault now and then under load on a busy machine; a test run that
sees such a fault outside our modules may try once more. A fault inside vshell.exe,
TakeCmd.dll or vesk.dll is never excused.
"""
import os
import re

# Wine's report of a crash, with the faulting address.
WINE_FAULT = re.compile(r"^wine: Unhandled .* at address ([0-9A-Fa-f]+)", re.M)
OUR_MODULES = ("vshell.exe", "TakeCmd.dll", "vesk.dll")


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
