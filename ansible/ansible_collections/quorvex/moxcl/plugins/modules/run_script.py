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
  - The task is C(changed) when the run succeeded and the script holds a
    command block in write mode (C(MODE="write") or C(MODE="w"), any case).
    A processor cannot say whether a command changed anything, so a
    successful write-mode run always counts as a change, a read-only one
    never does.
  - The task fails when the utility ends with a status other than 0; the
    message gives the status, its meaning and the report's reason (for
    example the failing command with the processor's status and message).
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
        Not written in check mode.
    type: path
  log:
    description:
      - Keep the utility's log of the run in this file. Not written in
        check mode.
    type: path
  quorvex:
    description:
      - The utility to run, a program name looked up on C(PATH), or a path.
    type: str
    default: quorvex
notes:
  - Check mode runs the utility's check-only pass (C(quorvex -c)); the
    script's syntax and values are checked, no processor is contacted, and
    the task shows C(changed) when the script would write.
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
  description: Whether the script holds a command block in write mode (what C(changed) follows).
  returned: always
  type: bool
  sample: true
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

import os
import subprocess
import tempfile
import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quorvex.moxcl.plugins.module_utils.exit_status import (
    exit_meaning, processor_succeeded, shell_status)
from ansible_collections.quorvex.moxcl.plugins.module_utils.script_modes import has_write_block
from ansible_collections.quorvex.moxcl.plugins.module_utils.template_pairs import (
    PairsRefused, pair_list, pair_texts)

# What the utility reads from its environment: the module's options alone
# decide these.
UTILITY_SETTINGS = ("QUORVEX_USER", "QUORVEX_PASSWORD", "QUORVEX_PASSWORD_FILE", "QUORVEX_KNOWN_PROCESSORS",
                    "QUORVEX_KNOWN_PROCESSORS_MODE", "QUORVEX_TIMEOUT", "DEVICEIPADDRESS0")

SCRIPT_NAME = "script.xml"
REPORT_NAME = "report.json"
LOG_NAME = "quorvex.log"


def find_utility(module, name):
    if os.sep in name:
        path = os.path.abspath(os.path.expanduser(name))
        return path if os.access(path, os.X_OK) else None
    return module.get_bin_path(name)


def read_script(module, work):
    """The script's path for the utility and its text."""
    params = module.params
    if params["script_content"] is not None:
        path = os.path.join(work, SCRIPT_NAME)
        descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(descriptor, "w", encoding="utf-8") as handle:
            handle.write(params["script_content"])
        return path, params["script_content"]
    path = os.path.abspath(params["script"])
    try:
        with open(path, "rb") as handle:
            text = handle.read().decode("utf-8", "replace")
    except OSError as error:
        module.fail_json(msg="cannot read the script %s: %s" % (path, error.strerror), write_mode=False)
    return path, text


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


def known_processors_file(module):
    params = module.params
    if params["known_processors_mode"] == "off" or module.check_mode:
        return None  # a check contacts no processor
    path = os.path.abspath(params["known_processors"])
    folder = os.path.dirname(path)
    try:
        os.makedirs(folder, mode=0o700, exist_ok=True)
    except OSError as error:
        module.fail_json(msg="cannot make the folder of the known-processors file %s: %s"
                         % (folder, error.strerror), write_mode=False)
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


def error_line(*outputs):
    """The utility's first error line, for a run that left no report (its
    command line refused it)."""
    for output in outputs:
        for line in output.splitlines():
            if "error" in line.lower():
                return line.strip()
    return None


def tidy(module, work, made):
    """Removes what the run made in its folder, and the folder when nothing
    else is left in it; what the script put there is kept."""
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


def main():
    module = AnsibleModule(
        argument_spec=dict(
            server=dict(type="str", required=True),
            script=dict(type="path"),
            script_content=dict(type="str"),
            variables=dict(type="dict"),
            user=dict(type="str"),
            password=dict(type="str", no_log=True),
            timeout=dict(type="int"),
            known_processors=dict(type="path", default="~/.config/quorvex/known_processors", no_log=False),
            known_processors_mode=dict(type="str", choices=["record", "strict", "off"], default="record"),
            report=dict(type="path"),
            log=dict(type="path"),
            quorvex=dict(type="str", default="quorvex"),
        ),
        mutually_exclusive=[("script", "script_content")],
        required_one_of=[("script", "script_content")],
        supports_check_mode=True,
    )
    params = module.params

    try:
        pairs = pair_list(params["variables"])
        values = pair_texts(params["variables"])
    except PairsRefused as refused:
        module.fail_json(msg="variables refused, nothing ran: %s" % refused, write_mode=False)
    password = params["password"]
    if password is not None and ("\n" in password or "\r" in password or "\0" in password):
        module.fail_json(msg="the password holds a line break or a NUL byte, which the utility cannot take; "
                         "nothing ran", write_mode=False)
    if params["timeout"] is not None and params["timeout"] < 0:
        module.fail_json(msg="timeout is a number of seconds, 0 or more", write_mode=False)
    utility = find_utility(module, params["quorvex"])
    if utility is None:
        module.fail_json(msg="cannot find the quorvex program %s (install it, or give its path as quorvex)"
                         % params["quorvex"], write_mode=False)

    keep_files = not module.check_mode
    report_path = params["report"] if keep_files else None
    log_path = params["log"] if keep_files else None
    for kept in (report_path, log_path):
        if kept is not None:
            folder = os.path.dirname(os.path.abspath(kept))
            if not os.path.isdir(folder):
                module.fail_json(msg="the folder %s does not exist; nothing ran" % folder, write_mode=False)
    known_file = known_processors_file(module)

    work = tempfile.mkdtemp(prefix="quorvex-run-")
    made = []
    try:
        script_path, script_text = read_script(module, work)
        if params["script_content"] is not None:
            made.append(SCRIPT_NAME)
        write_mode = has_write_block(script_text, values)
        # The report is always written here first: a run that writes none
        # (a usage error) must not be read from a kept report of before.
        report_file = os.path.join(work, REPORT_NAME)
        made.append(REPORT_NAME)
        log_file = os.path.abspath(log_path) if log_path else os.path.join(work, LOG_NAME)
        if not log_path:
            made.append(LOG_NAME)

        command = [utility, "-s", params["server"], "-f", script_path]
        if pairs is not None:
            command += ["-t", pairs]
        command += ["-l", log_file, "-j", report_file, "-q"]
        if module.check_mode:
            command.append("-c")
        try:
            done = subprocess.run(
                command, cwd=work, env=utility_environment(module, known_file),
                input=(password + "\n").encode("utf-8") if password is not None else b"",
                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        except OSError as error:
            module.fail_json(msg="cannot run %s: %s" % (utility, error.strerror), write_mode=write_mode)
        status = shell_status(done.returncode)
        report = load_report(report_file)
        if report is not None and report_path:
            keep_report(module, report_file, os.path.abspath(report_path))
    finally:
        tidy(module, work, made)

    meaning = exit_meaning(status, module.check_mode)
    if report is not None and isinstance(report.get("exit_meaning"), str) and report["exit_meaning"]:
        meaning = report["exit_meaning"]
    result = dict(
        changed=write_mode and processor_succeeded(status),
        write_mode=write_mode,
        exit_status=status,
        exit_meaning=meaning,
        outcome="succeeded" if status == 0 else "failed",
        report=report,
        stdout=done.stdout.decode("utf-8", "replace"),
        stderr=done.stderr.decode("utf-8", "replace"),
    )
    if log_path:
        result["log"] = os.path.abspath(log_path)
    if status == 0:
        module.exit_json(msg=meaning, **result)
    reason = report.get("reason") if report is not None else error_line(result["stdout"], result["stderr"])
    if not reason:
        reason = meaning
    result["reason"] = reason
    message = "quorvex ended with status %d (%s)" % (status, meaning)
    if reason != meaning:
        message += ": " + reason
    module.fail_json(msg=message, **result)


if __name__ == "__main__":
    main()
