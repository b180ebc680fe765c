"""Runs tests/mail/mail_tool natively or under Wine, with texts passed
through files so that every byte arrives as it is."""
import argparse
import os
import subprocess
import sys
import tempfile
import unittest


class MailTool:
    def __init__(self, program, wine=False):
        self.program = program
        self.wine = wine
        self.environment = None  # for the tool's runs; None: this process's
        self.folder = tempfile.TemporaryDirectory()
        self.count = 0

    def close(self):
        self.folder.cleanup()

    def _path(self, name):
        return os.path.join(self.folder.name, name)

    def _argument(self, path):
        # Wine's drive Z: is the Linux root.
        return "Z:" + path.replace("/", "\\") if self.wine else path

    def _run(self, arguments, timeout):
        command = ([ "wine"] if self.wine else []) + [self.program] + arguments
        return subprocess.run(command, capture_output=True, timeout=timeout, env=self.environment)

    def _input(self, data):
        self.count += 1
        path = self._path("in%d" % self.count)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def convert(self, operation, data):
        """The converted bytes, or None when the tool made no text."""
        source = self._input(data)
        target = self._path("out%d" % self.count)
        run = self._run([operation, self._argument(source), self._argument(target)], 60)
        if run.returncode == 3:
            return None
        if run.returncode != 0:
            raise RuntimeError("mail_tool %s failed: %r" % (operation, run))
        with open(target, "rb") as f:
            return f.read()

    def date(self):
        target = self._path("date%d" % self.count)
        self.count += 1
        run = self._run(["date", self._argument(target)], 60)
        if run.returncode != 0:
            raise RuntimeError("mail_tool date failed: %r" % (run,))
        with open(target, "rb") as f:
            return f.read()

    def _calls(self, operation, fields, count, reply_ms, timeout):
        """The words after "result " or "outcome ", one per call."""
        data = b"".join((f.encode("utf-8") if isinstance(f, str) else f) + b"\0" for f in fields)
        source = self._input(data)
        run = self._run([operation, self._argument(source), str(count), str(reply_ms)], timeout)
        if run.returncode != 0:
            raise RuntimeError("mail_tool %s failed: %r" % (operation, run))
        return [line.split()[1] for line in run.stdout.decode().splitlines()
                if line.split()[0] in ("result", "outcome")]

    def send(self, server, sender, to, cc, subject, body, count=1, reply_ms=0, timeout=120):
        """The SendMailMessage results, one per call."""
        return [int(r) for r in self._calls("send", [server, sender, to, cc, subject, body],
                                            count, reply_ms, timeout)]

    def submit(self, submission, server, sender, to, cc, subject, body, count=1, reply_ms=0,
               timeout=120):
        """The SubmitMail outcomes by name, one per call; submission holds
        port, security, user, password and clear (the password in clear)."""
        s = submission
        fields = [str(s.get("port", 0)), str(s.get("security", 0)), s.get("user", ""),
                  s.get("password", ""), "1" if s.get("clear") else "0",
                  server, sender, to, cc, subject, body]
        return self._calls("submit", fields, count, reply_ms, timeout)


def run_tests(install_tool):
    """Takes --tool PATH and --wine from the command line, hands the tool to
    install_tool, and runs the calling module's tests with the rest."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--wine", action="store_true")
    args, rest = parser.parse_known_args()
    tool = MailTool(args.tool, args.wine)
    install_tool(tool)
    try:
        unittest.main(module="__main__", argv=[sys.argv[0]] + rest, verbosity=2)
    finally:
        tool.close()
