// The site table: everything that differs between the three search sites, in one place.
//
// Hosts are build-time constants (CMake cache variables TRAWLER_SITE1_HOST ... default to
// engine1.example, engine2.example, engine3.example: reserved names, so a build never sends
// a request to somebody else's server by accident). Nothing is read at run time.
//
// Thread-safety: the table is immutable once built (on first use, thread-safe static
// initialisation); any thread may read it.
#ifndef TRAWLER_SEARCH_SITE_TABLE_H_
#define TRAWLER_SEARCH_SITE_TABLE_H_

#include <array>
#include <string_view>

#include "text/text.h"

namespace trawler {

enum class HttpMethod { kGet = 0, kPost = 1 };

// How a click on a hit finds its detail page.
enum class DetailRule {
  kLinkIsUrl,      // column 4 is the whole URL of the detail page
  kLinkAfterHost,  // "http://" + host + "/" + column 4
  kLinkIsAddress,  // column 4 is the download address itself: no request
};

struct SiteDefinition {
  int engineId;  // 1, 2 or 3: the value of the EngineCombo item
  std::string_view host;
  HttpMethod method;
  // Search URL: "http://" + host + searchPrefix + key + searchMiddle + page + searchSuffix,
  // where key is the encoded keyword (sites 1, 2) or the search key (site 3).
  std::string_view searchPrefix;
  std::string_view searchMiddle;
  std::string_view searchSuffix;
  // Site 3 only: the path of the first request and the markers around the search key in
  // its answer.
  std::string_view keyPagePath;
  std::string_view keyLeftMarker;
  std::string_view keyRightMarker;
  // The body of a POST is bodyPrefix + the encoded keyword.
  std::string_view bodyPrefix;
  // The page pattern (GBK) and the group shown in columns 1 to 4.
  Text pattern;
  std::array<int, 4> columnGroups;
  // Result details.
  DetailRule detailRule;
  Text detailLeftMarker;
  Text detailRightMarker;
};

// The definition of site `engineId` (1, 2 or 3); nullptr for any other value.
[[nodiscard]] const SiteDefinition* FindSite(int engineId);

}  // namespace trawler

#endif  // TRAWLER_SEARCH_SITE_TABLE_H_
