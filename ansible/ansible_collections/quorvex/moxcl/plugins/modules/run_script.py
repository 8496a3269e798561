#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: run_script
short_description: Run a MOXCL script on a server management processor
version_added: "1.0.0"
description:
  - Runs the C(quorvex) utility on the machine the task runs on (normally
    the control node, with C(delegate_to=localhost)) against one
    management processor, and returns the utility's JSON run report.
  - Put the processors in the inventory with their addresses (for example
    C(ansible_host) and a port variable) and delegate the task to
    C(localhost); every processor then gets a run of its own, as many at
    once as the play's forks allow.
  - The password goes to the utility on its standard input
    (C(QUORVEX_PASSWORD_FILE=-)), the user name through its environment;
    neither stands on a command line. Variables do (C(-t)), so do not pass
    secrets as I(variables); every local user can read them in the process
    list while the run lasts.
  - B(Desired state.) With I(read_script) (or I(read_script_content)) and
    I(expected), the task first runs the read script and looks in its
    report for the expected values. When every one is there, nothing is
    written and the task is C(ok); otherwise the write script (I(script))
    runs and the task is C(changed). With C(--diff) the task shows the
    expected values against those found. In check mode only the read runs.
  - B(A script alone.) Without a read script the task runs I(script) and is
    C(changed) when the run succeeded and the utility's report says the
    script holds a command block in write mode (its C(write_mode)). A
    processor cannot say whether a command changed anything, so such a run
    always counts as a change, a read-only one never does.
  - Everything the task says comes from the utility's JSON run report
    (the utility's own reading of the script and its C(%name%)
    substitution included); the module never reads the script.
  - The task fails when the utility ends with a status other than 0; the
    message is the words of the report's cause (what happened and what to
    do), or, from a utility whose report has no cause, the status, its
    meaning and the report's reason.
  - A processor that cannot be reached (the report's cause is a connection
    cause, C(connect.*), for a refused connection, a name that does not
    resolve or no answer within the time limit) makes the host C(unreachable), not C(failed),
    as a host that SSH cannot reach; Ansible drops it from the rest of the
    play and counts it under C(unreachable) in the recap, and
    C(ignore_unreachable) applies, not C(ignore_errors). A processor that
    was reached but refused the connection's terms (a failed TLS handshake,
    a changed key) or failed the script is C(failed); it needs someone to
    act, and trying again does not help.
  - Each run works in a private temporary folder (the working copy that
    C(-t) writes lives there). Image paths in the script
    (C(IMAGE_LOCATION)) should be absolute; a relative one names a file in
    that folder, which is then kept and named in a warning rather than
    deleted.
  - The utility's own environment settings (C(QUORVEX_USER),
    C(QUORVEX_PASSWORD), C(QUORVEX_PASSWORD_FILE),
    C(QUORVEX_KNOWN_PROCESSORS), C(QUORVEX_KNOWN_PROCESSORS_MODE),
    C(QUORVEX_TIMEOUT), C(DEVICEIPADDRESS0)) are not passed on from the
    module's environment; the module's options alone decide them.
author:
  - QUORVEX maintainers (@quorvex)
options:
  server:
    description:
      - The processor, C(host[:port]) as C(quorvex -s) takes it; an IPv6
        address with a port is written in brackets (C([fe80::5]:444)).
        The port is 443 when none is given.
    type: str
    required: true
  script:
    description:
      - Path of the script file on the machine the module runs on (with
        C(delegate_to=localhost) the control node). A relative path is
        taken from the module's working folder; prefer
        C("{{ playbook_dir }}/...").
      - Exactly one of I(script) and I(script_content) is given.
    type: path
  script_content:
    description:
      - The script itself, as text (for example from a C(template) lookup).
    type: str
  read_script:
    description:
      - Path of a script that reads what I(script) would set, on the machine
        the module runs on. It runs first, with the same variables, user and
        password; I(expected) says what its answers must hold.
      - At most one of I(read_script) and I(read_script_content) is given;
        either needs I(expected), and I(expected) needs one of them.
    type: path
    version_added: "4.21.0"
  read_script_content:
    description:
      - The read script itself, as text.
    type: str
    version_added: "4.21.0"
  expected:
    description:
      - The values the read script's answers must hold, by path into the
        data of the report's answers, as the utility's README queries them
        with jq (C(NETWORK_SETTINGS.DNS_NAME.VALUE) for
        C(.responses[] | select(.data.NETWORK_SETTINGS) | .data.NETWORK_SETTINGS.DNS_NAME.VALUE)).
      - Names are joined by dots (a leading dot is allowed). A name met more
        than once in one element is a list in the data; C(NAME[N]) takes its
        element N (from 0), C(NAME[]) every element.
      - A path holds its value when one of the texts it reaches is that
        value, so C(ALL_USERS.USER_LOGIN[].VALUE) with the value
        C(night-operator) holds when that user is among the logins. Texts
        are compared exactly; numbers are written as YAML gives them,
        booleans as C(true) and C(false).
    type: dict
    version_added: "4.21.0"
  variables:
    description:
      - Values for the script's C(%name%) placeholders, passed as C(-t).
      - They are held to C(-t)'s limits before anything runs (at most 25
        variables, names and values of at most 48 bytes, no comma or C(=)
        in either, at most 2400 bytes in all). Numbers are written as
        YAML gives them, booleans as C(true) and C(false).
      - A placeholder of the script without a value refuses the run
        (nothing is sent).
    type: dict
  user:
    description:
      - Takes the place of the user name of the script's C(LOGIN) element
        (C(QUORVEX_USER) in the utility's environment).
    type: str
  password:
    description:
      - Takes the place of the password of the script's C(LOGIN) element.
        Handed to the utility on its standard input, never on a command
        line or in its environment; never shown in the task's output.
      - It may not hold a line break.
    type: str
  timeout:
    description:
      - Seconds that any wait on the processor may last (C(QUORVEX_TIMEOUT)),
        C(0) for no limit. The utility's defaults when not given (60 seconds
        to accept the connection, 600 for a read or write).
    type: int
  known_processors:
    description:
      - The file on the machine the module runs on that remembers each
        processor's public key (C(QUORVEX_KNOWN_PROCESSORS)). A processor
        met for the first time is recorded; one whose key changed is
        refused (exit status 77) before anything is sent. Its folder is
        made (readable by its owner only) when it does not exist.
    type: path
    default: ~/.config/quorvex/known_processors
  known_processors_mode:
    description:
      - C(record) records a processor met for the first time, C(strict)
        refuses it (exit status 77), C(off) checks no key at all.
    type: str
    choices: [record, strict, "off"]
    default: record
  report:
    description:
      - Keep the run's JSON report in this file (on the machine the module
        runs on). The report is returned as the result in any case.
        Not written in check mode. With a read script, the report of the
        last run (the write's when one ran, else the read's).
    type: path
  log:
    description:
      - Keep the utility's log of the run in this file. Not written in
        check mode. With a read script, the log of the last run, as for
        I(report).
    type: path
  quorvex:
    description:
      - The utility to run, a program name looked up on C(PATH), or a path.
    type: path
    default: quorvex
notes:
  - Check mode with a read script runs the read alone (the processor is
    contacted, nothing is written to it) and shows C(changed) when the
    write would run. Its key is checked against I(known_processors) as in
    any run, so a processor met for the first time is recorded there.
  - Check mode without a read script runs the utility's check-only pass
    (C(quorvex -c)); the script's syntax and values are checked, no
    processor is contacted, and the task shows C(changed) when the script
    would write.
  - The module runs the utility as a local program; delegate the task to
    the machine that has it installed (normally C(localhost)).
requirements:
  - quorvex (the utility) on the machine the module runs on
"""

EXAMPLES = r"""
# Inventory (inventory.yml):
#   processors:
#     hosts:
#       mp-rack12-01: {ansible_host: 10.0.12.1}
#       mp-rack12-02: {ansible_host: 10.0.12.2, mp_port: 8443}

- name: Read the settings of every processor
  hosts: processors
  gather_facts: false
  tasks:
    - name: Run the read-only script
      quorvex.moxcl.run_script:
        server: "{{ ansible_host }}:{{ mp_port | default(443) }}"
        script: "{{ playbook_dir }}/read_settings.xml"
        user: admin
        password: "{{ mp_password }}"
      delegate_to: localhost
      register: settings

    - name: Show each processor's firmware version
      ansible.builtin.debug:
        msg: "{{ settings.report.responses | selectattr('data') | map(attribute='data') | list }}"

- name: Each processor's DNS name, written only where it differs
  hosts: processors
  gather_facts: false
  tasks:
    - quorvex.moxcl.run_script:
        server: "{{ ansible_host }}:{{ mp_port | default(443) }}"
        read_script: "{{ playbook_dir }}/read_network.xml"
        expected:
          NETWORK_SETTINGS.DNS_NAME.VALUE: "{{ inventory_hostname }}"
        script: "{{ playbook_dir }}/set_dns_name.xml"
        variables:
          dns_name: "{{ inventory_hostname }}"
        password: "{{ mp_password }}"
      delegate_to: localhost

- name: Add an operator, keeping each processor's report
  hosts: processors
  gather_facts: false
  tasks:
    - quorvex.moxcl.run_script:
        server: "{{ ansible_host }}:{{ mp_port | default(443) }}"
        script_content: "{{ lookup('ansible.builtin.template', 'add_user.xml.j2') }}"
        variables:
          operator_name: night-operator
        password: "{{ mp_password }}"
        timeout: 120
        report: "reports/{{ inventory_hostname }}.json"
      delegate_to: localhost
"""

RETURN = r"""
exit_status:
  description: The utility's exit status as the shell shows it (128+N for a run ended by signal N).
  returned: when the utility ran
  type: int
  sample: 0
exit_meaning:
  description: What the exit status means (the report's own text when there is a report).
  returned: when the utility ran
  type: str
  sample: the script succeeded
outcome:
  description: C(succeeded) or C(failed).
  returned: when the utility ran
  type: str
  sample: succeeded
reason:
  description: >-
    A failed run's one-line reason: the failing command with the processor's
    status and message, the first error the run reported, or the exit
    status's meaning.
  returned: when the run failed
  type: str
  sample: "SET_ITEM_A failed with status 0x005F: Bad value"
write_mode:
  description: >-
    Whether the script that ran holds a command block in write mode, as the
    utility's report says (what C(changed) follows for a script alone).
  returned: when the utility wrote a report
  type: bool
  sample: true
cause:
  description: >-
    The code of the report's cause of a failed run (for example
    C(connect.refused), C(script.syntax), C(processor.status)), from a
    utility whose report names one.
  returned: when the run failed and the report names its cause
  type: str
  sample: connect.refused
unreachable:
  description: The processor could not be reached (a connection cause); the host counts as unreachable.
  returned: when the processor could not be reached
  type: bool
  sample: true
expected:
  description: The values I(expected) by path, as texts.
  returned: with a read script
  type: dict
  sample: {NETWORK_SETTINGS.DNS_NAME.VALUE: mp-rack12-01}
found:
  description: >-
    What the read found at each path: the one text it reached, the list of
    them when there were several, null when it reached none.
  returned: with a read script, when the read succeeded
  type: dict
  sample: {NETWORK_SETTINGS.DNS_NAME.VALUE: mp-old-name}
read_report:
  description: The read's report, when the write ran after it (I(report) is then the write's).
  returned: with a read script, when the write ran
  type: dict
report:
  description: >-
    The utility's JSON run report (its layout is the utility's
    run-report schema): the server, the transport, the outcome, each answer
    of the processor with its status, message and data, the images moved.
    Null when the utility wrote none (a usage error, a report that could
    not be written).
  returned: when the utility ran
  type: dict
  sample:
    schema: 1
    program: quorvex
    server: 10.0.12.1
    port: 443
    transport: http
    outcome: succeeded
    exit_status: 0
    responses:
      - command: GET_FW_VERSION
        status: 0
        message: No error
        data: {FIRMWARE_VERSION: {VERSION: "2.22"}}
        complete: true
stdout:
  description: The utility's console output (only errors, error answers, answers with data and the closing line).
  returned: when the utility ran
  type: str
stderr:
  description: The utility's standard error (warnings, a log or report that could not be written).
  returned: when the utility ran
  type: str
log:
  description: Where the log was kept (the I(log) option).
  returned: when I(log) is given and not in check mode
  type: str
"""

import json
import os
import subprocess
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quorvex.moxcl.plugins.module_utils.exit_status import (
    exit_meaning, processor_succeeded, shell_status)
from ansible_collections.quorvex.moxcl.plugins.module_utils.failure import failure
from ansible_collections.quorvex.moxcl.plugins.module_utils.report_paths import (
    PathRefused, compare, expected_text, parse_path, shown)
from ansible_collections.quorvex.moxcl.plugins.module_utils.template_pairs import PairsRefused, pair_list

# What the utility reads from its environment: the module's options alone
# decide these.
UTILITY_SETTINGS = ("QUORVEX_USER", "QUORVEX_PASSWORD", "QUORVEX_PASSWORD_FILE", "QUORVEX_KNOWN_PROCESSORS",
                    "QUORVEX_KNOWN_PROCESSORS_MODE", "QUORVEX_TIMEOUT", "DEVICEIPADDRESS0")

class Run(object):
    """One run of the utility: its status, report and console."""

    def __init__(self, status, report, stdout, stderr):
        self.status = status
        self.report = report
        self.stdout = stdout
        self.stderr = stderr


def find_utility(module, name):
    if os.sep in name:
        path = os.path.abspath(name)
        return path if os.access(path, os.X_OK) else None
    return module.get_bin_path(name)


def script_file(module, work, path_option, content_option, name):
    """The path of a script for the utility: the file given, or the text
    given written to a file of the run's folder (None when neither)."""
    params = module.params
    if params[content_option] is not None:
        path = os.path.join(work, name)
        descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(descriptor, "w", encoding="utf-8") as handle:
            handle.write(params[content_option])
        return path
    if params[path_option] is not None:
        return os.path.abspath(params[path_option])
    return None


def utility_environment(module, known_file):
    params = module.params
    environment = {name: value for name, value in os.environ.items() if name not in UTILITY_SETTINGS}
    if params["user"] is not None:
        environment["QUORVEX_USER"] = params["user"]
    if params["password"] is not None:
        environment["QUORVEX_PASSWORD_FILE"] = "-"
    if params["timeout"] is not None:
        environment["QUORVEX_TIMEOUT"] = str(params["timeout"])
    if known_file is not None:
        environment["QUORVEX_KNOWN_PROCESSORS"] = known_file
        if params["known_processors_mode"] == "strict":
            environment["QUORVEX_KNOWN_PROCESSORS_MODE"] = "strict"
    return environment


def known_processors_file(module, contacts):
    """The known-processors file of runs that contact the processor (None
    when none does, or when the check is off)."""
    params = module.params
    if params["known_processors_mode"] == "off" or not contacts:
        return None
    path = os.path.abspath(params["known_processors"])
    folder = os.path.dirname(path)
    try:
        os.makedirs(folder, mode=0o700, exist_ok=True)
    except OSError as error:
        module.fail_json(msg="cannot make the folder of the known-processors file %s: %s"
                         % (folder, error.strerror))
    return path


def load_report(path):
    try:
        with open(path, "rb") as handle:
            report = json.loads(handle.read().decode("utf-8"))
    except (OSError, ValueError):
        return None
    return report if isinstance(report, dict) else None


def keep_report(module, source, target):
    """The run's report at TARGET: a new file beside it, renamed into place
    once whole, so a reader sees the old report or the new one."""
    folder = os.path.dirname(target)
    try:
        with open(source, "rb") as handle:
            text = handle.read()
        handle = tempfile.NamedTemporaryFile(dir=folder, prefix=".report-", delete=False)
        try:
            with handle:
                handle.write(text)
            os.replace(handle.name, target)
        except OSError:
            os.remove(handle.name)
            raise
    except OSError as error:
        module.warn("the report could not be kept in %s: %s" % (target, error.strerror))


def tidy(module, work, made):
    """Removes what the runs made in their folder, and the folder when
    nothing else is left in it; what a script put there is kept."""
    for name in made:
        try:
            os.remove(os.path.join(work, name))
        except OSError:
            pass
    try:
        os.rmdir(work)
    except OSError:
        module.warn("the run left files in %s (relative image paths of the script name files there): "
                    "they are kept" % work)


class Utility(object):
    """Runs the utility for the task, each run in the task's folder, with
    one report file that every run writes anew (a run that writes none, a
    usage error, must not be read from an earlier one)."""

    def __init__(self, module, program, pairs, known_file, work, made):
        self.module = module
        self.program = program
        self.pairs = pairs
        self.known_file = known_file
        self.work = work
        self.report_file = os.path.join(work, "report.json")
        made.append("report.json")
        keep = not module.check_mode
        self.log_path = os.path.abspath(module.params["log"]) if keep and module.params["log"] else None
        self.log_file = self.log_path or os.path.join(work, "quorvex.log")
        if not self.log_path:
            made.append("quorvex.log")
        self.kept_report = os.path.abspath(module.params["report"]) if keep and module.params["report"] else None

    def run(self, script, check_only=False):
        module = self.module
        password = module.params["password"]
        try:
            os.remove(self.report_file)
        except OSError:
            pass
        command = [self.program, "-s", module.params["server"], "-f", script]
        if self.pairs is not None:
            command += ["-t", self.pairs]
        command += ["-l", self.log_file, "-j", self.report_file, "-q"]
        if check_only:
            command.append("-c")
        try:
            done = subprocess.run(
                command, cwd=self.work, env=utility_environment(module, self.known_file),
                input=(password + "\n").encode("utf-8") if password is not None else b"",
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
        except OSError as error:
            module.fail_json(msg="cannot run %s: %s" % (self.program, error.strerror))
        report = load_report(self.report_file)
        if report is not None and self.kept_report:
            keep_report(module, self.report_file, self.kept_report)
        return Run(shell_status(done.returncode), report, done.stdout.decode("utf-8", "replace"),
                   done.stderr.decode("utf-8", "replace"))


def run_result(run, check_only):
    """What every result of a run says: the status, its meaning, the report."""
    meaning = exit_meaning(run.status, check_only)
    report = run.report
    if report is not None and isinstance(report.get("exit_meaning"), str) and report["exit_meaning"]:
        meaning = report["exit_meaning"]
    result = dict(
        exit_status=run.status,
        exit_meaning=meaning,
        outcome="succeeded" if run.status == 0 else "failed",
        report=report,
        stdout=run.stdout,
        stderr=run.stderr,
    )
    if report is not None:
        result["write_mode"] = report.get("write_mode") is True
    return result


def end_failed(module, run, result):
    """Ends the task on a failed run: unreachable for a processor that could
    not be reached, failed otherwise."""
    said = failure(run.report, run.status, result["exit_meaning"], run.stdout, run.stderr)
    result.update(msg=said.message, reason=said.reason)
    if said.code is not None:
        result["cause"] = said.code
    if said.unreachable:
        # Not failed as well: Ansible takes a result that says both as failed.
        result["unreachable"] = True
        module.exit_json(**result)
    module.fail_json(**result)


def desired_state(module, utility, write_script, read_script, expected):
    """Reads, compares, and writes only when a value differs. Returns the
    result and the run that failed, if one did."""
    read = utility.run(read_script)
    result = run_result(read, False)
    result.update(changed=False, expected=expected)
    if read.status != 0:
        return result, read
    holds, found = compare(read.report, expected)
    result["found"] = found
    if module._diff:
        result["diff"] = dict(before=shown(found), after=shown(expected),
                              before_header="found on %s" % module.params["server"], after_header="expected")
    if holds:
        result["msg"] = "every expected value is there; nothing written"
        return result, None
    result["changed"] = True
    if module.check_mode:
        result["msg"] = "a value differs; the write would run (check mode: nothing written)"
        return result, None
    write = utility.run(write_script)
    written = run_result(write, False)
    for name in ("expected", "found", "diff"):
        if name in result:
            written[name] = result[name]
    written.update(read_report=read.report, changed=processor_succeeded(write.status),
                   msg=written["exit_meaning"])
    return written, write if write.status != 0 else None


def main():
    module = AnsibleModule(
        argument_spec=dict(
            server=dict(type="str", required=True),
            script=dict(type="path"),
            script_content=dict(type="str", no_log=True),
            read_script=dict(type="path"),
            read_script_content=dict(type="str", no_log=True),
            expected=dict(type="dict"),
            variables=dict(type="dict"),
            user=dict(type="str"),
            password=dict(type="str", no_log=True),
            timeout=dict(type="int"),
            known_processors=dict(type="path", default="~/.config/quorvex/known_processors", no_log=False),
            known_processors_mode=dict(type="str", choices=["record", "strict", "off"], default="record"),
            report=dict(type="path"),
            log=dict(type="path"),
            quorvex=dict(type="path", default="quorvex"),
        ),
        mutually_exclusive=[("script", "script_content"), ("read_script", "read_script_content")],
        required_one_of=[("script", "script_content")],
        required_by={"read_script": "expected", "read_script_content": "expected"},
        supports_check_mode=True,
    )
    params = module.params

    try:
        pairs = pair_list(params["variables"])
    except PairsRefused as refused:
        module.fail_json(msg="variables refused, nothing ran: %s" % refused)
    reads = params["read_script"] is not None or params["read_script_content"] is not None
    expected = None
    if params["expected"] is not None:
        if not reads:
            module.fail_json(msg="expected needs read_script or read_script_content; nothing ran")
        if not params["expected"]:
            module.fail_json(msg="expected names no value; nothing ran")
        try:
            expected = {}
            for path, value in params["expected"].items():
                parse_path(path)
                expected[path] = expected_text(path, value)
        except PathRefused as refused:
            module.fail_json(msg="expected refused, nothing ran: %s" % refused)
    password = params["password"]
    if password is not None and ("\n" in password or "\r" in password or "\0" in password):
        module.fail_json(msg="the password holds a line break or a NUL byte, which the utility cannot take; "
                         "nothing ran")
    if params["timeout"] is not None and params["timeout"] < 0:
        module.fail_json(msg="timeout is a number of seconds, 0 or more")
    program = find_utility(module, params["quorvex"])
    if program is None:
        module.fail_json(msg="cannot find the quorvex program %s (install it, or give its path as quorvex)"
                         % params["quorvex"])

    for kept in (params["report"], params["log"]):
        if kept is not None and not module.check_mode:
            folder = os.path.dirname(os.path.abspath(kept))
            if not os.path.isdir(folder):
                module.fail_json(msg="the folder %s does not exist; nothing ran" % folder)
    # A check without a read contacts no processor.
    known_file = known_processors_file(module, reads or not module.check_mode)

    work = tempfile.mkdtemp(prefix="quorvex-run-")
    made = []
    try:
        utility = Utility(module, program, pairs, known_file, work, made)
        script = script_file(module, work, "script", "script_content", "script.xml")
        if params["script_content"] is not None:
            made.append("script.xml")
        if reads:
            read_script = script_file(module, work, "read_script", "read_script_content", "read.xml")
            if params["read_script_content"] is not None:
                made.append("read.xml")
            result, failed = desired_state(module, utility, script, read_script, expected)
        else:
            run = utility.run(script, check_only=module.check_mode)
            result = run_result(run, module.check_mode)
            result.update(changed=result.get("write_mode", False) and processor_succeeded(run.status),
                          msg=result["exit_meaning"])
            failed = run if run.status != 0 else None
    finally:
        tidy(module, work, made)

    if utility.log_path:
        result["log"] = utility.log_path
    if failed is not None:
        end_failed(module, failed, result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
