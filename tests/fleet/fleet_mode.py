#!/usr/bin/env python3
"""quorvex's fleet mode (--inventory): many processors from one process.

Against simulated processors on loopback: several processors run at once
in the one process (their jobs overlap in time), each with its own -t
values, log, report, console output and tries; a processor that never
answers is stopped at its deadline while the others finish; a signal that
ends the process removes every run's working copy and leaves every run's
short report.

    fleet_mode.py --quorvex Q --mpsim M
"""
import argparse
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fleet_end_to_end import SCRIPT, Processors  # noqa: E402

BOUND = 8


def joblog(output):
    """{name: (start, seconds, status)} from the job log."""
    jobs = {}
    with open(os.path.join(output, "joblog")) as handle:
        for line in handle.read().splitlines()[1:]:
            fields = line.split("\t")
            jobs[fields[8].split()[1]] = (float(fields[2]), float(fields[3]), int(fields[6]))
    return jobs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quorvex", required=True)
    parser.add_argument("--mpsim", required=True)
    options = parser.parse_args()
    quorvex = os.path.abspath(options.quorvex)
    problems = []

    def expect(condition, message):
        if not condition:
            problems.append(message)

    with tempfile.TemporaryDirectory() as top:
        processors = Processors(os.path.abspath(options.mpsim), top)
        start = processors.start

        def received(name):
            return processors.received(name, 2)

        def fleet(inventory, output, *extra):
            with open(os.path.join(top, output + ".txt"), "w") as handle:
                handle.write(inventory)
            environment = dict(os.environ, QUORVEX_PASSWORD="fleet-pw")
            for name in ("QUORVEX_TIMEOUT", "QUORVEX_VARIABLES", "QUORVEX_KNOWN_PROCESSORS"):
                environment.pop(name, None)
            return subprocess.Popen([quorvex, "--inventory", output + ".txt", "--output", output, "-f", "script.xml",
                                     "--retry-wait", "1"] + list(extra), cwd=top, env=environment,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE)

        with open(os.path.join(top, "script.xml"), "w") as handle:
            handle.write(SCRIPT)
        try:
            # Six processors that each take a second or more to answer, all
            # at once from the one process; and one that never answers,
            # stopped at its deadline while the others finish.
            slow = [start("slow-%d" % n, ["--generation", "stream" if n % 2 else "http", "--answer-delay", "100"])
                    for n in range(6)]
            silent = start("silent", ["--generation", "stream"], "command MOX_SETTINGS silent\n")
            inventory = "".join("%s label=value-%d\n" % (processor, n) for n, processor in enumerate(slow))
            inventory += "%s label=held\n" % silent
            started = time.monotonic()
            process = fleet(inventory, "out", "--jobs", "7", "--time-bound", str(BOUND))
            stdout, stderr = process.communicate(timeout=300)
            elapsed = time.monotonic() - started
            print("fleet of 7 took %.1f s" % elapsed)
            expect(process.returncode == 1, "exit status %d, not 1: %s" % (process.returncode, stderr))
            jobs = joblog(os.path.join(top, "out"))
            names = ["%03d-%s" % (n + 1, p.replace(":", "_")) for n, p in enumerate(slow + [silent])]
            expect(sorted(jobs) == sorted(names), "the job log holds %s" % sorted(jobs))
            # At once: every job started before the first one ended.
            if sorted(jobs) == sorted(names):
                first_end = min(start + seconds for start, seconds, _ in jobs.values())
                expect(all(start < first_end for start, _, _ in jobs.values()),
                       "the runs did not go at once: %s" % jobs)
                expect([jobs[name][2] for name in names[:6]] == [0] * 6, "a slow processor failed: %s" % jobs)
                expect(all(jobs[name][1] < BOUND for name in names[:6]),
                       "a slow processor's run waited for the silent one: %s" % jobs)
                expect(BOUND <= jobs[names[6]][1] < BOUND + 3 and jobs[names[6]][2] != 0,
                       "the silent processor was not stopped at its deadline: %s" % (jobs[names[6]],))
            logs = os.path.join(top, "out", "logs")
            for n, name in enumerate(names[:6]):
                expect(("value-%d" % n).encode() in received("slow-%d" % n),
                       "processor %d did not get its own -t value" % n)
                for suffix in (".log", ".json", ".out", ".tries"):
                    expect(os.path.exists(os.path.join(logs, name + suffix)), "no %s%s" % (name, suffix))
            with open(os.path.join(logs, names[6] + ".tries")) as handle:
                expect(handle.read() == "1 stopped\n", "the silent processor's tries do not say it was stopped")
            with open(os.path.join(logs, names[6] + ".out")) as handle:
                expect("The time bound of %d seconds for this processor was reached: giving up." % BOUND
                       in handle.read(), "the silent processor's console does not say why it ended")
            with open(os.path.join(logs, names[6] + ".json")) as handle:
                expect(json.load(handle)["outcome"] == "failed", "the silent processor's report")
            expect(not glob.glob(os.path.join(logs, "*", "*-var.xml")), "a working copy was left behind")
            expect(not [entry for entry in os.listdir(logs) if os.path.isdir(os.path.join(logs, entry))],
                   "an empty run folder was left behind")

            # A line on standard error per failure as it ends; --halt starts
            # no new run after N failures, --canary runs the rest only when
            # the first K all succeeded (a closed port fails at once).
            closed = "127.0.0.1:1"
            for extra, inventory, rows, words in [
                    (["--canary", "1"], [closed] + slow[:3], 1, b"a canary failed: the other 3 processors are not run"),
                    (["--canary", "2"], slow[:2] + [closed, slow[2]], 4, None),
                    (["--halt", "1", "--jobs", "1"], [slow[0], closed] + slow[1:3], 2,
                     b"1 failure: no new run is started (--halt)")]:
                output = "out-control-%d" % len(problems)
                shutil.rmtree(os.path.join(top, output), ignore_errors=True)
                process = fleet("".join(line + "\n" for line in inventory), output, *extra)
                _, stderr = process.communicate(timeout=300)
                jobs = joblog(os.path.join(top, output))
                expect(process.returncode == 1 and len(jobs) == rows and
                       ("%s failed (exit status 255" % closed).encode() in stderr and
                       (words is None or words in stderr),
                       "%s: %d, %d runs, %s" % (extra, process.returncode, len(jobs), stderr))

            # A signal while three runs wait on silent processors: every
            # working copy goes, every run leaves its short report.
            held = [start("held-%d" % n, ["--generation", "stream"], "command MOX_SETTINGS silent\n")
                    for n in range(3)]
            process = fleet("".join("%s label=held-%d\n" % (p, n) for n, p in enumerate(held)), "out-signal",
                            "--jobs", "3", "--time-bound", "120")
            copies = os.path.join(top, "out-signal", "logs", "*", "*-var.xml")
            waited = time.monotonic()
            # The third connection (the script's) of each: all three runs are past their working copies.
            while (not all(os.path.exists(os.path.join(top, "held-%d" % n, "record", "conn-2.received"))
                           for n in range(3)) and time.monotonic() - waited < 120):
                time.sleep(0.1)
            expect(len(glob.glob(copies)) == 3, "the three runs did not all have a working copy")
            process.send_signal(signal.SIGTERM)
            process.communicate(timeout=60)
            expect(process.returncode == -signal.SIGTERM, "ended with %d, not by SIGTERM" % process.returncode)
            expect(not glob.glob(copies), "working copies left after the signal: %s" % glob.glob(copies))
            reports = sorted(glob.glob(os.path.join(top, "out-signal", "logs", "*.json")))
            interrupted = []
            for report in reports:
                with open(report) as handle:
                    interrupted.append(json.load(handle).get("interrupted"))
            expect(interrupted == [True] * 3, "the short reports after the signal: %s" % interrupted)
        finally:
            processors.stop()

    for problem in problems:
        print("FAILED: " + problem)
    print("fleet mode: %s" % ("FAILED" if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
