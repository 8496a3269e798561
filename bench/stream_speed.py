#!/usr/bin/env python3
"""Stream-mode speed against mpsim: quorvex next to a reference client that
replays the same conversation, and next to OpenSSL's s_client on the same
bytes.

Usage: stream_speed.py QUORVEX MPSIM REPLAY_CLIENT [RUNS]

Two workloads, each timed RUNS times (default 5), the three clients taking
turns:

  script    a 1,000-command script (bench/generate_script.py)
  firmware  a script whose one command updates the firmware with a
            4 MiB image

quorvex runs the whole script as usual (checking pass, generation probe,
work connection); the fixed 1000 ms pause before its teardown is taken off
its time.

The reference client (bench/replay_client, built with the benchmarks) is
the fair limit: it replays quorvex's work connection as mpsim recorded it
in an untimed run (conn-N.received and conn-N.records), every record of the
same size and every answer awaited at the same point, sending what lies
between two answers in one write, with nothing else to do: no script to
parse, no probe connection, no trace. It talks to the same simulator as
quorvex. Before timing, the script checks that the replay delivered the same
bytes in the same records and got the same answers.

s_client (the openssl tool of our own build, TLS 1.0 and DES-CBC3-SHA like
quorvex) sends the very bytes that quorvex sent on its work connection at
once and reads the answers as they come, while quorvex waits for each
answer before it goes on: no limit for a client that must wait, shown for
comparison. s_client -quiet keeps the connection until the processor closes
it, so its simulator closes right after its last answer (scenario
`response N close-after`, N counted in the first run). The simulators
write no transcripts while timed. Standard output of all goes to
/dev/null.
"""

import os
import re
import resource
import shlex
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "sim"))
import launch  # noqa: E402
PAUSE_SECONDS = 1.0
COMMANDS = 1000
FIRMWARE_SIZE = 4 * 1024 * 1024

FIRMWARE_SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="password">
    <MOX_SETTINGS MODE="write">
      <UPDATE_MOX_FIRMWARE IMAGE_LOCATION="fw.bin"/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""


def openssl_tool():
    return os.path.join(HERE, "..", ".deps", "openssl", "bin", "openssl")


class Simulator:
    """One mpsim in stream generation, serving until it is stopped."""

    def __init__(self, mpsim, folder, name, scenario=None, record=False, connections=None):
        self.record = os.path.join(folder, name + ".record") if record else None
        # With a count of connections it ends by itself after the last one,
        # its transcripts complete.
        self.patient = connections is not None
        args = ["--generation", "stream"]
        if connections is not None:
            args += ["--connections", str(connections)]
        if scenario is not None:
            path = os.path.join(folder, name + ".scenario")
            with open(path, "w") as handle:
                handle.write(scenario)
            args += ["--scenario", path]
        if self.record:
            args += ["--record", self.record]
        try:
            self.process, self.port = launch.start(mpsim, args, folder)
        except RuntimeError:
            sys.exit("mpsim did not start")

    def stop(self):
        launch.stop(self.process, patient=self.patient)

    def transcript(self, connection, suffix):
        with open(os.path.join(self.record, "conn-%d.%s" % (connection, suffix)), "rb") as handle:
            return handle.read()


def child_cpu_seconds():
    """CPU time (user and system) of the children waited for so far."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_quorvex(quorvex, folder, port, script, verbose=False):
    command = [quorvex, "-s", "127.0.0.1:" + port, "-l", os.path.join(folder, "run.log"), "-f", script]
    if verbose:
        command.insert(1, "-v")
    cpu = child_cpu_seconds()
    start = time.perf_counter()
    done = subprocess.run(command, cwd=folder, stdout=subprocess.PIPE if verbose else subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("quorvex failed on %s (exit status %d)" % (script, done.returncode))
    return elapsed - PAUSE_SECONDS, child_cpu_seconds() - cpu, done.stdout


def run_s_client(port, stream_file):
    command = [openssl_tool(), "s_client", "-tls1", "-cipher", "DES-CBC3-SHA:@SECLEVEL=0", "-quiet",
               "-connect", "127.0.0.1:" + port]
    environment = dict(os.environ, OPENSSL_CONF=os.devnull)
    with open(stream_file, "rb") as source:
        start = time.perf_counter()
        done = subprocess.run(command, stdin=source, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              env=environment, timeout=60)
        elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("s_client failed (exit status %d): %s" % (done.returncode, shlex.join(command)))
    return elapsed


def run_replay(replay_client, port, received, records):
    command = [replay_client, "127.0.0.1", port, received, records]
    cpu = child_cpu_seconds()
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("the reference client failed: %s" % done.stderr.decode(errors="replace").strip())
    return elapsed, child_cpu_seconds() - cpu


def last_answer_number(verbose_output):
    numbers = [int(n) for n in re.findall(rb"MESSAGE='answer (\d+)'", verbose_output)]
    if not numbers:
        sys.exit("no answers seen in the first run")
    return max(numbers)


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    quorvex, mpsim, replay_client = (os.path.abspath(path) for path in sys.argv[1:4])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "script.xml")
        subprocess.run([sys.executable, os.path.join(HERE, "generate_script.py"), str(COMMANDS), script],
                       check=True)
        firmware = os.path.join(folder, "firmware.xml")
        with open(firmware, "w") as handle:
            handle.write(FIRMWARE_SCRIPT)
        image = os.path.join(folder, "fw.bin")
        with open(image, "wb") as handle:
            handle.write(os.urandom(FIRMWARE_SIZE))

        # First, untimed runs: the bytes of each work connection and the
        # number of its last answer.
        workloads = [("script", script), ("firmware", firmware)]
        first = Simulator(mpsim, folder, "first", scenario="every message 'answer {n}'\n", record=True,
                          connections=2 * len(workloads))
        plan = []
        for index, (name, path) in enumerate(workloads):
            _, _, output = run_quorvex(quorvex, folder, first.port, path, verbose=True)
            stream_file = os.path.join(folder, name + ".stream")
            with open(stream_file, "wb") as handle:
                handle.write(first.transcript(2 * index + 2, "received"))
            plan.append((name, path, stream_file, last_answer_number(output)))
        first.stop()
        if first.transcript(4, "image-1") != open(image, "rb").read():
            sys.exit("the simulator did not receive the firmware image intact")

        # s_client must get the same answers and the image through as well.
        check_scenario = "".join("conn %d response %d close-after\n" % (i + 1, last)
                                 for i, (_, _, _, last) in enumerate(plan))
        check = Simulator(mpsim, folder, "check", scenario=check_scenario, record=True, connections=len(plan))
        for _, _, stream_file, _ in plan:
            run_s_client(check.port, stream_file)
        check.stop()
        for index, (name, _, stream_file, _) in enumerate(plan):
            with open(stream_file, "rb") as handle:
                if check.transcript(index + 1, "received") != handle.read():
                    sys.exit("s_client did not deliver the %s bytes" % name)
            summary = check.transcript(index + 1, "summary").decode()
            if "end=server-close-notify" not in summary:
                sys.exit("s_client run of %s ended unexpectedly: %s" % (name, summary.strip()))
        if check.transcript(2, "image-1") != open(image, "rb").read():
            sys.exit("s_client's firmware image did not arrive intact")

        # The pattern of each work connection with the simulator's own
        # answers, as the timed runs get them; the reference client must
        # reproduce it record by record.
        pattern = Simulator(mpsim, folder, "pattern", record=True, connections=2 * len(plan))
        for _, path, _, _ in plan:
            run_quorvex(quorvex, folder, pattern.port, path)
        pattern.stop()
        replays = []
        for index, (name, _, _, _) in enumerate(plan):
            received = os.path.join(folder, name + ".received")
            records = os.path.join(folder, name + ".records")
            for file_name, suffix in ((received, "received"), (records, "records")):
                with open(file_name, "wb") as handle:
                    handle.write(pattern.transcript(2 * index + 2, suffix))
            replays.append((received, records))
        replayed = Simulator(mpsim, folder, "replayed", record=True, connections=len(plan))
        for received, records in replays:
            run_replay(replay_client, replayed.port, received, records)
        replayed.stop()
        for index, (name, _, _, _) in enumerate(plan):
            received, records = replays[index]
            for file_name, suffix in ((received, "received"), (records, "records")):
                with open(file_name, "rb") as handle:
                    if replayed.transcript(index + 1, suffix) != handle.read():
                        sys.exit("the reference client did not reproduce the %s %s" % (name, suffix))

        print("runs per figure: %d; quorvex times without the %d ms pause" % (runs, PAUSE_SECONDS * 1000))
        print("%-8s %9s %7s %7s | %9s %9s %6s | %9s %6s | CPU: %8s %9s" %
              ("workload", "bytes", "records", "answers", "quorvex", "reference", "ratio", "s_client", "ratio",
               "quorvex", "reference"))
        for index, (name, path, stream_file, last) in enumerate(plan):
            received, records = replays[index]
            plain = Simulator(mpsim, folder, name + "-quorvex")
            closing = Simulator(mpsim, folder, name + "-s_client", scenario="response %d close-after\n" % last)
            quorvex_times, replay_times, client_times, quorvex_cpu, replay_cpu = [], [], [], [], []
            for _ in range(runs):
                elapsed, cpu, _ = run_quorvex(quorvex, folder, plain.port, path)
                quorvex_times.append(elapsed)
                quorvex_cpu.append(cpu)
                elapsed, cpu = run_replay(replay_client, plain.port, received, records)
                replay_times.append(elapsed)
                replay_cpu.append(cpu)
                client_times.append(run_s_client(closing.port, stream_file))
            plain.stop()
            closing.stop()
            q, r, c = (statistics.median(times) for times in (quorvex_times, replay_times, client_times))
            with open(records) as handle:
                steps = handle.read().split()
            print("%-8s %9d %7d %7d | %8.3fs %8.3fs %6.2f | %8.3fs %6.2f | %12.3fs %8.3fs"
                  % (name, os.path.getsize(stream_file), steps.count("in"), steps.count("out"), q, r, q / r, c,
                     q / c, statistics.median(quorvex_cpu), statistics.median(replay_cpu)))


if __name__ == "__main__":
    main()
