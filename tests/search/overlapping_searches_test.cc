// Many searches at once over one set of controls, as a user who keeps clicking makes them:
// the real dispatch on real detached workers, the real site routines and request path to the
// fixture sites (slow, so that the searches overlap), and clicks on rows meanwhile. Built
// without a window, so that ThreadSanitizer sees every access (the Qt library is not
// instrumented): the window's own run of the same is a test of app/.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <thread>

#include "cli/table_port.h"
#include "search/dispatch.h"
#include "search/result_details.h"
#include "search/site_search.h"
#include "tests/support/fixture_sites.h"
#include "text/code_page.h"

namespace trawler {
namespace {

TEST(OverlappingSearchesTest, FiftySearchesOnAllSitesWithClicksWhileTheyRun) {
  test::FixtureSites fixture;
  ASSERT_TRUE(fixture.ok());
  setenv("http_proxy", fixture.ProxyUrl().c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
  for (int site = 1; site <= 3; ++site) fixture.SetMode(site, "slow", 2, 200);

  TableControlsPort port;
  port.SetKeyword(Utf8ToGbk("重叠"));
  std::atomic<int> running{0};
  SearchDispatch dispatch(port, DefaultSiteRoutines(), [&running](std::function<void()> worker) {
    ++running;
    const bool started = StartWorker([&running, worker = std::move(worker)] {
      worker();
      --running;
    });
    if (!started) --running;
    return started;
  });

  for (int i = 0; i < 50; ++i) {
    port.SelectEngineIndex(i % 3);
    if (i % 5 == 4) {
      dispatch.OnNextPageClicked();
    } else {
      dispatch.OnSearchClicked();
    }
  }
  EXPECT_GT(running.load(), 0) << "the searches were meant to overlap";
  // Clicks on a row while the searches write the list: the row may be emptied under them.
  int clicks = 0;
  for (int i = 0; running.load() > 0; ++i) {
    port.SelectEngineIndex(i % 3);
    if (port.Rows().empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    port.SelectRow(0);
    OnResultListClicked(port);
    ++clicks;
  }

  // Whatever mix of searches the list ends with, each cell holds a whole value.
  for (const TableControlsPort::Row& row : port.Rows()) {
    const std::string name = GbkToUtf8(row[1]);
    EXPECT_TRUE(name.empty() || name.starts_with("重叠 第")) << name;
  }
  port.SelectRow(0);
  port.SelectEngineIndex(2);
  OnResultListClicked(port);
  std::cout << "overlapping searches: 50 started, " << clicks << " row clicks meanwhile, "
            << port.Rows().size() << " rows at the end\n";
}

}  // namespace
}  // namespace trawler
