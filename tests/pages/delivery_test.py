#!/usr/bin/env python3
"""The delivery run against a real SMTP server (Debian's aiosmtpd): every
recipient mailed once, in the address book's order; an abort after the
first; a recipient the server refuses. The mails are read back with Python's
email package and their bodies compared, in ISO-2022-JP, with the link
message built here from the same inputs.

Usage: delivery_test.py --tool delivery_tool
Runs inside the project's sandbox: the server listens on 127.0.0.1.
"""
import argparse
import email
import email.header
import os
import subprocess
import sys
import tempfile
import unittest

from aiosmtpd.controller import Controller

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from smtp_mailbox import Mailbox  # noqa: E402
from netutil import free_port  # noqa: E402

TOOL = None
SENDER = "taro@example.test"
MESSAGE = "\u30db\u30b9\u30c8\u3078\u306e\u30ea\u30f3\u30af\u3067\u3059\u3002"  # ホストへのリンクです。
TYPED = "typed.example.test"
CANDIDATES = [("192.0.2.77", "host77.example.test"), ("192.0.2.78", "")]
# Not in alphabetical order: the run follows the address book, not the list.
RECIPIENTS = [("carol", "carol@localhost"), ("alice", "alice@localhost"),
              ("bob", "bob@localhost")]
STARTED = "window 1027"
FINISHED = "window 1028"


def link_message():
    text = MESSAGE + "\r\nhttp://%s\r\n" % TYPED
    for address, host in CANDIDATES:
        shown = host or address
        text += "\r\nhttp://%s\r\n" % shown
        if shown[0].isascii() and shown[0].isalpha():
            text += "(=> http://%s )\r\n" % address
    return text


class DeliveryTest(unittest.TestCase):
    def deliver(self, handler, *options, settings_writable=True):
        port = free_port()
        controller = Controller(handler, hostname="127.0.0.1", port=port)
        controller.start()
        self.addCleanup(controller.stop)
        with tempfile.TemporaryDirectory() as root:
            message = os.path.join(root, "message")
            with open(message, "wb") as f:
                f.write(MESSAGE.encode("shift_jis"))
            if not settings_writable:  # the values file of the settings key stays as it is
                os.makedirs(os.path.join(root, "registry", "software", "tarvik", "vantor vntrlink",
                                         "5.5", ".values.tmp"))
            command = [TOOL, "127.0.0.1:%d" % port, SENDER, "--message", message,
                       "--typed", TYPED]
            for address, host in CANDIDATES:
                command += ["--candidate", address, host]
            for name, address in RECIPIENTS:
                command += ["--recipient", name, address]
            run = subprocess.run(command + list(options), capture_output=True, timeout=180,
                                 env=dict(os.environ, VNTR_ROOT=root))
        self.assertEqual(run.returncode, 0, run)
        return run.stdout.decode().splitlines()

    def assert_link_mails(self, handler, recipients):
        self.assertEqual([mail.rcpt_tos for mail in handler.mails], [[r] for r in recipients])
        expected = link_message().encode("iso2022_jp")
        for envelope in handler.mails:
            self.assertEqual(envelope.mail_from, SENDER)
            mail = email.message_from_bytes(envelope.original_content)
            subject = email.header.make_header(email.header.decode_header(mail["Subject"]))
            self.assertEqual(str(subject), "Vantor URL")
            self.assertEqual(mail.get_content_charset(), "iso-2022-jp")
            # The client ends the body with its own CR LF before the final ".".
            self.assertEqual(mail.get_payload(decode=True), expected + b"\r\n")

    def test_every_recipient_gets_the_link_message_in_address_book_order(self):
        handler = Mailbox()
        self.assertEqual(self.deliver(handler), [STARTED, FINISHED, "allMailsSent 1"])
        self.assert_link_mails(handler, [address for _, address in RECIPIENTS])

    def test_abort_during_the_first_recipient_mails_only_that_one(self):
        handler = Mailbox()
        output = self.deliver(handler, "--abort-on-start")
        self.assertEqual(output, [STARTED, FINISHED, "allMailsSent 1"])
        self.assert_link_mails(handler, ["carol@localhost"])

    def test_refused_recipient_costs_one_failure_box_and_the_others_are_mailed(self):
        handler = Mailbox(refused=("alice@localhost",))
        output = self.deliver(handler)
        self.assertEqual(output, [STARTED, "failure alice@localhost", FINISHED, "allMailsSent 0"])
        self.assert_link_mails(handler, ["carol@localhost", "bob@localhost"])

    def test_a_message_the_store_could_not_keep_is_still_the_one_mailed(self):
        handler = Mailbox()
        output = self.deliver(handler, settings_writable=False)
        self.assertEqual(output, ["message not kept", STARTED, FINISHED, "allMailsSent 1"])
        self.assert_link_mails(handler, [address for _, address in RECIPIENTS])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    args, rest = parser.parse_known_args()
    globals()["TOOL"] = args.tool
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
