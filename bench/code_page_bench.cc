// Code-page conversion of a response page: a 1 MiB HTML result table, mostly ASCII markup
// with a Chinese name in every row, as a search site sends it.
//
// Utf8ToGbk and GbkToUtf16 take the ASCII fast path; the "Plain" variants convert the same
// page with ICU alone (the wide-buffer routines), for comparison.
#include <benchmark/benchmark.h>

#include <string>

#include "text/code_page.h"

namespace trawler {
namespace {

std::string MakePageUtf8() {
  // A few Chinese words (UTF-8) that rows take their names from.
  static const char* const kNames[] = {
      "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\xE5\xB9\x95",  // 中文字幕
      "\xE7\x94\xB5\xE5\xBD\xB1",                          // 电影
      "\xE7\xBA\xAA\xE5\xBD\x95\xE7\x89\x87",              // 纪录片
      "\xE9\x9F\xB3\xE4\xB9\x90\xE4\xB8\x93\xE8\xBE\x91",  // 音乐专辑
  };
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>search</title></head>\n"
      "<body><table class=\"results\">\n";
  for (int row = 0; page.size() < (1u << 20) - 400; ++row) {
    page += "<tr class=\"row\"><td class=\"num\">" + std::to_string(row) +
            "</td><td class=\"name\"><a href=\"/detail/" + std::to_string(row * 7919) +
            ".html\" title=\"";
    page += kNames[row % 4];
    page += " 2023 1080p\">";
    page += kNames[row % 4];
    page += " 2023 1080p WEB-DL</a></td><td class=\"size\">" + std::to_string(row % 900) +
            ".5 MB</td><td class=\"date\">2023-04-" + std::to_string(10 + row % 18) +
            "</td><td><a href=\"magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567\">"
            "magnet</a></td></tr>\n";
  }
  page += "</table></body></html>\n";
  return page;
}

const std::string& PageUtf8() {
  static const std::string page = MakePageUtf8();
  return page;
}

const Text& PageGbk() {
  static const Text page = Utf8ToGbk(PageUtf8());
  return page;
}

void BM_Utf8ToGbk(benchmark::State& state) {
  const std::string& page = PageUtf8();
  for (auto _ : state) benchmark::DoNotOptimize(Utf8ToGbk(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Utf8ToGbk);

void BM_Utf8ToGbkPlain(benchmark::State& state) {
  const std::string& page = PageUtf8();
  for (auto _ : state) benchmark::DoNotOptimize(UnicodeToGbk(Utf8ToUnicode(page)));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Utf8ToGbkPlain);

void BM_GbkToUtf16(benchmark::State& state) {
  const Text& page = PageGbk();
  for (auto _ : state) benchmark::DoNotOptimize(GbkToUtf16(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_GbkToUtf16);

void BM_GbkToUtf16Plain(benchmark::State& state) {
  const Text& page = PageGbk();
  for (auto _ : state) benchmark::DoNotOptimize(AnsiToUnicode(page, kCodePageGbk));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_GbkToUtf16Plain);

}  // namespace
}  // namespace trawler

BENCHMARK_MAIN();
