#!/usr/bin/env python3
"""Starts mpsim on a free port and stops it again: the one way the case
runner, the benchmarks and the demo run the simulator.

As a module: start(mpsim, args, folder) -> (process, port);
start_many(mpsim, n, args, folder) -> (process, [port, ...]) for one mpsim
playing N processors; stop(process).
As a program, for shell scripts:

    sim/launch.py MPSIM [MPSIM ARGS...] -- COMMAND [ARGS...]

starts mpsim, runs COMMAND with every "{port}" in its arguments replaced by
the simulator's port, stops mpsim and exits with COMMAND's status.
"""
import os
import signal
import subprocess
import sys
import tempfile
import time


def start(mpsim, args, folder, output=None, timeout=120):
    """mpsim ARGS on a port of its choosing, written to a file in FOLDER.
    Returns the process and the port (text). OUTPUT: where mpsim's own
    output goes (a file object; discarded when None)."""
    process, ports = _start(mpsim, [], 1, args, folder, output, timeout)
    return process, ports[0]


def start_many(mpsim, n, args, folder, output=None, timeout=120):
    """One mpsim playing N processors (--processors N), each on a port of
    its choosing. Returns the process and the N ports (text), processor 1
    first. ARGS, OUTPUT: as for start."""
    return _start(mpsim, ["--processors", str(n)], n, args, folder, output, timeout)


def _start(mpsim, own_args, n, args, folder, output, timeout):
    port_file = os.path.join(folder, ".mpsim-port")
    if os.path.exists(port_file):
        os.remove(port_file)
    sink = output if output is not None else subprocess.DEVNULL
    process = subprocess.Popen([mpsim, "--port", "0", "--port-file", port_file] + own_args + list(args),
                               cwd=folder, stdout=sink, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if os.path.exists(port_file):
            # Written whole and renamed into place: every port is there.
            with open(port_file) as handle:
                ports = handle.read().split()
            if ports and len(ports) >= n:
                return process, ports
        if process.poll() is not None:
            break
        time.sleep(0.02)
    stop(process)
    raise RuntimeError("mpsim did not start")


def stop(process, patient=False):
    """Ends mpsim. PATIENT: it serves a counted number of connections and
    ends by itself once its last transcript is written; give it the time
    before it is stopped, so no connection is cut short."""
    if patient:
        # Waits only as long as the last connection takes: room for a
        # loaded machine costs nothing on a quiet one.
        try:
            process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            pass
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def main(argv):
    if "--" not in argv or len(argv) < 3:
        sys.exit(__doc__)
    split = argv.index("--")
    mpsim, args, command = argv[1], argv[2:split], argv[split + 1:]
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "mpsim.log"), "wb") as output:
            process, port = start(os.path.abspath(mpsim), args, folder, output)
            try:
                done = subprocess.run([word.replace("{port}", port) for word in command], check=False)
            finally:
                stop(process)
    return done.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
