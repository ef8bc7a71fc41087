// QtControlsPort: the controls port over MainWindow's widgets.
//
// Thread-safety: every operation may be called from any thread. On the GUI thread (the
// window's thread) it runs directly; from any other thread it is handed to the GUI thread
// and the caller waits until it has run (Qt::BlockingQueuedConnection), so the calls of one
// worker keep their order. A worker waits for as long as the GUI thread is busy; once the
// GUI thread has left its event loop for good, a waiting worker waits until the process
// ends. The window must outlive every caller: the program keeps both until it exits.
//
// Texts cross as GBK Text and are converted to and from UTF-16 at this edge.
//
// Painting: a search writes thousands of cells, each its own hand-over, and painting the
// result list after every one of them would cost far more than the writes. While a worker
// writes to the list, the list is painted at most once a frame (kListPaintInterval): the
// writes still happen one by one and in order, and the list shows each of them by the next
// frame.
#ifndef TRAWLER_APP_QT_CONTROLS_PORT_H_
#define TRAWLER_APP_QT_CONTROLS_PORT_H_

#include <QString>

#include "app/main_window.h"
#include "search/controls_port.h"

namespace trawler {

class QtControlsPort final : public ControlsPort {
 public:
  static constexpr int kListPaintInterval = 16;  // ms, about one frame
  explicit QtControlsPort(MainWindow& window) : window_(window) {}

  int EngineComboCurrentIndex() override;
  int EngineComboItemCount() override;
  int EngineComboItemValue(int index) override;
  Text KeywordText() override;
  void ClearRows() override;
  int AppendRow() override;
  void SetCellText(int row, int column, const Text& text) override;
  // One hand-over for the row and its five cells.
  void AppendFilledRow(int row, const std::array<Text, kResultColumns>& cells) override;
  Text GetCellText(int row, int column) override;
  int FirstSelectedRow() override;
  void SetTitleText(const Text& text) override;
  void SetAddressText(const Text& text) override;

 private:
  // Runs `operation` on the GUI thread and returns its result.
  template <typename Operation>
  auto OnGuiThread(Operation operation) -> decltype(operation());
  // Runs a write to the result list (`operation`) on the GUI thread. A write handed over
  // from a worker holds back the list's painting until the end of the current frame.
  template <typename Operation>
  auto WriteList(Operation operation) -> decltype(operation());

  MainWindow& window_;
};

// GBK Text <-> QString.
[[nodiscard]] QString ToQString(const Text& text);
[[nodiscard]] Text ToText(const QString& text);

}  // namespace trawler

#endif  // TRAWLER_APP_QT_CONTROLS_PORT_H_
