"""HTTP through url! values: read, write, load, save, do and the *-thru cache, against servers
this test starts on 127.0.0.1 (plain HTTP, and HTTPS with a self-signed certificate made here)
and stops at its end. Nothing else on the network is used."""
import http.server
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

KAZ = os.path.abspath(sys.argv[1])

TEXT = "h\u00e9llo\r\nw\u00f6rld\n"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, ctype="text/plain; charset=utf-8", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        self.server.log.append((self.command, self.path, list(self.headers.items()), body))
        path = self.path
        self.server.hits[path] = self.server.hits.get(path, 0) + 1
        if path in ("/text", "/cached-text"):
            self.reply(200, TEXT.encode())
        elif path == "/bin":
            self.reply(200, bytes(range(256)), "application/octet-stream")
        elif path == "/multi":
            self.reply(200, b"m", extra=[("X-Multi", "one"), ("X-Multi", "two"),
                                         ("x-multi", "three"), ("X-Trim", "  padded  "),
                                         ("X-Latin", "caf\u00e9")])
        elif path == "/redirect":
            self.reply(302, b"", extra=[("Location", "/text")])
        elif path == "/redirect-ftp":
            self.reply(302, b"", extra=[("Location", "ftp://127.0.0.1:1/x")])
        elif path == "/missing":
            self.reply(404, b"not here")
        elif path == "/boom":
            self.reply(500, b"boom")
        elif path == "/stall":
            # Headers and two bytes of ten, then silence until the client gives up.
            self.send_response(200)
            self.send_header("Content-Length", "10")
            self.end_headers()
            self.wfile.write(b"ab")
            self.wfile.flush()
            time.sleep(4)
            self.close_connection = True
        elif path == "/interrupt":
            # Ctrl-C reaches the client while it waits for this answer, which never comes.
            for _ in range(500):
                if self.server.client_pid:
                    break
                time.sleep(0.01)
            os.kill(self.server.client_pid, signal.SIGINT)
            self.server.released.wait(25)
            self.close_connection = True
        elif path == "/script":
            self.reply(200, b'Kaz [Title: "remote"]\nprint "ran remote"\n6 * 7\n')
        elif path == "/data":
            self.reply(200, b"[1 2 3]")
        elif path == "/typed":
            self.reply(200, b"payload", "text/x-kaz-test; charset=utf-8")
        else:
            self.reply(200, f"{self.command} {path}".encode())

    do_GET = do_HEAD = do_POST = do_PUT = do_PURGE = handle_any


def start(server):
    server.daemon_threads = True
    server.log = []
    server.hits = {}
    server.client_pid = None
    server.released = threading.Event()
    t = threading.Thread(target=server.serve_forever, daemon=True)
    t.start()
    return server


def run_kaz(script, env, tmp, name):
    path = os.path.join(tmp, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(script)
    r = subprocess.run([KAZ, path], stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=120, env=env, cwd=tmp)
    return r.stdout.decode("utf-8", "replace"), r.returncode, r.stderr.decode()


# Each case prints its label, then "==" and the molded result or "!!" and the error's id.
PRELUDE = r"""Kaz []
show: func [label code /local r][
    r: try code
    either error? :r [print [label "!!" r/type r/id]][print [label "==" mold/flat :r]]
]
"""

CASES = r"""
base: http://127.0.0.1:PORT/
show "get" [read base/text]
show "get-binary" [read/binary base/bin]
show "lines" [read/lines base/text]
show "info" [r: read/info base/text reduce [r/1 select r/2 'Content-Type r/3]]
show "multi" [r: read/info base/multi reduce [select r/2 'X-Multi select r/2 'X-Trim]]
show "latin-header" [select second read/info base/multi 'X-Latin]
show "head" [write base/echo [head]]
show "head-info" [r: write/info base/text [head] reduce [r/1 r/3]]
show "post-string" [write base/echo "a=1&b=2"]
show "post-binary" [write/binary base/echo [post [] #{00FF10}]]
big: make binary! 65536
repeat i 65536 [append big (i - 1) // 256]
show "post-big" [length? write/binary base/big reduce ['post [] big]]
show "put-headers" [write base/echo [put [X-One "1" Content-Type 'text/plain] "body"]]
show "custom" [write base/echo [purge]]
show "redirect" [read base/redirect]
show "redirect-ftp" [read base/redirect-ftp]
show "missing" [read base/missing]
show "missing-info" [r: read/info base/missing reduce [r/1 r/3]]
show "boom-info" [r: read/info base/boom reduce [r/1 r/3]]
show "encoded" [read http://127.0.0.1:PORT/caf%C3%A9%20x]
show "bad-header-value" [write base/echo [post [X-Evil "a^/Injected: 1"] "x"]]
show "bad-header-name" [write base/echo [post ["Bad Name" "x"] "x"]]
show "lone-header-name" [write base/echo [post [X-One] "x"]]
show "bad-method" [write base/echo ["get"]]
show "refused" [read http://127.0.0.1:REFUSED/x]
show "https-self-signed" [read https://127.0.0.1:TLS/text]
show "load" [load base/data]
show "load-missing" [load base/missing]
put system/codecs 'test make object! [
    title: "test" name: 'test mime-type: [text/x-kaz-test] suffixes: []
    decode: func [data][reduce ['decoded to string! data]]
    encode: func [value dest][value]
]
show "load-typed" [load base/typed]
show "load-as" [load/as base/text 'test]
show "save" [save base/echo [1 "two"]]
show "do" [do base/script]
show "thru-missing" [exists-thru? base/data]
show "load-thru" [load-thru base/data]
show "thru-present" [exists-thru? base/data]
show "load-thru-again" [load-thru base/data]
show "load-thru-update" [load-thru/update base/data]
show "read-thru" [read-thru base/cached-text]
show "read-thru-again" [read-thru base/cached-text]
show "read-thru-binary" [read-thru/binary base/cached-text]
show "path-thru" [copy skip path-thru base/data length? system/options/cache]
show "do-thru" [do-thru base/script]
show "load-thru-missing" [load-thru base/missing]
show "thru-missing-kept-out" [exists-thru? base/missing]
show "read-thru-missing" [read-thru base/boom]
show "read-thru-missing-kept-out" [exists-thru? base/boom]
"""

EXPECTED = [
    'get == "héllo^M^/wörld^/"',
    "get-binary == #{" + bytes(range(256)).hex().upper() + "}",
    'lines == ["héllo" "wörld"]',
    'info == [200 "text/plain; charset=utf-8" "héllo^M^/wörld^/"]',
    'multi == [["one" "two" "three"] "padded"]',
    'latin-header == "caf\ufffd"',
    'head == ""',
    'head-info == [200 ""]',
    'post-string == "POST /echo"',
    'post-binary == #{504F5354202F6563686F}',
    "post-big == 9",
    'put-headers == "PUT /echo"',
    'custom == "PURGE /echo"',
    'redirect == "héllo^M^/wörld^/"',
    "redirect-ftp !! access no-connect",
    'missing == "not here"',
    'missing-info == [404 "not here"]',
    'boom-info == [500 "boom"]',
    'encoded == "GET /caf%C3%A9%20x"',
    "bad-header-value !! script invalid-arg",
    "bad-header-name !! script invalid-arg",
    "lone-header-name !! script invalid-arg",
    "bad-method !! script invalid-arg",
    "refused !! access no-connect",
    "https-self-signed !! access no-connect",
    "load == [1 2 3]",
    "load-missing == none",
    'load-typed == [decoded "payload"]',
    'load-as == [decoded "héllo^M^/wörld^/"]',
    'save == "POST /echo"',
    "ran remote",
    "do == 42",
    "thru-missing == false",
    "load-thru == [1 2 3]",
    "thru-present == true",
    "load-thru-again == [1 2 3]",
    "load-thru-update == [1 2 3]",
    'read-thru == "héllo^M^/wörld^/"',
    'read-thru-again == "héllo^M^/wörld^/"',
    "read-thru-binary == #{" + TEXT.encode().hex().upper() + "}",
    "path-thru == " + "PATHTAIL",
    "ran remote",
    "do-thru == 42",
    "load-thru-missing == none",
    "thru-missing-kept-out == false",
    'read-thru-missing == "boom"',
    "read-thru-missing-kept-out == false",
]


def self_signed(tmp):
    cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    return cert, key


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    failures = []
    tmp = tempfile.mkdtemp(prefix="kaz-http-")
    plain = start(http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler))
    tls = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    cert, key = self_signed(tmp)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    tls.socket = ctx.wrap_socket(tls.socket, server_side=True)
    start(tls)
    try:
        env = dict(os.environ)
        env["XDG_CACHE_HOME"] = os.path.join(tmp, "cache")
        env.pop("KAZ_HTTP_IDLE_TIMEOUT", None)
        # The requests go straight to the local servers, whatever proxy the machine names.
        for name in ("http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                     "ALL_PROXY"):
            env.pop(name, None)
        env["no_proxy"] = env["NO_PROXY"] = "*"
        port = plain.server_address[1]
        script = PRELUDE + CASES.replace("PORT", str(port)).replace(
            "REFUSED", str(free_port())).replace("TLS", str(tls.server_address[1]))
        out, code, err = run_kaz(script, env, tmp, "cases.kaz")
        got = out.splitlines()
        want = list(EXPECTED)
        # path-thru answers the rest of the cache path: cache/, two digits, "/", 32 digits.
        for i, line in enumerate(got):
            if line.startswith("path-thru == "):
                tail = line[len("path-thru == "):]
                ok = (tail.startswith("%cache/") and len(tail) == len("%cache/XX/") + 32
                      and tail[9] == "/" and tail[7:9] == tail[10:12])
                want[want.index("path-thru == PATHTAIL")] = line if ok else "path-thru: bad"
        if code != 0:
            failures.append(f"cases: exit {code}, stderr {err!r}")
        for i in range(max(len(got), len(want))):
            g = got[i] if i < len(got) else None
            w = want[i] if i < len(want) else None
            if g != w:
                failures.append(f"line {i + 1}: got {g!r}, want {w!r}")

        # What the server received.
        log = {}
        for method, path, headers, body in plain.log:
            log.setdefault((method, path), []).append((dict((k.lower(), v) for k, v in headers),
                                                       headers, body))

        def request(method, path, n=0):
            entries = log.get((method, path), [])
            return entries[n] if n < len(entries) else ({}, [], None)

        h, _, body = request("POST", "/echo")
        if body != b"a=1&b=2":
            failures.append(f"post string body: {body!r}")
        for name, value in (("content-type", "application/x-www-form-urlencoded"),
                            ("accept-charset", "UTF-8"),
                            ("user-agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)")):
            if h.get(name) != value:
                failures.append(f"default header {name}: {h.get(name)!r}")
        if "expect" in h:
            failures.append(f"default request sent Expect: {h['expect']!r}")
        h, _, body = request("POST", "/big")
        if body != bytes(i % 256 for i in range(65536)) or "expect" in h:
            failures.append(f"big body: {len(body or b'')} bytes, headers {h!r}")
        h, raw, body = request("PUT", "/echo")
        names = sorted(k.lower() for k, _ in raw)
        if names != ["content-length", "content-type", "host", "x-one"]:
            failures.append(f"put headers: {raw!r}")
        if h.get("x-one") != "1" or h.get("content-type") != "text/plain" or body != b"body":
            failures.append(f"put request: {raw!r} {body!r}")
        _, _, body = request("POST", "/echo", 1)
        if body != b"\x00\xff\x10":
            failures.append(f"binary body: {body!r}")
        _, _, body = request("POST", "/echo", 2)
        if body != b'1 "two"':
            failures.append(f"save body: {body!r}")
        if ("PURGE", "/echo") not in log or request("PURGE", "/echo")[2] != b"":
            failures.append("custom method not received without a body")
        if ("HEAD", "/echo") not in log:
            failures.append("HEAD not received")
        # The cache answered the second load-thru; /update and the first one asked the server.
        if plain.hits.get("/data") != 1 + 2:  # load, load-thru, load-thru/update
            failures.append(f"/data asked {plain.hits.get('/data')} times, want 3")
        if plain.hits.get("/cached-text") != 1:
            failures.append(f"/cached-text asked {plain.hits.get('/cached-text')} times, want 1")
        # The redirect was followed with a GET of its target; the one to ftp was not followed.
        order = [(m, p) for m, p, _, _ in plain.log]
        at = order.index(("GET", "/redirect"))
        if order[at + 1] != ("GET", "/text") or order[at + 2] != ("GET", "/redirect-ftp"):
            failures.append(f"redirects: {order[at:at + 4]!r}")

        # A server that stops sending: given up after the (shortened) idle time.
        env["KAZ_HTTP_IDLE_TIMEOUT"] = "1"
        began = time.monotonic()
        out, code, err = run_kaz(PRELUDE + f'show "stall" [read http://127.0.0.1:{port}/stall]\n',
                                 env, tmp, "stall.kaz")
        took = time.monotonic() - began
        if out.splitlines() != ["stall !! access no-connect"]:
            failures.append(f"stall: {out!r} {err!r}")
        if took > 30:
            failures.append(f"stall took {took:.1f} s")
        # An interrupt while a request waits ends the wait at once, and the script halts.
        del env["KAZ_HTTP_IDLE_TIMEOUT"]
        path = os.path.join(tmp, "interrupt.kaz")
        with open(path, "w") as f:
            f.write(f'Kaz []\nread http://127.0.0.1:{port}/interrupt\nloop 1 [print "not halted"]\n')
        began = time.monotonic()
        proc = subprocess.Popen([KAZ, path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=env, cwd=tmp)
        plain.client_pid = proc.pid
        try:
            out, err = proc.communicate(timeout=60)
        finally:
            plain.released.set()
        took = time.monotonic() - began
        if out.decode().splitlines() != ["(halted)"] or took > 20:
            failures.append(f"interrupt: {out!r} {err!r} after {took:.1f} s")
    finally:
        plain.released.set()
        plain.shutdown()
        plain.server_close()
        tls.shutdown()
        tls.server_close()
        shutil.rmtree(tmp, ignore_errors=True)

    for f in failures:
        print("FAIL:", f)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
