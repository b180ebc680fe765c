#!/usr/bin/env python3
"""The Debian package of the native mapper: its control fields and files,
lintian without errors, and its whole life in a throw-away root (an overlay
of this machine's root, inside the sandbox): installing makes the service's
user and state folder and enables the unit, which systemd-analyze verify
accepts; the mapper, started as the unit starts it (its user, environment,
folder, umask and command line, without new privileges and with only the
state folder writable), listens on 127.0.0.1 only, as the install set it,
logs a front end in to a real telnet server, keeps its log when asked and
ends on the unit's stop commands, even with another user's segment in
/dev/shm; purging then leaves nothing of the package behind.

Usage: deb_test.py --deb vntrmap_VERSION_ARCH.deb [unittest arguments]
It runs itself again inside scripts/sandbox, where it may mount and chroot.
"""
import argparse
import contextlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from netutil import wait_for  # noqa: E402
from telnet_peers import (TEST_PASSWORD, TEST_USER, FrontEnd,  # noqa: E402
                          InetutilsTelnetd, listening)

DEB = None
UNIT = "/lib/systemd/system/vntrmap.service"
STATE = "/var/lib/vntr"
SEGMENT = "/run/vntrmap/vantor_shared_segment"
SHARED_MEMORY_SEGMENT = "/dev/shm/vantor_shared_segment"
NOBODY = 65534
PORT = 23000
LIMIT = 30


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, timeout=120, **options)


def version_and_arch():
    return re.fullmatch(r"vntrmap_(.+)_(.+)\.deb", os.path.basename(DEB)).groups()


class PackageFilesTest(unittest.TestCase):
    def test_control_fields_and_files(self):
        version, arch = version_and_arch()
        info = run("dpkg-deb", "--info", DEB)
        self.assertEqual(info.returncode, 0, info.stderr)
        fields = dict(re.findall(r"^ (\S+): (.*)$", info.stdout, re.M))
        self.assertEqual((fields["Package"], fields["Version"], fields["Architecture"]),
                         ("vntrmap", version, arch))
        depends = {d.split()[0] for d in fields["Depends"].split(", ")}
        self.assertLessEqual({"libc6", "libstdc++6", "adduser"}, depends)

        contents = run("dpkg-deb", "--contents", DEB).stdout.splitlines()
        entries = {(line.split()[0], line.split()[1], " ".join(line.split()[5:]))
                   for line in contents if not line.startswith("d")}
        file, program = ("-rw-r--r--", "root/root"), ("-rwxr-xr-x", "root/root")
        self.assertEqual(entries, {
            (*file, "./lib/systemd/system/vntrmap.service"),
            (*program, "./usr/lib/vntrmap/vntrmap"),
            (*program, "./usr/lib/vntrmap/vntrreg"),
            (*file, "./usr/lib/vntrmap/libseghub.so"),
            ("lrwxrwxrwx", "root/root", "./usr/sbin/vntrmap -> ../lib/vntrmap/vntrmap"),
            ("lrwxrwxrwx", "root/root", "./usr/sbin/vntrreg -> ../lib/vntrmap/vntrreg"),
            (*file, "./usr/share/doc/vntrmap/README.gz"),
            (*file, "./usr/share/doc/vntrmap/changelog.gz"),
            (*file, "./usr/share/doc/vntrmap/copyright"),
            (*file, "./usr/share/man/man8/vntrmap.8.gz"),
            (*file, "./usr/share/man/man8/vntrreg.8.gz")})

    def test_lintian_reports_no_errors(self):
        lintian = run("lintian", "--allow-root", "--fail-on", "error", DEB)
        print(lintian.stdout, end="")
        self.assertEqual(lintian.returncode, 0, lintian.stdout + lintian.stderr)


class ThrowAwayRoot:
    """This machine's root under an overlay whose changes go to a tmpfs
    (`upper`), with its own /proc, /dev/shm, /run and /tmp; gone at exit."""

    def __enter__(self):
        self.base = tempfile.mkdtemp(prefix="deb-root-")
        self.mount("-t", "tmpfs", "tmpfs", self.base)
        self.upper, work, self.root = (os.path.join(self.base, name)
                                       for name in ("upper", "work", "root"))
        for folder in (self.upper, work, self.root):
            os.mkdir(folder)
        self.mount("-t", "overlay", "overlay", "-o",
                   f"lowerdir=/,upperdir={self.upper},workdir={work}", self.root)
        self.mount("-t", "proc", "proc", self.path("/proc"))
        self.mount("--rbind", "/sys", self.path("/sys"))
        self.mount("--rbind", "/dev", self.path("/dev"))
        for folder in ("/dev/shm", "/run", "/tmp"):
            self.mount("-t", "tmpfs", "-o", "mode=1777", "tmpfs", self.path(folder))
        return self

    def __exit__(self, *_):
        subprocess.run(["umount", "-R", self.base], capture_output=True)
        shutil.rmtree(self.base, ignore_errors=True)

    @staticmethod
    def mount(*arguments):
        subprocess.run(["mount", *arguments], check=True, capture_output=True)

    def path(self, inside):
        return os.path.join(self.root, inside.lstrip("/"))

    def run(self, *command):
        return run("chroot", self.root, *command)

    def account(self, name):
        """The passwd entry of name inside, or None."""
        found = self.run("getent", "passwd", name)
        return found.stdout.strip().split(":") if found.returncode == 0 else None


def service_settings(unit_text):
    """The [Service] settings of a unit: each key with its values in order."""
    settings, section = {}, None
    for line in unit_text.splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line
        elif section == "[Service]" and "=" in line and not line.startswith("#"):
            key, value = line.split("=", 1)
            settings.setdefault(key, []).append(value)
    return settings


class ServiceLifeTest(unittest.TestCase):
    def setUp(self):
        self.box = self.enterContext(ThrowAwayRoot())
        shutil.copy(DEB, self.box.path("/tmp"))
        installed = self.box.run("dpkg", "-i", "/tmp/" + os.path.basename(DEB))
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
        with open(self.box.path(UNIT)) as f:
            self.unit = service_settings(f.read())
        # As systemd makes the unit's RuntimeDirectory= before it starts.
        account = self.box.account(self.unit["User"][0])
        for name in self.unit.get("RuntimeDirectory", []):
            os.mkdir(self.box.path("/run/" + name), int(self.unit["RuntimeDirectoryMode"][0], 8))
            os.chown(self.box.path("/run/" + name), int(account[2]), int(account[3]))

    def as_the_unit(self, command, **options):
        """command inside, as the unit runs its commands: its user and group,
        no new privileges and no capabilities, its environment only, in its
        working folder, with its umask."""
        user, group = self.unit["User"][0], self.unit["Group"][0]
        argv = ["chroot", self.box.root, "setpriv", f"--reuid={user}", f"--regid={group}",
                "--init-groups", "--no-new-privs", "--inh-caps=-all", "--bounding-set=-all",
                "env", "-i", "-C", self.unit["WorkingDirectory"][0],
                *self.unit.get("Environment", []), *command.split()]
        return subprocess.Popen(argv, umask=int(self.unit["UMask"][0], 8), **options)

    def test_install_serve_stop_and_purge(self):
        self.check_installed()
        open(self.box.path(STATE + "/drive_c/vntr.txt"), "w").close()
        with open(self.box.path(SHARED_MEMORY_SEGMENT), "wb") as squat:  # another user's
            squat.truncate(4096)
            os.fchown(squat.fileno(), NOBODY, NOBODY)
        with self.only_state_writable(), InetutilsTelnetd() as server:
            mapper = self.as_the_unit(self.unit["ExecStart"][0], stdout=subprocess.DEVNULL)
            self.addCleanup(lambda: mapper.poll() is not None or mapper.kill())
            self.assertTrue(wait_for(lambda: listening(PORT) or mapper.poll() is not None,
                                     LIMIT) and mapper.poll() is None, "the mapper did not serve")
            self.check_listening_on_loopback_only()
            self.check_login(server.port)
            self.assertEqual(self.stop_as_the_unit(mapper), 0)
        self.check_state_written()

        purged = self.box.run("dpkg", "--purge", "vntrmap")
        self.assertEqual(purged.returncode, 0, purged.stdout + purged.stderr)
        self.assertIsNone(self.box.account("vntrmap"))
        self.assertNotEqual(self.box.run("getent", "group", "vntrmap").returncode, 0)
        # The other user's segment is left alone.
        self.assertEqual(os.stat(self.box.path(SHARED_MEMORY_SEGMENT)).st_uid, NOBODY)
        self.assertEqual(self.changed_paths_named("vntr"), [])

    def check_installed(self):
        account = self.box.account(self.unit["User"][0])
        self.assertIsNotNone(account, "no service user")
        self.assertLess(int(account[2]), 1000)
        self.assertEqual((account[5], account[6]), (STATE, "/usr/sbin/nologin"))
        for folder in (STATE, STATE + "/drive_c"):
            status = os.stat(self.box.path(folder))
            self.assertEqual((status.st_uid, status.st_mode & 0o777), (int(account[2]), 0o700))
        self.assertTrue(os.path.islink(
            self.box.path("/etc/systemd/system/multi-user.target.wants/vntrmap.service")))
        verify = self.box.run("systemd-analyze", "verify", UNIT)
        self.assertEqual((verify.returncode, verify.stdout + verify.stderr), (0, ""))

    @contextlib.contextmanager
    def only_state_writable(self):
        """The root read-only but for the state folder, as the unit's
        ProtectSystem=strict with StateDirectory= leaves it."""
        state = self.box.path(STATE)
        subprocess.run(["mount", "--bind", state, state], check=True)
        subprocess.run(["mount", "-o", "remount,bind,ro", self.box.root], check=True)
        try:
            yield
        finally:
            subprocess.run(["mount", "-o", "remount,bind,rw", self.box.root], check=True)
            subprocess.run(["umount", state], check=True)

    def check_listening_on_loopback_only(self):
        with open("/proc/net/tcp") as f:
            self.assertNotIn(f" 00000000:{PORT:04X} 00000000:0000 0A ", f.read())

    def check_login(self, telnet_port):
        with FrontEnd(PORT) as front:
            self.assertEqual(front.login(TEST_USER, TEST_PASSWORD, service=telnet_port), "ok")
            self.assertIsNotNone(front.read_until("$ "), front.pending)
            front.data("echo pkg$((6*7))")
            self.assertIsNotNone(front.read_until("pkg42"), front.pending)
            front.logout()

    def stop_as_the_unit(self, mapper):
        """Runs the unit's stop commands in order, as systemd does, reaping
        the mapper meanwhile; returns the mapper's exit code."""
        deadline = time.monotonic() + LIMIT
        for command in self.unit["ExecStop"]:
            stop = self.as_the_unit(command.replace("${MAINPID}", str(mapper.pid)),
                                    stdout=subprocess.DEVNULL)
            while stop.poll() is None and time.monotonic() < deadline:
                mapper.poll()
                time.sleep(0.05)
            self.assertEqual(stop.poll(), 0, f"{command} did not end well")
        return mapper.wait(timeout=1)

    def check_state_written(self):
        with open(self.box.path(STATE + "/mapper.log"), "rb") as f:
            log = f.read()
        self.assertIn(b"] mapper started....\n", log)
        self.assertTrue(log.endswith(b"] mapper ended....\n"), log[-200:])
        with open(self.box.path(STATE + "/drive_c/log.log")) as f:
            self.assertTrue(f.read().startswith(f"log file name: {STATE}/mapper.log, fp = "))
        status = os.stat(self.box.path(STATE + "/mapper.log"))
        self.assertEqual(status.st_mode & 0o777, 0o600)
        self.assertEqual(os.stat(self.box.path(SEGMENT)).st_uid, status.st_uid)

    def changed_paths_named(self, word):
        """Paths the root gained or changed whose names hold word; man-db's
        cache of formatted pages, which it expires itself, aside."""
        found = []
        for folder, folders, files in os.walk(self.box.upper):
            inside = os.path.relpath(folder, self.box.upper)
            found += [os.path.join(inside, name) for name in folders + files
                      if word in name and not inside.startswith("var/cache/man")]
        return found


def main():
    global DEB
    parser = argparse.ArgumentParser()
    parser.add_argument("--deb", required=True)
    parser.add_argument("--inside", action="store_true")
    known, rest = parser.parse_known_args()
    if not known.inside:
        sandbox = os.path.join(HERE, "..", "..", "scripts", "sandbox")
        sys.exit(subprocess.run([sandbox, "--private-shm", sys.executable,
                                 os.path.abspath(__file__), "--inside", *sys.argv[1:]]).returncode)
    DEB = os.path.abspath(known.deb)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
