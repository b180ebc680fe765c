#!/usr/bin/python3
"""The rest of pathcaster.exe's flow under Wine, driven through its real
windows by wizdriver.exe: from the welcome page to Finish with mails sent from
the choice page and from the sending page, Copy and the clipboard, the button
rules of the choice and mail settings pages, the recipient dialog, Back from
the mail settings page, a recipient the SMTP server refuses, a recipient
named with a character that Shift_JIS cannot hold, a message holding one, and
the mail server dialog with STARTTLS and authentication. The mails reach
aiosmtpd servers on 127.0.0.1 (25; 587 with STARTTLS and AUTH, its
certificate from a CA made here) and are read back with Python's email
package; the test address is named by dnsmasq. With --locale en_US.UTF-8 the
wizard runs on a Windows whose ANSI code page is 1252, as an English system
is, and must show and mail the same Japanese texts.

Usage: mail_flow_wine_test.py --program pathcaster.exe --driver wizdriver.exe
           [--locale LOCALE] [unittest arguments]
Run by the system interpreter, which alone can import Debian's aiosmtpd,
inside scripts/sandbox with the Wine environment of scripts/wine-env.sh; it
runs itself again in the nested sandbox of pathcaster_wine_test.py.
"""
import argparse
import email
import email.header
import os
import re
import subprocess
import sys
import tempfile
import unittest

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

import pathcaster_wine_test as wizard
from pathcaster_wine_test import (DETECT_DONE, DETECT_STATUS, START_LIMIT, TEST_ADDRESS,
                                  TEST_HOST, TITLE, WizardCase, dnsmasq, set_installed, wine)
from smtp_mailbox import Mailbox
from test_ca import TestCa
from wine_tls import trust_in_wine

SETTINGS_KEY = r"HKLM\SOFTWARE\Tarvik\Vantor Vntrlink"
SENDER = "owner@example.test"
MESSAGE = "自宅のPCへのリンクです。"
TYPED_HOST = "typed.example.test"
RECIPIENTS = {"山田": "yamada@example.test", "suzuki": "suzuki@example.test"}
ZOE = "Zo\u00eb"  # a name that Shift_JIS cannot hold

CONFIRM_SEND = "送信を実行しますか？"  # string 24
SEND_FAILED = "%sへのメール送信に失敗しました。"  # string 8
DUPLICATE_NAME = "同じ名前がすでに登録済みです"  # string 21
COPY_DONE = "クリップボードへコピーされました"  # string 22
SOME_FAILED = "一部のメールの送信に失敗しました。"  # string 26
SEND_COMPLETE = "送信が完了しました。"  # string 27
CLOSING_TEXT = ("このVantor\u3000ホストPCにアクセスするためには、送信されたメールを受信し"
                "リンクをクリックするかhttp://(hostname)を入力してください。")  # 13, 14
NOT_SENT = "メールは送信されませんでした。"  # string 38
SEND_CAPTION = "送信(&S)"  # string 28
SEND_HINT = "”送信”をｸﾘｯｸするとﾒｰﾙを送信します。"  # string 33
SETTINGS_NEEDED = "”次へ”をｸﾘｯｸしてメール情報を設定してください。"  # string 35
SETTINGS_CHANGE = "”次へ”をｸﾘｯｸするとメール情報を変更できます。"  # string 36
ADD_TITLE, MODIFY_TITLE = "宛先アドレスの追加", "宛先アドレスの修正"  # strings 19, 20
NOT_MAILABLE = "「%s」はメールで送れない文字です。この文字を消すか、別の文字に置き換えてください。"  # 41
SUBMISSION_TITLE = "送信サーバーの詳細設定"  # dialog 109
CAUSE_CERTIFICATE = ("送信サーバーの証明書を確認できませんでした。"
                     "サーバー名と証明書の名前、期限、発行元を確認してください。")  # string 43
SMTP_USER, SMTP_PASSWORD = "owner", "p\u00e4ssw\u00f6rd \u79d8\u5bc6"
# Wine's caption for a message box that was given none, in the system's language.
DEFAULT_CAPTIONS = {"ja": "エラー", "en": "Error"}

DETECTION, CHOICE, MAIL_SETTINGS, SENDING = "102", "103", "106", "105"
TYPED, SEND, COPY, SEND_HINT_TEXT, NEXT_HINT, MESSAGE_EDIT = 1007, 1008, 1022, 1028, 1030, 1021
SENDER_EDIT, SERVER_EDIT, RECIPIENT_LIST, ADD, MODIFY, DELETE = 1013, 1014, 1015, 1016, 1017, 1018
NAME_EDIT, ADDRESS_EDIT = 1019, 1020
SUBMISSION, STARTTLS, AUTH, USER_EDIT, PASSWORD_EDIT = 1049, 1042, 1044, 1045, 1046
PASSWORD_STORED, CLEAR_WARNING = 1047, 1048
SEND_STATE, CLOSING_HINT, ABORT = 1024, 1011, 1027
IDOK, IDYES, IDNO = 1, 6, 7
MAIL_LIMIT = 60


def link_message(typed=""):
    text = MESSAGE
    if typed:
        text += "\r\nhttp://%s\r\n" % typed
    return text + "\r\nhttp://%s\r\n(=> http://%s )\r\n" % (TEST_HOST, TEST_ADDRESS)


def import_registry(lines):
    """Through a UTF-16 .reg file: Wine mangles non-ASCII arguments."""
    text = "Windows Registry Editor Version 5.00\r\n\r\n" + "\r\n".join(lines) + "\r\n"
    with tempfile.NamedTemporaryFile(suffix=".reg", delete=False) as reg:
        reg.write(b"\xff\xfe" + text.encode("utf-16-le"))
    try:
        run = wine("reg", "import", "Z:" + reg.name.replace("/", "\\"), "/reg:32")
        assert run.returncode == 0, run.stderr
    finally:
        os.unlink(reg.name)


def seed_settings(sender=SENDER, server="127.0.0.1", recipients=RECIPIENTS):
    lines = ["[%s\\5.5]" % SETTINGS_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"),
             '"message"="%s"' % MESSAGE]
    lines += ['"fromaddr"="%s"' % sender] if sender else []
    lines += ['"mailserver"="%s"' % server] if server else []
    lines += ["", "[%s\\5.5\\addrList]" % SETTINGS_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE")]
    lines += ['"%s"="%s"' % item for item in recipients.items()]
    import_registry(lines)


def stored_recipients():
    """The address book as {name: address}, any name, through an export."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "book.reg")
        run = wine("reg", "export", SETTINGS_KEY + r"\5.5\addrList",
                   "Z:" + path.replace("/", "\\"), "/y", "/reg:32")
        assert run.returncode == 0, run.stderr
        with open(path, "rb") as f:
            text = f.read().decode("utf-16")
    return dict(re.findall(r'^"(.*)"="(.*)"\r?$', text, re.M))


def stored_setting(name, key="5.5", view="32"):
    """The stored value, or None; only for ASCII texts. The wizard keeps its
    settings where the earlier 32-bit wizard did: the 32-bit view."""
    run = wine("reg", "query", SETTINGS_KEY + "\\" + key, "/v", name, "/reg:" + view)
    if run.returncode != 0:
        return None
    return run.stdout.decode("utf-8", "replace").split("REG_SZ")[-1].strip()


def accept_owner(server, session, envelope, mechanism, data):
    return AuthResult(handled=False, success=isinstance(data, LoginPassword) and
                      (data.login, data.password) == (SMTP_USER.encode(), SMTP_PASSWORD.encode()))


class MailFlowTest(WizardCase):
    @classmethod
    def setUpClass(cls):
        cls.mailbox = Mailbox()
        cls.smtp = Controller(cls.mailbox, hostname="127.0.0.1", port=25)
        cls.smtp.start()
        cls.dns = dnsmasq().__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.dns.__exit__()
        cls.smtp.stop()

    def setUp(self):
        super().setUp()
        self.mailbox.refused.clear()
        self.mailbox.mails.clear()
        for view in ("/reg:32", "/reg:64"):
            wine("reg", "delete", SETTINGS_KEY, "/f", view)
            self.addCleanup(wine, "reg", "delete", SETTINGS_KEY, "/f", view)
        set_installed(True)

    # Walking the wizard.

    def open_choice_page(self):
        wizard = self.open_wizard()
        self.wait_for_buttons("next cancel")
        self.go_to(DETECTION)
        self.wait_until(lambda: self.text(DETECT_STATUS) == DETECT_DONE, START_LIMIT,
                        "the detection did not finish")
        self.wait_for_buttons("back next cancel")
        self.go_to(CHOICE)
        return wizard

    def go_to(self, page, button="next"):
        self.driver.ok("press " + button)
        self.wait_until(lambda: self.driver.ok("page") == page, START_LIMIT,
                        f"page {page} did not open")

    def enabled(self, control, where=""):
        return self.driver.ok(f"{where}enabled {control}") == "1"

    def answer_box(self, caption, text, button):
        """Waits for the one box with that caption and text, and answers it."""
        def shown():
            found, _ = self.driver.ask(f"box 1 {caption}")
            return found and self.driver.ask("box-text") == (True, text)
        self.wait_until(shown, START_LIMIT, f"no box {text!r}")
        self.driver.ok(f"box-press {button}")

    def open_dialog(self, button, title):
        self.driver.ok(f"post {button}")
        self.driver.ok(f"box {START_LIMIT} {title}")

    def wait_until_closed(self, title):
        self.wait_until(lambda: self.driver.ok(f"count {title}") == "0", START_LIMIT,
                        f"{title} did not close")

    def finish(self, wizard):
        self.wait_for_buttons("back finish cancel")
        self.driver.ok("press finish")
        self.assertEqual(wizard.wait(timeout=START_LIMIT), 0)

    # Checking the mails.

    def assert_mails(self, recipients, body):
        self.wait_until(lambda: len(self.mailbox.mails) >= len(recipients), MAIL_LIMIT,
                        f"{len(self.mailbox.mails)} of {len(recipients)} mails arrived")
        self.assertCountEqual([m.rcpt_tos for m in self.mailbox.mails],
                              [[r] for r in recipients])
        for envelope in self.mailbox.mails:
            self.assertEqual(envelope.mail_from, SENDER)
            mail = email.message_from_bytes(envelope.original_content)
            subject = email.header.make_header(email.header.decode_header(mail["Subject"]))
            self.assertEqual(str(subject), "Vantor URL")
            self.assertEqual(mail.get_content_charset(), "iso-2022-jp")
            # The client ends the body with its own CR LF before the final ".".
            self.assertEqual(mail.get_payload(decode=True),
                             body.encode("iso2022_jp") + b"\r\n")

    # The tests.

    def test_send_on_the_choice_page_mails_every_recipient_and_finish_exits_0(self):
        seed_settings()
        wizard = self.open_choice_page()
        self.wait_for_buttons("back next cancel")
        self.assertEqual(self.text(SEND_HINT_TEXT), SEND_HINT)
        self.assertEqual(self.text(NEXT_HINT), SETTINGS_CHANGE)
        self.driver.ok(f"post {SEND}")
        self.answer_box(TITLE, CONFIRM_SEND, IDYES)
        self.assert_mails(RECIPIENTS.values(), link_message())
        self.wait_until(lambda: self.text(SEND) == SEND_CAPTION, MAIL_LIMIT,
                        "Send kept its stop caption")
        # Saying No on the mail settings page sends nothing more.
        self.go_to(MAIL_SETTINGS)
        self.wait_for_buttons("back next cancel")
        self.driver.ok("press next")
        self.answer_box(TITLE, CONFIRM_SEND, IDNO)
        self.wait_until(lambda: self.driver.ok("page") == SENDING, START_LIMIT, "no page 105")
        self.assertEqual(self.text(SEND_STATE), NOT_SENT)
        self.assertFalse(self.enabled(ABORT))
        self.finish(wizard)
        self.assertEqual(len(self.mailbox.mails), len(RECIPIENTS))

    def test_copy_and_the_sending_page_hand_out_the_same_link_message(self):
        seed_settings()
        wizard = self.open_choice_page()
        self.driver.ok(f"type {MESSAGE_EDIT} {MESSAGE}")
        self.driver.ok(f"type {TYPED} {TYPED_HOST}")
        self.driver.ok(f"post {COPY}")
        self.answer_box(TITLE, COPY_DONE, IDOK)
        self.assertEqual(self.driver.ok("clipboard"), link_message(TYPED_HOST))
        self.go_to(MAIL_SETTINGS)
        self.assertEqual(self.text(SENDER_EDIT), SENDER)
        self.send_from_the_mail_settings_page()
        self.wait_for_run_end()
        self.assertEqual(self.text(CLOSING_HINT), CLOSING_TEXT)
        self.assertFalse(self.enabled(ABORT))
        self.assert_mails(RECIPIENTS.values(), link_message(TYPED_HOST))
        self.finish(wizard)

    def test_button_rules_of_the_choice_and_mail_settings_pages(self):
        # Without its address the PC offers no candidate.
        subprocess.run(["ip", "addr", "del", TEST_ADDRESS + "/24", "dev", "test0"], check=True)
        self.addCleanup(subprocess.run, ["ip", "addr", "add", TEST_ADDRESS + "/24", "dev",
                                         "test0"], check=True)
        self.open_choice_page()
        self.wait_for_buttons("back cancel")
        self.assertEqual((self.enabled(SEND), self.enabled(COPY)), (False, False))
        self.assertEqual(self.text(NEXT_HINT), SETTINGS_NEEDED)
        self.driver.ok(f"type {TYPED} {TYPED_HOST}")
        self.wait_for_buttons("back next cancel")
        self.assertEqual((self.enabled(SEND), self.enabled(COPY)), (False, True))

        self.go_to(MAIL_SETTINGS)
        self.wait_for_buttons("back cancel")
        self.driver.ok(f"type {SENDER_EDIT} {SENDER}")
        self.driver.ok(f"type {SERVER_EDIT} 127.0.0.1")
        self.assertEqual((self.enabled(MODIFY), self.enabled(DELETE)), (False, False))
        self.open_dialog(ADD, ADD_TITLE)
        self.driver.ok(f"box-type {NAME_EDIT} 山田")
        self.assertFalse(self.enabled(IDOK, "box-"))
        self.driver.ok(f"box-type {ADDRESS_EDIT} yamada@example.test")
        self.driver.ok(f"box-press {IDOK}")
        self.wait_until_closed(ADD_TITLE)
        self.wait_for_buttons("back next cancel")
        self.assertEqual(self.driver.ok(f"lines {RECIPIENT_LIST}"), "0\t山田")
        self.assertEqual((self.enabled(MODIFY), self.enabled(DELETE)), (True, True))
        self.driver.ok(f"click {DELETE}")
        self.assertEqual(self.driver.ok(f"lines {RECIPIENT_LIST}"), "-1")
        self.assertEqual((self.enabled(MODIFY), self.enabled(DELETE)), (False, False))
        self.wait_for_buttons("back cancel")

    def test_what_the_wizard_saves_lands_in_the_32_bit_view_alone(self):
        wizard = self.open_choice_page()
        self.driver.ok(f"type {MESSAGE_EDIT} Links")
        self.driver.ok(f"post {COPY}")
        self.answer_box(TITLE, COPY_DONE, IDOK)
        self.go_to(MAIL_SETTINGS)
        self.driver.ok(f"type {SENDER_EDIT} {SENDER}")
        self.driver.ok(f"type {SERVER_EDIT} 127.0.0.1")
        self.open_dialog(ADD, ADD_TITLE)
        self.driver.ok(f"box-type {NAME_EDIT} suzuki")
        self.driver.ok(f"box-type {ADDRESS_EDIT} {RECIPIENTS['suzuki']}")
        self.driver.ok(f"box-press {IDOK}")
        self.wait_until_closed(ADD_TITLE)
        self.wait_for_buttons("back next cancel")
        self.driver.ok("press next")
        self.answer_box(TITLE, CONFIRM_SEND, IDNO)
        self.wait_until(lambda: self.driver.ok("page") == SENDING, START_LIMIT, "no page 105")
        self.finish(wizard)
        self.assertEqual([stored_setting(name) for name in ("message", "fromaddr", "mailserver")],
                         ["Links", SENDER, "127.0.0.1"])
        self.assertEqual(stored_setting("suzuki", "5.5\\addrList"), RECIPIENTS["suzuki"])
        self.assertNotEqual(wine("reg", "query", SETTINGS_KEY, "/reg:64").returncode, 0)

    def test_a_recipient_named_outside_shift_jis_is_listed_mailed_modified_and_deleted(self):
        seed_settings(recipients={ZOE: "zoe@example.test", "suzuki": "suzuki@example.test"})
        wizard = self.open_choice_page()
        self.go_to(MAIL_SETTINGS)
        lines = self.driver.ok(f"lines {RECIPIENT_LIST}").split("\t")
        self.assertCountEqual(lines[1:], [ZOE, "suzuki"])
        self.modify_address(lines.index(ZOE) - 1, "zoe@example.test", "new@example.test")
        self.assertEqual(stored_recipients(),
                         {ZOE: "new@example.test", "suzuki": "suzuki@example.test"})
        self.send_from_the_mail_settings_page()
        self.wait_for_run_end()
        self.assert_mails(["new@example.test", "suzuki@example.test"], link_message())
        self.go_to(MAIL_SETTINGS, "back")
        lines = self.driver.ok(f"lines {RECIPIENT_LIST}").split("\t")
        self.driver.ok(f"select {RECIPIENT_LIST} {lines.index(ZOE) - 1}")
        self.driver.ok(f"click {DELETE}")
        self.assertEqual(stored_recipients(), {"suzuki": "suzuki@example.test"})
        self.close_wizard(wizard)

    def test_a_character_that_cannot_be_mailed_is_named_and_nothing_leaves(self):
        seed_settings()
        self.open_choice_page()
        self.driver.ok(f"type {MESSAGE_EDIT} caf\u00e9")
        for button in (f"post {SEND}", f"post {COPY}", "press next"):
            with self.subTest(button):
                self.driver.ok(button)
                self.answer_box(TITLE, NOT_MAILABLE % "\u00e9 (U+00E9)", IDOK)
                self.assertEqual(self.driver.ok("page"), CHOICE)
        self.assertEqual(self.mailbox.mails, [])

    def test_recipient_dialog_refuses_a_taken_name_and_keeps_the_selection_on_modify(self):
        seed_settings(recipients={"Abe": "abe@example.test", "Yamada": "yamada@example.test"})
        self.open_choice_page()
        self.go_to(MAIL_SETTINGS)
        self.assertEqual(self.driver.ok(f"lines {RECIPIENT_LIST}"), "-1\tAbe\tYamada")
        self.open_dialog(ADD, ADD_TITLE)
        self.driver.ok(f"box-type {NAME_EDIT} YAMADA")
        self.driver.ok(f"box-type {ADDRESS_EDIT} other@example.test")
        self.driver.ok(f"box-press {IDOK}")
        caption = DEFAULT_CAPTIONS[os.environ["LC_ALL"][:2]]
        self.answer_box(caption, DUPLICATE_NAME, IDOK)
        self.driver.ok(f"box {START_LIMIT} {ADD_TITLE}")
        self.assertEqual([self.driver.ok(f"box-item {c}") for c in (NAME_EDIT, ADDRESS_EDIT)],
                         ["YAMADA", "other@example.test"])
        self.driver.ok("box-close")
        self.wait_until_closed(ADD_TITLE)
        self.assertEqual(self.driver.ok(f"lines {RECIPIENT_LIST}"), "-1\tAbe\tYamada")
        self.assertEqual(stored_setting("Yamada", "5.5\\addrList"), "yamada@example.test")

        self.modify_address(1, "yamada@example.test", "new@example.test")
        self.assertEqual(self.driver.ok(f"lines {RECIPIENT_LIST}"), "1\tAbe\tYamada")
        self.assertEqual((self.enabled(MODIFY), self.enabled(DELETE)), (True, True))
        self.assertEqual(stored_setting("Yamada", "5.5\\addrList"), "new@example.test")

    def test_back_from_the_mail_settings_page_keeps_the_typed_settings_in_memory_only(self):
        seed_settings(sender="", server="")
        self.open_choice_page()
        self.assertEqual(self.text(NEXT_HINT), SETTINGS_NEEDED)
        self.go_to(MAIL_SETTINGS)
        self.driver.ok(f"type {SENDER_EDIT} {SENDER}")
        self.driver.ok(f"type {SERVER_EDIT} 127.0.0.1")
        self.wait_for_buttons("back next cancel")
        self.go_to(CHOICE, "back")
        self.wait_until(lambda: self.text(NEXT_HINT) == SETTINGS_CHANGE, START_LIMIT,
                        "the choice page did not take the typed settings")
        self.assertEqual(self.text(SEND_HINT_TEXT), SEND_HINT)
        self.assertTrue(self.enabled(SEND))
        self.assertEqual((stored_setting("fromaddr"), stored_setting("mailserver")), (None, None))

    def test_a_refused_recipient_costs_one_failure_box_and_the_run_ends_with_string_26(self):
        seed_settings()
        self.mailbox.refused.add(RECIPIENTS["山田"])
        self.open_choice_page()
        self.go_to(MAIL_SETTINGS)
        self.send_from_the_mail_settings_page()
        self.answer_box(TITLE, SEND_FAILED % RECIPIENTS["山田"], IDOK)
        self.wait_for_run_end(SOME_FAILED)
        self.assertEqual(self.text(CLOSING_HINT), "")
        # The sheet is the only window left with the wizard's title.
        self.assertEqual(self.driver.ok(f"count {TITLE}"), "1")
        self.assert_mails([RECIPIENTS["suzuki"]], link_message())

    # The mail server dialog.

    def modify_address(self, line, old, new):
        """Modify on line LINE of the recipient list: its address, from old to new."""
        self.driver.ok(f"select {RECIPIENT_LIST} {line}")
        self.open_dialog(MODIFY, MODIFY_TITLE)
        self.assertEqual(self.driver.ok(f"box-item {ADDRESS_EDIT}"), old)
        self.driver.ok(f"box-type {ADDRESS_EDIT} {new}")
        self.driver.ok(f"box-press {IDOK}")
        self.wait_until_closed(MODIFY_TITLE)

    def send_from_the_mail_settings_page(self):
        self.wait_for_buttons("back next cancel")
        self.driver.ok("press next")
        self.answer_box(TITLE, CONFIRM_SEND, IDYES)

    def wait_for_run_end(self, state=SEND_COMPLETE):
        """The sending page, once it shows how the run ended."""
        self.wait_until(lambda: self.driver.ok("page") == SENDING, START_LIMIT, "no page 105")
        self.wait_until(lambda: self.text(SEND_STATE) == state, MAIL_LIMIT,
                        "the sending page never showed the run's end")

    def test_the_mail_server_dialog_sends_through_starttls_and_authentication(self):
        seed_settings(server="localhost", recipients={"suzuki": RECIPIENTS["suzuki"]})
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        ca, mailbox = TestCa(folder.name), Mailbox()
        server = Controller(mailbox, hostname="127.0.0.1", port=587, authenticator=accept_owner,
                            tls_context=ca.server_context(), require_starttls=True,
                            auth_required=True)  # the port of an empty port number
        server.start()
        self.addCleanup(server.stop)
        program = self.open_choice_page()
        self.go_to(MAIL_SETTINGS)
        self.open_dialog(SUBMISSION, SUBMISSION_TITLE)
        for control, warned in ((AUTH, "1"), (STARTTLS, "0")):
            self.driver.ok(f"box-click {control}")
            self.assertEqual(self.driver.ok(f"box-shown {CLEAR_WARNING}"), warned)
        self.driver.ok(f"box-type {USER_EDIT} {SMTP_USER}")
        self.driver.ok(f"box-type {PASSWORD_EDIT} {SMTP_PASSWORD}")
        self.driver.ok(f"box-press {IDOK}")
        self.wait_until_closed(SUBMISSION_TITLE)
        stored = wine("reg", "query", SETTINGS_KEY + "\\5.5", "/v", "smtppassword",
                      "/reg:32").stdout
        self.assertIn(b"REG_BINARY", stored)
        self.assertNotIn(SMTP_PASSWORD.encode().hex().upper().encode(), stored.upper())
        # The test CA is no root of Wine's yet.
        self.send_from_the_mail_settings_page()
        failure = SEND_FAILED % RECIPIENTS["suzuki"] + "\r\n" + CAUSE_CERTIFICATE
        self.answer_box(TITLE, failure, IDOK)
        self.wait_for_run_end(SOME_FAILED)
        self.finish(program)

        trust_in_wine(ca.path, folder.name)  # a new wineserver: the driver ended with the old
        self.driver = wizard.Driver()
        self.addCleanup(self.driver.close)
        program = self.open_choice_page()
        self.go_to(MAIL_SETTINGS)
        self.open_dialog(SUBMISSION, SUBMISSION_TITLE)
        self.assertEqual(self.driver.ok(f"box-item {PASSWORD_EDIT}"), "")
        self.assertEqual(self.driver.ok(f"box-shown {PASSWORD_STORED}"), "1")
        self.driver.ok("box-close")
        self.wait_until_closed(SUBMISSION_TITLE)
        self.send_from_the_mail_settings_page()
        self.wait_for_run_end()
        self.finish(program)
        self.assertEqual([mail.rcpt_tos for mail in mailbox.mails], [[RECIPIENTS["suzuki"]]])

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--locale", default="ja_JP.UTF-8")
    parser.add_argument("--inside", action="store_true")
    known, rest = parser.parse_known_args()
    if not known.inside:
        sys.exit(wizard.run_in_test_network(sys.argv[1:], __file__))
    os.environ["LC_ALL"] = known.locale
    wizard.PROGRAM, wizard.DRIVER = os.path.abspath(known.program), os.path.abspath(known.driver)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
