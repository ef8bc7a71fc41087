// Helpers shared by the fuzz targets: an invariant check that stops the run with a report,
// so libFuzzer keeps the input that broke it.
#ifndef TRAWLER_FUZZ_FUZZ_CHECK_H_
#define TRAWLER_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace trawler::fuzz {

// Aborts, naming `what`, when `ok` is false.
inline void Check(bool ok, const char* what = "invariant") {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// True when every byte of `text` is below 0x80.
inline bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace trawler::fuzz

#endif  // TRAWLER_FUZZ_FUZZ_CHECK_H_
