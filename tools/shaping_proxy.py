#!/usr/bin/python3
"""A TCP proxy that limits each accepted connection, as a link does.

Every connection accepted on LISTEN is forwarded to UPSTREAM (nginx), and
what comes back is sent on at the connection's own rate through a token
bucket, however many requests the connection carries: a CDN's
per-connection cap, or a congested route, rather than nginx's per-request
limit_rate. The rates are given in bytes per second and go round by
connection number: "--rates 8000000,1000000" gives the odd connections
(1, 3, 5 ...) 8,000,000 B/s and the even ones 1,000,000 B/s. A rate of 0 is
no limit. Requests are not limited.

It logs, one tab-separated line per event, with time.time() stamps:
  accept  T  CONN  RATE
  request T  CONN  METHOD  PATH  RANGE            (its head fully received)
  reply   T0 T1 CONN  STATUS  BODY_BYTES          (first byte sent on .. last)
  close   T  CONN  BYTES_UP  BYTES_DOWN
so a client's connections, the gaps between its requests and the rate each
request got can be read back. Replies are told apart by their
Content-Length; a reply without one ends with its connection.

SIGTERM or SIGINT ends it; the log is complete up to then.
Usage: shaping_proxy.py --listen HOST:PORT --upstream HOST:PORT
                        [--rates R1,R2,...] [--log FILE] [--pidfile FILE]
"""

import argparse
import asyncio
import os
import re
import signal
import socket
import sys
import time

HEAD_END = b"\r\n\r\n"
MAX_HEAD = 64 << 10
CONTENT_LENGTH = re.compile(rb"^content-length:\s*(\d+)\s*$", re.I | re.M)
RANGE = re.compile(rb"^range:\s*(.*?)\s*$", re.I | re.M)


class Log:
    def __init__(self, path):
        self.file = open(path, "a", buffering=1) if path else None

    def write(self, *fields):
        if self.file:
            self.file.write("\t".join(str(f) for f in fields) + "\n")


class Bucket:
    """Tokens in bytes; sending more than there are waits off the debt.
    The depth is a few tens of milliseconds at the rate: a link's queue,
    and room for the event loop to wake a little late without losing rate."""

    def __init__(self, rate):
        self.rate = rate
        self.depth = max(64 << 10, rate // 40)
        self.tokens = float(self.depth)
        self.at = time.monotonic()

    async def take(self, n):
        if self.rate <= 0:
            return
        now = time.monotonic()
        self.tokens = min(self.depth, self.tokens + (now - self.at) * self.rate)
        self.at = now
        self.tokens -= n
        if self.tokens < 0:
            await asyncio.sleep(-self.tokens / self.rate)

    def piece(self):
        """How much to send at once: about 10 ms at the rate."""
        if self.rate <= 0:
            return 256 << 10
        return max(4096, min(64 << 10, self.rate // 100))


class Connection:
    def __init__(self, proxy, number, rate, client_reader, client_writer):
        self.proxy = proxy
        self.number = number
        self.bucket = Bucket(rate)
        self.client_reader = client_reader
        self.client_writer = client_writer
        self.up = 0
        self.down = 0
        self.methods = []  # of requests not yet answered, oldest first
        self.req_head = b""
        self.rep_head = b""
        self.body_left = None  # bytes left of the current reply's body; None: in a head
        self.reply = None  # [first stamp, status, body bytes] of the reply being sent

    # -- requests: logged, forwarded as they come --------------------------

    def saw_request_bytes(self, data):
        self.req_head += data
        while True:
            end = self.req_head.find(HEAD_END)
            if end < 0:
                if len(self.req_head) > MAX_HEAD:
                    self.req_head = b""
                return
            head, self.req_head = self.req_head[:end], self.req_head[end + 4:]
            line = head.split(b"\r\n", 1)[0].split(b" ")
            method = line[0].decode("latin-1") if line else "?"
            path = line[1].decode("latin-1") if len(line) > 1 else "?"
            m = RANGE.search(head)
            self.methods.append(method)
            self.proxy.log.write("request", "%.6f" % time.time(), self.number, method, path,
                                 m.group(1).decode("latin-1") if m else "-")
            # A request body (a POST) is not expected here; a Content-Length
            # would be skipped, but the package server gets only GET and HEAD.

    async def upstream_to_client(self, upstream_reader):
        # What goes to the client is parsed only as far as needed to tell
        # replies apart: each head's Content-Length.
        piece = self.bucket.piece()
        while True:
            data = await upstream_reader.read(piece)
            if not data:
                return
            await self.bucket.take(len(data))
            self.client_writer.write(data)
            self.down += len(data)
            self.saw_reply_bytes(data, time.time())
            await self.client_writer.drain()

    def saw_reply_bytes(self, data, now):
        while data:
            if self.body_left is None:
                if self.reply is None:
                    self.reply = [now, "?", 0]
                self.rep_head += data
                end = self.rep_head.find(HEAD_END)
                if end < 0:
                    if len(self.rep_head) > MAX_HEAD:
                        self.rep_head = b""
                    return
                head, data = self.rep_head[:end], self.rep_head[end + 4:]
                self.rep_head = b""
                status = head.split(b"\r\n", 1)[0].split(b" ")
                self.reply[1] = status[1].decode("latin-1") if len(status) > 1 else "?"
                method = self.methods.pop(0) if self.methods else "GET"
                m = CONTENT_LENGTH.search(head)
                if method == "HEAD" or self.reply[1] in ("204", "304") or self.reply[1].startswith("1"):
                    self.body_left = 0
                else:
                    self.body_left = int(m.group(1)) if m else -1  # -1: until the connection ends
                if self.body_left == 0:
                    self.end_reply(now)
                continue
            if self.body_left < 0:
                self.reply[2] += len(data)
                return
            take = min(self.body_left, len(data))
            self.reply[2] += take
            self.body_left -= take
            data = data[take:]
            if self.body_left == 0:
                self.end_reply(now)

    def end_reply(self, now):
        first, status, size = self.reply
        self.proxy.log.write("reply", "%.6f" % first, "%.6f" % now, self.number, status, size)
        self.reply = None
        self.body_left = None

    async def client_to_upstream(self, upstream_writer):
        while True:
            data = await self.client_reader.read(64 << 10)
            if not data:
                if upstream_writer.can_write_eof():
                    upstream_writer.write_eof()
                return
            self.up += len(data)
            self.saw_request_bytes(data)
            upstream_writer.write(data)
            await upstream_writer.drain()

    async def run(self):
        self.proxy.log.write("accept", "%.6f" % time.time(), self.number, self.bucket.rate)
        upstream_writer = None
        try:
            host, port = self.proxy.upstream
            upstream_reader, upstream_writer = await asyncio.open_connection(host, port)
            for w in (self.client_writer, upstream_writer):
                sock = w.get_extra_info("socket")
                if sock is not None:
                    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            down = asyncio.ensure_future(self.upstream_to_client(upstream_reader))
            up = asyncio.ensure_future(self.client_to_upstream(upstream_writer))
            # The reply side decides the end: a client that half-closes still
            # gets what it asked for; a server that closes ends it all. A
            # reset on either side ends both, quietly.
            try:
                done, _ = await asyncio.wait({down, up}, return_when=asyncio.FIRST_COMPLETED)
                if down not in done:
                    await asyncio.wait({down})
            finally:
                for task in (down, up):
                    if not task.done():
                        task.cancel()
                await asyncio.gather(down, up, return_exceptions=True)
        except (OSError, asyncio.CancelledError):
            pass
        finally:
            # A reply cut short (the client closed early), or one that ends
            # with its connection, is logged with what it got.
            if self.reply is not None:
                self.end_reply(time.time())
            for w in (self.client_writer, upstream_writer):
                if w is not None:
                    try:
                        w.close()
                    except OSError:
                        pass
            self.proxy.log.write("close", "%.6f" % time.time(), self.number, self.up, self.down)


class Proxy:
    def __init__(self, upstream, rates, log):
        self.upstream = upstream
        self.rates = rates
        self.log = log
        self.count = 0

    async def accept(self, reader, writer):
        self.count += 1
        rate = self.rates[(self.count - 1) % len(self.rates)]
        await Connection(self, self.count, rate, reader, writer).run()


def host_port(text):
    host, _, port = text.rpartition(":")
    return host or "127.0.0.1", int(port)


async def serve(args):
    proxy = Proxy(host_port(args.upstream), [int(r) for r in args.rates.split(",")], Log(args.log))
    host, port = host_port(args.listen)
    server = await asyncio.start_server(proxy.accept, host, port, reuse_address=True, backlog=128)
    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write("%d\n" % os.getpid())
    stop = asyncio.get_running_loop().create_future()
    for sig in (signal.SIGTERM, signal.SIGINT):
        asyncio.get_running_loop().add_signal_handler(sig, lambda: stop.done() or stop.set_result(None))
    async with server:
        await stop


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--listen", required=True, help="HOST:PORT to accept connections on")
    ap.add_argument("--upstream", required=True, help="HOST:PORT to forward them to")
    ap.add_argument("--rates", default="0", help="bytes per second per connection, by connection number in turn")
    ap.add_argument("--log", help="file to append the event lines to")
    ap.add_argument("--pidfile")
    args = ap.parse_args()
    try:
        asyncio.run(serve(args))
    except OSError as e:
        print("shaping_proxy: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
