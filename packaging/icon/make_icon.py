#!/usr/bin/env python3
"""Writes a Windows icon (.ico) from a text pixel map.

The map (see setup_icon.txt) holds palette lines "<char> #RRGGBB" and rows
of pixels, one character each, "." transparent; lines that are empty or
begin with "#" are skipped. Every size asked for must be a whole multiple of
the map's size: each pixel becomes a square. The images are 32-bit
device-independent bitmaps with an AND mask, which every Windows version
reads.

Usage: make_icon.py MAP OUTPUT SIZE...
"""
import re
import struct
import sys

TRANSPARENT = '.'


def read_map(path):
    palette = {TRANSPARENT: None}
    rows = []
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            colour = re.fullmatch(r'(\S) #([0-9A-Fa-f]{6})', line)
            if colour:
                palette[colour.group(1)] = bytes.fromhex(colour.group(2))
                continue
            unknown = set(line) - set(palette)
            if unknown:
                sys.exit(f'{path}:{number}: not in the palette: {"".join(sorted(unknown))}')
            rows.append(line)
    if not rows or any(len(r) != len(rows[0]) for r in rows):
        sys.exit(f'{path}: the pixel rows must all have the same length')
    return palette, rows


def bitmap(palette, rows, size):
    """BITMAPINFOHEADER, bottom-up BGRA pixels and the AND mask."""
    scale = size // len(rows[0])
    pixels = bytearray()
    mask = bytearray()
    mask_stride = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        row = rows[y // scale]
        mask_row = bytearray(mask_stride)
        for x in range(size):
            rgb = palette[row[x // scale]]
            if rgb is None:
                pixels += b'\0\0\0\0'
                mask_row[x // 8] |= 0x80 >> (x % 8)
            else:
                pixels += bytes((rgb[2], rgb[1], rgb[0], 0xFF))
        mask += mask_row
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def main(source, output, sizes):
    palette, rows = read_map(source)
    if len(rows) != len(rows[0]):
        sys.exit(f'{source}: the icon must be square')
    images = []
    for size in sizes:
        if size % len(rows) or size > 255:
            sys.exit(f'{source}: size {size} is no multiple of {len(rows)} below 256')
        images.append((size, bitmap(palette, rows, size)))
    offset = 6 + 16 * len(images)
    out = struct.pack('<HHH', 0, 1, len(images))
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(output, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], [int(s) for s in sys.argv[3:]])
