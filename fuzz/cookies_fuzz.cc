// Fuzzes cookie merging. The input up to its first zero byte is the sent list, the rest
// (up to its next zero) the received list.
// - Nothing crashes.
// - The result is the merged sent list; received is left without spaces.
// - For ASCII lists: no merged entry ends in "=deleted".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/text_ops.h"
#include "web/cookies.h"

namespace {

using trawler::fuzz::Check;
using trawler::fuzz::IsAscii;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = input.find('\0');
  trawler::Text sent = trawler::MakeText(input);
  trawler::Text received =
      zero == std::string_view::npos ? trawler::Text() : trawler::MakeText(input.substr(zero + 1));
  const trawler::Text receivedBefore = received;

  const trawler::Text result = trawler::MergeCookies(sent, received);
  Check(result == sent);
  Check(received == trawler::RemoveSpaces(receivedBefore));

  if (IsAscii(sent)) {
    for (const trawler::Text& entry : trawler::SplitText(sent, "; ")) {
      Check(trawler::TextRight(entry, 8) != "=deleted");
    }
  }
  return 0;
}
