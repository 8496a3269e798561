#!/usr/bin/env python3
"""The Windows installer under Wine, as an administrator would use it:
msiexec /i puts the files in Program Files and the folder on the system
PATH, quorvex runs through the PATH from the installed examples, a newer
package replaces it (one product left), this one is refused over the
newer one, and msiexec /x leaves nothing: no folder, no PATH entry, no
entry in the list of installed programs. The zip holds the files the
installer put in place.

    installer_under_wine.py --wine WINE --msi MSI --newer-msi MSI --newer-version VERSION
                            --zip ZIP --program quorvex.exe --source SOURCE_DIR --version VERSION

Runs in the Wine prefix named by WINEPREFIX, as scripts/test sets it up
(without one it is skipped).
"""
import argparse
import os
import re
import subprocess
import sys
import time
import zipfile

INSTALL_DIR = r"C:\Program Files\QUORVEX"
ENVIRONMENT_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"

SKIPPED = 77
failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)
    return condition


class Wine:
    def __init__(self, wine):
        self.wine = wine
        self.env = dict(os.environ)
        # The Windows PATH comes from the registry alone.
        self.env.pop("WINEPATH", None)

    def run(self, *args, cwd=None, timeout=600):
        return subprocess.run([self.wine, *args], cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout)

    def windows_path(self, path):
        return self.run("winepath", "-w", path).stdout.decode().strip()

    def unix_path(self, path):
        return self.run("winepath", "-u", path).stdout.decode().strip()

    def msiexec(self, *args):
        # Not through pipes: the installer service it starts would hold
        # them open, and the test would wait on it.
        return subprocess.run([self.wine, "msiexec", *args, "/qn"], env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600).returncode

    def system_path(self):
        """The system PATH as the registry holds it. A prefix always has
        one; a query that finds none (Wine's reg, busy with a prefix made a
        moment ago and other tests' programs, has answered with nothing) is
        asked again."""
        for attempt in range(10):
            done = self.run("reg", "query", ENVIRONMENT_KEY, "/v", "PATH")
            out = done.stdout.decode(errors="replace")
            found = re.search(r"^\s*PATH\s+REG_\w+\s+(.*?)\s*$", out, re.M | re.I)
            if found:
                return found.group(1)
            time.sleep(0.5)
        return ""

    def tidy_system_path(self, folder_entry):
        """Wine's installer leaves the separator of a PATH entry it removes
        behind, and Wine's cmd finds nothing after an empty entry: the
        prefix's PATH is put back without them (and without the folder,
        after a run that died)."""
        path = self.system_path()
        kept = [entry for entry in path.split(";")
                if entry.strip() and entry.rstrip("\\").lower() != folder_entry]
        if ";".join(kept) != path:
            self.run("reg", "add", ENVIRONMENT_KEY, "/v", "PATH", "/t", "REG_EXPAND_SZ", "/d", ";".join(kept), "/f")

    def installed_versions(self):
        """product code -> DisplayVersion of every installed QUORVEX."""
        out = self.run("reg", "query", UNINSTALL_KEY, "/s").stdout.decode(errors="replace")
        products = {}
        for block in re.split(r"\r?\n(?=HKEY_)", out):
            if re.search(r"^\s*DisplayName\s+REG_SZ\s+QUORVEX\s*$", block, re.M):
                key = block.splitlines()[0].strip().rsplit("\\", 1)[-1]
                version = re.search(r"^\s*DisplayVersion\s+REG_SZ\s+(\S+)", block, re.M)
                products[key] = version.group(1) if version else None
        return products


def msi_version(version):
    return ".".join((version.split(".") + ["0", "0"])[:3])


def path_entries(path):
    """The PATH's folders, case folded; empty entries (which Wine's
    removal of an entry leaves behind, harmless to Windows) dropped."""
    return [entry.rstrip("\\").lower() for entry in path.split(";") if entry.strip()]


def expected_files(source):
    files = {"quorvex.exe", "README.md", "WINDOWS.txt"}
    files |= {"examples/" + name for name in os.listdir(os.path.join(source, "examples"))}
    return files


def read(path):
    with open(path, "rb") as handle:
        return handle.read()


def source_bytes(options, name):
    """What the packages hold as NAME: the program, the note with CR LF
    line ends, the other files as they are in the source tree."""
    if name == "quorvex.exe":
        path = options.program
    elif name == "WINDOWS.txt":
        path = os.path.join(options.source, "packaging/windows/WINDOWS.txt")
    else:
        path = os.path.join(options.source, name)
    data = read(path)
    return data.replace(b"\n", b"\r\n") if name == "WINDOWS.txt" else data


def tree(folder):
    return {os.path.relpath(os.path.join(top, name), folder).replace(os.sep, "/")
            for top, _, names in os.walk(folder) for name in names}


def main():
    parser = argparse.ArgumentParser()
    for option in ("--wine", "--msi", "--newer-msi", "--newer-version", "--zip", "--program", "--source",
                   "--version"):
        parser.add_argument(option, required=True)
    options = parser.parse_args()
    if not os.environ.get("WINEPREFIX"):
        # It removes any QUORVEX it finds: never in a prefix of the user's.
        print("skipped: WINEPREFIX is not set (scripts/test sets the build's own prefix)")
        return SKIPPED
    wine = Wine(options.wine)
    install_dir = wine.unix_path(INSTALL_DIR)
    folder_entry = INSTALL_DIR.lower()

    # A run that died half-way leaves its installation behind: start clean.
    for product in wine.installed_versions():
        wine.msiexec("/x", product)
    wine.tidy_system_path(folder_entry)
    path_before = wine.system_path()
    check(not os.path.exists(install_dir), "no QUORVEX installed before the test")

    try:
        status = wine.msiexec("/i", wine.windows_path(options.msi))
        versions = wine.installed_versions()
        check(status == 0, "msiexec /i installs it (status %d)" % status)
        check(list(versions.values()) == [msi_version(options.version)],
              "QUORVEX %s in the installed programs: %s" % (options.version, versions))
        installed = tree(install_dir) if os.path.isdir(install_dir) else set()
        check(installed == expected_files(options.source),
              "the installed folder holds the program, README.md, WINDOWS.txt and the examples: %s"
              % sorted(installed ^ expected_files(options.source)))
        differing = [name for name in sorted(installed & expected_files(options.source))
                     if read(os.path.join(install_dir, name)) != source_bytes(options, name)]
        check(not differing, "the installed files are the built ones: %s" % differing)
        entries = path_entries(wine.system_path())
        check(entries == path_entries(path_before) + [folder_entry],
              "the folder is appended to the system PATH: %s" % entries)

        # A new console finds quorvex through the PATH; the examples'
        # folder holds no program of its own.
        # (A loaded machine can start the console before Wine has taken the
        # installer's PATH from the registry: a console that does not know
        # the command yet is asked once more, a moment later.)
        for attempt in range(2):
            run = wine.run("cmd", "/c", "quorvex", "-c", "-s", "mp1.example", "-f", "read_settings.xml",
                           cwd=os.path.join(install_dir, "examples"), timeout=600)
            if attempt == 0 and b"Can't recognize" in run.stdout + run.stderr:
                time.sleep(5)
                continue
            break
        out = run.stdout.decode(errors="replace")
        if not check(run.returncode == 0 and "Valid XML Syntax" in out
                     and 'Script succeeded on "mp1.example:443"' in out
                     and "QUORVEX v. %s " % options.version in out,
                     "quorvex -c through the PATH checks an installed example (status %d)" % run.returncode):
            print(out + run.stderr.decode(errors="replace"))

        status = wine.msiexec("/i", wine.windows_path(options.newer_msi))
        versions = wine.installed_versions()
        check(status == 0, "a newer package installs over it (status %d)" % status)
        check(list(versions.values()) == [msi_version(options.newer_version)],
              "it replaces the installed version, one QUORVEX left: %s" % versions)
        check(path_entries(wine.system_path()) == path_entries(path_before) + [folder_entry],
              "the system PATH still names the folder once")

        status = wine.msiexec("/i", wine.windows_path(options.msi))
        check(status != 0 and list(wine.installed_versions().values()) == [msi_version(options.newer_version)],
              "an older package is refused over a newer one (status %d)" % status)
    finally:
        status = wine.msiexec("/x", wine.windows_path(options.newer_msi))
    check(status == 0, "msiexec /x removes it (status %d)" % status)
    check(not os.path.exists(install_dir), "no folder left in Program Files")
    check(wine.installed_versions() == {}, "no entry left in the installed programs")
    check(path_entries(wine.system_path()) == path_entries(path_before),
          "the system PATH no longer names the folder, the rest as before")
    for product in wine.installed_versions():
        wine.msiexec("/x", product)
    wine.tidy_system_path(folder_entry)

    with zipfile.ZipFile(options.zip) as archive:
        top = "quorvex-%s/" % options.version
        names = archive.namelist()
        check(all(name.startswith(top) for name in names)
              and {name[len(top):] for name in names} == expected_files(options.source),
              "the zip holds the same files under %s" % top)
        check(all(archive.read(top + name) == source_bytes(options, name)
                  for name in expected_files(options.source) if top + name in names),
              "the zip's files are the installed ones")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
