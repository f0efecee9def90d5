#!/usr/bin/env python3
"""The packer gives the same bytes for the same files whatever their times, order on the
command line or the folder it runs in, and never a half-written archive.
Ends with "N passed, N failed"."""
import gzip
import io
import os
import subprocess
import sys
import tarfile
import tempfile
import time
import unittest
import zipfile

PACKER = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "tools", "make_package.py")
EPOCH = 1767268800  # 2026-01-01 12:00:00 UTC


def pack(folder, output, pairs, epoch=EPOCH, root="vesk-1.2.3-test"):
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    return subprocess.run([sys.executable, PACKER, "--source", folder, "--root", root,
                           "--output", output] + pairs, capture_output=True, text=True,
                          env=env, cwd=folder)


class Packer(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.TemporaryDirectory()
        self.dir = self.home.name
        self.files = {}
        for name, data, mode in [("vesk.dll", b"MZ" + bytes(300), 0o755),
                                 ("README.txt", b"read me\r\n", 0o600),
                                 ("tool", b"#!/bin/sh\n", 0o700)]:
            path = os.path.join(self.dir, name)
            with open(path, "wb") as f:
                f.write(data)
            os.chmod(path, mode)
            self.files[name] = path

    def tearDown(self):
        self.home.cleanup()

    def pairs(self, *names):
        return [f"{n}={self.files[n]}" for n in names]

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_same_bytes_whatever_the_file_times_and_argument_order(self):
        for suffix in (".zip", ".tar.gz"):
            with self.subTest(suffix=suffix):
                first = os.path.join(self.dir, "one" + suffix)
                second = os.path.join(self.dir, "two" + suffix)
                self.assertEqual(pack(self.dir, first, self.pairs("vesk.dll", "README.txt",
                                                                  "tool")).returncode, 0)
                for path in self.files.values():
                    os.utime(path, (time.time() + 1000, time.time() + 1000))
                self.assertEqual(pack(self.dir, second, self.pairs("tool", "README.txt",
                                                                   "vesk.dll")).returncode, 0)
                self.assertEqual(self.read(first), self.read(second))

    def test_zip_entries_sorted_with_fixed_time_and_modes(self):
        out = os.path.join(self.dir, "p.zip")
        pack(self.dir, out, self.pairs("vesk.dll", "README.txt", "tool"))
        with zipfile.ZipFile(out) as z:
            infos = z.infolist()
            self.assertEqual([i.filename for i in infos],
                             ["vesk-1.2.3-test/README.txt", "vesk-1.2.3-test/tool",
                              "vesk-1.2.3-test/vesk.dll"])
            self.assertEqual({i.date_time for i in infos}, {(2026, 1, 1, 12, 0, 0)})
            # A DLL is not a Unix program; a text file is never executable.
            self.assertEqual([(i.external_attr >> 16) & 0o777 for i in infos],
                             [0o644, 0o755, 0o644])
            self.assertEqual(z.read("vesk-1.2.3-test/README.txt"), b"read me\r\n")

    def test_tarball_has_no_owner_and_a_nameless_gzip_header(self):
        out = os.path.join(self.dir, "p.tar.gz")
        pack(self.dir, out, self.pairs("tool", "README.txt"))
        raw = self.read(out)
        # Gzip header: flags byte 3 (no FNAME bit), time in bytes 4 to 7.
        self.assertEqual(raw[3] & 0x08, 0)
        self.assertEqual(int.from_bytes(raw[4:8], "little"), EPOCH)
        with tarfile.open(out) as t:
            members = t.getmembers()
        self.assertEqual([m.name for m in members],
                         ["vesk-1.2.3-test", "vesk-1.2.3-test/README.txt",
                          "vesk-1.2.3-test/tool"])
        self.assertTrue(all(m.uid == 0 and m.gid == 0 and m.uname == "" and m.gname == "" and
                            m.mtime == EPOCH for m in members))
        self.assertEqual([m.mode for m in members], [0o755, 0o644, 0o755])

    def test_refusals_leave_no_archive(self):
        cases = {"missing file": ["gone.dll=" + os.path.join(self.dir, "gone.dll")],
                 "no name": ["=" + self.files["tool"]],
                 "name twice": self.pairs("tool") + ["tool=" + self.files["README.txt"]],
                 "folder": ["dir=" + self.dir]}
        for label, pairs in cases.items():
            with self.subTest(label):
                out = os.path.join(self.dir, "bad.zip")
                result = pack(self.dir, out, pairs)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn("make_package:", result.stderr)
                self.assertFalse(os.path.exists(out))
                self.assertFalse(os.path.exists(out + ".part"))
        result = pack(self.dir, os.path.join(self.dir, "p.rar"), self.pairs("tool"))
        self.assertNotEqual(result.returncode, 0)

    def test_a_new_package_replaces_those_of_earlier_builds(self):
        for name in ("vesk-1.2.3-dev+aaa-windows-x86.zip", "vesk-1.2.3-windows-x64.zip"):
            with open(os.path.join(self.dir, name), "wb") as f:
                f.write(b"old")
        out = os.path.join(self.dir, "vesk-1.2.3-dev+bbb-windows-x86.zip")
        env = dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH))
        result = subprocess.run([sys.executable, PACKER, "--source", self.dir, "--root", "r",
                                 "--output", out, "--replaces", "vesk-*-windows-x86.zip"] +
                                self.pairs("tool"), capture_output=True, text=True, env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(n for n in os.listdir(self.dir) if n.endswith(".zip")),
                         ["vesk-1.2.3-dev+bbb-windows-x86.zip", "vesk-1.2.3-windows-x64.zip"])

    def test_crlf_touches_only_texts(self):
        with open(self.files["README.txt"], "wb") as f:
            f.write(b"one\ntwo\r\nthree\n")
        out = os.path.join(self.dir, "w.zip")
        self.assertEqual(pack(self.dir, out, ["--crlf"] + self.pairs("README.txt", "vesk.dll"))
                         .returncode, 0)
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.read("vesk-1.2.3-test/README.txt"), b"one\r\ntwo\r\nthree\r\n")
            self.assertEqual(z.read("vesk-1.2.3-test/vesk.dll"), self.read(self.files["vesk.dll"]))

    def test_time_before_1980_still_packs_a_zip(self):
        out = os.path.join(self.dir, "old.zip")
        self.assertEqual(pack(self.dir, out, self.pairs("tool"), epoch=0).returncode, 0)
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.infolist()[0].date_time, (1980, 1, 1, 0, 0, 0))


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=1).result
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
