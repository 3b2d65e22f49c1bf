"""The debugger, profiler and tracer driven through a pipe: stops, commands and reports."""
import os
import re
import subprocess
import sys
import tempfile

KAZ = sys.argv[1]
failures = []


def run_script(source, stdin):
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "s.kaz")
        with open(path, "w") as f:
            f.write("Kaz []\n" + source)
        r = subprocess.run([KAZ, path], input=stdin.encode(), capture_output=True, timeout=60)
    return r.stdout.decode("utf-8", "replace").splitlines()


def expect(name, got, want):
    if got != want:
        failures.append(f"{name}:\n  want {want!r}\n  got  {got!r}")


def main():
    f = "f: func [x][x * 2]\n"
    # Each stop prints the event, the value, the input left and the stack; ENTER goes on.
    out = run_script(f + "debug [a: f 1]\nprint [\"after\" a]\n", "\n\n\nc\n")
    expect("stops", out[:12], [
        "-----> EVAL a:", "Input: a: f 1", "", "-empty stack-",
        "-----> PUSH a:", "Input: a: f 1", "", "Stack: a:", "",
        "-----> EVAL f", "Input: f 1", ""])
    expect("continue runs the rest", out[-1], "after 2")

    # Commands: watch, -stack, an unknown command, :word, next, continue.
    out = run_script("a: 5\n" + f + "debug [b: f a]\n",
                     "+w a\n-s\nbogus\n:a\nn\nc\n")
    expect("watch line", "Watch: a: 5" in out, True)
    expect("unknown", "Unknown command!" in out, True)
    expect(":word", "== 5" in out, True)
    expect("no stack after -s", sum(1 for l in out if l.startswith("Stack:")), 0)

    # A command that does not load, or names nothing, is reported; the debugging goes on.
    out = run_script("debug [1]\nprint \"after\"\n", ":[\n[\n+ [\n:a/b/c\nc\n")
    expect("bad : command", any(l.startswith("*** Syntax Error") for l in out), True)
    expect("bad command", out.count("Unknown command!"), 1)
    expect("bad path", "*** Script Error: a is unset in path :a/b/c" in out, True)
    expect("goes on after bad commands", out[-1], "after")

    # help prints the command list, a tab before each line.
    out = run_script("debug [1]\n", "?\nc\n")
    expect("help first line", out[4] if len(out) > 4 else None,
           "\t`help` or `?`: print a list of debugger's commands.")
    expect("help lines", sum(1 for l in out if l.startswith("\t`")), 16)

    # debug/later is silent until @stop; @go stops the stops again.
    out = run_script("debug/later [x: 1 @stop y: 2 @go z: 3]\nprint \"done\"\n", "\n" * 20)
    expect("later", [l for l in out if l.startswith("----->")],
           ["-----> EVAL @stop", "-----> PUSH @stop", "-----> EVAL y:", "-----> PUSH y:",
            "-----> EVAL 2", "-----> PUSH 2", "-----> SET y 2"])
    expect("later done", out[-1], "done")

    # profile: the result line, an empty line, then one ranked line per function (times masked).
    out = run_script(f + "g: func [n][loop n [f 1]]\nprofile/by [g 3] 'name\n", "")
    masked = [re.sub(r"\d+:\d+:[\d.]+", "T", l) for l in out]
    expect("profile report", masked, [
        "== 2", "",
        "#1   *                | 3          | T",
        "#2   f                | 3          | T",
        "#3   g                | 1          | T",
        "#4   loop             | 1          | T"])

    # An error inside debugged code stops once as ERROR and is then raised.
    out = run_script("debug/later [1 / 0]\n", "\n")
    expect("error stop", any(l.startswith("-----> ERROR") for l in out), True)
    expect("error raised", any(l.startswith("*** Math Error") for l in out), True)

    # Only words are watched: other values given to watch are passed over.
    out = run_script("x: 1\ndebug [x + 2]\nprint \"after\"\n", "+w 1 \"s\" x\n\nc\n")
    expect("watch words only", [l for l in out if l.startswith("Watch:")], ["Watch: x: 1"])
    expect("watch goes on", out[-1], "after")

    # quit halts the debugged code: the rest of the script does not run.
    out = run_script("debug [print 1]\nprint \"not reached\"\n", "q\n")
    expect("quit halts", out[-1], "(halted)")
    expect("quit stops the code", "1" in out or "not reached" in out, False)

    # parents lists the debugged code's calls, none of the debugger's own.
    out = run_script(f + "debug [f 1]\n", "\n\n\n\np\nc\n")
    expect("parents", [l for l in out if l.startswith("Call:")], ["Call: f"])

    if failures:
        print("\n".join(failures))
        sys.exit(1)


main()
