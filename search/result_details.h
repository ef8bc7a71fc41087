// Result details: what a left click on ResultList shows in TitleEdit and AddressEdit.
//
// For sites 1 and 2 the row holds a link to the hit's detail page: the handler fetches that
// page (on the calling thread, synchronously) and cuts the download address out of it. For
// site 3 the row holds the address itself. The site is the one chosen in EngineCombo at the
// time of the click, not the one whose search filled the list.
//
// Thread-safety: runs on the GUI thread; its request blocks that thread until it ends (the
// request routine's own time-outs bound it).
#ifndef TRAWLER_SEARCH_RESULT_DETAILS_H_
#define TRAWLER_SEARCH_RESULT_DETAILS_H_

#include "search/controls_port.h"

namespace trawler {

enum class DetailBox { kTitleEdit, kAddressEdit };

// The handler of a left click on ResultList (on a row or on empty space). Sites 1 and 2:
// fetch the detail page, then TitleEdit gets column 1 and AddressEdit the text between the
// site's markers (emptied when the request fails or a marker is missing). Site 3: TitleEdit
// gets column 1 and AddressEdit column 4, with no request. No valid site: nothing changes.
void OnResultListClicked(ControlsPort& port);

// Reads the first selected row anew and puts the text of its cell in `column` into `box`
// (an empty text when no row is selected).
void CopySelectedCell(ControlsPort& port, int column, DetailBox box);

}  // namespace trawler

#endif  // TRAWLER_SEARCH_RESULT_DETAILS_H_
