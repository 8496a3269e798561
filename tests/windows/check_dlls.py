#!/usr/bin/env python3
"""Fails when a Windows program imports a DLL that does not come with
Windows itself: the utility is one file that runs on any Windows, linked
statically (no libstdc++, libgcc, winpthread or OpenSSL DLL next to it).

    check_dlls.py OBJDUMP PROGRAM.exe
"""
import re
import subprocess
import sys

# What the program may use: parts of every Windows installation.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "ws2_32.dll", "crypt32.dll", "msvcrt.dll"}


def main():
    objdump, program = sys.argv[1], sys.argv[2]
    headers = subprocess.run([objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    imported = re.findall(r"DLL Name: (\S+)", headers)
    print("imports: " + " ".join(imported))
    foreign = [name for name in imported if name.lower() not in SYSTEM_DLLS]
    if not imported or foreign:
        print("not part of Windows: " + (" ".join(foreign) if foreign else "(no imports found)"))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
