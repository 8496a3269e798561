#!/usr/bin/env python3
"""The Ansible collection as the package ships it: cmake --install puts its
tarball, of the product's version, in share/quorvex/ansible/; ansible-galaxy
installs it from there without the network into a folder of its own;
ansible-doc renders the module of that copy, and the module, loaded from
that copy, runs a read script against a simulated processor.

    ansible_collection.py --build DIR --version X.Y.Z --quorvex Q --mpsim M
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sim"))
import launch  # noqa: E402

READ_SCRIPT = """<?xml version="1.0"?>
<MOXCL VERSION="2.0">
  <LOGIN USER_LOGIN="admin" PASSWORD="scriptpass">
    <MOX_SETTINGS MODE="read">
      <GET_NETWORK_SETTINGS/>
    </MOX_SETTINGS>
  </LOGIN>
</MOXCL>
"""


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "version", "quorvex", "mpsim"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    path = os.environ.get("PATH") or "/usr/local/bin:/usr/bin:/bin"
    programs = {name: shutil.which(name, path=path) for name in ("ansible-galaxy", "ansible-doc", "ansible")}
    if None in programs.values():
        print("ansible-core is not installed: scripts/bootstrap installs it (apt-get install ansible-core)")
        return 1
    problems = []

    def expect(condition, message):
        if not condition:
            problems.append(message)

    with tempfile.TemporaryDirectory() as top:
        for folder in ("home", "tmp", "collections", "results", "sim"):
            os.mkdir(os.path.join(top, folder))
        environment = {
            "PATH": path, "HOME": os.path.join(top, "home"), "TMPDIR": os.path.join(top, "tmp"),
            "LC_ALL": "C.UTF-8", "LANG": "C.UTF-8", "ANSIBLE_NOCOLOR": "1",
            "ANSIBLE_COLLECTIONS_PATH": os.path.join(top, "collections"),
            "ANSIBLE_PYTHON_INTERPRETER": "/usr/bin/python3",
            "ANSIBLE_LOCALHOST_WARNING": "0", "ANSIBLE_INVENTORY_UNPARSED_WARNING": "0",
        }

        def run(*command):
            done = subprocess.run(list(command), cwd=top, env=environment, capture_output=True, text=True,
                                  timeout=600)
            return done.returncode, done.stdout + done.stderr

        prefix = os.path.join(top, "prefix")
        status, output = run("cmake", "--install", options.build, "--prefix", prefix)
        tarball = os.path.join(prefix, "share", "quorvex", "ansible", "quorvex-moxcl-%s.tar.gz" % options.version)
        if status != 0 or not os.path.isfile(tarball):
            print("FAIL: cmake --install put no %s:\n%s" % (os.path.relpath(tarball, prefix), output))
            return 1

        # No network: a dependency fetched from a server would fail here.
        status, output = run(programs["ansible-galaxy"], "collection", "install", "--offline",
                             "-p", os.path.join(top, "collections"), tarball)
        installed = os.path.join(top, "collections", "ansible_collections", "quorvex", "moxcl")
        expect(status == 0 and os.path.isdir(installed), "ansible-galaxy collection install: %s" % output)
        manifest = os.path.join(installed, "MANIFEST.json")
        if os.path.isfile(manifest):
            with open(manifest) as handle:
                version = json.load(handle)["collection_info"]["version"]
            expect(version == options.version, "the installed collection is version %s" % version)
        left = [os.path.relpath(os.path.join(root, name), installed) for root, folders, files in os.walk(installed)
                for name in folders + files if name in ("__pycache__", "output") or name.endswith(".tar.gz")]
        expect(not left, "the tarball carries what a source tree leaves: %s" % left)

        status, output = run(programs["ansible-doc"], "quorvex.moxcl.run_script")
        expect(status == 0 and "> QUORVEX.MOXCL.RUN_SCRIPT" in output and
               os.path.join(installed, "plugins", "modules", "run_script.py") in output,
               "ansible-doc does not render the installed module:\n%s" % output[:2000])

        with open(os.path.join(top, "read.xml"), "w") as handle:
            handle.write(READ_SCRIPT)
        process, port = launch.start(options.mpsim, ["--generation", "http", "--record", "record"],
                                     os.path.join(top, "sim"))
        try:
            arguments = {
                "server": "127.0.0.1:" + port, "script": os.path.join(top, "read.xml"), "user": "admin",
                "password": "collection-pw", "quorvex": os.path.abspath(options.quorvex),
                "known_processors": os.path.join(top, "known_processors"),
            }
            status, output = run(programs["ansible"], "localhost", "-m", "quorvex.moxcl.run_script",
                                 "-a", json.dumps(arguments), "-t", os.path.join(top, "results"), "-vvv")
        finally:
            launch.stop(process)
        result = {}
        if os.path.isfile(os.path.join(top, "results", "localhost")):
            with open(os.path.join(top, "results", "localhost")) as handle:
                result = json.load(handle)
        report = result.get("report") or {}
        expect(status == 0 and result.get("changed") is False and report.get("exit_status") == 0 and
               report.get("server") == "127.0.0.1",
               "the installed module's run: exit status %d, %s\n%s" % (status, json.dumps(result)[:1500],
                                                                      output[-3000:]))
        expect(os.path.join(installed, "plugins", "modules", "run_script.py") in output,
               "the module did not come from the installed copy:\n%s" % output[-3000:])

    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
