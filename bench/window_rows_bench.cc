// Rows into the window: a worker thread writes 1,000 result rows through the controls port
// (ClearRows, then each row and its five cells, handed to the GUI thread and waited for), as
// a site routine does, while the GUI thread runs its event loop and paints the shown window.
// The time is from the worker's first call to the return of its last write. Needs an X
// display (scripts/bench starts Xvfb when DISPLAY is unset).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QUrl>
#include <QWindow>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/qt_controls_port.h"
#include "text/code_page.h"

namespace trawler {
namespace {

constexpr int kRows = 1000;

MainWindow* window = nullptr;

// Counts the paint events of the result list's viewport.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
  std::atomic<int> paints{0};
};

// The five cells of each row, as GBK texts a site-1 search writes.
std::vector<std::array<Text, kResultColumns>> RowTexts() {
  std::vector<std::array<Text, kResultColumns>> rows;
  for (int i = 1; i <= kRows; ++i) {
    rows.push_back({
        std::to_string(i),
        Utf8ToGbk("流浪地球 第1页 第" + std::to_string(i) + "条"),
        "1." + std::to_string(i % 100) + " GB",
        "2026-12-0" + std::to_string(1 + i % 9),
        "http://engine1.example/detail/" + std::to_string(1000000 + i * 7919) + ".html",
    });
  }
  return rows;
}

// Writes the rows from a worker thread while the GUI thread runs its event loop; each
// iteration's time is the worker's, from ClearRows to the return of its last write. With
// `wholeRows`, as a search writes them (AppendFilledRow: one hand-over per row); without,
// AppendRow and five SetCellText, six hand-overs per row.
void RowsIntoWindow(benchmark::State& state, bool wholeRows) {
  QtControlsPort port(*window);
  const auto rows = RowTexts();
  PaintCounter counter;
  window->ResultList()->viewport()->installEventFilter(&counter);
  int lastRows = 0;
  for (auto _ : state) {
    port.ClearRows();
    QCoreApplication::processEvents();
    std::chrono::steady_clock::duration took{};
    QEventLoop loop;
    std::thread worker([&] {
      const auto start = std::chrono::steady_clock::now();
      port.ClearRows();
      for (int i = 1; i <= kRows; ++i) {
        const auto& cells = rows[i - 1];
        if (wholeRows) {
          port.AppendFilledRow(i - 1, cells);
          continue;
        }
        port.AppendRow();
        for (int column = 0; column < kResultColumns; ++column) {
          port.SetCellText(i - 1, column, cells[column]);
        }
      }
      took = std::chrono::steady_clock::now() - start;
      QMetaObject::invokeMethod(
          &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    state.SetIterationTime(std::chrono::duration<double>(took).count());
    lastRows = window->ResultList()->rowCount();
  }
  window->ResultList()->viewport()->removeEventFilter(&counter);
  if (lastRows != kRows || window->ResultList()->item(kRows - 1, 4)->text().isEmpty()) {
    state.SkipWithError("rows missing");
  }
  state.counters["rows"] = lastRows;
  state.counters["paints_per_run"] =
      static_cast<double>(counter.paints.load()) / static_cast<double>(state.iterations());
  state.counters["hand_overs"] = 1 + (wholeRows ? 1 : 1 + kResultColumns) * kRows;
}

void BM_RowsIntoWindow(benchmark::State& state) { RowsIntoWindow(state, true); }
void BM_RowsIntoWindowCellByCell(benchmark::State& state) { RowsIntoWindow(state, false); }

BENCHMARK(BM_RowsIntoWindow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3);
BENCHMARK(BM_RowsIntoWindowCellByCell)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3);

}  // namespace
}  // namespace trawler

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') {
    std::fprintf(stderr, "window_rows_bench: DISPLAY is not set (start Xvfb first)\n");
    return 1;
  }
  QApplication application(argc, argv);
  trawler::MainWindow window(QUrl("about:blank"));
  trawler::window = &window;
  window.show();
  // Wait until the window is on screen, so that the rows are painted as they come.
  while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
