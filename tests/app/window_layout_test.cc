// The window as it first appears: frame, place, the thirteen controls, the combo's items,
// the list's columns and the Tab order.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <string>
#include <vector>

#include "app_test_support.h"
#include "search/dispatch.h"

namespace trawler::test {
namespace {

using namespace Qt::StringLiterals;

using WindowLayoutTest = WindowTest;

TEST_F(WindowLayoutTest, FrameSizeAndCentredPlace) {
  const MainWindow& window = Window();
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(window.size(), QSize(503, 390));
  EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window must not be resizable";
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window.pos(), QPoint((screen.width() - 503) / 2, (screen.height() - 390) / 2));
  EXPECT_EQ(window.frameGeometry(), window.geometry()) << "no border, no title bar";
  EXPECT_TRUE(window.windowTitle().isEmpty());
  EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull()) << "the SVG icon must load";
  EXPECT_EQ(window.palette().color(QPalette::Window),
            QGuiApplication::palette().color(QPalette::Button));
}

TEST_F(WindowLayoutTest, EveryControlHasItsPlaceCaptionAndFont) {
  struct Case {
    const char* name;
    const char* kind;
    QRect place;
    QString caption;  // for buttons and labels
    int pixelHeight;  // 0: the default GUI font
  };
  const Case cases[] = {
      {"MinimizeButton", "QPushButton", {448, 1, 24, 24}, u"一"_s, 0},
      {"ForumLink", "trawler::HyperlinkBox", {88, 362, 320, 24}, u"trawler 使用说明"_s, 16},
      {"CloseButton", "QPushButton", {476, 1, 24, 24}, u"叉"_s, 0},
      {"NextPageButton", "QPushButton", {360, 1, 80, 24}, u"下一页搜索"_s, 0},
      {"CopyButton", "QPushButton", {24, 300, 32, 40}, u"复制"_s, 0},
      {"TitleEdit", "trawler::TextBox", {35, 226, 461, 46}, {}, 13},
      {"TitleLabel", "QLabel", {5, 232, 35, 24}, u"片名："_s, 0},
      {"AddressEdit", "trawler::TextBox", {59, 273, 437, 87}, {}, 13},
      {"AddressLabel", "QLabel", {4, 273, 64, 24}, u"下载地址："_s, 0},
      {"EngineCombo", "QComboBox", {1, 1, 100, 24}, {}, 16},
      {"ResultList", "trawler::ResultTable", {0, 25, 544, 200}, {}, 16},
      {"SearchButton", "QPushButton", {306, 1, 44, 24}, u"搜索"_s, 0},
      {"KeywordEdit", "QLineEdit", {101, 1, 200, 24}, {}, 0},
  };
  const QFont guiFont = QApplication::font();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* control = Window().findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget(), &Window());
    EXPECT_STREQ(control->metaObject()->className(), c.kind);
    EXPECT_EQ(control->geometry(), c.place);
    EXPECT_TRUE(control->isVisible());
    EXPECT_TRUE(control->isEnabled());
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      EXPECT_EQ(button->text(), c.caption);
      EXPECT_FALSE(button->isDefault());
      EXPECT_FALSE(button->autoDefault());
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
      EXPECT_EQ(label->text(), c.caption);
    }
    if (c.pixelHeight != 0) {
      EXPECT_EQ(control->font().pixelSize(), c.pixelHeight);
      EXPECT_EQ(control->font().weight(), QFont::Normal);
    } else {
      EXPECT_EQ(control->font(), guiFont);
    }
  }
  // Right after start-up the three edit boxes are empty.
  EXPECT_TRUE(Window().KeywordEdit()->text().isEmpty());
  EXPECT_TRUE(Window().TitleEdit()->toPlainText().isEmpty());
  EXPECT_TRUE(Window().AddressEdit()->toPlainText().isEmpty());
}

TEST_F(WindowLayoutTest, StackingOrderDecidesWhoIsOnTopWhereControlsOverlap) {
  // Children are painted in list order, so the order of the controls among the window's
  // children is the stacking order, lowest first.
  std::vector<std::string> bottomToTop;
  for (QObject* child : Window().children()) {
    if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow()) {
      bottomToTop.push_back(widget->objectName().toStdString());
    }
  }
  EXPECT_EQ(bottomToTop, (std::vector<std::string>{
                             "KeywordEdit", "SearchButton", "ResultList", "EngineCombo",
                             "AddressLabel", "AddressEdit", "TitleLabel", "TitleEdit", "CopyButton",
                             "NextPageButton", "CloseButton", "ForumLink", "MinimizeButton"}));

  struct Case {
    QPoint point;
    const char* expected;  // nullptr: the bare surface
  };
  const Case cases[] = {
      {{37, 240}, "TitleEdit"},  // the right end of "片名：" lies under TitleEdit
      {{20, 240}, "TitleLabel"},
      {{62, 280}, "AddressEdit"},  // the right end of "下载地址：" lies under AddressEdit
      {{20, 280}, "AddressLabel"},
      {{303, 10}, nullptr},        // gap between KeywordEdit and SearchButton
      {{10, 320}, nullptr},        // left of CopyButton
      {{500, 100}, "ResultList"},  // the list runs on to the window's right edge
      {{40, 372}, nullptr},        // left of ForumLink
      {{200, 372}, "ForumLink"},
  };
  for (const Case& c : cases) {
    QWidget* control = ControlOf(Window().childAt(c.point), &Window());
    EXPECT_EQ(control ? control->objectName().toStdString() : std::string("(surface)"),
              c.expected ? c.expected : "(surface)")
        << "at " << c.point.x() << "," << c.point.y();
  }
}

TEST_F(WindowLayoutTest, EngineComboShowsTheFirstSiteWithItsValues) {
  QComboBox& combo = *Window().EngineCombo();
  EXPECT_TRUE(combo.isEditable());
  EXPECT_EQ(combo.currentText(), u"搜索引擎1"_s);
  EXPECT_EQ(combo.lineEdit()->text(), u"搜索引擎1"_s);
  EXPECT_EQ(SelectedEngine(Port()), 1);
  ASSERT_EQ(combo.count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(combo.itemText(i), u"搜索引擎"_s + QString::number(i + 1));
    EXPECT_EQ(Port().EngineComboItemValue(i), i + 1);
  }
  EXPECT_EQ(Port().EngineComboItemValue(-1), -1);
  EXPECT_EQ(Port().EngineComboItemValue(3), -1);
}

TEST(ProgramWindowTest, CreatedEventSelectsTheFirstSiteWhileHidden) {
  ProgramWindow program = CreateProgramWindow();
  EXPECT_FALSE(program.window->isVisible());
  EXPECT_EQ(program.window->EngineCombo()->currentIndex(), 0);
}

TEST_F(WindowLayoutTest, SettingTheSelectionClampsToTheItems) {
  struct Case {
    int requested;
    int selected;
  };
  // Above the last item selects the last; any negative index selects none.
  const Case cases[] = {{1, 1}, {2, 2}, {3, 2}, {99, 2}, {-1, -1}, {-5, -1}, {0, 0}};
  for (const Case& c : cases) {
    SetComboSelection(*Window().EngineCombo(), c.requested);
    EXPECT_EQ(Window().EngineCombo()->currentIndex(), c.selected) << "requested " << c.requested;
    EXPECT_EQ(SelectedEngine(Port()), c.selected < 0 ? -1 : c.selected + 1);
  }
}

TEST_F(WindowLayoutTest, ResultListStartsEmptyWithItsFiveColumns) {
  ResultTable& list = *Window().ResultList();
  EXPECT_EQ(list.rowCount(), 0);
  EXPECT_EQ(Port().FirstSelectedRow(), -1);
  struct Column {
    QString title;
    int width;
    Qt::Alignment horizontal;
  };
  const Column columns[] = {{u"序号"_s, 50, Qt::AlignLeft},
                            {u"片名"_s, 200, Qt::AlignHCenter},
                            {u"大小"_s, 100, Qt::AlignHCenter},
                            {u"时间"_s, 150, Qt::AlignHCenter},
                            {u"地址"_s, 50, Qt::AlignLeft}};
  ASSERT_EQ(list.columnCount(), 5);
  const int row = Port().AppendRow();
  ASSERT_EQ(row, 0);
  for (int c = 0; c < 5; ++c) {
    SCOPED_TRACE(c);
    const QTableWidgetItem* header = list.horizontalHeaderItem(c);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->text(), columns[c].title);
    EXPECT_EQ(list.columnWidth(c), columns[c].width);
    EXPECT_EQ(Qt::Alignment(header->textAlignment()) & Qt::AlignHorizontal_Mask,
              columns[c].horizontal);
    EXPECT_EQ(Qt::Alignment(list.item(row, c)->textAlignment()) & Qt::AlignHorizontal_Mask,
              columns[c].horizontal);
  }
  EXPECT_TRUE(list.horizontalHeader()->isVisible());
  EXPECT_FALSE(list.verticalHeader()->isVisible());
  EXPECT_TRUE(list.showGrid());
  EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list.editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_TRUE(list.horizontalHeader()->sectionsMovable());
  EXPECT_FALSE(list.isSortingEnabled());
  EXPECT_EQ(list.frameShape(), QFrame::NoFrame);
}

TEST_F(WindowLayoutTest, HeaderClicksDoNotSortAndMovedColumnsKeepTheirNumbers) {
  ResultTable& list = *Window().ResultList();
  for (const char* name : {"b", "c", "a"}) {
    const int row = Port().AppendRow();
    Port().SetCellText(row, 1, name);
    Port().SetCellText(row, 4, std::string("link-") + name);
  }
  QHeaderView& header = *list.horizontalHeader();
  const int x = header.sectionViewportPosition(1) + 20;
  QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, QPoint(x, header.height() / 2));
  EXPECT_EQ(Port().GetCellText(0, 1), "b");
  EXPECT_EQ(Port().GetCellText(2, 1), "a");
  EXPECT_EQ(Port().FirstSelectedRow(), -1) << "a header click selects nothing";
  EXPECT_TRUE(startedSites.empty());

  // Dragging "地址" to the front reorders the display only.
  header.moveSection(4, 0);
  EXPECT_EQ(header.visualIndex(4), 0);
  EXPECT_EQ(Port().GetCellText(1, 1), "c");
  EXPECT_EQ(Port().GetCellText(1, 4), "link-c");
}

TEST_F(WindowLayoutTest, VerticalScrollBarSitsInTheCutOffPart) {
  for (int i = 0; i < 40; ++i) Port().AppendRow();
  const QScrollBar& bar = *Window().ResultList()->verticalScrollBar();
  // The list lays itself out again a moment after rows arrive.
  ASSERT_TRUE(ProcessEventsUntil([&bar] { return bar.isVisible(); }));
  const QPoint barLeft = bar.mapTo(&Window(), QPoint(0, 0));
  EXPECT_GE(barLeft.x(), MainWindow::kWidth) << "the bar must lie outside the window";
}

TEST_F(WindowLayoutTest, TabVisitsTheControlsInOrderAndShiftTabGoesBack) {
  const std::vector<std::string> forward{
      "KeywordEdit", "SearchButton",   "ResultList",  "EngineCombo",    "AddressEdit", "TitleEdit",
      "CopyButton",  "NextPageButton", "CloseButton", "MinimizeButton", "KeywordEdit"};
  auto focused = [this] {
    QWidget* control = ControlOf(QApplication::focusWidget(), &Window());
    return control ? control->objectName().toStdString() : std::string("(none)");
  };
  ASSERT_EQ(focused(), "KeywordEdit") << "KeywordEdit has the focus when the window appears";
  std::vector<std::string> visited{focused()};
  for (std::size_t i = 1; i < forward.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(focused());
  }
  EXPECT_EQ(visited, forward);

  std::vector<std::string> backward{focused()};
  for (std::size_t i = 1; i < forward.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    backward.push_back(focused());
  }
  EXPECT_EQ(backward, std::vector<std::string>(forward.rbegin(), forward.rend()));
  EXPECT_TRUE(startedSites.empty());
}

}  // namespace
}  // namespace trawler::test
