#!/usr/bin/env python3
"""The static checks must be able to fail: each is run on the real binaries with one input
spoilt. Usage: pecheck_test.py ZQRUNNER_EXE NATIVA_DLL (one architecture's build)."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PECHECK = os.path.join(HERE, "pecheck.py")
EXPORTS = os.path.join(HERE, "nativa-exports.txt")
TABLE = os.path.join(HERE, "windows-api-minimum.txt")
RUNNER, NATIVA = sys.argv[1], sys.argv[2]


def run(*args):
    done = subprocess.run([sys.executable, PECHECK, *args], capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


def lines(path):
    with open(path, encoding="utf-8") as f:
        return f.read().splitlines()


class Spoilt(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, text_lines):
        path = os.path.join(self.tmp.name, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(text_lines) + "\n")
        return path

    def test_export_list_with_one_name_missing_or_changed(self):
        self.assertEqual(run("exports", NATIVA, EXPORTS)[0], 0)
        names = [l for l in lines(EXPORTS) if l.startswith("_Java_")]
        rc, out = run("exports", NATIVA, self.write("short.txt", names[1:]))
        self.assertEqual(rc, 1)
        self.assertIn("unexpected export", out)
        # A wrong argument size is a different name on i686 (and the same name on x86_64).
        wrong = [names[0].replace("@16", "@20")] + names[1:]
        rc, out = run("exports", NATIVA, self.write("wrong.txt", wrong))
        if "i386" in run("list", NATIVA)[1].splitlines()[0]:
            self.assertEqual(rc, 1)
            self.assertIn("missing export _Java_com_korvel_stash9_os_win32_BackupApi_setPrivilege@20", out)
        else:
            self.assertEqual(rc, 0)

    def test_floor_refuses_newer_and_unknown_imports(self):
        self.assertEqual(run("floor", TABLE, "6.0", RUNNER, NATIVA)[0], 0)
        # Below what the imports need.
        rc, out = run("floor", TABLE, "5.0", RUNNER, NATIVA)
        self.assertEqual(rc, 1)
        self.assertIn("bind it at run time", out)
        # CreateThread marked as a Vista function.
        table = [l.replace("CreateThread                  5.1", "CreateThread                  6.0")
                 for l in lines(TABLE)]
        rc, out = run("floor", self.write("vista.txt", table), "5.2", RUNNER)
        self.assertEqual(rc, 1)
        self.assertIn("KERNEL32.dll!CreateThread needs Windows 6.0", out)
        # An import the table does not know.
        table = [l for l in lines(TABLE) if not l.startswith("KERNEL32   CreateThread ")]
        rc, out = run("floor", self.write("unknown.txt", table), "6.0", RUNNER)
        self.assertEqual(rc, 1)
        self.assertIn("CreateThread is not in", out)

    def test_header_checks_machine_kind_and_versions(self):
        first = run("list", RUNNER)[1].splitlines()[0]
        machine = "i386" if " i386 " in first else "amd64"
        other = "amd64" if machine == "i386" else "i386"
        self.assertEqual(run("header", RUNNER, machine, "exe", "6.0")[0], 0)
        self.assertEqual(run("header", NATIVA, machine, "dll", "6.0")[0], 0)
        self.assertEqual(run("header", RUNNER, other, "exe", "6.0")[0], 1)
        self.assertEqual(run("header", RUNNER, machine, "dll", "6.0")[0], 1)
        self.assertEqual(run("header", NATIVA, machine, "exe", "6.0")[0], 1)
        rc, out = run("header", RUNNER, machine, "exe", "3.51")
        self.assertEqual(rc, 1)
        self.assertIn("older Windows refuses it", out)

    def test_unreadable_input_is_an_error(self):
        rc, out = run("list", self.write("not-pe.exe", ["MZ" + "x" * 100]))
        self.assertEqual(rc, 2)
        self.assertIn("no PE signature", out)
        rc, _ = run("floor", self.write("bad.txt", ["KERNEL32 CreateThread 5.1 maybe"]), "5.1", RUNNER)
        self.assertEqual(rc, 2)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
