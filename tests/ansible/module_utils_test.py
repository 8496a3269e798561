#!/usr/bin/env python3
"""The pieces of the run_script module that need no Ansible: the variables
held to -t's limits, the expected values looked up in a run report, what a
failed run says, and the exit statuses' meanings.

    module_utils_test.py ANSIBLE_FOLDER
"""
import sys
import unittest

# The source tree stays as it is: no __pycache__ in the collection.
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv.pop(1) if len(sys.argv) > 1 else "ansible")

from ansible_collections.quorvex.moxcl.plugins.module_utils import exit_status  # noqa: E402
from ansible_collections.quorvex.moxcl.plugins.module_utils.failure import failure  # noqa: E402
from ansible_collections.quorvex.moxcl.plugins.module_utils.report_paths import (  # noqa: E402
    PathRefused, compare, expected_text, found_values, parse_path, shown)
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


def answer(data):
    return {"command": None, "status": 0, "message": "No error", "data": data, "complete": True}


# Answers as the utility's report gives them: a name met once is an object,
# met more than once an array.
REPORT = {"responses": [
    answer(None),
    answer({"NETWORK_SETTINGS": {"DNS_NAME": {"VALUE": "mp-a"}, "DHCP_ENABLE": {"VALUE": "N"}}}),
    answer({"ALL_USERS": {"USER_LOGIN": [{"VALUE": "admin"}, {"VALUE": "operator1"}]}}),
    answer({"ALL_USERS": {"USER_LOGIN": {"VALUE": "root"}}}),
    answer({"SERVER_NAME": {"VALUE": "host-a", "#text": "x"}, "PORT": {"VALUE": 443}}),
]}


class ReportPathTest(unittest.TestCase):
    def test_found_values(self):
        cases = [
            ("NETWORK_SETTINGS.DNS_NAME.VALUE", ["mp-a"]),
            (".NETWORK_SETTINGS.DNS_NAME.VALUE", ["mp-a"]),
            ("NETWORK_SETTINGS.DNS_NAME", []),  # an object is no text
            ("NETWORK_SETTINGS.MISSING.VALUE", []),
            ("MISSING.VALUE", []),
            ("ALL_USERS.USER_LOGIN[].VALUE", ["admin", "operator1", "root"]),
            ("ALL_USERS.USER_LOGIN[1].VALUE", ["operator1"]),
            ("ALL_USERS.USER_LOGIN[0].VALUE", ["admin", "root"]),  # a name met once is a list of one
            ("ALL_USERS.USER_LOGIN[5].VALUE", []),
            ("ALL_USERS.USER_LOGIN.VALUE", ["root"]),  # without [], an array is no element
            ("SERVER_NAME.#text", ["x"]),
            ("PORT.VALUE", ["443"]),
        ]
        for path, values in cases:
            with self.subTest(path=path):
                self.assertEqual(found_values(REPORT, path), values)

    def test_paths_that_name_nothing_are_refused(self):
        for path in ("", ".", "A..B", "A[x]", "A[]]", "A.[0]", "A[-1]"):
            with self.subTest(path=path):
                with self.assertRaises(PathRefused):
                    parse_path(path)

    def test_compare_holds_only_when_every_value_is_there(self):
        cases = [
            ({"NETWORK_SETTINGS.DNS_NAME.VALUE": "mp-a"}, True, {"NETWORK_SETTINGS.DNS_NAME.VALUE": "mp-a"}),
            ({"NETWORK_SETTINGS.DNS_NAME.VALUE": "mp-b"}, False, {"NETWORK_SETTINGS.DNS_NAME.VALUE": "mp-a"}),
            ({"NETWORK_SETTINGS.DNS_NAME.VALUE": "MP-A"}, False, {"NETWORK_SETTINGS.DNS_NAME.VALUE": "mp-a"}),
            ({"ALL_USERS.USER_LOGIN[].VALUE": "operator1", "NETWORK_SETTINGS.DHCP_ENABLE.VALUE": "N"}, True,
             {"ALL_USERS.USER_LOGIN[].VALUE": ["admin", "operator1", "root"],
              "NETWORK_SETTINGS.DHCP_ENABLE.VALUE": "N"}),
            ({"ALL_USERS.USER_LOGIN[].VALUE": "night", "NETWORK_SETTINGS.DHCP_ENABLE.VALUE": "N"}, False,
             {"ALL_USERS.USER_LOGIN[].VALUE": ["admin", "operator1", "root"],
              "NETWORK_SETTINGS.DHCP_ENABLE.VALUE": "N"}),
            ({"NETWORK_SETTINGS.GATEWAY.VALUE": ""}, False, {"NETWORK_SETTINGS.GATEWAY.VALUE": None}),
        ]
        for expected, holds, found in cases:
            with self.subTest(expected=expected):
                self.assertEqual(compare(REPORT, expected), (holds, found))
        self.assertEqual(compare(None, {"A.VALUE": "1"}), (False, {"A.VALUE": None}))

    def test_expected_values_as_texts_and_the_diff_lines(self):
        self.assertEqual([expected_text("p", v) for v in ("Y", 8443, 1.5, True, False)],
                         ["Y", "8443", "1.5", "true", "false"])
        for value in (None, ["a"], {"a": 1}):
            with self.assertRaises(PathRefused):
                expected_text("p", value)
        self.assertEqual(shown({"B.VALUE": None, "A.VALUE": "x", "C[].VALUE": ["1", "2"]}),
                         "A.VALUE: x\nB.VALUE: (absent)\nC[].VALUE: [1, 2]\n")


MEANING = "the command line ... or the processor could not be reached"


class FailureTest(unittest.TestCase):
    def test_what_a_failed_run_says(self):
        cause = {"code": "connect.refused", "words": "127.0.0.1 port 1 refused the connection (ECONNREFUSED)",
                 "stage": "connect", "system_error": "ECONNREFUSED"}
        cases = [
            # The cause's words and code; a connection cause is unreachable.
            ({"reason": "SIO_connect:reason(111).", "cause": cause}, 255,
             (cause["words"], "SIO_connect:reason(111).", "connect.refused", True)),
            ({"reason": "x", "cause": dict(cause, code="connect.timeout")}, 255,
             (cause["words"], "x", "connect.timeout", True)),
            # Reached, but refused or failed: failed.
            ({"reason": "x", "cause": {"code": "tls.handshake", "words": "the handshake failed"}}, 255,
             ("the handshake failed", "x", "tls.handshake", False)),
            ({"reason": "x", "cause": {"code": "identity.changed", "words": "key changed"}}, 77,
             ("key changed", "x", "identity.changed", False)),
            ({"reason": "x", "cause": {"code": "script.syntax", "words": "line 5: ..."}}, 255,
             ("line 5: ...", "x", "script.syntax", False)),
            # A report without a cause: the status, its meaning, the reason.
            ({"reason": "SIO_connect:reason(111)."}, 255,
             ("quorvex ended with status 255 (%s): SIO_connect:reason(111)." % MEANING,
              "SIO_connect:reason(111).", None, False)),
            ({"reason": MEANING}, 255, ("quorvex ended with status 255 (%s)" % MEANING, MEANING, None, False)),
            ({"reason": "x", "cause": {"code": "", "words": ""}}, 3,
             ("quorvex ended with status 3 (%s): x" % MEANING, "x", None, False)),
        ]
        for report, status, expected in cases:
            with self.subTest(report=report):
                said = failure(report, status, MEANING)
                self.assertEqual((said.message, said.reason, said.code, said.unreachable), expected)

    def test_a_run_without_report_says_its_error_line(self):
        said = failure(None, 64, "a usage error", "banner\nERROR: -s is not formatted correctly\n", "")
        self.assertEqual(said.reason, "ERROR: -s is not formatted correctly")
        self.assertFalse(said.unreachable)


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
