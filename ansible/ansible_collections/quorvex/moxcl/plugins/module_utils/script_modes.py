# -*- coding: utf-8 -*-
"""Whether a script writes: a command block whose MODE is write ("w" or
"write" in any case, as the utility's mode check reads it). A processor
cannot say whether a command changed anything, so a run that succeeded with
such a block counts as a change.

The script is read as the utility's lexer reads it: comments and CDATA
sections are skipped, quoted values are whole tokens (a MODE="write" inside
another attribute's value is no mode), and -t values take the place of
their %name% placeholders first."""

from __future__ import absolute_import, division, print_function

import re

__metaclass__ = type

_TOKEN = re.compile(
    r"""<!--.*?(?:-->|\Z)            # a comment, to its end
      | <!\[CDATA\[.*?(?:\]\]>|\Z)   # a CDATA section, to its end
      | "(?P<dq>[^"\n]*)"            # quoted values: never across a line end
      | '(?P<sq>[^'\n]*)'
      | (?P<name>[A-Za-z0-9_]+)
      | (?P<equals>=)
      | (?P<other>[^\s])
    """,
    re.DOTALL | re.VERBOSE)

_PLACEHOLDER = re.compile(r"%([^%]*)%")


def substituted(text, variables):
    """TEXT with each %name% that VARIABLES names replaced by its value."""
    if not variables:
        return text
    return _PLACEHOLDER.sub(lambda match: str(variables.get(match.group(1), match.group(0))), text)


def _is_write(value):
    value = value.lstrip(" \t").lower()
    return value in ("w", "write")


def has_write_block(text, variables=None):
    """Whether TEXT (a script) holds a command block in write mode."""
    after_mode = 0  # 1: MODE read, 2: MODE = read
    for match in _TOKEN.finditer(substituted(text, variables)):
        kind = match.lastgroup
        if kind == "name":
            after_mode = 1 if match.group("name").upper() == "MODE" else 0
        elif kind == "equals":
            after_mode = 2 if after_mode == 1 else 0
        elif kind in ("dq", "sq"):
            if after_mode == 2 and _is_write(match.group(kind)):
                return True
            after_mode = 0
        else:
            after_mode = 0
    return False
