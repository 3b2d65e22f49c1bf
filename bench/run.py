#!/usr/bin/env python3
"""Times each benchmark program in Kaz, Lua 5.4 and Python 3 and prints the ratios.

A benchmark is a name with up to three programs in bench/programs/: NAME.kaz, NAME.lua and
NAME.py, which do the same work. Each runs --runs times; the best wall-clock time counts. The
ratio columns give Kaz's time divided by Lua's and by Python's (below 1: Kaz is faster).
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

import data

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = os.path.join(HERE, "programs")


def best_time(command, runs, timeout, cwd):
    """The best of `runs` timings of command, or None when it fails."""
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        try:
            r = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, timeout=timeout, cwd=cwd,
                               env=dict(os.environ, KAZ_BENCH_DATA=cwd))
        except subprocess.TimeoutExpired:
            print(f"  {' '.join(command)}: timed out after {timeout} s", file=sys.stderr)
            return None
        elapsed = time.perf_counter() - start
        if r.returncode != 0:
            err = r.stderr.decode(errors="replace").strip()
            print(f"  {' '.join(command)}: exit {r.returncode} {err}", file=sys.stderr)
            return None
        best = elapsed if best is None else min(best, elapsed)
    return best


def fmt_time(t):
    return "-" if t is None else f"{t:.3f}"


def fmt_ratio(a, b):
    return "-" if a is None or b is None or b == 0 else f"{a / b:.2f}"


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--kaz", default="build/kaz", help="the kaz executable")
    ap.add_argument("--lua", default="lua5.4", help="the Lua 5.4 interpreter")
    ap.add_argument("--python", default=sys.executable, help="the Python 3 interpreter")
    ap.add_argument("--runs", type=int, default=3, help="runs per program (best counts)")
    ap.add_argument("--timeout", type=float, default=300, help="seconds before a run is dropped")
    ap.add_argument("--data", default="build/bench-data",
                    help="folder of the codec benchmarks' data files (made when missing)")
    ap.add_argument("names", nargs="*", help="benchmarks to run (default: all)")
    args = ap.parse_args()
    kaz = os.path.abspath(args.kaz)

    names = sorted(f[:-4] for f in os.listdir(PROGRAMS) if f.endswith(".kaz"))
    if args.names:
        names = [n for n in names if n in args.names]
    if not names:
        print("No Kaz benchmark programs yet (bench/programs/*.kaz); nothing to time.")
        return 0
    if not os.access(kaz, os.X_OK):
        print(f"kaz executable not found: {args.kaz}", file=sys.stderr)
        return 1
    lua = shutil.which(args.lua)
    if not lua:
        print(f"{args.lua} not found; Lua columns stay empty.", file=sys.stderr)

    # Programs run in the data folder, where the codec benchmarks find their files (a Kaz
    # script starts in its own folder: it goes to KAZ_BENCH_DATA).
    data.ensure(args.data)
    cwd = os.path.abspath(args.data)
    print(f"{'benchmark':<16}{'kaz s':>9}{'lua s':>9}{'python s':>10}{'kaz/lua':>9}{'kaz/py':>8}")
    for name in names:
        base = os.path.join(PROGRAMS, name)
        k = best_time([kaz, base + ".kaz"], args.runs, args.timeout, cwd)
        lu = None
        if lua and os.path.exists(base + ".lua"):
            lu = best_time([lua, base + ".lua"], args.runs, args.timeout, cwd)
        py = None
        if os.path.exists(base + ".py"):
            py = best_time([args.python, base + ".py"], args.runs, args.timeout, cwd)
        print(f"{name:<16}{fmt_time(k):>9}{fmt_time(lu):>9}{fmt_time(py):>10}"
              f"{fmt_ratio(k, lu):>9}{fmt_ratio(k, py):>8}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
