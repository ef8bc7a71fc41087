// Fuzzes the routine of site 2 (and a click on its first row) over an arbitrary page; see
// site_fuzz_support.h for what is checked.
#include "fuzz/site_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return trawler::fuzz::RunSiteOverPage(2, data, size);
}
