#!/usr/bin/env python3
"""The PTR query client against real DNS servers (dnsmasq, unbound), a
server that never answers, and scripted servers that send forged datagrams,
through tests/discovery/discovery_tool; dig against the same server is the
oracle for the names.

Usage: dns_servers_test.py --tool discovery_tool [--wine]
Runs inside the sandbox as root (scripts/sandbox): the servers listen on
port 53 of 127.0.0.1 to 127.0.0.5 there, and the resolver file names
127.0.0.1.
"""
import argparse
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from netutil import wait_for  # noqa: E402

TOOL = None
WINE = False

DNSMASQ = "127.0.0.1"
UNBOUND = "127.0.0.2"
SILENT = "127.0.0.3"
SCRIPTED = "127.0.0.4"
ELSEWHERE = "127.0.0.5"


def run_tool(mode, servers, *addresses):
    """The report bytes, the results of a query run, and the milliseconds the
    calls took inside the tool."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "report")
        target = "Z:" + out.replace("/", "\\") if WINE else out
        command = (["wine"] if WINE else []) + [TOOL, mode, target, servers] + list(addresses)
        run = subprocess.run(command, capture_output=True, timeout=120)
        if run.returncode != 0:
            raise RuntimeError("discovery_tool failed: %r" % (run,))
        with open(out, "rb") as f:
            report = f.read()
    words = [line.split() for line in run.stdout.decode().splitlines()]
    results = [int(w[1]) for w in words if w and w[0] == "result"]
    elapsed = [int(w[1]) for w in words if w and w[0] == "elapsed"][0]
    return report, results, elapsed


def dig_name(server, address):
    run = subprocess.run(["dig", "+short", "+tries=1", "+time=2", "-x", address, "@" + server],
                         capture_output=True, text=True, timeout=30)
    return run.stdout.strip().rstrip(".")


def reverse_name(address):
    labels = address.split(".")[::-1] + ["in-addr", "arpa"]
    return b"".join(bytes([len(l)]) + l.encode() for l in labels) + b"\0"


def wire_name(text):
    return b"".join(bytes([len(l)]) + l.encode() for l in text.split(".")) + b"\0"


def answer_to(query, name=None, rcode=0, qr=True):
    """An answer to query: its question, and a PTR record for name."""
    ident, _flags, _qd = struct.unpack("!HHH", query[:6])
    flags = (0x8180 if qr else 0x0100) | rcode
    records = b""
    if name is not None:
        rdata = wire_name(name)
        records = b"\xc0\x0c" + struct.pack("!HHIH", 12, 1, 3600, len(rdata)) + rdata
    return (struct.pack("!HHHHHH", ident, flags, 1, 1 if name else 0, 0, 0) + query[12:]
            + records)


def rdata_is_compressed(server, address):
    """Whether the server's PTR RDATA for address holds a compression pointer."""
    query = struct.pack("!HHHHHH", 0x4242, 0x0100, 1, 0, 0, 0) + reverse_name(address) + \
        struct.pack("!HH", 12, 1)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(2)
        s.sendto(query, (server, 53))
        answer = s.recv(1024)
    at = answer.index(b"\x00\x0c\x00\x01", len(query)) + 10
    while answer[at] != 0:
        if answer[at] & 0xC0 == 0xC0:
            return True
        at += 1 + answer[at]
    return False


def bound_port(address):
    """True when something listens on UDP port 53 of address."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind((address, 53))
        except OSError:
            return True
        return False


class ScriptedServer:
    """Answers each query on SCRIPTED:53 with script(query, reply), where
    reply(data, source) sends data to the client from source (an address and
    port), and records the queries it received."""

    def __init__(self, script):
        self.script = script
        self.queries = []
        self.sockets = {}
        for source in [(SCRIPTED, 53), (SCRIPTED, 5353), (ELSEWHERE, 53)]:
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind(source)
            self.sockets[source] = s
        self.main = self.sockets[(SCRIPTED, 53)]
        self.main.settimeout(0.2)
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while self.running:
            try:
                query, client = self.main.recvfrom(1024)
            except socket.timeout:
                continue
            self.queries.append(query)
            self.script(query, lambda data, source=(SCRIPTED, 53):
                        self.sockets[source].sendto(data, client))

    def close(self):
        self.running = False
        self.thread.join(5)
        for s in self.sockets.values():
            s.close()


class DnsServersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.servers = []
        cls._start(["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--no-resolv",
                    "--no-hosts", "--no-poll", "--user=root", "--pid-file=",
                    "--listen-address=" + DNSMASQ, "--bind-interfaces", "--port=53",
                    "--ptr-record=77.2.0.192.in-addr.arpa,host77.example.test",
                    "--ptr-record=78.2.0.192.in-addr.arpa,host78.example.test",
                    "--local=/2.0.192.in-addr.arpa/"], DNSMASQ)
        # unbound compresses the PTR name against the question's "arpa".
        config = os.path.join(cls.folder.name, "unbound.conf")
        with open(config, "w") as f:
            f.write("server:\n  interface: %s\n  port: 53\n  do-daemonize: no\n"
                    "  chroot: \"\"\n  username: \"\"\n  directory: \"%s\"\n  pidfile: \"\"\n"
                    "  use-syslog: no\n  logfile: \"\"\n  do-ip6: no\n"
                    "  access-control: 127.0.0.0/8 allow\n  module-config: \"iterator\"\n"
                    "  local-zone: \"2.0.192.in-addr.arpa.\" static\n"
                    "  local-data-ptr: \"192.0.2.88 host88.example.arpa\"\n"
                    "remote-control:\n  control-enable: no\n" % (UNBOUND, cls.folder.name))
        cls._start(["unbound", "-d", "-c", config], UNBOUND)
        cls._start(["socat", "-u", "UDP-RECV:53,bind=" + SILENT, "OPEN:/dev/null"], SILENT)

    @classmethod
    def _start(cls, command, address):
        server = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        cls.servers.append(server)
        if not wait_for(lambda: bound_port(address) or server.poll() is not None, 10) \
                or server.poll() is not None:
            raise RuntimeError("%s did not start: %r" % (command[0], server.stderr.read()))

    @classmethod
    def tearDownClass(cls):
        for server in cls.servers:
            server.terminate()
            server.wait(10)
        cls.folder.cleanup()

    def scripted(self, script):
        server = ScriptedServer(script)
        self.addCleanup(server.close)
        return server

    def test_dnsmasq_answer_gives_the_name_dig_reads(self):
        self.assertFalse(rdata_is_compressed(DNSMASQ, "192.0.2.77"))
        report, _, _ = run_tool("resolve", DNSMASQ, "192.0.2.77")
        self.assertEqual(report, b"Contact DNS server 1 : 127.0.0.1\r\n"
                                 b"Address 192.0.2.77 resolved...\r\n"
                                 b"Hostname : host77.example.test\r\n")
        self.assertEqual(dig_name(DNSMASQ, "192.0.2.77"), "host77.example.test")

    def test_compressed_answer_of_a_server_without_reverse_name(self):
        self.assertTrue(rdata_is_compressed(UNBOUND, "192.0.2.88"))
        with self.assertRaises(OSError):
            socket.gethostbyaddr(UNBOUND)
        report, _, _ = run_tool("resolve", UNBOUND, "192.0.2.88")
        name = dig_name(UNBOUND, "192.0.2.88")
        self.assertEqual(name, "host88.example.arpa")
        self.assertEqual(report, b"Contact DNS server 1 : 127.0.0.2\r\n"
                                 b"Address 192.0.2.88 resolved...\r\n"
                                 b"Hostname : " + name.encode() + b"\r\n")

    def test_three_addresses_report_the_growing_table(self):
        report, _, _ = run_tool("resolve", DNSMASQ, "192.0.2.77", "192.0.2.99", "192.0.2.78")
        contact = b"Contact DNS server 1 : 127.0.0.1\r\n"
        first = b"Address 192.0.2.77 resolved...\r\nHostname : host77.example.test\r\n"
        second = b"Address 192.0.2.99 not resolved\r\n"
        third = b"Address 192.0.2.78 resolved...\r\nHostname : host78.example.test\r\n"
        self.assertEqual(report, contact + first + contact + first + second +
                         contact + first + second + third)

    def test_name_error_fails_without_waiting(self):
        report, _, elapsed = run_tool("resolve", DNSMASQ, "192.0.2.99")
        self.assertEqual(report, b"Contact DNS server 1 : 127.0.0.1\r\n"
                                 b"Address 192.0.2.99 not resolved\r\n")
        self.assertLess(elapsed, 1000)
        status = subprocess.run(["dig", "+tries=1", "-x", "192.0.2.99", "@" + DNSMASQ],
                                capture_output=True, text=True, timeout=30).stdout
        self.assertIn("status: NXDOMAIN", status)

    def test_silent_server_costs_two_seconds_and_no_line(self):
        report, _, elapsed = run_tool("resolve", SILENT, "192.0.2.77")
        self.assertEqual(report, b"Contact DNS server 1 : 127.0.0.3\r\n"
                                 b"Address 192.0.2.77 not resolved\r\n")
        self.assertGreaterEqual(elapsed, 1950)
        self.assertLess(elapsed, 2500)

    def test_second_server_answers_after_a_silent_first(self):
        report, _, elapsed = run_tool("resolve", SILENT + "," + DNSMASQ, "192.0.2.77")
        self.assertEqual(report, b"Contact DNS server 1 : 127.0.0.3\r\n"
                                 b"Contact DNS server 2 : 127.0.0.1\r\n"
                                 b"Address 192.0.2.77 resolved...\r\n"
                                 b"Hostname : host77.example.test\r\n")
        self.assertGreaterEqual(elapsed, 1950)
        self.assertLess(elapsed, 2800)

    def test_server_given_by_name_is_looked_up(self):
        report, results, _ = run_tool("query", "localhost", "192.0.2.77")
        self.assertEqual(results, [0])
        self.assertEqual(report, b"Address 192.0.2.77 resolved...\r\n"
                                 b"Hostname : host77.example.test\r\n")

    def test_forged_datagrams_before_the_answer_are_ignored(self):
        def script(query, reply):
            forged = answer_to(query, "forged.example.test")
            reply(forged, (SCRIPTED, 5353))
            reply(forged, (ELSEWHERE, 53))
            reply(bytes([query[0] ^ 0x01]) + forged[1:])
            reply(answer_to(query[:14] + b"9" + query[15:], "forged.example.test"))
            reply(query)
            reply(answer_to(query, "host77.example.test"))
        self.scripted(script)
        report, results, _ = run_tool("query", SCRIPTED, "192.0.2.77")
        self.assertEqual(results, [0])
        self.assertEqual(report, b"Address 192.0.2.77 resolved...\r\n"
                                 b"Hostname : host77.example.test\r\n")

    def test_forged_datagrams_do_not_stretch_the_wait(self):
        def script(query, reply):
            forged = answer_to(query, "forged.example.test")
            for _ in range(12):
                reply(bytes([query[0] ^ 0x80]) + forged[1:])
                time.sleep(0.2)
        self.scripted(script)
        report, results, elapsed = run_tool("query", SCRIPTED, "192.0.2.77")
        self.assertEqual(results, [-1])
        self.assertNotIn(b"forged", report)
        self.assertGreaterEqual(elapsed, 1950)
        self.assertLess(elapsed, 2500)

    def test_each_query_carries_an_id_of_its_own(self):
        server = self.scripted(lambda query, reply: reply(answer_to(query, rcode=3)))
        addresses = ["192.0.2.%d" % i for i in range(1, 9)]
        _, results, _ = run_tool("query", SCRIPTED, *addresses)
        self.assertEqual(results, [-1] * 8)
        self.assertEqual(len(server.queries), 8)
        self.assertEqual(server.queries[0][2:], struct.pack("!HHHHH", 0x0100, 1, 0, 0, 0) +
                         reverse_name("192.0.2.1") + struct.pack("!HH", 12, 1))
        ids = {query[:2] for query in server.queries}
        self.assertGreaterEqual(len(ids), 7)


def main():
    global TOOL, WINE
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--wine", action="store_true")
    args, rest = parser.parse_known_args()
    TOOL, WINE = args.tool, args.wine
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
