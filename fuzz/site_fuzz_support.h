// Shared by the site fuzz targets: runs one site routine, then a click on its first row,
// over an arbitrary page. A transport override answers every request of the thread with the
// fuzzer's input as the body (sites 1 and 2 fetch it as the search page and as the detail
// page; site 3 as the front page that names the search key and as the result page), so no
// byte goes to the network. TableControlsPort stands in for the window.
// - Nothing crashes; every run ends (the regex time limit bounds a page built to backtrack).
// - Rows are numbered 1, 2, ... in order, one per match, never more rows than page bytes.
// - The detail click changes nothing but the two boxes.
#ifndef TRAWLER_FUZZ_SITE_FUZZ_SUPPORT_H_
#define TRAWLER_FUZZ_SITE_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/table_port.h"
#include "fuzz/fuzz_check.h"
#include "search/dispatch.h"
#include "search/result_details.h"
#include "search/site_search.h"
#include "web/transport.h"

namespace trawler::fuzz {

inline int RunSiteOverPage(int site, const std::uint8_t* data, std::size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  const ScopedTransportOverride network([&page](const TransportRequest&) {
    TransportResponse response;
    response.body = page;
    response.headerBlock = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n";
    return response;
  });
  CurrentPage.store(1);
  TableControlsPort port;
  port.SelectEngineIndex(site - 1);
  port.SetKeyword("fuzz");
  DefaultSiteRoutines()[static_cast<std::size_t>(site - 1)](port);

  const auto rows = port.Rows();
  Check(rows.size() <= size);
  for (std::size_t i = 0; i < rows.size(); ++i) Check(rows[i][0] == std::to_string(i + 1));

  if (!rows.empty()) {
    port.SelectRow(0);
    OnResultListClicked(port);
    Check(port.Rows() == rows);
    Check(port.TitleText() == rows[0][1]);
    // Site 3 shows the row's link as the address; sites 1 and 2 cut it out of the page.
    if (site == 3) Check(port.AddressText() == rows[0][4]);
  }
  return 0;
}

}  // namespace trawler::fuzz

#endif  // TRAWLER_FUZZ_SITE_FUZZ_SUPPORT_H_
