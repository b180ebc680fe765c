#!/usr/bin/env python3
"""scripts/package.sh writes the same bytes from run to run: a second run,
seconds later and into another folder, writes its three packages byte for
byte as the first run wrote them into DIST, and leaves what else lies in
its folder alone.

Usage: reproducible_test.py --dist DIST [unittest arguments]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time
import unittest

PACKAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                       "package.sh")
# zip keeps file times to two seconds: a later run must fall into another step.
LATER_S = 2.5
DIST = None


class ReproducibleTest(unittest.TestCase):
    def test_a_second_run_writes_the_same_bytes_and_only_its_own_files(self):
        folder = self.enterContext(tempfile.TemporaryDirectory())
        kept = os.path.join(folder, "kept.txt")
        open(kept, "w").close()
        time.sleep(LATER_S)
        run = subprocess.run([PACKAGE, folder], capture_output=True, timeout=600)
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace"))
        made = sorted(set(os.listdir(folder)) - {"kept.txt"})
        self.assertEqual(len(made), 3, made)
        self.assertTrue(os.path.exists(kept))
        for name in made:
            with open(os.path.join(folder, name), "rb") as again, \
                    open(os.path.join(DIST, name), "rb") as first:
                self.assertTrue(again.read() == first.read(), f"{name} differs")


def main():
    global DIST
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", required=True)
    known, rest = parser.parse_known_args()
    DIST = os.path.abspath(known.dist)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
