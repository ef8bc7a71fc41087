#include "tests/support/fixture_sites.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tests/support/support.h"

namespace trawler::test {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr int kControlTimeoutSeconds = 10;

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

// Reads the server's first lines ("PORT <n>", and "TLS_PORT <n>" with tls) within the start
// time-out. Returns false on time-out or end of output; `seen` keeps what was read, for the
// failure message (a Python traceback when the server could not start).
bool ReadPorts(int fd, bool tls, int* port, int* tlsPort, std::string* seen) {
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  for (;;) {
    std::size_t lineStart = 0;
    for (std::size_t end; (end = seen->find('\n', lineStart)) != std::string::npos;
         lineStart = end + 1) {
      const std::string line = seen->substr(lineStart, end - lineStart);
      if (line.rfind("PORT ", 0) == 0) *port = std::atoi(line.c_str() + 5);
      if (line.rfind("TLS_PORT ", 0) == 0) *tlsPort = std::atoi(line.c_str() + 9);
    }
    if (*port > 0 && (!tls || *tlsPort > 0)) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char buffer[4096];
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    seen->append(buffer, static_cast<std::size_t>(count));
  }
}

void ParseHead(RecordedRequest& record) {
  std::size_t start = 0;
  bool first = true;
  while (start < record.head.size()) {
    std::size_t end = record.head.find('\n', start);
    if (end == std::string::npos) end = record.head.size();
    std::string line = record.head.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    if (first) {
      record.requestLine = line;
      first = false;
    } else if (line.empty()) {
      break;
    } else {
      record.headerLines.push_back(line);
    }
  }
}

}  // namespace

bool ParseRecordedRequests(std::string_view data, std::vector<RecordedRequest>* out) {
  out->clear();
  while (!data.empty()) {
    const std::size_t lineEnd = data.find('\n');
    if (lineEnd == std::string_view::npos) return false;
    const std::string sizes(data.substr(0, lineEnd));
    char* rest = nullptr;
    const unsigned long long headLength = std::strtoull(sizes.c_str(), &rest, 10);
    if (rest == sizes.c_str() || *rest != ' ') return false;
    char* end = nullptr;
    const unsigned long long bodyLength = std::strtoull(rest + 1, &end, 10);
    if (end == rest + 1 || *end != '\0') return false;
    data.remove_prefix(lineEnd + 1);
    if (headLength > data.size() || bodyLength > data.size() - headLength) return false;
    RecordedRequest record;
    record.head = std::string(data.substr(0, headLength));
    record.body = std::string(data.substr(headLength, bodyLength));
    data.remove_prefix(headLength + bodyLength);
    ParseHead(record);
    out->push_back(std::move(record));
  }
  return true;
}

FixtureSites::FixtureSites(FixtureOptions options) {
  std::vector<std::string> args = {kPython,  std::string(kSourceDir) + "/tools/fixture_sites.py",
                                   "--bind", "127.0.0.1",
                                   "--port", "0"};
  if (options.tls) args.push_back("--tls");
  if (options.hits >= 0) {
    args.push_back("--hits");
    args.push_back(std::to_string(options.hits));
  }
  args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // Both pipes close on exec, so no other child of the test keeps them open: the server's
  // stdin ends exactly when this object (or the whole test process) goes away.
  int stdinPipe[2];
  int stdoutPipe[2];
  if (::pipe2(stdinPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "fixture sites: pipe2 failed: " << std::strerror(errno);
    return;
  }
  if (::pipe2(stdoutPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "fixture sites: pipe2 failed: " << std::strerror(errno);
    ::close(stdinPipe[0]);
    ::close(stdinPipe[1]);
    return;
  }
  child_ = ::fork();
  if (child_ == 0) {
    // Only async-signal-safe calls from here to exec. stdout and stderr both go into our
    // pipe, never to the test's own output, which ctest waits on until every holder closes.
    ::dup2(stdinPipe[0], 0);
    ::dup2(stdoutPipe[1], 1);
    ::dup2(stdoutPipe[1], 2);
    ::syscall(SYS_close_range, 3U, ~0U, 0U);
    ::execv(argv[0], argv.data());
    constexpr char kMessage[] = "fixture sites: cannot run the Python interpreter\n";
    [[maybe_unused]] const ssize_t ignored = ::write(2, kMessage, sizeof kMessage - 1);
    ::_exit(127);
  }
  ::close(stdinPipe[0]);
  ::close(stdoutPipe[1]);
  stdinFd_ = stdinPipe[1];
  stdoutFd_ = stdoutPipe[0];
  if (child_ < 0) {
    ADD_FAILURE() << "fixture sites: fork failed: " << std::strerror(errno);
    Stop();
    return;
  }

  std::string seen;
  int port = 0;
  int tlsPort = 0;
  if (!ReadPorts(stdoutFd_, options.tls, &port, &tlsPort, &seen)) {
    ADD_FAILURE() << "fixture sites did not start within 10 s (" << args[1] << "); its output:\n"
                  << seen;
    Stop();
    return;
  }
  port_ = port;
  tlsPort_ = tlsPort;
  // From now on whatever the server prints (--verbose, a traceback) goes to the test's
  // stderr; reading it keeps the server from blocking on a full pipe.
  drain_ = std::thread([fd = stdoutFd_] {
    char buffer[4096];
    for (;;) {
      const ssize_t count = ::read(fd, buffer, sizeof buffer);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) break;
      [[maybe_unused]] const ssize_t ignored = ::write(2, buffer, static_cast<std::size_t>(count));
    }
  });
}

FixtureSites::~FixtureSites() { Stop(); }

void FixtureSites::Stop() {
  CloseFd(stdinFd_);
  if (child_ > 0) {
    ::kill(child_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool reaped = false;
    while (std::chrono::steady_clock::now() < deadline) {
      const pid_t done = ::waitpid(child_, nullptr, WNOHANG);
      if (done == child_ || (done < 0 && errno != EINTR)) {
        reaped = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!reaped) {
      ::kill(child_, SIGKILL);
      while (::waitpid(child_, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    child_ = -1;
  }
  if (drain_.joinable()) drain_.join();
  CloseFd(stdoutFd_);
  port_ = 0;
  tlsPort_ = 0;
}

std::string FixtureSites::Url(std::string_view path) const {
  return ProxyUrl() + std::string(path);
}

std::string FixtureSites::ProxyUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

bool FixtureSites::Control(std::string_view method, std::string_view target, std::string* body) {
  const std::string what = std::string(method) + " " + std::string(target);
  if (port_ <= 0) {
    ADD_FAILURE() << "fixture sites: not running, cannot " << what;
    return false;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ADD_FAILURE() << "fixture sites: socket failed: " << std::strerror(errno);
    return false;
  }
  timeval timeout{kControlTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string response;
  bool sent = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (sent) {
    const std::string request = what + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                                "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    std::size_t done = 0;
    while (sent && done < request.size()) {
      const ssize_t count = ::send(fd, request.data() + done, request.size() - done, MSG_NOSIGNAL);
      if (count < 0 && errno == EINTR) continue;
      sent = count > 0;
      if (sent) done += static_cast<std::size_t>(count);
    }
  }
  if (sent) {
    char buffer[65536];
    for (;;) {
      const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) break;
      response.append(buffer, static_cast<std::size_t>(count));
    }
  }
  ::close(fd);
  const std::size_t headEnd = response.find("\r\n\r\n");
  if (!sent || headEnd == std::string::npos || response.rfind("HTTP/1.1 200 ", 0) != 0) {
    ADD_FAILURE() << "fixture sites: " << what << " failed; answer: " << response.substr(0, 200);
    return false;
  }
  *body = response.substr(headEnd + 4);
  return true;
}

std::vector<RecordedRequest> FixtureSites::Requests() {
  std::string data;
  std::vector<RecordedRequest> records;
  if (!Control("GET", "/__fixture/requests", &data)) return records;
  if (!ParseRecordedRequests(data, &records)) {
    ADD_FAILURE() << "fixture sites: malformed request records (" << data.size() << " bytes)";
    records.clear();
  }
  return records;
}

void FixtureSites::Reset() {
  std::string ignored;
  Control("POST", "/__fixture/reset", &ignored);
}

void FixtureSites::SetMode(int site, std::string_view mode, int hits, int delayMs) {
  std::string target =
      "/__fixture/mode?site=" + std::to_string(site) + "&mode=" + std::string(mode);
  if (hits >= 0) target += "&hits=" + std::to_string(hits);
  if (delayMs >= 0) target += "&delay_ms=" + std::to_string(delayMs);
  std::string ignored;
  Control("POST", target, &ignored);
}

std::string RecordedRequest::Method() const { return requestLine.substr(0, requestLine.find(' ')); }

std::string RecordedRequest::Target() const {
  const auto first = requestLine.find(' ');
  const auto last = requestLine.rfind(' ');
  if (first == std::string::npos || last <= first) return {};
  return requestLine.substr(first + 1, last - first - 1);
}

void FixtureSites::UseAsHttpProxy() const {
  setenv("http_proxy", ProxyUrl().c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
}

}  // namespace trawler::test
