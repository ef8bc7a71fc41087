// What a click on a hit shows, against the fixture sites through the real request path.
#include "search/result_details.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cli/table_port.h"
#include "search/dispatch.h"
#include "search/site_search.h"
#include "tests/support/fixture_sites.h"
#include "text/code_page.h"

namespace trawler {
namespace {

using test::FixtureSites;

// The magnet address of a detail link or magnet column ("...<hash>.html" or a magnet).
std::string MagnetOf(const std::string& link) {
  const auto slash = link.rfind('/');
  const std::string hash = link.substr(slash + 1, 40);
  return "magnet:?xt=urn:btih:" + hash;
}

class ResultDetailsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixture_.ok());
    fixture_.UseAsHttpProxy();
    CurrentPage.store(1);
  }

  // Fills the list from a search on `site`, then clears the fixture's records.
  void SearchOn(int site) {
    port_.SelectEngineIndex(site - 1);
    port_.SetKeyword("abc");
    DefaultSiteRoutines()[site - 1](port_);
    ASSERT_EQ(port_.Rows().size(), 3u);
    fixture_.Reset();
  }

  FixtureSites fixture_;
  TableControlsPort port_;
};

TEST_F(ResultDetailsTest, ClickShowsNameAndDownloadAddress) {
  for (int site = 1; site <= 3; ++site) {
    SCOPED_TRACE("site " + std::to_string(site));
    SearchOn(site);
    port_.SelectRow(1);
    const auto row = port_.Rows()[1];
    OnResultListClicked(port_);
    EXPECT_EQ(port_.TitleText(), row[1]);
    EXPECT_EQ(port_.AddressText(), site == 3 ? row[4] : MagnetOf(row[4]));

    const auto requests = fixture_.Requests();
    if (site == 3) {
      EXPECT_TRUE(requests.empty()) << "site 3 holds the address in the row";
    } else {
      ASSERT_EQ(requests.size(), 1u);
      // Site 1's link is the whole URL; site 2's is joined to its host with a "/".
      EXPECT_EQ(requests[0].Target(), site == 1 ? row[4] : "http://engine2.example/" + row[4]);
    }
  }
}

TEST_F(ResultDetailsTest, Site2LinkIsJoinedUnchanged) {
  port_.SelectEngineIndex(1);
  port_.AppendRow();
  port_.SetCellText(0, 4, "/detail/x.html");
  port_.SelectRow(0);
  OnResultListClicked(port_);
  const auto requests = fixture_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  // A link beginning with "/" gives two slashes in a row.
  EXPECT_EQ(requests[0].Target(), "http://engine2.example//detail/x.html");
}

TEST_F(ResultDetailsTest, FailedOrMarkerlessDetailEmptiesTheAddressOnly) {
  for (const char* mode : {"foreign", "reset"}) {
    SCOPED_TRACE(mode);
    SearchOn(1);
    port_.SetAddressText("old");
    port_.SelectRow(0);
    fixture_.SetMode(1, mode);
    OnResultListClicked(port_);
    EXPECT_EQ(port_.TitleText(), port_.Rows()[0][1]);
    EXPECT_EQ(port_.AddressText(), "");
    fixture_.SetMode(1, "normal");
  }
}

TEST_F(ResultDetailsTest, ClickOnEmptySpace) {
  struct Case {
    int site;
    std::size_t requests;
    std::string target;
  } const cases[] = {
      // Site 1 requests an empty URL, which cannot be sent at all.
      {1, 0, ""},
      // Site 2 requests its root page.
      {2, 1, "http://engine2.example/"},
      {3, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("site " + std::to_string(c.site));
    SearchOn(c.site);
    port_.SetTitleText("old title");
    port_.SetAddressText("old address");
    port_.SelectRow(-1);
    OnResultListClicked(port_);
    EXPECT_EQ(port_.TitleText(), "");
    EXPECT_EQ(port_.AddressText(), "");
    const auto requests = fixture_.Requests();
    ASSERT_EQ(requests.size(), c.requests);
    if (c.requests > 0) {
      EXPECT_EQ(requests[0].Target(), c.target);
    }
  }
}

TEST_F(ResultDetailsTest, NoValidSiteChangesNothing) {
  SearchOn(1);
  port_.SetTitleText("t");
  port_.SetAddressText("a");
  port_.SelectRow(0);
  for (int index : {-1, 3}) {
    port_.SelectEngineIndex(index);
    OnResultListClicked(port_);
    EXPECT_EQ(port_.TitleText(), "t");
    EXPECT_EQ(port_.AddressText(), "a");
  }
  EXPECT_TRUE(fixture_.Requests().empty());
}

TEST_F(ResultDetailsTest, SiteChosenAtClickTimeDecides) {
  // Rows of site 1, handled as site 3: the detail link itself becomes the address.
  SearchOn(1);
  port_.SelectEngineIndex(2);
  port_.SelectRow(2);
  OnResultListClicked(port_);
  EXPECT_EQ(port_.AddressText(), port_.Rows()[2][4]);
  EXPECT_TRUE(fixture_.Requests().empty());
}

}  // namespace
}  // namespace trawler
