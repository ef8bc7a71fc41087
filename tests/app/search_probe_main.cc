// The real program under a user who keeps clicking: fifty searches, one every 20 ms, the
// sites taking turns (every fifth a Next page), and a click on the first row every fifth step
// once there are rows, all through the window's own controls and the program's real workers.
// When the fiftieth search has started it prints "ready <n>", n being the searches still
// running, and goes on as the program does until the window is closed. Used by the window
// tests to close the program in the middle of that; it ends the way trawler itself ends.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <functional>
#include <utility>

#include "app/program.h"

namespace {

std::atomic<int> running{0};

bool CountedWorker(std::function<void()> worker) {
  ++running;
  const bool started = trawler::StartWorker([worker = std::move(worker)] {
    worker();
    --running;
  });
  if (!started) --running;
  return started;
}

}  // namespace

int main() {
  trawler::ProgramParts parts;
  parts.starter = CountedWorker;
  trawler::RunProgram(std::move(parts), [](trawler::ProgramWindow& program) {
    trawler::MainWindow& window = *program.window;
    auto* timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, [&window, timer, step = 0]() mutable {
      if (step % 5 == 4 && window.ResultList()->rowCount() > 0) {
        trawler::ResultTable* list = window.ResultList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(0, 1)).center());
      }
      window.EngineCombo()->setCurrentIndex(step % 3);
      window.KeywordEdit()->setText(QStringLiteral("probe"));
      (step % 5 == 4 ? window.NextPageButton() : window.SearchButton())->click();
      if (++step == 50) {
        timer->stop();
        std::printf("ready %d\n", running.load());
        std::fflush(stdout);
      }
    });
    timer->start(20);
  });
}
