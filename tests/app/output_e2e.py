#!/usr/bin/env python3
"""End-to-end tests of how the Linux program replaces its output where others share the folder,
change names or the source during a run, send signals or set limits, and on unusual outputs
(mount points, read-only folders, long names). Run as root, with nobody as the second user; each
group of cases is one table. After every case: nothing of a failed run is left, and a run that
succeeds wrote a copy whose list reads back and whose checksum is right.

Usage: output_e2e.py --program PATH --fixtures DIR --no-unnamed-files LIBRARY [TEST NAMES]
"""

import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from cli_e2e import decode_blobs, locate_area, package_text, read_blob_list

ARGS = None
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
BIG = 256 << 20  # long enough a copy to be stopped in the middle
CHUNK = 1 << 20
SAVING = "Saving K-VConfig.bin to new setup file fail : "


def fold(total):
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total


class OutputTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("needs root, to act as a second user too")
        cls.work = tempfile.mkdtemp(prefix="kv-output-e2e-")
        os.chmod(cls.work, 0o755)
        cls.package_bytes = package_text([(b"KVSERVERURL", b"http://kv.example/")])
        cls.package = cls.write(os.path.join(cls.work, "K-VConfig.bin"), cls.package_bytes)
        with open(os.path.join(ARGS.fixtures, "setup.exe"), "rb") as f:
            cls.fixture = f.read()
        cls.small = cls.write(os.path.join(cls.work, "small.exe"), cls.fixture)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    @staticmethod
    def write(path, data, mode=0o644, owner=None):
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)
        if owner:
            shutil.chown(path, *owner)
        return path

    def folder(self, name, mode=0o755, owner=None):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.mkdir(path)
        os.chmod(path, mode)
        if owner:
            shutil.chown(path, owner)
        return path

    def big_source(self, path):
        """The fixture's headers and tail around a sparse gap of zeros, BIG bytes in all."""
        with open(path, "wb") as f:
            f.truncate(BIG)
            f.write(self.fixture[:1024])
            f.seek(BIG - len(self.fixture) + 1024)
            f.write(self.fixture[1024:])
        return path

    def command(self, output, source, user=None):
        return (NOBODY if user == "nobody" else []) + [
            ARGS.program, "-cf:" + self.package, "-src:" + source, "-out:" + output]

    def run_program(self, output, source=None, user=None, env=None, prefix=(), umask=None):
        return subprocess.run(list(prefix) + self.command(output, source or self.small, user),
                              capture_output=True, text=True, timeout=600, env=env,
                              preexec_fn=(lambda: os.umask(umask)) if umask is not None else None)

    def stopped_in_copy(self, output, source, env=None, umask=None):
        """A run stopped once its copy exists; returns the process and the copy's /proc entry."""
        process = subprocess.Popen(self.command(output, source), env=env, text=True,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   preexec_fn=(lambda: os.umask(umask)) if umask else None)
        fds = "/proc/%d/fd" % process.pid
        while True:
            self.assertIsNone(process.poll(), "the run ended before its copy was seen")
            for fd in os.listdir(fds):
                try:
                    link = os.readlink(os.path.join(fds, fd))
                except OSError:
                    continue
                if "/#" in link or "/.kvsetup-" in link:
                    os.kill(process.pid, signal.SIGSTOP)
                    return process, os.path.join(fds, fd)
            time.sleep(0.001)

    @staticmethod
    def finish(process, send=signal.SIGCONT):
        if send != signal.SIGCONT:
            os.kill(process.pid, send)
        os.kill(process.pid, signal.SIGCONT)
        out, err = process.communicate(timeout=600)
        return process.returncode, err

    def named_copies(self):
        return dict(os.environ, LD_PRELOAD=ARGS.no_unnamed_files)

    def expect_configured(self, output, original):
        """output = original with the package in its area and its checksum right; read in blocks,
        with the zeros of a big source skipped in the sum."""
        size = os.path.getsize(original)
        self.assertEqual(os.path.getsize(output), size)
        tail_at = max(0, size - 2 * CHUNK) // CHUNK * CHUNK
        total, tails, field = 0, [b"", b""], None
        with open(output, "rb") as out, open(original, "rb") as src:
            for at in range(0, size, CHUNK):
                got, want = out.read(CHUNK), src.read(CHUNK)
                if got.count(0) != len(got):
                    total += sum(memoryview(got + b"\0" * (len(got) % 2)).cast("H"))
                if at == 0:
                    field = struct.unpack_from("<I", got, 60)[0] + 88
                    stored = struct.unpack_from("<I", got, field)[0]
                    total -= sum(struct.unpack_from("<HH", got, field))
                    got = got[:field] + want[field:field + 4] + got[field + 4:]
                if at >= tail_at:
                    tails = [tails[0] + got, tails[1] + want]
                else:
                    self.assertTrue(got == want, "bytes at %d changed" % at)
        self.assertEqual(stored, (fold(total) + size) & 0xFFFFFFFF, "checksum")
        names, values = decode_blobs(tails[0])
        self.assertEqual(values["KVConfig"], self.package_bytes)
        offset, length = locate_area(tails[0])
        _, used = read_blob_list(tails[0][offset:offset + length])
        patched = tails[0][:offset] + tails[1][offset:offset + used] + tails[0][offset + used:]
        self.assertTrue(patched == tails[1], "bytes outside the list changed")

    def expect_failed(self, result, message, folder, listing):
        self.assertEqual((result.returncode, result.stderr), (1, SAVING + message + "\n"))
        self.assertEqual(sorted(os.listdir(folder)), listing, "left behind")

    # --- the tables

    def test_links_in_shared_folders(self):
        # (case, folder mode, folder owner, link owner, caller, followed)
        rows = [("another user's link in root's sticky folder", 0o1777, "root", "nobody", "root",
                 False),
                ("root's own link in a sticky folder", 0o1777, "root", "root", "root", True),
                ("the folder owner's link, for another user", 0o1777, "root", "root", "nobody",
                 True),
                ("the sticky folder's owner's link, for root", 0o1777, "nobody", "nobody", "root",
                 True),
                ("another user's link, folder not sticky", 0o777, "root", "nobody", "root", True)]
        for case, mode, folder_owner, link_owner, caller, followed in rows:
            with self.subTest(case):
                folder = self.folder("shared", mode, folder_owner)
                victim = self.write(os.path.join(self.work, "victim.exe"), b"victim", 0o666)
                link = os.path.join(folder, "out.exe")
                subprocess.run((NOBODY if link_owner == "nobody" else []) +
                               ["ln", "-s", victim, link], check=True)
                result = self.run_program(link, user=caller)
                self.assertEqual(os.readlink(link), victim)
                if followed:
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.expect_configured(victim, self.small)
                else:
                    self.expect_failed(result, 'Cannot create file "%s". A symbolic link that '
                                       'another user owns in a shared folder is not followed'
                                       % link, folder, ["out.exe"])
                    with open(victim, "rb") as f:
                        self.assertEqual(f.read(), b"victim")

    def test_names_changed_during_the_copy(self):
        source = self.big_source(os.path.join(self.work, "big.exe"))
        before = os.stat(source)
        other = os.path.join(self.work, "other.exe")
        # (case, change made while the copy is stopped)
        rows = [("output link re-pointed at the source", lambda link: os.symlink(source, link)),
                ("output link re-pointed at another file", lambda link: os.symlink(other, link))]
        for case, change in rows:
            with self.subTest(case):
                folder = self.folder("swap")
                real = self.write(os.path.join(folder, "real.exe"), b"earlier output")
                self.write(other, b"other")
                link = os.path.join(folder, "out.exe")
                os.symlink(real, link)
                process, _ = self.stopped_in_copy(link, source)
                os.remove(link)
                change(link)
                code, err = self.finish(process)
                self.assertEqual(code, 0, err)
                self.expect_configured(real, source)
                self.assertEqual(os.stat(source).st_mtime_ns, before.st_mtime_ns)
                with open(other, "rb") as f:
                    self.assertEqual(f.read(), b"other")
                self.assertEqual(sorted(os.listdir(folder)), ["out.exe", "real.exe"])

    def test_source_changed_during_the_copy(self):
        folder = self.folder("changed")
        source = os.path.join(folder, "big.exe")
        kept = os.path.join(self.work, "kept.exe")

        def append():
            with open(source, "ab") as f:
                f.write(b"appended")

        def rewrite():
            with open(source, "r+b") as f:
                f.seek(4096)
                f.write(b"rewritten")

        def rename_over():
            self.write(source + ".new", b"another file")
            os.rename(source + ".new", source)

        def link_to_zeros():
            os.remove(source)
            os.symlink("/dev/zero", source)
        # (case, change, whether the copy of the file as it was opened still succeeds)
        rows = [("appended to", append, False), ("rewritten in place", rewrite, False),
                ("renamed over", rename_over, True), ("name now a link to /dev/zero",
                                                      link_to_zeros, True)]
        for case, change, succeeds in rows:
            with self.subTest(case):
                self.big_source(source)
                if os.path.exists(kept):
                    os.remove(kept)
                os.link(source, kept)
                output = os.path.join(folder, "out.exe")
                process, _ = self.stopped_in_copy(output, source)
                change()
                code, err = self.finish(process)
                if succeeds:
                    self.assertEqual(code, 0, err)
                    self.expect_configured(output, kept)
                    os.remove(output)
                else:
                    self.assertEqual((code, err), (1, SAVING + 'Source setup file "%s" changed '
                                                   'while it was being copied\n' % source))
                self.assertEqual(sorted(os.listdir(folder)), ["big.exe"])
                os.remove(source)

    def test_copy_is_private_until_complete(self):
        source = self.big_source(os.path.join(self.work, "big.exe"))
        # (case, environment, umask, mode of an existing output or None, final mode)
        rows = [("over a 0600 output", None, 0o002, 0o600, 0o600),
                ("over a 0600 output, named copy", self.named_copies(), 0o002, 0o600, 0o600),
                ("new output, named copy", self.named_copies(), 0o027, None, 0o640)]
        for case, env, umask, existing, final in rows:
            with self.subTest(case):
                folder = self.folder("private", 0o777)
                output = os.path.join(folder, "out.exe")
                if existing:
                    self.write(output, b"secret", existing)
                process, copy = self.stopped_in_copy(output, source, env, umask)
                self.assertEqual(os.stat(copy).st_mode & 0o777, 0o600)
                for name in os.listdir(folder):
                    peek = subprocess.run(NOBODY + ["cat", os.path.join(folder, name)],
                                          capture_output=True)
                    self.assertNotEqual(peek.returncode, 0, name + " readable by others")
                code, err = self.finish(process)
                self.assertEqual(code, 0, err)
                self.assertEqual(os.stat(output).st_mode & 0o7777, final)
                self.assertEqual(os.listdir(folder), ["out.exe"])

    def test_signals_during_the_copy(self):
        source = self.big_source(os.path.join(self.work, "big.exe"))
        rows = [(sig, env) for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
                for env in (None, self.named_copies())] + [(signal.SIGKILL, None)]
        for sig, env in rows:
            with self.subTest(signal=sig.name, named=env is not None):
                folder = self.folder("signals")
                output = self.write(os.path.join(folder, "out.exe"), b"earlier output")
                process, _ = self.stopped_in_copy(output, source, env)
                code, _ = self.finish(process, sig)
                self.assertEqual(code, -sig)
                self.assertEqual(os.listdir(folder), ["out.exe"])
                with open(output, "rb") as f:
                    self.assertEqual(f.read(), b"earlier output")

    def test_limits(self):
        rows = [("one process", ["prlimit", "--nproc=1"]),
                ("few descriptors", ["prlimit", "--nofile=10"])]
        for case, prefix in rows:
            with self.subTest(case):
                folder = self.folder("limits", owner="nobody")
                output = os.path.join(folder, "out.exe")
                result = self.run_program(output, user="nobody", prefix=prefix)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.expect_configured(output, self.small)
                self.assertEqual(os.listdir(folder), ["out.exe"])

    def test_replaced_file_keeps_owner_group_and_mode(self):
        # (owner, group, mode) of another user's file that root replaces
        rows = [("nobody", "nogroup", 0o640), ("nobody", "root", 0o600),
                ("root", "nogroup", 0o664)]
        for owner, group, mode in rows:
            with self.subTest(owner=owner, group=group):
                folder = self.folder("owners")
                output = self.write(os.path.join(folder, "out.exe"), b"old", mode, (owner, group))
                result = self.run_program(output)
                self.assertEqual(result.returncode, 0, result.stderr)
                st = os.stat(output)
                self.assertEqual((st.st_uid, st.st_gid, st.st_mode & 0o7777),
                                 (shutil._get_uid(owner), shutil._get_gid(group), mode))
                self.expect_configured(output, self.small)

    def test_folder_the_caller_cannot_write(self):
        # (case, file there or None, its mode, error or None); the caller is nobody, the folder
        # root's
        rows = [("writable file, written in place", b"old", 0o644, None),
                ("new file", None, 0, 'Cannot create file "%s". Permission denied'),
                ("read-only file", b"old", 0o444, 'Cannot create file "%s". Permission denied')]
        for case, content, mode, error in rows:
            with self.subTest(case):
                folder = self.folder("readonly")
                output = os.path.join(folder, "out.exe")
                if content:
                    self.write(output, content, mode, ("nobody", "nogroup"))
                listing = sorted(os.listdir(folder))
                before = os.stat(output).st_ino if content else None
                result = self.run_program(output, user="nobody")
                if error:
                    self.expect_failed(result, error % output, folder, listing)
                    continue
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(os.stat(output).st_ino, before)
                self.expect_configured(output, self.small)

    def test_bind_mounted_output(self):
        folder = self.folder("mounted")
        host = self.write(os.path.join(self.work, "host.exe"), b"host file " * 20000)
        output = self.write(os.path.join(folder, "out.exe"), b"")
        if subprocess.run(["mount", "--bind", host, output], capture_output=True).returncode:
            self.skipTest("mounting is not permitted here")
        try:
            # (case, source): a copy longer and one shorter than the mounted file
            for case, source in [("same mount, shorter", self.small)]:
                with self.subTest(case):
                    result = self.run_program(output, source)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.expect_configured(host, source)
        finally:
            subprocess.run(["umount", output], check=True)
        self.assertEqual(os.listdir(folder), ["out.exe"])

    def test_long_names(self):
        # (length of the output's name, existing output, environment)
        rows = [(250, False, None), (255, True, None), (255, True, self.named_copies())]
        for length, existing, env in rows:
            with self.subTest(length=length, existing=existing, named=env is not None):
                folder = self.folder("names")
                output = os.path.join(folder, "n" * (length - 4) + ".exe")
                if existing:
                    self.write(output, b"old")
                result = self.run_program(output, env=env)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.expect_configured(output, self.small)
                self.assertEqual(len(os.listdir(folder)), 1)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--no-unnamed-files", required=True)
    ARGS, names = parser.parse_known_args()
    ARGS.program = os.path.abspath(ARGS.program)
    ARGS.no_unnamed_files = os.path.abspath(ARGS.no_unnamed_files)
    loader = unittest.TestLoader()
    suite = (loader.loadTestsFromNames(names, sys.modules[__name__]) if names
             else loader.loadTestsFromTestCase(OutputTest))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
