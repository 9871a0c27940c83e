"""What the reference pages state about the programs, held against them: the
jars of the installer's class path (docs/medium.md against the list the
launcher's tests share), and the kit tools' command lines (--help, --version,
usage errors, every exit status in the usage text and on the tool's page).

usage: test_reference_pages.py --source DIR --build DIR [unittest options]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

PARSER = argparse.ArgumentParser()
PARSER.add_argument("--source", required=True)
PARSER.add_argument("--build", required=True)
ARGS, REST = PARSER.parse_known_args()


def read(*parts):
    with open(os.path.join(ARGS.source, *parts), encoding="utf-8") as f:
        return f.read()


def section(text, heading):
    """The text below a markdown heading, up to the next heading of any level."""
    start = text.index(heading + "\n") + len(heading) + 1
    end = re.search(r"(?m)^#", text[start:])
    return text[start:start + end.start()] if end else text[start:]


def exit_statuses(header):
    """The values of the kExit* constants of a tool's header."""
    return sorted({int(v) for v in re.findall(r"constexpr int kExit\w+ = (\d+);", read(*header.split("/")))})


def run(program, *args):
    done = subprocess.run([os.path.join(ARGS.build, program), *args], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL)
    return done.returncode, done.stdout, done.stderr


class ClassPathPage(unittest.TestCase):
    def test_the_page_names_the_launchers_jars_in_their_order(self):
        groups = {}
        for line in read("tests", "data", "class_path_jars.txt").splitlines():
            if line and not line.startswith("#"):
                name, *jars = line.split()
                groups[name] = jars
        table = section(read("docs", "medium.md"), "## The installer's class path")
        rows = {m.group(1): re.findall(r"`([^`]+\.jar)`", m.group(2))
                for m in re.finditer(r"(?m)^\| (\w+) \| `[^`]*` \| (.*) \|$", table)}
        self.assertEqual(rows, groups)


class ToolCommandLines(unittest.TestCase):
    """Both tools of the kit that take a command line of their own."""

    TOOLS = (
        # program, header of its exit statuses, its page and the page's section, a usage error's status
        ("qelcheck", "tools/qelcheck/findings.h", "checker.md", "## Exit status", 3),
        ("unzip", "tools/unzip/expand.h", "unzip.md", "## Exit status", 10),
    )

    def version(self):
        return re.search(r"project\(\w+ VERSION ([0-9.]+)", read("CMakeLists.txt")).group(1)

    def test_help_prints_the_usage_with_every_exit_status_and_ends_with_0(self):
        for program, header, _, _, _ in self.TOOLS:
            with self.subTest(program):
                status, out, err = run(program, "--help")
                self.assertEqual((status, err), (0, ""))
                self.assertTrue(out.startswith("usage: " + program + " "), out)
                told = out[out.index("Exit status"):]
                for value in exit_statuses(header):
                    self.assertRegex(told, r"(?<![0-9])%d (?=[a-z(])" % value)

    def test_the_page_tells_every_exit_status(self):
        for program, header, page, heading, _ in self.TOOLS:
            with self.subTest(program):
                text = section(read("docs", page), heading)
                for value in exit_statuses(header):
                    self.assertRegex(text, r"(?m)(^\| %d \||(?<![0-9.])%d [a-z])" % (value, value))

    def test_version_prints_the_kits_version_and_ends_with_0(self):
        for program, *_ in self.TOOLS:
            with self.subTest(program):
                self.assertEqual(run(program, "--version"),
                                 (0, "%s (setup launcher kit) %s\n" % (program, self.version()), ""))

    def test_a_usage_error_names_the_wrong_word_and_points_to_help(self):
        cases = {
            "qelcheck": [(["--verbose"], "--verbose"), (["-q"], "-q"), (["a", "b"], "b"),
                         (["/nowhere/at/all"], "/nowhere/at/all"), (["--help=x"], "--help=x")],
            "unzip": [(["--list", "a.jar"], "--list"), (["-qqx", "a.jar"], "-qqx"), (["a.jar", "b.jar"], "b.jar"),
                      (["a.jar", "-d"], "-d"), (["--versions"], "--versions")],
        }
        for program, _, _, _, usage_status in self.TOOLS:
            for args, word in cases[program]:
                with self.subTest(program=program, args=args):
                    status, out, err = run(program, *args)
                    self.assertEqual((status, out), (usage_status, ""))
                    first = err.splitlines()[0]
                    self.assertTrue(first.startswith(program + ": ") and word in first, err)
                    self.assertIn("usage: " + program, err)
                    self.assertIn(program + " --help", err)


class LauncherHelp(unittest.TestCase):
    """setup keeps its own options: --help holds -help, the -HELP mode."""

    def test_help_is_the_help_mode_and_reaches_the_installer(self):
        self.assertIn("`--help`", section(read("docs", "command-line.md"), "## Switches"))
        work = tempfile.mkdtemp(prefix="setup-help-")
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        install, runtime = os.path.join(work, "install"), os.path.join(work, "jre")
        os.makedirs(install)
        os.makedirs(os.path.join(runtime, "bin"))
        shutil.copy(os.path.join(ARGS.build, "setup"), install)
        shutil.copytree(os.path.join(ARGS.build, "resource"), os.path.join(install, "resource"))
        java = os.path.join(runtime, "bin", "java")
        with open(java, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$@" > "%s/args"\nexit 7\n' % work)
        os.chmod(java, 0o755)
        with open(os.path.join(install, "qelparam.ini"), "w") as f:
            f.write("[Quelta]\nJRE_LOCATION=%s\n" % runtime)
        done = subprocess.run([os.path.join(install, "setup"), "--help"], capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, env=dict(os.environ, TEMP=work, LC_ALL="C"))
        self.assertEqual((done.returncode, done.stdout), (7, ""), done.stderr)  # silent: no start message
        with open(os.path.join(work, "args")) as f:
            self.assertEqual(f.read().splitlines()[-1], "--help")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + REST, verbosity=2)
