// The page pipeline of a search, for each of the three sites: the UTF-8 response body turned
// into GBK (Utf8ToGbk), the site's pattern run over it (RegexMatcher::Create with the
// defaults, MatchCount) and the group of every column of every match read back as GBK
// (SubMatchText), as the site routines do before writing rows. Figures are MB/s of body.
//
// Pages are generated here in the shapes the fixture sites serve (tools/fixture_sites.py):
// a 0.5 MB page with 1,000 hits and a 5 MB page with 10,000 hits per site, Chinese names,
// and a line of description per hit that the patterns must skip, as on a real result page.
//
// Side by side in the same run: std::regex (ECMAScript | icase) over the same GBK page,
// reading the same groups. bench/pipeline_python.py does the same work with Python's
// standard library: with --pages_dir=DIR this program first writes every page (UTF-8), each
// site's pattern (GBK) and a manifest.json there for it to read.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "search/site_table.h"
#include "text/code_page.h"
#include "text/regex_matcher.h"

namespace trawler {
namespace {

constexpr int kSites[] = {1, 2, 3};
constexpr int kHitCounts[] = {1000, 10000};
// Body bytes per hit: 1,000 hits make about 0.5 MB, 10,000 hits about 5 MB.
constexpr std::size_t kBytesPerHit = 512;

// Keywords the names are made of, as a user would type them.
constexpr std::string_view kKeywords[] = {"流浪地球", "三体 第一季", "黑客帝国 Matrix",
                                          "中文字幕 纪录片"};

// 40 upper-case hex digits, different for every (site, hit).
std::string HashOf(int site, int hit) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::uint64_t x = static_cast<std::uint64_t>(site) * 0x9E3779B97F4A7C15ULL + hit;
  std::string out;
  for (int i = 0; i < 40; ++i) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 32;
    out += kHex[x & 15];
  }
  return out;
}

// One hit row in site `site`'s shape (one line).
std::string HitRow(int site, int hit) {
  const std::string name =
      std::string(kKeywords[hit % 4]) + " 第1页 第" + std::to_string(hit) + "条";
  const std::string size = std::to_string(1 + hit % 9) + "." + std::to_string(hit % 100) + " GB";
  const std::string date = "2026-12-0" + std::to_string(1 + hit % 9);
  const std::string hash = HashOf(site, hit);
  if (site == 1) {
    const std::string link = "http://engine1.example/detail/" + hash + ".html";
    return "<tr class=\"item\"><td class=\"files-name\"><a href=\"" + link + "\" title=\"" + name +
           "\" target=\"_blank\">" + name + "</a></td><td class=\"files-size\">" + size +
           "</td> <td class=\"convert-date\">" + date + "</td> <td class=\"action\"><a href=\"" +
           link + "\" class=\"btn\" title=\"查看详情\">详情</a></td></tr>\n";
  }
  if (site == 2) {
    return "<tr><td class=\"name\">" + name + "</td><td class=\"size\">" + size +
           "</td><td class=\"date\">" + date + "</td><td class=\"action\"><a href=\"detail/" +
           hash + ".html\" title=\"下载种子\">下载</a></td></tr>\n";
  }
  return "<dl class=\"item\"><dt><dd><a href=\"/torrent/" + hash + ".html\" target=\"_blank\">" +
         name + "</a></dd></dt><dd><span><a href=\"magnet:?xt=urn:btih:" + hash +
         "\">磁力链接</a></span><span class=\"meta\">创建时间&nbsp;:&nbsp;<b>" + date +
         "</b></span><span class=\"meta\">文件大小&nbsp;:&nbsp;<b>" + size +
         "</b></span></dd></dl>\n";
}

// A description line after each hit that brings the hit to kBytesPerHit bytes: Chinese
// text and markup that none of the patterns can start a match in.
std::string FillerLine(std::size_t used) {
  std::string line =
      "<div class=\"desc\">简介：高清影片，中文字幕，国语配音，无水印。<span class=\"tag\">1080p"
      "</span><span class=\"tag\">HEVC</span>";
  const std::string close = "</div>\n";
  while (used + line.size() + close.size() < kBytesPerHit) line += ' ';
  return line + close;
}

// Site `site`'s result page with `hits` hits (UTF-8).
std::string MakePage(int site, int hits) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>流浪地球 - 搜索结果</title>\n<link rel=\"stylesheet\" href=\"/static/site.css\">\n"
      "</head>\n<body>\n<div class=\"header\"><a href=\"/\">首页</a> | 磁力搜索</div>\n";
  page += site == 3 ? "<div class=\"list\">\n"
                    : "<p class=\"summary\">找到以下结果：</p>\n<table class=\"files\">\n";
  page.reserve(static_cast<std::size_t>(hits) * kBytesPerHit + 1024);
  for (int hit = 1; hit <= hits; ++hit) {
    const std::string row = HitRow(site, hit);
    page += row;
    page += FillerLine(row.size());
  }
  page += site == 3 ? "</div>\n" : "</table>\n";
  page += "<div class=\"footer\">本站不存储任何文件。</div>\n</body>\n</html>\n";
  return page;
}

// The pages, made once: index [site - 1][0 for 1,000 hits, 1 for 10,000].
const std::string& Page(int site, int hits) {
  static const auto pages = [] {
    std::vector<std::vector<std::string>> all;
    for (const int s : kSites) {
      all.emplace_back();
      for (const int h : kHitCounts) all.back().push_back(MakePage(s, h));
    }
    return all;
  }();
  return pages[site - 1][hits == kHitCounts[0] ? 0 : 1];
}

void BM_Pipeline(benchmark::State& state) {
  const int siteId = static_cast<int>(state.range(0));
  const int hits = static_cast<int>(state.range(1));
  const SiteDefinition& site = *FindSite(siteId);
  const std::string& body = Page(siteId, hits);
  int count = 0;
  std::size_t groupBytes = 0;
  for (auto _ : state) {
    // As a site routine does: the page is handed over to the matcher, which keeps it.
    RegexMatcher matcher;
    matcher.Create(site.pattern, Utf8ToGbk(body));
    count = matcher.MatchCount();
    groupBytes = 0;
    for (int i = 1; i <= count; ++i) {
      for (const int group : site.columnGroups) {
        const Text text = matcher.SubMatchText(i, group);
        groupBytes += text.size();
        benchmark::DoNotOptimize(text.data());
      }
    }
  }
  if (count != hits) state.SkipWithError("wrong number of matches");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
  state.counters["matches"] = count;
  state.counters["body_bytes"] = static_cast<double>(body.size());
  state.counters["group_bytes"] = static_cast<double>(groupBytes);
}

// std::regex over the GBK page (converted once, outside the timing: the figure is the
// matching alone, which flatters std::regex).
void BM_PipelineStdRegex(benchmark::State& state) {
  const int siteId = static_cast<int>(state.range(0));
  const int hits = static_cast<int>(state.range(1));
  const SiteDefinition& site = *FindSite(siteId);
  const std::string& body = Page(siteId, hits);
  const Text page = Utf8ToGbk(body);
  int count = 0;
  for (auto _ : state) {
    const std::regex re(site.pattern, std::regex::ECMAScript | std::regex::icase);
    count = 0;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), re); it != std::sregex_iterator();
         ++it) {
      ++count;
      for (const int group : site.columnGroups) {
        const std::string text = (*it)[group].str();
        benchmark::DoNotOptimize(text.data());
      }
    }
  }
  if (count != hits) state.SkipWithError("wrong number of matches");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
  state.counters["matches"] = count;
}

void PipelineArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"site", "hits"});
  for (const int site : kSites) {
    for (const int hits : kHitCounts) b->Args({site, hits});
  }
}

BENCHMARK(BM_Pipeline)->Apply(PipelineArgs)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Where the time of BM_Pipeline goes, stage by stage, on the 0.5 MB pages (MB/s of body).
enum class Stage { kUtf8ToGbk, kGbkToUtf16, kRegexScan, kGroups };

void PipelineStage(benchmark::State& state, Stage stage) {
  const int siteId = static_cast<int>(state.range(0));
  const SiteDefinition& site = *FindSite(siteId);
  const std::string& body = Page(siteId, kHitCounts[0]);
  const Text page = Utf8ToGbk(body);
  const std::u16string wide = GbkToUtf16(page);
  RegexMatcher matcher;
  matcher.Create(site.pattern, page);
  const int count = matcher.MatchCount();
  for (auto _ : state) {
    switch (stage) {
      case Stage::kUtf8ToGbk:
        benchmark::DoNotOptimize(Utf8ToGbk(body).data());
        break;
      case Stage::kGbkToUtf16:
        benchmark::DoNotOptimize(GbkToUtf16(page).data());
        break;
      case Stage::kRegexScan: {
        // What Create does between the conversion of the subject and keeping it. The
        // subject is handed over, as Create does; its copy here is not timed.
        state.PauseTiming();
        std::u16string subject = wide;
        state.ResumeTiming();
        RegExpObject regExp;
        regExp.PutProperty("IgnoreCase", true);
        regExp.PutProperty("Multiline", true);
        regExp.PutProperty("Global", true);
        regExp.PutProperty("Pattern", GbkToUtf16(site.pattern));
        benchmark::DoNotOptimize(regExp.Execute(std::move(subject)).get());
        break;
      }
      case Stage::kGroups:
        for (int i = 1; i <= count; ++i) {
          for (const int group : site.columnGroups) {
            benchmark::DoNotOptimize(matcher.SubMatchText(i, group).data());
          }
        }
        break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}

void BM_StageUtf8ToGbk(benchmark::State& state) { PipelineStage(state, Stage::kUtf8ToGbk); }
void BM_StageGbkToUtf16(benchmark::State& state) { PipelineStage(state, Stage::kGbkToUtf16); }
void BM_StageRegexScan(benchmark::State& state) { PipelineStage(state, Stage::kRegexScan); }
void BM_StageGroups(benchmark::State& state) { PipelineStage(state, Stage::kGroups); }
BENCHMARK(BM_StageUtf8ToGbk)->ArgName("site")->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StageGbkToUtf16)->ArgName("site")->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StageRegexScan)->ArgName("site")->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StageGroups)->ArgName("site")->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PipelineStdRegex)->Apply(PipelineArgs)->Unit(benchmark::kMillisecond)->MinTime(0.5);

bool WriteFile(const std::filesystem::path& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

// Writes the pages, the patterns and manifest.json into `dir` for pipeline_python.py.
bool WritePages(const std::filesystem::path& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) return false;
  std::string manifest = "[\n";
  for (const int site : kSites) {
    const std::string patternFile = "site" + std::to_string(site) + ".pattern";
    if (!WriteFile(dir / patternFile, FindSite(site)->pattern)) return false;
    const auto& groups = FindSite(site)->columnGroups;
    for (const int hits : kHitCounts) {
      const std::string pageFile =
          "site" + std::to_string(site) + "_" + std::to_string(hits) + ".html";
      if (!WriteFile(dir / pageFile, Page(site, hits))) return false;
      if (manifest.size() > 2) manifest += ",\n";
      manifest += "  {\"site\": " + std::to_string(site) + ", \"hits\": " + std::to_string(hits) +
                  ", \"page\": \"" + pageFile + "\", \"pattern\": \"" + patternFile +
                  "\", \"groups\": [" + std::to_string(groups[0]) + ", " +
                  std::to_string(groups[1]) + ", " + std::to_string(groups[2]) + ", " +
                  std::to_string(groups[3]) + "]}";
    }
  }
  manifest += "\n]\n";
  return WriteFile(dir / "manifest.json", manifest);
}

}  // namespace
}  // namespace trawler

int main(int argc, char** argv) {
  // --pages_dir=DIR is ours; every other argument goes to Google Benchmark.
  constexpr std::string_view kPagesFlag = "--pages_dir=";
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kPagesFlag)) {
      if (!trawler::WritePages(std::string(arg.substr(kPagesFlag.size())))) {
        std::fprintf(stderr, "pipeline_bench: cannot write the pages to %s\n",
                     argv[i] + kPagesFlag.size());
        return 1;
      }
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
