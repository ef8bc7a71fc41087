// URL parts: host, port and object path of a URL, cut with the text operations (no general
// URL parser). URLs may start with "http://" or "https://" in any letter case, or carry no
// scheme (read as http).
//
// Known quirks kept on purpose: a query right after the host stays in the host
// ("http://a.b?q=1" has the host "a.b?q=1"); an empty port ("http://a.b:/") gives 0.
//
// None of these fails; an empty url gives the empty host, port 80 and the path "/". Pure
// functions, safe from any thread.
#ifndef TRAWLER_WEB_URL_PARTS_H_
#define TRAWLER_WEB_URL_PARTS_H_

#include <string_view>

#include "text/text.h"

namespace trawler {

// The host in lower case. With `mainDomainOnly` only its last two dot-separated labels; with
// `keepPort` a port written after it stays.
// Example: UrlHost("HTTP://A.b.C:8080/x", true, true) == "b.c:8080".
[[nodiscard]] Text UrlHost(std::string_view url, bool mainDomainOnly = false,
                           bool keepPort = false);
// The port written in the URL, else 443 for https and 80 otherwise.
[[nodiscard]] int UrlPort(std::string_view url);
// Everything from the first "/" after the host to the end, in the URL's own case; "/" when
// there is none. The host counts where it stands after the scheme, so a host that also
// occurs in the scheme ("http://t/x") does not pull the scheme into the path.
// Example: UrlPath("a.b/x?y") == "/x?y".
[[nodiscard]] Text UrlPath(std::string_view url);

}  // namespace trawler

#endif  // TRAWLER_WEB_URL_PARTS_H_
