#include "search/site_table.h"

#include "text/code_page.h"

namespace trawler {
namespace {

// The patterns are written in UTF-8 here and matched against GBK pages, so they are
// converted once, on first use.
std::array<SiteDefinition, 3> BuildTable() {
  SiteDefinition site1{
      .engineId = 1,
      .host = TRAWLER_SITE1_HOST,
      .method = HttpMethod::kGet,
      .searchPrefix = "/search/",
      .searchMiddle = "/currentPage/",
      .searchSuffix = "",
      .keyPagePath = "",
      .keyLeftMarker = "",
      .keyRightMarker = "",
      .bodyPrefix = "",
      // It begins with one space.
      .pattern = Utf8ToGbk(
          R"re( title="(.*?)" target=".*?<td class="files-size">(.*?)</td> <td class="convert-date">(.*?)</td> <td class="action"><a href="(.*?)" class="btn" title=".*?")re"),
      .columnGroups = {1, 2, 3, 4},
      .detailRule = DetailRule::kLinkIsUrl,
      .detailLeftMarker = "readonly>",
      .detailRightMarker = "</textarea>",
  };
  SiteDefinition site2{
      .engineId = 2,
      .host = TRAWLER_SITE2_HOST,
      .method = HttpMethod::kGet,
      .searchPrefix = "/search/",
      .searchMiddle = "/",
      .searchSuffix = "",
      .keyPagePath = "",
      .keyLeftMarker = "",
      .keyRightMarker = "",
      .bodyPrefix = "",
      .pattern = Utf8ToGbk(
          R"re(<tr><td class="name">(.*?)</td><td class="size">(.*?)</td><td class="date">(.*?)</td><td class="action"><a href="(.*?)" title=".*?")re"),
      .columnGroups = {1, 2, 3, 4},
      .detailRule = DetailRule::kLinkAfterHost,
      .detailLeftMarker = R"re(this.select()">)re",
      .detailRightMarker = "</textarea>",
  };
  SiteDefinition site3{
      .engineId = 3,
      .host = TRAWLER_SITE3_HOST,
      .method = HttpMethod::kPost,
      .searchPrefix = "/search/",
      .searchMiddle = "/",
      .searchSuffix = "/0.html",
      .keyPagePath = "/",
      .keyLeftMarker = "/search/",
      .keyRightMarker = "/1/0.html",
      .bodyPrefix = "keyword=",
      // Group 1 is the name, 2 the link, 3 the time of creation, 4 the file size; the
      // columns show name, size, time, link.
      .pattern = Utf8ToGbk(
          R"re(target="_blank">(.*?)</a></dd></dt><dd><span><a href="(.*?)".*?创建时间&nbsp;:&nbsp;<b>(.*?)</b>.*?文件大小&nbsp;:&nbsp;<b>(.*?)</b>)re"),
      .columnGroups = {1, 4, 3, 2},
      .detailRule = DetailRule::kLinkIsAddress,
      .detailLeftMarker = "",
      .detailRightMarker = "",
  };
  return {site1, site2, site3};
}

}  // namespace

const SiteDefinition* FindSite(int engineId) {
  static const std::array<SiteDefinition, 3> table = BuildTable();
  if (engineId < 1 || engineId > 3) return nullptr;
  return &table[engineId - 1];
}

}  // namespace trawler
