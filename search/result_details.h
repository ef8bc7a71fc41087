// Result details: what a left click on ResultList shows in TitleEdit and AddressEdit.
//
// For sites 1 and 2 the row holds a link to the hit's detail page: the handler fetches that
// page (on the calling thread, synchronously) and cuts the download address out of it. For
// site 3 the row holds the address itself. The site is the one chosen in EngineCombo at the
// time of the click.
//
// Thread-safety: runs on the GUI thread; its request blocks that thread until it ends.
#ifndef TRAWLER_SEARCH_RESULT_DETAILS_H_
#define TRAWLER_SEARCH_RESULT_DETAILS_H_

#include "search/controls_port.h"

namespace trawler {

// The handler of a left click on ResultList (on a row or on empty space).
void OnResultListClicked(ControlsPort& port);

}  // namespace trawler

#endif  // TRAWLER_SEARCH_RESULT_DETAILS_H_
