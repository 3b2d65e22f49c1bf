"""The line editor through a pseudo-terminal: editing keys, history, hidden input, Ctrl-C,
Esc and window resizing."""
import fcntl
import os
import pty
import re
import select
import signal
import struct
import sys
import tempfile
import termios
import time

KAZ = sys.argv[1]
failures = []

UP, DOWN, RIGHT, LEFT = "\x1b[A", "\x1b[B", "\x1b[C", "\x1b[D"
HOME, END, DELETE = "\x1b[H", "\x1b[F", "\x1b[3~"


class Console:
    """kaz on a pty: answers the editor's cursor position queries, collects its output."""

    def __init__(self, env, columns=80, rows=24):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(KAZ, [KAZ], env)
        self.resize(columns, rows)
        self.out = ""
        self.seen = 0

    def resize(self, columns, rows):
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))

    def pump(self, timeout):
        r, _, _ = select.select([self.fd], [], [], timeout)
        if not r:
            return False
        try:
            data = os.read(self.fd, 65536).decode("utf-8", "replace")
        except OSError:
            return False
        if not data:
            return False
        self.out += data
        for _ in range(data.count("\x1b[6n")):
            os.write(self.fd, b"\x1b[1;1R")
        return True

    def expect(self, pattern, timeout=10):
        """Waits for output after the last match to match the pattern; answers the match."""
        end = time.time() + timeout
        while True:
            m = re.compile(pattern).search(self.out, self.seen)
            if m:
                self.seen = m.end()
                return m
            left = end - time.time()
            if left <= 0 or not self.pump(left) and left <= 0:
                return None

    def send(self, text):
        os.write(self.fd, text.encode())

    def finish(self):
        """Waits for the process to end; answers its exit status (None when it did not end)."""
        end = time.time() + 10
        while time.time() < end:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return os.waitstatus_to_exitcode(status)
            self.pump(0.05)
        os.kill(self.pid, signal.SIGKILL)
        os.waitpid(self.pid, 0)
        return None


def check(name, cond, detail=""):
    if not cond:
        failures.append(f"{name}: {detail}")


PROMPT = r">> "
READY = r"\x1b\[6n"


def session(env, steps, name, columns=80):
    """Runs the steps (text to send, pattern the output must show next), then quits."""
    c = Console(env, columns)
    for send, want in steps:
        if callable(send):
            send(c)
        else:
            # Keys typed before the editor has the terminal could meet its own line discipline:
            # wait for the editor's cursor query, which it sends once the terminal is raw.
            c.expect(READY)
            c.send(send)
        if want is not None and c.expect(want) is None:
            check(name, False, f"after {send!r}: wanted {want!r}, output {c.out[c.seen:]!r}")
            break
    c.expect(READY)
    c.send("\x04")
    code = c.finish()
    return c, code


def main():
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, "cache"),
                   TERM="xterm")

        cases = [
            ("enter evaluates", [("1 + 2\r", r"== 3")]),
            ("left and insert", [("2 + 3" + LEFT * 5 + "1\r", r"== 15")]),
            # Other encodings of the same keys; modifiers are ignored, unknown keys too.
            ("ss3 and modified keys", [("2 + 3" + "\x1bOD" * 2 + "\x1b[1;5D" * 3 + "\x1b[99~"
                                        + "\x1b[15~" + "1" + "\x1b[4~" + "0\r", r"== 42")]),
            ("home and end", [("+ 2" + HOME + "40 " + END + "\r", r"== 42")]),
            ("ctrl keys move", [("+ 2\x01" + "5 \x05" + "0\r", r"== 25")]),
            ("tab inserted without completion", [("1\t+ 1", r"1    \+ 1"), ("\r", r"== 2")]),
            # A unique word completes; a complete one takes the tab; several are listed and the
            # next prompt goes on with their common part.
            ("tab completes", [("kc-alone: 7\r", None), ("kc-alo\t", r"kc-alone"),
                               ("\r", r"== 7"), ("kc-alone\t", r"kc-alone    "), ("\r", r"== 7")]),
            ("tab lists candidates", [("kc-a1: kc-a2: 5\r", None),
                                      ("x: kc-\t", r"kc-a1 kc-a2 [\s\S]*>> x: kc-a"),
                                      ("2\r", r"== 5")]),
            ("nothing kept after a completion", [("kc-alone: 7\r", None), ('ask "? "\r', r"\? "),
                                                 ("kc-alo\t\x03", r'== "q"'), ("1\r", r"== 1")]),
            # Several candidates in an answer: listed, then the same answer goes on.
            ("tab lists in an answer", [("kc-a1: kc-a2: 5\r", None), ('ask "? "\r', r"\? "),
                                        ("kc-\t", r"kc-a1 kc-a2 [\s\S]*\? kc-a"),
                                        ("1\r", r'== "kc-a1"')]),
            # A question of several lines: its lines are written, the edit is on the last.
            ("question of several lines", [('ask "Menu:^/1) a^/Choice: "\r', r"Menu:\r\n1\) a\r\n"),
                                           ("2\r", r'Choice: 2\r[\s\S]*== "2"')]),
            # A tab inside a bracketed paste is text, not a completion.
            ("pasted tab", [("\x1b[200~to\tinteger! \"5\"\x1b[201~\r", r"== 5")]),
            ("hidden input takes the tab", [('ask/hide "pw: "\r', r"pw: "),
                                            ("pri\t\r", r'== "pri\^-"')]),
            ("backspace", [("10\x7f5\r", r"== 15")]),
            ("delete and ctrl-d inside", [("123" + LEFT * 3 + DELETE + "\x04\r", r"== 3")]),
            ("ctrl-k", [("45 + 1" + LEFT * 4 + "\x0b\r", r"== 45")]),
            ("history up", [("7 * 6\r", r"== 42"), ("1\r", r"== 1"),
                            (UP + UP + "\r", r"== 42")]),
            ("history down", [("5\r", r"== 5"), ("6\r", r"== 6"),
                              (UP + UP + DOWN + "\r", r"== 5")]),
            ("up past the oldest clears", [("8\r", r"== 8"), (UP + UP + "9\r", r"== 9")]),
            ("same line kept once", [("3\r", None), ("3\r", None),
                                     ("length? system/console/history\r", r"== 2")]),
            ("hidden input", [('ask/hide "pw: "\r', r"pw: "), ("secret\r", r"\*{6}"),
                              (None, r'== "secret"'),
                              ("find system/console/history \"secret\"\r", r"== none")]),
            ("own history block", [("h: copy []\r", None),
                                   ('ask/history "? " h\r', r"\? "), ("abc\r", r'== "abc"'),
                                   ("h\r", r'== \["abc"\]')]),
            ("esc cancels", [("[1\r", r"\[    "), ("2\x1b", r"\(escape\)"), ("4\r", r"== 4")]),
            ("wide line wraps", [('"' + "x" * 150 + '"\r', r'== [{"]x{70}')]),
            ("utf-8 typed", [('"é€😀"\r', r'== "é€😀"')]),
            ("clipboard text offered to the terminal",
             [('write-clipboard "hé"\r', r"\x1b\]52;c;aMOp\x07"), (None, r"== true")]),
            # Ctrl-C once the line has left the editor and the terminal is back in its mode.
            ("ctrl-c halts", [("forever []\r", r"\r\n"), (lambda c: (time.sleep(1),
                                                                    c.send("\x03")), r"\(halted\)"),
                              ("11\r", r"== 11")]),
            ("ctrl-c ends a wait", [("wait 60 print {waited}\r", r"\r\n"),
                                    (lambda c: (time.sleep(1), c.send("\x03")), r"\(halted\)"),
                                    ("12\r", r"== 12")]),
            # Resized once the editor shows its prompt (a window-change signal before its handler
            # is set is lost); the editor redraws its line, then the new size is read.
            ("resize", [(lambda c: (c.expect(READY), c.expect(PROMPT), c.resize(100, 30),
                                    os.kill(c.pid, signal.SIGWINCH)), r"\x1b\[J>> "),
                        (lambda c: c.send("system/console/size\r"), r"== 100x30")]),
        ]
        for n, (name, steps) in enumerate(cases):
            steps = [(s if s is not None else (lambda c: None), w) for s, w in steps]
            fresh = dict(env, XDG_CACHE_HOME=os.path.join(home, f"cache{n}"))
            c, code = session(fresh, steps, name)
            check(name, code == 0, f"exit {code}, output {c.out[-300:]!r}")

        c = Console(env)
        c.expect(READY)
        c.send("12\x03")
        code = c.finish()
        check("ctrl-c at the prompt quits", code == 0, f"exit {code}")

        c = Console(env)
        c.expect(READY)
        c.send("quit/return 4\r")
        code = c.finish()
        check("terminal restored and status kept", code == 4, f"exit {code}")

        # Ctrl-C on a continuation line quits as on the first line: no "q" joins the input.
        c = Console(env)
        c.expect(READY)
        c.send("b: [\r")
        c.expect(READY)
        c.send("1\x03")
        code = c.finish()
        check("ctrl-c on a continuation line quits", code == 0 and "== [" not in c.out,
              f"exit {code}, output {c.out[-200:]!r}")

        # A terminal the editor cannot drive still shows the prompt and the question.
        c = Console(dict(env, TERM="dumb"))
        for send, want in [(None, r">> "), ('ask "Name? "\r', r"\nName\? "), ("bob\r", r'== "bob"'),
                           ('ask/hide "pw: "\r', r"\npw: "), ("secret\r", r'== "secret"')]:
            if send:
                c.send(send)
            if c.expect(want) is None:
                check("dumb terminal", False, f"after {send!r}: wanted {want!r}, "
                      f"output {c.out[c.seen:]!r}")
                break
        check("dumb terminal hides hidden input", c.out.count("secret") == 1, f"{c.out!r}")
        c.send("\x04")
        c.finish()

        # A termination request while editing leaves the terminal as it found it.
        c = Console(env)
        c.expect(READY)
        c.send("12")
        c.expect("12")
        os.kill(c.pid, signal.SIGTERM)
        code = c.finish()
        check("sigterm while editing", code == -signal.SIGTERM, f"exit {code}")
        lflag = termios.tcgetattr(c.fd)[3]
        check("sigterm restores the terminal", lflag & termios.ICANON and lflag & termios.ECHO,
              f"lflag {lflag:#x}")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
