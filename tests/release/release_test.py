#!/usr/bin/env python3
"""Makes a release package from a build tree with CPack and tries it as a user would.

  release_test.py deb --build-dir DIR --version V --source-dir SRC --fixtures DIR [--cpack CPACK]
  release_test.py zip --build-dir DIR --version V --source-dir SRC --fixtures DIR [--cpack CPACK]
                      --wine WINE_RUN

deb: unpacks the Debian package into a temporary root (dpkg -x), checks its declared
dependencies, its manual pages and licence, runs each program's --help and --version from there,
and configures a fixture with the installed programs and reads it back.
zip: unpacks the Windows archive, checks what it holds, and under Wine runs
KVSetupConfigurator.com --version, configures a fixture with it and reads it back with
kvreadback.exe.
"""

import argparse
import gzip
import os
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


def make_package(work, generator):
    """Runs CPack on the build tree into work; returns the one package file it made."""
    config = os.path.join(ARGS.build_dir, "CPackConfig.cmake")
    made = run([ARGS.cpack, "-G", generator, "--config", config, "-B", work])
    if made.returncode != 0:
        raise AssertionError("cpack failed:\n%s%s" % (made.stdout.decode(), made.stderr.decode()))
    suffix = "." + generator.lower()
    packages = [name for name in os.listdir(work) if name.endswith(suffix)]
    if len(packages) != 1:
        raise AssertionError("expected one %s package, found %s" % (suffix, packages))
    return packages[0]


class DebianPackageTest(unittest.TestCase):
    def test_installs_and_runs(self):
        with tempfile.TemporaryDirectory() as work:
            name = make_package(work, "DEB")
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


class WindowsArchiveTest(unittest.TestCase):
    def wine(self, program, *arguments):
        return run(["sh", ARGS.wine, program] + list(arguments))

    def test_unpacks_and_runs(self):
        with tempfile.TemporaryDirectory() as work:
            name = make_package(work, "ZIP")
            folder = "KVSetupConfigurator-%s-win64" % ARGS.version
            self.assertEqual(name, folder + ".zip")
            with zipfile.ZipFile(os.path.join(work, name)) as archive:
                files = sorted(n for n in archive.namelist() if not n.endswith("/"))
                self.assertEqual(files, sorted(folder + "/" + n for n in [
                    "KVSetupConfigurator.exe", "KVSetupConfigurator.com", "kvreadback.exe",
                    "README.txt", "LICENSE.txt"]))
                archive.extractall(work)
            unpacked = os.path.join(work, folder)

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


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["deb", "zip"])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--cpack", default="cpack")
    parser.add_argument("--wine")
    ARGS = parser.parse_args()
    test = DebianPackageTest if ARGS.kind == "deb" else WindowsArchiveTest
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(test)
    return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
