#!/usr/bin/env python3
"""Checks that every file under src/ includes only headers of its own layer or of the layers
beneath it. Prints each upward include; exits 1 when there is one.

Usage: check-layers.py [SRC_DIR] [--summary]
"""
import os
import re
import sys

# Bottom to top.
LAYERS = ["runtime", "memory", "core", "datatypes", "loader", "platform", "eval", "library",
          "view", "console", "start"]
RANK = {name: i for i, name in enumerate(LAYERS)}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')


def layer_of(path, src):
    rel = os.path.relpath(path, src)
    top = rel.split(os.sep)[0]
    if top == "main.cpp":
        return "start"
    return top


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    summary = "--summary" in sys.argv
    src = args[0] if args else os.path.join(os.path.dirname(__file__), "..", "src")
    bad = 0
    arrows = {}
    for root, _, files in os.walk(src):
        for name in sorted(files):
            path = os.path.join(root, name)
            own = layer_of(path, src)
            if own not in RANK:
                print(f"{path}: folder '{own}' is in no layer")
                bad += 1
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                for n, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m or m.group(1) not in RANK:
                        continue
                    target = m.group(1)
                    arrows[(own, target)] = arrows.get((own, target), 0) + 1
                    if RANK[target] > RANK[own]:
                        print(f"{os.path.relpath(path, src)}:{n}: {own} includes {line.strip()}")
                        bad += 1
    if summary:
        for (a, b), count in sorted(arrows.items(), key=lambda x: (RANK[x[0][0]], RANK[x[0][1]])):
            if a != b:
                print(f"{a:>10} -> {b:<10} {count}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
