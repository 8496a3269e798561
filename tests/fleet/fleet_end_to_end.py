#!/usr/bin/env python3
"""scripts/quorvex-fleet end to end: one script against a mixed set of mpsim
processors on loopback, through GNU parallel.

The processors: two that succeed (HTTP; stream with -t pairs from the
inventory), one that reports an error status, one that refuses the TLS
handshake, and a port where nothing listens (tried again, and only that
one). A processor that never answers is stopped at the time bound, in a
fleet of its own: only that fleet has a short bound, every other one has
minutes, so that a slow or busy machine passes it alike. The password comes from
QUORVEX_PASSWORD: it must reach the processors and never stand on any
process's command line, in the job log or in the summary. The summary
shows the processor's own status and message, each run's duration and the
totals. Then a fleet whose processors all succeed ends with 0, two
processors on one host with -t pairs (one line with a trailing comment)
each get their own values, an inventory that names a processor twice is
refused, and a fleet spread with --sshlogin (over a stand-in for ssh)
brings its logs back, and leaves nothing on the other machine, also after
a run stopped there at the time bound.

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
# A -t value of the inventory: on no command line, and nowhere on disk once
# the fleet has ended.
PAIR_VALUE = "from-inventory"

SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="scriptpass">
    <MOX_SETTINGS MODE="write">
      <SET_ITEM_A NAME_A="%label%"/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""

# The bound of the fleets that test it: their processor never answers, so
# the run is stopped at the bound however slow the machine is.
TIME_BOUND = 4
# Every other fleet: room for a loaded machine and the sanitizer build.
ROOM = 600

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


def run_fleet(options, work, inventory, output, extra=(), variables=None, bound=ROOM):
    with open(os.path.join(work, inventory[0]), "w") as handle:
        handle.write(inventory[1])
    environment = dict(os.environ, QUORVEX_PASSWORD=PASSWORD, **(variables or {}))
    environment.pop("QUORVEX_USER", None)
    environment.pop("QUORVEX_TIMEOUT", None)
    # As under cron and some CI runners: no SHELL to tell GNU parallel which
    # shell runs the job.
    environment.pop("SHELL", None)
    command = [options.fleet, "-f", "script.xml", "-Q", options.quorvex, "-o", output, "-j", "6",
               "-T", str(bound), "-r", "2", "-w", "1"] + list(extra) + [inventory[0]]
    return subprocess.run(command, cwd=work, env=environment, capture_output=True, timeout=2 * ROOM)


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
                         "   %s   label=%s\r\n"
                         "%s\n"
                         "  # a comment with leading blanks\n"
                         "%s\n%s\n" % (http_ok, stream_ok, PAIR_VALUE, error, refused, nobody))
            watch = ProcessWatch((PASSWORD.encode(), PAIR_VALUE.encode()))
            watch.start()
            started = time.monotonic()
            done = run_fleet(options, work, inventory, "out")
            elapsed = time.monotonic() - started
            watch.stop()

            sys.stdout.write(done.stdout.decode(errors="replace"))
            sys.stdout.write(done.stderr.decode(errors="replace"))
            print("fleet of 5 took %.1f s" % elapsed)
            expect(done.returncode == 1, "exit status %d, not 1 (some processors failed)" % done.returncode)

            out = os.path.join(work, "out")
            with open(os.path.join(out, "summary.csv"), newline="") as handle:
                rows = list(csv.reader(handle))
            # The columns of before, then the processor's own status and
            # message (the failing one, else the last), and the seconds.
            expected = [
                ["processor", "status", "meaning", "tries", "log", "processor status", "message"],
                [http_ok, "0", "the script succeeded", "1", "out/logs/001-%s.log" % http_ok.replace(":", "_"),
                 "0x0000", "No error"],
                [stream_ok, "0", "the script succeeded", "1", "out/logs/002-%s.log" % stream_ok.replace(":", "_"),
                 "0x0000", "No error"],
                [error, "95", "the processor reported an error status for a command", "1",
                 "out/logs/003-%s.log" % error.replace(":", "_"), "0x005F", "Bad value"],
                [refused, "255", "the processor and quorvex have no TLS version or cipher in common", "1",
                 "out/logs/004-%s.log" % refused.replace(":", "_"), "-", "-"],
                [nobody, "255", "the processor's address refused the connection", "3",
                 "out/logs/005-%s.log" % nobody.replace(":", "_"), "-", "-"],
            ]
            expect([row[:7] for row in rows[:-1]] == expected and
                   rows[0][7:] == ["seconds", "command", "identity", "cause"],
                   "summary.csv:\n%s\nexpected:\n%s" % (rows, expected))
            # The cause's code, for the runs that failed: from their reports,
            # never from the console's text.
            expect([row[10] for row in rows[1:]] == ["-", "-", "processor.status", "tls.no-common-protocol",
                                                       "connect.refused", ""],
                   "summary.csv, the causes: %s" % rows)
            seconds = [float(row[7]) for row in rows[1:] if len(row) > 7]
            expect(len(seconds) == 6 and seconds[4] >= 2 and max(seconds[:5]) <= seconds[5],
                   "durations %s: the run tried three times took the pauses, the whole fleet the longest"
                   % seconds)
            expect(rows[-1][:7] == ["total", "", "5 processors, 2 succeeded, 3 failed", "", "", "", ""],
                   "the totals row: %s" % rows[-1])
            with open(os.path.join(out, "summary.txt")) as handle:
                table = handle.read()
            expect(table in done.stdout.decode(), "the summary table is not printed")
            head = table.splitlines()[0].split()
            expect(head[:6] == ["processor", "status", "cause", "processor", "status", "message"] and
                   table.splitlines()[-1].startswith("total: 5 processors, 2 succeeded, 3 failed in ") and
                   table.splitlines()[-2] == "causes: 1 connect.refused, 1 processor.status, 1 tls.no-common-protocol" and
                   [line.split()[1:5] for line in table.splitlines()[1:6]] == [
                       ["0", "-", "0x0000", "No"], ["0", "-", "0x0000", "No"], ["95", "processor.status", "0x005F", "Bad"],
                       ["255", "tls.no-common-protocol", "-", "-"], ["255", "connect.refused", "-", "-"]],
                   "the summary table:\n" + table)
            with open(os.path.join(out, "joblog")) as handle:
                joblog = handle.read()
            expect(len(joblog.splitlines()) == 6, "the job log does not hold 5 jobs:\n" + joblog)

            # Every log is there; the one of the unreachable port shows its
            # three tries.
            for row in expected[1:]:
                expect(os.path.exists(os.path.join(work, row[4])), "no log " + row[4])
            with open(os.path.join(work, expected[5][4][:-4] + ".out")) as handle:
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
            expect(not watch.leaks, "the password or a -t value stood on a command line: %s" % watch.leaks[:3])
            expect(any(seen.endswith(b"quorvex") for seen in watch.seen), "the command-line watch saw no quorvex")
            for root, _, files in os.walk(out):
                for name in files:
                    with open(os.path.join(root, name), "rb") as handle:
                        expect(PASSWORD.encode() not in handle.read(), "the password is in " + name)
            expect(not [name for _, _, files in os.walk(work) for name in files if name.endswith("-var.xml")],
                   "a working copy was left behind")
            expect(not os.path.exists(os.path.join(out, "pairs")), "the -t pairs were left on disk")
            expect(oct(os.stat(os.path.join(out, "logs")).st_mode & 0o777) == oct(0o700),
                   "the logs folder is not the running user's alone")

            # A processor that never answers is stopped at the time bound: its
            # row says so, its run took the bound, the fleet ends with 1.
            done = run_fleet(options, work, ("bound.txt", "%s\n" % silent), "out-bound", bound=TIME_BOUND)
            with open(os.path.join(work, "out-bound", "summary.csv"), newline="") as handle:
                rows = list(csv.reader(handle))
            expect(done.returncode == 1 and [row[:5] for row in rows[1:-1]] == [
                [silent, "-", "time bound of %d s reached: stopped" % TIME_BOUND, "1",
                 "out-bound/logs/001-%s.log" % silent.replace(":", "_")]] and float(rows[1][7]) >= TIME_BOUND,
                "stopped at the time bound: %d %s" % (done.returncode, rows))

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
            # An inventory naming a processor twice is refused before any run,
            # however the two lines write it, and leaves no pairs behind.
            for number, (first, second) in enumerate([
                    (http_ok, http_ok), ("mp7.example", "MP7.example:443"), ("[fe80::5]", "fe80::5"),
                    ("[fe80::5]:443", "FE80::5 label=x")]):
                output = "out-twice-%d" % number
                done = run_fleet(options, work, ("twice.txt", "%s\n%s\n" % (first, second)), output)
                expect(done.returncode == 2 and b"listed twice" in done.stderr,
                       "%s and %s: %d %s" % (first, second, done.returncode, done.stderr))
                expect(not os.path.exists(os.path.join(work, output, "joblog")), "a refused fleet ran")
                expect(not os.path.exists(os.path.join(work, output, "pairs")), "a refused fleet left its pairs")
            # An output folder others may write in is refused: another user
            # could have planted links there.
            shared = os.path.join(work, "out-shared")
            os.mkdir(shared)
            os.chmod(shared, 0o777)
            done = run_fleet(options, work, ("shared.txt", "%s\n" % http_ok), "out-shared")
            expect(done.returncode == 2 and b"others than you can write in it" in done.stderr and
                   os.listdir(shared) == [], "an output folder others can write: %d %s"
                   % (done.returncode, done.stderr))

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
                    [http_ok, "0", "the script succeeded", "1"],
                    [error, "95", "the processor reported an error status for a command", "1"]],
                    "over ssh: %d %s %s" % (done.returncode, rows, done.stderr))
                for row in rows[1:]:
                    expect(os.path.exists(os.path.join(work, row[4])), "over ssh: no log " + row[4] + " came back")
                expect(os.listdir(home) == [], "over ssh: left behind %s" % os.listdir(home))
                with open(calls, "rb") as handle:
                    expect(PASSWORD.encode() not in handle.read(), "over ssh: the password was on ssh's command line")
                expect(not watch.leaks, "over ssh: the password stood on a command line: %s" % watch.leaks[:3])

                # A run stopped at the time bound on the other machine: its
                # logs come back, and what the fleet sent there (its pairs
                # among them) and what the run wrote there is taken away all
                # the same.
                done = run_fleet(options, work, ("remote-bound.txt", "%s label=held\n" % silent), "out-remote-bound",
                                 ["-S", "machine1"], {"PARALLEL_SSH": stand_in}, bound=TIME_BOUND)
                with open(os.path.join(work, "out-remote-bound", "summary.csv"), newline="") as handle:
                    rows = list(csv.reader(handle))
                expect(done.returncode == 1 and [row[:4] for row in rows[1:-1]] == [
                    [silent, "-", "time bound of %d s reached: stopped" % TIME_BOUND, "1"]] and
                    os.path.exists(os.path.join(work, rows[1][4])),
                    "over ssh, stopped at the time bound: %d %s" % (done.returncode, rows))
                expect(os.listdir(home) == [], "over ssh, stopped at the time bound: left behind %s"
                       % [os.path.join(root, name) for root, folders, files in os.walk(home)
                          for name in folders + files])

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
