#!/usr/bin/env python3
"""Writes a large valid script: COMMANDS commands spread over command blocks.

Usage: generate_script.py COMMANDS OUTPUT
Every command is one line of about 100 bytes, so 100,000 commands make a
script of about 10 MB. The mix covers generic commands with and without
attributes and children, the special commands and the odd comment.
"""

import sys

HEAD = '<?xml version="1.0"?>\n<MOXCL VERSION="2.21">\n<LOGIN USER_LOGIN="admin" PASSWORD="password">\n'
TAIL = '</LOGIN>\n</MOXCL>\n'
PER_BLOCK = 1000

COMMANDS = [
    '    <SET_SETTING_{n:06d} NAME="value number {n}" DESCRIPTION="a setting that is set" ENABLED="Y"/>\n',
    '    <GET_SETTING_{n:06d}/>                                                                   \n',
    '    <MOD_USER USER_LOGIN="user{n:06d}"><PASSWORD VALUE="secret{n}"/><ADMINISTRATOR VALUE="No"/></MOD_USER>\n',
    '    <SET_SECURITY_MSG><SECURITY_MSG VALUE="Yes"/></SET_SECURITY_MSG>       <!-- command {n:06d} -->\n',
    '    <HOTKEY_CONFIG><CTRL_T VALUE="ALT,F{n}"/><CTRL_U VALUE="CTRL,ALT,DEL"/></HOTKEY_CONFIG>          \n',
]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    count = int(sys.argv[1])
    with open(sys.argv[2], "w", newline="\n") as out:
        out.write(HEAD)
        for n in range(count):
            if n % PER_BLOCK == 0:
                if n:
                    out.write('  </BLOCK_%d>\n' % (n // PER_BLOCK - 1))
                out.write('  <BLOCK_%d MODE="write">\n' % (n // PER_BLOCK))
            out.write(COMMANDS[n % len(COMMANDS)].format(n=n))
        if count:
            out.write('  </BLOCK_%d>\n' % ((count - 1) // PER_BLOCK))
        out.write(TAIL)


if __name__ == "__main__":
    main()
