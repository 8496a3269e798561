#!/usr/bin/env python3
"""What the TLS hello costs a run: the CPU time of whole runs (the probe's
connection and the work connection, an empty script) of quorvex against
mpsim playing each TLS kind, and the handshakes each run made, from the
simulator's records (conn-N.hello: handshakes served; declined-N.hello:
modern hellos an older processor declined).

    python3 bench/tls_cost.py build/quorvex build/sim/mpsim [RUNS]

The CPU time is the children's user and system time (getrusage) summed
over the runs, in turns of the kinds, divided by the runs: a run's own
work, whatever else the machine does."""

import os
import resource
import subprocess
import sys
import tempfile
import time

SCRIPT = b'<?xml version="1.0"?>\n<MOXCL VERSION="2.0">\n</MOXCL>\n'
KINDS = [
    # name, mpsim --tls, whether the known-processors file holds the processor as TLS 1.0 only
    ("legacy, first runs", "legacy", False),
    ("legacy, known as legacy", "legacy", True),
    ("modern (TLS 1.3)", "modern", False),
]


def start(mpsim, kind, folder):
    port_file = os.path.join(folder, "port")
    fixtures = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "cases", "fixtures")
    sim = subprocess.Popen([mpsim, "--generation", "stream", "--tls", kind, "--record", os.path.join(folder, "record"),
                            "--port-file", port_file, "--cert", os.path.join(fixtures, "rsa-a-cert.pem"),
                            "--key", os.path.join(fixtures, "rsa-a-key.pem")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not os.path.exists(port_file):
        time.sleep(0.05)
    with open(port_file) as handle:
        return sim, int(handle.read().split()[0])


def main():
    quorvex, mpsim = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 50
    work = tempfile.mkdtemp(prefix="quorvex-tls-cost-")
    with open(os.path.join(work, "m.xml"), "wb") as handle:
        handle.write(SCRIPT)
    setups = []
    for name, kind, known in KINDS:
        folder = os.path.join(work, kind + ("-known" if known else ""))
        os.makedirs(os.path.join(folder, "record"))
        sim, port = start(mpsim, kind, folder)
        environment = dict(os.environ, QUORVEX_KNOWN_PROCESSORS="none")
        if known:
            known_file = os.path.join(folder, "known")
            with open(known_file, "w") as handle:
                handle.write("127.0.0.1:%d sha256:WwgEWpy+QsrAeaJIjGRk6gah8TCpoxdnuXCMEsTEDzc= tls=legacy\n" % port)
            environment["QUORVEX_KNOWN_PROCESSORS"] = known_file
        setups.append({"name": name, "sim": sim, "port": port, "env": environment, "folder": folder, "cpu": 0.0})
    for _ in range(runs):
        for setup in setups:
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            subprocess.run([quorvex, "-s", "127.0.0.1:%d" % setup["port"], "-f", "m.xml", "-l", "run.log"],
                           cwd=work, env=setup["env"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            setup["cpu"] += (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    base = None
    for setup in setups:
        setup["sim"].terminate()
        setup["sim"].wait()
        names = os.listdir(os.path.join(setup["folder"], "record"))
        served = sum(name.endswith(".hello") and name.startswith("conn-") for name in names)
        declined = sum(name.startswith("declined-") for name in names)
        cpu = setup["cpu"] / runs * 1000
        base = base or cpu
        print("%-26s %6.2f ms CPU a run (%.2fx the first)  handshakes a run: %.2f served, %.2f declined"
              % (setup["name"], cpu, cpu / base, served / runs, declined / runs))


if __name__ == "__main__":
    main()
