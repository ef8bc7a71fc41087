#include "app/qt_controls_port.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <type_traits>
#include <utility>

#include "text/code_page.h"

namespace trawler {

QString ToQString(const Text& text) { return QString::fromStdU16String(GbkToUtf16(text)); }

Text ToText(const QString& text) { return Utf16ToGbk(text.toStdU16String()); }

template <typename Operation>
auto QtControlsPort::OnGuiThread(Operation operation) -> decltype(operation()) {
  using Result = decltype(operation());
  // A blocking hand-over to the thread that would carry it out is a deadlock: on the GUI
  // thread the operation runs in place.
  if (QThread::currentThread() == window_.thread()) return operation();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(&window_, std::move(operation), Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(&window_, std::move(operation), Qt::BlockingQueuedConnection,
                              &result);
    return result;
  }
}

template <typename Operation>
auto QtControlsPort::WriteList(Operation operation) -> decltype(operation()) {
  if (QThread::currentThread() == window_.thread()) return operation();
  return OnGuiThread([this, &operation] {
    // Switching updates off drops the paints the write would cause; switching them back on
    // a frame later paints the list once, with every write made meanwhile.
    ResultTable* list = window_.ResultList();
    if (list->updatesEnabled()) {
      list->setUpdatesEnabled(false);
      QTimer::singleShot(kListPaintInterval, list, [list] { list->setUpdatesEnabled(true); });
    }
    return operation();
  });
}

int QtControlsPort::EngineComboCurrentIndex() {
  return OnGuiThread([this] { return window_.EngineCombo()->currentIndex(); });
}

int QtControlsPort::EngineComboItemCount() {
  return OnGuiThread([this] { return window_.EngineCombo()->count(); });
}

int QtControlsPort::EngineComboItemValue(int index) {
  return OnGuiThread([this, index] {
    const QComboBox& combo = *window_.EngineCombo();
    if (index < 0 || index >= combo.count()) return -1;
    bool isNumber = false;
    const int value = combo.itemData(index).toInt(&isNumber);
    return isNumber ? value : -1;
  });
}

Text QtControlsPort::KeywordText() {
  const QString keyword = OnGuiThread([this] { return window_.KeywordEdit()->text(); });
  return ToText(keyword);
}

void QtControlsPort::ClearRows() {
  WriteList([this] { window_.ResultList()->setRowCount(0); });
}

int QtControlsPort::AppendRow() {
  return WriteList([this] { return window_.ResultList()->AppendEmptyRow(); });
}

void QtControlsPort::SetCellText(int row, int column, const Text& text) {
  // The conversion runs on the calling thread: the GUI thread only stores the result.
  WriteList([this, row, column, shown = ToQString(text)] {
    window_.ResultList()->SetCell(row, column, shown);
  });
}

void QtControlsPort::AppendFilledRow(int row, const std::array<Text, kResultColumns>& cells) {
  std::array<QString, kResultColumns> shown;
  for (int column = 0; column < kResultColumns; ++column) shown[column] = ToQString(cells[column]);
  WriteList([this, row, &shown] {
    ResultTable* list = window_.ResultList();
    list->AppendEmptyRow();
    for (int column = 0; column < kResultColumns; ++column) {
      list->SetCell(row, column, shown[column]);
    }
  });
}

Text QtControlsPort::GetCellText(int row, int column) {
  const QString cell =
      OnGuiThread([this, row, column] { return window_.ResultList()->Cell(row, column); });
  return ToText(cell);
}

int QtControlsPort::FirstSelectedRow() {
  return OnGuiThread([this] { return window_.ResultList()->FirstSelectedRow(); });
}

void QtControlsPort::SetTitleText(const Text& text) {
  OnGuiThread([this, shown = ToQString(text)] { window_.TitleEdit()->SetExactText(shown); });
}

void QtControlsPort::SetAddressText(const Text& text) {
  OnGuiThread([this, shown = ToQString(text)] { window_.AddressEdit()->SetExactText(shown); });
}

}  // namespace trawler
