#!/usr/bin/env python3
"""Inputs of the benchmarks, the same on every run (seeded).

  make_inputs.py tree DIR             a tree shaped like a Java runtime
  make_inputs.py jars DIR COUNT MB [SEED [PREFIX]]
                                      COUNT jar archives, about MB megabytes
                                      compressed in all, class-file-like entries
                                      (their names begin with PREFIX)
  make_inputs.py jre-jars DIR JAVA MB the staged runtime: jars that expand to
                                      jre/<name>/..., with JAVA as bin/java
  make_inputs.py names OUT JAR...     the entries of the jars, in order, one a
                                      line: NAME<TAB>SIZE (expanded)
"""
import os
import random
import sys
import zipfile


def corpus(rng, size):
    """Bytes that deflate about as well as class files do (to roughly half)."""
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_$/")
                   for _ in range(rng.randint(3, 18))) for _ in range(500)]
    parts, total = [], 0
    while total < size:
        if rng.random() < 0.2:
            chunk = rng.randbytes(rng.randint(2, 8))
        else:
            chunk = b"\x01\x00" + rng.choice(words) + b";"
        parts.append(chunk)
        total += len(chunk)
    return b"".join(parts)[:size]


def log_size(rng, low, high):
    return int(low * (high / low) ** rng.random())


def tree(root):
    """>= 3,000 files in >= 300 directories, about 200 MB: one large module
    image, some native libraries, many small files (legal notices, headers,
    configuration, man pages)."""
    rng = random.Random(17)
    blob = rng.randbytes(8 << 20)
    dirs = [root]
    top = ["bin", "conf", "include", "legal", "lib", "man", "jmods"]
    for name in top:
        dirs.append(os.path.join(root, name))
    while len(dirs) < 330:
        parent = rng.choice(dirs[1:])
        if parent.count(os.sep) - root.count(os.sep) >= 5:
            continue
        dirs.append(os.path.join(parent, "d%03d" % len(dirs)))
    for d in dirs:
        os.makedirs(d, exist_ok=True)

    def write(path, size):
        with open(path, "wb") as f:
            while size > 0:
                n = min(size, len(blob))
                start = rng.randrange(0, len(blob) - n + 1)
                f.write(blob[start:start + n])
                size -= n

    write(os.path.join(root, "lib", "modules"), 120 << 20)
    for i in range(90):
        write(os.path.join(root, "lib", "libn%02d.so" % i), log_size(rng, 64 << 10, 3 << 20))
    for i in range(30):
        path = os.path.join(root, "bin", "tool%02d" % i)
        write(path, log_size(rng, 12 << 10, 40 << 10))
        os.chmod(path, 0o755)
    for i in range(3200):
        write(os.path.join(rng.choice(dirs), "f%04d.txt" % i), log_size(rng, 200, 40 << 10))


def add_dirs(z, name, made):
    parts = name.split("/")[:-1]
    for k in range(1, len(parts) + 1):
        d = "/".join(parts[:k]) + "/"
        if d not in made:
            made.add(d)
            info = zipfile.ZipInfo(d, (2026, 1, 1, 0, 0, 0))
            info.create_system = 3
            info.external_attr = (0o40755 << 16) | 0x10
            z.writestr(info, b"")


def add_file(z, name, data, mode=0o644):
    info = zipfile.ZipInfo(name, (2026, 1, 1, 0, 0, 0))
    info.create_system = 3
    info.external_attr = (0o100000 | mode) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(info, data, compresslevel=6)


def jar_set(out_dir, count, megabytes, seed, prefix="", java=None):
    """`count` jars of about `megabytes` compressed in all; entries of 0.2 to
    64 KB in packages, like the jars of an installer."""
    rng = random.Random(seed)
    text = corpus(rng, 16 << 20)
    os.makedirs(out_dir, exist_ok=True)
    budget = (megabytes << 20) // count
    names = []
    for j in range(count):
        path = os.path.join(out_dir, "part%02d.jar" % j)
        names.append(path)
        with zipfile.ZipFile(path, "w") as z:
            made = set()
            add_dirs(z, "META-INF/x", made)
            add_file(z, "META-INF/MANIFEST.MF", b"Manifest-Version: 1.0\r\n\r\n")
            if java and j == 0:
                add_dirs(z, prefix + "bin/java", made)
                with open(java, "rb") as f:
                    add_file(z, prefix + "bin/java", f.read(), 0o755)
            written = 0
            n = 0
            while written < budget:
                size = log_size(rng, 200, 64 << 10)
                start = rng.randrange(0, len(text) - size)
                pkg = "/".join("p%d" % rng.randint(0, 6) for _ in range(rng.randint(1, 4)))
                name = "%s%s/C%02d_%05d.class" % (prefix, pkg, j, n)
                add_dirs(z, name, made)
                add_file(z, name, text[start:start + size])
                n += 1
                written += size * 48 // 100
    return names


def main():
    kind = sys.argv[1]
    if kind == "tree":
        tree(sys.argv[2])
    elif kind == "jars":
        jar_set(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), seed=int(sys.argv[5]) if len(sys.argv) > 5 else 5,
                prefix=sys.argv[6] if len(sys.argv) > 6 else "")
    elif kind == "names":
        with open(sys.argv[2], "w") as out:
            for path in sys.argv[3:]:
                with zipfile.ZipFile(path) as z:
                    for info in z.infolist():
                        out.write("%s\t%d\n" % (info.filename, info.file_size))
    elif kind == "jre-jars":
        jar_set(sys.argv[2], 3, int(sys.argv[4]), seed=11, prefix="jre/jre17/", java=sys.argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
