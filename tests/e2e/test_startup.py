"""Start-up: kaz runs its start-up sequence and ends with exit code 0."""
import resource
import subprocess
import sys

KAZ = sys.argv[1]


def run(preexec=None):
    return subprocess.run([KAZ], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=60, preexec_fn=preexec)


def main():
    failures = []
    r = run()
    if r.returncode != 0:
        failures.append(f"plain start: exit {r.returncode}, stderr {r.stderr!r}")

    # Without room for the evaluation thread's large stack, start-up still completes on the
    # main thread. Sanitizer builds need far more address space than the limit, so skip them.
    with open(KAZ, "rb") as f:
        sanitized = b"__asan_init" in f.read()
    if not sanitized:
        limit = 256 << 20

        def tight():
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

        r = run(tight)
        if r.returncode != 0:
            failures.append(f"tight address space: exit {r.returncode}, stderr {r.stderr!r}")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
