#!/usr/bin/env python3
"""Times a check-only run on a large script against libxml2's streaming
parser (`xmllint --noout --stream`) and `wc -l` on the same file.

Usage: check_speed.py [--previous OLD_QUORVEX] QUORVEX [COMMANDS] [RUNS]
Generates a script of COMMANDS commands (default 100,000, about 10 MB) and
runs, RUNS times each (default 11) and taking turns so that load from
elsewhere hits all alike:

  quorvex -c      the checking pass, with its token trace (the trace is part
                  of the job; standard output goes to /dev/null)
  previous -c     the same with OLD_QUORVEX (the previous release's binary),
                  when --previous names one
  xmllint         --noout --stream: parses the same file as XML with
                  libxml2's streaming reader and writes nothing (Debian
                  package libxml2-utils)
  wc -l           reads the file and counts its lines: the floor of reading
                  it, no parsing at all

It prints the medians and quorvex's ratio to each (and the previous
release's ratio to xmllint). With /usr/bin/time it
also prints the peak memory of a check-only run on a script a tenth of the
size and on the full one, which should be about the same: the checker keeps
no more than the current token.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def seconds(command):
    start = time.perf_counter()
    with open(os.devnull, "wb") as sink:
        subprocess.run(command, stdout=sink, stderr=sink, check=False)
    return time.perf_counter() - start


def median_seconds(command, runs):
    """Median time of RUNS runs of command (lexer_speed.py uses it too)."""
    return statistics.median(seconds(command) for _ in range(runs))


def peak_kilobytes(command):
    if not os.path.exists("/usr/bin/time"):
        return None
    with open(os.devnull, "wb") as sink:
        done = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=sink, stderr=subprocess.PIPE, check=False)
    for line in done.stderr.decode(errors="replace").splitlines():
        if "Maximum resident set size" in line:
            return int(line.split(":")[1])
    return None


def main():
    arguments = sys.argv[1:]
    previous = None
    if arguments[:1] == ["--previous"] and len(arguments) > 1:
        previous = os.path.abspath(arguments[1])
        arguments = arguments[2:]
    if not arguments:
        sys.exit(__doc__)
    quorvex = os.path.abspath(arguments[0])
    commands = int(arguments[1]) if len(arguments) > 1 else 100000
    runs = int(arguments[2]) if len(arguments) > 2 else 11
    xmllint = shutil.which("xmllint")
    if xmllint is None:
        sys.exit("xmllint not found (Debian package libxml2-utils)")
    with tempfile.TemporaryDirectory() as folder:
        big = os.path.join(folder, "big.xml")
        small = os.path.join(folder, "small.xml")
        generator = os.path.join(HERE, "generate_script.py")
        subprocess.run([sys.executable, generator, str(commands), big], check=True)
        subprocess.run([sys.executable, generator, str(commands // 10), small], check=True)

        def check(path, program=quorvex):
            return [program, "-c", "-s", "192.0.2.1", "-f", path]

        xmllint_command = [xmllint, "--noout", "--stream", big]
        contenders = [("quorvex -c", check(big)), ("xmllint", xmllint_command), ("wc -l", ["wc", "-l", big])]
        if previous:
            contenders.insert(1, ("previous -c", check(big, previous)))
        with open(os.devnull, "wb") as sink:
            for name, command in contenders:
                if name.endswith("-c"):
                    verdict = subprocess.run(command, stdout=sink, check=False).returncode
                    if verdict != 0:
                        sys.exit("%s: the generated script did not check cleanly (exit status %d)" % (name, verdict))
            well_formed = subprocess.run(xmllint_command, stdout=sink, stderr=sink, check=False).returncode
        if well_formed != 0:
            sys.exit("xmllint refused the generated script (exit status %d)" % well_formed)
        times = {name: [] for name, _ in contenders}
        for _ in range(runs):
            for name, command in contenders:
                times[name].append(seconds(command))
        medians = {name: statistics.median(values) for name, values in times.items()}
        size = os.path.getsize(big)
        print("script: %d commands, %.1f MB; medians of %d runs, taking turns" % (commands, size / 1e6, runs))
        for name, _ in contenders:
            print("%-11s %.3f s (%.1f MB/s)" % (name + ":", medians[name], size / 1e6 / medians[name]))
        print("ratio to xmllint: %.2f" % (medians["quorvex -c"] / medians["xmllint"]))
        print("ratio to wc -l:   %.1f" % (medians["quorvex -c"] / medians["wc -l"]))
        if previous:
            print("ratio to the previous release: %.2f" % (medians["quorvex -c"] / medians["previous -c"]))
            print("previous release to xmllint:   %.2f" % (medians["previous -c"] / medians["xmllint"]))
        small_peak, big_peak = peak_kilobytes(check(small)), peak_kilobytes(check(big))
        if small_peak and big_peak:
            print("peak memory of quorvex -c: %d KB at %d commands, %d KB at %d commands" %
                  (small_peak, commands // 10, big_peak, commands))
        xmllint_peak = peak_kilobytes(xmllint_command)
        if xmllint_peak:
            print("peak memory of xmllint:    %d KB at %d commands" % (xmllint_peak, commands))


if __name__ == "__main__":
    main()
