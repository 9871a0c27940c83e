"""The medium checker run as product teams run it: on a medium with one fault
of each kind (the whole output compared), on the demo's medium and on the
kit's sample parameter file (both clean), for a Linux and a Windows medium.
With --wine the Windows build runs under Wine and must print the same lines.

usage: test_qelcheck.py --checker PATH [--wine] --source DIR --linux-build DIR
                        [--win32-build DIR]
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib

PARSER = argparse.ArgumentParser()
PARSER.add_argument("--checker", required=True)
PARSER.add_argument("--wine", action="store_true")
PARSER.add_argument("--source", required=True)
PARSER.add_argument("--linux-build", required=True)
PARSER.add_argument("--win32-build")
ARGS, REST = PARSER.parse_known_args()

CLEAN, WARNINGS, ERRORS, USAGE = 0, 1, 2, 3
UNIX = 3  # "made by" Unix: the external attributes hold a Unix mode


def make_zip(path, entries):
    """entries: (name, data) or (name, data, unix_mode)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for entry in entries:
            info = zipfile.ZipInfo(entry[0])
            info.compress_type = zipfile.ZIP_DEFLATED
            if len(entry) > 2:
                info.create_system = UNIX
                info.external_attr = entry[2] << 16
            else:
                info.create_system = 0
            archive.writestr(info, entry[1])
    return path


def make_overlapping_zip(path):
    """Two directory entries over one local entry: one stored byte range
    that would come out twice."""
    data = b"shared bytes\n" * 10
    crc = zlib.crc32(data)
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0, crc, len(data), len(data), 5, 0)
    body = local + b"a.txt" + data
    directory = b"".join(
        struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0, 0, crc, len(data), len(data),
                    len(name), 0, 0, 0, 0, 0, 0) + name
        for name in (b"a.txt", b"b.txt"))
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, len(directory), len(body), 0)
    with open(path, "wb") as f:
        f.write(body + directory + end)


def make_damaged_zip(path):
    """A stored entry whose data no longer matches its CRC."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as archive:
        archive.writestr("data.txt", b"A" * 200)
    with open(path, "r+b") as f:
        raw = bytearray(f.read())
        raw[raw.index(b"AAAA") + 10] ^= 1
        f.seek(0)
        f.write(raw)


def catalogue_records(path):
    with open(path, "rb") as f:
        return [r for r in f.read().split(b"\0") if r]


def write_catalogue(path, records):
    with open(path, "wb") as f:
        f.write(b"".join(r + b"\0" for r in records))


class Checker:
    """Runs the build under test: natively, or under Wine with Windows paths."""

    def native(self, path):
        return "Z:" + path.replace("/", "\\") if ARGS.wine else path

    def run(self, *args, program=None):
        program = program or ARGS.checker
        command = (["wine", program] if ARGS.wine else [program]) + [
            self.native(a) if a.startswith("/") else a for a in args]
        done = subprocess.run(command, capture_output=True, env=dict(os.environ, WINEDEBUG="-all"))
        return done.returncode, done.stdout.decode(), done.stderr.decode()


class MediumTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qelcheck-test-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.checker = Checker()

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def write(self, rel, text, newline="\n"):
        full = self.path(rel)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", newline=newline) as f:
            f.write(text)

    def kit_install(self, windows, build=None):
        """install/ with a launcher of the medium's system and the built
        catalogues; no unzip program."""
        install = self.path("medium", "install")
        shutil.copytree(os.path.join(build or ARGS.linux_build, "resource"), os.path.join(install, "resource"))
        self.write("medium/install/" + ("setup.exe" if windows else "setup"), "launcher")
        return install

    maxDiff = None

    def assert_output(self, install, expected_lines, status, *options):
        got_status, out, err = self.checker.run(*options, install)
        self.assertEqual(out.splitlines(), expected_lines)
        self.assertEqual((got_status, err), (status, ""))


class FaultyMedium(MediumTest):
    """Each check with one fault it must find, on a medium of each system."""

    def lay_out(self, windows):
        s = "\\" if windows else "/"
        family = "Windows" if windows else "Linux"
        install = self.kit_install(windows)
        stage = self.path("medium", "stage", "Components")

        def data(component, version, archive):
            return os.path.join(stage, component, version, "1", "DataFiles", archive)

        make_zip(data("quelta.swd.qti", "1.0.0.0.0", "qti.jar"), [("qti/jlib/installer.jar", b"i")])
        # No installer core: BOOTSTRAP_COMPS leaves out its step.
        make_zip(data("quelta.swd.mendra", "1.0.0.0.0", "mendra.jar"), [("Mendra/jlib/mendra.jar", b"m")])
        # The runtime: on Linux its Java program without execute permission,
        # on Windows without javaw.exe.
        java = [("jre/2.0/bin/java.exe", b"j")] if windows else [("jre/2.0/bin/java", b"j", 0o100644)]
        make_zip(data("quelta.swd.jre", "2.0.0.0.0", "jre.jar"), java + [("jre/2.0/lib/rt.jar", b"r")])
        make_zip(data("product.extras", "1.0.0.0.0", "extras.jar"),
                 [("extras/readme.txt", b"fine"), ("../evil.txt", b"climbs out")])
        make_damaged_zip(data("product.extras", "1.0.0.0.0", "crc.jar"))
        make_overlapping_zip(data("product.extras", "1.0.0.0.0", "overlap.jar"))
        # A link out of the destination (refused on Linux; Windows writes a
        # file) and a device name (refused on Windows only).
        make_zip(data("product.extras", "1.0.0.0.0", "names.jar"),
                 [("extras/out", b"../../outside", 0o120777), ("extras/aux.txt", b"device")])
        self.write("medium/stage/Components/product.extras/1.0.0.0.0/1/DataFiles/notzip.jar", "no archive\n")
        make_zip(data("product.extras", "1.0.0.0.0", "README.JAR"), [("extras/README", b"r")])
        make_zip(data("odd", "latest", "odd.jar"), [("odd/x", b"x")])
        os.makedirs(os.path.join(stage, "broken.comp", "1.0.0.0.0", "1"))
        os.makedirs(os.path.join(stage, "empty.comp", "1.0.0.0.0", "1", "DataFiles"))

        records = catalogue_records(os.path.join(install, "resource", "cons.nls"))
        fr = [r for r in records if not r.startswith(b"S_QTI=")]
        fr = [b"S_ERBOOTSTRAP=%d MB manquent sous %s" if r.startswith(b"S_ERBOOTSTRAP=") else r for r in fr]
        write_catalogue(os.path.join(install, "resource", "cons_fr.nls"),
                        fr + [b"S_WAITMSG=encore", b"S_UNUSED=jamais", b"sans signe egal"])

        stage_rel = s.join(["..", "stage", "Components"])
        pad = ",".join(["product.extras"] * 10)
        self.write("medium/install/qelparam.ini", f"""DISTRIBUTION=TRUE
[Quelta]
DISTRIBUTION=TRUE
JRE_LOCATION={stage_rel}{s}quelta.swd.jre{s}2.0.0.0.0{s}1{s}DataFiles
JRE_SCRATCH_LOC=runtime{s}21
BOOTSTARP=TRUE
PRODUCT_CODE=A1
WAIT_FOR_COMPLETION=true
USEJDKONLY=True
JRE_VERSION=17.0.2+8-and-a-build-name-too-long
COPY_THREADS=123456789012
BOOTSTRAP_SIZE=4096
BOOTSTRAP_COMPS=quelta.swd.jre,quelta.swd.mendra:3.0.0.0.0,quelta.swd.qti,product.extras,,missing.comp,product.extras:9.9,{pad},late.one
ACCESS_DIR=..{s}access
SOURCE=products.xml
HLP_LOCATION=..{s}help
INSTALL_CLASS=com.example.Installer
INSTALL_CLASS=com.example.Other
NLS_ENABLED
PLATFORM_PREREQS=TRUE
[Generic Prereqs]
CPU =500
SWAP_SPCE=100
CPU_FAILURE_MESSAGE=too slow
=oops
MIN_DISPLAY_COLORS=256
[Certified Versions]
{family}=6.1,5.10, 4.9
[{family}-6.1-required]
CPU=100
MIN_DISPLAY_COLORS=16
[{family.lower()}-5.10-optional]
CPU=50
[{family}-4.4-required]
CPU=10
[quelta]
BOOTSTRAP=TRUE
""", newline="\r\n" if windows else "\n")
        return install

    def expected(self, windows):
        s = "\\" if windows else "/"
        family = "Windows" if windows else "Linux"
        stage = s.join(["..", "stage", "Components"])
        extras = s.join([stage, "product.extras", "1.0.0.0.0", "1", "DataFiles"])
        jre = s.join([stage, "quelta.swd.jre", "2.0.0.0.0", "1", "DataFiles"])
        cat = s.join(["resource", "cons_fr.nls"])
        lines = [
            "qelparam.ini:1: warning: DISTRIBUTION stands before the [Quelta] section: the launcher does not read it",
            f"qelparam.ini:5: warning: JRE_SCRATCH_LOC: runtime{s}21 is in no archive of the components "
            "BOOTSTRAP_COMPS expands: the launcher takes the runtime of the runtime step instead",
            "qelparam.ini:6: warning: BOOTSTARP: not a key the launcher reads; did you mean BOOTSTRAP?",
            "qelparam.ini:7: warning: PRODUCT_CODE: not a key the launcher reads (the installer may read it)",
            "qelparam.ini:8: error: WAIT_FOR_COMPLETION=true is off: a flag is on only when its first letter is "
            "an upper-case T",
            "qelparam.ini:9: warning: USEJDKONLY=True is off: it is on only for the text TRUE, exactly; what that "
            "changes depends on the Java runtime the machine that installs holds or the user gives",
            "qelparam.ini:10: warning: JRE_VERSION: the value has 34 characters; the launcher keeps the first 31",
            "qelparam.ini:11: error: COPY_THREADS: the value has 12 characters; the launcher keeps the first 11",
            "qelparam.ini:12: error: BOOTSTRAP_SIZE=4096 is outside 0 to 2047: the launcher runs without the bootstrap",
            "qelparam.ini:13: warning: BOOTSTRAP_COMPS has empty entries: the launcher drops them",
            "qelparam.ini:13: error: BOOTSTRAP_COMPS names 17 components: the launcher bootstraps the first 16 and "
            "leaves out late.one",
            f"qelparam.ini:13: error: BOOTSTRAP_COMPS: missing.comp is not staged (no {stage}{s}missing.comp): "
            "the bootstrap fails",
            f"qelparam.ini:13: error: BOOTSTRAP_COMPS: product.extras:9.9 is not staged "
            f"(no {stage}{s}product.extras{s}9.9{s}1{s}DataFiles): the bootstrap fails",
            "qelparam.ini:13: error: BOOTSTRAP_COMPS leaves out quelta.swd.qti.core: the installer's class path takes "
            f"its jars from {stage}{s}quelta.swd.qti.core{s}0.0.0.0.0{s}1{s}DataFiles{s}jlib, which is not there",
            "qelparam.ini:13: warning: BOOTSTRAP_COMPS: quelta.swd.mendra:3.0.0.0.0 is not staged: the launcher "
            "takes the highest staged version, 1.0.0.0.0",
            f"qelparam.ini:14: warning: ACCESS_DIR: ..{s}access names nothing: the bootstrap copies nothing from it",
            "qelparam.ini:15: warning: SOURCE: products.xml names nothing on the medium; the installer is told to "
            "install from there",
            "qelparam.ini:16: warning: HLP_LOCATION changes nothing: the launcher always takes these jars from the "
            "installer's jlib directory",
            "qelparam.ini:18: error: INSTALL_CLASS is set again: the launcher reads only line 17; it takes "
            "INSTALL_CLASS=com.example.Installer, not com.example.Other",
            'qelparam.ini:19: warning: NLS_ENABLED has no "=": the launcher takes its default',
            'qelparam.ini:22: error: CPU: the prerequisite reader reads no value: nothing may stand between a key '
            'and its "="',
            "qelparam.ini:23: error: SWAP_SPCE: not a key the prerequisite checks read in [Generic Prereqs]; did "
            "you mean SWAP_SPACE?: the check it means never runs",
            "qelparam.ini:24: warning: CPU_FAILURE_MESSAGE is read only from the sections of a certified version, "
            "not from [Generic Prereqs]",
            "qelparam.ini:25: error: the prerequisite reader finds no key on this line and stops: the line after it "
            "in [Generic Prereqs] is never read",
            f"qelparam.ini:28: warning: certified version 5.10 has no section [{family}-5.10-required] or "
            f"[{family}-5.10-optional]: only the generic checks run there",
            'qelparam.ini:28: warning: the certified version " 4.9" holds a blank: it never matches the system\'s '
            'version',
            f"qelparam.ini:31: warning: MIN_DISPLAY_COLORS is checked only in [Generic Prereqs]: not in "
            f"[{family}-6.1-required]",
            f"qelparam.ini:32: warning: the prerequisite checks do not read this section: they find "
            f'[{family}-5.10-optional] only when written so exactly, letter case included, with nothing after "]" '
            "(its checks would run only on a machine of that version)",
            f"qelparam.ini:34: warning: [{family}-4.4-required] is never read: no certified version ({family} in "
            "[Certified Versions]) names it",
            "qelparam.ini:36: warning: a second [quelta] section: the launcher reads only the first, at line 2",
            "qelparam.ini:37: warning: BOOTSTRAP stands in the second [Quelta] section, at line 36: the launcher does "
            "not read it",
            ("unzip.exe" if windows else "unzip") + ": error: missing: the bootstrap cannot expand the staged archives",
            f"{stage}{s}broken.comp{s}1.0.0.0.0: warning: holds no 1{s}DataFiles directory: the bootstrap finds no "
            "archives in it",
            f"{stage}{s}empty.comp{s}1.0.0.0.0{s}1{s}DataFiles: warning: holds no jar archive: the unzip tool finds "
            "nothing to expand here; the launcher does not expand this directory (whether the installer reads it "
            "depends on what is installed)",
            f"{stage}{s}odd{s}latest: warning: not a version: the launcher never takes it as the highest",
        ]
        if not windows:
            lines.append(f"{extras}/README.JAR: warning: not expanded: the unzip tool matches *.jar in this letter "
                         "case only")
        lines += [
            f"{extras}{s}crc.jar: error: data.txt: CRC-32 mismatch (damaged data)",
            f'{extras}{s}extras.jar: error: ../evil.txt: the unzip tool refuses it: a ".." component',
            f"{extras}{s}names.jar: error: extras/aux.txt: the unzip tool refuses it: a Windows device name" if windows
            else f"{extras}/names.jar: error: extras/out: the unzip tool refuses it: a link to a place outside the "
                 "destination",
            f"{extras}{s}notzip.jar: error: not a zip archive (too short)",
            f"{extras}{s}overlap.jar: error: a.txt: overlaps another entry: the unzip tool takes the archive for "
            "damaged",
            f"{extras}{s}overlap.jar: error: b.txt: overlaps another entry: the unzip tool takes the archive for "
            "damaged",
            f"{jre}: error: the runtime jre\\2.0 holds no bin\\javaw.exe: the installer cannot start" if windows
            else f"{jre}: error: jre/2.0/bin/java is not executable once expanded: its archive stores no execute "
                 "permission for it",
            f'{cat}: warning: a record has no "=": the launcher skips it',
            f"{cat}: warning: S_WAITMSG is defined again: the first definition counts",
            f"{cat}: warning: S_QTI is missing: the launcher shows the text of cons.nls",
            f"{cat}: error: S_ERBOOTSTRAP: placeholders %d %s where cons.nls has %s %d: the message comes out wrong",
            f"{cat}: warning: S_UNUSED is not a key of cons.nls: the launcher never shows it",
        ]
        return lines

    def check_medium(self, windows):
        install = self.lay_out(windows)
        self.assert_output(install, self.expected(windows), ERRORS)
        errors = [line for line in self.expected(windows) if ": error: " in line]
        self.assert_output(install, errors, ERRORS, "--quiet")

    def test_a_linux_medium_with_one_fault_of_each_kind(self):
        self.check_medium(windows=False)

    def test_a_windows_medium_with_one_fault_of_each_kind(self):
        self.check_medium(windows=True)


class CleanMedia(MediumTest):
    """Media a product team may ship as they are: no line, status 0."""

    def test_the_demo_medium(self):
        if not os.path.exists(os.path.join(ARGS.linux_build, "demo", "jlib", "QelInstaller.jar")):
            self.skipTest("the demo installer is not built (no Java compiler)")
        runtime = self.path("runtime")
        os.makedirs(os.path.join(runtime, "bin"))
        java = os.path.join(runtime, "bin", "java")
        shutil.copy(os.path.join(ARGS.linux_build, "fakejava"), java)
        os.chmod(java, 0o755)
        subprocess.run(["bash", os.path.join(ARGS.source, "scripts", "demo_medium.sh"), self.path("demo"),
                        ARGS.linux_build, runtime], check=True)
        self.assert_output(self.path("demo", "install"), [], CLEAN)

    def check_the_kit_sample(self, windows, build):
        """The sample is a medium's file with the stage still to fill: on the kit
        as it comes the checker names what is missing as errors; with the
        components staged it is clean, also with every default spelt out."""
        install = self.kit_install(windows, build)
        exe = ".exe" if windows else ""
        self.write("medium/install/unzip" + exe, "expander")
        with open(os.path.join(build, "kit", "qelparam.ini"), "rb") as f:
            sample = f.read()
        with open(os.path.join(install, "qelparam.ini"), "wb") as f:
            f.write(sample)
        status, out, err = self.checker.run(install)
        self.assertEqual((status, err), (ERRORS, ""), out)
        errors = [line for line in out.splitlines() if ": error: " in line]
        stage_area = r"..\stage\Components" if windows else "../stage/Components"
        self.assertTrue(any(line.startswith(stage_area + ": error: ") for line in errors), out)
        self.assertTrue(any("JRE_LOCATION" in line and "<version>" in line for line in errors), out)

        stage = self.path("medium", "stage", "Components")
        for component, archive in (("quelta.swd.qti", "qti/jlib/installer.jar"),
                                   ("quelta.swd.qti.core", "qti/jlib/core.jar"),
                                   ("quelta.swd.mendra", "Mendra/jlib/mendra.jar")):
            make_zip(os.path.join(stage, component, "1.0.0.0.0", "1", "DataFiles", "c.jar"), [(archive, b"x")])
        programs = ["java.exe", "javaw.exe"] if windows else ["java"]
        make_zip(os.path.join(stage, "quelta.swd.jre", "2.0.0.0.0", "1", "DataFiles", "jre.jar"),
                 [("jre/2.0/bin/" + name, b"j", 0o100755) for name in programs])
        for name, text in (("as it comes", sample), ("every default set", re.sub(rb"(?m)^;([A-Z_]+=)", rb"\1", sample))):
            with self.subTest(name):
                with open(os.path.join(install, "qelparam.ini"), "wb") as f:
                    f.write(text)
                self.assert_output(install, [], CLEAN)

    def test_the_linux_kit_sample_parameter_file(self):
        self.check_the_kit_sample(False, ARGS.linux_build)

    @unittest.skipUnless(ARGS.win32_build, "no Windows build given")
    def test_the_windows_kit_sample_parameter_file(self):
        self.check_the_kit_sample(True, ARGS.win32_build)


class Statuses(MediumTest):
    def staged_medium(self):
        """A distribution medium whose components and runtime are all fine."""
        install = self.kit_install(windows=False)
        self.write("medium/install/unzip", "expander")
        stage = self.path("medium", "stage", "Components")
        for component, archive in (("quelta.swd.qti", "qti/jlib/installer.jar"),
                                   ("quelta.swd.qti.core", "qti/jlib/core.jar"),
                                   ("quelta.swd.mendra", "Mendra/jlib/mendra.jar")):
            make_zip(os.path.join(stage, component, "1.0.0.0.0", "1", "DataFiles", "c.jar"), [(archive, b"x")])
        make_zip(os.path.join(stage, "quelta.swd.jre", "2.0.0.0.0", "1", "DataFiles", "jre.jar"),
                 [("jre/2.0/bin/java", b"j", 0o100755)])
        return install

    def test_warnings_only_give_status_1_and_quiet_prints_nothing(self):
        install = self.staged_medium()
        self.write("medium/install/qelparam.ini", "[Quelta]\nDISTRIBUTION=TRUE\nQTI_VERSION=4.2.0.1.0\n"
                   "MENDRA_LOCATION=../nowhere\nEXT_LIB=../lib\n[Certified Versions]\nLinux=6.1\n")
        self.assert_output(install, [
            "qelparam.ini: warning: JRE_LOCATION is not set: the launcher asks the user for a Java runtime "
            "instead of taking the staged one",
            "qelparam.ini:3: warning: QTI_VERSION=4.2.0.1.0: no such version of quelta.swd.qti is staged: the "
            "launcher takes the highest staged version, 1.0.0.0.0",
            "qelparam.ini:3: warning: QTI_VERSION=4.2.0.1.0: no such version of quelta.swd.qti.core is staged: the "
            "launcher takes the highest staged version, 1.0.0.0.0",
            "qelparam.ini:4: warning: MENDRA_LOCATION: ../nowhere names nothing: the launcher takes the highest "
            "staged version, 1.0.0.0.0",
            "qelparam.ini:5: warning: EXT_LIB: ../lib names nothing: the bootstrap copies nothing from it",
            "qelparam.ini:7: warning: PLATFORM_PREREQS is off: the certified versions and their sections are never "
            "checked",
        ], WARNINGS)
        self.assert_output(install, [], WARNINGS, "--quiet")

    def test_the_runtime_is_the_first_directory_below_jre_by_name_letter_case_ignored(self):
        install = self.staged_medium()
        self.write("medium/install/qelparam.ini", "[Quelta]\nDISTRIBUTION=TRUE\nJRE_LOCATION=/nowhere\n")
        make_zip(self.path("medium", "stage", "Components", "quelta.swd.jre", "3.0.0.0.0", "1", "DataFiles", "jre.jar"),
                 [("jre/a9/README", b"no runtime"), ("jre/B17/bin/java", b"j", 0o100755)])
        self.assert_output(install, [
            "../stage/Components/quelta.swd.jre/3.0.0.0.0/1/DataFiles: error: the runtime jre/a9 holds no bin/java: "
            "the installer cannot start",
        ], ERRORS)

    def test_a_component_list_leaves_out_the_steps_it_does_not_name(self):
        install = self.staged_medium()
        self.write("medium/install/qelparam.ini", "[Quelta]\nDISTRIBUTION=TRUE\nBOOTSTRAP_COMPS=quelta.swd.qti\n"
                   "JRE_LOCATION=../stage/Components/quelta.swd.jre/2.0.0.0.0/1/DataFiles\n")
        self.assert_output(install, [
            "qelparam.ini:3: error: BOOTSTRAP_COMPS leaves out quelta.swd.qti.core: the installer's class path takes "
            "its jars from ../stage/Components/quelta.swd.qti.core/0.0.0.0.0/1/DataFiles/jlib, which is not there",
            "qelparam.ini:3: error: BOOTSTRAP_COMPS leaves out quelta.swd.jre: the installer is started from "
            "JRE_LOCATION, ../stage/Components/quelta.swd.jre/2.0.0.0.0/1/DataFiles, which holds no bin/java",
            "qelparam.ini:3: warning: BOOTSTRAP_COMPS leaves out quelta.swd.mendra and quelta.swd.jre: the launcher "
            "bootstraps only the components it lists",
        ], ERRORS)

    def test_the_default_is_the_checkers_own_directory(self):
        install = self.staged_medium()
        self.write("medium/install/qelparam.ini", "[Quelta]\nDISTRIBUTION=TRUE\nJRE_LOCATION=/nowhere\n")
        program = os.path.join(install, os.path.basename(ARGS.checker))
        shutil.copy(ARGS.checker, program)
        status, out, err = self.checker.run(program=program)
        self.assertEqual((status, out, err), (CLEAN, "", ""))

    def test_the_system_option_wins_over_the_launcher_found(self):
        install = self.staged_medium()
        self.write("medium/install/qelparam.ini", "[Quelta]\nDISTRIBUTION=TRUE\nJRE_LOCATION=/nowhere\n")
        self.assert_output(install, [
            "setup.exe: error: missing: the medium has no launcher",
            "unzip.exe: error: missing: the bootstrap cannot expand the staged archives",
            r"..\stage\Components\quelta.swd.jre\2.0.0.0.0\1\DataFiles: error: the runtime jre\2.0 holds no "
            r"bin\java.exe: the installer cannot start",
            r"..\stage\Components\quelta.swd.jre\2.0.0.0.0\1\DataFiles: error: the runtime jre\2.0 holds no "
            r"bin\javaw.exe: the installer cannot start",
        ], ERRORS, "--windows")

    def test_a_command_line_it_does_not_take_checks_nothing(self):
        for args in (["--verbose", self.work], [self.path("absent")], [self.work, self.work]):
            with self.subTest(args=args):
                status, out, err = self.checker.run(*args)
                self.assertEqual((status, out), (USAGE, ""))
                self.assertIn("usage: qelcheck", err)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + REST, verbosity=2)
