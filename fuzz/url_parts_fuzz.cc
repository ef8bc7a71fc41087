// Fuzz target for the URL parts: no crash or sanitizer report on any URL, and the relations
// between host, port and path hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/text_ops.h"
#include "web/url_parts.h"

namespace {

using trawler::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view url(reinterpret_cast<const char*>(data), size);

  const trawler::Text host = trawler::UrlHost(url);
  const trawler::Text hostWithPort = trawler::UrlHost(url, false, true);
  const trawler::Text mainDomain = trawler::UrlHost(url, true, false);
  const trawler::Text mainWithPort = trawler::UrlHost(url, true, true);
  (void)trawler::UrlPort(url);
  const trawler::Text path = trawler::UrlPath(url);

  Check(trawler::FindText(host, ":") == -1, "host without port holds no ':'");
  Check(trawler::FindText(mainDomain, ":") == -1, "main domain without port holds no ':'");
  Check(hostWithPort.compare(0, host.size(), host) == 0, "the host begins the host with port");
  Check(trawler::ToLowerAscii(hostWithPort) == hostWithPort, "the host is in lower case");
  Check(mainWithPort.size() <= hostWithPort.size(), "the main domain is no longer");
  // The main domain is the host's last two labels, unless a final "." (an empty last label,
  // which the split drops) ends the host.
  Check(hostWithPort.ends_with(mainWithPort) || hostWithPort.ends_with('.'),
        "the main domain ends the host");
  Check(!path.empty() && path[0] == '/', "the path begins with '/'");
  Check(path == "/" || url.ends_with(path), "the path is the end of the URL");
  return 0;
}
