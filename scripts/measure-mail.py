#!/usr/bin/env python3
"""Figures for the mail core. Run through scripts/measure-mail.sh, which
starts this inside scripts/sandbox: every message goes to an
aiosmtpd server on 127.0.0.1 in that namespace.

- N messages (100 by default): SendMailMessage called N times in one process,
  and once per process N times; msmtp and curl once per process N times.
  Wall time and the CPU time of the senders (user + system of the children).
- Conversion: MB/s of SjisToJis + EncodeWords on 1 MB of Japanese text, beside
  Python's shift_jis -> iso2022_jp codecs on the same text.
"""
import os
import random
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from aiosmtpd.controller import Controller

ROOT = Path(__file__).resolve().parent.parent
TOOL = ROOT / "build/native/bin/mail_tool"
SENDER = "taro@example.test"
RECIPIENT = "hanako@localhost"
SUBJECT = "Vantor URL \u306e\u304a\u77e5\u3089\u305b"
BODY = ("\u30db\u30b9\u30c8\u306e\u30ea\u30f3\u30af\u3067\u3059\u3002\r\n"
        "http://testhost/\r\nhttp://localhost/\r\n")
CONVERSION_BYTES = 1_000_000
CONVERSION_ROUNDS = 20
RUN_LIMIT_S = 120


class Counter:
    def __init__(self):
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        return "250 OK"


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def measure(name, commands, handler, expected, stdin_path=None):
    before = handler.count
    cpu = children_cpu()
    began = time.monotonic()
    for command in commands:
        stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
        try:
            run = subprocess.run(command, stdin=stdin, capture_output=True, timeout=RUN_LIMIT_S)
        finally:
            if stdin_path:
                stdin.close()
        if run.returncode != 0 or b"result -1" in run.stdout or b"result 1" in run.stdout:
            sys.exit("%s failed: %r" % (name, run))
    wall = time.monotonic() - began
    cpu = children_cpu() - cpu
    delivered = handler.count - before
    if delivered != expected:
        sys.exit("%s: %d of %d messages arrived" % (name, delivered, expected))
    return name, wall, cpu


def japanese_text(size):
    rng = random.Random(1)
    kana = [chr(c) for c in range(0x3041, 0x3094)] + [chr(c) for c in range(0x30a1, 0x30f7)]
    kanji = []
    for c in range(0x4e00, 0x9fa0):
        try:
            chr(c).encode("iso2022_jp")
            kanji.append(chr(c))
        except UnicodeError:
            pass
    out = bytearray()
    while len(out) < size:
        line = "".join(rng.choice(kana + kanji) for _ in range(30)) + " http://testhost/\r\n"
        out += line.encode("shift_jis")
    return bytes(out[:size - (size % 2)])


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    handler = Counter()
    controller = Controller(handler, hostname="127.0.0.1", port=2525)
    controller.start()
    folder = tempfile.TemporaryDirectory()
    work = Path(folder.name)
    try:
        fields = ["127.0.0.1:2525", SENDER, RECIPIENT, "", SUBJECT, BODY]
        (work / "send").write_bytes(b"".join(f.encode("shift_jis") + b"\0" for f in fields))
        message = ("From: %s\r\nTo: %s\r\nSubject: Vantor URL\r\n"
                   "Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n" % (SENDER, RECIPIENT)
                   ).encode() + BODY.encode("iso2022_jp")
        (work / "message").write_bytes(message)
        (work / "msmtprc").write_text("")
        os.chmod(work / "msmtprc", 0o600)

        rows = [
            measure("SendMailMessage, %d calls in one process" % count,
                    [[str(TOOL), "send", str(work / "send"), str(count)]], handler, count),
            measure("SendMailMessage, one process per message",
                    [[str(TOOL), "send", str(work / "send")]] * count, handler, count),
            measure("msmtp, one process per message",
                    [["msmtp", "-C", str(work / "msmtprc"), "--host=127.0.0.1", "--port=2525",
                      "--auth=off", "--tls=off", "--from=" + SENDER, "--", RECIPIENT]] * count,
                    handler, count, work / "message"),
            measure("curl, one process per message",
                    [["curl", "-s", "smtp://127.0.0.1:2525", "--mail-from", SENDER,
                      "--mail-rcpt", RECIPIENT, "-T", str(work / "message")]] * count,
                    handler, count),
        ]
    finally:
        controller.stop()

    print("%d messages to aiosmtpd on 127.0.0.1" % count)
    print("%-45s %10s %10s" % ("sender", "wall s", "CPU s"))
    for name, wall, cpu in rows:
        print("%-45s %10.3f %10.3f" % (name, wall, cpu))
    faster = min(rows[2][1], rows[3][1])
    print("ours (one process per message) / faster baseline, wall: %.2fx" % (rows[1][1] / faster))
    print("ours (one process, %d calls) / faster baseline, wall: %.2fx" % (count, rows[0][1] / faster))

    text = japanese_text(CONVERSION_BYTES)
    (work / "text").write_bytes(text)
    bench = subprocess.run([str(TOOL), "bench", str(work / "text"), str(CONVERSION_ROUNDS)],
                           capture_output=True, text=True, timeout=RUN_LIMIT_S, check=True)
    began = time.monotonic()
    for _ in range(CONVERSION_ROUNDS):
        text.decode("shift_jis").encode("iso2022_jp")
    python_rate = len(text) * CONVERSION_ROUNDS / 1e6 / (time.monotonic() - began)
    print("conversion of %d bytes of Shift_JIS text, %d rounds:" % (len(text), CONVERSION_ROUNDS))
    print("  SjisToJis + EncodeWords: %s" % bench.stdout.strip())
    print("  Python shift_jis -> iso2022_jp codecs: %.1f MB/s" % python_rate)
    folder.cleanup()


if __name__ == "__main__":
    main()
