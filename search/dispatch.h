// Search dispatch and paging: what a click on Search or Next page starts.
//
// `CurrentPage` is the one piece of search state of the program: 0 at start, set to 1 by
// Search, raised by 1 by Next page, read once by each site routine when it builds its URL.
// Each click starts exactly one detached worker thread for the site chosen in EngineCombo
// and returns at once; workers are never joined, counted or cancelled.
//
// Thread-safety: the click handlers run on the GUI thread (or, in the command-line tool and
// tests, on one thread at a time); CurrentPage is atomic and may be read from any thread.
#ifndef TRAWLER_SEARCH_DISPATCH_H_
#define TRAWLER_SEARCH_DISPATCH_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "search/controls_port.h"

namespace trawler {

// The page number of the current search; 0 when the program starts.
extern std::atomic<std::int32_t> CurrentPage;

// The value of the EngineCombo item currently selected (1, 2 or 3), or -1 when the index
// of the selection is below 0 or not below the number of items.
[[nodiscard]] int SelectedEngine(ControlsPort& port);

// Runs `routine` on a new detached thread. Returns false when the thread could not be
// created (nothing runs then), true otherwise.
bool StartWorker(std::function<void()> routine);

// A site routine: runs one search from start to end against the controls.
using SiteRoutine = std::function<void(ControlsPort&)>;
// The routines of sites 1, 2 and 3, in that order.
using SiteRoutines = std::array<SiteRoutine, 3>;
// How a click starts its worker: StartWorker, or a stand-in in tests.
using WorkerStarter = std::function<bool(std::function<void()>)>;

// The click handlers of Search and Next page, bound to one set of controls. The port must
// outlive every worker started here: the program keeps it until the process ends.
class SearchDispatch {
 public:
  explicit SearchDispatch(ControlsPort& port, SiteRoutines routines,
                          WorkerStarter starter = StartWorker);

  // Sets CurrentPage to 1, then starts the routine of the selected site, if any.
  void OnSearchClicked();
  // Adds 1 to CurrentPage, then starts the routine of the selected site, if any.
  void OnNextPageClicked();

 private:
  void StartSelectedSite();

  ControlsPort& port_;
  SiteRoutines routines_;
  WorkerStarter starter_;
};

}  // namespace trawler

#endif  // TRAWLER_SEARCH_DISPATCH_H_
