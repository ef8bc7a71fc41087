#include "search/site_search.h"

namespace trawler {

// The routines are being written; until then a search only empties the list.
void SearchEngine1(ControlsPort& port) { port.ClearRows(); }
void SearchEngine2(ControlsPort& port) { port.ClearRows(); }
void SearchEngine3(ControlsPort& port) { port.ClearRows(); }

SiteRoutines DefaultSiteRoutines() { return {SearchEngine1, SearchEngine2, SearchEngine3}; }

}  // namespace trawler
