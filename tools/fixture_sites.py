#!/usr/bin/env python3
"""Fixture sites: a local stand-in for the three search sites, for tests, benchmarks and demos.

A threaded HTTP/1.1 server (Python 3 standard library only) that answers in the shape of the
three search sites trawler scrapes, records what clients send, and can misbehave on request.

Start
    python3 tools/fixture_sites.py [--bind 127.0.0.1] [--port 0] [--tls] [--hits N]
                                   [--site-host 1=HOST ...] [--verbose]
    The first line on stdout is "PORT <n>" (flushed); with --tls a second line
    "TLS_PORT <n>" follows, for an HTTPS listener with a self-signed certificate made at
    start by the openssl command line (into a temporary directory). The server ends on
    SIGTERM or SIGINT, and when its stdin is a pipe or socket, also when that closes, so a
    test that dies never leaves it behind. Site hosts default to engine1.example,
    engine2.example and engine3.example; --site-host N=HOST changes one of them (a build
    with other TRAWLER_SITEn_HOST values).

Origin and proxy
    A request in absolute form ("GET http://engine1.example/search/... HTTP/1.1", what a
    client sends to an HTTP proxy) is answered as that host would answer, and so is an
    origin-form request whose Host header names a site host (case-insensitive, port
    ignored). Any other host gets the origin endpoints below. CONNECT gets 405.

Records
    Every request except the control endpoints is recorded as received: the head bytes
    (request line, header lines byte for byte, the blank line) and the body (by
    Content-Length, or chunked and decoded).

Control endpoints (never recorded, on any host, any method)
    GET  /__fixture/requests   every record in order, each "<headLength> <bodyLength>\\n"
                               followed by the head bytes and the body bytes
                               (application/octet-stream).
    POST /__fixture/reset      clears the records and every site mode.
    POST /__fixture/mode?site=N&mode=M[&hits=H][&delay_ms=D]
                               how site N (1-3) answers from now on, search and detail
                               pages alike. hits (hits per search page) and delay_ms keep
                               their earlier value when not given; reset restores the
                               defaults (--hits or 3 hits, 1000 ms).
    Site modes: normal; foreign (valid HTML of another shape: no hits, no markers, no key
    link); nomarker (site 3's front page without the search-key link; detail pages of sites
    1 and 2 without the address markers); slow (normal after delay_ms); and every hostile
    mode listed under /hostile/, applied to the page the site would have sent.

Site pages (UTF-8, "text/html; charset=utf-8"), generated for any keyword and page
    The keyword W is the percent-decoded UTF-8 of the path segment (sites 1 and 2) or of the
    body field "keyword" (site 3; when the body has no such field, the keyword that the
    search key stands for). Hit i (from 1) of page P is named "W 第P页 第i条", has the size
    "1.i GB", the date "2026-12-0d" with d = 1..9 (wrapping after 9), and a hash of 40
    upper-case hex digits derived from (site, W, P, i); its magnet address is
    "magnet:?xt=urn:btih:<HASH>". Names are HTML-escaped, line feeds as character
    references, so every hit row stays on one line.
    Site 1  GET /search/<K>/currentPage/<P>: one row per hit, each on one line, in the shape
            of site 1's page pattern; the action link is http://<site 1 host>/detail/<HASH>.html.
            GET /detail/<HASH>.html: holds
            <textarea class="magnet" readonly>magnet:?xt=urn:btih:<HASH></textarea>.
    Site 2  GET /search/<K>/<P>: rows in site 2's shape, action link detail/<HASH>.html
            (relative, no leading slash). GET /detail/<HASH>.html: holds
            <textarea onclick="this.select()">magnet:?xt=urn:btih:<HASH></textarea>.
    Site 3  POST / with body keyword=<K>: a front page whose first "/search/" is the link
            /search/<S>/1/0.html, S being 8 hex digits derived from the keyword (the server
            remembers S). POST /search/<S>/<P>/0.html: rows in site 3's shape (name, magnet
            link, 创建时间 = date, 文件大小 = size). An unknown or empty S gives a valid page
            without hits.
    Anything else under a site host: 404 with a small HTML body.

Origin endpoints (for tests of the request routine)
    /raw?status=S&header=Name:%20Value&header=...&body=TEXT
            exactly that status, those header lines in order, that body (percent-decoded
            bytes; "+" is a space). Content-Length is added unless a header names
            Content-Length or Transfer-Encoding. noheaders=1 sends the body alone, with no
            status line and no headers (an HTTP/0.9-style answer). The connection stays
            open only when the body has a Content-Length.
    /echo   200 with a small body (recorded like every other request).
    /hostile/<mode>[?delay_ms=D][&size=BYTES]  one misbehaving answer:
            silent        reads the request, never answers, until the client goes away
            drip          headers, then one body byte every delay_ms (default 1 s)
            reset         half of the announced body, then a TCP reset
            huge          a 100 MiB body, generated while sending (size= to change it)
            badchunk      chunked encoding that breaks after the first chunk
            redirectloop  302 to the same target, for ever
            redirectfile  302 to file:///etc/passwd
            bigheader     a response header block over 5000 bytes
            zeros         zero bytes inside the body
            badutf8       malformed UTF-8 inside the page
            backtrack     one long line of openers of all three site patterns and no
                          closers (1 MiB, size= to change it)
            bigdetail     a 50 MiB page without address markers, generated while sending
            page1mib      a page of exactly 1 MiB (site 1 rows), for benchmarks
            normal, slow, foreign, nomarker: a site-1 page for the keyword "fixture", after
            delay_ms for slow; the foreign page; site 3's front page without the key link.
    Anything else: 404.

Robustness
    Each connection runs on a thread of its own; a malformed request is answered 400 (and
    recorded) and never stops the server. Streams are generated while sending and end when
    the client goes away; nothing holds the large bodies in memory.
"""

import argparse
import hashlib
import html
import http
import os
import select
import shutil
import signal
import socket
import socketserver
import ssl
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

MAX_LINE = 64 * 1024
MAX_HEAD = 256 * 1024
MAX_BODY = 64 * 1024 * 1024
IDLE_TIMEOUT = 60.0          # seconds without progress on a connection
SILENT_LIMIT = 3600.0        # a silent answer gives up after an hour even if nobody leaves
DEFAULT_DELAY_MS = 1000
HUGE_SIZE = 100 * 1024 * 1024
BIGDETAIL_SIZE = 50 * 1024 * 1024
BACKTRACK_SIZE = 1024 * 1024
PAGE1MIB_SIZE = 1024 * 1024
STREAM_BLOCK = 64 * 1024

HOSTILE_MODES = (
    "silent", "drip", "reset", "huge", "badchunk", "redirectloop", "redirectfile",
    "bigheader", "zeros", "badutf8", "backtrack", "bigdetail", "page1mib",
)
SITE_MODES = ("normal", "foreign", "nomarker", "slow") + HOSTILE_MODES

# Bytes that are not UTF-8: an overlong slash, a byte never used, a cut-off three-byte
# sequence, an encoded surrogate. A space follows so that the cut-off sequence stays cut off.
BAD_UTF8 = b"\xc0\xaf\xff\xe4\xb8 \xed\xa0\x80 "
BAD_UTF8_MARK = "\ue000"     # placeholder in generated text, replaced by BAD_UTF8


class BadRequest(Exception):
    def __init__(self, status, why):
        super().__init__(why)
        self.status = status


class ClientGone(Exception):
    pass


class Request:
    def __init__(self):
        self.head = b""
        self.body = b""
        self.method = ""
        self.target = ""
        self.version = ""
        self.headers = []        # (lower-case name, value) in order
        self.host = ""
        self.path = "/"
        self.query = ""

    def header(self, name):
        for key, value in self.headers:
            if key == name:
                return value
        return None

    def wants_close(self):
        connection = (self.header("connection") or "").lower()
        if "close" in connection:
            return True
        return self.version != "HTTP/1.1" and "keep-alive" not in connection


class SiteMode:
    def __init__(self, hits):
        self.mode = "normal"
        self.hits = hits
        self.delay_ms = DEFAULT_DELAY_MS


class State:
    """Everything the connection threads share; guarded by one lock."""

    def __init__(self, hosts, default_hits, verbose):
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.hosts = hosts                      # {1: "engine1.example", ...}
        self.default_hits = default_hits
        self.verbose = verbose
        self.records = []
        self.modes = {n: SiteMode(default_hits) for n in (1, 2, 3)}
        self.search_keys = {}                   # site 3: S -> keyword

    def site_for_host(self, host):
        host = host.lower().rstrip(".")
        for number, name in self.hosts.items():
            if host == name:
                return number
        return 0

    def mode_of(self, site):
        with self.lock:
            current = self.modes[site]
            return current.mode, current.hits, current.delay_ms


# ---------------------------------------------------------------- page generation

def hit_hash(site, keyword, page, index):
    seed = "%d\x00%s\x00%d\x00%d" % (site, keyword, page, index)
    return hashlib.sha1(seed.encode("utf-8", "surrogatepass")).hexdigest().upper()


def search_key(keyword):
    return hashlib.sha1(keyword.encode("utf-8", "surrogatepass")).hexdigest()[:8]


def escape(text):
    # Quotes escaped so a name never ends an attribute; line breaks as references so a
    # row stays on one line whatever the keyword holds.
    return html.escape(text, quote=True).replace("\r", "&#13;").replace("\n", "&#10;")


def hit(site, keyword, page, index):
    digest = hit_hash(site, keyword, page, index)
    return {
        "name": "%s 第%d页 第%d条" % (keyword, page, index),
        "size": "1.%d GB" % index,
        "date": "2026-12-0%d" % ((index - 1) % 9 + 1),
        "hash": digest,
        "magnet": "magnet:?xt=urn:btih:" + digest,
    }


def row(site, host, entry, corrupt):
    name = escape(entry["name"])
    if corrupt:
        name = BAD_UTF8_MARK + name
    if site == 1:
        link = "http://%s/detail/%s.html" % (host, entry["hash"])
        return ('<tr class="item"><td class="files-name"><a href="%s" title="%s" '
                'target="_blank">%s</a></td><td class="files-size">%s</td> '
                '<td class="convert-date">%s</td> <td class="action"><a href="%s" '
                'class="btn" title="查看详情">详情</a></td></tr>\n'
                % (link, name, name, entry["size"], entry["date"], link))
    if site == 2:
        return ('<tr><td class="name">%s</td><td class="size">%s</td><td class="date">%s'
                '</td><td class="action"><a href="detail/%s.html" title="下载种子">下载</a>'
                '</td></tr>\n' % (name, entry["size"], entry["date"], entry["hash"]))
    return ('<dl class="item"><dt><dd><a href="/torrent/%s.html" target="_blank">%s</a>'
            '</dd></dt><dd><span><a href="%s">磁力链接</a></span><span class="meta">'
            '创建时间&nbsp;:&nbsp;<b>%s</b></span><span class="meta">文件大小&nbsp;:&nbsp;'
            '<b>%s</b></span></dd></dl>\n'
            % (entry["hash"], name, entry["magnet"], entry["date"], entry["size"]))


def page_shell(title, body):
    return ('<!DOCTYPE html>\n<html lang="zh-CN">\n<head>\n<meta charset="utf-8">\n'
            '<title>%s</title>\n<link rel="stylesheet" href="/static/site.css">\n</head>\n'
            '<body>\n<div class="header"><a href="/">首页</a> | 磁力搜索</div>\n%s'
            '<div class="footer">本站不存储任何文件。</div>\n</body>\n</html>\n'
            % (escape(title), body))


def finish(text, corrupt=False):
    data = text.encode("utf-8", "surrogatepass")
    if corrupt:
        data = data.replace(BAD_UTF8_MARK.encode("utf-8"), BAD_UTF8)
    return data


def search_page(site, host, keyword, page, hits, corrupt=False, zero=False, fill=0):
    """Site `site`'s result page; with fill > 0, as many rows as fit in exactly fill bytes."""
    title = "%s - 搜索结果" % keyword
    if site == 3:
        opening = '<div class="list">\n'
        closing = ('</div>\n<div class="pager"><a href="/search/%s/%d/0.html">下一页</a>'
                   '</div>\n' % (search_key(keyword), page + 1))
    else:
        opening = ('<p class="summary">找到以下结果：</p>\n<table class="%s">\n'
                   % ("files" if site == 1 else "data"))
        closing = '</table>\n<div class="pager">第 %d 页</div>\n' % page
    rows = []
    if fill:
        shell = finish(page_shell(title, opening + "<!---->" + closing))
        budget = fill - len(shell)
        index = 1
        while True:
            line = finish(row(site, host, hit(site, keyword, page, index), corrupt), corrupt)
            if len(line) > budget:
                break
            rows.append(line.decode("utf-8", "surrogateescape"))
            budget -= len(line)
            index += 1
        padding = "<!--" + "-" * budget + "-->"
        text = page_shell(title, opening + "".join(rows) + padding + closing)
        return text.encode("utf-8", "surrogateescape")
    for index in range(1, hits + 1):
        rows.append(row(site, host, hit(site, keyword, page, index), corrupt))
        if zero and index == 1:
            # Zero byte after the first row: whatever reads the page as a C string stops here.
            rows.append("<!-- \x00 -->\n")
    if not rows:
        rows.append("<!-- 没有找到相关结果 -->\n")
    return finish(page_shell(title, opening + "".join(rows) + closing), corrupt)


def front_page(keyword, with_key, remember):
    if with_key:
        key = search_key(keyword)
        remember(key, keyword)
        link = ('<p class="more"><a href="/search/%s/1/0.html">查看全部结果</a></p>\n' % key)
    else:
        link = '<p class="more">请输入关键词。</p>\n'
    body = ('<form action="/" method="post"><input name="keyword" value="%s">'
            '<button>搜索</button></form>\n%s' % (escape(keyword), link))
    return finish(page_shell("磁力搜索", body))


def detail_page(site, digest, markers=True, corrupt=False, pad_to=0):
    magnet = "magnet:?xt=urn:btih:" + digest
    if not markers:
        box = "<p>该资源已被删除。</p>\n"
    elif site == 1:
        box = '<textarea class="magnet" readonly>%s</textarea>\n' % magnet
    else:
        box = '<textarea onclick="this.select()">%s</textarea>\n' % magnet
    lead = "<h1>种子详情</h1>\n<p>%s哈希值：%s</p>\n" % (BAD_UTF8_MARK if corrupt else "", digest)
    data = finish(page_shell("种子详情 " + digest, lead + box), corrupt)
    if pad_to > len(data):
        # The padding goes before the address box so a reader has to scan the whole page.
        filler = b"<!--" + b"-" * (pad_to - len(data) - 8) + b"-->\n"
        at = data.index(box.encode("utf-8"))
        data = data[:at] + filler + data[at:]
    return data


def foreign_page():
    body = ('<div class="notice"><h2>访问受限</h2><p>本页面暂时无法显示，请稍后再试。</p>\n'
            '<ul><li class="title">热门</li><li class="title">最新</li></ul></div>\n')
    return finish(page_shell("提示信息", body))


def not_found_page():
    return finish(page_shell("404 未找到", "<h2>404</h2><p>页面不存在。</p>\n"))


def backtrack_page(size):
    # Openers of the three site patterns, each stopping short of what the pattern needs
    # next, all on one line: every start position scans to the end of the line.
    unit = ('<a title="x" target="_blank"><td class="files-size">1</td> '
            '<td class="convert-date">2</td> '
            '<tr><td class="name">n</td><td class="size">s</td>'
            '<a target="_blank">n</a></dd></dt><dd><span><a href="m">').encode("utf-8")
    start = b"<!DOCTYPE html>\n<html><head><title>x</title></head><body>"
    end = b"</body></html>\n"
    inner = max(0, size - len(start) - len(end))
    line = (unit * (inner // len(unit) + 1))[:inner]
    return start + line + end


# ---------------------------------------------------------------- the connection handler

class Connection:
    """One accepted client connection: reads requests and writes answers."""

    def __init__(self, state, sock, tls):
        self.state = state
        self.sock = sock
        self.tls = tls
        self.reader = sock.makefile("rb")
        self.closed = False

    # -- reading

    def read_line(self):
        line = self.reader.readline(MAX_LINE + 1)
        if len(line) > MAX_LINE:
            raise BadRequest(431, "line too long")
        return line

    def read_request(self):
        request = Request()
        line = self.read_line()
        while line in (b"\r\n", b"\n"):        # stray line ends between requests
            line = self.read_line()
        if not line:
            return None
        head = [line]
        size = len(line)
        while True:
            line = self.read_line()
            if not line:
                return None                     # the client left inside the head
            head.append(line)
            size += len(line)
            if size > MAX_HEAD:
                raise BadRequest(431, "head too large")
            if line in (b"\r\n", b"\n"):
                break
        request.head = b"".join(head)
        text = [part.decode("latin-1").rstrip("\r\n") for part in head]
        parts = text[0].split(" ")
        if len(parts) != 3 or not parts[0] or not parts[1]:
            self.record(request)
            raise BadRequest(400, "bad request line")
        request.method, request.target, request.version = parts
        for header_line in text[1:-1]:
            name, colon, value = header_line.partition(":")
            if colon:
                request.headers.append((name.strip().lower(), value.strip()))
        try:
            self.read_body(request)
        except BadRequest:
            self.record(request)
            raise
        try:
            self.parse_target(request)
        except ValueError:
            self.record(request)
            raise BadRequest(400, "bad request target")
        return request

    def read_body(self, request):
        encoding = (request.header("transfer-encoding") or "").lower()
        length = request.header("content-length")
        if "chunked" not in encoding and length is None:
            return
        expect = (request.header("expect") or "").lower()
        if expect == "100-continue" and request.version == "HTTP/1.1":
            self.send(b"HTTP/1.1 100 Continue\r\n\r\n")
        if "chunked" in encoding:
            chunks = []
            total = 0
            while True:
                size_line = self.read_line()
                if not size_line:
                    raise ClientGone()
                try:
                    size = int(size_line.split(b";")[0].strip(), 16)
                except ValueError:
                    raise BadRequest(400, "bad chunk size")
                if size < 0:
                    raise BadRequest(400, "bad chunk size")
                if size == 0:
                    while self.read_line() not in (b"\r\n", b"\n", b""):
                        pass                    # trailer lines
                    break
                total += size
                if total > MAX_BODY:
                    raise BadRequest(413, "body too large")
                chunks.append(self.read_exactly(size))
                self.read_line()                # the CR LF after the chunk
            request.body = b"".join(chunks)
            return
        try:
            count = int(length)
        except ValueError:
            raise BadRequest(400, "bad Content-Length")
        if count < 0:
            raise BadRequest(400, "bad Content-Length")
        if count > MAX_BODY:
            raise BadRequest(413, "body too large")
        request.body = self.read_exactly(count)

    def read_exactly(self, count):
        data = self.reader.read(count)
        if len(data) != count:
            raise ClientGone()
        return data

    def parse_target(self, request):
        target = request.target
        lower = target.lower()
        if lower.startswith("http://") or lower.startswith("https://"):
            parts = urllib.parse.urlsplit(target)
            request.host = parts.hostname or ""
            request.path = parts.path or "/"
            request.query = parts.query
            return
        host = request.header("host") or ""
        if host.startswith("["):
            host = host[1:].partition("]")[0]
        else:
            host = host.partition(":")[0]
        request.host = host
        request.path, _, request.query = target.partition("?")

    def record(self, request):
        with self.state.lock:
            self.state.records.append((request.head, request.body))

    # -- writing

    def send(self, data):
        try:
            self.sock.sendall(data)
        except OSError:
            raise ClientGone()

    def answer(self, request, status, body, content_type="text/html; charset=utf-8",
               extra=(), close=False):
        reason = status_reason(status)
        lines = ["HTTP/1.1 %d %s" % (status, reason)]
        lines.extend(extra)
        lines.append("Content-Type: " + content_type)
        lines.append("Content-Length: %d" % len(body))
        if close:
            lines.append("Connection: close")
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")
        self.send(head if request is not None and request.method == "HEAD" else head + body)
        return not close

    def hang_up_with_reset(self):
        # Linger 0 makes close() send a reset instead of the orderly end of the stream.
        try:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        self.close(graceful=False)

    def close(self, graceful=True):
        if not self.closed:
            self.closed = True
            if graceful and not self.tls:
                try:
                    self.sock.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
            try:
                self.reader.close()
            except OSError:
                pass
            try:
                self.sock.close()
            except OSError:
                pass

    def client_gone(self, wait):
        """Waits up to `wait` seconds; true when the client closed or reset the connection."""
        try:
            ready, _, _ = select.select([self.sock], [], [], wait)
            if ready:
                if self.tls:
                    data = self.sock.recv(4096)
                else:
                    data = self.sock.recv(4096, socket.MSG_DONTWAIT)
                return not data
        except (BlockingIOError, ssl.SSLWantReadError):
            return False
        except (OSError, ValueError):
            return True
        return False

    # -- the loop

    def serve(self):
        try:
            while not self.state.stop.is_set() and not self.closed:
                try:
                    request = self.read_request()
                except BadRequest as error:
                    self.answer(None, error.status, finish(page_shell(
                        "%d" % error.status, "<p>%s</p>\n" % escape(str(error)))), close=True)
                    break
                if request is None:
                    break
                if self.state.verbose:
                    sys.stderr.write("fixture: %s %s\n" % (request.method, request.target))
                if not self.dispatch(request) or request.wants_close():
                    break
        except (ClientGone, OSError, ValueError, ssl.SSLError):
            pass
        finally:
            self.close()

    def dispatch(self, request):
        """Answers one request; false when the connection is to close afterwards."""
        if request.path.startswith("/__fixture/"):
            return self.control(request)
        self.record(request)
        if request.method == "CONNECT":
            return self.answer(request, 405, not_found_page(), close=True)
        if not (request.target.startswith("/") or "://" in request.target):
            return self.answer(request, 400, not_found_page(), close=True)
        site = self.state.site_for_host(request.host)
        if site:
            return self.serve_site(site, request)
        return self.serve_origin(request)

    # -- control endpoints

    def control(self, request):
        params = query_params(request.query)
        if request.path == "/__fixture/requests":
            with self.state.lock:
                records = list(self.state.records)
            out = bytearray()
            for head, body in records:
                out += b"%d %d\n" % (len(head), len(body))
                out += head
                out += body
            return self.answer(request, 200, bytes(out), "application/octet-stream")
        if request.path == "/__fixture/reset":
            with self.state.lock:
                self.state.records.clear()
                self.state.modes = {n: SiteMode(self.state.default_hits) for n in (1, 2, 3)}
            return self.answer(request, 200, b"ok\n", "text/plain")
        if request.path == "/__fixture/mode":
            try:
                site = int(params.get("site", ""))
                mode = params.get("mode", "")
                hits = int(params["hits"]) if "hits" in params else None
                delay = int(params["delay_ms"]) if "delay_ms" in params else None
            except ValueError:
                return self.answer(request, 400, b"bad number\n", "text/plain")
            if site not in (1, 2, 3) or mode not in SITE_MODES:
                return self.answer(request, 400, b"unknown site or mode\n", "text/plain")
            if (hits is not None and hits < 0) or (delay is not None and delay < 0):
                return self.answer(request, 400, b"negative number\n", "text/plain")
            with self.state.lock:
                current = self.state.modes[site]
                current.mode = mode
                if hits is not None:
                    current.hits = hits
                if delay is not None:
                    current.delay_ms = delay
            return self.answer(request, 200, b"ok\n", "text/plain")
        return self.answer(request, 404, b"unknown control endpoint\n", "text/plain")

    # -- the three sites

    def serve_site(self, site, request):
        mode, hits, delay_ms = self.state.mode_of(site)
        host = self.state.hosts[site]
        if mode == "slow":
            if self.state.stop.wait(delay_ms / 1000.0):
                return False
        if mode == "foreign":
            return self.answer(request, 200, foreign_page())
        if mode in ("silent", "redirectloop", "redirectfile", "huge", "bigdetail", "backtrack"):
            return self.hostile(request, mode, b"", delay_ms, 0)
        status, page = self.site_page(site, host, request, mode, hits)
        if mode in HOSTILE_MODES and status == 200:
            return self.hostile(request, mode, page, delay_ms, 0)
        return self.answer(request, status, page)

    def site_page(self, site, host, request, mode, hits):
        corrupt = mode == "badutf8"
        fill = PAGE1MIB_SIZE if mode == "page1mib" else 0
        parts = request.path.split("/")
        # parts[0] is "" (the path begins with "/").
        if len(parts) == 3 and parts[1] == "detail" and is_detail_name(parts[2]) and site != 3:
            return 200, detail_page(site, parts[2][:-5], markers=(mode != "nomarker"),
                                    corrupt=corrupt, pad_to=fill)
        if site == 1 and len(parts) == 5 and parts[1] == "search" and parts[3] == "currentPage":
            page = page_number(parts[4])
            if page is not None:
                return 200, search_page(1, host, path_keyword(parts[2]), page, hits,
                                        corrupt, mode == "zeros", fill)
        if site == 2 and len(parts) == 4 and parts[1] == "search":
            page = page_number(parts[3])
            if page is not None:
                return 200, search_page(2, host, path_keyword(parts[2]), page, hits,
                                        corrupt, mode == "zeros", fill)
        if site == 3 and request.path == "/":
            keyword = form_keyword(request.body)
            return 200, front_page(keyword if keyword is not None else "",
                                   mode != "nomarker", self.remember_key)
        if site == 3 and len(parts) == 5 and parts[1] == "search" and parts[4] == "0.html":
            page = page_number(parts[3])
            if page is not None:
                with self.state.lock:
                    known = self.state.search_keys.get(parts[2])
                keyword = form_keyword(request.body)
                if keyword is None:
                    keyword = known
                count = hits if known is not None and keyword is not None else 0
                return 200, search_page(3, host, keyword or "", page, count, corrupt,
                                        mode == "zeros", fill)
        return 404, not_found_page()

    def remember_key(self, key, keyword):
        with self.state.lock:
            self.state.search_keys[key] = keyword

    # -- origin endpoints

    def serve_origin(self, request):
        params = query_params(request.query)
        if request.path == "/echo":
            return self.answer(request, 200, b"echo\n", "text/plain; charset=utf-8")
        if request.path == "/raw":
            return self.raw(request)
        if request.path.startswith("/hostile/"):
            mode = request.path[len("/hostile/"):]
            try:
                delay_ms = int(params.get("delay_ms", DEFAULT_DELAY_MS))
                size = int(params.get("size", 0))
            except ValueError:
                return self.answer(request, 400, not_found_page(), close=True)
            delay_ms = max(0, delay_ms)
            size = max(0, size)
            sample = search_page(1, self.state.hosts[1], "fixture", 1, self.state.default_hits)
            if mode == "normal":
                return self.answer(request, 200, sample)
            if mode == "slow":
                if self.state.stop.wait(delay_ms / 1000.0):
                    return False
                return self.answer(request, 200, sample)
            if mode == "foreign":
                return self.answer(request, 200, foreign_page())
            if mode == "nomarker":
                return self.answer(request, 200, front_page("fixture", False, lambda k, v: None))
            if mode in HOSTILE_MODES:
                if mode == "badutf8":
                    sample = search_page(1, self.state.hosts[1], "fixture", 1,
                                         self.state.default_hits, corrupt=True)
                elif mode == "zeros":
                    sample = search_page(1, self.state.hosts[1], "fixture", 1,
                                         self.state.default_hits, zero=True)
                elif mode == "page1mib":
                    sample = search_page(1, self.state.hosts[1], "fixture", 1, 0,
                                         fill=size or PAGE1MIB_SIZE)
                return self.hostile(request, mode, sample, delay_ms, size)
        return self.answer(request, 404, not_found_page())

    def raw(self, request):
        pairs = urllib.parse.parse_qsl(request.query, keep_blank_values=True,
                                       encoding="latin-1")
        status = 200
        headers = []
        body = b""
        noheaders = False
        for name, value in pairs:
            if name == "status":
                try:
                    status = int(value)
                except ValueError:
                    return self.answer(request, 400, b"bad status\n", "text/plain", close=True)
            elif name == "header":
                headers.append(value)
            elif name == "body":
                body = value.encode("latin-1")
            elif name == "noheaders":
                noheaders = value not in ("", "0")
        if noheaders:
            self.send(body)
            return False
        names = [line.partition(":")[0].strip().lower() for line in headers]
        framed = "transfer-encoding" not in names
        if framed and "content-length" not in names:
            headers.append("Content-Length: %d" % len(body))
        head = "HTTP/1.1 %d %s\r\n" % (status, status_reason(status))
        head += "".join(line + "\r\n" for line in headers) + "\r\n"
        self.send(head.encode("latin-1") + (b"" if request.method == "HEAD" else body))
        # A body of known length lets the connection live on (a client that follows a
        # redirect may reuse it); with the test's own Transfer-Encoding it ends here.
        return framed

    # -- misbehaviour

    def hostile(self, request, mode, page, delay_ms, size):
        """One misbehaving answer; always false: the connection ends with it."""
        if mode == "silent":
            deadline = time.monotonic() + SILENT_LIMIT
            while not self.state.stop.is_set() and time.monotonic() < deadline:
                if self.client_gone(0.2):
                    break
            return False
        if mode == "drip":
            page = page or search_page(1, self.state.hosts[1], "fixture", 1, 3)
            self.send(b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                      b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(page))
            for index in range(len(page)):
                if self.state.stop.wait(delay_ms / 1000.0):
                    break
                self.send(page[index:index + 1])
            return False
        if mode == "reset":
            page = page or search_page(1, self.state.hosts[1], "fixture", 1, 3)
            self.send(b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                      b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(page)
                      + page[:len(page) // 2])
            time.sleep(0.05)                    # let the half arrive before the reset
            self.hang_up_with_reset()
            return False
        if mode in ("huge", "bigdetail"):
            total = size or (HUGE_SIZE if mode == "huge" else BIGDETAIL_SIZE)
            self.stream(total, mode == "bigdetail")
            return False
        if mode == "badchunk":
            page = page or search_page(1, self.state.hosts[1], "fixture", 1, 3)
            first = page[:len(page) // 2]
            self.send(b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                      b"Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                      + b"%x\r\n" % len(first) + first + b"\r\n"
                      + b"zz-not-a-chunk-size\r\n" + page[len(first):])
            return False
        if mode in ("redirectloop", "redirectfile"):
            location = request.target if mode == "redirectloop" else "file:///etc/passwd"
            head = ("HTTP/1.1 302 Found\r\nLocation: %s\r\nContent-Type: text/html; "
                    "charset=utf-8\r\nContent-Length: %d\r\nConnection: close\r\n\r\n")
            body = finish(page_shell("302", '<p><a href="%s">moved</a></p>\n' % escape(location)))
            self.send((head % (location, len(body))).encode("latin-1") + body)
            return False
        if mode == "bigheader":
            page = page or search_page(1, self.state.hosts[1], "fixture", 1, 3)
            filler = "".join("X-Filler-%02d: %s\r\n" % (n, "f" * 90) for n in range(60))
            head = ("HTTP/1.1 200 OK\r\n%sContent-Type: text/html; charset=utf-8\r\n"
                    "Content-Length: %d\r\n\r\n" % (filler, len(page)))
            self.send(head.encode("latin-1") + page)
            return False
        if mode == "backtrack":
            body = backtrack_page(size or BACKTRACK_SIZE)
            self.answer(request, 200, body, close=True)
            return False
        # zeros, badutf8, page1mib: the prepared page itself.
        self.answer(request, 200, page, close=True)
        return False

    def stream(self, total, as_page):
        """Sends a generated body of `total` bytes, never more than one block in memory."""
        if as_page:
            start = b"<!DOCTYPE html>\n<html><head><title>x</title></head><body>\n"
            end = b"</body></html>\n"
            unit = "<p>这里什么也没有。</p>\n".encode("utf-8")
        else:
            start = end = b""
            unit = b"0123456789abcdefghijklmnopqrstuvwxyz\n"
        block = (unit * (STREAM_BLOCK // len(unit) + 1))[:STREAM_BLOCK]
        self.send(b"HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %d\r\n"
                  b"Connection: close\r\n\r\n"
                  % (b"text/html; charset=utf-8" if as_page else b"application/octet-stream",
                     total))
        start = start[:total]
        end = end[:max(0, total - len(start))]
        self.send(start)
        left = total - len(start) - len(end)
        while left > 0:
            if self.state.stop.is_set():
                return
            piece = block[:min(left, len(block))]
            self.send(piece)
            left -= len(piece)
        self.send(end)


def status_reason(status):
    try:
        return http.HTTPStatus(status).phrase
    except ValueError:
        return "Status"


def query_params(query):
    return dict(urllib.parse.parse_qsl(query, keep_blank_values=True))


def is_detail_name(name):
    if not name.endswith(".html") or len(name) != 45:
        return False
    return all(c in "0123456789abcdefABCDEF" for c in name[:40])


def page_number(text):
    body = text[1:] if text.startswith("-") else text
    if not body.isdigit() or not body.isascii():
        return None
    return int(text)


def path_keyword(segment):
    return urllib.parse.unquote_to_bytes(segment).decode("utf-8", "replace")


def form_keyword(body):
    """The field `keyword` of a form body, percent-decoded as UTF-8; None when absent."""
    for field in body.split(b"&"):
        name, equals, value = field.partition(b"=")
        if equals and name == b"keyword":
            raw = urllib.parse.unquote_to_bytes(value.replace(b"+", b" "))
            return raw.decode("utf-8", "replace")
    return None


# ---------------------------------------------------------------- servers and start-up

class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True
    request_queue_size = 128

    def __init__(self, address, state, tls_context=None):
        self.state = state
        self.tls_context = tls_context
        super().__init__(address, None)

    def finish_request(self, request, client_address):
        sock = request
        try:
            sock.settimeout(IDLE_TIMEOUT)
            if self.tls_context is not None:
                sock = self.tls_context.wrap_socket(sock, server_side=True,
                                                    do_handshake_on_connect=False)
                sock.do_handshake()
            Connection(self.state, sock, self.tls_context is not None).serve()
        except (OSError, ValueError, ssl.SSLError):
            pass

    def shutdown_request(self, request):
        try:
            request.close()
        except OSError:
            pass

    def handle_error(self, request, client_address):
        pass                                    # a broken connection is never news


def make_certificate(directory, hosts):
    cert = os.path.join(directory, "cert.pem")
    key = os.path.join(directory, "key.pem")
    names = ",".join(["DNS:localhost", "IP:127.0.0.1"] + ["DNS:" + h for h in hosts])
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=localhost",
         "-addext", "subjectAltName=" + names],
        check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def watch_stdin(stop):
    """Ends the server when stdin, if it is a pipe or a socket, reaches its end."""
    try:
        mode = os.fstat(0).st_mode
    except OSError:
        return
    if not (stat.S_ISFIFO(mode) or stat.S_ISSOCK(mode)):
        return

    def run():
        try:
            while os.read(0, 4096):
                pass
        except OSError:
            pass
        stop.set()

    threading.Thread(target=run, daemon=True).start()


def parse_args(argv):
    parser = argparse.ArgumentParser(description="Local fixture of the three search sites.")
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--tls", action="store_true")
    parser.add_argument("--tls-port", type=int, default=0)
    parser.add_argument("--hits", type=int, default=3)
    parser.add_argument("--site-host", action="append", default=[], metavar="N=HOST")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args(argv)
    hosts = {1: "engine1.example", 2: "engine2.example", 3: "engine3.example"}
    for item in args.site_host:
        number, equals, host = item.partition("=")
        if not equals or number not in ("1", "2", "3") or not host:
            parser.error("--site-host wants N=HOST with N 1, 2 or 3: %r" % item)
        hosts[int(number)] = host.lower()
    if args.hits < 0:
        parser.error("--hits must not be negative")
    return args, hosts


def main(argv):
    args, hosts = parse_args(argv)
    state = State(hosts, args.hits, args.verbose)
    signal.signal(signal.SIGTERM, lambda *_: state.stop.set())
    signal.signal(signal.SIGINT, lambda *_: state.stop.set())
    servers = [Server((args.bind, args.port), state)]
    lines = ["PORT %d" % servers[0].server_address[1]]
    running = []
    cert_dir = None
    try:
        if args.tls:
            cert_dir = tempfile.mkdtemp(prefix="fixture-sites-")
            context = make_certificate(cert_dir, hosts.values())
            servers.append(Server((args.bind, args.tls_port), state, context))
            lines.append("TLS_PORT %d" % servers[1].server_address[1])
        for server in servers:
            threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05},
                             daemon=True).start()
            running.append(server)
        sys.stdout.write("\n".join(lines) + "\n")
        sys.stdout.flush()
        watch_stdin(state.stop)
        while not state.stop.wait(0.5):
            pass
    finally:
        state.stop.set()
        for server in running:
            server.shutdown()
        for server in servers:
            server.server_close()
        if cert_dir:
            shutil.rmtree(cert_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
