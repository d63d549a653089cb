#!/usr/bin/env python3
"""Loopback HTTP/1.1 test server for the I/O module and reader tests.

Serves files under --root with GET/HEAD, Content-Length, Range (bytes=a-b, a-, -n) and keep-alive.
Prints the chosen port on its first stdout line (and into --port-file), then serves until killed or
until --max-seconds pass, so a forgotten server never lives forever.

Modes:
  normal          ordinary file server
  no-range        ignores Range headers (always 200 with the whole file)
  drop-after=N    closes each connection once it has sent N body bytes in all (a response that
                  ends exactly there is complete, so this also acts as a server that closes
                  kept-alive connections)
  silent          accepts connections and never answers
  stall-after=N   like drop-after=N, but keeps the connection open without sending more
  trickle         sends each response head at once and its body one byte every 0.2 s
  status=CODE     answers every request with CODE and a short body
  redirect=N      /r/K/path answers 302 to /r/K-1/path until K is 0, then serves path;
                  every other path is served normally

--log FILE appends one line per request: "METHOD PATH RANGE" (RANGE is '-' when absent), so tests
can count requests; --connections FILE appends one line per accepted connection.
--tls-cert FILE --tls-key FILE serve https:// with that certificate; --ipv6 listens on ::1.
Absolute request targets ("GET http://host/path", as sent to a proxy) are served like "/path".
"""

import argparse
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse

MAX_HEADER_BYTES = 64 * 1024


class Config:
    def __init__(self, args):
        self.root = os.path.realpath(args.root)
        self.mode = "normal"
        self.drop_after = None
        self.stall = False
        self.status = None
        self.redirect = None
        self.log_path = args.log
        self.log_lock = threading.Lock()
        mode = args.mode
        self.connections_path = args.connections
        if mode in ("normal", "no-range", "silent", "trickle"):
            self.mode = mode
        elif mode.startswith("drop-after=") or mode.startswith("stall-after="):
            self.mode = mode.split("=", 1)[0]
            self.drop_after = int(mode.split("=", 1)[1])
            self.stall = self.mode == "stall-after"
        elif mode.startswith("status="):
            self.mode = "status"
            self.status = int(mode.split("=", 1)[1])
        elif mode.startswith("redirect="):
            self.mode = "redirect"
            self.redirect = int(mode.split("=", 1)[1])
        else:
            raise SystemExit("unknown mode: " + mode)

    def log_connection(self):
        if not self.connections_path:
            return
        with self.log_lock:
            with open(self.connections_path, "a") as f:
                f.write("connection\n")

    def log(self, method, path, range_header):
        if not self.log_path:
            return
        with self.log_lock:
            with open(self.log_path, "a") as f:
                f.write("%s %s %s\n" % (method, path, range_header or "-"))


REASONS = {
    200: "OK", 206: "Partial Content", 302: "Found", 400: "Bad Request", 403: "Forbidden",
    404: "Not Found", 416: "Range Not Satisfiable", 500: "Internal Server Error",
    503: "Service Unavailable",
}


def read_request(conn, pending):
    """Returns (request_line, headers dict, remaining bytes) or None when the peer closed."""
    data = pending
    while b"\r\n\r\n" not in data:
        if len(data) > MAX_HEADER_BYTES:
            return None
        chunk = conn.recv(4096)
        if not chunk:
            return None
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        if ":" in line:
            name, value = line.split(":", 1)
            headers[name.strip().lower()] = value.strip()
    return lines[0], headers, rest


def parse_range(value, size):
    """Returns (start, end) inclusive, 'bad' for an unsatisfiable range, or None to ignore."""
    if not value or not value.startswith("bytes="):
        return None
    spec = value[6:].split(",")[0].strip()
    if "-" not in spec:
        return None
    first, last = spec.split("-", 1)
    try:
        if first == "":
            n = int(last)
            if n <= 0:
                return "bad"
            return (max(0, size - n), size - 1) if size > 0 else "bad"
        start = int(first)
        end = int(last) if last else size - 1
    except ValueError:
        return None
    if start >= size or end < start:
        return "bad"
    return start, min(end, size - 1)


def send_simple(conn, code, body=b"", extra=None, head_only=False, close=False):
    lines = ["HTTP/1.1 %d %s" % (code, REASONS.get(code, "Status"))]
    lines.append("Content-Length: %d" % len(body))
    if close:
        lines.append("Connection: close")
    for k, v in (extra or {}).items():
        lines.append("%s: %s" % (k, v))
    conn.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + (b"" if head_only else body))


def serve_file(cfg, conn, method, path, headers, sent):
    """Sends a file response. Returns False when the connection must close.

    sent is a one-element list with the body bytes already sent on this connection (drop-after
    counts per connection)."""
    rel = urllib.parse.unquote(path.split("?", 1)[0]).lstrip("/")
    full = os.path.realpath(os.path.join(cfg.root, rel))
    if not (full == cfg.root or full.startswith(cfg.root + os.sep)) or not os.path.isfile(full):
        send_simple(conn, 404, b"not found\n", head_only=(method == "HEAD"))
        return True
    size = os.path.getsize(full)
    rng = None if cfg.mode == "no-range" else parse_range(headers.get("range"), size)
    if rng == "bad":
        send_simple(conn, 416, b"", {"Content-Range": "bytes */%d" % size})
        return True
    if rng is None:
        code, start, end = 200, 0, size - 1
        extra = {}
    else:
        code, (start, end) = 206, rng
        extra = {"Content-Range": "bytes %d-%d/%d" % (start, end, size)}
    length = max(0, end - start + 1)
    head = ["HTTP/1.1 %d %s" % (code, REASONS[code]), "Content-Length: %d" % length,
            "Accept-Ranges: %s" % ("none" if cfg.mode == "no-range" else "bytes"),
            "Content-Type: application/octet-stream"]
    for k, v in extra.items():
        head.append("%s: %s" % (k, v))
    conn.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1"))
    if method == "HEAD":
        return True
    limit = length
    if cfg.drop_after is not None:
        limit = min(limit, max(0, cfg.drop_after - sent[0]))
    with open(full, "rb") as f:
        f.seek(start)
        left = limit
        while left > 0:
            chunk = f.read(1 if cfg.mode == "trickle" else min(65536, left))
            if not chunk:
                break
            conn.sendall(chunk)
            left -= len(chunk)
            if cfg.mode == "trickle":
                time.sleep(0.2)
    sent[0] += limit
    if cfg.stall and sent[0] >= cfg.drop_after:
        # Hold the connection silently until the peer gives up.
        while conn.recv(4096):
            pass
        return False
    return cfg.drop_after is None or sent[0] < cfg.drop_after


def origin_form(path):
    """The path of an absolute request target, which clients send to proxies."""
    for scheme in ("http://", "https://"):
        if path.lower().startswith(scheme):
            slash = path.find("/", len(scheme))
            return "/" if slash < 0 else path[slash:]
    return path


def handle(cfg, conn, tls):
    conn.settimeout(30)
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    pending = b""
    sent = [0]
    cfg.log_connection()
    try:
        if tls is not None:
            # The handshake runs here, off the accepting thread, so a slow client holds no one up.
            conn = tls.wrap_socket(conn, server_side=True)
        if cfg.mode == "silent":
            # Hold the connection open without answering until the peer gives up.
            while conn.recv(4096):
                pass
            return
        while True:
            req = read_request(conn, pending)
            if req is None:
                return
            line, headers, pending = req
            parts = line.split(" ")
            if len(parts) != 3:
                send_simple(conn, 400, b"bad request\n", close=True)
                return
            method, path, _ = parts
            cfg.log(method, path, headers.get("range"))
            path = origin_form(path)
            close = headers.get("connection", "").lower() == "close"
            if method not in ("GET", "HEAD"):
                send_simple(conn, 400, b"bad method\n", close=True)
                return
            if cfg.mode == "status":
                send_simple(conn, cfg.status, b"status %d\n" % cfg.status,
                            head_only=(method == "HEAD"))
            elif cfg.mode == "redirect" and path.startswith("/r/"):
                rest = path[3:]
                count, _, target = rest.partition("/")
                try:
                    k = int(count)
                except ValueError:
                    send_simple(conn, 404, b"not found\n")
                    continue
                if k > 0:
                    # Alternate relative and absolute Location headers so clients handle both.
                    new_path = "/r/%d/%s" % (k - 1, target)
                    if k % 2 == 0:
                        host = headers.get("host", "127.0.0.1")
                        location = "http://%s%s" % (host, new_path)
                    else:
                        location = new_path
                    send_simple(conn, 302, b"", {"Location": location},
                                head_only=(method == "HEAD"))
                else:
                    if not serve_file(cfg, conn, method, "/" + target, headers, sent):
                        return
            else:
                if not serve_file(cfg, conn, method, path, headers, sent):
                    return
            if close:
                return
    except (OSError, socket.timeout, ssl.SSLError):
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--mode", default="normal")
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    parser.add_argument("--max-seconds", type=float, default=600)
    parser.add_argument("--connections")
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--ipv6", action="store_true")
    args = parser.parse_args()
    cfg = Config(args)
    tls = None
    if args.tls_cert:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(args.tls_cert, args.tls_key)

    family = socket.AF_INET6 if args.ipv6 else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("::1" if args.ipv6 else "127.0.0.1", 0))
    listener.listen(64)
    port = listener.getsockname()[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    sys.stdout.write("%d\n" % port)
    sys.stdout.flush()

    deadline = time.monotonic() + args.max_seconds
    listener.settimeout(0.5)
    while time.monotonic() < deadline:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        except OSError:
            break
        threading.Thread(target=handle, args=(cfg, conn, tls), daemon=True).start()
    os._exit(0)


if __name__ == "__main__":
    main()
