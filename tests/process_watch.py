"""What the tests that run with a secret watch while it runs: every
process's command line (and, when asked, environment), looked at fifty
times a second, and the loopback port where nothing listens.

    watch = ProcessWatch(b"secret", parts=("cmdline", "environ"))
    watch = ProcessWatch((b"secret", b"another"))   several secrets
    watch.start(); ...; watch.stop()
    watch.leaks      [(part, text)] of the processes that showed the secret
    watch.seen       the programs seen, as their command lines name them
    watch.programs   the same, their file names only
"""
import os
import socket
import threading
import time


class ProcessWatch(threading.Thread):
    def __init__(self, secret, parts=("cmdline",)):
        super().__init__(daemon=True)
        self.secrets = (secret,) if isinstance(secret, bytes) else tuple(secret)
        self.parts = parts
        self.done = threading.Event()
        self.seen = set()
        self.programs = set()
        self.leaks = []

    def run(self):
        while not self.done.is_set():
            for pid in os.listdir("/proc"):
                if not pid.isdigit():
                    continue
                for part in self.parts:
                    try:
                        with open("/proc/%s/%s" % (pid, part), "rb") as handle:
                            text = handle.read()
                    except OSError:
                        continue
                    if part == "cmdline":
                        program = text.split(b"\0")[0]
                        self.seen.add(program)
                        self.programs.add(os.path.basename(program))
                    if any(secret in text for secret in self.secrets):
                        self.leaks.append((part, text.replace(b"\0", b" ")[:300]))
            time.sleep(0.02)

    def stop(self):
        self.done.set()
        self.join()


def closed_port():
    """A loopback port where nothing listens (its number, as text)."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return str(probe.getsockname()[1])
