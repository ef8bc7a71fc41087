// What the window does with keys and the mouse: Escape, Enter, moving, clicks on the list,
// the hyperlink box, minimise and Copy.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QEnterEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app_test_support.h"
#include "search/dispatch.h"

namespace trawler::test {
namespace {

using namespace Qt::StringLiterals;

QWidget* Control(const MainWindow& window, const char* name) {
  return window.findChild<QWidget*>(QString::fromLatin1(name));
}

TEST(EscapeTest, EscapeFromAnyControlClosesTheWindow) {
  // The combo's edit field is a widget of its own inside the combo: it gets the key first.
  const char* focusTargets[] = {"KeywordEdit", "SearchButton",  "ResultList", "EngineComboEdit",
                                "AddressEdit", "TitleEdit",     "CopyButton", "NextPageButton",
                                "CloseButton", "MinimizeButton"};
  for (const char* target : focusTargets) {
    SCOPED_TRACE(target);
    ProgramParts parts;
    parts.onCloseClicked = [] {};
    ProgramWindow program = CreateProgramWindow(std::move(parts));
    MainWindow& window = *program.window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QWidget* focus = std::string(target) == "EngineComboEdit" ? window.EngineCombo()->lineEdit()
                                                              : Control(window, target);
    ASSERT_NE(focus, nullptr);
    focus->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(focus->hasFocus() || focus->focusProxy() == QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
  }
}

using WindowInputTest = WindowTest;

TEST_F(WindowInputTest, EnterDoesNothing) {
  Window().KeywordEdit()->setText(u"关键词 keyword"_s);
  const char* focusTargets[] = {"KeywordEdit",    "EngineComboEdit", "SearchButton",
                                "NextPageButton", "CopyButton",      "ResultList"};
  for (const char* target : focusTargets) {
    SCOPED_TRACE(target);
    QWidget* focus = std::string(target) == "EngineComboEdit" ? Window().EngineCombo()->lineEdit()
                                                              : Control(Window(), target);
    focus->setFocus(Qt::OtherFocusReason);
    QWidget* before = QApplication::focusWidget();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(before, key);
    EXPECT_EQ(QApplication::focusWidget(), before) << "Enter must not move the focus";
    EXPECT_TRUE(Window().isVisible());
  }
  EXPECT_TRUE(startedSites.empty()) << "Enter must not start a search";
  EXPECT_EQ(CurrentPage.load(), 0);
  EXPECT_EQ(Window().KeywordEdit()->text(), u"关键词 keyword"_s);
  EXPECT_EQ(Window().EngineCombo()->count(), 3) << "Enter must not add an item";
  EXPECT_EQ(SelectedEngine(Port()), 1);
}

TEST_F(WindowInputTest, ButtonsStartTheSelectedSite) {
  SetComboSelection(*Window().EngineCombo(), 2);
  QTest::mouseClick(Window().SearchButton(), Qt::LeftButton);
  EXPECT_EQ(CurrentPage.load(), 1);
  QTest::mouseClick(Window().NextPageButton(), Qt::LeftButton);
  EXPECT_EQ(CurrentPage.load(), 2);
  EXPECT_EQ(startedSites, (std::vector<int>{3, 3}));
  QTest::mouseClick(Window().CloseButton(), Qt::LeftButton);
  EXPECT_EQ(closeClicks, 1);
}

TEST_F(WindowInputTest, PressOnTheSurfaceOrALabelMovesTheWindow) {
  struct Case {
    const char* where;
    QPoint press;
    bool moves;
  };
  const Case cases[] = {
      {"gap in the top row", {303, 10}, true},  {"left of CopyButton", {10, 320}, true},
      {"on 片名：", {15, 240}, true},           {"on 下载地址：", {20, 280}, true},
      {"inside KeywordEdit", {150, 12}, false}, {"inside AddressEdit", {200, 300}, false},
      {"on ResultList", {200, 150}, false},     {"on ForumLink", {200, 372}, false},
  };
  QWindow* handle = Window().windowHandle();
  ASSERT_NE(handle, nullptr);
  const QPoint drag(30, 10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    const QPoint start = Window().pos();
    QTest::mousePress(handle, Qt::LeftButton, {}, c.press);
    QTest::mouseMove(handle, c.press + drag);
    // The pointer stays where it went; if the window followed it, the pointer is back at the
    // press point inside the window.
    QTest::mouseRelease(handle, Qt::LeftButton, {}, start + c.press + drag - Window().pos());
    EXPECT_EQ(Window().pos(), c.moves ? start + drag : start);
    Window().move(start);
  }
}

TEST_F(WindowInputTest, ListClickReportsTheSelectionTheClickMade) {
  std::vector<int> selectionAtClick;
  WindowHandlers handlers;
  handlers.onResultListClicked = [this, &selectionAtClick] {
    selectionAtClick.push_back(Port().FirstSelectedRow());
  };
  Window().SetHandlers(handlers);
  for (int i = 0; i < 3; ++i) Port().SetCellText(Port().AppendRow(), 1, "hit " + std::to_string(i));
  ResultTable& list = *Window().ResultList();
  // Clicks go in through the window, as the window system delivers them.
  auto at = [this, &list](int row) {
    const QPoint cell = list.visualRect(list.model()->index(row, 1)).center();
    return list.viewport()->mapTo(&Window(), cell);
  };
  const QPoint emptySpace = list.viewport()->mapTo(&Window(), QPoint(100, 150));
  QWindow* handle = Window().windowHandle();

  QTest::mouseClick(handle, Qt::LeftButton, {}, at(2));
  QTest::mouseClick(handle, Qt::LeftButton, {}, emptySpace);  // the selection goes
  QTest::mouseClick(handle, Qt::RightButton, {}, at(1));      // not a left click
  QTest::mouseDClick(handle, Qt::LeftButton, {}, at(0));      // a click, then a double click
  QTest::mouseClick(handle, Qt::LeftButton, {}, at(1));
  // A click on the column header is no click in the list.
  QTest::mouseClick(handle, Qt::LeftButton, {},
                    list.horizontalHeader()->mapTo(&Window(), QPoint(100, 5)));
  EXPECT_EQ(selectionAtClick, (std::vector<int>{2, -1, 0, 1}));
}

TEST_F(WindowInputTest, HyperlinkShowsItsStateInColour) {
  HyperlinkBox& link = *Window().ForumLink();
  EXPECT_EQ(link.focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(link.alignment(), Qt::AlignCenter);
  EXPECT_EQ(link.frameShape(), QFrame::NoFrame);

  auto enter = [&link] {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), link.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&link, &event);
  };
  auto leave = [&link] {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&link, &event);
  };
  auto press = [this, &link](bool opens) {
    opensSucceed = opens;
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(10, 10));
  };
  const QColor red(255, 0, 0), blue(0, 0, 255), hover(51, 153, 255);
  EXPECT_EQ(link.TextColour(), red) << "before any press";
  enter();
  EXPECT_EQ(link.TextColour(), hover);
  press(true);
  EXPECT_EQ(openedUrls.size(), 1u) << "opened on the press";
  EXPECT_EQ(link.TextColour(), hover) << "still under the pointer";
  leave();
  EXPECT_EQ(link.TextColour(), blue);
  enter();
  press(false);
  leave();
  EXPECT_EQ(link.TextColour(), red) << "after a failed open";
  enter();
  press(true);
  leave();
  EXPECT_EQ(link.TextColour(), blue);
  // A right press opens nothing.
  QTest::mousePress(&link, Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(openedUrls.size(), 3u);
}

TEST_F(WindowInputTest, HyperlinkOpensTheUsagePageInstalledBesideTheProgram) {
  QTest::mouseClick(Window().ForumLink(), Qt::LeftButton);
  ASSERT_EQ(openedUrls.size(), 1u);
  const QUrl target = openedUrls.front();
  EXPECT_EQ(target, Window().ForumLink()->Target());
  ASSERT_TRUE(target.isLocalFile()) << target.toString().toStdString();
  QFile page(target.toLocalFile());
  ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << target.toLocalFile().toStdString();
  EXPECT_TRUE(page.readAll().contains("trawler"));
}

TEST_F(WindowInputTest, MinimiseAndRestoreKeepEveryContent) {
  Window().KeywordEdit()->setText(u"关键词"_s);
  SetComboSelection(*Window().EngineCombo(), 2);
  Port().SetCellText(Port().AppendRow(), 1, "before");
  Port().SetTitleText("title");
  Port().SetAddressText("magnet:?xt=urn:btih:0123");
  Window().ResultList()->selectRow(0);

  QTest::mouseClick(Window().MinimizeButton(), Qt::LeftButton);
  EXPECT_TRUE(Window().isMinimized());
  // A search that runs on while the window is minimised still fills the list.
  std::atomic<bool> done{false};
  std::thread worker([this, &done] {
    Port().SetCellText(Port().AppendRow(), 1, "while minimised");
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  worker.join();
  Window().showNormal();
  EXPECT_FALSE(Window().isMinimized());

  EXPECT_EQ(Window().KeywordEdit()->text(), u"关键词"_s);
  EXPECT_EQ(Window().EngineCombo()->currentText(), u"搜索引擎3"_s);
  EXPECT_EQ(SelectedEngine(Port()), 3);
  EXPECT_EQ(Port().GetCellText(0, 1), "before");
  EXPECT_EQ(Port().GetCellText(1, 1), "while minimised");
  EXPECT_EQ(Port().FirstSelectedRow(), 0);
  EXPECT_EQ(Window().TitleEdit()->toPlainText(), u"title"_s);
  EXPECT_EQ(Window().AddressEdit()->ExactText(), u"magnet:?xt=urn:btih:0123"_s);
}

TEST_F(WindowInputTest, CopyPutsExactlyTheAddressOnTheClipboard) {
  struct Case {
    const char* name;
    QString address;
  };
  const Case cases[] = {
      {"Chinese and URL characters, no line break added",
       u"magnet:?xt=urn:btih:0123456789ABCDEF&dn=中文 名字"_s},
      // A line end inside the box goes over as it is, not rewritten.
      {"inner CR LF", u"first line\r\nsecond line"_s},
      {"trailing spaces", u"ed2k://|file|a b|1|  "_s},
      // An empty box empties the clipboard and then puts an empty text on it.
      {"empty", u""_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QGuiApplication::clipboard()->setText(u"left over from before"_s);
    Port().SetAddressText(ToText(c.address));
    ASSERT_EQ(Window().AddressEdit()->ExactText(), c.address);
    QTest::mouseClick(Window().CopyButton(), Qt::LeftButton);
    // Read back by another X client, as a paste into another program would.
    const ChildResult xclip = RunToEnd(u"xclip"_s, {u"-o"_s, u"-selection"_s, u"clipboard"_s});
    ASSERT_TRUE(xclip.ended);
    EXPECT_EQ(xclip.exitCode, 0) << xclip.err.toStdString();
    EXPECT_EQ(xclip.out, c.address.toUtf8());
  }
}

}  // namespace
}  // namespace trawler::test
