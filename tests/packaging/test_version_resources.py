#!/usr/bin/env python3
"""The Windows programs of the kit carry their identity: a version resource
whose versions are the project's, their own file names and descriptions, and
for setup.exe the application icon beside its manifest.

Usage: test_version_resources.py WIN32_BUILD VERSION [PROGRAM...]
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_resources  # noqa: E402

BUILD, VERSION = sys.argv[1:3]
PROGRAMS = sys.argv[3:] or ['setup.exe', 'unzip.exe', 'qelcheck.exe']
REQUIRED = ('CompanyName', 'FileDescription', 'FileVersion', 'LegalCopyright',
            'OriginalFilename', 'ProductName', 'ProductVersion')


def fixed(version):
    """1.2.3 as the four numbers of the fixed file information: 1.2.3.0."""
    numbers = version.split('.')
    return '.'.join(numbers + ['0'] * (4 - len(numbers)))


class VersionResources(unittest.TestCase):
    def setUp(self):
        self.described = {p: pe_resources.describe(os.path.join(BUILD, p)) for p in PROGRAMS}

    def test_versions_names_and_texts(self):
        descriptions = set()
        for program, info in self.described.items():
            with self.subTest(program=program):
                self.assertIn('version', info, 'no version resource')
                version = info['version']
                strings = version['strings']
                for key in REQUIRED:
                    self.assertTrue(strings.get(key), f'{key} missing or empty')
                self.assertEqual(strings['FileVersion'], VERSION)
                self.assertEqual(strings['ProductVersion'], VERSION)
                self.assertEqual(version['file_version'], fixed(VERSION))
                self.assertEqual(version['product_version'], fixed(VERSION))
                self.assertEqual(strings['OriginalFilename'], program)
                self.assertIn('Copyright', strings['LegalCopyright'])
                descriptions.add(strings['FileDescription'])
        self.assertEqual(len(descriptions), len(self.described), 'programs share a description')
        products = {info['version']['strings']['ProductName'] for info in self.described.values()}
        self.assertEqual(len(products), 1, 'programs of one kit name different products')

    def test_setup_has_its_icon_and_keeps_its_manifest(self):
        info = self.described['setup.exe']
        self.assertIn(pe_resources.RT_MANIFEST, info['types'])
        self.assertIn(pe_resources.RT_ICON, info['types'])
        self.assertEqual(info.get('icons'), [[[16, 16, 32], [32, 32, 32], [48, 48, 32]]])


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
