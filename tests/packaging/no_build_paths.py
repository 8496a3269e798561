#!/usr/bin/env python3
"""The programs as they are shipped (stripped of debugging sections) carry
no path of the machine that built them: not the source tree, and above all
no folder under .deps/ where the TLS library would look for its
configuration, modules or engines.

    no_build_paths.py STRIP SOURCE_DIR PROGRAM...
"""
import os
import shutil
import subprocess
import sys
import tempfile


def main():
    strip, source = sys.argv[1], os.path.realpath(sys.argv[2])
    needles = [source.encode(), b"/.deps/", b"\\.deps\\", b".deps/openssl"]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for program in sys.argv[3:]:
            copy = os.path.join(folder, os.path.basename(program))
            shutil.copyfile(program, copy)
            subprocess.run([strip, copy], check=True)
            with open(copy, "rb") as handle:
                data = handle.read()
            found = set()
            for needle in needles:
                at = data.find(needle)
                while at >= 0:
                    start = data.rfind(b"\0", 0, at) + 1
                    found.add(data[start:data.find(b"\0", at)])
                    at = data.find(needle, at + 1)
            for text in sorted(found):
                print("FAILED: %s holds %r" % (os.path.basename(program), text))
            failures += len(found)
    print("build paths: %s" % ("FAILED" if failures else "none"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
