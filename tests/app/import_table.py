#!/usr/bin/python3
"""Checks that the program's static import table names only KnownDLLs.

Windows loads a KnownDLL from System32 whatever lies beside the program; any
other DLL must be delay-loaded, so that it is loaded only after the program
has limited the search to System32.

Usage: import_table.py OBJDUMP EXE
"""

import subprocess
import sys

# KnownDLLs of Windows 7 to 11 (HKLM\SYSTEM\CurrentControlSet\Control\Session
# Manager\KnownDLLs), and ntdll, which is always loaded first.
KNOWN = {
    "advapi32", "clbcatq", "combase", "comdlg32", "coml2", "difxapi", "gdi32", "gdiplus", "imagehlp", "imm32",
    "kernel32", "msctf", "msvcrt", "normaliz", "nsi", "ntdll", "ole32", "oleaut32", "psapi", "rpcrt4", "sechost",
    "setupapi", "shcore", "shell32", "shlwapi", "user32", "wldap32", "ws2_32",
}


def main():
    objdump, exe = sys.argv[1:3]
    out = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    names = [line.split("DLL Name:", 1)[1].strip().lower() for line in out.splitlines() if "DLL Name:" in line]
    if not names:
        print("no import table found in " + exe)
        return 1
    static = [n for n in names if n.endswith(".dll")]
    others = sorted({n for n in static if n[:-4] not in KNOWN})
    print("imports: " + ", ".join(sorted(set(static))))
    if others:
        print("not KnownDLLs, so loaded from the program's folder: " + ", ".join(others))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
