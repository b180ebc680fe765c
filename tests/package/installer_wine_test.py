#!/usr/bin/env python3
"""The Windows installer under Wine, on a fresh prefix: a silent install lays
out the zip's files, the Start-menu entries and the uninstall key, with the
version of the file names in every binary, and leaves the product's key
alone; the entries start the installed mapper (on its default port, in a
folder every user may write, ended by -stop) and the wizard (its first page); the silent uninstall then leaves
nothing of ours, the product's key untouched. Prints the installer's figures.

Usage: installer_wine_test.py --installer SETUP.exe --zip ZIP --driver wizdriver.exe
It runs itself again inside scripts/sandbox, with a Wine prefix, a home and a
wineserver of its own.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "..", "..", "scripts")
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "wizard"))
import pathcaster_wine_test  # noqa: E402
from netutil import wait_for  # noqa: E402
from telnet_peers import listening  # noqa: E402

INSTALLER = ZIP = None
FOLDER = r"C:\Program Files\Tarvik\Vantor Companion"
MAPPER_FOLDER = r"C:\ProgramData\Tarvik\Vantor Companion"
GUIDES = ("README-en.txt", "README-ja.txt")
MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Vantor Companion"
MAPPER_LINK = "Vantor Mapper for TELNET (23000).lnk"
WIZARD_LINK = "VNTRLINK.lnk"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VantorCompanion"
PRODUCT_KEY = r"HKLM\SOFTWARE\Tarvik\Vantor"
WIZARD_KEY = r"HKLM\SOFTWARE\Tarvik\Vantor Vntrlink"
PROGRAMS = ("vntrmap.exe", "seghub.dll", "pathcaster.exe")
OURS = re.compile(r"vntrmap|seghub|pathcaster|vantor companion|mapper\.log", re.I)
LIMIT = 60


def wine(*arguments):
    return subprocess.run(["wine", *arguments], capture_output=True, timeout=LIMIT)


def start_entry(link):
    """Starts a Start-menu entry as the shell does; the program runs on
    with our output closed."""
    return subprocess.run(["wine", "start", MENU + "\\" + link], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=LIMIT).returncode


def unix_path(windows_path):
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    return os.path.join(drive_c, *windows_path[3:].split("\\"))


def registry_values(key, view="64"):
    """The values of a key as {name: data}, or None when it does not exist."""
    run = wine("reg", "query", key, "/reg:" + view)
    if run.returncode != 0:
        return None
    rows = (re.match(r"^ {4}(.*?) {4}REG_\w+ {4}(.*)$", line)
            for line in run.stdout.decode("cp932").splitlines())
    return {row[1]: row[2] for row in rows if row}


def file_version(path):
    """The file version of a Windows binary's version resource."""
    with open(path, "rb") as f:
        data = f.read()
    fixed = data.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0:
        return None
    most, least = struct.unpack_from("<II", data, fixed + 8)
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}"


def running(program):
    """True while a process of this namespace runs program."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if program.encode() in f.read():
                    return True
        except OSError:
            pass
    return False


def ours_in_prefix():
    """Every file or folder of the prefix's drive C that carries our names."""
    root = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    return [os.path.join(folder, name)
            for folder, folders, files in os.walk(root)
            for name in folders + files if OURS.search(name)]


class InstallerTest(unittest.TestCase):
    def setUp(self):
        self.version = re.search(r"-(\d+\.\d+\.\d+)-", os.path.basename(INSTALLER))[1]
        self.figures = {"installer size": f"{os.path.getsize(INSTALLER)} bytes",
                        "zip size": f"{os.path.getsize(ZIP)} bytes"}
        self.addCleanup(self.print_figures)

    def print_figures(self):
        for name, value in self.figures.items():
            print(f"figure: {name}: {value}")

    def test_silent_install_use_and_uninstall(self):
        began = time.monotonic()
        self.assertEqual(wine(INSTALLER, "/S").returncode, 0)
        self.figures["silent install under Wine"] = f"{time.monotonic() - began:.2f} s"
        self.check_installed()
        for view in ("32", "64"):
            self.assertIsNone(registry_values(PRODUCT_KEY, view),
                              "the installer made the product key")

        product = {"InstallDir": r"C:\Vantor"}
        # Where the product's 32-bit setup leaves it on 64-bit Windows.
        self.assertEqual(wine("reg", "add", PRODUCT_KEY, "/v", "InstallDir", "/d",
                              product["InstallDir"], "/f", "/reg:32").returncode, 0)
        self.check_mapper_entry()
        self.check_wizard_entry()

        # The wizard's own settings, as it keeps them once used.
        self.assertEqual(wine("reg", "add", WIZARD_KEY + r"\5.5", "/v", "fromaddr", "/d",
                              "a@example.test", "/f", "/reg:32").returncode, 0)
        began = time.monotonic()
        self.assertEqual(wine(unix_path(FOLDER + r"\uninstall.exe"), "/S").returncode, 0)
        # The uninstaller runs on from a copy of itself, as on Windows.
        self.assertTrue(wait_for(lambda: registry_values(UNINSTALL_KEY) is None
                                 and not os.path.exists(unix_path(FOLDER)), LIMIT),
                        "the uninstaller did not finish")
        self.figures["silent uninstall under Wine"] = f"{time.monotonic() - began:.2f} s"
        self.assertEqual(ours_in_prefix(), [])
        self.assertFalse(os.path.exists(unix_path(r"C:\Program Files\Tarvik")))
        self.assertFalse(os.path.exists(unix_path(r"C:\ProgramData\Tarvik")))
        self.assertIsNone(registry_values(WIZARD_KEY, "32"))
        self.assertEqual(registry_values(PRODUCT_KEY, "32"), product)

    def check_installed(self):
        folder = unix_path(FOLDER)
        self.assertEqual(sorted(os.listdir(folder)),
                         sorted([*PROGRAMS, *GUIDES, "uninstall.exe"]))
        with zipfile.ZipFile(ZIP) as archive:
            names = [n for n in archive.namelist() if not n.endswith("/")]
            self.assertEqual(sorted(os.path.basename(n) for n in names),
                             sorted([*PROGRAMS, *GUIDES]))
            for name in names:
                with open(os.path.join(folder, os.path.basename(name)), "rb") as f:
                    self.assertEqual(f.read(), archive.read(name), name)
        for binary in [INSTALLER, *(os.path.join(folder, p) for p in [*PROGRAMS, "uninstall.exe"])]:
            self.assertEqual(file_version(binary), self.version, binary)
        self.assertEqual(sorted(os.listdir(unix_path(MENU))), sorted([MAPPER_LINK, WIZARD_LINK]))

        key = registry_values(UNINSTALL_KEY)
        self.assertIsNotNone(key, "no uninstall key")
        uninstaller = f'"{FOLDER}\\uninstall.exe"'
        self.assertEqual({name: key.get(name) for name in (
            "DisplayName", "DisplayVersion", "Publisher", "InstallLocation",
            "UninstallString", "QuietUninstallString")}, {
            "DisplayName": "Vantor Companion Programs", "DisplayVersion": self.version,
            "Publisher": "Tarvik", "InstallLocation": FOLDER,
            "UninstallString": uninstaller, "QuietUninstallString": uninstaller + " /S"})
        installed = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder))
        self.figures["installed size"] = (f"{installed} bytes "
                                          f"(uninstall key: {int(key['EstimatedSize'], 16)} KB)")

    def check_mapper_entry(self):
        """The mapper's entry serves port 23000 from its own folder, where
        its log switch ("c:vntr.txt") and log are; -stop ends it."""
        open(unix_path(MAPPER_FOLDER + r"\vntr.txt"), "w").close()
        self.assertEqual(start_entry(MAPPER_LINK), 0)
        self.assertTrue(wait_for(lambda: listening(23000), LIMIT), "the mapper did not serve")
        self.assertEqual(wine(unix_path(FOLDER + r"\vntrmap.exe"), "-stop").returncode, 0)
        self.assertTrue(wait_for(lambda: not running("vntrmap.exe"), LIMIT),
                        "the mapper did not stop")
        self.assertFalse(listening(23000))
        with open(unix_path(MAPPER_FOLDER + r"\mapper.log"), "rb") as f:
            self.assertTrue(f.read().endswith(b"] mapper ended....\r\n"))

    def check_wizard_entry(self):
        driver = pathcaster_wine_test.Driver()
        self.addCleanup(driver.close)
        self.assertEqual(start_entry(WIZARD_LINK), 0)
        driver.ok(f"sheet {LIMIT} VNTRLINK")
        self.assertEqual(driver.ok("page"), "101")
        driver.ok("close")
        self.assertTrue(wait_for(lambda: not running("pathcaster.exe"), LIMIT),
                        "the wizard did not end")


def run_in_sandbox(arguments):
    """The script again, inside the sandbox, with a fresh Wine prefix."""
    inside = ('export HOME="$TMPDIR/home" WINEPREFIX="$TMPDIR/prefix"; mkdir -p "$HOME"; '
              'source "$0"; trap wine_env_stop EXIT; '
              # Links made in the Start menu would become menu entries of the desktop.
              'export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"; "$@"')
    command = [os.path.join(SCRIPTS, "sandbox"), "--private-shm", "bash", "-c", inside,
               os.path.join(SCRIPTS, "wine-env.sh"), sys.executable, os.path.abspath(__file__),
               "--inside", *arguments]
    return subprocess.run(command).returncode


def main():
    global INSTALLER, ZIP
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--zip", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--inside", action="store_true")
    known, rest = parser.parse_known_args()
    if not known.inside:
        sys.exit(run_in_sandbox(sys.argv[1:]))
    INSTALLER, ZIP = os.path.abspath(known.installer), os.path.abspath(known.zip)
    pathcaster_wine_test.DRIVER = os.path.abspath(known.driver)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
