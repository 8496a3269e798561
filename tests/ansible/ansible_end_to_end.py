#!/usr/bin/env python3
"""The Ansible collection quorvex.moxcl end to end: ansible-doc renders the
module's documentation; one playbook, delegated to localhost with 10 forks,
runs over 20 processors of the inventory (19 mpsim processors on loopback
and a port where nothing listens) with a mix of outcomes, first in check
mode, then for real.

Check mode contacts no processor (the simulators record no connection),
writes no report and leaves the known-processors file as it was; write
scripts show as changed, every valid script passes. The real run gives
each processor its own failed/changed/ok in the recap and the exit status,
reason and report in its result. The password (from the inventory) reaches
the processors and shows nowhere else: not in the -vvv output, not on any
process's command line or in its environment during the runs, not in a
result or a kept report, not in a file left behind. A processor that
cannot be reached is unreachable, not failed.

Then the example playbook runs over two more processors, one of each
generation, whose reads answer with what their writes set: with --check
--diff (the diff shows expected against found, nothing is written), then
twice for real: changed, then ok with nothing written.

    ansible_end_to_end.py --quorvex Q --mpsim M --fixtures DIR --collections DIR
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import launch  # noqa: E402
from process_watch import ProcessWatch, closed_port  # noqa: E402

PASSWORD = "ansible-s3cret-pw"
OPERATOR_PASSWORD = "operator-s3cret-pw"
ANSIBLE_MASK = "********"

WRITE_SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="scriptpass">
    <MOX_SETTINGS MODE="write">
      <SET_ITEM_A NAME_A="%label%"/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""

# MODE="write" stands only in a comment and in another attribute's value.
READ_SCRIPT = """<?xml version="1.0"?>
<!-- not <X MODE="write"> -->
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="scriptpass">
    <MOX_SETTINGS MODE="read">
      <GET_ITEM_A NOTE='MODE="write"'/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""

# A relative image path: the image lands in the run's folder, which is then
# kept rather than removed with it.
COPY_SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="scriptpass">
    <MOX_SETTINGS MODE="read">
      <COPY_VIRTUAL_FLOPPY IMAGE_LOCATION="copy.img"/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""

PLAYBOOK = """- name: Processors
  hosts: processors
  gather_facts: false
  tasks:
    - name: Run the script
      quorvex.moxcl.run_script:
        server: "{{ mp_server | default(ansible_host ~ ':' ~ mp_port) }}"
        script: "{{ playbook_dir }}/{{ mp_script }}"
        variables: "{{ mp_variables | default(omit) }}"
        user: admin
        password: "{{ mp_password }}"
        timeout: 120
        known_processors: "{{ playbook_dir }}/known_processors"
        report: "{{ playbook_dir }}/reports/{{ inventory_hostname }}.json"
        quorvex: "{{ quorvex_program }}"
      delegate_to: localhost
"""

ERROR_STATUS = "command SET_ITEM_A status 0x005F message 'Bad value'\n"
REFUSED_REQUEST = ("conn 2 every head 'HTTP/1.1 503 Service Unavailable\\r\\nContent-Length: 0\\r\\n"
                   "Connection: close\\r\\n\\r\\n'\nconn 2 response 1 close\n")
WRONG_KEY = "sha256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="

# name: (mpsim arguments or None for a closed port, scenario, script,
#        variables, server, expected in check mode, expected for real,
#        exit status for real, a text of the message: the words of the run's cause).
# Expected: "ok", "changed" or "failed". Server: None for ansible_host and
# the port, "usage" for a server the command line cannot take.
HTTP = ["--generation", "http"]
STREAM = ["--generation", "stream"]
LABEL = {"label": "from-ansible"}
PROCESSORS = {
    "mp01": (HTTP, None, "write.xml", LABEL, None, "changed", "changed", 0, None),
    "mp02": (HTTP, None, "write.xml", LABEL, None, "changed", "changed", 0, None),
    "mp03": (HTTP, None, "write.xml", {"label": 7}, None, "changed", "changed", 0, None),
    "mp04": (STREAM, None, "write.xml", LABEL, None, "changed", "changed", 0, None),
    "mp05": (STREAM, None, "write.xml", LABEL, None, "changed", "changed", 0, None),
    "mp06": (HTTP, None, "read.xml", None, None, "ok", "ok", 0, None),
    "mp07": (HTTP, None, "read.xml", None, None, "ok", "ok", 0, None),
    "mp08": (STREAM, None, "read.xml", None, None, "ok", "ok", 0, None),
    "mp09": (STREAM, None, "read.xml", None, None, "ok", "ok", 0, None),
    "mp10": (STREAM, ERROR_STATUS, "write.xml", LABEL, None, "changed", "failed", 95,
             'answered SET_ITEM_A with status 0x005F: "Bad value"'),
    "mp11": (STREAM, ERROR_STATUS, "write.xml", LABEL, None, "changed", "failed", 95,
             'answered SET_ITEM_A with status 0x005F: "Bad value"'),
    "mp12": (HTTP, ERROR_STATUS, "write.xml", LABEL, None, "changed", "failed", 95,
             'answered a command with status 0x005F: "Bad value"'),
    "mp13": (HTTP, REFUSED_REQUEST, "read.xml", None, None, "ok", "failed", 4, "HTTP"),
    "mp14": ("ec", None, "write.xml", LABEL, None, "changed", "failed", 255, "no protocol version or cipher in common"),
    "mp15": (None, None, "read.xml", None, None, "ok", "unreachable", 255, "refused the connection"),
    "mp16": (HTTP, None, "read.xml", None, None, "ok", "failed", 77, "key"),  # a known key of another
    "mp17": (HTTP, None, "write.xml", {"label": "x" * 49}, None, "failed", "failed", None, "49 bytes"),
    "mp18": (STREAM, None, "write.xml", {"labl": "typo"}, None, "failed", "failed", 255,
             "No value given with -t for %label%"),
    "mp19": (HTTP, None, "read.xml", None, "usage", "failed", "failed", 64, "usage error"),
    "mp20": (STREAM, None, "copy.xml", None, None, "ok", "ok", 0, None),
}


def recap(output):
    """host -> "failed", "changed" or "ok" from the play recap."""
    seen = {}
    for line in output.splitlines():
        match = re.match(r"^(mp\d\d)\s+: ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)", line)
        if match:
            name, ok, changed, unreachable, failed = match.groups()
            seen[name] = ("failed" if failed != "0" else "unreachable" if unreachable != "0" else
                          "changed" if changed != "0" else "ok" if ok != "0" else "none")
    return seen


def main():
    parser = argparse.ArgumentParser()
    for name in ("quorvex", "mpsim", "fixtures", "collections"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    for name in ("quorvex", "mpsim", "fixtures", "collections"):
        setattr(options, name, os.path.abspath(getattr(options, name)))

    path = os.environ.get("PATH") or "/usr/local/bin:/usr/bin:/bin"
    playbook_program = shutil.which("ansible-playbook", path=path)
    doc_program = shutil.which("ansible-doc", path=path)
    if playbook_program is None or doc_program is None:
        print("ansible-core is not installed: scripts/bootstrap installs it (apt-get install ansible-core)")
        return 1

    problems = []

    def expect(condition, message):
        if not condition:
            problems.append(message)

    with tempfile.TemporaryDirectory() as top:
        work = os.path.join(top, "work")
        for folder in ("work", "home", "tmp", "ansible-tmp", "remote-tmp", "results", "sims", "work/reports"):
            os.mkdir(os.path.join(top, folder))
        # Ansible under a bare environment, as in CI: its own home and
        # temporary folders, a UTF-8 locale, no configuration file.
        environment = {
            "PATH": path, "HOME": os.path.join(top, "home"), "LC_ALL": "C.UTF-8", "LANG": "C.UTF-8",
            "TMPDIR": os.path.join(top, "tmp"),
            "ANSIBLE_LOCAL_TEMP": os.path.join(top, "ansible-tmp"),
            "ANSIBLE_REMOTE_TEMP": os.path.join(top, "remote-tmp"),
            "ANSIBLE_COLLECTIONS_PATH": options.collections,
            "ANSIBLE_PYTHON_INTERPRETER": "/usr/bin/python3",
            "ANSIBLE_NOCOLOR": "1", "ANSIBLE_RETRY_FILES_ENABLED": "0",
            "ANSIBLE_CALLBACKS_ENABLED": "ansible.builtin.tree",
            "ANSIBLE_CALLBACK_TREE_DIR": os.path.join(top, "results"),
        }

        done = subprocess.run([doc_program, "quorvex.moxcl.run_script"], cwd=work, env=environment,
                              capture_output=True, text=True, timeout=600)
        expect(done.returncode == 0 and "> QUORVEX.MOXCL.RUN_SCRIPT" in done.stdout and
               "known_processors" in done.stdout and "RETURN VALUES" in done.stdout and
               "EXAMPLES" in done.stdout,
               "ansible-doc does not render the module: %s%s" % (done.stdout[:2000], done.stderr))

        for name, text in (("write.xml", WRITE_SCRIPT), ("read.xml", READ_SCRIPT), ("copy.xml", COPY_SCRIPT)):
            with open(os.path.join(work, name), "w") as handle:
                handle.write(text)

        sims = []
        ports = {}
        inventory = {"processors": {"vars": {"mp_password": PASSWORD, "quorvex_program": options.quorvex},
                                    "hosts": {}}}
        try:
            for name, (args, scenario, script, variables, server, *_) in PROCESSORS.items():
                if args is None:
                    ports[name] = closed_port()
                else:
                    if args == "ec":
                        args = STREAM + ["--cert", os.path.join(options.fixtures, "ec-cert.pem"),
                                         "--key", os.path.join(options.fixtures, "ec-key.pem")]
                    folder = os.path.join(top, "sims", name)
                    os.mkdir(folder)
                    extra = ["--record", "record", "--timeout", "120"]
                    if scenario is not None:
                        with open(os.path.join(folder, "scenario"), "w") as handle:
                            handle.write(scenario)
                        extra += ["--scenario", "scenario"]
                    process, ports[name] = launch.start(options.mpsim, args + extra, folder)
                    sims.append(process)
                host = {"ansible_host": "127.0.0.1", "mp_port": int(ports[name]), "mp_script": script}
                if variables is not None:
                    host["mp_variables"] = variables
                if server == "usage":
                    host["mp_server"] = "[127.0.0.1:" + ports[name]
                inventory["processors"]["hosts"][name] = host
            with open(os.path.join(work, "inventory.json"), "w") as handle:
                json.dump(inventory, handle)
            with open(os.path.join(work, "playbook.yml"), "w") as handle:
                handle.write(PLAYBOOK)
            # mp16's processor has a line already, with another key.
            known = os.path.join(work, "known_processors")
            with open(known, "w") as handle:
                handle.write("127.0.0.1:%s %s\n" % (ports["mp16"], WRONG_KEY))

            def playbook(*extra):
                for name in os.listdir(os.path.join(top, "results")):
                    os.remove(os.path.join(top, "results", name))
                watch = ProcessWatch(PASSWORD.encode(), ("cmdline", "environ"))
                watch.start()
                started = time.monotonic()
                done = subprocess.run([playbook_program, "-vvv", "-f", "10", "-i", "inventory.json"] + list(extra)
                                      + ["playbook.yml"], cwd=work, env=environment, capture_output=True,
                                      text=True, timeout=1200)
                watch.stop()
                output = done.stdout + done.stderr
                print("ansible-playbook %s: %.1f s, exit status %d" % (" ".join(extra), time.monotonic() - started,
                                                                        done.returncode))
                results = {}
                for name in os.listdir(os.path.join(top, "results")):
                    with open(os.path.join(top, "results", name)) as handle:
                        results[name] = json.load(handle)
                expect(PASSWORD not in output, "the password is in the -vvv output of %s" % (extra,))
                expect(not watch.leaks, "the password showed in a process %s" % watch.leaks[:3])
                expect(b"quorvex" in watch.programs, "the process watch saw no quorvex run")
                for name, result in results.items():
                    shown = dict(result)
                    shown.pop("invocation", None)
                    text = json.dumps(shown)
                    # Ansible masks the password in results: a mask outside
                    # the invocation would be the password, leaked.
                    expect(PASSWORD not in json.dumps(result) and ANSIBLE_MASK not in text,
                           "the password is in the result of %s: %s" % (name, text[:500]))
                return done, output, results

            def received(name):
                record = os.path.join(top, "sims", name, "record")
                texts = []
                if os.path.isdir(record):
                    for file in sorted(os.listdir(record)):
                        if file.endswith(".received"):
                            with open(os.path.join(record, file), "rb") as handle:
                                texts.append(handle.read())
                return b"".join(texts)

            def connections(name):
                record = os.path.join(top, "sims", name, "record")
                return sorted(os.listdir(record)) if os.path.isdir(record) else []

            # Check mode: the script is checked, nothing connects.
            done, output, results = playbook("--check")
            states = recap(output)
            for name, expected in PROCESSORS.items():
                expect(states.get(name) == expected[5], "check mode, %s: %s, not %s"
                       % (name, states.get(name), expected[5]))
                expect(not connections(name), "check mode: %s was contacted: %s" % (name, connections(name)))
            expect(results.get("mp01", {}).get("report", {}).get("check_only") is True,
                   "check mode: the report of mp01 is no check-only report: %s" % results.get("mp01"))
            expect(not os.listdir(os.path.join(work, "reports")), "check mode kept reports")
            with open(known) as handle:
                expect(handle.read() == "127.0.0.1:%s %s\n" % (ports["mp16"], WRONG_KEY),
                       "check mode changed the known-processors file")
            expect(done.returncode == 2, "check mode: ansible-playbook ended with %d, not 2" % done.returncode)

            # The real run. mp19's report of an earlier run stays where it
            # is: its run writes none, and the result must not take that one.
            stale = {"schema": 1, "exit_status": 0, "outcome": "succeeded", "server": "earlier"}
            with open(os.path.join(work, "reports", "mp19.json"), "w") as handle:
                json.dump(stale, handle)
            done, output, results = playbook()
            states = recap(output)
            for name, expected in PROCESSORS.items():
                state, status, reason = expected[6], expected[7], expected[8]
                result = results.get(name, {})
                # A closed port: the processor could not be reached.
                if state == "unreachable":
                    cause = ((result.get("report") or {}).get("cause") or {}).get("code")
                    expect(result.get("unreachable") is True and not result.get("failed") and
                           cause == "connect.refused" and result.get("cause") == cause,
                           "%s: not unreachable: %s" % (name, result))
                expect(states.get(name) == state, "%s: %s, not %s" % (name, states.get(name), state))
                expect(result.get("exit_status") == status, "%s: exit status %s, not %s\n%s"
                       % (name, result.get("exit_status"), status, json.dumps(result)[:1500]))
                if reason is not None:
                    expect(reason in result.get("msg", ""), "%s: the message does not say %r: %s"
                           % (name, reason, result.get("msg")))
                if status not in (None, 64) and name != "mp18":
                    report = result.get("report") or {}
                    expect(report.get("exit_status") == status and report.get("server") == "127.0.0.1",
                           "%s: the result carries no report of the run: %s" % (name, report))
                    expect(os.path.exists(os.path.join(work, "reports", name + ".json")),
                           "%s: the report was not kept" % name)
            # Where the utility wrote no report (the command line refused
            # it), the module's own meaning and the utility's error line.
            expect(results.get("mp19", {}).get("report") is None and
                   results.get("mp19", {}).get("exit_meaning", "").startswith("a usage error") and
                   "not formatted correctly" in results.get("mp19", {}).get("reason", ""),
                   "mp19: %s" % results.get("mp19"))
            expect(results.get("mp10", {}).get("reason") == "SET_ITEM_A failed with status 0x005F: Bad value",
                   "mp10: the reason is %r" % results.get("mp10", {}).get("reason"))
            # 4: a host was unreachable.
            expect(done.returncode == 4, "ansible-playbook ended with %d, not 4" % done.returncode)

            # What the processors got: the password, the -t values; nothing
            # where the module refused before running.
            for name in ("mp01", "mp02"):
                got = received(name)
                expect(b'PASSWORD="' + PASSWORD.encode() + b'"' in got and b'NAME_A="from-ansible"' in got,
                       "%s got %r" % (name, got[-400:]))
            expect(b'NAME_A="7"' in received("mp03"), "mp03 did not get the number as its value")
            for name in ("mp04", "mp08"):
                expect(b'PASSWORD = "' + PASSWORD.encode() + b'"' in received(name), "%s got no password" % name)
            expect(b'NAME_A = "from-ansible"' in received("mp04"), "mp04 did not get its -t value")
            for name in ("mp16", "mp17", "mp18", "mp19"):
                expect(received(name) == b"", "%s got bytes: %r" % (name, received(name)[:200]))
            with open(known) as handle:
                lines = handle.read().splitlines()
            expect(lines[0].endswith(WRONG_KEY) and len(lines) == 1 + 14,
                   "the known-processors file does not hold the 14 processors met:\n%s" % "\n".join(lines))

            # No file left with the password but the inventory and the
            # processors' transcripts; no run folder left behind.
            for root, _, files in os.walk(top):
                if root.startswith(os.path.join(top, "sims")):
                    continue
                for file in files:
                    full = os.path.join(root, file)
                    if full == os.path.join(work, "inventory.json"):
                        continue
                    with open(full, "rb") as handle:
                        expect(PASSWORD.encode() not in handle.read(), "the password is in " + full)
            # The one run folder left is mp20's, with the image alone.
            left = os.listdir(os.path.join(top, "tmp"))
            kept = os.path.join(top, "tmp", left[0]) if len(left) == 1 else None
            expect(kept is not None and os.listdir(kept) == ["copy.img"] and
                   os.path.getsize(os.path.join(kept, "copy.img")) == 1474560 and
                   any(kept in warning for warning in results.get("mp20", {}).get("warnings", [])),
                   "run folders left: %s; mp20's warnings: %s" % (left, results.get("mp20", {}).get("warnings")))
            if problems:
                sys.stdout.write(output[-6000:])

            # The example playbook of ansible/examples, as the README gives
            # it, over two processors with data of their own (one of each
            # generation) and the utility on PATH; a copy of the tree's
            # folders, since it keeps its reports next to itself.
            tree = os.path.join(top, "tree")
            shutil.copytree(os.path.join(options.collections, "examples"), os.path.join(tree, "ansible", "examples"))
            os.mkdir(os.path.join(tree, "examples"))
            shutil.copy(os.path.join(options.collections, "..", "examples", "read_settings.xml"),
                        os.path.join(tree, "examples"))
            hosts = {}
            for name, args in (("mp-a", HTTP), ("mp-b", STREAM)):
                folder = os.path.join(top, "sims", name)
                os.mkdir(folder)
                process, port = launch.start(options.mpsim, args + ["--identity", name, "--timeout", "120",
                                                                    "--record", "record"], folder)
                sims.append(process)
                hosts[name] = {"ansible_host": "127.0.0.1", "mp_port": int(port)}
            examples = os.path.join(tree, "ansible", "examples")
            with open(os.path.join(examples, "test-inventory.json"), "w") as handle:
                json.dump({"processors": {"hosts": hosts, "vars": {
                    "mp_user": "admin", "mp_password": PASSWORD, "operator_login": "night-operator",
                    "operator_password": OPERATOR_PASSWORD}}}, handle)
            example_environment = dict(environment, PATH=os.path.dirname(options.quorvex) + os.pathsep + path,
                                       ANSIBLE_CALLBACKS_ENABLED="")

            def example(*extra):
                """A run of the example playbook: its output, the state of
                each processor, and the bytes each got during the run."""
                before = {name: connections(name) for name in hosts}
                done = subprocess.run([playbook_program, "-f", "10", "-i", "test-inventory.json"] + list(extra)
                                      + ["playbook.yml"], cwd=examples, env=example_environment,
                                      capture_output=True, text=True, timeout=600)
                output = done.stdout + done.stderr
                states = recap(output.replace("mp-a ", "mp91 ").replace("mp-b ", "mp92 "))
                got = {}
                for name in hosts:
                    record = os.path.join(top, "sims", name, "record")
                    got[name] = b""
                    for file in connections(name):
                        if file.endswith(".received") and file not in before[name]:
                            with open(os.path.join(record, file), "rb") as handle:
                                got[name] += handle.read()
                expect(done.returncode == 0, "the example playbook %s ended with %d:\n%s"
                       % (extra, done.returncode, output[-4000:]))
                for secret in (PASSWORD, OPERATOR_PASSWORD):
                    expect(secret not in output, "the example playbook %s shows a password" % (extra,))
                return output, states, got

            writes = (b"MOD_NETWORK_SETTINGS", b"ADD_USER")
            # Check mode reads and compares, shows the difference, writes
            # nothing; the settings script's check contacts nothing at all.
            output, states, got = example("--check", "--diff")
            expect(states == {"mp91": "changed", "mp92": "changed"}, "example --check: %s" % states)
            for name in hosts:
                expect(b"GET_NETWORK_SETTINGS" in got[name] and b"GET_ALL_USERS" in got[name] and
                       not any(write in got[name] for write in writes),
                       "example --check: %s got %r" % (name, got[name][-600:]))
                expect("-NETWORK_SETTINGS.DNS_NAME.VALUE: mp-%s\n+NETWORK_SETTINGS.DNS_NAME.VALUE: %s"
                       % (name, name) in output and
                       "+ALL_USERS.USER_LOGIN[].VALUE: night-operator" in output,
                       "example --check --diff shows no difference for %s:\n%s" % (name, output[-4000:]))
            expect(not os.path.exists(os.path.join(examples, "reports")), "example --check made the reports folder")

            # For real: both settings written, the new values sent.
            output, states, got = example()
            expect(states == {"mp91": "changed", "mp92": "changed"} and
                   '"msg": "mp-mp-a"' in output and '"msg": "mp-mp-b"' in output and
                   sorted(os.listdir(os.path.join(examples, "reports"))) ==
                   sorted("%s-%s.json" % (name, kind) for name in hosts
                          for kind in ("settings", "dns-name", "operator")),
                   "the example playbook:\n%s" % output[-4000:])
            expect(b'VALUE="mp-a"' in got["mp-a"] and b'VALUE = "mp-b"' in got["mp-b"] and
                   all(b"night-operator" in got[name] and OPERATOR_PASSWORD.encode() in got[name]
                       for name in hosts),
                   "the example playbook wrote: %r / %r" % (got["mp-a"][-800:], got["mp-b"][-800:]))

            # Again: every value is there, nothing is written.
            output, states, got = example("--diff")
            expect(states == {"mp91": "ok", "mp92": "ok"}, "example, second run: %s\n%s" % (states, output[-4000:]))
            expect('"msg": "mp-a"' in output and '"msg": "mp-b"' in output,
                   "example, second run: the names read are not the ones written")
            for name in hosts:
                expect(not any(write in got[name] for write in writes),
                       "example, second run: %s got a write: %r" % (name, got[name][-600:]))
        finally:
            for process in sims:
                launch.stop(process)

    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
