#!/usr/bin/env python3
"""The utility against an independent TLS stack: GnuTLS's gnutls-serv
(Debian package gnutls-bin) as a processor that speaks only TLS 1.3, only
TLS 1.2, or only TLS 1.0 with Triple-DES. Each run must reach it with that
protocol: the cipher line and the run report's "tls" member say so, and
gnutls-serv's own account of the handshake names the same version.

gnutls-serv --echo answers the probe with the probe itself, so the run does
not succeed past it; the handshake is what is looked at. Exit status 77
(skipped) when gnutls-serv is not installed."""

import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

PEERS = [
    # name, GnuTLS priority string, what the cipher line must hold, report protocol, gnutls-serv's version
    ("TLS 1.3", "NORMAL:-VERS-ALL:+VERS-TLS1.3", b" over TLSv1.3\r\n", "TLSv1.3", "TLS1.3"),
    ("TLS 1.2", "NORMAL:-VERS-ALL:+VERS-TLS1.2", b" over TLSv1.2\r\n", "TLSv1.2", "TLS1.2"),
    ("TLS 1.0 with Triple-DES", "NORMAL:-VERS-ALL:+VERS-TLS1.0:-CIPHER-ALL:+3DES-CBC:-KX-ALL:+RSA:%COMPAT",
     b"Negotiated cipher: 168-bit Triple DES with RSA and a SHA1 MAC\r\n", "TLSv1", "TLS1.0"),
]

SCRIPT = b'<?xml version="1.0"?>\n<MOXCL VERSION="2.0">\n</MOXCL>\n'


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_listening(port, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.1)
    return False


def one_peer(options, work, name, priority, line, protocol, gnutls_version):
    port = free_port()
    server_log = open(os.path.join(work, "gnutls-serv.out"), "wb")
    server = subprocess.Popen(["gnutls-serv", "--echo", "-p", str(port),
                               "--x509certfile", os.path.join(options.fixtures, "rsa-a-cert.pem"),
                               "--x509keyfile", os.path.join(options.fixtures, "rsa-a-key.pem"),
                               "--priority", priority],
                              stdout=server_log, stderr=subprocess.STDOUT)
    try:
        # The check of the port is a connection of its own, which the
        # server notes as a failed handshake.
        if not wait_listening(port):
            return "gnutls-serv did not listen"
        environment = dict(os.environ)
        environment.pop("DEVICEIPADDRESS0", None)
        environment["QUORVEX_KNOWN_PROCESSORS"] = "none"
        # The echoed probe is no answer the run waits long for.
        environment["QUORVEX_TIMEOUT"] = "2"
        # The Windows build writes no run report (yet): there the console
        # and gnutls-serv's account say what was agreed.
        report = [] if options.launcher else ["-j", "run.json"]
        command = ([options.launcher] if options.launcher else []) + [
            options.quorvex, "-s", "127.0.0.1:%d" % port, "-f", "m.xml", "-l", "run.log"] + report
        done = subprocess.run(command, cwd=work, env=environment, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=120)
    finally:
        server.terminate()
        server.wait(timeout=10)
        server_log.close()
    if line not in done.stdout:
        return "no %r in the console:\n%s" % (line, done.stdout.decode(errors="replace"))
    if report:
        with open(os.path.join(work, "run.json"), encoding="utf-8") as handle:
            written = json.load(handle)
        if written.get("tls", {}).get("protocol") != protocol:
            return "the report says %r, not %s" % (written.get("tls"), protocol)
    with open(os.path.join(work, "gnutls-serv.out"), encoding="utf-8", errors="replace") as handle:
        served = handle.read()
    if "- Version: %s" % gnutls_version not in served:
        return "gnutls-serv did not speak %s:\n%s" % (gnutls_version, served)
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quorvex", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--launcher", help="wine, for the Windows build")
    options = parser.parse_args()
    options.quorvex = os.path.abspath(options.quorvex)
    options.fixtures = os.path.abspath(options.fixtures)
    if shutil.which("gnutls-serv") is None:
        print("gnutls-serv is not installed (Debian package gnutls-bin): skipped")
        return 77
    failures = 0
    for name, priority, line, protocol, gnutls_version in PEERS:
        with tempfile.TemporaryDirectory(prefix="quorvex-gnutls-") as work:
            with open(os.path.join(work, "m.xml"), "wb") as handle:
                handle.write(SCRIPT)
            problem = one_peer(options, work, name, priority, line, protocol, gnutls_version)
        print("%s: %s" % (name, problem or "reached"))
        failures += problem is not None
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
