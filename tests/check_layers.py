#!/usr/bin/env python3
"""Fails when an #include goes the wrong way between the layers.

The folders are layers, each using only those below it:

    records <- platform <- link <- prepare <- script <- driver

and mpsim (sim/) uses none of them. The graph is derived from the
#include "folder/file.h" lines of every source file; it is printed, so
that a failure shows the whole picture.
"""
import os
import re
import sys

LAYERS = ["records", "platform", "link", "prepare", "script", "driver"]
SOURCES = (".h", ".cpp", ".l", ".y")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)


def edges(top):
    found = {}
    for folder in LAYERS + ["sim"]:
        base = os.path.join(top, folder)
        for root, _, files in os.walk(base):
            for name in files:
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(root, name)
                with open(path, encoding="utf-8", errors="replace") as handle:
                    for target in INCLUDE.findall(handle.read()):
                        if target != folder and (target in LAYERS or target == "sim"):
                            found.setdefault((folder, target), []).append(os.path.relpath(path, top))
    return found


def main():
    top = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    wrong = []
    graph = edges(top)
    for (source, target), files in sorted(graph.items()):
        allowed = source in LAYERS and target in LAYERS and LAYERS.index(target) < LAYERS.index(source)
        print("%-8s -> %-8s %s (%d files)" % (source, target, "ok" if allowed else "WRONG WAY", len(set(files))))
        if not allowed:
            wrong.append((source, target, files))
    for source, target, files in wrong:
        print("\n%s must not include %s:" % (source, target))
        for path in sorted(set(files)):
            print("  " + path)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
