#!/usr/bin/env python3
"""vntrmap.exe under Wine: serving on loopback, its own console (title and
texts read back by consoleprobe.exe), the stop command from a second Wine
process through seghub.dll, the log switched on by a registry value added
with `wine reg`, and the exit codes.

Usage: vntrmap_wine_test.py --program vntrmap.exe --probe consoleprobe.exe
Runs inside a private network namespace with the Wine environment of
scripts/wine-env.sh (WINEPREFIX and a running wineserver).
"""
import argparse
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from netutil import accepts_connections, free_port, wait_for  # noqa: E402

PROGRAM = None
PROBE = None
TITLE = "Vantor Mapper for TELNET"
PRODUCT_KEY = r"HKLM\Software\Tarvik\Vantor\5.5"


def wine(*arguments, **options):
    return subprocess.run(["wine", *arguments], capture_output=True, timeout=60, **options)


def console_of_mapper():
    """The title and screen text of the running vntrmap.exe's console."""
    run = wine(PROBE, "vntrmap.exe")
    if run.returncode != 0:
        return None, None
    title, _, screen = run.stdout.decode("cp932").partition("\n")
    return title.removeprefix("title: "), screen


class WineMapper(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            if server.poll() is None:
                server.kill()
                server.wait()
        self.folder.cleanup()

    def start(self, *arguments, locale=None):
        environment = dict(os.environ, **({"LC_ALL": locale} if locale else {}))
        server = subprocess.Popen(["wine", PROGRAM, *arguments], cwd=self.folder.name,
                                  env=environment, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.servers.append(server)
        return server

    def serve(self, port, arguments, locale=None):
        server = self.start(*arguments, locale=locale)
        self.assertTrue(wait_for(lambda: accepts_connections(port), 30), "mapper did not listen")
        return server

    def stop(self, server):
        began = time.monotonic()
        self.assertEqual(wine(PROGRAM, "-stop").returncode, 0)
        code = server.wait(timeout=30)
        return code, time.monotonic() - began

    def screen_while_running(self, server):
        """The console once it shows text and its title. Wine's console host
        applies a new title a moment after the call, so that is waited for."""
        found = []

        def read():
            title, screen = console_of_mapper()
            found[:] = [title, screen]
            return bool(screen and screen.strip()) and title == TITLE

        self.assertTrue(wait_for(read, 20) or server.poll() is not None)
        return found


class ServingTest(WineMapper):
    def test_default_port_console_and_stop_from_a_second_process(self):
        server = self.serve(23000, [])
        title, screen = self.screen_while_running(server)
        self.assertEqual(title, TITLE)
        self.assertEqual(screen, "vntrmap port: 23000\n")
        client = socket.create_connection(("127.0.0.1", 23000))
        code, seconds = self.stop(server)
        self.assertEqual(code, 0)
        self.assertLess(seconds, 15)
        client.settimeout(5)
        self.assertEqual(client.recv(1), b"")
        client.close()

    def test_the_console_reads_the_same_on_an_english_system(self):
        server = self.serve(23000, [], locale="en_US.UTF-8")
        self.assertEqual(self.screen_while_running(server), [TITLE, "vntrmap port: 23000\n"])
        self.assertEqual(self.stop(server)[0], 0)

    def test_a_port_in_use_exits_with_1(self):
        port = free_port()
        with socket.socket() as holder:
            holder.bind(("0.0.0.0", port))
            holder.listen(1)
            server = self.start(str(port))
            self.assertEqual(server.wait(timeout=60), 1)


class CommandLineErrorTest(WineMapper):
    def check_error(self, arguments, text):
        began = time.monotonic()
        server = self.start(*arguments)
        title, screen = self.screen_while_running(server)
        self.assertEqual(server.wait(timeout=60), 255)
        self.assertGreaterEqual(time.monotonic() - began, 5.0)
        self.assertEqual(title, TITLE)
        self.assertEqual(screen, text)

    def test_rejected_port(self):
        self.check_error(["4999"],
                         "error: invalid port number [choose a number between 5000 and 65535]\n")

    def test_two_arguments(self):
        self.check_error(["-stop", "6000"], "error: vntrmap [ [port] |  -stop ]\n")


class LogSwitchTest(WineMapper):
    def setUp(self):
        super().setUp()
        self.note = os.path.join(os.environ["WINEPREFIX"], "drive_c", "log.log")
        if os.path.exists(self.note):
            os.remove(self.note)

    def tearDown(self):
        wine("reg", "delete", PRODUCT_KEY, "/v", "mapper_debug", "/f", "/reg:32")
        super().tearDown()

    def test_registry_value_in_the_32_bit_view_switches_the_log_on(self):
        """Where the product's 32-bit setup leaves it on 64-bit Windows."""
        added = wine("reg", "add", PRODUCT_KEY, "/v", "mapper_debug", "/t", "REG_DWORD",
                     "/d", "0", "/f", "/reg:32")
        self.assertEqual(added.returncode, 0, added.stderr)
        port = free_port()
        server = self.serve(port, [str(port)])
        self.assertEqual(self.stop(server)[0], 0)
        with open(os.path.join(self.folder.name, "mapper.log"), "rb") as f:
            log = f.read()
        self.assertRegex(log, rb"^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] mapper started\.\.\.\.\r\n")
        self.assertIn(b"] threads watchdog thread ended.\r\n", log)
        self.assertTrue(log.endswith(b"] mapper ended....\r\n"), log)
        with open(self.note, "rb") as f:
            note = f.read().decode("cp932")
        # In-process tests of the same run may add their own lines.
        own = re.escape(os.path.basename(self.folder.name))
        self.assertRegex(note, r"(?m)^log file name: [A-Za-z]:\\.*\\%s\\mapper\.log, "
                               r"fp = [0-9a-f]+\r$" % own)


def main():
    global PROGRAM, PROBE
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    known, rest = parser.parse_known_args()
    PROGRAM, PROBE = os.path.abspath(known.program), os.path.abspath(known.probe)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
