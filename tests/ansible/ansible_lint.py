#!/usr/bin/env python3
"""The collection quorvex.moxcl and the example playbook under Debian's
ansible-lint (production profile: no error, no warning, no warning logged)
and the collection under the ansible-test sanity tests that run offline.

ansible-lint resolves the playbook's module, and so checks its options,
only when ANSIBLE_COLLECTIONS_PATH names the ansible_collections folder
itself: with Ansible 2.14 it loads collections from the parent of the
variable's value. A copy of the playbook with a misspelt option must then
fail.

The sanity tests not run need a virtual environment filled from the
Python package index (pip and pinned versions of their tools), which a
machine without the network cannot make: ansible-doc, import, pep8,
pylint, runtime-metadata, validate-modules, yamllint; changelog needs
antsibull-changelog, pslint PowerShell (and the collection has no
changelog fragments and no PowerShell to check).

Everything runs on copies in a temporary folder: ansible-test writes
tests/output into the collection it checks.

    ansible_lint.py ANSIBLE_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

OFFLINE_SANITY_TESTS = [
    "action-plugin-docs", "compile", "empty-init", "future-import-boilerplate", "ignores", "line-endings",
    "metaclass-boilerplate", "no-assert", "no-basestring", "no-dict-iteritems", "no-dict-iterkeys",
    "no-dict-itervalues", "no-get-exception", "no-illegal-filenames", "no-main-display", "no-smart-quotes",
    "no-unicode-literals", "replace-urlopen", "shebang", "shellcheck", "symlinks", "use-argspec-type-path",
    "use-compat-six",
]
CLEAN = re.compile(r"^Passed with production profile: 0 failure\(s\), 0 warning\(s\) on \d+ files\.$", re.M)


def main():
    source = os.path.abspath(sys.argv[1])
    path = os.environ.get("PATH") or "/usr/local/bin:/usr/bin:/bin"
    lint = shutil.which("ansible-lint", path=path)
    sanity = shutil.which("ansible-test", path=path)
    if lint is None or sanity is None:
        print("ansible-lint or ansible-test is missing: scripts/bootstrap installs them "
              "(apt-get install ansible-lint ansible-core)")
        return 1
    problems = []
    with tempfile.TemporaryDirectory() as top:
        collections = os.path.join(top, "ansible_collections")
        collection = os.path.join(collections, "quorvex", "moxcl")
        def ignore(folder, names):
            """What a run in the source tree leaves: byte code, ansible-test's output, built tarballs."""
            return [name for name in names if name == "__pycache__" or name.endswith(".tar.gz") or
                    (name == "output" and os.path.basename(folder) == "tests")]

        shutil.copytree(os.path.join(source, "ansible_collections", "quorvex", "moxcl"), collection, ignore=ignore)
        examples = os.path.join(top, "examples")
        shutil.copytree(os.path.join(source, "examples"), examples, ignore=ignore)
        os.mkdir(os.path.join(top, "home"))
        environment = {
            "PATH": path, "HOME": os.path.join(top, "home"), "LC_ALL": "C.UTF-8", "LANG": "C.UTF-8",
            "TMPDIR": top, "NO_COLOR": "1", "ANSIBLE_NOCOLOR": "1",
            "ANSIBLE_COLLECTIONS_PATH": collections,
        }

        def run(command, folder):
            done = subprocess.run(command, cwd=folder, env=environment, capture_output=True, text=True,
                                  timeout=900)
            return done.returncode, done.stdout + done.stderr

        for folder, target in ((collection, []), (examples, ["playbook.yml"])):
            status, output = run([lint, "--offline", "--nocolor"] + target, folder)
            if status != 0 or not CLEAN.search(output) or re.search(r"^WARNING", output, re.M):
                problems.append("ansible-lint %s is not clean (exit status %d):\n%s"
                                % (" ".join(target) or "(the collection)", status, output))

        with open(os.path.join(examples, "playbook.yml")) as handle:
            playbook = handle.read()
        misspelt = playbook.replace('\n        user: "{{ mp_user }}"\n', '\n        usr: "{{ mp_user }}"\n', 1)
        with open(os.path.join(examples, "misspelt.yml"), "w") as handle:
            handle.write(misspelt)
        status, output = run([lint, "--offline", "--nocolor", "misspelt.yml"], examples)
        if misspelt == playbook or "args[module]" not in output:
            problems.append("ansible-lint does not check the module's options:\n" + output)

        version = "%d.%d" % sys.version_info[:2]
        command = [sanity, "sanity", "--local", "--color", "no", "--python", version]
        for test in OFFLINE_SANITY_TESTS:
            command += ["--test", test]
        status, output = run(command, collection)
        ran = set(re.findall(r'^Running sanity test "([^"]+)"', output, re.M))
        if status != 0 or ran != set(OFFLINE_SANITY_TESTS):
            problems.append("ansible-test sanity (exit status %d; not run: %s):\n%s"
                            % (status, sorted(set(OFFLINE_SANITY_TESTS) - ran), output))

    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
