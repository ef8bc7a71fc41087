// Fuzzes cookie merging. The input up to its first zero byte is the sent list, the rest
// (up to its next zero) the received list.
// - Nothing crashes.
// - The result is the merged sent list; received is left without spaces.
// - For ASCII lists: no merged entry ends in "=deleted".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/text_ops.h"
#include "web/cookies.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

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
