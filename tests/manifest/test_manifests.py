#!/usr/bin/env python3
"""The application manifest of each Windows program, as Windows reads it from
the built file: the UTF-8 process code page, long paths, the execution level
(the launcher keeps the elevation a program named setup.exe gets; the tool it
starts and the medium checker run as their caller does) and the supported
systems.

The identity names the architecture the program is built for.

Usage: test_manifests.py WINDOWS_BUILD...
"""
import os
import sys
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'packaging'))
import pe_resources  # noqa: E402

BUILDS = sys.argv[1:]
LEVELS = {'setup.exe': 'requireAdministrator', 'unzip.exe': 'asInvoker', 'qelcheck.exe': 'asInvoker'}

ASM_V1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM_V3 = '{urn:schemas-microsoft-com:asm.v3}'
SETTINGS_2016 = '{http://schemas.microsoft.com/SMI/2016/WindowsSettings}'
SETTINGS_2019 = '{http://schemas.microsoft.com/SMI/2019/WindowsSettings}'
COMPATIBILITY = '{urn:schemas-microsoft-com:compatibility.v1}'
WINDOWS_10 = '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'


def read(build, program):
    """The program's manifest and the architecture its PE header names."""
    with open(os.path.join(build, program), 'rb') as f:
        pe = pe_resources.PeFile(f.read())
    # Windows reads an executable's manifest from resource id 1 only.
    manifest = ET.fromstring(pe.resources()[pe_resources.RT_MANIFEST][1])
    return manifest, pe_resources.MACHINE_ARCHITECTURES.get(pe.machine, hex(pe.machine))


class Manifests(unittest.TestCase):
    def test_each_program_names_its_own_architecture(self):
        machines = set()
        for build in BUILDS:
            for program in LEVELS:
                with self.subTest(build=build, program=program):
                    root, machine = read(build, program)
                    identity = root.find(ASM_V1 + 'assemblyIdentity')
                    self.assertEqual(identity.get('processorArchitecture'), machine)
                    machines.add(machine)
        # Each build given is a build of its own architecture.
        self.assertEqual(len(machines), len(BUILDS), machines)

    def test_each_program_declares_utf8_long_paths_and_its_level(self):
        for build in BUILDS:
            for program, level in LEVELS.items():
                with self.subTest(build=build, program=program):
                    self.check(read(build, program)[0], level)

    def check(self, root, level):
        self.assertEqual(root.tag, ASM_V1 + 'assembly')
        settings = root.find(f'{ASM_V3}application/{ASM_V3}windowsSettings')
        self.assertIsNotNone(settings, 'no windowsSettings')
        self.assertEqual(settings.findtext(SETTINGS_2019 + 'activeCodePage'), 'UTF-8')
        self.assertEqual(settings.findtext(SETTINGS_2016 + 'longPathAware'), 'true')
        levels = root.findall(f'.//{ASM_V3}requestedExecutionLevel')
        self.assertEqual([(e.get('level'), e.get('uiAccess')) for e in levels], [(level, 'false')])
        systems = [e.get('Id') for e in root.iter(COMPATIBILITY + 'supportedOS')]
        self.assertIn(WINDOWS_10, systems)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
