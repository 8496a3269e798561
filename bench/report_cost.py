#!/usr/bin/env python3
"""What the run report (-j) costs a run: CPU time of quorvex with and
without it, taking turns.

Usage: report_cost.py QUORVEX MPSIM [RUNS]

Two workloads, each timed RUNS times (default 9), the two ways alternating:

  stream    the stream benchmark's 1,000-command script (bench/generate_script.py:
            every fifth command a GET, so 200 answers carry data) against
            mpsim in stream generation with --identity, run with -q off
  check     quorvex -c on a 100,000-command script (about 10 MB): nothing is
            gathered in a check, so its time must not move

CPU time is the child's user and system time (the 1000 ms closing pause
costs none); the report is checked to follow the schema once, untimed.
"""

import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "sim"))
import launch  # noqa: E402


def child_cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command, folder):
    cpu = child_cpu_seconds()
    done = subprocess.run(command, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        sys.exit("quorvex failed (exit status %d): %s" % (done.returncode, " ".join(command)))
    return child_cpu_seconds() - cpu


def compare(label, plain, reported, folder, runs):
    without, with_report = [], []
    for _ in range(runs):
        without.append(timed(plain, folder))
        with_report.append(timed(reported, folder))
    a, b = statistics.median(without), statistics.median(with_report)
    print("%s: without -j %.4f s, with -j %.4f s CPU (medians of %d): %+.1f %%"
          % (label, a, b, runs, 100.0 * (b - a) / a))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    quorvex, mpsim = (os.path.abspath(path) for path in sys.argv[1:3])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 9
    folder = tempfile.mkdtemp(prefix="quorvex-report-cost-")
    generate = os.path.join(HERE, "generate_script.py")
    small, big = os.path.join(folder, "small.xml"), os.path.join(folder, "big.xml")
    subprocess.run([sys.executable, generate, "1000", small], check=True)
    subprocess.run([sys.executable, generate, "100000", big], check=True)
    report = os.path.join(folder, "r.json")

    simulator, port = launch.start(mpsim, ["--generation", "stream", "--identity", "bench"], folder)
    try:
        base = [quorvex, "-s", "127.0.0.1:" + port, "-l", os.path.join(folder, "run.log"), "-f", small]
        timed(base + ["-j", report], folder)
        with open(report) as handle:
            answers = len(json.load(handle)["responses"])
        print("stream: %d answers in the report, %d bytes" % (answers, os.path.getsize(report)))
        compare("stream", base, base + ["-j", report], folder, runs)
    finally:
        launch.stop(simulator)
    check = [quorvex, "-c", "-s", "mp1.example", "-f", big]
    compare("check", check, check + ["-j", report], folder, runs)


if __name__ == "__main__":
    main()
