// The real program with ten workers that keep calling the controls port, so that whenever
// the window is closed they are waiting on a hand-over to the GUI thread. Prints "ready"
// once all ten have made their first call. Used by the window tests to close the program
// under load; it ends the way trawler itself ends.
#include <atomic>
#include <cstdio>
#include <thread>

#include "app/program.h"

int main() {
  trawler::RunProgram({}, [](trawler::ProgramWindow& program) {
    static std::atomic<int> running{0};
    trawler::ControlsPort& port = *program.port;
    for (int i = 0; i < 10; ++i) {
      std::thread([&port] {
        (void)port.KeywordText();
        if (running.fetch_add(1) + 1 == 10) {
          std::puts("ready");
          std::fflush(stdout);
        }
        for (;;) {
          port.SetCellText(0, 0, "x");
          (void)port.KeywordText();
        }
      }).detach();
    }
  });
}
