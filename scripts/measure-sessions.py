#!/usr/bin/env python3
"""Measures the native mapper's sessions against inetutils telnetd with real
logins: login latency beside a direct telnet client, 64 concurrent sessions
(log-in time, CPU and memory idle and under output), and the CPU cost of
forwarding beside a socat relay.

Run it through scripts/measure-sessions.sh, which builds the mapper and starts
this inside scripts/sandbox with its own /proc and /dev/shm. Every
connection goes to 127.0.0.1.
"""
import argparse
import os
import re
import socket
import statistics
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "support"))
from netutil import free_port, wait_for  # noqa: E402
from telnet_peers import (TEST_PASSWORD, TEST_USER, InetutilsTelnetd, Mapper,  # noqa: E402
                          listening)
from direct_telnet_client import DirectTelnetClient  # noqa: E402

SLOTS = 64
PROMPT = b"$ "
STEP_LIMIT_S = 120.0
IDLE_S = 10.0
LINES_PER_SESSION = 1000
MIB = 1 << 20
TICKS = os.sysconf("SC_CLK_TCK")


# ---- the mapper's process, seen through /proc ----

def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_mib(pid):
    found = re.search(r"^VmRSS:\s+(\d+) kB", Path(f"/proc/{pid}/status").read_text(), re.M)
    return int(found.group(1)) / 1024


class CpuWindow:
    """CPU of one process over a stretch of wall time."""

    def __init__(self, pid):
        self.pid = pid
        self.cpu0, self.wall0 = cpu_seconds(pid), time.monotonic()

    def close(self):
        self.cpu = cpu_seconds(self.pid) - self.cpu0
        self.wall = time.monotonic() - self.wall0
        return self

    @property
    def percent(self):
        return 100.0 * self.cpu / self.wall


# ---- sessions ----

def mapper_session(mapper, port, timeout=STEP_LIMIT_S):
    front_end = mapper.front_end(timeout)
    if front_end.login(TEST_USER, TEST_PASSWORD, service=port, timeout=timeout) != "ok":
        raise RuntimeError("mapper login failed")
    if front_end.read_until(PROMPT, timeout) is None:
        raise RuntimeError("no shell prompt")
    return front_end


def login_latencies(mapper, port, count):
    through, direct = [], []
    for _ in range(count):
        began = time.monotonic()
        with mapper.front_end() as front_end:
            if front_end.login(TEST_USER, TEST_PASSWORD, service=port) != "ok":
                raise RuntimeError("mapper login failed")
            through.append(time.monotonic() - began)
            front_end.logout("measured")
            front_end.wait_closed(5)
        began = time.monotonic()
        with DirectTelnetClient(port) as client:
            if not client.login(TEST_USER, TEST_PASSWORD):
                raise RuntimeError("direct login failed")
            direct.append(time.monotonic() - began)
    return statistics.median(through), statistics.median(direct)


def drain_until(sock, marker, limit_s):
    """Reads until marker; returns the byte count. Looks only at the tail, so
    megabytes cost no rescans."""
    deadline = time.monotonic() + limit_s
    tail, count = b"", 0
    while marker not in tail:
        left = deadline - time.monotonic()
        if left <= 0:
            raise RuntimeError(f"no {marker!r} within {limit_s} s")
        sock.settimeout(left)
        data = sock.recv(1 << 16)
        if not data:
            raise RuntimeError("connection closed")
        count += len(data)
        tail = (tail + data)[-(len(marker) + len(data)):]
    return count


def run_everywhere(front_ends, command, marker, limit_s):
    def one(front_end):
        front_end.data(command)
        pending, front_end.pending = front_end.pending, b""
        if marker in pending:
            return len(pending)
        return len(pending) + drain_until(front_end.sock, marker, limit_s)
    with ThreadPoolExecutor(len(front_ends)) as pool:
        return sum(pool.map(one, front_ends))


# ---- the socat relay baseline ----

def socat_relay_cpu(total):
    """CPU seconds of `socat -b 65536` relaying total bytes on loopback."""
    sink_port, relay_port = free_port(), free_port()
    sink = socket.socket()
    sink.bind(("127.0.0.1", sink_port))
    sink.listen(1)
    relay = subprocess.Popen(
        ["/usr/bin/time", "-v", "socat", "-b", "65536",
         f"TCP-LISTEN:{relay_port},bind=127.0.0.1,reuseaddr", f"TCP:127.0.0.1:{sink_port}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if not wait_for(lambda: listening(relay_port), 10):
        relay.kill()
        raise RuntimeError("socat did not listen")
    received = []

    def drain():
        conn, _ = sink.accept()
        n = 0
        while True:
            data = conn.recv(1 << 20)
            if not data:
                break
            n += len(data)
        received.append(n)
        conn.close()

    drainer = threading.Thread(target=drain)
    drainer.start()
    block = b"x" * MIB
    began = time.monotonic()
    with socket.create_connection(("127.0.0.1", relay_port)) as source:
        for _ in range(total // MIB):
            source.sendall(block)
    drainer.join(STEP_LIMIT_S)
    wall = time.monotonic() - began
    _, report = relay.communicate(timeout=STEP_LIMIT_S)
    sink.close()
    text = report.decode()
    user = float(re.search(r"User time \(seconds\): ([\d.]+)", text).group(1))
    system = float(re.search(r"System time \(seconds\): ([\d.]+)", text).group(1))
    if received != [total]:
        raise RuntimeError(f"socat relayed {received} of {total} bytes")
    return user + system, wall


# ---- the figures ----

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", default=str(ROOT / "build/native/bin/vntrmap"))
    parser.add_argument("--logins", type=int, default=20)
    parser.add_argument("--forward-mib", type=int, default=20)
    parser.add_argument("--relay-mib", type=int, default=256)
    args = parser.parse_args()

    with InetutilsTelnetd() as server, Mapper(args.program) as mapper:
        pid = mapper.process.pid
        if Path(f"/proc/{pid}/comm").read_text().strip() != "vntrmap":
            raise SystemExit("/proc does not show the mapper: mount this namespace's /proc")
        port = server.port

        through, direct = login_latencies(mapper, port, args.logins)
        print(f"login latency, DLOGIN to \"ok\" through the mapper (median of {args.logins}):"
              f" {through * 1000:.0f} ms")
        print(f"login latency, direct scripted telnet client (median of {args.logins}):"
              f" {direct * 1000:.0f} ms")
        print("  (both include the 100 ms pause before the password is typed)")

        began = time.monotonic()
        with ThreadPoolExecutor(SLOTS) as pool:
            front_ends = list(pool.map(lambda _: mapper_session(mapper, port), range(SLOTS)))
        print(f"64 sessions: all logged in (to the shell prompt) after"
              f" {time.monotonic() - began:.2f} s")

        window = CpuWindow(pid)
        time.sleep(IDLE_S)
        window.close()
        print(f"64 sessions idle {IDLE_S:.0f} s: mapper CPU {window.percent:.2f} % of a core,"
              f" RSS {rss_mib(pid):.1f} MiB, {len(os.listdir(f'/proc/{pid}/task'))} threads")

        window = CpuWindow(pid)
        total = run_everywhere(front_ends, f"seq 1 {LINES_PER_SESSION}; echo lines$((6*7))",
                               b"lines42", STEP_LIMIT_S)
        window.close()
        print(f"64 sessions printing {LINES_PER_SESSION:,} lines each: {window.wall:.2f} s,"
              f" {total / MIB:.2f} MiB forwarded, mapper CPU {window.percent:.1f} % of a core,"
              f" RSS {rss_mib(pid):.1f} MiB")
        for front_end in front_ends:
            front_end.logout("measured")
            front_end.close()

        size = args.forward_mib * MIB
        with mapper_session(mapper, port) as front_end:
            window = CpuWindow(pid)
            forwarded = run_everywhere(
                [front_end], f"head -c {size} /dev/zero | tr '\\0' x; echo; echo fwd$((6*7))",
                b"fwd42", 10 * STEP_LIMIT_S)
            window.close()
            front_end.logout("measured")
        mib = forwarded / MIB
        print(f"forwarding {mib:.1f} MiB through the mapper (one session, no line ends):"
              f" {window.wall:.1f} s, {mib / window.wall:.2f} MiB/s,"
              f" mapper CPU {window.cpu:.2f} s = {window.cpu / mib:.3f} CPU s per MiB")

    cpu, wall = socat_relay_cpu(args.relay_mib * MIB)
    print(f"socat -b 65536 relaying {args.relay_mib} MiB on loopback: {wall:.2f} s,"
          f" CPU {cpu:.2f} s = {cpu / args.relay_mib:.5f} CPU s per MiB")


if __name__ == "__main__":
    main()
