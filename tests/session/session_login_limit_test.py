#!/usr/bin/env python3
"""A telnet server that never prompts: the mapper gives up the login after its
time limit (loginLimitMs in mapper/timing.h) with "ng" and ends the session.
It takes that long, so it has a test of its own.

Usage: session_login_limit_test.py --program vntrmap [unittest arguments]
"""
import os
import re
import time

import session_case
from session_case import MapperCase
from telnet_peers import ScriptedTelnetServer, Send


def login_limit_seconds():
    timing = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "mapper",
                          "timing.h")
    with open(timing) as f:
        found = re.search(r"loginLimitMs\s*=\s*(\d+)", f.read())
    return int(found.group(1)) / 1000 if found else 60.0


class LoginLimitTest(MapperCase):
    def test_server_that_never_prompts_gets_ng_after_the_limit(self):
        limit = login_limit_seconds()
        server = self.enterContext(ScriptedTelnetServer([Send(b"Welcome\r\n")]))
        front_end = self.front_end()
        began = time.monotonic()
        self.assertEqual(front_end.login("user", "secret", service=server.port,
                                         timeout=limit + 15), "ng")
        took = time.monotonic() - began
        self.assertGreater(took, limit - 1.5)
        self.assertLess(took, limit + 5)
        self.assertTrue(front_end.wait_closed(3))
        connection = server.connections[0]
        self.assertTrue(connection.finished.wait(3), "telnet connection left open")
        self.assertEqual(connection.received, b"")


if __name__ == "__main__":
    session_case.main()
