#!/usr/bin/env python3
"""pathcaster.exe under Wine, driven through its real windows by
wizdriver.exe: the installation and single-instance checks with their exit
codes, and the detection page against real DNS servers on loopback, by the
adapter walk and, with a library missing, by the interface list.

Usage: pathcaster_wine_test.py --program pathcaster.exe --driver wizdriver.exe
           --dnsapi-stub dnsapi.dll [unittest arguments]
Started inside scripts/sandbox with the Wine environment of
scripts/wine-env.sh, it runs itself again inside a nested sandbox whose veth
carries the test address, with a wineserver of that namespace (Wine's
sockets and adapter list are the wineserver's).
"""
import argparse
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from netutil import wait_for  # noqa: E402
from wine_tls import run_with_own_wine  # noqa: E402

PROGRAM = DRIVER = DNSAPI_STUB = None
TEST_ADDRESS = "192.0.2.77"
TEST_HOST = "host77.example.test"
PRODUCT_KEY = r"HKLM\SOFTWARE\Tarvik\Vantor"
TITLE = "VNTRLINK"

NOT_INSTALLED = "Vantorがインストールされていません。"  # string 37
REDETECT = "再検出"  # string 3
CANCEL_DETECT = "中止"  # string 4
DETECTING = "検出中"  # string 17
DETECT_DONE = "検出が完了しました。”次へ”をクリックしてください。"  # string 5
DETECT_CANCELLED = "検出中止"  # string 6

WELCOME_PAGE, DETECTION_PAGE, CHOICE_PAGE = "101", "102", "103"
REPORT, DETECT_BUTTON, DETECT_STATUS, CANDIDATE_LIST = 1000, 1002, 1009, 1006

START_LIMIT = 30
DETECTION_LIMIT = 30
DRIVER_REPLY_LIMIT = 60


def wine(*arguments):
    return subprocess.run(["wine", *arguments], capture_output=True, timeout=60)


def set_installed(installed, view="32"):
    """The product key as a setup of that word size leaves it (a 32-bit one
    writes the 32-bit view of 64-bit Windows), or in neither view."""
    for each in ("32", "64"):
        wine("reg", "delete", PRODUCT_KEY, "/f", "/reg:" + each)
    if installed:
        run = wine("reg", "add", PRODUCT_KEY, "/f", "/reg:" + view)
        assert run.returncode == 0, run.stderr


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"r": "\r", "n": "\n"}.get(m.group(1), m.group(1)), text)


class Driver:
    """One wizdriver.exe, kept open; every command answers with one line."""

    def __init__(self):
        self.process = subprocess.Popen(["wine", DRIVER], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.pending = b""

    def ask(self, command):
        self.process.stdin.write(command.encode() + b"\n")
        self.process.stdin.flush()
        deadline = time.monotonic() + DRIVER_REPLY_LIMIT
        while b"\n" not in self.pending:
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([self.process.stdout], [], [], remaining)[0]:
                raise AssertionError(f"no answer to {command!r}")
            chunk = os.read(self.process.stdout.fileno(), 4096)
            if not chunk:
                raise AssertionError(f"driver ended at {command!r}")
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        status, _, result = line.decode().partition(" ")
        return status == "ok", unescape(result)

    def ok(self, command):
        success, result = self.ask(command)
        if not success:
            raise AssertionError(f"{command}: {result}")
        return result

    def close(self):
        self.process.stdin.close()
        self.process.stdout.close()
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class WizardCase(unittest.TestCase):
    def setUp(self):
        self.processes = []
        self.driver = Driver()
        self.addCleanup(self.driver.close)
        self.addCleanup(set_installed, False)

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()

    def spawn(self, command, **options):
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, **options)
        self.processes.append(process)
        return process

    def start_wizard(self, program=None, overrides=None):
        environment = dict(os.environ)
        if overrides:
            environment["WINEDLLOVERRIDES"] = ";".join(
                filter(None, [environment.get("WINEDLLOVERRIDES"), overrides]))
        return self.spawn(["wine", program or PROGRAM], env=environment)

    def open_wizard(self, **options):
        wizard = self.start_wizard(**options)
        self.driver.ok(f"sheet {START_LIMIT} {TITLE}")
        return wizard

    def wait_until(self, condition, seconds, what):
        self.assertTrue(wait_for(condition, seconds), what)

    def text(self, control):
        return self.driver.ok(f"text {control}")

    def wait_for_buttons(self, expected):
        """Pages post their button states to the sheet: they show a moment
        after the page's own texts."""
        self.wait_until(lambda: self.driver.ok("buttons") == expected, START_LIMIT,
                        f"the sheet's buttons never became: {expected}")

    def close_wizard(self, wizard):
        self.driver.ok("close")
        self.assertEqual(wizard.wait(timeout=START_LIMIT), 0)


class StartupTest(WizardCase):
    def foreground(self):
        success, title = self.driver.ask("foreground")
        return title if success else None

    def refused_start_shows_not_installed(self):
        wizard = self.start_wizard()
        self.driver.ok(f"box {START_LIMIT} {TITLE}")
        self.assertEqual(self.driver.ok("box-text"), NOT_INSTALLED)
        self.driver.ok("box-press 1")
        self.assertEqual(wizard.wait(timeout=START_LIMIT), 1)

    def test_not_installed_is_refused_with_exit_1_even_while_a_wizard_is_open(self):
        with self.subTest("no wizard open"):
            set_installed(False)
            self.refused_start_shows_not_installed()
        with self.subTest("a wizard open"):
            set_installed(True)
            first = self.open_wizard()
            set_installed(False)
            self.refused_start_shows_not_installed()
            self.assertEqual(self.driver.ok(f"count {TITLE}"), "1")
            self.close_wizard(first)

    def test_the_product_key_is_found_in_the_32_bit_view_and_else_in_the_64_bit_view(self):
        for view in ("32", "64"):
            with self.subTest(view=view):
                set_installed(True, view)
                self.close_wizard(self.open_wizard())

    def test_second_start_brings_the_open_wizard_to_the_front_and_exits_0(self):
        set_installed(True)
        first = self.open_wizard()
        other = self.spawn(["wine", "notepad"])
        self.wait_until(lambda: self.foreground() not in (None, TITLE), START_LIMIT,
                        "no other window came to the front")
        second = self.start_wizard()
        self.assertEqual(second.wait(timeout=START_LIMIT), 0)
        self.assertEqual(self.foreground(), TITLE)
        self.assertEqual(self.driver.ok(f"count {TITLE}"), "1")
        other.kill()
        self.close_wizard(first)


class DnsServer:
    """A program serving (or swallowing) DNS on 127.0.0.1:53 while in use."""

    def __init__(self, command):
        self.command = command

    def __enter__(self):
        self.process = subprocess.Popen(self.command, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        if not wait_for(self.bound, 10):
            self.__exit__()
            raise AssertionError(f"{self.command[0]} did not bind 127.0.0.1:53")
        return self

    def __exit__(self, *_):
        self.process.kill()
        self.process.wait()

    @staticmethod
    def bound():
        with open("/proc/net/udp") as table:
            return any(line.split()[1] == "0100007F:0035" for line in table.readlines()[1:])


def dnsmasq():
    return DnsServer(["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--no-resolv",
                      "--no-hosts", "--no-poll", "--user=root", "--pid-file=",
                      "--listen-address=127.0.0.1", "--bind-interfaces", "--port=53",
                      "--ptr-record=77.2.0.192.in-addr.arpa," + TEST_HOST,
                      "--local=/2.0.192.in-addr.arpa/"])


def silent_server():
    return DnsServer(["socat", "-u", "UDP-RECV:53,bind=127.0.0.1", "OPEN:/dev/null"])


class DetectionTest(WizardCase):
    def setUp(self):
        super().setUp()
        set_installed(True)

    def open_detection_page(self, **options):
        """The wizard, from its welcome page on to the detection page,
        where the detection starts at once."""
        wizard = self.open_wizard(**options)
        self.assertEqual(self.driver.ok("page"), WELCOME_PAGE)
        self.wait_for_buttons("next cancel")
        self.driver.ok("press next")
        self.wait_until(lambda: self.driver.ok("page") == DETECTION_PAGE, START_LIMIT,
                        "the detection page did not open")
        return wizard

    def finished_report(self):
        self.wait_until(lambda: self.text(DETECT_STATUS) == DETECT_DONE, DETECTION_LIMIT,
                        "the detection did not finish")
        self.assertEqual(self.text(DETECT_BUTTON), REDETECT)
        self.wait_for_buttons("back next cancel")
        return self.text(REPORT)

    def test_adapter_walk_asks_the_adapters_dns_server_and_reports_the_name(self):
        with dnsmasq():
            wizard = self.open_detection_page()
            report = self.finished_report()
        self.assertRegex(report, r"AdapterName : [^\r\n]+ \r\n" + re.escape(
            "DNS server 1 : 127.0.0.1\r\n"
            f"Associated IP address found : {TEST_ADDRESS} \r\n"
            "Contact DNS server 1 : 127.0.0.1\r\n"
            f"Address {TEST_ADDRESS} resolved...\r\nHostname : {TEST_HOST}\r\n"))
        self.close_wizard(wizard)

    def test_cancel_during_a_query_ends_the_detection_without_a_table_report(self):
        contact = "Contact DNS server 1 : 127.0.0.1\r\n"
        with silent_server():
            self.open_detection_page()
            # The query now waits up to 2 s for an answer that never comes.
            self.wait_until(lambda: contact in self.text(REPORT), DETECTION_LIMIT,
                            "no DNS server was contacted")
            self.assertEqual(self.text(DETECT_STATUS), DETECTING)
            self.assertEqual(self.text(DETECT_BUTTON), CANCEL_DETECT)
            self.wait_for_buttons("next cancel")
            self.driver.ok(f"click {DETECT_BUTTON}")
            self.wait_until(lambda: self.text(DETECT_STATUS) == DETECT_CANCELLED,
                            DETECTION_LIMIT, "the detection did not end as cancelled")
        self.assertEqual(self.text(DETECT_BUTTON), REDETECT)
        self.wait_for_buttons("back next cancel")
        self.assertTrue(self.text(REPORT).endswith(contact), self.text(REPORT))

    def go_to(self, button, page):
        self.driver.ok(f"press {button}")
        self.wait_until(lambda: self.driver.ok("page") == page, START_LIMIT, f"no page {page}")

    def test_a_detection_reports_to_its_page_and_leaves_other_pages_buttons_alone(self):
        contact = "Contact DNS server 1 : 127.0.0.1\r\n"
        with silent_server():
            wizard = self.open_detection_page()
            self.wait_until(lambda: contact in self.text(REPORT), DETECTION_LIMIT, "no query")
            # While the query waits 2 s, the choice page opens with nothing to
            # offer: Back only, also after the detection has ended.
            self.go_to("next", CHOICE_PAGE)
            self.assertEqual(self.driver.ok(f"lines {CANDIDATE_LIST}"), "-1")
            for _ in range(60):
                self.assertEqual(self.driver.ok("buttons"), "back cancel")
                time.sleep(0.1)
            self.go_to("back", DETECTION_PAGE)
            # Next right behind the click: the new detection still writes here.
            self.driver.ok(f"post-next {DETECT_BUTTON}")
            self.wait_until(lambda: self.driver.ok("page") == CHOICE_PAGE, START_LIMIT, "no Next")
            self.go_to("back", DETECTION_PAGE)
            self.wait_until(lambda: self.text(REPORT).count(contact) == 2, DETECTION_LIMIT,
                            "the second detection did not report on its page")
            self.finished_report()
        self.close_wizard(wizard)

    def test_without_the_libraries_the_interface_list_leaves_out_loopback(self):
        # Wine's IPHLPAPI imports DNSAPI, so a DNSAPI that loads without
        # DnsQueryConfig can only be a DLL of our own beside the program.
        with tempfile.TemporaryDirectory() as folder:
            program = shutil.copy(PROGRAM, folder)
            shutil.copy(DNSAPI_STUB, os.path.join(folder, "dnsapi.dll"))
            cases = [("IPHLPAPI.DLL missing", {"overrides": "iphlpapi="}),
                     ("DnsQueryConfig missing", {"program": program, "overrides": "dnsapi=n,b"})]
            for case, options in cases:
                with self.subTest(case), dnsmasq():
                    wizard = self.open_detection_page(**options)
                    self.assertEqual(self.finished_report(),
                                     "There are 2 interfaces:\r\n"
                                     f"Address {TEST_ADDRESS} resolved...\r\n"
                                     f"Hostname : {TEST_HOST}\r\n")
                    self.close_wizard(wizard)


def run_in_test_network(arguments, script=__file__):
    """The script again, in a sandbox whose veth carries the test address
    and with a wineserver started there."""
    return run_with_own_wine(script, arguments, ("--addr", TEST_ADDRESS + "/24"))


def main():
    global PROGRAM, DRIVER, DNSAPI_STUB
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--dnsapi-stub", required=True)
    parser.add_argument("--inside", action="store_true")
    known, rest = parser.parse_known_args()
    if not known.inside:
        sys.exit(run_in_test_network(sys.argv[1:]))
    PROGRAM, DRIVER = os.path.abspath(known.program), os.path.abspath(known.driver)
    DNSAPI_STUB = os.path.abspath(known.dnsapi_stub)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
