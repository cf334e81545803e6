#!/usr/bin/python3
r"""Local stand-in for the configuration and statistics server, and a package
server that misbehaves on request.

Serves
  GET  /get_download_device_xml.php?agent_id=ID   the reply registered for ID
  POST /download_device_stat.php                  "ok"
  POST /download_device_error_stat.php            "ok"
  GET  /download/download_lobby.html              a small page
  GET  /_pkg/KEY/REL                              the file WWW/REL, with Range

Every request outside /_control/ is recorded in an SQLite database (method,
path, Range header, headers, body, time) under a key: the agent_id of the
query or form body, or KEY of a /_pkg/KEY/ path. Tests use keys of their
own, so tests running at the same time never see each other's requests.

With --tls HOST:PORT,CERT,KEY (repeatable) the same server, with the same
replies and records, also answers over TLS on that port with that
certificate (tools/make_test_tls.sh makes them).

Control API (tests and the demo):
  GET  /_control/ping                      "quorvex-test-server PID"
  POST /_control/config?agent_id=ID        body: the configuration reply for ID
  POST /_control/mode?key=K&mode=M[&times=N][&ms=N]
        misbehave for key K (for the next N requests; default: until changed):
        normal, reset (drop the connection without answering), hangup (close
        it in order without answering), stall (half the body, then
        silence for ms, default 3000), close (half the body, then close),
        nolength (no Content-Length), 404, 500, 503, malformed (broken XML),
        empty (200 with no body); for /_pkg/ paths also stall_mid (half the
        range, silence for ms, default 1500, then the rest), short (half the
        range, then close), norange (200 with the whole file), extra (more
        bytes than the range, its Content-Length saying so), trickle (the
        whole reply to a Range request, status line and headers too, one byte
        a second), short206 (a 206 of the first half of the range asked for),
        portal (a captive portal: every request, ranged or not, gets a 200
        text/html sign-in page of about 500 bytes with its Content-Length),
        portal_plain (the same page sent as text/plain), portal_nolength (the
        page as text/html without Content-Length),
        farm (requests go in turn to two nodes that serve the same bytes under
        an ETag and a Last-Modified of their own, as behind a load balancer).
        Package replies carry an ETag and Last-Modified; an If-Range naming
        neither gets the whole file.
  POST /_control/hold_report?key=K         success reports of K are answered
        slowly (a byte every 0.5 s, up to 30 s) until released
  POST /_control/release?key=K             ends that hold
  GET  /_control/requests?key=K[&since=ID][&if_range=1] recorded requests,
        one a line: id TAB time TAB method TAB path TAB range TAB body (TAB
        the If-Range header, with if_range=1), where \\ \t \n \r and \xHH
        escape the bytes of path, range, body and If-Range
  POST /_control/fixture?name=N[&product=V][&file=V][&variant=V][&pad=N]
        builds WWW/fixtures/gen/N.exe (variant: signed, unsigned, tampered,
        unversioned, other-signer) unless it exists; answers its path relative to WWW
"""

import argparse
import email.utils
import os
import re
import socket
import sqlite3
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MALFORMED_XML = b'<?xml version="1.0" encoding="utf-8"?><TzLobbyVerInfo><Site ID="1" ver="2.5'
DOWNLOAD_PAGE = ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Quorvex</title></head>"
                 "<body><h1>Quorvex</h1><p>Download the lobby setup.</p></body></html>\n").encode()
PORTAL_PAGE = ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Hotel Wi-Fi</title>"
               "<meta name=\"viewport\" content=\"width=device-width\"></head><body>"
               "<h1>Welcome to the Hotel Network</h1><p>Please sign in to use the Internet.</p>"
               "<form method=\"post\" action=\"/login\"><label>Room <input name=\"room\"></label>"
               "<label>Surname <input name=\"surname\"></label><label><input type=\"checkbox\" "
               "name=\"terms\"> I accept the terms of use</label><button>Connect</button></form>"
               "<p>Need help? Call the front desk.</p></body></html>\n").encode()
NAME_RE = re.compile(r"^[A-Za-z0-9_.-]{1,64}$")
VERSION_RE = re.compile(r"^\d{1,5}\.\d{1,5}\.\d{1,5}\.\d{1,5}$")


def escape(data):
    if isinstance(data, str):
        data = data.encode("utf-8", "surrogateescape")
    out = []
    for b in data:
        if b == 0x5C:
            out.append("\\\\")
        elif b == 0x09:
            out.append("\\t")
        elif b == 0x0A:
            out.append("\\n")
        elif b == 0x0D:
            out.append("\\r")
        elif b < 0x20 or b >= 0x7F:
            out.append("\\x%02x" % b)
        else:
            out.append(chr(b))
    return "".join(out)


class State:
    def __init__(self, db_path, www, tools, ca_dir):
        self.lock = threading.Lock()
        self.replies = {}
        self.modes = {}
        self.report_holds = {}
        self.farm_turns = {}
        self.www = www
        self.tools = tools
        self.ca_dir = ca_dir
        self.build_lock = threading.Lock()
        self.db = sqlite3.connect(db_path, check_same_thread=False, isolation_level=None)
        self.db.execute("PRAGMA journal_mode=WAL")
        self.db.execute("PRAGMA synchronous=FULL")
        self.db.execute("""CREATE TABLE IF NOT EXISTS requests(
            id INTEGER PRIMARY KEY AUTOINCREMENT,
            time REAL NOT NULL,
            key TEXT NOT NULL,
            method TEXT NOT NULL,
            path TEXT NOT NULL,
            range TEXT NOT NULL,
            headers TEXT NOT NULL,
            body BLOB NOT NULL)""")
        self.db.execute("CREATE INDEX IF NOT EXISTS requests_key ON requests(key, id)")

    def record(self, key, method, path, rng, headers, body):
        with self.lock:
            self.db.execute(
                "INSERT INTO requests(time, key, method, path, range, headers, body) VALUES(?,?,?,?,?,?,?)",
                (time.time(), key, method, path, rng, headers, body))

    def requests(self, key, since, with_if_range=False):
        with self.lock:
            rows = self.db.execute(
                "SELECT id, time, method, path, range, body, headers FROM requests WHERE key=? AND id>? ORDER BY id",
                (key, since)).fetchall()
        lines = []
        for rid, t, method, path, rng, body, headers in rows:
            line = "%d\t%.3f\t%s\t%s\t%s\t%s" % (rid, t, method, escape(path), escape(rng), escape(body))
            if with_if_range:
                m = re.search(r"^If-Range: (.*)$", headers, re.I | re.M)
                line += "\t" + escape(m.group(1).rstrip("\r") if m else "")
            lines.append(line + "\n")
        return "".join(lines).encode()

    def take_mode(self, key):
        """The misbehaviour for one request with this key, counting it off."""
        with self.lock:
            entry = self.modes.get(key)
            if not entry:
                return "normal", 0
            mode, remaining, ms = entry
            if remaining is not None:
                remaining -= 1
                if remaining <= 0:
                    del self.modes[key]
                else:
                    self.modes[key] = (mode, remaining, ms)
            return mode, ms

    def farm_node(self, key):
        """The node of the farm (0 or 1) that answers this request."""
        with self.lock:
            turn = self.farm_turns.get(key, 0)
            self.farm_turns[key] = turn + 1
            return turn % 2

    def set_mode(self, key, mode, times, ms):
        with self.lock:
            if mode == "normal":
                self.modes.pop(key, None)
            else:
                self.modes[key] = (mode, times, ms)

    def build_fixture(self, name, product, fileversion, variant, pad):
        rel = "fixtures/gen/%s.exe" % name
        out = os.path.join(self.www, rel)
        args = [os.path.join(self.tools, "make_fixture.sh"), out, self.ca_dir,
                "--product", product, "--file", fileversion]
        if variant == "unsigned":
            args.append("--unsigned")
        elif variant == "tampered":
            args.append("--tamper")
        elif variant == "unversioned":
            args += ["--noversion", "--unsigned"]
        elif variant == "other-signer":
            args += ["--signer", "other"]
        elif variant != "signed":
            raise ValueError("unknown variant")
        if pad:
            args += ["--pad", str(pad)]
        with self.build_lock:
            if not os.path.exists(out):
                subprocess.run(args, check=True, stdout=subprocess.DEVNULL, timeout=120)
        return rel


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "QuorvexTestServer/1.0"
    state = None  # set by main

    def log_message(self, fmt, *args):
        pass

    # -- plumbing -----------------------------------------------------------

    def read_body(self):
        length = self.headers.get("Content-Length")
        if not length:
            return b""
        try:
            n = int(length)
        except ValueError:
            return b""
        return self.rfile.read(max(0, min(n, 64 << 20)))

    def send_head(self, status, length, content_type="text/plain", extra=None):
        self.send_response_only(status)
        self.send_header("Date", email.utils.formatdate(usegmt=True))
        self.send_header("Server", self.server_version)
        self.send_header("Content-Type", content_type)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.flush()

    def reset(self):
        # Close without a reply. A linger of 0 turns the close into a reset;
        # closing the descriptor here, before the server's own shutdown can
        # send an orderly FIN, makes sure the client never sees a clean end.
        self.close_connection = True
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            os.close(self.connection.detach())
        except OSError:
            pass

    def write(self, data):
        try:
            self.wfile.write(data)
            self.wfile.flush()
            return True
        except OSError:
            return False

    def error_page(self, status):
        text = {404: "Not Found", 500: "Internal Server Error", 503: "Service Unavailable"}.get(status, "Error")
        return ("<html><head><title>%d %s</title></head><body><h1>%s</h1></body></html>\n"
                % (status, text, text)).encode()

    def connection_fault(self, mode):
        """Carries out the faults that every path shares; true when the
        exchange is over."""
        if mode == "reset":
            self.reset()
        elif mode == "hangup":
            self.close_connection = True
        elif mode in ("404", "500", "503"):
            page = self.error_page(int(mode))
            self.send_head(int(mode), len(page), "text/html")
            self.write(page)
        else:
            return False
        return True

    def reply(self, key, body, content_type="text/plain", status=200):
        """Sends a plain reply, bent by the key's misbehaviour mode."""
        mode, ms = self.state.take_mode(key) if key else ("normal", 0)
        if self.connection_fault(mode):
            return None
        if mode == "malformed":
            body, content_type = MALFORMED_XML, "text/xml"
        if mode == "empty":
            body = b""
        if mode == "nolength":
            self.send_head(status, None, content_type)
            return self.write(body)
        if mode in ("stall", "close"):
            self.send_head(status, len(body), content_type)
            self.write(body[: len(body) // 2])
            if mode == "stall":
                time.sleep((ms or 3000) / 1000.0)
                self.write(body[len(body) // 2:])
            return None
        self.send_head(status, len(body), content_type)
        return self.write(body)

    def held_reply(self, released):
        """Keeps the client reading, a byte at a time within its receive
        time-out, until the hold is released."""
        body = b" " * 62 + b"ok"
        self.send_head(200, len(body))
        sent = 0
        while sent < len(body) - 2 and not released.wait(0.5):
            if not self.write(body[sent:sent + 1]):
                return None
            sent += 1
        return self.write(body[sent:])

    def key_of(self, path, query, body):
        if path.startswith("/_pkg/"):
            return path.split("/")[2]
        if "agent_id" in query:
            return query["agent_id"][0]
        if body:
            form = urllib.parse.parse_qs(body.decode("latin-1"), keep_blank_values=True)
            if "agent_id" in form:
                return form["agent_id"][0]
        return ""

    # -- dispatch -------------------------------------------------------------

    def do_GET(self):
        self.handle_any("GET")

    def do_POST(self):
        self.handle_any("POST")

    def do_HEAD(self):
        self.handle_any("HEAD")

    def handle_any(self, method):
        body = self.read_body() if method == "POST" else b""
        parsed = urllib.parse.urlsplit(self.path)
        path = parsed.path
        query = urllib.parse.parse_qs(parsed.query, keep_blank_values=True)
        try:
            if path.startswith("/_control/"):
                return self.control(method, path, query, body)
            key = self.key_of(path, query, body)
            headers = "".join("%s: %s\r\n" % (k, v) for k, v in self.headers.items())
            self.state.record(key, method, self.path, self.headers.get("Range", ""), headers, body)
            if path.startswith("/_pkg/"):
                return self.package(method, key, path)
            if path == "/get_download_device_xml.php" and method == "GET":
                with self.state.lock:
                    reply = self.state.replies.get(query.get("agent_id", [""])[0])
                if reply is None:
                    return self.reply(key, self.error_page(404), "text/html", 404)
                return self.reply(key, reply, "text/xml")
            if path == "/download_device_stat.php" and method == "POST":
                with self.state.lock:
                    hold = self.state.report_holds.get(key)
                if hold:
                    return self.held_reply(hold)
            if path in ("/download_device_stat.php", "/download_device_error_stat.php") and method == "POST":
                return self.reply(key, b"ok")
            if path == "/download/download_lobby.html":
                return self.reply(key, DOWNLOAD_PAGE, "text/html")
            return self.reply(key, self.error_page(404), "text/html", 404)
        except (BrokenPipeError, ConnectionResetError):
            return None

    def control(self, method, path, query, body):
        arg = lambda name, default="": query.get(name, [default])[0]
        if path == "/_control/ping":
            return self.plain(200, ("quorvex-test-server %d\n" % os.getpid()).encode())
        if path == "/_control/config" and method == "POST":
            with self.state.lock:
                self.state.replies[arg("agent_id")] = body
            return self.plain(200, b"ok\n")
        if path == "/_control/mode" and method == "POST":
            times = arg("times")
            ms = arg("ms")
            self.state.set_mode(arg("key"), arg("mode", "normal"),
                                int(times) if times else None, int(ms) if ms else 0)
            return self.plain(200, b"ok\n")
        if path == "/_control/hold_report" and method == "POST":
            with self.state.lock:
                self.state.report_holds[arg("key")] = threading.Event()
            return self.plain(200, b"ok\n")
        if path == "/_control/release" and method == "POST":
            with self.state.lock:
                hold = self.state.report_holds.pop(arg("key"), None)
            if hold:
                hold.set()
            return self.plain(200, b"ok\n")
        if path == "/_control/requests":
            since = arg("since", "0")
            return self.plain(200, self.state.requests(arg("key"), int(since) if since.isdigit() else 0,
                                                       arg("if_range") == "1"))
        if path == "/_control/fixture" and method == "POST":
            name = arg("name")
            product, fileversion = arg("product", "2.5.17.3"), arg("file", "1.0.0.1")
            pad = arg("pad", "0")
            if not NAME_RE.match(name) or not VERSION_RE.match(product) or not VERSION_RE.match(fileversion) \
                    or not pad.isdigit() or int(pad) > (64 << 20):
                return self.plain(400, b"bad fixture request\n")
            try:
                rel = self.state.build_fixture(name, product, fileversion, arg("variant", "signed"), int(pad))
            except (ValueError, subprocess.SubprocessError, OSError) as e:
                return self.plain(500, ("fixture build failed: %s\n" % e).encode())
            return self.plain(200, (rel + "\n").encode())
        return self.plain(404, b"unknown control request\n")

    def plain(self, status, data):
        self.send_head(status, len(data))
        self.write(data)

    def package(self, method, key, path):
        rel = urllib.parse.unquote(path.split("/", 3)[3]) if path.count("/") >= 3 else ""
        www = os.path.realpath(self.state.www)
        full = os.path.realpath(os.path.join(www, rel))
        if not rel or not full.startswith(www + os.sep) or not os.path.isfile(full):
            return self.reply(key, self.error_page(404), "text/html", 404)
        st = os.stat(full)
        size = st.st_size
        # Validators as nginx makes them; an If-Range that names another
        # version gets the whole file.
        etag = '"%x-%x"' % (st.st_mtime_ns, size)
        modified = email.utils.formatdate(st.st_mtime, usegmt=True)
        if_range = self.headers.get("If-Range")

        mode, ms = self.state.take_mode(key)
        if mode == "farm" and self.state.farm_node(key) == 1:
            # The other node: a change number of its own in the ETag (as IIS
            # has), and its copy written a day later.
            etag = '"%x-%x:2"' % (st.st_mtime_ns, size)
            modified = email.utils.formatdate(st.st_mtime + 86400, usegmt=True)
        if mode in ("portal", "portal_plain", "portal_nolength"):
            self.send_head(200, None if mode == "portal_nolength" else len(PORTAL_PAGE),
                           "text/plain" if mode == "portal_plain" else "text/html; charset=utf-8")
            return self.write(PORTAL_PAGE)
        first, last = 0, size - 1
        ranged = False
        m = re.match(r"^\s*bytes=(\d*)-(\d*)\s*$", self.headers.get("Range", ""))
        if m and mode != "norange" and (m.group(1) or m.group(2)) and if_range in (None, etag, modified):
            if m.group(1):
                first = int(m.group(1))
                last = min(int(m.group(2)), size - 1) if m.group(2) else size - 1
            else:
                first = max(0, size - int(m.group(2)))
            if first > last or first >= size:
                self.send_head(416, 0, extra={"Content-Range": "bytes */%d" % size})
                return None
            ranged = True
            if mode == "short206":
                last = first + (last - first + 1) // 2 - 1 if last > first else last
        with open(full, "rb") as f:
            f.seek(first)
            part = f.read(last + 1 - first)
            if mode == "extra":
                part += f.read(1000) + b"\xEE" * 1000
        status = 206 if ranged else 200
        extra = {"Accept-Ranges": "bytes", "ETag": etag, "Last-Modified": modified}
        if ranged:
            extra["Content-Range"] = "bytes %d-%d/%d" % (first, last, size)
        ctype = "application/octet-stream"

        if self.connection_fault(mode):
            return None
        if mode == "trickle" and ranged:
            return self.trickle(status, len(part), ctype, extra, part)
        if method == "HEAD":
            self.send_head(status, None if mode == "nolength" else len(part), ctype, extra)
            return None
        if mode == "nolength":
            self.send_head(status, None, ctype, extra)
            return self.write(part)
        self.send_head(status, len(part), ctype, extra)
        half = len(part) // 2
        if mode in ("stall", "stall_mid", "close", "short"):
            if not self.write(part[:half]):
                return None
            if mode in ("close", "short"):
                return None
            time.sleep((ms or (1500 if mode == "stall_mid" else 3000)) / 1000.0)
            return self.write(part[half:])
        return self.write(part)


    def trickle(self, status, length, ctype, extra, part):
        """The whole reply one byte a second, until the client goes."""
        head = "HTTP/1.0 %d %s\r\n" % (status, self.responses.get(status, ("",))[0])
        head += "Content-Type: %s\r\nContent-Length: %d\r\n" % (ctype, length)
        head += "".join("%s: %s\r\n" % kv for kv in extra.items()) + "Connection: close\r\n\r\n"
        data = head.encode() + part
        for i in range(len(data)):
            if not self.write(data[i:i + 1]):
                return None
            time.sleep(1)
        return None


class TlsServer(ThreadingHTTPServer):
    """The handshake runs on the request's own thread, so a client that
    refuses the certificate (or never finishes) holds up no one else."""

    context = None

    def finish_request(self, request, client_address):
        try:
            request = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return  # the client refused the certificate, or went away
        try:
            super().finish_request(request, client_address)
        finally:
            try:
                request.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        pass


def start_tls(spec):
    listen, cert, key = spec.split(",")
    host, _, port = listen.rpartition(":")
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server = type("BoundTlsServer", (TlsServer,), {"context": context})((host, int(port)), Handler)
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    return server


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--listen", default="127.0.0.1:18750", help="HOST:PORT (default: the default build's server)")
    ap.add_argument("--db", required=True, help="SQLite database of recorded requests")
    ap.add_argument("--www", required=True, help="folder served under /_pkg/KEY/")
    ap.add_argument("--ca", required=True, help="folder of the throw-away signing CA")
    ap.add_argument("--replies", help="folder of AGENT_ID.xml configuration replies to serve from the start")
    ap.add_argument("--tls", action="append", default=[], help="HOST:PORT,CERT,KEY: also answer over TLS there")
    ap.add_argument("--pidfile")
    args = ap.parse_args()

    host, _, port = args.listen.rpartition(":")
    state = State(args.db, args.www, os.path.dirname(os.path.abspath(__file__)), args.ca)
    if args.replies and os.path.isdir(args.replies):
        for name in os.listdir(args.replies):
            if name.endswith(".xml"):
                with open(os.path.join(args.replies, name), "rb") as f:
                    state.replies[name[:-4]] = f.read()
    Handler.state = state

    ThreadingHTTPServer.allow_reuse_address = True
    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer.request_queue_size = 128
    try:
        server = ThreadingHTTPServer((host, int(port)), Handler)
        for spec in args.tls:
            start_tls(spec)
    except (OSError, ValueError) as e:
        print("quorvex_server: cannot listen on %s: %s" % (args.listen, e), file=sys.stderr)
        return 1
    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write("%d\n" % os.getpid())
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
