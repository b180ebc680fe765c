#!/usr/bin/env python3
"""The CPU cost of forwarding: the mapper beside a floor relay of its own
design (tests/tools/floor_relay.cpp: per byte one readiness wait of up to a
second, a one-byte receive and a one-byte send, 10 ms after each line), both
fed the same stream by the same server in the same run: --mib MiB in lines
of 2047 characters and a LF. The mapper streams it after a login, as one
session's output; the relay at once. The two take turns for --rounds rounds;
the least CPU of each counts. Prints the CPU seconds per MiB of each and
their ratio. With --wine both are the Windows programs under Wine, and
the wineserver's CPU in each window is shown beside the program's own.

Run it through scripts/measure-forwarding.sh, which builds the programs and
starts this inside scripts/sandbox. Every connection goes to 127.0.0.1.
"""
import argparse
import os
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "support"))
from netutil import free_port, wait_for  # noqa: E402
from telnet_peers import Mapper, listening  # noqa: E402

MIB = 1 << 20
LINE = b"x" * 2047 + b"\n"
TICKS = os.sysconf("SC_CLK_TCK")
READY_LIMIT_S = 30.0


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def wineserver_pids():
    found = []
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and (entry / "comm").read_text().startswith("wineserver"):
                found.append(int(entry.name))
        except OSError:
            pass
    return found


class CpuWindow:
    """CPU of the measured process, and of the wineserver, over a stretch."""

    def __init__(self, pid, wine):
        self.pid = pid
        self.servers = wineserver_pids() if wine else []
        self.start = self.sample()

    def sample(self):
        return (cpu_seconds(self.pid), sum(cpu_seconds(p) for p in self.servers),
                time.monotonic())

    def close(self):
        end = self.sample()
        self.own, self.server, self.wall = (b - a for a, b in zip(self.start, end))
        return self


class StreamServer:
    """Serves the stream on loopback, once per connection. With login=True
    it first prompts for a user id and a password and waits for "go" typed
    into the session, as a telnet server would for a command. It closes the
    connection after the stream, which ends the session or the relay."""

    def __init__(self, size, login):
        self.size, self.login = size, login
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        conn, _ = self.listener.accept()
        with conn, conn.makefile("rb") as typed:
            if self.login:
                conn.sendall(b"login: ")
                typed.readline()
                conn.sendall(b"Password: ")
                typed.readline()
                while typed.readline() not in (b"go\r\n", b""):
                    pass
            conn.sendall(LINE * (self.size // len(LINE)))


def receive(sock, count, limit_s):
    left, deadline = count, time.monotonic() + limit_s
    while left > 0:
        sock.settimeout(max(0.1, deadline - time.monotonic()))
        data = sock.recv(1 << 16)
        if not data or time.monotonic() > deadline:
            raise RuntimeError(f"stream ended {left} bytes short")
        left -= len(data)


def through_mapper(args, size):
    server = StreamServer(size, login=True)
    with Mapper(args.mapper, wine=args.wine) as mapper:
        with mapper.front_end(READY_LIMIT_S) as front_end:
            if front_end.login("bench", "bench", service=server.port,
                               timeout=READY_LIMIT_S) != "ok":
                raise RuntimeError("the mapper did not log in")
            window = CpuWindow(mapper.process.pid, args.wine)
            front_end.data("go")
            receive(front_end.sock, size - len(front_end.pending), args.limit)
            window.close()
    return window


def through_floor_relay(args, size):
    server = StreamServer(size, login=False)
    port = free_port()
    argv = ["wine"] if args.wine else []
    relay = subprocess.Popen(argv + [args.relay, str(port), str(server.port)],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    try:
        if not wait_for(lambda: listening(port) or relay.poll() is not None, READY_LIMIT_S):
            raise RuntimeError("the floor relay did not listen")
        window = CpuWindow(relay.pid, args.wine)
        with socket.create_connection(("127.0.0.1", port)) as client:
            receive(client, size, args.limit)
            window.close()
        relay.wait(timeout=READY_LIMIT_S)
    finally:
        if relay.poll() is None:
            relay.kill()
            relay.wait()
    return window


def report(label, window, mib, wine):
    line = (f"  {label:<12} CPU {window.own:7.2f} s = {window.own / mib:6.3f} CPU s per MiB,"
            f" wall {window.wall:6.1f} s")
    if wine:
        line += (f"; with the wineserver {window.own + window.server:7.2f} s ="
                 f" {(window.own + window.server) / mib:6.3f} CPU s per MiB")
    print(line)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mapper", required=True)
    parser.add_argument("--relay", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--mib", type=float, default=4)
    parser.add_argument("--rounds", type=int, default=2,
                        help="streams through each, taken in turn; the least CPU counts")
    parser.add_argument("--limit", type=float, default=1800.0, help="seconds per stream")
    args = parser.parse_args()

    size = int(args.mib * MIB) // len(LINE) * len(LINE)
    mappers, relays = [], []
    for _ in range(args.rounds):
        mappers.append(through_mapper(args, size))
        relays.append(through_floor_relay(args, size))
    # The machine's other load only ever adds: the quietest round is the cost.
    mapper = min(mappers, key=lambda w: w.own + w.server)
    relay = min(relays, key=lambda w: w.own + w.server)
    where = "vntrmap.exe and floor_relay.exe under Wine" if args.wine else "native"
    print(f"forwarding {args.mib:g} MiB in lines of {len(LINE)} bytes, {where}"
          f" (the least CPU of {args.rounds} rounds each):")
    report("mapper", mapper, args.mib, args.wine)
    report("floor relay", relay, args.mib, args.wine)
    print(f"  ratio mapper / floor relay: {mapper.own / relay.own:.2f}", end="")
    if args.wine:
        print(f" (with the wineserver: "
              f"{(mapper.own + mapper.server) / (relay.own + relay.server):.2f})", end="")
    print()


if __name__ == "__main__":
    main()
