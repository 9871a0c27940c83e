"""Hostile-environment harness for setup, unzip and qelcheck.

Every input of the three programs (tests/hostile/table.py: INPUTS) is run
through every transformation that exists for it (TRANSFORMS): a file that is a
directory, a FIFO or a link to /dev/zero, a location with a blank, a quote or
1,024 characters in its name, a jar entry 8,000 directories deep ... Each pair
gets a fresh world (a medium, a Java home, a temp root ...), one run of the
program with a time bound, and the invariants below. A pair that breaks one is
a finding; tests/hostile/known_failures.txt names the ones already known.

Invariants:
  time       the program ends within the bound (a hang is killed)
  signal     no signal ended it (Linux), no unhandled exception or abort (Wine)
  status     the exit status is one the documents give for that case
  tree       nothing changed outside the scratch directory, the logs and the
             places the program is told to write; the medium unchanged
  memory     peak resident memory under the program's bound
  handles    what the launcher starts (the installer; unzip, when the
             "recorder" stands in for it) inherited no descriptor or handle
             beyond the standard ones
  cmdline    the installer's arguments come out of its command line as the
             launcher built them (-cp, the class path, -scratchPath ...)
  classpath  the installer's class path holds no empty, relative or root
             entry (Java reads them as the working directory)
  workdir    a bootstrapped installer does not work in the medium or in the
             scratch directory

usage:
  hostile.py --bin-dir DIR [--kind linux|wine] [--short | --full] [--pair GLOB]...
             [--keep] [--jobs N] [--timeout S] [--seed N] [--json FILE]
"""
import argparse
import concurrent.futures
import fnmatch
import json
import os
import random
import re
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # nothing of the harness's own lands in the source tree

INVARIANTS = ["time", "signal", "status", "tree", "memory", "handles", "cmdline", "classpath", "workdir"]

# Peak resident memory per program (MB). Every pair that keeps its other
# invariants stays at or below 8 MB on Linux, a 1 GiB archive entry, 5,000
# files to copy and a 100,000-character argument included (setup's figure
# includes the unzip runs it waited for; each unzip thread keeps 256 KiB of
# archive and 256 KiB of output). Eight times that is the bound: it leaves room
# for real media (archives of 70,000 entries, whose directories are held
# whole) and still catches whatever grows with its input. The checker also
# holds every archive's directory and every finding at once: twice as much.
# Under Wine the loader and the system libraries add about 10 MB to a process.
MEMORY_MB = {"setup": 64, "unzip": 64, "qelcheck": 128}
WINE_MEMORY_EXTRA_MB = 32
# A run whose memory passes this is killed at once: it has broken its bound
# many times over, and the machine is shared.
MEMORY_KILL_MB = 512

# Process limits of every run, set on the harness so that children inherit
# them: a program that reads /dev/zero into memory ends with bad_alloc at
# 1 GiB instead of taking the machine, and nothing writes a file past 3 GiB.
ADDRESS_SPACE_BYTES = 1 << 30
FILE_SIZE_BYTES = 3 << 30

# What Wine prints when a Windows program dies of an exception or abort.
WINE_CRASH_TEXTS = ("Unhandled exception", "wine: Unhandled", "terminate called",
                    "Abnormal program termination", "requested the Runtime to terminate",
                    "stack overflow")

# What a sanitizer build prints when it finds a fault.
SANITIZER_TEXTS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "SUMMARY: UndefinedBehaviorSanitizer", "WARNING: ThreadSanitizer")

NOBODY = 65534
RESOURCE_FAMILY = {"time", "memory", "signal"}


# ---------------------------------------------------------------------------
# The world of one pair

class World:
    """A fresh directory tree for one run, and what the run needs: program,
    arguments, environment, parameter file, the places it may change, the
    statuses the documents give."""

    def __init__(self, root, ctx):
        self.root = root
        self.ctx = ctx
        self.wine = ctx.kind == "wine"
        self.exe = ".exe" if self.wine else ""
        self.sep = "\\" if self.wine else "/"
        self.harness = os.path.join(root, ".h")
        os.makedirs(self.harness)
        self.program = None
        self.program_name = None
        self.args = []
        self.env = {}
        self.cwd = root
        self.sections = []          # [name, [[key, value], ...]]
        self.param_path = None
        self.param_copies = []      # more places the same file is written to
        self.allowed = []           # subtrees that may change
        self.expect = set()
        self.medium = None
        self.run_as = None          # a uid, for unreadable files when the harness is root
        self.hardlinks = True

    # paths -----------------------------------------------------------------

    def p(self, *parts):
        return os.path.join(self.root, *parts)

    def native(self, path):
        if self.wine:
            return "Z:" + path.replace("/", "\\")
        return path

    def native_rel(self, path, start):
        return os.path.relpath(path, start).replace("/", self.sep)

    # the parameter file ----------------------------------------------------

    def section(self, name):
        for section in self.sections:
            if section[0] == name:
                return section[1]
        self.sections.append([name, []])
        return self.sections[-1][1]

    def set_key(self, key, value, section="Quelta"):
        lines = self.section(section)
        for line in lines:
            if line[0] == key:
                line[1] = value
                return
        lines.append([key, value])

    def del_key(self, key, section="Quelta"):
        lines = self.section(section)
        lines[:] = [line for line in lines if line[0] != key]

    def key(self, key, section="Quelta"):
        for line in self.section(section):
            if line[0] == key:
                return line[1]
        return None

    def write_params(self):
        text = "".join("[%s]\n" % name + "".join("%s=%s\n" % (k, v) for k, v in lines)
                       for name, lines in self.sections)
        for path in [self.param_path] + self.param_copies:
            if path and (os.path.isfile(path) or not os.path.lexists(path)):
                put_file(path, text.encode("utf-8", "surrogateescape"))

    # files -------------------------------------------------------------------

    def link_in(self, source, dest, mode=None):
        """source's bytes at dest: a hard link when allowed (the build's
        programs and the cached archives are large), else a copy."""
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        if self.hardlinks:
            try:
                os.link(source, dest)
                return dest
            except OSError:
                pass
        shutil.copyfile(source, dest)
        os.chmod(dest, mode if mode is not None else os.stat(source).st_mode & 0o777)
        return dest

    def put_bin(self, name, directory, as_name=None):
        return self.link_in(os.path.join(self.ctx.bin_dir, name + self.exe),
                            os.path.join(directory, (as_name or name) + self.exe))

    # relocation --------------------------------------------------------------

    def moved(self, old, new):
        """Every mention of old (a path) now names new."""
        def path(p):
            if p == old or (p and p.startswith(old + "/")):
                return new + p[len(old):]
            return p

        def text(t):
            return t.replace(self.native(old), self.native(new)) if isinstance(t, str) else t
        self.program = path(self.program)
        self.cwd = path(self.cwd)
        self.param_path = path(self.param_path)
        self.param_copies = [path(p) for p in self.param_copies]
        self.medium = path(self.medium)
        self.allowed = [path(a) for a in self.allowed]
        self.args = [text(a) for a in self.args]
        self.env = {k: text(v) for k, v in self.env.items()}
        for _, lines in self.sections:
            for line in lines:
                line[1] = text(line[1])


def put_file(path, data, mode=0o644):
    """A new file at path (never written through what stood there)."""
    remove(path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)
    return path


def remove(path):
    if os.path.islink(path) or (os.path.lexists(path) and not os.path.isdir(path)):
        os.unlink(path)
    elif os.path.isdir(path):
        # Directories only: the files may be links to the cached archives.
        subprocess.run(["find", path, "-type", "d", "-exec", "chmod", "u+rwx", "{}", "+"],
                       stderr=subprocess.DEVNULL)
        subprocess.run(["rm", "-rf", path], check=False)


def own(path):
    """path as a file of its own (a hard link's other names keep their mode)."""
    st = os.lstat(path)
    if stat.S_ISREG(st.st_mode) and st.st_nlink > 1:
        temp = path + ".own"
        shutil.copyfile(path, temp)
        os.chmod(temp, st.st_mode & 0o777)
        os.replace(temp, path)


def make_deep_dirs(base, depth, name="d"):
    """base/d/d/.../d, depth levels, made relative to descriptors: the path
    is longer than the system takes in one piece."""
    os.makedirs(base, exist_ok=True)
    fd = os.open(base, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for _ in range(depth):
            os.mkdir(name, dir_fd=fd)
            child = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = child
        leaf = os.open("leaf.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
        os.write(leaf, b"deep\n")
        os.close(leaf)
    finally:
        os.close(fd)


def make_jar(path, entries, level=6):
    """entries: (name, bytes, mode) with Unix modes, or (name, None, 0) for a
    directory."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=level) as z:
        for name, data, mode in entries:
            info = zipfile.ZipInfo(name)
            info.create_system = 3
            info.compress_type = zipfile.ZIP_DEFLATED
            if data is None:
                info.external_attr = (0o040755 << 16) | 0x10
                z.writestr(info, b"")
            else:
                info.external_attr = (0o100000 | mode) << 16
                z.writestr(info, data)
    return path


# ---------------------------------------------------------------------------
# Running

class Context:
    def __init__(self, args):
        self.kind = args.kind
        self.bin_dir = os.path.abspath(args.bin_dir)
        self.timeout = args.timeout
        self.short_timeout_known_hangs = 5.0
        self.work = tempfile.mkdtemp(prefix="qel_hostile.", dir=args.work_dir)
        os.chmod(self.work, 0o755)  # the unreadable runs go as another user
        self.cache = os.path.join(self.work, "cache")
        os.makedirs(self.cache)
        self.cache_lock = threading.Lock()
        self.keep = args.keep
        self.sanitized = args.sanitized
        self.progress = args.progress
        self.is_root = os.geteuid() == 0
        self.wine_loader = None
        self.prefixes = []
        self.prefix_pool = None
        self.machine = None
        if self.kind == "wine":
            self.setup_wine(args)

    # Wine ------------------------------------------------------------------

    def setup_wine(self, args):
        self.machine = pe_machine(os.path.join(self.bin_dir, "setup.exe"))
        wine64 = self.machine == "x86-64"
        loader = "/usr/lib/wine/wine64" if wine64 else None
        self.wine_loader = loader if loader and os.access(loader, os.X_OK) else shutil.which("wine")
        arch = "win64" if wine64 else "win32"
        template = os.path.abspath(args.wineprefix) if args.wineprefix else None
        base = os.path.join(os.path.abspath(args.prefix_dir or self.work), "hostile-wine-" + arch)
        os.makedirs(os.path.dirname(base), exist_ok=True)
        import queue
        self.prefix_pool = queue.Queue()
        for i in range(args.jobs):
            prefix = "%s-%d" % (base, i)
            self.make_prefix(prefix, template, arch)
            self.prefixes.append(prefix)
            self.prefix_pool.put(prefix)

    def wine_env(self, prefix):
        env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
        if self.machine == "x86-64":
            env["WINELOADER"] = self.wine_loader
        return env

    def make_prefix(self, prefix, template, arch):
        """A private prefix per worker, copied from the template (or made),
        whose TEMP follows the variable QEL_HOSTILE_TEMP of each run: Wine
        takes TEMP from its registry, never from the Unix environment."""
        stamp = os.path.join(prefix, ".hostile-ready")
        fresh = os.path.exists(stamp) and (not template or not os.path.isdir(template) or
                                           os.path.getmtime(stamp) >= os.path.getmtime(template))
        if fresh:
            # Scratch directories earlier runs left in the last temp root, C:\TEMP.
            subprocess.run("rm -rf %s/drive_c/[Tt][Ee][Mm][Pp]/QelInstall*" % shell_quote(prefix), shell=True)
            subprocess.run(["wineserver", "-p"], env=self.wine_env(prefix))
            return
        remove(prefix)
        env = self.wine_env(prefix)
        if template and os.path.isdir(template):
            subprocess.run(["cp", "-a", template, prefix], check=True)
        else:
            subprocess.run([self.wine_loader, "wineboot", "-i"], env=dict(env, WINEARCH=arch),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        subprocess.run(["wineserver", "-p"], env=env)
        for name in ("TEMP", "TMP"):
            subprocess.run([self.wine_loader, "reg", "add", r"HKCU\Environment", "/v", name, "/t",
                            "REG_EXPAND_SZ", "/d", "%QEL_HOSTILE_" + name + "%", "/f"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        open(stamp, "w").close()

    def close(self):
        for prefix in self.prefixes:
            subprocess.run(["wineserver", "-k"], env=self.wine_env(prefix), stderr=subprocess.DEVNULL)
        if not self.keep:
            remove(self.work)

    # cached inputs -----------------------------------------------------------

    def cached(self, name, make):
        """A file made once per harness run (the archives every world links)."""
        path = os.path.join(self.cache, name)
        with self.cache_lock:
            if not os.path.exists(path):
                make(path + ".part")
                os.replace(path + ".part", path)
        return path


def pe_machine(path):
    try:
        with open(path, "rb") as f:
            data = f.read(4096)
        offset = int.from_bytes(data[0x3C:0x40], "little")
        machine = int.from_bytes(data[offset + 4:offset + 6], "little")
        return {0x14C: "i386", 0x8664: "x86-64"}.get(machine, hex(machine))
    except OSError:
        return "i386"


class Result:
    def __init__(self):
        self.status = None      # exit status 0-255
        self.signal = None      # the signal that ended it (Linux)
        self.timed_out = False
        self.memory_killed = False  # killed by the harness past MEMORY_KILL_MB
        self.seconds = 0.0
        self.maxrss_mb = 0.0
        self.stdout = b""
        self.stderr = b""


def base_env(ctx):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": os.environ.get("HOME", "/root"),
           "LANG": "C.UTF-8"}
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"):
        if name in os.environ:
            env[name] = os.environ[name]
    return env


# Peak memory is measured by a small parent of the program, never by the
# harness itself: a child forked from a large process counts that process's
# pages in its own peak (about 8 MB are this parent's). Not GNU time: the
# file it writes to is open in the program, which would inherit it.
MEASURE_PY = r"""
import os, sys
pid = os.fork()
if pid == 0:
    try:
        os.execv(sys.argv[2], sys.argv[2:])
    except OSError as error:
        os.write(2, ("cannot run %s: %s\n" % (sys.argv[2], error)).encode())
        os._exit(127)
_, status, usage = os.wait4(pid, 0)
with open(sys.argv[1], "w") as f:
    if os.WIFSIGNALED(status):
        f.write("Command terminated by signal %d\n" % os.WTERMSIG(status))
    f.write("%d %d\n" % (os.WEXITSTATUS(status) if os.WIFEXITED(status) else 0, usage.ru_maxrss))
"""


# The system's Python when there is one: a user's own may be out of reach of
# the ordinary user the unreadable pairs run as.
MEASURE_PYTHON = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else sys.executable


def measured(command, usage_path):
    return [MEASURE_PYTHON, "-S", "-c", MEASURE_PY, usage_path] + command


def read_usage(path, result):
    try:
        with open(path) as f:
            lines = [line.strip() for line in f if line.strip()]
    except OSError:
        return False
    for line in lines:
        if line.startswith("Command terminated by signal"):
            result.signal = int(line.split()[-1])
    try:
        status, kilobytes = lines[-1].split()
    except (IndexError, ValueError):
        return False
    if result.signal is None:
        result.status = int(status)
    result.maxrss_mb = int(kilobytes) / 1024.0
    return True


def run_world(w, timeout):
    ctx = w.ctx
    out_path = os.path.join(w.harness, "stdout")
    err_path = os.path.join(w.harness, "stderr")
    usage_path = os.path.join(w.harness, "usage")
    env = base_env(ctx)
    env.update({k: v for k, v in w.env.items() if v is not None})
    prefix = None
    if w.wine:
        prefix = ctx.prefix_pool.get()
        env.update(WINEPREFIX=prefix, WINEDEBUG="-all")
        if ctx.machine == "x86-64":
            env["WINELOADER"] = ctx.wine_loader
        for name in ("TEMP", "TMP"):
            if name in env:
                env["QEL_HOSTILE_" + name] = env.pop(name)
        command = [ctx.wine_loader, w.program] + w.args
    else:
        command = [w.program] + w.args
    write_repro(w, command, env)
    result = Result()
    started = time.monotonic()
    try:
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            extra = {}
            if w.run_as is not None:
                extra = {"user": w.run_as, "group": w.run_as, "extra_groups": []}
                os.chown(w.harness, w.run_as, w.run_as)
            proc = subprocess.Popen(measured(command, usage_path), cwd=w.cwd, env=env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, start_new_session=True, close_fds=True, **extra)
            # Watched, not just timed: a run past the time bound, or one whose
            # memory passes MEMORY_KILL_MB, is killed, the program first (its
            # measuring parent then still says how much it had taken).
            deadline = started + timeout
            why = None
            while proc.poll() is None:
                members = [pid for pid in group_members(proc.pid) if pid != proc.pid]
                if time.monotonic() > deadline:
                    why = "time"
                elif sum(resident_mb(pid) for pid in members) > MEMORY_KILL_MB:
                    why = "memory"
                if why:
                    for pid in members:
                        try:
                            os.kill(pid, signal.SIGKILL)
                        except OSError:
                            pass
                    try:
                        proc.wait(10)
                    except subprocess.TimeoutExpired:
                        os.killpg(proc.pid, signal.SIGKILL)
                        proc.wait()
                    break
                time.sleep(0.1)
            # A child left in the group (the unzip of a killed launcher) goes too.
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except OSError:
                pass
        result.seconds = time.monotonic() - started
        result.timed_out = why == "time"
        result.memory_killed = why == "memory"
        if not read_usage(usage_path, result) and not why:
            raise RuntimeError("no measurement of the run (status %s)" % proc.returncode)
        if prefix and why:
            subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-p"], env=env, stderr=subprocess.DEVNULL)
    finally:
        if prefix:
            ctx.prefix_pool.put(prefix)
    with open(out_path, "rb") as f:
        result.stdout = f.read(1 << 20)
    with open(err_path, "rb") as f:
        result.stderr = f.read(1 << 20)
    return result


def resident_mb(pid):
    try:
        with open("/proc/%d/statm" % pid) as f:
            return int(f.read().split()[1]) * resource.getpagesize() / (1 << 20)
    except (OSError, IndexError, ValueError):
        return 0.0


def group_members(pgid):
    members = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name, "rb") as f:
                fields = f.read().rsplit(b")", 1)[1].split()
            if int(fields[2]) == pgid:
                members.append(int(name))
        except (OSError, IndexError, ValueError):
            pass
    return members


def shell_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def write_repro(w, command, env):
    """.h/repro.sh: the run again, by hand, in the kept world."""
    extra = {k: v for k, v in env.items() if k not in ("PATH", "HOME")}
    line = "cd %s && env %s %s\n" % (shell_quote(w.cwd), " ".join(shell_quote("%s=%s" % kv) for kv in sorted(extra.items())),
                                      " ".join(shell_quote(c) for c in command))
    with open(os.path.join(w.harness, "repro.sh"), "w", errors="surrogateescape") as f:
        f.write("#!/bin/sh\n# status: echo $?\n" + line)


# ---------------------------------------------------------------------------
# The tree before and after

def snapshot(root):
    """path -> (type, mode, size, mtime, inode, link) for everything below
    root but the harness's own directory; directories by type and mode only
    (their times change with every file made and removed inside)."""
    done = subprocess.run(["find", root, "-mindepth", "1", "-path", os.path.join(root, ".h"), "-prune", "-o",
                           "-printf", r"%y\0%m\0%s\0%T@\0%i\0%l\0%P\0"], capture_output=True)
    fields = done.stdout.split(b"\0")
    found = {}
    for i in range(0, len(fields) - 6, 7):
        kind, mode, size, mtime, inode, link, rel = fields[i:i + 7]
        rel = os.fsdecode(rel)
        if kind == b"d":
            found[rel] = (kind, mode)
        else:
            found[rel] = (kind, mode, size, mtime, inode, link)
    return found


def tree_changes(w, before, after):
    allowed = [os.path.relpath(a, w.root) for a in w.allowed]

    def permitted(rel):
        if os.path.basename(rel) == "fakejava.log":
            return True  # the fake installer's own record
        return any(rel == a or rel.startswith(a + "/") for a in allowed)
    changes = []
    for rel in sorted(set(before) | set(after)):
        if permitted(rel):
            continue
        if rel not in after:
            changes.append("removed " + rel)
        elif rel not in before:
            changes.append("created " + rel)
        elif before[rel] != after[rel]:
            changes.append("changed " + rel)
    return changes


def stray_temp_dirs(started):
    """Scratch directories a run made in the last temp root (/tmp) when the
    one it was given was not valid: documented, but not to be left behind."""
    found = []
    try:
        for name in os.listdir("/tmp"):
            if name.startswith("QelInstall"):
                path = os.path.join("/tmp", name)
                if os.lstat(path).st_mtime >= started - 1:
                    found.append(path)
    except OSError:
        pass
    return found


# ---------------------------------------------------------------------------
# The installer's record

def installer_records(w):
    """[{'args': [...], 'cwd': str, 'handles': [...]}] of every start of the
    fake installer."""
    path = os.path.join(w.harness, "installer.log")
    if not os.path.exists(path):
        return []
    records = []
    with open(path, "rb") as f:
        for raw in f.read().decode("utf-8", "replace").replace("\r", "").split("\n"):
            if raw == "run":
                records.append({"args": [], "cwd": "", "handles": []})
            elif records and raw.startswith("arg="):
                records[-1]["args"].append(raw[4:])
            elif records and raw.startswith("cwd="):
                records[-1]["cwd"] = raw[4:]
            elif records and raw.startswith("inherited="):
                records[-1]["handles"].append(raw[10:])
    return records


def ran_together(args):
    """The installer's arguments came out of its command line as they went in:
    a quote the launcher did not escape joins the rest into one argument."""
    if not any(a.startswith("-Dquelta.installer.") for a in args):
        return ""  # not the installer
    if "-cp" in args[:-1] and "-scratchPath" in args:
        return ""
    joined = next((a for a in args if len(a) > 300), "")
    return "no -cp or -scratchPath among %d arguments: the command line ran together%s" % (
        len(args), (" at: " + joined[:200]) if joined else "")


def class_path_faults(w, args):
    """What is wrong with the installer's class path."""
    sep = ";" if w.wine else ":"
    for i, arg in enumerate(args[:-1]):
        if arg in ("-cp", "-classpath"):
            faults = []
            for n, entry in enumerate(args[i + 1].split(sep)):
                if entry == "":
                    faults.append("entry %d empty" % n)
                elif w.wine and re.fullmatch(r"([A-Za-z]:)?\\?", entry) or entry == "/":
                    faults.append("entry %d is a root: %r" % (n, entry))
                elif not (re.match(r"[A-Za-z]:\\|\\\\", entry) if w.wine else entry.startswith("/")):
                    faults.append("entry %d relative: %r" % (n, entry))
            return faults
    return []


def unix_path(w, native):
    if w.wine and re.match(r"[Zz]:", native):
        return native[2:].replace("\\", "/")
    return native


def inside(path, base):
    if not path or not base:
        return False
    path, base = os.path.normpath(path), os.path.normpath(base)
    return path == base or path.startswith(base + "/")


# ---------------------------------------------------------------------------
# One pair

class Pair:
    def __init__(self, inp, transform):
        self.input = inp
        self.transform = transform
        self.id = "%s/%s" % (inp.id, transform.id)

    def __repr__(self):
        return self.id


class Outcome:
    def __init__(self, pair, kind):
        self.pair = pair
        self.kind = kind
        self.broken = {}        # invariant -> why
        self.known = {}         # invariant -> the known_failures line's reason
        self.result = None
        self.world = None
        self.error = None       # the harness itself failed

    @property
    def key(self):
        return "%s:%s" % (self.kind, self.pair.id)


def check_pair(ctx, pair, timeout):
    import table
    outcome = Outcome(pair, ctx.kind)
    root = tempfile.mkdtemp(prefix="p.", dir=ctx.work)
    os.chmod(root, 0o755)
    w = World(root, ctx)
    outcome.world = root
    try:
        if pair.transform.id == "unreadable" and ctx.is_root:
            w.run_as = NOBODY
            w.hardlinks = False
        table.build(w, pair.input, pair.transform)
        if w.run_as is not None:
            for place in w.allowed + [w.harness]:
                if os.path.isdir(place) and not os.path.islink(place):
                    subprocess.run(["chown", "-R", "%d:%d" % (NOBODY, NOBODY), place])
        fake_log = os.path.join(w.harness, "installer.log")
        open(fake_log, "w").close()
        if w.run_as is not None:
            os.chown(fake_log, NOBODY, NOBODY)
        w.env["QEL_FAKEJAVA_LOG"] = w.native(fake_log)
        before = snapshot(root)
        started = time.time()
        result = run_world(w, timeout)
        after = snapshot(root)
        outcome.result = result
        judge(w, result, before, after, outcome)
        for stray in stray_temp_dirs(started):
            if subprocess.run(["grep", "-rqsF", root, stray]).returncode == 0:
                remove(stray)
    except Exception as error:  # the harness's own fault: reported, never hidden
        import traceback
        outcome.error = "%s: %s\n%s" % (type(error).__name__, error, traceback.format_exc())
    if not ctx.keep:
        remove(root)
    return outcome


def judge(w, r, before, after, outcome):
    b = outcome.broken
    program = w.program_name
    if r.timed_out:
        b["time"] = "still running after %.0f s: killed" % r.seconds
    elif r.memory_killed:
        b["memory"] = "past %d MB after %.1f s: killed" % (MEMORY_KILL_MB, r.seconds)
    elif r.signal is not None:
        name = signal.Signals(r.signal).name if r.signal in signal.Signals._value2member_map_ else str(r.signal)
        b["signal"] = "ended by %s (status %d)" % (name, 128 + r.signal)
    if w.wine and not r.timed_out and not r.memory_killed:
        text = r.stderr.decode("utf-8", "replace")
        for mark in WINE_CRASH_TEXTS:
            if mark in text:
                line = next((l for l in text.splitlines() if mark in l), mark)
                b["signal"] = "crashed: %s" % line.strip()[:200]
                break
    text = r.stderr.decode("utf-8", "replace")
    for mark in SANITIZER_TEXTS:
        if mark in text:
            line = next((l for l in text.splitlines() if mark in l), mark)
            b["signal"] = "sanitizer: %s" % line.strip()[:200]
            break
    if r.status is not None and "signal" not in b and r.status not in w.expect:
        b["status"] = "status %d, documented here: %s%s" % (
            r.status, ", ".join(str(s) for s in sorted(w.expect)), last_words(r))
    changes = tree_changes(w, before, after)
    if changes:
        more = " (+%d more)" % (len(changes) - 4) if len(changes) > 4 else ""
        b["tree"] = "; ".join(changes[:4]) + more
    bound = MEMORY_MB[program] + (WINE_MEMORY_EXTRA_MB if w.wine else 0)
    if r.maxrss_mb > bound and not w.ctx.sanitized and "memory" not in b:
        b["memory"] = "peak %.0f MB > %d MB" % (r.maxrss_mb, bound)
    for record in installer_records(w):
        if record["handles"]:
            b["handles"] = "inherited: " + ", ".join(record["handles"][:4])
        together = ran_together(record["args"])
        if together:
            b["cmdline"] = together
        faults = class_path_faults(w, record["args"])
        if faults:
            b["classpath"] = "; ".join(faults[:4])
        if "-Dquelta.installer.bootstrap=TRUE" in record["args"]:
            cwd = unix_path(w, record["cwd"])
            scratch = ""
            if "-scratchPath" in record["args"]:
                scratch = unix_path(w, record["args"][record["args"].index("-scratchPath") + 1].strip())
            if inside(cwd, w.medium):
                b["workdir"] = "the installer works in the medium: %s" % record["cwd"]
            elif inside(cwd, scratch):
                b["workdir"] = "the installer works in its scratch directory: %s" % record["cwd"]


def last_words(r):
    """The program's last line of output, to say why it ended."""
    text = (r.stderr or r.stdout).decode("utf-8", "replace").replace("\r", "").strip()
    if not text:
        return ""
    return ' ("%s")' % text.splitlines()[-1].strip()[:160]


# ---------------------------------------------------------------------------
# The matrix

def all_pairs(kind):
    import table
    pairs = []
    for inp in table.INPUTS:
        for t in table.TRANSFORMS:
            if table.applies(inp, t, kind):
                pairs.append(Pair(inp, t))
    return pairs


def short_pairs(pairs, kind, seed):
    """Every sentinel, then pairs in a seeded order until every input and
    every transformation has run at least once."""
    import table
    order = list(pairs)
    random.Random(seed).shuffle(order)
    chosen, inputs, transforms = [], set(), set()
    sentinels = [p for p in order if any(fnmatch.fnmatchcase(p.id, s) for s in table.SENTINELS)]
    for p in sentinels + order:
        if p in chosen:
            continue
        if p in sentinels or p.input.id not in inputs or p.transform.id not in transforms:
            chosen.append(p)
            inputs.add(p.input.id)
            transforms.add(p.transform.id)
    return chosen


class Known:
    """tests/hostile/known_failures.txt: '<pair glob> <invariant> <reason>',
    the glob optionally prefixed with 'linux:' or 'wine:'."""

    def __init__(self, path):
        self.rows = []
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                for line in f:
                    line = line.strip()
                    if not line or line.startswith("#"):
                        continue
                    parts = line.split(None, 2)
                    if len(parts) < 2 or parts[1] not in INVARIANTS:
                        raise SystemExit("known_failures.txt: cannot read: " + line)
                    glob = parts[0] if ":" in parts[0] else "*:" + parts[0]
                    self.rows.append({"glob": glob, "invariant": parts[1],
                                      "reason": parts[2] if len(parts) > 2 else "", "used": False,
                                      "line": line})

    def match(self, key, invariant):
        for row in self.rows:
            if row["invariant"] == invariant and fnmatch.fnmatchcase(key, row["glob"]):
                row["used"] = True
                return row
        return None

    @staticmethod
    def family(invariant):
        """Running out of time, running out of memory and dying of it are
        one fault seen at different speeds."""
        return RESOURCE_FAMILY if invariant in RESOURCE_FAMILY else {invariant}

    def stale(self, row, outcomes):
        """True when the row's pairs ran and none broke its invariant (or
        another of its family)."""
        ran = [o for o in outcomes if fnmatch.fnmatchcase(o.key, row["glob"])]
        family = self.family(row["invariant"])
        return bool(ran) and not any(family & set(o.broken) for o in ran)

    def expects_hang(self, key):
        return any(r["invariant"] == "time" and fnmatch.fnmatchcase(key, r["glob"]) for r in self.rows)


def run_matrix(ctx, pairs, known, jobs, short):
    outcomes = []
    lock = threading.Lock()
    progress = {"n": 0}

    def one(pair):
        key = "%s:%s" % (ctx.kind, pair.id)
        timeout = ctx.timeout
        if short and known.expects_hang(key):
            timeout = ctx.short_timeout_known_hangs  # known to hang: no need to wait the whole bound
        outcome = check_pair(ctx, pair, timeout)
        with lock:
            progress["n"] += 1
            if ctx.progress:
                r = outcome.result
                sys.stderr.write("%d/%d %s %s %s\n" % (
                    progress["n"], len(pairs), pair.id,
                    "%.1fs status=%s signal=%s" % (r.seconds, r.status, r.signal) if r else "error",
                    " ".join(sorted(outcome.broken))))
                sys.stderr.flush()
            elif sys.stderr.isatty():
                sys.stderr.write("\r%d/%d %s\033[K" % (progress["n"], len(pairs), pair.id))
                sys.stderr.flush()
        return outcome
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for outcome in pool.map(one, pairs):
            for invariant in list(outcome.broken):
                row = known.match(outcome.key, invariant)
                if row:
                    outcome.known[invariant] = row["reason"]
            outcomes.append(outcome)
    if sys.stderr.isatty():
        sys.stderr.write("\r\033[K")
    return outcomes


def report(ctx, outcomes, known, seconds, short, args):
    kind = ctx.kind
    if kind == "wine":
        kind += " (%s)" % ctx.machine
    lines = []
    what = "short pass" if short else ("selected pairs" if args.pair else "full matrix")
    lines.append("hostile-environment harness, %s, %s: %d pairs in %.0f s (bound %.0f s per run)"
                 % (kind, what, len(outcomes), seconds, ctx.timeout))
    lines.append("")
    lines.append("%-10s %7s %7s %7s" % ("invariant", "broken", "known", "new"))
    for invariant in INVARIANTS:
        broken = sum(1 for o in outcomes if invariant in o.broken)
        k = sum(1 for o in outcomes if invariant in o.known)
        lines.append("%-10s %7d %7d %7d" % (invariant, broken, k, broken - k))
    errors = [o for o in outcomes if o.error]
    failing = [o for o in outcomes if o.broken]
    lines.append("%-10s %7d" % ("harness", len(errors)))
    lines.append("")
    lines.append("pairs with a broken invariant: %d (new: %d)" % (
        len(failing), sum(1 for o in failing if set(o.broken) - set(o.known))))
    script = "bash scripts/hostile.sh" + (" --wine" if ctx.kind == "wine" else "")
    for o in sorted(failing, key=lambda o: (not (set(o.broken) - set(o.known)), o.pair.id)):
        r = o.result
        took = " %.1fs %.0fMB" % (r.seconds, r.maxrss_mb) if r else ""
        lines.append("  %s%s" % (o.key, took))
        for invariant, why in o.broken.items():
            mark = "known" if invariant in o.known else "NEW"
            lines.append("      %-9s %-5s %s" % (invariant, mark, why))
        lines.append("      repro: %s --pair '%s' --keep" % (script, o.pair.id))
    for o in errors:
        lines.append("  HARNESS ERROR %s: %s" % (o.key, o.error.strip()))
    now_pass = [r for r in known.rows if known.stale(r, outcomes)]
    if now_pass and not ctx.sanitized:
        lines.append("")
        lines.append("known failures that no longer fail (remove them from known_failures.txt):")
        for r in now_pass:
            lines.append("  " + r["line"])
    print("\n".join(lines))
    if args.json:
        with open(args.json, "w") as f:
            json.dump([{"pair": o.key, "broken": o.broken, "known": sorted(o.known),
                        "status": o.result.status if o.result else None,
                        "signal": o.result.signal if o.result else None,
                        "seconds": round(o.result.seconds, 2) if o.result else None,
                        "maxrss_mb": round(o.result.maxrss_mb, 1) if o.result else None,
                        "error": o.error} for o in outcomes], f, indent=1)
    new = [o for o in outcomes if set(o.broken) - set(o.known)]
    return 1 if new or errors else 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin-dir", required=True, help="build directory with setup, unzip, qelcheck, fakejava")
    parser.add_argument("--kind", choices=["linux", "wine"], default="linux")
    group = parser.add_mutually_exclusive_group()
    group.add_argument("--short", action="store_true", help="the seeded covering subset (the default)")
    group.add_argument("--full", action="store_true", help="every pair")
    parser.add_argument("--pair", action="append", default=[], help="only pairs matching this glob")
    parser.add_argument("--list", action="store_true", help="list the pairs and exit")
    parser.add_argument("--keep", action="store_true", help="keep the worlds (their .h/repro.sh reruns a pair)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=30.0, help="the time bound of one run, seconds")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--known", default=os.path.join(HERE, "known_failures.txt"))
    parser.add_argument("--json", help="write every outcome to this file")
    parser.add_argument("--progress", action="store_true", help="a line per pair on standard error")
    parser.add_argument("--sanitized", action="store_true",
                        help="a sanitizer build: no address-space limit, no memory invariant")
    parser.add_argument("--work-dir", default=None, help="where the worlds are made (default: the temp dir)")
    parser.add_argument("--wineprefix", default=None, help="a prefix to copy for the workers (else made)")
    parser.add_argument("--prefix-dir", default=None, help="where the workers' prefixes are kept between runs")
    args = parser.parse_args(argv)

    pairs = all_pairs(args.kind)
    short = not args.full and not args.pair
    if args.pair:
        pairs = [p for p in pairs if any(fnmatch.fnmatchcase(p.id, g) for g in args.pair)]
        if not pairs:
            raise SystemExit("no pair matches " + " ".join(args.pair))
    elif short:
        pairs = short_pairs(pairs, args.kind, args.seed)
    if args.list:
        for p in pairs:
            print(p.id)
        return 0
    if args.kind == "linux" and not args.sanitized:
        resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE_BYTES, ADDRESS_SPACE_BYTES))
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_BYTES, FILE_SIZE_BYTES))
    known = Known(args.known)
    ctx = Context(args)
    started = time.monotonic()
    try:
        outcomes = run_matrix(ctx, pairs, known, args.jobs, short)
    finally:
        ctx.close()
    status = report(ctx, outcomes, known, time.monotonic() - started, short, args)
    if args.keep:
        print("worlds kept in %s (each pair's .h/repro.sh runs it again)" % ctx.work)
    return status


if __name__ == "__main__":
    sys.exit(main())
