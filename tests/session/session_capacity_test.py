#!/usr/bin/env python3
"""64 sessions logged in at once to a real telnet server through one mapper;
a 65th connection is closed at once, and a slot freed by a logout serves the
next front end.

Usage: session_capacity_test.py --program vntrmap [unittest arguments]
"""
import time
from concurrent.futures import ThreadPoolExecutor

import session_case
from session_case import MapperCase
from telnet_peers import TEST_PASSWORD, TEST_USER, InetutilsTelnetd

SLOTS = 64
LOGIN_LIMIT_S = 60.0
REUSE_LIMIT_S = 5.0


class CapacityTest(MapperCase):
    def test_64_sessions_run_at_once_and_a_65th_connection_is_closed(self):
        server = self.enterContext(InetutilsTelnetd())
        front_ends = [self.front_end(timeout=LOGIN_LIMIT_S) for _ in range(SLOTS)]
        began = time.monotonic()
        with ThreadPoolExecutor(SLOTS) as pool:
            replies = list(pool.map(
                lambda f: f.login(TEST_USER, TEST_PASSWORD, service=server.port,
                                  timeout=LOGIN_LIMIT_S), front_ends))
        self.assertEqual(replies, ["ok"] * SLOTS)
        self.assertLess(time.monotonic() - began, LOGIN_LIMIT_S)

        for i, front_end in enumerate(front_ends):
            self.assertIsNotNone(front_end.read_until(b"$ ", 20), i)
            front_end.data(f"echo s{i}x$((1+{i}))")
        for i, front_end in enumerate(front_ends):
            self.assertIsNotNone(front_end.read_until(f"s{i}x{i + 1}\r\n", 20), i)

        extra = self.front_end()
        self.assertTrue(extra.wait_closed(3), "the 65th connection was held open")

        front_ends[0].logout("done")
        self.assertTrue(front_ends[0].wait_closed(3))
        self.assertEqual(self.login_when_a_slot_is_free(server.port), "ok")

        front_ends[1].data("echo still$((2*21))")
        self.assertIsNotNone(front_ends[1].read_until("still42", 10))

    def login_when_a_slot_is_free(self, port):
        deadline = time.monotonic() + REUSE_LIMIT_S
        reply = "closed"
        while reply == "closed" and time.monotonic() < deadline:
            reply = self.front_end().login(TEST_USER, TEST_PASSWORD, service=port)
            if reply == "closed":
                time.sleep(0.2)
        return reply


if __name__ == "__main__":
    session_case.main()
