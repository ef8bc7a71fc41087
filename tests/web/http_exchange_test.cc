// The request routine on the wire: every test talks to the fixture sites on 127.0.0.1 and
// checks what the server recorded byte for byte, or what came back from a response the
// server was told to give.
#include "web/http_exchange.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/fixture_sites.h"
#include "text/code_page.h"
#include "web/transport.h"

namespace trawler {
namespace {

using test::FixtureSites;

const std::string kAgent(DefaultUserAgent);

// The four lines a request with no extra headers sends.
std::string DefaultBlock(std::string_view url) {
  return "Referer: " + std::string(url) +
         "\r\nAccept: */*\r\nAccept-Language: zh-cn"
         "\r\nContent-Type: application/x-www-form-urlencoded";
}

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (previous_) {
      setenv(name_, previous_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

// A port on 127.0.0.1 that nothing listens on: bound once by us, then closed.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// Collects the transport's reports of this thread.
struct Reports {
  std::vector<TransportReport> all;
  ScopedExchangeObserver observer{[this](const TransportReport& r) { all.push_back(r); }};
  const TransportReport& Last() const { return all.back(); }
};

// Percent-encodes a header line or body for the /raw endpoint's query.
std::string Q(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '.' || b == '/' || b == '_') {
      out += ch;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

class HttpExchangeTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Requests that run in proxy mode read the environment; a proxy of the machine the
    // tests run on must not take the loopback traffic.
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "HTTPS_PROXY",
                             "no_proxy", "NO_PROXY"}) {
      unsetenv(name);
    }
    FixtureSites::Options options;
    options.tls = true;
    sites_ = new FixtureSites(options);
  }
  static void TearDownTestSuite() {
    delete sites_;
    sites_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(sites_->ok());
    sites_->Reset();
  }

  std::string Url(std::string_view path) const { return sites_->Url(path); }
  std::string HostLine() const {
    return "Host: 127.0.0.1:" + std::to_string(sites_->port()) + "\r\n";
  }
  // The one request the server recorded since the last reset.
  test::RecordedRequest OnlyRequest() const {
    const std::vector<test::RecordedRequest> requests = sites_->Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? test::RecordedRequest{} : requests.front();
  }

  static FixtureSites* sites_;
};

FixtureSites* HttpExchangeTest::sites_ = nullptr;

TEST_F(HttpExchangeTest, UrlAloneSendsTheFourLineBlockAndNothingElse) {
  const std::string url = Url("/p?q=1");
  Text sent;
  const Text page = FetchPageText(url, std::nullopt, std::nullopt, nullptr, nullptr, &sent);
  EXPECT_FALSE(page.empty());

  // Referer line with the url, then the three fixed lines: 95 bytes plus the url.
  EXPECT_EQ(sent, DefaultBlock(url));
  EXPECT_EQ(sent.size(), 95 + url.size());
  // On the wire: Host and User-Agent from the transport, the block line by line; no
  // Cookie, Expect, Accept-Encoding or any other line of libcurl's own.
  EXPECT_EQ(OnlyRequest().head, "GET /p?q=1 HTTP/1.1\r\n" + HostLine() + "User-Agent: " + kAgent +
                                    "\r\n" + DefaultBlock(url) + "\r\n\r\n");
}

TEST_F(HttpExchangeTest, ThePostOfSiteThreeSendsElevenBytes) {
  const std::string url = Url("/echo");
  EXPECT_EQ(FetchPageText(url, 1, Text("keyword=abc")), "echo\n");
  const test::RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.head, "POST /echo HTTP/1.1\r\n" + HostLine() + "User-Agent: " + kAgent +
                              "\r\n" + DefaultBlock(url) + "\r\nContent-Length: 11\r\n\r\n");
  EXPECT_EQ(request.body, "keyword=abc");
}

TEST_F(HttpExchangeTest, BodyArgumentsDecideWhatIsSent) {
  struct Case {
    const char* why;
    int method;
    std::optional<Text> bodyText;
    std::optional<Bytes> bodyBytes;  // nullopt: the argument is not given
    std::string verb;
    std::optional<std::string> sentBody;  // nullopt: no body, no Content-Length
    std::optional<Bytes> bodyBytesAfter;
  };
  const std::vector<Case> cases = {
      {"bodyText fills an empty bodyBytes", 1, Text("keyword=abc"), Bytes(), "POST", "keyword=abc",
       Bytes("keyword=abc")},
      {"a non-empty bodyBytes wins over bodyText", 1, Text("keyword=abc"), Bytes("x=\0y", 3),
       "POST", std::string("x=\0y", 3), Bytes("x=\0y", 3)},
      {"method 0 sends no body whatever the arguments hold", 0, Text("keyword=abc"), Bytes("b"),
       "GET", std::nullopt, Bytes("b")},
      {"any other non-zero method is a GET with a body", 2, Text("k=v"), std::nullopt, "GET", "k=v",
       std::nullopt},
      {"POST with nothing to send has an empty body", 1, std::nullopt, Bytes(), "POST", "",
       Bytes()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    sites_->Reset();
    std::optional<Bytes> bodyBytes = c.bodyBytes;
    HttpExchange(Url("/echo"), c.method, c.bodyText, nullptr, nullptr, nullptr, nullptr,
                 std::nullopt, bodyBytes ? &*bodyBytes : nullptr);
    const test::RecordedRequest request = OnlyRequest();
    EXPECT_TRUE(request.head.starts_with(c.verb + " /echo HTTP/1.1\r\n")) << request.head;
    if (c.sentBody) {
      EXPECT_EQ(request.body, *c.sentBody);
      EXPECT_NE(
          request.head.find("\r\nContent-Length: " + std::to_string(c.sentBody->size()) + "\r\n"),
          std::string::npos)
          << request.head;
    } else {
      EXPECT_EQ(request.body, "");
      EXPECT_EQ(request.head.find("Content-Length"), std::string::npos) << request.head;
    }
    EXPECT_EQ(bodyBytes, c.bodyBytesAfter);
  }
}

TEST_F(HttpExchangeTest, ExtraHeadersAreCompletedLineByLine) {
  const std::string url = Url("/echo");
  const std::string tail =
      "\r\nAccept: */*\r\nAccept-Language: zh-cn"
      "\r\nContent-Type: application/x-www-form-urlencoded";
  struct Case {
    std::string extra;
    std::string cookies;
    std::string block;    // the block sent and handed back
    bool transportAgent;  // whether the transport adds "User-Agent: <default>"
  };
  const std::vector<Case> cases = {
      {"Referer: x", "", "Referer: x" + tail, true},
      // The presence tests match case: a lower-case referer gets a second Referer line.
      {"referer: x", "", "referer: x\r\nReferer: " + url + tail, true},
      {"X-A: 1", "", "X-A: 1\r\nReferer: " + url + tail, true},
      // A User-Agent line, in any case, is the agent and is sent as it stands, once.
      {"User-Agent: Foo", "", "User-Agent: Foo\r\nReferer: " + url + tail, false},
      {"user-agent: Foo", "", "user-agent: Foo\r\nReferer: " + url + tail, false},
      {"", "a=1", DefaultBlock(url) + "\r\nCookie: a=1", true},
      // Caller's Accept and Content-Type lines replace the defaults, and libcurl's own.
      {"Accept: text/html\r\nContent-Type: text/plain", "",
       "Accept: text/html\r\nContent-Type: text/plain\r\nReferer: " + url +
           "\r\nAccept-Language: zh-cn",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra + " / cookies " + c.cookies);
    sites_->Reset();
    Text extra = c.extra;
    Text cookies = c.cookies;
    HttpExchange(url, 0, std::nullopt, &cookies, nullptr, &extra);
    EXPECT_EQ(extra, c.block);
    const std::string agentLine = c.transportAgent ? "User-Agent: " + kAgent + "\r\n" : "";
    EXPECT_EQ(OnlyRequest().head,
              "GET /echo HTTP/1.1\r\n" + HostLine() + agentLine + c.block + "\r\n\r\n");
  }
}

TEST(RequestAgentTest, ChoosesTheAgentFromTheExtraHeaders) {
  struct Case {
    std::string extra;
    std::string agent;
  };
  const std::vector<Case> cases = {
      {"", kAgent},
      {"X-A: 1", kAgent},
      {"User-Agent: Foo", "Foo"},
      {"USER-AGENT:  Foo Bar ", "Foo Bar"},
      {"User-Agent: Foo\r\nX-A: 1", "Foo"},
      // The User-Agent line is the last of several: its own value, not the first line's.
      {"X-A: 1\r\nUser-Agent: Foo", "Foo"},
      // A blank value gives the default agent rather than some other line's text.
      {"User-Agent: \r\nX-A: 1", kAgent},
      {"X-A: 1\r\nUser-Agent:", kAgent},
      {"User-Agent:", kAgent},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RequestAgent(c.extra), c.agent) << "extra headers: " << c.extra;
  }
}

TEST(RequestFlagsTest, FlagsFollowSchemeAndNoRedirect) {
  struct Case {
    std::string url;
    int noRedirect;
    std::uint32_t flags;
  };
  const std::vector<Case> cases = {
      {"http://a.b/p?q=1", 0, 0x80084010}, {"https://a.b/", 0, 0x80880010},
      {"HTTPS://a.b/", 0, 0x80880010},     {"http://a.b/", 1, 0x80284010},
      {"https://a.b/", -1, 0x80A80010},    {"a.b/x", 0, 0x80084010},  // no scheme: http
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RequestFlags(c.url, c.noRedirect), c.flags) << c.url << " " << c.noRedirect;
  }
}

TEST_F(HttpExchangeTest, ResponseHeadersGiveLocationAndCookies) {
  struct Case {
    const char* why;
    std::vector<std::string> headers;
    std::string cookiesIn;
    std::string responseIn;
    std::string received;
    std::string cookies;
    std::optional<std::string> response;  // nullopt: the raw header block
  };
  const std::vector<Case> cases = {
      {"two cookies, each with attributes",
       {"Set-Cookie: a=1; path=/", "Set-Cookie: b=2; path=/"},
       "",
       "",
       "a=1;b=2",
       "a=1; b=2",
       std::nullopt},
      {"a cookie without ';' is not taken over", {"Set-Cookie: c=3"}, "", "", "", "", std::nullopt},
      {"sent cookies survive a response that sets none", {}, "a=1", "", "", "a=1", std::nullopt},
      {"received cookies replace sent ones, deleted ones go",
       {"Set-Cookie: b=3; path=/", "Set-Cookie: c=deleted; path=/"},
       "a=1; b=2",
       "",
       "b=3;c=deleted",
       "b=3; a=1",
       std::nullopt},
      {"Location gives responseHeaders", {"Location: /next"}, "", "", "", "", "/next"},
      {"Content-Location counts as a Location line",
       {"Content-Location: /c"},
       "",
       "",
       "",
       "",
       "/c"},
      {"the last Location line wins",
       {"Location: /1", "Content-Location: /2"},
       "",
       "",
       "",
       "",
       "/2"},
      {"a caller's responseHeaders stays without a Location line", {}, "", "keep", "", "", "keep"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::string path = "/raw?status=200&body=ok";
    for (const std::string& header : c.headers) path += "&header=" + Q(header);
    Text cookies = c.cookiesIn;
    Text received = "stale";
    Text response = c.responseIn;
    Text raw;
    EXPECT_EQ(HttpExchange(Url(path), 0, std::nullopt, &cookies, &received, nullptr, &response,
                           std::nullopt, nullptr, std::nullopt, &raw),
              "ok");
    EXPECT_TRUE(raw.starts_with("HTTP/1.1 200")) << raw;
    EXPECT_TRUE(raw.ends_with("\r\n\r\n")) << raw;
    for (const std::string& header : c.headers) {
      EXPECT_NE(raw.find("\r\n" + header + "\r\n"), std::string::npos) << raw;
    }
    EXPECT_EQ(received, c.received);
    EXPECT_EQ(cookies, c.cookies);
    EXPECT_EQ(response, c.response.value_or(raw));
  }
}

TEST_F(HttpExchangeTest, RedirectsAreFollowedUnlessNoRedirect) {
  const std::string path = "/raw?status=302&header=" + Q("Location: /echo") + "&body=moved";
  Text response;
  Text raw;
  EXPECT_EQ(HttpExchange(Url(path), 0, std::nullopt, nullptr, nullptr, nullptr, &response,
                         std::nullopt, nullptr, std::nullopt, &raw),
            "echo\n");
  EXPECT_TRUE(raw.starts_with("HTTP/1.1 200")) << "the final response's block: " << raw;
  EXPECT_EQ(response, raw);
  ASSERT_EQ(sites_->Requests().size(), 2u);
  EXPECT_TRUE(sites_->Requests()[1].head.starts_with("GET /echo HTTP/1.1\r\n"));

  sites_->Reset();
  response.clear();
  EXPECT_EQ(HttpExchange(Url(path), 0, std::nullopt, nullptr, nullptr, nullptr, &response, 1,
                         nullptr, std::nullopt, &raw),
            "moved");
  EXPECT_EQ(response, "/echo");
  EXPECT_TRUE(raw.starts_with("HTTP/1.1 302")) << raw;
  EXPECT_EQ(sites_->Requests().size(), 1u);
}

// The raw header block is read into a 5000-byte buffer with its terminating zero: a block
// of 4999 bytes comes back, one of 5000 leaves the text at 5000 spaces, and so does a
// response without any header block.
TEST_F(HttpExchangeTest, RawHeaderBlockFitsInFiveThousandBytesOrIsSpaces) {
  auto fetch = [&](std::size_t pad, Text& raw, Text& response) {
    const std::string path =
        "/raw?status=200&body=ok&header=" + Q("X-Pad: " + std::string(pad, 'p')) +
        "&header=" + Q("Set-Cookie: a=1; path=/");
    Text cookies;
    response.clear();
    return HttpExchange(Url(path), 0, std::nullopt, &cookies, nullptr, nullptr, &response,
                        std::nullopt, nullptr, std::nullopt, &raw);
  };
  Text raw;
  Text response;
  fetch(0, raw, response);
  const std::size_t base = raw.size();
  ASSERT_LT(base, 4999u);

  fetch(4999 - base, raw, response);
  EXPECT_EQ(raw.size(), 4999u);
  EXPECT_TRUE(raw.ends_with("\r\n\r\n"));
  EXPECT_EQ(response, raw);

  const std::string spaces(5000, ' ');
  Text cookies = "z=9";
  Text received = "stale";
  const std::string path =
      "/raw?status=200&body=ok&header=" + Q("X-Pad: " + std::string(5000 - base, 'p')) +
      "&header=" + Q("Set-Cookie: a=1; path=/");
  response.clear();
  EXPECT_EQ(HttpExchange(Url(path), 0, std::nullopt, &cookies, &received, nullptr, &response,
                         std::nullopt, nullptr, std::nullopt, &raw),
            "ok");
  EXPECT_EQ(raw, spaces);
  EXPECT_EQ(response, spaces);
  EXPECT_EQ(received, "") << "no cookie is found in a block that did not fit";
  EXPECT_EQ(cookies, "z=9");

  // An answer with no status line and no headers: the body arrives, the header text stays
  // 5000 spaces.
  response.clear();
  EXPECT_EQ(HttpExchange(Url("/raw?noheaders=1&body=plain"), 0, std::nullopt, nullptr, nullptr,
                         nullptr, &response, std::nullopt, nullptr, std::nullopt, &raw),
            "plain");
  EXPECT_EQ(raw, spaces);
  EXPECT_EQ(response, spaces);
}

// Set-up failures change no argument; failures of the transfer itself leave a completed
// exchange with an empty body. Neither throws, and the report says what happened.
TEST_F(HttpExchangeTest, FailuresGiveAnEmptyBody) {
  struct Case {
    const char* why;
    std::string url;
    bool argumentsUntouched;
    TransportOutcome outcome;
    std::string reportedUrl;
  };
  const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
  const std::vector<Case> cases = {
      {"nothing listens on the port", closed, false, TransportOutcome::kCouldNotConnect, closed},
      {"a name that never resolves", "http://nonexistent.invalid/x", false,
       TransportOutcome::kCouldNotResolve, "http://nonexistent.invalid:80/x"},
      {"https without a port goes to 443", "https://Nonexistent.Invalid/x", false,
       TransportOutcome::kCouldNotResolve, "https://nonexistent.invalid:443/x"},
      {"an empty url has no host", "", true, TransportOutcome::kBadHost, ""},
      {"a query right after the host stays in the host", "http://a.b?q=1", true,
       TransportOutcome::kBadHost, ""},
      {"user info is not a host", "http://u@127.0.0.1/", true, TransportOutcome::kBadHost, ""},
      {"a port beyond 65535", "http://127.0.0.1:70000/", true, TransportOutcome::kBadHost, ""},
      {"a space in the path", "http://127.0.0.1/a b", true, TransportOutcome::kBadRequest,
       "http://127.0.0.1:80/a b"},
      {"a line break in the path", "http://127.0.0.1/a\r\nX: 1", true,
       TransportOutcome::kBadRequest, "http://127.0.0.1:80/a\r\nX: 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Reports reports;
    Text cookies = "a=1";
    Text received = "r";
    Text extra = "X-A: 1";
    Text response = "resp";
    Bytes bodyBytes;
    Text raw = "raw";
    EXPECT_EQ(HttpExchange(c.url, 1, Text("k=v"), &cookies, &received, &extra, &response, 0,
                           &bodyBytes, Text(), &raw),
              "");
    if (c.argumentsUntouched) {
      EXPECT_EQ(cookies, "a=1");
      EXPECT_EQ(received, "r");
      EXPECT_EQ(extra, "X-A: 1");
      EXPECT_EQ(response, "resp");
      EXPECT_EQ(bodyBytes, "");
      EXPECT_EQ(raw, "raw");
    } else {
      EXPECT_EQ(extra, "X-A: 1\r\nReferer: " + c.url +
                           "\r\nAccept: */*\r\nAccept-Language: zh-cn"
                           "\r\nContent-Type: application/x-www-form-urlencoded\r\nCookie: a=1");
      EXPECT_EQ(bodyBytes, "k=v");
      EXPECT_EQ(raw, std::string(5000, ' '));
      EXPECT_EQ(response, "resp") << "a caller's text stays when no Location was read";
      EXPECT_EQ(received, "");
      EXPECT_EQ(cookies, "a=1");
    }
    ASSERT_EQ(reports.all.size(), 1u);
    EXPECT_EQ(reports.Last().outcome, c.outcome) << OutcomeName(reports.Last().outcome);
    EXPECT_EQ(reports.Last().url, c.reportedUrl);
    EXPECT_EQ(FetchPageText(c.url), "");
  }
}

TEST_F(HttpExchangeTest, SelfSignedCertificateIsRefused) {
  Reports reports;
  const std::string url = "https://127.0.0.1:" + std::to_string(sites_->tlsPort()) + "/echo";
  Text raw;
  EXPECT_EQ(HttpExchange(url, 0, std::nullopt, nullptr, nullptr, nullptr, nullptr, std::nullopt,
                         nullptr, std::nullopt, &raw),
            "");
  EXPECT_EQ(raw, std::string(5000, ' '));
  EXPECT_EQ(reports.Last().outcome, TransportOutcome::kFailed);
  EXPECT_NE(reports.Last().errorText.find("certificate"), std::string::npos)
      << reports.Last().errorText;
  EXPECT_TRUE(sites_->Requests().empty()) << "nothing is sent over an unverified connection";
  // The proxy text names a proxy for http only: an https request goes direct and is refused
  // in the same way.
  EXPECT_EQ(FetchPageText(url, 0, std::nullopt, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                          sites_->ProxyUrl()),
            "");
  EXPECT_TRUE(sites_->Requests().empty());
}

TEST_F(HttpExchangeTest, ProxyModes) {
  const std::string origin = Url("/echo");
  const std::string nowhere = "http://127.0.0.1:" + std::to_string(ClosedPort());
  {
    // FetchPageText always runs in proxy mode with an empty list: http_proxy decides.
    ScopedEnv proxy("http_proxy", sites_->ProxyUrl().c_str());
    Text sent;
    const Text page =
        FetchPageText("http://a.b/p?q=1", std::nullopt, std::nullopt, nullptr, nullptr, &sent);
    EXPECT_EQ(sent.size(), 111u) << sent;
    EXPECT_EQ(OnlyRequest().head,
              "GET http://a.b/p?q=1 HTTP/1.1\r\nHost: a.b\r\nUser-Agent: " + kAgent + "\r\n" +
                  DefaultBlock("http://a.b/p?q=1") + "\r\n\r\n");

    // The fixture answers for the site hosts as their proxy.
    sites_->Reset();
    const std::string site = "http://engine1.example/search/abc/currentPage/1";
    EXPECT_NE(FetchPageText(site).find("abc"), std::string::npos);
    EXPECT_EQ(OnlyRequest().head, "GET " + site + " HTTP/1.1\r\nHost: engine1.example\r\n" +
                                      "User-Agent: " + kAgent + "\r\n" + DefaultBlock(site) +
                                      "\r\n\r\n");
  }
  {
    ScopedEnv proxy("http_proxy", nowhere.c_str());
    // Proxy not given: a direct connection, the environment ignored.
    sites_->Reset();
    EXPECT_EQ(HttpExchange(origin), "echo\n");
    EXPECT_TRUE(OnlyRequest().head.starts_with("GET /echo HTTP/1.1\r\n"));
    // Given empty: the environment's proxy, which is not there.
    sites_->Reset();
    EXPECT_EQ(FetchPageText(origin), "");
    EXPECT_TRUE(sites_->Requests().empty());
    // no_proxy is honoured along with it.
    {
      ScopedEnv noProxy("no_proxy", "127.0.0.1");
      EXPECT_EQ(FetchPageText(origin), "echo\n");
    }
    // Given as text: that proxy, whatever the environment says.
    sites_->Reset();
    EXPECT_EQ(HttpExchange("http://a.b/p", 0, std::nullopt, nullptr, nullptr, nullptr, nullptr,
                           std::nullopt, nullptr, sites_->ProxyUrl()),
              HttpExchange("http://a.b/p", 0, std::nullopt, nullptr, nullptr, nullptr, nullptr,
                           std::nullopt, nullptr, "127.0.0.1:" + std::to_string(sites_->port())));
    const std::vector<test::RecordedRequest> requests = sites_->Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const test::RecordedRequest& request : requests) {
      EXPECT_TRUE(request.head.starts_with("GET http://a.b/p HTTP/1.1\r\n")) << request.head;
    }
  }
}

// Hostile servers: every call returns, and the result is what the rules give for what was
// delivered before the transfer ended.
TEST_F(HttpExchangeTest, HostileServers) {
  const std::string spaces(5000, ' ');
  struct Case {
    std::string mode;
    TransportSettings settings;
    TransportOutcome outcome;
    bool headersRead;  // whether a header block came back
    std::function<void(const Bytes&)> checkBody;
  };
  TransportSettings quick;
  quick.lowSpeedLimit = 1000;
  quick.lowSpeedTimeSeconds = 1;
  TransportSettings smallCap;
  smallCap.bodyLimit = 1 << 20;
  auto empty = [](const Bytes& body) { EXPECT_EQ(body, ""); };
  auto page = [](const Bytes& body) { EXPECT_TRUE(body.starts_with("<!DOCTYPE html>")); };
  const std::vector<Case> cases = {
      {"silent", quick, TransportOutcome::kTimedOut, false, empty},
      {"drip", quick, TransportOutcome::kTimedOut, true,
       [](const Bytes& body) {
         EXPECT_LT(body.size(), 100u);  // a few bytes trickled in before the time-out
       }},
      {"reset", {}, TransportOutcome::kFailed, true, page},
      {"huge", smallCap, TransportOutcome::kBodyLimit, true,
       [](const Bytes& body) { EXPECT_EQ(body.size(), 1u << 20); }},
      {"badchunk", {}, TransportOutcome::kFailed, true, page},
      {"redirectloop", {}, TransportOutcome::kTooManyRedirects, true, empty},
      {"redirectfile", {}, TransportOutcome::kFailed, true, empty},
      {"bigheader", {}, TransportOutcome::kCompleted, false, page},
      {"zeros",
       {},
       TransportOutcome::kCompleted,
       true,
       [](const Bytes& body) { EXPECT_NE(body.find('\0'), std::string::npos); }},
      {"badutf8", {}, TransportOutcome::kCompleted, true, page},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ScopedTransportSettings settings(c.settings);
    Reports reports;
    Text raw;
    Text response;
    const Bytes body = HttpExchange(Url("/hostile/" + c.mode), 0, std::nullopt, nullptr, nullptr,
                                    nullptr, &response, std::nullopt, nullptr, std::nullopt, &raw);
    c.checkBody(body);
    EXPECT_EQ(reports.Last().outcome, c.outcome) << reports.Last().errorText;
    EXPECT_EQ(reports.Last().bytesRead, body.size());
    if (c.headersRead) {
      EXPECT_TRUE(raw.starts_with("HTTP/1.")) << raw;
    } else {
      EXPECT_EQ(raw, spaces);
    }
    // The page text is the body's conversion, ending where the body has a zero byte.
    const Text text = FetchPageText(Url("/hostile/" + c.mode));
    EXPECT_EQ(text.find('\0'), std::string::npos);
    if (c.mode == "zeros" || c.mode == "badutf8") {
      EXPECT_EQ(text, Utf8ToGbk(body));
      EXPECT_FALSE(text.empty());
    }
  }
  // The redirect loop stops after ten hops and leaves its target in responseHeaders; the
  // redirect to a file: URL is not followed, so no local file is read.
  sites_->Reset();
  Text response;
  HttpExchange(Url("/hostile/redirectloop"), 0, std::nullopt, nullptr, nullptr, nullptr, &response);
  EXPECT_EQ(response, "/hostile/redirectloop");
  EXPECT_EQ(sites_->Requests().size(), 11u) << "the first request and ten redirects";
  response.clear();
  HttpExchange(Url("/hostile/redirectfile"), 0, std::nullopt, nullptr, nullptr, nullptr, &response);
  EXPECT_EQ(response, "file:///etc/passwd");
}

TEST_F(HttpExchangeTest, DefaultBodyCapIsSixtyFourMebibytes) {
  Reports reports;
  const Bytes body = HttpExchange(Url("/hostile/huge"));
  EXPECT_EQ(body.size(), 64u << 20);
  EXPECT_EQ(reports.Last().outcome, TransportOutcome::kBodyLimit);
}

}  // namespace
}  // namespace trawler
