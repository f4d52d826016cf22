#!/usr/bin/env python3
"""How the Linux program replaces its output where other users share the folder, where names or
the source change during a run, under signals and limits, and on mounts, read-only folders and
long names. Runs as root with nobody as the second user; one table per group of cases. Every case
checks that nothing is left behind and that a copy that succeeded reads back with a right
checksum.

Usage: output_e2e.py --program PATH --fixtures DIR --no-unnamed-files LIBRARY
                     --failing-writes LIBRARY [TEST NAMES]
"""

import argparse
import fcntl
import os
import re
import resource
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
BIG = 256 << 20  # a copy long enough to be stopped in its middle
SAVING = "Saving K-VConfig.bin to new setup file fail : "
DENIED = 'Cannot create file "%s". Permission denied'


class OutputTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("needs root, to act as a second user too")
        cls.work = tempfile.mkdtemp(prefix="kv-output-e2e-")
        os.chmod(cls.work, 0o755)
        cls.package_bytes = package_text([(b"KVSERVERURL", b"http://kv.example/")])
        cls.package = cls.write("K-VConfig.bin", cls.package_bytes)
        with open(os.path.join(ARGS.fixtures, "setup.exe"), "rb") as f:
            cls.fixture = f.read()
        cls.small = cls.write("small.exe", cls.fixture)
        cls.big = cls.sparse_source("big.exe")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def write(cls, name, data, mode=0o644, owner=None):
        path = os.path.join(cls.work, name)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)
        if owner:
            shutil.chown(path, *owner)
        return path

    @classmethod
    def sparse_source(cls, name):
        """The fixture's headers and tail around a sparse gap of zeros, BIG bytes in all."""
        path = cls.write(name, cls.fixture[:1024])
        with open(path, "r+b") as f:
            f.seek(BIG - len(cls.fixture) + 1024)
            f.write(cls.fixture[1024:])
        return path

    def folder(self, mode=0o755, owner="root"):
        path = os.path.join(self.work, "folder")
        shutil.rmtree(path, ignore_errors=True)
        os.mkdir(path, mode)
        os.chmod(path, mode)
        shutil.chown(path, owner)
        return path

    def command(self, output, source, user="root", package=None):
        return (NOBODY if user == "nobody" else []) + [
            ARGS.program, "-cf:" + (package or self.package), "-src:" + source, "-out:" + output]

    def run_program(self, output, source=None, user="root", env=None, prefix=()):
        result = subprocess.run(list(prefix) + self.command(output, source or self.small, user),
                                capture_output=True, text=True, timeout=600, env=env)
        return result.returncode, result.stderr

    def started(self, output, source, env=None, umask=0o022, user="root", prefix=(),
                package=None, ignored=()):
        """A run started in the background, without core dumps, ignoring the signals ignored."""
        def limits():
            os.umask(umask)
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
            for sig in ignored:
                signal.signal(sig, signal.SIG_IGN)
        return subprocess.Popen(list(prefix) + self.command(output, source, user, package),
                                env=env, text=True, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, preexec_fn=limits)

    def stopped_in_copy(self, output, source, env=None, umask=0o022):
        """A run stopped once its copy exists; returns the process and the copy's /proc entry."""
        process = self.started(output, source, env, umask)
        fds = "/proc/%d/fd/" % process.pid
        while process.poll() is None:
            try:
                links = [(os.readlink(fds + fd), fds + fd) for fd in os.listdir(fds)]
            except OSError:  # a descriptor closed meanwhile
                continue
            for link, entry in links:
                if "/#" in link or "/.kvsetup-" in link:
                    os.kill(process.pid, signal.SIGSTOP)
                    return process, entry
            time.sleep(0.001)
        self.fail("the run ended before its copy was seen")

    @staticmethod
    def resume(process, sig=None):
        if sig:
            os.kill(process.pid, sig)
        os.kill(process.pid, signal.SIGCONT)
        process.wait(600)
        return process.returncode, process.stderr.read()

    @staticmethod
    def sanitizer_env(*options):
        """The environment with more options for a sanitized build (ignored by others)."""
        options = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), *options]))
        return dict(os.environ, ASAN_OPTIONS=options)

    def named_copies(self, *options):
        # A sanitized program insists on its runtime coming first; the shim is preloaded anyway.
        return dict(self.sanitizer_env("verify_asan_link_order=0", *options),
                    LD_PRELOAD=ARGS.no_unnamed_files)

    def expect_configured(self, output, original, packages=None):
        """output = original but for the list in its data area (one of packages, by default the
        run's) and the checksum, both right."""
        size = os.path.getsize(original)
        self.assertEqual(os.path.getsize(output), size)
        with open(output, "rb") as f:
            head = f.read(4096)
            f.seek(max(0, size - (2 << 20)))
            tail_at, tail = f.tell(), f.read()
            f.seek(0)
            total = sum(sum(memoryview(block).cast("H")) for block in iter(lambda: f.read(1 << 20),
                                                                            b"")
                        if block.count(0) != len(block))  # the gap's zeros add nothing
        field = struct.unpack_from("<I", head, 60)[0] + 88
        stored = struct.unpack_from("<I", head, field)[0]
        total -= (stored & 0xFFFF) + (stored >> 16)
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        self.assertEqual(stored, total + size, "checksum")
        self.assertIn(decode_blobs(tail)[1]["KVConfig"], packages or [self.package_bytes])
        area, length = locate_area(tail)
        used = read_blob_list(tail[area:area + length])[1]
        allowed = set(range(field, field + 4)) | set(range(tail_at + area, tail_at + area + used))
        diff = subprocess.run(["cmp", "-l", original, output], capture_output=True, text=True)
        self.assertLessEqual({int(line.split()[0]) - 1 for line in diff.stdout.splitlines()},
                             allowed, "bytes outside the list changed")

    # --- one table per group

    def test_links_in_shared_folders(self):
        # (folder mode, folder owner, link owner, caller, followed)
        rows = [(0o1777, "root", "nobody", "root", False), (0o1777, "root", "root", "nobody", True),
                (0o1777, "nobody", "nobody", "root", True), (0o777, "root", "nobody", "root", True)]
        for mode, folder_owner, link_owner, caller, followed in rows:
            with self.subTest(mode=oct(mode), folder=folder_owner, link=link_owner, caller=caller):
                link = os.path.join(self.folder(mode, folder_owner), "out.exe")
                victim = self.write("victim.exe", b"victim", 0o666)
                subprocess.run(NOBODY * (link_owner == "nobody") + ["ln", "-s", victim, link],
                               check=True)
                code, err = self.run_program(link, user=caller)
                self.assertEqual(os.readlink(link), victim)
                if followed:
                    self.assertEqual(code, 0, err)
                    self.expect_configured(victim, self.small)
                else:
                    self.assertEqual(err, SAVING + 'Cannot create file "%s". A symbolic link that '
                                     'another user owns in a shared folder is not followed\n' % link)
                    self.assertEqual(os.listdir(os.path.dirname(link)), ["out.exe"])
                    self.assertEqual(os.path.getsize(victim), 6)

    def test_names_and_source_changed_during_the_copy(self):
        def relink(target):
            os.remove(link)
            os.symlink(target, link)
        # (case, change while the copy is stopped, whether the copy of the source as it was
        # opened succeeds)
        rows = [("output link re-pointed at the source", lambda: relink(source), True),
                ("output link re-pointed at another file", lambda: relink(other), True),
                ("source appended to", lambda: open(source, "ab").write(b"appended"), False),
                ("source rewritten in place", lambda: open(source, "r+b").write(b"MZ"), False),
                ("source renamed over", lambda: os.rename(other, source), True),
                ("source now a link to /dev/zero", lambda: [os.remove(source),
                                                            os.symlink("/dev/zero", source)], True)]
        for case, change, succeeds in rows:
            with self.subTest(case):
                folder = self.folder()
                source = self.sparse_source("folder/big.exe")
                other = self.write("folder/other.exe", b"other")
                real = self.write("folder/real.exe", b"earlier output")
                link = os.path.join(folder, "out.exe")
                os.symlink(real, link)
                process, _ = self.stopped_in_copy(link, source)
                change()
                code, err = self.resume(process)
                if succeeds:
                    self.assertEqual(code, 0, err)
                    self.expect_configured(real, self.big)
                else:
                    self.assertEqual((code, err), (1, SAVING + 'Source setup file "%s" changed '
                                                   'while it was being copied\n' % source))
                    self.assertEqual(os.path.getsize(real), 14)
                self.assertEqual(len(os.listdir(folder)), 3 + os.path.exists(other))

    def test_copy_is_private_until_complete(self):
        # (environment, umask, mode of an existing output or None, final mode)
        rows = [(None, 0o002, 0o600, 0o600), (self.named_copies(), 0o002, 0o600, 0o600),
                (self.named_copies(), 0o027, None, 0o640)]
        for env, umask, existing, final in rows:
            with self.subTest(named=env is not None, umask=oct(umask), existing=existing):
                folder = self.folder(0o777)
                output = os.path.join(folder, "out.exe")
                if existing:
                    self.write("folder/out.exe", b"secret", existing)
                process, copy = self.stopped_in_copy(output, self.big, env, umask)
                self.assertEqual(os.stat(copy).st_mode & 0o777, 0o600)
                for name in os.listdir(folder):
                    self.assertNotEqual(subprocess.run(NOBODY + ["cat", folder + "/" + name],
                                                       capture_output=True).returncode, 0, name)
                self.assertEqual(self.resume(process)[0], 0)
                self.assertEqual(os.stat(output).st_mode & 0o7777, final)
                self.assertEqual(os.listdir(folder), ["out.exe"])

    def test_signals_during_the_copy(self):
        rows = [(sig, env) for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGQUIT,
                                       signal.SIGXFSZ, signal.SIGPWR, signal.SIGRTMAX)
                for env in (None, self.named_copies())] + [(signal.SIGKILL, None)]
        for sig, env in rows:
            with self.subTest(signal=sig.name, named=env is not None):
                folder = self.folder()
                output = self.write("folder/out.exe", b"earlier output")
                if sig == signal.SIGXFSZ:  # sent by the system: the copy passes the size limit
                    process = self.started(output, self.big, env, prefix=["prlimit", "--fsize=%d"
                                                                          % (1 << 20)])
                    self.assertEqual(process.wait(600), -sig)
                else:
                    process, _ = self.stopped_in_copy(output, self.big, env)
                    self.assertEqual(self.resume(process, sig)[0], -sig)
                self.assertEqual(os.listdir(folder), ["out.exe"])
                self.assertEqual(os.path.getsize(output), 14)

    def test_limits(self):
        for prefix in (["prlimit", "--nproc=1"], ["prlimit", "--nofile=10"]):
            with self.subTest(prefix[1]):
                output = os.path.join(self.folder(owner="nobody"), "out.exe")
                # A sanitized build's leak check needs a thread of its own, which nproc=1 denies.
                env = self.sanitizer_env("detect_leaks=0")
                self.assertEqual(self.run_program(output, user="nobody", env=env, prefix=prefix),
                                 (0, ""))
                self.expect_configured(output, self.small)
                self.assertEqual(os.listdir(os.path.dirname(output)), ["out.exe"])

    def test_replaced_file_keeps_owner_group_and_mode(self):
        for owner, group, mode in [("nobody", "nogroup", 0o640), ("nobody", "root", 0o600),
                                   ("root", "nogroup", 0o664)]:
            with self.subTest(owner=owner, group=group):
                self.folder()
                output = self.write("folder/out.exe", b"old", mode, (owner, group))
                self.assertEqual(self.run_program(output), (0, ""))
                st = os.stat(output)
                self.assertEqual((st.st_uid, st.st_gid, st.st_mode & 0o7777),
                                 (shutil._get_uid(owner), shutil._get_gid(group), mode))
                self.expect_configured(output, self.small)

    def test_folder_the_caller_cannot_write(self):
        # (content and mode of nobody's file in root's folder, or None; error); caller nobody
        for existing, error in [((b"old", 0o644), None), (None, DENIED), ((b"old", 0o444), DENIED)]:
            with self.subTest(existing=existing):
                folder = self.folder()
                output = os.path.join(folder, "out.exe")
                if existing:
                    self.write("folder/out.exe", *existing, owner=("nobody", "nogroup"))
                inode = existing and os.stat(output).st_ino
                code, err = self.run_program(output, user="nobody")
                if error:
                    self.assertEqual(err, SAVING + error % output + "\n")
                    self.assertEqual(os.listdir(folder), ["out.exe"] if existing else [])
                else:
                    self.assertEqual((code, os.stat(output).st_ino), (0, inode), err)
                    self.expect_configured(output, self.small)

    def test_folder_that_cannot_be_synced(self):
        # nobody's folder that nobody may write but not read: the output is replaced, and the
        # folder, which cannot be opened for its sync, is reported.
        folder = self.folder(0o300, "nobody")
        output = os.path.join(folder, "out.exe")
        self.assertEqual(self.run_program(output, user="nobody"),
                         (0, 'The new setup file "%s" is in place, but its folder could not be '
                          'written to the disk: Permission denied\n' % output))
        self.expect_configured(output, self.small)
        self.assertEqual(os.listdir(folder), ["out.exe"])

    def test_bind_mounted_output(self):
        self.folder()
        output = self.write("folder/out.exe", b"")
        for case, host_bytes in [("longer than the copy", b"h" * 200000), ("empty", b"")]:
            with self.subTest(case):
                host = self.write("host.exe", host_bytes)
                if subprocess.run(["mount", "--bind", host, output]).returncode:
                    self.skipTest("mounting is not permitted here")
                try:
                    self.assertEqual(self.run_program(output), (0, ""))
                finally:
                    subprocess.run(["umount", output], check=True)
                self.expect_configured(host, self.small)
                self.assertEqual(os.listdir(os.path.dirname(output)), ["out.exe"])

    def test_long_names(self):
        for length, existing, env in [(250, False, None), (255, True, None),
                                      (255, True, self.named_copies())]:
            with self.subTest(length=length, existing=existing, named=env is not None):
                folder = self.folder()
                output = os.path.join(folder, "n" * (length - 4) + ".exe")
                if existing:
                    self.write(output, b"old")
                self.assertEqual(self.run_program(output, env=env), (0, ""))
                self.expect_configured(output, self.small)
                self.assertEqual(len(os.listdir(folder)), 1)

    def test_other_users_entries_in_shared_folders(self):
        # (case, output below the shared folder, nobody's entry there, reason); the caller is root
        rows = [("file at the output's name", "out.exe", lambda p: self.write(p, b"planted", 0o666),
                 "A file that another user owns in a shared folder is not replaced"),
                ("folder in the middle", "sub/out.exe", os.mkdir,
                 "A folder that another user owns in a shared folder is not written into"),
                ("link in the middle", "sub/out.exe", lambda p: os.symlink(elsewhere, p),
                 "A symbolic link that another user owns in a shared folder is not followed")]
        for case, name, plant, reason in rows:
            with self.subTest(case):
                shared = self.folder(0o1777)
                elsewhere = self.folder_named("elsewhere")
                planted = os.path.join(shared, name.split("/")[0])
                plant(planted)
                os.lchown(planted, shutil._get_uid("nobody"), shutil._get_gid("nogroup"))
                before = {p: self.entry(p) for p in (planted, elsewhere)}
                output = os.path.join(shared, name)
                self.assertEqual(self.run_program(output),
                                 (1, SAVING + 'Cannot create file "%s". %s\n' % (output, reason)))
                for path, entry in before.items():
                    self.assertEqual(self.entry(path), entry, path)
                self.assertEqual(os.listdir(elsewhere), [])

    @staticmethod
    def entry(path):
        st = os.lstat(path)
        return st.st_ino, st.st_mode, st.st_uid, st.st_size, st.st_mtime_ns

    def folder_named(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.mkdir(path)
        return path

    def small_mount(self, kind, path, options):
        os.makedirs(path, exist_ok=True)
        if subprocess.run(["mount", "-t", kind, "-o", options, kind, path],
                          capture_output=True).returncode:
            self.skipTest("mounting is not permitted here")
        self.addCleanup(subprocess.run, ["umount", "-l", path])

    def test_output_written_in_place_keeps_its_content_until_complete(self):
        # nobody's file in root's folder, written by nobody: only in place; the copy is built in
        # TMPDIR. (case, signal sent once the output is being overwritten, or None for a disk
        # that fills up, whether the run ignores that signal and completes, as under nohup, the
        # size of a hole in the earlier output, which a disk that is full cannot fill)
        for case, sig, ignored, hole in [("SIGINT", signal.SIGINT, False, 0),
                                         ("SIGTERM", signal.SIGTERM, False, 0),
                                         ("SIGHUP ignored", signal.SIGHUP, True, 0),
                                         ("full disk", None, False, 0),
                                         ("full disk, sparse output", None, False, 2 << 20)]:
            with self.subTest(case):
                temporary = self.folder_named("tmp")
                os.chmod(temporary, 0o1777)
                env = dict(os.environ, TMPDIR=temporary)
                folder = self.folder()
                source = self.big
                if sig is None:
                    self.small_mount("tmpfs", folder, "size=1m,mode=0755")
                    source = self.small
                earlier = b"earlier output" + (b"\0" * hole + b"end" if hole else b"")
                output = self.write("folder/out.exe", earlier[:14], 0o644, ("nobody", "nogroup"))
                with open(output, "r+b") as f:
                    f.seek(14 + hole)
                    f.write(earlier[14 + hole:])
                if sig is None:
                    try:
                        with open(os.path.join(folder, "filler"), "wb") as f:
                            while True:
                                f.write(b"f" * 4096)
                                f.flush()
                    except OSError:  # the disk is full
                        pass
                before = os.stat(output).st_mtime_ns
                process = self.started(output, source, env, user="nobody",
                                       ignored=[sig] if ignored else [])
                if sig is not None:
                    while os.stat(output).st_mtime_ns == before and process.poll() is None:
                        pass
                    code, err = self.resume(process, sig)
                    if ignored:
                        self.assertEqual((code, err), (0, ""))
                        self.expect_configured(output, source)
                        self.assertEqual(os.listdir(temporary), [])
                        continue
                    self.assertEqual(code, -sig, "ended before the overwrite: " + err)
                else:
                    process.wait(600)
                    self.assertEqual(process.stderr.read(), SAVING + 'Cannot create file "%s". '
                                     'No space left on device\n' % output)
                with open(output, "rb") as f:
                    self.assertEqual(f.read(), earlier)
                self.assertEqual(os.listdir(temporary), [])
                self.assertEqual(sorted(os.listdir(folder)), ["filler", "out.exe"][sig is not None:])
                if sig is None:
                    subprocess.run(["umount", folder], check=True)

    def test_overlay_output_replaced_by_rename(self):
        # The lower layer on another file system than the upper: devices differ inside one mount.
        root = self.folder_named("overlay")
        lower, upper, work, merged = (os.path.join(root, n) for n in ("lower", "u", "w", "m"))
        self.small_mount("tmpfs", lower, "size=4m")
        for path in (upper, work, merged):
            os.mkdir(path)
        with open(os.path.join(lower, "out.exe"), "wb") as f:
            f.write(b"earlier output")
        self.small_mount("overlay", merged, "lowerdir=%s,upperdir=%s,workdir=%s"
                         % (lower, upper, work))
        output = os.path.join(merged, "out.exe")
        process, _ = self.stopped_in_copy(output, self.big)
        with open(output, "rb") as f:  # the copy is private: the output is as it was
            self.assertEqual(f.read(), b"earlier output")
        self.assertEqual(self.resume(process), (0, ""))
        self.expect_configured(output, self.big)
        self.assertEqual(os.listdir(merged), ["out.exe"])

    def test_two_runs_into_one_folder(self):
        # (environment, whether the output is written in place: nobody's file in root's folder,
        # the first run stopped in its overwrite until the second waits for it). Runs that rename
        # are process 1 of a PID namespace each, as in two containers.
        other_bytes = package_text([(b"KVSERVERURL", b"http://other.example/")])
        other = self.write("other.bin", other_bytes)
        # A sanitized build's leak check cannot stop the world as process 1.
        rows = [(self.sanitizer_env("detect_leaks=0"), False),
                (self.named_copies("detect_leaks=0"), False), (None, True)]
        for env, in_place in rows:
            with self.subTest(named=env is not None and "LD_PRELOAD" in env, in_place=in_place):
                folder = self.folder()
                output = os.path.join(folder, "out.exe")
                # A third run's unfinished copy, under the name an earlier writer chose as
                # process 1: never removed or taken.
                third = self.write("folder/.kvsetup-0000000001-00.partial", b"third")
                user, prefix = "root", ["unshare", "--pid", "--fork"]
                if in_place:
                    self.write("folder/out.exe", b"earlier output", 0o644, ("nobody", "nogroup"))
                    user, prefix = "nobody", []
                    before = os.stat(output).st_mtime_ns
                runs = [self.started(output, self.big, env, user=user, prefix=prefix,
                                     package=self.package)]
                if in_place:
                    while os.stat(output).st_mtime_ns == before and runs[0].poll() is None:
                        pass
                    os.kill(runs[0].pid, signal.SIGSTOP)
                runs.append(self.started(output, self.big, env, user=user, prefix=prefix,
                                         package=other))
                if in_place:
                    # Where the kernel does not say where a process sleeps, the first run goes on
                    # after 5 s, well before the second would give up its wait.
                    deadline = time.monotonic() + 5
                    while (runs[1].poll() is None and not self.waits_for_lock(runs[1].pid) and
                           time.monotonic() < deadline):
                        time.sleep(0.01)
                    os.kill(runs[0].pid, signal.SIGCONT)
                results = [(run.wait(600), run.stderr.read()) for run in runs]
                if "unshare" in results[0][1]:
                    self.skipTest("no PID namespaces here: " + results[0][1])
                self.assertEqual(results, [(0, ""), (0, "")])
                self.expect_configured(output, self.big, [self.package_bytes, other_bytes])
                self.assertEqual(sorted(os.listdir(folder)), [os.path.basename(third), "out.exe"])
                with open(third, "rb") as f:
                    self.assertEqual(f.read(), b"third")

    @staticmethod
    def waits_for_lock(pid):
        # The lock is tried every 50 ms; in between, the run sleeps.
        try:
            with open("/proc/%d/wchan" % pid) as f:
                return "nanosleep" in f.read()
        except OSError:
            return False

    def test_output_written_in_place_that_cannot_be_completed(self):
        # nobody's file in root's folder, written by nobody in place with its copy in TMPDIR.
        # (case, preloaded libraries or None, whether another program holds a lock on the output,
        # signal sent during the overwrite or 0)
        # Where a disk error stops both the overwrite and putting the earlier content back, that
        # content stays, named in the message, whether the system made it without a name or not,
        # and also where a signal ends the run; a lock is waited for about 10 s, then the run is
        # refused with the output as it was.
        rows = [("earlier content not put back", [ARGS.failing_writes], False, 0),
                ("earlier content not put back, named copies",
                 [ARGS.failing_writes, ARGS.no_unnamed_files], False, 0),
                ("earlier content not put back, stopped by SIGTERM", [ARGS.failing_writes], False,
                 signal.SIGTERM),
                ("locked by another program", None, True, 0)]
        for case, preloaded, locked, sent in rows:
            with self.subTest(case):
                temporary = self.folder_named("tmp")
                os.chmod(temporary, 0o1777)
                folder = self.folder()
                output = self.write("folder/out.exe", b"earlier output", 0o644,
                                    ("nobody", "nogroup"))
                env = dict(self.sanitizer_env("verify_asan_link_order=0"), TMPDIR=temporary)
                if preloaded:
                    env.update(LD_PRELOAD=":".join(preloaded),
                               KV_FAILING_FILE=os.path.realpath(output),
                               KV_FAILING_SIGNAL=str(int(sent)))
                    if not sent:
                        del env["KV_FAILING_SIGNAL"]
                with open(output, "rb") as held:
                    if locked:
                        fcntl.flock(held, fcntl.LOCK_EX)
                    started = time.monotonic()
                    code, err = self.run_program(output, user="nobody", env=env)
                    waited = time.monotonic() - started
                # Stopped after its first write went through, the overwrite cannot be undone.
                if not sent:
                    with open(output, "rb") as f:
                        self.assertEqual(f.read(), b"earlier output")
                self.assertEqual(os.listdir(folder), ["out.exe"])
                if locked:
                    self.assertEqual((code, err), (1, SAVING + 'Cannot create file "%s". Another '
                                                   'program kept the file locked for 10 seconds\n'
                                                   % output))
                    self.assertGreater(waited, 9)
                    self.assertEqual(os.listdir(temporary), [])
                    continue
                # A signal ends the run before its caller can report: the writer says it.
                match = re.fullmatch(re.escape(("" if sent else SAVING) + 'Cannot create file '
                                               '"%s". Input/output error; its earlier content '
                                               'could not be put back (Input/output error); it '
                                               'is kept in "' % output) + '(.*)"\n', err)
                self.assertTrue(match and code == (-sent if sent else 1), (code, err))
                kept = match.group(1)
                self.assertEqual(os.path.dirname(kept), os.path.realpath(temporary))
                self.assertRegex(os.path.basename(kept), r"^out\.exe\.old-[0-9a-f]{8}$")
                self.assertEqual(os.listdir(temporary), [os.path.basename(kept)])
                with open(kept, "rb") as f:
                    self.assertEqual(f.read(), b"earlier output")
                st = os.stat(kept)
                self.assertEqual((st.st_uid, st.st_mode & 0o7777),
                                 (shutil._get_uid("nobody"), 0o600))

    def test_attributes_of_the_replaced_file(self):
        # (caller, owner of the replaced file, its mode, whether setuid and setgid stay); every
        # file carries an access list entry for a named user and a user attribute, both kept
        rows = [("root", "nobody", 0o6755, True), ("nobody", "root", 0o6777, False),
                ("root", "root", 0o640, True)]
        for caller, owner, mode, setid_kept in rows:
            with self.subTest(caller=caller, owner=owner, mode=oct(mode)):
                self.folder(0o777)
                group = "nogroup" if owner == "nobody" else "root"
                output = self.write("folder/out.exe", b"old", owner=(owner, group))
                os.chmod(output, mode)
                subprocess.run(["setfacl", "-m", "u:daemon:rw", output], check=True)
                os.setxattr(output, "user.origin", b"kept")
                acl = os.getxattr(output, "system.posix_acl_access")
                mode = os.stat(output).st_mode & 0o7777  # the access list's mask in the group bits
                self.assertEqual(self.run_program(output, user=caller), (0, ""))
                st = os.stat(output)
                self.assertEqual((st.st_uid, st.st_mode & 0o7777),
                                 (shutil._get_uid(owner if setid_kept else caller),
                                  mode if setid_kept else mode & 0o777))
                self.assertEqual(os.getxattr(output, "system.posix_acl_access"), acl)
                self.assertEqual(os.getxattr(output, "user.origin"), b"kept")
                self.expect_configured(output, self.small)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--program", "--fixtures", "--no-unnamed-files", "--failing-writes"):
        parser.add_argument(option, required=True, type=os.path.abspath)
    ARGS, names = parser.parse_known_args()
    loader = unittest.TestLoader()
    suite = (loader.loadTestsFromNames(names, sys.modules[__name__]) if names
             else loader.loadTestsFromTestCase(OutputTest))
    sys.exit(0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1)


if __name__ == "__main__":
    main()
