#!/usr/bin/env python3
"""Checks that tools/fixture_sites.py serves pages of the shapes the site patterns expect.

The three page patterns below are the program's own, unchanged; Python's re with re.I | re.M,
where "." excludes only "\\n", finds what the program's engine finds on these pages. Each
test talks HTTP over raw sockets, so what is checked is what a client receives.
"""

import os
import re
import select
import socket
import ssl
import subprocess
import sys
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "..", "tools", "fixture_sites.py")

PATTERNS = {
    1: ' title="(.*?)" target=".*?<td class="files-size">(.*?)</td> <td class="convert-date">'
       '(.*?)</td> <td class="action"><a href="(.*?)" class="btn" title=".*?"',
    2: '<tr><td class="name">(.*?)</td><td class="size">(.*?)</td><td class="date">(.*?)</td>'
       '<td class="action"><a href="(.*?)" title=".*?"',
    3: 'target="_blank">(.*?)</a></dd></dt><dd><span><a href="(.*?)".*?'
       '创建时间&nbsp;:&nbsp;<b>(.*?)</b>.*?文件大小&nbsp;:&nbsp;<b>(.*?)</b>',
}
HOSTS = {1: "engine1.example", 2: "engine2.example", 3: "engine3.example"}
MAGNET = re.compile(r"magnet:\?xt=urn:btih:[0-9A-F]{40}")


def matches(site, page):
    return re.findall(PATTERNS[site], page, re.I | re.M)


def text_between(text, left, right):
    """The text between the first `left` and the first `right` after it, any ASCII case."""
    lower = text.lower()
    start = lower.find(left.lower())
    if start < 0:
        return ""
    start += len(left)
    end = lower.find(right.lower(), start)
    return text[start:end] if end >= 0 else ""


def start_server(*args):
    process = subprocess.Popen([sys.executable, SERVER, *args], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE)
    # Raw reads of the pipe: a buffered readline could swallow the second line unseen.
    seen = b""
    deadline = time.monotonic() + 10
    wanted = 2 if "--tls" in args else 1
    while seen.count(b"\n") < wanted:
        ready, _, _ = select.select([process.stdout], [], [], max(0, deadline - time.monotonic()))
        chunk = os.read(process.stdout.fileno(), 4096) if ready else b""
        if not chunk:
            stop_server(process)
            raise AssertionError("fixture server did not name its port within 10 s: %r" % seen)
        seen += chunk
    ports = {}
    for line in seen.decode().splitlines():
        name, _, value = line.partition(" ")
        ports[name] = int(value)
    return process, ports


def stop_server(process):
    process.terminate()
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
    process.stdin.close()
    process.stdout.close()


class Response:
    def __init__(self, raw):
        self.raw = raw
        head, _, self.body = raw.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        self.status = int(lines[0].split(" ")[1]) if lines[0].startswith("HTTP/") else 0
        self.head = head
        self.headers = [line.partition(":")[::2] for line in lines[1:]]

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value.strip()
        return None

    @property
    def text(self):
        return self.body.decode("utf-8", "replace")


class FixtureSitesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.process, ports = start_server()
        cls.port = ports["PORT"]

    @classmethod
    def tearDownClass(cls):
        stop_server(cls.process)

    def setUp(self):
        self.control("/__fixture/reset")

    # -- helpers

    def connect(self, timeout=5):
        return socket.create_connection(("127.0.0.1", self.port), timeout=timeout)

    def send(self, data, timeout=5):
        """Sends raw bytes, returns everything read until the server closes."""
        with self.connect(timeout) as sock:
            sock.sendall(data)
            chunks = []
            while True:
                chunk = sock.recv(65536)
                if not chunk:
                    return b"".join(chunks)
                chunks.append(chunk)

    def fetch(self, target, method="GET", body=None, host="127.0.0.1", headers=()):
        head = "%s %s HTTP/1.1\r\nHost: %s\r\n" % (method, target, host)
        head += "".join(line + "\r\n" for line in headers)
        if body is not None:
            head += "Content-Length: %d\r\n" % len(body)
        head += "Connection: close\r\n\r\n"
        return Response(self.send(head.encode("utf-8") + (body or b"")))

    def site(self, site, path, body=None):
        """A site page as a client behind a proxy asks for it (absolute form)."""
        method = "POST" if site == 3 else "GET"
        return self.fetch("http://%s%s" % (HOSTS[site], path), method, body, HOSTS[site])

    def control(self, target):
        response = self.fetch(target, "POST", b"")
        self.assertEqual(response.status, 200, target)
        return response

    def records(self):
        data = self.fetch("/__fixture/requests").body
        out = []
        while data:
            sizes, _, data = data.partition(b"\n")
            head_length, body_length = map(int, sizes.split(b" "))
            out.append((data[:head_length], data[head_length:head_length + body_length]))
            data = data[head_length + body_length:]
        return out

    def site3_key(self, encoded_keyword):
        front = self.site(3, "/", b"keyword=" + encoded_keyword)
        self.assertEqual(front.status, 200)
        return text_between(front.text, "/search/", "/1/0.html")

    # -- site pages

    def test_search_pages_of_sites_1_and_2_match_their_patterns_in_order(self):
        cases = [
            # (keyword as typed, what the name column shows)
            ("测试", "测试"),
            ("a b", "a b"),
            ('x"<y', "x&quot;&lt;y"),          # escaped, so the row still matches whole
            ("line\nbreak", "line&#10;break"),  # a line feed would split the row
            ("", ""),
        ]
        for site, path in ((1, "/search/%s/currentPage/2"), (2, "/search/%s/2")):
            for keyword, shown in cases:
                encoded = "".join("%%%02X" % b for b in keyword.encode("utf-8"))
                with self.subTest(site=site, keyword=keyword):
                    response = self.site(site, path % encoded)
                    self.assertEqual(response.status, 200)
                    self.assertIn("charset=utf-8", response.header("Content-Type"))
                    found = matches(site, response.text)
                    self.assertEqual([m[0] for m in found],
                                     ["%s 第2页 第%d条" % (shown, i) for i in (1, 2, 3)])
                    self.assertEqual([m[1:3] for m in found],
                                     [("1.%d GB" % i, "2026-12-0%d" % i) for i in (1, 2, 3)])
                    links = [m[3] for m in found]
                    if site == 1:
                        shape = r"http://engine1\.example/detail/[0-9A-F]{40}\.html"
                    else:
                        shape = r"detail/[0-9A-F]{40}\.html"
                    for link in links:
                        self.assertRegex(link, "^%s$" % shape)
                    self.assertEqual(len(set(links)), 3)
                    # Same request, same page; another page, other hashes.
                    self.assertEqual(self.site(site, path % encoded).body, response.body)
        self.assertNotEqual(matches(1, self.site(1, "/search/%61/currentPage/1").text)[0][3],
                            matches(1, self.site(1, "/search/%61/currentPage/2").text)[0][3])

    def test_site_3_front_page_key_and_result_rows(self):
        key = self.site3_key(b"%E6%B5%8B%E8%AF%95")
        self.assertRegex(key, "^[0-9a-f]{8}$")
        self.assertEqual(self.site3_key(b"%E6%B5%8B%E8%AF%95"), key)
        page = self.site(3, "/search/%s/2/0.html" % key, b"keyword=%E6%B5%8B%E8%AF%95")
        found = matches(3, page.text)
        self.assertEqual(found, [
            ("测试 第2页 第%d条" % i, found[i - 1][1], "2026-12-0%d" % i, "1.%d GB" % i)
            for i in (1, 2, 3)])
        for _, magnet, _, _ in found:
            self.assertRegex(magnet, "^%s$" % MAGNET.pattern)
        # A key the server never gave out, or none at all: a valid page without hits.
        for path in ("/search/0badc0de/1/0.html", "/search//1/0.html"):
            with self.subTest(path=path):
                response = self.site(3, path, b"keyword=%61")
                self.assertEqual(response.status, 200)
                self.assertIn("</html>", response.text)
                self.assertEqual(matches(3, response.text), [])

    def test_detail_pages_hold_the_address_between_the_markers(self):
        for site, left in ((1, "readonly>"), (2, 'this.select()">')):
            found = matches(site, self.site(site, "/search/%61/1").text if site == 2 else
                            self.site(site, "/search/%61/currentPage/1").text)
            link = found[0][3]
            path = urllib.parse.urlsplit(link).path if site == 1 else "/" + link
            with self.subTest(site=site):
                page = self.site(site, path)
                self.assertEqual(page.status, 200)
                digest = path[len("/detail/"):-len(".html")]
                self.assertEqual(text_between(page.text, left, "</textarea>"),
                                 "magnet:?xt=urn:btih:" + digest)

    def test_origin_form_with_a_site_host_answers_as_the_proxy_form(self):
        absolute = self.site(2, "/search/%61/1")
        for host in ("engine2.example", "ENGINE2.example:80"):
            with self.subTest(host=host):
                self.assertEqual(self.fetch("/search/%61/1", host=host).body, absolute.body)
        # Any other host gets the origin endpoints, in either form.
        self.assertEqual(self.fetch("http://127.0.0.1:%d/echo" % self.port).status, 200)
        self.assertEqual(self.fetch("/search/%61/1").status, 404)

    def test_unknown_paths_under_a_site_host_are_404(self):
        for path in ("/", "/search/%61/currentPage/x", "/detail/123.html", "//detail/%s.html"
                     % ("A" * 40)):
            with self.subTest(path=path):
                self.assertEqual(self.site(1, path).status, 404)

    # -- records and control

    def test_records_keep_the_request_bytes_and_skip_control_calls(self):
        head = (b"POST http://engine3.example/ HTTP/1.1\r\nHost: engine3.example\r\n"
                b"x-Odd:   spaced \r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n")
        self.assertEqual(Response(self.send(head + b"4\r\nkeyw\r\n7;x=1\r\nord=%61\r\n0\r\n\r\n"))
                         .status, 200)
        self.fetch("/echo", headers=["Accept: */*"])
        self.control("/__fixture/mode?site=1&mode=normal")
        records = self.records()
        self.assertEqual(len(records), 2)
        self.assertEqual(records[0], (head, b"keyword=%61"))
        self.assertEqual(records[1][0], b"GET /echo HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                        b"Accept: */*\r\nConnection: close\r\n\r\n")
        self.control("/__fixture/reset")
        self.assertEqual(self.records(), [])

    def test_modes_switch_and_reset(self):
        self.control("/__fixture/mode?site=1&mode=normal&hits=5")
        self.assertEqual(len(matches(1, self.site(1, "/search/%61/currentPage/1").text)), 5)
        self.control("/__fixture/mode?site=1&mode=slow&delay_ms=10")   # hits kept
        self.assertEqual(len(matches(1, self.site(1, "/search/%61/currentPage/1").text)), 5)
        self.control("/__fixture/mode?site=2&mode=foreign")
        foreign = self.site(2, "/search/%61/1")
        self.assertEqual((foreign.status, matches(2, foreign.text)), (200, []))
        self.assertNotIn("this.select()", self.site(2, "/detail/%s.html" % ("A" * 40)).text)
        self.assertEqual(len(matches(1, self.site(1, "/search/%61/currentPage/1").text)), 5)

        self.control("/__fixture/mode?site=3&mode=nomarker")
        self.assertEqual(self.site3_key(b"%61"), "")
        self.control("/__fixture/mode?site=1&mode=nomarker")
        self.assertEqual(text_between(self.site(1, "/detail/%s.html" % ("B" * 40)).text,
                                      "readonly>", "</textarea>"), "")

        self.control("/__fixture/reset")
        self.assertEqual(len(matches(1, self.site(1, "/search/%61/currentPage/1").text)), 3)
        self.assertEqual(len(matches(2, self.site(2, "/search/%61/1").text)), 3)
        self.assertRegex(self.site3_key(b"%61"), "^[0-9a-f]{8}$")
        # The control endpoints answer on any host, also through the proxy form.
        self.assertEqual(self.fetch("http://engine2.example/__fixture/mode?site=2&mode=zeros",
                                    "POST", b"", "engine2.example").status, 200)
        self.assertIn(b"\x00", self.site(2, "/search/%61/1").body)

        for bad in ("site=4&mode=normal", "site=1&mode=sideways", "site=1&mode=slow&hits=x"):
            with self.subTest(bad=bad):
                self.assertEqual(self.fetch("/__fixture/mode?" + bad, "POST", b"").status, 400)

    def test_hostile_site_modes_spoil_the_page_the_site_would_send(self):
        self.control("/__fixture/mode?site=1&mode=badutf8")
        page = self.site(1, "/search/%61/currentPage/1")
        with self.assertRaises(UnicodeDecodeError):
            page.body.decode("utf-8")
        self.assertEqual(len(matches(1, page.text)), 3)
        self.control("/__fixture/mode?site=2&mode=page1mib")
        page = self.site(2, "/search/%61/1")
        self.assertEqual(len(page.body), 1024 * 1024)
        self.assertGreater(len(matches(2, page.text)), 1000)
        self.control("/__fixture/mode?site=3&mode=redirectloop")
        page = self.site(3, "/", b"keyword=%61")
        self.assertEqual((page.status, page.header("Location")), (302, "http://engine3.example/"))

    # -- origin endpoints

    def test_raw_answers_exactly_what_was_asked(self):
        response = self.fetch("/raw?status=201&header=X-A:%201&header=Set-Cookie:%20a=1;%20path=/"
                              "&body=%E4%B8%AD%00z")
        self.assertEqual(response.raw, b"HTTP/1.1 201 Created\r\nX-A: 1\r\nSet-Cookie: a=1; "
                                       b"path=/\r\nContent-Length: 5\r\n\r\n\xe4\xb8\xad\x00z")
        self.assertEqual(self.fetch("/raw?noheaders=1&body=just%20this").raw, b"just this")
        chunked = self.fetch("/raw?header=Transfer-Encoding:%20chunked&body=3%0D%0Aabc%0D%0A0"
                             "%0D%0A%0D%0A")
        self.assertEqual(chunked.raw, b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                      b"3\r\nabc\r\n0\r\n\r\n")

    def test_hostile_answers_that_come_whole(self):
        cases = {
            "redirectloop": lambda r: self.assertEqual(
                (r.status, r.header("Location")), (302, "/hostile/redirectloop?x=1")),
            "redirectfile": lambda r: self.assertEqual(
                (r.status, r.header("Location")), (302, "file:///etc/passwd")),
            "bigheader": lambda r: (self.assertGreater(len(r.head), 5000),
                                    self.assertEqual(len(matches(1, r.text)), 3)),
            "zeros": lambda r: self.assertIn(b"\x00", r.body),
            "badutf8": lambda r: self.assertRaises(UnicodeDecodeError, r.body.decode, "utf-8"),
            "page1mib": lambda r: (self.assertEqual(len(r.body), 1024 * 1024),
                                   self.assertGreater(len(matches(1, r.text)), 1000)),
            "badchunk": lambda r: (self.assertEqual(r.header("Transfer-Encoding"), "chunked"),
                                   self.assertIn(b"\r\nzz-not-a-chunk-size\r\n", r.body)),
        }
        for mode, check in cases.items():
            with self.subTest(mode=mode):
                check(self.fetch("/hostile/%s?x=1" % mode))

    def test_backtrack_page_has_openers_and_no_match_on_one_line(self):
        page = self.fetch("/hostile/backtrack?size=1500").text
        self.assertEqual(len(page.encode("utf-8")), 1500)
        long_line = max(page.split("\n"), key=len)
        self.assertGreater(len(long_line), 1400)
        for site, opener in ((1, ' title="'), (2, '<tr><td class="name">'),
                             (3, 'target="_blank">')):
            self.assertGreater(long_line.count(opener), 3)
            self.assertEqual(matches(site, page), [], site)

    def test_streams_silence_drip_and_reset(self):
        # silent: the request is taken, no byte ever comes back, and other clients are served
        # meanwhile.
        with self.connect(timeout=0.5) as sock:
            sock.sendall(b"GET /hostile/silent HTTP/1.1\r\nHost: x\r\n\r\n")
            self.assertEqual(self.fetch("/echo").status, 200)
            with self.assertRaises(socket.timeout):
                sock.recv(1)
        # drip: the head, then the body a byte at a time: the first bytes come while most of
        # the announced body is still missing and the connection stays open.
        with self.connect() as sock:
            sock.sendall(b"GET /hostile/drip?delay_ms=20 HTTP/1.1\r\nHost: x\r\n\r\n")
            received = self.receive_at_least(sock, 3, after_head=True)
            response = Response(received)
            self.assertGreaterEqual(len(response.body), 3)
            self.assertLess(len(response.body), int(response.header("Content-Length")) // 2)
        # reset: half the announced body, then a reset instead of the rest.
        with self.connect() as sock:
            sock.sendall(b"GET /hostile/reset HTTP/1.1\r\nHost: x\r\n\r\n")
            received = b""
            with self.assertRaises(ConnectionResetError):
                while True:
                    chunk = sock.recv(65536)
                    if not chunk:
                        break
                    received += chunk
            announced = int(Response(received).header("Content-Length"))
            self.assertLess(len(Response(received).body), announced)
        # huge and bigdetail: announced in full, generated while sending, so the server's
        # memory stays far below the body's size.
        for mode, size in (("huge", 100 * 1024 * 1024), ("bigdetail", 50 * 1024 * 1024)):
            with self.subTest(mode=mode), self.connect() as sock:
                sock.sendall(b"GET /hostile/%s HTTP/1.1\r\nHost: x\r\n\r\n" % mode.encode())
                received = self.receive_at_least(sock, 4 * 1024 * 1024)
                self.assertEqual(Response(received).header("Content-Length"), str(size))
                self.assertNotIn(b"readonly>", received)
                self.assertLess(self.server_memory(), 80 * 1024 * 1024)
        self.assertEqual(self.fetch("/echo").status, 200)

    def receive_at_least(self, sock, count, after_head=False):
        """Reads until `count` bytes (counted after the head when after_head) have come."""
        received = b""
        while True:
            head_end = received.find(b"\r\n\r\n")
            have = len(received) - (head_end + 4) if after_head else len(received)
            if (head_end >= 0 or not after_head) and have >= count:
                return received
            chunk = sock.recv(1 << 20)
            self.assertTrue(chunk, "the server closed early after %d bytes" % len(received))
            received += chunk

    def server_memory(self):
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) * 1024
        return 0

    def test_malformed_requests_never_stop_the_server(self):
        cases = [
            (b"garbage\r\n\r\n", 400),                                   # no method/target
            (b"GET /echo HTTP/1.1\r\nContent-Length: zz\r\n\r\n", 400),  # bad length
            (b"GET /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 400),
            (b"GET /" + b"a" * 70000 + b" HTTP/1.1\r\n\r\n", 431),        # endless line
            (b"CONNECT engine1.example:443 HTTP/1.1\r\n\r\n", 405),      # no tunnels
            (b"GET http://[bad/ HTTP/1.1\r\n\r\n", 400),                 # unparsable URL
            (b"GET /echo HTTP/1.1\r\nHost: x\r\n", 0),                   # head never ends
            (b"", 0),                                                    # connect, leave
        ]
        for data, status in cases:
            with self.subTest(data=data[:40]):
                with self.connect() as sock:
                    sock.sendall(data)
                    sock.shutdown(socket.SHUT_WR)
                    answer = b""
                    while True:
                        chunk = sock.recv(65536)
                        if not chunk:
                            break
                        answer += chunk
                self.assertEqual(Response(answer).status if answer else 0, status)
        self.assertEqual(self.fetch("/echo").status, 200)


class LifecycleTest(unittest.TestCase):
    def test_tls_listener_has_a_self_signed_certificate(self):
        process, ports = start_server("--tls")
        try:
            self.assertIn("TLS_PORT", ports)
            address = ("127.0.0.1", ports["TLS_PORT"])
            with self.assertRaises(ssl.SSLCertVerificationError):
                with socket.create_connection(address, timeout=5) as raw:
                    ssl.create_default_context().wrap_socket(raw, server_hostname="localhost")
            context = ssl.create_default_context()
            context.check_hostname = False
            context.verify_mode = ssl.CERT_NONE
            with socket.create_connection(address, timeout=5) as raw:
                with context.wrap_socket(raw, server_hostname="localhost") as sock:
                    sock.sendall(b"GET /echo HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                    self.assertTrue(sock.recv(100).startswith(b"HTTP/1.1 200 "))
        finally:
            stop_server(process)

    def test_server_ends_when_its_stdin_closes(self):
        process, _ = start_server()
        process.stdin.close()
        try:
            self.assertEqual(process.wait(5), 0)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdout.close()


if __name__ == "__main__":
    unittest.main()
