#include "web/url_parts.h"

#include <string_view>

#include "text/text_ops.h"

namespace trawler {
namespace {

// The host as cut out of the URL (lower case, port still attached) and the 1-based position
// in the URL at which that host text begins.
struct HostCut {
  Text host;
  int start = 1;
};

HostCut CutHost(std::string_view url) {
  Text s = ToLowerAscii(url);
  // The host runs to the next "/", so a URL without a path gets one.
  if (s.empty() || s.back() != '/') {
    s.push_back('/');
  }
  if (s.compare(0, 8, "https://") == 0) {
    return {TextBetween(s, "https://", "/"), 9};
  }
  // "http://" is looked for anywhere, not only at the beginning; without it the URL is read
  // as an http URL whose host comes first.
  HostCut cut;
  const int scheme = FindText(s, "http://");
  if (scheme == -1) {
    s.insert(0, "http://");
    cut.start = 1;
  } else {
    cut.start = scheme + 7;
  }
  cut.host = TextBetween(s, "http://", "/");
  return cut;
}

}  // namespace

Text UrlHost(std::string_view url, bool mainDomainOnly, bool keepPort) {
  Text host = CutHost(url).host;
  if (mainDomainOnly) {
    // The port, if any, is still attached to the last label here.
    const TextList labels = SplitText(host, ".");
    if (labels.size() >= 2) {
      host = labels[labels.size() - 2] + "." + labels.back();
    }
  }
  if (keepPort) {
    return host;
  }
  const int colon = FindText(host, ":");
  return colon == -1 ? host : TextLeft(host, colon - 1);
}

int UrlPort(std::string_view url) {
  const Text host = UrlHost(url, /*mainDomainOnly=*/false, /*keepPort=*/true);
  const int colon = FindLastText(host, ":");
  if (colon != -1) {
    return TextToInt(TextRight(host, static_cast<int>(host.size()) - colon));
  }
  return TextLeft(ToLowerAscii(url), 5) == "https" ? 443 : 80;
}

Text UrlPath(std::string_view url) {
  // The path begins at the first "/" at or after the host. The host is taken where it was
  // cut from, not looked for anywhere in the URL: a host such as "t" or "http" also occurs
  // inside the scheme, and an empty host occurs everywhere, so a search from the beginning
  // would put part of the scheme into the path.
  const int slash = FindText(url, "/", CutHost(url).start);
  if (slash == -1) {
    return "/";
  }
  return TextRight(url, static_cast<int>(url.size()) - slash + 1);
}

}  // namespace trawler
