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
// Result: the response body, empty after a failure. Nothing is thrown; failures before the
// request is under way change no argument; failures of the transfer itself are "not
// detected": the body is what arrived.
//
// Thread-safety: keeps no state between calls; safe to call from several threads at once
// with distinct arguments.
#ifndef TRAWLER_WEB_HTTP_EXCHANGE_H_
#define TRAWLER_WEB_HTTP_EXCHANGE_H_

#include <optional>
#include <string_view>

#include "text/text.h"

namespace trawler {

inline constexpr std::string_view DefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Tk4b; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

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
