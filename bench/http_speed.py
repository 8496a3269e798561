#!/usr/bin/env python3
"""Times HTTP-mode runs against OpenSSL's s_client sending the same bytes.

Usage: http_speed.py QUORVEX MPSIM [RUNS] [--openssl PATH]

Two workloads, each against `mpsim --generation http` on the loopback:

  script   a 1,000-command script (bench/generate_script.py) posted to /moxcl
  upload   a 4 MiB firmware image: upload to /cgi-bin/uploadMoxclFiles, then
           the follow-up /moxcl request with the cookie

A first quorvex run of each, against an mpsim that records, yields the exact
request bytes of every connection. Then, RUNS times (default 7), interleaved:
quorvex runs each workload, and `openssl s_client` (the one built with the
project, TLS 1.0, DES-CBC3-SHA) sends the recorded bytes of each connection
and reads the reply until the simulator closes. quorvex's fixed pause of
1000 ms before its closing report is subtracted from its times.

quorvex makes more connections than the request alone needs: the generation
probe first, and for the upload a second connection for the follow-up
request. The s_client side replays the very same connections one after the
other, so "same connections" compares like with like; the single-request
figure is s_client on the main request alone (the script post, or the upload
post), for scale.
"""

import argparse
import os
import random
import resource
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
IMAGE_SIZE = 4 * 1024 * 1024
COOKIE = "0123456789abcdef0123456789abcdef"
UPLOAD_SCRIPT = """<MOXCL VERSION="2.0">
<LOGIN USER_LOGIN="admin" PASSWORD="password">
<MOX_SETTINGS MODE="write">
<UPDATE_MOX_FIRMWARE IMAGE_LOCATION="firmware.bin"/>
</MOX_SETTINGS>
</LOGIN>
</MOXCL>
"""


def start_mpsim(mpsim, folder, record=None):
    scenario = os.path.join(folder, "scenario")
    with open(scenario, "w") as handle:
        handle.write("cookie %s\n" % COOKIE)
    args = ["--generation", "http", "--scenario", scenario]
    if record:
        args += ["--record", record]
    try:
        return launch.start(mpsim, args, folder)
    except RuntimeError:
        sys.exit("mpsim did not start")


def stop_mpsim(process):
    launch.stop(process)


# CPU seconds (user and system) of the client processes timed so far.
client_cpu = []


def timed(args, folder, stdin=None, stdout=subprocess.DEVNULL):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(args, cwd=folder, stdin=stdin, stdout=stdout,
                          stderr=subprocess.DEVNULL, check=False)
    seconds = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    client_cpu.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    return seconds, done.returncode


def run_quorvex(quorvex, folder, port, script):
    args = [quorvex, "-s", "127.0.0.1:" + port, "-f", script, "-l", "log.txt"]
    seconds, status = timed(args, folder)
    if status != 0:
        sys.exit("quorvex %s exited with %d (see %s/log.txt)" % (script, status, folder))
    return seconds


def run_s_client(openssl, folder, port, request, expect):
    """One connection: the recorded request in, the reply out until close."""
    args = [openssl, "s_client", "-tls1", "-cipher", "DES-CBC3-SHA:@SECLEVEL=0", "-quiet",
            "-connect", "127.0.0.1:" + port]
    reply = os.path.join(folder, "reply")
    with open(request, "rb") as source, open(reply, "wb") as sink:
        seconds, _ = timed(args, folder, stdin=source, stdout=sink)
    with open(reply, "rb") as handle:
        if expect not in handle.read():
            sys.exit("s_client did not get the whole reply to %s" % request)
    return seconds


def median_ms(values):
    return statistics.median(values) * 1000


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("quorvex")
    parser.add_argument("mpsim")
    parser.add_argument("runs", nargs="?", type=int, default=7)
    parser.add_argument("--openssl", default=os.path.join(HERE, "..", ".deps", "openssl", "bin", "openssl"))
    options = parser.parse_args()
    quorvex, mpsim, openssl = (os.path.abspath(p) for p in (options.quorvex, options.mpsim, options.openssl))

    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([sys.executable, os.path.join(HERE, "generate_script.py"), "1000",
                        os.path.join(folder, "script.xml")], check=True)
        with open(os.path.join(folder, "firmware.bin"), "wb") as handle:
            handle.write(random.Random(1).randbytes(IMAGE_SIZE))
        with open(os.path.join(folder, "upload.xml"), "w", newline="\n") as handle:
            handle.write(UPLOAD_SCRIPT)

        # The request bytes of every connection, as quorvex sends them.
        record = os.path.join(folder, "record")
        sim, port = start_mpsim(mpsim, folder, record)
        run_quorvex(quorvex, folder, port, "script.xml")  # connections 1 (probe) and 2
        run_quorvex(quorvex, folder, port, "upload.xml")  # connections 3 (probe), 4 and 5
        stop_mpsim(sim)

        def request(number):
            return os.path.join(record, "conn-%d.received" % number)

        probe, script, upload, follow_up = request(1), request(2), request(4), request(5)
        end_of_reply = b"\r\n0\r\n\r\n"
        flashed = b"Firmware flash completed successfully"

        sim, port = start_mpsim(mpsim, folder)
        wall = {key: [] for key in ("q_script", "q_upload", "probe", "script", "upload", "follow_up")}
        cpu = {key: [] for key in wall}

        def measure(key, seconds):
            wall[key].append(seconds)
            cpu[key].append(client_cpu[-1])

        try:
            for _ in range(options.runs):
                measure("q_script", run_quorvex(quorvex, folder, port, "script.xml") - PAUSE_SECONDS)
                measure("probe", run_s_client(openssl, folder, port, probe, end_of_reply))
                measure("script", run_s_client(openssl, folder, port, script, end_of_reply))
                measure("q_upload", run_quorvex(quorvex, folder, port, "upload.xml") - PAUSE_SECONDS)
                measure("upload", run_s_client(openssl, folder, port, upload, b"MoxclFlash="))
                measure("follow_up", run_s_client(openssl, folder, port, follow_up, flashed))
        finally:
            stop_mpsim(sim)

        def per_run_sum(table, keys):
            return [sum(values) for values in zip(*(table[key] for key in keys))]

        workloads = [
            ("script, %d request bytes" % os.path.getsize(script), "q_script",
             ("probe", "script"), ("script",)),
            ("upload, %d request bytes" % os.path.getsize(upload), "q_upload",
             ("probe", "upload", "follow_up"), ("upload",)),
        ]
        print("medians of %d runs, milliseconds; quorvex without its %d ms pause" %
              (options.runs, PAUSE_SECONDS * 1000))
        for title, table in (("wall time", wall), ("client CPU time (user + system)", cpu)):
            print("\n%s\n%-30s %9s %11s %7s %11s %7s" % (title, "workload", "quorvex",
                                                          "s_c same", "ratio", "s_c 1 req", "ratio"))
            for name, ours, same, single in workloads:
                q = median_ms(table[ours])
                s = median_ms(per_run_sum(table, same))
                one = median_ms(per_run_sum(table, single))
                print("%-30s %9.1f %11.1f %7.2f %11.1f %7.2f" % (name, q, s, q / s, one, q / one))
        print("\ns_c same: s_client on each of the connections quorvex makes (probe, then the")
        print("request; for the upload also the follow-up), one after the other.")
        print("s_c 1 req: s_client on the main request alone.")

if __name__ == "__main__":
    main()
