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
  hostile.py declared --port P --user ID --digest MD5 [--count 32] [--seconds 60]
      connections that each declare an 8 MiB upload and send 17 KiB a second
      of it, reconnecting each one the server closes.
  hostile.py signins --port P [--count 64] [--seconds 60]
      connections that send sign-ins of accounts that do not exist, one after
      another, as fast as the server answers; prints the replies by status.
  hostile.py pushflood --port PUSH_PORT --user ID --digest MD5 [--seconds 20]
      a signed-in device sends a keep-alive every 50 ms and times the answer,
      first alone, then while one connection (never signed in) streams
      keep-alives as fast as it can; prints p50 and p99 of each.
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


async def declared(args):
    stats = {"opened": 0, "closed_by_server": 0, "replies": {}}
    stop = time.monotonic() + args.seconds
    head = (f"POST /api/v11/update_note.php?userid={args.user}&userpass={args.digest}&pcid=BENCH"
            f"&uploadfields={'1' * 20}&os=Windows HTTP/1.1\r\nHost: x\r\n"
            f"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: {8 << 20}\r\n\r\n").encode()

    async def one():
        while time.monotonic() < stop:
            try:
                r, w = await asyncio.open_connection("127.0.0.1", args.port)
            except OSError:
                await asyncio.sleep(0.5)
                continue
            stats["opened"] += 1
            try:
                w.write(head)
                while time.monotonic() < stop:
                    w.write(b"a" * (17 * 1024))
                    await w.drain()
                    try:
                        data = await asyncio.wait_for(r.read(64), timeout=1.0)
                    except asyncio.TimeoutError:
                        continue
                    # The server has answered, or closed the connection.
                    if data.startswith(b"HTTP/1.1 "):
                        status = data[9:12].decode("latin-1")
                        stats["replies"][status] = stats["replies"].get(status, 0) + 1
                    stats["closed_by_server"] += 1
                    break
            except (OSError, ConnectionError):
                stats["closed_by_server"] += 1
            w.close()

    await asyncio.gather(*[one() for _ in range(args.count)])
    print(f"declared bodies for {args.seconds:.0f} s: {args.count} connections each declaring 8 MiB, "
          f"sending 17 KiB/s; connections opened {stats['opened']}, ended by the server "
          f"{stats['closed_by_server']}, replies {stats['replies']}")


def signins(args):
    stop = time.monotonic() + args.seconds
    statuses = {}
    lock = threading.Lock()

    def one(t):
        i = 0
        while time.monotonic() < stop:
            i += 1
            body = f"username=nobody-{t}-{i}%40example.com&password={'%032x' % i}".encode()
            reply = exchange(args.port, (f"POST /sso/v3/login_80124.php HTTP/1.1\r\nHost: x\r\n"
                                         f"Connection: close\r\nContent-Type: application/x-www-form-urlencoded"
                                         f"\r\nContent-Length: {len(body)}\r\n\r\n").encode() + body, timeout=30)
            status = status_of(reply).split(" ")[1] if reply else "none"
            with lock:
                statuses[status] = statuses.get(status, 0) + 1

    threads = [threading.Thread(target=one, args=(t,)) for t in range(args.count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    total = sum(statuses.values())
    print(f"sign-ins of unknown accounts for {args.seconds:.0f} s from {args.count} connections at a time: "
          f"{total} sent ({total / args.seconds:.0f}/s), replies by status {statuses}")


def push_packet(command: int, device: bytes, body: bytes) -> bytes:
    head = bytearray(132)
    for at, value in ((0, 502613), (4, 1), (8, command), (24, 100), (28, len(device))):
        head[at:at + 4] = value.to_bytes(4, "little", signed=True)
    head[32:32 + len(device)] = device
    return bytes(head) + body


def pushflood(args):
    device = b"BENCH000-0000-0000-0000-000000000001"
    login = bytearray(212)
    login[0:4] = args.user.to_bytes(4, "little")
    login[4:8] = (0).to_bytes(4, "little")
    login[8:12] = len(args.digest).to_bytes(4, "little")
    login[112:112 + len(args.digest)] = args.digest.encode()
    s = socket.create_connection(("127.0.0.1", args.port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    s.sendall(push_packet(1, device, bytes(login)))
    time.sleep(0.5)

    def rtts(seconds):
        times = []
        end = time.monotonic() + seconds
        n = 0
        while time.monotonic() < end:
            n += 1
            start = time.monotonic()
            s.sendall(push_packet(20, device, (0).to_bytes(4, "little") + n.to_bytes(4, "little")))
            got = b""
            s.settimeout(30)
            while len(got) < 140:
                d = s.recv(140 - len(got))
                if not d:
                    raise SystemExit("the server closed the device's connection")
                got += d
            times.append((time.monotonic() - start) * 1000)
            time.sleep(0.05)
        times.sort()
        return times[len(times) // 2], times[min(len(times) - 1, int(len(times) * 0.99))], len(times)

    alone = rtts(min(5, args.seconds))
    stop = threading.Event()
    sent = [0]

    def flood():
        f = socket.create_connection(("127.0.0.1", args.port))
        f.setblocking(False)
        batch = b"".join(push_packet(20, b"FLOOD", bytes(8)) for _ in range(400))
        while not stop.is_set():
            try:
                sent[0] += f.send(batch)
            except BlockingIOError:
                time.sleep(0.001)
            except OSError:
                f = socket.create_connection(("127.0.0.1", args.port))
                f.setblocking(False)
            try:
                while f.recv(1 << 16):
                    pass
            except (BlockingIOError, OSError):
                pass

    t = threading.Thread(target=flood)
    t.start()
    time.sleep(0.5)
    during = rtts(args.seconds)
    stop.set()
    t.join()
    print(f"push keep-alive of a signed-in device, ms: alone p50 {alone[0]:.2f} p99 {alone[1]:.2f} ({alone[2]}); "
          f"during a keep-alive flood ({sent[0] / 1e6 / args.seconds:.0f} MB/s sent) p50 {during[0]:.2f} "
          f"p99 {during[1]:.2f} ({during[2]})")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("attack", choices=["slow", "bomb", "attributes", "timing", "declared", "signins", "pushflood"])
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--pid", type=int)
    p.add_argument("--trickling", type=int, default=1000)
    p.add_argument("--silent", type=int, default=1000)
    p.add_argument("--seconds", type=float, default=60)
    p.add_argument("--count", type=int)
    p.add_argument("--user", type=int, default=1)
    p.add_argument("--digest", default="")
    args = p.parse_args()
    if args.count is None:
        args.count = {"attributes": 100000, "declared": 32, "signins": 64}.get(args.attack, 0)
    if args.attack == "slow":
        asyncio.run(slow(args))
    elif args.attack == "declared":
        asyncio.run(declared(args))
    elif args.attack == "signins":
        signins(args)
    elif args.attack == "pushflood":
        pushflood(args)
    elif args.attack == "bomb":
        bomb(args)
    elif args.attack == "attributes":
        attributes(args)
    else:
        timing(args)


if __name__ == "__main__":
    sys.exit(main())
