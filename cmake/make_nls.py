#!/usr/bin/env python3
"""Writes a NUL-separated message catalogue (.nls) from its readable source.

Source format (UTF-8): one record per line, KEY=text. Lines that are empty or
begin with '#' are skipped. In the text, \\n stands for a line feed, \\t for a
tab and \\\\ for a backslash; every other byte is taken as it stands.
"""
import sys


def unescape(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == '\\' and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt in 'nt\\':
                out.append({'n': '\n', 't': '\t', '\\': '\\'}[nxt])
                i += 2
                continue
        out.append(c)
        i += 1
    return ''.join(out)


def main(source, output):
    records = []
    with open(source, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            if '=' not in line:
                sys.exit(f'{source}:{number}: record without "="')
            records.append(unescape(line).encode('utf-8') + b'\0')
    with open(output, 'wb') as f:
        f.write(b''.join(records))


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
