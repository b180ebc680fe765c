"""The frame of the session tests: a mapper per test, stopped with its own
-stop at the end, which must end it with exit code 0 and no sanitizer report.

Every test file takes --program PATH (and --wine for vntrmap.exe) before the
unittest arguments, and runs inside a private network namespace.
"""
import argparse
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import telnet_peers  # noqa: E402

PROGRAM = None
WINE = False

# ThreadSanitizer cannot see glibc's internal locks: concurrent host look-ups
# (gethostbyname_r, one buffer per call) show as races inside glibc.
TSAN_SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                 "tsan-glibc.supp")


def mapper_environment():
    options = os.environ.get("TSAN_OPTIONS", "")
    if "suppressions=" in options:
        return {}
    return {"TSAN_OPTIONS": f"{options} suppressions={TSAN_SUPPRESSIONS}".strip()}


class MapperCase(unittest.TestCase):
    log = False  # the diagnostic log writes a line per login byte: only where it helps

    def setUp(self):
        self.mapper = self.enterContext(telnet_peers.Mapper(PROGRAM, wine=WINE, log=self.log,
                                                            env=mapper_environment()))
        self.addCleanup(self.check_mapper_end)

    def check_mapper_end(self):
        code = self.mapper.stop()
        self.assertEqual(self.mapper.sanitizer_report(), "")
        self.assertEqual(code, 0, "the mapper did not stop on request")

    def front_end(self, timeout=10.0):
        return self.enterContext(self.mapper.front_end(timeout))

    def explain(self):
        """The mapper's log, for a failure message."""
        return "\nmapper log:\n" + self.mapper.log_text()[-4000:]


def main():
    global PROGRAM, WINE
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", action="store_true")
    known, rest = parser.parse_known_args()
    PROGRAM, WINE = os.path.abspath(known.program), known.wine
    unittest.main(module="__main__", argv=[sys.argv[0], *rest], verbosity=2)
