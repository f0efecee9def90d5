#!/usr/bin/env python3
"""The plug-in DLLs export exactly the shell's names, undecorated, and import the
services from TakeCmd.dll by their undecorated names, as the real shell provides them."""
import re
import subprocess
import sys

EXPORTS = sorted(["GetPluginInfo", "InitializePlugin", "ShutdownPlugin", "Help", "Usage",
                  "vesk", "_vesk", "f_vesk"])
OBJDUMP = {"win32": "i686-w64-mingw32-objdump", "win64": "x86_64-w64-mingw32-objdump"}


def table(dump, start):
    """Names listed after a heading of objdump -p, up to the next blank line."""
    out, on = [], False
    for line in dump.splitlines():
        if start in line:
            on = True
            continue
        if on:
            if not line.strip():
                break
            m = re.match(r"\s*\[\s*\d+\]\s+(\S+)", line)
            if m:
                out.append(m.group(1))
    return out


def imports_from(dump, dll):
    names, on = [], False
    for line in dump.splitlines():
        if line.strip().startswith("DLL Name:"):
            on = line.split(":", 1)[1].strip().lower() == dll.lower()
            continue
        if on:
            m = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)", line)
            if m:
                names.append(m.group(1))
            elif not line.strip():
                on = False
    return names


def main(dirs):
    passed = failed = 0
    for d in dirs:
        target = "win64" if "64" in d else "win32"
        dump = subprocess.run([OBJDUMP[target], "-p", f"{d}/vesk.dll"], capture_output=True,
                              text=True).stdout
        got = sorted(table(dump, "[Ordinal/Name Pointer] Table"))
        checks = [
            (f"{target}: vesk.dll exports exactly the shell's names", got == EXPORTS, got),
        ]
        imports = imports_from(dump, "TakeCmd.dll")
        checks.append((f"{target}: services imported from TakeCmd.dll undecorated",
                       bool(imports) and all("@" not in n for n in imports), imports))
        runtime = [l.split(":", 1)[1].strip() for l in dump.splitlines()
                   if l.strip().startswith("DLL Name:")]
        checks.append((f"{target}: no mingw runtime DLL needed",
                       not any(n.lower().startswith(("libgcc", "libstdc++", "libwinpthread"))
                               for n in runtime), runtime))
        host = subprocess.run([OBJDUMP[target], "-p", f"{d}/TakeCmd.dll"], capture_output=True,
                              text=True).stdout
        host_exports = table(host, "[Ordinal/Name Pointer] Table")
        checks.append((f"{target}: TakeCmd.dll exports every service imported",
                       set(imports) <= set(host_exports), sorted(set(imports) - set(host_exports))))
        for name, ok, detail in checks:
            if ok:
                passed += 1
                print(f"ok {name}")
            else:
                failed += 1
                print(f"FAIL {name}: {detail}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
