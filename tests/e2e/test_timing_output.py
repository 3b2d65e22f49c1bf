"""What clock and stats/show print, and to-local-date in a zone other than UTC, seen from outside."""
import os
import re
import subprocess
import sys
import tempfile

KAZ = os.path.abspath(sys.argv[1])


def run_script(text, env=None):
    with tempfile.NamedTemporaryFile("w", suffix=".kaz", delete=False, encoding="utf-8") as f:
        f.write("Kaz []\n" + text)
        path = f.name
    try:
        return subprocess.run([KAZ, path], stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=60, env=env)
    finally:
        os.unlink(path)


def shown_number_ok(number):
    # Three digits, or the whole integer part when it is longer.
    integer, _, fraction = number.partition(".")
    if len(integer) >= 3:
        return fraction == ""
    return len(integer + fraction) == 3


def main():
    failures = []

    def check(what, cond, detail):
        if not cond:
            failures.append(f"{what}: {detail}")

    long_code = "[" + " ".join(["1"] * 40) + "]"
    r = run_script("print clock/times [wait 0.01 7] 5\n"
                   "print clock [x: 10 x + 2]\n"
                   f"print clock {long_code}\n"
                   "clock/times [] 0\n")
    lines = r.stdout.decode("utf-8").split("\n")
    check("clock exit code", r.returncode == 0, r.stderr)
    codes = ["[wait 0.01 7]", "[x: 10 x + 2]", long_code[:70], "[]"]
    values = ["7", "12", "1", None]
    line_re = re.compile(r"^([0-9.]+) (ms|\u03bcs)\t(.*)$")
    at = 0
    for code, value in zip(codes, values):
        m = line_re.match(lines[at]) if at < len(lines) else None
        check("clock line", m is not None, f"{lines[at:at + 1]!r}")
        if m:
            check("clock number", shown_number_ok(m.group(1)), m.group(1))
            check("clock code text", m.group(3) == code, f"{m.group(3)!r} for {code!r}")
        at += 1
        if value is not None:
            check("clock value", lines[at] == value, f"{lines[at]!r} for {code!r}")
            at += 1

    r = run_script("stats/show\n")
    out = r.stdout.decode("utf-8").split("\n")
    check("stats/show exit code", r.returncode == 0, r.stderr)
    for head in ("[ Nodes  ] -- Free ----- Used ----- Total --",
                 "[ Series ] -- Free ----- Used ----- Total --", "[ Big    ]"):
        check("stats/show heading", head in out, f"{head!r} missing in {out!r}")
    check("stats/show frame line", any(re.match(r"^   1: +\d+ +\d+ +\d+$", x) for x in out),
          repr(out))
    check("stats/show totals", re.match(r"^Total allocated on heap \(malloc\): +\d+$", out[-2])
          is not None, repr(out[-2:]))

    env = dict(os.environ, TZ="XST-5:30")
    r = run_script("print to-local-date 10-Dec-2026/12:00:00+02:00\n"
                   "print to-UTC-date 10-Dec-2026/12:00:00+02:00\n", env=env)
    check("zones", r.stdout.decode() == "10-Dec-2026/15:30:00+05:30\n10-Dec-2026/10:00:00\n",
          repr(r.stdout))

    for f in failures:
        print(f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
