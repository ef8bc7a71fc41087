// Fuzz target for the GBK text operations. Besides "no crash, no sanitizer report" it
// checks each search against a plain character-by-character reference walk, and the
// relations between the operations that callers rely on.
//
// Input: one byte of flags, one byte of start position, then the text, a needle and a second
// marker, as FuzzedDataProvider hands them out.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/text_ops.h"

namespace {

using trawler::fuzz::Check;

using trawler::Text;
using trawler::TextList;

bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

bool SameAt(std::string_view text, std::size_t at, std::string_view needle, bool ignoreCase) {
  if (at + needle.size() > text.size()) return false;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    const char a = text[at + i];
    const char b = needle[i];
    if (ignoreCase ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

// Whether `at` begins a character when the text is walked from `from`.
bool IsBoundary(std::string_view text, std::size_t from, std::size_t at) {
  std::size_t i = from;
  while (i < at) i += IsLead(text[i]) ? 2 : 1;
  return i == at;
}

// The search as the text model describes it, one candidate at a time: 0-based index or -1.
long ReferenceFind(std::string_view text, std::string_view needle, std::size_t from,
                   bool ignoreCase, bool last) {
  long found = -1;
  for (std::size_t i = from; i + needle.size() <= text.size();) {
    if (IsLead(text[i]) && i + 1 == text.size()) break;
    if (SameAt(text, i, needle, ignoreCase)) {
      found = static_cast<long>(i);
      if (!last) break;
    }
    i += IsLead(text[i]) ? 2 : 1;
  }
  return found;
}

std::string Join(const TextList& items, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out += separator;
    out += items[i];
  }
  return out;
}

std::string FoldAll(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Fold(c);
  return out;
}

void CheckFind(std::string_view text, std::string_view needle, int start, bool ignoreCase) {
  const int got = trawler::FindText(text, needle, start, ignoreCase);
  const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (from >= text.size()) {
    Check(got == -1, "FindText: empty stretch gives -1");
    return;
  }
  if (needle.empty()) {
    Check(got == 1, "FindText: empty needle gives 1");
    return;
  }
  const long expected = ReferenceFind(text, needle, from, ignoreCase, false);
  Check(got == (expected == -1 ? -1 : expected + 1), "FindText agrees with the reference walk");
  if (got != -1) {
    const auto at = static_cast<std::size_t>(got - 1);
    Check(at >= from, "FindText: not before the start");
    Check(IsBoundary(text, from, at), "FindText: result is a character boundary");
    Check(SameAt(text, at, needle, ignoreCase), "FindText: the needle is there");
  }
  if (!ignoreCase) {
    const long last = ReferenceFind(text, needle, 0, false, true);
    Check(trawler::FindLastText(text, needle) == (last == -1 ? -1 : last + 1),
          "FindLastText agrees with the reference walk");
  }
}

void CheckSplitAndReplace(std::string_view text, std::string_view separator,
                          std::string_view replacement) {
  const TextList items = trawler::SplitText(text, separator);
  if (text.empty()) {
    Check(items.empty(), "SplitText: empty text gives no items");
  }
  if (separator.empty() && !text.empty()) {
    Check(items.size() == 1 && items[0] == text, "SplitText: empty separator gives the text");
  }
  // Joined with the separator the items give back the text, less the separator that ended
  // it when the final item (empty) was dropped.
  const std::string joined = Join(items, separator);
  const bool whole = joined == text;
  const bool lessFinal = !separator.empty() && !text.empty() && joined + Text(separator) == text;
  Check(whole || lessFinal, "SplitText: items joined give back the text");
  if (whole && !items.empty() && !separator.empty()) {
    Check(!items.back().empty(), "SplitText: a final item that is not cut by a separator");
  }
  // ReplaceText walks the same way SplitText does.
  const Text replaced = trawler::ReplaceText(text, separator, replacement);
  if (separator.empty()) {
    Check(replaced == text, "ReplaceText: empty old text leaves the text");
  } else if (whole) {
    Check(replaced == Join(items, replacement), "ReplaceText agrees with SplitText");
  } else {
    Check(replaced == Join(items, replacement) + Text(replacement),
          "ReplaceText agrees with SplitText (final separator)");
  }
  Check(trawler::ReplaceText(text, separator, separator) == text,
        "ReplaceText: old by old is the identity");
}

void CheckBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                  bool matchCase) {
  const Text between = trawler::TextBetween(text, left, right, start, matchCase);
  Check(between.size() <= text.size(), "TextBetween: no longer than the text");
  if (between.empty()) return;
  Check(text.find(between) != std::string_view::npos, "TextBetween: result lies in the text");
  const std::string quote = "\"";
  const Text l = trawler::ReplaceText(left, trawler::QuotePlaceholder, quote);
  const Text r = trawler::ReplaceText(right, trawler::QuotePlaceholder, quote);
  const std::string framed = l + between + r;
  if (matchCase) {
    Check(text.find(framed) != std::string_view::npos, "TextBetween: markers frame the result");
  } else {
    Check(FoldAll(text).find(FoldAll(framed)) != std::string::npos,
          "TextBetween: markers frame the result (case folded)");
  }
}

void CheckSpacesAndCase(std::string_view text) {
  const Text trimmed = trawler::TrimSpaces(text);
  Check(text.find(trimmed) != std::string_view::npos, "TrimSpaces: a piece of the text");
  Check(trawler::TrimSpaces(trimmed) == trimmed, "TrimSpaces is idempotent");
  const Text removed = trawler::RemoveSpaces(text);
  Check(trawler::RemoveSpaces(trimmed) == removed, "RemoveSpaces agrees with TrimSpaces");
  Check(trawler::RemoveSpaces(removed) == removed, "RemoveSpaces is idempotent");

  const Text lower = trawler::ToLowerAscii(text);
  Check(lower.size() == text.size(), "ToLowerAscii keeps the length");
  Check(trawler::ToLowerAscii(lower) == lower, "ToLowerAscii is idempotent");
  Check(FoldAll(lower) == FoldAll(text), "ToLowerAscii changes only letter case");
  for (std::size_t i = 0; i < lower.size(); i += IsLead(lower[i]) ? 2 : 1) {
    Check(!(lower[i] >= 'A' && lower[i] <= 'Z'), "ToLowerAscii: no capital left");
  }

  const std::int32_t number = trawler::TextToInt(text);
  bool ascii = true;
  for (const char c : text) ascii = ascii && !IsLead(c);
  if (ascii) {
    // For plain ASCII the reading is strtoll's, clamped to 32 bits.
    const std::string terminated(text);
    long long wide = std::strtoll(terminated.c_str(), nullptr, 10);
    if (wide > std::numeric_limits<std::int32_t>::max()) {
      wide = std::numeric_limits<std::int32_t>::max();
    }
    if (wide < std::numeric_limits<std::int32_t>::min()) {
      wide = std::numeric_limits<std::int32_t>::min();
    }
    Check(number == wide, "TextToInt agrees with strtoll on ASCII");
  }

  const Text value = trawler::HeaderValue(text);
  Check(text.find(value) != std::string_view::npos, "HeaderValue: a piece of the line");
}

void CheckCuts(std::string_view text, int count, int start) {
  const Text left = trawler::TextLeft(text, count);
  const Text right = trawler::TextRight(text, count);
  const Text mid = trawler::TextMid(text, start, count);
  Check(text.substr(0, left.size()) == left, "TextLeft is a prefix");
  Check(right.size() <= text.size() && text.substr(text.size() - right.size()) == right,
        "TextRight is a suffix");
  Check(count <= 0 || left.size() == std::min<std::size_t>(text.size(), count), "TextLeft length");
  Check(mid.empty() || text.substr(static_cast<std::size_t>(start) - 1, mid.size()) == mid,
        "TextMid is the piece at start");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto flags = input.ConsumeIntegral<std::uint8_t>();
  const int start = input.ConsumeIntegralInRange<int>(-2, 40);
  const bool ignoreCase = (flags & 1) != 0;
  const bool matchCase = (flags & 2) != 0;
  // The placeholder for a quote turns up rarely by chance; let a flag bring it in.
  const bool withPlaceholder = (flags & 4) != 0;
  const std::string needle = input.ConsumeRandomLengthString(16);
  std::string other = input.ConsumeRandomLengthString(16);
  if (withPlaceholder) other += trawler::QuotePlaceholder;
  const std::string text = input.ConsumeRemainingBytesAsString();

  CheckFind(text, needle, start, ignoreCase);
  CheckFind(text, needle, 1, !ignoreCase);
  CheckSplitAndReplace(text, needle, other);
  CheckBetween(text, needle, other, start, matchCase);
  CheckBetween(text, other, needle, 0, !matchCase);
  CheckSpacesAndCase(text);
  CheckCuts(text, start - 2, start);
  return 0;
}
