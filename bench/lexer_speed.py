#!/usr/bin/env python3
"""Times check-only runs on scripts with long lines and long tokens.

Usage: lexer_speed.py QUORVEX [RUNS]
Writes four scripts of about 10 MB each and prints the median time of RUNS
runs (default 7) of `quorvex -c` on each, standard output to /dev/null:

- lines:   the commands of generate_script.py, a thousand to a line (lines
           of about 100 KB);
- block:   ten certificate blocks of 1 MB each (the block is one token);
- name:    ten element names of 1 MB each;
- comment: ten comments of 1 MB each (read outside the pattern matcher).
"""

import os
import subprocess
import sys
import tempfile

from check_speed import median_seconds

HERE = os.path.dirname(os.path.abspath(__file__))
MEGABYTE = 1 << 20
HEAD = '<?xml version="1.0"?>\n<MOXCL VERSION="2.21">\n<LOGIN USER_LOGIN="admin" PASSWORD="password">\n'
TAIL = '</LOGIN>\n</MOXCL>\n'


def certificate_lines():
    line = "MIIDdzCCAl+gAwIBAgIEAgAAuTANBgkqhkiG9w0BAQUFADBaMQswCQYDVQQGEwJJRTES\n"
    return line * (MEGABYTE // len(line))


def long_lines(folder):
    generated = os.path.join(folder, "generated.xml")
    subprocess.run([sys.executable, os.path.join(HERE, "generate_script.py"), "100000", generated], check=True)
    with open(generated) as source:
        lines = source.read().split("\n")
    head, body, tail = lines[:3], lines[3:-3], lines[-3:]
    grouped = [" ".join(body[i:i + 1000]) for i in range(0, len(body), 1000)]
    return "\n".join(head + grouped + tail)


def in_blocks(command, count=10):
    return HEAD + "".join('<BLOCK_%d MODE="write">\n%s\n</BLOCK_%d>\n' % (n, command, n) for n in range(count)) + TAIL


def workloads(folder):
    return {
        "lines": long_lines(folder),
        "block": in_blocks("<IMPORT_CERTIFICATE>-----BEGIN CERTIFICATE-----\n" + certificate_lines() +
                           "-----END CERTIFICATE-----</IMPORT_CERTIFICATE>"),
        "name": in_blocks("<" + "N" * MEGABYTE + ' A="1"/>'),
        "comment": in_blocks("<!-- " + ("comment text " * (MEGABYTE // 13)) + "-->\n<X/>"),
    }


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    quorvex = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    with tempfile.TemporaryDirectory() as folder:
        for name, text in workloads(folder).items():
            path = os.path.join(folder, name + ".xml")
            with open(path, "w", newline="\n") as out:
                out.write(text)
            command = [quorvex, "-c", "-s", "192.0.2.1", "-f", path]
            with open(os.devnull, "wb") as sink:
                verdict = subprocess.run(command, stdout=sink, check=False).returncode
            if verdict != 0:
                sys.exit("the %s script did not check cleanly (exit status %d)" % (name, verdict))
            seconds = median_seconds(command, runs)
            size = os.path.getsize(path)
            print("%-8s %5.1f MB  %.3f s median of %d  (%.1f MB/s)" % (name, size / 1e6, seconds, runs,
                                                                    size / 1e6 / seconds))


if __name__ == "__main__":
    main()
