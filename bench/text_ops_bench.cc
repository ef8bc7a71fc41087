// Speed of the text operations over page-sized GBK texts: the searches the site routines and
// the request routine run over whole pages.
#include <benchmark/benchmark.h>

#include <string>

#include "text/text_ops.h"

namespace {

// A page of `bytes` bytes mixing ASCII markup with double-byte characters, some of whose
// trail bytes look like ASCII ('\' and '|'), with the marker pair at the very end.
std::string MakePage(std::size_t bytes) {
  static const std::string kRow =
      "<tr class=\"row\"><td>\xB0\xA1\x95\x5C\xD6\xD0\xCE\xC4 title \x81\x7C</td>"
      "<td>1.2 GB</td><td>2024-01-01</td></tr>\r\n";
  std::string page;
  page.reserve(bytes + 64);
  while (page.size() < bytes) page += kRow;
  page += "<a href=\"magnet:?xt=urn:btih:0123\">";
  return page;
}

void BM_FindTextCaseSensitive(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(trawler::FindText(page, "magnet:"));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_FindTextCaseSensitive)->Arg(1 << 20)->Arg(8 << 20);

void BM_FindTextIgnoreCase(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(trawler::FindText(page, "MAGNET:", 1, true));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_FindTextIgnoreCase)->Arg(1 << 20)->Arg(8 << 20);

// A needle whose first byte is frequent: every row offers candidates to check.
void BM_FindTextFrequentFirstByte(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(trawler::FindText(page, "<a href=", 1, true));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_FindTextFrequentFirstByte)->Arg(1 << 20);

void BM_TextBetweenWholePage(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)));
  const std::string left = std::string("href=") + std::string(trawler::QuotePlaceholder);
  const std::string right(trawler::QuotePlaceholder);
  for (auto _ : state) benchmark::DoNotOptimize(trawler::TextBetween(page, left, right));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_TextBetweenWholePage)->Arg(1 << 20);

void BM_SplitTextLines(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(trawler::SplitText(page, "\r\n"));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_SplitTextLines)->Arg(1 << 20);

void BM_TrimAndLower(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(trawler::TrimSpaces(page));
    benchmark::DoNotOptimize(trawler::ToLowerAscii(page));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size() * 2));
}
BENCHMARK(BM_TrimAndLower)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
