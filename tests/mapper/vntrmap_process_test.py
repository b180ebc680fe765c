#!/usr/bin/env python3
"""The vntrmap program itself: command line, console texts, exit codes, the
stop command through the shared segment, and the log switch.

Usage: vntrmap_process_test.py --program PATH [unittest arguments]
Runs inside a private network namespace (ctest is started in one).
"""
import argparse
import os
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from netutil import accepts_connections, free_port, wait_for  # noqa: E402

PROGRAM = None

BAD_PORT = b"error: invalid port number [choose a number between 5000 and 65535] \n"
USAGE = b"error: vntrmap [ [port] |  -stop ]\n"
SEGMENT = "/dev/shm/vantor_shared_segment"
AS_NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
             "/usr/bin/python3", "-c"]


class MapperProcess(unittest.TestCase):
    """Each test gets a folder that is both the mapper's current directory and
    its VNTR_ROOT (drive C and the registry below it)."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name
        os.makedirs(os.path.join(self.root, "drive_c"))
        self.env = dict(os.environ, VNTR_ROOT=self.root)
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            if server.poll() is None:
                server.kill()
                server.wait()
        self.folder.cleanup()

    def start(self, *arguments):
        server = subprocess.Popen([PROGRAM, *arguments], cwd=self.root, env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.servers.append(server)
        return server

    def run_mapper(self, *arguments, timeout=30):
        return subprocess.run([PROGRAM, *arguments], cwd=self.root, env=self.env,
                              capture_output=True, timeout=timeout)

    def serve(self, port, arguments=None):
        server = self.start(*([str(port)] if arguments is None else arguments))
        self.assertTrue(wait_for(lambda: accepts_connections(port), 10), "mapper did not listen")
        return server

    def stop(self, server, limit=5):
        began = time.monotonic()
        self.assertEqual(self.run_mapper("-stop").returncode, 0)
        code = server.wait(timeout=limit)
        return code, time.monotonic() - began

    def log(self):
        with open(os.path.join(self.root, "mapper.log"), "rb") as f:
            return f.read()

    def switch_log_on(self):
        open(os.path.join(self.root, "drive_c", "vntr.txt"), "w").close()


class CommandLineTest(MapperProcess):
    def test_default_port_is_announced_without_line_end(self):
        server = self.serve(23000, arguments=[])
        code, _ = self.stop(server)
        self.assertEqual(code, 0)
        self.assertEqual(server.stdout.read(), b"vntrmap port: 23000")

    def test_rejected_ports_show_the_error_pause_and_exit_255(self):
        arguments = ["4999", "65536", "-1", "abc", "", "-STOP", "--stop"]
        began = time.monotonic()
        runs = [self.start(a) for a in arguments]
        for argument, run in zip(arguments, runs):
            out, _ = run.communicate(timeout=30)
            self.assertEqual(run.returncode, 255, argument)
            self.assertEqual(out, BAD_PORT, argument)
        self.assertGreaterEqual(time.monotonic() - began, 5.0)

    def test_two_arguments_give_the_usage_error(self):
        began = time.monotonic()
        run = self.run_mapper("-stop", "6000")
        self.assertEqual(run.returncode, 255)
        self.assertEqual(run.stdout, USAGE)
        self.assertGreaterEqual(time.monotonic() - began, 5.0)

    def test_port_with_trailing_letters_is_echoed_as_typed(self):
        port = free_port()
        server = self.serve(port, arguments=[f"{port}x"])
        self.assertEqual(self.stop(server)[0], 0)
        self.assertEqual(server.stdout.read(), f"vntrmap port:{port}x".encode())


class StopTest(MapperProcess):
    def test_stop_without_a_serving_mapper_succeeds_and_is_cleared_at_the_next_start(self):
        run = self.run_mapper("-stop")
        self.assertEqual((run.returncode, run.stdout), (0, b""))
        port = free_port()
        server = self.serve(port)
        time.sleep(1.5)  # a stale stop byte would end it within a second
        self.assertIsNone(server.poll())
        self.assertEqual(self.stop(server)[0], 0)

    def test_stop_ends_a_mapper_holding_64_connections(self):
        port = free_port()
        server = self.serve(port)
        clients = [socket.create_connection(("127.0.0.1", port)) for _ in range(64)]
        time.sleep(0.5)
        code, seconds = self.stop(server, limit=10)
        self.assertEqual(code, 0)
        self.assertLess(seconds, 10)
        for client in clients:
            client.settimeout(5)
            self.assertEqual(client.recv(1), b"")
            client.close()

    def test_a_port_in_use_exits_with_1_and_logs_the_port(self):
        self.switch_log_on()
        port = free_port()
        with socket.socket() as holder:
            holder.bind(("0.0.0.0", port))
            holder.listen(1)
            run = self.run_mapper(str(port))
        self.assertEqual(run.returncode, 1)
        self.assertIn(f"failed to bind to port {port}. (error code = ".encode(), self.log())
        self.assertIn(b"mapper ended....\n", self.log())


class DescriptorExhaustionTest(MapperProcess):
    def test_accept_failing_for_want_of_descriptors_neither_spins_nor_floods_the_log(self):
        self.switch_log_on()
        port = free_port()
        # Room for the standard streams, the log, the listener and three
        # front ends: the fourth waits in the backlog and accept fails.
        limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (8, 8))  # noqa: E731
        server = subprocess.Popen([PROGRAM, str(port)], cwd=self.root, env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  preexec_fn=limit)
        self.servers.append(server)
        self.assertTrue(wait_for(lambda: accepts_connections(port), 10))
        time.sleep(0.5)  # the probe's own session ends first
        clients = [socket.create_connection(("127.0.0.1", port)) for _ in range(4)]
        self.assertTrue(wait_for(lambda: b"failed to accept" in self.log(), 5))
        before = cpu_seconds(server.pid)
        time.sleep(2)
        self.assertLess(cpu_seconds(server.pid) - before, 0.5)
        self.assertEqual(self.log().count(b"failed to accept"), 1)
        clients[0].close()
        clients[3].sendall(b"DLOGIN\nt\nu\np\n127.0.0.1\n%d\n" % free_port())
        clients[3].settimeout(10)
        self.assertEqual(clients[3].recv(3), b"ng\n")
        for client in clients[1:]:
            client.close()
        self.assertEqual(self.stop(server)[0], 0)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class LogSwitchTest(MapperProcess):
    def test_without_a_switch_no_file_is_written(self):
        server = self.serve(free_port())
        self.assertEqual(self.stop(server)[0], 0)
        self.assertFalse(os.path.exists(os.path.join(self.root, "mapper.log")))
        self.assertEqual(os.listdir(os.path.join(self.root, "drive_c")), [])

    def test_marker_file_switches_the_log_on_for_the_whole_life(self):
        self.switch_log_on()
        server = self.serve(free_port())
        self.assertEqual(self.stop(server)[0], 0)
        log = self.log()
        self.assertRegex(log, rb"^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] mapper started\.\.\.\.\n")
        self.assertTrue(log.endswith(b"] mapper ended....\n"), log)
        with open(os.path.join(self.root, "drive_c", "log.log"), "rb") as f:
            note = f.read()
        path = os.path.join(self.root, "mapper.log").encode()
        self.assertRegex(note, rb"^log file name: " + path + rb", fp = [0-9a-f]+\n$")


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("setpriv"), "needs root to be nobody")
class SegmentOwnerTest(MapperProcess):
    """The mapper runs as root; nobody tries to stop it, to hand it a segment
    of its own, and to cut the segment short."""

    def tearDown(self):
        super().tearDown()
        if os.path.exists(SEGMENT):
            os.remove(SEGMENT)

    def nobody_gets_through(self, code):
        return subprocess.run(AS_NOBODY + [code], capture_output=True, timeout=30).returncode == 0

    def test_another_user_cannot_set_the_stop_byte(self):
        server = self.serve(free_port())
        self.assertFalse(self.nobody_gets_through(
            f"f = open({SEGMENT!r}, 'r+b'); f.seek(5); f.write(bytes([1]))"))
        time.sleep(1.5)
        self.assertIsNone(server.poll())
        self.assertEqual(self.stop(server)[0], 0)

    def test_a_segment_made_by_another_user_is_refused(self):
        self.switch_log_on()
        self.assertTrue(self.nobody_gets_through(
            f"import os; fd = os.open({SEGMENT!r}, os.O_RDWR | os.O_CREAT, 0o666); "
            "os.fchmod(fd, 0o666); os.ftruncate(fd, 4096)"))
        server = self.start(str(free_port()))
        self.assertEqual(server.wait(timeout=10), 255)
        self.assertIn(b"failed to get shared memory.\n", self.log())
        self.assertIn(b"vantor_shared_segment", server.stderr.read())

    def test_a_segment_folder_of_its_own_keeps_another_users_segment_out(self):
        self.assertTrue(self.nobody_gets_through(
            f"import os; fd = os.open({SEGMENT!r}, os.O_RDWR | os.O_CREAT, 0o600); "
            "os.ftruncate(fd, 4096)"))
        folder = os.path.join(self.root, "run")
        os.mkdir(folder, 0o700)
        self.env["VNTR_SEGMENT_DIR"] = folder
        server = self.serve(free_port())
        self.assertEqual(self.stop(server)[0], 0)

    def test_a_cut_segment_does_not_end_the_mapper(self):
        server = self.serve(free_port())
        self.assertFalse(self.nobody_gets_through(f"import os; os.truncate({SEGMENT!r}, 0)"))
        os.truncate(SEGMENT, 0)  # its owner still can
        time.sleep(1.5)
        self.assertIsNone(server.poll())
        self.assertEqual(self.stop(server)[0], 0)


def main():
    global PROGRAM
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    known, rest = parser.parse_known_args()
    PROGRAM = os.path.abspath(known.program)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
