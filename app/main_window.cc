#include "app/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace trawler {
namespace {

// A font of the given character height in pixels, normal weight, no face of its own: the
// face is whatever the default GUI font uses.
QFont PixelFont(int pixels) {
  QFont font = QApplication::font();
  font.setPixelSize(pixels);
  font.setWeight(QFont::Normal);
  return font;
}

// Black text on white, as the edit boxes and the list show it in every state.
void UseBlackOnWhite(QWidget& widget) {
  QPalette colours = widget.palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  widget.setPalette(colours);
}

struct ColumnLayout {
  const char16_t* title;
  int width;
  Qt::Alignment alignment;
};

// Columns 0-4 as the search routines and the click handler count them; they add up to 550
// pixels, wider than the list, so column 4 is cut off until the user narrows or moves one.
constexpr std::array<ColumnLayout, ResultTable::kColumnCount> kColumns{{
    {u"序号", 50, Qt::AlignLeft},
    {u"片名", 200, Qt::AlignHCenter},
    {u"大小", 100, Qt::AlignHCenter},
    {u"时间", 150, Qt::AlignHCenter},
    {u"地址", 50, Qt::AlignLeft},
}};

}  // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  // Read-only, but the text can still be selected and copied, from the keyboard too, so the
  // box is a stop of the Tab order.
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setFocusPolicy(Qt::StrongFocus);
  setTabChangesFocus(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  UseBlackOnWhite(*this);
  // The text control paints a selection with the Inactive colours while the box has no
  // focus; making those plain text colours shows the selection only while it has the focus.
  QPalette colours = palette();
  colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  setPalette(colours);
}

void TextBox::SetExactText(const QString& text) {
  text_ = text;
  setPlainText(text);
}

ResultTable::ResultTable(QWidget* parent) : QTableWidget(0, kColumnCount, parent) {
  setFont(PixelFont(16));
  UseBlackOnWhite(*this);
  setFrameShape(QFrame::NoFrame);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab leaves the list for the next control instead of walking its cells.
  setTabKeyNavigation(false);
  setSortingEnabled(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  ShowSelection(false);

  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);

  QHeaderView* header = horizontalHeader();
  header->setSectionsMovable(true);
  // Header buttons press like buttons, but nothing listens: no sorting, no column selection.
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  for (int column = 0; column < kColumnCount; ++column) {
    const ColumnLayout& layout = kColumns[static_cast<std::size_t>(column)];
    auto* title = new QTableWidgetItem(QString::fromUtf16(layout.title));
    title->setTextAlignment(layout.alignment | Qt::AlignVCenter);
    setHorizontalHeaderItem(column, title);
    setColumnWidth(column, layout.width);
  }
}

Qt::Alignment ResultTable::ColumnAlignment(int column) {
  if (column < 0 || column >= kColumnCount) return Qt::AlignLeft | Qt::AlignVCenter;
  return kColumns[static_cast<std::size_t>(column)].alignment | Qt::AlignVCenter;
}

int ResultTable::AppendEmptyRow() {
  const int row = rowCount();
  insertRow(row);
  if (rowCount() != row + 1) return -1;
  for (int column = 0; column < kColumnCount; ++column) {
    auto* cell = new QTableWidgetItem();
    cell->setTextAlignment(ColumnAlignment(column));
    setItem(row, column, cell);
  }
  return row;
}

void ResultTable::SetCell(int row, int column, const QString& text) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= kColumnCount) return;
  QTableWidgetItem* cell = item(row, column);
  if (cell == nullptr) {
    cell = new QTableWidgetItem();
    cell->setTextAlignment(ColumnAlignment(column));
    setItem(row, column, cell);
  }
  cell->setText(text);
}

QString ResultTable::Cell(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= kColumnCount) return {};
  const QTableWidgetItem* cell = item(row, column);
  return cell == nullptr ? QString() : cell->text();
}

int ResultTable::FirstSelectedRow() const {
  int first = -1;
  for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
    if (first < 0 || index.row() < first) first = index.row();
  }
  return first;
}

void ResultTable::ShowSelection(bool shown) {
  // The selected row is drawn as selected only while the list has the focus: without it the
  // highlight takes the colours of an ordinary row. The selection itself stays.
  QPalette colours = palette();
  const QPalette standard = QApplication::palette(this);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    colours.setColor(group, QPalette::Highlight,
                     shown ? standard.color(group, QPalette::Highlight) : Qt::white);
    colours.setColor(group, QPalette::HighlightedText,
                     shown ? standard.color(group, QPalette::HighlightedText) : Qt::black);
  }
  setPalette(colours);
}

void ResultTable::mousePressEvent(QMouseEvent* event) {
  // Every press starts a new click; only the release that ends a double click is skipped.
  inDoubleClick_ = false;
  QTableWidget::mousePressEvent(event);
}

void ResultTable::mouseReleaseEvent(QMouseEvent* event) {
  QTableWidget::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  // The second click of a double click is a double click, not another click: it would
  // otherwise fetch the same detail page twice.
  if (inDoubleClick_) {
    inDoubleClick_ = false;
    return;
  }
  emit LeftClicked();
}

void ResultTable::mouseDoubleClickEvent(QMouseEvent* event) {
  inDoubleClick_ = event->button() == Qt::LeftButton;
  QTableWidget::mouseDoubleClickEvent(event);
}

void ResultTable::focusInEvent(QFocusEvent* event) {
  ShowSelection(true);
  QTableWidget::focusInEvent(event);
}

void ResultTable::focusOutEvent(QFocusEvent* event) {
  ShowSelection(false);
  QTableWidget::focusOutEvent(event);
}

MainWindow::MainWindow(const QUrl& forumLinkTarget, HyperlinkBox::Opener opener)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QString());
  setWindowIcon(QIcon(QStringLiteral(":/trawler/trawler.svg")));
  setFixedSize(kWidth, kHeight);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  setPalette(colours);
  setAutoFillBackground(true);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
  }

  // Created lowest in the stacking order first; each raise() puts the control over those
  // made before it, so where two overlap the later one is drawn on top.
  keywordEdit_ = new QLineEdit(this);
  keywordEdit_->setObjectName(QStringLiteral("KeywordEdit"));
  keywordEdit_->setGeometry(101, 1, 200, 24);
  UseBlackOnWhite(*keywordEdit_);

  searchButton_ = MakeButton(QStringLiteral(u"搜索"), "SearchButton", {306, 1, 44, 24});

  resultList_ = new ResultTable(this);
  resultList_->setObjectName(QStringLiteral("ResultList"));
  // 544 wide in a 503-wide window: the right 41 pixels, and the vertical scroll bar at the
  // list's right edge with them, lie outside the window.
  resultList_->setGeometry(0, 25, 544, 200);

  engineCombo_ = new QComboBox(this);
  engineCombo_->setObjectName(QStringLiteral("EngineCombo"));
  engineCombo_->setEditable(true);
  // Typed text never becomes an item: the items and their values are fixed.
  engineCombo_->setInsertPolicy(QComboBox::NoInsert);
  engineCombo_->setFont(PixelFont(16));
  UseBlackOnWhite(*engineCombo_);
  engineCombo_->addItem(QStringLiteral(u"搜索引擎1"), 1);
  engineCombo_->addItem(QStringLiteral(u"搜索引擎2"), 2);
  engineCombo_->addItem(QStringLiteral(u"搜索引擎3"), 3);
  engineCombo_->setCurrentIndex(-1);
  engineCombo_->setGeometry(1, 1, 100, 24);

  addressLabel_ = new QLabel(QStringLiteral(u"下载地址："), this);
  addressLabel_->setObjectName(QStringLiteral("AddressLabel"));
  addressLabel_->setGeometry(4, 273, 64, 24);

  addressEdit_ = new TextBox(this);
  addressEdit_->setObjectName(QStringLiteral("AddressEdit"));
  addressEdit_->setFont(PixelFont(13));
  addressEdit_->setGeometry(59, 273, 437, 87);

  titleLabel_ = new QLabel(QStringLiteral(u"片名："), this);
  titleLabel_->setObjectName(QStringLiteral("TitleLabel"));
  titleLabel_->setGeometry(5, 232, 35, 24);

  titleEdit_ = new TextBox(this);
  titleEdit_->setObjectName(QStringLiteral("TitleEdit"));
  titleEdit_->setFont(PixelFont(13));
  titleEdit_->setGeometry(35, 226, 461, 46);

  copyButton_ = MakeButton(QStringLiteral(u"复制"), "CopyButton", {24, 300, 32, 40});
  nextPageButton_ = MakeButton(QStringLiteral(u"下一页搜索"), "NextPageButton", {360, 1, 80, 24});
  closeButton_ = MakeButton(QStringLiteral(u"叉"), "CloseButton", {476, 1, 24, 24});

  forumLink_ = new HyperlinkBox(QStringLiteral(u"trawler 使用说明"), forumLinkTarget, this,
                                std::move(opener));
  forumLink_->setObjectName(QStringLiteral("ForumLink"));
  forumLink_->setFont(PixelFont(16));
  forumLink_->setGeometry(88, 362, 320, 24);

  minimizeButton_ = MakeButton(QStringLiteral(u"一"), "MinimizeButton", {448, 1, 24, 24});

  for (QLabel* label : {addressLabel_, titleLabel_}) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setFocusPolicy(Qt::NoFocus);
  }
  for (QWidget* control : std::initializer_list<QWidget*>{
           keywordEdit_, searchButton_, resultList_, engineCombo_, addressLabel_, addressEdit_,
           titleLabel_, titleEdit_, copyButton_, nextPageButton_, closeButton_, forumLink_,
           minimizeButton_}) {
    control->raise();
  }

  const std::array<QWidget*, 10> tabOrder{
      keywordEdit_, searchButton_, resultList_,     engineCombo_, addressEdit_,
      titleEdit_,   copyButton_,   nextPageButton_, closeButton_, minimizeButton_};
  for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  keywordEdit_->setFocus();

  connect(searchButton_, &QPushButton::clicked, this, [this] { Run(handlers_.onSearchClicked); });
  connect(nextPageButton_, &QPushButton::clicked, this,
          [this] { Run(handlers_.onNextPageClicked); });
  connect(closeButton_, &QPushButton::clicked, this, [this] { Run(handlers_.onCloseClicked); });
  connect(minimizeButton_, &QPushButton::clicked, this, &MainWindow::OnMinimizeClicked);
  connect(copyButton_, &QPushButton::clicked, this, &MainWindow::OnCopyClicked);
  connect(resultList_, &ResultTable::LeftClicked, this,
          [this] { Run(handlers_.onResultListClicked); });

  // Escape closes the window from whichever control has the focus, the combo's edit field
  // included: an application-wide filter sees the key before any control can swallow it.
  qApp->installEventFilter(this);
}

void MainWindow::SetHandlers(WindowHandlers handlers) { handlers_ = std::move(handlers); }

void MainWindow::Run(const std::function<void()>& handler) const {
  if (handler) handler();
}

QPushButton* MainWindow::MakeButton(const QString& caption, const char* name, QRect place) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(QString::fromLatin1(name));
  // No default button: Enter never presses a button.
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setGeometry(place);
  return button;
}

void MainWindow::OnMinimizeClicked() { showMinimized(); }

void MainWindow::OnCopyClicked() {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) {
    clipboard->setText(addressEdit_->ExactText(), QClipboard::Clipboard);
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    // Only keys aimed at this window or its controls; a dropped-down combo list is a popup
    // window of its own and closes itself on Escape.
    const auto* target = qobject_cast<QWidget*>(watched);
    if (target != nullptr && target->window() == this) {
      close();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  // Only presses on the bare surface and on the labels arrive here: every other control
  // takes its own presses.
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  if (QWindow* window = windowHandle(); window != nullptr && window->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - pos();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - dragOffset_);
    event->accept();
    return;
  }
  QWidget::mouseMoveEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}

void SetComboSelection(QComboBox& combo, int index) {
  combo.setCurrentIndex(index < 0 ? -1 : std::min(index, combo.count() - 1));
}

}  // namespace trawler
