#!/usr/bin/env python3
"""Measures the native mapper's idle cost, leaks over connect/close cycles,
and the time a -stop takes.

Run it through scripts/measure-foundation.sh, which builds the mapper and
starts this inside scripts/sandbox with a private /dev/shm, so the
stop byte never reaches a mapper outside. Every connection goes to 127.0.0.1.
"""

import argparse
import os
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

MAPPER = Path(__file__).resolve().parent.parent / "build/native/bin/vntrmap"
SLOT_COUNT = 64
CPU_GOAL_PERCENT = 0.5
READY_LIMIT_S = 10.0
SETTLE_LIMIT_S = 15.0
CYCLE_LIMIT_S = 120.0
CYCLE_REPLY_LIMIT_S = 5.0
EXIT_LIMIT_S = 30.0
POLL_S = 0.05
TCP_LISTEN_STATE = "0A"


# ---- the mapper's process, seen through /proc ----

def status_field(status_text, name):
    for line in status_text.splitlines():
        if line.startswith(name + ":"):
            return line.split(":", 1)[1].split()
    return []


def read_status(pid):
    return Path(f"/proc/{pid}/status").read_text()


def proc_pid(ns_pid):
    """The number /proc knows a child by: the two differ when a new PID
    namespace keeps the outer /proc."""
    own = status_field(read_status("self"), "NSpid")
    if len(own) <= 1:
        return ns_pid
    own_namespace = os.readlink("/proc/self/ns/pid")
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            ids = status_field(read_status(entry), "NSpid")
            if (len(ids) == len(own) and int(ids[-1]) == ns_pid
                    and os.readlink(f"/proc/{entry}/ns/pid") == own_namespace):
                return int(entry)
        except (OSError, ValueError):
            continue
    raise RuntimeError(f"process {ns_pid} not found in /proc")


def cpu_ticks(pid):
    stat = Path(f"/proc/{pid}/stat").read_text()
    fields = stat.rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def thread_count(pid):
    return int(status_field(read_status(pid), "Threads")[0])


def resident_kib(pid):
    return int(status_field(read_status(pid), "VmRSS")[0])


def open_fd_count(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def is_listening(pid, port):
    wanted = f":{port:04X}"
    for line in Path(f"/proc/{pid}/net/tcp").read_text().splitlines()[1:]:
        fields = line.split()
        if fields[1].endswith(wanted) and fields[3] == TCP_LISTEN_STATE:
            return True
    return False


def wait_until(condition, limit_s):
    deadline = time.monotonic() + limit_s
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(POLL_S)
    return condition()


# ---- starting and stopping the mapper ----

def free_port():
    for _ in range(20):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        if port >= 5000:
            return port
    raise RuntimeError("no free port at or above 5000")


class Mapper:
    """A serving mapper in a scratch folder of its own."""

    def __init__(self, scratch):
        self.scratch = Path(scratch)
        self.root = self.scratch / "root"
        (self.root / "drive_c").mkdir(parents=True)
        self.env = dict(os.environ, VNTR_ROOT=str(self.root))
        self.port = free_port()
        self.console = open(self.scratch / "console.txt", "wb")
        self.process = subprocess.Popen(
            [str(MAPPER), str(self.port)], cwd=self.scratch, env=self.env,
            stdin=subprocess.DEVNULL, stdout=self.console, stderr=subprocess.STDOUT)

    def wait_ready(self):
        self.pid = proc_pid(self.process.pid)
        if Path(f"/proc/{self.pid}/comm").read_text().strip() != MAPPER.name:
            raise RuntimeError(f"/proc/{self.pid} is not the mapper")
        if not wait_until(lambda: is_listening(self.pid, self.port), READY_LIMIT_S):
            raise RuntimeError(f"mapper not listening on {self.port}: {self.console_text()}")
        self.base_threads = thread_count(self.pid)

    def console_text(self):
        return (self.scratch / "console.txt").read_text(errors="replace").strip()

    def threads_settle(self, expected):
        return wait_until(lambda: thread_count(self.pid) == expected, SETTLE_LIMIT_S)

    def send_stop(self):
        return subprocess.run([str(MAPPER), "-stop"], cwd=self.scratch, env=self.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=EXIT_LIMIT_S).returncode

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.console.close()


def run_with_mapper(measurement):
    with tempfile.TemporaryDirectory(prefix="measure-") as scratch:
        mapper = Mapper(scratch)
        try:
            mapper.wait_ready()
            return measurement(mapper)
        finally:
            mapper.kill()


def open_idle_connections(mapper, count):
    clients = [socket.create_connection(("127.0.0.1", mapper.port), timeout=5)
               for _ in range(count)]
    if not mapper.threads_settle(mapper.base_threads + count):
        raise RuntimeError(f"mapper did not start {count} workers")
    return clients


def close_all(clients):
    for client in clients:
        client.close()


# ---- the measurements ----

def cpu_percent(pid, window_s):
    before_ticks, before_time = cpu_ticks(pid), time.monotonic()
    time.sleep(window_s)
    used = cpu_ticks(pid) - before_ticks
    elapsed = time.monotonic() - before_time
    return 100.0 * used / os.sysconf("SC_CLK_TCK") / elapsed, used, elapsed


def measure_idle(mapper, window_s):
    idle = cpu_percent(mapper.pid, window_s)
    clients = open_idle_connections(mapper, SLOT_COUNT)
    try:
        busy = cpu_percent(mapper.pid, window_s)
        return idle, busy, resident_kib(mapper.pid), thread_count(mapper.pid)
    finally:
        close_all(clients)


def footprint(mapper):
    return open_fd_count(mapper.pid), thread_count(mapper.pid), resident_kib(mapper.pid)


def one_cycle(port):
    """Connects, sends FIN, and waits until the mapper's worker closes its
    side too: each cycle then runs a whole session, and the mapper never
    falls behind its backlog of 5."""
    with socket.create_connection(("127.0.0.1", port), timeout=CYCLE_REPLY_LIMIT_S) as client:
        client.shutdown(socket.SHUT_WR)
        try:
            return client.recv(1) == b""
        except (socket.timeout, ConnectionResetError):
            return False


def measure_cycles(mapper, count):
    before = footprint(mapper)
    deadline = time.monotonic() + CYCLE_LIMIT_S
    started = time.monotonic()
    done = served = 0
    while done < count and time.monotonic() < deadline:
        served += one_cycle(mapper.port)
        done += 1
    elapsed = time.monotonic() - started
    mapper.threads_settle(before[1])
    wait_until(lambda: open_fd_count(mapper.pid) == before[0], SETTLE_LIMIT_S)
    return before, footprint(mapper), done, served, elapsed


def measure_stop(mapper, connections):
    clients = open_idle_connections(mapper, connections)
    try:
        started = time.monotonic()
        stop_code = mapper.send_stop()
        exit_code = mapper.process.wait(timeout=EXIT_LIMIT_S)
        return time.monotonic() - started, exit_code, stop_code
    finally:
        close_all(clients)


# ---- the report ----

def cpu_line(label, figures):
    percent, ticks, elapsed = figures
    verdict = "met" if percent < CPU_GOAL_PERCENT else "MISSED"
    tick_percent = 100.0 / os.sysconf("SC_CLK_TCK") / elapsed
    return (f"  {label:<26} {percent:5.2f} % of one core "
            f"({ticks} tick{'' if ticks == 1 else 's'} in {elapsed:.1f} s, one tick = "
            f"{tick_percent:.2f} %)   goal: under {CPU_GOAL_PERCENT} % - {verdict}")


def report_idle(window_s):
    idle, busy, rss_kib, threads = run_with_mapper(lambda m: measure_idle(m, window_s))
    print(f"1. Idle serving mapper, {window_s:g} s windows")
    print(cpu_line("0 connections:", idle))
    print(cpu_line(f"{SLOT_COUNT} idle connections:", busy))
    print(f"  with {SLOT_COUNT} connections: resident memory {rss_kib} KiB, {threads} threads")


def report_cycles(count):
    before, after, done, served, elapsed = run_with_mapper(lambda m: measure_cycles(m, count))
    print(f"2. Connect/close cycles: {done} of {count} run in {elapsed:.2f} s "
          f"(limit {CYCLE_LIMIT_S:g} s), {served} closed by the mapper in turn")
    print(f"  open descriptors  before {before[0]:>5}   after {after[0]:>5}")
    print(f"  threads           before {before[1]:>5}   after {after[1]:>5}")
    print(f"  resident memory   before {before[2]:>5}   after {after[2]:>5} KiB")
    leaked = before[:2] != after[:2]
    print("  LEAKED: descriptors or threads differ" if leaked else "  nothing leaked")


def report_stop():
    print("3. From launching 'vntrmap -stop' to the mapper's exit")
    for connections in (0, SLOT_COUNT):
        seconds, exit_code, stop_code = run_with_mapper(lambda m: measure_stop(m, connections))
        verdict = "ok" if exit_code == 0 else "NOT 0"
        note = "" if stop_code == 0 else f", -stop itself exited {stop_code}"
        print(f"  {connections:>2} connections: {seconds:5.2f} s, "
              f"exit code {exit_code} ({verdict}){note}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true",
                        help="2 s idle windows and 200 cycles, for a fast self-check")
    options = parser.parse_args()
    if os.environ.get("VNTR_SANDBOX") != "1":
        sys.exit("run me through scripts/measure-foundation.sh (inside scripts/sandbox)")
    if not os.access(MAPPER, os.X_OK):
        sys.exit(f"no mapper at {MAPPER}: build the native preset first")
    window_s, cycles = (2.0, 200) if options.quick else (10.0, 2000)
    report_idle(window_s)
    report_cycles(cycles)
    report_stop()


if __name__ == "__main__":
    main()
