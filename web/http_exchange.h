// The HTTP request routine: one complete request per call, over the transport in
// web/transport.h (libcurl). All network traffic of the program goes through here.
//
// Arguments, in order; every one but `url` is optional, and the routine knows whether it
// was given (std::optional for inputs, a null pointer for an absent by-reference or out
// argument). An absent text is empty, an absent number 0.
//   url              the URL to request
//   method           1: POST; otherwise GET. Any value other than 0 also sends a body.
//   bodyText         the body to send when bodyBytes is empty
//   cookies          in: sent in a Cookie line; out: the merged cookie list
//   receivedCookies  out: the cookies the response set, "a=1;b=2"
//   extraHeaders     in: extra header lines joined by CR LF; out: the complete header block
//                    that was sent
//   responseHeaders  out: the value of the last line holding "Location:", else (when still
//                    empty) a copy of the raw header block
//   noRedirect       non-zero: redirects are not followed
//   bodyBytes        in: the body to send; when empty and a body is sent, it receives the
//                    bytes of bodyText
//   proxy            given (even empty): proxy mode; an empty text means the user's
//                    http_proxy / no_proxy environment, a non-empty one is the proxy for
//                    http URLs. Not given: a direct connection, environment ignored.
//   rawHeaders       out: the final response's raw header block (5000 spaces when none
//                    could be read or it did not fit in 5000 bytes)
// Result: the response body, empty after a failure. Nothing is thrown.
//
// A request is set up in three stages (web/transport.h); a failure in any of them returns
// empty Bytes and changes no argument:
//   1. no transfer handle could be made (libcurl out of memory or not initialised);
//   2. the host (UrlHost of url) is empty or cannot be a host name (a byte other than a
//      letter, digit or "-._~"; "http://a.b?q=1" gives the host "a.b?q=1"), or the port
//      (UrlPort) is outside 0-65535; port 0 stands for the scheme's default port;
//   3. the request for that host, port and path (UrlPath) is rejected (a space or control
//      byte in the path, for example).
// After that the exchange is "completed": the header block is composed and written to
// extraHeaders, the body to send is settled (and written to bodyBytes), and failures of the
// transfer itself (cannot resolve or connect, time-outs, resets, broken chunking, too many
// redirects) are not detected: the body is what arrived before the failure, the raw header
// block is the final response's when it arrived in full and within 5000 bytes, and the
// header walk and cookie merge run on that. The transport's report (ScopedExchangeObserver)
// tells an interested caller what went wrong.
//
// Thread-safety: keeps no state between calls; safe to call from several threads at once
// with distinct arguments.
#ifndef TRAWLER_WEB_HTTP_EXCHANGE_H_
#define TRAWLER_WEB_HTTP_EXCHANGE_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "text/text.h"

namespace trawler {

inline constexpr std::string_view DefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Tk4b; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

// Request flags, numbered as the platform's internet library numbers them. Always: no cache
// (kFlagReload, kFlagNeedFile; libcurl keeps none) and no cookie engine (kFlagNoCookies:
// cookies travel only through the cookies argument). On request: kFlagNoAutoRedirect, no
// redirect is followed. By scheme: kFlagSecure for an https URL (TLS, verified; redirects
// followed only to https), kFlagIgnoreRedirectToHttps otherwise (redirects followed to http
// and https alike).
inline constexpr std::uint32_t kFlagReload = 0x80000000;
inline constexpr std::uint32_t kFlagNeedFile = 0x10;
inline constexpr std::uint32_t kFlagNoCookies = 0x80000;
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x200000;
inline constexpr std::uint32_t kFlagSecure = 0x800000;
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x4000;

// The flags of a request for `url`. Example: a plain http GET 0x80084010, an https one
// 0x80880010, http with noRedirect 0x80284010.
[[nodiscard]] std::uint32_t RequestFlags(std::string_view url, int noRedirect);

// The user agent for a request with these extra header lines: DefaultUserAgent when no
// "User-Agent:" occurs in them (any letter case); otherwise the trimmed text after it up to
// the next CR LF. When that is empty: for a block of one line, the value of that line (the
// text after its first ":"); for a longer block whose User-Agent line is the last, the rest
// of that line; DefaultUserAgent when that is blank too.
// Example: RequestAgent("X-A: 1\r\nuser-agent: Foo") == "Foo".
[[nodiscard]] Text RequestAgent(std::string_view extraHeaders);

// The walk of the request routine over a raw response header block (as handed to its
// rawHeaders argument): split at CR LF, every line holding "Location:" (Content-Location
// too) replaces `location` with its value, and every line holding "Set-Cookie" adds the
// trimmed text between "Set-Cookie:" and the first ";" after it to `receivedCookies`,
// "; " between entries. `location` comes in as the caller's value and leaves as that value
// when no line names a location, or as `raw` itself when it is still empty then.
// `receivedCookies` is replaced. Never fails; any bytes are accepted.
// Example: ReadResponseHeaders("HTTP/1.1 302 x\r\nLocation: /a\r\nSet-Cookie: s=1; p\r\n\r\n",
//          location, received) gives location "/a" and received "s=1".
void ReadResponseHeaders(std::string_view raw, Text& location, Text& receivedCookies);

Bytes HttpExchange(const Text& url, std::optional<int> method = std::nullopt,
                   std::optional<Text> bodyText = std::nullopt, Text* cookies = nullptr,
                   Text* receivedCookies = nullptr, Text* extraHeaders = nullptr,
                   Text* responseHeaders = nullptr, std::optional<int> noRedirect = std::nullopt,
                   Bytes* bodyBytes = nullptr, std::optional<Text> proxy = std::nullopt,
                   Text* rawHeaders = nullptr);

// HttpExchange with every argument marked given (an absent one travels as empty text or
// 0), so the request always runs in proxy mode with an empty proxy list. Returns the body
// converted from UTF-8 to GBK; empty on any failure.
Text FetchPageText(const Text& url, std::optional<int> method = std::nullopt,
                   std::optional<Text> bodyText = std::nullopt, Text* cookies = nullptr,
                   Text* receivedCookies = nullptr, Text* extraHeaders = nullptr,
                   Text* responseHeaders = nullptr, std::optional<int> noRedirect = std::nullopt,
                   Bytes* bodyBytes = nullptr, std::optional<Text> proxy = std::nullopt,
                   Text* rawHeaders = nullptr);

}  // namespace trawler

#endif  // TRAWLER_WEB_HTTP_EXCHANGE_H_
