"""The clipboard through a display's tools: stand-in wl-copy, wl-paste and xclip scripts on PATH
keep the clipboard in a folder, and the values written come back through them. Without a
display (or without the tools) the process keeps its own."""
import os
import subprocess
import sys
import tempfile
import time

KAZ = os.path.abspath(sys.argv[1])

# One script plays all three tools by the name it is called with. The clipboard is the files
# "data" and "type" in $CLIP_DIR; a file "hang" there makes every tool hang.
FAKE_TOOL = r"""#!/bin/sh
d="$CLIP_DIR"
[ -e "$d/hang" ] && sleep 30
name=${0##*/}
case "$name" in
  xclip) case "$*" in *"-selection clipboard"*) ;; *) exit 2;; esac;;
  wl-copy) mode=in;;
  wl-paste) mode=out;;
esac
while [ $# -gt 0 ]; do
  case "$1" in
    -t|--type) type=$2; shift;;
    -i) mode=in;;
    -o) mode=out;;
    --list-types) list=1;;
    --no-newline|-selection|clipboard) ;;
    --clear) rm -f "$d/data" "$d/type"; exit 0;;
    *) exit 2;;
  esac
  shift
done
if [ "$mode" = in ]; then
  cat > "$d/data" && printf '%s\n' "$type" > "$d/type"
  exit
fi
[ -e "$d/type" ] || exit 1
stored=$(cat "$d/type")
if [ -n "$list" ] || [ "$type" = TARGETS ]; then printf '%s\n' "$stored"; exit 0; fi
case "$type" in
  text) case "$stored" in text/*) ;; *) exit 1;; esac;;
  "$stored") ;;
  *) exit 1;;
esac
cat "$d/data"
"""

TEXT = "h\u00e9llo\nw\u00f6rld \U0001F600"
TEXT_KAZ = TEXT.replace("\n", "^/")  # as written in a script, and as molded


def main():
    failures = []

    def check(what, got, want):
        if got != want:
            failures.append(f"{what}: got {got!r}, want {want!r}")

    with tempfile.TemporaryDirectory() as root:
        tools = os.path.join(root, "bin")
        clip = os.path.join(root, "clip")
        work = os.path.join(root, "work")
        for d in (tools, clip, work):
            os.mkdir(d)
        for name in ("xclip", "wl-copy", "wl-paste"):
            path = os.path.join(tools, name)
            with open(path, "w") as f:
                f.write(FAKE_TOOL)
            os.chmod(path, 0o755)
        base = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        base.update(CLIP_DIR=clip, PATH=tools + os.pathsep + os.environ.get("PATH", ""))
        work_real = os.path.realpath(work)

        def run(env, script):
            with open(os.path.join(work, "t.kaz"), "w", encoding="utf-8") as f:
                f.write("Kaz []\n" + script)
            return subprocess.run([KAZ, "t.kaz"], stdin=subprocess.DEVNULL, capture_output=True,
                                  timeout=60, env=env, cwd=work)

        def stored():
            path = os.path.join(clip, "data")
            return open(path, "rb").read() if os.path.exists(path) else None

        def clear():
            for n in ("data", "type", "hang"):
                if os.path.exists(os.path.join(clip, n)):
                    os.unlink(os.path.join(clip, n))

        for display, value in (("WAYLAND_DISPLAY", "wayland-0"), ("DISPLAY", ":0")):
            env = dict(base, **{display: value})
            clear()
            r = run(env, 'print mold read-clipboard\n'
                         f'print mold reduce [write-clipboard "{TEXT_KAZ}" read-clipboard]\n')
            check(f"{display} text", r.stdout.decode(), f'none\n[true "{TEXT_KAZ}"]\n')
            check(f"{display} text bytes", stored(), TEXT.encode())

            r = run(env, 'print write-clipboard [%"/tmp/a b/\u00e9 c.txt" %"rel name.txt"]\n'
                         'foreach f read-clipboard [print [type? f f]]\n')
            check(f"{display} files", r.stdout.decode(),
                  f"true\nfile /tmp/a b/\u00e9 c.txt\nfile {work_real}/rel name.txt\n")
            check(f"{display} uri list", stored(),
                  b"file:///tmp/a%20b/%C3%A9%20c.txt\r\nfile://" +
                  work_real.encode() + b"/rel%20name.txt\r\n")

            # Other URIs are no list of files: they read as text.
            with open(os.path.join(clip, "data"), "w") as f:
                f.write("https://example.org/x\r\n")
            r = run(env, 'print mold read-clipboard\n')
            check(f"{display} other URIs", r.stdout.decode(), '"https://example.org/x^M^/"\n')

            # An image goes out as PNG data and comes back with its pixels; PNG, then JPEG,
            # then GIF data is read as an image.
            r = run(env, 'img: make image! [2x1 #{FF000000FF00} #{0080}]\n'
                         'print write-clipboard img\n'
                         'print (read-clipboard) = img\n')
            check(f"{display} image", r.stdout.decode(), "true\ntrue\n")
            check(f"{display} image type", open(os.path.join(clip, "type")).read(),
                  "image/png\n")
            check(f"{display} image bytes", (stored() or b"")[:4], b"\x89PNG")
            for kind, data in (("image/jpeg", "save/as none make image! [1x1 0.0.255] 'jpeg"),
                               ("image/gif", "save/as none make image! [1x1 0.0.255] 'gif")):
                r = run(env, f'write/binary %img.bin {data}\n')
                with open(os.path.join(work, "img.bin"), "rb") as f:
                    open(os.path.join(clip, "data"), "wb").write(f.read())
                open(os.path.join(clip, "type"), "w").write(kind + "\n")
                r = run(env, 'c: read-clipboard print [type? c c/size c/1/3 > 240]\n')
                check(f"{display} {kind}", r.stdout.decode(), "image 1x1 true\n")

            r = run(env, 'print mold reduce [write-clipboard none read-clipboard]\n')
            check(f"{display} none", r.stdout.decode(), "[true none]\n")

            open(os.path.join(clip, "hang"), "w").close()
            start = time.monotonic()
            r = run(env, 'print mold reduce [write-clipboard "x" read-clipboard]\n')
            check(f"{display} hanging tool", r.stdout.decode(), "[false false]\n")
            if time.monotonic() - start > 15:
                failures.append(f"{display} hanging tool: waited {time.monotonic() - start:.1f}s")

        # No display, or a display without its tools: the process keeps the clipboard.
        empty = os.path.join(root, "empty")
        os.mkdir(empty)
        for what, env in (("no display", base),
                          ("no tools", dict(base, DISPLAY=":0", WAYLAND_DISPLAY="w",
                                            PATH=empty))):
            clear()
            r = run(env, f'print mold reduce [write-clipboard "{TEXT_KAZ}" read-clipboard]\n')
            check(f"{what} store", r.stdout.decode(), f'[true "{TEXT_KAZ}"]\n')
            check(f"{what} store leaves the tools alone", stored(), None)

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
