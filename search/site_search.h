// The three site routines: each turns the keyword in KeywordEdit into rows of ResultList
// for one search site, with the page number CurrentPage.
//
// A routine empties the list before any request, fetches the site's page(s) with
// FetchPageText, runs the site's pattern over the page with a RegexMatcher and writes one
// row per match: the running number and four groups. No failure is reported: a dead site or
// a page of another shape leaves the list empty.
//
// Thread-safety: each routine runs on a worker thread of its own and keeps no state
// between runs; several may run at once. They share only the controls (whose operations
// the port serialises) and CurrentPage (atomic).
#ifndef TRAWLER_SEARCH_SITE_SEARCH_H_
#define TRAWLER_SEARCH_SITE_SEARCH_H_

#include "search/controls_port.h"
#include "search/dispatch.h"

namespace trawler {

void SearchEngine1(ControlsPort& port);
void SearchEngine2(ControlsPort& port);
void SearchEngine3(ControlsPort& port);

// {SearchEngine1, SearchEngine2, SearchEngine3}, for SearchDispatch.
[[nodiscard]] SiteRoutines DefaultSiteRoutines();

}  // namespace trawler

#endif  // TRAWLER_SEARCH_SITE_SEARCH_H_
