// Fuzzes UrlEncode. The first byte picks the two flags, the rest is the text.
// - Nothing crashes.
// - The result is plain ASCII: "%" with two upper-case hex digits, or, with keepPlain, one
//   of "-", ".", 0-9, A-Z, a-z; without keepPlain every byte is escaped.
// - Decoding it gives back the encoded bytes: the text up to a zero byte, or its UTF-8 form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/code_page.h"

namespace {

using trawler::fuzz::Check;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower-case digits are not part of the shape
}

bool IsPlain(char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool keepPlain = (data[0] & 1) != 0;
  const bool utf8First = (data[0] & 2) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const trawler::Text encoded = trawler::UrlEncode(text, keepPlain, utf8First);
  std::string decoded;
  for (std::size_t i = 0; i < encoded.size();) {
    if (encoded[i] == '%') {
      Check(i + 2 < encoded.size());
      const int high = HexValue(encoded[i + 1]);
      const int low = HexValue(encoded[i + 2]);
      Check(high >= 0 && low >= 0);
      const char byte = static_cast<char>(high * 16 + low);
      // A byte of the plain set is only escaped when keepPlain is off.
      Check(!keepPlain || !IsPlain(byte));
      decoded += byte;
      i += 3;
    } else {
      Check(keepPlain && IsPlain(encoded[i]));
      decoded += encoded[i];
      i += 1;
    }
  }
  Check(decoded == (utf8First ? trawler::GbkToUtf8(text) : trawler::MakeText(text)));
  return 0;
}
