#!/usr/bin/env python3
"""Figures for mail submission. Run through scripts/measure-submission.sh,
which starts this inside scripts/sandbox with Wine's environment.

N messages (100 by default), each on a connection of its own with STARTTLS
and AUTH PLAIN, to one aiosmtpd server on 127.0.0.1:587 whose certificate
comes from a CA made here (trusted through SSL_CERT_FILE natively and as a
root of Wine's crypt32 under Wine):
- pathcaster.exe under Wine delivering to N recipients, its password typed
  into its mail server dialog through wizdriver.exe: from Yes to the end,
  twice, after the other rows (a wineserver just started slows the first
  Wine programs down for a few seconds);
- the mail core, N SubmitMail calls in one mail_tool, natively (OpenSSL) and
  under Wine (SChannel);
- msmtp and curl, one process per message;
- the mail core without TLS and authentication, to a plain server.
Wall time, the senders' CPU (children), the server's CPU (this process) and
the wineserver's CPU, which Wine's programs hand much of their work to; the
Wine row is also taken with no call, for Wine's own start and end.
"""
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "support"))
sys.path.insert(0, str(ROOT / "tests" / "wizard"))
import pathcaster_wine_test as wizard  # noqa: E402
from mail_flow_wine_test import import_registry  # noqa: E402
from netutil import wait_for  # noqa: E402
from smtp_mailbox import Mailbox  # noqa: E402
from test_ca import TestCa  # noqa: E402
from wine_tls import trust_in_wine  # noqa: E402

NATIVE = ROOT / "build/native/bin"
WINDOWS = ROOT / "build/windows/bin"
SENDER = "taro@example.test"
USER, PASSWORD = "taro", "secret-password"
RUN_LIMIT_S = 600


def accept(server, session, envelope, mechanism, data):
    return AuthResult(success=True)


def cpu(who):
    usage = resource.getrusage(who)
    return usage.ru_utime + usage.ru_stime


def wineserver_cpu():
    """The wineserver of this sandbox, started before this process."""
    ticks = 0
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)
        except OSError:
            continue
        if "(wineserver" in fields[0]:
            ticks += sum(int(n) for n in fields[1].split()[11:13])
    return ticks / os.sysconf("SC_CLK_TCK")


def measure(name, commands, handler, expected, env=None, stdin_path=None):
    before = len(handler.mails)
    children, server = cpu(resource.RUSAGE_CHILDREN), cpu(resource.RUSAGE_SELF)
    wine = wineserver_cpu()
    began = time.monotonic()
    for command in commands:
        with open(stdin_path or os.devnull, "rb") as stdin:
            run = subprocess.run(command, stdin=stdin, capture_output=True, timeout=RUN_LIMIT_S,
                                 env=env)
        failed = [b"failure ", b"outcome f", b"outcome c", b"outcome e", b"outcome l"]
        if run.returncode != 0 or any(word in run.stdout for word in failed):
            sys.exit("%s failed: %r" % (name, run))
    wall = time.monotonic() - began
    delivered = len(handler.mails) - before
    if delivered != expected:
        sys.exit("%s: %d of %d messages arrived" % (name, delivered, expected))
    return (name, wall, cpu(resource.RUSAGE_CHILDREN) - children,
            cpu(resource.RUSAGE_SELF) - server, wineserver_cpu() - wine)


SETTINGS_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor Vntrlink\5.5"
SEND_COMPLETE = "送信が完了しました。"


def ask_until(driver, command, expected, seconds=RUN_LIMIT_S):
    if not wait_for(lambda: driver.ok(command) == expected, seconds):
        sys.exit("wizard: %r never gave %r" % (command, expected))


def wizard_delivery(count, handler):
    """pathcaster.exe from its first page to the end of a delivery to count
    recipients; the seconds from Yes to the end."""
    wizard.DRIVER = str(WINDOWS / "wizdriver.exe")
    wizard.set_installed(True)
    import_registry(["[%s]" % SETTINGS_KEY, '"fromaddr"="%s"' % SENDER,
                     '"mailserver"="localhost"', '"smtpsecurity"=dword:00000001',
                     '"smtpauth"=dword:00000001', '"smtpuser"="%s"' % USER,
                     "", "[%s\\addrList]" % SETTINGS_KEY]
                    + ['"r%03d"="r%03d@example.test"' % (i, i) for i in range(count)])
    program = subprocess.Popen(["wine", str(WINDOWS / "pathcaster.exe")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    driver = wizard.Driver()
    try:
        driver.ok("sheet 60 VNTRLINK")
        for page, buttons in (("102", "next cancel"), ("103", "back next cancel")):
            ask_until(driver, "buttons", buttons)
            driver.ok("press next")
            ask_until(driver, "page", page)
        driver.ok("type 1007 typed.example.test")  # the sandbox has no address to offer
        ask_until(driver, "buttons", "back next cancel")
        driver.ok("press next")
        ask_until(driver, "page", "106")
        driver.ok("post 1049")
        driver.ok("box 30 送信サーバーの詳細設定")
        driver.ok("box-type 1046 " + PASSWORD)
        driver.ok("box-press 1")
        ask_until(driver, "count 送信サーバーの詳細設定", "0")
        driver.ok("press next")
        driver.ok("box 30 VNTRLINK")
        before, began = len(handler.mails), time.monotonic()
        driver.ok("box-press 6")
        # Asking the wizard's windows costs Wine work: not before the mails are in.
        wait_for(lambda: len(handler.mails) - before >= count, RUN_LIMIT_S)
        ask_until(driver, "text 1024", SEND_COMPLETE)
        seconds = time.monotonic() - began
        if len(handler.mails) - before != count:
            sys.exit("wizard: %d of %d messages arrived" % (len(handler.mails) - before, count))
        driver.ok("close")
        return seconds
    finally:
        driver.close()
        program.wait(timeout=60)
        wizard.wine("reg", "delete", SETTINGS_KEY.replace("HKEY_LOCAL_MACHINE", "HKLM"), "/f")
        wizard.set_installed(False)


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    folder = tempfile.TemporaryDirectory()
    work = Path(folder.name)
    ca = TestCa(folder.name)
    handler = Mailbox()
    tls = Controller(handler, hostname="127.0.0.1", port=587, tls_context=ca.server_context(),
                     require_starttls=True, auth_required=True, authenticator=accept)
    plain = Controller(handler, hostname="127.0.0.1", port=2525)
    tls.start()
    plain.start()
    try:
        (work / "no-roots").mkdir()
        native = dict(os.environ, SSL_CERT_FILE=ca.path, SSL_CERT_DIR=str(work / "no-roots"))
        fields = ["587", "1", USER, PASSWORD, "0", "localhost", SENDER,
                  "hanako@example.test", "", "Vantor URL", "body\r\n"]
        (work / "submit").write_bytes(b"".join(f.encode() + b"\0" for f in fields))
        fields = ["2525", "0", "", "", "0"] + fields[5:]
        (work / "plain-submit").write_bytes(b"".join(f.encode() + b"\0" for f in fields))
        message = ("From: %s\r\nTo: hanako@example.test\r\nSubject: Vantor URL\r\n\r\nbody\r\n"
                   % SENDER).encode()
        (work / "message").write_bytes(message)
        (work / "msmtprc").write_text(
            "account default\nhost localhost\nport 587\ntls on\ntls_starttls on\n"
            "tls_trust_file %s\nauth plain\nuser %s\npassword %s\nfrom %s\n"
            % (ca.path, USER, PASSWORD, SENDER))
        os.chmod(work / "msmtprc", 0o600)
        trust_in_wine(ca.path, folder.name)

        native_tool = [str(NATIVE / "mail_tool"), "submit"]
        wine_tool = ["wine", str(WINDOWS / "mail_tool.exe"), "submit"]
        inputs = [str(work / "submit"), str(work / "plain-submit")]
        wine_inputs = ["Z:" + path.replace("/", "\\") for path in inputs]
        rows = [
            measure("mail core, %d calls (native, OpenSSL)" % count,
                    [native_tool + [inputs[0], str(count)]], handler, count, native),
            measure("mail core under Wine, %d calls (SChannel)" % count,
                    [wine_tool + [wine_inputs[0], str(count)]], handler, count),
            measure("msmtp, one process per message",
                    [["msmtp", "-C", str(work / "msmtprc"), "hanako@example.test"]] * count,
                    handler, count, native, work / "message"),
            measure("curl, one process per message",
                    [["curl", "-s", "smtp://localhost:587", "--ssl-reqd", "--cacert", ca.path,
                      "--user", "%s:%s" % (USER, PASSWORD), "--mail-from", SENDER,
                      "--mail-rcpt", "hanako@example.test", "-T", str(work / "message")]] * count,
                    handler, count),
            measure("mail core, no TLS, no AUTH (native)",
                    [native_tool + [inputs[1], str(count)]], handler, count),
            measure("mail core under Wine, no TLS, no AUTH",
                    [wine_tool + [wine_inputs[1], str(count)]], handler, count),
            measure("mail core under Wine, no call", [wine_tool + [wine_inputs[0], "0"]],
                    handler, 0),
        ]
        wizard_runs = [wizard_delivery(count, handler) for _ in range(2)]
    finally:
        tls.stop()
        plain.stop()

    print("%d messages, STARTTLS + AUTH PLAIN, one connection each, to aiosmtpd on "
          "127.0.0.1" % count)
    print("pathcaster.exe under Wine, %d recipients, Yes to the end, two runs: %s s"
          % (count, ", ".join("%.3f" % seconds for seconds in wizard_runs)))
    print("%-48s %8s %8s %8s %8s %8s"
          % ("sender", "wall s", "ms/msg", "send CPU", "srv CPU", "wine CPU"))
    for name, wall, sender_cpu, server_cpu, wine_cpu in rows:
        print("%-48s %8.3f %8.1f %8.3f %8.3f %8.3f"
              % (name, wall, 1000 * wall / count, sender_cpu, server_cpu, wine_cpu))
    faster = min(rows[2][1], rows[3][1])
    print("pathcaster.exe under Wine / faster baseline, wall: %s"
          % ", ".join("%.2fx" % (seconds / faster) for seconds in wizard_runs))
    print("mail core (native) / faster baseline, wall: %.2fx" % (rows[0][1] / faster))
    print("mail core under Wine / faster baseline, wall: %.2fx" % (rows[1][1] / faster))
    folder.cleanup()


if __name__ == "__main__":
    main()
