#!/usr/bin/env python3
"""Fails when an #include goes the wrong way between the layers.

The folders are layers, each using only those below it:

    records <- platform <- link <- prepare <- script <- driver

and mpsim (sim/) uses none of them. The graph is derived from the
#include "folder/file.h" lines of every source file; it is printed, so
that a failure shows the whole picture.

Only platform/ knows which system it is built for: a test of _WIN32 (or of
another system's macro) anywhere else fails too, and so does a system
header (POSIX or Windows: <unistd.h>, <sys/...>, <windows.h>, ...) included
anywhere else, so every other folder builds unchanged for Linux and Windows.

Only the writers of records/ (and the console primitives of platform/,
such as the trace's buffered write) write to standard output or error: a
printf, puts, fputs, fprintf or fwrite to stdout or stderr, a BIO made on
stdout, or std::cout, std::cerr, anywhere else fails, so that where every
message goes is decided in one place.
"""
import os
import re
import sys

LAYERS = ["records", "platform", "link", "prepare", "script", "driver"]
SOURCES = (".h", ".cpp", ".l", ".y")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)
SYSTEM_TEST = re.compile(r'^\s*#\s*(?:if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__MINGW\w*|_MSC_VER|__linux__|__GLIBC__)\b', re.M)


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


SYSTEM_HEADER = re.compile(
    r'^\s*#\s*include\s+<((?:unistd|fcntl|strings|netdb|poll|dirent|termios|pthread|signal|dlfcn|io|direct|'
    r'windows|winsock2?|ws2tcpip|wincrypt|shlobj|shellapi|process)\.h|(?:sys|arpa|netinet|net)/[^>]+)>', re.M)
CONSOLE_WRITE = re.compile(
    r'\b(?:std::)?(?:printf|puts|putchar|vprintf)\s*\(|'
    r'\b(?:std::)?(?:fprintf|fputs|fwrite|fputc|putc|vfprintf)\s*\((?:[^;]*?,\s*)?(?:stdout|stderr)\s*[,)]|'
    r'\bstd::(?:cout|cerr|clog)\b|\bBIO_new_fp\s*\(\s*(?:stdout|stderr)')


def outside(top, folders, pattern, strip_comments=False):
    """Lines matching pattern in the sources of the layers not in folders."""
    found = []
    for folder in LAYERS:
        if folder in folders:
            continue
        for root, _, files in os.walk(os.path.join(top, folder)):
            for name in files:
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(root, name)
                with open(path, encoding="utf-8", errors="replace") as handle:
                    text = handle.read()
                if strip_comments:
                    text = re.sub(r'//[^\n]*|/\*.*?\*/', lambda m: re.sub(r'[^\n]', ' ', m.group(0)), text,
                                  flags=re.S)
                for match in pattern.finditer(text):
                    line = text.count("\n", 0, match.start()) + 1
                    found.append("%s:%d: %s" % (os.path.relpath(path, top), line, match.group(0).strip()))
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
    systems = outside(top, ("platform",), SYSTEM_TEST)
    for place in systems:
        print("\nonly platform/ may test the system: " + place)
    headers = outside(top, ("platform",), SYSTEM_HEADER)
    for place in headers:
        print("\nonly platform/ may include a system header: " + place)
    writes = outside(top, ("records", "platform"), CONSOLE_WRITE, strip_comments=True)
    for place in writes:
        print("\nonly the writers of records/ may write to the console: " + place)
    return 1 if wrong or systems or headers or writes else 0


if __name__ == "__main__":
    sys.exit(main())
