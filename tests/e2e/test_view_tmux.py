"""Whole windows made with the View layer (`layout`, `view`, actors, reactors, `alert`) in a real
terminal: kaz runs a script in a tmux pane, the test types keys and mouse reports into it and
compares the frames tmux shows, then checks that the terminal is back after each way of leaving."""
import os
import shutil
import signal
import sys
import tempfile
import time

import tmux_pane

KAZ = os.path.abspath(sys.argv[1])
failures = []
ESC = tmux_pane.ESC
TAB = "\t"
BACK_TAB = ESC + "[Z"
ENTER = "\r"
DOWN = ESC + "[B"
REVERSE = "\x1b[7m"


def check(name, cond, detail=""):
    if not cond:
        failures.append(f"{name}: {detail}")


class Pane(tmux_pane.Pane):
    def __init__(self, tmp, body, columns=60, rows=16):
        super().__init__(KAZ, tmp, "view", f"Kaz []\n{body}\n", columns, rows)

    def reversed_row(self, row):
        """The text shown in reverse video on a row: the focused face."""
        line = self.screen(escapes=True)[row]
        at = line.find(REVERSE)
        return None if at < 0 else line[at + len(REVERSE):].split(ESC, 1)[0]


def restored(name, p, exit_status):
    """After kaz ended: its status on a line of its own, the pane's modes and the settings."""
    ok = p.wait_for("EXIT=")
    lines = p.screen()
    check(name + ": ended", ok, "\n".join(lines))
    check(name + ": exit status on a line of its own, below the window",
          f"EXIT={exit_status}" in lines, "\n".join(lines))
    check(name + ": alternate screen, mouse reporting and cursor put back", p.modes() == "0 0 0 1",
          p.modes())
    settings = p.settings()
    check(name + ": line discipline and echo put back", " icanon " in settings and " echo " in settings,
          settings)


def view_and_unview(tmp):
    """view draws the laid-out window below the printed text and waits; an actor's unview ends
    the wait; a second window opens and closes the same way."""
    p = Pane(tmp, """
print "start"
view [text "hi" button "OK" [unview]]
print "between"
view/no-wait [title "later" text "second"]
print length? system/view/screens/1/pane
unview
do-events
print "end"
""")
    want = ["start", "", " hi         OK"]
    got = p.wait_frame(want)
    check("view: the frame", got == want, "\n" + "\n".join(p.screen()))
    check("view: the only button has the focus", p.reversed_row(2) == "OK", repr(p.screen(True)[2]))
    p.send(ENTER)
    want = ["start", "", " hi         OK", "", "between", "1", "end"]
    check("view: Enter on the button runs its actor, which closes the window; a window opened "
          "without waiting stays open until unview", p.wait_frame(want) == want, "\n" + p.text())
    restored("view", p, 0)
    p.close()


def remove_face(tmp):
    """A button that takes itself out of its window: the window goes on without it, and a
    button in a panel is reached by the mouse through the panel."""
    p = Pane(tmp, """
print "start"
view [
	gone: button "Remove me" [w: face/parent remove find/same w/pane face show w]
	panel [b: button "In" [b/text: "Hit" show b]]
	button "Close" [unview]
]
print "end"
""")
    want = ["start", "", " Remove me         Close", "            In"]
    check("remove: the frame", p.wait_frame(want) == want, "\n" + p.text())
    p.click(3, 2)
    want = ["start", "", "                   Close", "            In"]
    check("remove: the button is gone, the window goes on", p.wait_frame(want) == want
          and "end" not in p.screen(), "\n" + p.text())
    p.click(13, 3)
    want = ["start", "", "                   Close", "            Hit"]
    check("remove: a click reaches the button in the panel", p.wait_frame(want) == want, "\n" + p.text())
    p.click(20, 2)
    check("remove: Close ends the view", p.wait_for("end"), p.text())
    restored("remove", p, 0)
    p.close()


def timer_and_reactor(tmp):
    """A face's timer runs its on-time actor until the actor stops it; a reactor follows a check
    box set by the mouse and by Space."""
    p = Pane(tmp, """
print "start"
n: 0
view [
	t: text 8x1 "tick 0" rate 20 on-time [n: n + 1 t/text: rejoin ["tick " n] if n = 3 [face/rate: none]]
	c: check "on" l: text 6x1 react [l/text: either c/data ["yes"]["no"]]
]
print ["ticks:" n]
""")
    want = ["start", "", " tick 3   \u2610 on  no"]
    check("timer: three ticks, then stopped", p.wait_frame(want) == want, "\n" + p.text())
    p.click(11, 2)
    want[2] = " tick 3   \U0001F795 on  yes"
    check("reactor: a click on the check box", p.wait_frame(want) == want, "\n" + p.text())
    p.send(" ")
    want[2] = " tick 3   \u2610 on  no"
    check("reactor: Space on the check box", p.wait_frame(want) == want, "\n" + p.text())
    p.send(ESC)
    check("timer: no tick after the actor stopped it", p.wait_for("ticks: 3"), p.text())
    restored("timer", p, 0)
    p.close()


FORM = """
log: copy []
print "start"
view [
	title "Form"
	text "Name:" name: field 20x1 on-change [append log 'change] on-enter [append log 'enter]
	return
	text "Echo:" echo: text 20x1 react [echo/text: copy any [name/text ""]]
	return
	button "One" [append log 'one]
	button "Two" [append log 'two]
	button "Quit" [unview]
]
print ["log:" mold log]
"""


def focus_events_reactor(tmp):
    """Keys typed into the focused field, Enter reaching its actor, a reactor copying the field
    into a text, Tab and Shift-Tab moving the focus (wrapping both ways), buttons run by Enter."""
    p = Pane(tmp, FORM)
    rows = ["start", "", " Name:", "", " Echo:", "", " One   Two   Quit"]
    check("form: the frame", p.wait_frame(rows) == rows, "\n" + p.text())
    check("form: the field has the focus and shows the cursor", p.modes() == "0 1 1 1", p.modes())
    p.send("a")
    rows[2] = " Name:      a"
    rows[4] = " Echo:      a"
    check("form: a key typed into the field, the reactor copies it", p.wait_frame(rows) == rows,
          "\n" + p.text())
    p.send("b")
    rows[2] = " Name:      ab"
    rows[4] = " Echo:      ab"
    check("form: each key is a change", p.wait_frame(rows) == rows, "\n" + p.text())
    p.send(ENTER)
    steps = [(TAB, "One"), (TAB, "Two"), (TAB, "Quit"), (TAB, None), (BACK_TAB, "Quit"),
             (BACK_TAB, "Two"), (BACK_TAB, "One")]
    for key, focused in steps:
        p.send(key)
        check(f"form: focus after {key!r} on {focused}", p.reversed_row(6) == focused,
              repr(p.screen(True)[6]))
    p.send(ENTER)
    p.send(TAB + ENTER)
    p.send(BACK_TAB + BACK_TAB)
    check("form: back in the field, the cursor shows again", p.modes() == "0 1 1 1"
          and p.reversed_row(6) is None, p.modes())
    p.send(BACK_TAB)
    check("form: Shift-Tab from the field wraps to the last button", p.reversed_row(6) == "Quit",
          repr(p.screen(True)[6]))
    p.send(ENTER)
    check("form: the actors ran in order", p.wait_for("log: [change change enter one two]"), p.text())
    restored("form", p, 0)
    p.close()


def alert_dialog(tmp):
    """alert opens a modal dialog over the window, fitted to the terminal; Enter closes it and the
    window comes back; Esc closes the window."""
    p = Pane(tmp, """
log: copy []
print "start"
view [button "Ask" [alert "Careful now" append log 'answered] button "Other" [append log 'other]]
print ["log:" mold log]
""")
    check("alert: the window", p.wait_frame(["start", "", " Ask   Other"]) == ["start", "", " Ask   Other"],
          "\n" + p.text())
    p.send(ENTER)
    want = ["start", "", " " * 24 + "Careful now", "", " " * 27 + "OK"]
    check("alert: the dialog in place of the window", p.wait_frame(want) == want, "\n" + p.text())
    check("alert: its button has the focus", p.reversed_row(4) == "OK", repr(p.screen(True)[4]))
    p.send(ENTER)
    want = ["start", "", " Ask   Other"]
    check("alert: Enter closes it, the window is back", p.wait_frame(want) == want, "\n" + p.text())
    check("alert: the window's faces are enabled again", p.reversed_row(2) == "Ask",
          repr(p.screen(True)[2]))
    p.send(TAB + ENTER)
    p.send(BACK_TAB + ENTER)
    want = ["start", "", " " * 24 + "Careful now", "", " " * 27 + "OK"]
    check("alert: a second dialog", p.wait_frame(want) == want, "\n" + p.text())
    p.send(ESC)
    check("alert: Esc closes the dialog and the window", p.wait_for("log: [answered other answered]"),
          p.text())
    restored("alert", p, 0)
    p.close()


def form_program(tmp):
    """A small program: a field, a list, a check box and two buttons, driven by keys and the
    mouse from start to close."""
    p = Pane(tmp, """
print "start"
result: none
view [
	title "Order"
	text "Name:" name: field 16x1 return
	text "Size:" size: text-list 10x3 data ["small" "medium" "large"] return
	gift: check "Gift" return
	button "Save" [result: reduce [copy name/text pick size/data size/selected gift/data] unview]
	button "Cancel" [unview]
]
print ["result:" mold result]
""")
    rows = ["start", "", " Name:", "", " Size:      small", "            medium", "            large",
            "", " \u2610 Gift", "", " Save  Cancel"]
    check("program: the frame", p.wait_frame(rows) == rows, "\n" + p.text())
    p.send("Ann" + TAB + DOWN)
    rows[2] = " Name:      Ann"
    check("program: typed, then the list", p.wait_frame(rows) == rows, "\n" + p.text())
    check("program: Down selects the second item", p.reversed_row(5) == "medium",
          repr(p.screen(True)[5]))
    p.click(13, 6)
    check("program: a click selects the third", p.reversed_row(6) == "large", repr(p.screen(True)[6]))
    p.click(3, 8)
    rows[8] = " \U0001F795 Gift"
    check("program: a click checks the box", p.wait_frame(rows) == rows, "\n" + p.text())
    p.click(18, 2)
    p.send("!")
    rows[2] = " Name:      Ann!"
    check("program: a click in the field gives it the focus", p.wait_frame(rows) == rows, "\n" + p.text())
    p.click(2, 10)
    check("program: Save read every face", p.wait_for('result: ["Ann!" "large" true]'), p.text())
    restored("program", p, 0)
    p.close()


def exits(tmp):
    """The terminal is put back whatever way a program leaves a window made with view."""
    window = """
print "start"
view [button "Act" [ACTION] button "Close" [unview]]
print "after"
"""
    # how: a signal sent to kaz, or keys typed (a tmux key name when it is a list)
    cases = [
        ("normal end", "unview", ENTER, "0", "after"),
        ("an error in an actor", "1 / 0", ENTER, "0", "after"),
        ("halt in an actor", "halt", ENTER, "0", "after"),
        ("quit in an actor", "quit/return 3", ENTER, "3", None),
        ("Ctrl-C in an actor that never returns", "forever []", [ENTER, "C-c"], "0", "after"),
        ("Ctrl-C while the window waits", "none", ["C-c"], "0", "after"),
        ("SIGTERM", "none", signal.SIGTERM, str(128 + signal.SIGTERM), None),
    ]
    for name, action, how, status, after in cases:
        p = Pane(tmp, window.replace("ACTION", action))
        check(name + ": drawn", p.wait_for("Close"), p.text())
        if isinstance(how, str):
            p.send(how)
        elif isinstance(how, list):
            for key in how:
                if key.startswith("C-"):
                    p.tmux("send-keys", "-t", "0", key)
                    time.sleep(0.3)
                else:
                    p.send(key)
        else:
            pid = p.kaz_pid()
            check(name + ": process found", pid is not None)
            if pid:
                os.kill(pid, how)
        if "error" in name:
            check(name + ": printed, and the window goes on",
                  p.wait_for("Math Error") and p.wait_for("Close"), p.text())
            p.send(TAB + ENTER)
        restored(name, p, status)
        text = p.text()
        if after:
            check(name + ": the script goes on after view", after in p.screen(), text)
        else:
            check(name + ": the script ends there", "after" not in p.screen(), text)
        p.close()


def main():
    if not shutil.which("tmux"):
        print("tmux is missing: tools/install-deps installs it")
        return 1
    with tempfile.TemporaryDirectory() as tmp:
        for case in (view_and_unview, remove_face, timer_and_reactor, focus_events_reactor, alert_dialog, form_program, exits):
            try:
                case(tmp)
            except Exception as e:  # a broken case must not hide the others
                failures.append(f"{case.__name__}: {e!r}")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
