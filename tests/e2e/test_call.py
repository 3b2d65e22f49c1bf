"""call with the console's own streams, and Ctrl-C while a called program runs."""
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_console_pty as pty_console  # noqa: E402

KAZ = sys.argv[1]
pty_console.KAZ = KAZ
failures = pty_console.failures


def check(name, cond, detail=""):
    if not cond:
        failures.append(f"{name}: {detail}")


def run_script(home, text, stdin=""):
    path = os.path.join(home, "call.kaz")
    with open(path, "w") as f:
        f.write("Kaz []\n" + text)
    return subprocess.run([KAZ, path], input=stdin.encode(), capture_output=True, timeout=60)


def main():
    with tempfile.TemporaryDirectory() as home:
        # /console gives the child this process's streams; without it they go nowhere.
        r = run_script(home, 'print call/console "echo shown"\n'
                             'print call/wait "echo hidden"\n'
                             'print call/console "sh -c \'echo to-err >&2; exit 3\'"\n'
                             'print call/console "cat"\n'
                             'print call/wait "sh -c \'echo lost >&2\'"\n', stdin="piped in\n")
        out = r.stdout.decode()
        check("console output", out == "shown\n0\n0\n3\npiped in\n0\n0\n", repr(out))
        check("console error", r.stderr.decode() == "to-err\n", repr(r.stderr))

        # An environment variable that is no valid UTF-8 reads with U+FFFD, the others as they are.
        path = os.path.join(home, "env.kaz")
        with open(path, "w") as f:
            f.write('Kaz []\nm: list-env\nprint [mold select m "BAD" mold get-env "BAD" '
                    'mold select m "GOOD"]\n')
        env = {b"BAD": b"a\xffb", b"GOOD": "\u00e9".encode(), b"PATH": os.environb[b"PATH"]}
        r = subprocess.run([KAZ, path], capture_output=True, timeout=60, env=env)
        check("environment bytes", r.stdout.decode() == '"a\ufffdb" "a\ufffdb" "\u00e9"\n',
              f"{r.stdout!r} {r.stderr!r}")

        # An interrupt sent to this process alone (no terminal) is passed on to the child.
        path = os.path.join(home, "interrupted.kaz")
        with open(path, "w") as f:
            f.write('Kaz []\nprint "go"\ncall/wait "sleep 30"\nprint "after"\n')
        p = subprocess.Popen([KAZ, path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        p.stdout.readline()
        start = time.time()
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=60)
        check("interrupt passed on", out == b"(halted)\n" and time.time() - start < 20,
              f"{out!r} {err!r} after {time.time() - start:.1f} s")

        env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, "cache"),
                   TERM="xterm")

        def interrupt(c):
            c.expect(r"started\r\n")  # from the child: it runs
            c.send("\x03")

        def interrupt_twice(c):
            interrupt(c)
            # The child's trap shows it outlived the first; this process looks at its own
            # interrupt flag ten times a second, well before the second comes.
            check("first interrupt reached the child", c.expect(r"caught\r\n") is not None)
            time.sleep(1)
            c.send("\x03")

        cases = [
            # The child ends on the interrupt; the rest of the line does not run.
            ("ctrl-c ends the child and halts",
             [('call/console {sh -c "echo st""arted; exec sleep 30"} print "after"\r', None),
              (interrupt, r"\(halted\)"), ("11\r", r"== 11")]),
            # A child that outlives the interrupt is killed by a second one.
            ("second ctrl-c kills a child that outlives the first",
             [('call/console {sh -c "trap \'echo caught\' INT; echo st""arted; '
               'while :; do sleep 0.1; done"} print "after"\r', None),
              (interrupt_twice, r"\(halted\)"), ("12\r", r"== 12")]),
            # A child on the terminal that changes its modes: the prompt still edits.
            ("terminal modes put back",
             [('call/console "stty -echo -icanon" o: copy "" call/console/output "stty" o '
               'reduce [find o "-echo" find o "-icanon"]\r', r"== \[none none\]"),
              ("1 + 2" + pty_console.LEFT * 5 + "4\r", r"== 43")]),
        ]
        for n, (name, steps) in enumerate(cases):
            fresh = dict(env, XDG_CACHE_HOME=os.path.join(home, f"cache{n}"))
            start = time.time()
            c, code = pty_console.session(fresh, steps, name)
            check(name, code == 0, f"exit {code}, output {c.out[-300:]!r}")
            check(name, "after" not in c.out.replace('print "after"', ""), repr(c.out[-300:]))
            check(name, time.time() - start < 20, "took too long")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
