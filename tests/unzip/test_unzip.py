"""Tests of the archive expander built in tools/unzip.

Archives are made at test time (zipfile writes the crafted names; Info-ZIP
zip and the JDK's jar tool make real-world ones). The Linux binary is compared
with Info-ZIP unzip on the same archives. With --wine the Windows build runs
under Wine, started through a batch file so that it gets the raw command line
the launcher writes.

usage: test_unzip.py --unzip PATH [--wine] [--reference PATH] [--jar PATH]
"""
import argparse
import hashlib
import io
import os
import pty
import re
import resource
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import warnings
import zipfile
import zlib

PARSER = argparse.ArgumentParser()
PARSER.add_argument("--unzip", required=True)
PARSER.add_argument("--wine", action="store_true")
PARSER.add_argument("--reference", default=shutil.which("unzip"))
PARSER.add_argument("--jar", default=shutil.which("jar"))
ARGS, REST = PARSER.parse_known_args()
ARGS.unzip = os.path.abspath(ARGS.unzip)

# Exit statuses of the expander.
OK, INCOMPLETE, DAMAGED, IO, NO_ARCHIVE, USAGE = 0, 1, 2, 3, 9, 10


def make_zip(path, entries, **kwargs):
    """entries: (name, data) or (name, data, options) with options among
    mode (Unix bits, stored as made on Unix), stored (bool)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, **kwargs) as archive, warnings.catch_warnings():
        # Archives with one name twice are made on purpose.
        warnings.simplefilter("ignore")
        for entry in entries:
            name, data = entry[0], entry[1]
            options = entry[2] if len(entry) > 2 else {}
            info = zipfile.ZipInfo(name)
            info.compress_type = zipfile.ZIP_STORED if options.get("stored") else zipfile.ZIP_DEFLATED
            if "mode" in options:
                info.create_system = 3
                info.external_attr = options["mode"] << 16
            else:
                info.create_system = 0
            archive.writestr(info, data)
    return path


def local_header(name, data, crc=None, extra_length=0):
    """A stored entry's local header (the extra field's bytes are left to the caller)."""
    crc = zlib.crc32(data) if crc is None else crc
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0, crc, len(data), len(data),
                       len(name), extra_length) + name


def write_raw_zip(path, body, entries):
    """body: the local part as bytes; entries: (name, offset, size, crc) of
    stored entries, written as the central directory after it."""
    directory = b"".join(
        struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0, 0, crc, size, size,
                    len(name), 0, 0, 0, 0, 0, offset) + name
        for name, offset, size, crc in entries)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(directory),
                      len(body), 0)
    with open(path, "wb") as f:
        f.write(body + directory + end)
    return path


def break_crc(path, name):
    """Changes the CRC-32 that the central directory records for `name`."""
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        end = data.rindex(b"PK\x05\x06")
        count, _, pos = struct.unpack_from("<HII", data, end + 10)
        for _ in range(count):
            n, m, k = struct.unpack_from("<HHH", data, pos + 28)
            if data[pos + 46:pos + 46 + n] == name.encode():
                struct.pack_into("<I", data, pos + 16, struct.unpack_from("<I", data, pos + 16)[0] ^ 1)
            pos += 46 + n + m + k
        f.seek(0)
        f.write(data)
    return path


def write_zip64(path, entries, stub=b"", count=None, directory_offset=None, record_offset=None,
                drop_record=False):
    """A zip64 archive made by hand. entries: dicts with name and data, and
    optionally deflate (bool) and lies: size, csize, offset (the values the
    zip64 extra field records) or extra (its bytes). The end records may lie
    too: count, directory_offset, record_offset (where the locator says the
    zip64 end record is)."""
    body, central = b"", b""
    for entry in entries:
        name, data = entry["name"].encode(), entry["data"]
        stored = data
        if entry.get("deflate"):
            packer = zlib.compressobj(6, zlib.DEFLATED, -15)
            stored = packer.compress(data) + packer.flush()
        crc = zlib.crc32(data)
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 8 if entry.get("deflate") else 0, 0, 0, crc,
                            len(stored), len(data), len(name), 0) + name + stored
        extra = entry.get("extra", struct.pack("<HHQQQ", 1, 24, entry.get("size", len(data)),
                                               entry.get("csize", len(stored)), entry.get("offset", offset)))
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 8 if entry.get("deflate") else 0,
                               0, 0, crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name), len(extra), 0, 0, 0, 0,
                               0xFFFFFFFF) + name + extra
    start = len(body)
    n = len(entries) if count is None else count
    record = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, n, n, len(central),
                         start if directory_offset is None else directory_offset)
    where = start + len(central)
    locator = struct.pack("<IIQI", 0x07064B50, 0, where if record_offset is None else record_offset, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    with open(path, "wb") as f:
        f.write(stub + body + central + (b"" if drop_record else record) + locator + end)
    return path


def exec_bits(found):
    """A tree() with only the executable bits of files: Info-ZIP also reads
    modes that non-Unix hosts leave in the high word."""
    return {k: v[:2] + (v[2] & 0o111,) if v[0] == "f" else v for k, v in found.items()}


def scratch_dir(test):
    """A directory that removes itself, in a tmpfs when there is one: the
    tests that create tens of thousands of files would measure the disk."""
    parent = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    work = tempfile.mkdtemp(prefix="unzip-test-", dir=parent)
    test.addCleanup(shutil.rmtree, work, ignore_errors=True)
    return work


def set_default_acl(path, owner, group, other):
    """Gives the directory a default ACL (what new entries in it get instead
    of the umask); False where the file system has none."""
    undefined = 0xFFFFFFFF
    value = struct.pack("<I", 2) + b"".join(
        struct.pack("<HHI", tag, perm, undefined) for tag, perm in ((1, owner), (4, group), (0x20, other)))
    try:
        os.setxattr(path, "system.posix_acl_default", value)
    except OSError:
        return False
    return True


def tree(root):
    """Every path below root: ('d', mode) / ('f', digest, mode) / ('l', target)."""
    found = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, root)
            info = os.lstat(full)
            if stat.S_ISLNK(info.st_mode):
                found[rel] = ("l", os.readlink(full))
            elif stat.S_ISDIR(info.st_mode):
                found[rel] = ("d", info.st_mode & 0o111)
            else:
                with open(full, "rb") as f:
                    found[rel] = ("f", hashlib.sha256(f.read()).hexdigest(), info.st_mode & 0o777)
    return found


class ExpanderTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="unzip-test-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def write(self, rel, data, mode=0o644):
        full = self.path(rel)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
        os.chmod(full, mode)

    def read_from(self, *parts):
        with open(os.path.join(*parts), "rb") as f:
            return f.read()

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def unzip(self, *args, cwd=None, umask=0o022, threads=None, descriptors=None, timeout=None):
        """Runs the expander with argv (Linux) under `umask`, with `threads`
        threads (default: as many as it likes) and at most `descriptors` open
        files (soft and hard limit; default: the test's), failing after
        `timeout` seconds; returns (status, out, err)."""
        env = dict(os.environ)
        env.pop("QEL_UNZIP_THREADS", None)
        if threads:
            env["QEL_UNZIP_THREADS"] = str(threads)

        def limit():
            os.umask(umask)
            if descriptors:
                resource.setrlimit(resource.RLIMIT_NOFILE, (descriptors, descriptors))

        done = subprocess.run([ARGS.unzip, *args], cwd=cwd or self.work, capture_output=True,
                              preexec_fn=limit, env=env, timeout=timeout)
        return done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")

    def unzip_line(self, tail, cwd=None, threads=None, legacy_code_page=False, timeout=None):
        """Runs the Windows build with the raw command line 'unzip.exe ' + tail,
        in cwd (default the work directory), where the program is copied, with
        `threads` threads (default: as many as it likes). With
        legacy_code_page the copy's manifest loses its UTF-8 code page entry
        (the element renamed, so the system passes it over), as on a system
        older than the entry."""
        cwd = cwd or self.work
        os.makedirs(cwd, exist_ok=True)
        with open(ARGS.unzip, "rb") as f:
            program = f.read()
        if legacy_code_page:
            self.assertIn(b"activeCodePage", program)
            program = program.replace(b"activeCodePage", b"activeCodePagX")
        with open(os.path.join(cwd, "unzip.exe"), "wb") as f:
            f.write(program)
        with open(os.path.join(cwd, "run.bat"), "w", newline="") as f:
            f.write("@unzip.exe " + tail + "\r\n@exit %ERRORLEVEL%\r\n")
        env = dict(os.environ, WINEDEBUG="-all")
        env.pop("QEL_UNZIP_THREADS", None)
        if threads:
            env["QEL_UNZIP_THREADS"] = str(threads)
        done = subprocess.run(["wine", "cmd", "/c", "run.bat"], cwd=cwd, capture_output=True, env=env,
                              timeout=timeout)
        return done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")

    def sample_entries(self):
        return [
            ("top.txt", b"top\n"),
            ("a/", b"", {"mode": 0o40755}),
            ("a/b/c/deep.txt", b"deep " * 1000),
            ("a/stored.bin", os.urandom(70000), {"stored": True}),
            ("a/big.txt", b"".join(b"line %d\n" % i for i in range(300000))),
            ("bin/run.sh", b"#!/bin/sh\necho run\n", {"mode": 0o100755}),
            ("bin/private", b"secret", {"mode": 0o100600}),
            ("bin/readonly", b"ro", {"mode": 0o100444}),
            ("win\\style\\name.txt", b"backslashes"),
            ("empty/", b""),
        ]


class BothBuilds(ExpanderTest):
    """Cases that run on the build under test, Linux or (with --wine) Windows."""

    def expand(self, archive, dest, options="-qqqo", threads=None, timeout=None):
        """archive: a path, or a pattern as the launcher writes it (src/"*.jar")."""
        if ARGS.wine:
            quoted = archive if '"' in archive else '"%s"' % archive
            return self.unzip_line('%s %s -d "%s" ' % (options, quoted, dest), threads=threads, timeout=timeout)
        return self.unzip(options, archive.replace('"', ""), "-d", dest, threads=threads, timeout=timeout)

    def test_overlapping_entries_are_damage_not_copies(self):
        data = b"".join(b"row %d\n" % i for i in range(2000))
        crc = zlib.crc32(data)
        one = local_header(b"a.txt", data) + data
        # A hundred directory entries over one local entry.
        write_raw_zip(self.path("many.zip"), one,
                      [(b"copy%03d.txt" % i, 0, len(data), crc) for i in range(100)])
        # An entry whose data holds the next entry whole.
        inner = local_header(b"b.txt", data) + data
        outer = local_header(b"a.txt", inner)
        write_raw_zip(self.path("quoted.zip"), outer + inner,
                      [(b"a.txt", 0, len(inner), zlib.crc32(inner)),
                       (b"b.txt", len(outer), len(data), crc)])
        # A local extra field that moves the first entry's data into the
        # second's header, with a CRC made to fit what would be read there.
        first = local_header(b"a.txt", data[:100], extra_length=50) + data[:100]
        second = local_header(b"b.txt", data) + data
        shifted = (first + second)[len(first) - 50:len(first) + 50]
        write_raw_zip(self.path("extra.zip"), first + second,
                      [(b"a.txt", 0, 100, zlib.crc32(shifted)), (b"b.txt", len(first), len(data), crc)])
        cases = {"many.zip": (100, []), "quoted.zip": (2, []), "extra.zip": (1, ["b.txt"])}
        for archive, (refused, left) in cases.items():
            with self.subTest(archive):
                status, _, err = self.expand(archive, "out-" + archive)
                self.assertEqual(status, DAMAGED, err)
                self.assertEqual(err.count("overlaps another entry"), refused, err)
                self.assertEqual(sorted(os.listdir(self.path("out-" + archive))), left)
        self.assertEqual(self.read("out-extra.zip", "b.txt"), data)


    def test_threads_leave_the_tree_and_messages_of_one_thread(self):
        # An earlier entry that is slow and then fails its CRC must not take a
        # later entry of that name (or below it) with it; on Windows names
        # differing in case are one name.
        slow = bytes(32 << 20)
        same = (lambda name: name.upper()) if ARGS.wine else (lambda name: name)
        deep = "deep/" + "/".join("d%02d" % i for i in range(20)) + "/leaf.txt"
        make_zip(self.path("src/a.jar"), [
            ("same.txt", b"from a"), ("dup/x.txt", b"first"), ("dup/x.txt", b"second", {"stored": True}),
            (deep, b"deep"), ("empty.txt", b""), ("../evil.txt", b"evil"), ("dir/", b""), ("dir/in.txt", b"in")]
            + [("many/f%03d.txt" % i, b"%d" % i * 50) for i in range(300)]
            # Last, so that the next archive's entries come while they are written.
            + [("slow.bin", slow), ("node", slow)])
        break_crc(self.path("src/a.jar"), "slow.bin")
        break_crc(self.path("src/a.jar"), "node")
        make_zip(self.path("src/b.jar"), [
            ("same.txt", b"from b"), (same("slow.bin"), b"good"), (same("node") + "/child.txt", b"child"),
            ("/abs.txt", b"abs"), ("dir", b"a file where a directory is"), ("empty.txt", b"now full")]
            + [("many/f%03d.txt" % i, b"b%d" % i) for i in range(0, 300, 7)])
        results = {}
        for threads in (1, 4):
            dest = "out%d" % threads
            status, out, err = self.expand('src/"*.jar"', dest, options="-o", threads=threads)
            found = tree(self.path(dest))
            results[threads] = (status, out.replace(dest, "DEST"), err.replace(dest, "DEST"), found)
        self.assertEqual(results[4], results[1])
        status, _, err, found = results[1]
        self.assertEqual(status, IO, err)
        self.assertIn("dir: cannot create file: a directory is in the way", err)
        self.assertEqual(err.count("CRC"), 2, err)
        self.assertEqual(err.count("refused"), 2, err)
        self.assertLess(err.index("slow.bin"), err.index("abs.txt"), err)
        digest = lambda data: hashlib.sha256(data).hexdigest()
        self.assertEqual(found[same("slow.bin")][1], digest(b"good"))
        self.assertEqual(found[os.path.join(same("node"), "child.txt")][1], digest(b"child"))
        self.assertEqual(found["same.txt"][1], digest(b"from b"))
        self.assertEqual(found["dup/x.txt"][1], digest(b"second"))
        self.assertEqual(found["empty.txt"][1], digest(b"now full"))
        self.assertEqual(found["many/f007.txt"][1], digest(b"b7"))
        self.assertEqual(found["many/f008.txt"][1], digest(b"8" * 50))
        self.assertIn(deep, found)

    def test_names_beyond_the_length_and_depth_limits_are_refused(self):
        at_depth = "/".join(["d"] * 255) + "/leaf.txt"
        too_deep = "/".join(["e"] * 256) + "/leaf.txt"
        # About 8,000 levels in one 64 KB name: once it took the tool to
        # 263 MB and thousands of descriptors; four of them failed every file.
        bomb = "/".join("%07d" % i for i in range(7990)) + "/leaf.txt"
        make_zip(self.path("deep.zip"), [(at_depth, b"deep"), (too_deep, b"x"), (bomb, b"x"), (bomb, b"y"),
                                         ("after.txt", b"after")])
        status, _, err = self.expand("deep.zip", "dest")
        self.assertEqual(status, INCOMPLETE, err)
        lines = err.splitlines()
        self.assertEqual(len(lines), 3, err)
        self.assertIn(": refused: a name of more than 256 components", lines[0])
        self.assertIn("deep.zip: e/e/e/", lines[0])
        for line in lines[1:]:
            # Shown by its beginning and its end, with its length.
            self.assertRegex(line, r"deep\.zip: 0000000/0000001/\S*\.\.\.\S*/0007989/leaf\.txt "
                                   r"\(%d bytes\): refused: a name longer than 4096 bytes$" % len(bomb))
            self.assertLess(len(line), 400)
        self.assertEqual(sorted(os.listdir(self.path("dest"))), ["after.txt", "d"])
        self.assertEqual(self.read("dest", *at_depth.split("/")), b"deep")

    def test_a_fifo_a_device_or_a_directory_in_place_of_an_archive_is_told(self):
        make_zip(self.path("src/a.jar"), [("a.txt", b"a")])
        make_zip(self.path("src/c.jar"), [("c.txt", b"c")])
        os.makedirs(self.path("src/dir.jar"))
        os.mkfifo(self.path("src/fifo.jar"))
        os.symlink("/dev/zero", self.path("src/zero.jar"))
        # Opening the FIFO to read would wait for a writer for ever, and
        # /dev/zero never ends: the run must end, telling each one.
        status, _, err = self.expand('src/"*.jar"', "dest", timeout=120)
        self.assertEqual(status, IO, err)
        self.assertEqual(len(err.splitlines()), 3, err)
        for name in ["dir.jar", "fifo.jar", "zero.jar"]:
            self.assertRegex(err, r"src.%s: cannot open: not a regular file" % name)
        self.assertEqual(sorted(os.listdir(self.path("dest"))), ["a.txt", "c.txt"])
        for name in ["dir.jar", "fifo.jar", "zero.jar"]:
            with self.subTest(name):
                status, _, err = self.expand("src/" + name, "dest-" + name, timeout=120)
                self.assertEqual(status, IO, err)
                self.assertIn("cannot open: not a regular file", err)

    def test_file_entries_that_name_no_file_are_refused(self):
        make_zip(self.path("nothing.zip"), [("", b"data"), (".", b"data"), ("./.", b""),
                                            ("./", b"data"), (".//", b""), ("ok.txt", b"ok")])
        status, _, err = self.expand("nothing.zip", "dest")
        self.assertEqual(status, INCOMPLETE, err)
        self.assertEqual(err.count("refused: a file entry whose name names no file"), 4, err)
        self.assertEqual(os.listdir(self.path("dest")), ["ok.txt"])


@unittest.skipIf(ARGS.wine, "Linux binary")
class LinuxExpansion(ExpanderTest):
    def assert_same_as_reference(self, archive):
        if not ARGS.reference:
            self.skipTest("no Info-ZIP unzip")
        status, _, err = self.unzip("-qqqo", archive, "-d", self.path("ours"))
        self.assertEqual(status, OK, err)
        done = subprocess.run([ARGS.reference, "-qqo", archive, "-d", self.path("theirs")],
                              capture_output=True, preexec_fn=lambda: os.umask(0o022))
        self.assertEqual(done.returncode, 0, done.stderr)
        ours = tree(self.path("ours"))
        self.assertEqual(exec_bits(ours), exec_bits(tree(self.path("theirs"))))
        return ours

    def test_threads_leave_the_tree_infozip_leaves_from_several_archives(self):
        if not ARGS.reference:
            self.skipTest("no Info-ZIP unzip")
        work = scratch_dir(self)
        src = os.path.join(work, "src")
        deep = "/".join("level%02d" % i for i in range(40)) + "/bottom.txt"
        make_zip(os.path.join(src, "a.jar"), [
            ("bin/", b"", {"mode": 0o40755}), ("bin/tool", b"#!/bin/sh\n", {"mode": 0o100755}),
            ("lib/", b"", {"mode": 0o40700}), ("lib/a.txt", b"a" * 3000), ("empty", b""),
            ("twice.txt", b"one"), ("twice.txt", b"two"), ("becomes-link", b"a file first"),
            ("link-to-lib", b"lib", {"mode": 0o120777}), (deep, b"bottom")]
            + [("pkg%d/C%04d.class" % (i % 9, i), os.urandom(i % 500) * 3) for i in range(900)])
        make_zip(os.path.join(src, "b.jar"), [
            ("twice.txt", b"three"), ("becomes-link", b"twice.txt", {"mode": 0o120777}),
            ("lib/b.txt", b"b", {"stored": True}), ("empty", b"no longer")]
            + [("pkg%d/C%04d.class" % (i % 9, i), b"from b %d" % i) for i in range(0, 900, 5)])
        make_zip(os.path.join(src, "c.jar"), [("c.txt", b""), ("bin/tool", b"replaced", {"mode": 0o100755})])
        trees = {}
        for threads in (1, 4):
            dest = os.path.join(work, "ours%d" % threads)
            status, _, err = self.unzip("-qqqo", os.path.join(src, "*.jar"), "-d", dest, threads=threads)
            self.assertEqual((status, err), (OK, ""))
            trees[threads] = tree(dest)
        # Info-ZIP takes a pattern's archives in directory order: one by one here.
        for name in ["a.jar", "b.jar", "c.jar"]:
            subprocess.run([ARGS.reference, "-qqqo", os.path.join(src, name), "-d", os.path.join(work, "theirs")],
                           capture_output=True, preexec_fn=lambda: os.umask(0o022))
        self.assertEqual(trees[4], trees[1])
        self.assertEqual(exec_bits(trees[4]), exec_bits(tree(os.path.join(work, "theirs"))))
        self.assertEqual(trees[4]["becomes-link"], ("l", "twice.txt"))
        self.assertEqual(trees[4]["twice.txt"][1], hashlib.sha256(b"three").hexdigest())

    def test_a_later_entry_wins_whatever_kinds_the_two_are(self):
        # Entries are made in order, a link like a file: the later of two at
        # one name replaces the earlier when it can, and fails when a
        # directory is in its way or a link is in the way of its directory.
        # Nothing is written through a link.
        link, file, directory = 0o120777, 0o100644, 0o40755
        big = os.urandom(1 << 20) * 16  # slow enough to still be written when the next comes
        cases = {
            # name: (entries, status)
            "link-then-file": ([("a", b"b", {"mode": link}), ("a", b"file", {"mode": file})], OK),
            "file-then-link": ([("a", b"file", {"mode": file}), ("a", b"b", {"mode": link})], OK),
            "link-then-link": ([("a", b"one", {"mode": link}), ("a", b"two", {"mode": link})], OK),
            "big-file-then-link": ([("a", big, {"mode": file}), ("a", b"b", {"mode": link})], OK),
            "link-then-big-file": ([("a", b"b", {"mode": link}), ("a", big, {"mode": file})], OK),
            "link-then-directory": ([("a", b"sub", {"mode": link}), ("sub/", b"", {"mode": directory}),
                                     ("a/", b"", {"mode": directory})], IO),
            "link-then-file-below": ([("sub/", b"", {"mode": directory}), ("a", b"sub", {"mode": link}),
                                      ("a/x.txt", b"x", {"mode": file})], IO),
            "dot-link-then-file-below": ([("a", b".", {"mode": link}), ("a/x.txt", b"x", {"mode": file})], IO),
            "directory-then-link": ([("a/", b"", {"mode": directory}), ("a", b"b", {"mode": link})], IO),
            "file-below-then-link": ([("a/x.txt", b"x", {"mode": file}), ("a", b".", {"mode": link})], IO),
        }
        for name, (entries, want) in cases.items():
            with self.subTest(name):
                archive = make_zip(self.path(name + ".zip"), entries)
                results = []
                for threads in (1, 4):
                    dest = self.path("ours-%s-%d" % (name, threads))
                    status, out, err = self.unzip("-o", archive, "-d", dest, threads=threads)
                    results.append((status, out.replace(dest, "DEST"), err.replace(dest, "DEST"), tree(dest)))
                self.assertEqual(results[1], results[0])
                status, _, err, found = results[0]
                self.assertEqual(status, want, err)
                if "link-then-file-below" in name:
                    # Not through the link, into what it leads to.
                    self.assertEqual([path for path in found if path.endswith("x.txt")], [])
                self.assertFalse(os.path.exists(self.path("x.txt")))
                if ARGS.reference:
                    theirs = self.path("theirs-" + name)
                    subprocess.run([ARGS.reference, "-qqo", archive, "-d", theirs], capture_output=True,
                                   preexec_fn=lambda: os.umask(0o022))
                    self.assertEqual(found, tree(theirs))
        digest = hashlib.sha256(big).hexdigest()
        self.assertEqual(tree(self.path("ours-link-then-file-1"))["a"][:2], ("f", hashlib.sha256(b"file").hexdigest()))
        self.assertEqual(tree(self.path("ours-link-then-big-file-4"))["a"][:2], ("f", digest))
        self.assertEqual(tree(self.path("ours-big-file-then-link-4"))["a"], ("l", "b"))
        self.assertEqual(tree(self.path("ours-dot-link-then-file-below-1")), {"a": ("l", ".")})
        # From archive to archive alike.
        make_zip(self.path("src/1.jar"), [("a", b"b", {"mode": link}), ("c", b"file", {"mode": file})])
        make_zip(self.path("src/2.jar"), [("a", b"file", {"mode": file}), ("c", b"b", {"mode": link})])
        status, _, err = self.unzip("-qqqo", "src/*.jar", "-d", "across", threads=4)
        self.assertEqual((status, err), (OK, ""))
        found = tree(self.path("across"))
        self.assertEqual((found["a"][0], found["c"]), ("f", ("l", "b")))

    def test_deep_names_take_no_more_descriptors_than_the_limit(self):
        # Entries at the depth limit, each in a tree of its own: every level
        # is a directory to open. With 64 descriptors in all the tool used
        # to run out within one entry.
        names = ["/".join("%d%03d" % (e, i) for i in range(255)) + "/f.txt" for e in range(6)]
        archive = make_zip(self.path("deep.zip"), [(n, n.encode()) for n in names] + [("after.txt", b"after")])
        for threads in (1, 4):
            with self.subTest(threads=threads):
                dest = "dest%d" % threads
                status, _, err = self.unzip("-qqqo", archive, "-d", dest, threads=threads, descriptors=64)
                self.assertEqual((status, err), (OK, ""))
                self.assertEqual(self.read(dest, "after.txt"), b"after")
                found = tree(self.path(dest))
                self.assertEqual(len(found), 6 * 256 + 1)
                for n in names:
                    self.assertEqual(found[n][1], hashlib.sha256(n.encode()).hexdigest())

    def test_a_name_of_4096_bytes_is_taken_and_one_byte_more_refused(self):
        # 4096 bytes in 17 components of at most 254 (a Linux name has 255).
        name = "/".join(["n" * 254] * 16) + "/" + "f" * 16
        self.assertEqual(len(name), 4096)
        archive = make_zip(self.path("long.zip"), [(name, b"long"), (name + "g", b"longer")])
        status, _, err = self.unzip("-qqqo", archive, "-d", "dest")
        self.assertEqual(status, INCOMPLETE, err)
        self.assertIn("(4097 bytes): refused: a name longer than 4096 bytes", err)
        # The path below the work directory is longer than PATH_MAX: read it a level at a time.
        fd = os.open(self.path("dest"), os.O_RDONLY)
        for part in name.split("/")[:-1]:
            fd, parent = os.open(part, os.O_RDONLY, dir_fd=fd), fd
            os.close(parent)
        self.assertEqual(sorted(os.listdir(fd)), ["f" * 16])
        with os.fdopen(os.open("f" * 16, os.O_RDONLY, dir_fd=fd), "rb") as f:
            self.assertEqual(f.read(), b"long")
        os.close(fd)

    @unittest.skipIf(os.environ.get("QEL_SANITIZE") == "ON", "sanitizer runtimes open files of their own")
    def test_every_descriptor_is_closed_on_exec(self):
        strace = shutil.which("strace")
        if not strace:
            self.skipTest("no strace")
        make_zip(self.path("src/a.jar"), self.sample_entries() + [("lnk", b"top.txt", {"mode": 0o120777})])
        make_zip(self.path("src/b.jar"), [("a/b/c/more.txt", b"more")])
        calls = "open,openat,openat2,creat,dup,dup2,dup3,fcntl,pipe,pipe2,socket,socketpair,accept4,memfd_create"
        # A file per thread, so that no call is split over two lines.
        done = subprocess.run([strace, "-ff", "-qq", "-e", "signal=none", "-e", "trace=" + calls, "-o", "trace",
                               ARGS.unzip, "-qqqo", "src/*.jar", "-d", "dest"], cwd=self.work, capture_output=True,
                              env=dict(os.environ, QEL_UNZIP_THREADS="4"))
        if done.returncode != 0 and b"ptrace" in done.stderr:
            self.skipTest("tracing is not allowed here")
        self.assertEqual(done.returncode, OK, done.stderr)
        lines = []
        for name in os.listdir(self.work):
            if name.startswith("trace."):
                with open(self.path(name)) as f:
                    lines += f.read().splitlines()
        opened = [line for line in lines if re.search(r"= \d+$", line)
                  and not re.search(r"\bfcntl\(\d+, F_(GET|SET)", line)]
        self.assertTrue(any('"src/a.jar"' in line for line in opened), lines)
        for line in opened:
            self.assertRegex(line, r"O_CLOEXEC|F_DUPFD_CLOEXEC|SOCK_CLOEXEC|MFD_CLOEXEC|PIPE.*CLOEXEC", line)

    def test_zip64_archive_with_70000_entries_matches_infozip(self):
        if not ARGS.reference:
            self.skipTest("no Info-ZIP unzip")
        work = scratch_dir(self)
        archive = os.path.join(work, "many.zip")
        with zipfile.ZipFile(archive, "w") as z:
            for i in range(70000):
                z.writestr("d%02d/f%05d" % (i % 70, i), b"%d" % i,
                           compress_type=zipfile.ZIP_DEFLATED if i % 10 == 0 else zipfile.ZIP_STORED)
        with open(archive, "rb") as f:
            f.seek(-22 - 20, os.SEEK_END)
            self.assertEqual(f.read(4), b"PK\x06\x07")  # the zip64 locator
        status, _, err = self.unzip("-qqqo", archive, "-d", os.path.join(work, "ours"))
        self.assertEqual((status, err), (OK, ""))
        done = subprocess.run([ARGS.reference, "-qqqo", archive, "-d", os.path.join(work, "theirs")],
                              capture_output=True, preexec_fn=lambda: os.umask(0o022))
        self.assertEqual(done.returncode, 0, done.stderr)
        # Tens of thousands of files: the system's tools compare them faster.
        listing = lambda root: subprocess.run(["find", ".", "-printf", "%p %y %m %s\n"], cwd=root,
                                              capture_output=True, check=True).stdout.splitlines()
        ours = sorted(listing(os.path.join(work, "ours")))
        self.assertEqual(len(ours), 70071)
        self.assertEqual(ours, sorted(listing(os.path.join(work, "theirs"))))
        subprocess.run(["diff", "-r", "ours", "theirs"], cwd=work, check=True)
        self.assertEqual(self.read_from(work, "ours/d69/f69999"), b"69999")

    def test_zip64_archives_that_lie_are_damage(self):
        one, two = b"first entry " * 100, b"second entry " * 50
        honest = [{"name": "one.txt", "data": one}, {"name": "two.txt", "data": two, "deflate": True}]
        def lie(index, **change):
            entries = [dict(entry) for entry in honest]
            entries[index].update(change)
            return entries
        big = 1 << 40
        cases = {
            # name: (entries, archive options, status, message, files left)
            "honest": (honest, {}, OK, "", ["one.txt", "two.txt"]),
            "stub": (honest, {"stub": b"#!/bin/sh\nexit 0\n" * 20}, OK, "", ["one.txt", "two.txt"]),
            "stored-size": (lie(0, size=big), {}, DAMAGED, "two different sizes", ["two.txt"]),
            "deflated-size": (lie(1, size=big), {}, DAMAGED, "less data than the recorded size", ["one.txt"]),
            "deflated-short": (lie(1, size=10), {}, DAMAGED, "more data than the recorded size", ["one.txt"]),
            "csize": (lie(1, csize=big), {}, DAMAGED, "overlaps another entry", ["one.txt"]),
            "csize-wraps": (lie(0, csize=(1 << 64) - 10), {}, DAMAGED, "overlaps another entry", []),
            "offset-into-other": (lie(1, offset=0), {}, DAMAGED, "overlaps another entry", []),
            "offset-beyond": (lie(1, offset=big), {}, DAMAGED, "", ["one.txt"]),
            "no-extra": (lie(0, extra=b""), {}, DAMAGED, "zip64 extra field", []),
            "short-extra": (lie(0, extra=struct.pack("<HHQ", 1, 8, len(one))), {}, DAMAGED, "zip64 extra field", []),
            "count": (honest, {"count": 1 << 60}, DAMAGED, "does not match its end record", []),
            "directory-offset": (honest, {"directory_offset": big}, DAMAGED, "not where it should be", []),
            "record-offset": (honest, {"record_offset": 7, "drop_record": True}, DAMAGED, "no zip64 end record", []),
        }
        for name, (entries, options, want, message, left) in cases.items():
            with self.subTest(name):
                archive = write_zip64(self.path(name + ".zip"), entries, **options)
                status, _, err = self.unzip("-qqqo", archive, "-d", self.path("out-" + name))
                self.assertEqual(status, want, err)
                self.assertIn(message, err)
                self.assertEqual(sorted(os.listdir(self.path("out-" + name))), left)
                for file in left:
                    self.assertEqual(self.read("out-" + name, file), one if file == "one.txt" else two)
        if ARGS.reference:
            done = subprocess.run([ARGS.reference, "-qqqo", self.path("honest.zip"), "-d", self.path("theirs")],
                                  capture_output=True)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(tree(self.path("theirs")), tree(self.path("out-honest")))

    def test_same_tree_as_infozip_for_crafted_archive(self):
        entries = [e for e in self.sample_entries() if "\\" not in e[0]]
        found = self.assert_same_as_reference(make_zip(self.path("crafted.zip"), entries))
        self.assertEqual(found["bin/run.sh"][2], 0o755)
        self.assertEqual(found["bin/private"][2], 0o600)
        self.assertEqual(found["bin/readonly"][2], 0o644)  # the owner keeps write
        self.assertIn("empty", found)

    def test_same_tree_as_infozip_for_zip_tool_archive_with_links(self):
        self.write("src/lib/tool", b"#!/bin/sh\n", 0o755)
        self.write("src/lib/data.txt", b"data\n" * 5000)
        self.write("src/legal/LICENSE", b"license\n")
        os.makedirs(self.path("src/legal/module"))
        os.symlink("../LICENSE", self.path("src/legal/module/LICENSE"))
        subprocess.run(["zip", "-qry", "../tool.zip", "."], cwd=self.path("src"), check=True)
        found = self.assert_same_as_reference(self.path("tool.zip"))
        self.assertEqual(found["legal/module/LICENSE"], ("l", "../LICENSE"))
        self.assertEqual(found["lib/tool"][2], 0o755)

    @unittest.skipUnless(ARGS.jar, "no jar tool")
    def test_same_tree_as_infozip_for_jar_tool_archive(self):
        self.write("classes/com/example/Main.class", os.urandom(3000))
        self.write("classes/com/example/res/text.properties", b"key=value\n" * 100)
        subprocess.run([ARGS.jar, "cf", "../app.jar", "."], cwd=self.path("classes"), check=True)
        found = self.assert_same_as_reference(self.path("app.jar"))
        self.assertIn("META-INF/MANIFEST.MF", found)

    def test_nested_stored_deflated_backslash_names_and_listing(self):
        archive = make_zip(self.path("s.zip"), self.sample_entries())
        status, out, err = self.unzip("-o", archive, "-d", "dest")
        self.assertEqual((status, err), (OK, ""))
        self.assertEqual(self.read("dest/a/b/c/deep.txt"), b"deep " * 1000)
        self.assertEqual(self.read("dest/win/style/name.txt"), b"backslashes")
        self.assertIn("   creating: dest/a/\n", out)
        self.assertIn("  inflating: dest/a/b/c/deep.txt\n", out)
        self.assertIn(" extracting: dest/a/stored.bin\n", out)
        status, out, err = self.unzip("-qo", archive, "-d", "dest2")
        self.assertEqual((status, out, err), (OK, "", ""))

    def test_restored_modes_follow_the_umask(self):
        stored = {"f666": 0o100666, "f777": 0o100777, "f444": 0o100444, "f600": 0o100600,
                  "suid": 0o104755, "sgid": 0o102775, "d1777/": 0o41777, "d777/": 0o40777,
                  "d555/": 0o40555, "d700/": 0o40700}
        expected = {
            0o077: {"f666": 0o600, "f777": 0o700, "f444": 0o600, "f600": 0o600, "suid": 0o700,
                    "sgid": 0o700, "d1777": 0o1700, "d777": 0o700, "d555": 0o700, "d700": 0o700},
            0o022: {"f666": 0o644, "f777": 0o755, "f444": 0o644, "f600": 0o600, "suid": 0o755,
                    "sgid": 0o755, "d1777": 0o1755, "d777": 0o755, "d555": 0o755, "d700": 0o700},
            # A umask that takes the owner's write: files and directories keep it.
            0o222: {"f666": 0o644, "f777": 0o755, "f444": 0o644, "f600": 0o600, "suid": 0o755,
                    "sgid": 0o755, "d1777": 0o1755, "d777": 0o755, "d555": 0o755, "d700": 0o700},
        }
        archive = make_zip(self.path("modes.zip"), [
            (name, b"" if name.endswith("/") else b"x", {"mode": mode}) for name, mode in stored.items()])
        for umask, want in expected.items():
            with self.subTest(umask=oct(umask)):
                dest = "out%o" % umask
                status, _, err = self.unzip("-qqqo", archive, "-d", dest, umask=umask)
                self.assertEqual(status, OK, err)
                got = {name: stat.S_IMODE(os.lstat(self.path(dest, name)).st_mode) for name in want}
                self.assertEqual({k: oct(v) for k, v in got.items()}, {k: oct(v) for k, v in want.items()})
        # Info-ZIP keeps stored modes whatever the umask; the two agree where
        # the umask takes nothing away and no special bit is stored.
        if ARGS.reference:
            subprocess.run([ARGS.reference, "-qqo", archive, "-d", self.path("theirs")], check=True,
                           preexec_fn=lambda: os.umask(0o022))
            for name in ["f600", "d700"]:
                self.assertEqual(stat.S_IMODE(os.lstat(self.path("theirs", name)).st_mode),
                                 expected[0o022][name], name)

    def test_modes_are_exact_under_a_default_acl(self):
        # A default ACL takes the umask's place for what is created below it;
        # the restored modes must not depend on it.
        os.makedirs(self.path("dest"))
        if not set_default_acl(self.path("dest"), 7, 5, 0):
            self.skipTest("no ACLs on this file system")
        archive = make_zip(self.path("acl.zip"), [
            ("run", b"x", {"mode": 0o100755}), ("sub/", b"", {"mode": 0o40755}),
            ("sub/data", b"d", {"mode": 0o100644}), ("sub/deeper/plain", b"p")])
        for threads in (1, 4):
            with self.subTest(threads=threads):
                dest = "dest/t%d" % threads
                status, _, err = self.unzip("-qqqo", archive, "-d", dest, threads=threads)
                self.assertEqual(status, OK, err)
                modes = {name: oct(stat.S_IMODE(os.lstat(self.path(dest, name)).st_mode))
                         for name in ["run", "sub", "sub/data"]}
                self.assertEqual(modes, {"run": "0o755", "sub": "0o755", "sub/data": "0o644"})

    def test_overwrites_changed_readonly_files_and_replaces_links(self):
        archive = make_zip(self.path("o.zip"), [("d/f.txt", b"new"), ("d/g.txt", b"fresh")])
        self.write("dest/d/f.txt", b"old and longer", 0o444)
        outside = self.path("outside.txt")
        self.write("outside.txt", b"keep")
        os.symlink(outside, self.path("dest/d/g.txt"))
        status, _, err = self.unzip("-qqqo", archive, "-d", "dest")
        self.assertEqual(status, OK, err)
        self.assertEqual(self.read("dest/d/f.txt"), b"new")
        self.assertEqual(self.read("dest/d/g.txt"), b"fresh")
        self.assertEqual(self.read("outside.txt"), b"keep")
        self.assertFalse(os.path.islink(self.path("dest/d/g.txt")))

    def test_escaping_names_are_refused_and_nothing_lands_outside(self):
        bad = ["/abs.txt", "\\abs2.txt", "../up.txt",
               "a/../../up2.txt", "..\\up3.txt", "a\\..\\..\\up4.txt", "a/b/../../../up5.txt",
               "x/..", "ok?nul.txt"]
        entries = [(name, b"evil") for name in bad] + [("good/ok.txt", b"fine")]
        entries.append(("evil-link", b"../outside", {"mode": 0o120777}))
        entries.append(("abs-link", b"/etc", {"mode": 0o120777}))
        entries.append(("in/fine-link", b"../good/ok.txt", {"mode": 0o120777}))
        archive = make_zip(self.path("bad.zip"), entries)
        with open(archive, "rb") as f:
            raw = f.read().replace(b"ok?nul", b"ok\0nul")  # zipfile cuts names at NUL
        with open(archive, "wb") as f:
            f.write(raw)
        os.makedirs(self.path("deep/dest"))
        before = sorted(os.listdir(self.work))
        status, _, err = self.unzip("-qqqo", archive, "-d", self.path("deep/dest"))
        self.assertEqual(status, INCOMPLETE, err)
        self.assertEqual(err.count("refused"), len(bad) + 2, err)
        self.assertEqual(sorted(os.listdir(self.work)), before)
        self.assertEqual(os.listdir(self.path("deep")), ["dest"])
        self.assertEqual(tree(self.path("deep/dest")), {
            "good": ("d", 0o111), "good/ok.txt": ("f", hashlib.sha256(b"fine").hexdigest(), 0o644),
            "in": ("d", 0o111), "in/fine-link": ("l", "../good/ok.txt")})

    def test_names_only_windows_reserves_are_kept_on_linux(self):
        names = ["a:b", "c:/x.txt", "C:drive.txt", "CON.txt"]
        found = self.assert_same_as_reference(
            make_zip(self.path("names.zip"), [(n, n.encode()) for n in names]))
        self.assertEqual(set(found), set(names) | {"c:"})
        # Info-ZIP recodes non-ASCII names by the locale; ours keeps the bytes.
        names = ["COM\u00b9", "lpt\u00b2.txt"]
        make_zip(self.path("ports.zip"), [(n, n.encode()) for n in names])
        status, _, err = self.unzip("-qqqo", "ports.zip", "-d", "ports")
        self.assertEqual(status, OK, err)
        self.assertEqual(sorted(os.listdir(self.path("ports"))), sorted(names))

    def test_links_never_climb_out_through_another_link(self):
        # "here" -> "." is harmless alone, but "up" -> "here/.." would name
        # the destination's parent; a ".." after a name is refused.
        archive = make_zip(self.path("chain.zip"), [
            ("here", b".", {"mode": 0o120777}),
            ("up", b"here/..", {"mode": 0o120777}),
            ("a/b/up2", b"../x/../..", {"mode": 0o120777}),
            ("a/b/fine", b"../../here/a", {"mode": 0o120777})])
        os.makedirs(self.path("deep/dest"))
        status, _, err = self.unzip("-qqqo", archive, "-d", self.path("deep/dest"))
        self.assertEqual(status, INCOMPLETE, err)
        self.assertEqual(err.count("refused"), 2, err)
        self.assertEqual(tree(self.path("deep/dest")), {
            "here": ("l", "."), "a": ("d", 0o111), "a/b": ("d", 0o111),
            "a/b/fine": ("l", "../../here/a")})

    def test_never_writes_through_a_link_in_the_destination(self):
        os.makedirs(self.path("elsewhere"))
        os.makedirs(self.path("dest"))
        os.symlink(self.path("elsewhere"), self.path("dest/lib"))
        archive = make_zip(self.path("l.zip"), [("lib/x.txt", b"x"), ("other.txt", b"o")])
        status, _, err = self.unzip("-qqqo", archive, "-d", "dest")
        self.assertEqual(status, IO)
        self.assertIn("lib/x.txt", err)
        self.assertEqual(os.listdir(self.path("elsewhere")), [])
        self.assertEqual(self.read("dest/other.txt"), b"o")

    def test_damaged_archives(self):
        good = make_zip(self.path("good.zip"), [("a.txt", b"A" * 5000, {"stored": True}),
                                                ("b.txt", b"B" * 5000), ("c.txt", b"C")])
        with open(good, "rb") as f:
            data = f.read()

        def variant(name, change):
            raw = bytearray(data)
            change(raw)
            with open(self.path(name), "wb") as f:
                f.write(raw)
            return name

        def flip_stored(raw):
            raw[raw.index(b"AAAA") + 10] ^= 1

        def flip_deflated(raw):
            at = raw.index(b"b.txt") + 5
            for i in range(at, at + 20):
                raw[i] ^= 0x55

        cases = {
            "crc.zip": (variant("crc.zip", flip_stored), "CRC", ["b.txt", "c.txt"]),
            "bad-deflate.zip": (variant("bad-deflate.zip", flip_deflated), "damaged", ["a.txt", "c.txt"]),
            "truncated.zip": (variant("truncated.zip", lambda raw: raw.__delitem__(slice(len(raw) // 2, None))),
                              "truncated", []),
        }
        self.write("text.zip", b"this is no archive\n" * 10)
        cases["text.zip"] = ("text.zip", "not a zip archive", [])
        for name, (archive, message, survivors) in cases.items():
            with self.subTest(name):
                status, _, err = self.unzip("-qqqo", archive, "-d", "out-" + name)
                self.assertEqual(status, DAMAGED, err)
                self.assertIn(message, err)
                left = sorted(os.listdir(self.path("out-" + name)))
                self.assertEqual(left, survivors)

    def test_unsupported_methods(self):
        with zipfile.ZipFile(self.path("bz.zip"), "w") as archive:
            archive.writestr("plain.txt", b"plain")
            archive.writestr("bz.txt", b"bz" * 100, compress_type=zipfile.ZIP_BZIP2)
        status, _, err = self.unzip("-qqqo", "bz.zip", "-d", "o2")
        self.assertEqual(status, INCOMPLETE)
        self.assertIn("bz.txt: compression method 12", err)
        self.assertEqual(os.listdir(self.path("o2")), ["plain.txt"])

    def test_wildcard_matches_several_archives_in_sorted_order(self):
        make_zip(self.path("src/b.jar"), [("same.txt", b"from b"), ("only-b.txt", b"b")])
        make_zip(self.path("src/a.jar"), [("same.txt", b"from a"), ("only-a.txt", b"a")])
        make_zip(self.path("src/c.JAR"), [("only-c.txt", b"c")])
        make_zip(self.path("src/notes.zip"), [("notes.txt", b"n")])
        os.makedirs(self.path("src/dir.jar"))
        # The launcher's quoted pattern reaches the program as one argument.
        # A directory that matches holds no archive: it is told, and the
        # archives around it are expanded all the same.
        status, _, err = self.unzip("-qqqo", "src/*.jar", "-d", "dest")
        self.assertEqual((status, err), (IO, "unzip: src/dir.jar: cannot open: not a regular file (a directory)\n"))
        self.assertEqual(sorted(os.listdir(self.path("dest"))), ["only-a.txt", "only-b.txt", "same.txt"])
        self.assertEqual(self.read("dest/same.txt"), b"from b")
        status, _, err = self.unzip("-qo", "src/?.jar", "-dsingle")
        self.assertEqual(status, OK, err)
        self.assertEqual(len(os.listdir(self.path("single"))), 3)

    def test_source_directory_with_doubled_and_trailing_slashes(self):
        make_zip(self.path("stage/DataFiles/a.jar"), [("a.txt", b"a")])
        # "\\" is an ordinary name character on Linux, in directories and in
        # names beside the pattern alike.
        make_zip(self.path("back\\slash/b.jar"), [("b.txt", b"b")])
        make_zip(self.path("stage\\c.jar"), [("c.txt", b"c")])
        cases = [
            ("stage/DataFiles//*.jar", ["a.txt"]),
            ("./stage//DataFiles///*.jar", ["a.txt"]),
            (self.path("stage", "DataFiles") + "//*.jar", ["a.txt"]),
            ("back\\slash//*.jar", ["b.txt"]),
            ("stage\\*.jar", ["c.txt"]),
        ]
        for n, (arg, want) in enumerate(cases):
            with self.subTest(arg=arg):
                status, _, err = self.unzip("-qqqo", arg, "-d", "out%d" % n)
                self.assertEqual(status, OK, err)
                self.assertEqual(sorted(os.listdir(self.path("out%d" % n))), want)
        status, _, err = self.unzip("-qqqo", "stage\\DataFiles/*.jar", "-d", "none")
        self.assertEqual((status, "cannot list stage\\DataFiles" in err), (NO_ARCHIVE, True), err)

    def test_command_line_errors(self):
        make_zip(self.path("x.zip"), [("x.txt", b"x")])
        os.makedirs(self.path("src"))
        cases = [
            (["-qqqo", "src/*.jar", "-d", "d"], NO_ARCHIVE, "no archive matches"),
            (["-qqqo", "missing.zip", "-d", "d"], NO_ARCHIVE, "cannot find archive"),
            (["-qqqo", "nodir/*.jar", "-d", "d"], NO_ARCHIVE, "cannot list"),
            (["-x", "x.zip"], USAGE, "unknown option -x"),
            (["-qqqo", "-d", "d"], USAGE, "no archive given"),
            (["x.zip", "-d"], USAGE, "needs a directory"),
            (["x.zip", "y.zip"], USAGE, "unexpected argument"),
        ]
        for args, want, message in cases:
            with self.subTest(args=args):
                status, _, err = self.unzip(*args)
                self.assertEqual(status, want, err)
                self.assertIn(message, err)
        self.assertFalse(os.path.exists(self.path("d")))
        self.write("blocker", b"a file")
        status, _, err = self.unzip("-qqqo", "x.zip", "-d", "blocker/sub")
        self.assertEqual(status, IO, err)

    @unittest.skipIf(os.environ.get("QEL_SANITIZE") == "ON", "sanitizers reserve much address space")
    def test_large_entry_is_streamed(self):
        size = 256 << 20
        with zipfile.ZipFile(self.path("big.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
            with archive.open("zeros.bin", "w") as f:
                chunk = bytes(1 << 20)
                for _ in range(size >> 20):
                    f.write(chunk)
        import resource

        def limit_memory():
            resource.setrlimit(resource.RLIMIT_AS, (128 << 20, 128 << 20))

        done = subprocess.run([ARGS.unzip, "-qqqo", "big.zip", "-d", "dest"], cwd=self.work,
                              capture_output=True, preexec_fn=limit_memory)
        self.assertEqual(done.returncode, OK, done.stderr)
        self.assertEqual(os.path.getsize(self.path("dest/zeros.bin")), size)


@unittest.skipUnless(ARGS.wine, "Windows binary under Wine")
class WineExpansion(ExpanderTest):
    def test_launcher_command_line_expands_every_matching_archive(self):
        make_zip(self.path("src/a.jar"), self.sample_entries())
        make_zip(self.path("src/B.JAR"), [("a/b/from-b.txt", b"b")])
        make_zip(self.path("src/skip.zip"), [("skip.txt", b"s")])
        status, out, err = self.unzip_line('-qqqo src/"*.jar" -d "out dir" ')
        self.assertEqual((status, out.strip(), err), (OK, "", ""))
        self.assertEqual(self.read("out dir/a/b/c/deep.txt"), b"deep " * 1000)
        self.assertEqual(self.read("out dir/a/b/from-b.txt"), b"b")
        self.assertEqual(self.read("out dir/win/style/name.txt"), b"backslashes")
        self.assertFalse(os.path.exists(self.path("out dir/skip.txt")))
        status, out, _ = self.unzip_line('-o src\\a.jar -d "out dir" ')
        self.assertEqual(status, OK)
        self.assertIn("inflating: ", out)

    def test_source_directory_written_the_windows_way(self):
        data_files = "stage/Components/quelta.swd.qti/1.0/1/DataFiles"
        make_zip(self.path(data_files, "a.jar"), [("a/x.txt", b"x")])
        make_zip(self.path(data_files, "b.JAR"), [("b.txt", b"b")])
        install = self.path("install")
        absolute = "Z:" + self.path(data_files).replace("/", "\\")
        forms = [
            # The launcher's command with the medium's default locations.
            '..\\stage\\Components\\quelta.swd.qti\\1.0\\1\\DataFiles\\/"*.jar"',
            '..\\\\stage/Components//quelta.swd.qti\\/1.0/1\\DataFiles\\\\"*.jar"',
            './/..//stage//Components/quelta.swd.qti/1.0/1/DataFiles//"*.jar"',
            absolute + '\\\\/"*.jar"',
            '"' + absolute + '/"*.jar',
        ]
        for n, source in enumerate(forms):
            with self.subTest(source=source):
                status, _, err = self.unzip_line('-qqqo %s -d "out%d" ' % (source, n), cwd=install)
                self.assertEqual(status, OK, err)
                self.assertEqual(self.read("install", "out%d" % n, "a", "x.txt"), b"x")
                self.assertEqual(self.read("install", "out%d" % n, "b.txt"), b"b")

    LOOK_ALIKES = ["\uff0e\uff0e\uff3c\uff0e\uff0e\uff3cvictim\uff3cimportant.txt",
                   "a/\uff0e\uff0e/x.txt", "\u65e5\u672c\u8a9e.txt"]

    def test_names_in_any_language_are_single_names_under_the_utf8_code_page(self):
        make_zip(self.path("cp.zip"), [(n, b"data") for n in self.LOOK_ALIKES])
        status, _, err = self.unzip_line('-qqqo cp.zip -d "dest" ')
        self.assertEqual(status, OK, err)
        self.assertEqual(sorted(os.listdir(self.path("dest"))), sorted(
            ["\uff0e\uff0e\uff3c\uff0e\uff0e\uff3cvictim\uff3cimportant.txt", "a",
             "\u65e5\u672c\u8a9e.txt"]))
        self.assertEqual(os.listdir(self.path("dest", "a")), ["\uff0e\uff0e"])
        self.assertEqual(sorted(os.listdir(self.work)), ["cp.zip", "dest", "run.bat", "unzip.exe"])

    def test_names_that_change_under_the_ansi_code_page_are_refused(self):
        # Without the UTF-8 code page, Wine's ANSI code page here is 1252:
        # best fit would turn the full-width dots and backslashes into ".."
        # and "\\" for a later walk with the ANSI functions.
        refused = self.LOOK_ALIKES
        kept = ["\u00e4\u00f6\u00fc.txt", "plain/ok.txt"]
        make_zip(self.path("cp.zip"), [(n, b"data") for n in refused + kept])
        status, _, err = self.unzip_line('-qqqo cp.zip -d "dest" ', legacy_code_page=True)
        self.assertEqual(status, INCOMPLETE, err)
        self.assertEqual(err.count("refused: a name that the ANSI code page 1252 cannot hold"),
                         len(refused), err)
        self.assertEqual(sorted(os.listdir(self.path("dest"))), ["plain", "\u00e4\u00f6\u00fc.txt"])
        self.assertEqual(self.read("dest", "\u00e4\u00f6\u00fc.txt"), b"data")

    def test_never_writes_through_links_already_in_the_destination(self):
        # Wine 8 makes no Windows links (mklink and CreateSymbolicLinkW do
        # nothing), so the links are Unix ones seen through drive Z:. Wine
        # opens through them, and deleting such a name deletes its target:
        # the tool must notice where a handle really leads.
        self.write("outside/target.txt", b"keep")
        self.write("outside/h.txt", b"hard")
        self.write("dest/ro.txt", b"old", 0o444)
        os.symlink("../outside", self.path("dest/l"))
        os.symlink("../outside", self.path("dest/dlink"))
        os.symlink("../outside/target.txt", self.path("dest/flink"))
        os.link(self.path("outside/h.txt"), self.path("dest/hard"))
        before = tree(self.path("outside"))
        entries = ["l/x.txt", "l/", "flink", "dlink", "hard", "ro.txt", "fine.txt"]
        make_zip(self.path("links.zip"), [(n, b"new " + n.encode()) for n in entries])
        status, _, err = self.unzip_line('-qqqo links.zip -d "dest" ')
        self.assertEqual(status, IO, err)
        self.assertEqual(err.count("a link or junction is in the way of a directory"), 2, err)
        self.assertEqual(err.count("a link is in the way"), 2, err)
        self.assertEqual(tree(self.path("outside")), before)
        self.assertEqual(self.read("dest", "hard"), b"new hard")
        self.assertEqual(self.read("dest", "ro.txt"), b"new ro.txt")
        self.assertEqual(self.read("dest", "fine.txt"), b"new fine.txt")
        self.assertTrue(os.path.islink(self.path("dest/flink")))

    def at_console(self, *args):
        """Runs the Windows build with argv in a terminal of its own, which
        Wine makes its console; returns its status and the text the terminal
        showed, cursor moves taken as the blanks they stand for."""
        shutil.copy(ARGS.unzip, self.path("unzip.exe"))
        master, slave = pty.openpty()
        env = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
        env.pop("QEL_UNZIP_THREADS", None)
        child = subprocess.Popen(["wine", "unzip.exe", *args], cwd=self.work, stdin=slave, stdout=slave,
                                 stderr=slave, env=env, start_new_session=True)
        os.close(slave)
        seen = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:  # the terminal's other end closed
                break
            if not chunk:
                break
            seen += chunk
        os.close(master)
        status = child.wait(timeout=120)
        seen = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m.group(1) or 1), seen)
        seen = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07|\r", b"", seen)
        return status, seen.decode("utf-8", errors="replace")

    def test_names_in_any_language_show_as_they_are_at_a_console(self):
        # A console takes the messages in UTF-16, whatever its code page;
        # redirected, they stay UTF-8 bytes.
        names = ["\u00e4\u00f6\u00fc.txt", "\u65e5\u672c\u8a9e/\u0436\u0443\u043a.txt"]
        make_zip(self.path("names.zip"), [(n, b"x") for n in names] + [("../\u00e9vil.txt", b"evil")])
        status, shown = self.at_console("-o", "names.zip", "-d", "out")
        self.assertEqual(status, INCOMPLETE, shown)
        for text in ["out\\\u00e4\u00f6\u00fc.txt", "out\\\u65e5\u672c\u8a9e\\\u0436\u0443\u043a.txt",
                     "unzip: names.zip: ../\u00e9vil.txt: refused"]:
            self.assertIn(text, shown)
        status, out, err = self.unzip_line('-o names.zip -d "piped" ')
        self.assertEqual(status, INCOMPLETE, err)
        self.assertIn("piped\\\u00e4\u00f6\u00fc.txt", out)
        self.assertIn("names.zip: ../\u00e9vil.txt: refused", err)

    def test_device_names_with_superscript_digits_are_refused(self):
        refused = ["COM\u00b9", "lpt\u00b2.txt", "Com\u00b3.tar.gz", "a/LPT\u00b9 .txt", "a:b"]
        kept = ["COM\u00b90.txt", "COM10.txt"]
        make_zip(self.path("dev.zip"), [(n, b"x") for n in refused + kept])
        status, _, err = self.unzip_line('-qqqo dev.zip -d "dest" ')
        self.assertEqual(status, INCOMPLETE, err)
        self.assertEqual(err.count("refused"), len(refused), err)
        self.assertEqual(sorted(os.listdir(self.path("dest"))), sorted(kept))

    def test_refusals_and_damage(self):
        bad = ["../up.txt", "..\\up2.txt", "C:\\drive.txt", "\\abs.txt", "a/CON", "a/nul.txt",
               "stream.txt:hidden", "dots...", "a/.. /x.txt"]
        make_zip(self.path("bad.zip"), [(n, b"evil") for n in bad] + [("good.txt", b"g")])
        status, _, err = self.unzip_line('-qqqo "bad.zip" -d "dest" ')
        self.assertEqual(status, INCOMPLETE, err)
        self.assertEqual(err.count("refused"), len(bad), err)
        self.assertEqual(os.listdir(self.path("dest")), ["good.txt"])
        with open(make_zip(self.path("ok.zip"), [("s.txt", b"S" * 100, {"stored": True})]), "rb") as f:
            data = bytearray(f.read())
        data[data.index(b"SSSS")] ^= 1
        with open(self.path("crc.zip"), "wb") as f:
            f.write(data)
        status, _, err = self.unzip_line('-qqqo crc.zip -d "dest2" ')
        self.assertEqual(status, DAMAGED, err)
        self.assertIn("CRC", err)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v", *REST])
