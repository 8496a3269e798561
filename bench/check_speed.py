#!/usr/bin/env python3
"""Times a check-only run on a large script against `wc -l` on the same file.

Usage: check_speed.py QUORVEX [COMMANDS] [RUNS]
Generates a script of COMMANDS commands (default 100,000, about 10 MB),
runs `quorvex -c` on it RUNS times (default 5) with standard output to
/dev/null, does the same with `wc -l`, and prints the medians and their
ratio. With /usr/bin/time it also prints the peak memory of a check-only
run on a script a tenth of the size and on the full one, which should be
about the same: the checker keeps no more than the current token.
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def median_seconds(command, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        with open(os.devnull, "wb") as sink:
            subprocess.run(command, stdout=sink, stderr=sink, check=False)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


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
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    quorvex = os.path.abspath(sys.argv[1])
    commands = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    with tempfile.TemporaryDirectory() as folder:
        big = os.path.join(folder, "big.xml")
        small = os.path.join(folder, "small.xml")
        generator = os.path.join(HERE, "generate_script.py")
        subprocess.run([sys.executable, generator, str(commands), big], check=True)
        subprocess.run([sys.executable, generator, str(commands // 10), small], check=True)

        def check(path):
            return [quorvex, "-c", "-s", "192.0.2.1", "-f", path]

        with open(os.devnull, "wb") as sink:
            verdict = subprocess.run(check(big), stdout=sink, check=False).returncode
        if verdict != 0:
            sys.exit("the generated script did not check cleanly (exit status %d)" % verdict)
        size = os.path.getsize(big)
        quorvex_time = median_seconds(check(big), runs)
        wc_time = median_seconds(["wc", "-l", big], runs)
        print("script: %d commands, %.1f MB" % (commands, size / 1e6))
        print("quorvex -c: %.3f s median of %d (%.1f MB/s)" % (quorvex_time, runs, size / 1e6 / quorvex_time))
        print("wc -l:      %.3f s median of %d" % (wc_time, runs))
        print("ratio:      %.1f" % (quorvex_time / wc_time))
        small_peak, big_peak = peak_kilobytes(check(small)), peak_kilobytes(check(big))
        if small_peak and big_peak:
            print("peak memory: %d KB at %d commands, %d KB at %d commands" %
                  (small_peak, commands // 10, big_peak, commands))


if __name__ == "__main__":
    main()
