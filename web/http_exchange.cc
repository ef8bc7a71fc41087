#include "web/http_exchange.h"

#include <utility>

#include "text/code_page.h"
#include "text/text_ops.h"
#include "web/cookies.h"
#include "web/transport.h"
#include "web/url_parts.h"

namespace trawler {
namespace {

// The raw header block is read into a buffer of this many bytes, zero included: a block of
// this length or more is not written and the text stays all spaces.
constexpr std::size_t kHeaderBufferSize = 5000;

// Completes the caller's header lines in place, one line at a time. Each presence test
// searches the block as it stands, case-sensitively, anywhere in the text.
void CompleteHeaderBlock(Text& block, std::string_view url, std::string_view cookies) {
  if (FindText(block, "Referer:") == -1) {
    block += block.empty() ? "Referer: " : "\r\nReferer: ";
    block += url;
  }
  if (FindText(block, "Accept:") == -1) block += "\r\nAccept: */*";
  if (FindText(block, "Accept-Language:") == -1) block += "\r\nAccept-Language: zh-cn";
  if (FindText(block, "Content-Type:") == -1) {
    block += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  if (!cookies.empty()) {
    block += "\r\nCookie: ";
    block += cookies;
  }
}

}  // namespace

std::uint32_t RequestFlags(std::string_view url, int noRedirect) {
  std::uint32_t flags = kFlagReload | kFlagNeedFile | kFlagNoCookies;
  if (noRedirect != 0) flags |= kFlagNoAutoRedirect;
  flags |= ToLowerAscii(TextLeft(url, 5)) == "https" ? kFlagSecure : kFlagIgnoreRedirectToHttps;
  return flags;
}

Text RequestAgent(std::string_view extraHeaders) {
  constexpr std::string_view kName = "User-Agent:";
  const int at = FindText(extraHeaders, kName, 1, true);
  if (at == -1) return Text(DefaultUserAgent);
  Text agent = TrimSpaces(TextBetween(extraHeaders, kName, "\r\n"));
  if (agent.empty()) {
    if (FindText(extraHeaders, "\r\n") == -1) {
      agent = HeaderValue(extraHeaders);
    } else if (FindText(extraHeaders, "\r\n", at) == -1) {
      const int valueStart = at + static_cast<int>(kName.size());
      agent = TrimSpaces(TextMid(extraHeaders, valueStart,
                                 static_cast<int>(extraHeaders.size()) - valueStart + 1));
    }
  }
  return agent.empty() ? Text(DefaultUserAgent) : agent;
}

void ReadResponseHeaders(std::string_view raw, Text& location, Text& receivedCookies) {
  Text received;
  for (const Text& line : SplitText(raw, "\r\n")) {
    // "Location:" anywhere in the line: Content-Location counts too.
    if (FindText(line, "Location:") != -1) location = HeaderValue(line);
    if (FindText(line, "Set-Cookie") != -1) {
      // Only the first name=value of the line, and only when a ";" follows it.
      received += TrimSpaces(TextBetween(line, "Set-Cookie:", ";"));
      received += "; ";
    }
  }
  receivedCookies = TextLeft(received, static_cast<int>(received.size()) - 2);
  if (location.empty()) location = Text(raw);
}

Bytes HttpExchange(const Text& url, std::optional<int> method, std::optional<Text> bodyText,
                   Text* cookies, Text* receivedCookies, Text* extraHeaders, Text* responseHeaders,
                   std::optional<int> noRedirect, Bytes* bodyBytes, std::optional<Text> proxy,
                   Text* rawHeaders) {
  const int methodValue = method.value_or(0);
  const std::string_view verb = methodValue == 1 ? "POST" : "GET";
  Text block = extraHeaders != nullptr ? *extraHeaders : Text();
  const Text agent = RequestAgent(block);

  // A proxy argument that is given, even empty, means proxy mode; empty names no proxy
  // server, so the user's environment decides, as for any program on this system.
  const ProxyMode proxyMode = !proxy.has_value() ? ProxyMode::kDirect
                              : proxy->empty()   ? ProxyMode::kEnvironment
                                                 : ProxyMode::kExplicit;
  std::unique_ptr<Transfer> transfer = Transfer::Open(agent, proxyMode, proxy.value_or(Text()));
  if (!transfer) return {};
  if (!transfer->Connect(UrlHost(url), UrlPort(url))) return {};
  const std::uint32_t flags = RequestFlags(url, noRedirect.value_or(0));
  RequestOptions options;
  options.secure = (flags & kFlagSecure) != 0;
  options.followRedirects = (flags & kFlagNoAutoRedirect) == 0;
  if (!transfer->OpenRequest(verb, UrlPath(url), options)) return {};

  // From here on the exchange is completed: arguments change.
  const Text sentCookies = cookies != nullptr ? *cookies : Text();
  CompleteHeaderBlock(block, url, sentCookies);
  if (extraHeaders != nullptr) *extraHeaders = block;

  std::optional<Bytes> body;
  if (methodValue != 0) {
    Bytes bytes = bodyBytes != nullptr ? *bodyBytes : Bytes();
    if (bytes.empty()) {
      // bodyText is a zero-terminated text: its bytes end at the first zero.
      bytes = MakeText(bodyText.value_or(Text()));
      if (bodyBytes != nullptr) *bodyBytes = bytes;
    }
    body = std::move(bytes);
  }
  TransportResponse response =
      transfer->Send(block, body ? std::optional<std::string_view>(*body) : std::nullopt);
  transfer.reset();

  Text raw(kHeaderBufferSize, ' ');
  if (response.headerBlock && response.headerBlock->size() < kHeaderBufferSize) {
    raw = MakeText(*response.headerBlock);
  }

  Text location = responseHeaders != nullptr ? *responseHeaders : Text();
  Text received;
  ReadResponseHeaders(raw, location, received);

  Text merged = sentCookies;
  MergeCookies(merged, received);

  if (rawHeaders != nullptr) *rawHeaders = raw;
  if (responseHeaders != nullptr) *responseHeaders = std::move(location);
  if (receivedCookies != nullptr) *receivedCookies = std::move(received);
  if (cookies != nullptr) *cookies = std::move(merged);
  return std::move(response.body);
}

Text FetchPageText(const Text& url, std::optional<int> method, std::optional<Text> bodyText,
                   Text* cookies, Text* receivedCookies, Text* extraHeaders, Text* responseHeaders,
                   std::optional<int> noRedirect, Bytes* bodyBytes, std::optional<Text> proxy,
                   Text* rawHeaders) {
  // Every argument travels as given: an absent one as an empty text or 0, so the request
  // always runs in proxy mode, with an empty proxy list unless the caller named one.
  Text cookiesHere;
  Text receivedHere;
  Text extraHere;
  Text responseHere;
  Text rawHere;
  Bytes bodyBytesHere;
  const Bytes body =
      HttpExchange(url, method.value_or(0), bodyText.value_or(Text()),
                   cookies != nullptr ? cookies : &cookiesHere,
                   receivedCookies != nullptr ? receivedCookies : &receivedHere,
                   extraHeaders != nullptr ? extraHeaders : &extraHere,
                   responseHeaders != nullptr ? responseHeaders : &responseHere,
                   noRedirect.value_or(0), bodyBytes != nullptr ? bodyBytes : &bodyBytesHere,
                   proxy.value_or(Text()), rawHeaders != nullptr ? rawHeaders : &rawHere);
  return body.empty() ? Text() : Utf8ToGbk(body);
}

}  // namespace trawler
