# -*- coding: utf-8 -*-
"""What a task says of a failed run of the utility, from its run report: the
message, the cause's code, and whether the processor could not be reached."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

# The causes of a processor that could not be reached at all (refused, a
# name that does not resolve, no answer within the time limit): the
# connection was never made and nothing was sent, as when SSH cannot reach
# a host. A processor that was reached but refused the connection's terms
# (a TLS handshake, a changed key) failed: someone must act, and trying
# again does not help.
UNREACHABLE_PREFIX = "connect."


def error_line(*outputs):
    """The utility's first error line, for a run that left no report (its
    command line refused it)."""
    for output in outputs:
        for line in output.splitlines():
            if "error" in line.lower():
                return line.strip()
    return None


class Failure(object):
    def __init__(self, message, reason, code, unreachable):
        self.message = message
        self.reason = reason
        self.code = code
        self.unreachable = unreachable


def failure(report, status, meaning, stdout="", stderr=""):
    """The failure of a run that ended with STATUS (MEANING its line of the
    exit table): the words of the report's cause when it names one, else
    the status, its meaning and the report's reason."""
    cause = report.get("cause") if report is not None else None
    if not isinstance(cause, dict):
        cause = {}
    reason = report.get("reason") if report is not None else error_line(stdout, stderr)
    reason = reason or meaning
    code = cause.get("code") if isinstance(cause.get("code"), str) and cause.get("code") else None
    words = cause.get("words")
    if isinstance(words, str) and words:
        message = words
    else:
        message = "quorvex ended with status %d (%s)" % (status, meaning)
        if reason != meaning:
            message += ": " + reason
    return Failure(message, reason, code, code is not None and code.startswith(UNREACHABLE_PREFIX))
