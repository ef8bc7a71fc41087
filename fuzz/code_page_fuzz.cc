// Fuzzes the code-page conversions with arbitrary bytes, read as UTF-8 and as GBK.
// - Nothing crashes.
// - Utf8ToGbk (ASCII fast path) equals the plain conversion UnicodeToGbk(Utf8ToUnicode()),
//   GbkToUtf16 (fast path) equals AnsiToUnicode(, 936) without its zero unit, and
//   Utf16ToGbk (fast path) of the bytes read as UTF-16LE equals UnicodeToGbk of them.
// - Utf8ToGbk gives valid GBK: no zero byte; single bytes 0x01-0x80 and 0xFF; otherwise a
//   lead byte 0x81-0xFE with a trail byte 0x40-0x7E or 0x80-0xFE; and the text decodes
//   without U+FFFD and encodes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/code_page.h"

namespace {

using trawler::fuzz::Check;

bool IsStructurallyGbk(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == 0) return false;
    if (b < 0x81 || b == 0xFF) continue;
    if (i + 1 == text.size()) return false;
    const auto trail = static_cast<unsigned char>(text[++i]);
    if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const trawler::Text gbk = trawler::Utf8ToGbk(input);
  Check(gbk == trawler::UnicodeToGbk(trawler::Utf8ToUnicode(input)));
  Check(IsStructurallyGbk(gbk));
  const std::u16string decoded = trawler::GbkToUtf16(gbk);
  Check(decoded.find(u'\uFFFD') == std::u16string::npos);
  Check(trawler::Utf16ToGbk(decoded) == gbk);

  const trawler::Text asText = trawler::MakeText(input);
  const std::u16string wide = trawler::GbkToUtf16(asText);
  const trawler::Bytes plain = trawler::AnsiToUnicode(asText, trawler::kCodePageGbk);
  Check(plain.size() == (asText.empty() ? 0 : 2 * (wide.size() + 1)));
  for (std::size_t i = 0; i < wide.size(); ++i) {
    Check(static_cast<unsigned char>(plain[2 * i]) == (wide[i] & 0xFF));
    Check(static_cast<unsigned char>(plain[2 * i + 1]) == (wide[i] >> 8));
  }

  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  Check(trawler::Utf16ToGbk(units) == trawler::UnicodeToGbk(input));

  // Valid GBK survives the way to UTF-8 and back.
  Check(trawler::Utf8ToGbk(trawler::GbkToUtf8(gbk)) == gbk);
  (void)trawler::UnicodeToAnsi(input, trawler::kCodePageUtf8);
  (void)trawler::AnsiToUnicode(input, trawler::kCodePageUtf8);
  return 0;
}
