// The HTTP transport: one request per `Transfer`, over the libcurl easy interface. This is
// the only place in the program that uses libcurl; the request routine (web/http_exchange.h)
// drives it in three set-up stages and one send:
//
//   Transfer::Open(agent, proxy)       stage 1: the easy handle. Fails when libcurl cannot
//                                      make one (out of memory, libcurl not initialised).
//   transfer->Connect(host, port)      stage 2: the host and port to talk to. Fails when the
//                                      host is empty or holds a byte that cannot appear in a
//                                      host name, or the port is outside 0..65535 (0 means
//                                      the scheme's default port).
//   transfer->OpenRequest(verb, path, options)
//                                      stage 3: the request. Fails when libcurl rejects the
//                                      URL made of scheme, host, port and path (spaces or
//                                      control bytes in the path, for example) or an option.
//   transfer->Send(headerBlock, body)  the exchange itself: never "fails"; the response
//                                      says what arrived and the report says what went wrong.
//
// What a transfer does on the wire:
// - HTTP/1.1 only; no compression asked for; chunked bodies decoded; HTTP/0.9 answers (a
//   body without status line or headers) accepted as a body without headers.
// - The header block is sent line by line as given (a line break inside it, CR LF, CR or
//   LF, always starts a new line; empty lines are dropped); libcurl adds only Host,
//   User-Agent (the agent, unless the block holds a User-Agent line) and, with a body,
//   Content-Length. It never adds Accept, Content-Type, Expect, Proxy-Connection or
//   Accept-Encoding, and no cookie engine or cache is involved.
// - Redirects (301, 302, 303, 307, 308; POST becomes GET on 301-303) are followed unless the
//   request asks not to, at most `maxRedirects` hops, and only to http or https; a secure
//   request follows only to https. A cookie line is not carried to another host.
// - Proxy modes: kDirect ignores the environment; kEnvironment lets libcurl read
//   http_proxy / https_proxy / no_proxy (what a Linux program does with "no proxy named");
//   kExplicit uses the proxy text for http URLs and goes direct for https URLs.
// - TLS certificates and host names are always verified.
// - Host names under the reserved top-level domain "invalid" are never resolved: they fail
//   at once as "could not resolve", offline or not.
// - Limits (see TransportSettings): connect time-out, a transfer that stays below
//   `lowSpeedLimit` bytes/s for `lowSpeedTimeSeconds` ends, an optional overall time-out,
//   and a body cap: reading stops there and the body keeps what was read.
//
// Tests and fuzzing can answer in place of the network on one thread
// (ScopedTransportOverride); the program never does, so every Send goes out on the wire.
//
// Reports: every exchange made on a thread (a stage that fails counts as one) produces one
// TransportReport, handed to the ScopedExchangeObserver installed on that thread, if any.
// The request routine ignores them; the command-line tool prints them.
//
// Thread-safety: a Transfer belongs to one thread. Settings and observers are per thread,
// so concurrent transfers on different threads never see each other's. libcurl's global
// initialisation runs once (InitTransport, also run by the first Transfer::Open); call
// InitTransport() at program start, before threads, to keep it off the request path.
#ifndef TRAWLER_WEB_TRANSPORT_H_
#define TRAWLER_WEB_TRANSPORT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

namespace trawler {

// Once per process: libcurl's global initialisation, and SIGPIPE ignored (a peer that closes
// a connection must not end the program). Safe to call any number of times from any thread.
// Returns false when libcurl could not be initialised (every Transfer::Open then fails).
bool InitTransport();

struct TransportSettings {
  long connectTimeoutMs = 60'000;             // name resolution and connect
  long lowSpeedLimit = 1;                     // bytes per second ...
  long lowSpeedTimeSeconds = 30;              // ... below which for this long ends it
  long totalTimeoutMs = 0;                    // whole transfer; 0: no limit
  std::size_t bodyLimit = 64u * 1024 * 1024;  // body bytes kept; reading stops there
  long maxRedirects = 10;
};

// The settings transfers on this thread use: the innermost ScopedTransportSettings, else the
// defaults above.
[[nodiscard]] TransportSettings CurrentTransportSettings();

// Overrides the settings for transfers started on this thread while it lives (tests shorten
// time-outs and the body cap with it). Nests; the previous settings come back on
// destruction. Must be destroyed on the thread that made it, in reverse order of creation.
class ScopedTransportSettings {
 public:
  explicit ScopedTransportSettings(const TransportSettings& settings);
  ~ScopedTransportSettings();
  ScopedTransportSettings(const ScopedTransportSettings&) = delete;
  ScopedTransportSettings& operator=(const ScopedTransportSettings&) = delete;

 private:
  std::optional<TransportSettings> previous_;
};

enum class TransportOutcome {
  kCompleted,         // a response arrived in full (any HTTP status)
  kNoHandle,          // stage 1 failed
  kBadHost,           // stage 2 failed
  kBadRequest,        // stage 3 failed
  kCouldNotResolve,   // the host (or the proxy) name could not be resolved
  kCouldNotConnect,   // refused or unreachable
  kTimedOut,          // connect time-out, too slow for too long, or the overall time-out
  kBodyLimit,         // the body reached the cap; what was read is kept
  kTooManyRedirects,  // more hops than maxRedirects
  kFailed,            // anything else (reset, broken chunking, TLS, refused redirect, ...)
};

// A short English name of the outcome ("completed", "could not resolve", ...).
[[nodiscard]] std::string_view OutcomeName(TransportOutcome outcome);

struct TransportReport {
  std::string url;  // the URL requested (empty when stage 2 failed)
  TransportOutcome outcome = TransportOutcome::kFailed;
  int curlCode = 0;             // libcurl's result code, 0 when libcurl was not asked
  std::string errorText;        // libcurl's message or ours; empty on kCompleted
  long httpStatus = 0;          // status of the final response, 0 when none arrived
  long redirects = 0;           // redirects followed
  std::uint64_t bytesRead = 0;  // body bytes kept
};

// Installs `observer` for the current thread while it lives: every exchange made on this
// thread hands it its TransportReport, synchronously, on this thread. Nests: the innermost
// observer receives the reports, the previous one is restored on destruction. An exception
// the observer throws is swallowed. Must be destroyed on the thread that made it.
class ScopedExchangeObserver {
 public:
  using Observer = std::function<void(const TransportReport&)>;
  explicit ScopedExchangeObserver(Observer observer);
  ~ScopedExchangeObserver();
  ScopedExchangeObserver(const ScopedExchangeObserver&) = delete;
  ScopedExchangeObserver& operator=(const ScopedExchangeObserver&) = delete;

 private:
  Observer observer_;
  Observer* previous_;
};

enum class ProxyMode {
  kDirect,       // no proxy; http_proxy and friends ignored
  kEnvironment,  // the user's http_proxy / https_proxy / no_proxy
  kExplicit,     // the given proxy for http URLs; https URLs go direct
};

struct RequestOptions {
  bool secure = false;  // https, verified; redirects only to https
  bool followRedirects = true;
};

struct TransportResponse {
  Bytes body;  // what arrived, up to the body cap; may hold zero bytes
  // The final response's header block (status line first, every line ended by CR LF, the
  // blank line last), when it arrived complete; nullopt when no complete block arrived.
  std::optional<std::string> headerBlock;
};

// What a transfer is about to send, as a ScopedTransportOverride sees it.
struct TransportRequest {
  std::string url;          // scheme, host, port and path, as it would be requested
  std::string verb;         // "GET", "POST", ...
  std::string headerBlock;  // the caller's header block, as given to Send
  std::optional<std::string> body;
};

// A stand-in for the network, for tests and fuzzing only; the program never installs one.
// While it lives, every Transfer::Send on this thread hands its request to `answer` instead
// of libcurl and returns what `answer` gives, with the body cut at the thread's body cap (an
// exception from `answer` is caught: an empty response, reported kFailed).
// The stages before Send (handle, host, request) run as always, and so does the report:
// kCompleted (or kBodyLimit), the body bytes kept, no HTTP status. Without one (the default)
// Send always goes to the network. Nests; must be destroyed on the thread that made it.
class ScopedTransportOverride {
 public:
  using Answer = std::function<TransportResponse(const TransportRequest&)>;
  explicit ScopedTransportOverride(Answer answer);
  ~ScopedTransportOverride();
  ScopedTransportOverride(const ScopedTransportOverride&) = delete;
  ScopedTransportOverride& operator=(const ScopedTransportOverride&) = delete;

 private:
  Answer answer_;
  Answer* previous_;
};

class Transfer {
 public:
  // Stage 1. nullptr when no easy handle could be made (a report says so).
  static std::unique_ptr<Transfer> Open(std::string_view agent, ProxyMode proxyMode,
                                        std::string_view proxy = {});
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // Stage 2. False (and a report) when `host` cannot be a host name or `port` is out of
  // range. Resolves nothing.
  bool Connect(std::string_view host, int port);

  // Stage 3, after Connect. False (and a report) when the URL or an option is rejected.
  // `path` starts with "/" and may hold a query; a fragment is not sent.
  bool OpenRequest(std::string_view verb, std::string_view path, const RequestOptions& options);

  // Sends the request after OpenRequest, with `body` when given (even empty: then with
  // Content-Length 0), and reads the whole response under this thread's settings. Reports
  // the outcome. Call once.
  TransportResponse Send(std::string_view headerBlock, std::optional<std::string_view> body);

 private:
  struct State;
  explicit Transfer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace trawler

#endif  // TRAWLER_WEB_TRANSPORT_H_
