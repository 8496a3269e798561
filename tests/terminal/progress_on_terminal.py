#!/usr/bin/env python3
"""The progress display of image transfers appears on standard error only
when it is a terminal, and changes nothing else.

Each transfer script runs twice against the same mpsim: once with standard
error on a pipe, once on a pseudo-terminal. Standard output and the log must
be byte-identical between the two runs, standard error empty on the pipe,
and the terminal must show the progress line of every transfer, ending at
100%.

    progress_on_terminal.py --quorvex QUORVEX --mpsim MPSIM
"""
import argparse
import os
import pty
import random
import re
import select
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim"))
import launch  # noqa: E402

STREAM_SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="secret">
    <MOX_SETTINGS MODE="write">
      <INSERT_VIRTUAL_FLOPPY IMAGE_LOCATION="floppy.img"/>
      <COPY_VIRTUAL_FLOPPY IMAGE_LOCATION="copy.img"/>
    </MOX_SETTINGS>
    <MOX_SETTINGS MODE="write">
      <UPDATE_MOX_FIRMWARE IMAGE_LOCATION="firmware.bin"/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""

HTTP_SCRIPT = """<MOXCL VERSION="2.0">
<LOGIN USER_LOGIN="admin" PASSWORD="password">
<MOX_SETTINGS MODE="write">
<UPDATE_MOX_FIRMWARE IMAGE_LOCATION="firmware.bin"/>
</MOX_SETTINGS>
</LOGIN>
</MOXCL>
"""

# generation, verbose, script, the lines the terminal must show at the end
TRANSFERS = [
    ("stream", True, STREAM_SCRIPT, [
        "Sending virtual floppy image: 1474560 of 1474560 bytes (100%)",
        "Receiving virtual floppy image: 1474560 of 1474560 bytes (100%)",
        "Sending firmware image: 3000000 of 3000000 bytes (100%)",
    ]),
    # Not verbose: the traces would show the random multipart boundary.
    ("http", False, HTTP_SCRIPT, [
        "Sending firmware image: 3000000 of 3000000 bytes (100%)",
    ]),
]

PROGRESS_LINE = re.compile(rb"\r[A-Za-z ]+: [0-9]+ of [0-9]+ bytes \([0-9]+%\), (-|[0-9.]+ (B|KiB|MiB|GiB)/s) *")


def write_files(folder, script):
    generator = random.Random(5)
    with open(os.path.join(folder, "script.xml"), "w") as handle:
        handle.write(script)
    with open(os.path.join(folder, "firmware.bin"), "wb") as handle:
        handle.write(generator.randbytes(3000000))
    with open(os.path.join(folder, "floppy.img"), "wb") as handle:
        handle.write(generator.randbytes(1474560))


def run(quorvex, port, folder, verbose, on_terminal):
    """One run in folder: (status, stdout, stderr, log)."""
    command = [quorvex] + (["-v"] if verbose else []) + ["-s", "127.0.0.1:" + port, "-f", "script.xml",
                                                         "-l", "run.log"]
    environment = dict(os.environ, QUORVEX_TIMEOUT="300")
    if on_terminal:
        master, slave = pty.openpty()
        process = subprocess.Popen(command, cwd=folder, env=environment, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        error = b""
        output = b""
        streams = {master: "terminal", process.stdout.fileno(): "stdout"}
        while streams:
            ready, _, _ = select.select(list(streams), [], [], 600)
            if not ready:
                process.kill()
                raise RuntimeError("quorvex hangs")
            for descriptor in ready:
                try:
                    data = os.read(descriptor, 65536)
                except OSError:  # the terminal's other end is closed
                    data = b""
                if not data:
                    del streams[descriptor]
                elif streams[descriptor] == "terminal":
                    error += data
                else:
                    output += data
        os.close(master)
        status = process.wait(timeout=600)
    else:
        done = subprocess.run(command, cwd=folder, env=environment, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=600)
        status, output, error = done.returncode, done.stdout, done.stderr
    with open(os.path.join(folder, "run.log"), "rb") as handle:
        log = handle.read()
    return status, output, error, log


def check(quorvex, mpsim, generation, verbose, script, expected):
    problems = []
    with tempfile.TemporaryDirectory() as top:
        runs = {}
        for kind in ("pipe", "terminal"):
            folder = os.path.join(top, kind)
            os.mkdir(folder)
            write_files(folder, script)
        process, port = launch.start(mpsim, ["--generation", generation], top)
        try:
            for kind in ("pipe", "terminal"):
                runs[kind] = run(quorvex, port, os.path.join(top, kind), verbose, kind == "terminal")
        finally:
            launch.stop(process)
        pipe, terminal = runs["pipe"], runs["terminal"]
        name = generation + (" -v" if verbose else "")
        if pipe[0] != 0 or terminal[0] != 0:
            problems.append("%s: exit statuses %d and %d, not 0" % (name, pipe[0], terminal[0]))
        if pipe[1] != terminal[1]:
            problems.append("%s: standard output differs with a terminal:\n%r\n%r" % (name, pipe[1], terminal[1]))
        if pipe[3] != terminal[3]:
            problems.append("%s: the log differs with a terminal" % name)
        if pipe[2] != b"":
            problems.append("%s: standard error on a pipe is not empty: %r" % (name, pipe[2]))
        shown = terminal[2].replace(b"\r\n", b"\n")
        finals = [line for line in shown.split(b"\n") if line]
        for want in expected:
            if not any(want.encode() in line.split(b"\r")[-1] for line in finals):
                problems.append("%s: the terminal does not end a line with %r:\n%r" % (name, want, terminal[2]))
        # Nothing but progress lines and their line ends reaches the terminal.
        rest = PROGRESS_LINE.sub(b"", terminal[2]).replace(b"\r", b"").replace(b"\n", b"").strip(b" ")
        if rest:
            problems.append("%s: the terminal shows more than progress lines: %r" % (name, rest))
        if len(re.findall(rb"\n", shown)) != len(expected):
            problems.append("%s: not one line per transfer on the terminal: %r" % (name, terminal[2]))
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quorvex", required=True)
    parser.add_argument("--mpsim", required=True)
    options = parser.parse_args()
    problems = []
    for generation, verbose, script, expected in TRANSFERS:
        problems += check(os.path.abspath(options.quorvex), os.path.abspath(options.mpsim), generation, verbose,
                          script, expected)
    for problem in problems:
        print(problem)
    print("progress display: %s" % ("FAILED" if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
