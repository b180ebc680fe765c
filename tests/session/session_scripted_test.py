#!/usr/bin/env python3
"""Sessions against a scripted telnet server: the exact bytes the mapper types
and forwards, its prompt recognition, "Not on system console", and servers
that fail during the login.

Usage: session_scripted_test.py --program vntrmap [unittest arguments]
"""
import time

import session_case
from session_case import MapperCase
from telnet_peers import (IAC, DO, DONT, SB, SE, WILL, WONT, Close, Expect, Quiet,
                          ScriptedTelnetServer, Send, Sleep, pieces)
from netutil import free_port

USER = "u234567890123456789"      # 19 characters: the longest id that fits
PASSWORD = "p234567890123456789"
TYPED = f"{USER}\r\n{PASSWORD}\r\n".encode()
PROMPT = b"testhost login: "
CONSOLE = b"Not on system console"


def login_steps(*after):
    return [Send(PROMPT), Expect(USER.encode() + b"\r\n"), Send(b"Password: "),
            Expect(PASSWORD.encode() + b"\r\n"), *after]


class ScriptedCase(MapperCase):
    log = True

    def serve(self, script):
        return self.enterContext(ScriptedTelnetServer(script))

    def log_in(self, server, front_end=None):
        front_end = front_end or self.front_end()
        self.assertEqual(front_end.login(USER, PASSWORD, service=server.port), "ok",
                         self.explain())
        # "Password:" is recognised at its colon: the space after it is left
        # to the reader, the first byte forwarded.
        self.assertEqual(front_end.read_until(b" ", 5), b" ")
        return front_end

    def script_passed(self, server, index=0, timeout=10.0):
        connection = server.wait_connection(index)
        self.assertIsNotNone(connection, "the mapper never connected")
        self.assertTrue(connection.script_done.wait(timeout), "script still running")
        self.assertIsNone(connection.error, self.explain())
        return connection

    def client_closed(self, connection, timeout=5.0):
        self.assertTrue(connection.finished.wait(timeout), "telnet connection left open")
        self.assertIsNotNone(connection.closed_by_client)


class PromptTest(ScriptedCase):
    def test_prompts_in_pieces_are_answered_with_exact_bytes_and_then_output_flows(self):
        server = self.serve(pieces(PROMPT, 3, 0.03) + [Expect(USER.encode() + b"\r\n")]
                            + pieces(b"Password: ", 2, 0.03)
                            + [Expect(PASSWORD.encode() + b"\r\n"), Send(b"\r\n$ ")])
        front_end = self.log_in(server)
        self.assertEqual(front_end.read_until(b"$ ", 5), b"\r\n$ ")
        self.assertEqual(self.script_passed(server).received, TYPED)

    def test_password_is_typed_a_moment_after_its_prompt(self):
        server = self.serve(login_steps())
        front_end = self.front_end()
        began = time.monotonic()
        self.assertEqual(front_end.login(USER, PASSWORD, service=server.port), "ok")
        self.assertGreaterEqual(time.monotonic() - began, 0.1)

    def test_carriage_return_clears_what_came_before_in_the_line(self):
        server = self.serve([Send(b"log\rin: "), Quiet(1.5), Send(b"\r\nlogin: "),
                             Expect(USER.encode() + b"\r\n"), Send(b"Pass\rword: "), Quiet(1.5),
                             Send(b"\r\npassword: "), Expect(PASSWORD.encode() + b"\r\n")])
        self.log_in(server)
        self.assertEqual(self.script_passed(server).received, TYPED)

    def test_each_prompt_is_answered_once_per_connection(self):
        notice = b"\r\nLast login: Mon Dec  7 07:00:00 on pts/1 login: \r\nPassword: "
        server = self.serve([Send(b"Login ID: "), Expect(USER.encode() + b"\r\n"),
                             Send(b"\r\nLogin incorrect\r\nlogin: "), Quiet(1.5),
                             Send(b"password: "), Expect(PASSWORD.encode() + b"\r\n"),
                             Send(notice), Quiet(1.5)])
        front_end = self.log_in(server)
        self.assertEqual(front_end.read_until(b"Password: ", 5), notice)
        self.assertEqual(self.script_passed(server).received, TYPED)

    def test_a_long_line_before_the_prompt_does_not_hide_it(self):
        # No CR: the prompt ends a banner longer than the line's room.
        server = self.serve([Send(b"x" * 3000), *login_steps()])
        self.log_in(server)
        self.assertEqual(self.script_passed(server).received, TYPED)

    def test_overlong_fields_are_cut_and_the_password_never_reaches_the_log(self):
        server = self.serve(login_steps())
        front_end = self.front_end()
        reply = front_end.login(USER + "tail", PASSWORD + "tail", service=server.port)
        self.assertEqual(reply, "ok", self.explain())
        self.assertEqual(self.script_passed(server).received, TYPED)
        log = self.mapper.log_text()
        self.assertRegex(log, r"\] \*{8}\r?\n")
        self.assertNotIn(PASSWORD, log)


class RequestTest(ScriptedCase):
    def test_data_lines_are_typed_and_logout_closes_both_connections(self):
        server = self.serve(login_steps(Expect(b"ls\r\n"), Send(b"a  b\r\n$ ")))
        front_end = self.log_in(server)
        front_end.data("echo one")
        # An LF as the first byte of a line is text: this types CR LF, "ls".
        front_end.sock.sendall(b"DDATA\n\nls\n")
        self.assertEqual(front_end.read_until(b"$ ", 5), b"a  b\r\n$ ")
        front_end.logout("bye")
        self.assertTrue(front_end.wait_closed(3))
        self.assertEqual(front_end.pending, b"")
        connection = self.script_passed(server)
        self.client_closed(connection, 3)
        self.assertEqual(connection.received, TYPED + b"echo one\r\n\r\nls\r\n")

    def test_request_words_match_by_prefix_and_other_lines_are_ignored(self):
        server = self.serve(login_steps(Expect(b"two\r\n")))
        front_end = self.log_in(server)
        front_end.send_lines("LOGIN", "hello", "ddata123", "echo two")
        connection = self.script_passed(server)
        front_end.send_lines("dlogoutnow", "x")
        self.assertTrue(front_end.wait_closed(3))
        self.assertEqual(front_end.pending, b"")
        self.assertEqual(connection.received, TYPED + b"echo two\r\n")

    def test_crlf_line_ends_type_a_carriage_return_before_the_line_end(self):
        server = self.serve([Send(PROMPT), Expect(b"user\r\r\n"), Send(b"Password: "),
                             Expect(b"secret\r\r\n")])
        front_end = self.front_end()
        front_end.sock.sendall(b"dlogin\r\ntag\r\nuser\r\nsecret\r\n127.0.0.1\n%d\n" % server.port)
        self.assertEqual(front_end.reply(), "ok")
        self.assertEqual(self.script_passed(server).received, b"user\r\r\nsecret\r\r\n")

    def test_refused_requests_answer_ng_and_end_the_session(self):
        server = self.serve(login_steps())
        with self.subTest("DDATA before any login"):
            front_end = self.front_end()
            front_end.data("ls")
            self.assertEqual(front_end.reply(3), "ng")
            self.assertTrue(front_end.wait_closed(3))
        with self.subTest("a second DLOGIN"):
            front_end = self.log_in(server)
            self.assertEqual(front_end.login(USER, PASSWORD, service=server.port), "ng")
            self.assertTrue(front_end.wait_closed(3))
            self.client_closed(self.script_passed(server), 3)

    def test_unreachable_server_gives_ng_and_closes(self):
        front_end = self.front_end()
        self.assertEqual(front_end.login(USER, PASSWORD, service=free_port()), "ng")
        self.assertTrue(front_end.wait_closed(3))


class NotOnSystemConsoleTest(ScriptedCase):
    def test_during_login_gives_ng_and_ends_the_session(self):
        server = self.serve([Send(PROMPT), Expect(USER.encode() + b"\r\n"),
                             *pieces(b"\r\n" + CONSOLE, 4, 0.02)])
        front_end = self.front_end()
        self.assertEqual(front_end.login(USER, PASSWORD, service=server.port), "ng")
        self.assertTrue(front_end.wait_closed(3))
        connection = self.script_passed(server)
        self.client_closed(connection, 3)
        self.assertEqual(connection.received, USER.encode() + b"\r\n")

    def test_in_forwarded_output_ends_the_session_without_ng(self):
        server = self.serve(login_steps(Sleep(0.2), Send(b"hello\r\n" + CONSOLE + b" now\r\n")))
        front_end = self.log_in(server)
        self.assertTrue(front_end.wait_closed(5), self.explain())
        self.assertEqual(front_end.pending, b"hello\r\n" + CONSOLE + b" now\r\n")
        self.client_closed(self.script_passed(server), 3)

    def test_in_a_data_line_gives_ng_and_nothing_is_typed(self):
        server = self.serve(login_steps())
        front_end = self.log_in(server)
        front_end.data(b"echo " + CONSOLE)
        self.assertEqual(front_end.reply(5), "ng")
        self.assertTrue(front_end.wait_closed(3))
        connection = self.script_passed(server)
        self.client_closed(connection, 3)
        self.assertEqual(connection.received, TYPED)


class ForwardingTest(ScriptedCase):
    def test_output_is_forwarded_unchanged_but_for_nul_after_cr(self):
        rest = bytes([IAC, WILL, 1, IAC, DO, 24]) + b"\x1b[H\xfe\r\n"
        server = self.serve(login_steps(Sleep(0.2), Send(b"a\r\x00b\x00c\r\n" + rest),
                                        Quiet(1.5)))
        front_end = self.log_in(server)
        self.assertEqual(front_end.read_until(b"\xfe\r\n", 5), b"a\rb\x00c\r\n" + rest)
        # After the login nothing is negotiated: the commands went through.
        self.assertEqual(self.script_passed(server).received, TYPED)


    def test_server_ending_the_session_closes_the_front_end_after_its_last_output(self):
        server = self.serve(login_steps(Sleep(0.2), Send(b"bye\r\n"), Close()))
        front_end = self.log_in(server)
        self.assertTrue(front_end.wait_closed(3))
        self.assertEqual(front_end.pending, b"bye\r\n")

    def test_front_end_leaving_closes_the_telnet_connection(self):
        server = self.serve(login_steps())
        self.log_in(server).close()
        self.client_closed(self.script_passed(server), 3)


class NegotiationTest(ScriptedCase):
    OFFERS = bytes([IAC, DO, 24, IAC, DO, 31, IAC, DO, 35, IAC, DO, 39, IAC, DO, 36,
                    IAC, WILL, 1, IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 200, IAC, DONT, 1])
    ANSWERS = bytes([IAC, WILL, 24, IAC, WILL, 31, IAC, SB, 31, 0, 80, 0, 25, IAC, SE,
                     IAC, WILL, 35, IAC, WILL, 39, IAC, WONT, 36,
                     IAC, DO, 1, IAC, DO, 3, IAC, WONT, 3, IAC, DONT, 200, IAC, WONT, 1])
    SUBS = bytes([IAC, SB, 24, 1, IAC, SE, IAC, SB, 35, 1, IAC, SE,
                  IAC, SB, 39, 1, 0, 85, 83, 69, 82, IAC, SE])
    SUB_ANSWERS = (bytes([IAC, SB, 24, 0]) + b"vt100" + bytes([IAC, SE, IAC, SB, 35, 0])
                   + b":0.0" + bytes([IAC, SE, IAC, SB, 39, 0, IAC, SE]))

    def test_server_sees_a_vt100_of_80_by_25_and_one_environment_option_per_process(self):
        first = self.serve([Send(self.OFFERS), Expect(self.ANSWERS), Send(self.SUBS),
                            Expect(self.SUB_ANSWERS), *login_steps()])
        self.log_in(first)
        self.assertEqual(self.script_passed(first).received,
                         self.ANSWERS + self.SUB_ANSWERS + TYPED)

        refused = bytes([IAC, WONT, 39, IAC, WONT, 36])
        second = self.serve([Send(bytes([IAC, DO, 39, IAC, DO, 36])), Expect(refused),
                             *login_steps()])
        self.log_in(second)
        self.assertEqual(self.script_passed(second).received, refused + TYPED)


class FailingServerTest(ScriptedCase):
    def test_server_closing_during_login_is_answered_promptly(self):
        cases = {"before any byte": [Close()],
                 "after the user id": [Send(PROMPT), Expect(USER.encode() + b"\r\n"), Close()]}
        for name, script in cases.items():
            with self.subTest(name), ScriptedTelnetServer(script) as server:
                front_end = self.front_end()
                began = time.monotonic()
                self.assertIn(front_end.login(USER, PASSWORD, service=server.port, timeout=10),
                              ("ng", "closed"))
                self.assertTrue(front_end.wait_closed(5))
                self.assertLess(time.monotonic() - began, 5.0)


if __name__ == "__main__":
    session_case.main()
