# -*- coding: utf-8 -*-
"""The variables of a run as quorvex's -t list ("name1=value1,..."), held
to the limits the utility sets on that list, so that a mapping it would
refuse (or cut) is refused before anything runs."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

MAX_PAIRS = 25
MAX_NAME = 48
MAX_VALUE = 48
MAX_LIST = 2400


class PairsRefused(ValueError):
    pass


def scalar_text(value):
    """A value as a script or an answer writes it: numbers as YAML wrote
    them, booleans as true and false; None for a missing value or a
    structure, which has no such text."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float)):
        return str(value)
    if isinstance(value, str):
        return value
    return None


def _text(value):
    text = scalar_text(value)
    if text is None:
        raise PairsRefused("the value of %s is not a string or a number" % _shown(value))
    return text


def _shown(name):
    return '"%s"' % name


def _bytes(text):
    return len(text.encode("utf-8", "surrogateescape"))


def pair_texts(variables):
    """The names and values of a mapping as the -t list carries them (an
    empty mapping for None). Raises PairsRefused naming the first fault."""
    if not variables:
        return {}
    if len(variables) > MAX_PAIRS:
        raise PairsRefused("%d variables given; quorvex takes at most %d" % (len(variables), MAX_PAIRS))
    texts = {}
    for name, value in variables.items():
        name = str(name)
        if value is None:
            raise PairsRefused("the variable %s has no value" % _shown(name))
        value = _text(value)
        for what, text, limit in (("name", name, MAX_NAME), ("value", value, MAX_VALUE)):
            for forbidden in (",", "=", "\0"):
                if forbidden in text:
                    raise PairsRefused("the %s of the variable %s holds %r, which a -t pair cannot carry"
                                       % (what, _shown(name), forbidden))
            if _bytes(text) > limit:
                raise PairsRefused("the %s of the variable %s is %d bytes long; quorvex takes at most %d"
                                   % (what, _shown(name), _bytes(text), limit))
        if "%" in name:
            raise PairsRefused("the variable name %s holds %%, so no placeholder can name it" % _shown(name))
        texts[name] = value
    return texts


def pair_list(variables):
    """The -t list for a mapping of names to values (None or empty: no list).
    Raises PairsRefused naming the first fault."""
    texts = pair_texts(variables)
    if not texts:
        return None
    joined = ",".join("%s=%s" % pair for pair in texts.items())
    if _bytes(joined) > MAX_LIST:
        raise PairsRefused("the variables make a -t list of %d bytes; quorvex takes at most %d"
                           % (_bytes(joined), MAX_LIST))
    return joined
