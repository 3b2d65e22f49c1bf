#!/usr/bin/env python3
"""Times each benchmark program in Kaz, Lua 5.4 and Python 3 and prints the ratios.

A benchmark is a name with up to three programs in bench/programs/: NAME.kaz, NAME.lua and
NAME.py, which do the same work. Each runs --runs times; the best wall-clock time counts. The
ratio columns give Kaz's time divided by Lua's and by Python's (below 1: Kaz is faster).

With --callgrind each program runs once under valgrind's callgrind instead, and the columns give
millions of machine instructions executed: a count that does not change with the machine's load.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import data

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = os.path.join(HERE, "programs")


def real_interpreter(command):
    """The interpreter that command runs, through version-manager shims and symbolic links.

    A shim is a script that picks an interpreter and executes it; timing it would add its own
    start-up, so the interpreter is asked for its own path.
    """
    path = shutil.which(command)
    if not path:
        return None
    path = os.path.realpath(path)
    with open(path, "rb") as f:
        script = f.read(2) == b"#!"
    if script:
        r = subprocess.run([path, "-c", "import sys; print(sys.executable)"],
                           capture_output=True, text=True)
        found = r.stdout.strip()
        if r.returncode != 0 or not found:
            return None
        path = os.path.realpath(found)
    return path


def versions(kaz, lua, python):
    """One line per language naming the interpreter that runs and its version."""
    lines = []
    with tempfile.NamedTemporaryFile("w", suffix=".kaz", delete=False) as f:
        f.write("Kaz []\nprint system/version\n")
    try:
        r = subprocess.run([kaz, f.name], capture_output=True, text=True)
        lines.append(f"kaz     {r.stdout.strip() or '?'}  ({os.path.realpath(kaz)})")
    finally:
        os.unlink(f.name)
    if lua:
        r = subprocess.run([lua, "-v"], capture_output=True, text=True)
        lines.append(f"lua     {(r.stdout or r.stderr).strip().split('  ')[0]}  ({lua})")
    if python:
        r = subprocess.run([python, "--version"], capture_output=True, text=True)
        lines.append(f"python  {(r.stdout or r.stderr).strip()}  ({python})")
    return lines


# The folder the programs run in, where the codec benchmarks find their data files (a Kaz script
# starts in its own folder, so it reads KAZ_BENCH_DATA).
DATA_DIR = None


def run_once(command, timeout):
    """Runs command with its output discarded; answers its stderr, or None when it fails."""
    try:
        r = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, timeout=timeout, cwd=DATA_DIR,
                           env=dict(os.environ, KAZ_BENCH_DATA=DATA_DIR or ""))
    except subprocess.TimeoutExpired:
        print(f"  {' '.join(command)}: timed out after {timeout} s", file=sys.stderr)
        return None
    err = r.stderr.decode(errors="replace")
    if r.returncode != 0:
        print(f"  {' '.join(command)}: exit {r.returncode} {err.strip()}", file=sys.stderr)
        return None
    return err


def best_time(command, runs, timeout):
    """The best of `runs` timings of command in seconds, or None when it fails."""
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        if run_once(command, timeout) is None:
            return None
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


COLLECTED = re.compile(r"Collected\s*:\s*(\d+)")


def instructions(command, timeout):
    """Millions of instructions command executes under callgrind, or None when it fails."""
    err = run_once(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + command,
                   timeout)
    if err is None:
        return None
    m = COLLECTED.search(err)
    return int(m.group(1)) / 1e6 if m else None


def fmt_measure(t, callgrind):
    if t is None:
        return "-"
    return f"{t:.1f}" if callgrind else f"{t:.3f}"


def fmt_ratio(a, b):
    return "-" if a is None or b is None or b == 0 else f"{a / b:.2f}"


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--kaz", default="build/kaz", help="the kaz executable")
    ap.add_argument("--lua", default="lua5.4", help="the Lua 5.4 interpreter")
    ap.add_argument("--python", default="python3",
                    help="the Python 3 interpreter (shims are resolved to the real one)")
    ap.add_argument("--runs", type=int, default=3, help="runs per program (best counts)")
    ap.add_argument("--timeout", type=float, default=300, help="seconds before a run is dropped")
    ap.add_argument("--callgrind", action="store_true",
                    help="count instructions under callgrind instead of timing")
    ap.add_argument("--data", default="build/bench-data",
                    help="folder of the codec benchmarks' data files (made when missing)")
    ap.add_argument("names", nargs="*", help="benchmarks to run (default: all)")
    args = ap.parse_args()
    args.kaz = os.path.abspath(args.kaz)

    names = sorted(f[:-4] for f in os.listdir(PROGRAMS) if f.endswith(".kaz"))
    if args.names:
        names = [n for n in names if n in args.names]
    if not names:
        print("No Kaz benchmark programs yet (bench/programs/*.kaz); nothing to time.")
        return 0
    if not os.access(args.kaz, os.X_OK):
        print(f"kaz executable not found: {args.kaz}", file=sys.stderr)
        return 1
    if args.callgrind and not shutil.which("valgrind"):
        print("valgrind not found; --callgrind needs it.", file=sys.stderr)
        return 1
    lua = shutil.which(args.lua)
    if not lua:
        print(f"{args.lua} not found; Lua columns stay empty.", file=sys.stderr)
    python = real_interpreter(args.python)
    if not python:
        print(f"{args.python} not found; Python columns stay empty.", file=sys.stderr)
    for line in versions(args.kaz, lua, python):
        print(line)
    global DATA_DIR
    data.ensure(args.data)
    DATA_DIR = os.path.abspath(args.data)

    def measure(command):
        if args.callgrind:
            return instructions(command, args.timeout)
        return best_time(command, args.runs, args.timeout)

    unit = "M instr" if args.callgrind else "s"
    print(f"{'benchmark':<16}{'kaz ' + unit:>12}{'lua ' + unit:>12}{'python ' + unit:>15}"
          f"{'kaz/lua':>9}{'kaz/py':>8}")
    for name in names:
        base = os.path.join(PROGRAMS, name)
        k = measure([args.kaz, base + ".kaz"])
        lu = None
        if lua and os.path.exists(base + ".lua"):
            lu = measure([lua, base + ".lua"])
        py = None
        if python and os.path.exists(base + ".py"):
            py = measure([python, base + ".py"])
        cg = args.callgrind
        print(f"{name:<16}{fmt_measure(k, cg):>12}{fmt_measure(lu, cg):>12}"
              f"{fmt_measure(py, cg):>15}{fmt_ratio(k, lu):>9}{fmt_ratio(k, py):>8}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
