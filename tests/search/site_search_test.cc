// The three site routines against the fixture sites, through the real request path: the
// routines' requests go to http://engineN.example/..., which http_proxy sends to the fixture.
#include "search/site_search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <regex>
#include <string>

#include "cli/table_port.h"
#include "search/dispatch.h"
#include "tests/support/fixture_sites.h"
#include "text/code_page.h"

namespace trawler {
namespace {

using test::FixtureSites;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SiteSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixture_.ok());
    fixture_.UseAsHttpProxy();
    CurrentPage.store(1);
  }

  // Runs site `site` with `keyword` (UTF-8) on `page` and returns the rows.
  std::vector<TableControlsPort::Row> Search(int site, const std::string& keyword, int page = 1) {
    port_.SelectEngineIndex(site - 1);
    port_.SetKeyword(Utf8ToGbk(keyword));
    CurrentPage.store(page);
    DefaultSiteRoutines()[site - 1](port_);
    return port_.Rows();
  }

  FixtureSites fixture_;
  TableControlsPort port_;
};

struct SiteCase {
  int site;
  const char* method;
  // The targets the routine requests for keyword "abc" on page 2, in order.
  std::vector<std::string> targets;
};

TEST_F(SiteSearchTest, RequestsAndRowsOfEachSite) {
  const std::vector<SiteCase> cases = {
      {1, "GET", {"http://engine1.example/search/%61%62%63/currentPage/2"}},
      {2, "GET", {"http://engine2.example/search/%61%62%63/2"}},
      // Site 3 posts the keyword to its front page, then to the result page of the key
      // that the front page links.
      {3, "POST", {"http://engine3.example/", "http://engine3.example/search/KEY/2/0.html"}},
  };
  const std::regex site1Link(R"(http://engine1\.example/detail/[0-9A-F]{40}\.html)");
  const std::regex site2Link(R"(detail/[0-9A-F]{40}\.html)");
  const std::regex magnet(R"(magnet:\?xt=urn:btih:[0-9A-F]{40})");
  for (const SiteCase& c : cases) {
    SCOPED_TRACE("site " + std::to_string(c.site));
    fixture_.Reset();
    const auto rows = Search(c.site, "abc", 2);

    const auto requests = fixture_.Requests();
    ASSERT_EQ(requests.size(), c.targets.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
      EXPECT_EQ(requests[i].Method(), c.method);
      if (c.site == 3 && i == 1) {
        EXPECT_THAT(requests[i].Target(),
                    ::testing::MatchesRegex("http://engine3\\.example/search/[^/]+/2/0\\.html"));
      } else {
        EXPECT_EQ(requests[i].Target(), c.targets[i]);
      }
      EXPECT_EQ(requests[i].body, c.site == 3 ? "keyword=%61%62%63" : "");
    }

    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::string n = std::to_string(i + 1);
      EXPECT_EQ(rows[i][0], n);
      // Name, size, date in columns 1-3 whatever order the site's groups come in.
      EXPECT_EQ(rows[i][1], Utf8ToGbk("abc 第2页 第" + n + "条"));
      EXPECT_EQ(rows[i][2], "1." + n + " GB");
      EXPECT_EQ(rows[i][3], "2026-12-0" + n);
      const std::regex& link = c.site == 1 ? site1Link : c.site == 2 ? site2Link : magnet;
      EXPECT_TRUE(std::regex_match(rows[i][4], link)) << rows[i][4];
    }
  }
}

TEST_F(SiteSearchTest, KeywordIsEncodedAsUtf8Escapes) {
  struct Case {
    int site;
    std::string keyword;
    std::string expected;  // in the target (sites 1, 2) or the body (site 3)
  } const cases[] = {
      // An empty keyword still sends a request, with an empty segment.
      {1, "", "http://engine1.example/search//currentPage/1"},
      {1, "a b", "http://engine1.example/search/%61%20%62/currentPage/1"},
      {2, "a b", "http://engine2.example/search/%61%20%62/1"},
      {3, "a b", "keyword=%61%20%62"},
      // Chinese is sent as its UTF-8 bytes, not its GBK ones.
      {2, "中", "http://engine2.example/search/%E4%B8%AD/1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("site " + std::to_string(c.site) + " keyword '" + c.keyword + "'");
    fixture_.Reset();
    Search(c.site, c.keyword);
    const auto requests = fixture_.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(c.site == 3 ? requests[0].body : requests[0].Target(), c.expected);
  }
}

TEST_F(SiteSearchTest, ListIsEmptyWhenTheSiteGivesNoHits) {
  // Rows of an earlier search must go even when the new request fails. (A page cut short
  // keeps the hits that arrived, so modes that break a page midway do not belong here.)
  const char* modes[] = {"foreign", "redirectloop", "redirectfile"};
  for (int site = 1; site <= 3; ++site) {
    for (const char* mode : modes) {
      SCOPED_TRACE("site " + std::to_string(site) + " mode " + mode);
      fixture_.SetMode(site, "normal");
      ASSERT_EQ(Search(site, "abc").size(), 3u);
      fixture_.SetMode(site, mode);
      EXPECT_THAT(Search(site, "abc"), IsEmpty());
    }
  }
}

TEST_F(SiteSearchTest, DeadSiteLeavesTheListEmpty) {
  ASSERT_EQ(Search(1, "abc").size(), 3u);
  // A proxy that refuses connections: nothing answers at all.
  setenv("http_proxy", "http://127.0.0.1:1", 1);
  EXPECT_THAT(Search(1, "abc"), IsEmpty());
}

TEST_F(SiteSearchTest, Site3WithoutKeyRequestsAnEmptyKeySegment) {
  fixture_.SetMode(3, "nomarker");
  Search(3, "abc");
  const auto requests = fixture_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Target(), "http://engine3.example/search//1/0.html");
}

// A keyword box whose text changes after the first read.
class ChangingKeywordPort : public TableControlsPort {
 public:
  Text KeywordText() override { return reads_++ == 0 ? "a" : "b"; }

 private:
  std::atomic<int> reads_{0};
};

TEST_F(SiteSearchTest, Site3ReadsTheKeywordAgainForItsSecondRequest) {
  ChangingKeywordPort port;
  port.SelectEngineIndex(2);
  SearchEngine3(port);
  const auto requests = fixture_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].body, "keyword=%61");
  EXPECT_EQ(requests[1].body, "keyword=%62");
}

TEST_F(SiteSearchTest, PageCounterIsReadWhenTheUrlIsBuilt) {
  Search(2, "x", 7);
  Search(3, "x", 9);
  const auto requests = fixture_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Target(), "http://engine2.example/search/%78/7");
  EXPECT_THAT(requests[2].Target(), ::testing::EndsWith("/9/0.html"));
}

}  // namespace
}  // namespace trawler
