#!/usr/bin/python3
"""Loopback HTTP servers for the network tests: a plain port, a forwarding proxy (which also tunnels), a
TLS port, a TLS port that asks for a client certificate and a TLS port whose certificate the test program
trusts, all on 127.0.0.1 with ephemeral ports.

    loopback_server.py FOLDER CLIENT_SUBJECT [FILES]

makes its certificates in FOLDER with openssl (a self-signed server certificate for 127.0.0.1, the one
client certificate the client-certificate port accepts, with the common name CLIENT_SUBJECT, and a test
authority, ca.der, that signs the trusted port's certificate for 127.0.0.1 and localhost), then writes
FOLDER/ports ("pid plain proxy tls tlsclient trusted") once every port listens. The /file/ route serves the files
of the folder FILES (default FOLDER) and logs its requests in FOLDER/log-KEY.txt. It ends when asked
(/__stop), after IDLE seconds without a request, or after LIFETIME seconds at the most."""

import base64
import gzip
import http.client
import http.server
import os
import random
import select
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time

IDLE = 60
LIFETIME = 300
SERVER_USER, SERVER_PASSWORD = "alice", "s3cret pass"
PROXY_USER, PROXY_PASSWORD = "proxyuser", "proxypass"
FILE_USER, FILE_PASSWORD = "carol", "w0rd_pass"  # a password a URL can carry
VAST_SIZE = 200 * 1024 * 1024
# The test program trusts the authority while it runs (loopback_server.cpp); each server has its own, as
# test programs run at the same time.
TEST_AUTHORITY = "Loopback test authority %d" % os.getpid()

last_request = time.monotonic()
files_folder = None
log_folder = None
log_lock = threading.Lock()
stop = threading.Event()
counters = {}
counters_lock = threading.Lock()


def body_of(n):
    return bytes((i * 7 + 3) & 255 for i in range(n))


def count(key):
    with counters_lock:
        counters[key] = counters.get(key, 0) + 1
        return counters[key]


def basic_ok(header, user, password):
    if not header or not header.startswith("Basic "):
        return False
    try:
        return base64.b64decode(header[6:]).decode() == user + ":" + password
    except Exception:
        return False


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "Loopback/1"
    # Headers and body go out in two writes: with Nagle's algorithm the body's last segment would wait
    # for the client's delayed acknowledgement (some 40 ms an answer).
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def raw(self, data, close=True):
        self.wfile.write(data)
        self.wfile.flush()
        if close:
            self.close_connection = True

    def answer(self, status, body=b"", headers=(), head=False):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def do_HEAD(self):
        self.dispatch(head=True)

    def do_GET(self):
        self.dispatch(head=False)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        data = self.rfile.read(length)
        self.answer(200, data, [("Content-Type", "application/octet-stream")])

    def dispatch(self, head):
        global last_request
        last_request = time.monotonic()
        path = self.path
        # Absolute forms: from the proxy, and from Wine inside a tunnel through it.
        if path.startswith(("http://", "https://")):
            path = "/" + path.split("/", 3)[3]
        parts = path.split("?")[0].strip("/").split("/")
        name = "route_" + parts[0].replace("-", "_")
        route = getattr(self, name, None)
        if route is None:
            self.answer(404, b"no such page", head=head)
        else:
            route(parts[1:], head)

    # /__stop: the test run is over.
    def route___stop(self, args, head):
        self.answer(200, b"bye", head=head)
        stop.set()

    # /data/N: N bytes of a fixed pattern; ranged GETs get 206 and Content-Range.
    def route_data(self, args, head):
        data = body_of(int(args[0]))
        rng = self.headers.get("Range")
        if rng and rng.startswith("bytes="):
            first, last = rng[6:].split("-")
            first, last = int(first), min(int(last), len(data) - 1)
            part = data[first:last + 1]
            self.answer(206, part, [("Content-Range", "bytes %d-%d/%d" % (first, last, len(data)))], head)
        else:
            self.answer(200, data, [("Accept-Ranges", "bytes")], head)

    # /status/CODE: that status with a short body.
    def route_status(self, args, head):
        self.answer(int(args[0]), b"status page", head=head)

    # /auth/KIND: Basic authentication as alice; KIND "plain" names only the realm, "second" puts the realm
    # after another quoted parameter, "norealm" has none, "digest" offers only Digest, "early" starts with a
    # quoted value nearer the start than the length of "realm" (and names no scheme; a second challenge
    # offers Basic). "none", "bearer" and "garbage" offer nothing a password answers: no challenge, only
    # Bearer, a challenge that names no scheme.
    def route_auth(self, args, head):
        kind = args[0]
        count("auth/" + kind)
        if basic_ok(self.headers.get("Authorization"), SERVER_USER, SERVER_PASSWORD):
            self.answer(200, b"welcome " + self.headers.get("Authorization", "").encode(), head=head)
            return
        challenges = {
            "plain": ['Basic realm="loopback realm"'],
            "second": ['Basic charset="UTF-8", realm="second realm"'],
            "norealm": ['Basic charset="UTF-8"'],
            "digest": ['Digest realm="digest realm", nonce="abc", qop="auth"'],
            "early": ['a="1", realm="early realm"', 'Basic'],
            "none": [],
            "bearer": ['Bearer realm="bearer realm", error="invalid_token"'],
            "garbage": ['!@#$ realm="garbage realm"'],
        }[kind]
        self.answer(401, b"who are you", [("WWW-Authenticate", c) for c in challenges], head)

    # /count/KEY: how many requests the route KEY has seen.
    def route_count(self, args, head):
        with counters_lock:
            n = counters.get("/".join(args), 0)
        self.answer(200, str(n).encode(), head=head)

    # /headers: headers a line-pattern parser loses. Wine's WinHTTP cannot take folded lines (it drops the
    # lines after one and passes its line break into the body), and it breaks on longer header lines (a 3000-byte value is cut at 1451 bytes and
    # reading the body then crashes), so the long value stays at 1000 bytes.
    def route_headers(self, args, head):
        lines = [
            "HTTP/1.1 200 OK",
            "Content-Length: 2",
            "X-Odd.Name_1: odd",
            "X-Empty:",
            "Set-Cookie: a=1",
            "Set-Cookie: b=2",
            "X-Long: " + "v" * 1000,
            "X-Colon: a:b: c",
            "", "",
        ]
        self.raw("\r\n".join(lines).encode() + b"ok")

    # /broken/KIND: answers that break the protocol in one way each.
    def route_broken(self, args, head):
        kind = args[0]
        if kind == "nostatus":
            self.raw(b"this is no HTTP answer\r\n\r\n")
        elif kind == "close":
            self.raw(b"")
        elif kind == "garbagestatus":
            self.raw(b"HTTP/1.1 abc Nonsense\r\nContent-Length: 0\r\n\r\n")
        elif kind == "hugeheaders":
            self.raw(b"HTTP/1.1 200 OK\r\n" + b"".join(b"X-Filler-%d: %s\r\n" % (i, b"x" * 1000) for i in range(4000)) +
                     b"Content-Length: 0\r\n\r\n")
        elif kind == "badlength":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\nConnection: close\r\n\r\n0123456789ab")
        elif kind == "longlength":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 12" + b"a" * 1000 + b"\r\nConnection: close\r\n\r\n0123456789ab")
        elif kind == "earlyclose":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789")
        elif kind == "drip":
            answer = b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Drip: yes\r\nConnection: close\r\n\r\nhello"
            self.drip(answer, 0.03)
        elif kind == "stall":
            # Silence before the first byte. (Silence after a partial status line makes Wine's WinHTTP
            # report a status without headers and then crash in WinHttpReadData.)
            stop.wait(6)
            self.close_connection = True
        elif kind == "slowdrip":
            # A body byte every half second: each wait ends in time, the 100 bytes only after 50 s.
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n")
            self.wfile.flush()
            for _ in range(100):
                if stop.wait(0.5):
                    break
                self.wfile.write(b"x")
                self.wfile.flush()
            self.close_connection = True
        elif kind == "stallbody":
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123")
            self.wfile.flush()
            stop.wait(6)
            self.close_connection = True
        else:
            self.answer(404, b"no such break", head=head)

    # /file/KEY/SWITCHES/NAME: the file NAME of the files folder, with byte ranges, each request logged in
    # log-KEY.txt as "VERB RANGE AUTHORIZATION HOST PATH" ("-" for a missing header, blanks in a value
    # as "_"; AUTHORIZATION also shows a Proxy-Authorization that reached the server, as "Proxy:" and its
    # value). SWITCHES is "-" or a comma-separated list:
    #   norange     ignores Range and answers 200 with the whole file
    #   ask407      answers every request 407 with the proxy's own challenge (Basic, realm "proxy realm"), as
    #               if it were the proxy
    #   auth        asks for Basic credentials (carol) before anything
    #   slow        after the "auth" check, holds the answer 4 s before its first byte
    #   grow        from the second request on, the file has 100 more bytes
    #   retag       the HEAD answer carries ETag "v1", every other answer "v2"
    #   retaglater  the first two answers carry ETag "v1", later ones "v2"
    #   tagonget    the HEAD answer carries no ETag; the first GET answer carries "v1", later ones "v2"
    #   nolength    the HEAD answer has no Content-Length
    #   moved       answers 302 to the same file (SWITCHES without "moved", KEY + "-moved") on localhost,
    #               after the "auth" check
    #   near        with "moved": the Location is the path alone, on this host and port
    #   https       with "moved": the Location is an https URL (on a TLS port, the same server)
    #   lateauth    asks for nothing here, but makes the target of "moved" ask (it gets "auth")
    #   shout       with "moved": the Location is written in capitals up to the path ("HTTP://LOCALHOST:...")
    #   loop        answers 302 to itself, by a relative Location
    #   chainN      answers 302 to the same file with chain(N-1) in place of chainN (none after chain1), by
    #               its path alone, after the "auth" check; each answer's bytes are dripped over 0.4 s
    #   badstart, star, reversed, huge, wrongtotal, nocontentrange, partas200, short, shortclose, empty
    #               break the 206 answer: Content-Range begins a byte late, is "*/size", ends before it
    #               begins, claims a last byte far past the end, names another total, is missing, or the
    #               part comes as a 200; the body is half the part (with a matching Content-Length),
    #               is cut off after half (with the full Content-Length), or is empty
    #   fuzzSEED    each ranged answer is mutated at random (seeded by SEED and the request's number): a few
    #               edits of the Content-Range value, the status 200 in place of 206, a body cut short
    #   slowshort   the 206 answer carries only the first 128 bytes of the part (its Content-Range says
    #               so), dripped over 0.3 s
    #   gzip        the body of a GET answer (200 or 206) is gzip-compressed, with Content-Encoding, unless
    #               the request asks for "Accept-Encoding: identity"; gzipalways: whatever it asks;
    #               gzipthenidentity: whatever it asks, with a second Content-Encoding line "identity"
    #   emptycoding the body of a GET answer is sent as it is, with Content-Encoding lines "identity," and
    #               an empty one
    #   gzipchunked the 206 answer's body is gzip-compressed and sent chunked, with "Transfer-Encoding:
    #               gzip, chunked" and no Content-Length
    #   longcoding  the body of a GET answer is sent as it is, with a Content-Encoding of 1000 letters
    #   straycontentrange  the part comes as a 200 with the whole file and the part's Content-Range
    #   vast        after the "auth" check, NAME is VAST_SIZE bytes of the /data/ pattern (no file needed),
    #               sent whole with 200 whatever the Range; each answer the client closes before its end
    #               counts as "vast-closed/KEY"
    def route_file(self, args, head):
        key, switches, name = args[0], set(args[1].split(",")), "/".join(args[2:])
        auth = self.headers.get("Authorization")
        proxy_auth = self.headers.get("Proxy-Authorization")
        shown_auth = "+".join(v for v in (auth, proxy_auth and "Proxy:" + proxy_auth) if v)
        line = " ".join(v.replace(" ", "_") if v else "-" for v in
                        (self.command, self.headers.get("Range"), shown_auth, self.headers.get("Host"), self.path))
        with log_lock:
            with open(os.path.join(log_folder, "log-%s.txt" % key), "a") as f:
                f.write(line + "\n")
        requests = count("file/" + key)
        if "ask407" in switches:
            self.answer(407, b"", [("Proxy-Authenticate", 'Basic realm="proxy realm"')], head)
            return
        if "auth" in switches and not basic_ok(auth, FILE_USER, FILE_PASSWORD):
            self.answer(401, b"who are you", [("WWW-Authenticate", 'Basic realm="file realm"')], head)
            return
        if "slow" in switches:
            stop.wait(4)
        if "vast" in switches:
            self.vast(key, head)
            return
        if "loop" in switches:
            self.answer(302, b"again", [("Location", name)], head)
            return
        chain = next((switch for switch in switches if switch.startswith("chain")), None)
        if chain:
            hops = int(chain[5:])
            rest = (switches - {chain}) | ({"chain%d" % (hops - 1)} if hops > 1 else set())
            location = "/file/%s/%s/%s" % (key, ",".join(sorted(rest)) or "-", name)
            answer = b"HTTP/1.1 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n\r\n" % location.encode()
            self.drip(answer, 0.4 / ((len(answer) + 7) // 8))
            return
        if "moved" in switches:
            rest = switches - {"moved", "shout", "near", "https"}
            if "lateauth" in rest:
                rest = (rest - {"lateauth"}) | {"auth"}
            rest = ",".join(sorted(rest)) or "-"
            scheme = "https" if "https" in switches else "http"
            authority = (scheme + "://localhost").upper() if "shout" in switches else scheme + "://localhost"
            location = "%s:%d/file/%s-moved/%s/%s" % (authority, self.server.server_address[1], key, rest, name)
            if "near" in switches:
                location = location[location.index("/file/"):]
            self.answer(302, b"moved", [("Location", location)], head)
            return
        path = os.path.join(files_folder, name)
        if not os.path.isfile(path):
            self.answer(404, b"no such file", head=head)
            return
        size = os.path.getsize(path)
        extra = b"\xee" * 100 if "grow" in switches and requests > 1 else b""
        total = size + len(extra)

        def content(first, last):
            with open(path, "rb") as f:
                f.seek(first)
                data = f.read(max(0, min(last, size - 1) - first + 1))
            if last >= size and extra:
                data += extra[max(0, first - size):last - size + 1]
            return data

        headers = [("Accept-Ranges", "bytes")]
        if "retag" in switches:
            headers.append(("ETag", '"v1"' if head else '"v2"'))
        if "retaglater" in switches or ("tagonget" in switches and not head):
            headers.append(("ETag", '"v1"' if requests <= 2 else '"v2"'))
        if head:
            self.send_response(200)
            for k, v in headers:
                self.send_header(k, v)
            if "nolength" not in switches:
                self.send_header("Content-Length", str(total))
            self.end_headers()
            return
        def coded(body, extra_headers):
            if "longcoding" in switches:
                return body, extra_headers + [("Content-Encoding", "x" * 1000)]
            if "emptycoding" in switches:
                return body, extra_headers + [("Content-Encoding", "identity,"), ("Content-Encoding", "")]
            if "gzipthenidentity" in switches:
                return gzip.compress(body), extra_headers + [("Content-Encoding", "gzip"),
                                                             ("Content-Encoding", "identity")]
            if "gzipalways" in switches or ("gzip" in switches and self.headers.get("Accept-Encoding") != "identity"):
                return gzip.compress(body), extra_headers + [("Content-Encoding", "gzip")]
            return body, extra_headers

        rng = self.headers.get("Range")
        if "norange" in switches or not rng or not rng.startswith("bytes="):
            self.answer(200, *coded(content(0, total - 1), headers))
            return
        first, last = (int(v) for v in rng[6:].split("-"))
        if first >= total:
            self.answer(416, b"", [("Content-Range", "bytes */%d" % total)])
            return
        last = min(last, total - 1)
        part = content(first, last)
        named = {"badstart": "bytes %d-%d/%d" % (first + 1, last, total),
                 "star": "bytes */%d" % total,
                 "reversed": "bytes %d-%d/%d" % (first, first - 1, total),
                 "huge": "bytes %d-%d/%d" % (first, first + 99999999999999, total),
                 "wrongtotal": "bytes %d-%d/%d" % (first, last, total + 1)}
        cr = "bytes %d-%d/%d" % (first, last, total)
        for k, v in named.items():
            if k in switches:
                cr = v
        status, body = 206, part
        for switch in switches:
            if switch.startswith("fuzz"):
                rnd = random.Random(int(switch[4:]) * 100003 + requests)
                for _ in range(rnd.randint(0, 3)):
                    at = rnd.randrange(len(cr) + 1)
                    edit = rnd.choice("rdi")
                    char = rnd.choice("0123456789-/* x")
                    cr = cr[:at] + (char if edit != "d" else "") + cr[at + (edit != "i"):]
                if rnd.random() < 0.15:
                    status = 200
                if rnd.random() < 0.2:
                    body = body[:rnd.randrange(len(body) + 1)]
                self.answer(status, body, headers + [("Content-Range", cr)])
                return
        if "partas200" in switches:
            self.answer(200, part, headers)
        elif "short" in switches:
            self.answer(206, part[:len(part) // 2], headers + [("Content-Range", cr)])
        elif "empty" in switches:
            self.answer(206, b"", headers + [("Content-Range", cr)])
        elif "shortclose" in switches:
            self.send_response(206)
            self.send_header("Content-Range", cr)
            self.send_header("Content-Length", str(len(part)))
            self.end_headers()
            self.raw(part[:len(part) // 2])
        elif "nocontentrange" in switches:
            self.answer(206, part, headers)
        elif "slowshort" in switches:
            part = part[:128]
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, first + len(part) - 1, total))
            self.send_header("Content-Length", str(len(part)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.drip(part, 0.3 / 16)
        elif "straycontentrange" in switches:
            self.answer(200, content(0, total - 1), headers + [("Content-Range", cr)])
        elif "gzipchunked" in switches:
            data = gzip.compress(part)
            self.send_response(206)
            for k, v in headers + [("Content-Range", cr), ("Transfer-Encoding", "gzip, chunked")]:
                self.send_header(k, v)
            self.end_headers()
            for i in range(0, len(data), 4096):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(data[i:i + 4096]), data[i:i + 4096]))
            self.wfile.write(b"0\r\n\r\n")
        else:
            self.answer(206, *coded(part, headers + [("Content-Range", cr)]))

    # Sends a whole answer 8 bytes at a time, a pause after each, and closes.
    def drip(self, answer, pause):
        for i in range(0, len(answer), 8):
            self.wfile.write(answer[i:i + 8])
            self.wfile.flush()
            time.sleep(pause)
        self.close_connection = True

    def vast(self, key, head):
        self.send_response(200)
        self.send_header("Content-Length", str(VAST_SIZE))
        self.end_headers()
        if head:
            return
        chunk = body_of(65536)  # the pattern repeats every 256 bytes
        try:
            for _ in range(VAST_SIZE // len(chunk)):
                self.wfile.write(chunk)
        except (BrokenPipeError, ConnectionResetError):
            count("vast-closed/" + key)
            self.close_connection = True

    # /client: the subject of the client certificate the TLS layer accepted.
    def route_client(self, args, head):
        cert = self.connection.getpeercert() if hasattr(self.connection, "getpeercert") else None
        subject = ""
        if cert:
            subject = ",".join("%s=%s" % kv for rdn in cert.get("subject", ()) for kv in rdn)
        self.answer(200, subject.encode(), head=head)


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    """Forwards absolute-URI requests to the loopback servers; targets under /proxyauth/ need Basic
    proxy credentials first. Every answer it forwards carries "X-Via-Proxy". CONNECT opens a tunnel to a
    loopback port."""
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_CONNECT(self):
        global last_request
        last_request = time.monotonic()
        host, _, port = self.path.rpartition(":")
        if host not in ("127.0.0.1", "localhost") or not port.isdigit():
            self.send_response(403)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        upstream = socket.create_connection(("127.0.0.1", int(port)), timeout=10)
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        ends = [self.connection, upstream]
        try:
            while not stop.is_set():
                ready, _, _ = select.select(ends, [], [], 10)
                if not ready:
                    break
                for end in ready:
                    data = end.recv(65536)
                    if not data:
                        return
                    (upstream if end is self.connection else self.connection).sendall(data)
        except OSError:
            pass
        finally:
            upstream.close()
            self.close_connection = True

    def do_HEAD(self):
        self.forward()

    def do_GET(self):
        self.forward()

    def forward(self):
        global last_request
        last_request = time.monotonic()
        target = self.path
        if not target.startswith("http://"):
            self.send_response(400)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        hostport, path = target[7:].split("/", 1)
        path = "/" + path
        if path.startswith("/proxyauth/"):
            count("proxyauth")
            if not basic_ok(self.headers.get("Proxy-Authorization"), PROXY_USER, PROXY_PASSWORD):
                self.send_response(407)
                self.send_header("Proxy-Authenticate", 'Basic realm="proxy realm"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            path = path[len("/proxyauth"):]
        host, port = hostport.split(":")
        conn = http.client.HTTPConnection(host, int(port), timeout=5)
        headers = {k: v for k, v in self.headers.items() if k.lower() not in ("proxy-authorization", "proxy-connection")}
        conn.request(self.command, path, headers=headers)
        response = conn.getresponse()
        data = response.read()
        self.send_response(response.status)
        for k, v in response.getheaders():
            if k.lower() not in ("content-length", "connection", "transfer-encoding"):
                self.send_header(k, v)
        self.send_header("X-Via-Proxy", "loopback")
        # A HEAD answer has no body but tells the length of the one a GET would get.
        length = response.getheader("Content-Length") if self.command == "HEAD" else None
        self.send_header("Content-Length", length if length is not None else str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)
        conn.close()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class TlsServer(Server):
    def __init__(self, address, handler, context):
        super().__init__(address, handler)
        self.context = context

    def get_request(self):
        sock, address = self.socket.accept()
        sock.settimeout(10)
        try:
            return self.context.wrap_socket(sock, server_side=True), address
        except Exception:
            sock.close()
            raise

    def handle_error(self, request, client_address):
        pass


def openssl(*args, folder):
    subprocess.run(["openssl"] + list(args), cwd=folder, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_certificates(folder, client_subject):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.crt",
            "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", folder=folder)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "client.key", "-out", "client.crt",
            "-days", "2", "-subj", "/CN=" + client_subject, "-addext", "extendedKeyUsage=clientAuth",
            folder=folder)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt", "-days", "2",
            "-subj", "/CN=" + TEST_AUTHORITY, "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", folder=folder)
    openssl("x509", "-in", "ca.crt", "-outform", "DER", "-out", "ca.der", folder=folder)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "trusted.key", "-out", "trusted.csr",
            "-subj", "/CN=127.0.0.1", folder=folder)
    # Wine matches a host against the DNS names only, Windows an address against the IP entry.
    with open(os.path.join(folder, "trusted.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n"
                "authorityKeyIdentifier=keyid\n")
    openssl("x509", "-req", "-in", "trusted.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
            "-out", "trusted.crt", "-days", "2", "-extfile", "trusted.ext", folder=folder)


def main():
    global files_folder, log_folder
    folder, client_subject = sys.argv[1], sys.argv[2]
    log_folder = folder
    files_folder = sys.argv[3] if len(sys.argv) > 3 else folder
    make_certificates(folder, client_subject)
    plain = Server(("127.0.0.1", 0), Handler)
    proxy = Server(("127.0.0.1", 0), ProxyHandler)
    tls_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls_context.load_cert_chain(os.path.join(folder, "server.crt"), os.path.join(folder, "server.key"))
    tls = TlsServer(("127.0.0.1", 0), Handler, tls_context)
    client_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    client_context.load_cert_chain(os.path.join(folder, "server.crt"), os.path.join(folder, "server.key"))
    client_context.verify_mode = ssl.CERT_REQUIRED
    client_context.load_verify_locations(os.path.join(folder, "client.crt"))
    tlsclient = TlsServer(("127.0.0.1", 0), Handler, client_context)
    trusted_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    trusted_context.load_cert_chain(os.path.join(folder, "trusted.crt"), os.path.join(folder, "trusted.key"))
    trusted = TlsServer(("127.0.0.1", 0), Handler, trusted_context)
    servers = [plain, proxy, tls, tlsclient, trusted]
    for s in servers:
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    ports = " ".join(str(s.server_address[1]) for s in servers)
    with open(os.path.join(folder, "ports.tmp"), "w") as f:
        f.write("%d %s\n" % (os.getpid(), ports))
    os.replace(os.path.join(folder, "ports.tmp"), os.path.join(folder, "ports"))
    started = time.monotonic()
    while not stop.wait(0.5):
        now = time.monotonic()
        if now - last_request > IDLE or now - started > LIFETIME:
            break
    for s in servers:
        s.shutdown()


if __name__ == "__main__":
    main()
