#!/usr/bin/env python3
"""Figures for mail submission. Run through scripts/measure-submission.sh,
which starts this inside scripts/sandbox with Wine's environment.

N messages (100 by default), each on a connection of its own with STARTTLS
and AUTH PLAIN, to one aiosmtpd server on 127.0.0.1:587 whose certificate
comes from a CA made here (trusted through SSL_CERT_FILE natively and as a
root of Wine's crypt32 under Wine):
- the wizard's delivery run to N recipients (tests' delivery_tool, native);
- the mail core under Wine, N SubmitMail calls in one mail_tool.exe (SChannel);
- msmtp and curl, one process per message;
- the same delivery run and mail core without TLS and authentication, to a
  plain server.
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
from test_ca import TestCa  # noqa: E402
from wine_tls import trust_in_wine  # noqa: E402

NATIVE = ROOT / "build/native/bin"
WINDOWS = ROOT / "build/windows/bin"
SENDER = "taro@example.test"
USER, PASSWORD = "taro", "secret-password"
RUN_LIMIT_S = 600


class Counter:
    def __init__(self):
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        return "250 OK"


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
    before = handler.count
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
    delivered = handler.count - before
    if delivered != expected:
        sys.exit("%s: %d of %d messages arrived" % (name, delivered, expected))
    return (name, wall, cpu(resource.RUSAGE_CHILDREN) - children,
            cpu(resource.RUSAGE_SELF) - server, wineserver_cpu() - wine)


def delivery_command(root, port, count, submission=True):
    command = [str(NATIVE / "delivery_tool"), "localhost:%d" % port, SENDER]
    if submission:
        command += ["--submission", "1", USER, PASSWORD]
    for i in range(count):
        command += ["--recipient", "r%03d" % i, "r%03d@example.test" % i]
    return command


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    folder = tempfile.TemporaryDirectory()
    work = Path(folder.name)
    ca = TestCa(folder.name)
    handler = Counter()
    tls = Controller(handler, hostname="127.0.0.1", port=587, tls_context=ca.server_context(),
                     require_starttls=True, auth_required=True, authenticator=accept)
    plain = Controller(handler, hostname="127.0.0.1", port=2525)
    tls.start()
    plain.start()
    try:
        (work / "no-roots").mkdir()
        native = dict(os.environ, SSL_CERT_FILE=ca.path, SSL_CERT_DIR=str(work / "no-roots"))
        roots = [dict(native, VNTR_ROOT=str(work / name)) for name in ("tls", "plain")]
        for root in roots:
            os.mkdir(root["VNTR_ROOT"])
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

        wine_tool = ["wine", str(WINDOWS / "mail_tool.exe"), "submit",
                     "Z:" + str(work / "submit").replace("/", "\\")]
        wine_plain = wine_tool[:-1] + ["Z:" + str(work / "plain-submit").replace("/", "\\")]
        rows = [
            measure("wizard delivery run, %d recipients (native)" % count,
                    [delivery_command(roots[0]["VNTR_ROOT"], 587, count)], handler, count,
                    roots[0]),
            measure("mail core under Wine, %d calls (SChannel)" % count,
                    [wine_tool + [str(count)]], handler, count),
            measure("msmtp, one process per message",
                    [["msmtp", "-C", str(work / "msmtprc"), "hanako@example.test"]] * count,
                    handler, count, native, work / "message"),
            measure("curl, one process per message",
                    [["curl", "-s", "smtp://localhost:587", "--ssl-reqd", "--cacert", ca.path,
                      "--user", "%s:%s" % (USER, PASSWORD), "--mail-from", SENDER,
                      "--mail-rcpt", "hanako@example.test", "-T", str(work / "message")]] * count,
                    handler, count),
            measure("wizard delivery run, no TLS, no AUTH (native)",
                    [delivery_command(roots[1]["VNTR_ROOT"], 2525, count, False)], handler,
                    count, roots[1]),
            measure("mail core under Wine, no TLS, no AUTH",
                    [wine_plain + [str(count)]], handler, count),
            measure("mail core under Wine, no call", [wine_tool + ["0"]], handler, 0),
        ]
    finally:
        tls.stop()
        plain.stop()

    print("%d messages, STARTTLS + AUTH PLAIN, one connection each, to aiosmtpd on "
          "127.0.0.1" % count)
    print("%-48s %8s %8s %8s %8s %8s"
          % ("sender", "wall s", "ms/msg", "send CPU", "srv CPU", "wine CPU"))
    for name, wall, sender_cpu, server_cpu, wine_cpu in rows:
        print("%-48s %8.3f %8.1f %8.3f %8.3f %8.3f"
              % (name, wall, 1000 * wall / count, sender_cpu, server_cpu, wine_cpu))
    faster = min(rows[2][1], rows[3][1])
    print("wizard delivery run / faster baseline, wall: %.2fx" % (rows[0][1] / faster))
    print("mail core under Wine / faster baseline, wall: %.2fx" % (rows[1][1] / faster))
    folder.cleanup()


if __name__ == "__main__":
    main()
