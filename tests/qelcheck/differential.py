"""The checker against the launcher: seeded variations of one valid medium,
each checked by qelcheck and run by the launcher (with the fake Java), and
the two verdicts compared.

A variation is the medium as written and, where the writer plainly meant
something else (a misspelt key, "true" for TRUE), the medium as meant. The
launcher runs both; it misbehaves on the variation when the runs differ
(status, installer class and arguments, what the bootstrap laid out), when
the installer does not start, when a class-path entry names nothing, or
when a message shows a raw placeholder. Then the checker must print an
error naming the cause (else: a false negative). When the launcher does
what the medium means, an error is a false positive.

usage: differential.py [--full | --sample N] [--seed S] [--kind linux|wine]
                       [--keep] [--verbose] [--only TEXT]
                       [--checker PATH] BUILD_DIR
  --full      every variation (the default is a sample of 120)
  --kind      wine: the Windows build of BUILD_DIR under wine (QEL_KIND)
Exit status 0 when no variation disagrees.
"""
import argparse
import concurrent.futures
import errno
import hashlib
import os
import random
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import zipfile

TS = "2026-01-02_03-04-05PM"
COMPONENTS = ("quelta.swd.qti", "quelta.swd.qti.core", "quelta.swd.mendra", "quelta.swd.jre", "product.extras")
VERSIONS = ("1.0.0.0.0", "2.0.0.0.0")
JRE_DATA = "../stage/Components/quelta.swd.jre/1.0.0.0.0/1/DataFiles"
RAW_PLACEHOLDER = re.compile(r"%[-+ #0-9.]*[sdiuxXocn]")
# What the launcher prints on a run that goes well, by message key.
SHOWN_KEYS = ("S_STARTINSTALLERMSG", "S_BOOTSTRAPMSG", "S_WAITMSG", "S_JVMLOADMSG")

# The Java program the staged runtime holds: it records the scratch
# directory's tree and the class-path entries that name nothing, then hands
# over to the fake Java (which logs its arguments and exits with 7).
JAVA_SCRIPT = """#!/bin/sh
find "$QEL_DIFF_SCRATCH" -mindepth 1 -maxdepth 3 -print 2>/dev/null | sort >"$QEL_DIFF_OUT/tree"
prev=
for a in "$@"; do
  if [ "$prev" = -cp ] || [ "$prev" = -classpath ]; then
    IFS=:
    for p in $a; do [ -e "$p" ] || echo "$p" >>"$QEL_DIFF_OUT/missing"; done
    unset IFS
  fi
  prev=$a
done
exec "$QEL_DIFF_OUT/java" "$@"
"""

# "linux" or "wine": the build the run lays media out for.
KIND = "linux"


FAKE_JAVA_EXE = None  # the Windows build's fake Java, read once


def java_entries(entries):
    """A runtime's Java program as the build expects it. Windows: java.exe
    and javaw.exe are the fake Java itself (Wine starts no script by that
    name), told to wait until the run's tree and class path are recorded."""
    if KIND != "wine":
        return entries
    out = {}
    for name, data in entries.items():
        if name == "bin/java" or name.endswith("/bin/java"):
            bin_dir = name[: -len("java")]
            out[bin_dir + "java.exe"] = out[bin_dir + "javaw.exe"] = FAKE_JAVA_EXE
            out[bin_dir + "fakejava.sleep"] = b"30000"
            out[bin_dir + "fakejava.exit"] = b"7"
        else:
            out[name] = data
    return out


def native(path):
    """A path as the build's programs take it."""
    return "Z:" + path.replace("/", "\\") if KIND == "wine" else path


def from_native(path, cwd):
    """A Windows path as the Unix side sees it (relative to cwd)."""
    path = path.replace("\\", "/")
    if re.match(r"[A-Za-z]:", path):
        return path[2:]
    return os.path.join(from_native(cwd, "/"), path)


def exists_any_case(path):
    """Whether a path names something for Windows, which ignores case."""
    here = "/"
    for part in [p for p in path.split("/") if p]:
        if part in ("..", "."):
            here = os.path.normpath(os.path.join(here, part))
            continue
        try:
            names = os.listdir(here)
        except OSError:
            return False
        match = next((n for n in names if n.lower() == part.lower()), None)
        if match is None:
            return False
        here = os.path.join(here, match)
    return True


def record_wine_run(log, scratch, out_dir):
    """What the Linux runtime's script records, for the fake Java that has
    just logged its start at log: the scratch tree and the class-path
    entries that name nothing."""
    tree = []
    for top, dirs, files in os.walk(scratch):
        depth = top[len(scratch):].count("/")
        for name in dirs + files:
            tree.append(os.path.join(top, name))
        if depth >= 2:
            dirs[:] = []
    with open(os.path.join(out_dir, "tree"), "w") as f:
        f.write("".join(t + "\n" for t in sorted(tree)))
    text = open(log, errors="replace").read()
    shutil.copy(log, os.path.join(out_dir, "fakejava.log"))
    cwd = next((l[4:] for l in text.splitlines() if l.startswith("cwd=")), "")
    args = [l[4:] for l in text.splitlines() if l.startswith("arg=")]
    missing = []
    for prev, arg in zip(args, args[1:]):
        if prev in ("-cp", "-classpath"):
            missing += [from_native(p, cwd) for p in arg.split(";") if p and not exists_any_case(from_native(p, cwd))]
    if missing:
        with open(os.path.join(out_dir, "missing"), "w") as f:
            f.write("".join(m + "\n" for m in missing))


def make_jar(path, entries):
    """entries: {name: bytes} or {name: (bytes, mode)}."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    entries = java_entries(entries)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries.items():
            data, mode = data if isinstance(data, tuple) else (data, 0o644)
            info = zipfile.ZipInfo(name)
            info.create_system = 3
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


def data_dir(component, version):
    return f"stage/Components/{component}/{version}/1/DataFiles"


# The jars the launcher puts on the installer's class path, by the component
# whose archives hold them.
CORE_JARS = ["QelInstaller.jar", "swiftset.jar", "xmlsievev2.jar", "sharekit.jar", "QelInstallerNet.jar",
             "cfgmonutl.jar", "monCfg.jar", "QelPrereq.jar", "tunnelkit.jar", "remoteshell.jar", "remotecalls.jar",
             "web_client.jar", "QelSuiteInstaller.jar"]
PATCH_TOOL_JARS = ["mendra.jar", "mendraactions.jar", "mendraprereq.jar", "mendrautil.jar"]
INSTALLER_JARS = ["SetupArt.jar", "SetupGuide.jar"] + [f"SetupGuide_{l}.jar" for l in
                                                       ("de", "es", "fr", "it", "ja", "ko", "pt_BR", "zh_CN", "zh_TW")] + [
    "quelta_view.jar", "guide4.jar", "guide4-nls.jar", "glaze3.jar", "glaze3-uiaccess.jar", "glaze3-nls.jar",
    "uiaccess.jar", "jglaze4.jar", "jglaze4-nls.jar", "qeli18n-collation.jar", "qeli18n-mapping.jar", "qjmisc.jar",
    "markup.jar", "nodectl.jar"]


LAUNCHERS_JARS = set(CORE_JARS + PATCH_TOOL_JARS + INSTALLER_JARS)


def base_stage(root):
    """The staged components of the valid medium, in two versions each
    (the runtime in one)."""
    for v in VERSIONS:
        make_jar(f"{root}/{data_dir('quelta.swd.qti', v)}/qti.jar",
                 dict({f"qti/jlib/{j}": b"i" for j in INSTALLER_JARS}, **{"qti/jlib/ojdbc.jar": b"j",
                                                                         f"qti/version-{v}": b"v"}))
        make_jar(f"{root}/{data_dir('quelta.swd.qti.core', v)}/core.jar",
                 dict({f"qti/jlib/{j}": b"c" for j in CORE_JARS}, **{f"qti/core-{v}": b"v"}))
        make_jar(f"{root}/{data_dir('quelta.swd.mendra', v)}/mendra.jar",
                 dict({f"Mendra/jlib/{j}": b"p" for j in PATCH_TOOL_JARS}, **{f"Mendra/version-{v}": b"v"}))
    make_jar(f"{root}/{data_dir('quelta.swd.jre', '1.0.0.0.0')}/jre.jar",
             {"jre/1.8.0/bin/java": (JAVA_SCRIPT.encode(), 0o755), "jre/1.8.0/lib/rt.jar": b"r"})
    make_jar(f"{root}/{data_dir('product.extras', '1.0.0.0.0')}/extras.jar", {"extras/readme": b"x"})


BASE_PARAMS = ["[Quelta]", "DISTRIBUTION=TRUE", "INSTALL_CLASS=demo.Main", f"JRE_LOCATION={JRE_DATA}"]


class Medium:
    """A medium as a recipe: the parameter file's lines, catalogue edits,
    file operations on the laid-out tree, and how the launcher is run."""

    def __init__(self):
        self.lines = list(BASE_PARAMS)
        self.catalogue = []   # (file, key, text or None, raw record or None)
        self.ops = []         # (op, path, arg)
        self.env = {"LANG": "C"}
        self.args = []
        self.stdin = ""

    def copy(self):
        m = Medium()
        m.lines, m.catalogue, m.ops = list(self.lines), list(self.catalogue), list(self.ops)
        m.env, m.args, m.stdin = dict(self.env), list(self.args), self.stdin
        return m

    def set(self, key, value):
        self.lines = [l for l in self.lines if not l.startswith(key + "=")] + [f"{key}={value}"]
        return self

    def drop(self, key):
        self.lines = [l for l in self.lines if not l.startswith(key + "=")]
        return self

    def add_line(self, line, at=None):
        if at is None:
            self.lines.append(line)
        else:
            self.lines.insert(at, line)
        return self

    def op(self, op, path, arg=None):
        self.ops.append((op, path, arg))
        return self

    def identity(self):
        return hashlib.sha1(repr((self.lines, self.catalogue, self.ops, sorted(self.env.items()), self.args,
                                  self.stdin)).encode()).hexdigest()


class Variation:
    def __init__(self, family, name, medium, meant=None, causes=(), compare="full", expect_out=(), expect_args=()):
        self.family, self.name, self.medium = family, name, medium
        self.meant = meant or base_medium()
        self.causes = list(causes)
        self.compare = compare        # "full": arguments and tree too; "run": status and class only
        self.expect_out = list(expect_out)
        self.expect_args = list(expect_args)  # texts an installer argument must end with
        self.meant_stops = False  # the meant medium stops before the installer


def base_medium():
    return Medium()


# ---------------------------------------------------------------------------
# The families of variations. Each takes the random source and yields
# variations; the values are drawn so that a seed gives the same list.

def misspell(rng, key):
    i = rng.randrange(1, len(key) - 1)
    how = rng.choice(("swap", "drop", "double", "replace"))
    if how == "swap" and key[i] != key[i + 1]:
        return key[:i] + key[i + 1] + key[i] + key[i + 2:]
    if how == "drop":
        return key[:i] + key[i + 1:]
    if how == "double":
        return key[:i] + key[i] + key[i:]
    letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    return key[:i] + rng.choice([c for c in letters if c != key[i]]) + key[i + 1:]


# Keys with a value that changes what the launcher does on the base medium,
# and values that change nothing there.
MEANINGFUL = [
    ("WAIT_FOR_COMPLETION", "TRUE"),
    ("INSTALL_CLASS", "demo.Other"),
    ("BOOTSTRAP_COMPS", "quelta.swd.jre,quelta.swd.qti,quelta.swd.qti.core,quelta.swd.mendra,product.extras"),
    ("QTI_VERSION", "1.0.0.0.0"),
    ("MENDRA_LOCATION", "../stage/Components/quelta.swd.mendra/1.0.0.0.0/1/DataFiles"),
    ("QTI_LOCATION", "../stage/Components/quelta.swd.qti/1.0.0.0.0/1/DataFiles"),
    ("THIN_JDBC_FILENAME", "ojdbc.jar"),
    ("ADDTO_CLASSPATH", "qti/jlib/ojdbc.jar"),
    ("JRE_MEMORY_OPTIONS", "-Xmx256m"),
]
NEUTRAL = [
    ("WAIT_FOR_COMPLETION", "FALSE"),
    ("BOOTSTRAP", "TRUE"),
    ("INSTALL_CLASS", "demo.Main"),
    ("DISABLE_JRE_PROMPT", "FALSE"),
]


def fam_misspelt_keys(rng, n):
    for _ in range(n):
        key, value = rng.choice(MEANINGFUL + NEUTRAL)
        wrong = misspell(rng, key)
        also_right = rng.random() < 0.25
        m = base_medium()
        if key == "INSTALL_CLASS":
            m.drop(key)
        if also_right or key == "INSTALL_CLASS" and value == "demo.Main":
            m.set(key, value)
        m.add_line(f"{wrong}={value}")
        meant = base_medium().set(key, value)
        yield Variation("misspelt key", f"{wrong}={value}" + (" beside the right key" if also_right else ""),
                        m, meant, [wrong])
    for key, value in MEANINGFUL[:3] + NEUTRAL[:1]:
        m = base_medium().add_line(f"{key.lower()}={value}")
        yield Variation("misspelt key", f"{key.lower()}={value} (letter case)", m, base_medium().set(key, value),
                        [key.lower()])


ON_SPELLINGS = ["TRUE", "True", "true", "T", "Tx", "yes", "1", "ON", " TRUE", "TRUE "]
OFF_SPELLINGS = ["FALSE", "false", "F", "no", "0"]


def means_on(text):
    return text.strip().upper() in ("TRUE", "T", "YES", "1", "ON", "TX")


def fam_flags(rng, n):
    for _ in range(n):
        key = rng.choice(["WAIT_FOR_COMPLETION", "DISTRIBUTION", "BOOTSTRAP", "USEJREONLY", "USEJDKONLY",
                          "DISABLE_JRE_PROMPT", "PLATFORM_PREREQS"])
        # A medium of staged components means to be a distribution medium.
        spelling = rng.choice(ON_SPELLINGS + ([] if key == "DISTRIBUTION" else OFF_SPELLINGS))
        m = base_medium().set(key, spelling)
        meant = base_medium().set(key, "TRUE" if means_on(spelling) else "FALSE")
        if key in ("USEJREONLY", "USEJDKONLY") and means_on(spelling):
            # Both on the staged runtime: the launcher's own rule decides; the
            # run must only go on.
            yield Variation("flag", f"{key}={spelling!r}", m, meant, [key], compare="run")
            continue
        yield Variation("flag", f"{key}={spelling!r}", m, meant, [key])


def fam_values(rng, n):
    sizes = ["-1", "0", "45", "2047", "2048", "4096", "300MB", "abc", " 45", "99999999999"]
    for _ in range(n):
        kind = rng.choice(["size", "size", "threads", "qti_version", "jre_version", "long_class"])
        m = base_medium()
        if kind == "size":
            size = rng.choice(sizes)
            m.set("BOOTSTRAP_SIZE", size)
            yield Variation("value", f"BOOTSTRAP_SIZE={size!r}", m, base_medium(), ["BOOTSTRAP_SIZE"])
        elif kind == "threads":
            value = rng.choice(["4", "123456789012", "0", "-3", "x"])
            m.set("COPY_THREADS", value)
            yield Variation("value", f"COPY_THREADS={value}", m, base_medium().set("COPY_THREADS", value[:11]),
                            ["COPY_THREADS"], expect_args=[] if value == "0" else [f"copythreads={value}"])
        elif kind == "qti_version":
            value = rng.choice(["1.0.0.0.0", "2.0.0.0.0", "3.0.0.0.0", "1.0.0.0.0" + ".0" * 12])
            m.set("QTI_VERSION", value)
            meant = base_medium().set("QTI_VERSION", value) if len(value) <= 31 else base_medium()
            yield Variation("value", f"QTI_VERSION={value}", m, meant, ["QTI_VERSION"])
        elif kind == "jre_version":
            value = rng.choice(["1.8.0", "17.0.2+8-and-a-build-name-too-long"])
            m.set("JRE_VERSION", value)
            yield Variation("value", f"JRE_VERSION={value}", m, None, ["JRE_VERSION"], compare="run")
        else:
            value = "demo." + "x" * rng.choice([100, 1100])
            m.drop("INSTALL_CLASS").set("INSTALL_CLASS", value)
            yield Variation("value", f"INSTALL_CLASS of {len(value)} characters", m,
                            base_medium().set("INSTALL_CLASS", value[:1023]) if len(value) <= 1023 else
                            base_medium().set("INSTALL_CLASS", "demo.long"), ["INSTALL_CLASS"])


LOCATION_KEYS = ["QTI_LOCATION", "QTI_CORE_LOCATION", "MENDRA_LOCATION", "JRE_LOCATION"]
STAGED_OF = {"QTI_LOCATION": "quelta.swd.qti", "QTI_CORE_LOCATION": "quelta.swd.qti.core",
             "MENDRA_LOCATION": "quelta.swd.mendra", "JRE_LOCATION": "quelta.swd.jre"}


def fam_locations(rng, n):
    for _ in range(n):
        key = rng.choice(LOCATION_KEYS + ["ACCESS_DIR", "EXT_JLIB", "EXT_LIB", "EXT_BIN", "PREREQ_CONFIG_LOCATION"])
        what = rng.choice(["file", "setup", "missing", "no jars", "other version", "directory", "absolute missing"])
        m = base_medium()
        meant = base_medium()
        compare = "full"
        if what == "file":
            value = "qelparam.ini"
        elif what == "setup":
            value = "../install/setup"
        elif what == "missing":
            value = "../nowhere"
        elif what == "no jars":
            value = "../docs"
            m.op("mkdir", "docs")
            meant.op("mkdir", "docs")
        elif what == "absolute missing":
            value = "/nonexistent/qel/place"
        elif what == "directory":
            value = "../extra"
            m.op("jar", "extra/extra.jar", {"extra/file": b"e"})
            meant.op("jar", "extra/extra.jar", {"extra/file": b"e"})
        else:
            comp = STAGED_OF.get(key, "quelta.swd.qti")
            version = "2.0.0.0.0" if key != "JRE_LOCATION" else "1.0.0.0.0"
            value = f"../stage/Components/{comp}/{version}/1/DataFiles"
        m.set(key, value)
        if key in LOCATION_KEYS:
            if what == "other version" or what == "directory" and key != "JRE_LOCATION":
                meant.set(key, value)
            elif key == "JRE_LOCATION":
                meant = base_medium()
        else:
            # The extra directories: what the medium means is the copy the
            # value names; a place that names nothing means no copy.
            meant.set(key, value)
            compare = "run"
        yield Variation("location", f"{key}={value} ({what})", m, meant, [key, value], compare=compare)


def fam_stage(rng, n):
    for _ in range(n):
        comp = rng.choice(COMPONENTS)
        listed = rng.random() < 0.3
        m = base_medium()
        meant = base_medium()
        if listed:
            comps = "quelta.swd.jre,quelta.swd.qti,quelta.swd.qti.core,quelta.swd.mendra" + (",product.extras" if rng.random() < 0.5 else "")
            m.set("BOOTSTRAP_COMPS", comps)
            meant.set("BOOTSTRAP_COMPS", comps)
        version = "1.0.0.0.0" if comp in ("quelta.swd.jre", "product.extras") else rng.choice(VERSIONS)
        where = data_dir(comp, version)
        what = rng.choice(["no jar", "damaged", "not a zip", "truncated", "empty higher version",
                           "jars-less higher version", "not a version", "upper-case JAR", "climbing entry"])
        pinned = ""
        if what in ("empty higher version", "jars-less higher version", "not a version"):
            higher = "9.0.0.0.0" if what != "not a version" else "latest"
            target = f"stage/Components/{comp}/{higher}" + ("" if what == "empty higher version" else "/1/DataFiles")
            m.op("mkdir", target)
            pin = rng.random() < 0.5 and comp in ("quelta.swd.qti", "quelta.swd.qti.core", "quelta.swd.mendra")
            if pin:
                pinned = " (pinned)"
                if comp == "quelta.swd.mendra":
                    m.set("MENDRA_LOCATION", f"../{data_dir(comp, '2.0.0.0.0')}")
                    meant.set("MENDRA_LOCATION", f"../{data_dir(comp, '2.0.0.0.0')}")
                else:
                    m.set("QTI_VERSION", "2.0.0.0.0")
                    meant.set("QTI_VERSION", "2.0.0.0.0")
            causes = [comp]
        elif what == "no jar":
            m.op("rmjars", where)
            causes = [comp]
        elif what == "upper-case JAR":
            m.op("rename_jar_upper", where)
            causes = [comp]
        elif what == "climbing entry":
            m.op("jar", where + "/evil.jar", {"../evil.txt": b"out"})
            causes = ["evil.jar"]
        else:
            m.op(what.replace(" ", "_"), where)
            causes = [comp]
        yield Variation("stage", f"{comp} {version}: {what}{pinned}" + (" (listed)" if listed else ""), m, meant,
                        causes)


def fam_components(rng, n):
    lists = ["quelta.swd.qti,quelta.swd.mendra", "quelta.swd.jre,quelta.swd.qti", "quelta.swd.jre",
             "quelta.swd.qti,quelta.swd.jre,product.extras", "product.extras", "quelta.swd.jre,nosuch.comp",
             "quelta.swd.jre,quelta.swd.qti:1.0.0.0.0", "quelta.swd.jre,quelta.swd.qti:7.0.0.0.0",
             "quelta.swd.jre,,quelta.swd.qti", "quelta.swd.jre,product.extras:3.0"]
    for _ in range(n):
        value = rng.choice(lists)
        jre = rng.choice(["staged", "external", "unset-disabled"])
        m = base_medium().set("BOOTSTRAP_COMPS", value)
        meant = base_medium().set("BOOTSTRAP_COMPS", value)
        if jre == "external":
            m.set("JRE_LOCATION", "@EXTJRE@")
            meant.set("JRE_LOCATION", "@EXTJRE@")
        elif jre == "unset-disabled":
            m.drop("JRE_LOCATION").set("DISABLE_JRE_PROMPT", "TRUE")
            meant.set("DISABLE_JRE_PROMPT", "TRUE")
        # A version that is not staged: the medium means one that is.
        meant.set("BOOTSTRAP_COMPS", value.replace(":7.0.0.0.0", "").replace(",nosuch.comp", "")
                  .replace(":3.0", ""))
        yield Variation("component list", f"BOOTSTRAP_COMPS={value} (runtime {jre})", m, meant,
                        ["BOOTSTRAP_COMPS", "JRE_LOCATION", "DISABLE_JRE_PROMPT"])


def fam_runtime(rng, n):
    for _ in range(n):
        staged = rng.random() < 0.5
        location = rng.choice(["unset", "staged", "missing"])
        prompt = rng.choice(["TRUE", "True", "FALSE", None])
        # Someone answers a prompt: what they answer depends on the machine.
        answer = True
        m = base_medium()
        if not staged:
            m.op("rmtree", "stage/Components/quelta.swd.jre")
        if location == "unset":
            m.drop("JRE_LOCATION")
        elif location == "missing":
            m.set("JRE_LOCATION", "../nowhere/jre")
        if prompt is not None:
            m.set("DISABLE_JRE_PROMPT", prompt)
        if answer:
            m.stdin = "@EXTJRE@\n"
        # What the medium means: the staged runtime when there is one and
        # the location names it or nothing; else the runtime the user gives.
        meant = base_medium()
        if prompt is not None:
            meant.set("DISABLE_JRE_PROMPT", prompt)
        if not staged or location == "unset":
            meant = m.copy()
            if not answer or prompt == "TRUE":
                meant = None
        name = (f"runtime {'staged' if staged else 'not staged'}, JRE_LOCATION {location}, DISABLE_JRE_PROMPT="
                f"{prompt}, {'an answer' if answer else 'no answer'}")
        if meant is None:
            # Nothing to run with: the medium cannot mean a run that goes on.
            yield Variation("runtime", name, m, base_medium(), ["JRE_LOCATION", "DISABLE_JRE_PROMPT", "quelta.swd.jre"],
                            compare="run")
        else:
            yield Variation("runtime", name, m, meant, ["JRE_LOCATION", "DISABLE_JRE_PROMPT", "quelta.swd.jre"],
                            compare="run" if meant is m or not staged or location == "unset" else "full")


def fam_thin_jdbc(rng, n):
    for _ in range(n):
        value = rng.choice(["ojdbc.jar", "missing.jar", "installer.jar", "../ojdbc.jar", "OJDBC.JAR"])
        m = base_medium().set("THIN_JDBC_FILENAME", value)
        # Windows finds a file whatever the case of its name.
        exact = ("ojdbc.jar", "installer.jar") + (("OJDBC.JAR",) if KIND == "wine" else ())
        meant = base_medium().set("THIN_JDBC_FILENAME", value if value in exact else "ojdbc.jar")
        yield Variation("thin jdbc", f"THIN_JDBC_FILENAME={value}", m, meant, ["THIN_JDBC_FILENAME"])


def fam_catalogue(rng, n):
    for _ in range(n):
        translated = rng.random() < 0.5
        file = "cons_de.nls" if translated else "cons.nls"
        key = rng.choice(SHOWN_KEYS)
        what = rng.choice(["extra %s", "extra %d", "%n", "%%", "%5s", "long record", "dropped", "unknown key",
                           "no equals"])
        if what == "long record":
            key = "S_JVMLOADMSG"  # the one message shown whole on a good run (with -DEBUG)
        m = base_medium()
        m.env["LANG"] = "de_DE.UTF-8" if translated else "C"
        m.args = ["-DEBUG"] if key == "S_JVMLOADMSG" else []
        meant = base_medium()
        meant.env, meant.args = dict(m.env), list(m.args)
        expect = []
        if what.startswith("extra") or what in ("%n", "%%", "%5s"):
            piece = {"extra %s": " (%s)", "extra %d": " [%d]", "%n": "%n", "%%": " 100%%", "%5s": ""}[what]
            m.catalogue.append((file, key, "@ORIGINAL@" + piece, None))
        elif what == "long record":
            m.catalogue.append((file, key, "Long text " + "y" * 1100 + " END-OF-TEXT", None))
            expect.append("Long text " + "y" * 1100 + " END-OF-TEXT")
        elif what == "dropped":
            m.catalogue.append((file, key, None, None))
        elif what == "unknown key":
            m.catalogue.append((file, "S_NOT_A_KEY", "never shown", None))
        else:
            m.catalogue.append((file, None, None, b"a record without an equals sign"))
        yield Variation("catalogue", f"{file}: {key} {what}", m, meant, [f"{file}: error: {key}"], expect_out=expect)


def fam_param_file(rng, n):
    for _ in range(n):
        what = rng.choice(["directory", "directory above", "twice same", "twice different", "before section",
                           "second section", "no equals", "no section", "comment", "crlf"])
        m = base_medium()
        meant = base_medium()
        causes = ["qelparam.ini", "INSTALL_CLASS"]
        if what == "directory":
            m.op("param_dir", "install/qelparam.ini")
            meant = None
        elif what == "directory above":
            m.op("param_dir", "install/qelparam.ini")
            m.op("param_above", "qelparam.ini")
        elif what == "twice same":
            m.add_line("INSTALL_CLASS=demo.Main")
        elif what == "twice different":
            m.add_line("INSTALL_CLASS=demo.Other")
            meant.drop("INSTALL_CLASS").set("INSTALL_CLASS", "demo.Other")
        elif what == "before section":
            m.add_line("WAIT_FOR_COMPLETION=TRUE", at=0)
            meant.set("WAIT_FOR_COMPLETION", "TRUE")
            causes = ["WAIT_FOR_COMPLETION"]
        elif what == "second section":
            m.add_line("[Quelta]").add_line("WAIT_FOR_COMPLETION=TRUE")
            meant.set("WAIT_FOR_COMPLETION", "TRUE")
            causes = ["WAIT_FOR_COMPLETION", "[Quelta]"]
        elif what == "no equals":
            m.add_line("WAIT_FOR_COMPLETION")
        elif what == "no section":
            m.lines = m.lines[1:]
            causes = ["[Quelta]", "Quelta"]
        elif what == "comment":
            m.add_line(";WAIT_FOR_COMPLETION=TRUE")
        else:
            m.op("crlf", "install/qelparam.ini")
        if meant is None:
            yield Variation("parameter file", what, m, base_medium(), causes, compare="run")
        else:
            yield Variation("parameter file", what, m, meant, causes)


def fam_prereqs(rng, n):
    for _ in range(n):
        what = rng.choice(["blank before equals", "no key", "unknown key", "lower-case section", "good"])
        m = base_medium().set("PLATFORM_PREREQS", "TRUE")
        # A requirement no machine meets: the meant run stops.
        meant = base_medium().set("PLATFORM_PREREQS", "TRUE")
        meant.add_line("[Generic Prereqs]").add_line("CPU=99999999")
        m.add_line("[Generic Prereqs]" if what != "lower-case section" else "[generic prereqs]")
        if what == "blank before equals":
            m.add_line("CPU =99999999")
        elif what == "no key":
            m.add_line("=5").add_line("CPU=99999999")
        elif what == "unknown key":
            m.add_line("CPUS=99999999")
        else:
            m.add_line("CPU=99999999")
        v = Variation("prerequisites", what, m, meant, ["CPU", "Generic Prereqs", "generic prereqs"],
                      compare="run")
        v.meant_stops = True
        yield v


def fam_programs(rng, n):
    for _ in range(n):
        what = rng.choice(["no unzip", "unzip a directory", "no catalogue", "no resource"])
        m = base_medium()
        if what == "no unzip":
            m.op("rm", "install/unzip")
            causes = ["unzip"]
        elif what == "unzip a directory":
            m.op("rm", "install/unzip").op("mkdir", "install/unzip")
            causes = ["unzip"]
        elif what == "no catalogue":
            m.op("rm", "install/resource/cons.nls")
            causes = ["cons.nls"]
        else:
            m.op("rmtree", "install/resource")
            causes = ["cons.nls", "resource"]
        yield Variation("programs", what, m, base_medium(), causes)


def fam_scratch_runtime(rng, n):
    for _ in range(n):
        value = rng.choice(["jre/1.8.0", "nowhere", "extras", "jre"])
        keep = rng.random() < 0.5
        listed = rng.random() < 0.5
        m = base_medium().set("JRE_SCRATCH_LOC", value)
        if not keep:
            m.drop("JRE_LOCATION")
        if listed:
            m.set("BOOTSTRAP_COMPS", "product.extras,quelta.swd.jre,quelta.swd.qti,quelta.swd.qti.core,quelta.swd.mendra")
        # The medium means the runtime the bootstrap lays out.
        yield Variation("scratch runtime", f"JRE_SCRATCH_LOC={value}, JRE_LOCATION {'kept' if keep else 'unset'}"
                        + (", extras listed first" if listed else ""), m, None, ["JRE_SCRATCH_LOC", "JRE_LOCATION"],
                        compare="run")


RUNTIME_ARCHIVES = {
    "java not executable": {"jre/1.8.0/bin/java": (JAVA_SCRIPT.encode(), 0o644), "jre/1.8.0/lib/rt.jar": b"r"},
    "an empty first runtime": {"jre/1.0/README": b"none", "jre/1.8.0/bin/java": (JAVA_SCRIPT.encode(), 0o755)},
    "a later second runtime": {"jre/1.8.0/bin/java": (JAVA_SCRIPT.encode(), 0o755), "jre/2.0/README": b"none"},
    "no jre directory": {"runtime/1.8.0/bin/java": (JAVA_SCRIPT.encode(), 0o755)},
    "the runtime in upper case": {"JRE/1.8.0/bin/java": (JAVA_SCRIPT.encode(), 0o755)},
}


def fam_runtime_archive(rng, n):
    for _ in range(n):
        what = rng.choice(sorted(RUNTIME_ARCHIVES))
        m = base_medium().op("jar", data_dir("quelta.swd.jre", "1.0.0.0.0") + "/jre.jar", RUNTIME_ARCHIVES[what])
        yield Variation("runtime archive", what, m, None, ["quelta.swd.jre", "jre.jar", "JRE_LOCATION"],
                        compare="run")


def fam_examples(rng, n):
    """The cases found by review, in every run."""
    jre_gone = base_medium().op("rmtree", "stage/Components/quelta.swd.jre").drop("JRE_LOCATION")
    yield Variation("example", "MENDRA_LOCATION names a file", base_medium().set("MENDRA_LOCATION", "qelparam.ini"),
                    None, ["MENDRA_LOCATION"])
    yield Variation("example", "THIN_JDBC_FILENAME names a jar the installer archive lacks",
                    base_medium().set("THIN_JDBC_FILENAME", "missing.jar"), base_medium().set("THIN_JDBC_FILENAME",
                                                                                             "ojdbc.jar"),
                    ["THIN_JDBC_FILENAME"])
    yield Variation("example", "no runtime and DISABLE_JRE_PROMPT=TRUE", jre_gone.copy().set("DISABLE_JRE_PROMPT", "TRUE"),
                    None, ["DISABLE_JRE_PROMPT"], compare="run")
    yield Variation("example", "BOOTSTRAP_COMPS leaves out the runtime JRE_LOCATION stages",
                    base_medium().set("BOOTSTRAP_COMPS", "quelta.swd.qti,quelta.swd.mendra"),
                    base_medium().set("BOOTSTRAP_COMPS", "quelta.swd.jre,quelta.swd.qti,quelta.swd.qti.core,quelta.swd.mendra"),
                    ["BOOTSTRAP_COMPS"], compare="run")
    m = base_medium()
    m.catalogue.append(("cons.nls", "S_STARTINSTALLERMSG", "@ORIGINAL@ (%s)", None))
    yield Variation("example", "a %s added to S_STARTINSTALLERMSG of cons.nls", m, None,
                    ["cons.nls: error: S_STARTINSTALLERMSG"])
    yield Variation("example", "WAIT_FOR_COMPLETON=TRUE", base_medium().set("WAIT_FOR_COMPLETON", "TRUE"),
                    base_medium().set("WAIT_FOR_COMPLETION", "TRUE"), ["WAIT_FOR_COMPLETON"])
    yield Variation("example", "INSTALL_CLAS=demo.Other", base_medium().drop("INSTALL_CLASS").set("INSTALL_CLAS", "demo.Other"),
                    base_medium().drop("INSTALL_CLASS").set("INSTALL_CLASS", "demo.Other"), ["INSTALL_CLAS"])
    m = base_medium()
    m.args = ["-DEBUG"]
    long_text = "Long text " + "z" * 1100 + " END"
    m.catalogue.append(("cons.nls", "S_JVMLOADMSG", long_text, None))
    meant = base_medium()
    meant.args = ["-DEBUG"]
    yield Variation("example", "a catalogue record over 1,023 bytes", m, meant, ["cons.nls: error: S_JVMLOADMSG"],
                    expect_out=[long_text])
    m = base_medium()
    m.env["LANG"] = "de_DE.UTF-8"
    m.catalogue.append(("cons_de.nls", "S_STARTINSTALLERMSG", "@ORIGINAL@%n", None))
    meant = base_medium()
    meant.env["LANG"] = "de_DE.UTF-8"
    yield Variation("example", "%n in a translation", m, meant, ["cons_de.nls: error: S_STARTINSTALLERMSG"])
    pinned = base_medium().set("QTI_VERSION", "2.0.0.0.0")
    yield Variation("example", "an empty higher version the pinned version excludes",
                    pinned.copy().op("mkdir", "stage/Components/quelta.swd.qti/9.0.0.0.0"), pinned,
                    ["quelta.swd.qti"])
    yield Variation("example", "DISABLE_JRE_PROMPT=True where no prompt can happen",
                    base_medium().set("DISABLE_JRE_PROMPT", "True"), base_medium().set("DISABLE_JRE_PROMPT", "TRUE"),
                    ["DISABLE_JRE_PROMPT"])
    yield Variation("example", "a directory named qelparam.ini", base_medium().op("param_dir", "install/qelparam.ini"),
                    None, ["qelparam.ini"], compare="run")


EXAMPLES = fam_examples

# What a Windows medium cannot hold: the runtime's program is java.exe
# whatever its mode bits.
LINUX_ONLY = ("java not executable",)

FAMILIES = [  # (family, share of the variations)
    (fam_examples, 0), (fam_misspelt_keys, 14), (fam_flags, 12), (fam_values, 8), (fam_locations, 14), (fam_stage, 14),
    (fam_components, 8), (fam_runtime, 8), (fam_thin_jdbc, 4), (fam_catalogue, 10), (fam_param_file, 6),
    (fam_prereqs, 3), (fam_programs, 2), (fam_scratch_runtime, 3), (fam_runtime_archive, 3),
]


def variations(seed, total):
    rng = random.Random(seed)
    weight = sum(w for _, w in FAMILIES)
    out = []
    for family, share in FAMILIES:
        out.extend(family(rng, max(1, total * share // weight)))
    return out


# ---------------------------------------------------------------------------
# Laying a medium out and running the two programs on it.

def run_program(command, **kwargs):
    """subprocess.run, again while the program is still open for writing in
    a child the other worker forked while copying it."""
    for _ in range(50):
        try:
            return subprocess.run(command, **kwargs)
        except OSError as e:
            if e.errno != errno.ETXTBSY:
                raise
            time.sleep(0.05)
    return subprocess.run(command, **kwargs)


class Lab:
    def __init__(self, build, kind, work):
        self.build, self.kind, self.work = build, kind, work
        self.exe = ".exe" if kind == "wine" else ""
        self.template = os.path.join(work, "template")
        base_stage(self.template)
        self.memo = {}
        self.checker = os.path.join(build, "qelcheck" + self.exe)

    def lay_out(self, medium, root):
        shutil.copytree(self.template, root)
        install = os.path.join(root, "install")
        os.makedirs(install)
        for program in ("setup", "unzip"):
            shutil.copy2(os.path.join(self.build, program + self.exe), install)
        shutil.copytree(os.path.join(self.build, "resource"), os.path.join(install, "resource"))
        extjre = os.path.join(root, "extjre")
        os.makedirs(os.path.join(extjre, "bin"))
        for name, data in java_entries({"bin/java": (JAVA_SCRIPT.encode(), 0o755)}).items():
            with open(os.path.join(extjre, name), "wb") as f:
                f.write(data[0] if isinstance(data, tuple) else data)
            os.chmod(os.path.join(extjre, name), 0o755)
        # Also a runtime data directory: the bootstrap expands its jars.
        shutil.copy(os.path.join(self.template, data_dir("quelta.swd.jre", "1.0.0.0.0"), "jre.jar"), extjre)
        lines = medium.lines
        if self.kind == "wine":
            lines = [l.replace("/", "\\") for l in lines]
        text = "\n".join(lines).replace("@EXTJRE@", native(extjre)) + "\n"
        with open(os.path.join(install, "qelparam.ini"), "w") as f:
            f.write(text)
        for file, key, value, raw in medium.catalogue:
            self.edit_catalogue(os.path.join(install, "resource", file), key, value, raw)
        for op, path, arg in medium.ops:
            self.apply(root, op, path, arg)
        return install

    @staticmethod
    def edit_catalogue(path, key, value, raw):
        with open(path, "rb") as f:
            records = [r for r in f.read().split(b"\0") if r]
        if raw is not None:
            records.append(raw)
        else:
            kb = key.encode() + b"="
            old = next((r[len(kb):] for r in records if r.startswith(kb)), b"")
            records = [r for r in records if not r.startswith(kb)]
            if value is not None:
                records.append(kb + value.replace("@ORIGINAL@", old.decode()).encode())
        with open(path, "wb") as f:
            f.write(b"".join(r + b"\0" for r in records))

    @staticmethod
    def apply(root, op, path, arg):
        if KIND == "wine" and path == "install/unzip":
            path += ".exe"
        full = os.path.join(root, path)
        jars = lambda: sorted(os.path.join(full, j) for j in os.listdir(full) if j.lower().endswith(".jar"))
        if op == "mkdir":
            os.makedirs(full, exist_ok=True)
        elif op == "file":
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write(arg)
        elif op == "jar":
            make_jar(full, arg)
        elif op == "rm":
            os.remove(full)
        elif op == "rmtree":
            shutil.rmtree(full)
        elif op == "rmjars":
            for j in jars():
                os.remove(j)
        elif op == "rename_jar_upper":
            for j in jars():
                os.rename(j, j[:-4] + ".JAR")
        elif op == "damaged":
            for j in jars():
                raw = bytearray(open(j, "rb").read())
                raw[40] ^= 0xFF
                open(j, "wb").write(raw)
        elif op == "not_a_zip":
            for j in jars():
                open(j, "w").write("not an archive\n")
        elif op == "truncated":
            for j in jars():
                raw = open(j, "rb").read()
                open(j, "wb").write(raw[: len(raw) // 2])
        elif op == "param_dir":
            os.remove(full)
            os.makedirs(full)
        elif op == "param_above":
            shutil.copy(os.path.join(root, "install", "qelparam.ini.above"), full) if False else None
            with open(full, "w") as f:
                f.write("\n".join(BASE_PARAMS) + "\n")
        elif op == "crlf":
            text = open(full).read()
            open(full, "w", newline="\r\n").write(text)
        else:
            raise ValueError(op)

    def run_launcher(self, medium, root):
        install = self.lay_out(medium, root)
        out_dir = os.path.join(root, "out")
        os.makedirs(out_dir)
        shutil.copy2(os.path.join(self.build, "fakejava" + self.exe), os.path.join(out_dir, "java"))
        with open(os.path.join(out_dir, "fakejava.exit"), "w") as f:
            f.write("7")
        scratch = os.path.join(root, "scratch")
        os.makedirs(os.path.join(root, "temp"))
        env = dict(os.environ, QEL_REGISTRY_ROOT=os.path.join(root, "registry"), TEMP=os.path.join(root, "temp"),
                   QEL_DIFF_OUT=out_dir, QEL_DIFF_SCRATCH=os.path.join(scratch, "QelInstall" + TS), LC_ALL="",
                   LC_MESSAGES="")
        env.update(medium.env)
        stdin = medium.stdin.replace("@EXTJRE@", native(os.path.join(root, "extjre")))
        if self.kind == "wine":
            status, out, err = self.run_wine_launcher(install, scratch, medium, stdin, env, root, out_dir)
            return Outcome(root, status, out, err, out_dir)
        try:
            done = run_program([os.path.join(install, "setup"), "-rtimestamp", TS, "-SCRATCHPATH", scratch]
                               + medium.args, cwd=install, input=stdin.encode(), capture_output=True, env=env,
                               timeout=60)
            status, out, err = done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(
                errors="replace")
        except subprocess.TimeoutExpired:
            status, out, err = "timeout", "", ""
        return Outcome(root, status, out, err, out_dir)

    def run_wine_launcher(self, install, scratch, medium, stdin, env, root, out_dir):
        """The launcher under Wine, its fake Java held until the run is
        recorded. A launcher that does not wait ends before the installer has
        logged its start: then the start is waited for."""
        with open(os.path.join(root, "stdin"), "w") as f:
            f.write(stdin)
        streams = [open(os.path.join(root, n), "w+b") for n in ("stdout", "stderr")]
        with open(os.path.join(root, "stdin"), "rb") as given:
            proc = subprocess.Popen(["wine", os.path.join(install, "setup.exe"), "-rtimestamp", TS, "-SCRATCHPATH",
                                     native(scratch)] + medium.args, cwd=install, stdin=given, stdout=streams[0],
                                    stderr=streams[1], env=env)
        logs = [os.path.join(root, "extjre", "bin", "fakejava.log")]
        started = time.time()
        ended = None
        recorded = False
        while True:
            found = [l for l in logs + self.scratch_logs(scratch) if os.path.exists(l)]
            for log in found:
                if not recorded and "\nend\n" in open(log, errors="replace").read():
                    record_wine_run(log, os.path.join(scratch, "QelInstall" + TS), out_dir)
                    recorded = True
                    for hold in (os.path.join(os.path.dirname(log), "fakejava.sleep"),):
                        if os.path.exists(hold):
                            os.remove(hold)
            if ended is None and proc.poll() is not None:
                ended = time.time()
            # Status 3: the installer runs on, not waited for; its start
            # is on its way however long Wine takes to show it.
            if ended is not None and (recorded or proc.returncode != 3 and time.time() - ended > 1):
                break
            if time.time() - started > 90:
                proc.kill()
                proc.wait()
                return "timeout", "", ""
            time.sleep(0.05)
        out, err = [(s.seek(0), s.read().decode(errors="replace"), s.close())[1] for s in streams]
        return proc.returncode, out, err

    @staticmethod
    def scratch_logs(scratch):
        logs = []
        for top, dirs, files in os.walk(scratch):
            if "fakejava.log" in files:
                logs.append(os.path.join(top, "fakejava.log"))
        return logs

    def check(self, root):
        install = os.path.join(root, "install")
        command = [self.checker, install] if self.kind != "wine" else ["wine", self.checker, native(install)]
        done = run_program(command, capture_output=True)
        return done.returncode, done.stdout.decode(errors="replace").splitlines()

    def meant_outcome(self, medium):
        key = medium.identity()
        if key not in self.memo:
            root = os.path.join(tempfile.mkdtemp(prefix="meant-", dir=self.work), "m")
            self.memo[key] = self.run_launcher(medium, root)
            shutil.rmtree(root, ignore_errors=True)
        return self.memo[key]


class Outcome:
    def __init__(self, root, status, out, err, out_dir):
        def norm(text):
            return text.replace(native(root), "<W>").replace(root, "<W>")

        self.status = status
        self.text = norm(out + err)
        log = os.path.join(out_dir, "fakejava.log")
        self.args = None
        if os.path.exists(log):
            args = [l[4:] for l in open(log, errors="replace").read().splitlines() if l.startswith("arg=")]
            self.args = [norm(a) for a in args[1:]]
        tree = os.path.join(out_dir, "tree")
        self.tree = [norm(l) for l in open(tree).read().splitlines()] if os.path.exists(tree) else []
        missing = os.path.join(out_dir, "missing")
        self.missing = [norm(l) for l in open(missing).read().splitlines()] if os.path.exists(missing) else []

    def started(self):
        return self.args is not None

    def installer_class(self):
        if not self.args:
            return None
        for i, a in enumerate(self.args):
            if a in ("-cp", "-classpath") and i + 1 < len(self.args):
                return self.args[i + 2] if i + 2 < len(self.args) else None
        return None


def misbehaviour(v, got, meant):
    """Why the launcher's run of the variation is not the run the medium
    means; None when it is."""
    if v.meant_stops:
        if meant.started():
            return "GENERATOR: the meant medium runs the installer"
        if got.started() or got.status != meant.status:
            return f"the installer started or the status differs ({got.status}, meant {meant.status})"
        return None
    if not meant.started():
        return "GENERATOR: the meant medium does not run the installer"
    if not got.started():
        return f"the installer did not start (status {got.status})"
    if got.status != meant.status:
        return f"status {got.status}, meant {meant.status}"
    # Java passes over class-path entries that name nothing: those that count
    # are the jars the medium names and the one of the installer's class.
    missing = [e for e in got.missing if os.path.basename(e) not in LAUNCHERS_JARS or e.endswith("/QelInstaller.jar")]
    if missing:
        return f"class-path entries name nothing: {missing[:3]}"
    placeholders = RAW_PLACEHOLDER.findall(got.text)
    if placeholders:
        return f"raw placeholders shown: {placeholders}"
    for text in v.expect_out:
        if text not in got.text:
            return f"the message lacks {text[-40:]!r}"
    for text in v.expect_args:
        if not any(a.rstrip().endswith(text) for a in got.args):
            return f"no installer argument holds {text!r}"
    if got.installer_class() != meant.installer_class():
        return f"installer class {got.installer_class()}, meant {meant.installer_class()}"
    if v.compare == "full":
        if got.args != meant.args:
            diff = [a for a in got.args if a not in meant.args] + ["-" + a for a in meant.args if a not in got.args]
            return f"installer arguments differ: {diff[:4]}"
        if got.tree != meant.tree:
            diff = [a for a in got.tree if a not in meant.tree] + ["-" + a for a in meant.tree if a not in got.tree]
            return f"bootstrapped tree differs: {diff[:4]}"
    return None


def native_value(text):
    return text.replace("/", "\\") if KIND == "wine" else text


def judge(lab, index, v, keep):
    root = os.path.join(lab.work, f"v{index:04d}")
    got = lab.run_launcher(v.medium, root)
    status, lines = lab.check(root)
    meant = lab.meant_outcome(v.meant)
    if (not meant.started() or meant.missing) and not v.meant_stops:
        # No medium could mean that: the installer must start, as on the
        # valid medium.
        v.compare = "run"
        meant = lab.meant_outcome(base_medium())
    why = misbehaviour(v, got, meant)
    errors = [l for l in lines if ": error: " in l]
    verdict = "agree"
    if why and why.startswith("GENERATOR"):
        verdict = "generator"
    elif why and not any(c.lower() in e.lower() or native_value(c).lower() in e.lower()
                         for e in errors for c in v.causes):
        verdict = "false negative"
    elif not why and errors:
        verdict = "false positive"
    if not keep:
        shutil.rmtree(root, ignore_errors=True)
    return verdict, why, lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--full", action="store_true")
    parser.add_argument("--sample", type=int, default=120)
    parser.add_argument("--seed", type=int, default=20261209)
    parser.add_argument("--kind", default=os.environ.get("QEL_KIND", "linux"), choices=("linux", "wine"))
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--only", help="run only variations whose name holds this text")
    parser.add_argument("--checker", help="the checker to run (default: qelcheck of BUILD_DIR)")
    args = parser.parse_args()
    global KIND, FAKE_JAVA_EXE
    KIND = args.kind
    build = os.path.abspath(args.build)
    if KIND == "wine":
        FAKE_JAVA_EXE = open(os.path.join(build, "fakejava.exe"), "rb").read()
    # Under Wine the environment does not choose the language the launcher
    # speaks: the variations of a translation are Linux only there.
    all_variations = [v for v in variations(args.seed, 560) if KIND != "wine" or v.name not in LINUX_ONLY
                      and v.medium.env.get("LANG", "C") == "C"]
    chosen = list(enumerate(all_variations))
    if args.only:
        chosen = [(i, v) for i, v in chosen if args.only in v.family + ": " + v.name]
    elif not args.full:
        examples = [(i, v) for i, v in chosen if v.family == "example"]
        rest = [(i, v) for i, v in chosen if v.family != "example"]
        chosen = examples + random.Random(args.seed).sample(rest, min(args.sample, len(rest)))
    work = tempfile.mkdtemp(prefix="qel-differential-")
    lab = Lab(build, args.kind, work)
    if args.checker:
        lab.checker = os.path.abspath(args.checker)
    started = time.time()
    counts = {"agree": 0, "false negative": 0, "false positive": 0, "generator": 0}
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = pool.map(lambda iv: (iv, judge(lab, iv[0], iv[1], args.keep)), chosen)
        for (index, v), (verdict, why, lines) in results:
            counts[verdict] += 1
            if verdict != "agree" or args.verbose:
                print(f"[{verdict}] #{index} {v.family}: {v.name}\n    launcher: {why or 'as meant'}")
                for line in lines:
                    print("    qelcheck: " + line)
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    else:
        print("kept in", work)
    print(f"{len(chosen)} variations (seed {args.seed}): {counts['agree']} agree, {counts['false negative']} false "
          f"negatives, {counts['false positive']} false positives, {counts['generator']} generator faults; "
          f"{time.time() - started:.0f} s")
    sys.exit(0 if counts["agree"] == len(chosen) else 1)


if __name__ == "__main__":
    main()
