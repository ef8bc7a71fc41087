// Search dispatch and paging: which site a click starts and which page it asks for.
#include "search/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace trawler {
namespace {

// An in-memory EngineCombo and ResultList. Records the page counter each time the selection
// is read, so tests can see that a click changes the counter before it reads the site.
class FakePort : public ControlsPort {
 public:
  int currentIndex = 0;
  std::vector<int> itemValues{1, 2, 3};
  std::vector<std::vector<Text>> rows;
  std::vector<int> pageAtSelectionRead;
  // Moves the selection on by this much after every read of it.
  int indexDriftPerRead = 0;

  int EngineComboCurrentIndex() override {
    pageAtSelectionRead.push_back(CurrentPage.load());
    const int index = currentIndex;
    currentIndex += indexDriftPerRead;
    return index;
  }
  int EngineComboItemCount() override { return static_cast<int>(itemValues.size()); }
  int EngineComboItemValue(int index) override {
    if (index < 0 || index >= EngineComboItemCount()) return -1;
    return itemValues[static_cast<std::size_t>(index)];
  }
  Text KeywordText() override { return "keyword"; }
  void ClearRows() override { rows.clear(); }
  int AppendRow() override {
    rows.emplace_back(5);
    return static_cast<int>(rows.size()) - 1;
  }
  void SetCellText(int row, int column, const Text& text) override {
    if (row < 0 || row >= static_cast<int>(rows.size()) || column < 0 || column >= 5) return;
    rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
  }
  Text GetCellText(int row, int column) override {
    if (row < 0 || row >= static_cast<int>(rows.size()) || column < 0 || column >= 5) return {};
    return rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
  }
  int FirstSelectedRow() override { return -1; }
  void SetTitleText(const Text&) override {}
  void SetAddressText(const Text&) override {}
};

// One started search: the site and the page it would put into its URL.
struct Request {
  int site;
  int page;
  bool operator==(const Request&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Request& request) {
  return out << "{site " << request.site << ", page " << request.page << "}";
}

// Site routines that note what they would request and write one row; a starter that runs the
// worker at once on the calling thread (each worker has built its URL before the next click),
// or fails as a thread that could not be created.
class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { CurrentPage.store(0); }

  SearchDispatch MakeDispatch(bool threadsCanStart = true) {
    SiteRoutines routines;
    for (int site = 1; site <= 3; ++site) {
      routines[static_cast<std::size_t>(site - 1)] = [this, site](ControlsPort& controls) {
        requests.push_back({site, CurrentPage.load()});
        controls.ClearRows();
        controls.SetCellText(controls.AppendRow(), 1, "row of site " + std::to_string(site));
      };
    }
    WorkerStarter starter = [this, threadsCanStart](std::function<void()> worker) {
      ++startAttempts;
      if (!threadsCanStart) return false;
      worker();
      return true;
    };
    return SearchDispatch(port, routines, starter);
  }

  FakePort port;
  std::vector<Request> requests;
  int startAttempts = 0;
};

TEST_F(DispatchTest, ClicksRequestPagesInSequence) {
  enum Click { kSearch, kNext, kSite1, kSite2, kSite3 };
  struct Case {
    const char* name;
    std::vector<Click> clicks;
    std::vector<Request> expected;
  };
  const Case cases[] = {
      {"search then next twice", {kSearch, kNext, kNext}, {{1, 1}, {1, 2}, {1, 3}}},
      // The counter starts at 0, so a first Next asks for page 1 as Search would.
      {"next first", {kNext}, {{1, 1}}},
      // The counter belongs to no site: switching keeps it running.
      {"site switch keeps the counter",
       {kSite1, kSearch, kNext, kSite2, kNext},
       {{1, 1}, {1, 2}, {2, 3}}},
      {"search starts again at 1",
       {kSite3, kNext, kNext, kSearch, kNext},
       {{3, 1}, {3, 2}, {3, 1}, {3, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CurrentPage.store(0);
    requests.clear();
    port.currentIndex = 0;
    SearchDispatch dispatch = MakeDispatch();
    for (Click click : c.clicks) {
      switch (click) {
        case kSearch:
          dispatch.OnSearchClicked();
          break;
        case kNext:
          dispatch.OnNextPageClicked();
          break;
        case kSite1:
          port.currentIndex = 0;
          break;
        case kSite2:
          port.currentIndex = 1;
          break;
        case kSite3:
          port.currentIndex = 2;
          break;
      }
    }
    EXPECT_EQ(requests, c.expected);
  }
}

TEST_F(DispatchTest, NoValidSelectionChangesTheCounterAndStartsNothing) {
  struct Case {
    const char* name;
    int index;
    std::vector<int> values;
  };
  const Case cases[] = {
      {"nothing selected", -1, {1, 2, 3}},
      {"index past the last item", 3, {1, 2, 3}},
      {"no items at all", 0, {}},
      // An item whose value names no site.
      {"unknown value", 0, {7, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port.currentIndex = c.index;
    port.itemValues = c.values;
    CurrentPage.store(5);
    SearchDispatch dispatch = MakeDispatch();
    dispatch.OnNextPageClicked();
    EXPECT_EQ(CurrentPage.load(), 6);
    dispatch.OnSearchClicked();
    EXPECT_EQ(CurrentPage.load(), 1);
    dispatch.OnNextPageClicked();
    EXPECT_EQ(CurrentPage.load(), 2);
    EXPECT_EQ(startAttempts, 0);
    EXPECT_TRUE(requests.empty());
  }
}

TEST_F(DispatchTest, CounterChangesBeforeTheSiteIsRead) {
  SearchDispatch dispatch = MakeDispatch();
  CurrentPage.store(4);
  dispatch.OnNextPageClicked();
  ASSERT_FALSE(port.pageAtSelectionRead.empty());
  for (int page : port.pageAtSelectionRead) EXPECT_EQ(page, 5);
  port.pageAtSelectionRead.clear();
  dispatch.OnSearchClicked();
  ASSERT_FALSE(port.pageAtSelectionRead.empty());
  for (int page : port.pageAtSelectionRead) EXPECT_EQ(page, 1);
}

TEST_F(DispatchTest, EachSiteTestReadsTheSelectionAfresh) {
  // A selection that moves on with every read shows three separate tests, not one choice
  // made once: each test sees the next item.
  port.indexDriftPerRead = 1;
  SearchDispatch dispatch = MakeDispatch();
  dispatch.OnSearchClicked();
  EXPECT_EQ(requests, (std::vector<Request>{{1, 1}, {2, 1}, {3, 1}}));
}

TEST_F(DispatchTest, FailedThreadCreationLeavesTheListAlone) {
  port.rows = {{"1", "earlier hit", "1 GB", "2024-01-01", "link"}};
  const auto before = port.rows;
  SearchDispatch dispatch = MakeDispatch(/*threadsCanStart=*/false);
  dispatch.OnSearchClicked();
  dispatch.OnNextPageClicked();
  EXPECT_EQ(startAttempts, 2);
  EXPECT_TRUE(requests.empty());
  EXPECT_EQ(port.rows, before);
  EXPECT_EQ(CurrentPage.load(), 2);
}

TEST(StartWorkerTest, RunsTheRoutineOnAnotherThreadWithoutWaiting) {
  std::promise<std::thread::id> ranOn;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  // The routine blocks until released: StartWorker must return before it ends.
  ASSERT_TRUE(StartWorker([&ranOn, released] {
    ranOn.set_value(std::this_thread::get_id());
    released.wait();
  }));
  const std::thread::id worker = ranOn.get_future().get();
  EXPECT_NE(worker, std::this_thread::get_id());
  release.set_value();
}

}  // namespace
}  // namespace trawler
