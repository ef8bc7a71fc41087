#include "search/dispatch.h"

#include <system_error>
#include <thread>
#include <utility>

namespace trawler {

std::atomic<std::int32_t> CurrentPage{0};

int SelectedEngine(ControlsPort& port) {
  const int index = port.EngineComboCurrentIndex();
  if (index < 0 || index >= port.EngineComboItemCount()) return -1;
  return port.EngineComboItemValue(index);
}

bool StartWorker(std::function<void()> routine) {
  try {
    std::thread(std::move(routine)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

SearchDispatch::SearchDispatch(ControlsPort& port, SiteRoutines routines, WorkerStarter starter)
    : port_(port), routines_(std::move(routines)), starter_(std::move(starter)) {}

void SearchDispatch::OnSearchClicked() {
  CurrentPage.store(1);
  StartSelectedSite();
}

void SearchDispatch::OnNextPageClicked() {
  // Only this thread writes the counter, so a plain read-add-write is what is meant; the
  // atomic add gives the same result and keeps the workers' reads well-defined.
  CurrentPage.fetch_add(1);
  StartSelectedSite();
}

void SearchDispatch::StartSelectedSite() {
  // Three separate tests, each reading the selection afresh: nothing between them can change
  // it, so at most one worker starts.
  for (int site = 1; site <= 3; ++site) {
    if (SelectedEngine(port_) != site) continue;
    const SiteRoutine& routine = routines_[site - 1];
    if (!routine) continue;
    ControlsPort& port = port_;
    starter_([routine, &port] { routine(port); });
  }
}

}  // namespace trawler
