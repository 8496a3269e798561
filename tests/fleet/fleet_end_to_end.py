#!/usr/bin/env python3
"""scripts/quorvex-fleet end to end: one script against a mixed set of mpsim
processors on loopback, through GNU parallel.

The processors: two that succeed (HTTP; stream with -t pairs from the
inventory), one that reports an error status, one that refuses the TLS
handshake, one that stays silent past the time bound, and a port where
nothing listens (tried again, and only that one). The password comes from
QUORVEX_PASSWORD: it must reach the processors and never stand on any
process's command line, in the job log or in the summary. The summary
shows the processor's own status and message, each run's duration and the
totals. Then a fleet whose processors all succeed ends with 0, two
processors on one host with -t pairs (one line with a trailing comment)
each get their own values, an inventory that names a processor twice is
refused, and a fleet spread with --sshlogin (over a stand-in for ssh)
brings its logs back.

    fleet_end_to_end.py --fleet scripts/quorvex-fleet --quorvex Q --mpsim M --fixtures DIR
"""
import argparse
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import launch  # noqa: E402
from process_watch import ProcessWatch, closed_port  # noqa: E402

PASSWORD = "fleet-s3cret-pw"

SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="scriptpass">
    <MOX_SETTINGS MODE="write">
      <SET_ITEM_A NAME_A="%label%"/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""

TIME_BOUND = 4

# ssh for a machine that is this one: the options and the host are dropped,
# the command runs in another home folder with this environment.
SSH_STAND_IN = """#!/bin/bash
echo "$*" >> {calls}
while [ $# -gt 0 ]; do
  case $1 in
    -l|-o|-p|-i|-S|-O) shift 2 ;;
    -*) shift ;;
    *) break ;;
  esac
done
shift
[ "${{1:-}}" = "--" ] && shift
cd {home} && HOME={home} exec bash -c "$*"
"""


class Processors:
    """mpsim instances, each in a folder of its own."""

    def __init__(self, mpsim, top):
        self.mpsim = mpsim
        self.top = top
        self.running = []

    def start(self, name, args, scenario=None):
        folder = os.path.join(self.top, name)
        os.mkdir(folder)
        if scenario is not None:
            with open(os.path.join(folder, "scenario"), "w") as handle:
                handle.write(scenario)
            args = args + ["--scenario", "scenario"]
        process, port = launch.start(self.mpsim, args + ["--record", "record", "--timeout", "60"], folder)
        self.running.append(process)
        return "127.0.0.1:" + port

    def received(self, name, connection):
        path = os.path.join(self.top, name, "record", "conn-%d.received" % connection)
        if not os.path.exists(path):
            return b""  # no such connection: the checks on it fail
        with open(path, "rb") as handle:
            return handle.read()

    def stop(self):
        for process in self.running:
            launch.stop(process)


def run_fleet(options, work, inventory, output, extra=(), variables=None):
    with open(os.path.join(work, inventory[0]), "w") as handle:
        handle.write(inventory[1])
    environment = dict(os.environ, QUORVEX_PASSWORD=PASSWORD, **(variables or {}))
    environment.pop("QUORVEX_USER", None)
    environment.pop("QUORVEX_TIMEOUT", None)
    # As under cron and some CI runners: no SHELL to tell GNU parallel which
    # shell runs the job.
    environment.pop("SHELL", None)
    command = [options.fleet, "-f", "script.xml", "-Q", options.quorvex, "-o", output, "-j", "6",
               "-T", str(TIME_BOUND), "-r", "2", "-w", "1"] + list(extra) + [inventory[0]]
    return subprocess.run(command, cwd=work, env=environment, capture_output=True, timeout=120)


def main():
    parser = argparse.ArgumentParser()
    for name in ("fleet", "quorvex", "mpsim", "fixtures"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    for name in ("fleet", "quorvex", "mpsim", "fixtures"):
        setattr(options, name, os.path.abspath(getattr(options, name)))
    if shutil.which("parallel") is None:
        print("GNU parallel is not installed (apt-get install parallel)")
        return 1

    problems = []

    def expect(condition, message):
        if not condition:
            problems.append(message)

    with tempfile.TemporaryDirectory() as top:
        work = os.path.join(top, "work")
        os.mkdir(work)
        with open(os.path.join(work, "script.xml"), "w") as handle:
            handle.write(SCRIPT)
        processors = Processors(options.mpsim, top)
        try:
            http_ok = processors.start("http-ok", ["--generation", "http"])
            stream_ok = processors.start("stream-ok", ["--generation", "stream"])
            error = processors.start("error-status", ["--generation", "stream"],
                                     "command SET_ITEM_A status 0x005F message 'Bad value'\n")
            refused = processors.start("handshake-refused", [
                "--generation", "stream",
                "--cert", os.path.join(options.fixtures, "ec-cert.pem"),
                "--key", os.path.join(options.fixtures, "ec-key.pem")])
            silent = processors.start("silent", ["--generation", "stream"], "command MOX_SETTINGS silent\n")
            nobody = "127.0.0.1:" + closed_port()
            inventory = ("mixed.txt",
                         "# processors of the test, in the order of the summary\n"
                         "\n"
                         "%s\n"
                         "   %s   label=from-inventory\r\n"
                         "%s\n"
                         "  # a comment with leading blanks\n"
                         "%s\n%s\n%s\n" % (http_ok, stream_ok, error, refused, silent, nobody))
            watch = ProcessWatch(PASSWORD.encode())
            watch.start()
            started = time.monotonic()
            done = run_fleet(options, work, inventory, "out")
            elapsed = time.monotonic() - started
            watch.stop()

            sys.stdout.write(done.stdout.decode(errors="replace"))
            sys.stdout.write(done.stderr.decode(errors="replace"))
            print("fleet of 6 took %.1f s" % elapsed)
            expect(done.returncode == 1, "exit status %d, not 1 (some processors failed)" % done.returncode)

            out = os.path.join(work, "out")
            with open(os.path.join(out, "summary.csv"), newline="") as handle:
                rows = list(csv.reader(handle))
            # The columns of before, then the processor's own status and
            # message (the failing one, else the last), and the seconds.
            expected = [
                ["processor", "status", "meaning", "tries", "log", "processor status", "message"],
                [http_ok, "0", "succeeded", "1", "out/logs/001-%s.log" % http_ok.replace(":", "_"),
                 "0x0000", "No error"],
                [stream_ok, "0", "succeeded", "1", "out/logs/002-%s.log" % stream_ok.replace(":", "_"),
                 "0x0000", "No error"],
                [error, "95", "processor error status, low byte 0x5F", "1",
                 "out/logs/003-%s.log" % error.replace(":", "_"), "0x005F", "Bad value"],
                [refused, "255", "the processor refused or did not complete the TLS handshake", "1",
                 "out/logs/004-%s.log" % refused.replace(":", "_"), "-", "-"],
                [silent, "-", "time bound of %d s reached: stopped" % TIME_BOUND, "1",
                 "out/logs/005-%s.log" % silent.replace(":", "_"), "-", "-"],
                [nobody, "255", "the processor could not be reached", "3",
                 "out/logs/006-%s.log" % nobody.replace(":", "_"), "-", "-"],
            ]
            expect([row[:7] for row in rows[:-1]] == expected and rows[0][7:] == ["seconds", "command", "identity"],
                   "summary.csv:\n%s\nexpected:\n%s" % (rows, expected))
            seconds = [float(row[7]) for row in rows[1:] if len(row) > 7]
            expect(len(seconds) == 7 and seconds[4] >= TIME_BOUND and max(seconds[:6]) <= seconds[6],
                   "durations %s: the stopped run took the time bound, the whole fleet the longest" % seconds)
            expect(rows[-1][:7] == ["total", "", "6 processors, 2 succeeded, 4 failed", "", "", "", ""],
                   "the totals row: %s" % rows[-1])
            with open(os.path.join(out, "summary.txt")) as handle:
                table = handle.read()
            expect(table in done.stdout.decode(), "the summary table is not printed")
            head = table.splitlines()[0].split()
            expect(head[:5] == ["processor", "status", "processor", "status", "message"] and
                   table.splitlines()[-1].startswith("total: 6 processors, 2 succeeded, 4 failed in ") and
                   [line.split()[2:4] for line in table.splitlines()[3:4]] == [["0x005F", "Bad"]],
                   "the summary table:\n" + table)
            with open(os.path.join(out, "joblog")) as handle:
                joblog = handle.read()
            expect(len(joblog.splitlines()) == 7, "the job log does not hold 6 jobs:\n" + joblog)

            # Every log is there; the one of the unreachable port shows its
            # three tries, the silent one was stopped mid-run.
            for row in expected[1:]:
                expect(os.path.exists(os.path.join(work, row[4])), "no log " + row[4])
            with open(os.path.join(work, expected[6][4][:-4] + ".out")) as handle:
                tries = handle.read().count("SIO_connect:reason(111)")
            expect(tries == 3, "the unreachable port was tried %d times, not 3" % tries)
            with open(os.path.join(work, expected[3][4][:-4] + ".out")) as handle:
                expect("Bad value" in handle.read(), "the error status run shows no message")

            # The password from the environment reached the processors, the
            # inventory's pairs the stream processor; it showed on no
            # command line and in no file of the fleet but the logs' masks.
            received = processors.received("http-ok", 2)
            expect(b'PASSWORD="' + PASSWORD.encode() + b'"' in received, "HTTP processor got no password")
            expect(b'NAME_A="%label%"' in received, "the HTTP processor got a substituted script")
            received = processors.received("stream-ok", 2)
            expect(b'PASSWORD = "' + PASSWORD.encode() + b'"' in received, "stream processor got no password")
            expect(b'NAME_A = "from-inventory"' in received, "the stream processor got no -t value")
            expect(not watch.leaks, "the password stood on a command line: %s" % watch.leaks[:3])
            expect(any(seen.endswith(b"quorvex") for seen in watch.seen), "the command-line watch saw no quorvex")
            for root, _, files in os.walk(out):
                for name in files:
                    with open(os.path.join(root, name), "rb") as handle:
                        expect(PASSWORD.encode() not in handle.read(), "the password is in " + name)
            expect(not [name for _, _, files in os.walk(work) for name in files if name.endswith("-var.xml")],
                   "a working copy was left behind")

            # A fleet of processors that all succeed ends with 0.
            done = run_fleet(options, work, ("good.txt", "%s\n%s label=x\n" % (http_ok, stream_ok)), "out-good")
            expect(done.returncode == 0, "all succeeded, exit status %d:\n%s" % (done.returncode, done.stdout))
            # Two processors on one host with -t pairs, each run in a folder
            # of its own: each gets its own values, and a trailing comment is
            # no part of them.
            first = processors.start("pairs-first", ["--generation", "stream"])
            second = processors.start("pairs-second", ["--generation", "http"])
            done = run_fleet(options, work, ("pairs.txt", "%s label=first   # rack 1\n%s\tlabel=second #\n"
                                             % (first, second)), "out-pairs")
            expect(done.returncode == 0, "pairs on one host: exit status %d:\n%s%s"
                   % (done.returncode, done.stdout, done.stderr))
            expect(b'NAME_A = "first"' in processors.received("pairs-first", 2),
                   "the first processor on the host did not get its -t value alone")
            expect(b'NAME_A="second"' in processors.received("pairs-second", 2),
                   "the second processor on the host did not get its -t value alone")
            # An inventory naming a processor twice is refused before any run.
            done = run_fleet(options, work, ("twice.txt", "%s\n%s\n" % (http_ok, http_ok)), "out-twice")
            expect(done.returncode == 2 and b"listed twice" in done.stderr,
                   "a processor listed twice: %d %s" % (done.returncode, done.stderr))
            expect(not os.path.exists(os.path.join(work, "out-twice", "joblog")), "a refused fleet ran")

            # Spread over "other machines": GNU parallel's --sshlogin with a
            # stand-in for ssh that runs the command here, in a home folder
            # of its own, and passes the environment on the way ssh's
            # SendEnv would. The script goes over, the logs come back, the
            # other side is left clean, and the password is on no command
            # line, not even ssh's.
            if shutil.which("rsync"):
                home = os.path.join(top, "remote-home")
                os.mkdir(home)
                stand_in = os.path.join(top, "ssh")
                calls = os.path.join(top, "ssh-calls")
                with open(stand_in, "w") as handle:
                    handle.write(SSH_STAND_IN.format(home=home, calls=calls))
                os.chmod(stand_in, 0o755)
                watch = ProcessWatch(PASSWORD.encode())
                watch.start()
                done = run_fleet(options, work, ("remote.txt", "%s\n%s\n" % (http_ok, error)), "out-remote",
                                 ["-S", "machine1"], {"PARALLEL_SSH": stand_in})
                watch.stop()
                with open(os.path.join(work, "out-remote", "summary.csv"), newline="") as handle:
                    rows = list(csv.reader(handle))
                expect(done.returncode == 1 and [row[:4] for row in rows[1:-1]] == [
                    [http_ok, "0", "succeeded", "1"], [error, "95", "processor error status, low byte 0x5F", "1"]],
                    "over ssh: %d %s %s" % (done.returncode, rows, done.stderr))
                for row in rows[1:]:
                    expect(os.path.exists(os.path.join(work, row[4])), "over ssh: no log " + row[4] + " came back")
                expect(os.listdir(home) == [], "over ssh: left behind %s" % os.listdir(home))
                with open(calls, "rb") as handle:
                    expect(PASSWORD.encode() not in handle.read(), "over ssh: the password was on ssh's command line")
                expect(not watch.leaks, "over ssh: the password stood on a command line: %s" % watch.leaks[:3])

                # A machine that takes the job and runs nothing (exit 0): no
                # log comes back, and that is no success.
                lazy = os.path.join(top, "ssh-lazy")
                with open(lazy, "w") as handle:
                    handle.write("#!/bin/sh\nexit 0\n")
                os.chmod(lazy, 0o755)
                done = run_fleet(options, work, ("lazy.txt", "%s\n" % http_ok), "out-lazy",
                                 ["-S", "machine1"], {"PARALLEL_SSH": lazy})
                with open(os.path.join(work, "out-lazy", "summary.csv"), newline="") as handle:
                    rows = list(csv.reader(handle))
                expect(done.returncode == 1 and [row[:4] for row in rows[1:-1]] == [
                    [http_ok, "-", "no record of a run came back (job status 0)", "-"]],
                    "a job that never ran: %d %s" % (done.returncode, rows))
            else:
                print("rsync is not installed: the runs over ssh are not tried")
        finally:
            processors.stop()

    for problem in problems:
        print("FAILED: " + problem)
    print("fleet end to end: %s" % ("FAILED" if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
