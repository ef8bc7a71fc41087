// Test support: the fixture sites (tools/fixture_sites.py) as a child process.
//
// FixtureSites starts the local server on a free port of 127.0.0.1, waits (at most 10 s) for
// the line that names the port, and stops it in its destructor (SIGTERM, then SIGKILL). The
// server also ends by itself when the test process dies, because its stdin is a pipe whose
// only writer is this object. The server answers as an origin and as an HTTP proxy for the
// three site hosts; see tools/README.md for its pages, modes and hostile answers.
//
// Control calls (Requests, Reset, SetMode) talk to the server over plain POSIX sockets, never
// through the code under test; a failed control call is reported as a GoogleTest failure.
//
// Thread-safety: the accessors are const and safe from any thread; control calls may run on
// several threads at once (each opens its own connection).
#ifndef TRAWLER_TESTS_SUPPORT_FIXTURE_SITES_H_
#define TRAWLER_TESTS_SUPPORT_FIXTURE_SITES_H_

#include <sys/types.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trawler::test {

// One request as the server received it.
struct RecordedRequest {
  std::string head;         // request line, header lines and the blank line, byte for byte
  std::string body;         // the body (a chunked body decoded)
  std::string requestLine;  // the first line of head, without its line end
  std::vector<std::string> headerLines;  // each header line without its line end, in order

  // The method and the target of the request line ("GET http://h/p HTTP/1.1" gives "GET"
  // and "http://h/p").
  [[nodiscard]] std::string Method() const;
  [[nodiscard]] std::string Target() const;
};

struct FixtureOptions {
  bool tls = false;  // also serve HTTPS with a self-signed certificate (tlsPort())
  int hits = -1;     // hits per search page; -1 keeps the server's default (3)
  std::vector<std::string> extraArgs = {};  // more command-line arguments, e.g. "--site-host"
};

class FixtureSites {
 public:
  using Options = FixtureOptions;

  // Starts the server. When it does not come up within 10 s the failure is reported with
  // ADD_FAILURE and ok() is false; port() is then 0. Tests usually begin with
  // ASSERT_TRUE(sites.ok()).
  explicit FixtureSites(FixtureOptions options = {});
  ~FixtureSites();
  FixtureSites(const FixtureSites&) = delete;
  FixtureSites& operator=(const FixtureSites&) = delete;

  [[nodiscard]] bool ok() const { return port_ > 0; }
  [[nodiscard]] int port() const { return port_; }
  // The HTTPS port when started with tls, otherwise 0.
  [[nodiscard]] int tlsPort() const { return tlsPort_; }
  // "http://127.0.0.1:<port>" + path.
  [[nodiscard]] std::string Url(std::string_view path) const;
  // "http://127.0.0.1:<port>": the value for http_proxy or the proxy argument.
  [[nodiscard]] std::string ProxyUrl() const;
  // Makes this process's requests in proxy mode go through the server: sets http_proxy to
  // ProxyUrl() and clears no_proxy. Call before the test starts threads.
  void UseAsHttpProxy() const;

  // Every request recorded since the start or the last Reset(), in order; empty (with a
  // test failure) when the server cannot be asked.
  std::vector<RecordedRequest> Requests();
  // Forgets the records and sets every site back to normal.
  void Reset();
  // How site `site` (1-3) answers from now on: "normal", "foreign", "nomarker", "slow" or a
  // hostile mode ("silent", "drip", "reset", "huge", "badchunk", "redirectloop",
  // "redirectfile", "bigheader", "zeros", "badutf8", "backtrack", "bigdetail", "page1mib").
  // hits and delayMs: -1 keeps the site's earlier value.
  void SetMode(int site, std::string_view mode, int hits = -1, int delayMs = -1);

 private:
  // Sends one request to the server and returns the body of a 200 answer; false (with a
  // test failure naming `what`) otherwise.
  bool Control(std::string_view method, std::string_view target, std::string* body);
  void Stop();

  pid_t child_ = -1;
  int stdinFd_ = -1;   // write end of the child's stdin; closing it ends the server
  int stdoutFd_ = -1;  // read end of the child's stdout and stderr
  std::thread drain_;  // copies the child's later output to our stderr
  int port_ = 0;
  int tlsPort_ = 0;
};

// Splits what GET /__fixture/requests returns into records; false when it is malformed.
bool ParseRecordedRequests(std::string_view data, std::vector<RecordedRequest>* out);

}  // namespace trawler::test

#endif  // TRAWLER_TESTS_SUPPORT_FIXTURE_SITES_H_
