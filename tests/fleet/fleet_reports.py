#!/usr/bin/env python3
"""scripts/quorvex-fleet collects the runs' reports and pins identities.

One fleet over simulated processors of both generations with a mix of
outcomes (data, an error status, a changed key, a run that leaves no
report) gives results.jsonl: one line per processor in inventory order,
each the processor's run report (valid against the schema) with its
inventory entry, or the fleet's own word where no report came; the summary
takes the failing command and message from the reports and says which
identities were new and which were refused. The jq queries that the README
and the manual page show give the right answers on it. The known-processors
file gets each new processor once; a fleet without -K keeps one in its
output folder, and a later fleet that names it finds the processor known.
An output folder that is a link, or that holds a pairs folder already, is
refused.

    fleet_reports.py --fleet scripts/quorvex-fleet --quorvex Q --mpsim M --fixtures DIR --readme README.md
        --schema docs/run-report.schema.json
"""
import argparse
import csv
import json
import os
import subprocess
import sys
import tempfile

import jsonschema

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim"))
import launch  # noqa: E402

PASSWORD = "fleet-report-pw-77"
SECRET_PAIR = "vault-pair-secret-41"

SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="scriptpass">
    <MOX_SETTINGS MODE="read">
      <GET_FW_VERSION/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""

# The queries of the README and the manual page, with their arguments.
QUERY_FIRMWARE = ("jq -r --arg below 2.20 'select(any(.responses[]?.data.FIRMWARE_VERSION.VERSION.VALUE // empty;"
                  " (split(\".\") | map(tonumber? // 0)) < ($below | split(\".\") | map(tonumber))))"
                  " | .inventory.processor' results.jsonl")
QUERY_FAILED = "jq -r 'select(.outcome == \"failed\") | [.inventory.processor, .reason] | @tsv' results.jsonl"
QUERY_IDENTITY = ("jq -r 'select(.identity.state == \"new\" or .identity.state == \"changed\")"
                  " | [.inventory.processor, .identity.state, .identity.fingerprint] | @tsv' results.jsonl")

# The fleet's word on a run that left no report.
NO_REPORT = "exit status 255, and no report came: its .out file says why"

RSA_A = "sha256:WwgEWpy+QsrAeaJIjGRk6gah8TCpoxdnuXCMEsTEDzc="
RSA_B = "sha256:Yk0xSLFTz6/+ncjS5ieNpwWccrOohStRfeNMTzuOcjc="


def main():
    parser = argparse.ArgumentParser()
    for name in ("fleet", "quorvex", "mpsim", "fixtures", "readme", "schema"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    for name in ("fleet", "quorvex", "mpsim", "fixtures", "readme", "schema"):
        setattr(options, name, os.path.abspath(getattr(options, name)))
    with open(options.schema) as handle:
        schema = json.load(handle)
    with open(options.readme) as handle:
        readme = handle.read()
    man_page = os.path.join(os.path.dirname(options.readme), "man", "quorvex-fleet.1.in")
    with open(man_page) as handle:
        manual = handle.read().replace("\\-", "-").replace("\\(dq", '"')

    problems = []

    def expect(condition, message):
        if not condition:
            problems.append(message)

    running = []
    with tempfile.TemporaryDirectory() as top:
        def start(name, args, scenario=None):
            folder = os.path.join(top, name)
            os.mkdir(folder)
            if scenario is not None:
                with open(os.path.join(folder, "scenario"), "w") as handle:
                    handle.write(scenario)
                args = args + ["--scenario", "scenario"]
            process, port = launch.start(options.mpsim, args + ["--timeout", "120"], folder)
            running.append(process)
            return "127.0.0.1:" + port

        def fleet(inventory, output, extra=(), known=None):
            with open(os.path.join(work, output + ".txt"), "w") as handle:
                handle.write(inventory)
            environment = dict(os.environ, QUORVEX_PASSWORD=PASSWORD)
            for name in ("QUORVEX_USER", "QUORVEX_TIMEOUT", "QUORVEX_KNOWN_PROCESSORS", "SHELL"):
                environment.pop(name, None)
            if known:
                environment["QUORVEX_KNOWN_PROCESSORS"] = known
            command = [options.fleet, "-f", "script.xml", "-Q", options.quorvex, "-o", output, "-j", "6",
                       "-T", "600", "-r", "0"] + list(extra) + [output + ".txt"]
            done = subprocess.run(command, cwd=work, env=environment, capture_output=True, timeout=1200)
            sys.stdout.write(done.stdout.decode(errors="replace") + done.stderr.decode(errors="replace"))
            return done

        def results(output):
            with open(os.path.join(work, output, "results.jsonl")) as handle:
                return [json.loads(line) for line in handle]

        work = os.path.join(top, "work")
        os.mkdir(work)
        with open(os.path.join(work, "script.xml"), "w") as handle:
            handle.write(SCRIPT)
        try:
            rsa_a = ["--cert", os.path.join(options.fixtures, "rsa-a-cert.pem"),
                     "--key", os.path.join(options.fixtures, "rsa-a-key.pem")]
            old = start("old", ["--generation", "http", "--identity", "rack-1"])
            new = start("new", ["--generation", "stream", "--identity", "rack-2"] + rsa_a)
            third = start("third", ["--generation", "http", "--identity", "rack-4"])
            error = start("error", ["--generation", "stream"],
                          "command GET_FW_VERSION status 0x0043 message 'Not allowed'\n")
            changed = start("changed", ["--generation", "http"] + rsa_a)
            # Its connection closes before the last answer: the run fails
            # though every answer it got said 0x0000.
            closed = start("closed", ["--generation", "stream"], "command GET_FW_VERSION close\n")
            # Seeded with another key for the processor at "changed".
            known = os.path.join(work, "known")
            with open(known, "w") as handle:
                handle.write("# pinned by hand\n%s %s\n" % (changed, RSA_B))
            inventory = ("%s\n%s  secret=%s\n# a comment\n%s\n%s\n%s\n%s oops\n%s\n"
                         % (old, new, SECRET_PAIR, third, error, changed, "127.0.0.1:9", closed))
            done = fleet(inventory, "out", known=known)
            expect(done.returncode == 1, "exit status %d, not 1" % done.returncode)
            lines = results("out")
            processors = [old, new, third, error, changed, "127.0.0.1:9", closed]
            expect([line["inventory"] for line in lines] ==
                   [{"line": n, "processor": p} for n, p in zip([1, 2, 4, 5, 6, 7, 8], processors)],
                   "results.jsonl: not one line per processor in inventory order: %s"
                   % [line.get("inventory") for line in lines])
            for line in lines[:5] + lines[6:]:
                report = {key: value for key, value in line.items() if key not in ("inventory", "fleet")}
                try:
                    jsonschema.validate(report, schema)
                except jsonschema.ValidationError as error_found:
                    problems.append("%s: not a valid report: %s" % (line["inventory"], error_found.message))
                expect(line["fleet"]["report"] is True and line["exit_status"] == line["fleet"]["exit_status"],
                       "%s: its report's exit status %s, the job's %s"
                       % (line["inventory"], line.get("exit_status"), line["fleet"]))
            expect([line["outcome"] for line in lines] == ["succeeded"] * 3 + ["failed"] * 4,
                   "outcomes: %s" % [line["outcome"] for line in lines])
            # The run that left no report (its -t pairs were refused) still
            # has its line, with the fleet's own word.
            last = lines[5]
            expect(last["fleet"]["report"] is False and last["fleet"]["exit_status"] == 255 and
                   last["outcome"] == "failed" and last["reason"] == NO_REPORT and "cause" not in last and
                   last["server"] == "127.0.0.1:9",
                   "the run without a report: %s" % last)
            expect([line.get("identity", {}).get("state") for line in lines] ==
                   ["new", "new", "new", "new", "changed", None, "new"],
                   "identities: %s" % [line.get("identity") for line in lines])

            with open(os.path.join(work, "out", "summary.csv"), newline="") as handle:
                rows = list(csv.reader(handle))
            # The processor's status only where it gave one: the run whose
            # connection closed shows none, not the 0x0000 of an earlier
            # answer beside its failure.
            expect([row[5:7] + row[8:] for row in rows[1:-1]] == [
                ["0x0000", "No error", "-", "new", "-"], ["0x0000", "No error", "-", "new", "-"],
                ["0x0000", "No error", "-", "new", "-"],
                ["0x0043", "Not allowed", "GET_FW_VERSION", "new", "processor.status"],
                ["-", "-", "-", "refused (changed)", "identity.changed"], ["-", "-", "-", "-", "-"],
                ["-", "-", "-", "new", "processor.closed"]],
                "summary.csv, the processor's status, message, command, identity and cause: %s" % rows)
            expect(rows[-1][2] == "7 processors, 3 succeeded, 4 failed" and rows[-1][9] == "5 new, 1 refused"
                   and rows[-1][10] == "" and rows[-1][0] == "total",
                   "the totals row: %s" % rows[-1])
            with open(os.path.join(work, "out", "summary.txt")) as handle:
                table = handle.read()
            expect("identities: 5 new, 1 refused (known-processors file %s)\n" % known in table and
                   "\ncauses: 1 identity.changed, 1 processor.closed, 1 processor.status, 1 without a cause\n"
                   "total: 7 processors" in table,
                   "the table does not say which identities were new or refused:\n" + table)
            with open(known) as handle:
                pinned = handle.read().splitlines()
            expect(sorted(pinned[2:]) == sorted("%s %s" % (p, lines[n]["identity"]["fingerprint"])
                                                for n, p in enumerate(processors[:4] + [None, None, closed])
                                                if p) and
                   pinned[:2] == ["# pinned by hand", "%s %s" % (changed, RSA_B)] and
                   "%s %s" % (new, RSA_A) in pinned,
                   "the known-processors file:\n%s" % "\n".join(pinned))

            # The documented queries, verbatim from the README and the
            # manual page, give the right answers.
            for query in (QUERY_FIRMWARE, QUERY_FAILED, QUERY_IDENTITY):
                expect(query in readme, "the README does not show the query " + query)
                expect(query in manual, "the manual page does not show the query " + query)
            versions = [response["data"]["FIRMWARE_VERSION"]["VERSION"]["VALUE"]
                        for line in lines[:3] for response in line["responses"] if response["data"]]
            expect(versions == ["2.10", "1.41", "2.31"], "the simulators' firmware versions: %s" % versions)

            def query(text):
                done = subprocess.run(text, shell=True, cwd=os.path.join(work, "out"), capture_output=True)
                expect(done.returncode == 0, "%s: %s" % (text, done.stderr))
                return done.stdout.decode().splitlines()

            below = query(QUERY_FIRMWARE)
            expect(below == [old, new], "firmware below 2.20: %s" % below)
            failed = query(QUERY_FAILED)
            # (A reason is cut at 300 characters, between words, and then
            # ends in " ...".)
            changed_reason = ("The key of the processor at %s has changed: line 2 of %s holds %s, the processor "
                              "shows %s. Nothing was sent. If the new key is right, remove or edit line 2 of %s."
                              % (changed, known, RSA_B, RSA_A, known))
            if len(changed_reason) > 300:
                changed_reason = changed_reason[:297].rsplit(" ", 1)[0].rstrip() + " ..."
            expect(failed == [
                "%s\tGET_FW_VERSION failed with status 0x0043: Not allowed" % error,
                "%s\t%s" % (changed, changed_reason),
                "127.0.0.1:9\t" + NO_REPORT,
                "%s\tSSL_read:Connection Terminated:reason(0)." % closed],
                "failed runs with their reason: %s" % failed)
            identities = query(QUERY_IDENTITY)
            expect([line.split("\t")[:2] for line in identities] ==
                   [[old, "new"], [new, "new"], [third, "new"], [error, "new"], [changed, "changed"],
                    [closed, "new"]],
                   "new and changed identities: %s" % identities)

            # No secret in what the fleet left: neither the password nor a
            # value of the -t pairs (whose files are gone with the fleet).
            for root, _, files in os.walk(os.path.join(work, "out")):
                for name in files:
                    with open(os.path.join(root, name), "rb") as handle:
                        content = handle.read()
                    expect(PASSWORD.encode() not in content, "the password is in " + name)
                    expect(SECRET_PAIR.encode() not in content, "a -t value is in " + name)
            expect(not os.path.exists(os.path.join(work, "out", "pairs")), "the pairs were left behind")

            # Without -K the fleet keeps its own file in the output folder;
            # a later fleet naming it finds the processor known.
            done = fleet("%s\n" % old, "again")
            expect(done.returncode == 0 and results("again")[0]["identity"]["state"] == "new" and
                   os.path.exists(os.path.join(work, "again", "known-processors")),
                   "a fleet without -K: %d %s" % (done.returncode, results("again")))
            done = fleet("%s\n" % old, "known-again", ["-K", "again/known-processors"])
            expect(done.returncode == 0 and results("known-again")[0]["identity"]["state"] == "known" and
                   b"identities: 0 new, 0 refused (known-processors file again/known-processors)" in done.stdout,
                   "a fleet naming the file: %d %s" % (done.returncode, results("known-again")))

            # In a folder others can write to, the output folder may be
            # another's doing: a link in its place, or a pairs folder made
            # beforehand, is refused before any secret is written.
            os.symlink(os.path.join(top, "elsewhere"), os.path.join(work, "linked"))
            os.makedirs(os.path.join(work, "planted", "pairs"))
            for output in ("linked", "planted"):
                done = fleet("%s  secret=%s\n" % (old, SECRET_PAIR), output)
                expect(done.returncode == 2 and not os.path.exists(os.path.join(top, "elsewhere")) and
                       sorted(os.listdir(os.path.join(work, "planted"))) == ["pairs"] and
                       os.listdir(os.path.join(work, "planted", "pairs")) == [],
                       "output folder %s: %d %s" % (output, done.returncode, done.stderr))
        finally:
            for process in running:
                launch.stop(process)

    for problem in problems:
        print("FAILED: " + problem)
    print("fleet reports: %s" % ("FAILED" if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
