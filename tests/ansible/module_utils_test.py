#!/usr/bin/env python3
"""The pieces of the run_script module that need no Ansible: the variables
held to -t's limits, the write-mode test that decides "changed", and the
exit statuses' meanings.

    module_utils_test.py ANSIBLE_FOLDER
"""
import sys
import unittest

# The source tree stays as it is: no __pycache__ in the collection.
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv.pop(1) if len(sys.argv) > 1 else "ansible")

from ansible_collections.quorvex.moxcl.plugins.module_utils import exit_status  # noqa: E402
from ansible_collections.quorvex.moxcl.plugins.module_utils.script_modes import has_write_block  # noqa: E402
from ansible_collections.quorvex.moxcl.plugins.module_utils.template_pairs import (  # noqa: E402
    PairsRefused, pair_list)


class PairListTest(unittest.TestCase):
    def test_accepted_mappings_become_the_list_in_order(self):
        cases = [
            (None, None),
            ({}, None),
            ({"b": "2", "a": "1"}, "b=2,a=1"),
            ({"port": 8443, "ratio": 1.5, "on": True, "off": False}, "port=8443,ratio=1.5,on=true,off=false"),
            ({"n" * 48: "v" * 48}, "n" * 48 + "=" + "v" * 48),
            ({"": "for %%"}, "=for %%"),
            ({"empty": ""}, "empty="),
            ({"name": "\u00e9" * 24}, "name=" + "\u00e9" * 24),  # 48 bytes
        ]
        for variables, expected in cases:
            with self.subTest(variables=variables):
                self.assertEqual(pair_list(variables), expected)

    def test_what_the_utility_would_refuse_or_cut_is_refused(self):
        many = {"n%02d" % i: "v" for i in range(26)}
        # 25 pairs of 48-byte names and values make 2449 bytes.
        long_list = {"%02d" % i + "n" * 46: "v" * 48 for i in range(25)}
        cases = [
            (many, "at most 25"),
            ({"n" * 49: "v"}, "name of the variable"),
            ({"name": "v" * 49}, "49 bytes"),
            ({"name": "\u00e9" * 25}, "50 bytes"),
            ({"name": "a,b"}, "','"),
            ({"name": "a=b"}, "'='"),
            ({"na,me": "v"}, "','"),
            ({"na=me": "v"}, "'='"),
            ({"name": "a\0b"}, "'\\x00'"),
            ({"na%me": "v"}, "holds %"),
            ({"name": None}, "has no value"),
            ({"name": ["a"]}, "not a string"),
            ({"name": {"a": 1}}, "not a string"),
            (long_list, "2449 bytes"),
        ]
        for variables, words in cases:
            with self.subTest(words=words):
                with self.assertRaises(PairsRefused) as refused:
                    pair_list(variables)
                self.assertIn(words, str(refused.exception))


def script(block_attributes, command='<SET_ITEM_A NAME_A="x"/>', before=""):
    return ('<?xml version="1.0"?>\n%s<MOXCL VERSION="2.0">\n<LOGIN USER_LOGIN="a" PASSWORD="b">\n'
            '<MOX_SETTINGS %s>\n%s\n</MOX_SETTINGS>\n</LOGIN>\n</MOXCL>\n' % (before, block_attributes, command))


class WriteModeTest(unittest.TestCase):
    def test_write_blocks_as_the_mode_check_reads_them(self):
        cases = [
            (script('MODE="write"'), True),
            (script('MODE="w"'), True),
            (script("mode = 'WRITE'"), True),
            (script('MODE=" \tWrite"'), True),  # blanks after the quote are dropped
            (script('MODE="read"'), False),
            (script('MODE="r"'), False),
            (script('MODE="write "'), False),  # fails the mode check: nothing runs
            (script('MODE="writer"'), False),
            (script('XMODE="write"'), False),
            (script('MODE="read"', '<SET_ITEM_A NOTE=\'MODE="write"\'/>'), False),
            (script('MODE="read"', before='<!-- <A MODE="write"> -->\n'), False),
            (script('MODE="read"', '<BLOB_DATA><![CDATA[ MODE="w" ]]></BLOB_DATA>'), False),
            (script('MODE="read"', before='<!-- never closed MODE="write"'), False),
            (script('MODE="read"') + script('MODE="w"'), True),
        ]
        for text, expected in cases:
            with self.subTest(text=text):
                self.assertEqual(has_write_block(text), expected)

    def test_placeholders_take_their_values_first(self):
        text = script('MODE="%mode%"')
        self.assertTrue(has_write_block(text, {"mode": "write"}))
        self.assertFalse(has_write_block(text, {"mode": "read"}))
        self.assertFalse(has_write_block(text, {"other": "write"}))
        self.assertFalse(has_write_block(text))


class ExitStatusTest(unittest.TestCase):
    def test_meanings(self):
        cases = [
            (0, False, "the script succeeded"),
            (0, True, "the script's syntax is valid"),
            (64, False, "a usage error: the command line could not be understood, nothing ran"),
            (77, False, "the processor's key is not the one known for it; nothing was sent"),
            (143, False, "the run was ended by a signal"),
            (95, False, "the processor's error status for a command"),
        ]
        for status, check_only, meaning in cases:
            with self.subTest(status=status):
                self.assertEqual(exit_status.exit_meaning(status, check_only), meaning)

    def test_a_signal_shows_as_the_shell_shows_it(self):
        self.assertEqual(exit_status.shell_status(-15), 143)
        self.assertEqual(exit_status.shell_status(95), 95)

    def test_the_processor_carried_out_runs_that_lost_only_their_log(self):
        self.assertEqual([s for s in (0, 1, 3, 64, 74, 77, 95, 255) if exit_status.processor_succeeded(s)], [0, 74])


if __name__ == "__main__":
    unittest.main()
