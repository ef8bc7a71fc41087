// The site-1 pattern over a generated result page, as a search runs it: Create, MatchCount
// and the four groups of every match. Side by side, std::regex (ECMAScript, icase) does the
// same matching on the same GBK page. Then the site-3 pattern over a hostile page (1 MiB of
// openers on one line, no closer), which must stop at the time limit.
//
// Pages: 1,000 hits in about 0.5 MB, and 10,000 hits in about 5 MB (a run over many matches
// must stay linear).
#include <benchmark/benchmark.h>

#include <regex>
#include <string>

#include "text/code_page.h"
#include "text/regex_matcher.h"

namespace trawler {
namespace {

const Text kSite1Pattern =
    R"re( title="(.*?)" target=".*?<td class="files-size">(.*?)</td> <td class="convert-date">(.*?)</td> <td class="action"><a href="(.*?)" class="btn" title=".*?")re";

// A result page with `hits` rows of about 500 bytes each, Chinese names included.
Text MakeSite1Page(int hits) {
  static const char* const kNames[] = {"中文字幕", "电影", "纪录片", "音乐专辑"};
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>search</title></head>\n"
      "<body><div class=\"nav\"><a href=\"/\" title=\"home\">home</a></div>\n<table>\n";
  for (int row = 0; row < hits; ++row) {
    const std::string name =
        std::string(kNames[row % 4]) + " 2023 1080p WEB-DL " + std::to_string(row);
    page += "<tr class=\"item\"><td class=\"name\"><a href=\"/torrent/" +
            std::to_string(row * 7919) + ".html\" title=\"" + name +
            "\" target=\"_blank\" rel=\"nofollow noopener\" data-kind=\"video\">" + name +
            "</a><span class=\"tag\">hd</span><span class=\"tag\">new</span>"
            "<span class=\"seeders\" title=\"seeders\">" +
            std::to_string(row % 97) + "</span><span class=\"peers\">" + std::to_string(row % 13) +
            "</span></td> "
            "<td class=\"files-size\">" +
            std::to_string(row % 900) + ".5 MB</td> <td class=\"convert-date\">2023-04-" +
            std::to_string(10 + row % 18) + "</td> <td class=\"action\"><a href=\"/detail/" +
            std::to_string(row * 7919) +
            ".html\" class=\"btn\" title=\"download\">download</a></td></tr>\n";
  }
  page += "</table></body></html>\n";
  return Utf8ToGbk(page);
}

const Text& Site1Page(int hits) {
  static const Text small = MakeSite1Page(1000);
  static const Text large = MakeSite1Page(10000);
  return hits == 1000 ? small : large;
}

void BM_Site1RegexMatcher(benchmark::State& state) {
  const Text& page = Site1Page(static_cast<int>(state.range(0)));
  int count = 0;
  for (auto _ : state) {
    RegexMatcher matcher;
    matcher.Create(kSite1Pattern, page);
    count = matcher.MatchCount();
    for (int i = 1; i <= count; ++i) {
      for (int g = 1; g <= 4; ++g) benchmark::DoNotOptimize(matcher.SubMatchText(i, g));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["matches"] = count;
  state.counters["page_bytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_Site1RegexMatcher)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Site1StdRegex(benchmark::State& state) {
  const Text& page = Site1Page(static_cast<int>(state.range(0)));
  int count = 0;
  for (auto _ : state) {
    const std::regex re(kSite1Pattern, std::regex::ECMAScript | std::regex::icase);
    count = 0;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), re); it != std::sregex_iterator();
         ++it) {
      ++count;
      for (int g = 1; g <= 4; ++g) benchmark::DoNotOptimize((*it)[g].str());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["matches"] = count;
}
BENCHMARK(BM_Site1StdRegex)->Arg(1000)->Unit(benchmark::kMillisecond);

// The site-3 pattern over 1 MiB on one line, three hostile shapes:
// 0: openers only, each starting a lazy run to the end of the line;
// 1: openers each followed by the inner closers, so that every opener can end its first
//    group at any later one;
// 2: as 1 with the creation time too, but never a file size: every such try then runs a
//    lazy ".*?" to the end of the line, and the engine's backtracking limit stops the run.
void BM_Site3HostilePage(benchmark::State& state) {
  const Text pattern = Utf8ToGbk(
      R"re(target="_blank">(.*?)</a></dd></dt><dd><span><a href="(.*?)".*?创建时间&nbsp;:&nbsp;<b>(.*?)</b>.*?文件大小&nbsp;:&nbsp;<b>(.*?)</b>)re");
  static const char* const kUnits[] = {
      "<dd>target=\"_blank\">name ",
      "target=\"_blank\">x</a></dd></dt><dd><span><a href=\"y\" ",
      "target=\"_blank\">x</a></dd></dt><dd><span><a href=\"y\" 创建时间&nbsp;:&nbsp;<b>t</b> ",
  };
  const Text unit = Utf8ToGbk(kUnits[state.range(0)]);
  Text page;
  while (page.size() < (1u << 20)) page += unit;
  bool complete = true;
  for (auto _ : state) {
    RegexMatcher matcher;
    matcher.Create(pattern, page);
    complete = matcher.matches && matcher.matches->Complete();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["complete"] = complete ? 1 : 0;
}
BENCHMARK(BM_Site3HostilePage)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace trawler

BENCHMARK_MAIN();
