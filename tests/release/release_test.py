#!/usr/bin/env python3
"""Makes a release package from a build tree with CPack and tries it as a user would.

  release_test.py deb --build-dir DIR --version V --source-dir SRC --fixtures DIR [--cpack CPACK]
  release_test.py zip|msi --build-dir DIR --version V --source-dir SRC --fixtures DIR
                          [--cpack CPACK] --wine WINE_RUN

deb: unpacks the Debian package into a temporary root (dpkg -x), checks its declared
dependencies, its manual pages and licence, runs each program's --help and --version from there,
and configures a fixture with the installed programs and reads it back.
zip: signs with a throwaway certificate, unpacks the archive, checks what it holds and the
signatures, and under Wine runs KVSetupConfigurator.com --version, configures a fixture with it
and reads it back with kvreadback.exe.
msi: the same signatures and files, then under Wine installs, upgrades, downgrades (refused) and
uninstalls the MSI, checking the outcome each time.
"""

import argparse
import glob
import gzip
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

ARGS = None
# A package text without a signature: the unattended run stores it all the same.
PACKAGE = "tests/fixtures/legacy-package.txt"
PACKAGE_SERVER_URL = "http://kv.legacy.example:8080/kv"
PROGRAMS = ["kvsetupconfigurator", "kvpackage", "reservearea", "kvreadback"]
# Debian names some libraries differently from release to release (libssl3t64, libcurl4t64).
REQUIRED_DEPENDENCIES = ["libc6", "libstdc++6", "libssl3", "libcurl", "osslsigncode"]


def run(args, **kwargs):
    return subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=300, **kwargs)


def make_package(work, generator, suffix, *options):
    """Runs CPack on the build tree into work; returns the one package file it made."""
    config = os.path.join(ARGS.build_dir, "CPackConfig.cmake")
    made = run([ARGS.cpack, "-G", generator, "--config", config, "-B", work] + list(options))
    if made.returncode != 0:
        raise AssertionError("cpack failed:\n%s%s" % (made.stdout.decode(), made.stderr.decode()))
    packages = [name for name in os.listdir(work) if name.endswith(suffix)]
    if len(packages) != 1:
        raise AssertionError("expected one %s package, found %s" % (suffix, packages))
    return packages[0]


class DebianPackageTest(unittest.TestCase):
    def test_installs_and_runs(self):
        with tempfile.TemporaryDirectory() as work:
            name = make_package(work, "DEB", ".deb")
            self.assertEqual(name, "kvsetupconfigurator_%s_amd64.deb" % ARGS.version)
            deb = os.path.join(work, name)

            fields = run(["dpkg-deb", "-f", deb, "Package", "Version", "Depends"])
            self.assertEqual(fields.returncode, 0, fields.stderr)
            text = fields.stdout.decode()
            self.assertIn("Package: kvsetupconfigurator", text)
            self.assertIn("Version: %s" % ARGS.version, text)
            depends = [d.strip().split(" ")[0] for d in
                       text.split("Depends:", 1)[1].strip().split(",")]
            for required in REQUIRED_DEPENDENCIES:
                self.assertTrue(any(d.startswith(required) for d in depends),
                                "%s missing from Depends: %s" % (required, depends))

            root = os.path.join(work, "root")
            unpacked = run(["dpkg-deb", "-x", deb, root])
            self.assertEqual(unpacked.returncode, 0, unpacked.stderr)
            usr = os.path.join(root, "usr")
            for program in PROGRAMS:
                with self.subTest(program=program):
                    path = os.path.join(usr, "bin", program)
                    helped = run([path, "--help"])
                    # The configurator ends its usage text with exit code 1, the tools with 0.
                    self.assertEqual(helped.returncode, 1 if program == PROGRAMS[0] else 0)
                    self.assertIn("usage", helped.stdout.decode().lower())
                    version = run([path, "--version"])
                    self.assertEqual(version.returncode, 0)
                    self.assertTrue(version.stdout.decode().strip().endswith(" " + ARGS.version))
                    page = os.path.join(usr, "share", "man", "man1", program + ".1.gz")
                    with gzip.open(page, "rt") as f:
                        self.assertIn(".TH %s 1" % program.upper(), f.read())
            doc = os.path.join(usr, "share", "doc", "kvsetupconfigurator")
            with open(os.path.join(doc, "copyright"), "rb") as f, \
                    open(os.path.join(ARGS.source_dir, "LICENSE"), "rb") as licence:
                self.assertEqual(f.read(), licence.read())
            self.assertTrue(os.path.isfile(os.path.join(doc, "CHANGELOG.md")))

            # The installed programs do the main job: configure, then read back.
            configured = os.path.join(work, "configured.exe")
            stored = run([os.path.join(usr, "bin", "kvsetupconfigurator"),
                          "-cf:" + os.path.join(ARGS.source_dir, PACKAGE),
                          "-src:" + os.path.join(ARGS.fixtures, "setup.exe"),
                          "-out:" + configured])
            self.assertEqual(stored.returncode, 0, stored.stderr)
            shown = run([os.path.join(usr, "bin", "kvreadback"), configured])
            self.assertEqual(shown.returncode, 0, shown.stderr)
            self.assertIn(PACKAGE_SERVER_URL, shown.stdout.decode())


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


WINDOWS_FILES = ["KVSetupConfigurator.exe", "KVSetupConfigurator.com", "kvreadback.exe",
                 "README.txt", "LICENSE.txt"]
WINDOWS_PROGRAMS = [n for n in WINDOWS_FILES if n.endswith((".exe", ".com"))]


def signing_options(work):
    """Makes a throwaway code-signing certificate in work; returns cpack's signing options."""
    with open(work + "/password.txt", "w") as f:
        f.write("throwaway password\n")
    made = run(["sh", "-ec", "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test "
                "-addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem 2>/dev/null; "
                "openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 "
                "-passout file:password.txt"], cwd=work)
    assert made.returncode == 0, made.stderr
    return ["-D", "CPACK_KV_SIGN_PKCS12=%s/cert.p12" % work,
            "-D", "CPACK_KV_SIGN_PASSWORD_FILE=%s/password.txt" % work]


class WindowsTest(unittest.TestCase):
    def wine(self, program, *arguments, **kwargs):
        return run(["sh", ARGS.wine, program] + list(arguments), **kwargs)

    def assert_signed(self, work, path):
        verified = run(["osslsigncode", "verify", "-CAfile", work + "/cert.pem", "-in", path])
        self.assertEqual(verified.returncode, 0, "%s: %s" % (path, verified.stdout.decode()))


class WindowsArchiveTest(WindowsTest):
    def test_unpacks_and_runs(self):
        with tempfile.TemporaryDirectory() as work:
            name = make_package(work, "ZIP", ".zip", *signing_options(work))
            folder = "KVSetupConfigurator-%s-win64" % ARGS.version
            self.assertEqual(name, folder + ".zip")
            with zipfile.ZipFile(os.path.join(work, name)) as archive:
                files = sorted(n for n in archive.namelist() if not n.endswith("/"))
                self.assertEqual(files, sorted(folder + "/" + n for n in WINDOWS_FILES))
                archive.extractall(work)
            unpacked = os.path.join(work, folder)
            for program in WINDOWS_PROGRAMS:
                self.assert_signed(work, os.path.join(unpacked, program))

            version = self.wine(os.path.join(unpacked, "KVSetupConfigurator.com"), "--version")
            self.assertEqual(version.returncode, 0, version.stderr)
            self.assertEqual(version.stdout, ("KVSetupConfigurator %s\r\n" % ARGS.version).encode())

            configured = os.path.join(work, "configured.exe")
            stored = self.wine(os.path.join(unpacked, "KVSetupConfigurator.com"),
                               "-cf:" + windows_path(os.path.join(ARGS.source_dir, PACKAGE)),
                               "-src:" + windows_path(os.path.join(ARGS.fixtures, "setup.exe")),
                               "-out:" + windows_path(configured))
            self.assertEqual(stored.returncode, 0, stored.stdout + stored.stderr)
            shown = self.wine(os.path.join(unpacked, "kvreadback.exe"), windows_path(configured))
            self.assertEqual(shown.returncode, 0, shown.stderr)
            self.assertIn(PACKAGE_SERVER_URL, shown.stdout.decode())
            self.assertIn("AutoInstall: none", shown.stdout.decode())


ENVIRONMENT_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


class WindowsInstallerTest(WindowsTest):
    def machine_path(self):
        shown = self.wine("reg", "query", ENVIRONMENT_KEY, "/v", "Path").stdout.decode()
        return re.search(r"Path\s+REG_\w+\s+(.*?)\r?\n", shown).group(1)

    def state(self):
        """What is installed: Apps & features versions, machine Path entries, installed files and
        Start-menu shortcuts."""
        shown = self.wine("reg", "query", UNINSTALL_KEY, "/s").stdout.decode()
        entries = [e for e in re.split(r"\r?\n(?=HKEY_)", shown) if "KVSetupConfigurator" in e]
        for entry in entries:
            self.assertRegex(entry, r"Publisher\s+REG_SZ\s+KVSetupConfigurator developers")
            self.assertRegex(entry, r"HelpLink\s+REG_SZ\s+\w+://")
        folder = os.path.join(self.drive, "Program Files", "KVSetupConfigurator")
        # Windows puts the shortcut into the common Start menu, Wine into the user's.
        shortcuts = [glob.glob(os.path.join(self.drive, menu, "Microsoft", "Windows", "Start Menu",
                                            "Programs", "KVSetupConfigurator.lnk"))
                     for menu in ["ProgramData", "users/*/AppData/Roaming"]]
        return ([re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", e).group(1) for e in entries],
                # Wine's uninstall leaves an empty entry where it took a part out.
                [entry for entry in self.machine_path().split(";") if entry],
                sorted(os.listdir(folder)) if os.path.exists(folder) else None,
                sum(len(found) for found in shortcuts))

    def test_installs_upgrades_and_uninstalls(self):
        # The cleanups below uninstall from these files: the folder goes after them.
        work = self.enterContext(tempfile.TemporaryDirectory())
        name = make_package(work, "External", ".msi", *signing_options(work))
        self.assertEqual(name, "KVSetupConfigurator-%s-win64.msi" % ARGS.version)
        msi = os.path.join(work, name)
        self.assert_signed(work, msi)
        table = run(["msiinfo", "export", msi, "File"]).stdout.decode().splitlines()[3:]
        self.assertEqual(sorted(row.split("\t")[2].split("|")[-1] for row in table),
                         sorted(WINDOWS_FILES))
        self.assertEqual(run(["msiextract", "-C", work + "/x", msi]).returncode, 0)
        for program in WINDOWS_PROGRAMS:
            self.assert_signed(work, glob.glob(work + "/x/**/" + program, recursive=True)[0])

        # A rebuild of the same version, and a newer version to upgrade to and to refuse a
        # downgrade from.
        rebuilt = os.path.join(work, "rebuilt", make_package(work + "/rebuilt", "External", ".msi"))
        newer_version = "%d.0.0" % (int(ARGS.version.split(".")[0]) + 1)
        newer = os.path.join(work, "newer", make_package(
            work + "/newer", "External", ".msi", "-D", "CPACK_KV_MSI_VERSION=" + newer_version))

        self.drive = os.path.join(os.environ.get("KV_WINEPREFIX", os.path.join(
            os.environ["KV_BINARY_DIR"], "wineprefix")), "drive_c")
        # One Wine server and its services kept running through the test, else each call starts
        # them anew; started with no output, or they would hold the output pipes of a call open.
        for command in [["wineserver", "-w"], ["wineserver", "-p10"], ["cmd", "/c", "exit"]]:
            subprocess.run(["sh", ARGS.wine] + command, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        path = self.machine_path()
        # Whatever fails, the shared prefix is left as it was; Wine's console stops looking
        # along the Path at an empty entry.
        self.addCleanup(self.wine, "reg", "add", ENVIRONMENT_KEY, "/v", "Path", "/t",
                        "REG_EXPAND_SZ", "/d", path, "/f")
        for package in [msi, rebuilt, newer]:
            self.addCleanup(self.wine, "msiexec", "/x", windows_path(package), "/qn")
        before = self.state()
        installed = lambda version: (
            [version], before[1] + ["C:\\Program Files\\KVSetupConfigurator\\"],
            sorted(WINDOWS_FILES), 1)
        for action, package, succeeds, after in [
                ("/i", msi, True, installed(ARGS.version.split("-")[0])),
                ("/i", rebuilt, True, installed(ARGS.version.split("-")[0])),
                ("/i", newer, True, installed(newer_version)),
                ("/i", msi, False, installed(newer_version)),
                ("/x", newer, True, before)]:
            done = self.wine("msiexec", action, windows_path(package), "/qn")
            self.assertEqual(done.returncode == 0, succeeds, (action, package, done.stderr))
            self.assertEqual(self.state(), after, (action, package))
            if package == msi and succeeds:
                # A new console, away from the install folder, finds the twin on the Path
                # (only while Wine's empty entries are not in the way).
                answer = self.wine("cmd", "/c", "KVSetupConfigurator.com", "--version", cwd=work)
                self.assertEqual(answer.stdout.decode(), "KVSetupConfigurator %s\r\n" % ARGS.version)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["deb", "zip", "msi"])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--cpack", default="cpack")
    parser.add_argument("--wine")
    ARGS = parser.parse_args()
    test = {"deb": DebianPackageTest, "zip": WindowsArchiveTest,
            "msi": WindowsInstallerTest}[ARGS.kind]
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(test)
    return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
