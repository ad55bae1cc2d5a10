#!/usr/bin/env python3
"""A small HTTP server for the tests and benchmarks that load pages over HTTP.

    serve.py DIR

Serves DIR on 127.0.0.1 at a free port and prints the port as its first
line. It exits when its standard input closes, so a test that dies leaves no
server behind.

Content-Type follows the file name: NAME.gb2312.html, NAME.big5.html and
NAME.utf-8.html (likewise .css and .js) are sent with that charset in the
header; any other name is sent without a charset, so that the page's own
<meta> decides.

Every request except those for /log is recorded before it is answered. GET
/log answers with the record, one request a line:
    METHOD <TAB> PATH <TAB> BODY
where PATH is the raw request target (with its query) and BODY the raw body
bytes in hex ("" when there was none).

A POST to any path, and a GET with a query, is answered with a page that
shows what arrived:
    <p id="method">POST</p><pre id="raw">q=%A4%A4%B5%D8</pre>
RAW is the body (the query for a GET) as ASCII: bytes outside printable
ASCII, and the space, are written %XX; everything else as it came.
"""

import html
import http.server
import os
import sys
import threading
import urllib.parse

CHARSETS = ("gb2312", "big5", "utf-8")
TYPES = {".html": "text/html", ".htm": "text/html", ".css": "text/css",
         ".js": "text/javascript", ".txt": "text/plain"}


def content_type(path):
    stem, ext = os.path.splitext(path)
    mime = TYPES.get(ext.lower(), "application/octet-stream")
    charset = os.path.splitext(stem)[1][1:].lower()
    return f"{mime}; charset={charset}" if charset in CHARSETS else mime


def ascii_view(raw):
    return "".join(chr(b) if 0x21 <= b <= 0x7E else f"%{b:02X}" for b in raw)


class Handler(http.server.SimpleHTTPRequestHandler):
    log = []
    lock = threading.Lock()

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass  # the record at /log is what the tests read

    def end_headers(self):
        # Each run of a benchmark or test loads afresh.
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def guess_type(self, path):
        return content_type(path)

    def record(self, body):
        with self.lock:
            self.log.append((self.command, self.path, body))

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def answer(self, status, ctype, data):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def echo(self, raw):
        page = ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>echo</title>"
                "</head><body>\n"
                f"<p id=\"method\">{self.command}</p>\n"
                f"<p id=\"path\">{html.escape(urllib.parse.urlsplit(self.path).path)}</p>\n"
                f"<pre id=\"raw\">{html.escape(ascii_view(raw))}</pre>\n"
                "</body></html>\n")
        self.answer(200, "text/html; charset=utf-8", page.encode("ascii"))

    def send_log(self):
        with self.lock:
            lines = [f"{m}\t{p}\t{b.hex()}\n" for m, p, b in self.log]
        self.answer(200, "text/plain; charset=utf-8", "".join(lines).encode("utf-8", "replace"))

    def do_GET(self):
        if urllib.parse.urlsplit(self.path).path == "/log":
            return self.send_log()
        self.record(b"")
        query = urllib.parse.urlsplit(self.path).query
        if query:
            return self.echo(query.encode("latin-1", "replace"))
        return super().do_GET()

    def do_HEAD(self):
        self.record(b"")
        return super().do_HEAD()

    def do_POST(self):
        body = self.read_body()
        self.record(body)
        self.echo(body)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def main():
    if len(sys.argv) != 2 or not os.path.isdir(sys.argv[1]):
        print("usage: serve.py DIR", file=sys.stderr)
        return 2
    root = os.path.abspath(sys.argv[1])

    class Rooted(Handler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=root, **kwargs)

    server = Server(("127.0.0.1", 0), Rooted)
    print(server.server_address[1], flush=True)

    def watch_stdin():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
