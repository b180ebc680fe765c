#!/usr/bin/env python3
"""SubmitMail against Debian's aiosmtpd with STARTTLS, implicit TLS and AUTH
and against a scripted server; certificates from a CA made here, trusted in
place of the system's roots (OpenSSL's SSL_CERT_FILE, or Wine's crypt32).
Usage: mail_submission_test.py --tool mail_tool [--wine], in the sandbox.
"""
import os
import re
import socket
import sys
import tempfile
import threading
import unittest

from aiosmtpd.smtp import AuthResult, LoginPassword

import mail_dialogue_test
from mail_dialogue_test import (BODY, SENDER, SUBJECT, DialogueTest, Handler,
                                RecordingController, sjis)
from mail_tool_runner import run_tests

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from netutil import free_port  # noqa: E402
from test_ca import TestCa  # noqa: E402
from wine_tls import run_with_own_wine, trust_in_wine  # noqa: E402

TOOL = None
USER = "taro"
PASSWORD = "p\u00e4ssw\u00f6rd \u79d8\u5bc6"  # sent as UTF-8
NONE, STARTTLS, TLS = 0, 1, 2
EHLO = b"EHLO example.test\r\n"


def authenticate(server, session, envelope, mechanism, data):
    server.event_handler.mechanisms.append(mechanism)
    accepted = isinstance(data, LoginPassword) and (data.login, data.password) == (
        USER.encode(), PASSWORD.encode())
    return AuthResult(success=accepted, handled=False)  # aiosmtpd then answers 535 itself


def inject_around_starttls(listener, context, inside):
    """Answers STARTTLS with "220 ready" and "250 injected" in one segment;
    inside TLS refuses every command but QUIT, noting each."""
    connection, _ = listener.accept()
    with connection:
        lines = connection.makefile("rb")
        for reply in (b"220 scripted\r\n", b"250-scripted\r\n250 STARTTLS\r\n"):
            connection.sendall(reply)
            lines.readline()
        connection.sendall(b"220 ready\r\n250 injected\r\n")
        with context.wrap_socket(connection, server_side=True) as tls:
            for line in tls.makefile("rb"):
                inside.append(line.rstrip(b"\r\n"))
                if line.startswith(b"QUIT"):
                    break
                tls.sendall(b"554 not here\r\n")


class SubmissionTest(DialogueTest):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.ca = TestCa(cls.folder.name)
        cls.unknown_ca = TestCa(cls.folder.name, "Unknown CA")
        if TOOL.wine:
            trust_in_wine(cls.ca.path, cls.folder.name)
            return
        TOOL.environment = dict(os.environ, SSL_CERT_FILE=cls.ca.path, SSL_CERT_DIR="/none")

    @classmethod
    def tearDownClass(cls):
        TOOL.environment = None
        cls.folder.cleanup()

    def server(self, security=STARTTLS, context=None, **options):
        context = context or self.ca.server_context()
        if security == TLS:
            # aiosmtpd counts only STARTTLS as TLS for AUTH.
            options.update(ssl_context=context, auth_require_tls=False)
        elif security == STARTTLS:
            options.update(tls_context=context, require_starttls=True)
        options.setdefault("auth_required", True)
        handler = Handler()
        handler.mechanisms = []
        controller = RecordingController(handler, self.port, authenticator=authenticate, **options)
        controller.start()
        self.addCleanup(controller.stop)
        return controller, handler

    def submit(self, security, server=None, **submission):
        submission = dict(dict(user=USER, password=PASSWORD, security=security), **submission)
        return TOOL.submit(submission,
                           server or "localhost:%d" % self.port, sjis(SENDER),
                           b"hanako@localhost", b"", sjis(SUBJECT), sjis(BODY))[0]

    def test_starttls_and_auth_plain_deliver_and_a_wrong_password_is_named(self):
        _, handler = self.server(auth_exclude_mechanism=["LOGIN"])
        self.assertEqual(self.submit(STARTTLS, password="wrong"), "login")
        self.assertEqual(self.submit(STARTTLS), "sent")
        self.assertEqual(handler.mechanisms, ["PLAIN", "PLAIN"])
        self.assertEqual([m.rcpt_tos for m in handler.messages], [["hanako@localhost"]])

    def test_implicit_tls_and_auth_login_deliver(self):
        _, handler = self.server(TLS, auth_exclude_mechanism=["PLAIN"])
        self.assertEqual(self.submit(TLS, server="smtps://localhost:%d/" % self.port), "sent")
        self.assertEqual(handler.mechanisms, ["LOGIN"])
        self.assertEqual(len(handler.messages), 1)

    def test_a_certificate_that_does_not_hold_fails_before_anything_goes_inside(self):
        for case, context in (("other name", self.ca.server_context("other.example.test")),
                              ("expired", self.ca.server_context(expired=True)),
                              ("unknown root", self.unknown_ca.server_context())):
            with self.subTest(case):
                self.port = free_port()
                controller, _ = self.server(context=context)
                self.assertEqual(self.submit(STARTTLS), "certificate")
                self.assertEqual(bytes(controller.record), EHLO + b"STARTTLS\r\n")

    def test_a_server_without_starttls_gets_nothing_after_ehlo(self):
        controller, _ = self.server(NONE, auth_required=False)
        self.assertEqual(self.submit(STARTTLS), "encryption")
        self.assertEqual(bytes(controller.record), EHLO)

    def test_a_reply_injected_before_the_handshake_is_never_read_inside_tls(self):
        inside = []
        listener = socket.create_server(("127.0.0.1", self.port))
        listener.settimeout(30)
        server = threading.Thread(target=inject_around_starttls,
                                  args=(listener, self.ca.server_context(), inside))
        server.start()
        self.assertEqual(self.submit(STARTTLS, user=""), "failed")
        server.join(30)
        listener.close()
        self.assertEqual(inside, [b"EHLO example.test", b"QUIT"])

    def test_the_password_goes_only_inside_tls_or_where_the_user_chose_no_encryption(self):
        controller, _ = self.server(NONE, auth_require_tls=False, auth_required=False)
        self.assertEqual(self.submit(NONE), "clear-password")
        self.assertNotIn(b"AUTH", bytes(controller.record))
        self.assertEqual(self.submit(NONE, clear=True), "sent")
        self.port = free_port()
        controller, _ = self.server(auth_exclude_mechanism=["PLAIN", "LOGIN"],
                                    auth_required=False)
        self.assertEqual(self.submit(STARTTLS), "no-login-method")
        self.assertNotIn(b"AUTH", bytes(controller.record))

    def test_without_encryption_and_authentication_the_bytes_are_todays(self):
        controller, _ = self.server(NONE, auth_required=False)
        self.assertEqual(self.submit(NONE, user=""), "sent")
        submitted = bytes(controller.record)
        del controller.record[:]
        self.assertEqual(self.send(server="localhost:%d" % self.port), 0)
        date = re.compile(rb"\r\nDate: [^\r]*")
        self.assertTrue(submitted.startswith(b"HELO example.test\r\n"), submitted)
        self.assertEqual(date.sub(b"", submitted), date.sub(b"", bytes(controller.record)))


def main():
    if "--wine" in sys.argv and "--inside" not in sys.argv:
        sys.exit(run_with_own_wine(__file__, sys.argv[1:]))
    if "--inside" in sys.argv:
        sys.argv.remove("--inside")

    def install(tool):
        globals().update(TOOL=tool)
        mail_dialogue_test.TOOL = tool

    run_tests(install)


if __name__ == "__main__":
    main()
