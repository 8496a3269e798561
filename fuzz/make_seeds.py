#!/usr/bin/env python3
"""Writes the seed corpora of the fuzzing targets into fuzz/corpus/TARGET/.

Scripts and command lines come from examples/ and the end-to-end cases
(tests/cases/*.case); what a processor sends is built here in the forms the
simulator and real processors use. Each seed is named after its content.
Run it again after adding cases; files already there are kept, so findings
saved as regression inputs stay.

Input layouts (fuzz/harness.h): the option bytes first, the bytes in the
middle, then the processor's read sizes and, last, their count.
"""

import hashlib
import os
import shlex
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(TOP, "tests"))
import run_case  # noqa: E402

LONGEST_SEED = 8192


def write(target, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(folder, name), "wb") as handle:
        handle.write(data)


def peer_input(options, data, reads=()):
    """Options, the processor's bytes, its read sizes and their count."""
    return bytes(options) + data + bytes(reads) + bytes([len(reads)])


def case_sections():
    folder = os.path.join(TOP, "tests", "cases")
    for name in sorted(os.listdir(folder)):
        if name.endswith(".case"):
            yield run_case.parse_case(os.path.join(folder, name))


def scripts_and_commands():
    scripts, commands = [], []
    examples = os.path.join(TOP, "examples")
    for name in sorted(os.listdir(examples)):
        if name.endswith(".xml"):
            with open(os.path.join(examples, name), "rb") as handle:
                scripts.append(handle.read())
    variables = {"TMP": "/tmp/case", "PORT": "4430", "HOSTNAME": "host", "CASES": "cases", "BANNER": ""}
    for sections in case_sections():
        files = {}
        for section in sections:
            if section.kind == "file":
                files[section.args[0]] = section.content(variables)
        for data in files.values():
            if data.lstrip().startswith(b"<") and len(data) <= LONGEST_SEED:
                scripts.append(data)
        arguments, environment = [], []
        for section in sections:
            if section.kind == "command":
                arguments = shlex.split(section.content(variables).decode())
            if section.kind == "env":
                for line in section.content(variables).decode().splitlines():
                    if line.startswith(("DEVICEIPADDRESS0=", "QUORVEX_TIMEOUT=", "QUORVEX_USER=", "QUORVEX_PASSWORD=")):
                        environment.append("@" + line)
        if arguments:
            commands.append((arguments, environment, files))
    return scripts, commands


def stream_response(status="0x0000", message="No error", version="2.22", extra=""):
    return ("<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"%s\">\r\n<RESPONSE\r\n    STATUS=\"%s\"\r\n"
            "    MESSAGE='%s'%s\r\n     />\r\n</MOXCL>\r\n" % (version, status, message, extra)).encode()


def chunked(text, size=4000, head=b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n"):
    body = b""
    for at in range(0, len(text), size):
        piece = text[at:at + size]
        body += b"%x\r\n" % len(piece) + piece + b"\r\n"
    return head + body + b"0\r\n\r\n"


def main():
    scripts, commands = scripts_and_commands()

    for script in scripts:
        write("check_script", script)
        if b"LOGIN" in script:
            write("body_pass", b"bob\0pw\0" + script)
            write("body_pass", b"\0new password\0" + script)
        write("substitution", b"USER=admin,PASS=secret,%\0" + script.replace(b"admin", b"%USER%", 1))

    for arguments, environment, files in commands:
        args = [a for a in environment + arguments]
        write("command_line", b"\0".join(a.encode() for a in args) + b"\0")
        if "-t" in arguments:
            pairs = arguments[arguments.index("-t") + 1] if arguments.index("-t") + 1 < len(arguments) else ""
            for data in files.values():
                write("substitution", pairs.encode() + b"\0" + data)

    # Stream mode: a successful response, an error, 0X, a long one, one in
    # pieces, the short end tag, a response without its end.
    ok = stream_response()
    write("stream_response", peer_input([0], ok + stream_response()))
    write("stream_response", peer_input([1], ok, [7, 0]))
    write("stream_response", peer_input([2], ok + b"<GET_NETWORK>\r\n<NAME VALUE='x'/>\r\n</GET_NETWORK>\r\n</MOXCL>\r\n"))
    write("stream_response", peer_input([0], stream_response("0x005F", "Login failed"), [3, 11, 0]))
    write("stream_response", peer_input([0], stream_response("0X0001", "Upper case")))
    write("stream_response", peer_input([3], stream_response(extra="\r\n<PADDING>\r\n" + "x" * 5000 + "\r\n</PADDING>")))
    write("stream_response", peer_input([0], b"<?xml version=\"1.0\"?><MOXCL VERSION=\"2.0\"/><RESPONSE STATUS=\"0x0000\" MESSAGE='ok'/><END_MOXCL/>"))
    write("stream_response", peer_input([0], b"<MOXCL VERSION=\"2.22\">\r\n<RESPONSE STATUS=\"0x0000\"", [255]))

    # Floppy copies: the length field and the image, whole and short.
    image = bytes(range(256)) * 4
    write("image_receive", peer_input([], b"  '1024'  " + b" " * 6 + image, [16, 0]))
    write("image_receive", peer_input([], b"1024".ljust(16) + image[:600], [16, 100]))
    write("image_receive", peer_input([], b"'4194305'".ljust(16)))
    write("image_receive", peer_input([], b"\"12\"".ljust(16) + b"twelve bytes" + b"\"5\"".ljust(16) + b"five!", [16, 12, 16, 5]))

    # HTTP replies: statuses, a refusal, chunks split between reads, the
    # flash confirmation of an upload.
    good = b"<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"2.22\">\r\n<RESPONSE STATUS=\"0x0000\" MESSAGE='No error'/>\r\n</MOXCL>\r\n"
    bad = b"<RESPONSE\r\n    STATUS=\"0x005F\"\r\n    MESSAGE='Login failed'\r\n     />\r\n"
    write("http_reply", peer_input([0], chunked(good * 3, 64)))
    write("http_reply", peer_input([2], chunked(good + bad + good, 50), [30, 0, 7]))
    write("http_reply", peer_input([0], b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"))
    write("http_reply", peer_input([0], chunked(b"<RESPONSE STATUS=\"0x0001\"/>" * 40)))
    write("http_reply", peer_input([1], chunked(good + b"<FIRMWARE>Firmware flash completed successfully</FIRMWARE>\r\n", 20), [9, 0]))
    write("http_reply", peer_input([1], chunked(good), [255]))
    write("http_reply", peer_input([0], b"HTTP/1.1 200 OK\r\n\r\n" + good))
    # More than the fuzzing build's 16 KB response store holds, a status
    # and the flash confirmation split by its rollover.
    filler = chunked(b"<RESPONSE STATUS=\"0x0000\"/>\r\n" * 700, 4000)
    write("http_reply", peer_input([1], filler[:-5] + b"25\r\nFirmware flash completed successfully\r\n0\r\n\r\n"))
    write("http_reply", peer_input([0], filler[:-5] + chunked(bad, 16, b"")))

    # Upload replies with the cookie in one read, split, missing, repeated.
    head = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
    cookie = b"Set-Cookie: MoxclFlash=0123456789abcdef; path=/\r\n"
    write("upload_reply", peer_input([0], head + cookie + b"\r\n<html>ok</html>"))
    write("upload_reply", peer_input([1], head + cookie + b"\r\n", [20, 3, 0]))
    write("upload_reply", peer_input([0], head + b"\r\n<html>no cookie</html>"))
    write("upload_reply", peer_input([0], head + cookie + b"Set-Cookie: MoxclFlash=second\r\n\r\n"))
    write("upload_reply", peer_input([0], head + b"Set-Cookie: MoxclFlash=" + b"c" * 5000 + b"\r\n\r\n"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
