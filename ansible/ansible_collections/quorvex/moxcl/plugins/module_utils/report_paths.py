# -*- coding: utf-8 -*-
"""Values found in a run report's answers by a path into their data, and
the values a task expects there.

A path names elements from an answer's data down, as the jq queries of the
utility's README do (``.responses[] | select(.data.NETWORK_SETTINGS) |
.data.NETWORK_SETTINGS.DNS_NAME.VALUE`` is the path
``NETWORK_SETTINGS.DNS_NAME.VALUE``): names joined by dots, a leading dot
allowed. A name met more than once in one element is a list in the data;
``NAME[N]`` takes its element N (from 0), ``NAME[]`` every element (a name
met once counts as a list of one). The path reaches into every answer whose
data holds its first name, and yields every text it reaches there."""

from __future__ import absolute_import, division, print_function

import re

from ansible_collections.quorvex.moxcl.plugins.module_utils.template_pairs import scalar_text

__metaclass__ = type

_STEP = re.compile(r"^(?P<name>[^.\[\]]+)(?:\[(?P<index>[0-9]*)\])?$")
EVERY = "every"


class PathRefused(ValueError):
    pass


def parse_path(path):
    """The steps of PATH: (name, None | EVERY | index). Raises PathRefused."""
    text = path[1:] if path.startswith(".") else path
    if not text:
        raise PathRefused("the path %r names nothing" % path)
    steps = []
    for part in text.split("."):
        match = _STEP.match(part)
        if match is None:
            raise PathRefused("the path %r: %r is not NAME, NAME[] or NAME[N]" % (path, part))
        index = match.group("index")
        if index is None:
            steps.append((match.group("name"), None))
        elif index == "":
            steps.append((match.group("name"), EVERY))
        else:
            steps.append((match.group("name"), int(index)))
    return steps


def _walk(value, steps):
    if not steps:
        if isinstance(value, (str, int, float)) and not isinstance(value, bool):
            return [str(value)]
        return []
    (name, index), rest = steps[0], steps[1:]
    if not isinstance(value, dict) or name not in value:
        return []
    inner = value[name]
    if index is None:
        chosen = [inner]
    else:
        items = inner if isinstance(inner, list) else [inner]
        if index == EVERY:
            chosen = items
        else:
            chosen = items[index:index + 1]
    found = []
    for item in chosen:
        found.extend(_walk(item, rest))
    return found


def found_values(report, path):
    """Every text PATH reaches in the answers of REPORT (a run report), in
    the answers' order."""
    steps = parse_path(path)
    found = []
    for response in (report or {}).get("responses") or []:
        data = response.get("data") if isinstance(response, dict) else None
        if isinstance(data, dict) and steps[0][0] in data:
            found.extend(_walk(data, steps))
    return found


def expected_text(path, value):
    """The text a value of the task's expected mapping stands for: numbers
    as YAML wrote them, booleans as true and false."""
    text = scalar_text(value)
    if text is None:
        raise PathRefused("the value expected at %s is not a string or a number" % path)
    return text


def compare(report, expected):
    """(whether every expected value is there, what was found by path).
    EXPECTED maps paths to texts; a path holds its value when one of the
    texts it reaches is that value. Found is the one text reached, or the
    list of them, or None when the path reaches nothing."""
    found = {}
    holds = True
    for path, value in expected.items():
        values = found_values(report, path)
        found[path] = values[0] if len(values) == 1 else (values or None)
        if value not in values:
            holds = False
    return holds, found


def shown(mapping):
    """MAPPING (paths to texts or lists) as lines for a diff."""
    lines = []
    for path in sorted(mapping):
        value = mapping[path]
        if value is None:
            lines.append("%s: (absent)" % path)
        elif isinstance(value, list):
            lines.append("%s: [%s]" % (path, ", ".join(value)))
        else:
            lines.append("%s: %s" % (path, value))
    return "\n".join(lines) + "\n"
