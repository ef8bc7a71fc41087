#include "web/transport.h"

#include <curl/curl.h>

#include <csignal>
#include <mutex>
#include <utility>
#include <vector>

namespace trawler {
namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

// A header block longer than this is hostile: the transfer ends there. Far above anything a
// real site sends, and far below what would hurt memory.
constexpr std::size_t kMaxHeaderBlock = 256 * 1024;

thread_local std::optional<TransportSettings> threadSettings;
thread_local ScopedExchangeObserver::Observer* threadObserver = nullptr;
thread_local ScopedTransportOverride::Answer* threadOverride = nullptr;

void Publish(const TransportReport& report) {
  if (threadObserver == nullptr || !*threadObserver) return;
  try {
    (*threadObserver)(report);
  } catch (...) {
    // An observer is a bystander: its failure must not change the exchange.
  }
}

// True for a byte that may appear in a host name we connect to: letters, digits and
// "-._~". Everything else (spaces, "@", "?", "%", control and non-ASCII bytes) would make
// libcurl read the URL differently from what the caller meant.
bool IsHostByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// Names under "invalid" are guaranteed never to exist; asking a resolver about them can
// only cost time (a DNS round trip, or a time-out when offline).
bool IsReservedInvalidName(std::string_view host) {
  while (!host.empty() && host.back() == '.') host.remove_suffix(1);
  constexpr std::string_view kInvalid = "invalid";
  if (host == kInvalid) return true;
  return host.size() > kInvalid.size() && host.ends_with(kInvalid) &&
         host[host.size() - kInvalid.size() - 1] == '.';
}

TransportOutcome OutcomeOf(CURLcode code, bool bodyLimitHit) {
  if (bodyLimitHit) return TransportOutcome::kBodyLimit;
  switch (code) {
    case CURLE_OK:
      return TransportOutcome::kCompleted;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return TransportOutcome::kCouldNotResolve;
    case CURLE_COULDNT_CONNECT:
      return TransportOutcome::kCouldNotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return TransportOutcome::kTimedOut;
    case CURLE_TOO_MANY_REDIRECTS:
      return TransportOutcome::kTooManyRedirects;
    default:
      return TransportOutcome::kFailed;
  }
}

// The lines of a header block: split at every line break (CR LF, CR or LF), so that no line
// handed to libcurl carries a break into the request; empty lines dropped.
std::vector<std::string> HeaderLines(std::string_view block) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= block.size(); ++i) {
    if (i == block.size() || block[i] == '\r' || block[i] == '\n') {
      if (i > start) lines.emplace_back(block.substr(start, i - start));
      if (i + 1 < block.size() && block[i] == '\r' && block[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  return lines;
}

bool Append(HeaderList& list, const char* line) {
  curl_slist* grown = curl_slist_append(list.get(), line);
  if (grown == nullptr) return false;  // the old list is intact and still owned
  (void)list.release();
  list.reset(grown);
  return true;
}

}  // namespace

bool InitTransport() {
  static std::once_flag once;
  static bool initialised = false;
  std::call_once(once, [] {
    // Writing to a connection the peer has closed raises SIGPIPE, which would end the
    // program; libcurl leaves that to us once CURLOPT_NOSIGNAL is set. A handler the
    // program installed itself is left alone.
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      std::signal(SIGPIPE, SIG_IGN);
    }
    initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  });
  return initialised;
}

TransportSettings CurrentTransportSettings() {
  return threadSettings.value_or(TransportSettings{});
}

ScopedTransportSettings::ScopedTransportSettings(const TransportSettings& settings)
    : previous_(threadSettings) {
  threadSettings = settings;
}

ScopedTransportSettings::~ScopedTransportSettings() { threadSettings = previous_; }

ScopedExchangeObserver::ScopedExchangeObserver(Observer observer)
    : observer_(std::move(observer)), previous_(threadObserver) {
  threadObserver = &observer_;
}

ScopedExchangeObserver::~ScopedExchangeObserver() { threadObserver = previous_; }

ScopedTransportOverride::ScopedTransportOverride(Answer answer)
    : answer_(std::move(answer)), previous_(threadOverride) {
  threadOverride = &answer_;
}

ScopedTransportOverride::~ScopedTransportOverride() { threadOverride = previous_; }

std::string_view OutcomeName(TransportOutcome outcome) {
  switch (outcome) {
    case TransportOutcome::kCompleted:
      return "completed";
    case TransportOutcome::kNoHandle:
      return "no transfer handle";
    case TransportOutcome::kBadHost:
      return "not a host name";
    case TransportOutcome::kBadRequest:
      return "request rejected";
    case TransportOutcome::kCouldNotResolve:
      return "could not resolve";
    case TransportOutcome::kCouldNotConnect:
      return "could not connect";
    case TransportOutcome::kTimedOut:
      return "timed out";
    case TransportOutcome::kBodyLimit:
      return "body cut at the size limit";
    case TransportOutcome::kTooManyRedirects:
      return "too many redirects";
    case TransportOutcome::kFailed:
      return "failed";
  }
  return "failed";
}

struct Transfer::State {
  EasyHandle handle;
  std::string agent;
  ProxyMode proxyMode = ProxyMode::kDirect;
  std::string proxy;
  std::string host;
  int port = -1;
  std::string url;
  std::string verb;
  RequestOptions options;
  bool requestOpen = false;
  bool sent = false;
  char errorBuffer[CURL_ERROR_SIZE] = {};

  // What the callbacks collect.
  std::size_t bodyLimit = 0;
  bool bodyLimitHit = false;
  Bytes body;
  std::string headerBlock;
  bool headerComplete = false;

  void Report(TransportOutcome outcome, std::string errorText, int curlCode = 0) const {
    TransportReport report;
    report.url = url;
    report.outcome = outcome;
    report.curlCode = curlCode;
    report.errorText = std::move(errorText);
    Publish(report);
  }

  // Send without the network: the thread's override answers (tests and fuzzing only).
  TransportResponse SendToOverride(std::string_view sentHeaders,
                                   std::optional<std::string_view> requestBody) {
    TransportRequest request;
    request.url = url;
    request.verb = verb;
    request.headerBlock = sentHeaders;
    if (requestBody) request.body = std::string(*requestBody);
    TransportReport report;
    report.url = url;
    report.outcome = TransportOutcome::kCompleted;
    TransportResponse response;
    try {
      response = (*threadOverride)(request);
    } catch (...) {
      // A stand-in that throws is a failed exchange, as a broken connection would be.
      Report(TransportOutcome::kFailed, "the transport override failed");
      return {};
    }
    const std::size_t cap = CurrentTransportSettings().bodyLimit;
    if (response.body.size() > cap) {
      response.body.resize(cap);
      report.outcome = TransportOutcome::kBodyLimit;
    }
    report.bytesRead = response.body.size();
    Publish(report);
    return response;
  }

  static size_t WriteBody(char* data, size_t size, size_t count, void* user) noexcept {
    auto* self = static_cast<State*>(user);
    const std::size_t length = size * count;
    try {
      const std::size_t room = self->bodyLimit - self->body.size();
      if (length > room) {
        // Keep what fits and stop: returning less than was offered ends the transfer.
        self->body.append(data, room);
        self->bodyLimitHit = true;
        return room;
      }
      self->body.append(data, length);
      return length;
    } catch (...) {
      return 0;  // out of memory: end the transfer, keep what was read
    }
  }

  static size_t WriteHeader(char* data, size_t size, size_t count, void* user) noexcept {
    auto* self = static_cast<State*>(user);
    const std::size_t length = size * count;
    std::string_view line(data, length);
    try {
      // Every response (redirects, 100 Continue) begins with its status line; only the
      // last block is kept. Chunked trailers, which follow a complete block, are not
      // response headers and are left out.
      if (line.starts_with("HTTP/")) {
        self->headerBlock.clear();
        self->headerComplete = false;
      } else if (self->headerComplete) {
        return length;
      }
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
      }
      if (self->headerBlock.size() + line.size() + 4 > kMaxHeaderBlock) return 0;
      if (line.empty()) {
        self->headerComplete = !self->headerBlock.empty();
      }
      self->headerBlock.append(line);
      self->headerBlock.append("\r\n");
      return length;
    } catch (...) {
      return 0;
    }
  }
};

Transfer::Transfer(std::unique_ptr<State> state) : state_(std::move(state)) {}
Transfer::~Transfer() = default;

std::unique_ptr<Transfer> Transfer::Open(std::string_view agent, ProxyMode proxyMode,
                                         std::string_view proxy) {
  auto fail = [](const char* why) {
    TransportReport report;
    report.outcome = TransportOutcome::kNoHandle;
    report.errorText = why;
    Publish(report);
    return nullptr;
  };
  if (!InitTransport()) return fail("libcurl could not be initialised");
  try {
    auto state = std::make_unique<State>();
    state->handle.reset(curl_easy_init());
    if (!state->handle) return fail("libcurl could not make a transfer handle");
    state->agent = agent;
    state->proxyMode = proxyMode;
    state->proxy = proxy;
    return std::unique_ptr<Transfer>(new Transfer(std::move(state)));
  } catch (...) {
    return fail("out of memory");
  }
}

bool Transfer::Connect(std::string_view host, int port) {
  State& s = *state_;
  bool good = !host.empty() && host.size() <= 253 && port >= 0 && port <= 65535;
  for (unsigned char c : host) good = good && IsHostByte(c);
  if (!good) {
    s.Report(TransportOutcome::kBadHost,
             "cannot connect to host \"" + std::string(host) + "\" port " + std::to_string(port));
    return false;
  }
  s.host = host;
  s.port = port;
  return true;
}

bool Transfer::OpenRequest(std::string_view verb, std::string_view path,
                           const RequestOptions& options) {
  State& s = *state_;
  if (s.port < 0) {
    s.Report(TransportOutcome::kBadRequest, "no host to send the request to");
    return false;
  }
  const int defaultPort = options.secure ? 443 : 80;
  s.url = options.secure ? "https://" : "http://";
  s.url += s.host;
  s.url += ':';
  s.url += std::to_string(s.port == 0 ? defaultPort : s.port);
  if (!path.starts_with('/')) s.url += '/';
  s.url += path;

  // libcurl's own parser decides whether the URL can be requested, so a URL it would
  // refuse later fails here, before anything is composed or sent.
  UrlHandle parsed(curl_url());
  const bool verbGood = !verb.empty() && verb.find_first_of(" \r\n\t") == std::string_view::npos;
  if (!parsed || !verbGood ||
      curl_url_set(parsed.get(), CURLUPART_URL, s.url.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
    s.Report(TransportOutcome::kBadRequest, "the request could not be made for this URL");
    return false;
  }
  s.verb = verb;
  s.options = options;
  s.requestOpen = true;
  return true;
}

TransportResponse Transfer::Send(std::string_view headerBlock,
                                 std::optional<std::string_view> body) {
  State& s = *state_;
  TransportResponse response;
  if (!s.requestOpen || s.sent) {
    s.Report(TransportOutcome::kBadRequest, "no request open to send");
    return response;
  }
  s.sent = true;
  if (threadOverride != nullptr && *threadOverride) return s.SendToOverride(headerBlock, body);
  if (IsReservedInvalidName(s.host)) {
    s.Report(TransportOutcome::kCouldNotResolve,
             "Could not resolve host: " + s.host + " (reserved name)", CURLE_COULDNT_RESOLVE_HOST);
    return response;
  }

  const TransportSettings settings = CurrentTransportSettings();
  s.bodyLimit = settings.bodyLimit;
  CURL* h = s.handle.get();

  HeaderList headers;
  HeaderList proxyHeaders;
  bool good = true;
  try {
    for (const std::string& line : HeaderLines(headerBlock))
      good = good && Append(headers, line.c_str());
  } catch (...) {
    good = false;
  }
  // Empty "Name:" entries stop libcurl from adding headers of its own; a line the caller
  // gave with that name comes first in the list and wins.
  for (const char* removal : {"Accept:", "Content-Type:", "Expect:"}) {
    good = good && Append(headers, removal);
  }
  good = good && Append(proxyHeaders, "Proxy-Connection:");

  auto set = [&](CURLoption option, auto value) {
    good = good && curl_easy_setopt(h, option, value) == CURLE_OK;
  };
  set(CURLOPT_URL, s.url.c_str());
  set(CURLOPT_ERRORBUFFER, s.errorBuffer);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, s.options.secure ? "https" : "http,https");
  set(CURLOPT_FOLLOWLOCATION, s.options.followRedirects ? 1L : 0L);
  set(CURLOPT_MAXREDIRS, settings.maxRedirects);
  set(CURLOPT_PATH_AS_IS, 1L);
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_HTTP09_ALLOWED, 1L);
  set(CURLOPT_USERAGENT, s.agent.c_str());
  set(CURLOPT_HTTPHEADER, headers.get());
  set(CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
  set(CURLOPT_PROXYHEADER, proxyHeaders.get());
  set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  switch (s.proxyMode) {
    case ProxyMode::kDirect:
      set(CURLOPT_PROXY, "");
      break;
    case ProxyMode::kEnvironment:
      break;  // libcurl reads http_proxy, https_proxy and no_proxy itself
    case ProxyMode::kExplicit:
      set(CURLOPT_PROXY, s.options.secure ? "" : s.proxy.c_str());
      break;
  }
  set(CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
  set(CURLOPT_LOW_SPEED_LIMIT, settings.lowSpeedLimit);
  set(CURLOPT_LOW_SPEED_TIME, settings.lowSpeedTimeSeconds);
  set(CURLOPT_TIMEOUT_MS, settings.totalTimeoutMs);
  set(CURLOPT_WRITEFUNCTION, &State::WriteBody);
  set(CURLOPT_WRITEDATA, static_cast<void*>(&s));
  set(CURLOPT_HEADERFUNCTION, &State::WriteHeader);
  set(CURLOPT_HEADERDATA, static_cast<void*>(&s));
  if (body) {
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    set(CURLOPT_POSTFIELDS, body->data());
    if (s.verb != "POST") set(CURLOPT_CUSTOMREQUEST, s.verb.c_str());
  } else if (s.verb == "GET") {
    set(CURLOPT_HTTPGET, 1L);
  } else {
    set(CURLOPT_CUSTOMREQUEST, s.verb.c_str());
  }
  if (!good) {
    s.Report(TransportOutcome::kFailed, "the request could not be set up");
    return response;
  }

  const CURLcode code = curl_easy_perform(h);

  TransportReport report;
  report.url = s.url;
  report.curlCode = static_cast<int>(code);
  report.outcome = OutcomeOf(code, s.bodyLimitHit);
  if (report.outcome != TransportOutcome::kCompleted) {
    report.errorText = s.errorBuffer[0] != '\0' ? s.errorBuffer : curl_easy_strerror(code);
  }
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &report.httpStatus);
  curl_easy_getinfo(h, CURLINFO_REDIRECT_COUNT, &report.redirects);
  report.bytesRead = s.body.size();

  response.body = std::move(s.body);
  if (s.headerComplete) response.headerBlock = std::move(s.headerBlock);
  Publish(report);
  return response;
}

}  // namespace trawler
