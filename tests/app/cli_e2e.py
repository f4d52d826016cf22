#!/usr/bin/env python3
"""End-to-end tests of the command-line program, run as a separate process.

The same cases run against the Linux program natively and against the Windows programs
(KVSetupConfigurator.exe and .com) under Wine. They check exit codes, console text and the files
on disk: the configured output is decoded independently here (data area, blob list, mask, CRC),
compared with its source outside the area and the PE checksum, and checked with
`osslsigncode verify`. A small HTTP server on 127.0.0.1 stands in for the KV server and records
the requests it gets.

Usage: cli_e2e.py --program PATH --fixtures DIR --source-dir DIR [--demo-key PEM]
                  [--package-tool KVPACKAGE] [--readback KVREADBACK]
                  [--windows-readback KVREADBACK_EXE] [--wine WINE_RUN_SH] [--console] [--window-probe KV_WINDOW_PROBE]
"""

import argparse
import base64
import hashlib
import http.server
import json
import os
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

try:
    import pefile
except ImportError:  # Debian's package, when another Python runs the tests
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

ARGS = None
SESSION = None  # the Wine session of the whole run

HEADER = b"Quillabrenthorst Configuration ver #2.00"
MAX_FILE = 1048576
AREA_MARKER = bytes.fromhex("060C2B060104018399410201CE0F04")

USAGE_LINES = [
    "USAGE",
    "",
    "KVSetupConfigurator.exe [param1] [param2] ...",
    "",
    "Parameters: order of parameters is not important, and are case insensitive.",
    "",
    "-cf:<filename>        filename is source K-VConfig.bin or",
    "                      SETUP.exe / SETUP.msi with stored K-VConfig.bin",
    "-cu:<KV server url>   URL for download K-VConfig.bin (if -cf is not used)",
    "-ai:<filename>        filename is source AutoInstall.srg or",
    "                      SETUP.exe / SETUP.msi with stored AutoInstall.srg",
    "-src:<filename>       source SETUP.exe / SETUP.msi file, from which output",
    "                      SETUP.exe / SETUP.msi will be cloned",
    "-out:<filename>       output SETUP.exe / SETUP.msi file cloned from file",
    '                      specified by "-src:", where K-VConfig.bin and',
    "                      optional AutoInstall.srg will be stored",
    "-list:<filename>      CSV list, one output per row: columns out, cf, cu, ai,",
    "                      paths relative to the list's folder, source -src:",
    "-list:<folder>        with -out:<folder>: every configured setup file in the",
    "                      folder redone from -src: into the -out: folder",
    "-receipt:<filename>   with -list: a JSON receipt with a row per output",
]

NOT_COMPATIBLE = ("Not compatible Setup file - setup file does not contain dedicated space for "
                  "storing configuration")


# ---------------------------------------------------------------------------------------------
# Packages and the independent decoder of configured setup files


def crc_text(data):
    return b"%08X" % zlib.crc32(data)


def package_text(entries, line_end=b"\r\n"):
    """A package without signature: header and KEY=VALUE lines."""
    text = HEADER + line_end
    for key, value in entries:
        text += key + b"=" + value + line_end
    return text


def sign_package(unsigned, key_file, line_end=b"\r\n"):
    """Appends a SIGNATURE entry: RSA PKCS#1 v1.5 / SHA-512 over every byte so far, base64, CRC."""
    signature = subprocess.run(["openssl", "dgst", "-sha512", "-sign", key_file],
                               input=unsigned, capture_output=True, check=True).stdout
    value = base64.b64encode(signature)
    return unsigned + b"SIGNATURE=" + value + crc_text(value) + line_end


def locate_area(data):
    """The data area (offset, length): the last marker in the last MiB (64 KiB aligned)."""
    start = 0 if len(data) <= MAX_FILE else (len(data) - MAX_FILE) & ~0xFFFF
    found = data.rfind(AREA_MARKER, start, len(data) - 8)
    if found < 0:
        return None
    at = found + len(AREA_MARKER)
    first = data[at]
    if first < 0x80:
        length, header = first, 1
    else:
        count = first & 0x7F
        assert 1 <= count <= 4
        length, header = int.from_bytes(data[at + 1:at + 1 + count], "big"), count + 1
    assert at + header + length <= len(data)
    return at + header, length


def read_blob_list(area):
    """The entries of the blob list in order, and the list's length in bytes."""
    entries, pos = [], 0
    while True:
        (name_length,) = struct.unpack_from("<i", area, pos)
        name = area[pos + 4:pos + 4 + name_length]
        pos += 4 + name_length
        (value_length,) = struct.unpack_from("<i", area, pos)
        value = area[pos + 4:pos + 4 + value_length]
        pos += 4 + value_length
        if name_length == 0:
            return entries, pos
        entries.append((name, value))


def decode_blobs(data):
    """Name -> plain value of a configured file, with mask removed and CRC checked."""
    offset, length = locate_area(data)
    entries, _ = read_blob_list(data[offset:offset + length])
    mask, values = b"", {}
    for name, value in entries:
        if name == b"Mask":
            mask = value
            continue
        plain = bytes(b ^ mask[i % len(mask)] for i, b in enumerate(value)) if mask else value
        assert plain[-8:].upper() == crc_text(plain[:-8]), name
        values[name.decode()] = plain[:-8]
    return [name for name, _ in entries], values


def pe_checksum(data):
    """The PE image checksum of data, with its own checksum field counted as zero."""
    field = struct.unpack_from("<I", data, 60)[0] + 88
    padded = data + b"\0" * (len(data) % 2)
    words = memoryview(padded).cast("H")
    total = sum(words) - words[field // 2] - words[field // 2 + 1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


# ---------------------------------------------------------------------------------------------
# The program under test and the stand-in KV server


class Program:
    """Runs the program under test; on Windows through the Wine runner."""

    def __init__(self, path, wine):
        self.path = os.path.abspath(path)
        self.wine = wine
        self.windows = wine is not None
        self.line_end = "\r\n" if self.windows else "\n"

    def file_arg(self, path):
        """A path as the user of the platform types it."""
        if not self.windows:
            return path
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def command(self, arguments):
        return ([ARGS.shell, self.wine] if self.windows else []) + [self.path] + arguments

    def run(self, arguments, timeout=180, max_file_size=None, pass_fds=()):
        """Runs to the end; max_file_size makes every write past that size fail (EFBIG)."""
        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (max_file_size, max_file_size))

        completed = subprocess.run(self.command(arguments), capture_output=True, timeout=timeout,
                                   preexec_fn=limit_file_size if max_file_size else None,
                                   pass_fds=pass_fds)
        return Result(self, completed)


class WineSession:
    """Keeps one Wine session up for the whole run.

    The Wine server outlives the program that started it and keeps that program's standard
    output and error open; started from a captured run, it would make every capture wait
    seconds for the end of the output. A long-lived cmd with discarded output starts it
    instead, and the first run (output discarded too) waits until it is up.
    """

    def __init__(self, program):
        # A server left from an earlier test (perhaps without a display) must end first.
        prefix = os.environ.get("KV_WINEPREFIX") or os.path.join(
            os.environ.get("KV_BINARY_DIR") or os.getcwd(), "wineprefix")
        server = "/usr/lib/wine/wineserver"
        if os.path.exists(os.path.join(prefix, "system.reg")):
            subprocess.run([server if os.path.exists(server) else "wineserver", "-w"],
                           env=dict(os.environ, WINEPREFIX=prefix), timeout=300)
        self.keeper = subprocess.Popen([ARGS.shell, ARGS.wine, "cmd"], stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([ARGS.shell, ARGS.wine, program.path, "--version"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)

    def close(self):
        self.keeper.stdin.close()
        self.keeper.wait(timeout=60)


class Result:
    def __init__(self, program, completed):
        self.code = completed.returncode
        self.stdout = completed.stdout.decode("utf-8", "replace")
        self.stderr = completed.stderr.decode("utf-8", "replace")
        # The Windows program writes its error line to standard output, as the Linux one to
        # standard error.
        self.error = self.stdout if program.windows else self.stderr
        self.console = self.stdout if program.windows else ""


class KVServer:
    """HTTP server on 127.0.0.1 that answers by path and records every request path."""

    def __init__(self):
        self.requests = []
        self.routes = {}
        self.slow = {}  # path -> seconds before the head and again before the body's second half
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append(self.path)
                status, body, kind = server.routes.get(self.path, (404, b"", "text/plain"))
                delay = server.slow.get(self.path, 0)
                time.sleep(delay)
                self.send_response(status)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                half = len(body) // 2 if delay else 0
                self.wfile.write(body[:half])
                self.wfile.flush()
                time.sleep(delay)
                self.wfile.write(body[half:])

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()
        self.base = "http://127.0.0.1:%d" % self.httpd.server_address[1]

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def check_configured_file(test, source, output, package, answer, ca_file):
    """output = source with the blob list in its area and its checksum repaired; signature
    intact."""
    with open(source, "rb") as f:
        original = f.read()
    with open(output, "rb") as f:
        configured = f.read()
    test.assertEqual(len(configured), len(original))
    names, values = decode_blobs(configured)
    expected_names = [b"Mask", b"KVConfig"] + ([b"AutoInstall"] if answer else [])
    test.assertEqual(names, expected_names)
    test.assertEqual(values["KVConfig"], package)
    test.assertEqual(values.get("AutoInstall"), answer)
    # Only the list's bytes (and an executable's checksum field) differ from the source.
    offset, length = locate_area(configured)
    _, list_length = read_blob_list(configured[offset:offset + length])
    changed = bytearray(configured)
    changed[offset:offset + list_length] = original[offset:offset + list_length]
    if configured[:2] == b"MZ":
        field = struct.unpack_from("<I", configured, 60)[0] + 88
        test.assertEqual(struct.unpack_from("<I", configured, field)[0],
                         pe_checksum(configured))
        changed[field:field + 4] = original[field:field + 4]
    test.assertTrue(bytes(changed) == original, "bytes outside the area changed")
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", ca_file, "-in", output],
                            capture_output=True, text=True)
    test.assertEqual(verify.returncode, 0, verify.stdout + verify.stderr)


# ---------------------------------------------------------------------------------------------
# The tests


class CommandLineTest(unittest.TestCase):
    program = None
    server = None

    @classmethod
    def setUpClass(cls):
        cls.program = Program(ARGS.program, ARGS.wine)
        cls.fixtures = ARGS.fixtures
        cls.work = tempfile.mkdtemp(prefix="kv-cli-e2e-")
        cls.server = KVServer()
        # Packages: unsigned, signed with a key that is not the built-in one, and (when the demo
        # key is there) signed with the demo key.
        entries = [(b"KVSERVERURL", b"http://kv.example/"), (b"RAURL", b"http://ra.example/")]
        cls.unsigned = package_text(entries)
        other_key = cls.path("other-key.pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt",
                        "rsa_keygen_bits:2048", "-out", other_key],
                       check=True, capture_output=True)
        cls.wrongly_signed = sign_package(cls.unsigned, other_key)
        cls.signed = None
        if ARGS.package_tool:
            entries_file = cls.write("entries.txt", b"".join(k + b"=" + v + b"\n"
                                                             for k, v in entries))
            subprocess.run([ARGS.package_tool, "--key", ARGS.demo_key, "--company", "Example",
                            "--out", cls.path("tool.bin"), entries_file], check=True)
            with open(cls.path("tool.bin"), "rb") as f:
                cls.signed = f.read()
        elif ARGS.demo_key:
            cls.signed = sign_package(cls.unsigned, ARGS.demo_key)
        cls.package = cls.write("K-VConfig.bin", cls.signed or cls.wrongly_signed)
        cls.answer = cls.write("AutoInstall.srg", b"[Setup]\r\nSilent=1\r\n\0\xff binary")

    @classmethod
    def tearDownClass(cls):
        cls.server.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def path(cls, name):
        return os.path.join(cls.work, name)

    @classmethod
    def write(cls, name, data):
        with open(cls.path(name), "wb") as f:
            f.write(data)
        return cls.path(name)

    @staticmethod
    def read(name):
        with open(name, "rb") as f:
            return f.read()

    def leftovers(self):
        """Unfinished copies left in the work folder."""
        return [name for name in os.listdir(self.work) if name.endswith(".partial")]

    def copy_started(self, process):
        """Whether the run's unfinished copy exists: on Linux it may have no name, and shows among
        the descriptors of the process only."""
        if self.program.windows:
            # The copy is marked for deletion on close just after it is made, and only then given
            # the source's size: a copy with its size is one that a killed run leaves to the
            # system to remove. (No call makes a file and sets a mark that can be taken back
            # later in one step, so a kill in the moment between the two leaves it.)
            for name in self.leftovers():
                try:
                    if os.path.getsize(self.path(name)) > 0:
                        return True
                except OSError:
                    pass
            return False
        fds = "/proc/%d/fd" % process.pid
        try:
            links = [os.readlink(os.path.join(fds, fd)) for fd in os.listdir(fds)]
        except OSError:
            return False
        return any(link.startswith(self.work + "/") and ("/#" in link or ".partial" in link)
                   for link in links)

    def fixture(self, name):
        return os.path.join(self.fixtures, name)

    def arg(self, path):
        return self.program.file_arg(path)

    def out_path(self, name="out.exe"):
        path = self.path(name)
        if os.path.exists(path):
            os.remove(path)
        return path

    def run_program(self, arguments):
        return self.program.run(arguments)

    def expect_failure(self, result, message, prefix=False):
        self.assertEqual(result.code, 1, result.stdout + result.stderr)
        if prefix:
            self.assertTrue(result.error.startswith(message), result.error)
            self.assertTrue(result.error.endswith(self.program.line_end), result.error)
            self.assertEqual(result.error.count("\n"), 1, result.error)
        else:
            self.assertEqual(result.error, message + self.program.line_end)
        if not self.program.windows:
            self.assertEqual(result.stdout, "")

    def expect_configured(self, result, source, output, package, answer=None):
        """Exit 0, no text; output = source with the blob list in its area; signature intact."""
        self.assertEqual(result.code, 0, result.stdout + result.stderr)
        self.assertEqual(result.console, "")
        if not self.program.windows:
            self.assertEqual(result.stderr, "")
        check_configured_file(self, source, output, package, answer, self.fixture("ca.pem"))

    def configure(self, source, output, package_file, answer_file=None):
        arguments = ["-cf:" + self.arg(package_file), "-src:" + self.arg(source),
                     "-out:" + self.arg(output)]
        if answer_file:
            arguments.append("-ai:" + self.arg(answer_file))
        return self.run_program(arguments)

    # --- start-up decision, help and version

    def test_no_arguments(self):
        if self.program.windows:
            self.skipTest("the Windows program opens its main window: see WindowTest")
        result = self.run_program([])
        self.assertEqual(result.code, 1)
        self.assertEqual(result.stdout, "\n".join(USAGE_LINES) + "\n\n")
        self.assertEqual(result.stderr, "")

    def test_help_anywhere_among_valid_switches(self):
        usage = self.program.line_end.join(USAGE_LINES) + self.program.line_end * 2
        setup = self.fixture("setup.exe")
        for help_switch in ["-?", "/?", "-h", "/H", "-usage", "/Usage", "-help", "/HELP",
                            "--help", " -? "]:
            for position in [0, 3]:
                with self.subTest(switch=help_switch, position=position):
                    output = self.out_path()
                    arguments = ["-cf:" + self.arg(self.package), "-src:" + self.arg(setup),
                                 "-out:" + self.arg(output)]
                    arguments.insert(position, help_switch)
                    result = self.run_program(arguments)
                    self.assertEqual(result.code, 1)
                    self.assertEqual(result.stdout, usage)
                    self.assertFalse(os.path.exists(output))

    def test_version(self):
        result = self.run_program(["-src:x", "--version"])
        self.assertEqual(result.code, 0)
        # A build with the public demo key says so in its version.
        self.assertRegex(result.stdout, r"^KVSetupConfigurator \d+\.\d+\.\d+(-demo)?" +
                         re.escape(self.program.line_end) + "$")

    # --- failures: every row of the failure table

    def test_failures(self):
        setup = self.fixture("setup.exe")
        big = self.write("big.bin", HEADER + b"\r\nKVSERVERURL=x\r\n" + b"#" * (MAX_FILE - 56))
        self.assertEqual(os.path.getsize(big), MAX_FILE + 1)
        self.write("big.srg", b"\0" * (MAX_FILE + 1))
        self.write("header.bin", b"Quillabrenthorst Configuration ver #2.01\r\nKVSERVERURL=x\r\n")
        self.write("nourl.bin", package_text([(b"RAURL", b"x")]))
        self.server.routes["/missing/kvconfig_bin.php"] = (404, b"gone", "text/plain")
        self.server.routes["/html/kvconfig_bin.php"] = (
            200, b"<html><body>Login</body></html>", "text/html")
        configured = self.path("configured-no-ai.exe")
        self.assertEqual(self.configure(setup, configured, self.package).code, 0)
        missing = self.path("missing.bin")

        a = self.arg
        src, pkg, out = "-src:" + a(setup), "-cf:" + a(self.package), "-out:" + a(self.path(
            "out.exe"))
        rows = [
            (["hello"], "Source setup file name is not specified", False),
            (["-out:x", "-cf:y"], "Source setup file name is not specified", False),
            (["-src:x", "-src:"], "Source setup file name is not specified", False),
            ([src, pkg], "Output setup file name is not specified", False),
            ([src, out], "K-VConfig file name or URL for download must be specified", False),
            ([src, out, "-cf:", "-cu:"],
             "K-VConfig file name or URL for download must be specified", False),
            ([src, out, "/cf:" + a(self.package)],
             "K-VConfig file name or URL for download must be specified", False),
            ([src, out, "-cf:" + a(missing)],
             'EXCEPTION EFOpenError (0) Cannot open file "%s"' % a(missing), True),
            ([src, out, "-cf:" + a(big)],
             "File size is 1048577, but max allowed size is 1048576", False),
            ([src, out, "-cf:" + a(self.fixture("setup-noarea.exe"))],
             'K-VConfig.bin not found in "%s"' % a(self.fixture("setup-noarea.exe")), False),
            ([src, out, "-cf:" + a(self.fixture("setup.exe"))],
             'K-VConfig.bin not found in "%s"' % a(self.fixture("setup.exe")), False),
            ([src, out, "-cf:" + a(self.fixture("setup.msi"))],
             'K-VConfig.bin not found in "%s"' % a(self.fixture("setup.msi")), False),
        ] + [
            ([src, out, "-cf:" + a(self.fixture(name))],
             'K-VConfig.bin not found in "%s"' % a(self.fixture(name)), False)
            for name in ["legacy-262143.exe", "legacy-262145.exe", "legacy-overrun.exe"]
        ] + [
            ([src, out, "-cu:" + self.server.base + "/missing"], "Error : Not Found", False),
            ([src, out, "-cu:" + self.server.base + "/html"], "Wrong server response", False),
            ([src, out, "-cf:" + a(self.path("header.bin"))],
             "Invalid / unsupported file format", False),
            ([src, out, "-cf:" + a(self.path("nourl.bin"))], "", False),
            ([src, out, pkg, "-ai:" + a(setup)],
             'AutoInstall.srg not found in "%s"' % a(setup), False),
            ([src, out, pkg, "-ai:" + a(configured)],
             'AutoInstall.srg not found in "%s"' % a(configured), False),
            ([src, out, pkg, "-ai:" + a(self.fixture("setup.msi"))],
             'AutoInstall.srg not found in "%s"' % a(self.fixture("setup.msi")), False),
            ([src, out, pkg, "-ai:" + a(missing)],
             'EXCEPTION EFOpenError (0) Cannot open file "%s"' % a(missing), True),
            ([src, out, pkg, "-ai:" + a(self.path("big.srg"))],
             "File size is 1048577, but max allowed size is 1048576", False),
            (["-src:" + a(self.fixture("setup-noarea.exe")), out, pkg],
             "Saving K-VConfig.bin to new setup file fail : " + NOT_COMPATIBLE, False),
            (["-src:" + a(self.fixture("setup-noarea.msi")), out, pkg, "-ai:" + a(self.answer)],
             "Saving K-VConfig.bin and AutoInstall.srg to new setup file fail : " +
             NOT_COMPATIBLE, False),
            (["-src:" + a(missing), out, pkg],
             'Saving K-VConfig.bin to new setup file fail : Cannot open file "%s"' % a(missing),
             True),
            ([src, "-out:" + a(self.path("no-such-folder/out.exe")), pkg],
             'Saving K-VConfig.bin to new setup file fail : Cannot create file "%s"' %
             a(self.path("no-such-folder/out.exe")), True),
        ]
        for arguments, message, prefix in rows:
            with self.subTest(arguments=arguments):
                # A failed run leaves an existing output file as it was, and nothing beside it.
                self.write("out.exe", b"old output")
                self.server.requests.clear()
                result = self.run_program(arguments)
                self.expect_failure(result, message, prefix)
                with open(self.path("out.exe"), "rb") as f:
                    self.assertEqual(f.read(), b"old output")
                self.assertEqual(self.leftovers(), [])

    def test_package_of_exactly_one_mebibyte_is_loaded(self):
        # It loads and parses; no data area can hold it, so the write is what fails.
        text = HEADER + b"\r\nKVSERVERURL=x\r\n"
        text += b"#" * (MAX_FILE - len(text))
        package = self.write("exact.bin", text)
        output = self.out_path()
        result = self.configure(self.fixture("setup-large.exe"), output, package)
        self.expect_failure(result, "Saving K-VConfig.bin to new setup file fail : "
                            "Configuration data size > 1000000 B")
        self.assertFalse(os.path.exists(output))

    def test_output_naming_an_input_is_refused(self):
        # Refused before anything is opened: every input stays byte-identical, whichever
        # spelling, link or letter case names it.
        source = self.path("own.exe")
        shutil.copyfile(self.fixture("setup.exe"), source)
        package = self.path("own-K-VConfig.bin")
        shutil.copyfile(self.package, package)
        answer = self.path("own-AutoInstall.srg")
        shutil.copyfile(self.answer, answer)
        link = self.path("answer-link.srg")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(answer, link)
        inputs = [source, package, answer]
        before = {name: self.read(name) for name in inputs}
        same_as = "Output setup file is the same file as the "
        rows = [
            (source, "source setup file"),
            (os.path.join(self.work, ".", "own.exe"), "source setup file"),
            (os.path.join(self.work, "..", os.path.basename(self.work), "own.exe"),
             "source setup file"),
            (package, "source K-VConfig.bin file"),
            (answer, "source AutoInstall.srg file"),
            (link, "source AutoInstall.srg file"),
        ]
        if self.program.windows:
            rows += [(os.path.join(self.work, "OWN.EXE"), "source setup file"),
                     (self.path("OWN-K-VCONFIG.BIN"), "source K-VConfig.bin file"),
                     (self.path("own-autoinstall.SRG"), "source AutoInstall.srg file")]
        for output, role in rows:
            with self.subTest(output=output):
                result = self.configure(source, output, package, answer)
                self.expect_failure(result, same_as + role)
                for name in inputs:
                    self.assertTrue(self.read(name) == before[name], name + " changed")

    def test_existing_output_survives_a_failed_write(self):
        source = self.fixture("setup.exe")
        package = self.write("huge.bin", HEADER + b"\r\nKVSERVERURL=x\r\n" + b"#" * 500000)
        half = os.path.getsize(source) // 2
        rows = [
            ("area too small", [source, package], None,
             "Configuration data size > "),
            ("disk full in the middle of the copy", [source, self.package], half,
             "Stream write error"),
        ]
        for label, (src, pkg), max_file_size, reason in rows:
            with self.subTest(label):
                output = self.write("kept.exe", b"the output of an earlier run")
                result = self.program.run(["-cf:" + self.arg(pkg), "-src:" + self.arg(src),
                                           "-out:" + self.arg(output)],
                                          max_file_size=max_file_size)
                self.expect_failure(result, "Saving K-VConfig.bin to new setup file fail : " +
                                    reason, prefix=True)
                with open(output, "rb") as f:
                    self.assertEqual(f.read(), b"the output of an earlier run")
                self.assertEqual(self.leftovers(), [])

    def test_interrupted_run_leaves_nothing_and_the_output_untouched(self):
        # A 1 GiB source (sparse, the data area at its end), ended while it is being copied: by
        # Ctrl+C (SIGINT, a console Ctrl+C event under Wine) or killed.
        with open(self.fixture("setup.msi"), "rb") as f:
            tail = f.read()
        source = self.path("huge-setup.msi")
        with open(source, "wb") as f:
            f.truncate(1 << 30)
            f.seek(1 << 30)
            f.write(tail)
        # Ctrl+C reaches console programs only: not the Windows GUI program.
        gui = self.program.windows and self.program.path.lower().endswith(".exe")
        try:
            for sig in (signal.SIGKILL,) if gui else (signal.SIGINT, signal.SIGKILL):
                with self.subTest(signal=sig.name):
                    output = self.write("huge-out.msi", b"the output of an earlier run")
                    process = subprocess.Popen(
                        self.program.command(["-cf:" + self.arg(self.package), "-src:" +
                                              self.arg(source), "-out:" + self.arg(output)]),
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                        start_new_session=True)
                    deadline = time.monotonic() + 60
                    while not self.copy_started(process) and process.poll() is None:
                        self.assertLess(time.monotonic(), deadline, "no copy was started")
                        time.sleep(0.005)
                    self.assertIsNone(process.poll(), "the copy ended before it was ended")
                    os.killpg(process.pid, sig)
                    code = process.wait(timeout=60)
                    # Wine's default console handler ends the process with exit code 0.
                    if not self.program.windows or sig != signal.SIGINT:
                        self.assertNotEqual(code, 0)
                    with open(output, "rb") as f:
                        self.assertEqual(f.read(), b"the output of an earlier run")
                    deadline = time.monotonic() + 10  # Wine removes the copy as it closes it
                    while self.leftovers() and time.monotonic() < deadline:
                        time.sleep(0.05)
                    self.assertEqual(self.leftovers(), [])
        finally:
            os.remove(source)
            for name in self.leftovers():
                os.remove(self.path(name))

    def test_paths_longer_than_the_classic_limit(self):
        folder = os.path.join(self.work, *(["folder with a long name " + "x" * 40] * 5))
        os.makedirs(folder, exist_ok=True)
        source = os.path.join(folder, "setup.exe")
        shutil.copyfile(self.fixture("setup.exe"), source)
        for name in ("new output.exe", "new output.exe"):  # created, then replaced
            output = os.path.join(folder, name)
            self.assertGreater(len(self.arg(output)), 300)
            result = self.configure(source, output, self.package)
            self.expect_configured(result, source, output, self.signed or self.wrongly_signed)
        self.assertEqual(sorted(os.listdir(folder)), ["new output.exe", "setup.exe"])

    def test_replaced_output_keeps_its_attributes(self):
        if not self.program.windows:
            self.skipTest("file attributes are a Windows matter")

        def attributes(path):
            listing = subprocess.run([ARGS.shell, ARGS.wine, "attrib", self.arg(path)],
                                     capture_output=True, text=True, check=True).stdout
            return set(listing[:listing.index(":") - 1].split())

        source = self.fixture("setup.exe")
        # (attributes given to the existing output, error or None)
        rows = [("+s +h", None),
                ("+r", 'Saving K-VConfig.bin to new setup file fail : Cannot create file "%s"')]
        for flags, error in rows:
            with self.subTest(flags):
                output = self.write("attributed.exe", b"the output of an earlier run")
                subprocess.run([ARGS.shell, ARGS.wine, "attrib"] + flags.split() +
                               [self.arg(output)], check=True, capture_output=True)
                before = attributes(output)
                result = self.configure(source, output, self.package)
                self.assertEqual(attributes(output), before)
                subprocess.run([ARGS.shell, ARGS.wine, "attrib", "-r", self.arg(output)],
                               check=True, capture_output=True)
                if error:
                    self.expect_failure(result, error % self.arg(output), prefix=True)
                    self.assertEqual(self.read(output), b"the output of an earlier run")
                else:
                    self.expect_configured(result, source, output,
                                           self.signed or self.wrongly_signed)
                os.remove(output)
                self.assertEqual(self.leftovers(), [])

    def test_inputs_that_are_not_regular_files(self):
        source = self.fixture("setup.exe")
        fifo = self.path("no-writer.fifo")
        if not os.path.exists(fifo):
            os.mkfifo(fifo)
        package = self.signed or self.wrongly_signed
        with open(self.answer, "rb") as f:
            answer = f.read()
        saving = "Saving K-VConfig.bin to new setup file fail : "
        # A named pipe nobody writes to ends the run within seconds, as source or as input.
        for arguments, message in [
                (["-cf:" + self.arg(fifo)],
                 'EXCEPTION EFOpenError (0) Cannot open file "%s". Nothing was written to the '
                 'pipe within a second' % self.arg(fifo)),
                (["-cf:" + self.arg(self.package), "-ai:" + self.arg(fifo)],
                 'EXCEPTION EFOpenError (0) Cannot open file "%s". Nothing was written to the '
                 'pipe within a second' % self.arg(fifo)),
                (["-cf:" + self.arg(self.package), "-src:" + self.arg(fifo)],
                 saving + 'Source setup file "%s" is not a regular file' % self.arg(fifo))]:
            with self.subTest(arguments=arguments):
                output = self.out_path()
                started = time.monotonic()
                result = self.program.run(["-src:" + self.arg(source), "-out:" + self.arg(output)]
                                          + arguments, timeout=30)
                self.assertLess(time.monotonic() - started, 10)
                self.expect_failure(result, message)
                self.assertFalse(os.path.exists(output))
        if self.program.windows:
            return
        # Pipes with a writer (process substitution, /dev/stdin) are read to their end.
        for label, piped_package, piped_answer in [("package", package, None),
                                                   ("answer file", None, answer),
                                                   ("too large", b"#" * (MAX_FILE + 1), None)]:
            with self.subTest(label):
                read_end, write_end = os.pipe()
                writer = threading.Thread(target=self.feed, args=(write_end,
                                                                   piped_package or piped_answer))
                writer.start()
                pipe = "/dev/fd/%d" % read_end
                output = self.out_path()
                result = self.program.run(
                    ["-src:" + source, "-out:" + output,
                     "-cf:" + (pipe if piped_package else self.package),
                     "-ai:" + (pipe if piped_answer else "")], pass_fds=(read_end,))
                os.close(read_end)
                writer.join()
                if label == "too large":
                    self.expect_failure(result, "File size is over 1048576, but max allowed size "
                                        "is 1048576")
                else:
                    self.expect_configured(result, source, output, package, piped_answer)

    @staticmethod
    def feed(fd, data):
        try:
            with open(fd, "wb") as f:
                f.write(data)
        except BrokenPipeError:
            pass  # the reader refused what it had read so far

    def test_output_that_is_not_a_regular_file_is_refused_and_kept(self):
        # The clean-up after a failed write would otherwise delete a device node (-out:/dev/null
        # as root) or leave the run blocked on a pipe without reader.
        folder = self.path("a-folder")
        os.makedirs(folder, exist_ok=True)
        targets = [folder]
        if not self.program.windows:
            fifo = self.path("a-pipe")
            if not os.path.exists(fifo):
                os.mkfifo(fifo)
            targets.append(fifo)
        for target in targets:
            with self.subTest(output=target):
                result = self.configure(self.fixture("setup.exe"), target, self.package)
                self.expect_failure(result, 'Saving K-VConfig.bin to new setup file fail : '
                                    'Output setup file "%s" is not a regular file' %
                                    self.arg(target))
                self.assertTrue(os.path.exists(target))

    # --- successful runs

    def test_signed_unsigned_and_wrongly_signed_packages_are_stored(self):
        packages = [("unsigned", self.unsigned), ("wrongly-signed", self.wrongly_signed)]
        if self.signed:
            packages.append(("signed", self.signed))
        for label, text in packages:
            for source_name, output_name in [("setup.exe", "out.exe"), ("setup.msi", "out.msi"),
                                             ("setup.exe", "UPPER.EXE")]:
                with self.subTest(package=label, source=source_name, output=output_name):
                    package = self.write(label + ".bin", text)
                    source, output = self.fixture(source_name), self.out_path(output_name)
                    result = self.configure(source, output, package, self.answer)
                    with open(self.answer, "rb") as f:
                        answer = f.read()
                    self.expect_configured(result, source, output, text, answer)
                    if ARGS.readback and label == "signed":
                        shown = subprocess.run([ARGS.readback, output], capture_output=True,
                                               text=True, check=True).stdout
                        self.assertIn("signature valid", shown)

    def test_readback_record_as_text_and_json(self):
        if not ARGS.readback:
            self.skipTest("kvreadback is run on Linux")
        settings = ["KVSERVERURL", "RAURL", "REGEMAILTO", "REGSMTPSERVER", "REGSMTPPORT",
                    "REGSMTPSSL", "COMPANY"]
        for source_name, kind in [("setup.exe", "PE"), ("setup.msi", "MSI")]:
            with self.subTest(source=source_name):
                output = self.out_path("shown-" + source_name)
                self.assertEqual(self.configure(self.fixture(source_name), output, self.package,
                                                self.answer).code, 0)
                plain = subprocess.run([ARGS.readback, output], capture_output=True, check=True)
                shown = subprocess.run([ARGS.readback, "--json", output], capture_output=True,
                                       check=True)
                record = json.loads(shown.stdout)
                self.assertEqual((record["kind"], record["size"]), (kind, os.path.getsize(output)))
                signature = record["authenticode"]
                self.assertEqual((signature["present"], signature["digest"],
                                  signature["digest_algorithm"], signature["signer"]),
                                 (True, "matches", "SHA-256", "CN=KV Test Fixture codesign"))
                area = record["data_area"]
                self.assertTrue(area["found"] and area["list_readable"])
                self.assertEqual(area["used"] + area["free"], area["size"])
                package = record["package"]
                stored = self.read(self.package)
                self.assertEqual((package["found"], package["store"], package["size"]),
                                 (True, "data area", len(stored)))
                keys = [entry["key"] for entry in package["entries"]]
                self.assertEqual(keys[:2], ["KVSERVERURL", "RAURL"])
                self.assertEqual(keys[-1], "SIGNATURE")
                for entry in package["entries"]:
                    hidden = entry["key"] in ("COMPANYX", "COMPANYLOGOX", "SIGNATURE")
                    self.assertEqual("length" in entry, hidden, entry)
                    self.assertEqual("value" in entry, not hidden, entry)
                answer = record["answer_file"]
                self.assertEqual(bytes(ord(c) for c in answer["text"]), self.read(self.answer))
                # The lines kvreadback printed before the record grew are all there, in order.
                expected = ["KVConfig: %d bytes, signature %s" % (len(stored),
                                                                  package["signature"])]
                expected += ["  %-14s %s" % (name, package["settings"][name]) for name in settings]
                expected += ["  COMPANYLOGO    %d bytes" % package["settings"]["COMPANYLOGO"],
                             "AutoInstall: %d bytes" % answer["size"]]
                lines = iter(plain.stdout.decode("latin-1").split("\n"))
                for line in expected:
                    self.assertIn(line, lines)

    def test_executable_source_gets_its_checksum_repaired_under_any_name(self):
        source = self.fixture("setup.exe")
        for name in ["configured.msi", "configured", "configured.EXE", "configured.exe.tmp"]:
            with self.subTest(output=name):
                output = self.out_path(name)
                self.expect_configured(self.configure(source, output, self.package), source,
                                       output, self.signed or self.wrongly_signed)
                image = pefile.PE(output, fast_load=True)
                self.assertEqual(image.OPTIONAL_HEADER.CheckSum, image.generate_checksum())
                image.close()

    def test_switch_forms(self):
        source = self.fixture("setup.exe")
        a = self.arg
        rows = [
            ("upper-case switches",
             ["-CF:" + a(self.package), "-SRC:" + a(source), "-Out:" + a(self.path("out.exe"))]),
            ("slash form ignored",
             ["/cf:" + a(self.path("missing.bin")), "-cf:" + a(self.package),
              "-src:" + a(source), "-out:" + a(self.path("out.exe"))]),
            ("-src: given twice", ["-src:" + a(self.path("missing.exe")), "-src:" + a(source),
                                   "-cf:" + a(self.package), "-out:" + a(self.path("out.exe"))]),
            ("blanks around an argument", ["  -cf:" + a(self.package) + " ", "-src:" + a(source),
                                           "\t-out:" + a(self.path("out.exe"))]),
            ("unknown words ignored", ["hello", "-cf:" + a(self.package), "-x:y",
                                       "-src:" + a(source), "-out:" + a(self.path("out.exe"))]),
        ]
        for label, arguments in rows:
            with self.subTest(label):
                self.out_path()
                result = self.run_program(arguments)
                self.expect_configured(result, source, self.path("out.exe"),
                                       self.signed or self.wrongly_signed)

    def test_package_file_wins_over_url(self):
        self.server.requests.clear()
        output = self.out_path()
        source = self.fixture("setup.exe")
        result = self.run_program(["-cu:" + self.server.base, "-cf:" + self.arg(self.package),
                                   "-src:" + self.arg(source), "-out:" + self.arg(output)])
        self.expect_configured(result, source, output, self.signed or self.wrongly_signed)
        self.assertEqual(self.server.requests, [])

    def test_download(self):
        served = self.wrongly_signed + b"\r\n"  # stored as received, trailing bytes too
        self.server.routes["/kv/kvconfig_bin.php"] = (200, served, "application/octet-stream")
        self.server.routes["/kv//kvconfig_bin.php"] = (200, self.unsigned, "text/plain")
        source = self.fixture("setup.exe")
        # The value is used as given: a trailing slash makes two.
        rows = [("/kv", "/kv/kvconfig_bin.php"), ("/kv/", "/kv//kvconfig_bin.php")]
        for base, requested in rows:
            with self.subTest(base=base):
                self.server.requests.clear()
                output = self.out_path()
                result = self.run_program(["-cf:", "-cu:" + self.server.base + base,
                                           "-src:" + self.arg(source),
                                           "-out:" + self.arg(output)])
                self.assertEqual(self.server.requests, [requested])
                self.expect_configured(result, source, output,
                                       self.server.routes[requested][1])

    def test_package_and_answer_file_from_configured_setup_files(self):
        with open(self.answer, "rb") as f:
            answer = f.read()
        package = self.signed or self.wrongly_signed
        for container in ["first.exe", "first.msi"]:
            with self.subTest(container=container):
                source = self.fixture("setup" + os.path.splitext(container)[1])
                first = self.out_path(container)
                self.expect_configured(self.configure(source, first, self.package, self.answer),
                                       source, first, package, answer)
                second = self.out_path("second.exe")
                result = self.configure(self.fixture("setup.exe"), second, first, first)
                self.expect_configured(result, self.fixture("setup.exe"), second, package,
                                       answer)

    def test_package_from_legacy_setup_executable(self):
        with open(os.path.join(ARGS.source_dir, "tests", "fixtures", "legacy-package.txt"),
                  "rb") as f:
            legacy_package = f.read()
        output = self.out_path()
        source = self.fixture("setup.exe")
        result = self.configure(source, output, self.fixture("legacy.exe"))
        self.expect_configured(result, source, output, legacy_package)

    # --- batch runs: -list: and -receipt:

    def shown_path(self, folder, name):
        """A path the program composed from a folder and a name, as it shows it."""
        if self.program.windows:
            return self.arg(folder) + "\\" + name
        return os.path.join(folder, name)

    def readback(self, output):
        """What kvreadback --json says of a configured file (Linux, or the Windows tool)."""
        if ARGS.readback:
            command = [ARGS.readback, "--json", output]
        elif ARGS.windows_readback:
            command = [ARGS.shell, ARGS.wine, ARGS.windows_readback, "--json", self.arg(output)]
        else:
            return None
        shown = subprocess.run(command, capture_output=True, check=True, timeout=180)
        return json.loads(shown.stdout)

    def check_receipt(self, receipt, expected):
        """The receipt: valid JSON, one row per output in run order, with its digests."""
        with open(receipt, "rb") as f:
            document = json.loads(f.read().decode("utf-8"))
        self.assertEqual(len(document["rows"]), len(expected))
        digest = document["source_authenticode"]
        self.assertEqual(digest["algorithm"], "SHA-256")
        self.assertRegex(digest["digest"], "^[0-9a-f]{64}$")
        for number, (row, (output, package, answer, error)) in enumerate(
                zip(document["rows"], expected), 1):
            self.assertEqual((row["row"], row["output"]), (number, output))
            self.assertEqual(row["source_authenticode"], digest)
            if error is not None:
                self.assertEqual(row["result"], "skipped" if error == "skipped" else "failed")
                self.assertEqual((row["size"], row["package_sha256"]), (0, ""))
                continue
            self.assertEqual((row["result"], row["error"]), ("ok", ""))
            self.assertEqual(row["package_sha256"], hashlib.sha256(package).hexdigest())
            self.assertEqual(row["answer_file_sha256"],
                             hashlib.sha256(answer).hexdigest() if answer else "")
        return document

    def test_list_with_a_failing_row_in_the_middle(self):
        # Quoted fields with commas, non-ASCII names, a BOM and CR LF as spreadsheets save them;
        # paths relative to the list's folder, which has a comma and a non-ASCII letter itself.
        folder = self.path("Liste, Kunden \u00e4")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "out"))
        package = self.signed or self.wrongly_signed
        answer = self.read(self.answer)
        other = package_text([(b"KVSERVERURL", b"http://other.example/")])
        served = package_text([(b"KVSERVERURL", b"http://served.example/")])
        self.server.routes["/batch/kvconfig_bin.php"] = (200, served, "text/plain")
        with open(os.path.join(folder, "other \u00f6.bin"), "wb") as f:
            f.write(other)
        shutil.copyfile(self.answer, os.path.join(folder, "Kunde \u00df.srg"))
        kept = os.path.join(folder, "out", "kaputt.exe")
        with open(kept, "wb") as f:
            f.write(b"the output of an earlier run")
        # out, cf, cu, ai cells; what the output holds, or the start of the row's error
        rows = [
            ("out/M\u00fcller, GmbH.exe", self.arg(self.package), "", "Kunde \u00df.srg",
             package, answer, None),
            ("out/\u5ba2\u6237 2.exe", "other \u00f6.bin", "", "", other, None, None),
            ("out/kaputt.exe", "fehlt.bin", "", "", None, None,
             'EXCEPTION EFOpenError (0) Cannot open file "%s"' %
             self.shown_path(folder, "fehlt.bin")),
            ("out/served.exe", "", self.server.base + "/batch", "", served, None, None),
            ("out/f\u00fcnf.exe", "other \u00f6.bin", "", self.arg(self.answer), other,
             answer, None),
        ]

        def cell(text):
            return '"' + text.replace('"', '""') + '"' if "," in text or '"' in text else text

        lines = ["ai,out,cf,cu"] + [",".join(cell(c) for c in (ai, out, cf, cu))
                                    for out, cf, cu, ai, _, _, _ in rows]
        with open(os.path.join(folder, "list.csv"), "wb") as f:
            f.write(b"\xef\xbb\xbf" + "\r\n".join(lines + [""]).encode("utf-8"))
        receipt = self.path("receipt.json")
        source = self.fixture("setup.exe")
        result = self.run_program(["-src:" + self.arg(source),
                                   "-list:" + self.arg(os.path.join(folder, "list.csv")),
                                   "-receipt:" + self.arg(receipt)])
        self.assertEqual(result.code, 1, result.stdout + result.stderr)
        self.assertEqual(result.stderr, "")
        shown = result.stdout.split(self.program.line_end)
        self.assertEqual(shown[-2:], ["5 rows: 4 written, 1 failed, 0 skipped", ""])
        self.assertNotIn("\r", result.stdout.replace(self.program.line_end, ""))  # no progress
        expected = []
        for number, (out, _, _, _, stored, stored_answer, error) in enumerate(rows, 1):
            output = os.path.join(folder, out)
            head = "row %d (line %d): " % (number, number + 1)
            if error:
                self.assertTrue(shown[number - 1].startswith(
                    head + 'FAILED "%s": %s' % (self.shown_path(folder, out), error)),
                    shown[number - 1])
                with open(output, "rb") as f:
                    self.assertEqual(f.read(), b"the output of an earlier run")
            else:
                self.assertEqual(shown[number - 1],
                                 head + 'ok "%s"' % self.shown_path(folder, out))
                check_configured_file(self, source, output, stored, stored_answer,
                                      self.fixture("ca.pem"))
            expected.append((self.shown_path(folder, out), stored, stored_answer, error))
        self.check_receipt(receipt, expected)
        # Each output is the very file a single run writes.
        single = self.out_path("single.exe")
        self.assertEqual(self.configure(source, single,
                                        os.path.join(folder, "other \u00f6.bin")).code, 0)
        self.assertTrue(self.read(single) == self.read(os.path.join(folder, rows[1][0])))

    def test_folder_of_configured_setups_redone_from_a_new_source(self):
        inbox, outbox = self.path("batch-configured"), self.path("batch-redone")
        for folder in (inbox, outbox):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        package = self.signed or self.wrongly_signed
        answer = self.read(self.answer)
        other = package_text([(b"KVSERVERURL", b"http://b.example/")])
        other_file = self.write("b.bin", other)
        with open(os.path.join(ARGS.source_dir, "tests", "fixtures", "legacy-package.txt"),
                  "rb") as f:
            legacy = f.read()
        # name: how it is made, and what it holds (package, answer file), None when no package
        made = {
            "a.exe": (("setup.exe", self.package, self.answer), package, answer),
            "b \u00e9.exe": (("setup.exe", other_file, None), other, None),
            "c.MSI": (("setup.msi", other_file, self.answer), other, answer),
        }
        for name, ((source, cf, ai), _, _) in made.items():
            result = self.configure(self.fixture(source), os.path.join(inbox, name), cf, ai)
            self.assertEqual(result.code, 0, result.stdout + result.stderr)
        shutil.copyfile(self.fixture("legacy.exe"), os.path.join(inbox, "legacy.exe"))
        made["legacy.exe"] = (None, legacy, None)
        shutil.copyfile(self.fixture("setup.exe"), os.path.join(inbox, "plain.exe"))
        with open(os.path.join(inbox, "notes.txt"), "wb") as f:
            f.write(b"not a setup file")
        source = self.fixture("setup-large.exe")
        receipt = self.path("redone.json")
        result = self.run_program(["-src:" + self.arg(source), "-list:" + self.arg(inbox),
                                   "-out:" + self.arg(outbox), "-receipt:" + self.arg(receipt)])
        self.assertEqual(result.code, 0, result.stdout + result.stderr)
        shown = result.stdout.split(self.program.line_end)
        self.assertEqual(shown[-2:], ["5 rows: 4 written, 0 failed, 1 skipped", ""])
        # The folder's order is the system's: each row is found by its name.
        plain = self.shown_path(inbox, "plain.exe")
        outcomes = [line.split(": ", 1)[-1] for line in shown]
        self.assertIn('skipped "%s": K-VConfig.bin not found in "%s"' % (plain, plain), outcomes)
        self.assertEqual(sorted(os.listdir(outbox)), sorted(made))
        expected = {plain: (self.shown_path(outbox, "plain.exe"), None, None, "skipped")}
        for name, (_, stored, stored_answer) in made.items():
            output = os.path.join(outbox, name)
            self.assertIn('ok "%s"' % self.shown_path(outbox, name), outcomes)
            check_configured_file(self, source, output, stored, stored_answer,
                                  self.fixture("ca.pem"))
            record = self.readback(output)
            if record is not None:
                self.assertEqual((record["package"]["found"], record["package"]["size"]),
                                 (True, len(stored)))
                self.assertEqual(record["authenticode"]["digest"], "matches")
                self.assertEqual(bytes(ord(c) for c in record["answer_file"]["text"]),
                                 stored_answer or b"")
            expected[self.shown_path(inbox, name)] = (self.shown_path(outbox, name), stored,
                                                      stored_answer, None)
        with open(receipt, "rb") as f:
            order = [row["input"] for row in json.loads(f.read().decode("utf-8"))["rows"]]
        self.check_receipt(receipt, [expected[name] for name in order])

    def test_list_memory_stays_flat_with_many_rows(self):
        if self.program.windows:
            self.skipTest("measured on Linux")
        folder = self.path("many")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        if not os.path.exists("/usr/bin/time"):
            self.skipTest("no /usr/bin/time")
        with open(self.program.path, "rb") as f:
            if b"__asan_init" in f.read():
                self.skipTest("a sanitized build keeps freed memory in quarantine")
        peaks = []
        for rows in (2, 200):
            with open(os.path.join(folder, "list.csv"), "w") as f:
                f.write("out,cf\n" + "".join("%d.exe,%s\n" % (n, self.package)
                                              for n in range(rows)))
            # The peak of the program itself (a child forked from this process would count
            # this process's memory too): GNU time's report, in KiB.
            completed = subprocess.run(
                ["/usr/bin/time", "-f", "peak %M", self.program.path,
                 "-src:" + self.fixture("setup.exe"), "-list:" + os.path.join(folder, "list.csv")],
                capture_output=True, text=True, timeout=600)
            self.assertEqual(completed.returncode, 0, completed.stdout + completed.stderr)
            peaks.append(int(re.search(r"peak (\d+)", completed.stderr).group(1)))
        self.assertLess(peaks[1], 16 * 1024, peaks)
        self.assertLess(peaks[1] - peaks[0], 1024, peaks)

    def test_list_progress_on_a_terminal_only(self):
        if self.program.windows:
            self.skipTest("the Windows console: see ConsoleTest")
        folder = self.path("progress")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with open(os.path.join(folder, "list.csv"), "w") as f:
            f.write("out,cf\na.exe,%s\nb.exe,%s\n" % (self.package, self.package))
        command = " ".join("'%s'" % word for word in [
            self.program.path, "-src:" + self.fixture("setup.exe"),
            "-list:" + os.path.join(folder, "list.csv")])
        completed = subprocess.run(["script", "-qec", command, "/dev/null"],
                                   stdin=subprocess.DEVNULL, capture_output=True, timeout=180)
        text = completed.stdout.decode("utf-8", "replace")
        self.assertIn("row 2 of 2 ...\r" + " " * 14 + "\rrow 2 (line 3): ok", text)
        self.assertIn("2 rows: 2 written, 0 failed, 0 skipped", text)

    def test_file_names_with_any_characters(self):
        folder = self.path("Pr\u00fcfung \u017e\u20ac")
        os.makedirs(folder, exist_ok=True)
        source = os.path.join(folder, "setup \u0161\u00e9.exe")
        package = os.path.join(folder, "K-VConfig \u00f6.bin")
        answer = os.path.join(folder, "Auto \u4e2d.srg")
        output = os.path.join(folder, "out \u00e4\u20ac.exe")
        shutil.copyfile(self.fixture("setup.exe"), source)
        shutil.copyfile(self.package, package)
        shutil.copyfile(self.answer, answer)
        with open(self.answer, "rb") as f:
            answer_bytes = f.read()
        result = self.configure(source, output, package, answer)
        self.expect_configured(result, source, output, self.signed or self.wrongly_signed,
                               answer_bytes)
        # A message names the file exactly as given.
        missing = os.path.join(folder, "fehlt \u00df.bin")
        result = self.configure(source, output, missing)
        self.expect_failure(result, 'EXCEPTION EFOpenError (0) Cannot open file "%s"' %
                            self.arg(missing), prefix=True)


class ConsoleTest(unittest.TestCase):
    """Windows: the text arrives on the console of the cmd that started the program."""

    ESCAPES = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]")

    def run_in_console(self, command_line):
        """Runs cmd /c COMMAND_LINE on a terminal, in the program's folder; returns its text."""
        folder, _ = os.path.split(os.path.abspath(ARGS.program))
        inner = " ".join([ARGS.shell, ARGS.wine, "cmd", "/c", command_line])
        completed = subprocess.run(["script", "-qec", inner, "/dev/null"], cwd=folder,
                                   stdin=subprocess.DEVNULL, capture_output=True, timeout=180)
        text = completed.stdout.decode("utf-8", "replace")
        return self.ESCAPES.sub("", text).replace("\r", "")

    def test_usage_and_error_line_on_the_console(self):
        name = os.path.basename(ARGS.program)
        text = self.run_in_console(name + " -h")
        self.assertIn("\n".join(USAGE_LINES) + "\n\n", text)
        text = self.run_in_console(name + " hello || echo exit-code-was-set")
        self.assertIn("Source setup file name is not specified\nexit-code-was-set", text)

    def test_list_progress_on_the_console(self):
        work = tempfile.mkdtemp(prefix="kv-console-e2e-")
        try:
            package = os.path.join(work, "K-VConfig.bin")
            with open(package, "wb") as f:
                f.write(package_text([(b"KVSERVERURL", b"http://kv.example/")]))
            with open(os.path.join(work, "list.csv"), "w") as f:
                f.write("out,cf\na.exe,K-VConfig.bin\nb.exe,K-VConfig.bin\n")

            def win(path):  # forward slashes: the command line passes through a shell
                return "Z:" + os.path.abspath(path)

            text = self.run_in_console("%s -src:%s -list:%s" % (
                os.path.basename(ARGS.program), win(os.path.join(ARGS.fixtures, "setup.exe")),
                win(os.path.join(work, "list.csv"))))
            self.assertIn("row 2 of 2 ...", text)
            self.assertIn("2 rows: 2 written, 0 failed, 0 skipped", text)
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def test_cmd_finds_the_console_twin_first(self):
        if not ARGS.program.lower().endswith(".com"):
            self.skipTest("only with the console twin")
        text = self.run_in_console("KVSetupConfigurator --version && echo waited")
        self.assertRegex(text, r"KVSetupConfigurator \d+\.\d+\.\d+(-demo)?\nwaited")


def run_reporting(command, timeout, env=None):
    """The probe's report; what it printed before a time-out too, so that a hang shows where."""
    try:
        completed = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                                   timeout=timeout, env=env)
        return completed.stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired as expired:
        return (expired.stdout or b"").decode("utf-8", "replace") + "\nFAIL probe timed out"


class WindowTest(unittest.TestCase):
    """Windows: the note window and the main window, driven from outside by kv_window_probe
    inside a Wine virtual desktop (so that the frames show on the screenshots; needs a display:
    the test runs under xvfb-run). The main window stores twice: from a package file with a
    signature of another key, and from a server that answers slowly; a third store is closed
    during its download."""

    def test_windows_without_a_console(self):
        if not os.environ.get("DISPLAY"):
            self.skipTest("no display")
        work = tempfile.mkdtemp(prefix="kv-window-e2e-")
        server = KVServer()
        try:
            self.run_probe(work, server)
        finally:
            server.close()
            shutil.rmtree(work, ignore_errors=True)

    def run_probe(self, work, server):
        def write(name, data):
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
            return os.path.join(work, name)

        def win(path):
            return "Z:" + os.path.abspath(path).replace("/", "\\")

        unsigned = package_text([(b"KVSERVERURL", b"http://kv.example/")])
        other_key = os.path.join(work, "other-key.pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt",
                        "rsa_keygen_bits:2048", "-out", other_key], check=True,
                       capture_output=True)
        package = write("K-VConfig.bin", sign_package(unsigned, other_key))
        served = sign_package(unsigned, ARGS.demo_key) if ARGS.demo_key else unsigned
        server.routes["/slow/kvconfig_bin.php"] = (200, served, "text/plain")
        server.slow["/slow/kvconfig_bin.php"] = 2
        answer = write("AutoInstall.srg", b"[Setup]\r\nSilent=1\r\n\0\xff binary")
        source = os.path.join(ARGS.fixtures, "setup.exe")
        outputs = [os.path.join(work, "out1.exe"), os.path.join(work, "out2.exe")]
        shots = os.path.join(os.environ.get("KV_BINARY_DIR") or work, "screenshots")
        os.makedirs(shots, exist_ok=True)
        program = win(ARGS.program)
        command = [ARGS.shell, ARGS.wine, "explorer", "/desktop=kvprobe,1280x1024",
                   win(ARGS.window_probe), program, win(shots), win(source), win(package),
                   win(answer), win(outputs[0]), server.base + "/slow", win(outputs[1])]
        report = run_reporting(command, 600)
        print(report)
        # The virtual desktop does not pass the probe's exit code on: its last line tells.
        self.assertIn("probe passed", report)
        self.assertNotIn("FAIL", report)
        self.assertIn("ok the program ends after the download with exit code 0", report)
        with open(package, "rb") as f:
            stored = f.read()
        with open(answer, "rb") as f:
            answer_bytes = f.read()
        ca = os.path.join(ARGS.fixtures, "ca.pem")
        check_configured_file(self, source, outputs[0], stored, answer_bytes, ca)
        check_configured_file(self, source, outputs[1], served, answer_bytes, ca)
        # The third store was closed during its download: nothing more was written. The fourth,
        # in the probe's own process, was closed during its download too.
        self.assertEqual(server.requests, ["/slow/kvconfig_bin.php"] * 3)
        self.assertEqual(sorted(os.listdir(work)),
                         ["AutoInstall.srg", "K-VConfig.bin", "other-key.pem", "out1.exe",
                          "out2.exe"])
        for name in ("main-window", "main-window-file-choice", "message-box",
                     "main-window-144dpi", "main-window-192dpi", "setup-view"):
            self.assertTrue(os.path.getsize(os.path.join(shots, name + ".bmp")) > 10000, name)
        # The windows under a Slovak and a Czech user-interface language (Wine takes it from
        # LANG): captions, their fit, the download's message; a screenshot of each.
        server.routes["/html/kvconfig_bin.php"] = (200, b"<html>proxy error</html>", "text/html")
        for code, locale in (("sk", "sk_SK.UTF-8"), ("cs", "cs_CZ.UTF-8")):
            command = [ARGS.shell, ARGS.wine, "explorer", "/desktop=kvprobe,1280x1024",
                       win(ARGS.window_probe), "--language", code, win(shots),
                       server.base + "/html"]
            report = run_reporting(command, 300, dict(os.environ, LANG=locale, LC_ALL=locale))
            print(report)
            self.assertIn("probe passed", report)
            self.assertNotIn("FAIL", report)
            self.assertTrue(
                os.path.getsize(os.path.join(shots, "main-window-" + code + ".bmp")) > 10000)

    def test_window_answers_during_a_large_store(self):
        """A store of a 2 GiB source (sparse, the data area at its end) from the main window: the
        window answers the probe's messages from the click until the result, also while the copy
        is read back and goes to the disk, with waits at most 200 ms longer than the idle window's
        on the same machine just after; and the taskbar button shows the copy's
        progress, made anew when the shell says the button is new. A stand-in for the shell's
        taskbar list records what the button is told: registered in the prefix for this test in
        place of Wine's (which shows nothing), and Wine's put back afterwards."""
        if not os.environ.get("DISPLAY"):
            self.skipTest("no display")
        recorder = os.path.join(os.path.dirname(os.path.abspath(ARGS.window_probe)),
                                "kv_taskbar_recorder.dll")
        work = tempfile.mkdtemp(prefix="kv-busy-e2e-")
        # Wine reads the classes of the machine only.
        key = ("HKLM\\Software\\Classes\\CLSID\\{56FDF344-FD6D-11d0-958A-006097C9A090}"
               "\\InprocServer32")
        saved = os.path.join(work, "taskbar-class.reg")

        def win(path):
            return "Z:" + os.path.abspath(path).replace("/", "\\")

        def reg(*arguments):
            subprocess.run([ARGS.shell, ARGS.wine, "reg"] + list(arguments),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

        try:
            reg("export", key, win(saved), "/y")
            reg("add", key, "/ve", "/d", win(recorder), "/f")
            reg("add", key, "/v", "ThreadingModel", "/d", "Apartment", "/f")
            with open(os.path.join(ARGS.fixtures, "setup.msi"), "rb") as f:
                tail = f.read()
            source = os.path.join(work, "huge-setup.msi")
            with open(source, "wb") as f:
                f.seek(2 << 30)
                f.write(tail)
            size = os.path.getsize(source)
            package = os.path.join(work, "K-VConfig.bin")
            unsigned = package_text([(b"KVSERVERURL", b"http://kv.example/")])
            with open(package, "wb") as f:
                f.write(unsigned)
            output = os.path.join(work, "huge-out.msi")
            log = os.path.join(work, "taskbar.log")
            command = [ARGS.shell, ARGS.wine, "explorer", "/desktop=kvprobe,1280x1024",
                       win(ARGS.window_probe), "--busy", win(ARGS.program), win(source),
                       win(package), win(output)]
            report = run_reporting(command, 300, dict(os.environ, KV_TASKBAR_LOG=win(log)))
            print(report)
            self.assertIn("probe passed", report)
            self.assertNotIn("FAIL", report)
            self.assertEqual(os.path.getsize(output), size)
            self.assertEqual(decode_blobs(self.read_tail(output))[1]["KVConfig"], unsigned)
            # HrInit, the figures rising to the whole source; HrInit again for the new button and
            # the figures from where they were; no progress once the store ended.
            with open(log) as f:
                lines = f.read().splitlines()
            inits = [i for i, line in enumerate(lines) if line == "HrInit"]
            self.assertGreaterEqual(len(inits), 2, lines[:20])
            shown = [line.split()[1:] for line in lines if line.startswith("SetProgressValue")]
            values = [int(done) for done, _ in shown]
            self.assertEqual({int(total) for _, total in shown}, {size})
            self.assertEqual(values, sorted(values))
            self.assertEqual((values[0], values[-1]), (0, size))
            self.assertTrue(lines[inits[-1] + 1].startswith("SetProgressValue"), lines)
            self.assertEqual(lines[-1], "SetProgressState 0")
        finally:
            if os.path.exists(saved):
                reg("import", win(saved))
            else:
                reg("delete", key, "/f")
            shutil.rmtree(work, ignore_errors=True)

    @staticmethod
    def read_tail(path):
        """The last 2 MiB of a large file, which hold its data area."""
        with open(path, "rb") as f:
            f.seek(max(0, os.path.getsize(path) - (2 << 20)))
            return f.read()


    def test_windows_of_a_session_at_144_dpi(self):
        """A whole Wine session at 144 dpi, in a prefix of its own so that the other tests keep
        96: the note window and a view opened over the main window near the bottom-right corner
        lie inside the work area at 1.5 times their size and follow WM_DPICHANGED; the fonts
        are the TrueType ones. Only one Wine server runs on the display at a time."""
        global SESSION
        if not os.environ.get("DISPLAY"):
            self.skipTest("no display")
        binary = os.environ.get("KV_BINARY_DIR") or tempfile.gettempdir()
        shots = os.path.join(binary, "screenshots")
        os.makedirs(shots, exist_ok=True)
        program = Program(ARGS.program, ARGS.wine)
        default_prefix = os.environ.get("KV_WINEPREFIX")
        SESSION.close()
        wait_for_wine_server(os.environ)
        os.environ["KV_WINEPREFIX"] = os.path.join(binary, "wineprefix-144dpi")
        try:
            # The prefix is made by its first run; the resolution is read when a program starts.
            subprocess.run([ARGS.shell, ARGS.wine, "reg", "add", r"HKCU\Control Panel\Desktop",
                            "/v", "LogPixels", "/t", "REG_DWORD", "/d", "144", "/f"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                           timeout=300)
            session = WineSession(program)
            try:
                command = [ARGS.shell, ARGS.wine, "explorer", "/desktop=kvprobe,1280x1024",
                           program.file_arg(ARGS.window_probe), "--dpi", program.file_arg(shots),
                           program.file_arg(os.path.join(ARGS.fixtures, "setup.exe"))]
                report = run_reporting(command, 300)
            finally:
                session.close()
                wait_for_wine_server(os.environ)
        finally:
            if default_prefix is None:
                del os.environ["KV_WINEPREFIX"]
            else:
                os.environ["KV_WINEPREFIX"] = default_prefix
            SESSION = WineSession(program)
        print(report)
        self.assertIn("probe passed", report)
        self.assertNotIn("FAIL", report)
        self.assertTrue(os.path.getsize(os.path.join(shots, "setup-view-144dpi.bmp")) > 10000)


def wait_for_wine_server(env):
    """Waits until the Wine server of the environment's prefix has ended."""
    subprocess.run([ARGS.shell, ARGS.wine, "wineserver", "-w"], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def main():
    global ARGS, SESSION
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--demo-key", default="", help="private key of the built-in public key")
    parser.add_argument("--package-tool", default="", help="signs the sample package (Linux)")
    parser.add_argument("--readback", default="", help="kvreadback, to show a stored package")
    parser.add_argument("--windows-readback", default="",
                        help="kvreadback.exe, run under Wine (Windows programs)")
    parser.add_argument("--wine")
    parser.add_argument("--shell", default="sh")
    parser.add_argument("--console", action="store_true",
                        help="also check the text on a console (Windows programs)")
    parser.add_argument("--window-probe", default="",
                        help="kv_window_probe.exe, to check the windows (GUI program)")
    parser.add_argument("--only", default="", help="run only this test class")
    ARGS = parser.parse_args()
    ARGS.fixtures = os.path.abspath(ARGS.fixtures)
    if not os.path.exists(ARGS.demo_key):
        ARGS.demo_key = ARGS.package_tool = ""
    suite = unittest.TestSuite()
    loader = unittest.TestLoader()
    for case, wanted in ((CommandLineTest, True), (ConsoleTest, ARGS.console),
                         (WindowTest, ARGS.window_probe)):
        if wanted and ARGS.only in ("", case.__name__):
            suite.addTests(loader.loadTestsFromTestCase(case))
    # A test that needs a session of another prefix closes this one and starts it again.
    SESSION = WineSession(Program(ARGS.program, ARGS.wine)) if ARGS.wine else None
    try:
        result = unittest.TextTestRunner(verbosity=2).run(suite)
    finally:
        if SESSION:
            SESSION.close()
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
