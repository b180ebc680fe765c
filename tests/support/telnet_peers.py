"""Peers of the mapper's sessions, for tests and measurements.

- Real telnet servers (`InetutilsTelnetd`, `BusyboxTelnetd`) with a test user
  that exists only in a private mount namespace: the servers run under
  `unshare --mount --pid` with copies of /etc/passwd, /etc/shadow, /etc/group
  and /etc/pam.d bind-mounted over the real ones, so the machine's own files
  are never written, and a wrong password fails at once.
- `ScriptedTelnetServer`: a loopback server that plays a script of steps
  (send, expect, sleep, close) and records every byte the client sent.
- `FrontEnd`: a client of the mapper's request protocol.

Everything listens on and connects to 127.0.0.1 only.
"""
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

from netutil import free_port, wait_for

LOOPBACK = "127.0.0.1"
TEST_USER = "vntrtest"
TEST_PASSWORD = "Vt.pass-42"

READY_LIMIT_S = 10.0
STOP_LIMIT_S = 5.0

# ---------------------------------------------------------------------------
# The test user and its private mount namespace

# Only pam_unix, without its failure delay and without pam_faildelay: a wrong
# password is refused at once instead of after 2-3 seconds.
PAM_LOGIN = """auth     required pam_unix.so nullok nodelay
account  required pam_unix.so
password required pam_unix.so
session  required pam_unix.so
"""

# Runs inside the new mount and PID namespaces: the copies cover the real
# files for this namespace only; login records and the user's home (with
# .hushlogin, for output without notices) live on private tmpfs mounts.
SANDBOX_SCRIPT = r"""
set -e
dir=$1 uid=$2; shift 2
for f in passwd shadow group; do mount --bind "$dir/etc/$f" "/etc/$f"; done
mount --bind "$dir/etc/pam.d" /etc/pam.d
mount -t tmpfs tmpfs /var/log
mount -t tmpfs -o mode=755 tmpfs /home
mkdir "/home/$USER_NAME"
touch "/home/$USER_NAME/.hushlogin"
chown -R "$uid:$uid" "/home/$USER_NAME"
exec "$@"
"""


def _free_id(used):
    candidate = 47000
    while candidate in used:
        candidate += 1
    return candidate


def _ids_in(path):
    with open(path) as f:
        return {int(line.split(":")[2]) for line in f if line.count(":") >= 3}


def _password_hash(password):
    run = subprocess.run(["openssl", "passwd", "-6", "-stdin"], input=password.encode(),
                         capture_output=True, check=True)
    return run.stdout.decode().strip()


def prepare_sandbox(folder, user=TEST_USER, password=TEST_PASSWORD):
    """Writes the private /etc files below folder; returns the user's uid."""
    etc = os.path.join(folder, "etc")
    uid = _free_id(_ids_in("/etc/passwd") | _ids_in("/etc/group"))
    os.makedirs(etc)
    for name in ("passwd", "shadow", "group"):
        shutil.copy2(os.path.join("/etc", name), os.path.join(etc, name))
    with open(os.path.join(etc, "passwd"), "a") as f:
        f.write(f"{user}:x:{uid}:{uid}:session test user:/home/{user}:/bin/sh\n")
    with open(os.path.join(etc, "group"), "a") as f:
        f.write(f"{user}:x:{uid}:\n")
    with open(os.path.join(etc, "shadow"), "a") as f:
        f.write(f"{user}:{_password_hash(password)}:19000:0:99999:7:::\n")
    shutil.copytree("/etc/pam.d", os.path.join(etc, "pam.d"), symlinks=True)
    with open(os.path.join(etc, "pam.d", "login"), "w") as f:
        f.write(PAM_LOGIN)
    return uid


def proc_shows_own_pids():
    """True when /proc belongs to this PID namespace (as inside
    scripts/sandbox); otherwise its numbers name others."""
    try:
        return os.readlink("/proc/self") == str(os.getpid())
    except OSError:
        return False


def listening(port):
    """True when a socket of this network namespace listens on port of
    127.0.0.1 or of every address (read from /proc, so no connection is made
    that a server would take for a client)."""
    wanted = {f"0100007F:{port:04X}", f"00000000:{port:04X}"}
    try:
        with open("/proc/net/tcp") as f:
            rows = [r.split() for r in f.read().splitlines()[1:]]
    except OSError:
        return False
    return any(r[1] in wanted and r[3] == "0A" for r in rows)


class _SandboxedServer:
    """A telnet server in its own mount and PID namespaces; the context
    manager starts it on a free port and kills the whole namespace at exit."""

    def __init__(self, user=TEST_USER, password=TEST_PASSWORD, port=None):
        self.user, self.password = user, password
        self.port = port or free_port()
        self.process = None
        self.folder = None

    def command(self):
        raise NotImplementedError

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="telnet-peer-")
        uid = prepare_sandbox(self.folder, self.user, self.password)
        self.log_path = os.path.join(self.folder, "server.log")
        log = open(self.log_path, "wb")
        # --kill-child: when unshare dies, the namespace's first process dies,
        # and with it every telnetd, login and shell the server started.
        argv = ["unshare", "--mount", "--propagation", "private", "--pid", "--fork",
                "--kill-child", "--mount-proc", "bash", "-c", SANDBOX_SCRIPT, "sandbox",
                self.folder, str(uid), *self.command()]
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                        env=dict(os.environ, USER_NAME=self.user),
                                        start_new_session=True)
        log.close()
        if not wait_for(lambda: listening(self.port) or self.process.poll() is not None,
                        READY_LIMIT_S) or self.process.poll() is not None:
            self.stop()
            raise RuntimeError(f"{type(self).__name__} did not start: {self.log()}")
        return self

    def __exit__(self, *exc):
        self.stop()

    def log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            # The namespace's first process ignores SIGTERM from outside
            # (busybox sets no handler): SIGKILL ends it, and with it every
            # login and shell of the namespace; unshare reaps it and exits.
            pid = self.process.pid
            children = []
            if proc_shows_own_pids():
                try:
                    with open(f"/proc/{pid}/task/{pid}/children") as f:
                        children = [int(c) for c in f.read().split()]
                except OSError:
                    pass
            for child in children:
                os.kill(child, signal.SIGKILL)
            try:
                self.process.wait(timeout=STOP_LIMIT_S if children else 0)
            except subprocess.TimeoutExpired:
                os.killpg(pid, signal.SIGKILL)
                self.process.wait()
        if self.folder is not None:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None


class InetutilsTelnetd(_SandboxedServer):
    """Full negotiation: TTYPE, XDISPLOC, NEW- and OLD-ENVIRON, NAWS."""

    def command(self):
        return ["socat", f"TCP-LISTEN:{self.port},bind={LOOPBACK},reuseaddr,fork,backlog=128",
                "EXEC:/usr/sbin/telnetd -h,nofork"]


class BusyboxTelnetd(_SandboxedServer):
    """Minimal negotiation (ECHO, SGA, NAWS), prompt after a few ms."""

    def command(self):
        return ["busybox", "telnetd", "-F", "-p", str(self.port), "-b", LOOPBACK,
                "-l", "/bin/login", "-f", "/dev/null"]


# ---------------------------------------------------------------------------
# Scripted server


class Send:
    def __init__(self, data):
        self.data = data


class Expect:
    """Waits until the client has sent data (after what earlier expects
    matched); fails the connection's script after timeout seconds."""

    def __init__(self, data, timeout=5.0):
        self.data, self.timeout = data, timeout


class Sleep:
    def __init__(self, seconds):
        self.seconds = seconds


class Quiet:
    """Fails the connection's script if the client sends anything within
    seconds (a prompt that must not be answered)."""

    def __init__(self, seconds):
        self.seconds = seconds


class Close:
    pass


def pieces(data, size, gap):
    """Steps that send data in pieces of size bytes, gap seconds apart."""
    steps = []
    for i in range(0, len(data), size):
        steps += [Send(data[i:i + size]), Sleep(gap)]
    return steps[:-1]


class ScriptedConnection:
    """What one client did on a scripted connection."""

    def __init__(self):
        self.received = b""
        self.error = None       # the first step that failed, as text
        self.closed_by_client = None  # monotonic time of the client's close
        self.script_done = threading.Event()
        self.finished = threading.Event()


class ScriptedTelnetServer:
    """Listens on 127.0.0.1; each accepted connection plays the script. After
    the script (unless it closed), the server keeps reading until the client
    closes or the server stops, so everything the client sent is recorded."""

    def __init__(self, script, drain_limit_s=120.0):
        self.script = list(script)
        self.drain_limit_s = drain_limit_s
        self.connections = []
        self._stopping = threading.Event()
        self._threads = []
        self._listener = None
        self.port = None

    def __enter__(self):
        self._listener = socket.socket()
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind((LOOPBACK, 0))
        self._listener.listen(16)
        self._listener.settimeout(0.1)
        self.port = self._listener.getsockname()[1]
        self._start(self._accept_loop)
        return self

    def __exit__(self, *exc):
        self._stopping.set()
        for t in self._threads:
            t.join(timeout=5)
        self._listener.close()

    def _start(self, target, *args):
        t = threading.Thread(target=target, args=args, daemon=True)
        self._threads.append(t)
        t.start()

    def _accept_loop(self):
        while not self._stopping.is_set():
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            record = ScriptedConnection()
            self.connections.append(record)
            self._start(self._serve, conn, record)

    def wait_connection(self, index=0, timeout=10.0):
        if not wait_for(lambda: len(self.connections) > index, timeout):
            return None
        return self.connections[index]

    def _read_some(self, conn, record):
        try:
            data = conn.recv(4096)
        except socket.timeout:
            return True
        except OSError:
            data = b""
        if not data:
            record.closed_by_client = time.monotonic()
            return False
        record.received += data
        return True

    def _expect(self, conn, record, step, cursor):
        deadline = time.monotonic() + step.timeout
        while True:
            found = record.received.find(step.data, cursor)
            if found >= 0:
                return found + len(step.data)
            if self._stopping.is_set() or time.monotonic() > deadline:
                record.error = f"expected {step.data!r}, got {record.received[cursor:]!r}"
                return None
            if record.closed_by_client is not None:
                record.error = f"closed while expecting {step.data!r}"
                return None
            self._read_some(conn, record)

    def _quiet(self, conn, record, step):
        before = len(record.received)
        deadline = time.monotonic() + step.seconds
        while time.monotonic() < deadline and record.closed_by_client is None:
            self._read_some(conn, record)
            if len(record.received) > before:
                record.error = f"sent {record.received[before:]!r} where nothing was due"
                return False
        return True

    def _serve(self, conn, record):
        conn.settimeout(0.05)
        cursor = 0
        try:
            for step in self.script:
                if isinstance(step, Send):
                    conn.sendall(step.data)
                elif isinstance(step, Sleep):
                    time.sleep(step.seconds)
                elif isinstance(step, Expect):
                    cursor = self._expect(conn, record, step, cursor)
                    if cursor is None:
                        break
                elif isinstance(step, Quiet):
                    if not self._quiet(conn, record, step):
                        break
                elif isinstance(step, Close):
                    conn.shutdown(socket.SHUT_RDWR)
                    break
            record.script_done.set()
            deadline = time.monotonic() + self.drain_limit_s
            while (not self._stopping.is_set() and record.closed_by_client is None
                   and time.monotonic() < deadline):
                if not self._read_some(conn, record):
                    break
        except OSError as e:
            record.error = record.error or f"socket error {e}"
        finally:
            record.script_done.set()
            conn.close()
            record.finished.set()


# ---------------------------------------------------------------------------
# The mapper


class Mapper:
    """The mapper serving on a free port, in a folder that is its current
    directory and its VNTR_ROOT. The native program gets a private /dev/shm
    (a mount namespace of its own), so no other test's stop request reaches
    it; it is stopped with its own -stop run inside that namespace. wine=True
    runs the .exe under Wine, which shares one segment per wineserver."""

    def __init__(self, program, wine=False, log=False, env=None):
        self.program = os.path.abspath(program)
        self.wine = wine
        self.log = log
        self.env = dict(os.environ, **(env or {}))
        self.port = free_port()
        self.process = None
        self.exit_code = None

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="mapper-")
        os.makedirs(os.path.join(self.folder, "drive_c"))
        if self.log:
            open(self.marker_path(), "w").close()
        self.stderr_path = os.path.join(self.folder, "stderr")
        if self.wine:
            argv = ["wine", self.program, str(self.port)]
        else:
            argv = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                    'mount -t tmpfs tmpfs /dev/shm && exec "$0" "$@"', self.program,
                    str(self.port)]
        with open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(argv, cwd=self.folder, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=err,
                                            env=dict(self.env, VNTR_ROOT=self.folder))
        limit = 30 if self.wine else READY_LIMIT_S
        if not wait_for(lambda: listening(self.port) or self.process.poll() is not None, limit) \
                or self.process.poll() is not None:
            code = self.process.poll()
            self.kill()
            raise RuntimeError(f"mapper did not listen (exit code {code}): {self.stderr()}")
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.stop()
        if self.log and os.path.exists(self.marker_path()):
            os.remove(self.marker_path())
        shutil.rmtree(self.folder, ignore_errors=True)

    def marker_path(self):
        """The file that switches the log on: on drive C, which under Wine is
        the prefix's and shared by every Wine program."""
        drive_c = (os.path.join(os.environ["WINEPREFIX"], "drive_c") if self.wine
                   else os.path.join(self.folder, "drive_c"))
        return os.path.join(drive_c, "vntr.txt")

    def stop(self, limit=30.0):
        """Asks the mapper to stop; returns its exit code (None: killed)."""
        if self.wine:
            argv = ["wine", self.program, "-stop"]
        elif proc_shows_own_pids():
            argv = ["nsenter", "-t", str(self.process.pid), "-m", self.program, "-stop"]
        else:
            self.kill()
            return None
        try:
            subprocess.run(argv, cwd=self.folder, capture_output=True, timeout=limit,
                           env=dict(os.environ, VNTR_ROOT=self.folder))
            self.exit_code = self.process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            self.kill()
        return self.exit_code

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode(errors="replace")

    def sanitizer_report(self):
        """The sanitizer's report on standard error, or "" when it made none."""
        text = self.stderr()
        return text if "Sanitizer" in text or "runtime error:" in text else ""

    def log_text(self):
        try:
            with open(os.path.join(self.folder, "mapper.log"), "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    def front_end(self, timeout=10.0):
        return FrontEnd(self.port, timeout)


# ---------------------------------------------------------------------------
# Front end of the mapper


class _SocketClient:
    """A client connection held in `sock`, closed when its `with` ends."""

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class FrontEnd(_SocketClient):
    """One front-end connection to the mapper. Output the mapper forwards is
    kept in `pending` until a read takes it."""

    def __init__(self, port, timeout=10.0):
        self.sock = socket.create_connection((LOOPBACK, port), timeout=timeout)
        self.pending = b""
        self.closed = False

    def send_lines(self, *lines):
        self.sock.sendall(b"".join(_bytes(line) + b"\n" for line in lines))

    def login(self, user, password, host=LOOPBACK, service="23", tag="tag", timeout=10.0):
        """Sends DLOGIN; returns "ok", "ng", "closed" or "timeout"."""
        self.send_lines(b"DLOGIN", tag, user, password, host, str(service))
        return self.reply(timeout)

    def reply(self, timeout=10.0):
        self._fill(lambda: len(self.pending) >= 3, timeout)
        reply, self.pending = self.pending[:3], self.pending[3:]
        if reply in (b"ok\n", b"ng\n"):
            return reply[:2].decode()
        self.pending = reply + self.pending
        return "closed" if self.closed else "timeout"

    def data(self, line):
        self.send_lines(b"DDATA", line)

    def logout(self, text="bye"):
        self.send_lines(b"DLOGOUT", text)

    def read_until(self, marker, timeout=10.0):
        """Everything up to and including marker, or None when it did not come
        in time (the bytes stay pending)."""
        marker = _bytes(marker)
        self._fill(lambda: marker in self.pending, timeout)
        end = self.pending.find(marker)
        if end < 0:
            return None
        end += len(marker)
        taken, self.pending = self.pending[:end], self.pending[end:]
        return taken

    def read_for(self, seconds):
        """Everything that arrives within seconds (or until the close)."""
        self._fill(lambda: False, seconds)
        taken, self.pending = self.pending, b""
        return taken

    def wait_closed(self, timeout=10.0):
        """True when the mapper closed the connection within timeout."""
        self._fill(lambda: False, timeout)
        return self.closed

    def _fill(self, done, timeout):
        deadline = time.monotonic() + timeout
        while not done() and not self.closed:
            left = deadline - time.monotonic()
            if left <= 0:
                return
            self.sock.settimeout(left)
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                return
            except OSError:
                data = b""
            if not data:
                self.closed = True
            self.pending += data


def _bytes(text):
    return text if isinstance(text, bytes) else text.encode()


# ---------------------------------------------------------------------------
# Telnet command bytes, for the scripts of scripted servers

IAC, DONT, DO, WONT, WILL, SB, SE = 255, 254, 253, 252, 251, 250, 240
