"""print, prin and the system natives seen from outside: the exact bytes written to a pipe, the
clock fields against the system's clock, file sizes, local file names and the environment."""
import os
import subprocess
import sys
import tempfile
import time
import zlib

KAZ = os.path.abspath(sys.argv[1])


def run_script(text, env=None, cwd=None):
    # A script's relative paths are taken from its own folder: it is written where it runs.
    with tempfile.NamedTemporaryFile("w", suffix=".kaz", delete=False, encoding="utf-8",
                                     dir=cwd) as f:
        f.write("Kaz []\n" + text)
        path = f.name
    try:
        return subprocess.run([KAZ, path], stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=60, env=env, cwd=cwd)
    finally:
        os.unlink(path)


def main():
    failures = []

    def check(what, got, want):
        if got != want:
            failures.append(f"{what}: got {got!r}, want {want!r}")

    # Output bytes: LF line ends, UTF-8 for every width of text, prin without a line end.
    r = run_script('print "abc"\nprin "x" prin "y"\nprint ["é" 1 + 1 "€" "\U0001F600"]\n'
                   'print ""\nprint [1 (prin "in " 3) 2]\n')
    check("print bytes", r.stdout, "abc\nxyé 2 € \U0001F600\n\nin 1 3 2\n".encode("utf-8"))
    check("print exit code", r.returncode, 0)

    # The clock: each field read twice around the system's reading, so a change of day between
    # them is seen and the comparison retried.
    for _ in range(3):
        before = time.localtime()
        r = run_script("print [now/year now/month now/day now/weekday now/yearday]\n"
                       "print [now/utc/year now/utc/month now/utc/day]\n"
                       "print to integer! now/zone\n")
        after = time.localtime()
        if before.tm_yday == after.tm_yday:
            break
    lines = r.stdout.decode().split("\n")
    local = [before.tm_year, before.tm_mon, before.tm_mday, before.tm_wday + 1, before.tm_yday]
    check("now fields", lines[0], " ".join(map(str, local)))
    utc = time.gmtime()
    check("now/utc fields", lines[1], f"{utc.tm_year} {utc.tm_mon} {utc.tm_mday}")
    offset = before.tm_gmtoff
    sign = -1 if offset < 0 else 1
    check("now/zone", lines[2], str(sign * (abs(offset) // 900 * 900)))

    # A zone east of UTC with a half hour: the zone and the local time follow it.
    env = dict(os.environ, TZ="XST-5:30")
    r = run_script("print to integer! now/zone\n"
                   "print to integer! (now/time - now/utc/time) // 86400\n", env=env)
    got = r.stdout.decode().split("\n")
    check("now/zone at +5:30", got[0], "19800")
    if got[1] not in ("19800", "-66600"):
        failures.append(f"local time at +5:30: got {got[1]!r}")

    # size?: a file's size, none for a directory, a missing file or a path ending in a slash.
    with tempfile.TemporaryDirectory() as d:
        with open(os.path.join(d, "f.bin"), "wb") as f:
            f.write(b"x" * 1234)
        r = run_script("print size? %f.bin\nprint none = size? %.\nprint none = size? %missing\n"
                       "print none = size? %f.bin/\n", cwd=d)
        check("size?", r.stdout, b"1234\ntrue\ntrue\ntrue\n")
        r = run_script('print to-local-file/full "a/b"\nprint to-local-file/full "/x"\n', cwd=d)
        real = os.path.realpath(d)
        got = r.stdout.decode().split("\n")
        if got[0] not in (f"{d}/a/b", f"{real}/a/b"):
            failures.append(f"to-local-file/full: got {got[0]!r} in {d!r}")
        check("to-local-file/full absolute", got[1], "/x")

    # The environment given to the process.
    env = dict(os.environ, KAZ_E2E_VAR="v\u00e9")
    r = run_script('print get-env "KAZ_E2E_VAR"\nprint none = get-env "KAZ_E2E_UNSET"\n', env=env)
    check("get-env", r.stdout, "vé\ntrue\n".encode("utf-8"))

    # checksum reads a file! whole; a missing one cannot be opened.
    with tempfile.TemporaryDirectory() as d:
        data = bytes(range(256)) * 300
        with open(os.path.join(d, "f.bin"), "wb") as f:
            f.write(data)
        r = run_script("print checksum %f.bin 'crc32\nprint checksum %f.bin 'adler32\n"
                       "print error? try [checksum %missing 'crc32]\n"
                       "e: try [checksum %missing 'md5] print [e/type e/id]\n", cwd=d)
        got = r.stdout.decode().split("\n")
        signed = lambda n: n - (1 << 32) if n >= 1 << 31 else n
        check("checksum of a file", got[:4], [str(signed(zlib.crc32(data))),
                                              str(signed(zlib.adler32(data))), "true",
                                              "access cannot-open"])

    # browse hands the local path or the URL text to the desktop's opener, found on PATH, and
    # does not wait for it; without an opener it fails.
    with tempfile.TemporaryDirectory() as d:
        opener = os.path.join(d, "xdg-open")
        with open(opener, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$1" >> "$(dirname "$0")/opened"\n')
        os.chmod(opener, 0o755)
        env = dict(os.environ, PATH=d + ":" + os.environ.get("PATH", "/usr/bin:/bin"))
        r = run_script("browse %doc/page.html\nbrowse http://localhost:8000/x\nprint 1\n",
                       env=env, cwd=d)
        check("browse result", r.stdout, b"1\n")
        opened = os.path.join(d, "opened")
        for _ in range(100):
            if os.path.exists(opened) and open(opened).read().count("\n") == 2:
                break
            time.sleep(0.05)
        lines = open(opened).read().split("\n") if os.path.exists(opened) else []
        check("browse targets", sorted(lines[:2]), ["doc/page.html", "http://localhost:8000/x"])
        empty = os.path.join(d, "empty")
        os.mkdir(empty)
        r = run_script("print error? try [browse %x]\n", env=dict(os.environ, PATH=empty))
        check("browse without an opener", r.stdout, b"true\n")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
