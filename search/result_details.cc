#include "search/result_details.h"

#include "search/dispatch.h"
#include "search/site_table.h"
#include "text/text_ops.h"
#include "web/http_exchange.h"

namespace trawler {
namespace {

constexpr int kNameColumn = 1;
constexpr int kLinkColumn = 4;

void ShowDetails(ControlsPort& port, const SiteDefinition& site) {
  if (site.detailRule == DetailRule::kLinkIsAddress) {
    CopySelectedCell(port, kNameColumn, DetailBox::kTitleEdit);
    CopySelectedCell(port, kLinkColumn, DetailBox::kAddressEdit);
    return;
  }
  const Text link = port.GetCellText(port.FirstSelectedRow(), kLinkColumn);
  const Text url =
      site.detailRule == DetailRule::kLinkIsUrl ? link : "http://" + Text(site.host) + "/" + link;
  const Text page = FetchPageText(url);
  // Both boxes change only once the request has ended, the title first.
  CopySelectedCell(port, kNameColumn, DetailBox::kTitleEdit);
  port.SetAddressText(TextBetween(page, site.detailLeftMarker, site.detailRightMarker));
}

}  // namespace

void CopySelectedCell(ControlsPort& port, int column, DetailBox box) {
  const Text text = port.GetCellText(port.FirstSelectedRow(), column);
  if (box == DetailBox::kTitleEdit) {
    port.SetTitleText(text);
  } else {
    port.SetAddressText(text);
  }
}

void OnResultListClicked(ControlsPort& port) {
  // One test per site, each reading the selection afresh, in the order 1, 2, 3.
  for (int engineId = 1; engineId <= 3; ++engineId) {
    if (SelectedEngine(port) == engineId) ShowDetails(port, *FindSite(engineId));
  }
}

}  // namespace trawler
