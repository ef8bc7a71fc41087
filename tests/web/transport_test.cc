// The transport's own promises: reports and settings belong to the thread that made the
// exchange, observers nest, and a header block cannot smuggle a line break into a request.
#include "web/transport.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fixture_sites.h"
#include "web/http_exchange.h"

namespace trawler {
namespace {

using test::FixtureSites;

class TransportTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) unsetenv(name);
    sites_ = new FixtureSites();
  }
  static void TearDownTestSuite() {
    delete sites_;
    sites_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(sites_->ok());
    sites_->Reset();
  }

  static FixtureSites* sites_;
};

FixtureSites* TransportTest::sites_ = nullptr;

TEST_F(TransportTest, ReportsAndSettingsStayOnTheirThread) {
  std::vector<TransportReport> mainReports;
  ScopedExchangeObserver mainObserver([&](const TransportReport& r) { mainReports.push_back(r); });

  constexpr int kThreads = 5;
  std::vector<std::vector<TransportReport>> reports(kThreads);
  std::vector<Bytes> bodies(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ScopedExchangeObserver observer([&](const TransportReport& r) { reports[i].push_back(r); });
      TransportSettings settings;
      settings.bodyLimit = static_cast<std::size_t>(i + 1);  // "e", "ec", ... "echo\n"
      ScopedTransportSettings scoped(settings);
      bodies[i] = HttpExchange(sites_->Url("/echo?thread=" + std::to_string(i)));
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bodies[i], std::string("echo\n").substr(0, i + 1));
    ASSERT_EQ(reports[i].size(), 1u);
    EXPECT_EQ(reports[i][0].url, sites_->Url("/echo?thread=" + std::to_string(i)));
    EXPECT_EQ(reports[i][0].httpStatus, 200);
    EXPECT_EQ(reports[i][0].bytesRead, static_cast<std::uint64_t>(i + 1));
    EXPECT_EQ(reports[i][0].outcome,
              i + 1 < 5 ? TransportOutcome::kBodyLimit : TransportOutcome::kCompleted);
  }
  EXPECT_TRUE(mainReports.empty());
  EXPECT_EQ(CurrentTransportSettings().bodyLimit, TransportSettings{}.bodyLimit);
}

TEST_F(TransportTest, ObserversAndSettingsNest) {
  std::vector<std::string> seen;
  ScopedExchangeObserver outer([&](const TransportReport&) { seen.push_back("outer"); });
  TransportSettings small;
  small.bodyLimit = 2;
  {
    ScopedExchangeObserver inner([&](const TransportReport&) { seen.push_back("inner"); });
    ScopedTransportSettings scoped(small);
    EXPECT_EQ(HttpExchange(sites_->Url("/echo")), "ec");
    {
      // An observer that throws is ignored; the exchange is not disturbed.
      ScopedExchangeObserver thrower(
          [](const TransportReport&) { throw std::runtime_error("observer failed"); });
      EXPECT_EQ(HttpExchange(sites_->Url("/echo")), "ec");
    }
  }
  EXPECT_EQ(HttpExchange(sites_->Url("/echo")), "echo\n");
  EXPECT_EQ(seen, (std::vector<std::string>{"inner", "outer"}));
}

TEST_F(TransportTest, EveryLineBreakInTheHeaderBlockStartsANewLine) {
  std::unique_ptr<Transfer> transfer = Transfer::Open("agent", ProxyMode::kDirect);
  ASSERT_TRUE(transfer);
  ASSERT_TRUE(transfer->Connect("127.0.0.1", sites_->port()));
  ASSERT_TRUE(transfer->OpenRequest("GET", "/echo", RequestOptions{}));
  const TransportResponse response =
      transfer->Send("A: 1\nB: 2\rC: 3\r\n\r\nD: 4\r\n", std::nullopt);
  EXPECT_EQ(response.body, "echo\n");
  ASSERT_TRUE(response.headerBlock.has_value());
  EXPECT_TRUE(response.headerBlock->starts_with("HTTP/1.1 200"));
  const std::vector<test::RecordedRequest> requests = sites_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].head,
            "GET /echo HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(sites_->port()) +
                "\r\nUser-Agent: agent\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n\r\n");
}

// The stand-in that tests and fuzzing put in place of the network: it sees the request the
// routine would send, answers on its own thread only, and the body cap and report still
// apply. Nothing reaches the fixture while it lives.
TEST_F(TransportTest, OverrideAnswersInPlaceOfTheNetworkOnItsThreadOnly) {
  std::vector<TransportRequest> seen;
  std::vector<TransportReport> reports;
  ScopedExchangeObserver observer([&](const TransportReport& r) { reports.push_back(r); });
  {
    ScopedTransportOverride network([&](const TransportRequest& request) {
      seen.push_back(request);
      TransportResponse response;
      response.body = "fake page";
      response.headerBlock = "HTTP/1.1 200 OK\r\nSet-Cookie: s=1; p\r\n\r\n";
      return response;
    });
    Text cookies;
    EXPECT_EQ(HttpExchange(sites_->Url("/echo"), 1, Text("k=v"), &cookies), "fake page");
    EXPECT_EQ(cookies, "s=1");
    TransportSettings small;
    small.bodyLimit = 4;
    {
      ScopedTransportSettings scoped(small);
      EXPECT_EQ(HttpExchange(sites_->Url("/echo")), "fake");
    }
    {
      // An override that throws fails the exchange like a broken connection.
      ScopedTransportOverride thrower(
          [](const TransportRequest&) -> TransportResponse { throw std::runtime_error("x"); });
      EXPECT_EQ(HttpExchange(sites_->Url("/echo")), "");
    }
    // Another thread goes to the network as always.
    Bytes fromThread;
    std::thread([&] { fromThread = HttpExchange(sites_->Url("/echo")); }).join();
    EXPECT_EQ(fromThread, "echo\n");
  }
  EXPECT_EQ(HttpExchange(sites_->Url("/echo")), "echo\n");

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].verb, "POST");
  EXPECT_EQ(seen[0].url, sites_->Url("/echo"));
  EXPECT_EQ(seen[0].body, std::optional<std::string>("k=v"));
  EXPECT_NE(seen[0].headerBlock.find("Referer: " + sites_->Url("/echo")), std::string::npos);
  EXPECT_EQ(sites_->Requests().size(), 2u);  // the other thread's and the last one only
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[0].outcome, TransportOutcome::kCompleted);
  EXPECT_EQ(reports[1].outcome, TransportOutcome::kBodyLimit);
  EXPECT_EQ(reports[1].bytesRead, 4u);
  EXPECT_EQ(reports[2].outcome, TransportOutcome::kFailed);
  EXPECT_EQ(reports[3].httpStatus, 200);
}

}  // namespace
}  // namespace trawler
