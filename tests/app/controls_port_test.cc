// The controls port over the widgets: calls from a worker are carried out by the GUI thread
// while the worker waits, calls on the GUI thread run in place.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <array>
#include <atomic>
#include <string>
#include <thread>

#include "app_test_support.h"
#include "text/code_page.h"

namespace trawler::test {
namespace {

using namespace Qt::StringLiterals;
using ControlsPortTest = WindowTest;

std::string CellText(int row, int column) {
  // Column 1 carries Chinese text (GBK) so that every cell also crosses the conversion.
  std::string text = "r" + std::to_string(row) + "c" + std::to_string(column);
  if (column == 1) text += "\xC6\xAC\xC3\xFB";  // "片名" in GBK
  return text;
}

TEST_F(ControlsPortTest, WorkerFillsAThousandRowsWhileTheGuiThreadRuns) {
  constexpr int kRows = 1000;
  for (int i = 0; i < 5; ++i) Port().SetCellText(Port().AppendRow(), 1, "stale");
  Window().KeywordEdit()->setText(u"中文 abc"_s);

  std::atomic<bool> done{false};
  Text keywordSeenByWorker;
  std::thread worker([&] {
    ControlsPort& port = Port();
    port.ClearRows();
    keywordSeenByWorker = port.KeywordText();
    for (int row = 0; row < kRows; ++row) {
      // Every other row as a search writes it, in one hand-over.
      if (row % 2 == 0) {
        std::array<Text, kResultColumns> cells;
        for (int column = 0; column < 5; ++column) cells[column] = CellText(row, column);
        port.AppendFilledRow(row, cells);
        continue;
      }
      port.AppendRow();
      for (int column = 0; column < 5; ++column)
        port.SetCellText(row, column, CellText(row, column));
    }
    done = true;
  });
  // The GUI thread keeps serving events and, meanwhile, uses the port itself: a blocking
  // hand-over to its own thread would never return.
  int ownCalls = 0;
  while (!done) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(Port().FirstSelectedRow(), -1);
    EXPECT_EQ(Port().EngineComboCurrentIndex(), 0);
    ++ownCalls;
  }
  worker.join();
  EXPECT_GT(ownCalls, 0);

  EXPECT_EQ(keywordSeenByWorker, "\xD6\xD0\xCE\xC4 abc");  // "中文 abc" in GBK
  ASSERT_EQ(Window().ResultList()->rowCount(), kRows);
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < 5; ++column) {
      ASSERT_EQ(Port().GetCellText(row, column), CellText(row, column))
          << "row " << row << " column " << column;
    }
  }
  EXPECT_EQ(Window().ResultList()->Cell(7, 1), u"r7c1片名"_s);

  // The list's painting was held back while the worker wrote; it must come back on its own.
  QElapsedTimer waited;
  waited.start();
  while (!Window().ResultList()->updatesEnabled() && waited.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  EXPECT_TRUE(Window().ResultList()->updatesEnabled());
}

TEST_F(ControlsPortTest, CallsOnTheGuiThreadRunInPlace) {
  // No event loop runs here: every call must be carried out directly.
  ControlsPort& port = Port();
  EXPECT_EQ(port.AppendRow(), 0);
  EXPECT_EQ(port.AppendRow(), 1);
  port.SetCellText(1, 4, "link");
  struct Case {
    const char* name;
    int row;
    int column;
    Text expected;
  };
  const Case cases[] = {
      {"written cell", 1, 4, "link"},       {"empty cell", 0, 4, ""},
      {"row -1 (no selection)", -1, 4, ""}, {"row past the last", 2, 4, ""},
      {"column past the last", 1, 5, ""},   {"negative column", 1, -1, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(port.GetCellText(c.row, c.column), c.expected) << c.name;

  port.SetCellText(2, 0, "nowhere");  // a missing row: nothing happens
  port.SetCellText(-1, 0, "nowhere");
  EXPECT_EQ(Window().ResultList()->rowCount(), 2);

  EXPECT_EQ(port.FirstSelectedRow(), -1);
  Window().ResultList()->selectRow(1);
  EXPECT_EQ(port.FirstSelectedRow(), 1);

  port.SetTitleText("\xC6\xAC\xC3\xFB");
  EXPECT_EQ(Window().TitleEdit()->toPlainText(), u"片名"_s);
  port.SetAddressText("");
  EXPECT_TRUE(Window().AddressEdit()->toPlainText().isEmpty());
  port.ClearRows();
  EXPECT_EQ(Window().ResultList()->rowCount(), 0);
  EXPECT_EQ(port.FirstSelectedRow(), -1);
}

}  // namespace
}  // namespace trawler::test
