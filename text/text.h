// Core text types of trawler.
//
// Every text inside the program is GBK (code page 936): a `Text` is a std::string of GBK
// bytes. A byte 0x80-0xFF starts a double-byte character together with the byte after it.
// A `Text` never holds a zero byte: every routine that makes a `Text` from raw bytes ends it
// at the first zero, as a zero-terminated string would (see MakeText).
//
// `Bytes` is a counted byte buffer that may hold zero bytes (response bodies, UTF-16LE
// "wide" buffers). It is a std::string as well, so that both travel without copies.
//
// Thread-safety: plain value types; nothing here is shared.
#ifndef TRAWLER_TEXT_TEXT_H_
#define TRAWLER_TEXT_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace trawler {

using Text = std::string;
using Bytes = std::string;

// A list of texts, as SplitText gives it. Callers that count from 1 use item i - 1.
using TextList = std::vector<Text>;

// Returns `bytes` up to (not including) its first zero byte, or all of it when it has none.
[[nodiscard]] inline Text MakeText(std::string_view bytes) {
  const auto zero = bytes.find('\0');
  return Text(zero == std::string_view::npos ? bytes : bytes.substr(0, zero));
}

}  // namespace trawler

#endif  // TRAWLER_TEXT_TEXT_H_
