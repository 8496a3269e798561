#!/usr/bin/env python3
"""What the fleet runner costs around the utility.

Usage: fleet_speed.py N J [--fleet PROGRAM] [--previous PROGRAM] [--quorvex Q]
                          [--mpsim M] [--delay MS] [--singles K]

Starts one mpsim serving N simulated HTTP processors (--processors N, a
fixed key, so no key is generated), measures K single runs of quorvex
against one of them (login and one GET, run as the fleet runs it: -q, a
log, a report), then runs quorvex-fleet over all N, J at a time, and prints
as its last line

    fleet N=... J=...: wall W s, ideal I s, ratio R; runner CPU per processor C ms; peak memory per run M MiB,
    of the fleet's largest process F MiB

The ideal is ceil(N/J) times the median single run. The runner's CPU is the
CPU time of the fleet's whole process tree (GNU parallel, the shell around
each job, the summary) less N times the median CPU time of a single run;
the simulator's is not counted. The peak memory is the largest resident
size of a single run, and the largest of any process of the fleet's (with
the fleet mode, the one quorvex process that runs them all). --previous
runs another runner over the same processors right after (its line comes
first). Before it, the utility's own costs: the time from its
start to its first connection and the CPU time of a run and of a check.

Defaults: scripts/quorvex-fleet, build/quorvex and build/sim/mpsim of this
tree. --delay gives the simulator a pause before each answer.
"""
import argparse
import math
import os
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(TOP, "sim"))
import launch  # noqa: E402

SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="password">
    <MOX_SETTINGS MODE="read">
      <GET_FW_VERSION/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""


def measured(command):
    """Runs command; returns its wall seconds, CPU seconds and exit status."""
    started = time.monotonic()
    cpu = children_cpu()
    status = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    return time.monotonic() - started, children_cpu() - cpu, status


def peak_kib(command):
    """The peak resident size of command, from time(1): a child of this
    process would inherit this process's own peak as it starts."""
    with tempfile.NamedTemporaryFile("r") as peak:
        subprocess.run(["/usr/bin/time", "-q", "-f", "%M", "-o", peak.name] + command,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return int(peak.read().split()[-1])


def first_connection_ms(quorvex, folder, script):
    """Milliseconds from quorvex's start to its first connection, against a
    listener that accepts and closes."""
    with socket.socket() as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        port = listener.getsockname()[1]
        started = time.monotonic()
        process = subprocess.Popen([quorvex, "-s", "127.0.0.1:%d" % port, "-f", script, "-q"], cwd=folder,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        connection, _ = listener.accept()
        elapsed = (time.monotonic() - started) * 1000
        connection.close()
        process.wait()
    return elapsed


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("n", type=int)
    parser.add_argument("j", type=int)
    parser.add_argument("--fleet", default=os.path.join(TOP, "scripts", "quorvex-fleet"))
    parser.add_argument("--quorvex", default=os.path.join(TOP, "build", "quorvex"))
    parser.add_argument("--mpsim", default=os.path.join(TOP, "build", "sim", "mpsim"))
    parser.add_argument("--delay", type=int, default=0)
    parser.add_argument("--singles", type=int, default=7)
    parser.add_argument("--previous", help="another runner measured in the same go, after the first "
                        "(the previous release's: git show REV:scripts/quorvex-fleet > FILE)")
    options = parser.parse_args()
    quorvex = os.path.abspath(options.quorvex)
    fixtures = os.path.join(TOP, "tests", "cases", "fixtures")

    with tempfile.TemporaryDirectory() as top:
        script = os.path.join(top, "get.xml")
        with open(script, "w") as handle:
            handle.write(SCRIPT)
        sim_folder = os.path.join(top, "sim")
        os.mkdir(sim_folder)
        args = ["--generation", "http", "--timeout", "600",
                "--cert", os.path.join(fixtures, "rsa-a-cert.pem"), "--key", os.path.join(fixtures, "rsa-a-key.pem")]
        if options.delay:
            args += ["--answer-delay", str(options.delay)]
        process, ports = launch.start_many(os.path.abspath(options.mpsim), options.n, args, sim_folder, timeout=120)
        try:
            # The utility alone.
            starts = [first_connection_ms(quorvex, top, script) for _ in range(options.singles)]
            checks = [measured([quorvex, "-c", "-f", script, "-s", "127.0.0.1"]) for _ in range(options.singles)]

            def single(number):
                return [quorvex, "-q", "-s", "127.0.0.1:" + ports[number % len(ports)], "-f", script,
                        "-l", os.path.join(top, "single.log"), "-j", os.path.join(top, "single-%d.json" % number)]

            singles = [measured(single(number)) for number in range(options.singles)]
            if any(run[2] != 0 for run in singles):
                sys.exit("a single run failed: %s" % [run[2] for run in singles])
            run_wall = statistics.median(run[0] for run in singles)
            run_cpu = statistics.median(run[1] for run in singles)
            peak = max(peak_kib(single(number)) for number in range(3)) / 1024
            print("utility: first connection %.1f ms after its start; CPU %.1f ms a run, %.1f ms a check; "
                  "a run takes %.3f s" % (statistics.median(starts), run_cpu * 1000,
                                          statistics.median(check[1] for check in checks) * 1000, run_wall))

            # The fleet.
            inventory = os.path.join(top, "inventory.txt")
            with open(inventory, "w") as handle:
                handle.writelines("127.0.0.1:%s\n" % port for port in ports)
            environment = dict(os.environ)
            for name in ("QUORVEX_KNOWN_PROCESSORS", "QUORVEX_TIMEOUT"):
                environment.pop(name, None)
            fleets = [("fleet", options.fleet)]
            if options.previous:
                fleets.append(("previous", options.previous))
            results = []
            for label, fleet in fleets:
                output = "out-" + label
                with tempfile.NamedTemporaryFile("r") as peak_file:
                    cpu = children_cpu()
                    started = time.monotonic()
                    done = subprocess.run(["/usr/bin/time", "-q", "-f", "%M", "-o", peak_file.name,
                                           os.path.abspath(fleet), "-f", script, "-Q", quorvex, "-o", output,
                                           "-j", str(options.j), "-T", "600", "-r", "0", inventory],
                                          cwd=top, env=environment, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                    wall = time.monotonic() - started
                    tree_cpu = children_cpu() - cpu
                    fleet_peak = int(peak_file.read().split()[-1]) / 1024
                tail = done.stdout.decode(errors="replace").splitlines()[-3:]
                print("\n".join(tail))
                if done.returncode != 0:
                    sys.exit("the %s did not succeed everywhere (status %d)" % (label, done.returncode))
                results.append((label, wall, tree_cpu, fleet_peak))
        finally:
            launch.stop(process)

    ideal = math.ceil(options.n / options.j) * run_wall
    # The runner's own line last.
    for label, wall, tree_cpu, fleet_peak in reversed(results):
        runner = (tree_cpu - options.n * run_cpu) / options.n
        print("%s CPU in all %.2f s (the runs' share %.2f s)" % (label, tree_cpu, options.n * run_cpu))
        print("%s N=%d J=%d: wall %.1f s, ideal %.1f s, ratio %.2f; runner CPU per processor %.1f ms; "
              "peak memory per run %.1f MiB, of the fleet's largest process %.1f MiB"
              % (label, options.n, options.j, wall, ideal, wall / ideal, runner * 1000, peak, fleet_peak))


if __name__ == "__main__":
    main()
