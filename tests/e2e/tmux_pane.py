"""kaz running a script in a tmux pane of its own server, for the terminal tests: keys and mouse
reports are typed into it and the frames tmux shows are read back; after kaz ends the pane shows
its exit status and the terminal settings it left."""
import os
import subprocess
import time

ESC = "\x1b"


class Pane:
    count = 0

    def __init__(self, kaz, tmp, name, source, columns, rows, env=None, pause=0.3):
        Pane.count += 1
        self.kaz = kaz
        self.pause = pause
        self.socket = f"kaz-{name}-{os.getpid()}-{Pane.count}"
        script = os.path.join(tmp, f"{name}{Pane.count}.kaz")
        with open(script, "w") as f:
            f.write(source)
        settings = {"TERM": "xterm-256color", "COLORTERM": ""}
        settings.update(env or {})
        assigns = " ".join(f"{k}='{v}'" for k, v in settings.items())
        self.stty = os.path.join(tmp, f"stty{Pane.count}.txt")
        command = f"env {assigns} {kaz} {script}; echo EXIT=$?; stty -a > {self.stty}; sleep 120"
        self.tmux("new-session", "-d", "-x", str(columns), "-y", str(rows), command)

    def tmux(self, *args):
        r = subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null", *args],
                           capture_output=True, text=True)
        return r.stdout

    def screen(self, escapes=False):
        args = ["capture-pane", "-p", "-t", "0"] + (["-e"] if escapes else [])
        return [line.rstrip() for line in self.tmux(*args).split("\n")]

    def text(self):
        return "\n".join(self.screen())

    def wait_for(self, text, timeout=8, escapes=False):
        end = time.time() + timeout
        while time.time() < end:
            if text in "\n".join(self.screen(escapes)):
                return True
            time.sleep(0.05)
        return False

    def wait_frame(self, want, first=0, timeout=8):
        """Waits until the rows from `first` are exactly `want`; answers the rows last seen."""
        end = time.time() + timeout
        while True:
            got = self.screen()[first:first + len(want)]
            if got == want or time.time() > end:
                return got
            time.sleep(0.05)

    def send(self, keys, pause=None):
        self.tmux("send-keys", "-t", "0", "-l", keys)
        time.sleep(self.pause if pause is None else pause)

    def click(self, column, row, button=0):
        """A press and a release at a 0-based cell of the pane."""
        self.send(f"{ESC}[<{button};{column + 1};{row + 1}M{ESC}[<{button};{column + 1};{row + 1}m")

    def modes(self):
        return self.tmux("display", "-p", "-t", "0",
                         "#{alternate_on} #{mouse_any_flag} #{mouse_sgr_flag} #{cursor_flag}").strip()

    def kaz_pid(self):
        shell = self.tmux("display", "-p", "-t", "0", "#{pane_pid}").strip()
        r = subprocess.run(["pgrep", "-P", shell, "-f", self.kaz], capture_output=True, text=True)
        return int(r.stdout.split()[0]) if r.stdout.split() else None

    def settings(self, timeout=5):
        """The terminal settings the pane recorded after kaz ended, one line (empty: none)."""
        settings = ""
        end = time.time() + timeout
        while time.time() < end and " echo " not in settings:
            time.sleep(0.05)
            if os.path.exists(self.stty):
                with open(self.stty) as f:
                    settings = " " + f.read().replace("\n", " ").replace(";", " ") + " "
        return settings

    def close(self):
        self.tmux("kill-server")
