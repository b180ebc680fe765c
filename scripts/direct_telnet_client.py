"""The baseline of scripts/measure-sessions.py: a telnet login done the
mapper's way, without the mapper. Imports telnet_peers from tests/support,
which the script puts on the path."""
import socket
import time

from telnet_peers import DO, DONT, IAC, LOOPBACK, SB, SE, WILL, WONT

ECHO, SGA, TTYPE, NAWS, XDISPLOC, OLD_ENVIRON, NEW_ENVIRON = 1, 3, 24, 31, 35, 36, 39
IS = 0

# The mapper's answers: to WILL, DO for ECHO and SGA; to DO, WILL for ECHO,
# TTYPE, NAWS, XDISPLOC and the first environment option; WONT/DONT else.
ACCEPTED_WILL = {ECHO, SGA}
ACCEPTED_DO = {ECHO, TTYPE, NAWS, XDISPLOC}
SUBNEGOTIATION_VALUE = {TTYPE: b"vt100", XDISPLOC: b":0.0"}
NAWS_80_BY_25 = bytes([IAC, SB, NAWS, 0, 80, 0, 25, IAC, SE])


class DirectTelnetClient:
    """Connects to a telnet server, answers its negotiation as the mapper
    does and types the user id and password at the same prompts."""

    def __init__(self, port, host=LOOPBACK, timeout=10.0):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.environ = None
        self.text = b""     # server output outside telnet commands
        self.login_text = b""
        self._raw = b""

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def login(self, user, password, password_delay=0.1, timeout=10.0):
        """True once the password was typed, as the mapper then says "ok".
        The text up to then moves to login_text."""
        deadline = time.monotonic() + timeout
        line = b""
        user_answered = False
        while time.monotonic() < deadline:
            data = self._receive(deadline)
            if data is None:
                return False
            for byte in data:
                line = b"" if byte == 13 else line + bytes([byte])
                if not user_answered and (b"login:" in line or b"Login ID:" in line):
                    user_answered = True
                    self.sock.sendall(_bytes(user) + b"\r\n")
                elif b"Password:" in line or b"password:" in line:
                    time.sleep(password_delay)
                    self.sock.sendall(_bytes(password) + b"\r\n")
                    self.login_text, self.text = self.text, b""
                    return True
        return False

    def send_line(self, line):
        self.sock.sendall(_bytes(line) + b"\r\n")

    def read_until(self, marker, timeout=10.0):
        deadline = time.monotonic() + timeout
        marker = _bytes(marker)
        while marker not in self.text:
            if self._receive(deadline) is None:
                return None
        end = self.text.find(marker) + len(marker)
        taken, self.text = self.text[:end], self.text[end:]
        return taken

    def _receive(self, deadline):
        """Reads once; answers complete commands; returns the new text bytes,
        or None at the deadline or the server's close."""
        left = deadline - time.monotonic()
        if left <= 0:
            return None
        self.sock.settimeout(left)
        try:
            data = self.sock.recv(65536)
        except (socket.timeout, OSError):
            return None
        if not data:
            return None
        self._raw += data
        text = self._consume()
        self.text += text
        return text

    def _consume(self):
        text = bytearray()
        raw = self._raw
        i = 0
        while i < len(raw):
            if raw[i] != IAC:
                text.append(raw[i])
                i += 1
                continue
            used = self._command(raw, i)
            if used == 0:
                break  # incomplete command: wait for more bytes
            i += used
        self._raw = raw[i:]
        return bytes(text)

    def _command(self, raw, i):
        if i + 1 >= len(raw):
            return 0
        verb = raw[i + 1]
        if verb == IAC:
            return 2
        if verb in (WILL, WONT, DO, DONT):
            if i + 2 >= len(raw):
                return 0
            self.sock.sendall(self._answer(verb, raw[i + 2]))
            return 3
        if verb == SB:
            end = raw.find(bytes([IAC, SE]), i + 2)
            if end < 0:
                return 0
            option = raw[i + 2] if i + 2 < end else None
            value = SUBNEGOTIATION_VALUE.get(option, b"")
            if option == NAWS:
                self.sock.sendall(NAWS_80_BY_25)
            elif option is not None:
                self.sock.sendall(bytes([IAC, SB, option, IS]) + value + bytes([IAC, SE]))
            return end + 2 - i
        return 2

    def _answer(self, verb, option):
        if verb == WILL:
            return bytes([IAC, DO if option in ACCEPTED_WILL else DONT, option])
        if verb == WONT:
            return bytes([IAC, DONT, option])
        if verb == DONT:
            return bytes([IAC, WONT, option])
        if option in (OLD_ENVIRON, NEW_ENVIRON) and self.environ is None:
            self.environ = option
            return bytes([IAC, WILL, option])
        if option == NAWS:
            return bytes([IAC, WILL, NAWS]) + NAWS_80_BY_25
        return bytes([IAC, WILL if option in ACCEPTED_DO else WONT, option])


def _bytes(text):
    return text if isinstance(text, bytes) else text.encode()
