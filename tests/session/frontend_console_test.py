#!/usr/bin/env python3
"""The front-end console at a real terminal (a pty), against the mapper that
scripts/run.sh serves and a real telnet server with a real login.

Usage: frontend_console_test.py --program vntrmap [unittest arguments]
"""
import os
import pty
import select
import signal
import subprocess
import tempfile
import time
import unittest

import session_case
from session_case import MapperCase
from telnet_peers import TEST_PASSWORD, TEST_USER, InetutilsTelnetd
from netutil import free_port, wait_for
import telnet_peers

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
CONSOLE = os.path.join(REPO, "scripts", "frontend-console")
RUN = os.path.join(REPO, "scripts", "run.sh")
IAC = b"\xff"


class Terminal:
    """A program on the slave side of a pty, as a person's terminal runs it:
    line editing and echo by the terminal, /dev/tty for the password."""

    def __init__(self, *argv):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.execv(argv[0], list(argv))
            finally:
                os._exit(127)
        self.output = b""
        self.status = None

    def type(self, data):
        os.write(self.fd, data)

    def expect(self, marker, timeout=15.0):
        deadline = time.monotonic() + timeout
        while marker not in self.output:
            if not self._read(deadline):
                raise AssertionError(f"no {marker!r} on the terminal; it shows:\n{self.output!r}")
        return self.output

    def exit_status(self, timeout=10.0):
        deadline = time.monotonic() + timeout
        while self._read(deadline):
            pass
        _, status = os.waitpid(self.pid, 0)
        self.status = os.waitstatus_to_exitcode(status)
        return self.status

    def _read(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([self.fd], [], [], left)[0]:
            return False
        try:
            data = os.read(self.fd, 4096)
        except OSError:  # the program ended and closed the terminal
            return False
        self.output += data
        return bool(data)

    def close(self):
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)


class ServedMapperTest(unittest.TestCase):
    def setUp(self):
        self.port = free_port()
        self.folder = self.enterContext(tempfile.TemporaryDirectory())
        log = open(os.path.join(self.folder, "run.log"), "wb")
        self.addCleanup(log.close)
        self.run_sh = subprocess.Popen([RUN, str(self.port)], stdin=subprocess.DEVNULL,
                                       stdout=log, stderr=log,
                                       env=dict(os.environ, VNTR_ROOT=self.folder))
        self.addCleanup(self.stop_mapper)
        if not wait_for(lambda: telnet_peers.listening(self.port), 120):
            self.fail("scripts/run.sh did not serve: " + self.run_log())
        self.server = self.enterContext(InetutilsTelnetd())

    def run_log(self):
        with open(os.path.join(self.folder, "run.log"), "rb") as f:
            return f.read().decode(errors="replace")

    def stop_mapper(self):
        if self.run_sh.poll() is None:
            subprocess.run([RUN, "-stop"], capture_output=True, timeout=60)
        try:
            self.stopped_with = self.run_sh.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.run_sh.kill()
            raise

    def test_a_person_logs_in_runs_a_command_and_logs_out(self):
        console = Terminal(CONSOLE, "--port", str(self.port))
        self.addCleanup(console.close)
        for prompt, answer in ((b"Telnet host: ", "127.0.0.1"),
                               (b"Service [23]: ", str(self.server.port)),
                               (b"User id: ", TEST_USER), (b"Password: ", TEST_PASSWORD)):
            console.expect(prompt)
            console.type(answer.encode() + b"\n")
        console.expect(b"answered ok")
        console.expect(b"$ ")
        console.type(b"echo con$((6*7))\n")
        console.expect(b"\ncon42\r")  # the shell's output, not the echo
        console.type(b"\x04")  # Ctrl-D
        console.expect(b"Logged out.")
        self.assertEqual(console.exit_status(), 0)
        self.assertNotIn(TEST_PASSWORD.encode(), console.output)
        self.assertNotIn(IAC, console.output)

        self.stop_mapper()
        self.assertEqual(self.stopped_with, 0, self.run_log())


class RefusalTest(MapperCase):
    def console(self, *args):
        terminal = Terminal(CONSOLE, *args)
        self.addCleanup(terminal.close)
        return terminal

    def test_failures_are_told_in_plain_words(self):
        closed = str(free_port())
        cases = (
            (["--port", str(self.mapper.port), "--host", "127.0.0.1", "--service", closed,
              "--user", TEST_USER], b"answered ng", 1),
            (["--port", closed, "--host", "127.0.0.1", "--service", "23", "--user", "x"],
             b"Cannot reach the mapper", 1),
            (["--port", str(self.mapper.port), "--host", "127.0.0.1", "--service", "23",
              "--user", "u" * 20], b"longer than the mapper takes", 2),
        )
        for args, told, status in cases:
            with self.subTest(told=told):
                console = self.console(*args)
                console.expect(b"Password: ")
                console.type(b"secret\n")
                console.expect(told)
                self.assertEqual(console.exit_status(), status)


if __name__ == "__main__":
    session_case.main()
