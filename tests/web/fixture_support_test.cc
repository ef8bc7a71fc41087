// The fixture-sites support class: it starts the server, the server records what a client
// sends byte for byte, and the control calls read, reset and switch it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "tests/support/fixture_sites.h"

namespace trawler::test {
namespace {

// Sends `request` to 127.0.0.1:port over a raw socket and returns everything read until the
// server closes the connection ("" when it cannot connect).
std::string Exchange(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return "";
  timeval timeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string response;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (ssize_t count; (count = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
      response.append(buffer, static_cast<std::size_t>(count));
    }
  }
  ::close(fd);
  return response;
}

TEST(FixtureSupportTest, RecordsRequestsByteForByteAndResets) {
  FixtureSites sites;
  ASSERT_TRUE(sites.ok());
  EXPECT_EQ(sites.Url("/echo"), "http://127.0.0.1:" + std::to_string(sites.port()) + "/echo");

  // Odd spacing and a lower-case header name must come back untouched.
  const std::string head =
      "POST /echo HTTP/1.1\r\nHost: 127.0.0.1\r\nx-odd:  two  spaces \r\n"
      "Content-Length: 5\r\nConnection: close\r\n\r\n";
  const std::string body("a\0b\r\n", 5);
  const std::string answer = Exchange(sites.port(), head + body);
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 ", 0), 0u) << answer;

  std::vector<RecordedRequest> requests = sites.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].head, head);
  EXPECT_EQ(requests[0].body, body);
  EXPECT_EQ(requests[0].requestLine, "POST /echo HTTP/1.1");
  EXPECT_EQ(requests[0].headerLines,
            (std::vector<std::string>{"Host: 127.0.0.1", "x-odd:  two  spaces ",
                                      "Content-Length: 5", "Connection: close"}));

  sites.Reset();
  EXPECT_TRUE(sites.Requests().empty());
}

TEST(FixtureSupportTest, SetModeChangesHowASiteAnswers) {
  FixtureSites sites({.hits = 2});
  ASSERT_TRUE(sites.ok());
  const std::string request =
      "GET http://engine2.example/search/%61/1 HTTP/1.1\r\nHost: engine2.example\r\n"
      "Connection: close\r\n\r\n";
  auto rows = [](const std::string& page) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = page.find("<tr><td class=\"name\">", at)) != page.npos; ++at) {
      ++count;
    }
    return count;
  };
  EXPECT_EQ(rows(Exchange(sites.port(), request)), 2u);
  sites.SetMode(2, "normal", 5);
  EXPECT_EQ(rows(Exchange(sites.port(), request)), 5u);
  sites.SetMode(2, "foreign");
  EXPECT_EQ(rows(Exchange(sites.port(), request)), 0u);
}

TEST(FixtureSupportTest, ParseRecordedRequestsRejectsTruncatedData) {
  std::vector<RecordedRequest> records;
  EXPECT_TRUE(ParseRecordedRequests("", &records));
  EXPECT_TRUE(records.empty());
  const struct {
    const char* data;
    const char* why;
  } bad[] = {
      {"5 0\nGET", "head shorter than announced"},
      {"4 3\nGET\nab", "body shorter than announced"},
      {"x 0\n", "no number"},
      {"4 0", "no line end after the sizes"},
  };
  for (const auto& item : bad) {
    EXPECT_FALSE(ParseRecordedRequests(item.data, &records)) << item.why;
  }
}

}  // namespace
}  // namespace trawler::test
