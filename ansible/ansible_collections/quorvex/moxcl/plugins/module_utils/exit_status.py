# -*- coding: utf-8 -*-
"""What each exit status of quorvex means: the utility's own table, for the
runs that leave no report to say it (a usage error, a report that could not
be written, a program that could not be started)."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

MEANINGS = {
    0: "the script succeeded",
    1: "stream mode: the run stopped on a failed command",
    2: "the script could not be read",
    3: "the connection broke or went silent while reading a reply, or a reply passed its limit",
    4: "HTTP mode: the processor refused the request",
    6: "sending on the connection failed",
    8: "HTTP mode: a firmware update whose replies never confirmed the flash",
    64: "a usage error: the command line could not be understood, nothing ran",
    74: "the run succeeded, but its log or report could not be written whole",
    77: "the processor's key is not the one known for it; nothing was sent",
    255: "the command line, the log file or the script could not be used, the script is invalid, "
         "or the processor could not be reached or did not answer the transport probe",
}

SIGNALLED = "the run was ended by a signal"
PROCESSOR_STATUS = "the processor's error status for a command"


def shell_status(returncode):
    """The status as the shell shows it: a child ended by signal N is 128+N."""
    return 128 - returncode if returncode < 0 else returncode


def exit_meaning(status, check_only=False):
    if status == 0 and check_only:
        return "the script's syntax is valid"
    if status in MEANINGS:
        return MEANINGS[status]
    if 128 < status < 160:
        return SIGNALLED
    return PROCESSOR_STATUS


def processor_succeeded(status):
    """Whether the processor carried the script out: a clean run, or one
    whose only fault was its own log or report on this machine."""
    return status in (0, 74)
