#!/usr/bin/env python3
"""Reads the resources of a 32- or 64-bit Windows program (PE file).

What the packaging tests need of a built program: the resource types it
holds, its version resource (the fixed file and product versions and the
strings of the first string table) and the sizes of its icon group.

Usage: pe_resources.py FILE   prints them as JSON.
"""
import json
import struct
import sys

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
# The machine field of the file header, and the architecture a manifest
# names for it.
MACHINE_ARCHITECTURES = {0x14C: 'x86', 0x8664: 'amd64', 0xAA64: 'arm64'}


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ':
            raise PeError('no MZ header')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise PeError('no PE signature')
        self.machine, sections = struct.unpack_from('<HH', data, pe + 4)
        self.symbol_table, self.symbol_count = struct.unpack_from('<II', data, pe + 12)
        optional_size = struct.unpack_from('<H', data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from('<H', data, optional)[0]
        directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
        if directories < optional:
            raise PeError(f'unknown optional header magic {magic:#x}')
        self.resource_rva = struct.unpack_from('<I', data, directories + 2 * 8)[0]
        self.sections = []
        self.section_names = []
        table = optional + optional_size
        for i in range(sections):
            self.section_names.append(data[table + 40 * i:table + 40 * i + 8].rstrip(b'\0').decode('latin-1'))
            size, rva, raw_size, raw = struct.unpack_from('<IIII', data, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise PeError(f'address {rva:#x} lies in no section')

    def resources(self):
        """{type: {name: bytes}}, the first language of each resource."""
        if not self.resource_rva:
            return {}
        base = self.offset(self.resource_rva)
        out = {}
        for type_id, type_dir in self._entries(base, 0):
            names = out.setdefault(type_id, {})
            for name_id, name_dir in self._entries(base, type_dir):
                for _, leaf in self._entries(base, name_dir)[:1]:
                    rva, size = struct.unpack_from('<II', self.data, base + leaf)
                    start = self.offset(rva)
                    names[name_id] = self.data[start:start + size]
        return out

    def _entries(self, base, offset):
        named, ids = struct.unpack_from('<HH', self.data, base + offset + 12)
        entries = []
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', self.data, base + offset + 16 + 8 * i)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from('<H', self.data, at)[0]
                name = self.data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
            entries.append((name, target & 0x7FFFFFFF))
        return entries


def _align(n):
    return (n + 3) & ~3


def _version_node(data, at):
    """(key, value, children) of one VS_VERSIONINFO block."""
    length, value_length, kind = struct.unpack_from('<HHH', data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[at + 6:key_end].decode('utf-16-le')
    value_at = _align(key_end + 2)
    size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + size]
    children = []
    child = _align(value_at + size)
    while child < end:
        child_length = struct.unpack_from('<H', data, child)[0]
        if child_length == 0:
            break
        children.append(_version_node(data, child))
        child = _align(child + child_length)
    return key, value, children


def _version_text(ms, ls):
    return f'{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}'


def parse_version(data):
    key, value, children = _version_node(data, 0)
    if key != 'VS_VERSION_INFO':
        raise PeError(f'version resource named {key!r}')
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<6I', value)
    if signature != 0xFEEF04BD:
        raise PeError('no fixed file information')
    strings = {}
    for child_key, _, tables in children:
        if child_key == 'StringFileInfo':
            for _, _, entries in tables[:1]:
                for name, text, _ in entries:
                    strings[name] = text.decode('utf-16-le').rstrip('\0')
    return {'file_version': _version_text(file_ms, file_ls),
            'product_version': _version_text(product_ms, product_ls),
            'strings': strings}


def parse_icon_group(data):
    """[(width, height, bits per pixel)] of each image of the group."""
    _, kind, count = struct.unpack_from('<HHH', data, 0)
    if kind != 1:
        raise PeError('icon group of another kind')
    images = []
    for i in range(count):
        width, height, _, _, _, bits = struct.unpack_from('<BBBBHH', data, 6 + 14 * i)
        images.append([width or 256, height or 256, bits])
    return images


def describe(path):
    with open(path, 'rb') as f:
        resources = PeFile(f.read()).resources()
    out = {'types': sorted(t for t in resources if isinstance(t, int))}
    if RT_VERSION in resources:
        out['version'] = parse_version(next(iter(resources[RT_VERSION].values())))
    if RT_GROUP_ICON in resources:
        out['icons'] = [parse_icon_group(g) for g in resources[RT_GROUP_ICON].values()]
    return out


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    print(json.dumps(describe(sys.argv[1]), indent=2))
