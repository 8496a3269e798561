#!/usr/bin/env python3
"""Every failure says why: one row per cause, each produced by a real run
(against mpsim where a processor is needed). Each row runs twice, with and
without -q, and checks the exit status, the report's "cause" (code, stage,
words, line, system error) and the one line standard error ends with."""

import argparse
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="secret">
    <MOX_SETTINGS MODE="{mode}">
      {command}
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""


def script(command="<GET_FW_VERSION/>", mode="read"):
    return SCRIPT.format(command=command, mode=mode)


KEY_A = "sha256:WwgEWpy+QsrAeaJIjGRk6gah8TCpoxdnuXCMEsTEDzc="

# code, exit status, stage, what the words hold (regular expressions), the
# row's setting: sim (mpsim arguments, None: no simulator), scenario,
# script, files, environment, arguments (server and script added unless
# "args" is given whole), line, system_error.
ROWS = [
    dict(code="usage", status=64, stage="usage", args=["-x"],
         words=[r'^"-x" is not an option\. Correct the command line']),
    dict(code="connect.refused", status=255, stage="connect", server="127.0.0.1:{closed}",
         words=[r"^127\.0\.0\.1:\d+ refused the connection \(ECONNREFUSED\)\. Check that the processor is on"],
         system_error="ECONNREFUSED"),
    dict(code="connect.unresolved", status=255, stage="connect", server="no-such-processor.invalid",
         words=[r'^The name "no-such-processor\.invalid" does not resolve to an address \(EAI_\w+\)\.',
                r"Check the name's spelling"],
         system_error=re.compile(r"^EAI_\w+$")),
    dict(code="identity.changed", status=77, stage="identity", sim=["--generation", "stream"],
         files={"known": "127.0.0.1:{port} " + KEY_A + "\n"}, env={"QUORVEX_KNOWN_PROCESSORS": "known"},
         sim_cert="rsa-b",
         words=[r"^The key of the processor at 127\.0\.0\.1:\d+ has changed: line 1 of known holds " + re.escape(KEY_A),
                r"If the new key is right, remove or edit its line"]),
    dict(code="script.syntax", status=255, stage="check",
         script=script("<GET_FW_VERSION = />"),
         words=[r'^Line 5: syntax error near "/>" in the line "<GET_FW_VERSION = />"\. Correct the script at the line'],
         line=5),
    dict(code="script.value", status=255, stage="check", script=script(mode="raed"),
         words=[r'^Line 4: MODE must be read or write \(or r, w\), not "raed"\. Correct the value'], line=4),
    dict(code="image.unreadable", status=1, stage="image", sim=["--generation", "stream"],
         script=script('<UPDATE_MOX_FIRMWARE IMAGE_LOCATION="missing.bin"/>', mode="write"),
         words=[r'^Unable to open the firmware image update file: "missing\.bin"\. Check the image']),
    dict(code="image.rejected", status=0x61, stage="image", sim=["--generation", "stream"],
         scenario="command UPDATE_MOX_FIRMWARE status 0x0061 message 'The firmware image is not for this processor'",
         files={"fw.bin": "x" * 1000},
         script=script('<UPDATE_MOX_FIRMWARE IMAGE_LOCATION="fw.bin"/>', mode="write"),
         words=[r'^The processor refused the image "fw\.bin": the processor at 127\.0\.0\.1:\d+ answered '
                r'UPDATE_MOX_FIRMWARE with status 0x0061: "The firmware image is not for this processor"\.']),
    dict(code="processor.status", status=0x43, stage="reply", sim=["--generation", "stream"],
         scenario="command GET_FW_VERSION status 0x0043 message 'Not allowed'",
         words=[r'^The processor at 127\.0\.0\.1:\d+ answered GET_FW_VERSION with status 0x0043: "Not allowed"\. '
                r"Read the processor's message"]),
    # HTTP mode: the answer that failed is found in the reply, its message
    # with it.
    dict(code="processor.status", status=0x43, stage="reply", sim=["--generation", "http"],
         scenario="command GET_FW_VERSION status 0x0043 message 'Not allowed'",
         words=[r'^The processor at 127\.0\.0\.1:\d+ answered FW_VERSION with status 0x0043: "Not allowed"\. '
                r"Read the processor's message"]),
    dict(code="processor.silent", status=3, stage="reply", sim=["--generation", "stream"],
         scenario="command GET_FW_VERSION silent", env={"QUORVEX_TIMEOUT": "1"},
         words=[r"^The processor at 127\.0\.0\.1:\d+ sent nothing for 1 second\. Check the processor"]),
    dict(code="processor.closed", status=3, stage="reply", sim=["--generation", "stream"],
         scenario="command GET_FW_VERSION drop",
         words=[r"^The connection to the processor at 127\.0\.0\.1:\d+ ended before its reply was whole"]),
    dict(code="http.refused", status=4, stage="reply", sim=["--generation", "http"],
         scenario="conn 2 every head 'HTTP/1.1 503 Busy\\r\\nContent-Length: 0\\r\\n\\r\\n'",
         words=[r'^The processor at 127\.0\.0\.1:\d+ refused the request with "HTTP/1\.1 503 Busy"\.']),
    dict(code="log.unwritable", status=74, stage="log", args=["-c", "-s", "10.0.0.1", "-l", "/dev/full", "-f", "m.xml"],
         words=[r'^The log file "/dev/full" could not be written whole: No space left on device \(ENOSPC\)\.'],
         system_error="ENOSPC"),
]


def closed_port():
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


def start_sim(mpsim, folder, row, fixtures):
    args = [mpsim, "--port-file", os.path.join(folder, "port")] + row["sim"]
    if "scenario" in row:
        with open(os.path.join(folder, "scenario"), "w") as out:
            out.write(row["scenario"] + "\n")
        args += ["--scenario", os.path.join(folder, "scenario")]
    if "sim_cert" in row:
        args += ["--cert", os.path.join(fixtures, row["sim_cert"] + "-cert.pem"),
                 "--key", os.path.join(fixtures, row["sim_cert"] + "-key.pem")]
    sim = subprocess.Popen(args, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    port_file = os.path.join(folder, "port")
    for _ in range(200):
        if os.path.exists(port_file) and open(port_file).read().strip():
            return sim, int(open(port_file).read().split()[0])
        time.sleep(0.05)
    sim.kill()
    raise RuntimeError("mpsim did not start")


def run_row(quorvex, mpsim, fixtures, row, quiet, failures):
    label = "%s%s" % (row["code"], " -q" if quiet else "")
    folder = tempfile.mkdtemp(prefix="quorvex-cause-")
    sim = None
    try:
        port = 0
        if row.get("sim") is not None:
            sim, port = start_sim(mpsim, folder, row, fixtures)
        values = {"port": port, "closed": closed_port()}
        with open(os.path.join(folder, "m.xml"), "w") as out:
            out.write(row.get("script", script()))
        for name, text in row.get("files", {}).items():
            with open(os.path.join(folder, name), "w") as out:
                out.write(text.format(**values))
        if "args" in row:
            args = list(row["args"])
        else:
            server = row.get("server", "127.0.0.1:{port}").format(**values)
            args = ["-s", server, "-f", "m.xml", "-l", "run.log"]
        args += ["-j", "report.json"] + (["-q"] if quiet else [])
        env = dict(os.environ)
        env.pop("DEVICEIPADDRESS0", None)
        env.update(row.get("env", {}))
        done = subprocess.run(["quorvex"] + args, executable=quorvex, cwd=folder, env=env, capture_output=True,
                              timeout=60)
        if done.returncode != row["status"]:
            failures.append("%s: exit status %d, not %d" % (label, done.returncode, row["status"]))
        lines = done.stderr.decode(errors="replace").splitlines()
        last = lines[-1] if lines else ""
        prefix = "quorvex: %s: " % row["code"]
        if not last.startswith(prefix):
            failures.append("%s: standard error does not end with the cause: %r" % (label, lines[-3:]))
        stderr_words = last[len(prefix):]
        report = None
        if os.path.exists(os.path.join(folder, "report.json")):
            with open(os.path.join(folder, "report.json")) as source:
                report = json.load(source)
        if row["code"] == "usage":
            # Nothing ran: no report is written for a command line not understood.
            report = {"cause": {"code": "usage", "stage": "usage", "words": stderr_words}}
        if report is None or "cause" not in report:
            failures.append("%s: no cause in the report" % label)
            return
        cause = report["cause"]
        if cause.get("code") != row["code"] or cause.get("stage") != row["stage"]:
            failures.append("%s: report's cause %s" % (label, cause))
        if cause.get("words") != stderr_words:
            failures.append("%s: the report's words and standard error's differ:\n  %s\n  %s"
                            % (label, cause.get("words"), stderr_words))
        for pattern in row["words"]:
            if not re.search(pattern, cause.get("words", "")):
                failures.append("%s: words %r do not hold %r" % (label, cause.get("words"), pattern))
        if cause.get("line") != row.get("line"):
            failures.append("%s: line %s, not %s" % (label, cause.get("line"), row.get("line")))
        expected_error = row.get("system_error")
        got_error = cause.get("system_error")
        if isinstance(expected_error, re.Pattern):
            if got_error is None or not expected_error.match(got_error):
                failures.append("%s: system_error %s" % (label, got_error))
        elif got_error != expected_error:
            failures.append("%s: system_error %s, not %s" % (label, got_error, expected_error))
    finally:
        if sim is not None:
            sim.terminate()
            sim.wait(timeout=10)
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quorvex", required=True)
    parser.add_argument("--mpsim", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--only", help="the code of one row")
    options = parser.parse_args()
    failures = []
    for row in ROWS:
        if options.only and row["code"] != options.only:
            continue
        for quiet in (False, True):
            run_row(options.quorvex, options.mpsim, options.fixtures, row, quiet, failures)
    for failure in failures:
        print("FAILED: " + failure)
    print("causes: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
