#!/usr/bin/env python3
"""Every program the packages ship is stripped and stays within its budget
(packaging/size_budgets.txt), and every program they ship has one.

Usage: test_kit_sizes.py PACKAGES VERSION BUDGETS
"""
import io
import os
import struct
import subprocess
import sys
import tarfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_resources  # noqa: E402

PACKAGES, VERSION, BUDGETS = sys.argv[1:4]


def read_budgets(path):
    """{(package, program): bytes} from the budget file."""
    budgets = {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            words = line.split('#', 1)[0].split()
            if not words:
                continue
            if len(words) != 3 or not words[2].isdigit():
                raise AssertionError(f'{path}:{number}: expected "package program bytes": {line!r}')
            key = (words[0], words[1])
            if key in budgets:
                raise AssertionError(f'{path}:{number}: {key} has a budget already')
            budgets[key] = int(words[2])
    return budgets


def zip_programs(name):
    with zipfile.ZipFile(os.path.join(PACKAGES, name)) as z:
        return {i.filename.rsplit('/', 1)[-1]: z.read(i) for i in z.infolist() if i.filename.endswith('.exe')}


def tar_programs(tar):
    return {m.name.rsplit('/', 1)[-1]: tar.extractfile(m).read()
            for m in tar.getmembers() if m.isfile() and m.mode & 0o111}


def packaged_programs():
    """{package kind: {program: bytes}} for every package of the folder."""
    out = {}
    for system in ('win32', 'win64'):
        out[system] = zip_programs(f'qelsetup-{VERSION}-{system}.zip')
    with tarfile.open(os.path.join(PACKAGES, f'qelsetup-{VERSION}-linux-x86_64.tar.gz')) as tar:
        out['linux'] = tar_programs(tar)
    data = subprocess.run(['dpkg-deb', '--fsys-tarfile', os.path.join(PACKAGES, f'qelsetup_{VERSION}_amd64.deb')],
                          check=True, capture_output=True).stdout
    with tarfile.open(fileobj=io.BytesIO(data)) as tar:
        out['deb'] = tar_programs(tar)
    return out


def elf_section_names(data):
    if data[:4] != b'\x7fELF' or data[4] != 2:
        raise AssertionError('not a 64-bit ELF file')
    shoff, = struct.unpack_from('<Q', data, 0x28)
    entsize, count, names_index = struct.unpack_from('<HHH', data, 0x3A)
    def header(i):
        return struct.unpack_from('<IIQQQQ', data, shoff + i * entsize)
    names_offset = header(names_index)[4]
    out = []
    for i in range(count):
        start = names_offset + header(i)[0]
        out.append(data[start:data.index(b'\0', start)].decode('latin-1'))
    return out


def symbols_left(data):
    """What of a program a strip would remove: symbol tables, debug sections."""
    if data[:2] == b'MZ':
        pe = pe_resources.PeFile(data)
        left = [n for n in pe.section_names if n.startswith(('.debug', '/'))]
        if pe.symbol_table or pe.symbol_count:
            left.append(f'{pe.symbol_count} COFF symbols')
        return left
    return [n for n in elf_section_names(data) if n == '.symtab' or n.startswith('.debug')]


class Sizes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.budgets = read_budgets(BUDGETS)
        cls.programs = packaged_programs()

    def test_every_shipped_program_has_a_budget_and_keeps_it(self):
        for kind, programs in self.programs.items():
            self.assertTrue(programs, f'no programs found in the {kind} package')
            # The .deb holds the Linux kit's programs: the same budgets.
            budget_kind = 'linux' if kind == 'deb' else kind
            for program, data in programs.items():
                with self.subTest(package=kind, program=program):
                    budget = self.budgets.get((budget_kind, program))
                    self.assertIsNotNone(budget, f'no budget in {BUDGETS}')
                    self.assertLessEqual(len(data), budget,
                                         f'{len(data)} bytes, {len(data) - budget} over the budget')

    def test_every_budget_names_a_shipped_program(self):
        shipped = {('linux' if k == 'deb' else k, p) for k, ps in self.programs.items() for p in ps}
        self.assertEqual(sorted(set(self.budgets) - shipped), [], 'budgets of programs the kit does not ship')

    def test_every_shipped_program_is_stripped(self):
        for kind, programs in self.programs.items():
            for program, data in programs.items():
                with self.subTest(package=kind, program=program):
                    self.assertEqual(symbols_left(data), [])


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
