#include "search/site_search.h"

#include <array>
#include <string>
#include <utility>

#include "search/site_table.h"
#include "text/code_page.h"
#include "text/regex_matcher.h"
#include "text/text_ops.h"
#include "web/http_exchange.h"

namespace trawler {
namespace {

Text EncodeKeyword(const Text& keyword) {
  return UrlEncode(keyword, /*keepPlain=*/false, /*utf8First=*/true);
}

// The one moment a routine reads the page counter.
Text CurrentPageText() { return std::to_string(CurrentPage.load()); }

Text SearchUrl(const SiteDefinition& site, const Text& key, const Text& page) {
  Text url = "http://";
  url.append(site.host)
      .append(site.searchPrefix)
      .append(key)
      .append(site.searchMiddle)
      .append(page)
      .append(site.searchSuffix);
  return url;
}

// Runs the site's pattern over the page and writes one row per match. Rows are addressed
// as i - 1 from the top: the routine emptied the list itself and counts on being its only
// writer. The count is read once, before the loop.
// The page is handed over to the matcher, which keeps it: a page is not copied.
void FillRows(ControlsPort& port, RegexMatcher& matcher, const SiteDefinition& site, Text page) {
  matcher.Create(site.pattern, std::move(page));
  const int count = matcher.MatchCount();
  for (int i = 1; i <= count; ++i) {
    // The row's texts are read first and the row is then written in one go (AppendRow and
    // its five cells in order), so that a window takes it in one hand-over.
    std::array<Text, kResultColumns> cells;
    cells[0] = std::to_string(i);
    for (int column = 1; column <= 4; ++column) {
      cells[column] = matcher.SubMatchText(i, site.columnGroups[column - 1]);
    }
    port.AppendFilledRow(i - 1, cells);
  }
}

// Sites 1 and 2: one GET of the search page.
void SearchSingleRequest(ControlsPort& port, const SiteDefinition& site) {
  RegexMatcher matcher;
  port.ClearRows();
  const Text encoded = EncodeKeyword(port.KeywordText());
  const Text url = SearchUrl(site, encoded, CurrentPageText());
  FillRows(port, matcher, site, FetchPageText(url, static_cast<int>(site.method)));
}

}  // namespace

void SearchEngine1(ControlsPort& port) { SearchSingleRequest(port, *FindSite(1)); }

void SearchEngine2(ControlsPort& port) { SearchSingleRequest(port, *FindSite(2)); }

// Site 3: a POST of the keyword to the front page, whose answer links the first result page
// through a search key; then a POST of the keyword to the result page of that key.
void SearchEngine3(ControlsPort& port) {
  const SiteDefinition& site = *FindSite(3);
  RegexMatcher matcher;
  port.ClearRows();
  const Text firstBody = Text(site.bodyPrefix) + EncodeKeyword(port.KeywordText());
  const Text keyPage = FetchPageText("http://" + Text(site.host) + Text(site.keyPagePath),
                                     static_cast<int>(site.method), firstBody);
  const Text key = TextBetween(keyPage, site.keyLeftMarker, site.keyRightMarker);
  const Text url = SearchUrl(site, key, CurrentPageText());
  // The keyword is read and encoded again for the second request.
  const Text secondBody = Text(site.bodyPrefix) + EncodeKeyword(port.KeywordText());
  FillRows(port, matcher, site, FetchPageText(url, static_cast<int>(site.method), secondBody));
}

SiteRoutines DefaultSiteRoutines() { return {SearchEngine1, SearchEngine2, SearchEngine3}; }

}  // namespace trawler
