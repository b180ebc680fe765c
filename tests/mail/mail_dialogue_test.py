#!/usr/bin/env python3
"""SendMailMessage against a real SMTP server (Debian's aiosmtpd, recording
the raw bytes the client sent) and against scripted servers for the replies
and faults a real one will not produce. Checks the bytes sent, the result,
and that Python's email package reads the message back to the original
Japanese texts.

Usage: mail_dialogue_test.py --tool mail_tool [--wine]
Runs inside a private network namespace (scripts/test.sh): ports 25 and
others on 127.0.0.1, host names localhost and testhost from its hosts file.
"""
import base64
import datetime
import email
import email.header
import email.utils
import os
import re
import socket
import subprocess
import sys
import threading
import time
import unittest

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP

from mail_tool_runner import run_tests

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from netutil import free_port  # noqa: E402

TOOL = None
DEMO_SMTP_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "demo-smtp-server")
SENDER = "\u5c71\u7530\u592a\u90ce <taro@example.test>"  # 山田太郎
SUBJECT = "Vantor URL \u306e\u304a\u77e5\u3089\u305b"  # のお知らせ
BODY = ("\u30db\u30b9\u30c8\u306e\u30ea\u30f3\u30af\u3067\u3059\u3002\r\n"  # ホストのリンクです。
        ".\r\n"
        "http://testhost/\r\n")


def sjis(text):
    return text.encode("shift_jis")


class RecordingSMTP(SMTP):
    def __init__(self, handler, record, **kwargs):
        super().__init__(handler, **kwargs)
        self.record = record

    def data_received(self, data):
        self.record.extend(data)
        super().data_received(data)


class Handler:
    """Accepts everything, or answers chosen recipients with chosen replies."""

    def __init__(self, rcpt_replies=None):
        self.rcpt_replies = rcpt_replies or {}
        self.messages = []

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        reply = self.rcpt_replies.get(address)
        if reply is not None and not reply.startswith("25"):
            return reply
        envelope.rcpt_tos.append(address)
        return reply or "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.messages.append(envelope)
        return "250 Message accepted for delivery"


class RecordingController(Controller):
    def __init__(self, handler, port, host="127.0.0.1", **options):
        self.record = bytearray()
        super().__init__(handler, hostname=host, port=port, **options)

    def factory(self):
        options = {"hostname": "mail.example.test", **self.SMTP_kwargs}
        return RecordingSMTP(self.handler, self.record, **options)


class ScriptedServer(threading.Thread):
    """One connection: the greeting in segments, then one reply per command
    line; after DATA's reply it takes the message up to the end of data.
    A verb in `stall` is never answered; a verb in `close` closes at once;
    with `deaf`, nothing more is read after DATA's reply until `release`."""

    def __init__(self, port, greeting=(b"220 scripted\r\n",), replies=None, stall=(), close=(),
                 segment_gap=0.3, deaf=False):
        super().__init__(daemon=True)
        self.listener = socket.create_server(("127.0.0.1", port))
        self.listener.settimeout(30)
        self.greeting = greeting
        self.replies = {"DATA": b"354 go ahead\r\n", "END": b"250 queued\r\n",
                        "QUIT": b"221 bye\r\n"}
        self.replies.update(replies or {})
        self.stall = stall
        self.close_on = close
        self.segment_gap = segment_gap
        self.deaf = deaf
        self.release = threading.Event()
        self.record = bytearray()
        self.start()

    def run(self):
        try:
            connection, _ = self.listener.accept()
        except OSError:
            return
        with connection:
            connection.settimeout(20)
            try:
                self.serve(connection)
            except OSError:
                pass
        self.listener.close()

    def serve(self, connection):
        for i, segment in enumerate(self.greeting):
            if i:
                time.sleep(self.segment_gap)
            connection.sendall(segment)
        pending = b""
        in_data = False
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            chunk = connection.recv(65536)
            if not chunk:
                return
            self.record.extend(chunk)
            pending += chunk
            while True:
                if in_data:
                    end = pending.find(b"\r\n.\r\n")
                    if end < 0:
                        break
                    pending = pending[end + 5:]
                    in_data = False
                    connection.sendall(self.replies["END"])
                    continue
                line, found, rest = pending.partition(b"\r\n")
                if not found:
                    break
                pending = rest
                verb = line.split(b" ")[0].split(b":")[0].decode("latin-1").upper()
                if verb in self.close_on:
                    return
                if verb in self.stall:
                    continue
                connection.sendall(self.replies.get(verb, b"250 ok\r\n"))
                if verb == "DATA" and self.deaf:
                    self.release.wait(30)
                    return
                if verb == "DATA" and self.replies["DATA"].startswith(b"354"):
                    in_data = True
                    pending = b"\r\n" + pending  # the end marker's CR LF may open the text
                if verb == "QUIT":
                    return


class DialogueTest(unittest.TestCase):
    def setUp(self):
        self.port = free_port()

    def real_server(self, port=None, host="127.0.0.1", handler=None, **handler_options):
        handler = handler or Handler(**handler_options)
        controller = RecordingController(handler, port or self.port, host)
        controller.start()
        self.addCleanup(controller.stop)
        return controller, handler

    def scripted(self, **options):
        server = ScriptedServer(self.port, **options)
        self.addCleanup(server.join, 30)
        return server

    def send(self, server=None, sender=SENDER, to="hanako@localhost", cc="", subject=SUBJECT,
             body=BODY, reply_ms=0):
        server = server or "127.0.0.1:%d" % self.port
        results = TOOL.send(server, sjis(sender), sjis(to), sjis(cc), sjis(subject), sjis(body),
                            reply_ms=reply_ms)
        self.assertEqual(len(results), 1)
        return results[0]

    def commands(self, record):
        return [line for line in bytes(record).split(b"\r\n") if line]


class RealServerTest(DialogueTest):
    def test_full_dialogue_byte_for_byte_and_the_message_reads_back(self):
        controller, handler = self.real_server()
        began = datetime.datetime.now(datetime.timezone.utc)
        self.assertEqual(self.send(to="hanako@localhost; Jiro <jiro@testhost>",
                                   cc="saburo@localhost"), 0)
        sent = bytes(controller.record)
        date = re.search(rb"\r\nDATA\r\n(Date: [^\r]*)\r\n", sent)
        self.assertIsNotNone(date, sent)
        name = "=?ISO-2022-JP?B?%s?=" % base64.b64encode(
            "\u5c71\u7530\u592a\u90ce".encode("iso2022_jp")).decode()
        subject = "Vantor URL =?ISO-2022-JP?B?%s?=" % base64.b64encode(
            "\u306e\u304a\u77e5\u3089\u305b".encode("iso2022_jp")).decode()
        body = BODY.encode("iso2022_jp").replace(b"\r\n.\r\n", b"\r\n..\r\n")
        expected = (b"HELO example.test\r\n"
                    b"MAIL FROM: <taro@example.test>\r\n"
                    b"RCPT TO: <hanako@localhost>\r\n"
                    b"RCPT TO: <jiro@testhost>\r\n"
                    b"RCPT TO: <saburo@localhost>\r\n"
                    b"DATA\r\n" + date.group(1) + b"\r\n"
                    b"X-Mailer: vntr smtp client Version 1.0\r\n"
                    b"MIME-Version: 1.0\r\n"
                    b"Content-Type: text/plain; charset=iso-2022-jp\r\n"
                    b"From: " + name.encode() + b" <taro@example.test>\r\n"
                    b"To: hanako@localhost; Jiro <jiro@testhost>\r\n"
                    b"cc: saburo@localhost\r\n"
                    b"Subject: " + subject.encode() + b"\r\n"
                    b"\r\n" + body + b"\r\n.\r\n"
                    b"QUIT\r\n")
        self.assertEqual(sent, expected)

        # The Date line is now, in the zone the machine runs in.
        stamp = email.utils.parsedate_to_datetime(date.group(1)[6:].decode())
        self.assertLess(abs((stamp - began).total_seconds()), 120)
        offset = datetime.datetime.now().astimezone().utcoffset()
        self.assertEqual(stamp.utcoffset(), offset)

        self.assertEqual(len(handler.messages), 1)
        envelope = handler.messages[0]
        self.assertEqual(envelope.mail_from, "taro@example.test")
        self.assertEqual(envelope.rcpt_tos,
                         ["hanako@localhost", "jiro@testhost", "saburo@localhost"])
        message = email.message_from_bytes(envelope.original_content)
        header = lambda field: str(email.header.make_header(  # noqa: E731
            email.header.decode_header(message[field])))
        self.assertEqual(header("Subject"), SUBJECT)
        self.assertEqual(header("From"), SENDER)
        text = message.get_payload(decode=True).decode(message.get_content_charset())
        self.assertEqual(text.rstrip("\r\n"), BODY.rstrip("\r\n"))

    def test_refused_first_recipient_stops_the_list(self):
        controller, handler = self.real_server(
            rcpt_replies={"first@localhost": "550 no such user"})
        self.assertEqual(self.send(to="first@localhost;second@localhost"), 1)
        self.assertEqual(self.commands(controller.record),
                         [b"HELO example.test", b"MAIL FROM: <taro@example.test>",
                          b"RCPT TO: <first@localhost>", b"QUIT"])
        self.assertEqual(handler.messages, [])

    def test_251_counts_as_accepted(self):
        _, handler = self.real_server(
            rcpt_replies={"moved@localhost": "251 User not local; will forward"})
        self.assertEqual(self.send(to="moved@localhost"), 0)
        self.assertEqual(len(handler.messages), 1)

    def test_sender_without_at_sign_sends_only_quit(self):
        controller, _ = self.real_server()
        self.assertEqual(self.send(sender="Taro <taro>"), 1)
        self.assertEqual(self.commands(controller.record), [b"QUIT"])

    def test_line_end_in_a_text_is_refused_before_the_text_is_sent(self):
        controller, handler = self.real_server()
        for texts in ({"sender": "taro@example.test\r\nRSET"},
                      {"sender": "Taro\n <taro@example.test>"},
                      {"to": "hanako@localhost\r\nRSET"}, {"cc": "jiro@localhost\r"},
                      {"subject": "Vantor URL\r\nBcc: x@localhost"}):
            self.assertEqual(self.send(**texts), 1, texts)
        self.assertEqual(self.commands(controller.record), [b"QUIT"] * 5)
        self.assertEqual(self.send(server="127.0.0.1:%d\r\n" % self.port), -1)
        self.assertEqual(self.commands(controller.record), [b"QUIT"] * 5)
        self.assertEqual(handler.messages, [])

    def test_server_texts_pick_host_and_port(self):
        _, handler = self.real_server(port=25)
        self.real_server(port=25, host="127.0.1.1", handler=handler)  # testhost
        for server in ("localhost", "localhost:", "testhost/relay", "127.0.0.1"):
            self.assertEqual(self.send(server=server), 0, server)
        self.real_server(handler=handler)
        self.assertEqual(self.send(server="smtp://localhost:%d/relay" % self.port), 0)
        self.assertEqual(len(handler.messages), 5)
        self.assertEqual(self.send(server="1nvalid.example.test:25"), -1)
        self.assertEqual(self.send(server="no-such-host.invalid:25"), -1)


    def test_the_demo_server_shows_a_sent_mail_decoded(self):
        demo = subprocess.Popen([DEMO_SMTP_SERVER], stdout=subprocess.PIPE)
        self.addCleanup(lambda: demo.poll() is not None or demo.kill())
        self.assertIn(b"shows here.", demo.stdout.readline())
        sent = self.send(server="127.0.0.1", to="hanako@localhost")
        demo.terminate()
        shown = demo.communicate(timeout=10)[0].decode()
        self.assertEqual(sent, 0)
        for line in ("--- mail from taro@example.test to hanako@localhost", f"From: {SENDER}",
                     f"Subject: {SUBJECT}", BODY.split("\r\n")[0]):
            self.assertIn(line + "\n", shown)

    def test_long_recipient_list_is_sent_whole_in_one_to_line(self):
        controller, handler = self.real_server()
        recipients = ["user%02d@localhost" % i for i in range(40)]
        self.assertEqual(self.send(to=", ".join(recipients)), 0)
        self.assertEqual(handler.messages[0].rcpt_tos, recipients)
        sent = bytes(controller.record)
        self.assertIn(b"\r\nTo: " + ", ".join(recipients).encode() + b"\r\n", sent)


class ScriptedServerTest(DialogueTest):
    def test_server_that_never_accepts_fails_within_the_connect_time_out(self):
        # A listener that is never accepted from, its backlog already full:
        # further connection requests go unanswered.
        with socket.socket() as listener:
            listener.bind(("127.0.0.1", self.port))
            listener.listen(0)
            waiting = []
            for _ in range(4):
                s = socket.socket()
                s.setblocking(False)
                s.connect_ex(("127.0.0.1", self.port))
                waiting.append(s)
            try:
                began = time.monotonic()
                self.assertEqual(self.send(reply_ms=1000), -1)
                self.assertLess(time.monotonic() - began, 10)
            finally:
                for s in waiting:
                    s.close()

    def test_multi_line_greeting_in_two_segments(self):
        server = self.scripted(greeting=(b"220-mail.example.test welcome\r\n",
                                         b"220-more text\r\n220 ready\r\n"))
        self.assertEqual(self.send(), 0)
        self.assertTrue(bytes(server.record).startswith(b"HELO example.test\r\n"))

    def test_multi_line_replies_to_commands(self):
        self.scripted(replies={"HELO": b"250-mail.example.test\r\n250 SIZE 1000\r\n",
                               "END": b"250-queued\r\n250 as 12\r\n"})
        self.assertEqual(self.send(), 0)

    def test_greeting_554_gives_minus_one_without_quit(self):
        server = self.scripted(greeting=(b"554 go away\r\n",))
        self.assertEqual(self.send(), -1)
        server.join(10)
        self.assertEqual(bytes(server.record), b"")

    def test_data_answered_other_than_354_sends_no_message_text(self):
        # The server would take each line of the message as a command.
        server = self.scripted(replies={"DATA": b"554 no valid recipients\r\n"})
        self.assertEqual(self.send(), 1)
        server.join(10)
        self.assertEqual(self.commands(server.record)[-2:], [b"DATA", b"QUIT"])

    def test_stalled_server_fails_within_the_reply_time_out(self):
        for stall, expected in ((("HELO",), 1), (("DATA",), 1)):
            self.port = free_port()
            self.scripted(stall=stall)
            began = time.monotonic()
            self.assertEqual(self.send(reply_ms=1000), expected, stall)
            # The stalled reply and the unanswered QUIT each wait once.
            self.assertLess(time.monotonic() - began, 10, stall)
        self.port = free_port()
        self.scripted(greeting=())
        began = time.monotonic()
        self.assertEqual(self.send(reply_ms=1000), -1)
        self.assertLess(time.monotonic() - began, 10)

    def test_server_that_stops_reading_fails_the_send_within_its_time_out(self):
        server = self.scripted(deaf=True)
        body = "\u3042" * 60 + "\r\n"
        began = time.monotonic()
        self.assertEqual(self.send(body=body * 40000, reply_ms=1000), 1)
        self.assertLess(time.monotonic() - began, 10)
        server.release.set()

    def test_server_closing_mid_dialogue(self):
        for verb in ("MAIL", "RCPT", "DATA"):
            self.port = free_port()
            self.scripted(close=(verb,))
            self.assertEqual(self.send(), 1, verb)


def main():
    run_tests(lambda tool: globals().update(TOOL=tool))


if __name__ == "__main__":
    main()
