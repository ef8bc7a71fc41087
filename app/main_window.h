// MainWindow: trawler's one window, 503 x 390, borderless, with its thirteen controls at
// fixed places.
//
// The window lays out and owns the controls and handles what is its own: moving by a press
// on its bare surface or on a label, Escape closing it from any of its controls, minimise and
// Copy. Search, Next page, a left click on the result list and Close are handed to the
// handlers bound with SetHandlers (the program binds them to the search dispatch, the result
// details and the end of the program).
//
// Each control carries its name as its objectName ("KeywordEdit", "ResultList", ...).
//
// Thread-safety: a widget tree; GUI thread only. Other threads reach the controls through
// QtControlsPort.
#ifndef TRAWLER_APP_MAIN_WINDOW_H_
#define TRAWLER_APP_MAIN_WINDOW_H_

#include <QPlainTextEdit>
#include <QPoint>
#include <QTableWidget>
#include <QWidget>
#include <array>
#include <functional>

#include "app/hyperlink_box.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace trawler {

// A read-only multi-line box (TitleEdit, AddressEdit) that remembers the exact text it was
// given. QPlainTextEdit::toPlainText() normalises line ends and non-breaking spaces, and
// Copy must hand over exactly what was put in the box.
class TextBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TextBox(QWidget* parent = nullptr);

  // Replaces the whole text.
  void SetExactText(const QString& text);
  // The text last set, unchanged.
  [[nodiscard]] const QString& ExactText() const { return text_; }

 private:
  QString text_;
};

// The result list: a report-style table that reports every left click inside its rows area
// (on a row or on empty space) after the click has been processed, so that the selection is
// the one the click produced.
class ResultTable : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = 5;

  explicit ResultTable(QWidget* parent = nullptr);

  // Alignment of the cells and the header of `column` (left, centred, centred, centred,
  // left).
  [[nodiscard]] static Qt::Alignment ColumnAlignment(int column);

  // Adds a row of empty cells after the last; returns its index, -1 on failure.
  int AppendEmptyRow();
  // Sets one cell; does nothing for a row or column that does not exist.
  void SetCell(int row, int column, const QString& text);
  // The text of one cell; empty for a row or column that does not exist.
  [[nodiscard]] QString Cell(int row, int column) const;
  // The lowest selected row, -1 when none is selected.
  [[nodiscard]] int FirstSelectedRow() const;

 signals:
  void LeftClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void ShowSelection(bool shown);

  bool inDoubleClick_ = false;
};

// What the window's buttons and list hand on. An empty function ignores the event.
struct WindowHandlers {
  std::function<void()> onSearchClicked;
  std::function<void()> onNextPageClicked;
  std::function<void()> onResultListClicked;
  // Ends the program at once.
  std::function<void()> onCloseClicked;
};

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 503;
  static constexpr int kHeight = 390;

  // Creates the window hidden, centred on the primary screen, with every control in place.
  // `forumLinkTarget` is what ForumLink opens; `opener` opens it (empty: the desktop's
  // default browser).
  explicit MainWindow(const QUrl& forumLinkTarget, HyperlinkBox::Opener opener = {});

  void SetHandlers(WindowHandlers handlers);

  // Minimises the window; every control keeps its content.
  void OnMinimizeClicked();
  // Puts exactly the text of AddressEdit on the clipboard as plain text (an empty text too).
  void OnCopyClicked();

  // The controls, by their names.
  [[nodiscard]] QLineEdit* KeywordEdit() const { return keywordEdit_; }
  [[nodiscard]] QPushButton* SearchButton() const { return searchButton_; }
  [[nodiscard]] ResultTable* ResultList() const { return resultList_; }
  [[nodiscard]] QComboBox* EngineCombo() const { return engineCombo_; }
  [[nodiscard]] QLabel* AddressLabel() const { return addressLabel_; }
  [[nodiscard]] TextBox* AddressEdit() const { return addressEdit_; }
  [[nodiscard]] QLabel* TitleLabel() const { return titleLabel_; }
  [[nodiscard]] TextBox* TitleEdit() const { return titleEdit_; }
  [[nodiscard]] QPushButton* CopyButton() const { return copyButton_; }
  [[nodiscard]] QPushButton* NextPageButton() const { return nextPageButton_; }
  [[nodiscard]] QPushButton* CloseButton() const { return closeButton_; }
  [[nodiscard]] HyperlinkBox* ForumLink() const { return forumLink_; }
  [[nodiscard]] QPushButton* MinimizeButton() const { return minimizeButton_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPushButton* MakeButton(const QString& caption, const char* name, QRect place);
  void Run(const std::function<void()>& handler) const;

  WindowHandlers handlers_;
  QLineEdit* keywordEdit_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  ResultTable* resultList_ = nullptr;
  QComboBox* engineCombo_ = nullptr;
  QLabel* addressLabel_ = nullptr;
  TextBox* addressEdit_ = nullptr;
  QLabel* titleLabel_ = nullptr;
  TextBox* titleEdit_ = nullptr;
  QPushButton* copyButton_ = nullptr;
  QPushButton* nextPageButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;
  HyperlinkBox* forumLink_ = nullptr;
  QPushButton* minimizeButton_ = nullptr;

  // Moving by hand when the window system refuses a system move (no window manager).
  bool dragging_ = false;
  QPoint dragOffset_;
};

// Sets the current selection of `combo` the way the program's controls do: an index above
// the last item selects the last item, a negative index selects none.
void SetComboSelection(QComboBox& combo, int index);

}  // namespace trawler

#endif  // TRAWLER_APP_MAIN_WINDOW_H_
