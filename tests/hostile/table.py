"""The rows of the hostile-environment matrix: the worlds (scenes), every
input of setup, unzip and qelcheck, and every transformation. A new input or
transformation is one row here; applies() says which pairs exist.

Input kinds:
  file   a file the program reads (parameter file, catalogue)
  jar    a staged archive
  prog   a program the launcher starts (unzip, the Java executable)
  dir    a directory the program lists or reads from
  tree   a directory the bootstrap copies as it stands
  home   a Java home
  out    a directory the program writes into (temp root, log place ...)
  value  a text that names no file (the command tail, the certified list)
"""
import os
import shutil
import zipfile

from hostile import make_deep_dirs, make_jar, own, put_file, remove

QTI_VERSION = "4.2.0.1.0"
JRE_VERSION = "17.0.0.0.0"
INSTALLER_EXIT = 42          # the fake installer's exit code: a waited run passes it on
SETUP_STATUSES = {INSTALLER_EXIT, 255, 254}
UNZIP_STATUSES = {0, 1, 2, 3, 9, 10}
QELCHECK_STATUSES = {0, 1, 2, 3}
# "The installer could not be started": a system error number (Linux errno,
# Windows error code, cut to 8 bits).
START_ERRORS = {2, 3, 5, 8, 13, 20, 40, 193}

HUGE_FILE_BYTES = (2 << 30) + 1     # past 32-bit sizes; sparse, costs no disk
HUGE_DIR_ENTRIES = 5000
# Every file operation under Wine is a round trip to its server: 5,000 files
# take the bootstrap 48 s there against 2.5 s on Linux. The same number of
# operations as 5,000 files take on Windows.
HUGE_DIR_ENTRIES_WINE = 1000
HUGE_VALUE_CHARS = 100000
HUGE_VALUE_CHARS_WINE = 30000       # a Windows command line holds 32,767 characters
HUGE_ENTRY_BYTES = 1 << 30          # one archive entry of 1 GiB (1 MB compressed)
DEEP_ENTRY_LEVELS = 8000
DEEP_TREE_LEVELS = 3000
DEEP_PATH_LEVELS = 400


# ---------------------------------------------------------------------------
# Cached archives (made once per harness run, linked into every world)

def jar_bytes(w, name, entries):
    return w.ctx.cached("%s-%s.jar" % (w.ctx.kind, name), lambda path: make_jar(path, entries))


def java_names(w):
    return ["java.exe", "javaw.exe"] if w.wine else ["java"]


def fakejava(w):
    with open(os.path.join(w.ctx.bin_dir, "fakejava" + w.exe), "rb") as f:
        return f.read()


def staged_jars(w):
    """component -> (version, jar name, entries)."""
    runtime = [("jre/17/bin/%s" % n, fakejava(w), 0o755) for n in java_names(w)]
    runtime.append(("jre/17/bin/fakejava.exit", b"%d" % INSTALLER_EXIT, 0o644))
    return {
        "quelta.swd.qti": (QTI_VERSION, "qti.jar", [("qti/jlib/installer.jar", b"i", 0o644),
                                                    ("qti/version.txt", QTI_VERSION.encode(), 0o644)]),
        "quelta.swd.qti.core": (QTI_VERSION, "core.jar", [("qti/jlib/core.jar", b"c", 0o644),
                                                          ("qti/lib/win32/native.dll", b"n", 0o644)]),
        "quelta.swd.mendra": (QTI_VERSION, "mendra.jar", [("Mendra/jlib/patch.jar", b"p", 0o644)]),
        "quelta.swd.jre": (JRE_VERSION, "jre.jar", runtime),
    }


def deep_jar(w):
    def make(path):
        make_jar(path, [("deep/" + "d/" * DEEP_ENTRY_LEVELS + "leaf.txt", b"deep\n", 0o644),
                        ("qti/jlib/installer.jar", b"i", 0o644)])
    return w.ctx.cached("deep.jar", make)


def huge_jar(w):
    def make(path):
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
            info = zipfile.ZipInfo("huge/zeros.bin")
            info.create_system = 3
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            chunk = bytes(1 << 20)
            with z.open(info, "w", force_zip64=True) as entry:
                for _ in range(HUGE_ENTRY_BYTES >> 20):
                    entry.write(chunk)
            z.writestr("qti/jlib/installer.jar", b"i")
    return w.ctx.cached("huge.jar", make)


def put_java_home(w, home):
    for name in java_names(w):
        w.link_in(os.path.join(w.ctx.bin_dir, "fakejava" + w.exe), os.path.join(home, "bin", name))
    put_file(os.path.join(home, "bin", "fakejava.exit"), b"%d" % INSTALLER_EXIT)
    return home


# ---------------------------------------------------------------------------
# Scenes: the world of a program before the transformation

def data_dir(w, component, version=None):
    version = version or (JRE_VERSION if component == "quelta.swd.jre" else QTI_VERSION)
    return w.p("medium", "stage", "Components", component, version, "1", "DataFiles")


def install_dir(w):
    return w.p("medium", "install")


def put_medium(w):
    """A distribution medium: install/ with the launcher, unzip, catalogues,
    images and qelparam.ini; stage/Components with the four components;
    beside it the directories the parameter file names."""
    inst = install_dir(w)
    w.medium = w.p("medium")
    w.put_bin("setup", inst)
    w.put_bin("unzip", inst)
    shutil.copytree(os.path.join(w.ctx.bin_dir, "resource"), os.path.join(inst, "resource"))
    put_file(os.path.join(inst, "images", "logo.txt"), b"logo\n")
    for component, (version, name, entries) in staged_jars(w).items():
        w.link_in(jar_bytes(w, component, entries), os.path.join(data_dir(w, component, version), name))
    put_file(os.path.join(data_dir(w, "quelta.swd.qti"), "Expanded", "qti", "expanded.txt"), b"x\n")
    put_file(w.p("access", "access.txt"), b"access\n")
    put_file(w.p("ext", "jlib", "extra.jar"), b"jar\n")
    put_file(w.p("ext", "lib", "lib.txt"), b"lib\n")
    put_file(w.p("ext", "bin", "bin.txt"), b"bin\n")
    put_file(w.p("prereq", "prereq.xml"), b"<prereq/>\n")
    put_java_home(w, w.p("javahome"))
    w.param_path = os.path.join(inst, "qelparam.ini")
    rel_jre = w.native_rel(data_dir(w, "quelta.swd.jre"), inst)
    for key, value in [("DISTRIBUTION", "TRUE"), ("WAIT_FOR_COMPLETION", "TRUE"), ("BOOTSTRAP_SIZE", "0"),
                       ("INSTALL_CLASS", "demo.Main"), ("DISABLE_JRE_PROMPT", "TRUE"),
                       ("JRE_LOCATION", rel_jre), ("ACCESS_DIR", w.native(w.p("access"))),
                       ("EXT_JLIB", w.native(w.p("ext", "jlib"))), ("EXT_LIB", w.native(w.p("ext", "lib"))),
                       ("EXT_BIN", w.native(w.p("ext", "bin"))),
                       ("PREREQ_CONFIG_LOCATION", w.native(w.p("prereq")))]:
        w.set_key(key, value)


def put_launcher_run(w, cwd):
    """What every launcher run has: a temp root, a log place, a registry of
    its own (Linux), the documented statuses."""
    for d in ("temp", "plog", "reg/HKEY_LOCAL_MACHINE/SOFTWARE"):
        os.makedirs(w.p(d))
    w.program_name = "setup"
    w.program = os.path.join(cwd, "setup" + w.exe)
    w.cwd = cwd
    w.args = ["-SILENT", "-PRINTTIME", "-PREREQLOGLOC", w.native(w.p("plog"))]
    w.env["TEMP"] = w.native(w.p("temp"))
    if not w.wine:
        w.env["QEL_REGISTRY_ROOT"] = w.p("reg")
    w.allowed += [w.p("temp"), w.p("plog"), w.p("reg")]
    w.expect = set(SETUP_STATUSES)


def scene_medium(w):
    put_medium(w)
    put_launcher_run(w, install_dir(w))


def scene_plain(w):
    """A product in plain directories, bootstrapped by copying."""
    dist = w.p("product", "dist")
    w.medium = w.p("product")
    w.put_bin("setup", dist)
    w.put_bin("unzip", dist)
    shutil.copytree(os.path.join(w.ctx.bin_dir, "resource"), os.path.join(dist, "resource"))
    put_file(w.p("product", "qti", "jlib", "installer.jar"), b"i")
    put_file(w.p("product", "core", "jlib", "core.jar"), b"c")
    put_file(w.p("product", "core", "lib", "win32", "native.dll"), b"n")
    put_file(w.p("product", "mendra", "jlib", "patch.jar"), b"p")
    put_java_home(w, w.p("product", "jre"))
    w.param_path = os.path.join(dist, "qelparam.ini")
    for key, value in [("BOOTSTRAP", "TRUE"), ("WAIT_FOR_COMPLETION", "TRUE"), ("BOOTSTRAP_SIZE", "0"),
                       ("INSTALL_CLASS", "demo.Main"), ("DISABLE_JRE_PROMPT", "TRUE"),
                       ("JRE_LOCATION", w.native(w.p("product", "jre"))),
                       ("QTI_LOCATION", w.native(w.p("product", "qti"))),
                       ("QTI_CORE_LOCATION", w.native(w.p("product", "core"))),
                       ("MENDRA_LOCATION", w.native(w.p("product", "mendra")))]:
        w.set_key(key, value)
    put_launcher_run(w, dist)


def scene_unzip(w):
    """unzip -qqqo SRC/*.jar -d DEST, as the launcher runs it."""
    w.program_name = "unzip"
    w.program = w.put_bin("unzip", w.p("tool"))
    w.link_in(jar_bytes(w, "sample", [("top.txt", b"top\n", 0o644), ("a/b/c.txt", b"c" * 5000, 0o644),
                                      ("bin/run.sh", b"#!/bin/sh\n", 0o755)]), w.p("u", "src", "a.jar"))
    os.makedirs(w.p("u", "dest"))
    w.medium = w.p("u", "src")
    w.cwd = w.p("u")
    w.args = ["-qqqo", w.native(w.p("u", "src")) + w.sep + "*.jar", "-d", w.native(w.p("u", "dest"))]
    w.allowed += [w.p("u", "dest")]
    w.expect = set(UNZIP_STATUSES)


def scene_checker(w):
    """qelcheck INSTALL_DIR on the medium of scene_medium."""
    put_medium(w)
    w.program_name = "qelcheck"
    w.program = w.put_bin("qelcheck", w.p("tool"))
    w.cwd = w.p("tool")
    w.args = [w.native(install_dir(w))]
    w.expect = set(QELCHECK_STATUSES)
    # Checked where the checker can reach them: relative to the launcher.
    w.set_key("ACCESS_DIR", w.native_rel(w.p("access"), install_dir(w)))
    w.set_key("PREREQ_CONFIG_LOCATION", w.native_rel(w.p("prereq"), install_dir(w)))


SCENES = {"medium": scene_medium, "plain": scene_plain, "unzip": scene_unzip, "checker": scene_checker}


# ---------------------------------------------------------------------------
# How an input is named to the program

class Key:
    """KEY=<path> in a section of the parameter file (relative to the
    launcher's directory when relative=True)."""

    def __init__(self, key, section="Quelta", relative=False):
        self.key, self.section, self.relative = key, section, relative

    def text(self, w, path, trailing=""):
        return (w.native_rel(path, install_dir(w)) if self.relative else w.native(path)) + trailing

    def bind(self, w, value):
        w.set_key(self.key, value, self.section)

    def unbind(self, w):
        w.del_key(self.key, self.section)


class Certified(Key):
    """The certified versions, listed under the system's own name."""

    def __init__(self):
        super().__init__("Linux", "Certified Versions")

    def bind(self, w, value):
        w.set_key("Windows" if w.wine else "Linux", value, self.section)

    def unbind(self, w):
        w.del_key("Windows" if w.wine else "Linux", self.section)


class Opt:
    """-OPTION <path> at the end of the command tail."""
    takes_no_value = True

    def __init__(self, option):
        self.option = option

    def text(self, w, path, trailing=""):
        return w.native(path) + trailing

    def unbind(self, w):
        if self.option in w.args:
            i = w.args.index(self.option)
            del w.args[i:i + 2]

    def bind(self, w, value):
        self.unbind(w)
        w.args += [self.option, value]

    def bind_without_value(self, w):
        self.unbind(w)
        w.args.append(self.option)


class Assign:
    """NAME=<path> as one word of the command tail."""

    def __init__(self, name):
        self.name = name

    def text(self, w, path, trailing=""):
        return w.native(path) + trailing

    def unbind(self, w):
        w.args = [a for a in w.args if not a.startswith(self.name + "=")]

    def bind(self, w, value):
        self.unbind(w)
        w.args.append(self.name + "=" + value)


class Env:
    def __init__(self, name):
        self.name = name

    def text(self, w, path, trailing=""):
        return w.native(path) + trailing

    def unbind(self, w):
        w.env.pop(self.name, None)

    def bind(self, w, value):
        w.env[self.name] = value


class Arg:
    """A word of the command line, at an index, written by a format."""

    def __init__(self, index, suffix=""):
        self.index, self.suffix = index, suffix

    def text(self, w, path, trailing=""):
        return w.native(path) + trailing + (w.sep + self.suffix if self.suffix else "")

    def unbind(self, w):
        del w.args[self.index]

    def bind(self, w, value):
        w.args[self.index] = value


class Tail:
    """One more word at the end of the command line; unbound: no words at
    all."""

    def text(self, w, path, trailing=""):
        return w.native(path) + trailing

    def unbind(self, w):
        w.args = []

    def bind(self, w, value):
        if getattr(w, "tail_word", None) is None:
            w.tail_word = len(w.args)
            w.args.append(value)
        else:
            w.args[w.tail_word] = value


# ---------------------------------------------------------------------------
# Inputs

class Input:
    def __init__(self, id, scene, kind, target=None, ref=None, value=None, expect=(), setup=None,
                 rename=None, measured="", note=""):
        self.id = id
        self.scene = scene
        self.kind = kind
        self.target = target        # w -> the path of the object
        self.ref = ref              # how the program learns the path or value
        self.value = value          # w -> the base value (kind "value")
        self.expect = set(expect)   # statuses documented for this input beyond the program's
        self.setup = setup          # w -> the row's own preparation
        self.rename = rename        # "name": only the file's name may change; "place": it may move
        self.measured = measured    # the path whose length counts, below the object
        self.note = note


def without_default_param(w):
    remove(w.param_path)


def bootstrap_only(w):
    w.args.insert(0, "-BOOTSTRAPONLY")
    os.makedirs(w.p("bsloc"))
    w.allowed.append(w.p("bsloc"))


def certified(w):
    w.set_key("PLATFORM_PREREQS", "TRUE")


def certified_list(w):
    if w.wine:
        return "5.1,6.0,6.1,6.2,6.3,10.0"
    release = os.uname().release.split(".")
    return "5.4,%s.%s" % (release[0], release[1])


def param_elsewhere(w):
    """The parameter file, written outside the medium, named by -paramFile;
    none at the default places."""
    w.param_path = w.p("params", "qelparam.ini")


def param_above(w):
    w.param_path = w.p("medium", "qelparam.ini")


def country_catalogue(w):
    # Windows reads the country from the user locale's abbreviation: German
    # (Switzerland) gives "CN".
    name = "cons_de_CN.nls" if w.wine else "cons_de_CH.nls"
    with open(os.path.join(install_dir(w), "resource", "cons_de.nls"), "rb") as f:
        text = f.read()
    # Marked, so that a kept world shows which file was read.
    put_file(os.path.join(install_dir(w), "resource", name), text.replace(b"Bitte warten", b"Bitte warten (CC)"))
    w.env["LC_ALL"] = "de_CH.UTF-8"


def german(w):
    w.env["LC_ALL"] = "de_DE.UTF-8"


def jre_loc(w):
    w.args += ["-jreLoc", w.native(w.p("javahome"))]


def temp_parent(w):
    os.rename(w.p("temp"), w.p("tparent"))
    os.makedirs(w.p("tparent", "temp"))
    os.rmdir(w.p("tparent", "temp"))
    w.env["TEMP"] = w.native(w.p("tparent", "temp"))
    w.allowed = [a for a in w.allowed if a != w.p("temp")] + [w.p("tparent")]


def rscratch(w):
    os.makedirs(w.p("rscratch"))
    w.allowed.append(w.p("rscratch"))


def cat_path(*parts):
    return lambda w: os.path.join(install_dir(w), *parts)


def comp_path(component, *below):
    return lambda w: os.path.join(data_dir(w, component), *below) if below else data_dir(w, component)


INPUTS = [
    # setup: the parameter file, the catalogues, the launcher's own directory
    Input("setup.param-opt", "medium", "file", lambda w: w.p("params", "qelparam.ini"), Opt("-paramFile"),
          setup=param_elsewhere, note="-paramFile, nothing at the default places"),
    Input("setup.param-default", "medium", "file", lambda w: w.param_path),
    Input("setup.param-above", "medium", "file", lambda w: w.p("medium", "qelparam.ini"), setup=param_above),
    Input("setup.cons", "medium", "file", cat_path("resource", "cons.nls"), expect={1}),
    Input("setup.cons-ll", "medium", "file", cat_path("resource", "cons_de.nls"), setup=german),
    Input("setup.cons-ll-cc", "medium", "file",
          lambda w: os.path.join(install_dir(w), "resource", "cons_de_CN.nls" if w.wine else "cons_de_CH.nls"),
          setup=country_catalogue),
    Input("setup.resource", "medium", "dir", cat_path("resource"), expect={1}),
    Input("setup.unzip", "medium", "prog", lambda w: os.path.join(install_dir(w), "unzip" + w.exe)),
    Input("setup.images", "medium", "tree", cat_path("images")),
    Input("setup.medium", "medium", "dir", lambda w: w.p("medium"), rename="place", measured="install",
          expect={1}, note="the medium's location: the launcher's own directory. In one of 1,024 "
                           "characters its catalogues are past the limit: status 1"),
    # the staged area
    Input("setup.stage", "medium", "dir", lambda w: w.p("medium", "stage", "Components")),
    Input("setup.version-dir", "medium", "dir",
          lambda w: w.p("medium", "stage", "Components", "quelta.swd.qti", QTI_VERSION)),
    Input("setup.datafiles", "medium", "dir", comp_path("quelta.swd.qti")),
    Input("setup.jar", "medium", "jar", comp_path("quelta.swd.qti", "qti.jar"), rename="name"),
    Input("setup.expanded", "medium", "tree", comp_path("quelta.swd.qti", "Expanded")),
    # locations of the parameter file
    Input("setup.JRE_LOCATION", "medium", "dir", comp_path("quelta.swd.jre"), Key("JRE_LOCATION")),
    Input("setup.QTI_LOCATION", "medium", "dir", comp_path("quelta.swd.qti"), Key("QTI_LOCATION")),
    Input("setup.QTI_CORE_LOCATION", "medium", "dir", comp_path("quelta.swd.qti.core"), Key("QTI_CORE_LOCATION")),
    Input("setup.MENDRA_LOCATION", "medium", "dir", comp_path("quelta.swd.mendra"), Key("MENDRA_LOCATION")),
    Input("setup.ACCESS_DIR", "medium", "tree", lambda w: w.p("access"), Key("ACCESS_DIR")),
    Input("setup.EXT_JLIB", "medium", "tree", lambda w: w.p("ext", "jlib"), Key("EXT_JLIB")),
    Input("setup.EXT_LIB", "medium", "tree", lambda w: w.p("ext", "lib"), Key("EXT_LIB")),
    Input("setup.EXT_BIN", "medium", "tree", lambda w: w.p("ext", "bin"), Key("EXT_BIN")),
    Input("setup.PREREQ_CONFIG_LOCATION", "medium", "tree", lambda w: w.p("prereq"), Key("PREREQ_CONFIG_LOCATION")),
    Input("setup.PREREQ_CONFIG_LOCATION=", "medium", "tree", lambda w: w.p("prereq"),
          Assign("PREREQ_CONFIG_LOCATION"), note="on the command line"),
    Input("setup.JRE_SCRATCH_LOC", "medium", "value", ref=Key("JRE_SCRATCH_LOC"),
          value=lambda w: "jre" + w.sep + "17"),
    Input("setup.certified", "medium", "value", ref=Certified(), value=certified_list, setup=certified),
    # the command line and the environment
    Input("setup.TEMP", "medium", "out", lambda w: w.p("temp"), Env("TEMP")),
    Input("setup.TEMP-parent", "medium", "dir", lambda w: w.p("tparent"), setup=temp_parent,
          note="the parent of the temp root"),
    Input("setup.SCRATCHPATH", "medium", "out", lambda w: w.p("temp"), Opt("-SCRATCHPATH")),
    Input("setup.PREREQLOGLOC", "medium", "out", lambda w: w.p("plog"), Opt("-PREREQLOGLOC")),
    Input("setup.rscratchPath", "medium", "out", lambda w: w.p("rscratch"), Opt("-rscratchPath"), setup=rscratch),
    Input("setup.shipHomeLoc", "medium", "dir", lambda w: w.p("ship"), Opt("-shipHomeLoc"),
          setup=lambda w: w.param_copies.append(w.p("ship", "qelparam.ini"))),
    Input("setup.jreLoc", "medium", "home", lambda w: w.p("javahome"), Opt("-jreLoc")),
    Input("setup.java", "medium", "prog", lambda w: w.p("javahome", "bin", java_names(w)[0]), setup=jre_loc,
          expect=START_ERRORS, note="the Java executable of -jreLoc"),
    Input("setup.BOOTSTRAP_LOC", "medium", "out", lambda w: w.p("bsloc"), Assign("BOOTSTRAP_LOC"),
          setup=bootstrap_only, expect={0}, note="with -BOOTSTRAPONLY"),
    Input("setup.tail", "medium", "value", ref=Tail(), value=lambda w: "arg", expect=START_ERRORS | {87},
          note="one more word of the command tail; unset: no words. A Windows command line holds "
               "32,767 characters: a longer one cannot start the installer (error 87)"),
    # a product in plain directories
    Input("setup.plain.QTI_LOCATION", "plain", "tree", lambda w: w.p("product", "qti"), Key("QTI_LOCATION")),
    Input("setup.plain.MENDRA_LOCATION", "plain", "tree", lambda w: w.p("product", "mendra"),
          Key("MENDRA_LOCATION")),
    Input("setup.plain.JRE_LOCATION", "plain", "home", lambda w: w.p("product", "jre"), Key("JRE_LOCATION")),

    # unzip
    Input("unzip.src", "unzip", "dir", lambda w: w.p("u", "src"), Arg(1, "*.jar")),
    Input("unzip.jar", "unzip", "jar", lambda w: w.p("u", "src", "a.jar"), rename="name"),
    Input("unzip.dest", "unzip", "out", lambda w: w.p("u", "dest"), Arg(3)),
    Input("unzip.args", "unzip", "value", ref=Tail(), value=lambda w: "arg"),

    # qelcheck
    Input("qelcheck.install-dir", "checker", "dir", install_dir, Arg(0)),
    Input("qelcheck.param", "checker", "file", lambda w: w.param_path),
    Input("qelcheck.param-above", "checker", "file", lambda w: w.p("medium", "qelparam.ini"), setup=param_above),
    Input("qelcheck.cons", "checker", "file", cat_path("resource", "cons.nls")),
    Input("qelcheck.cons-ll", "checker", "file", cat_path("resource", "cons_de.nls")),
    Input("qelcheck.unzip", "checker", "prog", lambda w: os.path.join(install_dir(w), "unzip" + w.exe)),
    Input("qelcheck.stage", "checker", "dir", lambda w: w.p("medium", "stage", "Components")),
    Input("qelcheck.datafiles", "checker", "dir", comp_path("quelta.swd.qti")),
    Input("qelcheck.jar", "checker", "jar", comp_path("quelta.swd.qti", "qti.jar"), rename="name"),
    Input("qelcheck.JRE_LOCATION", "checker", "dir", comp_path("quelta.swd.jre"), Key("JRE_LOCATION", relative=True)),
    Input("qelcheck.ACCESS_DIR", "checker", "tree", lambda w: w.p("access"), Key("ACCESS_DIR", relative=True)),
    Input("qelcheck.PREREQ_CONFIG_LOCATION", "checker", "tree", lambda w: w.p("prereq"),
          Key("PREREQ_CONFIG_LOCATION", relative=True)),
    Input("qelcheck.certified", "checker", "value", ref=Certified(), value=certified_list, setup=certified),
    Input("qelcheck.args", "checker", "value", ref=Tail(), value=lambda w: "--quiet"),
]

# ---------------------------------------------------------------------------
# Transformations

class Transform:
    def __init__(self, id, title, category, kinds=None, wine=True, name_ok=False):
        self.id = id
        self.title = title
        self.category = category    # none | content | name | value | ref
        self.kinds = kinds          # input kinds a content transformation applies to
        self.wine = wine            # exists for Windows paths
        self.name_ok = name_ok      # may change a file's name in place (rename="name")


READ = ("file", "jar", "prog")
DIRS = ("dir", "tree", "home", "out")

TRANSFORMS = [
    Transform("none", "as made", "none"),
    Transform("missing", "names nothing", "content", READ + DIRS),
    Transform("unset", "not given at all", "ref"),
    Transform("novalue", "the option last, without its value", "ref"),
    Transform("empty", "an empty file, directory or value", "content", READ + ("dir", "tree", "home")),
    Transform("directory", "a directory where a file belongs", "content", READ),
    Transform("file", "a file where a directory belongs", "content", DIRS),
    Transform("fifo", "a FIFO", "content", READ + DIRS, wine=False),
    Transform("devzero", "a link to /dev/zero", "content", READ + DIRS, wine=False),
    Transform("unreadable", "mode 000 (run by an ordinary user)", "content", READ + DIRS, wine=False),
    Transform("huge", "2 GiB file, 1 GiB entry, 5,000 entries, 100,000 characters", "content",
              ("file", "jar", "prog", "dir", "tree", "out")),
    Transform("dangling", "a link that leads nowhere", "content", READ + DIRS),
    Transform("cycle", "a link in a cycle", "content", READ + DIRS),
    Transform("deep-inside", "an entry or tree 8,000 / 3,000 levels deep", "content", ("jar", "dir", "tree")),
    Transform("recorder", "a program that records what it inherited and ends with 0", "content", ("prog",)),
    Transform("blank", "a blank in the name", "name", name_ok=True),
    Transform("quote", "a quote in the name", "name", name_ok=True),
    Transform("backslash", "a trailing backslash", "name"),
    Transform("dashj", "\"-J\" inside", "name", name_ok=True),
    Transform("nonascii", "letters outside ASCII", "name", name_ok=True),
    Transform("len1023", "1,023 characters", "name"),
    Transform("len1024", "1,024 characters", "name"),
    Transform("deep-path", "a path 400 directories deep", "name"),
]
VALUE_TRANSFORMS = ("none", "unset", "empty", "huge", "blank", "quote", "backslash", "dashj", "nonascii",
                    "len1023", "len1024")

# Pairs the short pass always runs: the faults found before (each must fail
# until it is fixed) and each scene as made.
SENTINELS = [
    "setup.medium/none", "setup.plain.QTI_LOCATION/none", "unzip.jar/none", "qelcheck.install-dir/none",
    "setup.param-opt/directory", "setup.param-default/directory",
    "setup.param-default/fifo", "qelcheck.param/fifo",
    "setup.cons/devzero", "qelcheck.cons/devzero", "qelcheck.param/devzero",
    "unzip.jar/deep-inside", "setup.BOOTSTRAP_LOC/unset", "setup.unzip/recorder",
    "setup.QTI_CORE_LOCATION/missing", "setup.TEMP/quote", "setup.TEMP/len1023",
    "setup.SCRATCHPATH/quote", "setup.PREREQLOGLOC/quote", "setup.BOOTSTRAP_LOC/dashj",
    "setup.BOOTSTRAP_LOC/len1024", "setup.BOOTSTRAP_LOC/quote", "setup.rscratchPath/novalue",
    "setup.rscratchPath/len1023", "setup.param-opt/huge",
]


def applies(inp, t, kind):
    if kind == "wine" and not t.wine:
        return False
    if t.category == "none":
        return True
    if inp.kind == "value":
        return t.id in VALUE_TRANSFORMS
    if t.category == "ref":
        if inp.ref is None:
            return False
        if t.id == "novalue":
            return isinstance(inp.ref, Opt)
        return not (kind == "wine" and isinstance(inp.ref, Env))  # Wine sets TEMP itself
    if t.category == "content":
        if inp.rename == "place":
            return False
        if t.id == "unreadable" and kind == "wine":
            return False
        return inp.kind in t.kinds
    if t.category == "name":
        if inp.rename == "name":
            return t.name_ok
        return inp.ref is not None or inp.rename == "place"
    return False


# ---------------------------------------------------------------------------
# Applying a transformation

def build(w, inp, t):
    """The world of the pair: the scene, the row's own preparation, the input
    named where the row says, then the transformation. The parameter file is
    written before a transformation of its content and after any other."""
    SCENES[inp.scene](w)
    if inp.setup:
        inp.setup(w)
    w.expect |= inp.expect
    target = inp.target(w) if inp.target else None
    if inp.ref is not None and target is not None:
        inp.ref.bind(w, inp.ref.text(w, target))
    if inp.kind == "value":
        inp.ref.bind(w, inp.value(w))
    w.write_params()
    if t.category == "none":
        return
    if inp.kind == "value":
        apply_value(w, inp, t)
    elif t.category == "ref":
        if t.id == "unset":
            inp.ref.unbind(w)
        else:
            inp.ref.bind_without_value(w)
    elif t.category == "content":
        apply_content(w, inp, t, target)
        return
    else:
        apply_name(w, inp, t, target)
    w.write_params()


def apply_value(w, inp, t):
    base = inp.value(w)
    if t.id == "unset":
        inp.ref.unbind(w)
        return
    huge = HUGE_VALUE_CHARS_WINE if w.wine else HUGE_VALUE_CHARS
    value = {
        "none": base,
        "empty": "",
        "huge": ("x" * huge),
        "blank": base + " b",
        "quote": base + "\"q",
        "backslash": base + "\\",
        "dashj": base + "-Jx",
        "nonascii": base + "\u00dcn\u00ef\u65e5\u672c",
        "len1023": (base + "x" * 1023)[:1023],
        "len1024": (base + "x" * 1024)[:1024],
    }[t.id]
    inp.ref.bind(w, value)


def make_huge_file(path):
    remove(path)
    with open(path, "wb") as f:
        f.truncate(HUGE_FILE_BYTES)


def apply_content(w, inp, t, path):
    leaf = os.path.basename(path)
    directory_like = inp.kind in DIRS
    if t.id == "missing":
        remove(path)
    elif t.id == "empty":
        if directory_like:
            remove(path)
            os.makedirs(path)
        else:
            put_file(path, b"")
    elif t.id == "directory":
        remove(path)
        os.makedirs(path)
    elif t.id == "file":
        put_file(path, b"not a directory\n")
    elif t.id == "fifo":
        remove(path)
        os.mkfifo(path)
    elif t.id == "devzero":
        remove(path)
        os.symlink("/dev/zero", path)
    elif t.id == "unreadable":
        if not os.path.isdir(path):
            own(path)
        os.chmod(path, 0)
    elif t.id == "huge":
        if inp.kind == "jar":
            remove(path)
            w.link_in(huge_jar(w), path)
        elif directory_like:
            os.makedirs(path, exist_ok=True)
            for i in range(HUGE_DIR_ENTRIES_WINE if w.wine else HUGE_DIR_ENTRIES):
                open(os.path.join(path, "f%05d.txt" % i), "wb").close()
        else:
            make_huge_file(path)
    elif t.id == "dangling":
        remove(path)
        os.symlink(w.p("nowhere", leaf), path)
    elif t.id == "cycle":
        remove(path)
        os.symlink(path + ".loop", path)
        os.symlink(path, path + ".loop")
    elif t.id == "recorder":
        remove(path)
        w.link_in(os.path.join(w.ctx.bin_dir, "fakejava" + w.exe), path)
    elif t.id == "deep-inside":
        if inp.kind == "jar":
            remove(path)
            w.link_in(deep_jar(w), path)
        else:
            make_deep_dirs(os.path.join(path, "deep"), DEEP_TREE_LEVELS)
    else:
        raise ValueError(t.id)


def odd_name(w, t):
    return {
        "blank": "with blank",
        "quote": "q'uote" if w.wine else "q\"u'ote",
        "dashj": "my-Jdir",
        "nonascii": "\u00dcn\u00efc\u00f6d\u00e9-\u65e5\u672c\u8a9e",
    }.get(t.id)


def long_path(w, base, leaf, length, text):
    """base/<fill>/leaf whose text (as the program is told it) is exactly
    `length` characters."""
    remaining = length - len(text(os.path.join(base, leaf)))
    if remaining == 1:
        base += "x"
        remaining -= 1
    parts = []
    while remaining > 0:
        n = min(200, remaining - 1)
        if remaining - (n + 1) == 1:
            n -= 1
        parts.append("l" * n)
        remaining -= n + 1
    path = os.path.join(base, *parts, leaf)
    assert len(text(path)) == length, (len(text(path)), length)
    return path


def apply_name(w, inp, t, target):
    if inp.rename == "name":
        stem, dot, ext = os.path.basename(target).rpartition(".")
        new = os.path.join(os.path.dirname(target), "%s-%s.%s" % (stem, odd_name(w, t), ext))
        os.rename(target, new)
        return
    measured = os.path.join(target, inp.measured) if inp.measured else target
    leaf = os.path.basename(measured)
    trailing = ""
    if t.id == "backslash":
        if w.wine:
            new = w.p("bs", leaf)
            trailing = "\\"
        else:
            new = w.p("bs", leaf + "\\")
    elif t.id in ("len1023", "len1024"):
        if inp.ref is not None and not inp.measured:
            text = lambda path: inp.ref.text(w, path)
        else:
            text = w.native
        new = long_path(w, w.p("long"), leaf, int(t.id[3:]), text)
    elif t.id == "deep-path":
        new = os.path.join(w.p("deep"), *(["d"] * DEEP_PATH_LEVELS), leaf)
    else:
        new = w.p(odd_name(w, t), leaf)
    new_target = new[:len(new) - len(inp.measured) - 1] if inp.measured else new
    os.makedirs(os.path.dirname(new_target), exist_ok=True)
    if os.path.lexists(target):
        os.rename(target, new_target)
    w.moved(target, new_target)
    if inp.ref is not None:
        inp.ref.bind(w, inp.ref.text(w, new_target, trailing))
