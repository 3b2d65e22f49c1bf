"""Terminal windows in a real terminal: kaz runs in a tmux pane, the test types keys and mouse
reports into it and compares the frames tmux shows, then checks that the terminal's modes (raw
mode, alternate screen, mouse reporting, cursor) are back after each way of leaving."""
import os
import shutil
import signal
import sys
import tempfile
import time

import tmux_pane

KAZ = os.path.abspath(sys.argv[1])
FACES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tui", "faces.kaz")
failures = []
ESC = tmux_pane.ESC


def check(name, cond, detail=""):
    if not cond:
        failures.append(f"{name}: {detail}")


class Pane(tmux_pane.Pane):
    """A script run after the faces' definitions."""

    def __init__(self, tmp, body, columns=50, rows=16, env=None):
        super().__init__(KAZ, tmp, "case", f"Kaz []\ndo %{FACES}\n{body}\n", columns, rows, env,
                         pause=0.25)


def rows_of(screen, first, count):
    return screen[first:first + count]


def restored(name, p, exit_status):
    """After kaz ended: its status, the pane's modes and the terminal settings."""
    ok = p.wait_for("EXIT=")
    text = "\n".join(p.screen())
    check(name + ": ended", ok, text)
    check(name + ": exit status", f"EXIT={exit_status}" in text, text)
    check(name + ": alternate screen, mouse reporting and cursor put back", p.modes() == "0 0 0 1",
          p.modes())
    settings = p.settings()
    check(name + ": line discipline and echo put back", " icanon " in settings and " echo " in settings,
          settings)


def widget_frame(tmp):
    """Every widget kind drawn in one window, then closed with Esc."""
    p = Pane(tmp, """
print "start"
win: make-face [type: 'window size: 44x13 pane: reduce [
	make-face [type: 'button offset: 0x0 size: 8x1 text: "Go" flags: 'focusable
		para: make object! [align: 'center v-align: none wrap?: false]]
	make-face [type: 'field offset: 10x0 size: 12x1 text: "typed"]
	make-face [type: 'field offset: 24x0 size: 8x1 text: "secret" flags: [password]]
	make-face [type: 'field offset: 34x0 size: 8x1 text: "" options: [hint: "name"]]
	make-face [type: 'area offset: 0x2 size: 12x2 text: "two^/lines"]
	make-face [type: 'text-list offset: 14x2 size: 8x3 data: ["one" "two" "three" "four"] selected: 2]
	make-face [type: 'drop-list offset: 24x2 size: 10x1 text: "pick"]
	make-face [type: 'check offset: 0x5 size: 10x1 text: "check" data: true]
	make-face [type: 'check offset: 12x5 size: 8x1 text: "off"]
	make-face [type: 'radio offset: 22x5 size: 8x1 text: "r1" data: true]
	make-face [type: 'radio offset: 32x5 size: 8x1 text: "r2"]
	make-face [type: 'progress offset: 0x7 size: 12x1 data: 0.5]
	make-face [type: 'progress offset: 14x7 size: 12x1 data: 0.01]
	make-face [type: 'slider offset: 28x7 size: 10x1 data: 0.5 text: "--o--"]
	make-face [type: 'group-box offset: 0x9 size: 14x4 text: "Box" options: [border-corners: round]]
	make-face [type: 'group-box offset: 15x9 size: 10x3 text: "Sq"]
	make-face [type: 'panel offset: 26x9 size: 10x3 color: 0.0.128 pane: reduce [
		make-face [type: 'text offset: 1x1 size: 6x1 text: "inner"]
	]]
	make-face [type: 'base offset: 37x9 size: 5x2 color: 255.0.0]
	make-face [type: 'text offset: 0x1 size: 10x1 text: "HIDDEN" visible?: false]
]]
view-window win
print "end"
""", rows=18)
    want = [
        "start",
        "   Go     typed         ******    name",
        "",
        "two           one       pick",
        "lines         two",
        "              three",
        "\U0001F795 check     \u2610 off     \u25C9 r1      \u25CB r2",
        "",
        "[#####     ]  [#         ]  --o--",
        "",
        "\u256DBox" + "\u2500" * 9 + "\u256E \u250CSq" + "\u2500" * 6 + "\u2510",
        "\u2502            \u2502 \u2502        \u2502  inner",
        "\u2502            \u2502 \u2514" + "\u2500" * 8 + "\u2518",
        "\u2570" + "\u2500" * 12 + "\u256F",
    ]
    check("widget frame: drawn", p.wait_for("inner"), "\n".join(p.screen()))
    got = rows_of(p.screen(), 0, len(want))
    check("widget frame: every kind", got == want, "\n" + "\n".join(got))
    colours = p.screen(escapes=True)
    check("widget frame: focused button in reverse video", "\x1b[7mGo" in colours[1], repr(colours[1]))
    check("widget frame: hint dimmed", "\x1b[2mname" in colours[1], repr(colours[1]))
    check("widget frame: panel and base colours, label on the panel's colour",
          "\x1b[48;5;18m inner    \x1b[49m \x1b[48;5;196m     " in colours[11], repr(colours[11]))
    p.send(ESC)
    check("widget frame: Esc closes the window", p.wait_for("end"), "\n".join(p.screen()))
    restored("widget frame", p, 0)
    p.close()


def draw_dialect(tmp):
    """Draw blocks on faces: boxes, fills, lines, ellipses and text in cells; a bad block is
    reported once and the window goes on."""
    p = Pane(tmp, """
print "start"
win: make-face [type: 'window size: 40x8 pane: reduce [
	make-face [type: 'base offset: 0x0 size: 12x5 draw: [pen 255.0.0 box 0x0 9x4 text 2x2 "hi"]]
	make-face [type: 'base offset: 13x0 size: 8x3 draw: [fill-pen 0.0.255 pen off box 0x0 3x1 pen 0.255.0 line 0x2 5x2]]
	make-face [type: 'base offset: 22x0 size: 16x7 draw: [circle 7x3 3 circle 1x1 0 ellipse 0x0 0x5]]
	make-face [type: 'base offset: 0x6 size: 10x1 draw: ["oops"] text: "bad"]
	make-face [type: 'base offset: 39x7 size: 1x1 draw: [
		fill-pen 0.0.255 triangle 0x0 2000000000x5 0x2000000000 circle 5x5 1e9
		line -2000000000x0 2000000000x2000000000 box -2000000000x-2000000000 2000000000x2000000000
		ellipse 0x0 2000000000x2000000000
	]]
]]
view-window win
print "end"
""")
    block = "\u2588"
    want = [
        "\u250C" + "\u2500" * 8 + "\u2510" + " " * 16 + block * 7,
        "\u2502        \u2502" + " " * 14 + block * 2 + " " * 7 + block * 2,
        "\u2502 hi     \u2502   " + block * 6 + "    " + block + " " * 11 + block,
        "\u2502        \u2502" + " " * 13 + block + " " * 11 + block,
        "\u2514" + "\u2500" * 8 + "\u2518" + " " * 13 + block + " " * 11 + block,
        " " * 24 + block * 2 + " " * 7 + block * 2,
        "bad" + " " * 23 + block * 7,
    ]
    check("draw: drawn", p.wait_for("bad"), "\n".join(p.screen()))
    s = p.screen()
    top = next((i for i, line in enumerate(s) if line.startswith("\u250C")), 0)
    check("draw: boxes, fills, lines and ellipses", s[top:top + 7] == want, "\n".join(s))
    check("draw: the bad block reported once", "\n".join(s).count("DRAW - invalid input") == 1,
          "\n".join(s))
    colours = p.screen(escapes=True)
    check("draw: pen and fill colours", "\x1b[38;5;196m\u250C" in colours[top]
          and "\x1b[48;5;21m    " in colours[top] and "\x1b[38;5;46m" + block in colours[top + 2],
          repr(colours[top:top + 3]))
    p.send(ESC)
    restored("draw", p, 0)
    p.close()


def lists_radios_rich_text(tmp):
    """A focused text-list scrolls with the arrows; radio buttons exclude each other; rich text
    draws its styled runs; a base that owns the caret places the terminal cursor."""
    p = Pane(tmp, """
print "start"
items: collect [repeat i 30 [keep rejoin ["item " i]]]
fld: make-face [type: 'field offset: 20x4 size: 8x1 text: "cursor" flags: 'focusable]
r1: make-face [type: 'radio offset: 0x0 size: 6x1 text: "r1" data: true extra: 'r1]
r2: make-face [type: 'radio offset: 7x0 size: 6x1 text: "r2" extra: 'r2]
win: make-face [type: 'window size: 40x6 pane: reduce [
	make-face [type: 'text-list offset: 0x0 size: 10x5 data: items flags: 'focusable extra: 'list]
	make-face [type: 'rich-text offset: 12x0 size: 20x1 text: "bold and red" data: [1x4 bold 10x3 255.0.0]]
	make-face [type: 'panel offset: 12x2 size: 14x1 pane: reduce [r1 r2]]
	fld
	make-face [type: 'base offset: 35x5 size: 1x1 options: reduce [quote caret: fld]]
]]
view-window win
print ["selected" win/pane/1/selected r1/data r2/data]
""")
    check("lists: drawn", p.wait_for("cursor"), "\n".join(p.screen()))
    top = p.screen().index("start") + 1
    check("lists: the focused list shows its first item selected",
          p.screen(escapes=True)[top].startswith("\x1b[7mitem 1\x1b["), repr(p.screen(escapes=True)[top]))
    for _ in range(7):
        p.send(f"{ESC}[B", 0.1)
    check("lists: scrolled so the selection stays in sight", p.wait_for("item 8"), "\n".join(p.screen()))
    s = p.screen(escapes=True)
    check("lists: items 4 to 8, the eighth selected",
          [line[:6] for line in p.screen()[top:top + 5]] == [f"item {i}" for i in range(4, 9)]
          and s[top + 4].startswith("\x1b[7mitem 8"), "\n".join(s))
    check("lists: rich text runs", "\x1b[1mbold\x1b[0m" in s[top] and "\x1b[38;5;196mred" in s[top],
          repr(s[top]))
    p.click(19, top + 2)
    check("lists: the other radio button goes off", p.wait_for("\u25CB r1   \u25C9 r2"),
          "\n".join(p.screen()))
    p.click(21, top + 4)
    time.sleep(0.3)
    cursor = p.tmux("display", "-p", "-t", "0", "#{cursor_flag} #{cursor_x},#{cursor_y}").strip()
    check("lists: the caret stands where the base puts it", cursor == f"1 35,{top + 5}", cursor)
    p.send(ESC)
    check("lists: closed", p.wait_for("EXIT="), "\n".join(p.screen()))
    check("lists: selection and radio data", "selected 8 false true" in "\n".join(p.screen()),
          "\n".join(p.screen()))
    restored("lists", p, 0)
    p.close()


def text_layout(tmp):
    """Face text: wrapping or cut at the edge, alignment, a wide character that would pass the
    edge, and SGR escapes read from the text in groups of up to three."""
    p = Pane(tmp, """
print "start"
wrap: make object! [align: none v-align: none wrap?: true]
right: make object! [align: 'right v-align: 'bottom wrap?: false]
win: make-face [type: 'window size: 40x6 pane: reduce [
	make-face [type: 'text offset: 0x0 size: 4x3 text: "abcdefghij" para: wrap]
	make-face [type: 'text offset: 5x0 size: 4x3 text: "abcdefghij"]
	make-face [type: 'text offset: 10x0 size: 6x3 text: "ab" para: right]
	make-face [type: 'text offset: 17x0 size: 3x1 text: "ab^(4E2D)"]
	make-face [type: 'text offset: 21x0 size: 18x1 text: "^(1B)[1;31mbold^(1B)[0m ^(1B)[38;5;202mpal"]
	make-face [type: 'text offset: 21x1 size: 18x1 text: "^(1B)[1;38;5;202mnot^(1B)[Kx^(1B)Zy"]
]]
view-window win
print "end"
""")
    check("text: drawn", p.wait_for("notxZy"), "\n".join(p.screen()))
    top = p.screen().index("start") + 1
    want = ["abcd abcd        ab  bold pal", "efgh                 notxZy", "ij            ab"]
    check("text: wrapping, cutting and alignment", p.screen()[top:top + 3] == want,
          "\n".join(p.screen()))
    s = p.screen(escapes=True)
    check("text: bold and a named colour, then a palette colour",
          "\x1b[1m\x1b[31mbold\x1b[0m" in s[top] and "\x1b[38;5;202mpal" in s[top], repr(s[top]))
    check("text: 38;5;n only at the start of a group", "\x1b[1mnotxZy\x1b[0m" in s[top + 1],
          repr(s[top + 1]))
    p.send(ESC)
    restored("text", p, 0)
    p.close()


def colour_depths(tmp):
    """Face and font colours at the depth the environment names."""
    body = """
win: make-face [type: 'window size: 20x1 rate: 2 actors: [time [close-window win]] pane: reduce [
	make-face [type: 'base offset: 0x0 size: 2x1 color: 255.0.0]
	make-face [type: 'base offset: 2x0 size: 2x1 color: 0.128.255]
	make-face [type: 'text offset: 4x0 size: 5x1 text: "fg" font: make object! [color: 0.200.0]]
	make-face [type: 'base offset: 9x0 size: 2x1 color: 10.20.30.255]
]]
view-window win
"""
    cases = [
        ({"COLORTERM": "truecolor"}, ["\x1b[48;2;255;0;0m", "\x1b[48;2;0;128;255m",
                                      "\x1b[38;2;0;200;0m"]),
        ({"COLORTERM": "", "TERM": "xterm-256color"}, ["\x1b[48;5;196m", "\x1b[48;5;33m",
                                                      "\x1b[38;5;40m"]),
        ({"COLORTERM": "", "TERM": "linux"}, ["\x1b[101m", "\x1b[46m", "\x1b[32m"]),
    ]
    for env, want in cases:
        p = Pane(tmp, body, env=env)
        seen = p.wait_for("fg")
        line = p.screen(escapes=True)[0]
        for w in want:
            check(f"colours {env}: {w!r}", seen and w in line, repr(line))
        check(f"colours {env}: a fully transparent colour is the default", line.endswith("fg\x1b[39m"),
              repr(line))
        restored(f"colours {env}", p, 0)
        p.close()


def ansi256(rgb):
    """The palette index the back-end maps a colour to: cube or grey ramp, whichever is nearer."""
    levels = [0, 95, 135, 175, 215, 255]
    r, g, b = (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF
    level = lambda v: 0 if v < 48 else 1 if v < 115 else (v - 35) // 40
    cube = 16 + 36 * level(r) + 6 * level(g) + level(b)
    average = (r + g + b) // 3
    grey = 232 + (23 if average > 238 else 0 if average < 3 else (average - 3) // 10)
    def rgb_of(i):
        if i >= 232:
            v = 8 + 10 * (i - 232)
            return v, v, v
        i -= 16
        return levels[i // 36], levels[(i // 6) % 6], levels[i % 6]
    dist = lambda i: sum((a - c) ** 2 for a, c in zip((r, g, b), rgb_of(i)))
    return cube if dist(cube) < dist(grey) else grey


def image_cells(tmp):
    """An image face: two pixels a cell, upper as background and lower as foreground of a lower
    half block; a transparent upper pixel leaves a plain space, so a transparent top row gives
    spaces in the first row."""
    body = """
img: make image! reduce [3x4
	#{000000 000000 FF0000  0000FF 00FF00 FFFFFF  102030 405060 708090  A0B0C0 D0E0F0 010203}
	#{FFFF00 000000 000000 000000}
]
win: make-face [type: 'window size: 10x3 rate: 2 actors: [time [close-window win]] pane: reduce [
	make-face [type: 'base offset: 0x0 size: 3x2 image: img]
	make-face [type: 'text offset: 0x2 size: 3x1 text: "img"]
]]
view-window win
"""
    half = "\u2584"
    cells = [(0xFF0000, 0xFFFFFF), (0x102030, 0xA0B0C0), (0x405060, 0xD0E0F0), (0x708090, 0x010203)]
    rgb = lambda c: f"{(c >> 16) & 0xFF};{(c >> 8) & 0xFF};{c & 0xFF}"
    for env, colour in (({"COLORTERM": "truecolor"}, lambda fg, c: f"\x1b[{fg};2;{rgb(c)}m"),
                        ({"COLORTERM": "", "TERM": "xterm-256color"},
                         lambda fg, c: f"\x1b[{fg};5;{ansi256(c)}m")):
        p = Pane(tmp, body, env=env)
        seen = p.wait_for("img")
        plain = p.screen()
        check(f"image {env}: cells", seen and plain[0][:3] == "  " + half and plain[1][:3] == half * 3,
              repr(plain[:2]))
        lines = p.screen(escapes=True)
        cell = lambda c: colour(38, c[1]) + colour(48, c[0]) + half
        want = ["  " + cell(cells[0]) + "\x1b[39m\x1b[49m",
                "".join(cell(c) for c in cells[1:]) + "\x1b[39m\x1b[49m"]
        check(f"image {env}: exact cells, the transparent pixels as plain spaces", lines[:2] == want,
              repr(lines[:2]))
        restored(f"image {env}", p, 0)
        p.close()


def keyboard(tmp):
    """The first focusable face takes the focus; typing edits the field in place."""
    p = Pane(tmp, """
f1: make-face [type: 'field offset: 0x0 size: 8x1 text: "ab" flags: 'focusable extra: 'f1]
f2: make-face [type: 'field offset: 10x0 size: 6x1 text: "" flags: 'focusable extra: 'f2]
win: make-face [type: 'window size: 20x2 pane: reduce [f1 f2]]
view-window win
print mold f1/text
print mold f2/text
keys: copy []
foreach [t x] events [if t = 'key [append keys x]]
print [length? keys mold copy/part events 6 mold first back back tail events]
""")
    check("keyboard: drawn", p.wait_for("ab"), "\n".join(p.screen()))
    check("keyboard: caret after the text", p.modes() == "0 1 1 1",
          p.modes())
    p.send("xyz")
    p.send("\x7f")                 # backspace
    p.send(f"{ESC}[D{ESC}[D")       # left twice
    p.send("Q")
    p.send("12345")                # the field is full after two of them
    check("keyboard: edited on screen", p.wait_for("abQ123xy"), "\n".join(p.screen()))
    p.send(f"{ESC}[Z")             # Shift-Tab: a tab key with shift
    p.send(ESC)
    check("keyboard: closed", p.wait_for("EXIT="), "\n".join(p.screen()))
    text = "\n".join(p.screen())
    check("keyboard: the face text changed in place", '"abQ123xy"' in text and '""' in text, text)
    check("keyboard: focus, key-down and key reach the focused face",
          '14 [focus f1 key-down f1 key f1] key' in text, text)
    restored("keyboard", p, 0)
    p.close()


def mouse(tmp):
    """Clicks, double clicks, a check box, a text-list and the wheel, by SGR mouse reports."""
    log = os.path.join(tmp, "mouse-events.txt")
    p = Pane(tmp, f"write %{log} mold events\n".join(["""
print "top"
clicks: 0
win: make-face [type: 'window size: 40x6 pane: reduce [
	make-face [type: 'button offset: 0x0 size: 6x1 text: "Btn" extra: 'btn actors: [click [clicks: clicks + 1 print ["click" clicks]]]]
	make-face [type: 'check offset: 8x0 size: 8x1 text: "chk" extra: 'chk]
	make-face [type: 'text-list offset: 20x0 size: 8x4 data: ["a" "b" "c" "d" "e"] extra: 'list]
	make-face [type: 'text offset: 0x3 size: 10x2 text: "wheel" actors: [wheel [print ["wheel" event/picked] 'done]]]
	make-face [type: 'button offset: 30x0 size: 6x1 text: "Off" enabled?: false extra: 'off actors: [click [print "disabled clicked"]]]
]]
view-window win
probe win/pane/2/data
probe win/pane/3/selected
e: events
remove-each [t x] e [not find [down up click dbl-click change select over away] t]
""", ""]))
    check("mouse: drawn", p.wait_for("wheel"), "\n".join(p.screen()))
    origin = p.screen().index("top") + 1
    p.click(1, origin)
    check("mouse: click runs the actor and the print goes above the window",
          p.wait_for("click 1"), "\n".join(p.screen()))
    origin = next(i for i, line in enumerate(p.screen()) if line.startswith("Btn"))
    p.click(1, origin, 0)
    check("mouse: a second click", p.wait_for("click 2"), "\n".join(p.screen()))
    origin = next(i for i, line in enumerate(p.screen()) if line.startswith("Btn"))
    p.click(1, origin, 0)
    check("mouse: a third click", p.wait_for("click 3"), "\n".join(p.screen()))
    origin = next(i for i, line in enumerate(p.screen()) if line.startswith("Btn"))
    p.click(9, origin)
    check("mouse: the check box toggles", p.wait_for("\U0001F795 chk"), "\n".join(p.screen()))
    p.click(21, origin + 2)
    p.click(31, origin)
    p.send(f"{ESC}[<64;3;{origin + 5}M")
    check("mouse: the wheel reaches the face under the pointer", p.wait_for("wheel 1.0"),
          "\n".join(p.screen()))
    p.send(f"{ESC}[<65;3;{origin + 5}M")
    check("mouse: and turns the other way", p.wait_for("wheel -1.0"), "\n".join(p.screen()))
    origin = next(i for i, line in enumerate(p.screen()) if line.startswith("Btn"))
    p.send(f"{ESC}[<35;2;{origin + 1}M")     # motion onto the button
    p.send(f"{ESC}[<35;3;{origin + 1}M")     # within it: nothing new
    p.send(f"{ESC}[<35;18;{origin + 1}M")    # off it, onto the window
    p.send(ESC)
    check("mouse: closed", p.wait_for("EXIT="), "\n".join(p.screen()))
    text = "\n".join(p.screen())
    check("mouse: check box data and text-list selection", "true\n3\n" in text, text)
    with open(log) as f:
        flat = " ".join(f.read().split())
    check("mouse: a click soon after another is also a double click",
          "[down btn down none up btn click btn up none click none down btn down none up btn click btn "
          "dbl-click btn up none click none dbl-click none down btn down none up btn click btn up none "
          "click none" in flat, flat)
    check("mouse: the check box changes, the list selects", "up chk change chk click chk" in flat
          and "select list change list click list" in flat, flat)
    check("mouse: a disabled button gets nothing", "disabled" not in text and " off" not in flat, flat)
    check("mouse: motion enters the button, then leaves it for its parent",
          flat.endswith("over btn away btn]"), flat)
    restored("mouse", p, 0)
    p.close()


def timers(tmp):
    """A face's rate sends time events; a handler may wait (which runs a pass of the loop inside
    the timer walk); the handler that closes the window during the walk kills every timer of the
    window safely."""
    p = Pane(tmp, """
ticks: 0
other: 0
win: make-face [type: 'window size: 20x2 rate: 20 actors: [time [
	ticks: ticks + 1
	if ticks = 5 [close-window win]
]] pane: reduce [
	make-face [type: 'text size: 10x1 text: "timed" rate: 20 actors: [time [other: other + 1 wait 0.01]]]
]]
view-window win
print ["ticks" ticks "other" other]
""")
    check("timers: the window closes itself", p.wait_for("EXIT=", 10), "\n".join(p.screen()))
    text = "\n".join(p.screen())
    check("timers: five ticks, then none", "ticks 5 other" in text, text)
    restored("timers", p, 0)
    p.close()


def exits(tmp):
    """The terminal is put back whatever way the program leaves a shown window."""
    window = """
win: make-face [type: 'window size: 30x3 flags: FLAGS rate: 10 actors: [time [ACTION]] pane: reduce [
	make-face [type: 'field size: 10x1 text: "up" flags: 'focusable]
]]
view-window win
print "after"
"""
    cases = [
        ("quit in an actor", "[]", "quit/return 3", None, "3"),
        ("an error in an actor", "[]", "either value? 'err-done [close-window win][set 'err-done 1 1 / 0]",
         None, "0"),
        ("an exit nothing takes", "[]", "throw 'nowhere", None, "0"),
        ("SIGTERM", "[]", "none", signal.SIGTERM, str(128 + signal.SIGTERM)),
        ("SIGHUP", "[]", "none", signal.SIGHUP, str(128 + signal.SIGHUP)),
        ("SIGTERM on the alternate screen", "[fullscreen]", "none", signal.SIGTERM,
         str(128 + signal.SIGTERM)),
    ]
    for name, flags, action, sig, status in cases:
        p = Pane(tmp, window.replace("FLAGS", flags).replace("ACTION", action))
        check(name + ": drawn", p.wait_for("up"), "\n".join(p.screen()))
        if "alternate" in name:
            check(name + ": on the alternate screen", p.modes().startswith("1 1"), p.modes())
        if sig:
            pid = p.kaz_pid()
            check(name + ": process found", pid is not None)
            if pid:
                os.kill(pid, sig)
        restored(name, p, status)
        if "error" in name:
            text = "\n".join(p.screen())
            check(name + ": printed, and the window went on", "Math Error" in text and "after" in text,
                  text)
        p.close()


def resize(tmp):
    """A window larger than the terminal is cut to it, and a resized terminal gets a new frame."""
    rows = "\n".join(f'\tmake-face [type: \'text offset: 0x{i} size: 70x1 text: "{i:02d}{"." * 60}|"]'
                     for i in range(20))
    p = Pane(tmp, f"""
win: make-face [type: 'window size: 70x20 flags: [fullscreen] pane: reduce [
{rows}
]]
view-window win
""", columns=40, rows=10)
    check("resize: drawn", p.wait_for("09"), "\n".join(p.screen()))
    s = p.screen()
    check("resize: cut to the terminal", s[0] == "00" + "." * 38 and s[9].startswith("09")
          and len(s[9]) == 40, "\n".join(s))
    p.tmux("resize-window", "-t", "0", "-x", "66", "-y", "14")
    check("resize: redrawn at the new size", p.wait_for("13" + "." * 60 + "|"), "\n".join(p.screen()))
    p.send(ESC)
    restored("resize", p, 0)
    p.close()


def editor_full_row(tmp):
    """A line that fills its last row exactly: the next output follows on the very next row."""
    p = Pane(tmp, 'a: ask ">> " print "got"', columns=20, rows=8)
    check("full row: prompt", p.wait_for(">>"), "\n".join(p.screen()))
    p.send("abcdefghijklmnopq")
    p.send("\r")
    check("full row: answered", p.wait_for("got"), "\n".join(p.screen()))
    rows = p.screen()
    at = next((i for i, r in enumerate(rows) if r.startswith(">> abc")), None)
    check("full row: no empty row after the line",
          at is not None and rows[at + 1] == "got", "\n".join(rows))
    restored("full row", p, 0)
    p.close()


def main():
    if not shutil.which("tmux"):
        print("tmux is missing: tools/install-deps installs it")
        return 1
    with tempfile.TemporaryDirectory() as tmp:
        for case in (widget_frame, text_layout, draw_dialect, lists_radios_rich_text, colour_depths,
                     image_cells, keyboard, mouse, timers, exits, resize, editor_full_row):
            try:
                case(tmp)
            except Exception as e:  # a broken case must not hide the others
                failures.append(f"{case.__name__}: {e!r}")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
