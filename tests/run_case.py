#!/usr/bin/env python3
"""Runs one end-to-end case file (format: tests/cases/README.md)."""

import argparse
import json
import os
import random
import re
import shlex
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sim"))
import launch  # noqa: E402

ESCAPE = re.compile(rb"\\(r|t|\\|x[0-9A-Fa-f]{2})")


def decode_escapes(data: bytes) -> bytes:
    def replace(match):
        code = match.group(1)
        if code == b"r":
            return b"\r"
        if code == b"t":
            return b"\t"
        if code == b"\\":
            return b"\\"
        return bytes([int(code[1:], 16)])
    return ESCAPE.sub(replace, data)


class Section:
    def __init__(self, kind, args, attrs, header_index):
        self.kind = kind
        self.args = args
        self.attrs = attrs
        self.lines = []
        self.header_index = header_index
        self.body_index = header_index + 1
        self.end_index = header_index + 1
        self.from_part = False  # its header stands in a part, not in the case file

    def content(self, variables) -> bytes:
        return self.expand(self.lines, variables, "nolf" in self.attrs)

    def blocks(self, variables):
        """The blocks of a "-contains" section: its lines split at the lines
        "..." (split before the escapes are decoded, so "\\x2e.." is a line
        "..." to look for)."""
        groups = [[]]
        for line in self.lines:
            if line.rstrip(b"\r\n") == GAP:
                groups.append([])
            else:
                groups[-1].append(line)
        last = len(groups) - 1
        return [self.expand(lines, variables, "nolf" in self.attrs and index == last)
                for index, lines in enumerate(groups) if lines]

    @staticmethod
    def expand(lines, variables, nolf) -> bytes:
        data = b"".join(lines)
        if nolf and data.endswith(b"\n"):
            data = data[:-1]
        data = decode_escapes(data)
        for name, value in variables.items():
            data = data.replace(b"@@" + name.encode() + b"@@", value.encode())
        host = variables.get("HOSTNAME", "")
        return HOST_LENGTH.sub(lambda m: str(len(host) + int(m.group(1))).encode(), data)


# A count that includes the host name, as in the trace of a request sent:
# "Sending (@@HOSTNAME_LENGTH+83@@)" is 85 on a host named "vm".
HOST_LENGTH = re.compile(rb"@@HOSTNAME_LENGTH\+(\d+)@@")

SECTION_LINE = re.compile(rb"^\[([a-z][a-z0-9-]*)((?: [^\]\n]*)?)\]\r?\n?$")
# The systems the program is built for. A section that names one of them
# applies only when the program under test is that system's build; a section
# that names none applies to all.
PLATFORMS = ("linux", "windows")
ATTRIBUTES = {"nolf"} | set(PLATFORMS)

# What every run prints first: a blank line, the banner, the legal notice and
# another blank line. A line "@@BANNER@@" stands for it; its own line feed
# ends the last of the four lines.
BANNER = ("\r\nZQ Torvane Configuration Utility- QUORVEX v. 4.21 dated 3/27/2015\r\n"
          "(C) Copyright 2015-2026 ZQ Torvane. Provided as is, without warranty of any kind.\r\n"
          "\r")

# The sections a case may hold. Each output (standard output, standard error,
# a file) is compared whole, or only in part: "-contains" lists blocks that
# must appear in this order, "-tail" is how it must end.
SETUP_KINDS = {"command", "env", "stdin", "file", "fifo", "symlink", "file-size-limit", "image", "sim", "scenario",
               "normalize", "signal"}
OUTPUT_KINDS = {"expect-stdout", "expect-stderr", "expect-file"}
PARTIAL_SUFFIXES = ("-contains", "-tail")
KINDS = (SETUP_KINDS | OUTPUT_KINDS
         | {kind + suffix for kind in OUTPUT_KINDS for suffix in PARTIAL_SUFFIXES}
         | {"expect-status", "expect-same-file", "expect-absent", "expect-received", "expect-hello",
            "expect-json", "expect-secret-nowhere"})

# The layout every run report (-j) must have.
REPORT_SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "run-report.schema.json")


def json_matches(expected, actual, where, failures):
    """expected is a part of actual: the members it names (objects), every
    item in order (arrays), or the same value."""
    if isinstance(expected, dict):
        if not isinstance(actual, dict):
            failures.append("%s: expected an object, got %r\n" % (where, actual))
            return
        for key, value in expected.items():
            if key not in actual:
                failures.append("%s: no member %r\n" % (where, key))
            else:
                json_matches(value, actual[key], "%s.%s" % (where, key), failures)
    elif isinstance(expected, list):
        if not isinstance(actual, list) or len(actual) != len(expected):
            failures.append("%s: expected %d items, got %r\n" % (where, len(expected), actual))
            return
        for index, (want, got) in enumerate(zip(expected, actual)):
            json_matches(want, got, "%s[%d]" % (where, index), failures)
    elif expected != actual or type(expected) is not type(actual):
        failures.append("%s: expected %r, got %r\n" % (where, expected, actual))


def check_report(section, variables, tmp, exit_status, failures):
    """[expect-json NAME]: NAME is a run report that follows the schema, says
    the process's exit status, holds the members the section gives and none
    of the texts of its "$absent" list; no temporary file stays next to it."""
    name = section.args[0]
    path = os.path.join(tmp, name)
    label = "report " + name
    if not os.path.exists(path):
        failures.append("%s: missing\n" % label)
        return
    with open(path, "rb") as handle:
        raw = handle.read()
    try:
        import jsonschema
        report = json.loads(raw)
        with open(REPORT_SCHEMA) as handle:
            schema = json.load(handle)
        jsonschema.Draft202012Validator(schema).validate(report)
    except Exception as error:
        failures.append("%s: %s\n" % (label, str(error).splitlines()[0]))
        return
    status = exit_status & 0xFF if exit_status >= 0 else 128 - exit_status
    if report["exit_status"] != status:
        failures.append("%s: exit_status %d, the process ended with %d\n" % (label, report["exit_status"], status))
    expected = json.loads(section.content(variables) or b"{}")
    for secret in expected.pop("$absent", []):
        if secret.encode() in raw:
            failures.append("%s: holds %r\n" % (label, secret))
    json_matches(expected, report, label, failures)
    left = [entry for entry in os.listdir(tmp) if entry.startswith(name + ".") and entry.endswith(".tmp")]
    if left:
        failures.append("%s: temporary files left: %s\n" % (label, " ".join(left)))

# Between the blocks of a "-contains" section: any number of lines.
GAP = b"..."


def read_lines(path):
    with open(path, "rb") as handle:
        return handle.read().splitlines(keepends=True)


# A line "[include PART]" stands for the lines of the file PART (a path from
# the case's folder, such as common/NAME.part): what many cases expect alike
# is written once. It is no section: the part's lines go where the line
# stands, continuing the section before it. A part's first lines starting
# with "#" say what it holds and are left out; a part includes nothing.
INCLUDE_LINE = re.compile(rb"^\[include ([^\]\s]+)\]\r?\n?$")


class CaseUnfit(Exception):
    """A case that cannot be read as a case (a part it names is missing)."""


def part_lines(case_path, name):
    path = os.path.join(os.path.dirname(os.path.abspath(case_path)), name)
    if not os.path.isfile(path):
        raise CaseUnfit("the part %s does not exist\n" % name)
    lines = read_lines(path)
    while lines and lines[0].startswith(b"#"):
        lines.pop(0)
    for line in lines:
        if INCLUDE_LINE.match(line):
            raise CaseUnfit("the part %s includes another part\n" % name)
    if lines and not lines[-1].endswith(b"\n"):
        lines[-1] += b"\n"
    return lines


def case_lines(path):
    """The case's lines with its parts in place, each with the number of the
    case file's line it comes from (for a part's lines, its include line)."""
    lines = []
    for index, line in enumerate(read_lines(path)):
        match = INCLUDE_LINE.match(line)
        if match:
            lines.extend((part, index, True) for part in part_lines(path, match.group(1).decode()))
        else:
            lines.append((line, index, False))
    return lines


def parse_case(path):
    sections = []
    current = None
    fresh = False
    for line, index, from_part in case_lines(path):
        match = SECTION_LINE.match(line)
        if match:
            words = match.group(2).decode().split()
            attrs = {w for w in words if w in ATTRIBUTES}
            args = [w for w in words if w not in ATTRIBUTES]
            current = Section(match.group(1).decode(), args, attrs, index)
            current.from_part = from_part
            sections.append(current)
            fresh = True
            continue
        if current is None:
            continue
        current.end_index = index + 1
        if fresh and line.startswith(b"#"):
            current.body_index = index + 1
            continue
        fresh = False
        current.lines.append(line)
    return sections


def for_platform(sections, platform):
    """The sections that apply to the build under test."""
    return [s for s in sections if not (s.attrs & set(PLATFORMS)) or platform in s.attrs]


def check_secrets(section, variables, tmp, sections, completed, failures):
    """Every line of the section is a secret of the run: it may reach the
    processor, but neither standard output, standard error nor any file the
    run wrote (the case's own input files, its scenario and the
    simulator's records aside)."""
    inputs = {s.args[0] for s in sections if s.kind == "file"} | {".mpsim-scenario"}
    places = [("stdout", completed.stdout), ("stderr", completed.stderr)]
    for folder, folders, names in os.walk(tmp):
        folders[:] = [f for f in folders if f != ".mpsim-record"]
        for name in names:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, tmp)
            if relative in inputs or not os.path.isfile(path):
                continue
            with open(path, "rb") as handle:
                places.append(("file " + relative, handle.read()))
    for secret in section.content(variables).splitlines():
        if not secret:
            continue
        for label, produced in places:
            if secret in produced:
                failures.append("%s: holds the secret %r\n" % (label, secret.decode(errors="replace")))


def check_form(path, sections):
    """The faults that make a case unfit to run: no description, a section
    the runner does not know (a misspelt expectation would pass unchecked),
    a partial expectation with nothing in it."""
    lines = read_lines(path)
    first = lines[0].strip() if lines else b""
    if not first.startswith(b"#") or not first.lstrip(b"#").strip():
        return "the first line must be a comment that says what the case proves\n"
    for section in sections:
        if section.kind not in KINDS:
            return "unknown section [%s] on line %d\n" % (section.kind, section.header_index + 1)
        said = [line for line in section.lines if line.strip() and line.rstrip(b"\r\n") != GAP]
        if section.kind.endswith(PARTIAL_SUFFIXES) and not said:
            return "[%s] on line %d is empty: it would assert nothing\n" % (
                section.kind, section.header_index + 1)
    return None


def is_empty(section):
    # --bless writes into the case file only, never into a part.
    return not section.lines and not section.from_part


def bless(path, sections, actual, variables):
    """Writes what the run did into the given (empty) expectation sections."""
    lines = read_lines(path)
    for section in sorted(sections, key=lambda s: s.header_index, reverse=True):
        text, nolf = encode_section(actual[id(section)], variables)
        words = ([section.kind] + section.args + sorted(section.attrs & set(PLATFORMS))
                 + (["nolf"] if nolf else []))
        header = b"[" + " ".join(words).encode() + b"]\n"
        body = text.splitlines(keepends=True)
        lines[section.body_index:section.end_index] = body
        lines[section.header_index] = header
    with open(path, "wb") as handle:
        handle.write(b"".join(lines))


def encode_section(data: bytes, variables) -> (bytes, bool):
    """Inverse of Section.content: the text to store for data."""
    if data.startswith(BANNER.encode() + b"\n"):
        data = b"@@BANNER@@" + data[len(BANNER):]
    for name in ("TMP", "PORT"):
        value = variables.get(name)
        if value:
            data = data.replace(value.encode(), b"@@" + name.encode() + b"@@")
    # The host name only where a request names it: a short name could stand
    # anywhere else by chance.
    host = variables.get("HOSTNAME")
    if host:
        # The byte count in front of a traced request depends on the name too.
        def count(match):
            return b"(@@HOSTNAME_LENGTH+%d@@)" % (int(match.group(1)) - len(host)) + match.group(2)
        data = re.sub(rb"\((\d+)\)(:\r\nPOST [^\r\n]*\r\nHOST: " + re.escape(host.encode()) + rb"\r\n)",
                      count, data)
        data = data.replace(b"HOST: " + host.encode() + b"\r\n", b"HOST: @@HOSTNAME@@\r\n")
    out = bytearray()
    for byte in data:
        if byte == 0x0D:
            out += b"\\r"
        elif byte == 0x5C:
            out += b"\\\\"
        elif byte in (0x0A, 0x09) or 0x20 <= byte < 0x7F:
            out.append(byte)
        else:
            out += b"\\x%02x" % byte
    text = bytes(out)
    lines = text.split(b"\n")
    # A line that would read as a section header or a comment is escaped.
    lines = [b"\\x5b" + line[1:] if line.startswith(b"[") else line for line in lines]
    if lines and lines[0].startswith(b"#"):
        lines[0] = b"\\x23" + lines[0][1:]
    text = b"\n".join(lines)
    nolf = text != b"" and not text.endswith(b"\n")
    if nolf:
        text += b"\n"
    return text, nolf


def visible(data: bytes) -> str:
    out = []
    for byte in data:
        if byte == 0x0A:
            out.append("\\n\n")
        elif byte == 0x0D:
            out.append("\\r")
        elif byte == 0x09:
            out.append("\\t")
        elif byte == 0x5C:
            out.append("\\\\")
        elif 0x20 <= byte < 0x7F:
            out.append(chr(byte))
        else:
            out.append("\\x%02x" % byte)
    return "".join(out)


def compare(label, expected: bytes, actual: bytes, failures):
    if expected == actual:
        return
    index = next((i for i, (a, b) in enumerate(zip(expected, actual)) if a != b),
                 min(len(expected), len(actual)))
    failures.append(
        "%s differs at byte %d (expected %d bytes, got %d)\n--- expected\n%s\n--- actual\n%s\n"
        % (label, index, len(expected), len(actual), visible(expected)[:6000], visible(actual)[:6000]))


def find_blocks(label, blocks, actual: bytes, failures):
    """Each block must start a line of actual, after the end of the block
    before it."""
    position = 0
    for number, block in enumerate(blocks, 1):
        found = position - 1
        while True:
            found = actual.find(block, found + 1)
            if found < 0 or found == 0 or actual[found - 1:found] == b"\n":
                break
        if found < 0:
            failures.append(
                "%s: block %d of %d not found%s\n--- block\n%s\n--- actual\n%s\n"
                % (label, number, len(blocks),
                   " after block %d" % (number - 1) if number > 1 else "",
                   visible(block)[:6000], visible(actual)[:6000]))
            return
        position = found + len(block)


def check_output(section, variables, label, actual: bytes, failures):
    if section.kind.endswith("-contains"):
        find_blocks(label, section.blocks(variables), actual, failures)
        return
    expected = section.content(variables)
    if section.kind.endswith("-tail"):
        # The tail starts a line: what ends "...x" does not end "x".
        start = len(actual) - len(expected)
        if start < 0 or (start > 0 and actual[start - 1:start] != b"\n"):
            failures.append("%s does not end with the expected lines\n--- expected tail\n%s\n"
                            "--- actual\n%s\n" % (label, visible(expected)[:6000],
                                                    visible(actual[-6000:])))
        else:
            compare(label + " (tail)", expected, actual[start:], failures)
    else:
        compare(label, expected, actual, failures)


def start_simulator(mpsim, tmp, sim_section, scenario, variables):
    record = os.path.join(tmp, ".mpsim-record")
    os.makedirs(record, exist_ok=True)
    # A case's simulator makes its own key, unless the case gives one: the
    # key a user's simulator keeps stays out of the cases.
    args = ["--record", record, "--key-store", "none"]
    if scenario is not None:
        scenario_path = os.path.join(tmp, ".mpsim-scenario")
        with open(scenario_path, "wb") as handle:
            handle.write(scenario.content(variables))
        args += ["--scenario", scenario_path]
    extra = sim_section.content(variables).decode().strip()
    if extra:
        args += shlex.split(extra)
    with open(os.path.join(tmp, ".mpsim-output"), "wb") as log:
        try:
            process, port = launch.start(mpsim, args, tmp, log)
        except RuntimeError:
            raise RuntimeError("mpsim did not start (see %s)" % os.path.join(tmp, ".mpsim-output"))
    return process, port, record


def generate_image(path, size, seed):
    generator = random.Random(seed)
    with open(path, "wb") as handle:
        remaining = size
        while remaining > 0:
            piece = min(remaining, 1 << 20)
            handle.write(generator.randbytes(piece))
            remaining -= piece


def interrupt(process, tmp, name, when_file, group):
    """Sends the signal NAME to the run once WHEN_FILE exists in the case's
    folder (the run has got that far) and the run has had a moment to wait.
    With group, to the run's whole process group: under Wine the program is
    the child of start_as_quorvex.exe, and SIGINT reaches both as Ctrl-C."""
    path = os.path.join(tmp, when_file)
    deadline = time.monotonic() + 120
    while not os.path.exists(path) and process.poll() is None and time.monotonic() < deadline:
        time.sleep(0.02)
    time.sleep(0.2)
    if process.poll() is None:
        if group:
            os.killpg(process.pid, getattr(signal, name))
        else:
            process.send_signal(getattr(signal, name))


def program_command(quorvex, platform, launcher):
    """How to start the program so that it sees itself called "quorvex":
    directly, or through the launcher (Wine). Wine gives a program its full
    path as its name; start_as_quorvex.exe, built next to quorvex.exe, starts
    it with the name "quorvex" instead (tests/windows/start_as_quorvex.cpp)."""
    if platform == "windows" and launcher:
        starter = os.path.join(os.path.dirname(quorvex), "start_as_quorvex.exe")
        return [launcher, starter], None, {"WINEDEBUG": "-all"}
    return ["quorvex"], quorvex, {}


def full_device(folder):
    """A device that is always full, for the cases that write to one
    (@@FULL@@): as root, a node of the case's own in its folder, so that a
    product that wrongly replaced or removed what it was told to write to
    could harm nothing but the case; otherwise the system's /dev/full,
    which a user other than root cannot replace."""
    if os.geteuid() != 0:
        return "/dev/full"
    path = os.path.join(folder, "full")
    # The system's full device: character device 1, 7.
    os.mknod(path, 0o666 | stat.S_IFCHR, os.makedev(1, 7))
    return path


def run_case(case_path, quorvex, mpsim, keep, blessing=False, platform="linux", launcher=None):
    try:
        sections = parse_case(case_path)
    except CaseUnfit as unfit:
        sys.stdout.write("%s: %s" % (case_path, unfit))
        return 1
    tmp = tempfile.mkdtemp(prefix="quorvex-case-")
    variables = {"TMP": tmp, "HOSTNAME": socket.gethostname(),
                 "CASES": os.path.dirname(os.path.abspath(case_path)), "BANNER": BANNER,
                 "FULL": full_device(tmp)}
    failures = []
    actual = {}
    simulator = None
    unfit = check_form(case_path, sections)
    if unfit:
        sys.stdout.write("%s: %s" % (case_path, unfit))
        shutil.rmtree(tmp, ignore_errors=True)
        return 1
    sections = for_platform(sections, platform)
    def filling(section):
        # --bless writes the sections left empty and checks all others.
        return blessing and is_empty(section)

    try:
        by_kind = {}
        for section in sections:
            by_kind.setdefault(section.kind, []).append(section)

        # Images first: the simulator may be told to serve one (--floppy-file).
        for section in by_kind.get("image", []):
            name, size, seed = section.args[0], int(section.args[1]), int(section.args[2])
            generate_image(os.path.join(tmp, name), size, seed)

        for section in by_kind.get("fifo", []):
            os.mkfifo(os.path.join(tmp, section.args[0]), 0o600)

        for section in by_kind.get("symlink", []):
            os.symlink(section.args[1].replace("@@TMP@@", tmp), os.path.join(tmp, section.args[0]))

        sim_section = by_kind.get("sim", [None])[0]
        scenario = by_kind.get("scenario", [None])[0]
        record = None
        if sim_section is not None:
            if not mpsim:
                raise RuntimeError("case needs mpsim, which was not built")
            simulator, port, record = start_simulator(mpsim, tmp, sim_section, scenario, variables)
            variables["PORT"] = port

        for section in by_kind.get("file", []):
            path = os.path.join(tmp, section.args[0])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as handle:
                handle.write(section.content(variables))

        environment = dict(os.environ)
        environment.pop("DEVICEIPADDRESS0", None)
        for section in by_kind.get("env", []):
            for line in section.content(variables).decode().splitlines():
                if "=" in line:
                    key, value = line.split("=", 1)
                    environment[key] = value

        rules = []
        for section in by_kind.get("normalize", []):
            for line in section.content(variables).splitlines():
                if b" => " in line:
                    pattern, replacement = line.split(b" => ", 1)
                    rules.append((re.compile(pattern), replacement))

        def normal(data):
            for pattern, replacement in rules:
                data = pattern.sub(lambda _: replacement, data)
            return data

        command = by_kind.get("command", [None])[0]
        arguments = shlex.split(command.content(variables).decode()) if command else []
        stdin_section = by_kind.get("stdin", [None])[0]
        standard_input = stdin_section.content(variables) if stdin_section else None
        program, executable, program_environment = program_command(quorvex, platform, launcher)
        environment.update(program_environment)
        limit = by_kind.get("file-size-limit", [None])[0]
        limit_bytes = int(limit.content(variables).decode().strip()) if limit else None

        def limit_file_size():
            # Like a full disk: a write past the limit fails (EFBIG) instead
            # of ending the process.
            import resource
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit_bytes, limit_bytes))

        process = subprocess.Popen(program + arguments, executable=executable, cwd=tmp,
                                   env=environment, stdin=subprocess.PIPE if standard_input is not None else subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   start_new_session=executable is None,
                                   preexec_fn=limit_file_size if limit_bytes is not None else None)
        for section in by_kind.get("signal", []):
            interrupt(process, tmp, section.args[0], section.args[1], group=executable is None)
        stdout, stderr = process.communicate(input=standard_input, timeout=600)
        completed = subprocess.CompletedProcess(process.args, process.returncode, stdout, stderr)
        if simulator is not None:
            launch.stop(simulator, patient="--connections" in shlex.split(
                sim_section.content(variables).decode()))
        if variables["FULL"] != "/dev/full" and not (os.path.lexists(variables["FULL"]) and
                                                     stat.S_ISCHR(os.lstat(variables["FULL"]).st_mode)):
            failures.append("the full device %s was replaced or removed\n" % variables["FULL"])

        for section in by_kind.get("expect-status", []):
            status = completed.returncode & 0xFF if completed.returncode >= 0 else completed.returncode
            actual[id(section)] = b"%d\n" % status
            text = section.content(variables).decode().strip()
            if filling(section):
                continue
            if not text.lstrip("-").isdigit() or int(text) != status:
                failures.append("exit status: expected %s, got %d\n" % (text, status))
        streams = {"expect-stdout": ("stdout", completed.stdout),
                   "expect-stderr": ("stderr", completed.stderr)}
        for section in sections:
            base = section.kind
            for suffix in PARTIAL_SUFFIXES:
                base = base[:-len(suffix)] if base.endswith(suffix) else base
            if base not in OUTPUT_KINDS:
                continue
            if base == "expect-file":
                label = "file " + section.args[0]
                path = os.path.join(tmp, section.args[0])
                if not os.path.exists(path):
                    failures.append("%s: missing\n" % label)
                    continue
                with open(path, "rb") as handle:
                    produced = handle.read()
            else:
                label, produced = streams[base]
            actual[id(section)] = normal(produced)
            if not filling(section):
                check_output(section, variables, label, actual[id(section)], failures)
        for section in by_kind.get("expect-same-file", []):
            first, second = (os.path.join(tmp, name) for name in section.args[:2])
            if not (os.path.exists(first) and os.path.exists(second)):
                failures.append("files %s, %s: missing\n" % tuple(section.args[:2]))
                continue
            with open(first, "rb") as a, open(second, "rb") as b:
                if a.read() != b.read():
                    failures.append("files %s and %s differ\n" % tuple(section.args[:2]))
        for section in by_kind.get("expect-json", []):
            check_report(section, variables, tmp, completed.returncode, failures)
        for section in by_kind.get("expect-secret-nowhere", []):
            check_secrets(section, variables, tmp, sections, completed, failures)
        for section in by_kind.get("expect-absent", []):
            if os.path.exists(os.path.join(tmp, section.args[0])):
                failures.append("file %s: should not exist\n" % section.args[0])
        for kind, suffix in (("expect-received", "received"), ("expect-hello", "hello")):
            for section in by_kind.get(kind, []):
                path = os.path.join(record or "", "conn-%s.%s" % (section.args[0], suffix))
                if not record or not os.path.exists(path):
                    failures.append("connection %s: no %s transcript\n" % (section.args[0], suffix))
                    continue
                with open(path, "rb") as handle:
                    actual[id(section)] = normal(handle.read())
                if not filling(section):
                    compare("connection %s %s" % (section.args[0], suffix),
                        section.content(variables), actual[id(section)], failures)
    except Exception as error:  # a broken case is a failed case
        failures.append("case could not run: %s\n" % error)
    finally:
        if simulator is not None:
            launch.stop(simulator)

    blessed = [s for s in sections if id(s) in actual and filling(s)]
    if blessed:
        bless(case_path, blessed, actual, variables)
        sys.stdout.write("filled %d empty section(s) of %s; read every byte before committing\n"
                         % (len(blessed), case_path))
    if failures:
        sys.stdout.write("".join(failures))
        sys.stdout.write("case folder kept: %s\n" % tmp)
        return 1
    if not keep:
        shutil.rmtree(tmp, ignore_errors=True)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quorvex", required=True)
    parser.add_argument("--mpsim")
    parser.add_argument("--keep", action="store_true", help="keep the case folder")
    parser.add_argument("--bless", action="store_true",
                        help="fill the case's empty expectation sections with what the run did")
    parser.add_argument("--platform", choices=PLATFORMS, default="linux",
                        help="the system the program was built for (sections that name a platform)")
    parser.add_argument("--launcher", help="the program that runs it on this host (wine)")
    parser.add_argument("case")
    options = parser.parse_args()
    sys.exit(run_case(options.case, os.path.abspath(options.quorvex),
                      os.path.abspath(options.mpsim) if options.mpsim else None, options.keep,
                      options.bless, options.platform, options.launcher))


if __name__ == "__main__":
    main()
