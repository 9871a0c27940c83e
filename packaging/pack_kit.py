#!/usr/bin/env python3
"""Packs a laid-out kit into a zip or a .tar.gz whose bytes depend on the
kit's files alone: entries in name order, every time stamp the
SOURCE_DATE_EPOCH of the environment, owner root (tar) and no owner at all
(zip), mode 0755 for directories and programs, 0644 for the rest, no name or
time in the gzip header.

Usage: pack_kit.py ROOT ARCHIVE
  ROOT     the directory that holds install/ (each entry is named from ROOT)
  ARCHIVE  the file to write; .zip or .tar.gz
"""
import gzip
import io
import os
import stat
import sys
import tarfile
import time
import zipfile


def entries(root):
    """(name, path, is_dir) below ROOT, parents before children, in byte
    order of the names."""
    out = []
    for top, dirs, files in os.walk(root):
        dirs.sort()
        for name in dirs + files:
            path = os.path.join(top, name)
            rel = os.path.relpath(path, root).replace(os.sep, '/')
            if os.path.islink(path) or not (os.path.isdir(path) or os.path.isfile(path)):
                sys.exit(f'pack_kit.py: {rel} is neither a file nor a directory')
            out.append((rel, path, os.path.isdir(path)))
    return sorted(out, key=lambda e: e[0].encode())


def mode_of(path, is_dir):
    executable = is_dir or os.stat(path).st_mode & stat.S_IXUSR
    return 0o755 if executable else 0o644


def write_zip(root, archive, epoch):
    # DOS time has no zone and starts in 1980; the UTC fields of the epoch
    # are as good as any, as long as every build takes the same.
    date_time = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(archive, 'w') as z:
        for name, path, is_dir in entries(root):
            info = zipfile.ZipInfo(name + '/' if is_dir else name, date_time)
            info.create_system = 3  # Unix: unzip restores the modes
            kind = stat.S_IFDIR if is_dir else stat.S_IFREG
            info.external_attr = (kind | mode_of(path, is_dir)) << 16 | (0x10 if is_dir else 0)
            if is_dir:
                z.writestr(info, b'')
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, 'rb') as f:
                    z.writestr(info, f.read(), compresslevel=9)


def write_tar_gz(root, archive, epoch):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode='w', format=tarfile.USTAR_FORMAT) as tar:
        for name, path, is_dir in entries(root):
            info = tarfile.TarInfo(name)
            info.mtime = epoch
            info.mode = mode_of(path, is_dir)
            info.uid = info.gid = 0
            info.uname = info.gname = 'root'
            if is_dir:
                info.type = tarfile.DIRTYPE
                tar.addfile(info)
            else:
                info.size = os.path.getsize(path)
                with open(path, 'rb') as f:
                    tar.addfile(info, f)
    with open(archive, 'wb') as out:
        with gzip.GzipFile(filename='', mode='wb', fileobj=out, compresslevel=9, mtime=0) as gz:
            gz.write(raw.getvalue())


def main(root, archive):
    epoch_text = os.environ.get('SOURCE_DATE_EPOCH', '')
    if not epoch_text.isdigit():
        sys.exit('pack_kit.py: SOURCE_DATE_EPOCH must be set to a number of seconds')
    epoch = int(epoch_text)
    if archive.endswith('.zip'):
        write_zip(root, archive, epoch)
    elif archive.endswith('.tar.gz'):
        write_tar_gz(root, archive, epoch)
    else:
        sys.exit(f'pack_kit.py: {archive}: not .zip or .tar.gz')


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
