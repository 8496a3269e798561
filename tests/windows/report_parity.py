#!/usr/bin/env python3
"""quorvex.exe under Wine against the Linux program, run for run: the same
script against the same simulator gives the same run report (-j) and, with
-q, the same console bytes (the data answers' JSON lines). What differs by
nature is left out of the comparison: the start time and the durations.
The report of the Windows run must follow the schema too.

    report_parity.py --wine WINE --windows-program quorvex.exe --linux-program quorvex
                     --mpsim MPSIM --schema run-report.schema.json
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

import jsonschema

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim"))
import launch  # noqa: E402

def script(*commands):
    """A script that logs in and sends COMMANDS (element lines)."""
    return (b'<?xml version="1.0"?>\n<MOXCL VERSION="2.0">\n<LOGIN USER_LOGIN="admin" PASSWORD="%pw%">\n'
            b'<MOX_SETTINGS MODE="read">\n' + b"".join(c + b"\n" for c in commands) +
            b"</MOX_SETTINGS>\n</LOGIN>\n</MOXCL>\n")


GET_SCRIPT = script(b"<GET_NETWORK_SETTINGS/>", b'<SET_SYSTEM_NAME VALUE="rack12"/>', b"<GET_POWER_STATE/>")
FLOPPY_SCRIPT = script(b"<GET_NETWORK_SETTINGS/>", b'<INSERT_VIRTUAL_FLOPPY IMAGE_LOCATION="fl.img"/>',
                       b"<GET_POWER_STATE/>")

# name, mpsim arguments, scenario, script: a run in each transport, with an
# answer that carries data, one that fails with the processor's status, an
# answer the processor echoes a password in and an image sent.
RUNS = [
    ("stream", ["--generation", "stream"], b"command GET_NETWORK_SETTINGS extra ' PASSWORD=\"echoed\"'\n",
     FLOPPY_SCRIPT),
    ("stream-failing", ["--generation", "stream"], b"command GET_POWER_STATE status 0x0003 message 'Power off'\n",
     GET_SCRIPT),
    ("http", ["--generation", "http"], b"command GET_POWER_STATE status 0x0003 message 'Power state unknown'\n"
     b"command GET_NETWORK_SETTINGS extra ' PASSWORD=\"echoed\"'\n", GET_SCRIPT),
]

ARGUMENTS = ["-f", "run.xml", "-l", "run.log", "-j", "run.json", "-q", "-t", "pw=t0psecret"]


def by_nature(report):
    """The report without what no two runs share: when it started and how
    long it and each image took."""
    report = dict(report)
    report.pop("started", None)
    report.pop("duration_seconds", None)
    report["images"] = [{k: v for k, v in image.items() if k != "seconds"} for image in report.get("images", [])]
    return report


def one_run(system, port, mpsim_folder, script, environment):
    command, executable = system
    folder = tempfile.mkdtemp(prefix="quorvex-parity-")
    with open(os.path.join(folder, "run.xml"), "wb") as handle:
        handle.write(script)
    shutil.copy(os.path.join(mpsim_folder, "fl.img"), os.path.join(folder, "fl.img"))
    completed = subprocess.run(command + ["-s", "127.0.0.1:%s" % port] + ARGUMENTS, executable=executable,
                               cwd=folder, env=environment, stdin=subprocess.DEVNULL, capture_output=True,
                               timeout=300)
    report = None
    if os.path.exists(os.path.join(folder, "run.json")):
        with open(os.path.join(folder, "run.json"), "rb") as handle:
            report = json.loads(handle.read())
    shutil.rmtree(folder, ignore_errors=True)
    return completed, report


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--windows-program", required=True)
    parser.add_argument("--linux-program", required=True)
    parser.add_argument("--mpsim", required=True)
    parser.add_argument("--schema", required=True)
    options = parser.parse_args()
    with open(options.schema) as handle:
        schema = json.load(handle)

    environment = dict(os.environ, QUORVEX_USER="admin", QUORVEX_PASSWORD="env-s3cret",
                       QUORVEX_KNOWN_PROCESSORS="known_processors", WINEDEBUG="-all")
    environment.pop("DEVICEIPADDRESS0", None)
    # Both started under the name "quorvex", which their messages begin with.
    starter = os.path.join(os.path.dirname(os.path.abspath(options.windows_program)), "start_as_quorvex.exe")
    systems = {"linux": (["quorvex"], os.path.abspath(options.linux_program)),
               "windows": ([options.wine, starter], None)}

    failures = []
    for name, mpsim_args, scenario, script in RUNS:
        mpsim_folder = tempfile.mkdtemp(prefix="quorvex-parity-sim-")
        with open(os.path.join(mpsim_folder, "scenario"), "wb") as handle:
            handle.write(scenario)
        with open(os.path.join(mpsim_folder, "fl.img"), "wb") as handle:
            handle.write(random.Random(7).randbytes(5000))
        process, port = launch.start(os.path.abspath(options.mpsim), mpsim_args + ["--scenario", "scenario"], mpsim_folder)
        try:
            results = {system: one_run(command, port, mpsim_folder, script, environment)
                       for system, command in systems.items()}
        finally:
            launch.stop(process)
            shutil.rmtree(mpsim_folder, ignore_errors=True)
        (linux, linux_report), (windows, windows_report) = results["linux"], results["windows"]
        if windows_report is None or linux_report is None:
            failures.append("%s: no report (Linux %s, Windows %s; Windows said %r)"
                            % (name, linux_report is not None, windows_report is not None, windows.stderr))
            continue
        try:
            jsonschema.validate(windows_report, schema)
        except jsonschema.ValidationError as error:
            failures.append("%s: the Windows report does not follow the schema: %s" % (name, error.message))
        if by_nature(windows_report) != by_nature(linux_report):
            failures.append("%s: the reports differ:\n  Linux:   %s\n  Windows: %s"
                            % (name, json.dumps(by_nature(linux_report), sort_keys=True),
                               json.dumps(by_nature(windows_report), sort_keys=True)))
        if windows.stdout != linux.stdout:
            failures.append("%s: the consoles differ:\n  Linux:   %r\n  Windows: %r" % (name, linux.stdout, windows.stdout))
        if (windows.returncode & 0xFF) != (linux.returncode & 0xFF):
            failures.append("%s: exit status %d on Linux, %d on Windows" % (name, linux.returncode, windows.returncode))
        if name == "http" and b'{"command":' not in linux.stdout:
            failures.append("%s: the quiet console shows no data answer: %r" % (name, linux.stdout))
        # The run's passwords nowhere; a password the processor echoes not
        # in the report (the console shows the answer as it came).
        for secret in (b"t0psecret", b"env-s3cret", b"echoed"):
            if secret in json.dumps(windows_report).encode() or (secret != b"echoed" and secret in windows.stdout):
                failures.append("%s: the Windows run shows the secret %s" % (name, secret.decode()))

    for failure in failures:
        print("FAILED: " + failure)
    print("report parity: %s" % ("FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
