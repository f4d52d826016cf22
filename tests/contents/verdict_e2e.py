#!/usr/bin/env python3
"""The Authenticode verdict of kvreadback on real files, one row per way a file can be signed,
changed or forged. The files are made here from the signed fixtures with Debian's tools
(osslsigncode, openssl), the program's own configurator, and by changing bytes the way an
attacker would. With --wine the Windows programs run under Wine.

Without --ca, Windows judges the chains by the machine's store: there the verdict table names
every test root, and the rows without roots put the fixtures' root into the Wine prefix's store
(with --machine-root) and take it out again.

Usage: verdict_e2e.py --readback KVREADBACK --configurator KVSETUPCONFIGURATOR --fixtures DIR
                      [--wine WINE_RUN_SH --machine-root KV_MACHINE_ROOT]
"""

import argparse
import base64
import http.server
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

ARGS = None
PACKAGE = b"Quillabrenthorst Configuration ver #2.00\r\nKVSERVERURL=http://kv.example\r\n"
SIGNING_TIME = bytes.fromhex("06092A864886F70D010905")  # the signingTime attribute's OID
# Contents of the OIDs of a nested signature, of the indirect data and of ECDSA with SHA-256.
NESTED_SIGNATURE = bytes.fromhex("2B060104018237020401")
INDIRECT_DATA = bytes.fromhex("2B060104018237020104")
ECDSA_WITH_SHA256 = bytes.fromhex("2A8648CE3D040302")
# The exit codes of kvreadback --verify.
EXIT = {"valid": 0, "absent": 3, "certificate table": 5, "structure": 5, "content digest": 6,
        "messageDigest": 7, "signature": 8, "time stamp": 9, "chain": 10}


# Runs a program and prints the peak memory of the processes it waited for, in KiB.
MEASURE = ("import resource, subprocess, sys; "
           "subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL); "
           "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")


def run(args, cwd=None, check=True):
    result = subprocess.run(args, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    if check and result.returncode != 0:
        raise AssertionError("%s failed:\n%s" % (" ".join(args), result.stdout.decode()))
    return result.stdout.decode("utf-8", "replace")


def native(program, arguments):
    """The command that runs program; under Wine, absolute paths become Z: paths."""
    if not ARGS.wine:
        return [program] + arguments
    return ["sh", ARGS.wine, program] + [re.sub(r"^(-\w+:)?(/.*)$", lambda m: (m.group(1) or "") +
                                                "Z:" + m.group(2).replace("/", "\\"), argument)
                                         for argument in arguments]


def readback(arguments):
    result = subprocess.run(native(ARGS.readback, arguments), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")


def patched(source, target, change):
    with open(source, "rb") as f:
        data = bytearray(f.read())
    data = change(data)
    with open(target, "wb") as f:
        f.write(data)


def change_signing_time(occurrence):
    """Changes one digit of the seconds of the n-th signingTime attribute (a signed attribute)."""
    def change(data):
        at = -1
        for _ in range(occurrence + 1):
            at = data.index(SIGNING_TIME, at + 1)
        digit = at + len(SIGNING_TIME) + 4 + 11  # SET, UTCTime headers, "YYMMDDHHMMS"
        data[digit] = ord("0") + (data[digit] - ord("0") + 1) % 10
        return data
    return change


def certificate_table(data):
    """The place of the certificate table's directory entry, the table's offset and size."""
    pe = struct.unpack_from("<I", data, 60)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    entry = pe + 24 + (112 if magic == 0x20B else 96) + 4 * 8
    offset, size = struct.unpack_from("<II", data, entry)
    assert offset + size == len(data)
    return entry, offset, size


def grow_certificate_table(data):
    """Makes the certificate table 8 bytes longer than its entries, with 8 zero bytes added."""
    entry, offset, size = certificate_table(data)
    struct.pack_into("<I", data, entry + 4, size + 8)
    return data + b"\0" * 8


def table_inside_section(data):
    """Moves the certificate table into the first section's raw data: the bytes the digest covers
    stay the same, while the section the loader maps now holds the table's."""
    entry, offset, _ = certificate_table(data)
    pe = struct.unpack_from("<I", data, 60)[0]
    sections = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
    at = struct.unpack_from("<I", data, sections + 20)[0] + 16
    moved = data[:at] + data[offset:] + data[at:offset]
    struct.pack_into("<I", moved, entry, at)
    return moved


def der_elements(data, most=None):
    """The tag and content of each DER element that follows the other in data (the first most)."""
    elements, at = [], 0
    while at < len(data) and len(elements) != most:
        tag, length, at = data[at], data[at + 1], at + 2
        if length & 0x80:
            count = length & 0x7F
            length, at = int.from_bytes(data[at:at + count], "big"), at + count
        elements.append((tag, bytes(data[at:at + length])))
        at += length
    return elements


def der_members(data):
    """The contents of the DER elements that follow each other in data."""
    return [content for _, content in der_elements(data)]


def full_length_ecdsa(pem):
    """Whether the P-256 signature of the certificate in pem has an r and s of 32 bytes each."""
    with open(pem, "rb") as f:
        certificate = der_members(base64.b64decode(b"".join(f.read().split(b"\n")[1:-2])))[0]
    bits = der_members(certificate)[2]  # tbsCertificate, signatureAlgorithm, signatureValue
    return all(len(value) >= 32 for value in der_members(der_members(bits[1:])[0]))


def der(tag, content):
    size = (len(content).bit_length() + 7) // 8
    length = (bytes([len(content)]) if len(content) < 0x80
              else bytes([0x80 | size]) + len(content).to_bytes(size, "big"))
    return bytes([tag]) + length + content


def signature_of(data):
    """The SignedData of the certificate table's first entry, without its padding."""
    _, offset, _ = certificate_table(data)
    length = struct.unpack_from("<I", data, offset)[0]
    return der(*der_elements(data[offset + 8:offset + length], 1)[0])


def with_entries(*blobs):
    """Replaces the certificate table with one WIN_CERTIFICATE per blob, each padded to 8 bytes."""
    def change(data):
        entry, offset, _ = certificate_table(data)
        table = b"".join(struct.pack("<IHH", 8 + len(blob), 0x200, 2) + blob +
                         b"\0" * (-len(blob) % 8) for blob in blobs)
        data = data[:offset] + table
        struct.pack_into("<I", data, entry + 4, len(table))
        return data
    return change


def with_signer(signature, change):
    """The signature with its SignerInfo's fields, a list of (tag, content), changed by change."""
    def rebuild(elements):
        return b"".join(der(tag, content) for tag, content in elements)
    oid, wrapped = der_elements(der_members(signature)[0])
    fields = der_elements(der_members(wrapped[1])[0])
    fields[-1] = (0x31, der(0x30, rebuild(change(der_elements(der_members(fields[-1][1])[0])))))
    return der(0x30, rebuild([oid, (0xA0, der(0x30, rebuild(fields)))]))


def with_unsigned_attributes(attributes):
    return lambda signer: [f for f in signer if f[0] != 0xA1] + [(0xA1, attributes)]


def resigned(work, key, pss=False, attributes=lambda signed: signed):
    """Signs the signed attributes, changed by attributes, anew with key: with RSASSA-PSS
    (SHA-256, MGF1 with SHA-256, salt 32) or, as before, RSA PKCS#1 v1.5."""
    sha256 = der(0x30, der(0x06, bytes.fromhex("608648016503040201")) + b"\x05\x00")
    mgf1 = der(0x30, der(0x06, bytes.fromhex("2A864886F70D010108")) + sha256)
    algorithm = der(0x06, bytes.fromhex("2A864886F70D01010A")) + der(
        0x30, der(0xA0, sha256) + der(0xA1, mgf1) + der(0xA2, der(0x02, b"\x20")))
    options = ["-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:32",
               "-sigopt", "rsa_mgf1_md:sha256"] if pss else []

    def change(signer):
        # version, sid, digestAlgorithm, [0] signedAttrs, signatureAlgorithm, signature
        signed = attributes(signer[3][1])
        with open(os.path.join(work, "attributes.der"), "wb") as f:
            f.write(der(0x31, signed))
        run(["openssl", "dgst", "-sha256", "-sign", key] + options +
            ["-out", "resigned.bin", "attributes.der"], work)
        with open(os.path.join(work, "resigned.bin"), "rb") as f:
            return (signer[:3] + [(0xA0, signed), (0x30, algorithm) if pss else signer[4],
                                  (0x04, f.read())] + signer[6:])
    return change


def counter_signing_server(work):
    """An Authenticode time-stamping server on loopback (osslsigncode -t): it answers with a
    SignedData over the signature value it is sent, whose signer becomes the counter-signature."""
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            request = base64.b64decode(self.rfile.read(int(self.headers["Content-Length"])))
            # SEQUENCE { type, SEQUENCE { contentType, [0] { OCTET STRING value } } }
            value = der_members(der_members(der_members(der_members(request)[0])[1])[1])[0]
            with open(os.path.join(work, "stamped-value.bin"), "wb") as f:
                f.write(value)
            run(["openssl", "cms", "-sign", "-binary", "-md", "sha256", "-nosmimecap",
                 "-in", "stamped-value.bin", "-signer", "tsa.pem", "-inkey", "tsa.key",
                 "-outform", "DER", "-out", "stamp.der"], work)
            with open(os.path.join(work, "stamp.der"), "rb") as f:
                answer = base64.b64encode(f.read())
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

        def log_message(self, *arguments):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def forge_digest(work, signed, forged, flip_text):
    """Changes a byte of the signed content and writes the new content's digest over the stored
    one, lengths unchanged: only the signed attributes still tell the change."""
    patched(signed, forged, lambda data: data.replace(flip_text, flip_text.lower(), 1))
    report = run(["osslsigncode", "verify", "-in", forged], work, check=False)
    current = re.search(r"Current (?:message digest|DigitalSignature)\s*:\s*([0-9A-Fa-f]+)", report)
    calculated = re.search(r"Calculated (?:message digest|DigitalSignature)\s*:\s*([0-9A-Fa-f]+)",
                           report)
    old, new = bytes.fromhex(current.group(1)), bytes.fromhex(calculated.group(1))
    assert old != new and forged.endswith((".exe", ".msi")), report
    patched(forged, forged, lambda data: data.replace(old, new))


class VerdictTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        work = cls.work = cls.temp.name
        fixtures = ARGS.fixtures
        cls.ca = os.path.join(fixtures, "ca.pem")
        with open(os.path.join(work, "package.txt"), "wb") as f:
            f.write(PACKAGE)
        for name in ["setup.exe", "setup.msi", "setup-large.exe"]:
            source = os.path.join(fixtures, name)
            run(native(ARGS.configurator,
                       ["-cf:package.txt", "-src:" + source, "-out:configured-" + name]), work)
        configured = os.path.join(work, "configured-setup.exe")
        patched(configured, os.path.join(work, "appended.exe"), lambda data: data + b"\0" * 16)
        patched(configured, os.path.join(work, "unfilled.exe"), grow_certificate_table)
        patched(configured, os.path.join(work, "inside-section.exe"), table_inside_section)
        forge_digest(work, configured, os.path.join(work, "forged.exe"), b"This program")
        forge_digest(work, os.path.join(work, "configured-setup.msi"),
                     os.path.join(work, "forged.msi"), b"INSTALLDIR")
        patched(configured, os.path.join(work, "attribute.exe"), change_signing_time(0))
        # The time stamp token's TSTInfo names another second than the authority signed.
        patched(os.path.join(fixtures, "setup-timestamped.exe"), os.path.join(work, "stamp.exe"),
                lambda data: data.replace(b"20200601000000Z", b"20200601000001Z", 1))
        # The same signature without its time stamp: its signer is judged at the present time.
        timestamped = os.path.join(fixtures, "setup-timestamped.exe")
        with open(timestamped, "rb") as f:
            stamped = signature_of(f.read())
        patched(timestamped, os.path.join(work, "unstamped.exe"), with_entries(with_signer(
            stamped, lambda signer: [field for field in signer if field[0] != 0xA1])))
        # Keys of other signers: a second RSA one for a nested SHA-512 signature, an EC one.
        run(["osslsigncode", "remove-signature", "-in",
             os.path.join(fixtures, "setup-noarea.exe"), "-out", "unsigned.exe"], work)
        for key, usage, algorithm in [
                ("nest", "codeSigning", ["-newkey", "rsa:2048"]),
                ("tsa", "critical,timeStamping", ["-newkey", "rsa:2048"]),
                ("ec", "codeSigning", ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256"])]:
            # Wine's chain engine refuses an ECDSA certificate signature whose r or s is shorter
            # than the curve's 32 bytes (1 in 128 keys): such a certificate is made anew.
            while True:
                run(["openssl", "req", "-x509", "-nodes", "-days", "3650", "-subj",
                     "/CN=KV Verdict " + key, "-addext", "extendedKeyUsage=" + usage,
                     "-keyout", key + ".key", "-out", key + ".pem"] + algorithm, work)
                if key != "ec" or full_length_ecdsa(os.path.join(work, "ec.pem")):
                    break
        run(["osslsigncode", "sign", "-nest", "-h", "sha512", "-certs", "nest.pem", "-key",
             "nest.key", "-in", os.path.join(fixtures, "setup-noarea.exe"), "-out",
             "nested.exe"], work)
        run(["osslsigncode", "sign", "-nest", "-h", "sha256", "-certs", "nest.pem", "-key",
             "nest.key", "-in", os.path.join(fixtures, "setup-sha1.exe"), "-out",
             "sha1-nested.exe"], work)
        patched(os.path.join(work, "nested.exe"), os.path.join(work, "nested-attribute.exe"),
                change_signing_time(1))
        run(["osslsigncode", "sign", "-h", "sha256", "-certs", "ec.pem", "-key", "ec.key", "-in",
             "unsigned.exe", "-out", "ecdsa.exe"], work)
        # Certificate tables of several entries, one with bytes after its signature, and
        # hostile ones: thousands of empty entries, an attribute of thousands of tiny values as
        # nested signatures.
        with open(configured, "rb") as f:
            signature = signature_of(f.read())
        # A signature of other content: the unsigned program with one letter changed.
        patched(os.path.join(work, "unsigned.exe"), os.path.join(work, "other.exe"),
                lambda data: data.replace(b"This program", b"this program", 1))
        run(["osslsigncode", "sign", "-h", "sha256", "-certs", "nest.pem", "-key", "nest.key",
             "-in", "other.exe", "-out", "other-signed.exe"], work)
        with open(os.path.join(work, "other-signed.exe"), "rb") as f:
            other = signature_of(f.read())
        tiny = der(0x30, der(0x06, NESTED_SIGNATURE) + der(0x31, b"\x05\x00" * 4096))
        sixteen = with_unsigned_attributes(
            der(0x30, der(0x06, NESTED_SIGNATURE) + der(0x31, b"\x05\x00" * 16)))
        for name, change in [
                ("two-entries.exe", with_entries(signature, signature)),
                ("other-entry.exe", with_entries(signature, other)),
                ("padding-junk.exe", with_entries(signature + b"\xAA" * 8)),
                ("many-entries.exe", with_entries(signature, *[b""] * 100000)),
                ("many-nested.exe",
                 with_entries(with_signer(signature, with_unsigned_attributes(tiny * 100)))),
                # The signer's RSA signature said to be ECDSA with SHA-256.
                ("ecdsa-claimed.exe", with_entries(with_signer(signature, lambda signer: (
                    signer[:4] + [(0x30, der(0x06, ECDSA_WITH_SHA256))] + signer[5:])))),
                # Three entries of 16 nested signatures each: more than a file may hold.
                ("many-signatures.exe", with_entries(*[with_signer(signature, sixteen)] * 3)),
                ("pss.exe", with_entries(with_signer(other, resigned(work, "nest.key", True)))),
                # Signed anew as a signature over another type of content.
                ("content-type.exe", with_entries(with_signer(other, resigned(
                    work, "nest.key", attributes=lambda signed: signed.replace(
                        der(0x06, INDIRECT_DATA), der(0x06, INDIRECT_DATA[:-1] + b"\x0F"))))))]:
            patched(os.path.join(work, "other-signed.exe" if name in ["pss.exe", "content-type.exe"]
                                 else configured),
                    os.path.join(work, name), change)
        # Non-zero bytes after the SignedData, fewer than 8, up to the entry's boundary: the
        # configured copy has them zeroed.
        patched(configured, os.path.join(work, "padding-short.exe"),
                with_entries(signature + b"\xAA" * (-len(signature) % 8)))
        run(native(ARGS.configurator, ["-cf:package.txt", "-src:padding-short.exe",
                                       "-out:configured-padding.exe"]), work)
        # Signed with the time-stamping authority's key: a certificate not for code signing.
        run(["osslsigncode", "sign", "-h", "sha256", "-certs", "tsa.pem", "-key", "tsa.key", "-in",
             "unsigned.exe", "-out", "wrong-usage.exe"], work)
        # A signer whose certificate was valid through 2020 only, time-stamped now.
        with open(os.path.join(work, "lapsed.cnf"), "w") as f:
            f.write("[ca]\ndefault_ca = c\n[c]\ndatabase = index.txt\nnew_certs_dir = .\n"
                    "serial = serial\ndefault_md = sha256\npolicy = p\ncopy_extensions = copy\n"
                    "[p]\ncommonName = supplied\n")
        open(os.path.join(work, "index.txt"), "w").close()
        with open(os.path.join(work, "serial"), "w") as f:
            f.write("01\n")
        run(["openssl", "req", "-new", "-nodes", "-newkey", "rsa:2048", "-subj",
             "/CN=KV Verdict lapsed", "-addext", "extendedKeyUsage=codeSigning", "-addext",
             "basicConstraints=critical,CA:TRUE", "-keyout", "lapsed.key", "-out", "lapsed.csr"],
            work)
        run(["openssl", "ca", "-batch", "-config", "lapsed.cnf", "-selfsign", "-keyfile",
             "lapsed.key", "-in", "lapsed.csr", "-startdate", "20200101000000Z", "-enddate",
             "20210101000000Z", "-out", "lapsed.pem"], work)
        server = counter_signing_server(work)
        try:
            for key, name in [("nest", "countersigned.exe"), ("lapsed", "lapsed-stamped.exe")]:
                run(["osslsigncode", "sign", "-h", "sha256", "-certs", key + ".pem", "-key",
                     key + ".key", "-t", "http://127.0.0.1:%d/" % server.server_port, "-in",
                     "unsigned.exe", "-out", name], work)
        finally:
            server.shutdown()
            server.server_close()

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def path(self, name):
        folder = ARGS.fixtures if name.startswith("setup-") else self.work
        return os.path.join(folder, name)

    def roots(self):
        """Every root of the files of the table: the fixtures' and the test's own signers'."""
        arguments = ["--ca", self.ca]
        for key in ["nest", "tsa", "ec"]:
            arguments += ["--ca", self.path(key + ".pem")]
        return arguments

    def test_verdicts(self):
        # file, verdict, failing step, signatures, strict padding, text expected in the record
        rows = [
            ("configured-setup.exe", "valid", "", 1, "passes", "RSA PKCS#1 v1.5 with SHA-256"),
            ("configured-setup-large.exe", "valid", "", 1, "passes", ""),
            ("configured-setup.msi", "valid", "", 1, "not applicable", ""),
            ("appended.exe", "invalid", "content digest", 1, "passes", ""),
            ("unfilled.exe", "invalid", "certificate table", 0, "fails", "not filled"),
            ("forged.exe", "invalid", "messageDigest", 1, "passes", ""),
            ("forged.msi", "invalid", "messageDigest", 1, "not applicable", ""),
            ("attribute.exe", "invalid", "signature", 1, "passes", ""),
            ("inside-section.exe", "invalid", "certificate table", 0, "fails", "inside the head"),
            ("two-entries.exe", "valid", "", 2, "passes", ""),
            ("other-entry.exe", "invalid", "content digest", 2, "passes", "of signature 2"),
            ("padding-junk.exe", "valid", "", 1, "fails", ""),
            ("padding-short.exe", "valid", "", 1, "fails", ""),
            ("configured-padding.exe", "valid", "", 1, "passes", ""),
            ("many-entries.exe", "invalid", "certificate table", 0, "fails", "more than 32"),
            ("many-nested.exe", "invalid", "structure", 2, "passes", "more than 16 nested"),
            ("many-signatures.exe", "invalid", "structure", 33, "passes", "than 32 signatures"),
            ("nested.exe", "valid", "", 2, "passes", "SHA-512"),
            ("sha1-nested.exe", "valid", "", 2, "passes", "RSA PKCS#1 v1.5 with SHA-1"),
            ("nested-attribute.exe", "invalid", "signature", 2, "passes",
             "signature of signature 2"),
            ("ecdsa.exe", "valid", "", 1, "passes", "ECDSA with SHA-256"),
            ("pss.exe", "valid", "", 1, "passes", "RSA-PSS with SHA-256"),
            ("ecdsa-claimed.exe", "invalid", "signature", 1, "passes", ""),
            ("content-type.exe", "invalid", "messageDigest", 1, "passes", "contentType"),
            ("setup-timestamped.exe", "valid", "", 1, "passes",
             "2020-06-01 00:00:00 UTC (RFC 3161)"),
            ("countersigned.exe", "valid", "", 1, "passes", "(counter-signature)"),
            ("stamp.exe", "invalid", "time stamp", 1, "passes", "TSTInfo"),
            ("unsigned.exe", "absent", "", 0, "not applicable", ""),
        ]
        for name, verdict, step, count, padding, text in rows:
            with self.subTest(file=name):
                code, output = readback(self.roots() + ["--json", self.path(name)])
                record = json.loads(output)["authenticode"]
                self.assertEqual((record["verdict"], record["verdict_step"]), (verdict, step),
                                 record["verdict_reason"])
                self.assertEqual(len(record["signatures"]), count)
                self.assertEqual(record["strict_padding"], padding)
                self.assertIn(text, output)
                code, line = readback(self.roots() + ["--verify", self.path(name)])
                self.assertEqual(code, EXIT[step or verdict], line)
                self.assertTrue(line.startswith("Authenticode verdict: " + verdict), line)
                self.assertEqual(line.count("\n"), 1, line)

    def test_chain_to_the_roots_named(self):
        rows = [
            ("configured-setup.exe", [self.ca], 0),
            ("configured-setup.exe", [self.path("nest.pem")], EXIT["chain"]),
            ("configured-setup.exe", [self.path("nest.pem"), self.ca], 0),
            # A file of roots that holds no certificate is a wrong command line, not a verdict.
            ("configured-setup.exe", [self.path("package.txt")], 2),
            # Expired since 2021, but valid when its time stamp was made.
            ("setup-timestamped.exe", [self.ca], 0),
            ("unstamped.exe", [self.ca], EXIT["chain"]),
            ("nested.exe", [self.ca], EXIT["chain"]),
            # The authority of the counter-signature must chain to a root given too.
            ("countersigned.exe", [self.path("nest.pem")], EXIT["time stamp"]),
            ("countersigned.exe", [self.path("nest.pem"), self.path("tsa.pem")], 0),
            # Its time stamp is trusted, but the signer's certificate was not valid at its time.
            ("lapsed-stamped.exe", [self.path("lapsed.pem"), self.path("tsa.pem")],
             EXIT["chain"]),
        ]
        for name, roots, expected in rows:
            with self.subTest(file=name, roots=roots):
                arguments = ["--verify"]
                for root in roots:
                    arguments += ["--ca", root]
                code, line = readback(arguments + [self.path(name)])
                self.assertEqual(code, expected, line)

    def test_memory_of_hostile_signatures(self):
        """The peak memory of kvreadback stays within the file's size and 16 MiB: the signature is
        held once, nothing of it once per nesting level or per tiny element (Linux: Wine's own
        memory would hide it)."""
        if ARGS.wine:
            self.skipTest("measured on Linux")
        with open(ARGS.readback, "rb") as f:
            if b"__asan_init" in f.read():
                self.skipTest("a sanitized build keeps freed memory in quarantine")
        with open(self.path("configured-setup.exe"), "rb") as f:
            signature = signature_of(f.read())
        # Five signatures nested in each other, the innermost holding 24 MiB.
        nested = with_signer(signature, with_unsigned_attributes(
            der(0x30, der(0x06, NESTED_SIGNATURE[:-1] + b"\x02") + der(0x31, b"\0" * (24 << 20)))))
        for _ in range(4):
            nested = with_signer(signature, with_unsigned_attributes(
                der(0x30, der(0x06, NESTED_SIGNATURE) + der(0x31, nested))))
        patched(self.path("configured-setup.exe"), self.path("deep.exe"), with_entries(nested))
        for name in ["deep.exe", "many-nested.exe", "many-entries.exe"]:
            with self.subTest(file=name):
                peak_kib = int(run([sys.executable, "-c", MEASURE, ARGS.readback, "--verify",
                                    self.path(name)]))
                self.assertLess(peak_kib, os.path.getsize(self.path(name)) // 1024 + 16 * 1024)

    def test_chain_without_roots(self):
        if not ARGS.wine:
            code, line = readback(["--verify", self.path("configured-setup.exe")])
            self.assertEqual((code, line), (0, "Authenticode verdict: valid (1 signature, "
                                                "no roots named)\n"))
            return
        # file, whether the fixtures' and the authority's roots are in the machine's store, exit
        # code, text of the line
        rows = [
            ("configured-setup.exe", False, EXIT["chain"], "no chain to a root this computer"),
            ("countersigned.exe", False, EXIT["time stamp"], "the time-stamping authority"),
            ("configured-setup.exe", True, 0, "chains trusted by this computer"),
            ("configured-setup.msi", True, 0, "chains trusted by this computer"),
            # Expired since 2021, but valid when its time stamp was made.
            ("setup-timestamped.exe", True, 0, "chains trusted by this computer"),
            ("nested.exe", True, EXIT["chain"], "chain of signature 2"),
            ("countersigned.exe", True, EXIT["chain"], "no chain to a root this computer"),
            ("wrong-usage.exe", True, EXIT["chain"], "not for code signing"),
        ]
        for trusted in [False, True]:
            if trusted:
                for root in [self.ca, self.path("tsa.pem")]:
                    run(native(ARGS.machine_root, ["add", root]))
            try:
                for name, in_store, expected, text in rows:
                    if in_store != trusted:
                        continue
                    with self.subTest(file=name, in_store=in_store):
                        code, line = readback(["--verify", self.path(name)])
                        self.assertEqual(code, expected, line)
                        self.assertIn(text, line)
            finally:
                if trusted:
                    for root in [self.ca, self.path("tsa.pem")]:
                        run(native(ARGS.machine_root, ["remove", root]))
        code, line = readback(["--verify", self.path("configured-setup.exe")])
        self.assertEqual(code, EXIT["chain"], "the root stayed in the store: " + line)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--readback", required=True)
    parser.add_argument("--configurator", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--wine")
    parser.add_argument("--machine-root")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
