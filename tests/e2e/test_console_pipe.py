"""The console through pipes: the prompt loop, scripts, exit codes and the settings file."""
import os
import signal
import subprocess
import sys
import tempfile
import time

KAZ = sys.argv[1]
BANNER = "--== Kaz"
failures = []


def run(args, stdin="", cwd=None, env=None):
    return subprocess.run([KAZ, *args], input=stdin.encode(), capture_output=True,
                          timeout=60, cwd=cwd, env=env)


def check(name, cond, detail):
    if not cond:
        failures.append(f"{name}: {detail}")


def lines_of(r):
    return r.stdout.decode("utf-8", "replace").splitlines()


def main():
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, "cache"))

        # Prompt loop cases: input lines and the lines that must follow the banner, in order.
        cases = [
            ("result", "1 + 2\n", ["== 3"]),
            ("float formed", "1.5\n", ["== 1.5"]),
            ("none", "none\n", ["== none"]),
            ("unset prints nothing", "print 4\n", ["4"]),
            ("empty line", "\n\n7\n", ["== 7"]),
            ("error and empty line", "1 / 0\n8\n",
             ["*** Math Error: attempt to divide by zero", "*** Where: /",
              "*** Near : 1 / 0", "", "== 8"]),
            ("multi-line block", "[\n1 2\n]\n", ["== [", "    1 2", "]"]),
            ("multi-line string", "{a\nb}\n", ['== "a^/b"']),
            ("load error", ")\n9\n", ["*** Syntax Error: (line 1) missing ( at )"]),
            ("escape drops input", "[1\n\x1b\n5\n", ["(escape)", "== 5"]),
            ("halt", "loop 3 [print 1 halt]\n", ["1", "(halted)"]),
            ("halt inside a reaction",
             "r: reactor [a: 1] react/later [print r/a halt print 0]\nr/a: 2 print 3\n4\n",
             # the halt crosses the change handler and ends the line, as anywhere else
             ["2", "(halted)", "== 4"]),
            ("reactions come back after a halt in no-react",
             "r: reactor [a: 1 relate b: [a * 2]]\nno-react [halt]\nr/a: 5 r/b\n",
             ["(halted)", "== 10"]),
            ("tools without a console size", "system/console/size: none\nprofile [1 + 1]\n",
             ["== 2", ""]),
            ("halt-request as a value", "'halt-request\n", ["== halt-request"]),
            ("words persist", "x: 10\nx * 2\n", ["== 10", "== 20"]),
            ("cut to the width", "append/dup [] 1 100\n",
             ["== [" + "1 " * 36 + "..."]),
            # Wide characters take two columns each.
            ("cut to the width in columns", 'append/dup "" "\u6f22" 100\n',
             ["== {" + "\u6f22" * 36 + "..."]),
            ("prompt function",
             'system/console/prompt: does ["$ "]\n1\n', ["== 1"]),
            ("bad prompt function",
             "system/console/prompt: does [1 / 0]\n2\n",
             ["*** Math Error: attempt to divide by zero"]),
            ("unusable fields", "system/console/history: 5\nsystem/console/delimiters: 1\n"
             "system/console/buffer: 2\n3\n", ["== 5", "== 1", "== 2", "== 3"]),
            ("help alone at the end of a line", "help\n",
             ["\tUse HELP or ? to view built-in docs for functions, values ",
              "\tfor contexts, or all values of a given datatype:"]),
            ("? on a word", "? append\n", ["USAGE:", "     APPEND series value"]),
            # Input that ends inside an open bracket is reported, not dropped.
            ("open bracket at the end", "1\n[2 3\n", ["== 1", "*** Syntax Error: (line 1) missing ] at [2 3"]),
        ]
        for name, text, want in cases:
            r = run([], text, env=env)
            out = lines_of(r)
            check(name, r.returncode == 0, f"exit {r.returncode}, stderr {r.stderr!r}")
            check(name, out[:1] and out[0].startswith(BANNER), f"no banner: {out[:2]}")
            body = out[3:]
            found = any(body[i:i + len(want)] == want for i in range(len(body) + 1))
            check(name, found, f"want {want} in {body}")

        r = run([], "quit/return 3\n", env=env)
        check("quit/return", r.returncode == 3, f"exit {r.returncode}")
        r = run([], "q\n", env=env)
        check("q", r.returncode == 0, f"exit {r.returncode}")

        # Scripts, their arguments, their directory and the exit codes.
        work = os.path.join(home, "work")
        os.makedirs(os.path.join(work, "sub"))

        def script(name, text):
            with open(os.path.join(work, name), "w") as f:
                f.write(text)

        script("sub/args.kaz", 'Kaz [Title: "args"]\nprint mold system/options/args\n'
               'print mold system/script/args\nprint get-current-dir\n'
               'print mold system/options/boot\n')
        script("err.kaz", "Kaz []\nprint 1\n1 / 0\nprint 2\n")
        script("nohdr.kaz", "print 1\n")
        script("system.kaz", "Kaz/System []\n")
        script("leading.kaz", "some text\nKaz [] print 6\n")
        script("macro.kaz", "Kaz []\n#macro [x] func [a][a]\nprint 1\n")
        script("directive.kaz", "Kaz []\n#if 1 / 0 [print 1]\nprint 2\n")
        script("macro-error.kaz", "Kaz []\n#macro f: func [][1 / 0]\nf\n")
        script("do-throw.kaz", "Kaz []\n#do [throw 1]\nprint 2\n")
        script('q"x.kaz', 'Kaz []\nprint mold system/script/args\n')
        r = run(["--catch", "sub/args.kaz", "a b", "--x"], "", cwd=work, env=env)
        out = lines_of(r)
        check("script args", out[:3] == ['["a b" "--x"]', '{"a b" --x}', work + "/sub/"],
              f"{out}")
        check("the program's path", out[3:4] == ['"' + KAZ + '"'], f"{out}")
        check("script with --catch: no banner",
              r.returncode == 0 and not any(BANNER in l for l in out), f"{out}")
        r = run(['q"x.kaz', "a", "b"], "", cwd=work, env=env)
        check("a quote in the script's name", lines_of(r) == ['"a b"'], f"{lines_of(r)}")
        r = run(["sub/args.kaz"], "", cwd=work, env=env)
        check("script alone exits 0", r.returncode == 0 and len(lines_of(r)) == 4,
              f"exit {r.returncode}, {lines_of(r)}")
        script_cases = [
            ("script error", "err.kaz", 1, ["1", "*** Math Error: attempt to divide by zero"]),
            ("no header", "nohdr.kaz", 1, ["*** Error: Kaz header not found!"]),
            ("needs compiling", "system.kaz", 1,
             ["*** Error: contains Kaz/System code which requires compilation!"]),
            ("text before the header", "leading.kaz", 0, ["6"]),
            ("missing script", "missing.kaz", 1, ['*** Access Error: cannot open: "missing.kaz"']),
            ("bad macro", "macro.kaz", 1,
             ["*** Macro Error: invalid macro definition", "*** Where: [x] func [a]"]),
            ("directive error", "directive.kaz", 1,
             ["*** Preprocessor Error in #if", "*** Math Error: attempt to divide by zero"]),
            # An error or throw out of the script's own macros is an error of the script.
            ("macro's error", "macro-error.kaz", 1, ["*** Math Error: attempt to divide by zero"]),
            ("throw out of #do", "do-throw.kaz", 1, ["*** Throw Error: no catch for throw: 1"]),
        ]
        for name, file, code, want in script_cases:
            r = run([file], "1 + 1\n", cwd=work, env=env)
            out = lines_of(r)
            check(name, r.returncode == code, f"exit {r.returncode}, {out}")
            check(name, out[:len(want)] == want, f"want {want}, got {out}")
            check(name, "== 2" not in out, "went on to the prompt")
        script("input.kaz", 'Kaz []\na: input\nb: ask "q? "\nc: input-stdin\n'
               'print mold reduce [a b c input]\n')
        r = run(["input.kaz"], "one\r\ntwo\nthr\u00e9e", cwd=work, env=env)
        check("script input", lines_of(r) == ['["one^M" "two" "thr\u00e9e" ""]'],
              f"{lines_of(r)}")
        # read/part takes no byte beyond the part from a pipe: the next read gets the rest.
        script("part.kaz", 'Kaz []\nprint mold read/part %/dev/stdin 3\n'
               'print mold read/lines %/dev/stdin\n')
        r = run(["part.kaz"], "abcdef\nxy\n", cwd=work, env=env)
        check("read/part of a pipe", lines_of(r) == ['"abc"', '["def" "xy"]'], f"{lines_of(r)}")
        # An interrupt halts a running script (the signal's flag is polled by the evaluator).
        script("loop.kaz", 'Kaz []\nprint "start"\nforever []\n')
        p = subprocess.Popen([KAZ, "loop.kaz"], cwd=work, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE)
        if p.stdout.readline() == b"start\n":
            time.sleep(0.3)
            p.send_signal(signal.SIGINT)
        out, _ = p.communicate(timeout=60)
        check("interrupted script", out == b"(halted)\n" and p.returncode == 0,
              f"{out!r}, exit {p.returncode}")
        r = run(["--catch", "err.kaz"], "1 + 1\n", cwd=work, env=env)
        out = lines_of(r)
        check("--catch after an error", r.returncode == 0 and "== 2" in out
              and not any(BANNER in l for l in out), f"exit {r.returncode}, {out}")
        r = run(["--", "--catch"], "", cwd=work, env=env)
        check("-- ends the options", r.returncode == 1 and "--catch" in r.stdout.decode(),
              f"exit {r.returncode}, {lines_of(r)}")

        # Settings: made on first start, written by quit, history kept, extra keys kept.
        cfg = os.path.join(home, "cache", "kaz", "Kaz-Console", "console-cfg.kaz")
        if os.path.exists(cfg):
            os.remove(cfg)
        r = run([], "append system/console/history \"one\"\nq\n", env=env)
        text = open(cfg).read() if os.path.exists(cfg) else ""
        header = 'Kaz [\n\tPurpose: "Kaz Console Configuration File"\n]\n\n'
        check("settings written", text.startswith(header)
              and "\nbuffer-lines: 10000" in text and '\nhistory: ["one"]' in text, text)
        check("settings written whole", not os.path.exists(cfg + ".new"), "a temporary file stayed")
        with open(cfg, "w") as f:
            f.write('Kaz [Purpose: "x"]\nextra: 5\nhistory: ["a" "b"]\n')
        r = run([], "print mold system/console/history\nq\n", env=env)
        text = open(cfg).read()
        check("settings read", '["a" "b"]' in lines_of(r), f"{lines_of(r)}")
        check("extra key kept", "extra: 5" in text and "buffer-lines: 10000" in text, text)
        lines = "".join(f'insert system/console/history "l{i}"\n' for i in range(150))
        r = run([], lines + "q\n", env=env)
        text = open(cfg).read()
        check("history cut to 100", '"l149"' in text and '"l50"' in text and '"l49"' not in text
              and '"a"' not in text, text[-200:])
        with open(cfg, "w") as f:
            f.write("Kaz [\n{unfinished\n")
        r = run([], "1\n", env=env)
        check("bad settings file", r.returncode == 0 and "== 1" in lines_of(r), f"{lines_of(r)}")
        blocker = os.path.join(home, "blocker")
        open(blocker, "w").close()
        r = run([], "1\nq\n", env=dict(env, XDG_CACHE_HOME=blocker))
        check("unwritable settings", r.returncode == 0 and "== 1" in lines_of(r)
              and "*** Access Error" in r.stdout.decode(), f"exit {r.returncode}, {lines_of(r)}")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
