// Tests of the URL parts: host (with and without port, main domain), port and path.
#include "web/url_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace trawler {
namespace {

struct UrlCase {
  std::string url;
  std::string host;          // no options
  std::string hostWithPort;  // keepPort
  std::string mainDomain;    // mainDomainOnly
  std::string mainWithPort;  // both
  int port;
  std::string path;
};

TEST(UrlPartsTest, HostPortAndPath) {
  const UrlCase cases[] = {
      {"HTTP://A.b.C:8080/x/Y?z=1", "a.b.c", "a.b.c:8080", "b.c", "b.c:8080", 8080, "/x/Y?z=1"},
      // No scheme: read as http.
      {"a.b/x?y", "a.b", "a.b", "a.b", "a.b", 80, "/x?y"},
      {"https://s.a.b", "s.a.b", "s.a.b", "a.b", "a.b", 443, "/"},
      {"HTTPS://s.a.b/", "s.a.b", "s.a.b", "a.b", "a.b", 443, "/"},
      {"https://s.a.b:8443/", "s.a.b", "s.a.b:8443", "a.b", "a.b:8443", 8443, "/"},
      {"http://127.0.0.1:5000/search?q=a%20b", "127.0.0.1", "127.0.0.1:5000", "0.1", "0.1:5000",
       5000, "/search?q=a%20b"},
      // An empty port reads as 0: the text after the colon has no digits.
      {"http://a.b:/", "a.b", "a.b:", "a.b", "a.b:", 0, "/"},
      // A query right after the host stays in the host: the host runs to the first "/".
      {"http://a.b?q=1", "a.b?q=1", "a.b?q=1", "a.b?q=1", "a.b?q=1", 80, "/"},
      {"", "", "", "", "", 80, "/"},
      {"localhost", "localhost", "localhost", "localhost", "localhost", 80, "/"},
      {"localhost:8080/x", "localhost", "localhost:8080", "localhost", "localhost:8080", 8080,
       "/x"},
      // "http://" is looked for anywhere in the URL, not only at its beginning.
      {"x.y/go?to=http://a.b/c", "a.b", "a.b", "a.b", "a.b", 80, "/c"},
      // The "https" test for the default port looks at the first five letters only.
      {"httpsite.b/x", "httpsite.b", "httpsite.b", "httpsite.b", "httpsite.b", 443, "/x"},
      // The path keeps the URL's own letter case and everything after the host.
      {"http://A.B/P/Q#F", "a.b", "a.b", "a.b", "a.b", 80, "/P/Q#F"},
      // Hosts that also occur inside the scheme: the path still starts after the host.
      {"http://t/x", "t", "t", "t", "t", 80, "/x"},
      {"https://http/x", "http", "http", "http", "http", 443, "/x"},
      {"http:///x", "", "", "", "", 80, "/x"},
      // A host ending in a dot: the final empty label is dropped by the split.
      {"http://a.b.c./", "a.b.c.", "a.b.c.", "b.c", "b.c", 80, "/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("url '" + c.url + "'");
    EXPECT_EQ(UrlHost(c.url), c.host);
    EXPECT_EQ(UrlHost(c.url, false, true), c.hostWithPort);
    EXPECT_EQ(UrlHost(c.url, true, false), c.mainDomain);
    EXPECT_EQ(UrlHost(c.url, true, true), c.mainWithPort);
    EXPECT_EQ(UrlPort(c.url), c.port);
    EXPECT_EQ(UrlPath(c.url), c.path);
  }
}

TEST(UrlPartsTest, DoubleByteCharactersInThePath) {
  // 0x81 0x2F is one character (a lead byte and the byte after it) whose second byte is '/':
  // it does not end the host.
  const std::string url = "http://a.b\x81/c/\xB0\xA1";
  EXPECT_EQ(UrlHost(url), "a.b\x81/c");
  EXPECT_EQ(UrlPath(url), "/\xB0\xA1");
}

}  // namespace
}  // namespace trawler
