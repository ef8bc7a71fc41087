// Fuzzes the request routine's walk over a raw response header block (ReadResponseHeaders)
// and the cookie merge that follows it in the routine. The input up to its first zero byte
// is the raw block, as the routine would hold it; the rest (up to its next zero) is the
// cookie list that was sent.
// - Nothing crashes; every run ends.
// - The location is the value of a line of the block, or the whole block when no line names
//   one (the caller's value here is empty).
// - For an ASCII block, the received cookies hold no CR LF: they come from inside single
//   lines. (A byte 0x80-0xFF before CR pairs with it as one double-byte character, so the
//   split does not happen there: that is the GBK reading, not a fault.)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/text_ops.h"
#include "web/cookies.h"
#include "web/http_exchange.h"

namespace {

using trawler::fuzz::Check;
using trawler::fuzz::IsAscii;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const trawler::Text raw = trawler::MakeText(input);
  const std::size_t zero = input.find('\0');
  const trawler::Text sent =
      zero == std::string_view::npos ? trawler::Text() : trawler::MakeText(input.substr(zero + 1));

  trawler::Text location;
  trawler::Text received;
  trawler::ReadResponseHeaders(raw, location, received);
  Check(location == raw || raw.find(location) != trawler::Text::npos, "location from the block");
  if (IsAscii(raw)) {
    Check(received.find("\r\n") == trawler::Text::npos, "cookies from single lines");
  }

  trawler::Text merged = sent;
  trawler::Text receivedCopy = received;
  trawler::MergeCookies(merged, receivedCopy);

  // With a location given by the caller, a block that names none leaves it as it was.
  trawler::Text given = "http://engine1.example/";
  trawler::Text again;
  trawler::ReadResponseHeaders(raw, given, again);
  Check(again == received, "cookies do not depend on the location");
  Check(!given.empty(), "a given location stays");
  return 0;
}
