#!/usr/bin/env python3
"""The front-end console at a real terminal (a pty), against the mapper that
scripts/run.sh serves and a real telnet server with a real login; run.sh's
refusals and its demo, followed as it prints itself.

Usage: frontend_console_test.py --program vntrmap [unittest arguments]
"""
import os
import pty
import re
import select
import shlex
import signal
import socket
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
SEGMENT = "/dev/shm/vantor_shared_segment"
RUNNING_BYTE = 4
IAC = b"\xff"


class Terminal:
    """A program on the slave side of a pty, as a person's terminal runs it:
    line editing and echo by the terminal, /dev/tty for the password."""

    def __init__(self, *argv):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.chdir(REPO)
                os.execvp(argv[0], list(argv))
            finally:
                os._exit(127)
        self.output = b""
        self.matched = 0  # where the last expected marker ended
        self.status = None

    def type(self, data):
        os.write(self.fd, data)

    def expect(self, marker, timeout=15.0):
        """Waits for marker after the last one expected."""
        deadline = time.monotonic() + timeout
        while marker not in self.output[self.matched:]:
            if not self._read(deadline):
                raise AssertionError(f"no {marker!r} on the terminal; it shows:\n{self.output!r}")
        self.matched = self.output.index(marker, self.matched) + len(marker)
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


def run_sh(*args):
    return subprocess.run([RUN, *args], capture_output=True, text=True, timeout=120,
                          stdin=subprocess.DEVNULL)


class ServedMapperTest(unittest.TestCase):
    def setUp(self):
        self.port = free_port()
        self.folder = self.enterContext(tempfile.TemporaryDirectory())
        os.makedirs(os.path.join(self.folder, "drive_c"))
        open(os.path.join(self.folder, "drive_c", "vntr.txt"), "w").close()
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
            run_sh("-stop")
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

    def test_a_second_mapper_is_refused_and_the_first_left_alone(self):
        log = self.mapper_log()
        second = run_sh(str(self.port))
        self.assertEqual(second.returncode, 1)
        self.assertIn(f"serves port {self.port} on this machine", second.stderr)
        with open(SEGMENT, "rb") as segment:
            self.assertEqual(segment.read()[RUNNING_BYTE], 1, "the running mark was withdrawn")
        self.assertTrue(self.mapper_log().startswith(log), "the first log was emptied")
        self.assertRegex(run_sh("-stop").stdout, rf"running \(process \d+, port {self.port}\).*\n"
                                                 "It has ended.")
        self.assertEqual(self.run_sh.wait(timeout=10), 0)
        self.assertIn("No native mapper was running", run_sh("-stop").stdout)

    def mapper_log(self):
        with open(os.path.join(self.folder, "mapper.log"), "rb") as f:
            return f.read()


class RunShTest(unittest.TestCase):
    def test_a_taken_port_is_refused_before_anything_starts(self):
        with socket.socket() as holder:
            holder.bind(("127.0.0.1", 0))
            holder.listen()
            port = holder.getsockname()[1]
            refused = run_sh(str(port))
        self.assertEqual(refused.returncode, 1)
        self.assertIn(f"port {port} is taken", refused.stderr)
        self.assertNotIn("vntrmap port", refused.stdout, "a mapper was started")

    def test_the_demo_prints_a_login_that_works_through_its_mapper(self):
        folder = self.enterContext(tempfile.TemporaryDirectory())
        demo = Terminal("env", f"VNTR_ROOT={folder}", RUN, "--sandbox", str(free_port()))
        self.addCleanup(demo.close)
        printed = demo.expect(b"ends the demo", timeout=120).decode()
        login = re.search(r"host (\S+), service (\d+), user id (\S+), password (\S+)\r", printed)
        way_in = re.search(r"^  (.*frontend-console.*?)\r", printed, re.M)[1]
        console = Terminal(*shlex.split(way_in))
        self.addCleanup(console.close)
        # A wrong password first: "ok" is not a login, and the password typed
        # again at the server's own prompt is not echoed.
        steps = ((b"Telnet host: ", login[1]), (b"Service [23]: ", ""), (b"User id: ", login[3]),
                 (b"Password: ", "wrong"), (b"answered ok: it has typed the user id", None),
                 (b"Login incorrect", None), (b"login: ", login[3]), (b"Password: ", login[4]),
                 (b"$ ", "echo demo$((6*7))"))
        for prompt, answer in steps:
            console.expect(prompt)
            if answer is not None:
                console.type(answer.encode() + b"\n")
        console.expect(b"\ndemo42\r")
        self.assertNotIn(login[4].encode(), console.output)
        self.assertNotIn(b"logged in", console.output)
        self.assertIn(f"Logging in to {login[1]} port {login[2]} as".encode(), console.output)
        self.assertIn("It has ended.", run_sh("-stop").stdout)
        self.assertEqual(demo.exit_status(timeout=30), 0)


class ConsoleTest(MapperCase):
    def console(self, *args):
        terminal = Terminal(CONSOLE, "--port", str(self.mapper.port), *args)
        self.addCleanup(terminal.close)
        return terminal

    def test_failures_are_told_before_questions_that_cannot_help(self):
        closed = str(free_port())
        cases = (  # arguments, answers, what is told, exit status, what is not asked
            (["--port", closed], [], b"Cannot reach the mapper", 1, b"Telnet host"),
            (["--port", "99999"], [], b"99999 is no TCP port", 2, b"Telnet host"),
            (["--host", "127.0.0.1", "--service", "23"], [(b"User id: ", b"u" * 20)],
             b"user id is longer than the mapper takes", 2, b"Password"),
            (["--host", "127.0.0.1", "--service", closed, "--user", TEST_USER],
             [(b"Password: ", b"secret")], b"answered ng", 1, None),
            (["--host", "127.0.0.1", "--user", TEST_USER], [(b"Password: ", b"secret")],
             b"Logging in to 127.0.0.1 port 23 as", None, b"Service"),
        )
        for args, answers, told, status, unasked in cases:
            with self.subTest(told=told):
                console = self.console(*args)
                for prompt, answer in answers:
                    console.expect(prompt)
                    console.type(answer + b"\n")
                console.expect(told)
                if status is not None:
                    self.assertEqual(console.exit_status(), status)
                if unasked:
                    self.assertNotIn(unasked, console.output)


if __name__ == "__main__":
    session_case.main()
