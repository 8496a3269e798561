#!/usr/bin/env python3
"""Stream-mode speed against mpsim, next to OpenSSL's s_client on the same bytes.

Usage: stream_speed.py QUORVEX MPSIM [RUNS]

Two workloads, each timed RUNS times (default 5), quorvex and s_client
taking turns:

  script    a 1,000-command script (bench/generate_script.py)
  firmware  a script whose one command updates the firmware with a
            4 MiB image

quorvex runs the whole script as usual (checking pass, generation probe,
work connection); the fixed 1000 ms pause before its teardown is taken off
its time. s_client (the openssl tool of our own build, TLS 1.0 and
DES-CBC3-SHA like quorvex) sends the very bytes that quorvex sent on its
work connection, taken from an mpsim transcript of an untimed first run:
the declaration, the TAMRO line and the re-spaced script, and for the
firmware the announcing element and the image. It sends them at once and
reads the answers as they come, while quorvex waits for each answer before
it goes on. s_client -quiet keeps the connection until the processor closes
it, so its simulator closes right after its last answer (scenario
`response N close-after`, N counted in the first run); quorvex's simulator
needs no scenario. Both simulators run with the same options otherwise and
write no transcripts while timed. Standard output of both goes to /dev/null.
"""

import os
import re
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

    def __init__(self, mpsim, folder, name, scenario=None, record=False):
        self.record = os.path.join(folder, name + ".record") if record else None
        args = ["--generation", "stream"]
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
        launch.stop(self.process)

    def transcript(self, connection, suffix):
        with open(os.path.join(self.record, "conn-%d.%s" % (connection, suffix)), "rb") as handle:
            return handle.read()


def run_quorvex(quorvex, folder, port, script, verbose=False):
    command = [quorvex, "-s", "127.0.0.1:" + port, "-l", os.path.join(folder, "run.log"), "-f", script]
    if verbose:
        command.insert(1, "-v")
    start = time.perf_counter()
    done = subprocess.run(command, cwd=folder, stdout=subprocess.PIPE if verbose else subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("quorvex failed on %s (exit status %d)" % (script, done.returncode))
    return elapsed - PAUSE_SECONDS, done.stdout


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


def last_answer_number(verbose_output):
    numbers = [int(n) for n in re.findall(rb"MESSAGE='answer (\d+)'", verbose_output)]
    if not numbers:
        sys.exit("no answers seen in the first run")
    return max(numbers)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    quorvex, mpsim = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
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
        first = Simulator(mpsim, folder, "first", scenario="every message 'answer {n}'\n", record=True)
        plan = []
        for index, (name, path) in enumerate(workloads):
            _, output = run_quorvex(quorvex, folder, first.port, path, verbose=True)
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
        check = Simulator(mpsim, folder, "check", scenario=check_scenario, record=True)
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

        print("runs per figure: %d; quorvex times without the %d ms pause" % (runs, PAUSE_SECONDS * 1000))
        for name, path, stream_file, last in plan:
            plain = Simulator(mpsim, folder, name + "-quorvex")
            closing = Simulator(mpsim, folder, name + "-s_client", scenario="response %d close-after\n" % last)
            quorvex_times, client_times = [], []
            for _ in range(runs):
                quorvex_times.append(run_quorvex(quorvex, folder, plain.port, path)[0])
                client_times.append(run_s_client(closing.port, stream_file))
            plain.stop()
            closing.stop()
            q, c = statistics.median(quorvex_times), statistics.median(client_times)
            size = os.path.getsize(stream_file)
            print("%-8s %8d bytes, %4d answers: quorvex %.3f s, s_client %.3f s, ratio %.2f"
                  % (name, size, last, q, c, q / c))


if __name__ == "__main__":
    main()
