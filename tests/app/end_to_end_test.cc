// The whole job in the real window: real site routines on real worker threads, the real
// request path through http_proxy to the fixture sites, the X clipboard read back by
// another program.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "app_test_support.h"
#include "search/dispatch.h"
#include "tests/support/fixture_sites.h"

namespace trawler::test {
namespace {

using namespace Qt::StringLiterals;

class EndToEndTest : public RealProgramTest {
 protected:
  // Selects site `site`, types `keyword` (ASCII: the test tool types Latin keys only) and
  // clicks Search.
  void SearchFor(int site, const QString& keyword) {
    Window().EngineCombo()->setCurrentIndex(site - 1);
    Window().KeywordEdit()->clear();
    QTest::keyClicks(Window().KeywordEdit(), keyword);
    QTest::mouseClick(Window().SearchButton(), Qt::LeftButton);
  }

  // Waits for the workers to end, then returns the number of rows.
  int RowsWhenDone() {
    EXPECT_TRUE(ProcessEventsUntil([this] { return running_ == 0; }));
    return Window().ResultList()->rowCount();
  }

  void ClickRow(int row) {
    ResultTable* list = Window().ResultList();
    const QRect rect = list->visualRect(list->model()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  }
};

TEST_F(EndToEndTest, SearchNextPageDetailsAndCopy) {
  for (int site = 1; site <= 3; ++site) {
    SCOPED_TRACE("site " + std::to_string(site));
    SearchFor(site, u"abc"_s);
    ASSERT_EQ(RowsWhenDone(), 3);
    EXPECT_EQ(Window().ResultList()->Cell(1, 0), u"2"_s);
    EXPECT_EQ(Window().ResultList()->Cell(1, 1), u"abc 第1页 第2条"_s);

    fixture_.Reset();
    QTest::mouseClick(Window().NextPageButton(), Qt::LeftButton);
    ASSERT_EQ(RowsWhenDone(), 3);
    EXPECT_EQ(Window().ResultList()->Cell(0, 1), u"abc 第2页 第1条"_s);
    const auto requests = fixture_.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_NE(requests.back().requestLine.find(site == 3 ? "/2/0.html " : "/2 "), std::string::npos)
        << requests.back().requestLine;

    ClickRow(2);
    EXPECT_EQ(Window().TitleEdit()->ExactText(), u"abc 第2页 第3条"_s);
    const QString address = Window().AddressEdit()->ExactText();
    EXPECT_TRUE(address.startsWith(u"magnet:?xt=urn:btih:"_s)) << address.toStdString();

    QTest::mouseClick(Window().CopyButton(), Qt::LeftButton);
    const ChildResult xclip = RunToEnd(u"xclip"_s, {u"-o"_s, u"-selection"_s, u"clipboard"_s});
    ASSERT_TRUE(xclip.ended);
    EXPECT_EQ(xclip.out, address.toUtf8());
  }
}

TEST_F(EndToEndTest, QuickClicksWhileTheSiteIsSlow) {
  fixture_.SetMode(1, "slow", -1, 300);
  Window().EngineCombo()->setCurrentIndex(0);
  QTest::keyClicks(Window().KeywordEdit(), u"abc"_s);
  for (int i = 0; i < 10; ++i) QTest::mouseClick(Window().SearchButton(), Qt::LeftButton);
  // Every click returned at once: all ten searches are still waiting for the slow site.
  EXPECT_EQ(running_, 10);
  // The window keeps answering while they run.
  bool timerFired = false;
  QTimer::singleShot(0, [&timerFired] { timerFired = true; });
  EXPECT_TRUE(ProcessEventsUntil([&timerFired] { return timerFired; }));
  EXPECT_GT(running_, 0);

  const int rows = RowsWhenDone();
  // The searches interleave, so the list holds the rows of the last ones, in some mix.
  EXPECT_GE(rows, 3);
  for (int row = 0; row < rows; ++row) {
    const QString name = Window().ResultList()->Cell(row, 1);
    EXPECT_TRUE(name.isEmpty() || name.startsWith(u"abc 第1页"_s)) << name.toStdString();
  }
}

}  // namespace
}  // namespace trawler::test
