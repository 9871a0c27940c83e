"""The walk-through docs/first-medium.md, run as written.

Its Linux command blocks (```sh) run one after the other in one bash, in an
empty directory that holds a kit package made from the build, with the real
Java development kit. Each ```text block after a step's commands is the
output that step must print (timestamps, the temp root and the working
directory aside); the ```ini blocks are the lines the edited parameter file
sets, on Linux and, with its separators, on Windows.

usage: test_first_medium.py --source DIR --build DIR [--cmake PATH] [unittest options]
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
PARSER.add_argument("--cmake", default="cmake")
ARGS, REST = PARSER.parse_known_args()

PAGE = os.path.join(ARGS.source, "docs", "first-medium.md")
MARK = "@@@ step "


def blocks(text):
    """The fenced blocks of the page, in order: (info string, body)."""
    return re.findall(r"(?ms)^```(\w*)\n(.*?)^```\s*$", text)


def project_version():
    with open(os.path.join(ARGS.source, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(\w+ VERSION ([0-9.]+)", f.read()).group(1)


def make_kit_package(work):
    """The Linux kit as the package holds it: install/ in a .tar.gz."""
    root = os.path.join(work, "kitroot")
    subprocess.run([ARGS.cmake, "--install", ARGS.build, "--prefix", os.path.join(root, "install")],
                   check=True, capture_output=True)
    name = "qelsetup-%s-linux-%s.tar.gz" % (project_version(), os.uname().machine)
    subprocess.run(["tar", "czf", os.path.join(work, "walk", name), "-C", root, "install"], check=True)


class Page(unittest.TestCase):
    """What can be told without running anything."""

    def setUp(self):
        with open(PAGE, encoding="utf-8") as f:
            self.blocks = blocks(f.read())

    def test_every_linux_step_has_its_windows_commands(self):
        kinds = [kind for kind, _ in self.blocks if kind in ("sh", "bat")]
        self.assertEqual(kinds.count("sh"), kinds.count("bat"), kinds)

    def test_the_windows_kit_named_is_this_version(self):
        windows = "".join(body for kind, body in self.blocks if kind == "bat")
        self.assertIn("qelsetup-%s-win32.zip" % project_version(), windows)

    def test_the_windows_parameter_lines_are_the_linux_ones_with_windows_separators(self):
        ini = [body for kind, body in self.blocks if kind == "ini"]
        self.assertEqual(len(ini), 2)
        linux, windows = ini
        self.assertIn("ADDTO_CLASSPATH=", linux)
        self.assertEqual(windows, linux.replace("/", "\\"))


@unittest.skipUnless(all(shutil.which(p) for p in ("javac", "jar", "jlink", "zip")),
                     "no Java development kit or no zip here")
class WalkThrough(unittest.TestCase):
    """The Linux steps, run once; each test looks at one part of the result."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="first-medium-")
        walk = os.path.join(cls.work, "walk")
        temp = os.path.join(cls.work, "temp")
        os.makedirs(walk)
        os.makedirs(temp)
        make_kit_package(cls.work)
        with open(PAGE, encoding="utf-8") as f:
            cls.blocks = blocks(f.read())
        script = ""
        for i, (kind, body) in enumerate(cls.blocks):
            if kind == "sh":
                script += "echo '%s%d'\n%s" % (MARK, i, body)
        env = dict(os.environ, TEMP=temp, LC_ALL="C", LANG="C")
        env.pop("LC_MESSAGES", None)
        # Without -e: the page shows a checker that ends with 2 as a step
        # that goes on; a step that fails otherwise shows in what it prints.
        cls.done = subprocess.run(["bash", "-c", script], cwd=walk, env=env, capture_output=True,
                                  text=True, stdin=subprocess.DEVNULL)
        cls.walk, cls.temp = walk, temp

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def outputs(self):
        """Each sh block's output, by the block's index."""
        found, current = {}, None
        for line in self.done.stdout.splitlines():
            if line.startswith(MARK):
                current = int(line[len(MARK):])
                found[current] = []
            elif current is not None:
                found[current].append(line)
        return found

    def normal(self, lines, temp, workdir):
        out = []
        for line in lines:
            line = line.replace(temp, "/tmp").replace(workdir, "/home/you/work")
            line = re.sub(r"QelInstall\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d[AP]M(_\d+)?", "QelInstall<ts>", line)
            line = re.sub(r"-timestamp \S+", "-timestamp <ts>", line)
            out.append(line)
        return out

    def test_the_commands_run_to_the_end_without_a_complaint(self):
        self.assertEqual((self.done.returncode, self.done.stderr), (0, ""), self.done.stdout)

    def test_each_step_prints_what_the_page_shows(self):
        outputs = self.outputs()
        compared = 0
        last_sh = None
        for i, (kind, body) in enumerate(self.blocks):
            if kind == "sh":
                last_sh = i
            elif kind == "text" and last_sh is not None:
                with self.subTest(step=last_sh):
                    self.assertIn(last_sh, outputs, self.done.stderr)
                    self.assertEqual(self.normal(outputs[last_sh], self.temp, os.path.join(self.walk)),
                                     self.normal(body.splitlines(), "/tmp", "/home/you/work"))
                compared += 1
                last_sh = None
        self.assertGreaterEqual(compared, 3)

    def test_the_parameter_file_sets_the_lines_the_page_shows(self):
        with open(os.path.join(self.walk, "medium", "install", "qelparam.ini"), encoding="utf-8") as f:
            set_lines = [l for l in f.read().splitlines() if l.strip() and not l.startswith(";")]
        linux = [body for kind, body in self.blocks if kind == "ini"][0]
        self.assertEqual(set_lines, linux.splitlines())

    def test_the_run_leaves_no_scratch_directory(self):
        self.assertEqual([n for n in os.listdir(self.temp) if n.startswith("QelInstall")], [])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + REST, verbosity=2)
