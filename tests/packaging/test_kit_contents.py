#!/usr/bin/env python3
"""The kit's packages hold exactly the kit, and the kit's sample parameter
file and reference page name every key the launcher reads.

Usage: test_kit_contents.py PACKAGES VERSION SOURCE_DIR LINUX_BUILD WIN32_BUILD WIN64_BUILD
"""
import glob
import hashlib
import io
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import time
import unittest
import zipfile

PACKAGES, VERSION, SOURCE, LINUX_BUILD, WIN32_BUILD, WIN64_BUILD = sys.argv[1:7]
DEB_PREFIX = 'opt/qelsetup/install/'


def kit_files(exe):
    """What install/ must hold: the programs (the medium checker among them),
    one catalogue per source, the sample parameter file and the README."""
    names = ['setup' + exe, 'unzip' + exe, 'qelcheck' + exe, 'qelparam.ini', 'README.txt']
    for source in glob.glob(os.path.join(SOURCE, 'resource', 'cons*.msg')):
        names.append('resource/' + os.path.basename(source)[:-4] + '.nls')
    return sorted(names)


def package(name):
    path = os.path.join(PACKAGES, name)
    if not os.path.isfile(path):
        raise AssertionError(f'{name} missing; the folder holds {sorted(os.listdir(PACKAGES))}')
    return path


def build_file(build, name, stripped=False):
    """The build's file; a Linux program as the packages strip it."""
    path = os.path.join(build, name)
    if stripped:
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run(['strip', '-o', os.path.join(tmp, 'f'), path], check=True)
            with open(os.path.join(tmp, 'f'), 'rb') as f:
                return f.read()
    with open(path, 'rb') as f:
        return f.read()


class WindowsKit:
    """The kit of one Windows build; a subclass names it."""
    SYSTEM = BUILD = PLATFORM = None

    def setUp(self):
        self.zip = zipfile.ZipFile(package(f'qelsetup-{VERSION}-{self.SYSTEM}.zip'))
        self.names = self.zip.namelist()

    def test_exactly_the_kit_below_install(self):
        files = sorted(n[len('install/'):] for n in self.names if not n.endswith('/'))
        self.assertTrue(all(n.startswith('install/') for n in self.names), self.names)
        self.assertEqual(files, kit_files('.exe'))

    def test_the_built_programs_and_catalogues_unchanged_and_unsigned(self):
        for name in kit_files('.exe'):
            if name.endswith(('.exe', '.nls')):
                self.assertEqual(self.zip.read('install/' + name), build_file(self.BUILD, name), name)

    def test_texts_have_windows_line_ends(self):
        for name in ('qelparam.ini', 'README.txt'):
            text = self.zip.read('install/' + name)
            self.assertEqual(text.count(b'\n'), text.count(b'\r\n'), name)
        readme = self.zip.read('install/README.txt')
        self.assertIn(b'setup.exe', readme)
        self.assertIn(b'for ' + self.PLATFORM.encode(), readme.splitlines()[0])
        # The README tells product teams to run the checker it lists.
        self.assertIn(b'qelcheck.exe [--quiet] [INSTALL_DIR]', readme)

    def test_unpacked_programs_keep_their_modes_elsewhere(self):
        # Unpacked on Linux (a build machine making a medium), the programs
        # stay executable and nothing else becomes so.
        for info in self.zip.infolist():
            mode = info.external_attr >> 16
            expected = 0o755 if info.filename.endswith(('/', '.exe')) else 0o644
            self.assertEqual(mode & 0o777, expected, info.filename)


class Windows32Kit(WindowsKit, unittest.TestCase):
    SYSTEM, BUILD, PLATFORM = 'win32', WIN32_BUILD, '32-bit Windows'


class Windows64Kit(WindowsKit, unittest.TestCase):
    SYSTEM, BUILD, PLATFORM = 'win64', WIN64_BUILD, '64-bit Windows (x64)'


class LinuxKit(unittest.TestCase):
    def test_archive_holds_exactly_the_kit_with_modes(self):
        with tarfile.open(package(f'qelsetup-{VERSION}-linux-x86_64.tar.gz')) as tar:
            members = {m.name: m for m in tar.getmembers() if m.isfile()}
            self.assertTrue(all(n == 'install' or n.startswith('install/') for n in tar.getnames()))
            self.assertEqual(sorted(n[len('install/'):] for n in members), kit_files(''))
            for name, member in members.items():
                program = name in ('install/setup', 'install/unzip', 'install/qelcheck')
                self.assertEqual(bool(member.mode & 0o111), program, name)
                if program or name.endswith('.nls'):
                    data = tar.extractfile(member).read()
                    expected = build_file(LINUX_BUILD, name[len('install/'):], stripped=program)
                    self.assertEqual(data, expected, name)
            ini = tar.extractfile(members['install/qelparam.ini']).read()
            self.assertNotIn(b'\r', ini)

    def test_deb_installs_the_kit_below_opt(self):
        deb = package(f'qelsetup_{VERSION}_amd64.deb')
        listing = subprocess.run(['dpkg-deb', '-c', deb], check=True, capture_output=True,
                                 text=True).stdout
        files = []
        for line in listing.splitlines():
            mode, path = line.split()[0], line.split()[-1]
            if mode.startswith('-'):
                path = path[2:] if path.startswith('./') else path
                self.assertTrue(path.startswith(DEB_PREFIX), path)
                files.append(path[len(DEB_PREFIX):])
                self.assertEqual('x' in mode, path.endswith(('/setup', '/unzip', '/qelcheck')), path)
        self.assertEqual(sorted(files), kit_files(''))

        def field(name):
            return subprocess.run(['dpkg-deb', '-f', deb, name], check=True,
                                  capture_output=True, text=True).stdout.strip()
        self.assertEqual(field('Package'), 'qelsetup')
        self.assertEqual(field('Version'), VERSION)
        # The unzip program links zlib: a machine without it gets it with the kit.
        self.assertIn('zlib1g', field('Depends'))


def commit_time():
    """The time package.sh stamps on every entry: the checked-out commit's."""
    done = subprocess.run(['git', '-C', SOURCE, 'log', '-1', '--format=%ct'],
                          capture_output=True, text=True)
    return int(done.stdout) if done.returncode == 0 and done.stdout.strip() else None


class Reproducible(unittest.TestCase):
    """What makes a package depend on its files alone, checked on the one
    set of packages (tests/packaging/test_reproducible.sh builds twice)."""

    def setUp(self):
        self.epoch = commit_time()
        if self.epoch is None:
            self.skipTest('not a git checkout: no commit time to compare with')

    def test_every_entry_has_the_commits_time_and_root_as_owner(self):
        for system in ('win32', 'win64'):
            with zipfile.ZipFile(package(f'qelsetup-{VERSION}-{system}.zip')) as z:
                for info in z.infolist():
                    # DOS time counts seconds in twos: an odd second is stored one less.
                    stamp = time.gmtime(self.epoch)[:6]
                    self.assertEqual(info.date_time, stamp[:5] + (stamp[5] - stamp[5] % 2,), info.filename)
                    self.assertEqual(info.extra, b'', f'{info.filename}: extra fields (owner, times)')
        with tarfile.open(package(f'qelsetup-{VERSION}-linux-x86_64.tar.gz')) as tar:
            for member in tar.getmembers():
                self.assertEqual((member.mtime, member.uid, member.gid, member.uname, member.gname),
                                 (self.epoch, 0, 0, 'root', 'root'), member.name)
        deb = package(f'qelsetup_{VERSION}_amd64.deb')
        listing = subprocess.run(['dpkg-deb', '--fsys-tarfile', deb], check=True, capture_output=True).stdout
        with tarfile.open(fileobj=io.BytesIO(listing)) as tar:
            for member in tar.getmembers():
                self.assertEqual((member.mtime, member.uid, member.gid), (self.epoch, 0, 0), member.name)

    def test_the_checksum_list_names_each_package_with_its_sha256(self):
        with open(package('SHA256SUMS'), encoding='ascii') as f:
            listed = dict(reversed(line.split(None, 1)) for line in f.read().splitlines())
        listed = {name.lstrip('*'): digest for name, digest in listed.items()}
        names = [n for n in os.listdir(PACKAGES) if n != 'SHA256SUMS']
        self.assertEqual(sorted(listed), sorted(names))
        for name in names:
            with open(os.path.join(PACKAGES, name), 'rb') as f:
                self.assertEqual(listed[name], hashlib.sha256(f.read()).hexdigest(), name)


def launcher_keys():
    """Every key the launcher reads from section Quelta: the rows of its key
    table, and any key read by name elsewhere in its sources."""
    with open(os.path.join(SOURCE, 'params', 'param_keys.cpp'), encoding='utf-8') as f:
        keys = set(re.findall(r'(?m)^\s*\{"([A-Z_]+)",', f.read()))
    pattern = re.compile(r'\b(?:GetParamValue|kParamSection,)\s*\(?\s*"([A-Z_]+)"')
    for pattern_dir in ('params', 'launcher'):
        for path in glob.glob(os.path.join(SOURCE, pattern_dir, '*.cpp')):
            with open(path, encoding='utf-8') as f:
                keys.update(pattern.findall(f.read()))
    return keys


class ParameterKeys(unittest.TestCase):
    def setUp(self):
        self.keys = launcher_keys()
        # A change that hides the keys from the search above must not pass
        # for a sample without omissions.
        self.assertGreaterEqual(len(self.keys), 30, sorted(self.keys))

    def test_the_sample_names_every_key(self):
        with open(os.path.join(SOURCE, 'packaging', 'qelparam.ini'), encoding='utf-8') as f:
            sample = set(re.findall(r'(?m)^;?([A-Z_]+)=', f.read()))
        self.assertEqual(sorted(self.keys - sample), [], 'keys missing from the sample')
        self.assertEqual(sorted(sample - self.keys), [], 'keys the launcher does not read')

    def test_the_reference_page_describes_every_key(self):
        with open(os.path.join(SOURCE, 'docs', 'parameters.md'), encoding='utf-8') as f:
            headings = set(re.findall(r'(?m)^### `([A-Z_]+)`', f.read()))
        self.assertEqual(sorted(self.keys - headings), [], 'keys without a section in docs/parameters.md')


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
